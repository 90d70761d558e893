// Rectangle helpers, the region compaction, the track-slot upkeep and the small grid scans
// of region acquisition.
#include <cstring>

#include "region_proc.h"

RegionCommonRoles gstRegionRoles;
uint8_t gaubRegionLabelMap[kRegionMaxNodes];
int16_t gaswRegionPrevDiff[kRegionMaxNodes];

namespace {

uint8_t Lower(uint8_t v, uint8_t n) { return v > n ? static_cast<uint8_t>(v - n) : 0; }
uint8_t Upper(uint8_t v, uint8_t n, uint8_t ubLimit) {
  const uint32_t u = static_cast<uint32_t>(v) + n;
  const uint32_t last = ubLimit == 0 ? 0u : ubLimit - 1u;
  return static_cast<uint8_t>(u > last ? last : u);
}

// Sets every node of R (held to the grid) that carries label FROM to TO.
void Relabel(uint8_t* pubLabel, RegionRect r, uint8_t ubFrom, uint8_t ubTo, uint8_t ubCols) {
  for (uint32_t row = r.ubRowStart; row <= r.ubRowEnd; ++row) {
    for (uint32_t col = r.ubColStart; col <= r.ubColEnd; ++col) {
      uint8_t& b = pubLabel[row * ubCols + col];
      if (b == ubFrom) b = ubTo;
    }
  }
}

}  // namespace

RegionRect RegionRectGrow(RegionRect r, uint8_t n, uint8_t ubRows, uint8_t ubCols) {
  return RegionRect{Lower(r.ubRowStart, n), Upper(r.ubRowEnd, n, ubRows), Lower(r.ubColStart, n),
                    Upper(r.ubColEnd, n, ubCols)};
}

RegionRect RegionRectClip(RegionRect r, uint8_t ubRows, uint8_t ubCols) {
  const uint8_t rl = ubRows == 0 ? 0 : static_cast<uint8_t>(ubRows - 1);
  const uint8_t cl = ubCols == 0 ? 0 : static_cast<uint8_t>(ubCols - 1);
  auto clip = [](uint8_t v, uint8_t last) { return v > last ? last : v; };
  return RegionRect{clip(r.ubRowStart, rl), clip(r.ubRowEnd, rl), clip(r.ubColStart, cl), clip(r.ubColEnd, cl)};
}

uint8_t RearrangeRegion(uint8_t ubCount, uint16_t* puwPeak, RegionRect* pstRect, uint16_t* puwPeakPos,
                        uint16_t* puwWaterValue, uint8_t* pubLabel, uint8_t ubRows, uint8_t ubCols) {
  if (ubCount == 0 || puwPeak == nullptr || pstRect == nullptr) return 0;
  if (ubCount > kRegionMax) ubCount = kRegionMax;
  // The label map holds kRegionMaxNodes nodes; a grid of more cannot be labelled in it, so
  // its labels are left alone rather than written past the map.
  const bool boLabels = pubLabel != nullptr && static_cast<uint32_t>(ubRows) * ubCols <= kRegionMaxNodes;
  uint8_t k = 0;
  for (uint8_t i = 0; i < ubCount; ++i) {
    if (puwPeak[i] == 0) continue;
    if (i != k) {
      if (boLabels && RectValidOn(pstRect[k], ubRows, ubCols) && RectValidOn(pstRect[i], ubRows, ubCols)) {
        Relabel(pubLabel, pstRect[k], k, kRegionLabelNone, ubCols);
        Relabel(pubLabel, pstRect[i], i, k, ubCols);
      }
      pstRect[k] = pstRect[i];
      puwPeak[k] = puwPeak[i];
      if (puwPeakPos != nullptr) puwPeakPos[k] = puwPeakPos[i];
      if (puwWaterValue != nullptr) puwWaterValue[k] = puwWaterValue[i];
    }
    ++k;
  }
  for (uint8_t i = k; i < ubCount; ++i) puwPeak[i] = 0;
  return k;
}

