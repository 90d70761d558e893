// Controller state machine: tables, idle delay check, transition actions, small checks.
#include "tsa_state.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "coord_records.h"
#include "framework.h"
#include "tsa_common.h"
#include "tsa_config.h"
#include "tsa_ctrl.h"
#include "tsa_frame_links.h"
#include "region.h"

namespace {

uint64_t gullFakeNow;
uint64_t FakeClock() { return gullFakeNow; }

TEST(StateMachineTables, StateTableColumns) {
  struct Row {
    uint16_t period;
    uint8_t sleep;
    uint32_t sample, app, alt;
  };
  const Row rows[kStateNum] = {
      {600, 0, 0, 0, 0},   {600, 0, 1, 5, 5},   {600, 0, 2, 6, 6},   {4166, 0, 3, 10, 10}, {7500, 1, 4, 1, 2},
      {7500, 1, 4, 1, 2},  {6633, 3, 6, 7, 7},  {4166, 1, 5, 1, 2},  {6633, 1, 6, 7, 7},   {6633, 3, 6, 7, 7},
      {15000, 3, 6, 3, 3}, {1000, 1, 6, 7, 7},  {0, 0, 0, 0, 0},     {0, 0, 0, 0, 0},
  };
  for (uint32_t r = 0; r < kStateNum; ++r) {
    const uint8_t* e = reinterpret_cast<const uint8_t*>(&gpstStateTable[r]);
    EXPECT_EQ(e[0] | (e[1] << 8), rows[r].period) << r;
    EXPECT_EQ(e[2], rows[r].sleep) << r;
    EXPECT_EQ(e[3], 0) << r;
    EXPECT_EQ(StateTableSampleMode(r), rows[r].sample) << r;
    EXPECT_EQ(StateTableApp(r), rows[r].app) << r;
    EXPECT_EQ(StateTableAltApp(r), rows[r].alt) << r;
    // The columns sit at entry bytes 4, 8 and 12.
    EXPECT_EQ(e[4], rows[r].sample) << r;
    EXPECT_EQ(e[8], rows[r].app) << r;
    EXPECT_EQ(e[12], rows[r].alt) << r;
  }
}

TEST(StateMachineTables, TransferAndSampleModeTables) {
  const StateTransfer rows[kStateTransferRows] = {
      {12, 1, 13, 0, CommonStateToFinger}, {2, 5, 9, 0, ActiveToIdleAction},  {9, 6, 2, 0, IdleToActiveAction},
      {9, 8, 2, 0, IdleToUpdateRef},       {3, 5, 8, 0, ActiveToIdleAction},  {8, 6, 3, 0, IdleToActiveAction},
      {8, 8, 3, 0, IdleToUpdateRef},       {11, 6, 3, 0, IdleToActiveAction}, {11, 8, 3, 0, IdleToUpdateRef},
      {11, 21, 8, 0, ActiveToIdleAction},  {12, 17, 11, 0, ActiveToIdleAction}, {12, 15, 3, 0, IdleToActiveAction},
      {12, 16, 2, 0, IdleToActiveAction},  {10, 2, 2, 0, IdleToActiveAction}, {10, 8, 2, 0, IdleToUpdateRef},
      {12, 9, 2, 0, IdleToActiveAction},   {12, 10, 2, 0, IdleToActiveAction}, {12, 7, 10, 0, ActiveToIdleAction},
      {5, 12, 2, 0, ExitPccScan},          {12, 11, 5, 0, SwitchToPccScan},   {4, 30, 13, 0, ExitJitterScan},
      {12, 29, 4, 0, SwitchToJitterScan},  {12, 13, 1, 0, SwitchToFreqScan},  {1, 14, 2, 0, ExitFreqScan},
      {0, 0, 0, 0, nullptr},
  };
  for (uint32_t i = 0; i < kStateTransferRows; ++i) {
    SCOPED_TRACE(i);
    const StateTransfer& t = gpstStateTransferTable[i];
    EXPECT_EQ(t.uiFrom, rows[i].uiFrom);
    EXPECT_EQ(t.uiEvent, rows[i].uiEvent);
    EXPECT_EQ(t.uiTo, rows[i].uiTo);
    EXPECT_EQ(t.uiZero, 0u);
    EXPECT_EQ(t.pfnAction, rows[i].pfnAction);
  }

  const uint32_t counts[kSampleModeRows] = {0, 1, 1, 1, 3, 2, 1, 0};
  for (uint32_t i = 0; i < kSampleModeRows; ++i) EXPECT_EQ(gpstSampleDataPrep[i].uiProcNum, counts[i]) << i;
  const auto* finger = gpstSampleDataPrep[4].ppProcList;
  EXPECT_EQ(finger[0], &NoiseRawdataProc);
  EXPECT_EQ(finger[1], &MutualDataReadyProc);
  EXPECT_EQ(finger[2], &Test1);
  EXPECT_EQ(gpstSampleDataPrep[6].ppProcList[0], &IdlePreJudge);
}

class StateMachineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    memset(&gstCommon, 0, sizeof(gstCommon));
    memset(&gstNormalize, 0, sizeof(gstNormalize));
    memset(&gstTimeCtrlEx, 0, sizeof(gstTimeCtrlEx));
    memset(&gstTimeCtrlCfg, 0, sizeof(gstTimeCtrlCfg));
    memset(&gstIdleProc, 0, sizeof(gstIdleProc));
    memset(&gstMutualOfsCancel, 0, sizeof(gstMutualOfsCancel));
    gstStateMachine.ullRequest = 0;
    gstApp.ubFlags = 0;
    // A configuration that lets the doze timers run.
    gstCommon.ubNormalizeCheckEn = 1;
    gstNormalize.aubData[kNormCheckState] = 5;
    gstCommon.swTouchThreshold = 100;
    gstTimeCtrlCfg.ubRes0 = 0x04;
    gubPowerOnFlag = 0;
    gubIdleDelayFlag = 0;
    gubLowDelayFlag = 0;
    guwCmdActiveToIdleTime = 0;
    gboCheckDozeFlag = 0;
    InitIdleVariable();
    gullFakeNow = 5000000;
    TsaBindClock(FakeClock);
  }
  void TearDown() override { TsaBindClock(nullptr); }
};

