// Wet-area statistics: a wet panel shows positive and negative diff side by side, changing
// from frame to frame. One pass over the grid measures that picture; the judgement asks
// whether it is the picture of a wet area.
#include <cstring>

#include "region_proc.h"
#include "region_water_ops.h"

namespace {

uint16_t AddSat(uint16_t a, int32_t v) {
  const int32_t s = a + v;
  return static_cast<uint16_t>(s > 0xFFFF ? 0xFFFF : s);
}

uint32_t Isqrt(uint64_t v) {
  uint64_t r = 0, bit = 1ull << 62;
  while (bit > v) bit >>= 2;
  while (bit != 0) {
    if (v >= r + bit) {
      v -= r + bit;
      r = (r >> 1) + bit;
    } else {
      r >>= 1;
    }
    bit >>= 2;
  }
  return static_cast<uint32_t>(r);
}

// Scales a profile to per-mille of its own total (a total of 0 counts as 1).
void PerMille(uint16_t* p, uint32_t n) {
  uint64_t total = 0;
  for (uint32_t i = 0; i < n; ++i) total += p[i];
  if (total == 0) total = 1;
  for (uint32_t i = 0; i < n; ++i) p[i] = static_cast<uint16_t>(static_cast<uint64_t>(p[i]) * 1000 / total);
}

int16_t Correlation(const uint16_t* x, const uint16_t* y, uint32_t n) {
  if (n == 0) return 0;
  int64_t sx = 0, sy = 0, sxy = 0, sxx = 0, syy = 0;
  for (uint32_t i = 0; i < n; ++i) {
    sx += x[i];
    sy += y[i];
    sxy += static_cast<int64_t>(x[i]) * y[i];
    sxx += static_cast<int64_t>(x[i]) * x[i];
    syy += static_cast<int64_t>(y[i]) * y[i];
  }
  if (sx == 0 || sy == 0) return 0;
  const int64_t cov = sxy - sx * sy / static_cast<int64_t>(n);
  const int64_t vx = sxx - sx * sx / static_cast<int64_t>(n), vy = syy - sy * sy / static_cast<int64_t>(n);
  const int64_t dx = vx > 0 ? Isqrt(static_cast<uint64_t>(vx)) : 0, dy = vy > 0 ? Isqrt(static_cast<uint64_t>(vy)) : 0;
  if (dx == 0 || dy == 0) return 0;
  return static_cast<int16_t>(100 * cov / (dx * dy));
}

}  // namespace

