// The water pair split: water can bridge two fingers so that the union build sees one wet
// component where two touches lie. Once per frame a component holding two touches is cut
// where it is thinnest between them, when the self profile shows a valley there (or the pair
// has been followed long enough); the pair is then followed from frame to frame.
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "region_proc.h"
#include "region_water_ops.h"

namespace {

constexpr uint8_t kRegionIndexBase = 100;

int32_t Imax(int32_t a, int32_t b) { return a > b ? a : b; }
int32_t Imin(int32_t a, int32_t b) { return a < b ? a : b; }

const CoordPair* Pair(const WaterproofInput& in) { return static_cast<const CoordPair*>(in.pvCoordPair); }

bool SlotOccupied(const WaterproofInput& in, uint8_t s) {
  return s < kRegionMax && in.puwSlotPeak != nullptr && in.puwSlotPeak[s] != 0 && Pair(in) != nullptr;
}

bool SlotTracked(uint8_t s) { return s < kWaterTrackMax && gstWaterState.astSlotTrack[s].ubState >= 4; }

struct Candidate {
  uint8_t index;  // slot, or 100 + region
  RegionRect rect;
};

bool IsRegion(const Candidate& c) { return c.index >= kRegionIndexBase; }

bool HoldsLabel(const WaterproofInput& in, const uint8_t* pubLabel, const RegionRect& r, uint8_t l) {
  if (!RectValidOn(r, in.ubRowNum, in.ubColNum)) return false;
  for (int32_t row = r.ubRowStart; row <= r.ubRowEnd; ++row)
    for (int32_t c = r.ubColStart; c <= r.ubColEnd; ++c)
      if (pubLabel[row * in.ubColNum + c] == l) return true;
  return false;
}

uint8_t CollectSlotCandidates(const WaterproofInput& in, const RegionRect& X, bool boTracked, Candidate* out) {
  const WaterModuleState& w = gstWaterState;
  uint8_t n = 0;
  for (uint8_t s = 0; s < kRegionMax; ++s) {
    if (!SlotOccupied(in, s)) continue;
    if (boTracked ? (s != w.WaterPairIdxA && s != w.WaterPairIdxB) : !SlotTracked(s)) continue;
    const RegionRect K = Pair(in)->astLastRect[s];
    if (!RectInside(K, X)) continue;
    if (n < 3) out[n] = Candidate{s, K};
    ++n;
  }
  return n;
}

uint8_t CollectRegionCandidates(const WaterproofInput& in, const RegionRect& X, Candidate* out) {
  int32_t best[2] = {0, 0};
  uint8_t n = 0;
  for (uint8_t k = 0; k < kRegionMax; ++k) {
    const RegionRect Rk = in.pstRect[k];
    if (in.puwKeep[k] <= in.uwTouchLevel || !RectInside(Rk, X)) continue;
    RectDiffStats st;
    CalcRectDiffStats(in.pswDiff, Rk, in.ubColNum, in.ubRowNum, &st);
    const int32_t pos = std::abs(static_cast<int32_t>(st.posSum));
    const int32_t need = Imax(pos < 600 ? pos / 4 : 150, pos / 8);
    if (std::abs(st.clippedSum - st.posSum) < need) continue;
    bool covered = false;
    for (uint8_t s = 0; s < kRegionMax && !covered; ++s) {
      if (!SlotOccupied(in, s) || !SlotTracked(s)) continue;
      const RegionRect K = Pair(in)->astLastRect[s];
      const int32_t oc = Imin(K.ubColEnd, Rk.ubColEnd) - Imax(K.ubColStart, Rk.ubColStart) + 1;
      const int32_t orr = Imin(K.ubRowEnd, Rk.ubRowEnd) - Imax(K.ubRowStart, Rk.ubRowStart) + 1;
      covered = oc > 0 && orr > 0 && 2u * static_cast<uint32_t>(oc * orr) >= WaterRectNodes(K);
    }
    if (!covered) continue;
    // The two largest positive sums; on equal sums the lower region index stays ahead.
    const Candidate c{static_cast<uint8_t>(kRegionIndexBase + k), Rk};
    if (n == 0 || st.posSum > best[0]) {
      if (n >= 1) {
        out[1] = out[0];
        best[1] = best[0];
      }
      out[0] = c;
      best[0] = st.posSum;
    } else if (n == 1 || st.posSum > best[1]) {
      out[1] = c;
      best[1] = st.posSum;
    }
    if (n < 2) ++n;
  }
  return n;
}

// The profile test along one axis: whether it ran, and whether it found a valley.
void ProfileValley(const int16_t* prof, int32_t a0, int32_t a1, int32_t b0, int32_t b1, bool boRegion, bool& ran,
                   bool& valley) {
  ran = valley = false;
  int32_t pA = -32768, rA = a0, pB = -32768, rB = b0;
  for (int32_t i = a0; i <= a1; ++i)
    if (prof[i] > pA) pA = prof[i], rA = i;
  for (int32_t i = b0; i <= b1; ++i)
    if (prof[i] > pB) pB = prof[i], rB = i;
  if (pA < 21 || pB < 21) return;
  ran = true;
  const int32_t T = boRegion ? 50 : 30;
  if (pA <= T || pB <= T) return;
  const int32_t lo = Imin(pA, pB), hi = Imax(pA, pB);
  const int32_t limit = boRegion ? lo / 2 : Imin(hi / 2, lo);
  int32_t from, to;
  if (a1 < b0) {
    from = a1 + 1, to = b0 - 1;
  } else if (b1 < a0) {
    from = b1 + 1, to = a0 - 1;
  } else {
    from = Imin(rA, rB) + 1, to = Imax(rA, rB) - 1;
  }
  for (int32_t i = from; i <= to; ++i)
    if (prof[i] < limit) valley = true;
}

// The cut line between A and B: the line with the fewest nodes of L across the box (the
// smaller |diff| sum on equal counts), moved back by one when it lies past the middle.
int32_t CutLine(const WaterproofInput& in, const uint8_t* pubLabel, uint8_t l, const RegionRect& box, bool boRow,
                int32_t first, int32_t last) {
  int32_t win = first, winCount = 0x7FFFFFFF, winSum = 0x7FFFFFFF;
  for (int32_t x = first; x <= last; ++x) {
    int32_t cnt = 0, sum = 0;
    const int32_t y0 = boRow ? box.ubColStart : box.ubRowStart, y1 = boRow ? box.ubColEnd : box.ubRowEnd;
    for (int32_t y = y0; y <= y1; ++y) {
      const uint32_t i = boRow ? static_cast<uint32_t>(x) * in.ubColNum + y : static_cast<uint32_t>(y) * in.ubColNum + x;
      if (pubLabel[i] == l) ++cnt;
      sum += std::abs(static_cast<int32_t>(in.pswDiff[i]));
    }
    if (cnt < winCount || (cnt == winCount && sum < winSum)) {
      win = x;
      winCount = cnt;
      winSum = sum;
    }
  }
  if (win > (first + last) / 2 && win > first) --win;
  return win;
}

void Cut(WaterproofInput& in, WaterBuildScratch& scr, uint8_t l, uint8_t l2, const Candidate& A, const Candidate& B,
         bool boRow, int32_t line) {
  const RegionRect box = scr.astBox[l];
  const int32_t C = in.ubColNum;
  const bool aFirst = boRow ? A.rect.ubRowEnd < B.rect.ubRowStart : A.rect.ubColEnd < B.rect.ubColStart;
  const auto sideA = [&](int32_t r, int32_t c) {
    const int32_t x = boRow ? r : c;
    return aFirst ? x <= line : x >= line;
  };
  uint32_t votesA[kRegionMax] = {}, votesB[kRegionMax] = {};
  for (int32_t r = box.ubRowStart; r <= box.ubRowEnd; ++r)
    for (int32_t c = box.ubColStart; c <= box.ubColEnd; ++c) {
      const uint8_t k = in.pubLabelMap[r * C + c];
      if (k >= kRegionMax) continue;
      (sideA(r, c) ? votesA : votesB)[k] += 1;
    }
  for (const Candidate* cand : {&A, &B}) {
    const RegionRect q = RegionRectClip(cand->rect, in.ubRowNum, in.ubColNum);
    for (int32_t r = q.ubRowStart; r <= q.ubRowEnd; ++r)
      for (int32_t c = q.ubColStart; c <= q.ubColEnd; ++c) {
        const uint8_t k = in.pubLabelMap[r * C + c];
        if (k < kRegionMax) (cand == &A ? votesA : votesB)[k] += 10;
      }
  }
  // Only the component's own nodes and the dry nodes of a voted region change hands; nodes
  // of other components keep their label.
  for (int32_t r = box.ubRowStart; r <= box.ubRowEnd; ++r)
    for (int32_t c = box.ubColStart; c <= box.ubColEnd; ++c) {
      const uint32_t i = static_cast<uint32_t>(r) * C + c;
      const bool own = scr.aubLabel[i] == l;
      const uint8_t k = in.pubLabelMap[i];
      const bool voted = k < kRegionMax && (votesA[k] | votesB[k]) != 0;
      if (voted && (own || scr.aubLabel[i] == 0)) {
        scr.aubLabel[i] = votesA[k] > votesB[k] ? l : l2;
      } else if (own) {
        scr.aubLabel[i] = sideA(r, c) ? l : l2;
      }
    }
  for (uint8_t x : {l, l2}) {
    scr.auwSize[x] = 0;
    scr.astBox[x] = RegionRect{static_cast<uint8_t>(in.ubRowNum - 1), 0, static_cast<uint8_t>(C - 1), 0};
  }
  for (int32_t r = box.ubRowStart; r <= box.ubRowEnd; ++r)
    for (int32_t c = box.ubColStart; c <= box.ubColEnd; ++c) {
      const uint8_t x = scr.aubLabel[r * C + c];
      if (x != l && x != l2) continue;
      ++scr.auwSize[x];
      RegionRect& b = scr.astBox[x];
      b.ubRowStart = static_cast<uint8_t>(Imin(b.ubRowStart, r));
      b.ubRowEnd = static_cast<uint8_t>(Imax(b.ubRowEnd, r));
      b.ubColStart = static_cast<uint8_t>(Imin(b.ubColStart, c));
      b.ubColEnd = static_cast<uint8_t>(Imax(b.ubColEnd, c));
    }
}

}  // namespace

