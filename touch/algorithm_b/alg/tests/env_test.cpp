// The touch environment, palm and pocket-palm, base compensation decisions, peak
// thresholds and order, and point selection on the module's own records.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <string>
#include <vector>

#include "luma_env.h"
#include "luma_filter.h"
#include "luma_front.h"
#include "luma_noise.h"
#include "luma_peaks.h"

namespace {

constexpr int kRx = 38;

std::vector<uint8_t> g_states;
std::vector<std::string> g_logs;

void StateChange(uint8_t s) { g_states.push_back(s); }
void LogText(int32_t, const char *format, ...) {
  va_list args;
  va_start(args, format);
  const char *text = va_arg(args, const char *);
  va_end(args);
  if (std::string(format) == "%s") g_logs.emplace_back(text);
}

class Env : public ::testing::Test {
 protected:
  void SetUp() override {
    host_ = {};
    host_.state_change = StateChange;
    host_.log = LogText;
    register_alg_module(&host_);
    alg_module_init();
    g_states.clear();
    g_logs.clear();
    std::memset(g_stFrmData.assMcDiff, 0, sizeof(g_stFrmData.assMcDiff));
    std::memset(g_stFrmData.assScDiff, 0, sizeof(g_stFrmData.assScDiff));
    std::memset(g_stFrmData.assMcRxProj, 0, sizeof(g_stFrmData.assMcRxProj));
    std::memset(g_stFrmData.assMcTxProj, 0, sizeof(g_stFrmData.assMcTxProj));
    g_ucFwAdcOverLoadFlag = 0;
    g_usLikeNFNoiseFrame = 0;
    g_stMcNoiseRepo.ucState = 0;
  }
  void TearDown() override { register_alg_module(nullptr); }

  static int16_t &At(int tx, int rx) { return g_stFrmData.assMcDiff[tx * kRx + rx]; }
  static void Peaks(std::initializer_list<std::pair<int, int>> list) {
    uint8_t k = 0;
    for (auto [tx, rx] : list) {
      g_stPeakData.aucMcPeakPos[2 * k] = static_cast<uint8_t>(tx);
      g_stPeakData.aucMcPeakPos[2 * k + 1] = static_cast<uint8_t>(rx);
      AppMcSetPeakValidity(k, 1);
      ++k;
    }
    g_stPeakData.ucMcPosPeakNum = k;
  }
  // Water evidence of a frame: two projection entries below -300.
  static void WaterFrame(bool water) {
    g_stFrmData.assMcRxProj[10] = water ? -400 : 0;
    g_stFrmData.assMcRxProj[11] = water ? -400 : 0;
  }

