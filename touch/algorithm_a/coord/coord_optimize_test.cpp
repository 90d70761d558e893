// Coordinate optimisation on points laid into the point arrays frame by frame: the edge map
// and stretch, the hold threshold and anchor filter, the terms that change the threshold,
// the weight dead band and the jump counters.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "coord.h"
#include "coord_optimize.h"
#include "coord_pair.h"
#include "coord_smooth.h"

namespace {

constexpr uint16_t kXRes = 15360;
constexpr uint16_t kYRes = 8192;

class OptimizeFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    memset(&gstCoordOptmCfg, 0, sizeof(gstCoordOptmCfg));
    memset(&gstR4StretchCfg, 0, sizeof(gstR4StretchCfg));
    memset(&gstFilterAdjustCfg, 0, sizeof(gstFilterAdjustCfg));
    memset(&gstCoordSpecialCfg, 0, sizeof(gstCoordSpecialCfg));
    memset(&gstFingerUpFilter, 0, sizeof(gstFingerUpFilter));
    memset(&gstCoordOptmMotion, 0, sizeof(gstCoordOptmMotion));
    memset(&gstThumbFilter, 0, sizeof(gstThumbFilter));
    memset(guwLastThreshold, 0, sizeof(guwLastThreshold));
    memset(gubJumpCompFlag, 0, sizeof(gubJumpCompFlag));
    // Identity edge map, the blended position kept as the next smoothing entry, and a
    // smoothing that reports the newest entry: the output is the held position.
    uint8_t* c = gstCoordOptmCfg.aubData;
    for (int i = 0; i <= 12; ++i) c[i] = 1;
    c[22] = 16;
    coeff_[0] = 1;
    coeff_[1] = coeff_[2] = 0;
    const uint64_t addr = 0;
    CoordOptimizeInit(&addr);
    memset(w_, 0, sizeof(w_));
    memset(state_, 0, sizeof(state_));
    memset(rects_, 0, sizeof(rects_));
    arg_ = OptimizeArg{};
    arg_.uwXRes = kXRes;
    arg_.uwYRes = kYRes;
    arg_.pubPointState = state_;
    arg_.pstRects = rects_;
    arg_.puwCoeff = coeff_;
    arg_.puwWeight = w_;
    arg_.puwX = x_;
    arg_.puwY = y_;
    arg_.ubHoldLimit = 12;
    arg_.ubGameFlag = 1;
  }
  void Threshold(uint16_t base, uint8_t minimum) {
    gstCoordOptmCfg.aubData[14] = static_cast<uint8_t>(base);
    gstCoordOptmCfg.aubData[15] = static_cast<uint8_t>(base >> 8);
    gstCoordOptmCfg.aubData[16] = minimum;
  }
  // One frame of point I at (X, Y) with weight W (0 lifts it); returns the output position.
  std::pair<uint16_t, uint16_t> Step(uint8_t i, uint16_t x, uint16_t y, uint16_t w = 100) {
    x_[i] = x;
    y_[i] = y;
    w_[i] = w;
    CoordOptimize(&arg_);
    return {x_[i], y_[i]};
  }

  OptimizeArg arg_{};
  uint16_t coeff_[3];
  uint16_t w_[kCoordPointMax], x_[kCoordPointMax], y_[kCoordPointMax];
  uint8_t state_[kCoordPointMax];
  RegionRect rects_[kCoordPointMax];
};

TEST_F(OptimizeFixture, EdgeMapByDivisorAndSlopes) {
  struct Case {
    uint8_t A, slope;
    uint16_t v, R, out;
  } cases[] = {
      {1, 1, 3000, kXRes, 3000},               // the middle band is never touched
      {1, 1, 900, kXRes, 900},                 // equal slopes and divisor: identity
      {1, 1, kXRes - 10, kXRes, kXRes - 10},
      {0, 1, 700, kXRes, 1024},                // no divisor: the near band collapses on 1024
      {0, 1, kXRes - 10, kXRes, kXRes - 1025},  // and the far band on R - 1025
      {1, 2, 900, kXRes, 1024 - 124 * 2},      // innermost 256: one slope
      {1, 2, 600, kXRes, 1024 - (512 + 168 * 2)},
      {1, 2, 100, kXRes, 0},                   // the sum passes 1024: the edge
      {1, 2, 7300, 8192, 7167 + 133 * 2},      // far side
      {2, 1, 900, kXRes, 1024 - 62},           // the divisor halves the slope
  };
  for (const Case& c : cases) {
    uint8_t* cfg = gstCoordOptmCfg.aubData;
    cfg[0] = c.A;
    for (int i = 7; i <= 12; ++i) cfg[i] = c.slope;
    EXPECT_EQ(CoordEdgeLinearize(c.v, c.R, 0), c.out) << int(c.A) << " " << int(c.slope) << " " << c.v;
  }
}

