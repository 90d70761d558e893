// Running-median baseline and flag runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <random>
#include <vector>

#include "row_class.h"

namespace {

int16_t TrueMedian(const std::vector<int16_t>& row, int x, int half) {
  std::vector<int16_t> win;
  const int n = static_cast<int>(row.size());
  for (int i = x - half; i <= x + half; ++i) win.push_back(row[std::clamp(i, 0, n - 1)]);
  std::nth_element(win.begin(), win.begin() + half, win.end());
  return win[half];
}

TEST(RowRunningMedian, FollowsTheTrueMedianWithinOneBin) {
  std::mt19937 rng(7);
  struct Case {
    int spread;
    uint16_t width;  // expected bin width
  };
  // Range = spread + 1: 33..63 gives width 1 (bins of two values); larger ranges coarser bins.
  const Case cases[] = {{32, 1}, {62, 1}, {63, 2}, {500, 8}, {3000, 64}};
  for (const Case& c : cases) {
    for (uint8_t half : {1, 3, 6}) {
      std::vector<int16_t> row(40);
      std::uniform_int_distribution<int> d(0, c.spread);
      for (auto& v : row) v = static_cast<int16_t>(-200 + d(rng));
      row[5] = -200;
      row[9] = static_cast<int16_t>(-200 + c.spread);  // the range is exactly spread + 1
      std::vector<int16_t> out(row.size());
      uint16_t bin = 0xFFFF;
      RowRunningMedian(row.data(), out.data(), &bin, half, static_cast<uint8_t>(row.size()), 0);
      ASSERT_EQ(bin, c.width) << c.spread;
      for (size_t x = 0; x < row.size(); ++x)
        EXPECT_LE(std::abs(out[x] - TrueMedian(row, static_cast<int>(x), half)), 2 * c.width)
            << "spread " << c.spread << " half " << int{half} << " node " << x;
      EXPECT_EQ(gswMaxMedian, *std::max_element(out.begin(), out.end()));
      EXPECT_EQ(gswMinMedian, *std::min_element(out.begin(), out.end()));
      // In place gives the same baseline.
      std::vector<int16_t> inPlace = row;
      RowRunningMedian(inPlace.data(), inPlace.data(), &bin, half, static_cast<uint8_t>(row.size()), 0);
      EXPECT_EQ(inPlace, out);
    }
  }
}

// A representative lies up to one bin width above the row's largest value; near the top
// of the s16 range it must stay inside the row, not fold to -32768.
TEST(RowRunningMedian, ANearSaturatedRowKeepsItsBaselineInsideTheRow) {
  struct Case {
    int16_t low, high;
  } cases[] = {{32735, 32767}, {32767 - 600, 32767}, {-32768, -32768 + 40}};
  for (const Case& c : cases) {
    std::vector<int16_t> row(12, c.high);
    row[0] = c.low;
    std::vector<int16_t> out(row.size(), 0);
    uint16_t bin = 0;
    RowRunningMedian(row.data(), out.data(), &bin, 2, static_cast<uint8_t>(row.size()), 0);
    for (size_t x = 0; x < row.size(); ++x) {
      EXPECT_GE(out[x], c.low) << c.low << " node " << x;
      EXPECT_LE(out[x], c.high) << c.low << " node " << x;
    }
    // The window at the end holds only the top value: its baseline is within a bin of it.
    EXPECT_GE(out.back(), c.high - 2 * bin) << c.low;
    EXPECT_EQ(gswMaxMedian, *std::max_element(out.begin(), out.end()));
  }
}

TEST(FillProfileGap, LineInsideAndReflectionPastAnEdge) {
  struct Case {
    const char* what;
    std::vector<int16_t> values;
    int8_t start, end;
    std::vector<int16_t> want;
  } cases[] = {
      // 40 x 1024/4 >> 10 = 10 per entry; 10 x 341 >> 10 = 3 per entry.
      {"a line over four", {10, 0, 0, 0, 50}, 0, 4, {10, 20, 30, 40, 50}},
      {"a line over three", {0, 9, 9, 10}, 0, 3, {0, 3, 6, 10}},
      {"a falling line", {50, 0, 0, 0, 10}, 0, 4, {50, 40, 30, 20, 10}},
      {"neighbours: nothing between", {1, 2}, 0, 1, {1, 2}},
      {"left edge", {0, 0, 100, 90, 80}, -1, 2, {120, 110, 100, 90, 80}},
      {"right edge", {80, 90, 100, 0, 0}, 2, 5, {80, 90, 100, 110, 120}},
      {"past five the fifth repeats",
       {0, 0, 0, 0, 0, 0, 0, 100, 99, 98, 97, 96, 95},
       -1, 7, {105, 105, 105, 104, 103, 102, 101, 100, 99, 98, 97, 96, 95}},
      {"a reflection kept to 16 bits", {0, 30000, -30000}, -1, 1, {32767, 30000, -30000}},
      {"no valid value", {1, 2, 3}, -1, 3, {1, 2, 3}},
  };
  for (const Case& c : cases) {
    std::vector<int16_t> v = c.values;
    FillProfileGap(v.data(), c.start, c.end, static_cast<uint8_t>(v.size()));
    EXPECT_EQ(v, c.want) << c.what;
  }
}

TEST(SubtractSmoothedProfile, OneSixOneInsideSevenOneAtTheEnds) {
  const int16_t source[] = {80, 16, -8, 40};
  std::vector<uint16_t> target(8, 1000);
  SubtractSmoothedProfile(target.data(), source, 4, 2);
  // (7*80 + 16) >> 3 = 72; (80 + 96 - 8) >> 3 = 21; (16 - 48 + 40) >> 3 = 1; (280 - 8) >> 3 = 34.
  EXPECT_EQ(target, (std::vector<uint16_t>{928, 1000, 979, 1000, 999, 1000, 966, 1000}));
  const int16_t one[] = {-24};
  uint16_t t = 5;
  SubtractSmoothedProfile(&t, one, 1, 1);
  EXPECT_EQ(t, 29);
}

TEST(RowRunningMedian, AFlatRowIsItsOwnBaseline) {
  gswMaxMedian = 77;
  std::vector<int16_t> row = {0, 31, 5, 31, 0, 12};  // range 32
  std::vector<int16_t> out(row.size(), -1);
  uint16_t bin = 9;
  RowRunningMedian(row.data(), out.data(), &bin, 2, static_cast<uint8_t>(row.size()), 0);
  EXPECT_EQ(out, row);
  EXPECT_EQ(bin, 0);
  EXPECT_EQ(gswMaxMedian, 77) << "a copy leaves the bounds of the last histogram";
}

TEST(FindFlagRuns, ListsRunsWithExclusiveEnds) {
  uint8_t starts[kMaxFlagRuns], ends[kMaxFlagRuns], lastStart, lastEnd;
  const uint8_t flags[] = {1, 1, 0, 0, 1, 0, 1, 1, 1};
  FindFlagRuns(starts, ends, &lastStart, &lastEnd, flags, 1, sizeof(flags));
  EXPECT_EQ(lastStart, 2);
  EXPECT_EQ(lastEnd, 2);
  EXPECT_EQ(std::vector<uint8_t>(starts, starts + 4), (std::vector<uint8_t>{0, 4, 6, kNoRun}));
  EXPECT_EQ(std::vector<uint8_t>(ends, ends + 4), (std::vector<uint8_t>{2, 5, 9, kNoRun}));

  const uint8_t none[6] = {};
  FindFlagRuns(starts, ends, &lastStart, &lastEnd, none, 1, sizeof(none));
  EXPECT_EQ(lastStart, kNoRun);
  EXPECT_EQ(lastEnd, kNoRun);
  EXPECT_EQ(starts[0], kNoRun);

  uint8_t alternating[56];
  for (int i = 0; i < 56; ++i) alternating[i] = (i % 2 == 0) ? 1 : 0;
  FindFlagRuns(starts, ends, &lastStart, &lastEnd, alternating, 1, 56);
  EXPECT_EQ(lastStart, 27);
  EXPECT_EQ(lastEnd, 27);
  EXPECT_EQ(starts[27], 54);
  EXPECT_EQ(ends[27], 55);

  // Every second entry on a step of 2: flags at 0, 2 (run), gap at 4, flag at 6.
  const uint8_t stepped[] = {1, 0, 1, 1, 0, 1, 1, 0};
  FindFlagRuns(starts, ends, &lastStart, &lastEnd, stepped, 2, sizeof(stepped));
  EXPECT_EQ(lastStart, 1);
  EXPECT_EQ(std::vector<uint8_t>(starts, starts + 2), (std::vector<uint8_t>{0, 6}));
  EXPECT_EQ(std::vector<uint8_t>(ends, ends + 2), (std::vector<uint8_t>{4, 8}));
}

}  // namespace

