// Region detection: acquisition and the search stage on small maps, the compaction, the
// track-slot scans and the touch-mode and hover counts.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "coord_records.h"
#include "diff_stages.h"
#include "diff_stages.h"
#include "region.h"
#include "region_lib.h"
#include "region_fixture_test.h"
#include "region_proc.h"

namespace {

using regiontest::AcquireFixture;
using regiontest::Rect;

TEST(RegionRectWord, PacksRowStartIntoTheLowByte) {
  struct Case {
    RegionRect r;
    uint32_t word;
  } cases[] = {{Rect(2, 4, 7, 9), 0x09070402u},
               {Rect(255, 255, 255, 255), kRegionRectNone},
               {Rect(255, 0, 255, 0), kRegionRectEmptyBound},
               {Rect(0, 0, 0, 0), kRegionRectCleared}};
  for (const Case& c : cases) {
    EXPECT_EQ(RegionRectWord(c.r), c.word);
    EXPECT_EQ(RegionRectWord(RegionRectFromWord(c.word)), c.word);
  }
}

TEST(RearrangeRegion, CompactsKeptRegionsAndRelabelsTheirNodes) {
  // Four one-row regions on a 4 x 4 grid, row i labelled i; regions 0 and 2 dropped.
  const uint8_t rows = 4, cols = 4;
  uint8_t label[16];
  RegionRect rect[kRegionMax] = {Rect(0, 0, 0, 3), Rect(1, 1, 0, 3), Rect(2, 2, 0, 3), Rect(3, 3, 0, 3)};
  uint16_t peak[kRegionMax] = {0, 300, 0, 280};
  uint16_t pos[kRegionMax] = {0x0000, 0x0101, 0x0202, 0x0303};
  uint16_t water[kRegionMax] = {10, 11, 12, 13};
  for (int i = 0; i < 16; ++i) label[i] = static_cast<uint8_t>(i / 4);
  EXPECT_EQ(RearrangeRegion(4, peak, rect, pos, water, label, rows, cols), 2);
  const uint8_t want[16] = {255, 255, 255, 255, 0, 0, 0, 0, 2, 2, 2, 2, 1, 1, 1, 1};
  EXPECT_EQ(std::vector<uint8_t>(label, label + 16), std::vector<uint8_t>(want, want + 16));
  EXPECT_EQ(RegionRectWord(rect[0]), RegionRectWord(Rect(1, 1, 0, 3)));
  EXPECT_EQ(RegionRectWord(rect[1]), RegionRectWord(Rect(3, 3, 0, 3)));
  EXPECT_EQ(peak[0], 300);
  EXPECT_EQ(peak[1], 280);
  EXPECT_EQ(peak[2], 0);
  EXPECT_EQ(peak[3], 0);
  EXPECT_EQ(pos[1], 0x0303);
  EXPECT_EQ(water[1], 13);
  EXPECT_EQ(RearrangeRegion(0, peak, rect, pos, water, label, rows, cols), 0);
}

TEST(RearrangeRegion, LeavesTheLabelMapAloneForARectangleOffTheGrid) {
  uint8_t label[4] = {1, 1, 1, 1};
  RegionRect rect[kRegionMax] = {Rect(0, 9, 0, 9), Rect(0, 1, 0, 1)};
  uint16_t peak[kRegionMax] = {0, 50};
  EXPECT_EQ(RearrangeRegion(2, peak, rect, nullptr, nullptr, label, 2, 2), 1);
  EXPECT_EQ(label[0], 1);  // not rewritten: the dropped rectangle does not fit the grid
  EXPECT_EQ(RegionRectWord(rect[0]), RegionRectWord(Rect(0, 1, 0, 1)));
}

TEST(RegionTouchMode, FollowsTheFrameExtremes) {
  struct Case {
    uint8_t before;
    int16_t max, min;
    bool force;
    uint8_t after;
  } cases[] = {
      {0, 200, 0, false, 2},   {1, 200, 0, false, 2},  {2, 30, -250, false, 2}, {0, 199, -199, false, 1},
      {1, 199, -199, false, 1}, {2, 199, -199, false, 2}, {2, 44, 0, false, 0},   {1, 44, 0, false, 0},
      {0, 45, 0, false, 1},    {0, 100, 0, true, 2},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RegionTouchModeNext(c.before, c.max, c.min, c.force), c.after)
        << int(c.before) << " " << c.max << " " << c.min << " " << c.force;
  }
}

TEST_F(AcquireFixture, OneBlobGivesOneRegionWithItsPeakAndPosition) {
  Init(10, 8);
  Blob(4, 3, 300);
  const std::vector<int16_t> before = diff_;
  RegionAcquireInput in = Input();
  RegionAcquire(&in);
  ASSERT_EQ(+in.ubRegionNum, 1);
  EXPECT_EQ(+in.ubPairNum, 1);
  EXPECT_EQ(+gstMutualRegion.auwPeak[0], 300);
  EXPECT_EQ(+gstMutualRegion.auwPeakPos[0], 0x0403);  // row 4 high byte, column 3 low byte
  EXPECT_EQ(RegionRectWord(gstMutualRegion.astRect[0]), RegionRectWord(Rect(3, 5, 2, 4)));
  EXPECT_EQ(Label(4, 3), 0);
  EXPECT_EQ(Label(0, 0), kRegionLabelNone);
  EXPECT_EQ(diff_, before);  // the map the search conditioned is put back
  EXPECT_EQ(+in.ubThresholdScale, 3);
  EXPECT_EQ(+gstRegionAcquireState.uwSearchArea, 9);
}

