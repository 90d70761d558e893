// The water-proof classification of the mutual peaks and the wet-finger filter after the
// merge, on hand-made 17 x 38 frames.
#include <cstring>

#include "luma_peak_fixture.h"
#include "luma_water_proof.h"

namespace {

class WaterProof : public LumaPeakFixture {
 protected:
  void SetUp() override {
    LumaPeakFixture::SetUp();
    AppWaterProofInit();
    std::memset(g_stFrmData.assMcRxProj, 0, sizeof(g_stFrmData.assMcRxProj));
    std::memset(g_stFrmData.assMcTxProj, 0, sizeof(g_stFrmData.assMcTxProj));
    g_stFrmData.ssMcRxProjMax = 0;
    g_stFrmData.ssMcTxProjMax = 0;
    g_stFrmData.slMcRxProjSum = 0;
    g_stSysParam.ucWaterFlag = 0;
    g_stSysParam.ucGameMode = 0;
    g_stTraceInfo.usTraceFlag = 0;
    g_ucUnlockWaterState = 0;
    g_ucWaterOnStsCnt = 0;
    g_ucCurFrmWaterFlag = 0;
    g_ucCurFrmFloatingWaterFlag = 0;
    g_uCTempDriftFlag = 0;
    g_fod_resume_pressed = 0;
    g_ucScWaterRxConnectNum = g_ucScWaterTxConnectNum = 0;
    std::memset(stWaterRect, 0, sizeof(stWaterRect));  // no water region
  }
  void TearDown() override {
    g_stSysParam.ucWaterFlag = 0;
    g_stSysParam.ucGameMode = 0;
  }