TEST_F(StateMachineTest, IdleDelayCheckArmsDozeOnlyWithoutTouch) {
  struct Case {
    const char* name;
    int16_t max, min;
    uint8_t touch, hold, option, autoWake;
    uint8_t wantDoze;
  };
  const Case cases[] = {
      {"quiet", 99, -99, 0, 0, 0x04, 0, 1},
      {"max at threshold", 100, 0, 0, 0, 0x04, 0, 0},
      {"min at threshold", 0, -100, 0, 0, 0x04, 0, 0},
      {"touch byte", 0, 0, 1, 0, 0x04, 0, 0},
      {"hold", 0, 0, 0, 1, 0x04, 0, 0},
      {"doze not allowed", 0, 0, 0, 0, 0x00, 0, 0},
      {"idle auto wake", 0, 0, 0, 0, 0x04, 1, 0},
  };
  for (const Case& c : cases) {
    gboCheckDozeFlag = 0;
    InitIdleVariable();
    gstCommon.swDiffMax = c.max;
    gstCommon.swDiffMin = c.min;
    gstCommon.ubTouchPresent = c.touch;
    reinterpret_cast<uint8_t*>(&gstTimeCtrlEx)[4] = c.hold;
    gstTimeCtrlCfg.ubRes0 = c.option;
    gstCommon.ubIdleAutoWake = c.autoWake;
    gullProcTimeStamp = 77;
    IdleDelayCheck(2, 1000);
    EXPECT_EQ(gboCheckDozeFlag, c.wantDoze) << c.name;
    const bool quiet = c.max < 100 && c.min > -100 && c.touch == 0 && c.hold == 0 && c.option != 0;
    EXPECT_EQ(guiiNoTouchRecordTime, quiet ? gullFakeNow : 0u) << c.name;
    EXPECT_EQ(gullProcTimeStamp, quiet ? 77u : 0u) << c.name;
    EXPECT_EQ(gstCommon.ubTouchPresent, 0) << c.name;
  }

  // Outside the normalised check state nothing changes.
  gstNormalize.aubData[kNormCheckState] = 4;
  gboCheckDozeFlag = 1;
  gstCommon.swDiffMax = 500;
  IdleDelayCheck(2, 1000);
  EXPECT_EQ(gboCheckDozeFlag, 1);
}

