// Stage runner, app tables and framework start-up.
#include "framework.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "cfg_blob_builder_test.h"
#include "ferx_syslog_capture_test.h"
#include "coord.h"
#include "core_stages.h"
#include "region.h"
#include "signal_proc.h"
#include "low_temp.h"
#include "module_wrappers.h"
#include "quick_ref.h"
#include "region_records.h"
#include "tsa_common.h"
#include "tsa_ctrl.h"
#include "tsa_custdbg.h"
#include "tsa_frame.h"
#include "tsa_memory.h"
#include "tsa_state.h"

namespace {

// Packed fields are compared by value (gtest binds references).
template <typename T>
T V(T v) {
  return v;
}

// ---- App tables against the stage names, slot by slot ------------------------------------

struct Named {
  const char* name;
  AppStage fn;
};
#define S(f) Named{#f, f}

const std::vector<Named> kFinger = {
    S(ImDataProc), S(GetRxJitter), S(NoiseTypeDetectProc), S(NoiseDurationPostProcess),
    S(GetPanelPowerOnRef), S(RefSetUpRawDataProc), S(FreqHoppingProc), S(RawdataDenoise),
    S(NormalizeCheck), S(ResultCommonProc), S(RawDataConsisOptmProc), S(GetDiff), S(LcdHighNoiseProc),
    S(DenoiseDiff), S(DiffDataStateAcquire), S(NoiseDiffDrvSmooth), S(LcdHighNoiseHandle),
    S(ComplementDiff), S(LowTempCompensatePro), S(DynamicLevelProc), S(ResetDiffInfo),
    S(RefUpdateMutual), S(RefUpdateSelf), S(RefQuickUpdate), S(RegionAcquireProcPkg),
    S(JudgeEsdFastMove), S(CalcSumDiffShadow), S(RegionFloatPreJudgeProc), S(RegionWaterProcPkg),
    S(IronCoverProc), S(RegFilterBySelfCap), S(LongBigThumbProc), S(RegionStateAcquire),
    S(CoordPairEncapsulation), S(RegionLargeAreaProcPkg), S(LargeRegionCustom),
    S(LowTempOptEncapsulation), S(NoiseCoordAddSmooth), S(CoordOptimizeEncapsulation),
    S(AppCoordTransformBeforeEdgeRes), S(EdgeResFun), S(FirstCoordSmoothEncapsulation),
    S(JitaiModeRecongnise), S(JudgeFpTouchState), S(CoordStateAcquire), S(AppCoordTransform),
    S(JudgeFpTouch), S(ThpTouchReport)};
const std::vector<Named> kFingerGes = {
    S(ImDataProc), S(NoiseTypeDetectProc), S(NoiseDurationPostProcess), S(GetPanelPowerOnRef),
    S(RefSetUpRawDataProc), S(FreqHoppingProc), S(RawdataDenoise), S(NormalizeCheck),
    S(ResultCommonProc), S(RawDataConsisOptmProc), S(GetDiff), S(LcdHighNoiseProc), S(DenoiseDiff),
    S(DiffDataStateAcquire), S(ComplementDiff), S(LowTempCompensatePro), S(JudgeLowTempByTouchPkg),
    S(DynamicLevelProc), S(ResetDiffInfo), S(RefUpdateMutual), S(RefUpdateSelf),
    S(RegionAcquireProcPkg), S(RegionFloatPreJudgeProc), S(RegionWaterProcPkg), S(RegFilterBySelfCap),
    S(RegionStateAcquire), S(CoordPairEncapsulation), S(RegionLargeAreaProcPkg), S(LargeRegionCustom),
    S(LowTempOptEncapsulation), S(CoordOptimizeEncapsulation), S(JudgeFpTouchState),
    S(CoordStateAcquire), S(GesturePreProcess), S(GestureProcAndNotifyHost), S(GestureEndProcess)};
const std::vector<Named> kHighRate = {
    S(ImDataProc), S(NoiseTypeDetectProc), S(NoiseDurationPostProcess), S(GetPanelPowerOnRef),
    S(RefSetUpRawDataProc), S(FreqHoppingProc), S(LcdHighNoiseProc), S(RawDataIirFilter),
    S(ResultCommonProc), S(GetDiff), S(DenoiseDiff), S(DiffDataStateAcquire), S(NoiseDiffDrvSmooth),
    S(LcdHighNoiseHandle), S(ComplementDiff), S(DynamicLevelProc), S(ResetDiffInfo), S(RefUpdateMutual),
    S(RegionAcquireProcPkg), S(CalcSumDiffShadow), S(RegionFloatPreJudgeProc), S(RegionWaterProcPkg),
    S(LongBigThumbProc), S(RegionStateAcquire), S(CoordPairEncapsulation), S(LargeRegionCustom),
    S(NoiseCoordAddSmooth), S(CoordOptimizeEncapsulation), S(CoordStateAcquire), S(AppCoordTransform),
    S(ThpTouchReport)};
const std::vector<Named> kFreqScan = {S(FreqScan)};
const std::vector<Named> kNone = {};
#undef S

TEST(AppTables, EveryListSlotBySlot) {
  struct App {
    uint8_t id;
    uint16_t slots;
    const std::vector<Named>* stages;
  };
  const App apps[] = {{0, 1, &kNone},   {1, 52, &kFinger}, {2, 43, &kFingerGes}, {3, 1, &kNone},
                      {4, 36, &kHighRate}, {5, 1, &kNone}, {6, 1, &kNone},       {7, 3, &kNone},
                      {8, 1, &kNone},   {9, 1, &kNone},    {10, 3, &kFreqScan},  {11, 0, &kNone}};
  for (const App& a : apps) {
    SCOPED_TRACE("app " + std::to_string(a.id));
    const AppTableEntry& e = gpstAppTable[a.id];
    ASSERT_EQ(e.uwSlotCount, a.slots);
    if (a.slots == 0) {
      EXPECT_EQ(e.ppList, nullptr);
      continue;
    }
    for (uint16_t i = 0; i < a.slots; ++i) {
      if (i < a.stages->size()) {
        EXPECT_EQ(e.ppList[i], (*a.stages)[i].fn) << "slot " << i << " should be " << (*a.stages)[i].name;
      } else {
        EXPECT_EQ(e.ppList[i], nullptr) << "slot " << i << " should be empty";
      }
    }
  }
  EXPECT_EQ(gpstAppTable[kAppFinger].ppList, gppAPP_FINGERList);
  EXPECT_EQ(gpstAppTable[kAppFingerGes].ppList, gppAPP_FINGER_GESList);
  EXPECT_EQ(gpstAppTable[kAppHighRate].ppList, gppAPP_HIGH_RATEList);
  EXPECT_EQ(gpstAppTable[kAppFreqScan].ppList, gppAPP_FREQ_SCANList);
}

// ---- The runner over recording stages ------------------------------------------------------

std::vector<int> gTrace;
std::map<int, std::function<void()>> gActions;

template <int N>
void Rec() {
  gTrace.push_back(N);
  auto it = gActions.find(N);
  if (it != gActions.end()) it->second();
}

struct Sent {
  uint32_t type;
  std::vector<uint8_t> packet;
};
std::vector<Sent> gSent;
size_t gRingRoom = 10;
uint8_t RecordingSink(uint32_t type, const uint8_t* p, uint16_t len) {
  if (gSent.size() >= gRingRoom) return 1;  // full ring drops the request
  gSent.push_back({type, std::vector<uint8_t>(p, p + len)});
  return 0;
}

struct RunCase {
  std::string name;
  std::vector<AppStage> list;
  uint16_t count;
  uint8_t flagsOnEntry;
  std::map<int, std::function<void()>> actions;
  std::vector<int> want;
};

TEST(StageRunner, RunsListsByItsRules) {
  const std::vector<AppStage> five = {Rec<0>, nullptr, Rec<2>, Rec<3>, Rec<4>, Rec<5>, Rec<6>, nullptr};
  const std::vector<RunCase> cases = {
      {"all slots in order, empty ones skipped", five, 8, 0, {}, {0, 2, 3, 4, 5, 6}},
      {"count shorter than the list", five, 3, 0, {}, {0, 2}},
      {"stop flag ends after the stage that set it", five, 8, 0, {{3, AppExecEnd}}, {0, 2, 3}},
      {"stop flag already set: nothing runs", five, 8, kAppFlagStop, {}, {}},
      {"count 0: nothing runs", five, 0, 0, {}, {}},
      {"a jump to 4 continues at slot 5", five, 8, 0, {{0, [] { gstApp.uwStageIndex = 4; }}}, {0, 5, 6}},
      {"a jump past the end ends the list", five, 8, 0, {{2, [] { gstApp.uwStageIndex = 0xFFFF; }}}, {0, 2}},
      {"a stage shortening the count", five, 8, 0, {{2, [] { gstApp.uwStageCount = 4; }}}, {0, 2, 3}},
      {"a stage raising the count stays inside the list", {Rec<0>, Rec<1>}, 2, 0,
       {{0, [] { gstApp.uwStageCount = 500; }}}, {0, 1}},
      {"cleared stop flag lets the list go on", five, 8, 0,
       {{2, [] { AppExecEnd(); ClearAppExecEnd(); }}}, {0, 2, 3, 4, 5, 6}},
  };
  for (const RunCase& c : cases) {
    SCOPED_TRACE(c.name);
    gTrace.clear();
    gActions = c.actions;
    gstApp.ubFlags = c.flagsOnEntry;
    AppExecuteList(c.list.data(), c.count);
    EXPECT_EQ(gTrace, c.want);
    EXPECT_EQ(V(gstApp.ubFlags), 0);
  }
  gActions.clear();
}

TEST(StageRunner, MarkerStagesQueueSampleStartInstead) {
  FrameworkBindRequestSink(RecordingSink);
  gSent.clear();
  gRingRoom = 10;
  gTrace.clear();
  const AppStage list[] = {Rec<0>, Test1, Rec<2>, Test2};
  AppExecuteList(list, 4);
  EXPECT_EQ(gTrace, (std::vector<int>{0, 2}));
  ASSERT_EQ(gSent.size(), 2u);
  EXPECT_EQ(gSent[0].type, 1u);
  EXPECT_EQ(gSent[0].packet, (std::vector<uint8_t>{0x00, 0x00, 0x05, 0xF1, 0x00, 0xF6, 0x00}));
  EXPECT_EQ(gSent[1].packet, (std::vector<uint8_t>{0x00, 0x00, 0x05, 0xF1, 0x01, 0xF7, 0x00}));
  // A full ring: the runner goes on without queueing.
  gRingRoom = 2;
  gTrace.clear();
  AppExecuteList(list, 4);
  EXPECT_EQ(gTrace, (std::vector<int>{0, 2}));
  EXPECT_EQ(gSent.size(), 2u);
  FrameworkBindRequestSink(nullptr);

  // With no ring bound the request cannot go anywhere: that is said, not swallowed.
  fxtest::SysLogCapture log;
  gTrace.clear();
  AppExecuteList(list, 4);
  EXPECT_EQ(gTrace, (std::vector<int>{0, 2}));
  EXPECT_EQ(log.Count("sample start 0 dropped: no request ring bound"), 1u);
  EXPECT_EQ(log.Count("sample start 1 dropped: no request ring bound"), 1u);
}

TEST(StageRunner, AppExecuteCountsFramesAndSaturates) {
  gstApp.ubApp = 11;  // no list
  gstCommon.uwFrameCounter = 65533;
  for (int i = 0; i < 4; ++i) {
    gstApp.ubFlags = kAppFlagStop;
    AppExecute();
    EXPECT_EQ(V(gstApp.ubFlags), 0);
  }
  EXPECT_EQ(V(gstCommon.uwFrameCounter), 65535);
  gstApp.ubApp = 200;  // no such app: refused, nothing read past the table
  testing::internal::CaptureStderr();
  AppExecute();
  AppExecute();
  const std::string log = testing::internal::GetCapturedStderr();
  EXPECT_NE(log.find("app 200 has no stage list"), std::string::npos);
  EXPECT_EQ(log.find("app 200", log.find("app 200") + 1), std::string::npos);  // logged once
  // The whole finger list runs on a cleared common record: maps another case bound on its
  // own stack must not be reached.
  gstCommon = {};
  gstApp.ubApp = kAppFinger;
  gstCommon.uwFrameCounter = 0;
  gstCommon.ubPowerOnRefReady = 1;  // with a reference the whole finger list runs
  AppExecute();
  EXPECT_EQ(V(gstApp.uwStageIndex), 52);
  EXPECT_EQ(V(gstCommon.uwFrameCounter), 1);
  // A good frame re-arms the line: the next bad stretch is said again, once.
  gstApp.ubApp = 200;
  testing::internal::CaptureStderr();
  AppExecute();
  AppExecute();
  const std::string again = testing::internal::GetCapturedStderr();
  EXPECT_NE(again.find("app 200 has no stage list"), std::string::npos);
  EXPECT_EQ(again.find("app 200", again.find("app 200") + 1), std::string::npos);
  gstApp.ubApp = kAppFinger;
  gstCommon = {};
}

// The per-stage time record over a clock the stages themselves advance: stage N takes
// 10 N ticks, so every slot's time names the stage that ran there.
uint64_t gTicks;
uint64_t TickClock() { return gTicks; }
template <int N>
void Slow() {
  gTrace.push_back(N);
  gTicks += 10 * N;
  auto it = gActions.find(N);
  if (it != gActions.end()) it->second();
}

TEST(StageRunner, StageTimesLandAtTheSlotsOfTheStagesRun) {
  StageTimeRecord rec;
  memset(&rec, 0xAB, sizeof(rec));
  gTicks = 0;
  gTrace.clear();
  gActions.clear();
  const AppStage list[] = {Slow<1>, nullptr, Test1, Slow<3>, Slow<4>, Slow<5>};
  AppStageTimingBind(TickClock, &rec);
  EXPECT_EQ(rec.uiRuns, 0u) << "binding clears the record";
  AppExecuteList(list, 6);
  EXPECT_EQ(rec.ppList, list);
  EXPECT_EQ(rec.uwSlotCount, 6);
  EXPECT_EQ(rec.uiRuns, 1u);
  const uint64_t first[] = {10, 0, 0, 30, 40, 50};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(rec.aullLastNs[i], first[i]) << "slot " << i;
    EXPECT_EQ(rec.auiCalls[i], first[i] != 0 ? 1u : 0u) << "slot " << i;
  }