  // A finger as the panel sees it: a broad mutual bump, its self lines raised on both sets
  // and the mutual projections of its lines high.
  static void WetFinger(int tx, int rx, int16_t centre) {
    Finger(tx, rx, centre);
    for (int d = -1; d <= 1; ++d) {
      for (int set = 0; set < 2; ++set) {
        if (rx + d >= 0 && rx + d < kRx) g_stFrmData.assScDiff[set][rx + d] = 500;
        if (tx + d >= 0 && tx + d < kTx) g_stFrmData.assScDiff[set][kRx + tx + d] = 500;
      }
      if (rx + d >= 0 && rx + d < kRx) g_stFrmData.assMcRxProj[rx + d] = 1000;
      if (tx + d >= 0 && tx + d < kTx) g_stFrmData.assMcTxProj[tx + d] = 1000;
    }
    g_stFrmData.ssMcRxProjMax = 1000;
    g_stFrmData.ssMcTxProjMax = 1000;
    g_stFrmData.slMcRxProjSum = 6000;
  }
  // A water drop: a sharp peak ringed by negative nodes, nothing on the self lines.
  static void Drop(int tx, int rx, int16_t centre, int16_t ring) {
    Set(tx, rx, centre);
    if (tx > 0) Set(tx - 1, rx, ring);
    if (tx < kTx - 1) Set(tx + 1, rx, ring);
    if (rx > 0) Set(tx, rx - 1, ring);
    if (rx < kRx - 1) Set(tx, rx + 1, ring);
  }
};

TEST_F(WaterProof, ListsDropTheThirtyFirstEntryAndReturnTheLastMatch) {
  for (int i = 0; i < 31; ++i) AppAddPeakFinger(static_cast<uint8_t>(i % 17), static_cast<uint8_t>(i), 1);
  EXPECT_EQ(g_stPeakFingerInfo.ucNum, 30);
  EXPECT_EQ(AppGetPeakFingerInfo(12, 29), 1);
  EXPECT_EQ(AppGetPeakFingerInfo(13, 30), LUMA_VERDICT_NONE);  // the 31st was dropped
  AppClearPeakFingerInfo();
  AppAddPeakNearNeg(3, 4, 1);
  AppAddPeakNearNeg(3, 4, 2);
  EXPECT_EQ(AppGetPeakNearNeg(3, 4), 2);
  for (int i = 0; i < 31; ++i) AppAddPeakToGhostNow(1, static_cast<uint8_t>(i));
  EXPECT_EQ(g_stGhostNow.ucNum, 30);
  // A cell outside the matrix is no finger and no big-negative peak, and is not cached.
  EXPECT_EQ(AppPeakMcIsFingerTouch(kTx, 3), 0);
  EXPECT_EQ(AppPeakSameTxRxBigNegDiff(3, kRx), 0);
  EXPECT_EQ(g_stPeakFingerInfo.ucNum, 0);
}

TEST_F(WaterProof, FingerAndBigNegativeVerdicts) {
  struct Case {
    const char *name;
    void (*build)();
    uint8_t finger;
    uint8_t big_neg;
  };
  const Case cases[] = {
      {"broad finger, quiet around", [] { WetFinger(8, 10, 800); }, 2, 2},
      {"drop ringed by deep negatives", [] { Drop(8, 10, 300, -350); }, 0, 1},
      // A bump whose shoulders stay low: nothing above max(P / 3, 120) on any side.
      {"lone spike", [] { Set(8, 10, 400); }, 0, 2},
      // The ring makes the verdict look at the self lines; they carry the finger, but dips
      // as deep as half the peak leave it no more than a finger.
      {"ringed but self lines high",
       [] {
         WetFinger(8, 10, 800);
         Set(7, 9, -400);
         Set(9, 11, -400);
       },
       1, 0},
      {"ringed and self lines quiet",
       [] {
         Finger(8, 10, 800);
         Set(7, 9, -400);
         Set(9, 11, -400);
       },
       0, 0},
  };
  for (const Case &c : cases) {
    SetUp();
    c.build();
    EXPECT_EQ(AppPeakMcIsFingerTouch(8, 10), c.finger) << c.name;
    EXPECT_EQ(AppPeakSameTxRxBigNegDiff(8, 10), c.big_neg) << c.name;
    // Cached: a second call after the matrix changed gives the same answer.
    Set(8, 10, 0);
    EXPECT_EQ(AppPeakMcIsFingerTouch(8, 10), c.finger) << c.name;
  }
}

TEST_F(WaterProof, NeighbourCountsSkipCellsOutsideTheMatrix) {
  uint8_t v = 9, h = 9;
  AppMcGetPeakRoundSmallCnt(0, 0, 10, &v, &h);
  EXPECT_EQ(v, 1);
  EXPECT_EQ(h, 1);
  Set(8, 9, 50);
  AppMcGetPeakRoundSmallCnt(8, 10, 10, &v, &h);
  EXPECT_EQ(v, 2);
  EXPECT_EQ(h, 1);
}

TEST_F(WaterProof, AroundSumMirrorsNeighboursBeyondTheEdge) {
  // At (0, 5) the row above is missing: the row below stands in for it, so each node of
  // row 1 counts twice.
  Set(1, 4, -200);
  Set(1, 5, -200);
  Set(0, 6, -60);
  EXPECT_EQ(AppGetPeakAroundMinusDiff(0, 5, -100), -800);
  EXPECT_EQ(AppGetPeakAroundMinusDiff(0, 5, -50), -860);
}

TEST_F(WaterProof, MatchScDiffTakesNeighbourSupportOnlyBelowTheThreshold) {
  const int16_t line[5] = {50, 300, 90, 100, 20};
  struct Case {
    uint8_t index;
    int16_t threshold;
    int16_t expected;
  };
  const Case cases[] = {
      {0, 120, 300},  // index 0: only the right neighbour is looked at
      {0, 40, 50},    // at the threshold already
      {2, 120, 300},  // the left neighbour first
      {3, 95, 100},
      {4, 120, 100},  // last index: only the left neighbour
      {5, 120, 0},    // past the line
  };
  for (const Case &c : cases) EXPECT_EQ(AppGetMatchScDiff(line, c.index, 5, c.threshold), c.expected) << int(c.index);
}

TEST_F(WaterProof, GhostHistoryNeedsTheGhostAndNoPeakOfTheLastFrameNearby) {
  // Frame 1: a drop is removed and remembered as a ghost; the finger stays.
  WetFinger(8, 10, 800);
  Drop(4, 28, 300, -150);
  Peaks({{8, 10}, {4, 28}});
  AppWaterProofHandle();
  ASSERT_EQ(PeakList(), (std::vector<std::pair<int, int>>{{8, 10}}));
  ASSERT_EQ(g_stGhostHistory.ucNum, 1);
  EXPECT_EQ(AppPeakIsInGhostHistory(5, 27), 1);  // within one line of the ghost
  EXPECT_EQ(AppPeakIsInGhostHistory(6, 28), 0);
  EXPECT_EQ(AppPeakIsInGhostHistory(8, 11), 0);  // the finger of the last frame
  // Within one line of both the ghost and a peak of the last frame: a touch that stays.
  g_stLastPeakList.ast[g_stLastPeakList.ucNum++] = LumaPeakVerdict{5, 29, 0};
  EXPECT_EQ(AppPeakIsInGhostHistory(4, 28), 0);
  // A frame without peaks forgets the ghosts.
  std::memset(g_stFrmData.assMcDiff, 0, sizeof(g_stFrmData.assMcDiff));
  Peaks({});
  AppWaterProofHandle();
  EXPECT_EQ(g_stGhostHistory.ucNum, 0);
  EXPECT_EQ(AppPeakIsInGhostHistory(4, 28), 0);
}

TEST_F(WaterProof, WaterDropIsRemovedAndTheFingerBesideItKept) {
  for (const bool water : {false, true}) {
    SetUp();
    g_stSysParam.ucWaterFlag = water ? 1 : 0;
    WetFinger(8, 10, 800);
    Drop(8, 14, 300, -150);
    Peaks({{8, 10}, {8, 14}});
    AppWaterProofHandle();
    EXPECT_EQ(PeakList(), (std::vector<std::pair<int, int>>{{8, 10}})) << water;
    EXPECT_EQ(g_stGhostNow.ucNum, 1) << water;
  }
}

TEST_F(WaterProof, CameraBlockIsNeverJudged) {
  for (const std::pair<int, int> &peak : {std::pair{8, 2}, std::pair{4, 0}, std::pair{12, 3}}) {
    SetUp();
    WetFinger(15, 30, 800);
    Drop(peak.first, peak.second, 300, -150);
    Peaks({{15, 30}, peak});
    AppWaterProofHandle();
    EXPECT_EQ(g_stPeakData.ucMcPosPeakNum, 2) << peak.first << "," << peak.second;
  }
  // Just outside the block the same drop goes.
  SetUp();
  WetFinger(15, 30, 800);
  Drop(8, 4, 300, -150);
  Peaks({{15, 30}, {8, 4}});
  AppWaterProofHandle();
  EXPECT_EQ(g_stPeakData.ucMcPosPeakNum, 1);
}

TEST_F(WaterProof, GameModeSkipsBothPassesButKeepsTheHistories) {
  g_stSysParam.ucGameMode = 1;
  WetFinger(8, 10, 800);
  Drop(8, 14, 300, -150);
  Peaks({{8, 10}, {8, 14}});
  AppWaterProofHandle();
  EXPECT_EQ(g_stPeakData.ucMcPosPeakNum, 2);
  EXPECT_EQ(g_stLastPeakList.ucNum, 2);
  EXPECT_EQ(g_stLastPeakList.ast[1].rx, 14);
  EXPECT_EQ(g_stGhostHistory.ucNum, 0);
}

TEST_F(WaterProof, SecondPassJudgesSelfLinesOnceTheFirstRemovedAPeak) {
  // Without water, a peak that keeps its shape but has no self line under it survives the
  // first pass; it is judged again in the second only when the first removed something.
  auto build = [](bool with_drop) {
    WetFinger(8, 10, 800);
    Set(3, 25, 500);  // a peak without shoulders and with nothing on its self lines
    Set(2, 25, 5);
    Set(4, 25, 5);
    std::vector<std::pair<int, int>> peaks{{8, 10}, {3, 25}};
    if (with_drop) {
      Drop(14, 30, 300, -150);
      peaks.emplace_back(14, 30);
    }
    Peaks(peaks);
  };
  build(false);
  AppWaterProofHandle();
  EXPECT_EQ(g_stPeakData.ucMcPosPeakNum, 2);
  SetUp();
  build(true);
  AppWaterProofHandle();
  EXPECT_EQ(PeakList(), (std::vector<std::pair<int, int>>{{8, 10}}));
}

TEST_F(WaterProof, PeakSumKeepsTheLargestPeakOfATouchThatWasThere) {
  g_stSysParam.ucWaterFlag = 1;
  for (const uint8_t last_points : {0, 1}) {
    // Two narrow peaks in deep negative rings with self support: each is a drop by its
    // shape; the self lines let the report filter pass them.
    for (const auto &[tx, rx, d] : {std::tuple{5, 10, 600}, std::tuple{11, 25, 400}}) {
      Drop(tx, rx, static_cast<int16_t>(d), -160);
      for (int set = 0; set < 2; ++set) {
        g_stFrmData.assScDiff[set][rx] = 500;
        g_stFrmData.assScDiff[set][kRx + tx] = 500;
      }
      g_stFrmData.assMcRxProj[rx] = 1000;
      g_stFrmData.assMcTxProj[tx] = 1000;
    }
    g_stFrmData.ssMcRxProjMax = g_stFrmData.ssMcTxProjMax = 1000;
    Peaks({{5, 10}, {11, 25}});
    g_stTouchData.ucLastPointNum = last_points;
    AppPeakSumHandle();
    if (last_points == 0) {
      EXPECT_EQ(g_stPeakData.ucMcPosPeakNum, 0);
    } else {
      EXPECT_EQ(PeakList(), (std::vector<std::pair<int, int>>{{5, 10}}));
    }
  }
}

TEST_F(WaterProof, ReportFilterDoublesItsLimitsUnderQuietSelf) {
  g_stSysParam.ucWaterFlag = 1;
  // Self values of 150 pass the limit of 120 but not the doubled 240.
  for (const bool quiet : {false, true}) {
    SetUp();
    g_stSysParam.ucWaterFlag = 1;
    WetFinger(8, 10, 800);
    for (int set = 0; set < 2; ++set) {
      for (int i = 0; i < kRx + kTx; ++i) {
        if (g_stFrmData.assScDiff[set][i] != 0) g_stFrmData.assScDiff[set][i] = 150;
      }
    }
    g_stPeakData.assScRxMax[1] = g_stPeakData.assScTxMax[1] = quiet ? 150 : 500;
    Peaks({{8, 10}});
    // The finger verdict is set aside: the rule under test is the self-line one.
    AppClearPeakFingerInfo();
    AppAddPeakFinger(8, 10, 0);
    AppMcWaterReportPtFilter();
    EXPECT_EQ(g_stPeakData.ucMcPosPeakNum, quiet ? 0 : 1) << quiet;
  }
}

TEST_F(WaterProof, MultiTouchPeakSurvivesTheReportFilterWhenLargestOrStrong) {
  struct Case {
    int16_t other;
    int16_t tested;
    bool kept;
  };
  const Case cases[] = {
      {400, 650, true},  // the largest peak
      {700, 650, true},  // above 600
      {700, 500, false},
  };
  for (const Case &c : cases) {
    SetUp();
    g_stSysParam.ucWaterFlag = 1;
    g_stTouchData.ucLastPointNum = 2;
    WetFinger(3, 30, c.other);
    Set(12, 10, c.tested);  // a sharp peak on quiet self lines and projections
    Peaks({{3, 30}, {12, 10}});
    ASSERT_EQ(AppPeakIsMutiTouchFinger(12, 10), 1);
    AppMcWaterReportPtFilter();
    EXPECT_EQ(g_stPeakData.ucMcPosPeakNum, c.kept ? 2 : 1) << c.tested;
  }
}

TEST_F(WaterProof, DynamicThresholdHoldsForNineMoreWaterFrames) {
  g_stSysParam.ucWaterFlag = 1;
  auto frame = [](int16_t finger) {
    std::memset(g_stFrmData.assMcDiff, 0, sizeof(g_stFrmData.assMcDiff));
    WetFinger(8, 10, finger);
    Set(3, 30, 300);  // weak and no finger: below the threshold while it applies
    Peaks({{8, 10}, {3, 30}});
    AppClearPeakFingerInfo();
    AppClearPeakNearNegInfo();
    AppMcDynamicThrCtrl();
    return g_stPeakData.ucMcPosPeakNum;
  };
  EXPECT_EQ(frame(900), 1);  // 801 or more in water: threshold min(720, 450) applies
  EXPECT_EQ(g_ucMcDynThrHold, 10);
  for (int k = 0; k < 9; ++k) EXPECT_EQ(frame(700), 1) << k;
  EXPECT_EQ(frame(700), 2);
  g_stSysParam.ucWaterFlag = 0;
  EXPECT_EQ(frame(900), 2);
  EXPECT_EQ(g_ucMcDynThrHold, 0);
}

TEST_F(WaterProof, AbnormalPeaksArmTheWaterPeakFrames) {
  // Four drops and nothing else: water peaks for three frames.
  Drop(3, 5, 300, -150);
  Drop(3, 15, 300, -150);
  Drop(12, 5, 300, -150);
  Drop(12, 15, 300, -150);
  Peaks({{3, 5}, {3, 15}, {12, 5}, {12, 15}});
  AppDetectWaterByMcAbnormalPeak();
  EXPECT_EQ(g_usMcPeakWaterFrm, 3);
  EXPECT_EQ(bWetFingerCheckSkip, 0);
  // Three fingers after two points: only fingers, the wet-finger test stands aside.
  SetUp();
  g_stTouchData.ucLastPointNum = 2;
  WetFinger(3, 5, 700);
  WetFinger(8, 20, 700);
  WetFinger(13, 32, 700);
  Peaks({{3, 5}, {8, 20}, {13, 32}});
  g_usMcPeakWaterFrm = 2;
  AppDetectWaterByMcAbnormalPeak();
  EXPECT_EQ(g_usMcPeakWaterFrm, 1);
  EXPECT_EQ(bWetFingerCheckSkip, 1);
}

TEST_F(WaterProof, SweatSwitchNeedsAnElongatedTouchAwayFromTheBorder) {
  // A finger flattened into a long film along two Tx lines: ratio far above 3.
  for (int r = 8; r <= 20; ++r) Set(8, r, 500), Set(9, r, 500);
  Set(8, 14, 700);
  Set(4, 30, 400);
  Peaks({{8, 14}, {4, 30}});
  EXPECT_EQ(AppSweatFilterEnable(), 1);
  EXPECT_GE(g_PeakRatioMax, 30);
  // The same on the border line: no.
  SetUp();
  for (int r = 8; r <= 20; ++r) Set(0, r, 500), Set(1, r, 500);
  Set(4, 30, 400);
  Peaks({{0, 14}, {4, 30}});
  EXPECT_EQ(AppSweatFilterEnable(), 0);
  // Round touches: no.
  SetUp();
  WetFinger(8, 14, 700);
  Set(4, 30, 400);
  Peaks({{8, 14}, {4, 30}});
  EXPECT_EQ(AppSweatFilterEnable(), 0);
}

TEST_F(WaterProof, WetFingerPieceHangingOnTheMainTouchIsDropped) {
  // Frame 1: one long wet finger; its extent is remembered.
  auto film = [] {
    std::memset(g_stFrmData.assMcDiff, 0, sizeof(g_stFrmData.assMcDiff));
    for (int r = 8; r <= 20; ++r) Set(8, r, 500), Set(9, r, 500);
    Set(8, 11, 800);
  };
  film();
  Peaks({{8, 11}});
  g_stPeakData.aucMcPeakRange[1] = 7;
  g_stPeakData.aucMcPeakRange[2] = 9;
  g_stPeakData.aucMcPeakRange[3] = 8;
  g_stPeakData.aucMcPeakRange[4] = 20;
  WetFingerFilterAfterPeakMerge();
  EXPECT_EQ(g_aucSingleFingerExtent[0][3], 20);
  EXPECT_EQ(g_ucWetLastPeakNum, 1);
  // Frame 2: the film splits into two peaks joined by the film: the piece goes.
  film();
  Set(8, 18, 650);
  Peaks({{8, 11}, {8, 18}});
  WetFingerFilterAfterPeakMerge();
  EXPECT_EQ(PeakList(), (std::vector<std::pair<int, int>>{{8, 11}}));
  // A second finger well apart after one finger: kept (round, outside the extent).
  SetUp();
  film();
  Peaks({{8, 11}});
  WetFingerFilterAfterPeakMerge();
  std::memset(g_stFrmData.assMcDiff, 0, sizeof(g_stFrmData.assMcDiff));
  Finger(8, 11, 800);
  Finger(3, 30, 700);
  Peaks({{8, 11}, {3, 30}});
  WetFingerFilterAfterPeakMerge();
  EXPECT_EQ(g_stPeakData.ucMcPosPeakNum, 2);
}

TEST_F(WaterProof, WetFingerHistoryIsClearedInNearFieldNoise) {
  Finger(8, 11, 800);
  Peaks({{8, 11}});
  WetFingerFilterAfterPeakMerge();
  ASSERT_NE(g_aucSingleFingerExtent[0][0], 0xFF);
  g_usLikeNFNoiseFrame = 3;
  WetFingerFilterAfterPeakMerge();
  EXPECT_EQ(g_aucSingleFingerExtent[0][0], 0xFF);
  EXPECT_EQ(g_ucWetLastPeakNum, 1);
}

}  // namespace
