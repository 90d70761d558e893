// Slot tracking of region acquisition: the touches the pairing reported last frame are
// carried into the twelve track slots. A touch that stays put for six frames makes its
// slot steady; a steady slot is followed from frame to frame (its count rises while its
// area stays still or strong) and keeps its region even through a weak frame.
#include <algorithm>
#include <cstdlib>

#include "region_float.h"
#include "region_lib.h"
#include "region_proc.h"

namespace {

constexpr uint8_t kPairSlotsCarried = 10;

struct Measure {
  int32_t counted = 0;
  int32_t still = 0;
  int32_t both = 0;  // nodes where both frames reach the node level
  int32_t largest = 0;
  uint16_t sum = 0;
};

Measure MeasureRect(const RegionAcquireInput& in, RegionRect r) {
  const RegionAcquireState& st = gstRegionAcquireState;
  const RegionGrid d{in.pswDiff, in.ubRowNum, in.ubColNum};
  const RegionGrid p{in.pswPrevDiff != nullptr ? in.pswPrevDiff : in.pswDiff, in.ubRowNum, in.ubColNum};
  const int32_t T = in.uwTouchThreshold;
  const int32_t L = st.uwNodeLevel;
  Measure m;
  for (int32_t row = r.ubRowStart; row <= r.ubRowEnd; ++row) {
    for (int32_t c = r.ubColStart; c <= r.ubColEnd; ++c) {
      const int32_t v = d.At(row, c);
      const int32_t pv = p.At(row, c);
      if (v >= L) m.sum = static_cast<uint16_t>(m.sum + v);
      if (v >= L && pv >= L) ++m.both;
      if (v < T && pv < T) continue;
      ++m.counted;
      if (std::abs(v - pv) <= L) ++m.still;
      m.largest = std::max(m.largest, v);
    }
  }
  return m;
}

// A slot cleared for a fresh take first gives up its nodes in the slot label map (a steady
// slot owns some), so that no stale label of it is left behind.
void ClearForTake(uint8_t i, uint8_t ubRows, uint8_t ubCols) {
  ClearSlotLabelRing(i, ubRows, ubCols);
  RegionTrackSlot& slot = gstRegionAcquireState.astSlot[i];
  slot.ubFrameCnt = 0;
  slot.ubId = kRegionLabelNone;
  slot.uwPeak = 0;
  slot.stRect = slot.stRectCopy1 = slot.stRectCopy2 = RegionRect{0, 0, 0, 0};
}

// Step of a fresh (or still unsteady) slot: the touch's rectangle is taken when its nodes
// are mostly still, numerous enough and strong enough, and nothing strong lies around it.
void TakeRect(RegionAcquireInput& in, const CoordPair& pair, uint8_t i, RegionRect r) {
  RegionAcquireState& st = gstRegionAcquireState;
  RegionTrackSlot& slot = st.astSlot[i];
  const uint8_t R = in.ubRowNum;
  const uint8_t C = in.ubColNum;
  const Measure m = MeasureRect(in, r);
  const int32_t h = r.ubRowEnd - r.ubRowStart + 1;
  const int32_t w = r.ubColEnd - r.ubColStart + 1;
  int32_t req = 5;
  if (!(std::min(h, w) >= 3 && std::max(h, w) >= 4)) req = std::max(h * w / 2, 3);
  if (!(m.counted / 3 <= m.still && req <= m.counted && m.largest >= in.uwSecondThreshold)) return;
  FloatRegionRecord rec{};
  if (MatchFloatRegionRecord(R, C, RegionRectWord(r), &rec) == 0) return;
  if (in.ubFloatFlag != 0 && rec.ubBalanceExempt != 0) return;
  const RegionRect g1 = RegionRectGrow(r, 1, R, C);
  const int16_t b1 = CalcRectBorderMax(in.pswDiff, C, R, g1, nullptr, g1, g1, i);
  if (b1 >= static_cast<int32_t>(in.uwTouchThreshold)) return;
  if (b1 > 50) {
    const RegionRect g2 = RegionRectGrow(r, 2, R, C);
    if (CalcRectBorderMax(in.pswDiff, C, R, g2, nullptr, g2, g2, i) >= static_cast<int32_t>(st.uwNodeLevel)) return;
  }
  slot.ubId = i;
  slot.uwPeak = static_cast<uint16_t>(m.largest);
  slot.uwDiffSum = m.sum;
  slot.ubActive = 1;
  if (slot.ubFrameCnt < st.uwFrameCntCap) ++slot.ubFrameCnt;
  slot.stRect = r;
  if (slot.ubFrameCnt < 6) return;
  slot.ubSeedState = 0;
  slot.uwTouchX = pair.auwSlotX[i];
  slot.uwTouchY = pair.auwSlotY[i];
  const RegionGrid d{in.pswDiff, R, C};
  for (int32_t row = r.ubRowStart; row <= r.ubRowEnd; ++row)
    for (int32_t c = r.ubColStart; c <= r.ubColEnd; ++c)
      if (d.At(row, c) > st.uwNodeLevel) st.aubSlotLabel[row * C + c] = i;
}

// The rectangle of a steady slot this frame, as this system settles it: when the
// strongest node of the followed touch lies in no other occupied pairing rectangle, each
// side of the slot's rectangle steps one node inward where its maximum has fallen below
// half the node level and below the previous frame's maximum on that side (with the
// floating flag set only where no strong node lies beside that line; otherwise only while
// the frame holds no deep negative node), never below one node across. Growth and
// movement come from the per-slot update that follows, which adds the blobs that touch the
// slot's nodes. When the strongest node lies in another touch's rectangle, the slot keeps
// its rectangle as it stands and skips the update.
RegionRect SteadyRect(const RegionAcquireInput& in, const CoordPair& pair, uint8_t i, RegionRect r, int32_t siPeakNode,
                      bool* pboUpdate) {
  const RegionAcquireState& st = gstRegionAcquireState;
  const RegionTrackSlot& slot = st.astSlot[i];
  const uint8_t R = in.ubRowNum;
  const uint8_t C = in.ubColNum;
  *pboUpdate = true;
  const int32_t pr = siPeakNode / std::max<int32_t>(C, 1);
  const int32_t pc = siPeakNode - pr * C;
  for (uint8_t k = 0; k < kRegionMax; ++k) {
    if (k == i || pair.auwLastRectMaxDiff[k] == 0) continue;
    const RegionRect o = pair.astLastRect[k];
    if (pr >= o.ubRowStart && pr <= o.ubRowEnd && pc >= o.ubColStart && pc <= o.ubColEnd) {
      *pboUpdate = false;
      return slot.stRect;
    }
  }
  (void)r;
  RegionRect N = RegionRectClip(slot.stRect, R, C);
  int16_t cur[4];
  int16_t prev[4];
  CalcRectSideMax(in.pswDiff, C, R, N, cur, N, N);
  CalcRectSideMax(in.pswPrevDiff != nullptr ? in.pswPrevDiff : in.pswDiff, C, R, N, prev, N, N);
  uint64_t ullRows = 0;
  uint64_t ullCols = 0;
  CalcOutsideStrongMasks(C, R, in.pswDiff, N, &ullRows, &ullCols);
  const int32_t half = st.uwNodeLevel / 2;
  auto may = [&](int side, uint32_t line, bool boRowLine) {
    if (!(cur[side] < half && cur[side] < prev[side])) return false;
    if (in.ubFloatFlag != 0) return line >= 64 || (((boRowLine ? ullRows : ullCols) >> line) & 1u) == 0;
    return in.swFrameMin > -100;
  };
  const RegionRect o = N;
  if (o.ubRowEnd > o.ubRowStart && may(0, o.ubRowStart, true)) ++N.ubRowStart;
  if (N.ubRowEnd > N.ubRowStart && may(1, o.ubRowEnd, true)) --N.ubRowEnd;
  if (o.ubColEnd > o.ubColStart && may(2, o.ubColStart, false)) ++N.ubColStart;
  if (N.ubColEnd > N.ubColStart && may(3, o.ubColEnd, false)) --N.ubColEnd;
  return N;
}

void FollowSteady(RegionAcquireInput& in, CoordPair& pair, uint8_t i, RegionRect r) {
  RegionAcquireState& st = gstRegionAcquireState;
  RegionTrackSlot& slot = st.astSlot[i];
  const uint8_t R = in.ubRowNum;
  const uint8_t C = in.ubColNum;
  const Measure m = MeasureRect(in, r);
  int32_t siPeakNode = r.ubRowStart * C + r.ubColStart;
  {
    const RegionGrid d{in.pswDiff, R, C};
    int32_t best = INT32_MIN;
    for (int32_t row = r.ubRowStart; row <= r.ubRowEnd; ++row)
      for (int32_t c = r.ubColStart; c <= r.ubColEnd; ++c)
        if (d.At(row, c) > best) {
          best = d.At(row, c);
          siPeakNode = row * C + c;
        }
  }
  FloatRegionRecord rec{};
  const bool boRec = MatchFloatRegionRecord(R, C, RegionRectWord(r), &rec) != 0;
  int16_t side[4];
  CalcRectSideMax(in.pswDiff, C, R, r, side, r, r);
  const int32_t L = st.uwNodeLevel;
  const bool boSidesStrong = side[0] >= L && side[1] >= L && side[2] >= L && side[3] >= L;
  const bool boKeep = (boRec && rec.ubBalanceExempt >= 2) || (m.counted / 3 <= m.still && m.counted > 4) ||
                      m.counted <= m.both + 1 || boSidesStrong;
  if (boKeep) {
    if (slot.ubFrameCnt < st.uwFrameCntCap) ++slot.ubFrameCnt;
  } else if (slot.ubFrameCnt < st.uwFrameCntPenalty) {
    if (slot.ubActive == 0) {
      if (pair.aubSlotState[i] == 1) pair.aubSlotState[i] = 10;
      ReleaseTrackSlot(i, R, C);
    } else if (in.ubPrevPointNum > 1 || slot.ubSlotState == 3) {
      slot.uwLifetime = 0xFFFF;
    }
    return;
  } else {
    slot.ubFrameCnt = static_cast<uint8_t>(std::max<int32_t>(slot.ubFrameCnt - st.uwFrameCntPenalty, 6));
  }
  bool boUpdate = true;
  const RegionRect N = SteadyRect(in, pair, i, r, siPeakNode, &boUpdate);
  slot.ubId = i;
  slot.uwPeak = static_cast<uint16_t>(m.largest);
  slot.uwDiffSum = m.sum;
  slot.ubActive = 1;
  if (boUpdate) UpdateTrackSlotRegion(in, N, r, i);
  // A small corner-shaped pattern: a rectangle four columns wide whose diagonal corners
  // look like two touches lying along it is no single steady finger.
  const RegionRect now = slot.stRect;
  if (slot.ubActive != 0 && slot.uwPeak < 401 && RectValidOn(now, R, C) && now.ubColEnd - now.ubColStart + 1 == 4) {
    bool boBlock = false;
    const int16_t a = CalcRegionOrientation(in.pswDiff, now, C);
    if (JudgeDiagonalPair(C, R, in.pswDiff, slot.uwPeak, now, static_cast<uint16_t>(a), true, true, true, 1, &boBlock)) {
      ReleaseTrackSlot(i, R, C);
      pair.aubSlotState[i] = 6;
    }
  }
}

}  // namespace

