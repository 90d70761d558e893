// Phases of the pairing core after the split judgement: isolated-region regrowth, the jump
// check, the two-region restart, the final conflict, the pinch tracker, water removal, the
// saved map, slot states, the gap countdown and the weak and grown regions.
#include <cstring>

#include "coord_pair.h"
#include "low_temp.h"

namespace {

void Unpair(uint8_t k) {
  CoordPairScratch& sc = PairScratch();
  const uint8_t p = gstCoordPair.aubOrderIndex[k];
  gstCoordPair.aubOrderIndex[k] = kCoordNoSlot;
  if (p < kCoordPointMax && sc.aubSlotRegionCount[p] > 0) --sc.aubSlotRegionCount[p];
}

void IsolatedRegrowth() {
  const CoordPairInput& in = PairIn();
  const uint8_t n = PairRegions();
  if (in.ubFloatSelf != 0 || gubRectTrimFlag != 0 || n == 0) return;
  RegionRect grown[kCoordPointMax];
  for (uint8_t k = 0; k < n; ++k) grown[k] = RegionRectGrow(in.pstRect[k], 1, in.ubRows, in.ubColumns);
  for (uint8_t k = 0; k < n; ++k) {
    if (!PairPresent(k)) continue;
    bool boNeighbour = false;
    for (uint8_t j = 0; j < n && !boNeighbour; ++j) {
      if (j != k && PairPresent(j) && JudgeRectsTouch(grown[k], grown[j]) != 0) boNeighbour = true;
    }
    if (boNeighbour) continue;
    gstCoordPair.aubComplementMark[k] = 1;
    CalcRegionCoord(k, grown[k]);
  }
}

bool EdgeStrip(RegionRect r) {
  const CoordPairInput& in = PairIn();
  return ((r.ubColStart == 0 || r.ubColEnd + 1u == in.ubColumns) && RectW(r) < 3) ||
         (r.ubRowStart == 0 && RectH(r) < 3) || (r.ubRowEnd + 1u == in.ubRows && RectH(r) <= 2);
}

// Strong nodes of a narrow edge strip that are old signal outside the slot's rectangle.
bool StripIsStale(RegionRect r, RegionRect L) {
  const CoordPairInput& in = PairIn();
  if (in.pswPrevDiff == nullptr || !RectValidOn(r, in.ubRows, in.ubColumns)) return false;
  uint32_t c = 0, s = 0;
  for (uint32_t y = r.ubRowStart; y <= r.ubRowEnd; ++y) {
    for (uint32_t x = r.ubColStart; x <= r.ubColEnd; ++x) {
      const int32_t v = in.pswDiff[y * in.ubColumns + x];
      if (v < 50) continue;
      ++c;
      const bool inL = y >= L.ubRowStart && y <= L.ubRowEnd && x >= L.ubColStart && x <= L.ubColEnd;
      if (!inL && AbsI(v - in.pswPrevDiff[y * in.ubColumns + x]) <= 50) ++s;
    }
  }
  return s == c || (c >= 6 && 5 * s > 4 * c);
}

bool Progresses(int32_t a, int32_t b, int32_t c, int32_t tol) {
  return (b - a > tol && c - b > tol) || (a - b > tol && b - c > tol);
}

void JumpCheck() {
  CoordPairInput& in = PairIn();
  CoordPairScratch& sc = PairScratch();
  if (in.ubJumpGateFlag == 0) return;
  const uint32_t D = in.uwMoveLimit, d = in.uwStepLimit;
  const bool fast = in.ubFastMoveA != 0 || in.ubFastMoveB != 0;
  const uint32_t Dp = fast ? 2 * D : D;
  const uint32_t F = fast ? 24 * d : 12 * d;
  const uint32_t N = 3 * d;
  uint8_t before[kCoordPointMax];
  memcpy(before, sc.aubSlotRegionCount, sizeof(before));
  bool boBigSlot = false;
  for (uint8_t j = 0; j < kCoordPointMax; ++j) {
    if (gstCoordPair.auwLastRectMaxDiff[j] != 0 && RectH(gstCoordPair.astLastRect[j]) >= 6 &&
        RectW(gstCoordPair.astLastRect[j]) >= 6) {
      boBigSlot = true;
    }
  }
  const uint8_t n = PairRegions();
  for (uint8_t k = 0; k < n; ++k) {
    const uint8_t p = gstCoordPair.aubOrderIndex[k];
    if (p >= kCoordPointMax || !PairPresent(k)) continue;
    const RegionRect L = gstCoordPair.astLastRect[p];
    const RegionRect R = in.pstRect[k];
    if (!RectValidOn(L, in.ubRows, in.ubColumns)) continue;
    if ((RectH(R) >= RectH(L) + 5 || RectW(R) >= RectW(L) + 5) &&
        CalcRectCoverSize(RegionRectGrow(R, 1, in.ubRows, in.ubColumns), L) != 0) {
      continue;
    }
    const int32_t qx = sc.auwQx[k], qy = sc.auwQy[k];
    const int32_t sx = gstCoordPair.auwSlotX[p], sy = gstCoordPair.auwSlotY[p];
    const int32_t px = gstCoordPair.auwPrevSlotX[p], py = gstCoordPair.auwPrevSlotY[p];
    const uint32_t m = static_cast<uint32_t>((qx - sx) * (qx - sx) + (qy - sy) * (qy - sy));
    uint32_t l = static_cast<uint32_t>((px - sx) * (px - sx) + (py - sy) * (py - sy));
    if (in.puiMoveNow != nullptr) in.puiMoveNow[p] = m;
    if (in.puiMoveLast != nullptr) in.puiMoveLast[p] = l;
    if (sc.ubMergedCount == 2 && in.ubRegionCount == 2 && in.ubLastReportCount == 1) {
      uint8_t other = kCoordNoSlot;
      for (uint8_t j = 0; j < n; ++j) {
        if (j != k && PairPresent(j)) other = j;
      }
      if (other != kCoordNoSlot && 8u * in.uwPairGapDistance > RegionSqDist(k, other) &&
          RectH(L) * RectW(L) >= 18 && RectH(L) * RectW(L) > RectH(R) * RectW(R) + 4 && l < 10) {
        l = 10;
      }
    }
    bool boStrip = false;
    if (EdgeStrip(R) && 2 * CalcRectCoverSize(R, L) < RectH(L) * RectW(L)) {
      if (StripIsStale(R, L)) {
        Unpair(k);
        continue;
      }
      boStrip = true;
    }
    if (m >= in.ubSmallMove) {
      const uint8_t delay = gstCoordPair.aubLeaveTouchTimer[p] & 0xF0;
      if ((delay != 0 && delay + 32 >= in.ubReportDelayCode) || (boBigSlot && gubHaveComplement == 1)) {
        int32_t Sc = 0, Sp = 0;
        for (uint32_t y = R.ubRowStart; y <= R.ubRowEnd; ++y) {
          for (uint32_t x = R.ubColStart; x <= R.ubColEnd; ++x) {
            Sc += in.pswDiff[y * in.ubColumns + x];
            if (in.pswPrevDiff != nullptr) Sp += in.pswPrevDiff[y * in.ubColumns + x];
          }
        }
        const int16_t sc16 = static_cast<int16_t>(Sc), sp16 = static_cast<int16_t>(Sp);
        if (RectEmpty(R) || sc16 < 1 || sp16 < 1 || 100 * sp16 / sc16 < 50) {
          if (l < in.ubMoveFloor) l = in.ubMoveFloor;
        }
      }
      if (m > Dp) {
        Unpair(k);
        continue;
      }
      if (JudgeDropWetFinger(R, 0) == 0) {
        if (l < N && m > F) {
          Unpair(k);
          continue;
        }
        const uint32_t L0 = (boBigSlot && gubHaveComplement == 1) ? 72 : (in.ubFastMoveA != 0 ? 100 : 36);
        in.ubRatioLimit = static_cast<uint8_t>(L0);
        uint32_t q;
        if (l >= m) {
          q = l / (m < 1 ? 1 : m);
        } else {
          const uint32_t lp = (l <= 2 && in.ubFastMoveB != 0) ? 2 : (l < 1 ? 1 : l);
          q = m / lp;
        }
        const bool bit3 = (gstCoordPair.aubCompanion[p] & 0x08) != 0;
        bool boUnpair = false;
        // For two frames after a residue slot changed at low temperature the map around the
        // residue shifts, so only the wide ratio limit below applies.
        const bool boResidueChange = LowTempExpandBigChangeDistance() != 0;
        if (!boResidueChange && (!bit3 || boStrip)) {
          uint32_t P;
          const int32_t x = sc.auwX[k], y = sc.auwY[k];
          const int32_t right = 512 * static_cast<int32_t>(in.ubColumns);
          const int32_t bottom = 512 * static_cast<int32_t>(in.ubRows);
          if (right - x <= 512) {
            P = 15;
          } else {
            P = (x > 512 && y > 512 && right - x > 512 && bottom - y > 512) ? L0 : 15;
          }
          if (bit3 && P == 15 && l < m && in.ubMoveFloor < l) P = 3;
          // The limits are compared at full width: narrowed to 8 bits, 1.5 x 200 or 3 x 100
          // would wrap to 44 and unpair fingers that move normally.
          if (in.ubFastMoveB == 0) {
            const uint32_t P2 = gstCommon.ubFastMove != 0 ? 2 * L0 : P;
            boUnpair = (q > P2 && gstCommon.aubPairInputs[0] == 0) || 2 * q > 3 * P2;
          } else {
            boUnpair = q > 3 * L0;
          }
        } else {
          boUnpair = q > 4 * L0 && in.ubFastMoveB == 0;
        }
        if (boUnpair) {
          Unpair(k);
          continue;
        }
      } else {
        if (JudgeInSameUnion(R, L) != 0) {
          const int32_t dot = (sx - px) * (qx - sx) + (sy - py) * (qy - sy);
          const bool rev = l < m && m > 200 && dot < 0 && m / (l + 1) > 50;
          if (rev || m >= 401) {
            uint32_t strong = 0;
            for (uint32_t y = L.ubRowStart; y <= L.ubRowEnd; ++y) {
              for (uint32_t x = L.ubColStart; x <= L.ubColEnd; ++x) {
                if (in.pswDiff[y * in.ubColumns + x] > static_cast<int32_t>(in.uwRegionLevel)) ++strong;
              }
            }
            if (strong >= 2) {
              in.pstRect[k] = L;
              CalcRegionCoord(k, L);
            }
          }
        }
        continue;
      }
    }
    // The pairing is kept.
    if (m >= 25) ResetRectTrim();
    uint8_t& comp = gstCoordPair.aubCompanion[p];
    if ((comp & 0x08) == 0) {
      const int32_t tol = in.ubDirectionTolerance;
      if (Progresses(px, sx, qx, tol) || Progresses(py, sy, qy, tol)) {
        comp = static_cast<uint8_t>((comp & 0x80) != 0 ? (comp | 0x08) : (comp | 0x80));
      } else {
        comp = static_cast<uint8_t>(comp & ~0x80);
      }
    }
  }
  for (uint8_t j = 0; j < kCoordPointMax; ++j) {
    if (before[j] != 0 && sc.aubSlotRegionCount[j] == 0 && gstCoordPair.aubLeaveTouchTimer[j] < 16) {
      gstCoordPair.aubExclusion[j] = 1;
    }
  }
}

bool TwoRegionRestart() {
  const CoordPairInput& in = PairIn();
  CoordPairScratch& sc = PairScratch();
  if (!(gstCoordRegionFlags.ubF2 != 0 && in.ubRegionCount == 2 && guwNotMuchOutCnt < 5)) return false;
  uint8_t occ = 0;
  for (uint8_t j = 0; j < kCoordPointMax; ++j) occ = static_cast<uint8_t>(occ + (gstCoordPair.auwLastRectMaxDiff[j] != 0));
  if (occ < 2) {
    gstCoordPair.aubOrderIndex[0] = gstCoordPair.aubOrderIndex[1] = kCoordNoSlot;
    memset(gstCoordPair.auwLastRectMaxDiff, 0, sizeof(gstCoordPair.auwLastRectMaxDiff));
    memset(sc.aubByIndex, kCoordNoSlot, sizeof(sc.aubByIndex));
    memset(sc.aubByDistance, kCoordNoSlot, sizeof(sc.aubByDistance));
    memset(sc.aubSlotRegionCount, 0, sizeof(sc.aubSlotRegionCount));
    memset(sc.auwDist, 0, sizeof(sc.auwDist));
  }
  return true;
}

void FinalConflict() {
  CoordPairScratch& sc = PairScratch();
  for (uint8_t s = 0; s < kCoordPointMax; ++s) {
    if (sc.aubSlotRegionCount[s] < 2) continue;
    const uint8_t w = ResolveSlotRegion(s);
    for (uint8_t i = 0; i < sc.ubListCount; ++i) {
      const uint8_t k = sc.aubByIndex[i];
      if (k != w) gstCoordPair.aubOrderIndex[k] = kCoordNoSlot;
    }
    sc.aubSlotRegionCount[s] = 1;
  }
}

void PinchTracker() {
  const CoordPairInput& in = PairIn();
  auto& p = gstCoordPair;
  if (in.ubSubRectSwitch != 0 || in.ubMergeBonusFlag != 0 || in.ubCommonBlock != 0 || in.ubLastReportCount != 2) {
    p.ubPairCounter = 0;
    return;
  }
  uint8_t r[2];
  uint8_t cnt = 0;
  for (uint8_t k = 0; k < PairRegions(); ++k) {
    if (in.puwPeak[k] != 0 && in.puwPeak[k] >= in.uwNewPointThreshold) {
      if (cnt < 2) r[cnt] = k;
      ++cnt;
    }
  }
  if (cnt != 2) {
    p.ubPairCounter = 0;
    return;
  }
  const RegionRect a = in.pstRect[r[0]], b = in.pstRect[r[1]];
  if (p.ubPairCounter < p.uwFirstPairLimit &&
      CalcRectCoverSize(RegionRectGrow(a, 1, in.ubRows, in.ubColumns), RegionRectGrow(b, 1, in.ubRows, in.ubColumns)) ==
          0) {
    p.ubPairCounter = 0;
  }
  const uint16_t q = RegionSqDist(r[0], r[1]);
  if (q < 64 || q > 576) {
    p.ubPairCounter = 0;
    return;
  }
  const int32_t dist = static_cast<int32_t>(CalcIntegerSqrt(q));
  RegionRect u = RectUnion(a, b);
  GrowRectBy2(&u, in.ubRows, in.ubColumns);
  p.stPinchRect = u;
  if (p.ubPairCounter == 0) {
    p.ubPairCounter = 1;
    p.uwPinchStartDistance = static_cast<uint16_t>(dist);
  } else if (AbsI(p.uwPinchDistance - dist) < 5 && AbsI(p.uwPinchStartDistance - dist) < 9) {
    if (p.ubPairCounter < 100) ++p.ubPairCounter;
    if (p.ubPairCounter >= p.uwFirstPairLimit) {
      const CoordPairScratch& sc = PairScratch();
      int32_t mv[2][2];
      for (int i = 0; i < 2; ++i) {
        const uint8_t s = p.aubOrderIndex[r[i]];
        const bool ok = s < kCoordPointMax && p.auwDownSlotX[s] != kCoordNoPosition;
        mv[i][0] = ok ? AbsI(sc.auwQx[r[i]] - p.auwDownSlotX[s]) : 0;
        mv[i][1] = ok ? AbsI(sc.auwQy[r[i]] - p.auwDownSlotY[s]) : 0;
      }
      if (AbsI(mv[0][0] - mv[1][0]) < 9 && AbsI(mv[0][1] - mv[1][1]) < 9 &&
          ((mv[0][0] < 4 && mv[0][1] < 4) || (mv[1][0] < 4 && mv[1][1] < 4))) {
        --p.ubPairCounter;
      }
    }
  } else {
    p.ubPairCounter = 0;
    return;
  }
  p.uwPinchDistance = static_cast<uint16_t>((dist + p.uwPinchDistance) / 2);
}

void WaterRemoval() {
  const CoordPairInput& in = PairIn();
  CoordPairScratch& sc = PairScratch();
  if (in.ubSubRectSwitch != 0 || in.ubFloatSelf != 0 || in.ubWideToleranceFlag != 0 || in.ubCommonBlock != 0) return;
  const uint8_t n = PairRegions();
  if (sc.ubMergedCount >= 8) {
    uint8_t strong = 0;
    for (uint8_t k = 0; k < n; ++k) strong = static_cast<uint8_t>(strong + (in.puwPeak[k] >= in.uwRegionLevel));
    if (strong == sc.ubMergedCount) return;
  }
  uint8_t mask[kCoordPointMax] = {};
  if (RemoveWaterRect(in.pswDiff, in.pstRect, in.puwPeak, n, mask) == 0) return;
  for (uint8_t k = 0; k < n; ++k) {
    if (mask[k] == 0 || in.puwPeak[k] != 0) continue;
    const uint8_t p = gstCoordPair.aubOrderIndex[k];
    gstCoordPair.aubOrderIndex[k] = kCoordNoSlot;
    if (p < kCoordPointMax) sc.aubSlotRegionCount[p] = 0;
    if (sc.ubMergedCount > 0) --sc.ubMergedCount;
  }
}

void SlotStates() {
  const CoordPairInput& in = PairIn();
  gstMutualFloatCfg[9] = in.ubRegionCount;
  const uint16_t diff = guwCurCompleFlag ^ guwLastCompleFlag;
  for (uint8_t k = 0; k < kCoordPointMax; ++k) {
    if ((diff & (1u << k)) != 0 && (in.ubSplitSwitch != 0 || gstCoordPair.aubSlotState[k] >= 2)) gubJumpCompFlag[k] = 1;
  }
  memset(gstCoordPair.aubSlotState, 0, sizeof(gstCoordPair.aubSlotState));
  guwLastCompleFlag = guwCurCompleFlag;
  uint32_t rects[kRegionMax];
  GetSteadyTrackRects(rects, nullptr);
  for (uint32_t w : rects) {
    if (w == 0) continue;
    for (uint8_t k = 0; k < PairRegions(); ++k) {
      const uint8_t p = gstCoordPair.aubOrderIndex[k];
      if (PairPresent(k) && p < kCoordPointMax && RegionRectWord(in.pstRect[k]) == w) gstCoordPair.aubSlotState[p] = 1;
    }
  }
}

void UpdateGapCountdown() {
  const CoordPairInput& in = PairIn();
  const CoordPairScratch& sc = PairScratch();
  uint8_t& gap = gstCoordPair.ubGapFlag;
  const uint8_t c = sc.ubMergedCount;
  if (in.ubSubRectSwitch == 2 && c > 4) {
    gap = 250;
    return;
  }
  uint8_t big = 0;
  if (c >= 2) {
    for (uint8_t k = 0; k < PairRegions(); ++k) {
      if (!PairPresent(k)) continue;
      const RegionRect r = in.pstRect[k];
      if (RectH(r) * RectW(r) >= (c > 2 ? 30u : 20u) || RectH(r) >= 6 || RectW(r) >= 6) ++big;
    }
  }
  const int32_t lostRaw = static_cast<int32_t>(gstMutualRegion.ubPairNum) - c;
  const uint32_t lost = lostRaw < 0 ? 0 : static_cast<uint32_t>(lostRaw);
  if (lost < (c > 3 ? c : 3u)) {
    if (c == 0 && in.ubRegionCount == 0) {
      gap = 0;
    } else if (c != 0 && gap != 0) {
      --gap;
    }
  } else {
    gap = 250;
    const RegionRect t = in.stTouchRect;
    if (c == 1 && in.ubLastReportCount == 1 && !RectEmpty(t) && RectH(t) > 8 && RectW(t) > 8) return;
  }
  const SelfRegion& sr = gstSelfRegion;
  if (big == 0 && (c == 2 || (sr.ubRowPeakNum == 1 && sr.ubColPeakNum > 2) || (sr.ubColPeakNum == 1 && sr.ubRowPeakNum > 2))) {
    gap = 0;
  }
  const uint8_t nt = GetSteadyTrackRects(nullptr, nullptr);
  if (nt != 0 && nt == c) gap = 0;
}

void WeakAndGrownRegions() {
  const CoordPairInput& in = PairIn();
  CoordPairScratch& sc = PairScratch();
  if (in.ubRecentroidSwitch == 0 || gubHaveComplement != 0 || in.ubSubRectSwitch != 0 || gubWaterUnionFlag != 0 ||
      gubWaterLargeSta != 0 || in.ubRegionCount == 0) {
    return;
  }
  const uint32_t Lv = in.uwRegionLevel;
  for (uint8_t k = 0; k < PairRegions(); ++k) {
    const uint32_t P = in.puwPeak[k];
    if (P == 0) continue;
    const RegionRect R = in.pstRect[k];
    const uint32_t h = RectH(R), w = RectW(R);
    const uint8_t p = gstCoordPair.aubOrderIndex[k];
    const bool paired = p < kCoordPointMax;
    RegionRect L{};
    uint32_t hl = 0, wl = 0;
    if (paired) {
      L = gstCoordPair.astLastRect[p];
      hl = RectH(L);
      wl = RectW(L);
    }
    if (P <= Lv) {
      if (!paired) continue;
      const bool grew = hl < h && wl < w && (h < w ? h : w) >= 6 && (h > w ? h : w) >= 8 && h * w > 2 * hl * wl;
      const bool large = (hl < wl ? hl : wl) >= 8 && wl <= w && hl <= h && in.ubFloatSwitch == 0;
      if (sc.aubSlotRegionCount[p] != 0 && (grew || large)) {
        gstCoordPair.aubOrderIndex[k] = kCoordNoSlot;
        sc.aubSlotRegionCount[p] = 0;
      }
      continue;
    }
    const uint32_t mean = sc.auwWeight[k] / (h * w);
    const bool one = sc.ubMergedCount == 1 && (h > w ? h : w) > 3;
    const uint16_t pos = in.puwPeakPos != nullptr ? in.puwPeakPos[k] : 0;
    const uint32_t pc = pos & 0xFF, pr = pos >> 8;
    bool e = false;
    if (!paired && one) {
      const bool colEdge = w > 1 && (pc == 0 || pc + 1u == in.ubColumns ||
                                     ((R.ubColStart == 0 || R.ubColEnd + 1u == in.ubColumns) && mean < Lv));
      const bool rowEdge = h > 1 && (pr == 0 || pr + 1u == in.ubRows ||
                                     ((R.ubRowStart == 0 || R.ubRowEnd + 1u == in.ubRows) && mean < Lv));
      e = colEdge || rowEdge;
    }
    const bool qualifies = paired ? ((w > 2 * wl && h > 2 * hl && RectInside(L, R)) || e) : e;
    if (!qualifies || !RectValidOn(R, in.ubRows, in.ubColumns)) continue;
    const uint32_t T = (Lv / 2 > 15) ? Lv / 2 : 15;
    uint64_t S = 0, Sx = 0, Sy = 0;
    for (uint32_t y = R.ubRowStart; y <= R.ubRowEnd; ++y) {
      for (uint32_t x = R.ubColStart; x <= R.ubColEnd; ++x) {
        const int32_t v = in.pswDiff[y * in.ubColumns + x];
        if (v < static_cast<int32_t>(T)) continue;
        const uint64_t wv = static_cast<uint64_t>(v - 15);
        S += wv;
        Sx += wv * x;
        Sy += wv * y;
      }
    }
    uint16_t X, Y, W;
    if (S == 0) {
      X = static_cast<uint16_t>(in.scOffsetX + 256);
      Y = static_cast<uint16_t>(in.scOffsetY + 256);
      W = 1;
    } else {
      X = static_cast<uint16_t>(in.scOffsetX + static_cast<int64_t>(512 * Sx / S) + 256);
      Y = static_cast<uint16_t>(in.scOffsetY + static_cast<int64_t>(512 * Sy / S) + 256);
      W = S >= 0xFFFF ? 0xFFFF : static_cast<uint16_t>(S + 1);
    }
    sc.auwX[k] = X;
    sc.auwY[k] = Y;
    sc.auwWeight[k] = W;
    sc.auwQx[k] = static_cast<uint16_t>((X >> 7) & 0x1FF);
    sc.auwQy[k] = static_cast<uint16_t>(Y >> 7);
    gstFingerUpFilter.auwWeight[k] = W;
  }
}

void StillTrimMark() {
  const CoordPairScratch& sc = PairScratch();
  gstCoordPair.ubStillTrimMark = 0;
  if (gubRectTrimFlag == 0) return;
  for (uint8_t k = 0; k < PairRegions(); ++k) {
    const uint8_t p = gstCoordPair.aubOrderIndex[k];
    if (!PairPresent(k) || p >= kCoordPointMax) continue;
    const int32_t dx = sc.auwQx[k] - gstCoordPair.auwDownSlotX[p];
    const int32_t dy = sc.auwQy[k] - gstCoordPair.auwDownSlotY[p];
    if (dx * dx + dy * dy > 15) {
      ResetRectTrim();
      return;
    }
  }
  gstCoordPair.ubStillTrimMark = 1;
}

}  // namespace

void PairPostMatchPhases() {
  CoordPairInput& in = PairIn();
  IsolatedRegrowth();
  JumpCheck();
  if (!TwoRegionRestart()) FinalConflict();
  PinchTracker();
  WaterRemoval();
  if (in.pswDiff != nullptr && in.pswPrevDiff != nullptr) {
    memcpy(in.pswPrevDiff, in.pswDiff, static_cast<size_t>(in.ubRows) * in.ubColumns * sizeof(int16_t));
  }
  gubHaveComplement = 0;
  SlotStates();
  UpdateGapCountdown();
  WeakAndGrownRegions();
  StillTrimMark();
}
