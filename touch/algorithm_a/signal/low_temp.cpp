// Low-temperature state: kept record, judgement, exit, residue-slot judgement of
// sub-rectangles, the Q10 ln/exp fits with the floating-finger judgement built on them, and
// the compensation of confirmed residues on the difference map.
#include "low_temp.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "framework.h"
#include "signal_proc.h"

// Aligned so that its even-placed words can be reached in place.
alignas(4) LowTempNcln gstLowTempNcln;
LowTempRectBak gstLowTempRectBak;
LowTmpRectBak2 gstLowTmpRectBak2;
BigPalmRecord gstBigPalmRecord;
LowTempSlotAux gstLowTempSlotAux;
uint8_t gubLowTempUpdate;
uint8_t gubRefUpdateCnt;
uint8_t gubLowTempPrevTouch;
uint16_t guwLowTempPalmCountdown;
uint8_t gubLowTempRebuildStreak;
uint8_t gubLowTempRebuildRequest;

namespace {

constexpr uint8_t kCfgLeaveOnEvents = 0x08;
constexpr uint8_t kCfgForcedPos = 21;
constexpr uint8_t kCfgEntryTempPos = 24;
constexpr uint8_t kCfgLeaveTempPos = 25;
constexpr uint8_t kFlagsKnown = 0x01;
constexpr uint8_t kFlagsConfident = 0x03;
constexpr uint8_t kFlagsAfterReport = 5;

int8_t CfgTemp(uint8_t ubPos) { return static_cast<int8_t>(gstLowTempCfg.aubData[ubPos]); }

// What leaving the state clears beside the state itself.
void ClearOnLeave() {
  gstLowTempNcln.uwWarmCnt = 0;
  gubLowTempUpdate = 0;
  gubRefUpdateCnt = 0;
  gstLowTempNcln.ubPrevTouchCnt = 0;
  gubLowTempPrevTouch = 0;
}

int16_t Sat16(int32_t v) { return static_cast<int16_t>(std::clamp<int32_t>(v, -32768, 32767)); }

}  // namespace

// ---- rectangles -----------------------------------------------------------------------------

uint16_t LtArea(uint32_t uiRect) {
  const LtRect r = LtUnpack(uiRect);
  if (LtEmpty(r)) return 0;
  return static_cast<uint16_t>((r.r1 - r.r0 + 1) * (r.c1 - r.c0 + 1));
}

uint16_t RectOverlapCount(uint32_t uiA, uint32_t uiB) {
  const LtRect a = LtUnpack(uiA), b = LtUnpack(uiB);
  if (LtEmpty(a) || LtEmpty(b)) return 0;
  const int32_t r0 = std::max(a.r0, b.r0), r1 = std::min(a.r1, b.r1);
  const int32_t c0 = std::max(a.c0, b.c0), c1 = std::min(a.c1, b.c1);
  if (r0 > r1 || c0 > c1) return 0;
  return static_cast<uint16_t>((r1 - r0 + 1) * (c1 - c0 + 1));
}

bool LtInside(uint32_t uiInner, uint32_t uiOuter) {
  const LtRect a = LtUnpack(uiInner), b = LtUnpack(uiOuter);
  return !LtEmpty(a) && a.r0 >= b.r0 && a.r1 <= b.r1 && a.c0 >= b.c0 && a.c1 <= b.c1;
}

uint32_t LtGrow(uint32_t uiRect, uint8_t ubRows, uint8_t ubCols) {
  LtRect r = LtUnpack(uiRect);
  r.r0 = std::max(r.r0 - 1, 0);
  r.c0 = std::max(r.c0 - 1, 0);
  r.r1 = std::min(r.r1 + 1, static_cast<int32_t>(ubRows) - 1);
  r.c1 = std::min(r.c1 + 1, static_cast<int32_t>(ubCols) - 1);
  return LtPack(r);
}

int32_t LtBump(int32_t slX, int32_t slY, int32_t slK) {
  const int32_t d = std::abs(slX - slY);
  if (d > 31) return 0;
  return slK * (32 - d) * (32 - d) >> 10;
}

// ---- state ----------------------------------------------------------------------------------

