// The water union operations, the wet-area statistics, the union build with its pair split
// and waterproof processing, on small hand-made grids.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "coord_records.h"
#include "module_wrappers.h"
#include "nn_test_util.h"
#include "region.h"
#include "region_proc.h"
#include "region_water_ops.h"

namespace {

RegionRect Rect(uint8_t r0, uint8_t r1, uint8_t c0, uint8_t c1) { return RegionRect{r0, r1, c0, c1}; }
constexpr uint32_t kEmpty = kRegionRectEmptyBound;

// A ROWS x COLS grid wired to a waterproof call record as the wrapper wires it: diff maps,
// label map, region arrays, self profile and the pairing record.
class WaterOps : public ::testing::Test {
 protected:
  void SetUp() override { Init(8, 10); }
  void Init(uint8_t rows, uint8_t cols) {
    rows_ = rows;
    cols_ = cols;
    const size_t n = static_cast<size_t>(rows) * cols;
    diff_.assign(n, 0);
    prev_.assign(n, 0);
    last_.assign(n, 0);
    label_.assign(n, kRegionLabelNone);
    mask_.assign(5 * n + 64, 0);
    self_.assign(static_cast<size_t>(rows) + cols, 0);
    memset(keep_, 0, sizeof(keep_));
    memset(arrA_, 0, sizeof(arrA_));
    memset(arrB_, 0, sizeof(arrB_));
    for (RegionRect& r : rects_) r = RegionRectFromWord(kRegionRectNone);
    memset(&gstCoordPair, 0, sizeof(gstCoordPair));
    WaterInit(nullptr);
  }
  WaterproofInput Input() {
    WaterproofInput in;
    memset(&in, 0, sizeof(in));
    in.pswDiff = diff_.data();
    in.ubRowNum = rows_;
    in.ubColNum = cols_;
    in.pswSelfDiff = self_.data();
    in.ubSelfCapEn = 1;
    in.uwTouchLevel = 120;
    in.swLowLevel = 100;
    in.pubMaskBuf = mask_.data();
    in.pubSlotIndex = gstCoordPair.aubOrderIndex;
    in.puwSlotPeak = gstCoordPair.auwLastRectMaxDiff;
    in.puwSlotX = gstCoordPair.auwSlotX;
    in.puwSlotY = gstCoordPair.auwSlotY;
    in.pvCoordPair = &gstCoordPair;
    in.ubRegionNum = regions_;
    in.pstRect = rects_;
    in.puwKeep = keep_;
    in.pswPrevDiff = prev_.data();
    in.pswDiffLastLast = last_.data();
    in.pubLabelMap = label_.data();
    in.puwRegionArrayA = arrA_;
    in.puwRegionArrayB = arrB_;
    return in;
  }
  int16_t& D(int r, int c) { return diff_[static_cast<size_t>(r) * cols_ + c]; }
  int16_t& P(int r, int c) { return prev_[static_cast<size_t>(r) * cols_ + c]; }
  uint8_t& Mark(int r, int c) { return gstWaterState.WaterMarkMap[r * cols_ + c]; }
  // Region K over R with peak PEAK, its nodes labelled K.
  void Region(uint8_t k, RegionRect r, uint16_t peak) {
    rects_[k] = r;
    keep_[k] = peak;
    for (int row = r.ubRowStart; row <= r.ubRowEnd; ++row)
      for (int c = r.ubColStart; c <= r.ubColEnd; ++c) label_[static_cast<size_t>(row) * cols_ + c] = k;
    if (k + 1 > regions_) regions_ = static_cast<uint8_t>(k + 1);
  }
  void Slot(uint8_t s, RegionRect r, uint16_t peak) {
    gstCoordPair.astLastRect[s] = r;
    gstCoordPair.auwLastRectMaxDiff[s] = peak;
    gstCoordPair.auwSlotX[s] = static_cast<uint16_t>(2 * (r.ubColStart + r.ubColEnd));
    gstCoordPair.auwSlotY[s] = static_cast<uint16_t>(2 * (r.ubRowStart + r.ubRowEnd));
  }
  uint8_t BuildLabel(int r, int c) const { return gstWaterBuildScratch.aubLabel[r * cols_ + c]; }
  // A finger of 300 at (6, 8): 150 on its direct neighbours, 75 on the diagonals.
  void PutFinger() {
    for (int dr = -1; dr <= 1; ++dr)
      for (int dc = -1; dc <= 1; ++dc) D(6 + dr, 8 + dc) = (dr == 0 && dc == 0) ? 300 : (dr == 0 || dc == 0) ? 150 : 75;
  }

