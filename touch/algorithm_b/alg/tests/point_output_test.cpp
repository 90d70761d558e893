// Touch IDs, events and the result output, driven through the real point chain of a frame:
// ID assignment, position mapping, result output and the end-of-frame bookkeeping.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "luma_edge.h"
#include "luma_env.h"
#include "luma_front.h"
#include "luma_noise.h"
#include "luma_search.h"
#include "luma_smooth.h"
#include "luma_water_proof.h"

namespace {

struct In {
  uint32_t x;
  uint32_t y;
  uint8_t weight = 40;
  uint8_t area = 2;
};

struct Out {
  uint32_t id;
  uint32_t x;
  uint32_t y;
  uint32_t event;
  bool operator==(const Out &o) const { return id == o.id && x == o.x && y == o.y && event == o.event; }
};

std::ostream &operator<<(std::ostream &os, const Out &o) {
  return os << "{id " << o.id << " at " << o.x << "," << o.y << " event " << o.event << "}";
}

constexpr uint32_t kDown = 0;
constexpr uint32_t kUp = 1;
constexpr uint32_t kContact = 2;

class PointOutput : public ::testing::Test {
 protected:
  void SetUp() override {
    register_alg_module(nullptr);
    alg_module_init();
    AppPwrFilterInit();
    std::memset(g_ucLastTouchWeight, 0, sizeof(g_ucLastTouchWeight));
    std::memset(g_ucLastTouchArea, 0, sizeof(g_ucLastTouchArea));
    g_stSysParam.ucGameMode = 1;  // no single-tap precision unless a test asks for it
  }
  void TearDown() override {
    g_stSysParam.ucGameMode = 0;
    AppPwrFilterInit();
  }

  // One frame of the point chain with these points, in list order; returns the result.
  // With `stage3` the frame also runs the point stage after the IDs, as the flow does.
  static std::vector<Out> Frame(const std::vector<In> &points, bool stage3 = false) {
    LumaTouchData &t = g_stTouchData;
    for (size_t k = 0; k < points.size(); ++k) {
      LumaPoint &p = t.astPoint[k];
      std::memset(&p, 0xFF, sizeof(p));
      p.x = points[k].x;
      p.y = points[k].y;
      p.weight = points[k].weight;
      p.area = points[k].area;
    }
    t.ucPointNum = static_cast<uint8_t>(points.size());
    AppPointFilter(2);
    AppPointIDProcess();
    if (stage3) AppPointFilter(3);
    AppPosMapping();
    const uint8_t n = AppTouchResultOutput();
    AppBackLastState();
    std::vector<Out> out;
    for (uint8_t k = 0; k < n; ++k) {
      const LumaRptPoint &r = g_stRptInfo[k];
      out.push_back({r.id, r.x, r.y, r.event});
    }
    return out;
  }
};

TEST_F(PointOutput, OneFingerDownMovesAndLiftsOnce) {
  EXPECT_EQ(Frame({{1000, 2000}}), (std::vector<Out>{{0, 1000, 2000, kDown}}));
  EXPECT_EQ(Frame({{1100, 2100}}), (std::vector<Out>{{0, 1100, 2100, kContact}}));
  EXPECT_EQ(g_ucLastOutputPtCnt, 1);
  // The lift is reported once, at the last position output.
  EXPECT_EQ(Frame({}), (std::vector<Out>{{0, 1100, 2100, kUp}}));
  EXPECT_EQ(g_ucLastOutputPtCnt, 0);
  EXPECT_EQ(g_stTouchData.astEvent[0].ucEvent, 3);
  EXPECT_TRUE(Frame({}).empty());
  // Nothing was requested: the last-output list is emptied.
  const auto *bytes = reinterpret_cast<const uint8_t *>(g_stTouchData.astLastOutput);
  for (size_t i = 0; i < sizeof(g_stTouchData.astLastOutput); ++i) ASSERT_EQ(bytes[i], 0xFF) << i;
  // A new touch starts again from ID 0.
  EXPECT_EQ(Frame({{5000, 9000}}), (std::vector<Out>{{0, 5000, 9000, kDown}}));
}

TEST_F(PointOutput, CrossingFingersKeepTheirIdsWhateverTheListOrder) {
  Frame({{4000, 10000}, {8000, 16000}});
  // They move towards each other along x, 1200 a frame, and the list order swaps.
  EXPECT_EQ(Frame({{6800, 16000}, {5200, 10000}}),
            (std::vector<Out>{{1, 6800, 16000, kContact}, {0, 5200, 10000, kContact}}));
  // They pass each other in x; the kept pairing is still the shorter total distance.
  EXPECT_EQ(Frame({{5600, 16000}, {6400, 10000}}),
            (std::vector<Out>{{1, 5600, 16000, kContact}, {0, 6400, 10000, kContact}}));
}

TEST_F(PointOutput, NewFingersTakeTheLowestFreeIds) {
  Frame({{2000, 3000}, {9000, 3000}});
  std::vector<Out> out = Frame({{9000, 3100}, {2000, 3100}, {5000, 30000}});
  ASSERT_EQ(out.size(), 3u);
  EXPECT_EQ(out[0].id, 1u);
  EXPECT_EQ(out[1].id, 0u);
  EXPECT_EQ(out[2], (Out{2, 5000, 30000, kDown}));
  // ID 0 lifts: its up follows this frame's points, at its last position.
  out = Frame({{9000, 3200}, {5000, 30100}});
  EXPECT_EQ(out, (std::vector<Out>{{1, 9000, 3200, kContact}, {2, 5000, 30100, kContact}, {0, 2000, 3100, kUp}}));
  // The next new finger takes the lowest free ID again.
  out = Frame({{9000, 3300}, {300, 300}, {5000, 30200}});
  EXPECT_EQ(out, (std::vector<Out>{{1, 9000, 3300, kContact}, {0, 300, 300, kDown}, {2, 5000, 30200, kContact}}));
}

TEST_F(PointOutput, PredictionUsesTheLastStepWhenATouchIsLost) {
  // Two fingers moving right by 1600 a frame; when one is lost the other is matched against
  // where each was heading, not where each was.
  Frame({{2000, 8000}, {5200, 8000}});
  Frame({{3600, 8000}, {6800, 8000}});
  // From where they were, 5300 is nearer ID 1 (1500 against 1700); from where they were
  // heading (5200 and 8400) it is ID 0's.
  const std::vector<Out> out = Frame({{5300, 8000}});
  EXPECT_EQ(g_usPointidProveFlag, 1);
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0], (Out{0, 5300, 8000, kContact}));
  EXPECT_EQ(out[1], (Out{1, 6800, 8000, kUp}));
}

