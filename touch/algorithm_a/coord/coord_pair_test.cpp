// Coordinate pairing on hand-made diff maps: the regions of each frame go through the
// pairing stage (wrapper and core) and the points come out of the point arrays.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <vector>

#include "coord.h"
#include "coord_pair.h"
#include "globals_restore_test.h"
#include "low_temp.h"
#include "module_wrappers.h"
#include "region_float.h"
#include "ref_update.h"
#include "signal_proc.h"
#include "signal_records.h"
#include "tsa_api.h"
#include "tsa_config.h"
#include "tsa_frame_links.h"

namespace {

RegionRect Rect(uint8_t r0, uint8_t r1, uint8_t c0, uint8_t c1) { return RegionRect{r0, r1, c0, c1}; }

struct Blob {
  double r, c;  // centre in nodes
  int16_t peak;
};
struct Point {
  uint16_t x, y, w;
};

// A ROWS x COLS panel in the common record, the pairing configuration, and the region
// record that region detection would leave: each frame's blobs become one region each.
class PairFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    // What Init and the stages change outside the pairing's own records (which Init resets)
    // goes back after the test, among them pointers to this fixture's maps.
    keep_.Keep(gstCommon);
    keep_.Keep(gstCoordPairCfg);
    keep_.Keep(gstNewSpeedStretchCfg);
    keep_.Keep(gstTouchPannelCfg);
    keep_.Keep(gstRegionOutput);
    keep_.Keep(gstCoordRegionFlags);
    keep_.Keep(gstMutualRegion);
    keep_.Keep(gstRegionAcquireState);
    keep_.Keep(gstNfNoiseProc);
    keep_.Keep(gstFloatSelfProc);
    keep_.Keep(gubGloveSat);
    keep_.Keep(gubContinueSkipNum);
    Init(16, 30, /*hold=*/3, /*delay=*/0);
  }
  void TearDown() override { keep_.Restore(); }

  void Init(uint8_t rows, uint8_t cols, uint8_t hold, uint8_t delay, uint16_t mergeDistance = 0) {
    rows_ = rows;
    cols_ = cols;
    diff_.assign(static_cast<size_t>(rows) * cols, 0);
    prev_.assign(diff_.size(), 0);
    arena_.assign(1024, 0xA5);
    work_.assign(6000 + 2 * kRegionMaxNodes, 0);
    RegionAcquireStateInit(work_.data());
    memset(&gstCoordPairCfg, 0, sizeof(gstCoordPairCfg));
    gstCoordPairCfg.aubData[0] = static_cast<uint8_t>(mergeDistance);
    gstCoordPairCfg.aubData[1] = static_cast<uint8_t>(mergeDistance >> 8);
    gstCoordPairCfg.aubData[6] = hold;
    gstCoordPairCfg.aubData[7] = delay;
    memset(&gstNewSpeedStretchCfg, 0, sizeof(gstNewSpeedStretchCfg));
    gstTouchPannelCfg.scOffsetX = 0;
    gstTouchPannelCfg.scOffsetY = 0;
    gstCommon.ubDrvNum = rows;
    gstCommon.ubSenNum = cols;
    gstCommon.uiPanelValue1 = 10;
    gstCommon.uwSenCoordRange = static_cast<uint16_t>(cols * 512);
    gstCommon.uwDrvCoordRange = static_cast<uint16_t>(rows * 512);
    gstCommon.uwMaskThreshold = 60;
    gstCommon.ubChargerFlag = 0;
    gstCommon.stData.pswDiffData = diff_.data();
    gstCommon.pubTempArena = arena_.data();
    gstRegionOutput.ubPairEnable = 1;
    memset(&gstCoordRegionFlags, 0, sizeof(gstCoordRegionFlags));
    memset(gastFloatRegionRecord, 0, sizeof(gastFloatRegionRecord));
    memset(&gstNetFloatInfo, 0, sizeof(gstNetFloatInfo));
    memset(&gstMutualRegion, 0, sizeof(gstMutualRegion));
    gstMutualRegion.uwTouchThreshold = 100;
    // No noise, glove, water, skip or floating state unless a test sets one.
    memset(&gstNfNoiseProc, 0, sizeof(gstNfNoiseProc));
    memset(&gstFloatSelfProc, 0, sizeof(gstFloatSelfProc));
    gstCommon.ubNfNoiseResult = 0;
    gstCommon.ubGameModeFlag = 0;
    gstCommon.ubRemovedCount = 0;
    gubGloveSat = 0;
    gubContinueSkipNum = 0;
    CoordSoftwareInit();
  }

  int16_t& D(int r, int c) { return diff_[static_cast<size_t>(r) * cols_ + c]; }

  // Lays the blobs on a clear map as regions 0.. in order: a cone around the (fractional)
  // centre, the region rectangle its nodes at 20 or more.
  void Lay(const std::vector<Blob>& blobs) {
    std::fill(diff_.begin(), diff_.end(), 0);
    memset(gaubRegionLabelMap, 255, sizeof(gaubRegionLabelMap));
    memset(&gstMutualRegion, 0, offsetof(MutualRegionSet, uwTouchThreshold));
    uint8_t n = 0;
    for (const Blob& b : blobs) {
      RegionRect r{255, 0, 255, 0};
      uint16_t best = 0, pos = 0;
      for (int y = 0; y < rows_; ++y) {
        for (int x = 0; x < cols_; ++x) {
          const double d = std::hypot(y - b.r, x - b.c);
          const int v = static_cast<int>(b.peak * (1.0 - d / 1.6));
          if (v < 20) continue;
          D(y, x) = static_cast<int16_t>(v);
          gaubRegionLabelMap[y * cols_ + x] = n;
          r = RectUnion(r, Rect(static_cast<uint8_t>(y), static_cast<uint8_t>(y), static_cast<uint8_t>(x),
                                static_cast<uint8_t>(x)));
          if (v > best) {
            best = static_cast<uint16_t>(v);
            pos = static_cast<uint16_t>((y << 8) | x);
          }
        }
      }
      gstMutualRegion.astRect[n] = r;
      gstMutualRegion.auwPeak[n] = best;
      gstMutualRegion.auwPeakPos[n] = pos;
      ++n;
    }
    gstMutualRegion.ubRegionNum = n;
    // The floating judgement runs before pairing and leaves the bounding rectangle of the
    // frame's regions as its main rectangle (kept from the last frame when there is none).
    if (n != 0) gstFloatSelfProc.stMainRect = CalcAllRect(gstMutualRegion.astRect, n);
  }
  // One frame through the pairing and optimisation stages; the points written, by slot.
  std::map<int, Point> Frame(const std::vector<Blob>& blobs) {
    Lay(blobs);
    CoordPairEncapsulation();
    CoordOptimizeEncapsulation();
    return Points();
  }
  // The same frame, but the points as pairing wrote them (the optimisation, which smooths
  // them over the last frames, still runs after, as it keeps the positions held points are
  // reported from).
  std::map<int, Point> Paired(const std::vector<Blob>& blobs) {
    Lay(blobs);
    CoordPairEncapsulation();
    const std::map<int, Point> pts = Points();
    CoordOptimizeEncapsulation();
    return pts;
  }
  static std::map<int, Point> Points() {
    std::map<int, Point> out;
    for (int k = 0; k < kCoordPointMax; ++k) {
      if (gpuwNewWeight[k] != 0) out[k] = Point{gpuwNewPointX[k], gpuwNewPointY[k], gpuwNewWeight[k]};
    }
    return out;
  }

  // An input as the wrapper builds it, for calls of CoordPair with flags of their own.
  CoordPairInput Input() {
    CoordPairInput in;
    memset(&in, 0, sizeof(in));
    in.ubColumns = cols_;
    in.ubRows = rows_;
    in.uwExtentX = static_cast<uint16_t>(cols_ * 512);
    in.uwExtentY = static_cast<uint16_t>(rows_ * 512);
    in.ubMaxPoints = 10;
    in.ubRegionCount = gstMutualRegion.ubRegionNum;
    in.ubHoldCount = 3;
    in.uwNewPointThreshold = 100;
    in.uwMoveLimit = 2400;
    in.uwStepLimit = 40;
    in.uwReassignNear = 144;
    in.uwReassignFar = 192;
    in.uwJitterDistance = 512;
    in.ubSmallMove = 3;
    in.ubMoveFloor = 5;
    in.ubDirectionTolerance = 1;
    in.stTouchRect = RegionRect{255, 0, 255, 0};
    in.uwShakeLimit = 0xFFFF;
    in.puwPeak = gstMutualRegion.auwPeak;
    in.pstRect = gstMutualRegion.astRect;
    in.puwPeakPos = gstMutualRegion.auwPeakPos;
    in.pubLabelMap = gaubRegionLabelMap;
    in.pswDiff = diff_.data();
    if (prev_.size() != diff_.size()) prev_.assign(diff_.size(), 0);
    in.pswPrevDiff = prev_.data();
    return in;
  }

  uint8_t rows_ = 0, cols_ = 0;
  std::vector<int16_t> diff_, prev_;
  std::vector<uint8_t> arena_, work_;
  fxtest::GlobalsRestore keep_;
};

