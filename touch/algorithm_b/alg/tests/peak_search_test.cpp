// Peak search: the line peak rule, mutual peaks with their extents and statistics, self
// peaks and the self extremes and counters of the frequency sets.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "luma_env.h"
#include "luma_front.h"
#include "luma_peaks.h"
#include "luma_search.h"

namespace {

constexpr int kTx = 17;
constexpr int kRx = 38;

class PeakSearch : public ::testing::Test {
 protected:
  void SetUp() override {
    register_alg_module(nullptr);
    alg_module_init();
    ASSERT_EQ(g_stFrmData.pssMcDiff, g_stFrmData.assMcDiff);
    std::memset(g_stFrmData.assMcDiff, 0, sizeof(g_stFrmData.assMcDiff));
    std::memset(g_stFrmData.assScDiff, 0, sizeof(g_stFrmData.assScDiff));
    g_ucMcPeakSearchMod = 0;
    AppSearchPeakThSet(1);  // mutual threshold 130, negative -180
  }
  static void Set(int tx, int rx, int16_t v) { g_stFrmData.assMcDiff[tx * kRx + rx] = v; }
  // A finger: `centre` at the node, the given values on the four direct neighbours.
  static void Finger(int tx, int rx, int16_t centre, int16_t side) {
    Set(tx, rx, centre);
    if (tx > 0) Set(tx - 1, rx, side);
    if (tx < kTx - 1) Set(tx + 1, rx, side);
    if (rx > 0) Set(tx, rx - 1, side);
    if (rx < kRx - 1) Set(tx, rx + 1, side);
  }
  static const uint8_t *Range(int i) { return &g_stPeakData.aucMcPeakRange[5 * i]; }
  static int16_t *ScRx(int set) { return g_stFrmData.assScDiff[set]; }
  static int16_t *ScTx(int set) { return g_stFrmData.assScDiff[set] + kRx; }
};

TEST_F(PeakSearch, LinePeakRule) {
  struct Case {
    std::vector<int16_t> line;
    int16_t threshold;
    uint8_t negate;
    std::vector<uint8_t> peaks;
  };
  const Case cases[] = {
      {{0, 200, 200, 0}, 100, 0, {1}},          // a plateau gives its first element only
      {{300, 300, 0}, 100, 0, {0}},             // the first value against 0 on its left
      {{300, 301, 0}, 100, 0, {1}},             // unless the second is larger
      {{0, 90, 0, 150}, 100, 0, {3}},           // at or below the threshold is no peak
      {{0, -300, 0, -50}, 100, 1, {1}},         // minima of the negated line
      {{-32768, 0}, 100, 1, {0}},               // negating the smallest value does not wrap
      {{}, 100, 0, {}},
  };
  for (const Case &c : cases) {
    uint8_t out[21] = {};
    const uint8_t n = AppLinePeakSearch(c.line.data(), static_cast<uint8_t>(c.line.size()), c.threshold, out,
                                        c.negate, 21);
    EXPECT_EQ(std::vector<uint8_t>(out, out + n), c.peaks) << "line of " << c.line.size();
  }
  // The walk stops at the limit: 23 alternating peaks give the first 21.
  std::vector<int16_t> comb(46, 0);
  for (int i = 0; i < 46; i += 2) comb[i] = 500;
  uint8_t out[21] = {};
  ASSERT_EQ(AppLinePeakSearch(comb.data(), 46, 100, out, 0, 21), 21);
  EXPECT_EQ(out[20], 40);
}

TEST_F(PeakSearch, MutualPeaksExtentsAndStatistics) {
  Finger(8, 19, 900, 500);
  Set(6, 19, 300);   // the flank goes on upwards
  Set(5, 19, 50);    // and ends under the walk's floor
  Set(8, 17, 200);   // left flank: 500, 200, then 100, after which the walk stops even
  Set(8, 16, 100);   // at a node above the floor
  Set(8, 15, 80);
  Finger(0, 3, 400, 100);      // on the first Tx line
  Finger(16, 30, 400, 40);     // on the last Tx line, with weak neighbours
  Set(12, 5, -250);            // a negative peak
  AppSearchPeakPoint();
  const LumaPeakData &pd = g_stPeakData;
  ASSERT_EQ(pd.ucMcPosPeakNum, 3);
  // Found row by row: Tx 0 first.
  EXPECT_EQ(pd.aucMcPeakPos[0], 0);
  EXPECT_EQ(pd.aucMcPeakPos[1], 3);
  EXPECT_EQ(pd.aucMcPeakPos[2], 8);
  EXPECT_EQ(pd.aucMcPeakPos[3], 19);
  EXPECT_EQ(pd.aucMcPeakPos[4], 16);
  EXPECT_EQ(pd.aucMcPeakPos[5], 30);
  EXPECT_EQ(pd.aucMcPeakValidMap[0], 0x07);
  // {used, top, bottom, left, right}
  const uint8_t finger[5] = {1, 6, 9, 16, 20};
  EXPECT_EQ(std::vector<uint8_t>(Range(1), Range(1) + 5), std::vector<uint8_t>(finger, finger + 5));
  // Top on the first line is 0; a neighbour of 100 below it is walked.
  EXPECT_EQ(Range(0)[1], 0);
  EXPECT_EQ(Range(0)[2], 1);
  // A peak on the last line is its own bottom; a neighbour below 61 still widens the
  // extent by one line.
  EXPECT_EQ(Range(2)[1], 15);
  EXPECT_EQ(Range(2)[2], 16);
  EXPECT_EQ(Range(2)[3], 29);
  EXPECT_EQ(Range(2)[4], 31);
  EXPECT_EQ(pd.ausMcPeakAttr[0], 0);

  ASSERT_EQ(pd.ucMcNegPeakNum, 1);
  EXPECT_EQ(pd.aucMcNegPeakPos[0], 12);
  EXPECT_EQ(pd.aucMcNegPeakPos[1], 5);
  EXPECT_EQ(pd.ssMcMaxDiff, 900);
  EXPECT_EQ(pd.ucMcMaxTx, 8);
  EXPECT_EQ(pd.ucMcMaxRx, 19);
  EXPECT_EQ(pd.ssMcMinDiff, -250);
  // Nodes at or above the counting limit (180): 900, four of 500, 300, 200, two of 400.
  EXPECT_EQ(pd.usMcOverCnt, 9);
  EXPECT_EQ(pd.usMcUnderCnt, 1);
}

TEST_F(PeakSearch, AWalkStopsWhereTheNextLineRisesAgain) {
  Finger(8, 19, 600, 300);
  Set(6, 19, 340);  // rises 40 over the 300 before it: a second finger's flank
  Set(8, 22, 700);  // a stronger finger two columns right
  Set(8, 21, 250);
  AppSearchPeakPoint();
  // The 340 is a peak of its own, found first.
  ASSERT_EQ(g_stPeakData.ucMcPosPeakNum, 3);
  EXPECT_EQ(g_stPeakData.aucMcPeakPos[2], 8);
  EXPECT_EQ(g_stPeakData.aucMcPeakPos[3], 19);
  EXPECT_EQ(Range(1)[1], 7);
  EXPECT_EQ(Range(1)[4], 21);
}

TEST_F(PeakSearch, WaterAsksForAllEightNeighbours) {
  Set(8, 19, 400);
  Set(9, 20, 450);  // higher only diagonally
  AppSearchPeakPoint();
  EXPECT_EQ(g_stPeakData.ucMcPosPeakNum, 2);
  g_stSysParam.ucWaterFlag = 1;
  EXPECT_EQ(AppPeakSearchMod(), 1);  // the water query's answer
  EXPECT_EQ(g_ucMcPeakSearchMod, 1);
  AppSearchPeakPoint();
  ASSERT_EQ(g_stPeakData.ucMcPosPeakNum, 1);
  EXPECT_EQ(g_stPeakData.aucMcPeakPos[0], 9);
  g_stSysParam.ucWaterFlag = 0;
  EXPECT_EQ(AppPeakSearchMod(), 0);
  EXPECT_EQ(g_ucMcPeakSearchMod, 0);
}

TEST_F(PeakSearch, ValidFrameCopiesAreTakenOnlyFromValidFrames) {
  Finger(8, 19, 900, 500);
  ScRx(g_ucScReportSel)[10] = 400;
  g_stPeakData.ucOutPeakNum = 7;
  g_stFrmData.usFrmFlag |= LUMA_FRM_VALID;
  AppSearchPeakPoint();
  EXPECT_EQ(g_stPeakData.ucOutPeakNum, 0);
  EXPECT_EQ(g_stPeakData.ucMcPosPeakNumValidFrm, 1);
  EXPECT_EQ(g_stPeakData.ssMcMaxDiffValidFrm, 900);
  EXPECT_EQ(g_stPeakData.ucScRxPosPeakNumValidFrm, 1);

  std::memset(g_stFrmData.assMcDiff, 0, sizeof(g_stFrmData.assMcDiff));
  ScRx(g_ucScReportSel)[10] = 0;
  g_stFrmData.usFrmFlag = static_cast<uint16_t>(g_stFrmData.usFrmFlag & ~LUMA_FRM_VALID);
  AppSearchPeakPoint();
  EXPECT_EQ(g_stPeakData.ucMcPosPeakNum, 0);
  EXPECT_EQ(g_stPeakData.ucMcPosPeakNumValidFrm, 1);
  EXPECT_EQ(g_stPeakData.ssMcMaxDiffValidFrm, 900);
  EXPECT_EQ(g_stPeakData.ucScRxPosPeakNumValidFrm, 1);
}

TEST_F(PeakSearch, SelfPeaksOfTheSelectedSet) {
  const int set = g_ucScReportSel;
  ScRx(set)[5] = 300;
  ScRx(set)[20] = 200;
  ScRx(set)[30] = -400;
  ScTx(set)[8] = 250;
  ScTx(set)[2] = -200;
  ScTx(set)[12] = -300;
  AppScSearchPeakPoint();
  const LumaPeakData &pd = g_stPeakData;
  ASSERT_EQ(pd.ucScRxPosPeakNum, 2);
  EXPECT_EQ(pd.aucScRxPosPeak[0], 5);
  EXPECT_EQ(pd.aucScRxPosPeak[1], 20);
  ASSERT_EQ(pd.ucScTxPosPeakNum, 1);
  EXPECT_EQ(pd.aucScTxPosPeak[0], 8);
  EXPECT_EQ(pd.aucScRxPeakValidMap[0], 0x03);
  EXPECT_EQ(pd.aucScTxPeakValidMap[0], 0x01);
  EXPECT_EQ(pd.ucScPosPeakMul, 2);
  ASSERT_EQ(pd.ucScRxNegPeakNum, 1);
  EXPECT_EQ(pd.aucScRxNegPeak[0], 30);
  ASSERT_EQ(pd.ucScTxNegPeakNum, 2);
  EXPECT_EQ(pd.aucScTxNegPeak[1], 12);
  EXPECT_EQ(pd.ucScNegPeakMul, 2);
}

TEST_F(PeakSearch, SelfExtremesAndCountersOfEveryCall) {
  const uint8_t selected = g_ucScReportSel;
  g_ucScReportSel = 1;
  ScRx(1)[0] = 5000;     // the border lines are left out of the Rx scan
  ScRx(1)[kRx - 1] = -5000;
  ScRx(1)[4] = 400;      // big (over 3 x 120) and strong (over 300)
  ScRx(1)[9] = -350;     // strong negative
  ScTx(1)[0] = 420;      // the whole Tx line counts
  ScTx(1)[16] = -700;
  ScTx(2)[3] = 900;      // another set: extremes only
  for (int call = 0; call < 2; ++call) {
    AppScDiffMinMax();
    const LumaPeakData &pd = g_stPeakData;
    // The counters are this frame's: a second call does not add to the first.
    EXPECT_EQ(pd.ucScRxBigCnt, 1) << call;
    EXPECT_EQ(pd.ucScRxPosStrongCnt, 1) << call;
    EXPECT_EQ(pd.ucScRxNegStrongCnt, 1) << call;
    EXPECT_EQ(pd.ucScTxBigCnt, 1) << call;
    EXPECT_EQ(pd.ucScTxPosStrongCnt, 1) << call;
    EXPECT_EQ(pd.ucScTxNegStrongCnt, 1) << call;
  }
  const LumaPeakData &pd = g_stPeakData;
  EXPECT_EQ(pd.assScRxMax[1], 400);
  EXPECT_EQ(pd.assScRxMin[1], -350);
  EXPECT_EQ(pd.assScTxMax[1], 420);
  EXPECT_EQ(pd.assScTxMin[1], -700);
  EXPECT_EQ(pd.assScMax[1], 420);
  EXPECT_EQ(pd.assScMin[1], -700);
  EXPECT_EQ(pd.assScMax[2], 900);
  EXPECT_EQ(pd.assScRxMax[2], 0);
  g_ucScReportSel = selected;
  // The records the environment reads by position.
  int16_t v;
  std::memcpy(&v, reinterpret_cast<const uint8_t *>(&pd) + 224, 2);
  EXPECT_EQ(v, 400);
  std::memcpy(&v, reinterpret_cast<const uint8_t *>(&pd) + 232, 2);
  EXPECT_EQ(v, 420);
}

TEST_F(PeakSearch, ThreeWayChoiceAndPairAverage) {
  Set(5, 10, 100);
  Set(5, 9, 100);   // ties the centre: the centre stays
  Set(5, 11, 100);  // ties too: must be strictly larger
  EXPECT_EQ(AppMcGet3MaxDiffID(5, 10, 1), 10);
  Set(5, 11, 101);
  EXPECT_EQ(AppMcGet3MaxDiffID(5, 10, 1), 11);
  Set(4, 10, 150);
  EXPECT_EQ(AppMcGet3MaxDiffID(5, 10, 0), 4);
  Set(0, kRx - 1, 10);
  Set(0, kRx - 2, 20);
  EXPECT_EQ(AppMcGet3MaxDiffID(0, kRx - 1, 1), kRx - 2);  // no column past the last
  EXPECT_EQ(AppMcGet3MaxDiffID(0, 0, 0), 0);
  EXPECT_EQ(AppMcGet3MaxDiffID(5, 10, 2), 0);

  std::memset(g_stFrmData.assMcDiff, 0, sizeof(g_stFrmData.assMcDiff));
  LumaPeakPair pair{};
  pair.ucTxA = 5;
  pair.ucRxA = 10;
  pair.ucTxB = 0;
  pair.ucRxB = 20;
  pair.ucIdA = 3;
  pair.ucIdB = 4;
  pair.ssDiffA = 400;
  pair.ssDiffB = 300;
  Set(4, 10, 200);
  Set(6, 10, 100);
  Set(5, 9, 80);
  Set(5, 11, -7);   // a quarter rounds toward minus infinity: -2
  Set(1, 20, 90);
  // The merge reaches the same average under its own name.
  for (auto near_avg : {AppPeakNearDiffAvg, AppMergePeakNearAvg}) {
    pair.ucSameTx = pair.ucSameRx = 0;
    EXPECT_EQ(near_avg(9, &pair), 0);
    EXPECT_EQ(near_avg(3, &pair), 400);
    pair.ucSameTx = 1;
    EXPECT_EQ(near_avg(3, &pair), (400 + 200 + 100) / 3);
    EXPECT_EQ(near_avg(4, &pair), (300 + 90) / 2);  // no line above Tx 0
    pair.ucSameTx = 0;
    pair.ucSameRx = 1;
    EXPECT_EQ(near_avg(3, &pair), (400 + 80 - 2) / 3);
  }
}

TEST_F(PeakSearch, CentroidWindowsAndSharedNodes) {
  struct Len {
    uint8_t p, n, w, start, length;
  };
  for (const Len &c : {Len{1, 17, 2, 0, 4}, Len{16, 17, 2, 14, 3}, Len{8, 17, 2, 6, 5}, Len{0, 38, 1, 0, 2}}) {
    uint8_t start = 99;
    EXPECT_EQ(DrvMcGetCalLen(c.p, c.n, c.w, &start), c.length) << int{c.p};
    EXPECT_EQ(start, c.start) << int{c.p};
  }

  // A symmetric finger (offset 32 taken off every node) is centred on its node.
  Finger(8, 19, 532, 232);
  g_stPeakData.ucMcPosPeakNum = 1;
  g_stPeakData.aucMcPeakPos[0] = 8;
  g_stPeakData.aucMcPeakPos[1] = 19;
  const uint32_t alone = DrvMcCalculateCoordinate(2, 2, 0, 3);
  const LumaMcPeak &e = g_stPeakData.astMcPeakList[3];
  EXPECT_EQ(alone, 500u + 4 * 200u);
  EXPECT_EQ(e.x, 8u * 1024 + 512);
  EXPECT_EQ(e.y, 19u * 1024 + 512);
  EXPECT_EQ(e.ucWeight, (500 + 800) >> 8);
  EXPECT_EQ(e.ucStrongCnt, 5);  // 500 and four of 200 reach 100
  EXPECT_EQ(e.ucTx, 8);
  EXPECT_EQ(e.ucRx, 19);

  // A second peak two columns right: the node between them stays with this peak (it is
  // next to it), the node beyond is the other's, and one two lines off both is halved.
  Set(8, 21, 532);
  Set(7, 21, 82);  // d = 50: next to the other peak, removed whole
  Set(6, 21, 82);  // two lines from the other peak: half removed
  g_stPeakData.ucMcPosPeakNum = 2;
  g_stPeakData.aucMcPeakPos[2] = 8;
  g_stPeakData.aucMcPeakPos[3] = 21;
  const uint32_t shared = DrvMcCalculateCoordinate(2, 2, 0, 3);
  EXPECT_EQ(shared, 1300u + 50 - 25);
  EXPECT_EQ(e.x, ((8u * 1300 + 6 * 25) << 10) / 1325 + 512);
  EXPECT_EQ(e.y, ((19u * 1300 + 21 * 25) << 10) / 1325 + 512);

  struct Round {
    uint8_t tx, rx, wide, result;
  };
  // Peaks at (8, 19) (index 0, skipped) and (8, 21).
  for (const Round &c : {Round{8, 20, 0, 1}, Round{10, 22, 0, 2}, Round{11, 24, 0, 0}, Round{11, 24, 1, 3},
                         Round{12, 21, 1, 0}}) {
    EXPECT_EQ(DrvMcCheckRoundPeaks(c.tx, c.rx, 0, c.wide), c.result) << int{c.tx} << "," << int{c.rx};
  }
  g_stPeakData.ucMcPosPeakNum = 0;
  EXPECT_EQ(DrvMcCheckRoundPeaks(8, 21, 0, 1), 0);

  DrvVKeyCalculateCoordinate(1, 4);
  EXPECT_EQ(g_stPeakData.astMcPeakList[4].x, 8u * 1024 + 512);
  EXPECT_EQ(g_stPeakData.astMcPeakList[4].y, 21u * 1024 + 512);
}

TEST_F(PeakSearch, SevenTapNeighbourhood) {
  const int16_t line[10] = {50, 60, 70, 80, 400, 80, 70, 60, -5, 40};
  int32_t taps[7];
  uint8_t start = 0;
  uint8_t end = 0;
  // Balanced neighbours: the outermost taps go.
  EXPECT_EQ(AppLineNewCalculateArray(line, 4, 10, taps, &start, &end), 0);
  EXPECT_EQ(std::vector<int32_t>(taps, taps + 7), (std::vector<int32_t>{0, 70, 80, 400, 80, 70, 0}));
  EXPECT_EQ(start, 1);
  EXPECT_EQ(end, 7);
  // At the first line: three taps missing on the left.
  EXPECT_EQ(AppLineNewCalculateArray(line, 0, 10, taps, &start, &end), 3);
  EXPECT_EQ(taps[0], 0);
  EXPECT_EQ(taps[1], 0);
  EXPECT_EQ(taps[2], 0);
  EXPECT_EQ(start, 0);
  EXPECT_EQ(end, 3);
  // Lighter on the left (r = 2048 x 20 / 100, below 1024): the left pair is scaled down,
  // the far right tap kept in proportion.
  const int16_t right[9] = {0, 0, 10, 20, 500, 80, 30, 20, 90};
  EXPECT_EQ(AppLineNewCalculateArray(right, 4, 9, taps, &start, &end), 0);
  const uint32_t r = (20u << 11) / 100;
  EXPECT_EQ(taps[0], 0);
  EXPECT_EQ(taps[1], static_cast<int32_t>((10 * r) >> 10));
  EXPECT_EQ(taps[6], static_cast<int32_t>((20 * (1024 - r)) >> 10));
  EXPECT_EQ(end, 7);
  // Heavier on the left: the near-edge tap is taken off the right instead.
  const int16_t left[9] = {0, 40, 10, 80, 500, 20, 30, 20, 90};
  AppLineNewCalculateArray(left, 4, 9, taps, &start, &end);
  const uint32_t l = (80u << 11) / 100;
  EXPECT_EQ(taps[0], static_cast<int32_t>(40 * (l - 1024) / 1024));
  EXPECT_EQ(taps[5], static_cast<int32_t>(30 * (2048 - l) / 1024));
  EXPECT_EQ(taps[6], 0);
  confirmFilterMod();
  EXPECT_EQ(g_ucFilterMethod_Cur, 1);
  EXPECT_EQ(g_ucFilterMethod_Last, 1);
}

}  // namespace
