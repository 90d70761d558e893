// Noise level and noise type detection: the combined IM level per frequency, the noise
// type with its flags, the white-noise and NF-noise states, the controller's sampling
// duration while a noise kind lasts, LCD high noise and the Rx-jitter search.
#include <cstring>

#include "coord.h"
#include "coord_records.h"
#include "framework.h"
#include "signal_util.h"
#include "tsa_api.h"
#include "tsa_custdbg.h"
#include "tsa_frame.h"
#include "tsa_frame_links.h"
#include "tsa_fwpkt.h"
#include "tsa_parse.h"

NfNoiseProcState gstNfNoiseProc;
ImGlobalRec gstImGlobal;
NoiseXdataRec gstNoiseXdata;
DurationXdataRec gstDurationXdata;
LcdHighNoiseRec gstLcdHighNoise;
NoiseRxShakeRec gstNoiseRxShake;
uint16_t gpuwNoiseList[kShakeRxListLen];
uint16_t guwScanNoiseLevel[kMaxHopFreq];
uint32_t guiNfPowerOnCheckNcln;

namespace {

constexpr uint32_t kNfPowerOnMarker = 0x11223344u;

const uint8_t* NoiseCfg() { return gstNoiseProcessCfg.aubData; }
const uint8_t* NfCfg() { return gstNoiseNfProcCfg.aubData; }
const uint8_t* LcdCfg() { return gstLcdHighNoiseCfg.aubData; }
const uint8_t* DurCfg() { return gstNoiseDurationCfg.aubData; }
NfNoiseFields& Nf() { return gstNfNoiseProc.st; }
FreqHopFields& Hop() { return gstFreqHop.st; }

bool LcdHoldOn() { return gstLcdHighNoise.uwHold != 0; }
bool LcdMaskOut(uint8_t i) { return (LcdCfg()[0] & 0x01u) != 0 && ((LcdCfg()[24] >> i) & 1u) != 0; }
bool CurInMask(uint8_t ubMask) {
  const uint8_t ubCur = Hop().ubCurIndex;
  return ubCur < 8 && ((ubMask >> ubCur) & 1u) != 0;
}
// ADC saturation counter words: 0 and 1 the mutual group's u32 halves, 2 its word, then the
// self and IM groups likewise.
uint16_t SatWord(uint32_t i) {
  const uint16_t* puw = reinterpret_cast<const uint16_t*>(&gstAdcSatCnt);
  uint16_t uwValue;
  memcpy(&uwValue, reinterpret_cast<const uint8_t*>(puw) + 2u * i, sizeof(uwValue));
  return uwValue;
}
bool DurationAllowed() { return NoiseDurationAllowed(); }
void Leave(uint8_t ubKind);
// A duration the current frequency or the AFE word no longer allows is left, not kept
// pending until the noise ends.
void Request(uint8_t ubKind) {
  if (!DurationAllowed()) {
    Leave(ubKind);
  } else if (gstDurationXdata.ubKind == 0) {
    gstDurationXdata.ubKind = ubKind;
    gstDurationXdata.ubCode = 5;
  }
}
void Leave(uint8_t ubKind) {
  if (gstDurationXdata.ubKind == ubKind) {
    gstDurationXdata.ubKind = 0;
    gstDurationXdata.ubCode = 6;
  }
}

}  // namespace

bool NoiseDurationAllowed() {
  // Bit 2 of the AFE word's second byte.
  return CurInMask(DurCfg()[1]) && (gstThpAfeMoudleCfg.uiAfeWord & 0x0400u) != 0;
}

// ---- IM levels -----------------------------------------------------------------------------

void ImDataProcInit() {
  memset(&gstImGlobal, 0, sizeof(gstImGlobal));
  gstImGlobal.ubFreqNum = sig::HopCfgNum();
  gstImGlobal.uwBoundL1 = static_cast<uint16_t>(8u * NoiseCfg()[8]);
  gstImGlobal.uwBoundL2 = static_cast<uint16_t>(8u * NoiseCfg()[7]);
}

