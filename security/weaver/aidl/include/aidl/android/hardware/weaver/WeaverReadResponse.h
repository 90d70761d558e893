#pragma once
#include <cstdint>
#include <vector>

#include <android/binder_parcel.h>
#include <aidl/android/hardware/weaver/WeaverReadStatus.h>

namespace aidl::android::hardware::weaver {

class WeaverReadResponse {
 public:
  static constexpr const char* descriptor = "android.hardware.weaver.WeaverReadResponse";
  int64_t timeout = 0;  // ms to wait before the next attempt
  std::vector<uint8_t> value;
  WeaverReadStatus status = WeaverReadStatus::FAILED;

  binder_status_t readFromParcel(const AParcel* parcel);
  binder_status_t writeToParcel(AParcel* parcel) const;
  bool operator==(const WeaverReadResponse&) const = default;
};

}  // namespace aidl::android::hardware::weaver
