// The small region-side stages on small grids of the common record: iron-cover detection,
// the self-capacitance filter, the long big-thumb judgement, raw-data consistency, diff
// beautification and the result-common record.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "ref_update.h"
#include "region.h"
#include "region_fixture_test.h"
#include "region_lib.h"
#include "region_proc.h"
#include "region_small.h"

namespace {

using regiontest::Rect;

// A ROWS x COLS grid in the common record with its diff, self, raw and mask buffers; the
// configuration records and the states of the small stages start cleared, and the common
// record is restored afterwards.
class SmallStageFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    memcpy(&savedCommon_, &gstCommon, sizeof(gstCommon));
    ClearConfigs();
    memset(&gstRegionRoles, 0, sizeof(gstRegionRoles));
    memset(&gstFloatSelfProc, 0, sizeof(gstFloatSelfProc));
    memset(&gstLongBigThumb, 0, sizeof(gstLongBigThumb));
    IronStateProcInit();
    RegFilterBySelfCapInit();
    memset(&gstRawConsis, 0, sizeof(gstRawConsis));
  }
  void TearDown() override {
    ClearConfigs();
    memset(&gstRegionRoles, 0, sizeof(gstRegionRoles));
    memcpy(&gstCommon, &savedCommon_, sizeof(gstCommon));
  }
  static void ClearConfigs() {
    memset(&gstLargeTouchCfg, 0, sizeof(gstLargeTouchCfg));
    memset(&gstSelfCapProcCfg, 0, sizeof(gstSelfCapProcCfg));
    memset(&gstLongThumbCfg, 0, sizeof(gstLongThumbCfg));
    memset(&gstResultBeautyCfg, 0, sizeof(gstResultBeautyCfg));
    memset(gstTouchPannelCfg.aubHead, 0, sizeof(gstTouchPannelCfg.aubHead));
  }
  void Grid(uint8_t rows, uint8_t cols) {
    rows_ = rows;
    cols_ = cols;
    const size_t n = static_cast<size_t>(rows) * cols;
    diff_.assign(n, 0);
    self_.assign(static_cast<size_t>(rows) + cols, 0);
    raw_.assign(n, 0);
    mask_.assign(5 * n + 1, 0xAA);
    CommonRecord& c = gstCommon;
    c.ubDrvNum = rows;
    c.ubSenNum = cols;
    c.uwNodeNum = static_cast<uint16_t>(n);
    c.stData.pswDiffData = diff_.data();
    c.stData.pswSelfDiffData = self_.data();
    c.stData.puwRawData = raw_.data();
    c.pubRegionNodeBuf = mask_.data();
    c.ubTick100ms = 0;
    c.ubNoiseHoldCnt = 0;
    c.swDiffMax = 0;
    c.ubBeautyByte = 0;
    memset(&gstMutualRegion, 0, sizeof(gstMutualRegion));
    memset(gaubRegionLabelMap, kRegionLabelNone, sizeof(gaubRegionLabelMap));
  }
  void Regions(const std::vector<std::pair<RegionRect, uint16_t>>& regions) { regiontest::LoadRegions(regions); }
  std::vector<uint32_t> Kept() const { return regiontest::KeptRegionWords(); }
  void Fill(RegionRect r, int16_t v) {
    for (int rr = r.ubRowStart; rr <= r.ubRowEnd; ++rr)
      for (int cc = r.ubColStart; cc <= r.ubColEnd; ++cc) diff_[static_cast<size_t>(rr) * cols_ + cc] = v;
  }
  static void PutU16(uint8_t* p, uint32_t at, uint16_t v) {
    p[at] = static_cast<uint8_t>(v);
    p[at + 1] = static_cast<uint8_t>(v >> 8);
  }

  CommonRecord savedCommon_;
  uint8_t rows_ = 0, cols_ = 0;
  std::vector<int16_t> diff_, self_;
  std::vector<uint16_t> raw_;
  std::vector<uint8_t> mask_;
};

// ---- Library helpers --------------------------------------------------------------------

TEST(RegionOnlyOneJudge, OneRiseAndFallIsOnePeakARiseAfterTheFallASecond) {
  struct Case {
    std::vector<int16_t> p;
    uint16_t start, end;
    int16_t thr, low;
    uint8_t want;
  } cases[] = {
      {{10, 50, 90, 50, 10}, 0, 4, 20, 0, 1},
      {{10, 90, 10, 90, 10}, 0, 4, 20, 0, 0},       // fell, then rose again
      {{10, 90, 60, 70, 10}, 0, 4, 20, 0, 1},       // a rise of 10 after the fall is within the threshold
      {{90, 80, 60, 85, 10}, 0, 4, 20, 0, 0},       // the fall is seen two entries ahead
      {{10, 90, 10, 90, 10}, 1, 1, 20, 0, 1},       // one entry
      {{10, 90, 10, 90, 10}, 3, 1, 20, 0, 0},       // an empty range
      {{99, 10, 50, 90, 50, 10}, 1, 5, 20, 0, 1},   // the range starts past the first entry
      {{90, 5, 5, 5, 90}, 0, 4, 200, 6, 0},         // no rise counts, but three inner lows
      {{90, 5, 50, 5, 90}, 0, 4, 200, 6, 0},        // two inner lows
      {{90, 5, 50, 50, 90}, 0, 4, 200, 6, 1},       // one inner low
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RegionOnlyOneJudge(c.start, c.end, c.thr, c.low, c.p.data()), c.want)
        << c.p[1] << "," << c.p[2] << " " << c.start << ".." << c.end;
  }
}