  // A run that stops after slot 3: the latest run shows only what ran, the sums add up; a
  // jump back to slot 1 times slot 3 twice in the run.
  gActions[3] = AppExecEnd;
  AppExecuteList(list, 6);
  EXPECT_EQ(rec.uiRuns, 2u);
  EXPECT_EQ(rec.aullLastNs[3], 30u);
  EXPECT_EQ(rec.aullLastNs[4], 0u) << "not run in the latest run";
  EXPECT_EQ(rec.aullTotalNs[4], 40u);
  EXPECT_EQ(rec.aullTotalNs[0], 20u);
  gActions.clear();
  bool jumped = false;
  gActions[4] = [&] {
    if (!jumped) gstApp.uwStageIndex = 0;  // the runner adds 1: slot 1 next
    jumped = true;
  };
  gTrace.clear();
  AppExecuteList(list, 6);
  EXPECT_EQ(gTrace, (std::vector<int>{1, 3, 4, 3, 4, 5}));
  EXPECT_EQ(rec.aullLastNs[3], 60u);
  EXPECT_EQ(rec.aullLastNs[0], 10u);
  EXPECT_EQ(rec.auiCalls[3], 4u);
  gActions.clear();

  // Another list starts the sums afresh.
  const AppStage other[] = {Slow<2>};
  AppExecuteList(other, 1);
  EXPECT_EQ(rec.ppList, other);
  EXPECT_EQ(rec.uiRuns, 1u);
  EXPECT_EQ(rec.aullTotalNs[0], 20u);
  EXPECT_EQ(rec.aullTotalNs[3], 0u);

