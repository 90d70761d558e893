// Controller state machine: tables, idle delay check, transition actions, small checks.
#include "tsa_state.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "framework.h"
#include "tsa_common.h"
#include "tsa_config.h"
#include "tsa_ctrl.h"
#include "tsa_frame_links.h"

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
  const StateTransfer& first = gpstStateTransferTable[0];
  EXPECT_EQ(first.uiFrom, 12u);
  EXPECT_EQ(first.uiEvent, 1u);
  EXPECT_EQ(first.uiTo, 13u);
  EXPECT_EQ(first.pfnAction, &CommonStateToFinger);
  EXPECT_EQ(gpstStateTransferTable[1].pfnAction, &ActiveToIdleAction);
  EXPECT_EQ(gpstStateTransferTable[20].uiEvent, 30u);
  EXPECT_EQ(gpstStateTransferTable[20].pfnAction, &ExitJitterScan);
  EXPECT_EQ(gpstStateTransferTable[23].uiFrom, 1u);
  EXPECT_EQ(gpstStateTransferTable[23].pfnAction, &ExitFreqScan);
  const StateTransfer& last = gpstStateTransferTable[kStateTransferRows - 1];
  EXPECT_EQ(last.uiFrom | last.uiEvent | last.uiTo, 0u);
  EXPECT_EQ(last.pfnAction, nullptr);

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

}  // namespace
