// The region search stage of acquisition: diff conditioning, the region threshold, the
// connected-region search of the math library, steady track slots put back; and the
// second search seeded at local maxima with its growth from a node stack.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "coord_records.h"
#include "diff_stages.h"
#include "region_float.h"
#include "region_lib.h"
#include "region_proc.h"
#include "tsa_config.h"

RegionSearchState gstRegionSearchState;
PairCoreCounters gstPairCoreCounters;
uint16_t RegionGrowStack[30];
uint8_t RegionGrowStackCount;

namespace {

constexpr uint8_t kGrowStackMax = 30;
constexpr uint16_t kStrongSlotPeak = 201;

int16_t Frac(int32_t v, uint8_t f) { return static_cast<int16_t>((v * f) >> 6); }

struct Grower {
  const RegionGrid& g;
  uint8_t* pubLabel;
  uint8_t ubLabel;
  RegionSearchRecord& rec;

  void Take(int32_t r, int32_t c, bool boStrong) {
    pubLabel[r * g.ubCols + c] = ubLabel;
    const int16_t v = g.At(r, c);
    const uint16_t uwV = v < 0 ? 0 : static_cast<uint16_t>(v);
    if (boStrong) {
      if (uwV > static_cast<uint16_t>(rec.swPeak)) {
        rec.swPeak = static_cast<int16_t>(uwV);
        rec.ubPeakRow = static_cast<uint8_t>(r);
        rec.ubPeakCol = static_cast<uint8_t>(c);
      }
    }
    if (r > rec.ubBottom) {
      rec.ubBottom = static_cast<uint8_t>(r);
    } else if (r < rec.ubTop) {
      rec.ubTop = static_cast<uint8_t>(r);
    }
    if (c > rec.ubRight) {
      rec.ubRight = static_cast<uint8_t>(c);
    } else if (c < rec.ubLeft) {
      rec.ubLeft = static_cast<uint8_t>(c);
    }
    if (boStrong && RegionGrowStackCount < kGrowStackMax) {
      RegionGrowStack[RegionGrowStackCount++] = static_cast<uint16_t>(r * g.ubCols + c);
    }
  }
  bool Free(int32_t r, int32_t c) const { return g.In(r, c) && pubLabel[r * g.ubCols + c] == kRegionLabelNone; }
};

}  // namespace

void RegionGrowFromStack(const int16_t* pswDiff, const uint8_t* pubLabel, const RegionSearchParam* pstParam,
                         RegionSearchRecord* pstRec) {
  if (pswDiff == nullptr || pubLabel == nullptr || pstParam == nullptr || pstRec == nullptr ||
      pstParam->pubLabelMap == nullptr || pstParam->ubCols == 0) {
    RegionGrowStackCount = 0;
    return;
  }
  const RegionGrid g{const_cast<int16_t*>(pswDiff), pstParam->ubRows, pstParam->ubCols};
  Grower gr{g, pstParam->pubLabelMap, *pubLabel, *pstRec};
  const RegionSearchParam& p = *pstParam;
  while (RegionGrowStackCount > 0) {
    const uint16_t n = RegionGrowStack[--RegionGrowStackCount];
    const int32_t r = n / g.ubCols;
    const int32_t c = n - r * g.ubCols;
    if (!g.In(r, c)) continue;
    const int32_t v = g.At(r, c) < 0 ? 0 : g.At(r, c);
    const int16_t swSide = Frac(v, p.ubOrthStrongFactor);
    const int16_t swFloor = Frac(v, p.ubOrthWeakFactor);
    const int16_t swStrong = Frac(v, p.ubDiagStrongFactor);
    const int16_t swWeak = Frac(v, p.ubDiagWeakFactor);
    const int16_t swValley = Frac(v, p.ubSaddleFactor);
    static constexpr int32_t kDirs[4][2] = {{1, 0}, {0, 1}, {-1, 0}, {0, -1}};  // down, right, up, left
    for (const auto& d : kDirs) {
      const int32_t mr = r + d[0];
      const int32_t mc = c + d[1];
      if (!g.In(mr, mc)) {
        pstRec->uwScore = static_cast<uint16_t>(pstRec->uwScore + 2);
        continue;
      }
      if (!gr.Free(mr, mc)) continue;
      const int16_t u = g.At(mr, mc);
      if (u > v) pstRec->uwScore = static_cast<uint16_t>(pstRec->uwScore + 3);
      if (u > swSide) {
        ++pstRec->uwNodeCount;
        pstRec->uwScore = static_cast<uint16_t>(pstRec->uwScore + 3);
        gr.Take(mr, mc, true);
        continue;
      }
      if (u <= swFloor) continue;
      const int32_t fr = mr + d[0];
      const int32_t fc = mc + d[1];
      if (g.In(fr, fc) && u <= g.At(fr, fc)) continue;
      pstRec->uwScore = static_cast<uint16_t>(pstRec->uwScore + 1);
      gr.Take(mr, mc, false);
    }
    // Diagonals down-left, down-right, up-right, up-left with their flanking neighbours.
    static constexpr int32_t kDiag[4][2] = {{1, -1}, {1, 1}, {-1, 1}, {-1, -1}};
    for (const auto& d : kDiag) {
      const int32_t dr = r + d[0];
      const int32_t dc = c + d[1];
      if (!gr.Free(dr, dc)) continue;
      const int16_t f1 = g.At(r + d[0], c);
      const int16_t f2 = g.At(r, c + d[1]);
      if (!(f1 < v && f2 < v && (f1 >> 1) + (f2 >> 1) > swValley)) continue;
      const int16_t u = g.At(dr, dc);
      if (u > swStrong) {
        ++pstRec->uwNodeCount;
        pstRec->uwScore = static_cast<uint16_t>(pstRec->uwScore + 3);
        gr.Take(dr, dc, true);
      } else if (u > swWeak) {
        pstRec->uwScore = static_cast<uint16_t>(pstRec->uwScore + 1);
        gr.Take(dr, dc, false);
      }
    }
  }
}

