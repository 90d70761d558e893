// Registration and the module-wide entry points: every host request fans out to the hook
// of the nine function interfaces, always in index order 0 to 8.
#include <fcntl.h>
#include <string.h>

#include <atomic>

#include "core/decoder_api.h"
#include "core/hal_core.h"
#include "platform/devio.h"

namespace {

constexpr const char *kModuleName = "hal";
constexpr const char *kVersion = "hal-24.09.26.001";
constexpr uint32_t kBindRetryMs = 1000;
constexpr uint32_t kBindMaxAttempts = 60;  // one minute of refusals, then give up
constexpr uint32_t kSendTypeModuleParam = 9;
constexpr uint16_t kModeDebugLogLevel = COMMON_DATA_MODE_DEBUG_LOG_LEVEL;
constexpr uint16_t kModeTraceLevel = COMMON_DATA_MODE_TRACE_LEVEL;

HalModule g_module;
HalModuleParam g_param;
TouchPanelInfo g_panel;
std::atomic<HalHostCallbacks *> g_host{nullptr};
std::atomic<int32_t> g_fd{-1};
// The id as given (not cut to 8 bits), so that any out-of-range id interrupts a waiting
// initialisation.
std::atomic<uint32_t> g_touch_id{0};
const HalFunctionInterface *g_interfaces[HAL_FUNCTION_INTERFACE_COUNT];
HalUtilFunctions g_util;

template <typename Hook, typename... Args>
void for_each_hook(Hook HalFunctionInterface::*hook, Args... args) {
  for (const HalFunctionInterface *iface : g_interfaces) {
    if (iface != nullptr && iface->*hook != nullptr) (iface->*hook)(args...);
  }
}

bool init_not_interrupted() { return g_touch_id.load() <= HAL_TOUCH_ID_MAX; }

// Waits up to ms, in short steps, while no out-of-range id interrupts the initialisation.
void interruptible_sleep(uint32_t ms) {
  for (uint32_t waited = 0; waited < ms && init_not_interrupted(); waited += HAL_OPEN_RETRY_MS)
    hal_sleep_ms(HAL_OPEN_RETRY_MS);
}

void close_device() {
  const int32_t fd = g_fd.exchange(-1);
  if (fd >= 0) plat_close(fd);
}

// Every interface's initialise hook in index order. A hook that gave up starting (a
// negative result: its bounded retries of mapping, decoder init or thread start ran out)
// fails the whole initialisation: the interfaces already started are stopped again, so the
// host sees the failure instead of a module whose get frame never delivers.
int32_t init_interfaces(int fd, uint8_t touch_id, uint8_t replay) {
  for (uint32_t i = 0; i < HAL_FUNCTION_INTERFACE_COUNT; ++i) {
    const HalFunctionInterface *iface = g_interfaces[i];
    if (iface == nullptr || iface->init == nullptr) continue;
    const int32_t rc = iface->init(&g_panel, static_cast<int32_t>(fd), touch_id, replay);
    if (rc >= 0) continue;
    HAL_LOG_AS(HAL_LOG_ERROR, "hal_module_init", "touch id %d interface %u failed to start (%d), init failed",
               static_cast<int>(touch_id), i, static_cast<int>(rc));
    for (uint32_t j = 0; j < i; ++j) {
      if (g_interfaces[j] != nullptr && g_interfaces[j]->exit != nullptr) g_interfaces[j]->exit();
    }
    return rc;
  }
  return 0;
}

// Nothing is measured on this build; the hook exists for the initialisation order.
void start_memory_test_timer() {}

extern "C" int32_t hal_module_init(uint32_t touch_id) {
  HAL_LOG(HAL_LOG_ENTRY, "Enter");
  g_touch_id.store(touch_id);
  if (touch_id > HAL_TOUCH_ID_MAX) return HAL_RESULT_FAILED;
  memset(&g_param, 0, sizeof(g_param));

  const int fd = file_access_and_open_bounded(TAMREL_TOUCH_DEVICE_PATH, O_RDWR, HAL_OPEN_MAX_ATTEMPTS,
                                              init_not_interrupted);
  if (fd < 0) {
    if (!init_not_interrupted()) HAL_LOGE("receive interrupt signal, stop init");
    return HAL_RESULT_FAILED;
  }
  g_fd.store(fd);

  for (uint32_t attempt = 1; init_not_interrupted(); ++attempt) {
    uint32_t cmd = TOUCH_IOC_BIND_TOUCH_ID;
    int rc = tamrel_touch_ioctl(TOUCH_IOC_BIND_TOUCH_ID, 0, touch_id, TOUCH_IOC_DIR_WRITE);
    if (rc >= 0) {
      cmd = TOUCH_IOC_PANEL_INFO;
      rc = tamrel_touch_ioctl(TOUCH_IOC_PANEL_INFO, sizeof(TouchPanelInfo), reinterpret_cast<unsigned long>(&g_panel),
                              TOUCH_IOC_DIR_READ);
    }
    if (rc >= 0) {
      // The driver's name need not be terminated: the configuration reader relies on it.
      g_panel.config_file[sizeof(g_panel.config_file) - 1] = '\0';
      const HalHostCallbacks *host = g_host.load();
      const uint8_t replay = host != nullptr ? host->replay_flag : 0;
      const int32_t started = init_interfaces(fd, static_cast<uint8_t>(touch_id), replay);
      if (started != 0) {
        close_device();
        return started;
      }
      g_module.initialised = 1;
      start_memory_test_timer();
      return 0;
    }
    HAL_LOGE("touch id %d tamrel-touch ioctl cmd %d result is %d", static_cast<int>(touch_id), static_cast<int>(cmd), rc);
    if (attempt >= kBindMaxAttempts) {
      HAL_LOGE("touch id %d refused %u times, give up", static_cast<int>(touch_id), attempt);
      close_device();
      return HAL_RESULT_FAILED;
    }
    interruptible_sleep(kBindRetryMs);
  }
  HAL_LOGE("receive interrupt signal, stop init");
  close_device();
  return HAL_RESULT_FAILED;
}

extern "C" int32_t hal_module_exit(void) {
  HAL_LOG(HAL_LOG_ENTRY, "Enter");
  for_each_hook(&HalFunctionInterface::exit);
  close_device();
  g_module.initialised = 0;
  return 0;
}

extern "C" int32_t hal_set_module_param(uint32_t value) {
  uint32_t values[1] = {value};
  hal_send_to_driver(kSendTypeModuleParam, values, 1);
  g_param.module_param = value;
  return 0;
}

extern "C" int32_t hal_update_suspend_status(uint32_t flag) {
  for_each_hook(&HalFunctionInterface::suspend, flag & 1u);
  return 0;
}

extern "C" int32_t hal_receive_common_data(common_data *data, int32_t *pass_to_driver) {
  if (data == nullptr) return 0;
  if (data->touch_id != static_cast<uint8_t>(g_touch_id.load())) return 0;
  if (data->cmd == COMMON_DATA_CMD_SET_MODE_VALUE && data->mode == kModeTraceLevel) {
    if (data->values[0] <= 2) thp_set_trace_level(static_cast<int32_t>(data->values[0]));
  } else if (data->cmd == COMMON_DATA_CMD_SET_MODE_VALUE && data->mode == kModeDebugLogLevel) {
    HAL_LOGI("debug log level: %d", static_cast<int>(data->values[0]));
    if (data->values[0] <= HAL_LOG_ENTRY) __atomic_store_n(&hal_log_level, static_cast<int>(data->values[0]), __ATOMIC_RELAXED);
    if (pass_to_driver != nullptr) *pass_to_driver = 1;
    return 0;
  }
  int32_t result = 0;
  for (const HalFunctionInterface *iface : g_interfaces) {
    if (iface == nullptr || iface->receive_common_data == nullptr) continue;
    const int32_t rc = iface->receive_common_data(data, pass_to_driver);
    if (rc != 0) result = rc;
  }
  return result;
}

extern "C" int32_t hal_read_config_param(void *context, void *tree, void *accessor) {
  const auto *config = static_cast<const HalConfigAccessor *>(accessor);
  int32_t type = FRAME_DATA_TYPE_DEFAULT;
  if (config != nullptr && config->get_int_config != nullptr)
    type = config->get_int_config(tree, "project_infor.frame_data_type", FRAME_DATA_TYPE_DEFAULT);
  current_device_operation_init(type);
  for_each_hook(&HalFunctionInterface::read_config, context, tree, accessor);
  return 0;
}

extern "C" const char *hal_get_version(void) { return kVersion; }


bool util_property_get_bool(const char *key, bool default_value) { return hal_property_get_bool(key, default_value); }

extern "C" const HalUtilFunctions *hal_get_util_functions(void) {
  g_util.rtc_time_to_tm = rtc_time_to_tm;
  g_util.property_set_s32 = property_set_s32;
  g_util.property_get_s32 = property_get_s32;
  g_util.property_get_bool = util_property_get_bool;
  g_util.alloc_memory = alloc_memory;
  g_util.free_memory = free_memory;
  g_util.thp_atrace_print = thp_atrace_print;
  g_util.thp_atrace_name = thp_atrace_name;
  g_util.thp_atrace_end = thp_atrace_end;
  g_util.thp_atrace_int64 = thp_atrace_int64;
  return &g_util;
}

template <typename Fn>
Fn hook_as(const HalFunctionInterface *iface, hal_generic_fn HalFunctionInterface::*hook) {
  return iface != nullptr ? reinterpret_cast<Fn>(iface->*hook) : nullptr;
}

}  // namespace

