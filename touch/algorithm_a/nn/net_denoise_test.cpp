// The denoise network end to end: its weight object's exact size, the all-zero object
// (the image minus its row means), the row-end resampling, the row limits and the
// installed weights.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numeric>
#include <vector>

#include "net_denoise_internal.h"
#include "nn_test_util.h"

namespace {

struct DenoiseFixture : ::testing::Test {
  std::vector<uint8_t> buffer = std::vector<uint8_t>(kDenoiseNetPoolBytes);
  std::vector<uint8_t> zeros = std::vector<uint8_t>(kDenoiseNetWeightBytes);
  std::vector<uint16_t> halfMeans = std::vector<uint16_t>(kDenoiseNetMaxRows, 0xFFFF);
  void SetUp() override { DenoiseNetInit(); }
  void TearDown() override { DenoiseNetRemoveWeights(); }

  uint32_t Run(std::vector<int16_t>& diff, int32_t rows, int32_t cols, const std::vector<uint8_t>& blob,
               DenoiseNetRunReport* rep = nullptr) {
    const DenoiseNetRunArgs a{diff.data(), halfMeans.data(), buffer.data(), rows, cols, blob.data(),
                              static_cast<uint32_t>(blob.size())};
    return DenoiseNetRun(a, rep);
  }
};

// Rows whose means are whole numbers: row y is 16 x y plus a zero-sum ripple.
std::vector<int16_t> RippleRows(int32_t rows, int32_t cols) {
  std::vector<int16_t> d(static_cast<size_t>(rows) * cols);
  for (int32_t y = 0; y < rows; ++y)
    for (int32_t x = 0; x < cols; ++x) d[y * cols + x] = static_cast<int16_t>(16 * y - 40 + ((x % 2) ? 24 : -24));
  return d;
}

TEST_F(DenoiseFixture, BasisTableHoldsTheFourCurves) {
  EXPECT_EQ(LcdDenoiseNetParams[0], 64.0f);
  EXPECT_EQ(LcdDenoiseNetParams[39], 64.0f);
  EXPECT_EQ(LcdDenoiseNetParams[40 + 8], 1.0f);
  EXPECT_EQ(LcdDenoiseNetParams[80 + 30], 0.0125f * 100.0f);
  EXPECT_EQ(LcdDenoiseNetParams[120 + 10], 0.00125f * -1000.0f);
}

// The all-zero object predicts no noise: every row loses exactly its mean, and the
// layers read the whole stream behind the header, no more.
TEST_F(DenoiseFixture, AllZeroObjectSubtractsTheRowMeans) {
  for (int32_t rows : {1, 20, 21, 40}) {
    SCOPED_TRACE(rows);
    std::vector<int16_t> d = RippleRows(rows, 40);
    const std::vector<int16_t> before = d;
    DenoiseNetRunReport rep{};
    ASSERT_EQ(Run(d, rows, 40, zeros, &rep), FRNN_OK);
    EXPECT_EQ(rep.uiConsumedBytes, kDenoiseNetWeightBytes - kDenoiseNetHeaderBytes);
    for (int32_t y = 0; y < rows; ++y) {
      const int32_t mean = 16 * y - 40;
      EXPECT_EQ(halfMeans[y], static_cast<uint16_t>((mean < 0 ? -mean : mean) / 8 >> 1));
      for (int32_t x = 0; x < 40; ++x) ASSERT_EQ(d[y * 40 + x], before[y * 40 + x] - mean) << y << "," << x;
    }
  }
}

// An object one word short fails the last layer that reads it; the image stays as it was.
TEST_F(DenoiseFixture, ShortObjectFailsAndLeavesTheImage) {
  std::vector<uint8_t> shortBlob(kDenoiseNetWeightBytes - 4);
  std::vector<int16_t> d = RippleRows(20, 40);
  const std::vector<int16_t> before = d;
  EXPECT_EQ(Run(d, 20, 40, shortBlob), FRNN_ERR_WEIGHT);
  EXPECT_EQ(d, before);
}

// Resampling reads only the row's own values: a row of zeros above a row of large values
// keeps a zero mean and comes out unchanged.
TEST_F(DenoiseFixture, ResamplingStaysInsideItsRow) {
  for (int32_t cols : {20, 33, 52}) {
    SCOPED_TRACE(cols);
    std::vector<int16_t> d(2 * cols, 0);
    for (int32_t x = 0; x < cols; ++x) d[cols + x] = 800;
    ASSERT_EQ(Run(d, 2, cols, zeros), FRNN_OK);
    EXPECT_EQ(halfMeans[0], 0);
    EXPECT_EQ(halfMeans[1], 50);  // |800 x 0.125| >> 1
    for (int32_t x = 0; x < cols; ++x) {
      EXPECT_EQ(d[x], 0) << x;
      EXPECT_EQ(d[cols + x], 0) << x;
    }
  }
}

// A value the 16 bits cannot hold saturates instead of wrapping to the other sign.
TEST_F(DenoiseFixture, OutputSaturates) {
  std::vector<int16_t> d(40, -32768);
  d[0] = 32767;
  ASSERT_EQ(Run(d, 1, 40, zeros), FRNN_OK);
  EXPECT_EQ(d[0], 32767);  // 32767 minus a mean near -31130
  EXPECT_LT(d[1], 0);
  EXPECT_GT(d[1], -2000);
}

// A NaN in a row's noise curve, from the weights or from the basis table, fails the run
// and the image stays as it was: a NaN must not pass for "no noise".
TEST_F(DenoiseFixture, NanCurveFailsAndLeavesTheImage) {
  const uint16_t nan = 0x7E00;
  struct Case {
    const char* what;
    bool bBasis;
  } cases[] = {{"last dense bias", false}, {"basis table", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<uint8_t> blob = zeros;
    if (c.bBasis) {
      LcdDenoiseNetParams[2 * 40 + 17] = std::nanf("");
    } else {
      memcpy(blob.data() + blob.size() - 160 * 2 + 4 * 3 * 2, &nan, 2);  // row 3, first coefficient
    }
    std::vector<int16_t> d = RippleRows(6, 40);
    const std::vector<int16_t> before = d;
    EXPECT_EQ(Run(d, 6, 40, blob), FRNN_ERR_STEP);
    EXPECT_EQ(d, before);
    DenoiseNetInit();
  }
}

TEST_F(DenoiseFixture, RowLimitsAndArgumentsAreRefusedBeforeAnythingIsWritten) {
  struct Case {
    int32_t rows, cols;
    uint32_t want;
  } cases[] = {{0, 40, FRNN_ERR_NULL}, {41, 40, FRNN_ERR_ARG}, {-1, 40, FRNN_ERR_ARG},
               {10, 0, FRNN_ERR_ARG},  {2, 32768, FRNN_ERR_ARG}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rows);
    std::vector<int16_t> d(64 * 1024, 7);
    halfMeans.assign(kDenoiseNetMaxRows, 0xFFFF);
    EXPECT_EQ(Run(d, c.rows, c.cols, zeros), c.want);
    EXPECT_EQ(d[0], 7);
    EXPECT_EQ(halfMeans[0], 0xFFFF);
  }
}

TEST_F(DenoiseFixture, InterfaceUsesTheInstalledObject) {
  std::vector<int16_t> d = RippleRows(4, 40);
  const std::vector<int16_t> before = d;
  EXPECT_EQ(DlNetInterface(d.data(), halfMeans.data(), buffer.data(), 4, 40), FRNN_ERR_WEIGHT);
  EXPECT_EQ(d, before);
  EXPECT_EQ(DenoiseNetSetWeights(zeros.data(), kDenoiseNetWeightBytes - 1), FRNN_ERR_ARG);
  EXPECT_EQ(DenoiseNetSetWeights(nullptr, kDenoiseNetWeightBytes), FRNN_ERR_NULL);
  ASSERT_EQ(DenoiseNetSetWeights(zeros.data(), kDenoiseNetWeightBytes), FRNN_OK);
  ASSERT_EQ(DlNetInterface(d.data(), halfMeans.data(), buffer.data(), 4, 40), FRNN_OK);
  EXPECT_EQ(d[0], before[0] + 40);
}

}  // namespace
