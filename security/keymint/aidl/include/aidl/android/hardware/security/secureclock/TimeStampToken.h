#pragma once
#include <cstdint>
#include <vector>

#include <android/binder_parcel.h>
#include <aidl/android/hardware/security/secureclock/Timestamp.h>

namespace aidl::android::hardware::security::secureclock {

class TimeStampToken {
 public:
  static constexpr const char* descriptor = "android.hardware.security.secureclock.TimeStampToken";
  int64_t challenge = 0;
  Timestamp timestamp;
  std::vector<uint8_t> mac;

  binder_status_t readFromParcel(const AParcel* parcel);
  binder_status_t writeToParcel(AParcel* parcel) const;
  bool operator==(const TimeStampToken&) const = default;
};

}  // namespace aidl::android::hardware::security::secureclock
