// Customer hook layer: the fixed hooks at which a phone maker may change behaviour (most
// do nothing here), the customer initialisation, the screen-on handler and the three hooks
// that hold real logic: LCD high-noise judgement, NF-mode exit and the channel-disconnect
// evaluation.
#include "customer_hooks.h"

#include <cstring>

#include "core_stages.h"
#include "framework.h"
#include "ref_update.h"
#include "signal_proc.h"
#include "signal_util.h"
#include "tsa_api.h"
#include "tsa_ctrl.h"
#include "tsa_custdbg.h"
#include "tsa_frame.h"
#include "tsa_frame_links.h"
#include "tsa_pack.h"

uint16_t gpuwImFreqList[kImFreqListLen];
uint8_t gemDftState;
ChannelDisconnectRec gstChannelDisconnect;
NfExitRec gstNfExit;
uint8_t gubLowTempPowerOn;
uint8_t boTempConfidence;
uint32_t gpuiTamrelNewPointX[12];
uint32_t gpuiTamrelNewPointY[12];

namespace {

constexpr uint16_t kImDefaultStep = 262;

void JitaiReset() {
  memset(&gstFingerJitai, 0, sizeof(gstFingerJitai));
  for (uint16_t& w : gstFingerJitai.auwPos) w = 0xFFFF;
  gstFingerJitai.ubSlot = 0xFF;
}

}  // namespace

void SampleImFreqSet() {
  const uint8_t ubStepCfg = gstFreqHopCfg.aubData[61];
  const uint16_t uwStep = ubStepCfg != 0 ? ubStepCfg : kImDefaultStep;
  for (uint8_t i = 0; i < 5; ++i) {
    const uint16_t f = sig::HopCfgFreq(i);
    gpuwImFreqList[3 * i] = static_cast<uint16_t>(f - uwStep);
    gpuwImFreqList[3 * i + 1] = f;
    gpuwImFreqList[3 * i + 2] = static_cast<uint16_t>(f + uwStep);
  }
}

void DefaultStateInit() { gemDftState = 2; }

void JitaiModeRecongniseInit() { JitaiReset(); }
void JitaiModeStateClear() { JitaiReset(); }

void CustomerFuncInit() {
  JitaiReset();
  SampleImFreqSet();
  gemDftState = 2;
}

void CustomGlobalVarInit() {
  memset(&gstKBBakSta, 0, sizeof(gstKBBakSta));
  gstCommon.ubChargerFlag = gstChrgResultNcln[0];
  memset(&gstNormCheckInfo, 0, 9);
  memset(gpuiTamrelNewPointX, 0, sizeof(gpuiTamrelNewPointX));
  memset(gpuiTamrelNewPointY, 0, sizeof(gpuiTamrelNewPointY));
  guiIsFWakeCheckNcln = 0;
  gubFpOneClickSta = (gubFpOneClickSta == 1 || gubFpOneClickSta == 2) ? 2 : 0;
}

void CmdScreenOnProc() {
  gubPowerOnFlag = 1;
  gubLowTempPowerOn = gstCommon.ubLowTempPowerOn;
  if (gstCommon.ubTempFlags == 3) boTempConfidence = 1;
  ThpAppInit(1);
  if (boTempConfidence == 1) {
    boTempConfidence = 0;
    gstCommon.ubTempFlags = 3;
  }
  InitWatchData();
  SetPowerOnTimes(5);
  gstCommon.ubPointCount = 0;
}

