// Row denoise body and the network post-processing: free rows at the threshold, row classes
// from the baseline spread, the tilt levelling, node marks of a touch and of a dip, the
// final pass over rows, and the whole-map clustering after the network.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <vector>

#include "row_class.h"
#include "row_denoise.h"

namespace {

// A map with everything the body needs, rows x cols.
class Body {
 public:
  Body(uint8_t rows, uint8_t cols, uint8_t selfGroup = kRowDenoiseMutual)
      : rows_(rows), cols_(cols), map(rows * cols, 0), diff_(rows * cols), mask(rows * cols, 7), touch(rows, 7),
        cls(rows, 9), freeCount(rows, 9), median(rows, 9), trend(rows, 0), prevFree(rows, cols), level(rows, 0) {
    b_.pswMap = map.data();
    b_.pswNeighbourDiff = diff_.data();
    b_.pswBaseline = base_.data();
    b_.pswWorkA = workA_.data();
    b_.pswWorkB = workB_.data();
    b_.pswWorkC = workC.data();
    b_.puwMedianOut = median.data();
    b_.pubNodeMask = mask.data();
    b_.pubRowTouch = touch.data();
    b_.pubRowClass = cls.data();
    b_.pubFreeCount = freeCount.data();
    b_.pubNoiseLevel = &noiseLevel;
    b_.pubTrend = trend.data();
    b_.ubRows = rows;
    b_.ubWidth = cols;
    b_.ubStep = 1;
    b_.ubSelfGroup = selfGroup;
    if (selfGroup == kRowDenoiseMutual) {
      b_.pubPrevFree = prevFree.data();
      b_.puwLevel = level.data();
    }
  }
  int16_t& At(uint32_t r, uint32_t c) { return map[r * cols_ + c]; }
  uint8_t Mark(uint32_t r, uint32_t c) const { return mask[r * cols_ + c]; }
  RowDenoiseBlock& Block() { return b_; }
  void Run(bool netPost = false) {
    for (uint32_t r = 0; r < rows_; ++r) {
      for (uint32_t c = 0; c + 1 < cols_; ++c) diff_[r * cols_ + c] = static_cast<int16_t>(At(r, c) - At(r, c + 1));
      diff_[r * cols_ + cols_ - 1] = diff_[r * cols_ + cols_ - 2];
    }
    const std::vector<int16_t> before = map;
    if (netPost) {
      LcdDenoiseNetPost(&b_);
    } else {
      RowDenoiseBody(&b_);
    }
    EXPECT_EQ(map, before) << "the body only reads the map";
  }

  uint8_t rows_, cols_;
  std::vector<int16_t> map;
  std::vector<int16_t> diff_;
  std::vector<uint8_t> mask, touch, cls, freeCount;
  std::vector<uint16_t> median;
  std::vector<uint8_t> trend, prevFree;
  std::vector<uint16_t> level;
  std::array<int16_t, 56> base_{}, workA_{}, workB_{}, workC{};
  uint8_t noiseLevel = 9;

