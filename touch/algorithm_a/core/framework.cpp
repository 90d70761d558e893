// Stage runner, app tables and framework start-up.
#include "framework.h"

#include <ctime>
#include <cstring>
#include <thread>

#include "coord.h"
#include "core_stages.h"
#include "customer_hooks.h"
#include "tsa_os.h"
#include "region.h"
#include "signal_proc.h"
#include "module_wrappers.h"
#include "tsa_common.h"
#include "tsa_ctrl.h"
#include "tsa_custdbg.h"
#include "tsa_frame.h"
#include "tsa_memory.h"
#include "tsa_state.h"


// ---- App tables -------------------------------------------------------------------------

const AppStage gppAPP_NULLList[1] = {nullptr};

const AppStage gppAPP_FINGERList[kFingerListSlots] = {
    ImDataProc, GetRxJitter, NoiseTypeDetectProc, NoiseDurationPostProcess, GetPanelPowerOnRef,
    RefSetUpRawDataProc, FreqHoppingProc, RawdataDenoise, NormalizeCheck, ResultCommonProc,
    RawDataConsisOptmProc, GetDiff, LcdHighNoiseProc, DenoiseDiff, DiffDataStateAcquire,
    NoiseDiffDrvSmooth, LcdHighNoiseHandle, ComplementDiff, LowTempCompensatePro, DynamicLevelProc,
    ResetDiffInfo, RefUpdateMutual, RefUpdateSelf, RefQuickUpdate, RegionAcquireProcPkg,
    JudgeEsdFastMove, CalcSumDiffShadow, RegionFloatPreJudgeProc, RegionWaterProcPkg, IronCoverProc,
    RegFilterBySelfCap, LongBigThumbProc, RegionStateAcquire, CoordPairEncapsulation,
    RegionLargeAreaProcPkg, LargeRegionCustom, LowTempOptEncapsulation, NoiseCoordAddSmooth,
    CoordOptimizeEncapsulation, AppCoordTransformBeforeEdgeRes, EdgeResFun,
    FirstCoordSmoothEncapsulation, JitaiModeRecongnise, JudgeFpTouchState, CoordStateAcquire,
    AppCoordTransform, JudgeFpTouch, ThpTouchReport,
    nullptr, nullptr, nullptr, nullptr};

const AppStage gppAPP_FINGER_GESList[kFingerGesListSlots] = {
    ImDataProc, NoiseTypeDetectProc, NoiseDurationPostProcess, GetPanelPowerOnRef, RefSetUpRawDataProc,
    FreqHoppingProc, RawdataDenoise, NormalizeCheck, ResultCommonProc, RawDataConsisOptmProc, GetDiff,
    LcdHighNoiseProc, DenoiseDiff, DiffDataStateAcquire, ComplementDiff, LowTempCompensatePro,
    JudgeLowTempByTouchPkg, DynamicLevelProc, ResetDiffInfo, RefUpdateMutual, RefUpdateSelf,
    RegionAcquireProcPkg, RegionFloatPreJudgeProc, RegionWaterProcPkg, RegFilterBySelfCap,
    RegionStateAcquire, CoordPairEncapsulation, RegionLargeAreaProcPkg, LargeRegionCustom,
    LowTempOptEncapsulation, CoordOptimizeEncapsulation, JudgeFpTouchState, CoordStateAcquire,
    GesturePreProcess, GestureProcAndNotifyHost, GestureEndProcess,
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};

const AppStage gppAPP_IDLE_ABNORMAL_TOUCHList[1] = {nullptr};

