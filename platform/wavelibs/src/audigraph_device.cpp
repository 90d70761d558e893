// libaudigraphdevice.so: an output device that records what it is given.
#include <vendor_export.h>
#include <wavelibs/audigraph_device.h>

#include "recorder.h"

namespace {

constexpr const char* kLibrary = "audigraph";

int64_t resultOr(const char* call, int64_t fallback) {
  return platform_wavelibs::resultFor(kLibrary, call).value_or(fallback);
}

class RecordingDevice : public AudigraphDevice {
 public:
  int open() override {
    platform_wavelibs::record(kLibrary, {"open", {}, {}});
    return static_cast<int>(resultOr("open", 0));
  }
  int write(signed char* samples, int count) override {
    if (count < 0 || (count > 0 && samples == nullptr)) {
      platform_wavelibs::logRefusal(kLibrary, "a write of " + std::to_string(count));
      return -1;
    }
    platform_wavelibs::record(kLibrary, {"write", {count}, std::vector<int32_t>(samples, samples + count)});
    return static_cast<int>(resultOr("write", count));
  }
  int close() override {
    platform_wavelibs::record(kLibrary, {"close", {}, {}});
    return 0;
  }
  ~RecordingDevice() override { platform_wavelibs::record(kLibrary, {"destroy", {}, {}}); }
  void off() override { platform_wavelibs::record(kLibrary, {"off", {}, {}}); }
  void eos() override { platform_wavelibs::record(kLibrary, {"eos", {}, {}}); }
};

}  // namespace

VENDOR_EXPORT void* createAudigraphDevice() {
  platform_wavelibs::record(kLibrary, {"createAudigraphDevice", {}, {}});
  return static_cast<AudigraphDevice*>(new RecordingDevice());
}
