#pragma once
#include <aidl/vendor/hardware/vibratorfeature/IVibratorExt.h>

namespace aidl::vendor::hardware::vibratorfeature {

class BnVibratorExt : public ::ndk::BnCInterface<IVibratorExt> {
 public:
  ::ndk::ScopedAStatus getInterfaceVersion(int32_t* _aidl_return) final;
  ::ndk::ScopedAStatus getInterfaceHash(std::string* _aidl_return) final;

 protected:
  ::ndk::SpAIBinder createBinder() override;
};

}  // namespace aidl::vendor::hardware::vibratorfeature