TEST_F(PointOutput, WeightAndAreaFollowSlowly) {
  Frame({{1000, 1000, 40, 2}});
  EXPECT_EQ(g_ucLastTouchWeight[0], 40);
  EXPECT_EQ(g_ucLastTouchArea[0], 32);
  Frame({{1000, 1000, 50, 4}});  // within 15 and 32: kept
  EXPECT_EQ(g_ucLastTouchWeight[0], 40);
  EXPECT_EQ(g_ucLastTouchArea[0], 32);
  Frame({{1000, 1000, 60, 9}});  // beyond: one step toward
  EXPECT_EQ(g_ucLastTouchWeight[0], 41);
  EXPECT_EQ(g_ucLastTouchArea[0], 48);
  // A large finger's area saturates instead of wrapping to a small one (20 x 16 = 320).
  Frame({});
  Frame({{1000, 1000, 40, 20}});
  EXPECT_EQ(g_ucLastTouchArea[0], 255);
}

TEST_F(PointOutput, PowerHoldDelaysANewTouchAndReportsItAsDown) {
  g_stPowerInfo[LUMA_PWR_LEVEL] = 2;
  EXPECT_TRUE(Frame({{1000, 1000}}).empty());
  EXPECT_TRUE(Frame({{1000, 1100}}).empty());
  EXPECT_EQ(Frame({{1000, 1200}}), (std::vector<Out>{{0, 1000, 1200, kDown}}));
  EXPECT_EQ(Frame({{1000, 1300}}), (std::vector<Out>{{0, 1000, 1300, kContact}}));
  EXPECT_EQ(Frame({}), (std::vector<Out>{{0, 1000, 1300, kUp}}));
  // A touch lifted while still held is never reported, its lift neither.
  EXPECT_TRUE(Frame({{3000, 3000}}).empty());
  EXPECT_TRUE(Frame({}).empty());
}

