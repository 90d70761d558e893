#pragma once
#include <cstdint>

namespace aidl::android::hardware::security::keymint {

enum class TagType : int32_t {
  INVALID = 0,
  ENUM = 268435456,
  ENUM_REP = 536870912,
  UINT = 805306368,
  UINT_REP = 1073741824,
  ULONG = 1342177280,
  DATE = 1610612736,
  BOOL = 1879048192,
  BIGNUM = INT32_MIN,
  BYTES = -1879048192,
  ULONG_REP = -1610612736,
};

}  // namespace aidl::android::hardware::security::keymint