const AppStage gppAPP_HIGH_RATEList[kHighRateListSlots] = {
    ImDataProc, NoiseTypeDetectProc, NoiseDurationPostProcess, GetPanelPowerOnRef, RefSetUpRawDataProc,
    FreqHoppingProc, LcdHighNoiseProc, RawDataIirFilter, ResultCommonProc, GetDiff, DenoiseDiff,
    DiffDataStateAcquire, NoiseDiffDrvSmooth, LcdHighNoiseHandle, ComplementDiff, DynamicLevelProc,
    ResetDiffInfo, RefUpdateMutual, RegionAcquireProcPkg, CalcSumDiffShadow, RegionFloatPreJudgeProc,
    RegionWaterProcPkg, LongBigThumbProc, RegionStateAcquire, CoordPairEncapsulation, LargeRegionCustom,
    NoiseCoordAddSmooth, CoordOptimizeEncapsulation, CoordStateAcquire, AppCoordTransform, ThpTouchReport,
    nullptr, nullptr, nullptr, nullptr, nullptr};

const AppStage gppAPP_PCC_SCANList[1] = {nullptr};
const AppStage gppAPP_JITTER_TESTList[1] = {nullptr};
const AppStage gppAPP_IDLEList[3] = {nullptr, nullptr, nullptr};
const AppStage gppAPP_SAMPLE_STARTList[1] = {nullptr};
const AppStage gppAPP_SWITCHList[1] = {nullptr};
const AppStage gppAPP_FREQ_SCANList[3] = {FreqScan, nullptr, nullptr};

const AppTableEntry gpstAppTable[kAppTableEntries] = {
    {1, gppAPP_NULLList},
    {kFingerListSlots, gppAPP_FINGERList},
    {kFingerGesListSlots, gppAPP_FINGER_GESList},
    {1, gppAPP_IDLE_ABNORMAL_TOUCHList},
    {kHighRateListSlots, gppAPP_HIGH_RATEList},
    {1, gppAPP_PCC_SCANList},
    {1, gppAPP_JITTER_TESTList},
    {3, gppAPP_IDLEList},
    {1, gppAPP_SAMPLE_STARTList},
    {1, gppAPP_SWITCHList},
    {3, gppAPP_FREQ_SCANList},
    {0, nullptr},
};

// ---- Framework state --------------------------------------------------------------------

AppExec gstApp;
std::atomic<uint8_t> ubTpLock{0};
StateTableEntry gpstStateTable[kStateNum] = {
    {600, 0, {}},  {600, 0, {}},  {600, 0, {}},  {4166, 0, {}}, {7500, 1, {}},
    {7500, 1, {}}, {6633, 3, {}}, {4166, 1, {}}, {6633, 1, {}}, {6633, 3, {}},
    {15000, 3, {}}, {1000, 1, {}}, {0, 0, {}},   {0, 0, {}},
};
StateMachineRec gstStateMachine;
TimeCtrlEx gstTimeCtrlEx;
uint16_t gpuwPeriod[kStateNum];
uint8_t gpubSleepMode[kStateNum];
uint16_t guwTempBufferSizes;

uint8_t gubHaveSendRstIdleBaseLine;
uint64_t guiiNoTouchRecordTime;
uint64_t gullProcTimeStamp;
uint8_t gboCheckDozeFlag;
uint8_t gboSuspend;
uint8_t gubPowerOnTimes;
uint8_t gubDataPrepareOkFlag;
uint8_t gubTouchDataPrepareOkFlag;
uint8_t gboEnterMutilFreqTest;
uint8_t gubSelfCount;
uint16_t guwCmdActiveToIdleTime;
uint8_t gboThpFirstFrame;
uint8_t gubSpiCmdAllow;
uint8_t gubThpCmdOffset;
uint8_t gubThpCmdCnt;
uint8_t gubCmdIdleEn;
uint8_t gboDataIsNormalized;
uint8_t gubJitterTest;
uint8_t gubClearNonAbnormalCnt;
uint8_t gubFpOneClickSta;
uint32_t guiIsFWakeCheckNcln;
uint8_t flag_version;
uint8_t gubAgeingFlagNcln;
uint8_t gboRlsStudyTmLmtNcln;
uint8_t gubIdleAutoWake;
uint8_t gubIQbaseReady;

