// Reference consistency measures: per-drive-line roughness of a map, the zig-zag detector,
// the reference clean-up, the consistency evaluation after a rebuild with the edge
// statistics and ageing learning, and the corner blend. They read the dimensions and
// thresholds of the current reference-module call.
#include <cstdlib>
#include <cstring>

#include "lcd_denoise.h"
#include "mathlib.h"
#include "signal_proc.h"
#include "signal_util.h"
#include "tsa_common.h"

RefConsistanceRec gstRefConsistance;
uint8_t gubNeedJudgeEdgeGrib;

namespace {

constexpr int32_t kNeighbourFloor = 15;
constexpr int32_t kEdgeGripLevel = 151;
constexpr uint8_t kNodeThresholdPos = 8;  // ninth configuration byte
// Second differences of every line of the last second-neighbour pass.
int16_t gaswSecondDiff[kRefMaxLines][kRefMaxCols];

int32_t Abs(int32_t v) { return v < 0 ? -v : v; }
// Excess of |v| over the node threshold, the threshold doubled at a line's first and last
// position, where a single edge node moves more.
uint32_t Excess(int32_t v, uint32_t c, uint32_t uiLast, int32_t iThr) {
  const int32_t t = (c == 0 || c == uiLast) ? 2 * iThr : iThr;
  const int32_t a = Abs(v);
  return a > t ? static_cast<uint32_t>(a - t) : 0;
}

}  // namespace

uint32_t CalcCurConsistencyDrv(const uint16_t* puwMap, uint8_t ubFirst, uint8_t ubEnd, uint8_t ubMode) {
  RefConsistanceRec& rc = gstRefConsistance;
  rc.swLargestDiff = 0;
  const RefUpdateArgs* a = gpstRefUpdateArgs;
  if (a == nullptr || puwMap == nullptr) return 0;
  const uint32_t uiRows = a->ubRows < kRefMaxLines ? a->ubRows : kRefMaxLines;
  const uint32_t uiCols = a->ubCols < kRefMaxCols ? a->ubCols : kRefMaxCols;
  const uint32_t uiEnd = ubEnd < uiRows ? ubEnd : uiRows;
  const uint32_t uiGap = ubMode == kConsistNeighbour ? 1 : 2;
  if (uiCols <= uiGap) return 0;
  const int32_t iThr = gstRefUpdateCfg.aubData[kNodeThresholdPos];
  int32_t aiLineMax[kRefMaxLines] = {};
  for (uint32_t r = ubFirst; r < uiEnd; ++r) {
    const uint16_t* x = puwMap + r * a->ubCols;
    const uint32_t uiN = uiCols - uiGap;
    int32_t iPrev = 0;
    uint32_t uiValue = 0;
    for (uint32_t c = 0; c < uiN; ++c) {
      const int32_t d = static_cast<int16_t>(static_cast<uint16_t>(x[c] - x[c + uiGap]));
      if (Abs(d) > aiLineMax[r]) aiLineMax[r] = Abs(d);
      if (ubMode == kConsistNeighbour) {
        if (Abs(d) > kNeighbourFloor) uiValue += static_cast<uint32_t>(Abs(d) - kNeighbourFloor);
      } else if (c > 0) {
        const int32_t e = iPrev - d;
        gaswSecondDiff[r][c - 1] = static_cast<int16_t>(e);
        uiValue += Excess(e, c - 1, uiN - 2, iThr);
      }
      iPrev = d;
    }
    rc.auiLine[r] = uiValue;
    if (aiLineMax[r] > rc.swLargestDiff) rc.swLargestDiff = static_cast<int16_t>(aiLineMax[r]);
  }
  if (a->uwRefValid == 0 && uiRows >= 1) {
    // At the power-on build a strong step on only an outer line means a hand gripping the
    // panel edge rather than a bad panel.
    bool boInner = false;
    for (uint32_t r = 2; r + 2 < uiRows; ++r) boInner = boInner || aiLineMax[r] > kEdgeGripLevel - 1;
    if (!boInner && (aiLineMax[0] >= kEdgeGripLevel || aiLineMax[uiRows - 1] >= kEdgeGripLevel)) gubNeedJudgeEdgeGrib = 1;
  }
  uint32_t uiSum = 0;
  if (ubMode == kConsistNeighbour) {
    for (uint32_t r = ubFirst; r < uiEnd; ++r) uiSum += rc.auiLine[r];
    return uiSum;
  }
  const uint32_t uiE = uiCols - 3;  // second differences per line
  for (uint32_t r = ubFirst; r + 2 < uiEnd; ++r)
    for (uint32_t c = 0; c < uiE; ++c) uiSum += Excess(gaswSecondDiff[r][c] - gaswSecondDiff[r + 2][c], c, uiE - 1, iThr);
  return uiSum;
}