TEST_F(AcquireFixture, TwoBlobsGiveTwoRegionsAndAnEmptyMapNone) {
  Init(10, 8);
  Blob(2, 2, 300);
  Blob(7, 5, 250);
  RegionAcquireInput in = Input();
  RegionAcquire(&in);
  ASSERT_EQ(+in.ubRegionNum, 2);
  EXPECT_EQ(+gstMutualRegion.auwPeak[0], 300);
  EXPECT_EQ(+gstMutualRegion.auwPeak[1], 250);
  EXPECT_EQ(+gstMutualRegion.auwPeakPos[1], 0x0705);

  std::fill(diff_.begin(), diff_.end(), 0);
  in = Input();
  RegionAcquire(&in);
  EXPECT_EQ(+in.ubRegionNum, 0);
  EXPECT_EQ(+gstRegionAcquireState.uwSearchArea, 0);
  for (uint8_t i = 0; i < kRegionMax; ++i) EXPECT_EQ(RegionRectWord(gstMutualRegion.astRect[i]), kRegionRectNone);
}

TEST_F(AcquireFixture, GridsBeyondTheRecordsFindNothing) {
  Init(10, 8);
  Blob(4, 3, 300);
  RegionAcquireInput in = Input();
  in.ubRowNum = 65;  // more rows than a row mask holds
  RegionAcquire(&in);
  EXPECT_EQ(+in.ubRegionNum, 0);
  in = Input();
  in.ubRowNum = 60;
  in.ubColNum = 60;  // 3600 nodes: more than the label map
  RegionAcquire(&in);
  EXPECT_EQ(+in.ubRegionNum, 0);
}

TEST_F(AcquireFixture, StaticElectricitySearchReportsThePreviousSearchCountForPairing) {
  // The panel's own rows, and the all-ones mask of touch mode 1 whose bits past the
  // panel's ten rows mean nothing: both searches seed the same two regions.
  for (uint64_t mask : {0x3FFull, ~0ull}) {
    Init(10, 8);
    Blob(2, 2, 300);
    Blob(7, 5, 250);
    gstRegionAcquireState.ubSearchCount = 5;
    RegionAcquireInput in = Input();
    in.ubStaticElecSearch = 1;
    in.ubWeakTouchMode = 1;
    in.ullDiffOverRows = mask;
    RegionAcquire(&in);
    EXPECT_EQ(+in.ubRegionNum, 2) << std::hex << mask;
    EXPECT_EQ(+in.ubPairNum, 5) << std::hex << mask;
    EXPECT_EQ(+gstMutualRegion.auwPeak[0], 300) << std::hex << mask;
    EXPECT_EQ(+gstMutualRegion.auwPeakPos[0], 0x0202) << std::hex << mask;
  }
}

TEST_F(AcquireFixture, SmoothingKeepsTheBorderAndSumsNeighboursWithoutWrapping) {
  Init(5, 5);
  for (auto& v : diff_) v = 100;
  // Row 2, column 2: four neighbours of 9000 sum to 36000, which wraps negative in 16 bits
  // and would pass the "flat enough" test; it must not.
  diff_[1 * 5 + 2] = diff_[3 * 5 + 2] = diff_[2 * 5 + 1] = diff_[2 * 5 + 3] = 9000;
  const std::vector<int16_t> saved = diff_;
  RegionAcquireInput in = Input();
  in.uwTouchThreshold = 100;
  RegionSmoothFlaggedRows(in, saved.data());
  EXPECT_EQ(diff_[2 * 5 + 2], 100);
  // A flat 100 node with flat neighbours is the mean of five (unchanged); the border rows and
  // columns are never touched even where their values would qualify.
  for (int c = 0; c < 5; ++c) {
    EXPECT_EQ(diff_[c], 100);
    EXPECT_EQ(diff_[4 * 5 + c], 100);
  }
  EXPECT_EQ(diff_[1 * 5 + 1], 100);

  // A lone node of 100 among 50s is smoothed to the mean of five: (4 x 50 + 100) / 5.
  Init(5, 5);
  for (auto& v : diff_) v = 50;
  diff_[2 * 5 + 2] = 100;
  const std::vector<int16_t> lone = diff_;
  in = Input();
  RegionSmoothFlaggedRows(in, lone.data());
  EXPECT_EQ(diff_[2 * 5 + 2], 60);
  gullDiffOverFlag = ~(1ull << 2);  // its row not flagged: left alone
  diff_ = lone;
  RegionSmoothFlaggedRows(in, lone.data());
  EXPECT_EQ(diff_[2 * 5 + 2], 100);
}

TEST_F(AcquireFixture, SteadySlotsComeBackAsRegionsAndTheStrongestTwelveStay) {
  Init(8, 8);
  RegionTrackSlot& slot = gstRegionAcquireState.astSlot[3];
  slot.ubActive = 1;
  slot.ubFrameCnt = 6;
  slot.uwPeak = 420;
  slot.stRect = Rect(1, 3, 2, 4);
  for (int r = 1; r <= 3; ++r)
    for (int c = 2; c <= 4; ++c) gstRegionAcquireState.aubSlotLabel[r * 8 + c] = 3;
  RegionAcquireInput in = Input();
  RegionSearchProc(&in, 1);
  ASSERT_EQ(+in.ubRegionNum, 1);
  EXPECT_EQ(+in.ubPairNum, 1);
  EXPECT_EQ(+gstMutualRegion.auwPeak[0], 420);
  EXPECT_EQ(+gstMutualRegion.auwPeakPos[0], 0x0203);  // centre: row 2, column 3
  EXPECT_EQ(Label(2, 3), 0);

  // Twelve regions, all at 1000 or more: no region gives way to the slot.
  Init(8, 12);
  gstRegionAcquireState.astSlot[0].ubFrameCnt = 6;
  gstRegionAcquireState.astSlot[0].uwPeak = 300;
  gstRegionAcquireState.astSlot[0].stRect = Rect(0, 0, 0, 0);
  for (int c = 0; c < 12; ++c) diff_[(c % 2 == 0 ? 1 : 5) * 12 + c] = static_cast<int16_t>(1000 + c);
  in = Input();
  RegionSearchProc(&in, 1);
  // One steady slot: the last region (index 11) makes room, the slot takes the index.
  EXPECT_EQ(+in.ubRegionNum, 12);
  EXPECT_EQ(+gstMutualRegion.auwPeak[11], 300);
}

