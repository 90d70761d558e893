// Track-slot rectangle operations: the border test of a grown slot rectangle, the side
// extension of a region toward an outer rectangle, the overlap test against the other
// regions, the hand-over of a new rectangle to a slot and the crossing count of a node's
// ring in the slot label map.
#include <algorithm>

#include "region_lib.h"
#include "region_proc.h"

int16_t CalcRectBorderMax(const int16_t* pswDiff, uint8_t ubCols, uint8_t ubRows, RegionRect stE, int16_t* pswOut,
                          RegionRect stP, RegionRect stS, uint8_t ubOwnSlot) {
  const RegionAcquireState& s = gstRegionAcquireState;
  // A node beyond the grid belongs to no slot; the side maxima read it as the floor value.
  auto foreign = [&](int32_t r, int32_t c) {
    if (r < 0 || c < 0 || r >= ubRows || c >= ubCols) return false;
    const uint8_t v = s.aubSlotLabel[r * ubCols + c];
    return v != kRegionLabelNone && v != ubOwnSlot;
  };
  for (int32_t c = stS.ubColStart; c <= stS.ubColEnd; ++c) {
    if (foreign(stE.ubRowStart, c) || foreign(stE.ubRowEnd, c)) return 1000;
  }
  for (int32_t r = stS.ubRowStart; r <= stS.ubRowEnd; ++r) {
    if (foreign(r, stE.ubColStart) || foreign(r, stE.ubColEnd)) return 1000;
  }
  int16_t aswSide[4];
  int16_t* pswSide = pswOut != nullptr ? pswOut : aswSide;
  CalcRectSideMax(pswDiff, ubCols, ubRows, stE, pswSide, stP, stS);
  int16_t swMax = 0;
  for (int i = 0; i < 4; ++i) swMax = std::max(swMax, pswSide[i]);
  return swMax;
}

namespace {

bool Covers(RegionRect r, int32_t siRow) { return siRow >= r.ubRowStart && siRow <= r.ubRowEnd; }
bool CoversCol(RegionRect r, int32_t siCol) { return siCol >= r.ubColStart && siCol <= r.ubColEnd; }

}  // namespace

RegionRect ExtendRectToLevel(const RegionAcquireInput& in, RegionRect stA, RegionRect stB) {
  const RegionAcquireState& s = gstRegionAcquireState;
  const RegionGrid g{in.pswDiff, in.ubRowNum, in.ubColNum};
  const int32_t T = s.uwNodeLevel;
  const uint32_t uiB = RegionRectWord(stB);
  uint64_t ullRows = 0;
  uint64_t ullCols = 0;
  auto live = [&](uint8_t j) { return in.puwPeak != nullptr && in.pstRect != nullptr && in.puwPeak[j] != 0; };
  for (uint8_t j = 0; j < kRegionMax; ++j) {
    if (!live(j)) continue;
    const RegionRect r = in.pstRect[j];
    for (uint32_t k = r.ubRowStart; k <= r.ubRowEnd && k < 64; ++k) ullRows |= 1ull << k;
    for (uint32_t k = r.ubColStart; k <= r.ubColEnd && k < 64; ++k) ullCols |= 1ull << k;
  }
  // A live region other than the outer rectangle, not marked as a still blocker-free one,
  // that lies on the line and across the span stops the side where it stands.
  auto blocked = [&](bool boRow, int32_t siLine, uint8_t ubLo, uint8_t ubHi) {
    for (uint8_t j = 0; j < kRegionMax; ++j) {
      if (!live(j) || RegionRectWord(in.pstRect[j]) == uiB || (s.uwBlockerMask >> j) & 1u) continue;
      const RegionRect r = in.pstRect[j];
      if (boRow ? (Covers(r, siLine) && r.ubColStart <= ubHi && r.ubColEnd >= ubLo)
                : (CoversCol(r, siLine) && r.ubRowStart <= ubHi && r.ubRowEnd >= ubLo)) {
        return true;
      }
    }
    return false;
  };
  auto strong = [&](bool boRow, int32_t siLine, uint8_t ubLo, uint8_t ubHi) {
    const uint64_t ullMask = boRow ? ullRows : ullCols;
    const bool boHalf = siLine < 64 && ((ullMask >> siLine) & 1u) != 0 && in.ubFloatFlag != 0;
    const int32_t siLevel = boHalf ? T / 2 : T;
    for (int32_t k = ubLo; k <= ubHi; ++k) {
      const int16_t v = boRow ? g.At(siLine, k, INT16_MIN) : g.At(k, siLine, INT16_MIN);
      if (v >= siLevel) return true;
    }
    return false;
  };
  // Scans the lines from the outer rectangle's side in toward A; the first strong line
  // becomes the side. A region anywhere on those lines keeps the side where it is: growing
  // past it would take its nodes, whichever of the two lies further out.
  auto side = [&](bool boRow, int32_t siFrom, int32_t siStep, int32_t siCount, uint8_t ubLo, uint8_t ubHi,
                  uint8_t ubKeep) {
    for (int32_t i = 0; i < siCount; ++i) {
      if (blocked(boRow, siFrom + i * siStep, ubLo, ubHi)) return ubKeep;
    }
    for (int32_t i = 0; i < siCount; ++i) {
      const int32_t siLine = siFrom + i * siStep;
      if (strong(boRow, siLine, ubLo, ubHi)) return static_cast<uint8_t>(siLine);
    }
    return ubKeep;
  };
  RegionRect o = stA;
  if (stB.ubRowStart < stA.ubRowStart) {
    o.ubRowStart = side(true, stB.ubRowStart, 1, stA.ubRowStart - stB.ubRowStart, stA.ubColStart, stA.ubColEnd,
                        stA.ubRowStart);
  }
  if (stA.ubRowEnd < stB.ubRowEnd) {
    o.ubRowEnd = side(true, stB.ubRowEnd, -1, stB.ubRowEnd - stA.ubRowEnd, stA.ubColStart, stA.ubColEnd, stA.ubRowEnd);
  }
  if (stB.ubColStart < stA.ubColStart) {
    o.ubColStart =
        side(false, stB.ubColStart, 1, stA.ubColStart - stB.ubColStart, o.ubRowStart, o.ubRowEnd, stA.ubColStart);
  }
  if (stA.ubColEnd < stB.ubColEnd) {
    o.ubColEnd = side(false, stB.ubColEnd, -1, stB.ubColEnd - stA.ubColEnd, o.ubRowStart, o.ubRowEnd, stA.ubColEnd);
  }
  return o;
}

