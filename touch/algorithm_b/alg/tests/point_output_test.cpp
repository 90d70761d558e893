// Touch IDs, events and the result output, driven through the real point chain of a frame:
// ID assignment, position mapping, result output and the end-of-frame bookkeeping.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "luma_env.h"
#include "luma_front.h"
#include "luma_noise.h"
#include "luma_search.h"

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
  EXPECT_EQ(out, (std::vector<Out>{{1, 12000, 20200, kContact}, {0, 5000, 10100, kUp}, {2, 15000, 30100, kUp}}));
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
      {0, 0, 0, 0, 0, 3, 3},  // never below the minimum
  };
  for (const Case &c : cases) {
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

}  // namespace
