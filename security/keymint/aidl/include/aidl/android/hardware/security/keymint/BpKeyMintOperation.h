#pragma once
#include <aidl/android/hardware/security/keymint/IKeyMintOperation.h>

namespace aidl::android::hardware::security::keymint {

class BpKeyMintOperation : public ::ndk::BpCInterface<IKeyMintOperation> {
 public:
  explicit BpKeyMintOperation(const ::ndk::SpAIBinder& binder);
  ::ndk::ScopedAStatus updateAad(
      const std::vector<uint8_t>& input, const std::optional<HardwareAuthToken>& authToken,
      const std::optional<::aidl::android::hardware::security::secureclock::TimeStampToken>& timeStampToken) override;
  ::ndk::ScopedAStatus update(
      const std::vector<uint8_t>& input, const std::optional<HardwareAuthToken>& authToken,
      const std::optional<::aidl::android::hardware::security::secureclock::TimeStampToken>& timeStampToken,
      std::vector<uint8_t>* _aidl_return) override;
  ::ndk::ScopedAStatus finish(
      const std::optional<std::vector<uint8_t>>& input, const std::optional<std::vector<uint8_t>>& signature,
      const std::optional<HardwareAuthToken>& authToken,
      const std::optional<::aidl::android::hardware::security::secureclock::TimeStampToken>& timestampToken,
      const std::optional<std::vector<uint8_t>>& confirmationToken, std::vector<uint8_t>* _aidl_return) override;
  ::ndk::ScopedAStatus abort() override;
  ::ndk::ScopedAStatus getInterfaceVersion(int32_t* _aidl_return) override;
  ::ndk::ScopedAStatus getInterfaceHash(std::string* _aidl_return) override;
};

}  // namespace aidl::android::hardware::security::keymint