// ---- region coordinates ---------------------------------------------------------------

TEST_F(PairFixture, RegionCentroidWeightsNodesAboveFifteen) {
  CoordPairInput in = Input();
  gstCoordPairStatics.pstInput = &in;
  struct Case {
    const char* name;
    std::vector<std::pair<int, int16_t>> nodes;  // (node index, value)
    RegionRect rect;
    int8_t offX, offY;
    uint16_t x, y, w;
  } cases[] = {
      {"one node of 115", {{2 * 30 + 3, 115}}, Rect(2, 2, 3, 3), 0, 0, 1792, 1280, 101},
      {"all below 15: the first node's centre", {{2 * 30 + 3, 14}}, Rect(2, 3, 3, 4), 0, 0, 256, 256, 1},
      {"offsets are added", {{2 * 30 + 3, 115}}, Rect(2, 2, 3, 3), -6, 9, 1786, 1289, 101},
      {"empty rectangle", {}, Rect(3, 2, 3, 3), 4, 0, 260, 256, 1},
      {"two equal nodes: midway", {{5 * 30 + 10, 65}, {5 * 30 + 11, 65}}, Rect(5, 5, 10, 11), 0, 0, 5632, 2816, 101},
  };
  for (const Case& c : cases) {
    std::fill(diff_.begin(), diff_.end(), 0);
    for (auto [i, v] : c.nodes) diff_[static_cast<size_t>(i)] = v;
    in.scOffsetX = c.offX;
    in.scOffsetY = c.offY;
    CalcRegionCoord(0, c.rect);
    EXPECT_EQ(+PairScratch().auwX[0], c.x) << c.name;
    EXPECT_EQ(+PairScratch().auwY[0], c.y) << c.name;
    EXPECT_EQ(+PairScratch().auwWeight[0], c.w) << c.name;
    EXPECT_EQ(+PairScratch().auwQx[0], (c.x >> 7) & 0x1FF) << c.name;
  }
  gstCoordPairStatics.pstInput = nullptr;
}

TEST_F(PairFixture, StrongLargeRegionCentroidDoesNotOverflow) {
  // 52 x 56 nodes of 30000: 512 x the column moment is far beyond 32 bits.
  Init(52, 56, 3, 0);
  std::fill(diff_.begin(), diff_.end(), 30000);
  CoordPairInput in = Input();
  gstCoordPairStatics.pstInput = &in;
  CalcRegionCoord(0, Rect(0, 51, 0, 55));
  EXPECT_EQ(+PairScratch().auwX[0], 512 * 55 / 2 + 256);
  EXPECT_EQ(+PairScratch().auwY[0], 512 * 51 / 2 + 256);
  EXPECT_EQ(+PairScratch().auwWeight[0], 65535);
  gstCoordPairStatics.pstInput = nullptr;

  CoordCalcInput c{};
  c.ubRowEnd = 51;
  c.ubColEnd = 55;
  c.ubColNum = 56;
  c.ubSlot = 2;
  c.swBase = 15;
  c.swGate = 15;
  c.pswMap = diff_.data();
  NewCoordCalcSoftWare(&c);
  EXPECT_EQ(+c.uwX, 512 * 55 / 2 + 256);
  EXPECT_EQ(+c.uwWeight, 65535);
  EXPECT_EQ(+gstFingerUpFilter.auwWeight[2], 65535);
}

TEST_F(PairFixture, SoftwareCentroidUsesBaseAndGate) {
  D(1, 1) = 40;  // below the gate of 50: ignored
  D(1, 2) = 60;  // weight 60 - 20
  CoordCalcInput c{};
  c.ubRowStart = 1;
  c.ubRowEnd = 1;
  c.ubColStart = 1;
  c.ubColEnd = 2;
  c.ubColNum = cols_;
  c.ubSlot = 12;  // no filter entry
  c.swBase = 20;
  c.swGate = 50;
  c.pswMap = diff_.data();
  gstFingerUpFilter.auwWeight[0] = 7;
  NewCoordCalcSoftWare(&c);
  EXPECT_EQ(+c.uwX, 2 * 512 + 256);
  EXPECT_EQ(+c.uwY, 512 + 256);
  EXPECT_EQ(+c.uwWeight, 41);
  EXPECT_EQ(+gstFingerUpFilter.auwWeight[0], 7);
}

// ---- rectangle tests, merge and split --------------------------------------------------

