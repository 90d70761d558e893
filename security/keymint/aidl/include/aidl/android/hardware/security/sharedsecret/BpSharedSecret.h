#pragma once
#include <aidl/android/hardware/security/sharedsecret/ISharedSecret.h>

namespace aidl::android::hardware::security::sharedsecret {

class BpSharedSecret : public ::ndk::BpCInterface<ISharedSecret> {
 public:
  explicit BpSharedSecret(const ::ndk::SpAIBinder& binder);
  ::ndk::ScopedAStatus getSharedSecretParameters(SharedSecretParameters* _aidl_return) override;
  ::ndk::ScopedAStatus computeSharedSecret(const std::vector<SharedSecretParameters>& params, std::vector<uint8_t>* _aidl_return) override;
  ::ndk::ScopedAStatus getInterfaceVersion(int32_t* _aidl_return) override;
  ::ndk::ScopedAStatus getInterfaceHash(std::string* _aidl_return) override;
};

}  // namespace aidl::android::hardware::security::sharedsecret