void LocalPeakRegionSearch(const int16_t* pswDiff, uint8_t* pubCount, uint16_t* puwScore, RegionSearchParam* pstParam,
                           RegionSearchRecord* pstRec) {
  if (pswDiff == nullptr || pubCount == nullptr || puwScore == nullptr || pstParam == nullptr || pstRec == nullptr ||
      pstParam->pubLabelMap == nullptr)
    return;
  const RegionSearchParam& p = *pstParam;
  // Bits past the panel's rows carry no meaning (touch mode 1 sets them all); only the
  // panel's own rows 61-63 refuse the search.
  const uint64_t ullPanelRows = p.ubRows >= 64 ? ~0ull : (1ull << p.ubRows) - 1u;
  const uint64_t ullMask = ((static_cast<uint64_t>(p.uiRowMaskHigh) << 32) | p.uiRowMaskLow) & ullPanelRows;
  if (p.ubRows > 63 || p.ubCols >= 128 || (ullMask >> 61) != 0 || p.ubMaxRegions > 15 ||
      p.ubSaddleFactor > 63 || p.ubDiagStrongFactor > 63 || p.ubDiagWeakFactor > 63 || p.ubOrthStrongFactor > 63 ||
      p.ubOrthWeakFactor > 63 || p.ubRows == 0 || p.ubCols == 0 ||
      static_cast<uint32_t>(p.ubRows) * p.ubCols > kRegionMaxNodes)
    return;
  const RegionGrid g{const_cast<int16_t*>(pswDiff), p.ubRows, p.ubCols};
  uint8_t* pubLabel = p.pubLabelMap;
  for (int32_t r = 0; r < g.ubRows; ++r) {
    if (((gullDiffOverFlag >> r) & 1u) == 0) continue;
    for (int32_t c = 0; c < g.ubCols; ++c) {
      if (*pubCount >= kRegionMax) return;
      const int16_t v = g.At(r, c);
      if (pubLabel[r * g.ubCols + c] != kRegionLabelNone || v < p.swSeedThreshold) continue;
      if (v < g.At(r, c + 1, INT16_MIN) || v < g.At(r + 1, c, INT16_MIN) || v < g.At(r, c - 1, INT16_MIN) ||
          v < g.At(r - 1, c, INT16_MIN))
        continue;
      const uint8_t k = *pubCount;
      pubLabel[r * g.ubCols + c] = k;
      RegionSearchRecord& rec = pstRec[k];
      rec = RegionSearchRecord{static_cast<uint8_t>(r), static_cast<uint8_t>(r), static_cast<uint8_t>(c),
                               static_cast<uint8_t>(c), static_cast<int16_t>(v < 0 ? 0 : v), static_cast<uint8_t>(r),
                               static_cast<uint8_t>(c), 0, 0};
      RegionGrowStack[0] = static_cast<uint16_t>(r * g.ubCols + c);
      RegionGrowStackCount = 1;
      RegionGrowFromStack(pswDiff, &k, pstParam, &rec);
      *puwScore = static_cast<uint16_t>(*puwScore + rec.uwScore);
      *pubCount = static_cast<uint8_t>(k + 1);
    }
  }
}

