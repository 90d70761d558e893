// Region coordinates and the rectangle tests of coordinate pairing: the thresholded
// centroid of a region, region merge and split, and the small geometric judgements the
// pairing core asks.
#include <cstring>

#include "coord_pair.h"

namespace {

constexpr int16_t kCentroidFloor = 15;
constexpr uint32_t kNodePitch = 512;
constexpr uint32_t kNodeCentre = 256;

struct Centroid {
  uint16_t uwX;
  uint16_t uwY;
  uint16_t uwWeight;
  uint32_t uiSum;
};

// Centroid of the nodes of R at or above LEVEL, each weighing its value minus BASE. The
// moment sums are 64-bit: 512 times a sum of weights times column can pass 32 bits on a
// large region of strong signal, which would throw the point across the panel.
Centroid WeightedCentroid(const int16_t* pswMap, uint8_t ubCols, uint8_t ubRows, RegionRect r, int32_t iBase,
                          int32_t iLevel, int8_t scOffX, int8_t scOffY) {
  uint64_t ullS = 0, ullSx = 0, ullSy = 0;
  // Without a row count (the exported entry) only the row stride can be checked.
  const bool boValid = pswMap != nullptr && !RectEmpty(r) &&
                       (ubRows == 0 ? r.ubColEnd < ubCols : RectValidOn(r, ubRows, ubCols));
  if (boValid) {
    for (uint32_t y = r.ubRowStart; y <= r.ubRowEnd; ++y) {
      for (uint32_t x = r.ubColStart; x <= r.ubColEnd; ++x) {
        const int32_t v = pswMap[y * ubCols + x];
        if (v < iLevel) continue;
        const uint64_t w = static_cast<uint64_t>(static_cast<int16_t>(v - iBase));
        ullS += w;
        ullSx += w * x;
        ullSy += w * y;
      }
    }
  }
  Centroid c{};
  if (!boValid || ullS == 0) {
    c.uwX = static_cast<uint16_t>(scOffX + static_cast<int32_t>(kNodeCentre));
    c.uwY = static_cast<uint16_t>(scOffY + static_cast<int32_t>(kNodeCentre));
    c.uwWeight = 1;
    return c;
  }
  c.uwX = static_cast<uint16_t>(scOffX + static_cast<int64_t>(kNodePitch * ullSx / ullS) + kNodeCentre);
  c.uwY = static_cast<uint16_t>(scOffY + static_cast<int64_t>(kNodePitch * ullSy / ullS) + kNodeCentre);
  c.uiSum = ullS > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(ullS);
  c.uwWeight = ullS >= 0xFFFFu ? 0xFFFF : static_cast<uint16_t>(ullS + 1);
  return c;
}

}  // namespace

uint16_t RegionSqDist(uint8_t a, uint8_t b) {
  const CoordPairScratch& s = PairScratch();
  const int32_t dx = static_cast<int32_t>(s.auwQx[a]) - s.auwQx[b];
  const int32_t dy = static_cast<int32_t>(s.auwQy[a]) - s.auwQy[b];
  // Saturated, not wrapped: two regions far apart must not come out as close.
  const uint32_t v = static_cast<uint32_t>(dx * dx) + static_cast<uint32_t>(dy * dy);
  return v > 0xFFFFu ? 0xFFFF : static_cast<uint16_t>(v);
}

void CalcRegionCoord(uint8_t k, RegionRect r) {
  if (k >= kCoordPointMax) return;
  CoordPairInput& in = PairIn();
  if (gubRectTrimFlag != 0 && in.ubRegionCount == 1) {
    uint8_t aubRect[4] = {r.ubRowStart, r.ubRowEnd, r.ubColStart, r.ubColEnd};
    AdjustRectByThreshold(aubRect, in.ubColumns, in.ubRows, 80, 100, in.pswDiff, 2);
    r = RegionRect{aubRect[0], aubRect[1], aubRect[2], aubRect[3]};
  }
  const Centroid c =
      WeightedCentroid(in.pswDiff, in.ubColumns, in.ubRows, r, kCentroidFloor, kCentroidFloor, in.scOffsetX, in.scOffsetY);
  const uint8_t ubSlot = gstCoordPair.aubOrderIndex[k];
  if (ubSlot < kCoordPointMax) gstFingerUpFilter.auwWeight[ubSlot] = c.uwWeight;
  CoordPairScratch& s = PairScratch();
  s.auwX[k] = c.uwX;
  s.auwY[k] = c.uwY;
  s.auwWeight[k] = c.uwWeight;
  s.auwQx[k] = static_cast<uint16_t>((c.uwX >> 7) & 0x1FF);
  s.auwQy[k] = static_cast<uint16_t>(c.uwY >> 7);
}