  // Unbound: the stages run, the clock is not read and the record stays as it was.
  AppStageTimingBind(nullptr, &rec);
  const StageTimeRecord kept = rec;
  gTrace.clear();
  AppExecuteList(list, 6);
  EXPECT_EQ(gTrace, (std::vector<int>{1, 3, 4, 5}));
  EXPECT_EQ(memcmp(&kept, &rec, sizeof(rec)), 0);
}

TEST(StageRunner, PowerOnIgnoreFrameStopsThreeFramesAfterReset) {
  CommonVariableInit();
  const AppStage list[] = {PowerOnIgnoreFrame, Rec<1>};
  std::vector<size_t> runs;
  for (int frame = 0; frame < 5; ++frame) {
    gTrace.clear();
    AppExecuteList(list, 2);
    runs.push_back(gTrace.size());
  }
  EXPECT_EQ(runs, (std::vector<size_t>{0, 0, 0, 1, 1}));
  CommonVariableInit();
  gTrace.clear();
  AppExecuteList(list, 2);
  EXPECT_TRUE(gTrace.empty());
}

TEST(FrameLock, TakesAFreeLockAndBreaksAStuckOneAfter20ms) {
  MutexUnlock();
  MutexLock();
  EXPECT_EQ(ubTpLock.load(), 1);
  testing::internal::CaptureStderr();
  const auto t0 = std::chrono::steady_clock::now();
  MutexLock();  // held: waits, then takes it regardless
  const auto waited = std::chrono::steady_clock::now() - t0;
  EXPECT_GE(waited, std::chrono::microseconds(20000));
  EXPECT_LT(waited, std::chrono::seconds(2));
  EXPECT_NE(testing::internal::GetCapturedStderr().find("wait, break"), std::string::npos);
  EXPECT_EQ(ubTpLock.load(), 1);
  MutexUnlock();
  EXPECT_EQ(ubTpLock.load(), 0);
  // Released by another thread while waiting: taken without the 20 ms break. A loaded
  // machine may not run the releaser within 20 ms, so one clean take in a few tries counts;
  // a lock that never sees the release breaks every time.
  bool takenWithoutBreak = false;
  for (int attempt = 0; attempt < 5 && !takenWithoutBreak; ++attempt) {
    MutexLock();
    std::thread releaser([] {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      MutexUnlock();
    });
    testing::internal::CaptureStderr();
    MutexLock();
    releaser.join();
    takenWithoutBreak = testing::internal::GetCapturedStderr().find("wait, break") == std::string::npos;
    MutexUnlock();
  }
  EXPECT_TRUE(takenWithoutBreak);
}

