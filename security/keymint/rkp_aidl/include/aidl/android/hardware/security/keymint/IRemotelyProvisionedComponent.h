#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <aidl/android/hardware/security/keymint/DeviceInfo.h>
#include <aidl/android/hardware/security/keymint/MacedPublicKey.h>
#include <aidl/android/hardware/security/keymint/ProtectedData.h>
#include <aidl/android/hardware/security/keymint/RpcHardwareInfo.h>
#include <android/binder_interface_utils.h>

namespace aidl::android::hardware::security::keymint {

class IRemotelyProvisionedComponent : public ::ndk::ICInterface {
 public:
  static const char* descriptor;
  static const int32_t version = 3;
  static inline const std::string hash = "7d14edbfab5c490efa407ba55fa80614bb48ae8e";
  static constexpr int32_t STATUS_FAILED = 1;
  static constexpr int32_t STATUS_INVALID_MAC = 2;
  static constexpr int32_t STATUS_PRODUCTION_KEY_IN_TEST_REQUEST = 3;
  static constexpr int32_t STATUS_TEST_KEY_IN_PRODUCTION_REQUEST = 4;
  static constexpr int32_t STATUS_INVALID_EEK = 5;
  static constexpr int32_t STATUS_REMOVED = 6;
  static constexpr uint32_t TRANSACTION_getHardwareInfo = FIRST_CALL_TRANSACTION + 0;
  static constexpr uint32_t TRANSACTION_generateEcdsaP256KeyPair = FIRST_CALL_TRANSACTION + 1;
  static constexpr uint32_t TRANSACTION_generateCertificateRequest = FIRST_CALL_TRANSACTION + 2;
  static constexpr uint32_t TRANSACTION_generateCertificateRequestV2 = FIRST_CALL_TRANSACTION + 3;
  static constexpr uint32_t TRANSACTION_getInterfaceVersion = 16777214 + 1;
  static constexpr uint32_t TRANSACTION_getInterfaceHash = 16777214;

  static std::shared_ptr<IRemotelyProvisionedComponent> fromBinder(const ::ndk::SpAIBinder& binder);

  virtual ::ndk::ScopedAStatus getHardwareInfo(RpcHardwareInfo* _aidl_return) = 0;
  virtual ::ndk::ScopedAStatus generateEcdsaP256KeyPair(bool testMode, MacedPublicKey* macedPublicKey,
                                                        std::vector<uint8_t>* _aidl_return) = 0;
  virtual ::ndk::ScopedAStatus generateCertificateRequest(bool testMode,
                                                          const std::vector<MacedPublicKey>& keysToSign,
                                                          const std::vector<uint8_t>& endpointEncryptionCertChain,
                                                          const std::vector<uint8_t>& challenge,
                                                          DeviceInfo* deviceInfo, ProtectedData* protectedData,
                                                          std::vector<uint8_t>* _aidl_return) = 0;
  virtual ::ndk::ScopedAStatus generateCertificateRequestV2(const std::vector<MacedPublicKey>& keysToSign,
                                                            const std::vector<uint8_t>& challenge,
                                                            std::vector<uint8_t>* _aidl_return) = 0;
  virtual ::ndk::ScopedAStatus getInterfaceVersion(int32_t* _aidl_return) = 0;
  virtual ::ndk::ScopedAStatus getInterfaceHash(std::string* _aidl_return) = 0;
};

}  // namespace aidl::android::hardware::security::keymint