VENDOR_EXPORT void NewCoordCalcSoftWare(CoordCalcInput* pstIn) {
  if (pstIn == nullptr) return;
  const RegionRect r{pstIn->ubRowStart, pstIn->ubRowEnd, pstIn->ubColStart, pstIn->ubColEnd};
  const int32_t iLevel = pstIn->swBase > pstIn->swGate ? pstIn->swBase : pstIn->swGate;
  const Centroid c =
      WeightedCentroid(pstIn->pswMap, pstIn->ubColNum, 0, r, pstIn->swBase, iLevel, pstIn->scOffsetX, pstIn->scOffsetY);
  pstIn->uwX = c.uwX;
  pstIn->uwY = c.uwY;
  pstIn->uwWeight = c.uwWeight;
  if (pstIn->ubSlot < kCoordPointMax) gstFingerUpFilter.auwWeight[pstIn->ubSlot] = c.uwWeight;
}

void MergeRegions(uint8_t a, uint8_t b) {
  if (a >= kCoordPointMax || b >= kCoordPointMax || a == b) return;
  CoordPairInput& in = PairIn();
  CoordPairScratch& s = PairScratch();
  if (s.ubMergedCount > 0) --s.ubMergedCount;
  uint16_t* puwPeak = in.puwPeak;
  if (gstCoordPair.auwCurRectMaxDiff[b] > gstCoordPair.auwCurRectMaxDiff[a]) {
    gstCoordPair.auwCurRectMaxDiff[a] = gstCoordPair.auwCurRectMaxDiff[b];
    if (puwPeak != nullptr) puwPeak[a] = puwPeak[b];
    if (in.puwPeakPos != nullptr) in.puwPeakPos[a] = in.puwPeakPos[b];
  }
  gstCoordPair.auwCurRectMaxDiff[b] = 0;
  if (puwPeak != nullptr) puwPeak[b] = 0;
  const RegionRect ra = in.pstRect[a];
  const RegionRect rb = in.pstRect[b];
  const RegionRect u = RectUnion(ra, rb);
  in.pstRect[a] = u;
  in.pstRect[b] = RegionRect{0, 0, 0, 0};
  if (in.pubLabelMap == nullptr || !RectValidOn(u, in.ubRows, in.ubColumns)) return;
  for (uint32_t y = u.ubRowStart; y <= u.ubRowEnd; ++y) {
    for (uint32_t x = u.ubColStart; x <= u.ubColEnd; ++x) {
      uint8_t& l = in.pubLabelMap[y * in.ubColumns + x];
      if (l == b) l = a;
    }
  }
}