TEST(GetTwoRegionCombineSide, TakesTheUnion) {
  RegionRect a = RegionRectFromWord(kRegionRectEmptyBound);
  GetTwoRegionCombineSide(&a, Rect(3, 5, 7, 8));
  EXPECT_EQ(RegionRectWord(a), RegionRectWord(Rect(3, 5, 7, 8)));
  GetTwoRegionCombineSide(&a, Rect(4, 9, 1, 2));
  EXPECT_EQ(RegionRectWord(a), RegionRectWord(Rect(3, 9, 1, 8)));
}

// ---- Iron cover -------------------------------------------------------------------------

class IronCover : public SmallStageFixture {
 protected:
  void SetUp() override {
    SmallStageFixture::SetUp();
    Grid(6, 8);
    gstLargeTouchCfg.aubData[0] = 0x08;
    PutU16(gstTouchPannelCfg.aubHead, 4, 100);  // t: bands at 25 and -25
    gstCommon.uwThreshold2 = 120;               // L: bands up to 120 and above -100
    gstCommon.ubTick100ms = 1;
    gstRefUpdateModule.ubReqCode = 0;
  }
  void TearDown() override {
    gstRefUpdateModule.ubReqCode = 0;
    SmallStageFixture::TearDown();
  }
  // Frames until the first reference request (0: none within LIMIT frames).
  int FramesToRequest(int limit) {
    for (int f = 1; f <= limit; ++f) {
      IronCoverProc();
      if (gstRefUpdateModule.ubReqCode != 0) return f;
    }
    return 0;
  }
};

TEST_F(IronCover, FrameValueCountsTheModerateBandsOverTheStrongNodes) {
  struct Case {
    const char* what;
    int16_t a, b;     // nodes 0..23 get A, nodes 24..47 get B
    uint16_t leave;   // t
    uint16_t want;
  } cases[] = {
      {"moderate positive everywhere", 60, 60, 100, 48},
      {"moderate negative everywhere", -60, -60, 100, 48},
      {"half strong: 24 / 25", 60, 200, 100, 0},
      {"below the negative band", -150, -150, 100, 0},
      {"band edges are exclusive below, inclusive above", 25, 120, 100, 24},
      // t/4 above L: the measure turns negative and is no evidence.
      {"thresholds out of order", 130, 130, 600, 0},
  };
  for (const Case& c : cases) {
    for (size_t i = 0; i < diff_.size(); ++i) diff_[i] = i < 24 ? c.a : c.b;
    PutU16(gstTouchPannelCfg.aubHead, 4, c.leave);
    IronStateProcInit();
    mask_.assign(mask_.size(), 0xAA);
    IronCoverProc();
    EXPECT_EQ(gstIronCoverProc.uwFrameValue, c.want) << c.what;
    EXPECT_EQ(mask_[47], 0) << "the mask buffer is left cleared over the map";
    EXPECT_EQ(mask_[48], 0xAA) << "and only over the map";
  }
  // A few strong nodes: 30 moderate over 3 strong + 1.
  diff_.assign(diff_.size(), 0);
  for (int i = 0; i < 30; ++i) diff_[i] = 60;
  for (int i = 30; i < 33; ++i) diff_[i] = 300;
  PutU16(gstTouchPannelCfg.aubHead, 4, 100);
  IronCoverProc();
  EXPECT_EQ(gstIronCoverProc.uwFrameValue, 7);
}

TEST_F(IronCover, ACoverArmsAfterTwoWindowsAndRequestsTheRebuildAfterSixteenTicks) {
  diff_.assign(diff_.size(), 60);  // v = 48, every corner above 50
  // Frames 1-16 fill the first window, 17 stores its average, 18-33 fill the second, 34
  // arms the hold from the stored average, and 16 ticks of evidence later (frame 49) the
  // reference is rebuilt.
  EXPECT_EQ(FramesToRequest(60), 49);
  EXPECT_EQ(gstRefUpdateModule.ubReqCode, 13) << "a rebuild in the next frame";
  EXPECT_EQ(gstIronCoverProc.ubEvidence, 0) << "the accumulator restarts";
  EXPECT_EQ(gstIronCoverProc.ubEvidenceFlag, 1);
  gstRefUpdateModule.ubReqCode = 0;
  EXPECT_EQ(FramesToRequest(16), 16) << "still covered and armed: the next request 16 ticks on";
}

