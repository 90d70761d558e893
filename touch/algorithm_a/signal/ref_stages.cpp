// Raw-data and reference update stages: the power-on gate, line repair, the reference
// stages (through the module wrappers), the wake-area check, the disconnect judgement, the
// idle baseline reset and the diff IIR gate.
#include <cstring>

#include "diff_stages.h"
#include "module_wrappers.h"
#include "framework.h"
#include "customer_hooks.h"
#include "signal_proc.h"
#include "signal_util.h"
#include "mathlib.h"
#include "quick_ref.h"
#include "region.h"
#include "tsa_api.h"
#include "tsa_os.h"
#include "tsa_report.h"
#include "tsa_state.h"

namespace {

constexpr uint8_t kChannelDisRepair = 0x01;
constexpr uint8_t kListEnd = 255;
constexpr uint8_t kRefTypeBChanged = 6;

void RepairLine(uint16_t* puwMap, uint32_t uiRows, uint32_t uiCols, uint32_t uiLine, bool boDrive) {
  const uint32_t uiLines = boDrive ? uiRows : uiCols;
  const uint32_t uiLen = boDrive ? uiCols : uiRows;
  if (uiLine >= uiLines || uiLines < 2) return;
  auto at = [&](uint32_t l, uint32_t k) -> uint16_t& { return boDrive ? puwMap[l * uiCols + k] : puwMap[k * uiCols + l]; };
  for (uint32_t k = 0; k < uiLen; ++k) {
    if (uiLine == 0) {
      at(uiLine, k) = at(1, k);
    } else if (uiLine == uiLines - 1) {
      at(uiLine, k) = at(uiLine - 1, k);
    } else {
      at(uiLine, k) = static_cast<uint16_t>((at(uiLine - 1, k) + at(uiLine + 1, k)) >> 1);
    }
  }
}

}  // namespace

void DataDisconnectMap(uint8_t ubDrv, uint8_t ubSen, uint16_t* puwMap) {
  if (puwMap == nullptr) return;
  const ChannelDisconnectRec& d = gstChannelDisconnect;
  const uint32_t uiDrvCount = d.ubRowCount < sizeof(d.aubRows) ? d.ubRowCount : sizeof(d.aubRows);
  const uint32_t uiSenCount = d.ubColCount < sizeof(d.aubCols) ? d.ubColCount : sizeof(d.aubCols);
  for (uint32_t i = 0; i < uiDrvCount && d.aubRows[i] != kListEnd; ++i) RepairLine(puwMap, ubDrv, ubSen, d.aubRows[i], true);
  for (uint32_t i = 0; i < uiSenCount && d.aubCols[i] != kListEnd; ++i) RepairLine(puwMap, ubDrv, ubSen, d.aubCols[i], false);
}

void DataDisconnect(uint16_t* puwRaw) { DataDisconnectMap(gstCommon.ubDrvNum, gstCommon.ubSenNum, puwRaw); }
void DataDisconnectProc() { DataDisconnect(gstCommon.stData.puwRawData); }

void DisConnectInit() {
  gstChannelDisconnect.ubRowCount = 0;
  gstChannelDisconnect.ubColCount = 0;
  gstChannelDisconnect.ubByte2 = 0;
  memset(gstChannelDisconnect.aubRows, kListEnd, sizeof(gstChannelDisconnect.aubRows));
  memset(gstChannelDisconnect.aubCols, kListEnd, sizeof(gstChannelDisconnect.aubCols));
  const uint8_t ubScale = gstChannelDisCfg.aubData[3];
  gstCommon.uwDisconnectScale = ubScale != 0 ? static_cast<uint16_t>(ubScale * 16u) : 256u;
  memset(gpubDisconInfo, 0, sizeof(gpubDisconInfo));
}

void RefDataCommonInit() {
  memset(&gstRefdataOutput, 0, sizeof(gstRefdataOutput));
  gubConsisChangeAfterFreqHop = 0;
}

// Raw-data side of a re-initialisation: the raw output is the normalisation output, and
// the frequency scan keeps one buffer per frequency of its own.
void RawDataCommonInit() { gstRawdataOutput = &gstNormalizeOutput; }

void RawdataInit() {
  RawDataCommonInit();
  NormalizeInit();
  FreqScanInit();
  RawDataIirInit();
}

void RefdataInit() {
  memset(&gstRefdataOutput, 0, sizeof(gstRefdataOutput));
  gubConsisChangeAfterFreqHop = 0;
  RefUpdateInit(static_cast<uint16_t>(gstCommon.swTouchThreshold));
  gubHopFlag = 0;
  RefUpdateTRxInitWrapper();
  QuickRefUpdateInit();
}

void GetPanelPowerOnRef() {
  if (gstCommon.ubPowerOnRefReady != 0) {
    gstRefdataOutput.ubPowerOnReq = 0;
    return;
  }
  GetPanelPowerOnRefEntranceWrapper();
}

