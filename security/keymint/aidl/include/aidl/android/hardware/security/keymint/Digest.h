#pragma once
#include <cstdint>

namespace aidl::android::hardware::security::keymint {

enum class Digest : int32_t {
  NONE = 0,
  MD5 = 1,
  SHA1 = 2,
  SHA_2_224 = 3,
  SHA_2_256 = 4,
  SHA_2_384 = 5,
  SHA_2_512 = 6,
};

}  // namespace aidl::android::hardware::security::keymint