void LowTempInit(uint16_t* puwMap, uint16_t uwLen) {
  if (gstLowTempNcln.uiMarker != kNclnMarker) {
    memset(&gstLowTempNcln, 0, sizeof(gstLowTempNcln));
    gstLowTempNcln.uiMarker = kNclnMarker;
  }
  if (puwMap != nullptr) memset(puwMap, 0, static_cast<size_t>(uwLen) * sizeof(uint16_t));
  memset(&gstLowTmpRectBak2, 0, sizeof(gstLowTmpRectBak2));
  memset(&gstLowTempRectBak, 0, sizeof(gstLowTempRectBak));
  memset(&gstBigPalmRecord, 0, sizeof(gstBigPalmRecord));
  // A cleared slot has compensated nothing: its level says so, or the follow-up would take
  // a bump that was never added back out of the map.
  for (int16_t& sw : gstLowTempRectBak.aswCompLevel) sw = kLowTempNotCompensated;
  for (int16_t& sw : gstLowTmpRectBak2.aswLevel) sw = kLowTempNotCompensated;
  memset(&gstLowTempSlotAux, 0, sizeof(gstLowTempSlotAux));
  memset(gstLowTempSlotAux.aubMatched, 0xFF, sizeof(gstLowTempSlotAux.aubMatched));
  gstLowTempSlotAux.aubTouching[0] = 0xFF;
  memset(gstLowTempSlotAux.aubTouchHist, 1, sizeof(gstLowTempSlotAux.aubTouchHist));
  gstLowTempNcln.ubLeft = 0;
  gstLowTempNcln.ubHold = 0;
  guwLowTempPalmCountdown = 0;
  gubLowTempRebuildStreak = 0;
  gubLowTempUpdate = 0;
  gubRefUpdateCnt = 0;
  gubLowTempPrevTouch = 0;
  gstLowTempNcln.ubPrevTouchCnt = 0;
}

void ClearLowTempSate(void) { gstLowTempNcln.uiMarker = 0; }

void* GetLowTempNclnAddress(void) { return &gstLowTempNcln; }

uint32_t GetLowTempNclnLen(void) { return sizeof(gstLowTempNcln); }

void LowTempExit() {
  if (gstLowTempNcln.ubState == kLowTempStateLow) gstLowTempNcln.ubLeft = 1;
  gstLowTempNcln.ubState = kLowTempStateNormal;
  ClearOnLeave();
}

uint8_t LowTempExpandBigChangeDistance(void) {
  return gstLowTempNcln.ubState == kLowTempStateLow && gstLowTempNcln.ubChangeCnt != 0 ? 1 : 0;
}

void LowTempJudge(LowTempInput* pstIn) {
  LowTempNcln& n = gstLowTempNcln;
  if ((gstLowTempCfg.aubData[kCfgForcedPos] & 0x80u) != 0) {
    n.ubState = kLowTempStateLow;
    pstIn->ubStateOut = kLowTempStateLow;
    return;
  }
  const uint8_t ubFlags = pstIn->ubTempFlags;
  n.ubTempValid = ubFlags & kFlagsKnown;
  if ((gstLowTempCfg.aubData[0] & kCfgLeaveOnEvents) != 0 && (pstIn->ubLeaveEvent1 != 0 || pstIn->ubLeaveEvent2 != 0)) {
    pstIn->ubStateOut = kLowTempStateNormal;
    LowTempExit();
    return;
  }
  const uint16_t uwStep = pstIn->ubTick;
  const uint16_t c = n.uwCountdown;
  n.uwCountdown = c > uwStep ? static_cast<uint16_t>(c - uwStep) : 0;
  const int32_t slTemp = pstIn->psbTemperature != nullptr ? *pstIn->psbTemperature : 0;
  const bool boConfidentCold = (ubFlags & kFlagsConfident) == kFlagsConfident && slTemp <= CfgTemp(kCfgEntryTempPos);
  if (n.ubState != kLowTempStateLow) {
    if (boConfidentCold) {
      n.ubState = kLowTempStateLow;
      n.uwCountdown = kLowTempCountdown;
    }
  } else {
    const bool boHot = n.ubHold == 0 && (ubFlags & kFlagsKnown) != 0 && slTemp >= CfgTemp(kCfgLeaveTempPos);
    if (c > uwStep && !boHot) {
      if (boConfidentCold) n.uwCountdown = kLowTempCountdown;
    } else {
      if (n.uwWarmCnt != 0 || boHot) {
        const uint32_t uiBase = n.uwWarmCnt != 0 ? n.uwWarmCnt : 1u;
        n.uwWarmCnt = pstIn->ubAccumulate != 0 ? static_cast<uint16_t>(std::min<uint32_t>(uiBase + uwStep, 0xFFFF))
                                               : static_cast<uint16_t>(kLowTempWarmLimit + 1);
      }
      if (!(c > uwStep && n.uwWarmCnt <= kLowTempWarmLimit)) {
        ClearOnLeave();
        n.ubHold = 0;
        n.uwCountdown = 0;
        n.ubState = kLowTempStateNormal;
        n.ubLeft = 1;
      }
    }
  }
  if ((ubFlags & kFlagsConfident) == kFlagsConfident) {
    pstIn->ubTempFlags = kFlagsAfterReport;
  } else if (ubFlags == kFlagsAfterReport) {
    pstIn->ubTempFlags = kFlagsKnown;
  }
  pstIn->ubStateOut = n.ubState;
}

