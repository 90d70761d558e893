// Stand-ins so that the module links and runs whatever areas are built.
//
// Every record here is idle: all hooks null, so the entry points skip it. They are weak:
// an area that builds its interface defines the strong getter and replaces the stand-in.
// The plug-in links every area, so these serve only the core built alone for its own tests.
#include "core/decoder_api.h"
#include "core/hal_core.h"

namespace {
const HalFunctionInterface kIdleInterface = {};

// Until the decoder area is linked in: prepares nothing and rejects every slot.
int32_t reject_init(DecodedFrame *, const DecoderConfig *, int32_t) { return 0; }
void reject_release(DecodedFrame *, int32_t) {}
bool reject_decode(DecodedFrame *, const uint8_t *, uint32_t, PanelGeometry *) { return false; }
}  // namespace

__attribute__((weak)) const HalFunctionInterface *hal_send_interface(void) { return &kIdleInterface; }
__attribute__((weak)) const HalFunctionInterface *hal_config_interface(void) { return &kIdleInterface; }
__attribute__((weak)) const HalFunctionInterface *hal_report_interface(void) { return &kIdleInterface; }
__attribute__((weak)) const HalFunctionInterface *hal_rawdata_interface(void) { return &kIdleInterface; }
__attribute__((weak)) const HalFunctionInterface *hal_dump_interface(void) { return &kIdleInterface; }
__attribute__((weak)) const HalFunctionInterface *hal_savelog_interface(void) { return &kIdleInterface; }
__attribute__((weak)) const HalFunctionInterface *hal_hotarea_interface(void) { return &kIdleInterface; }

__attribute__((weak)) hal_generic_fn hal_dump_get_entry(void) { return nullptr; }
__attribute__((weak)) hal_generic_fn hal_dump_send_entry(void) { return nullptr; }

__attribute__((weak)) void current_device_operation_init(int32_t) {}
__attribute__((weak)) device_operation get_current_device_operation(void) {
  return device_operation{reject_init, reject_release, reject_decode};
}
