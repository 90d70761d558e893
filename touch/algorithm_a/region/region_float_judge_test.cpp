// Floating-finger judgement: the floating counter, the candidate records, their split at a
// profile valley, the large-copper collapse, the box shape tests and the floating region
// combination.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "region_fixture_test.h"

namespace {

using regiontest::Rect;

class FloatJudge : public regiontest::AcquireFixture {
 protected:
  void SetUp() override {
    Init(12, 12);
    ClearFloatState();
    memset(&gstNetFloatInfo, 0, sizeof(gstNetFloatInfo));
  }
  // A weak finger: a peak of 120 with shoulders of 60 on a 3 x 3 region, sunk in a ring of
  // -80 two nodes wide.
  void FloatingFinger() {
    Fill(Rect(2, 8, 2, 8), -80);
    Fill(Rect(4, 6, 4, 6), 60);
    D(5, 5) = 120;
    SetRegions({Rect(4, 6, 4, 6)});
  }
  std::vector<RegionRect> Records() const {
    std::vector<RegionRect> v;
    for (const FloatRegionRecord& r : gastFloatRegionRecord)
      if (RegionRectWord(r.stRect) != 0) v.push_back(r.stRect);
    return v;
  }
};

bool Has(const std::vector<RegionRect>& v, RegionRect r) {
  for (const RegionRect& x : v)
    if (RegionRectWord(x) == RegionRectWord(r)) return true;
  return false;
}

TEST_F(FloatJudge, CounterEntersOnTheTwelfthCountingFrameAndRunsDownOnlyWithoutTouches) {
  FloatingFinger();
  FloatJudgeInput in = FloatInput();
  in.ubTouchNum = 1;
  for (int i = 1; i <= 11; ++i) {
    RegionFloatPreJudge(&in);
    ASSERT_EQ(in.ubFloatCnt, i);
    EXPECT_EQ(in.ubFloatFlag, 0) << i;
  }
  EXPECT_EQ(in.ubMainRowSpan, 3);
  EXPECT_EQ(in.ubMainColSpan, 3);
  RegionFloatPreJudge(&in);
  EXPECT_EQ(in.ubFloatCnt, 250);
  EXPECT_EQ(in.ubFloatFlag, 1);

  // Held frames do not count; with a touch down they keep the state, without one it decays.
  in.ubHold = 1;
  RegionFloatPreJudge(&in);
  EXPECT_EQ(in.ubFloatCnt, 250);
  EXPECT_EQ(in.ubFloatFlag, 1);
  in.ubTouchNum = 0;
  RegionFloatPreJudge(&in);
  EXPECT_EQ(in.ubFloatCnt, 249);
  EXPECT_EQ(in.ubFloatFlag, 1);
  in.ubFloatCnt = 12;
  RegionFloatPreJudge(&in);
  EXPECT_EQ(in.ubFloatCnt, 11);
  EXPECT_EQ(in.ubFloatFlag, 0) << "below 12 the state is left";

  // A strong ordinary finger (no deep negative ring) does not count.
  in.ubHold = 0;
  in.ubFloatCnt = 3;
  in.swDiffMin = -20;
  RegionFloatPreJudge(&in);
  EXPECT_EQ(in.ubFloatCnt, 2);
}

TEST_F(FloatJudge, ResetPathClearsTheCounterWithoutRegionsOrWhenSwitchedOff) {
  FloatingFinger();
  for (int variant = 0; variant < 2; ++variant) {
    FloatJudgeInput in = FloatInput();
    in.ubFloatCnt = 250;
    gubLargeCopperCnt = 7;
    gstFloatOutPutCnt[0] = 9;
    if (variant == 0) in.ubCount = 0;
    else gstFloatSelfCfg.aubData[18] = 0x01;
    RegionFloatPreJudge(&in);
    EXPECT_EQ(in.ubFloatCnt, 0) << variant;
    EXPECT_EQ(in.ubFloatFlag, 0) << variant;
    EXPECT_EQ(gubLargeCopperCnt, 0) << variant;
    EXPECT_EQ(gstFloatOutPutCnt[0], 0) << variant;
    EXPECT_EQ(in.ubMainRowSpan, 255) << variant;
  }
}

TEST_F(FloatJudge, OutputCounterWrapsToZeroAfterItsLargestValue) {
  FloatingFinger();
  FloatJudgeInput in = FloatInput();
  in.ubTouchNum = 1;
  gstFloatOutPutCnt[0] = 65534;
  RegionFloatPreJudge(&in);
  EXPECT_EQ(gstFloatOutPutCnt[0], 65535);
  EXPECT_EQ(gstFloatOutPutCnt[2], 1);
  EXPECT_EQ(gstFloatOutPutCnt[3], 0);
  RegionFloatPreJudge(&in);
  EXPECT_EQ(gstFloatOutPutCnt[0], 0);
}

// Two row runs by four column runs: every run pair has a record of its own (an index of
// 3 x row run + column run would have written the fourth column of the first row run over
// the first of the second).
TEST_F(FloatJudge, EveryRowAndColumnRunPairGetsItsOwnCandidate) {
  Init(10, 16);
  ClearFloatState();
  std::vector<RegionRect> rects;
  for (uint8_t r0 : {1, 6})
    for (uint8_t c0 : {1, 5, 9, 13}) rects.push_back(Rect(r0, r0 + 1, c0, c0 + 1));
  for (const RegionRect& r : rects) Fill(r, 200);
  SetRegions(rects);
  FloatJudgeInput in = FloatInput();
  in.ubTouchNum = 8;
  RegionFloatPreJudge(&in);
  const std::vector<RegionRect> got = Records();
  EXPECT_EQ(got.size(), 8u);
  EXPECT_EQ(gubFloatAreaCnt, 8);
  for (const RegionRect& r : rects) EXPECT_TRUE(Has(got, r)) << int(r.ubRowStart) << "," << int(r.ubColStart);
  EXPECT_EQ(RegionRectWord(gastFloatRegionRecord[3].stRect), RegionRectWord(Rect(1, 2, 13, 14)));
  EXPECT_EQ(RegionRectWord(gastFloatRegionRecord[4].stRect), RegionRectWord(Rect(6, 7, 1, 2)));
}

// Rows 1..6 of columns 3..5 with profile values 100, 200, 40, 40, 200, 100: a valley at
// row 3 between two peaks.
TEST_F(FloatJudge, CandidateSplitsAtAValleyOnlyWithRegionsOnBothSides) {
  const int16_t rows[6] = {100, 200, 40, 40, 200, 100};
  for (int r = 0; r < 6; ++r) Fill(Rect(static_cast<uint8_t>(1 + r), static_cast<uint8_t>(1 + r), 3, 5), rows[r]);
  struct Case {
    const char* name;
    std::vector<RegionRect> regions;
    std::vector<RegionRect> records;
  } cases[] = {
      {"two regions", {Rect(1, 3, 3, 5), Rect(4, 6, 3, 5)}, {Rect(1, 3, 3, 5), Rect(4, 6, 3, 5)}},
      {"one region", {Rect(1, 6, 3, 5)}, {Rect(1, 6, 3, 5)}},
  };
  for (const Case& c : cases) {
    ClearFloatState();
    SetRegions(c.regions);
    FloatJudgeInput in = FloatInput();
    in.ubTouchNum = static_cast<uint8_t>(c.regions.size());
    RegionFloatPreJudge(&in);
    const std::vector<RegionRect> got = Records();
    ASSERT_EQ(got.size(), c.records.size()) << c.name;
    for (const RegionRect& r : c.records) EXPECT_TRUE(Has(got, r)) << c.name;
    EXPECT_EQ(gubFloatAreaCnt, c.records.size()) << c.name;
  }
}

// A flat plate of 150 over rows 3..8 and columns 4..11, found as three regions.
TEST_F(FloatJudge, LargeCopperPlateCollapsesIntoOneRegion) {
  Init(14, 16);
  struct Case {
    const char* name;
    int variant;
    bool collapse;
  } cases[] = {
      {"flat plate", 0, true},
      {"finger peak inside (spread)", 1, false},
      {"signal beyond its edge", 2, false},
      {"one-sided plate (balance)", 3, false},
      {"decision blocked", 4, false},
  };
  for (const Case& c : cases) {
    ClearFloatState();
    std::fill(diff_.begin(), diff_.end(), 0);
    Fill(Rect(3, 8, 4, 11), 150);
    if (c.variant == 1) D(5, 7) = 320;
    if (c.variant == 2) D(9, 6) = 120;
    if (c.variant == 3) Fill(Rect(3, 8, 8, 11), 20);
    SetRegions({Rect(3, 8, 4, 6), Rect(3, 8, 7, 8), Rect(3, 8, 9, 11)});
    FloatJudgeInput in = FloatInput();
    in.ubTouchNum = 1;
    in.ubLargeCopperBlock = c.variant == 4 ? 1 : 0;
    RegionFloatPreJudge(&in);
    EXPECT_EQ(in.ubCollapse, c.collapse ? 1 : 0) << c.name;
    if (!c.collapse) {
      EXPECT_EQ(in.ubCount, 3) << c.name;
      continue;
    }
    EXPECT_EQ(in.ubCount, 1);
    EXPECT_EQ(RegionRectWord(gstMutualRegion.astRect[0]), RegionRectWord(Rect(3, 8, 4, 11)));
    EXPECT_EQ(gstMutualRegion.auwPeak[0], 150);
    EXPECT_EQ(gstMutualRegion.auwPeak[1], 0);
    EXPECT_EQ(Label(3, 11), 0);
    EXPECT_EQ(Label(8, 9), 0);
    EXPECT_EQ(Label(2, 4), kRegionLabelNone);
    EXPECT_EQ(gubLargeCopperCnt, 1) << "one touch over a plate 8 wide counts";
  }
}

// A 3 x 9 main rectangle (rows 3-5, columns 2-10) of three regions: a left one from the
// main rectangle's first column, an inner one touching neither side, a right one to its
// last column. The large-copper frame count is past 15, so the path accepts the frame.
TEST_F(FloatJudge, ThreeRegionPathCutsTheSidesOfALongMainRectangle) {
  struct Case {
    const char* name;
    int variant;
    bool runs;
    uint8_t countAfter;
  } cases[] = {
      {"three regions", 0, true, 17},
      {"water blocks (count cleared)", 1, false, 0},
      {"two regions", 2, false, 16},
      {"four regions", 3, false, 16},
      {"main rectangle 15 rows high", 4, false, 16},
  };
  for (const Case& c : cases) {
    ClearFloatState();
    std::fill(diff_.begin(), diff_.end(), 0);
    std::vector<RegionRect> regions = {Rect(3, 5, 2, 5), Rect(3, 5, 4, 8), Rect(3, 5, 7, 10)};
    if (c.variant == 2) regions.pop_back();
    if (c.variant == 3) regions.push_back(Rect(9, 10, 9, 10));
    for (const RegionRect& r : regions) Fill(r, 200);
    D(4, 6) = 400;  // a peak: no flat plate
    SetRegions(regions);
    FloatJudgeInput in = FloatInput();
    in.ubTouchNum = 3;
    in.ubBlock = c.variant == 1 ? 1 : 0;
    if (c.variant == 4) in.stMainRect = Rect(0, 14, 2, 4);
    gstCoordPair.ubLargeCopperCnt = 16;
    RegionFloatPreJudge(&in);
    EXPECT_EQ(gstCoordPair.ubLargeCopperMark, c.runs ? 1 : 0) << c.name;
    EXPECT_EQ(gstCoordPair.ubLargeCopperCnt, c.countAfter) << c.name;
    EXPECT_EQ(in.ubCollapse, 0) << c.name;
    if (!c.runs) continue;
    EXPECT_EQ(RegionRectWord(gstMutualRegion.astRect[0]), RegionRectWord(Rect(3, 5, 2, 4)));
    EXPECT_EQ(RegionRectWord(gstMutualRegion.astRect[1]), RegionRectWord(Rect(3, 5, 5, 7)));
    EXPECT_EQ(RegionRectWord(gstMutualRegion.astRect[2]), RegionRectWord(Rect(3, 5, 8, 10)));
  }
}

// The elongation code of a floating frame from the main spans.
TEST_F(FloatJudge, ElongationFollowsTheLongSideOfTheMainRectangle) {
  FloatingFinger();
  struct Case {
    RegionRect main;
    uint8_t code;
  } cases[] = {{Rect(2, 6, 0, 9), 1}, {Rect(1, 10, 2, 6), 2}, {Rect(2, 6, 0, 8), 0}, {Rect(0, 10, 0, 9), 0}};
  for (const Case& c : cases) {
    ClearFloatState();
    FloatJudgeInput in = FloatInput();
    in.stMainRect = c.main;
    in.ubFloatCnt = 5;
    RegionFloatPreJudge(&in);
    EXPECT_EQ(in.ubElong, c.code) << int(c.main.ubRowEnd) << "x" << int(c.main.ubColEnd);
  }
}

// A 9 x 9 ring (border band 100, middle band 30, quiet core, negative corners) at rows and
// columns 2..10: the floating signature of class 3. A record that stays still keeps the
// class of last frame's record in the next frame, one whose signal moved does not.
TEST_F(FloatJudge, RingCandidateGetsAFloatingClassThatAStillRecordKeeps) {
  Init(14, 14);
  ClearFloatState();
  for (int r = 0; r < 9; ++r) {
    for (int c = 0; c < 9; ++c) {
      const int d = std::min(std::min(r, 8 - r), std::min(c, 8 - c));
      D(2 + r, 2 + c) = d < 2 ? 100 : d < 4 ? 30 : 0;
    }
  }
  D(2, 2) = D(2, 10) = D(10, 2) = D(10, 10) = -100;
  SetRegions({Rect(2, 10, 2, 10)});
  std::vector<int16_t> second = diff_;
  FloatJudgeInput in = FloatInput();
  in.pswSecond = second.data();
  in.ubHold = 1;
  in.ubTouchNum = 0;
  RegionFloatPreJudge(&in);
  ASSERT_EQ(Records().size(), 1u);
  EXPECT_EQ(gastFloatRegionRecord[0].ubClass, 3);
  EXPECT_EQ(in.ubFloatFinger, 1);
  EXPECT_EQ(in.ubFloatCnt, 1) << "a floating class starts the counter";

  // One touch on one region with the counter at 0 judges no class of its own.
  struct Case {
    const char* name;
    bool moved;
    uint8_t cls;
  } cases[] = {{"still: last frame's class", false, 3}, {"moved: none", true, 0}};
  for (const Case& c : cases) {
    in.ubFloatCnt = 0;
    in.ubTouchNum = 1;
    second = diff_;
    if (c.moved) second[6 * cols_ + 6] = 60;
    RegionFloatPreJudge(&in);
    EXPECT_EQ(gastFloatRegionRecord[0].ubSideCode, 0) << c.name;
    EXPECT_EQ(gastFloatRegionRecord[0].ubStable, c.moved ? 0 : 1) << c.name;
    EXPECT_EQ(gastFloatRegionRecord[0].ubClass, c.cls) << c.name;
  }
}

TEST_F(FloatJudge, ShallowValleyProfiles) {
  struct Case {
    std::vector<uint16_t> p;
    uint8_t want;
  } cases[] = {
      {{0, 500, 50, 500, 0}, 0},   // a dip of more than 400 on both sides
      {{0, 300, 250, 320, 0}, 1},
      {{}, 1},                     // all zero
      {{0, 300, 400}, 1},          // two non-zero entries only
      {{0, 900, 800, 100, 800, 0}, 0},  // 600 below the largest
  };
  for (const Case& c : cases) {
    uint16_t p[kProfileLen] = {};
    for (size_t i = 0; i < c.p.size(); ++i) p[i] = c.p[i];
    EXPECT_EQ(JudgeProfileShallowValley(p), c.want) << ::testing::PrintToString(c.p);
  }
}

TEST_F(FloatJudge, BoxShapeRejectsLargeOrSilentBoxes) {
  {
    FloatingFinger();
    FloatJudgeThrLoad();
    FloatJudgeInput in = FloatInput();
    EXPECT_EQ(JudgeFloatBoxShape(&in, RegionRectWord(Rect(0, 15, 0, 3)), 0), 0) << "16 high";
    Init(20, 20);
    FloatJudgeInput big = FloatInput();
    big.pstRect = gstMutualRegion.astRect;
    big.puwKeep = gstMutualRegion.auwPeak;
    EXPECT_EQ(JudgeFloatBoxShape(&big, RegionRectWord(Rect(2, 5, 2, 17)), 255), 0) << "16 wide";
    EXPECT_EQ(JudgeFloatBoxShape(&big, RegionRectWord(Rect(2, 6, 2, 6)), 0), 0) << "no sample above 25";
  }
}

class FloatCombine : public regiontest::AcquireFixture {
 protected:
  void SetUp() override {
    Init(10, 12);
    ClearFloatState();
    uint8_t* cfg = gstFloatSelfCfg.aubData;
    cfg[8] = 30;   // merge distance
    cfg[10] = 0x90;
    cfg[11] = 0x01;  // strength limit 400
    cfg[12] = 30;  // single-peak rise
  }
  FloatCombineInput Input() {
    FloatCombineInput in;
    memset(&in, 0, sizeof(in));
    in.ubMode = 1;
    in.ubMainRowSpan = 4;
    in.ubMainColSpan = 4;
    in.ubRows = rows_;
    in.ubCols = cols_;
    in.uwNegThreshold = 100;
    in.pswNodeMap = diff_.data();
    in.pswProfile = profile_.data();  // flat: one peak on every line
    in.pstRect = gstMutualRegion.astRect;
    in.puwKeep = gstMutualRegion.auwPeak;
    in.puwSecond = gstMutualRegion.auwPeakPos;
    in.puwThird = gstMutualRegion.auwWaterValue;
    in.pubLabelMap = gaubRegionLabelMap;
    in.ubCount = gstMutualRegion.ubRegionNum;
    return in;
  }
  std::vector<int16_t> profile_ = std::vector<int16_t>(10 + 12, 0);
};

// Two weak regions A (rows 3-5, columns 2-3) and B (rows 4-6, columns 4-5); the nodes of
// their union outside A can be made negative.
TEST_F(FloatCombine, NearbyWeakRegionsMergeUnlessTheUnionIsMostlyNegative) {
  struct Case {
    const char* name;
    int negatives;   // nodes of the union outside A set to -80
    uint16_t keepA;
    uint8_t rise;    // configuration byte 12
    bool merge;
  } cases[] = {
      {"weak pair", 0, 60, 30, true},
      {"six negatives (ni + 6 = nu)", 6, 60, 30, true},
      {"seven negatives over 40 %", 7, 60, 30, false},
      {"switched off", 0, 60, 0, false},
      {"both strong", 0, 500, 30, false},
  };
  const std::pair<int, int> outside[] = {{3, 4}, {3, 5}, {6, 2}, {6, 3}, {4, 4}, {5, 4}, {6, 4}};
  for (const Case& c : cases) {
    std::fill(diff_.begin(), diff_.end(), 0);
    Fill(Rect(3, 5, 2, 3), 60);
    Fill(Rect(4, 6, 4, 5), 60);
    for (int i = 0; i < c.negatives; ++i) D(outside[i].first, outside[i].second) = -80;
    SetRegions({Rect(3, 5, 2, 3), Rect(4, 6, 4, 5)});
    gstMutualRegion.auwPeak[0] = c.keepA;
    if (c.keepA > 400) gstMutualRegion.auwPeak[1] = 450;
    gstFloatSelfCfg.aubData[12] = c.rise;
    FloatCombineInput in = Input();
    RegionFloatCombine(&in);
    if (!c.merge) {
      EXPECT_EQ(in.ubCount, 2) << c.name;
      EXPECT_EQ(RegionRectWord(gstMutualRegion.astRect[1]), RegionRectWord(Rect(4, 6, 4, 5))) << c.name;
      continue;
    }
    EXPECT_EQ(in.ubCount, 1) << c.name;
    EXPECT_EQ(RegionRectWord(gstMutualRegion.astRect[0]), RegionRectWord(Rect(3, 6, 2, 5))) << c.name;
    EXPECT_EQ(gstMutualRegion.auwPeak[1], 0) << c.name;
    EXPECT_EQ(Label(6, 5), 0) << c.name << ": the merged region keeps index 0";
  }
}

TEST_F(FloatCombine, FarRegionsAndManyRegionsOfALargeMainRegionStayApart) {
  Fill(Rect(1, 2, 1, 2), 60);
  Fill(Rect(7, 8, 8, 9), 60);
  SetRegions({Rect(1, 2, 1, 2), Rect(7, 8, 8, 9)});
  FloatCombineInput in = Input();
  RegionFloatCombine(&in);
  EXPECT_EQ(in.ubCount, 2) << "too far apart";

  std::vector<RegionRect> six;
  for (uint8_t i = 0; i < 6; ++i) six.push_back(Rect(i, i, 2, 3));
  std::fill(diff_.begin(), diff_.end(), 0);
  SetRegions(six);
  for (uint8_t span : {11, 255}) {
    in = Input();
    in.ubMainRowSpan = span;
    RegionFloatCombine(&in);
    EXPECT_EQ(in.ubCount, 6) << int(span);
  }
}

}  // namespace