TEST_F(StateMachineTest, PowerOnWindow) {
  gubPowerOnFlag = 1;
  IdleDelayCheck(2, 499);
  EXPECT_EQ(gubPowerOnFlag, 1);
  EXPECT_EQ(gboCheckDozeFlag, 0);
  IdleDelayCheck(2, 500);
  EXPECT_EQ(gubPowerOnFlag, 0);
  EXPECT_EQ(gboCheckDozeFlag, 1);
}

TEST_F(StateMachineTest, LowDelayAndIdleDelayClocks) {
  gubLowDelayFlag = 1;
  IdleDelayCheck(2, 1000);
  EXPECT_EQ(guiiNoTouchRecordTime, 5000000u);
  gullFakeNow += 999999;
  IdleDelayCheck(2, 1000);
  EXPECT_EQ(gubLowDelayFlag, 1);
  gullFakeNow += 1;
  IdleDelayCheck(2, 1000);
  EXPECT_EQ(gubLowDelayFlag, 0);
  EXPECT_EQ(guiiNoTouchRecordTime, gullFakeNow);

  gstCommon.ubLowTempOutput = 1;
  IdleDelayCheck(2, 1000);
  EXPECT_EQ(gubIdleDelayFlag, 1);
  gstCommon.ubLowTempOutput = 0;
  gullFakeNow += 1000000;
  IdleDelayCheck(2, 1000);
  EXPECT_EQ(gubIdleDelayFlag, 0);
}

TEST_F(StateMachineTest, NeverIdleStopsAtTheLowDelayStage) {
  guwCmdActiveToIdleTime = 65535;
  gubLowDelayFlag = 1;
  for (int i = 0; i < 3; ++i) {
    IdleDelayCheck(2, 1000);
    gullFakeNow += 2000000;
  }
  EXPECT_EQ(gboCheckDozeFlag, 1);
  EXPECT_EQ(gubLowDelayFlag, 1);
  EXPECT_EQ(guiiNoTouchRecordTime, 5000000u);
}

TEST_F(StateMachineTest, SoftwareResetOfTheNoTouchWordRestartsTheStretch) {
  IdleDelayCheck(2, 1000);
  EXPECT_EQ(guiiNoTouchRecordTime, 5000000u);
  guiiNoTouchRecordTime = 0;  // what the software initialisation does
  // Past 2^32 microseconds (about 72 minutes of uptime) the start keeps every bit.
  gullFakeNow = 0x300000007ull;
  IdleDelayCheck(2, 1000);
  EXPECT_EQ(guiiNoTouchRecordTime, 0x300000007ull);
}

