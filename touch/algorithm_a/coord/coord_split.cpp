// Split judgement of coordinate pairing: a slot of the last frame that this frame's regions
// pair with more than once holds either one finger cut into pieces (merged back) or a new
// finger beside an old one (released, or moved to another slot).
#include <cstring>

#include "coord_pair.h"

namespace {

bool OnBorder(RegionRect r) {
  const CoordPairInput& in = PairIn();
  return r.ubRowStart == 0 || r.ubColStart == 0 || r.ubRowEnd + 1u == in.ubRows || r.ubColEnd + 1u == in.ubColumns;
}

bool EdgesNear(RegionRect a, RegionRect b, int32_t lim) {
  return AbsI(a.ubRowStart - b.ubRowStart) <= lim && AbsI(a.ubRowEnd - b.ubRowEnd) <= lim &&
         AbsI(a.ubColStart - b.ubColStart) <= lim && AbsI(a.ubColEnd - b.ubColEnd) <= lim;
}

bool FindRecord(RegionRect r, FloatRegionRecord* pstRec) {
  const CoordPairInput& in = PairIn();
  return MatchFloatRegionRecord(in.ubRows, in.ubColumns, RegionRectWord(r), pstRec) != 0;
}

bool SteadyRecord(RegionRect r) {
  FloatRegionRecord rec{};
  return FindRecord(r, &rec) && rec.aubWork[0] != 0;
}

bool IsSteadyTrackRect(RegionRect r) {
  uint32_t rects[kRegionMax];
  GetSteadyTrackRects(rects, nullptr);
  for (uint32_t w : rects) {
    if (w != 0 && w == RegionRectWord(r)) return true;
  }
  return false;
}

// Steady-similarity bonus: the union of the pieces is where the slot's finger was, and the
// signal there barely changed since the last frame.
uint16_t SteadySimilarity(uint8_t s, RegionRect U) {
  const CoordPairInput& in = PairIn();
  const RegionRect L = gstCoordPair.astLastRect[s];
  if (gstCoordPair.aubSlotState[s] == 6 || IsSteadyTrackRect(L)) return 0;
  const int32_t tau = in.ubWideToleranceFlag != 0 ? 150 : 50;
  const int32_t lambda = in.ubWideToleranceFlag != 0 ? 300 : 250;
  if (AbsI(static_cast<int32_t>(RectH(U)) - static_cast<int32_t>(RectH(L))) >= 3 ||
      AbsI(static_cast<int32_t>(RectW(U)) - static_cast<int32_t>(RectW(L))) >= 3 || !EdgesNear(U, L, 2)) {
    return 0;
  }
  const RegionRect B = RectUnion(U, L);
  if (in.pswPrevDiff == nullptr || !RectValidOn(B, in.ubRows, in.ubColumns)) return 0;
  int16_t sv = 0, sp = 0;
  int32_t vmin = 32767;
  for (uint32_t y = B.ubRowStart; y <= B.ubRowEnd; ++y) {
    for (uint32_t x = B.ubColStart; x <= B.ubColEnd; ++x) {
      const int32_t v = in.pswDiff[y * in.ubColumns + x];
      const int32_t p = in.pswPrevDiff[y * in.ubColumns + x];
      if (AbsI(v - p) > tau) return 0;
      if (v >= 50 && p >= 50) {
        sv = static_cast<int16_t>(sv + v);
        sp = static_cast<int16_t>(sp + p);
      }
      if (v < vmin) vmin = v;
    }
  }
  if (in.ubFloatSwitch != 0 && vmin < -50) return 0;
  return AbsI(static_cast<int32_t>(sv) - sp) < lambda ? 550 : 0;
}

uint16_t FloatScore(uint8_t a, uint8_t b, RegionRect U, uint8_t c) {
  const CoordPairInput& in = PairIn();
  if (in.ubFloatSwitch == 0 || in.ubFloatSelf != 0 || gstCoordPair.ubPairCounter != 0 || gubWaterMoveFlag != 0) {
    return 0;
  }
  const bool many = in.ubLastReportCount >= 5 && in.ubRegionCount > 4;
  FloatRegionRecord rec{};
  if (!FindRecord(U, &rec) || rec.ubExclude != 0) return 0;
  const uint32_t O = CalcRectCoverSize(in.pstRect[a], in.pstRect[b]);
  const bool plain = (c == 0 && O == 0) || many;
  const uint32_t h = rec.ubBalanceExempt >> 4, l = rec.ubBalanceExempt & 0x0F;
  const int32_t gv = static_cast<int32_t>(RectH(U)) - static_cast<int32_t>(RectH(in.pstRect[a])) -
                     static_cast<int32_t>(RectH(in.pstRect[b]));
  const int32_t gc = static_cast<int32_t>(RectW(U)) - static_cast<int32_t>(RectW(in.pstRect[a])) -
                     static_cast<int32_t>(RectW(in.pstRect[b]));
  const bool aligned = (gv < 3 && gc < 1 && gv >= gc && h == 1) || (gc < 3 && gv < 1 && gv <= gc && l == 1);
  const uint32_t hl = h > l ? h : l;
  if (hl == 0) return 0;
  const uint32_t cap = plain ? 1 : 3;
  uint32_t F = (hl < cap ? hl : cap) * ((plain ? 100u : 160u) + (gubLastTwoBigRectSameColm != 0 ? 50u : 0u));
  if (!many && (gubLastTwoBigRectSameColm != 0 || (aligned && EdgesNear(U, rec.stRect, 1)))) F += 120;
  return static_cast<uint16_t>(F);
}

void MergeInto(uint8_t s, uint8_t a, uint8_t b, uint8_t w, uint8_t ubPos) {
  const CoordPairInput& in = PairIn();
  CoordPairScratch& sc = PairScratch();
  MergeRegions(a, b);
  gstCoordPair.aubOrderIndex[b] = kCoordNoSlot;
  sc.aubByDistance[ubPos] = kCoordNoSlot;
  CalcRegionCoord(a, in.pstRect[a]);
  if (a == w || b == w) gstCoordPair.uwSlotMask = static_cast<uint16_t>(gstCoordPair.uwSlotMask | (1u << s));
  if (sc.aubSlotRegionCount[s] > 0) --sc.aubSlotRegionCount[s];
  gstCoordPair.aubSlotFlag[s] = 1;
}

// Judges the pairs of slot S; true when a merge was made (the pair loop starts again).
bool JudgeSlotPairs(uint8_t s, uint8_t w, uint8_t FS2, uint16_t B) {
  const CoordPairInput& in = PairIn();
  CoordPairScratch& sc = PairScratch();
  const CoordPairStatics& st = gstCoordPairStatics;
  const uint16_t M = in.uwMergeDistance;
  const uint8_t m = sc.ubListCount;
  for (uint8_t i = 0; i < m; ++i) {
    for (uint8_t j = static_cast<uint8_t>(i + 1); j < m; ++j) {
      const uint8_t a = sc.aubByDistance[i], b = sc.aubByDistance[j];
      if (a == kCoordNoSlot || b == kCoordNoSlot || !PairPresent(a) || !PairPresent(b)) continue;
      if (!PiecesOfOneFinger(s, a, b)) continue;
      const RegionRect ra = in.pstRect[a], rb = in.pstRect[b];
      if (in.pubRegionEdge != nullptr &&
          ((in.pubRegionEdge[a] == 1 && OnBorder(ra)) || (in.pubRegionEdge[b] == 1 && OnBorder(rb)))) {
        continue;
      }
      if ((st.uwComplementState & 0xFF) == 1 &&
          (st.aubComplementPartner[a] == b || st.aubComplementPartner[b] == a)) {
        continue;
      }
      const RegionRect U = RectUnion(ra, rb);
      uint16_t T = static_cast<uint16_t>(M + B);
      uint8_t e = 0;
      bool boNetPair = false;
      if (in.ubSplitSwitch != 0) {
        if (JudgeSteadyTrackInRegion(a, b) != 0) continue;
        const uint8_t s0 = SplitPairTest(a, b, 0);
        uint8_t s1 = 0;
        if ((st.uwComplementState & 0xFF) == 2) {
          s1 = SplitPairTest(a, b, 1);
          if (s0 != 0 || s1 != 0) {
            T = static_cast<uint16_t>(T + 350);
          } else if (T >= 121) {
            T = static_cast<uint16_t>(T - 48);
          }
        }
        const RegionRect L = gstCoordPair.astLastRect[s];
        const uint32_t lmin = RectH(L) < RectW(L) ? RectH(L) : RectW(L);
        const uint32_t lmax = RectH(L) > RectW(L) ? RectH(L) : RectW(L);
        if ((st.uwComplementState & 0xFF) == 1 && s0 != 0 &&
            RectInside(U, RegionRectGrow(L, 1, in.ubRows, in.ubColumns)) && lmin >= 5 && lmax >= 6) {
          T = static_cast<uint16_t>(T + 350);
        }
        if (s0 != 0 || s1 != 0) {
          FloatRegionRecord rec{};
          e = (FindRecord(U, &rec) && (rec.ubBalanceExempt >> 4) != 0 && (rec.ubBalanceExempt & 0x0F) != 0) ? 1 : 0;
        }
        boNetPair = JudgeFloatPairByNet(a, b) != 0;
      }
      if (e == 0 && (SteadyRecord(ra) || SteadyRecord(rb))) continue;
      const RegionRect L = gstCoordPair.astLastRect[s];
      uint8_t c = 0;
      if (EdgesNear(U, L, 1)) {
        c = 1;
      } else if (RectInside(U, L)) {
        c = 2;
      } else if (gubLastTwoBigRectSameColm != 0) {
        FloatRegionRecord rec{};
        if (FindRecord(U, &rec) && RectInside(U, rec.stRect)) c = 2;
      }
      gubThumbStateErrId = 0;
      if (gstCoordPair.ubLargeCopperMark != 1) {
        const uint16_t F = boNetPair ? 0 : FloatScore(a, b, U, c);
        uint16_t R = ScoreFloatPairByRecord(a, b, c, 0);
        const uint16_t S = SteadySimilarity(s, U);
        if (R == 0) R = ScoreDiagonalPair(a, b);
        T = static_cast<uint16_t>(T + F + S + R);
      }
      if (in.ubSubRectSwitch != 0) {
        T = static_cast<uint16_t>(T + 100u * (JudgeSubRect(RegionRectWord(ra), RegionRectWord(rb)) & 0xFF));
      }
      if (T == M && c == 1 && in.ubFloatSwitch != 0) T = static_cast<uint16_t>(T + 32);
      uint16_t T2;
      if ((gstCoordRegionFlags.ubVote != 0 && in.ubVoteSwitch != 0) ||
          (gstCoordPair.ubLargeCopperMark == 1 && in.ubRegionCount == 3)) {
        T = 64;
        T2 = 100;
      } else {
        T2 = T > 100 ? T : 100;
      }
      const uint16_t used = in.ubWideToleranceFlag != 0 ? T2 : T;
      const uint16_t d = RegionSqDist(a, b);
      if ((FS2 == 0 && d < used) || (FS2 == 1 && d < M / 3)) {
        MergeInto(s, a, b, w, j);
        return true;
      }
    }
  }
  return false;
}

// Two regions left on one slot: when another occupied slot without a region lies near one
// of them, that region moves there (or the other one is released).
void ReassignPair(uint8_t s) {
  const CoordPairInput& in = PairIn();
  CoordPairScratch& sc = PairScratch();
  ResolveSlotRegion(s);
  if (sc.ubListCount != 2) return;
  const uint8_t r1 = sc.aubByIndex[0], r2 = sc.aubByIndex[1];
  const uint32_t D1 = sc.auwDist[r1], D2 = sc.auwDist[r2];
  uint32_t d1 = 65535, d2 = 65535;
  uint8_t j1 = kCoordNoSlot, j2 = kCoordNoSlot;
  for (uint8_t j = 0; j < kCoordPointMax; ++j) {
    if (j == s || gstCoordPair.auwLastRectMaxDiff[j] == 0 || gstCoordPair.aubExclusion[j] != 0 ||
        sc.aubSlotRegionCount[j] != 0) {
      continue;
    }
    const int32_t px = 2 * static_cast<int32_t>(gstCoordPair.auwSlotX[j]) - gstCoordPair.auwPrevSlotX[j];
    const int32_t py = 2 * static_cast<int32_t>(gstCoordPair.auwSlotY[j]) - gstCoordPair.auwPrevSlotY[j];
    auto sq = [&](uint8_t r) {
      const int32_t dx = sc.auwQx[r] - px, dy = sc.auwQy[r] - py;
      const uint32_t v = static_cast<uint32_t>(dx * dx) + static_cast<uint32_t>(dy * dy);
      return v > 0xFFFFu ? 0xFFFFu : v;
    };
    const uint32_t a = sq(r1), b = sq(r2);
    if (a < d1) {
      d1 = a;
      j1 = j;
    }
    if (b < d2) {
      d2 = b;
      j2 = j;
    }
  }
  const uint32_t near = in.uwReassignNear, far = in.uwReassignFar;
  if (d1 > 3 * near || d2 > 3 * near) return;
  auto release = [&](uint8_t r) {
    gstCoordPair.aubOrderIndex[r] = kCoordNoSlot;
    sc.auwDist[r] = 0xFFFF;
  };
  auto move = [&](uint8_t r, uint8_t j, uint32_t d) {
    gstCoordPair.aubOrderIndex[r] = j;
    sc.aubSlotRegionCount[j] = 1;
    sc.auwDist[r] = static_cast<uint16_t>(d);
  };
  if (D1 + d2 <= D2 + d1) {
    if (d2 >= near && D1 >= near && D2 <= far) {
      release(r1);
    } else {
      move(r2, j2, d2);
    }
  } else {
    if (d1 >= near && D2 >= near && D1 <= far) {
      release(r2);
    } else {
      move(r1, j1, d1);
    }
  }
  sc.aubSlotRegionCount[s] = 1;
}

void JudgeSlot(uint8_t s) {
  const CoordPairInput& in = PairIn();
  CoordPairScratch& sc = PairScratch();
  const uint8_t w = ResolveSlotRegion(s);
  const uint16_t dw = w < kCoordPointMax ? sc.auwDist[w] : 0xFFFF;
  const uint8_t FS2 = (in.ubFloatSelf != 0 && in.ubFloatSwitch == 0 && in.ubRegionCount == 2) ? 1 : 0;
  const uint16_t B = (in.ubMergeBonusFlag != 0 && in.ubFloatSwitch == 0 && in.ubLastReportCount == 1) ? 80 : 0;
  gubMaybeLargeCopper = 0;
  // Each merge removes a region, so the loop ends after at most eleven restarts.
  while (sc.aubSlotRegionCount[s] >= 2 && JudgeSlotPairs(s, w, FS2, B)) {
    if (sc.aubSlotRegionCount[s] < 2) break;
  }
  MergeCloseRegionsOfSlot(s);
  if (sc.aubSlotRegionCount[s] >= 2) {
    const uint32_t lim = static_cast<uint32_t>(dw) + in.uwReleaseMargin;
    for (uint8_t k = 0; k < PairRegions(); ++k) {
      if (gstCoordPair.aubOrderIndex[k] != s || sc.auwDist[k] <= lim) continue;
      gstCoordPair.aubOrderIndex[k] = kCoordNoSlot;
      if (sc.aubSlotRegionCount[s] > 0) --sc.aubSlotRegionCount[s];
    }
  }
  if (gstCoordPair.ubFreshStart != 1 && sc.aubSlotRegionCount[s] == 2) ReassignPair(s);
}

void DelayedNeighbourMerge() {
  const CoordPairInput& in = PairIn();
  CoordPairScratch& sc = PairScratch();
  const CoordPairStatics& st = gstCoordPairStatics;
  if (in.ubFloatSwitch == 0 || gstCoordPair.ubLargeCopperMark == 1 || (st.uwComplementState & 0xFF) != 0 ||
      gubRectTrimFlag != 0) {
    return;
  }
  for (uint8_t k = 0; k < kCoordPointMax; ++k) {
    const uint8_t p = gstCoordPair.aubOrderIndex[k];
    if (!PairPresent(k) || p >= kCoordPointMax || gstCoordPair.aubLeaveTouchTimer[p] < 16 || sc.aubSlotRegionCount[p] == 0) {
      continue;
    }
    for (uint8_t j = 0; j < kCoordPointMax; ++j) {
      const uint8_t q = gstCoordPair.aubOrderIndex[j];
      if (j == k || !PairPresent(j) || q >= kCoordPointMax || gstCoordPair.aubLeaveTouchTimer[q] == 0 ||
          sc.aubSlotRegionCount[q] == 0 || SteadyRecord(in.pstRect[j]) || !PiecesOfOneFinger(q, j, k)) {
        continue;
      }
      const RegionRect U = RectUnion(in.pstRect[k], in.pstRect[j]);
      uint8_t c = 0;
      FloatRegionRecord rec{};
      if (FindRecord(U, &rec)) {
        RegionRect box = gstCoordPair.astLastRect[q];
        for (uint8_t o = 0; o < kCoordPointMax; ++o) {
          if (o != q && gstCoordPair.auwLastRectMaxDiff[o] != 0 && RectInside(gstCoordPair.astLastRect[o], U)) {
            box = RectUnion(box, gstCoordPair.astLastRect[o]);
          }
        }
        c = RegionRectWord(box) == RegionRectWord(U) ? 1 : 0;
      }
      uint16_t S = ScoreFloatPairByRecord(k, j, c, gstCoordPair.aubLeaveTouchTimer[p]);
      if (S == 0) S = ScoreDiagonalPair(k, j);
      if (static_cast<uint16_t>(S + in.uwMergeDistance) > RegionSqDist(k, j)) {
        MergeRegions(j, k);
        if (sc.aubSlotRegionCount[p] > 0) --sc.aubSlotRegionCount[p];
        gstCoordPair.aubOrderIndex[k] = kCoordNoSlot;
        CalcRegionCoord(j, in.pstRect[j]);
        gstCoordPair.aubSlotFlag[q] = 1;
        break;
      }
    }
  }
}

void SteadyTrackRelease() {
  const CoordPairInput& in = PairIn();
  uint32_t rects[kRegionMax];
  const uint8_t nt = GetSteadyTrackRects(rects, nullptr);
  const uint8_t n = PairRegions();
  if (nt == 0 || nt == n || n == 0 || gubWaterUnionFlag != 0 || gubWaterLargeSta != 0) return;
  for (uint8_t r = 0; r < n; ++r) {
    if (!PairPresent(r) || gstCoordPair.aubOrderIndex[r] != kCoordNoSlot) continue;
    const RegionRect rr = in.pstRect[r];
    if (RectH(rr) > 2 && RectW(rr) > 2) continue;
    bool boSame = false;
    uint8_t cnt = 0;
    uint32_t t = 0;
    const RegionRect g = RegionRectGrow(rr, 1, in.ubRows, in.ubColumns);
    for (uint8_t i = 0; i < nt; ++i) {
      if (rects[i] == RegionRectWord(rr)) boSame = true;
      if (CalcRectCoverSize(RegionRectFromWord(rects[i]), g) != 0) {
        ++cnt;
        t = rects[i];
      }
    }
    if (boSame || cnt == 0) continue;
    if (cnt == 1) {
      uint8_t m = kCoordNoSlot;
      for (uint8_t k = 0; k < n; ++k) {
        if (RegionRectWord(in.pstRect[k]) == t) {
          m = k;
          break;
        }
      }
      if (m == kCoordNoSlot || gstCoordPair.aubOrderIndex[m] == kCoordNoSlot) continue;
      const uint16_t pos = in.puwPeakPos != nullptr ? in.puwPeakPos[r] : 0;
      const uint16_t node = static_cast<uint16_t>((pos >> 8) * in.ubColumns + (pos & 0xFF));
      if (JudgeValleyRectWeak(in.pswDiff, in.pswPrevDiff, RegionRectWord(rr), node,
                              static_cast<int8_t>(gstCoordPair.aubOrderIndex[m]), in.ubRows, in.ubColumns) != 0) {
        MergeRegions(m, r);
        ReleaseTrackSlotsByRect(t, in.ubRows, in.ubColumns);
      }
    } else {
      in.puwPeak[r] = 0;
      gstCoordPair.auwCurRectMaxDiff[r] = 0;
      ReleaseTrackSlotsByRect(t, in.ubRows, in.ubColumns);
    }
  }
}

// The largest blob one finger makes, in nodes: a thumb laid flat, along its length and
// across it. Two pieces spread wider than that are never one finger.
constexpr uint32_t kFingerLength = 9;
constexpr uint32_t kFingerWidth = 6;

// The signal at (Y, X), in sixteenths of a node (node n at 16 n), interpolated between the
// four nodes around it.
int32_t SignalBetweenNodes(const RegionGrid& g, int32_t y, int32_t x) {
  const int32_t y0 = y >> 4, x0 = x >> 4, fy = y & 15, fx = x & 15;
  const int32_t upper = (16 - fx) * g.At(y0, x0) + fx * g.At(y0, x0 + 1);
  const int32_t lower = (16 - fx) * g.At(y0 + 1, x0) + fx * g.At(y0 + 1, x0 + 1);
  return ((16 - fy) * upper + fy * lower) / 256;
}

// A region coordinate (512 a node, node n's centre at 512 n + 256) in sixteenths of a node
// from node 0.
int32_t Sixteenths(uint16_t uwCoord) { return uwCoord > 256 ? (uwCoord - 256) / 32 : 0; }

// Whether one finger made regions A and B: together they are no larger than a finger laid
// flat, and the signal on the line between their positions never falls more than a third
// below the weaker of their peaks. The region search cuts a blob wherever its profile dips
// at all. A thumb laid down, its maxima 2.5 to 3 nodes apart, dips by up to 15 % between
// them on the nodes, and by less than a quarter on that line as it lands, grows or slides;
// between two fingertips 3 nodes apart the signal falls by more than two fifths on it in
// any direction, so a third keeps a margin to both. The line runs between the regions'
// positions, not their peak nodes: a fingertip between nodes spreads its peak over two or
// four of them, and from node to node two fingertips 3 nodes apart on a diagonal may dip by
// only a fifth.
bool OneFingerMadeBoth(uint8_t a, uint8_t b) {
  const CoordPairInput& in = PairIn();
  const RegionRect U = RectUnion(in.pstRect[a], in.pstRect[b]);
  if (in.pswDiff == nullptr || in.puwPeak == nullptr || !RectValidOn(U, in.ubRows, in.ubColumns)) return false;
  const uint32_t h = RectH(U), w = RectW(U);
  if ((h > w ? h : w) > kFingerLength || (h < w ? h : w) > kFingerWidth) return false;
  const int32_t weaker = in.puwPeak[a] < in.puwPeak[b] ? in.puwPeak[a] : in.puwPeak[b];
  if (weaker <= 0) return false;
  const CoordPairScratch& sc = PairScratch();
  const int32_t ya = Sixteenths(sc.auwY[a]), xa = Sixteenths(sc.auwX[a]);
  const int32_t dy = Sixteenths(sc.auwY[b]) - ya, dx = Sixteenths(sc.auwX[b]) - xa;
  const int32_t steps = (AbsI(dy) > AbsI(dx) ? AbsI(dy) : AbsI(dx)) / 2 + 1;  // an eighth of a node each
  const RegionGrid g{in.pswDiff, in.ubRows, in.ubColumns};
  for (int32_t i = 0; i <= steps; ++i) {
    if (3 * SignalBetweenNodes(g, ya + dy * i / steps, xa + dx * i / steps) < 2 * weaker) return false;
  }
  return true;
}

}  // namespace

