// libbraxvibrator.so: the HE 2.0 player, recording what it is asked to play.
#include <errno.h>

#include <vendor_export.h>
#include <wavelibs/brax_vibrator.h>

#include "recorder.h"

namespace {
constexpr const char* kLibrary = "braxvibrator";
}

VENDOR_EXPORT int brax_vibra_init(int32_t* handle) {
  if (handle == nullptr) return -EINVAL;
  platform_wavelibs::record(kLibrary, {"brax_vibra_init", {*handle}, {}});
  return static_cast<int>(platform_wavelibs::resultFor(kLibrary, "brax_vibra_init").value_or(0));
}

__attribute__((visibility("default"))) void brax_vibra_looper_start() {
  platform_wavelibs::record(kLibrary, {"brax_vibra_looper_start", {}, {}});
}

__attribute__((visibility("default"))) bool brax_vibra_looper_stopPerformHe() {
  platform_wavelibs::record(kLibrary, {"brax_vibra_looper_stopPerformHe", {}, {}});
  return platform_wavelibs::resultFor(kLibrary, "brax_vibra_looper_stopPerformHe").value_or(1) != 0;
}

__attribute__((visibility("default"))) int brax_vibra_looper_post(const int* data, int length,
                                                                  int interval, int loop,
                                                                  int amplitude, int reserved) {
  if (length < 0 || length > kBraxVibraMaxPost || (length > 0 && data == nullptr)) {
    platform_wavelibs::logRefusal(kLibrary, "a post of " + std::to_string(length) + " integers");
    return -EINVAL;
  }
  platform_wavelibs::record(kLibrary, {"brax_vibra_looper_post",
                                       {length, interval, loop, amplitude, reserved},
                                       std::vector<int32_t>(data, data + length)});
  return static_cast<int>(
      platform_wavelibs::resultFor(kLibrary, "brax_vibra_looper_post").value_or(0));
}