TEST_F(PointOutput, CloseColumnsArmThePowerFilter) {
  struct Case {
    uint8_t rx_a, rx_b, mode;
  };
  for (const Case &c : {Case{10, 13, 2}, Case{10, 14, 0}, Case{20, 20, 2}}) {
    g_stPeakData.ucMcPosPeakNum = 2;
    g_stPeakData.aucMcPeakPos[0] = 3;
    g_stPeakData.aucMcPeakPos[1] = c.rx_a;
    g_stPeakData.aucMcPeakPos[2] = 12;
    g_stPeakData.aucMcPeakPos[3] = c.rx_b;
    AppPeakInSameColCheck();
    EXPECT_EQ(g_stPowerInfo[LUMA_PWR_MODE], c.mode) << int{c.rx_a} << " " << int{c.rx_b};
  }
}

TEST_F(PointOutput, SecondTapNearTheFirstIsReportedBetweenThem) {
  g_stSysParam.ucGameMode = 0;
  Frame({{5000, 5000}});
  Frame({{5020, 5010}});  // moves less than 48
  Frame({});
  const std::vector<Out> out = Frame({{5100, 5000}});
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0], (Out{0, 5050, 5000, kDown}));
  // A tap far from the first is reported where it is.
  Frame({});
  Frame({});
  Frame({{5000, 5000}});
  Frame({});
  EXPECT_EQ(Frame({{5600, 5000}}), (std::vector<Out>{{0, 5600, 5000, kDown}}));
}

TEST_F(PointOutput, WaterHoldsALostTouchForOneFrame) {
  g_stSysParam.ucWaterFlag = 1;
  Frame({{4000, 6000}});
  // The frame that loses it reports it where it was; the next one lifts it.
  EXPECT_EQ(Frame({}), (std::vector<Out>{{0, 4000, 6000, kContact}}));
  EXPECT_EQ(g_stTouchData.ucLiftUp, 1);
  EXPECT_EQ(Frame({}), (std::vector<Out>{{0, 4000, 6000, kUp}}));
  EXPECT_TRUE(Frame({}).empty());
  EXPECT_EQ(g_stTouchData.ucLiftUp, 0);
  // Without water a lost touch lifts at once.
  g_stSysParam.ucWaterFlag = 0;
  Frame({{4000, 6000}});
  EXPECT_EQ(Frame({}), (std::vector<Out>{{0, 4000, 6000, kUp}}));
}

TEST_F(PointOutput, AJumpNoFingerMakesEndsTheTouch) {
  s_ucInvalidFrames = 0;
  g_stSysParam.ucGameMode = 0;
  g_ucTypingMode = 0;
  g_usLikeNFNoiseFrame = 0;
  // Outside game mode a slow history (400) allows 3200; one of 500 allows 3840.
  for (const uint32_t step : {400u, 500u}) {
    Frame({{5000, 10000}}, true);
    Frame({{5000, 10000 + step}}, true);
    const std::vector<Out> out = Frame({{5000, 10000 + step + 3300}}, true);
    if (step == 400) {
      // Dropped: the touch lifts where it was last reported, once. The 400 step before it
      // stayed inside the smoother's dead zone, so that is still 10000.
      EXPECT_EQ(out, (std::vector<Out>{{0, 5000, 10000, kUp}}));
      EXPECT_TRUE(Frame({}, true).empty());
    } else {
      EXPECT_EQ(out, (std::vector<Out>{{0, 5000, 13800, kContact}}));
      Frame({}, true);
      EXPECT_TRUE(Frame({}, true).empty());
    }
  }
  // A dropped point gives its place to the last one, which is still judged.
  Frame({{5000, 10000}, {12000, 20000}, {15000, 30000}}, true);
  Frame({{5000, 10100}, {12000, 20100}, {15000, 30100}}, true);
  const std::vector<Out> out = Frame({{9000, 10100}, {12000, 20200}, {15000, 26000}}, true);
  // The 100 and 200 steps stay inside the smoother's dead zone: the points are reported
  // where they went down.
  EXPECT_EQ(out, (std::vector<Out>{{1, 12000, 20000, kContact}, {0, 5000, 10000, kUp}, {2, 15000, 30000, kUp}}));
}