// Every merge of pairing joins two regions into one finger, so both must be pieces of one
// finger. They are when the blob itself says so (OneFingerMadeBoth), which holds on a fresh
// start, for a finger that grows by more than a node in one frame and for one that slides,
// as well as for a finger held. They are also when slot S held a finger in the last frame
// (a non-zero last peak and a last rectangle on the map) and their union is at most one node
// taller and one node wider than that finger's last rectangle: a finger cut apart by the
// region search (or sampled half a node further on) keeps its extent, however deep the cut.
// Two fingertips side by side are neither: a deep valley lies between them, and together
// they span more than the one fingertip a slot held.
bool PiecesOfOneFinger(uint8_t s, uint8_t a, uint8_t b) {
  if (OneFingerMadeBoth(a, b)) return true;
  const CoordPairInput& in = PairIn();
  if (s >= kCoordPointMax || gstCoordPair.auwLastRectMaxDiff[s] == 0) return false;
  const RegionRect L = gstCoordPair.astLastRect[s];
  if (!RectValidOn(L, in.ubRows, in.ubColumns)) return false;
  const RegionRect U = RectUnion(in.pstRect[a], in.pstRect[b]);
  return RectH(U) <= RectH(L) + 1 && RectW(U) <= RectW(L) + 1;
}