TEST_F(StateMachineTest, ActiveToIdleSteps) {
  struct Case {
    const char* name;
    uint8_t step, noTouch, mark, refReq;
    int16_t max;
    uint8_t wantStep, wantBatch, wantIdle;
  };
  // Mask threshold 90: a small range is max < 30 and min > -30.
  const Case cases[] = {
      {"step 0 small", 0, 0, 0, 0, 10, 2, 0, 1},
      {"step 0 small, quiet count", 0, 3, 0, 0, 10, 3, 0, 1},
      {"step 0 large", 0, 0, 0, 0, 30, 0, 1, 1},
      {"step 2 large", 2, 0, 0, 0, 30, 0, 1, 1},
      {"step 2 small", 2, 0, 0, 0, 10, 2, 0, 1},
      {"step 1", 1, 0, 0, 0, 10, 1, 0, 1},
      {"entry mark", 1, 0, 1, 0, 30, 1, 0, 1},
      {"entry mark, step 0", 0, 0, 1, 0, 10, 0, 1, 1},
      {"idle reference asked", 0, 0, 0, 1, 10, 0, 1, 0},
  };
  for (const Case& c : cases) {
    gstCommon.uwMaskThreshold = 90;
    gstCommon.ubIdleRefStep = c.step;
    gstCommon.ubNoTouchCnt = c.noTouch;
    gstCommon.ubIdleFlag = 0;
    gstIdleProc.ubIdleEntryMark = c.mark;
    gstIdleProc.ubIdleRefRequest = c.refReq;
    gstMutualOfsCancel.swMax = c.max;
    gstMutualOfsCancel.swMin = 0;
    gboCrsbCtlBatchEn = 1;
    gstCrossReg.ubBatchActive = 1;
    gstApp.ubFlags = 0;
    ActiveToIdleAction();
    EXPECT_EQ(gstApp.ubFlags & kAppFlagStop, kAppFlagStop) << c.name;
    EXPECT_EQ(gstCommon.ubIdleRefStep, c.wantStep) << c.name;
    EXPECT_EQ(gboCrsbCtlBatchEn, c.wantBatch) << c.name;
    EXPECT_EQ(gstCommon.ubIdleFlag, c.wantIdle) << c.name;
    EXPECT_EQ(gstIdleProc.ubIdleEntryMark, c.refReq != 0 ? c.mark : 0) << c.name;
    if (c.noTouch >= 3) {
      EXPECT_EQ(gstCommon.ubNoTouchCnt, 0) << c.name;
    }
  }
}

TEST_F(StateMachineTest, SmallActions) {
  ExitJitterScan();
  EXPECT_NE(gstStateMachine.ullRequest & (1ull << 11), 0u);
  EXPECT_EQ(gubCmdExeLock, 0);
  SwitchToJitterScan();
  EXPECT_EQ(gubCmdExeLock, 1);
  SetEventToIdle();
  EXPECT_NE(gstStateMachine.ullRequest & (1ull << 2), 0u);
  EXPECT_EQ(gboPrdSleepContinue, 1);
  gstCommon.ubIdleFlag = 1;
  IdleToUpdateRef();
  EXPECT_EQ(gstCommon.ubIdleAutoWake, 1);
  EXPECT_EQ(gstCommon.ubIdleFlag, 0);
  reinterpret_cast<uint8_t*>(&gstTimeCtrlEx)[3] = 9;
  ClrIdleDelay();
  EXPECT_EQ(reinterpret_cast<uint8_t*>(&gstTimeCtrlEx)[3], 0);
}

TEST_F(StateMachineTest, FpCheckCountsStrongSelfValuesInTheRange) {
  int16_t self[10] = {0, 500, -500, 500, 0, 0, 0, 0, 0, 0};
  gstCommon.stData.pswSelfDiffData = self;
  gstCommon.ubDrvNum = 4;
  gstCommon.ubSenNum = 6;
  gstTouchPannelCfg.uwValue18 = 400;
  struct Case {
    uint8_t start, end, want;
  };
  const Case cases[] = {{0, 2, 0}, {0, 3, 1}, {2, 2, 0}, {3, 1, 0}, {1, 255, 1}};
  for (const Case& c : cases) {
    gstCommon.aubFpRect[2] = c.start;
    gstCommon.aubFpRect[3] = c.end;
    EXPECT_EQ(FPCheck(), c.want) << int(c.start) << ".." << int(c.end);
  }
  gstCommon.stData.pswSelfDiffData = nullptr;
}

