// libquonhapticv1.so: renders the two-array HE form.
#include <vendor_export.h>
#include <wavelibs/awa_wavelib.h>
#include <wavelibs/quon_haptic.h>

#include "recorder.h"

namespace {

constexpr const char* kLibrary = "quon";

// The caller gives no array lengths: the count is bounded, and the words are read as the
// form lays them out.
bool parse(const int32_t* types, const int32_t* count, const int32_t* params,
           std::vector<platform_wavelibs::WaveEvent>* out, int32_t* samples,
           std::vector<int32_t>* seen) {
  if (types == nullptr || count == nullptr || params == nullptr || *count < 0 ||
      *count > kWaveMaxEvents) {
    platform_wavelibs::logRefusal(kLibrary, "an event list");
    return false;
  }
  *samples = 0;
  const int32_t* p = params;
  for (int32_t i = 0; i < *count; ++i) {
    platform_wavelibs::WaveEvent w{};
    if (types[i] == 1) {  // transient: frequency, intensity, relative time
      w = {false, p[1], p[0], 0};
      seen->insert(seen->end(), p, p + kQuonTransientWords);
      p += kQuonTransientWords;
    } else if (types[i] == 0) {  // continuous: time, duration, intensity, frequency, curves
      w = {true, p[2], p[3], p[1]};
      seen->insert(seen->end(), p, p + kQuonContinuousWords);
      p += kQuonContinuousWords;
    } else {
      platform_wavelibs::logRefusal(kLibrary, "event type " + std::to_string(types[i]));
      return false;
    }
    *samples += platform_wavelibs::samplesOf(w);
    if (*samples > kWaveMaxSamples) return false;
    out->push_back(w);
  }
  return true;
}

}  // namespace

VENDOR_EXPORT int quon_haptics_init(int f0) {
  platform_wavelibs::record(kLibrary, {"quon_haptics_init", {f0}, {}});
  return 0;
}

VENDOR_EXPORT int quon_haptics_len_algorithm(int32_t* types, int32_t* count, int32_t* params,
                                             int32_t* length) {
  std::vector<platform_wavelibs::WaveEvent> parsed;
  std::vector<int32_t> seen;
  int32_t samples = 0;
  bool ok = length != nullptr && parse(types, count, params, &parsed, &samples, &seen);
  platform_wavelibs::record(kLibrary, {"quon_haptics_len_algorithm", {count ? *count : -1}, seen});
  if (length != nullptr) *length = ok ? samples : 0;
  return ok ? 0 : -1;
}

VENDOR_EXPORT int quon_haptics_gen_algorithm(int32_t* types, int32_t* count, int32_t* params,
                                             int8_t* buffer, int32_t* length) {
  std::vector<platform_wavelibs::WaveEvent> parsed;
  std::vector<int32_t> seen;
  int32_t samples = 0;
  bool ok = buffer != nullptr && length != nullptr && *length >= 0 &&
            parse(types, count, params, &parsed, &samples, &seen);
  platform_wavelibs::record(kLibrary, {"quon_haptics_gen_algorithm",
                                       {count ? *count : -1, length ? *length : -1}, seen});
  if (!ok) {
    if (length != nullptr) *length = 0;
    return -1;
  }
  // Render whole events while they fit the caller's buffer.
  int32_t written = 0;
  for (const auto& e : parsed) {
    int32_t n = platform_wavelibs::samplesOf(e);
    if (written + n > *length) break;
    platform_wavelibs::renderEvent(e, buffer + written);
    written += n;
  }
  *length = written;
  return 0;
}
