#pragma once
#include <vector>

#include <android/binder_parcel.h>
#include <aidl/android/hardware/security/keymint/KeyParameter.h>
#include <aidl/android/hardware/security/keymint/SecurityLevel.h>

namespace aidl::android::hardware::security::keymint {

class KeyCharacteristics {
 public:
  static constexpr const char* descriptor = "android.hardware.security.keymint.KeyCharacteristics";
  SecurityLevel securityLevel = SecurityLevel::SOFTWARE;
  std::vector<KeyParameter> authorizations;

  binder_status_t readFromParcel(const AParcel* parcel);
  binder_status_t writeToParcel(AParcel* parcel) const;
  bool operator==(const KeyCharacteristics&) const = default;
};

}  // namespace aidl::android::hardware::security::keymint