void ReplaceSlotRect(RegionAcquireInput& in, uint8_t ubSlot, RegionRect stNew) {
  if (ubSlot >= kRegionMax) return;
  RegionTrackSlot& slot = gstRegionAcquireState.astSlot[ubSlot];
  const uint32_t uiOld = RegionRectWord(slot.stRect);
  slot.stRect = stNew;
  slot.stRectCopy1 = stNew;
  slot.stRectCopy2 = stNew;
  slot.ubSeedState = 0;
  if (in.puwPeak == nullptr || in.pstRect == nullptr) return;
  for (uint8_t j = 0; j < kRegionMax; ++j) {
    if (in.puwPeak[j] != 0 && RegionRectWord(in.pstRect[j]) == uiOld) {
      in.pstRect[j] = stNew;
      return;
    }
  }
}

int32_t JudgeRectOverlapOthers(const RegionAcquireInput& in, uint8_t ubOwn, RegionRect stRect, uint16_t uwIgnore) {
  if (in.puwPeak == nullptr || in.pstRect == nullptr) return 0;
  for (uint8_t j = 0; j < kRegionMax; ++j) {
    if (j == ubOwn || in.puwPeak[j] == 0 || ((uwIgnore >> j) & 1u) != 0) continue;
    if (CalcRectCoverSize(in.pstRect[j], stRect) != 0) return 1;
  }
  return 0;
}

int32_t CalcLabelRingCross(uint8_t ubCols, uint8_t ubRows, uint8_t ubRow, uint8_t ubCol) {
  // Clockwise from the top-left neighbour. A neighbour beyond the grid is unlabelled: the
  // grid's edge is open space around a slot, never part of one.
  static constexpr int8_t kRing[8][2] = {{-1, -1}, {-1, 0}, {-1, 1}, {0, 1}, {1, 1}, {1, 0}, {1, -1}, {0, -1}};
  bool aboLabelled[8];
  int32_t siUnlabelled = 0;
  for (int i = 0; i < 8; ++i) {
    const int32_t r = ubRow + kRing[i][0];
    const int32_t c = ubCol + kRing[i][1];
    const bool boIn = r >= 0 && c >= 0 && r < ubRows && c < ubCols;
    aboLabelled[i] = boIn && gstRegionAcquireState.aubSlotLabel[r * ubCols + c] != kRegionLabelNone;
    if (!aboLabelled[i]) ++siUnlabelled;
  }
  if (siUnlabelled == 7) return -1;
  int32_t siCross = 0;
  for (int i = 0; i < 8; ++i) {
    if (aboLabelled[i] && !aboLabelled[(i + 1) % 8]) ++siCross;
  }
  return siCross;
}
