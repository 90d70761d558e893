#pragma once
// The Ferrant road on the simulated phone, shared by the road tests and the demo: the panel
// of algorithm A's controller information block (16 drive x 30 sense lines), the HAL
// configuration for second-generation Ferrant frames of that panel, algorithm A's
// configuration file, and the controller's frames.
//
// Algorithm A's configuration file is built with algorithm A's own test-side encoders
// (touch/algorithm_a/core/tsa_module_test_util.h, on the include path of the user).
#include <cmath>
#include <cstdint>
#include <vector>

#include "tamrel_touch/frame_encoders.h"
#include "touch_host/sim_touch_rig.h"
#include "tsa_module_test_util.h"

namespace touch_host::testsupport::ferrant_road {

inline constexpr int kDrive = 16;
inline constexpr int kSense = 30;
inline constexpr int kMutual = kDrive * kSense;
inline constexpr int kSelf = kDrive + kSense;
inline constexpr int kFrequencies = 4;     // the hopping table of the blob below
inline constexpr uint8_t kReferenceFrame = 0x01;  // frame flags bit 0: the controller sends its reference

inline HalPanelConfig hal_panel() {
  HalPanelConfig c;
  c.frame_data_type = 5;  // second-generation Ferrant
  c.columns = kSense;
  c.rows = kDrive;
  c.nodes = kMutual;
  c.self_nodes = kSelf;
  // Algorithm A reads max(drive, sense) x its frequency count of IM values behind record
  // 211: the HAL's extra buffer must hold them.
  c.extra_nodes = kSense * kFrequencies;
  return c;
}

// A screen of an eighth of the panel's coordinate extents (512 per node): the resolution the
// road tests and the demo give algorithm A, so that its points map back to nodes exactly.
inline constexpr uint16_t kRoadScreenX = kSense * 512 / 8;
inline constexpr uint16_t kRoadScreenY = kDrive * 512 / 8;

// Algorithm A's configuration file: a blob with the panel (screen SCREEN_X x SCREEN_Y, at
// most 10 points, the touch thresholds given; 0 leaves them unset), the time control and the
// hopping table, and the controller information block of a DRIVE x SENSE panel.
inline fxtest::Bytes alg_config_file(uint16_t touch_threshold = 0, uint16_t second_threshold = 0,
                                     uint8_t drive = kDrive, uint8_t sense = kSense, uint16_t screen_x = 1080,
                                     uint16_t screen_y = 2400) {
  cfgtest::Bytes panel(38, 0);
  cfgtest::PutU16(panel, 0, screen_x);
  cfgtest::PutU16(panel, 2, screen_y);
  cfgtest::PutU16(panel, 4, touch_threshold);
  cfgtest::PutU16(panel, 6, second_threshold);
  panel[20] = 10;
  cfgtest::Bytes time(32, 0);
  cfgtest::PutU16(time, 3, 5000);
  const fxtest::Bytes blob = cfgtest::BuildBlob({.sections = {cfgtest::Section(8, panel), cfgtest::Section(32, time),
                                                              cfgtest::Section(31, {0, kFrequencies})}});
  fxtest::IcInfoDesc info;
  info.drv = drive;
  info.sen = sense;
  return fxtest::BuildConfigFile(blob, fxtest::BuildIcInfoBlock(info));
}

// Driver slot of controller frame k carrying MUTUAL (drive line by drive line): a status
// packet counting frames (with the frame flags), the normal mutual frame, the self lines, and
// a quiet IM block (zero noise) as long as algorithm A's frequencies need.
inline tamrel_touch::encode::Bytes frame_slot_of(uint16_t k, size_t slot_size, uint8_t flags,
                                                 const std::vector<int16_t> &mutual) {
  namespace encode = tamrel_touch::encode;
  encode::FerrantV2Frame f;
  f.head_index = k;
  f.tail_index = k;
  f.packets = {encode::ferrant_status_packet(k, flags, 0, 240, 0x02, 0),
               encode::ferrant_mutual_packet(10, 1000, 0, 0, 0, mutual, {}, {}),
               encode::ferrant_self_packet(std::vector<int16_t>(kSelf, static_cast<int16_t>(k)), {}),
               encode::ferrant_extra_packet({}, std::vector<int16_t>(kSense * kFrequencies, 0), {})};
  encode::SlotHeader header;
  header.time_ns = 1000000ull * k;
  header.frame_count = k;
  return encode::make_slot(header, encode::encode_ferrant_v2(f), slot_size);
}

// Driver slot of controller frame k whose mutual nodes hold 10 k + i % 7.
inline tamrel_touch::encode::Bytes frame_slot(uint16_t k, size_t slot_size, uint8_t flags = 0) {
  std::vector<int16_t> mutual(kMutual);
  for (int i = 0; i < kMutual; ++i) mutual[static_cast<size_t>(i)] = static_cast<int16_t>(10 * k + i % 7);
  return frame_slot_of(k, slot_size, flags, mutual);
}

// A finger on the panel, in nodes: centre (row on the drive lines, column on the sense
// lines) and the signal at its centre, falling off as a cone over 1.6 nodes.
struct Finger {
  double row;
  double column;
  int16_t peak = 500;
};

// The untouched raw value of node i: uneven, as a real panel's are, and never 0.
inline int16_t untouched_raw(int i) { return static_cast<int16_t>(1000 + i % 97); }

// The diff (reference minus raw) of a panel of DRIVE x SENSE lines with FINGERS on it, drive
// line by drive line. Where fingers overlap, the stronger one holds.
inline std::vector<int16_t> diff_with_fingers(const std::vector<Finger> &fingers, int drive = kDrive,
                                              int sense = kSense) {
  std::vector<int16_t> diff(static_cast<size_t>(drive) * static_cast<size_t>(sense), 0);
  for (const Finger &f : fingers) {
    for (int r = 0; r < drive; ++r) {
      for (int c = 0; c < sense; ++c) {
        const double d = std::hypot(r - f.row, c - f.column);
        const int v = static_cast<int>(f.peak * (1.0 - d / 1.6));
        int16_t &node = diff[static_cast<size_t>(r) * static_cast<size_t>(sense) + static_cast<size_t>(c)];
        if (v > node) node = static_cast<int16_t>(v);
      }
    }
  }
  return diff;
}

// The raw mutual values of that panel: a finger lowers the raw values under it.
inline std::vector<int16_t> raw_with_fingers(const std::vector<Finger> &fingers, int drive = kDrive,
                                             int sense = kSense) {
  const std::vector<int16_t> diff = diff_with_fingers(fingers, drive, sense);
  std::vector<int16_t> raw(diff.size());
  for (size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<int16_t>(untouched_raw(static_cast<int>(i)) - diff[i]);
  return raw;
}

// Algorithm A's point units before its coordinate transform: 512 per node, the centre of
// node n at 512 n + 256; x runs along the sense lines, y along the drive lines.
inline int32_t node_units(double node) { return static_cast<int32_t>(node * 512 + 256); }
// The same position after the transform to the road screen (kRoadScreenX x kRoadScreenY).
inline int32_t road_screen_units(double node) { return node_units(node) / 8; }

}  // namespace touch_host::testsupport::ferrant_road