void CalcConsistBeforeComplentRaw(int16_t* pswMap) {
  const RefUpdateArgs* a = gpstRefUpdateArgs;
  if (a == nullptr || pswMap == nullptr || a->ubRows == 0 || a->ubCols < 2) return;
  const uint32_t C = a->ubCols, R = a->ubRows;
  auto blend = [&](uint32_t uiAt, uint32_t uiInner) {
    pswMap[uiAt] = static_cast<int16_t>((6 * pswMap[uiInner] + 4 * pswMap[uiAt]) / 10);
  };
  blend(0, 1);
  blend(C - 1, C - 2);
  if (R < 2) return;
  blend((R - 1) * C, (R - 1) * C + 1);
  blend(R * C - 1, R * C - 2);
}

uint32_t GetCurScreenConst() { return gstRefConsistance.uiRawDrvConsist; }
uint32_t* GetCurConsistDrvAdr() { return gstRefConsistance.auiLine; }

// ---- Zig-zag detection -----------------------------------------------------------------

namespace {

constexpr int32_t kZigStep = 20;
constexpr int32_t kZigAgree = 200;
constexpr int32_t kZigFewSampleCap = 45;

int32_t Sign(int32_t v) { return v > 0 ? 1 : (v < 0 ? -1 : 0); }

// Both differences of node c against its row neighbours, when c has both neighbours.
bool NodeSlopes(const int16_t* x, uint32_t c, uint32_t uiCols, int32_t* piL, int32_t* piR) {
  if (c == 0 || c + 1 >= uiCols) return false;
  *piL = x[c] - x[c - 1];
  *piR = x[c] - x[c + 1];
  return true;
}

}  // namespace

