// Broken plug-ins for the touch host's error paths, one per BAD_MODULE_KIND:
//   1 exports none of the entry points;
//   2 an algorithm module whose registration returns NULL;
//   3 a HAL module whose registration returns NULL.
#include "alg_module.h"
#include "hal_module.h"
#include "vendor_export.h"

#if BAD_MODULE_KIND == 1
VENDOR_EXPORT int touch_test_unrelated_export(void) { return 1; }
#elif BAD_MODULE_KIND == 2
VENDOR_EXPORT AlgModule *register_alg_module(AlgHostCallbacks *) { return nullptr; }
#elif BAD_MODULE_KIND == 3
VENDOR_EXPORT HalModule *register_hal_module(HalHostCallbacks *) { return nullptr; }
VENDOR_EXPORT HalFunctionInterface *get_hal_function_interface(uint32_t) { return nullptr; }
#else
#error "BAD_MODULE_KIND must be 1, 2 or 3"
#endif
