// The water judges, the water-point removal and the rectangle statistics, against water
// unions and slot tracks set up by hand.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "coord.h"
#include "coord_pair.h"
#include "region.h"
#include "region_water.h"

namespace {

RegionRect Rect(uint8_t r0, uint8_t r1, uint8_t c0, uint8_t c1) { return RegionRect{r0, r1, c0, c1}; }

class WaterJudge : public ::testing::Test {
 protected:
  void SetUp() override {
    WaterInit(nullptr);
  }
  // A confirmed, wet, steady union over rows 2-6, columns 3-8 with a trusted centre and a
  // strong extent of 4 x 3; tests then break one thing at a time.
  static WaterUnion& Union(uint8_t i, RegionRect r = Rect(2, 6, 3, 8)) {
    WaterUnion& u = gstWaterState.astUnion[i];
    u.label = static_cast<uint8_t>(i + 1);
    u.slot = 0;
    u.confirmMark = 1;
    u.wetMark = 1;
    u.steadyFlag = 1;
    u.rect = r;
    u.posSum = 400;
    u.negSum = -10;
    u.strongCount = 18;
    u.nodeCount = 20;
    u.lastY = static_cast<uint16_t>(4 * ((r.ubRowStart + r.ubRowEnd) / 2));
    u.lastX = static_cast<uint16_t>(4 * ((r.ubColStart + r.ubColEnd) / 2));
    u.strongWidth = 4;
    u.strongHeight = 3;
    return u;
  }
};

TEST_F(WaterJudge, DropWetFingerScoresTheFirstUnionThatHoldsTheRectangle) {
  struct Case {
    const char* what;
    void (*setup)(WaterUnion&);
    uint8_t mode;
    uint8_t want;
  };
  const Case cases[] = {
      {"trusted union: the larger strong extent", [](WaterUnion&) {}, 1, 4},
      {"strong height wins when larger", [](WaterUnion& u) { u.strongHeight = 9; }, 1, 9},
      {"free union", [](WaterUnion& u) { u.label = kWaterUnionFree; }, 1, 0},
      {"union without slot", [](WaterUnion& u) { u.slot = 255; }, 1, 0},
      {"mode 1 needs the wet mark", [](WaterUnion& u) { u.wetMark = 0; }, 1, 0},
      {"mode 0 takes the rearm mark alone", [](WaterUnion& u) { u.confirmMark = 0; u.wetMark = 0; u.rearmMark = 1; }, 0, 4},
      {"mode 0 needs confirm or rearm", [](WaterUnion& u) { u.confirmMark = 0; }, 0, 0},
      {"mode 2 needs the steady flag", [](WaterUnion& u) { u.steadyFlag = 0; }, 2, 0},
      {"negative side dominates", [](WaterUnion& u) { u.negSum = -80; }, 1, 1},
      {"few strong nodes", [](WaterUnion& u) { u.strongCount = 16; }, 1, 1},
      {"just enough strong nodes", [](WaterUnion& u) { u.strongCount = 17; }, 1, 4},
      {"centre left the rows", [](WaterUnion& u) { u.lastY = 4 * 7; }, 1, 1},
      {"centre left the columns", [](WaterUnion& u) { u.lastX = 4 * 2 + 3; }, 1, 1},
  };
  for (const Case& c : cases) {
    WaterInit(nullptr);
    c.setup(Union(3));
    EXPECT_EQ(JudgeDropWetFinger(Rect(3, 5, 4, 6), c.mode), c.want) << c.what;
  }
  WaterInit(nullptr);
  Union(3);
  EXPECT_EQ(JudgeDropWetFinger(Rect(3, 7, 4, 6), 1), 0) << "the rectangle reaches past the union";
}

TEST_F(WaterJudge, DropWetFingerUsesTheLowerNumberedOfTwoHoldingUnions) {
  Union(7).strongWidth = 6;
  Union(2).negSum = -100;  // weak
  EXPECT_EQ(JudgeDropWetFinger(Rect(3, 4, 4, 5), 1), 1);
  gstWaterState.astUnion[2].label = kWaterUnionFree;
  EXPECT_EQ(JudgeDropWetFinger(Rect(3, 4, 4, 5), 1), 6);
}

TEST_F(WaterJudge, DropWetFingerModeTenAndTheEmptyRectangleReadTheModuleFlags) {
  WaterModuleState& w = gstWaterState;
  EXPECT_EQ(JudgeDropWetFinger(Rect(0, 0, 0, 0), 1), 0);
  w.WaterLargeSta = 1;
  EXPECT_EQ(JudgeDropWetFinger(Rect(0, 0, 0, 0), 1), 100);
  EXPECT_EQ(JudgeDropWetFinger(Rect(0, 0, 0, 0), 10), 0);
  w.WaterLargeSta = 0;
  w.WaterMoveFlag = 1;
  EXPECT_EQ(JudgeDropWetFinger(Rect(0, 0, 0, 0), 1), 100);
  w.WaterMoveFlag = 0;
  w.WaterUnionFlag = 1;
  EXPECT_EQ(JudgeDropWetFinger(Rect(1, 1, 1, 1), 10), 1);
}

TEST_F(WaterJudge, SameUnionNeedsOneMarkedUnionHoldingBoth) {
  Union(0, Rect(0, 3, 0, 3));
  Union(1, Rect(5, 9, 5, 9));
  EXPECT_EQ(JudgeInSameUnion(Rect(0, 1, 0, 1), Rect(2, 3, 2, 3)), 1);
  EXPECT_EQ(JudgeInSameUnion(Rect(0, 1, 0, 1), Rect(6, 7, 6, 7)), 0) << "each in another union";
  EXPECT_EQ(JudgeInSameUnion(Rect(0, 1, 0, 1), Rect(3, 4, 3, 3)), 0) << "one reaches out";
  gstWaterState.astUnion[0].confirmMark = 0;
  EXPECT_EQ(JudgeInSameUnion(Rect(0, 1, 0, 1), Rect(2, 3, 2, 3)), 0) << "unmarked";
  gstWaterState.astUnion[0].rearmMark = 1;
  gstWaterState.astUnion[0].slot = 255;  // the slot does not matter here
  EXPECT_EQ(JudgeInSameUnion(Rect(0, 1, 0, 1), Rect(2, 3, 2, 3)), 1);
}

TEST_F(WaterJudge, SmoothAndDelayStatesFollowTheirFlags) {
  WaterModuleState& w = gstWaterState;
  EXPECT_EQ(JudgeWetSmoothState(), 0);
  EXPECT_EQ(JudgeWaterTouchDelay(), 0);
  uint8_t* smooth[] = {&w.WaterMoveFlag, &w.WaterLargeSta};
  for (uint8_t* f : smooth) {
    *f = 1;
    EXPECT_EQ(JudgeWetSmoothState(), 1);
    EXPECT_EQ(JudgeWaterTouchDelay(), 0);
    *f = 0;
  }
  uint8_t* delay[] = {&w.WaterSelfStrong, &w.WaterSelfHigh, &w.WaterRemovePending};
  for (uint8_t* f : delay) {
    *f = 1;
    EXPECT_EQ(JudgeWaterTouchDelay(), 1);
    EXPECT_EQ(JudgeWetSmoothState(), 0);
    *f = 0;
  }
}

TEST(RectDiffStatsTest, InteriorNodeMeansAndRing) {
  // 5 x 5 grid, a single strong node in the middle with a mixed cross and a wet ring.
  std::vector<int16_t> m(25, 0);
  const auto at = [&](int r, int c) -> int16_t& { return m[r * 5 + c]; };
  at(2, 2) = 100;
  at(1, 2) = 60;  // up
  at(3, 2) = 10;  // down
  at(2, 1) = 70;  // left
  at(2, 3) = 40;  // right
  at(1, 1) = -30;
  at(3, 3) = -26;
  at(0, 0) = -200;  // outside the ring
  at(3, 1) = -25;   // not below -25
  RectDiffStats st;
  CalcRectDiffStats(m.data(), Rect(2, 2, 2, 2), 5, 5, &st);
  EXPECT_EQ(st.negCount, 2);
  EXPECT_EQ(st.negSum, -56);
  EXPECT_EQ(st.posCount, 1);
  EXPECT_EQ(st.posSum, 100);
  EXPECT_EQ(st.totalSum, 100);
  EXPECT_EQ(st.meanSum, (100 + 60 + 10 + 70 + 40) / 5);
  // Two low neighbours, a strong one on each axis: the cut is -50, every neighbour is
  // replaced by the node itself.
  EXPECT_EQ(st.clippedSum, 100);

  at(2, 1) = 30;  // now three neighbours are low: the cut is 50, only the 60 is clipped
  CalcRectDiffStats(m.data(), Rect(2, 2, 2, 2), 5, 5, &st);
  EXPECT_EQ(st.meanSum, (100 + 60 + 10 + 30 + 40) / 5);
  EXPECT_EQ(st.clippedSum, (100 + 100 + 10 + 30 + 40) / 5);
}

TEST(RectDiffStatsTest, CornerRectangleScansOnlyTheGridAndMirrorsTheMissingNeighbours) {
  // 3 rows x 4 columns; the rectangle is the top-left node.
  std::vector<int16_t> m = {
      80, 30, -40, -90,  //
      20, -30, -50, -90,  //
      -90, -90, -90, -90,
  };
  RectDiffStats st;
  CalcRectDiffStats(m.data(), Rect(0, 0, 0, 0), 4, 3, &st);
  EXPECT_EQ(st.negCount, 1) << "only (1,1) of the clipped ring";
  EXPECT_EQ(st.negSum, -30);
  EXPECT_EQ(st.posSum, 80);
  EXPECT_EQ(st.meanSum, (80 + 2 * 20 + 2 * 30) / 5);
  // Missing neighbours take the node's value, so they count as strong ones: with two
  // low neighbours the cut is -50 and every neighbour is clipped.
  EXPECT_EQ(st.clippedSum, 80);

  CalcRectDiffStats(m.data(), Rect(1, 2, 2, 3), 4, 3, &st);
  EXPECT_EQ(st.negCount, 8) << "rows 0-2, columns 1-3";
  EXPECT_EQ(st.totalSum, -50 - 90 - 90 - 90);
  EXPECT_EQ(st.posCount, 0);
}

TEST(RectDiffStatsTest, MeanIsTruncatedTowardZero) {
  // Negative neighbours pull the five-point sum below zero.
  std::vector<int16_t> m = {
      0, -200, 0,  //
      -200, 30, -200,  //
      0, -200, 0,
  };
  RectDiffStats st;
  CalcRectDiffStats(m.data(), Rect(1, 1, 1, 1), 3, 3, &st);
  EXPECT_EQ(st.meanSum, (30 - 800) / 5);
  EXPECT_EQ(st.meanSum, -154);
}

class RemoveWater : public WaterJudge {
 public:
  static constexpr uint8_t kRows = 6, kCols = 6;
  std::vector<int16_t> point = std::vector<int16_t>(kRows * kCols, 0);
  std::vector<int16_t> slot = std::vector<int16_t>(kRows * kCols, 0);
  RegionRect slotRects[kWaterTrackMax] = {};
  RegionRect pointRects[kRegionMax] = {};
  uint16_t x[kRegionMax] = {}, y[kRegionMax] = {};
  uint8_t slotIndex[kRegionMax];
  uint16_t weight[kRegionMax] = {};
  RemoveWaterArg arg{};

