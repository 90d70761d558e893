#pragma once
#include <cstdint>
#include <string>

namespace aidl::android::hardware::vibrator {

enum class EffectStrength : int8_t {
  LIGHT = 0,
  MEDIUM = 1,
  STRONG = 2,
};

inline std::string toString(EffectStrength v) {
  switch (v) {
    case EffectStrength::LIGHT: return "LIGHT";
    case EffectStrength::MEDIUM: return "MEDIUM";
    case EffectStrength::STRONG: return "STRONG";
  }
  return std::to_string(static_cast<int32_t>(v));
}

}  // namespace aidl::android::hardware::vibrator
