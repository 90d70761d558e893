#pragma once
#include <cstdint>

#include <android/binder_parcel.h>

namespace aidl::android::hardware::weaver {

class WeaverConfig {
 public:
  static constexpr const char* descriptor = "android.hardware.weaver.WeaverConfig";
  int32_t slots = 0;
  int32_t keySize = 0;
  int32_t valueSize = 0;

  binder_status_t readFromParcel(const AParcel* parcel);
  binder_status_t writeToParcel(AParcel* parcel) const;
  bool operator==(const WeaverConfig&) const = default;
};

}  // namespace aidl::android::hardware::weaver
