// Frequency hopping: a decaying noise level per configured drive frequency from the IM
// noise rows the controller delivers with each frame, the choice of the quietest usable
// frequency, and the switch (controller command, normalisation arrays, reference delay)
// when the current frequency is clearly worse.
#include <cstring>

#include "framework.h"
#include "signal_util.h"
#include "tsa_custdbg.h"
#include "tsa_frame.h"
#include "tsa_frame_links.h"
#include "tsa_fwpkt.h"
#include "tsa_os.h"

FreqHopState gstFreqHop;
LightModeRec gstLightModeNcln;
HopResultRec gstHopResultNcln;
HopResultBakRec gstHopResultBak;
uint8_t gubHopFlag;
uint8_t gubDefaultFreqForMutual;
uint8_t gubHopDebug[4];  // {current metric, best metric, current index, best index} of the last hop

namespace {

FreqHopFields& Hop() { return gstFreqHop.st; }
const uint8_t* Cfg() { return gstFreqHopCfg.aubData; }
uint8_t CfgNfRaise() { return Cfg()[18]; }
uint8_t CfgConfirm() { return Cfg()[19]; }
uint8_t CfgLcdRaise() { return Cfg()[20]; }
uint8_t CfgHopHalf() { return Cfg()[21]; }
uint16_t CfgStay() { return sig::U16(Cfg(), 22); }
uint16_t CfgFloor() { return sig::U16(Cfg(), 24); }
uint16_t CfgLevelCeiling() { return sig::U16(Cfg(), 59); }

bool LcdHoldOn() { return gstLcdHighNoise.uwHold != 0; }
bool InMask(uint8_t ubMask, uint8_t i) { return (ubMask >> i & 1u) != 0; }

void HopResultSeal(uint16_t uwFreq) {
  gstHopResultNcln.auwWord[1] = uwFreq;
  gstHopResultNcln.auwWord[2] = 0;
  uint16_t uwSum = 0;
  for (uint16_t w : gstHopResultNcln.auwWord) uwSum = static_cast<uint16_t>(uwSum + w);
  gstHopResultNcln.uwCheck = static_cast<uint16_t>(-uwSum);
  memcpy(&gstHopResultBak.ullWords, gstHopResultNcln.auwWord, sizeof(gstHopResultBak.ullWords));
  gstHopResultBak.uwCheck = gstHopResultNcln.uwCheck;
}

void StopFrameSkipped() {
  AppExecEnd();
  Hop().ubSkipCnt = sig::Inc8(Hop().ubSkipCnt);
  gstCommon.ubFrameSkipped = 1;
  if (gpstTamrelDebugInfo != nullptr) gpstTamrelDebugInfo[15] = sig::Inc8(gpstTamrelDebugInfo[15]);
}

}  // namespace

uint8_t GetCurFreqIndex(uint16_t uwFreq) {
  const uint8_t ubNum = sig::HopCfgNum();
  for (uint8_t i = 0; i < ubNum; ++i) {
    if (sig::HopCfgFreq(i) == uwFreq) return i;
  }
  return 0;
}

uint8_t GetCurrentSegmentMul() {
  const uint8_t ubCur = Hop().ubCurIndex;
  return ubCur < sig::HopCfgNum() ? sig::HopCfgSegMul(ubCur) : 0xFF;
}

void NoiseDetectRestart() {
  Hop().ubHopReq = 0;
  Hop().uwWatchCnt = 0;
}

void FreqHoppingSetTempSizeInit() {
  if (guwTempBufferSizes < 776) guwTempBufferSizes = 776;
}

