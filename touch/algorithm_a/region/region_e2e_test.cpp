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
#include "module_wrappers.h"
#include "region_float.h"
#include "region_records.h"
#include "region_water.h"
#include "touch_host/host.h"
#include "tsa_module_test_util.h"

namespace {

using fxtest::Bytes;

const std::string kScriptedPlugin = std::string(VENDOR_PLUGIN_DIR) + "/libtapsense_alg_ferrant_scripted.so";

constexpr uint8_t kDrv = 16;
constexpr uint8_t kSen = 30;

// Panel: touch threshold 100 (bytes 4-5), second level 120 (bytes 6-7); AFE byte 3 bit 4
// turns the weak-touch handling on when GLOVE is set; WATER switches waterproof processing
// on (water section, byte 0 bit 0); FLOATOFF switches the floating judgement off.
Bytes Blob(bool glove, bool water = false, bool floatOff = false) {
  Bytes time = cfgtest::TimeSection();
  Bytes panel = cfgtest::PanelSection(1080, 2400);
  Bytes afe = {0x00, 0x00, 0x00, static_cast<uint8_t>(glove ? 0x10 : 0x00)};
  Bytes waterCfg(38, 0);
  waterCfg[0] = water ? 1 : 0;
  // Floating section: byte 18 bit 0 switches the floating judgement off.
  Bytes floatCfg(22, 0);
  floatCfg[18] = floatOff ? 1 : 0;
  return cfgtest::BuildBlob({.sections = {cfgtest::Section(8, panel), cfgtest::Section(10, afe),
                                          cfgtest::Section(32, time), cfgtest::Section(31, {0, 4}),
                                          cfgtest::Section(96, waterCfg), cfgtest::Section(102, floatCfg)}});
}

class RegionEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override { root_ = std::make_unique<platform::testing::TempRoot>(); }

