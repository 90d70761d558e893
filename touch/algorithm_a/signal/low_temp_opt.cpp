// The per-frame low-temperature optimisation: residue slots follow regions where a strong
// touch sat, are confirmed when the signal fades in place, released when a finger comes
// back or the signal changes sharply; touches that are confirmed residues are suppressed;
// released residues are kept as back-up rectangles that age out.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "low_temp.h"
#include "signal_proc.h"

namespace {

constexpr uint8_t kNone = 255;
constexpr uint8_t kNoTouchLimit = 8;
constexpr uint32_t kMaxNodes = 2912;

// The difference map with the compensation of the frame taken back out (release test).
int16_t gaswLowTempCopy[kMaxNodes];

struct Ctx {
  LowTempInput& in;
  int32_t R, C;
};

RectStatsRecord Stats(const Ctx& x, uint32_t uiRect, bool boDiff = true) {
  RectStatsRecord st{};
  st.pswDiff = boDiff ? x.in.pswDiff : nullptr;
  st.puwMapB = x.in.puwScratchA;
  st.puwMapC = x.in.puwScratchB;
  st.uiRect = uiRect;
  st.swThreshold = 100;
  st.uwThreshold = 120;
  st.ubRows = static_cast<uint8_t>(x.R);
  st.ubCols = static_cast<uint8_t>(x.C);
  RectStatistics(&st);
  return st;
}

// |(1 -2 1; -2 4 -2; 1 -2 1) * M| at the inner nodes, 0 on the border rows and columns, in
// 16-bit arithmetic with wrap-around; the sum is the roughness measure.
uint32_t Roughness(const uint16_t* m, uint16_t* s, int32_t R, int32_t C) {
  memset(s, 0, static_cast<size_t>(R * C) * sizeof(uint16_t));
  uint32_t sum = 0;
  for (int32_t r = 1; r + 1 < R; ++r)
    for (int32_t c = 1; c + 1 < C; ++c) {
      auto at = [&](int32_t rr, int32_t cc) { return static_cast<uint16_t>(m[rr * C + cc]); };
      // Second difference between rows, then along the row.
      auto dr = [&](int32_t cc) {
        return static_cast<int16_t>(static_cast<uint16_t>(at(r - 1, cc) - 2u * at(r, cc) + at(r + 1, cc)));
      };
      const int16_t v = static_cast<int16_t>(static_cast<uint16_t>(dr(c - 1) - 2 * dr(c) + dr(c + 1)));
      const uint16_t a = static_cast<uint16_t>(v < 0 ? -v : v);
      s[r * C + c] = a;
      sum += a;
    }
  return sum;
}

template <typename T>
void Push(T* h, int32_t v) {
  memmove(h + 1, h, 5 * sizeof(T));
  h[0] = static_cast<T>(v);
}

uint32_t Union(uint32_t a, uint32_t b) {
  const LtRect x = LtUnpack(a), y = LtUnpack(b);
  return LtPack({std::min(x.r0, y.r0), std::max(x.r1, y.r1), std::min(x.c0, y.c0), std::max(x.c1, y.c1)});
}

bool Shares(uint32_t a, uint32_t b) {
  const LtRect x = LtUnpack(a), y = LtUnpack(b);
  return (x.r0 <= y.r1 && y.r0 <= x.r1) || (x.c0 <= y.c1 && y.c0 <= x.c1);
}

void ClearSlot(uint8_t k) {
  LowTempRectBak& b = gstLowTempRectBak;
  b.aubState[k] = b.aubReleaseCnt[k] = b.aubOverlapCnt[k] = b.aubStableCnt[k] = b.aubStrong[k] = 0;
  b.auiSaved[k] = b.auiCurrent[k] = b.auiPrevious[k] = 0;
  b.auwNodes[k] = 0;
  b.aswPeakMax[k] = b.aswStrongSumMax[k] = 0;
  b.auwStrongCntMax[k] = 0;
  b.aswTotal[k] = 0;
  b.auwRoughTotal[k] = b.auwRoughCnt[k] = 0;
  b.auwTime[k] = b.auwUpdateTime[k] = b.auwCompTime[k] = 0;
  b.aubRestore[k] = 0;
  Push(b.aswMeanHist[k], 0);
  Push(b.aswTotalHist[k], 0);
  Push(b.auwRoughHist[k], 0);
}

void ClearSlotRecord() {
  memset(&gstLowTempRectBak, 0, sizeof(gstLowTempRectBak));
  for (int16_t& sw : gstLowTempRectBak.aswCompLevel) sw = kLowTempNotCompensated;
}

void Refresh(const Ctx& x, uint8_t k) {
  LowTempRectBak& b = gstLowTempRectBak;
  const RectStatsRecord st = Stats(x, b.auiSaved[k]);
  b.auwNodes[k] = st.uwNodes;
  b.aswTotal[k] = st.swTotal;
  b.auwRoughTotal[k] = static_cast<uint16_t>(std::min<uint32_t>(st.uiTotalB, 0xFFFF));
  b.auwRoughCnt[k] = st.uwCntB;
  if (st.uwNodes == 0) return;
  for (uint32_t i = 0; i < 6; ++i) {
    if (b.auwRoughHist[k][i] == 0) continue;
    b.auwRoughHist[k][i] = static_cast<uint16_t>(b.auwRoughTotal[k] / st.uwNodes);
    b.aswMeanHist[k][i] = static_cast<int16_t>(st.swTotal / st.uwNodes);
    b.aswTotalHist[k][i] = st.swTotal;
  }
}

void Confirm(const Ctx& x, uint8_t k, bool boRefresh) {
  LowTempRectBak& b = gstLowTempRectBak;
  b.aubState[k] = kLowTempSlotConfirmed;
  if (boRefresh) Refresh(x, k);
  b.auwConfirmTime[k] = b.auwTime[k];
}

// Slot k follows touch t this frame, or nothing.
void MatchSlots(const Ctx& x, uint8_t* pubRegion) {
  LowTempInput& in = x.in;
  LowTempRectBak& b = gstLowTempRectBak;
  uint8_t* m = gstLowTempSlotAux.aubMatched;
  memset(m, kNone, kLowTempSlots);
  uint8_t used = 0;
  auto regionOf = [&](uint8_t t) -> uint8_t {
    uint8_t r = pubRegion[t];
    if (r < 12 && in.puwRegionValues[r] != 0) return r;
    for (uint8_t j = 0; j < 12; ++j)
      if (in.puwRegionValues[j] == in.puwTouchValues[t] && in.puwTouchValues[t] != 0) return j;
    return kNone;
  };
  for (uint8_t k = 0; k < kLowTempSlots && used < 5; ++k) {
    if (b.aubState[k] != kLowTempSlotConfirmed) continue;
    for (uint8_t t = 0; t < 12; ++t) {
      if (in.puwTouchValues[t] < 100) continue;
      const uint8_t r = regionOf(t);
      if (r == kNone) continue;
      const uint32_t uiReg = in.puiRegionRects[r];
      uint32_t area = b.auwTime[k] > 2 ? LtArea(b.auiSaved[k]) : LtArea(uiReg);
      area &= ~1u;
      if (RectOverlapCount(uiReg, b.auiSaved[k]) > area / 2) {
        m[k] = t;
        pubRegion[t] = kNone;
        ++used;
        break;
      }
    }
  }
  for (uint8_t k = 0; k < kLowTempSlots && used < 5; ++k) {
    if (m[k] != kNone || b.aubState[k] == 0) continue;
    const LtRect cur = LtUnpack(b.auiCurrent[k]);
    int32_t best = 36;
    for (uint8_t t = 0; t < 12; ++t) {
      const uint8_t r = pubRegion[t];
      if (in.puwTouchValues[t] < 100 || r >= 12 || in.puwRegionValues[r] < 100) continue;
      const LtRect g = LtUnpack(in.puiRegionRects[r]);
      const int32_t dr = (g.r0 + g.r1) - (cur.r0 + cur.r1), dc = (g.c0 + g.c1) - (cur.c0 + cur.c1);
      if (dr * dr + dc * dc < best) best = dr * dr + dc * dc, m[k] = t;
    }
    if (m[k] != kNone) pubRegion[m[k]] = kNone, ++used;
  }
  for (uint8_t k = 0; k < kLowTempSlots && used < 5; ++k) {
    if (m[k] != kNone || b.aubState[k] != 0) continue;
    for (uint8_t t = 0; t < 12; ++t) {
      if (pubRegion[t] >= 12 || in.puwTouchValues[t] < 100) continue;
      m[k] = t;
      pubRegion[t] = kNone;
      ++used;
      break;
    }
  }
}

bool BorderSaysStay(uint8_t k, uint16_t uwPrevConfirmed) {
  const LowTempRectBak& b = gstLowTempRectBak;
  const LtRect s = LtUnpack(b.auiSaved[k]);
  const int32_t w = 50 * uwPrevConfirmed;
  const int32_t wc = w * (s.c1 - s.c0 + 1), wr = (w * (s.r1 - s.r0 + 1)) & ~1;
  auto rising = [&](int h, int32_t lim) {
    const int16_t* e = b.aswBorderHist[k][h];
    return e[5] < 1 || e[0] - lim <= e[5];
  };
  auto falling = [&](int h, int32_t lim) {
    const int16_t* e = b.aswBorderHist[k][h];
    return e[0] + lim >= e[5];
  };
  if (rising(4, wc) && rising(5, wc) && rising(6, wr) && rising(7, wr)) return true;
  return falling(0, wc) && falling(1, wc) && falling(2, wr) && falling(3, wr);
}

void Demote(uint8_t k) {
  LowTempRectBak& b = gstLowTempRectBak;
  memset(b.aswBorderHist[k], 0, sizeof(b.aswBorderHist[k]));
  b.aubOverlapCnt[k] = 0;
  b.aubState[k] = 2;
  b.aubStrong[k] = 0;
  gstLowTempNcln.ubChangeCnt = 2;
  memset(gstLowTempSlotAux.aubTouchHist[k], 1, 6);
  gubLowTempUpdate = 1;
}

void UpdateSlot(const Ctx& x, uint8_t k, const uint8_t* pubRegion, uint16_t uwPrevConfirmed) {
  LowTempInput& in = x.in;
  LowTempRectBak& b = gstLowTempRectBak;
  LowTempSlotAux& aux = gstLowTempSlotAux;
  const uint8_t t = aux.aubMatched[k];
  const uint8_t r = t < 12 ? pubRegion[t] : kNone;
  if (t >= 12 || r >= 12 || in.puwRegionValues[r] < 100) {
    if (b.aubState[k] != 0) ClearSlot(k);
    return;
  }
  const uint32_t uiReg = in.puiRegionRects[r];
  const uint8_t st0 = b.aubState[k];
  const RectStatsRecord st = Stats(x, st0 == kLowTempSlotConfirmed ? b.auiSaved[k] : uiReg, st0 != kLowTempSlotConfirmed);
  if (st0 <= 1) {
    b.aswPeakMax[k] = std::max<int16_t>(b.aswPeakMax[k], st.swMax);
    b.aswStrongSumMax[k] = static_cast<int16_t>(std::max<int32_t>(b.aswStrongSumMax[k], std::min(st.slStrongSum, 32767)));
    b.auwStrongCntMax[k] = std::max(b.auwStrongCntMax[k], st.uwStrongCnt);
  }
  if (st0 >= 1) {
    b.auwNodes[k] = st.uwNodes;
    b.auwRoughTotal[k] = static_cast<uint16_t>(std::min<uint32_t>(st.uiTotalB, 0xFFFF));
    b.auwRoughCnt[k] = st.uwCntB;
  }
  if (st0 == 1 || st0 == 2) {
    b.auiCurrent[k] = uiReg;
    b.aswTotal[k] = st.swTotal;
    b.auwTime[k] = static_cast<uint16_t>(b.auwTime[k] + in.ubTick);
  }
  const int32_t n = st.uwNodes;
  if (b.auwTime[k] != b.auwUpdateTime[k]) {
    b.auwUpdateTime[k] = b.auwTime[k];
    if (st0 == 1 || st0 == 2) {
      Push(b.aswMeanHist[k], n != 0 ? st.swTotal / n : 0);
      Push(b.aswTotalHist[k], st.swTotal);
    }
    Push(b.auwRoughHist[k], n != 0 ? static_cast<int32_t>(b.auwRoughTotal[k] / n) : 0);
  }
  const uint32_t uiSaved = b.auiSaved[k], uiCur = b.auiCurrent[k];
  const uint32_t half = LtArea(uiSaved) / 2u;
  const uint32_t ov = RectOverlapCount(uiCur, uiSaved);
  const bool boMeets = ov != 0;
  bool boFaded = false, boSlow = false;
  if (st0 != kLowTempSlotConfirmed) {
    if (boMeets && b.aubStrong[k] == 0) {
      b.aubOverlapCnt[k] = static_cast<uint8_t>(std::min(b.aubOverlapCnt[k] + 1, 200));
      if (b.auwOverlapStart[k] == 0) b.auwOverlapStart[k] = b.auwTime[k];
    } else {
      b.aubOverlapCnt[k] = 0;
      b.auwOverlapStart[k] = 0;
    }
    const int32_t o = b.aubOverlapCnt[k], p = st.swMax;
    boSlow = b.auwOverlapStart[k] != 0 && ((b.auwTime[k] - b.auwOverlapStart[k]) & 0xFF) > 2;
    boFaded = (o > 20 && ov > half) || (o >= 21 && o <= 30 && p < 200) || (o >= 31 && p < 300) ||
              (o >= 11 && (p < 150 || (static_cast<int32_t>(b.auwStrongCntMax[k]) - st.uwStrongCnt > static_cast<int32_t>(half) &&
                                       b.aswPeakMax[k] - p > 200)));
    if (boFaded && b.aswTotalHist[k][0] > 0 && gstLowTmpRectBak2.auwFadedTotal[k] == 0)
      gstLowTmpRectBak2.auwFadedTotal[k] = static_cast<uint16_t>(b.aswTotalHist[k][0]);
  }
  switch (st0) {
    case 0:
      if ((n != 0 && st.swTotal / n >= 201) || st.swTotal >= 1001) {
        if (n > LtArea(uiSaved)) {
          b.aubState[k] = 1;
          b.auiSaved[k] = b.auiCurrent[k] = uiReg;
          b.aubRestore[k] = b.aubOverlapCnt[k] = b.aubStrong[k] = 0;
          b.auwUpdateTime[k] = b.auwTime[k];
        }
      }
      break;
    case 1:
      if ((ov >= half && ov >= 2) || ov > half) {
        if (boFaded && boSlow) {
          b.auiSaved[k] = Union(uiSaved, uiCur);
          Confirm(x, k, boMeets);
        } else if (LtInside(uiSaved, uiCur)) {
          b.auiSaved[k] = uiCur;
        }
      } else {
        b.aubState[k] = 2;
      }
      break;
    case 2:
      if (boFaded && boSlow && b.aubOverlapCnt[k] >= 51) {
        if (!boMeets) {
          LtRect c = LtUnpack(uiCur);
          if (c.r0 == c.r1) c.r0 = std::max(c.r0 - 1, 0), c.r1 = std::min(c.r1 + 1, x.R - 1);
          if (c.c0 == c.c1) c.c0 = std::max(c.c0 - 1, 0), c.c1 = std::min(c.c1 + 1, x.C - 1);
          b.auiSaved[k] = LtPack(c);
        } else if (ov > half) {
          b.auiSaved[k] = Union(uiSaved, uiCur);
        }
        Confirm(x, k, boMeets && ov > half);
      } else {
        if (LtInside(uiCur, b.auiPrevious[k])) {
          b.aubStableCnt[k] = b.aubStableCnt[k] >= 21 ? 20 : static_cast<uint8_t>(b.aubStableCnt[k] + 1);
        } else {
          b.aubStableCnt[k] = b.aubStableCnt[k] < 6 ? 0 : static_cast<uint8_t>(b.aubStableCnt[k] - 5);
        }
        if (b.aubStableCnt[k] >= 5 && LtArea(uiCur) >= 4 && uiCur != uiSaved) {
          b.auiSaved[k] = uiCur;
          b.aubOverlapCnt[k] = 0;
          b.aubStrong[k] = 0;
        }
      }
      break;
    default: {
      b.aubRestore[k] = 0;
      uint8_t touching = 0;
      for (uint8_t j = 0; j < kLowTempSlots; ++j) {
        const uint8_t tj = aux.aubMatched[j];
        if (j == k || b.aubState[j] == 0 || tj >= 12 || pubRegion[tj] >= 12) continue;
        if (Shares(uiReg, in.puiRegionRects[pubRegion[tj]])) touching = 1;
      }
      aux.aubTouching[k] = touching;
      if (in.ubTick != 0 && (b.auwTime[k] & 1u) == 0) Push(aux.aubTouchHist[k], touching);
      const uint32_t ovr = RectOverlapCount(uiReg, uiSaved);
      if (!LtInside(uiReg, uiSaved) && ovr >= 5 && ovr <= half && ovr <= LtArea(uiReg) / 2u) {
        Demote(k);
      } else if (!(aux.aubTouchHist[k][0] != 0 || aux.aubTouchHist[k][5] != 0 || b.aswBorderHist[k][0][5] == 0) &&
                 !BorderSaysStay(k, uwPrevConfirmed)) {
        Demote(k);
      }
      break;
    }
  }
  b.auiPrevious[k] = b.auiCurrent[k];
}

void ToBackup(uint32_t uiRect) {
  LowTmpRectBak2& k2 = gstLowTmpRectBak2;
  for (uint8_t j = 0; j < kLowTempBackups; ++j) {
    if (k2.aubAge[j] != 0) continue;
    k2.aubAge[j] = 1;
    k2.auiRect[j] = k2.auiFirstRect[j] = uiRect;
    k2.aswLevel[j] = kLowTempNotCompensated;
    return;
  }
}

bool BackupMeets(uint32_t uiRect) {
  for (uint8_t j = 0; j < kLowTempBackups; ++j)
    if (gstLowTmpRectBak2.aubAge[j] != 0 && RectOverlapCount(uiRect, gstLowTmpRectBak2.auiRect[j]) != 0) return true;
  return false;
}

// The difference map with each compensated slot's bump taken back out.
void UncompensatedCopy(const Ctx& x) {
  const LowTempRectBak& b = gstLowTempRectBak;
  memcpy(gaswLowTempCopy, x.in.pswDiff, static_cast<size_t>(x.R * x.C) * sizeof(int16_t));
  for (uint8_t k = 0; k < kLowTempSlots; ++k) {
    const int32_t level = b.aswCompLevel[k];
    if (level == kLowTempNotCompensated) continue;
    const int32_t A = level >= 300 ? 0 : (300 - level) * 3 / 2;
    const LtRect s = LtUnpack(b.auiSaved[k]);
    if (LtEmpty(s) || s.r1 >= x.R || s.c1 >= x.C) continue;
    const int32_t cr = gstLowTempSlotAux.auwCentreRow[k], cc = gstLowTempSlotAux.auwCentreCol[k];
    for (int32_t r = s.r0; r <= s.r1; ++r)
      for (int32_t c = s.c0; c <= s.c1; ++c) {
        int16_t& v = gaswLowTempCopy[r * x.C + c];
        v = static_cast<int16_t>(std::clamp<int32_t>(v - LtBump(cc, 4 * c, LtBump(cr, 4 * r, A)), -32768, 32767));
      }
  }
}

bool TouchReturns(const Ctx& x, uint8_t k) {
  LowTempInput& in = x.in;
  const LowTempRectBak& b = gstLowTempRectBak;
  const uint32_t uiSaved = b.auiSaved[k];
  const LtRect s = LtUnpack(uiSaved);
  const int32_t n = b.auwNodes[k];
  for (uint8_t t = 0; t < in.ubTouchListLen && t < 12; ++t) {
    if (in.puwTouchValues[t] == 0) continue;
    const uint32_t ov = RectOverlapCount(in.puiTouchRects[t], uiSaved);
    if (static_cast<int32_t>(ov) < n / 2 && 3u * LtArea(in.puiTouchRects[t]) <= 2u * ov) continue;
    UncompensatedCopy(x);
    const LtRect g = LtUnpack(LtGrow(uiSaved, static_cast<uint8_t>(x.R), static_cast<uint8_t>(x.C)));
    uint32_t cnt = 0;
    int32_t strongest = INT16_MIN;
    for (int32_t r = g.r0; r <= g.r1; ++r)
      for (int32_t c = g.c0; c <= g.c1; ++c) {
        const bool boInRows = r >= s.r0 && r <= s.r1;
        const bool boOutCols = c < s.c0 || c > s.c1;
        if (boInRows && !boOutCols) continue;
        const int32_t v = gaswLowTempCopy[r * x.C + c];
        if (v < 100) continue;
        ++cnt;
        strongest = std::max(strongest, v);
      }
    const int32_t m = n != 0 ? b.aswTotal[k] / n : 0;
    const uint32_t uiSpan = static_cast<uint32_t>(std::min({s.r1 - s.r0, s.c1 - s.c0, 3}));
    if ((strongest > 199 && cnt >= uiSpan) || (m > -20 && !BackupMeets(uiSaved))) return true;
  }
  return false;
}

void Empty(uint8_t k) {
  LowTempRectBak& b = gstLowTempRectBak;
  b.aubState[k] = 0;
  b.aubStrong[k] = 0;
  b.aubRestore[k] = 1;
  b.aubReleaseCnt[k] = 0;
  gstLowTmpRectBak2.auwFadedTotal[k] = 0;
  b.auwCompTime[k] = 0;
  gubLowTempUpdate = 1;
  gubLowTempRebuildStreak = 0;
  gstLowTempNcln.ubChangeCnt = 2;
}

// A slot whose previous rectangle lies at the panel border over a released residue that
// left a deeper negative level than the slot's own signal is that residue's trace: emptied.
void BackupCheck(const Ctx& x) {
  LowTempRectBak& b = gstLowTempRectBak;
  const LowTmpRectBak2& k2 = gstLowTmpRectBak2;
  for (uint8_t k = 0; k < kLowTempSlots; ++k) {
    if (b.aubState[k] == 0) continue;
    uint8_t best = kNone;
    uint16_t bestOv = 0;
    for (uint8_t j = 0; j < kLowTempBackups; ++j) {
      if (k2.aubAge[j] == 0) continue;
      const uint16_t ov = RectOverlapCount(k2.auiFirstRect[j], b.auiPrevious[k]);
      if (ov > bestOv) bestOv = ov, best = j;
    }
    if (best == kNone) continue;
    const LtRect p = LtUnpack(b.auiPrevious[k]);
    if (LtEmpty(p) || p.r1 >= x.R || p.c1 >= x.C) continue;
    int32_t largest = INT16_MIN, neg = 0;
    int64_t wr = 0, wc = 0, w = 0;
    for (int32_t r = p.r0; r <= p.r1; ++r)
      for (int32_t c = p.c0; c <= p.c1; ++c) {
        const int32_t v = x.in.pswDiff[r * x.C + c];
        largest = std::max(largest, v);
        neg += v < -100 ? 1 : 0;
        const int32_t q = std::max(v - 15, 0);
        wr += static_cast<int64_t>(4 * r) * q;
        wc += static_cast<int64_t>(4 * c) * q;
        w += q;
      }
    const int32_t cr = w != 0 ? static_cast<int32_t>(wr / w) : 2 * (p.r0 + p.r1);
    const int32_t cc = w != 0 ? static_cast<int32_t>(wc / w) : 2 * (p.c0 + p.c1);
    const bool inside = cr > 5 && cr < 4 * (x.R - 1) - 5 && cc > 5 && cc < 4 * (x.C - 1) - 5;
    if (inside) continue;
    if (k2.aswLevel[best] < -std::max(largest, 0) && neg >= 2) Empty(k);
  }
}

void ReleaseTest(const Ctx& x, LowTempInput& in) {
  LowTempRectBak& b = gstLowTempRectBak;
  gstLowTempNcln.ubNoTouchFrames = 0;
  for (uint8_t k = 0; k < kLowTempSlots; ++k) {
    if (b.aubState[k] != kLowTempSlotConfirmed) continue;
    const int32_t n = b.auwNodes[k];
    if (n == 0) continue;
    const int16_t* mu = b.aswMeanHist[k];
    const int16_t* tau = b.aswTotalHist[k];
    const uint16_t* rho = b.auwRoughHist[k];
    const int32_t R = b.auwRoughTotal[k] / n, m = b.aswTotal[k] / n;
    const uint32_t T = b.auwTime[k], c = (b.auwTime[k] - b.auwConfirmTime[k]) & 0xFFu;
    const bool quiet = b.auwRoughTotal[k] < 500 ? n >= 7 : (R < 50 && b.auwRoughCnt[k] == 0 && n > 15);
    bool fade, change = false;
    if (T >= 5 && c >= 5) {
      fade = quiet || (R < (rho[2] + rho[3] + rho[4] + rho[5]) / 8 && rho[5] >= 1 && (mu[2] > m + 60 || n < 10));
    } else {
      fade = quiet || (b.auwRoughTotal[k] < 1000 && n > 6 && m < 100) || (R <= 49 && b.auwRoughCnt[k] == 0);
    }
    if (!(T < 3 && c < 3)) {
      const int16_t n120 = static_cast<int16_t>(120 * n);
      const int32_t L = n120 <= 3500 ? 3500 : ((120 * n) & ~3);
      const int32_t d = mu[2] - m, g = mu[3] - mu[2] + 37, D = tau[2] - b.aswTotal[k];
      const int32_t faded = gstLowTmpRectBak2.auwFadedTotal[k];
      change = (d > 150 && d > g) || (D > L && D > L / 4 + tau[3] - tau[2]) ||
               (d >= 81 && d > g && faded > 1800 && faded + b.aswTotal[k] < -100);
    }
    const bool boReturned = (fade || change) && TouchReturns(x, k);
    if (fade || (change && m < 40) || boReturned || b.auwCompTime[k] >= 900) {
      b.aubReleaseCnt[k] = static_cast<uint8_t>(std::min(b.aubReleaseCnt[k] + 1, 255));
    } else {
      b.aubReleaseCnt[k] = 0;
      continue;
    }
    if (b.aubReleaseCnt[k] >= 3 || boReturned) {
      b.aubState[k] = 1;
      b.aubOverlapCnt[k] = 0;
      in.ubSlotReleased = 1;
      b.aubStrong[k] = change && m > 80 ? 1 : 0;
      gstLowTmpRectBak2.auwFadedTotal[k] = 0;
      b.aubRestore[k] = boReturned ? 0 : 1;
      ToBackup(b.auiSaved[k]);
      b.aubReleaseCnt[k] = 0;
      b.auwCompTime[k] = 0;
      gubLowTempUpdate = 1;
      gstLowTempNcln.ubChangeCnt = 2;
      gubLowTempRebuildStreak = 0;
      continue;
    }
    if (R < 50 && mu[0] < mu[1] && mu[1] < mu[2] && mu[2] < 0 && m < -80 && b.auwRoughCnt[k] < 3) {
      Empty(k);
      ToBackup(b.auiSaved[k]);
    }
  }
}

// Touches that are residues lose their value and weight and leave the reported count.
void Suppress(const Ctx& x, LowTempInput& in, const uint8_t* pubRegion) {
  const LowTempRectBak& b = gstLowTempRectBak;
  const bool boWeakTest = (gstLowTempCfg.aubData[0] & 0x20u) != 0;
  const bool boResidueTest = (gstLowTempCfg.aubData[21] & 0x02u) != 0;
  for (uint8_t e = 0; e < 12; ++e) {
    uint8_t t;
    if (e < kLowTempSlots) {
      t = gstLowTempSlotAux.aubMatched[e];
      if (t >= 12) continue;
    } else {
      // A touch that a slot follows was judged with its slot's entry: counting it again
      // here would run its counter twice as fast.
      t = e;
      if (in.puwTouchValues[t] == 0 || memchr(gstLowTempSlotAux.aubMatched, t, kLowTempSlots) != nullptr) continue;
    }
    const uint8_t r = pubRegion[t];
    if (r > 11 || in.puwRegionValues[r] < 100) continue;
    const uint32_t uiReg = in.puiRegionRects[r];
    const RectStatsRecord st = Stats(x, uiReg);
    const bool weak = boWeakTest && st.swMax < 240 && st.uwMaxB < 300 && (st.uiTotalB < 1000 || st.uwCntB < 5);
    const uint32_t n120 = 120u * st.uwNodes;
    const bool residue = ((st.uiTotalC + 300 > st.uiTotalB) || st.swMin < -300) &&
                         (st.uiStrongSumB <= 2u * st.uiStrongSumC || st.swMin < -300) &&
                         (r > 5 || (e < kLowTempSlots && r < 6 && b.aubState[e] == 0)) &&
                         (n120 > st.uiTotalC || n120 > st.uiTotalB);
    uint8_t& cnt = gstLowTempNcln.aubSuppressCnt[r];
    const bool qualifies = boResidueTest ? (residue || weak) : weak;
    if (!qualifies) {
      if (cnt > 0) --cnt;
      continue;
    }
    if (in.puwRegionWeights[r] == 0) {
      cnt = 0;
      continue;
    }
    if (cnt < 255) ++cnt;
    const LtRect g = LtUnpack(uiReg);
    const bool inner = g.r0 >= 2 && g.c0 >= 2 && g.r1 <= x.R - 3 && g.c1 <= x.C - 3;
    uint8_t N = inner ? 1 : 30;
    if (e < kLowTempSlots && b.aubState[e] == 2) N = 60;
    if (cnt < N) continue;
    // The touch judged is the one suppressed (for entries 0 to 4 the slot's matched touch,
    // not the touch that happens to carry the entry's number).
    in.puwTouchValues[t] = 0;
    in.puwRegionWeights[r] = 0;
    in.puwRegionValues[r] = 0;
    if (in.ubTouchCount > 0) --in.ubTouchCount;
    if (gstLowTempNcln.ubSuppressed < 255) ++gstLowTempNcln.ubSuppressed;
  }
}

void AgeBackups(uint8_t ubTick) {
  LowTmpRectBak2& k2 = gstLowTmpRectBak2;
  for (uint8_t j = 0; j < kLowTempBackups; ++j) {
    uint8_t& age = k2.aubAge[j];
    if (age == 0) continue;
    const int32_t level = k2.aswLevel[j];
    bool grow;
    if (age >= 200) {
      grow = false;
    } else if (age >= 80) {
      grow = level <= -50;
    } else {
      grow = age < 30 || level <= -40;
    }
    if (!grow) {
      age = 0;
      continue;
    }
    age = static_cast<uint8_t>(std::min(age + ubTick, 255));
  }
}


// ---- cross map, touch masks and the reference follow-up ------------------------------------

uint8_t gaubCrossMap[kMaxNodes];
int16_t gaswPrevUncomp[kMaxNodes];

struct Masks {
  uint64_t ullConfRows = 0, ullConfCols = 0, ullRows = 0, ullCols = 0;
};

uint64_t Bits(int32_t a, int32_t b) {
  uint64_t m = 0;
  for (int32_t i = std::max(a, 0); i <= std::min(b, 63); ++i) m |= 1ull << i;
  return m;
}
bool Bit(uint64_t m, int32_t i) { return i >= 0 && i < 64 && ((m >> i) & 1u) != 0; }

// A rectangle touches an active back-up entry when one of its row ends lies within the
// entry's rows and one of its column ends within its columns; the first such entry is
// refreshed (age 1).
bool BackupTouch(uint32_t uiRect) {
  const LtRect r = LtUnpack(uiRect);
  LowTmpRectBak2& k2 = gstLowTmpRectBak2;
  for (uint8_t j = 0; j < kLowTempBackups; ++j) {
    if (k2.aubAge[j] == 0) continue;
    const LtRect e = LtUnpack(k2.auiRect[j]);
    const bool rows = (r.r0 >= e.r0 && r.r0 <= e.r1) || (r.r1 >= e.r0 && r.r1 <= e.r1);
    const bool cols = (r.c0 >= e.c0 && r.c0 <= e.c1) || (r.c1 >= e.c0 && r.c1 <= e.c1);
    if (rows && cols) {
      k2.aubAge[j] = 1;
      return true;
    }
  }
  return false;
}

void CrossMap(const Ctx& x, Masks& mk) {
  const LowTempRectBak& b = gstLowTempRectBak;
  const uint8_t R = static_cast<uint8_t>(x.R), C = static_cast<uint8_t>(x.C);
  memset(gaubCrossMap, 0, static_cast<size_t>(x.R * x.C));
  for (uint8_t k = 0; k < kLowTempSlots; ++k) {
    if (b.aubState[k] != kLowTempSlotConfirmed) continue;
    const uint32_t uiR = BackupTouch(b.auiSaved[k]) ? b.auiSaved[k] : LtGrow(b.auiSaved[k], R, C);
    const LtRect g = LtUnpack(uiR);
    mk.ullConfRows |= Bits(g.r0, g.r1);
    mk.ullConfCols |= Bits(g.c0, g.c1);
  }
  for (uint8_t i = 0; i < kLowTempSlots; ++i)
    for (uint8_t j = i + 1; j < kLowTempSlots; ++j) {
      if (b.aubState[i] == 0 || b.aubState[j] == 0) continue;
      const LtRect gi = LtUnpack(LtGrow(b.auiSaved[i], R, C)), gj = LtUnpack(LtGrow(b.auiSaved[j], R, C));
      const bool both = b.aubState[i] == kLowTempSlotConfirmed && b.aubState[j] == kLowTempSlotConfirmed;
      const LtRect crosses[2] = {{gi.r0, gi.r1, gj.c0, gj.c1}, {gj.r0, gj.r1, gi.c0, gi.c1}};
      for (const LtRect& cr : crosses) {
        // A grown start of 0 counts as 1 when the cross area is compared with the back-ups.
        const LtRect t{std::max(cr.r0, 1), cr.r1, std::max(cr.c0, 1), cr.c1};
        uint8_t level = 1;
        for (uint8_t e = 0; e < kLowTempBackups; ++e) {
          if (gstLowTmpRectBak2.aubAge[e] == 0 || RectOverlapCount(LtPack(t), gstLowTmpRectBak2.auiFirstRect[e]) == 0)
            continue;
          level = both ? 3 : 2;
          if (gstLowTmpRectBak2.aubAge[e] > 25) gstLowTmpRectBak2.aubAge[e] = 25;
        }
        for (int32_t r = cr.r0; r <= cr.r1; ++r)
          for (int32_t c = cr.c0; c <= cr.c1; ++c) {
            uint8_t& v = gaubCrossMap[r * x.C + c];
            v = std::max(v, level);
          }
      }
    }
}

void TouchMasks(const Ctx& x, Masks& mk, uint16_t uwConfirmed) {
  const LowTempInput& in = x.in;
  const LowTempRectBak& b = gstLowTempRectBak;
  const uint8_t R = static_cast<uint8_t>(x.R), C = static_cast<uint8_t>(x.C);
  for (uint8_t t = 0; t < in.ubTouchListLen && t < 12; ++t) {
    if (in.puwTouchValues[t] == 0) continue;
    uint32_t uiR = in.puiTouchRects[t];
    if (LtEmpty(LtUnpack(uiR)) || LtUnpack(uiR).r1 >= x.R || LtUnpack(uiR).c1 >= x.C) continue;
    for (uint8_t k = 0; k < kLowTempSlots; ++k)
      if (b.aubState[k] == kLowTempSlotConfirmed && LtInside(b.auiSaved[k], uiR)) {
        uiR = b.auiSaved[k];
        break;
      }
    const LtRect r = LtUnpack(uiR);
    if (uwConfirmed >= 2)
      for (int32_t row = r.r0; row <= r.r1; ++row)
        for (int32_t c = r.c0; c <= r.c1; ++c) gaubCrossMap[row * x.C + c] = 0;
    if (in.puwTouchValues[t] < 151 && LtArea(uiR) <= gstLowTempCfg.aubData[19]) continue;
    if (BackupTouch(uiR)) {
      if (in.puwTouchValues[t] < 120) continue;
    } else {
      uiR = LtGrow(uiR, R, C);
    }
    const LtRect g = LtUnpack(uiR);
    mk.ullRows |= Bits(g.r0, g.r1);
    mk.ullCols |= Bits(g.c0, g.c1);
  }
}

// Back-up levels from MAP (the difference map, or its uncompensated copy with half steps).
void BackupLevels(const Ctx& x, const int16_t* map, bool boFull) {
  LowTmpRectBak2& k2 = gstLowTmpRectBak2;
  const LowTempRectBak& b = gstLowTempRectBak;
  for (uint8_t j = 0; j < kLowTempBackups; ++j) {
    if (k2.aubAge[j] == 0) continue;
    uint8_t status = 0;
    for (uint8_t k = 0; k < kLowTempSlots && status == 0; ++k)
      if (b.aubRestore[k] != 0 && b.auiSaved[k] == k2.auiRect[j]) status = 1, boFull = true;
    for (uint8_t k = 0; k < kLowTempSlots && status == 0; ++k)
      if (x.in.puwTouchValues[k] != 0 && b.aubRestore[k] == 0 &&
          RectOverlapCount(x.in.puiTouchRects[k], k2.auiRect[j]) != 0)
        status = 2;
    const LtRect e = LtUnpack(k2.auiRect[j]);
    int32_t minimum = 32767, mr = 0, mc = 0;
    if (LtEmpty(e) || e.r1 >= x.R || e.c1 >= x.C) {
      if (status == 2) continue;
    } else {
      if (status == 2) continue;
      bool crossed = false;
      for (int32_t r = e.r0; r <= e.r1; ++r)
        for (int32_t c = e.c0; c <= e.c1; ++c) crossed |= gaubCrossMap[r * x.C + c] != 0;
      if (status == 0 && crossed) continue;
      for (int32_t r = e.r0; r <= e.r1; ++r)
        for (int32_t c = e.c0; c <= e.c1; ++c)
          if (map[r * x.C + c] < minimum) minimum = map[r * x.C + c], mr = r, mc = c;
    }
    int16_t& level = k2.aswLevel[j];
    if (level != kLowTempNotCompensated) {
      const int32_t v = map[k2.aubMinRow[j] * x.C + k2.aubMinCol[j]];
      const int32_t sum = level + v;
      int32_t nl;
      if (sum <= minimum) {
        nl = boFull ? sum : level + v / 2;
      } else {
        nl = boFull ? minimum : minimum / 2;
      }
      level = static_cast<int16_t>(std::clamp(nl, -32768, 32766));
      if (nl >= -59 && sum >= -59 && k2.aubAge[j] >= 81) k2.aubAge[j] = 0, level = kLowTempNotCompensated;
      continue;
    }
    level = static_cast<int16_t>(std::clamp((boFull ? minimum : minimum / 2) - 30, -32768, 32766));
    k2.aubMinRow[j] = static_cast<uint8_t>(mr);
    k2.aubMinCol[j] = static_cast<uint8_t>(mc);
    if (minimum >= -100) {
      k2.aubAge[j] = 0;
      level = kLowTempNotCompensated;
      continue;
    }
    for (uint8_t o = 0; o < kLowTempBackups; ++o) {
      if (o == j || RectOverlapCount(k2.auiRect[o], k2.auiRect[j]) == 0) continue;
      if (k2.aswLevel[o] < -60) {
        k2.auiRect[j] = Union(k2.auiRect[j], k2.auiRect[o]);
        if (k2.aswLevel[o] > level) {
          level = k2.aswLevel[o];
          k2.aubMinRow[j] = k2.aubMinRow[o];
          k2.aubMinCol[j] = k2.aubMinCol[o];
        }
      }
      k2.aubAge[o] = 0;
      k2.aswLevel[o] = kLowTempNotCompensated;
    }
  }
}

void Blend(uint16_t& ref, int32_t src) {
  const int32_t r = ref;
  ref = static_cast<uint16_t>(src > r ? (r + src + 1) / 2 : (r + src) / 2);
}

void FollowReference(const Ctx& x, Masks& mk) {
  LowTempInput& in = x.in;
  LowTempRectBak& b = gstLowTempRectBak;
  const int32_t R = x.R, C = x.C, N = R * C;
  uint16_t* ref = in.puwRef;
  if (in.swFrameMax < 50 && in.ullHighNoiseRows == 0) {
    memcpy(ref, in.puwRaw, static_cast<size_t>(N) * sizeof(uint16_t));
    BackupLevels(x, in.pswDiff, true);
    return;
  }
  UncompensatedCopy(x);
  int16_t* sb = reinterpret_cast<int16_t*>(in.puwScratchB);
  memcpy(sb, gaswLowTempCopy, static_cast<size_t>(N) * sizeof(int16_t));
  if (gubLowTempUpdate != 1)
    for (int32_t i = 0; i < N; ++i) gaswPrevUncomp[i] = static_cast<int16_t>(sb[i] - gaswPrevUncomp[i]);
  uint16_t* sa = in.puwScratchA;
  int64_t sumRaw = 0, sumRef = 0;
  for (int32_t i = 0; i < N; ++i) {
    sa[i] = std::abs(static_cast<int32_t>(sb[i])) >= 10 ? static_cast<uint16_t>(ref[i] - sb[i]) : ref[i];
    sumRaw += in.puwRaw[i];
    sumRef += ref[i];
  }
  const int32_t delta = static_cast<int32_t>(sumRaw / N - sumRef / N);
  for (int32_t i = 0; i < N; ++i) {
    ref[i] = static_cast<uint16_t>(ref[i] + delta);
    sa[i] = static_cast<uint16_t>(sa[i] + delta);
  }
  BackupLevels(x, sb, false);
  // Edge marks: a negative node at the panel's border beside a strong row or column keeps
  // that border out of the blend.
  for (int32_t r = 0; r < R; ++r) {
    const bool boEdgeRow = r < 2 || r >= R - 2;
    int32_t rowMax = INT32_MIN;
    for (int32_t c = 0; c < C; ++c) rowMax = std::max<int32_t>(rowMax, in.pswDiff[r * C + c]);
    for (int32_t c = 0; c < C; ++c) {
      if (!boEdgeRow && c >= 2 && c < C - 2) continue;
      if (Bit(mk.ullRows, r) && Bit(mk.ullCols, c)) continue;
      if (in.pswDiff[r * C + c] >= -30) continue;
      if (rowMax >= 81) mk.ullCols |= c < 2 ? Bits(0, 1) : Bits(C - 2, C - 1);
      int32_t colMax = INT32_MIN;
      for (int32_t rr = 0; rr < R; ++rr) colMax = std::max<int32_t>(colMax, in.pswDiff[rr * C + c]);
      if (colMax >= 81) {
        mk.ullRows |= r < 2 ? Bits(0, 1) : Bits(R - 2, R - 1);
        break;
      }
    }
  }
  for (int32_t r = 0; r < R; ++r) {
    const bool boMasked = Bit(mk.ullRows, r);
    const uint16_t* src = (Bit(in.ullHighNoiseRows, r) || boMasked) ? sa : in.puwRaw;
    for (int32_t c = 0; c < C; ++c) {
      if (boMasked && Bit(mk.ullCols, c)) continue;
      Blend(ref[r * C + c], src[r * C + c]);
    }
  }
  LowTmpRectBak2& k2 = gstLowTmpRectBak2;
  for (uint8_t j = 0; j < kLowTempBackups; ++j) {
    if (k2.aubAge[j] == 0 || k2.aswLevel[j] > -11) continue;
    const LtRect e = LtUnpack(k2.auiRect[j]);
    const int32_t floor = k2.aswLevel[j] < -120 ? 8 : 6;
    int32_t v = floor;
    if (!LtEmpty(e) && e.r1 < R && e.c1 < C) {
      int32_t cnt = 0, sum = 0;
      for (int32_t r = e.r0; r <= e.r1; ++r)
        for (int32_t c = e.c0; c <= e.c1; ++c)
          if (gaubCrossMap[r * C + c] >= 3) ++cnt, sum += gaswPrevUncomp[r * C + c];
      if (cnt != 0) v = (cnt / 2 - sum) / cnt;
    }
    const int32_t step = std::max(std::min(v, 18), floor) / 2;
    bool lowered = false;
    for (uint32_t uiR : {k2.auiRect[j], k2.auiFirstRect[j]}) {
      const LtRect q = LtUnpack(uiR);
      if (LtEmpty(q) || q.r1 >= R || q.c1 >= C) continue;
      for (int32_t r = q.r0; r <= q.r1; ++r)
        for (int32_t c = q.c0; c <= q.c1; ++c)
          if (gaubCrossMap[r * C + c] >= 2) ref[r * C + c] = static_cast<uint16_t>(ref[r * C + c] - step), lowered = true;
    }
    if (lowered) k2.aswLevel[j] = static_cast<int16_t>(std::min(k2.aswLevel[j] + 2 * step, 32766));
  }
  for (uint8_t k = 0; k < kLowTempSlots; ++k) {
    if (b.aubRestore[k] == 0) continue;
    const LtRect g = LtUnpack(LtGrow(b.auiSaved[k], static_cast<uint8_t>(R), static_cast<uint8_t>(C)));
    if (!LtEmpty(g) && g.r1 < R && g.c1 < C)
      for (int32_t r = g.r0; r <= g.r1; ++r)
        for (int32_t c = g.c0; c <= g.c1; ++c) ref[r * C + c] = sa[r * C + c];
    b.aubRestore[k] = 0;
  }
  memcpy(gaswPrevUncomp, sb, static_cast<size_t>(N) * sizeof(int16_t));
}

// ---- palm ------------------------------------------------------------------------------------

uint16_t gauwPalmSnapshot[kMaxNodes];

// Palm statistics: the count of nodes where the reference stands more than 120 over the raw
// map and the raw level, averaged per time unit into the two six-entry histories. The marks
// are counted in place: scratch A keeps the raw roughness that the slot statistics read.
void PalmStatistics(const Ctx& x) {
  BigPalmRecord& p = gstBigPalmRecord;
  if (p.ubFrameCnt < 255) ++p.ubFrameCnt;
  uint32_t marks = 0, level = 0;
  for (int32_t i = 0; i < x.R * x.C; ++i) {
    marks += static_cast<int32_t>(x.in.puwRef[i]) - x.in.puwRaw[i] > 120 ? 1 : 0;
    level += x.in.puwRaw[i];
  }
  p.uwCountSum = static_cast<uint16_t>(p.uwCountSum + marks);
  p.uiLevelSum += level;
  if (x.in.ubTick == 0) return;
  const uint32_t f = p.ubFrameCnt;
  Push(p.auwCountHist, f != 0 ? static_cast<int32_t>(p.uwCountSum / f) : 0);
  Push(p.auwLevelHist, f != 0 ? static_cast<int32_t>((p.uiLevelSum / 256u) / f) : 0);
  p.ubFrameCnt = 0;
  p.uwCountSum = 0;
  p.uiLevelSum = 0;
}

// The palm is held while its edges in the difference map are edges that the raw map moved
// to since the snapshot; a palm whose block edges all stood in the snapshot already is gone.
bool PalmEdgesKept(const Ctx& x) {
  BigPalmRecord& p = gstBigPalmRecord;
  memset(p.aullRising, 0, sizeof(p.aullRising));
  memset(p.aullFalling, 0, sizeof(p.aullFalling));
  const int32_t R = std::min(x.R, 52), C = x.C;
  for (int32_t r = 0; r < R; ++r)
    for (int32_t c = 4; c < C && c < 64; ++c) {
      const int32_t a = x.in.puwRaw[r * C + c] - gauwPalmSnapshot[r * C + c];
      const int32_t b = x.in.puwRaw[r * C + c - 4] - gauwPalmSnapshot[r * C + c - 4];
      if (a - b >= 101) p.aullRising[r] |= 1ull << c;
      if (a - b <= -101) p.aullFalling[r] |= 1ull << c;
    }
  if (C < 8) return true;
  uint32_t candidates = 0, kept = 0;
  for (int32_t r = 0; r < R; ++r) {
    const int16_t* d = x.in.pswDiff + r * C;
    const uint16_t* sn = gauwPalmSnapshot + r * C;
    for (int32_t c = 5; c <= C - 3; ++c) {
      const bool up = d[c] > 49 && d[c] >= 121 && d[c + 1] >= 121 && d[c - 1] >= 121 && d[c - 3] <= 49 && d[c - 4] <= 49 &&
                      d[c - 5] <= 49;
      const bool down = d[c] <= 49 && d[c - 3] >= 121 && d[c - 4] >= 121 && d[c - 5] >= 121 && d[c + 1] <= 49 &&
                        d[c - 1] <= 49;
      if (!up && !down) continue;
      ++candidates;
      const int32_t e = d[c] - d[c - 4];
      if (std::abs(e) <= 100) continue;
      const uint64_t bits = e >= 101 ? p.aullFalling[r] : p.aullRising[r];
      const bool snapEdge = std::abs(sn[c] - sn[c - 4]) > 39 || std::abs(sn[c] - sn[c - 2]) > 29 ||
                            std::abs(sn[c] - sn[c + 2]) > 29;
      if (Bit(bits, c) && snapEdge) continue;
      ++kept;
    }
  }
  return candidates == 0 || kept != 0;
}

// Palm states, once per time unit. Returns 1 when the reference has to be rebuilt.
bool PalmStates(const Ctx& x) {
  BigPalmRecord& p = gstBigPalmRecord;
  const uint16_t* c = p.auwCountHist;
  const uint16_t* l = p.auwLevelHist;
  bool rebuild = false;
  auto end = [&]() {
    p.ubFlagA = 0;
    p.uwLevelAtUpdate = l[0];
    rebuild = true;
  };
  if (p.ubFlagA != 0) {
    if (c[0] < 10 && std::abs(c[2] - c[0]) < 5) {
      end();
    } else if (c[0] > c[4] && l[2] < l[4] && l[0] < l[2] && c[0] < 20) {
      if (x.in.ubStateFlag != 0 || c[0] < 5 || !PalmEdgesKept(x)) end();
    } else if (c[0] > 4) {
      if (!PalmEdgesKept(x)) end();
    } else {
      end();
    }
  } else if (p.ubFlagB != 0) {
    if (p.uwLevelAtUpdate + 300 < l[0] && l[0] < l[1] + 10) {
      p.uwLevelAtUpdate = l[0];
      rebuild = true;
    } else if (l[0] < l[2] && l[2] < l[4] && l[1] < l[3] && l[2] - l[1] <= 49 && l[1] - l[0] <= 49) {
      p.ubFlagB = 0;
      p.uwRefCount = 0;
      p.uwRefLevel = 65535;
    }
  }
  if (x.in.ubStateFlag != 0 && p.ubFlagA == 0 && p.ubFlagB == 0 && x.in.uwRegionSize > 100 && l[0] != 0) {
    bool retake = p.uwLevelAtUpdate == 0;
    if (!retake) {
      if (l[0] < p.uwRefLevel && c[0] > p.uwRefCount) {
        retake = true;
      } else if (std::abs(l[0] - l[1]) < 100 && std::abs(c[0] - c[1]) <= 29 && l[0] > p.uwLevelAtUpdate + 100) {
        guwLowTempPalmCountdown = 5;
        p.ubFlagA = p.ubFlagB = 1;
        memcpy(gauwPalmSnapshot, x.in.puwRaw, static_cast<size_t>(x.R * x.C) * sizeof(uint16_t));
      }
    }
    if (retake) {
      p.uwLevelAtUpdate = p.uwRefLevel = l[0];
      p.uwRefCount = p.uwCountCopy = c[0];
    }
  }
  return rebuild;
}

}  // namespace