  uint8_t rows_ = 0, cols_ = 0, regions_ = 0;
  std::vector<int16_t> diff_, prev_, last_, self_;
  std::vector<uint8_t> label_, mask_;
  uint16_t keep_[kRegionMax];
  uint16_t arrA_[kRegionMax], arrB_[kRegionMax];
  RegionRect rects_[kRegionMax];
};

// A union over R tied to component label L of the last build (written into WaterAuxMap).
WaterUnion& LiveUnion(uint8_t j, uint8_t label, RegionRect r, uint8_t cols, uint16_t nodes) {
  WaterUnion& u = gstWaterState.astUnion[j];
  WaterUnionFree(u);
  u.label = label;
  u.rect = r;
  u.nodeCount = nodes;
  u.age = 3;
  for (int row = r.ubRowStart; row <= r.ubRowEnd; ++row)
    for (int c = r.ubColStart; c <= r.ubColEnd; ++c) gstWaterState.WaterAuxMap[row * cols + c] = label;
  return u;
}

void FillBlock(std::vector<int16_t>& m, uint8_t cols, RegionRect r, int16_t v) {
  for (int row = r.ubRowStart; row <= r.ubRowEnd; ++row)
    for (int c = r.ubColStart; c <= r.ubColEnd; ++c) m[static_cast<size_t>(row) * cols + c] = v;
}

// ---- Labelling ----------------------------------------------------------------------------

TEST(WaterLabel, OneLabellingStep) {
  struct Case {
    const char* what;
    uint8_t nb[4];
    uint8_t last;
    uint8_t wantLabel;  // label of the node (0 = left unlabelled)
    uint8_t wantLast;
  };
  const Case cases[] = {
      {"smallest neighbour label", {0, 5, 3, 0}, 7, 3, 7},
      {"a fresh label", {0, 0, 0, 0}, 10, 11, 11},
      {"the 63rd label is the last handed out", {0, 0, 0, 0}, 62, 63, 63},
      {"past 63 labels the node stays unlabelled", {0, 0, 0, 0}, 63, 0, 64},
      {"the count stops at 64", {0, 0, 0, 0}, 64, 0, 64},
      {"and never wraps back to label 1", {0, 0, 0, 0}, 255, 0, 64},
  };
  for (const Case& c : cases) {
    uint8_t equiv[64] = {};
    uint8_t labels[4] = {};
    EXPECT_EQ(LabelNodeUnion(c.nb, 2, c.last, equiv, labels), c.wantLast) << c.what;
    EXPECT_EQ(labels[2], c.wantLabel) << c.what;
  }
  uint8_t equiv[64] = {};
  uint8_t labels[4] = {};
  const uint8_t nb[4] = {0, 5, 3, 0};
  LabelNodeUnion(nb, 0, 7, equiv, labels);
  EXPECT_EQ(equiv[5], 3) << "the root of 5 joins the root of 3";
  EXPECT_EQ(equiv[3], 0);
  equiv[3] = 2;  // 3 has since joined 2: a later join goes to the root
  const uint8_t nb2[4] = {6, 3, 0, 0};
  LabelNodeUnion(nb2, 1, 7, equiv, labels);
  EXPECT_EQ(labels[1], 3);
  EXPECT_EQ(equiv[6], 2);
}

TEST_F(WaterOps, ManyIsolatedWetNodesNeverShareALabel) {
  // 364 isolated wet nodes open more than 255 labels: the first 63 get one label each and
  // the rest stay unlabelled, none of them reusing an earlier label.
  Init(28, 52);
  for (int r = 0; r < 28; r += 2)
    for (int c = 0; c < 52; c += 2) D(r, c) = 60;
  WaterproofInput in = Input();
  WaterBuildUnions(&in);
  std::vector<int> size(64, 0);
  int labelled = 0;
  for (int r = 0; r < 28; ++r)
    for (int c = 0; c < 52; ++c) {
      const uint8_t l = BuildLabel(r, c);
      if (l == 0) continue;
      ASSERT_LT(l, 64);
      ++size[l];
      ++labelled;
    }
  EXPECT_EQ(labelled, 63);
  for (int l = 1; l < 64; ++l) EXPECT_EQ(size[l], 1) << l;
}

// ---- Region removal and small operations --------------------------------------------------

TEST_F(WaterOps, MarkedRegionsAreRemovedByTheirShareOfWaterMarks) {
  struct Case {
    const char* what;
    RegionRect rect;
    std::vector<uint8_t> marks;  // row-major over the rectangle
    bool removed;
  };
  const Case cases[] = {
      {"no marked node", Rect(1, 2, 1, 2), {0, 0, 0, 0}, false},
      {"marked but not water", Rect(1, 2, 1, 2), {1, 1, 1, 1}, false},
      {"half water", Rect(1, 2, 1, 2), {2, 3, 1, 1}, false},
      {"more than half water", Rect(1, 2, 1, 2), {2, 3, 1, 2}, true},
      {"only the marked nodes count", Rect(1, 2, 1, 2), {0, 0, 1, 2}, false},
      {"one of two marked nodes of a two-node region", Rect(3, 3, 4, 5), {2, 1}, true},
      {"one of two marked nodes of a larger region", Rect(1, 2, 1, 2), {0, 0, 2, 1}, false},
  };
  for (const Case& c : cases) {
    Init(8, 10);
    Region(3, c.rect, 200);
    size_t i = 0;
    for (int r = c.rect.ubRowStart; r <= c.rect.ubRowEnd; ++r)
      for (int col = c.rect.ubColStart; col <= c.rect.ubColEnd; ++col) Mark(r, col) = c.marks[i++];
    for (RegionRect& d : gstWaterState.gstWaterDelRect) d = RegionRectFromWord(kEmpty);
    WaterproofInput in = Input();
    EXPECT_EQ(RemoveWaterMarkedRegions(&in), c.removed ? 1 : 0) << c.what;
    EXPECT_EQ(keep_[3] == 0, c.removed) << c.what;
    EXPECT_EQ(RegionRectWord(gstWaterState.gstWaterDelRect[3]), c.removed ? RegionRectWord(c.rect) : kEmpty) << c.what;
  }
}

TEST_F(WaterOps, BoxSumsStayInsideTheGridAtColumnZero) {
  // The map is exactly the grid, so a read left of column 0 of the first row would leave
  // the allocation.
  std::vector<uint16_t> map(static_cast<size_t>(rows_) * cols_), scratch(map.size(), 0);
  for (size_t i = 0; i < map.size(); ++i) map[i] = static_cast<uint16_t>(i % 7 + 1);
  const std::vector<uint16_t> before = map;
  const auto at = [&](const std::vector<uint16_t>& m, int r, int c) { return m[static_cast<size_t>(r) * cols_ + c]; };
  BoxSum3x3(map.data(), scratch.data(), Rect(0, 2, 0, 2), cols_, rows_);
  EXPECT_EQ(at(map, 0, 1), at(before, 0, 1)) << "the first row of the range is only read";
  EXPECT_EQ(at(map, 1, 0), at(before, 1, 0)) << "column 0 is never a centre";
  uint16_t want = 0;
  for (int r = 0; r <= 2; ++r)
    for (int c = 0; c <= 2; ++c) want = static_cast<uint16_t>(want + at(before, r, c));
  EXPECT_EQ(at(map, 1, 1), want);
  want = 0;
  for (int r = 1; r <= 3; ++r)
    for (int c = 1; c <= 3; ++c) want = static_cast<uint16_t>(want + at(before, r, c));
  EXPECT_EQ(at(map, 2, 2), want);
  EXPECT_EQ(at(map, 3, 2), at(before, 3, 2)) << "the grown last row is only read";
}

TEST_F(WaterOps, RegionByWaterMarkTakesTheFirstKeptRegionWithTheMark) {
  Region(0, Rect(0, 1, 0, 1), 300);
  Region(1, Rect(3, 4, 3, 4), 200);
  Region(2, Rect(5, 6, 6, 7), 150);
  gstWaterState.WaterRegionMark[0] = 4;
  gstWaterState.WaterRegionMark[1] = 9;
  gstWaterState.WaterRegionMark[2] = 9;
  WaterproofInput in = Input();
  uint16_t keep = 7;
  uint32_t rect = 7;
  FindRegionByWaterMark(&in, &keep, &rect, 9);
  EXPECT_EQ(keep, 200);
  EXPECT_EQ(rect, RegionRectWord(Rect(3, 4, 3, 4)));
  keep_[1] = 0;
  FindRegionByWaterMark(&in, &keep, &rect, 9);
  EXPECT_EQ(keep, 150);
  keep = 7;
  FindRegionByWaterMark(&in, &keep, &rect, 3);
  EXPECT_EQ(keep, 7) << "no region with the mark: outputs untouched";
}

// Slot S's track dipped: presence values newest first.
void DipTrack(uint8_t s, std::initializer_list<int32_t> presence, RegionRect r) {
  WaterSlotTrack& t = gstWaterState.astSlotTrack[s];
  t.ubState = 200;
  int i = 0;
  for (int32_t p : presence) {
    t.asiPresence[i] = p;
    t.astRect[i] = r;
    ++i;
  }
}

TEST_F(WaterOps, ArmingFromASlotDipNeedsARiseOverTheDip) {
  struct Case {
    const char* what;
    std::initializer_list<int32_t> presence;
    bool armed;
  };
  // A 3 x 3 rectangle: a = 9, the rise must exceed 900 (rounded to 900) and the spread of
  // the older values stay below 360.
  const Case cases[] = {
      {"rose by more than 900 after the dip", {1500, 550, 500, 700, 800}, true},
      {"rose by exactly 900", {1400, 600, 500, 700, 800}, false},
      {"older values spread too far", {1500, 550, 500, 700, 860}, false},
      {"the newest is the smallest", {400, 550, 500, 700, 800}, false},
      {"history shorter than five", {1500, 550, 500, 700, 0}, false},
  };
  for (const Case& c : cases) {
    Init(8, 10);
    DipTrack(2, c.presence, Rect(2, 4, 2, 4));
    WaterproofInput in = Input();
    EXPECT_EQ(ArmUnionFromSlotDip(&in), c.armed ? 1 : 0) << c.what;
    EXPECT_EQ(gstWaterState.astUnion[0].armed, c.armed ? 1 : 0) << c.what;
    if (c.armed) {
      EXPECT_EQ(int(gstWaterState.astUnion[0].startValue), 500) << c.what;
      EXPECT_EQ(RegionRectWord(gstWaterState.astUnion[0].rect), RegionRectWord(Rect(2, 4, 2, 4)));
    }
  }
}

TEST_F(WaterOps, TwoSlotsArmedInOneCallTakeTwoFreeUnions) {
  DipTrack(1, {1500, 550, 500, 700, 800}, Rect(1, 3, 1, 3));
  DipTrack(4, {1600, 640, 600, 800, 900}, Rect(4, 6, 5, 7));
  WaterproofInput in = Input();
  EXPECT_EQ(ArmUnionFromSlotDip(&in), 1);
  const WaterUnion& a = gstWaterState.astUnion[0];
  const WaterUnion& b = gstWaterState.astUnion[1];
  EXPECT_EQ(a.armed, 1);
  EXPECT_EQ(int(a.startValue), 500);
  EXPECT_EQ(RegionRectWord(a.rect), RegionRectWord(Rect(1, 3, 1, 3)));
  EXPECT_EQ(b.armed, 1) << "the second slot moves on to the next free union";
  EXPECT_EQ(int(b.startValue), 600);
  EXPECT_EQ(RegionRectWord(b.rect), RegionRectWord(Rect(4, 6, 5, 7)));
  EXPECT_EQ(int(a.posSum), int(RegionRectWord(Rect(1, 3, 1, 3)))) << "the dip rectangle stays the first slot's";
}

TEST_F(WaterOps, ProfileSplitFindsTwoPeaksOrAWaterTail) {
  Init(12, 10);
  struct Case {
    const char* what;
    std::vector<int16_t> profile;  // rows 0..11
    RegionRect rect, ref;
    uint8_t want, wantOut;
  };
  const Case cases[] = {
      {"too short a range", {0, 300, 300, 300, 300, 300, 0, 0, 0, 0, 0, 0}, Rect(1, 5, 0, 9), Rect(0, 0, 0, 0), 0, 0},
      {"two peaks", {0, 300, 300, 20, 20, 20, 300, 300, 0, 0, 0, 0}, Rect(1, 8, 0, 9), Rect(0, 0, 0, 0), 1, 2},
      {"nothing above 50", {0, 40, 40, 40, 40, 40, 40, 40, 0, 0, 0, 0}, Rect(1, 8, 0, 9), Rect(0, 0, 0, 0), 0, 0},
      {"a strong head and a weak tail", {0, 240, 230, 220, 60, 60, 60, 60, 0, 0, 0, 0}, Rect(1, 8, 0, 9),
       Rect(0, 1, 0, 0), 1, 1},
      {"the reference starts in the first half", {0, 60, 60, 60, 60, 240, 230, 220, 0, 0, 0, 0}, Rect(1, 8, 0, 9),
       Rect(3, 5, 0, 0), 0, 0},
      {"a weak head and a strong tail", {0, 60, 60, 60, 60, 240, 230, 220, 0, 0, 0, 0}, Rect(1, 8, 0, 9),
       Rect(6, 7, 0, 0), 1, 1},
  };
  for (const Case& c : cases) {
    WaterproofInput in = Input();
    uint8_t out = 9;
    EXPECT_EQ(JudgeProfileSplit(&in, c.profile.data(), 0, c.rect, c.ref, &out), c.want) << c.what;
    EXPECT_EQ(out, c.wantOut) << c.what;
  }
  // A half whose line is mostly above the touch level is a finger: no water tail.
  const int16_t prof[12] = {0, 240, 230, 220, 60, 60, 60, 60, 0, 0, 0, 0};
  for (int c = 0; c < 10; ++c) D(6, c) = 200;
  WaterproofInput in = Input();
  uint8_t out = 0;
  EXPECT_EQ(JudgeProfileSplit(&in, prof, 0, Rect(1, 8, 0, 9), Rect(0, 1, 0, 0), &out), 0);
}

TEST_F(WaterOps, TheTouchCoreOfAUnionLiesAroundItsStrongestRisingNode) {
  Init(10, 12);
  LiveUnion(0, 1, Rect(2, 7, 2, 9), cols_, 48);
  FillBlock(diff_, cols_, Rect(3, 5, 5, 7), 100);  // the touch, risen from nothing
  D(4, 6) = 180;
  for (int r = 2; r <= 7; ++r)
    for (int c = 2; c <= 9; ++c) Mark(r, c) = 2;
  std::vector<int16_t> score(diff_.size(), 0);
  score[4 * cols_ + 6] = 500;  // the strongest change
  score[6 * cols_ + 3] = 400;  // a stronger score on a node without signal: not a candidate
  self_[4] = 120;              // profile peaks: row 4, column 6
  self_[rows_ + 6] = 90;
  WaterproofInput in = Input();
  uint16_t peak = 0;
  uint32_t rect = 0;
  FindUnionPeakRect(&in, 0, 255, 0, score.data(), &peak, &rect);
  EXPECT_EQ(peak, 180);
  EXPECT_EQ(rect, RegionRectWord(Rect(3, 5, 5, 7))) << "the touch nodes within two of the best node";

  // Nothing marked: no best node and no slot, so no core.
  for (int r = 2; r <= 7; ++r)
    for (int c = 2; c <= 9; ++c) Mark(r, c) = 0;
  FindUnionPeakRect(&in, 0, 255, 0, score.data(), &peak, &rect);
  EXPECT_EQ(peak, 0);
  EXPECT_EQ(rect, RegionRectWord(Rect(10, 0, 12, 0)));

  // With a slot and a weak best node the core is taken around the slot position.
  Slot(0, Rect(3, 5, 5, 7), 180);
  Mark(4, 6) = 2;
  score[4 * cols_ + 6] = 60;
  FindUnionPeakRect(&in, 0, 0, 0, score.data(), &peak, &rect);
  EXPECT_EQ(peak, 180);
  EXPECT_EQ(rect, RegionRectWord(Rect(3, 5, 5, 7)));
}

TEST_F(WaterOps, TheTouchCoreOfAUnionThatFollowsASlot) {
  Init(10, 12);
  WaterUnion& u = LiveUnion(0, 1, Rect(2, 7, 2, 9), cols_, 48);
  FillBlock(diff_, cols_, Rect(3, 5, 5, 7), 100);
  std::vector<int16_t> score(diff_.size(), 0);
  WaterproofInput in = Input();
  uint16_t peak = 7;
  uint32_t rect = 7;
  u.slot = 255;
  FindUnionSlotPeakRect(&in, 0, score.data(), &peak, &rect);
  EXPECT_EQ(peak, 7) << "no slot and no best node: nothing written";
  EXPECT_EQ(rect, 7u);
  // With its slot but no best node: the slot's rectangle, cut to the union.
  u.slot = 0;
  Slot(0, Rect(1, 4, 4, 6), 100);
  FindUnionSlotPeakRect(&in, 0, score.data(), &peak, &rect);
  EXPECT_EQ(peak, 100);
  EXPECT_EQ(rect, RegionRectWord(Rect(3, 4, 5, 6))) << "the touch nodes of rows 2-4, columns 4-6";
  // A strong best node with touch nodes between it and the slot: the midpoint square.
  for (int r = 2; r <= 7; ++r)
    for (int c = 2; c <= 9; ++c) Mark(r, c) = 2;
  D(5, 7) = 160;
  score[5 * cols_ + 7] = 300;
  FindUnionSlotPeakRect(&in, 0, score.data(), &peak, &rect);
  EXPECT_EQ(peak, 160);
  // Slot at (row 2, column 5), best at (5, 7): midpoints 3 and 6, half size 1 (the slot
  // rectangle has 12 nodes) and one more row, as 5 + 2 is odd: rows 2-5, columns 5-7,
  // whose touch nodes span rows 3-5.
  EXPECT_EQ(rect, RegionRectWord(Rect(3, 5, 5, 7)));
}

// ---- Wet-area statistics ------------------------------------------------------------------

TEST_F(WaterOps, FewMixedNodesLeaveTheStatisticsAsRawSums) {
  D(3, 3) = 80;
  D(3, 4) = -60;
  WaterproofInput in = Input();
  WetAreaStats st{};
  std::vector<uint16_t> scratch(2 * (rows_ + cols_), 7);
  CalcWetAreaStats(&in, &st, scratch.data());
  EXPECT_EQ(st.posCount, 1);
  EXPECT_EQ(st.negCount, 1);
  EXPECT_EQ(st.mixedCount, 1);
  EXPECT_EQ(st.negNearPos, 1);
  EXPECT_EQ(st.negAround, 60) << "the raw sum of the negated neighbour sums";
  EXPECT_EQ(st.rowCorr, 0);
  EXPECT_EQ(st.colSpan, 0) << "left untouched";
  EXPECT_EQ(st.auwProfile[3], 0);
}

TEST_F(WaterOps, WetStatisticsOfAStripedPatch) {
  // Rows 2-5, columns 2-7: +60 rows (3 and 5) and -60 rows (2 and 4). Every positive node
  // sits in a negative gap: its up and down neighbours are at most 25 and sum to -60 or less.
  for (int r = 2; r <= 5; ++r)
    for (int c = 2; c <= 7; ++c) D(r, c) = (r % 2 == 1) ? 60 : -60;
  WaterproofInput in = Input();
  WetAreaStats st{};
  std::vector<uint16_t> scratch(2 * (rows_ + cols_), 0);
  CalcWetAreaStats(&in, &st, scratch.data());
  EXPECT_EQ(st.posCount, 12);
  EXPECT_EQ(st.negCount, 12);
  EXPECT_EQ(st.holeRatio, 1000);
  EXPECT_EQ(st.colSpan, 6);
  EXPECT_EQ(st.rowSpan, 3);
  EXPECT_EQ(st.posSum, 720);
  EXPECT_EQ(st.negSum, 720);
  EXPECT_EQ(st.auwProfile[3], 360) << "positive row 3 as summed";
  // Scaled rows: positive {3, 5} = 500, negative {2, 4} = 500 over 8 rows: cov -125000,
  // both deviations isqrt(375000) = 612.
  EXPECT_EQ(st.rowCorr, -33) << "positive and negative rows alternate";
  EXPECT_EQ(st.colCorr, 100) << "every patch column holds as much of each";
}

TEST(WetArea, JudgementTerms) {
  struct Case {
    const char* what;
    WetAreaStats st;
    uint8_t level, flag, want;
  };
  const auto S = [](uint16_t n, uint16_t p, uint16_t h, int16_t rc, int16_t cc) {
    WetAreaStats s{};
    s.negCount = n;
    s.posCount = p;
    s.holeRatio = h;
    s.rowCorr = rc;
    s.colCorr = cc;
    return s;
  };
  WetAreaStats t7 = S(10, 10, 201, 70, 70);
  t7.posIsolated = 16;
  t7.negNearPos = 21;
  WetAreaStats t7neg = t7;
  t7neg.negAround = 1;
  const Case cases[] = {
      {"more negative, holes, weak correlation", S(11, 10, 51, 79, 0), 0, 0, 1},
      {"correlation too high", S(11, 10, 51, 80, 0), 0, 0, 0},
      {"balanced, no holes", S(10, 10, 0, 0, 0), 0, 0, 0},
      {"far more negative with holes", S(31, 10, 151, 100, 100), 0, 0, 1},
      {"isolated positives with the flag need low correlation", t7, 0, 1, 0},
      {"without the flag a negative surround", t7neg, 0, 0, 1},
      {"level 6: more negative than positive", S(11, 10, 0, 100, 100), 6, 0, 1},
      {"level 5: the same is dry", S(11, 10, 0, 100, 100), 5, 0, 0},
  };
  for (const Case& c : cases) {
    gstWaterState.WaterWetLevel = c.level;
    EXPECT_EQ(JudgeWetArea(&c.st, c.flag), c.want) << c.what;
  }
  gstWaterState.WaterWetLevel = 0;
}

// ---- Union build --------------------------------------------------------------------------

TEST_F(WaterOps, WetNodeRules) {
  struct Case {
    const char* what;
    int16_t d, p;
    std::vector<int16_t> nb;  // the eight neighbours, row-major without the centre
    bool strongCheck;
    bool wet;
  };
  const Case cases[] = {
      {"30 among middling neighbours", 30, 0, {10, 49, -24, 20, 20, 0, 30, 40}, false, false},
      {"30 beside a 50", 30, 0, {10, 50, -24, 20, 20, 0, 30, 40}, false, true},
      {"30 beside a -25", 30, 0, {-25, 20, 20, 20, 20, 20, 20, 20}, false, true},
      {"-25 beside a 25", -25, 0, {25, 0, 0, 0, 0, 0, 0, 0}, false, true},
      {"previous 30 among four 60s", 10, 30, {60, 0, 60, 60, 0, 60, 0, 0}, false, true},
      {"previous 30 among three 60s", 10, 30, {60, 0, 60, 60, 0, 0, 0, 0}, false, false},
      {"three 60s with the strong check", 10, 30, {60, 0, 60, 60, 0, 0, 0, 0}, true, true},
      {"a strong node alone", 50, 0, {0, 0, 0, 0, 0, 0, 0, 0}, false, true},
  };
  for (const Case& c : cases) {
    Init(8, 10);
    D(3, 4) = c.d;
    P(3, 4) = c.p;
    int i = 0;
    for (int dr = -1; dr <= 1; ++dr)
      for (int dc = -1; dc <= 1; ++dc)
        if (dr != 0 || dc != 0) D(3 + dr, 4 + dc) = c.nb[i++];
    gstWaterState.WaterCheckScore = c.strongCheck ? 81 : 0;
    gstWaterState.WaterOneFingerCnt = c.strongCheck ? 3 : 0;
    WaterproofInput in = Input();
    WaterBuildUnions(&in);
    EXPECT_EQ(BuildLabel(3, 4) != 0, c.wet) << c.what;
  }
}

TEST_F(WaterOps, UnionsThatRunTogetherMergeAndTheWetOneStays) {
  // Last frame: two components side by side; this frame one block joins them.
  LiveUnion(0, 1, Rect(2, 4, 1, 3), cols_, 9).strongCount = 9;
  WaterUnion& wet = LiveUnion(1, 2, Rect(2, 4, 5, 7), cols_, 9);
  wet.wetMark = 1;
  wet.strongCount = 9;
  FillBlock(diff_, cols_, Rect(2, 4, 1, 7), 80);
  WaterproofInput in = Input();
  WaterBuildUnions(&in);
  const WaterModuleState& w = gstWaterState;
  EXPECT_EQ(w.astUnion[0].label, kWaterUnionFree) << "the dry one is freed";
  ASSERT_NE(w.astUnion[1].label, kWaterUnionFree);
  EXPECT_EQ(w.astUnion[1].wetMark, 1);
  EXPECT_EQ(w.astUnion[1].splitMark, 1);
  EXPECT_EQ(RegionRectWord(w.astUnion[1].rect), RegionRectWord(Rect(2, 4, 1, 7)));
  EXPECT_EQ(int(w.astUnion[1].nodeCount), 21);
  EXPECT_EQ(w.WaterUnionCount, 1);
}

TEST_F(WaterOps, AComponentSplitOffALabelledUnionStartsAsItsCopy) {
  // Last frame one component over columns 1-8; this frame it has split in two, the right
  // part (a quarter of the old nodes or more) becomes a copy of the union.
  WaterUnion& u = LiveUnion(0, 1, Rect(2, 4, 1, 8), cols_, 24);
  u.wetMark = 1;
  u.strongCount = 24;
  u.posSum = 2000;
  FillBlock(diff_, cols_, Rect(2, 4, 1, 4), 80);
  FillBlock(diff_, cols_, Rect(2, 4, 7, 8), 80);
  WaterproofInput in = Input();
  WaterBuildUnions(&in);
  const WaterModuleState& w = gstWaterState;
  ASSERT_NE(w.astUnion[1].label, kWaterUnionFree);
  EXPECT_EQ(w.astUnion[1].splitMark, 2);
  EXPECT_EQ(w.astUnion[1].wetMark, 1) << "copied from the parent";
  EXPECT_EQ(RegionRectWord(w.astUnion[1].rect), RegionRectWord(Rect(2, 4, 7, 8)));
  EXPECT_EQ(w.astUnion[0].splitMark, 2);
  EXPECT_EQ(RegionRectWord(w.astUnion[0].rect), RegionRectWord(Rect(2, 4, 1, 4)));
  EXPECT_EQ(w.WaterUnionCount, 2);
}

TEST_F(WaterOps, AUnionWhoseComponentVanishedIsFreed) {
  WaterUnion& u = LiveUnion(4, 1, Rect(2, 4, 1, 3), cols_, 9);
  u.wetMark = 1;
  LiveUnion(5, 2, Rect(5, 6, 6, 8), cols_, 6).strongCount = 6;
  FillBlock(diff_, cols_, Rect(5, 6, 6, 8), 90);
  WaterproofInput in = Input();
  WaterBuildUnions(&in);
  EXPECT_EQ(gstWaterState.astUnion[4].label, kWaterUnionFree);
  EXPECT_NE(gstWaterState.astUnion[5].label, kWaterUnionFree);
  EXPECT_EQ(gstWaterState.WaterUnionCount, 1);
  EXPECT_EQ(gstWaterState.WaterStrongUnionCount, 1);
}

TEST_F(WaterOps, UnionMeasuresAndRegionMarks) {
  // One component: a strong core of 200 in rows 2-3, columns 2-4, a -60 fringe in row 4.
  FillBlock(diff_, cols_, Rect(2, 3, 2, 4), 200);
  FillBlock(diff_, cols_, Rect(4, 4, 2, 4), -60);
  Region(0, Rect(2, 3, 2, 4), 200);
  WaterproofInput in = Input();
  WaterBuildUnions(&in);
  const WaterUnion& u = gstWaterState.astUnion[0];
  ASSERT_NE(u.label, kWaterUnionFree);
  EXPECT_EQ(int(u.nodeCount), 9);
  EXPECT_EQ(int(u.strongCount), 6);
  EXPECT_EQ(int(u.posSum), 1200);
  EXPECT_EQ(int(u.negSum), -180);
  EXPECT_EQ(int(u.ratio), 66);
  EXPECT_EQ(int(u.centreX), 12) << "column 3 in quarter nodes";
  EXPECT_EQ(int(u.centreY), 10) << "row 2.5 in quarter nodes";
  EXPECT_EQ(RegionRectWord(u.strongRect), RegionRectWord(Rect(2, 3, 2, 4)));
  EXPECT_EQ(u.strongWidth, 3);
  EXPECT_EQ(u.strongHeight, 2);
  EXPECT_EQ(int(u.age), 1);
  EXPECT_EQ(u.regionCount, 1);
  EXPECT_EQ(gstWaterState.WaterRegionMark[0], 0) << "region 0 belongs to union 0";
  EXPECT_EQ(Mark(4, 3), 1) << "the union's nodes are marked";
}

// ---- Pair split ---------------------------------------------------------------------------

TEST_F(WaterOps, WithOneRegionThePairTrackerIsIdle) {
  WaterModuleState& w = gstWaterState;
  w.WaterPairTrack = 1;
  w.WaterPairAge = 7;
  w.WaterPairIdxA = 1;
  w.WaterPairIdxB = 2;
  Region(0, Rect(2, 3, 2, 3), 200);
  FillBlock(diff_, cols_, Rect(2, 3, 2, 3), 200);
  WaterproofInput in = Input();
  WaterBuildUnions(&in);
  EXPECT_EQ(w.WaterPairTrack, 0);
  EXPECT_EQ(w.WaterPairAge, 0);
  EXPECT_EQ(w.WaterPairIdxA, 255);
  EXPECT_EQ(w.WaterPairIdxB, 255);
  EXPECT_EQ(RegionRectWord(w.WaterPairRectA), kEmpty);
}

TEST_F(WaterOps, TwoSlotsBridgedByWaterAreCutWhereTheProfileDips) {
  // Two touches in rows 1-2 and 6-7 joined by a wet column band; the row profile has peaks
  // PA and PB with 39 between them.
  struct Case {
    const char* what;
    int16_t pa, pb;
    bool cut;
  };
  const Case cases[] = {
      {"peaks 40 and 100: 39 lies below the limit of 40", 40, 100, true},
      {"peaks 30 and 100: 30 does not exceed 30", 30, 100, false},
  };
  for (const Case& c : cases) {
    Init(10, 8);
    FillBlock(diff_, cols_, Rect(1, 7, 3, 4), 80);
    Region(0, Rect(1, 2, 3, 4), 300);
    Region(1, Rect(6, 7, 3, 4), 300);
    Slot(0, Rect(1, 2, 3, 4), 300);
    Slot(1, Rect(6, 7, 3, 4), 300);
    gstWaterState.astSlotTrack[0].ubState = 2;  // followed, but not long enough to cut at once
    gstWaterState.astSlotTrack[1].ubState = 2;
    self_.assign(static_cast<size_t>(rows_) + cols_, 39);
    self_[1] = self_[2] = c.pa;
    self_[6] = self_[7] = c.pb;
    for (int col = 0; col < cols_; ++col) self_[rows_ + col] = 0;
    WaterproofInput in = Input();
    in.ubFingerNum = 2;
    // The tracked pair: the slot candidates.
    gstWaterState.WaterPairTrack = 1;
    gstWaterState.WaterPairIdxA = 0;
    gstWaterState.WaterPairIdxB = 1;
    WaterBuildUnions(&in);
    const bool cut = BuildLabel(1, 3) != BuildLabel(7, 3);
    EXPECT_EQ(cut, c.cut) << c.what;
    if (c.cut) {
      EXPECT_EQ(gstWaterState.WaterPairMarkA, BuildLabel(1, 3)) << c.what;
      EXPECT_EQ(gstWaterState.WaterPairMarkB, BuildLabel(7, 3)) << c.what;
      EXPECT_EQ(RegionRectWord(gstWaterState.WaterPairRectB), RegionRectWord(Rect(6, 7, 3, 4)));
    } else {
      EXPECT_EQ(gstWaterState.WaterPairMarkA, 255) << c.what;
    }
  }
}

TEST_F(WaterOps, CandidatesSideBySideWithOverlappingExtentsAreNeverCut) {
  FillBlock(diff_, cols_, Rect(1, 5, 1, 7), 80);
  Region(0, Rect(1, 3, 1, 4), 300);
  Region(1, Rect(3, 5, 4, 7), 300);
  Slot(0, Rect(1, 3, 1, 4), 300);
  Slot(1, Rect(3, 5, 4, 7), 300);
  gstWaterState.astSlotTrack[0].ubState = 4;
  gstWaterState.astSlotTrack[1].ubState = 4;
  WaterproofInput in = Input();
  in.ubFingerNum = 2;
  WaterBuildUnions(&in);
  EXPECT_EQ(BuildLabel(1, 1), BuildLabel(5, 7));
  EXPECT_EQ(gstWaterState.WaterPairTrack, 0);
}

// ---- Waterproof processing ----------------------------------------------------------------

TEST_F(WaterOps, EntryNeedsADiffMaximumOfFifty) {
  struct Case {
    const char* what;
    int16_t max, min;
    bool wantSeen;
  };
  const Case cases[] = {
      {"49 never enters, even with a strong negative", 49, -150, false},
      {"50 with both signs", 50, -60, true},
      {"at the touch level", 120, -60, false},
  };
  for (const Case& c : cases) {
    Init(8, 10);
    D(2, 2) = c.max;
    D(5, 5) = c.min;
    WaterproofInput in = Input();
    in.swDiffMax = c.max;
    in.swDiffMin = c.min;
    WaterproofProc(&in);
    EXPECT_EQ(gstWaterState.WaterEntrySeen != 0, c.wantSeen) << c.what;
  }
}

TEST_F(WaterOps, TheQuarterPanelTestNeedsMoreThanAQuarterOfStrongNodes) {
  // 4 positives in a gap between 8 negatives, then isolated negatives up to N nodes.
  for (int extra : {8, 9}) {
    Init(8, 10);
    for (int c = 1; c <= 4; ++c) {
      D(1, c) = -60;
      D(2, c) = 60;
      D(3, c) = -60;
    }
    for (int i = 0; i < extra; ++i) D(6, i) = -60;
    WaterproofInput in = Input();
    in.swDiffMax = 60;
    in.swDiffMin = -60;
    WaterproofProc(&in);
    EXPECT_EQ(gstWaterState.WaterPosCount + gstWaterState.WaterNegCount, 12 + extra);
    EXPECT_EQ(int(gstWaterState.WaterLargeHold), extra == 8 ? 0 : 4) << extra << " extra: 80 nodes, a quarter is 20";
  }
}

TEST_F(WaterOps, ARegionOnAWetUnionIsRemovedAndListedAtItsIndex) {
  // A wet union over rows 2-4, columns 2-5 (80 everywhere, below the touch level in its
  // neighbourhood), a weak region on it and a finger apart from it.
  FillBlock(diff_, cols_, Rect(2, 4, 2, 5), 80);
  PutFinger();
  WaterUnion& u = LiveUnion(0, 1, Rect(2, 4, 2, 5), cols_, 12);
  u.wetMark = 1;
  u.strongCount = 12;
  gstWaterState.WaterUnionFlag = 1;
  Region(0, Rect(6, 7, 7, 9), 300);
  Region(1, Rect(3, 3, 3, 4), 80);
  WaterproofInput in = Input();
  in.swDiffMax = 300;
  in.swDiffMin = 0;
  WaterproofProc(&in);
  EXPECT_EQ(in.ubRegionNum, 1);
  EXPECT_EQ(keep_[0], 300);
  EXPECT_EQ(RegionRectWord(rects_[0]), RegionRectWord(Rect(6, 7, 7, 9)));
  EXPECT_EQ(RegionRectWord(gstWaterState.gstWaterDelRect[1]), RegionRectWord(Rect(3, 3, 3, 4)));
  EXPECT_EQ(RegionRectWord(gstWaterState.gstWaterDelRect[0]), kEmpty);
  const RegionRect* removed = in.pstRemoved;
  EXPECT_EQ(removed, gstWaterState.gstWaterDelRect);
  EXPECT_EQ(in.ubUnionFlag, 1);
  EXPECT_EQ(in.ubAnyWater, 1);
  EXPECT_EQ(label_[6 * cols_ + 8], 0) << "the finger keeps its region";
}

// A finger as the benchmark road draws it: PEAK at (ROW, COL), falling linearly to 0 at 1.6
// nodes from its centre (the centre may lie between nodes).
void PutCone(std::vector<int16_t>& m, uint8_t rows, uint8_t cols, double row, double col, int peak) {
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < cols; ++c) {
      const int v = static_cast<int>(peak * (1.0 - std::hypot(r - row, c - col) / 1.6));
      int16_t& node = m[static_cast<size_t>(r) * cols + c];
      if (v > node) node = static_cast<int16_t>(v);
    }
}

