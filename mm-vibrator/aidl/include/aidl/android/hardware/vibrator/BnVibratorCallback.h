#pragma once
#include <aidl/android/hardware/vibrator/IVibratorCallback.h>

namespace aidl::android::hardware::vibrator {

class BnVibratorCallback : public ::ndk::BnCInterface<IVibratorCallback> {
 public:
  ::ndk::ScopedAStatus getInterfaceVersion(int32_t* _aidl_return) final;
  ::ndk::ScopedAStatus getInterfaceHash(std::string* _aidl_return) final;

 protected:
  ::ndk::SpAIBinder createBinder() override;
};

}  // namespace aidl::android::hardware::vibrator