TEST_F(PairFixture, RectsTouchBySmallPairAndGapRules) {
  CoordPairInput in = Input();
  gstCoordPairStatics.pstInput = &in;
  struct Case {
    const char* name;
    uint8_t regions, gap;
    RegionRect a, b;
    uint8_t expected;
  } cases[] = {
      {"diagonal single nodes, two regions", 2, 0, Rect(2, 2, 2, 2), Rect(3, 3, 3, 3), 0},
      {"diagonal single nodes, two regions, gap", 2, 1, Rect(2, 2, 2, 2), Rect(3, 3, 3, 3), 0},
      {"diagonal single nodes, three regions", 3, 0, Rect(2, 2, 2, 2), Rect(3, 3, 3, 3), 0},
      {"diagonal single nodes, three regions, gap", 3, 1, Rect(2, 2, 2, 2), Rect(3, 3, 3, 3), 1},
      // Two 2 x 2 rectangles sharing one corner node: both edges meet there, so they touch,
      // in either order (the small-pair column test mirrors the row test).
      {"shared corner node", 2, 0, Rect(1, 2, 1, 2), Rect(2, 3, 2, 3), 1},
      {"shared corner node, swapped", 2, 0, Rect(2, 3, 2, 3), Rect(1, 2, 1, 2), 1},
      {"apart by columns", 2, 0, Rect(1, 2, 1, 2), Rect(1, 2, 5, 6), 0},
      {"large rectangles overlapping", 2, 0, Rect(0, 8, 0, 8), Rect(5, 12, 5, 12), 1},
      {"large rectangles side by side", 2, 0, Rect(0, 8, 0, 8), Rect(0, 8, 9, 14), 0},
      {"large rectangles side by side, gap", 2, 1, Rect(0, 8, 0, 8), Rect(0, 8, 9, 14), 1},
  };
  for (const Case& c : cases) {
    in.ubRegionCount = c.regions;
    gstCoordPair.ubGapFlag = c.gap;
    EXPECT_EQ(JudgeRectsTouch(c.a, c.b), c.expected) << c.name;
  }
  gstCoordPair.ubGapFlag = 0;
  gstCoordPairStatics.pstInput = nullptr;
}

TEST_F(PairFixture, QuarterDeltasOfShortSeriesAreZero) {
  const uint16_t a[8] = {10, 20, 30, 40, 50, 60, 70, 90};
  int16_t out[4] = {1, 1, 1, 1};
  CalcQuarterDeltas(a, out, 8);
  EXPECT_EQ(out[0], 10 - 20);
  EXPECT_EQ(out[1], 30 - 40);
  EXPECT_EQ(out[2], 50 - 60);
  EXPECT_EQ(out[3], 70 - 90);
  for (uint8_t n = 0; n < 4; ++n) {
    int16_t z[4] = {1, 1, 1, 1};
    CalcQuarterDeltas(a + 1, z, n);  // a[-1] would be read with a quarter of 0
    EXPECT_EQ(z[0], 0) << int(n);
    EXPECT_EQ(z[3], 0) << int(n);
  }
}

TEST_F(PairFixture, MergeRelabelsOnlyInsideTheUnionAndKeepsTheLargerPeak) {
  Lay({{3, 3, 200}, {3, 8, 300}});
  gaubRegionLabelMap[12 * cols_ + 20] = 1;  // a stray label of region 1 far away
  CoordPairInput in = Input();
  gstCoordPairStatics.pstInput = &in;
  gstCoordPair.auwCurRectMaxDiff[0] = 200;
  gstCoordPair.auwCurRectMaxDiff[1] = 300;
  PairScratch().ubMergedCount = 2;
  MergeRegions(0, 1);
  EXPECT_EQ(+gstMutualRegion.auwPeak[0], 300);
  EXPECT_EQ(+gstMutualRegion.auwPeak[1], 0);
  EXPECT_EQ(+gstMutualRegion.auwPeakPos[0], (3 << 8) | 8);
  EXPECT_EQ(RegionRectWord(gstMutualRegion.astRect[0]), RegionRectWord(Rect(2, 4, 2, 9)));
  EXPECT_EQ(RegionRectWord(gstMutualRegion.astRect[1]), 0u);
  EXPECT_EQ(gaubRegionLabelMap[3 * cols_ + 8], 0);
  EXPECT_EQ(gaubRegionLabelMap[12 * cols_ + 20], 1);
  EXPECT_EQ(PairScratch().ubMergedCount, 1);
  gstCoordPairStatics.pstInput = nullptr;
}

TEST_F(PairFixture, FarRegionsDoNotComeOutClose) {
  // 200 and 160 quarter nodes apart: 65600, which cut to 16 bits would be 64.
  PairScratch().auwQx[0] = 10;
  PairScratch().auwQy[0] = 10;
  PairScratch().auwQx[1] = 210;
  PairScratch().auwQy[1] = 170;
  EXPECT_EQ(RegionSqDist(0, 1), 65535);
  PairScratch().auwQx[1] = 30;
  PairScratch().auwQy[1] = 20;
  EXPECT_EQ(RegionSqDist(0, 1), 500);
}

TEST_F(PairFixture, SplitNeedsAFreeRegionNumber) {
  Lay({{5, 6, 300}});
  gstCoordPair.astLastRect[0] = Rect(4, 6, 4, 6);
  gstCoordPair.astLastRect[1] = Rect(4, 6, 7, 9);
  CoordPairInput in = Input();
  gstCoordPairStatics.pstInput = &in;
  // All twelve region numbers in use: the region stays whole, nothing past entry 11.
  for (int k = 0; k < kCoordPointMax; ++k) gstCoordPair.auwCurRectMaxDiff[k] = 100;
  const MutualRegionSet before = gstMutualRegion;
  SplitRegionBySlotRects(0, 0, 1, 0);
  EXPECT_EQ(memcmp(&before, &gstMutualRegion, sizeof(before)), 0);
  EXPECT_EQ(+in.ubRegionCount, 1);

  for (int k = 1; k < kCoordPointMax; ++k) gstCoordPair.auwCurRectMaxDiff[k] = 0;
  SplitRegionBySlotRects(0, 0, 1, 0);
  EXPECT_EQ(+in.ubRegionCount, 2);
  EXPECT_EQ(RegionRectWord(gstMutualRegion.astRect[0]), RegionRectWord(Rect(4, 6, 4, 6)));
  EXPECT_EQ(RegionRectWord(gstMutualRegion.astRect[1]), RegionRectWord(Rect(4, 6, 7, 9)));
  EXPECT_EQ(+gstMutualRegion.auwPeak[0], D(5, 6));
  EXPECT_EQ(+gstMutualRegion.auwPeak[1], D(5, 7));
  EXPECT_EQ(gaubRegionLabelMap[5 * cols_ + 7], 1);
  EXPECT_EQ(gaubRegionLabelMap[5 * cols_ + 6], 0);
  gstCoordPairStatics.pstInput = nullptr;
}

// ---- pairing --------------------------------------------------------------------------

TEST_F(PairFixture, MovingBlobKeepsSlotZeroAndFollowsTheCentroid) {
  int last = -1;
  for (int f = 0; f < 24; ++f) {
    const auto pts = Paired({{6, 4 + f / 8.0, 400}});
    ASSERT_EQ(pts.size(), 1u) << f;
    ASSERT_EQ(pts.begin()->first, 0) << f;
    const int x = pts.begin()->second.x;
    if (last >= 0) {
      EXPECT_GT(x, last) << f;
      EXPECT_NEAR(x - last, 64, 24) << f;
    }
    last = x;
  }
}