// PEAK at (ROW, COL), half of it on the direct neighbours and a quarter on the diagonals (the
// road's droplets are drawn so).
void PutBump(std::vector<int16_t>& m, uint8_t cols, int row, int col, int16_t peak) {
  for (int dr = -1; dr <= 1; ++dr)
    for (int dc = -1; dc <= 1; ++dc)
      m[static_cast<size_t>(row + dr) * cols + col + dc] =
          static_cast<int16_t>((dr == 0 && dc == 0) ? peak : (dr == 0 || dc == 0) ? peak / 2 : peak / 4);
}

// The wet-area removal's rule for a region: a node above the doubled low level (200 here)
// whose neighbourhood value exceeds the low level (100).
TEST_F(WaterOps, AFingersPeakIsANodeAboveTheDoubledLevelCarriedByItsNeighbourhood) {
  using Map = std::vector<int16_t>;
  struct Case {
    const char* what;
    void (*draw)(Map&, uint8_t rows, uint8_t cols);
    RegionRect rect;
    bool finger;
  };
  const Case cases[] = {
      {"a finger of 500 on a node", [](Map& d, uint8_t r, uint8_t c) { PutCone(d, r, c, 3, 4, 500); }, Rect(2, 4, 3, 5),
       true},
      // 336 on both top nodes, neighbourhood value 199: below the doubled level, which judged
      // by the neighbourhood alone lost the finger.
      {"a finger of 490 halfway between two columns", [](Map& d, uint8_t r, uint8_t c) { PutCone(d, r, c, 3, 4.5, 490); },
       Rect(2, 4, 4, 5), true},
      {"a finger of 500 between four nodes (279 each, neighbourhood 169)",
       [](Map& d, uint8_t r, uint8_t c) { PutCone(d, r, c, 3.5, 4.5, 500); }, Rect(3, 4, 4, 5), true},
      {"a finger of 500 in the grid's corner", [](Map& d, uint8_t r, uint8_t c) { PutCone(d, r, c, 0, 0, 500); },
       Rect(0, 1, 0, 1), true},
      {"a finger of 300, half on its neighbours (neighbourhood 180)",
       [](Map& d, uint8_t, uint8_t c) { PutBump(d, c, 3, 4, 300); }, Rect(2, 4, 3, 5), true},
      {"a droplet of 140, half on its neighbours", [](Map& d, uint8_t, uint8_t c) { PutBump(d, c, 3, 4, 140); },
       Rect(2, 4, 3, 5), false},
      {"a flat wet patch of 150", [](Map& d, uint8_t, uint8_t c) { FillBlock(d, c, Rect(2, 4, 3, 6), 150); },
       Rect(2, 4, 3, 6), false},
      {"a flat patch at the doubled level exactly", [](Map& d, uint8_t, uint8_t c) { FillBlock(d, c, Rect(2, 4, 3, 6), 200); },
       Rect(2, 4, 3, 6), false},
      {"a sharp 300 in a ring of -60 (neighbourhood 12)",
       [](Map& d, uint8_t, uint8_t c) {
         FillBlock(d, c, Rect(2, 4, 3, 5), -60);
         d[3u * c + 4] = 300;
       },
       Rect(3, 3, 4, 4), false},
      {"201 with a neighbourhood of 100 exactly",
       [](Map& d, uint8_t, uint8_t c) {
         FillBlock(d, c, Rect(2, 4, 3, 5), 75);
         d[3u * c + 4] = 201;
       },
       Rect(2, 4, 3, 5), false},
      {"201 with a neighbourhood of 104",
       [](Map& d, uint8_t, uint8_t c) {
         FillBlock(d, c, Rect(2, 4, 3, 5), 80);
         d[3u * c + 4] = 201;
       },
       Rect(2, 4, 3, 5), true},
      {"a finger beside the region only", [](Map& d, uint8_t r, uint8_t c) { PutCone(d, r, c, 3, 4, 500); },
       Rect(3, 4, 6, 7), false},
      {"an empty rectangle", [](Map& d, uint8_t r, uint8_t c) { PutCone(d, r, c, 3, 4, 500); },
       RegionRectFromWord(kRegionRectNone), false},
  };
  for (const Case& c : cases) {
    Init(8, 10);
    c.draw(diff_, rows_, cols_);
    EXPECT_EQ(WaterFingerPeakIn(diff_.data(), rows_, cols_, c.rect, 200, 100), c.finger) << c.what;
  }
}

