#define LOG_TAG "vendor.hardware.vibratorfeature"

#include "VibratorExt.h"

#include <mutex>

#include <log/log.h>

#include "VibratorState.h"
#include "platform/properties.h"

namespace aidl::vendor::hardware::vibratorfeature {

using ::aidl::android::hardware::vibrator::serviceState;
using ::aidl::android::hardware::vibrator::Vibrator;

VibratorExt::VibratorExt(std::shared_ptr<Vibrator> vibrator) : mVibrator(std::move(vibrator)) {
  char value[PROPERTY_VALUE_MAX];
  property_get("ro.odm.mm.vibrator.he2.0", value, ::aidl::android::hardware::vibrator::kHe2NotSupport);
  serviceState().he2Property = value;
  property_get("ro.odm.mm.vibrator.he1.0", value, ::aidl::android::hardware::vibrator::kHe1Default);
  serviceState().he1Property = value;
}

ndk::ScopedAStatus VibratorExt::play(const std::vector<int32_t>& data, int32_t loop, int64_t interval,
                                     int32_t amplitude) {
  switch (mVibrator->ExtPlay(data, loop, interval, amplitude)) {
    case Vibrator::kExtPlayOk:
      return ndk::ScopedAStatus::ok();
    case Vibrator::kExtPlayRefused:
      // Nothing of the list played: the client must not take it for a vibration.
      return ndk::ScopedAStatus::fromExceptionCode(EX_ILLEGAL_ARGUMENT);
    default:
      return ndk::ScopedAStatus::fromExceptionCode(EX_UNSUPPORTED_OPERATION);
  }
}

ndk::ScopedAStatus VibratorExt::pause() {
  ALOGI("not implemented");
  mVibrator->off();
  return ndk::ScopedAStatus::fromExceptionCode(EX_UNSUPPORTED_OPERATION);
}

ndk::ScopedAStatus VibratorExt::stop() {
  ALOGI("not implemented");
  return ndk::ScopedAStatus::fromExceptionCode(EX_UNSUPPORTED_OPERATION);
}

ndk::ScopedAStatus VibratorExt::seekTo(int64_t position) {
  ALOGI("seekTo %ld, not implemented", static_cast<long>(position));
  mVibrator->off();
  return ndk::ScopedAStatus::fromExceptionCode(EX_UNSUPPORTED_OPERATION);
}

ndk::ScopedAStatus VibratorExt::setAmplitudeExt(float amplitude, int32_t flag) {
  ALOGI("Vibrator setAmplitudeExt: %f %d", amplitude, flag);
  std::lock_guard<std::recursive_mutex> guard(mVibrator->callLock());
  switch (flag) {
    case 0:
      serviceState().mCurrMagnitudeExt = amplitude;
      break;
    case 1:
      serviceState().mCurrMagnitudeExtOnce = amplitude;
      break;
    case 2:
      mVibrator->quickOff();
      break;
    default:
      break;
  }
  return ndk::ScopedAStatus::ok();
}

ndk::ScopedAStatus VibratorExt::configStrengthForEffect(int32_t id, float strength) {
  ALOGI("configStrengthForEffect id : %d , strength: %f", id, strength);
  if (!mVibrator->configStrength(id, strength)) ALOGW("no effect %d", id);
  return ndk::ScopedAStatus::ok();
}

ndk::ScopedAStatus VibratorExt::setUsageExt(int32_t usage) {
  ALOGI("vibrator usage : %d ", usage);
  std::lock_guard<std::recursive_mutex> guard(mVibrator->callLock());
  serviceState().usage = usage;
  return ndk::ScopedAStatus::ok();
}

}  // namespace aidl::vendor::hardware::vibratorfeature
