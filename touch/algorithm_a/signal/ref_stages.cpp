// Raw-data and reference update stages: the power-on gate, line repair, and the wrappers
// that hand the common record's fields to the reference module.
#include <cstring>

#include "diff_stages.h"
#include "framework.h"
#include "customer_hooks.h"
#include "signal_proc.h"
#include "signal_util.h"
#include "tsa_report.h"

namespace {

RefUpdateArgs gstRefArgs;
uint16_t gauwCleanRef[kFerrantMaxNodes];
constexpr uint8_t kChannelDisRepair = 0x01;
constexpr uint8_t kListEnd = 255;
constexpr uint8_t kRefTypeBChanged = 6;
constexpr uint16_t kBackupEveryFrames = 200;
uint16_t guwRefBackupFrames;

// Fills the argument record of the reference module from the common frame record.
RefUpdateArgs* BuildRefArgs() {
  RefUpdateArgs& a = gstRefArgs;
  a.uwRefValid = gstCommon.ubPowerOnRefReady;
  a.ubRows = gstCommon.ubDrvNum;
  a.ubCols = gstCommon.ubSenNum;
  a.uwSelfLen = static_cast<uint16_t>(gstCommon.ubDrvNum + gstCommon.ubSenNum);
  a.uwNodeNum = static_cast<uint16_t>(sig::Nodes());
  a.swTouchThr = gstCommon.swTouchThreshold;
  a.puwRaw = gstCommon.stData.puwRawData;
  a.puwFiltRaw = gstCommon.puwRawForDiff;
  a.puwSelfRaw = gstCommon.stData.puwSelfRawData;
  a.puwRef = gstCommon.stData.puwRefData;
  a.puwCleanRef = gauwCleanRef;
  a.puwSelfRef = gstCommon.stData.puwSelfRefData;
  a.pswDiff = gstCommon.stData.pswDiffData;
  a.pswSelfDiff = gstCommon.stData.pswSelfDiffData;
  a.ubTouchNum = gstCommon.ubTouchCount;
  a.ubTick = gstCommon.ubTick100ms;
  a.swDiffMax = gstCommon.swDiffMax;
  a.swDiffMin = gstCommon.swDiffMin;
  a.ubHopFlag = gubHopFlag;
  a.puiWakeCheck = &guiIsFWakeCheckNcln;
  return &a;
}

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
}

void RefDataCommonInit() {
  memset(&gstRefdataOutput, 0, sizeof(gstRefdataOutput));
  gubConsisChangeAfterFreqHop = 0;
}

void RefdataInit() {
  memset(&gstRefdataOutput, 0, sizeof(gstRefdataOutput));
  gubConsisChangeAfterFreqHop = 0;
  RefUpdateInit(static_cast<uint16_t>(gstCommon.swTouchThreshold));
  gubHopFlag = 0;
  RefUpdateTRxInit(gstCommon.stData.puwSelfRawData, gstCommon.stData.pswSelfDiffData, gstCommon.stData.puwSelfRefData);
}

void GetPanelPowerOnRef() {
  if (gstCommon.ubPowerOnRefReady != 0) {
    gstRefdataOutput.ubPowerOnReq = 0;
    return;
  }
  RefUpdateArgs* a = BuildRefArgs();
  if (a->puwRef == nullptr || a->puwRaw == nullptr || a->pswDiff == nullptr || a->uwNodeNum == 0) return;
  gstCommon.ubPowerOnRefReady = GetPanelPowerOnRefEntrance(a) != 0 ? 1 : 0;
  // The frame that built the reference asks the raw-data stage to settle the k/b state and
  // repair lines once, before the first difference is taken against it.
  gstRefdataOutput.ubPowerOnReq = a->ubBuilt;
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
  RefUpdateArgs* a = BuildRefArgs();
  // A requested code is taken over by the module and cleared here.
  if (gstCommon.ubRefUpdateType != 0 && gstRefUpdateModule.ubReqCode == 0) gstRefUpdateModule.ubReqCode = gstCommon.ubRefUpdateType;
  gstCommon.ubRefUpdateType = 0;
  RefUpdatePanelMutual(a);
  gstRefdataOutput.ubRefUpdated = a->ubRebuildMarker != 0 ? 1 : 0;
  if (gstRefdataOutput.ubRefUpdated != 0) {
    gstCommon.ubIdleRefStep = 3;
    gubRefBarrayIndex = ubBIndex;
  }
  const uint32_t uiFlag = gstCommon.ubRefUpdateFlag;
  gstCommon.ubRefUpdateFlag = gstRefdataOutput.uiRefSum > 1000u - 500u * uiFlag ? 1 : 0;
  // The kept copy is what a wake restores: refreshed on every rebuild and now and then.
  guwRefBackupFrames = static_cast<uint16_t>(guwRefBackupFrames + 1);
  if ((a->ubRebuildMarker != 0 || guwRefBackupFrames >= kBackupEveryFrames) && a->puwRef != nullptr) {
    memcpy(gpuwMutualRefDataBak, a->puwRef, a->uwNodeNum * sizeof(uint16_t));
    guwRefBackupFrames = 0;
  }
}

void RefUpdateSelf() {
  RefUpdateTRxInput in{};
  const int16_t aswExt[4] = {gstSelfOfsCancel.swColMin, gstSelfOfsCancel.swColMax, gstSelfOfsCancel.swRowMin,
                             gstSelfOfsCancel.swRowMax};
  in.pswExtremes = aswExt;
  in.puwFiltSelfRaw = gstCommon.puwSelfFilterState != nullptr ? gstCommon.puwSelfFilterState : gstCommon.stData.puwSelfRawData;
  const uint32_t uiLen = static_cast<uint32_t>(gstCommon.ubDrvNum) + gstCommon.ubSenNum;
  in.ubSelfLen = static_cast<uint8_t>(uiLen > 255 ? 255 : uiLen);
  in.swMutualMax = gstCommon.swDiffMax;
  in.swMutualMin = gstCommon.swDiffMin;
  in.swTouchThr = gstCommon.swTouchThreshold;
  in.ubTick = gstCommon.ubTick100ms;
  in.ubStylus = 0;
  in.pswSelfDiff = gstCommon.stData.pswSelfDiffData;
  in.puwSelfRef = gstCommon.stData.puwSelfRefData;
  gstRefUpdateSelf.puwSelfRef = in.puwSelfRef;
  RefUpdateTRx(&in);
}

void RefQuickUpdate() {}  // rebuild the reference quickly after abnormal frames

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
  memcpy(puwRef, gpuwMutualRefDataBak, sig::Nodes() * sizeof(uint16_t));
  SetPowerOnTimes(9);
  guiIsFWakeCheckNcln = kFpWakeArmed;
}
