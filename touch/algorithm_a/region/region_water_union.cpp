// The small operations waterproof processing builds and follows its water unions with:
// region removal by water marks, the 3x3 box sums, the connected-component labelling step,
// label matching, rise counting, arming from a slot's presence dip, the self-line split
// judgement and the touch-core search inside a union.
#include <cstring>

#include "region_proc.h"
#include "region_water_ops.h"

namespace {

uint8_t suwSteadyCounter;
uint8_t saubRegionSteady[kRegionMax];

int32_t Imax(int32_t a, int32_t b) { return a > b ? a : b; }
int32_t Imin(int32_t a, int32_t b) { return a < b ? a : b; }

int16_t DiffAt(const WaterproofInput& in, int32_t r, int32_t c) { return in.pswDiff[r * in.ubColNum + c]; }

// The rows and columns of R that lie on the grid; false when nothing does.
bool ClipToGrid(RegionRect r, uint8_t ubRows, uint8_t ubCols, int32_t& r0, int32_t& r1, int32_t& c0, int32_t& c1) {
  if (r.ubRowStart > r.ubRowEnd || r.ubColStart > r.ubColEnd || ubRows == 0 || ubCols == 0) return false;
  r0 = r.ubRowStart;
  c0 = r.ubColStart;
  r1 = Imin(r.ubRowEnd, ubRows - 1);
  c1 = Imin(r.ubColEnd, ubCols - 1);
  return r0 <= r1 && c0 <= c1;
}

const CoordPair* Pair(const WaterproofInput& in) { return static_cast<const CoordPair*>(in.pvCoordPair); }

}  // namespace

void WaterUnionFree(WaterUnion& u) {
  memset(&u, 0, sizeof(u));
  u.label = kWaterUnionFree;
}

uint8_t RemoveWaterMarkedRegions(WaterproofInput* pstIn) {
  WaterproofInput& in = *pstIn;
  WaterModuleState& w = gstWaterState;
  uint8_t removed = 0;
  for (uint8_t k = 0; k < kRegionMax; ++k) {
    if (in.puwKeep[k] == 0) continue;
    const RegionRect R = in.pstRect[k];
    uint32_t n = 0, m = 0;
    int32_t r0, r1, c0, c1;
    if (ClipToGrid(R, in.ubRowNum, in.ubColNum, r0, r1, c0, c1)) {
      for (int32_t r = r0; r <= r1; ++r) {
        for (int32_t c = c0; c <= c1; ++c) {
          const uint32_t i = static_cast<uint32_t>(r) * in.ubColNum + c;
          const uint8_t mark = w.WaterMarkMap[i];
          if (mark == 0 || in.pubLabelMap[i] == kRegionLabelNone) continue;
          ++n;
          if (mark == 2 || mark == 3) ++m;
        }
      }
    }
    const bool two = WaterRectNodes(R) == 2;
    if (!(2 * m > n || (m == 1 && n == 2 && two))) continue;
    in.puwKeep[k] = 0;
    ++removed;
    if (RegionRectWord(w.gstWaterDelRect[k]) == kRegionRectEmptyBound) w.gstWaterDelRect[k] = R;
  }
  return removed;
}

void FindRegionByWaterMark(const WaterproofInput* pstIn, uint16_t* puwKeep, uint32_t* puiRect, uint8_t ubMark) {
  for (uint8_t k = 0; k < kRegionMax; ++k) {
    if (pstIn->puwKeep[k] == 0 || gstWaterState.WaterRegionMark[k] != ubMark) continue;
    *puwKeep = pstIn->puwKeep[k];
    *puiRect = RegionRectWord(pstIn->pstRect[k]);
    return;
  }
}