TEST_F(StateMachineTest, ScreenOnReferenceAfterTwelveFrames) {
  uint16_t raw[6] = {1, 2, 3, 4, 5, 6};
  uint16_t ref[6] = {};
  gstCommon.stData.puwRawData = raw;
  gstCommon.stData.puwRefData = ref;
  gstCommon.uwNodeNum = 6;
  gubScreenSta = 1;
  for (int i = 0; i < 11; ++i) DeterminUpdateMutualRef();
  EXPECT_EQ(ref[5], 0);
  DeterminUpdateMutualRef();
  EXPECT_EQ(memcmp(ref, raw, sizeof(raw)), 0);
  gubScreenSta = 0;
  gstCommon.stData.puwRawData = nullptr;
  gstCommon.stData.puwRefData = nullptr;
}

TEST_F(StateMachineTest, PeriodInitCopiesTheTimeConfiguration) {
  gstTimeCtrlCfg.uwPeriodState2 = 7000;
  gstTimeCtrlCfg.ubSleepModeState2 = 2;
  gstTimeCtrlCfg.uwPeriodState89 = 6000;
  gstTimeCtrlCfg.uwPeriodState11 = 900;
  uint8_t* ex = reinterpret_cast<uint8_t*>(&gstTimeCtrlEx);
  memset(ex, 0xFF, 19);
  StatePeriodInit();
  for (int i = 0; i < 8; ++i) EXPECT_EQ(ex[i], 0) << i;
  EXPECT_EQ(ex[15], 0);
  EXPECT_EQ(ex[16], 0);
  EXPECT_EQ(ex[8], 0xFF);
  EXPECT_EQ(memcmp(ex + 19, &gstTimeCtrlCfg, 32), 0);
  EXPECT_EQ(gpuwPeriod[2], 7000);
  EXPECT_EQ(gpubSleepMode[2], 2);
  EXPECT_EQ(gpuwPeriod[9], 6000);
  EXPECT_EQ(gpuwPeriod[11], 900);
  EXPECT_EQ(uint16_t{gstCommon.uwScanPeriod}, 7000);
}

}  // namespace

namespace {

// A reference step of the idle pre-judgement on a 2-row x 4-sense cross panel: the raw
// data becomes the reference and the backup, a pending reference request turns into
// request bit 6, and the cross batch enable is taken from byte 7 of the cross control.
TEST_F(StateMachineTest, IdleReferenceStepRenewsCrossDataAndTakesBatchEnable) {
  uint16_t raw[8] = {100, 101, 102, 103, 200, 201, 202, 203};
  uint16_t ref[8] = {};
  uint16_t bak[8] = {};
  const CrsbCfg saved = gstCrsbCfg;
  gstCrsbCfg.ubCrossNum = 2;
  gstIdleProc.ubSenNum = 4;
  gstIdleProc.puwCrossRaw = raw;
  gstIdleProc.puwCrossRef = ref;
  gstIdleProc.puwCrossBak = bak;
  gstIdleProc.ubIdleRefRequest = 1;
  reinterpret_cast<uint8_t*>(&gstTimeCtrlEx)[21] = 1;  // idle sync on
  for (uint8_t batch : {uint8_t{1}, uint8_t{0}}) {
    gstCrsbCfg.ubBatchEn = batch;
    gboCrsbCtlBatchEn = static_cast<uint8_t>(!batch);
    gstCommon.ubIdleRefStep = 1;
    memset(ref, 0, sizeof(ref));
    IdlePreJudge();
    EXPECT_EQ(gboCrsbCtlBatchEn, batch);
    EXPECT_EQ(gstCommon.ubIdleRefStep, 0) << "the step is consumed";
    EXPECT_EQ(memcmp(ref, raw, sizeof(raw)), 0);
    EXPECT_EQ(memcmp(bak, raw, sizeof(raw)), 0);
  }
  EXPECT_NE(gstStateMachine.ullRequest & 0x40u, 0u);
  EXPECT_EQ(gstIdleProc.ubIdleRefRequest, 0);
  gstCrsbCfg = saved;
  memset(&gstIdleProc, 0, sizeof(gstIdleProc));
}

// The comparison path of the idle pre-judgement on two cross rows of 12 sense lines: row 0
// stays at its reference, row 1 carries the case's differences.
class IdleCrossCompareTest : public StateMachineTest {
 protected:
  static constexpr uint32_t kSen = 12;
  uint16_t raw_[2 * kSen] = {};
  uint16_t ref_[2 * kSen] = {};
  CrsbCfg savedCrsb_{};
  TouchPannelCfg savedPanel_{};
  SelfCapProcCfg savedSelfCap_{};

