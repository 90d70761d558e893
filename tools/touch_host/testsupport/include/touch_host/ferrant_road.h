#pragma once
// The Ferrant road on the simulated phone, shared by the road tests, the demo and the
// benchmarks: a panel (by default the 16 drive x 30 sense lines of algorithm A's controller
// information block; any other size through Panel), the HAL configuration for
// second-generation Ferrant frames of that panel, algorithm A's configuration file, and the
// controller's frames.
//
// Algorithm A's configuration file is built with algorithm A's own test-side encoders
// (touch/algorithm_a/core/tsa_module_test_util.h, on the include path of the user).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "tamrel_touch/frame_encoders.h"
#include "touch_host/self_scan.h"
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

// The simulated phone of the road as a device has it: a portrait touchscreen of 1080 x 2400
// pixels at eight units a pixel over PANEL, its drive lines across the short side (x), its
// sense lines along the long side (y), and the HAL configured for second-generation Ferrant
// frames of the panel. Algorithm A's configuration describes the same screen with
// device_alg_config.
inline RigOptions rig_options(const Panel &panel = {}) {
  RigOptions o;
  o.extent_x = 1080;
  o.extent_y = 2400;
  o.scale = 8;
  o.rx_count = static_cast<uint16_t>(panel.sense);
  o.tx_count = static_cast<uint16_t>(panel.drive);
  o.hal_config = hal_config_text(hal_panel(panel));
  return o;
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

// The configuration blob alone (what alg_config_file wraps with the panel's controller
// information block), for a host started with fxtest::StartFerrantHost.
inline fxtest::Bytes alg_config_blob(const AlgConfig &c) {
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
  return cfgtest::BuildBlob({.sections = sections});
}

inline fxtest::Bytes alg_config_file(const AlgConfig &c) {
  const fxtest::Bytes blob = alg_config_blob(c);
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

// ---- Configuration sections for the panel's episodes (cfgtest::Section blocks) ----------

// The coordinate transform with the axes exchanged (byte 0 bit 0), no mirroring and no
// margins: x along the drive lines, y along the sense lines.
inline cfgtest::Bytes exchanged_axes_section() {
  cfgtest::Bytes t(10, 0);
  t[0] = 0x01;
  return cfgtest::Section(46, t);
}

// Algorithm A's configuration for the phone of rig_options(PANEL): points in the units of the
// touchscreen's axes (pixels times the scale), x along the drive lines, with the touch
// thresholds given.
inline AlgConfig device_alg_config(const RigOptions &rig, const Panel &panel = {}, uint16_t touch_threshold = 100,
                                   uint16_t second_threshold = 120) {
  AlgConfig c;
  c.touch_threshold = touch_threshold;
  c.second_threshold = second_threshold;
  c.panel = panel;
  c.screen_x = static_cast<uint16_t>(rig.extent_x * rig.scale);
  c.screen_y = static_cast<uint16_t>(rig.extent_y * rig.scale);
  c.sections = {exchanged_axes_section()};
  return c;
}

// Frequency hopping allowed (AFE section, byte 1 bit 2).
inline cfgtest::Bytes hopping_allowed_section() { return cfgtest::Section(10, {0x00, 0x04, 0x00, 0x00}); }

// The hopping table: kFrequencies frequencies (1000, 1500, ... kHz codes) with option byte
// 0x21, hop threshold 2 x 10, stay threshold 10, mean-level ceiling 60000.
inline cfgtest::Bytes hopping_section() {
  cfgtest::Bytes c(62, 0);
  c[1] = kFrequencies;
  for (int i = 0; i < kFrequencies; ++i) {
    cfgtest::PutU16(c, 2 + 2 * static_cast<size_t>(i), static_cast<uint16_t>(1000 + 500 * i));
    c[34 + static_cast<size_t>(i)] = 0x21;
    cfgtest::PutU16(c, 42 + 2 * static_cast<size_t>(i), static_cast<uint16_t>(100 + i));
  }
  c[21] = 10;
  cfgtest::PutU16(c, 22, 10);
  cfgtest::PutU16(c, 59, 60000);
  return cfgtest::Section(31, c);
}

// The column profile of the panel's LCD coupling: a bowl rising by 300 to the sides,
// mean-free over COLS columns.
inline int32_t lcd_bowl(int c, int cols) {
  const int32_t half = cols / 2;
  auto rise = [&](int i) {
    const int32_t k = i - half;
    return 300 * k * k / (half * half);
  };
  int32_t sum = 0;
  for (int i = 0; i < cols; ++i) sum += rise(i);
  return rise(c) - sum / cols;
}

// LCD denoise on the diff map with the bowl as the panel's column profile (at most 56
// sense lines).
inline cfgtest::Bytes lcd_denoise_section(int sense) {
  cfgtest::Bytes d(130, 0);
  d[0] = 0x01;
  for (int c = 0; c < sense && c < 56; ++c)
    cfgtest::PutU16(d, 18 + 2 * static_cast<size_t>(c), static_cast<uint16_t>(lcd_bowl(c, sense)));
  return cfgtest::Section(91, d);
}

// The low-temperature stage on, entered at ENTRY degrees.
inline cfgtest::Bytes low_temp_section(int8_t entry) {
  cfgtest::Bytes t(40, 0);
  t[0] = 0x01;
  t[24] = static_cast<uint8_t>(entry);
  t[25] = 15;
  return cfgtest::Section(108, t);
}

// Waterproof processing on.
inline cfgtest::Bytes waterproof_section() {
  cfgtest::Bytes w(38, 0);
  w[0] = 1;
  return cfgtest::Section(96, w);
}

// The controller packet that asks for frequency INDEX (command 0x9C, byte-sum checksum).
inline std::vector<uint8_t> frequency_packet(uint8_t index) {
  const uint16_t sum = static_cast<uint16_t>(0x05 + 0x9C + index);
  return {0x00, 0x00, 0x05, 0x9C, index, static_cast<uint8_t>(sum), static_cast<uint8_t>(sum >> 8)};
}

// IM rows of PANEL, one per frequency, back to back, one value per sense line as algorithm
// A reads them (the block is as long as the frame's IM area, panel.im_row() values per
// frequency): LOUD swings by 3000 from line to line, the others are flat at 100 (QUIET) or
// swing by 300 (every other one); loud < 0: all quiet.
inline std::vector<int16_t> im_rows(const Panel &panel, int loud, int quiet) {
  const int n = panel.sense;
  std::vector<int16_t> im(static_cast<size_t>(panel.im_row() * kFrequencies), 100);
  for (int f = 0; f < kFrequencies; ++f) {
    if (f == quiet) continue;
    for (int k = 0; k < n; ++k) {
      int16_t &v = im[static_cast<size_t>(f * n + k)];
      if (f == loud) v = (k % 2) != 0 ? 3000 : 0;
      else if (loud >= 0) v = (k % 2) != 0 ? 400 : 100;
    }
  }
  return im;
}

// LCD row noise of a frame on PANEL: the rows ROWS carry OFFSET (signed) along the bowl
// profile, added to DIFF.
inline void add_row_noise(std::vector<int16_t> &diff, const Panel &panel, const std::vector<int> &rows, int offset) {
  for (int r : rows)
    for (int c = 0; c < panel.sense; ++c) {
      int16_t &v = diff[static_cast<size_t>(r * panel.sense + c)];
      v = static_cast<int16_t>(v + offset + lcd_bowl(c, panel.sense));
    }
}

// The untouched raw value of node i: uneven, as a real panel's are, and never 0.
inline int16_t untouched_raw(int i) { return static_cast<int16_t>(1000 + i % 97); }

// The untouched raw value of self line j (drive lines first, then sense lines): uneven too.
inline int16_t untouched_self(int j) { return static_cast<int16_t>(2000 + (7 * j) % 23); }

// The self lines of a frame of PANEL whose raw mutual values are MUTUAL, drive lines first,
// then sense lines: with SELF kFromFrame as the controller's self scan sees the frame (each
// line at its untouched level plus the diff, untouched minus raw, summed over its nodes);
// with kUntouched at the untouched level whatever MUTUAL holds. The frame's one self line is
// the scan guarded against water, the one algorithm A reads: a road that adds water to the
// mutual values must keep it off these lines.
inline std::vector<int16_t> panel_self_lines(const Panel &panel, const std::vector<int16_t> &mutual,
                                             SelfLines self = SelfLines::kFromFrame) {
  return self_lines(panel.drive, panel.sense, untouched_self, [&](int i) {
    return self == SelfLines::kFromFrame && static_cast<size_t>(i) < mutual.size()
               ? untouched_raw(i) - mutual[static_cast<size_t>(i)]
               : 0;
  });
}

// What a controller frame carries besides its mutual values.
struct FrameExtras {
  uint8_t flags = 0;        // frame flags of the status packet (kReferenceFrame)
  uint8_t freq_index = 0;   // the frequency the controller scanned at
  // IM noise values: one row of panel.im_row() per frequency; empty: quiet (all 0).
  std::vector<int16_t> im;
  // The self lines: as the controller's self scan sees the mutual values (a device's frame),
  // or untouched whatever they hold.
  SelfLines self = SelfLines::kFromFrame;
};

// Driver slot of controller frame k of PANEL carrying MUTUAL (drive line by drive line): a
// status packet counting frames (with the frame flags), the normal mutual frame at the
// frequency given, the self lines (panel_self_lines with extras.self), and the IM block as
// long as algorithm A's frequencies need.
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
               encode::ferrant_self_packet(panel_self_lines(panel, mutual, extras.self), {}),
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

// Driver slot of controller frame k whose mutual nodes hold 10 k + i % 7: values that count
// the frames for a module that follows them, not a panel's raw values, so its self lines stay
// at their untouched level rather than show a touch over the whole panel.
inline tamrel_touch::encode::Bytes frame_slot(uint16_t k, size_t slot_size, uint8_t flags = 0) {
  std::vector<int16_t> mutual(kMutual);
  for (int i = 0; i < kMutual; ++i) mutual[static_cast<size_t>(i)] = static_cast<int16_t>(10 * k + i % 7);
  FrameExtras extras;
  extras.flags = flags;
  extras.self = SelfLines::kUntouched;
  return frame_slot_for(Panel{}, k, slot_size, mutual, extras);
}

// A finger on the panel, in nodes: centre (row on the drive lines, column on the sense
// lines) and the signal at its centre, falling off as a cone over 1.6 nodes.
struct Finger {
  double row;
  double column;
  int16_t peak = 500;
};

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

// A wet patch over the lower right of PANEL, added to DIFF for frame F of a 64-frame cycle:
// from the panel's middle, nodes alternate +60 and -60 in a pattern that shifts every frame
// (a third positive), and the patch spreads over the cycle (a row every fourth frame, a
// column every third, up to the second-last row and the last column), as water does; two
// droplets on it stand out at touch level, 140 and 130 at their centres (two and five nodes
// into the patch), with half on the direct neighbours and a quarter on the diagonals.
inline void add_wet_patch(std::vector<int16_t> &diff, const Panel &panel, int f) {
  const int drv = panel.drive, sen = panel.sense;
  const int r0 = drv / 2, c0 = sen / 2;
  const int r1 = std::min(drv - 2, r0 + 6 + f / 4), c1 = std::min(sen - 1, c0 + 6 + f / 3);
  for (int r = r0; r <= r1; ++r)
    for (int c = c0; c <= c1; ++c) diff[static_cast<size_t>(r * sen + c)] = ((r + c + f) % 3 == 0) ? 60 : -60;
  const int drops[2][3] = {{r0 + 2, c0 + 2, 140}, {r0 + 5, c0 + 5, 130}};
  for (const auto &drop : drops)
    for (int dr = -1; dr <= 1; ++dr)
      for (int dc = -1; dc <= 1; ++dc) {
        const int peak = drop[2];
        diff[static_cast<size_t>((drop[0] + dr) * sen + drop[1] + dc)] =
            static_cast<int16_t>(dr == 0 && dc == 0 ? peak : (dr == 0 || dc == 0) ? peak / 2 : peak / 4);
      }
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
