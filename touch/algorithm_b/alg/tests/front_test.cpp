// The diff front end on the module's own records: matrix library, ADC overload grades,
// the mutual front filter with its edge columns, the projections and the self-line filters.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "luma_calc.h"
#include "luma_env.h"
#include "luma_filter.h"
#include "luma_front.h"
#include "luma_noise.h"
#include "luma_peaks.h"

namespace {

constexpr int kTx = 17;
constexpr int kRx = 38;

class Front : public ::testing::Test {
 protected:
  void SetUp() override {
    register_alg_module(nullptr);
    alg_module_init();
    std::fill(std::begin(g_usMcAdcOverCntFifo), std::end(g_usMcAdcOverCntFifo), 0);
    std::memset(g_stAdcOverSta, 0, sizeof(g_stAdcOverSta));
    g_ucFwAdcOverLoadFlag = 0;
    g_ucFwScAdcOverLoadFlag = 0;
    g_ucScAdcOverLoadFlag = 0;
    g_usFwAdcOverDelayCnt = LUMA_ADC_HOLD_FRAMES;
    g_usFwScAdcOverDelayCnt = LUMA_ADC_HOLD_FRAMES;
    g_usLikeNFNoiseFrame = 0;
    g_usMaxOriMcAvg = 0;
    std::memset(g_assRX1Fifo, 0, sizeof(g_assRX1Fifo));
    std::memset(g_assRXNFifo, 0, sizeof(g_assRXNFifo));
    g_assRXxFifoFrameIndx = 0;
    std::memset(g_stFrmData.assMcDiff, 0, sizeof(g_stFrmData.assMcDiff));
    std::memset(g_stFrmData.assMcBackDiff, 0, sizeof(g_stFrmData.assMcBackDiff));
    std::memset(g_stFrmData.assScDiff, 0, sizeof(g_stFrmData.assScDiff));
    std::memset(g_stFrmData.assScBackDiff, 0, sizeof(g_stFrmData.assScBackDiff));
  }
  static int16_t &At(int tx, int rx) { return g_stFrmData.assMcDiff[tx * kRx + rx]; }
  static std::vector<int16_t> Matrix() { return {g_stFrmData.assMcDiff, g_stFrmData.assMcDiff + kTx * kRx}; }
};

TEST_F(Front, MatrixLibraryElementOperationsSaturateAndShift) {
  std::vector<int16_t> a(kTx * kRx, 30000), b(kTx * kRx, 10000), out(kTx * kRx);
  a[1] = -30000;
  // The descriptor a wrapper returns stays readable after it returns.
  const LumaMatOp *op = AppCal_MatrixAdd(out.data(), a.data(), b.data());
  EXPECT_EQ(op->ucRows, kTx);
  EXPECT_EQ(op->ucCols, kRx);
  EXPECT_EQ(op->usOp, LUMA_MAT_ADD);
  EXPECT_EQ(out[0], 32767);
  EXPECT_EQ(out[1], -20000);
  AppCal_MatrixSub(out.data(), a.data(), b.data(), 2);
  EXPECT_EQ(out[0], 5000);
  EXPECT_EQ(out[1], -10000);
  EXPECT_EQ(AppCal_MatrixCount(a.data(), 0, 30000), kTx * kRx - 1);

  // Line filter form: a node beyond the threshold moves toward 0 by its line's step.
  std::vector<int16_t> m(kTx * kRx, 0), steps(kTx, 20);
  m[0] = 15;
  m[1] = -12;
  m[2] = 10;
  AppCal_MatrixLineFilter(m.data(), m.data(), steps.data(), 10, 0);
  EXPECT_EQ(m[0], -5);
  EXPECT_EQ(m[1], 8);
  EXPECT_EQ(m[2], 10);

  // A mass centre over a compact 2 x 2 block above the threshold.
  const int16_t block[4] = {15, 10, 10, 30};
  uint16_t mac[6];
  LumaMacCtx ctx{0, 0, 2, 2, 10, 2, block, mac};
  DrvCal_McMac(&ctx);
  EXPECT_EQ((mac[0] << 16) | mac[1], 25);  // 5 + 20
  EXPECT_EQ((mac[2] << 16) | mac[3], 20);  // row moment
  EXPECT_EQ((mac[4] << 16) | mac[5], 20);  // column moment
}

TEST_F(Front, PerColumnAveragesReadEachColumnsOwnBounds) {
  // Bounds for 38 columns: 38 upper bounds, then 38 lower bounds. A lower bound read from
  // the drive count onward would take upper bounds and clamp every column up to them.
  std::vector<int16_t> m(kTx * kRx, 0), bounds(2 * kRx), out(kRx);
  for (int c = 0; c < kRx; ++c) {
    bounds[c] = 100;
    bounds[kRx + c] = -100;
    for (int r = 0; r < kTx; ++r) m[r * kRx + c] = static_cast<int16_t>(c - 10);
  }
  m[3 * kRx + 5] = 1000;  // above column 5's bound
  AppCal_MatrixLineColAvg(out.data(), m.data(), bounds.data(), LUMA_CAL_COLUMNS, 0);
  EXPECT_EQ(out[0], -10);
  EXPECT_EQ(out[30], 20);
  EXPECT_EQ(out[5], (16 * -5 + 100) / 17);  // clamped to the bound
  AppCal_MatrixLineColAvg(out.data(), m.data(), bounds.data(), LUMA_CAL_COLUMNS, 1);
  EXPECT_EQ(out[5], -5);  // left out
  for (int c = 0; c < kRx; ++c) bounds[c] = -200;  // nothing within: no average
  AppCal_MatrixLineColAvg(out.data(), m.data(), bounds.data(), LUMA_CAL_COLUMNS, 1);
  EXPECT_EQ(out[0], 32767);
}

TEST_F(Front, OverloadGradesAreAveragedAndHeld) {
  g_stAdcOverSta[2] = 200;  // one frame of 200 after nineteen of 0: average 10
  EXPECT_EQ(AppFwAdcOverLoadGet(), 2);
  EXPECT_EQ(g_usMcAdcOverCnt, 10);
  g_stAdcOverSta[2] = 0;
  // The 200 stays in the 20-frame fifo until frame 20; the hold then runs 480 frames.
  for (int frame = 1; frame < 20; ++frame) ASSERT_EQ(AppFwAdcOverLoadGet(), 2) << frame;
  for (int frame = 20; frame < 19 + 480; ++frame) ASSERT_EQ(AppFwAdcOverLoadGet(), 2) << frame;
  EXPECT_EQ(g_ucMcAdcOverLoadFlag, 0);
  EXPECT_EQ(AppFwAdcOverLoadGet(), 0);
  EXPECT_EQ(g_usFwAdcOverDelayCnt, 481);
  // Steady counts of 50 + 50 grade 3; the self grade is only ever set by its own query.
  g_stAdcOverSta[2] = 50;
  g_stAdcOverSta[3] = 50;
  for (int frame = 0; frame < 20; ++frame) AppFwAdcOverLoadGet();
  EXPECT_EQ(g_usMcAdcOverCnt, 100);
  EXPECT_EQ(g_ucFwAdcOverLoadFlag, 3);
  EXPECT_EQ(g_ucFwScAdcOverLoadFlag, 0);
}

TEST_F(Front, MovingAverageOfAShortFifo) {
  int16_t fifo[3] = {0, 0, 0};
  EXPECT_EQ(AppScMovingAverage(fifo, 3, 90), 30);
  EXPECT_EQ(AppScMovingAverage(fifo, 3, 30), 40);
  EXPECT_EQ(fifo[0], 30);
  EXPECT_EQ(fifo[1], 90);
  EXPECT_EQ(AppScMovingAverage(fifo, 0, 5), 0);
}

TEST_F(Front, NormalPathRemovesARowTilt) {
  for (int t = 0; t < kTx; ++t) {
    for (int r = 0; r < kRx; ++r) At(t, r) = static_cast<int16_t>(5 * r);
  }
  AppMcDiffFrontFilter();
  EXPECT_EQ(Matrix(), std::vector<int16_t>(kTx * kRx, 0));
}

TEST_F(Front, OverloadPathRunsOnlyWithoutNearFieldNoise) {
  // A tilt steeper than the normal clip of 60 per column is only partly removed by one
  // pass; the overload path makes four and gets further.
  auto tilted = [] {
    std::memset(g_assRX1Fifo, 0, sizeof(g_assRX1Fifo));
    std::memset(g_assRXNFifo, 0, sizeof(g_assRXNFifo));
    g_assRXxFifoFrameIndx = 0;
    for (int t = 0; t < kTx; ++t) {
      for (int r = 0; r < kRx; ++r) At(t, r) = static_cast<int16_t>(70 * r + (t == 8 && r == 19 ? 900 : 0));
    }
  };
  auto residue = [] {
    int32_t sum = 0;
    for (int t = 0; t < kTx; ++t) {
      for (int r = 0; r < kRx; ++r) sum += t == 8 && r == 19 ? 0 : std::abs(At(t, r));
    }
    return sum;
  };
  tilted();
  AppMcDiffFrontFilter();
  const int32_t normal = residue();
  tilted();
  g_ucFwAdcOverLoadFlag = 2;
  g_usLikeNFNoiseFrame = 3;  // near-field-like noise keeps the normal path
  AppMcDiffFrontFilter();
  EXPECT_EQ(residue(), normal);
  tilted();
  g_usLikeNFNoiseFrame = 0;
  AppMcDiffFrontFilter();
  EXPECT_LT(residue(), normal);
  EXPECT_EQ(std::max_element(g_stFrmData.assMcDiff, g_stFrmData.assMcDiff + kTx * kRx) - g_stFrmData.assMcDiff,
            8 * kRx + 19);
}

TEST_F(Front, EdgeColumnsAreSmoothedFlattenedAndAveragedOverTwoFrames) {
  for (int t = 0; t < kTx; ++t) {
    At(t, 0) = 300;
    At(t, kRx - 1) = 300;
  }
  AppMcUpDownColFilter(g_stFrmData.assMcDiff);
  EXPECT_EQ(At(5, 0), 0);  // a column of equal values loses its mean
  EXPECT_EQ(At(5, kRx - 1), 0);

  // The first fifo pass averages with the empty slot: edge values are halved; the restore
  // at the full data rate puts this frame's values back.
  std::memset(g_stFrmData.assMcDiff, 0, sizeof(g_stFrmData.assMcDiff));
  At(4, 0) = 100;
  At(4, kRx - 1) = -60;
  AppMcUpDownColFilterFifo(g_stFrmData.assMcDiff);
  EXPECT_EQ(At(4, 0), 50);
  EXPECT_EQ(At(4, kRx - 1), -30);
  EXPECT_EQ(g_assRXxFifoFrameIndx, 1);
  g_ucFWDataRateFlag = 3;
  g_stPeakData.ucMcPosPeakNum = 0;
  McUpDownFiFoRestore();
  EXPECT_EQ(At(4, 0), 100);
  EXPECT_EQ(At(4, kRx - 1), -60);
}

TEST_F(Front, WeakEdgePeaksMoveToAStrongerNeighbourOrAreDropped) {
  g_ucFWDataRateFlag = 1;  // no restore of the edge values
  AppSearchPeakThSet(1);   // self threshold 200, mutual 130
  g_stTdParam.usMcThr = 180;
  At(6, 0) = 150;
  At(7, 0) = 190;
  At(12, 0) = 150;
  At(13, 0) = 170;
  At(12, 1) = 175;
  At(2, 20) = 150;  // not on an edge column: kept as it is
  const uint8_t peaks[] = {6, 0, 12, 0, 2, 20};
  std::memcpy(g_stPeakData.aucMcPeakPos, peaks, sizeof(peaks));
  g_stPeakData.ucMcPosPeakNum = 3;
  for (uint8_t p = 0; p < 3; ++p) AppMcSetPeakValidity(p, 1);
  McUpDownFiFoRestore();
  ASSERT_EQ(g_stPeakData.ucMcPosPeakNum, 2);
  EXPECT_EQ(g_stPeakData.aucMcPeakPos[0], 7);
  EXPECT_EQ(g_stPeakData.aucMcPeakPos[1], 0);
  EXPECT_EQ(g_stPeakData.aucMcPeakPos[2], 2);
  EXPECT_EQ(g_stPeakData.aucMcPeakPos[3], 20);
}

TEST_F(Front, RxProjectionIsReferencedToItsQuietestColumn) {
  AppMc2ScRxProjection();
  for (int c = 0; c < kRx; ++c) EXPECT_EQ(g_stFrmData.assScDiff[2][c], 0);
  At(3, 7) = 50;
  At(9, 7) = -20;
  AppMc2ScRxProjection();
  EXPECT_EQ(g_stFrmData.assScDiff[2][7], 50);
  EXPECT_EQ(g_stFrmData.assScDiff[2][8], 0);

  // Equal smallest column means: the lower column wins.
  for (int t = 0; t < kTx; ++t) {
    for (int r = 0; r < kRx; ++r) At(t, r) = static_cast<int16_t>(r == 4 || r == 9 ? 1 : 40);
  }
  int16_t value = 0;
  EXPECT_EQ(AppMcGroupToScRx(g_stFrmData.assMcDiff, &value), 4);
  EXPECT_EQ(value, 1);
}

TEST_F(Front, WaterProjectionsLoseTheirClampedMean) {
  for (int i = 0; i < kTx * kRx; ++i) g_stFrmData.assMcDiff[i] = 36;
  AppMc2ScNormalWater();
  // Column averages 36, times 17 rows, halved: 306 everywhere; the clamped mean is 100.
  EXPECT_EQ(g_stFrmData.ssMcRxProjMax, 306);
  EXPECT_EQ(g_stFrmData.slMcRxProjSum, kRx * 612);
  EXPECT_EQ(g_stFrmData.assMcRxAbsProj[0], 206);
  EXPECT_EQ(g_stFrmData.assMcRxProj[37], 206);
  EXPECT_EQ(g_stFrmData.assMcTxProj[16], 36 * kRx / 2 - 100);
}

TEST_F(Front, WaterRectangleFollowsTheProjectionsWidth) {
  auto &d = g_stFrmData;
  std::memset(d.assMcRxAbsProj, 0, sizeof(d.assMcRxAbsProj));
  std::memset(d.assMcTxAbsProj, 0, sizeof(d.assMcTxAbsProj));
  EXPECT_EQ(AppGetWaterRect(), 0);
  for (int r = 10; r <= 20; ++r) d.assMcRxAbsProj[r] = 1000;
  for (int t = 3; t <= 12; ++t) d.assMcTxAbsProj[t] = 800;
  ASSERT_EQ(AppGetWaterRect(), 1);
  EXPECT_EQ(stWaterRect[0], 2);   // first Tx index below the limit, walking down
  EXPECT_EQ(stWaterRect[1], 9);
  EXPECT_EQ(stWaterRect[2], 13);  // first index above the run below the limit
  EXPECT_EQ(stWaterRect[3], 21);
  EXPECT_EQ(AppPeakIsInsideWater(5, 15), 0);  // no water state
}

TEST_F(Front, TxSelfLineIsReferencedPerParityAgainstItsOwnChannels) {
  // Even drive lines alternate 40, 0; the odd ones are quiet. The reference projection is
  // loud except at channel 4, which the third even line (j = 2, channel 0 + 2 x 2) meets.
  int16_t *in = g_stFrmData.assScBackDiff[0] + kRx;
  for (int k = 0; k < kTx; k += 2) in[k] = (k / 2) % 2 == 0 ? 40 : 0;
  for (int c = 0; c < LUMA_SC_LINE_LEN; ++c) g_stFrmData.assScDiff[2][c] = 1000;
  g_stFrmData.assScDiff[2][4] = 0;
  AppNoDiffScDiffFrontFilter_Tx(0);
  const int16_t *out = g_stFrmData.assScDiff[0] + kRx;
  // Referenced to the 40 of line 4: 40s become 0, 0s become -40, shrunk to -10.
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out[2], -10);
  EXPECT_EQ(out[4], 0);
  EXPECT_EQ(out[1], 0);
}