  void SetUp() override {
    WaterJudge::SetUp();
    arg = RemoveWaterArg{};
    memset(slotIndex, 255, sizeof(slotIndex));
    arg.ubRows = kRows;
    arg.ubColumns = kCols;
    arg.ubMinFingers = 2;
    arg.pswPointMap = point.data();
    arg.pswSlotMap = slot.data();
    arg.pstSlotRects = slotRects;
    arg.pstPointRects = pointRects;
    arg.puwPointX = x;
    arg.puwPointY = y;
    arg.pubSlotIndex = slotIndex;
    arg.puwWeight = weight;
  }
  int16_t& P(int r, int c) { return point[r * kCols + c]; }
  // A lone weak node in a wet ring: water by the single-node rule.
  void LoneDrop(uint8_t i, uint8_t r, uint8_t c) {
    P(r, c) = 100;
    P(r - 1, c) = -80;
    P(r + 1, c) = -80;
    pointRects[i] = Rect(r, r, c, c);
    weight[i] = 100;
  }
};

TEST_F(RemoveWater, LoneWeakNodeInAWetRingIsDroppedAndItsMarksRaised) {
  LoneDrop(1, 2, 2);
  weight[0] = 300;  // a real finger elsewhere
  pointRects[0] = Rect(4, 5, 4, 5);
  P(4, 4) = P(4, 5) = P(5, 4) = P(5, 5) = 300;
  gstWaterState.WaterMarkMap[2 * kCols + 2] = 1;
  gstWaterState.WaterMarkMap[4 * kCols + 4] = 1;
  EXPECT_EQ(RemoveWaterRect(&arg), 1);
  EXPECT_EQ(weight[1], 0);
  EXPECT_EQ(weight[0], 300);
  EXPECT_EQ(gstWaterState.WaterMarkMap[2 * kCols + 2], 2);
  EXPECT_EQ(gstWaterState.WaterMarkMap[4 * kCols + 4], 1) << "the kept point's marks stay";
  EXPECT_EQ(gstWaterState.WaterMarkMap[2 * kCols + 3], 0) << "unmarked nodes stay unmarked";
}

TEST_F(RemoveWater, SingleNodeRuleNeedsEveryCondition) {
  struct Case {
    const char* what;
    void (*change)(RemoveWater&);
  };
  const Case cases[] = {
      {"one finger last frame", [](RemoveWater& t) { t.arg.ubMinFingers = 1; }},
      {"single nodes kept by the caller", [](RemoveWater& t) { t.arg.ubNoSingleNode = 1; }},
      {"water union flag", [](RemoveWater&) { gstWaterState.WaterUnionFlag = 1; }},
      {"water move flag", [](RemoveWater&) { gstWaterState.WaterMoveFlag = 1; }},
      {"strong node", [](RemoveWater& t) { t.P(2, 2) = 200; }},
      {"dry ring", [](RemoveWater& t) { t.P(1, 2) = -70; }},  // negSum -150, not below
      {"two nodes", [](RemoveWater& t) { t.pointRects[0] = Rect(2, 2, 2, 3); }},
  };
  for (const Case& c : cases) {
    SetUp();
    std::fill(point.begin(), point.end(), int16_t{0});
    LoneDrop(0, 2, 2);
    c.change(*this);
    EXPECT_EQ(RemoveWaterRect(&arg), 0) << c.what;
    EXPECT_EQ(weight[0], 100) << c.what;
  }
}

TEST_F(RemoveWater, ThinPointIsWaterWhenItsSlotHeldMoreThanTwiceAsMuch) {
  // A one-row point with a wet ring whose slot covered far more last frame.
  for (int c = 1; c <= 3; ++c) P(2, c) = 50;
  P(3, 2) = -40;
  pointRects[0] = Rect(2, 2, 1, 3);
  weight[0] = 50;
  slotIndex[0] = 4;
  slotRects[4] = Rect(1, 3, 1, 3);
  arg.ubMinFingers = 0;
  for (int r = 1; r <= 3; ++r) {
    for (int c = 1; c <= 3; ++c) slot[r * kCols + c] = 34;  // 306 > 2 x 150
  }
  EXPECT_EQ(RemoveWaterRect(&arg), 1);
  EXPECT_EQ(weight[0], 0);

  weight[0] = 50;
  for (int c = 1; c <= 3; ++c) slot[2 * kCols + c] = 0;  // 6 x 34 = 204, not above 300
  EXPECT_EQ(RemoveWaterRect(&arg), 0);
  P(3, 2) = 0;
  for (int c = 1; c <= 3; ++c) slot[2 * kCols + c] = 34;
  EXPECT_EQ(RemoveWaterRect(&arg), 0) << "no wet node around it";
  EXPECT_EQ(weight[0], 50);
}

TEST_F(RemoveWater, SkipAllChangesNothing) {
  LoneDrop(0, 2, 2);
  slotIndex[0] = 3;
  gstWaterState.WaterMarkMap[2 * kCols + 2] = 1;
  arg.ubSkipAll = 1;
  EXPECT_EQ(RemoveWaterRect(&arg), 0);
  EXPECT_EQ(weight[0], 100);
  EXPECT_EQ(gstWaterState.WaterMarkMap[2 * kCols + 2], 1);
  EXPECT_EQ(gstWaterState.astSlotTrack[3].ubState, 0);
}

TEST_F(RemoveWater, SlotTrackCountsThreeFramesThenRecordsOnlyOnChange) {
  P(2, 2) = 300;
  pointRects[0] = Rect(2, 2, 2, 2);
  slotIndex[0] = 5;
  arg.ubMinFingers = 0;
  const WaterSlotTrack& t = gstWaterState.astSlotTrack[5];
  struct Step {
    uint16_t x, y;
    int16_t node;
    uint8_t state;
    int32_t newest, older;
  };
  const Step steps[] = {
      {40, 40, 300, 1, 0, 0},
      {40, 40, 300, 2, 0, 0},
      {40, 40, 300, 3, 0, 0},
      {40, 40, 300, 200, 300, 0},    // nothing recorded yet
      {42, 42, 300, 100, 300, 0},    // moved by 8 squared: same place
      {43, 42, 300, 200, 300, 300},  // moved by 13
      {43, 42, 50, 100, 300, 300},   // presence dropped by 250: not yet
      {43, 42, 49, 200, 49, 300},    // dropped by 251
      {43, 42, 900, 100, 49, 300},   // a rise is no change
  };
  for (const Step& s : steps) {
    weight[0] = 1;
    x[0] = s.x;
    y[0] = s.y;
    P(2, 2) = s.node;
    RemoveWaterRect(&arg);
    EXPECT_EQ(t.ubState, s.state) << s.x << "," << s.node;
    EXPECT_EQ(t.asiPresence[0], s.newest) << s.x << "," << s.node;
    EXPECT_EQ(t.asiPresence[1], s.older) << s.x << "," << s.node;
  }
  EXPECT_EQ(t.auwX[0], 43);
  EXPECT_EQ(t.auwX[1], 43);
  EXPECT_EQ(t.auwX[2], 40);
  EXPECT_EQ(RegionRectWord(t.astRect[0]), RegionRectWord(Rect(2, 2, 2, 2)));
}

// Through coordinate pairing: a lone weak node in a wet ring, beside a finger, loses its
// peak and its pairing in the water removal once the last frame reported two points.
TEST(WaterRemovalInPairing, LoneDropBesideAFingerIsUnpaired) {
  constexpr uint8_t kRows = 16, kCols = 30;
  for (const uint8_t lastPoints : {uint8_t{2}, uint8_t{1}}) {
    std::vector<int16_t> diff(kRows * kCols, 0), prev(diff.size(), 0);
    std::vector<uint8_t> arena(1024, 0xA5), work(6000 + 2 * kRegionMaxNodes, 0);
    RegionAcquireStateInit(work.data());
    memset(&gstCoordPairCfg, 0, sizeof(gstCoordPairCfg));
    gstCoordPairCfg.aubData[6] = 3;
    memset(&gstNewSpeedStretchCfg, 0, sizeof(gstNewSpeedStretchCfg));
    gstCommon.ubDrvNum = kRows;
    gstCommon.ubSenNum = kCols;
    gstCommon.uwSenCoordRange = kCols * 512;
    gstCommon.uwDrvCoordRange = kRows * 512;
    gstCommon.stData.pswDiffData = diff.data();
    gstCommon.pubTempArena = arena.data();
    memset(&gstCoordRegionFlags, 0, sizeof(gstCoordRegionFlags));
    memset(&gstMutualRegion, 0, sizeof(gstMutualRegion));
    memset(gaubRegionLabelMap, 255, sizeof(gaubRegionLabelMap));
    gstMutualRegion.uwTouchThreshold = 100;
    CoordSoftwareInit();
    WaterInit(nullptr);

    // Region 0: a 3 x 3 finger; region 1: one node of 60 with -80 above and below.
    for (int r = 4; r <= 6; ++r) {
      for (int c = 4; c <= 6; ++c) {
        diff[r * kCols + c] = (r == 5 && c == 5) ? 400 : 200;
        gaubRegionLabelMap[r * kCols + c] = 0;
      }
    }
    diff[10 * kCols + 20] = 60;
    diff[9 * kCols + 20] = diff[11 * kCols + 20] = -80;
    gaubRegionLabelMap[10 * kCols + 20] = 1;
    gstMutualRegion.ubRegionNum = 2;
    gstMutualRegion.astRect[0] = Rect(4, 6, 4, 6);
    gstMutualRegion.auwPeak[0] = 400;
    gstMutualRegion.auwPeakPos[0] = (5 << 8) | 5;
    gstMutualRegion.astRect[1] = Rect(10, 10, 20, 20);
    gstMutualRegion.auwPeak[1] = 60;
    gstMutualRegion.auwPeakPos[1] = (10 << 8) | 20;
    gstWaterState.WaterMarkMap[10 * kCols + 20] = 1;

    CoordPairInput in{};
    in.ubColumns = kCols;
    in.ubRows = kRows;
    in.uwExtentX = kCols * 512;
    in.uwExtentY = kRows * 512;
    in.ubMaxPoints = 10;
    in.ubRegionCount = 2;
    in.ubHoldCount = 3;
    in.ubLastReportCount = lastPoints;
    in.uwNewPointThreshold = 50;
    in.uwMoveLimit = 2400;
    in.uwStepLimit = 40;
    in.uwReassignNear = 144;
    in.uwReassignFar = 192;
    in.uwJitterDistance = 512;
    in.ubSmallMove = 3;
    in.ubMoveFloor = 5;
    in.ubDirectionTolerance = 1;
    in.stTouchRect = RegionRect{255, 0, 255, 0};
    in.uwShakeLimit = 0xFFFF;
    in.puwPeak = gstMutualRegion.auwPeak;
    in.pstRect = gstMutualRegion.astRect;
    in.puwPeakPos = gstMutualRegion.auwPeakPos;
    in.pubLabelMap = gaubRegionLabelMap;
    in.pswDiff = diff.data();
    in.pswPrevDiff = prev.data();
    CoordPair(&in);
    gstCoordPairStatics.pstInput = nullptr;

    EXPECT_EQ(gstMutualRegion.auwPeak[0], 400) << +lastPoints;
    EXPECT_NE(gstCoordPair.aubOrderIndex[0], kCoordNoSlot) << +lastPoints;
    if (lastPoints == 2) {
      EXPECT_EQ(gstMutualRegion.auwPeak[1], 0);
      EXPECT_EQ(gstCoordPair.aubOrderIndex[1], kCoordNoSlot);
      EXPECT_EQ(gstWaterState.WaterMarkMap[10 * kCols + 20], 2);
    } else {
      EXPECT_EQ(gstMutualRegion.auwPeak[1], 60) << "one point last frame: kept";
      EXPECT_NE(gstCoordPair.aubOrderIndex[1], kCoordNoSlot);
      EXPECT_EQ(gstWaterState.WaterMarkMap[10 * kCols + 20], 1);
    }
  }
}

}  // namespace