namespace {

FrameworkRequestSink spfnRequestSink;
StageClock spfnStageClock;
StageTimeRecord* spstStageTimes;
const FrameworkStartupSource* spstStartup;

constexpr uint8_t kSampleStartCmd = 0xF1;
constexpr uint8_t kSampleStartLen = 5;
constexpr uint32_t kRequestTypePacket = 1;
constexpr uint64_t kLockWaitUs = 20001;

constexpr uint32_t ChipCode(const char (&t)[5]) {
  return (static_cast<uint32_t>(static_cast<uint8_t>(t[0])) << 24) |
         (static_cast<uint32_t>(static_cast<uint8_t>(t[1])) << 16) |
         (static_cast<uint32_t>(static_cast<uint8_t>(t[2])) << 8) | static_cast<uint8_t>(t[3]);
}

uint64_t NowUs() {
  timespec ts{};
  if (clock_gettime(CLOCK_MONOTONIC, &ts) != 0) return 0;
  return static_cast<uint64_t>(ts.tv_sec) * 1000000u + static_cast<uint64_t>(ts.tv_nsec) / 1000u;
}

}  // namespace

// ---- Stage runner -----------------------------------------------------------------------

namespace {

// A run of LIST begins: the latest run's times start at 0; a different list starts the sums
// afresh.
void StageTimesNewRun(StageTimeRecord& r, const AppStage* ppList, uint16_t uwSlotCount) {
  if (r.ppList != ppList || r.uwSlotCount != uwSlotCount) {
    memset(&r, 0, sizeof(r));
    r.ppList = ppList;
    r.uwSlotCount = uwSlotCount;
  }
  memset(r.aullLastNs, 0, sizeof(r.aullLastNs));
  ++r.uiRuns;
}

}  // namespace

void AppStageTimingBind(StageClock pfnClock, StageTimeRecord* pstRecord) {
  if (pfnClock == nullptr || pstRecord == nullptr) {
    spfnStageClock = nullptr;
    spstStageTimes = nullptr;
    return;
  }
  memset(pstRecord, 0, sizeof(*pstRecord));
  spstStageTimes = pstRecord;
  spfnStageClock = pfnClock;
}

void AppExecuteList(const AppStage* ppList, uint16_t uwSlotCount) {
  gstApp.uwStageIndex = 0;
  gstApp.uwStageCount = uwSlotCount;
  gstApp.ppList = ppList;
  if (uwSlotCount == 0 || ppList == nullptr || (gstApp.ubFlags & kAppFlagStop) != 0) {
    gstApp.ubFlags = 0;
    return;
  }
  // The timing of the whole run follows the binding at its start.
  const StageClock pfnClock = spfnStageClock;
  StageTimeRecord* const pstTimes = spstStageTimes;
  if (pfnClock != nullptr) StageTimesNewRun(*pstTimes, ppList, uwSlotCount);
  uint32_t uiIndex = 0;
  uint32_t uiCount = uwSlotCount;
  uint8_t ubFlags = gstApp.ubFlags;
  do {
    const AppStage pfnStage = ppList[uiIndex];
    if (pfnStage == nullptr) {
      // an empty slot
    } else if (pfnStage == &Test1 || pfnStage == &Test2) {
      SampleStart(pfnStage == &Test2 ? 1 : 0);
    } else {
      if (pfnClock == nullptr) {
        pfnStage();
      } else {
        const uint64_t ullStart = pfnClock();
        pfnStage();
        const uint64_t ullNs = pfnClock() - ullStart;
        if (uiIndex < kStageTimeSlots) {
          pstTimes->aullLastNs[uiIndex] += ullNs;
          pstTimes->aullTotalNs[uiIndex] += ullNs;
          ++pstTimes->auiCalls[uiIndex];
        }
      }
      // A stage may jump (index), shorten the list (count) or stop; the count never
      // reaches past the list it came with.
      uiIndex = gstApp.uwStageIndex;
      uiCount = gstApp.uwStageCount < uwSlotCount ? gstApp.uwStageCount : uwSlotCount;
      ubFlags = gstApp.ubFlags;
    }
    ++uiIndex;
    gstApp.uwStageIndex = static_cast<uint16_t>(uiIndex);
  } while (uiIndex < uiCount && (ubFlags & kAppFlagStop) == 0);
  gstApp.ubFlags = 0;
}