// ---- Framework start-up ----------------------------------------------------------------------

struct FakeStartup {
  static inline char text[64] = "7790ABC";
  static inline uint8_t drv = 32;
  static inline uint8_t sen = 18;
  static const char* Fw() { return text; }
  static uint8_t Drv() { return drv; }
  static uint8_t Sen() { return sen; }
};
const FrameworkStartupSource kStartup = {FakeStartup::Fw, FakeStartup::Drv, FakeStartup::Sen};

class StartUp : public ::testing::Test {
 protected:
  void SetUp() override {
    FirmwareConfigBindStore(store_, &storeLen_);
    FrameworkBindStartupSource(&kStartup);
    strcpy(FakeStartup::text, "7790ABC");
    FakeStartup::drv = 32;
    FakeStartup::sen = 18;
    gstCrsbCfg.ubCrossNum = 0;
    guiIsFWakeCheckNcln = 0;
    MutexUnlock();
    StoreBlob(GoodBlob(5000));
  }
  void TearDown() override {
    FirmwareConfigBindStore(nullptr, nullptr);
    FrameworkBindStartupSource(nullptr);
  }
  static cfgtest::Bytes GoodBlob(uint16_t period2) {
    cfgtest::Bytes time(32, 0);
    time[1] = 2;                                  // sleep mode of state 2
    cfgtest::PutU16(time, 3, period2);            // period of state 2
    cfgtest::PutU16(time, 5, 3333);               // periods of states 8 and 9
    time[9] = 3;                                  // their sleep mode
    cfgtest::PutU16(time, 10, 4444);              // period of state 3
    cfgtest::PutU16(time, 14, 1111);              // period of state 11
    cfgtest::PutU16(time, 16, 0xBEEF);            // into the extended time control
    return cfgtest::BuildBlob({.sections = {cfgtest::Section(32, time), cfgtest::Section(31, {0, 4})}});
  }
  void StoreBlob(const cfgtest::Bytes& b) {
    memcpy(store_, b.data(), b.size());
    storeLen_ = static_cast<uint32_t>(b.size());
    for (int i = 0; i < 4; ++i) store_[kCfgVersionPos + i] = static_cast<uint8_t>(i + 1);
  }
  uint8_t store_[kCfgBlobMax] = {};
  uint32_t storeLen_ = 0;
};