// A wet ring of -60 along the bottom, a finger of 490 halfway between columns 4 and 5 and
// a droplet of 140, each with its region.
void FingerBetweenColumnsAndADroplet(std::vector<int16_t>& diff, uint8_t rows, uint8_t cols) {
  FillBlock(diff, cols, Rect(6, 7, 0, 9), -60);
  PutCone(diff, rows, cols, 2, 4.5, 490);
  PutBump(diff, cols, 5, 8, 140);
}

TEST_F(WaterOps, OnALargeWetAreaTheWetAreaRemovalTakesTheDropletAndKeepsAFingerBetweenTwoColumns) {
  // A negative-dominant frame (wet ring of -60) in the large wet state: the low level is
  // doubled for the removal. A finger of 490 halfway between columns 4 and 5 and a droplet.
  FingerBetweenColumnsAndADroplet(diff_, rows_, cols_);
  Region(0, Rect(1, 3, 4, 5), 336);
  Region(1, Rect(4, 5, 7, 9), 140);
  gstWaterState.WaterLargeSta = 1;
  WaterproofInput in = Input();
  in.ubWaterState = 1;  // the wet state is kept as it came in
  in.swDiffMax = 336;
  in.swDiffMin = -60;
  WaterproofProc(&in);
  ASSERT_EQ(int(gstWaterState.WaterLargeSta), 1);
  EXPECT_EQ(int(gstWaterState.WaterRemovePending), 1);
  EXPECT_EQ(in.ubRegionNum, 1);
  EXPECT_EQ(RegionRectWord(rects_[0]), RegionRectWord(Rect(1, 3, 4, 5))) << "the finger is kept";
  EXPECT_EQ(RegionRectWord(gstWaterState.gstWaterDelRect[1]), RegionRectWord(Rect(4, 5, 7, 9)));
}

