// The water union build: once per frame the diff map is cut into connected wet components,
// each component is tied to the union that followed it before, unions that ran together are
// merged, new components start unions (as copies of the union they split from, where there
// is one), every union is measured over its component, and the unions that lost their
// component are freed.
#include <cstring>

#include "region_proc.h"
#include "region_water_ops.h"

WaterBuildScratch gstWaterBuildScratch;

namespace {

int32_t Imax(int32_t a, int32_t b) { return a > b ? a : b; }
int32_t Imin(int32_t a, int32_t b) { return a < b ? a : b; }

bool OnBorder(const RegionRect& r, uint8_t ubRows, uint8_t ubCols) {
  return r.ubColStart == 0 || r.ubRowStart == 0 || r.ubColEnd == ubCols - 1 || r.ubRowEnd == ubRows - 1;
}

bool WetOrConfirmed(const WaterUnion& u) { return u.wetMark != 0 || u.confirmMark != 0; }

bool InRect(const RegionRect& r, int32_t row, int32_t col) {
  return row >= r.ubRowStart && row <= r.ubRowEnd && col >= r.ubColStart && col <= r.ubColEnd;
}

bool OnOutline(const RegionRect& g, int32_t row, int32_t col) {
  return InRect(g, row, col) &&
         (row == g.ubRowStart || row == g.ubRowEnd || col == g.ubColStart || col == g.ubColEnd);
}

void Widen(RegionRect& b, int32_t r, int32_t c) {
  b.ubRowStart = static_cast<uint8_t>(Imin(b.ubRowStart, r));
  b.ubRowEnd = static_cast<uint8_t>(Imax(b.ubRowEnd, r));
  b.ubColStart = static_cast<uint8_t>(Imin(b.ubColStart, c));
  b.ubColEnd = static_cast<uint8_t>(Imax(b.ubColEnd, c));
}

// Rule of the wet nodes (step 1 of the build).
bool NodeWet(const WaterproofInput& in, int32_t r, int32_t c, bool boStrong) {
  const WaterModuleState& w = gstWaterState;
  const int32_t R = in.ubRowNum, C = in.ubColNum;
  const uint32_t i = static_cast<uint32_t>(r) * C + c;
  const int32_t d = in.pswDiff[i], p = in.pswPrevDiff[i];
  int32_t hi = -1000, lo = 1000, n = 0;
  for (int32_t dr = -1; dr <= 1; ++dr) {
    for (int32_t dc = -1; dc <= 1; ++dc) {
      if ((dr == 0 && dc == 0) || r + dr < 0 || r + dr >= R || c + dc < 0 || c + dc >= C) continue;
      const int32_t v = in.pswDiff[(r + dr) * C + (c + dc)];
      if (v == 0) continue;
      hi = Imax(hi, v);
      lo = Imin(lo, v);
      if (v >= 50 || v <= -50) ++n;
    }
  }
  if (w.WaterGuardOn != 0 && r > 0 && c > 0 && r < R - 1 && c < C - 1) {
    const RegionRect guard = w.WaterGuardRect;
    const RegionRect G = RegionRectGrow(guard, 1, in.ubRowNum, in.ubColNum);
    const RegionRect G2 = RegionRectGrow(guard, 2, in.ubRowNum, in.ubColNum);
    const bool onG = OnOutline(G, r, c);
    if (onG) {
      int32_t hiOut = -1000, hiIn = -1000;
      for (int32_t dr = -1; dr <= 1; ++dr) {
        for (int32_t dc = -1; dc <= 1; ++dc) {
          const int32_t rr = r + dr, cc = c + dc;
          if ((dr == 0 && dc == 0) || rr < 0 || rr >= R || cc < 0 || cc >= C) continue;
          const int32_t v = in.pswDiff[rr * C + cc];
          if (InRect(guard, rr, cc)) {
            hiIn = Imax(hiIn, v);
          } else if (!OnOutline(G, rr, cc)) {
            hiOut = Imax(hiOut, v);
          }
        }
      }
      if (hiOut >= 25 && (d < static_cast<int32_t>(in.uwTouchLevel) || hiIn < 100)) return false;
    }
    // On the guard ring a touch edge must not be joined to water beside it: only positive
    // nodes with a strong or a negative neighbour are wet there.
    if (onG || OnOutline(G2, r, c)) return d >= 50 || (d >= 25 && (hi >= 50 || lo <= -25));
  }
  if (d >= 50 || d <= -50) return true;
  return (d >= 25 && hi >= 50) || (d <= -25 && hi >= 25) || (d >= 25 && lo <= -25) ||
         (p >= 25 && n >= 1 && (boStrong || n >= 4));
}

struct Measure {
  uint32_t strong = 0, nodes = 0, bigChanges = 0;
  int32_t sumD = 0, neg = 0, change = 0, prevPeak = 0, peak = 0;
  int16_t sumDq = 0;
  int64_t sumCol = 0, sumRow = 0;
  RegionRect strongBox{255, 0, 255, 0};
  bool anyStrong = false;
  uint16_t colCentre = 0, rowCentre = 0;
  int16_t ratio = 1000;
};

Measure MeasureUnion(const WaterproofInput& in, const uint8_t* pubLabel, uint8_t l, const RegionRect& B) {
  WaterModuleState& w = gstWaterState;
  Measure m;
  const int32_t C = in.ubColNum;
  const int32_t t = WaterRectNodes(B) > 100 ? 50 : 0;
  for (int32_t r = B.ubRowStart; r <= B.ubRowEnd && r < in.ubRowNum; ++r) {
    for (int32_t c = B.ubColStart; c <= B.ubColEnd && c < C; ++c) {
      const uint32_t i = static_cast<uint32_t>(r) * C + c;
      if (pubLabel[i] != l) continue;
      const int32_t d = in.pswDiff[i], p = in.pswPrevDiff[i];
      const int32_t q = in.pswDiffLastLast != nullptr ? in.pswDiffLastLast[i] : 0;
      if (d >= 25) {
        if (!m.anyStrong) m.strongBox = RegionRect{static_cast<uint8_t>(r), static_cast<uint8_t>(r), static_cast<uint8_t>(c), static_cast<uint8_t>(c)};
        m.anyStrong = true;
        ++m.strong;
        m.sumD += d;
        m.sumCol += static_cast<int64_t>(c) * d;
        m.sumRow += static_cast<int64_t>(r) * d;
        Widen(m.strongBox, r, c);
        m.peak = Imax(m.peak, d);
      } else if (d <= -25) {
        m.neg += d;
      }
      const int32_t ch = d - p;
      if (ch > t || ch < -t) {
        m.change += ch;
        if (ch >= 26 || ch <= -26) ++m.bigChanges;
      }
      m.sumDq = static_cast<int16_t>(m.sumDq + static_cast<int16_t>(d - q));
      ++m.nodes;
      if (p >= 25) m.prevPeak = Imax(m.prevPeak, p);
      if (w.WaterMarkMap[i] == 0) w.WaterMarkMap[i] = 1;
    }
  }
  if (m.sumD != 0) {
    m.colCentre = static_cast<uint16_t>(m.sumCol * 4 / m.sumD);
    m.rowCentre = static_cast<uint16_t>(m.sumRow * 4 / m.sumD);
  }
  m.ratio = m.neg == 0 ? 1000 : static_cast<int16_t>(static_cast<int64_t>(m.sumD) * 10 / -m.neg);
  return m;
}

// Kept regions with a node of label L that carries their own region label; each is marked
// as belonging to union S.
uint8_t CountRegions(const WaterproofInput& in, const uint8_t* pubLabel, uint8_t l, uint8_t s) {
  uint8_t n = 0;
  for (uint8_t k = 0; k < kRegionMax; ++k) {
    if (in.puwKeep[k] == 0) continue;
    const RegionRect R = in.pstRect[k];
    if (!RectValidOn(R, in.ubRowNum, in.ubColNum)) continue;
    bool has = false;
    for (int32_t r = R.ubRowStart; r <= R.ubRowEnd && !has; ++r) {
      for (int32_t c = R.ubColStart; c <= R.ubColEnd; ++c) {
        const uint32_t i = static_cast<uint32_t>(r) * in.ubColNum + c;
        if (pubLabel[i] == l && in.pubLabelMap[i] == k) {
          has = true;
          break;
        }
      }
    }
    if (!has) continue;
    ++n;
    gstWaterState.WaterRegionMark[k] = s;
  }
  return n;
}

void Merge(const WaterproofInput& in, WaterBuildScratch& scr) {
  WaterModuleState& w = gstWaterState;
  const uint8_t R = in.ubRowNum, C = in.ubColNum;
  for (uint8_t i = 0; i + 1 < kWaterUnionMax; ++i) {
    const uint8_t L = scr.aubUnionLabel[i];
    if (!WaterUnionLive(w.astUnion[i]) || L == 255) continue;
    bool iBorder = OnBorder(w.astUnion[i].rect, R, C);
    int32_t taken = -1;
    for (uint8_t j = static_cast<uint8_t>(i + 1); j < kWaterUnionMax && scr.aubUnionLabel[i] == L; ++j) {
      if (!WaterUnionLive(w.astUnion[j]) || scr.aubUnionLabel[j] != L) continue;
      WaterUnion& ui = w.astUnion[i];
      WaterUnion& uj = w.astUnion[j];
      const bool wi = WetOrConfirmed(ui), wj = WetOrConfirmed(uj);
      const bool jBorder = OnBorder(uj.rect, R, C);
      const bool keepI = wi || !wj;
      WaterUnion& keep = keepI ? ui : uj;
      scr.aubUnionLabel[keepI ? j : i] = 255;
      ui.splitMark = uj.splitMark = 1;
      if (wi && !wj && uj.peak >= 151) {
        ui.confirmMark = 1;
        w.WaterCheckMode = 1;
      }
      if (wj && !wi && ui.peak >= 151) {
        uj.confirmMark = 1;
        w.WaterCheckMode = 1;
      }
      int16_t edge;
      if ((!iBorder && ui.holdCount > 0) || (!jBorder && uj.holdCount >= 1)) {
        edge = 0;
      } else if (ui.edgeCount != 0 && uj.edgeCount != 0) {
        edge = ui.edgeCount < uj.edgeCount ? ui.edgeCount : uj.edgeCount;
      } else {
        edge = ui.edgeCount > uj.edgeCount ? ui.edgeCount : uj.edgeCount;
      }
      const uint8_t rearm = (ui.rearmMark | uj.rearmMark) != 0 ? 1 : 0;
      uint16_t arm = ui.armCount > uj.armCount ? ui.armCount : uj.armCount;
      const auto slotTracked = [](const WaterUnion& u) {
        return u.slot < kWaterTrackMax && gstWaterState.astSlotTrack[u.slot].ubState >= 2;
      };
      if (slotTracked(ui) && slotTracked(uj)) arm = 0;
      int16_t hold;
      if (ui.holdCount < 0 || uj.holdCount < 0) {
        hold = -1;
      } else if (iBorder && !jBorder && uj.holdCount > 2) {
        taken = Imax(taken, uj.holdCount);
        hold = static_cast<int16_t>(taken);
      } else if (jBorder && !iBorder && ui.holdCount >= 3) {
        taken = Imax(taken, ui.holdCount);
        hold = static_cast<int16_t>(taken);
      } else {
        hold = ui.holdCount > uj.holdCount ? ui.holdCount : uj.holdCount;
      }
      uint8_t carry = keep.carryMark;
      const bool confirmed = ui.confirmMark != 0 || uj.confirmMark != 0;
      if (confirmed) {
        if (!wi && wj && uj.carryMark != 0 && (ui.peak < 120 || ui.holdCount >= 3)) {
          carry = 1;
        } else if (wj || !wi) {
          carry = (ui.carryMark != 0 && uj.carryMark != 0) ? 1 : 0;
        } else if (ui.carryMark == 0) {
          carry = 0;
        } else {
          carry = (uj.peak >= 120 && uj.holdCount < 3) ? uj.carryMark : 1;
        }
      }
      const uint16_t peak = ui.peak > uj.peak ? ui.peak : uj.peak;
      const uint8_t wet = (ui.wetMark | uj.wetMark) != 0 ? 1 : 0;
      keep.edgeCount = edge;
      keep.rearmMark = rearm;
      keep.armCount = arm;
      keep.holdCount = hold;
      if (confirmed) {
        keep.confirmMark = 1;
        w.WaterCheckMode = 1;
        keep.carryMark = carry;
      }
      keep.peak = peak;
      keep.wetMark = wet;
      if (jBorder) iBorder = true;
    }
  }
}

void NewUnions(const WaterproofInput& in, WaterBuildScratch& scr) {
  WaterModuleState& w = gstWaterState;
  const uint8_t R = in.ubRowNum, C = in.ubColNum;
  bool held[kWaterLabelSlots] = {};
  for (uint8_t j = 0; j < kWaterUnionMax; ++j)
    if (scr.aubUnionLabel[j] < kWaterLabelSlots) held[scr.aubUnionLabel[j]] = true;
  for (uint8_t l = 1; l < kWaterLabelSlots; ++l) {
    if (scr.auwSize[l] == 0 || held[l]) continue;
    uint8_t s = 255;
    for (uint8_t j = 0; j < kWaterUnionMax; ++j) {
      if (scr.aubUnionLabel[j] == 255 && w.astUnion[j].label == kWaterUnionFree) {
        s = j;
        break;
      }
    }
    if (s == 255) continue;
    scr.aubUnionLabel[s] = l;
    held[l] = true;
    uint8_t parent = 255;
    uint32_t best = 0;
    for (uint8_t u = 0; u < kWaterUnionMax; ++u) {
      const WaterUnion& pu = w.astUnion[u];
      if (!WaterUnionLive(pu) || u == s) continue;
      RegionRect S = pu.rect;
      if (w.WaterGrowFlag != 0 || WaterRectNodes(S) <= 8) S = RegionRectGrow(S, 1, R, C);
      if (!RectValidOn(S, R, C)) continue;
      uint32_t n = 0;
      for (int32_t r = S.ubRowStart; r <= S.ubRowEnd; ++r)
        for (int32_t c = S.ubColStart; c <= S.ubColEnd; ++c) {
          const uint32_t i = static_cast<uint32_t>(r) * C + c;
          if (scr.aubLabel[i] == l && w.WaterAuxMap[i] == pu.label) ++n;
        }
      if (n > best) {
        best = n;
        parent = u;
      }
    }
    if (parent == 255 || scr.auwSize[l] > 4 * best) continue;
    WaterUnion& pu = w.astUnion[parent];
    const bool parentLabelled = scr.aubUnionLabel[parent] != 255;
    if (!parentLabelled && pu.splitMark != 1) continue;
    w.astUnion[s] = pu;
    w.astUnion[s].splitMark = 2;
    if (!parentLabelled && pu.splitMark == 1) scr.aubUnionLabel[parent] = l;
    pu.splitMark = 2;
  }
}

void StartUnion(WaterUnion& u, const Measure& m, uint8_t h, uint8_t wd, const RegionRect& B, bool boArmed) {
  const uint16_t arm = u.armCount;
  const int16_t hold = u.holdCount, edge = u.edgeCount;
  const uint16_t startValue = u.startValue;
  const RegionRect armedRect = RegionRectFromWord(static_cast<uint32_t>(u.posSum));
  memset(&u, 0, sizeof(u));
  u.armCount = arm;
  u.holdCount = hold;
  u.edgeCount = edge;
  u.startWidth = u.maxWidth = wd;
  u.startHeight = u.maxHeight = h;
  u.rect = B;
  u.strongCountStart = u.strongCount = u.strongCountHigh = static_cast<uint16_t>(m.strong);
  u.posSumStart = static_cast<uint16_t>(m.sumD);
  u.lastX = u.centreX = m.colCentre;
  u.lastY = u.centreY = m.rowCentre;
  u.peak = u.peakPrev = static_cast<uint16_t>(m.peak);
  u.ratio = m.ratio;
  u.age = 1;
  if (boArmed) {
    u.startHeight = static_cast<uint8_t>(WaterRectNodes(armedRect) != 0 ? armedRect.ubRowEnd - armedRect.ubRowStart + 1 : 0);
    u.startWidth = static_cast<uint8_t>(WaterRectNodes(armedRect) != 0 ? armedRect.ubColEnd - armedRect.ubColStart + 1 : 0);
    u.moveCount = 1;
    u.extentGrowCount = 1;
    u.startValue = startValue;
  }
}

uint16_t Inc16(uint16_t v, uint32_t by = 1) { return static_cast<uint16_t>(v + by > 65535 ? 65535 : v + by); }

void FollowUnion(WaterUnion& u, const Measure& m, uint8_t h, uint8_t wd, const RegionRect& B) {
  u.rect = B;
  const int32_t prevPos = u.posSum, prevNeg = u.negSum;
  if (u.ratio < 21) {
    if (m.neg == 0) {
      u.ratio = 1000;
    } else if (m.sumD > prevPos + 1000) {
      u.ratio = static_cast<int16_t>(static_cast<int64_t>(m.sumD) * 10 / -m.neg);
    }
  }
  const int32_t vsum = m.sumD + m.sumDq;
  const int32_t v = vsum > m.sumD / 2 ? vsum : m.sumD;
  u.dropFlagPrev = u.splitMark == 0 ? u.dropFlag : 0;
  if (u.splitMark != 2) {
    u.dropFlag = (m.sumDq < -25 && prevPos > v + v / 4) ? 1 : 0;
  } else {
    u.dropFlag = (m.sumDq + v / 4 < 0) ? 1 : 0;
  }
  u.riseFlag = u.splitMark == 1 ? 0 : (m.sumD > prevPos + 400 ? 1 : 0);
  u.negGrowFlag = (prevPos > m.sumD + m.sumD / 8 && m.neg < prevNeg + prevNeg * 21 / 64) ? 1 : 0;
  const uint16_t prevPeak = u.splitMark != 2 ? u.peak : static_cast<uint16_t>(m.prevPeak);
  u.age = Inc16(u.age);
  u.peak = static_cast<uint16_t>(m.peak);
  u.peakPrev = prevPeak;
  u.strongCount = static_cast<uint16_t>(m.strong);
  // The previous centre is the one of the last update, so that a jump shows between them.
  u.lastX = u.centreX;
  u.lastY = u.centreY;
  const int32_t dx = static_cast<int32_t>(m.colCentre) - u.centreX, dy = static_cast<int32_t>(m.rowCentre) - u.centreY;
  if (dx * dx + dy * dy >= 17) {
    u.centreX = m.colCentre;
    u.centreY = m.rowCentre;
    u.moveCount = Inc16(u.moveCount);
  }
  const uint32_t step = static_cast<uint32_t>(Imax(Imin(h, wd) / 2, 2));
  if (m.strong >= u.strongCountHigh + step) {
    u.strongCountHigh = static_cast<uint16_t>(m.strong);
    u.growCount = Inc16(u.growCount);
  }
  if (wd > u.maxWidth || h > u.maxHeight) {
    u.maxWidth = static_cast<uint8_t>(Imax(wd, u.maxWidth));
    u.maxHeight = static_cast<uint8_t>(Imax(h, u.maxHeight));
    u.extentGrowCount = Inc16(u.extentGrowCount);
  }
  if (wd + 1 < u.strongWidth || h + 1 < u.strongHeight) {
    u.shrinkCount = Inc16(u.shrinkCount, (wd + 2 < u.strongWidth || h + 2 < u.strongHeight) ? 2 : 1);
  }
}

void CommonPart(const WaterproofInput& in, WaterBuildScratch& scr, uint8_t s, uint8_t l, const Measure& m,
                bool boStarted, bool boRectWasB) {
  WaterModuleState& w = gstWaterState;
  WaterUnion& u = w.astUnion[s];
  const bool wasWetConfirmed = u.wetMark != 0 && u.confirmMark != 0;
  u.label = l;
  u.nodeCount = static_cast<uint16_t>(m.nodes);
  u.strongHeight = static_cast<uint8_t>(m.anyStrong ? m.strongBox.ubRowEnd - m.strongBox.ubRowStart + 1 : 0);
  u.strongWidth = static_cast<uint8_t>(m.anyStrong ? m.strongBox.ubColEnd - m.strongBox.ubColStart + 1 : 0);
  u.steadyFlag = (m.bigChanges == 0 || (wasWetConfirmed && boRectWasB)) ? 1 : 0;
  u.posSumPrev = boStarted ? 0 : u.posSum;
  u.posSum = m.sumD;
  u.negSum = m.neg;
  if (m.bigChanges >= 5 && m.nodes >= 11 && 2 * m.strong < m.nodes && m.sumD + m.neg < 0 &&
      static_cast<int64_t>(m.sumD) < 100 * static_cast<int64_t>(m.strong)) {
    if (u.negDomCount < 100) ++u.negDomCount;
  } else {
    u.negDomCount = 0;
  }
  const CoordPair* cp = static_cast<const CoordPair*>(in.pvCoordPair);
  if (u.startValue == 0 && cp != nullptr && in.puwSlotPeak != nullptr) {
    for (uint8_t k = 0; k < kRegionMax; ++k) {
      if (in.puwSlotPeak[k] == 0 || !WaterRectOverlap(u.rect, cp->astLastRect[k])) continue;
      u.startValue = static_cast<uint16_t>(u.posSumPrev);
      u.ratio = m.neg == 0 ? 1000 : static_cast<int16_t>(static_cast<int64_t>(m.sumD) * 10 / -m.neg);
      break;
    }
  }
  u.strongRect = m.strongBox;
  u.changeSum = m.change;
  u.updated = 1;
  u.regionCount = CountRegions(in, scr.aubLabel, l, s);
  CountUnionRiseRows(&in, s);
}

void MeasureAndSettle(const WaterproofInput& in, WaterBuildScratch& scr) {
  WaterModuleState& w = gstWaterState;
  const uint8_t C = in.ubColNum;
  for (WaterUnion& u : w.astUnion) u.updated = 0;
  for (uint8_t s = 0; s < kWaterUnionMax; ++s) {
    const uint8_t l = scr.aubUnionLabel[s];
    if (l == 255 || l == 0 || l >= kWaterLabelSlots) continue;
    WaterUnion& u = w.astUnion[s];
    const RegionRect B = scr.astBox[l];
    if (!RectValidOn(B, in.ubRowNum, C)) continue;
    const uint8_t h = static_cast<uint8_t>(B.ubRowEnd - B.ubRowStart + 1);
    const uint8_t wd = static_cast<uint8_t>(B.ubColEnd - B.ubColStart + 1);
    const Measure m = MeasureUnion(in, scr.aubLabel, l, B);
    const uint32_t count = w.WaterEntrySeen != 0 ? m.nodes : m.strong;
    const bool small = count <= 4 || m.peak < static_cast<int32_t>(in.uwTouchLevel) || Imax(h, wd) < 3 || Imin(h, wd) == 1;
    const bool quiet = !WetOrConfirmed(u);
    const bool justTaken = u.label == kWaterUnionFree;
    if (quiet && m.strong == 0) {
      WaterUnionFree(u);
      continue;
    }
    if (!justTaken && ((u.splitMark == 0 && wd > C - 10 && wd > u.strongWidth + 5) || (!quiet && m.strong == 0))) {
      u.label = l;
      u.updated = 1;
      u.regionCount = 0;
      u.rect = B;
      u.regionCount = CountRegions(in, scr.aubLabel, l, s);
      if (u.regionCount == 0) u.updated = 0;
      continue;
    }
    const bool wasArmed = u.armed != 0;
    u.armed = 0;
    const bool shrunk = (u.startWidth >= wd && u.startHeight - 1 > h) || (u.startWidth - 1 > wd && u.startHeight >= h);
    const bool rectWasB = RegionRectWord(u.rect) == RegionRectWord(B);
    bool started = false;
    if ((quiet && !small && shrunk) || justTaken || wasArmed) {
      const bool armedStart = wasArmed && !(static_cast<int64_t>(m.sumD) < 5 * static_cast<int64_t>(-m.neg));
      StartUnion(u, m, h, wd, B, armedStart);
      started = true;
    } else if (u.age != 65535) {
      FollowUnion(u, m, h, wd, B);
    }
    CommonPart(in, scr, s, l, m, started, rectWasB);
  }
}

void SlotOfUnions(const WaterproofInput& in) {
  WaterModuleState& w = gstWaterState;
  const CoordPair* cp = static_cast<const CoordPair*>(in.pvCoordPair);
  const uint8_t R = in.ubRowNum, C = in.ubColNum;
  const auto meanSelf = [&](int32_t from, int32_t to, int32_t base) -> int32_t {
    if (in.ubSelfCapEn == 0 || in.pswSelfDiff == nullptr) return 0;
    int16_t sum = 0;
    int32_t n = 0;
    for (int32_t i = from; i <= to; ++i) {
      const int16_t v = in.pswSelfDiff[base + i];
      if (v > 100) {
        sum = static_cast<int16_t>(sum + v);
        ++n;
      }
    }
    return n == 0 ? 0 : sum / n;
  };
  for (WaterUnion& u : w.astUnion) {
    if (!WaterUnionLive(u)) continue;
    uint8_t best = 255;
    uint32_t cb = 0, ab = 0;
    int32_t mrb = 0, mcb = 0;
    for (uint8_t k = 0; cp != nullptr && in.puwSlotPeak != nullptr && k < kRegionMax; ++k) {
      const RegionRect K = cp->astLastRect[k];
      if (in.puwSlotPeak[k] == 0 || !RectValidOn(K, R, C)) continue;
      uint32_t ck = 0;
      for (int32_t r = K.ubRowStart; r <= K.ubRowEnd; ++r)
        for (int32_t c = K.ubColStart; c <= K.ubColEnd; ++c) ck += w.WaterAuxMap[r * C + c] == u.label ? 1u : 0u;
      if (ck == 0) continue;
      const uint32_t ak = WaterRectNodes(K);
      const int32_t mr = meanSelf(K.ubRowStart, K.ubRowEnd, 0), mc = meanSelf(K.ubColStart, K.ubColEnd, R);
      bool take = best == 255;
      if (!take) {
        if (ak > ab && (mr >= 2 * mrb || mc >= 2 * mcb)) {
          take = true;
        } else if (ck > 2 * cb && !(mrb > mr && mc < mcb)) {
          take = true;
        }
      }
      if (take) {
        best = k;
        cb = ck;
        ab = ak;
        mrb = mr;
        mcb = mc;
      }
    }
    u.slot = best;
  }
}

}  // namespace

