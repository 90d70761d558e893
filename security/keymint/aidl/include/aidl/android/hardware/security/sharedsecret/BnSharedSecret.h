#pragma once
#include <aidl/android/hardware/security/sharedsecret/ISharedSecret.h>

namespace aidl::android::hardware::security::sharedsecret {

class BnSharedSecret : public ::ndk::BnCInterface<ISharedSecret> {
 public:
  ::ndk::ScopedAStatus getInterfaceVersion(int32_t* _aidl_return) final;
  ::ndk::ScopedAStatus getInterfaceHash(std::string* _aidl_return) final;

 protected:
  ::ndk::SpAIBinder createBinder() override;
};

}  // namespace aidl::android::hardware::security::sharedsecret