  AlgHostCallbacks host_{};
};

TEST_F(Env, WaterLatchesAtTheSeventhFrameAndLeavesAfter121Quiet) {
  for (int frame = 0; frame < 6; ++frame) {
    WaterFrame(true);
    EXPECT_EQ(AppWaterStsCheck(), 1);
    EXPECT_EQ(AppIsWaterExist(), 0) << frame;
  }
  EXPECT_EQ(AppIsWaterDetectingSta(), 1);
  AppWaterStsCheck();
  EXPECT_EQ(AppIsWaterExist(), 1);
  EXPECT_EQ(AppCurrentFrmIsWaterSta(), 1);
  EXPECT_EQ(g_usRainWaterCnt, 999);  // raised on the latching frame, then counted down
  WaterFrame(false);
  for (int frame = 0; frame < 120; ++frame) AppWaterStsCheck();
  EXPECT_EQ(AppIsWaterExist(), 1);
  AppWaterStsCheck();
  EXPECT_EQ(AppIsWaterExist(), 0);
  EXPECT_EQ(g_ucWaterOnStsCnt, 0);
}

TEST_F(Env, WaterEvidenceCountsNothingUnderResidualTouchOrOverload) {
  for (uint16_t blocker : {uint16_t{LUMA_TRACE_RESIDUAL}, uint16_t{LUMA_TRACE_RESIDUAL_WATER}, uint16_t{0}}) {
    g_stTraceInfo.usTraceFlag = blocker;
    g_ucFwAdcOverLoadFlag = blocker == 0 ? 1 : 0;
    WaterFrame(true);
    AppWaterStsCheck();
    EXPECT_EQ(g_ucWaterOnStsCnt, 0) << blocker;
  }
}

TEST_F(Env, StrongPeaksSpreadWideStopTheWaterCheck) {
  for (auto [far, stops] : {std::pair{11, true}, std::pair{10, false}}) {
    std::memset(g_stFrmData.assMcDiff, 0, sizeof(g_stFrmData.assMcDiff));
    At(1, 5) = 700;
    At(1 + far, 6) = 700;
    At(5, 7) = 700;
    Peaks({{1, 5}, {1 + far, 6}, {5, 7}});
    WaterFrame(true);
    g_ucWaterOnStsCnt = 0;
    AppWaterStsCheck();
    EXPECT_EQ(g_ucWaterOnStsCnt, stops ? 0 : 1) << far;
  }
}

TEST_F(Env, FloatingStateIsPublishedAFrameLateAndForcedByACharger) {
  for (int i = 0; i < kRx; ++i) {
    g_stFrmData.assScDiff[0][i] = 400;  // normal self line strong
    g_stFrmData.assScDiff[1][i] = 400;  // the water line as strong: state 3
  }
  // The three-frame means start from zeros: 133, then 266 (state 2), then 400 (state 3).
  AppGetTouchEnvironmentStates();
  EXPECT_EQ(g_stTraceInfo.usTraceFlag & LUMA_TRACE_FLOAT_MASK, 0);
  AppGetTouchEnvironmentStates();
  AppGetTouchEnvironmentStates();
  EXPECT_EQ(g_ssScFloatingCheckDebug[5], 111);
  EXPECT_EQ(g_stTraceInfo.usTraceFlag & LUMA_TRACE_FLOAT_MASK, 0x1000);
  AppGetTouchEnvironmentStates();
  EXPECT_EQ(g_stTraceInfo.usTraceFlag & LUMA_TRACE_FLOAT_MASK, 0x1800);
  std::memset(g_stFrmData.assScDiff, 0, sizeof(g_stFrmData.assScDiff));
  g_stSysParam.ucChargeState = 1;
  AppGetTouchEnvironmentStates();
  EXPECT_EQ(g_stTraceInfo.usTraceFlag & LUMA_TRACE_FLOAT_MASK, 0x1800);
  g_stSysParam.ucChargeState = 0;
}

TEST_F(Env, TemperatureDriftNeedsSixFramesOfAPositiveField) {
  for (int i = 0; i < 17 * kRx; ++i) g_stFrmData.assMcDiff[i] = 100;
  for (int frame = 0; frame < 5; ++frame) EXPECT_EQ(AppCheckTemperatureDrift(), 0);
  EXPECT_EQ(AppCheckTemperatureDrift(), 1);
  g_stFrmData.assMcDiff[0] = 0;
  for (int i = 0; i < 17 * kRx; ++i) g_stFrmData.assMcDiff[i] = 0;
  EXPECT_EQ(AppCheckTemperatureDrift(), 0);
}

TEST_F(Env, RefreshNeedsTheLimitPlusOneRequestingFramesInARow) {
  g_stTraceInfo.ucRefreshLimit = 6;
  for (int frame = 0; frame < 6; ++frame) {
    g_stTraceInfo.ucRefreshReq = 1;
    DrvBaseRefreshTraceRun();
    EXPECT_EQ(g_stTraceInfo.ucRefreshReq, 0) << frame;
  }
  g_stTraceInfo.ucRefreshReq = 1;
  DrvBaseRefreshTraceRun();
  EXPECT_EQ(g_stTraceInfo.ucRefreshReq, 1);
  EXPECT_EQ(g_stTraceInfo.ucTraceEn, 0);

  // A frame without a request resets the count; tracing then runs every period-th frame.
  g_stTraceInfo.ucRefreshReq = 0;
  g_stTraceInfo.ucTracePeriod = 3;
  std::vector<int> runs;
  for (int frame = 0; frame < 6; ++frame) {
    g_stTraceInfo.ucTraceEn = 1;
    DrvBaseRefreshTraceRun();
    runs.push_back(g_stTraceInfo.ucTraceEn);
  }
  EXPECT_EQ(runs, (std::vector<int>{0, 0, 1, 0, 0, 1}));
}

TEST_F(Env, UnconfirmedPeaksEnableTheTraceAfter200Frames) {
  Peaks({{8, 19}});
  At(8, 19) = 400;
  for (int frame = 0; frame < 201; ++frame) AppMCScNormalPeakValidCheck();
  EXPECT_FALSE(AppMCScNormalPeakValidCheck());
  // A peak confirmed by the self line resets the count.
  g_stFrmData.assScDiff[0][19] = 500;
  EXPECT_TRUE(AppMCScNormalPeakValidCheck());
}

TEST_F(Env, ArmedPocketPalmEntersOnTheSecondPalmFrameAndLeavesOnTheFirstWithout) {
  g_stSysParam.ucPocketPalmFlag = 5;
  g_bPalmClerFlag = 0;
  g_stPeakData.ucMcPosPeakNum = 0;
  g_stPeakData.usMcOverCnt = 60;  // a blob of 60 nodes
  AppPalmProcess();
  EXPECT_EQ(g_bPalmFlag, 1);
  EXPECT_TRUE(g_states.empty());
  AppPalmProcess();
  EXPECT_EQ(g_stSysParam.ucPocketPalmState, 1);
  EXPECT_EQ(g_states, std::vector<uint8_t>{1});
  EXPECT_EQ(std::count(g_logs.begin(), g_logs.end(), "PocketPalmEnter"), 1);
  g_stPeakData.usMcOverCnt = 0;
  AppPalmProcess();
  EXPECT_EQ(g_stSysParam.ucPocketPalmState, 0);
  EXPECT_EQ(g_states, (std::vector<uint8_t>{1, 0}));
  EXPECT_EQ(std::count(g_logs.begin(), g_logs.end(), "PocketPalmExit"), 1);
}

TEST_F(Env, ANarrowPeakIsSizedByItsWidth) {
  Peaks({{8, 19}});
  At(8, 19) = 450;
  const uint8_t range[5] = {1, 7, 9, 16, 23};  // 3 Tx lines by 8 Rx lines
  std::memcpy(g_stPeakData.aucMcPeakRange, range, 5);
  g_bPalmClerFlag = 0;
  AppPalmProcess();
  EXPECT_EQ(g_usDbgPocketPlamBuf[2], 3);
  EXPECT_EQ(g_bPalmFlag, 0);
  EXPECT_EQ(g_stPeakData.ucMcPosPeakNum, 1);
}

TEST_F(Env, ThresholdsFollowNoiseAndTheLastOutput) {
  struct Case {
    uint8_t game;
    uint8_t last_output;
    uint16_t mc;
    uint16_t sc;
  };
  for (const Case &c : {Case{0, 0, 130, 280}, Case{1, 0, 180, 280}, Case{0, 2, 130, 200}}) {
    g_stSysParam.ucGameMode = c.game;
    g_ucLastOutputPtCnt = c.last_output;
    AppSearchPeakThSet(0);
    EXPECT_EQ(g_stTdParam.usMcThr, c.mc);
    EXPECT_EQ(g_stTdParam.usScThr, c.sc);
    EXPECT_EQ(g_stTdParam.ssMcNegThr, -180);
  }
  g_stSysParam.ucGameMode = 0;
  g_ucLastOutputPtCnt = 0;
  g_stTdParam.ssMcNegThr = -1;
  AppSearchPeakThSet(1);
  EXPECT_EQ(g_stTdParam.usScThr, 200);
  EXPECT_EQ(g_stTdParam.usMcThr, 130);
  EXPECT_EQ(g_stTdParam.ssMcNegThr, -1);
}

TEST_F(Env, OrderKeepsContinuingTouchesAndHoldsNewOnesInWater) {
  At(3, 5) = 600;
  At(12, 30) = 800;
  Peaks({{12, 30}});
  AppMcPeakInOrder();
  ASSERT_EQ(g_stPeakData.ucMcPosPeakNum, 1);
  // Two peaks now; the old touch keeps place 0 although the new one is the stronger.
  At(12, 31) = 500;
  At(12, 30) = 0;
  At(3, 5) = 900;
  Peaks({{3, 5}, {12, 31}});
  AppMcPeakInOrder();
  ASSERT_EQ(g_stPeakData.ucMcPosPeakNum, 2);
  EXPECT_EQ(g_stPeakData.aucMcPeakPos[0], 12);
  EXPECT_EQ(g_stPeakData.aucMcPeakPos[1], 31);
  EXPECT_EQ(g_stPeakData.aucMcPeakPos[2], 3);

  // In water a new second touch waits three frames.
  Peaks({{12, 31}});
  AppMcPeakInOrder();
  g_stTraceInfo.usTraceFlag = LUMA_TRACE_WATER;
  g_ucCurFrmWaterFlag = 1;
  Peaks({{12, 31}});
  AppMcPeakInOrder();
  std::vector<int> counts;
  for (int frame = 0; frame < 4; ++frame) {
    Peaks({{12, 31}, {3, 5}});
    AppMcPeakInOrder();
    counts.push_back(g_stPeakData.ucMcPosPeakNum);
  }
  EXPECT_EQ(counts, (std::vector<int>{1, 1, 1, 2}));
}

TEST_F(Env, ANewWeakTouchIsHeldBackOneFrame) {
  g_stPeakData.ucMcPosPeakNum = 0;
  g_stPeakData.ssMcMaxDiff = 0;
  AppNormalModeProc();
  EXPECT_EQ(g_stTouchData.ucPointNum, 0);
  AppSearchPeakThSet(0);  // nothing output before: the self threshold is 280
  for (int dt = -1; dt <= 1; ++dt) {
    for (int dr = -1; dr <= 1; ++dr) At(8 + dt, 19 + dr) = 150;
  }
  At(8, 19) = 350;
  g_stPeakData.ssMcMaxDiff = 350;
  Peaks({{8, 19}});
  AppNormalModeProc();
  EXPECT_EQ(g_stTouchData.ucPointNum, 0);
  Peaks({{8, 19}});
  g_stPeakData.astMcPeakList[0].x = 1234;
  g_stPeakData.astMcPeakList[0].ulWeightSum = 777;
  AppNormalModeProc();
  EXPECT_EQ(g_stTouchData.ucPointNum, 1);
  EXPECT_EQ(g_stTouchData.astPoint[0].x, 1234u);
  EXPECT_EQ(structForecastPointRange[0][1], 8);
  EXPECT_EQ(structForecastPointRange[0][2], 19);
}

}  // namespace