TEST_F(IronCover, TheWindowAverageMustExceedTheLimit) {
  struct Case {
    int moderateNodes;  // the first N nodes at 60 (node 0 is a corner): v = N
    int wantFrame;
  } cases[] = {{15, 0}, {16, 49}};
  for (const Case& c : cases) {
    IronStateProcInit();
    gstRefUpdateModule.ubReqCode = 0;
    diff_.assign(diff_.size(), 0);
    for (int i = 0; i < c.moderateNodes; ++i) diff_[i] = 60;
    EXPECT_EQ(FramesToRequest(120), c.wantFrame) << c.moderateNodes;
  }
}

TEST_F(IronCover, EvidenceNeedsTicksACornerQuietAndAnEnabledStage) {
  diff_.assign(diff_.size(), 60);
  for (int f = 0; f < 40; ++f) IronCoverProc();
  ASSERT_EQ(gstIronCoverProc.ubEvidence, 7) << "frames 34 to 40";

  gstCommon.ubTick100ms = 0;
  IronCoverProc();
  EXPECT_EQ(gstIronCoverProc.ubEvidence, 7) << "no tick, no growth, no loss";
  gstCommon.ubTick100ms = 1;

  gstCommon.ubNoiseHoldCnt = 5;
  IronCoverProc();
  EXPECT_EQ(gstIronCoverProc.ubEvidence, 0) << "a noisy frame restarts the evidence";
  gstCommon.ubNoiseHoldCnt = 4;
  IronCoverProc();
  EXPECT_EQ(gstIronCoverProc.ubEvidence, 1);

  // Without a raised corner the evidence restarts.
  diff_[0] = diff_[7] = diff_[40] = diff_[47] = 50;
  IronCoverProc();
  EXPECT_EQ(gstIronCoverProc.ubEvidence, 0);
  EXPECT_EQ(gstIronCoverProc.ubEvidenceFlag, 0);
  diff_[47] = 52;  // h = 50 with bit 0 cleared
  IronCoverProc();
  EXPECT_EQ(gstIronCoverProc.ubEvidence, 1);

  struct Gate {
    const char* what;
    void (*set)(bool on);
  } gates[] = {
      {"disabled", [](bool on) { gstLargeTouchCfg.aubData[0] = on ? 0x00 : 0x08; }},
      {"skip flag 1", [](bool on) { gstRegionRoles.aubSkip[0] = on ? 1 : 0; }},
      {"camera-hole state 2", [](bool on) { gstRegionRoles.ubCameraHoleState = on ? 2 : 0; }},
      {"high signal", [](bool on) { gstRegionRoles.ubHighSignal = on ? 1 : 0; }},
  };
  for (const Gate& g : gates) {
    IronCoverProc();
    ASSERT_NE(gstIronCoverProc.ubEvidence, 0) << g.what;
    const uint16_t uwSum = gstIronCoverProc.uwSum;
    const uint8_t ubCnt = gstIronCoverProc.ubFrameCnt;
    g.set(true);
    IronCoverProc();
    EXPECT_EQ(gstIronCoverProc.ubEvidence, 0) << g.what;
    EXPECT_EQ(gstIronCoverProc.uwSum, uwSum) << g.what << ": the window is left alone";
    EXPECT_EQ(gstIronCoverProc.ubFrameCnt, ubCnt) << g.what;
    g.set(false);
  }
}

TEST_F(IronCover, AWeakFrameDropsTheHold) {
  diff_.assign(diff_.size(), 60);
  for (int f = 0; f < 35; ++f) IronCoverProc();
  ASSERT_GT(gstIronCoverProc.ubHold, 190);
  diff_.assign(diff_.size(), 0);
  diff_[0] = 60;  // v = 1: below 5
  IronCoverProc();
  EXPECT_EQ(gstIronCoverProc.ubHold, 0);
  EXPECT_EQ(gstIronCoverProc.ubEvidence, 0);
  diff_.assign(diff_.size(), 60);
  IronCoverProc();
  EXPECT_EQ(gstIronCoverProc.ubEvidence, 0) << "the hold waits for the next window";
}

// ---- Self-capacitance filter ------------------------------------------------------------

class SelfCapFilter : public SmallStageFixture {
 protected:
  void SetUp() override {
    SmallStageFixture::SetUp();
    Grid(6, 8);
    gstSelfCapProcCfg.aubData[0] = 0x01;
    PutU16(gstSelfCapProcCfg.aubData, 15, 50);
    PutU16(gstSelfCapProcCfg.aubData, 17, 40);
    gstCommon.ubNoiseHoldCnt = 9;
    self_[2] = 60;          // row 2
    self_[6 + 2] = 45;      // column 2
  }
};

