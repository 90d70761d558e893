// The touch host stand-in: its three entry points, recorded in libplatform_touchhost.
#include "common_data.h"
#include "vendor_export.h"

extern "C" int touchhost_record_main();
extern "C" int touchhost_record_cmd(common_data *block, int *pass);
extern "C" void touchhost_record_callback(void (*fn)(int *));

VENDOR_EXPORT int thp_daemon_main() { return touchhost_record_main(); }
#ifndef TOUCHHOST_WITHOUT_CMD
VENDOR_EXPORT int thp_daemon_cmd_process(common_data *block, int *pass) {
  return touchhost_record_cmd(block, pass);
}
#endif
#ifndef TOUCHHOST_WITHOUT_CALLBACK
VENDOR_EXPORT void thp_callback_process(void (*fn)(int *)) { touchhost_record_callback(fn); }
#endif