void RefSetUpRawDataProc() {
  if (gstCommon.ubPowerOnRefReady == 0) {
    gstCommon.ubFrameSkipped = 1;
    gstApp.ubFlags |= kAppFlagStop;
    return;
  }
  if (gstRefdataOutput.ubPowerOnReq == 0) return;
  NormalizeStateCheck();
  if ((gstChannelDisCfg.aubData[0] & kChannelDisRepair) != 0 && gstCommon.ubDisconnectCorrect != 0)
    DataDisconnect(gstCommon.stData.puwRawData);
}

void RefUpdateMutual() {
  if (static_cast<int8_t>(gstRefUpdateCfg.aubData[0]) < 0) return;
  const uint8_t ubBIndex = gstNormalize.st.ubFwBIndex;
  if (gubRefBarrayIndex != ubBIndex) gstCommon.ubRefUpdateType = kRefTypeBChanged;
  RefUpdatePanelMutualWrapper();
  if (gstRefdataOutput.ubRefUpdated != 0) {
    gstCommon.ubIdleRefStep = 3;
    gubRefBarrayIndex = ubBIndex;
  }
  const uint32_t uiFlag = gstCommon.ubRefUpdateFlag;
  gstCommon.ubRefUpdateFlag = gstRefdataOutput.uiRefSum > 1000u - 500u * uiFlag ? 1 : 0;
}

void RefUpdateSelf() { RefUpdateTRxWrapper(); }

void JudgeWakeFpArea() {
  if (gstCommon.ubPowerOnRefReady != 0) return;
  const uint32_t uiDrv = gstCommon.ubDrvNum, uiSen = gstCommon.ubSenNum;
  uint16_t* puwRaw = gstCommon.stData.puwRawData;
  uint16_t* puwRef = gstCommon.stData.puwRefData;
  if (uiDrv == 0 || uiSen == 0 || puwRaw == nullptr || puwRef == nullptr) return;
  const uint8_t* pubRect = gstCommon.aubFpRect;  // first drive, last drive, first sense, last sense
  const int32_t iR0 = pubRect[0] >= 2 ? pubRect[0] - 2 : 0;
  const int32_t iR1 = pubRect[1] + 2 < static_cast<int32_t>(uiDrv) ? pubRect[1] + 2 : static_cast<int32_t>(uiDrv) - 1;
  const int32_t iC0 = pubRect[2] >= 2 ? pubRect[2] - 2 : 0;
  const int32_t iC1 = pubRect[3] + 2 < static_cast<int32_t>(uiSen) ? pubRect[3] + 2 : static_cast<int32_t>(uiSen) - 1;
  if (iR0 > iR1) return;
  // The edge test compares each node with the one two columns on; a node without such a
  // partner inside its own row has nothing to compare with and is left out.
  const int32_t iLastS = iC1 < static_cast<int32_t>(uiSen) - 2 ? iC1 : static_cast<int32_t>(uiSen) - 3;
  int32_t iLargest = 0;
  for (int32_t r = iR0; r <= iR1; ++r) {
    const uint16_t* puwRow = puwRaw + static_cast<uint32_t>(r) * uiSen;
    for (int32_t s = iC0; s <= iLastS; ++s) {
      const auto swD = static_cast<int16_t>(static_cast<uint16_t>(puwRow[s] - puwRow[s + 2]));
      const int32_t iAbs = swD < 0 ? -static_cast<int32_t>(swD) : swD;
      if (iAbs > iLargest) iLargest = iAbs;
    }
  }
  if (iLargest <= static_cast<int32_t>(gstCommon.uwSecondThreshold) + 100) return;
  // A copy that was never taken would replace the reference by zeros: keep the one there.
  if (gpuwMutualRefDataBak[0] == 0) return;
  memcpy(puwRef, gpuwMutualRefDataBak, sig::Nodes() * sizeof(uint16_t));
  SetPowerOnTimes(9);
  guiIsFWakeCheckNcln = kFpWakeArmed;
}

// ---- Disconnect judgement --------------------------------------------------------------

uint8_t gpubDisconInfo[kDisconInfoBytes];

const uint16_t* GetRawDataNoNormalize(DisconnectJudgeInput* pstIn) {
  if (pstIn == nullptr) return nullptr;
  // Before a study has finished, a valid B array is taken off first so the judgement sees
  // the panel's own levels.
  if (pstIn->puwRaw != nullptr && pstIn->ubStudyProgress != 1 && pstIn->ubBValid != 0 && pstIn->ubCmdBlock == 0 &&
      pstIn->puwB != nullptr && pstIn->puwArena != nullptr) {
    for (uint32_t i = 0; i < pstIn->uwNodeNum; ++i)
      pstIn->puwArena[i] = static_cast<uint16_t>(pstIn->puwRaw[i] - pstIn->puwB[i]);
    return pstIn->puwArena;
  }
  return pstIn->puwRaw;
}