// A negative-dominant frame without the water byte on entry: the wet level (still 0) does
// not clear a large wet state raised earlier, and the removal takes its wide limits.
TEST_F(WaterOps, ALowWetLevelLeavesTheLargeWetStateSet) {
  FingerBetweenColumnsAndADroplet(diff_, rows_, cols_);
  Region(0, Rect(1, 3, 4, 5), 336);
  Region(1, Rect(4, 5, 7, 9), 140);
  gstWaterState.WaterLargeSta = 1;
  WaterproofInput in = Input();
  in.ubWaterState = 0;
  in.swDiffMax = 336;
  in.swDiffMin = -60;
  WaterproofProc(&in);
  EXPECT_EQ(int(gstWaterState.WaterWetLevel), 0);
  EXPECT_EQ(int(gstWaterState.WaterLargeSta), 1);
  EXPECT_EQ(in.ubRegionNum, 1) << "the droplet below the doubled low level is removed";
}

// Without a large or self-confirmed wet area the removal still runs, at the plain low level
// (100 here) and on regions of at most 20 nodes: a droplet at or below the low level goes,
// one above it with a body stays, and a wide weak patch is not examined.
TEST_F(WaterOps, ASmallWetAreaIsRemovedAtThePlainLowLevel) {
  struct Case {
    const char* what;
    int16_t droplet;
    RegionRect patch;
    uint8_t kept;
  } cases[] = {
      {"a droplet of 90", 90, Rect(4, 5, 7, 9), 1},
      {"a droplet of 220 whose neighbourhood exceeds 100", 220, Rect(4, 5, 7, 9), 2},
      {"a weak patch of 21 nodes", 0, Rect(3, 5, 3, 9), 2},
  };
  for (const Case& c : cases) {
    SetUp();
    FillBlock(diff_, cols_, Rect(6, 7, 0, 9), -60);
    PutCone(diff_, rows_, cols_, 1, 1, 490);
    if (c.droplet != 0) PutBump(diff_, cols_, 5, 8, c.droplet);
    else FillBlock(diff_, cols_, c.patch, 60);
    Region(0, Rect(0, 2, 0, 2), 490);
    Region(1, c.patch, c.droplet != 0 ? c.droplet : 60);
    WaterproofInput in = Input();
    in.swDiffMax = 490;
    in.swDiffMin = -60;
    WaterproofProc(&in);
    EXPECT_EQ(int(gstWaterState.WaterLargeSta), 0) << c.what;
    EXPECT_EQ(in.ubRegionNum, c.kept) << c.what;
  }
}

