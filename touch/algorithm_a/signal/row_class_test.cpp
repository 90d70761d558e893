// Running-median baseline and flag runs.
#include <gtest/gtest.h>

#include <algorithm>
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
