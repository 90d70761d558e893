// End to end: the plug-in loaded through the touch host with a large-touch section in its
// configuration; a palm raises the large-area state, the hold keeps it while a finger stays
// down, and it falls when the hold runs out. The host sees both changes through its
// state-change callback.
#include <gtest/gtest.h>

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
#include "region_large.h"
#include "region_records.h"
#include "touch_host/host.h"
#include "tsa_module_test_util.h"

namespace {

using fxtest::Bytes;

const std::string kScriptedPlugin = std::string(VENDOR_PLUGIN_DIR) + "/libtapsense_alg_ferrant_scripted.so";

constexpr uint8_t kDrv = 16;
constexpr uint8_t kSen = 30;
constexpr uint8_t kHoldFrames = 4;

// Panel: leave threshold 100, touch threshold 120. Large touch: the node-count test only,
// hold 4 frames, a region of more than 20 owned nodes large when square, a total of more
// than 50 large.
Bytes Blob() {
  Bytes time = cfgtest::TimeSection();
  Bytes panel = cfgtest::PanelSection(1080, 2400);
  Bytes large(26, 0);
  large[kLargeCfgFlags] = kLargeCfgCountTest;
  large[kLargeCfgHoldFrames] = kHoldFrames;
  large[kLargeCfgRegionCount] = 20;
  large[kLargeCfgTotalCount] = 60;
  return cfgtest::BuildBlob({.sections = {cfgtest::Section(8, panel), cfgtest::Section(10, {0, 0, 0, 0}),
                                          cfgtest::Section(32, time), cfgtest::Section(31, {0, 4}),
                                          cfgtest::Section(95, large)}});
}

class LargeAreaEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = std::make_unique<platform::testing::TempRoot>();
    host_ = fxtest::StartFerrantHost(*root_, kScriptedPlugin, Blob(), kDrv, kSen);
    ASSERT_NE(host_, nullptr);
    script_ = reinterpret_cast<FerxScriptCoordinatesFn>(host_->alg_symbol(FERX_SCRIPT_COORDINATES_SYMBOL));
    regions_ = reinterpret_cast<FerxTestRegionsFn>(host_->alg_symbol(FERX_TEST_REGIONS_SYMBOL));
    ASSERT_NE(script_, nullptr);
    ASSERT_NE(regions_, nullptr);
    frames_ = std::make_unique<fxtest::FingerFrames>(kDrv, kSen, 4);
    frames_->SetBase(0, -1);
    Frame(0x01, false);  // the reference
    Frame(0x00, false);
    host_->clear_record();
  }
  // One frame; with FINGER the coordinate result holds one finger (slot 0), so that the
  // report carries a point.
  void Frame(uint8_t flags, bool finger) {
    const FerxScriptedPoint point{0, 4000, 3000, 300};
    script_(finger ? &point : nullptr, finger ? 1 : 0);
    DecodedFrame f = frames_->Next(flags, index_++);
    ASSERT_EQ(host_->process_frame(&f), touch_host::HostStatus::kOk);
  }
  // A flat square of VALUE over rows R0..R1 and columns C0..C1, and a finger blob at
  // (fr, fc) when FR is not negative.
  void Touch(int r0, int r1, int c0, int c1, int16_t value, int fr = -1, int fc = -1) {
    std::vector<int16_t> d(static_cast<size_t>(kDrv) * kSen, 0);
    for (int r = r0; r <= r1; ++r) {
      for (int c = c0; c <= c1; ++c) d[static_cast<size_t>(r) * kSen + c] = value;
    }
    if (fr >= 0) {
      for (int dr = -1; dr <= 1; ++dr) {
        for (int dc = -1; dc <= 1; ++dc) {
          const int16_t v = (dr == 0 && dc == 0) ? 300 : (dr == 0 || dc == 0) ? 150 : 75;
          d[static_cast<size_t>(fr + dr) * kSen + fc + dc] = v;
        }
      }
    }
    frames_->SetTouch(d);
  }
  void Finger() { Touch(0, -1, 0, -1, 0, 12, 24); }
  void Palm() { Touch(3, 9, 3, 9, 300, 12, 24); }
  MutualRegionSet Regions() {
    MutualRegionSet s;
    std::memcpy(&s, regions_(nullptr), sizeof(s));
    return s;
  }
  std::vector<uint8_t> StateChanges() const { return host_->snapshot().state_changes; }

  std::unique_ptr<platform::testing::TempRoot> root_;
  std::unique_ptr<touch_host::TouchHost> host_;
  std::unique_ptr<fxtest::FingerFrames> frames_;
  FerxScriptCoordinatesFn script_ = nullptr;
  FerxTestRegionsFn regions_ = nullptr;
  uint16_t index_ = 2;
};

