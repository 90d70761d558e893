#pragma once
#include <cstdint>

#include <android/binder_parcel.h>
#include <aidl/android/hardware/vibrator/Braking.h>

namespace aidl::android::hardware::vibrator {

class BrakingPwle {
 public:
  static constexpr const char* descriptor = "android.hardware.vibrator.BrakingPwle";
  Braking braking = Braking::NONE;
  int32_t duration = 0;

  binder_status_t readFromParcel(const AParcel* parcel);
  binder_status_t writeToParcel(AParcel* parcel) const;
  bool operator==(const BrakingPwle&) const = default;
};

}  // namespace aidl::android::hardware::vibrator