TEST_F(StartUp, AppliesConfigurationAndLaysOutThePanel) {
  testing::internal::CaptureStderr();
  ASSERT_EQ(ThpAppInit(0), 0);
  const std::string log = testing::internal::GetCapturedStderr();
  EXPECT_NE(log.find("ferx-ini-1.2.3.4"), std::string::npos) << log;
  EXPECT_EQ(ubTpLock.load(), 0);
  EXPECT_EQ(flag_version, 0);
  EXPECT_EQ(gubAgeingFlagNcln, 5);
  EXPECT_EQ(V(gstCommon.ubDrvNum), 32);
  EXPECT_EQ(V(gstCommon.ubSenNum), 18);
  EXPECT_EQ(guwTempBufferSizes, 2 * (32 + 18) + 11648);
  EXPECT_EQ(gubThpCmdOffset, 1);
  EXPECT_EQ(gubCmdIdleEn, 1);
  EXPECT_EQ(gboThpFirstFrame, 1);
  EXPECT_EQ(gubSpiCmdAllow, 1);
  // Periods and sleep modes: the state table, then the time configuration's overrides.
  const uint16_t wantPeriod[13] = {600, 600, 5000, 4444, 7500, 7500, 6633, 4166, 3333, 3333, 15000, 1111, 0};
  const uint8_t wantSleep[13] = {0, 0, 2, 1, 1, 1, 3, 1, 3, 3, 3, 1, 0};
  for (int i = 0; i < 13; ++i) {
    EXPECT_EQ(gpuwPeriod[i], wantPeriod[i]) << i;
    EXPECT_EQ(gpubSleepMode[i], wantSleep[i]) << i;
  }
  EXPECT_EQ(V(gstCommon.uwScanPeriod), 5000);
  EXPECT_EQ(V(gstTimeCtrlEx.uwExWord), 0xBEEF);
  EXPECT_EQ(V(gstTimeCtrlEx.stCfg.uwPeriodState2), 5000);
  EXPECT_EQ(V(gstCommon.stData.puwRawData), gpuwMutualRawData);
  EXPECT_EQ(V(gstCommon.stData.pswDiffData), gpswMutualDiffData);
  EXPECT_EQ(V(gstCommon.puwImNoiseData), gpuwRealImData);
  EXPECT_NE(V(gstCommon.pubTempArena), nullptr);
  EXPECT_NE(gpubThpCmdBak, nullptr);
}

TEST_F(StartUp, RequestFlagsOfFirstAndLaterInitialisations) {
  gstPannelAlignCfg.ubDrvNum = 32;
  gstPannelAlignCfg.ubSenNum = 18;
  gubJitterTest = 0;
  ASSERT_EQ(SoftwareInit(), 0);
  EXPECT_EQ(V(gstStateMachine.ullRequest), 0x20000000u);
  ASSERT_EQ(SoftwareInit(), 0);
  EXPECT_EQ(V(gstStateMachine.ullRequest), 0x800u);
  guiIsFWakeCheckNcln = 0x12345678;
  ASSERT_EQ(SoftwareInit(), 0);
  EXPECT_EQ(V(gstStateMachine.ullRequest), 2u);
  EXPECT_EQ(guiIsFWakeCheckNcln, 0x12345678u);
  guiIsFWakeCheckNcln = 0x1234;  // no marker: cleared
  ASSERT_EQ(SoftwareInit(), 0);
  EXPECT_EQ(guiIsFWakeCheckNcln, 0u);
}

