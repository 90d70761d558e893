// vendor.awa.wavelib.so: renders 17-integer HE event records in one go.
#include <vendor_export.h>
#include <wavelibs/awa_wavelib.h>

#include "recorder.h"

namespace {

constexpr const char* kLibrary = "awa";
constexpr int32_t kContinuous = 4096;
constexpr int32_t kTransient = 4097;

// The events as the library renders them; false for events it cannot render.
bool parse(const int32_t* events, int count, std::vector<platform_wavelibs::WaveEvent>* out,
           int32_t* samples) {
  if (events == nullptr || count < 0 || count > kWaveMaxEvents) {
    platform_wavelibs::logRefusal(kLibrary, "an event list of " + std::to_string(count));
    return false;
  }
  *samples = 0;
  for (int i = 0; i < count; ++i) {
    const int32_t* e = events + i * kHeEventWords;
    if (e[0] != kContinuous && e[0] != kTransient) {
      platform_wavelibs::logRefusal(kLibrary, "event type " + std::to_string(e[0]));
      return false;
    }
    platform_wavelibs::WaveEvent w{e[0] == kContinuous, e[2], e[3], e[4]};
    *samples += platform_wavelibs::samplesOf(w);
    if (*samples > kWaveMaxSamples) {
      platform_wavelibs::logRefusal(kLibrary, "a rendering longer than 10 s");
      return false;
    }
    out->push_back(w);
  }
  return true;
}

std::vector<int32_t> words(const int32_t* events, int count) {
  if (events == nullptr || count <= 0 || count > kWaveMaxEvents) return {};
  return std::vector<int32_t>(events, events + count * kHeEventWords);
}

}  // namespace

VENDOR_EXPORT int awa_haptics_init(int f0) {
  platform_wavelibs::record(kLibrary, {"awa_haptics_init", {f0}, {}});
  return 0;
}

VENDOR_EXPORT int32_t awa_haptics_get_waves_length(const int32_t* events, int count) {
  platform_wavelibs::record(kLibrary, {"awa_haptics_get_waves_length", {count}, words(events, count)});
  std::vector<platform_wavelibs::WaveEvent> parsed;
  int32_t samples = 0;
  return parse(events, count, &parsed, &samples) ? samples : -1;
}

VENDOR_EXPORT int32_t awa_haptics_get_waves_data(const int32_t* events, int count, int8_t* buffer) {
  platform_wavelibs::record(kLibrary, {"awa_haptics_get_waves_data", {count}, words(events, count)});
  if (auto forced = platform_wavelibs::resultFor(kLibrary, "awa_haptics_get_waves_data")) {
    return static_cast<int32_t>(*forced);
  }
  std::vector<platform_wavelibs::WaveEvent> parsed;
  int32_t samples = 0;
  if (buffer == nullptr || !parse(events, count, &parsed, &samples)) return -1;
  for (const auto& e : parsed) {
    platform_wavelibs::renderEvent(e, buffer);
    buffer += platform_wavelibs::samplesOf(e);
  }
  return 0;
}
