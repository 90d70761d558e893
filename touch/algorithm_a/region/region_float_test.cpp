// Floating-network records: the rate gate, the decoder of the likelihood map and the
// floating-region record lookup.
#include "region_float.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "frnn.h"
#include "region_proc.h"

namespace {

RegionRect Rect(uint8_t r0, uint8_t r1, uint8_t c0, uint8_t c1) { return RegionRect{r0, r1, c0, c1}; }

class FloatFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    memset(&gstNetFloatInfo, 0, sizeof(gstNetFloatInfo));
    memset(gastFloatRegionRecord, 0, sizeof(gastFloatRegionRecord));
    gboNetFloatInit = 0;
    map_.assign(kFloatNetStride * 20, 0);
    gstNetFloatInfo.pswOutputMap = map_.data();
    RegionAcquireStateInit(nullptr);
  }
  void TearDown() override {
    gstNetFloatInfo.pswOutputMap = nullptr;
    NetFloatRemoveWeights();  // a block a test installed stays out of the next one
  }
  // Grid node (r, c) of the bordered output map.
  int16_t& O(int r, int c) { return map_[(r + 1) * kFloatNetStride + c + 1]; }
  void NetworkSequenceRoad();
  std::vector<int16_t> map_;
};

TEST_F(FloatFixture, GateAllowsThreeRunsThenWaitsTwentyFrames) {
  EXPECT_EQ(GateFloatNetResult(1, -1), 1u) << "first call initialises";
  EXPECT_EQ(gstNetFloatInfo.uwFramesSinceRun, 20);
  auto run = [] {
    NetFloatInfo& n = gstNetFloatInfo;
    n.ubFresh = 1;
    n.uwFramesSinceRun = 0;
    if (n.ubRunState <= 2) ++n.ubRunState;
  };
  for (int i = 0; i < 3; ++i) {
    GateFloatNetResult(0, -1);  // frame reset
    ASSERT_EQ(GateFloatNetResult(1, 1), 1u) << i;
    run();
    EXPECT_EQ(GateFloatNetResult(1, 1), 0u) << "fresh this frame";
  }
  for (int i = 0; i < 19; ++i) {
    GateFloatNetResult(0, -1);
    EXPECT_EQ(GateFloatNetResult(1, 1), 0u) << i;
  }
  GateFloatNetResult(0, -1);  // the twentieth frame without a run
  EXPECT_EQ(GateFloatNetResult(1, 1), 1u);
  EXPECT_EQ(gstNetFloatInfo.ubRunState, 0);
}

TEST_F(FloatFixture, DecoderTurnsPeaksIntoRectanglesThatHoldSignal) {
  std::vector<int16_t> diff(10 * 12, 0);
  uint16_t keep[kRegionMax] = {};
  RegionRect rects[kRegionMax] = {};
  DecodeFloatNetOutput(diff.data(), keep, rects, 10, 12, 0);
  EXPECT_EQ(gstNetFloatInfo.ubRectNum, 0) << "a flat map";

  O(4, 5) = 250;  // neighbours below 101: a one-node box
  DecodeFloatNetOutput(diff.data(), keep, rects, 10, 12, 0);
  EXPECT_EQ(gstNetFloatInfo.ubRectNum, 0) << "no diff of 51 under it";
  diff[4 * 12 + 5] = 51;
  DecodeFloatNetOutput(diff.data(), keep, rects, 10, 12, 0);
  ASSERT_EQ(gstNetFloatInfo.ubRectNum, 1);
  EXPECT_EQ(RegionRectWord(gstNetFloatInfo.astRect[0]), RegionRectWord(Rect(4, 4, 5, 5)));

  // Twelve separate peaks: at most eleven rectangles.
  gstNetFloatInfo.ubRectNum = 0;
  for (int i = 0; i < 12; ++i) {
    const int r = (i / 4) * 3, c = (i % 4) * 3;
    O(r, c) = 300;
    diff[r * 12 + c] = 100;
  }
  DecodeFloatNetOutput(diff.data(), keep, rects, 10, 12, 0);
  EXPECT_EQ(gstNetFloatInfo.ubRectNum, kFloatComplementMax);
}

// The network sequence runs the engine's complement network in the work buffer and
// decodes its map; with no weight block installed the run fails and nothing is marked.
// The engine keeps an installed weight block for the rest of the process, so the case
// runs in a freshly started child where none was installed before it.
TEST_F(FloatFixture, NetworkSequenceRunsTheEngineAndMarksTheRun) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        NetworkSequenceRoad();
        std::exit(::testing::Test::HasFailure() ? 1 : 0);
      },
      ::testing::ExitedWithCode(0), "");
}

