#pragma once
#include <cstdint>
#include <vector>

#include <android/binder_parcel.h>

namespace aidl::android::hardware::security::keymint {

class Certificate {
 public:
  static constexpr const char* descriptor = "android.hardware.security.keymint.Certificate";
  std::vector<uint8_t> encodedCertificate;

  binder_status_t readFromParcel(const AParcel* parcel);
  binder_status_t writeToParcel(AParcel* parcel) const;
  bool operator==(const Certificate&) const = default;
};

}  // namespace aidl::android::hardware::security::keymint