TEST_F(Front, DataRateDropsUnderOverloadWithoutNearFieldNoise) {
  AppTpDataRateCtrl();
  EXPECT_EQ(g_ucFWDataRateFlag, 3);
  g_ucFwAdcOverLoadFlag = 1;
  AppTpDataRateCtrl();
  EXPECT_EQ(g_ucFWDataRateFlag, 1);
  g_usLikeNFNoiseFrame = 1;
  AppTpDataRateCtrl();
  EXPECT_EQ(g_ucFWDataRateFlag, 3);
}

}  // namespace

namespace {

class Config : public ::testing::Test {
 protected:
  void TearDown() override {
    LumaFwConfigLoad(nullptr, 0);
    alg_module_init();
  }
};

TEST_F(Config, AReplacementIsCheckedAgainstTheRecordsCapacity) {
  LumaFwConfig image = g_stFwConfig;
  EXPECT_EQ(LumaFwConfigLoad(&image, 600), -1);
  image.ucRxNum = image.ucScRxNum = 39;
  image.usRxNum = 39;
  EXPECT_EQ(LumaFwConfigLoad(&image, sizeof(image)), -1);
  EXPECT_EQ(g_stFwConfig.ucRxNum, kRx);
  image = g_stFwConfig;
  image.ucTdByte33 = 40;  // a shift past a 32-bit value
  EXPECT_EQ(LumaFwConfigLoad(&image, sizeof(image)), -1);

  // Swapped axes are accepted; the time average then scales only the rows the matrix has.
  image = g_stFwConfig;
  image.ucXYSwap = 1;
  ASSERT_EQ(LumaFwConfigLoad(&image, sizeof(image)), 0);
  alg_module_init();
  EXPECT_EQ(g_stFrmInfo.aucCfgCopy[6], kRx);
  std::vector<int16_t> acc(LUMA_MAX_NODES, 100), cur(LUMA_MAX_NODES, 300);
  AppMcTMA(acc.data(), cur.data(), 1, 2);
  EXPECT_EQ(acc[16 * kRx + 37], 200);  // (100 + 300) / 2 on the last row
  EXPECT_EQ(acc[17 * kRx], 100);       // past the matrix: untouched
}

}  // namespace

