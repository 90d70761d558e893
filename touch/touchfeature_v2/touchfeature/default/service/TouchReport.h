#pragma once
// The start of the outside touch host on its own real-time thread, and the forwarding of
// command blocks to it.
#include "common_data.h"

namespace touchfeature {

inline constexpr const char* kTouchHostLibrary = "/odm/lib64/libtapsense.so";
inline constexpr int kFaultEventId = 912001004;

using FingerStatusCallback = void (*)(int* status);

// Starts the "touch-report" thread, which loads the host and runs it. Returns at once.
void touch_report_init(FingerStatusCallback callback);
// Waits for the host to end (when it was loaded) and unloads it.
void touch_report_exit();
// The host's result for the block; -1 with *pass_to_driver = 1 while no host is usable.
int send_to_thp(int touch_id, common_data* block, int* pass_to_driver);
void send_quonevent_message(int error_code);
void set_sched_policy();

}  // namespace touchfeature