uint8_t CheckVXNState(const int16_t* pswMap, uint8_t ubCols, uint8_t ubRows, int16_t* pswOffsets) {
  if (pswMap == nullptr || ubRows < 3 || ubCols < 3) return 0;
  const uint32_t C = ubCols < kRefMaxCols ? ubCols : kRefMaxCols;
  int32_t aiSum[kRefMaxCols] = {};
  uint8_t aubN[kRefMaxCols] = {};
  uint32_t uiFlagged = 0;
  const uint32_t uiInnerRows = ubRows - 2u;
  for (uint32_t r = 1; r + 1 < ubRows; ++r) {
    const int16_t* x = pswMap + r * ubCols;
    uint32_t uiTested = 0, uiCounted = 0;
    for (uint32_t c = 1; c + 1 < C; c += 2) {
      // The odd column at the mirrored place (one step in when the mirror falls on an
      // even column).
      uint32_t m = C - 1 - c;
      if ((m & 1u) == 0) --m;
      int32_t l1, r1, l2, r2;
      if (!NodeSlopes(x, c, C, &l1, &r1) || !NodeSlopes(x, m, C, &l2, &r2)) continue;
      ++uiTested;
      const bool boAllLow = l1 < -kZigStep && r1 < -kZigStep && l2 < -kZigStep && r2 < -kZigStep;
      const bool boAllHigh = l1 > kZigStep && r1 > kZigStep && l2 > kZigStep && r2 > kZigStep;
      const bool boAgree = std::abs(l1 - r1) <= kZigAgree && std::abs(l2 - r2) <= kZigAgree;
      if ((boAllLow || boAllHigh) && boAgree) {
        ++uiCounted;
        aiSum[c] += (l1 + r1) / 2;
        aubN[c] = static_cast<uint8_t>(aubN[c] + 1);
      }
    }
    if (uiTested != 0 && 2 * uiCounted >= uiTested) ++uiFlagged;
  }
  const uint8_t ubPresent = 2 * uiFlagged >= uiInnerRows ? 1 : 0;
  if (pswOffsets != nullptr) {
    // Per column: an average of three samples or more stands; one or two samples only when
    // small; otherwise a column whose neighbours slope apart takes 0, else the previous
    // column's value. The last column needs three samples.
    int16_t swPrev = 0;
    for (uint32_t c = 0; c < C; ++c) {
      int32_t v = 0;
      const bool boLast = c + 1 == C;
      if (aubN[c] >= 3) {
        v = aiSum[c] / aubN[c];
      } else if (!boLast && aubN[c] >= 1 && std::abs(aiSum[c] / aubN[c]) < kZigFewSampleCap) {
        v = aiSum[c] / aubN[c];
      } else if (!boLast && c > 0) {
        const int16_t* x = pswMap + (ubRows / 2) * ubCols;
        const int32_t siLeft = x[c] - x[c - 1], siRight = x[c + 1] - x[c];
        v = Sign(siLeft) != Sign(siRight) ? 0 : swPrev;
      }
      pswOffsets[c] = static_cast<int16_t>(v);
      swPrev = pswOffsets[c];
    }
  }
  return ubPresent;
}

// ---- Reference clean-up ----------------------------------------------------------------

namespace {

constexpr uint8_t kDenoiseCfgRun = 0x01;
constexpr uint32_t kZigLastColumnFrom = 21;
constexpr int32_t kZigLastColumnMin = 71;
int16_t gaswZigOffsets[kRefMaxCols];
// The LCD denoise core on a deviation map of the reference.
void DenoiseReferenceDeviation(const RefUpdateArgs& a, int16_t* pswDev) {
  if (!LcdDenoiseSizeAccepted(a.ubRows, a.ubCols)) return;
  LcdDenoiseMapArgs m{};
  m.ubRows = a.ubRows;
  m.ubCols = a.ubCols;
  m.uwMaskThreshold = static_cast<uint16_t>(a.swTouchThr);
  m.uwTouchedThreshold = static_cast<uint16_t>(a.swQuietThr);
  m.puwRef = a.puwRef;
  m.puwRaw = a.puwFiltRaw;
  LcdDenoiseMap(pswDev, m);
}

}  // namespace

void RefCleanUp() {
  const RefUpdateArgs* pa = gpstRefUpdateArgs;
  if (pa == nullptr || pa->puwRef == nullptr || pa->puwCleanRef == nullptr) return;
  if ((gstDenoiseCommonCfg.aubData[0] & kDenoiseCfgRun) == 0 || pa->apswScratch[2] == nullptr) return;
  const RefUpdateArgs& a = *pa;
  int16_t* pswDev = a.apswScratch[2];
  const uint32_t N = a.uwNodeNum < kFerrantMaxNodes ? a.uwNodeNum : kFerrantMaxNodes;
  const int32_t siBase = a.uwNormBase;
  for (uint32_t i = 0; i < N; ++i) pswDev[i] = static_cast<int16_t>(siBase - a.puwRef[i]);
  if (a.ubCols <= kRefMaxCols && CheckVXNState(pswDev, a.ubCols, a.ubRows, gaswZigOffsets) != 0) {
    // Alternate columns offset against their neighbours: take the offsets off every inner
    // node first, so the row fit sees a smooth line.
    const uint32_t C = a.ubCols;
    const int32_t siLast = gaswZigOffsets[C - 1];
    for (uint32_t r = 0; r < a.ubRows; ++r)
      for (uint32_t c = 1; c + 1 < C; ++c) {
        int32_t v = pswDev[r * C + c] - gaswZigOffsets[c];
        if (c >= kZigLastColumnFrom && siLast >= kZigLastColumnMin) v -= siLast;
        pswDev[r * C + c] = static_cast<int16_t>(v);
      }
  }
  DenoiseReferenceDeviation(a, pswDev);
  for (uint32_t i = 0; i < N; ++i) a.puwCleanRef[i] = static_cast<uint16_t>(siBase - pswDev[i]);
}

