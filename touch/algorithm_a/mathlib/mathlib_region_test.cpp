// Region search on small hand-worked maps.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#include "mathlib.h"

namespace {

constexpr uint8_t kFree = 255;

// A map under test with its label map and a record buffer, searched with the factors the
// region stage uses (28, 40, 16, 48, 14).
struct RegionFixture {
  uint8_t rows;
  uint8_t cols;
  std::vector<int16_t> map;
  std::vector<uint8_t> labels;
  RegionSearchParam param{};
  std::vector<RegionSearchRecord> regions;
  uint8_t count = 77;
  uint16_t score = 7777;

  RegionFixture(uint8_t r, uint8_t c, uint8_t maxRegions = 12)
      : rows(r), cols(c), map(r * c, 0), labels(r * c, 0xAA), regions(maxRegions) {
    param.pubLabelMap = labels.data();
    param.uiRowMaskLow = 0xFFFFFFFFu;
    param.uiRowMaskHigh = 0xFFFFFFFFu;
    param.swSeedThreshold = 50;
    param.ubRows = r;
    param.ubCols = c;
    param.ubMaxRegions = maxRegions;
    param.ubSaddleFactor = 28;
    param.ubDiagStrongFactor = 40;
    param.ubDiagWeakFactor = 16;
    param.ubOrthStrongFactor = 48;
    param.ubOrthWeakFactor = 14;
    param.uiKeepLines = 1;
    param.uiLookAhead = 1;
    memset(regions.data(), 0x5A, regions.size() * sizeof(RegionSearchRecord));
  }
  int16_t& At(int r, int c) { return map[r * cols + c]; }
  uint8_t LabelAt(int r, int c) const { return labels[r * cols + c]; }
  uint32_t Run() { return LibXpu2RegionSearch(map.data(), &count, &score, &param, regions.data()); }
};

void ExpectRegion(const RegionSearchRecord& r, std::vector<int> box, int peak, int peakRow, int peakCol, int score,
                  int nodes) {
  EXPECT_EQ(std::vector<int>({r.ubTop, r.ubBottom, r.ubLeft, r.ubRight}), box);
  EXPECT_EQ(r.swPeak, peak);
  EXPECT_EQ(r.ubPeakRow, peakRow);
  EXPECT_EQ(r.ubPeakCol, peakCol);
  EXPECT_EQ(r.uwScore, score);
  EXPECT_EQ(r.uwNodeCount, nodes);
}

bool IsInitial(const RegionSearchRecord& r) {
  return r.ubTop == 255 && r.ubBottom == 255 && r.ubLeft == 255 && r.ubRight == 255 && r.swPeak == 0 &&
         r.ubPeakRow == 255 && r.ubPeakCol == 255 && r.uwScore == 0 && r.uwNodeCount == 0;
}

TEST(RegionSearch, NothingAboveThresholdLeavesEmptyResult) {
  RegionFixture f(4, 5);
  f.At(1, 1) = 49;
  EXPECT_EQ(f.Run(), 0u);
  EXPECT_EQ(f.count, 0);
  EXPECT_EQ(f.score, 0);
  for (uint8_t l : f.labels) EXPECT_EQ(l, kFree);
  for (const auto& r : f.regions) EXPECT_TRUE(IsInitial(r));
}

TEST(RegionSearch, PeakWithWeakRingIsOneRegion) {
  // Thresholds at the peak 100: saddle 43, diagonal 62 / 25, orthogonal 75 / 21; the ring
  // joins weakly (one point each) and is not grown further.
  RegionFixture f(5, 5);
  const int16_t rows[3][3] = {{40, 60, 40}, {60, 100, 60}, {40, 60, 40}};
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) f.At(r + 1, c + 1) = rows[r][c];
  ASSERT_EQ(f.Run(), 0u);
  EXPECT_EQ(f.count, 1);
  EXPECT_EQ(f.score, 8);
  ExpectRegion(f.regions[0], {1, 3, 1, 3}, 100, 2, 2, 8, 9);
  for (int r = 0; r < 5; ++r)
    for (int c = 0; c < 5; ++c) EXPECT_EQ(f.LabelAt(r, c), (r >= 1 && r <= 3 && c >= 1 && c <= 3) ? 0 : kFree);
}