TEST_F(AcquireFixture, EdgeColumnsAreScaledForTheSearchOnlyInTheNormalMode) {
  Init(6, 6);
  for (int r = 0; r < 6; ++r) diff_[r * 6 + 0] = 150;  // a column of 150 at the left edge
  const std::vector<int16_t> before = diff_;
  RegionAcquireInput in = Input();
  in.ubEdgeColScale = 64;  // halves the edge column: 75 < the threshold 100
  RegionSearchProc(&in, 1);
  EXPECT_EQ(+in.ubRegionNum, 0);
  EXPECT_EQ(diff_, before);
  in = Input();
  in.ubEdgeColScale = 64;
  in.ubWeakTouchMode = 1;
  RegionSearchProc(&in, 1);
  EXPECT_EQ(+in.ubRegionNum, 1);
  EXPECT_EQ(diff_, before);
}

TEST_F(AcquireFixture, ThinEdgeRectanglesSwitchToTheSecondThreshold) {
  Init(8, 8);
  RegionAcquireInput in = Input();
  in.ubPrevPointNum = 3;
  for (int i = 0; i < 3; ++i) {
    gstCoordPair.auwLastRectMaxDiff[i] = 200;
    gstCoordPair.astLastRect[i] = Rect(static_cast<uint8_t>(2 * i), static_cast<uint8_t>(2 * i + 1), 0, 1);
  }
  RegionSearchProc(&in, 1);
  EXPECT_EQ(+in.uwRegionThreshold, 120);
  EXPECT_EQ(+gstRegionAcquireState.ubEdgeFlag, 1);
  // One thin rectangle left: the flag keeps the second threshold in force.
  gstCoordPair.auwLastRectMaxDiff[1] = gstCoordPair.auwLastRectMaxDiff[2] = 0;
  in = Input();
  in.ubPrevPointNum = 1;
  RegionSearchProc(&in, 1);
  EXPECT_EQ(+in.uwRegionThreshold, 120);
  // No thin rectangle: back to the touch threshold, the flag cleared.
  gstCoordPair.auwLastRectMaxDiff[0] = 0;
  in = Input();
  in.ubPrevPointNum = 1;
  RegionSearchProc(&in, 1);
  EXPECT_EQ(+in.uwRegionThreshold, 100);
  EXPECT_EQ(+gstRegionAcquireState.ubEdgeFlag, 0);
}

TEST_F(AcquireFixture, ThresholdDropFollowsStrongTrackedTouchesAndHolds) {
  Init(4, 4);
  gstCoordPair.auwLastRectMaxDiff[0] = 250;
  auto frame = [&]() {
    RegionAcquireInput in = Input();
    in.ubWaterOverride = 1;
    in.uwThresholdDrop = 30;
    in.ubPrevPointNum = 1;
    RegionSearchProc(&in, 0);
    return in.uwRegionThreshold;
  };
  // Four frames with a strong touch count up without lowering; the fifth lowers.
  for (int i = 0; i < 4; ++i) EXPECT_EQ(frame(), 100) << i;
  EXPECT_EQ(frame(), 70);
  EXPECT_EQ(+gstRegionSearchState.ubThrDropHold, 25);
  // The touch weakens: 25 more frames lowered by the hold, then the full threshold.
  gstCoordPair.auwLastRectMaxDiff[0] = 150;
  for (int i = 0; i < 25; ++i) EXPECT_EQ(frame(), 70) << i;
  EXPECT_EQ(frame(), 100);
}

TEST_F(AcquireFixture, SpecialAreasLiftNodesNearTheThresholdForTheSearch) {
  Init(6, 6);
  diff_[2 * 6 + 2] = 80;  // inside the area, above threshold - margin (100 - 50)
  diff_[4 * 6 + 4] = 49;  // inside, below it
  diff_[0 * 6 + 5] = 80;  // outside the area
  memset(&gstSpecialArea, 0, sizeof(gstSpecialArea));
  const uint8_t params[5] = {60, 0, 0, 0, 0};
  AddSpecialRectSet(RegionRectWord(Rect(1, 4, 1, 4)), params);
  RegionAcquireInput in = Input();
  RegionSearchProc(&in, 0);
  ASSERT_EQ(+in.ubRegionNum, 1);
  EXPECT_EQ(+gstMutualRegion.auwPeak[0], 140);
  EXPECT_EQ(diff_[4 * 6 + 4], 49);
  EXPECT_EQ(diff_[0 * 6 + 5], 80);
  // With the conditioning skipped (flag bit 0) nothing is lifted.
  diff_[2 * 6 + 2] = 80;
  in = Input();
  RegionSearchProc(&in, 1);
  EXPECT_EQ(+in.ubRegionNum, 0);
  memset(&gstSpecialArea, 0, sizeof(gstSpecialArea));
}