TEST_F(WaterOps, TheBorderRemovalRunsWhileTheLargeHoldLasts) {
  // A weak region on a wet top border.
  for (int c = 1; c <= 8; ++c) D(0, c) = 60;
  Region(0, Rect(0, 0, 2, 4), 60);
  gstWaterState.WaterLargeHold = 2;
  WaterproofInput in = Input();
  in.swDiffMax = 60;
  WaterproofProc(&in);
  EXPECT_EQ(int(gstWaterState.WaterLargeHold), 1);
  EXPECT_EQ(in.ubRegionNum, 0) << "removed by the border rule";
  Region(0, Rect(0, 0, 2, 4), 60);
  in = Input();
  in.swDiffMax = 60;
  WaterproofProc(&in);
  EXPECT_EQ(int(gstWaterState.WaterLargeHold), 0);
  EXPECT_EQ(in.ubRegionNum, 1) << "the hold has run out";
}

TEST_F(WaterOps, SelfLineSumsCoverTheSpanOfTheLiveUnions) {
  for (size_t i = 0; i < self_.size(); ++i) self_[i] = static_cast<int16_t>(i % 3 == 0 ? -5 : 10 + i);
  WaterproofInput in = Input();
  WaterproofProc(&in);
  EXPECT_EQ(int(gstWaterState.WaterSelfRowSum), 0) << "no live union";
  EXPECT_EQ(int(gstWaterState.WaterSelfColSum), 0);
  EXPECT_EQ(gstWaterState.WaterSelfRowAny, 1);
  LiveUnion(3, 1, Rect(1, 2, 3, 4), cols_, 4);
  LiveUnion(6, 2, Rect(4, 4, 1, 1), cols_, 1);
  in = Input();
  WaterproofProc(&in);
  // Rows 1-4 and columns 1-4 (self index 8 + column); every third value is -5.
  int rows = 0, cols = 0;
  for (int r = 1; r <= 4; ++r) rows += self_[r] > 0 ? self_[r] : 0;
  for (int c = 1; c <= 4; ++c) cols += self_[8 + c] > 0 ? self_[8 + c] : 0;
  EXPECT_EQ(int(gstWaterState.WaterSelfRowSum), rows);
  EXPECT_EQ(int(gstWaterState.WaterSelfColSum), cols);
  EXPECT_EQ(uint32_t{gstWaterState.WaterSelfSumPrev}, 0u) << "the call before had no union";
}

