#pragma once
#include <cstdint>
#include <vector>

#include <android/binder_parcel.h>
#include <aidl/android/hardware/security/keymint/HardwareAuthenticatorType.h>
#include <aidl/android/hardware/security/secureclock/Timestamp.h>

namespace aidl::android::hardware::security::keymint {

class HardwareAuthToken {
 public:
  static constexpr const char* descriptor = "android.hardware.security.keymint.HardwareAuthToken";
  int64_t challenge = 0;
  int64_t userId = 0;
  int64_t authenticatorId = 0;
  HardwareAuthenticatorType authenticatorType = HardwareAuthenticatorType::NONE;
  ::aidl::android::hardware::security::secureclock::Timestamp timestamp;
  std::vector<uint8_t> mac;

  binder_status_t readFromParcel(const AParcel* parcel);
  binder_status_t writeToParcel(AParcel* parcel) const;
  bool operator==(const HardwareAuthToken&) const = default;
};

}  // namespace aidl::android::hardware::security::keymint
