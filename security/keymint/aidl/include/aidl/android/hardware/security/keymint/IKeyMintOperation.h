#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <android/binder_interface_utils.h>
#include <aidl/android/hardware/security/keymint/HardwareAuthToken.h>
#include <aidl/android/hardware/security/secureclock/TimeStampToken.h>

namespace aidl::android::hardware::security::keymint {

class IKeyMintOperation : public ::ndk::ICInterface {
 public:
  static const char* descriptor;
  static const int32_t version = 3;
  static inline const std::string hash = "74a538630d5d90f732f361a2313cbb69b09eb047";
  static constexpr uint32_t TRANSACTION_updateAad = FIRST_CALL_TRANSACTION + 0;
  static constexpr uint32_t TRANSACTION_update = FIRST_CALL_TRANSACTION + 1;
  static constexpr uint32_t TRANSACTION_finish = FIRST_CALL_TRANSACTION + 2;
  static constexpr uint32_t TRANSACTION_abort = FIRST_CALL_TRANSACTION + 3;
  static constexpr uint32_t TRANSACTION_getInterfaceVersion = 16777215;
  static constexpr uint32_t TRANSACTION_getInterfaceHash = 16777214;

  static std::shared_ptr<IKeyMintOperation> fromBinder(const ::ndk::SpAIBinder& binder);

  virtual ::ndk::ScopedAStatus updateAad(
      const std::vector<uint8_t>& input, const std::optional<HardwareAuthToken>& authToken,
      const std::optional<::aidl::android::hardware::security::secureclock::TimeStampToken>& timeStampToken) = 0;
  virtual ::ndk::ScopedAStatus update(
      const std::vector<uint8_t>& input, const std::optional<HardwareAuthToken>& authToken,
      const std::optional<::aidl::android::hardware::security::secureclock::TimeStampToken>& timeStampToken,
      std::vector<uint8_t>* _aidl_return) = 0;
  virtual ::ndk::ScopedAStatus finish(
      const std::optional<std::vector<uint8_t>>& input, const std::optional<std::vector<uint8_t>>& signature,
      const std::optional<HardwareAuthToken>& authToken,
      const std::optional<::aidl::android::hardware::security::secureclock::TimeStampToken>& timestampToken,
      const std::optional<std::vector<uint8_t>>& confirmationToken, std::vector<uint8_t>* _aidl_return) = 0;
  virtual ::ndk::ScopedAStatus abort() = 0;
  virtual ::ndk::ScopedAStatus getInterfaceVersion(int32_t* _aidl_return) = 0;
  virtual ::ndk::ScopedAStatus getInterfaceHash(std::string* _aidl_return) = 0;
};

}  // namespace aidl::android::hardware::security::keymint
