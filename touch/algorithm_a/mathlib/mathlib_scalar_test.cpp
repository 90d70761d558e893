// Scalar routines and the consistency measures, on the worked numbers and on sweeps
// against exact arithmetic.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "mathlib.h"

namespace {

TEST(CordicSqrt, WorkedPairs) {
  struct Case {
    int32_t i, q;
    uint32_t magnitude;
  };
  for (const Case& c : {Case{3, 4, 5}, Case{-3, 4, 5}, Case{1, 1, 1}, Case{0, 0, 0}, Case{1000, 1000, 1414},
                        Case{30000, 30000, 42438}}) {
    SCOPED_TRACE(testing::Message() << c.i << "," << c.q);
    EXPECT_EQ(LibCordicSqrt(c.i, c.q), c.magnitude);
  }
  // Only the low 16 bits of each argument count, read as signed.
  EXPECT_EQ(LibCordicSqrt(0x10003, 0x7FFF0004), 5u);
  EXPECT_EQ(LibCordicSqrt(0xFFFD, 4), 5u);
}

TEST(CordicSqrt, TracksTheMagnitudeOverTheWholeRange) {
  // Full-scale pairs included: -32768 has a magnitude of 32768, not a negative one.
  const int32_t values[] = {-32768, -32767, -20000, -777, -1, 0, 2, 345, 9999, 23170, 32767};
  for (int32_t i : values) {
    for (int32_t q : values) {
      const double exact = std::hypot(double(i), double(q));
      const double got = LibCordicSqrt(i, q);
      EXPECT_NEAR(got, exact, 1.0 + exact * 0.0005) << i << "," << q;
    }
  }
}

TEST(IntegerSqrt, NewtonStepsOnWorkedInputs) {
  struct Case {
    uint32_t x, root;
  };
  for (const Case& c : {Case{0, 1}, Case{1, 1}, Case{3, 2}, Case{8, 3}, Case{15, 3}, Case{16, 4}, Case{65535, 255}}) {
    EXPECT_EQ(LibSqrtU16(static_cast<uint16_t>(c.x)), c.root) << c.x;
    EXPECT_EQ(LibSqrtU32(c.x), c.root) << c.x;
  }
  // Large 32-bit inputs stop within one of the true root.
  for (uint32_t x : {1000000u, 123456789u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
    const double exact = std::floor(std::sqrt(double(x)));
    EXPECT_NEAR(double(LibSqrtU32(x)), exact, 1.0) << x;
  }
}

TEST(IntegerSqrt, BitByBitRoundsDown) {
  EXPECT_EQ(LibSqrtU16RoundingLib(0), 0);
  EXPECT_EQ(LibSqrtU16RoundingLib(3), 1);
  EXPECT_EQ(LibSqrtU16RoundingLib(8), 2);
  EXPECT_EQ(LibSqrtU16RoundingLib(15), 3);
  for (uint32_t x = 0; x <= 65535; ++x) {
    const uint32_t r = LibSqrtU16RoundingLib(static_cast<uint16_t>(x));
    ASSERT_TRUE(r * r <= x && (r + 1) * (r + 1) > x) << x;
  }
}

TEST(ScalarHelpers, AbsoluteValuesReachTheFullRange) {
  EXPECT_EQ(LibAbsS16(-32768), 32768);
  EXPECT_EQ(LibAbsS32(INT32_MIN), 0x80000000u);
  EXPECT_EQ(LibAbsDiffS16(-32768, 32767), 65535);
  EXPECT_EQ(LibAbsDiffU16(3, 65535), 65532);
  EXPECT_EQ(LibAbsDiffS32(INT32_MIN, INT32_MAX), 0xFFFFFFFFu);
  EXPECT_EQ(LibAbsDiffU8(0, 255), 255);
  EXPECT_EQ(LibAbsDiffU8(200, 7), 193);
}

TEST(ScalarHelpers, SmallGeometry) {
  EXPECT_TRUE(LibBoundaryJudge(2, 100, 3));
  EXPECT_FALSE(LibBoundaryJudge(3, 100, 3));
  EXPECT_FALSE(LibBoundaryJudge(97, 100, 3));
  EXPECT_TRUE(LibBoundaryJudge(98, 100, 3));
  const uint8_t rect[4] = {2, 4, 10, 19};  // top, bottom, left, right
  EXPECT_EQ(LibGetRectSize(rect), 30);
  EXPECT_EQ(LibGetCellIndex(3, 5, 18), 59);
  EXPECT_EQ(LibFilterXY(100, 130, 8), 108);
  EXPECT_EQ(LibFilterXY(100, 95, 8), 95);
  EXPECT_EQ(LibFilterXY(100, 50, 8), 92);
  EXPECT_EQ(LibFilterXY(INT32_MIN, INT32_MAX, 1), INT32_MIN + 1);
}

TEST(ScalarHelpers, Bezier) {
  // p1 at t = 0, p0 at t = 16, the control point pulls the middle.
  EXPECT_EQ(LibBezierInterpolation(160, 16, 1000, 0), 16u);
  EXPECT_EQ(LibBezierInterpolation(160, 16, 1000, 16), 160u);
  EXPECT_EQ(LibBezierInterpolation(160, 16, 1000, 8), (64u * 160 + 64 * 16 + 128 * 1000) >> 8);
  // Evenly spaced points: the control point that puts the curve through p1 in the middle.
  EXPECT_EQ(LibBezierControlPoint(0, 10, 20), 15u);
  EXPECT_EQ(LibBezierControlPoint(40, 40, 40), 40u);
}

TEST(ConsistencyDrv, RowDifferencesWorkedExample) {
  uint16_t map[3] = {10, 20, 40};
  uint16_t diff[2] = {};
  uint16_t maxAbs = 0;
  EXPECT_EQ(LibCalcConsistencyDrv(map, diff, &maxAbs, 1, 3, 1), 30u);
  EXPECT_EQ(static_cast<int16_t>(diff[0]), -10);
  EXPECT_EQ(static_cast<int16_t>(diff[1]), -20);
  EXPECT_EQ(map[0], 10);
  EXPECT_EQ(map[1], 20);
  EXPECT_EQ(map[2], 40);
  EXPECT_EQ(maxAbs, 20);
}

TEST(ConsistencyDrv, StatisticsDescribeTheLastRow) {
  // Two rows, step 2: row 0 differences {-5, 7}, row 1 {100, -3}.
  uint16_t map[8] = {10, 0, 15, 0, 200, 3, 100, 6};
  map[3] = static_cast<uint16_t>(-7);
  uint16_t diff[4] = {};
  uint16_t maxAbs = 0;
  EXPECT_EQ(LibCalcConsistencyDrv(map, diff, &maxAbs, 2, 4, 2), 5u + 7 + 100 + 3);
  EXPECT_EQ(maxAbs, 100);
  EXPECT_EQ(LibVpuGetAcc(), 97u);
  EXPECT_EQ(LibVpuGetMaxData(), 100);
  EXPECT_EQ(static_cast<int16_t>(LibVpuGetMinData()), -3);
  EXPECT_EQ(LibVpuGetMaxDataAddr(), &diff[2]);
  EXPECT_EQ(LibVpuGetMinDataAddr(), &diff[2]);
  EXPECT_EQ(std::vector<uint16_t>(map, map + 4), (std::vector<uint16_t>{5, 7, 100, 3}));
}

TEST(ConsistencyAll, SeparableMapIsPerfectlyConsistent) {
  // node (r, c) = a(r) + b(c): every mixed second difference is 0.
  const uint16_t a[4] = {100, 340, 90, 1000};
  const uint16_t b[5] = {0, 7, 300, 12, 65};
  uint16_t map[20];
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 5; ++c) map[r * 5 + c] = static_cast<uint16_t>(a[r] + b[c]);
  uint16_t diff[20];
  uint16_t maxAbs = 99;
  for (uint8_t step : {1, 2, 3}) {
    uint16_t work[20];
    memcpy(work, map, sizeof(work));
    EXPECT_EQ(LibCalcConsistencyAll(work, diff, &maxAbs, 4, 5, step), 0u) << int(step);
    EXPECT_EQ(maxAbs, 0) << int(step);
  }
}

TEST(ConsistencyAll, BumpGivesItsSecondDifferences) {
  uint16_t map[9] = {0, 0, 0, 0, 5, 0, 0, 0, 0};
  uint16_t diff[6] = {};
  uint16_t maxAbs = 0;
  EXPECT_EQ(LibCalcConsistencyAll(map, diff, &maxAbs, 3, 3, 1), 20u);
  EXPECT_EQ(maxAbs, 5);
  const int16_t expected[4] = {5, -5, -5, 5};
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(static_cast<int16_t>(diff[k]), expected[k]) << k;
    EXPECT_EQ(map[k], 5) << k;
  }
  // The record holds the last row of the second pass, both addresses at its start.
  EXPECT_EQ(LibVpuGetMaxDataAddr(), &diff[2]);
  EXPECT_EQ(static_cast<int32_t>(LibVpuGetAcc()), 0);
}

