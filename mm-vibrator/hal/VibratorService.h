#pragma once
// The vibrator-service process: publishes Vibrator with VibratorExt as its binder extension
// under IVibrator::descriptor + "/vibratorfeature", starts the sensor-driven mode and joins
// the binder thread pool.

namespace aidl::android::hardware::vibrator {

inline constexpr const char* kInstanceSuffix = "/vibratorfeature";

// Returns only if joining the thread pool ever ends, with the process's exit status (1).
int runVibratorService();

}  // namespace aidl::android::hardware::vibrator
