#pragma once
#include <aidl/android/hardware/vibrator/IVibratorCallback.h>

namespace aidl::android::hardware::vibrator {

class BpVibratorCallback : public ::ndk::BpCInterface<IVibratorCallback> {
 public:
  explicit BpVibratorCallback(const ::ndk::SpAIBinder& binder);
  ::ndk::ScopedAStatus onComplete() override;
  ::ndk::ScopedAStatus getInterfaceVersion(int32_t* _aidl_return) override;
  ::ndk::ScopedAStatus getInterfaceHash(std::string* _aidl_return) override;
};

}  // namespace aidl::android::hardware::vibrator