void BoxSum3x3(uint16_t* puwMap, uint16_t* puwScratch, RegionRect stRect, uint8_t ubCols, uint8_t ubRows) {
  if (ubCols < 3 || ubRows == 0 || stRect.ubRowStart > stRect.ubRowEnd || stRect.ubColStart > stRect.ubColEnd) return;
  const int32_t rr0 = Imax(stRect.ubRowStart - 1, 0), rr1 = Imin(stRect.ubRowEnd + 1, ubRows - 1);
  // The outer columns have a missing neighbour; the range keeps one node in from them.
  const int32_t cc0 = Imax(stRect.ubColStart, 1), cc1 = Imin(stRect.ubColEnd, ubCols - 2);
  if (rr0 > rr1 || cc0 > cc1) return;
  const auto at = [ubCols](int32_t r, int32_t c) { return static_cast<uint32_t>(r) * ubCols + c; };
  for (int32_t r = rr0; r <= rr1; ++r) {
    for (int32_t c = cc0; c <= cc1; ++c) {
      puwScratch[at(r, c)] = static_cast<uint16_t>(puwMap[at(r, c - 1)] + puwMap[at(r, c)] + puwMap[at(r, c + 1)]);
    }
  }
  for (int32_t r = rr0 + 1; r <= rr1 - 1; ++r) {
    for (int32_t c = cc0; c <= cc1; ++c) {
      puwMap[at(r, c)] =
          static_cast<uint16_t>(puwScratch[at(r - 1, c)] + puwScratch[at(r, c)] + puwScratch[at(r + 1, c)]);
    }
  }
}

uint8_t JudgeRegionsSteady(const WaterproofInput* pstIn, RectDiffStats* pstStats, uint8_t ubMode) {
  const WaterproofInput& in = *pstIn;
  bool boAllThin = true, boAllSteady = true;
  for (uint8_t k = 0; k < kRegionMax; ++k) {
    if (in.puwKeep[k] == 0) continue;
    const RegionRect R = in.pstRect[k];
    CalcRectDiffStats(in.pswDiff, R, in.ubColNum, in.ubRowNum, &pstStats[k]);
    saubRegionSteady[k] = 1;
    int32_t r0, r1, c0, c1;
    if (ClipToGrid(R, in.ubRowNum, in.ubColNum, r0, r1, c0, c1)) {
      for (int32_t r = r0; r <= r1 && saubRegionSteady[k] != 0; ++r) {
        for (int32_t c = c0; c <= c1; ++c) {
          const uint32_t i = static_cast<uint32_t>(r) * in.ubColNum + c;
          const int32_t d = in.pswDiff[i] - in.pswPrevDiff[i];
          if (d > 49 || d < -49) {
            saubRegionSteady[k] = 0;
            break;
          }
        }
      }
    }
    if (saubRegionSteady[k] == 0) boAllSteady = false;
    if (R.ubRowStart != R.ubRowEnd && R.ubColStart != R.ubColEnd) boAllThin = false;
  }
  if ((ubMode & 1u) != 0) {
    if (!boAllSteady || in.ubRegionNum == 0) {
      suwSteadyCounter = 0;
    } else if (suwSteadyCounter < 10) {
      ++suwSteadyCounter;
    }
  }
  return (in.ubRegionNum != 0 && boAllThin) ? 1 : 0;
}

uint8_t WaterSteadyCounter() { return suwSteadyCounter; }

void MarkUnionNodes(uint8_t ubCols, uint8_t ubRows, const uint8_t* pubUnionMap, RegionRect stRect, uint8_t ubUnion) {
  WaterModuleState& w = gstWaterState;
  uint8_t state = kWaterUnionFree;
  RegionRect inner = RegionRectFromWord(kRegionRectEmptyBound);
  if (ubUnion != kWaterUnionFree && ubUnion < kWaterUnionMax) {
    state = w.astUnion[ubUnion].label;
    inner = w.astUnion[ubUnion].innerRect;
  }
  int32_t r0, r1, c0, c1;
  if (!ClipToGrid(stRect, ubRows, ubCols, r0, r1, c0, c1)) return;
  for (int32_t r = r0; r <= r1; ++r) {
    for (int32_t c = c0; c <= c1; ++c) {
      const uint32_t i = static_cast<uint32_t>(r) * ubCols + c;
      if (w.WaterMarkMap[i] == 0 || pubUnionMap[i] != state) continue;
      const bool inside = r >= inner.ubRowStart && r <= inner.ubRowEnd && c >= inner.ubColStart && c <= inner.ubColEnd;
      w.WaterMarkMap[i] = inside ? 3 : 2;
    }
  }
}