namespace {

TEST(MaskTools, BaseUpdateStatusNeedsFewerThanAThirdMarkedAndFreeEnds) {
  struct Case {
    int marks;
    bool end_marked;
    uint8_t status;
  };
  for (const Case &c : {Case{11, false, 1}, Case{12, false, 0}, Case{3, true, 0}}) {
    std::vector<uint8_t> mask(kRx, 0);
    for (int i = 0; i < c.marks; ++i) mask[5 + i] = 1;
    if (c.end_marked) mask[kRx - 1] = 2;
    uint8_t count = 0, status = 9;
    AppMcCalcBaseUpdateStatus(mask.data(), 1, kRx, &count, &status);
    EXPECT_EQ(count, c.marks + (c.end_marked ? 1 : 0));
    EXPECT_EQ(status, c.status) << c.marks;
  }
}

TEST(MaskTools, EnhancementGrowsSeedsWithinTheRowBudgets) {
  constexpr int kRows = 3, kCols = 6;
  std::vector<int16_t> diff(kRows * kCols, 0);
  std::vector<uint8_t> mask(kRows * kCols, 0);
  mask[1 * kCols + 2] = 1;  // a seed below level 10
  int8_t budget[kRows] = {5, 5, 5};  // at the minimum: nothing may be written
  AppMcMaskEnhance(mask.data(), kRows, kCols, budget, 10, diff.data());
  EXPECT_EQ(std::count(mask.begin(), mask.end(), 0), kRows * kCols - 1);
  int8_t more[kRows] = {6, 6, 6};
  AppMcMaskEnhance(mask.data(), kRows, kCols, more, 10, diff.data());
  EXPECT_EQ(mask[0 * kCols + 2], 10);  // up
  EXPECT_EQ(mask[2 * kCols + 2], 10);  // down
  EXPECT_EQ(mask[1 * kCols + 1], 10);  // left
  EXPECT_EQ(mask[1 * kCols + 3], 0);   // right: the row's budget ran down to the minimum
  EXPECT_EQ(more[1], 5);
}

TEST(MaskTools, DilationMarksRowThenColumnNeighbours) {
  constexpr int kRows = 3, kCols = 3;
  std::vector<uint8_t> source(kRows * kCols, 0), target(kRows * kCols, 0);
  source[4] = 2;
  AppMcAcfDilate_3x3(source.data(), kRows, kCols, target.data());
  EXPECT_EQ(target, (std::vector<uint8_t>{0, 5, 0, 3, 0, 3, 0, 5, 0}));
}

TEST(MaskTools, FrameBridgingAndRowFitResidue) {
  const int16_t matrix[2 * 4] = {10, 99, 99, 40, 10, 99, 99, 21};
  const uint8_t masks[2 * 4] = {0, 1, 1, 0, 0, 1, 1, 0};
  int16_t out[8];
  AppMcFrameAcfPeakFilter(matrix, masks, 2, 4, out);
  EXPECT_EQ(std::vector<int16_t>(out, out + 8), (std::vector<int16_t>{10, 20, 30, 40, 10, 13, 16, 21}));
  AppMcFrameAcfPeakFilter(matrix, nullptr, 2, 4, out);
  EXPECT_EQ(out[1], 99);
  // With a flat basis vector the fit is the bridged row's mean, removed from the raw row.
  const int16_t basis[4] = {128, 128, 128, 128};
  EXPECT_EQ(AppMcAcfByRowData(matrix, basis, masks, 4, 1, out), 0);
  EXPECT_EQ(out[0], 10 - 25);
  EXPECT_EQ(out[1], 99 - 25);
  EXPECT_EQ(AppMcAcfByRowData(matrix, nullptr, masks, 4, 1, out), 1);
}

}  // namespace
