// Peak merge: adjacent peaks and peaks joined by a high ridge become one peak at their
// diff-weighted centre; touches of the previous frame, the negative level of the frame and
// the pair's distance decide when they stay apart.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "luma_peak_fixture.h"

namespace {

using PeakMerge = LumaPeakFixture;
using Peaks2 = std::vector<std::pair<int, int>>;

// A touch of the previous frame whose forecast box covers [tx0, tx1] x [rx0, rx1].
void Forecast(int k, int tx, int rx, int tx0, int tx1, int rx0, int rx1) {
  uint8_t *f = structForecastPointRange[k];
  f[0] = static_cast<uint8_t>(k);
  f[1] = static_cast<uint8_t>(tx);
  f[2] = static_cast<uint8_t>(rx);
  f[3] = static_cast<uint8_t>(tx1);
  f[4] = static_cast<uint8_t>(rx1);
  f[5] = static_cast<uint8_t>(tx0);
  f[6] = static_cast<uint8_t>(rx0);
}

TEST_F(PeakMerge, AdjacentPeaksBecomeOneAtTheirWeightedCentre) {
  Set(5, 5, 800);
  Set(6, 6, 100);
  Set(7, 7, 800);
  Peaks({{5, 5}, {6, 6}, {7, 7}});
  AppMcPeakMergeProcess();
  ASSERT_EQ(PeakList(), (Peaks2{{6, 6}}));
  // The merged node carries the group's largest diff, and is the frame's maximum now.
  EXPECT_EQ(At(6, 6), 800);
  EXPECT_EQ(g_stPeakData.ucMcMaxTx, 6);
  EXPECT_EQ(g_stPeakData.ucMcMaxRx, 6);
  const uint8_t *range = g_stPeakData.aucMcPeakRange;
  EXPECT_EQ(std::vector<uint8_t>(range, range + 5), (std::vector<uint8_t>{3, 5, 7, 5, 7}));
  EXPECT_TRUE(AppMcPeakValidityCheck(0));
  EXPECT_EQ(g_aucBasicflag[0], 2);
  // With one peak left the gap is 0; the merged count is kept for the next frame.
  EXPECT_EQ(s_ucMinPeakGap, 0);
  EXPECT_EQ(g_stPeakData.ucPeakSearchAux, 1);
}

TEST_F(PeakMerge, DiagonalNeighboursStayApartOnlyAsTwoTouchesOfThePreviousFrame) {
  struct Case {
    uint8_t last_points;
    bool two_touches;
    size_t count;
  };
  const Case cases[] = {
      {2, true, 2},   // each continues its own touch
      {2, false, 1},  // both continue one touch
      {0, true, 1},   // no touch last frame: nothing to match
  };
  for (const Case &c : cases) {
    SetUp();
    Set(5, 5, 800);
    Set(6, 6, 800);
    g_stTouchData.ucLastPointNum = c.last_points;
    if (c.two_touches) {
      Forecast(0, 5, 5, 4, 5, 4, 5);
      Forecast(1, 6, 6, 6, 7, 6, 7);
    } else {
      Forecast(0, 5, 5, 4, 7, 4, 7);
    }
    Peaks({{5, 5}, {6, 6}});
    AppMcPeakMergeProcess();
    EXPECT_EQ(g_stPeakData.ucMcPosPeakNum, c.count) << int(c.last_points) << " " << c.two_touches;
    EXPECT_EQ(m_ucAllPeakIsBigDis, 1);
  }
}

TEST_F(PeakMerge, PairTestMergesAcrossAHighRidgeWithinTheWindowOnly) {
  struct Case {
    int b_rx;
    int16_t between;
    size_t count;
  };
  const Case cases[] = {
      {11, 900, 1},  // a ridge as high as the peaks, 6 lines long
      {12, 900, 2},  // 7 lines apart: never
      {7, 100, 2},   // a deep valley between two fingers
      {7, 700, 1},   // a shallow one
  };
  for (const Case &c : cases) {
    SetUp();
    for (int r = 6; r < c.b_rx; ++r) Set(8, r, c.between);
    Set(8, 5, 900);
    Set(8, c.b_rx, 900);
    Peaks({{8, 5}, {8, c.b_rx}});
    AppMcPeakMergeProcess();
    EXPECT_EQ(g_stPeakData.ucMcPosPeakNum, c.count) << c.b_rx << " " << c.between;
  }
  // The merged peak of the long ridge lies at its centre.
  SetUp();
  for (int r = 5; r <= 11; ++r) Set(8, r, 900);
  Peaks({{8, 5}, {8, 11}});
  AppMcPeakMergeProcess();
  EXPECT_EQ(PeakList(), (Peaks2{{8, 8}}));
}

TEST_F(PeakMerge, NegativeLevelOfTheFrame) {
  struct Case {
    int16_t largest;
    int16_t smallest;
    uint16_t trace;
    uint8_t level;
  };
  const Case cases[] = {
      {1000, -600, 0, 3}, {1000, -300, 0, 2}, {1000, -200, 0, 1},
      {1000, -166, 0, 0}, {1000, 0, 0x1000, 3}, {1000, 0, 0x1800, 0},
  };
  for (const Case &c : cases) {
    SetUp();
    Set(8, 8, c.largest);
    Set(2, 2, c.smallest);
    g_stTraceInfo.usTraceFlag = c.trace;
    Peaks({{8, 8}});
    AppMcPeakMergeProcess();
    EXPECT_EQ(s_ucMergeNegLevel, c.level) << c.smallest << " " << c.trace;
    EXPECT_EQ(s_ucMinPeakGap, 100);
  }
}

TEST_F(PeakMerge, GapBetweenMergedPeaksIsKeptForTheNextFrame) {
  Set(2, 3, 500);
  Set(10, 20, 500);
  Set(4, 30, 500);
  Peaks({{2, 3}, {10, 20}, {4, 30}});
  AppMcPeakMergeProcess();
  EXPECT_EQ(g_stPeakData.ucMcPosPeakNum, 3u);
  // Smallest Tx gap 2, smallest Rx gap 10.
  EXPECT_EQ(s_ucMinPeakGap, 10);
}

TEST_F(PeakMerge, PairTestMergeIsWithdrawnAfterAFrameOfClosePeaks) {
  struct Case {
    uint8_t gap_before;
    uint16_t trace;
    size_t count;
  };
  const Case cases[] = {
      {5, 0, 2},                     // the previous frame's peaks lay close together
      {9, 0, 1},
      {5, LUMA_TRACE_WATER, 1},      // not in water
  };
  for (const Case &c : cases) {
    SetUp();
    for (int r = 5; r <= 11; ++r) Set(8, r, 900);
    // One peak continues last frame's touch, the other is new: the merge is a pair-test one.
    g_stTouchData.ucLastPointNum = 1;
    Forecast(0, 8, 5, 7, 9, 4, 6);
    s_ucMinPeakGap = c.gap_before;
    g_stTraceInfo.usTraceFlag = c.trace;
    Peaks({{8, 5}, {8, 11}});
    AppMcPeakMergeProcess();
    EXPECT_EQ(g_stPeakData.ucMcPosPeakNum, c.count) << int(c.gap_before) << " " << c.trace;
  }
}

TEST_F(PeakMerge, CompensationForAnUngroundedHandJoinsASplitContact) {
  struct Case {
    uint8_t charger;
    size_t count;
  };
  // Two maxima split by a valley on a drive line that a strong touch far away pulls down.
  for (const Case c : {Case{0, 1}, Case{1, 2}}) {
    SetUp();
    g_stTraceInfo.usTraceFlag = 0x1000;  // the strongest negative level: half of the line maxima
    g_stSysParam.ucChargeState = c.charger;
    Set(8, 10, 800);
    Set(8, 11, 100);
    Set(8, 12, 800);
    Set(8, 30, 1000);
    Peaks({{8, 10}, {8, 12}});
    AppMcPeakMergeProcess();
    EXPECT_EQ(g_stPeakData.ucMcPosPeakNum, c.count) << int(c.charger);
    // The compensation never outlives the test.
    EXPECT_EQ(At(8, 10), 800);
    EXPECT_EQ(At(8, 12), 800);
    EXPECT_EQ(At(7, 11), 0);
    EXPECT_EQ(At(8, 30), 1000);
  }
}

TEST_F(PeakMerge, NarrowRidge) {
  LumaPeakPair pair{};
  pair.ucDeltaTx = 3;
  pair.ucDeltaRx = 1;
  struct Case {
    std::vector<std::pair<int, int>> above_floor;
    int rows;
    uint8_t narrow;
  };
  const Case cases[] = {
      {{{5, 10}, {6, 10}, {7, 11}, {8, 11}}, 4, 1},            // one node per line
      {{{5, 10}, {6, 10}, {6, 11}, {7, 11}, {8, 11}}, 4, 0},   // line 6 filled from side to side
      {{{5, 10}, {6, 10}, {8, 11}}, 4, 0},                      // broken at line 7
      {{{5, 10}, {6, 10}, {7, 11}, {8, 11}, {9, 11}, {10, 11}}, 6, 0},  // too long a box
  };
  for (const Case &c : cases) {
    SetUp();
    for (auto [t, r] : c.above_floor) Set(t, r, 121);
    EXPECT_EQ(AppMergeRidgeIsNarrow(&pair, 5, static_cast<uint8_t>(5 + c.rows - 1), 10, 11, 120), c.narrow)
        << c.above_floor.size();
  }
}

TEST_F(PeakMerge, ConnectingPathAndValleys) {
  LumaPeakPair pair{};
  pair.ucTxA = 5;
  pair.ucRxA = 14;
  pair.ucTxB = 5;
  pair.ucRxB = 10;
  pair.ucDeltaRx = 4;
  for (int r = 10; r <= 14; ++r) Set(5, r, 400);
  Set(5, 12, -60);
  Set(4, 12, 50);
  // The walk starts at the peak with the smaller Rx and breaks at a node below 50.
  EXPECT_EQ(AppCalConnectedPathPeakOtoC(&pair), 16);  // nothing towards the other peak at 50 or more
  Set(4, 12, 0);
  Set(5, 12, 50);
  EXPECT_EQ(AppCalConnectedPathPeakOtoC(&pair), 4);
  Set(5, 12, 49);
  EXPECT_EQ(AppCalConnectedPathPeakOtoC(&pair), 16);

  // The smallest diff between two touches of the previous frame.
  Set(5, 12, -70);
  Set(5, 11, 30);
  EXPECT_EQ(AppFindMinDiffInRangeP2P(&pair), -1000);  // only with two points last frame
  g_stTouchData.ucLastPointNum = 2;
  EXPECT_EQ(AppFindMinDiffInRangeP2P(&pair), -70);
  pair.ucTxB = 6;
  pair.ucRxB = 13;
  pair.ucDeltaTx = 1;
  pair.ucDeltaRx = 1;
  EXPECT_EQ(AppFindMinDiffInRangeP2P(&pair), -1000);  // neither along a line

  // The smallest column average between peaks far apart along Rx.
  g_stTouchData.ucLastPointNum = 3;
  g_stPeakData.ssMcMaxDiff = 400;
  s_ucMergeNegLevel = 1;
  m_ucTxTwoPeakIsBigDis = 1;
  m_ucRxTwoPeakIsBigDis = 0;
  Set(6, 12, -40);
  EXPECT_EQ(AppMinAveDiffInRangeP2P(5, 6, 10, 14), -55);
  s_ucMergeNegLevel = 0;
  EXPECT_EQ(AppMinAveDiffInRangeP2P(5, 6, 10, 14), -1000);
}

TEST_F(PeakMerge, PeakIdMatchPicksTheClosestForecast) {
  Set(5, 5, 500);
  Set(9, 9, 500);
  Peaks({{5, 5}, {9, 9}});
  Forecast(0, 6, 6, 3, 10, 3, 10);
  Forecast(1, 5, 4, 3, 10, 3, 10);
  Forecast(2, 9, 9, 9, 9, 9, 9);
  EXPECT_EQ(AppPeakIDMatch(0), 255);  // no point last frame
  g_stTouchData.ucLastPointNum = 2;
  EXPECT_EQ(AppPeakIDMatch(0), 1);    // one line off beats one line off in both directions
  EXPECT_EQ(AppPeakIDMatch(1), 2);    // an exact forecast
  EXPECT_EQ(AppPeakIDMatch(2), 255);  // past the count
  structForecastPointRange[2][0] = 255;
  EXPECT_EQ(AppPeakIDMatch(1), 0);    // a range not in use is not looked at
}

}  // namespace