TEST_F(SelfCapFilter, DropsARegionWithRowSignalButNoColumnSignal) {
  // A (columns 2-3) has both; B (columns 4-5) shares row 2 but has no column signal.
  Regions({{Rect(2, 3, 2, 3), 300}, {Rect(2, 3, 4, 5), 250}});
  RegFilterBySelfCap();
  EXPECT_EQ(Kept(), std::vector<uint32_t>{RegionRectWord(Rect(2, 3, 2, 3))});
  EXPECT_EQ(gstMutualRegion.auwPeak[0], 300);
  EXPECT_EQ(gstMutualRegion.auwPeak[1], 0);
  EXPECT_EQ(gstSelfCapProc.ubDropped, 1);
  uint32_t scratch;
  memcpy(&scratch, gstCommon.aubWorkRect, 4);
  EXPECT_EQ(scratch, RegionRectWord(Rect(2, 3, 4, 5))) << "the scratch rectangle is the last one examined";

  // Both confirmed: nothing dropped, and the count of the last run is 0.
  self_[6 + 4] = 40;
  Regions({{Rect(2, 3, 2, 3), 300}, {Rect(2, 3, 4, 5), 250}});
  RegFilterBySelfCap();
  EXPECT_EQ(gstMutualRegion.ubRegionNum, 2);
  EXPECT_EQ(gstSelfCapProc.ubDropped, 0);
}

TEST_F(SelfCapFilter, OneRegionIsNeverFilteredAndBorderRegionsOnlyWithBitTwo) {
  Regions({{Rect(2, 3, 4, 5), 250}});
  RegFilterBySelfCap();
  EXPECT_EQ(gstMutualRegion.ubRegionNum, 1);

  struct Case {
    RegionRect r;
    const char* where;
  } border[] = {{Rect(4, 5, 4, 5), "row start at rows - 2"},
                {Rect(0, 1, 4, 5), "row end at 1"},
                {Rect(2, 3, 6, 7), "column start at columns - 2"},
                {Rect(2, 3, 0, 1), "column end at 1"}};
  for (const Case& c : border) {
    gstSelfCapProcCfg.aubData[0] = 0x01;
    Regions({{Rect(2, 3, 2, 3), 300}, {c.r, 250}});
    RegFilterBySelfCap();
    EXPECT_EQ(gstMutualRegion.ubRegionNum, 2) << c.where << ": left alone";
    gstSelfCapProcCfg.aubData[0] = 0x05;
    Regions({{Rect(2, 3, 2, 3), 300}, {c.r, 250}});
    RegFilterBySelfCap();
    EXPECT_EQ(Kept(), std::vector<uint32_t>{RegionRectWord(Rect(2, 3, 2, 3))}) << c.where << ": tested with bit 2";
  }
}

TEST_F(SelfCapFilter, FloatingSelfStateHalvesBothThresholds) {
  self_[2] = 30;
  self_[6 + 2] = 25;
  Regions({{Rect(2, 3, 2, 3), 300}, {Rect(2, 3, 2, 3), 250}});
  RegFilterBySelfCap();
  EXPECT_EQ(gstMutualRegion.ubRegionNum, 0) << "30 / 25 against 50 / 40";
  gstFloatSelfProc.ubFloatFlag = 1;
  Regions({{Rect(2, 3, 2, 3), 300}, {Rect(2, 3, 2, 3), 250}});
  RegFilterBySelfCap();
  EXPECT_EQ(gstMutualRegion.ubRegionNum, 2) << "against 25 / 20";
}

TEST_F(SelfCapFilter, FiltersOnNoisyFramesOrWithTheQuietExceptionUnlessTouchesWereReported) {
  struct Case {
    uint8_t cfg;
    uint8_t gate2, gate3, skip1;
    uint8_t noise, points, regions;
    uint8_t want;
  } cases[] = {
      {0x01, 0, 0, 0, 9, 0, 2, 1}, {0x01, 0, 0, 0, 8, 0, 2, 0}, {0x00, 0, 0, 0, 9, 0, 2, 0},
      {0x01, 0, 0, 1, 9, 0, 2, 0}, {0x01, 0, 0, 0, 9, 0, 1, 0},
      // Quiet exception: filter unless the frame is quiet while points were reported.
      {0x03, 0, 0, 0, 8, 0, 2, 1}, {0x03, 0, 0, 0, 8, 2, 2, 0}, {0x03, 0, 0, 0, 9, 2, 2, 1},
      // A gate flag set falls back to the noisy-frame rule.
      {0x03, 1, 0, 0, 8, 0, 2, 0}, {0x03, 0, 1, 0, 8, 0, 2, 0}, {0x03, 0, 1, 0, 9, 2, 2, 1},
  };
  for (const Case& c : cases) {
    gstSelfCapProcCfg.aubData[0] = c.cfg;
    gstRegionRoles.aubGate[1] = c.gate2;
    gstRegionRoles.aubGate[2] = c.gate3;
    gstRegionRoles.aubSkip[0] = c.skip1;
    gstCommon.ubNoiseHoldCnt = c.noise;
    gstRegionRoles.ubPrevPointCount = c.points;
    std::vector<std::pair<RegionRect, uint16_t>> r;
    for (int i = 0; i < c.regions; ++i) r.push_back({Rect(2, 3, 4, 5), 250});  // unconfirmed
    Regions(r);
    const uint8_t need = NeedRegFilterBySelf();
    RegFilterBySelfCap();
    EXPECT_EQ(need, c.want) << int(c.cfg) << " noise " << int(c.noise) << " points " << int(c.points);
    EXPECT_EQ(gstMutualRegion.ubRegionNum, c.want != 0 ? 0 : c.regions) << "the filter follows the decision";
  }
}