// ---- Edge statistics and ageing --------------------------------------------------------

namespace {

constexpr int32_t kEdgeQuiet = 21;
constexpr int32_t kEdgeActive = 30;
constexpr int32_t kEdgeSignBand = 30;
constexpr int32_t kAgeUnusable = 201;
constexpr int32_t kAgeMaxAgree = 30;
constexpr uint8_t kAgeValidAt = 5;
constexpr uint8_t kAgeTop = 20;

}  // namespace

void RefEdgeStatistics(uint8_t ubResidueMode, RefEdgeStats* pstOut) {
  *pstOut = RefEdgeStats{};
  const RefUpdateArgs* pa = gpstRefUpdateArgs;
  if (pa == nullptr || pa->ubCols < 4 || pa->puwCleanRef == nullptr) return;
  const RefUpdateArgs& a = *pa;
  const uint32_t C = a.ubCols;
  const int32_t siBase = a.uwNormBase;
  bool aboPos[2] = {}, aboNeg[2] = {};
  for (uint32_t r = 0; r < a.ubRows; ++r) {
    for (uint32_t side = 0; side < 2; ++side) {
      const uint32_t uiOuter = side == 0 ? 0 : C - 1;
      const uint32_t uiNext = side == 0 ? 1 : C - 2;
      const uint32_t at = r * C + uiOuter;
      int32_t dev = 0;
      if (ubResidueMode == 0) {
        dev = a.puwCleanRef[at] - siBase;
      } else if (a.puwFiltRaw != nullptr && a.pswDiff != nullptr) {
        // Against the first quiet column inward: one that neither touch nor reference
        // roughness lifts.
        for (uint32_t k = 2; k < C / 2; ++k) {
          const uint32_t q = r * C + (side == 0 ? k : C - 1 - k);
          if (a.pswDiff[q] < kEdgeQuiet && std::abs(a.puwCleanRef[q] - siBase) < kEdgeQuiet) {
            dev = a.puwFiltRaw[at] - a.puwFiltRaw[q];
            break;
          }
        }
        if (a.pswDiff[at] > kEdgeActive || a.pswDiff[r * C + uiNext] > kEdgeActive) pstOut->aboActive[side] = 1;
      }
      pstOut->aiSum[side] += dev;
      if (std::abs(dev) > pstOut->aiMax[side]) pstOut->aiMax[side] = std::abs(dev);
      if (dev > kEdgeSignBand) aboPos[side] = true;
      if (dev < -kEdgeSignBand) aboNeg[side] = true;
    }
  }
  for (uint32_t side = 0; side < 2; ++side) pstOut->aboSteady[side] = (aboPos[side] && aboNeg[side]) ? 0 : 1;
}

uint16_t RefEdgeDeviation(const RefEdgeStats& st, uint32_t uiSide) {
  const int32_t d = std::abs(st.aiSum[uiSide] - gstAgeingArgsNcln.aswLevel[2 * uiSide]);
  return static_cast<uint16_t>(d > 65535 ? 65535 : d);
}

