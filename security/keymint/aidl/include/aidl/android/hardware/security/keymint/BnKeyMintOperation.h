#pragma once
#include <aidl/android/hardware/security/keymint/IKeyMintOperation.h>

namespace aidl::android::hardware::security::keymint {

class BnKeyMintOperation : public ::ndk::BnCInterface<IKeyMintOperation> {
 public:
  ::ndk::ScopedAStatus getInterfaceVersion(int32_t* _aidl_return) final;
  ::ndk::ScopedAStatus getInterfaceHash(std::string* _aidl_return) final;

 protected:
  ::ndk::SpAIBinder createBinder() override;
};

}  // namespace aidl::android::hardware::security::keymint