TEST(RegionSearch, PlateauSeedsOnceAndGrowsOverEqualNeighbours) {
  RegionFixture f(2, 2);
  f.map = {50, 50, 50, 50};
  ASSERT_EQ(f.Run(), 0u);
  EXPECT_EQ(f.count, 1);
  // Every node lies on two borders (4 points each) and the three strong joins add 3 each.
  ExpectRegion(f.regions[0], {0, 1, 0, 1}, 50, 0, 0, 25, 4);
  for (uint8_t l : f.labels) EXPECT_EQ(l, 0);
}

TEST(RegionSearch, LineShapedRegionsDependOnKeepLines) {
  struct Case {
    int width;
    uint32_t keepLines;
    int count;
    int score;
  };
  // A one-row plateau of width w grows by strong joins of 3 points each.
  for (const Case& k : {Case{6, 0, 0, 15}, Case{6, 1, 1, 15}, Case{5, 0, 1, 12}}) {
    SCOPED_TRACE(k.width * 10 + k.keepLines);
    RegionFixture f(3, 8);
    f.param.uiKeepLines = k.keepLines;
    for (int c = 1; c <= k.width; ++c) f.At(1, c) = 100;
    ASSERT_EQ(f.Run(), 0u);
    EXPECT_EQ(f.count, k.count);
    EXPECT_EQ(f.score, k.score);
    if (k.count == 1) {
      ExpectRegion(f.regions[0], {1, 1, 1, k.width}, 100, 1, 1, k.score, k.width);
      EXPECT_EQ(f.LabelAt(1, k.width), 0);
    } else {
      EXPECT_TRUE(IsInitial(f.regions[0]));
      for (uint8_t l : f.labels) EXPECT_EQ(l, kFree);
    }
  }
}

TEST(RegionSearch, RejectedLineGivesItsLabelToTheNextRegion) {
  RegionFixture f(3, 12);
  f.param.uiKeepLines = 0;
  for (int c = 1; c <= 6; ++c) f.At(1, c) = 100;
  f.At(1, 9) = 90;
  ASSERT_EQ(f.Run(), 0u);
  EXPECT_EQ(f.count, 1);
  EXPECT_EQ(f.score, 15);  // the rejected line's score still counts
  ExpectRegion(f.regions[0], {1, 1, 9, 9}, 90, 1, 9, 0, 1);
  EXPECT_EQ(f.LabelAt(1, 9), 0);
  for (int c = 1; c <= 6; ++c) EXPECT_EQ(f.LabelAt(1, c), kFree);
}

TEST(RegionSearch, StopsAtMaximumRegions) {
  RegionFixture f(3, 9, 1);
  f.At(1, 1) = 100;
  f.At(1, 7) = 120;
  ASSERT_EQ(f.Run(), 0u);
  EXPECT_EQ(f.count, 1);
  ExpectRegion(f.regions[0], {1, 1, 1, 1}, 100, 1, 1, 0, 1);
  EXPECT_EQ(f.LabelAt(1, 7), kFree);
}

TEST(RegionSearch, RegionsPastFifteenAreCountedWithoutRecords) {
  RegionFixture f(3, 36, 20);
  for (int k = 0; k < 17; ++k) f.At(1, 2 * k + 1) = static_cast<int16_t>(100 + k);
  ASSERT_EQ(f.Run(), 0u);
  EXPECT_EQ(f.count, 17);
  for (int k = 0; k < 15; ++k) {
    ExpectRegion(f.regions[k], {1, 1, 2 * k + 1, 2 * k + 1}, 100 + k, 1, 2 * k + 1, 0, 1);
    EXPECT_EQ(f.LabelAt(1, 2 * k + 1), k);
  }
  for (int k = 15; k < 20; ++k) EXPECT_TRUE(IsInitial(f.regions[k]));
  EXPECT_EQ(f.LabelAt(1, 31), kFree);
  EXPECT_EQ(f.LabelAt(1, 33), kFree);
}

