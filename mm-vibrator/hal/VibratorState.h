#pragma once
// Service-wide values of the vibrator service: one instance for the process, shared by
// Vibrator, VibratorExt, the sensor listener and the devices. The plain values are read and
// written under the service's call lock (Vibrator::callLock), as binder calls arrive on
// several threads; the atomics are written by the sensor thread, which does not take it.

#include <time.h>

#include <atomic>
#include <cstdint>
#include <string>

namespace aidl::android::hardware::vibrator {

// Framework vibration-attribute usages the service compares against.
inline constexpr int kUsageRingtone = 33;
inline constexpr int kUsageTouch = 18;

// Values of the two HE properties that change the service's behaviour.
inline constexpr const char* kHe2NotSupport = "not_support";
inline constexpr const char* kHe2Thrumwave = "thrumwave";
inline constexpr const char* kHe1Default = "default";
inline constexpr const char* kHe1Quonhaptic = "quonhaptic";

struct VibratorServiceState {
  float mCurrMagnitudeExt = -1.0f;      // persistent extension magnitude, -1 = unset
  float mCurrMagnitudeExtOnce = -1.0f;  // one-shot extension magnitude, -1 = unset
  std::atomic<int> updateMode{1};       // 0 interaction, 1 warn (sensor driven)
  int deviceType = 3;                   // DynamicEffectType, 3 = not yet resolved
  int64_t standbyWaitNs = 2000000000;   // standby of the dynamic-effect thread
  int generatorSampleRate = 24000;      // 48000 on the audio-graph output
  int usage = 0;                        // usage of the current vibration
  int slideEffectProtectTimeMs = 0;     // off waits this long after a perform
  struct timespec lastPerformTime {};   // CLOCK_MONOTONIC time of the last perform
  bool mSupportAIHaptic = false;
  bool mMotorNotSupport = false;
  std::string he2Property = kHe2NotSupport;
  std::string he1Property = kHe1Default;
  std::atomic<int> lastHandStatus{-1};  // last value seen from the hand-status sensor
};

// The process's one instance.
VibratorServiceState& serviceState();

// Back to the initial values (tests construct several services in one process).
void resetServiceState();

}  // namespace aidl::android::hardware::vibrator