TEST_F(PairFixture, ReportDelayHoldsBackTheFirstFrames) {
  struct Case {
    uint8_t delay;
    int firstReported;
  } cases[] = {{0, 0}, {1, 0}, {2, 1}, {3, 2}};
  for (const Case& c : cases) {
    Init(16, 30, 3, c.delay);
    int first = -1;
    for (int f = 0; f < 5 && first < 0; ++f) {
      if (!Frame({{6, 10, 400}}).empty()) first = f;
    }
    EXPECT_EQ(first, c.firstReported) << "delay " << int(c.delay);
    EXPECT_EQ(Frame({{6, 10, 400}}).count(0), 1u) << "then every frame, delay " << int(c.delay);
  }
}

TEST_F(PairFixture, LiftIsHeldAtTheLastPositionThenReleased) {
  struct Case {
    uint8_t hold;
    int heldFrames;
  } cases[] = {{0, 0}, {1, 0}, {3, 2}, {6, 5}};
  for (const Case& c : cases) {
    Init(16, 30, c.hold, 0);
    Frame({{6, 10, 400}});
    const Point down = Frame({{6, 10.5, 400}}).at(0);
    int held = 0;
    for (int f = 0; f < 10; ++f) {
      const auto pts = Frame({});
      if (pts.empty()) break;
      ASSERT_EQ(pts.count(0), 1u);
      EXPECT_EQ(pts.at(0).x, down.x);
      EXPECT_EQ(pts.at(0).y, down.y);
      ++held;
    }
    EXPECT_EQ(held, c.heldFrames) << "hold " << int(c.hold);
    EXPECT_EQ(+gstCoordPair.auwLastRectMaxDiff[0], 0) << "slot free after the hold";
    // A touch that comes back after the hold is a new point in the lowest free slot.
    EXPECT_EQ(Frame({{2, 20, 400}}).count(0), 1u);
  }
}

TEST_F(PairFixture, TouchReturningWithinTheHoldKeepsItsId) {
  Init(16, 30, 4, 0);
  Frame({{6, 10, 400}, {12, 24, 400}});
  Frame({{12, 24, 400}});  // the first finger is missing for a frame
  const auto pts = Frame({{6, 10.2, 400}, {12, 24, 400}});
  ASSERT_EQ(pts.size(), 2u);
  EXPECT_LT(pts.at(0).x, pts.at(1).x) << "slot 0 is the first finger again";
}

TEST_F(PairFixture, CrossingFingersKeepTheirIds) {
  for (int f = 0; f <= 40; ++f) {
    const double a = 4 + f * 0.5, b = 24 - f * 0.5;  // pass each other at frame 20
    const auto pts = Paired({{4, a, 400}, {9, b, 400}});
    ASSERT_EQ(pts.size(), 2u) << f;
    ASSERT_EQ(pts.count(0), 1u) << f;
    ASSERT_EQ(pts.count(1), 1u) << f;
    EXPECT_LT(pts.at(0).y, pts.at(1).y) << "slot 0 stays the upper finger, frame " << f;
    EXPECT_NEAR(pts.at(0).x, a * 512 + 256, 64) << f;
    EXPECT_NEAR(pts.at(1).x, b * 512 + 256, 64) << f;
  }
}

TEST_F(PairFixture, NearerRegionKeepsTheSlotTheOtherStartsANewPoint) {
  Frame({{5, 10, 400}});
  const auto pts = Paired({{5, 17, 400}, {5, 10.5, 400}});
  ASSERT_EQ(pts.size(), 2u);
  EXPECT_NEAR(pts.at(0).x, 10.5 * 512 + 256, 32) << "the nearer piece continues slot 0";
  EXPECT_NEAR(pts.at(1).x, 17 * 512 + 256, 32) << "the other takes the lowest free slot";
}

TEST_F(PairFixture, MotionLimitsFollowTheFrameInterval) {
  struct Case {
    uint8_t rate;
    uint16_t interval;
    uint16_t D, d;
  } cases[] = {
      {0, 2000, 2400, 40},
      {1, 2000, 600, 10},
      {1, 4000, 1200, 20},
      {1, 8000, 2400, 40},
      {1, 31, 600, 10},  // 8000 / 31 = 258: the scale is 4, not 258 cut to 8 bits (2)
      {1, 0, 2400, 40},  // no interval known: no division, limits as they are
  };
  for (const Case& c : cases) {
    Lay({});
    CoordPairInput in = Input();
    in.ubRateFlag = c.rate;
    in.uwFrameInterval = c.interval;
    CoordPair(&in);
    EXPECT_EQ(+in.uwMoveLimit, c.D) << c.interval;
    EXPECT_EQ(+in.uwStepLimit, c.d) << c.interval;
  }
  gstCoordPairStatics.pstInput = nullptr;
}

// A slot at quarter position 44 that came from 40 (a last step of 16) sees its region at
// 74: a move of 900, ratio 56. With the fast-move flags the ratio limit is 3 x 100 = 300;
// narrowed to 8 bits it would be 44 and the finger would lose its id.
TEST_F(PairFixture, JumpRatioLimitIsNotNarrowed) {
  Lay({{5, 18, 400}});
  CoordPairInput in = Input();
  in.ubJumpGateFlag = 1;
  in.ubFastMoveA = 1;
  in.ubFastMoveB = 1;
  auto& p = gstCoordPair;
  p.astLastRect[0] = Rect(4, 6, 10, 12);
  p.auwLastRectMaxDiff[0] = 400;
  p.auwSlotX[0] = 44;
  p.auwPrevSlotX[0] = 40;
  p.auwSlotY[0] = p.auwPrevSlotY[0] = 22;
  CoordPair(&in);
  EXPECT_EQ(+p.aubOrderIndex[0], 0) << "kept";
  ASSERT_EQ(Points().count(0), 1u);
  EXPECT_EQ(Points().size(), 1u);

  // A move beyond twice the move limit still starts a new point.
  Lay({{5, 29, 400}});
  in = Input();
  in.ubJumpGateFlag = 1;
  p.auwSlotX[0] = 2;
  p.auwPrevSlotX[0] = 2;
  p.astLastRect[0] = Rect(4, 6, 0, 1);
  CoordPair(&in);
  EXPECT_NE(p.aubOrderIndex[0], 0) << "a jump of 116 quarter nodes is not slot 0";
  gstCoordPairStatics.pstInput = nullptr;
}

