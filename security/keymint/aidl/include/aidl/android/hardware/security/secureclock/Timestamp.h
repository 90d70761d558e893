#pragma once
#include <cstdint>

#include <android/binder_parcel.h>

namespace aidl::android::hardware::security::secureclock {

class Timestamp {
 public:
  static constexpr const char* descriptor = "android.hardware.security.secureclock.Timestamp";
  int64_t milliSeconds = 0;

  binder_status_t readFromParcel(const AParcel* parcel);
  binder_status_t writeToParcel(AParcel* parcel) const;
  bool operator==(const Timestamp&) const = default;
};

}  // namespace aidl::android::hardware::security::secureclock