void LcdHighNoiseJudgeCustom(uint8_t a, uint8_t b, uint8_t c) {
  const uint8_t* cfg = gstLcdHighNoiseCfg.aubData;
  LcdHighNoiseRec& l = gstLcdHighNoise;
  const int16_t s1 = static_cast<int16_t>(gstAdcSatCnt.stMutual.uiValue >> 16);
  const uint16_t s0 = static_cast<uint16_t>(gstAdcSatCnt.stMutual.uiValue & 0xFFFFu);
  const int16_t w7 = static_cast<int16_t>(gstAdcSatCnt.stIm.uiValue & 0xFFFFu);
  const int16_t w8 = static_cast<int16_t>(gstAdcSatCnt.stIm.uiValue >> 16);
  const uint16_t h = l.uwHold;
  const int16_t p = static_cast<int16_t>(gstMutualOfsCancel.uwPeak);
  const uint8_t k = l.ubFrameCnt;
  auto C = [&](uint32_t at) { return sig::S16(cfg, at); };
  if (s1 <= C(15) && s0 == 0 && h == 0 && l.ubState == 0 && k < 4 && p <= C(9)) return;
  const bool boOver = s1 > (h != 0 ? C(13) : C(15));
  bool boSat = false;
  if (boOver) {
    const uint16_t uwLimit = sig::U16(cfg, h != 0 ? 5 : 7);
    boSat = static_cast<uint16_t>(static_cast<uint16_t>(w7) + s0) >= uwLimit;
  }
  const bool boNoisy = (boOver && boSat) || (!(s1 <= C(13) && s0 <= sig::U16(cfg, 5)) && p >= 1001);
  const bool boConfirm = IsRealBigNoise(a, b, c) != 0 || h != 0 || (p >= 1601 && k >= 4);
  if (boNoisy && boConfirm && gstNfNoiseProc.st.ubActive == 0) {
    if (h == 0) l.ubEntryCnt = sig::Inc8(l.ubEntryCnt);
    l.uwHold = cfg[21];
    return;
  }
  if (h != 0 && (w8 > C(11) || s1 >= 951)) {
    l.uwHold = cfg[21];
    return;
  }
  if (s1 >= C(17) || w8 >= C(19) || gstLightModeNcln.ubFlag != 0) return;
  const uint16_t uwTick = gstCommon.ubTick100ms;
  l.uwHold = h > uwTick ? static_cast<uint16_t>(h - uwTick) : 0;
}

void ExitNfModeJudgeCustom() {
  NfExitRec& e = gstNfExit;
  const uint8_t* cfg = gstNoiseNfProcCfg.aubData;
  const uint8_t ubCur = gstFreqHop.st.ubCurIndex;
  const bool boPass = (cfg[0] & 0x02u) != 0 && ubCur < 8 && ((cfg[kNfExitMaskPos] >> ubCur) & 1u) != 0 &&
                      gstImGlobal.uwMaxCombined > cfg[kNfExitImThrPos] && e.ubCounter <= 4;
  if (!boPass) {
    e.ubCounter = 0;
    return;
  }
  const uint8_t n = cfg[kNfExitCountPos] > kMaxHopFreq ? kMaxHopFreq : cfg[kNfExitCountPos];
  for (uint8_t i = 0; i < n; ++i) {
    if (static_cast<int16_t>(gstImGlobal.auwImMax[i] - gstImGlobal.auwImMin[i]) > 50) {
      e.ubCounter = 0;
      return;
    }
  }
  if (gstNfNoiseProc.st.ubActive == 0) {
    e.ubCounter = 0;
    return;
  }
  e.ubCounter = static_cast<uint8_t>(e.ubCounter + 1);
  if (e.ubCounter == 5) e.ubFlag = 1;
}

