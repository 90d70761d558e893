#pragma once
#include <cstdint>

namespace aidl::android::hardware::security::keymint {

enum class PaddingMode : int32_t {
  NONE = 1,
  RSA_OAEP = 2,
  RSA_PSS = 3,
  RSA_PKCS1_1_5_ENCRYPT = 4,
  RSA_PKCS1_1_5_SIGN = 5,
  PKCS7 = 64,
};

}  // namespace aidl::android::hardware::security::keymint