  void Start(bool glove = false, bool water = false, bool floatOff = false) {
    host_ = fxtest::StartFerrantHost(*root_, kScriptedPlugin, Blob(glove, water, floatOff), kDrv, kSen);
    ASSERT_NE(host_, nullptr);
    script_ = reinterpret_cast<FerxScriptCoordinatesFn>(host_->alg_symbol(FERX_SCRIPT_COORDINATES_SYMBOL));
    tracking_ = reinterpret_cast<FerxScriptTrackingFn>(host_->alg_symbol(FERX_SCRIPT_TRACKING_SYMBOL));
    ASSERT_NE(tracking_, nullptr);
    regions_ = reinterpret_cast<FerxTestRegionsFn>(host_->alg_symbol(FERX_TEST_REGIONS_SYMBOL));
    ASSERT_NE(script_, nullptr);
    ASSERT_NE(regions_, nullptr);
    water_ = reinterpret_cast<FerxTestWaterFn>(host_->alg_symbol(FERX_TEST_WATER_SYMBOL));
    ASSERT_NE(water_, nullptr);
    float_ = reinterpret_cast<FerxTestFloatFn>(host_->alg_symbol(FERX_TEST_FLOAT_SYMBOL));
    ASSERT_NE(float_, nullptr);
    debug_ = reinterpret_cast<uint32_t (*)(void*)>(host_->alg_symbol("GetSelkoAlgoDebugInfo"));
    ASSERT_NE(debug_, nullptr);
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
  const WaterModuleState& Water() const { return *static_cast<const WaterModuleState*>(water_()); }
  FloatSelfProc Float() const {
    FloatSelfProc f;
    std::memcpy(&f, float_(), sizeof(f));
    return f;
  }
  SelkoAlgoDebugInfo Debug() const {
    SelkoAlgoDebugInfo d;
    EXPECT_EQ(debug_(&d), sizeof(d));
    return d;
  }
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
  FerxTestWaterFn water_ = nullptr;
  FerxTestFloatFn float_ = nullptr;
  uint32_t (*debug_)(void*) = nullptr;
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


// ---- Waterproof processing ---------------------------------------------------------------

// A wet patch: nodes of rows R0..R1 and columns C0..C1 alternate +60 and -60 in a pattern
// that shifts every frame (a third positive), so the patch changes like water does.
void WetPatch(std::vector<int16_t>& d, int r0, int r1, int c0, int c1, int frame) {
  for (int r = r0; r <= r1; ++r)
    for (int c = c0; c <= c1; ++c) d[static_cast<size_t>(r) * kSen + c] = ((r + c + frame) % 3 == 0) ? 60 : -60;
}
// A blob of PEAK at {r, c}: half on the direct neighbours, a quarter on the diagonals.
[[maybe_unused]] void PutBlob(std::vector<int16_t>& d, int r, int c, int16_t peak) {
  for (int dr = -1; dr <= 1; ++dr)
    for (int dc = -1; dc <= 1; ++dc) {
      const int16_t v = (dr == 0 && dc == 0) ? peak : (dr == 0 || dc == 0) ? peak / 2 : peak / 4;
      d[static_cast<size_t>(r + dr) * kSen + (c + dc)] = v;
    }
}

int LiveUnions(const WaterModuleState& w) {
  int n = 0;
  for (const WaterUnion& u : w.astUnion) n += u.label != kWaterUnionFree ? 1 : 0;
  return n;
}
int ListedRemovals(const WaterModuleState& w) {
  int n = 0;
  for (const RegionRect& r : w.gstWaterDelRect) n += RegionRectWord(r) != kRegionRectEmptyBound ? 1 : 0;
  return n;
}

TEST_F(RegionEndToEnd, WithWaterproofOffAWetPatchIsNotFollowed) {
  Start(false, false);
  Frame();
  for (int f = 0; f < 8; ++f) {
    std::vector<int16_t> d(static_cast<size_t>(kDrv) * kSen, 0);
    WetPatch(d, 3, 9 + f / 4, 3, 9 + f / 3, f);
    PutBlob(d, 5, 5, 140);
    TouchMap(d);
    Frame();
  }
  EXPECT_EQ(LiveUnions(Water()), 0);
  EXPECT_EQ(int(Water().WaterUnionFlag), 0);
  EXPECT_EQ(Regions().ubRegionNum, 1) << "the droplet stays a region without waterproof processing";
}

TEST_F(RegionEndToEnd, DropletsOnASpreadingWetPatchAreRemovedAndTheFingerBesideThemKept) {
  Start(false, true);
  Frame();
  // The patch grows by a column every third frame and a row every fourth: a spreading,
  // negative-dominant wet area with no node near the touch level.
  int f = 0;
  for (; f < 8; ++f) {
    std::vector<int16_t> d(static_cast<size_t>(kDrv) * kSen, 0);
    WetPatch(d, 3, 9 + f / 4, 3, 9 + f / 3, f);
    TouchMap(d);
    Frame();
    EXPECT_EQ(Regions().ubRegionNum, 0) << f;
    EXPECT_EQ(int(Water().WaterEntrySeen), 1) << f;
  }
  const WaterModuleState& w = Water();
  ASSERT_EQ(LiveUnions(w), 1);
  EXPECT_EQ(int(w.WaterUnionFlag), 1) << "the spreading patch is judged wet";
  EXPECT_EQ(int(w.WaterUnionCount), 1);
  const WaterUnion* patch = nullptr;
  for (const WaterUnion& u : w.astUnion)
    if (u.label != kWaterUnionFree) patch = &u;
  ASSERT_NE(patch, nullptr);
  EXPECT_EQ(int(patch->wetMark), 1);
  EXPECT_GE(int(patch->extentGrowCount), 2) << "it spread";
  EXPECT_EQ(RegionRectWord(patch->rect), RegionRectWord(RegionRect{3, 10, 3, 11}));
  // Droplets on the patch and a finger well away from it: the droplets give no region, the
  // finger keeps its own, unmarked union.
  for (int k = 0; k < 4; ++k, ++f) {
    std::vector<int16_t> d(static_cast<size_t>(kDrv) * kSen, 0);
    WetPatch(d, 3, 9 + f / 4, 3, 9 + f / 3, f);
    PutBlob(d, 5, 5, 140);
    PutBlob(d, 8, 10, 130);
    PutBlob(d, 12, 24, 400);
    TouchMap(d);
    Frame();
    const MutualRegionSet s = Regions();
    ASSERT_EQ(s.ubRegionNum, 1) << k;
    EXPECT_EQ(int(s.auwPeak[0]), 400) << k;
    EXPECT_EQ(int(s.auwPeakPos[0]), (12 << 8) | 24) << k;
    EXPECT_EQ(int(w.WaterUnionFlag), 1) << k;
    EXPECT_EQ(LiveUnions(w), 2) << k;
    for (const WaterUnion& u : w.astUnion) {
      if (u.label == kWaterUnionFree || u.peak != 400) continue;
      EXPECT_EQ(int(u.wetMark), 0) << "the finger's union is not water";
      EXPECT_EQ(RegionRectWord(u.rect), RegionRectWord(RegionRect{11, 13, 23, 25}));
    }
  }
}

TEST_F(RegionEndToEnd, ACheckerboardOfWaterIsRemovedAsALargeWetArea) {
  Start(true, true);
  Frame();
  std::vector<int16_t> d(static_cast<size_t>(kDrv) * kSen, 0);
  for (int r = 0; r < kDrv; ++r)
    for (int c = 0; c < kSen; ++c) d[static_cast<size_t>(r) * kSen + c] = ((r + c) % 2 == 0) ? 60 : -60;
  TouchMap(d);
  Frame();
  const WaterModuleState& w = Water();
  uint8_t mode = 0;
  EXPECT_EQ(Regions(&mode).ubRegionNum, 0);
  EXPECT_EQ(mode, 1) << "the weak search found the positive cells";
  EXPECT_GT(ListedRemovals(w), 0) << "and waterproof processing removed them";
  EXPECT_EQ(int(w.WaterRectRemoved), 1);
  EXPECT_EQ(int(w.WaterLargeHold), 4) << "a large wet frame";
  int largeAt = -1;
  for (int f = 1; f < 10; ++f) {
    Frame();
    EXPECT_EQ(Regions().ubRegionNum, 0) << f;
    if (largeAt < 0 && w.WaterLargeSta != 0) largeAt = f;
  }
  EXPECT_EQ(int(w.WaterWetLevel), 5);
  EXPECT_EQ(largeAt, 5) << "the wet level reaches 3 after six wet frames";
  EXPECT_EQ(int(w.WaterLargeHold), 20);
  // The water dries: the border removal holds on for the frames the hold counts.
  TouchMap(std::vector<int16_t>(static_cast<size_t>(kDrv) * kSen, 0));
  Frame();
  EXPECT_EQ(int(w.WaterLargeSta), 0);
  EXPECT_EQ(int(w.WaterLargeHold), 19);
  for (int f = 0; f < 19; ++f) Frame();
  EXPECT_EQ(int(w.WaterLargeHold), 0);
}

TEST_F(RegionEndToEnd, AWetFingerSlidingOutOfAWetPatchIsKept) {
  Start(false, true);
  Frame();
  int f = 0;
  for (; f < 8; ++f) {
    std::vector<int16_t> d(static_cast<size_t>(kDrv) * kSen, 0);
    WetPatch(d, 3, 9 + f / 4, 3, 9 + f / 3, f);
    TouchMap(d);
    Frame();
  }
  const WaterModuleState& w = Water();
  ASSERT_EQ(int(w.WaterUnionFlag), 1);
  // The finger comes down inside the patch and slides out of it, a column per frame.
  for (int k = 0; k < 14; ++k, ++f) {
    std::vector<int16_t> d(static_cast<size_t>(kDrv) * kSen, 0);
    WetPatch(d, 3, 10, 3, 11, f);
    PutBlob(d, 7, 8 + k, 400);
    TouchMap(d);
    Frame();
    const MutualRegionSet s = Regions();
    ASSERT_EQ(s.ubRegionNum, 1) << k;
    EXPECT_EQ(int(s.auwPeak[0]), 400) << k;
    EXPECT_EQ(int(s.auwPeakPos[0]), (7 << 8) | (8 + k)) << k;
    EXPECT_EQ(ListedRemovals(w), 0) << k;
    EXPECT_EQ(int(w.WaterUnionFlag), 1) << k;
  }
  // Out of the patch the finger has a union of its own, split from the wet one and carrying
  // its wet mark: a wet finger, followed by the finger's pairing slot.
  ASSERT_EQ(LiveUnions(w), 2);
  bool finger = false;
  for (const WaterUnion& u : w.astUnion) {
    if (u.label == kWaterUnionFree || u.peak != 400) continue;
    finger = true;
    EXPECT_EQ(int(u.wetMark), 1);
    EXPECT_EQ(int(u.slot), 0);
    EXPECT_EQ(RegionRectWord(u.rect), RegionRectWord(RegionRect{6, 8, 20, 22}));
  }
  EXPECT_TRUE(finger);
}

// A floating finger: a weak peak (200, shoulders 100) sunk in a ring of -120 two nodes wide.
// Every such frame counts: eleven take the floating counter to 11, the twelfth to 250 (the
// floating state); an ordinary finger before it does not count. Then a large flat copper
// plate (140, crossed by two slots that region acquisition splits it at) lies on the panel:
// its three regions collapse into one covering the plate, the collapse flag reaches the debug record, and the floating state holds while
// the plate is down. With the floating judgement switched off the same plate stays split.
TEST_F(RegionEndToEnd, FloatingFingerEntersTheFloatingStateAndACopperPlateCollapses) {
  std::vector<int16_t> plate(static_cast<size_t>(kDrv) * kSen, 0);
  for (int r = 4; r <= 11; ++r)
    for (int c = 6; c <= 16; ++c) plate[static_cast<size_t>(r) * kSen + c] = (c == 9 || c == 13) ? 0 : 140;
  {
    Start(false, false, /*floatOff=*/true);
    TouchMap(plate);
    Frame();
    EXPECT_EQ(Regions().ubRegionNum, 3) << "the plate as region acquisition finds it";
    EXPECT_EQ(Float().ubCollapse, 0);
    host_.reset();
  }

  Start();
  Touch({{7, 14, 300}});
  for (int i = 0; i < 3; ++i) Frame();
  EXPECT_EQ(Float().ubFloatCnt, 0) << "an ordinary finger";

  std::vector<int16_t> d(static_cast<size_t>(kDrv) * kSen, 0);
  auto at = [&](int r, int c) -> int16_t& { return d[static_cast<size_t>(r) * kSen + c]; };
  for (int r = 3; r <= 11; ++r)
    for (int c = 10; c <= 18; ++c) at(r, c) = -120;
  for (int r = 6; r <= 8; ++r)
    for (int c = 13; c <= 15; ++c) at(r, c) = (r == 7 && c == 14) ? 200 : 100;
  TouchMap(d);
  for (int i = 1; i <= 11; ++i) {
    Frame();
    ASSERT_EQ(Float().ubFloatCnt, i);
    EXPECT_EQ(Float().ubFloatFlag, 0) << i;
  }
  Frame();
  FloatSelfProc f = Float();
  EXPECT_EQ(f.ubFloatCnt, 250);
  EXPECT_EQ(f.ubFloatFlag, 1);
  EXPECT_EQ(RegionRectWord(f.stMainRect), RegionRectWord(RegionRect{6, 8, 13, 15}));
  EXPECT_EQ(Regions().ubRegionNum, 1);
  EXPECT_EQ(Debug().ubFloatPreJudge, 0) << "no collapse for a finger";

  TouchMap(plate);
  for (int i = 1; i <= 3; ++i) {
    Frame();
    const MutualRegionSet s = Regions();
    f = Float();
    ASSERT_EQ(s.ubRegionNum, 1) << i;
    EXPECT_EQ(RegionRectWord(s.astRect[0]), RegionRectWord(RegionRect{4, 11, 6, 16})) << i;
    EXPECT_EQ(s.auwPeak[0], 140) << i;
    EXPECT_EQ(f.ubCollapse, 1) << i;
    EXPECT_EQ(Debug().ubFloatPreJudge, 1) << i;
    EXPECT_EQ(f.ubFloatCnt, 250 - i) << "no touch reported: the counter runs down";
    EXPECT_EQ(f.ubFloatFlag, 1) << i;
  }
}

}  // namespace