// A still slot whose region turns up 10 quarter nodes away (a squared move of 100, a ratio
// of 100 over a still last step): the position limit (36 inside the panel, 15 near its
// edge) unpairs it; right after a residue change at low temperature only the wide limit
// (4 x 36) applies and the pairing is kept. A slot whose direction is settled (bit 3 of its
// companion byte) meets the position limit only as a narrow strip at the map edge.
TEST_F(PairFixture, JumpCheckPositionLimitYieldsToALowTemperatureResidueChange) {
  keep_.Keep(gstLowTempNcln);
  struct Case {
    const char* what;
    double col;       // blob column; 0.3 makes a two-column strip on the edge
    uint8_t state, change, companion;
    bool kept;
  } cases[] = {
      {"normal temperature", 15, kLowTempStateNormal, 0, 0, false},
      {"low temperature, no residue change", 15, kLowTempStateLow, 0, 0, false},
      {"a change count left from the low state", 15, kLowTempStateNormal, 2, 0, false},
      {"low temperature, residue changed", 15, kLowTempStateLow, 2, 0, true},
      {"settled direction, inside the panel", 15, kLowTempStateNormal, 0, 0x88, true},
      {"settled direction, edge strip", 0.3, kLowTempStateNormal, 0, 0x88, false},
      {"settled direction, edge strip, residue changed", 0.3, kLowTempStateLow, 2, 0x88, true},
  };
  for (const Case& c : cases) {
    Init(16, 30, 3, 0);
    gstLowTempNcln.ubState = c.state;
    gstLowTempNcln.ubChangeCnt = c.change;
    // The first frame takes slot 0 at the region's own position.
    Lay({{7, c.col, 400}});
    CoordPairInput in = Input();
    CoordPair(&in);
    auto& p = gstCoordPair;
    ASSERT_EQ(+p.aubOrderIndex[0], 0) << c.what;
    const uint16_t qx = p.auwSlotX[0];
    // The slot was still, 10 quarter nodes to the right, over a rectangle beside the strip.
    p.auwSlotX[0] = p.auwPrevSlotX[0] = static_cast<uint16_t>(qx + 10);
    p.auwSlotY[0] = p.auwPrevSlotY[0];
    p.astLastRect[0] = Rect(6, 8, static_cast<uint8_t>(c.col + 3), static_cast<uint8_t>(c.col + 5));
    p.aubCompanion[0] = c.companion;
    // The strip is new signal (pairing saved this frame's map as the previous one): an
    // unchanged strip outside the slot's rectangle would be dropped as stale.
    std::fill(prev_.begin(), prev_.end(), 0);
    in = Input();
    in.ubJumpGateFlag = 1;
    CoordPair(&in);
    EXPECT_EQ(p.aubOrderIndex[0] == 0, c.kept) << c.what;
  }
  gstCoordPairStatics.pstInput = nullptr;
}

TEST_F(PairFixture, SplitPiecesMergeBelowTheMergeDistance) {
  struct Case {
    const char* name;
    bool thumb;  // slot 0's finger covered rows 4-8, columns 9-15 (else its own 3 x 3 nodes)
    uint8_t floatSelf;
    int16_t between;  // the signal between the pieces, which peak at 300
    size_t points;
  } cases[] = {
      {"squared distance 464 under 512, inside a thumb's extent: one finger", true, 0, 210, 1},
      {"floating self: only under 512 / 3", true, 1, 210, 2},
      // Rows 5-7 and columns 10-15 are twice a fingertip's width: never its pieces, however
      // large the merge distance.
      {"the same pieces beside a fingertip: two fingers", false, 0, 210, 2},
      // A valley of half the peaks is deeper than one finger shows, however well the
      // pieces fit the finger the slot held.
      {"inside a thumb's extent, the signal between them halved: two fingers", true, 0, 150, 2},
  };
  for (const Case& c : cases) {
    Init(16, 30, 3, 0, 512);
    // Slot 0 holds one finger; the next frame has two single-node pieces near it.
    Frame({{5, 12, 400}});
    ASSERT_EQ(RegionRectWord(gstCoordPair.astLastRect[0]), RegionRectWord(Rect(4, 6, 11, 13)));
    if (c.thumb) gstCoordPair.astLastRect[0] = Rect(4, 8, 9, 15);
    std::fill(diff_.begin(), diff_.end(), 0);
    memset(gaubRegionLabelMap, 255, sizeof(gaubRegionLabelMap));
    // Between the pieces the signal falls by 30 % (210): deeper than one finger laid down
    // dips, shallow enough for a finger the slot held.
    for (int y = 5; y <= 7; ++y) {
      for (int x = 10; x <= 15; ++x) D(y, x) = c.between;
    }
    D(5, 10) = 300;
    D(7, 15) = 300;
    gstMutualRegion.astRect[0] = Rect(5, 5, 10, 10);
    gstMutualRegion.astRect[1] = Rect(7, 7, 15, 15);
    gstMutualRegion.auwPeak[0] = gstMutualRegion.auwPeak[1] = 300;
    gstMutualRegion.auwPeakPos[0] = (5 << 8) | 10;
    gstMutualRegion.auwPeakPos[1] = (7 << 8) | 15;
    gstMutualRegion.ubRegionNum = 2;
    // The finger the slot held gave these pieces the frame before too: a top that rises
    // from nothing is a fingertip landing, which the held-finger way does not take.
    prev_ = diff_;
    CoordPairInput in = Input();
    in.uwMergeDistance = 512;
    in.ubFloatSelf = c.floatSelf;
    in.ubLastReportCount = 1;
    CoordPair(&in);
    EXPECT_EQ(Points().size(), c.points) << c.name;
    EXPECT_EQ(gstMutualRegion.auwPeak[1] == 0, c.points == 1) << c.name;
  }
  gstCoordPairStatics.pstInput = nullptr;
}

