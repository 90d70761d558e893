// The peak filter chain, the near-field and self-support frame filters and the exported
// peak checks, on hand-built 17 x 38 diff matrices.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "luma_debug.h"
#include "luma_peak_fixture.h"

namespace {

using PeakFilter = LumaPeakFixture;
using NearFieldFilter = LumaPeakFixture;
using PeakChecks = LumaPeakFixture;
using luma_peak::ClassHold;

// ---- The chain ----------------------------------------------------------------------------

// A column alternating between +level and -level down its first `rows` rows.
void Stripe(int column, int rows, int16_t level = 150) {
  for (int t = 0; t < rows; ++t)
    g_stFrmData.assMcDiff[t * 38 + column] = static_cast<int16_t>(t % 2 == 0 ? level : -level);
}

TEST_F(PeakFilter, StripeTestLooksAtTheInnerColumnsBesideEachPeak) {
  struct Case {
    int peak_rx;
    int stripe_column;
    int rows;
    bool dropped;
  };
  const Case cases[] = {
      {10, 11, 6, true},    // 5 flips and 6 lone rows
      {10, 11, 5, true},    // 5 lone rows with more flips than negative rows less 3
      {10, 11, 4, false},   // 3 flips and 4 lone rows are not enough
      {10, 9, 6, true},     // the column on the other side
      {10, 12, 6, false},   // two columns away is not looked at
      {0, 1, 6, false},     // a peak in column 0 looks at no column
      {2, 1, 6, true},      // but column 1 is looked at from column 2
      {36, 37, 6, false},   // the last column never is
  };
  for (const Case &c : cases) {
    SetUp();
    Finger(14, c.peak_rx, 600);
    Stripe(c.stripe_column, c.rows);
    Peaks({{14, c.peak_rx}});
    EXPECT_EQ(AppMcColStripeFilter(), c.dropped ? 1 : 0) << c.peak_rx << " " << c.stripe_column << " " << c.rows;
    EXPECT_EQ(IsValid(), !c.dropped);
    EXPECT_EQ((g_usFrameDropPos & LUMA_DROP_COL_STRIPE) != 0, c.dropped);
  }
}

TEST_F(PeakFilter, PersistentStripeDropsThreeFramesThenLetsOneThrough) {
  // Below the peak threshold the stripe makes no peaks of its own.
  Finger(14, 10, 600);
  Stripe(11, 6, 120);
  const bool expected_valid[] = {false, false, false, true, false, false, false};
  for (size_t frame = 0; frame < std::size(expected_valid); ++frame) {
    Valid(true);
    Search();
    ASSERT_EQ(g_stPeakData.ucMcPosPeakNum, 1u);
    AppPeakFilter();
    EXPECT_EQ(IsValid(), expected_valid[frame]) << frame;
    EXPECT_EQ(g_usFrameDropPos, expected_valid[frame] ? 0u : LUMA_DROP_COL_STRIPE) << frame;
  }
  EXPECT_EQ(s_aucColStripeDropCnt[11], 3);
  // Once no peak is left the count starts again.
  std::memset(g_stFrmData.assMcDiff, 0, sizeof(g_stFrmData.assMcDiff));
  Valid(true);
  Search();
  AppPeakFilter();
  EXPECT_EQ(s_aucColStripeDropCnt[11], 0);
}

TEST_F(PeakFilter, ChainKeepsTheMatrixOfThisFrameForTheNextAndStopsOnADroppedFrame) {
  Finger(8, 10, 600);
  Set(3, 30, -90);
  Search();
  AppPeakFilter();
  EXPECT_TRUE(IsValid());
  EXPECT_EQ(g_ssMcDiffLast[8 * 38 + 10], 600);
  EXPECT_EQ(g_ssMcDiffLast[3 * 38 + 30], -90);
  // An invalid frame is left as it is: its peaks are not merged or removed.
  Set(8, 11, 600);
  Search();
  ASSERT_EQ(g_stPeakData.ucMcPosPeakNum, 2u);
  Valid(false);
  AppPeakFilter();
  EXPECT_EQ(g_stPeakData.ucMcPosPeakNum, 2u);
  Valid(true);
  AppPeakFilter();
  EXPECT_EQ(g_stPeakData.ucMcPosPeakNum, 1u);
}

TEST_F(PeakFilter, TouchStartingWithDecodeNoiseLosesItsFirstFrame) {
  struct Case {
    int16_t deepest;
    int16_t self_rx;
    int16_t self_tx;
    bool dropped;
  };
  const Case cases[] = {
      {-151, 79, 500, true},
      {-150, 79, 500, false},  // the negative node is not deep enough
      {-151, 80, 80, false},   // both self maxima are strong enough
      {-151, 500, 79, true},   // a weak self Tx maximum is enough
  };
  for (const Case &c : cases) {
    SetUp();
    Finger(8, 10, 600);
    Set(2, 30, c.deepest);
    for (int r = 0; r < kRx; ++r) ScRx(r) = c.self_rx;
    for (int t = 0; t < kTx; ++t) ScTx(t) = c.self_tx;
    Search();
    AppFilterCdmaDecodeFrame();
    EXPECT_EQ(IsValid(), !c.dropped) << c.deepest << " " << c.self_rx << " " << c.self_tx;
    // Only the first frame of the touch is lost.
    Valid(true);
    AppFilterCdmaDecodeFrame();
    EXPECT_TRUE(IsValid());
  }
}

TEST_F(PeakFilter, AfterADecodeNoiseStartWeakPeaksBesideAnotherAreRemovedOnce) {
  s_ucCdmaDecodeState = 1;
  Set(8, 10, 1200);
  Set(3, 11, 450);   // below 600 (half the largest) and one column away: removed
  Set(12, 20, 450);  // far from the others: kept
  Set(14, 9, 700);   // strong enough: kept
  Peaks({{8, 10}, {3, 11}, {12, 20}, {14, 9}});
  AppFilterPeakByCdmaDecode();
  EXPECT_EQ(PeakList(), (std::vector<std::pair<int, int>>{{8, 10}, {12, 20}, {14, 9}}));
  EXPECT_EQ(s_ucCdmaDecodeState, 2);
  Peaks({{8, 10}, {3, 11}});
  AppFilterPeakByCdmaDecode();
  EXPECT_EQ(g_stPeakData.ucMcPosPeakNum, 2u);
}

TEST_F(PeakFilter, LineClassOfThePeaksSetsItsHold) {
  struct Case {
    std::vector<std::pair<int, int>> peaks;
    uint8_t cls;
  };
  const Case cases[] = {
      {{{5, 10}, {6, 10}}, 2},   // one Tx line apart in one column
      {{{5, 10}, {5, 10}}, 0},   // both at the same spot
      {{{2, 10}, {9, 12}}, 2},   // along the drive lines
      {{{5, 3}, {6, 12}}, 1},    // along the sense lines
      {{{2, 3}, {6, 7}}, 0},     // diagonal
  };
  for (const Case &c : cases) {
    SetUp();
    Peaks(c.peaks);
    IsCoaxialJudgeByMergePeak();
    EXPECT_EQ(g_stSeriousFloatingMergeInfo[1], c.cls) << c.peaks[1].first << "," << c.peaks[1].second;
    EXPECT_EQ(ClassHold(1), c.cls == 1 ? 100 : 0);
    EXPECT_EQ(ClassHold(2), c.cls == 2 ? 100 : 0);
  }
  // Without a class the holds run down; with fewer than two peaks they end.
  Peaks({{5, 10}, {6, 10}});
  IsCoaxialJudgeByMergePeak();
  Peaks({{2, 3}, {6, 7}});
  IsCoaxialJudgeByMergePeak();
  EXPECT_EQ(ClassHold(2), 99);
  Peaks({{2, 3}});
  IsCoaxialJudgeByMergePeak();
  EXPECT_EQ(ClassHold(2), 0);
}

TEST_F(PeakFilter, RelativelyWeakPeaksAreRemoved) {
  struct Case {
    int strong_tx, strong_rx;
    int weak_tx, weak_rx;
    int16_t weak;
    bool kept;
  };
  const Case cases[] = {
      {5, 10, 7, 25, 59, false},  // below a third of 180 within 3 Tx lines
      {5, 10, 7, 25, 60, true},
      {5, 10, 9, 25, 59, true},   // 4 Tx lines away there is nothing to compare with
      {2, 10, 0, 12, 40, true},   // a first-line peak beside an inner peak reads weaker
      {2, 35, 0, 37, 40, false},  // unless it sits in the last column
  };
  for (const Case &c : cases) {
    SetUp();
    // Both peaks have strong mutual projections: the water-proof classification lets them
    // be, whatever their shape, so only the rule under test judges them.
    for (int16_t &v : g_stFrmData.assMcRxProj) v = 400;
    for (int16_t &v : g_stFrmData.assMcTxProj) v = 400;
    Set(c.strong_tx, c.strong_rx, 180);
    Set(c.weak_tx, c.weak_rx, c.weak);
    Peaks({{c.strong_tx, c.strong_rx}, {c.weak_tx, c.weak_rx}});
    AppPeakFilter();
    ASSERT_TRUE(IsValid());
    EXPECT_EQ(g_stPeakData.ucMcPosPeakNum, c.kept ? 2u : 1u) << c.weak_tx << "," << c.weak_rx << " " << c.weak;
  }
}

TEST_F(PeakFilter, CameraHolePeaksOnlyOnLineEightOfTheFirstTwoColumns) {
  struct Case {
    int tx;
    int rx;
    int16_t above;
    int16_t self_rx;
    bool removed;
  };
  const Case cases[] = {
      {8, 0, 50, -200, true},
      {8, 1, 50, -200, true},
      {8, 2, 50, -200, false},   // third column
      {7, 0, 50, -200, false},   // another line
      {8, 0, 90, -200, false},   // line 7 reaches the limit (90)
      {8, 0, 50, -180, false},   // self not below the negative threshold
  };
  for (const Case &c : cases) {
    SetUp();
    Set(c.tx, c.rx, 300);
    Set(c.tx - 1, c.rx, c.above);
    ScRx(c.rx) = c.self_rx;
    Peaks({{c.tx, c.rx}});
    AppCameraPeakValidCheck();
    AppGetValidPeak();
    EXPECT_EQ(g_stPeakData.ucMcPosPeakNum, c.removed ? 0u : 1u) << c.tx << "," << c.rx;
  }
}

TEST_F(PeakFilter, SmallWaterDropBesideOneFingerIsRemoved) {
  struct Case {
    int16_t largest;
    int16_t small;
    int16_t around;
    bool removed;
  };
  const Case cases[] = {
      {701, 350, 59, true},
      {700, 350, 59, false},  // the largest diff must exceed 700
      {701, 351, 59, false},  // more than half of it
      {701, 350, 60, false},  // neighbours not weak
  };
  for (const Case &c : cases) {
    SetUp();
    g_ucLastOutputPtCnt = 1;
    g_stPeakData.ucLastOutPeakNum = 1;
    Set(8, 10, c.largest);
    Set(8, 12, c.small);
    for (auto [t, r] : {std::pair{7, 12}, {9, 12}, {8, 13}}) Set(t, r, c.around);
    Set(8, 11, 400);  // the side towards the finger
    Peaks({{8, 10}, {8, 12}});
    AppSmallWaterFilter();
    EXPECT_EQ(g_stPeakData.ucMcPosPeakNum, c.removed ? 1u : 2u) << c.largest << " " << c.small << " " << c.around;
  }
}

TEST_F(PeakFilter, FloatingHandGhostsOnAPlateauAreRemoved) {
  g_stPeakData.ucLastOutPeakNum = 1;
  Set(3, 30, 1000);
  Set(12, 5, 1000);
  // Drive line 8 holds a plateau of middling values around a ghost, and a strong node.
  for (int r = 10; r <= 15; ++r) Set(8, r, 200);
  Set(8, 12, 250);
  Set(8, 30, 700);
  Set(0, 0, -300);
  Peaks({{3, 30}, {12, 5}, {8, 12}});
  g_stPeakData.ucMcNegPeakNum = 1;
  AppFloatingMoreFingerFilter();
  EXPECT_EQ(PeakList(), (std::vector<std::pair<int, int>>{{3, 30}, {12, 5}}));
  // No two of the peaks lie within 3 Tx lines of each other.
  EXPECT_EQ(g_bIsPeakInSameRowFlag, 0);
  // A plateau of three nodes is too short.
  Set(8, 10, 0);
  Set(8, 11, 0);
  Set(8, 15, 0);
  Peaks({{3, 30}, {12, 5}, {8, 12}});
  g_stPeakData.ucMcNegPeakNum = 1;
  AppFloatingMoreFingerFilter();
  EXPECT_EQ(g_stPeakData.ucMcPosPeakNum, 3u);
}

TEST_F(PeakFilter, IsolatedPeaksWithoutSelfSupportCountAsWater) {
  Set(8, 10, 300);   // no neighbour: isolated
  Set(2, 30, -200);  // a negative peak
  ScRx(20) = 100;    // the self lines see something, but not under the peak
  ScTx(8) = 100;
  for (int frame = 1; frame <= 3; ++frame) {
    Valid(true);
    Search();
    AppPeakFilter();
    ASSERT_TRUE(IsValid());
    EXPECT_EQ(g_ucMcWaterCnt, frame);
  }
  // Self support under the peak: not water.
  ScRx(10) = 60;
  Search();
  AppPeakFilter();
  EXPECT_EQ(g_ucMcWaterCnt, 3);
  // A frame without peaks or negative peaks lets the count run down.
  std::memset(g_stFrmData.assMcDiff, 0, sizeof(g_stFrmData.assMcDiff));
  Search();
  AppPeakFilter();
  EXPECT_EQ(g_ucMcWaterCnt, 2);
  // Game mode clears it.
  g_stSysParam.ucGameMode = 1;
  AppPeakFilter();
  EXPECT_EQ(g_ucMcWaterCnt, 0);
  g_stSysParam.ucGameMode = 0;
}

TEST_F(PeakFilter, IsolatedSpikeIsRemovedWhenPeaksOutnumberLastFramesPoints) {
  struct Case {
    uint8_t last_points;
    size_t count;
  };
  for (const Case c : {Case{1, 1}, Case{0, 2}, Case{2, 2}}) {
    SetUp();
    g_stTouchData.ucLastPointNum = c.last_points;
    Finger(8, 10, 600);
    Set(12, 12, 300);
    Search();
    ASSERT_EQ(g_stPeakData.ucMcPosPeakNum, 2u);
    AppPeakFilter();
    ASSERT_TRUE(IsValid());
    EXPECT_EQ(g_stPeakData.ucMcPosPeakNum, c.count) << int(c.last_points);
    EXPECT_EQ(g_stPowerInfo[LUMA_PWR_MODE], 2);
  }
}

// ---- Near-field and self support -----------------------------------------------------------

TEST_F(NearFieldFilter, ExtremeDiffsDropFramesOnlyInNearFieldMode) {
  struct Case {
    bool near_field;
    int16_t largest;
    int16_t smallest;
    uint16_t bits;
  };
  const Case cases[] = {
      {true, 2001, 0, LUMA_DROP_NF_MAX},
      {true, 2000, 0, 0},
      {true, 500, -2001, LUMA_DROP_NF_MIN},
      {true, 500, -2000, 0},
      {true, 2001, -2001, LUMA_DROP_NF_MAX},
      {false, 2500, -2500, 0},
  };
  for (const Case &c : cases) {
    SetUp();
    if (c.near_field) NearField();
    Set(8, 10, c.largest);
    Set(2, 30, c.smallest);
    Search();
    AppMayBeNfNoiseFilterNew();
    EXPECT_EQ(g_usFrameDropPos, c.bits) << c.largest << " " << c.smallest;
    EXPECT_EQ(IsValid(), c.bits == 0);
  }
}

TEST_F(NearFieldFilter, EachFilterDropsAtMostFiveFramesInARow) {
  NearField();
  Set(8, 10, 2500);
  Search();
  for (int frame = 0; frame < 12; ++frame) {
    Valid(true);
    AppMayBeNfNoiseFilterNew();
    EXPECT_EQ(IsValid(), frame % 6 == 5) << frame;
  }
  // A frame that passes starts the run again.
  Valid(true);
  AppMayBeNfNoiseFilterNew();
  Set(8, 10, 500);
  Search();
  Valid(true);
  AppMayBeNfNoiseFilterNew();
  EXPECT_EQ(s_ucNfNoiseDropCnt, 0);
}

TEST_F(NearFieldFilter, NegativePeakBesideAStrongColumn) {
  struct Case {
    int16_t now;
    int16_t before;
    int16_t in_column;
    int16_t in_row;
    bool dropped;
  };
  const Case cases[] = {
      {-150, -99, 201, 0, true},     // a node that has just turned negative
      {-150, -120, 201, 0, false},   // was negative already: not looked at
      {-201, -300, 201, 0, true},    // deep enough to be looked at anyway
      {-150, -99, 200, 0, false},    // the column is not strong enough
      {-150, -99, 201, 151, false},  // a touch on its own row explains it
  };
  for (const Case &c : cases) {
    SetUp();
    NearField();
    Set(4, 20, c.now);
    g_ssMcDiffLast[4 * kRx + 20] = c.before;
    Set(12, 20, c.in_column);
    Set(4, 5, c.in_row);
    Search();
    g_stPeakData.ucMcNegPeakNum = 1;
    g_stPeakData.aucMcNegPeakPos[0] = 4;
    g_stPeakData.aucMcNegPeakPos[1] = 20;
    AppMayBeNfNoiseFilterNew();
    EXPECT_EQ(g_usFrameDropPos, c.dropped ? LUMA_DROP_NF_NEG_PEAK : 0u) << c.now << " " << c.before;
  }
}

TEST_F(NearFieldFilter, NeighbourTestTreatsLinesOffThePanelAsSatisfied) {
  // Touched nodes beside the peak whose self lines read nothing.
  auto touch = [](int t, int r) { Set(t, r, 300); };
  struct Case {
    int tx;
    int rx;
    uint8_t axis;
    std::vector<std::pair<int, int>> touched;
    uint8_t result;
  };
  const Case cases[] = {
      {1, 10, 0, {{2, 10}}, 1},             // the upper neighbour of line 1 counts as satisfied
      {5, 10, 0, {{6, 10}}, 0},             // line 4 is not touched
      {5, 10, 0, {{4, 10}, {6, 10}}, 1},
      {16, 10, 0, {{15, 10}}, 1},           // below the last line there is no line
      {5, 37, 1, {{5, 36}}, 1},             // right of the last column there is none
      {5, 36, 1, {{5, 35}}, 0},             // the last column itself is not touched
      {5, 1, 1, {{5, 2}}, 1},
  };
  for (const Case &c : cases) {
    SetUp();
    for (auto [t, r] : c.touched) touch(t, r);
    EXPECT_EQ(AppSearchLRThr(static_cast<uint8_t>(c.tx), static_cast<uint8_t>(c.rx), c.axis), c.result)
        << c.tx << "," << c.rx << " axis " << int(c.axis);
  }
}

TEST_F(NearFieldFilter, NeighbourTestDoesNotReadPastTheMatrixOrTheSelfLine) {
  // What lies in memory after the last column (the next row's first node and the first
  // drive line's self value) and after the last row must not change the verdict.
  for (int16_t beyond : {int16_t{0}, int16_t{300}}) {
    for (int16_t self_beyond : {int16_t{0}, int16_t{500}}) {
      SetUp();
      Set(5, 36, 300);
      Set(6, 0, beyond);
      ScTx(0) = self_beyond;
      EXPECT_EQ(AppSearchLRThr(5, 37, 1), 1) << beyond << " " << self_beyond;
      Set(15, 10, 300);
      g_stFrmData.assMcDiff[kTx * kRx + 10] = beyond;
      g_stFrmData.assScDiff[1][kRx + kTx] = self_beyond;
      EXPECT_EQ(AppSearchLRThr(16, 10, 0), 1) << beyond << " " << self_beyond;
    }
  }
}

TEST_F(NearFieldFilter, PeakWithoutSelfSupportDropsTheFrame) {
  struct Case {
    bool near_field;
    int16_t self_tx;
    int16_t self_rx;
    uint16_t bits;
  };
  const Case cases[] = {
      {true, 0, 500, LUMA_DROP_SC_TX},
      {true, 500, 0, LUMA_DROP_SC_RX},
      {true, 500, 500, 0},
      {false, 0, 0, 0},
  };
  for (const Case &c : cases) {
    SetUp();
    if (c.near_field) NearField();
    g_stTouchData.ucLastPointNum = 1;  // not the first frame of a touch
    Finger(8, 10, 600);                // the neighbours read 300, above the self threshold
    for (int t = 0; t < kTx; ++t) ScTx(t) = c.self_tx;
    for (int r = 0; r < kRx; ++r) ScRx(r) = c.self_rx;
    Search();
    AppPeakFilterBySc();
    EXPECT_EQ(g_usFrameDropPos, c.bits) << c.self_tx << " " << c.self_rx;
    EXPECT_EQ(IsValid(), c.bits == 0);
  }
}

TEST_F(NearFieldFilter, TouchFromNothingWithoutSelfSupportLosesOnlyItsFirstFrame) {
  NearField();
  Set(8, 10, 600);
  Search();
  const bool expected[] = {false, true, true};
  for (bool valid : expected) {
    Valid(true);
    AppNFGhostCheck();
    EXPECT_EQ(IsValid(), valid);
  }
  // Once a point was reported the count starts again.
  g_stTouchData.ucLastPointNum = 1;
  AppNFGhostCheck();
  EXPECT_EQ(s_ucNfGhostCnt, 0);
  // With self support the touch is not held back.
  g_stTouchData.ucLastPointNum = 0;
  ScTx(8) = 500;
  ScRx(10) = 500;
  Valid(true);
  AppNFGhostCheck();
  EXPECT_TRUE(IsValid());
}

TEST_F(NearFieldFilter, WeakDriveRowBetweenStrongSelfLines) {
  for (int t = 0; t < kTx; ++t) ScTx(t) = 300;
  g_ssMc2TxDiffer[5] = 800;
  g_ssMc2TxDiffer[6] = 399;
  g_ssMc2TxDiffer[7] = 800;
  AppPeakFilterByMcTxDiff();
  EXPECT_EQ(g_usFrameDropPos, LUMA_DROP_MC_TX_DIFF);
  SetUp();
  for (int t = 0; t < kTx; ++t) ScTx(t) = 300;
  g_ssMc2TxDiffer[5] = 800;
  g_ssMc2TxDiffer[6] = 400;  // half of its neighbours is not below half
  g_ssMc2TxDiffer[7] = 800;
  AppPeakFilterByMcTxDiff();
  EXPECT_TRUE(IsValid());
}

TEST_F(NearFieldFilter, SecondFingerWithAJumpingAreaIsDropped) {
  NearField();
  g_stTouchData.ucLastPointNum = 1;
  g_ucLastOutputPtCnt = 2;
  g_stPeakData.ucPeakByte1228 = 2;
  Finger(8, 10, 600);
  for (int t = 0; t < kTx; ++t) ScTx(t) = 500;
  for (int r = 0; r < kRx; ++r) ScRx(r) = 500;
  Search();
  g_stPeakData.usMcOverCnt = 45;
  g_stPeakData.usPeakWord1226 = 34;
  AppPeakFilterBySc();
  EXPECT_EQ(g_usFrameDropPos, LUMA_DROP_AREA_JUMP);
  Valid(true);
  g_usFrameDropPos = 0;
  g_stPeakData.usPeakWord1226 = 35;
  AppPeakFilterBySc();
  EXPECT_TRUE(IsValid());
}

TEST_F(NearFieldFilter, RowTestTreatsLinesOffThePanelAsCarryingNothing) {
  struct Case {
    int row;
    int16_t inner_self;   // self value of the line beside it on the panel
    int16_t inner_max;    // and its row maximum
    bool dropped;
  };
  const Case cases[] = {
      {16, 500, 400, false},  // supported from above; below the last line there is nothing
      {16, 50, 0, true},      // neither neighbour carries a self value
      {0, 50, 0, true},
      {0, 500, 200, true},    // the line below is weaker than row 0 itself
  };
  for (const Case &c : cases) {
    SetUp();
    NearField();
    g_stTouchData.ucLastPointNum = 1;
    g_ucLastOutputPtCnt = 2;
    g_stPeakData.ucPeakByte1228 = 2;
    Finger(8, 10, 600);
    ScTx(8) = 500;
    ScRx(10) = 500;
    Search();
    g_stPeakData.usMcOverCnt = 40;
    g_stPeakData.usPeakWord1226 = 40;
    const int inner = c.row == 0 ? 1 : c.row - 1;
    g_ssMc2TxDiffer[c.row] = 300;
    ScTx(c.row) = 50;
    ScTx(inner) = c.inner_self;
    g_ssMc2TxDiffer[inner] = c.inner_max;
    // What lies beside the drive lines in the self slot: the last sense line before the
    // first drive line, spare entries after the last.
    ScRx(kRx - 1) = 500;
    g_stFrmData.assScDiff[1][kRx + kTx] = 500;
    AppPeakFilterBySc();
    EXPECT_EQ(g_usFrameDropPos, c.dropped ? LUMA_DROP_TX_ROW : 0u) << c.row << " " << c.inner_self;
  }
}

// ---- Exported checks -----------------------------------------------------------------------

TEST_F(PeakChecks, AllPeakLineClassIsStrict) {
  struct Case {
    std::vector<std::pair<int, int>> peaks;
    uint8_t cls;
  };
  const Case cases[] = {
      {{{2, 10}, {10, 10}}, 0},  // exactly 8 Tx lines
      {{{2, 10}, {11, 10}}, 2},
      {{{5, 2}, {5, 11}}, 1},
      {{{5, 2}, {13, 11}}, 0},
      {{}, 0},
  };
  for (const Case &c : cases) {
    SetUp();
    g_stSeriousFloatingMergeInfo[0] = 7;
    Peaks(c.peaks);
    IsCoaxialJudgeByAllPeak();
    EXPECT_EQ(g_stSeriousFloatingMergeInfo[0], c.cls) << c.peaks.size();
  }
}

TEST_F(PeakChecks, OneTouchAndSameRowPredicates) {
  struct Case {
    std::vector<std::pair<int, int>> peaks;
    uint8_t one_touch;
    uint8_t same_row;
  };
  const Case cases[] = {
      {{}, 1, 0},
      {{{5, 5}}, 1, 0},
      {{{5, 5}, {6, 4}, {4, 6}}, 1, 1},
      {{{5, 5}, {7, 5}}, 0, 1},
      {{{5, 5}, {9, 5}}, 0, 0},
  };
  for (const Case &c : cases) {
    Peaks(c.peaks);
    EXPECT_EQ(IsMayBeOneTouch(), c.one_touch) << c.peaks.size();
    IsPeakInSameRowCheck();
    EXPECT_EQ(g_bIsPeakInSameRowFlag, c.same_row) << c.peaks.size();
  }
}

TEST_F(PeakChecks, BigDiffNodesOfAColumn) {
  Set(0, 4, -131);
  Set(5, 4, 130);
  Set(9, 4, 131);
  Set(16, 4, 5000);
  Set(9, 5, 900);
  EXPECT_EQ(AppGetBigDiffNode(4, 130), 3);
  EXPECT_EQ(AppGetBigDiffNode(6, 130), 0);
}

TEST_F(PeakChecks, SensitivityAbnormalDropsTheDetectingAndTheNextFrame) {
  g_stTouchData.ucLastPointNum = 1;
  Set(8, 10, 500);
  Set(2, 10, 200);
  Set(12, 10, -200);
  Set(14, 10, 140);
  Peaks({{8, 10}});
  const bool expected[] = {false, false, true, true};
  for (bool valid : expected) {
    Valid(true);
    AppSensitivityAbnormalFilter();
    EXPECT_EQ(IsValid(), valid);
  }
  EXPECT_EQ(s_ucSensAbnormalState, 255);
  // Disarmed until no touch is present.
  g_stTouchData.ucLastPointNum = 0;
  AppSensitivityAbnormalFilter();
  EXPECT_EQ(s_ucSensAbnormalState, 0);
}

TEST_F(PeakChecks, NearFieldInvalidFilterLetsTheSixthFrameThrough) {
  NearField();
  Set(8, 10, 2001);
  Peaks({{8, 10}});
  for (int frame = 0; frame < 6; ++frame) {
    Valid(true);
    AppNfInvalidFilter();
    EXPECT_EQ(IsValid(), frame == 5) << frame;
  }
}

TEST_F(PeakChecks, SmallPeaksThatAreNotLocalMaxima) {
  g_stTraceInfo.usTraceFlag = 0x1000;
  g_stTouchData.ucLastPointNum = 5;
  Set(8, 10, 1200);
  Set(9, 11, 249);   // below 300 (a quarter of 1200) with a larger neighbour: removed
  Set(3, 20, 200);   // a local maximum: kept
  Set(0, 11, 100);   // on the first line: kept
  Set(1, 11, 150);
  Peaks({{8, 10}, {9, 11}, {3, 20}, {0, 11}});
  AppFilterSmallPeak();
  EXPECT_EQ(PeakList(), (std::vector<std::pair<int, int>>{{8, 10}, {3, 20}, {0, 11}}));
  // Only while a floating hand is traced.
  g_stTraceInfo.usTraceFlag = 0x0800;
  Peaks({{8, 10}, {9, 11}});
  AppFilterSmallPeak();
  EXPECT_EQ(g_stPeakData.ucMcPosPeakNum, 2u);
}

TEST_F(PeakChecks, EdgeColumnNoiseArmsTheHold) {
  Set(8, 0, 400);
  Set(3, 0, 200);
  Peaks({{8, 0}, {5, 20}});
  CheckUpDownNoiseFeature();
  EXPECT_EQ(g_ucScNotMatchMcFrmCnt, 100);
  EXPECT_EQ(g_usCheckNoiseDbgInfo[0], 1);
  EXPECT_EQ(g_usCheckNoiseDbgInfo[1], 881);
  EXPECT_EQ(g_usCheckNoiseDbgInfo[3], 2);
  // Seen by the self lines, it is a touch: the hold runs down.
  ScRx(0) = 300;
  CheckUpDownNoiseFeature();
  EXPECT_EQ(g_ucScNotMatchMcFrmCnt, 99);
  Peaks({});
  CheckUpDownNoiseFeature();
  EXPECT_EQ(g_ucScNotMatchMcFrmCnt, 0);
  EXPECT_EQ(g_usCheckNoiseDbgInfo[1], 0);
}

}  // namespace
