// Controller state machine: tables, transition actions, idle delay and idle pre-judgement.
#include "tsa_state.h"

#include <cstdlib>
#include <cstring>

#include "coord_records.h"
#include "region.h"
#include "region_records.h"
#include "tsa_common.h"
#include "tsa_config.h"
#include "tsa_ctrl.h"
#include "tsa_frame_links.h"
#include "tsa_os.h"

IdleProcRec gstIdleProc;
CrossRegRec gstCrossReg;
uint8_t gubIdleDelayFlag;
uint8_t gubLowDelayFlag;
uint8_t gubCmdExeLock;
uint8_t gboPrdSleepContinue;
uint8_t gubSyncCurFrameInvalid;
uint8_t gboCrsbCtlBatchEn;
uint8_t gubAbnoramlCrossRef;
uint8_t gubCrossRefUpdateFlag;
// 1 while the screen is on; the screen-on reference copy counts only then.
uint8_t gubScreenSta;

namespace {

// ---- Tables -----------------------------------------------------------------------------

struct StateColumns {
  uint32_t uiSampleMode;
  uint32_t uiApp;
  uint32_t uiAltApp;
};

constexpr StateColumns kStateColumns[kStateNum] = {
    {0, 0, 0}, {1, 5, 5}, {2, 6, 6}, {3, 10, 10}, {4, 1, 2}, {4, 1, 2}, {6, 7, 7},
    {5, 1, 2}, {6, 7, 7}, {6, 7, 7}, {6, 3, 3},   {6, 7, 7}, {0, 0, 0}, {0, 0, 0},
};

// Byte positions inside a state table entry's spare columns (entry byte 3 onward).
constexpr uint32_t kColZero = 0;
constexpr uint32_t kColSampleMode = 1;
constexpr uint32_t kColApp = 5;
constexpr uint32_t kColAltApp = 9;

uint32_t ColumnU32(uint32_t uiRow, uint32_t uiCol) {
  if (uiRow >= kStateNum) return 0;
  uint32_t uiValue;
  memcpy(&uiValue, &gpstStateTable[uiRow].aubStateMachine[uiCol], sizeof(uiValue));
  return uiValue;
}

struct StateTableLoader {
  StateTableLoader() { StateTableFill(); }
} sstStateTableLoader;

// ---- Clock ------------------------------------------------------------------------------

uint64_t GetTimeOfDayUs() { return FerxGetTimeUsStamp(); }

TsaClockFn spfnClock = GetTimeOfDayUs;

// ---- Helpers ----------------------------------------------------------------------------

uint8_t* TimeCtrlExBytes() { return reinterpret_cast<uint8_t*>(&gstTimeCtrlEx); }

constexpr uint32_t kTcxIdleDelay = 3;
constexpr uint32_t kTcxDozeHold = 4;
constexpr uint32_t kTcxWord15 = 15;
constexpr uint32_t kTcxByte18 = 18;
constexpr uint32_t kTcxIdleSyncOn = 21;      // running copy of configuration byte 2
constexpr uint8_t kTimeCfgDozeBit = 0x04;
constexpr uint64_t kOneSecondUs = 1000000u;
constexpr uint16_t kIdleTimeNever = 65535;
constexpr uint16_t kPowerOnWindowFrames = 499;
constexpr uint8_t kNormCheckStateDoze = 5;
constexpr uint8_t kScreenOnRefFrames = 12;

// Cross comparison of the idle pre-judgement.
constexpr uint32_t kTcxCrossRenewHold = 2;    // set from the configured hold at byte 27
constexpr uint32_t kTcxCrossRenewHoldCfg = 27;
constexpr uint32_t kTcxIdleMarkHold = 17;     // 1 with bit 3 of byte 19: no idle-entry mark
constexpr uint32_t kTcxIdleMarkCfg = 19;
constexpr uint8_t kTcxIdleMarkCfgBit = 0x08;
constexpr int32_t kCrossEdgeRaiseMul = 26215;  // the edge channels read a tenth low
constexpr int32_t kCrossEdgeRaiseDiv = 262144;
constexpr int32_t kCrossDriftMagnitude = 81;
constexpr uint32_t kCrossDriftNodes = 11;
constexpr uint32_t kSelfCapThresholdAt = 19;
constexpr int32_t kSelfCapThresholdScale = 15;
constexpr int32_t kSelfCapThresholdDefault = 1500;
constexpr uint32_t kFpLineTouchMin = 2;

void ApplyPeriods(const TimeCtrlCfg& t) {
  gpubSleepMode[3] = 1;
  gpubSleepMode[11] = 1;
  gpuwPeriod[2] = t.uwPeriodState2;
  gpubSleepMode[2] = t.ubSleepModeState2;
  gpuwPeriod[8] = t.uwPeriodState89;
  gpuwPeriod[9] = t.uwPeriodState89;
  gpubSleepMode[8] = t.ubSleepModeState89;
  gpubSleepMode[9] = t.ubSleepModeState89;
  gpuwPeriod[3] = t.uwPeriodState3;
  gpuwPeriod[11] = t.uwPeriodState11;
}

bool SmallOffsetRange() {
  const int32_t siThird = gstCommon.uwMaskThreshold / 3;
  return gstMutualOfsCancel.swMax < siThird && gstMutualOfsCancel.swMin > -siThird;
}

uint32_t CrossNodes() {
  return static_cast<uint32_t>(gstCrsbCfg.ubCrossNum) * gstIdleProc.ubSenNum;
}

// Step 1 of the idle pre-judgement: renew the cross reference from the raw data.
void IdleRefStep(uint8_t ubStep) {
  const IdleProcRec& ip = gstIdleProc;
  const uint32_t uiNodes = CrossNodes();
  if (ip.puwCrossRaw == nullptr || ip.puwCrossRef == nullptr || uiNodes == 0) return;
  if (ubStep == 1 || ubStep == 3) {
    memcpy(ip.puwCrossRef, ip.puwCrossRaw, uiNodes * sizeof(uint16_t));
    if ((gstCommon.ubIdleOption & 0x08u) != 0 && gstCommon.swDiffMax >= static_cast<int32_t>(gstCommon.uwMaskThreshold)) {
      gubAbnoramlCrossRef = 1;
    }
  } else if (ubStep == 2) {
    const uint32_t uiSen = ip.ubSenNum;
    uint32_t uiQuietRows = 0;
    for (uint32_t r = 0; r < gstCrsbCfg.ubCrossNum; ++r) {
      const uint16_t* puwRaw = ip.puwCrossRaw + r * uiSen;
      const uint16_t* puwRef = ip.puwCrossRef + r * uiSen;
      int32_t siLargest = 0;
      for (uint32_t c = 0; c + 2 < uiSen; ++c) {
        const int32_t siA = static_cast<int32_t>(puwRaw[c]) - puwRef[c];
        const int32_t siB = static_cast<int32_t>(puwRaw[c + 2]) - puwRef[c + 2];
        const int32_t siAbs = std::abs(siB - siA);
        if (siAbs > siLargest) siLargest = siAbs;
      }
      if (siLargest < 25) ++uiQuietRows;
    }
    if (uiQuietRows != 0) memcpy(ip.puwCrossRef, ip.puwCrossRaw, uiNodes * sizeof(uint16_t));
  }
  if (ip.puwCrossBak != nullptr) memcpy(ip.puwCrossBak, ip.puwCrossRaw, uiNodes * sizeof(uint16_t));
}

// The self diff of the fingerprint lines [common byte 712, byte 713), clipped to the self
// vector; null when there is none.
const int16_t* FpLines(uint32_t* puiStart, uint32_t* puiEnd) {
  *puiStart = gstCommon.aubFpRect[2];
  *puiEnd = gstCommon.aubFpRect[3];
  const uint32_t uiSelfNum = static_cast<uint32_t>(gstCommon.ubDrvNum) + gstCommon.ubSenNum;
  if (*puiEnd > uiSelfNum) *puiEnd = uiSelfNum;
  return gstCommon.stData.pswSelfDiffData;
}

// Step 3 of the idle pre-judgement: each cross row against its reference. A row with a
// touch-like peak whose difference reaches past the drive-related count means a finger
// came while idle; a row with no peak that has drifted as a whole (many large
// differences, or a sum past the self-capacitance threshold) needs its reference renewed.
void IdleCrossCompare() {
  IdleProcRec& ip = gstIdleProc;
  const uint32_t uiSen = ip.ubSenNum;
  if (ip.puwCrossRaw == nullptr || ip.puwCrossRef == nullptr || uiSen == 0) return;
  const uint16_t uwPeakThreshold = gstTouchPannelCfg.uwValue18;
  const int32_t siSelfCfg = gstSelfCapProcCfg.aubData[kSelfCapThresholdAt];
  const int32_t siSelfThreshold = siSelfCfg != 0 ? siSelfCfg * kSelfCapThresholdScale : kSelfCapThresholdDefault;
  uint8_t* pubEx = TimeCtrlExBytes();
  int16_t aswRow[UINT8_MAX];
  bool boRenew = false;
  bool boTouch = false;
  for (uint32_t r = 0; r < gstCrsbCfg.ubCrossNum; ++r) {
    const uint16_t* puwRaw = ip.puwCrossRaw + r * uiSen;
    const uint16_t* puwRef = ip.puwCrossRef + r * uiSen;
    for (uint32_t c = 0; c < uiSen; ++c) {
      int32_t v = static_cast<int32_t>(puwRaw[c]) - puwRef[c];
      if (c == 0 || c + 1 == uiSen) v += v * kCrossEdgeRaiseMul / kCrossEdgeRaiseDiv;
      aswRow[c] = static_cast<int16_t>(v < INT16_MIN ? INT16_MIN : v > INT16_MAX ? INT16_MAX : v);
    }
    uint8_t ubSpan = 0;
    const uint8_t ubPeaks = SelfRegionSearch(aswRow, static_cast<uint8_t>(uiSen), uwPeakThreshold, &ubSpan);
    int32_t siSum = 0;
    int32_t siMax = INT16_MIN;
    uint32_t uiDrift = 0;
    for (uint32_t c = 0; c < uiSen; ++c) {
      const int32_t v = aswRow[c];
      siSum += v;
      if (v > siMax) siMax = v;
      if (std::abs(v) >= kCrossDriftMagnitude) ++uiDrift;
    }
    if (ubPeaks != 0) {
      if (siMax > static_cast<int32_t>(ip.uwDrvRelated)) boTouch = true;
    } else if (uiDrift >= kCrossDriftNodes || std::abs(siSum) >= siSelfThreshold) {
      boRenew = true;
    }
  }
  if (boRenew) {
    gubCrossRefUpdateFlag = 1;
    pubEx[kTcxCrossRenewHold] = pubEx[kTcxCrossRenewHoldCfg];
  }
  if (boTouch) {
    gstCommon.ubTouchPresent = 1;
    gstStateMachine.ullRequest |= kReqIdleRef;
    const bool boNoMark = pubEx[kTcxIdleMarkHold] == 1 && (pubEx[kTcxIdleMarkCfg] & kTcxIdleMarkCfgBit) != 0;
    if (!boNoMark) ip.ubIdleEntryMark = 1;
  }

  // A touch on the fingerprint lines ends a pending gesture wake.
  uint32_t uiStart = 0;
  uint32_t uiEnd = 0;
  const int16_t* pswSelf = FpLines(&uiStart, &uiEnd);
  if (pswSelf == nullptr) return;
  uint32_t uiOver = 0;
  for (uint32_t i = uiStart; i < uiEnd; ++i) {
    if (pswSelf[i] > static_cast<int32_t>(uwPeakThreshold)) ++uiOver;
  }
  if (uiOver >= kFpLineTouchMin) gstGesture.ubByte324 = 0;
}

}  // namespace

