// Low temperature: the fits against the functions they approximate, the kept record over
// re-initialisation, the state judgement, the residue-slot sub-rectangle judgement, the
// compensation bump and the judgement by a resting touch.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <vector>

#include "coord_pair.h"
#include "coord_records.h"
#include "low_temp.h"
#include "module_wrappers.h"
#include "quick_ref.h"
#include "signal_proc.h"
#include "tsa_common.h"
#include "tsa_ctrl.h"

namespace {

uint32_t Rect(int r0, int r1, int c0, int c1) { return LtPack({r0, r1, c0, c1}); }

void ResetLowTemp() {
  memset(&gstLowTempCfg, 0, sizeof(gstLowTempCfg));
  ClearLowTempSate();
  LowTempInit(nullptr, 0);
}

TEST(LowTempFit, ReproducesTheTableValuesAndFollowsTheFunctions) {
  const struct {
    bool ln;
    int32_t x, want;
  } values[] = {{true, 1024, 0}, {true, 0, 0}, {true, 10240, 450}, {true, 30720, 301}, {true, 40000, 301},
                {false, 0, 1023}, {false, 1024, 2782}, {false, 4097, 0}};
  for (const auto& v : values) {
    SCOPED_TRACE(testing::Message() << (v.ln ? "ln " : "exp ") << v.x);
    EXPECT_EQ(v.ln ? FitlnFunc(v.x) : FitExpFunc(v.x), v.want);
  }
  // The exponential within 1% of 1024 e^(x/1024) over its range, and no jump where the
  // bands meet.
  for (int32_t x = 0; x <= 4096; x += 32) {
    const double want = 1024.0 * std::exp(x / 1024.0);
    EXPECT_NEAR(FitExpFunc(x), want, want * 0.01) << x;
  }
  for (int32_t edge : {1024, 2048, 3072}) {
    const int32_t step = FitExpFunc(edge + 1) - FitExpFunc(edge);
    EXPECT_GE(step, 0) << edge;
    EXPECT_LE(step, 30) << edge;
  }
  // 1024 / ln(x / 1024) within 6% from twice 1.0 up to 29; falling all the way.
  for (int32_t x = 2048; x < 30720; x += 256) {
    const double want = 1024.0 / std::log(x / 1024.0);
    EXPECT_NEAR(FitlnFunc(x), want, want * 0.06) << x;
  }
}

TEST(LowTempRecord, SurvivesReinitialisationUntilCleared) {
  ResetLowTemp();
  EXPECT_EQ(GetLowTempNclnLen(), 76u);
  EXPECT_EQ(GetLowTempNclnAddress(), static_cast<void*>(&gstLowTempNcln));
  gstLowTempNcln.ubState = kLowTempStateLow;
  gstLowTempNcln.uwCountdown = 1234;
  gstLowTempNcln.ubHold = 1;
  std::vector<uint16_t> map(20, 7);
  LowTempInit(map.data(), 10);
  EXPECT_EQ(gstLowTempNcln.ubState, kLowTempStateLow);
  EXPECT_EQ(gstLowTempNcln.uwCountdown, 1234);
  EXPECT_EQ(gstLowTempNcln.ubHold, 0) << "hold is cleared by every initialisation";
  EXPECT_EQ(map[9], 0);
  EXPECT_EQ(map[10], 7) << "only the given length is cleared";
  for (int16_t level : gstLowTempRectBak.aswCompLevel) EXPECT_EQ(level, kLowTempNotCompensated);
  ClearLowTempSate();
  LowTempInit(nullptr, 0);
  EXPECT_EQ(gstLowTempNcln.ubState, 0);
  EXPECT_EQ(gstLowTempNcln.uwCountdown, 0);
  EXPECT_EQ(gstLowTempNcln.uiMarker, 0x12345678u);
}

TEST(LowTempJudge, EntersLeavesAndRearms) {
  struct Case {
    const char* name;
    uint8_t state;
    uint16_t countdown, warm;
    uint8_t hold, flags;
    int8_t temp;
    uint8_t tick, accumulate, forced, events;
    uint8_t wantState;
    uint16_t wantCountdown, wantWarm;
    uint8_t wantFlags, wantLeft;
  };
  const Case cases[] = {
      {"confident report at the entry temperature", 0, 0, 0, 0, 3, -5, 1, 0, 0, 0, 2, 24000, 0, 5, 0},
      {"unconfident cold report", 0, 0, 0, 0, 1, -20, 1, 0, 0, 0, 0, 0, 0, 1, 0},
      {"warmer than the entry temperature", 0, 0, 0, 0, 3, -4, 1, 0, 0, 0, 0, 0, 0, 5, 0},
      {"cold report re-arms the countdown", 2, 100, 0, 0, 7, -10, 1, 0, 0, 0, 2, 24000, 0, 5, 0},
      {"running countdown, not hot", 2, 100, 0, 0, 5, 0, 1, 0, 0, 0, 2, 99, 0, 1, 0},
      {"hot at exactly the leave temperature leaves at once", 2, 100, 0, 0, 1, 10, 1, 0, 0, 0, 0, 0, 0, 1, 1},
      {"hot with accumulation counts from 1", 2, 100, 0, 0, 1, 10, 1, 1, 0, 0, 2, 99, 2, 1, 0},
      {"warm counter past 1200 leaves", 2, 100, 1200, 0, 1, 10, 1, 1, 0, 0, 0, 0, 0, 1, 1},
      {"warm counter keeps counting when no longer hot", 2, 100, 50, 0, 1, 0, 1, 1, 0, 0, 2, 99, 50, 1, 0},
      {"held state is not ended by warmth", 2, 100, 0, 1, 1, 30, 1, 0, 0, 0, 2, 99, 0, 1, 0},
      {"a step beyond the countdown leaves", 2, 5, 0, 0, 1, 0, 10, 0, 0, 0, 0, 0, 0, 1, 1},
      {"forced by configuration", 0, 0, 0, 0, 1, 40, 1, 0, 1, 0, 2, 0, 0, 1, 0},
      {"a configured event leaves", 2, 100, 0, 0, 1, -20, 1, 0, 0, 1, 0, 100, 0, 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResetLowTemp();
    gstLowTempCfg.aubData[0] = 0x08;
    gstLowTempCfg.aubData[24] = static_cast<uint8_t>(-5);
    gstLowTempCfg.aubData[25] = 10;
    if (c.forced) gstLowTempCfg.aubData[21] = 0x80;
    gstLowTempNcln.ubState = c.state;
    gstLowTempNcln.uwCountdown = c.countdown;
    gstLowTempNcln.uwWarmCnt = c.warm;
    gstLowTempNcln.ubHold = c.hold;
    gubRefUpdateCnt = 1;
    LowTempInput in{};
    const int8_t temp = c.temp;
    in.psbTemperature = &temp;
    in.ubTempFlags = c.flags;
    in.ubTick = c.tick;
    in.ubAccumulate = c.accumulate;
    in.ubLeaveEvent2 = c.events;
    LowTempJudge(&in);
    EXPECT_EQ(in.ubStateOut, c.wantState);
    EXPECT_EQ(gstLowTempNcln.ubState, c.wantState);
    if (!c.forced && !c.events) {
      EXPECT_EQ(gstLowTempNcln.uwCountdown, c.wantCountdown);
      EXPECT_EQ(gstLowTempNcln.uwWarmCnt, c.wantWarm);
      EXPECT_EQ(in.ubTempFlags, c.wantFlags);
    }
    EXPECT_EQ(gstLowTempNcln.ubLeft, c.wantLeft);
    if (c.wantLeft) {
      EXPECT_EQ(gubRefUpdateCnt, 0) << "leaving clears the follow-up request";
    }
  }
}

// The stage's wrapper: the judgement goes to the debug record and the common record takes
// the state, the stepped temperature flags and the touch count.
TEST(LowTempWrapper, WritesTheJudgementBack) {
  ResetLowTemp();
  gstLowTempCfg.aubData[24] = static_cast<uint8_t>(-5);
  gstLowTempCfg.aubData[25] = 10;
  gpsbCmdTemperatureValueNcln[0] = -8;
  gstCommon.ubTempFlags = 3;
  gstCommon.ubTouchCount = 2;
  gstCommon.ubTick100ms = 0;
  LowTempOptWrapper();
  EXPECT_EQ(gstSelkoAlgoDebugInfo.ubLowTempJudge, 2);
  EXPECT_EQ(gstCommon.ubLowTempState, 2);
  EXPECT_EQ(gstCommon.ubTempFlags, 5);
  EXPECT_EQ(gstCommon.ubTouchCount, 2);
  EXPECT_EQ(gstLowTempNcln.uwCountdown, 24000);
  LowTempOptWrapper();
  EXPECT_EQ(gstCommon.ubTempFlags, 1) << "the report of the previous frame is forgotten";
  EXPECT_EQ(gstCommon.ubLowTempState, 2);
  gpsbCmdTemperatureValueNcln[0] = 0;
}

// The touch count the stage works with is the point count of the previous frame, which the
// pairing stage hands on before it pairs; without it the optimisation sees no touches and
// never opens a residue slot.
TEST(LowTempWrapper, PairingHandsThePreviousPointCountOn) {
  const struct {
    uint8_t points;
  } cases[] = {{1}, {0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(int{c.points});
    gstCoordComOutput.ubPointNum = c.points;
    gstCommon.ubTouchCount = static_cast<uint8_t>(c.points + 7);
    CoordPairWrapper();
    EXPECT_EQ(gstCommon.ubTouchCount, c.points);
    EXPECT_EQ(gstCoordComOutput.ubPointNumLast, c.points);
  }
}

TEST(LowTempSubRect, JudgesAgainstConfirmedSlotsOnly) {
  ResetLowTemp();
  gstLowTempRectBak.aubState[0] = 2;  // a candidate is not used
  gstLowTempRectBak.auiSaved[0] = Rect(0, 20, 0, 20);
  gstLowTempRectBak.aubState[1] = kLowTempSlotConfirmed;
  gstLowTempRectBak.auiSaved[1] = Rect(2, 6, 2, 6);
  gstLowTempRectBak.aubState[3] = kLowTempSlotConfirmed;
  gstLowTempRectBak.auiSaved[3] = Rect(10, 12, 10, 12);
  const struct {
    uint32_t a, b;
    uint8_t want;
  } cases[] = {
      {Rect(2, 3, 2, 3), Rect(5, 6, 5, 6), 2},      // both inside slot 1
      {Rect(2, 3, 2, 3), Rect(5, 7, 5, 6), 1},      // b: 4 of 6 nodes inside
      {Rect(2, 3, 2, 3), Rect(6, 8, 6, 8), 0},      // b: 1 of 9 nodes inside
      {Rect(2, 3, 2, 3), Rect(10, 11, 10, 11), 0},  // inside two different slots
      {Rect(3, 2, 2, 3), Rect(2, 3, 2, 3), 0},      // a has a start beyond its end
      {Rect(14, 15, 14, 15), Rect(15, 16, 15, 16), 0},
  };
  for (const auto& c : cases) EXPECT_EQ(JudgeSubRect(c.a, c.b), c.want) << std::hex << c.a << " " << c.b;
  EXPECT_EQ(RectOverlapCount(Rect(0, 3, 0, 3), Rect(2, 9, 3, 9)), 2);
  EXPECT_EQ(RectOverlapCount(Rect(0, 3, 3, 0), Rect(0, 9, 0, 9)), 0);
}

// A 7 x 7 map with a peak at (3, 3) and the given 3 x 3 ring around it.
std::vector<int16_t> Peak(int16_t peak, const int16_t ring[8]) {
  std::vector<int16_t> m(49, 0);
  const int dr[8] = {-1, -1, -1, 0, 0, 1, 1, 1}, dc[8] = {-1, 0, 1, -1, 1, -1, 0, 1};
  m[3 * 7 + 3] = peak;
  for (int i = 0; i < 8; ++i) m[(3 + dr[i]) * 7 + 3 + dc[i]] = ring[i];
  return m;
}

TEST(LowTempGauss, HeightOfAPointFromItsNeighbourhood) {
  const int16_t flat[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  const int16_t even[8] = {60, 60, 60, 60, 60, 60, 60, 60};
  const int16_t lopsided[8] = {35, 35, 35, 35, 300, 35, 35, 35};
  const uint32_t all = Rect(0, 6, 0, 6);
  EXPECT_EQ(GaussDiff(Peak(40, flat).data(), 7, 7, all), 0) << "a peak below 41";
  EXPECT_EQ(GaussDiff(Peak(500, even).data(), 7, 7, Rect(4, 3, 0, 6)), 0) << "an empty rectangle";
  EXPECT_EQ(GaussDiff(Peak(500, flat).data(), 7, 7, all), 500 * 1024) << "no far node";
  const int32_t g = GaussDiff(Peak(500, even).data(), 7, 7, all);
  EXPECT_GE(g, 500 * 1024);
  EXPECT_LE(g, 500 * 1024 * 21 / 20) << "a centred peak is its own height";
  EXPECT_GT(GaussDiff(Peak(500, lopsided).data(), 7, 7, all), g) << "mass off the peak raises the height";
}

TEST(LowTempGauss, FloatingFingerStatesFollowTheLimits) {
  memset(&gstMutualHoverCfg, 0, sizeof(gstMutualHoverCfg));
  gstMutualHoverCfg.aubData[0] = 100;  // height limit
  gstMutualHoverCfg.aubData[2] = 50;   // leave limit
  gstMutualHoverCfg.aubData[4] = 2;    // enter count
  gstMutualHoverCfg.aubData[5] = 2;    // leave count
  gstMutualHoverCfg.aubData[6] = 0xE8;  // first direct limit 1000
  gstMutualHoverCfg.aubData[7] = 0x03;
  gstMutualHoverCfg.aubData[8] = 0xFF;  // second direct limit 65535
  gstMutualHoverCfg.aubData[9] = 0xFF;
  const int16_t even[8] = {60, 60, 60, 60, 60, 60, 60, 60};
  std::vector<int16_t> map = Peak(200, even);
  uint32_t rects[12];
  for (uint32_t& r : rects) r = Rect(0, 6, 0, 6);
  uint16_t v1[12] = {}, v2[12] = {};
  v1[0] = 1001;  // beyond the direct limit
  v1[1] = 10;    // an ordinary point, about 200 high
  v2[1] = 10;
  // Empty slots put every slot back to its start (not floating, both counts 0): before the
  // test, for what an earlier one left, and after it, for the next one.
  auto emptySlots = [&] {
    uint16_t z1[12] = {}, z2[12] = {};
    FloatingFingerInput e{map.data(), 7, 7, rects, z1, z2, {}, {}, {}};
    FloatingFingerJudge(&e);
  };
  emptySlots();
  struct AtEnd {
    std::function<void()> f;
    ~AtEnd() { f(); }
  } atEnd{emptySlots};
  FloatingFingerInput in{map.data(), 7, 7, rects, v1, v2, {}, {}, {}};
  FloatingFingerJudge(&in);
  EXPECT_EQ(in.aubStateOut[0], 1);
  EXPECT_EQ(in.aubEnterOut[0], 2);
  EXPECT_EQ(in.aubStateOut[2], 2) << "an empty slot";
  EXPECT_EQ(in.aubStateOut[1], 2);
  EXPECT_EQ(in.aubEnterOut[1], 1);
  EXPECT_EQ(v1[1], 0) << "a slot that is not floating loses its first value";
  FloatingFingerJudge(&in);
  EXPECT_EQ(in.aubStateOut[1], 1) << "above the height limit for the enter count";
  EXPECT_EQ(v1[0], 1001) << "a floating slot keeps its value";
}

class LowTempComp : public ::testing::Test {
 protected:
  static constexpr uint8_t kR = 14, kC = 14;
  void SetUp() override {
    ResetLowTemp();
    diff_.assign(kR * kC, 0);
    for (uint32_t& r : regions_) r = 0xFFFFFFFFu;
    in_ = {};
    in_.pswDiff = diff_.data();
    in_.ubRows = kR;
    in_.ubCols = kC;
    in_.puiRegionRects = regions_;
    in_.ubTick = 1;
    in_.ubHistEnable = 1;
  }
  void Confirm(uint8_t k, uint32_t rect, uint16_t time, int16_t peakMax) {
    gstLowTempRectBak.aubState[k] = kLowTempSlotConfirmed;
    gstLowTempRectBak.auiSaved[k] = rect;
    gstLowTempRectBak.auwTime[k] = time;
    gstLowTempRectBak.aswPeakMax[k] = peakMax;
  }
  int16_t At(int r, int c) const { return diff_[r * kC + c]; }
  std::vector<int16_t> diff_;
  uint32_t regions_[12];
  LowTempCompInput in_;
};

TEST_F(LowTempComp, AddsTheQuadraticBumpOverAFadedResidue) {
  Confirm(0, Rect(5, 7, 5, 7), 2, 400);
  LowTempCompensateRect(&in_);
  // Level 0: a = 300, A = 450. At the centre node the bump is A; one node away (4 quarter
  // nodes) it is A x 28^2 >> 10 on that axis.
  EXPECT_EQ(At(6, 6), 450);
  EXPECT_EQ(At(6, 5), 450 * 28 * 28 >> 10);
  EXPECT_EQ(At(5, 5), (450 * 28 * 28 >> 10) * 28 * 28 >> 10);
  EXPECT_EQ(At(4, 6), 0) << "only the rectangle is compensated";
  EXPECT_EQ(in_.ubChanged, 1);
  EXPECT_EQ(in_.uwCompCnt, 1);
  EXPECT_EQ(gstLowTempRectBak.aswCompLevel[0], 0);
  EXPECT_EQ(gstLowTempRectBak.auwCompTime[0], 1);
  EXPECT_EQ(gstLowTempSlotAux.auwCentreRow[0], 24);
  EXPECT_EQ(gstLowTempSlotAux.auwCentreCol[0], 24);
}

TEST_F(LowTempComp, LeavesSlotsThatAreYoungAtTheBorderOrStillStrong) {
  const struct {
    const char* name;
    uint32_t rect;
    uint16_t time;
    int16_t level;
  } cases[] = {
      {"time below 3", Rect(5, 7, 5, 7), 0, 0},
      {"starts in the second row", Rect(1, 3, 5, 7), 5, 0},
      {"ends in the second-last column", Rect(5, 7, 10, 12), 5, 0},
      {"mean at 300", Rect(5, 7, 5, 7), 5, 300},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    Confirm(2, c.rect, c.time, 600);
    const LtRect r = LtUnpack(c.rect);
    for (int row = r.r0; row <= r.r1; ++row)
      for (int col = r.c0; col <= r.c1; ++col) diff_[row * kC + col] = c.level;
    const std::vector<int16_t> before = diff_;
    LowTempCompensateRect(&in_);
    EXPECT_EQ(diff_, before);
    EXPECT_EQ(in_.ubChanged, 0);
    EXPECT_EQ(gstLowTempRectBak.aswCompLevel[2], kLowTempNotCompensated);
  }
}

// A 3 x 3 resting touch at rows 5-7, columns 5-7 of a 14 x 14 panel whose peak fades by
// the given amount each frame.
class RestingTouch : public ::testing::Test {
 protected:
  static constexpr uint8_t kR = 14, kC = 14;
  void SetUp() override {
    QuickRefUpdateInit();
    memset(&gstLowTempNcln, 0, sizeof(gstLowTempNcln));
    diff_.assign(kR * kC, 0);
    memset(rects_, 0xFF, sizeof(rects_));
    memset(values_, 0, sizeof(values_));
    memset(x_, 0xFF, sizeof(x_));
    memset(y_, 0xFF, sizeof(y_));
    in_ = {kR, kC, 0, diff_.data(), rects_, values_, x_, y_, x_, y_};
  }
  void Frame(int32_t peak, uint32_t rect = Rect(5, 7, 5, 7), uint8_t touches = 1) {
    std::fill(diff_.begin(), diff_.end(), 0);
    if (touches != 0) {
      const LtRect r = LtUnpack(rect);
      for (int row = r.r0; row <= r.r1; ++row)
        for (int c = r.c0; c <= r.c1; ++c) diff_[row * kC + c] = static_cast<int16_t>(peak / 2);
      diff_[(r.r0 + 1) * kC + r.c0 + 1] = static_cast<int16_t>(peak);
      rects_[0] = rect;
      values_[0] = static_cast<uint16_t>(peak);
      x_[0] = 3000;
      y_[0] = 3000;
    } else {
      values_[0] = 0;
    }
    in_.ubTouchCount = touches;
    JudgeLowTempByTouch(&in_);
  }
  std::vector<int16_t> diff_;
  uint32_t rects_[12];
  uint16_t values_[12], x_[12], y_[12];
  LowTempTouchInput in_;
};

TEST_F(RestingTouch, CountsASlowFade) {
  int32_t peak = 800;
  for (int i = 0; i < 5; ++i) Frame(peak);
  EXPECT_EQ(gstLowTempInfo.ubFrameCnt, 5);
  EXPECT_EQ(gstLowTempInfo.uwPeakTol, 32767);
  EXPECT_EQ(gstLowTempInfo.uiRect, Rect(5, 7, 5, 7)) << "nine nodes are not grown";
  for (int i = 0; i < 30; ++i) Frame(peak -= 6);
  EXPECT_GE(gstLowTempInfo.ubFadingCnt, 20) << "a finger fading 6 per frame fades slowly";
  EXPECT_EQ(gstLowTempInfo.uwHold, 3);
}

TEST_F(RestingTouch, NeverTracksLargeOrEdgeTouches) {
  const struct {
    const char* name;
    uint32_t rect;
  } cases[] = {{"48 nodes", Rect(4, 9, 3, 10)}, {"reaches row 1", Rect(1, 3, 5, 7)},
               {"reaches the second-last row", Rect(9, 12, 5, 7)}, {"starts in column 1", Rect(5, 7, 1, 3)}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    for (int i = 0; i < 6; ++i) Frame(600, c.rect);
    EXPECT_EQ(gstLowTempInfo.ubFrameCnt, 0);
  }
  SetUp();
  for (int i = 0; i < 6; ++i) Frame(600, Rect(4, 9, 4, 10));  // 42 nodes: tracked
  EXPECT_EQ(gstLowTempInfo.ubFrameCnt, 6);
}

TEST_F(RestingTouch, NegativeBlobUnderASingleTouchStopsTheSearch) {
  Frame(600);
  Frame(600);
  ASSERT_EQ(gstLowTempInfo.ubFrameCnt, 2);
  std::fill(diff_.begin(), diff_.end(), 0);
  for (int c = 5; c <= 7; ++c) diff_[5 * kC + c] = diff_[7 * kC + c] = -60;
  in_.ubTouchCount = 1;
  JudgeLowTempByTouch(&in_);
  EXPECT_EQ(gstLowTempInfo.ubFrameCnt, 0);
  EXPECT_EQ(gstLowTempInfo.auwPos[0], 0xFFFF);
}

TEST_F(RestingTouch, HoldCarriesThreeMissingFramesThenResets) {
  for (int i = 0; i < 6; ++i) Frame(600);
  ASSERT_EQ(gstLowTempInfo.uwHold, 3);
  const uint8_t frames = gstLowTempInfo.ubFrameCnt;
  // The touch is missing but its signal stays: tracking goes on while the hold runs down.
  for (int i = 0; i < 3; ++i) {
    in_.ubTouchCount = 0;
    values_[0] = 0;
    JudgeLowTempByTouch(&in_);
    EXPECT_EQ(gstLowTempInfo.uwHold, 2 - i);
    EXPECT_EQ(gstLowTempInfo.ubFrameCnt, frames + 1 + i);
  }
  JudgeLowTempByTouch(&in_);
  EXPECT_EQ(gstLowTempInfo.ubFrameCnt, 0) << "the fourth missing frame resets";
}

}  // namespace

namespace {

// The optimisation flow on a 14 x 14 panel: one region (region 0) reported as the touch of
// slot 0, over a flat raw map and reference.
class LowTempFlow : public ::testing::Test {
 protected:
  static constexpr uint8_t kR = 14, kC = 14;
  static constexpr uint32_t kN = kR * kC;
  void SetUp() override {
    ResetLowTemp();
    gstLowTempNcln.ubState = kLowTempStateLow;
    diff_.assign(kN, 0);
    raw_.assign(kN, 2000);
    ref_.assign(kN, 2000);
    scratch_.assign(2 * kN, 0);
    for (uint32_t& r : rects_) r = 0xFFFFFFFFu;
    for (uint32_t& r : regions_) r = 0xFFFFFFFFu;
    memset(values_, 0, sizeof(values_));
    memset(regionValues_, 0, sizeof(regionValues_));
    memset(weights_, 0, sizeof(weights_));
    memset(touchRegion_, 0xFF, sizeof(touchRegion_));
  }
  // The touch over RECT with the given peak (the other nodes of the rectangle at 2/3 of
  // it), or no touch with PEAK 0.
  LowTempInput Frame(int16_t peak, uint32_t rect = Rect(5, 7, 5, 7)) {
    std::fill(diff_.begin(), diff_.end(), 0);
    if (peak != 0) {
      const LtRect r = LtUnpack(rect);
      for (int row = r.r0; row <= r.r1; ++row)
        for (int c = r.c0; c <= r.c1; ++c) diff_[row * kC + c] = static_cast<int16_t>(peak * 2 / 3);
      diff_[(r.r0 + 1) * kC + r.c0 + 1] = peak;
    }
    for (uint32_t i = 0; i < kN; ++i) raw_[i] = static_cast<uint16_t>(ref_[i] - diff_[i]);
    rects_[0] = regions_[0] = rect;
    values_[0] = regionValues_[0] = static_cast<uint16_t>(peak);
    weights_[0] = peak != 0 ? 100 : 0;
    touchRegion_[0] = peak != 0 ? 0 : 0xFF;
    LowTempInput in{};
    in.ubRows = kR;
    in.ubCols = kC;
    in.uwNodes = kN;
    in.ubTouchListLen = 12;
    in.puiTouchRects = rects_;
    in.puiRegionRects = regions_;
    in.puwTouchValues = values_;
    in.pubTouchRegion = touchRegion_;
    in.ubTick = 1;
    in.puwRaw = raw_.data();
    in.pswDiff = diff_.data();
    in.puwScratchA = scratch_.data();
    in.puwScratchB = scratch_.data() + kN;
    in.puwRef = ref_.data();
    in.puwRegionWeights = weights_;
    in.puwRegionValues = regionValues_;
    in.ubTouchCount = peak != 0 ? 1 : 0;
    in.ubStateOut = kLowTempStateLow;
    LowTempOpt(&in);
    return in;
  }
  std::vector<int16_t> diff_;
  std::vector<uint16_t> raw_, ref_, scratch_;
  uint32_t rects_[12], regions_[12];
  uint16_t values_[12], regionValues_[12], weights_[12];
  uint8_t touchRegion_[12];
};

TEST_F(LowTempFlow, RestingTouchBecomesAConfirmedResidue) {
  Frame(600);
  EXPECT_EQ(gstLowTempRectBak.aubState[0], 1) << "a strong region opens a slot";
  EXPECT_EQ(gstLowTempRectBak.auiSaved[0], Rect(5, 7, 5, 7));
  // It stays in place: after twenty frames of overlap (and time) it counts as faded.
  int frames = 1;
  while (gstLowTempRectBak.aubState[0] == 1 && frames < 40) Frame(600), ++frames;
  EXPECT_EQ(gstLowTempRectBak.aubState[0], kLowTempSlotConfirmed);
  EXPECT_EQ(frames, 22);
  EXPECT_EQ(JudgeSubRect(Rect(5, 6, 5, 6), Rect(6, 7, 6, 7)), 2);
}

TEST_F(LowTempFlow, SlotWithoutAMatchingTouchIsCleared) {
  Frame(600);
  ASSERT_EQ(gstLowTempRectBak.aubState[0], 1);
  Frame(600, Rect(9, 11, 9, 11));  // a touch elsewhere: the slot's centre is too far
  EXPECT_EQ(gstLowTempRectBak.aubState[0], 0);
  EXPECT_EQ(gstLowTempRectBak.auiSaved[0], 0u);
}

TEST_F(LowTempFlow, EightFramesWithoutTouchesKeepTheSlotsTheNinthClearsThem) {
  gstLowTempRectBak.aubState[2] = kLowTempSlotConfirmed;
  gstLowTempRectBak.auiSaved[2] = Rect(5, 7, 5, 7);
  gstLowTempRectBak.aswCompLevel[2] = 40;
  for (int i = 0; i < 8; ++i) Frame(0);
  EXPECT_EQ(gstLowTempRectBak.aubState[2], kLowTempSlotConfirmed);
  Frame(0);
  EXPECT_EQ(gstLowTempRectBak.aubState[2], 0);
  EXPECT_EQ(gstLowTempRectBak.aswCompLevel[2], kLowTempNotCompensated);
}

TEST_F(LowTempFlow, WeakTouchesAreSuppressedInsideAtOnceAtTheBorderAfterThirty) {
  gstLowTempCfg.aubData[0] = 0x20;  // the weak-touch test
  const struct {
    const char* name;
    uint32_t rect;
    int frames;
  } cases[] = {{"inside", Rect(9, 11, 9, 11), 1}, {"within two nodes of the border", Rect(1, 3, 9, 11), 30}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    gstLowTempCfg.aubData[0] = 0x20;
    // A weak region on the touch list beyond the slots' entries: touch 6, region 6.
    LowTempInput in{};
    for (int i = 1; i <= c.frames; ++i) {
      values_[6] = regionValues_[6] = 0;
      in = Frame(0);  // clears the map, the slot touch and the no-touch bookkeeping runs
      rects_[6] = regions_[6] = c.rect;
      values_[6] = regionValues_[6] = 150;
      weights_[6] = 100;
      touchRegion_[6] = 6;
      const LtRect r = LtUnpack(c.rect);
      for (int row = r.r0; row <= r.r1; ++row)
        for (int col = r.c0; col <= r.c1; ++col) diff_[row * kC + col] = 150;
      in.ubTouchCount = 1;
      LowTempOpt(&in);
      if (i < c.frames) {
        EXPECT_EQ(weights_[6], 100) << i;
        EXPECT_EQ(in.ubTouchCount, 1) << i;
      }
    }
    EXPECT_EQ(weights_[6], 0);
    EXPECT_EQ(values_[6], 0);
    EXPECT_EQ(in.ubTouchCount, 0);
    EXPECT_EQ(gstLowTempNcln.ubSuppressed, 1);
  }
}

TEST_F(LowTempFlow, FingerComingBackReleasesTheResidueAtOnce) {
  LowTempRectBak& b = gstLowTempRectBak;
  b.aubState[0] = kLowTempSlotConfirmed;
  b.auiSaved[0] = Rect(5, 7, 5, 7);
  b.auwTime[0] = 10;
  b.auwNodes[0] = 9;
  b.aswTotal[0] = 0;
  for (int16_t& m : b.aswMeanHist[0]) m = 400;  // the residue's level has dropped sharply
  // A finger over the residue and one row beyond it.
  const LowTempInput in = Frame(400, Rect(5, 8, 5, 8));
  EXPECT_EQ(in.ubSlotReleased, 1);
  EXPECT_EQ(b.aubState[0], 1);
  EXPECT_EQ(b.aubRestore[0], 0) << "a returning finger keeps the reference as it is";
  EXPECT_EQ(gstLowTmpRectBak2.aubAge[0], 1) << "the finger over it keeps the back-up young";
  EXPECT_EQ(gstLowTmpRectBak2.auiRect[0], Rect(5, 7, 5, 7));
  EXPECT_EQ(gstLowTempNcln.ubChangeCnt, 2);
  // The slot change makes the reference follow-up due in the same frame.
  EXPECT_EQ(in.ubRefChanged, 1);
  EXPECT_EQ(gubLowTempUpdate, 0);
  EXPECT_EQ(gstLowTempNcln.ubFrameCnt, 0);
  EXPECT_EQ(weights_[0], 100) << "the finger is reported";
}

TEST_F(LowTempFlow, ResidueWithoutChangeStaysConfirmed) {
  LowTempRectBak& b = gstLowTempRectBak;
  b.aubState[0] = kLowTempSlotConfirmed;
  b.auiSaved[0] = Rect(5, 7, 5, 7);
  b.auwTime[0] = 10;
  b.auwNodes[0] = 9;
  b.aswTotal[0] = 9 * 150;
  for (int16_t& m : b.aswMeanHist[0]) m = 150;
  for (int16_t& t : b.aswTotalHist[0]) t = 9 * 150;
  const LowTempInput in = Frame(150, Rect(5, 7, 5, 7));
  EXPECT_EQ(in.ubSlotReleased, 0);
  EXPECT_EQ(b.aubState[0], kLowTempSlotConfirmed);
  EXPECT_EQ(gstLowTmpRectBak2.aubAge[0], 0);
}

TEST_F(LowTempFlow, QuietFrameCopiesTheRawMapIntoTheReference) {
  for (uint32_t i = 0; i < kN; ++i) ref_[i] = static_cast<uint16_t>(2000 + i % 7);
  gubLowTempUpdate = 1;  // a slot changed: the follow-up is due
  LowTempInput in = Frame(0);
  // Frame(0) made raw = reference; move the raw map and run the next frame.
  gubLowTempUpdate = 1;
  for (uint32_t i = 0; i < kN; ++i) raw_[i] = 1990;
  in.swFrameMax = 20;
  in.ubRefChanged = 0;
  LowTempOpt(&in);
  EXPECT_EQ(in.ubRefChanged, 1);
  EXPECT_EQ(ref_, raw_);
}

TEST_F(LowTempFlow, FollowUpWaitsAndSkipsExtremeFrames) {
  for (int i = 0; i < 9; ++i) {
    const LowTempInput in = Frame(0);
    EXPECT_EQ(in.ubRefChanged, 0) << "not due before ten frames";
  }
  LowTempInput in = Frame(0);
  in.swFrameMax = 1000;
  in.ubRefChanged = 0;
  gubRefUpdateCnt = 0;
  for (int i = 0; i < 20; ++i) LowTempOpt(&in);
  EXPECT_EQ(in.ubRefChanged, 0) << "a difference beyond 999 skips the follow-up";
  EXPECT_EQ(gubRefUpdateCnt, 0);
  in.swFrameMax = 0;
  LowTempOpt(&in);
  EXPECT_EQ(in.ubRefChanged, 1);
}

TEST_F(LowTempFlow, SlotAtTheBorderOverADeeperReleasedResidueIsEmptied) {
  const struct {
    const char* name;
    uint32_t rect;
    uint8_t wantState;
  } cases[] = {{"at the top border", Rect(0, 2, 5, 7), 0}, {"inside the panel", Rect(5, 7, 5, 7), 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    LowTempRectBak& b = gstLowTempRectBak;
    b.aubState[0] = 2;
    b.auiSaved[0] = b.auiCurrent[0] = b.auiPrevious[0] = c.rect;
    gstLowTmpRectBak2.aubAge[0] = 10;
    gstLowTmpRectBak2.auiRect[0] = gstLowTmpRectBak2.auiFirstRect[0] = c.rect;
    gstLowTmpRectBak2.aswLevel[0] = -200;
    LowTempInput in = Frame(150, c.rect);
    ASSERT_EQ(b.aubState[0], 2);
    // The residue's negative level shows on two nodes of the slot's rectangle.
    const LtRect r = LtUnpack(c.rect);
    diff_[r.r0 * kC + r.c0] = diff_[r.r1 * kC + r.c1] = -150;
    LowTempOpt(&in);
    EXPECT_EQ(b.aubState[0], c.wantState);
    EXPECT_EQ(b.aubRestore[0] != 0 || c.wantState != 0, true);
  }
}

TEST_F(LowTempFlow, SmoothRawBesideARoughReferenceRebuildsAfterFourDueFrames) {
  gstLowTempCfg.aubData[22] = 10;  // rebuild step W = 10
  for (uint32_t r = 0; r < kR; ++r)
    for (uint32_t c = 0; c < kC; ++c) ref_[r * kC + c] = static_cast<uint16_t>(2000 + ((r + c) % 2) * 40);
  gstLowTempRectBak.aswCompLevel[3] = 10;
  LowTempInput in = Frame(150, Rect(5, 7, 5, 7));
  // The raw map is the touch alone: much smoother than the checkered reference.
  for (uint32_t n = 0; n < kN; ++n) raw_[n] = static_cast<uint16_t>(2000 - diff_[n]);
  for (int i = 1; i <= 4; ++i) {
    gubRefUpdateCnt = 1;  // the follow-up is due
    LowTempOpt(&in);
    EXPECT_EQ(gubLowTempRebuildRequest, i == 4 ? 13 : 0) << i;
    EXPECT_EQ(gubRefUpdateCnt, 0) << "a due frame is counted once";
  }
  EXPECT_EQ(gstLowTempRectBak.aswCompLevel[3], kLowTempNotCompensated) << "the slot record starts again";
  EXPECT_EQ(+gstLowTempNcln.uiRefRough, +gstLowTempNcln.uiRawRough);
  gubRefUpdateCnt = 0;
  LowTempOpt(&in);
  EXPECT_EQ(gubLowTempRebuildRequest, 0) << "a frame that is not due counts nothing";
}

TEST_F(LowTempFlow, PalmIsHeldOffTheReferenceThenAveragedOnce) {
  LowTempInput in = Frame(0);
  in.ubStateFlag = 1;  // a large area lies on the panel
  in.uwRegionSize = 200;
  // The panel's level rises while twenty nodes lie 1000 under the reference (the palm).
  auto run = [&](uint16_t raw) {
    std::fill(raw_.begin(), raw_.end(), raw);
    if (raw != 2000) std::fill(raw_.begin() + 100, raw_.begin() + 120, 1000);
    in.ubRefChanged = 0;
    LowTempOpt(&in);
  };
  run(2000);  // first levels: taken as the palm references
  // Levels are map sums / 256 per frame.
  EXPECT_EQ(gstBigPalmRecord.uwLevelAtUpdate, kN * 2000 / 256);
  run(30000);
  EXPECT_EQ(gstBigPalmRecord.ubFlagA, 0) << "a level that jumped is not yet steady";
  run(30000);
  ASSERT_EQ(gstBigPalmRecord.ubFlagA, 1);
  EXPECT_EQ(gstBigPalmRecord.ubFlagB, 1);
  EXPECT_EQ(guwLowTempPalmCountdown, 5);
  in.ubStateFlag = 0;
  for (int i = 0; i < 5; ++i) {
    run(30000);
    EXPECT_EQ(in.ubRefChanged, 0) << "held: no follow-up while the countdown runs " << i;
    EXPECT_EQ(ref_[0], 2000);
  }
  run(30000);
  EXPECT_EQ(in.ubRefChanged, 1);
  EXPECT_EQ(ref_[0], (30000 + 2000) / 2);
  EXPECT_EQ(gstBigPalmRecord.ubFlagA, 0);
}

TEST_F(LowTempFlow, StrongTouchIsNotSuppressed) {
  gstLowTempCfg.aubData[0] = 0x20;
  const LowTempInput in = Frame(600, Rect(9, 11, 9, 11));
  EXPECT_EQ(weights_[0], 100);
  EXPECT_EQ(in.ubTouchCount, 1);
}

}  // namespace