void RegionTrackSlots(RegionAcquireInput& in) {
  RegionAcquireState& st = gstRegionAcquireState;
  CoordPair* pstPair = static_cast<CoordPair*>(in.pvCoordPair);
  if (pstPair == nullptr) return;
  CoordPair& pair = *pstPair;
  const uint8_t R = in.ubRowNum;
  const uint8_t C = in.ubColNum;
  for (RegionTrackSlot& slot : st.astSlot) {
    slot.ubActive = 0;
    slot.ubId = kRegionLabelNone;
  }
  for (uint8_t i = 0; i < kPairSlotsCarried; ++i) {
    if (pair.auwLastRectMaxDiff[i] == 0) continue;
    const RegionRect r = pair.astLastRect[i];
    // A rectangle the pairing left off this grid is no touch of this frame.
    if (!RectValidOn(r, R, C)) continue;
    if (r.ubRowEnd - r.ubRowStart + 1 >= 10 || r.ubColEnd - r.ubColStart + 1 >= 10) continue;
    const int32_t m = std::max(std::abs(2 * (r.ubColStart + r.ubColEnd) - pair.auwDownSlotX[i]),
                               std::abs(2 * (r.ubRowStart + r.ubRowEnd) - pair.auwDownSlotY[i]));
    pair.auwSlotCounter[i] = static_cast<uint16_t>(std::max<int32_t>(m, pair.auwSlotCounter[i]));
    if (in.ubLargeMoveAllow == 0 && m > 10) continue;
    int32_t j = -1;
    for (uint8_t k = 0; k < kRegionMax; ++k) {
      const RegionTrackSlot& slot = st.astSlot[k];
      if (slot.uwPeak == 0) continue;
      const RegionRect sr = slot.stRect;
      const uint32_t area = static_cast<uint32_t>(sr.ubRowEnd - sr.ubRowStart + 1) * (sr.ubColEnd - sr.ubColStart + 1);
      if (2 * CalcRectCoverSize(sr, r) <= area) continue;
      if (slot.ubFrameCnt >= 6 && k != i) continue;
      j = k;
      break;
    }
    if (j < 0) {
      ClearForTake(i, R, C);
      TakeRect(in, pair, i, r);
    } else if (st.astSlot[j].ubFrameCnt < 6) {
      if (j == i && RegionRectWord(st.astSlot[j].stRect) == RegionRectWord(r)) TakeRect(in, pair, i, r);
    } else {
      FollowSteady(in, pair, i, r);
    }
  }
}