void DisconnectCheckProc(uint8_t ubKind, DisconnectCheckInput* pstIn) {
  if (pstIn == nullptr || pstIn->puwMap == nullptr) return;
  if (pstIn->uwDropThreshold == 0 || pstIn->ubRatio == 0) return;
  const uint32_t R = pstIn->ubRows, C = pstIn->ubCols;
  uint32_t uiMean = 0;
  if (pstIn->uwCount != 0) {
    uint32_t uiSum = 0;
    for (uint32_t i = 0; i < pstIn->uwCount; ++i) uiSum += pstIn->puwMap[i];
    uiMean = uiSum / pstIn->uwCount;
  }
  const uint32_t uiChannels = ubKind == 0 ? R : C;
  const uint32_t uiLen = ubKind == 0 ? C : R;
  uint8_t* pubCount = ubKind == 0 ? &gstChannelDisconnect.ubRowCount : &gstChannelDisconnect.ubColCount;
  uint8_t* pubList = ubKind == 0 ? gstChannelDisconnect.aubRows : gstChannelDisconnect.aubCols;
  const uint32_t uiListMax = ubKind == 0 ? sizeof(gstChannelDisconnect.aubRows) : sizeof(gstChannelDisconnect.aubCols);
  if (uiChannels == 0) {
    *pubCount = 0;
    return;
  }
  auto weak = [&](uint32_t ch) {
    uint32_t uiSum = 0;
    for (uint32_t k = 0; k < uiLen; ++k) uiSum += ubKind == 0 ? pstIn->puwMap[ch * C + k] : pstIn->puwMap[k * C + ch];
    // A channel of no nodes carries no signal: its mean is 0, so it counts as weak.
    const uint32_t m = uiLen != 0 ? uiSum / uiLen : 0;
    const uint32_t d = m > uiMean ? 0 : uiMean - m;
    return m < 700 || (d > pstIn->uwDropThreshold && 20u * d > uiMean * pstIn->ubRatio);
  };
  uint8_t ubCount = 0;
  uint32_t uiSlot = 0, uiRunLen = 0;
  int32_t siRunSlot = -1;  // list slot of the entry appended for the current run
  for (uint32_t ch = 0; ch < uiChannels; ++ch) {
    const bool boWeak = weak(ch);
    if (boWeak) {
      if (uiRunLen == 0 && uiSlot < uiListMax) {
        pubList[uiSlot] = static_cast<uint8_t>(ch);
        siRunSlot = static_cast<int32_t>(uiSlot++);
        ++ubCount;
      }
      ++uiRunLen;
    }
    // A run of two or more weak channels is not an isolated break: its entry is withdrawn.
    if ((!boWeak || ch + 1 == uiChannels) && uiRunLen >= 2 && siRunSlot >= 0) {
      pubList[siRunSlot] = 0xFF;
      --ubCount;
      siRunSlot = -1;
    }
    if (!boWeak) {
      uiRunLen = 0;
      siRunSlot = -1;
    }
  }
  if ((gstChannelDisCfg.aubData[0] & 0x02u) != 0) {
    if (weak(0)) pstIn->ubEdgeFlags |= ubKind == 0 ? 4 : 1;
    if (weak(uiChannels - 1)) pstIn->ubEdgeFlags |= ubKind == 0 ? 8 : 2;
  }
  *pubCount = ubCount;
  if (ubCount != 0) {
    pstIn->ubFound = 1;
    DelayToUpdateRef(1);
    if (gpstTamrelDebugInfo != nullptr) gpstTamrelDebugInfo[5] = ubKind == 0 ? 16 : 15;
  }
}

uint8_t GetRefAndBarrayErrSta(int16_t swValue) {
  if (static_cast<int8_t>(gstRawNormalizeCfg.aubData[10]) < swValue) return 1;
  const uint8_t ubCur = gstFreqHop.st.ubCurIndex < 8 ? gstFreqHop.st.ubCurIndex : 0;
  uint32_t uiLim = (3u * gstNormalize.st.auwSv1Area1[ubCur]) >> 1;
  const uint32_t uiCap = sig::U16(gstRawNormalizeCfg.aubData, 6);
  if (uiCap != 0 && uiLim >= uiCap) uiLim = uiCap - 1;
  // The reference's screen constant, which the mutual reference update writes each frame.
  return gstRefdataOutput.uiRefSum > uiLim ? 1 : 0;
}

uint32_t DynamicLevelCustom() {
  gstSensitiveCmd.auiWord[0] = gstSensitiveCmd.auiWord[1];
  return 0;
}

void LargeRegionCustom() {}
void NoiseRawdataProCustom() {}
void UpdateBArrayStudyTimes() {}
uint8_t GetBarrayStudyTimes() { return 0; }
void ProductTestJudge() {}
uint32_t PowerSavingCustomer() { return 0; }
uint32_t CustomHopTestHandle() { return 0; }
void CustomLastTouchReleaseHandle() {}
void StaticJitterAndDiffMax() {}
void StaticMutualDiffPeakNoise() {}
void StaticMutualDiffSensitivity() {}
