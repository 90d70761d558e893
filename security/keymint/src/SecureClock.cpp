#define LOG_TAG "android.hardware.security.keymint-secproc-impl"

#include <cstring>

#include "AndroidSecureClock.h"

namespace aidl::android::hardware::security::secureclock {

using ::ndk::ScopedAStatus;
using keymint::kmError2ScopedAStatus;

AndroidSecureClock::AndroidSecureClock(const std::shared_ptr<keymint::AndroidKeyMintDevice>& keyMintDevice)
    : impl_(keyMintDevice->getKeymasterImpl()) {}

AndroidSecureClock::~AndroidSecureClock() = default;

ScopedAStatus AndroidSecureClock::generateTimeStamp(int64_t challenge, TimeStampToken* token) {
  if (token == nullptr) return kmError2ScopedAStatus(KM_ERROR_OUTPUT_PARAMETER_NULL);
  verification_token_t record{};
  int rc = impl_->keymint_generate_timestamp(static_cast<uint64_t>(challenge), &record);
  if (rc != 0) return kmError2ScopedAStatus(rc);
  token->challenge = static_cast<int64_t>(record.challenge);
  token->timestamp.milliSeconds = static_cast<int64_t>(record.timestamp);
  token->mac.assign(record.mac, record.mac + sizeof record.mac);
  return ScopedAStatus::ok();
}

}  // namespace aidl::android::hardware::security::secureclock
