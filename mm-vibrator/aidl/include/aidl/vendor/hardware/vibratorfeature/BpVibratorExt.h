#pragma once
#include <aidl/vendor/hardware/vibratorfeature/IVibratorExt.h>

namespace aidl::vendor::hardware::vibratorfeature {

class BpVibratorExt : public ::ndk::BpCInterface<IVibratorExt> {
 public:
  explicit BpVibratorExt(const ::ndk::SpAIBinder& binder);
  ::ndk::ScopedAStatus play(const std::vector<int32_t>& in_data, int32_t in_loop,
                            int64_t in_interval, int32_t in_amplitude) override;
  ::ndk::ScopedAStatus pause() override;
  ::ndk::ScopedAStatus stop() override;
  ::ndk::ScopedAStatus seekTo(int64_t in_position) override;
  ::ndk::ScopedAStatus setAmplitudeExt(float in_amplitude, int32_t in_flag) override;
  ::ndk::ScopedAStatus configStrengthForEffect(int32_t in_id, float in_strength) override;
  ::ndk::ScopedAStatus setUsageExt(int32_t in_usage) override;
  ::ndk::ScopedAStatus getInterfaceVersion(int32_t* _aidl_return) override;
  ::ndk::ScopedAStatus getInterfaceHash(std::string* _aidl_return) override;
};

}  // namespace aidl::vendor::hardware::vibratorfeature