// Two pieces of one blob landing together (no slot held: a fresh start), down column COL
// with half its signal on the columns beside it: region 0 the rows before SPLIT, region 1
// the rest. They are one point when the signal between their peak nodes falls by at most
// 23.5 % below the weaker of them and the blob is no longer than a thumb laid flat (9
// nodes), else a point each. On column 0 the pieces' positions lie a third of a node off the ridge
// (the border takes the other neighbour column away); the peaks and the valley are read on
// the ridge all the same.
TEST_F(PairFixture, PiecesLandingTogetherAreOneFingerByTheirValleyAndLength) {
  struct Case {
    const char* name;
    std::vector<int16_t> column;  // from row 0
    uint8_t split;
    uint8_t col;
    size_t points;
  } cases[] = {
      {"a tenth below the peaks: one finger", {0, 0, 200, 600, 540, 540, 600, 200}, 5, 12, 1},
      {"23.5 % below, to the count: one finger", {0, 0, 200, 600, 459, 459, 600, 200}, 5, 12, 1},
      {"one count more: two fingers", {0, 0, 200, 600, 458, 458, 600, 200}, 5, 12, 2},
      {"the weaker peak sets the depth: one finger", {0, 0, 200, 900, 459, 459, 600, 200}, 5, 12, 1},
      {"a third below: two fingers", {0, 0, 200, 600, 400, 400, 600, 200}, 5, 12, 2},
      {"9 rows long: one finger", {0, 200, 400, 600, 560, 540, 560, 600, 400, 200}, 5, 12, 1},
      {"10 rows long: two fingers", {0, 200, 400, 600, 560, 540, 540, 560, 600, 400, 200}, 6, 12, 2},
      {"21 % below on column 12: one finger", {0, 0, 200, 600, 474, 474, 600, 200}, 5, 12, 1},
      {"21 % below on column 0: one finger", {0, 0, 200, 600, 474, 474, 600, 200}, 5, 0, 1},
      {"a third below on column 0: two fingers", {0, 0, 200, 600, 400, 400, 600, 200}, 5, 0, 2},
  };
  for (const Case& c : cases) {
    Init(16, 30, 3, 0);
    memset(gaubRegionLabelMap, 255, sizeof(gaubRegionLabelMap));
    const uint8_t c0 = c.col == 0 ? 0 : static_cast<uint8_t>(c.col - 1);
    const uint8_t c1 = static_cast<uint8_t>(c.col + 1);
    RegionRect rects[2] = {{255, 0, c0, c1}, {255, 0, c0, c1}};
    for (uint8_t y = 0; y < c.column.size(); ++y) {
      if (c.column[y] == 0) continue;
      const uint8_t k = y < c.split ? 0 : 1;
      for (int x = c0; x <= c1; ++x) {
        D(y, x) = static_cast<int16_t>(x == c.col ? c.column[y] : c.column[y] / 2);
        gaubRegionLabelMap[y * cols_ + x] = k;
      }
      rects[k].ubRowStart = std::min(rects[k].ubRowStart, y);
      rects[k].ubRowEnd = std::max(rects[k].ubRowEnd, y);
      if (c.column[y] > gstMutualRegion.auwPeak[k]) {
        gstMutualRegion.auwPeak[k] = static_cast<uint16_t>(c.column[y]);
        gstMutualRegion.auwPeakPos[k] = static_cast<uint16_t>((y << 8) | c.col);
      }
    }
    gstMutualRegion.astRect[0] = rects[0];
    gstMutualRegion.astRect[1] = rects[1];
    gstMutualRegion.ubRegionNum = 2;
    CoordPairInput in = Input();
    CoordPair(&in);
    EXPECT_EQ(Points().size(), c.points) << c.name;
  }
  gstCoordPairStatics.pstInput = nullptr;
}

// Two regions on slot 0, and slot 1 (occupied, no region this frame) predicted near both:
// the region for which moving costs less (the farther one from slot 0) moves to slot 1
// instead of starting a new point.
TEST_F(PairFixture, SecondRegionOfASlotMovesToANearbySlotWithoutRegion) {
  D(5, 10) = 300;
  D(5, 13) = 300;
  gstMutualRegion.astRect[0] = Rect(5, 5, 10, 10);  // quarter position (42, 22)
  gstMutualRegion.astRect[1] = Rect(5, 5, 13, 13);  // (54, 22)
  gstMutualRegion.auwPeak[0] = gstMutualRegion.auwPeak[1] = 300;
  gstMutualRegion.ubRegionNum = 2;
  auto& p = gstCoordPair;
  p.astLastRect[0] = Rect(4, 6, 9, 11);
  p.astLastRect[1] = Rect(8, 9, 11, 12);
  p.auwLastRectMaxDiff[0] = p.auwLastRectMaxDiff[1] = 300;
  p.auwSlotX[0] = p.auwPrevSlotX[0] = 40;
  p.auwSlotY[0] = p.auwPrevSlotY[0] = 22;
  p.auwSlotX[1] = p.auwPrevSlotX[1] = 48;  // 232 from both regions
  p.auwSlotY[1] = p.auwPrevSlotY[1] = 36;
  CoordPairInput in = Input();
  in.uwReleaseMargin = 1000;
  CoordPair(&in);
  EXPECT_EQ(+p.aubOrderIndex[0], 0);
  EXPECT_EQ(+p.aubOrderIndex[1], 1);
  const auto pts = Points();
  ASSERT_EQ(pts.size(), 2u);
  EXPECT_EQ(pts.at(0).x, 10 * 512 + 256);
  EXPECT_EQ(pts.at(1).x, 13 * 512 + 256);
  gstCoordPairStatics.pstInput = nullptr;
}

TEST_F(PairFixture, DiagonalPairBonusNeedsADipAStrongMiddleAndStrongCorners) {
  gstMutualRegion.astRect[0] = Rect(2, 3, 2, 3);
  gstMutualRegion.astRect[1] = Rect(4, 5, 4, 5);
  gstMutualRegion.ubRegionNum = 2;
  CoordPairInput in = Input();
  gstCoordPairStatics.pstInput = &in;
  PairScratch().auwQx[0] = PairScratch().auwQy[0] = 10;  // node 2.5
  PairScratch().auwQx[1] = PairScratch().auwQy[1] = 18;  // node 4.5
  D(3, 3) = 200;   // midway node
  D(2, 5) = -150;  // a dip beside the pieces
  D(3, 4) = 130;   // the four corner neighbours
  D(4, 3) = 130;
  EXPECT_EQ(ScoreDiagonalPair(0, 1), 150);
  D(4, 3) = 50;
  EXPECT_EQ(ScoreDiagonalPair(0, 1), 0) << "a weak corner neighbour";
  D(4, 3) = 130;
  D(2, 5) = -90;
  EXPECT_EQ(ScoreDiagonalPair(0, 1), 0) << "no dip: base 0";
  D(2, 5) = -150;
  D(3, 3) = 100;
  EXPECT_EQ(ScoreDiagonalPair(0, 1), 0) << "a weak middle";
  D(3, 3) = 200;
  gstMutualRegion.astRect[1] = Rect(4, 5, 3, 5);
  EXPECT_EQ(ScoreDiagonalPair(0, 1), 0) << "the pieces share a column end";
  gstMutualRegion.astRect[1] = Rect(4, 11, 4, 5);
  EXPECT_EQ(ScoreDiagonalPair(0, 1), 0) << "spread over 10 rows";
  gstCoordPairStatics.pstInput = nullptr;
}