// Each case leaves one module's state as a running frame would; the software reset must
// bring it back to its start value.
TEST_F(StartUp, SoftwareResetReturnsEveryModuleToItsStartState) {
  gstPannelAlignCfg.ubDrvNum = 32;
  gstPannelAlignCfg.ubSenNum = 18;
  struct Case {
    const char* what;
    std::function<void()> dirty;
    std::function<bool()> reset;
  };
  const Case cases[] = {
      {"charger byte from the kept charger result",
       [] {
         gstChrgResultNcln[0] = 1;
         gstCommon.ubChargerFlag = 0;
       },
       [] { return gstCommon.ubChargerFlag == 1; }},
      {"raw-data output is the normalisation output", [] { gstRawdataOutput = nullptr; },
       [] { return gstRawdataOutput == &gstNormalizeOutput; }},
      {"phone-maker debug record bound", [] { gpstTamrelDebugInfo = nullptr; },
       [] { return gpstTamrelDebugInfo == gstTamrelDebugStateInfo; }},
      {"jitter lists empty on every sense line",
       [] {
         memset(gpubShakeRxList, 3, sizeof(gpubShakeRxList));
         memset(gpuwNoiseList, 0, sizeof(gpuwNoiseList));
       },
       [] {
         for (int i = 0; i < 18; ++i) {
           if (gpubShakeRxList[i] != 0xFF || gpuwNoiseList[i] != 255) return false;
         }
         return true;
       }},
      {"low-temperature rectangles cleared", [] { gstLowTempRectBak.aswCompLevel[0] = 5; },
       [] { return gstLowTempRectBak.aswCompLevel[0] == kLowTempNotCompensated; }},
      {"quick reference update restarted", [] { gstQuickRefUpdateModule.ubInitDone = 0; },
       [] { return gstQuickRefUpdateModule.ubInitDone == 1; }},
      {"cross-reference flags cleared",
       [] {
         gubAbnoramlCrossRef = 1;
         gubCrossRefUpdateFlag = 1;
       },
       [] { return gubAbnoramlCrossRef == 0 && gubCrossRefUpdateFlag == 0; }},
      {"idle delays and the screen-on count cleared",
       [] {
         gubIdleDelayFlag = 1;
         gubLowDelayFlag = 1;
         gstIdleProc.ubScreenOnFrames = 7;
         gstIdleProc.ubIdleRefRequest = 1;
       },
       [] {
         return gubIdleDelayFlag == 0 && gubLowDelayFlag == 0 && gstIdleProc.ubScreenOnFrames == 0 &&
                gstIdleProc.ubIdleRefRequest == 0;
       }},
      {"firmware state and frequency mismatch counts cleared",
       [] {
         gubStateNotMatchCnt = 3;
         gubFreqNotMatchCnt = 4;
       },
       [] { return gubStateNotMatchCnt == 0 && gubFreqNotMatchCnt == 0; }},
      {"region threshold taken from the panel", [] { gstMutualRegion.uwTouchThreshold = 1; },
       [] { return gstMutualRegion.uwTouchThreshold == gstCommon.uwMaskThreshold; }},
  };
  for (const Case& c : cases) {
    c.dirty();
    ASSERT_EQ(SoftwareInit(), 0) << c.what;
    EXPECT_TRUE(c.reset()) << c.what;
  }
  gstChrgResultNcln[0] = 0;
  ASSERT_EQ(SoftwareInit(), 0);
  EXPECT_EQ(V(gstCommon.ubChargerFlag), 0) << "no kept charger: none after the reset";
}

TEST(ReferenceInit, RestartsTheQuickReferenceUpdate) {
  gstQuickRefUpdateModule.ubInitDone = 0;
  RefdataInit();
  EXPECT_EQ(gstQuickRefUpdateModule.ubInitDone, 1);
}

TEST_F(StartUp, ChipTypeDecidesVersionAndPanelCopy) {
  struct Case {
    const char* text;
    uint8_t wantVersion;
    bool panelCopied;
    const char* log;
  };
  const Case cases[] = {
      {"7786", 0, true, nullptr},
      {"7731X", 1, true, nullptr},
      {"5000", 9, true, nullptr},  // between: version unchanged
      {"4414", 9, false, "chip type error: 4414"},
      {"ABCDEFGH", 9, false, "Can't get the chip type!"},  // eight non-zero characters
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    memset(FakeStartup::text, 0, sizeof(FakeStartup::text));
    memcpy(FakeStartup::text, c.text, strlen(c.text));
    FakeStartup::text[8] = 'Z';
    flag_version = 9;
    gstPannelAlignCfg.ubDrvNum = 20;
    gstPannelAlignCfg.ubSenNum = 10;
    testing::internal::CaptureStderr();
    ASSERT_EQ(ThpAppInit(0), 0);  // configuration and software init run in every case
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_EQ(flag_version, c.wantVersion);
    EXPECT_EQ(V(gstCommon.ubDrvNum), c.panelCopied ? 32 : 20);
    EXPECT_EQ(V(gstCommon.uwScanPeriod), 5000);
    if (c.log != nullptr) {
      EXPECT_NE(log.find(c.log), std::string::npos) << log;
    }
  }
  flag_version = 9;
  ASSERT_EQ(ThpAppInit(1), 0);  // chip check skipped
  EXPECT_EQ(flag_version, 9);
}

