// Coordinate transform stages on the common record of a 16 x 30 panel (extents 15360 x
// 8192, a screen of an eighth of that): scaling, margins, orientation, the single-touch
// shift, the coordinate state copy, the ESD state and shake counting.
#include <gtest/gtest.h>

#include <cstring>

#include "coord.h"
#include "coord_optimize.h"
#include "coord_records.h"
#include "coord_transform.h"
#include "customer_hooks.h"
#include "region.h"
#include "region_records.h"
#include "tsa_common.h"

namespace {

constexpr uint16_t kEX = 15360, kEY = 8192;

class TransformFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    memset(&gstCommon, 0, sizeof(gstCommon));
    gstCommon.uwSenCoordRange = kEX;
    gstCommon.uwDrvCoordRange = kEY;
    gstCommon.uwPanelWord0 = kEX / 8;
    gstCommon.uwPanelWord1 = kEY / 8;
    gstCommon.uiPanelValue1 = 10;
    memset(&gstCoordTranCfg, 0, sizeof(gstCoordTranCfg));
    memset(&gstCoordTranRoles, 0, sizeof(gstCoordTranRoles));
    // The region roles carry over between frames (the ESD hold outlives the state that set
    // it by one frame), so every case starts from a clean set.
    memset(&gstRegionRoles, 0, sizeof(gstRegionRoles));
    memset(x_, 0, sizeof(x_));
    memset(y_, 0, sizeof(y_));
    memset(w_, 0, sizeof(w_));
  }
  void Margin(int at, uint16_t v) {
    gstCoordTranCfg.aubData[at] = static_cast<uint8_t>(v);
    gstCoordTranCfg.aubData[at + 1] = static_cast<uint8_t>(v >> 8);
  }
  uint16_t x_[kCoordPointMax], y_[kCoordPointMax], w_[kCoordPointMax];
};

TEST_F(TransformFixture, FinalTransformScalesMirrorsAndExchanges) {
  struct Case {
    uint8_t bits;
    uint16_t x, y, ox, oy;
  } cases[] = {
      {0, 8000, 4000, 1000, 500},                        // resolution / extent on each axis
      {0x02, 8000, 4000, (kEX - 8000) / 8, 500},         // mirror X
      {0x04, 8000, 4000, 1000, (kEY - 4000) / 8},        // mirror Y
      {0x01, 4000, 1000, 1000 * 1920 / kEY, 4000 * 1024 / kEX},  // exchanged, each over the other extent
  };
  for (const Case& c : cases) {
    gstCoordTranCfg.aubData[0] = c.bits;
    x_[2] = c.x;
    y_[2] = c.y;
    w_[2] = 50;
    CoordTransform(x_, y_, w_);
    EXPECT_EQ(x_[2], c.ox) << int(c.bits);
    EXPECT_EQ(y_[2], c.oy) << int(c.bits);
    EXPECT_EQ(w_[2], 50);
  }
}

TEST_F(TransformFixture, MarginsCutTheActiveAreaAndDropPointsFarOutside) {
  Margin(5, 1000);  // X low
  Margin(7, 360);   // X high: span 1000 .. 15000
  struct Case {
    uint16_t x;
    bool kept;
    uint16_t out;
  } cases[] = {
      {799, false, 0},    // more than 200 below the low margin
      {800, true, 0},     // within 200: kept, at the edge
      {8000, true, 7000 * 1920 / 14000},
      {15200, true, 13999 * 1920 / 14000},  // clamped below the top
      {15201, false, 13999 * 1920 / 14000},
  };
  for (const Case& c : cases) {
    x_[0] = c.x;
    y_[0] = 4000;
    w_[0] = 50;
    CoordTransform(x_, y_, w_);
    EXPECT_EQ(w_[0] != 0, c.kept) << c.x;
    EXPECT_EQ(x_[0], c.out) << c.x;
  }
}

TEST_F(TransformFixture, MarginsBeyondTheExtentLeaveNoActiveArea) {
  // 8000 + 8000 exceeds the 15360 extent: no point lies in an active area. Taken in 16
  // bits the top of the span would wrap to 64896 and pass points through unscaled.
  struct Stage {
    const char* name;
    void (*run)(uint16_t*, uint16_t*, uint16_t*);
    int low, high;
  } stages[] = {{"final", CoordTransform, 5, 7}, {"before edge rejection", CoordTransformBeforeEdgeRes, 1, 3}};
  for (const Stage& s : stages) {
    SetUp();
    Margin(s.low, 8000);
    Margin(s.high, 8000);
    x_[0] = 9000;
    y_[0] = 4000;
    w_[0] = 50;
    s.run(x_, y_, w_);
    EXPECT_EQ(w_[0], 0) << s.name;
    EXPECT_EQ(x_[0], 0) << s.name;
  }
}

