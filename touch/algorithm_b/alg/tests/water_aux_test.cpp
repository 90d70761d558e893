// The optional water filters on the mutual peak list: row and column means, the mean
// filter, the quiet-self step and the self-support filter in water.
#include <gtest/gtest.h>

#include <cstring>

#include "luma_env.h"
#include "luma_noise.h"
#include "luma_peaks.h"
#include "luma_water_aux.h"

namespace {

constexpr int kTx = 17;
constexpr int kRx = 38;

class WaterAux : public ::testing::Test {
 protected:
  void SetUp() override {
    register_alg_module(nullptr);
    alg_module_init();
    ASSERT_EQ(g_stFrmInfo.aucCfgCopy[4], kTx);
    ASSERT_EQ(g_stFrmInfo.aucCfgCopy[5], kRx);
    ASSERT_EQ(g_stFrmData.pssMcDiff, g_stFrmData.assMcDiff);
    std::memset(g_stFrmData.assMcDiff, 0, sizeof(g_stFrmData.assMcDiff));
    std::memset(g_stFrmData.assScDiff, 0, sizeof(g_stFrmData.assScDiff));
    std::memset(g_stFrmData.assMcRxAbsProj, 0, sizeof(g_stFrmData.assMcRxAbsProj));
    std::memset(g_stFrmData.assMcRxProj, 0, sizeof(g_stFrmData.assMcRxProj));
    std::memset(&g_stPeakData, 0, sizeof(g_stPeakData));
    g_stPeakData.ucMcMaxTx = 255;
    g_stPeakData.ucMcMaxRx = 255;
    // Self extremes of set 1 well away from quiet, unless a test says otherwise.
    g_stPeakData.assScMax[1] = 500;
    g_stPeakData.assScMin[1] = -100;
    g_stTraceInfo.usTraceFlag = 0;
    g_ucUnlockWaterState = 0;
    g_stSysParam.ucWaterFlag = 0;
    g_stSysParam.ucHighSensitivity = 0;
    g_ucCurFrmWaterFlag = 0;
    g_ucCurFrmFloatingWaterFlag = 0;
    g_usLikeNFNoiseFrame = 0;
  }
  static void Set(int tx, int rx, int16_t v) { g_stFrmData.assMcDiff[tx * kRx + rx] = v; }
  static void ScRx(int rx, int16_t v) { g_stFrmData.assScDiff[1][rx] = v; }
  static void ScTx(int tx, int16_t v) { g_stFrmData.assScDiff[1][kRx + tx] = v; }
  static uint8_t AddPeak(uint8_t tx, uint8_t rx, int16_t diff) {
    uint8_t k = g_stPeakData.ucMcPosPeakNum++;
    g_stPeakData.aucMcPeakPos[2 * k] = tx;
    g_stPeakData.aucMcPeakPos[2 * k + 1] = rx;
    AppMcSetPeakValidity(k, 1);
    Set(tx, rx, diff);
    return k;
  }
  static void Water(bool water_frame, bool floating) {
    g_stTraceInfo.usTraceFlag |= LUMA_TRACE_WATER;
    g_ucCurFrmWaterFlag = water_frame ? 1 : 0;
    g_ucCurFrmFloatingWaterFlag = floating ? 1 : 0;
  }
  static std::vector<int> KeptRx() {
    std::vector<int> rx;
    for (int k = 0; k < g_stPeakData.ucMcPosPeakNum; ++k) rx.push_back(g_stPeakData.aucMcPeakPos[2 * k + 1]);
    return rx;
  }
};

TEST_F(WaterAux, RowMeanClipsToTheMatrixWithOneMoreColumnOnTheLeft) {
  for (int c = 0; c < kRx; ++c) Set(3, c, static_cast<int16_t>(10 * c));
  EXPECT_EQ(AppMcTxAveGet(3, 0, 7), 30);    // columns 0..6
  EXPECT_EQ(AppMcTxAveGet(3, 20, 7), 195);  // columns 13..26
  EXPECT_EQ(AppMcTxAveGet(3, 37, 7), 335);  // columns 30..37
  EXPECT_EQ(AppMcTxAveGet(3, 20, 1), 195);  // columns 19 and 20
  EXPECT_EQ(AppMcTxAveGet(3, 20, 0), 0);    // no column
  EXPECT_EQ(AppMcTxAveGet(kTx, 20, 7), 0);  // no such row
  // Rounds toward zero: -2 / 7 is 0, not -1.
  Set(5, 0, -1);
  Set(5, 1, -1);
  EXPECT_EQ(AppMcTxAveGet(5, 0, 7), 0);
  Set(5, 2, -12);
  EXPECT_EQ(AppMcTxAveGet(5, 0, 7), -2);
}

TEST_F(WaterAux, ColumnMeanOverAllRowsIgnoresTheRow) {
  for (int t = 0; t < kTx; ++t) Set(t, 10, 34);
  Set(4, 10, 50);  // 16 over the 17 rows: truncated away
  EXPECT_EQ(AppMcRxAveGet(0, 10), 34);
  EXPECT_EQ(AppMcRxAveGet(16, 10), 34);
  Set(0, 11, -33);
  EXPECT_EQ(AppMcRxAveGet(0, 11), -1);
  EXPECT_EQ(AppMcRxAveGet(0, kRx), 0);
}

TEST_F(WaterAux, MeanFilterDropsPeaksOnWeakRowsOrColumnsOnlyInItsCase) {
  struct Case {
    const char *name;
    bool water_bit;
    uint8_t neg_peaks;
    int extra_strong_peaks;
    std::vector<int> kept_rx;
  };
  const Case cases[] = {
      {"filters", true, 2, 0, {5}},  // four entries, one of them already invalid
      {"five entries count, valid or not", true, 3, 1, {5, 20, 30, 6}},
      {"no water bit", false, 2, 0, {5, 20, 30}},
      {"one negative peak", true, 1, 0, {5, 20, 30}},
      {"six entries", true, 2, 2, {5, 20, 30, 6, 7}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    // Peak at (2, 5): strong row and column.
    for (int r = 0; r < kRx; ++r) Set(2, r, 100);
    for (int t = 0; t < kTx; ++t) Set(t, 5, 100);
    AddPeak(2, 5, 100);
    // Peak at (8, 20): strong row (40), weak column ((40 + 100) / 17 = 8).
    for (int r = 13; r <= 26; ++r) Set(8, r, 40);
    AddPeak(8, 20, 40);
    // Peak at (12, 30): strong column (60), weak row (60 / 14 = 4).
    for (int t = 0; t < kTx; ++t) Set(t, 30, 60);
    AddPeak(12, 30, 60);
    // An entry already invalid is compacted away in every case.
    const uint8_t dead = AddPeak(14, 33, 500);
    AppMcSetPeakValidity(dead, 0);
    for (int i = 0; i < c.extra_strong_peaks; ++i) {
      const auto rx = static_cast<uint8_t>(6 + i);
      for (int t = 0; t < kTx; ++t) Set(t, rx, 100);
      AddPeak(2, rx, 100);
    }
    g_stPeakData.ucMcNegPeakNum = c.neg_peaks;
    if (c.water_bit) g_stTraceInfo.usTraceFlag |= LUMA_TRACE_WATER;
    AppMcWaterRxTxAveFilter();
    EXPECT_EQ(KeptRx(), c.kept_rx);
  }
}

TEST_F(WaterAux, SmallSelfStepDropsTheCountAndKeepsTheBits) {
  struct Case {
    int16_t min, max;
    uint8_t expect;
  };
  // Quiet level 180: quiet when min > -180 and max < 90.
  const Case cases[] = {{-179, 89, 0}, {-180, 89, 3}, {-179, 90, 3}, {0, 0, 0}};
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << c.min << ".." << c.max);
    SetUp();
    AddPeak(3, 10, 300);
    AddPeak(6, 15, 300);
    AddPeak(9, 20, 300);
    g_stPeakData.assScMin[1] = c.min;
    g_stPeakData.assScMax[1] = c.max;
    AppSmallScPeakFilter();
    EXPECT_EQ(g_stPeakData.ucMcPosPeakNum, c.expect);
    EXPECT_EQ(g_stPeakData.aucMcPeakValidMap[0], 0x07);
  }
}