void DisconnecChannelJudgeProc(DisconnectJudgeInput* pstIn) {
  if (pstIn == nullptr || pstIn->puwRaw == nullptr) return;
  const uint16_t* puwMap = GetRawDataNoNormalize(pstIn);
  DisconnectCheckInput chk{};
  chk.puwMap = puwMap;
  chk.uwCount = pstIn->uwNodeNum;
  chk.uwDropThreshold = pstIn->uwDropThreshold;
  chk.ubRatio = pstIn->ubRatio;
  chk.ubRows = pstIn->ubRows;
  chk.ubCols = pstIn->ubCols;
  DisconnectCheckProc(0, &chk);
  DisconnectCheckProc(1, &chk);
  pstIn->ubEdgeFlags = chk.ubEdgeFlags;
  pstIn->ubFound = chk.ubFound;
  FerxLogPrint("PrintDisconnectInfo", FERX_LOG_INFO, " ================disconnect info(0x)=================== ");
  FerxlogPrintArray("PrintDisconnectInfo", gpubDisconInfo, FERX_ARRAY_U8, kDisconInfoBytes, kDisconInfoBytes, FERX_LOG_INFO);
  FerxLogPrint("PrintDisconnectInfo", FERX_LOG_INFO, " =========================================================== ");
}

void DisconnectChannelJudge() {
  if ((gstChannelDisCfg.aubData[0] & kChannelDisRepair) == 0) return;
  static uint16_t s_auwArena[kFerrantMaxNodes];
  DisconnectJudgeInput in{};
  in.puwRaw = gstCommon.stData.puwRawData;
  in.puwB = gstCommon.puwBArray;
  in.puwArena = s_auwArena;
  in.uwNodeNum = static_cast<uint16_t>(sig::Nodes());
  in.uwDropThreshold = static_cast<uint16_t>(gstChannelDisCfg.aubData[1] * 10u);
  in.ubRatio = gstChannelDisCfg.aubData[2] < 20 ? gstChannelDisCfg.aubData[2] : 20;
  in.ubStudyProgress = gstNormalize.st.ubScanRunning;
  in.ubBValid = gstNormalize.st.ubBValid;
  in.ubCmdBlock = gstNormalize.st.ubCmdBlocked;
  in.ubRows = gstCommon.ubDrvNum;
  in.ubCols = gstCommon.ubSenNum;
  DisconnecChannelJudgeProc(&in);
  // The found flag drives the line repair of the raw-data preparation; the edge flags go
  // to the coordinate side.
  gstCommon.ubDisconnectState = in.ubFound;
  gstCommon.ubDisconnectResult = in.ubEdgeFlags;
}

// ---- Idle baseline reset and the diff IIR gate -------------------------------------------

void ResetIdleBaseLineCmd() {
  gstStateMachine.ullRequest |= 0x20u;
  gstIdleProc.ubIdleRefRequest = 1;
  gstCommon.ubIdleRefStep = 3;
}

namespace {

constexpr uint8_t kFloatSelfCfgIirPos = 18;
constexpr uint8_t kFloatSelfCfgIirBit = 0x04;
constexpr uint16_t kIirImLevel = 8;

}  // namespace

uint8_t gstDiffIirFilter;

void NoiseDiffIIRFIlter() {
  const bool boAllowed = gstCommon.ubFirstFrameAfterHop == 0 &&
                         (gstFloatSelfCfg.aubData[kFloatSelfCfgIirPos] & kFloatSelfCfgIirBit) != 0 &&
                         gstCommon.ubLowTempState != 2;
  if (!boAllowed) gstDiffIirFilter = 0;
  // The floating-self state is the byte the floating pre-judgement mirrors into the common
  // record.
  const bool boFloating = gstCommon.ubFloatingByte != 0;
  const bool boRun = boAllowed && boFloating && (gstCommon.ubGameModeFlag == 0 || gstCommon.uwImCurLevel >= kIirImLevel);
  int16_t* pswDiff = gstCommon.stData.pswDiffData;
  auto* pswPrev = reinterpret_cast<int16_t*>(gstCommon.pubScanBuf);
  const uint32_t N = sig::Nodes();
  if (!boRun || pswDiff == nullptr || pswPrev == nullptr || N == 0) return;
  if (gstDiffIirFilter != 0 && gstCommon.swDiffMax > static_cast<int32_t>(gstCommon.uwThreshold2) + 20) {
    const WeightFilterV1V2Param p{gstCommon.ubDrvNum, gstCommon.ubSenNum, 0, 0x40, 0x40, 0, 7, 7};
    LibXpu2WeightFilterV1V2S16(pswDiff, pswPrev, &p, pswDiff);
  }
  memcpy(pswPrev, pswDiff, N * sizeof(int16_t));
  gstDiffIirFilter = 1;
}

// ---- Temporary buffer sizes -----------------------------------------------------------------

void CrossDiffSetTempSizeInit() {
  if (guwTempBufferSizes < 672) guwTempBufferSizes = 672;
}

void RefDataSetTempSizeInit() {
  if (guwTempBufferSizes / 128 < 91) guwTempBufferSizes = 11648;
}
