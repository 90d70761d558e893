// The floating-finger network end to end: the exact size of its weight block, the
// all-zero block (500 inside the grid, 0 on the border), the input rows and columns it
// keeps, and failures that leave the output addresses unset.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "net_float_internal.h"
#include "nn_test_util.h"

namespace {

struct FloatFixture : ::testing::Test {
  std::vector<uint8_t> buffer = std::vector<uint8_t>(4u << 20);
  std::vector<uint8_t> zeros = std::vector<uint8_t>(kFloatNetWeightBytes);
  uint16_t* m1 = nullptr;
  uint16_t* m2 = nullptr;
  void TearDown() override { NetFloatRemoveWeights(); }

  uint32_t Run(const std::vector<int16_t>& diff, int32_t rows, int32_t cols, const std::vector<uint8_t>& blob,
               uint32_t* consumed = nullptr) {
    const FloatNetRunArgs a{diff.data(), buffer.data(), rows, cols, &m1, &m2, blob.data(),
                            static_cast<uint32_t>(blob.size())};
    return NetFloatRun(a, consumed);
  }
};

// Rows below 30 use a 20-row input, 30 and more a 40-row one; the all-zero block gives the
// hard sigmoid of 0 everywhere inside the grid and leaves the border row and column 0.
TEST_F(FloatFixture, AllZeroBlockFillsTheGridWithFiveHundred) {
  for (int32_t rows : {16, 29, 30, 40}) {
    SCOPED_TRACE(rows);
    const int32_t grid = rows < 30 ? 20 : 40;
    std::vector<int16_t> diff(static_cast<size_t>(rows) * 40, 300);
    uint32_t consumed = 0;
    ASSERT_EQ(Run(diff, rows, 40, zeros, &consumed), FRNN_OK);
    EXPECT_EQ(consumed, kFloatNetWeightBytes);
    ASSERT_EQ(m1, reinterpret_cast<uint16_t*>(buffer.data() + kFloatNetMap1Offset));
    ASSERT_EQ(m2, reinterpret_cast<uint16_t*>(buffer.data() + kFloatNetMap2Offset));
    for (uint16_t* m : {m1, m2})
      for (uint32_t j = 0; j < kFloatNetAreaValues; ++j) {
        const uint32_t y = j / kFloatNetMapPitch, x = j % kFloatNetMapPitch;
        const bool bInside = y >= 1 && y <= static_cast<uint32_t>(grid) && x >= 1 && x <= 40;
        ASSERT_EQ(m[j], bInside ? 500 : 0) << y << "," << x;
      }
  }
}

// The input copy keeps min(rows, grid) rows of min(cols, 40) values with a pitch of 40.
TEST_F(FloatFixture, InputCopyCutsRowsAndColumns) {
  std::vector<int16_t> diff(29 * 52);
  for (size_t j = 0; j < diff.size(); ++j) diff[j] = static_cast<int16_t>(j);
  ASSERT_EQ(Run(diff, 29, 52, zeros), FRNN_OK);
  const auto* in = reinterpret_cast<const int16_t*>(buffer.data() + kFloatNetInputOffset);
  EXPECT_EQ(in[0], 0);
  EXPECT_EQ(in[39], 39);
  EXPECT_EQ(in[40], 52);
  EXPECT_EQ(in[19 * 40 + 39], 19 * 52 + 39);
  EXPECT_EQ(in[20 * 40], 0);  // row 20 and beyond are dropped for a 20-row grid
}

// A NaN in either map (here from the head's bias of that map) fails the run: it must not
// pass for a score of 0. Neither map is written out (the other map would read 500).
TEST_F(FloatFixture, NanMapFailsTheRun) {
  const uint16_t nan = 0x7E00;
  for (uint32_t back : {1u, 2u}) {
    SCOPED_TRACE(back);
    std::vector<uint8_t> blob = zeros;
    memcpy(blob.data() + blob.size() - back * 2, &nan, 2);
    std::vector<int16_t> diff(40 * 40, 5);
    EXPECT_EQ(Run(diff, 40, 40, blob), FRNN_ERR_STEP);
    EXPECT_EQ(m1, nullptr);
    EXPECT_EQ(m2, nullptr);
    const auto* a1 = reinterpret_cast<const uint16_t*>(buffer.data() + kFloatNetMap1Offset);
    for (uint32_t j = 0; j < kFloatNetAreaValues; ++j) ASSERT_NE(a1[j], 500u) << j;
  }
}

TEST_F(FloatFixture, FailuresLeaveTheAddressesUnset) {
  std::vector<int16_t> diff(40 * 40, 5);
  std::vector<uint8_t> shortBlob(kFloatNetWeightBytes - 4);
  EXPECT_EQ(Run(diff, 40, 40, shortBlob), FRNN_ERR_WEIGHT);
  EXPECT_EQ(m1, nullptr);
  EXPECT_EQ(m2, nullptr);
  EXPECT_EQ(Run(diff, 0, 40, zeros), FRNN_ERR_ARG);
  EXPECT_EQ(NetFloatComplement(diff.data(), buffer.data(), 40, 40, &m1, &m2), FRNN_ERR_WEIGHT);
  EXPECT_EQ(m1, nullptr);
  EXPECT_EQ(NetFloatSetWeights(zeros.data(), kFloatNetWeightBytes + 2), FRNN_ERR_ARG);
  ASSERT_EQ(NetFloatSetWeights(zeros.data(), kFloatNetWeightBytes), FRNN_OK);
  ASSERT_EQ(NetFloatComplement(diff.data(), buffer.data(), 40, 40, &m1, &m2), FRNN_OK);
  EXPECT_EQ(m1[kFloatNetMapPitch + 1], 500);
}

}  // namespace
