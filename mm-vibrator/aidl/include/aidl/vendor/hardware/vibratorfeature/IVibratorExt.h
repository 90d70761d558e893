#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <android/binder_interface_utils.h>

namespace aidl::vendor::hardware::vibratorfeature {

// The vendor extension of the vibrator service, attached to its IVibrator binder:
// HE effect lists, strength tuning and the usage of the current vibration.
class IVibratorExt : public ::ndk::ICInterface {
 public:
  static const char* descriptor;
  static const int32_t version = 1;
  static inline const std::string hash = "notfrozen";

  static constexpr uint32_t TRANSACTION_play = FIRST_CALL_TRANSACTION + 0;
  static constexpr uint32_t TRANSACTION_pause = FIRST_CALL_TRANSACTION + 1;
  static constexpr uint32_t TRANSACTION_stop = FIRST_CALL_TRANSACTION + 2;
  static constexpr uint32_t TRANSACTION_seekTo = FIRST_CALL_TRANSACTION + 3;
  static constexpr uint32_t TRANSACTION_setAmplitudeExt = FIRST_CALL_TRANSACTION + 4;
  static constexpr uint32_t TRANSACTION_configStrengthForEffect = FIRST_CALL_TRANSACTION + 5;
  static constexpr uint32_t TRANSACTION_setUsageExt = FIRST_CALL_TRANSACTION + 6;
  static constexpr uint32_t TRANSACTION_getInterfaceVersion = 16777214 + 1;
  static constexpr uint32_t TRANSACTION_getInterfaceHash = 16777214;

  static std::shared_ptr<IVibratorExt> fromBinder(const ::ndk::SpAIBinder& binder);
  static binder_status_t writeToParcel(AParcel* parcel, const std::shared_ptr<IVibratorExt>& instance);
  static binder_status_t readFromParcel(const AParcel* parcel, std::shared_ptr<IVibratorExt>* instance);

  virtual ::ndk::ScopedAStatus play(const std::vector<int32_t>& in_data, int32_t in_loop,
                                    int64_t in_interval, int32_t in_amplitude) = 0;
  virtual ::ndk::ScopedAStatus pause() = 0;
  virtual ::ndk::ScopedAStatus stop() = 0;
  virtual ::ndk::ScopedAStatus seekTo(int64_t in_position) = 0;
  virtual ::ndk::ScopedAStatus setAmplitudeExt(float in_amplitude, int32_t in_flag) = 0;
  virtual ::ndk::ScopedAStatus configStrengthForEffect(int32_t in_id, float in_strength) = 0;
  virtual ::ndk::ScopedAStatus setUsageExt(int32_t in_usage) = 0;
  virtual ::ndk::ScopedAStatus getInterfaceVersion(int32_t* _aidl_return) = 0;
  virtual ::ndk::ScopedAStatus getInterfaceHash(std::string* _aidl_return) = 0;
};

}  // namespace aidl::vendor::hardware::vibratorfeature
