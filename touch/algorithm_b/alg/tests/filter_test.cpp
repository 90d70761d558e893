// Line background filters: basis fits, masked-run bridging, steep-step masks and the
// self-capacitance line filter with its masks.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "luma_filter.h"

namespace {

constexpr uint8_t X = 1;  // a marked entry in the tables below

struct BridgeCase {
  std::vector<int16_t> line;
  std::vector<uint8_t> mask;
  std::vector<int16_t> expected;
};

TEST(Bridging, MarkedRunsBecomeStraightLines) {
  const BridgeCase cases[] = {
      {{10, 0, 0, 40}, {0, X, X, 0}, {10, 20, 30, 40}},
      {{10, 0, 0, 21}, {0, X, X, 0}, {10, 13, 16, 21}},          // slope truncates toward zero
      {{21, 0, 0, 10}, {0, X, X, 0}, {21, 18, 15, 10}},          // and so for a falling one
      {{9, 9, 5, 7}, {X, X, 0, 0}, {5, 5, 5, 7}},                // run at the start
      {{3, 8, 8}, {0, X, 4}, {3, 3, 3}},                         // run at the end; 4 is a mark too
      {{1, 2, 3}, {X, X, X}, {1, 2, 3}},                         // nothing to bridge from
      {{0, 50, 10, 0, 99, 4}, {0, 0x80, 0, X, 0, X}, {0, 50, 10, 54, 99, 99}},  // negative byte is free
  };
  for (const auto &c : cases) {
    std::vector<int16_t> out(c.line.size(), -1);
    AppMcAcfPeakFilter(c.line.data(), c.mask.data(), static_cast<uint16_t>(c.line.size()), out.data());
    EXPECT_EQ(out, c.expected);
    std::vector<int16_t> in_place = c.line;
    AppMcAcfPeakFilter(in_place.data(), c.mask.data(), static_cast<uint16_t>(in_place.size()), in_place.data());
    EXPECT_EQ(in_place, c.expected);
  }
}

// A two-vector Q8 basis of length 4: constant and a sign step, each of squared norm 65536.
const int16_t kBasis4[] = {128, 128, 128, 128, 128, 128, -128, -128};

TEST(BasisFit, RebuildsTheSpannedPartOfALine) {
  const int16_t line[] = {30, 10, 4, 0};
  int16_t out[4];
  LibAcfTrans(line, kBasis4, 4, 1, out);
  EXPECT_EQ(std::vector<int16_t>(out, out + 4), std::vector<int16_t>(4, 11));  // the mean
  LibAcfTrans(line, kBasis4, 4, 2, out);
  EXPECT_EQ(std::vector<int16_t>(out, out + 4), (std::vector<int16_t>{20, 20, 2, 2}));
  LibAcfTrans(line, kBasis4, 4, 0, out);
  EXPECT_EQ(std::vector<int16_t>(out, out + 4), std::vector<int16_t>(4, 0));

  int16_t in_place[4] = {30, 10, 4, 0};
  LibAcfTrans(in_place, kBasis4, 4, 2, in_place);
  EXPECT_EQ(std::vector<int16_t>(in_place, in_place + 4), (std::vector<int16_t>{20, 20, 2, 2}));

  const uint8_t mask[4] = {0, 1, 0, 1};
  int16_t masked[4] = {-7, -7, -7, -7};
  LibAcfTransWithMask(line, kBasis4, 4, 2, masked, mask);
  EXPECT_EQ(std::vector<int16_t>(masked, masked + 4), (std::vector<int16_t>{-7, 20, -7, 2}));

  // Coefficients from the first two entries against a short basis, rebuilt at length 4.
  const int16_t short_basis[] = {181, 181};
  int16_t wide[4];
  LibAcfTransDownSample(line, short_basis, 2, kBasis4, 4, 1, wide);
  // (181*30 + 181*10) >> 8 = 28; 28*128 >> 8 = 14
  EXPECT_EQ(std::vector<int16_t>(wide, wide + 4), std::vector<int16_t>(4, 14));
}

TEST(BasisFit, VectorCountBeyondTheCoefficientStoreIsCapped) {
  // Twelve vectors, each a unit impulse (Q8): a full fit reproduces only the first ten.
  constexpr uint16_t n = 12;
  std::vector<int16_t> basis(n * n, 0);
  for (uint16_t j = 0; j < n; ++j) basis[j * n + j] = 256;
  std::vector<int16_t> line(n, 5), out(n, -1);
  LibAcfTrans(line.data(), basis.data(), n, 12, out.data());
  for (uint16_t i = 0; i < n; ++i) EXPECT_EQ(out[i], i < LUMA_ACF_MAX_VECTORS ? 5 : 0) << i;
}

TEST(SteepMask, SpikeMarksByTheTwoStepThresholds) {
  const int16_t line[9] = {0, 0, 0, 0, 100, 0, 0, 0, 0};
  struct Case {
    int16_t t1, t2;
    std::vector<uint8_t> expected;
  } cases[] = {
      {50, 500, {0, 0, 0, 1, 1, 1, 0, 0, 0}},
      {50, 50, {0, 0, 1, 1, 1, 1, 1, 0, 0}},
      {100, 100, {0, 0, 0, 0, 0, 0, 0, 0, 0}},  // a step must exceed its threshold
  };
  for (const auto &c : cases) {
    std::vector<uint8_t> mask(9, 0);
    LmxGetMask(line, 9, c.t1, c.t2, mask.data());
    EXPECT_EQ(mask, c.expected) << c.t1 << "/" << c.t2;
  }
  uint8_t short_mask[4] = {};
  const int16_t short_line[4] = {0, 900, 0, 900};
  LmxGetMask(short_line, 4, 1, 1, short_mask);
  EXPECT_EQ(std::vector<uint8_t>(short_mask, short_mask + 4), std::vector<uint8_t>(4, 0));
}

TEST(SteepMask, RowFilterBridgesMarkedEntries) {
  const int16_t line[9] = {10, 10, 10, 10, 300, 20, 20, 20, 20};
  int16_t out[9];
  LmxRowFilter(line, 9, 50, 500, out);
  // Entries 3..5 are marked; each takes the mean of entries 2 and 6.
  EXPECT_EQ(std::vector<int16_t>(out, out + 9), (std::vector<int16_t>{10, 10, 10, 15, 15, 15, 20, 20, 20}));
}

TEST(SteepMask, RowFilterPassesALineLongerThanItsMaskThrough) {
  // Steep entries all along a 200-entry line: the private mask holds 128 entries, so the
  // line comes back unfiltered instead of being marked past the mask's end.
  std::vector<int16_t> line(200);
  for (size_t i = 0; i < line.size(); ++i) line[i] = static_cast<int16_t>(i % 2 ? 1000 : -1000);
  std::vector<int16_t> out(200, 0);
  LmxRowFilter(line.data(), 200, 10, 10, out.data());
  EXPECT_EQ(out, line);
  std::vector<int16_t> filtered(200, 0);
  EXPECT_EQ(LibAppAcfFilterWithMask(line.data(), std::vector<int16_t>(200, 18).data(), 200, 0, 10, 10,
                                    filtered.data()),
            0);
  EXPECT_EQ(filtered, line);  // mean of the alternating line is 0; no fit
}

TEST(BackgroundFilter, RemovesMeanAndFitAndRejectsMissingBuffers) {
  const int16_t line[4] = {30, 10, 4, 0};
  int16_t out[4];
  ASSERT_EQ(LibAppAcfFilter(line, kBasis4, 4, 0, out), 0);
  EXPECT_EQ(std::vector<int16_t>(out, out + 4), (std::vector<int16_t>{19, -1, -7, -11}));
  ASSERT_EQ(LibAppAcfFilter(line, kBasis4, 4, 2, out), 0);
  // Mean removed (11), then the step fit of the remainder (9, 9, -9, -9).
  EXPECT_EQ(std::vector<int16_t>(out, out + 4), (std::vector<int16_t>{10, -10, 2, -2}));

  // A plain multiple of a basis vector is gone after a one-vector fit.
  const int16_t step[4] = {64, 64, -64, -64};
  ASSERT_EQ(LibAppAcfFilterWithMask(step, kBasis4 + 4, 4, 1, 500, 500, out), 0);
  for (int16_t v : out) EXPECT_LE(std::abs(v), 1);

  int16_t untouched[4] = {7, 7, 7, 7};
  EXPECT_EQ(LibAppAcfFilterWithMask(line, kBasis4, 4, 1, 10, 10, nullptr), 1);
  EXPECT_EQ(LibAppAcfFilter(line, nullptr, 4, 1, untouched), 1);
  EXPECT_EQ(std::vector<int16_t>(untouched, untouched + 4), std::vector<int16_t>(4, 7));
  EXPECT_EQ(LibAppAcfFilterInputRefData(nullptr), 1);
  EXPECT_EQ(LibAppAcfFilterInputRefData(line), 0);
}

class ScFilter : public ::testing::Test {
 protected:
  void SetUp() override {
    gucRxMaskReadyFlg = gucTxMaskReadyFlg = gucRxNormalMaskReadyFlg = 0;
    std::memset(gucScRxMask, 0, sizeof(gucScRxMask));
    std::memset(gucScTxMask, 0, sizeof(gucScTxMask));
    std::memset(gucScRxNormalMask, 0, sizeof(gucScRxNormalMask));
    std::memset(g_stFrmData.assMcDiff, 0, sizeof(g_stFrmData.assMcDiff));
  }
  const LumaScAcfParam params_{1, 150, 3, 150, 3};
};

TEST_F(ScFilter, SteepStepMarksNeedMoreThanTheThreshold) {
  struct Case {
    int16_t step;
    std::vector<uint8_t> expected;
  } cases[] = {
      {450, {0, 0, 0, 0, 0, 0, 0}},
      {451, {0, 0, 4, 4, 4, 4, 0}},  // the step between entries 3 and 4 marks 2..5
  };
  for (const auto &c : cases) {
    const int16_t line[7] = {0, 0, 0, 0, c.step, c.step, c.step};
    std::vector<uint8_t> mask(7, 0);
    AppAcfCalcMaskBySrcRowData(line, 7, LUMA_SC_STEEP_STEP, mask.data());
    EXPECT_EQ(mask, c.expected) << c.step;
  }
  // A step at the start marks entry 0 widened and entry 1 as a touch; marks are never cleared.
  const int16_t start[5] = {0, 600, 600, 600, 600};
  uint8_t mask[5] = {0, 0, 0, 0, 7};
  AppAcfCalcMaskBySrcRowData(start, 5, LUMA_SC_STEEP_STEP, mask);
  EXPECT_EQ(std::vector<uint8_t>(mask, mask + 5), (std::vector<uint8_t>{4, 1, 0, 0, 7}));
}

TEST_F(ScFilter, MutualMaskMarksNodesAbove150AndWidens) {
  std::vector<int16_t> matrix(LUMA_SC_TX_LEN * LUMA_SC_RX_LEN, 0);
  matrix[3 * LUMA_SC_RX_LEN + 10] = 150;
  AppScMaskByMcDiff(matrix.data(), LUMA_SC_TX_LEN, LUMA_SC_RX_LEN);
  EXPECT_EQ(gucRxMaskReadyFlg, 0);
  EXPECT_EQ(gucTxMaskReadyFlg, 0);
  EXPECT_EQ(gucRxNormalMaskReadyFlg, 0);

  matrix[3 * LUMA_SC_RX_LEN + 10] = -151;
  matrix[0 * LUMA_SC_RX_LEN + 37] = 151;
  AppScMaskByMcDiff(matrix.data(), LUMA_SC_TX_LEN, LUMA_SC_RX_LEN);
  EXPECT_EQ(gucRxMaskReadyFlg, 2);
  EXPECT_EQ(gucTxMaskReadyFlg, 2);
  EXPECT_EQ(gucRxNormalMaskReadyFlg, 2);
  std::vector<uint8_t> rx(LUMA_SC_RX_LEN, 0);
  rx[9] = 4, rx[10] = 1, rx[11] = 4, rx[36] = 4, rx[37] = 1;
  EXPECT_EQ(std::vector<uint8_t>(gucScRxMask, gucScRxMask + LUMA_SC_RX_LEN), rx);
  EXPECT_EQ(std::vector<uint8_t>(gucScRxNormalMask, gucScRxNormalMask + LUMA_SC_RX_LEN), rx);
  std::vector<uint8_t> tx(LUMA_SC_TX_LEN, 0);
  tx[0] = 1, tx[1] = 4, tx[2] = 4, tx[3] = 1, tx[4] = 4;
  EXPECT_EQ(std::vector<uint8_t>(gucScTxMask, gucScTxMask + LUMA_SC_TX_LEN), tx);
}

// A tilted background with one touch on an Rx line: the background goes, the touch stays.
std::vector<int16_t> TiltWithTouch(uint8_t n, uint8_t centre) {
  std::vector<int16_t> line(n);
  for (uint8_t i = 0; i < n; ++i) line[i] = static_cast<int16_t>(200 + 3 * i);
  line[centre] += 800;
  line[centre - 1] += 300;
  line[centre + 1] += 300;
  return line;
}

TEST_F(ScFilter, LineMaskKeepsTheTouchAndRemovesTheBackground) {
  for (uint8_t axis : {0, 2}) {
    auto line = TiltWithTouch(LUMA_SC_RX_LEN, 20);
    std::vector<int16_t> out(LUMA_SC_RX_LEN, 0);
    ASSERT_EQ(AppScDiffAcfFilter(line.data(), LUMA_SC_RX_LEN, out.data(), axis, &params_), 0);
    EXPECT_GT(out[20], 700) << int(axis);
    EXPECT_GT(out[19], 200) << int(axis);
    for (uint8_t i = 0; i < LUMA_SC_RX_LEN; ++i)
      if (i < 17 || i > 23) {
        EXPECT_LE(std::abs(out[i]), 20) << int(axis) << " at " << int(i);
      }
  }
}

TEST_F(ScFilter, StoredMutualMaskServesOneFrame) {
  std::vector<int16_t> matrix(LUMA_SC_TX_LEN * LUMA_SC_RX_LEN, 0);
  matrix[5 * LUMA_SC_RX_LEN + 20] = 400;
  AppScMaskByMcDiff(matrix.data(), LUMA_SC_TX_LEN, LUMA_SC_RX_LEN);
  // A touch too low to stand out of the line's own fit, but marked by the mutual diff.
  std::vector<int16_t> line(LUMA_SC_RX_LEN, 100);
  line[20] = 220;
  std::vector<int16_t> out(LUMA_SC_RX_LEN, 0);
  ASSERT_EQ(AppScDiffAcfFilter(line.data(), LUMA_SC_RX_LEN, out.data(), 0, &params_), 0);
  EXPECT_GE(out[20], 118);
  EXPECT_LE(std::abs(out[0]), 2);
  EXPECT_EQ(gucRxMaskReadyFlg, 0);
  EXPECT_EQ(gucScRxMask[20], 0);
}

TEST_F(ScFilter, FullyMarkedLineIsReferencedToTheQuietestMutualRow) {
  for (uint8_t r = 0; r < LUMA_SC_TX_LEN; ++r) g_stFrmData.assMcDiff[r * LUMA_SC_RX_LEN + 7] = 1000 + 10 * r;
  g_stFrmData.assMcDiff[5 * LUMA_SC_RX_LEN + 7] = 300;
  AppScMaskByMcDiff(g_stFrmData.assMcDiff, LUMA_SC_TX_LEN, LUMA_SC_RX_LEN);
  ASSERT_EQ(gucTxMaskReadyFlg, 2);
  std::vector<int16_t> line(LUMA_SC_TX_LEN);
  for (uint8_t i = 0; i < LUMA_SC_TX_LEN; ++i) line[i] = static_cast<int16_t>(50 + i * i);
  std::vector<int16_t> out(LUMA_SC_TX_LEN, 0);
  ASSERT_EQ(AppScDiffAcfFilter(line.data(), LUMA_SC_TX_LEN, out.data(), 1, &params_), 0);
  for (uint8_t i = 0; i < LUMA_SC_TX_LEN; ++i) EXPECT_EQ(out[i], line[i] - line[5]) << int(i);
}

TEST_F(ScFilter, FullyMarkedShortLineStaysWithinItsLength) {
  // The quietest row (12) lies beyond a line of 4: nothing past the line is read or written.
  for (uint8_t r = 0; r < LUMA_SC_TX_LEN; ++r) g_stFrmData.assMcDiff[r * LUMA_SC_RX_LEN] = r == 12 ? 10 : 2000;
  const int16_t line[4] = {40, 50, 60, 70};
  uint8_t mask[4] = {1, 1, 1, 1};
  int16_t out[8] = {0, 0, 0, 0, -5, -5, -5, -5};
  ASSERT_EQ(AppScFilteredWhenMaskFull(line, gScFeatTx, mask, 4, LUMA_SC_TX_LEN, out), 0);
  EXPECT_EQ(std::vector<int16_t>(out, out + 8), (std::vector<int16_t>{40, 50, 60, 70, -5, -5, -5, -5}));

  // Widened marks are freed and the line fitted with one vector instead.
  uint8_t widened[4] = {4, 1, 1, 4};
  const int16_t flat[4] = {90, 300, 300, 90};
  ASSERT_EQ(AppScFilteredWhenMaskFull(flat, kBasis4, widened, 4, 4, out), 0);
  EXPECT_EQ(std::vector<uint8_t>(widened, widened + 4), (std::vector<uint8_t>{0, 1, 1, 0}));
  EXPECT_EQ(std::vector<int16_t>(out, out + 4), (std::vector<int16_t>{0, 210, 210, 0}));
}

TEST_F(ScFilter, FullMaskDiffFilterRemovesTheQuietMean) {
  int16_t line[5] = {10, 20, 900, 30, 1000};
  AppScFullMskDiffFilter(line, 5, 500);
  EXPECT_EQ(std::vector<int16_t>(line, line + 5), (std::vector<int16_t>{-10, 0, 880, 10, 980}));
  int16_t loud[2] = {900, 950};
  AppScFullMskDiffFilter(loud, 2, 500);
  EXPECT_EQ(loud[0], 900);
  EXPECT_EQ(loud[1], 950);
}

TEST_F(ScFilter, MissingBuffersAndOverlongLines) {
  int16_t line[LUMA_SC_RX_LEN + 2] = {};
  int16_t out[LUMA_SC_RX_LEN + 2] = {};
  EXPECT_EQ(AppScDiffAcfFilter(nullptr, 5, out, 0, &params_), 1);
  EXPECT_EQ(AppScDiffAcfFilter(line, 5, nullptr, 0, &params_), 1);
  line[39] = 77;
  EXPECT_EQ(AppScDiffAcfFilter(line, LUMA_SC_RX_LEN + 2, out, 0, &params_), 1);  // longer than its basis
  EXPECT_EQ(out[39], 77);
  EXPECT_EQ(AppScDiffAcfFilter(line, LUMA_SC_TX_LEN + 1, out, 1, &params_), 1);
}

}  // namespace