TEST(Consistency, NothingToCompare) {
  uint16_t map[4] = {1, 2, 3, 4};
  uint16_t diff[4] = {};
  uint16_t maxAbs = 0;
  EXPECT_EQ(LibCalcConsistencyAll(map, diff, &maxAbs, 2, 2, 2), 0u);
  EXPECT_EQ(maxAbs, 32767);
  maxAbs = 0;
  EXPECT_EQ(LibCalcConsistencyDrv(map, diff, &maxAbs, 0, 2, 1), 0u);
  EXPECT_EQ(maxAbs, 32767);
  maxAbs = 0;
  // Two sense lines and step 2 leave no pair in a row.
  EXPECT_EQ(LibCalcConsistencyDrv(map, diff, &maxAbs, 2, 2, 2), 0u);
  EXPECT_EQ(maxAbs, 32767);
  EXPECT_EQ(map[3], 4);
}

TEST(MapRoutines, NormalizeKaddB) {
  uint16_t x[3] = {1000, 60000, 7};
  const uint16_t k[3] = {4096, 8192, 2048};
  const uint16_t b[3] = {5, 10, 65535};
  uint32_t scratch[3];
  gstVpuStatistic.ulAcc = 1234;
  EXPECT_EQ(LibNormalizeKaddB(x, scratch, k, 12, b, 0, 3), x);
  EXPECT_EQ(std::vector<uint16_t>(x, x + 3), (std::vector<uint16_t>{1000, 65535, 3}));
  EXPECT_EQ(scratch[1], 60000u * 8192);
  EXPECT_EQ(LibVpuGetAcc(), 1234u);
  uint16_t y[3] = {1000, 60000, 7};
  LibNormalizeKaddB(y, scratch, k, 12, b, 1, 3);
  EXPECT_EQ(std::vector<uint16_t>(y, y + 3), (std::vector<uint16_t>{1005, 9, 2}));  // b added wrapping
  EXPECT_EQ(LibVpuGetAcc(), 1005u + 9 + 2);
}

