// Log gate of the module: every line goes to the host's log callback (slot 5).
#include "core/hal_core.h"

// Information and errors by default; common-data mode 18 changes it.
HAL_EXPORT_VAR int hal_log_level = HAL_LOG_INFO;

bool hal_log_enabled(int32_t level) {
  const HalHostCallbacks *host = get_hal_module_callback();
  return host != nullptr && host->log != nullptr && __atomic_load_n(&hal_log_level, __ATOMIC_RELAXED) >= level;
}

hal_host_log_fn hal_log_sink(void) {
  const HalHostCallbacks *host = get_hal_module_callback();
  return host != nullptr ? host->log : nullptr;
}
