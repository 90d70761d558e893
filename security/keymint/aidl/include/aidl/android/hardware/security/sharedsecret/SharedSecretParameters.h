#pragma once
#include <cstdint>
#include <vector>

#include <android/binder_parcel.h>

namespace aidl::android::hardware::security::sharedsecret {

class SharedSecretParameters {
 public:
  static constexpr const char* descriptor = "android.hardware.security.sharedsecret.SharedSecretParameters";
  std::vector<uint8_t> seed;
  std::vector<uint8_t> nonce;

  binder_status_t readFromParcel(const AParcel* parcel);
  binder_status_t writeToParcel(AParcel* parcel) const;
  bool operator==(const SharedSecretParameters&) const = default;
};

}  // namespace aidl::android::hardware::security::sharedsecret