TEST(RegionSearch, PendingQueueIsBounded) {
  // A comb of equal values: a spine along row 0 and a tooth down every other column. Grown
  // from the corner, every tooth keeps one node pending, so the pending nodes outgrow the 30
  // slots; a node accepted then is labelled but not grown from, and the tooth or spine that
  // only it leads to is left to later seeds. Unbounded, the comb would be one region.
  // Teeth of 63 nodes: about 32 of them grow at once.
  RegionFixture f(64, 130, 12);
  int plateau = 0;
  for (int c = 0; c < 130; ++c) {
    f.At(0, c) = 100;
    ++plateau;
    if (c % 2 != 0) continue;
    for (int r = 1; r < 64; ++r, ++plateau) f.At(r, c) = 100;
  }
  ASSERT_EQ(f.Run(), 0u);
  EXPECT_GT(f.count, 1);
  EXPECT_LT(f.regions[0].uwNodeCount, plateau);
  EXPECT_EQ(f.regions[0].ubTop, 0);
  EXPECT_EQ(f.regions[0].ubLeft, 0);
}

TEST(RegionSearch, RowMaskSelectsSeedRows) {
  RegionFixture f(64, 2);
  f.At(1, 0) = 100;
  f.At(63, 1) = 80;
  f.param.uiRowMaskLow = 0;            // row 1 may not seed
  f.param.uiRowMaskHigh = 1u << 31;    // row 63 may
  ASSERT_EQ(f.Run(), 0u);
  EXPECT_EQ(f.count, 1);
  EXPECT_EQ(f.regions[0].ubPeakRow, 63);
  EXPECT_EQ(f.LabelAt(1, 0), kFree);
}

TEST(RegionSearch, RefusesWhatItCannotAddress) {
  // More rows than the row mask can name: refused before anything is written.
  RegionFixture tall(65, 2);
  tall.At(64, 0) = 100;
  EXPECT_EQ(tall.Run(), 0x040201u);
  EXPECT_EQ(tall.count, 77);
  EXPECT_EQ(tall.score, 7777);
  EXPECT_EQ(tall.labels[0], 0xAA);
  EXPECT_EQ(tall.regions[0].ubTop, 0x5A);

  RegionFixture f(3, 3);
  uint8_t count = 9;
  uint16_t score = 9;
  EXPECT_EQ(LibXpu2RegionSearch(nullptr, &count, &score, &f.param, f.regions.data()), 0x040202u);
  EXPECT_EQ(LibXpu2RegionSearch(f.map.data(), nullptr, &score, &f.param, f.regions.data()), 0x040202u);
  EXPECT_EQ(LibXpu2RegionSearch(f.map.data(), &count, nullptr, &f.param, f.regions.data()), 0x040202u);
  EXPECT_EQ(LibXpu2RegionSearch(f.map.data(), &count, &score, nullptr, f.regions.data()), 0x040202u);
  EXPECT_EQ(LibXpu2RegionSearch(f.map.data(), &count, &score, &f.param, nullptr), 0x040202u);
  f.param.pubLabelMap = nullptr;
  EXPECT_EQ(LibXpu2RegionSearch(f.map.data(), &count, &score, &f.param, f.regions.data()), 0x040202u);
  EXPECT_EQ(count, 9);
  EXPECT_EQ(score, 9);
}

// A finger on a map of 9 x 11 nodes: a round fingertip, a finger laid along its length at
// DEGREES (spread ALONG it and ACROSS), or two lobes LOBES apart along that length, the
// second WEAKER times the first (two fingertips when both spreads are a fingertip's and
// WEAKER is 1); scaled so that its highest node is 700.
struct LaidBlob {
  double r, c, degrees, along, across, lobes, weaker;
  double At(int y, int x) const {
    const double t = degrees * std::numbers::pi / 180;
    const double l = (y - r) * std::sin(t) + (x - c) * std::cos(t);
    const double a = -(y - r) * std::cos(t) + (x - c) * std::sin(t);
    auto lobe = [&](double m) { return std::exp(-(l - m) * (l - m) / (2 * along * along)); };
    return std::exp(-a * a / (2 * across * across)) * (lobe(lobes / 2) + weaker * lobe(-lobes / 2));
  }
};

