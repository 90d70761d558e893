// Peak centroids over the diff matrix, with the peak record filled as the peak search
// leaves it.
#include <gtest/gtest.h>

#include <cstring>

#include "luma_core.h"

namespace {

class Coordinate : public ::testing::Test {
 protected:
  void SetUp() override {
    register_alg_module(nullptr);
    alg_module_init();
    std::memset(g_stFrmData.assMcDiff, 0, sizeof(g_stFrmData.assMcDiff));
  }
  static int16_t &At(int tx, int rx) { return g_stFrmData.assMcDiff[tx * 38 + rx]; }
  static void AddPeak(int tx, int rx, int tx_min, int tx_max, int rx_min, int rx_max) {
    const int p = g_stPeakData.ucMcPosPeakNum++;
    g_stPeakData.aucMcPeakPos[2 * p] = static_cast<uint8_t>(tx);
    g_stPeakData.aucMcPeakPos[2 * p + 1] = static_cast<uint8_t>(rx);
    uint8_t *range = &g_stPeakData.aucMcPeakRange[5 * p];
    range[0] = 1;
    range[1] = static_cast<uint8_t>(tx_min);
    range[2] = static_cast<uint8_t>(tx_max);
    range[3] = static_cast<uint8_t>(rx_min);
    range[4] = static_cast<uint8_t>(rx_max);
  }
  // Node centres of this panel in 1/16 pixel.
  static int64_t X16(int tx) { return 16 * (36 + tx * (1185 - 36) / 16); }
  static int64_t Y16(int rx) { return 16 * (20 + rx * (2680 - 20) / 37); }
};

TEST_F(Coordinate, DiffSumTakesOnlyPositiveNodesOfThePanel) {
  g_ssDiffSum = 0;
  g_ucCalCnt = 0;
  AppDiffSumProc(50, 3, 4);
  AppDiffSumProc(0, 5, 5);
  AppDiffSumProc(-20, 6, 6);
  AppDiffSumProc(30, 3, 5);
  AppDiffSumProc(30, 17, 5);  // past the last drive line
  AppDiffSumProc(30, 3, 38);  // past the last sense line
  EXPECT_EQ(g_ssDiffSum, 80);
  ASSERT_EQ(g_ucCalCnt, 2);
  EXPECT_EQ(g_ucRecordSensor[0], 3);
  EXPECT_EQ(g_ucRecordSensor[1], 4);
  EXPECT_EQ(g_ucRecordSensor[2], 3);
  EXPECT_EQ(g_ucRecordSensor[3], 5);
}

TEST_F(Coordinate, SmallCoordinateHelpers) {
  uint32_t a = 7, b = 0xFFFFFFFFu;
  AppPosRevertXY(&a, &b);
  EXPECT_EQ(a, 0xFFFFFFFFu);
  EXPECT_EQ(b, 7u);
  for (uint32_t v : {0u, 1u, 19519u, 0xFFFFFFFFu}) EXPECT_EQ(AppNotchCalculateCoordinate(v), v);
}

TEST_F(Coordinate, ThreeByThreeBumpGivesTheWeightedMean) {
  const int weights[3][3] = {{100, 200, 100}, {150, 432, 250}, {100, 200, 100}};
  int64_t sum = 0, sx = 0, sy = 0;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      At(7 + i, 19 + j) = static_cast<int16_t>(weights[i][j]);
      const int d = weights[i][j] - 32;  // above the base threshold
      sum += d;
      sx += d * X16(7 + i);
      sy += d * Y16(19 + j);
    }
  }
  AddPeak(8, 20, 7, 9, 19, 21);
  AppCalculateCoordinate();
  const LumaMcPeak &e = g_stPeakData.astMcPeakList[0];
  EXPECT_EQ(e.x, static_cast<uint32_t>(sx / sum));
  EXPECT_EQ(e.y, static_cast<uint32_t>(sy / sum));
  EXPECT_EQ(e.ulWeightSum, static_cast<uint32_t>(sum));
  EXPECT_EQ(e.ucWeight, std::min<int64_t>(sum >> 8, 127));
  // Strong: at least a third of the peak diff (144) above the threshold: 168, 400, 218, 168.
  EXPECT_EQ(e.ucStrongCnt, 4);
  EXPECT_EQ(e.ucTx, 8);
  EXPECT_EQ(e.ucRx, 20);
  // The diff matrix is as it was.
  EXPECT_EQ(At(7, 19), 100);
  EXPECT_EQ(At(8, 20), 432);
}

TEST_F(Coordinate, NodesNearerAnotherPeakAreLeftToIt) {
  // Two peaks two Rx lines apart: the node between them serves both, nodes beyond a peak
  // belong to that peak alone.
  At(8, 10) = 400;
  At(8, 11) = 200;
  At(8, 12) = 400;
  At(8, 13) = 300;  // nearer the second peak
  AddPeak(8, 10, 8, 8, 9, 13);
  AddPeak(8, 12, 8, 8, 9, 13);
  AppCalculateCoordinate();
  const LumaMcPeak &a = g_stPeakData.astMcPeakList[0];
  const int64_t expected_y = ((400 - 32) * Y16(10) + (200 - 32) * Y16(11)) / ((400 - 32) + (200 - 32));
  EXPECT_EQ(a.y, static_cast<uint32_t>(expected_y));
  EXPECT_EQ(a.ulWeightSum, static_cast<uint32_t>(368 + 168));
  const LumaMcPeak &b = g_stPeakData.astMcPeakList[1];
  EXPECT_EQ(b.ulWeightSum, static_cast<uint32_t>(168 + 368 + 268));
}

}  // namespace
