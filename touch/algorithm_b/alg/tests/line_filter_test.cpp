// One-dimensional line filters: tilt removal, clamped means, shrink and reference
// subtraction.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "luma_filter.h"

namespace {

using Line = std::vector<int16_t>;

Line Ramp(uint8_t n, int16_t step) {
  Line line(n);
  for (uint8_t i = 0; i < n; ++i) line[i] = static_cast<int16_t>(step * i);
  return line;
}

TEST(LineEqualisation, RemovesTiltOnBothSidesOfThePivot) {
  struct Case {
    Line src;
    uint8_t p;
    uint16_t c;
    Line expected;
  } cases[] = {
      {Ramp(38, 10), 18, 60, Line(38, 180)},
      {Ramp(5, 10), 0, 60, Line(5, 0)},                       // no left part: the right slope covers all
      {{7, 0, 30, 60, 90}, 1, 60, {7, 0, 0, 0, 0}},           // left slope 0: entry 0 only copied
      {{0, 10, 20, 30, 40}, 2, 4, {8, 14, 20, 26, 32}},        // steps clipped to 4
      {{500, 10, 20, 30, -900}, 2, 60, {520, 20, 20, 20, -920}},  // outer steps take no part
  };
  for (const auto &c : cases) {
    Line dst(c.src.size(), -1);
    AppLineEquFilterLR(dst.data(), c.src.data(), static_cast<uint8_t>(c.src.size()), c.p, c.c);
    EXPECT_EQ(dst, c.expected) << "pivot " << int(c.p);
  }
}

TEST(LineEqualisation, PivotPastTheLineWritesOnlyTheLine) {
  Line src = Ramp(6, 10);
  int16_t dst[8] = {0, 0, 0, 0, 0, 0, -3, -3};
  AppLineEquFilterLR(dst, src.data(), 6, 7, 60);
  // Left slope from steps 2..5 (10 each): entry i gains 10 x (7 - i).
  EXPECT_EQ(Line(dst, dst + 8), (Line{70, 70, 70, 70, 70, 70, -3, -3}));
}

TEST(LineEqualisation, WholeLineTiltAndEmptyLine) {
  Line src = Ramp(5, 10);
  Line dst = src;
  EXPECT_EQ(AppLineEquFilterAll(dst.data(), src.data(), 5, 2, 60), 10);
  EXPECT_EQ(dst, Line(5, 20));
  Line one = {9};
  EXPECT_EQ(AppLineEquFilterAll(one.data(), one.data(), 1, 0, 60), 0);
  EXPECT_EQ(one, Line{9});
  // An empty line has no step; the filter must neither read nor write past it.
  int16_t empty[1] = {33};
  EXPECT_EQ(AppLineEquFilterAll(empty, empty, 0, 0, 60), 0);
  EXPECT_EQ(empty[0], 33);
  EXPECT_EQ(AppScDiffRateLRFilter(empty, 0, 3, 60)[0], 33);
  EXPECT_EQ(AppMcNoiseCountVectorizer(empty, 0)[0], 33);
}

TEST(LineMean, ClampedMeansAndShrink) {
  Line row(38, 40);
  row[9] = 2000;
  AppDiffLineMeanFilter(row.data(), 38, 32767, 1, 1);  // 91, then (37 x 40 + 91) / 38 = 41
  Line expected(38, -1);
  expected[9] = 1959;
  EXPECT_EQ(row, expected);

  Line quiet = {3, -3, 7, -7};
  AppDiffLineMeanFilter(quiet.data(), 4, 100, 0, 0);  // mean 0: shrink by 0
  EXPECT_EQ(quiet, (Line{3, -3, 7, -7}));
  Line shifted = {20, 20, 20, 2, -20};
  AppDiffLineMeanFilter(shifted.data(), 5, 100, 0, 0);  // mean 8: step 8, threshold 4
  EXPECT_EQ(shifted, (Line{12, 12, 12, 2, -12}));

  Line compress = {10, 5, -5, -10, 0};
  AppDiffLineCompressFilter(compress.data(), 5, 10);
  EXPECT_EQ(compress, (Line{0, 5, -5, 0, 0}));
}

TEST(LineMean, TwoSegmentRateFilterLeavesEntryZero) {
  struct Case {
    uint8_t k;
    Line expected;
  } cases[] = {
      {2, {99, -5, 5, -5, 5}},
      {0, {99, -15, -5, 5, 15}},
      {9, {99, -15, -5, 5, 15}},  // split past the line: segment A stops at its end
  };
  for (const auto &c : cases) {
    int16_t line[6] = {99, 10, 20, 30, 40, 555};
    AppScDiffRateLRFilter(line, 5, c.k, 1000);
    EXPECT_EQ(Line(line, line + 5), c.expected) << int(c.k);
    EXPECT_EQ(line[5], 555);
  }
}

TEST(LineReference, QuietestEntryBecomesZero) {
  std::memset(g_stFrmData.assScDiff[2], 0, sizeof(g_stFrmData.assScDiff[2]));
  ASSERT_NE(g_stFwConfig.ucTxNum, 4);  // a line of 4 is read as an Rx line
  Line same(4, 5), out(4, 0);
  EXPECT_EQ(AppLineSubAbsMinFilter(out.data(), same.data(), 4, 0), 0);  // first minimum wins
  EXPECT_EQ(out, Line(4, 0));

  // The projection makes entry 1 the quiet one, or entry 2 when read at every third channel.
  g_stFrmData.assScDiff[2][0] = 100;
  g_stFrmData.assScDiff[2][2] = 50;
  g_stFrmData.assScDiff[2][3] = 100;
  g_stFrmData.assScDiff[2][9] = 100;
  EXPECT_EQ(AppLineSubAbsMinFilter(out.data(), Line{5, 9, 7, 5}.data(), 4, 0), 1);
  EXPECT_EQ(out, (Line{-4, 0, -2, -4}));
  EXPECT_EQ(AppLineABSMinPosGet(Line{5, 9, 7, 5}.data(), 4, 0, 1), 2);  // channels 0, 3, 6, 9
  EXPECT_EQ(AppLineABSMinPosGet(Line{5, 9, 7, 5}.data(), 4, 2, 0), LUMA_LINE_NO_POSITION);
  EXPECT_EQ(AppLineSubAbsMinFilter(out.data(), same.data(), 0, 0), LUMA_LINE_NO_POSITION);
  std::memset(g_stFrmData.assScDiff[2], 0, sizeof(g_stFrmData.assScDiff[2]));

  Line sub = {4, 8, 12};
  AppLineSubRefPosFilter(sub.data(), sub.data(), 3, 1);  // reference read before the loop
  EXPECT_EQ(sub, (Line{-4, 0, 4}));
}

TEST(LineNoise, VectorizerFlattensATiltAndAbsoluteValues) {
  Line line = {-40, -20, 0, 20, 40};
  AppMcNoiseCountVectorizer(line.data(), 5);
  EXPECT_EQ(line, Line(5, 0));
  Line noise = {-5, 5, -32768, 0};
  AppABSNullNoise(noise.data(), 4);
  EXPECT_EQ(noise, (Line{5, 5, -32768, 0}));
  int16_t src[LUMA_SC_LINE_LEN], dst[LUMA_SC_LINE_LEN];
  for (int i = 0; i < LUMA_SC_LINE_LEN; ++i) src[i] = static_cast<int16_t>(-i);
  AppNoiseDiffBak(dst, src);
  EXPECT_EQ(dst[LUMA_SC_LINE_LEN - 1], LUMA_SC_LINE_LEN - 1);
}

}  // namespace