uint16_t ScoreFloatPairByRecord(uint8_t a, uint8_t b, uint8_t c, uint8_t t) {
  const CoordPairInput& in = PairIn();
  const RegionRect ra = in.pstRect[a], rb = in.pstRect[b];
  const RegionRect U = RectUnion(ra, rb);
  FloatRegionRecord rec{};
  if (!FindRecord(U, &rec)) return 0;
  const uint32_t La = RectH(ra) > RectW(ra) ? RectH(ra) : RectW(ra);
  const uint32_t Lb = RectH(rb) > RectW(rb) ? RectH(rb) : RectW(rb);
  if (JudgeEdgeNarrowRegion(a) != 0 && La >= 5 && La > Lb + 1) return 0;
  if (JudgeEdgeNarrowRegion(b) != 0 && Lb >= 5 && Lb > La + 1) return 0;
  uint8_t g = 0;
  if (gubRectTrimFlag != 0) {
    const bool aFirst = ra.ubRowStart <= rb.ubRowStart;
    const RegionRect P = aFirst ? ra : rb, Q = aFirst ? rb : ra;
    const RegionGrid grid{in.pswDiff, in.ubRows, in.ubColumns};
    if (P.ubRowStart != Q.ubRowStart && P.ubRowEnd + 1u < in.ubRows) {
      auto quiet = [&](int32_t c0, int32_t c1) {
        for (int32_t x = c0; x <= c1; ++x) {
          if (grid.In(P.ubRowEnd + 1, x) && grid.At(P.ubRowEnd + 1, x) >= 41) return false;
        }
        return true;
      };
      if (P.ubColStart > Q.ubColStart && AbsI(P.ubColEnd - Q.ubColEnd) < 3) {
        g = quiet(P.ubColStart - 1, P.ubColEnd) ? 1 : 0;
      } else if (P.ubColEnd < Q.ubColEnd && AbsI(P.ubColStart - Q.ubColStart) <= 2) {
        g = quiet(P.ubColStart, P.ubColEnd + 1) ? 1 : 0;
      }
    }
  }
  const uint8_t k4 = rec.ubClass, k5 = rec.ubShape, k6 = rec.ubRes6;
  if (k4 != 0) return static_cast<uint16_t>(200u * k4);
  if (t == 0 && k6 == 2) return 800;
  if (k5 < 2) {
    if (c != 0 && k5 == 1) return 150;
    return k6 == 1 ? 100 : 0;
  }
  if (k5 == 3 && g == 0) return 500;
  const uint32_t mn = RectH(U) < RectW(U) ? RectH(U) : RectW(U);
  const uint32_t mx = RectH(U) > RectW(U) ? RectH(U) : RectW(U);
  return (mn > 3 || mx >= 6) ? 150 : 100;
}