  void SetUp() override {
    StateMachineTest::SetUp();
    savedCrsb_ = gstCrsbCfg;
    savedPanel_ = gstTouchPannelCfg;
    savedSelfCap_ = gstSelfCapProcCfg;
    gstCrsbCfg.ubCrossNum = 2;
    gstIdleProc.ubSenNum = kSen;
    gstIdleProc.puwCrossRaw = raw_;
    gstIdleProc.puwCrossRef = ref_;
    gstTouchPannelCfg.uwValue18 = 100;  // peak threshold
    memset(&gstSelfCapProcCfg, 0, sizeof(gstSelfCapProcCfg));
    gstCommon.ubIdleRefStep = 0;
    gstCrossReg.ubBatchActive = 0;
    gubCrossRefUpdateFlag = 0;
    Ex()[21] = 1;  // idle sync on
    Ex()[27] = 9;  // configured renewal hold
    memset(&gstGesture, 0, sizeof(gstGesture));
  }
  void TearDown() override {
    gstCrsbCfg = savedCrsb_;
    gstTouchPannelCfg = savedPanel_;
    gstSelfCapProcCfg = savedSelfCap_;
    memset(&gstIdleProc, 0, sizeof(gstIdleProc));
    memset(&gstCrossReg, 0, sizeof(gstCrossReg));
    memset(&gstGesture, 0, sizeof(gstGesture));
    gubCrossRefUpdateFlag = 0;
    StateMachineTest::TearDown();
  }
  static uint8_t* Ex() { return reinterpret_cast<uint8_t*>(&gstTimeCtrlEx); }
  void SetRow1(const std::vector<int16_t>& diff) {
    for (uint32_t c = 0; c < 2 * kSen; ++c) {
      ref_[c] = 1000;
      raw_[c] = 1000;
    }
    for (uint32_t c = 0; c < kSen; ++c) raw_[kSen + c] = static_cast<uint16_t>(1000 + diff[c]);
  }
};

TEST_F(IdleCrossCompareTest, RenewsTheReferenceOrReportsATouch) {
  using D = std::vector<int16_t>;
  const D touch = {0, 0, 0, 300, 600, 300, 0, 0, 0, 0, 0, 0};
  struct Case {
    const char* name;
    D diff;
    uint8_t selfCapCfg;     // byte 19 of the self-capacitance section (x 15; 0 = 1500)
    uint16_t drvRelated;
    uint8_t markHold17, markCfg19;
    bool renew, touch, mark;
  } cases[] = {
      {"quiet", D(12, 10), 0, 500, 0, 0, false, false, false},
      {"eleven drifted nodes", {100, 100, 100, 100, 100, 0, 100, 100, 100, 100, 100, 100}, 0, 500, 0, 0, true, false,
       false},
      {"ten drifted nodes", {100, 100, 100, 100, 0, 0, 100, 100, 100, 100, 100, 100}, 0, 500, 0, 0, false, false,
       false},
      // 75 at the edge reads 82 once raised by a tenth: the eleventh node past 81.
      {"edge raised by a tenth", {75, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 0}, 0, 500, 0, 0, true,
       false, false},
      {"edge raised toward zero", {-75, -100, -100, -100, -100, -100, -100, -100, -100, -100, -100, 0}, 0, 500, 0, 0,
       true, false, false},
      {"sum past the configured threshold", D(12, 5), 4, 500, 0, 0, true, false, false},
      {"negative sum past it", D(12, -5), 4, 500, 0, 0, true, false, false},
      {"sum below the default 1500", D(12, 70), 0, 500, 0, 0, false, false, false},
      {"touch past the drive-related count", touch, 0, 500, 0, 0, false, true, true},
      {"touch not past it", touch, 0, 600, 0, 0, false, false, false},
      {"touch, mark held by the time control", touch, 0, 500, 1, 0x08, false, true, false},
      {"touch, hold without its enable bit", touch, 0, 500, 1, 0x00, false, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetRow1(c.diff);
    gstSelfCapProcCfg.aubData[19] = c.selfCapCfg;
    gstIdleProc.uwDrvRelated = c.drvRelated;
    gstIdleProc.ubIdleEntryMark = 0;
    Ex()[17] = c.markHold17;
    Ex()[19] = c.markCfg19;
    Ex()[2] = 0;
    gubCrossRefUpdateFlag = 0;
    gstCommon.ubTouchPresent = 0;
    gstStateMachine.ullRequest = 0;
    IdlePreJudge();
    EXPECT_EQ(gubCrossRefUpdateFlag, c.renew ? 1 : 0);
    EXPECT_EQ(Ex()[2], c.renew ? 9 : 0);
    EXPECT_EQ((gstStateMachine.ullRequest & kReqIdleRef) != 0, c.touch);
    EXPECT_EQ(gstCommon.ubTouchPresent, c.touch ? 1 : 0);
    EXPECT_EQ(gstIdleProc.ubIdleEntryMark, c.mark ? 1 : 0);
    EXPECT_EQ(memcmp(ref_ + kSen, raw_ + kSen, sizeof(uint16_t) * kSen) == 0, c.diff == D(12, 0))
        << "the comparison leaves the reference as it was";
  }
}

TEST_F(IdleCrossCompareTest, OtherPathsSkipTheComparison) {
  SetRow1({0, 0, 0, 300, 600, 300, 0, 0, 0, 0, 0, 0});
  gstIdleProc.uwDrvRelated = 500;
  // A batch under way: touch present, nothing compared.
  gstCrossReg.ubBatchActive = 1;
  gstCommon.ubCrossBatch = 1;
  IdlePreJudge();
  EXPECT_EQ(gstCommon.ubTouchPresent, 1);
  EXPECT_EQ(gstStateMachine.ullRequest & kReqIdleRef, 0u);
  EXPECT_EQ(gstIdleProc.ubIdleEntryMark, 0);
  // Idle sync off: nothing at all.
  gstCrossReg.ubBatchActive = 0;
  gstCommon.ubTouchPresent = 0;
  Ex()[21] = 0;
  IdlePreJudge();
  EXPECT_EQ(gstCommon.ubTouchPresent, 0);
  EXPECT_EQ(gstStateMachine.ullRequest, 0u);
}

TEST_F(IdleCrossCompareTest, TouchOnTheFingerprintLinesClearsTheGestureByte) {
  SetRow1(std::vector<int16_t>(kSen, 0));
  int16_t self[8] = {0, 0, 150, 90, 150, 0, 150, 0};
  gstCommon.ubDrvNum = 3;
  gstCommon.ubSenNum = 5;
  gstCommon.stData.pswSelfDiffData = self;
  gstCommon.aubFpRect[2] = 1;  // lines 1 to 4
  gstCommon.aubFpRect[3] = 5;
  struct Case {
    int16_t line4;
    uint8_t expect324;
  } cases[] = {{150, 0}, {100, 0x5A}, {-300, 0x5A}};  // two above 100, then one, then one
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line4);
    self[4] = c.line4;
    gstGesture.ubByte324 = 0x5A;
    IdlePreJudge();
    EXPECT_EQ(gstGesture.ubByte324, c.expect324);
  }
  gstCommon.stData.pswSelfDiffData = nullptr;
}

}  // namespace
