#pragma once
// Duration reports of the vibrator service towards the system log channel.

namespace aidl::android::hardware::vibrator {

// Metric of a vibration's duration.
inline constexpr int kTlogVibrationDuration = 20;

// Forwards (metric, value) to the process-wide log hook; the service installs none, so the
// report ends here after its log line.
void tlog_send_int(int metric, int* value);
void send_vibration_duration_to_tlog(int durationMs);

}  // namespace aidl::android::hardware::vibrator
