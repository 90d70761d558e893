// End to end: the plug-in loaded through the touch host, a reference frame, then finger
// frames that carry touches; the frame's regions read back after each frame.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cfg_blob_builder_test.h"
#include "decoded_frame_bytes_test.h"
#include "ferrant_host_start_test.h"
#include "ferrant_script_hook_test.h"
#include "platform/temp_root.h"
#include "region_records.h"
#include "touch_host/host.h"
#include "tsa_module_test_util.h"

namespace {

using fxtest::Bytes;

const std::string kScriptedPlugin = std::string(VENDOR_PLUGIN_DIR) + "/libtapsense_alg_ferrant_scripted.so";

constexpr uint8_t kDrv = 16;
constexpr uint8_t kSen = 30;

// Panel: touch threshold 100 (bytes 4-5), second level 120 (bytes 6-7); AFE byte 3 bit 4
// turns the weak-touch handling on when GLOVE is set.
Bytes Blob(bool glove) {
  Bytes time(32, 0);
  cfgtest::PutU16(time, 3, 5000);
  Bytes panel(38, 0);
  cfgtest::PutU16(panel, 0, 1080);
  cfgtest::PutU16(panel, 2, 2400);
  cfgtest::PutU16(panel, 4, 100);
  cfgtest::PutU16(panel, 6, 120);
  panel[20] = 10;
  Bytes afe = {0x00, 0x00, 0x00, static_cast<uint8_t>(glove ? 0x10 : 0x00)};
  return cfgtest::BuildBlob({.sections = {cfgtest::Section(8, panel), cfgtest::Section(10, afe),
                                          cfgtest::Section(32, time), cfgtest::Section(31, {0, 4})}});
}

class RegionEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override { root_ = std::make_unique<platform::testing::TempRoot>(); }

  void Start(bool glove = false) {
    host_ = fxtest::StartFerrantHost(*root_, kScriptedPlugin, Blob(glove), kDrv, kSen);
    ASSERT_NE(host_, nullptr);
    script_ = reinterpret_cast<FerxScriptCoordinatesFn>(host_->alg_symbol(FERX_SCRIPT_COORDINATES_SYMBOL));
    tracking_ = reinterpret_cast<FerxScriptTrackingFn>(host_->alg_symbol(FERX_SCRIPT_TRACKING_SYMBOL));
    ASSERT_NE(tracking_, nullptr);
    regions_ = reinterpret_cast<FerxTestRegionsFn>(host_->alg_symbol(FERX_TEST_REGIONS_SYMBOL));
    ASSERT_NE(script_, nullptr);
    ASSERT_NE(regions_, nullptr);
    frames_ = std::make_unique<fxtest::FingerFrames>(kDrv, kSen, 4);
    // Raw 0 everywhere (node 0 at 65535, a diff of 1 with a zero reference): the diff
    // (reference minus raw) is the touch itself whether the reference is taken from the
    // reference frame or left at zero.
    frames_->SetBase(0, -1);
    Frame(0x01);  // the reference
  }
  void Frame(uint8_t flags = 0x00) {
    script_(nullptr, 0);  // reference ready, no scripted point
    DecodedFrame f = frames_->Next(flags, index_++);
    ASSERT_EQ(host_->process_frame(&f), touch_host::HostStatus::kOk);
  }
  // The next frames carry the given blobs (peak at {row, column}).
  struct BlobAt {
    int r, c;
    int16_t peak;
  };
  void Touch(const std::vector<BlobAt>& blobs) {
    std::vector<int16_t> d(static_cast<size_t>(kDrv) * kSen, 0);
    for (const BlobAt& b : blobs) {
      for (int dr = -1; dr <= 1; ++dr) {
        for (int dc = -1; dc <= 1; ++dc) {
          const int r = b.r + dr, c = b.c + dc;
          if (r < 0 || c < 0 || r >= kDrv || c >= kSen) continue;
          const int16_t v = (dr == 0 && dc == 0) ? b.peak : (dr == 0 || dc == 0) ? b.peak / 2 : b.peak / 4;
          d[static_cast<size_t>(r) * kSen + c] = v;
        }
      }
    }
    frames_->SetTouch(d);
  }
  // The next frames carry exactly this map (rows of kSen values).
  void TouchMap(const std::vector<int16_t>& d) { frames_->SetTouch(d); }
  MutualRegionSet Regions(uint8_t* mode = nullptr) {
    MutualRegionSet s;
    std::memcpy(&s, regions_(mode), sizeof(s));
    return s;
  }