uint8_t WaterLabelRoot(const uint8_t* pubEquiv, uint8_t ubLabel) {
  // Joins only ever point a root at another root, so the chain is short; the bound keeps a
  // damaged table from looping.
  for (uint32_t n = 0; n < kWaterLabelSlots && ubLabel < kWaterLabelSlots && pubEquiv[ubLabel] != 0; ++n) {
    ubLabel = pubEquiv[ubLabel];
  }
  return ubLabel;
}

uint8_t LabelNodeUnion(const uint8_t* pubNb, uint32_t uiNode, uint8_t ubLast, uint8_t* pubEquiv, uint8_t* pubLabels) {
  uint8_t m = 0;
  for (uint32_t i = 0; i < 4; ++i) {
    if (pubNb[i] != 0 && (m == 0 || pubNb[i] < m)) m = pubNb[i];
  }
  if (m != 0) {
    pubLabels[uiNode] = m;
    for (uint32_t i = 0; i < 4; ++i) {
      if (pubNb[i] <= m) continue;
      const uint8_t rx = WaterLabelRoot(pubEquiv, pubNb[i]);
      const uint8_t rm = WaterLabelRoot(pubEquiv, m);
      if (rx != rm && rx < kWaterLabelSlots) pubEquiv[rx] = rm;
    }
    return ubLast;
  }
  // The count of opened labels stops at 64: counting on would wrap the byte and hand out
  // label numbers that earlier components already carry.
  if (ubLast >= kWaterLabelSlots) return kWaterLabelSlots;
  const uint8_t next = static_cast<uint8_t>(ubLast + 1);
  if (next < kWaterLabelSlots) pubLabels[uiNode] = next;
  return next;
}

void MatchUnionLabels(const WaterproofInput* pstIn, const uint16_t* puwSizes, const uint8_t* pubLabels,
                      const uint8_t* pubSlots, uint8_t* pubUnionLabel, WaterMatchWork* pstWork, uint8_t ubReset) {
  const WaterproofInput& in = *pstIn;
  WaterModuleState& w = gstWaterState;
  if (ubReset != 0) {
    memset(pstWork->auwBest, 0, sizeof(pstWork->auwBest));
    memset(pstWork->aubLabelUnion, 255, sizeof(pstWork->aubLabelUnion));
  }
  const uint8_t R = in.ubRowNum, C = in.ubColNum;
  for (uint8_t s = 0; s < kWaterUnionMax; ++s) {
    const uint8_t j = pubSlots[s];
    if (j >= kWaterUnionMax) continue;
    WaterUnion& u = w.astUnion[j];
    if (ubReset != 0 && u.wetMark == 0 && u.confirmMark == 0) continue;
    if (pubUnionLabel[j] != 255) continue;
    u.splitMark = 0;
    RegionRect S = u.rect;
    if (w.WaterGrowFlag != 0 || WaterRectNodes(S) <= 8) S = RegionRectGrow(S, 1, R, C);
    RegionRect box[kWaterLabelSlots];
    uint16_t count[kWaterLabelSlots] = {};
    for (RegionRect& b : box) b = RegionRect{R, 0, C, 0};
    int32_t r0, r1, c0, c1;
    if (ClipToGrid(S, R, C, r0, r1, c0, c1)) {
      for (int32_t r = r0; r <= r1; ++r) {
        for (int32_t c = c0; c <= c1; ++c) {
          const uint32_t i = static_cast<uint32_t>(r) * C + c;
          const uint8_t l = pubLabels[i];
          if (l == 0 || l >= kWaterLabelSlots || w.WaterAuxMap[i] != u.label) continue;
          RegionRect& b = box[l];
          if (r < b.ubRowStart) b.ubRowStart = static_cast<uint8_t>(r);
          if (r > b.ubRowEnd) b.ubRowEnd = static_cast<uint8_t>(r);
          if (c < b.ubColStart) b.ubColStart = static_cast<uint8_t>(c);
          if (c > b.ubColEnd) b.ubColEnd = static_cast<uint8_t>(c);
          ++count[l];
        }
      }
    }
    uint8_t win = 0;
    uint32_t winArea = 0;
    for (uint8_t l = 1; l < kWaterLabelSlots; ++l) {
      if (puwSizes[l] == 0 || count[l] == 0) continue;
      if (count[l] < pstWork->auwBest[l] && pstWork->aubLabelUnion[l] == 255) continue;
      if (count[l] > pstWork->auwBest[l]) pstWork->auwBest[l] = count[l];
      const uint32_t area = WaterRectNodes(box[l]);
      if (win == 0 || area > winArea ||
          (area == winArea && static_cast<uint32_t>(puwSizes[l]) * count[win] <
                                  static_cast<uint32_t>(puwSizes[win]) * count[l])) {
        win = l;
        winArea = area;
      }
    }
    if (win != 0) {
      pubUnionLabel[j] = win;
      pstWork->aubLabelUnion[win] = j;
    }
  }
}

