#pragma once
#include <cstdint>
#include <vector>

#include <android/binder_parcel.h>

namespace aidl::android::hardware::security::keymint {

class MacedPublicKey {
 public:
  static constexpr const char* descriptor = "android.hardware.security.keymint.MacedPublicKey";
  std::vector<uint8_t> macedKey;

  binder_status_t readFromParcel(const AParcel* parcel);
  binder_status_t writeToParcel(AParcel* parcel) const;
  bool operator==(const MacedPublicKey&) const = default;
};

}  // namespace aidl::android::hardware::security::keymint
