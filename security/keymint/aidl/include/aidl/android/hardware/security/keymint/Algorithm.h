#pragma once
#include <cstdint>

namespace aidl::android::hardware::security::keymint {

enum class Algorithm : int32_t {
  RSA = 1,
  EC = 3,
  AES = 32,
  TRIPLE_DES = 33,
  HMAC = 128,
};

}  // namespace aidl::android::hardware::security::keymint
