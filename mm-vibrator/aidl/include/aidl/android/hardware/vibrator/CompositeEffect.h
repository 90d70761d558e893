#pragma once
#include <cstdint>

#include <android/binder_parcel.h>
#include <aidl/android/hardware/vibrator/CompositePrimitive.h>

namespace aidl::android::hardware::vibrator {

class CompositeEffect {
 public:
  static constexpr const char* descriptor = "android.hardware.vibrator.CompositeEffect";
  int32_t delayMs = 0;
  CompositePrimitive primitive = CompositePrimitive::NOOP;
  float scale = 0.0f;

  binder_status_t readFromParcel(const AParcel* parcel);
  binder_status_t writeToParcel(AParcel* parcel) const;
  bool operator==(const CompositeEffect&) const = default;
};

}  // namespace aidl::android::hardware::vibrator
