#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <android/binder_interface_utils.h>
#include <aidl/android/hardware/security/sharedsecret/SharedSecretParameters.h>

namespace aidl::android::hardware::security::sharedsecret {

class ISharedSecret : public ::ndk::ICInterface {
 public:
  static const char* descriptor;
  static const int32_t version = 1;
  static inline const std::string hash = "aea3745b559d2977f0676952e510fb0547a52140";
  static inline const char* KEY_AGREEMENT_LABEL = "KeymasterSharedMac";
  static inline const char* KEY_CHECK_LABEL = "Keymaster HMAC Verification";
  static constexpr uint32_t TRANSACTION_getSharedSecretParameters = FIRST_CALL_TRANSACTION + 0;
  static constexpr uint32_t TRANSACTION_computeSharedSecret = FIRST_CALL_TRANSACTION + 1;
  static constexpr uint32_t TRANSACTION_getInterfaceVersion = 16777215;
  static constexpr uint32_t TRANSACTION_getInterfaceHash = 16777214;

  static std::shared_ptr<ISharedSecret> fromBinder(const ::ndk::SpAIBinder& binder);

  virtual ::ndk::ScopedAStatus getSharedSecretParameters(SharedSecretParameters* _aidl_return) = 0;
  virtual ::ndk::ScopedAStatus computeSharedSecret(const std::vector<SharedSecretParameters>& params, std::vector<uint8_t>* _aidl_return) = 0;
  virtual ::ndk::ScopedAStatus getInterfaceVersion(int32_t* _aidl_return) = 0;
  virtual ::ndk::ScopedAStatus getInterfaceHash(std::string* _aidl_return) = 0;
};

}  // namespace aidl::android::hardware::security::sharedsecret
