#pragma once
#include <cstdint>

namespace aidl::android::hardware::security::keymint {

enum class EcCurve : int32_t {
  P_224 = 0,
  P_256 = 1,
  P_384 = 2,
  P_521 = 3,
  CURVE_25519 = 4,
};

}  // namespace aidl::android::hardware::security::keymint
