// Charge and display noise estimates of a projected mutual line.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "luma_noise.h"
#include "luma_records.h"

namespace {

class NoiseEstimate : public ::testing::Test {
 protected:
  void SetUp() override {
    register_alg_module(nullptr);
    alg_module_init();
    std::memset(g_stFrmData.assScDiff, 0, sizeof(g_stFrmData.assScDiff));
  }
  // Columns in `touched` carry the touch level on the reference line, the others one below.
  void Reference(std::initializer_list<int> touched) {
    for (int16_t &v : g_stFrmData.assScDiff[2]) v = static_cast<int16_t>(thr_ - 1);
    for (int i : touched) g_stFrmData.assScDiff[2][i] = thr_;
  }
  // The configured touch threshold's default: the cases are worked out for it.
  int16_t thr_ = 180;
};

std::vector<int16_t> Ramp(int n, int step) {
  std::vector<int16_t> line(n);
  for (int i = 0; i < n; ++i) line[i] = static_cast<int16_t>(i * step);
  return line;
}

TEST_F(NoiseEstimate, ChargeComparesTouchedColumnsWithTheRest) {
  struct Case {
    const char *name;
    std::vector<int16_t> line;
    std::initializer_list<int> touched;
    uint32_t expected;
  };
  const Case cases[] = {
      // Offset 100 is removed by the clamped mean (96), not the plain mean (104):
      // touched 44, 36, 44 -> 41; the rest 4, 4, 14, 6, 4 -> 6.
      {"offset and swing", {100, 100, 140, 60, 140, 100, 110, 90, 100, 100}, {2, 3, 4}, 35},
      {"flat", std::vector<int16_t>(38, 250), {5, 6, 7}, 1},
      {"no touched column", {0, 0, 90, -90, 90, 0, 0, 0, 0, 0}, {}, 1},
      {"quiet columns swing more", {0, 0, 10, -10, 10, 0, 80, -80, 0, 0}, {2, 3, 4}, 1},
      // Both halves are levelled before the comparison, so a tilted line has no noise
      // even under a touch on its high end.
      {"tilt is levelled first", Ramp(38, 3), {30, 31, 32, 33}, 1},
      {"ends never count", {900, 0, 0, 0, 0, 0, 0, 0, 0, -900}, {0, 9}, 1},
      {"two columns", {0, 500}, {0, 1}, 1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    Reference(c.touched);
    std::vector<int16_t> line = c.line;
    EXPECT_EQ(AppMcGetChargeNoise(line.data(), static_cast<uint8_t>(line.size())), c.expected);
  }
  int16_t empty[1] = {7};
  EXPECT_EQ(AppMcGetChargeNoise(empty, 0), 1u);
  EXPECT_EQ(empty[0], 7);
}

TEST_F(NoiseEstimate, TouchThresholdDefaultsTo180) {
  ASSERT_EQ(LumaFwConfigLoad(nullptr, 0), 0);
  EXPECT_EQ(g_stFwConfig.usScNoTouchThr, 180);
}

// A finger whose self reference reads 200: above the touch threshold, so both noise tests
// see its columns as touched.
TEST_F(NoiseEstimate, ReferenceOf200CountsAsTouched) {
  for (int16_t &v : g_stFrmData.assScDiff[2]) v = 0;
  for (int i = 2; i <= 4; ++i) g_stFrmData.assScDiff[2][i] = 200;
  std::vector<int16_t> line = {100, 100, 140, 60, 140, 100, 110, 90, 100, 100};
  EXPECT_EQ(AppMcGetChargeNoise(line.data(), 10), 35u);

  // The water-line noise is measured against the mean of the columns away from the touch.
  for (int i = 2; i <= 4; ++i) g_stFrmData.assScDiff[2][i] = 0;
  g_stFrmData.assScDiff[2][10] = 200;
  for (int i = 0; i < 38; ++i) g_stFrmData.assScExtra[1][i] = static_cast<int16_t>(i >= 8 && i <= 12 ? 500 : 10);
  AppScNoiseFilter(1, 1);
  EXPECT_EQ(g_ssScWaterRxNoise[0], 0);
  EXPECT_EQ(g_ssScWaterRxNoise[10], 490);
  EXPECT_EQ(g_ssScWaterRxNoise[13], 0);
}

TEST_F(NoiseEstimate, ChargeCentresTheLineInPlace) {
  Reference({2, 3, 4});
  std::vector<int16_t> line = {100, 100, 140, 60, 140, 100, 110, 90, 100, 100};
  AppMcGetChargeNoise(line.data(), 10);
  EXPECT_EQ(line, (std::vector<int16_t>{4, 4, 44, -36, 44, 4, 14, -6, 4, 4}));
}

TEST_F(NoiseEstimate, ChargeColumnsPastTheReferenceLineCountAsUntouched) {
  // 80 columns: the reference line has 63 entries, and what follows it in memory (the
  // next self slot) must not be taken for touch information.
  std::vector<int16_t> line(80, 0);
  for (int i = 64; i < 78; ++i) line[i] = static_cast<int16_t>(i % 2 == 0 ? 200 : -200);
  Reference({});
  for (int16_t &v : g_stFrmData.assScDiff[3]) v = thr_;
  EXPECT_EQ(AppMcGetChargeNoise(line.data(), 80), 1u);
}

TEST_F(NoiseEstimate, ChargeExtremeSamplesDoNotWrap) {
  // Centring moves every entry up by 662; the touched 32767 stays at the top instead of
  // wrapping to a large negative value of smaller amplitude.
  Reference({2});
  std::vector<int16_t> line(10, -1000);
  line[2] = 32767;
  EXPECT_EQ(AppMcGetChargeNoise(line.data(), 10), 32767u - 338u);
  EXPECT_EQ(line[2], 32767);
  EXPECT_EQ(line[3], -338);
}

TEST_F(NoiseEstimate, DisplayIsTheTiltOfBothHalves) {
  struct Case {
    const char *name;
    std::vector<int16_t> line;
    uint32_t expected;
  };
  const Case cases[] = {
      {"flat", std::vector<int16_t>(38, 123), 0},
      {"rising by 3", Ramp(38, 3), 6},
      {"falling by 3", Ramp(38, -3), 6},
      // Left half rises by 57 over 19 columns, right half falls by 36 over 18.
      {"roof", [] {
         std::vector<int16_t> l(38);
         for (int i = 0; i < 38; ++i) l[i] = static_cast<int16_t>(i <= 19 ? 3 * i : 57 - 2 * (i - 19));
         return l;
       }(),
       5},
      {"one entry", {500}, 0},
      {"two entries", {0, 10}, 10},
      {"three entries", {0, 5, 20}, 20},
      {"slope past 16 bits saturates", {-30000, 30000}, 32767},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(AppMcGetDisplayNoise(c.line.data(), static_cast<uint8_t>(c.line.size())), c.expected);
  }
  EXPECT_EQ(AppMcGetDisplayNoise(nullptr, 0), 0u);
}

}  // namespace
