// Two-dimensional members: status words, map sums and extremes, the filters and the strided
// engine.
#include <gtest/gtest.h>
#include <pthread.h>

#include <cstring>
#include <functional>
#include <vector>

#include "mathlib.h"

namespace {

uint16_t gU16[8192];
int16_t gS16[8192];
int16_t gS16b[8192];
uint32_t gU32[8192];
int32_t gS32[8192];
uint8_t gU8[8192];

struct StatusCase {
  const char* name;
  std::function<uint32_t()> call;
  uint32_t status;
};

void ExpectStatuses(const std::vector<StatusCase>& cases) {
  for (const StatusCase& c : cases) EXPECT_EQ(c.call(), c.status) << c.name;
}

TEST(Xpu2Status, NullPointersAreRefusedWithTheMembersId) {
  TwoDimGaussianParam g{};
  WeightFilterV1V2Param w{2, 2, 0, 1, 1, 0, 0, 0};
  WeightFilterV1Param w1{2, 2, 0, 1, 0, 0};
  OneDimGaussianParam o{};
  o.uwLength = 4;
  const uint8_t gc[4] = {1, 1, 1, 1};
  ExpectStatuses({
      {"Gauss2dU16", [&] { return LibXpu2TwoDimGaussianFilterU16(nullptr, gU16, &g); }, 0x040502},
      {"Gauss2dS16", [&] { return LibXpu2TwoDimGaussianFilterS16(gS16, gU16, nullptr); }, 0x040402},
      {"WeightV1V2", [&] { return LibXpu2WeightFilterV1V2S16(gS16, nullptr, &w, gS16); }, 0x041602},
      {"WeightV1", [&] { return LibXpu2WeightFilterV1S16(gS16, &w1, nullptr); }, 0x041702},
      {"Gauss1dU16", [&] { return LibXpu2OneDimGaussianFilterU16(gU16, nullptr, &o); }, 0x041A02},
      {"Gauss1dS16", [&] { return LibXpu2OneDimGaussianFilterS16(nullptr, gS16, &o); }, 0x041B02},
      {"SumU8", [&] { return LibXpu2SumU8(nullptr, gU32, 2, 2); }, 0x040A02},
      {"SumS32", [&] { return LibXpu2SumS32(gS32, nullptr, 2, 2); }, 0x040E02},
      {"AvgS8", [&] { return LibXpu2AvgS8(nullptr, nullptr, 2, 2); }, 0x041102},
      {"MaxMinU16", [&] { return LibXpu2MaxMinU16(gU16, nullptr, 2, 2); }, 0x042102},
      {"MaxMinS16", [&] { return LibXpu2MaxMinS16(nullptr, gU16, 2, 2); }, 0x042002},
      {"SubU16", [&] { return LibXpu2SubU16(gU16, nullptr, gU16, 2, 2); }, 0x042702},
      {"SubConstS32", [&] { return LibXpu2SubConstS32(gS32, 1, nullptr, 2, 2); }, 0x042802},
      {"ReluU16", [&] { return LibXpu2ReluU16(nullptr, gU16, 4, 0, 0); }, 0x042C02},
      {"CopyU8", [&] { return LibXpu2CopyU8(gU8, nullptr, 4); }, 0x042E02},
      {"CopyU32", [&] { return LibXpu2CopyU32(nullptr, gU32, 4); }, 0x042F02},
      {"GravityCenter", [&] { return LibXpu2GravityCenter(gS16, gc, nullptr); }, 0x040302},
      {"SquareSumPairS16", [&] { return LibXpu2SquareSumPairS16(gS16, nullptr, gU32, 4); }, 0x041502},
      {"DivS32U16", [&] { return LibXpu2DivS32U16(gS32, nullptr, gS32, 4); }, 0x041902},
      {"ListcU32", [&] { return LibXpu2ListcU32(gU32, nullptr, gU32, 4); }, 0x041C02},
      {"PoolingS16", [&] { return LibXpu2PoolingS16(nullptr, gS16, 2, 2); }, 0x042602},
      {"PoolingU16", [&] { return LibXpu2PoolingU16(gU16, nullptr, 2, 2); }, 0x043102},
      {"IntrCountU16", [&] { return LibXpu2IntrCountU16(nullptr, gU16, 4); }, 0x043302},
      {"MultAddS16", [&] { return LibXpu2MultAddS16(gS16, gS16, nullptr, 2, 2); }, 0x043702},
  });
  EXPECT_EQ(LibXpu2LinearRegress(nullptr, gU16, nullptr, gU32), 0u);
}

TEST(Xpu2Status, SizeLimits) {
  const uint8_t gcOff[4] = {1, 1, 0, 1};
  const uint8_t gcOn[4] = {0, 0, 1, 0};
  ExpectStatuses({
      {"SumU16 rows 61", [&] { return LibXpu2SumU16(gU16, gU32, 61, 100); }, 0x040600},
      {"SumU16 rows 62", [&] { return LibXpu2SumU16(gU16, gU32, 62, 100); }, 0x040601},
      {"SumU16 cols 0", [&] { return LibXpu2SumU16(gU16, gU32, 1, 0); }, 0x040601},
      {"SumS16 cols 1023", [&] { return LibXpu2SumS16(gS16, gS32, 1, 1023); }, 0x040C00},
      {"SumS16 cols 1024", [&] { return LibXpu2SumS16(gS16, gS32, 1, 1024); }, 0x040C01},
      {"SumU32 cols 256", [&] { return LibXpu2SumU32(gU32, gU32, 1, 256); }, 0x040800},
      {"SumU32 cols 257", [&] { return LibXpu2SumU32(gU32, gU32, 1, 257); }, 0x040801},
      {"AvgU32 cols 257", [&] { return LibXpu2AvgU32(gU32, gU32, 1, 257); }, 0x040901},
      {"MaxMinU16 rows 63", [&] { return LibXpu2MaxMinU16(gU16, gU16, 63, 2); }, 0x042100},
      {"MaxMinU16 rows 64", [&] { return LibXpu2MaxMinU16(gU16, gU16, 64, 2); }, 0x042101},
      {"SubS16 8191", [&] { return LibXpu2SubS16(gS16, gS16, gS16, 1, 8191); }, 0x042600},
      {"SubS16 8192", [&] { return LibXpu2SubS16(gS16, gS16, gS16, 2, 4096); }, 0x042601},
      {"SubConstU16 0", [&] { return LibXpu2SubConstU16(gU16, 1, gU16, 0, 5); }, 0x042B01},
      {"SubU32 8192", [&] { return LibXpu2SubU32(gU32, gU32, gU32, 64, 128); }, 0x042501},
      {"ReluS16 4095", [&] { return LibXpu2ReluS16(gS16, gS16, 4095, 0, 0); }, 0x042C00},
      {"ReluS16 4096", [&] { return LibXpu2ReluS16(gS16, gS16, 4096, 0, 0); }, 0x042C01},
      {"ReluS16 0", [&] { return LibXpu2ReluS16(gS16, gS16, 0, 0, 0); }, 0x042C01},
      {"ReluU16 0", [&] { return LibXpu2ReluU16(gU16, gU16, 0, 0, 0); }, 0x042C00},
      {"CopyU32", [&] { return LibXpu2CopyU32(gU32, gU32 + 8, 4); }, 0x042F00},
      {"CopyU16", [&] { return LibXpu2CopyU16(gU16, gU16 + 8, 4); }, 0x042F00},
      {"ListcS16 0", [&] { return LibXpu2ListcS16(gS16, gU8, gS16, 0); }, 0x041C01},
      {"ListcS16 1", [&] { return LibXpu2ListcS16(gS16, gU8, gS16, 1); }, 0x041900},
      {"ListcU16 1024", [&] { return LibXpu2ListcU16(gU16, gU8, gU16, 1024); }, 0x041C01},
      {"GravityCenter off", [&] { return LibXpu2GravityCenter(gS16, gcOff, gU16); }, 0x040301},
      {"GravityCenter on", [&] { return LibXpu2GravityCenter(gS16, gcOn, gU16); }, 0x040300},
      {"SquareSumU16 1023", [&] { return LibXpu2SquareSumU16(gU16, gU32, 1023); }, 0x041200},
      {"SquareSumS16 1024", [&] { return LibXpu2SquareSumS16(gS16, gU32, 1024); }, 0x041301},
      {"DivU32U16 0", [&] { return LibXpu2DivU32U16(gU32, gU16, gU32, 0); }, 0x041901},
      {"MaxMinU32 cols 1023", [&] { return LibXpu2MaxMinU32(gU32, gU32, 63, 1023); }, 0x042000},
      {"MaxMinU32 rows 64", [&] { return LibXpu2MaxMinU32(gU32, gU32, 64, 1); }, 0x042001},
      {"MaxMinS32 1024", [&] { return LibXpu2MaxMinS32(gS32, gS32, 1024); }, 0x042001},
      {"PoolingU16 cols 128", [&] { return LibXpu2PoolingU16(gU16, gU16, 1, 128); }, 0x043101},
      {"MultU16 63x127", [&] { return LibXpu2MultU16(gU16, gU16, gU32, 63, 127); }, 0x043500},
      {"MultS16 rows 0", [&] { return LibXpu2MultS16(gS16, gS16, gS32, 0, 1); }, 0x043601},
      {"IntrCountS16 1023", [&] { return LibXpu2IntrCountS16(gS16, gU16, 1023); }, 0x043300},
  });
}

TEST(Xpu2Maps, SumsAccumulateAndMeansTruncate) {
  const int8_t s8[6] = {-1, -2, 3, 4, -128, 127};
  int32_t acc[6] = {10, 10, 10, 10, 10, 10};
  ASSERT_EQ(LibXpu2SumS8(s8, acc, 2, 3), 0x041000u);
  ASSERT_EQ(LibXpu2SumS8(s8, acc, 2, 3), 0x041000u);
  EXPECT_EQ(std::vector<int32_t>(acc, acc + 6), (std::vector<int32_t>{8, 6, 16, 18, -246, 264}));
  int8_t mean = 0;
  ASSERT_EQ(LibXpu2AvgS8(s8, &mean, 2, 3), 0x041100u);
  EXPECT_EQ(mean, 0);  // 3 / 6
  const int16_t s16[3] = {-10, -10, -1};
  int16_t smean = 0;
  LibXpu2AvgS16(s16, &smean, 1, 3);
  EXPECT_EQ(smean, -7);  // -21 / 3
  const uint16_t u16[4] = {65535, 65535, 65535, 1};
  uint16_t umean = 0;
  LibXpu2AvgU16(u16, &umean, 2, 2);
  EXPECT_EQ(umean, 49151);  // 196606 / 4
}

TEST(Xpu2Maps, RowExtremesSubtractRelu) {
  const int16_t m[6] = {-5, 7, 2, 100, -300, 0};
  uint16_t out[8];
  ASSERT_EQ(LibXpu2MaxMinS16(m, out, 2, 3), 0x042000u);
  EXPECT_EQ(std::vector<uint16_t>(out, out + 8),
            (std::vector<uint16_t>{7, 0, static_cast<uint16_t>(-5), 0, 100, 0, static_cast<uint16_t>(-300), 0}));
  const uint16_t um[3] = {65535, 3, 9};
  ASSERT_EQ(LibXpu2MaxMinU16(um, out, 1, 3), 0x042100u);
  EXPECT_EQ(out[0], 65535);
  EXPECT_EQ(out[2], 3);

  const uint16_t a[2] = {1, 500};
  const uint16_t b[2] = {2, 100};
  uint16_t d[2];
  ASSERT_EQ(LibXpu2SubU16(a, b, d, 1, 2), 0x042700u);
  EXPECT_EQ(d[0], 65535);
  EXPECT_EQ(d[1], 400);
  int32_t s32[2] = {INT32_MIN, 5};
  ASSERT_EQ(LibXpu2SubConstS32(s32, 1, s32, 1, 2), 0x042800u);
  EXPECT_EQ(s32[0], INT32_MAX);

  const int16_t r[4] = {-3, 10, 11, 40};
  int16_t ro[4];
  ASSERT_EQ(LibXpu2ReluS16(r, ro, 4, 10, -1), 0x042C00u);
  EXPECT_EQ(std::vector<int16_t>(ro, ro + 4), (std::vector<int16_t>{-1, -1, 11, 40}));
}

TEST(Xpu2Maps, LinearRegress) {
  struct Case {
    std::vector<uint16_t> x, y;
    uint8_t q;
    int32_t slope, intercept;
  };
  // Means given by the caller; a falling line keeps its sign.
  for (const Case& c : {Case{{0, 1, 2, 3, 4}, {3, 5, 7, 9, 11}, 0, 2, 3}, Case{{0, 1, 2, 3, 4}, {3, 5, 7, 9, 11}, 4, 32, 3},
                        Case{{0, 2, 4, 6, 8}, {10, 8, 6, 4, 2}, 0, -1, 10}}) {
    LinearRegressParam p{5, c.q, 0, 0, 0};
    uint32_t sx = 0, sy = 0;
    for (int i = 0; i < 5; ++i) {
      sx += c.x[i];
      sy += c.y[i];
    }
    p.uwMeanX = static_cast<uint16_t>(sx / 5);
    p.uwMeanY = static_cast<uint16_t>(sy / 5);
    uint32_t out[6];
    ASSERT_EQ(LibXpu2LinearRegress(c.x.data(), c.y.data(), &p, out), 1u);
    EXPECT_EQ(static_cast<int32_t>(out[0]), c.slope);
    EXPECT_EQ(out[1], 0u);
    EXPECT_EQ(static_cast<int32_t>(out[2]), c.intercept);
  }
  LinearRegressParam zero{1024, 0, 0, 0, 0};
  uint32_t out[6];
  EXPECT_EQ(LibXpu2LinearRegress(gU16, gU16, &zero, out), 0u);
}

TEST(Xpu2Maps, ThreeTapFilterRepeatsTheEnds) {
  OneDimGaussianParam p{};
  p.uwLength = 4;
  p.auwKernel[0] = 1;
  p.auwKernel[1] = 2;
  p.auwKernel[2] = 1;
  p.uiShift = 2;
  uint16_t v[4] = {4, 8, 4, 0};
  ASSERT_EQ(LibXpu2OneDimGaussianFilterU16(v, v, &p), 0x041A00u);  // in place
  EXPECT_EQ(std::vector<uint16_t>(v, v + 4), (std::vector<uint16_t>{5, 6, 4, 1}));
  // Signed, with the offset's low byte sign-extended.
  int16_t s[2] = {-8, 8};
  int16_t so[2];
  p.uwLength = 2;
  p.uiOffsetEnable = 1;
  p.uwOffset = 0x12FF;
  ASSERT_EQ(LibXpu2OneDimGaussianFilterS16(s, so, &p), 0x041B00u);
  EXPECT_EQ(so[0], ((-8 - 16 + 8) >> 2) - 1);
  EXPECT_EQ(so[1], ((-8 + 16 + 8) >> 2) - 1);
  p.uwLength = 1;
  EXPECT_EQ(LibXpu2OneDimGaussianFilterS16(s, so, &p), 0x041B01u);
}

TwoDimGaussianParam Kernel(std::initializer_list<uint16_t> k, uint32_t shift, uint8_t rows, uint8_t cols) {
  TwoDimGaussianParam p{};
  int i = 0;
  for (uint16_t v : k) p.auwKernel[i++] = v;
  p.uiShift = shift;
  p.ubLastRow = static_cast<uint8_t>(rows - 1);
  p.ubLastCol = static_cast<uint8_t>(cols - 1);
  p.ubRows = rows;
  p.ubCols = cols;
  return p;
}

TEST(Gaussian2d, BorderModesOnATwoByTwoMap) {
  // Node (0, 0) of {1 2 / 3 4}, one kernel tap at a time: replicated edges take the
  // nearest node inside the map, the other mode reads 0.
  const uint16_t map[4] = {1, 2, 3, 4};
  const uint16_t replicate[9] = {1, 1, 2, 1, 1, 2, 3, 3, 4};
  const uint16_t zero[9] = {0, 0, 0, 0, 1, 2, 0, 3, 4};
  for (int tap = 0; tap < 9; ++tap) {
    for (uint32_t mode : {0u, 1u}) {
      TwoDimGaussianParam p = Kernel({}, 0, 2, 2);
      p.auwKernel[tap] = 1;
      p.uiBorderMode = mode;
      uint16_t out[4] = {};
      ASSERT_EQ(LibXpu2TwoDimGaussianFilterU16(map, out, &p), 0x040500u);
      EXPECT_EQ(out[0], mode == 0 ? replicate[tap] : zero[tap]) << "tap " << tap << " mode " << mode;
    }
  }
}

TEST(Gaussian2d, SmoothingKernelOnAFixture) {
  // The raw-data filter's kernel: 4 8 4 / 8 16 8 / 4 8 4, shift 6.
  const auto smooth = [](uint8_t rows, uint8_t cols) {
    return Kernel({4, 8, 4, 8, 16, 8, 4, 8, 4}, 6, rows, cols);
  };
  std::vector<uint16_t> flat(5 * 6, 1234);
  std::vector<uint16_t> out(5 * 6);
  TwoDimGaussianParam p = smooth(5, 6);
  ASSERT_EQ(LibXpu2TwoDimGaussianFilterU16(flat.data(), out.data(), &p), 0x040500u);
  for (uint16_t v : out) EXPECT_EQ(v, 1234);

  std::vector<uint16_t> spike(5 * 5, 0);
  spike[12] = 640;
  out.assign(25, 0xBEEF);
  p = smooth(5, 5);
  ASSERT_EQ(LibXpu2TwoDimGaussianFilterU16(spike.data(), out.data(), &p), 0x040500u);
  const std::vector<uint16_t> expected = {0, 0,  0,   0,  0, 0, 40, 80, 40, 0, 0, 80, 160,
                                          80, 0, 0, 40, 80, 40, 0, 0, 0,  0,  0, 0};
  EXPECT_EQ(out, expected);

  // The signed twin: negative sums shift arithmetically.
  std::vector<int16_t> neg(3 * 3, -100);
  std::vector<uint16_t> nout(9);
  p = smooth(3, 3);
  ASSERT_EQ(LibXpu2TwoDimGaussianFilterS16(neg.data(), nout.data(), &p), 0x040400u);
  for (uint16_t v : nout) EXPECT_EQ(static_cast<int16_t>(v), -100);
}

TEST(Gaussian2d, WindowOffsetAndRefusals) {
  std::vector<uint16_t> map(4 * 4);
  for (int i = 0; i < 16; ++i) map[i] = static_cast<uint16_t>(i * 10);
  TwoDimGaussianParam p = Kernel({0, 0, 0, 0, 1, 0, 0, 0, 0}, 0, 4, 4);
  p.ubFirstRow = 1;
  p.ubLastRow = 2;
  p.ubFirstCol = 2;
  p.ubLastCol = 3;
  p.uiOffsetEnable = 1;
  p.uwOffset = 0x0105;  // low byte only unless the width is 1
  uint16_t out[4] = {};
  ASSERT_EQ(LibXpu2TwoDimGaussianFilterU16(map.data(), out, &p), 0x040500u);
  EXPECT_EQ(std::vector<uint16_t>(out, out + 4), (std::vector<uint16_t>{65, 75, 105, 115}));  // packed to the window
  p.uiOffsetWidth = 1;
  LibXpu2TwoDimGaussianFilterU16(map.data(), out, &p);
  EXPECT_EQ(out[0], 60 + 0x105);

  uint16_t untouched[4] = {9, 9, 9, 9};
  p.ubLastRow = 0;  // empty window
  EXPECT_EQ(LibXpu2TwoDimGaussianFilterU16(map.data(), untouched, &p), 0x040500u);
  p.ubLastRow = 4;  // past the map
  EXPECT_EQ(LibXpu2TwoDimGaussianFilterU16(map.data(), untouched, &p), 0x040501u);
  p = Kernel({}, 0, 1, 4);
  EXPECT_EQ(LibXpu2TwoDimGaussianFilterU16(map.data(), untouched, &p), 0x040501u);
  EXPECT_EQ(std::vector<uint16_t>(untouched, untouched + 4), (std::vector<uint16_t>{9, 9, 9, 9}));
}

TEST(WeightFilter, BlendsInPlaceWithinItsNodeLimit) {
  const int16_t cur[3] = {100, -100, 7};
  int16_t hist[3] = {200, 300, -7};
  // a = 0: the history is replaced by the new frame.
  ASSERT_EQ(LibIIRDataProcess(cur, hist, 1, 3, 0), 0x041600u);
  EXPECT_EQ(std::vector<int16_t>(hist, hist + 3), (std::vector<int16_t>(cur, cur + 3)));
  int16_t h2[3] = {200, 300, -7};
  LibIIRDataProcess(cur, h2, 1, 3, 32);  // 3/4 new, 1/4 history
  EXPECT_EQ(std::vector<int16_t>(h2, h2 + 3), (std::vector<int16_t>{125, 0, 3}));  // 672 >> 7 plus -224 >> 7

  WeightFilterV1V2Param p{1, 2, 3, 2, -1, 1, 0, 0};
  const int16_t a[2] = {10, -10};
  int16_t b[2] = {4, 4};
  ASSERT_EQ(LibXpu2WeightFilterV1V2S16(a, b, &p, b), 0x041600u);  // out is b
  EXPECT_EQ(b[0], (20 - 4 + 3) >> 1);
  EXPECT_EQ(b[1], (-20 - 4 + 3) >> 1);

  WeightFilterV1Param q{1, 2, -1, 3, 0, 1};
  int16_t v[2] = {5, -5};
  ASSERT_EQ(LibXpu2WeightFilterV1S16(v, &q, v), 0x041700u);
  EXPECT_EQ(v[0], 7 - 1);
  EXPECT_EQ(v[1], -8 - 1);

  WeightFilterV1V2Param big{91, 90, 0, 1, 0, 0, 0, 0};  // 8190 nodes
  EXPECT_EQ(LibXpu2WeightFilterV1V2S16(gS16, gS16b, &big, gS16), 0x041600u);
  big.ubRows = 1;
  big.ubCols = 0;
  EXPECT_EQ(LibXpu2WeightFilterV1V2S16(gS16, gS16b, &big, gS16), 0x041601u);
  WeightFilterV1V2Param over{128, 64, 0, 1, 0, 0, 0, 0};  // 8192 nodes
  EXPECT_EQ(LibXpu2WeightFilterV1V2S16(gS16, gS16b, &over, gS16), 0x041601u);
}

void* FilterLargestMap(void* result) {
  WeightFilterV1V2Param p{32, 255, 0, 1, 1, 0, 0, 0};  // 8160 nodes
  *static_cast<uint32_t*>(result) = LibXpu2WeightFilterV1V2S16(gS16, gS16b, &p, gS16b);
  return nullptr;
}

TEST(WeightFilter, LargestMapFitsASmallStack) {
  // Holding the two product maps on the stack would take 64 KiB; the filter must run on a
  // thread with far less.
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, 32 * 1024);
  pthread_t thread;
  uint32_t status = 0xFFFFFFFF;
  ASSERT_EQ(pthread_create(&thread, &attr, FilterLargestMap, &status), 0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);
  EXPECT_EQ(status, 0x041600u);
}

