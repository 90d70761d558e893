// The calculation helpers, the assignment solver and the peak finder against published
// vectors and small worked cases.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "luma_calc.h"

namespace {

TEST(Calc, Crc16CcittFalse) {
  const std::string digits = "123456789";
  EXPECT_EQ(CRC16Check(reinterpret_cast<const uint8_t *>(digits.data()), 9), 0x29B1);
  EXPECT_EQ(CRC16Check(nullptr, 0), 0xFFFF);
  const uint8_t a = 'A';
  EXPECT_EQ(CRC16Check(&a, 1), 0xB915);
}

TEST(Calc, MurmurHash3PublishedVectors) {
  struct Case {
    const char *key;
    int32_t length;
    uint32_t seed;
    uint32_t hash;
  };
  const Case cases[] = {
      {"", 0, 0, 0x00000000u},
      {"", 0, 1, 0x514E28B7u},
      {"", 0, 0xFFFFFFFFu, 0x81F16F39u},
      {"\0\0\0\0", 4, 0, 0x2362F9DEu},
      {"aaaa", 4, 0x9747B28Cu, 0x5A97808Au},
      {"aaa", 3, 0x9747B28Cu, 0x283E0130u},
      {"aa", 2, 0x9747B28Cu, 0x5D211726u},
      {"a", 1, 0x9747B28Cu, 0x7FA09EA6u},
      {"Hello, world!", 13, 0x9747B28Cu, 0x24884CBAu},
      {"The quick brown fox jumps over the lazy dog", 43, 0x9747B28Cu, 0x2FA826CDu},
  };
  for (const Case &c : cases) {
    uint32_t out = 0xDEADBEEF;
    MurmurHash3_x86_32(c.key, c.length, c.seed, &out);
    EXPECT_EQ(out, c.hash) << c.key << " seed " << c.seed;
  }
}

TEST(Calc, ExtremesAndLines) {
  const uint8_t bytes[] = {7, 3, 9, 3};
  EXPECT_EQ(GetMin(bytes, 4), 3);
  EXPECT_EQ(GetMax(bytes, 4), 9);
  EXPECT_EQ(GetMin(bytes, 0), 255);
  EXPECT_EQ(GetMax(bytes, 0), 0);
  const int16_t line[] = {-5, 12, -40, 12};
  uint8_t index = 99;
  EXPECT_EQ(GetLineMax(line, 4, &index), 12);
  EXPECT_EQ(index, 1);
  EXPECT_EQ(GetLineAbsMax(line, 4, &index), 40);
  EXPECT_EQ(index, 2);
  const int16_t negative[] = {-5, -3};
  EXPECT_EQ(GetLineMax(negative, 2, nullptr), 0);
  int16_t dst[3] = {1, 1, 1};
  const int16_t src[3] = {4, 5, 6};
  memcpy_16bit(dst, src, 5);  // two whole values
  EXPECT_EQ(dst[1], 5);
  EXPECT_EQ(dst[2], 1);
}

TEST(Calc, OrientationAndNodeTests) {
  struct Case {
    uint8_t orientation;
    bool vertical, horizontal, left, right;
  };
  for (const Case &c : {Case{0, true, false, false, false}, Case{1, false, true, false, true},
                        Case{2, false, true, false, false}, Case{3, false, true, true, false},
                        Case{170, false, false, false, false}}) {
    g_stSysParam.ucDispDirection = c.orientation;
    EXPECT_EQ(IsDispVertical(), c.vertical) << int{c.orientation};
    EXPECT_EQ(IsDispHorizontal(), c.horizontal) << int{c.orientation};
    EXPECT_EQ(IsDispHorizontal_UsbLeft(), c.left) << int{c.orientation};
    EXPECT_EQ(IsDispHorizontal_UsbRight(), c.right) << int{c.orientation};
  }
  g_stSysParam.ucDispDirection = 0;
  int edge = 0;
  for (uint8_t tx = 0; tx < 17; ++tx) {
    for (uint8_t rx = 0; rx < 38; ++rx) edge += AppIsEdgePeak(tx, rx) ? 1 : 0;
  }
  EXPECT_EQ(edge, 17 * 38 - 13 * 34);
  EXPECT_FALSE(AppIsEdgePeak(2, 2));
  EXPECT_TRUE(AppIsEdgePeak(15, 20));
  EXPECT_TRUE(AppIsEdgePeak(8, 36));
  const uint8_t rect[4] = {2, 3, 5, 6};
  EXPECT_TRUE(AppIsInAreaCheck(rect, 2, 3));
  EXPECT_FALSE(AppIsInAreaCheck(rect, 5, 3));
  EXPECT_FALSE(AppIsInAreaCheck(rect, 4, 6));
}

TEST(Calc, BitReversalAndDistance) {
  EXPECT_EQ(WordReverse(0x1u, 32), 0x80000000u);
  EXPECT_EQ(WordReverse(0xF1u, 4), 0xF8u);  // bits from 4 upward kept
  EXPECT_EQ(ByteReverse(0x01u, 8), 0x80u);
  EXPECT_EQ(ByteReverse(0x1A3u, 4), 0x1ACu);
  EXPECT_EQ(AppCalcDistance(0, 0, 3, 4), 5u);
  EXPECT_EQ(AppCalcDistance(10, 10, 0, 0), 14u);  // 14.14 truncated
}

TEST(KmId, CrossedPairingIsChosenWhenShorter) {
  // Previous points at A and B; the current list holds them in the other order.
  const uint16_t old_pos[] = {100, 100, 1000, 1000};
  const uint16_t new_pos[] = {990, 1010, 110, 95};
  uint16_t result[LUMA_KM_N];
  LumaKmIdCtx ctx{2, 2, old_pos, new_pos, result};
  DrvCal_KmID(&ctx);
  EXPECT_EQ(result[0], 1);
  EXPECT_EQ(result[1], 0);
  EXPECT_EQ(g_assCalOut.ausCol[0], 1);
  // Rows beyond the real points take the remaining columns, at or above the current count.
  for (int i = 2; i < LUMA_KM_N; ++i) EXPECT_GE(result[i], 2) << i;
}

TEST(KmId, TotalDistanceIsSmallestNotGreedy) {
  // Taking the closest pair first (old 1 to new 0, distance 1) leaves old 0 twenty away:
  // 21 in all. Old 0 to new 0 and old 1 to new 1 cost 9 + 10 = 19.
  const uint16_t old_pos[] = {0, 0, 10, 0};
  const uint16_t new_pos[] = {9, 0, 20, 0};
  uint16_t result[LUMA_KM_N];
  LumaKmIdCtx ctx{2, 2, old_pos, new_pos, result};
  DrvCal_KmID(&ctx);
  EXPECT_EQ(result[0], 0);
  EXPECT_EQ(result[1], 1);
}

TEST(KmId, AbsentPreviousPointIsMatchedLast) {
  const uint16_t old_pos[] = {LUMA_KM_ABSENT, 0, 500, 500};
  const uint16_t new_pos[] = {505, 500};
  uint16_t result[LUMA_KM_N];
  LumaKmIdCtx ctx{2, 1, old_pos, new_pos, result};
  DrvCal_KmID(&ctx);
  EXPECT_EQ(result[1], 0);
  EXPECT_NE(result[0], 0);
}

TEST(KmId, SolverFindsTheMaximumOnAFullMatrix) {
  // An arbitrary full matrix: the result must be a permutation that no exchange of two
  // rows' columns improves.
  int32_t w[LUMA_KM_N][LUMA_KM_N];
  for (int i = 0; i < LUMA_KM_N; ++i) {
    for (int j = 0; j < LUMA_KM_N; ++j) w[i][j] = -((i * 7 + j * 13) % 29) - (i == j ? 0 : 3);
  }
  const LumaKmResult *r = Cal_ID(&w[0][0]);
  int64_t total = 0;
  bool used[LUMA_KM_N] = {};
  for (int i = 0; i < LUMA_KM_N; ++i) {
    ASSERT_LT(r->ausCol[i], LUMA_KM_N);
    EXPECT_FALSE(used[r->ausCol[i]]);
    used[r->ausCol[i]] = true;
    total += w[i][r->ausCol[i]];
  }
  // Any single swap of two rows' columns cannot do better at an optimum.
  for (int a = 0; a < LUMA_KM_N; ++a) {
    for (int b = a + 1; b < LUMA_KM_N; ++b) {
      const int64_t swapped = total - w[a][r->ausCol[a]] - w[b][r->ausCol[b]] + w[a][r->ausCol[b]] + w[b][r->ausCol[a]];
      EXPECT_LE(swapped, total) << a << "," << b;
    }
  }
}

TEST(ScPeak, PeaksCountsAndExtremes) {
  // 3 rows x 5 columns: a flat top of two equal nodes, one negative dip.
  const int16_t m[15] = {0, 0,   0,   0,    0,
                         0, 300, 300, 0,    0,
                         0, 0,   0,   -250, 10};
  uint16_t pos[4] = {};
  uint16_t neg[4] = {};
  LumaScPeakParam p{5, 3, 4, 1, m, pos, neg, 180, -180, 200, -200};
  LumaScPeakResult r{};
  DrvCal_ScPeak(&p, &r);
  ASSERT_EQ(r.ucPosNum, 2);
  EXPECT_EQ(pos[0], (1 << 8) | 1);
  EXPECT_EQ(pos[1], (1 << 8) | 2);
  ASSERT_EQ(r.ucNegNum, 1);
  EXPECT_EQ(neg[0], (2 << 8) | 3);
  EXPECT_EQ(r.usHighCnt, 2);
  EXPECT_EQ(r.usLowCnt, 1);
  EXPECT_EQ(r.ssMax, 300);
  EXPECT_EQ(r.usMaxPos, 1 | (2 << 8));  // the later of the two equal nodes
  EXPECT_EQ(r.ssMin, -250);

  // Capacity 1: the second peak is listed nowhere, the extremes still cover the matrix.
  p.ucMaxPeak = 1;
  DrvCal_ScPeak(&p, &r);
  EXPECT_EQ(r.ucPosNum, 1);
  EXPECT_EQ(r.ssMax, 300);
  EXPECT_EQ(r.usHighCnt, 2);

  p.ucRows = 0;
  DrvCal_ScPeak(&p, &r);
  EXPECT_EQ(r.ssMax, -32767);
  EXPECT_EQ(r.ssMin, 32767);
  EXPECT_EQ(r.usMaxPos, 0xFFFF);
}

TEST(ScPeak, ASingleLineReadsNothingBeyondIt) {
  // One row: neighbours above and below do not exist and must not be read (ASan watches).
  const auto *line = new int16_t[4]{0, 250, 0, 260};
  uint16_t pos[4] = {};
  uint16_t neg[4] = {};
  LumaScPeakParam p{4, 1, 4, 1, line, pos, neg, 200, -200, 1000, -1000};
  LumaScPeakResult r{};
  DrvCal_ScPeak(&p, &r);
  EXPECT_EQ(r.ucPosNum, 2);
  EXPECT_EQ(pos[1], 3);
  delete[] line;
}

}  // namespace

