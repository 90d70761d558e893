#pragma once
#include <cstdint>
#include <vector>

#include <android/binder_parcel.h>
#include <aidl/android/hardware/security/keymint/Certificate.h>
#include <aidl/android/hardware/security/keymint/KeyCharacteristics.h>

namespace aidl::android::hardware::security::keymint {

class KeyCreationResult {
 public:
  static constexpr const char* descriptor = "android.hardware.security.keymint.KeyCreationResult";
  std::vector<uint8_t> keyBlob;
  std::vector<KeyCharacteristics> keyCharacteristics;
  std::vector<Certificate> certificateChain;

  binder_status_t readFromParcel(const AParcel* parcel);
  binder_status_t writeToParcel(AParcel* parcel) const;
  bool operator==(const KeyCreationResult&) const = default;
};

}  // namespace aidl::android::hardware::security::keymint