namespace {

// Threshold drop (step of the search): returns true when the touch threshold is lowered.
bool ThresholdDropApplies(const RegionAcquireInput& in) {
  RegionSearchState& st = gstRegionSearchState;
  if (!(in.ubWaterOverride != 0 && in.ubFloatFlag == 0 && in.ubPairOverride == 0 && in.ubFloatMode == 0 &&
        in.uwThresholdDrop != 0 && in.uwThresholdDrop <= in.uwTouchThreshold && in.ubPrevPointNum != 0)) {
    st.ubThrDropCnt = 0;
    st.ubThrDropHold = 0;
    return false;
  }
  bool boStrong = false;
  if (in.puwPairLastPeak != nullptr) {
    for (uint8_t i = 0; i < kRegionMax; ++i) boStrong = boStrong || in.puwPairLastPeak[i] >= kStrongSlotPeak;
  }
  auto hold = []() {
    RegionSearchState& h = gstRegionSearchState;
    if (h.ubThrDropHold == 0) return false;
    --h.ubThrDropHold;
    return true;
  };
  if (!boStrong) {
    st.ubThrDropCnt = 0;
    return hold();
  }
  if (st.ubThrDropCnt > 99) {
    st.ubThrDropCnt = 100;
    st.ubThrDropHold = 25;
    return true;
  }
  const uint8_t ubBefore = st.ubThrDropCnt++;
  if (ubBefore >= 4) {
    st.ubThrDropHold = 25;
    return true;
  }
  return hold();
}

// Special areas: nodes of an entry's rectangle near the touch threshold get its boost.
void BoostSpecialAreas(const RegionAcquireInput& in, const RegionGrid& g) {
  const SpecialAreaTable& t = gstSpecialArea;
  for (uint8_t i = 0; i < t.ubCount && i < kRegionMax; ++i) {
    const SpecialArea& e = t.astEntry[i];
    if (e.ubBoost == 0) continue;
    const uint16_t uwGap = static_cast<uint16_t>(in.uwSecondThreshold - in.uwTouchThreshold);
    uint32_t m = e.ubBoost > uwGap ? e.ubBoost : uwGap;
    if (m > in.uwTouchThreshold / 2u) m = in.uwTouchThreshold / 2u;
    if (m <= 50) m = 50;
    const int32_t siFloor = static_cast<int32_t>(in.uwTouchThreshold) - static_cast<int32_t>(m);
    const RegionRect r = RegionRectFromWord(e.uiRect);
    for (int32_t row = r.ubRowStart; row <= r.ubRowEnd && row < g.ubRows; ++row) {
      for (int32_t col = r.ubColStart; col <= r.ubColEnd && col < g.ubCols; ++col) {
        const int32_t v = g.At(row, col);
        if (v >= siFloor) g.Set(row, col, static_cast<int16_t>(v + e.ubBoost > INT16_MAX ? INT16_MAX : v + e.ubBoost));
      }
    }
  }
}

bool RectOnEdge(RegionRect r, uint8_t ubRows, uint8_t ubCols) {
  return r.ubRowStart == 0 || r.ubRowEnd + 1u == ubRows || r.ubColStart == 0 || r.ubColEnd + 1u == ubCols;
}

// The region threshold of the frame.
uint16_t RegionThreshold(RegionAcquireInput& in, const CoordPair* pstPair) {
  uint32_t T = in.uwTouchThreshold;
  if ((in.ubPairOverride != 0 || in.ubFloatMode == 2) && in.ubWeakTouchMode == 0) T = (in.ubThresholdScale * T) >> 1;
  uint8_t n = 0;
  if (pstPair != nullptr) {
    for (uint8_t i = 0; i < kRegionMax; ++i) {
      if (pstPair->auwLastRectMaxDiff[i] == 0) continue;
      const RegionRect r = pstPair->astLastRect[i];
      const bool boCols = (r.ubColStart == 0 || r.ubColEnd + 1u == in.ubColNum) && r.ubColEnd - r.ubColStart + 1 < 3;
      const bool boRows = (r.ubRowStart == 0 || r.ubRowEnd + 1u == in.ubRowNum) && r.ubRowEnd - r.ubRowStart + 1 < 3;
      if (boCols || boRows) ++n;
    }
  }
  uint8_t& edge = gstRegionAcquireState.ubEdgeFlag;
  if (in.ubPrevPointNum == 0 || n == 0) {
    edge = 0;
    if (n >= 2) T = in.uwSecondThreshold;
  } else if (n <= 2) {
    if ((edge != 0 && n >= 1) || (edge == 0 && n == 2)) T = in.uwSecondThreshold;
  } else {
    edge = 1;
    T = in.uwSecondThreshold;
  }
  return static_cast<uint16_t>(T > 0xFFFF ? 0xFFFF : T);
}

void ClearRegion(RegionAcquireInput& in, uint8_t k) {
  const RegionRect r = RegionRectClip(in.pstRect[k], in.ubRowNum, in.ubColNum);
  if (RectValidOn(in.pstRect[k], in.ubRowNum, in.ubColNum)) {
    for (uint32_t row = r.ubRowStart; row <= r.ubRowEnd; ++row) {
      for (uint32_t col = r.ubColStart; col <= r.ubColEnd; ++col) {
        uint8_t& b = in.pubLabelMap[row * in.ubColNum + col];
        if (b == k) b = kRegionLabelNone;
      }
    }
  }
}

// Two-finger valley suppression: with exactly two occupied pairing slots, the nodes of the
// two-finger rectangle that lie between the two predicted finger positions are scaled down
// by how evenly they lie between them, so that the valley between two close fingers opens.
void SuppressTwoFingerValley(const RegionAcquireInput& in, const RegionGrid& g, CoordPair* pstPair) {
  if (pstPair == nullptr) return;
  PairCoreCounters& core = *PairCore();
  if (core.uwValleyFrames > core.ubValleyLimit) {
    core.ubValleyLimit = 0;
    return;
  }
  int32_t a = -1;
  int32_t b = -1;
  uint8_t n = 0;
  for (uint8_t i = 0; i < kRegionMax; ++i) {
    if (pstPair->auwLastRectMaxDiff[i] == 0) continue;
    if (n == 0) a = i;
    if (n == 1) b = i;
    ++n;
  }
  if (n != 2) return;
  const RegionRect rect = RegionRectClip(core.stTwoFingerRect, in.ubRowNum, in.ubColNum);
  if (!RectValidOn(core.stTwoFingerRect, in.ubRowNum, in.ubColNum)) return;
  const int32_t Xa = pstPair->auwSlotX[a], Ya = pstPair->auwSlotY[a];
  const int32_t Xb = pstPair->auwSlotX[b], Yb = pstPair->auwSlotY[b];
  const int32_t dx = ((Xb - pstPair->auwDownSlotX[b]) + (Xa - pstPair->auwDownSlotX[a])) >> 1;
  const int32_t dy = ((Yb - pstPair->auwDownSlotY[b]) + (Ya - pstPair->auwDownSlotY[a])) >> 1;
  const int32_t speed = static_cast<int32_t>(CalcIntegerSqrt(static_cast<uint32_t>(dx * dx + dy * dy)));
  const int32_t sx = ((Xa + Xb) - (pstPair->auwPrevSlotX[a] + pstPair->auwPrevSlotX[b])) >> 1;
  const int32_t sy = ((Ya + Yb) - (pstPair->auwPrevSlotY[a] + pstPair->auwPrevSlotY[b])) >> 1;
  const int32_t pax = Xa + sx, pay = Ya + sy, pbx = Xb + sx, pby = Yb + sy;
  const int32_t mx = (pax + pbx) >> 1, my = (pay + pby) >> 1;
  const int32_t lim = core.uwTwoFingerDist + 2;
  auto sq = [](int32_t x, int32_t y) { return static_cast<uint32_t>(x * x + y * y); };
  for (int32_t r = rect.ubRowStart; r <= rect.ubRowEnd; ++r) {
    for (int32_t c = rect.ubColStart; c <= rect.ubColEnd; ++c) {
      const int32_t v = g.At(r, c);
      if (v <= 25) continue;
      const uint32_t qa = sq(pax - 4 * c, pay - 4 * r);
      const uint32_t qb = sq(pbx - 4 * c, pby - 4 * r);
      if (static_cast<uint64_t>(qa) > 9ull * qb || static_cast<uint64_t>(qb) > 9ull * qa) continue;
      const int32_t da = static_cast<int32_t>(CalcIntegerSqrt(qa));
      const int32_t db = static_cast<int32_t>(CalcIntegerSqrt(qb));
      if (da > 4 && db > 4 && std::abs(dx) + std::abs(dy) > 12) {
        const int32_t dm = static_cast<int32_t>(CalcIntegerSqrt(sq(mx - 4 * c, my - 4 * r)));
        if (dm > 4) {
          const int64_t div = static_cast<int64_t>(speed) * dm;
          const int64_t k = div == 0 ? 0
                                     : std::llabs(static_cast<int64_t>(my - 4 * r) * dy +
                                                  static_cast<int64_t>(mx - 4 * c) * dx) * 100 / div;
          if (k < 90) continue;
        }
      }
      if (da > lim || db > lim) continue;
      const int32_t ratio = da + db == 0 ? 0 : (std::max(da, db) - std::min(da, db)) * 200 / (da + db);
      g.Set(r, c, static_cast<int16_t>(static_cast<int64_t>(ratio) * ratio * v / 10000));
    }
  }
}

// A fingertip landing beside a held one: the region search joins two tops whose nodes form a
// ridge on a diagonal (every step along it falls little), although the signal on the line
// between them falls by a half. A region is cut in two between two of its tops when one of
// them is where an occupied pairing slot held a finger (within 3/4 node of its position),
// the other lies 2 nodes or more from that position, and the signal on the straight line
// between the two tops falls by a third or more below the lower one. One finger laid down
// dips by at most 20-30 % between its maxima, and a held slot's finger is at its top, not
// between two lobes; once cut, each fingertip has a slot of its own at its top, so the cut
// holds on every later frame the valley stays a third deep.
constexpr int32_t kHeldTopReach = 3;   // quarter nodes, the held slot's position to its top
constexpr int32_t kOtherTopFrom = 8;   // quarter nodes, the other top from that position
constexpr int32_t kCutValley = 3;      // the line falls below (1 - 1/3) of the lower top

struct Top {
  int32_t r, c, v;
};

// The signal at (R, C) in sixteenths of a node, interpolated between the four nodes.
int32_t Between(const RegionGrid& g, int32_t r, int32_t c) {
  const int32_t r0 = r >> 4, c0 = c >> 4, fr = r & 15, fc = c & 15;
  const int32_t r1 = std::min<int32_t>(r0 + 1, g.ubRows - 1), c1 = std::min<int32_t>(c0 + 1, g.ubCols - 1);
  const int32_t up = (16 - fc) * g.At(r0, c0) + fc * g.At(r0, c1);
  const int32_t down = (16 - fc) * g.At(r1, c0) + fc * g.At(r1, c1);
  return ((16 - fr) * up + fr * down) / 256;
}

void CutHeldTopFromNewTop(RegionAcquireInput& in, const RegionGrid& g, const CoordPair* pstPair, uint8_t k) {
  if (pstPair == nullptr || in.ubRegionNum >= kRegionMax) return;
  const RegionRect rr = in.pstRect[k];
  if (!RectValidOn(rr, g.ubRows, g.ubCols)) return;
  const int32_t C = g.ubCols;
  auto label = [&](int32_t r, int32_t c) { return in.pubLabelMap[r * C + c]; };
  Top tops[8];
  int32_t n = 0;
  for (int32_t r = rr.ubRowStart; r <= rr.ubRowEnd && n < 8; ++r) {
    for (int32_t c = rr.ubColStart; c <= rr.ubColEnd && n < 8; ++c) {
      if (label(r, c) != k) continue;
      const int32_t v = g.At(r, c);
      if (v < static_cast<int32_t>(in.uwRegionThreshold)) continue;
      bool top = true;
      for (int32_t dr = -1; dr <= 1 && top; ++dr)
        for (int32_t dc = -1; dc <= 1 && top; ++dc)
          if ((dr != 0 || dc != 0) && g.In(r + dr, c + dc))
            top = (dr < 0 || (dr == 0 && dc < 0)) ? v > g.At(r + dr, c + dc) : v >= g.At(r + dr, c + dc);
      if (top) tops[n++] = Top{r, c, v};
    }
  }
  if (n < 2) return;
  for (uint8_t s = 0; s < kRegionMax; ++s) {
    if (pstPair->auwLastRectMaxDiff[s] == 0) continue;
    const int32_t sx = pstPair->auwSlotX[s], sy = pstPair->auwSlotY[s];
    auto from = [&](const Top& t) {
      const int32_t dx = 4 * t.c + 2 - sx, dy = 4 * t.r + 2 - sy;
      return dx * dx + dy * dy;
    };
    for (int32_t i = 0; i < n; ++i) {
      if (from(tops[i]) > kHeldTopReach * kHeldTopReach) continue;
      for (int32_t j = 0; j < n; ++j) {
        if (j == i || from(tops[j]) < kOtherTopFrom * kOtherTopFrom) continue;
        const Top a = tops[i], b = tops[j];
        // The line from A to B in eighths of a node; where it is lowest the region is cut,
        // square to the line.
        const int32_t len = std::max(std::abs(b.r - a.r), std::abs(b.c - a.c)) * 8;
        int32_t low = std::min(a.v, b.v), at = len / 2;
        for (int32_t q = 0; q <= len; ++q) {
          const int32_t v = Between(g, 16 * a.r + 16 * (b.r - a.r) * q / len, 16 * a.c + 16 * (b.c - a.c) * q / len);
          if (v < low) low = v, at = q;
        }
        if (kCutValley * low > (kCutValley - 1) * std::min(a.v, b.v)) continue;
        const uint8_t m = in.ubRegionNum;
        const int32_t lr = b.r - a.r, lc = b.c - a.c, l2 = lr * lr + lc * lc;
        RegionRect ka{255, 0, 255, 0}, kb{255, 0, 255, 0};
        uint16_t pa = 0, pb = 0, posA = 0, posB = 0;
        for (int32_t r = rr.ubRowStart; r <= rr.ubRowEnd; ++r) {
          for (int32_t c = rr.ubColStart; c <= rr.ubColEnd; ++c) {
            if (label(r, c) != k) continue;
            // Beyond the cut (in eighths of the line) the node goes to the new region.
            const bool far = 8 * ((r - a.r) * lr + (c - a.c) * lc) * (len / 8) > at * l2;
            RegionRect& box = far ? kb : ka;
            box = RegionRect{static_cast<uint8_t>(std::min<int32_t>(box.ubRowStart, r)),
                             static_cast<uint8_t>(std::max<int32_t>(box.ubRowEnd, r)),
                             static_cast<uint8_t>(std::min<int32_t>(box.ubColStart, c)),
                             static_cast<uint8_t>(std::max<int32_t>(box.ubColEnd, c))};
            const int32_t v = std::max<int32_t>(g.At(r, c), 0);
            uint16_t& peak = far ? pb : pa;
            if (v > peak) {
              peak = static_cast<uint16_t>(v);
              (far ? posB : posA) = static_cast<uint16_t>(c | (r << 8));
            }
            if (far) in.pubLabelMap[r * C + c] = m;
          }
        }
        if (pa == 0 || pb == 0) return;
        in.pstRect[k] = ka;
        in.puwPeak[k] = pa;
        in.puwPeakPos[k] = posA;
        in.pstRect[m] = kb;
        in.puwPeak[m] = pb;
        in.puwPeakPos[m] = posB;
        ++in.ubRegionNum;
        if (in.ubPairNum < kRegionMax) ++in.ubPairNum;
        return;
      }
    }
  }
}

// Trimming thresholds of the bounding rectangle by the first region's peak.
uint8_t BoundTrimLevel(uint16_t p) {
  if (p >= 401) return 120;
  if (p >= 300) return 100;
  if (p >= 251) return 95;
  return 70;
}

// A region is nested when another lies inside its rectangle grown by one, or it lies
// inside another's.
bool AnyNested(const RegionAcquireInput& in) {
  const uint8_t n = std::min<uint8_t>(in.ubRegionNum, kRegionMax);
  for (uint8_t i = 0; i < n; ++i) {
    const RegionRect gi = RegionRectGrow(in.pstRect[i], 1, in.ubRowNum, in.ubColNum);
    for (uint8_t j = 0; j < n; ++j) {
      if (j == i) continue;
      if (RectInside(in.pstRect[j], gi) || RectInside(gi, in.pstRect[j])) return true;
    }
  }
  return false;
}

// Re-forms the frame's regions from the three touches the pairing tracked last frame,
// moved with the regions' bounding rectangle. It needs three occupied pairing slots:
// with fewer there is nothing to re-form three touches from and the regions stay.
void ReformThreeTracked(RegionAcquireInput& in, const CoordPair* pstPair, bool boFloatOnEdge) {
  const uint8_t R = in.ubRowNum;
  const uint8_t C = in.ubColNum;
  const PairCoreCounters& core = *PairCore();
  const uint8_t n = in.ubRegionNum;
  const bool boCore = (core.ubCoreState == 1 && n != 3) || (core.ubCoreFrames >= 30 && n != 3) ||
                      (core.ubCoreFrames >= 30 && AnyNested(in));
  if (!boCore || in.ubPairOverride != 0 || in.ubRegionOutputFlag != 0 || GetSteadyTrackRects(nullptr, nullptr) != 0 ||
      boFloatOnEdge || in.ubPrevPointNum != 3 || n == 0)
    return;
  RegionRect aLast[3];
  uint8_t ubSlots = 0;
  RegionRect L = RegionRectFromWord(kRegionRectEmptyBound);
  for (uint8_t i = 0; i < kRegionMax; ++i) {
    if (pstPair->auwLastRectMaxDiff[i] == 0) continue;
    const RegionRect r = pstPair->astLastRect[i];
    if (ubSlots < 3) aLast[ubSlots] = r;
    ++ubSlots;
    L = RegionRect{std::min(L.ubRowStart, r.ubRowStart), std::max(L.ubRowEnd, r.ubRowEnd),
                   std::min(L.ubColStart, r.ubColStart), std::max(L.ubColEnd, r.ubColEnd)};
  }
  if (ubSlots < 3) return;
  RegionRect Rb = RegionRectFromWord(kRegionRectEmptyBound);
  for (uint8_t i = 0; i < std::min<uint8_t>(n, kRegionMax); ++i) {
    if (in.puwPeak[i] == 0) continue;
    const RegionRect r = in.pstRect[i];
    Rb = RegionRect{std::min(Rb.ubRowStart, r.ubRowStart), std::max(Rb.ubRowEnd, r.ubRowEnd),
                    std::min(Rb.ubColStart, r.ubColStart), std::max(Rb.ubColEnd, r.ubColEnd)};
  }
  if (!RectValidOn(Rb, R, C)) return;
  const int32_t hR = Rb.ubRowEnd - Rb.ubRowStart + 1, wR = Rb.ubColEnd - Rb.ubColStart + 1;
  const int32_t hL = L.ubRowEnd - L.ubRowStart + 1, wL = L.ubColEnd - L.ubColStart + 1;
  if (std::abs(wR - wL) + std::abs(hR - hL) >= 4 || std::max(hR, wR) >= 15 || std::min(hR, wR) <= 2) return;
  RegionRect aNew[3];
  bool aboOk[3];
  for (int k = 0; k < 3; ++k) {
    const RegionRect r = aLast[k];
    const int32_t rs = r.ubRowStart + (Rb.ubRowStart - L.ubRowStart);
    const int32_t re = r.ubRowEnd + (Rb.ubRowEnd - L.ubRowEnd);
    const int32_t cs = r.ubColStart + (Rb.ubColStart - L.ubColStart);
    const int32_t ce = r.ubColEnd + (Rb.ubColEnd - L.ubColEnd);
    // A moved rectangle that leaves the grid or turns inside out has no place this frame.
    aboOk[k] = rs >= 0 && cs >= 0 && rs <= re && cs <= ce && re < R && ce < C;
    aNew[k] = aboOk[k] ? RegionRect{static_cast<uint8_t>(rs), static_cast<uint8_t>(re), static_cast<uint8_t>(cs),
                                    static_cast<uint8_t>(ce)}
                       : RegionRectFromWord(kRegionRectEmptyBound);
  }
  for (int k = 0; k < 3; ++k) {
    if (!aboOk[k]) continue;
    const RegionRect grown = RegionRectGrow(aNew[k], 1, R, C);
    bool boAlone = true;
    for (int j = 0; j < 3; ++j) {
      if (j != k && aboOk[j] && CalcRectCoverSize(grown, aNew[j]) != 0) boAlone = false;
    }
    uint8_t aub[4] = {aNew[k].ubRowStart, aNew[k].ubRowEnd, aNew[k].ubColStart, aNew[k].ubColEnd};
    AdjustRectByThreshold(aub, C, R, 50, 50, in.pswDiff, boAlone ? 1 : 0);
    aNew[k] = RegionRect{aub[0], aub[1], aub[2], aub[3]};
    aboOk[k] = RectValidOn(aNew[k], R, C);
  }
  const RegionGrid g{in.pswDiff, R, C};
  uint8_t ubKept = 0;
  for (uint8_t i = 0; i < kRegionMax; ++i) {
    int32_t siPeak = 0;
    if (i < 3 && aboOk[i]) {
      for (int32_t r = aNew[i].ubRowStart; r <= aNew[i].ubRowEnd; ++r)
        for (int32_t c = aNew[i].ubColStart; c <= aNew[i].ubColEnd; ++c) siPeak = std::max<int32_t>(siPeak, g.At(r, c));
    }
    if (i < 3 && aboOk[i] && siPeak >= in.uwSecondThreshold && siPeak > 0) {
      in.pstRect[i] = aNew[i];
      in.puwPeak[i] = static_cast<uint16_t>(siPeak);
      ++ubKept;
    } else {
      in.pstRect[i] = RegionRectFromWord(kRegionRectEmptyBound);
      in.puwPeak[i] = 0;
    }
  }
  in.ubRegionNum = ubKept;
  in.ubRegionNum = RearrangeRegion(kRegionMax, in.puwPeak, in.pstRect, in.puwPeakPos, in.puwWaterValue, in.pubLabelMap,
                                   R, C);
}

}  // namespace

