#define LOG_TAG "send_data_to_tlog"

#include "Tlog.h"

#include <log/log.h>

namespace aidl::android::hardware::vibrator {

void tlog_send_int(int metric, int* value) {
  // No log hook is installed in this service: nothing leaves the process.
  (void)metric;
  (void)value;
}

void send_vibration_duration_to_tlog(int durationMs) {
  ALOGI("%s timeout = %d", __func__, durationMs);
  tlog_send_int(kTlogVibrationDuration, &durationMs);
}

}  // namespace aidl::android::hardware::vibrator