int32_t hal_device_fd(void) { return g_fd.load(); }
uint8_t hal_touch_id(void) { return static_cast<uint8_t>(g_touch_id.load()); }
TouchPanelInfo *hal_panel_info(void) { return &g_panel; }

int32_t hal_send_to_driver(uint32_t type, uint32_t *values, uint32_t count) {
  const HalFunctionInterface *send = g_interfaces[HAL_IF_SEND_TO_DRIVER];
  if (send == nullptr) send = hal_send_interface();
  auto fn = hook_as<hal_send_to_driver_fn>(send, &HalFunctionInterface::process1);
  return fn != nullptr ? fn(type, values, count) : 0;
}

VENDOR_EXPORT HalModuleParam *get_hal_module_param(void) { return &g_param; }
VENDOR_EXPORT HalHostCallbacks *get_hal_module_callback(void) { return g_host.load(); }

VENDOR_EXPORT HalFunctionInterface *get_send_to_driver_function_interface(void) {
  return const_cast<HalFunctionInterface *>(hal_send_interface());
}
VENDOR_EXPORT HalFunctionInterface *get_read_config_param_function_interface(void) {
  return const_cast<HalFunctionInterface *>(hal_config_interface());
}
VENDOR_EXPORT HalFunctionInterface *get_report_function_interface(void) {
  return const_cast<HalFunctionInterface *>(hal_report_interface());
}
VENDOR_EXPORT HalFunctionInterface *get_get_frame_data_function_interface(void) {
  return const_cast<HalFunctionInterface *>(hal_getframe_interface());
}
VENDOR_EXPORT HalFunctionInterface *get_get_cmd_function_interface(void) {
  return const_cast<HalFunctionInterface *>(hal_getcmd_interface());
}
VENDOR_EXPORT HalFunctionInterface *get_raw_data_function_interface(void) {
  return const_cast<HalFunctionInterface *>(hal_rawdata_interface());
}
VENDOR_EXPORT HalFunctionInterface *get_dump_function_interface(void) {
  return const_cast<HalFunctionInterface *>(hal_dump_interface());
}
VENDOR_EXPORT HalFunctionInterface *get_save_log_interface(void) {
  return const_cast<HalFunctionInterface *>(hal_savelog_interface());
}
VENDOR_EXPORT HalFunctionInterface *get_hot_area_interface(void) {
  return const_cast<HalFunctionInterface *>(hal_hotarea_interface());
}

