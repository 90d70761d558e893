// 3x3 smoothing of the mutual diff and peak widths on a line.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "luma_filter.h"

namespace {

constexpr int kTx = 17;
constexpr int kRx = 38;

class Convolution : public ::testing::Test {
 protected:
  void SetUp() override {
    register_alg_module(nullptr);
    alg_module_init();
    ASSERT_EQ(g_stFrmInfo.aucCfgCopy[4], kTx);
    ASSERT_EQ(g_stFrmInfo.aucCfgCopy[5], kRx);
    m_.assign(LUMA_MAX_NODES, 0);
  }
  int16_t &At(int r, int c) { return m_[r * kRx + c]; }
  std::vector<int16_t> m_;
};

TEST_F(Convolution, WeakNodesAreLeftAlone) {
  for (int i = 0; i < kTx * kRx; ++i) m_[i] = static_cast<int16_t>(i % 99);
  std::vector<int16_t> before = m_;
  int16_t peak = -1;
  EXPECT_EQ(AppConvolution(m_.data(), &peak, 100, nullptr), before[kRx + 1]);
  EXPECT_EQ(peak, before[kRx + 1]);
  EXPECT_EQ(m_, before);
}

TEST_F(Convolution, StrongNodesAreSmoothedFromTheUnchangedCopy) {
  for (int r = 0; r < kTx; ++r)
    for (int c = 0; c < kRx; ++c) At(r, c) = 160;
  At(5, 5) = 320;
  int16_t peak = 0;
  // Centre: (9 x 320 + 160 + 8 x 160) >> 4 = 270; its neighbour (5, 6) reads the old 320:
  // (9 x 160 + 80 + 7 x 160 + 320) >> 4 = 185.
  EXPECT_EQ(AppConvolution(m_.data(), &peak, 100, nullptr), 270);
  EXPECT_EQ(peak, 320);
  EXPECT_EQ(At(5, 5), 270);
  EXPECT_EQ(At(5, 6), 185);
  EXPECT_EQ(At(2, 2), 175);
  EXPECT_EQ(At(0, 5), 160);  // borders are never changed
  EXPECT_EQ(At(5, kRx - 1), 160);

  // Inside a rectangle only.
  for (int r = 0; r < kTx; ++r)
    for (int c = 0; c < kRx; ++c) At(r, c) = 160;
  const uint8_t rect[4] = {2, 3, 4, 6};
  AppConvolution(m_.data(), &peak, 100, rect);
  EXPECT_EQ(At(3, 4), 175);
  EXPECT_EQ(At(3, 7), 160);
  EXPECT_EQ(At(5, 4), 160);

  for (int r = 0; r < kTx; ++r)
    for (int c = 0; c < kRx; ++c) At(r, c) = -32;
  AppPosPeakConvolution(m_.data());  // no threshold: (17 x -32) / 16 toward zero
  EXPECT_EQ(At(1, 1), -34);
  EXPECT_EQ(At(0, 0), -32);
}

TEST(PeakWidth, WalksToTheLimitOnBothSides) {
  const int16_t line[10] = {0, 200, 400, 900, 2000, 1000, 350, 100, 0, 0};
  uint8_t start = 0, end = 0;
  // Limit max(2000 / 5, 300) = 400: start at the first entry below it going down (1),
  // end at the first going up (6).
  EXPECT_EQ(GetScWidth(4, line, 10, &start, &end), 5);
  EXPECT_EQ(start, 1);
  EXPECT_EQ(end, 6);
  const int16_t wide[5] = {900, 900, 900, 900, 900};
  EXPECT_EQ(GetScWidth(2, wide, 5, &start, &end), 4);  // no entry below: 0 and n - 1
  EXPECT_EQ(start, 0);
  EXPECT_EQ(end, 4);
  const int16_t weak[4] = {0, 100, 0, 0};
  EXPECT_EQ(GetScWidth(1, weak, 4, &start, &end), 0);  // below its own limit: start at pos
  EXPECT_EQ(start, 1);
  EXPECT_EQ(GetScWidth(7, weak, 4, &start, &end), 0);
}

}  // namespace
