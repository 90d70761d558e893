#pragma once
#include <cstdint>
#include <vector>

#include <android/binder_parcel.h>

namespace aidl::android::hardware::security::keymint {

class DeviceInfo {
 public:
  static constexpr const char* descriptor = "android.hardware.security.keymint.DeviceInfo";
  std::vector<uint8_t> deviceInfo;

  binder_status_t readFromParcel(const AParcel* parcel);
  binder_status_t writeToParcel(AParcel* parcel) const;
  bool operator==(const DeviceInfo&) const = default;
};

}  // namespace aidl::android::hardware::security::keymint
