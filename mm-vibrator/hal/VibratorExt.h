#pragma once
// The vendor extension IVibratorExt, attached to the IVibrator binder: HE effect lists,
// strength tuning and the usage of the current vibration, on top of Vibrator.

#include <memory>
#include <vector>

#include <aidl/vendor/hardware/vibratorfeature/BnVibratorExt.h>

#include "Vibrator.h"

namespace aidl::vendor::hardware::vibratorfeature {

class VibratorExt : public BnVibratorExt {
 public:
  explicit VibratorExt(std::shared_ptr<::aidl::android::hardware::vibrator::Vibrator> vibrator);

  ndk::ScopedAStatus play(const std::vector<int32_t>& data, int32_t loop, int64_t interval,
                          int32_t amplitude) override;
  ndk::ScopedAStatus pause() override;
  ndk::ScopedAStatus stop() override;
  ndk::ScopedAStatus seekTo(int64_t position) override;
  ndk::ScopedAStatus setAmplitudeExt(float amplitude, int32_t flag) override;
  ndk::ScopedAStatus configStrengthForEffect(int32_t id, float strength) override;
  ndk::ScopedAStatus setUsageExt(int32_t usage) override;

 private:
  std::shared_ptr<::aidl::android::hardware::vibrator::Vibrator> mVibrator;
};

}  // namespace aidl::vendor::hardware::vibratorfeature