uint16_t ScoreDiagonalPair(uint8_t a, uint8_t b) {
  const CoordPairInput& in = PairIn();
  const RegionRect ra = in.pstRect[a], rb = in.pstRect[b];
  const RegionRect U = RectUnion(ra, rb);
  if (RectH(U) > 9 || RectW(U) > 9) return 0;
  if (ra.ubRowStart == rb.ubRowStart || ra.ubRowEnd == rb.ubRowEnd || ra.ubColStart == rb.ubColStart ||
      ra.ubColEnd == rb.ubColEnd) {
    return 0;
  }
  if (in.pswDiff == nullptr || !RectValidOn(U, in.ubRows, in.ubColumns)) return 0;
  const RegionGrid g{in.pswDiff, in.ubRows, in.ubColumns};
  auto inside = [](RegionRect r, int32_t y, int32_t x) {
    return y >= r.ubRowStart && y <= r.ubRowEnd && x >= r.ubColStart && x <= r.ubColEnd;
  };
  uint32_t dips = 0;
  for (int32_t y = U.ubRowStart; y <= U.ubRowEnd; ++y) {
    for (int32_t x = U.ubColStart; x <= U.ubColEnd; ++x) {
      if (inside(ra, y, x) || inside(rb, y, x)) continue;
      const int16_t v = g.At(y, x);
      if (v <= -200) {
        dips += 2;
      } else if (v <= -100) {
        dips += 1;
      }
    }
  }
  const CoordPairScratch& sc = PairScratch();
  const int32_t my = ((sc.auwQy[a] / 4) + (sc.auwQy[b] / 4)) / 2;
  const int32_t mx = ((sc.auwQx[a] / 4) + (sc.auwQx[b] / 4)) / 2;
  if (g.At(my, mx) < 120) return 0;
  const bool aUpper = ra.ubRowStart <= rb.ubRowStart;
  const RegionRect P = aUpper ? ra : rb, Q = aUpper ? rb : ra;
  int32_t ny[4], nx[4];
  if (P.ubColStart > Q.ubColStart) {
    ny[0] = P.ubRowEnd + 1; nx[0] = P.ubColStart;
    ny[1] = P.ubRowEnd;     nx[1] = P.ubColStart - 1;
    ny[2] = Q.ubRowStart - 1; nx[2] = Q.ubColEnd;
    ny[3] = Q.ubRowStart;   nx[3] = Q.ubColEnd + 1;
  } else {
    ny[0] = P.ubRowEnd;     nx[0] = P.ubColEnd + 1;
    ny[1] = P.ubRowEnd + 1; nx[1] = P.ubColEnd;
    ny[2] = Q.ubRowStart;   nx[2] = Q.ubColStart - 1;
    ny[3] = Q.ubRowStart - 1; nx[3] = Q.ubColStart;
  }
  const uint16_t base = dips != 0 ? 150 : 0;
  bool boAllStrong = true;
  for (int32_t i = 0; i < 4; ++i) {
    if (!g.In(ny[i], nx[i])) return base;
    if (AbsI(g.At(ny[i], nx[i])) < 120) boAllStrong = false;
  }
  return boAllStrong ? base : 0;
}

