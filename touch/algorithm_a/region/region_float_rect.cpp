// Floating rectangle and profile routines: fitting a rectangle to its signal, the valley of
// a line profile, the row and column profiles of a floating candidate, and the ring
// signature of a floating finger (a hovering finger shows a positive border band around a
// weak or negative core).
#include <algorithm>
#include <cstring>

#include "coord.h"
#include "region_float.h"
#include "region_proc.h"

FloatJudgeThr gstFloatJudgeThr;

void FloatJudgeThrLoad() {
  const uint8_t* b = gstCoordPairCfg.aubData;
  FloatJudgeThr& t = gstFloatJudgeThr;
  memset(&t, 0, sizeof(t));
  static constexpr uint16_t kThr[6] = {25, 50, 200, 5, 80, 40};
  static constexpr uint8_t kCandidate[9] = {55, 70, 4, 10, 30, 150, 60, 70, 60};
  static constexpr uint8_t kShape[4] = {5, 25, 10, 30};
  const bool boThr = (b[20] | b[21]) != 0;
  for (int i = 0; i < 6; ++i) t.auwThr[i] = boThr ? static_cast<uint16_t>(b[20 + 2 * i] | (b[21 + 2 * i] << 8)) : kThr[i];
  for (int i = 0; i < 9; ++i) t.aubCandidate[i] = b[32] != 0 ? b[32 + i] : kCandidate[i];
  for (int i = 0; i < 4; ++i) t.aubShape[i] = b[41] != 0 ? b[41 + i] : kShape[i];
}

void AdjustRectByThreshold(uint8_t* pubRect, uint8_t ubCols, uint8_t ubRows, uint8_t ubTrim, uint8_t ubGrow,
                           const int16_t* pswMap, uint8_t ubMode) {
  if (pubRect == nullptr || pswMap == nullptr || ubCols == 0 || ubRows == 0) return;
  RegionRect r{pubRect[0], pubRect[1], pubRect[2], pubRect[3]};
  // A rectangle handed in from outside is held to the grid first: every scan below stays
  // on the map.
  r = RegionRectClip(r, ubRows, ubCols);
  const RegionGrid g{const_cast<int16_t*>(pswMap), ubRows, ubCols};
  auto colHas = [&](int32_t c) {
    for (int32_t rr = r.ubRowStart; rr <= r.ubRowEnd; ++rr)
      if (g.At(rr, c, INT16_MIN) >= ubTrim) return true;
    return false;
  };
  auto rowHas = [&](int32_t rr) {
    for (int32_t c = r.ubColStart; c <= r.ubColEnd; ++c)
      if (g.At(rr, c, INT16_MIN) >= ubTrim) return true;
    return false;
  };
  if (!colHas(r.ubColStart) && r.ubColStart + 1 < ubCols) ++r.ubColStart;
  if (!colHas(r.ubColEnd) && r.ubColEnd > 0) --r.ubColEnd;
  if (!rowHas(r.ubRowStart) && r.ubRowStart + 1 < ubRows) ++r.ubRowStart;
  if (!rowHas(r.ubRowEnd) && r.ubRowEnd > 0) --r.ubRowEnd;
  const int passes = ubMode == 1 ? 1 : ubMode == 2 ? 2 : 0;
  for (int p = 0; p < passes; ++p) {
    const RegionRect cur = r;
    const RegionRect w = RegionRectGrow(cur, 1, ubRows, ubCols);
    for (int32_t rr = w.ubRowStart; rr <= w.ubRowEnd; ++rr) {
      for (int32_t c = w.ubColStart; c <= w.ubColEnd; ++c) {
        if (g.At(rr, c, INT16_MIN) <= ubGrow) continue;
        if (rr < cur.ubRowStart) r.ubRowStart = w.ubRowStart;
        if (rr > cur.ubRowEnd) r.ubRowEnd = w.ubRowEnd;
        if (c < cur.ubColStart) r.ubColStart = w.ubColStart;
        if (c > cur.ubColEnd) r.ubColEnd = w.ubColEnd;
      }
    }
  }
  pubRect[0] = r.ubRowStart;
  pubRect[1] = r.ubRowEnd;
  pubRect[2] = r.ubColStart;
  pubRect[3] = r.ubColEnd;
}

