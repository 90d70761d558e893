#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include <android/binder_interface_utils.h>

namespace aidl::android::hardware::vibrator {

class IVibratorCallback : public ::ndk::ICInterface {
 public:
  static const char* descriptor;
  static const int32_t version = 2;
  static inline const std::string hash = "ea8742d6993e1a82917da38b9938e537aa7fcb54";
  static constexpr uint32_t TRANSACTION_onComplete = FIRST_CALL_TRANSACTION + 0;
  static constexpr uint32_t TRANSACTION_getInterfaceVersion = 16777214 + 1;
  static constexpr uint32_t TRANSACTION_getInterfaceHash = 16777214;

  static std::shared_ptr<IVibratorCallback> fromBinder(const ::ndk::SpAIBinder& binder);
  static binder_status_t writeToParcel(AParcel* parcel,
                                       const std::shared_ptr<IVibratorCallback>& instance);
  static binder_status_t readFromParcel(const AParcel* parcel,
                                        std::shared_ptr<IVibratorCallback>* instance);

  // One-way: the caller does not wait for the callback's result.
  virtual ::ndk::ScopedAStatus onComplete() = 0;
  virtual ::ndk::ScopedAStatus getInterfaceVersion(int32_t* _aidl_return) = 0;
  virtual ::ndk::ScopedAStatus getInterfaceHash(std::string* _aidl_return) = 0;
};

}  // namespace aidl::android::hardware::vibrator
