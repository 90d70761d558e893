// Floating region combination: the single-peak judgement, the gates, the distance and
// strength limits, the negative-area test, and that the single-peak tests read the profile
// (rows, then columns) while the negative counts read the row-major node map.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "globals_restore_test.h"
#include "region.h"
#include "region_fixture_test.h"
#include "region_float_combine.h"

namespace {

using regiontest::Rect;

// A 10 x 14 grid with two weak regions side by side in rows 4-6: region 0 over columns 3-5,
// region 1 over columns 7-9; their centre distance measure is 8 x 8 = 64.
class FloatCombineLayouts : public ::testing::Test {
 protected:
  static constexpr uint8_t kRows = 10, kCols = 14;
  void SetUp() override {
    memset(&gstFloatSelfCfg, 0, sizeof(gstFloatSelfCfg));
    CfgU16(8, 100);   // merge distance
    CfgU16(10, 500);  // strength limit
    gstFloatSelfCfg.aubData[12] = 20;  // single-peak rise
    map_.assign(kRows * kCols, 0);
    profile_.assign(kRows + kCols, 0);
    label_.assign(kRows * kCols, kRegionLabelNone);
    memset(rect_, 0, sizeof(rect_));
    memset(keep_, 0, sizeof(keep_));
    memset(second_, 0, sizeof(second_));
    memset(third_, 0, sizeof(third_));
    count_ = 0;
    Add(Rect(4, 6, 3, 5), 200);
    Add(Rect(4, 6, 7, 9), 150);
    SingleRowPeak();
    SingleColumnPeak();
  }
  void CfgU16(uint8_t at, uint16_t v) {
    gstFloatSelfCfg.aubData[at] = static_cast<uint8_t>(v);
    gstFloatSelfCfg.aubData[at + 1] = static_cast<uint8_t>(v >> 8);
  }
  void Add(RegionRect r, uint16_t keep) {
    const uint8_t i = count_++;
    rect_[i] = r;
    keep_[i] = keep;
    second_[i] = static_cast<uint16_t>(100 + i);
    for (int row = r.ubRowStart; row <= r.ubRowEnd; ++row) {
      for (int col = r.ubColStart; col <= r.ubColEnd; ++col) {
        label_[row * kCols + col] = i;
        map_[row * kCols + col] = 60;
      }
    }
  }
  void SingleRowPeak() {
    profile_[4] = 50;
    profile_[5] = 80;
    profile_[6] = 50;
  }
  void SingleColumnPeak() {
    const int16_t v[7] = {20, 40, 60, 90, 60, 40, 20};
    for (int c = 0; c < 7; ++c) profile_[kRows + 3 + c] = v[c];
  }
  void TwoColumnPeaks() {
    const int16_t v[7] = {20, 80, 20, 20, 20, 80, 20};
    for (int c = 0; c < 7; ++c) profile_[kRows + 3 + c] = v[c];
  }
  // N nodes of the node map below -50 (threshold 100), filled column by column over
  // columns C0.. of rows 4-6.
  void Negative(int c0, int n) {
    for (int k = 0; k < n; ++k) map_[(4 + k % 3) * kCols + c0 + k / 3] = -60;
  }
  FloatCombineInput Input() {
    FloatCombineInput in;
    memset(&in, 0, sizeof(in));
    in.ubMode = 1;
    in.ubMainRowSpan = 3;
    in.ubMainColSpan = 3;
    in.ubRows = kRows;
    in.ubCols = kCols;
    in.uwNegThreshold = 100;
    in.pswNodeMap = map_.data();
    in.pswProfile = profile_.data();
    in.pstRect = rect_;
    in.puwKeep = keep_;
    in.puwSecond = second_;
    in.puwThird = third_;
    in.pubLabelMap = label_.data();
    in.ubCount = count_;
    return in;
  }
  template <typename Edit>
  uint8_t Run(Edit edit) {
    FloatCombineInput in = Input();
    edit(in);
    RegionFloatCombine(&in);
    return in.ubCount;
  }
  uint8_t Run() {
    return Run([](FloatCombineInput&) {});
  }