void NoiseRawdataProc() {
  FreqHopFields& h = Hop();
  const uint8_t n = sig::HopCfgNum();
  const uint32_t c = gstCommon.ubSenNum;
  const uint16_t* puwIm = gstCommon.puwImNoiseData;
  if (n == 0 || puwIm == nullptr || c == 0) {
    h.uwCurPeak = h.uwCurLevel = h.uwMaxPeak = h.uwMaxLevel = h.uwAvgPeak = h.uwAvgLevel = 0;
    h.uwMinPeak = h.uwMinLevel = 0xFFFF;
    return;
  }
  const uint16_t uwFloor = CfgFloor();
  for (uint8_t i = 0; i < n; ++i) {
    const uint16_t* x = puwIm + static_cast<uint32_t>(i) * c;
    uint16_t uwMax = 0, uwMin = 0xFFFF;
    uint32_t uiSum = 0;
    for (uint32_t k = 0; k < c; ++k) {
      uwMax = x[k] > uwMax ? x[k] : uwMax;
      uwMin = x[k] < uwMin ? x[k] : uwMin;
      uiSum += x[k];
    }
    gstImGlobal.auwImMax[i] = uwMax;
    gstImGlobal.auwImMin[i] = uwMin;
    const uint16_t uwMean = static_cast<uint16_t>(uiSum / c);
    int32_t siDMax = INT32_MIN, siDMin = INT32_MAX;
    for (uint32_t k = 0; k + 3 < c; ++k) {
      const int32_t d = static_cast<int32_t>(x[k]) - x[k + 3];
      siDMax = d > siDMax ? d : siDMax;
      siDMin = d < siDMin ? d : siDMin;
    }
    int32_t siNoise = 0;
    if (c > 3) {
      const int32_t siPeak = siDMax > -siDMin ? siDMax : -siDMin;
      siNoise = siPeak - (static_cast<int16_t>(uwMean) >> 3);
      if (siNoise < 0) siNoise = 0;
    }
    if (siNoise < uwFloor) siNoise = uwFloor;
    const uint16_t uwNoise = static_cast<uint16_t>(siNoise > 0xFFFF ? 0xFFFF : siNoise);
    const uint16_t uwLevel = static_cast<int16_t>(uwMean) > static_cast<int16_t>(uwFloor) ? uwMean : uwFloor;
    if (uwNoise > h.auwPeak[i]) h.auwPeak[i] = uwNoise;
    if (uwLevel > h.auwLevel[i]) h.auwLevel[i] = uwLevel;
  }
  uint32_t uiSumP = 0, uiSumA = 0;
  h.ubArgMaxP = h.ubArgMinP = h.ubArgMaxA = h.ubArgMinA = 0;
  for (uint8_t i = 0; i < n; ++i) {
    h.auwLevel[i] = static_cast<uint16_t>((static_cast<uint32_t>(h.auwLevel[i]) * 15u) >> 4);
    h.auwPeak[i] = static_cast<uint16_t>((static_cast<uint32_t>(h.auwPeak[i]) * 7u) >> 3);
    h.auwMetric[i] = h.auwPeak[i];
    if (h.auwPeak[i] > h.auwPeak[h.ubArgMaxP]) h.ubArgMaxP = i;
    if (h.auwPeak[i] < h.auwPeak[h.ubArgMinP]) h.ubArgMinP = i;
    if (h.auwLevel[i] > h.auwLevel[h.ubArgMaxA]) h.ubArgMaxA = i;
    if (h.auwLevel[i] < h.auwLevel[h.ubArgMinA]) h.ubArgMinA = i;
    uiSumP += h.auwPeak[i];
    uiSumA += h.auwLevel[i];
  }
  // Frequency 1 is held back: it is chosen only when every other frequency is at least
  // as noisy. Penalties added to it later saturate rather than wrap to a small metric.
  if (n > 1) h.auwMetric[1] = 0xFFFF;
  h.uwMaxPeak = h.auwPeak[h.ubArgMaxP];
  h.uwMinPeak = h.auwPeak[h.ubArgMinP];
  h.uwMaxLevel = h.auwLevel[h.ubArgMaxA];
  h.uwMinLevel = h.auwLevel[h.ubArgMinA];
  h.uwAvgPeak = static_cast<uint16_t>(uiSumP / n);
  h.uwAvgLevel = static_cast<uint16_t>(uiSumA / n);
  if (h.uwMaxLevel >= 301) h.auwMetric[h.ubArgMaxA] = sig::AddSat16(h.auwMetric[h.ubArgMaxA], 10000);
  for (uint8_t i = 0; i < n; ++i) {
    if (h.auwHist2[i] != 0) {
      h.auwAvg[i] = static_cast<uint16_t>((static_cast<uint32_t>(h.auwHist2[i]) + h.auwPeak[i] + h.auwHist1[i]) / 3u);
    }
    h.auwHist2[i] = h.auwHist1[i];
    h.auwHist1[i] = h.auwPeak[i];
  }

  // LCD light mode: a loud frequency 0 with its neighbours raised, without a charger.
  LightModeRec& lm = gstLightModeNcln;
  const uint16_t a0 = h.auwAvg[0], a1 = n > 1 ? h.auwAvg[1] : 0, a2 = n > 2 ? h.auwAvg[2] : 0;
  const bool boCharger = gstCommon.ubChargerFlag != 0;
  const uint8_t ubWasFlag = lm.ubFlag;
  if (a0 >= 101 && (a2 >= 17 || a1 > 16) && !boCharger) {
    if (lm.ubCounter == 255) {
      lm.ubFlag = 1;
    } else {
      lm.ubCounter = static_cast<uint8_t>(lm.ubCounter + 1);
    }
  } else {
    lm.ubCounter = sig::Dec8(lm.ubCounter);
  }
  if (lm.ubCounter >= 6) lm.ubFlag = 1;
  if (lm.ubFlag != 0 && ubWasFlag == 0) gstLcdHighNoise.uwHold = gstLcdHighNoiseCfg.aubData[21];
  if (lm.ubFlag != 0 && a0 <= 9 && gstCommon.uwFrameCounter >= 101 && gstCommon.ubTouchCount != 0) {
    lm.ubExitCnt = sig::Inc8(lm.ubExitCnt);
  }
  if (lm.ubExitCnt >= 6 || boCharger) {
    if (lm.ubFlag != 0) gstLcdHighNoise.uwHold = 0;
    lm.ubCounter = lm.ubExitCnt = lm.ubFlag = 0;
  }

  gstCommon.ubFirstFrameAfterHop = h.ubHopPhase == 1 ? 1 : 0;
  h.ubHopPhase = static_cast<uint8_t>(gstCommon.ubFirstFrameAfterHop * 2u);
  const uint8_t ubCur = h.ubCurIndex < n ? h.ubCurIndex : 0;
  h.uwCurPeak = h.auwPeak[ubCur];
  h.uwCurLevel = h.auwLevel[ubCur];
  NoiseRawdataProCustom();
}

