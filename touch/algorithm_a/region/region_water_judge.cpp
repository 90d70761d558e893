// The water questions the coordinate stages ask about a touch rectangle, the removal of
// points that are only water, and the rectangle statistics both use. They read the water
// unions and slot tracks kept by waterproof processing.
#include <cstring>

#include "region_water.h"

namespace {

bool Within(const RegionRect& a, const RegionRect& b) {
  return b.ubRowStart <= a.ubRowStart && a.ubRowEnd <= b.ubRowEnd && b.ubColStart <= a.ubColStart &&
         a.ubColEnd <= b.ubColEnd;
}

bool UnionLive(const WaterUnion& u) { return u.label != kWaterUnionFree; }

bool PassesMode(const WaterUnion& u, uint8_t ubMode) {
  if (ubMode == 0) return u.confirmMark != 0 || u.rearmMark != 0;
  if (ubMode == 2) return u.confirmMark != 0 && u.wetMark != 0 && u.steadyFlag != 0;
  return u.confirmMark != 0 && u.wetMark != 0;
}

int16_t FiveMean(int32_t v, int32_t up, int32_t down, int32_t left, int32_t right) {
  // The sum is kept to 16 bits before the division, as the rest of the statistics are.
  const int16_t sum = static_cast<int16_t>(v + up + down + left + right);
  return static_cast<int16_t>(sum / 5);
}

void AdvanceSlotTrack(WaterSlotTrack& t, const RegionRect& rect, int16_t swPosSum, uint16_t x, uint16_t y) {
  if (t.ubState < 3) {
    ++t.ubState;
    return;
  }
  t.ubState = 100;
  const int32_t dx = static_cast<int32_t>(t.auwX[0]) - x;
  const int32_t dy = static_cast<int32_t>(t.auwY[0]) - y;
  const int16_t rise = static_cast<int16_t>(t.asiPresence[0] - swPosSum);
  if (t.asiPresence[0] != 0 && dx * dx + dy * dy <= 8 && rise <= 250) return;
  t.ubState = 200;
  constexpr size_t kOlder = kWaterHistory - 1;
  memmove(&t.astRect[1], &t.astRect[0], kOlder * sizeof(t.astRect[0]));
  memmove(&t.asiPresence[1], &t.asiPresence[0], kOlder * sizeof(t.asiPresence[0]));
  memmove(&t.auwX[1], &t.auwX[0], kOlder * sizeof(t.auwX[0]));
  memmove(&t.auwY[1], &t.auwY[0], kOlder * sizeof(t.auwY[0]));
  t.astRect[0] = rect;
  t.asiPresence[0] = swPosSum;
  t.auwX[0] = x;
  t.auwY[0] = y;
}

}  // namespace

uint8_t JudgeDropWetFinger(RegionRect stRect, uint8_t ubMode) {
  const WaterModuleState& w = gstWaterState;
  if (ubMode == 10) return w.WaterUnionFlag;
  if (RegionRectWord(stRect) == 0) {
    return (w.WaterUnionFlag != 0 || w.WaterMoveFlag != 0 || w.WaterLargeSta != 0) ? 100 : 0;
  }
  for (const WaterUnion& u : w.astUnion) {
    if (!UnionLive(u) || u.slot == 255 || !Within(stRect, u.rect) || !PassesMode(u, ubMode)) continue;
    const int64_t pos = u.posSum, neg = u.negSum;
    const uint8_t cy = static_cast<uint8_t>(u.lastY / 4), cx = static_cast<uint8_t>(u.lastX / 4);
    // A union whose centre has left its own rectangle is not trusted beyond a weak hit.
    if (pos <= -5 * neg || 5u * u.strongCount <= 4u * u.nodeCount || cy < u.rect.ubRowStart ||
        cy > u.rect.ubRowEnd || cx < u.rect.ubColStart || cx > u.rect.ubColEnd) {
      return 1;
    }
    return u.strongWidth > u.strongHeight ? u.strongWidth : u.strongHeight;
  }
  return 0;
}

uint8_t JudgeInSameUnion(RegionRect stA, RegionRect stB) {
  for (const WaterUnion& u : gstWaterState.astUnion) {
    if (!UnionLive(u) || (u.confirmMark == 0 && u.rearmMark == 0)) continue;
    if (Within(stA, u.rect) && Within(stB, u.rect)) return 1;
  }
  return 0;
}

uint8_t JudgeWetSmoothState() {
  return (gstWaterState.WaterMoveFlag != 0 || gstWaterState.WaterLargeSta != 0) ? 1 : 0;
}

uint8_t JudgeWaterTouchDelay() {
  const WaterModuleState& w = gstWaterState;
  return (w.WaterSelfStrong != 0 || w.WaterSelfHigh != 0 || w.WaterRemovePending != 0) ? 1 : 0;
}

