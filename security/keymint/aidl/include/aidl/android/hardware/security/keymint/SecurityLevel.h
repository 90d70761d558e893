#pragma once
#include <cstdint>

namespace aidl::android::hardware::security::keymint {

enum class SecurityLevel : int32_t {
  SOFTWARE = 0,
  TRUSTED_ENVIRONMENT = 1,
  STRONGBOX = 2,
  KEYSTORE = 100,
};

}  // namespace aidl::android::hardware::security::keymint