void FindProfileValley(const uint16_t* puwP, uint8_t ubStart, uint8_t ubEnd, ProfileValley* pstOut) {
  if (puwP == nullptr || pstOut == nullptr) return;
  int32_t k = -1;
  for (int32_t i = ubStart + 1; i < ubEnd; ++i) {
    const bool boCand = (puwP[i] <= puwP[i - 1] && puwP[i] < puwP[i + 1]) ||
                        (puwP[i] < puwP[i - 1] && puwP[i] <= puwP[i + 1]);
    if (boCand && (k < 0 || puwP[i] < puwP[k])) k = i;
  }
  if (k < 0) {
    pstOut->ubValleyIdx = 255;
    pstOut->ubZero = 0;
    return;
  }
  pstOut->uwValley = puwP[k];
  pstOut->ubValleyIdx = static_cast<uint8_t>(k);
  pstOut->ubZero = puwP[k] == 0 ? 1 : 0;
  pstOut->uwLeftIdx = 0;
  pstOut->uwLeftPeak = 0;
  for (int32_t i = ubStart; i < k; ++i) {
    if (i == ubStart || puwP[i] > pstOut->uwLeftPeak) {
      pstOut->uwLeftPeak = puwP[i];
      pstOut->uwLeftIdx = static_cast<uint16_t>(i);
    }
  }
  pstOut->uwRightIdx = 0;
  pstOut->uwRightPeak = 0;
  for (int32_t i = k + 1; i <= ubEnd; ++i) {
    if (i == k + 1 || puwP[i] > pstOut->uwRightPeak) {
      pstOut->uwRightPeak = puwP[i];
      pstOut->uwRightIdx = static_cast<uint16_t>(i);
    }
  }
}

void AnalyseCandidateProfiles(const int16_t* pswDiff, uint8_t ubRows, uint8_t ubCols, CandidateProfiles* pstCand) {
  if (pswDiff == nullptr || pstCand == nullptr || ubRows == 0 || ubCols == 0) return;
  const RegionGrid g{const_cast<int16_t*>(pswDiff), ubRows, ubCols};
  const RegionRect R = RegionRectClip(RegionRectFromWord(pstCand->uiRect), ubRows, ubCols);
  const RegionRect W = RegionRectGrow(R, 1, ubRows, ubCols);
  pstCand->stRow.ubValleyIdx = 255;
  pstCand->stCol.ubValleyIdx = 255;
  pstCand->ubRowQuiet = 0;
  pstCand->ubColQuiet = 0;
  if (R.ubRowStart > R.ubRowEnd || R.ubColStart > R.ubColEnd) return;
  uint16_t auwRow[256] = {};
  uint16_t auwCol[256] = {};
  uint8_t aubRowQuiet[256];
  uint8_t aubColQuiet[256];
  int16_t aswLevel[256] = {};
  memset(aubRowQuiet, 1, sizeof(aubRowQuiet));
  memset(aubColQuiet, 1, sizeof(aubColQuiet));
  const int32_t siMidCol = (W.ubColStart + W.ubColEnd) / 2;
  for (int32_t r = W.ubRowStart; r <= W.ubRowEnd; ++r) aswLevel[r] = g.At(r, siMidCol) < -100 ? 10 : -15;
  int32_t rowFirst = -1, rowLast = -1, colFirst = -1, colLast = -1;
  for (int32_t r = W.ubRowStart; r <= W.ubRowEnd; ++r) {
    for (int32_t c = W.ubColStart; c <= W.ubColEnd; ++c) {
      const int16_t v = g.At(r, c);
      const bool boRowIn = r >= R.ubRowStart && r <= R.ubRowEnd;
      const bool boColIn = c >= R.ubColStart && c <= R.ubColEnd;
      if (boRowIn) {
        const int32_t i = r - R.ubRowStart;
        if (v >= 15) {
          auwRow[i] = static_cast<uint16_t>(auwRow[i] + v);
          if (rowFirst < 0) rowFirst = i;
          rowLast = std::max(rowLast, i);
        }
        if (v > aswLevel[r]) aubRowQuiet[i] = 0;
      }
      if (boColIn) {
        const int32_t j = c - R.ubColStart;
        if (v >= 15) {
          auwCol[j] = static_cast<uint16_t>(auwCol[j] + v);
          colFirst = colFirst < 0 ? j : std::min(colFirst, j);
          colLast = std::max(colLast, j);
        }
        if (v > aswLevel[r]) aubColQuiet[j] = 0;
      }
    }
  }
  auto finish = [](const uint16_t* p, int32_t first, int32_t last, const uint8_t* quiet, uint8_t base,
                   ProfileValley* out, uint8_t* outQuiet) {
    if (first < 0) return;
    FindProfileValley(p, static_cast<uint8_t>(first), static_cast<uint8_t>(last), out);
    if (out->ubValleyIdx == 255) return;
    *outQuiet = quiet[out->ubValleyIdx] == 1 ? 1 : 0;
    out->ubValleyIdx = static_cast<uint8_t>(out->ubValleyIdx + base);
    out->uwLeftIdx = static_cast<uint16_t>(out->uwLeftIdx + base);
    out->uwRightIdx = static_cast<uint16_t>(out->uwRightIdx + base);
  };
  finish(auwRow, rowFirst, rowLast, aubRowQuiet, R.ubRowStart, &pstCand->stRow, &pstCand->ubRowQuiet);
  finish(auwCol, colFirst, colLast, aubColQuiet, R.ubColStart, &pstCand->stCol, &pstCand->ubColQuiet);
}