TEST_F(WaterAux, SelfSupportFilterChangesNothingOutsideWater) {
  AddPeak(5, 10, 400);  // no self support at all
  AddPeak(6, 12, 400);
  g_stFrmData.assMcRxProj[10] = -50;
  g_stPeakData.assScMin[1] = 0;
  g_stPeakData.assScMax[1] = 0;  // quiet: the small-self step would drop everything
  AppMcSetPeakValidity(1, 0);
  AppMcScWaterReportPtFilter();
  EXPECT_EQ(g_stPeakData.ucMcPosPeakNum, 2);
  EXPECT_EQ(g_stPeakData.aucMcPeakValidMap[0], 0x01);
}

TEST_F(WaterAux, SelfSupportAlongRxInWater) {
  Water(false, false);
  AddPeak(5, 10, 400);  // no support, projection below the self value: dropped
  g_stFrmData.assMcRxProj[10] = -50;
  AddPeak(8, 20, 400);  // support from the neighbouring Rx line
  ScRx(21, 120);
  AddPeak(11, 25, 400);  // no support but projection not below the self value: kept
  g_stFrmData.assMcRxProj[25] = 10;
  ScRx(25, 10);
  AppMcScWaterReportPtFilter();
  EXPECT_EQ(KeptRx(), (std::vector<int>{20, 25}));
}