// The custom engine's operand set-up: a row-major walk over a u8/u16/u32 array.
CustomOperand Src(const void* base, uint32_t width, uint16_t rowStride, uint16_t colStride, uint16_t lastCol,
                  uint32_t isSigned = 0) {
  CustomOperand op{};
  op.pBase = const_cast<void*>(base);
  op.uiWidth = width;
  op.uwRowStride = rowStride;
  op.uwColStride = colStride;
  op.uwLastCol = lastCol;
  op.uiSigned = isSigned;
  return op;
}
CustomDestOperand Dst(void* base, uint32_t width, uint16_t rowStride, uint16_t colStride, uint16_t lastCol) {
  CustomDestOperand op{};
  op.pBase = base;
  op.uiWidth = width;
  op.uwRowStride = rowStride;
  op.uwColStride = colStride;
  op.uwLastCol = lastCol;
  return op;
}

TEST(CustomFunction, WorkedOperations) {
  CustomFunctionParam p{};
  const uint16_t v[3] = {1, 2, 4};
  uint16_t out[4] = {};
  p.stSrc1 = Src(v, 1, 6, 2, 2);
  p.stDst = Dst(out, 1, 4, 2, 1);
  LibCustomSetGroupSum(&p, 1, 1, 3, 0, 1);
  EXPECT_EQ(LibXpu2CustomFunction(&p), 0x043800u);
  EXPECT_EQ(out[0], 2);  // 7 / 3
  EXPECT_EQ(out[1], 1);  // remainder

  const int8_t s[2] = {-1, -1};
  p.stSrc1 = Src(s, 0, 2, 1, 1, 1);
  LibCustomSetGroupSum(&p, 1, 0, 2, 0, 1);
  LibXpu2CustomFunction(&p);
  EXPECT_EQ(out[0], 0xFFFF);
  EXPECT_EQ(gemR1Sign, 1u);

  // An empty group: zeros for every output and remainder.
  uint16_t zeros[5] = {9, 9, 9, 9, 9};
  p.stSrc1 = Src(v, 1, 6, 2, 2);
  p.stDst = Dst(zeros, 1, 10, 2, 4);
  LibCustomSetGroupSum(&p, 1, 1, 0, 0, 2);
  LibXpu2CustomFunction(&p);
  EXPECT_EQ(std::vector<uint16_t>(zeros, zeros + 5), (std::vector<uint16_t>{0, 0, 0, 0, 9}));

  const uint16_t mm[5] = {5, 3, 5, 1, 1};
  p.stSrc1 = Src(mm, 1, 10, 2, 4);
  p.stDst = Dst(out, 1, 8, 2, 3);
  LibCustomSetGroupMaxMin(&p, 5, 1);
  LibXpu2CustomFunction(&p);
  EXPECT_EQ(std::vector<uint16_t>(out, out + 4), (std::vector<uint16_t>{5, 0, 1, 3}));
}