void CalcWetAreaStats(const WaterproofInput* pstIn, WetAreaStats* pstStats, uint16_t* puwScratch) {
  const WaterproofInput& in = *pstIn;
  WetAreaStats& st = *pstStats;
  const int32_t R = in.ubRowNum, C = in.ubColNum;
  uint16_t* posRow = puwScratch;
  uint16_t* posCol = posRow + R;
  uint16_t* negRow = posCol + C;
  uint16_t* negCol = negRow + R;
  memset(puwScratch, 0, static_cast<size_t>(2 * (R + C)) * sizeof(uint16_t));
  int32_t holes = st.holeRatio;
  int32_t around = st.negAround;
  int32_t pr0 = R, pr1 = -1, pc0 = C, pc1 = -1;
  const auto at = [&](int32_t r, int32_t c) -> int32_t { return in.pswDiff[r * C + c]; };
  for (int32_t r = 0; r < R; ++r) {
    for (int32_t c = 0; c < C; ++c) {
      const uint32_t i = static_cast<uint32_t>(r) * C + c;
      const int32_t d = in.pswDiff[i], p = in.pswPrevDiff[i];
      const int32_t ch = d - p;
      if (ch < 50 && ch > -50) {
        if ((d < p ? d : p) > 50) st.steadyCount = AddSat(st.steadyCount, 1);
      } else if ((d > p ? d : p) >= 51) {
        st.changingCount = AddSat(st.changingCount, 1);
      }
      if (d < 25 && d > -25) continue;
      int32_t L = 0, S = 0, hi = -1000, lo = 1000;
      for (int32_t dr = -1; dr <= 1; ++dr) {
        for (int32_t dc = -1; dc <= 1; ++dc) {
          if ((dr == 0 && dc == 0) || r + dr < 0 || r + dr >= R || c + dc < 0 || c + dc >= C) continue;
          const uint32_t j = static_cast<uint32_t>(r + dr) * C + (c + dc);
          const int32_t v = in.pswDiff[j];
          if (in.pubLabelMap[j] != kRegionLabelNone) ++L;
          S -= v;
          if (v > hi) hi = v;
          if (v < lo) lo = v;
        }
      }
      if (d <= -50 || (d <= -25 && hi >= 25)) {
        st.negCount = AddSat(st.negCount, 1);
        if (hi > 24) st.negNearPos = AddSat(st.negNearPos, 1);
        if (L == 0) st.negIsolated = AddSat(st.negIsolated, 1);
        negRow[r] = AddSat(negRow[r], -d);
        negCol[c] = AddSat(negCol[c], -d);
        st.negSum = AddSat(st.negSum, -d);
        continue;
      }
      if (!(d >= 50 || (d >= 25 && lo <= -25))) continue;
      const bool mixed = lo <= -25;
      bool gap = false;
      if (r > 0 && r < R - 1 && c > 0 && c < C - 1) {
        const int32_t u = at(r - 1, c), dn = at(r + 1, c), l = at(r, c - 1), rt = at(r, c + 1);
        gap = (u <= 25 && dn <= 25 && u + dn <= -25) || (l <= 25 && rt <= 25 && l + rt <= -25);
      }
      st.posCount = AddSat(st.posCount, 1);
      around += S;
      if (gap) ++holes;
      if (mixed) {
        st.mixedCount = AddSat(st.mixedCount, 1);
        st.mixedSum = AddSat(st.mixedSum, d);
      }
      if (L == 0) st.posIsolated = AddSat(st.posIsolated, 1);
      posRow[r] = AddSat(posRow[r], d);
      posCol[c] = AddSat(posCol[c], d);
      st.posSum = AddSat(st.posSum, d);
      if (r < pr0) pr0 = r;
      if (r > pr1) pr1 = r;
      if (c < pc0) pc0 = c;
      if (c > pc1) pc1 = c;
    }
  }
  st.holeRatio = static_cast<uint16_t>(holes);
  st.negAround = static_cast<int16_t>(around);
  if (st.mixedCount + st.negNearPos < 5) return;
  const int32_t P = st.posCount != 0 ? st.posCount : 1;
  st.holeRatio = static_cast<uint16_t>(static_cast<int64_t>(holes) * 1000 / P);
  st.negAround = static_cast<int16_t>(around / P);
  uint16_t* out = st.auwProfile;
  const int32_t n = 2 * (R + C);
  const int32_t room = static_cast<int32_t>(sizeof(st.auwProfile) / sizeof(st.auwProfile[0]));
  memcpy(out, puwScratch, static_cast<size_t>(n < room ? n : room) * sizeof(uint16_t));
  PerMille(posRow, static_cast<uint32_t>(R));
  PerMille(posCol, static_cast<uint32_t>(C));
  PerMille(negRow, static_cast<uint32_t>(R));
  PerMille(negCol, static_cast<uint32_t>(C));
  st.rowCorr = Correlation(posRow, negRow, static_cast<uint32_t>(R));
  st.colCorr = Correlation(posCol, negCol, static_cast<uint32_t>(C));
  st.colSpan = static_cast<uint8_t>(pc1 >= pc0 ? pc1 - pc0 + 1 : 0);
  st.rowSpan = static_cast<uint8_t>(pr1 >= pr0 ? pr1 - pr0 + 1 : 0);
}

uint8_t JudgeWetArea(const WetAreaStats* pstStats, uint8_t ubFlag) {
  const WetAreaStats& s = *pstStats;
  const int32_t N = s.negCount, P = s.posCount, H = s.holeRatio;
  const int32_t hiCorr = s.rowCorr > s.colCorr ? s.rowCorr : s.colCorr;
  const int32_t loCorr = s.rowCorr < s.colCorr ? s.rowCorr : s.colCorr;
  const int32_t spanGap = s.colSpan > s.rowSpan ? s.colSpan - s.rowSpan : s.rowSpan - s.colSpan;
  const int32_t minSpan = s.colSpan < s.rowSpan ? s.colSpan : s.rowSpan;
  const bool wet =
      (N > P && H >= 51 && hiCorr < 80) || (2 * N > 3 * P && H >= 201 && (loCorr < 90 || s.negNearPos > 20)) ||
      (2 * N > 3 * P && H >= 201 && s.negAround >= 1 && s.negSum > s.posSum && minSpan > 7) ||
      (2 * N > P && hiCorr < 60 && s.changingCount > s.steadyCount && spanGap < 11) ||
      (N > P + 10 && s.negAround >= 101 && H >= 101 && loCorr < 90) || (N > P + 20 && H > 150) ||
      (s.posIsolated >= 16 && s.negNearPos >= 21 && H >= 201 && (ubFlag != 0 ? hiCorr < 60 : s.negAround > 0)) ||
      (N + 20 > P && H >= 150 && loCorr < 30 && s.negNearPos >= 21) ||
      (N > P && H >= 200 && loCorr < 80 && s.negNearPos > 30);
  if (wet) return 1;
  if (gstWaterState.WaterWetLevel == 6 && (s.posIsolated > 15 || H >= 101 || N > P || s.negSum > s.posSum)) return 1;
  return 0;
}
