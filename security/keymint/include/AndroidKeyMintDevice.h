#pragma once
// The IKeyMintDevice served by this library: each call becomes one request of the
// KeyMint request layer to the secure processor.
#include <aidl/android/hardware/security/keymint/BnKeyMintDevice.h>

#include <memory>

#include "KeymasterHalDevice.h"
#include "secproc_api.h"

namespace aidl::android::hardware::security::keymint {

class SECPROC_API AndroidKeyMintDevice : public BnKeyMintDevice {
 public:
  explicit AndroidKeyMintDevice(SecurityLevel securityLevel);
  ~AndroidKeyMintDevice() override;

  ::ndk::ScopedAStatus getHardwareInfo(KeyMintHardwareInfo* info) override;
  ::ndk::ScopedAStatus addRngEntropy(const std::vector<uint8_t>& data) override;
  ::ndk::ScopedAStatus generateKey(const std::vector<KeyParameter>& keyParams,
                                   const std::optional<AttestationKey>& attestationKey,
                                   KeyCreationResult* creationResult) override;
  ::ndk::ScopedAStatus importKey(const std::vector<KeyParameter>& keyParams, KeyFormat keyFormat,
                                 const std::vector<uint8_t>& keyData,
                                 const std::optional<AttestationKey>& attestationKey,
                                 KeyCreationResult* creationResult) override;
  ::ndk::ScopedAStatus importWrappedKey(const std::vector<uint8_t>& wrappedKeyData,
                                        const std::vector<uint8_t>& wrappingKeyBlob,
                                        const std::vector<uint8_t>& maskingKey,
                                        const std::vector<KeyParameter>& unwrappingParams, int64_t passwordSid,
                                        int64_t biometricSid, KeyCreationResult* creationResult) override;
  ::ndk::ScopedAStatus upgradeKey(const std::vector<uint8_t>& keyBlobToUpgrade,
                                  const std::vector<KeyParameter>& upgradeParams,
                                  std::vector<uint8_t>* keyBlob) override;
  ::ndk::ScopedAStatus deleteKey(const std::vector<uint8_t>& keyBlob) override;
  ::ndk::ScopedAStatus deleteAllKeys() override;
  ::ndk::ScopedAStatus destroyAttestationIds() override;
  ::ndk::ScopedAStatus begin(KeyPurpose purpose, const std::vector<uint8_t>& keyBlob,
                             const std::vector<KeyParameter>& params,
                             const std::optional<HardwareAuthToken>& authToken, BeginResult* result) override;
  ::ndk::ScopedAStatus deviceLocked(
      bool passwordOnly,
      const std::optional<::aidl::android::hardware::security::secureclock::TimeStampToken>& timestampToken) override;
  ::ndk::ScopedAStatus earlyBootEnded() override;
  ::ndk::ScopedAStatus convertStorageKeyToEphemeral(const std::vector<uint8_t>& storageKeyBlob,
                                                    std::vector<uint8_t>* ephemeralKeyBlob) override;
  ::ndk::ScopedAStatus getKeyCharacteristics(const std::vector<uint8_t>& keyBlob,
                                             const std::vector<uint8_t>& appId,
                                             const std::vector<uint8_t>& appData,
                                             std::vector<KeyCharacteristics>* keyCharacteristics) override;
  ::ndk::ScopedAStatus getRootOfTrustChallenge(std::array<uint8_t, 16>* challenge) override;
  ::ndk::ScopedAStatus getRootOfTrust(const std::array<uint8_t, 16>& challenge,
                                      std::vector<uint8_t>* rootOfTrust) override;
  ::ndk::ScopedAStatus sendRootOfTrust(const std::vector<uint8_t>& rootOfTrust) override;
  ::ndk::ScopedAStatus performOperation(const std::vector<uint8_t>& request, std::vector<uint8_t>* response);

  // The request layer, shared with the operations, the secure clock, the shared secret and
  // the remotely provisioned component.
  std::shared_ptr<keymasterdevice::KeymasterHalDevice> getKeymasterImpl() const { return impl_; }
  SecurityLevel securityLevel() const { return securityLevel_; }

  // Configures the secure processor once per process with the OS version and patch levels
  // (also called by the remotely provisioned component before its requests).
  ::ndk::ScopedAStatus init();

 private:
  std::shared_ptr<keymasterdevice::KeymasterHalDevice> impl_;
  SecurityLevel securityLevel_;
};

// A device for `securityLevel`, allocated with new; the caller owns it.
SECPROC_API AndroidKeyMintDevice* CreateKeyMintDevice(SecurityLevel securityLevel);
// The StrongBox device registered with the service manager (waits for it); null for any
// other level or when no binder comes back.
SECPROC_API std::shared_ptr<IKeyMintDevice> GetKeyMintDeviceService(SecurityLevel securityLevel);

// The service-specific status of a KeyMint error code (OK for 0).
SECPROC_API ::ndk::ScopedAStatus kmError2ScopedAStatus(int32_t code);

namespace testing {
// Forgets that the secure processor was configured, as in a fresh process.
SECPROC_API void resetConfigured();
}  // namespace testing

}  // namespace aidl::android::hardware::security::keymint