namespace {
// A bad app number is said once per stretch of bad frames, not once per frame; a good
// frame in between re-arms the line so a later bad stretch is said again.
bool sboBadAppLogged;
}  // namespace

void AppExecute() {
  if (gstCommon.uwFrameCounter != 0xFFFF) gstCommon.uwFrameCounter = static_cast<uint16_t>(gstCommon.uwFrameCounter + 1);
  const uint8_t ubApp = gstApp.ubApp;
  if (ubApp >= kAppTableEntries) {
    if (!sboBadAppLogged) {
      FerxLogPrint("AppExecute", FERX_LOG_ERR, "app %u has no stage list", static_cast<unsigned>(ubApp));
      sboBadAppLogged = true;
    }
    gstApp.ubFlags = 0;
    return;
  }
  sboBadAppLogged = false;
  // The skip mark belongs to one frame: a list that runs starts unmarked, so one skipped
  // frame does not silence every later report.
  if ((gstApp.ubFlags & kAppFlagStop) == 0) gstCommon.ubFrameSkipped = 0;
  AppExecuteList(gpstAppTable[ubApp].ppList, gpstAppTable[ubApp].uwSlotCount);
}

void AppExecInit() {
  gstApp.ubFlags = 0;
  gstApp.uiWord = 0;
}
void AppExecEnd() { gstApp.ubFlags = kAppFlagStop; }
void ClearAppExecEnd() { gstApp.ubFlags = 0; }

void PowerOnIgnoreFrame() {
  if (gubPowerOnTimes < 3) {
    ++gubPowerOnTimes;
    gstApp.ubFlags = kAppFlagStop;
  }
}

void Test1() {}
void Test2() {}

void FrameworkBindRequestSink(FrameworkRequestSink pfnSink) { spfnRequestSink = pfnSink; }

void SampleStart(uint8_t ubParam) {
  const uint16_t uwSum = static_cast<uint16_t>(kSampleStartLen + kSampleStartCmd + ubParam);
  const uint8_t aubPacket[7] = {0x00, 0x00, kSampleStartLen, kSampleStartCmd, ubParam,
                                static_cast<uint8_t>(uwSum & 0xFF), static_cast<uint8_t>(uwSum >> 8)};
  if (spfnRequestSink == nullptr) {
    FerxLogPrint("SampleStart", FERX_LOG_ERR, "sample start %u dropped: no request ring bound", ubParam);
    return;
  }
  // A full ring drops the request, as for every producer.
  (void)spfnRequestSink(kRequestTypePacket, aubPacket, sizeof(aubPacket));
}

// ---- Frame lock -------------------------------------------------------------------------

void MutexLock() {
  const uint64_t ullStart = NowUs();
  uint8_t ubExpected = 0;
  while (!ubTpLock.compare_exchange_weak(ubExpected, 1, std::memory_order_acquire)) {
    ubExpected = 0;
    if (NowUs() - ullStart >= kLockWaitUs) {
      FerxLogPrint("MutexLock", FERX_LOG_ERR, "wait, break");
      ubTpLock.store(1, std::memory_order_release);
      return;
    }
    std::this_thread::yield();
  }
}

void MutexUnlock() { ubTpLock.store(0, std::memory_order_release); }

// ---- Initialisation ---------------------------------------------------------------------

void CommonVariableInit() {
  gboSuspend = 0;
  gubPowerOnTimes = 0;
  gubDataPrepareOkFlag = 0;
  gubTouchDataPrepareOkFlag = 0;
  gboEnterMutilFreqTest = 0;
  gubSelfCount = 0;
  guwCmdActiveToIdleTime = 0;
  gboThpFirstFrame = 1;
  gubSpiCmdAllow = 1;
}