TEST_F(WaterOps, FingerCountersFollowThePointsOfTheLastFrame) {
  struct Step {
    uint8_t fingers;
    uint8_t zero, one, many, sum;
  };
  const Step steps[] = {{0, 1, 0, 0, 0}, {1, 0, 1, 0, 1}, {1, 0, 2, 0, 2}, {3, 0, 0, 1, 5}, {20, 0, 0, 2, 25},
                        {40, 0, 0, 3, 50}, {0, 1, 0, 0, 0}};
  for (const Step& s : steps) {
    WaterproofInput in = Input();
    in.ubFingerNum = s.fingers;
    WaterproofProc(&in);
    const WaterModuleState& w = gstWaterState;
    EXPECT_EQ(w.WaterZeroFingerCnt, s.zero) << int(s.fingers);
    EXPECT_EQ(w.WaterOneFingerCnt, s.one) << int(s.fingers);
    EXPECT_EQ(w.WaterManyFingerCnt, s.many) << int(s.fingers);
    EXPECT_EQ(w.WaterFingerSum, s.sum) << int(s.fingers);
  }
}

TEST_F(WaterOps, TheCheckModeScoreFallsFasterWhenAUnionCentreLeftItsRectangle) {
  struct Case {
    const char* what;
    uint16_t lastX, lastY;  // quarter nodes
    uint8_t score, wantScore, wantMode;
  };
  const Case cases[] = {
      {"centre well inside", 4 * 4, 4 * 3, 10, 9, 1},
      {"centre on the edge: widened by one it reaches out", 4 * 2, 4 * 3, 10, 5, 1},
      {"the last points end the check mode", 4 * 2, 4 * 3, 5, 0, 0},
  };
  for (const Case& c : cases) {
    Init(8, 10);
    WaterUnion& u = LiveUnion(0, 1, Rect(2, 5, 2, 6), cols_, 20);
    u.lastX = c.lastX;
    u.lastY = c.lastY;
    WaterModuleState& w = gstWaterState;
    w.WaterCheckMode = 1;
    w.WaterCheckScore = c.score;
    w.WaterCheckStep = 5;
    w.WaterMoveFlag = 1;
    WaterproofInput in = Input();
    in.ubSkip = 1;  // no region-level check this frame: only the score moves
    WaterproofProc(&in);
    EXPECT_EQ(w.WaterCheckScore, c.wantScore) << c.what;
    EXPECT_EQ(w.WaterCheckMode, c.wantMode) << c.what;
    // Once the mode has ended no union decision runs this frame: only the end clears the
    // move flag.
    if (c.wantMode == 0) {
      EXPECT_EQ(w.WaterMoveFlag, 0) << c.what;
    }
  }
}

// ---- Network step -------------------------------------------------------------------------

// A candidate union for the network step: a 3 x 7 block of 200 that rose from nothing, a
// wet, armed union over it, the check mode holding the touch gate open, one finger down.
class WaterNetStep : public WaterOps {
 protected:
  void SetUp() override {
    Init(20, 40);
    FillBlock(diff_, cols_, Rect(2, 4, 1, 7), 200);
    WaterUnion& u = LiveUnion(0, 1, Rect(2, 4, 1, 7), cols_, 21);
    u.wetMark = 1;
    u.armCount = 1;
    u.strongCount = 21;
    WaterModuleState& w = gstWaterState;
    w.WaterCheckMode = 1;
    w.WaterCheckScore = 150;
    w.WaterCheckTimer = 20;
    work_.assign(2 * kWaterNetPoolBytes, 0);
  }
  // Every kernel 0: each head gives sigmoid of its last bias.
  void InstallScores(float b1, float b2) {
    static std::vector<uint16_t> blob;
    blob = waternet::Blob(0.0f, 0.0f);
    blob[blob.size() - 42] = SingleToHalfOnce(b1);
    blob[blob.size() - 1] = SingleToHalfOnce(b2);
    ASSERT_EQ(NetWaterSetWeights(blob.data(), static_cast<uint32_t>(blob.size() * 2)), 0u);
  }
  // A block a test installed stays out of the next one.
  void TearDown() override { NetWaterRemoveWeights(); }
  void Frame(bool network = true) {
    WaterproofInput in = Input();
    in.ubFingerNum = 1;
    in.swDiffMax = 200;
    in.pubNetWork = network ? work_.data() : nullptr;
    WaterproofProc(&in);
  }
  std::vector<uint8_t> work_;
};

TEST_F(WaterNetStep, TheTwoScoresDecide) {
  struct Case {
    const char* what;
    float b1, b2;  // sigmoid 0.812 = 81, 0.805 = 80, 0.112 = 11, 0.105 = 10, 0.9 = 90, 0.5 = 50
    bool water;
  };
  const Case cases[] = {
      {"81 and 11", 1.463f, -2.069f, true},
      {"80 and 50", 1.419f, 0.0f, false},
      {"90 and 10", 2.2f, -2.14f, false},
  };
  for (const Case& c : cases) {
    SetUp();
    InstallScores(c.b1, c.b2);
    Frame();
    const WaterModuleState& w = gstWaterState;
    EXPECT_EQ(w.gboCurRunDl, 1) << c.what;
    EXPECT_EQ(w.gboDlWaterSta, c.water ? 1 : 0) << c.what;
    EXPECT_EQ(w.WaterNetRegion, c.water ? 1 : 0) << c.what;
    EXPECT_EQ(w.astUnion[0].confirmMark, c.water ? 1 : 0) << c.what;
    EXPECT_EQ(int(w.astUnion[0].armCount), c.water ? 2 : 1) << c.what;
  }
}