void CountUnionRiseRows(const WaterproofInput* pstIn, uint8_t ubUnion) {
  if (ubUnion >= kWaterUnionMax) return;
  const WaterproofInput& in = *pstIn;
  WaterModuleState& w = gstWaterState;
  WaterUnion& U = w.astUnion[ubUnion];
  if (U.carryMark == 0) {
    U.riseCount = 0;
    return;
  }
  if (!WaterUnionLive(U) || U.confirmMark == 0) return;
  const int32_t R = in.ubRowNum, C = in.ubColNum;
  uint16_t rise = 0;
  for (uint8_t k = 0; k < kRegionMax; ++k) {
    if (in.puwKeep[k] == 0 || w.WaterRegionMark[k] != ubUnion) continue;
    const RegionRect Rc = in.pstRect[k];
    const bool away = Rc.ubColStart > 1 && Rc.ubColEnd != C - 1 && Rc.ubColEnd != C - 2 && Rc.ubRowStart > 1 &&
                      Rc.ubRowEnd != R - 1 && Rc.ubRowEnd != R - 2;
    int32_t thr = 80;
    if (!away && in.ubFingerNum == 0) thr = U.regionCount < 3 ? 40 : 80;
    int32_t r0, r1, c0, c1;
    if (!ClipToGrid(Rc, in.ubRowNum, in.ubColNum, r0, r1, c0, c1)) continue;
    for (int32_t r = r0; r <= r1; ++r) {
      for (int32_t c = c0; c <= c1; ++c) {
        const uint32_t i = static_cast<uint32_t>(r) * C + c;
        if (in.pswDiff[i] - in.pswPrevDiff[i] >= thr) {
          ++rise;
          break;
        }
      }
    }
  }
  U.riseCount = rise;
}

uint8_t ArmUnionFromSlotDip(const WaterproofInput* pstIn) {
  const WaterproofInput& in = *pstIn;
  WaterModuleState& w = gstWaterState;
  const uint8_t R = in.ubRowNum, C = in.ubColNum;
  const auto nextFree = [](uint32_t from) -> uint8_t {
    for (uint32_t j = from; j < kWaterUnionMax; ++j) {
      const WaterUnion& u = gstWaterState.astUnion[j];
      if (!WaterUnionLive(u) && u.armed == 0) return static_cast<uint8_t>(j);
    }
    return 255;
  };
  uint8_t F = nextFree(0);
  uint8_t result = 0;
  for (uint8_t s = 0; s < kWaterTrackMax; ++s) {
    const WaterSlotTrack& t = w.astSlotTrack[s];
    if (t.ubState != 200 || t.asiPresence[4] == 0) continue;
    // Only the twelve pairing slots have a peak; the other tracks never own a union.
    const bool slotLive = s < kRegionMax && in.puwSlotPeak != nullptr && in.puwSlotPeak[s] != 0;
    uint8_t j = 255;
    if (slotLive) {
      for (uint8_t u = 0; u < kWaterUnionMax; ++u) {
        if (WaterUnionLive(w.astUnion[u]) && w.astUnion[u].slot == s) {
          j = u;
          break;
        }
      }
    }
    if (j != 255 && w.astUnion[j].confirmMark != 0) continue;
    const int32_t* p = t.asiPresence;
    uint8_t k = 0;
    for (uint8_t i = 1; i < 5; ++i) {
      if (p[i] < p[k]) k = i;
    }
    if (k == 0) continue;
    const int32_t m = p[k];
    const RegionRect Rk = t.astRect[k];
    const int32_t a = Imin(Imax(static_cast<int32_t>(WaterRectNodes(Rk)), 6), 10);
    int32_t M = m;
    for (uint8_t i = static_cast<uint8_t>(k + 1); i < 5; ++i) M = Imax(M, p[i]);
    if (!(static_cast<int64_t>(p[0]) > static_cast<int64_t>(m) + ((a * 100) & ~3) &&
          static_cast<int64_t>(M) - m < a * 40)) {
      continue;
    }
    uint8_t target;
    if (j != 255) {
      const WaterUnion& u = w.astUnion[j];
      const uint8_t cy = static_cast<uint8_t>(u.lastY / 4), cx = static_cast<uint8_t>(u.lastX / 4);
      const RegionRect centre = RegionRectGrow(RegionRect{cy, cy, cx, cx}, 1, R, C);
      if (WaterRectOverlap(centre, u.rect)) continue;
      target = j;
    } else {
      if (F == 255) continue;
      if (!WaterRectOverlap(RegionRectGrow(Rk, 1, R, C), RegionRectGrow(t.astRect[0], 1, R, C))) continue;
      target = F;
      w.astUnion[F].rect = t.astRect[0];
    }
    WaterUnion& tu = w.astUnion[target];
    tu.armed = 1;
    tu.posSum = static_cast<int32_t>(RegionRectWord(Rk));
    tu.startValue = static_cast<uint16_t>(m);
    result = 1;
    // A second slot armed in the same call takes the next free union: writing F again
    // would overwrite the first slot's start with the second's.
    if (target == F) F = nextFree(static_cast<uint32_t>(F) + 1);
  }
  return result;
}