TEST_F(WaterAux, SelfSupportGateOfStrongNegativeSelfAndNearFieldNoise) {
  struct Case {
    const char *name;
    bool water_frame;
    int16_t sc_min;
    bool nf_high_sens;
    size_t kept;
  };
  const Case cases[] = {
      {"runs", false, -360, false, 0},
      {"self far negative", false, -361, false, 1},
      {"near-field noise, high sensitivity", false, 0, true, 1},
      {"water frame runs anyway", true, -1000, true, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    Water(c.water_frame, false);
    AddPeak(5, 10, 400);
    g_stFrmData.assMcRxProj[10] = -50;
    g_stPeakData.assScMin[1] = c.sc_min;
    g_usLikeNFNoiseFrame = c.nf_high_sens ? 5 : 0;
    g_stSysParam.ucHighSensitivity = c.nf_high_sens ? 1 : 0;
    AppMcScWaterReportPtFilter();
    EXPECT_EQ(KeptRx().size(), c.kept);
  }
}

TEST_F(WaterAux, WaterFrameScalesTheLevelAndAsksForTxSupport) {
  struct Case {
    int16_t diff;
    int16_t sc_rx;
    int16_t sc_tx;
    bool kept;
  };
  const Case cases[] = {
      {500, 200, 200, true},    // level 4 * 500 / 10 = 200
      {500, 199, 200, false},
      {500, 200, 199, false},   // Rx support alone is not enough
      {1000, 300, 300, true},   // level capped at 300
      {200, 120, 120, true},    // level never below the self Rx threshold
      {200, 119, 120, false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << c.diff << " " << c.sc_rx << " " << c.sc_tx);
    SetUp();
    Water(true, false);
    AddPeak(6, 12, c.diff);
    ScRx(13, c.sc_rx);
    ScTx(7, c.sc_tx);
    g_stFrmData.assMcRxProj[12] = -1;  // below the self value at the peak's line (0)
    AppMcScWaterReportPtFilter();
    EXPECT_EQ(KeptRx().size(), c.kept ? 1u : 0u);
  }
}

TEST_F(WaterAux, FloatingWaterSparesOnlyTheSharpLargestPeak) {
  struct Case {
    int16_t diff;
    int16_t ring;
    int16_t proj2;
    bool largest;
    bool kept;
  };
  const Case cases[] = {
      {401, 200, 301, true, true},
      {400, 200, 301, true, false},   // not large enough
      {401, 200, 300, true, false},   // projection too weak
      {401, 200, 301, false, false},  // not the frame's largest
      {401, 40, 301, true, false},    // 3 x 3 sum 721 not above 1203
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << c.diff << " " << c.ring << " " << c.proj2 << " " << c.largest);
    SetUp();
    Water(false, true);
    for (int t = 5; t <= 7; ++t)
      for (int r = 11; r <= 13; ++r) Set(t, r, c.ring);
    AddPeak(6, 12, c.diff);
    if (c.largest) {
      g_stPeakData.ucMcMaxTx = 6;
      g_stPeakData.ucMcMaxRx = 12;
    }
    g_stFrmData.assMcRxProj[12] = c.proj2;  // above the self value: examined only for floating water
    AppMcScWaterReportPtFilter();
    EXPECT_EQ(KeptRx().size(), c.kept ? 1u : 0u);
  }
}

TEST_F(WaterAux, FloatingWaterDropsASupportedPeakBetweenItsProjections) {
  struct Case {
    int16_t proj2, proj1;
    bool kept;
  };
  // Self near value 150 at the peak's line.
  const Case cases[] = {{100, 200, false}, {100, 150, true}, {150, 200, true}, {100, 200, true}};
  for (size_t i = 0; i < std::size(cases); ++i) {
    const Case &c = cases[i];
    SCOPED_TRACE(i);
    SetUp();
    const bool floating = i != 3;  // the last case: water, but not floating
    Water(false, floating);
    AddPeak(6, 12, 400);
    ScRx(11, 150);
    g_stFrmData.assMcRxProj[12] = c.proj2;
    g_stFrmData.assMcRxAbsProj[12] = c.proj1;
    AppMcScWaterReportPtFilter();
    EXPECT_EQ(KeptRx().size(), c.kept ? 1u : 0u);
  }
}

TEST_F(WaterAux, SelfSupportFilterEndsWithTheSmallSelfStepUnlessAPeakIsOnAnOuterLine) {
  for (uint8_t edge_rx : {uint8_t{0}, uint8_t{kRx - 1}, uint8_t{20}}) {
    SCOPED_TRACE(static_cast<int>(edge_rx));
    SetUp();
    Water(false, false);
    g_stPeakData.assScMin[1] = 0;
    g_stPeakData.assScMax[1] = 50;  // quiet self
    AddPeak(4, 10, 400);
    ScRx(10, 200);
    AddPeak(9, edge_rx, 400);
    ScRx(edge_rx, 200);
    AppMcScWaterReportPtFilter();
    EXPECT_EQ(g_stPeakData.ucMcPosPeakNum, edge_rx == 20 ? 0 : 2);
  }
}

}  // namespace