TEST_F(OptimizeFixture, StretchSpreadsTheBandAndSnapsTheEdge) {
  const uint16_t W = 512, K = 64;
  struct Case {
    uint16_t x, expect;
  } cases[] = {
      {5000, 5000},                    // middle: unchanged
      {288, 256},                      // (512 - 288) x 512 / 448 = 256 from the band's end
      {32, 0},                         // within K of the edge: the edge
      {kXRes - 288, kXRes - 1 - 256},  // high side, mirrored
      {kXRes - 40, kXRes - 1},
  };
  for (const Case& c : cases) {
    SetUp();
    uint8_t* st = gstR4StretchCfg.aubData;
    st[0] = 1;
    st[1] = W & 0xFF;
    st[2] = W >> 8;
    for (int at : {3, 5, 7, 9}) st[at] = K;
    arg_.ubBypass = 1;  // the output is the edge-mapped position itself
    EXPECT_EQ(Step(0, c.x, 4000).first, c.expect) << c.x;
  }
}

TEST_F(OptimizeFixture, StillPointStaysAtItsAnchorWhileItsFilteredPositionIsWithinTheThreshold) {
  Threshold(40, 40);
  const auto first = Step(3, 5000, 3000);
  EXPECT_EQ(first, std::make_pair(uint16_t{5000}, uint16_t{3000})) << "a new point is reported where it is";
  for (int f = 0; f < 8; ++f) {
    const int16_t j = (f % 2 == 0) ? 30 : -30;
    EXPECT_EQ(Step(3, static_cast<uint16_t>(5000 + j), static_cast<uint16_t>(3000 - j)), first) << f;
  }
  EXPECT_EQ(gstCoordOptmMotion.aubMoveFlag[3], 0);
  EXPECT_EQ(gstCoordOptmMotion.aubFilterCount[3], 9);
}

TEST_F(OptimizeFixture, MovingPointTrailsByTheThresholdOnTheLineTowardIt) {
  Threshold(40, 40);
  Step(0, 5000, 3000);
  Step(0, 6000, 3000);  // the jump releases the hold
  ASSERT_EQ(gstCoordOptmMotion.aubMoveFlag[0], 1);
  EXPECT_EQ(Step(0, 6000, 3000).first, 5960) << "40 short of the filtered position";
  EXPECT_EQ(Step(0, 6000, 3000).first, 5960) << "and held there";
  // 100 units away (60 along X, 80 along Y), both above the minimum steps.
  EXPECT_EQ(Step(0, 6020, 3080), std::make_pair(uint16_t{5996}, uint16_t{3048}));
  EXPECT_EQ(guwLastThreshold[0], 40);
}

TEST_F(OptimizeFixture, BypassFollowsTheInputWithNoThreshold) {
  Threshold(40, 40);
  arg_.ubBypass = 1;
  Step(0, 5000, 3000);
  EXPECT_EQ(Step(0, 5010, 3000).first, 5010);
  EXPECT_EQ(guwLastThreshold[0], 0);
}

TEST_F(OptimizeFixture, FirstTipThresholdRisesFromTwentyFourWithTheDistance) {
  gstFilterAdjustCfg.aubData[0] = 32;
  gstFilterAdjustCfg.aubData[7] = 64;
  arg_.ubTuneFlag = 1;
  arg_.ubPairedCount = 1;
  Step(0, 5000, 3000);
  Step(0, 5300, 3000);  // moving from here on; the first tip stays at the touch-down
  ASSERT_EQ(gstCoordOptmMotion.aubMoveFlag[0], 1);
  struct Case {
    uint16_t x;
    uint16_t T;
  } cases[] = {{5050, 28}, {5020, 32}, {5033, 24}, {5070, 24}};
  for (const Case& c : cases) {
    Step(0, c.x, 3000);
    EXPECT_EQ(guwLastThreshold[0], c.T) << c.x;
    EXPECT_EQ(gpstOptmTrace->ubMinStepX, 12);
    EXPECT_EQ(guwFirstTipPonitX, 5000);
  }
}

TEST_F(OptimizeFixture, LargeTouchTriplesTheBaseForTheRestOfTheFrame) {
  Threshold(40, 10);
  arg_.ubLargeTouch = 1;
  Step(7, 5000, 3000);
  Step(2, 9000, 3000);
  x_[7] = 5000;
  x_[2] = 9050;  // point 2 moved: it does not triple the base again
  CoordOptimize(&arg_);
  EXPECT_EQ(guwLastThreshold[7], 120) << "point 7 (processed first) triples the base";
  EXPECT_EQ(guwLastThreshold[2], 120) << "point 2 is held with the tripled base";
  arg_.ubLargeTouch = 0;
  CoordOptimize(&arg_);
  EXPECT_EQ(guwLastThreshold[7], 40);
}

TEST_F(OptimizeFixture, SingleTouchCornerDoublesTheHoldLimit) {
  gstCoordOptmCfg.aubData[24] = 1;
  arg_.ubOutCount = 1;
  struct Case {
    uint8_t limit, expect;
    uint16_t x, y;
  } cases[] = {{120, 200, kXRes - 100, kYRes - 100},
               {60, 120, kXRes - 100, kYRes - 100},
               {60, 60, kXRes - 600, kYRes - 100}};  // outside the corner
  for (const Case& c : cases) {
    SetUp();
    gstCoordOptmCfg.aubData[24] = 1;
    arg_.ubOutCount = 1;
    arg_.ubHoldLimit = c.limit;
    Step(0, c.x, c.y);
    EXPECT_EQ(arg_.ubHoldLimit, c.expect) << int(c.limit) << " " << c.x;
  }
}