uint8_t JudgeRectsTouch(RegionRect A, RegionRect B) {
  const int32_t hA = A.ubRowEnd - A.ubRowStart, wA = A.ubColEnd - A.ubColStart;
  const int32_t hB = B.ubRowEnd - B.ubRowStart, wB = B.ubColEnd - B.ubColStart;
  auto elongated = [](int32_t h, int32_t w) { return h + 1 >= 2 * (w + 1) || w + 1 >= 2 * (h + 1); };
  const bool boElongated = elongated(hA, wA) || elongated(hB, wB);
  if (hA <= 4 && wA <= 4 && hB <= 4 && wB <= 4 && PairIn().ubRegionCount == 2 && !boElongated && hA + wA <= 6 &&
      hB + wB <= 6 && !(hA + wA > 4 && hB + wB > 4)) {
    // Apart on either axis: no touch. The column test is the mirror of the row test, so
    // the answer does not depend on the order of the two rectangles.
    if (A.ubRowStart > B.ubRowEnd || A.ubRowEnd < B.ubRowStart || A.ubColStart > B.ubColEnd ||
        A.ubColEnd < B.ubColStart) {
      return 0;
    }
    // Meeting at one corner only counts when both edges meet there.
    const bool e1 = (A.ubRowEnd == B.ubRowStart) == (A.ubColEnd == B.ubColStart);
    const bool e2 = (A.ubRowStart == B.ubRowEnd) == (A.ubColStart == B.ubColEnd);
    return (e1 && e2) ? 1 : 0;
  }
  const int32_t g = gstCoordPair.ubGapFlag != 0 ? 1 : 0;
  if (B.ubRowEnd + g < A.ubRowStart || A.ubRowEnd + g < B.ubRowStart || B.ubColEnd + g < A.ubColStart ||
      A.ubColEnd + g < B.ubColStart) {
    return 0;
  }
  return 1;
}

void JudgeLastTwoBigRect() {
  CoordPairInput& in = PairIn();
  gstCoordPair.ubFloatConfirm = gubLastTwoBigRectSameColm;
  if (gstCoordPair.ubLastRectNum != 2 || in.ubColumnJudge == 0) {
    gubLastTwoBigRectSameColm = 0;
    return;
  }
  uint32_t side1 = 0, side2 = 0, big = 0, small = 0;
  bool boFirst = true;
  for (uint8_t j = 0; j < kCoordPointMax; ++j) {
    if (gstCoordPair.auwLastRectMaxDiff[j] == 0) continue;
    const RegionRect L = gstCoordPair.astLastRect[j];
    const uint32_t h = RectH(L) & 0xFF, w = RectW(L) & 0xFF;
    const uint32_t area = (h * w) & 0xFF;
    const uint32_t side = h > w ? h : w;
    if (boFirst) {
      side1 = side;
      big = area;
      small = area;
      boFirst = false;
    } else {
      side2 = side;
      if (area > big) big = area;
      if (area < small) small = area;
    }
  }
  FloatRegionRecord rec{};
  uint32_t uiLast = 0;
  memcpy(&uiLast, gstCommon.aubWorkRect, sizeof(uiLast));
  if (MatchFloatRegionRecord(in.ubRows, in.ubColumns, uiLast, &rec) != 0) {
    gstCoordPair.ubFloatConfirm = rec.ubBalanceExempt != 0 ? 1 : 0;
  }
  const uint32_t m = side1 < side2 ? side1 : side2;
  gubLastTwoBigRectSameColm = ((big < 32 || small < 12) && m < 5) ? 0 : in.ubColumnJudge;
}

uint8_t CountAdjacentSlots(uint8_t i, uint8_t* pubRowSpan) {
  if (i >= kCoordPointMax) return 0;
  const CoordPairInput& in = PairIn();
  const RegionRect ri = gstCoordPair.astLastRect[i];
  if (pubRowSpan != nullptr) *pubRowSpan = static_cast<uint8_t>(RectH(ri));
  uint8_t n = 0;
  for (uint8_t j = 0; j < kCoordPointMax; ++j) {
    if (j == i || gstCoordPair.auwLastRectMaxDiff[j] == 0) continue;
    const RegionRect rj = gstCoordPair.astLastRect[j];
    const RegionRect g = RegionRectGrow(rj, 1, in.ubRows, in.ubColumns);
    const bool rows = !(g.ubRowEnd < ri.ubRowStart || ri.ubRowEnd < g.ubRowStart);
    const bool cols = !(g.ubColEnd < ri.ubColStart || ri.ubColEnd < g.ubColStart);
    if (rows == cols) continue;
    const int32_t dx = static_cast<int32_t>(gstCoordPair.auwSlotX[i]) - gstCoordPair.auwSlotX[j];
    const int32_t dy = static_cast<int32_t>(gstCoordPair.auwSlotY[i]) - gstCoordPair.auwSlotY[j];
    const int32_t w = static_cast<int32_t>(RectW(ri) < RectW(rj) ? RectW(ri) : RectW(rj));
    const int32_t h = static_cast<int32_t>(RectH(ri) < RectH(rj) ? RectH(ri) : RectH(rj));
    if ((dx < 0 ? -dx : dx) > 4 * w && (dy < 0 ? -dy : dy) > 4 * h) continue;
    ++n;
  }
  return n;
}

