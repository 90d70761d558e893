#pragma once
// Remote key provisioning next to the KeyMint device: attestation key pairs made on the
// secure processor with their public keys wrapped as MACed COSE_Keys, and certificate
// signing requests over such keys.
#include <aidl/android/hardware/security/keymint/BnRemotelyProvisionedComponent.h>
#include <keymaster/android_keymaster_messages.h>
#include <keymaster/cppcose/cppcose.h>
#include <keymaster/remote_provisioning_context.h>

#include <memory>
#include <vector>

#include "AndroidKeyMintDevice.h"
#include "KeymasterHalDevice.h"
#include "secproc_api.h"

namespace keymaster {

// Each fills the response's error (0 on success) and its other fields.
SECPROC_API void GenerateRkpKey(const GenerateRkpKeyRequest& request, GenerateRkpKeyResponse* response,
                                std::shared_ptr<keymasterdevice::KeymasterHalDevice> impl);
SECPROC_API void GenerateCsr(const GenerateCsrRequest& request, GenerateCsrResponse* response,
                             std::shared_ptr<keymasterdevice::KeymasterHalDevice> impl);
SECPROC_API void GenerateCsrV2(const GenerateCsrV2Request& request, GenerateCsrV2Response* response,
                               std::shared_ptr<keymasterdevice::KeymasterHalDevice> impl);

// The MAC over public keys: HMAC-SHA256 under the test MAC key in test mode, otherwise
// whatever `context` makes (an error when it makes none). `context` must outlive the
// function returned.
SECPROC_API cppcose::HmacSha256Function getMacFunction(bool testMode, RemoteProvisioningContext* context);
// The fixed 32-byte key of test-mode MACs.
SECPROC_API std::vector<uint8_t> make_test_mac_key();

}  // namespace keymaster

namespace aidl::android::hardware::security::keymint {

class SECPROC_API AndroidRemotelyProvisionedComponentDevice : public BnRemotelyProvisionedComponent {
 public:
  explicit AndroidRemotelyProvisionedComponentDevice(const std::shared_ptr<AndroidKeyMintDevice>& keymint);
  ~AndroidRemotelyProvisionedComponentDevice() override;

  ::ndk::ScopedAStatus getHardwareInfo(RpcHardwareInfo* info) override;
  ::ndk::ScopedAStatus generateEcdsaP256KeyPair(bool testMode, MacedPublicKey* macedPublicKey,
                                                std::vector<uint8_t>* privateKeyHandle) override;
  ::ndk::ScopedAStatus generateCertificateRequest(bool testMode, const std::vector<MacedPublicKey>& keysToSign,
                                                  const std::vector<uint8_t>& endpointEncCertChain,
                                                  const std::vector<uint8_t>& challenge, DeviceInfo* deviceInfo,
                                                  ProtectedData* protectedData,
                                                  std::vector<uint8_t>* keysToSignMac) override;
  ::ndk::ScopedAStatus generateCertificateRequestV2(const std::vector<MacedPublicKey>& keysToSign,
                                                    const std::vector<uint8_t>& challenge,
                                                    std::vector<uint8_t>* csr) override;

 private:
  std::shared_ptr<keymasterdevice::KeymasterHalDevice> impl_;
  std::shared_ptr<AndroidKeyMintDevice> keymint_;
};

}  // namespace aidl::android::hardware::security::keymint