// The second search's parameters over a ROWS x COLS map, seeding from 100, with the
// growth fractions of a plain frame.
RegionSearchParam SecondSearchParam(uint8_t rows, uint8_t cols) {
  RegionSearchParam p{};
  p.pubLabelMap = gaubRegionLabelMap;
  p.swSeedThreshold = 100;
  p.ubRows = rows;
  p.ubCols = cols;
  p.ubMaxRegions = 12;
  p.ubSaddleFactor = 28;
  p.ubDiagStrongFactor = 40;
  p.ubDiagWeakFactor = 16;
  p.ubOrthStrongFactor = 48;
  p.ubOrthWeakFactor = 14;
  return p;
}

TEST_F(AcquireFixture, SecondSearchSeedsAFlatMapOnceAndGrowsOverIt) {
  Init(4, 5);
  for (auto& v : diff_) v = 100;
  RegionSearchParam p = SecondSearchParam(4, 5);
  RegionSearchRecord rec[kRegionMax] = {};
  uint8_t count = 0;
  uint16_t score = 0;
  gullDiffOverFlag = 0b0110;  // rows 1 and 2 may seed
  LocalPeakRegionSearch(diff_.data(), &count, &score, &p, rec);
  ASSERT_EQ(count, 1);
  EXPECT_EQ(+rec[0].ubPeakRow, 1);
  EXPECT_EQ(+rec[0].ubPeakCol, 0);
  EXPECT_EQ(RegionRectWord(Rect(rec[0].ubTop, rec[0].ubBottom, rec[0].ubLeft, rec[0].ubRight)),
            RegionRectWord(Rect(0, 3, 0, 4)));
  for (int i = 0; i < 20; ++i) EXPECT_EQ(gaubRegionLabelMap[i], 0) << i;
  EXPECT_EQ(score, rec[0].uwScore);
  // A seed on a corner: its two outside neighbours give 2 each.
  Init(3, 3);
  diff_[0] = 500;
  gullDiffOverFlag = 1;
  p.ubRows = 3;
  p.ubCols = 3;
  count = 0;
  score = 0;
  memset(rec, 0, sizeof(rec));
  LocalPeakRegionSearch(diff_.data(), &count, &score, &p, rec);
  ASSERT_EQ(count, 1);
  EXPECT_EQ(+rec[0].uwScore, 4);
}

// The top three bits of the row mask refuse the search only where they name rows of the
// panel: touch mode 1 sets every bit, and a ten-row panel still seeds its regions.
TEST_F(AcquireFixture, SecondSearchIgnoresMaskBitsPastThePanelRows) {
  struct Case {
    uint8_t rows;
    uint64_t mask;
    uint8_t want;
  } cases[] = {
      {10, 0x3FFull, 1},
      {10, ~0ull, 1},                      // touch mode 1
      {10, 0xE0000000000003FFull, 1},      // only the top bits past the panel
      {63, ~0ull >> 1, 0},                 // rows 61 and 62 are the panel's: refused
      {61, ~0ull, 1},
  };
  for (const Case& c : cases) {
    Init(c.rows, 5);
    diff_[2 * 5 + 2] = 500;
    RegionSearchParam p = SecondSearchParam(c.rows, 5);
    p.uiRowMaskLow = static_cast<uint32_t>(c.mask);
    p.uiRowMaskHigh = static_cast<uint32_t>(c.mask >> 32);
    memset(gaubRegionLabelMap, kRegionLabelNone, static_cast<size_t>(c.rows) * 5);
    RegionSearchRecord rec[kRegionMax] = {};
    uint8_t count = 0;
    uint16_t score = 0;
    gullDiffOverFlag = c.mask;
    LocalPeakRegionSearch(diff_.data(), &count, &score, &p, rec);
    EXPECT_EQ(count, c.want) << int{c.rows} << " rows, mask " << std::hex << c.mask;
  }
}

TEST_F(AcquireFixture, SlotLabelRingClearsOnlySteadySlotsAndForeignHighLabels) {
  Init(8, 8);
  RegionAcquireState& s = gstRegionAcquireState;
  s.astSlot[2].ubFrameCnt = 5;
  s.astSlot[2].stRect = Rect(3, 4, 3, 4);
  memset(s.aubSlotLabel, 2, 64);
  s.aubSlotLabel[1 * 8 + 1] = 11;
  s.aubSlotLabel[1 * 8 + 2] = 7;
  ClearSlotLabelRing(2, 8, 8);
  EXPECT_EQ(s.aubSlotLabel[3 * 8 + 3], 2);  // count 5: nothing changes
  s.astSlot[2].ubFrameCnt = 6;
  ClearSlotLabelRing(2, 8, 8);
  EXPECT_EQ(s.aubSlotLabel[3 * 8 + 3], 255);
  EXPECT_EQ(s.aubSlotLabel[1 * 8 + 1], 255);  // ring: 11 or more cleared
  EXPECT_EQ(s.aubSlotLabel[1 * 8 + 2], 7);    // ring: another slot's label stays
  EXPECT_EQ(s.aubSlotLabel[1 * 8 + 3], 255);  // ring: its own label cleared
  EXPECT_EQ(s.aubSlotLabel[0 * 8 + 3], 2);    // outside the ring
  // A slot rectangle beyond the grid is held to it.
  s.astSlot[2].stRect = Rect(6, 200, 6, 200);
  ClearSlotLabelRing(2, 8, 8);
  EXPECT_EQ(s.aubSlotLabel[7 * 8 + 7], 255);
}

