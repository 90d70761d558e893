// The reference module: per-frame mutual reference update (its request codes, delays and
// rebuild), the power-on build, and the self (Tx/Rx) reference update.
#include "ref_update.h"

#include <cstring>

#include "signal_proc.h"
#include "signal_util.h"
#include "tsa_common.h"
#include "framework.h"
#include "tsa_report.h"

RefUpdateModuleRec gstRefUpdateModule;
RefdataOutputRec gstRefdataOutput;
RefUpdateSelfRec gstRefUpdateSelf;
RefUpdateSelfRec* gpstRefUpdateTRx;
RefUpdateArgs* gpstRefUpdateArgs;
uint8_t gubRefUpdateBook[2];
uint8_t gboSelfForceRefUpdate;
uint8_t gboStylusTouch;
uint8_t gubCnt;
uint8_t gubIsFWakeLeaveCnt;
uint8_t gubRefBarrayIndex;
uint8_t gboSRefOffUpFlag;
uint8_t gboSRefEnviUpdateFlag;
uint8_t gboNeedConsisUpdate;
uint8_t gubTxResNumSmall;

uint8_t gboLowTmpStaExit;
uint8_t gubConsistenceRefUp;
uint8_t gubHopWaitHandUpCnt;
uint8_t gboIsGloRefExist;
uint8_t gboIsMove;
RefResidualRec gstRefResidual;
RefHopArgsRec gstRefHopArgs;
AgeingArgsRec gstAgeingArgsNcln;

namespace {

constexpr uint8_t kEnvCountdownInit = 150;
constexpr uint8_t kPowerOnFrames = 9;
constexpr uint16_t kBigSignalLimit = 2000;

}  // namespace

uint16_t RefUpdateInit(uint16_t uwBand) {
  RefUpdateModuleRec& m = gstRefUpdateModule;
  memset(&m, 0, sizeof(m));
  m.ubEnvCountdown = kEnvCountdownInit;
  m.ubInitLevel = kEnvCountdownInit;
  m.ubEnvLevel = kEnvCountdownInit;
  m.uwEnvBand = uwBand > 50 ? uwBand : 50;
  m.ubOne = 1;
  RefResetLineEntries();
  memset(&gstRefConsistance, 0, sizeof(gstRefConsistance));
  memset(&gstRefResidual, 0, sizeof(gstRefResidual));
  gstRefResidual.uwBigLimit = kBigSignalLimit;
  memset(&gstRefHopArgs, 0, sizeof(gstRefHopArgs));
  gstRefHopArgs.ubCountAtMark = 255;
  gstRefHopArgs.uiSumAtMark = 0x7FFFFFFF;
  // The learnt edge levels outlive a re-initialisation; a record without its marker was
  // never learnt (or was overwritten) and starts from nothing.
  if (gstAgeingArgsNcln.uiMarker != kNclnMarker) memset(&gstAgeingArgsNcln, 0, sizeof(gstAgeingArgsNcln));
  gstAgeingArgsNcln.uiMarker = kNclnMarker;
  gubNeedJudgeEdgeGrib = 0;
  gboSRefOffUpFlag = 0;
  gboSRefEnviUpdateFlag = 0;
  gboLowTmpStaExit = 0;
  gboNeedConsisUpdate = 0;
  gubConsistenceRefUp = 0;
  gubHopWaitHandUpCnt = 0;
  gboIsGloRefExist = 0;
  gubTxResNumSmall = 0;
  gubIsFWakeLeaveCnt = 0;
  memset(gubRefUpdateBook, 0, sizeof(gubRefUpdateBook));
  return uwBand;
}

uint8_t GetMutualRefUpdateCnt() { return gubRefUpdateBook[0]; }
uint8_t GetMutualRefUpdateType() { return gubRefUpdateBook[1]; }