void FloatFixture::NetworkSequenceRoad() {
  std::vector<uint8_t> cache(kFloatNetBufferBytes, 0);
  std::vector<int16_t> diff(16 * 20, 0);
  diff[5 * 20 + 7] = 120;
  uint16_t keep[kRegionMax] = {};
  RegionRect rects[kRegionMax] = {};
  EXPECT_EQ(RunFloatNetSequence(diff.data(), keep, rects, 16, 20, cache.data(), 1), 0);
  EXPECT_EQ(gstNetFloatInfo.ubFresh, 0);
  EXPECT_EQ(gstNetFloatInfo.uwFramesSinceRun, 20);

  // An all-zero weight block: the map holds 500 over the grid.
  static const std::vector<uint8_t> zeros(kFloatNetWeightBytes, 0);
  ASSERT_EQ(NetFloatSetWeights(zeros.data(), kFloatNetWeightBytes), FRNN_OK);
  EXPECT_EQ(RunFloatNetSequence(diff.data(), keep, rects, 16, 20, cache.data(), 0), 0) << "no trigger";
  ASSERT_EQ(RunFloatNetSequence(diff.data(), keep, rects, 16, 20, cache.data(), 1), 1);
  const NetFloatInfo& n = gstNetFloatInfo;
  EXPECT_EQ(n.ubFresh, 1);
  EXPECT_EQ(n.uwFramesSinceRun, 0);
  EXPECT_EQ(n.aubParam[0], 56);
  EXPECT_EQ(n.aubParam[1], 52);
  EXPECT_EQ(n.ubRunState, 1);
  EXPECT_EQ(reinterpret_cast<const uint8_t*>(n.pswOutputMap), cache.data() + kFloatNetMap1Offset);
  EXPECT_EQ(n.pswOutputMap[1 * kFloatNetStride + 1], 500);
  EXPECT_GE(n.ubRectNum, 1) << "a box over the node of 120";
  EXPECT_EQ(RunFloatNetSequence(diff.data(), keep, rects, 16, 20, cache.data(), 1), 0) << "fresh: once per frame";
  gstNetFloatInfo.pswOutputMap = nullptr;
}

TEST_F(FloatFixture, RecordLookupNeedsTheRectangleInsideAGrownRecord) {
  FloatRegionRecord out{};
  out.ubClass = 77;
  EXPECT_EQ(MatchFloatRegionRecord(10, 10, RegionRectWord(Rect(1, 2, 1, 2)), &out), 0);
  EXPECT_EQ(out.ubClass, 77) << "an empty table leaves OUT alone";
  gastFloatRegionRecord[3].stRect = Rect(2, 4, 2, 4);
  gastFloatRegionRecord[3].ubClass = 2;
  EXPECT_EQ(MatchFloatRegionRecord(10, 10, RegionRectWord(Rect(1, 5, 1, 5)), &out), 1);
  EXPECT_EQ(out.ubClass, 2);
  EXPECT_EQ(MatchFloatRegionRecord(10, 10, RegionRectWord(Rect(1, 6, 1, 5)), &out), 0);
  // Fresh network output: a longer rectangle that the record covers by more than two
  // thirds also matches (15 of 21 nodes).
  gastFloatRegionRecord[3].stRect = Rect(2, 6, 2, 4);
  EXPECT_EQ(MatchFloatRegionRecord(10, 10, RegionRectWord(Rect(2, 8, 2, 4)), &out), 0);
  gstNetFloatInfo.ubFresh = 1;
  EXPECT_EQ(MatchFloatRegionRecord(10, 10, RegionRectWord(Rect(2, 8, 2, 4)), &out), 1);
  EXPECT_EQ(MatchFloatRegionRecord(10, 10, RegionRectWord(Rect(2, 9, 2, 4)), &out), 0) << "15 of 24: too little";
}

TEST_F(FloatFixture, SteadyTrackRectanglesSkipEmptyAndYoungSlots) {
  RegionTrackSlot* s = gstRegionAcquireState.astSlot;
  s[1] = RegionTrackSlot{1, 0, 6, 1, 300, 0, 0, Rect(1, 2, 3, 4), {}, {}, 0, 0, 0, 0};
  s[2] = RegionTrackSlot{1, 0, 6, 2, 300, 0, 0, Rect(0, 0, 0, 0), {}, {}, 0, 0, 0, 0};
  s[4] = RegionTrackSlot{1, 0, 5, 4, 300, 0, 0, Rect(5, 6, 5, 6), {}, {}, 0, 0, 0, 0};
  s[7] = RegionTrackSlot{1, 0, 9, 7, 300, 0, 0, Rect(7, 8, 1, 2), {}, {}, 0, 0, 0, 0};
  uint32_t rects[12];
  memset(rects, 0xAB, sizeof(rects));
  ASSERT_EQ(GetSteadyTrackRects(rects, nullptr), 2);
  EXPECT_EQ(rects[0], RegionRectWord(Rect(1, 2, 3, 4)));
  EXPECT_EQ(rects[1], RegionRectWord(Rect(7, 8, 1, 2)));
  EXPECT_EQ(rects[2], 0u);
  EXPECT_EQ(rects[11], 0u);
}

}  // namespace
