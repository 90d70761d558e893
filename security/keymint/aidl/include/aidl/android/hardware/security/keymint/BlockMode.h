#pragma once
#include <cstdint>

namespace aidl::android::hardware::security::keymint {

enum class BlockMode : int32_t {
  ECB = 1,
  CBC = 2,
  CTR = 3,
  GCM = 32,
};

}  // namespace aidl::android::hardware::security::keymint
