#pragma once
#include <cstdint>

#include <android/binder_parcel.h>

namespace aidl::android::hardware::vibrator {

class ActivePwle {
 public:
  static constexpr const char* descriptor = "android.hardware.vibrator.ActivePwle";
  float startAmplitude = 0.0f;
  float startFrequency = 0.0f;
  float endAmplitude = 0.0f;
  float endFrequency = 0.0f;
  int32_t duration = 0;

  binder_status_t readFromParcel(const AParcel* parcel);
  binder_status_t writeToParcel(AParcel* parcel) const;
  bool operator==(const ActivePwle&) const = default;
};

}  // namespace aidl::android::hardware::vibrator