uint8_t GetPanelPowerOnRefEntrance(RefUpdateArgs* a) {
  RefUpdateModuleRec& m = gstRefUpdateModule;
  a->ubBuilt = 0;
  gpstRefUpdateArgs = a;
  if (a->uwRefValid != 0) return 1;
  m.ubPowerOnCnt = static_cast<uint8_t>(m.ubPowerOnCnt + 1);
  if (m.ubPowerOnCnt < kPowerOnFrames) return 0;
  gstCommon.ubPowerOnRefReady = 1;
  if (*a->puiWakeCheck != kFpWakeArmed) {
    memcpy(a->puwRef, a->puwRaw, a->uwNodeNum * sizeof(uint16_t));
    if (a->puwSelfRef != nullptr && a->puwSelfRaw != nullptr)
      memcpy(a->puwSelfRef, a->puwSelfRaw, a->uwSelfLen * sizeof(uint16_t));
  }
  // The clean reference follows the reference in place, restored or new: the first clean
  // reference is the reference itself, refined by the clean-up when the LCD denoise is
  // configured.
  if (a->puwCleanRef != nullptr) memcpy(a->puwCleanRef, a->puwRef, a->uwNodeNum * sizeof(uint16_t));
  RefCleanUp();
  memset(a->pswDiff, 0, a->uwNodeNum * sizeof(int16_t));
  if (a->pswSelfDiff != nullptr) memset(a->pswSelfDiff, 0, a->uwSelfLen * sizeof(int16_t));
  // The consistency record starts from the new reference: second-neighbour roughness of the
  // reference, neighbour roughness of the clean reference.
  RefConsistanceRec& rc = gstRefConsistance;
  const uint32_t uiRef = CalcCurConsistencyDrv(a->puwRef, 0, a->ubRows, kConsistSecondNeighbour);
  rc.uiRawDrvConsist = uiRef;
  rc.uiRefDrvConsist = uiRef;
  rc.auiAverages[0] = uiRef;
  rc.uiMinimum = uiRef;
  const uint16_t* puwClean = a->puwCleanRef != nullptr ? a->puwCleanRef : a->puwRef;
  const uint32_t uiClean = CalcCurConsistencyDrv(puwClean, 0, a->ubRows, kConsistNeighbour);
  rc.uiAlignDrvConsist = uiClean;
  rc.uiCleanDrvConsist = uiClean;
  rc.auiAverages[1] = uiClean;
  rc.uwScreenConsist = static_cast<uint16_t>(rc.swLargestDiff);
  memset(rc.auiSums, 0, sizeof(rc.auiSums));
  rc.ubChangeCnt = 0;
  RefConsistencyEvaluate(0);
  a->ubBuilt = 1;
  a->uwScreenConsistOut = rc.uwScreenConsist;
  a->uiWholeAtRebuildOut = rc.uiWholeAtRebuild;
  a->uiRefDrvConsistOut = rc.uiRefDrvConsist;
  return 1;
}

void SetPowerOnTimes(uint8_t ubTimes) { gstRefUpdateModule.ubPowerOnCnt = ubTimes; }

void RebuildPowerOnRef(uint8_t ubTimes) {
  gstRefUpdateModule.ubPowerOnCnt = ubTimes > kPowerOnFrames ? 0 : static_cast<uint8_t>(kPowerOnFrames - ubTimes);
}

uint8_t DelayToUpdateRef(uint8_t ubFrames) {
  // The code field is 8 bits: a delay beyond its range would wrap into a rebuild code, so
  // it saturates at the longest delay the field can count.
  gstRefUpdateModule.ubReqCode = ubFrames > 0xFFu - kRefCodeDelayed ? 0xFF : static_cast<uint8_t>(ubFrames + kRefCodeDelayed);
  return ubFrames;
}

// ---- Self (Tx/Rx) reference ------------------------------------------------------------

void RefUpdateTRxInit(uint16_t* puwSelfRaw, int16_t* pswSelfDiff, uint16_t* puwSelfRef) {
  RefUpdateSelfRec& s = gstRefUpdateSelf;
  s.ubRequest = 0;
  s.ubCntA = 0;
  s.ubCntB = 0;
  s.puwSelfRaw = puwSelfRaw;
  s.pswSelfDiff = pswSelfDiff;
  s.puwSelfRef = puwSelfRef;
  for (uint32_t i = 0; i < 4; ++i) s.auwThr[i] = sig::U16(gstRefUpdateTRxCfg.aubData, 2 * i);
  s.ubEnable = gstRefUpdateTRxCfg.aubData[16] & 0x01;
  gboSelfForceRefUpdate = 0;
  gubCnt = 0;
  gpstRefUpdateTRx = &s;
}