void SetNewFrequence(uint16_t uwFreq) {
  FreqHopFields& h = Hop();
  const uint8_t n = sig::HopCfgNum();
  if (h.ubLock == 0) {
    h.ubPrevIndex = h.ubCurIndex;
    uint8_t ubIndex = GetCurFreqIndex(uwFreq);
    h.ubHopPhase = 1;
    h.ubHopped = 1;
    gstCommon.ubFirstFrameAfterHop = 1;
    if (sig::HopCfgSecond(ubIndex) == 0) {
      ubIndex = 0;
      uwFreq = sig::HopCfgFreq(0);
    }
    h.ubCurIndex = ubIndex;
    h.ubSegMul = ubIndex < n ? sig::HopCfgSegMul(ubIndex) : 0xFF;
    h.uwCurFreq = uwFreq;
    FreqTableSampleCfg(ubIndex, &gstMutualCfgBak);
    gstMutualCfgBak.uwFreq = uwFreq;
    if (gstApp.ubApp != kAppFreqScan) FwPktQueueCmd(kFwCmdSetFreq, &ubIndex, 1);
  } else {
    uwFreq = h.uwCurFreq;
  }
  HopResultSeal(uwFreq);
  gubHopFlag = 1;
  if ((Cfg()[0] & 0x08u) == 0) {
    DelayToUpdateRef(2);
    if (gpstTamrelDebugInfo != nullptr) gpstTamrelDebugInfo[5] = 10;
  }
  GetNewFreqInfo();
  h.ubHopReq = 0;
  memset(h.aubPersist, 0, sizeof(h.aubPersist));
  h.uwWatchCnt = 0;
  if (gpstTamrelDebugInfo != nullptr) {
    gpstTamrelDebugInfo[14] = static_cast<uint8_t>((gpstTamrelDebugInfo[14] & 0x7Fu) | (h.ubPersistNoise != 0 ? 0x80u : 0u));
  }
}

void FreqHopInit() {
  FreqHopFields& h = Hop();
  const uint8_t n = sig::HopCfgNum();
  memset(&gstFreqHop, 0, sizeof(gstFreqHop));
  h.ubStartIndex = GetCurFreqIndex(gstHopResultNcln.auwWord[1]);
  h.ubMask = static_cast<uint8_t>((1u << n) - 1u);
  NoiseNfProcInit();
  h.ubCurIndex = 0xFF;
  h.puwImData = gstCommon.puwImNoiseData;
  h.ubEnabled = (gstThpAfeMoudleCfg.uiAfeWord & 0x400u) != 0 ? 1 : 0;
  h.ubInit3 = 3;
  gstLightModeNcln.ubCounter = gstLightModeNcln.ubExitCnt = 0;
  uint8_t ubIndex = h.ubStartIndex;
  if (gubDefaultFreqForMutual != 0) {
    ubIndex = 0;
    gubDefaultFreqForMutual = 0;
  }
  const uint16_t uwFreq = sig::HopCfgFreq(ubIndex);
  FreqTableSampleCfg(ubIndex, &gstMutualCfgBak);
  h.uwCurFreq = uwFreq;
  if (gstApp.ubApp != kAppFreqScan && n != 0) FwPktQueueCmd(kFwCmdSetFreq, &ubIndex, 1);
  h.ubCurIndex = h.ubPrevIndex = ubIndex;
  GetNewFreqInfo();
  h.ubInit1 = 1;
  if (gstCommon.puwHopSenseBuf != nullptr) memset(gstCommon.puwHopSenseBuf, 0, (gstCommon.ubSenNum + 4u) * 2u);
  h.ubSegMul = ubIndex < n ? sig::HopCfgSegMul(ubIndex) : 0xFF;
  HopResultSeal(uwFreq);
  h.uwHopThr = static_cast<uint16_t>(2u * CfgHopHalf());
  h.uwStayThr = CfgStay();
  h.ubArgMaxP = h.ubArgMinP = h.ubArgMaxA = h.ubArgMinA = 0xFF;
}