TEST(CustomFunction, ColumnSumsAndPerColumnGain) {
  // A 3 x 4 u16 map; sums down each column: the walk steps a row (8 bytes) per element and a
  // column (2 bytes) per group.
  const uint16_t map[12] = {1, 2, 3, 4, 10, 20, 30, 40, 100, 200, 300, 400};
  uint32_t sums[4] = {};
  CustomFunctionParam p{};
  p.stSrc1 = Src(map, 1, 2, 8, 2);
  p.stDst = Dst(sums, 2, 16, 4, 3);
  LibCustomSetGroupSum(&p, 0, 0, 3, 0, 4);
  LibXpu2CustomFunction(&p);
  EXPECT_EQ(std::vector<uint32_t>(sums, sums + 4), (std::vector<uint32_t>{111, 222, 333, 444}));

  // Gain per column in 128ths, the gain row read again for every map row (row stride 0).
  const uint16_t gain[4] = {128, 64, 256, 0};
  uint16_t scaled[12] = {};
  p.stSrc1 = Src(map, 1, 8, 2, 3);
  p.stSrc2 = Src(gain, 1, 0, 2, 3);
  p.stDst = Dst(scaled, 1, 8, 2, 3);
  LibCustomSetMultiply(&p, 0, 12, 7, 0);
  LibXpu2CustomFunction(&p);
  EXPECT_EQ(std::vector<uint16_t>(scaled, scaled + 12),
            (std::vector<uint16_t>{1, 1, 6, 0, 10, 10, 60, 0, 100, 100, 600, 0}));

  // A destination whose last column index is 0 moves down a column after every element.
  uint16_t column[3 * 5] = {};
  p.stSrc1 = Src(map, 1, 8, 2, 3);
  p.stDst = Dst(column, 1, 10, 2, 0);
  LibCustomSetSubtract(&p, 1, 1, 3);
  LibXpu2CustomFunction(&p);
  EXPECT_EQ(column[0], 0);
  EXPECT_EQ(column[5], 1);
  EXPECT_EQ(column[10], 2);
  EXPECT_EQ(column[1], 0);
}

