// Matrix mean and rate filters on the mutual diff, through the module's own frame counts.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "luma_filter.h"
#include "luma_noise.h"

namespace {

constexpr int kTx = 17;
constexpr int kRx = 38;

class MatrixFilter : public ::testing::Test {
 protected:
  void SetUp() override {
    register_alg_module(nullptr);
    alg_module_init();
    ASSERT_EQ(g_stFrmInfo.aucCfgCopy[4], kTx);
    ASSERT_EQ(g_stFrmInfo.aucCfgCopy[5], kRx);
    m_.assign(kTx * kRx, 0);
    g_stSysParam.ucChargeState = 0;
    g_ucNFColByPassFlag = 0;
  }
  int16_t &At(int r, int c) { return m_[r * kRx + c]; }
  std::vector<int16_t> m_;
};

TEST_F(MatrixFilter, RobustRowMeanIgnoresATouch) {
  for (int c = 0; c < kRx; ++c) At(4, c) = 40;
  At(4, 9) = 2000;
  At(7, 3) = 5;  // a zero-mean-ish row: its mean, 0, leaves it as it is
  AppDiffMatrixMeanFilter(m_.data(), LUMA_DIR_ROW, 32767, 1, 1);
  for (int c = 0; c < kRx; ++c) EXPECT_EQ(At(4, c), c == 9 ? 1959 : -1) << c;
  EXPECT_EQ(At(7, 3), 5);

  // Per column: a column offset goes, the rows' content is kept.
  m_.assign(kTx * kRx, 0);
  for (int r = 0; r < kTx; ++r) At(r, 12) = 30;
  AppDiffMatrixMeanFilter(m_.data(), LUMA_DIR_COL, 100, 0, 1);
  EXPECT_EQ(m_, std::vector<int16_t>(kTx * kRx, 0));
}

TEST_F(MatrixFilter, SubtractionSaturatesAndShrinkKeepsSmallNodes) {
  for (int c = 0; c < kRx; ++c) At(0, c) = -32000;
  At(0, 0) = 32760;  // clamped mean (100 - 37 x 100) / 38 = -94; 32760 + 94 saturates
  AppDiffMatrixMeanFilter(m_.data(), LUMA_DIR_ROW, 100, 0, 1);
  EXPECT_EQ(At(0, 0), 32767);
  EXPECT_EQ(At(0, 1), -31906);

  m_.assign(kTx * kRx, 0);
  for (int c = 0; c < kRx; ++c) At(2, c) = c < 19 ? 50 : 8;  // mean 29
  AppDiffMatrixMeanFilter(m_.data(), LUMA_DIR_ROW, 32767, 0, 0);
  EXPECT_EQ(At(2, 0), 21);
  EXPECT_EQ(At(2, 30), 8);  // within the threshold of 8
}

TEST_F(MatrixFilter, ColumnBypassOnlyWhileCharging) {
  for (int r = 0; r < kTx; ++r) At(r, 5) = 30;
  g_stSysParam.ucChargeState = 1;
  g_ucNFColByPassFlag = 1;
  AppDiffMatrixMeanFilter(m_.data(), LUMA_DIR_COL, 100, 0, 1);
  EXPECT_EQ(At(0, 5), 30);
  g_stSysParam.ucChargeState = 0;
  AppDiffMatrixMeanFilter(m_.data(), LUMA_DIR_COL, 100, 0, 1);
  EXPECT_EQ(g_ucNFColByPassFlag, 0);
  EXPECT_EQ(At(0, 5), 0);
}

TEST_F(MatrixFilter, SourceDiffShiftIsGraded) {
  const struct {
    int16_t level;
    uint8_t grade;
  } cases[] = {{800, 0}, {801, 1}, {1000, 1}, {1001, 2}, {2000, 2}, {2001, 3}, {-2001, 3}};
  for (const auto &c : cases) {
    std::memset(g_stFrmData.assMcBackDiff, 0, sizeof(g_stFrmData.assMcBackDiff));
    for (int i = 0; i < kRx; ++i) g_stFrmData.assMcBackDiff[6 * kRx + i] = c.level;
    uint16_t before[3];
    std::memcpy(before, g_ucDbgOriDiffNoiseCnt, sizeof(before));
    AppCalOriDiffRowMatrixMeanLvl(32767, 1);
    EXPECT_EQ(g_ucOriMcDiffLargeMeanLevel, c.grade) << c.level;
    EXPECT_EQ(g_usMaxOriMcAvg, std::abs(c.level)) << c.level;
    for (int k = 0; k < 3; ++k)
      EXPECT_EQ(g_ucDbgOriDiffNoiseCnt[k], before[k] + (c.grade == k + 1 ? 1 : 0)) << c.level;
  }
}

TEST_F(MatrixFilter, HalfMeansClampTheMarkedHalfTighter) {
  const struct {
    uint8_t pos;
    int16_t left_after;
    int16_t right_after;
  } cases[] = {{3, 250, 100}, {19, 100, 250}};  // column 19 is the first of the right half
  for (const auto &c : cases) {
    for (int k = 0; k < kRx; ++k) At(0, k) = 400;
    std::vector<uint8_t> pos(kTx, 0);
    pos[0] = c.pos;
    AppMcDiffMatrixLRMeanFilter(m_.data(), pos.data(), 150);
    EXPECT_EQ(At(0, 0), c.left_after) << int(c.pos);
    EXPECT_EQ(At(0, kRx - 1), c.right_after) << int(c.pos);
  }
}

TEST_F(MatrixFilter, RowTiltsAndQuietColumns) {
  for (int r = 0; r < kTx; ++r)
    for (int c = 0; c < kRx; ++c) At(r, c) = static_cast<int16_t>(10 * c + 100);
  At(3, 1) = 0;   // outside the searched columns
  At(3, 7) = 1;
  std::vector<uint8_t> quiet(kTx, 99);
  AppMcDiffABSMinPosGet(m_.data(), quiet.data());
  EXPECT_EQ(quiet[3], 7);
  EXPECT_EQ(quiet[0], 2);

  for (int c = 0; c < kRx; ++c) At(3, c) = static_cast<int16_t>(10 * c + 100);
  std::vector<uint8_t> pivot(kTx, 19);
  std::vector<uint16_t> slope(kTx, 0);
  AppMcDiffRateFilter(m_.data(), pivot.data(), slope.data(), 60);
  EXPECT_EQ(slope[0], 10);
  for (int c = 0; c < kRx; ++c) EXPECT_EQ(At(16, c), 290) << c;

  for (int c = 0; c < kRx; ++c) At(5, c) = static_cast<int16_t>(-10 * c);
  AppMcDiffRateFilterLR(m_.data(), pivot.data(), nullptr, 60);
  for (int c = 0; c < kRx; ++c) EXPECT_EQ(At(5, c), -190) << c;
}

TEST_F(MatrixFilter, CompressShrinksEveryRow) {
  At(0, 0) = 30;
  At(16, 37) = -11;
  At(8, 8) = 10;
  AppDiffCompressFilter(m_.data(), 20);
  EXPECT_EQ(At(0, 0), 10);
  EXPECT_EQ(At(16, 37), 9);
  EXPECT_EQ(At(8, 8), 10);
}

}  // namespace