void ImDataProc() {
  ImGlobalRec& im = gstImGlobal;
  const FreqHopFields& h = Hop();
  const uint32_t w = NoiseCfg()[9];
  uint16_t uwMaxComb = 0, uwMaxPeak = 0, uwCur = 0;
  uint8_t ubMaxCombAt = 0, ubMaxPeakAt = 0;
  const uint8_t n = im.ubFreqNum > kMaxHopFreq ? kMaxHopFreq : im.ubFreqNum;
  for (uint8_t i = 0; i < n; ++i) {
    if (LcdMaskOut(i)) continue;
    const uint16_t uwComb = sig::AddSat16(h.auwPeak[i], (w * h.auwLevel[i]) >> 6);
    if (uwComb > uwMaxComb) {
      uwMaxComb = uwComb;
      ubMaxCombAt = i;
    }
    if (h.auwPeak[i] > uwMaxPeak) {
      uwMaxPeak = h.auwPeak[i];
      ubMaxPeakAt = i;
    }
    if (i == h.ubCurIndex) uwCur = uwComb;
  }
  im.uwMaxCombined = uwMaxComb;
  im.ubMaxCombinedIndex = ubMaxCombAt;
  im.uwMaxPeak = uwMaxPeak;
  im.ubMaxPeakIndex = ubMaxPeakAt;
  im.uwCurCombined = uwCur;
  im.uwSmoothed = static_cast<uint16_t>((static_cast<uint32_t>(im.uwSmoothed) + uwCur) >> 1);
  gstCommon.uwImCurLevel = uwCur;
  gstCommon.uwImSmoothLevel = im.uwSmoothed;
  gstCommon.puwNoisePeaks = gstFreqHop.st.auwPeak;
}

// ---- Noise type ----------------------------------------------------------------------------

void NoiseProcInit() {
  memset(&gstNoiseXdata, 0, sizeof(gstNoiseXdata));
  const uint8_t* c = NoiseCfg();
  gstNoiseXdata.ubInit1 = 1;
  gstNoiseXdata.ubEnable = c[0];
  gstNoiseXdata.uwB4 = static_cast<uint16_t>(8u * c[4]);
  gstNoiseXdata.uwB5 = static_cast<uint16_t>(8u * c[5]);
  gstNoiseXdata.uwB6 = static_cast<uint16_t>(8u * c[6]);
  gstNoiseXdata.uwB1 = static_cast<uint16_t>(8u * c[1]);
  gstNoiseXdata.uwB2 = static_cast<uint16_t>(8u * c[2]);
  gstNoiseXdata.uwB3 = static_cast<uint16_t>(8u * c[3]);
  RxJitterInfoInit();
}

uint8_t WhiteNoiseJudge() {
  NfNoiseFields& nf = Nf();
  const uint8_t* c = NfCfg();
  if ((c[0] & 0x20u) == 0 || nf.ubActive != 0) return 0;
  const bool boActive = nf.ubWhiteActive != 0;
  const int32_t t = static_cast<int32_t>(c[12]) - (boActive ? 10 : 0);
  const uint8_t k = boActive ? 2 : 1;
  uint8_t ubUsed = 0;
  const FreqHopFields& h = Hop();
  const uint8_t n = sig::HopCfgNum();
  for (uint8_t i = 0; i < n; ++i) {
    uint16_t& lv = guwScanNoiseLevel[i];
    const uint16_t M = h.auwMetric[i];
    if (gstCommon.ubTouchCount != 0) {
      lv = M > lv ? M : (lv > M ? static_cast<uint16_t>(lv - 1) : lv);
    } else if (M > lv) {
      lv = M;
    }
    if (static_cast<int32_t>(lv) < t && ubUsed < k) ++ubUsed;
  }
  if (ubUsed == k && h.uwMinPeak <= c[12]) {
    if (gstCommon.ubTouchCount != 0) nf.ubWhiteCnt = sig::Dec8(nf.ubWhiteCnt);
  } else if (nf.ubWhiteCnt < 254) {
    nf.ubWhiteCnt = static_cast<uint8_t>(nf.ubWhiteCnt + (boActive ? 2 : 1));
  }
  if (nf.ubWhiteCnt > c[13]) nf.ubWhiteActive = 1;
  if (nf.ubWhiteCnt == 0) nf.ubWhiteActive = 0;
  if ((c[0] & 0x04u) != 0 && nf.ubWhiteActive != 0 && nf.ubWhiteCnt != 0) {
    Request(2);
  } else {
    Leave(2);
  }
  gstCommon.ubWhiteNoiseResult = nf.ubWhiteActive;
  return nf.ubWhiteActive;
}