VENDOR_EXPORT HalFunctionInterface *get_hal_function_interface(uint32_t index) {
  if (index >= HAL_FUNCTION_INTERFACE_COUNT) return nullptr;
  return const_cast<HalFunctionInterface *>(g_interfaces[index]);
}

VENDOR_EXPORT HalModule *register_hal_module(HalHostCallbacks *callbacks) {
  g_host.store(callbacks);
  // The getters run in this order; each record lands at its own index.
  g_interfaces[HAL_IF_GET_FRAME_DATA] = get_get_frame_data_function_interface();
  g_interfaces[HAL_IF_GET_CMD] = get_get_cmd_function_interface();
  g_interfaces[HAL_IF_SEND_TO_DRIVER] = get_send_to_driver_function_interface();
  g_interfaces[HAL_IF_DUMP] = get_dump_function_interface();
  g_interfaces[HAL_IF_REPORT] = get_report_function_interface();
  g_interfaces[HAL_IF_RAW_DATA] = get_raw_data_function_interface();
  g_interfaces[HAL_IF_READ_CONFIG] = get_read_config_param_function_interface();
  g_interfaces[HAL_IF_SAVE_LOG] = get_save_log_interface();
  g_interfaces[HAL_IF_HOT_AREA] = get_hot_area_interface();

  memset(&g_module, 0, sizeof(g_module));
  strncpy(g_module.name, kModuleName, sizeof(g_module.name));
  g_module.init = hal_module_init;
  g_module.exit = hal_module_exit;
  g_module.set_module_param = hal_set_module_param;
  g_module.update_suspend_status = hal_update_suspend_status;
  g_module.receive_common_data = hal_receive_common_data;
  g_module.raw_data_process =
      hook_as<hal_raw_data_process_fn>(g_interfaces[HAL_IF_RAW_DATA], &HalFunctionInterface::process1);
  g_module.read_config_param = hal_read_config_param;
  g_module.report_points = hook_as<hal_report_points_fn>(g_interfaces[HAL_IF_REPORT], &HalFunctionInterface::process1);
  g_module.get_version = hal_get_version;
  g_module.send_to_driver =
      hook_as<hal_send_to_driver_fn>(g_interfaces[HAL_IF_SEND_TO_DRIVER], &HalFunctionInterface::process1);
  g_module.dump_get = hal_dump_get_entry();
  g_module.dump_send = hal_dump_send_entry();
  g_module.set_alg_param_setters =
      hook_as<hal_set_alg_param_setters_fn>(g_interfaces[HAL_IF_HOT_AREA], &HalFunctionInterface::process2);
  g_module.get_frame = hook_as<hal_get_frame_fn>(g_interfaces[HAL_IF_GET_FRAME_DATA], &HalFunctionInterface::process1);
  g_module.register_timer = register_timer;
  g_module.create_thread = create_thread;
  g_module.save_log_process1 = g_interfaces[HAL_IF_SAVE_LOG] != nullptr ? g_interfaces[HAL_IF_SAVE_LOG]->process1 : nullptr;
  g_module.save_log_process2 = g_interfaces[HAL_IF_SAVE_LOG] != nullptr ? g_interfaces[HAL_IF_SAVE_LOG]->process2 : nullptr;
  g_module.send_to_driver_process2 =
      hook_as<hal_update_qsd_fn>(g_interfaces[HAL_IF_SEND_TO_DRIVER], &HalFunctionInterface::process2);
  g_module.get_util_functions = hal_get_util_functions;
  return &g_module;
}
