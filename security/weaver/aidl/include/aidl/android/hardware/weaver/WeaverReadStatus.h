#pragma once
#include <cstdint>

namespace aidl::android::hardware::weaver {

enum class WeaverReadStatus : int32_t {
  OK = 0,
  FAILED = 1,
  INCORRECT_KEY = 2,
  THROTTLE = 3,
};

}  // namespace aidl::android::hardware::weaver
