#pragma once
#include <cstdint>
#include <string>

#include <android/binder_parcel.h>
#include <aidl/android/hardware/security/keymint/SecurityLevel.h>

namespace aidl::android::hardware::security::keymint {

class KeyMintHardwareInfo {
 public:
  static constexpr const char* descriptor = "android.hardware.security.keymint.KeyMintHardwareInfo";
  int32_t versionNumber = 0;
  SecurityLevel securityLevel = SecurityLevel::SOFTWARE;
  std::string keyMintName;
  std::string keyMintAuthorName;
  bool timestampTokenRequired = false;

  binder_status_t readFromParcel(const AParcel* parcel);
  binder_status_t writeToParcel(AParcel* parcel) const;
  bool operator==(const KeyMintHardwareInfo&) const = default;
};

}  // namespace aidl::android::hardware::security::keymint
