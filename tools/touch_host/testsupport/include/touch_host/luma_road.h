#pragma once
// The Luma road on the simulated phone, shared by the road tests, the demo and the
// benchmarks: algorithm B's panel (17 drive x 38 sense lines, 1220 x 2712 pixels), the HAL
// configuration for Luma frames of that panel (first generation, little-endian, or second
// generation, big-endian), and the controller's frames with fingertips pressed into them.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "tamrel_touch/frame_encoders.h"
#include "touch_host/self_scan.h"
#include "touch_host/sim_touch_rig.h"

namespace touch_host::testsupport::luma_road {

inline constexpr int kTx = 17;  // drive lines
inline constexpr int kRx = 38;  // sense lines
inline constexpr int kMutual = kTx * kRx;
inline constexpr int kSelf = kTx + kRx;
inline constexpr int16_t kRawLevel = 3000;  // the untouched level of the nodes and self lines
inline constexpr int16_t kDepth = 800;      // a fingertip's signal at its node

// Algorithm B reports 1/100 pixel; the touchscreen's axes are the panel's pixels at that scale.
// GENERATION is the controller's: 1 or 2.
inline RigOptions rig_options(int generation = 2) {
  RigOptions o;
  o.extent_x = 1220;
  o.extent_y = 2712;
  o.scale = 100;
  o.rx_count = kRx;
  o.tx_count = kTx;
  HalPanelConfig c;
  c.frame_data_type = generation == 1 ? 4 : 6;
  c.columns = kRx;
  c.rows = kTx;
  c.nodes = kMutual;
  c.self_nodes = kSelf;
  c.extra_nodes = kSelf;
  c.big_little_convert = generation != 1;  // the second generation writes big-endian
  o.hal_config = hal_config_text(c);
  return o;
}

// A fingertip on node (tx, rx): it lowers the raw values most at its node, half as much on
// the four lines beside it and a quarter on the diagonals.
struct Tip {
  int tx;
  int rx;
};

// The untouched raw value of node i in frame k: a few counts of noise from frame to frame,
// as a real panel has (a byte order left unconverted turns it into noise far above a finger).
inline int16_t untouched_raw(int i, int k) { return static_cast<int16_t>(kRawLevel + (i + 3 * k) % 5); }

// The untouched raw value of self line j (drive lines first, then sense lines) in frame k,
// with noise of its own as the nodes have.
inline int16_t untouched_self(int j, int k) { return static_cast<int16_t>(kRawLevel + (2 * j + k) % 5); }

// The raw mutual values (drive line by drive line) of frame k with TIPS pressed in.
inline std::vector<int16_t> raw_with_tips(const std::vector<Tip> &tips, int k = 0) {
  std::vector<int16_t> raw(kMutual);
  for (int i = 0; i < kMutual; ++i) raw[static_cast<size_t>(i)] = untouched_raw(i, k);
  for (const Tip &g : tips) {
    for (int dt = -1; dt <= 1; ++dt) {
      for (int dr = -1; dr <= 1; ++dr) {
        const int t = g.tx + dt;
        const int r = g.rx + dr;
        if (t < 0 || t >= kTx || r < 0 || r >= kRx) continue;
        const int shift = (dt != 0) + (dr != 0);
        int16_t &node = raw[static_cast<size_t>(t * kRx + r)];
        node = static_cast<int16_t>(std::min<int>(node, untouched_raw(t * kRx + r, k) - (kDepth >> shift)));
      }
    }
  }
  return raw;
}

// The centre of node (tx, rx) in the points algorithm B reports (1/100 pixel): an even grid
// over the panel's 1220 x 2712 pixels, x along the drive lines, y along the sense lines.
inline int32_t node_x(int tx) { return (36 + tx * (1185 - 36) / 16) * 100; }
inline int32_t node_y(int rx) { return (20 + rx * (2680 - 20) / 37) * 100; }

// The self lines of frame k whose raw mutual values are RAW, drive lines first, then sense
// lines: with SELF kFromFrame as the controller's self scans see the frame (each line at its
// untouched level plus what the frame's touches take off its nodes); with kUntouched at the
// untouched level whatever RAW holds. The road has no water, so the scan guarded against
// water (self set 1) and the normal scan (self set 2) see the same.
inline std::vector<int16_t> self_lines(const std::vector<int16_t> &raw, int k, SelfLines self = SelfLines::kFromFrame) {
  const auto untouched = [k](int j) { return untouched_self(j, k); };
  return testsupport::self_lines(kTx, kRx, untouched, [&](int i) {
    return self == SelfLines::kFromFrame && static_cast<size_t>(i) < raw.size()
               ? untouched_raw(i, k) - raw[static_cast<size_t>(i)]
               : 0;
  });
}

// Driver slot of controller frame k of GENERATION carrying RAW: a normal 240 Hz frame with
// both self lines (self_lines above: by default as the self scans see RAW), checked with the
// controller's CRC.
inline tamrel_touch::encode::Bytes frame_slot(uint16_t k, size_t slot_size, const std::vector<int16_t> &raw,
                                              int generation = 2, SelfLines self = SelfLines::kFromFrame) {
  namespace encode = tamrel_touch::encode;
  encode::LumaLayoutFrame f;
  f.frame_index = k;
  f.state = {0, 0, 0, 0, 4, 0x02};
  f.counters[0] = k;
  f.columns = kRx;
  f.rows = kTx;
  f.report_rate_hz = 240;
  f.mutual = raw;
  f.self1 = self_lines(raw, k, self);
  f.self2 = f.self1;
  encode::SlotHeader header;
  header.time_ns = 1000000ull * k;
  header.frame_count = k;
  const encode::Bytes frame =
      generation == 1 ? encode::encode_luma_v1(f) : encode::encode_luma_v2(f, encode::LumaCheck::kCrc);
  return encode::make_slot(header, frame, slot_size);
}

}  // namespace touch_host::testsupport::luma_road