TEST_F(AcquireFixture, StillWeakRegionsInsideASteadySlotBecomeBlockers) {
  Init(8, 8);
  RegionTrackSlot& slot = gstRegionAcquireState.astSlot[0];
  slot.ubFrameCnt = 6;
  slot.stRect = Rect(2, 4, 2, 4);
  std::vector<int16_t> prev(64, 0);
  struct Case {
    uint16_t peak;
    int16_t change;
    uint16_t mask;
  } cases[] = {{100, 50, 1}, {100, 51, 0}, {120, 0, 0}};  // node level 50, second threshold 120
  for (const Case& c : cases) {
    gstRegionAcquireState.uwBlockerMask = 0;
    slot.ubSeedState = 0;
    std::fill(diff_.begin(), diff_.end(), 0);
    diff_[3 * 8 + 3] = 100;
    prev[3 * 8 + 3] = static_cast<int16_t>(100 - c.change);
    RegionAcquireInput in = Input();
    in.pswPrevDiff = prev.data();
    in.ubRegionNum = 1;
    gstMutualRegion.astRect[0] = Rect(1, 3, 1, 3);  // inside the slot grown by one
    gstMutualRegion.auwPeak[0] = c.peak;
    RegionMarkBlockers(in, diff_.data());
    EXPECT_EQ(+gstRegionAcquireState.uwBlockerMask, c.mask) << c.peak << " " << c.change;
    EXPECT_EQ(+slot.ubSeedState, c.mask) << c.peak << " " << c.change;
  }
}

TEST_F(AcquireFixture, AloneRegionsAbsorbStrongUnlabelledNodesOfTheirRectangle) {
  Init(10, 10);
  gstRegionAcquireState.uwMergeLevel = 70;
  memset(gaubRegionLabelMap, kRegionLabelNone, 100);
  RegionAcquireInput in = Input();
  in.ubRegionNum = 3;
  gstMutualRegion.astRect[0] = Rect(0, 2, 0, 2);  // region 2 lies within two nodes of it
  gstMutualRegion.astRect[1] = Rect(6, 8, 6, 8);  // alone
  gstMutualRegion.astRect[2] = Rect(3, 3, 3, 3);
  gstMutualRegion.auwPeak[0] = gstMutualRegion.auwPeak[1] = gstMutualRegion.auwPeak[2] = 300;
  diff_[1 * 10 + 1] = 80;
  diff_[7 * 10 + 7] = 80;
  diff_[6 * 10 + 6] = 69;
  gaubRegionLabelMap[8 * 10 + 8] = 5;
  diff_[8 * 10 + 8] = 90;
  RegionAbsorbNodes(in);
  EXPECT_EQ(Label(1, 1), kRegionLabelNone);
  EXPECT_EQ(Label(7, 7), 1);
  EXPECT_EQ(Label(6, 6), kRegionLabelNone) << "below the merge level";
  EXPECT_EQ(Label(8, 8), 5) << "labelled nodes keep their label";
}

TEST_F(AcquireFixture, SlotUpkeepReleasesEmptySlotsAndCountsSteadyOnes) {
  Init(8, 8);
  RegionAcquireState& s = gstRegionAcquireState;
  s.astSlot[0] = RegionTrackSlot{1, 0, 5, 0, 300, 0, 0, Rect(1, 2, 1, 2), {}, {}, 0, 0, 0, 0};
  s.astSlot[1] = RegionTrackSlot{1, 0, 7, 1, 300, 0, 0, Rect(4, 5, 4, 5), {}, {}, 0, 0, 0, 0};
  s.astSlot[2] = RegionTrackSlot{1, 0, 7, 2, 0, 0, 0, Rect(4, 5, 4, 5), {}, {}, 0, 0, 0, 0};
  RegionSlotUpkeep(8, 8);
  EXPECT_EQ(s.ubSteadySlotNum, 1);
  EXPECT_EQ(+s.astSlot[0].uwLifetime, 0xFFFF);
  EXPECT_EQ(RegionRectWord(s.astSlot[0].stRectCopy1), RegionRectWord(Rect(1, 2, 1, 2)));
  EXPECT_EQ(+s.astSlot[2].ubId, 255);
  EXPECT_EQ(+s.astSlot[2].ubFrameCnt, 0);
  EXPECT_EQ(+s.astSlot[3].ubId, 255);  // inactive: released
}

TEST(RegionDip, RowAndColumnTable) {
  struct Case {
    std::vector<int16_t> line;
    uint8_t row, column;
  } cases[] = {
      {{100, 100, -49, -49, 100, 100}, 0, 0},     // minimum -49: no dip
      {{100, 100, -200, -200, 100, 100}, 1, 1},   // a clear dip in the middle
      {{-200, 100, 100, 100, 100, 100}, 0, 0},    // below the mean only at the first node
      {{100, 100, -60, 40, 100, 100}, 1, 1},      // uneven dip, all below the mean
      {{100, 100, -60, 80, 100, 100}, 0, 0},      // the right flank never falls below the mean
      {{100, 30, -60, 100, -60, 100}, 0, 0},      // a node inside exceeds the mean
  };
  for (const Case& c : cases) {
    const uint8_t n = static_cast<uint8_t>(c.line.size());
    std::vector<int16_t> col(c.line);
    EXPECT_EQ(JudgeRowDip(c.line.data(), n, 1, 0, static_cast<uint8_t>(n - 1), 0), c.row);
    EXPECT_EQ(JudgeColumnDip(col.data(), 0, 0, static_cast<uint8_t>(n - 1), 1, n), c.column);
  }
  const int16_t one[1] = {-300};
  EXPECT_EQ(JudgeRowDip(one, 1, 1, 0, 5, 0), 0);  // a segment past the grid reads nothing
}

