// Time moving average of the diff: weighted scale-and-add, the averaging update and its
// clearing by the frame flow.
#include <gtest/gtest.h>

#include <cstring>

#include "luma_filter.h"

namespace {

constexpr int kRx = 38;

class TimeAverage : public ::testing::Test {
 protected:
  void SetUp() override {
    register_alg_module(nullptr);
    alg_module_init();
    ASSERT_EQ(g_stFrmInfo.aucCfgCopy[4], 17);
    ASSERT_EQ(g_stFrmInfo.aucCfgCopy[5], kRx);
    ASSERT_GE(g_stFrmInfo.aucCfgCopy[6], 1);
    AppTMAFIFOClear();
    std::memset(acc_, 0, sizeof(acc_));
    std::memset(cur_, 0, sizeof(cur_));
  }
  int16_t acc_[LUMA_MAX_NODES];
  int16_t cur_[LUMA_MAX_NODES];
};

TEST_F(TimeAverage, WeightedUpdateByCount) {
  const struct {
    int8_t count;
    uint32_t gain;
    int16_t acc, cur, expected;
  } cases[] = {
      {2, 1, 101, -3, 48},       // floor(101 / 2) + floor(-3 / 2)
      {1, 1, 101, -3, 48},       // a count below 2 counts as 2
      {5, 1, 100, 40, 85},       // weight base 4: 3 x 100 / 4 + 40 / 4
      {-1, 1, 128, 256, 129},    // a negative count stands for 128: 127 x 128 / 128 + 2
  };
  for (const auto &c : cases) {
    acc_[kRx + 5] = c.acc;
    cur_[kRx + 5] = c.cur;
    AppMcTMA(acc_, cur_, c.gain, c.count);
    EXPECT_EQ(acc_[kRx + 5], c.expected) << int(c.count);
  }
  int16_t m[LUMA_MAX_NODES] = {};
  m[0] = 30000;
  AppMcDiffAmp(m, 4, 2);  // 30000 x 4 >> 1
  EXPECT_EQ(m[0], 32767);
  m[0] = 30000;
  acc_[0] = 100;
  AppMcAdd(acc_, m, 4, 2);  // the scaled node and the sum both saturate
  EXPECT_EQ(m[0], 32767);
  EXPECT_EQ(acc_[0], 32767);
}

TEST_F(TimeAverage, SelfLineUpdateAndLineArithmetic) {
  int16_t acc[LUMA_SC_LINE_LEN] = {}, line[LUMA_SC_LINE_LEN] = {};
  acc[0] = 101;
  line[0] = -3;
  acc[62] = 10;  // beyond Tx + Rx entries: not scaled, but added
  line[62] = 4;
  AppScTMA(acc, line, 1, 2);
  EXPECT_EQ(acc[0], 48);
  EXPECT_EQ(acc[62], 14);
  int16_t a[LUMA_SC_LINE_LEN], b[LUMA_SC_LINE_LEN], out[LUMA_SC_LINE_LEN];
  for (int i = 0; i < LUMA_SC_LINE_LEN; ++i) a[i] = 32767, b[i] = static_cast<int16_t>(i);
  AppCalScAdd(out, a, b);
  EXPECT_EQ(out[1], -32768);  // wraps
  AppCalScSub(out, b, b);
  EXPECT_EQ(out[40], 0);
}

TEST_F(TimeAverage, FifoProcAveragesAndReplacesTheDiff) {
  std::memset(g_stFrmData.assMcDiff, 0, sizeof(g_stFrmData.assMcDiff));
  for (int c = 0; c < kRx; ++c) g_stFrmData.assMcDiff[2 * kRx + c] = 400;
  g_stFrmData.assMcDiff[2 * kRx + 7] = 1000;
  int16_t before[LUMA_MAX_NODES];
  std::memcpy(before, g_stFrmData.assMcDiff, sizeof(before));
  AppTMAFifoProc(1, 1);  // counts below 2: nothing happens
  EXPECT_EQ(std::memcmp(before, g_stFrmData.assMcDiff, sizeof(before)), 0);

  // After a clear the first update gives half of the frame, row mean removed (clip 2).
  AppTMAFifoProc(2, 0);
  EXPECT_EQ(g_stFrmData.assMcDiff[2 * kRx + 7], 500 - 2);
  EXPECT_EQ(g_stFrmData.assMcDiff[2 * kRx + 8], 200 - 2);
  EXPECT_EQ(g_stFrmData.assMcDiff[3 * kRx + 8], 0);
  EXPECT_EQ(g_stTMAFifoFrame.assMc[2 * kRx + 7], 498);

  std::memset(g_stFrmData.assScDiff[0], 0, sizeof(g_stFrmData.assScDiff[0]));
  for (int i = 0; i < kRx; ++i) g_stFrmData.assScDiff[0][i] = 20;
  AppTMAFifoProc(0, 4);  // weight base 4: a quarter of 20; the clamped mean (4) removed
  EXPECT_EQ(g_stFrmData.assScDiff[0][0], 1);
}

TEST_F(TimeAverage, ReducedRateFrontStepAndInvalidFrameClear) {
  std::memset(g_stFrmData.assMcDiff, 0, sizeof(g_stFrmData.assMcDiff));
  for (int c = 0; c < kRx; ++c) g_stFrmData.assMcDiff[c] = 100;
  g_ucFWDataRateFlag = 3;
  AppDiffFrontFifo();
  EXPECT_EQ(g_stFrmData.assMcDiff[0], 100);
  g_ucFWDataRateFlag = 1;
  AppDiffFrontFifo();
  EXPECT_EQ(g_stFrmData.assMcDiff[0], 48);  // half, less the clamped row mean 2
  EXPECT_NE(g_stTMAFifoFrame.assMc[0], 0);

  AppFrmInvalid();
  LumaTmaFrame zero{};
  EXPECT_EQ(std::memcmp(&g_stTMAFifoFrame, &zero, sizeof(zero)), 0);
}

}  // namespace