// ---- Tables -----------------------------------------------------------------------------

uint32_t StateTableSampleMode(uint32_t uiRow) { return ColumnU32(uiRow, kColSampleMode); }
uint32_t StateTableApp(uint32_t uiRow) { return ColumnU32(uiRow, kColApp); }
uint32_t StateTableAltApp(uint32_t uiRow) { return ColumnU32(uiRow, kColAltApp); }

void StateTableFill() {
  for (uint32_t r = 0; r < kStateNum; ++r) {
    uint8_t* pubCol = gpstStateTable[r].aubStateMachine;
    pubCol[kColZero] = 0;
    memcpy(pubCol + kColSampleMode, &kStateColumns[r].uiSampleMode, sizeof(uint32_t));
    memcpy(pubCol + kColApp, &kStateColumns[r].uiApp, sizeof(uint32_t));
    memcpy(pubCol + kColAltApp, &kStateColumns[r].uiAltApp, sizeof(uint32_t));
  }
}

const StateTransfer gpstStateTransferTable[kStateTransferRows] = {
    {12, 1, 13, 0, CommonStateToFinger}, {2, 5, 9, 0, ActiveToIdleAction},
    {9, 6, 2, 0, IdleToActiveAction},    {9, 8, 2, 0, IdleToUpdateRef},
    {3, 5, 8, 0, ActiveToIdleAction},    {8, 6, 3, 0, IdleToActiveAction},
    {8, 8, 3, 0, IdleToUpdateRef},       {11, 6, 3, 0, IdleToActiveAction},
    {11, 8, 3, 0, IdleToUpdateRef},      {11, 21, 8, 0, ActiveToIdleAction},
    {12, 17, 11, 0, ActiveToIdleAction}, {12, 15, 3, 0, IdleToActiveAction},
    {12, 16, 2, 0, IdleToActiveAction},  {10, 2, 2, 0, IdleToActiveAction},
    {10, 8, 2, 0, IdleToUpdateRef},      {12, 9, 2, 0, IdleToActiveAction},
    {12, 10, 2, 0, IdleToActiveAction},  {12, 7, 10, 0, ActiveToIdleAction},
    {5, 12, 2, 0, ExitPccScan},          {12, 11, 5, 0, SwitchToPccScan},
    {4, 30, 13, 0, ExitJitterScan},      {12, 29, 4, 0, SwitchToJitterScan},
    {12, 13, 1, 0, SwitchToFreqScan},    {1, 14, 2, 0, ExitFreqScan},
    {0, 0, 0, 0, nullptr},
};