namespace {

void AgeingTake(const RefEdgeStats& st, bool boAverage) {
  AgeingArgsRec& g = gstAgeingArgsNcln;
  for (uint32_t side = 0; side < 2; ++side) {
    const int32_t s = boAverage ? (g.aswLevel[2 * side] + st.aiSum[side]) / 2 : st.aiSum[side];
    const int32_t m = boAverage ? (g.aswLevel[2 * side + 1] + st.aiMax[side]) / 2 : st.aiMax[side];
    g.aswLevel[2 * side] = static_cast<int16_t>(s < -32768 ? -32768 : (s > 32767 ? 32767 : s));
    g.aswLevel[2 * side + 1] = static_cast<int16_t>(m > 32767 ? 32767 : m);
  }
}

// Ageing learning on the clean reference of the last rebuild: the edge levels a panel
// settles on become the yardstick of the residue analysis once five rebuilds agree.
void AgeingLearn(uint8_t ubCode, bool boRebuild) {
  const RefUpdateArgs& a = *gpstRefUpdateArgs;
  AgeingArgsRec& g = gstAgeingArgsNcln;
  RefEdgeStats st;
  RefEdgeStatistics(0, &st);
  if (ubCode == kRefCodePartial || st.aboSteady[0] == 0 || st.aboSteady[1] == 0 || st.aiMax[0] >= kAgeUnusable ||
      st.aiMax[1] >= kAgeUnusable)
    return;
  bool boConsistent = g.ubLearnCnt != 0;
  for (uint32_t side = 0; side < 2 && boConsistent; ++side) {
    boConsistent = std::abs(st.aiSum[side] - g.aswLevel[2 * side]) <= 10 * static_cast<int32_t>(a.ubRows) &&
                   std::abs(st.aiMax[side] - g.aswLevel[2 * side + 1]) <= kAgeMaxAgree;
  }
  if (g.ubValid == 0) {
    if (!boConsistent) {
      AgeingTake(st, false);
      g.ubLearnCnt = 1;
    } else {
      AgeingTake(st, true);
      g.ubLearnCnt = static_cast<uint8_t>(g.ubLearnCnt + 1);
      if (g.ubLearnCnt >= kAgeValidAt) g.ubValid = 1;
    }
    return;
  }
  if (boConsistent) {
    AgeingTake(st, true);
    g.ubLearnCnt = g.ubLearnCnt < 6 ? 7 : static_cast<uint8_t>(g.ubLearnCnt < kAgeTop ? g.ubLearnCnt + 1 : kAgeTop);
  } else if (boRebuild) {
    if (g.ubLearnCnt != 0) g.ubLearnCnt = static_cast<uint8_t>(g.ubLearnCnt - 1);
    if (g.ubLearnCnt <= 2) g.ubValid = 0;
  }
}

constexpr int32_t kGripDrop = 200;
constexpr int32_t kRoughStep = 250;

bool GripNodesSay(const RefUpdateArgs& a) {
  const uint16_t* n = a.auwGripNodes;
  for (uint32_t k = 0; k < 5; ++k)
    if (n[k] >= a.uwNodeNum) return false;
  const int32_t siB1 = a.puwRef[n[3]], siB2 = a.puwRef[n[4]];
  for (uint32_t k = 0; k < 3; ++k) {
    const int32_t v = a.puwRef[n[k]];
    if (v + kGripDrop < siB1 && v + kGripDrop < siB2) return true;
  }
  return false;
}

}  // namespace

uint32_t RefWholeConsistency(const uint16_t* puwA, const uint16_t* puwB) {
  const RefUpdateArgs* pa = gpstRefUpdateArgs;
  if (pa == nullptr || puwA == nullptr || puwB == nullptr || pa->ubRows < 3 || pa->ubCols < 3) return 0;
  int16_t* pswDiff = pa->apswScratch[0];
  int16_t* pswWork = pa->apswScratch[1];
  if (pswDiff == nullptr || pswWork == nullptr) return 0;
  const uint32_t N = pa->uwNodeNum < kFerrantMaxNodes ? pa->uwNodeNum : kFerrantMaxNodes;
  for (uint32_t i = 0; i < N; ++i) pswDiff[i] = static_cast<int16_t>(puwA[i] - puwB[i]);
  CalcConsistBeforeComplentRaw(pswDiff);
  uint16_t uwMax = 0;
  return LibCalcConsistencyAll(reinterpret_cast<uint16_t*>(pswDiff), reinterpret_cast<uint16_t*>(pswWork), &uwMax,
                               pa->ubRows, pa->ubCols, 2);
}