uint8_t JudgeProfileSplit(const WaterproofInput* pstIn, const int16_t* pswProfile, uint8_t ubAxis, RegionRect stRect,
                          RegionRect stRef, uint8_t* pubOut) {
  const WaterproofInput& in = *pstIn;
  *pubOut = 0;
  if (pswProfile == nullptr) return 0;
  const int32_t lines = ubAxis == 0 ? in.ubRowNum : in.ubColNum;
  int32_t lo = ubAxis == 0 ? stRect.ubRowStart : stRect.ubColStart;
  int32_t hi = ubAxis == 0 ? stRect.ubRowEnd : stRect.ubColEnd;
  if (lo > hi || lines == 0) return 0;
  hi = Imin(hi, lines - 1);
  if (lo > hi) return 0;
  const int32_t n = static_cast<uint8_t>(hi - lo + 1);
  if (n < 6) return 0;
  const int32_t mid = (lo + hi) / 2;
  const int32_t end1 = ((lo + hi) % 2 == 0) ? mid - 1 : mid;
  const int32_t start2 = mid + 1;
  int32_t count1 = 0, count2 = 0, max1 = 0, max2 = 0;
  int16_t sum1 = 0, sum2 = 0, total = 0;
  for (int32_t l = lo; l <= hi; ++l) {
    const int32_t v = pswProfile[l];
    total = static_cast<int16_t>(total + v);
    if (v < 51) continue;
    if (l <= end1) {
      ++count1;
      sum1 = static_cast<int16_t>(sum1 + v);
      max1 = Imax(max1, v);
    } else if (l >= start2) {
      ++count2;
      sum2 = static_cast<int16_t>(sum2 + v);
      max2 = Imax(max2, v);
    }
  }
  const int16_t mean1 = count1 != 0 ? static_cast<int16_t>(sum1 / count1) : 0;
  const int16_t mean2 = count2 != 0 ? static_cast<int16_t>(sum2 / count2) : 0;
  const int32_t M = Imax(max1, max2);
  const int32_t avg = total / n;
  uint32_t peaks = 0;
  bool open = false;
  for (int32_t l = lo; l <= hi; ++l) {
    const int32_t v = pswProfile[l];
    if (!open && (v >= 200 || v >= Imax(avg, 4 * M / 5))) {
      open = true;
      ++peaks;
    } else if (open && (v < 50 || v < Imin(2 * M / 5, avg))) {
      open = false;
    }
  }
  if (mean1 == 0 && mean2 == 0) return 0;
  if (peaks > 1) {
    *pubOut = 2;
    return 1;
  }
  // A line of the half that is mostly above the touch level is a finger, not a tail of water.
  const auto halfHasFinger = [&](int32_t from, int32_t to) {
    const int32_t a0 = ubAxis == 0 ? stRect.ubColStart : stRect.ubRowStart;
    const int32_t a1 = Imin(ubAxis == 0 ? stRect.ubColEnd : stRect.ubRowEnd, (ubAxis == 0 ? in.ubColNum : in.ubRowNum) - 1);
    for (int32_t l = from; l <= to; ++l) {
      int32_t cnt = 0;
      for (int32_t x = a0; x <= a1; ++x) {
        const int16_t d = ubAxis == 0 ? DiffAt(in, l, x) : DiffAt(in, x, l);
        if (d > static_cast<int32_t>(in.uwTouchLevel)) ++cnt;
      }
      if (cnt > n / 2) return true;
    }
    return false;
  };
  const int32_t refEnd = ubAxis == 0 ? stRef.ubRowEnd : stRef.ubColEnd;
  const int32_t refStart = ubAxis == 0 ? stRef.ubRowStart : stRef.ubColStart;
  uint8_t result;
  if (end1 >= refEnd) {
    result = halfHasFinger(start2, hi) ? 0 : 1;
    if ((static_cast<int16_t>(sum2 + 100) < sum1 && max2 < 250) ||
        (!(static_cast<int16_t>(sum2 + 100) < sum1) && mean1 > mean2 + 50 && max2 < 250)) {
      *pubOut = 1;
    }
    return result;
  }
  if (refStart < start2) return 0;
  result = halfHasFinger(lo, end1) ? 0 : 1;
  if ((static_cast<int16_t>(sum1 + 100) < sum2 && max1 <= 249) ||
      (static_cast<int16_t>(sum1 + 100) >= sum2 && mean2 > mean1 + 50 && max1 < 250)) {
    *pubOut = 1;
  }
  return result;
}