namespace {

TEST(PosMapping, StretchZones) {
  struct Case {
    uint16_t in, x, y;
  };
  const Case cases[] = {
      {0, 0, 0},          {500, 0, 0},          {1023, 1021, 1021},   {1024, 1024, 1024},
      {18495, 18495, 18495}, {18496, 18498, 18496}, {19519, 19519, 19519}, {19520, 19519, 19520},
      // Beyond the x range, x stays at its last pixel; y one above its range maps to 0.
      {42367, 19519, 42367}, {42368, 19519, 42370}, {43391, 19519, 43391}, {43392, 19519, 0},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(XMappingNotch(c.in), c.x) << c.in;
    EXPECT_EQ(YMappingNotch(c.in), c.y) << c.in;
  }
}

TEST(PosMapping, InternalCoordinatesStretchBothEndsAndScaleTheMiddle) {
  AppFrameInfoInit();
  ASSERT_EQ(g_stFrmInfo.usMaxX, 17 * 1024 - 1);
  struct Case {
    uint16_t in;
    uint16_t x;
  };
  const Case cases[] = {
      {0, 0},           {1000, 975},      {1023, 1024},     {2000, 3057},  {8602, 9659}, {8703, 9760},
      {8803, 9860},     {16383, 17440},   {16384, 18496},   {16896, 19519}, {16897, 0},
  };
  for (const Case &c : cases) EXPECT_EQ(XMapping(c.in), c.x) << c.in;
  EXPECT_EQ(YMapping(38 * 1024 - 1 - 1023), 43392 - 1024);
  g_stFwConfig.ucNotchMapEn = 0;
  EXPECT_EQ(XMapping(1000), 1000);
  EXPECT_EQ(XMappingNotch(500), 500);
  g_stFwConfig.ucNotchMapEn = 1;
}

TEST(PosMapping, FlagsAndCopy) {
  AppTouchDataInit();
  g_stTouchData.ucPointNum = 1;
  g_stTouchData.ucLastPointNum = 0;
  g_stTouchData.astPoint[0].x = 1023;
  g_stTouchData.astPoint[0].y = 43392;
  AppPosPreMapping();
  EXPECT_EQ(g_stTouchData.astPoint[0].x, 1021u);
  EXPECT_EQ(g_stTouchData.astPoint[0].y, 0u);
  AppPosMapping();
  EXPECT_EQ(g_stTouchData.ucTouching, 1);
  EXPECT_EQ(g_stTouchData.ucFirstTouch, 1);
  EXPECT_EQ(g_stTouchData.astMapPoint[0].x, 1021u);
  EXPECT_EQ(g_stTouchData.astMapPoint[1].id, 0xFF);
  // Release after a frame with points; not again the frame after.
  g_stTouchData.ucLastPointNum = 1;
  g_stTouchData.ucPointNum = 0;
  AppPosMapping();
  EXPECT_EQ(g_stTouchData.ucAllRelease, 1);
  EXPECT_EQ(g_stTouchData.ucTouching, 0);
  g_stTouchData.ucAllRelease = 0;
  g_stTouchData.ucLastPointNum = 0;
  AppPosMapping();
  EXPECT_EQ(g_stTouchData.ucAllRelease, 0);
}

}  // namespace
