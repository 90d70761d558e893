// First-coordinate smoothing on one point: the start rules, the approach by count / (limit
// + 1), the dead zone, the edge start and the stage switch.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "coord.h"
#include "coord_smooth.h"

namespace {

class SmoothFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    memset(&gstCoordOptmCfg, 0, sizeof(gstCoordOptmCfg));
    gstCoordOptmCfg.aubData[13] = 0x02;
    memset(&gstCoordOptmMotion, 0, sizeof(gstCoordOptmMotion));
    FirstCoordSmoothPowerOnInit();
    memset(w_, 0, sizeof(w_));
    memset(state_, 0, sizeof(state_));
    w_[0] = 100;
  }
  // One frame of point 0 at (X, Y); returns the reported X.
  uint16_t Step(uint16_t x, uint16_t y = 500, uint8_t early = 10) {
    x_[0] = x;
    y_[0] = y;
    FirstCoordArg a{w_, state_, early, 0, x_, y_};
    FirstCoordSmooth(&a);
    // Optimisation copies the move flag before its next step: a start is its rising edge.
    gstFstCoordSmooth.aubMovedCopy[0] = gstCoordOptmMotion.aubMoveFlag[0];
    return x_[0];
  }
  void StartMoving(uint8_t filterCount) {
    gstCoordOptmMotion.aubMoveFlag[0] = 1;
    gstCoordOptmMotion.aubFilterCount[0] = filterCount;
  }

  uint16_t w_[kCoordPointMax], x_[kCoordPointMax], y_[kCoordPointMax];
  uint8_t state_[kCoordPointMax];
};

TEST_F(SmoothFixture, FirstMovementIsSpreadOverLimitPlusOneFrames) {
  Step(1000);
  StartMoving(3);  // younger than 10 frames: early start, limit 3
  const std::vector<uint16_t> expected = {1250, 1625, 1906, 2000};
  for (uint16_t e : expected) EXPECT_EQ(Step(2000), e);
  EXPECT_EQ(gstFstCoordSmooth.aubMode[0], 0) << "ended after limit + 1 frames";
  EXPECT_EQ(Step(2400), 2400) << "the moving point then passes";
}

TEST_F(SmoothFixture, StartModeAndLimitFollowThePointsAge) {
  struct Case {
    uint8_t age, early, mode, limit;
  } cases[] = {{3, 10, 5, 3}, {150, 200, 5, 100}, {250, 10, 1, 200}, {40, 10, 1, 40}};
  for (const Case& c : cases) {
    SetUp();
    Step(1000);
    StartMoving(c.age);
    Step(1100, 500, c.early);
    EXPECT_EQ(gstFstCoordSmooth.aubMode[0], c.mode) << int(c.age);
    EXPECT_EQ(gstFstCoordSmooth.aubLimit[0], c.limit) << int(c.age);
  }
}

TEST_F(SmoothFixture, DifferenceOfTheDeadZonePassesUnchanged) {
  gstCoordOptmCfg.aubData[17] = 10;
  Step(1000);
  StartMoving(3);
  EXPECT_EQ(Step(1010), 1010);
  EXPECT_EQ(Step(1030), 1010 + 2 * 20 / 4);
}

TEST_F(SmoothFixture, LiftEndsTheSmoothingAndHeldPointsAreLeftAlone) {
  Step(1000);
  StartMoving(3);
  state_[0] = 0x02;  // in leave hold: positions not smoothed
  EXPECT_EQ(Step(2000), 2000);
  state_[0] = 0;
  w_[0] = 0;
  Step(0);
  EXPECT_EQ(gstFstCoordSmooth.aubMode[0], 0);
  EXPECT_EQ(gstFstCoordSmooth.auwLastX[0], 0xFFFF);
}

TEST_F(SmoothFixture, EdgeStartSmoothsLimitPlusOneFramesEvenWithTheStageOff) {
  uint8_t mark[kCoordPointMax] = {1}, skip[kCoordPointMax] = {}, pending[kCoordPointMax];
  memset(pending, 255, sizeof(pending));
  x_[0] = 800;
  y_[0] = 900;
  gstCoordOptmMotion.aubFilterCount[0] = 251;
  EdgeSmoothArg e{mark, skip, x_, y_, 1, 0, pending};
  gstCoordOptmCfg.aubData[13] = 0;
  EdgeCoordSmoothSet(&e);
  EXPECT_EQ(gstFstCoordSmooth.aubMode[0], 2);
  EXPECT_EQ(gstFstCoordSmooth.aubLimit[0], 251);
  EXPECT_EQ(gstFstCoordSmooth.auwLastX[0], 800);
  EXPECT_EQ(Step(5000), 5000) << "the stage is off: nothing changes";

  gstCoordOptmCfg.aubData[13] = 0x02;
  gstFstCoordSmooth.auwLastX[0] = 800;
  int frames = 0;
  while (gstFstCoordSmooth.aubMode[0] == 2 && frames < 300) {
    Step(5000);
    ++frames;
  }
  EXPECT_EQ(frames, 252);
  EXPECT_EQ(x_[0], 5000);

  mark[0] = 0;  // no mark and nothing pending: not handled
  EdgeCoordSmoothSet(&e);
  EXPECT_EQ(gstFstCoordSmooth.aubMode[0], 0);
}

}  // namespace
