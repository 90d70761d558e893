#pragma once
#include <cstdint>

namespace aidl::android::hardware::security::keymint {

enum class KeyPurpose : int32_t {
  ENCRYPT = 0,
  DECRYPT = 1,
  SIGN = 2,
  VERIFY = 3,
  WRAP_KEY = 5,
  AGREE_KEY = 6,
  ATTEST_KEY = 7,
};

}  // namespace aidl::android::hardware::security::keymint