TEST_F(PointOutput, HoldLevelFollowsTheNoiseWhileArmed) {
  struct Case {
    uint8_t mode, overload, not_match, cdma, peaks, minimum, level;
  };
  const Case cases[] = {
      {0, 1, 1, 1, 3, 0, 0},  // off
      {2, 1, 0, 0, 0, 0, 2},  // ADC overload
      {2, 0, 1, 0, 0, 0, 1},  // mutual and self peaks disagree
      {2, 0, 0, 0, 3, 0, 0},  // no CDMA-like noise
      {2, 0, 0, 1, 1, 0, 0},  // one peak
      {2, 0, 0, 1, 2, 0, 1},
      {2, 2, 1, 1, 2, 0, 2},  // high sensitivity (2 in the overload column here)
      {0, 0, 0, 0, 0, 3, 3},  // never below the minimum
  };
  for (const Case &c : cases) {
    g_stSysParam.ucHighSensitivity = c.overload == 2 ? 1 : 0;
    g_stPowerInfo[LUMA_PWR_MODE] = c.mode;
    g_stPowerInfo[LUMA_PWR_LEVEL_MIN] = c.minimum;
    g_ucFwAdcOverLoadFlag = c.overload;
    g_usMcScPeakNotMatchNum = c.not_match;
    g_usMayBeCdmaNoiseFlag = c.cdma;
    g_stPeakData.ucOutPeakNum = c.peaks;
    AppPwrPointFilter();
    EXPECT_EQ(g_stPowerInfo[LUMA_PWR_LEVEL], c.level) << int{c.mode} << int{c.overload} << int{c.not_match}
                                                      << int{c.cdma} << int{c.peaks};
  }
  // Another mode keeps the level it had.
  g_stPowerInfo[LUMA_PWR_MODE] = 1;
  g_stPowerInfo[LUMA_PWR_LEVEL_MIN] = 0;
  AppPwrPointFilter();
  EXPECT_EQ(g_stPowerInfo[LUMA_PWR_LEVEL], 3);
  g_stSysParam.ucHighSensitivity = 0;
  g_ucFwAdcOverLoadFlag = 0;
  g_usMcScPeakNotMatchNum = 0;
  g_usMayBeCdmaNoiseFlag = 0;
}

TEST_F(PointOutput, InvalidFrameCountStopsAt250) {
  s_ucInvalidFrames = 0;
  for (int i = 0; i < 300; ++i) AppInvalidFramesInc();
  EXPECT_EQ(s_ucInvalidFrames, 250);
  s_ucInvalidFrames = 0;
}

TEST_F(PointOutput, GameSpeedTripleByLevel) {
  struct Case {
    uint8_t level;
    uint32_t limit, step, frames;
  };
  const Case cases[] = {{0, 1920, 800, 40}, {1, 1600, 800, 30}, {2, 1280, 640, 30}, {3, 1120, 480, 30}, {4, 1920, 800, 40}};
  for (const Case &c : cases) {
    g_stGameModeCfg[2] = c.level;
    uint32_t limit = 0, step = 0, frames = 0;
    EXPECT_EQ(AppTRGameParamsRefresh(0, 0, &limit, &step, &frames), 1);
    EXPECT_EQ(limit, c.limit) << int{c.level};
    EXPECT_EQ(step, c.step) << int{c.level};
    EXPECT_EQ(frames, c.frames) << int{c.level};
  }
  g_stGameModeCfg[2] = 0;
  g_stSysParam.ucGameMode = 0;
  uint32_t untouched = 7;
  EXPECT_EQ(AppTRGameParamsRefresh(0, 0, &untouched, &untouched, &untouched), 0);
  EXPECT_EQ(untouched, 7u);
}