TEST_F(OptimizeFixture, WeightMovesOnlyPastTheDeadBandAndAPresentPointKeepsOne) {
  struct Case {
    uint8_t minimum;
    uint16_t w0, w1, expect;
  } cases[] = {{10, 100, 120, 105}, {10, 100, 80, 95}, {10, 100, 104, 100}, {0, 1, 1, 1}};
  for (const Case& c : cases) {
    SetUp();
    Threshold(1000, c.minimum);
    Step(0, 5000, 3000, c.w0);
    Step(0, 5000, 3000, c.w1);
    EXPECT_EQ(w_[0], c.expect) << c.w0 << " -> " << c.w1;
  }
}

TEST_F(OptimizeFixture, JumpOfTheFirstPointRaisesTheCounters) {
  coeff_[0] = 0;  // plain mean of the three entries: a jump shows as entry 0 against entry 1
  struct Case {
    uint16_t jump;
    uint8_t jumpOut, delay;
  } cases[] = {{200, 0, 0}, {450, 24, 0}, {1700, 24, 4}};
  for (const Case& c : cases) {
    SetUp();
    coeff_[0] = 0;
    arg_.ubTrackOn = 1;
    arg_.ubPairedCount = 1;
    Step(0, 5000, 3000);
    Step(0, 5003, 3000);  // starts moving
    Step(0, static_cast<uint16_t>(5003 + c.jump), 3000);
    EXPECT_EQ(arg_.ubJumpOut, c.jumpOut) << c.jump;
    EXPECT_EQ(GetTouchDelayCnt(), c.delay) << c.jump;
  }
}

TEST_F(OptimizeFixture, LiftedPointClearsItsStateAndComesBackNew) {
  Threshold(40, 40);
  Step(0, 5000, 3000);
  Step(0, 6000, 3000);
  ASSERT_EQ(gstCoordOptmMotion.aubMoveFlag[0], 1);
  Step(0, 0, 0, 0);
  EXPECT_EQ(CoordGetSmoothBufX()[0][0], kCoordNoPosition);
  EXPECT_EQ(gstCoordOptmMotion.aubFilterCount[0], 0);
  EXPECT_EQ(Step(0, 9000, 4000), std::make_pair(uint16_t{9000}, uint16_t{4000}));
  EXPECT_EQ(gstCoordOptmMotion.aubMoveFlag[0], 0);
}

TEST(OptimizeOps, SmallOperations) {
  EXPECT_EQ(OptIsqrt(0), 0u);
  EXPECT_EQ(OptIsqrt(99), 9u);
  EXPECT_EQ(OptIsqrt(100), 10u);
  EXPECT_EQ(OptIsqrt(0xFFFFFFFFu), 65535u);
  struct Step {
    uint16_t v, t, s, out;
  } steps[] = {{10, 100, 20, 30}, {95, 100, 20, 100}, {150, 100, 20, 130}};
  for (const Step& s : steps) EXPECT_EQ(StepTowardTarget(s.v, s.t, s.s), s.out) << s.v;
  EXPECT_EQ(CalcPackedRectArea(RegionRect{0, 0, 0, 0}), 0u);
  EXPECT_EQ(CalcPackedRectArea(RegionRect{2, 4, 3, 6}), 12u);
  SetFingerUpFilterCount(1, 70000);
  EXPECT_EQ(gstFingerUpFilter.auwWeight[1], 65535);
  SetFingerUpFilterCount(1, 9);
  EXPECT_EQ(gstFingerUpFilter.auwWeight[1], 10);
  uint16_t buf[5] = {1, 2, 3, 4, 5};
  CopyWordsDescending(buf, buf + 1, 4);  // overlapping, forward: last element first keeps it
  EXPECT_EQ(std::vector<uint16_t>(buf, buf + 5), (std::vector<uint16_t>{1, 1, 2, 3, 4}));
}

TEST(OptimizeOps, HistoryPushesPastTheDistanceAndCountsOtherwise) {
  uint16_t hx[5], hy[5];
  for (int i = 0; i < 5; ++i) hx[i] = hy[i] = kCoordNoPosition;
  uint8_t counter = 0;
  PushPositionHistory(1000, 1000, hx, hy, &counter, 5, 128);
  EXPECT_EQ(hx[0], 1000);
  EXPECT_EQ(counter, 0) << "the first entry only";
  PushPositionHistory(1100, 1000, hx, hy, &counter, 5, 128);
  EXPECT_EQ(hx[0], 1000);
  EXPECT_EQ(counter, 1);
  PushPositionHistory(1200, 1000, hx, hy, &counter, 5, 128);
  EXPECT_EQ(hx[0], 1200);
  EXPECT_EQ(hx[1], 1000);
  EXPECT_EQ(counter, 1);
}

}  // namespace
