// Half-precision conversion: the worked edge cases, and agreement with the processor's own
// IEEE conversion instructions over every half value and a sweep of single values.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "frnn_conv_kernels.h"
#include "nn_test_util.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

TEST(FrnnHalf, WorkedCases) {
  struct Case {
    double in;
    uint16_t out;
  } cases[] = {
      {65520.0, 0x7C00},                  // beyond the largest half: infinity
      {65519.0, 0x7BFF},                  // 65504
      {1.0 + std::ldexp(1.0, -11), 0x3C00},  // halfway, ties to even: 1.0
      {1.0 + 3 * std::ldexp(1.0, -11), 0x3C02},
      {std::ldexp(1.0, -25), 0x0000},     // halfway to the smallest subnormal: 0
      {3 * std::ldexp(1.0, -26), 0x0001},  // rounds up to 2^-24
      {-0.0, 0x8000},
      {-2.5, 0xC100},
      {INFINITY, 0x7C00},
      {-INFINITY, 0xFC00},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.out, SingleToHalfOnce(static_cast<float>(c.in))) << c.in;
    EXPECT_EQ(c.out, DoubleToHalfOnce(c.in)) << c.in;
  }
  EXPECT_EQ(0x7C00, SingleToHalfOnce(NAN) & 0x7C00);
  EXPECT_NE(0, SingleToHalfOnce(NAN) & 0x03FF);
  // Double rounds once: a value just above a half-way point in double but exactly on it
  // once rounded to single.
  const double d = 1.0 + std::ldexp(1.0, -11) + std::ldexp(1.0, -40);
  EXPECT_EQ(0x3C01, DoubleToHalfOnce(d));
  EXPECT_EQ(0x3C00, SingleToHalfOnce(static_cast<float>(d)));
}

TEST(FrnnHalf, ArrayFormsAndNullOutput) {
  const float in[5] = {0.5f, -1.0f, 2049.0f, 1e-8f, 65504.0f};
  uint16_t out[5] = {};
  EXPECT_EQ(0u, SingleToHalf(in, out, 5));
  for (int j = 0; j < 5; ++j) EXPECT_EQ(SingleToHalfOnce(in[j]), out[j]);
  float back[5] = {9, 9, 9, 9, 9};
  EXPECT_EQ(5u, HalfToSingle(out, nullptr, 5));
  EXPECT_EQ(0u, HalfToSingle(out, back, 0));
  EXPECT_EQ(9.0f, back[0]);
  EXPECT_EQ(0u, HalfToSingle(out, back, 5));
  EXPECT_EQ(2048.0f, back[2]);  // 2049 ties to even
  const double din[2] = {0.1, -3.0};
  EXPECT_EQ(0u, DoubleToHalf(din, out, 2));
  EXPECT_EQ(DoubleToHalfOnce(0.1), out[0]);
  EXPECT_EQ(7u, FrnnNoTruncateToF16Flag(7));
}

#if defined(__x86_64__)
__attribute__((target("f16c"))) float HwWiden(uint16_t h) { return _cvtsh_ss(h); }
__attribute__((target("f16c"))) uint16_t HwNarrow(float f) { return _cvtss_sh(f, _MM_FROUND_TO_NEAREST_INT); }

TEST(FrnnHalf, AgreesWithTheProcessorsConversions) {
  if (!FrnnHasHalfVector()) GTEST_SKIP() << "no F16C on this processor";
  for (uint32_t h = 0; h < 0x10000; ++h) {
    const float a = HalfToSingleOnce(static_cast<uint16_t>(h));
    const float b = HwWiden(static_cast<uint16_t>(h));
    ASSERT_EQ(0, memcmp(&a, &b, 4)) << std::hex << h;
    // Round trip through single precision keeps every half, NaNs included.
    ASSERT_EQ(HwNarrow(b), SingleToHalfOnce(b)) << std::hex << h;
  }
  std::mt19937 rng(12345);
  for (int j = 0; j < 600000; ++j) {
    uint32_t bits = rng();
    // Concentrate on the half range (exponents around 2^-26 .. 2^17).
    if (j % 2 == 0) bits = (bits & 0x807FFFFFu) | ((97u + (bits >> 23) % 47u) << 23);
    float f;
    memcpy(&f, &bits, 4);
    ASSERT_EQ(HwNarrow(f), SingleToHalfOnce(f)) << std::hex << bits;
    if (!std::isnan(f)) {
      ASSERT_EQ(HwNarrow(f), DoubleToHalfOnce(f)) << std::hex << bits;
    }
  }
}
#endif

}  // namespace