uint8_t NFnoiseJudge() {
  NfNoiseFields& nf = Nf();
  const uint8_t* c = NfCfg();
  if ((c[0] & 0x01u) == 0) return nf.ubActive;
  if ((gstCommon.ubChargerFlag == 0 && gstCommon.uwFrameCounter >= 121) || nf.ubFreqSet == 0) return nf.ubActive;
  if (SatWord(1) >= 2047 && SatWord(0) >= 3201) {
    nf.ubActive = nf.ubCounter = nf.ubReleaseCnt = nf.ubHold = nf.ubMarks = nf.ubRes5 = 0;
    nf.ubConfirmCnt = 0;
    if ((c[0] & 0x04u) != 0) Leave(1);
    gstCommon.ubNfNoiseResult = 0;
    return 0;
  }
  const uint16_t uwMaxPeak = gstImGlobal.uwMaxPeak;
  if (gstCommon.ubTouchCount != 0 && uwMaxPeak < nf.ubConfirmPeak) {
    nf.ubConfirmCnt = sig::Inc8(nf.ubConfirmCnt);
    if (nf.ubConfirmCnt >= nf.ubConfirmLen) {
      nf.ubMarks = 0;
      nf.ubConfirmCnt = 0;
      nf.ubDebugCnt = sig::Inc8(nf.ubDebugCnt);
    }
  }
  ExitNfModeJudgeCustom();
  const uint8_t ubPeakAt = gstImGlobal.ubMaxPeakIndex;
  if (ubPeakAt < nf.ubLowFreqCnt && uwMaxPeak > nf.ubCountPeak) {
    nf.ubCounter = sig::Inc8(nf.ubCounter);
    nf.ubMarks = static_cast<uint8_t>(nf.ubMarks | (1u << ubPeakAt));
    nf.ubReleaseCnt = 0;
  } else {
    nf.ubReleaseCnt = sig::Inc8(nf.ubReleaseCnt);
    if (nf.ubReleaseCnt >= c[11]) {
      if (gstCommon.ubTouchCount != 0) nf.ubCounter = sig::Dec8(nf.ubCounter);
      nf.ubReleaseCnt = 0;
    }
  }
  const uint8_t ubEntry = gstCommon.ubGameModeFlag != 0 ? nf.ubEntryThrGame : nf.ubEntryThr;
  const bool boEnter = (nf.ubCounter > ubEntry && nf.ubResetFlag == 0 && nf.ubMarks == nf.ubMarksTarget) ||
                       (nf.ubForcedEntry == 1 && gstCommon.ubPowerOnRefReady != 0);
  if (boEnter && !LcdHoldOn()) {
    nf.ubForcedEntry = 0;
    nf.ubHold = nf.ubHoldLen;
  }
  // The hold counts down only in frames that report points: NF noise matters under a
  // touch, and a hold entered with nothing reported waits for one.
  if (nf.ubHold != 0) {
    if (gstCoordComOutput.ubPointNum != 0) {
      nf.ubHold = static_cast<uint8_t>(nf.ubHold - 1);
      nf.ubActive = 1;
      guiNfPowerOnCheckNcln = kNfPowerOnMarker;
      gstNoiseXdata.ubNfMark = 1;
    }
  } else {
    nf.ubActive = 0;
  }
  if ((c[0] & 0x40u) != 0) {
    nf.ubActive = 1;
    nf.ubHold = c[10];
  }
  if ((c[0] & 0x04u) != 0 && nf.ubActive != 0 && !LcdHoldOn() && CurInMask(nf.ubFreqSet)) {
    Request(1);
  } else {
    Leave(1);
  }
  gstCommon.ubNfNoiseResult = nf.ubActive;
  return nf.ubActive;
}

