#pragma once
#include <cstdint>
#include <vector>

#include <android/binder_parcel.h>

namespace aidl::android::hardware::security::keymint {

class ProtectedData {
 public:
  static constexpr const char* descriptor = "android.hardware.security.keymint.ProtectedData";
  std::vector<uint8_t> protectedData;

  binder_status_t readFromParcel(const AParcel* parcel);
  binder_status_t writeToParcel(AParcel* parcel) const;
  bool operator==(const ProtectedData&) const = default;
};

}  // namespace aidl::android::hardware::security::keymint