void RegionSearchProc(RegionAcquireInput* pstIn, uint8_t ubFlags) {
  if (pstIn == nullptr || pstIn->pswDiff == nullptr || pstIn->pubLabelMap == nullptr || pstIn->pstRect == nullptr ||
      pstIn->puwPeak == nullptr || pstIn->puwPeakPos == nullptr || pstIn->pubWorkBuf == nullptr)
    return;
  RegionAcquireInput& in = *pstIn;
  RegionAcquireState& s = gstRegionAcquireState;
  const uint8_t R = in.ubRowNum;
  const uint8_t C = in.ubColNum;
  const RegionGrid g{in.pswDiff, R, C};
  const auto* pstPair = static_cast<const CoordPair*>(in.pvCoordPair);

  const bool boWaterPresent = gstRegionRoles.aubWaterFlag[0] != 0 || gstRegionRoles.aubWaterFlag[1] != 0;
  if ((ubFlags & 1u) == 0 && !boWaterPresent) {
    SuppressTwoFingerValley(in, g, const_cast<CoordPair*>(pstPair));
    BoostSpecialAreas(in, g);
    if (ThresholdDropApplies(in)) in.uwTouchThreshold = static_cast<uint16_t>(in.uwTouchThreshold - in.uwThresholdDrop);
  }

  // Edge columns scaled for the search only; their values are kept aside (the shared work
  // buffer has no room reserved for them on tall panels) and put back afterwards.
  const bool boEdgeScale = in.ubEdgeColScale != 0 && in.ubWeakTouchMode == 0 && C > 0 && R <= kRegionMaxRows;
  static int16_t aswEdgeSave[2 * kRegionMaxRows];
  if (boEdgeScale) {
    for (int32_t r = 0; r < R; ++r) {
      aswEdgeSave[2 * r] = g.At(r, 0);
      aswEdgeSave[2 * r + 1] = g.At(r, C - 1);
      g.Set(r, 0, static_cast<int16_t>((g.At(r, 0) * in.ubEdgeColScale) >> 7));
      g.Set(r, C - 1, static_cast<int16_t>((aswEdgeSave[2 * r + 1] * in.ubEdgeColScale) >> 7));
    }
  }

  const uint16_t T = RegionThreshold(in, pstPair);
  in.uwRegionThreshold = T;

  auto* pstParam = reinterpret_cast<RegionSearchParam*>(in.pubWorkBuf);
  auto* pstRec = reinterpret_cast<RegionSearchRecord*>(in.pubWorkBuf + 40);
  memset(pstParam, 0, sizeof(*pstParam));
  pstParam->pubLabelMap = in.pubLabelMap;
  pstParam->uiRowMaskLow = static_cast<uint32_t>(in.ullDiffOverRows);
  pstParam->uiRowMaskHigh = static_cast<uint32_t>(in.ullDiffOverRows >> 32);
  pstParam->swSeedThreshold = static_cast<int16_t>(T > 0x7FFF ? 0x7FFF : T);
  pstParam->ubRows = R;
  pstParam->ubCols = C;
  pstParam->ubMaxRegions = kRegionMax;
  pstParam->uiKeepLines = 1;
  pstParam->uiLookAhead = 1;
  if (in.ubLongThumb == 0 && in.ubWaterOverride == 0 && in.ubFloatFlag == 0) {
    const RegionRect fr = in.stFloatRect;
    const bool boWide = s.uwSearchArea > 36 && s.ubSearchCount != 0 && !RectOnEdge(fr, R, C);
    pstParam->ubSaddleFactor = s.uwSearchArea != 0 ? 28 : 40;
    pstParam->ubDiagStrongFactor = boWide ? 48 : 44;
    pstParam->ubOrthStrongFactor = boWide ? 56 : 52;
    pstParam->ubDiagWeakFactor = 28;
    pstParam->ubOrthWeakFactor = 14;
  } else {
    pstParam->ubSaddleFactor = 28;
    pstParam->ubDiagStrongFactor = 40;
    pstParam->ubDiagWeakFactor = 16;
    pstParam->ubOrthStrongFactor = 48;
    pstParam->ubOrthWeakFactor = 14;
  }

  memset(pstRec, 0, kRegionMax * sizeof(RegionSearchRecord));
  for (uint8_t i = 0; i < kRegionMax; ++i) {
    in.pstRect[i] = RegionRectFromWord(kRegionRectNone);
    in.puwPeak[i] = 0;
  }
  uint8_t ubCount = 0;
  uint16_t uwScore = 0;
  if (LibXpu2RegionSearch(in.pswDiff, &ubCount, &uwScore, pstParam, pstRec) != 0) {
    ubCount = 0;
    uwScore = 0;
  }
  if ((in.ubFloatFlag != 0 || in.ubCommonMode != 0) && ubCount < kRegionMax) {
    LocalPeakRegionSearch(in.pswDiff, &ubCount, &uwScore, pstParam, pstRec);
  }
  if (ubCount > kRegionMax) ubCount = kRegionMax;
  s.ubSearchCount = ubCount;
  in.ubPairNum = ubCount;
  in.ubRegionNum = ubCount;
  in.uwSearchScore = uwScore;
  for (uint8_t i = 0; i < ubCount; ++i) {
    const RegionSearchRecord& rec = pstRec[i];
    in.pstRect[i] = RegionRect{rec.ubTop, rec.ubBottom, rec.ubLeft, rec.ubRight};
    in.puwPeak[i] = static_cast<uint16_t>(rec.swPeak < 0 ? 0 : rec.swPeak);
    in.puwPeakPos[i] = static_cast<uint16_t>(rec.ubPeakCol | (rec.ubPeakRow << 8));
  }
  for (uint8_t i = 0; i < ubCount; ++i) CutHeldTopFromNewTop(in, g, pstPair, i);
  ubCount = in.ubRegionNum;

  // Bounding area of the frame's regions.
  RegionRect bound = RegionRectFromWord(kRegionRectEmptyBound);
  bool boAny = false;
  for (uint8_t i = 0; i < ubCount; ++i) {
    if (in.puwPeak[i] == 0) continue;
    const RegionRect r = in.pstRect[i];
    boAny = true;
    if (r.ubRowStart < bound.ubRowStart) bound.ubRowStart = r.ubRowStart;
    if (r.ubRowEnd > bound.ubRowEnd) bound.ubRowEnd = r.ubRowEnd;
    if (r.ubColStart < bound.ubColStart) bound.ubColStart = r.ubColStart;
    if (r.ubColEnd > bound.ubColEnd) bound.ubColEnd = r.ubColEnd;
  }
  s.uwSearchArea = boAny ? static_cast<uint16_t>((bound.ubRowEnd - bound.ubRowStart + 1) *
                                                 (bound.ubColEnd - bound.ubColStart + 1))
                         : 0;
  if (boEdgeScale) {
    for (int32_t r = 0; r < R; ++r) {
      g.Set(r, 0, aswEdgeSave[2 * r]);
      g.Set(r, C - 1, aswEdgeSave[2 * r + 1]);
    }
  }

  // Steady slots the search did not find again (their nodes were cleared for it) come back
  // as regions; when they would not fit, the last regions make room.
  uint8_t S = 0;
  for (const RegionTrackSlot& slot : s.astSlot) S = static_cast<uint8_t>(S + (slot.ubFrameCnt >= 6 ? 1 : 0));
  if (S > 0 && in.ubRegionNum + S > kRegionMax) {
    for (uint8_t k = static_cast<uint8_t>(kRegionMax - S); k < kRegionMax; ++k) {
      if (in.puwPeak[k] == 0) continue;
      ClearRegion(in, k);
      in.puwPeak[k] = 0;
      in.pstRect[k] = RegionRectFromWord(kRegionRectCleared);
      in.puwPeakPos[k] = 0;
      if (in.ubPairNum > 0) --in.ubPairNum;
      if (in.ubRegionNum > 0) --in.ubRegionNum;
    }
  }
  for (uint8_t si = 0; si < kRegionMax; ++si) {
    const RegionTrackSlot& slot = s.astSlot[si];
    if (slot.ubFrameCnt < 6) continue;
    uint8_t k;
    if (in.ubRegionNum >= kRegionMax) {
      // Twelve regions: the weakest below 1000 gives way. When every one is at 1000 or
      // more the slot is not put back this frame: a strong region found by the search is
      // kept rather than replaced by a remembered one.
      k = kRegionLabelNone;
      uint16_t uwLow = 1000;
      for (uint8_t i = 0; i < kRegionMax; ++i) {
        if (in.puwPeak[i] < uwLow) {
          uwLow = in.puwPeak[i];
          k = i;
        }
      }
      if (k == kRegionLabelNone) continue;
      ClearRegion(in, k);
    } else {
      k = in.ubRegionNum;
      ++in.ubRegionNum;
      if (in.ubPairNum < kRegionMax) ++in.ubPairNum;
    }
    const RegionRect r = RegionRectClip(slot.stRect, R, C);
    in.pstRect[k] = r;
    in.puwPeak[k] = slot.uwPeak;
    in.puwPeakPos[k] = static_cast<uint16_t>(((r.ubColStart + r.ubColEnd) >> 1) | (((r.ubRowStart + r.ubRowEnd) >> 1) << 8));
    if (RectValidOn(slot.stRect, R, C)) {
      for (uint32_t row = r.ubRowStart; row <= r.ubRowEnd; ++row) {
        for (uint32_t col = r.ubColStart; col <= r.ubColEnd; ++col) {
          if (s.aubSlotLabel[row * C + col] == si) in.pubLabelMap[row * C + col] = k;
        }
      }
    }
  }

  // The bounding rectangle of the frame's regions, trimmed to its signal, for the two-peak
  // judgement; then the three tracked touches may re-form the regions.
  RegionRect B = RegionRectFromWord(kRegionRectNone);
  if (in.ubRegionNum != 0) {
    B = CalcAllRect(in.pstRect, std::min<uint8_t>(in.ubRegionNum, kRegionMax));
    const uint8_t ubLevel = BoundTrimLevel(in.puwPeak[0]);
    uint8_t aub[4] = {B.ubRowStart, B.ubRowEnd, B.ubColStart, B.ubColEnd};
    AdjustRectByThreshold(aub, C, R, ubLevel, ubLevel, in.pswDiff, 2);
    B = RegionRect{aub[0], aub[1], aub[2], aub[3]};
  }
  const int32_t h = B.ubRowEnd - B.ubRowStart + 1;
  const int32_t w = B.ubColEnd - B.ubColStart + 1;
  const bool boLarge = in.ubRegionNum != 0 && (h + w >= 8 || (h + w == 7 && std::min(h, w) != 3));
  const bool boEdge = in.ubRegionNum != 0 && RectOnEdge(B, R, C);
  RegionTwoPeakJudge(in, B, boLarge, boEdge);
  if (pstPair != nullptr) ReformThreeTracked(in, pstPair, RectOnEdge(in.stFloatRect, R, C));
}
