#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <android/binder_interface_utils.h>
#include <aidl/android/hardware/security/keymint/AttestationKey.h>
#include <aidl/android/hardware/security/keymint/BeginResult.h>
#include <aidl/android/hardware/security/keymint/HardwareAuthToken.h>
#include <aidl/android/hardware/security/keymint/KeyCharacteristics.h>
#include <aidl/android/hardware/security/keymint/KeyCreationResult.h>
#include <aidl/android/hardware/security/keymint/KeyFormat.h>
#include <aidl/android/hardware/security/keymint/KeyMintHardwareInfo.h>
#include <aidl/android/hardware/security/keymint/KeyParameter.h>
#include <aidl/android/hardware/security/keymint/KeyPurpose.h>
#include <aidl/android/hardware/security/secureclock/TimeStampToken.h>

namespace aidl::android::hardware::security::keymint {

class IKeyMintDevice : public ::ndk::ICInterface {
 public:
  static const char* descriptor;
  static const int32_t version = 3;
  static inline const std::string hash = "74a538630d5d90f732f361a2313cbb69b09eb047";
  static constexpr int32_t AUTH_TOKEN_MAC_LENGTH = 32;
  static constexpr uint32_t TRANSACTION_getHardwareInfo = FIRST_CALL_TRANSACTION + 0;
  static constexpr uint32_t TRANSACTION_addRngEntropy = FIRST_CALL_TRANSACTION + 1;
  static constexpr uint32_t TRANSACTION_generateKey = FIRST_CALL_TRANSACTION + 2;
  static constexpr uint32_t TRANSACTION_importKey = FIRST_CALL_TRANSACTION + 3;
  static constexpr uint32_t TRANSACTION_importWrappedKey = FIRST_CALL_TRANSACTION + 4;
  static constexpr uint32_t TRANSACTION_upgradeKey = FIRST_CALL_TRANSACTION + 5;
  static constexpr uint32_t TRANSACTION_deleteKey = FIRST_CALL_TRANSACTION + 6;
  static constexpr uint32_t TRANSACTION_deleteAllKeys = FIRST_CALL_TRANSACTION + 7;
  static constexpr uint32_t TRANSACTION_destroyAttestationIds = FIRST_CALL_TRANSACTION + 8;
  static constexpr uint32_t TRANSACTION_begin = FIRST_CALL_TRANSACTION + 9;
  static constexpr uint32_t TRANSACTION_deviceLocked = FIRST_CALL_TRANSACTION + 10;
  static constexpr uint32_t TRANSACTION_earlyBootEnded = FIRST_CALL_TRANSACTION + 11;
  static constexpr uint32_t TRANSACTION_convertStorageKeyToEphemeral = FIRST_CALL_TRANSACTION + 12;
  static constexpr uint32_t TRANSACTION_getKeyCharacteristics = FIRST_CALL_TRANSACTION + 13;
  static constexpr uint32_t TRANSACTION_getRootOfTrustChallenge = FIRST_CALL_TRANSACTION + 14;
  static constexpr uint32_t TRANSACTION_getRootOfTrust = FIRST_CALL_TRANSACTION + 15;
  static constexpr uint32_t TRANSACTION_sendRootOfTrust = FIRST_CALL_TRANSACTION + 16;
  static constexpr uint32_t TRANSACTION_getInterfaceVersion = 16777215;
  static constexpr uint32_t TRANSACTION_getInterfaceHash = 16777214;

  static std::shared_ptr<IKeyMintDevice> fromBinder(const ::ndk::SpAIBinder& binder);

  virtual ::ndk::ScopedAStatus getHardwareInfo(KeyMintHardwareInfo* _aidl_return) = 0;
  virtual ::ndk::ScopedAStatus addRngEntropy(const std::vector<uint8_t>& data) = 0;
  virtual ::ndk::ScopedAStatus generateKey(const std::vector<KeyParameter>& keyParams, const std::optional<AttestationKey>& attestationKey, KeyCreationResult* _aidl_return) = 0;
  virtual ::ndk::ScopedAStatus importKey(const std::vector<KeyParameter>& keyParams, KeyFormat keyFormat, const std::vector<uint8_t>& keyData, const std::optional<AttestationKey>& attestationKey, KeyCreationResult* _aidl_return) = 0;
  virtual ::ndk::ScopedAStatus importWrappedKey(const std::vector<uint8_t>& wrappedKeyData, const std::vector<uint8_t>& wrappingKeyBlob, const std::vector<uint8_t>& maskingKey, const std::vector<KeyParameter>& unwrappingParams, int64_t passwordSid, int64_t biometricSid, KeyCreationResult* _aidl_return) = 0;
  virtual ::ndk::ScopedAStatus upgradeKey(const std::vector<uint8_t>& keyBlobToUpgrade, const std::vector<KeyParameter>& upgradeParams, std::vector<uint8_t>* _aidl_return) = 0;
  virtual ::ndk::ScopedAStatus deleteKey(const std::vector<uint8_t>& keyBlob) = 0;
  virtual ::ndk::ScopedAStatus deleteAllKeys() = 0;
  virtual ::ndk::ScopedAStatus destroyAttestationIds() = 0;
  virtual ::ndk::ScopedAStatus begin(KeyPurpose purpose, const std::vector<uint8_t>& keyBlob, const std::vector<KeyParameter>& params, const std::optional<HardwareAuthToken>& authToken, BeginResult* _aidl_return) = 0;
  virtual ::ndk::ScopedAStatus deviceLocked(bool passwordOnly, const std::optional<::aidl::android::hardware::security::secureclock::TimeStampToken>& timestampToken) = 0;
  virtual ::ndk::ScopedAStatus earlyBootEnded() = 0;
  virtual ::ndk::ScopedAStatus convertStorageKeyToEphemeral(const std::vector<uint8_t>& storageKeyBlob, std::vector<uint8_t>* _aidl_return) = 0;
  virtual ::ndk::ScopedAStatus getKeyCharacteristics(const std::vector<uint8_t>& keyBlob, const std::vector<uint8_t>& appId, const std::vector<uint8_t>& appData, std::vector<KeyCharacteristics>* _aidl_return) = 0;
  virtual ::ndk::ScopedAStatus getRootOfTrustChallenge(std::array<uint8_t, 16>* _aidl_return) = 0;
  virtual ::ndk::ScopedAStatus getRootOfTrust(const std::array<uint8_t, 16>& challenge, std::vector<uint8_t>* _aidl_return) = 0;
  virtual ::ndk::ScopedAStatus sendRootOfTrust(const std::vector<uint8_t>& rootOfTrust) = 0;
  virtual ::ndk::ScopedAStatus getInterfaceVersion(int32_t* _aidl_return) = 0;
  virtual ::ndk::ScopedAStatus getInterfaceHash(std::string* _aidl_return) = 0;
};

}  // namespace aidl::android::hardware::security::keymint