// A resting finger's jitter stays inside the dead zone; a real move leaves it and is
// followed part of the way, and once the finger rests again the point catches up.
TEST_F(PointOutput, SmoothingHoldsJitterAndFollowsAMove) {
  g_stSysParam.ucGameMode = 0;
  s_ucInvalidFrames = 0;
  Frame({{8000, 20000}}, true);
  for (const uint32_t y : {20150u, 19900u, 20100u}) {
    const std::vector<Out> out = Frame({{8000, y}}, true);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].y, 20000u) << y;
  }
  // 1500 a frame: followed, but not all the way at once.
  uint32_t last = 20000;
  for (const uint32_t y : {21500u, 23000u}) {
    const std::vector<Out> out = Frame({{8000, y}}, true);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_GT(out[0].y, last) << y;
    EXPECT_LT(out[0].y, y) << y;
    last = out[0].y;
  }
  std::vector<Out> out;
  for (int k = 0; k < 10; ++k) out = Frame({{8000, 23000}}, true);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_NEAR(out[0].y, 23000, 4);
  EXPECT_EQ(out[0].x, 8000u);
  Frame({}, true);
  Frame({}, true);
}

TEST_F(PointOutput, EdgeForcedAlphaCountsDownAndFreesThePoint) {
  g_stSysParam.ucGameMode = 0;
  Frame({{8000, 20000}}, true);
  Frame({{8000, 20000}}, true);
  g_ForceAlpha[0] = 8;  // as the edge restraint sets it for a touch it lets through
  // Inside the dead zone a forced point still moves, at half its alpha; a countdown below 4
  // would leave it held.
  const std::vector<Out> out = Frame({{8000, 20300}}, true);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_GT(out[0].y, 20000u);
  EXPECT_LT(out[0].y, 20300u);
  EXPECT_EQ(g_ForceAlpha[0], 7);
  EXPECT_EQ(g_stTouchAlpha[0].usHold, 500);
  Frame({}, true);
  EXPECT_EQ(g_ForceAlpha[0], 0);  // cleared when the touch lifts
  Frame({}, true);
}

TEST_F(PointOutput, StablePointMarksAnEdgeStartAndAHeavyEdgePoint) {
  g_stSysParam.ucGameMode = 0;
  g_stSysParam.ucDispDirection = 0;
  // x 1550 is 3100 in the smoother's doubled units: within 3200 of the border.
  struct Case {
    uint32_t x;
    uint8_t start;
  };
  for (const Case &c : {Case{1550, 1}, Case{1700, 0}, Case{19520 - 1550, 1}}) {
    Frame({{c.x, 20000, 20}}, true);
    EXPECT_EQ(stStablePoint[0].ucEdgeState, c.start) << c.x;
    Frame({}, true);
    Frame({}, true);
  }
  // Still at the edge and heavy: state 2; moved inside: state 0.
  Frame({{1550, 20000, 20}}, true);
  Frame({{1550, 20000, 31}}, true);
  EXPECT_EQ(stStablePoint[0].ucEdgeState, 2);
  EXPECT_EQ(stStablePoint[0].ucMaxWeight, 31);
  EXPECT_EQ(stStablePoint[0].ucContactFrames, 1);
  Frame({{4000, 20000, 31}}, true);
  EXPECT_EQ(stStablePoint[0].ucEdgeState, 0);
  Frame({}, true);
  Frame({}, true);
}

TEST_F(PointOutput, PeakRangesMoveWithThePoint) {
  g_stSysParam.ucGameMode = 0;
  s_ucInvalidFrames = 0;
  Frame({{8000, 20000}}, true);
  uint8_t range[7] = {0, 8, 20, 9, 21, 7, 19};
  std::memcpy(structForecastPointRange[0], range, 7);
  // +2100 in x is two lines; -1500 in y is one line (toward zero).
  Frame({{10100, 18500}}, true);
  const uint8_t moved[7] = {0, 10, 19, 11, 20, 9, 18};
  EXPECT_EQ(std::vector<uint8_t>(structForecastPointRange[0], structForecastPointRange[0] + 7),
            std::vector<uint8_t>(moved, moved + 7));
  // Clamped to the frame's lines; a range not in use is left alone.
  const uint8_t near_edge[7] = {0, 15, 20, 16, 21, 14, 19};
  std::memcpy(structForecastPointRange[0], near_edge, 7);
  structForecastPointRange[1][0] = 255;
  structForecastPointRange[1][1] = 3;
  Frame({{12200, 18500}}, true);
  const int last_line = g_stFrmInfo.aucCfgCopy[6] - 1;
  EXPECT_EQ(structForecastPointRange[0][1], last_line);
  EXPECT_EQ(structForecastPointRange[0][3], last_line);
  EXPECT_EQ(structForecastPointRange[0][5], 16);
  EXPECT_EQ(structForecastPointRange[1][1], 3);
  Frame({}, true);
  Frame({}, true);
  std::memset(structForecastPointRange, 0xFF, sizeof(structForecastPointRange));
}