namespace {
using SyncProc = void (*)();
const SyncProc gppSAMPLE_PCCSyncProc[] = {SelfPCCScanReadyProc};
const SyncProc gppSAMPLE_JITTERSyncProc[] = {JitterTestProc};
const SyncProc gppSAMPLE_FREQSCANSyncProc[] = {MutualDataReadyProc};
const SyncProc gppSAMPLE_FINGERSyncProc[] = {NoiseRawdataProc, MutualDataReadyProc, Test1};
const SyncProc gppSAMPLE_FINGERGAMESyncProc[] = {NoiseRawdataProc, MutualDataReadyProc};
const SyncProc gppSAMPLE_IDLESyncProc[] = {IdlePreJudge};
}  // namespace

const SyncProc gppSAMPLE_NULLSyncProc[1] = {nullptr};

const SampleDataPrep gpstSampleDataPrep[kSampleModeRows] = {
    {0, gppSAMPLE_NULLSyncProc},
    {1, gppSAMPLE_PCCSyncProc},
    {1, gppSAMPLE_JITTERSyncProc},
    {1, gppSAMPLE_FREQSCANSyncProc},
    {3, gppSAMPLE_FINGERSyncProc},
    {2, gppSAMPLE_FINGERGAMESyncProc},
    {1, gppSAMPLE_IDLESyncProc},
    {0, nullptr},
};

