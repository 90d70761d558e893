// End to end through the touch host with the plug-in: the host's temperature command at the
// configured entry temperature puts the module into its low-temperature state with the long
// countdown, and a ghost that the reference holds is found by the quick reference update
// and corrected out of the reference.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cfg_blob_builder_test.h"
#include "common_data.h"
#include "decoded_frame_bytes_test.h"
#include "ferrant_host_start_test.h"
#include "ferrant_script_hook_test.h"
#include "platform/temp_root.h"
#include "touch_host/host.h"

namespace {

using fxtest::Bytes;

const std::string kPlugin = std::string(VENDOR_PLUGIN_DIR) + "/libtapsense_alg_ferrant.so";
const std::string kScripted = std::string(VENDOR_PLUGIN_DIR) + "/libtapsense_alg_ferrant_scripted.so";
constexpr uint8_t kRows = 18, kCols = 32;
constexpr int8_t kEntryTemp = -5;

Bytes Blob() {
  Bytes time(32, 0);
  cfgtest::PutU16(time, 3, 5000);
  Bytes panel(38, 0);
  cfgtest::PutU16(panel, 0, 1080);
  cfgtest::PutU16(panel, 2, 2400);
  cfgtest::PutU16(panel, 4, 100);
  panel[20] = 10;
  Bytes lowTemp(40, 0);
  lowTemp[0] = 0x01;  // the low-temperature stage runs
  lowTemp[24] = static_cast<uint8_t>(kEntryTemp);
  lowTemp[25] = 15;
  return cfgtest::BuildBlob(
      {.sections = {cfgtest::Section(8, panel), cfgtest::Section(32, time), cfgtest::Section(108, lowTemp)}});
}

struct LowTempView {
  uint16_t countdown;
  uint8_t state;
};

LowTempView Read(touch_host::TouchHost& host) {
  using AddrFn = void* (*)();
  using LenFn = uint32_t (*)();
  auto addr = reinterpret_cast<AddrFn>(host.alg_symbol("GetLowTempNclnAddress"));
  auto len = reinterpret_cast<LenFn>(host.alg_symbol("GetLowTempNclnLen"));
  EXPECT_NE(addr, nullptr);
  EXPECT_NE(len, nullptr);
  if (addr == nullptr || len == nullptr) return {};
  EXPECT_EQ(len(), 76u);
  const auto* b = static_cast<const uint8_t*>(addr());
  LowTempView v{};
  std::memcpy(&v.countdown, b + 4, 2);
  v.state = b[6];
  return v;
}

void SendTemperature(touch_host::TouchHost& host, int8_t temp) {
  common_data d{};
  d.mode = COMMON_DATA_MODE_TEMPERATURE;
  d.count = 1;
  d.values[0] = static_cast<uint8_t>(temp);
  ASSERT_EQ(host.send_common_data(d), touch_host::HostStatus::kOk);
}

TEST(LowTempEndToEnd, TemperatureCommandAtTheEntryTemperatureStartsTheCountdown) {
  const struct {
    int8_t temp;
    uint8_t state;
  } cases[] = {{kEntryTemp, 2}, {kEntryTemp + 1, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(int{c.temp});
    platform::testing::TempRoot root;
    auto host = fxtest::StartFerrantHost(root, kPlugin, Blob(), kRows, kCols);
    ASSERT_NE(host, nullptr);
    fxtest::FingerFrames frames(kRows, kCols, 1);
    uint16_t index = 2;
    DecodedFrame frame = frames.Next(0x01, index++);
    ASSERT_EQ(host->process_frame(&frame), touch_host::HostStatus::kOk);
    for (int i = 0; i < 5; ++i) {
      frame = frames.Next(0x00, index++);
      ASSERT_EQ(host->process_frame(&frame), touch_host::HostStatus::kOk);
    }
    EXPECT_EQ(Read(*host).state, 0);
    SendTemperature(*host, c.temp);
    frame = frames.Next(0x00, index++);
    ASSERT_EQ(host->process_frame(&frame), touch_host::HostStatus::kOk);
    const LowTempView v = Read(*host);
    EXPECT_EQ(v.state, c.state);
    if (c.state == 2) {
      // The frame that enters sets the full countdown; later frames take their ticks off.
      EXPECT_GE(v.countdown, 23990);
      EXPECT_LE(v.countdown, 24000);
    } else {
      EXPECT_EQ(v.countdown, 0);
    }
  }
}

// A 9 x 9 blob that the reference holds 150 above the raw data (learnt while the panel
// stood higher there), first seen at 600 while a palm lay on it, is reported as a touch by
// the pairing slots. Twice confirmed as a ghost on the cleaned map, the reference is
// corrected and the blob leaves the difference map.
uint64_t FrozenClock() { return 1000000; }

TEST(LowTempEndToEnd, PersistentGhostIsCorrectedOutOfTheReference) {
  platform::testing::TempRoot root;
  auto host = fxtest::StartFerrantHost(root, kScripted, Blob(), kRows, kCols);
  ASSERT_NE(host, nullptr);
  // No tick: the object's age stays 0, which lets both confirmations count at once.
  auto bind = reinterpret_cast<FerxTestBindClockFn>(host->alg_symbol(FERX_TEST_BIND_CLOCK_SYMBOL));
  ASSERT_NE(bind, nullptr);
  bind(FrozenClock);
  auto track = reinterpret_cast<FerxScriptTrackingFn>(host->alg_symbol(FERX_SCRIPT_TRACKING_SYMBOL));
  ASSERT_NE(track, nullptr);
  fxtest::FingerFrames frames(kRows, kCols, 1);
  auto blob = [&](int16_t level) {
    std::vector<int16_t> d(kRows * kCols, 0);
    for (uint32_t r = 4; r <= 12; ++r)
      for (uint32_t c = 10; c <= 18; ++c) d[r * kCols + c] = level;
    return d;
  };
  uint16_t index = 2;
  frames.SetTouch(blob(-150));  // the reference is taken over a raised blob
  DecodedFrame frame = frames.Next(0x01, index++);
  ASSERT_EQ(host->process_frame(&frame), touch_host::HostStatus::kOk);
  for (int i = 0; i < 5; ++i) {
    frame = frames.Next(0x00, index++);
    ASSERT_EQ(host->process_frame(&frame), touch_host::HostStatus::kOk);
  }
  ASSERT_EQ(frames.Mutual(), std::vector<int16_t>(kRows * kCols, 0)) << "the power-on reference is in place";
  const FerxScriptedTouch palm{0, 4, 12, 10, 18, 600};
  frames.SetTouch(blob(450));
  track(&palm, 1);
  frame = frames.Next(0x00, index++);
  ASSERT_EQ(host->process_frame(&frame), touch_host::HostStatus::kOk);
  EXPECT_NEAR(frames.Mutual()[8 * kCols + 14], 600, 30);

  frames.SetTouch({});
  const FerxScriptedTouch ghost{0, 4, 12, 10, 18, 150};
  int frame_count = 0;
  for (; frame_count < 12; ++frame_count) {
    track(&ghost, 1);
    frame = frames.Next(0x00, index++);
    ASSERT_EQ(host->process_frame(&frame), touch_host::HostStatus::kOk);
    if (std::abs(frames.Mutual()[8 * kCols + 14]) < 20) break;
  }
  // Five frames make the object persistent, the first check confirms once, the next frame
  // confirms again and corrects the reference; the frame after shows it.
  EXPECT_LT(frame_count, 12) << "the ghost was never corrected";
  EXPECT_GE(frame_count, 5);
  for (uint32_t r = 4; r <= 12; ++r)
    for (uint32_t c = 10; c <= 18; ++c) EXPECT_LT(std::abs(frames.Mutual()[r * kCols + c]), 20) << r << "," << c;
  bind(nullptr);
}

}  // namespace