TEST_F(SelfCapFilter, CommonSubKeepsWhatThePredicateProtects) {
  Regions({{Rect(2, 3, 4, 5), 300}, {Rect(1, 2, 5, 6), 250}, {Rect(2, 3, 2, 3), 200}});
  const uint8_t dropped = SelfFilterRectCommonSub(50, 40, [](uint8_t i) -> uint8_t { return i == 1 ? 3 : 2; });
  EXPECT_EQ(dropped, 1) << "region 0 unprotected and unconfirmed; region 1 protected; region 2 confirmed";
  EXPECT_EQ(Kept(), (std::vector<uint32_t>{RegionRectWord(Rect(1, 2, 5, 6)), RegionRectWord(Rect(2, 3, 2, 3))}));
}

// ---- Long big thumb ---------------------------------------------------------------------

class LongThumb : public SmallStageFixture {
 protected:
  void SetUp() override {
    SmallStageFixture::SetUp();
    Grid(10, 16);  // centre: column start 7, 8 or 9
    uint8_t* c = gstLongThumbCfg.aubData;
    c[0] = 1;
    c[1] = 3;   // height and width above 3
    c[2] = 8;   // height + width above 8
    c[3] = 3;   // narrow band: height below 3
    c[4] = 8;   //              width above 8
    c[5] = 50;  // peak threshold of the single-peak tests
    PutU16(c, 6, 200);
    gstCommon.swDiffMax = 300;
  }
  LongBigThumbState& S() { return gstLongBigThumb; }
};

TEST_F(LongThumb, ALargeSinglePeakedContactHoldsTheVerdictAndTheCountdownRunsWithoutRegions) {
  Fill(Rect(2, 6, 1, 5), 100);
  Regions({{Rect(2, 6, 1, 5), 300}});
  LongBigThumbProc();
  EXPECT_EQ(S().ubResult, 1);
  EXPECT_EQ(S().ubThumbHold, 99);
  EXPECT_EQ(RegionRectWord(S().stUnion), RegionRectWord(Rect(2, 6, 1, 5)));
  Regions({});
  for (int f = 0; f < 98; ++f) LongBigThumbProc();
  EXPECT_EQ(S().ubResult, 1);
  EXPECT_EQ(S().ubThumbHold, 1);
  EXPECT_EQ(RegionRectWord(S().stUnion), kRegionRectEmptyBound);
  LongBigThumbProc();
  EXPECT_EQ(S().ubResult, 1) << "the hundredth frame";
  LongBigThumbProc();
  EXPECT_EQ(S().ubResult, 0);
}

TEST_F(LongThumb, TheThumbTestNeedsAStrongMaximumAndSize) {
  struct Case {
    const char* what;
    RegionRect r;
    int16_t max;
    uint8_t want;
  } cases[] = {
      {"thumb", Rect(2, 6, 1, 5), 300, 1},
      {"maximum at the limit", Rect(2, 6, 1, 5), 200, 0},
      {"height 3", Rect(2, 4, 1, 5), 300, 0},
      {"height + width 8", Rect(2, 5, 1, 4), 300, 0},
  };
  for (const Case& c : cases) {
    memset(&gstLongBigThumb, 0, sizeof(gstLongBigThumb));
    diff_.assign(diff_.size(), 0);
    Fill(c.r, 100);
    gstCommon.swDiffMax = c.max;
    Regions({{c.r, 300}});
    LongBigThumbProc();
    EXPECT_EQ(S().ubResult, c.want) << c.what;
  }
}

