#pragma once
#include <cstdint>

namespace android::frameworks::sensorservice::V1_0 {

enum class Result : int32_t {
  OK = 0,
  NOT_EXIST = 1,
  NO_MEMORY = 2,
  NO_INIT = 3,
  PERMISSION_DENIED = 4,
  BAD_VALUE = 5,
  INVALID_OPERATION = 6,
};

}  // namespace android::frameworks::sensorservice::V1_0
