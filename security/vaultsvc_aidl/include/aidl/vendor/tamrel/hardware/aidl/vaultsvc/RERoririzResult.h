#pragma once
#include <cstdint>
#include <vector>

#include <android/binder_parcel.h>

namespace aidl::vendor::tamrel::hardware::aidl::vaultsvc {

// A result code with the bytes read back from the trusted service's storage.
class RERoririzResult {
 public:
  static constexpr const char* descriptor = "vendor.tamrel.hardware.aidl.vaultsvc.RERoririzResult";
  int32_t result = 0;
  std::vector<uint8_t> data;

  binder_status_t readFromParcel(const AParcel* parcel);
  binder_status_t writeToParcel(AParcel* parcel) const;
  bool operator==(const RERoririzResult&) const = default;
};

}  // namespace aidl::vendor::tamrel::hardware::aidl::vaultsvc