uint8_t* WaterBuildUnions(WaterproofInput* pstIn) {
  WaterproofInput& in = *pstIn;
  WaterModuleState& w = gstWaterState;
  WaterBuildScratch& scr = gstWaterBuildScratch;
  const uint8_t R = in.ubRowNum, C = in.ubColNum;
  const uint32_t N = static_cast<uint32_t>(R) * C;
  if (N == 0 || N > kRegionMaxNodes || in.pswDiff == nullptr || in.pswPrevDiff == nullptr || in.pubLabelMap == nullptr ||
      in.puwKeep == nullptr || in.pstRect == nullptr) {
    return scr.aubLabel;
  }
  memset(scr.aubEquiv, 0, sizeof(scr.aubEquiv));
  memset(scr.auwSize, 0, sizeof(scr.auwSize));
  memset(scr.aubLabel, 0, N);
  const bool strong = w.WaterCheckScore > 80 && w.WaterOneFingerCnt > 2;

  // Wet nodes and labelling in one row-major pass: a node's label depends only on nodes
  // already visited.
  uint8_t last = 0;
  for (int32_t r = 0; r < R; ++r) {
    for (int32_t c = 0; c < C; ++c) {
      const uint32_t i = static_cast<uint32_t>(r) * C + c;
      const int32_t d = in.pswDiff[i];
      if (d < 25 && d > -25 && (w.WaterMarkMap[i] == 2 || w.WaterMarkMap[i] == 3)) w.WaterMarkMap[i] = 1;
      if (!NodeWet(in, r, c, strong)) continue;
      const auto lab = [&](int32_t rr, int32_t cc) -> uint8_t {
        return (rr < 0 || cc < 0 || cc >= C) ? 0 : scr.aubLabel[rr * C + cc];
      };
      const uint8_t nb[4] = {lab(r, c - 1), lab(r - 1, c - 1), lab(r - 1, c), lab(r - 1, c + 1)};
      last = LabelNodeUnion(nb, i, last, scr.aubEquiv, scr.aubLabel);
    }
  }
  for (RegionRect& b : scr.astBox) b = RegionRect{static_cast<uint8_t>(R - 1), 0, static_cast<uint8_t>(C - 1), 0};
  for (uint32_t i = 0; i < N; ++i) {
    if (scr.aubLabel[i] == 0) continue;
    const uint8_t root = WaterLabelRoot(scr.aubEquiv, scr.aubLabel[i]);
    scr.aubLabel[i] = root;
    ++scr.auwSize[root];
    Widen(scr.astBox[root], static_cast<int32_t>(i / C), static_cast<int32_t>(i % C));
  }

  if (w.WaterGuardOn != 0) {
    for (uint8_t k = 0; k < kRegionMax; ++k) {
      if (in.puwKeep[k] == 0 || !RectValidOn(in.pstRect[k], R, C)) continue;
      const RegionRect Rk = in.pstRect[k];
      uint16_t cnt[kWaterLabelSlots] = {};
      uint32_t labelled = 0, unlabelled = 0;
      for (int32_t r = Rk.ubRowStart; r <= Rk.ubRowEnd; ++r)
        for (int32_t c = Rk.ubColStart; c <= Rk.ubColEnd; ++c) {
          const uint32_t i = static_cast<uint32_t>(r) * C + c;
          if (in.pubLabelMap[i] != k) continue;
          if (scr.aubLabel[i] == 0) {
            ++unlabelled;
          } else {
            ++labelled;
            ++cnt[scr.aubLabel[i]];
          }
        }
      if (unlabelled == 0) continue;
      uint8_t wl = 0;
      for (uint8_t l = 1; l < kWaterLabelSlots && wl == 0; ++l)
        if (2u * cnt[l] > labelled) wl = l;
      if (wl == 0) continue;
      for (int32_t r = Rk.ubRowStart; r <= Rk.ubRowEnd; ++r)
        for (int32_t c = Rk.ubColStart; c <= Rk.ubColEnd; ++c) {
          const uint32_t i = static_cast<uint32_t>(r) * C + c;
          if (in.pubLabelMap[i] != k || scr.aubLabel[i] != 0) continue;
          scr.aubLabel[i] = wl;
          ++scr.auwSize[wl];
          Widen(scr.astBox[wl], r, c);
        }
    }
  }

  if (in.ubRegionNum > 1) {
    WaterPairSplit(&in, &scr);
  } else {
    WaterPairIdle();
  }

  // Larger unions choose their component first; equal counts keep table order.
  uint8_t order[kWaterUnionMax];
  uint8_t n = 0;
  for (uint8_t j = 0; j < kWaterUnionMax; ++j)
    if (WaterUnionLive(w.astUnion[j])) order[n++] = j;
  for (uint8_t a = 0; a + 1 < n; ++a)
    for (uint8_t b = 0; b + 1 < n - a; ++b)
      if (w.astUnion[order[b + 1]].nodeCount > w.astUnion[order[b]].nodeCount) {
        const uint8_t t = order[b];
        order[b] = order[b + 1];
        order[b + 1] = t;
      }
  for (uint8_t j = n; j < kWaterUnionMax; ++j) order[j] = 255;
  memset(scr.aubUnionLabel, 255, sizeof(scr.aubUnionLabel));
  MatchUnionLabels(&in, scr.auwSize, scr.aubLabel, order, scr.aubUnionLabel, &scr.stWork, 1);
  MatchUnionLabels(&in, scr.auwSize, scr.aubLabel, order, scr.aubUnionLabel, &scr.stWork, 0);

  Merge(in, scr);
  NewUnions(in, scr);
  MeasureAndSettle(in, scr);

  for (WaterUnion& u : w.astUnion) {
    if (WaterUnionLive(u) && u.updated == 0) WaterUnionFree(u);
    // An arm lasts one build: a free union that no component took drops it.
    if (!WaterUnionLive(u) && u.armed != 0) WaterUnionFree(u);
  }
  memcpy(w.WaterAuxMap, scr.aubLabel, N);
  w.WaterUnionCount = w.WaterStrongUnionCount = 0;
  for (const WaterUnion& u : w.astUnion) {
    if (!WaterUnionLive(u)) continue;
    ++w.WaterUnionCount;
    if (u.strongCount >= 4) ++w.WaterStrongUnionCount;
  }
  SlotOfUnions(in);
  return scr.aubLabel;
}