TEST_F(WaterNetStep, ThreeRunsInARowBlockTheNetworkForTwentyOneFrames) {
  InstallScores(0.5f, 0.5f);  // 62 and 62: a run without water
  const WaterModuleState& w = gstWaterState;
  const uint8_t counts[3] = {1, 2, 23};
  for (uint8_t want : counts) {
    Frame();
    EXPECT_EQ(w.gboCurRunDl, 1);
    EXPECT_EQ(w.gubTryDlCount, want);
  }
  for (int f = 0; f < 21; ++f) {
    Frame();
    ASSERT_EQ(w.gboCurRunDl, 0) << f;
  }
  EXPECT_EQ(w.gubTryDlCount, 2);
  Frame();
  EXPECT_EQ(w.gboCurRunDl, 1) << "the 22nd frame runs again";
}

TEST_F(WaterNetStep, WithoutAWorkBufferTheLineCheckDecides) {
  // Column profile: high over the columns of the rise (1-3), low beyond: a water tail.
  for (int c = 1; c <= 3; ++c) self_[rows_ + c] = 200;
  for (int c = 4; c <= 7; ++c) self_[rows_ + c] = 60;
  Frame(false);
  const WaterModuleState& w = gstWaterState;
  EXPECT_EQ(w.gboCurRunDl, 0);
  EXPECT_EQ(w.WaterNetRegion, 1);
  EXPECT_EQ(w.astUnion[0].confirmMark, 1);
  EXPECT_EQ(int(w.astUnion[0].armCount), 2);
}

TEST_F(WaterNetStep, AChangeBelowEightyIsNeitherLineTestedNorMarked) {
  for (int c = 1; c <= 3; ++c) self_[rows_ + c] = 200;
  for (int c = 4; c <= 7; ++c) self_[rows_ + c] = 60;
  FillBlock(prev_, cols_, Rect(2, 4, 1, 7), 121);
  Frame(false);
  EXPECT_EQ(gstWaterState.WaterNetRegion, 0);
  EXPECT_EQ(int(gstWaterState.astUnion[0].armCount), 1);
  FillBlock(prev_, cols_, Rect(2, 4, 1, 7), 120);
  Frame(false);
  EXPECT_EQ(gstWaterState.WaterNetRegion, 1) << "a change of 80 is enough";
}

TEST_F(WaterNetStep, ALargerGridNeverRunsTheNetwork) {
  InstallScores(2.0f, 2.0f);
  for (const auto& size : {std::pair<uint8_t, uint8_t>{20, 41}, std::pair<uint8_t, uint8_t>{21, 40}}) {
    Init(size.first, size.second);
    FillBlock(diff_, cols_, Rect(2, 4, 1, 7), 200);
    WaterUnion& u = LiveUnion(0, 1, Rect(2, 4, 1, 7), cols_, 21);
    u.wetMark = 1;
    u.armCount = 1;
    gstWaterState.WaterCheckMode = 1;
    gstWaterState.WaterCheckScore = 150;
    Frame();
    EXPECT_EQ(gstWaterState.gboCurRunDl, 0) << int(size.first) << "x" << int(size.second);
  }
}

// ---- The stage and the core's wrapper -------------------------------------------------------

// The stage wired to the module records: the common record's grid and maps, the region
// record and label map of region detection, pairing's previous map.
class WaterStage : public WaterOps {
 protected:
  void SetUp() override {
    WaterOps::SetUp();
    saved_ = gstCommon;
    gstCommon.ubDrvNum = rows_;
    gstCommon.ubSenNum = cols_;
    gstCommon.stData.pswDiffData = diff_.data();
    gstCommon.stData.pswSelfDiffData = self_.data();
    gstCommon.pubRegionNodeBuf = mask_.data();
    gstCommon.swTouchThreshold = 100;
    gstCommon.uwSecondThreshold = 120;
    savedLastLast_ = gpswDiffLastLast;
    lastLast_.assign(kRegionMaxNodes, 7);
    gpswDiffLastLast = lastLast_.data();
    memset(&gstMutualRegion, 0, sizeof(gstMutualRegion));
    memset(gaubRegionLabelMap, 255, sizeof(gaubRegionLabelMap));
    for (uint32_t i = 0; i < static_cast<uint32_t>(rows_) * cols_; ++i) CoordPairPrevDiffMap()[i] = static_cast<int16_t>(i);
  }
  void TearDown() override {
    gstCommon = saved_;
    gpswDiffLastLast = savedLastLast_;
    memset(CoordPairPrevDiffMap(), 0, kRegionMaxNodes * sizeof(int16_t));
  }
  CommonRecord saved_;
  int16_t* savedLastLast_ = nullptr;
  std::vector<int16_t> lastLast_;
};

TEST_F(WaterStage, OffTheStageResetsTheWaterStateAndKeepsThePreviousMap) {
  gstCommon.ubWaterDetectEn = 0;
  gstCommon.ubWaterMode = 1;
  gstCommon.ubWaterFlag = 1;
  gstCommon.ubWaterResult = 1;
  LiveUnion(2, 1, Rect(1, 2, 1, 2), cols_, 4);
  RegionWaterProcPkg();
  EXPECT_EQ(gstWaterState.astUnion[2].label, kWaterUnionFree);
  EXPECT_EQ(gstCommon.ubWaterFlag, 0);
  EXPECT_EQ(gstCommon.ubWaterResult, 0);
  for (int i = 0; i < rows_ * cols_; ++i) ASSERT_EQ(lastLast_[i], i) << i;
  EXPECT_EQ(lastLast_[rows_ * cols_], 7) << "only the grid is copied";
}

TEST_F(WaterStage, ForcedWaterRunsTheWrapperWhichWritesTheResultsBack) {
  gstCommon.ubWaterDetectEn = 0;
  gstCommon.ubWaterMode = 2;
  // A wet union with a weak region on it, as in the processing test, through the module
  // records this time.
  FillBlock(diff_, cols_, Rect(2, 4, 2, 5), 80);
  WaterUnion& u = LiveUnion(0, 1, Rect(2, 4, 2, 5), cols_, 12);
  u.wetMark = 1;
  u.strongCount = 12;
  gstWaterState.WaterUnionFlag = 1;
  for (int i = 0; i < rows_ * cols_; ++i) CoordPairPrevDiffMap()[i] = 0;
  MutualRegionSet& m = gstMutualRegion;
  m.astRect[0] = Rect(6, 6, 8, 8);
  m.auwPeak[0] = 300;
  m.astRect[1] = Rect(3, 3, 3, 4);
  m.auwPeak[1] = 80;
  m.ubRegionNum = 2;
  m.ubPairNum = 2;
  gaubRegionLabelMap[6 * cols_ + 8] = 0;
  gaubRegionLabelMap[3 * cols_ + 3] = gaubRegionLabelMap[3 * cols_ + 4] = 1;
  D(6, 8) = 300;
  gstCommon.swDiffMax = 300;
  RegionWaterProcPkg();
  EXPECT_EQ(m.ubRegionNum, 1);
  EXPECT_EQ(m.ubPairNum, 1);
  EXPECT_EQ(gstCommon.ubRemovedCount, 1);
  EXPECT_EQ(gstCommon.ubWaterFlag, 1) << "forced by the mode byte";
  EXPECT_EQ(gstCommon.ubWaterResult, 1);
  EXPECT_EQ(gstSelkoAlgoDebugInfo.ubWaterRemoved, 1);
  RegionRect listed;
  memcpy(&listed, gstSelkoAlgoDebugInfo.aubWaterRemovedRects, 4);
  EXPECT_EQ(RegionRectWord(listed), RegionRectWord(Rect(3, 3, 3, 4))) << "the removed rectangle, not entry 0";
  EXPECT_EQ(gstSelkoAlgoDebugInfo.ubWaterByte, 1) << "union flag";
}

}  // namespace