// ---- Clock ------------------------------------------------------------------------------

uint64_t TsaNowUs() { return spfnClock(); }
void TsaBindClock(TsaClockFn pfnClock) { spfnClock = pfnClock != nullptr ? pfnClock : GetTimeOfDayUs; }

// ---- Initialisation ---------------------------------------------------------------------

void StateFunctionInit() {
  gubAbnoramlCrossRef = 0;
  gubCrossRefUpdateFlag = 0;
  gstCommon.ubIdleRefStep = 1;
  gstCommon.ubIdleStateByte = 0;
  TimeCtrlExBytes()[kTcxByte18] = 0;
  gstCrossReg.pswSelfDiff = gstCommon.stData.pswSelfDiffData;
  gstCrossReg.ubSenNum = gstCommon.ubSenNum;
  gstCrossReg.uwDrvRelated = static_cast<uint16_t>(gstCommon.swPanelValue3);
}

void StatePeriodInit() {
  uint8_t* pubEx = TimeCtrlExBytes();
  gstTimeCtrlEx.stCfg = gstTimeCtrlCfg;
  memset(pubEx, 0, 8);
  pubEx[kTcxWord15] = 0;
  pubEx[kTcxWord15 + 1] = 0;
  ApplyPeriods(gstTimeCtrlEx.stCfg);
  gstCommon.uwScanPeriod = gstTimeCtrlCfg.uwPeriodState2;
  gubClearNonAbnormalCnt = 0;
}

void SetStatePeriod() { ApplyPeriods(gstTimeCtrlEx.stCfg); }

