#pragma once
#include <cstdint>
#include <string>

namespace aidl::android::hardware::vibrator {

enum class CompositePrimitive : int32_t {
  NOOP = 0,
  CLICK = 1,
  THUD = 2,
  SPIN = 3,
  QUICK_RISE = 4,
  SLOW_RISE = 5,
  QUICK_FALL = 6,
  LIGHT_TICK = 7,
  LOW_TICK = 8,
};

inline std::string toString(CompositePrimitive v) {
  switch (v) {
    case CompositePrimitive::NOOP: return "NOOP";
    case CompositePrimitive::CLICK: return "CLICK";
    case CompositePrimitive::THUD: return "THUD";
    case CompositePrimitive::SPIN: return "SPIN";
    case CompositePrimitive::QUICK_RISE: return "QUICK_RISE";
    case CompositePrimitive::SLOW_RISE: return "SLOW_RISE";
    case CompositePrimitive::QUICK_FALL: return "QUICK_FALL";
    case CompositePrimitive::LIGHT_TICK: return "LIGHT_TICK";
    case CompositePrimitive::LOW_TICK: return "LOW_TICK";
  }
  return std::to_string(static_cast<int32_t>(v));
}

}  // namespace aidl::android::hardware::vibrator