TEST_F(LongThumb, TwoColumnPeaksBlockTheThumbFor199Frames) {
  Fill(Rect(3, 5, 1, 3), 100);
  Fill(Rect(3, 5, 11, 13), 100);
  Regions({{Rect(3, 5, 1, 3), 300}, {Rect(3, 5, 11, 13), 300}});
  S().ubThumbHold = 40;
  LongBigThumbProc();
  EXPECT_EQ(S().ubResult, 0);
  EXPECT_EQ(S().ubThumbHold, 0);
  EXPECT_EQ(S().ubBlock, 199);
  EXPECT_EQ(RegionRectWord(S().stUnion), RegionRectWord(Rect(3, 5, 1, 13)));
  // A thumb now is blocked.
  diff_.assign(diff_.size(), 0);
  Fill(Rect(2, 6, 1, 5), 100);
  Regions({{Rect(2, 6, 1, 5), 300}});
  LongBigThumbProc();
  EXPECT_EQ(S().ubResult, 0);
  EXPECT_EQ(S().ubThumbHold, 0);
  EXPECT_EQ(S().ubBlock, 198);
  for (int f = 0; f < 197; ++f) LongBigThumbProc();
  EXPECT_EQ(S().ubBlock, 1);
  EXPECT_EQ(S().ubResult, 0);
  LongBigThumbProc();
  EXPECT_EQ(S().ubBlock, 0);
  LongBigThumbProc();
  EXPECT_EQ(S().ubResult, 1) << "unblocked after 199 frames";
}

TEST_F(LongThumb, TwoRowPeaksBlockAndThreeSinglePeakedRegionsDoNotCount) {
  Fill(Rect(1, 2, 4, 6), 100);
  Fill(Rect(7, 8, 4, 6), 100);
  Regions({{Rect(1, 2, 4, 6), 300}, {Rect(7, 8, 4, 6), 300}});
  LongBigThumbProc();
  EXPECT_EQ(S().ubBlock, 199) << "two row peaks";

  // Three regions side by side in one single-peaked block: too many for the thumb, and
  // with three or more the frame blocks it.
  memset(&gstLongBigThumb, 0, sizeof(gstLongBigThumb));
  diff_.assign(diff_.size(), 0);
  Fill(Rect(2, 6, 2, 6), 100);
  Regions({{Rect(2, 6, 2, 2), 300}, {Rect(2, 6, 3, 4), 300}, {Rect(2, 6, 5, 6), 300}});
  LongBigThumbProc();
  EXPECT_EQ(S().ubResult, 0);
  EXPECT_EQ(S().ubBlock, 199) << "three regions are not one contact";
}

TEST_F(LongThumb, RegionsAlongTheEdgesAreNotCounted) {
  struct Case {
    RegionRect r;
    const char* what;
  } cases[] = {{Rect(0, 3, 4, 8), "from row 0 over 4 rows"},
               {Rect(6, 9, 4, 8), "to the last row over 4 rows"},
               {Rect(3, 8, 0, 2), "from column 0 over 3 columns"},
               {Rect(3, 8, 13, 15), "to the last column over 3 columns"}};
  for (const Case& c : cases) {
    memset(&gstLongBigThumb, 0, sizeof(gstLongBigThumb));
    diff_.assign(diff_.size(), 0);
    Fill(c.r, 100);
    Regions({{c.r, 300}});
    LongBigThumbProc();
    EXPECT_EQ(S().ubResult, 0) << c.what;
    EXPECT_EQ(S().ubBlock, 0) << c.what;
    EXPECT_EQ(RegionRectWord(S().stUnion), RegionRectWord(c.r)) << c.what;
  }
  // One row more and it counts.
  diff_.assign(diff_.size(), 0);
  Fill(Rect(0, 4, 4, 8), 100);
  Regions({{Rect(0, 4, 4, 8), 300}});
  LongBigThumbProc();
  EXPECT_EQ(S().ubResult, 1);
}

TEST_F(LongThumb, ANarrowBandOffTheCentreHoldsFiftyFramesACentredOneBlocksIt) {
  Fill(Rect(4, 5, 2, 13), 100);
  Regions({{Rect(4, 5, 2, 13), 300}});
  LongBigThumbProc();
  EXPECT_EQ(S().ubResult, 2);
  EXPECT_EQ(S().ubNarrowHold, 49);

  diff_.assign(diff_.size(), 0);
  Fill(Rect(4, 5, 7, 14), 100);
  Regions({{Rect(4, 5, 7, 14), 300}});
  LongBigThumbProc();
  EXPECT_EQ(S().ubNarrowHold, 0);
  EXPECT_EQ(S().ubNarrowBlock, 199);
  EXPECT_EQ(S().ubResult, 0);
}

TEST_F(LongThumb, DisabledChangesNothing) {
  gstLongThumbCfg.aubData[0] = 0;
  const LongBigThumbState before = {1, 5, 0, 3, 0, Rect(1, 2, 3, 4)};
  S() = before;
  Fill(Rect(2, 6, 1, 5), 100);
  Regions({{Rect(2, 6, 1, 5), 300}});
  LongBigThumbProc();
  EXPECT_EQ(memcmp(&S(), &before, sizeof(before)), 0);
}

TEST_F(LongThumb, WithoutRegionsOnlyTheCountdownsRun) {
  S() = LongBigThumbState{0, 5, 0, 3, 0, Rect(1, 2, 3, 4)};
  LongBigThumbProc();
  EXPECT_EQ(S().ubThumbHold, 4);
  EXPECT_EQ(S().ubNarrowHold, 2);
  EXPECT_EQ(S().ubResult, 2) << "the narrow-band verdict is taken last";
  S().ubNarrowHold = 0;
  LongBigThumbProc();
  EXPECT_EQ(S().ubResult, 1);
}