void ThpDataReportInit() {
  gubThpCmdOffset = 1;
  gubThpCmdCnt = 0;
  gubCmdIdleEn = 1;
  gboDataIsNormalized = 0;
}

void FrameworkStateMachineInit() {
  gstStateMachine.uiState = 0;
  gstStateMachine.ullRequest = 0;
  gstStateMachine.ubByte16 = 0;
  for (uint32_t i = 0; i < 13; ++i) {
    gpuwPeriod[i] = gpstStateTable[i].uwPeriod;
    gpubSleepMode[i] = gpstStateTable[i].ubSleepMode;
  }
}

void MemTempBufferSizeSet(uint16_t a, uint16_t b, uint16_t c, uint16_t d) {
  const uint16_t uwWant = static_cast<uint16_t>(d + c * kFerrantMaxNodes + gstCommon.ubSenNum * a + gstCommon.ubDrvNum * b);
  if (uwWant > guwTempBufferSizes) guwTempBufferSizes = uwWant;
}

namespace {

uint16_t TempBufferSizeFor(uint8_t ubDrv, uint8_t ubSen) {
  uint16_t uwSize = static_cast<uint16_t>(MemTempBaseBytes(ubDrv, ubSen));
  if (uwSize < kTempBufferBase) uwSize = kTempBufferBase;
  if (uwSize < 672) uwSize = 672;
  const uint16_t uwNodes = static_cast<uint16_t>(ubDrv * ubSen);
  if ((uwNodes + uwSize) / 8 < 527) uwSize = static_cast<uint16_t>(4216 - uwNodes);
  return uwSize;
}

// Steps 1 (common variables) and 2 of the software initialisation: the common record and
// the arena layout.
uint8_t SoftwareInitLayout() {
  ResetMemMalloc();
  CommonVariableInit();
  GlobalCommonInit();
  MemTempBufferSizeInit();
  const uint8_t ubFreqNum = gstFreqHopCfg.aubData[kFreqHopCfgFreqNumPos];
  if (MemPowerOnMallocBottom(ubFreqNum) != 0 || MemPowerOnMallocTop() != 0) {
    FerxLogPrint("SoftwareInit", FERX_LOG_ERR, "arena layout failed");
    return 1;
  }
  return 0;
}

// Step 5: the frame buffers of the common record.
void SoftwareInitBuffers() {
  gstCommon.stData.puwRawData = gpuwMutualRawData;
  gstCommon.stData.puwSelfRawData = gpuwSelfRawData;
  gstCommon.stData.pswDiffData = gpswMutualDiffData;
  gstCommon.puwImNoiseData = gpuwRealImData;
  gstCommon.puwCrossRawData = gpuwCrossRawData;
}

// Step 5: the frame buffers, then every module's initialisation in the frame's order.
void SoftwareInitModules() {
  SoftwareInitBuffers();
  SignalSoftwareInitBuffers();
  RegionSoftwareInit();
  CoordSoftwareInit();
  ResultSoftwareInit();
  gpstTamrelDebugInfo = gstTamrelDebugStateInfo;
}

// The panel, cross and frequency counts must fit the arena before anything is reset.
uint8_t SoftwareInitCheck() {
  const uint8_t ubFreqNum = gstFreqHopCfg.aubData[kFreqHopCfgFreqNumPos];
  return MemLayoutCheck(ubFreqNum, TempBufferSizeFor(gstPannelAlignCfg.ubDrvNum, gstPannelAlignCfg.ubSenNum));
}

}  // namespace

void MemTempBufferSizeInit() {
  guwTempBufferSizes = TempBufferSizeFor(gstCommon.ubDrvNum, gstCommon.ubSenNum);
  CoordPairSetTempSizeInit();
}