// One coordinate at a time: the value the final map gives, the weight of a point far
// outside cleared in the coordinate output and the fine value left in the new-point record.
TEST_F(TransformFixture, TailorAndZoomMapsOneAxisClearsTheWeightAndWritesTheFineValue) {
  Margin(5, 1000);  // X: span 1000 .. 15000
  Margin(7, 360);
  Margin(1, 192);   // Y: span 192 .. 8000
  Margin(3, 192);
  uint16_t weight[kCoordPointMax] = {};
  uint16_t* const kept = gstCoordComOutput.puwNewWeight;
  gstCoordComOutput.puwNewWeight = weight;
  struct Case {
    uint8_t axis;
    uint16_t v;
    uint16_t out;
    uint32_t fine;
    bool kept;
  } cases[] = {
      {0, 8000, 7000 * 1920 / 14000, 7000u * 1920 * 10 / 14000, true},
      {0, 15201, 13999 * 1920 / 14000, 13999u * 1920 * 10 / 14000, false},
      {0, 799, 0, 0, false},
      {1, 4096, 3904 * 1024 / 7808, 3904u * 1024 * 10 / 7808, true},
      {1, 8201, 7807 * 1024 / 7808, 7807u * 1024 * 10 / 7808, false},
  };
  for (const Case& c : cases) {
    weight[3] = 50;
    gpuiTamrelNewPointX[3] = gpuiTamrelNewPointY[3] = 77;
    x_[3] = c.axis == 0 ? c.v : 4000;
    y_[3] = c.axis == 1 ? c.v : 4000;
    EXPECT_EQ(CoordTailorAndZoom(3, c.axis, x_, y_), c.out) << int(c.axis) << " " << c.v;
    EXPECT_EQ(weight[3] != 0, c.kept) << int(c.axis) << " " << c.v;
    EXPECT_EQ(c.axis == 0 ? gpuiTamrelNewPointX[3] : gpuiTamrelNewPointY[3], c.fine) << int(c.axis) << " " << c.v;
    EXPECT_EQ(c.axis == 0 ? gpuiTamrelNewPointY[3] : gpuiTamrelNewPointX[3], 77u) << "the other axis is left alone";
    // The whole-frame transform gives the same value on that axis.
    w_[3] = 50;
    CoordTransform(x_, y_, w_);
    EXPECT_EQ(c.axis == 0 ? x_[3] : y_[3], c.out) << int(c.axis) << " " << c.v;
  }
  gstCoordComOutput.puwNewWeight = kept;
}

TEST_F(TransformFixture, SharedMarginReplacesTheConfiguredOneByItsBit) {
  Margin(5, 1000);
  gstCoordTranRoles.uwSharedMargin = 0;
  gstCoordTranRoles.ubMarginOverride = 0x04;  // X low takes the shared margin
  x_[0] = 8000;
  y_[0] = 4000;
  w_[0] = 50;
  CoordTransform(x_, y_, w_);
  EXPECT_EQ(x_[0], 1000);
}

TEST_F(TransformFixture, BeforeEdgeRejectionStretchesOverTheExtent) {
  Margin(1, 1000);
  Margin(3, 360);
  x_[1] = 8000;
  y_[1] = 4000;
  w_[1] = 50;
  EXPECT_EQ(CoordTailorAndZoomBeforeEdgeRes(1, 0, x_, y_), 7000u * kEX / 14000) << "one axis of one point";
  CoordTransformBeforeEdgeRes(x_, y_, w_);
  EXPECT_EQ(x_[1], 7000u * kEX / 14000);
  EXPECT_EQ(y_[1], 4000) << "no Y margins: the extent over itself";
}

TEST_F(TransformFixture, SingleTouchNearTheTopIsShiftedDown) {
  gstCommon.ubCoordTransByte = 1;  // transform off: the node coordinates pass
  gstCoordComOutput.puwNewPointX = x_;
  gstCoordComOutput.puwNewPointY = y_;
  gstCoordComOutput.puwNewWeight = w_;
  struct Case {
    uint16_t x, y;
    uint8_t regions;
    uint16_t oy;
  } cases[] = {{4400, 950, 1, 1050}, {4400, 1000, 1, 1000}, {4400, 950, 2, 950},
               {4300, 950, 1, 950},  {4499, 901, 1, 1001},  {4500, 950, 1, 950}};
  for (const Case& c : cases) {
    x_[0] = c.x;
    y_[0] = c.y;
    w_[0] = 50;
    gstMutualRegion.ubRegionNum = c.regions;
    AppCoordTransform();
    EXPECT_EQ(x_[0], c.x);
    EXPECT_EQ(y_[0], c.oy) << c.x << "," << c.y << " regions " << int(c.regions);
  }
  gstMutualRegion.ubRegionNum = 0;
  CoordComOutputInit(nullptr);
}