void IdleProcInitThp() {
  IdleProcRec& ip = gstIdleProc;
  memset(&ip, 0, sizeof(ip));
  ip.ubSenNum = gstCommon.ubSenNum;
  ip.uwDrvRelated = static_cast<uint16_t>(gstCommon.swPanelValue3);
  ip.puwCrossRaw = gstCommon.puwCrossRawData;
  ip.puwCrossRef = gstCommon.puwCrossRef;
  ip.pubWork = gstCommon.pubTempArena;
  ip.puwCrossBak = gstCommon.puwCrossBak;
  ip.ubInitMark = 1;
}

void StateRecordsReset() {
  gubAbnoramlCrossRef = 0;
  gubCrossRefUpdateFlag = 0;
  gboCrsbCtlBatchEn = 0;
  gubIdleDelayFlag = 0;
  gubLowDelayFlag = 0;
  gstIdleProc.ubIdleRefRequest = 0;
  gstIdleProc.ubScreenOnFrames = 0;
  gstIdleProc.ubIdleEntryMark = 0;
}

void InitIdleVariable() {
  gubHaveSendRstIdleBaseLine = 0;
  guiiNoTouchRecordTime = 0;
  gullProcTimeStamp = 0;
  gboCheckDozeFlag = 0;
}

// ---- Transition actions -----------------------------------------------------------------

void ActiveToIdleAction() {
  gstApp.ubFlags |= kAppFlagStop;
  if (gstIdleProc.ubIdleRefRequest == 1) return;
  gstCommon.ubIdleFlag = 1;
  gstCommon.ubActiveToIdleByte = 0;
  gubClearNonAbnormalCnt = 0;
  const bool boSmall = SmallOffsetRange();
  uint8_t& ubStep = gstCommon.ubIdleRefStep;
  if (gstIdleProc.ubIdleEntryMark != 0) {
    gstIdleProc.ubIdleEntryMark = 0;
    if (ubStep != 0) gboCrsbCtlBatchEn = 0;
  } else if (ubStep == 2 || ubStep == 3) {
    if (boSmall) {
      gboCrsbCtlBatchEn = 0;
    } else {
      ubStep = 0;
    }
  } else if (ubStep == 0) {
    if (boSmall) {
      if (gstCommon.ubNoTouchCnt >= 3) {
        ubStep = 3;
        gstCommon.ubNoTouchCnt = 0;
      } else {
        ubStep = 2;
      }
      gboCrsbCtlBatchEn = 0;
    }
  } else {
    gboCrsbCtlBatchEn = 0;
  }
  gstCrossReg.ubBatchActive = 0;
}

void IdleToActiveAction() {
  gstCommon.ubIdleFlag = 0;
  gstApp.ubFlags |= kAppFlagStop;
}

void IdleToUpdateRef() {
  gstCommon.ubIdleAutoWake = 1;
  gstCommon.ubIdleFlag = 0;
  gstApp.ubFlags |= kAppFlagStop;
}

void SwitchToFreqScan() { gstApp.ubFlags |= kAppFlagStop; }
void ExitFreqScan() { gstApp.ubFlags |= kAppFlagStop; }

void SwitchToJitterScan() {
  gubCmdExeLock = 1;
  gstApp.ubFlags |= kAppFlagStop;
}

void ExitJitterScan() {
  gubCmdExeLock = 0;
  gstStateMachine.ullRequest |= kReqJitterExit;
  gstApp.ubFlags |= kAppFlagStop;
}

void SetEventToIdle() {
  gstStateMachine.ullRequest |= kReqToIdle;
  gboPrdSleepContinue = 1;
  gstApp.ubFlags |= kAppFlagStop;
}

void ClrIdleDelay() { TimeCtrlExBytes()[kTcxIdleDelay] = 0; }
void AppSyncInitial() { gubSyncCurFrameInvalid = 0; }
void SyncProcess() {}
void SyncCurFrameInvalidProc() {}
void SetActiveState() {}
void DeterminDozeOrGreenThp() {}

// ---- Small checks -----------------------------------------------------------------------

void DeterminUpdateMutualRef() {
  if (gubScreenSta != 1 || gstIdleProc.ubScreenOnFrames == 255) return;
  ++gstIdleProc.ubScreenOnFrames;
  if (gstIdleProc.ubScreenOnFrames != kScreenOnRefFrames) return;
  uint16_t* puwRef = gstCommon.stData.puwRefData;
  const uint16_t* puwRaw = gstCommon.stData.puwRawData;
  const uint32_t uiNodes = gstCommon.uwNodeNum <= kFerrantMaxNodes ? gstCommon.uwNodeNum : kFerrantMaxNodes;
  if (puwRef != nullptr && puwRaw != nullptr) memcpy(puwRef, puwRaw, uiNodes * sizeof(uint16_t));
}