TEST(RegionHover, CountRisesToTheCapAndMarksHoverWhileTheFrameStaysStrong) {
  const uint8_t rows = 3, cols = 6;
  std::vector<int16_t> diff(rows * cols, 0);
  diff[0] = diff[cols] = 80;  // two nodes in the first four columns over the leave level 60
  gstCommon.stData.pswDiffData = diff.data();
  gstCommon.ubDrvNum = rows;
  gstCommon.ubSenNum = cols;
  gstCommon.uwMaskThreshold = 60;
  gstCommon.ubHoverInput = 1;
  gstCommon.swDiffMax = 80;
  RegionCommonInit();
  for (int i = 1; i <= 40; ++i) {
    RegionHoverCount();
    EXPECT_EQ(gubEnterHoverCnt, i);
    EXPECT_EQ(gstRegionRoles.ubHoverSeen, 0);
  }
  RegionHoverCount();
  EXPECT_EQ(gubEnterHoverCnt, 41);
  EXPECT_EQ(gstRegionRoles.ubHoverSeen, 1);
  for (int i = 42; i <= 200; ++i) RegionHoverCount();
  EXPECT_EQ(gubEnterHoverCnt, 200);
  RegionHoverCount();
  EXPECT_EQ(gubEnterHoverCnt, 199);
  RegionHoverCount();
  EXPECT_EQ(gubEnterHoverCnt, 200);
  gstCommon.swDiffMax = 50;  // the frame maximum falls below the leave level
  RegionHoverCount();
  EXPECT_EQ(gubEnterHoverCnt, 0);
  EXPECT_EQ(gstRegionRoles.ubHoverSeen, 0);
  gstCommon.ubHoverInput = 0;
  gstCommon.stData.pswDiffData = nullptr;
}

// The module's region record on an 8 x 10 grid of the common record, with regions set by
// the test; the filters read and compact it.
class FilterFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    diff_.assign(8 * 10, 0);
    gstCommon.ubDrvNum = 8;
    gstCommon.ubSenNum = 10;
    gstCommon.stData.pswDiffData = diff_.data();
    RegionCommonInit();
  }
  void TearDown() override {
    gstCommon.stData.pswDiffData = nullptr;
    memset(&gstTestModeCtrCfg, 0, sizeof(gstTestModeCtrCfg));
    memset(&gstCompleteHoleCfg, 0, sizeof(gstCompleteHoleCfg));
    gstCommon.ubLargePocket = 0;
  }
  void Regions(const std::vector<std::pair<RegionRect, uint16_t>>& regions) { regiontest::LoadRegions(regions); }
  std::vector<uint32_t> Kept() const { return regiontest::KeptRegionWords(); }
  std::vector<int16_t> diff_;
};

TEST_F(FilterFixture, LandscapeGripHoldsTheCounterOfItsEdge) {
  // Exempt row 7 (the bottom edge), columns 0-9.
  gstRegionRoles.ubExemptRow = 7;
  gstCommon.ubSenLast = 9;
  auto frame = [&](uint8_t level, const std::vector<std::pair<RegionRect, uint16_t>>& regions) {
    gstEdgeGrip.ubLevel = level;
    Regions(regions);
    LandscapeHandleJudge();
    return std::make_pair(int(gstEdgeGrip.ubHoldA), int(gstEdgeGrip.ubHoldB));
  };
  auto Holds = [](int a, int b) { return std::make_pair(a, b); };
  // Level 1, two bottom regions over 10 columns, 2 rows each: area 2 x 6 + 2 x 4 = 20 < 25.
  gstEdgeGrip = EdgeGripState{1, 5, 5};
  EXPECT_EQ(frame(1, {{Rect(6, 7, 0, 5), 200}, {Rect(6, 7, 6, 9), 200}}), Holds(4, 4))
      << "too small an area lets both run down";
  // Three rows: area 30 over 10 columns holds B.
  EXPECT_EQ(frame(1, {{Rect(5, 7, 0, 5), 200}, {Rect(5, 7, 6, 9), 200}}), Holds(3, 20));
  EXPECT_EQ(frame(1, {{Rect(5, 7, 0, 9), 200}}), Holds(2, 19))
      << "a single region along the edge is no grip";
  // Level 2 with two top regions: A is set while B counts down.
  EXPECT_EQ(frame(2, {{Rect(0, 2, 0, 4), 200}, {Rect(0, 2, 5, 9), 200}}), Holds(20, 18));
  // Level 2 with a narrow top grip (span 9): both count down.
  EXPECT_EQ(frame(2, {{Rect(0, 4, 0, 3), 200}, {Rect(0, 4, 4, 8), 200}}), Holds(19, 17));
  // Portrait, or a skip flag: both cleared.
  EXPECT_EQ(frame(0, {{Rect(0, 2, 0, 4), 200}, {Rect(0, 2, 5, 9), 200}}), Holds(0, 0));
  gstEdgeGrip = EdgeGripState{2, 7, 7};
  gstRegionRoles.aubSkip[1] = 1;
  EXPECT_EQ(frame(2, {{Rect(0, 2, 0, 4), 200}, {Rect(0, 2, 5, 9), 200}}), Holds(0, 0));
  gstRegionRoles.aubSkip[1] = 0;
}

TEST_F(FilterFixture, BarFilterDropsWideThinRegionsOnly) {
  const RegionRect keep1 = Rect(2, 2, 1, 3), drop1 = Rect(4, 4, 1, 4), drop2 = Rect(6, 7, 0, 4), keep2 = Rect(6, 7, 6, 9);
  Regions({{keep1, 300}, {drop1, 300}, {drop2, 300}, {keep2, 300}});
  NfDeleteBarRegion();
  EXPECT_EQ(Kept().size(), 4u) << "the bar-filter flag is off";
  gstRegionRoles.ubBarFilter = 1;
  NfDeleteBarRegion();
  EXPECT_EQ(Kept(), (std::vector<uint32_t>{RegionRectWord(keep1), RegionRectWord(keep2)}));
}

