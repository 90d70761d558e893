#pragma once
// The Ferrant road on the simulated phone, shared by the road tests and the demo: the panel
// of algorithm A's controller information block (16 drive x 30 sense lines), the HAL
// configuration for second-generation Ferrant frames of that panel, algorithm A's
// configuration file, and the controller's frames.
//
// Algorithm A's configuration file is built with algorithm A's own test-side encoders
// (touch/algorithm_a/core/tsa_module_test_util.h, on the include path of the user).
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

// Algorithm A's configuration file: a blob with the panel (screen 1080 x 2400, at most 10
// points), the time control and the hopping table, and the controller information block.
inline fxtest::Bytes alg_config_file() {
  cfgtest::Bytes panel(38, 0);
  cfgtest::PutU16(panel, 0, 1080);
  cfgtest::PutU16(panel, 2, 2400);
  panel[20] = 10;
  cfgtest::Bytes time(32, 0);
  cfgtest::PutU16(time, 3, 5000);
  const fxtest::Bytes blob = cfgtest::BuildBlob({.sections = {cfgtest::Section(8, panel), cfgtest::Section(32, time),
                                                              cfgtest::Section(31, {0, kFrequencies})}});
  fxtest::IcInfoDesc info;
  info.drv = kDrive;
  info.sen = kSense;
  return fxtest::BuildConfigFile(blob, fxtest::BuildIcInfoBlock(info));
}

// Driver slot of controller frame k: a status packet counting frames (with the frame
// flags), a normal mutual frame whose nodes hold 10 k + i % 7, the self lines, and a quiet
// IM block (zero noise) as long as algorithm A's frequencies need.
inline tamrel_touch::encode::Bytes frame_slot(uint16_t k, size_t slot_size, uint8_t flags = 0) {
  namespace encode = tamrel_touch::encode;
  std::vector<int16_t> mutual(kMutual);
  for (int i = 0; i < kMutual; ++i) mutual[static_cast<size_t>(i)] = static_cast<int16_t>(10 * k + i % 7);
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

}  // namespace touch_host::testsupport::ferrant_road