TEST_F(LargeAreaEndToEnd, APalmSetsTheLargeStateForTheHoldFramesThenItClears) {
  Finger();
  Frame(0x00, true);
  EXPECT_TRUE(StateChanges().empty()) << "a finger alone is not large";

  // The palm: a 7 x 7 square region of 49 owned nodes beside the finger.
  Palm();
  Frame(0x00, true);
  MutualRegionSet s = Regions();
  ASSERT_EQ(s.ubRegionNum, 2);
  EXPECT_EQ(s.uwWaterWord, 2 * 2 + 49 + 9) << "the frame's total node count";
  EXPECT_EQ(StateChanges(), std::vector<uint8_t>{1});
  Frame(0x00, true);
  EXPECT_EQ(StateChanges(), std::vector<uint8_t>{1}) << "no new change while the palm stays";

  // The palm lifts, the finger stays: the reload of 4 less one per frame holds the state
  // through two finger frames and ends it on the third.
  Finger();
  for (int f = 0; f < kHoldFrames - 2; ++f) {
    Frame(0x00, true);
    EXPECT_EQ(Regions().ubRegionNum, 1);
    EXPECT_EQ(StateChanges(), std::vector<uint8_t>{1}) << "held, finger frame " << f + 1;
  }
  Frame(0x00, true);
  EXPECT_EQ(StateChanges(), (std::vector<uint8_t>{1, 0})) << "the hold ran out";
  Frame(0x00, true);
  EXPECT_EQ(StateChanges(), (std::vector<uint8_t>{1, 0}));
}

// Without a point in the report the held state does not outlast the palm: the first frame
// after the last reported point ends it.
TEST_F(LargeAreaEndToEnd, WithNothingReportedTheHoldEndsAtOnce) {
  Palm();
  Frame(0x00, false);
  EXPECT_EQ(StateChanges(), std::vector<uint8_t>{1});
  Touch(0, -1, 0, -1, 0);
  Frame(0x00, false);
  EXPECT_EQ(StateChanges(), (std::vector<uint8_t>{1, 0}));
}

// The host's pocket command arms mode A: the margin raises the total threshold to 90, so
// that only a total above 80 is large; the square palm is still large on its own, a wide flat hand whose
// total lies between the two thresholds is not.
TEST_F(LargeAreaEndToEnd, ThePocketCommandRaisesTheTotalThresholdForAWideHand) {
  // 4 x 16 = 64 owned nodes, never square; total 66 against T - 10 = 50.
  Touch(3, 6, 3, 18, 300);
  Frame(0x00, true);
  EXPECT_EQ(StateChanges(), std::vector<uint8_t>{1}) << "without the pocket the wide hand is large";
  Touch(0, -1, 0, -1, 0);
  for (int f = 0; f < kHoldFrames; ++f) Frame(0x00, false);
  ASSERT_EQ(StateChanges(), (std::vector<uint8_t>{1, 0}));

  common_data pocket{};
  pocket.mode = COMMON_DATA_MODE_POCKET_PALM;
  pocket.count = 1;
  pocket.values[0] = 1;
  ASSERT_EQ(host_->send_common_data(pocket), touch_host::HostStatus::kOk);
  Touch(3, 6, 3, 18, 300);
  Frame(0x00, true);
  Frame(0x00, true);
  EXPECT_EQ(StateChanges(), (std::vector<uint8_t>{1, 0})) << "with the pocket 66 is below 90";
  Palm();
  Frame(0x00, true);
  EXPECT_EQ(StateChanges(), (std::vector<uint8_t>{1, 0, 1})) << "a square palm is large on its own";
}

}  // namespace
