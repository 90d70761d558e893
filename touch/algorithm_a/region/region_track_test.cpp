// Slot tracking and the per-slot region update on hand-made maps.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "region_fixture_test.h"
#include "region_float.h"
#include "region_proc.h"

namespace {

using regiontest::AcquireFixture;
using regiontest::Rect;

class SlotUpdateFixture : public AcquireFixture {
 protected:
  void SetUp() override { Start(8, 8); }
  void Start(uint8_t rows, uint8_t cols) {
    Init(rows, cols);
    prev_.assign(static_cast<size_t>(rows) * cols, 0);
    memset(gastFloatRegionRecord, 0, sizeof(gastFloatRegionRecord));
  }
  int16_t& D(int r, int c) { return diff_[static_cast<size_t>(r) * cols_ + c]; }
  int16_t& P(int r, int c) { return prev_[static_cast<size_t>(r) * cols_ + c]; }
  uint8_t& SL(int r, int c) { return gstRegionAcquireState.aubSlotLabel[r * cols_ + c]; }
  // Steady slot S over N, its nodes labelled S, and an input record at threshold 100/120.
  RegionAcquireInput Steady(uint8_t s, RegionRect N, uint8_t frames = 6) {
    RegionTrackSlot& slot = gstRegionAcquireState.astSlot[s];
    slot = RegionTrackSlot{};
    slot.ubActive = 1;
    slot.ubFrameCnt = frames;
    slot.ubId = s;
    slot.uwPeak = 300;
    slot.stRect = slot.stRectCopy1 = slot.stRectCopy2 = N;
    for (int r = N.ubRowStart; r <= N.ubRowEnd; ++r)
      for (int c = N.ubColStart; c <= N.ubColEnd; ++c) SL(r, c) = s;
    gstRegionAcquireState.uwMergeLevel = 70;
    RegionAcquireInput in = Input();
    in.pswPrevDiff = prev_.data();
    return in;
  }
  std::vector<int16_t> prev_;
};

TEST_F(SlotUpdateFixture, PositionCheckFollowsThePairingAtSevenAndStopsAFarSlotFromEight) {
  const RegionRect N = Rect(2, 4, 2, 4);
  RegionAcquireInput in = Steady(2, N, 7);
  gstCoordPair.auwSlotX[2] = 40;
  gstCoordPair.auwSlotY[2] = 30;
  UpdateTrackSlotRegion(in, N, N, 2);
  EXPECT_EQ(int(gstRegionAcquireState.astSlot[2].uwTouchX), 40);
  EXPECT_EQ(int(gstRegionAcquireState.astSlot[2].uwTouchY), 30);
  EXPECT_EQ(gstCoordPair.aubSlotState[2], 0);

  Steady(2, N, 8);
  gstRegionAcquireState.astSlot[2].uwTouchX = 34;
  gstRegionAcquireState.astSlot[2].uwTouchY = 30;
  D(3, 5) = 200;  // a strong node beside the slot: no label may change
  const std::vector<uint8_t> before(gstRegionAcquireState.aubSlotLabel, gstRegionAcquireState.aubSlotLabel + 64);
  UpdateTrackSlotRegion(in, N, N, 2);
  EXPECT_EQ(gstCoordPair.aubSlotState[2], 8);
  EXPECT_EQ(std::vector<uint8_t>(gstRegionAcquireState.aubSlotLabel, gstRegionAcquireState.aubSlotLabel + 64), before);
}

TEST_F(SlotUpdateFixture, WithoutContactTheSlotTakesNAndOtherSlotsKeepTheirNodes) {
  const RegionRect N = Rect(2, 4, 2, 4);
  RegionAcquireInput in = Steady(2, Rect(4, 4, 4, 4));
  // Another slot's rectangle reaches into W1 at column 5.
  gstRegionAcquireState.astSlot[7].stRect = Rect(2, 3, 5, 6);
  SL(2, 5) = 7;
  SL(1, 5) = 7;  // another slot's label outside its rectangle: taken
  D(2, 2) = 80;  // unlabelled, at the merge level, touching no slot node: taken
  D(2, 3) = 60;  // below the merge level: stays free
  UpdateTrackSlotRegion(in, N, N, 2);
  const RegionTrackSlot& slot = gstRegionAcquireState.astSlot[2];
  EXPECT_EQ(slot.ubActive, 1);
  EXPECT_EQ(RegionRectWord(slot.stRect), RegionRectWord(N));
  EXPECT_EQ(SL(2, 2), 2);
  EXPECT_EQ(SL(2, 3), kRegionLabelNone);
  EXPECT_EQ(SL(3, 3), kRegionLabelNone) << "an empty node of N stays free";
  EXPECT_EQ(SL(4, 4), 2);
  EXPECT_EQ(SL(2, 5), 7) << "a node in another slot's rectangle keeps its label";
  EXPECT_EQ(SL(1, 5), 2);
}

TEST_F(SlotUpdateFixture, BlobsBesideASmallRectangleEndTheUpdateWithCode12) {
  const RegionRect N = Rect(2, 5, 2, 5);
  struct Case {
    const char* name;
    std::vector<std::pair<int, int>> blobs;  // single strong nodes right beside N
    int16_t value;
  };
  const Case cases[] = {
      {"two weak blobs: the second ends it", {{1, 1}, {6, 6}}, 110},
      {"one blob at the second threshold without outer nodes", {{1, 1}}, 130},
  };
  for (const Case& c : cases) {
    Start(8, 8);
    RegionAcquireInput in = Steady(2, N);
    for (auto [r, col] : c.blobs) D(r, col) = c.value;
    UpdateTrackSlotRegion(in, N, N, 2);
    EXPECT_EQ(gstCoordPair.aubSlotState[2], 12) << c.name;
    EXPECT_EQ(int(gstRegionAcquireState.astSlot[2].ubActive), 0) << c.name;
  }
}

TEST_F(SlotUpdateFixture, MoreThanFiveBlobsEndTheUpdateWithoutWorkingLabelsLeft) {
  // Six separate strong nodes around a 6 x 6 slot on a 10 x 10 grid.
  Start(10, 10);
  const RegionRect N = Rect(2, 7, 2, 7);
  RegionAcquireInput in = Steady(3, N);
  const int blobs[6][2] = {{1, 1}, {1, 4}, {1, 8}, {8, 1}, {8, 4}, {8, 8}};
  for (const auto& b : blobs) D(b[0], b[1]) = 200;
  UpdateTrackSlotRegion(in, N, N, 3);
  for (int r = 0; r < 10; ++r) {
    for (int c = 0; c < 10; ++c) {
      const uint8_t v = SL(r, c);
      const bool inN = r >= 2 && r <= 7 && c >= 2 && c <= 7;
      EXPECT_EQ(v, inN ? 3 : kRegionLabelNone) << r << "," << c;
    }
  }
}

TEST_F(SlotUpdateFixture, SlideTestOnASideAlongTheGridBorderReadsNothingBeyondIt) {
  // N against the last column: its column rises strongly, the column inside fell. Beyond
  // the grid there is nothing to show a slide, so the blob below N does not end the update.
  const RegionRect N = Rect(2, 5, 6, 7);
  RegionAcquireInput in = Steady(2, N);
  for (int r = 2; r <= 5; ++r) {
    D(r, 7) = 200;
    P(r, 7) = 50;
    D(r, 6) = 50;
    P(r, 6) = 200;
  }
  D(6, 7) = 110;
  D(6, 6) = 110;
  UpdateTrackSlotRegion(in, N, N, 2);
  EXPECT_NE(gstCoordPair.aubSlotState[2], 3);
  EXPECT_EQ(int(gstRegionAcquireState.astSlot[2].ubActive), 1);
}

TEST_F(SlotUpdateFixture, ARisingBlobWithoutItsOwnPeakEndsWithCode4) {
  // A strong node that rose by 200 right beside a 6 x 6 slot, with no peak of its own
  // outside N (the slot's node next to it is higher).
  Start(10, 10);
  const RegionRect N = Rect(2, 7, 2, 7);
  RegionAcquireInput in = Steady(2, N);
  for (int r = 2; r <= 7; ++r)
    for (int c = 2; c <= 7; ++c) D(r, c) = P(r, c) = 300;
  D(4, 8) = 250;
  UpdateTrackSlotRegion(in, N, N, 2);
  EXPECT_EQ(gstCoordPair.aubSlotState[2], 4);
  EXPECT_EQ(int(gstRegionAcquireState.astSlot[2].ubActive), 0);
}

// ---- Slot tracking through RegionAcquire ---------------------------------------------------

class TrackFixture : public SlotUpdateFixture {
 protected:
  void SetUp() override {
    Start(10, 12);
    gstRegionRoles.aubWaterFlag[0] = gstRegionRoles.aubWaterFlag[1] = 0;
  }
  // One frame with a blob of PEAK at (4, 5); the pairing reports last frame's rectangle
  // {3..5, 4..6} in slot 0 and the floating judgement a record for it.
  uint8_t Frame(int16_t peak) {
    prev_ = diff_;
    std::fill(diff_.begin(), diff_.end(), 0);
    Blob(4, 5, peak);
    gstCoordPair.astLastRect[0] = Rect(3, 5, 4, 6);
    gstCoordPair.auwLastRectMaxDiff[0] = 300;
    gstCoordPair.auwSlotX[0] = gstCoordPair.auwDownSlotX[0] = 20;
    gstCoordPair.auwSlotY[0] = gstCoordPair.auwDownSlotY[0] = 16;
    gastFloatRegionRecord[0].stRect = Rect(3, 5, 4, 6);
    RegionAcquireInput in = Input();
    in.pswPrevDiff = prev_.data();
    in.ubPrevPointNum = 1;
    RegionAcquire(&in);
    gstMutualRegion.ubRegionNum = in.ubRegionNum;
    return in.ubRegionNum;
  }
};

TEST_F(TrackFixture, AStillTouchBecomesSteadyAndALongHeldOneKeepsItsRegionThroughAWeakFrame) {
  EXPECT_EQ(Frame(300), 1);
  const RegionTrackSlot& slot = gstRegionAcquireState.astSlot[0];
  EXPECT_EQ(int(slot.ubFrameCnt), 0) << "the touch-down frame is not still";
  for (int f = 1; f <= 6; ++f) {
    EXPECT_EQ(Frame(300), 1);
    EXPECT_EQ(int(slot.ubFrameCnt), f) << f;
  }
  EXPECT_EQ(SL(4, 5), 0) << "a steady slot owns its strong nodes";
  for (int f = 7; f <= 16; ++f) Frame(300);
  EXPECT_EQ(int(slot.ubFrameCnt), 16);
  // A weak frame: the blob drops below the touch threshold; the slot pays the penalty of
  // 15 frames (not below 6) and its region stays with this frame's peak.
  EXPECT_EQ(Frame(90), 1);
  EXPECT_EQ(int(slot.ubFrameCnt), 6);
  EXPECT_EQ(int(gstMutualRegion.auwPeak[0]), 90);
  EXPECT_EQ(RegionRectWord(gstMutualRegion.astRect[0]), RegionRectWord(slot.stRect));
  // A second weak frame finds the count below the penalty: the slot goes, and so does the
  // region the search cannot find.
  EXPECT_EQ(Frame(90), 0);
  EXPECT_EQ(int(slot.ubFrameCnt), 0);
  EXPECT_EQ(slot.ubId, kRegionLabelNone);
}

TEST_F(TrackFixture, ATouchWithoutAFloatingRecordIsNotTaken) {
  Frame(300);
  memset(gastFloatRegionRecord, 0, sizeof(gastFloatRegionRecord));
  prev_ = diff_;
  RegionAcquireInput in = Input();
  in.pswPrevDiff = prev_.data();
  in.ubPrevPointNum = 1;
  RegionAcquire(&in);
  EXPECT_EQ(int(gstRegionAcquireState.astSlot[0].ubFrameCnt), 0);
  EXPECT_EQ(in.ubRegionNum, 1);
}

TEST_F(TrackFixture, ASteadySlotTakenAfreshElsewhereGivesUpItsOldNodes) {
  for (int f = 0; f <= 6; ++f) Frame(300);
  ASSERT_EQ(int(gstRegionAcquireState.astSlot[0].ubFrameCnt), 6);
  ASSERT_EQ(SL(4, 5), 0);
  // The pairing's slot 0 now follows a touch elsewhere, which has not moved since its own
  // touch-down.
  prev_ = diff_;
  std::fill(diff_.begin(), diff_.end(), 0);
  Blob(7, 9, 300);
  gstCoordPair.astLastRect[0] = Rect(6, 8, 8, 10);
  gstCoordPair.auwDownSlotX[0] = 36;
  gstCoordPair.auwDownSlotY[0] = 28;
  RegionAcquireInput in = Input();
  in.pswPrevDiff = prev_.data();
  in.ubPrevPointNum = 1;
  RegionAcquire(&in);
  for (int r = 3; r <= 5; ++r)
    for (int c = 4; c <= 6; ++c) EXPECT_EQ(SL(r, c), kRegionLabelNone) << r << "," << c;
}

TEST_F(TrackFixture, ASteadySlotsSideThatFellAwayStepsInward) {
  struct Case {
    int16_t prevRight;  // the right column's value in the previous frame
    RegionRect rect;    // the slot's rectangle afterwards
  };
  // Column 7 now holds 10: it steps in only when it fell from the previous frame.
  const Case cases[] = {{200, Rect(3, 5, 4, 6)}, {10, Rect(3, 5, 4, 7)}};
  for (const Case& c : cases) {
    SetUp();
    const RegionRect N = Rect(3, 5, 4, 7);
    RegionAcquireInput in = Steady(0, N, 8);
    for (int r = 3; r <= 5; ++r) {
      for (int col = 4; col <= 6; ++col) D(r, col) = P(r, col) = 300;
      D(r, 7) = 10;
      P(r, 7) = c.prevRight;
    }
    gstCoordPair.astLastRect[0] = N;
    gstCoordPair.auwLastRectMaxDiff[0] = 300;
    gstCoordPair.auwSlotX[0] = gstCoordPair.auwDownSlotX[0] = 22;
    gstCoordPair.auwSlotY[0] = gstCoordPair.auwDownSlotY[0] = 16;
    gstRegionAcquireState.astSlot[0].uwTouchX = 22;
    gstRegionAcquireState.astSlot[0].uwTouchY = 16;
    in.ubPrevPointNum = 1;
    RegionAcquire(&in);
    const RegionTrackSlot& slot = gstRegionAcquireState.astSlot[0];
    EXPECT_EQ(RegionRectWord(slot.stRect), RegionRectWord(c.rect)) << c.prevRight;
    EXPECT_EQ(slot.ubActive, 1) << c.prevRight;
    EXPECT_EQ(int(slot.ubFrameCnt), 9) << c.prevRight;
  }
}

}  // namespace