namespace {

TEST(ClusterThreeLevels, CentresSizesAndTheEmptyClusterEnds) {
  struct Case {
    std::vector<int16_t> values;
    uint16_t clip;
    int16_t hint;
    std::array<int16_t, 3> centres;
    std::array<uint16_t, 3> sizes;
  };
  auto rep = [](std::initializer_list<std::pair<int16_t, int>> parts) {
    std::vector<int16_t> v;
    for (auto [value, n] : parts) v.insert(v.end(), n, value);
    return v;
  };
  const Case cases[] = {
      {rep({{-300, 5}, {0, 10}, {400, 6}}), 0, 32767, {-300, 0, 400}, {5, 10, 6}},
      {rep({{-310, 2}, {-290, 2}, {-5, 4}, {5, 4}, {390, 3}, {410, 3}}), 0, 32767, {-300, 0, 400}, {4, 8, 6}},
      // Two values a step apart: the middle cluster empties, L and U take their means.
      {rep({{100, 4}, {101, 3}}), 0, 32767, {100, 100, 101}, {4, 0, 3}},
      // One level: only the low cluster has members; U is the empty mean.
      {rep({{7, 6}}), 0, 32767, {7, 7, 0}, {6, 0, 0}},
      // Clipped to +-356: the centres start at the limits and 0.
      {rep({{-2000, 3}, {0, 3}, {2000, 3}}), 100, 32767, {-356, 0, 356}, {3, 3, 3}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.values.size());
    std::vector<uint8_t> ids(c.values.size(), 9);
    std::array<int16_t, 3> centres{};
    std::array<uint16_t, 3> sizes{};
    ClusterThreeLevels(c.values.data(), ids.data(), centres.data(), sizes.data(), static_cast<uint16_t>(c.values.size()),
                       1, c.clip, c.hint);
    EXPECT_EQ(centres, c.centres);
    EXPECT_EQ(sizes, c.sizes);
    for (size_t i = 0; i < ids.size(); ++i) EXPECT_LE(ids[i], 2);
  }
}

// Two touch runs of id 2 on a background of id 0; the gap between them carries a baseline
// of 30 that only a join replaces.
TEST(CorrectBaselineByCluster, RunsFourApartAreJoinedFiveStayApartUnmarkedRunsAreDropped) {
  constexpr uint8_t kW = 32;
  const int16_t centres[3] = {0, 250, 500};
  struct Case {
    uint32_t gap;
    bool marks;
    int16_t gapBaseline, runBaseline;
  } cases[] = {{4, true, 0, 0}, {5, true, 30, 0}, {3, true, 0, 0}, {4, false, 30, 500}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.gap);
    const uint32_t sA = 8, eA = 12, sB = eA + c.gap, eB = sB + 4;
    std::vector<int16_t> row(kW, 0), diff(kW, 500);
    std::vector<uint8_t> ids(kW, 0), marks(kW, 0);
    for (uint32_t j = sA; j < eA; ++j) row[j] = 500, ids[j] = 2;
    for (uint32_t j = sB; j < eB; ++j) row[j] = 500, ids[j] = 2;
    for (uint32_t j = eA; j < sB; ++j) row[j] = 30;
    if (c.marks) marks[sA - 1] = marks[eA - 1] = marks[sB - 1] = marks[eB - 1] = 1;
    std::vector<int16_t> base = row;
    const RowClassSettings st{kW, 1, 0, 0, 0};
    CorrectBaselineByCluster(row.data(), base.data(), diff.data(), ids.data(), centres, 50, marks.data(), &st);
    EXPECT_EQ(base[eA + 1], c.gapBaseline);
    EXPECT_EQ(base[sA + 1], c.runBaseline);
    EXPECT_EQ(base[eB - 1], c.runBaseline);
    EXPECT_EQ(base[0], 0);
  }
}

}  // namespace
