// Track-slot rectangle operations and the two-region split on small hand-made maps.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "coord_records.h"
#include "region.h"
#include "region_proc.h"

namespace {

// The angle tables hold 1024 x sin and 1024 x cos of whole degrees, cut toward zero, with
// the exact values at 30, 60, 120 and 150 degrees kept exact and sine 90 held at 1023.
TEST(RegionTrigTables, EntriesAreTheCutScaledValues) {
  struct Case {
    int d;
    int16_t sin, cos;
  } cases[] = {{0, 0, 1024},     {1, 17, 1023},   {30, 512, 886},   {45, 724, 724},  {60, 886, 512},
               {89, 1023, 17},   {90, 1023, 0},   {120, 886, -512}, {150, 512, -886}, {179, 17, -1023}};
  for (const Case& c : cases) {
    EXPECT_EQ(RegionSinTable[c.d], c.sin) << c.d;
    EXPECT_EQ(RegionCosTable[c.d], c.cos) << c.d;
  }
}

RegionRect Rect(uint8_t r0, uint8_t r1, uint8_t c0, uint8_t c1) { return RegionRect{r0, r1, c0, c1}; }
uint32_t W(RegionRect r) { return RegionRectWord(r); }

// A ROWS x COLS diff map, the module's region record and a clean acquisition state.
class SlotOpsFixture : public ::testing::Test {
 protected:
  void Init(uint8_t rows, uint8_t cols) {
    rows_ = rows;
    cols_ = cols;
    diff_.assign(static_cast<size_t>(rows) * cols, 0);
    work_.assign(kRegionSavedDiffAt + 2 * kRegionMaxNodes, 0);
    RegionAcquireInit(work_.data());
    memset(&gstMutualRegion, 0, sizeof(gstMutualRegion));
    memset(&in_, 0, sizeof(in_));
    in_.ubRowNum = rows;
    in_.ubColNum = cols;
    in_.pswDiff = diff_.data();
    in_.pstRect = gstMutualRegion.astRect;
    in_.puwPeak = gstMutualRegion.auwPeak;
    in_.puwPeakPos = gstMutualRegion.auwPeakPos;
  }
  int16_t& D(int r, int c) { return diff_[static_cast<size_t>(r) * cols_ + c]; }
  uint8_t& SlotLabel(int r, int c) { return gstRegionAcquireState.aubSlotLabel[r * cols_ + c]; }
  void Region(uint8_t i, RegionRect r, uint16_t peak) {
    gstMutualRegion.astRect[i] = r;
    gstMutualRegion.auwPeak[i] = peak;
  }

