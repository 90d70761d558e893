#pragma once
#include <cstdint>

namespace aidl::android::hardware::security::keymint {

enum class HardwareAuthenticatorType : int32_t {
  NONE = 0,
  PASSWORD = 1,
  FINGERPRINT = 2,
  ANY = -1,
};

}  // namespace aidl::android::hardware::security::keymint