void NoiseTypeDetectProc() {
  if (gstNoiseXdata.ubEnable == 0) return;
  const NoiseXdataRec& x = gstNoiseXdata;
  const uint8_t* c = NoiseCfg();
  const uint16_t s = gstImGlobal.uwSmoothed;
  uint16_t lim = c[10];
  if (gstDurationXdata.ubActive != 0) lim = static_cast<uint16_t>(lim << gstDurationXdata.ubShift);
  const uint16_t sat0 = SatWord(0), sat6 = SatWord(6);
  const bool boCharger = gstCommon.ubChargerFlag != 0;
  uint8_t type;
  if (s > gstImGlobal.uwBoundL2) {
    type = 11;
  } else if (Hop().ubEnabled != 0 && Hop().uwCurPeak > c[11] && s > x.uwB5) {
    type = 9;
  } else if (lim < sat0 || (!LcdHoldOn() && lim < sat6)) {
    type = 9;
  } else if (!boCharger) {
    type = s <= x.uwB1 ? 0 : (s > x.uwB2 ? 2 : 1);
  } else {
    type = s <= x.uwB4 ? 4 : (s > x.uwB5 ? 6 : 5);
  }
  if ((type == 0 || type == 4) && gstCommon.ubWaterFlag == 0 && gstImGlobal.uwCurCombined > gstImGlobal.uwBoundL1) type = 8;
  const uint8_t ubNf = NFnoiseJudge();
  WhiteNoiseJudge();
  uint8_t* f = gstCommon.aubNoiseFlags;
  gstCommon.ubNoiseType = type;
  gstCommon.uwNoiseTypeMask = static_cast<uint16_t>(1u << type);
  memset(f, 0, 4);
  if ((type & 11u) != 0) f[0] = f[1] = f[3] = 1;
  if (ubNf != 0 || Nf().ubWhiteActive != 0) memset(f, 1, 4);
  if (LcdHoldOn()) {
    f[0] = f[1] = f[3] = 1;
  } else if (gstLcdHighNoise.ubRowCount >= 3) {
    f[3] = 1;
  }
  if (Hop().uwMinPeak >= gstFreqHopCfg.aubData[21]) {
    memset(f, 1, 4);
    gstCommon.ubNoiseHoldCnt = 9;
  } else {
    gstCommon.ubNoiseHoldCnt = sig::Dec8(gstCommon.ubNoiseHoldCnt);
  }
  if (gstDurationXdata.ubActive != 0 && gstCoordPairCfg.aubData[8] != 0 && ubNf == 0) f[3] = 0;
}

// ---- Noise duration ------------------------------------------------------------------------

void NoiseDurationProcInit() {
  DurationXdataRec& d = gstDurationXdata;
  memset(&d, 0, sizeof(d));
  d.ubEnable = DurCfg()[0] & 0x01u;
  d.ubShift = (DurCfg()[0] & 0x02u) != 0 ? 2 : 1;
}

void SetDurationCmd(uint8_t ubRequest, uint8_t ubParam) {
  (void)ubRequest;
  FwPktQueueCmd(kFwCmdDuration, &ubParam, 1);
}

void ChangeDurationJudge(uint8_t ubKind) { Request(ubKind); }
void ExitDurationProc(uint8_t ubKind) { Leave(ubKind); }