uint8_t JudgeSubRect(uint32_t uiA, uint32_t uiB) {
  const uint32_t uiAreaA = LtArea(uiA), uiAreaB = LtArea(uiB);
  for (uint8_t k = 0; k < kLowTempSlots; ++k) {
    if (gstLowTempRectBak.aubState[k] != kLowTempSlotConfirmed) continue;
    const uint32_t uiSlot = gstLowTempRectBak.auiSaved[k];
    if (LtInside(uiA, uiSlot) && LtInside(uiB, uiSlot)) return 2;
    const uint32_t uiOvA = RectOverlapCount(uiA, uiSlot), uiOvB = RectOverlapCount(uiB, uiSlot);
    if (uiOvA != 0 && uiOvB != 0 && uiAreaA <= 2 * uiOvA && uiAreaB <= 2 * uiOvB) return 1;
  }
  return 0;
}

// ---- fits -----------------------------------------------------------------------------------

int32_t FitlnFunc(int32_t x) {
  if (x <= 1024) return 0;
  const int32_t s = static_cast<int32_t>((static_cast<int64_t>(x) * x) >> 10);
  if (x <= 10240) {
    const int32_t slCube = static_cast<int32_t>((static_cast<int64_t>(s) * x) >> 10);
    return ((s * 123 >> 7) - ((x * 133 >> 4) + (slCube * 169 >> 12)) + (1 << 27) / (x - 1024) + 72064) >> 7;
  }
  if (x <= 20480) return (s * 19 >> 15) - (x * 111 >> 12) + 660;
  if (x < 30720) return ((s * 17 >> 16) - (x * 85 >> 12) + 1003) >> 1;
  return 301;
}

int32_t FitExpFunc(int32_t x) {
  static constexpr int32_t kBase[4] = {1024, 2783, 7566, 20562};
  if (x > 4096) return 0;
  // Below the fitted range the polynomial is only kept defined, not meaningful.
  x = std::max(x, -32768);
  const int32_t slBand = x <= 1024 ? 0 : (x - 1) / 1024;
  const int64_t o = x - (slBand == 0 ? 0 : 1024 * slBand);
  // Intermediate products are taken wide so that offsets below 0 (x below 0) stay defined;
  // within 0..4096 every value fits the 32 bits the fit is defined in.
  const int64_t p = ((o * 2085 + (o * o * 863 >> 10) + (((o * o * o) >> 12) * 2283 >> 10)) >> 10) + 2047;
  return static_cast<int32_t>((p * kBase[slBand]) >> 11);
}

