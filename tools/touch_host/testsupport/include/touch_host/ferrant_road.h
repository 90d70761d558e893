#pragma once
// The Ferrant road on the simulated phone, shared by the road tests, the demo and the
// benchmarks: a panel (by default the 16 drive x 30 sense lines of algorithm A's controller
// information block; any other size through Panel), the HAL configuration for
// second-generation Ferrant frames of that panel, algorithm A's configuration file, and the
// controller's frames.
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

// A panel of the road: its drive and sense lines (by default the controller information
// block's 16 x 30), and what follows from them.
struct Panel {
  int drive = kDrive;
  int sense = kSense;
  constexpr int mutual() const { return drive * sense; }
  constexpr int self() const { return drive + sense; }
  // IM values of one frequency: the longer side's lines.
  constexpr int im_row() const { return drive > sense ? drive : sense; }
  // The road screen (an eighth of the coordinate extents, 512 per node): x along the sense
  // lines, y along the drive lines.
  constexpr uint16_t screen_x() const { return static_cast<uint16_t>(sense * 512 / 8); }
  constexpr uint16_t screen_y() const { return static_cast<uint16_t>(drive * 512 / 8); }
};

inline HalPanelConfig hal_panel(const Panel &panel = {}) {
  HalPanelConfig c;
  c.frame_data_type = 5;  // second-generation Ferrant
  c.columns = panel.sense;
  c.rows = panel.drive;
  c.nodes = panel.mutual();
  c.self_nodes = panel.self();
  // Algorithm A reads max(drive, sense) x its frequency count of IM values behind record
  // 211: the HAL's extra buffer must hold them.
  c.extra_nodes = panel.im_row() * kFrequencies;
  return c;
}

// A screen of an eighth of the panel's coordinate extents (512 per node): the resolution the
// road tests and the demo give algorithm A, so that its points map back to nodes exactly.
inline constexpr uint16_t kRoadScreenX = Panel{}.screen_x();
inline constexpr uint16_t kRoadScreenY = Panel{}.screen_y();

// Algorithm A's configuration: the panel section (screen, at most 10 points, the touch
// thresholds; 0 leaves them unset), the time control and the hopping table, and the
// controller information block of the panel; SECTIONS (built with cfgtest::Section) are
// added, and one with the id of a default section replaces it.
struct AlgConfig {
  uint16_t touch_threshold = 0;
  uint16_t second_threshold = 0;
  Panel panel{};
  uint16_t screen_x = 1080;
  uint16_t screen_y = 2400;
  std::vector<cfgtest::Bytes> sections;
};

inline fxtest::Bytes alg_config_file(const AlgConfig &c) {
  cfgtest::Bytes panel(38, 0);
  cfgtest::PutU16(panel, 0, c.screen_x);
  cfgtest::PutU16(panel, 2, c.screen_y);
  cfgtest::PutU16(panel, 4, c.touch_threshold);
  cfgtest::PutU16(panel, 6, c.second_threshold);
  panel[20] = 10;
  cfgtest::Bytes time(32, 0);
  cfgtest::PutU16(time, 3, 5000);
  std::vector<cfgtest::Bytes> sections = {cfgtest::Section(8, panel), cfgtest::Section(32, time),
                                          cfgtest::Section(31, {0, kFrequencies})};
  for (const cfgtest::Bytes &more : c.sections) {
    bool replaced = false;
    for (cfgtest::Bytes &s : sections) {
      if (s.size() > 1 && more.size() > 1 && s[1] == more[1]) {
        s = more;
        replaced = true;
      }
    }
    if (!replaced) sections.push_back(more);
  }
  const fxtest::Bytes blob = cfgtest::BuildBlob({.sections = sections});
  fxtest::IcInfoDesc info;
  info.drv = static_cast<uint8_t>(c.panel.drive);
  info.sen = static_cast<uint8_t>(c.panel.sense);
  return fxtest::BuildConfigFile(blob, fxtest::BuildIcInfoBlock(info));
}