uint8_t SoftwareInit() {
  if (SoftwareInitCheck() != 0) return 1;
  gubHaveSendRstIdleBaseLine = 0;
  guiiNoTouchRecordTime = 0;
  gullProcTimeStamp = 0;
  gboCheckDozeFlag = 0;
  if (SoftwareInitLayout() != 0) return 1;

  // Step 3: the k/b backup, the check info and the new-point arrays start cleared; the
  // charger survives as the kept charger result. The finger wake check word is kept while
  // it carries the marker (its request is taken up in step 6).
  if (guiIsFWakeCheckNcln != kNclnMarker) guiIsFWakeCheckNcln = 0;
  gstCommon.ubChargerFlag = gstChrgResultNcln[0];
  gubFpOneClickSta = (gubFpOneClickSta == 1 || gubFpOneClickSta == 2) ? 2 : 0;
  SignalSoftwareInitRecords();

  // Step 4.
  FrameworkStateMachineInit();

  SoftwareInitModules();

  // Step 6: the app and the first requests. The jitter lists start empty for the jitter
  // test that the first initialisation asks for.
  AppExecInit();
  JitterTestInit();
  if (gubJitterTest == 0) {
    gstStateMachine.ullRequest |= kReqJitterTestFirst;
    gubJitterTest = 1;
  } else {
    gstStateMachine.ullRequest |= kReqAfterReinit;
  }
  if (guiIsFWakeCheckNcln == kNclnMarker) gstStateMachine.ullRequest = kReqFingerWakeCheck;

  // The running time control: 19 cleared bytes, then the configuration, with the period
  // and sleep-mode words, the common scan period and the counter the state machine's own
  // period initialisation sets; the extended word comes from configuration bytes 16-17.
  memset(&gstTimeCtrlEx, 0, sizeof(gstTimeCtrlEx));
  StatePeriodInit();
  gstTimeCtrlEx.uwExWord = gstTimeCtrlCfg.uwExWord;

  // Step 8: the per-frame state records start again.
  SignalSoftwareInitStates();
  StateRecordsReset();
  FwStateRecordReset();
  GestureInit();
  CustomerFuncInit();
  return 0;
}

uint8_t SoftwareReInit1() {
  if (SoftwareInitCheck() != 0) return 1;
  return SoftwareInitLayout();
}

void SoftwareReInit2() { SoftwareInitModules(); }

void FrameworkBindStartupSource(const FrameworkStartupSource* pstSource) { spstStartup = pstSource; }

namespace {

// Reads the chip type and, for a known chip, the panel line counts.
void ThpAppInitChip() {
  const char* pcText = (spstStartup != nullptr && spstStartup->pfnGetVersionFw != nullptr)
                           ? spstStartup->pfnGetVersionFw()
                           : nullptr;
  if (pcText == nullptr || memchr(pcText, 0, 8) == nullptr) {
    FerxLogPrint("ThpAppInit", FERX_LOG_ERR, "Can't get the chip type!");
    return;
  }
  const uint32_t uiCode = (static_cast<uint32_t>(static_cast<uint8_t>(pcText[0])) << 24) |
                          (static_cast<uint32_t>(static_cast<uint8_t>(pcText[1])) << 16) |
                          (static_cast<uint32_t>(static_cast<uint8_t>(pcText[2])) << 8) |
                          static_cast<uint8_t>(pcText[3]);
  if (uiCode >= ChipCode("7786")) {
    flag_version = 0;
  } else if (uiCode >= ChipCode("7731")) {
    flag_version = 1;
  } else if (uiCode < ChipCode("4415")) {
    FerxLogPrint("ThpAppInit", FERX_LOG_ERR, "chip type error: %s", pcText);
    return;
  }
  if (spstStartup->pfnGetAfeDrvNum != nullptr) gstPannelAlignCfg.ubDrvNum = spstStartup->pfnGetAfeDrvNum();
  if (spstStartup->pfnGetAfeSenNum != nullptr) gstPannelAlignCfg.ubSenNum = spstStartup->pfnGetAfeSenNum();
  gubAgeingFlagNcln = 5;
  gboRlsStudyTmLmtNcln = 0;
}

}  // namespace