int32_t GaussDiff(const int16_t* pswDiff, uint8_t ubRows, uint8_t ubCols, uint32_t uiRect) {
  const LtRect rc = LtUnpack(uiRect);
  if (pswDiff == nullptr || LtEmpty(rc) || rc.r1 >= ubRows || rc.c1 >= ubCols) return 0;
  const int32_t C = ubCols;
  int32_t pr = rc.r0, pc = rc.c0, peak = pswDiff[rc.r0 * C + rc.c0];
  for (int32_t r = rc.r0; r <= rc.r1; ++r)
    for (int32_t c = rc.c0; c <= rc.c1; ++c)
      if (pswDiff[r * C + c] > peak) peak = pswDiff[r * C + c], pr = r, pc = c;
  if (peak < 41) return 0;
  int64_t sr = 0, sc = 0, sw = 0;
  int32_t fr = pr, fc = pc, fv = peak, fd = 0;
  for (int32_t r = std::max(pr - 1, 0); r <= std::min(pr + 1, static_cast<int32_t>(ubRows) - 1); ++r)
    for (int32_t c = std::max(pc - 1, 0); c <= std::min(pc + 1, C - 1); ++c) {
      const int32_t v = pswDiff[r * C + c];
      if (v < 30) continue;
      sr += static_cast<int64_t>(r) * v;
      sc += static_cast<int64_t>(c) * v;
      sw += v;
      const int32_t d = (r - pr) * (r - pr) + (c - pc) * (c - pc);
      if (d > fd || (d == fd && d != 0 && v < fv && v >= 40)) fr = r, fc = c, fv = v, fd = d;
    }
  if (fd == 0 || fv >= peak) return peak * 1024;
  const int64_t cr = sr * 1024 / sw, cc = sc * 1024 / sw;
  const int64_t d0 = (cr - pr * 1024) * (cr - pr * 1024) + (cc - pc * 1024) * (cc - pc * 1024);
  const int64_t d1 = (cr - fr * 1024) * (cr - fr * 1024) + (cc - fc * 1024) * (cc - fc * 1024);
  int64_t s = 512;
  if (d1 - d0 >= 40960) {
    const int32_t ratio = peak * 1024 / fv;
    s = ratio >= 1025 ? (static_cast<int64_t>(FitlnFunc(ratio)) * ((d1 - d0) >> 10)) >> 10 : 0;
  }
  const int64_t e = s != 0 ? d0 / s : 0;
  const int64_t g = static_cast<int64_t>(FitExpFunc(static_cast<int32_t>(std::min<int64_t>(e, 1 << 20)))) * peak;
  return static_cast<int32_t>(std::min<int64_t>(std::max<int64_t>(g, static_cast<int64_t>(peak) * 1024), INT32_MAX));
}

namespace {
// Slots start not floating.
uint8_t gaubFloatState[12] = {2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2};
uint8_t gaubFloatEnter[12];
uint8_t gaubFloatLeave[12];
}  // namespace

// Hover configuration: u16 height limit, u16 leave limit, u8 enter count, u8 leave count,
// u16 first direct limit, u16 second direct limit.
void FloatingFingerJudge(FloatingFingerInput* pstIn) {
  const uint8_t* cfg = gstMutualHoverCfg.aubData;
  const int32_t H = cfg[0] | cfg[1] << 8, L = cfg[2] | cfg[3] << 8;
  const uint8_t N1 = cfg[4], N2 = cfg[5];
  const uint32_t D1 = cfg[6] | cfg[7] << 8, D2 = cfg[8] | cfg[9] << 8;
  for (uint8_t k = 0; k < 12; ++k) {
    const uint16_t v1 = pstIn->puwValue1[k], v2 = pstIn->puwValue2[k];
    uint8_t& st = gaubFloatState[k];
    uint8_t& en = gaubFloatEnter[k];
    uint8_t& lv = gaubFloatLeave[k];
    if (v1 > D1 || v2 > D2) {
      st = 1, lv = 0, en = N1;
    } else if (v1 == 0 && v2 == 0) {
      st = 2, en = 0, lv = 0;
    } else {
      const int32_t g = GaussDiff(pstIn->pswDiff, pstIn->ubRows, pstIn->ubCols, pstIn->puiRects[k]);
      if (st == 2 && g / 1024 > H) {
        if (en < 255) ++en;
        if (en >= N1 || g >= 307200) {
          if (g / 1024 < L) {
            if (lv < N2) ++lv;
            if (lv >= N2) st = 2;
          } else {
            st = 1;
          }
        }
      } else if (st == 1 && g / 1024 < L) {
        if (lv < 255) ++lv;
        if (lv >= N2) st = 2;
      }
    }
    if (st == 2) pstIn->puwValue1[k] = 0;
  }
  memcpy(pstIn->aubStateOut, gaubFloatState, 12);
  memcpy(pstIn->aubEnterOut, gaubFloatEnter, 12);
  memcpy(pstIn->aubLeaveOut, gaubFloatLeave, 12);
}

