#pragma once
// One cryptographic operation begun on the secure processor, addressed by its handle.
#include <aidl/android/hardware/security/keymint/BnKeyMintOperation.h>

#include <memory>

#include "KeymasterHalDevice.h"
#include "secproc_api.h"

namespace aidl::android::hardware::security::keymint {

class SECPROC_API AndroidKeyMintOperation : public BnKeyMintOperation {
 public:
  // Bytes of input one update request carries at most.
  static constexpr size_t kMaxChunk = 8192;

  AndroidKeyMintOperation(std::shared_ptr<keymasterdevice::KeymasterHalDevice> implementation,
                          keymaster_operation_handle_t opHandle);
  ~AndroidKeyMintOperation() override;

  ::ndk::ScopedAStatus updateAad(
      const std::vector<uint8_t>& input, const std::optional<HardwareAuthToken>& authToken,
      const std::optional<::aidl::android::hardware::security::secureclock::TimeStampToken>& timeStampToken) override;
  ::ndk::ScopedAStatus update(
      const std::vector<uint8_t>& input, const std::optional<HardwareAuthToken>& authToken,
      const std::optional<::aidl::android::hardware::security::secureclock::TimeStampToken>& timeStampToken,
      std::vector<uint8_t>* output) override;
  ::ndk::ScopedAStatus finish(
      const std::optional<std::vector<uint8_t>>& input, const std::optional<std::vector<uint8_t>>& signature,
      const std::optional<HardwareAuthToken>& authToken,
      const std::optional<::aidl::android::hardware::security::secureclock::TimeStampToken>& timestampToken,
      const std::optional<std::vector<uint8_t>>& confirmationToken, std::vector<uint8_t>* output) override;
  ::ndk::ScopedAStatus abort() override;

  keymaster_operation_handle_t handle() const { return opHandle_; }

 private:
  std::shared_ptr<keymasterdevice::KeymasterHalDevice> impl_;
  keymaster_operation_handle_t opHandle_;
};

}  // namespace aidl::android::hardware::security::keymint