void LowTempOpt(LowTempInput* pstIn) {
  LowTempInput& in = *pstIn;
  in.ubRefChanged = 0;
  in.ubSlotReleased = 0;
  if (in.ubStateOut != kLowTempStateLow) return;
  LowTempNcln& nc = gstLowTempNcln;
  ++nc.ubFrameCnt;
  const int32_t R = in.ubRows, C = in.ubCols;
  if (R < 3 || C < 3 || R * C > static_cast<int32_t>(kMaxNodes) || in.pswDiff == nullptr || in.puwRaw == nullptr ||
      in.puwRef == nullptr || in.puwScratchA == nullptr || in.puwScratchB == nullptr || in.puiTouchRects == nullptr ||
      in.puiRegionRects == nullptr || in.puwTouchValues == nullptr || in.pubTouchRegion == nullptr ||
      in.puwRegionWeights == nullptr || in.puwRegionValues == nullptr)
    return;
  const Ctx x{in, R, C};
  nc.uiRawRough = Roughness(in.puwRaw, in.puwScratchA, R, C);
  nc.uiRefRough = Roughness(in.puwRef, in.puwScratchB, R, C);
  nc.ubSuppressed = 0;
  if (in.ubStateFlag != 0 || gstBigPalmRecord.ubFlagA != 0 || gstBigPalmRecord.ubFlagB != 0) PalmStatistics(x);
  uint8_t aubRegion[12];
  memcpy(aubRegion, in.pubTouchRegion, sizeof(aubRegion));
  uint8_t aubCopy[12];
  memcpy(aubCopy, aubRegion, sizeof(aubCopy));
  const uint16_t uwPrevConfirmed = gstLowTempSlotAux.uwConfirmedCnt;
  memset(gstLowTempSlotAux.aubMatched, kNone, kLowTempSlots);
  if (in.ubTouchCount != 0 && in.ubStateFlag == 0) {
    MatchSlots(x, aubCopy);
    for (uint8_t k = 0; k < kLowTempSlots; ++k) UpdateSlot(x, k, aubRegion, uwPrevConfirmed);
    BackupCheck(x);
  }
  if (nc.ubChangeCnt != 0) --nc.ubChangeCnt;
  if (in.ubTouchCount != 0 && in.ubStateFlag == 0) {
    ReleaseTest(x, in);
  } else {
    if (nc.ubNoTouchFrames < kNoTouchLimit) {
      ++nc.ubNoTouchFrames;
    } else {
      ClearSlotRecord();
    }
  }
  Suppress(x, in, aubRegion);
  AgeBackups(in.ubTick);
  Masks mk;
  CrossMap(x, mk);
  uint16_t uwConfirmed = 0;
  for (uint8_t k = 0; k < kLowTempSlots; ++k) uwConfirmed += gstLowTempRectBak.aubState[k] == kLowTempSlotConfirmed;
  gstLowTempSlotAux.uwConfirmedCnt = uwConfirmed;
  if (uwConfirmed != 0) {
    uint32_t uiA = 0, uiB = 0;
    for (int32_t r = 0; r < R; ++r)
      for (int32_t c = 0; c < C; ++c)
        if (Bit(mk.ullConfCols, c) && !Bit(mk.ullConfRows, r)) uiA += in.puwScratchA[r * C + c], uiB += in.puwScratchB[r * C + c];
    nc.uiRawRough = uiA;
    nc.uiRefRough = uiB;
  }
  TouchMasks(x, mk, uwConfirmed);

  // Reference follow-up. F frames between follow-ups (18 unless configured).
  const uint8_t F = gstLowTempCfg.aubData[26] != 0 ? gstLowTempCfg.aubData[26] : 18;
  const uint8_t ubReload = gstLowTempCfg.aubData[18];
  if (in.ubTouchCount < nc.ubPrevTouchCnt) {
    nc.ubTouchLossCnt = ubReload;
  } else if (nc.ubTouchLossCnt >= in.ubTick) {
    nc.ubTouchLossCnt = static_cast<uint8_t>(nc.ubTouchLossCnt - in.ubTick);
  }
  if (nc.ubFrameCnt >= F && in.ubTouchCount > nc.ubPrevTouchCnt && nc.ubPrevTouchCnt != 0)
    nc.ubFrameCnt = static_cast<uint8_t>(F - 3);
  bool boPalmRunning = false;
  if (in.ubStateFlag == 0) {
    if (guwLowTempPalmCountdown == 0 && gstBigPalmRecord.ubFlagA != 0) {
      // The palm's hold has run out: the reference takes half of what lay under it, once.
      for (int32_t i = 0; i < R * C; ++i) in.puwRef[i] = static_cast<uint16_t>((in.puwRaw[i] + in.puwRef[i]) / 2);
      gstBigPalmRecord.ubFlagA = 0;
      nc.ubPrevTouchCnt = in.ubTouchCount;
      gubLowTempPrevTouch = in.ubTouchCount;
      in.ubRefChanged = 1;
      return;
    }
    if (guwLowTempPalmCountdown != 0) {
      boPalmRunning = true;
      guwLowTempPalmCountdown = guwLowTempPalmCountdown > in.ubTick ? static_cast<uint16_t>(guwLowTempPalmCountdown - in.ubTick) : 0;
    }
  }
  memset(nc.aubTracking, 0, sizeof(nc.aubTracking));
  const bool boExtreme = std::abs(static_cast<int32_t>(in.swFrameMax)) > 999 || std::abs(static_cast<int32_t>(in.swFrameMin)) > 999;
  const bool boWait = nc.ubFrameCnt < F && (gubLowTempRebuildStreak >= 10 || nc.ubFrameCnt < 10) && gubLowTempUpdate != 1 &&
                      !(in.ubCoordFlag != 0 && in.ubAccumulate != 0);
  if (!boWait && !boExtreme && !boPalmRunning && guwLowTempPalmCountdown == 0 && in.ubStateFlag == 0) {
    gstBigPalmRecord.ubFlagA = 0;
    if (gubLowTempRebuildStreak < 255) ++gubLowTempRebuildStreak;
    FollowReference(x, mk);
    nc.ubFrameCnt = 0;
    in.ubRefChanged = 1;
    gstBigPalmRecord.uwLevelAtUpdate = gstBigPalmRecord.auwLevelHist[0];
    gubLowTempUpdate = 0;
  }
  if ((nc.ubFrameCnt >= F || (gubLowTempRebuildStreak <= 9 && nc.ubFrameCnt >= 10)) && !boExtreme) gubRefUpdateCnt = 1;

  const bool boPalmRebuild = in.ubTick != 0 && PalmStates(x);

  // Rebuild rule: a raw map markedly smoother than the reference in frames that are due.
  gubLowTempRebuildRequest = 0;
  uint16_t W;
  memcpy(&W, gstLowTempCfg.aubData + 22, sizeof(W));
  if (W != 0) {
    const uint64_t limit = nc.uiRefRough > 5ull * W ? nc.uiRefRough / 5u : W;
    const bool boBusy = in.ubTouchCount != 0 || in.ubStateFlag != 0 || in.ubCommonByte != 0 || nc.ubSuppressed != 0;
    if (boBusy && static_cast<uint64_t>(nc.uiRawRough) + limit < nc.uiRefRough && nc.uiRawRough < 20000) {
      if (gubRefUpdateCnt != 0) {
        gubRefUpdateCnt = 0;
        if (nc.ubRebuildCnt < 255) ++nc.ubRebuildCnt;
      }
      if (nc.ubRebuildCnt >= 4) {
        nc.ubRebuildCnt = 0;
        gubLowTempRebuildRequest = 13;
      }
    } else {
      nc.ubRebuildCnt = 0;
    }
  }
  if (boPalmRebuild) gubLowTempRebuildRequest = 13;
  if (gubLowTempRebuildRequest != 0) {
    ClearSlotRecord();
    nc.uiRefRough = nc.uiRawRough;
  }
  nc.ubPrevTouchCnt = in.ubTouchCount;
  gubLowTempPrevTouch = in.ubTouchCount;
}