TEST_F(TransformFixture, StateCopyGivesRegionDetectionTheReportedCounts) {
  gstCoordComOutput.ubPointNum = 3;
  gstCoordComOutput.ubPointNumLast = 2;
  CoordStateAcquire();
  EXPECT_EQ(gstRegionRoles.ubPrevPointCount, 3);
  EXPECT_EQ(gstRegionRoles.ubOlderPointCount, 2);
}

TEST_F(TransformFixture, EsdStateHoldsOneHundredTicksAfterTheLastStrongNegativeFrame) {
  gstCommon.uwMaskThreshold = 100;
  gstMutualRegion.ubRegionNum = 1;
  gstRegionRoles.ubPrevPointCount = gstRegionRoles.ubOlderPointCount = 1;
  gstCoordOptm.ubTouchDelayCount = 3;
  gstCommon.swDiffMin = -20;
  JudgeEsdFastMove();
  EXPECT_EQ(gstCoordTranRoles.ubEsdState, 1) << "a touch delay with a quiet frame";
  gstCommon.swDiffMin = -150;
  JudgeEsdFastMove();
  EXPECT_EQ(gstCoordTranRoles.ubEsdState, 2);
  EXPECT_EQ(gstRegionRoles.ubEsdHold, 100);
  gstCoordOptm.ubTouchDelayCount = 0;
  gstCommon.ubTick100ms = 1;
  for (int t = 1; t < 100; ++t) {
    JudgeEsdFastMove();
    ASSERT_EQ(gstCoordTranRoles.ubEsdState, 2) << t;
  }
  JudgeEsdFastMove();
  EXPECT_EQ(gstCoordTranRoles.ubEsdState, 0);
  gstMutualRegion.ubRegionNum = 0;
}

TEST_F(TransformFixture, ShakeCountingMarksByNoiseAndSkipFlagsCapIt) {
  gstCoordNoiseProcCfg.aubData[0] = 0x01;
  gstCoordTranRoles.ubShakeActive = 1;
  struct Case {
    uint16_t noise;
    uint8_t flagA, points, skip1;
    uint8_t kind, hold;
  } cases[] = {
      {2, 0, 0, 0, 16, 1},   {2, 1, 0, 0, 32, 2},  {64, 0, 0, 0, 32, 2},
      {512, 0, 0, 0, 48, 3}, {1, 0, 0, 0, 0, 0},   {1, 0, 5, 0, 48, 3},
      {512, 0, 5, 1, 32, 2},  // skip flag 1 caps even five points
  };
  for (const Case& c : cases) {
    gstCommon.uwNoiseTypeMask = c.noise;
    gstCoordTranRoles.aubFlag[0] = c.flagA;
    gstRegionRoles.ubPrevPointCount = c.points;
    gstRegionRoles.aubSkip[0] = c.skip1;
    ShakeCountTimeProc();
    EXPECT_EQ(gstCoordNoiseProc.ubKindCode, c.kind) << c.noise << " points " << int(c.points);
    EXPECT_EQ(gstCoordNoiseProc.ubHoldStep, c.hold) << c.noise << " points " << int(c.points);
  }
  gstCoordTranRoles.ubShakeActive = 0;
  ShakeCountTimeProc();
  EXPECT_EQ(gstCoordNoiseProc.ubKindCode, 0) << "nothing while the block is inactive";
  gstRegionRoles.aubSkip[0] = 0;
  gstRegionRoles.ubPrevPointCount = 0;
  gstCoordNoiseProcCfg.aubData[0] = 0;
}

TEST_F(TransformFixture, ShakeCountingLengthensHoldAndDelayUpToTheirCaps) {
  gstCoordNoiseProcCfg.aubData[0] = 0x07;
  gstCoordTranRoles.ubShakeActive = 1;
  gstCommon.uwNoiseTypeMask = 512;  // 48, 3
  gstCoordComInput.ubLeaveHoldCnt = 4;
  gstCoordComInput.ubReportDelayCode = 64;
  memset(gstCoordPair.aubLeaveTouchTimer, 0, sizeof(gstCoordPair.aubLeaveTouchTimer));
  memset(gstCoordPair.aubSlotFlag, 0, sizeof(gstCoordPair.aubSlotFlag));
  gstCoordPair.aubLeaveTouchTimer[1] = 0x02;  // held two more frames
  ShakeCountTimeProc();
  EXPECT_EQ(gstCoordComInput.ubLeaveHoldCnt, 6);
  EXPECT_EQ(gstCoordComInput.ubReportDelayCode, 96);
  EXPECT_EQ(gstCoordPair.aubLeaveTouchTimer[1], 0x05);
  ShakeCountTimeProc();
  EXPECT_EQ(gstCoordPair.aubLeaveTouchTimer[1], 0x05) << "once per slot until its flag is cleared";
  gstCoordNoiseProcCfg.aubData[0] = 0;
}

}  // namespace
