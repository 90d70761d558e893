// Feeds arbitrary configurations and event lists to brax_haptics_process and pulls the
// frames through brax_haptics_get_frame.
//
// Input: byte 0 picks the configuration (bits 0-1 frame size 256/512/1024/500, bit 2 the
// rate 24000/48000, bit 3 the width 1/2); bytes 1-2 are f0 (little endian, signed); the
// rest are the events, handed over whole (so lengths above 1088 are tried too).
#include <cstdint>
#include <cstring>
#include <vector>

#include "brax_haptics.h"

namespace {

// An effect may be hours long (the times are the caller's): after this many frames the
// harness installs an empty effect, which abandons the running one, as the service does.
constexpr int kMaxFrames = 8;

void DrainToEnd(std::vector<uint8_t>& buf) {
  uint32_t len = 1;
  while (len != 0) {
    if (brax_haptics_get_frame(buf.data(), &len) != 0) return;
  }
}

bool SameConfig(const brax_haptics_config& a, const brax_haptics_config& b) {
  return a.frame_size == b.frame_size && a.sample_rate == b.sample_rate && a.bit_width == b.bit_width &&
         a.f0 == b.f0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  static const int32_t kFrameSizes[] = {256, 512, 1024, 500};
  int16_t f0 = 0;
  std::memcpy(&f0, data + 1, sizeof f0);
  const brax_haptics_config cfg = {kFrameSizes[data[0] & 3], (data[0] & 4) ? 48000 : 24000,
                                   (data[0] & 8) ? 2 : 1, f0};
  // Configuring builds the actuator's tables; the service does it once, and so does this
  // harness for as long as the configuration stays the same (a refused one is tried again).
  static brax_haptics_config configured = {};
  static bool have_config = false;
  if (!have_config || !SameConfig(cfg, configured)) {
    have_config = false;
    if (brax_haptics_init(&cfg) != 0) return 0;
    configured = cfg;
    have_config = true;
  }

  // The events, copied so that they are aligned as the caller's array would be.
  const size_t event_bytes = size - 3;
  std::vector<brax_haptic_event> events(event_bytes / sizeof(brax_haptic_event) + 1);
  std::memcpy(events.data(), data + 3, event_bytes);
  if (brax_haptics_process(events.data(), static_cast<uint32_t>(event_bytes)) != 0) return 0;

  std::vector<uint8_t> buf(2 * 1024);
  uint32_t len = 1;
  int frames = 0;
  while (len != 0 && frames < kMaxFrames) {
    brax_haptics_get_frame(buf.data(), &len);
    if (len > static_cast<uint32_t>(cfg.frame_size)) __builtin_trap();
    ++frames;
  }
  if (len != 0) {
    brax_haptics_process(nullptr, 0);
    DrainToEnd(buf);  // the empty effect's own length-0 frame
  }
  return 0;
}
