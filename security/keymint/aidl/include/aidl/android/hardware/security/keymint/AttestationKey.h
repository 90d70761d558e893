#pragma once
#include <cstdint>
#include <vector>

#include <android/binder_parcel.h>
#include <aidl/android/hardware/security/keymint/KeyParameter.h>

namespace aidl::android::hardware::security::keymint {

class AttestationKey {
 public:
  static constexpr const char* descriptor = "android.hardware.security.keymint.AttestationKey";
  std::vector<uint8_t> keyBlob;
  std::vector<KeyParameter> attestKeyParams;
  std::vector<uint8_t> issuerSubjectName;

  binder_status_t readFromParcel(const AParcel* parcel);
  binder_status_t writeToParcel(AParcel* parcel) const;
  bool operator==(const AttestationKey&) const = default;
};

}  // namespace aidl::android::hardware::security::keymint