 private:
  RowDenoiseBlock b_{};
};

// A row is free while its largest neighbour difference stays within
// 20 x step + 2 x level + 20; one more marks it touched (a median output of its own).
TEST(RowDenoiseBody, FreeUpToTheStepThreshold) {
  const struct {
    uint16_t level;
    int16_t step;
    bool free;
  } cases[] = {{0, 40, true}, {0, 41, false}, {10, 60, true}, {10, 61, false}};
  for (const auto& k : cases) {
    SCOPED_TRACE(k.step);
    Body b(1, 32);
    b.level[0] = k.level;
    for (uint32_t c = 16; c < 32; ++c) b.At(0, c) = k.step;
    b.Run();
    EXPECT_EQ(b.median[0] == 0, k.free);
    EXPECT_EQ(b.cls[0], 0);
  }
}

// Classes from the spread of the baseline: a flat row is its own baseline.
TEST(RowDenoiseBody, ClassFromTheSpread) {
  const struct {
    int16_t value;
    uint8_t cls;
  } cases[] = {{399, 0}, {400, 1}, {-699, 1}, {700, 2}, {1800, 4}, {2599, 4}, {2600, 5}, {-2600, 5}};
  for (const auto& k : cases) {
    SCOPED_TRACE(k.value);
    Body b(1, 32);
    for (uint32_t c = 0; c < 32; ++c) b.At(0, c) = k.value;
    b.Run();
    EXPECT_EQ(b.cls[0], k.cls);
    EXPECT_EQ(b.noiseLevel, k.cls);
    EXPECT_EQ(b.touch[0], kNodeFree);
  }
}

// The tilt test on a baseline: a first-to-last drop of 134 (x 21 = 2814) is below 2816;
// from 135 the mean step of the pairs within the tolerance is the slope, up to 29.
TEST(RowTiltSlope, FromADropOf135UpToASlopeOf29) {
  const struct {
    int32_t first, last;
    uint16_t bin;
    int32_t slope;
  } cases[] = {{134, 0, 16, 0}, {135, 0, 16, 4}, {0, 135, 16, -5}, {900, 0, 16, 29}, {931, 0, 16, 0}, {310, 0, 0, 0}};
  for (const auto& k : cases) {
    SCOPED_TRACE(testing::Message() << k.first << " to " << k.last << " bin " << k.bin);
    std::array<int16_t, 32> base{};
    // Even steps from first to last: the pairs lie within any tolerance but that of bin 0.
    for (int32_t c = 0; c < 32; ++c) base[c] = static_cast<int16_t>(k.first + (k.last - k.first) * c / 31);
    EXPECT_EQ(RowTiltSlope(base.data(), 32, 1, k.bin), k.slope);
  }
}

// A touched row sloping down is levelled before its nodes are marked: its corrected steps
// lose the slope.
TEST(RowDenoiseBody, TiltedRowStepsLoseTheSlope) {
  const struct {
    int32_t drop;
    int32_t qMin, qMax;
  } cases[] = {{300, 0, 2}, {0, 0, 0}};
  for (const auto& k : cases) {
    SCOPED_TRACE(k.drop);
    Body b(1, 32);
    for (uint32_t c = 0; c < 32; ++c) b.At(0, c) = static_cast<int16_t>(2000 - k.drop * static_cast<int32_t>(c) / 31);
    for (uint32_t c = 14; c < 17; ++c) b.At(0, c) = static_cast<int16_t>(b.At(0, c) + 400);
    b.Run();
    ASSERT_EQ(b.touch[0], 0) << "the bump keeps the row touched";
    EXPECT_GE(b.workC[5], k.qMin);
    EXPECT_LE(b.workC[5], k.qMax);
    EXPECT_EQ(b.Mark(0, 15), kNodeTouched);
  }
}

// One self group: a bump is touched, a dip markedly negative, the rest free.
TEST(RowDenoiseBody, NodeMarksOfABumpAndADip) {
  Body b(1, 32, kRowDenoiseSelf);
  for (uint32_t c = 0; c < 32; ++c) b.At(0, c) = static_cast<int16_t>(c % 3);
  for (uint32_t c = 8; c < 11; ++c) b.At(0, c) = 300;
  for (uint32_t c = 22; c < 25; ++c) b.At(0, c) = -300;
  b.Run();
  EXPECT_EQ(b.touch[0], 0);
  uint32_t free = 0;
  for (uint32_t c = 0; c < 32; ++c) {
    SCOPED_TRACE(c);
    if (c >= 8 && c < 11) {
      EXPECT_EQ(b.Mark(0, c), kNodeTouched);
    } else if (c >= 22 && c < 25) {
      EXPECT_EQ(b.Mark(0, c), kNodeNegative);
    } else {
      EXPECT_EQ(b.Mark(0, c), kNodeFree);
      ++free;
    }
  }
  EXPECT_EQ(b.freeCount[0], free);
}

// The final pass: a wide touch one row high between free rows is noise and is freed; a
// small touch lends its marks to the free rows beside it, unless more than 6 rows are
// touched.
TEST(RowDenoiseBody, FinalPassFreesStripesAndWidensSmallTouches) {
  const struct {
    const char* name;
    uint32_t rowFrom, rowTo, colFrom, colTo;
    uint32_t touchedFrom, touchedTo;  // rows left touched, 1 past 0 for none
  } cases[] = {{"stripe of one row, 10 wide", 4, 4, 10, 19, 1, 0},
               {"finger of 3 x 3", 3, 5, 10, 12, 2, 6},
               {"7 rows high", 0, 6, 10, 12, 0, 6}};
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    Body b(9, 32);
    for (uint32_t r = k.rowFrom; r <= k.rowTo; ++r)
      for (uint32_t c = k.colFrom; c <= k.colTo; ++c) b.At(r, c) = 400;
    b.Run();
    for (uint32_t r = 0; r < 9; ++r) {
      const bool touched = r >= k.touchedFrom && r <= k.touchedTo;
      EXPECT_EQ(b.touch[r], touched ? 0 : kNodeFree) << r;
      EXPECT_EQ(b.freeCount[r], touched ? 29 : 32) << r;
      if (touched) {
        EXPECT_EQ(b.Mark(r, 11), kNodeTouched) << r;
      }
    }
  }
}

