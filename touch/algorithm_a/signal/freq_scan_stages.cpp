// Frequency scan and B-array study: the scan app visits every configured frequency three
// times (record, repeat and average, check), forms one B array per frequency against a
// common target level and, when nothing failed, writes them with their trailers into
// B area 1 of the flash mirror. One step per frame.
#include <cstring>

#include "framework.h"
#include "mathlib.h"
#include "signal_util.h"
#include "tsa_frame_links.h"
#include "tsa_kbflash.h"
#include "tsa_os.h"

// One node-sized scan buffer per configurable frequency, so that every frequency of the
// hopping table can be scanned.
uint16_t* gpuiSreecnFreqAddr[kMaxHopFreq];

namespace {

uint16_t sauwScanBuf[kMaxHopFreq][kFerrantMaxNodes];

NormalizeFields& Norm() { return gstNormalize.st; }

uint16_t* WorkMap() { return reinterpret_cast<uint16_t*>(gppstScanFreqTemp); }
uint16_t* WorkMap2() { return reinterpret_cast<uint16_t*>(gppstScanFreqTemp + kFerrantMaxNodes * 2u); }

void HopStep(uint8_t i) {
  SetNewFrequence(sig::HopCfgFreq(i));
  FerxLogPrint("FreqScanProc", FERX_LOG_INFO, "Freq Scan Not Finish and Freq Hopping 5\n");
  Norm().ubScanIndex = static_cast<uint8_t>(i + 1);
}

uint16_t Clamp16(uint32_t v) { return v > 0xFFFFu ? 0xFFFFu : static_cast<uint16_t>(v); }

void WriteRecords(uint8_t n) {
  NormalizeFields& s = Norm();
  s.uwArea1WriteCnt = static_cast<uint16_t>(s.uwArea1WriteCnt + 1);
  memcpy(s.aubSavedMarks, s.aubScanMarks, sizeof(s.aubSavedMarks));
  uint8_t aubTrailer[kMaxHopFreq][kKbTrailerBytes] = {};
  for (uint8_t f = 0; f < n; ++f) {
    KbTrailerFill(aubTrailer[f], f, s.auwSv1Area1[f], s.auwSv2Area1[f], s.uwArea1WriteCnt, s.uwCfgSum);
  }
  SavebArrayToFlash(aubTrailer, gpuiSreecnFreqAddr);
}

void EndStep(uint8_t n, uint32_t uiNodes) {
  NormalizeFields& s = Norm();
  s.ubScanIndex = 0;
  s.ubScanRunning = 0;
  s.ubStudyInProgress = 0;
  s.ubCheckState = 5;
  s.ubStableCnt = 0;
  if (s.ubScanFail == 0) {
    s.ubRestudyNeeded = 0;
    s.ubBValid = 1;
    gubNeedStudyByUidMismatch = 0;
    gubAgeingFlagNcln = 5;
    UpdateBArrayStudyTimes();
    if (s.ubBErrFlag == 1) s.ubStudyBudget = 0;
    s.ubBErrFlag = 0;
    const uint8_t c = gstFreqHop.st.ubCurIndex;
    if ((gstRawNormalizeCfg.aubData[0] & 0x04u) != 0 && c < n) GetFreqKb(c, gstCommon.puwKArray, kKbModeKArea);
    if (c < n) GetFreqKb(c, gstCommon.puwBArray, kKbModeArea1);
  } else if (gstCommon.puwBArray != nullptr) {
    memset(gstCommon.puwBArray, 0, uiNodes * 2u);
  }
  if (gstCommon.stData.puwRawData != nullptr) memset(gstCommon.stData.puwRawData, 0, uiNodes * 2u);
  for (uint8_t f = 0; f < n; ++f) memset(gpuiSreecnFreqAddr[f], 0, uiNodes * 2u);
  SetFreqScanCntDbgData();
  SetBStateDbgData();
  SaveNormalizeDbgInfoToFlash();
  DelayToUpdateRef(2);
  gstStateMachine.ullRequest |= kReqStudyEnd;
  SetNewFrequence(s.uwScanStartFreq);
}

// Largest row difference at distance 2 of T (the row measure of the drive consistency).
int32_t RowMeasure(const uint16_t* T, uint32_t D, uint32_t S) {
  int32_t M = -32768, m = 32767;
  for (uint32_t r = 0; r < D; ++r) {
    for (uint32_t j = 0; j + 2 < S; ++j) {
      const int16_t d = static_cast<int16_t>(T[r * S + j] - T[r * S + j + 2]);
      M = d > M ? d : M;
      m = d < m ? d : m;
    }
  }
  const int32_t am = m < 0 ? -m : m;
  return am > M ? am : M;
}

}  // namespace

void FreqScanInit() {
  for (uint8_t f = 0; f < kMaxHopFreq; ++f) gpuiSreecnFreqAddr[f] = sauwScanBuf[f];
}