// ---- compensation of confirmed residues ----------------------------------------------------

namespace {

// Largest difference on the ring just outside the rectangle, where the panel has it.
int32_t RingMax(const int16_t* d, const LtRect& r, int32_t R, int32_t C) {
  int32_t m = INT16_MIN;
  for (int32_t c = r.c0; c <= r.c1; ++c) {
    if (r.r0 > 0) m = std::max<int32_t>(m, d[(r.r0 - 1) * C + c]);
    if (r.r1 + 1 < R) m = std::max<int32_t>(m, d[(r.r1 + 1) * C + c]);
  }
  for (int32_t rr = r.r0; rr <= r.r1; ++rr) {
    if (r.c0 > 0) m = std::max<int32_t>(m, d[rr * C + r.c0 - 1]);
    if (r.c1 + 1 < C) m = std::max<int32_t>(m, d[rr * C + r.c1 + 1]);
  }
  return m;
}

int32_t RowSum(const int16_t* d, int32_t row, const LtRect& r, int32_t R, int32_t C) {
  if (row < 0 || row >= R) return 0;
  int32_t s = 0;
  for (int32_t c = r.c0; c <= r.c1; ++c) s += d[row * C + c];
  return s;
}

int32_t ColSum(const int16_t* d, int32_t col, const LtRect& r, int32_t C) {
  if (col < 0 || col >= C) return 0;
  int32_t s = 0;
  for (int32_t rr = r.r0; rr <= r.r1; ++rr) s += d[rr * C + col];
  return s;
}

template <typename T>
void Push6(T* h, int32_t v) {
  memmove(h + 1, h, 5 * sizeof(T));
  h[0] = static_cast<T>(std::clamp<int32_t>(v, std::numeric_limits<T>::min(), std::numeric_limits<T>::max()));
}

RectStatsRecord SlotStats(const int16_t* d, uint32_t uiRect, uint8_t ubRows, uint8_t ubCols) {
  RectStatsRecord st{};
  st.pswDiff = d;
  st.uiRect = uiRect;
  st.swThreshold = 100;
  st.uwThreshold = 120;
  st.ubRows = ubRows;
  st.ubCols = ubCols;
  RectStatistics(&st);
  return st;
}

}  // namespace

