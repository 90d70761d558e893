#pragma once
#include <cstdint>
#include <string>

namespace aidl::android::hardware::vibrator {

enum class Braking : int32_t {
  NONE = 0,
  CLAB = 1,
};

inline std::string toString(Braking v) {
  switch (v) {
    case Braking::NONE: return "NONE";
    case Braking::CLAB: return "CLAB";
  }
  return std::to_string(static_cast<int32_t>(v));
}

}  // namespace aidl::android::hardware::vibrator