namespace {

struct Window {
  int32_t r0, r1, c0, c1;
  bool Empty() const { return r0 > r1 || c0 > c1; }
};

Window Around(int32_t r, int32_t c, int32_t half, const Window& cut) {
  return Window{Imax(r - half, cut.r0), Imin(r + half, cut.r1), Imax(c - half, cut.c0), Imin(c + half, cut.c1)};
}

// The search ranges of a union: its rectangle kept one node in from the grid edges.
Window UnionRanges(const WaterproofInput& in, const RegionRect& U) {
  return Window{Imax(U.ubRowStart, 1), Imin(in.ubRowNum - 2, U.ubRowEnd), Imax(U.ubColStart, 1),
                Imin(in.ubColNum - 2, U.ubColEnd)};
}

// The strongest marked, changing node of the window by SCORE; false when none.
bool BestNode(const WaterproofInput& in, const Window& win, const int16_t* pswScore, int32_t& br, int32_t& bc,
              int32_t& B) {
  bool found = false;
  B = 0;
  for (int32_t r = win.r0; r <= win.r1; ++r) {
    for (int32_t c = win.c0; c <= win.c1; ++c) {
      const uint32_t i = static_cast<uint32_t>(r) * in.ubColNum + c;
      const int32_t d = in.pswDiff[i];
      const int32_t q = in.pswDiffLastLast != nullptr ? in.pswDiffLastLast[i] : 0;
      if (gstWaterState.WaterMarkMap[i] == 0 || d < 25 || (d - q <= 49 && d - q >= -49)) continue;
      if (!found || pswScore[i] > B) {
        found = true;
        B = pswScore[i];
        br = r;
        bc = c;
      }
    }
  }
  if (!found) B = 0;
  return found;
}

bool Counts(const WaterproofInput& in, uint32_t i) { return in.pubLabelMap[i] != kRegionLabelNone || in.pswDiff[i] >= 51; }

uint32_t CountIn(const WaterproofInput& in, const Window& win) {
  uint32_t n = 0;
  for (int32_t r = win.r0; r <= win.r1; ++r)
    for (int32_t c = win.c0; c <= win.c1; ++c) n += Counts(in, static_cast<uint32_t>(r) * in.ubColNum + c) ? 1u : 0u;
  return n;
}

// Bounding box and largest diff of the window's touch nodes; false when it has none.
bool TouchBox(const WaterproofInput& in, const Window& win, uint16_t& peak, RegionRect& box) {
  bool any = false;
  int32_t best = 0;
  box = RegionRect{255, 0, 255, 0};
  for (int32_t r = win.r0; r <= win.r1; ++r) {
    for (int32_t c = win.c0; c <= win.c1; ++c) {
      const uint32_t i = static_cast<uint32_t>(r) * in.ubColNum + c;
      if (!Counts(in, i)) continue;
      if (!any) box = RegionRect{static_cast<uint8_t>(r), static_cast<uint8_t>(r), static_cast<uint8_t>(c), static_cast<uint8_t>(c)};
      any = true;
      box.ubRowStart = static_cast<uint8_t>(Imin(box.ubRowStart, r));
      box.ubRowEnd = static_cast<uint8_t>(Imax(box.ubRowEnd, r));
      box.ubColStart = static_cast<uint8_t>(Imin(box.ubColStart, c));
      box.ubColEnd = static_cast<uint8_t>(Imax(box.ubColEnd, c));
      best = Imax(best, in.pswDiff[i]);
    }
  }
  peak = static_cast<uint16_t>(best);
  return any;
}

uint8_t SlotHalfSize(const WaterproofInput& in, uint8_t s, bool boFrameStartMatters) {
  const CoordPair* cp = Pair(in);
  if (cp == nullptr || s >= kRegionMax) return 2;
  if (boFrameStartMatters && in.ubFrameStart != 0) return 2;
  return WaterRectNodes(cp->astLastRect[s]) < 25 ? 1 : 2;
}

}  // namespace