void NoiseDurationPostProcess() {
  DurationXdataRec& d = gstDurationXdata;
  if (d.ubEnable == 0) return;
  const uint8_t ubCur = Hop().ubCurIndex < 8 ? Hop().ubCurIndex : 0;
  const uint16_t e = sig::HopCfgSecond(ubCur);
  uint16_t& v = gstMutualCfgBak.uwFreqWord;
  const bool boInMask = CurInMask(DurCfg()[1]);
  const bool boSuspendCfg = (DurCfg()[0] & 0x08u) != 0;
  if ((d.ubEntered == 0 && d.ubCode == 5) || (d.ubActive != 0 && boInMask && v == e)) {
    if (boSuspendCfg && boInMask) Hop().ubSuspended |= 0x02u;
    SetDurationCmd(1, 1);
    if (v == e) {
      v = static_cast<uint16_t>(v << d.ubShift);
      gstMutualCfgBak.ubOptHigh = static_cast<uint8_t>(gstMutualCfgBak.ubOptHigh - d.ubShift);
    }
    d.ubActive = 1;
    d.ubEntered = 1;
  }
  if (d.ubEntered != 0 && d.ubCode == 6) {
    if (boSuspendCfg) Hop().ubSuspended &= static_cast<uint8_t>(~0x02u);
    d.ubEntered = 0;
    d.ubActive = 0;
    if (boInMask) {
      SetDurationCmd(0, 0);
      if (v > e) {
        gstMutualCfgBak.ubOptHigh = static_cast<uint8_t>(gstMutualCfgBak.ubOptHigh + d.ubShift);
        v = static_cast<uint16_t>(v >> d.ubShift);
      }
    }
  }
  d.ubCode = 0;
  gstCommon.ubDurationA = d.ubEntered;
  gstCommon.ubDurationB = d.ubActive;
}

void ChangeDurationCom(uint8_t ubOn) {
  DurationXdataRec& d = gstDurationXdata;
  MutualCfgBak& m = gstMutualCfgBak;
  const uint16_t e0 = sig::HopCfgSecond(0);
  if (ubOn != 0 && m.uwFreqWord == e0) {
    m.uwFreqWord = static_cast<uint16_t>(m.uwFreqWord << d.ubShift);
    m.ubOptHigh = static_cast<uint8_t>(m.ubOptHigh - d.ubShift);
  } else if (ubOn == 0 && m.uwFreqWord > e0) {
    m.uwFreqWord = static_cast<uint16_t>(m.uwFreqWord >> d.ubShift);
    m.ubOptHigh = static_cast<uint8_t>(m.ubOptHigh + d.ubShift);
  }
  uint8_t ubIndex = GetCurFreqIndex(m.uwFreq);
  if (gstApp.ubApp != kAppFreqScan) FwPktQueueCmd(kFwCmdSetFreq, &ubIndex, 1);
  d.ubNibble = m.ubOptHigh;
  d.uwValue = m.uwFreqWord;
}

// ---- NF noise set-up -------------------------------------------------------------------------

void IsHighFreqLast() {
  NfNoiseFields& nf = Nf();
  nf.ubForcedEntry = 0;
  const uint8_t ubStart = Hop().ubStartIndex;
  if (gubDefaultFreqForMutual == 0 && ubStart < sig::HopCfgNum() && ((nf.ubFreqSet >> ubStart) & 1u) != 0 &&
      guiNfPowerOnCheckNcln == kNfPowerOnMarker) {
    nf.ubForcedEntry = 1;
  }
  guiNfPowerOnCheckNcln = 0;
}

uint8_t IsFreqLowNoise() {
  const uint8_t ubCount = Nf().ubLowFreqCnt;
  for (uint8_t i = 0; i < ubCount && i < kMaxHopFreq; ++i) {
    if (gstImGlobal.auwImMax[i] - gstImGlobal.auwImMin[i] > 50) return 0;
  }
  return 1;
}

void RxJitterInfoInit() {
  gstNoiseRxShake.ubNormalFlag = gstNoiseRxShake.ubLowTempFlag = 1;
  memset(gpubShakeRxList, 0xFF, sizeof(gpubShakeRxList));
  for (uint16_t& v : gpuwNoiseList) v = 255;
}

