#pragma once
#include <aidl/android/hardware/security/keymint/IKeyMintDevice.h>

namespace aidl::android::hardware::security::keymint {

class BpKeyMintDevice : public ::ndk::BpCInterface<IKeyMintDevice> {
 public:
  explicit BpKeyMintDevice(const ::ndk::SpAIBinder& binder);
  ::ndk::ScopedAStatus getHardwareInfo(KeyMintHardwareInfo* _aidl_return) override;
  ::ndk::ScopedAStatus addRngEntropy(const std::vector<uint8_t>& data) override;
  ::ndk::ScopedAStatus generateKey(const std::vector<KeyParameter>& keyParams, const std::optional<AttestationKey>& attestationKey, KeyCreationResult* _aidl_return) override;
  ::ndk::ScopedAStatus importKey(const std::vector<KeyParameter>& keyParams, KeyFormat keyFormat, const std::vector<uint8_t>& keyData, const std::optional<AttestationKey>& attestationKey, KeyCreationResult* _aidl_return) override;
  ::ndk::ScopedAStatus importWrappedKey(const std::vector<uint8_t>& wrappedKeyData, const std::vector<uint8_t>& wrappingKeyBlob, const std::vector<uint8_t>& maskingKey, const std::vector<KeyParameter>& unwrappingParams, int64_t passwordSid, int64_t biometricSid, KeyCreationResult* _aidl_return) override;
  ::ndk::ScopedAStatus upgradeKey(const std::vector<uint8_t>& keyBlobToUpgrade, const std::vector<KeyParameter>& upgradeParams, std::vector<uint8_t>* _aidl_return) override;
  ::ndk::ScopedAStatus deleteKey(const std::vector<uint8_t>& keyBlob) override;
  ::ndk::ScopedAStatus deleteAllKeys() override;
  ::ndk::ScopedAStatus destroyAttestationIds() override;
  ::ndk::ScopedAStatus begin(KeyPurpose purpose, const std::vector<uint8_t>& keyBlob, const std::vector<KeyParameter>& params, const std::optional<HardwareAuthToken>& authToken, BeginResult* _aidl_return) override;
  ::ndk::ScopedAStatus deviceLocked(bool passwordOnly, const std::optional<::aidl::android::hardware::security::secureclock::TimeStampToken>& timestampToken) override;
  ::ndk::ScopedAStatus earlyBootEnded() override;
  ::ndk::ScopedAStatus convertStorageKeyToEphemeral(const std::vector<uint8_t>& storageKeyBlob, std::vector<uint8_t>* _aidl_return) override;
  ::ndk::ScopedAStatus getKeyCharacteristics(const std::vector<uint8_t>& keyBlob, const std::vector<uint8_t>& appId, const std::vector<uint8_t>& appData, std::vector<KeyCharacteristics>* _aidl_return) override;
  ::ndk::ScopedAStatus getRootOfTrustChallenge(std::array<uint8_t, 16>* _aidl_return) override;
  ::ndk::ScopedAStatus getRootOfTrust(const std::array<uint8_t, 16>& challenge, std::vector<uint8_t>* _aidl_return) override;
  ::ndk::ScopedAStatus sendRootOfTrust(const std::vector<uint8_t>& rootOfTrust) override;
  ::ndk::ScopedAStatus getInterfaceVersion(int32_t* _aidl_return) override;
  ::ndk::ScopedAStatus getInterfaceHash(std::string* _aidl_return) override;
};

}  // namespace aidl::android::hardware::security::keymint
