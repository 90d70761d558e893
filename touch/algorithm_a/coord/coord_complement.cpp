// Complement pass of coordinate pairing: two fingers of the last frame that the search now
// returns as one region are split again (along the slots' last rectangles or the floating
// network's rectangles); with the counts matching, pairs that must stay apart are marked.
#include <cstring>

#include "coord_pair.h"

namespace {

// Sum over R of |diff - previous| where it exceeds 40, as 16 bits.
int16_t ChangeOver(RegionRect r) {
  const CoordPairInput& in = PairIn();
  int16_t C = 0;
  if (in.pswPrevDiff == nullptr || !RectValidOn(r, in.ubRows, in.ubColumns)) return C;
  for (uint32_t y = r.ubRowStart; y <= r.ubRowEnd; ++y) {
    for (uint32_t x = r.ubColStart; x <= r.ubColEnd; ++x) {
      int32_t d = in.pswDiff[y * in.ubColumns + x] - in.pswPrevDiff[y * in.ubColumns + x];
      if (d < 0) d = -d;
      if (d > 40) C = static_cast<int16_t>(C + d);
    }
  }
  return C;
}

// Slots below the occupied count whose last rectangle lies inside G; up to two indexes.
uint8_t SlotsInside(RegionRect G, uint8_t* pubIdx, RegionRect* pstBox) {
  const CoordPairStatics& st = gstCoordPairStatics;
  uint8_t cnt = 0;
  for (uint8_t j = 0; j < st.ubOccupiedCount && j < kCoordPointMax; ++j) {
    const RegionRect L = gstCoordPair.astLastRect[j];
    if (gstCoordPair.auwLastRectMaxDiff[j] == 0 || !RectInside(L, G)) continue;
    if (cnt < 2) pubIdx[cnt] = j;
    ++cnt;
    if (pstBox != nullptr) *pstBox = RectUnion(*pstBox, L);
  }
  return cnt;
}

void Split(uint8_t k, uint8_t i, uint8_t j, uint8_t ubSelector) {
  CoordPairStatics& st = gstCoordPairStatics;
  st.uwComplementState = 1;
  st.aubComplementPartner[i] = j;
  if (PairIn().ubRegionCount < kCoordPointMax) {
    SplitRegionBySlotRects(k, i, j, ubSelector);
    st.ubComplementDone = 1;
  }
}

void NetworkSplit() {
  const CoordPairInput& in = PairIn();
  const uint8_t N = gstNetFloatInfo.ubRectNum < kFloatComplementMax ? gstNetFloatInfo.ubRectNum : kFloatComplementMax;
  for (uint8_t k = 0; k < PairRegions(); ++k) {
    if (!PairPresent(k) || JudgeSteadyTrackInRegion(k, kCoordNoSlot) != 0) continue;
    const RegionRect G = RegionRectGrow(in.pstRect[k], 1, in.ubRows, in.ubColumns);
    uint8_t idx[2] = {0, 0};
    uint8_t cnt = 0;
    for (uint8_t t = 0; t < N; ++t) {
      if (!RectInside(gstNetFloatInfo.astRect[t], G)) continue;
      if (cnt < 2) idx[cnt] = t;
      ++cnt;
    }
    if (cnt == 2) {
      Split(k, idx[0], idx[1], 1);
      return;
    }
  }
}

void SlotSplit() {
  const CoordPairInput& in = PairIn();
  for (uint8_t k = 0; k < PairRegions(); ++k) {
    if (!PairPresent(k) || JudgeSteadyTrackInRegion(k, kCoordNoSlot) != 0) continue;
    const uint32_t p = CountPeaksInRect(in.pstRect[k]);
    const RegionRect G = RegionRectGrow(in.pstRect[k], 1, in.ubRows, in.ubColumns);
    uint8_t idx[2] = {0, 0};
    if (SlotsInside(G, idx, nullptr) == 2 && p >= 2) {
      Split(k, idx[0], idx[1], 0);
      return;
    }
  }
}

void MarkingRoad() {
  const CoordPairInput& in = PairIn();
  CoordPairStatics& st = gstCoordPairStatics;
  auto gain = [&](RegionRect r, int32_t* pDrops) {
    int16_t sum = 0;
    int32_t drops = 0;
    if (in.pswPrevDiff != nullptr && RectValidOn(r, in.ubRows, in.ubColumns)) {
      for (uint32_t y = r.ubRowStart; y <= r.ubRowEnd; ++y) {
        for (uint32_t x = r.ubColStart; x <= r.ubColEnd; ++x) {
          const int32_t v = in.pswDiff[y * in.ubColumns + x], p = in.pswPrevDiff[y * in.ubColumns + x];
          sum = static_cast<int16_t>(sum + (v - p));
          if (v + 50 < p) ++drops;
        }
      }
    }
    *pDrops = drops;
    return static_cast<int32_t>(sum);
  };
  const uint8_t n = PairRegions();
  for (uint8_t r1 = 0; r1 < n; ++r1) {
    for (uint8_t r2 = static_cast<uint8_t>(r1 + 1); r2 < n; ++r2) {
      if (!PairPresent(r1) || !PairPresent(r2)) continue;
      int32_t d1 = 0, d2 = 0;
      const int32_t s1 = gain(in.pstRect[r1], &d1), s2 = gain(in.pstRect[r2], &d2);
      const bool keep1 = s1 < 1001 || s1 <= 2 * s2 || d1 >= 2;
      const bool keep2 = s2 < 1001 || 2 * s1 >= s2 || d2 > 1;
      if (keep1 && keep2) continue;
      if (CalcRectCoverSize(RegionRectGrow(in.pstRect[r1], 1, in.ubRows, in.ubColumns), in.pstRect[r2]) != 0) {
        st.uwComplementState = 1;
        st.aubComplementPartner[r1] = r2;
      }
    }
  }
}

void RunRoads() {
  const CoordPairInput& in = PairIn();
  CoordPairStatics& st = gstCoordPairStatics;
  const uint8_t n = PairRegions();
  if (n == 0) return;
  if (gstNetFloatInfo.ubFresh == 0) {
    if (st.ubOccupiedCount < n) return;
    if (st.ubComplementDone != 1) {
      const RegionRect t = in.stTouchRect;
      if (RectEmpty(t) || t.ubRowStart == 0 || t.ubColStart == 0 || t.ubRowEnd + 1u >= in.ubRows ||
          t.ubColEnd + 1u >= in.ubColumns) {
        return;
      }
      bool boFound = false;
      for (uint8_t k = 0; k < n && !boFound; ++k) {
        if (!PairPresent(k)) continue;
        const RegionRect G = RegionRectGrow(in.pstRect[k], 1, in.ubRows, in.ubColumns);
        RegionRect B = in.pstRect[k];
        uint8_t idx[2];
        if (SlotsInside(G, idx, &B) == 2 && CountPeaksInRect(B) == 2 && ChangeOver(B) <= 99) boFound = true;
      }
      if (!boFound) return;
    }
    RegionRect box{255, 0, 255, 0};
    for (uint8_t j = 0; j < st.ubOccupiedCount && j < kCoordPointMax; ++j) {
      if (gstCoordPair.auwLastRectMaxDiff[j] != 0) box = RectUnion(box, gstCoordPair.astLastRect[j]);
    }
    const RegionRect t = in.stTouchRect;
    if (!RectEmpty(box) &&
        static_cast<int32_t>(RectH(box) - 1 + RectW(box) - 1) - static_cast<int32_t>(RectH(t) - 1 + RectW(t) - 1) > 8) {
      return;
    }
    if (st.ubOccupiedCount == n) {
      MarkingRoad();
    } else {
      SlotSplit();
    }
    return;
  }
  const uint8_t N = gstNetFloatInfo.ubRectNum;
  if (st.ubOccupiedCount > n && N > n) {
    NetworkSplit();
  } else if (st.ubOccupiedCount > n && st.ubOccupiedCount - 1 == N && st.ubComplementDone == 1) {
    SlotSplit();
  } else if ((st.ubOccupiedCount + 1 == n || st.ubOccupiedCount + 2 == n) && N == n) {
    MarkingRoad();
  }
}

}  // namespace

void ComplementPass() {
  CoordPairStatics& st = gstCoordPairStatics;
  memset(st.aubComplementPartner, kCoordNoSlot, sizeof(st.aubComplementPartner));
  for (uint8_t k = 0; k < kCoordPointMax; ++k) {
    if (gstCoordPair.auwCurRectMaxDiff[k] != 0 && gstCoordPair.aubSlotState[k] >= 2) {
      st.uwComplementState = 0;
      return;
    }
  }
  RunRoads();
  if (PairIn().ubRegionCount == st.ubOccupiedCount) st.ubComplementDone = 1;
}