// Two fingers of the last frame that now form one region: with two maxima the region is
// split along the slots' last rectangles and both keep their ids; with one it stays whole.
TEST_F(PairFixture, ComplementPassSplitsAMergedPairWithTwoMaxima) {
  struct Case {
    bool twoMaxima;
    uint8_t splitSwitch;
    bool split;
  } cases[] = {{true, 1, true}, {false, 1, false}, {true, 0, false}};
  for (const Case& c : cases) {
    const bool twoMaxima = c.twoMaxima;
    Init(16, 30, 3, 0);
    Lay({{5, 7, 400}, {5, 13, 400}});
    CoordPairInput in = Input();
    in.ubSplitSwitch = 1;
    CoordPair(&in);
    ASSERT_EQ(Points().size(), 2u);
    const RegionRect L0 = gstCoordPair.astLastRect[0], L1 = gstCoordPair.astLastRect[1];

    if (twoMaxima) {
      Lay({{5, 7, 400}, {5, 13, 400}});
      for (int r = 4; r <= 6; ++r) {
        D(r, 9) = D(r, 11) = 60;  // the valley that joins them
        D(r, 10) = 41;
      }
    } else {
      std::fill(diff_.begin(), diff_.end(), 0);
      for (int r = 4; r <= 6; ++r) {
        for (int c = 6; c <= 14; ++c) D(r, c) = static_cast<int16_t>(400 - 40 * std::abs(c - 10) - 60 * std::abs(r - 5));
      }
    }
    gstMutualRegion.astRect[0] = RectUnion(L0, L1);
    gstMutualRegion.astRect[1] = RegionRect{0, 0, 0, 0};
    gstMutualRegion.auwPeak[1] = 0;
    gstMutualRegion.ubRegionNum = 1;
    in = Input();
    prev_ = diff_;  // the signal has not changed since the last frame
    in.ubSplitSwitch = c.splitSwitch;
    in.ubLastReportCount = 2;
    in.stTouchRect = RectUnion(L0, L1);
    CoordPair(&in);
    if (c.split) {
      EXPECT_EQ(+in.ubRegionCount, 2);
      EXPECT_EQ(RegionRectWord(gstMutualRegion.astRect[0]), RegionRectWord(L0));
      EXPECT_EQ(RegionRectWord(gstMutualRegion.astRect[1]), RegionRectWord(L1));
      EXPECT_EQ(+gstCoordPair.aubOrderIndex[0], 0);
      EXPECT_EQ(+gstCoordPair.aubOrderIndex[1], 1);
      // Each piece is isolated, so its centroid takes the valley beside it in as well.
      EXPECT_NEAR(gpuwNewPointX[0], 7 * 512 + 256, 160);
      EXPECT_NEAR(gpuwNewPointX[1], 13 * 512 + 256, 160);
      EXPECT_LT(gpuwNewPointX[0], 9 * 512);
      EXPECT_GT(gpuwNewPointX[1], 11 * 512);
    } else {
      EXPECT_EQ(+in.ubRegionCount, 1) << twoMaxima;
      EXPECT_EQ(+gstMutualRegion.auwPeak[1], 0) << twoMaxima;
      EXPECT_EQ(gstCoordPairStatics.uwComplementState & 0xFF, 0) << twoMaxima;
    }
  }
  gstCoordPairStatics.pstInput = nullptr;
}

// ---- the pairing wrapper ----------------------------------------------------------------

// What the wrapper hands pairing from the floating, noise, glove, skip and water states.
TEST_F(PairFixture, WrapperGathersTheStatesOfTheOtherModules) {
  uint8_t* sc = gstNewSpeedStretchCfg.aubData;
  sc[0] = 3;     // normal set: both axes, inner X 100
  sc[1] = 100;
  sc[13] = 1;    // glove set: X only, inner X 200
  sc[14] = 200;
  gstCoordPairCfg.aubData[8] = 1;  // early report configured
  Lay({{6, 10, 400}});
  const RegionRect main{2, 9, 3, 12};
  struct Case {
    const char* name;
    uint8_t nfFlag, nfActive, nfWhite, glove, game, floatCnt, twoPeak, skip, removed;
    uint8_t floatSwitch, floatSelf, early, axes;
    uint16_t innerX;
    uint8_t delay, gate, smallMove, moveFloor;
  } cases[] = {
      {"quiet", 0, 0, 0, 0, 0, 7, 0, 0, 0, /**/ 7, 0, 1, 3, 100, 0, 1, 3, 5},
      {"common NF flag mutes the floating switch", 1, 0, 0, 0, 0, 7, 0, 0, 0, /**/ 0, 0, 1, 3, 100, 0, 1, 3, 5},
      {"NF active byte mutes the early report", 0, 1, 0, 0, 0, 7, 0, 0, 0, /**/ 7, 0, 0, 3, 100, 0, 1, 3, 5},
      {"white noise mutes both", 0, 0, 1, 0, 0, 7, 0, 0, 0, /**/ 0, 0, 0, 3, 100, 0, 1, 3, 5},
      {"glove: glove edge set, no early report", 0, 0, 0, 1, 0, 7, 0, 0, 0, /**/ 7, 0, 0, 1, 200, 48, 1, 3, 5},
      {"glove bit 1 alone is no glove", 0, 0, 0, 2, 0, 7, 0, 0, 0, /**/ 7, 0, 1, 3, 100, 0, 1, 3, 5},
      {"game mode clears the normal axes", 0, 0, 0, 0, 1, 7, 0, 0, 0, /**/ 7, 0, 1, 0, 100, 0, 1, 3, 5},
      {"game mode keeps the glove axes", 0, 0, 0, 1, 1, 7, 0, 0, 0, /**/ 7, 0, 0, 1, 200, 48, 1, 3, 5},
      {"two-peak byte is the floating-self flag", 0, 0, 0, 0, 0, 0, 2, 0, 0, /**/ 0, 1, 1, 3, 100, 0, 1, 3, 5},
      {"one skipped frame keeps the jump gate", 0, 0, 0, 0, 0, 7, 0, 1, 0, /**/ 7, 0, 1, 3, 100, 0, 1, 3, 5},
      {"two skipped frames turn it off", 0, 0, 0, 0, 0, 7, 0, 2, 0, /**/ 7, 0, 1, 3, 100, 0, 0, 3, 5},
      {"water removed regions: small jump steps", 0, 0, 0, 0, 0, 7, 0, 0, 2, /**/ 7, 0, 1, 3, 100, 0, 1, 1, 3},
  };
  for (const Case& c : cases) {
    gstCommon.ubNfNoiseResult = c.nfFlag;
    gstNfNoiseProc.aubData[0] = c.nfActive;
    gstNfNoiseProc.aubData[21] = c.nfWhite;
    gubGloveSat = c.glove;
    gstCommon.ubGameModeFlag = c.game;
    gstFloatSelfProc.ubFloatCnt = c.floatCnt;
    gstFloatSelfProc.ubTwoPeak = c.twoPeak;
    gstFloatSelfProc.stMainRect = main;
    gubContinueSkipNum = c.skip;
    gstCommon.ubRemovedCount = c.removed;
    CoordPairInput in;
    CoordPairGatherInput(in);
    EXPECT_EQ(+in.ubFloatSwitch, c.floatSwitch) << c.name;
    EXPECT_EQ(+in.ubFloatSelf, c.floatSelf) << c.name;
    EXPECT_EQ(RegionRectWord(in.stTouchRect), RegionRectWord(main)) << c.name;
    EXPECT_EQ(+in.ubEarlyReportSwitch, c.early) << c.name;
    EXPECT_EQ(+in.ubEdgeHoldAxes, c.axes) << c.name;
    EXPECT_EQ(+in.auwEdgeInner[0], c.innerX) << c.name;
    EXPECT_EQ(+in.ubReportDelayCode, c.delay) << c.name;
    EXPECT_EQ(+in.ubJumpGateFlag, c.gate) << c.name;
    EXPECT_EQ(+in.ubSmallMove, c.smallMove) << c.name;
    EXPECT_EQ(+in.ubMoveFloor, c.moveFloor) << c.name;
    EXPECT_EQ(+gubContinueSkipNum, c.skip) << "gathering changes no record: " << c.name;
  }
  // A configured delay above the glove's is kept.
  gstCoordComInput.ubReportDelayCode = 64;
  CoordPairInput in;
  CoordPairGatherInput(in);
  EXPECT_EQ(+in.ubReportDelayCode, 64);
}