// ---- Raw-data consistency ---------------------------------------------------------------

class RawConsis : public SmallStageFixture {
 protected:
  void SetUp() override {
    SmallStageFixture::SetUp();
    Grid(4, 5);
    gstResultBeautyCfg.aubData[0] = 0x01;
    gstResultBeautyCfg.aubData[1] = 255;
    gstResultBeautyCfg.aubData[2] = 64;
  }
  // Column levels; the end nodes of column 0 differ, which only the inner mean ignores.
  void Levels(const std::vector<uint16_t>& level) {
    for (int r = 0; r < 4; ++r)
      for (int c = 0; c < 5; ++c) raw_[r * 5 + c] = level[c];
    raw_[0] = raw_[15] = 5000;
  }
};

TEST_F(RawConsis, LearnsGainsOnceFromTheInnerColumnMeansAndAppliesThemEveryFrame) {
  Levels({1000, 1000, 2000, 1000, 1000});
  RawDataConsisOptmProc();
  EXPECT_EQ(gstRawConsis.ubProgress, 3);
  // Targets: lines 0..2, 0..3, 0..4, 1..4, 2..4 -> 1333, 1250, 1200, 1250, 1333.
  const std::vector<uint16_t> gains(gstRawConsis.auwGain, gstRawConsis.auwGain + 5);
  EXPECT_EQ(gains, (std::vector<uint16_t>{170, 160, 76, 160, 170}));
  EXPECT_EQ(raw_[5 + 0], 1000 * 170 / 128);
  EXPECT_EQ(raw_[5 + 2], 2000 * 76 / 128);
  EXPECT_EQ(raw_[0], 5000 * 170 / 128);

  Levels({500, 500, 500, 500, 500});
  RawDataConsisOptmProc();
  EXPECT_EQ(std::vector<uint16_t>(gstRawConsis.auwGain, gstRawConsis.auwGain + 5), gains) << "learned once";
  EXPECT_EQ(raw_[5 + 2], 500 * 76 / 128);
}

TEST_F(RawConsis, GainsAreClampedAZeroLineKeepsUnityAndTheResultSaturates) {
  struct Case {
    uint8_t hi, lo;
    std::vector<uint16_t> levels;
    std::vector<uint16_t> gains;
  } cases[] = {
      {150, 100, {1000, 1000, 2000, 1000, 1000}, {150, 150, 100, 150, 150}},
      {255, 64, {1000, 1000, 1000, 1000, 0}, {128, 128, 102, 96, 128}},
  };
  for (const Case& c : cases) {
    memset(&gstRawConsis, 0, sizeof(gstRawConsis));
    gstResultBeautyCfg.aubData[1] = c.hi;
    gstResultBeautyCfg.aubData[2] = c.lo;
    Levels(c.levels);
    RawDataConsisOptmProc();
    EXPECT_EQ(std::vector<uint16_t>(gstRawConsis.auwGain, gstRawConsis.auwGain + 5), c.gains) << int(c.hi);
  }
  // Gain 1.5 on a node of 60000 saturates instead of wrapping.
  gstRawConsis.auwGain[1] = 192;
  raw_[6] = 60000;
  RawDataConsisOptmProc();
  EXPECT_EQ(raw_[6], 65535);
}

TEST_F(RawConsis, DisabledOnlyMarksTheStart) {
  gstResultBeautyCfg.aubData[0] = 0;
  Levels({1000, 1000, 2000, 1000, 1000});
  const std::vector<uint16_t> before = raw_;
  RawDataConsisOptmProc();
  EXPECT_EQ(gstRawConsis.ubProgress, 1);
  EXPECT_EQ(raw_, before);
}

// ---- Diff beautification ----------------------------------------------------------------

class Beauty : public SmallStageFixture {
 protected:
  void SetUp() override {
    SmallStageFixture::SetUp();
    Grid(2, 2);
    uint8_t* c = gstResultBeautyCfg.aubData;
    c[0] = 0x06;  // amplify/shrink and temporal smoothing
    c[3] = 40;    // shrink below 40
    c[4] = 12;    // x 1.5
    c[5] = 2;     // divisor while the high-signal byte is below 128
    c[6] = 16;    // previous frame weight 16/64
    c[7] = 7;
    c[8] = 5;
    c[9] = 8;     // previous self weight 8/16
    c[10] = 4;    // divisor from 128 on
    gstCommon.ubBeautyByte = 1;
  }
  DiffBeautyCtx Ctx() {
    DiffBeautyCtx x{};
    x.ubHavePrev = 1;
    x.pswPrevDiff = prev_;
    x.pswPrevSelf = prevSelf_;
    x.pswDiff = diff_.data();
    x.pswSelf = self_.data();
    x.uwNodeNum = 4;
    x.swTouchLevel = 90;
    x.swSecondLevel = 150;
    x.ubSelfRows = 2;
    x.uwSelfTotal = 4;
    x.swSelfRowThr = 5;
    x.swSelfColThr = 5;
    return x;
  }
  int16_t prev_[4] = {100, 0, 0, 0};
  int16_t prevSelf_[4] = {0, 0, 0, 0};
};