void NoiseNfProcInit() {
  NfNoiseFields& nf = Nf();
  memset(&gstNfNoiseProc, 0, sizeof(gstNfNoiseProc));
  memset(guwScanNoiseLevel, 0, sizeof(guwScanNoiseLevel));
  const uint8_t* c = NfCfg();
  const uint8_t n = sig::HopCfgNum();
  if ((c[0] & 0x01u) != 0) {
    const uint8_t ubAll = static_cast<uint8_t>((1u << n) - 1u);
    nf.ubFreqSet = static_cast<uint8_t>(c[1] & ubAll);
    Hop().ubMask = static_cast<uint8_t>(Hop().ubMask & ~nf.ubFreqSet);
    uint8_t ubOutside = 0;
    for (uint8_t i = 0; i < n; ++i) ubOutside = static_cast<uint8_t>(ubOutside + (((nf.ubFreqSet >> i) & 1u) == 0));
    nf.ubOutsideCnt = ubOutside;
  }
  auto orDefault = [](uint8_t v, uint8_t d) { return v != 0 ? v : d; };
  nf.ubEntryThr = orDefault(c[4], 5);
  nf.ubEntryThrGame = orDefault(c[5], 10);
  nf.ubConfirmPeak = orDefault(c[6], 11);
  nf.ubConfirmLen = orDefault(c[7], 50);
  nf.ubCountPeak = orDefault(c[2], 40);
  nf.ubHoldLen = orDefault(c[10], 50);
  nf.ubForcedHold = orDefault(c[3], 100);
  uint8_t ubLow = c[9] < n ? c[9] : n;
  if (ubLow == 0) ubLow = 3;
  nf.ubLowFreqCnt = ubLow;
  nf.ubMarksTarget = static_cast<uint8_t>((1u << (ubLow > 8 ? 8 : ubLow)) - 1u);
  IsHighFreqLast();
}

// ---- Rx jitter -------------------------------------------------------------------------------

namespace {

// Positions of the largest and second largest level: strictly larger values from a start
// of 0, so the first maximum wins and index 0 stays when all are 0.
void TopTwo(const uint16_t* puwV, uint32_t n, uint32_t* t1, uint32_t* t2) {
  uint16_t uwBest = 0;
  *t1 = 0;
  for (uint32_t i = 0; i < n; ++i) {
    if (puwV[i] > uwBest) {
      uwBest = puwV[i];
      *t1 = i;
    }
  }
  uwBest = 0;
  *t2 = *t1 == 0 && n > 1 ? 1 : 0;
  for (uint32_t i = 0; i < n; ++i) {
    if (i == *t1) continue;
    if (puwV[i] > uwBest) {
      uwBest = puwV[i];
      *t2 = i;
    }
  }
}

void PutTopTwo(uint8_t* L, uint16_t* V, uint32_t n) {
  uint32_t t1, t2;
  TopTwo(V, n, &t1, &t2);
  NoiseRxShakeRec& r = gstNoiseRxShake;
  r.ubTopLine1 = L[t1];
  r.ubTopLine2 = L[t2];
  r.uwTopLevel1 = V[t1];
  r.uwTopLevel2 = V[t2];
  L[0] = r.ubTopLine1;
  L[1] = r.ubTopLine2;
  V[0] = r.uwTopLevel1;
  V[1] = r.uwTopLevel2;
}

}  // namespace

void GetTopTwoRx(uint8_t* L, uint16_t* V, uint8_t n) {
  if (L == nullptr || V == nullptr || n == 0) return;
  PutTopTwo(L, V, n);
}