uint8_t ThpAppInit(uint8_t ubSkipChipCheck) {
  MutexLock();
  gstCommon.pubTempArena = gpubMemHeap;
  if (ubSkipChipCheck == 0) ThpAppInitChip();
  ThpDataReportInit();

  // A refused blob keeps the last applied configuration; with none ever applied the module
  // would run on a zero configuration, so start-up stops there.
  if (FirmwareConfigInit() != 0 && FirmwareConfigHasApplied() == 0) {
    FerxLogPrint("ThpAppInit", FERX_LOG_ERR, "no valid configuration has been applied, start-up refused");
    MutexUnlock();
    return 2;
  }
  if (SoftwareInit() != 0) {
    MutexUnlock();
    return 3;
  }
  SetPowerOnTimes(5);
  uint8_t aubVersion[4];
  FirmwareConfigVersion(aubVersion);
  FerxLogPrint("PrintConfigDbgInfo", FERX_LOG_ERR, "ferx-ini-%d.%d.%d.%d", aubVersion[0], aubVersion[1], aubVersion[2], aubVersion[3]);
  MutexUnlock();
  return 0;
}

// ---- State-table actions ----------------------------------------------------------------

void CommonStateToFinger() {
  gubIdleAutoWake = 0;
  gubSpiCmdAllow = 1;
  AppExecEnd();
}

void SwitchToPccScan() {
  gubCmdExeLock = 1;
  AppExecEnd();
}

void ExitPccScan() {
  gubCmdExeLock = 0;
  gubIdleAutoWake = 0;
  gubSpiCmdAllow = 1;
  AppExecEnd();
}

void CommonStateToSuspend() {}

void SelfPCCScanReadyProc() {
  if (gubIQbaseReady != 0) gstStateMachine.ullRequest |= kReqPccBaseReady;
}

// ---- Mutual raw-data preparation --------------------------------------------------------

namespace {

// Edge-line adjustment configuration (section 54).
constexpr uint8_t kEdgeAdjEnable = 0x01;
constexpr uint8_t kEdgeAdjRowList = 0x02;
constexpr uint32_t kEdgeAdjFirstRow = 1;
constexpr uint32_t kEdgeAdjLastRow = 2;
constexpr uint32_t kEdgeAdjFirstSense = 3;
constexpr uint32_t kEdgeAdjLastSense = 4;
constexpr uint32_t kEdgeAdjRowsAt = 5;  // four drive rows whose first-sense factor is byte 9
constexpr uint32_t kEdgeAdjRowsNum = 4;
constexpr uint32_t kEdgeAdjListedFactor = 9;

uint16_t Scale64(uint16_t uwValue, uint8_t ubFactor) {
  const uint32_t uiScaled = (static_cast<uint32_t>(uwValue) * ubFactor) >> 6;
  return static_cast<uint16_t>(uiScaled > 0xFFFFu ? 0xFFFFu : uiScaled);
}

bool RowListed(const uint8_t* pubCfg, uint32_t uiRow) {
  for (uint32_t i = 0; i < kEdgeAdjRowsNum; ++i) {
    if (pubCfg[kEdgeAdjRowsAt + i] == uiRow) return true;
  }
  return false;
}

void EdgeRawAdjust(uint16_t* puwRaw, uint32_t uiDrv, uint32_t uiSen) {
  const uint8_t* c = gstEdgeRawAdjustCfg.aubData;
  if ((c[0] & kEdgeAdjEnable) == 0 || puwRaw == nullptr || uiDrv == 0 || uiSen == 0) return;
  for (uint32_t d = 0; d < uiDrv; ++d) {
    uint16_t* puwRow = puwRaw + d * uiSen;
    const bool boListed = (c[0] & kEdgeAdjRowList) != 0 && RowListed(c, d);
    puwRow[0] = Scale64(puwRow[0], c[boListed ? kEdgeAdjListedFactor : kEdgeAdjFirstSense]);
    puwRow[uiSen - 1] = Scale64(puwRow[uiSen - 1], c[kEdgeAdjLastSense]);
  }
  uint16_t* puwLast = puwRaw + (uiDrv - 1) * uiSen;
  for (uint32_t s = 0; s < uiSen; ++s) {
    puwRaw[s] = Scale64(puwRaw[s], c[kEdgeAdjFirstRow]);
    puwLast[s] = Scale64(puwLast[s], c[kEdgeAdjLastRow]);
  }
}

}  // namespace