void RefConsistencyEvaluate(uint8_t ubCode) {
  RefUpdateArgs* pa = gpstRefUpdateArgs;
  if (pa == nullptr || pa->puwRef == nullptr) return;
  RefUpdateArgs& a = *pa;
  RefConsistanceRec& rc = gstRefConsistance;
  RefUpdateModuleRec& m = gstRefUpdateModule;
  const uint16_t* puwClean = a.puwCleanRef != nullptr ? a.puwCleanRef : a.puwRef;
  rc.uiCleanDrvConsist = CalcCurConsistencyDrv(puwClean, 0, a.ubRows, kConsistNeighbour);
  rc.uiRefDrvConsist = CalcCurConsistencyDrv(a.puwRef, 0, a.ubRows, kConsistSecondNeighbour);
  rc.uwScreenConsist = static_cast<uint16_t>(rc.swLargestDiff);
  a.aubLowTempConsist[0] = 1;
  a.aubLowTempConsist[1] = 1;
  if (static_cast<int32_t>(rc.uwScreenConsist) < a.swTouchThr) {
    a.aubLowTempConsist[0] = 0;
    a.aubLowTempConsist[1] = 0;
    a.ubEdgeGrip = 0;
  } else if (a.ubFpFlag != 0) {
    a.ubEdgeGrip = 0;
  } else {
    bool boGrip = GripNodesSay(a);
    if (boGrip && a.ubNormFlagA != 0 && a.ubNormFlagB != 0 && a.ubNormFlagC != 1 && a.ubNormByte4 != 1) {
      const uint8_t* t = a.aubTouchedRect;
      CalcCurConsistencyDrv(a.puwRef, t[0], static_cast<uint8_t>(t[1] + 1), kConsistNeighbour);
      boGrip = rc.swLargestDiff > a.swQuietThr;
    }
    a.ubEdgeGrip = boGrip ? 1 : 0;
  }
  if (a.puwFiltRaw != nullptr) rc.uiWholeAtRebuild = RefWholeConsistency(a.puwRef, a.puwFiltRaw);
  // Rough drive lines: a step of more than 250 between nodes two columns apart.
  uint32_t uiRough = 0;
  bool boEdgeRough = false;
  const uint32_t C = a.ubCols;
  for (uint32_t r = 0; r < a.ubRows; ++r) {
    bool boRough = false;
    for (uint32_t c = 0; c + 2 < C && !boRough; ++c)
      boRough = std::abs(a.puwRef[r * C + c] - a.puwRef[r * C + c + 2]) > kRoughStep;
    if (!boRough) continue;
    ++uiRough;
    if (r <= 1 || r + 2 >= a.ubRows) boEdgeRough = true;
  }
  if (boEdgeRough) m.ubLineCheckEn = 1;
  if (uiRough + 2 > a.ubRows / 2u) m.ubLineCheckEn = 0;
  if (ubCode != kRefCodePartial) m.scRebuildTemp = a.scTemp;
  int32_t siMax = 0, siMin = 65535;
  for (uint32_t i = 0; i < a.uwNodeNum; ++i) {
    siMax = puwClean[i] > siMax ? puwClean[i] : siMax;
    siMin = puwClean[i] < siMin ? puwClean[i] : siMin;
  }
  const int32_t siBase = a.uwNormBase;
  a.ubCleanRefDev = (siMax > siBase + 40 || siMin < siBase - 40) ? 1 : 0;
  AgeingLearn(ubCode, a.uwRefValid != 0);
  // The edge deviations the residue analysis compares against.
  RefEdgeStats st;
  RefEdgeStatistics(0, &st);
  gstRefResidual.auwEdgeDevAtRebuild[0] = RefEdgeDeviation(st, 0);
  gstRefResidual.auwEdgeDevAtRebuild[1] = RefEdgeDeviation(st, 1);
}