TEST_F(StartUp, RefusedBlobKeepsTheLastGoodConfiguration) {
  ASSERT_EQ(ThpAppInit(0), 0);
  cfgtest::Bytes bad = GoodBlob(7000);
  bad[70] ^= 0x01;  // body sum no longer matches
  StoreBlob(bad);
  testing::internal::CaptureStderr();
  EXPECT_EQ(ThpAppInit(0), 0);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("configuration refused"), std::string::npos);
  EXPECT_EQ(V(gstCommon.uwScanPeriod), 5000);
  EXPECT_EQ(V(gstTimeCtrlCfg.uwPeriodState2), 5000);
}

TEST_F(StartUp, OversizedPanelIsRefusedWithoutLayout) {
  FakeStartup::drv = 60;
  FakeStartup::sen = 50;  // 3000 nodes
  ResetMemMalloc();
  testing::internal::CaptureStderr();
  EXPECT_EQ(ThpAppInit(0), 3);
  const std::string log = testing::internal::GetCapturedStderr();
  EXPECT_NE(log.find("panel 60 x 50 = 3000 nodes refused"), std::string::npos) << log;
  EXPECT_EQ(MemHeapGetCurAddr(), nullptr);  // nothing laid out
  EXPECT_EQ(ubTpLock.load(), 0);
}

TEST_F(StartUp, SecondInitialisationAllocatesNoNewWorkBuffer) {
  ASSERT_EQ(ThpAppInit(0), 0);
  uint8_t* cache = gpubDlCache;
  ASSERT_EQ(ThpAppInit(0), 0);
  EXPECT_EQ(gpubDlCache, cache);
}

TEST(FrameworkHelpers, AverageScaleAndReferenceCopy) {
  const uint16_t data[] = {10, 20, 31};
  EXPECT_EQ(GetDataAvg(data, 3), 20);
  EXPECT_EQ(GetDataAvg(data, 0), 0);
  uint16_t v[] = {1024, 65535, 3};
  uint32_t work[3];
  ArrayMultiplyBase1024(v, work, 2048, 3);
  EXPECT_EQ(v[0], 2048);
  EXPECT_EQ(v[1], 65535);  // saturates
  EXPECT_EQ(v[2], 6);
  uint16_t raw[4] = {1, 2, 3, 4};
  uint16_t ref[4] = {};
  gstCommon.stData.puwRawData = raw;
  gstCommon.stData.puwRefData = ref;
  gstCommon.uwNodeNum = 4;
  RefUpdate();
  EXPECT_EQ(memcmp(raw, ref, sizeof(raw)), 0);
}

}  // namespace

