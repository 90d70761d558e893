#pragma once
#include <aidl/android/hardware/security/keymint/IRemotelyProvisionedComponent.h>

namespace aidl::android::hardware::security::keymint {

class BpRemotelyProvisionedComponent : public ::ndk::BpCInterface<IRemotelyProvisionedComponent> {
 public:
  explicit BpRemotelyProvisionedComponent(const ::ndk::SpAIBinder& binder);
  ::ndk::ScopedAStatus getHardwareInfo(RpcHardwareInfo* _aidl_return) override;
  ::ndk::ScopedAStatus generateEcdsaP256KeyPair(bool testMode, MacedPublicKey* macedPublicKey,
                                                std::vector<uint8_t>* _aidl_return) override;
  ::ndk::ScopedAStatus generateCertificateRequest(bool testMode, const std::vector<MacedPublicKey>& keysToSign,
                                                  const std::vector<uint8_t>& endpointEncryptionCertChain,
                                                  const std::vector<uint8_t>& challenge, DeviceInfo* deviceInfo,
                                                  ProtectedData* protectedData,
                                                  std::vector<uint8_t>* _aidl_return) override;
  ::ndk::ScopedAStatus generateCertificateRequestV2(const std::vector<MacedPublicKey>& keysToSign,
                                                    const std::vector<uint8_t>& challenge,
                                                    std::vector<uint8_t>* _aidl_return) override;
  ::ndk::ScopedAStatus getInterfaceVersion(int32_t* _aidl_return) override;
  ::ndk::ScopedAStatus getInterfaceHash(std::string* _aidl_return) override;
};

}  // namespace aidl::android::hardware::security::keymint