TEST_F(FilterFixture, CameraHoleDropsRegionsInsideAWellFormedHole) {
  const RegionRect inside = Rect(1, 2, 1, 2), across = Rect(2, 4, 2, 3);
  gstCompleteHoleCfg.aubData[1] = 0;
  gstCompleteHoleCfg.aubData[2] = 3;
  gstCompleteHoleCfg.aubData[3] = 0;
  gstCompleteHoleCfg.aubData[4] = 12;  // past the last column: the hole is refused
  gstRegionRoles.ubCameraHoleState = 2;
  Regions({{inside, 300}, {across, 300}});
  DeleteCameraSingleRegion();
  EXPECT_EQ(Kept().size(), 2u);
  gstCompleteHoleCfg.aubData[4] = 3;
  DeleteCameraSingleRegion();
  EXPECT_EQ(Kept(), std::vector<uint32_t>{RegionRectWord(across)});
}

TEST_F(FilterFixture, IncludedRegionsGoAndOfTwoEqualOnesOneStays) {
  const RegionRect outer = Rect(1, 5, 1, 5), inner = Rect(2, 3, 2, 3), other = Rect(6, 7, 7, 9);
  Regions({{inner, 200}, {outer, 300}, {other, 250}, {other, 240}});
  DeleteIncludeRect();
  EXPECT_EQ(Kept(), (std::vector<uint32_t>{RegionRectWord(outer), RegionRectWord(other)}));
  EXPECT_EQ(+gstMutualRegion.auwPeak[1], 240) << "the first of two equal rectangles is dropped";
}

TEST_F(FilterFixture, OneLineRegionsMergeIntoTheirNeighbourButNotOnTheBorder) {
  const RegionRect line = Rect(3, 3, 2, 5), blob = Rect(4, 6, 3, 5), border = Rect(0, 0, 2, 5);
  Regions({{line, 150}, {blob, 300}, {border, 150}});
  EXPECT_EQ(MergeSingleRect(), 2);
  EXPECT_EQ(Kept(), (std::vector<uint32_t>{RegionRectWord(Rect(3, 6, 2, 5)), RegionRectWord(border)}));
  // One empty row between them: no merge (gap 0).
  Regions({{Rect(2, 2, 2, 5), 150}, {blob, 300}});
  EXPECT_EQ(MergeSingleRect(), 2);
  EXPECT_EQ(RectNoConnectJudge(Rect(0, 3, 0, 1), Rect(0, 3, 2, 3), 1), 0);
  EXPECT_EQ(RectNoConnectJudge(Rect(0, 3, 0, 1), Rect(0, 3, 3, 4), 1), 1);
}

TEST_F(FilterFixture, PocketModeStartsAtFiftyOneMidLevelNodesAndRaisesTheLimit) {
  gstTestModeCtrCfg.aubData[1] = 0x04;  // bit 10
  gstTestModeCtrCfg.aubData[2] = 200;
  gstTestModeCtrCfg.aubData[3] = 10;
  gstCommon.ubLargePocket = 1;
  gstCommon.ubTick100ms = 1;
  gstCommon.swDiffMax = 150;
  struct Case {
    int mid;
    uint16_t peak;
    size_t kept;
    uint8_t modeAfter;
  } cases[] = {{50, 240, 1, 0},  {51, 240, 0, 9},  {51, 260, 1, 9},
               {120, 280, 0, 9}, {120, 290, 1, 9}, {151, 295, 0, 9}};
  diff_.assign(16 * 10, 0);
  gstCommon.ubDrvNum = 16;
  gstCommon.stData.pswDiffData = diff_.data();
  for (const Case& c : cases) {
    gubPocketErrorTouchMode = 0;
    std::fill(diff_.begin(), diff_.end(), 0);
    for (int i = 0; i < c.mid; ++i) diff_[i] = static_cast<int16_t>(i % 2 != 0 ? 40 : -40);
    Regions({{Rect(6, 7, 6, 7), c.peak}});
    PocketErrorTouchProc();
    EXPECT_EQ(Kept().size(), c.kept) << c.mid << " " << c.peak;
    EXPECT_EQ(gubPocketErrorTouchMode, c.modeAfter) << c.mid;
  }
  gstCommon.swDiffMax = 200;  // a strong touch ends pocket mode at once
  PocketErrorTouchProc();
  EXPECT_EQ(gubPocketErrorTouchMode, 0);
}

TEST_F(FilterFixture, SingleLineFilterKeepsStrongLinesUnlessANegativeNeighbourLies) {
  const RegionRect col = Rect(2, 5, 4, 4);
  for (int r = 2; r <= 5; ++r) diff_[r * 10 + 4] = 60;  // sum 240
  Regions({{col, 251}});
  DeleteSingleRegion();
  EXPECT_EQ(Kept().size(), 1u) << "peak above 250 keeps it";
  Regions({{col, 250}});
  DeleteSingleRegion();
  EXPECT_EQ(Kept().size(), 0u) << "weaker with a sum below 301";
  diff_[1 * 10 + 5] = -40;  // the row above the grown rectangle
  Regions({{col, 400}});
  DeleteSingleRegion();
  EXPECT_EQ(Kept().size(), 0u);
  Regions({{Rect(0, 3, 4, 4), 100}});
  DeleteSingleRegion();
  EXPECT_EQ(Kept().size(), 1u) << "a line starting on row 0 stays";
}

