// Region library: worked numbers of the geometry, the square root, the CORDIC angle and
// orientation, the special-area list and the LibAndr statistics.
#include "region_lib.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "coord_records.h"
#include "region_proc.h"

namespace {

RegionRect Rect(uint8_t r0, uint8_t r1, uint8_t c0, uint8_t c1) { return RegionRect{r0, r1, c0, c1}; }

TEST(RegionGeometry, WorkedRectangles) {
  EXPECT_EQ(RegionRectWord(CalcAllRect(nullptr, 0)), kRegionRectEmptyBound);
  const RegionRect one[] = {Rect(2, 4, 7, 9)};
  EXPECT_EQ(RegionRectWord(CalcAllRect(one, 1)), 0x09070402u);
  const RegionRect two[] = {Rect(2, 4, 7, 9), Rect(1, 3, 8, 12)};
  EXPECT_EQ(RegionRectWord(CalcAllRect(two, 2)), RegionRectWord(Rect(1, 4, 7, 12)));
  EXPECT_EQ(CalcRectCoverSize(Rect(0, 2, 0, 2), Rect(2, 4, 2, 4)), 1u);
  EXPECT_EQ(CalcRectCoverSize(Rect(0, 2, 0, 2), Rect(3, 4, 0, 2)), 0u);
  EXPECT_EQ(CalcRectCoverSize(Rect(0, 3, 0, 3), Rect(1, 2, 1, 5)), 6u);
  EXPECT_EQ(GetRectAdjacentLength(Rect(1, 3, 0, 2), Rect(0, 5, 3, 4)), 53);
  EXPECT_EQ(GetRectAdjacentLength(Rect(0, 1, 0, 4), Rect(2, 3, 3, 6)), 2);
  EXPECT_EQ(GetRectAdjacentLength(Rect(0, 1, 0, 4), Rect(0, 1, 3, 6)), 0);
  EXPECT_EQ(RegionRectWord(ExpandRect(Rect(0, 7, 0, 9), 8, 10)), RegionRectWord(Rect(0, 7, 0, 9)));
  EXPECT_EQ(RegionRectWord(ExpandRect(Rect(3, 4, 3, 4), 8, 10)), RegionRectWord(Rect(2, 5, 2, 5)));
}

TEST(RegionGeometry, InclusionOverlapAxesAndProfileSpan) {
  struct Case {
    RegionRect a, b;
    uint8_t include, axes;
  } cases[] = {
      {Rect(1, 5, 1, 5), Rect(2, 3, 2, 3), 1, 3},  {Rect(1, 5, 1, 5), Rect(1, 5, 1, 5), 1, 3},
      {Rect(2, 3, 2, 3), Rect(1, 5, 1, 5), 0, 3},  {Rect(0, 2, 0, 2), Rect(1, 4, 5, 6), 0, 1},
      {Rect(0, 2, 0, 2), Rect(4, 5, 1, 1), 0, 2},  {Rect(0, 2, 0, 2), Rect(3, 4, 3, 4), 0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RectIsInclude(c.a, c.b), c.include) << std::hex << RegionRectWord(c.a) << " " << RegionRectWord(c.b);
    EXPECT_EQ(GetRectOverlapAxes(c.a, c.b), c.axes) << std::hex << RegionRectWord(c.a) << " " << RegionRectWord(c.b);
  }
  const uint16_t profile[] = {3, 40, 9, 55, 7, 41, 2};
  uint8_t first = 0, last = 0;
  EXPECT_EQ(GetProfileSpanOverThr(profile, 7, 39, &first, &last), 55);
  EXPECT_EQ(first, 1);
  EXPECT_EQ(last, 5);
  EXPECT_EQ(GetProfileSpanOverThr(profile, 7, 55, &first, &last), 55) << "the maximum of the whole profile";
  EXPECT_EQ(first, 255);
  EXPECT_EQ(last, 255);
  guwNotMuchOutCnt = 321;
  EXPECT_EQ(GetNotMuchOutCnt(), 321);
  guwNotMuchOutCnt = 0;
}

TEST(RegionArithmetic, VectorLengthAndAngleTableReads) {
  struct Case {
    int16_t x, y;
    uint32_t length;
  } cases[] = {{3, 4, 5}, {-3, 4, 5}, {1, 1, 1}, {-32768, -32768, 46340}, {32767, 0, 32767}};
  for (const Case& c : cases) EXPECT_EQ(CalcVectorLength(c.x, c.y), c.length) << c.x << "," << c.y;
  EXPECT_EQ(GetSinQ10(30), 512);
  EXPECT_EQ(GetCosQ10(120), -512);
  EXPECT_EQ(GetSinQ10(179), 17);
  EXPECT_EQ(GetCosQ10(180), 0) << "no entry";
  EXPECT_EQ(GetSinQ10(-1), 0) << "no entry";
}

// Peaks at 5 (100) and 10 (90) with the valley at 7 (20): the deeper side gives 80. A
// valley strong in the second profile (more than 7/8 of a peak's) does not count, and a
// depth handed in that is already deeper stays.
TEST(RegionProfile, PairLoopOfTheValleyDepth) {
  struct Case {
    const char* name;
    uint16_t valleyWeight;
    int16_t depthIn;
    int16_t depth;
    uint8_t valley;
  } cases[] = {
      {"a clear valley", 100, 0, 80, 7},
      {"a valley strong in the second profile", 300, 0, 0, 255},
      {"a deeper depth handed in", 100, 95, 95, 7},
  };
  for (const Case& c : cases) {
    int16_t p[40] = {};
    uint16_t w[40] = {};
    uint8_t marks[40] = {};
    for (int i = 4; i <= 11; ++i) p[i] = 60, w[i] = 300;
    p[5] = 100, p[10] = 90, p[7] = 20;
    marks[5] = marks[10] = 1;
    marks[7] = 2;
    w[7] = c.valleyWeight;
    int16_t depth = c.depthIn;
    uint8_t valley = 255;
    CalcPeakValleyDepth(p, w, marks, &depth, &valley);
    EXPECT_EQ(depth, c.depth) << c.name;
    EXPECT_EQ(valley, c.valley) << c.name;
  }
}

TEST(RegionArithmetic, IntegerSquareRoots) {
  struct Case {
    uint32_t v, root;
  } cases[] = {{0, 0}, {1, 1}, {3, 1}, {15, 3}, {16, 4}, {99, 9}, {1u << 30, 32768}, {4294967295u, 65535}};
  for (const Case& c : cases) EXPECT_EQ(CalcIntegerSqrt(c.v), c.root) << c.v;
}

TEST(RegionArithmetic, CordicAngleAndLength) {
  struct Case {
    int32_t y, x, angle, length;
  } cases[] = {
      {0, 0, 12868, 0},    {0, 5, 0, 5},          {-3, 0, -6434, 3},        {7, 0, 6434, 7},
      {1000, 1000, 3217, 1408}, {1000, -1000, 9651, 1408}, {-1000, -1000, -9651, 1408}, {-1000, 1000, -3217, 1408},
  };
  for (const Case& c : cases) {
    int32_t x = c.x;
    EXPECT_EQ(CordicAtan2(c.y, &x), c.angle) << c.y << "," << c.x;
    EXPECT_EQ(x, c.length) << c.y << "," << c.x;
  }
}

TEST(RegionArithmetic, OrientationOfLines) {
  struct Case {
    std::vector<std::pair<int, int>> nodes;
    int16_t degrees;
  } cases[] = {
      {{{1, 0}, {1, 1}, {1, 2}}, 0},     // along a row
      {{{0, 1}, {1, 1}, {2, 1}}, 90},    // along a column
      {{{0, 0}, {1, 1}, {2, 2}}, 45},    // falling diagonal
      {{{0, 2}, {1, 1}, {2, 0}}, 136},   // rising diagonal (truncation toward zero, then +180)
  };
  for (const Case& c : cases) {
    int16_t map[9] = {};
    for (auto [r, col] : c.nodes) map[r * 3 + col] = 100;
    map[0] = map[0] == 0 ? 24 : map[0];  // below 25: not counted
    EXPECT_EQ(CalcRegionOrientation(map, Rect(0, 2, 0, 2), 3), c.degrees);
  }
}

TEST(RegionLists, SpecialAreasHoldTwelveAndSlotsReleaseByRectangle) {
  memset(&gstSpecialArea, 0, sizeof(gstSpecialArea));
  const uint8_t params[5] = {30, 1, 2, 3, 4};
  for (int i = 0; i < 13; ++i) AddSpecialRectSet(0x01020304u + i, params);
  EXPECT_EQ(gstSpecialArea.ubCount, 12);
  EXPECT_EQ(gstSpecialArea.astEntry[11].uiRect, 0x01020304u + 11);
  EXPECT_EQ(gstSpecialArea.astEntry[0].ubBoost, 30);
  memset(&gstSpecialArea, 0, sizeof(gstSpecialArea));

  RegionAcquireStateInit(nullptr);
  gstRegionAcquireState.astSlot[4].stRect = Rect(1, 2, 1, 2);
  gstRegionAcquireState.astSlot[4].ubFrameCnt = 7;
  gstRegionAcquireState.astSlot[4].uwPeak = 300;
  gstCoordPair.aubSlotState[4] = 1;
  uint8_t flags[12] = {};
  uint32_t rects[12] = {};
  MarkSteadyTrackSlots(flags, rects);
  EXPECT_EQ(flags[4], 1);
  EXPECT_EQ(rects[4], RegionRectWord(Rect(1, 2, 1, 2)));
  EXPECT_EQ(flags[3], 0);
  ReleaseTrackSlotsByRect(RegionRectWord(Rect(1, 2, 1, 2)), 8, 8);
  EXPECT_EQ(gstRegionAcquireState.astSlot[4].ubId, 255);
  EXPECT_EQ(gstRegionAcquireState.astSlot[4].ubFrameCnt, 0);
  EXPECT_EQ(gstCoordPair.aubSlotState[4], 9);
  gstCoordPair.aubSlotState[4] = 0;
}

TEST(LibAndr, StatisticsAddressTheFirstExtremeAndSum) {
  const int16_t s[] = {5, -3, 7, -3, 7};
  ASSERT_EQ(LibAndrStatisticS16(s, 5), 0u);
  EXPECT_EQ(LibAndrGetMinData(), -3);
  EXPECT_EQ(LibAndrGetMinDataAddr(), &s[1]);
  EXPECT_EQ(LibAndrGetMaxData(), 7);
  EXPECT_EQ(LibAndrGetMaxDataAddr(), &s[2]);
  EXPECT_EQ(LibAndrGetAcc(), 13u);
  EXPECT_EQ(LibAndrStatisticS16(s, 0), 1u);  // nothing changes
  EXPECT_EQ(LibAndrGetAcc(), 13u);

  const uint16_t u[] = {40000, 2, 65535};
  ASSERT_EQ(LibAndrStatisticU16(u, 3), 0u);
  EXPECT_EQ(static_cast<uint16_t>(LibAndrGetMaxData()), 65535);
  EXPECT_EQ(static_cast<uint16_t>(LibAndrGetMinData()), 2);
  EXPECT_EQ(LibAndrGetAcc(), 105537u);

  const int16_t a[] = {32767, -32768, 10};
  const int16_t b[] = {-1, 1, 4};
  int16_t d[3];
  ASSERT_EQ(LibAndrSubS16(a, b, d, 3), 0u);
  EXPECT_EQ(d[0], -32768);  // 16-bit wrap
  EXPECT_EQ(d[1], 32767);
  EXPECT_EQ(d[2], 6);
  EXPECT_EQ(LibAndrGetMinDataAddr(), &d[0]);
  ASSERT_EQ(LibAndrAddConstS16(a, 1, d, 3), 0u);
  EXPECT_EQ(d[0], -32768);
  EXPECT_EQ(d[2], 11);
  uint8_t mask[3];
  ASSERT_EQ(LibAndrGtConstS16(a, 9, mask, 3), 0u);
  EXPECT_EQ(LibAndrGetAcc(), 2u);
  EXPECT_EQ(mask[1], 0);
}

TEST(RegionShadow, ProfilesScaleToFiveTwelveWithoutTurningSign) {
  struct Case {
    std::vector<int16_t> in, out;
  } cases[] = {
      {{16, -8, 4}, {512, -256, 128}},    // 524288 / 16 does not fit 16 bits: kept whole
      {{1, 0, -1}, {512, 0, -512}},
      {{1000, 500, -250}, {511, 255, -128}},
      {{0, 0, 0}, {0, 0, 0}},
  };
  for (const Case& c : cases) {
    std::vector<int16_t> out(c.in.size());
    NormalizeShadowProfile(c.in.data(), out.data(), static_cast<uint8_t>(c.in.size()));
    EXPECT_EQ(out, c.out);
  }
  // A 2 x 2 blob on a 6 x 6 map: rows 2-3 and columns 2-3 carry it; the row shadow peaks on
  // the blob rows, the column shadow on its columns (200 each: 2621 x 200 >> 10 = 511).
  std::vector<int16_t> diff(36, 0);
  diff[2 * 6 + 2] = diff[2 * 6 + 3] = diff[3 * 6 + 2] = diff[3 * 6 + 3] = 100;
  std::vector<int16_t> out(12, 7);
  CalcSumDiffShadowSub(RegionRectWord(Rect(2, 3, 2, 3)), 6, 6, diff.data(), out.data());
  EXPECT_EQ(out, (std::vector<int16_t>{0, 0, 511, 511, 0, 0, 0, 0, 511, 511, 0, 0}));
}

// A 5 x 5 grid: slot 1 owns node (2, 3) at 100; the candidate region of slot 2 fills rows
// 1-3, columns 0-1 (six nodes); the valley node is (2, 2).
struct ValleyCase {
  const char* what;
  uint16_t node;
  int16_t valley;       // diff at the valley node
  int16_t regionValue;  // diff on each labelled node of the region
  int16_t lastValue;    // diff on the region's last node
  int16_t secondLess;   // second map = diff - this on the region
  uint8_t labelled;     // how many region nodes carry slot 2 (the rest 255)
  uint8_t expect;
};

TEST(RegionValley, WeakRegionBehindAValleyJoinsTheSlot) {
  constexpr uint8_t kRows = 5, kCols = 5;
  const ValleyCase cases[] = {
      {"border node", 2 * kCols + 0, 10, 50, 50, 50, 6, 0},
      {"valley not 25 below the slot's neighbour", 2 * kCols + 2, 80, 50, 50, 50, 6, 0},
      {"weak by its sum", 2 * kCols + 2, 10, 50, 50, 50, 6, 1},
      {"strong sum and a large rise", 2 * kCols + 2, 10, 100, 100, 100, 6, 0},
      {"strong sum but a rise within the node level", 2 * kCols + 2, 10, 100, 100, 20, 6, 1},
      {"only labelled nodes count", 2 * kCols + 2, 10, 100, 100, 100, 3, 1},
      {"the sum is taken as s16", 2 * kCols + 2, 10, 11000, 10636, 1000, 6, 1},
  };
  const uint16_t uwLevelBak = gstRegionAcquireState.uwNodeLevel;
  gstRegionAcquireState.uwNodeLevel = 20;
  const RegionRect region = Rect(1, 3, 0, 1);
  for (const ValleyCase& c : cases) {
    std::vector<int16_t> diff(kRows * kCols, 0), second(kRows * kCols, 0);
    memset(gstRegionAcquireState.aubSlotLabel, kRegionLabelNone, sizeof(gstRegionAcquireState.aubSlotLabel));
    gstRegionAcquireState.aubSlotLabel[2 * kCols + 3] = 1;
    diff[2 * kCols + 3] = 100;
    diff[c.node] = c.valley;
    uint8_t labelled = 0;
    for (uint8_t r = region.ubRowStart; r <= region.ubRowEnd; ++r) {
      for (uint8_t col = region.ubColStart; col <= region.ubColEnd; ++col) {
        const uint16_t n = r * kCols + col;
        if (n == c.node) continue;
        const bool last = r == region.ubRowEnd && col == region.ubColEnd;
        diff[n] = last ? c.lastValue : c.regionValue;
        second[n] = static_cast<int16_t>(diff[n] - c.secondLess);
        if (labelled < c.labelled) {
          gstRegionAcquireState.aubSlotLabel[n] = 2;
          ++labelled;
        }
      }
    }
    EXPECT_EQ(JudgeValleyRectWeak(diff.data(), second.data(), RegionRectWord(region), c.node, 1, kRows, kCols),
              c.expect)
        << c.what;
  }
  // A neighbour of another slot does not count: with no neighbour of slot 3 the top is 0.
  std::vector<int16_t> diff(kRows * kCols, 0);
  diff[2 * kCols + 2] = -30;
  EXPECT_EQ(JudgeValleyRectWeak(diff.data(), diff.data(), RegionRectWord(region), 2 * kCols + 2, 3, kRows, kCols), 1);
  diff[2 * kCols + 2] = -20;
  EXPECT_EQ(JudgeValleyRectWeak(diff.data(), diff.data(), RegionRectWord(region), 2 * kCols + 2, 3, kRows, kCols), 0);
  memset(gstRegionAcquireState.aubSlotLabel, kRegionLabelNone, sizeof(gstRegionAcquireState.aubSlotLabel));
  gstRegionAcquireState.uwNodeLevel = uwLevelBak;
}

}  // namespace
