// The per-frame decision of the mutual reference update: residue of a lifted touch,
// consistency change, drift and environment, wake leave, per-line check and hop tracking,
// each with its request code, and the rebuild that serves the code.
#include <cstdlib>
#include <cstring>

#include "signal_proc.h"
#include "signal_util.h"
#include "tsa_common.h"
#include "tsa_report.h"

namespace {

constexpr uint8_t kCfgNeverRebuild = 0x01;
constexpr uint8_t kCfgDrift = 0x02;
constexpr uint8_t kCfgEnvironment = 0x04;
constexpr uint8_t kCfgConsistency = 0x20;
constexpr uint8_t kCfgLineLimitPos = 1;
constexpr uint8_t kCfgStepPos = 3;
constexpr uint8_t kCfgRecheckPos = 5;

constexpr uint8_t kCodeDrift = 1;
constexpr uint8_t kCodeEnvironment = 2;
constexpr uint8_t kCodeRecheck = 4;
constexpr uint8_t kCodeConsistency = 6;
constexpr uint8_t kCodePersist = 8;
constexpr uint8_t kCodePersistIdle = 9;
constexpr uint8_t kCodeNoCopy = 12;
constexpr uint8_t kCodeHopDelay = 14;

constexpr uint8_t kEnvCountdownAfterRebuild = 80;
constexpr uint8_t kEnvCountdownState5 = 150;
constexpr uint8_t kEnvCountdownRestart = 30;
constexpr uint8_t kNormState5 = 5;
constexpr uint8_t kWakeLeaveFrames = 11;
constexpr uint8_t kLowTempState = 2;
constexpr uint32_t kMaxLines = kRefMaxLines;

// Per-drive-line entry of the partial rebuild: repeat counter, last maximum (10000 = none),
// copy flag, two spare bytes.
#pragma pack(push, 1)
struct RefLineEntry {
  uint8_t ubCnt;
  uint16_t uwLastMax;
  uint8_t ubCopy;
  uint8_t aubRes[2];
};
#pragma pack(pop)
static_assert(sizeof(RefLineEntry) == 6);
RefLineEntry gastRefLine[kMaxLines];
constexpr uint16_t kLineNoMax = 10000;

uint8_t gaubNodeMark[kFerrantMaxNodes];
uint16_t guwPreHopRegion;
uint8_t gubEdgeCountNow;
uint32_t guiEdgeSumNow;
uint16_t guwEdgeSdNow;

int32_t Abs(int32_t v) { return v < 0 ? -v : v; }
uint16_t Sat16(uint32_t v) { return static_cast<uint16_t>(v > 65535 ? 65535 : v); }
uint8_t AddSat8(uint32_t a, uint32_t b) { return static_cast<uint8_t>(a + b > 255 ? 255 : a + b); }
uint16_t CfgU16(uint32_t at) { return sig::U16(gstRefUpdateCfg.aubData, at); }

// A code found by this frame's analyses; the first one stands.
void Request(uint8_t ubCode) {
  if (gstRefUpdateModule.ubReqCode == 0) gstRefUpdateModule.ubReqCode = ubCode;
}

// ---- Residue of a lifted touch ------------------------------------------------------------

// Second difference over the 2 x 2 square from node (r, c) toward the panel's inside.
int32_t InwardSquare(const uint16_t* x, uint32_t R, uint32_t C, uint32_t r, uint32_t c) {
  const uint32_t c2 = c < C / 2 ? c + 1 : c - 1;
  const uint32_t r2 = r + 1 < R ? r + 1 : r - 1;
  return Abs(x[r * C + c] - x[r * C + c2] - x[r2 * C + c] + x[r2 * C + c2]);
}

struct ResidueFrame {
  bool boAgeing;
  int32_t D, m, T, Q;
};

void ResidueFirstPass(const RefUpdateArgs& a, const ResidueFrame& f, uint32_t uiRow0, uint32_t uiRow1) {
  RefResidualRec& res = gstRefResidual;
  const uint32_t R = a.ubRows, C = a.ubCols;
  const uint16_t* raw = a.puwFiltRaw;
  const uint16_t* ref = a.puwRef;
  const int16_t* lv = gstAgeingArgsNcln.aswLevel;
  for (uint32_t r = uiRow0; r < uiRow1; ++r) {
    for (uint32_t c = 0; c < C; ++c) {
      const uint32_t at = r * C + c;
      const int32_t d = a.pswDiff[at];
      if (d < 31) continue;  // only the raised side of a lifted touch counts
      int32_t siSlope = 0, siResidue = 0;
      if (c < 2 || c + 2 >= C) {
        const uint32_t in = c < 2 ? c + 2 : c - 2;
        if (in >= C) continue;
        siSlope = Abs(raw[r * C + in] - raw[at]);
        const int32_t siSdGain = InwardSquare(raw, R, C, r, c) - InwardSquare(ref, R, C, r, c);
        if (!f.boAgeing) {
          if (siSdGain >= 31) siResidue = d;
        } else {
          const int32_t siLevel = c < 2 ? lv[1] : lv[3];
          if ((siSlope <= siLevel + 30 && siSdGain >= 31) || siSlope > siLevel + 30) {
            if (siSlope > res.uwSlopeResMax) res.uwSlopeResMax = Sat16(static_cast<uint32_t>(siSlope));
          }
        }
      } else {
        const bool boLeftOk = c >= 2 && gaubNodeMark[at - 2] == 0;
        bool boRightOk = c + 2 < C;
        if (c <= 3) boRightOk = boRightOk && f.boAgeing;
        if (c + 5 > C) boRightOk = boRightOk && !f.boAgeing;
        int32_t siRaw = 0, siRef = 0;
        bool boHave = false;
        if (boLeftOk) {
          siRaw = Abs(raw[at] - raw[at - 2]);
          siRef = Abs(ref[at] - ref[at - 2]);
          boHave = true;
        }
        if (boRightOk) {
          const int32_t siRawR = Abs(raw[at] - raw[at + 2]);
          const int32_t siRefR = Abs(ref[at] - ref[at + 2]);
          if (!boHave || siRawR - siRefR > siRaw - siRef) {
            siRaw = siRawR;
            siRef = siRefR;
          }
          boHave = true;
        }
        if (!boHave) continue;
        gaubNodeMark[at] = 1;
        siSlope = siRaw;
        siResidue = (siRef <= 120 && siRaw >= siRef + 10) ? siRaw - siRef : 0;
      }
      if (siSlope > res.uwEdgeSlopeMax) res.uwEdgeSlopeMax = Sat16(static_cast<uint32_t>(siSlope));
      if (siResidue > res.uwSlopeResMax) res.uwSlopeResMax = Sat16(static_cast<uint32_t>(siResidue));
      res.uiSlopeSum += static_cast<uint32_t>(siResidue);
    }
  }
}

void ResidueSecondPass(const RefUpdateArgs& a, const ResidueFrame& f, uint32_t uiRow0, uint32_t uiRow1) {
  RefResidualRec& res = gstRefResidual;
  const uint32_t C = a.ubCols;
  const int32_t siBase = a.uwNormBase;
  for (uint32_t r = uiRow0; r < uiRow1; ++r) {
    for (uint32_t c = 0; c < C; ++c) {
      const uint32_t at = r * C + c;
      const int32_t d = a.pswDiff[at];
      const int32_t ad = Abs(d);
      if (ad >= 11 && ad <= 24) res.uwMidCount = Sat16(res.uwMidCount + 1u);
      if (ad <= 20) continue;
      // The difference matches how far the clean reference itself stands off its level:
      // the touch is in the reference, not on the panel.
      const int32_t g = a.puwCleanRef[at] - siBase;
      if ((g > 0) != (d > 0) || g == 0) continue;
      const int32_t ag = Abs(g);
      const bool boMatch = (Abs(ag - ad) < 20 && ag > 20) || (ag >= 121 && 3 * ad > 2 * ag && 2 * ad < 3 * ag);
      if (!boMatch) continue;
      if (ad > res.uwMatchMax) res.uwMatchMax = Sat16(static_cast<uint32_t>(ad));
      if (!f.boAgeing || (c >= 2 && c + 3 <= C)) res.uiMatchSum += static_cast<uint32_t>(ad);
    }
  }
}

// Steps of the residue analysis over one half of the rows; true when the decision at the
// end of the second half ran (whatever it found).
void ResidueAnalysis(RefUpdateArgs& a, const ResidueFrame& f) {
  RefResidualRec& res = gstRefResidual;
  RefUpdateModuleRec& mod = gstRefUpdateModule;
  const uint32_t R = a.ubRows;
  if (res.ubPhase == 0) {
    const uint16_t auwKeep[2] = {res.auwEdgeDevAtRebuild[0], res.auwEdgeDevAtRebuild[1]};
    memset(&res, 0, sizeof(res));
    res.auwEdgeDevAtRebuild[0] = auwKeep[0];
    res.auwEdgeDevAtRebuild[1] = auwKeep[1];
    res.uwBigLimit = 2000;
    res.ubFirstRow = 0;
    res.ubEndRow = static_cast<uint8_t>(R / 2);
  } else {
    res.ubFirstRow = static_cast<uint8_t>(R / 2);
    res.ubEndRow = static_cast<uint8_t>(R);
  }
  mod.ubAnalysisSpacing = 0;
  memset(gaubNodeMark, 0, sizeof(gaubNodeMark));
  if (f.boAgeing && res.ubPhase == 1) {
    RefEdgeStats st;
    RefEdgeStatistics(1, &st);
    for (uint32_t side = 0; side < 2; ++side) {
      res.auwEdgeDevCur[side] = st.aboActive[side] != 0 ? RefEdgeDeviation(st, side) : res.auwEdgeDevAtRebuild[side];
      const int32_t cur = res.auwEdgeDevCur[side], was = res.auwEdgeDevAtRebuild[side];
      if (Abs(cur - was) < 201) continue;
      const uint32_t uiExcess = static_cast<uint32_t>(Abs(cur - was) - 100);
      if (cur > was) {
        res.uiSlopeSum += uiExcess;
      } else {
        res.uiMatchSum += uiExcess;
        if (st.aiMax[side] > res.uwMatchMax) res.uwMatchMax = Sat16(static_cast<uint32_t>(st.aiMax[side]));
      }
    }
  }
  ResidueFirstPass(a, f, res.ubFirstRow, res.ubEndRow);
  const bool boBig = (f.D >= 81 || f.m <= -81) && res.uwEdgeSlopeMax >= 81 && res.uwSlopeResMax >= 71 &&
                     res.uiSlopeSum > res.uwBigLimit;
  if (boBig) {
    // A real touch on the panel: nothing to learn about the reference from this half.
    if (res.ubPhase == 1) {
      if (res.uiSlopeSum < gstRefConsistance.uiRefDrvConsist) gboNeedConsisUpdate = 1;
      res.ubPhase = 0;
    } else {
      res.ubPhase = 1;
    }
    return;
  }
  ResidueSecondPass(a, f, res.ubFirstRow, res.ubEndRow);
  if (res.ubPhase == 0) {
    res.ubPhase = 1;
    return;
  }
  const uint32_t S1 = res.uiSlopeSum, S2 = res.uiMatchSum;
  const int32_t M2 = res.uwMatchMax, R1 = res.uwSlopeResMax, E = res.uwEdgeSlopeMax, N = res.uwMidCount;
  const bool boGlove = a.ubGloveSat != 0;
  const bool boConfirmed =
      (S2 >= 121 && E <= 34 && M2 > E && !boGlove) ||
      (S2 >= 151 && ((2 * S1 < S2 && M2 - R1 >= 41 && !boGlove) || (S2 >= 1001 && 2 * S1 + 500 < S2) ||
                     (S2 >= 501 && 8 * S1 < S2))) ||
      (N >= 81 && E <= 29 && M2 > E && f.D >= 36 && a.ubCleanRefDev != 0 && f.D < f.Q && !boGlove) ||
      (mod.ubResiduePending != 0 && !((f.D > 39 && E > 39) || (f.D <= 39 && f.m < -39 && E >= 40)));
  if (boConfirmed) {
    if (gubTxResNumSmall >= 5) {
      gubTxResNumSmall = 0;
      mod.ubResiduePending = 0;
      Request(kRefCodeResidue);
    } else {
      gubTxResNumSmall = static_cast<uint8_t>(gubTxResNumSmall + 1);
      a.ubResidueConfirm = 1;
      mod.ubResiduePending = ((S2 > 500 && S1 < 150) || E < 50 || S1 == 0) ? 1 : 0;
    }
  } else {
    if (gstRefConsistance.uiRefDrvConsist >= 101 && E >= 36 && S2 >= 201 && S2 > S1 && M2 > R1) gboNeedConsisUpdate = 1;
    gubTxResNumSmall = 0;
    mod.ubResiduePending = 0;
  }
  res.ubPhase = 0;
}

// ---- Consistency change ----------------------------------------------------------------

uint32_t MeanOf(const uint16_t* x, uint32_t n) {
  if (n == 0 || x == nullptr) return 0;
  uint64_t s = 0;
  for (uint32_t i = 0; i < n; ++i) s += x[i];
  return static_cast<uint32_t>(s / n);
}

bool AnyPointMoved(const RefUpdateArgs& a) {
  if (a.puwCurX == nullptr || a.puwCurY == nullptr || a.puwPrevX == nullptr || a.puwPrevY == nullptr) return false;
  for (uint32_t i = 0; i < 12; ++i) {
    if (a.puwCurX[i] == 0xFFFF || a.puwPrevX[i] == 0xFFFF) continue;
    const int32_t dx = Abs(a.puwCurX[i] - a.puwPrevX[i]);
    const int32_t dy = Abs(a.puwCurY[i] - a.puwPrevY[i]);
    if (dx >= 11 || dy > 10 || dx + dy > 12) return true;
  }
  return false;
}

void ConsistencyCheck(RefUpdateArgs& a, const ResidueFrame& f) {
  RefConsistanceRec& rc = gstRefConsistance;
  const uint32_t uiLineLimit = CfgU16(kCfgLineLimitPos);
  gubConsistenceRefUp = 0;
  rc.ubTickAcc = AddSat8(rc.ubTickAcc, a.ubTick);
  const int32_t T = f.T, D = f.D, m = f.m;
  if (a.ubNormState == kNormState5) {
    const int32_t Th = a.ubDoubledThr != 0 ? T / 2 : T;
    const bool boDeep = D < Th && m < -Th / 2;
    const uint32_t uiLtLimit = a.ubLongMode != 0 ? 3600u : 1200u;
    const bool boStay = rc.ubTickAcc < 21 && rc.ubChangeCnt == 0 && !boDeep &&
                        rc.uiAlignDrvConsist + uiLineLimit >= rc.uiCleanDrvConsist &&
                        (a.aubLowTempConsist[0] == 0 || a.uwLowTempConsistFrames >= uiLtLimit);
    if (!boStay) {
      rc.ubTickAcc = 0;
      rc.ubCheckPending = 1;
    }
  }
  const bool boTouch = a.ubTouchNum != 0;
  const uint32_t uiAvgRaw = boTouch ? 0 : MeanOf(a.puwFiltRaw, a.uwNodeNum);
  const uint32_t uiAvgRef = boTouch ? 0 : MeanOf(a.puwRef, a.uwNodeNum);
  if (a.ubLongMode != 0 && boTouch && rc.ubCheckPending == 0 && a.ubLargeArea == 0 && a.ubTimerHold == 0) return;
  // The raw map aligned to the clean reference: what the panel would show without the
  // reference's own roughness.
  auto* puwAligned = reinterpret_cast<uint16_t*>(a.apswScratch[2]);
  if (puwAligned == nullptr) return;
  const uint32_t N = a.uwNodeNum;
  for (uint32_t i = 0; i < N; ++i) puwAligned[i] = static_cast<uint16_t>(a.puwCleanRef[i] - a.pswDiff[i]);
  const uint32_t uiAlign = CalcCurConsistencyDrv(puwAligned, 0, a.ubRows, kConsistNeighbour);
  const int32_t siLargest = rc.swLargestDiff;
  const uint32_t uiRaw = CalcCurConsistencyDrv(a.puwFiltRaw, 0, a.ubRows, kConsistSecondNeighbour);
  rc.swLargestDiff = static_cast<int16_t>(siLargest);
  rc.uiAlignDrvConsist = uiAlign;
  rc.uiRawDrvConsist = uiRaw;
  if (rc.ubCheckPending == 0 && a.ubLargeArea == 0) {
    const uint32_t uiGap = uiAvgRaw > uiAvgRef ? uiAvgRaw - uiAvgRef : uiAvgRef - uiAvgRaw;
    if (boTouch || uiGap < 201 || siLargest >= T) return;
  }
  rc.uiWholeConsist = RefWholeConsistency(a.puwFiltRaw, a.puwRef);
  if (rc.ubSampleCnt == 0) {
    gboIsMove = AnyPointMoved(a) ? 1 : 0;
  } else if (gboIsMove == 0) {
    gboIsMove = AnyPointMoved(a) ? 1 : 0;
  }
  rc.ubSampleTarget = 3;
  rc.auiSums[0] += rc.uiWholeConsist;
  rc.auiSums[1] += uiRaw;
  rc.auiSums[2] += uiAlign;
  if (rc.ubSampleCnt + 1 < rc.ubSampleTarget) {
    ++rc.ubSampleCnt;
    return;
  }
  const uint32_t uiWholeAvg = rc.auiSums[0] / 3;
  const uint32_t uiRawAvg = rc.auiSums[1] / 3;
  const uint32_t uiAlignAvg = rc.auiSums[2] / 3;
  rc.auiAverages[0] = uiRawAvg;
  rc.auiAverages[1] = uiAlignAvg;
  rc.auiSums[1] = 0;
  rc.auiSums[2] = 0;
  rc.ubSampleCnt = 0;
  rc.ubCheckPending = 0;
  if (uiRawAvg < rc.uiMinimum) rc.uiMinimum = uiRawAvg;
  if (rc.uiWholeAtRebuild > uiWholeAvg + uiLineLimit && rc.uwRecheckCnt < gstRefUpdateCfg.aubData[kCfgRecheckPos] &&
      rc.uiWholeAtRebuild > rc.uiWholeConsist) {
    rc.auiSums[0] = 0;
    ++rc.uwRecheckCnt;
    gubConsistenceRefUp = kCodeRecheck;
    return;
  }
  rc.auiSums[0] = 0;
  const int64_t siRefDrv = rc.uiRefDrvConsist;
  const int64_t t1 = siRefDrv > 100 ? (siRefDrv / 5 < uiLineLimit ? siRefDrv / 5 : uiLineLimit) : 100;
  int64_t t2 = 3 * static_cast<int64_t>(uiLineLimit);
  if (a.ubNormFlagB != 0 && a.ubNormFlagC == 0) t2 = uiLineLimit;
  if (a.ubNormFlagB == 0 && a.ubIronCover != 0) t2 = -4096;
  if (a.ubDoubledThr != 0) t2 *= 2;
  int64_t siStep = CfgU16(kCfgStepPos);
  if (a.ubDoubledThr != 0) siStep *= 2;
  const int64_t K = rc.uiCleanDrvConsist, aa = uiAlignAvg, av = uiAlign, ra = uiRawAvg, rv = uiRaw;
  const int64_t t = T, mn = rc.uiMinimum;
  const bool c1 = K <= aa + t2 || K <= av + t2;
  const bool c2 = K <= t2 / 2 || aa >= K - K / 4 || av >= K - K / 4;
  const bool c3 = (K > t2 / 2 || K <= 2 * t || aa + t >= K || K <= av + t - t / 4) &&
                  (K > 2 * t || K <= t || aa >= K / 2 || av >= K - K / 4);
  const bool c4 = t1 + ra >= siRefDrv || t1 + rv >= siRefDrv;
  const bool c5 = a.ubNormFlagB == 0 || a.ubNormFlagC != 0 || rv - mn >= siStep || mn + siStep >= siRefDrv;
  if (c1 && c2 && c3 && c4 && c5) {
    rc.ubChangeCnt = 0;
    return;
  }
  if (!c4) {
    a.ubRebuildDetail = 26;
  } else if (c1 && c2 && c3) {
    a.ubRebuildDetail = 27;
  }
  rc.ubChangeCnt = AddSat8(rc.ubChangeCnt, 1);
  if (rc.ubChangeCnt > 3 || (rc.ubChangeCnt >= 2 && gboIsMove != 0)) gubConsistenceRefUp = kCodeConsistency;
}

// ---- Persistence, drift, environment -----------------------------------------------------

void SignalPersistence(RefUpdateArgs& a, const ResidueFrame& f) {
  RefConsistanceRec& rc = gstRefConsistance;
  if (a.ubGameStatus != 0 || a.ubLongMode != 0 || a.ubDoubledThr != 0) {
    if (rc.uwSignalPersist != 0) --rc.uwSignalPersist;
  } else if (rc.swPrevLargestDiff < f.T / 2 && f.D > f.T / 2 + 10) {
    rc.uwSignalPersist = Sat16(rc.uwSignalPersist + 1u);
    if (a.ubIdleUpdate != 0 && a.ubTimerHold == 1) Request(kCodePersistIdle);
  } else if (rc.uwSignalPersist != 0) {
    --rc.uwSignalPersist;
  }
  rc.swPrevLargestDiff = rc.swLargestDiff;
  if (rc.uwSignalPersist >= 121) {
    // Served once: the count starts again rather than asking every frame.
    rc.uwSignalPersist = 0;
    Request(kCodePersist);
  }
  if (gubConsistenceRefUp != 0) {
    Request(gubConsistenceRefUp);
    gubConsistenceRefUp = 0;
  }
}

void DriftUpdate(const RefUpdateArgs& a, const ResidueFrame& f) {
  RefUpdateModuleRec& mod = gstRefUpdateModule;
  if (a.ubTouchNum != 0) return;
  if (gboSRefOffUpFlag != 0) {
    if (f.D > f.Q) return;
    mod.ubDriftAcc = AddSat8(mod.ubDriftAcc, a.ubTick);
    if (mod.ubDriftAcc >= 9) Request(kCodeDrift);
    return;
  }
  if (f.D >= f.Q) return;
  const uint32_t C = a.ubCols;
  uint32_t uiAbove = 0, uiBelow = 0;
  for (uint32_t r = 0; r < a.ubRows; ++r) {
    const int32_t e0 = a.puwRef[r * C] - a.puwFiltRaw[r * C];
    const int32_t e1 = a.puwRef[r * C + C - 1] - a.puwFiltRaw[r * C + C - 1];
    const int32_t mean = (e0 + e1) / 2;
    if (mean > f.T) ++uiAbove;
    if (mean < -f.Q) ++uiBelow;
  }
  mod.ubLinesAbove = static_cast<uint8_t>(uiAbove);
  mod.ubLinesBelow = static_cast<uint8_t>(uiBelow);
  uint8_t ubDir = 0;
  if (uiAbove > 5 * uiBelow + 5) ubDir = 1;
  if (uiBelow > 5 * uiAbove + 5) ubDir = 2;
  if (ubDir == 0) {
    const uint32_t uiDecay = 2u * a.ubTick;
    mod.ubDriftAcc = static_cast<uint8_t>(mod.ubDriftAcc > uiDecay ? mod.ubDriftAcc - uiDecay : 0);
    return;
  }
  if (mod.ubDriftDir != 0 && mod.ubDriftDir != ubDir) {
    mod.ubDriftAcc = 0;
    mod.ubDriftDir = 0;
    return;
  }
  mod.ubDriftDir = ubDir;
  mod.ubDriftAcc = AddSat8(mod.ubDriftAcc, a.ubTick);
  if (mod.ubDriftAcc >= 11) {
    gboSRefOffUpFlag = 1;
    mod.ubDriftAcc = 0;
  }
}

bool FrameFlat(const RefUpdateArgs& a, bool boState5) {
  const int32_t siBand = boState5 ? gstRefUpdateModule.uwEnvBand / 4 : 0;
  for (uint32_t i = 0; i < a.uwNodeNum; ++i)
    if (Abs(a.pswDiff[i]) > siBand) return false;
  return true;
}

void EnvironmentUpdate(const RefUpdateArgs& a, const ResidueFrame& f) {
  RefUpdateModuleRec& mod = gstRefUpdateModule;
  const bool boState5 = a.ubNormState == kNormState5;
  if (Abs(a.scTemp - mod.scRebuildTemp) >= 2 && f.D <= f.T && f.m >= -f.T) {
    Request(kCodeEnvironment);
    return;
  }
  if (a.ubTouchNum != 0 || a.ubLargeArea != 0) mod.ubEnvCountdown = boState5 ? kEnvCountdownState5 : kEnvCountdownAfterRebuild;
  if (f.D >= f.Q || FrameFlat(a, boState5)) return;
  if (mod.ubEnvCountdown != 0) {
    mod.ubEnvCountdown = static_cast<uint8_t>(mod.ubEnvCountdown > a.ubTick ? mod.ubEnvCountdown - a.ubTick : 0);
    return;
  }
  gboSRefEnviUpdateFlag = 1;
  const int32_t siRange = boState5 ? f.T / 2 : f.T;
  if (f.D - f.m <= siRange) {
    Request(kCodeEnvironment);
  } else {
    mod.ubEnvCountdown = kEnvCountdownRestart;
  }
}

// ---- Wake leave and the per-line check ---------------------------------------------------

void WakeLeave(const RefUpdateArgs& a) {
  if (*a.puiWakeCheck != kFpWakeArmed) return;
  // After a wake the restored reference is trusted only until the panel has been free of
  // touches for a while; then it is rebuilt from what the panel shows.
  if (a.ubTouchNum == 0) gubIsFWakeLeaveCnt = sig::Inc8(gubIsFWakeLeaveCnt);
  if (gubIsFWakeLeaveCnt < kWakeLeaveFrames) return;
  *a.puiWakeCheck = 0;
  gubIsFWakeLeaveCnt = 0;
  Request(kRefCodeDelayed);
  gboSelfForceRefUpdate = 1;
}

uint32_t LineConsistency(const uint16_t* x, uint32_t r) {
  return CalcCurConsistencyDrv(x, static_cast<uint8_t>(r), static_cast<uint8_t>(r + 1), kConsistNeighbour);
}

void PerLineCheck(const RefUpdateArgs& a, const ResidueFrame& f) {
  RefUpdateModuleRec& mod = gstRefUpdateModule;
  if (f.D - f.m < 51) {
    RefResetLineEntries();
    mod.aubEdgeMarks[0] = 0;
    mod.aubEdgeMarks[1] = 0;
    return;
  }
  const uint32_t R = a.ubRows < kMaxLines ? a.ubRows : kMaxLines;
  const uint32_t uiLimit = CfgU16(kCfgLineLimitPos);
  bool boPartial = false;
  for (uint32_t r = 0; r < R; ++r) {
    const bool boFirst = r < 4;
    if (!boFirst && r + 4 < R) continue;
    RefLineEntry& e = gastRefLine[r];
    const uint32_t uiA = LineConsistency(a.puwFiltRaw, r);
    const uint32_t uiB = LineConsistency(a.puwRef, r);
    if (uiA + 300 < uiB) {
      if (e.uwLastMax < kLineNoMax && Abs(e.uwLastMax - f.D) <= 200) e.ubCnt = AddSat8(e.ubCnt, 1);
      e.uwLastMax = static_cast<uint16_t>(f.D < 0 ? 0 : f.D);
      if (e.ubCnt >= 4) {
        e.ubCopy = 1;
        boPartial = true;
      } else if (uiB > uiLimit) {
        mod.aubEdgeMarks[boFirst ? 0 : 1] = 1;
      }
    } else if (uiA > uiB) {
      e = RefLineEntry{0, kLineNoMax, 0, {0, 0}};
    } else if (e.ubCnt == 0) {
      e.ubCnt = 1;
    }
  }
  if (!boPartial) return;
  mod.ubReqCode = kRefCodePartial;
  for (uint32_t r = 0; r < R; ++r)
    if (gastRefLine[r].ubCnt != 0) gastRefLine[r].ubCopy = 1;
}

// ---- Hop tracking --------------------------------------------------------------------------

// Nodes of the three first and three last columns above T/2: count, sum, largest raw
// second difference along the row.
void EdgeSums(const RefUpdateArgs& a, int32_t T) {
  const uint32_t C = a.ubCols;
  uint32_t uiCount = 0, uiSum = 0, uiSd = 0;
  for (uint32_t r = 0; r < a.ubRows; ++r) {
    for (uint32_t c = 0; c < C; ++c) {
      if (c >= 3 && c + 3 < C) continue;
      const uint32_t at = r * C + c;
      if (a.pswDiff[at] <= T / 2) continue;
      ++uiCount;
      uiSum += static_cast<uint32_t>(a.pswDiff[at]);
      const uint32_t c1 = c < C / 2 ? c + 1 : c - 1, c2 = c < C / 2 ? c + 2 : c - 2;
      if (c2 < C) {
        const uint32_t sd = static_cast<uint32_t>(Abs(a.puwFiltRaw[at] - 2 * a.puwFiltRaw[r * C + c1] + a.puwFiltRaw[r * C + c2]));
        if (sd > uiSd) uiSd = sd;
      }
    }
  }
  gubEdgeCountNow = static_cast<uint8_t>(uiCount > 254 ? 254 : uiCount);
  guiEdgeSumNow = uiSum;
  guwEdgeSdNow = Sat16(uiSd);
}

uint16_t RegionSize(const RefUpdateArgs& a, int32_t T) {
  uint32_t n = 0;
  for (uint32_t i = 0; i < a.uwNodeNum; ++i) n += a.pswDiff[i] > T / 2 ? 1u : 0u;
  return Sat16(n);
}

void SetMark(const RefUpdateArgs& a) {
  RefHopArgsRec& h = gstRefHopArgs;
  h.ubCountAtMark = gubEdgeCountNow;
  h.uiSumAtMark = guiEdgeSumNow;
  h.uwEdgeMaxAtMark = guwEdgeSdNow;
  h.uwRegionAtMark = a.uwRegionSize;
  h.uiRawDrvAtMark = gstRefConsistance.uiRawDrvConsist;
}

void ClearMark() {
  gstRefHopArgs.ubCountAtMark = 255;
  gstRefHopArgs.uiSumAtMark = 0x7FFFFFFF;
}

void EndHop(RefUpdateArgs& a, uint8_t ubCode, uint8_t ubDetail) {
  gstRefUpdateModule.ubReqCode = ubCode;
  a.ubHopFlag = 0;
  a.ubRebuildDetail = ubDetail;
}

void HopTracking(RefUpdateArgs& a, const ResidueFrame& f) {
  RefHopArgsRec& h = gstRefHopArgs;
  EdgeSums(a, f.T);
  a.uwRegionSize = RegionSize(a, f.T);
  if (a.ubHopFlag != 1) {
    h.ubEdgeCount = gubEdgeCountNow;
    guwPreHopRegion = a.uwRegionSize;
    h.ubCounter = 0;
    ClearMark();
    return;
  }
  a.ubRebuildDetail = 18;
  if (a.ubNormFlagA == 0 || a.ubNormFlagB == 0) {
    EndHop(a, kCodeHopDelay, 17);
    return;
  }
  const bool boZig = CheckVXNState(a.pswDiff, a.ubCols, a.ubRows, nullptr) != 0;
  const bool boSignal = a.ubTouchNum != 0 || ((f.D >= f.T / 2 || f.m <= -f.T) && !boZig);
  if (!boSignal) {
    h.ubCounter = AddSat8(h.ubCounter, 1);
    if (f.D >= 21) SetMark(a);
    if (h.ubCounter >= 4) EndHop(a, kRefCodeDelayed, 18);
    return;
  }
  if (a.ubLowTempState == kLowTempState) return;
  const bool boHaveMark = h.ubCountAtMark != 255;
  const int64_t siCount = gubEdgeCountNow, siSum = guiEdgeSumNow;
  if (h.ubCounter == 0) {
    const int64_t siGrow = siCount - h.ubEdgeCount;
    const bool boStart = (2 * siGrow > 3 * static_cast<int64_t>(a.ubRows) && (f.D < f.Q || (f.D > f.Q && guwEdgeSdNow < f.Q))) ||
                         (static_cast<int32_t>(a.uwRegionSize) - guwPreHopRegion > 30 && siGrow > a.ubRows);
    if (boStart && (!boHaveMark || std::llabs(siSum - h.uiSumAtMark) <= 15 * static_cast<int64_t>(h.ubCountAtMark)))
      h.ubCounter = 1;
  } else {
    const int64_t siMarkCount = boHaveMark ? h.ubCountAtMark : 0;
    const int64_t lo = siCount < siMarkCount ? siCount : siMarkCount, hi = siCount < siMarkCount ? siMarkCount : siCount;
    const bool boSame = boHaveMark && Abs(guwEdgeSdNow - h.uwEdgeMaxAtMark) <= 50 && 4 * lo >= 3 * hi &&
                        std::llabs(siSum - h.uiSumAtMark) <= 15 * siCount;
    const bool boSmooth = gstRefConsistance.uiRawDrvConsist <= h.uiRawDrvAtMark + 599u;
    h.ubCounter = (boSame || boSmooth) ? AddSat8(h.ubCounter, 1) : 0;
    if (h.ubCounter >= 11) {
      EndHop(a, kRefCodeDelayed, 19);
      return;
    }
  }
  if (boHaveMark && siSum + 500 < h.uiSumAtMark && siCount + 6 < h.ubCountAtMark) SetMark(a);
}

// ---- Rebuild ---------------------------------------------------------------------------------

void Rebuild(RefUpdateArgs& a, uint8_t ubCode) {
  RefUpdateModuleRec& m = gstRefUpdateModule;
  const uint32_t uiCols = a.ubCols;
  if (ubCode == kRefCodePartial) {
    // Only the drive lines whose reference lost consistency are replaced.
    for (uint32_t r = 0; r < a.ubRows && r < kMaxLines; ++r) {
      if (gastRefLine[r].ubCopy == 0) continue;
      memcpy(a.puwRef + r * uiCols, a.puwFiltRaw + r * uiCols, uiCols * sizeof(uint16_t));
      gastRefLine[r].ubCopy = 0;
    }
  } else if (ubCode != kCodeNoCopy) {
    memset(a.pswDiff, 0, a.uwNodeNum * sizeof(int16_t));
    memcpy(a.puwRef, a.puwFiltRaw, a.uwNodeNum * sizeof(uint16_t));
  }
  RefCleanUp();
  m.ubEnvCountdown = kEnvCountdownAfterRebuild;
  // A partial or an environment rebuild leaves the self reference alone, and so does a
  // delayed one: those are not signs that a touch was left in the self reference too.
  if (ubCode < kRefCodeDelayed && ubCode != kCodeEnvironment && ubCode != kRefCodePartial) gboSelfForceRefUpdate = 1;
  memset(&gstRefHopArgs, 0, sizeof(gstRefHopArgs));
  ClearMark();
  memset(&gstRefResidual, 0, sizeof(gstRefResidual));
  gubRefUpdateBook[0] = static_cast<uint8_t>(gubRefUpdateBook[0] + 1);
  gubRefUpdateBook[1] = ubCode;
  a.ubRebuildCode = ubCode;
  a.ubRebuildMarker = 3;
  m.ubLastRebuildFlag = a.ubIdleUpdate != 0 ? 1 : 0;
  RefConsistencyEvaluate(ubCode);
  m.ubResiduePending = 0;
  gboNeedConsisUpdate = 0;
  if (ubCode == kRefCodeDelayed) gstRefConsistance.uiMinimum = gstRefConsistance.uiRawDrvConsist;
  m.ubReqCode = 0;
  m.ubDriftDir = 0;
  gboSRefOffUpFlag = 0;
  gboSRefEnviUpdateFlag = 0;
  m.ubDriftAcc = 0;
  m.ubSpare = 0;
  gstRefConsistance.ubRebuilt = 0;
}

void CopyOutputs(RefUpdateArgs& a) {
  a.uwScreenConsistOut = gstRefConsistance.uwScreenConsist;
  a.uiWholeAtRebuildOut = gstRefConsistance.uiWholeAtRebuild;
  a.uiRefDrvConsistOut = gstRefConsistance.uiRefDrvConsist;
}

// Steps that run only without a pending code: low temperature, residue, consistency,
// persistence, drift, environment and wake leave. False when the frame goes straight on
// to the hop tracking (low temperature).
bool Analyses(RefUpdateArgs& a, const ResidueFrame& f) {
  RefUpdateModuleRec& mod = gstRefUpdateModule;
  RefConsistanceRec& rc = gstRefConsistance;
  if (a.ubLowTempState == kLowTempState && a.ubGameStatus == 0) {
    gboLowTmpStaExit = 1;
    if (a.aubLowTempConsist[0] != 0) {
      mod.ubAnalysisSpacing = static_cast<uint8_t>(mod.ubAnalysisSpacing + 1);
      if (mod.ubAnalysisSpacing >= 21) {
        mod.ubAnalysisSpacing = 0;
        rc.uiRefDrvConsist = CalcCurConsistencyDrv(a.puwRef, 0, a.ubRows, kConsistSecondNeighbour);
        rc.uwScreenConsist = static_cast<uint16_t>(rc.swLargestDiff);
        if (rc.uwScreenConsist < 250) {
          a.aubLowTempConsist[0] = 0;
          a.aubLowTempConsist[1] = 0;
        }
      }
    }
    return false;
  }
  if (gboLowTmpStaExit != 0) {
    RefCleanUp();
    RefConsistencyEvaluate(0);
    gboLowTmpStaExit = 0;
  }
  if ((mod.ubAnalysisSpacing >= 2 && f.D - f.m >= 41) || mod.ubResiduePending != 0) {
    ResidueAnalysis(a, f);
  } else {
    mod.ubAnalysisSpacing = static_cast<uint8_t>(mod.ubAnalysisSpacing < 2 ? mod.ubAnalysisSpacing + 1 : 2);
  }
  if (mod.ubReqCode == kRefCodeResidue) return true;
  const uint8_t ubCfg = gstRefUpdateCfg.aubData[0];
  if ((ubCfg & kCfgConsistency) != 0 && gboNeedConsisUpdate != 0 && a.aubLowTempConsist[0] == 0) ConsistencyCheck(a, f);
  SignalPersistence(a, f);
  const bool boGlove = a.ubGloveSat != 0;
  if ((ubCfg & kCfgDrift) != 0 && !boGlove) DriftUpdate(a, f);
  if ((ubCfg & kCfgEnvironment) != 0 && !boGlove) EnvironmentUpdate(a, f);
  WakeLeave(a);
  return true;
}

}  // namespace