// Edge-column rescue: a quiet row (its baseline spans less than 80) with a step of 70 at
// its left side, its baseline 68 above the inner one. The threshold is twice the larger of
// 30 + 5 x class and the lower bound, at most 60; rows under 13 columns have no inner range
// and are not rescued.
TEST(RowDenoiseBody, EdgeColumnRescueTakesASideStepOutOfTheFreeNodes) {
  const struct {
    uint8_t width;
    uint16_t lowerBound;
    uint8_t free;
  } cases[] = {{32, 0, 29}, {32, 33, 29}, {32, 34, 32}, {12, 0, 12}};  // baseline drop 68: > 66, not > 68
  for (const auto& k : cases) {
    SCOPED_TRACE(testing::Message() << int{k.width} << " columns, bound " << k.lowerBound);
    Body b(1, k.width);
    b.Block().uwRescueLowerBound = k.lowerBound;
    b.At(0, 0) = 70;
    b.At(0, 1) = 70;
    b.Run();
    EXPECT_EQ(b.freeCount[0], k.free);
    EXPECT_EQ(b.Mark(0, 2), k.free == k.width ? kNodeFree : kNodeTouched);
    EXPECT_EQ(b.Mark(0, 3), kNodeFree);
    EXPECT_EQ(b.touch[0], k.free == k.width ? kNodeFree : 0);
  }
}

// After the network: the whole map is clustered at once; a finger blob is marked, quiet
// rows are free.
TEST(LcdDenoiseNetPost, MarksTheBlobAgainstTheMapBackground) {
  Body b(9, 32);
  for (uint32_t r = 0; r < 9; ++r)
    for (uint32_t c = 0; c < 32; ++c) b.At(r, c) = static_cast<int16_t>((r + c) % 5);
  for (uint32_t r = 3; r < 6; ++r)
    for (uint32_t c = 10; c < 13; ++c) b.At(r, c) = 500;
  b.Run(true);
  for (uint32_t r = 0; r < 9; ++r) {
    SCOPED_TRACE(r);
    const bool blobRow = r >= 3 && r < 6;
    EXPECT_EQ(b.touch[r], blobRow ? 0 : kNodeFree);
    EXPECT_EQ(b.freeCount[r], blobRow ? 29 : 32);
    if (blobRow) {
      EXPECT_EQ(b.Mark(r, 11), kNodeTouched);
      EXPECT_EQ(b.Mark(r, 20), kNodeFree);
    }
  }
}

TEST(MergeNearClusters, CloseLevelsJoinTheMiddle) {
  const std::vector<int16_t> v = {-60, -20, 0, 10, 25, 40};
  const struct {
    std::array<int16_t, 3> centres;
    std::array<uint8_t, 6> ids;
  } cases[] = {
      // L + 50 > C and C + 30 > U: low values above C - 100 and upper ones below C + 30 join.
      {{-40, 0, 25}, {1, 1, 1, 1, 1, 2}},
      // Far apart: nothing moves.
      {{-100, 0, 100}, {0, 0, 1, 1, 2, 2}},
  };
  for (const auto& k : cases) {
    std::array<uint8_t, 6> ids = {0, 0, 1, 1, 2, 2};
    std::array<uint16_t, 3> counts = {2, 2, 2};
    MergeNearClusters(v.data(), ids.data(), k.centres.data(), counts.data(), 1, 6);
    EXPECT_EQ(ids, k.ids);
    uint16_t inMiddle = 0;
    for (uint8_t id : ids) inMiddle = static_cast<uint16_t>(inMiddle + (id == 1 ? 1 : 0));
    EXPECT_EQ(counts[1], inMiddle);
    EXPECT_EQ(counts[0] + counts[1] + counts[2], 6);
  }
}

}  // namespace