VENDOR_EXPORT void CalcQuarterDeltas(const uint16_t* puwA, int16_t* pswOut, uint8_t n) {
  if (pswOut == nullptr) return;
  // With fewer than four values a quarter holds nothing: the deltas are 0 rather than a
  // read before the series.
  if (puwA == nullptr || n < 4) {
    memset(pswOut, 0, 4 * sizeof(int16_t));
    return;
  }
  const uint32_t q = n >> 2;
  pswOut[0] = static_cast<int16_t>(puwA[0] - puwA[q - 1]);
  pswOut[1] = static_cast<int16_t>(puwA[q] - puwA[2 * q - 1]);
  pswOut[2] = static_cast<int16_t>(puwA[2 * q] - puwA[3 * q - 1]);
  pswOut[3] = static_cast<int16_t>(puwA[3 * q] - puwA[n - 1]);
}

VENDOR_EXPORT uint8_t LcdNoiseAddShakeCount() {
  const CoordPairInput* p = gstCoordPairStatics.pstInput;
  if (p == nullptr) return 0;
  if (p->ubShakeFlag == 0 && p->uwShakeCount >= 801) return 1;
  return p->ubShakeLevel > 2 ? 1 : 0;
}

void MergeCloseRegionsOfSlot(uint8_t s) {
  CoordPairScratch& sc = PairScratch();
  if (s >= kCoordPointMax || sc.aubSlotRegionCount[s] == 1 || gstCoordPair.ubGapFlag == 0 ||
      gubLastTwoBigRectSameColm == 0) {
    return;
  }
  ResolveSlotRegion(s);
  uint8_t list[kCoordPointMax];
  const uint8_t m = sc.ubListCount;
  memcpy(list, sc.aubByIndex, sizeof(list));
  uint16_t* puwPeak = PairIn().puwPeak;
  for (uint8_t i = 0; i < m; ++i) {
    for (uint8_t j = 0; j < m; ++j) {
      const uint8_t ri = list[i], rj = list[j];
      if (i == j || puwPeak[ri] == 0 || puwPeak[rj] == 0) continue;
      if (RegionSqDist(ri, rj) >= 600 || !PiecesOfOneFinger(s, ri, rj)) continue;
      MergeRegions(ri, rj);
      CalcRegionCoord(ri, PairIn().pstRect[ri]);
      gstCoordPair.aubOrderIndex[rj] = kCoordNoSlot;
      if (sc.aubSlotRegionCount[s] > 0) --sc.aubSlotRegionCount[s];
    }
  }
}

void GrowRectBy2(RegionRect* pstRect, uint8_t ubRows, uint8_t ubCols) {
  if (pstRect == nullptr) return;
  *pstRect = RegionRectGrow(*pstRect, 2, ubRows, ubCols);
}

int16_t MinDiffInTouchRect() {
  const CoordPairInput& in = PairIn();
  const RegionRect r = in.stTouchRect;
  if (RectEmpty(r) || in.pswDiff == nullptr || !RectValidOn(r, in.ubRows, in.ubColumns)) return 32767;
  int16_t m = 32767;
  for (uint32_t y = r.ubRowStart; y <= r.ubRowEnd; ++y) {
    for (uint32_t x = r.ubColStart; x <= r.ubColEnd; ++x) {
      const int16_t v = in.pswDiff[y * in.ubColumns + x];
      if (v < m) m = v;
    }
  }
  return m;
}