uint8_t JudgeFloatRing(uint8_t ubCols, const int16_t* pswDiff, uint8_t ubRecord, uint32_t uiRect) {
  if (pswDiff == nullptr || ubCols == 0) return 0;
  const RegionRect R = RegionRectFromWord(uiRect);
  // The routine is given no row count: the largest grid of this width bounds the reads.
  const uint8_t ubRows = static_cast<uint8_t>(std::min<uint32_t>(kRegionMaxRows, kRegionMaxNodes / ubCols));
  if (!RectValidOn(R, ubRows, ubCols)) return 0;
  const FloatJudgeThr& t = gstFloatJudgeThr;
  const int32_t T0 = t.auwThr[0], T2 = t.auwThr[2], T3 = t.auwThr[3], T4 = t.auwThr[4], T5 = t.auwThr[5];
  const int32_t H = R.ubRowEnd - R.ubRowStart + 1;
  const int32_t Wd = R.ubColEnd - R.ubColStart + 1;
  const int32_t o = (std::min(H, Wd) - 1) / 4;
  enum { kBorder, kMiddle, kCore };
  uint16_t pos[3] = {}, neg[3] = {}, posN[3] = {}, negN[3] = {};
  uint16_t top = 0, bottom = 0, left = 0, right = 0;
  const RegionGrid g{const_cast<int16_t*>(pswDiff), ubRows, ubCols};
  for (int32_t r = R.ubRowStart; r <= R.ubRowEnd; ++r) {
    for (int32_t c = R.ubColStart; c <= R.ubColEnd; ++c) {
      const int32_t v = g.At(r, c);
      if ((v < 0 ? -v : v) < T0) continue;
      const int32_t dist = std::min({r - R.ubRowStart, R.ubRowEnd - r, c - R.ubColStart, R.ubColEnd - c});
      const int z = dist < o ? kBorder : dist < 2 * o ? kMiddle : kCore;
      if (v > 0) {
        pos[z] = static_cast<uint16_t>(pos[z] + v);
        ++posN[z];
        if (2 * r < R.ubRowStart + R.ubRowEnd) top = static_cast<uint16_t>(top + v);
        if (2 * r > R.ubRowStart + R.ubRowEnd) bottom = static_cast<uint16_t>(bottom + v);
        if (2 * c < R.ubColStart + R.ubColEnd) left = static_cast<uint16_t>(left + v);
        if (2 * c > R.ubColStart + R.ubColEnd) right = static_cast<uint16_t>(right + v);
      } else {
        neg[z] = static_cast<uint16_t>(neg[z] - v);
        ++negN[z];
      }
    }
  }
  if (neg[kBorder] == 0) return 0;
  const uint8_t ubExempt = ubRecord < kFloatRecordMax ? gastFloatRegionRecord[ubRecord].ubBalanceExempt : 0;
  if (ubExempt == 0 && (top * 3 < bottom || bottom * 3 < top || left * 3 < right || right * 3 < left)) return 0;
  if (pos[kBorder] <= pos[kMiddle]) return 0;
  const bool boNegDominant = 3 * (neg[0] + neg[1] + neg[2]) > 2 * (pos[0] + pos[1] + pos[2]);
  const bool boBorderStrong = pos[kBorder] > 2 * pos[kMiddle];
  const bool boWeakCore = pos[kCore] < T2;
  const bool boNegCore = T3 * pos[kCore] < neg[kCore];
  const bool boNegBorder = neg[kBorder] > 2 * (neg[kCore] + neg[kMiddle]);
  if (T0 + pos[kMiddle] < pos[kCore]) return 0;
  int32_t siCoreLevel = 0;
  if (posN[kCore] != 0) {
    const int32_t div = (Wd - 4 * o) * (H - 4 * o) - negN[kCore];
    siCoreLevel = div == 0 ? 0 : div == -1 ? -pos[kCore] : pos[kCore] / div;
  }
  int32_t ap[3], an[3];
  for (int z = 0; z < 3; ++z) {
    ap[z] = posN[z] != 0 ? pos[z] / posN[z] : pos[z];
    an[z] = negN[z] != 0 ? neg[z] / negN[z] : neg[z];
  }
  const bool boRing = ap[kCore] + ap[kMiddle] < ap[kBorder] && an[kCore] + an[kMiddle] < an[kBorder];
  if (ap[kCore] > T4 || ap[kBorder] <= ap[kMiddle]) return 0;
  if ((ap[kMiddle] - ap[kCore]) * 100 / (ap[kBorder] - ap[kMiddle]) > 300) return 0;
  const bool boSel = (boWeakCore && boNegCore) || boNegDominant;
  const int32_t v = boSel ? siCoreLevel : ap[kCore];
  const int32_t M = std::max(T5, v) - 10;
  const bool boGraded = ap[kMiddle] + M <= ap[kBorder] && v + M <= ap[kMiddle];
  if (!boGraded) {
    if (v != 0) return 0;
    if (ap[kMiddle] > an[kMiddle] || M >= an[kCore]) return 0;
  }
  const bool boRingAll = boRing && boBorderStrong && boNegBorder;
  if (v >= T5 && !boSel && !boRingAll) return 1;
  return (boSel || boRingAll) ? 3 : 2;
}