void ClearSlotLabelRing(uint8_t ubSlot, uint8_t ubRows, uint8_t ubCols) {
  if (ubSlot >= kRegionMax || ubRows == 0 || ubCols == 0) return;
  RegionAcquireState& s = gstRegionAcquireState;
  const RegionTrackSlot& slot = s.astSlot[ubSlot];
  if (slot.ubFrameCnt < 6) return;
  // A slot rectangle that does not fit the grid (a panel change under a live slot) is held
  // to it, so the ring never writes outside the label map.
  const RegionRect r = RegionRectClip(slot.stRect, ubRows, ubCols);
  const RegionRect w = RegionRectGrow(r, 2, ubRows, ubCols);
  for (uint32_t row = w.ubRowStart; row <= w.ubRowEnd; ++row) {
    for (uint32_t col = w.ubColStart; col <= w.ubColEnd; ++col) {
      uint8_t& b = s.aubSlotLabel[row * ubCols + col];
      const bool boInside = row >= r.ubRowStart && row <= r.ubRowEnd && col >= r.ubColStart && col <= r.ubColEnd;
      if (boInside || b == ubSlot || b >= 11) b = kRegionLabelNone;
    }
  }
}

void ReleaseTrackSlot(uint8_t ubSlot, uint8_t ubRows, uint8_t ubCols) {
  if (ubSlot >= kRegionMax) return;
  ClearSlotLabelRing(ubSlot, ubRows, ubCols);
  RegionTrackSlot& slot = gstRegionAcquireState.astSlot[ubSlot];
  memset(&slot, 0, sizeof(slot));
  slot.ubId = kRegionLabelNone;
}

void RegionSlotUpkeep(uint8_t ubRows, uint8_t ubCols) {
  RegionAcquireState& s = gstRegionAcquireState;
  s.ubSteadySlotNum = 0;
  for (uint8_t i = 0; i < kRegionMax; ++i) {
    RegionTrackSlot& slot = s.astSlot[i];
    if (slot.ubFrameCnt == 5) {
      slot.uwLifetime = 0xFFFF;
      slot.stRectCopy1 = slot.stRect;
      slot.stRectCopy2 = slot.stRect;
    }
    if (slot.ubActive == 0 || slot.uwPeak == 0 || slot.ubFrameCnt == 0 || RegionRectWord(slot.stRect) == 0) {
      ReleaseTrackSlot(i, ubRows, ubCols);
    } else if (slot.ubFrameCnt > 5) {
      ++s.ubSteadySlotNum;
    }
  }
}

void CalcOutsideStrongMasks(uint8_t ubCols, uint8_t ubRows, const int16_t* pswDiff, RegionRect stRect,
                            uint64_t* pullRowMask, uint64_t* pullColMask) {
  if (pswDiff == nullptr || pullRowMask == nullptr || pullColMask == nullptr) return;
  const RegionGrid g{const_cast<int16_t*>(pswDiff), ubRows, ubCols};
  constexpr int16_t kStrong = 50;
  const RegionRect band = RegionRectGrow(stRect, 1, ubRows, ubCols);
  if (stRect.ubRowEnd >= stRect.ubRowStart && ubCols > 0) {
    for (uint32_t r = stRect.ubRowStart; r <= stRect.ubRowEnd && r < kRegionMaxRows; ++r) {
      for (uint32_t c = 0; c < ubCols; ++c) {
        if (c >= band.ubColStart && c <= band.ubColEnd) continue;
        if (g.At(static_cast<int32_t>(r), static_cast<int32_t>(c), INT16_MIN) >= kStrong) *pullRowMask |= 1ull << r;
      }
    }
  }
  if (ubRows > 0 && stRect.ubColEnd >= stRect.ubColStart) {
    for (uint32_t r = 0; r < ubRows; ++r) {
      if (r >= band.ubRowStart && r <= band.ubRowEnd) continue;
      for (uint32_t c = stRect.ubColStart; c <= stRect.ubColEnd && c < 64; ++c) {
        if (g.At(static_cast<int32_t>(r), static_cast<int32_t>(c), INT16_MIN) >= kStrong) *pullColMask |= 1ull << c;
      }
    }
  }
}

