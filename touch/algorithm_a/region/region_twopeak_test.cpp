// Profiles, the floating rectangle routines and the two-peak judgement on hand-made maps.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "region_fixture_test.h"
#include "region_float.h"
#include "region_lib.h"
#include "region_proc.h"

namespace {

using regiontest::AcquireFixture;
using regiontest::Rect;

// ---- Profiles ---------------------------------------------------------------------------

TEST(RegionProfile, ValleyDepthTable) {
  struct Case {
    const char* name;
    std::vector<int16_t> p;
    std::vector<uint16_t> w;  // second profile; missing entries 600
    int16_t depth;
    int16_t fill = 0;  // value of the entries beyond P
  };
  const Case cases[] = {
      {"two peaks with a valley between", {0, 0, 60, 100, 73, 100, 60}, {0, 0, 360, 600, 440, 600, 360}, 27},
      {"the valley is no weaker in the sums", {0, 0, 60, 100, 73, 100, 60}, {0, 0, 360, 600, 560, 600, 360}, 0},
      {"one peak", {0, 20, 60, 100, 60, 20}, {}, 0},
      {"one peak and one valley: the rise from the smallest value", {100, 40}, {}, 60, 60},
      // Three peaks and two valleys whose sums stay below every peak's: 400 is added.
      {"three peaks", {0, 50, 20, 60, 20, 70, 0}, {0, 600, 100, 600, 100, 600, 0}, 440},
  };
  for (const Case& c : cases) {
    int16_t p[kProfileLen];
    for (int16_t& x : p) x = c.fill;
    uint16_t w[kProfileLen];
    for (uint16_t& x : w) x = 600;
    for (size_t i = 0; i < c.p.size(); ++i) p[i] = c.p[i];
    for (size_t i = 0; i < c.w.size(); ++i) w[i] = c.w[i];
    uint8_t marks[kProfileLen] = {};
    uint8_t valley = 255, max = 255;
    EXPECT_EQ(CalcProfileValleyDepth(p, w, marks, 5, &valley, &max), c.depth) << c.name;
  }
}

TEST(RegionProfile, RotatedProfileAlongTheRowsAndItsEmptyCases) {
  // Rows 2-4, columns 2-6 of an 8 x 10 map: two columns of 300 with 220 between.
  std::vector<int16_t> m(80, 0);
  auto D = [&](int r, int c) -> int16_t& { return m[static_cast<size_t>(r) * 10 + c]; };
  const int16_t row[5] = {180, 300, 220, 300, 180};
  for (int c = 0; c < 5; ++c) {
    D(3, 2 + c) = row[c];
    D(2, 2 + c) = static_cast<int16_t>(row[c] / 2);
    D(4, 2 + c) = static_cast<int16_t>(row[c] / 2);
  }
  int16_t profile[kProfileLen] = {};
  uint16_t sums[kProfileLen] = {};
  uint8_t maxCount = 0;
  const uint32_t rect = RegionRectWord(Rect(2, 4, 2, 6));
  // At 0 degrees the samples fall on the nodes: columns 2-6 are sample columns 3-7.
  const uint16_t spread = CalcRotatedRectProfile(m.data(), 10, 8, rect, 0, 25, &maxCount, profile, sums);
  EXPECT_EQ(maxCount, 3);
  EXPECT_EQ(spread, 5 * 10 / 3);
  const int16_t expected[10] = {0, 0, 0, 60, 100, 73, 100, 60, 0, 0};
  for (int j = 0; j < 10; ++j) EXPECT_EQ(profile[j], expected[j]) << j;
  EXPECT_EQ(sums[4], 600);
  EXPECT_EQ(sums[5], 440);

  // Nothing above the threshold, an empty rectangle, or one wider than 20 columns: none.
  std::vector<int16_t> flat(80, 20);
  int16_t p2[kProfileLen] = {};
  uint16_t s2[kProfileLen] = {};
  EXPECT_EQ(CalcRotatedRectProfile(flat.data(), 10, 8, rect, 0, 25, &maxCount, p2, s2), kProfileNone);
  EXPECT_EQ(maxCount, 0);
  EXPECT_EQ(CalcRotatedRectProfile(m.data(), 10, 8, RegionRectWord(Rect(4, 2, 2, 6)), 0, 25, &maxCount, p2, s2),
            kProfileNone);
  std::vector<int16_t> wide(2 * 30, 300);
  EXPECT_EQ(CalcRotatedRectProfile(wide.data(), 30, 2, RegionRectWord(Rect(0, 1, 0, 20)), 0, 25, &maxCount, p2, s2),
            kProfileNone);
}

// ---- Floating rectangle routines ---------------------------------------------------------

TEST(RegionFloatRect, AdjustTrimsOneLineAndGrowsByPasses) {
  // 10 x 10 map: a 3 x 3 block of 200 at rows 4-6, columns 4-6, and a ring of 90 around it.
  std::vector<int16_t> m(100, 0);
  for (int r = 3; r <= 7; ++r)
    for (int c = 3; c <= 7; ++c) m[r * 10 + c] = (r >= 4 && r <= 6 && c >= 4 && c <= 6) ? 200 : 90;
  struct Case {
    RegionRect in;
    uint8_t trim, grow, mode;
    RegionRect out;
  };
  const Case cases[] = {
      // Every border line below the trim level: one line in on each side, not more.
      {Rect(1, 9, 1, 9), 100, 100, 0, Rect(2, 8, 2, 8)},
      // Mode 1 grows by one line where a node beyond exceeds the grow level, mode 2 by two.
      {Rect(4, 6, 4, 6), 100, 50, 1, Rect(3, 7, 3, 7)},
      {Rect(5, 5, 5, 5), 100, 50, 1, Rect(4, 6, 4, 6)},
      {Rect(5, 5, 5, 5), 100, 50, 2, Rect(3, 7, 3, 7)},
      {Rect(5, 5, 5, 5), 100, 50, 7, Rect(5, 5, 5, 5)},
  };
  for (const Case& c : cases) {
    uint8_t r[4] = {c.in.ubRowStart, c.in.ubRowEnd, c.in.ubColStart, c.in.ubColEnd};
    AdjustRectByThreshold(r, 10, 10, c.trim, c.grow, m.data(), c.mode);
    EXPECT_EQ(RegionRectWord(RegionRect{r[0], r[1], r[2], r[3]}), RegionRectWord(c.out))
        << int(c.in.ubRowStart) << " mode " << int(c.mode);
  }
}

TEST(RegionFloatRect, ProfileValleyFindsTheDeepestDipAndItsPeaks) {
  const uint16_t rising[5] = {1, 2, 3, 4, 5};
  ProfileValley v{};
  FindProfileValley(rising, 0, 4, &v);
  EXPECT_EQ(int(v.ubValleyIdx), 255);
  const uint16_t dip[4] = {50, 10, 10, 60};
  FindProfileValley(dip, 0, 3, &v);
  EXPECT_EQ(int(v.ubValleyIdx), 1);
  EXPECT_EQ(int(v.uwValley), 10);
  EXPECT_EQ(int(v.uwLeftPeak), 50);
  EXPECT_EQ(int(v.uwLeftIdx), 0);
  EXPECT_EQ(int(v.uwRightPeak), 60);
  EXPECT_EQ(int(v.uwRightIdx), 3);
  EXPECT_EQ(int(v.ubZero), 0);
}

TEST(RegionFloatRect, CandidateProfilesReportTheValleyLineOnTheGrid) {
  // Two columns of 100 at grid columns 3 and 6; column 4 between them is slightly negative
  // (quiet), column 5 empty.
  std::vector<int16_t> m(10 * 10, 0);
  for (int r = 3; r <= 6; ++r) {
    m[r * 10 + 3] = 100;
    m[r * 10 + 6] = 100;
  }
  for (int r = 2; r <= 7; ++r) m[r * 10 + 4] = -20;
  CandidateProfiles cand{};
  cand.uiRect = RegionRectWord(Rect(3, 6, 3, 6));
  AnalyseCandidateProfiles(m.data(), 10, 10, &cand);
  EXPECT_EQ(int(cand.stCol.ubValleyIdx), 4) << "the first of the two empty columns";
  EXPECT_EQ(int(cand.stCol.uwLeftIdx), 3);
  EXPECT_EQ(int(cand.stCol.uwRightIdx), 6);
  EXPECT_EQ(int(cand.ubColQuiet), 1);
  EXPECT_EQ(int(cand.stRow.ubValleyIdx), 255) << "the rows are even";
}

TEST(RegionFloatRect, RingSignatureTable) {
  FloatJudgeThrLoad();
  // 9 x 9 rectangle at the origin of a 9 x 9 map: border band 2 nodes, middle band 2, core 1.
  auto ring = [](bool negativeCorners) {
    std::vector<int16_t> m(81, 0);
    for (int r = 0; r < 9; ++r) {
      for (int c = 0; c < 9; ++c) {
        const int d = std::min(std::min(r, 8 - r), std::min(c, 8 - c));
        m[r * 9 + c] = d < 2 ? 100 : d < 4 ? 30 : 0;
      }
    }
    if (negativeCorners) m[0] = m[8] = m[72] = m[80] = -100;
    return m;
  };
  struct Case {
    const char* name;
    std::vector<int16_t> map;
    RegionRect rect;
    uint8_t result;
  };
  const Case cases[] = {
      {"positive border ring around a quiet core with negative corners", ring(true), Rect(0, 8, 0, 8), 3},
      {"no negative signal in the border band", ring(false), Rect(0, 8, 0, 8), 0},
      {"four nodes across: no border band", ring(true), Rect(0, 3, 0, 8), 0},
  };
  memset(gastFloatRegionRecord, 0, sizeof(gastFloatRegionRecord));
  for (const Case& c : cases) EXPECT_EQ(JudgeFloatRing(9, c.map.data(), 0, RegionRectWord(c.rect)), c.result) << c.name;
}

// ---- Two-peak judgement ------------------------------------------------------------------

class TwoPeakFixture : public AcquireFixture {
 protected:
  void SetUp() override {
    Init(8, 10);
    memset(&gstRegionTwoPeak, 0, sizeof(gstRegionTwoPeak));
    RegionTwoPeakPrevRect = RegionRectFromWord(kRegionRectNone);
    RegionTwoPeakLastAngle = 400;
    RegionTwoPeakSpan = 0;
    guwNotMuchOutCnt = 0;
    memset(gstRegionRoles.aubWaterFlag, 0, sizeof(gstRegionRoles.aubWaterFlag));
  }
  int16_t& D(int r, int c) { return diff_[static_cast<size_t>(r) * cols_ + c]; }
  // Two fingers side by side at row 3, columns 3 and 5, merged through column 4 (rows 2-4,
  // columns 2-6). With a valley of 220 the profile dips (depth 27); with the filled middle
  // the profile stays level (depth 0) while the top row still dips.
  void MergedPair(bool level) {
    std::fill(diff_.begin(), diff_.end(), 0);
    const int16_t top[5] = {90, 160, 125, 160, 90};
    const int16_t mid[5] = {180, 300, 280, 300, 180};
    const int16_t bot[5] = {90, 120, 139, 120, 90};
    const int16_t midValley[5] = {180, 300, 220, 300, 180};
    for (int c = 0; c < 5; ++c) {
      if (level) {
        D(2, 2 + c) = top[c];
        D(3, 2 + c) = mid[c];
        D(4, 2 + c) = bot[c];
      } else {
        D(3, 2 + c) = midValley[c];
        D(2, 2 + c) = static_cast<int16_t>(midValley[c] / 2);
        D(4, 2 + c) = static_cast<int16_t>(midValley[c] / 2);
      }
    }
  }
  // One region over B with peak 300 at (3, 3), as the search leaves it.
  void OneRegion(RegionAcquireInput& in, RegionRect B) {
    in.ubRegionNum = 1;
    gstMutualRegion.astRect[0] = B;
    gstMutualRegion.auwPeak[0] = 300;
    gstMutualRegion.auwPeakPos[0] = (3 << 8) | 3;
    for (int i = 1; i < kRegionMax; ++i) gstMutualRegion.auwPeak[i] = 0;
    memset(gaubRegionLabelMap, kRegionLabelNone, sizeof(gaubRegionLabelMap));
    for (int r = B.ubRowStart; r <= B.ubRowEnd; ++r)
      for (int c = B.ubColStart; c <= B.ubColEnd; ++c) gaubRegionLabelMap[r * cols_ + c] = 0;
  }
  // One frame of the judgement; returns the region count afterwards.
  uint8_t Judge(RegionAcquireInput& in, RegionRect B) {
    OneRegion(in, B);
    RegionTwoPeakJudge(in, B, true, false);
    return in.ubRegionNum;
  }
};

TEST_F(TwoPeakFixture, ResetsOnNoRegionWeakPeaksAndOddSizes) {
  RegionAcquireInput in = Input();
  MergedPair(true);
  const RegionRect B = Rect(2, 4, 2, 6);
  // No region: full reset.
  RegionTwoPeakPrevRect = B;
  guwNotMuchOutCnt = 7;
  in.ubRegionNum = 0;
  RegionTwoPeakJudge(in, B, true, false);
  EXPECT_EQ(RegionRectWord(RegionTwoPeakPrevRect), kRegionRectNone);
  EXPECT_EQ(RegionTwoPeakLastAngle, 400);
  EXPECT_EQ(guwNotMuchOutCnt, 0);
  // Peaks of 119: full reset.
  OneRegion(in, B);
  gstMutualRegion.auwPeak[0] = 119;
  in.ubTwoPeakState = 1;
  RegionTwoPeakJudge(in, B, true, false);
  EXPECT_EQ(in.ubTwoPeakState, 0);
  EXPECT_EQ(RegionRectWord(RegionTwoPeakPrevRect), kRegionRectNone);
  // A 3 x 3 area: partial reset, the first judged rectangle stays.
  RegionTwoPeakPrevRect = Rect(1, 5, 1, 5);
  in.ubPrevPointNum = 1;
  OneRegion(in, Rect(2, 4, 2, 4));
  RegionTwoPeakJudge(in, Rect(2, 4, 2, 4), true, false);
  EXPECT_EQ(RegionRectWord(RegionTwoPeakPrevRect), RegionRectWord(Rect(1, 5, 1, 5)));
  EXPECT_EQ(RegionTwoPeakLastAngle, 400);
}

TEST_F(TwoPeakFixture, StrongSumMustLieBetween800And4000) {
  // A 4 x 4 area of even values: S = 16 x value (with one node changed for the odd sums).
  struct Case {
    int16_t value;
    int16_t last;  // the value of the last node
    bool goesOn;
  };
  const Case cases[] = {{50, 49, false}, {50, 50, true}, {250, 250, true}, {250, 251, false}};
  const RegionRect B = Rect(2, 5, 2, 5);
  for (const Case& c : cases) {
    SetUp();
    for (int r = 2; r <= 5; ++r)
      for (int col = 2; col <= 5; ++col) D(r, col) = c.value;
    D(5, 5) = c.last;
    RegionAcquireInput in = Input();
    Judge(in, B);
    // Going on, the orientation of the even square (90 degrees) becomes the first angle.
    EXPECT_EQ(RegionTwoPeakLastAngle, c.goesOn ? 90 : 400) << c.value << "/" << c.last;
  }
}

TEST_F(TwoPeakFixture, TwoSeparateStrongPeaksOnTheBorderResetWithoutReadingOffTheGrid) {
  // Peaks in the top-left corner node and six columns along row 0: the local-maximum test
  // of border nodes counts only the neighbours on the grid.
  const RegionRect B = Rect(0, 2, 0, 6);
  D(0, 0) = 300;
  D(0, 6) = 300;
  for (int c = 1; c <= 5; ++c) D(1, c) = 150;
  RegionAcquireInput in = Input();
  OneRegion(in, B);
  in.ubRegionNum = 2;
  gstMutualRegion.auwPeak[1] = 300;
  gstMutualRegion.auwPeakPos[0] = 0;
  gstMutualRegion.auwPeakPos[1] = 6;
  RegionTwoPeakJudge(in, B, true, true);
  EXPECT_EQ(RegionTwoPeakLastAngle, 400) << "partial reset";
  EXPECT_EQ(RegionRectWord(RegionTwoPeakPrevRect), RegionRectWord(B));
}

TEST_F(TwoPeakFixture, ALevelPairSplitsFromTheSecondConfirmedFrameAndTurnsTheStateOn) {
  MergedPair(true);
  const RegionRect B = Rect(2, 4, 2, 6);
  RegionAcquireInput in = Input();
  EXPECT_EQ(Judge(in, B), 1) << "first confirmed frame of a level profile: no split yet";
  EXPECT_EQ(int(gstRegionTwoPeak.ubHoldCnt), 1);
  EXPECT_EQ(int(gstRegionTwoPeak.ubVerdict), 0);
  EXPECT_EQ(Judge(in, B), 2) << "second confirmed frame: split";
  EXPECT_EQ(int(gstMutualRegion.auwPeak[0]), 300);
  EXPECT_EQ(int(gstMutualRegion.auwPeak[1]), 300);
  EXPECT_NE(int(gstMutualRegion.auwPeakPos[0]), int(gstMutualRegion.auwPeakPos[1]));
  EXPECT_EQ(in.ubTwoPeakState, 0);
  EXPECT_EQ(Judge(in, B), 2);
  EXPECT_EQ(int(gstRegionTwoPeak.ubVerdict), 1);
  EXPECT_EQ(Judge(in, B), 2);
  EXPECT_EQ(int(gstRegionTwoPeak.ubVerdict), 2);
  EXPECT_EQ(in.ubTwoPeakState, 1);
}

TEST_F(TwoPeakFixture, AValleySplitsAtOnceAndACollapseStopsTheSplitting) {
  MergedPair(false);
  const RegionRect B = Rect(2, 4, 2, 6);
  RegionAcquireInput in = Input();
  EXPECT_EQ(Judge(in, B), 2) << "a profile valley confirms at once: verdict 1 splits";
  EXPECT_EQ(int(gstRegionTwoPeak.ubVerdict), 1);
  EXPECT_EQ(int(gstRegionTwoPeak.ubHoldCnt), 10);
  EXPECT_EQ(Judge(in, B), 2);
  EXPECT_EQ(in.ubTwoPeakState, 1);
  EXPECT_EQ(Judge(in, B), 2) << "state on, no collapse: split";
  // The strong sum drops by more than 300 and the dip is gone (no confirmation): no split.
  for (int c = 2; c <= 6; ++c) D(3, c) = static_cast<int16_t>(D(3, c) - 80);
  D(2, 4) = 150;
  D(4, 4) = 150;
  EXPECT_EQ(Judge(in, B), 1);
  EXPECT_EQ(in.ubTwoPeakState, 1);
}

TEST_F(TwoPeakFixture, AnAreaWithoutAProfileGivesNoVerdictAndKeepsTheProfileFigures) {
  // Two-peak state on, a 4 x 4 area whose nodes all lie below the profile threshold: the
  // profile routine answers "none"; the span and the judged flags stay as they were.
  const RegionRect B = Rect(2, 5, 2, 5);
  for (int r = 2; r <= 5; ++r)
    for (int c = 2; c <= 5; ++c) D(r, c) = 20;
  RegionAcquireInput in = Input();
  in.ubTwoPeakState = 1;
  RegionTwoPeakSpan = 5;
  gstRegionTwoPeak.ubJudged = 1;
  gstRegionTwoPeak.ubVerdict = 1;
  OneRegion(in, B);
  gstMutualRegion.auwPeak[0] = 200;
  RegionTwoPeakJudge(in, B, true, false);
  EXPECT_EQ(int(gstRegionTwoPeak.ubVerdict), 0);
  EXPECT_EQ(RegionTwoPeakSpan, 5);
  EXPECT_EQ(int(gstRegionTwoPeak.ubJudged), 1);
  EXPECT_EQ(int(gstRegionTwoPeak.ubPrevJudged), 0);
}

TEST_F(TwoPeakFixture, CornerTemplateOfTheMirroredAngleIsTheMirrorImage) {
  Init(9, 9);
  // Strong 2 x 2 blocks in two opposite corners of a 5 x 5 area, nothing between.
  auto blocks = [&](bool mirrored) {
    std::fill(diff_.begin(), diff_.end(), 0);
    const int near = mirrored ? 5 : 2;  // column of the top block's first column
    const int far = mirrored ? 2 : 5;
    for (int r = 2; r <= 3; ++r)
      for (int c = near; c <= near + 1; ++c) D(r, c) = 200;
    for (int r = 5; r <= 6; ++r)
      for (int c = far; c <= far + 1; ++c) D(r, c) = 200;
  };
  struct Case {
    bool mirrored;
    int16_t angle;
    bool holds;
  };
  const Case cases[] = {{false, 45, true}, {true, 135, true}, {false, 135, false}, {true, 45, false},
                        {false, 90, true}, {true, 91, true}};
  const RegionRect B = Rect(2, 6, 2, 6);
  for (const Case& c : cases) {
    blocks(c.mirrored);
    RegionAcquireInput in = Input();
    gstMutualRegion.auwPeak[0] = 200;
    EXPECT_EQ(TwoPeakCornerTemplate(in, B, c.angle, 0), c.holds) << c.mirrored << " at " << c.angle;
  }
}

// ---- Search stage: valley suppression and three tracked touches -----------------------------

class SearchStageFixture : public AcquireFixture {
 protected:
  void SetUp() override {
    Init(10, 10);
    memset(&gstRegionTwoPeak, 0, sizeof(gstRegionTwoPeak));
    RegionTwoPeakPrevRect = RegionRectFromWord(kRegionRectNone);
    memset(gstRegionRoles.aubWaterFlag, 0, sizeof(gstRegionRoles.aubWaterFlag));
  }
  int16_t& D(int r, int c) { return diff_[static_cast<size_t>(r) * cols_ + c]; }
  void Occupy(uint8_t k, RegionRect r, uint16_t x, uint16_t y) {
    gstCoordPair.astLastRect[k] = r;
    gstCoordPair.auwLastRectMaxDiff[k] = 300;
    gstCoordPair.auwSlotX[k] = gstCoordPair.auwPrevSlotX[k] = gstCoordPair.auwDownSlotX[k] = x;
    gstCoordPair.auwSlotY[k] = gstCoordPair.auwPrevSlotY[k] = gstCoordPair.auwDownSlotY[k] = y;
  }
  void Fill(RegionRect r, int16_t v) {
    for (int row = r.ubRowStart; row <= r.ubRowEnd; ++row)
      for (int c = r.ubColStart; c <= r.ubColEnd; ++c) D(row, c) = v;
  }
};

TEST_F(SearchStageFixture, TwoStillFingersOpenTheValleyBetweenThem) {
  // Fingers at row 4, columns 2 and 6 (quarter nodes 8 and 24); a band of 200 between.
  Fill(Rect(3, 5, 2, 6), 200);
  Occupy(0, Rect(3, 5, 1, 3), 8, 16);
  Occupy(1, Rect(3, 5, 5, 7), 24, 16);
  PairCoreCounters& core = *PairCore();
  core.stTwoFingerRect = Rect(3, 5, 2, 6);
  core.uwTwoFingerDist = 20;
  core.ubValleyLimit = 5;
  RegionAcquireInput in = Input();
  RegionSearchProc(&in, 0);
  EXPECT_EQ(D(4, 4), 0) << "midway between the two fingers";
  EXPECT_EQ(D(3, 4), 0);
  EXPECT_EQ(D(4, 3), 200) << "three times nearer one finger: ratio 100, unchanged";
  EXPECT_EQ(D(4, 2), 200) << "on a finger: far outside the factor 9";

  // Past the valley frame limit the limit is cleared and nothing changes.
  Fill(Rect(3, 5, 2, 6), 200);
  core.uwValleyFrames = 6;
  in = Input();
  RegionSearchProc(&in, 0);
  EXPECT_EQ(D(4, 4), 200);
  EXPECT_EQ(core.ubValleyLimit, 0);
}

TEST_F(SearchStageFixture, ThreeTrackedTouchesReformTheRegionsAndTwoLeaveThemAlone) {
  // Two blocks joined by a strong bridge (one region) and a third block apart: two regions
  // where the pairing followed three touches.
  Fill(Rect(2, 3, 2, 3), 300);
  Fill(Rect(2, 3, 4, 5), 250);
  Fill(Rect(2, 3, 6, 7), 300);
  Fill(Rect(6, 7, 4, 5), 300);
  PairCore()->ubCoreState = 1;
  struct Case {
    bool third;
    std::vector<uint32_t> rects;
  };
  const Case cases[] = {
      // In slot order (0, 1, 2), each trimmed and grown by one line toward the bridge.
      {true, {RegionRectWord(Rect(2, 3, 2, 4)), RegionRectWord(Rect(6, 7, 4, 5)), RegionRectWord(Rect(2, 3, 5, 7))}},
      // Only two occupied slots: there are not three touches to re-form; the search stands.
      {false, {RegionRectWord(Rect(2, 3, 2, 7)), RegionRectWord(Rect(6, 7, 4, 5))}},
  };
  for (const Case& c : cases) {
    memset(gstCoordPair.auwLastRectMaxDiff, 0, sizeof(gstCoordPair.auwLastRectMaxDiff));
    Occupy(0, Rect(2, 3, 2, 3), 10, 10);
    Occupy(1, Rect(6, 7, 4, 5), 18, 26);
    if (c.third) Occupy(2, Rect(2, 3, 6, 7), 26, 10);
    RegionAcquireInput in = Input();
    in.ubPrevPointNum = 3;
    RegionSearchProc(&in, 0);
    std::vector<uint32_t> got;
    for (uint8_t i = 0; i < in.ubRegionNum; ++i) got.push_back(RegionRectWord(gstMutualRegion.astRect[i]));
    EXPECT_EQ(got, c.rects) << c.third;
    for (uint8_t i = 0; i < in.ubRegionNum; ++i) EXPECT_EQ(int(gstMutualRegion.auwPeak[i]), 300) << int(i);
  }
}

}  // namespace
