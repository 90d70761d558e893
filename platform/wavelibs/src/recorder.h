#pragma once
// What the stand-in libraries share: one call log and the results tests set.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform_wavelibs_test.h"

namespace platform_wavelibs {

void record(const std::string& library, platform_wavelibs_test::Call call);
std::optional<int64_t> resultFor(const std::string& library, const std::string& call);
void logRefusal(const std::string& library, const std::string& what);

}  // namespace platform_wavelibs

namespace platform_wavelibs {

// One HE event as the wave libraries render it: a square wave of the event's intensity
// (0..100 % of full scale) at its frequency (Hz, 1..500), 10 ms for a transient and the
// event's duration (at most 10 s) for a continuous one, at 24000 samples per second.
struct WaveEvent {
  bool continuous;
  int32_t intensity;
  int32_t frequency;
  int32_t durationMs;
};
int32_t samplesOf(const WaveEvent& e);
void renderEvent(const WaveEvent& e, int8_t* out);

}  // namespace platform_wavelibs