uint8_t JudgeFloatPairByNet(uint8_t a, uint8_t b) {
  const CoordPairInput& in = PairIn();
  if (gstNetFloatInfo.ubRectNum == 0 || gubFloatAreaCnt > 3 || gstNetFloatInfo.ubRectNum != in.ubRegionCount) return 0;
  const RegionRect U = RectUnion(in.pstRect[a], in.pstRect[b]);
  if (!RectValidOn(U, in.ubRows, in.ubColumns)) return 0;
  uint32_t m = 0;
  for (uint32_t y = U.ubRowStart; y <= U.ubRowEnd; ++y) {
    for (uint32_t x = U.ubColStart; x <= U.ubColEnd; ++x) {
      if (in.pswDiff[y * in.ubColumns + x] >= 50) ++m;
    }
  }
  const RegionRect G = RegionRectGrow(U, 1, in.ubRows, in.ubColumns);
  uint32_t c = 0;
  const uint8_t N = gstNetFloatInfo.ubRectNum < kFloatComplementMax ? gstNetFloatInfo.ubRectNum : kFloatComplementMax;
  for (uint8_t t = 0; t < N; ++t) {
    if (RectOverlap(gstNetFloatInfo.astRect[t], G)) ++c;
  }
  const int32_t d = static_cast<int32_t>(RectH(U)) - static_cast<int32_t>(RectW(U));
  return ((d < 0 ? -d : d) < 2 && (m & 0xFF) < 17 && c == 2) ? 1 : 0;
}

uint32_t CountPeaksInRect(RegionRect r) {
  const CoordPairInput& in = PairIn();
  if (RectEmpty(r) || in.pswDiff == nullptr || !RectValidOn(r, in.ubRows, in.ubColumns)) return 0;
  const RegionGrid g{in.pswDiff, in.ubRows, in.ubColumns};
  uint32_t n = 0;
  for (int32_t y = r.ubRowStart; y <= r.ubRowEnd; ++y) {
    for (int32_t x = r.ubColStart; x <= r.ubColEnd; ++x) {
      const int16_t v = g.At(y, x);
      bool boPeak = true;
      for (int32_t dy = -1; dy <= 1 && boPeak; ++dy) {
        for (int32_t dx = -1; dx <= 1; ++dx) {
          if ((dy != 0 || dx != 0) && g.In(y + dy, x + dx) && g.At(y + dy, x + dx) > v) {
            boPeak = false;
            break;
          }
        }
      }
      if (boPeak) ++n;
    }
  }
  return n;
}

uint8_t JudgeSteadyTrackInRegion(uint8_t a, uint8_t b) {
  uint32_t rects[kRegionMax];
  GetSteadyTrackRects(rects, nullptr);
  const CoordPairInput& in = PairIn();
  for (uint32_t w : rects) {
    if (w == 0) continue;
    const RegionRect t = RegionRectFromWord(w);
    if (RectInside(t, in.pstRect[a])) return 1;
    if (b != kCoordNoSlot && b < kCoordPointMax && RectInside(t, in.pstRect[b])) return 1;
  }
  return 0;
}

uint8_t JudgeEdgeNarrowRegion(uint8_t k) {
  const CoordPairInput& in = PairIn();
  const RegionRect r = in.pstRect[k];
  if (!RectValidOn(r, in.ubRows, in.ubColumns)) return 0;
  const uint32_t H = RectH(r), W = RectW(r);
  if (H > 2 && W > 2) return 0;
  if (W == 1 && (r.ubColStart == 0 || r.ubColEnd + 1u == in.ubColumns)) return 1;
  if (H == 1 && (r.ubRowStart == 0 || r.ubRowEnd + 1u == in.ubRows)) return 1;
  const uint16_t pos = in.puwPeakPos != nullptr ? in.puwPeakPos[k] : 0;
  const uint32_t pc = pos & 0xFF, pr = pos >> 8;
  const RegionGrid g{in.pswDiff, in.ubRows, in.ubColumns};
  if (W == 2) {
    const uint32_t col = pc == 0 ? r.ubColStart + 1u : r.ubColStart;
    int32_t m = -32768;
    for (uint32_t y = r.ubRowStart; y <= r.ubRowEnd; ++y) m = g.At(y, col) > m ? g.At(y, col) : m;
    if (H > 3) return ((pc == 0 || pc + 1u == in.ubColumns) && m < in.uwSelfFloor) ? 1 : 0;
    return 0;
  }
  if (H == 2 && W >= 4) {
    const uint32_t row = pr == 0 ? r.ubRowStart + 1u : r.ubRowStart;
    int32_t m = -32768;
    for (uint32_t x = r.ubColStart; x <= r.ubColEnd; ++x) m = g.At(row, x) > m ? g.At(row, x) : m;
    return ((pr == 0 || pr + 1u == in.ubRows) && m < in.uwSelfFloor) ? 1 : 0;
  }
  return 0;
}