  std::vector<int16_t> map_, profile_;
  std::vector<uint8_t> label_;
  RegionRect rect_[kRegionMax];
  uint16_t keep_[kRegionMax], second_[kRegionMax], third_[kRegionMax];
  uint8_t count_ = 0;
};

TEST_F(FloatCombineLayouts, TwoWeakNeighboursWithOnePeakBecomeOneRegion) {
  ASSERT_EQ(Run(), 1);
  EXPECT_EQ(RegionRectWord(rect_[0]), RegionRectWord(Rect(4, 6, 3, 9)));
  EXPECT_EQ(keep_[0], 200);
  EXPECT_EQ(keep_[1], 0);
  EXPECT_EQ(second_[0], 100);
  for (int c = 3; c <= 9; ++c) {
    if (c == 6) continue;
    EXPECT_EQ(label_[5 * kCols + c], 0) << "column " << c << " belongs to the merged region";
  }
}

// The column test reads the profile at rows + column and the row test at the row; the
// negative counts read the node map row by row. Changing one map changes only the test that
// reads it.
TEST_F(FloatCombineLayouts, TheSinglePeakTestsReadTheProfileAndTheNegativeCountsTheNodeMap) {
  TwoColumnPeaks();
  EXPECT_EQ(Run(), 2) << "two peaks across the union's columns";

  SetUp();
  profile_[5] = 20;  // rows 4-6: 50, 20, 50
  EXPECT_EQ(Run(), 2) << "two peaks across the union's rows";

  SetUp();
  Negative(6, 9);  // 9 of the union's 21 nodes, none in region 0
  EXPECT_EQ(Run(), 2) << "a mostly negative union in the node map";

  // The same negative node map is harmless where it is not read: the profile alone decides
  // the peaks, the node map alone the negative area.
  SetUp();
  for (int i = 0; i < kRows + kCols; ++i) map_[i] = static_cast<int16_t>(i % 2 == 0 ? 300 : -300);
  EXPECT_EQ(Run(), 1) << "an alternating first row of the node map is no second peak";
}

TEST_F(FloatCombineLayouts, NegativeAreaAtItsBounds) {
  struct Case {
    int inRegion, beside;  // negative nodes in region 0, and in the union beside it
    uint8_t count;
  } cases[] = {
      {3, 6, 1},  // ni + 6 = nu: merged without the 40 % test
      {2, 7, 2},  // ni + 7 = nu, 9 of 21 nodes (> 40 %)
      {0, 7, 1},  // ni + 7 = nu, 7 of 21 nodes (< 40 %)
  };
  for (const Case& c : cases) {
    SetUp();
    Negative(3, c.inRegion);
    Negative(6, c.beside);
    EXPECT_EQ(Run(), c.count) << c.inRegion << " + " << c.beside;
  }
}

TEST_F(FloatCombineLayouts, DistanceStrengthAndShapeLimits) {
  struct Case {
    const char* what;
    uint16_t dist;
    uint8_t elongDist, elong;
    uint16_t keep0, keep1;
    uint8_t count;
  } cases[] = {
      {"distance 64 against 64", 64, 0, 0, 200, 150, 2},
      {"distance 64 against 65", 65, 0, 0, 200, 150, 1},
      {"elongated: 64 + 1", 64, 1, 1, 200, 150, 1},
      {"extra distance only when elongated", 64, 1, 0, 200, 150, 2},
      {"both stronger than the limit", 100, 0, 0, 600, 501, 2},
      {"one at the limit", 100, 0, 0, 600, 500, 1},
  };
  for (const Case& c : cases) {
    SetUp();
    CfgU16(8, c.dist);
    gstFloatSelfCfg.aubData[13] = c.elongDist;
    keep_[0] = c.keep0;
    keep_[1] = c.keep1;
    EXPECT_EQ(Run([&](FloatCombineInput& in) { in.ubElongation = c.elong; }), c.count) << c.what;
  }
  // Two one-row regions make a one-row union, which is never merged.
  SetUp();
  rect_[0] = Rect(5, 5, 3, 5);
  rect_[1] = Rect(5, 5, 7, 9);
  EXPECT_EQ(Run(), 2);
}

// Regions far apart in the corners never merge; they only make the count reach six.
TEST_F(FloatCombineLayouts, GatesSwitchTheCombinationOff) {
  const auto six = [this] {
    Add(Rect(0, 0, 0, 0), 100);
    Add(Rect(0, 0, 13, 13), 100);
    Add(Rect(9, 9, 0, 0), 100);
    Add(Rect(9, 9, 13, 13), 100);
  };
  gstFloatSelfCfg.aubData[18] = 1;
  EXPECT_EQ(Run(), 2) << "configuration byte 18 bit 0";
  SetUp();
  gstFloatSelfCfg.aubData[12] = 0;
  EXPECT_EQ(Run(), 2) << "no rise threshold";
  SetUp();
  EXPECT_EQ(Run([](FloatCombineInput& in) { in.ubCount = 1; }), 1) << "one region";
  SetUp();
  six();
  EXPECT_EQ(Run([](FloatCombineInput& in) { in.ubMainRowSpan = in.ubMainColSpan = 255; }), 6)
      << "six regions, spans not measured";
  SetUp();
  six();
  EXPECT_EQ(Run([](FloatCombineInput& in) { in.ubMainRowSpan = 11; }), 6) << "six regions, a long main region";
  SetUp();
  six();
  EXPECT_EQ(Run([](FloatCombineInput& in) { in.ubMainColSpan = 10; }), 5) << "six regions, spans within 10";
  SetUp();
  six();
  EXPECT_EQ(Run([](FloatCombineInput& in) {
              in.ubMainRowSpan = 255;
              in.ubElongation = 2;
            }),
            5)
      << "six regions, elongated";
}

// A grid of more nodes than the region label map holds cannot be the module's panel (it is
// refused at initialisation), but the combination and the compaction behind it are handed
// its size: they must leave such a grid alone rather than relabel nodes past the map. The
// maps here have the label map's size, as the module's have.
TEST(FloatCombineGrid, GridLargerThanTheLabelMapChangesNothing) {
  constexpr uint8_t kRows = 122, kCols = 96;  // 11712 nodes
  static_assert(uint32_t{kRows} * kCols > kRegionMaxNodes);
  fxtest::GlobalsRestore restore;
  restore.Keep(gstFloatSelfCfg);
  memset(&gstFloatSelfCfg, 0, sizeof(gstFloatSelfCfg));
  gstFloatSelfCfg.aubData[8] = 100;  // merge distance
  gstFloatSelfCfg.aubData[10] = 0xF4;  // strength limit 500
  gstFloatSelfCfg.aubData[11] = 0x01;
  gstFloatSelfCfg.aubData[12] = 20;  // single-peak rise
  std::vector<int16_t> map(kRegionMaxNodes, 60), profile(kRows + kCols, 0);
  std::vector<uint8_t> label(kRegionMaxNodes, kRegionLabelNone);
  profile[5] = 80;  // one peak across the rows and one across the columns
  profile[kRows + 6] = 80;
  // Two weak neighbours that the combination joins, and a third region that the compaction
  // then moves down, with its rectangle past the label map (row 40 starts at node 3840).
  RegionRect rect[kRegionMax] = {Rect(4, 6, 3, 5), Rect(4, 6, 7, 9), Rect(40, 41, 10, 11)};
  uint16_t keep[kRegionMax] = {200, 150, 300};
  uint16_t second[kRegionMax] = {}, third[kRegionMax] = {};
  FloatCombineInput in;
  memset(&in, 0, sizeof(in));
  in.ubMode = 1;
  in.ubMainRowSpan = 3;
  in.ubMainColSpan = 3;
  in.ubRows = kRows;
  in.ubCols = kCols;
  in.uwNegThreshold = 100;
  in.pswNodeMap = map.data();
  in.pswProfile = profile.data();
  in.pstRect = rect;
  in.puwKeep = keep;
  in.puwSecond = second;
  in.puwThird = third;
  in.pubLabelMap = label.data();
  in.ubCount = 3;
  RegionFloatCombine(&in);
  EXPECT_EQ(in.ubCount, 3);
  EXPECT_EQ(RegionRectWord(rect[0]), RegionRectWord(Rect(4, 6, 3, 5)));
  EXPECT_EQ(RegionRectWord(rect[2]), RegionRectWord(Rect(40, 41, 10, 11)));
  EXPECT_EQ(keep[1], 150);

  // The compaction alone: the dropped region's entry is filled, the labels stay as they are.
  keep[1] = 0;
  EXPECT_EQ(RearrangeRegion(3, keep, rect, second, third, label.data(), kRows, kCols), 2);
  EXPECT_EQ(RegionRectWord(rect[1]), RegionRectWord(Rect(40, 41, 10, 11)));
  EXPECT_EQ(keep[1], 300);
  for (uint8_t v : label) ASSERT_EQ(v, kRegionLabelNone);
}

}  // namespace