  uint8_t rows_ = 0, cols_ = 0;
  std::vector<int16_t> diff_;
  std::vector<uint8_t> work_;
  RegionAcquireInput in_{};
};

TEST_F(SlotOpsFixture, BorderMaxCountsMovedSidesAndStopsAtAnotherSlot) {
  Init(8, 8);
  // Grown slot rectangle {1,5,1,5}: top side holds 40, bottom 90, left 60, right 20.
  for (int c = 2; c <= 4; ++c) {
    D(1, c) = 40;
    D(5, c) = 90;
  }
  for (int r = 2; r <= 4; ++r) {
    D(r, 1) = 60;
    D(r, 5) = 20;
  }
  const RegionRect E = Rect(1, 5, 1, 5);
  struct Case {
    const char* name;
    RegionRect P;
    int foreignR, foreignC;  // -1 = none; a node of slot 7 (own slot is 3)
    int ownR, ownC;
    int16_t result;
  } cases[] = {
      {"E equal to P: all four sides count", E, -1, -1, -1, -1, 90},
      {"bottom side did not move", Rect(1, 5, 2, 4), -1, -1, -1, -1, 60},
      {"only the right side moved", Rect(1, 5, 1, 4), -1, -1, -1, -1, 20},
      {"only the top side moved", Rect(2, 5, 1, 5), -1, -1, -1, -1, 40},
      {"another slot on the top side", E, 1, 3, -1, -1, 1000},
      {"another slot on the right side", Rect(2, 4, 2, 4), 3, 5, -1, -1, 1000},
      {"the own slot on a side is no obstacle", E, -1, -1, 1, 3, 90},
  };
  for (const Case& k : cases) {
    memset(gstRegionAcquireState.aubSlotLabel, kRegionLabelNone, sizeof(gstRegionAcquireState.aubSlotLabel));
    if (k.foreignR >= 0) SlotLabel(k.foreignR, k.foreignC) = 7;
    if (k.ownR >= 0) SlotLabel(k.ownR, k.ownC) = 3;
    EXPECT_EQ(CalcRectBorderMax(diff_.data(), cols_, rows_, E, nullptr, k.P, E, 3), k.result) << k.name;
  }
  // All-negative sides give 0, not the floor value.
  std::fill(diff_.begin(), diff_.end(), -20);
  memset(gstRegionAcquireState.aubSlotLabel, kRegionLabelNone, sizeof(gstRegionAcquireState.aubSlotLabel));
  int16_t sides[4];
  EXPECT_EQ(CalcRectBorderMax(diff_.data(), cols_, rows_, E, sides, E, E, 3), 0);
  EXPECT_EQ(sides[0], -20);
  // A grown rectangle hanging over the grid edge reads nothing beyond it.
  EXPECT_EQ(CalcRectBorderMax(diff_.data(), cols_, rows_, Rect(6, 9, 6, 9), nullptr, Rect(6, 9, 6, 9),
                              Rect(6, 9, 6, 9), 3),
            0);
}

TEST_F(SlotOpsFixture, ExtensionReachesTheOutermostStrongLineUnlessARegionBlocks) {
  Init(10, 10);
  gstRegionAcquireState.uwNodeLevel = 50;
  const RegionRect A = Rect(4, 5, 4, 5);
  const RegionRect B = Rect(1, 8, 1, 8);
  // Strong nodes beside A: row 2 (col 4), row 7 (col 5), col 2 (row 5), col 8 (row 4).
  D(2, 4) = 60;
  D(3, 4) = 60;
  D(7, 5) = 55;
  D(5, 2) = 50;
  D(4, 8) = 49;  // just under the level
  Region(0, A, 200);
  EXPECT_EQ(W(ExtendRectToLevel(in_, A, A)), W(A));
  EXPECT_EQ(W(ExtendRectToLevel(in_, A, B)), W(Rect(2, 7, 2, 5)));
  // A live region on row 3 across A's columns stops the top side, though a strong row lies
  // beyond it; the others still move.
  Region(1, Rect(3, 3, 5, 6), 120);
  EXPECT_EQ(W(ExtendRectToLevel(in_, A, B)), W(Rect(4, 7, 2, 5)));
  // ... unless it is marked as a still region that never blocks.
  gstRegionAcquireState.uwBlockerMask = 1u << 1;
  EXPECT_EQ(W(ExtendRectToLevel(in_, A, B)), W(Rect(2, 7, 2, 5)));
  gstRegionAcquireState.uwBlockerMask = 0;
  // A region whose rectangle is B itself never blocks.
  Region(1, B, 120);
  EXPECT_EQ(W(ExtendRectToLevel(in_, A, B)), W(Rect(2, 7, 2, 5)));
  // In a floating frame a line that a region occupies needs only half the level: column 8
  // lies in B's columns, so 49 >= 25 now counts.
  in_.ubFloatFlag = 1;
  EXPECT_EQ(W(ExtendRectToLevel(in_, A, B)), W(Rect(2, 7, 2, 8)));
}

TEST_F(SlotOpsFixture, ReplacingASlotRectangleMovesOnlyTheFirstMatchingRegion) {
  Init(8, 8);
  RegionTrackSlot& slot = gstRegionAcquireState.astSlot[4];
  slot.stRect = Rect(1, 2, 1, 2);
  slot.ubSeedState = 1;
  Region(0, Rect(1, 2, 1, 2), 0);  // empty entry: never matched
  Region(1, Rect(1, 2, 1, 2), 90);
  Region(2, Rect(1, 2, 1, 2), 80);
  const RegionRect N = Rect(1, 3, 1, 3);
  ReplaceSlotRect(in_, 4, N);
  EXPECT_EQ(W(slot.stRect), W(N));
  EXPECT_EQ(W(slot.stRectCopy1), W(N));
  EXPECT_EQ(W(slot.stRectCopy2), W(N));
  EXPECT_EQ(slot.ubSeedState, 0);
  EXPECT_EQ(W(gstMutualRegion.astRect[0]), W(Rect(1, 2, 1, 2)));
  EXPECT_EQ(W(gstMutualRegion.astRect[1]), W(N));
  EXPECT_EQ(W(gstMutualRegion.astRect[2]), W(Rect(1, 2, 1, 2)));
  ReplaceSlotRect(in_, 12, Rect(0, 0, 0, 0));  // no such slot: nothing changes
  EXPECT_EQ(W(gstMutualRegion.astRect[1]), W(N));
}

TEST_F(SlotOpsFixture, OverlapIgnoresItselfAndEmptyEntries) {
  Init(8, 8);
  Region(0, Rect(0, 2, 0, 2), 100);
  Region(1, Rect(4, 5, 4, 5), 0);
  Region(2, Rect(6, 7, 6, 7), 100);
  EXPECT_EQ(JudgeRectOverlapOthers(in_, 0, Rect(0, 1, 0, 1)), 0);  // only itself
  EXPECT_EQ(JudgeRectOverlapOthers(in_, 0, Rect(4, 5, 4, 5)), 0);  // only an empty entry
  EXPECT_EQ(JudgeRectOverlapOthers(in_, 0, Rect(5, 6, 5, 6)), 1);  // corner of region 2
  EXPECT_EQ(JudgeRectOverlapOthers(in_, 2, Rect(2, 6, 2, 6)), 1);
}

TEST_F(SlotOpsFixture, RingCrossingsAroundANode) {
  Init(6, 6);
  // Ring order from the top-left neighbour, clockwise; '1' = labelled.
  struct Case {
    const char* ring;
    int32_t crossings;
  } cases[] = {
      {"11111111", 0}, {"00000000", 0}, {"10000000", -1}, {"00010000", -1}, {"10001000", 2},
      {"11100000", 1}, {"11000000", 1}, {"10101010", 4},  {"11101110", 2},
  };
  static const int kOff[8][2] = {{-1, -1}, {-1, 0}, {-1, 1}, {0, 1}, {1, 1}, {1, 0}, {1, -1}, {0, -1}};
  for (const Case& k : cases) {
    memset(gstRegionAcquireState.aubSlotLabel, kRegionLabelNone, sizeof(gstRegionAcquireState.aubSlotLabel));
    for (int i = 0; i < 8; ++i) {
      if (k.ring[i] == '1') SlotLabel(2 + kOff[i][0], 3 + kOff[i][1]) = 5;
    }
    SlotLabel(2, 3) = 5;  // the node's own label does not count
    EXPECT_EQ(CalcLabelRingCross(cols_, rows_, 2, 3), k.crossings) << k.ring;
  }
  // Border nodes: neighbours beyond the grid are open space, never the bytes of the
  // previous row or of the fields before the map.
  memset(gstRegionAcquireState.aubSlotLabel, 0, sizeof(gstRegionAcquireState.aubSlotLabel));
  EXPECT_EQ(CalcLabelRingCross(cols_, rows_, 0, 0), 1);  // three labelled in-grid neighbours
  EXPECT_EQ(CalcLabelRingCross(cols_, rows_, 0, 3), 1);
  EXPECT_EQ(CalcLabelRingCross(cols_, rows_, 2, 5), 1);  // the next row's first node is not a neighbour
  memset(gstRegionAcquireState.aubSlotLabel, kRegionLabelNone, sizeof(gstRegionAcquireState.aubSlotLabel));
  SlotLabel(1, 0) = 2;
  EXPECT_EQ(CalcLabelRingCross(cols_, rows_, 0, 0), -1);
}

TEST_F(SlotOpsFixture, CleanUpSidesGrowOverFallingNodesButNotIntoOtherRegions) {
  Init(8, 8);
  gstRegionAcquireState.uwMergeLevel = 60;
  std::vector<uint8_t> labels(kRegionMaxNodes, kRegionLabelNone);
  in_.pubLabelMap = labels.data();
  auto lab = [&](int r, int c) -> uint8_t& { return labels[r * 8 + c]; };
  // Region 0: 2 by 2 of 200. Above it a falling row of 100, then a rising row of 150.
  for (int r = 3; r <= 4; ++r) {
    for (int c = 3; c <= 4; ++c) {
      D(r, c) = 200;
      lab(r, c) = 0;
    }
  }
  for (int c = 3; c <= 4; ++c) {
    D(2, c) = 100;
    D(1, c) = 150;
    D(5, c) = 40;  // below the merge level
  }
  // Left: a node of region 2 on the outside line. Right: region 1's rectangle covers the
  // column beyond the side, though its labelled nodes start one further out.
  D(3, 2) = 90;
  D(4, 2) = 90;
  lab(4, 2) = 2;
  D(3, 5) = 90;
  D(4, 5) = 90;
  for (int r = 3; r <= 4; ++r) {
    for (int c = 6; c <= 7; ++c) lab(r, c) = 1;
  }
  Region(0, Rect(3, 4, 3, 4), 200);
  gstMutualRegion.auwPeakPos[0] = 0x0303;
  Region(1, Rect(3, 4, 5, 7), 120);
  gstMutualRegion.auwPeakPos[1] = 0x0306;
  Region(2, Rect(4, 4, 1, 2), 90);
  gstMutualRegion.auwPeakPos[2] = 0x0402;
  in_.ubRegionNum = 3;
  struct Case {
    const char* name;
    uint16_t blockers;
    uint8_t slotFrames;  // a slot holding region 0's rectangle
    RegionRect want;
  } cases[] = {
      {"top grows one row, right is blocked by region 1", 0, 0, Rect(2, 4, 3, 4)},
      {"region 1 in the blocker mask does not block", 1u << 1, 0, Rect(2, 4, 3, 5)},
      {"a rectangle a slot holds does not grow", 0, 1, Rect(3, 4, 3, 4)},
  };
  const std::vector<uint8_t> base = labels;
  for (const Case& k : cases) {
    labels = base;
    in_.pubLabelMap = labels.data();
    gstMutualRegion.astRect[0] = Rect(3, 4, 3, 4);
    gstRegionAcquireState.uwBlockerMask = k.blockers;
    gstRegionAcquireState.astSlot[0].ubFrameCnt = k.slotFrames;
    gstRegionAcquireState.astSlot[0].stRect = Rect(3, 4, 3, 4);
    RegionGrowSides(in_);
    EXPECT_EQ(W(gstMutualRegion.astRect[0]), W(k.want)) << k.name;
    const bool grewTop = k.want.ubRowStart == 2;
    EXPECT_EQ(lab(2, 3), grewTop ? 0 : kRegionLabelNone) << k.name;
    EXPECT_EQ(lab(1, 3), kRegionLabelNone) << k.name;  // rising row stays out
    EXPECT_EQ(lab(3, 2), kRegionLabelNone) << k.name;  // left line holds another region
    EXPECT_EQ(lab(3, 5), k.want.ubColEnd == 5 ? 0 : kRegionLabelNone) << k.name;
    EXPECT_EQ(W(gstMutualRegion.astRect[1]), W(Rect(3, 4, 5, 7))) << k.name;
  }
}

TEST_F(SlotOpsFixture, StillMergedRegionSplitsIntoThePairingsLastRectangles) {
  Init(8, 12);
  std::vector<uint8_t> labels(kRegionMaxNodes, kRegionLabelNone);
  std::vector<int16_t> prev;
  memset(&gstCoordPair, 0, sizeof(gstCoordPair));
  in_.pvCoordPair = &gstCoordPair;
  in_.uwTouchThreshold = 100;
  in_.uwSecondThreshold = 120;
  // Two fingers on row 3 joined by a bridge of 100: one region {2,4,1,8}.
  auto build = [&] {
    std::fill(diff_.begin(), diff_.end(), 0);
    std::fill(labels.begin(), labels.end(), kRegionLabelNone);
    for (int c = 1; c <= 8; ++c) D(3, c) = 100;
    D(3, 2) = 300;
    D(3, 7) = 280;
    for (int c = 1; c <= 8; ++c) labels[3 * 12 + c] = 0;
    prev = diff_;
    memset(&gstMutualRegion, 0, sizeof(gstMutualRegion));
    Region(0, Rect(2, 4, 1, 8), 300);
    gstMutualRegion.auwPeakPos[0] = 0x0302;
    in_.ubRegionNum = 1;
    in_.ubFloatFlag = 0;
    in_.pubLabelMap = labels.data();
    in_.pswPrevDiff = prev.data();
    for (int k = 0; k < kCoordPointMax; ++k) gstCoordPair.astLastRect[k] = RegionRectFromWord(kRegionRectNone);
    memset(gstCoordPair.auwLastRectMaxDiff, 0, sizeof(gstCoordPair.auwLastRectMaxDiff));
    memset(gstCoordPair.aubLeaveTouchTimer, 0, sizeof(gstCoordPair.aubLeaveTouchTimer));
    gstCoordPair.astLastRect[0] = Rect(2, 4, 1, 3);
    gstCoordPair.auwLastRectMaxDiff[0] = 300;
    gstCoordPair.astLastRect[1] = Rect(2, 4, 6, 8);
    gstCoordPair.auwLastRectMaxDiff[1] = 280;
  };
  struct Case {
    const char* name;
    std::function<void()> tweak;
    RegionRect rect0, rect1;
    uint16_t peak1;
    uint8_t label37;  // label of the second finger's peak node afterwards
  } cases[] = {
      {"two slots, still: split into their rectangles", [] {}, Rect(2, 4, 1, 3), Rect(2, 4, 6, 8), 280, 1},
      {"a node moved by more than the touch threshold", [&] { prev[3 * 12 + 4] = 250; }, Rect(2, 4, 1, 8),
       Rect(0, 0, 0, 0), 0, 0},
      {"each node still, sums apart by 400",
       [&] {
         for (int c = 1; c <= 8; ++c) prev[3 * 12 + c] += 50;
       },
       Rect(2, 4, 1, 8), Rect(0, 0, 0, 0), 0, 0},
      {"sums apart by 350 still split",
       [&] {
         for (int c = 1; c <= 7; ++c) prev[3 * 12 + c] += 50;
       },
       Rect(2, 4, 1, 3), Rect(2, 4, 6, 8), 280, 1},
      {"one clearly smaller slot: split into it and the rest", [] { gstCoordPair.auwLastRectMaxDiff[1] = 0; },
       Rect(2, 4, 1, 3), Rect(2, 4, 3, 8), 280, 1},
      {"a leaving slot does not count", [] { gstCoordPair.aubLeaveTouchTimer[1] = 0x10; }, Rect(2, 4, 1, 3),
       Rect(2, 4, 3, 8), 280, 1},
      {"one slot in a floating frame: no split",
       [&] {
         gstCoordPair.auwLastRectMaxDiff[1] = 0;
         in_.ubFloatFlag = 1;
       },
       Rect(2, 4, 1, 8), Rect(0, 0, 0, 0), 0, 0},
      {"second finger below the second threshold: its part keeps no peak",
       [&] {
         D(3, 7) = 110;
         prev[3 * 12 + 7] = 110;
       },
       Rect(2, 4, 1, 3), Rect(2, 4, 6, 8), 0, 1},
  };
  for (const Case& k : cases) {
    build();
    k.tweak();
    RegionSplitMerged(in_, diff_.data());
    EXPECT_EQ(W(gstMutualRegion.astRect[0]), W(k.rect0)) << k.name;
    EXPECT_EQ(W(gstMutualRegion.astRect[1]), W(k.rect1)) << k.name;
    EXPECT_EQ(gstMutualRegion.auwPeak[0], 300) << k.name;
    EXPECT_EQ(gstMutualRegion.auwPeak[1], k.peak1) << k.name;
    if (k.peak1 != 0) {
      EXPECT_EQ(gstMutualRegion.auwPeakPos[1], 0x0307) << k.name;
    }
    EXPECT_EQ(labels[3 * 12 + 7], k.label37) << k.name;
    EXPECT_EQ(labels[3 * 12 + 2], 0) << k.name;
  }
}

// ---- Split ----------------------------------------------------------------------------

TEST(RegionSplitTables, CosineAndSineOfWholeDegrees) {
  struct Case {
    int deg;
    int16_t cos, sin;
  } cases[] = {{0, 1024, 0}, {45, 724, 724}, {90, 0, 1023}, {135, -724, 724}, {179, -1023, 17}};
  for (const Case& k : cases) {
    EXPECT_EQ(RegionCosTable[k.deg], k.cos) << k.deg;
    EXPECT_EQ(RegionSinTable[k.deg], k.sin) << k.deg;
  }
}

TEST_F(SlotOpsFixture, ShiftedRectanglesLeanTowardStrongSidesAndShaveWeakCorners) {
  Init(8, 8);
  RegionRect out{};
  // Point (X, Y) = centre of node (3, 3) = (224, 224).
  struct Case {
    const char* name;
    int16_t X;
    uint16_t Y;
    int32_t dx, dy;
    std::vector<std::pair<int, int>> strong;  // nodes set to 300
    RegionRect want;
  } cases[] = {
      {"three by three, all weak: every corner goes, start past end", 224, 224, 128, 128, {}, Rect(5, 3, 5, 3)},
      {"three by three, strong bottom right: top left shaved to 2 by 2",
       224,
       224,
       128,
       128,
       {{4, 4}, {4, 5}, {5, 4}, {5, 5}},
       Rect(4, 5, 4, 5)},
      {"one column, stronger left side widens left", 224, 224, 0, 128, {{3, 2}, {4, 2}}, Rect(3, 5, 2, 3)},
      {"one column, stronger right side widens right", 224, 224, 0, 128, {{4, 4}}, Rect(3, 5, 3, 4)},
      {"one row, stronger row below", 224, 224, 128, 0, {{4, 4}}, Rect(3, 4, 3, 5)},
      {"displaced beyond the grid: held to the last node", 224, 224, 4000, -4000, {}, Rect(0, 3, 3, 7)},
      {"start point beyond the grid is held too", 9000, 60000, -64, 0, {}, Rect(7, 7, 6, 7)},
  };
  for (const Case& k : cases) {
    std::fill(diff_.begin(), diff_.end(), 0);
    for (auto [r, c] : k.strong) D(r, c) = 300;
    CalcShiftedRect(cols_, rows_, diff_.data(), k.X, k.Y, k.dx, k.dy, &out);
    EXPECT_EQ(W(out), W(k.want)) << k.name;
  }
}

class SplitFixture : public SlotOpsFixture {
 protected:
  void SetUp() override {
    Init(8, 12);
    labels_.assign(kRegionMaxNodes, 0);
    RegionTwoPeakAngle = 0;
    RegionTwoPeakLastAngle = 400;
    RegionTwoPeakSpan = 6;  // three nodes each way
  }
  std::vector<uint8_t> labels_;
};

TEST_F(SplitFixture, TwoFingersAlongARowBecomeTwoRegions) {
  D(3, 3) = 300;
  D(3, 8) = 250;
  uint8_t count = 0;
  RegionSplitByAngle(&count, in_, labels_.data(), Rect(2, 4, 2, 9));
  ASSERT_EQ(count, 2);
  // Weights 285 + 235 - 22 x 15 = 190; centre column 4.84, row 3.
  EXPECT_EQ(gstFingerUpFilter.auwWeight[0], 191);
  // No earlier judgement (400): the first part lies on the negative side.
  EXPECT_EQ(W(gstMutualRegion.astRect[0]), W(Rect(3, 3, 2, 5)));
  EXPECT_EQ(W(gstMutualRegion.astRect[1]), W(Rect(3, 3, 5, 8)));
  EXPECT_EQ(gstMutualRegion.auwPeak[0], 300);
  EXPECT_EQ(gstMutualRegion.auwPeak[1], 250);
  EXPECT_EQ(gstMutualRegion.auwPeakPos[0], 0x0303);
  EXPECT_EQ(gstMutualRegion.auwPeakPos[1], 0x0308);
  EXPECT_EQ(labels_[3 * 12 + 3], 0);
  EXPECT_EQ(labels_[3 * 12 + 8], 1);
  EXPECT_EQ(labels_[3 * 12 + 4], kRegionLabelNone);  // below 51
  // An earlier judgement at a close angle puts the first part on the positive side.
  RegionTwoPeakLastAngle = 10;
  RegionSplitByAngle(&count, in_, labels_.data(), Rect(2, 4, 2, 9));
  EXPECT_EQ(W(gstMutualRegion.astRect[0]), W(Rect(3, 3, 5, 8)));
  EXPECT_EQ(gstMutualRegion.auwPeak[0], 250);
  EXPECT_EQ(labels_[3 * 12 + 8], 0);
  EXPECT_EQ(labels_[3 * 12 + 3], 1);
}

TEST_F(SplitFixture, WeakNodesPullingTheCentreNegativeKeepItInsideTheRegion) {
  // Fingers on the top row of a tall rectangle of empty nodes: the row sum of the weights
  // is negative. Divided as unsigned it would land the centre rows away from the fingers.
  D(0, 3) = 600;
  D(0, 8) = 500;
  uint8_t count = 0;
  RegionSplitByAngle(&count, in_, labels_.data(), Rect(0, 4, 2, 9));
  ASSERT_EQ(count, 2);
  EXPECT_EQ(gstFingerUpFilter.auwWeight[0], 501);
  EXPECT_EQ(W(gstMutualRegion.astRect[0]), W(Rect(0, 0, 2, 5)));
  EXPECT_EQ(W(gstMutualRegion.astRect[1]), W(Rect(0, 0, 5, 8)));
  EXPECT_EQ(gstMutualRegion.auwPeak[0], 600);
  EXPECT_EQ(gstMutualRegion.auwPeak[1], 500);
}

TEST_F(SplitFixture, NoNetWeightUsesTheMiddleAndRecordsWeightOne) {
  // All nodes at or below 15: nothing pulls, the middle of R stands for the centre.
  uint8_t count = 0;
  RegionSplitByAngle(&count, in_, labels_.data(), Rect(2, 4, 4, 6));
  ASSERT_EQ(count, 2);
  EXPECT_EQ(gstFingerUpFilter.auwWeight[0], 1);
  EXPECT_EQ(W(gstMutualRegion.astRect[0]), W(Rect(3, 3, 2, 5)));
  EXPECT_EQ(W(gstMutualRegion.astRect[1]), W(Rect(3, 3, 5, 8)));
  EXPECT_EQ(gstMutualRegion.auwPeak[0], 0);
  EXPECT_EQ(gstMutualRegion.auwPeak[1], 0);
  for (size_t i = 0; i < 8 * 12; ++i) EXPECT_EQ(labels_[i], kRegionLabelNone) << i;
}

// ---- Diagonal finger pair --------------------------------------------------------------

TEST(RegionDiagonalPair, CornerNodesAndPairFlags) {
  constexpr uint8_t kRows = 10, kCols = 10;
  struct Node {
    int r, c;
    int16_t v;
  };
  struct Case {
    const char* name;
    RegionRect rect;
    uint16_t angle;
    bool f1, f2, f3;
    uint8_t f4;
    uint16_t peak, strong;
    std::vector<Node> nodes;
    bool result;
    int flag;  // -1: left untouched
  } cases[] = {
      {"three columns wide", Rect(2, 5, 3, 5), 45, true, false, false, 1, 300, 0, {{1, 3, 50}, {1, 4, 50}}, false, -1},
      {"five columns wide", Rect(2, 5, 3, 7), 45, true, false, false, 1, 300, 0, {{1, 3, 50}, {1, 4, 50}}, false, -1},
      {"angle above 180", Rect(2, 5, 3, 6), 181, true, false, false, 1, 300, 0, {{1, 3, 50}, {1, 4, 50}}, false, -1},
      {"two corner nodes at 90 degrees", Rect(2, 5, 3, 6), 90, true, false, false, 1, 300, 0, {{1, 3, 50}, {1, 4, 50}},
       true, 0},
      {"the same nodes at 91 degrees are the wrong corner", Rect(2, 5, 3, 6), 91, true, false, false, 1, 300, 0,
       {{1, 3, 50}, {1, 4, 50}}, false, 0},
      {"mirrored corner at 91 degrees", Rect(2, 5, 3, 6), 91, true, false, false, 1, 300, 0, {{1, 6, 50}, {2, 7, 50}},
       true, 0},
      {"one corner node is not enough", Rect(2, 5, 3, 6), 45, true, false, false, 1, 300, 0, {{1, 3, 50}}, false, 0},
      {"corner nodes count only with X or Y", Rect(2, 5, 3, 6), 45, true, false, false, 0, 300, 0,
       {{1, 3, 50}, {1, 4, 50}}, false, 0},
      {"three rows high with f1 and f3: corners do not count", Rect(2, 4, 3, 6), 45, true, true, true, 1, 300, 0,
       {{1, 3, 50}, {1, 4, 50}}, false, 0},
      {"strong-count of 10 with f1, f3, not f2", Rect(2, 5, 3, 6), 45, true, false, true, 0, 300, 10, {}, true, 0},
      {"four rows: inner diagonal above 150", Rect(2, 5, 3, 6), 45, true, false, true, 0, 400, 0,
       {{3, 5, 180}, {4, 4, 180}}, true, 0},
      {"four rows: a peak over 400 asks for 200", Rect(2, 5, 3, 6), 45, true, false, true, 0, 401, 0,
       {{3, 5, 180}, {4, 4, 180}}, false, 0},
      {"five rows with Y: middle node above 140", Rect(2, 6, 3, 6), 45, false, true, true, 0, 300, 0, {{4, 5, 141}},
       true, 0},
      {"five rows with X: far inner node at 141", Rect(2, 6, 3, 6), 45, true, false, false, 1, 300, 0, {{3, 5, 141}},
       true, 0},
      {"five rows with X: near inner node at 201", Rect(2, 6, 3, 6), 45, true, false, false, 1, 300, 0, {{4, 4, 201}},
       true, 0},
      {"five rows with X: ... unless the far side is strong", Rect(2, 6, 3, 6), 45, true, false, false, 1, 300, 0,
       {{4, 4, 201}, {5, 4, 40}}, false, 0},
      {"strong block in the flagged corner", Rect(2, 5, 3, 6), 45, true, false, false, 1, 300, 0,
       {{2, 3, 101}, {2, 4, 101}, {3, 3, 101}, {3, 4, 101}}, false, 1},
      {"strong block in the mirrored corner", Rect(2, 5, 3, 6), 135, true, false, false, 1, 300, 0,
       {{2, 6, 101}, {2, 5, 101}, {3, 6, 101}, {3, 5, 101}}, false, 1},
      {"rectangle on the grid corner reads nothing beyond the grid", Rect(0, 3, 0, 3), 45, true, false, false, 1, 300, 0,
       {{4, 3, 50}, {3, 4, 50}}, true, 0},
      {"mirrored on the far grid edge", Rect(6, 9, 6, 9), 135, true, false, false, 1, 300, 0, {{5, 9, 50}, {5, 8, 50}},
       true, 0},
  };
  for (const Case& k : cases) {
    std::vector<int16_t> diff(kRows * kCols, 0);
    for (const Node& n : k.nodes) diff[n.r * kCols + n.c] = n.v;
    RegionTwoPeakStrongCount = k.strong;
    bool flag = true;
    EXPECT_EQ(JudgeDiagonalPair(kCols, kRows, diff.data(), k.peak, k.rect, k.angle, k.f1, k.f2, k.f3, k.f4, &flag),
              k.result)
        << k.name;
    if (k.flag < 0) {
      EXPECT_TRUE(flag) << k.name;
    } else {
      EXPECT_EQ(flag, k.flag == 1) << k.name;
    }
  }
  RegionTwoPeakStrongCount = 0;
}

}  // namespace
