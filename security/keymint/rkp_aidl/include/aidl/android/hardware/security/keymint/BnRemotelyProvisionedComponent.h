#pragma once
#include <aidl/android/hardware/security/keymint/IRemotelyProvisionedComponent.h>

namespace aidl::android::hardware::security::keymint {

class BnRemotelyProvisionedComponent : public ::ndk::BnCInterface<IRemotelyProvisionedComponent> {
 public:
  ::ndk::ScopedAStatus getInterfaceVersion(int32_t* _aidl_return) final;
  ::ndk::ScopedAStatus getInterfaceHash(std::string* _aidl_return) final;

 protected:
  ::ndk::SpAIBinder createBinder() override;
};

}  // namespace aidl::android::hardware::security::keymint