void WaterPairIdle() {
  WaterModuleState& w = gstWaterState;
  w.WaterPairTrack = 0;
  w.WaterPairAge = 0;
  w.WaterPairIdxA = w.WaterPairIdxB = 255;
  w.WaterPairMarkA = w.WaterPairMarkB = 255;
  w.WaterPairRectA = w.WaterPairRectB = RegionRectFromWord(kRegionRectEmptyBound);
}

void WaterPairSplit(WaterproofInput* pstIn, WaterBuildScratch* pstScr) {
  WaterproofInput& in = *pstIn;
  WaterBuildScratch& scr = *pstScr;
  WaterModuleState& w = gstWaterState;
  const uint8_t R = in.ubRowNum, C = in.ubColNum;
  if (in.ubFingerNum >= 2 && in.pubSlotIndex != nullptr) {
    for (uint8_t* idx : {&w.WaterPairIdxA, &w.WaterPairIdxB}) {
      if (*idx >= kRegionIndexBase && *idx != 255 && *idx - kRegionIndexBase < kRegionMax) {
        *idx = in.pubSlotIndex[*idx - kRegionIndexBase];
      }
    }
  }
  if (w.WaterPairTrack != 0) {
    for (uint8_t idx : {w.WaterPairIdxA, w.WaterPairIdxB}) {
      if (idx < kRegionIndexBase && !SlotOccupied(in, idx)) {
        WaterPairIdle();
        break;
      }
    }
  }
  w.WaterPairMarkA = w.WaterPairMarkB = 255;
  uint16_t* cover = scr.stWork.auwBest;
  memset(cover, 0, kWaterLabelSlots * sizeof(uint16_t));
  for (const WaterUnion& u : w.astUnion) {
    if (!WaterUnionLive(u) || (u.rearmMark == 0 && u.armCount < 3) || !RectValidOn(u.rect, R, C)) continue;
    for (int32_t r = u.rect.ubRowStart; r <= u.rect.ubRowEnd; ++r)
      for (int32_t c = u.rect.ubColStart; c <= u.rect.ubColEnd; ++c) {
        const uint8_t x = scr.aubLabel[r * C + c];
        if (x < kWaterLabelSlots) ++cover[x];
      }
  }
  for (uint8_t x = 0; x < kWaterLabelSlots; ++x)
    if (2u * cover[x] < scr.auwSize[x]) cover[x] = 0;
  if (w.WaterPairTrack != 0) {
    if (w.WaterPairAge < 255) ++w.WaterPairAge;
  } else {
    w.WaterPairAge = 0;
  }

  for (uint8_t l = 1; l < kWaterLabelSlots; ++l) {
    if (scr.auwSize[l] == 0) continue;
    const RegionRect X = RegionRectGrow(scr.astBox[l], 1, R, C);
    Candidate cand[3];
    uint8_t n = 0;
    if (w.WaterPairTrack != 0 && in.ubFingerNum >= 2 && w.WaterPairIdxA < kRegionIndexBase &&
        w.WaterPairIdxB < kRegionIndexBase) {
      n = CollectSlotCandidates(in, X, true, cand);
    } else if (in.ubFingerNum >= 2) {
      n = CollectSlotCandidates(in, X, false, cand);
    }
    if (n != 2) n = 0;
    if (n == 0 && cover[l] == 0) n = CollectRegionCandidates(in, X, cand);
    if (n < 2) continue;
    const Candidate& A = cand[0];
    const Candidate& B = cand[1];
    if (!HoldsLabel(in, scr.aubLabel, A.rect, l) || !HoldsLabel(in, scr.aubLabel, B.rect, l)) continue;
    uint8_t l2 = 0;
    for (uint8_t x = 1; x < kWaterLabelSlots && l2 == 0; ++x)
      if (scr.auwSize[x] == 0) l2 = x;
    if (l2 == 0) continue;
    const auto gap = [](uint8_t as, uint8_t ae, uint8_t bs, uint8_t be) -> int32_t {
      if (bs > ae) return bs - ae;
      if (as > be) return as - be;
      return 0;
    };
    const int32_t rowGap = gap(A.rect.ubRowStart, A.rect.ubRowEnd, B.rect.ubRowStart, B.rect.ubRowEnd);
    const int32_t colGap = gap(A.rect.ubColStart, A.rect.ubColEnd, B.rect.ubColStart, B.rect.ubColEnd);
    if (rowGap == 0 && colGap == 0) continue;
    const bool boRow = colGap <= rowGap;
    int32_t first, last;
    if (boRow) {
      first = A.rect.ubRowEnd < B.rect.ubRowStart ? A.rect.ubRowEnd : B.rect.ubRowEnd;
      last = A.rect.ubRowEnd < B.rect.ubRowStart ? B.rect.ubRowStart : A.rect.ubRowStart;
    } else {
      first = A.rect.ubColEnd < B.rect.ubColStart ? A.rect.ubColEnd : B.rect.ubColEnd;
      last = A.rect.ubColEnd < B.rect.ubColStart ? B.rect.ubColStart : A.rect.ubColStart;
    }
    const int32_t line = CutLine(in, scr.aubLabel, l, scr.astBox[l], boRow, first, last);
    bool accept = (!IsRegion(A) && !IsRegion(B) && SlotTracked(A.index) && SlotTracked(B.index)) || w.WaterPairAge > 9;
    if (!accept) {
      const int16_t* prof = in.ubSelfCapEn != 0 ? in.pswSelfDiff : in.pswSecondProfile;
      if (prof == nullptr) continue;
      const bool region = IsRegion(A) || IsRegion(B);
      const RegionRect a = RegionRectClip(A.rect, R, C), b = RegionRectClip(B.rect, R, C);
      bool rowRan, rowValley, colRan, colValley;
      ProfileValley(prof, a.ubRowStart, a.ubRowEnd, b.ubRowStart, b.ubRowEnd, region, rowRan, rowValley);
      ProfileValley(prof + R, a.ubColStart, a.ubColEnd, b.ubColStart, b.ubColEnd, region, colRan, colValley);
      accept = (rowValley || colValley) && (rowRan || (in.ubSelfCapEn != 0 && w.WaterSelfRowAny == 0)) &&
               (colRan || (in.ubSelfCapEn != 0 && w.WaterSelfColAny == 0));
    }
    if (!accept) continue;
    Cut(in, scr, l, l2, A, B, boRow, line);
    w.WaterPairTrack = 1;
    w.WaterPairIdxA = A.index;
    w.WaterPairIdxB = B.index;
    w.WaterPairMarkA = l;
    w.WaterPairMarkB = l2;
    w.WaterPairRectA = A.rect;
    w.WaterPairRectB = B.rect;
    break;
  }
}