void FindUnionPeakRect(const WaterproofInput* pstIn, uint8_t ubUnion, uint8_t ubSlot, uint8_t ubMode,
                       const int16_t* pswScore, uint16_t* puwPeak, uint32_t* puiRect) {
  const WaterproofInput& in = *pstIn;
  const RegionRect U = gstWaterState.astUnion[ubUnion].rect;
  const Window ranges = UnionRanges(in, U);
  // Profile peaks along the union's rows and columns.
  int32_t pr = 255, pc = 255;
  if (in.pswSelfDiff != nullptr) {
    int32_t best = 50;
    for (int32_t r = ranges.r0; r <= ranges.r1; ++r)
      if (in.pswSelfDiff[r] > best) best = in.pswSelfDiff[r], pr = r;
    best = 50;
    for (int32_t c = ranges.c0; c <= ranges.c1; ++c)
      if (in.pswSelfDiff[in.ubRowNum + c] > best) best = in.pswSelfDiff[in.ubRowNum + c], pc = c;
  }
  const bool slot = ubSlot < kRegionMax && in.puwSlotX != nullptr && in.puwSlotY != nullptr;
  const int32_t sc = slot ? in.puwSlotX[ubSlot] / 4 : 255, sr = slot ? in.puwSlotY[ubSlot] / 4 : 255;
  const bool usable = pr != 255 && pc != 255 && DiffAt(in, pr, pc) >= 1;
  Window win = ranges;
  int32_t wr = -1, wc = -1;
  if (slot || usable) {
    wr = usable ? pr : sr;
    wc = usable ? pc : sc;
    win = Around(wr, wc, 5, ranges);
  }
  int32_t br = 0, bc = 0, B = 0;
  const bool found = !win.Empty() && BestNode(in, win, pswScore, br, bc, B);
  const uint8_t h = slot ? SlotHalfSize(in, ubSlot, false) : 2;
  const int32_t lastR = in.ubRowNum - 1, lastC = in.ubColNum - 1;
  Window sq{1, 0, 1, 0};
  uint32_t n = 0;
  if (B != 0 && slot) {
    const auto axis = [h](int32_t best, int32_t s, int32_t centre, int32_t last, int32_t& a0, int32_t& a1) {
      const int32_t m = (best + s) / 2;
      a0 = Imax(m - h, 0);
      a1 = m + h + ((((best + s) & ~1) == best + centre) ? 0 : 1);
      a1 = Imin(a1, last);
    };
    axis(br, sr, wr, lastR, sq.r0, sq.r1);
    axis(bc, sc, wc, lastC, sq.c0, sq.c1);
    n = CountIn(in, sq);
  }
  Window res{1, 0, 1, 0};
  if (!slot) {
    if (found) res = Window{Imax(br, 2) - 2, Imin(br + 2, lastR), Imax(bc, 2) - 2, Imin(bc + 2, lastC)};
  } else if (B < 80 || n < 2) {
    res = Window{Imax(sr, 2) - 2, Imin(sr + 2, lastR), Imax(sc, 2) - 2, Imin(sc + 2, lastC)};
  } else {
    res = sq;
  }
  if (ubMode >= 10) {
    res = Window{Imax(res.r0, U.ubRowStart), Imin(res.r1, U.ubRowEnd), Imax(res.c0, U.ubColStart),
                 Imin(res.c1, U.ubColEnd)};
  }
  uint16_t peak = 0;
  RegionRect box{};
  if (res.Empty() || !TouchBox(in, res, peak, box)) {
    *puwPeak = 0;
    *puiRect = RegionRectWord(RegionRect{in.ubRowNum, 0, in.ubColNum, 0});
    return;
  }
  *puwPeak = peak;
  *puiRect = RegionRectWord(box);
}