uint8_t IsMutualDiffSmall() { return SmallOffsetRange() ? 1 : 0; }

uint8_t FPCheck() {
  uint32_t uiStart = 0;
  uint32_t uiEnd = 0;
  const int16_t* pswSelf = FpLines(&uiStart, &uiEnd);
  if (pswSelf == nullptr || uiStart >= uiEnd) return 0;
  const int32_t siThreshold = gstTouchPannelCfg.uwValue18;
  uint32_t uiCount = 0;
  for (uint32_t i = uiStart; i < uiEnd; ++i) {
    if (std::abs(static_cast<int32_t>(pswSelf[i])) > siThreshold) ++uiCount;
  }
  return uiCount > 1 ? 1 : 0;
}

// ---- Idle delay -------------------------------------------------------------------------

void IdleDelayCheck(uint32_t /*uiState*/, uint16_t uwFrameIndex) {
  if (gstCommon.ubLowTempOutput != 0 || gstCommon.ubRefOutput != 0) gubIdleDelayFlag = 1;
  const bool boPowerOnDone = uwFrameIndex > kPowerOnWindowFrames || gubPowerOnFlag == 0;
  if (boPowerOnDone) gubPowerOnFlag = 0;
  if (gstCommon.ubNormalizeCheckEn == 0 || gstNormalize.aubData[kNormCheckState] != kNormCheckStateDoze) return;

  const int32_t siThreshold = gstCommon.swTouchThreshold;
  const bool boNoTouch = gstCommon.ubTouchPresent == 0 && gstCommon.swDiffMax < siThreshold &&
                         gstCommon.swDiffMin > -siThreshold && TimeCtrlExBytes()[kTcxDozeHold] == 0 &&
                         boPowerOnDone && (gstTimeCtrlCfg.ubRes0 & kTimeCfgDozeBit) != 0;
  if (!boNoTouch) {
    gstCommon.ubTouchPresent = 0;
    gboCheckDozeFlag = 0;
    gubHaveSendRstIdleBaseLine = 0;
    guiiNoTouchRecordTime = 0;
    gullProcTimeStamp = 0;
    return;
  }
  if (gstCommon.ubIdleAutoWake == 0) gboCheckDozeFlag = 1;
  const uint64_t ullNow = TsaNowUs();
  uint64_t ullStart = guiiNoTouchRecordTime;
  if (ullStart == 0 || ullStart > ullNow) {
    ullStart = ullNow;
    guiiNoTouchRecordTime = ullNow;
  }
  if (guwCmdActiveToIdleTime == kIdleTimeNever) return;
  if (gubLowDelayFlag == 1) {
    if (ullNow - ullStart < kOneSecondUs) return;
    guiiNoTouchRecordTime = ullNow;
    ullStart = ullNow;
    gubLowDelayFlag = 0;
  }
  if (gubIdleDelayFlag == 1 && ullNow - ullStart >= kOneSecondUs) gubIdleDelayFlag = 0;
}

// ---- Idle pre-judgement -----------------------------------------------------------------

void IdlePreJudge() {
  uint8_t* pubEx = TimeCtrlExBytes();
  if (pubEx[kTcxIdleSyncOn] != 1) return;
  gstCommon.ubIdleStateByte = 0;
  gstCrossReg.ubIdleJudge = 0;
  const uint8_t ubStep = gstCommon.ubIdleRefStep;
  if (ubStep != 0) {
    gstCommon.ubIdleRefStep = 0;
    IdleRefStep(ubStep);
    if (gstIdleProc.ubIdleRefRequest == 1) {
      gstIdleProc.ubIdleRefRequest = 0;
      gstStateMachine.ullRequest |= kReqIdleRef;
    }
    gboCrsbCtlBatchEn = gstCrsbCfg.ubBatchEn;
    return;
  }
  if (gstCrossReg.ubBatchActive != 0 && gstCommon.ubCrossBatch != 0) {
    gstCommon.ubTouchPresent = 1;
    return;
  }
  IdleCrossCompare();
}