TEST(MapRoutines, FingerMoveCompareRowDifferences) {
  uint16_t map[6] = {100, 150, 90, 10, 10, 10};
  int16_t scratch[2];
  EXPECT_TRUE(LibIsFingerMove(map, scratch, 59, 3, 2, 1));
  EXPECT_FALSE(LibIsFingerMove(map, scratch, 60, 3, 2, 1));
  EXPECT_TRUE(LibIsFingerMove(map, scratch, 32766, 3, 0, 1));
  EXPECT_FALSE(LibIsFingerMove(map, scratch, 32767, 3, 0, 1));
}

TEST(MapRoutines, CountClearAndAbs) {
  int16_t map[12] = {1, 9, 9, 1, 1, 10, -20, 30, 8, 9, 10, 11};
  EXPECT_EQ(LibGetTouchNode(0, 2, 1, 2, map, 8, 4), 5);
  EXPECT_EQ(LibGetTouchNode(2, 1, 0, 3, map, 0, 4), 0);
  uint16_t abs[12];
  EXPECT_EQ(LibGetAbsSumS16(map, abs, 12), 1u + 9 + 9 + 1 + 1 + 10 + 20 + 30 + 8 + 9 + 10 + 11);
  EXPECT_EQ(abs[6], 20);

  int16_t noise[4] = {100, -100, 7, 0};
  LibClearPartNoise(4, noise, 3, 4);  // (3 - 1) / 4 of each
  EXPECT_EQ(std::vector<int16_t>(noise, noise + 4), (std::vector<int16_t>{50, -50, 3, 0}));
  LibClearPartNoise(4, noise, 3, 0);
  EXPECT_EQ(std::vector<int16_t>(noise, noise + 4), (std::vector<int16_t>{0, 0, 0, 0}));

  std::vector<int16_t> grid(5 * 6, 7);
  LibEdgeClear(1, 2, 5, 6, grid.data());
  for (int r = 0; r < 5; ++r)
    for (int c = 0; c < 6; ++c) {
      const bool edge = r == 0 || r == 4 || c < 2 || c > 3;
      EXPECT_EQ(grid[r * 6 + c], edge ? 0 : 7) << r << "," << c;
    }
  std::vector<int16_t> small(2 * 3, 7);
  LibEdgeClear(9, 9, 2, 3, small.data());  // bands wider than the map stop at its edges
  for (int16_t v : small) EXPECT_EQ(v, 0);
}

}  // namespace