  std::unique_ptr<platform::testing::TempRoot> root_;
  std::unique_ptr<touch_host::TouchHost> host_;
  std::unique_ptr<fxtest::FingerFrames> frames_;
  FerxScriptCoordinatesFn script_ = nullptr;
  FerxTestRegionsFn regions_ = nullptr;
  FerxScriptTrackingFn tracking_ = nullptr;
  uint16_t index_ = 2;
};

TEST_F(RegionEndToEnd, OneBlobGivesOneRegionWithItsPeakAndPositionTwoBlobsTwo) {
  Start();
  Frame();
  EXPECT_EQ(Regions().ubRegionNum, 0) << "no touch, no region";

  Touch({{6, 11, 300}});
  Frame();
  MutualRegionSet s = Regions();
  ASSERT_EQ(s.ubRegionNum, 1);
  EXPECT_EQ(s.auwPeak[0], 300);
  EXPECT_EQ(s.auwPeakPos[0], (6 << 8) | 11);
  EXPECT_EQ(RegionRectWord(s.astRect[0]), RegionRectWord(RegionRect{5, 7, 10, 12}));
  EXPECT_EQ(s.uwTouchThreshold, 100);

  Touch({{3, 4, 300}, {12, 24, 260}});
  Frame();
  s = Regions();
  ASSERT_EQ(s.ubRegionNum, 2);
  EXPECT_EQ(s.auwPeak[0], 300);
  EXPECT_EQ(s.auwPeakPos[0], (3 << 8) | 4);
  EXPECT_EQ(s.auwPeak[1], 260);
  EXPECT_EQ(s.auwPeakPos[1], (12 << 8) | 24);

  Touch({});
  Frame();
  EXPECT_EQ(Regions().ubRegionNum, 0);
}

TEST_F(RegionEndToEnd, TouchModeFollowsTheFrameMaximumWithWeakTouchHandling) {
  Start(true);
  uint8_t mode = 255;
  Frame();
  Regions(&mode);
  EXPECT_EQ(mode, 0) << "weak handling on, maximum below 45";
  Touch({{6, 11, 80}});
  Frame();
  MutualRegionSet s = Regions(&mode);
  EXPECT_EQ(mode, 1);
  // The weak modes search with 45: the 80 blob is a region although the panel level is 100.
  EXPECT_EQ(s.uwTouchThreshold, 45);
  EXPECT_EQ(s.ubRegionNum, 1);
  Touch({{6, 11, 300}});
  Frame();
  s = Regions(&mode);
  EXPECT_EQ(mode, 2) << "a maximum above 199 returns to the normal mode";
  EXPECT_EQ(s.uwTouchThreshold, 100) << "the dynamic level restores the panel's touch level";
  Touch({{6, 11, 80}});
  Frame();
  Regions(&mode);
  EXPECT_EQ(mode, 2) << "from the normal mode a weak maximum keeps it";
  Touch({});
  Frame();
  Regions(&mode);
  EXPECT_EQ(mode, 0);
}

