// Peak list access: validity bits, compaction, window sums and weak-neighbour counts.
#include <gtest/gtest.h>

#include <cstring>

#include "luma_noise.h"
#include "luma_peaks.h"

namespace {

constexpr int kTx = 17;
constexpr int kRx = 38;

class PeakAccess : public ::testing::Test {
 protected:
  void SetUp() override {
    register_alg_module(nullptr);
    alg_module_init();
    ASSERT_EQ(g_stFrmInfo.aucCfgCopy[4], kTx);
    ASSERT_EQ(g_stFrmInfo.aucCfgCopy[5], kRx);
    ASSERT_EQ(g_stFrmInfo.aucCfgCopy[6], kTx);
    ASSERT_EQ(g_stFrmInfo.aucCfgCopy[7], kRx);
    ASSERT_EQ(g_stFrmData.pssMcDiff, g_stFrmData.assMcDiff);
    std::memset(g_stFrmData.assMcDiff, 0, sizeof(g_stFrmData.assMcDiff));
    std::memset(&g_stPeakData, 0, sizeof(g_stPeakData));
  }
  static void Set(int tx, int rx, int16_t v) { g_stFrmData.assMcDiff[tx * kRx + rx] = v; }
  static void Peak(int i, uint8_t tx, uint8_t rx) {
    g_stPeakData.aucMcPeakPos[2 * i] = tx;
    g_stPeakData.aucMcPeakPos[2 * i + 1] = rx;
  }
};

TEST_F(PeakAccess, ValidityBitsAndCompaction) {
  AppMcSetPeakValidity(9, 1);
  EXPECT_EQ(g_stPeakData.aucMcPeakValidMap[1], 0x02);
  EXPECT_NE(AppMcPeakValidityCheck(9), 0);
  AppMcSetPeakValidity(9, 0);
  EXPECT_EQ(AppMcPeakValidityCheck(9), 0);
  // An index past the map changes nothing next to it.
  uint16_t attr_before = g_stPeakData.ausMcPeakAttr[0];
  AppMcSetPeakValidity(40, 1);
  EXPECT_EQ(g_stPeakData.ausMcPeakAttr[0], attr_before);
  EXPECT_EQ(AppMcPeakValidityCheck(40), 0);

  for (int i = 0; i < 5; ++i) {
    Peak(i, static_cast<uint8_t>(i), static_cast<uint8_t>(10 + i));
    for (int b = 0; b < 5; ++b) g_stPeakData.aucMcPeakRange[5 * i + b] = static_cast<uint8_t>(10 * i + b);
  }
  g_stPeakData.ucMcPosPeakNum = 5;
  AppMcSetPeakValidity(1, 1);
  AppMcSetPeakValidity(3, 1);
  AppGetValidPeak();
  ASSERT_EQ(g_stPeakData.ucMcPosPeakNum, 2);
  EXPECT_EQ(g_stPeakData.aucMcPeakPos[0], 1);
  EXPECT_EQ(g_stPeakData.aucMcPeakPos[1], 11);
  EXPECT_EQ(g_stPeakData.aucMcPeakPos[2], 3);
  EXPECT_EQ(g_stPeakData.aucMcPeakRange[5 + 4], 34);
  EXPECT_NE(AppMcPeakValidityCheck(0), 0);
  EXPECT_NE(AppMcPeakValidityCheck(1), 0);

  g_stPeakData.aucMcPeakValidMap[0] = 0;
  g_stPeakData.ucMcPosPeakNum = 2;
  AppGetValidPeak();
  EXPECT_EQ(g_stPeakData.ucMcPosPeakNum, 0);
}

TEST_F(PeakAccess, DiffAtPeaksAndTheFrameMaximum) {
  Set(4, 20, 777);
  Peak(2, 4, 20);
  EXPECT_EQ(AppMcPeakGetDiff(2), 777);
  g_stPeakData.ucMcMaxTx = 4;
  g_stPeakData.ucMcMaxRx = 20;
  EXPECT_EQ(AppMcIfMaxPeak(2), 1);
  EXPECT_EQ(AppMcIfMaxPeak(0), 0);
  EXPECT_EQ(AppMcGetDiffAddr(kTx, 0), nullptr);  // past the frame
  EXPECT_EQ(AppMcGetDiff(0, kRx), 0);
}

TEST_F(PeakAccess, WindowSumIsClippedAtTheEdges) {
  Set(0, 5, 1);
  Set(1, 5, 10);
  Set(0, 4, 3);
  EXPECT_EQ(AppMcGetPeakAreaSumByTxRx(0, 5, 1), 14);  // row -1 does not exist: nothing of row 1 twice
  Set(3, 0, 100);
  Set(3, 1, 7);
  Set(4, 1, 2);
  Peak(0, 3, 0);
  EXPECT_EQ(AppMcGetPeakAreaSum(0, 1), 109);  // neither is column -1
  EXPECT_EQ(AppMcGetPeakAreaSumByTxRx(3, 0, 0), 100);
  Set(kTx - 1, kRx - 1, 40);
  Set(kTx - 2, kRx - 1, 5);
  EXPECT_EQ(AppMcGetPeakAreaSumByTxRx(kTx - 1, kRx - 1, 1), 45);
}

TEST_F(PeakAccess, WindowSumPastTheFarEdgeStaysInTheGrid) {
  for (int i = 0; i < kTx * kRx; ++i) g_stFrmData.assMcDiff[i] = 1;
  // Windows larger than the grid cover it once.
  EXPECT_EQ(AppMcGetPeakAreaSumByTxRx(0, 19, 20), kTx * kRx);
  EXPECT_EQ(AppMcGetPeakAreaSumByTxRx(16, 37, 60), kTx * kRx);
  EXPECT_EQ(AppMcGetPeakAreaSumByTxRx(0, 0, 200), 0);  // signed-byte bounds wrap: empty window
}

TEST_F(PeakAccess, WeakNeighbourLimitFollowsThePeak) {
  const struct {
    int16_t centre;
    uint8_t weak;
  } cases[] = {{399, 1}, {400, 1}, {440, 2}, {600, 3}, {2000, 3}};
  for (const auto &c : cases) {
    Set(5, 5, c.centre);
    Set(4, 5, 99);
    Set(6, 5, 105);
    Set(5, 6, 115);
    Set(5, 4, 130);
    EXPECT_EQ(AppMcGetRoundSmallCnt(5, 5), c.weak) << c.centre;
  }
  // In a corner only two neighbours exist.
  EXPECT_EQ(AppMcGetRoundSmallCntThr(0, 0, 1), 2);
  EXPECT_EQ(AppMcGetRoundSmallCntThr(kTx - 1, kRx - 1, 1), 2);
}

TEST_F(PeakAccess, TouchThresholdBySelfLine) {
  g_stTdParam.usScThr = 200;
  g_stTdParam.usScThr2 = 350;
  EXPECT_EQ(AppGetTouchThr(kTx - 1), 200);
  EXPECT_EQ(AppGetTouchThr(kTx), 350);
  g_stFrmData.assScDiff[1][7] = 300;
  EXPECT_EQ(AppScRxPeakCheck(1, 7, 300), 2);
  EXPECT_EQ(AppScRxPeakCheck(1, 7, 301), 0);
  g_ssScWaterRxNoise[7] = 400;
  EXPECT_EQ(AppScRxAndNoisePeakCheck(1, 7, 301), 2);
  g_ssScWaterRxNoise[7] = 0;
  EXPECT_EQ(AppScRxAndNoisePeakCheck(1, 7, 301), 0);
}

}  // namespace