TEST(CustomFunction, KxPlusBAndSubtraction) {
  // k.x + b with the coefficients packed k high, b low, both signed 16-bit.
  const int16_t x[2] = {100, -100};
  const uint32_t kb[2] = {(2u << 16) | 5u, (0xFFFFu << 16) | 0xFFF6u};  // (2, 5), (-1, -10)
  int32_t out[2] = {};
  CustomFunctionParam p{};
  p.stSrc1 = Src(x, 1, 4, 2, 1, 1);
  p.stSrc2 = Src(kb, 2, 8, 4, 1);
  p.stDst = Dst(out, 2, 8, 4, 1);
  LibCustomSetMultiply(&p, 1, 2, 1, 0);
  LibXpu2CustomFunction(&p);
  EXPECT_EQ(out[0], (200 >> 1) + 5);
  EXPECT_EQ(out[1], (100 >> 1) - 10);
  // The packed form needs 32-bit coefficient words: anything else writes nothing.
  out[0] = out[1] = 77;
  p.stSrc2.uiWidth = 1;
  LibXpu2CustomFunction(&p);
  EXPECT_EQ(out[0], 77);

  const uint8_t a[3] = {10, 0, 255};
  const int8_t b[3] = {-1, 1, 5};
  int16_t diff[3] = {};
  p.stSrc1 = Src(a, 0, 3, 1, 2);
  p.stSrc2 = Src(b, 0, 3, 1, 2, 1);
  p.stDst = Dst(diff, 1, 6, 2, 2);
  LibCustomSetSubtract(&p, 0, 0, 3);
  LibXpu2CustomFunction(&p);
  EXPECT_EQ(std::vector<int16_t>(diff, diff + 3), (std::vector<int16_t>{11, -1, 250}));
  EXPECT_EQ(gemR2Sign, 1u);

  // Unknown code: nothing written, same word.
  diff[0] = 5;
  p.siOpCode = 3;
  EXPECT_EQ(LibXpu2CustomFunction(&p), 0x043800u);
  EXPECT_EQ(diff[0], 5);
}

}  // namespace
