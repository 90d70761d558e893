#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include <android/binder_parcel.h>
#include <aidl/android/hardware/security/keymint/IKeyMintOperation.h>
#include <aidl/android/hardware/security/keymint/KeyParameter.h>

namespace aidl::android::hardware::security::keymint {

class BeginResult {
 public:
  static constexpr const char* descriptor = "android.hardware.security.keymint.BeginResult";
  int64_t challenge = 0;
  std::vector<KeyParameter> params;
  std::shared_ptr<IKeyMintOperation> operation;

  binder_status_t readFromParcel(const AParcel* parcel);
  binder_status_t writeToParcel(AParcel* parcel) const;
};

}  // namespace aidl::android::hardware::security::keymint