void MutualDataReadyProc() {
  uint16_t* puwRaw = gstCommon.stData.puwRawData;
  EdgeRawAdjust(puwRaw, gstCommon.ubDrvNum, gstCommon.ubSenNum);
  MutualRawDataScale();
  MutualRawDataNormalize(0);
  if ((gstChannelDisCfg.aubData[0] & 0x01u) != 0 && gstCommon.ubDisconnectState != 0 && puwRaw != nullptr) {
    DataDisconnect(puwRaw);
  }
  gstCommon.uwDataReadyCnt = static_cast<uint16_t>(gstCommon.uwDataReadyCnt + 1);
}

void MutualDataSyncProc() { MutualDataReadyProc(); }

void SelfDataReadyProc() { SelfRawDataScale(); }

void FrameworkRawDataPrep(uint8_t ubKind) {
  if (ubKind == kFwStateFinger || ubKind == kFwStateGameOnly) NoiseRawdataProc();
  if (ubKind >= kFwStateFreqScan && ubKind <= kFwStateGameOnly && gboDataIsNormalized == 0) MutualDataReadyProc();
}

// ---- Helpers for tools ------------------------------------------------------------------

void RefUpdate() {
  const uint16_t uwNodes = gstCommon.uwNodeNum;
  uint16_t* puwRef = gstCommon.stData.puwRefData;
  const uint16_t* puwRaw = gstCommon.stData.puwRawData;
  if (uwNodes != 0 && puwRef != nullptr && puwRaw != nullptr) memcpy(puwRef, puwRaw, uwNodes * sizeof(uint16_t));
}

namespace {
struct DataAvgStats {
  uint32_t uiSum;
  uint16_t uwMin;
  uint16_t uwMax;
  const uint16_t* puwMinAt;
  const uint16_t* puwMaxAt;
} sstAvg;
}  // namespace

uint16_t GetDataAvg(const uint16_t* puwData, uint16_t uwNum) {
  sstAvg = {0, 65535, 0, nullptr, nullptr};
  if (uwNum == 0 || puwData == nullptr) return 0;
  for (uint16_t i = 0; i < uwNum; ++i) {
    sstAvg.uiSum += puwData[i];
    if (puwData[i] < sstAvg.uwMin) {
      sstAvg.uwMin = puwData[i];
      sstAvg.puwMinAt = &puwData[i];
    }
    if (puwData[i] > sstAvg.uwMax || sstAvg.puwMaxAt == nullptr) {
      sstAvg.uwMax = puwData[i];
      sstAvg.puwMaxAt = &puwData[i];
    }
  }
  return static_cast<uint16_t>(sstAvg.uiSum / uwNum);
}

void ArrayMultiplyBase1024(uint16_t* puwData, uint32_t* puiWork, uint16_t uwFactor, uint16_t uwNum) {
  if (puwData == nullptr || puiWork == nullptr) return;
  for (uint16_t i = 0; i < uwNum; ++i) {
    puiWork[i] = (static_cast<uint32_t>(puwData[i]) * uwFactor) >> 10;
    puwData[i] = static_cast<uint16_t>(puiWork[i] > 65535u ? 65535u : puiWork[i]);
  }
}
