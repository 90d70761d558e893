#pragma once
#include <cstdint>

namespace aidl::android::hardware::security::keymint {

enum class KeyOrigin : int32_t {
  GENERATED = 0,
  DERIVED = 1,
  IMPORTED = 2,
  RESERVED = 3,
  SECURELY_IMPORTED = 4,
};

}  // namespace aidl::android::hardware::security::keymint