void FreqHoppingProc() {
  FreqHopFields& h = Hop();
  const NfNoiseFields& nf = gstNfNoiseProc.st;
  const uint8_t n = sig::HopCfgNum();
  bool boDiscard = false;
  if (h.ubEnabled == 0 || h.ubSuspended != 0) return;
  h.ubHopped = 0;
  const bool boLcdHold = LcdHoldOn();
  const bool boNfActive = nf.ubActive != 0;
  const bool boChargerKind = gstCommon.ubChargerKind != 0;
  const bool boNfLike = boNfActive || nf.ubForcedNoise != 0 || boChargerKind;
  if ((Cfg()[0] & 0x20u) != 0) {
    uint32_t S = CfgStay(), H = 2u * CfgHopHalf();
    if (boNfLike) {
      H += 4u * CfgNfRaise();
      S += CfgNfRaise();
    } else if (nf.ubWhiteActive == 1) {
      H += static_cast<uint32_t>(CfgLcdRaise()) << ((boLcdHold || h.uwMinLevel >= 200) ? 1 : 2);
      S += CfgLcdRaise();
    }
    h.uwHopThr = static_cast<uint16_t>(H);
    h.uwStayThr = static_cast<uint16_t>(S);
  }
  const uint8_t ubNfCfg = gstNoiseNfProcCfg.aubData[0];
  const uint8_t ubPenalty = gstCommon.ubChargerFlag != 0 ? 5 : gstNoiseNfProcCfg.aubData[8];
  const uint8_t* lcd = gstLcdHighNoiseCfg.aubData;
  const uint8_t ubLcdMask = lcd[24];
  const uint8_t ubNfSet = nf.ubFreqSet;
  uint8_t best = 0;
  uint16_t uwMin = 0xFFFF;
  for (uint8_t i = 0; i < n; ++i) {
    bool boSkip = false;
    uint16_t& M = h.auwMetric[i];
    if ((ubNfCfg & 0x01u) != 0) {
      if (!InMask(ubNfSet, i)) {
        if ((ubNfCfg & 0x10u) != 0 && boNfActive && !boLcdHold) boSkip = true;
      } else if (!boNfActive) {
        if ((ubNfCfg & 0x08u) != 0) {
          boSkip = true;
        } else {
          M = sig::AddSat16(M, ubPenalty);
        }
      }
    }
    if (InMask(ubLcdMask, i)) {
      if (!boLcdHold && (lcd[0] & 0x02u) != 0) boSkip = true;
      if (!boLcdHold || (lcd[0] & 0x04u) != 0) M = sig::AddSat16(M, boLcdHold ? h.auwLevel[i] >> 4 : sig::U16(lcd, 22));
    } else if (boLcdHold && (lcd[0] & 0x04u) != 0) {
      boSkip = true;
    }
    if (h.auwLevel[i] > CfgLevelCeiling()) M = 10000;
    if (boSkip) continue;
    if (M < uwMin) {
      uwMin = M;
      best = i;
    }
  }
  if (CfgStay() > uwMin) {
    gstCommon.ubNoiseHoldCnt = sig::Dec8(gstCommon.ubNoiseHoldCnt);
  } else {
    memset(gstCommon.aubNoiseFlags, 1, sizeof(gstCommon.aubNoiseFlags));
    gstCommon.ubNoiseHoldCnt = 5;
  }
  boDiscard = static_cast<int16_t>(gstAdcSatCnt.stMutual.uiValue >> 16) > 1499;
  for (uint8_t i = 0; i < 4 && i < n; ++i) {
    const uint16_t uwLimit = i == h.ubArgMaxA ? 100 : 150;
    if (h.auwMetric[i] >= 11 || h.auwLevel[i] > uwLimit) {
      h.aubPersist[i] = sig::Inc8(h.aubPersist[i]);
    } else if (h.auwMetric[i] < 6) {
      h.aubPersist[i] = sig::Dec8(h.aubPersist[i]);
    }
  }
  const uint8_t cur = h.ubCurIndex < kMaxHopFreq ? h.ubCurIndex : 0;
  const uint16_t Mc = h.auwMetric[cur];
  if (Mc >= 16 && best <= 3 && cur < 4 && h.aubPersist[cur] >= 51 && h.aubPersist[best] == 0) h.ubPersistNoise = 1;
  if (h.uwHopThr < Mc) {
    h.ubHopReq = 1;
  } else {
    h.ubWatchReq = (h.uwStayThr < Mc || h.ubPersistNoise != 0) ? 1 : 0;
  }
  auto searchIn = [&](uint8_t ubMask) {
    for (uint8_t i = 0; i < n; ++i) {
      if (InMask(ubMask, i) && h.auwMetric[i] < h.uwHopThr) {
        best = i;
        uwMin = h.auwMetric[i];
        h.ubHopReq = 1;
        break;
      }
    }
    h.ubWatchReq = 0;
  };
  if (boNfActive || nf.ubWhiteActive != 0 || nf.ubForcedNoise != 0) {
    if (boLcdHold && !InMask(ubLcdMask, cur)) {
      searchIn(ubLcdMask);
    } else if (!boLcdHold && !InMask(ubNfSet, cur)) {
      searchIn(ubNfSet);
    }
  } else if (boChargerKind && !boLcdHold) {
    searchIn(ubNfSet);
  } else if (boLcdHold) {
    searchIn(ubLcdMask);
  }
  if (gstCommon.ubChargerFlag == 0 && nf.ubForcedNoise == 0 && !boChargerKind && InMask(ubNfSet, cur) && !InMask(ubNfSet, best) &&
      h.auwLevel[0] < 300 && h.auwPeak[0] < CfgStay()) {
    h.ubLongStayCnt = sig::Inc8(h.ubLongStayCnt);
    if (h.ubLongStayCnt >= 200) {
      h.ubLongStay = 1;
      h.ubHopReq = 1;
    }
  } else {
    h.ubLongStay = 0;
    h.ubLongStayCnt = 0;
  }
  bool boSwitched = false;
  auto doSwitch = [&](uint8_t ubReason) {
    gubHopDebug[0] = static_cast<uint8_t>(Mc);
    gubHopDebug[1] = static_cast<uint8_t>(uwMin);
    gubHopDebug[2] = cur;
    gubHopDebug[3] = best;
    SetNewFrequence(sig::HopCfgFreq(best));
    h.ubLongStay = 0;
    h.ubLastReason = ubReason;
    boSwitched = true;
  };
  if (best != cur && h.ubHopReq != 0) {
    const uint16_t uwGap = static_cast<uint16_t>(Mc - uwMin);
    uint8_t ubReason = 0;
    if (boLcdHold && ((uwGap & 0xFFu) > lcd[25] || !InMask(ubLcdMask, cur))) {
      ubReason = 1;
    } else if (boNfLike && InMask(ubNfSet, best)) {
      ubReason = 2;
    } else if (uwGap <= h.uwHopThr / 2u || boLcdHold) {
      ubReason = h.ubLongStay != 0 ? 4 : 0;
    } else {
      ubReason = 3;
    }
    h.ubReason = ubReason;
    if (ubReason != 0) doSwitch(ubReason);
  }
  if (!boSwitched && h.ubWatchReq == 1) {
    if (best == h.ubPrevBest) {
      if (cur == best) {
        h.uwWatchCnt = 0;
      } else if (static_cast<uint32_t>(h.uwStayThr) + uwMin < Mc) {
        h.uwWatchCnt = sig::AddSat16(h.uwWatchCnt, 1);
        if (h.uwWatchCnt > CfgConfirm()) doSwitch(9);
      }
    } else {
      h.uwWatchCnt = 0;
    }
    if (!boSwitched && h.ubPersistNoise != 0 && cur != best && Mc > uwMin + h.uwStayThr / 2u) {
      doSwitch(10);
      h.ubPersistNoise = 0;
    }
  }
  h.ubReason = 0;
  h.ubPrevBest = best;
  if (boSwitched || boDiscard) StopFrameSkipped();
}