void GetRxJitterInfo(uint8_t* L, uint16_t* V, uint8_t b, uint8_t c) {
  if (IsRxShakeDataReady() != 1 || L == nullptr || V == nullptr) return;
  // The lists hold one entry per sense line; the kept lists hold at most 41 lines.
  if (c > kShakeRxListLen) c = kShakeRxListLen;
  const uint8_t* info = gstRxNoiseInfo.aubData;
  uint8_t ubRefCount = info[0] > kRxKeptMax ? kRxKeptMax : info[0];
  uint8_t aubRefLine[kRxKeptMax];
  uint16_t auwRefLevel[kRxKeptMax];
  memcpy(aubRefLine, info + 1, kRxKeptMax);
  for (uint32_t i = 0; i < kRxKeptMax; ++i) auwRefLevel[i] = sig::U16(info, 1u + kRxKeptMax + 2u * i);
  NoiseRxShakeRec& r = gstNoiseRxShake;
  const bool boLowTemp = gstCommon.ubLowTempState == 2 && r.ubLowTempFlag != 0;
  uint32_t n = 0;
  auto append = [&](uint8_t line, uint16_t level) {
    if (n >= c) return;
    L[n] = line;
    V[n] = level;
    ++n;
  };
  const uint32_t uiLines = c < kRxLineLevels ? c : kRxLineLevels;
  for (uint32_t i = 0; i < uiLines; ++i) {
    const uint16_t x = sig::U16(info, 1u + 3u * kRxKeptMax + 2u * i);
    if (boLowTemp) {
      if (static_cast<int32_t>(x) >= static_cast<int32_t>(b) - 15) {
        append(static_cast<uint8_t>(i), x);
      } else {
        for (uint32_t k = 0; k < r.ubKeptCount && k < kRxKeptMax; ++k) {
          if (r.aubKeptLine[k] == i) append(static_cast<uint8_t>(i), r.auwKeptLevel[k]);
        }
      }
    } else if (r.ubNormalFlag != 0) {
      if (x >= b) {
        if (n < kRxKeptMax) {
          r.aubKeptLine[n] = static_cast<uint8_t>(i);
          r.auwKeptLevel[n] = x;
        }
        append(static_cast<uint8_t>(i), x);
      } else {
        for (uint32_t k = 0; k < ubRefCount; ++k) {
          if (aubRefLine[k] != i) continue;
          if (n < kRxKeptMax) {
            r.aubKeptLine[n] = static_cast<uint8_t>(i);
            r.auwKeptLevel[n] = auwRefLevel[k];
          }
          append(static_cast<uint8_t>(i), auwRefLevel[k]);
        }
      }
    }
  }
  if (boLowTemp) {
    r.ubNormalFlag = 1;
    r.ubLowTempFlag = 0;
    if (n >= 3) {
      PutTopTwo(L, V, n);
      for (uint32_t i = 2; i < c; ++i) L[i] = 0xFF, V[i] = 255;
    }
  } else if (r.ubNormalFlag != 0) {
    r.ubNormalFlag = 0;
    r.ubLowTempFlag = 1;
    if (n < 3) {
      for (uint32_t i = n; i < c; ++i) L[i] = 0xFF, V[i] = 255;
    } else {
      PutTopTwo(L, V, n);
      for (uint32_t i = 2; i < c; ++i) L[i] = 0xFF, V[i] = 255;
    }
    for (uint32_t i = n; i < kRxKeptMax; ++i) r.aubKeptLine[i] = 0xFF, r.auwKeptLevel[i] = 255;
    r.ubKeptCount = static_cast<uint8_t>(n < kRxKeptMax ? n : kRxKeptMax);
  }
}

void GetRxJitter() { GetRxJitterInfo(gpubShakeRxList, gpuwNoiseList, NoiseCfg()[13], gstPannelAlignCfg.ubSenNum); }

void JitterTestProc() {
  const uint8_t b = NoiseCfg()[13] != 0 ? NoiseCfg()[13] : 85;
  GetRxJitterInfo(gpubShakeRxList, gpuwNoiseList, b, gstCommon.ubSenNum);
  gstStateMachine.ullRequest |= 0x40000000u;
}

void JitterTestInit() {
  memset(gpubShakeRxList, 0xFF, gstCommon.ubSenNum < kShakeRxListLen ? gstCommon.ubSenNum : kShakeRxListLen);
  for (uint32_t i = 0; i < gstCommon.ubSenNum && i < kShakeRxListLen; ++i) gpuwNoiseList[i] = 255;
}

// ---- LCD high noise --------------------------------------------------------------------------

void LcdHighNoiseSetTempSizeInit() {
  if (guwTempBufferSizes < 5824) guwTempBufferSizes = 5824;
}