namespace {

// Largest value inside R (first in row-major order) and its packed position.
void PeakInRect(const CoordPairInput& in, RegionRect r, uint16_t* puwPeak, uint16_t* puwPos) {
  int16_t best = -32768;
  uint16_t pos = 0;
  for (uint32_t y = r.ubRowStart; y <= r.ubRowEnd; ++y) {
    for (uint32_t x = r.ubColStart; x <= r.ubColEnd; ++x) {
      const int16_t v = in.pswDiff[y * in.ubColumns + x];
      if (v > best) {
        best = v;
        pos = static_cast<uint16_t>((y << 8) | x);
      }
    }
  }
  *puwPeak = best > 0 ? static_cast<uint16_t>(best) : 0;
  *puwPos = pos;
}

}  // namespace

void SplitRegionBySlotRects(uint8_t r, uint8_t i, uint8_t j, uint8_t ubSelector) {
  CoordPairInput& in = PairIn();
  if (r >= kCoordPointMax || i >= kCoordPointMax || j >= kCoordPointMax || in.pswDiff == nullptr) return;
  // The second piece needs a free region number; with all twelve in use there is none and
  // the region stays whole rather than a thirteenth entry being written.
  uint8_t m = kCoordPointMax;
  for (uint8_t k = 0; k < kCoordPointMax; ++k) {
    if (k != r && gstCoordPair.auwCurRectMaxDiff[k] == 0) {
      m = k;
      break;
    }
  }
  if (m == kCoordPointMax || in.ubRegionCount >= kCoordPointMax) return;
  const RegionRect* src = (ubSelector & 1) != 0 ? gstNetFloatInfo.astRect : gstCoordPair.astLastRect;
  if ((ubSelector & 1) != 0 && (i >= kFloatComplementMax || j >= kFloatComplementMax)) return;
  const RegionRect ri = src[i], rj = src[j];
  if (!RectValidOn(ri, in.ubRows, in.ubColumns) || !RectValidOn(rj, in.ubRows, in.ubColumns)) return;
  uint16_t uwPeak = 0, uwPos = 0;
  PeakInRect(in, ri, &uwPeak, &uwPos);
  in.pstRect[r] = ri;
  in.puwPeak[r] = uwPeak;
  gstCoordPair.auwCurRectMaxDiff[r] = uwPeak;
  if (in.puwPeakPos != nullptr) in.puwPeakPos[r] = uwPos;
  PeakInRect(in, rj, &uwPeak, &uwPos);
  in.pstRect[m] = rj;
  in.puwPeak[m] = uwPeak;
  gstCoordPair.auwCurRectMaxDiff[m] = uwPeak;
  if (in.puwPeakPos != nullptr) in.puwPeakPos[m] = uwPos;
  if (in.pubLabelMap != nullptr) {
    for (uint32_t y = rj.ubRowStart; y <= rj.ubRowEnd; ++y) {
      for (uint32_t x = rj.ubColStart; x <= rj.ubColEnd; ++x) {
        uint8_t& l = in.pubLabelMap[y * in.ubColumns + x];
        if (l == r) l = m;
      }
    }
  }
  ++in.ubRegionCount;
  ++PairScratch().ubMergedCount;
}
