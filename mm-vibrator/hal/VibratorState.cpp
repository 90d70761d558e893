#include "VibratorState.h"

namespace aidl::android::hardware::vibrator {

VibratorServiceState& serviceState() {
  static VibratorServiceState state;
  return state;
}

void resetServiceState() {
  VibratorServiceState& s = serviceState();
  s.mCurrMagnitudeExt = -1.0f;
  s.mCurrMagnitudeExtOnce = -1.0f;
  s.updateMode = 1;
  s.deviceType = 3;
  s.standbyWaitNs = 2000000000;
  s.generatorSampleRate = 24000;
  s.usage = 0;
  s.slideEffectProtectTimeMs = 0;
  s.lastPerformTime = {};
  s.mSupportAIHaptic = false;
  s.mMotorNotSupport = false;
  s.he2Property = kHe2NotSupport;
  s.he1Property = kHe1Default;
  s.lastHandStatus = -1;
}

}  // namespace aidl::android::hardware::vibrator