TEST_F(Beauty, AmplifiesStrongNodesShrinksWeakOnesAndSmoothsOverTime) {
  struct Case {
    const char* what;
    uint8_t opt, high;
    std::vector<int16_t> in, want;
  } cases[] = {
      // 200 -> 300 -> (48 x 300 + 16 x 100) >> 6; 30 and -30 halve toward zero; 100 -> 75.
      {"both steps", 0x06, 0, {200, 30, -30, 100}, {250, 15, -15, 75}},
      {"high signal divides by byte 10", 0x02, 200, {200, 30, -30, 39}, {300, 7, -7, 9}},
      {"amplification saturates", 0x02, 0, {30000, 0, 0, 0}, {32767, 0, 0, 0}},
      {"smoothing alone", 0x04, 0, {200, 30, -30, 100}, {175, 30, -30, 75}},
  };
  for (const Case& c : cases) {
    gstResultBeautyCfg.aubData[0] = c.opt;
    gstRegionRoles.ubHighSignal = c.high;
    diff_ = c.in;
    const DiffBeautyCtx x = Ctx();
    DiffDataBeauty(&x);
    EXPECT_EQ(diff_, c.want) << c.what;
  }
  gstCommon.ubBeautyByte = 0;
  diff_ = {200, 30, -30, 100};
  const DiffBeautyCtx x = Ctx();
  DiffDataBeauty(&x);
  EXPECT_EQ(diff_, (std::vector<int16_t>{200, 30, -30, 100})) << "beautification off";
}

TEST_F(Beauty, SelfRemainderOnlyWithoutRegionsAndSelfBlendAboveTheThresholds) {
  gstResultBeautyCfg.aubData[0] = 0x08;
  self_ = {17, 9, 13, -6};
  DiffBeautyCtx x = Ctx();
  DiffDataBeauty(&x);
  EXPECT_EQ(self_, (std::vector<int16_t>{3, 2, 3, -1}));
  self_ = {17, 9, 13, -6};
  x.ubRegionNum = 1;
  DiffDataBeauty(&x);
  EXPECT_EQ(self_, (std::vector<int16_t>{17, 9, 13, -6})) << "regions present";
  x.ubRegionNum = 0;
  gstResultBeautyCfg.aubData[7] = 30;  // outside 1..29: the row part stays
  DiffDataBeauty(&x);
  EXPECT_EQ(self_, (std::vector<int16_t>{17, 9, 3, -1}));

  gstResultBeautyCfg.aubData[0] = 0x10;
  self_ = {32, 4, 16, 6};
  x = Ctx();
  x.swSelfColThr = 10;
  DiffDataBeauty(&x);
  EXPECT_EQ(self_, (std::vector<int16_t>{16, 4, 8, 6}));
  x.ubHavePrev = 0;
  self_ = {32, 4, 16, 6};
  DiffDataBeauty(&x);
  EXPECT_EQ(self_, (std::vector<int16_t>{32, 4, 16, 6})) << "no previous frame";
}

TEST_F(Beauty, SeparateStepsWriteTheirOwnOutput) {
  const int16_t in[4] = {200, 30, -30, 100};
  uint16_t out[4] = {};
  MutualDiffDataBeauty(in, out, 4, 150);
  EXPECT_EQ(std::vector<uint16_t>(out, out + 4), (std::vector<uint16_t>{300, 15, static_cast<uint16_t>(-15), 100}));
  int16_t iir[4] = {};
  MutualDiffDataIir(in, iir, prev_, 4, 90);
  EXPECT_EQ(std::vector<int16_t>(iir, iir + 4), (std::vector<int16_t>{175, 30, -30, 75}));
  EXPECT_EQ(in[0], 200) << "the input is left alone";
}

// ---- Result-common record ---------------------------------------------------------------

TEST_F(SmallStageFixture, ResultCommonProcCarriesTheRegionCountOfTheRegionOutput) {
  ResultCommonInit();
  EXPECT_EQ(gstResultCommonInput.pvCommon, &gstCommon);
  EXPECT_EQ(gstResultCommonInput.pubGrid, &gstCommon.ubSenNum);
  EXPECT_EQ(gstResultCommonInput.ubRegionNum, 0);
  const uint8_t saved = gstRegionOutput.ubRegionNum;
  gstRegionOutput.ubRegionNum = 3;
  ResultCommonProc();
  EXPECT_EQ(gstResultCommonInput.ubRegionNum, 3);
  gstRegionOutput.ubRegionNum = saved;
}

}  // namespace
