#pragma once
#include <aidl/android/hardware/vibrator/IVibrator.h>

namespace aidl::android::hardware::vibrator {

class BnVibrator : public ::ndk::BnCInterface<IVibrator> {
 public:
  ::ndk::ScopedAStatus getInterfaceVersion(int32_t* _aidl_return) final;
  ::ndk::ScopedAStatus getInterfaceHash(std::string* _aidl_return) final;

 protected:
  ::ndk::SpAIBinder createBinder() override;
};

}  // namespace aidl::android::hardware::vibrator