void LcdHighNoiseInit() {
  LcdHighNoiseRec& l = gstLcdHighNoise;
  memset(&l, 0, sizeof(l));
  l.uwHold = gstLightModeNcln.ubFlag == 1 ? LcdCfg()[21] : 0;
  const uint8_t ubStart = Hop().ubStartIndex;
  if (ubStart < 8 && ((LcdCfg()[24] >> ubStart) & 1u) != 0) {
    l.uwHold = 10;
    l.ubStartInMask = 1;
  }
  if ((LcdCfg()[0] & 0x01u) == 0) l.uwHold = 0;
}

void LcdHighNoiseProc() {
  if ((LcdCfg()[0] & 0x01u) == 0) return;
  LcdHighNoiseRec& l = gstLcdHighNoise;
  uint8_t ubCount = 0;
  const int16_t* pswDiff = gstCommon.stData.pswDiffData;
  const uint32_t D = gstCommon.ubDrvNum, S = gstCommon.ubSenNum;
  auto* puwWork = reinterpret_cast<uint16_t*>(gstCommon.pubTempArena);
  if (static_cast<int16_t>(gstMutualOfsCancel.uwPeak) >= 1001 && pswDiff != nullptr && puwWork != nullptr && S != 0 &&
      D * S <= kFerrantMaxNodes) {
    for (uint32_t i = 0; i < D * S; ++i) puwWork[i] = sig::AbsS16(pswDiff[i]);
    for (uint32_t r = 0; r < D; ++r) {
      uint32_t uiSum = 0;
      for (uint32_t s = 0; s < S; ++s) uiSum += puwWork[r * S + s];
      if (static_cast<uint16_t>(uiSum / S) > 1000) ubCount = sig::Inc8(ubCount);
    }
  }
  gstCommon.scLcdNoiseState = 0;
  l.ubRowCount = ubCount;
  l.ubHandleReq = 0;
  LcdHighNoiseJudgeCustom(0, 0, 0);
  if (l.uwHold != 0) gstCommon.scLcdNoiseState = static_cast<int8_t>(0x80);
}

uint8_t IsRealBigNoise(uint8_t, uint8_t, uint8_t) {
  if (static_cast<int16_t>(SatWord(1)) > 2000 || static_cast<int16_t>(SatWord(7)) > 2000) return 1;
  uint16_t uwMaxMin = 0;
  const uint8_t n = sig::HopCfgNum();
  for (uint8_t i = 0; i < n; ++i) {
    if (LcdMaskOut(i)) continue;
    if (gstImGlobal.auwImMin[i] > uwMaxMin) uwMaxMin = gstImGlobal.auwImMin[i];
  }
  if (uwMaxMin >= sig::U16(LcdCfg(), 26)) return 1;
  return Hop().uwCurLevel >= 500 ? 1 : 0;
}

uint8_t IsDiffMaxBeforeNeedHandle(int16_t swBound) {
  return static_cast<int16_t>(gstMutualOfsCancel.uwPeak) > swBound && gstLcdHighNoise.ubRowCount > 3;
}

uint8_t LcdAddShakeCount() {
  const uint8_t ubRows = gstLcdHighNoise.ubRowCount;
  if (LcdHoldOn() && static_cast<int16_t>(gstMutualOfsCancel.uwPeak) < 801 && ubRows < 3) return 0;
  if (!LcdHoldOn() && ubRows < 3) return 0;
  return 1;
}

void LcdHighNoiseHandle() {
  if (gstLcdHighNoise.ubHandleReq == 0 || gstCommon.stData.puwRefData == nullptr ||
      gstCommon.stData.puwRefData[0] == 0 || gstNormalizeOutput.ubBValid != 1)
    return;
  AppExecEnd();
  gstCommon.ubFrameSkipped = 1;
  gstCommon.ubLcdHighNoiseHandleCnt = sig::Inc8(gstCommon.ubLcdHighNoiseHandleCnt);
  if (gpstTamrelDebugInfo != nullptr) gpstTamrelDebugInfo[15] = sig::Inc8(gpstTamrelDebugInfo[15]);
}