// The same with the classic arguments: thresholds, a DRIVE x SENSE panel and its screen.
inline fxtest::Bytes alg_config_file(uint16_t touch_threshold = 0, uint16_t second_threshold = 0,
                                     uint8_t drive = kDrive, uint8_t sense = kSense, uint16_t screen_x = 1080,
                                     uint16_t screen_y = 2400) {
  AlgConfig c;
  c.touch_threshold = touch_threshold;
  c.second_threshold = second_threshold;
  c.panel = {drive, sense};
  c.screen_x = screen_x;
  c.screen_y = screen_y;
  return alg_config_file(c);
}

// What a controller frame carries besides its mutual values.
struct FrameExtras {
  uint8_t flags = 0;        // frame flags of the status packet (kReferenceFrame)
  uint8_t freq_index = 0;   // the frequency the controller scanned at
  // IM noise values: one row of panel.im_row() per frequency; empty: quiet (all 0).
  std::vector<int16_t> im;
};

// Driver slot of controller frame k of PANEL carrying MUTUAL (drive line by drive line): a
// status packet counting frames (with the frame flags), the normal mutual frame at the
// frequency given, the self lines, and the IM block as long as algorithm A's frequencies
// need.
inline tamrel_touch::encode::Bytes frame_slot_for(const Panel &panel, uint16_t k, size_t slot_size,
                                                  const std::vector<int16_t> &mutual, const FrameExtras &extras = {}) {
  namespace encode = tamrel_touch::encode;
  std::vector<int16_t> im = extras.im;
  im.resize(static_cast<size_t>(panel.im_row() * kFrequencies), 0);
  encode::FerrantV2Frame f;
  f.head_index = k;
  f.tail_index = k;
  f.packets = {encode::ferrant_status_packet(k, extras.flags, 0, 240, 0x02, 0),
               encode::ferrant_mutual_packet(10, 1000, extras.freq_index, 0, 0, mutual, {}, {}),
               encode::ferrant_self_packet(std::vector<int16_t>(static_cast<size_t>(panel.self()), static_cast<int16_t>(k)), {}),
               encode::ferrant_extra_packet({}, im, {})};
  encode::SlotHeader header;
  header.time_ns = 1000000ull * k;
  header.frame_count = k;
  return encode::make_slot(header, encode::encode_ferrant_v2(f), slot_size);
}

// Driver slot of controller frame k of the default panel carrying MUTUAL, with the frame
// flags given and a quiet IM block.
inline tamrel_touch::encode::Bytes frame_slot_of(uint16_t k, size_t slot_size, uint8_t flags,
                                                 const std::vector<int16_t> &mutual) {
  FrameExtras extras;
  extras.flags = flags;
  return frame_slot_for(Panel{}, k, slot_size, mutual, extras);
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

// The raw mutual values of a panel whose diff (reference minus raw) is DIFF: whatever
// raises the diff lowers the raw values under it.
inline std::vector<int16_t> raw_with_diff(const std::vector<int16_t> &diff) {
  std::vector<int16_t> raw(diff.size());
  for (size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<int16_t>(untouched_raw(static_cast<int>(i)) - diff[i]);
  return raw;
}

// The raw mutual values of that panel with FINGERS on it.
inline std::vector<int16_t> raw_with_fingers(const std::vector<Finger> &fingers, int drive = kDrive,
                                             int sense = kSense) {
  return raw_with_diff(diff_with_fingers(fingers, drive, sense));
}

// Algorithm A's point units before its coordinate transform: 512 per node, the centre of
// node n at 512 n + 256; x runs along the sense lines, y along the drive lines.
inline int32_t node_units(double node) { return static_cast<int32_t>(node * 512 + 256); }
// The same position after the transform to the road screen (kRoadScreenX x kRoadScreenY, or
// Panel::screen_x() x screen_y() of another panel: an eighth of the extents on every panel).
inline int32_t road_screen_units(double node) { return node_units(node) / 8; }

}  // namespace touch_host::testsupport::ferrant_road