uint8_t SplitPairTest(uint8_t a, uint8_t b, uint8_t ubMode) {
  const CoordPairInput& in = PairIn();
  const CoordPairStatics& st = gstCoordPairStatics;
  const RegionRect ra = in.pstRect[a], rb = in.pstRect[b];
  const RegionRect U = RectUnion(ra, rb);
  const RegionRect G = RegionRectGrow(U, 1, in.ubRows, in.ubColumns);
  if (in.pswDiff == nullptr || in.pswPrevDiff == nullptr || !RectValidOn(G, in.ubRows, in.ubColumns)) return 0;
  auto sumChange = [&](RegionRect r, int32_t* pD) {
    int32_t sum = 0, drops = 0;
    for (uint32_t y = r.ubRowStart; y <= r.ubRowEnd; ++y) {
      for (uint32_t x = r.ubColStart; x <= r.ubColEnd; ++x) {
        const int32_t v = in.pswDiff[y * in.ubColumns + x], p = in.pswPrevDiff[y * in.ubColumns + x];
        sum += v - p;
        if (v + 50 < p) ++drops;
      }
    }
    if (pD != nullptr) *pD = drops;
    return sum;
  };
  if (ubMode == 0) {
    if (st.ubOccupiedCount == 0) return 0;
    RegionRect box{255, 0, 255, 0};
    uint8_t cnt = 0;
    for (uint8_t j = 0; j < st.ubOccupiedCount && j < kCoordPointMax; ++j) {
      const RegionRect L = gstCoordPair.astLastRect[j];
      if (gstCoordPair.auwLastRectMaxDiff[j] == 0 || !RectInside(L, G) || CalcRectCoverSize(L, rb) == 0) continue;
      ++cnt;
      box = RectUnion(box, L);
    }
    if (cnt == 0 || (cnt > 1 && (st.uwComplementState & 0xFF) != 1)) return 0;
    const int32_t hb = static_cast<int32_t>(RectH(box) + RectW(box)), hu = static_cast<int32_t>(RectH(U) + RectW(U));
    if (AbsI(hb - hu) > 3) return 0;
    int16_t C = 0;
    for (uint32_t y = G.ubRowStart; y <= G.ubRowEnd; ++y) {
      for (uint32_t x = G.ubColStart; x <= G.ubColEnd; ++x) {
        const int32_t d = AbsI(in.pswDiff[y * in.ubColumns + x] - in.pswPrevDiff[y * in.ubColumns + x]);
        if (d > 40) C = static_cast<int16_t>(C + d);
      }
    }
    return C < 201 ? 1 : 0;
  }
  if ((st.uwComplementState & 0xFF) != 2 || gstNetFloatInfo.ubFresh == 0) return 0;
  if (JudgeFloatPairByNet(a, b) != 0) return 0;
  const uint8_t N = gstNetFloatInfo.ubRectNum < kFloatComplementMax ? gstNetFloatInfo.ubRectNum : kFloatComplementMax;
  if (N == 0) return 1;
  auto assign = [&](RegionRect r) {
    uint8_t t = kCoordNoSlot;
    const uint32_t area = RectH(r) * RectW(r);
    for (uint8_t i = 0; i < N; ++i) {
      const RegionRect g = RegionRectGrow(gstNetFloatInfo.astRect[i], 1, in.ubRows, in.ubColumns);
      if (RectInside(r, g) || 5 * CalcRectCoverSize(r, g) > 3 * area) t = i;
    }
    return t;
  };
  const uint8_t ta = assign(ra), tb = assign(rb);
  if (ta == kCoordNoSlot || tb == kCoordNoSlot) return 0;
  if (ta == tb) return 1;
  const RegionRect A = gstNetFloatInfo.astRect[ta], Bt = gstNetFloatInfo.astRect[tb];
  const bool rowsMeet = (A.ubRowStart == Bt.ubRowStart || A.ubRowEnd == Bt.ubRowEnd) &&
                        ((A.ubColStart > Bt.ubColStart ? A.ubColStart : Bt.ubColStart) ==
                         (A.ubColEnd < Bt.ubColEnd ? A.ubColEnd : Bt.ubColEnd) + 1);
  const bool colsMeet = (A.ubColStart == Bt.ubColStart || A.ubColEnd == Bt.ubColEnd) &&
                        ((A.ubRowStart > Bt.ubRowStart ? A.ubRowStart : Bt.ubRowStart) ==
                         (A.ubRowEnd < Bt.ubRowEnd ? A.ubRowEnd : Bt.ubRowEnd) + 1);
  if (!rowsMeet && !colsMeet) return 0;
  int32_t da = 0, db = 0;
  const int32_t sa = sumChange(ra, &da), sb = sumChange(rb, &db);
  if (sa >= 1001 && sa > 2 * sb && da < 2) return 0;
  if (sb >= 1001 && 2 * sa < sb && db < 2) return 0;
  return (gubFloatAreaCnt > 3 || RectH(U) * RectW(U) > 20) ? 1 : 0;
}

void PairSplitJudge() {
  CoordPairScratch& sc = PairScratch();
  for (uint8_t s = 0; s < kCoordPointMax; ++s) {
    if (sc.aubSlotRegionCount[s] >= 2) JudgeSlot(s);
  }
  DelayedNeighbourMerge();
  SteadyTrackRelease();
  if (gstMutualFloatCfg[8] <= 99) ++gstMutualFloatCfg[8];
  if (gstCoordPair.ubFreshStart == 1) {
    gstCoordPair.uwSlotMask = 0;
    memset(gstCoordPair.aubOrderIndex, kCoordNoSlot, sizeof(gstCoordPair.aubOrderIndex));
    memset(sc.aubSlotRegionCount, 0, sizeof(sc.aubSlotRegionCount));
    gstCoordPair.ubFreshStart = 0;
  }
}