// The raw-data output record starts with an array address; the filter must not take a byte
// of it for a skip flag, so a weak one-node burst is dropped wherever that array lies.
TEST_F(FilterFixture, SingleLineFilterRunsWhateverTheNormalisationArraysAddress) {
  NormalizeOutputRec* const saved = gstRawdataOutput;
  uint16_t* const savedSv1 = gstNormalizeOutput.puwSv1;
  alignas(256) static uint16_t study[256];
  gstRawdataOutput = &gstNormalizeOutput;
  for (uint16_t* at : {study, study + 1, study + 64, study + 127}) {
    gstNormalizeOutput.puwSv1 = at;
    std::fill(diff_.begin(), diff_.end(), 0);
    diff_[3 * 10 + 4] = 200;  // one node, sum below 301
    Regions({{Rect(3, 3, 4, 4), 200}});
    DeleteSingleRegion();
    EXPECT_EQ(Kept().size(), 0u) << "array at offset " << (at - study);
  }
  gstNormalizeOutput.puwSv1 = savedSv1;
  gstRawdataOutput = saved;
}

TEST_F(FilterFixture, DynamicLevelFollowsTheCommandAndRaisesWithStrongSignal) {
  gstCommon.uwMaskThreshold = 100;
  gstCommon.uwThreshold2 = 120;
  DynamicLevelInit();
  gstCommon.uwMaskThreshold = 45;  // left by a weak-touch frame
  gstCommon.swTouchThreshold = 77;
  gstCommon.swDiffMax = 300;
  struct Case {
    uint8_t enable, boost, highSignal, esd;
    uint16_t touch;
    uint16_t second;
  } cases[] = {
      {0, 1, 0, 0, 100, 120},                      // off: the commanded levels alone
      {1, 0, 0, 0, 100, 120},                      // on, no boost flag
      {1, 1, 0, 0, 100 + (16 * 200 >> 5), 120 + (16 * 120 >> 5)},
      {1, 1, 1, 0, 100 + (16 * 200 >> 5), 120},    // high signal keeps the second level
      {1, 1, 0, 1, 120, 120 + (16 * 120 >> 5)},    // ESD hold: commanded + 20
  };
  gstDynamicLevelCfg.aubData[2] = 16;
  for (const Case& c : cases) {
    gstDynamicLevel = c.enable;
    gstRegionRoles.ubLevelBoost = c.boost;
    gstRegionRoles.ubHighSignal = c.highSignal;
    gstRegionRoles.ubEsdHold = c.esd;
    DynamicLevelProc();
    EXPECT_EQ(+gstCommon.uwMaskThreshold, c.touch) << int(c.enable) << int(c.boost) << int(c.esd);
    EXPECT_EQ(+gstCommon.swTouchThreshold, 77) << "the diff stages' touch threshold is not the level in force";
    EXPECT_EQ(+gstCommon.uwSecondThreshold, c.second) << int(c.enable) << int(c.boost) << int(c.esd);
  }
  gstDynamicLevel = 0;
  memset(&gstDynamicLevelCfg, 0, sizeof(gstDynamicLevelCfg));
  memset(&gstRegionRoles, 0, sizeof(gstRegionRoles));
}

TEST_F(FilterFixture, GloveEvidenceCountsUpToTenAndMarksASingleTouchThatMoved) {
  gstThpAfeMoudleCfg.uiAfeWord = 1u << 28;
  gubTouchMode = 1;
  gubGloveSat = 0;
  gubGloveShakeCnt = 0;
  gunGloveRect = kRegionRectNone;
  for (int r = 1; r <= 2; ++r)
    for (int c = 1; c <= 2; ++c) diff_[r * 10 + c] = 80;
  for (int r = 5; r <= 6; ++r)
    for (int c = 6; c <= 7; ++c) diff_[r * 10 + c] = 80;
  auto two = [&]() {
    Regions({{Rect(1, 2, 1, 2), 80}, {Rect(5, 6, 6, 7), 80}});
    gstMutualRegion.auwWaterValue[0] = gstMutualRegion.auwWaterValue[1] = 4;
  };
  for (int i = 1; i <= 12; ++i) {
    two();
    GloveTouchDetect();
    EXPECT_EQ(gubGloveShakeCnt, i < 10 ? i : 10);
  }
  EXPECT_EQ(gubGloveSat, 2);
  EXPECT_EQ(gunGloveRect, kRegionRectNone) << "two regions leave the glove rectangle alone";
  // One region: its rectangle is remembered; six rows further on, bit 0 is set.
  auto one = [&](uint8_t r0) {
    std::fill(diff_.begin(), diff_.end(), 0);
    for (int r = r0; r <= r0 + 1; ++r)
      for (int c = 1; c <= 2; ++c) diff_[r * 10 + c] = 80;
    Regions({{Rect(r0, static_cast<uint8_t>(r0 + 1), 1, 2), 80}});
    gstMutualRegion.auwWaterValue[0] = 4;
    GloveTouchDetect();
  };
  one(0);
  EXPECT_EQ(gunGloveRect, RegionRectWord(Rect(0, 1, 1, 2)));
  one(5);  // centre row 5 against 0: not yet
  EXPECT_EQ(gubGloveSat, 2);
  one(6);
  EXPECT_EQ(gubGloveSat, 3);
  // No evidence: the count falls by one a frame, bit 1 goes with it.
  Regions({});
  GloveTouchDetect();
  EXPECT_EQ(gubGloveShakeCnt, 9);
  EXPECT_EQ(gubGloveSat & 2, 2);
  gubGloveShakeCnt = 1;
  GloveTouchDetect();
  EXPECT_EQ(gubGloveSat & 2, 0);
  gstThpAfeMoudleCfg.uiAfeWord = 0;
  gubTouchMode = 2;
}

}  // namespace