namespace {

// ---- State-table actions and the mutual data-ready procedure -----------------------------

TEST(StateActions, SetTheirFlagsAndStopTheFrame) {
  struct Case {
    const char* name;
    AppStage action;
    uint8_t wantExeLock;  // 2: unchanged
    bool clearsAutoWake;
  } cases[] = {
      {"CommonStateToFinger", CommonStateToFinger, 2, true},
      {"SwitchToPccScan", SwitchToPccScan, 1, false},
      {"ExitPccScan", ExitPccScan, 0, true},
  };
  for (const Case& c : cases) {
    gstApp.ubFlags = 0;
    gubIdleAutoWake = 1;
    gubSpiCmdAllow = 0;
    gubCmdExeLock = c.wantExeLock == 1 ? 0 : 1;
    const uint8_t lockBefore = gubCmdExeLock;
    c.action();
    EXPECT_EQ(gstApp.ubFlags & kAppFlagStop, kAppFlagStop) << c.name;
    EXPECT_EQ(gubCmdExeLock, c.wantExeLock == 2 ? lockBefore : c.wantExeLock) << c.name;
    EXPECT_EQ(gubIdleAutoWake, c.clearsAutoWake ? 0 : 1) << c.name;
    EXPECT_EQ(gubSpiCmdAllow, c.action == SwitchToPccScan ? 0 : 1) << c.name;
  }
  gstApp.ubFlags = 0;
  gubCmdExeLock = 0;

  gstStateMachine.ullRequest = 0;
  gubIQbaseReady = 0;
  SelfPCCScanReadyProc();
  EXPECT_EQ(gstStateMachine.ullRequest, 0u);
  gubIQbaseReady = 1;
  SelfPCCScanReadyProc();
  EXPECT_EQ(gstStateMachine.ullRequest, 0x1000u);
  gubIQbaseReady = 0;
  gstStateMachine.ullRequest = 0;
}

// Edge-line scaling on a 3-drive x 4-sense raw map, all values 640 (so a factor f in 64ths
// gives 10 * f): sense edges first (row 1 is listed, so its first node takes byte 9), then the
// first and last drive rows, corners therefore twice.
TEST(MutualDataReady, ScalesEdgeLinesAndCountsTheFrame) {
  uint16_t raw[12];
  for (auto& v : raw) v = 640;
  gstCommon.ubDrvNum = 3;
  gstCommon.ubSenNum = 4;
  gstCommon.stData.puwRawData = raw;
  uint8_t* c = gstEdgeRawAdjustCfg.aubData;
  memset(c, 0, sizeof(gstEdgeRawAdjustCfg));
  c[0] = 0x03;  // enabled, row list in use
  c[1] = 32;    // first drive row x 0.5
  c[2] = 128;   // last drive row x 2
  c[3] = 96;    // first sense node x 1.5
  c[4] = 64;    // last sense node x 1
  c[5] = 1;     // row 1 listed ...
  c[6] = c[7] = c[8] = 200;  // ... the others name no row
  c[9] = 16;    // listed rows' first sense node x 0.25
  gstCommon.uwDataReadyCnt = 0xFFFF;
  MutualDataReadyProc();
  const uint16_t want[12] = {
      480, 320, 320, 320,   // row 0: 640*1.5*0.5, then 640*0.5 (last node x1 then x0.5)
      160, 640, 640, 640,   // row 1: listed, first node 640*0.25
      1920, 1280, 1280, 1280,  // row 2: 640*1.5*2, 640*2
  };
  for (int i = 0; i < 12; ++i) EXPECT_EQ(raw[i], want[i]) << "node " << i;
  EXPECT_EQ(V(gstCommon.uwDataReadyCnt), 0) << "the data-ready count wraps";

  // Disabled: the map is left alone, the frame is still counted; saturation at 65535.
  c[0] = 0;
  c[2] = 255;
  raw[8] = 65535;
  MutualDataReadyProc();
  EXPECT_EQ(raw[8], 65535);
  EXPECT_EQ(V(gstCommon.uwDataReadyCnt), 1);
  c[0] = 0x01;
  MutualDataReadyProc();
  EXPECT_EQ(raw[8], 65535) << "a product above 16 bits is held at 65535";
  memset(c, 0, sizeof(gstEdgeRawAdjustCfg));
  gstCommon.stData.puwRawData = nullptr;
}

// The raw-data preparation by firmware state: noise gathering for the finger and
// game-only states, the mutual preparation (counted in the data-ready count) for the
// frequency-scan, finger and game-only states while the data is not normalised yet.
TEST(MutualDataReady, PreparationFollowsTheFirmwareState) {
  gstCommon = {};
  memset(&gstFreqHopCfg, 0, sizeof(gstFreqHopCfg));  // no frequencies: gathering leaves 65535
  struct Case {
    uint8_t kind, normalised;
    bool gathered;
    uint16_t counted;
  } cases[] = {{0, 0, false, 0}, {1, 0, false, 1}, {2, 0, true, 1}, {3, 0, true, 1},
               {4, 0, false, 0}, {2, 1, true, 0}, {1, 1, false, 0}};
  for (const Case& c : cases) {
    gstCommon.uwDataReadyCnt = 0;
    gstFreqHop.st.uwMinPeak = 7;
    gboDataIsNormalized = c.normalised;
    FrameworkRawDataPrep(c.kind);
    EXPECT_EQ(V(gstFreqHop.st.uwMinPeak) == 0xFFFF, c.gathered) << int{c.kind} << " " << int{c.normalised};
    EXPECT_EQ(V(gstCommon.uwDataReadyCnt), c.counted) << int{c.kind} << " " << int{c.normalised};
  }
  gstCommon.uwDataReadyCnt = 0;
  MutualDataSyncProc();
  EXPECT_EQ(V(gstCommon.uwDataReadyCnt), 1);

  // The self data-ready procedure scales the self raw data: drive entries, then sense.
  uint16_t self[5] = {100, 100, 100, 100, 100};
  gstCommon.ubDrvNum = 2;
  gstCommon.ubSenNum = 3;
  gstCommon.stData.puwSelfRawData = self;
  memset(&gstRawDataCorrectCfg, 0, sizeof(gstRawDataCorrectCfg));
  SelfDataReadyProc();
  EXPECT_EQ(self[0], 100) << "scaling off";
  gstRawDataCorrectCfg.aubData[0] = 0x02;
  gstRawDataCorrectCfg.aubData[1] = 10;
  gstRawDataCorrectCfg.aubData[2] = 20;
  SelfDataReadyProc();
  EXPECT_NE(self[0], 100);
  EXPECT_EQ(self[0], self[1]);
  EXPECT_NE(self[2], self[0]) << "the sense entries take their own factor";
  EXPECT_EQ(self[2], self[4]);
  memset(&gstRawDataCorrectCfg, 0, sizeof(gstRawDataCorrectCfg));
  gboDataIsNormalized = 0;
  gstCommon = {};
}

}  // namespace
