#pragma once
#include <cstdint>

namespace aidl::android::hardware::security::keymint {

enum class KeyFormat : int32_t {
  X509 = 0,
  PKCS8 = 1,
  RAW = 3,
};

}  // namespace aidl::android::hardware::security::keymint