void RefResetLineEntries() {
  for (RefLineEntry& e : gastRefLine) e = RefLineEntry{0, kLineNoMax, 0, {0, 0}};
}

uint8_t RefLineCopyMark(uint8_t ubLine) { return ubLine < kMaxLines ? gastRefLine[ubLine].ubCopy : 0; }

void RefUpdatePanelMutual(RefUpdateArgs* pa) {
  RefUpdateModuleRec& m = gstRefUpdateModule;
  gpstRefUpdateArgs = pa;
  RefUpdateArgs& a = *pa;
  a.ubRebuildCode = 0;
  a.ubRebuildMarker = 0;
  a.ubResidueConfirm = 0;
  m.aubEdgeMarks[0] = 0;
  m.aubEdgeMarks[1] = 0;
  if ((gstRefUpdateCfg.aubData[0] & kCfgNeverRebuild) != 0 || a.uwRefValid == 0 || a.puwRef == nullptr ||
      a.puwFiltRaw == nullptr || a.pswDiff == nullptr || a.puwCleanRef == nullptr || a.puiWakeCheck == nullptr) {
    CopyOutputs(a);
    return;
  }
  if (a.ubReqCodeIn != 0) m.ubReqCode = a.ubReqCodeIn;
  a.ubReqCodeIn = 0;
  const ResidueFrame f{gstAgeingArgsNcln.ubValid != 0, a.swDiffMax, a.swDiffMin, a.swTouchThr, a.swQuietThr};
  if (a.ubIdleUpdate != 0) {
    m.ubDriftAcc = 0;
    m.ubSpare = 0;
    if (m.ubEnvCountdown < a.ubTick) m.ubEnvCountdown = a.ubTick;
    const int32_t siHalf = f.T / 2;
    if (f.D < siHalf && f.m > -siHalf) gboSelfForceRefUpdate = 1;
  }
  bool boLineCheck = true;
  if (m.ubReqCode == 0) boLineCheck = Analyses(a, f);
  if (m.ubReqCode != kRefCodeResidue) {
    if (boLineCheck && m.ubLineCheckEn != 0 && a.ubHopFlag == 0 && a.ubGloveSat == 0) PerLineCheck(a, f);
    HopTracking(a, f);
  }
  if (m.ubReqCode >= 1 && m.ubReqCode <= kRefCodeDelayed) {
    Rebuild(a, m.ubReqCode);
  } else if (m.ubReqCode > kRefCodeDelayed) {
    m.ubReqCode = static_cast<uint8_t>(m.ubReqCode - 1);
  }
  CopyOutputs(a);
}