void CalcRectSideMax(const int16_t* pswDiff, uint8_t ubCols, uint8_t ubRows, RegionRect stE, int16_t* pswOut,
                     RegionRect stP, RegionRect stS) {
  if (pswOut == nullptr) return;
  for (int i = 0; i < 4; ++i) pswOut[i] = -32767;
  const RegionGrid g{const_cast<int16_t*>(pswDiff), ubRows, ubCols};
  auto keep = [](int16_t& m, int16_t v) {
    if (v > m) m = v;
  };
  for (int32_t c = stS.ubColStart; c <= stS.ubColEnd; ++c) {
    keep(pswOut[0], g.At(stE.ubRowStart, c, -32767));
    keep(pswOut[1], g.At(stE.ubRowEnd, c, -32767));
  }
  for (int32_t r = stS.ubRowStart; r <= stS.ubRowEnd; ++r) {
    keep(pswOut[2], g.At(r, stE.ubColStart, -32767));
    keep(pswOut[3], g.At(r, stE.ubColEnd, -32767));
  }
  if (RegionRectWord(stP) != RegionRectWord(stE)) {
    if (stE.ubRowStart == stP.ubRowStart) pswOut[0] = 0;
    if (stE.ubRowEnd == stP.ubRowEnd) pswOut[1] = 0;
    if (stE.ubColStart == stP.ubColStart) pswOut[2] = 0;
    if (stE.ubColEnd == stP.ubColEnd) pswOut[3] = 0;
  }
}

namespace {

// The dip test over a line of the grid: AT(i) reads index i of the segment a..b.
template <class Read>
uint8_t JudgeDip(Read at, uint8_t a, uint8_t b, bool boPeakTest) {
  if (b < a) return 0;
  int32_t siSum = 0;
  int32_t siMin = INT32_MAX;
  for (uint32_t i = a; i <= b; ++i) {
    siSum += at(i);
    if (at(i) < siMin) siMin = at(i);
  }
  if (siMin > -50) return 0;
  const uint32_t uiLen = static_cast<uint32_t>(b) - a + 1;
  const int16_t swAvg = (uiLen % 256) == 0 ? 0 : static_cast<int16_t>(siSum / static_cast<int32_t>(uiLen));
  const uint32_t uiMidL = (static_cast<uint32_t>(a) + b) / 2;
  const uint32_t uiMidR = (static_cast<uint32_t>(a) + b + 1) / 2;
  int32_t L = -1;
  for (uint32_t i = a; i <= uiMidL; ++i) {
    if (at(i) < swAvg) {
      L = static_cast<int32_t>(i);
      break;
    }
  }
  int32_t R = -1;
  for (int32_t i = b; i >= static_cast<int32_t>(uiMidR); --i) {
    if (at(static_cast<uint32_t>(i)) < swAvg) {
      R = i;
      break;
    }
  }
  if (L < 0 || R < 0 || L == a || R == b || R < L) return 0;
  if (boPeakTest) {
    for (int32_t i = L + 1; i <= R - 1; ++i) {
      const int32_t v = at(static_cast<uint32_t>(i));
      if (v - at(static_cast<uint32_t>(i - 1)) > 30 && v - at(static_cast<uint32_t>(i + 1)) > 30) return 0;
    }
  }
  int32_t siDipSum = 0;
  for (int32_t i = L; i <= R; ++i) {
    if (at(static_cast<uint32_t>(i)) > swAvg) return 0;
    siDipSum += at(static_cast<uint32_t>(i));
  }
  return siDipSum / (R - L + 1) + 15 < swAvg ? 1 : 0;
}

}  // namespace

uint8_t JudgeRowDip(const int16_t* pswDiff, uint8_t ubCols, uint8_t ubRows, uint8_t a, uint8_t b, uint8_t ubRow) {
  const RegionGrid g{const_cast<int16_t*>(pswDiff), ubRows, ubCols};
  if (!g.In(ubRow, b) || pswDiff == nullptr) return 0;
  return JudgeDip([&](uint32_t i) { return static_cast<int32_t>(g.At(ubRow, static_cast<int32_t>(i))); }, a, b, true);
}

uint8_t JudgeColumnDip(const int16_t* pswDiff, uint8_t ubCol, uint8_t a, uint8_t b, uint8_t ubCols, uint8_t ubRows) {
  const RegionGrid g{const_cast<int16_t*>(pswDiff), ubRows, ubCols};
  if (!g.In(b, ubCol) || pswDiff == nullptr) return 0;
  return JudgeDip([&](uint32_t i) { return static_cast<int32_t>(g.At(static_cast<int32_t>(i), ubCol)); }, a, b, false);
}