TEST_F(RegionEndToEnd, TwoFingersThatMergeIntoOneBlobSplitAfterTwoConfirmedFrames) {
  Start();
  Frame();
  Touch({{6, 6, 300}, {6, 16, 300}});
  Frame();
  EXPECT_EQ(Regions().ubRegionNum, 2) << "two fingers apart";
  // The two fingers side by side at row 6, columns 10 and 12, merged through column 11:
  // the search finds one region; the top row still dips between them.
  std::vector<int16_t> d(static_cast<size_t>(kDrv) * kSen, 0);
  const int16_t top[5] = {90, 160, 125, 160, 90};
  const int16_t mid[5] = {180, 300, 280, 300, 180};
  const int16_t bot[5] = {90, 120, 139, 120, 90};
  for (int c = 0; c < 5; ++c) {
    d[5 * kSen + 9 + c] = top[c];
    d[6 * kSen + 9 + c] = mid[c];
    d[7 * kSen + 9 + c] = bot[c];
  }
  TouchMap(d);
  Frame();
  MutualRegionSet s = Regions();
  EXPECT_EQ(s.ubRegionNum, 1) << "first confirmed frame: still one region";
  Frame();
  // The search splits the blob into two regions, one per peak. Both halves then pair with
  // the one slot that tracked the blob, and their rectangles touch, so pairing takes them
  // back as one finger in the same frame: region 1 is emptied into region 0. The count and
  // the peak positions the split left show the split; the peaks and rectangles show the
  // merge that followed it.
  const auto splitThenMerged = [](const MutualRegionSet& r) {
    ASSERT_EQ(r.ubRegionNum, 2) << "the search split the blob";
    const uint16_t left = (6 << 8) | 10, right = (6 << 8) | 12;
    EXPECT_TRUE((r.auwPeakPos[0] == left && r.auwPeakPos[1] == right) ||
                (r.auwPeakPos[0] == right && r.auwPeakPos[1] == left))
        << std::hex << r.auwPeakPos[0] << " " << r.auwPeakPos[1];
    EXPECT_EQ(r.auwPeak[0], 300);
    EXPECT_EQ(r.auwPeak[1], 0) << "pairing merged the second half into the first";
    EXPECT_EQ(RegionRectWord(r.astRect[1]), kRegionRectCleared);
    const RegionRect u = r.astRect[0];
    EXPECT_TRUE(u.ubRowStart <= 6 && u.ubRowEnd >= 6 && u.ubColStart <= 10 && u.ubColEnd >= 12)
        << "the merged rectangle covers both halves: " << std::hex << RegionRectWord(u);
  };
  splitThenMerged(Regions());
  Frame();
  splitThenMerged(Regions());
  Touch({});
  Frame();
  EXPECT_EQ(Regions().ubRegionNum, 0);
}

TEST_F(RegionEndToEnd, ASteadySlotKeepsItsRegionThroughAWeakFrame) {
  Start();
  Frame();
  // One finger held still; the pairing reports its rectangle every frame and the coordinate
  // state copy hands slot tracking the previous frame's point count. The floating-region
  // record that a slot must match comes from the floating-finger judgement, which is not
  // built yet: the script supplies it with the slot.
  const FerxScriptedTouch held = {0, 5, 7, 10, 12, 300};
  Touch({{6, 11, 300}});
  for (int f = 0; f < 20; ++f) {
    tracking_(&held, 1);
    Frame();
    ASSERT_EQ(Regions().ubRegionNum, 1) << f;
  }
  // A weak frame: the finger's signal drops below the touch level of 100.
  Touch({{6, 11, 90}});
  tracking_(&held, 1);
  Frame();
  MutualRegionSet s = Regions();
  ASSERT_EQ(s.ubRegionNum, 1) << "the steady slot's region stays";
  EXPECT_EQ(s.auwPeak[0], 90);
  EXPECT_EQ(RegionRectWord(s.astRect[0]), RegionRectWord(RegionRect{5, 7, 10, 12}));
  // Without the steady history the same weak frame finds nothing.
  tracking_(nullptr, 0);
  Touch({});
  Frame();
  Touch({{6, 11, 90}});
  Frame();
  EXPECT_EQ(Regions().ubRegionNum, 0);
}

}  // namespace