void FreqScanProc() {
  NormalizeFields& s = Norm();
  const uint8_t n = sig::HopCfgNum();
  const uint32_t D = gstCommon.ubDrvNum, S = gstCommon.ubSenNum;
  const uint32_t uiNodes = sig::Nodes();
  uint16_t* raw = gstCommon.stData.puwRawData;
  const uint16_t* ref = gstCommon.stData.puwRefData;
  if (gpuiSreecnFreqAddr[0] == nullptr) FreqScanInit();
  if (gppstScanFreqTemp == nullptr) gppstScanFreqTemp = gstCommon.pubTempArena;
  if (raw == nullptr || gppstScanFreqTemp == nullptr) return;
  if (s.ubScanRunning != 1) {
    s.ubScanPhase = 0;
    s.ubScanIndex = 0;
    s.ubWaitCnt = 0;
    s.ubScanFail = 0;
    s.ubScanRunning = 1;
    s.uwScanStartFreq = gstFreqHop.st.uwCurFreq;
    if (s.ubBValid != 0 && ref != nullptr && gstCommon.puwBArray != nullptr) {
      uint16_t* puwRef = gstCommon.stData.puwRefData;
      for (uint32_t k = 0; k < uiNodes; ++k) puwRef[k] = static_cast<uint16_t>(puwRef[k] - gstCommon.puwBArray[k]);
    }
    if (n == 0) {
      EndStep(n, uiNodes);
    } else {
      HopStep(0);
    }
    return;
  }
  const uint8_t i = s.ubScanIndex;
  FerxLogPrint("FreqScanProc", FERX_LOG_INFO, "Is Scan Fail 1: %d\n", s.ubScanFail);
  uint16_t* T = WorkMap();
  if (gstFreqHop.st.uwCurFreq == s.uwScanStartFreq && ref != nullptr) {
    for (uint32_t k = 0; k < uiNodes; ++k) T[k] = static_cast<uint16_t>(ref[k] - raw[k]);
    uint16_t uwMaxAbs = 0;
    LibCalcConsistencyDrv(T, WorkMap2(), &uwMaxAbs, static_cast<uint8_t>(D), static_cast<uint8_t>(S), 2);
    if (static_cast<int16_t>(uwMaxAbs) > gstCommon.swTouchThreshold && s.ubBErrFlag < 2) s.ubScanFail = 1;
  }
  FerxLogPrint("FreqScanProc", FERX_LOG_INFO, "Is Scan Fail 2: %d\n", s.ubScanFail);
  if (i > n || i == 0) {
    EndStep(n, uiNodes);
    return;
  }
  uint16_t* buf = gpuiSreecnFreqAddr[i - 1];
  if (s.ubScanPhase == 0) {
    memcpy(buf, raw, uiNodes * 2u);
    if (i < n) {
      HopStep(i);
    } else {
      s.ubScanPhase = 1;
      HopStep(0);
    }
    return;
  }
  if (s.ubScanPhase == 1) {
    for (uint32_t k = 0; k < uiNodes; ++k) T[k] = static_cast<uint16_t>(raw[k] - buf[k]);
    const int32_t v = S > 2 ? RowMeasure(T, D, S) : 32767;
    const int16_t V = sig::S16(gstRawNormalizeCfg.aubData, 4);
    s.aubScanMarks[i - 1] = v > V ? 1 : 0;
    if (s.aubScanMarks[i - 1] != 0) {
      s.ubScanFail = 1;
      FerxLogPrint("FreqScanProc", FERX_LOG_INFO, "Is Scan Fail 3: %d\n", 1);
    } else {
      for (uint32_t k = 0; k < uiNodes; ++k) {
        raw[k] = static_cast<uint16_t>(static_cast<uint16_t>(buf[k] + raw[k]) >> 1);
        buf[k] = raw[k];
      }
    }
    if (i < n) {
      HopStep(i);
      return;
    }
    if (s.ubScanFail != 0) {
      EndStep(n, uiNodes);
      return;
    }
    const uint16_t L = sig::U16(gstRawNormalizeCfg.aubData, 2);
    uint16_t* G = WorkMap2();
    for (uint32_t k = 0; k < uiNodes; ++k) G[k] = L != 0 ? L : gpuiSreecnFreqAddr[0][k];
    for (uint8_t f = 0; f < n; ++f) {
      uint16_t* b = gpuiSreecnFreqAddr[f];
      for (uint32_t k = 0; k < uiNodes; ++k) b[k] = static_cast<uint16_t>(G[k] - b[k]);
    }
    s.ubScanPhase = 2;
    HopStep(0);
    return;
  }
  // Phase 2: measure the corrected maps.
  memcpy(T, raw, uiNodes * 2u);
  uint16_t uwMaxAbs = 0;
  s.auwSv2Area1[i - 1] =
      Clamp16(LibCalcConsistencyAll(T, WorkMap2(), &uwMaxAbs, static_cast<uint8_t>(D), static_cast<uint8_t>(S), 2));
  for (uint32_t k = 0; k < uiNodes; ++k) raw[k] = static_cast<uint16_t>(raw[k] + buf[k]);
  memcpy(T, raw, uiNodes * 2u);
  s.auwSv1Area1[i - 1] =
      Clamp16(LibCalcConsistencyDrv(T, WorkMap2(), &uwMaxAbs, static_cast<uint8_t>(D), static_cast<uint8_t>(S), 2));
  if (static_cast<int16_t>(uwMaxAbs) > static_cast<int16_t>(gstCommon.uwMaskThreshold)) {
    s.ubScanFail = 1;
    FerxLogPrint("FreqScanProc", FERX_LOG_INFO, "Is Scan Fail 4: %d\n", 1);
  }
  if (i < n) {
    HopStep(i);
    return;
  }
  if (s.ubScanFail == 0) WriteRecords(n);
  EndStep(n, uiNodes);
}

void FreqScan() { FreqScanProc(); }
