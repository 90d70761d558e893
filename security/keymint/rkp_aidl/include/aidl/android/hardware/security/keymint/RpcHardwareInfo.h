#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include <android/binder_parcel.h>

namespace aidl::android::hardware::security::keymint {

class RpcHardwareInfo {
 public:
  static constexpr const char* descriptor = "android.hardware.security.keymint.RpcHardwareInfo";
  static constexpr int32_t CURVE_NONE = 0;
  static constexpr int32_t CURVE_P256 = 1;
  static constexpr int32_t CURVE_25519 = 2;
  static constexpr int32_t MIN_SUPPORTED_NUM_KEYS_IN_CSR = 20;

  int32_t versionNumber = 0;
  std::string rpcAuthorName;
  int32_t supportedEekCurve = CURVE_NONE;
  std::optional<std::string> uniqueId;
  int32_t supportedNumKeysInCsr = 4;

  binder_status_t readFromParcel(const AParcel* parcel);
  binder_status_t writeToParcel(AParcel* parcel) const;
  bool operator==(const RpcHardwareInfo&) const = default;
};

}  // namespace aidl::android::hardware::security::keymint