// A diagonal step joins strongly whenever the diagonal node exceeds the strong fraction of
// the node it starts from (both flanks lower than that node and carrying the saddle
// fraction): the search follows a ridge of nodes. One blob, round or laid along a diagonal
// however narrow across, keeps every node of that ridge; two fingertips 3.5 nodes apart on
// a diagonal leave a ridge of nodes between them, each step along it falling little, and
// are one region (the region stage cuts such a pair where one of them is a held finger).
// Factors of the region stage while a touch is down (28, 44, 28, 52, 14).
TEST(RegionSearch, DiagonalStepsFollowARidgeOfNodes) {
  // The nodes of two fingertips of spread 1.0 and peak 700, 3.5 nodes apart at 45 degrees,
  // the first at (1.22, 1.37): tops 639 at (1, 1) and 660 at (4, 4).
  static const int16_t kRidge[7][8] = {
      {130, 311, 274, 89, 11, 1, 0, 0},  {267, 639, 564, 194, 40, 11, 2, 0}, {202, 484, 453, 254, 181, 87, 16, 1},
      {56, 143, 218, 423, 549, 283, 54, 4}, {6, 25, 134, 471, 660, 343, 66, 5}, {0, 6, 55, 208, 294, 153, 29, 2},
      {0, 1, 9, 34, 48, 25, 5, 0},
  };
  struct Case {
    const char* name;
    int ridge;  // 0: the blob; 1: kRidge at rows 1.., columns 1..; -1: kRidge mirrored
    LaidBlob blob;
    int regions;
    int nodes;  // the first region's node count, 0: not checked
  };
  static const Case kCases[] = {
      {"two fingertips 3.5 nodes apart at 45 degrees", 1, {}, 1, 0},
      {"the same at 135 degrees", -1, {}, 1, 0},
      {"two fingertips of spread 1.1, 3.5 nodes apart at 45 degrees", 0, {4.467, 5.412, 45, 1.1, 1.1, 3.5, 1}, 1, 0},
      {"the same at 135 degrees", 0, {4.467, 5.412, 135, 1.1, 1.1, 3.5, 1}, 1, 0},
      {"a round fingertip of spread 1.1", 0, {4.3, 5.2, 45, 1.1, 1.1, 0, 0}, 1, 0},
      {"a finger laid at 45 degrees, spread 1.6 along, 0.9 across", 0, {4.3, 5.2, 45, 1.6, 0.9, 0, 0}, 1, 0},
      {"a finger laid at 135 degrees, spread 2.0 along, 1.0 across", 0, {4.3, 5.2, 135, 2.0, 1.0, 0, 0}, 1, 0},
      {"a finger laid at 45 degrees, spread 3.0 along, 0.8 across", 0, {4.3, 5.2, 45, 3.0, 0.8, 0, 0}, 1, 16},
      {"a thumb at 45 degrees, lobes 2.5 apart, spread 1.0, weaker 85 %", 0, {4.3, 5.2, 45, 1.0, 1.0, 2.5, 0.85}, 1, 0},
      {"a thumb at 135 degrees, lobes 3 apart, spread 1.1, weaker 80 %", 0, {4.3, 5.2, 135, 1.1, 1.1, 3.0, 0.8}, 1, 0},
  };
  for (const Case& k : kCases) {
    SCOPED_TRACE(k.name);
    RegionFixture f(9, 11);
    f.param.ubDiagStrongFactor = 44;
    f.param.ubDiagWeakFactor = 28;
    f.param.ubOrthStrongFactor = 52;
    if (k.ridge != 0) {
      for (int r = 0; r < 7; ++r)
        for (int c = 0; c < 8; ++c) f.At(r + 1, k.ridge > 0 ? c + 1 : 9 - c) = kRidge[r][c];
    } else {
      double top = 0;
      for (int r = 0; r < 9; ++r)
        for (int c = 0; c < 11; ++c) top = std::max(top, k.blob.At(r, c));
      for (int r = 0; r < 9; ++r)
        for (int c = 0; c < 11; ++c) f.At(r, c) = static_cast<int16_t>(700 * k.blob.At(r, c) / top);
    }
    ASSERT_EQ(f.Run(), 0u);
    EXPECT_EQ(f.count, k.regions);
    if (k.nodes != 0) {
      EXPECT_GE(f.regions[0].uwNodeCount, k.nodes);
      EXPECT_GE(f.regions[0].ubBottom - f.regions[0].ubTop, 5);
      EXPECT_GE(f.regions[0].ubRight - f.regions[0].ubLeft, 5);
    }
    if (k.ridge == 0) continue;
    // Both tops lie in the one region, whose peak is the higher.
    const int c1 = k.ridge > 0 ? 2 : 8;
    EXPECT_EQ(f.regions[0].swPeak, 660);
    EXPECT_EQ(f.LabelAt(2, c1), 0);
    EXPECT_EQ(f.LabelAt(5, 5), 0);
  }
}

}  // namespace