TEST_F(PointOutput, ThumbPalmStatisticNeedsFourTwoPointFrames) {
  std::memset(g_stThumbExculdePalm, 0, sizeof(g_stThumbExculdePalm));
  for (int k = 0; k < 4; ++k) Frame({{5000, 10000, 20}, {15000, 30000, 60}}, true);
  EXPECT_EQ(g_stThumbExculdePalm[4], 4);
  EXPECT_EQ(g_stThumbExculdePalm[3], 1);
  // The light one leaves, the heavy one stays: a thumb.
  Frame({{15000, 30000, 60}}, true);
  EXPECT_EQ(g_stThumbExculdePalm[2], 1);
  EXPECT_EQ(g_stThumbExculdePalm[3], 0);
  // Three points clear the statistic.
  Frame({{5000, 10000}, {10000, 20000}, {15000, 30000}}, true);
  EXPECT_EQ(std::vector<uint8_t>(g_stThumbExculdePalm, g_stThumbExculdePalm + 5), std::vector<uint8_t>(5, 0));
  Frame({}, true);
  Frame({}, true);
}

TEST_F(PointOutput, TwoTouchesAlongOneSenseSpanLatchAfter21Frames) {
  std::memset(stTruMbRx, 0, sizeof(stTruMbRx));
  LumaTouchData &t = g_stTouchData;
  auto two = [&](uint8_t rx_a, uint8_t rx_b, uint8_t area) {
    t.ucPointNum = 2;
    t.astPoint[0].id = 0;
    t.astPoint[1].id = 1;
    t.astPoint[0].area = t.astPoint[1].area = area;
    t.astPoint[0].ucRx = rx_a;
    t.astPoint[1].ucRx = rx_b;
    AppNfTrbInRxStatuCheck();
  };
  for (int k = 0; k < 20; ++k) two(12, 12, 16);
  EXPECT_EQ(stTruMbRx[6], 0);
  two(12, 12, 16);
  EXPECT_EQ(stTruMbRx[6], 1);
  // Different lines with a weak projection between them, or small areas: released after 3.
  std::memset(g_ssMc2RxDiffer, 0, sizeof(g_ssMc2RxDiffer));
  two(10, 14, 16);
  two(12, 12, 15);
  EXPECT_EQ(stTruMbRx[6], 1);
  two(10, 14, 16);
  EXPECT_EQ(stTruMbRx[6], 0);
  // A strong projection all the way between two lines counts as one span.
  for (int c = 10; c <= 14; ++c) g_ssMc2RxDiffer[c] = 200;
  for (int k = 0; k < 21; ++k) two(10, 14, 16);
  EXPECT_EQ(stTruMbRx[6], 1);
  std::memset(stTruMbRx, 0, sizeof(stTruMbRx));
  std::memset(g_ssMc2RxDiffer, 0, sizeof(g_ssMc2RxDiffer));
  t.ucPointNum = 0;
}

TEST_F(PointOutput, ElongatedSingleTouchMayLeapFurther) {
  s_ucInvalidFrames = 0;
  g_stSysParam.ucGameMode = 0;
  for (const uint8_t ratio : {0, 60}) {
    Frame({{5000, 10000}}, true);
    Frame({{5000, 10400}}, true);
    g_PeakRatioMax = ratio;
    g_stPeakData.ucOutPeakNum = g_stPeakData.ucLastOutPeakNum = 1;
    const std::vector<Out> out = Frame({{5000, 10400 + 6000}}, true);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].event, ratio == 0 ? kUp : kContact) << int{ratio};
    Frame({}, true);
    Frame({}, true);
  }
  g_PeakRatioMax = 0;
  g_stPeakData.ucOutPeakNum = g_stPeakData.ucLastOutPeakNum = 0;
}

}  // namespace
