#pragma once
#include <android/binder_parcel.h>
#include <aidl/android/hardware/security/keymint/KeyParameterValue.h>
#include <aidl/android/hardware/security/keymint/Tag.h>

namespace aidl::android::hardware::security::keymint {

class KeyParameter {
 public:
  static constexpr const char* descriptor = "android.hardware.security.keymint.KeyParameter";
  ::aidl::android::hardware::security::keymint::Tag tag = ::aidl::android::hardware::security::keymint::Tag::INVALID;
  KeyParameterValue value;

  binder_status_t readFromParcel(const AParcel* parcel);
  binder_status_t writeToParcel(AParcel* parcel) const;
  bool operator==(const KeyParameter&) const = default;
};

}  // namespace aidl::android::hardware::security::keymint