void FindUnionSlotPeakRect(const WaterproofInput* pstIn, uint8_t ubUnion, const int16_t* pswScore, uint16_t* puwPeak,
                           uint32_t* puiRect) {
  const WaterproofInput& in = *pstIn;
  const WaterUnion& u = gstWaterState.astUnion[ubUnion];
  const RegionRect U = u.rect;
  const Window ranges = UnionRanges(in, U);
  const uint8_t s = u.slot;
  const bool slot = s < kRegionMax && in.puwSlotX != nullptr && in.puwSlotY != nullptr && Pair(in) != nullptr;
  const int32_t sc = slot ? in.puwSlotX[s] / 4 : 255, sr = slot ? in.puwSlotY[s] / 4 : 255;
  const Window win = slot ? Around(sr, sc, 5, ranges) : ranges;
  int32_t br = 0, bc = 0, B = 0;
  const bool found = !win.Empty() && BestNode(in, win, pswScore, br, bc, B);
  if (!slot && !found) return;
  const int32_t lastR = in.ubRowNum - 1, lastC = in.ubColNum - 1;
  Window res{1, 0, 1, 0};
  if (!slot) {
    res = Window{Imax(br - 2, 0), Imin(br + 2, lastR), Imax(bc - 2, 0), Imin(bc + 2, lastC)};
  } else if (!found) {
    const RegionRect K = Pair(in)->astLastRect[s];
    res = Window{K.ubRowStart, Imin(K.ubRowEnd, lastR), K.ubColStart, Imin(K.ubColEnd, lastC)};
  } else {
    const uint8_t h = SlotHalfSize(in, s, true);
    Window sq;
    const auto axis = [h](int32_t best, int32_t sl, int32_t last, int32_t& a0, int32_t& a1) {
      const int32_t m = (best + sl) / 2;
      a0 = Imax(m - h, 0);
      a1 = Imin(m + h + ((best + sl) % 2 != 0 ? 1 : 0), last);
    };
    axis(br, sr, lastR, sq.r0, sq.r1);
    axis(bc, sc, lastC, sq.c0, sq.c1);
    if (B >= 100 && CountIn(in, sq) >= 2) {
      res = sq;
    } else {
      res = Window{Imax(sr - 2, 0), Imin(sr + 2, lastR), Imax(sc - 2, 0), Imin(sc + 2, lastC)};
    }
  }
  res = Window{Imax(res.r0, U.ubRowStart), Imin(res.r1, U.ubRowEnd), Imax(res.c0, U.ubColStart),
               Imin(res.c1, U.ubColEnd)};
  if (res.Empty()) {
    *puwPeak = 0;
    *puiRect = RegionRectWord(RegionRect{in.ubRowNum, 0, in.ubColNum, 0});
    return;
  }
  uint16_t peak = 0;
  RegionRect box{};
  if (TouchBox(in, res, peak, box)) {
    *puwPeak = peak;
    *puiRect = RegionRectWord(box);
    return;
  }
  int32_t best = 0;
  for (int32_t r = res.r0; r <= res.r1; ++r)
    for (int32_t c = res.c0; c <= res.c1; ++c) best = Imax(best, DiffAt(in, r, c));
  *puwPeak = static_cast<uint16_t>(best);
  *puiRect = RegionRectWord(RegionRect{static_cast<uint8_t>(res.r0), static_cast<uint8_t>(res.r1),
                                       static_cast<uint8_t>(res.c0), static_cast<uint8_t>(res.c1)});
}