// The border histories advance once per time unit: only a frame with a tick pushes them,
// like the slot histories of the optimisation flow. "Edge contact" of a slot is a strong
// signal on the ring just outside its rectangle (a finger beside the residue); the residue
// is then compensated only while its own peak stays low.
void LowTempCompensateRect(LowTempCompInput* pstIn) {
  LowTempRectBak& b = gstLowTempRectBak;
  LowTempSlotAux& aux = gstLowTempSlotAux;
  int16_t* d = pstIn->pswDiff;
  const int32_t R = pstIn->ubRows, C = pstIn->ubCols;
  pstIn->ubChanged = 0;
  for (int16_t& sw : b.aswCompLevel) sw = kLowTempNotCompensated;
  if (d == nullptr || R == 0 || C == 0) return;
  for (uint8_t k = 0; k < kLowTempSlots; ++k) {
    if (b.aubState[k] != kLowTempSlotConfirmed) continue;
    LtRect rc = LtUnpack(b.auiSaved[k]);
    if (LtEmpty(rc) || rc.r1 >= R || rc.c1 >= C) continue;
    RectStatsRecord st = SlotStats(d, b.auiSaved[k], pstIn->ubRows, pstIn->ubCols);
    const int32_t slRing = RingMax(d, rc, R, C);
    const uint8_t m = aux.aubMatched[k];
    if ((slRing >= 151 || st.swMax >= 201) && m < 12 && pstIn->puiRegionRects != nullptr) {
      const uint32_t uiReg = pstIn->puiRegionRects[m];
      const LtRect rr = LtUnpack(uiReg);
      if (rr.r0 != 255 && !LtEmpty(rr) && rr.r1 < R && rr.c1 < C) {
        const RectStatsRecord rs = SlotStats(d, uiReg, pstIn->ubRows, pstIn->ubCols);
        if (rs.swMax >= st.swMax - 30 && 4 * rs.uwStrongCnt >= 3 * st.uwStrongCnt && 4 * rs.uwNodes >= 3 * st.uwNodes) {
          b.auiSaved[k] = uiReg;
          rc = rr;
          st = rs;
        }
      }
    }
    const int32_t n = st.uwNodes;
    if (pstIn->ubHistEnable != 0 && pstIn->ubTick != 0) {
      if (b.auiCompRect[k] != b.auiSaved[k]) {
        memset(b.aswBorderHist[k], 0, sizeof(b.aswBorderHist[k]));
        b.auiCompRect[k] = b.auiSaved[k];
      }
      const int32_t aslSum[8] = {RowSum(d, rc.r0 - 1, rc, R, C), RowSum(d, rc.r1 + 1, rc, R, C),
                                 ColSum(d, rc.c0 - 1, rc, C),    ColSum(d, rc.c1 + 1, rc, C),
                                 RowSum(d, rc.r0 - 2, rc, R, C), RowSum(d, rc.r1 + 2, rc, R, C),
                                 ColSum(d, rc.c0 - 2, rc, C),    ColSum(d, rc.c1 + 2, rc, C)};
      for (uint32_t h = 0; h < 8; ++h) Push6(b.aswBorderHist[k][h], aslSum[h]);
      Push6(b.aswTotalHist[k], st.swTotal);
      Push6(b.aswMeanHist[k], n != 0 ? st.swTotal / n : 0);
      int16_t* t = b.aswTotalHist[k];
      const int32_t slLimit = std::max<int32_t>(120 * n, 3500) / 4;
      if (2 * t[1] > t[0] + t[2] + slLimit) {
        int16_t* mh = b.aswMeanHist[k];
        t[1] = static_cast<int16_t>((t[0] + t[1] + t[2]) / 3);
        mh[1] = static_cast<int16_t>((mh[0] + mh[1] + mh[2]) / 3);
      }
    }
    b.auwTime[k] = static_cast<uint16_t>(std::min<uint32_t>(b.auwTime[k] + pstIn->ubTick, 0xFFFF));
    if (b.auwTime[k] < 3) continue;
    if (rc.r0 < 2 || rc.c0 < 2 || rc.r1 > R - 3 || rc.c1 > C - 3) continue;
    if (n == 0) continue;
    const int32_t mean = st.swTotal / n;
    const int32_t a = mean >= 300 ? 0 : 300 - mean;
    const bool boEdge = slRing >= 151;
    const bool boComp = boEdge ? (a > 0 && st.swMax <= 249)
                               : (a > 0 && (b.aswPeakMax[k] - st.swMax >= 51 || mean < 100));
    if (!boComp) continue;
    pstIn->uwCompCnt = static_cast<uint16_t>(pstIn->uwCompCnt + 1);
    b.auwCompTime[k] = static_cast<uint16_t>(std::min<uint32_t>(b.auwCompTime[k] + pstIn->ubTick, 0xFFFF));
    int64_t wr = 0, wc = 0, w = 0;
    for (int32_t r = rc.r0; r <= rc.r1; ++r)
      for (int32_t c = rc.c0; c <= rc.c1; ++c) {
        const int32_t v = std::max(d[r * C + c] - 15, 0);
        wr += static_cast<int64_t>(4 * r) * v;
        wc += static_cast<int64_t>(4 * c) * v;
        w += v;
      }
    int32_t cr = 2 * (rc.r0 + rc.r1), cc = 2 * (rc.c0 + rc.c1);
    if (w != 0 && aux.aubTouching[k] != 1) {
      const int32_t r2 = static_cast<int32_t>(wr / w), c2 = static_cast<int32_t>(wc / w);
      if (d[(r2 / 4) * C + c2 / 4] >= 151) cr = r2, cc = c2;
    }
    const int32_t A = 3 * a / 2;
    for (int32_t r = rc.r0; r <= rc.r1; ++r)
      for (int32_t c = rc.c0; c <= rc.c1; ++c)
        d[r * C + c] = Sat16(d[r * C + c] + LtBump(cc, 4 * c, LtBump(cr, 4 * r, A)));
    aux.auwCentreRow[k] = static_cast<uint16_t>(cr);
    aux.auwCentreCol[k] = static_cast<uint16_t>(cc);
    b.aswCompLevel[k] = static_cast<int16_t>(mean);
    pstIn->ubChanged = 1;
  }
}