// A gloved finger lands: the report waits three frames whatever the configured delay below
// that, and the later coordinate stages see the raised delay too.
TEST_F(PairFixture, GloveDelaysTheFirstReport) {
  struct Case {
    uint8_t glove, delay;
    int firstReported;
  } cases[] = {{0, 0, 0}, {1, 0, 2}, {1, 1, 2}, {1, 4, 3}};
  for (const Case& c : cases) {
    Init(16, 30, 3, c.delay);
    gubGloveSat = c.glove;
    int first = -1;
    for (int f = 0; f < 6 && first < 0; ++f) {
      if (!Frame({{6, 10, 400}}).empty()) first = f;
      const uint8_t want = c.glove != 0 && c.delay * 16 < 48 ? 48 : static_cast<uint8_t>(c.delay * 16);
      EXPECT_EQ(+gstCoordComInput.ubReportDelayCode, want) << int(c.glove) << " " << int(c.delay);
    }
    EXPECT_EQ(first, c.firstReported) << "glove " << int(c.glove) << " delay " << int(c.delay);
  }
}

// What the wrapper keeps of a frame: the previous count (also the common touch count), the
// cleared skip counter, the region count after merging and the debug pairing bytes.
TEST_F(PairFixture, WrapperKeepsThePairingResults) {
  Frame({{6, 10, 400}});
  Frame({{6, 10, 400}, {12, 24, 400}});
  memset(&gstSelkoAlgoDebugInfo, 0xEE, sizeof(gstSelkoAlgoDebugInfo));
  gubContinueSkipNum = 3;
  gstCommon.ubTouchCount = 9;
  const auto pts = Frame({{6, 10.5, 400}, {12, 24, 400}, {2, 2, 400}});
  ASSERT_EQ(pts.size(), 3u);
  EXPECT_EQ(+gubContinueSkipNum, 0);
  EXPECT_EQ(+gstCoordComOutput.ubPointNumLast, 2);
  EXPECT_EQ(+gstCommon.ubTouchCount, 2) << "the points of the frame before";
  EXPECT_EQ(+gstCommon.aubPairState[0], 3) << "regions after merging";
  const SelkoAlgoDebugInfo& d = gstSelkoAlgoDebugInfo;
  const uint8_t* raw = reinterpret_cast<const uint8_t*>(&d);
  EXPECT_EQ(0, memcmp(raw + 906, gstCoordPair.aubSlotState, 12));
  EXPECT_EQ(raw[918], gstCoordPair.ubFreshStart);
  EXPECT_EQ(raw[919], gstCoordPair.ubGapFlag);
  EXPECT_EQ(raw[920], gstCoordPair.ubComplementByte);
  // The slot rectangles: the three regions' own, the free slots all ones.
  for (int k = 0; k < 3; ++k) {
    ASSERT_EQ(+gstCoordPair.aubOrderIndex[k], k);
    RegionRect r;
    memcpy(&r, raw + 921 + 4 * k, 4);
    EXPECT_EQ(RegionRectWord(r), RegionRectWord(gstMutualRegion.astRect[k])) << k;
  }
  for (int k = 3; k < kCoordPointMax; ++k) {
    for (int b = 0; b < 4; ++b) EXPECT_EQ(raw[921 + 4 * k + b], 0xFF) << k;
  }
  EXPECT_EQ(raw[905], 0xEE) << "nothing before the pairing bytes";
  EXPECT_EQ(raw[969], 0xEE) << "nothing after them";
}

// ---- low-temperature stage -------------------------------------------------------------

TEST_F(PairFixture, LowTemperatureStageSwitchesFrequencyOncePerStay) {
  memset(&gstLowTempCfg, 0, sizeof(gstLowTempCfg));
  memset(&gstFreqHopCfg, 0, sizeof(gstFreqHopCfg));
  gstFreqHopCfg.aubData[1] = 2;
  gstFreqHopCfg.aubData[2] = 0xE8;  // 1000
  gstFreqHopCfg.aubData[3] = 0x03;
  gstFreqHopCfg.aubData[4] = 0xD0;  // 2000
  gstFreqHopCfg.aubData[5] = 0x07;
  gstThpAfeMoudleCfg.uiAfeWord = 1u << 10;
  struct Case {
    const char* name;
    uint8_t index;
    uint8_t powerOn;
    bool rebuild;
  } cases[] = {
      {"index in the table, powered on", 1, 1, true},
      {"index beyond the table, powered on: nothing switched", 2, 1, false},
      {"index beyond the table, not powered on: rebuilt anyway", 2, 0, true},
  };
  for (const Case& c : cases) {
    gstLowTempCfg.aubData[0] = 0x83;
    gstLowTempCfg.aubData[20] = c.index;
    gubLowTempPowerOn = c.powerOn;
    memset(&gstFreqHop, 0, sizeof(gstFreqHop));
    gstFreqHop.st.uwCurFreq = 1000;
    gstFreqHop.st.ubEnabled = 1;
    gstRefUpdateModule.ubPowerOnCnt = 0x55;
    gstLowTempStage = LowTempStageState{};
    gstLowTempCfg.aubData[21] = 0x80;  // the judgement is forced to low temperature
    LowTempOptEncapsulation();
    EXPECT_EQ(+gstFreqHop.st.ubEnabled, 0) << c.name;
    EXPECT_EQ(+gstLowTempStage.ubApplied, 1) << c.name;
    EXPECT_EQ(gstRefUpdateModule.ubPowerOnCnt != 0x55, c.rebuild) << c.name;
    gstRefUpdateModule.ubPowerOnCnt = 0x55;
    LowTempOptEncapsulation();
    EXPECT_EQ(+gstRefUpdateModule.ubPowerOnCnt, 0x55) << "once per stay: " << c.name;
    gstLowTempCfg.aubData[21] = 0;  // not forced, no countdown left: the state is left
    LowTempOptEncapsulation();
    EXPECT_EQ(+gstCommon.ubLowTempState, 0) << c.name;
    EXPECT_EQ(+gstLowTempStage.ubApplied, 0) << c.name;
    EXPECT_EQ(+gstFreqHop.st.ubEnabled, 1) << "hopping allowed again: " << c.name;
  }
  // Suspended: the state is left at once, before the optimisation.
  gstLowTempStage.ubSuspend = 1;
  gstCommon.ubLowTempState = 2;
  LowTempOptEncapsulation();
  EXPECT_EQ(+gstCommon.ubLowTempState, 0);
  EXPECT_EQ(+gstLowTempStage.ubApplied, 0);
  gstLowTempStage = LowTempStageState{};
}

}  // namespace