void CalcRectDiffStats(const int16_t* pswMap, RegionRect stRect, uint8_t ubColumns, uint8_t ubRows,
                       RectDiffStats* pstOut) {
  RectDiffStats st{};
  if (ubColumns == 0 || ubRows == 0) {
    *pstOut = st;
    return;
  }
  const int32_t lastRow = ubRows - 1, lastCol = ubColumns - 1;
  const auto at = [&](int32_t r, int32_t c) -> int32_t { return pswMap[r * ubColumns + c]; };
  const int32_t r0 = stRect.ubRowStart, r1 = stRect.ubRowEnd < lastRow ? stRect.ubRowEnd : lastRow;
  const int32_t c0 = stRect.ubColStart, c1 = stRect.ubColEnd < lastCol ? stRect.ubColEnd : lastCol;
  const int32_t gr0 = r0 > 0 ? r0 - 1 : 0, gr1 = r1 + 1 < lastRow ? r1 + 1 : lastRow;
  const int32_t gc0 = c0 > 0 ? c0 - 1 : 0, gc1 = c1 + 1 < lastCol ? c1 + 1 : lastCol;
  for (int32_t r = gr0; r <= gr1; ++r) {
    for (int32_t c = gc0; c <= gc1; ++c) {
      const int32_t v = at(r, c);
      if (v < -25) {
        ++st.negCount;
        st.negSum = static_cast<int16_t>(st.negSum + v);
      }
    }
  }
  for (int32_t r = r0; r <= r1; ++r) {
    for (int32_t c = c0; c <= c1; ++c) {
      const int32_t v = at(r, c);
      st.totalSum = static_cast<int16_t>(st.totalSum + v);
      if (v < 26) continue;
      ++st.posCount;
      st.posSum = static_cast<int16_t>(st.posSum + v);
      const bool hasUp = r > 0, hasDown = r < lastRow, hasLeft = c > 0, hasRight = c < lastCol;
      const int32_t up = hasUp ? at(r - 1, c) : v, down = hasDown ? at(r + 1, c) : v;
      const int32_t left = hasLeft ? at(r, c - 1) : v, right = hasRight ? at(r, c + 1) : v;
      // At the grid edge the opposite neighbour stands in for the missing one.
      const int32_t pu = hasUp ? up : down, pd = hasDown ? down : up;
      const int32_t pl = hasLeft ? left : right, pr = hasRight ? right : left;
      st.meanSum = static_cast<int16_t>(st.meanSum + FiveMean(v, pu, pd, pl, pr));
      const int32_t low = (up < 50) + (down < 50) + (left < 50) + (right < 50);
      const int32_t cut = (low < 3 && (up >= 50 || down >= 50) && (left >= 50 || right >= 50)) ? -50 : 50;
      const auto clip = [&](int32_t n) { return n > cut ? v : n; };
      st.clippedSum = static_cast<int16_t>(st.clippedSum + FiveMean(v, clip(up), clip(down), clip(left), clip(right)));
    }
  }
  *pstOut = st;
}

uint8_t RemoveWaterRect(RemoveWaterArg* pstArg) {
  RemoveWaterArg& a = *pstArg;
  if (a.ubSkipAll != 0) return 0;
  WaterModuleState& w = gstWaterState;
  uint8_t removed = 0;
  for (uint8_t i = 0; i < kRegionMax; ++i) {
    if (a.puwWeight[i] == 0) continue;
    const RegionRect rect = a.pstPointRects[i];
    RectDiffStats st;
    CalcRectDiffStats(a.pswPointMap, rect, a.ubColumns, a.ubRows, &st);
    const uint8_t s = a.pubSlotIndex[i];
    if (s < kWaterTrackMax) AdvanceSlotTrack(w.astSlotTrack[s], rect, st.posSum, a.puwPointX[i], a.puwPointY[i]);
    const bool oneHigh = rect.ubRowStart == rect.ubRowEnd, oneWide = rect.ubColStart == rect.ubColEnd;
    bool water = false;
    if (s != 255 && (oneHigh || oneWide) && st.negCount != 0) {
      RectDiffStats slot;
      CalcRectDiffStats(a.pswSlotMap, a.pstSlotRects[s], a.ubColumns, a.ubRows, &slot);
      water = slot.totalSum > 2 * static_cast<int32_t>(st.totalSum);
    }
    if (!water && a.ubNoSingleNode == 0 && w.WaterUnionFlag == 0 && w.WaterMoveFlag == 0 && oneHigh && oneWide &&
        st.posSum < 200 && st.negSum < -150 && a.ubMinFingers > 1) {
      water = true;
    }
    if (!water) continue;
    for (uint32_t r = rect.ubRowStart; r <= rect.ubRowEnd && r < a.ubRows; ++r) {
      for (uint32_t c = rect.ubColStart; c <= rect.ubColEnd && c < a.ubColumns; ++c) {
        uint8_t& m = w.WaterMarkMap[r * a.ubColumns + c];
        if (m != 0) m = 2;
      }
    }
    a.puwWeight[i] = 0;
    ++removed;
  }
  return removed;
}