void SetSelfForceUpdate(uint8_t ubValue) { gboSelfForceRefUpdate = ubValue; }

void RefUpdateTRx(const RefUpdateTRxInput* in) {
  RefUpdateSelfRec& s = gstRefUpdateSelf;
  if (s.ubEnable == 0) return;
  const int32_t minA = in->pswExtremes[0], maxA = in->pswExtremes[1];
  const int32_t minB = in->pswExtremes[2], maxB = in->pswExtremes[3];
  const int32_t mutMax = in->swMutualMax, mutMin = in->swMutualMin;
  const int32_t S = (mutMin < 0 ? -mutMin : mutMin) > mutMax ? (mutMin < 0 ? -mutMin : mutMin) : mutMax;
  const int32_t T = in->swTouchThr;
  const int32_t T1 = s.auwThr[0], T2 = s.auwThr[1], T3 = s.auwThr[2], T4 = s.auwThr[3];
  const uint8_t ubTick = in->ubTick;
  if (in->ubStylus == 0) {
    if (gboSelfForceRefUpdate != 0) {
      gboSelfForceRefUpdate = 0;
      s.ubRequest = 1;
    }
    const bool boQuiet = ((minB < -T2 || minA < -T4) && maxA < T3 && S < T) ||
                         (S < T && (maxB - minB > T1 || maxA - minA > T3)) ||
                         (mutMax - mutMin <= 49 && maxB - minB <= 49 && maxA - minA <= 49);
    if (boQuiet) {
      s.ubCntA = static_cast<uint8_t>(s.ubCntA + ubTick);
      if (s.ubCntA != 0) s.ubRequest = 1;
    } else {
      s.ubCntA = 0;
    }
    if (mutMax >= T) {
      if (maxB < -150 || maxA < -150) {
        const int32_t lo = maxB < maxA ? maxB : maxA;
        s.ubCntB = static_cast<uint8_t>(s.ubCntB + ubTick * ((lo * -5243) >> 19));
      } else if (minB <= 150 && minA <= 150) {
        if (s.ubCntB != 0) s.ubCntB = static_cast<uint8_t>(s.ubCntB - ubTick);
      } else {
        const int32_t hi = minB > minA ? minB : minA;
        s.ubCntB = static_cast<uint8_t>(s.ubCntB + ubTick * ((hi * 5243) >> 19));
      }
      if (s.ubCntB >= 31) s.ubRequest = 1;
    } else {
      s.ubCntB = 0;
    }
  } else if (gboStylusTouch == 0) {
    auto within = [](int32_t v) { return v >= -79 && v <= 79; };
    if (within(minA) && within(maxA) && within(minB) && within(maxB)) {
      s.ubRequest = 1;
    } else if (maxB >= 121 && maxA >= 121 && gubCnt >= 2) {
      gboStylusTouch = 1;
    }
    gubCnt = (maxA <= 120 && maxB <= 120) ? 0 : sig::Inc8(gubCnt);
    if (gubCnt < 2 && in->pswSelfDiff != nullptr) memset(in->pswSelfDiff, 0, in->ubSelfLen * sizeof(int16_t));
  }
  if (s.ubRequest != 0) {
    if (in->puwSelfRef != nullptr && in->puwFiltSelfRaw != nullptr)
      memcpy(in->puwSelfRef, in->puwFiltSelfRaw, in->ubSelfLen * sizeof(uint16_t));
    if (in->pswSelfDiff != nullptr) memset(in->pswSelfDiff, 0, in->ubSelfLen * sizeof(int16_t));
    s.ubCntA = 0;
    s.ubCntB = 0;
    s.ubRequest = 0;
  }
}
