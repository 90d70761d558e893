// Split judgement of coordinate pairing: a slot of the last frame that this frame's regions
// pair with more than once holds either one finger cut into pieces (merged back) or a new
// finger beside an old one (released, or moved to another slot).
#include <cmath>
#include <cstring>
#include <initializer_list>

#include "coord_pair.h"

namespace {

// How far apart (squared quarter nodes) two pieces of one finger may land away from a
// border: 3 nodes, past a thumb's lobes in the middle of the panel (2.5-3 nodes).
constexpr uint16_t kLandingReach = 144;

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
      // On a fresh start (no slot held a finger, every region on slot 0) pieces that the
      // blob says are one finger (PiecesOfOneFinger) also join within a finger's landing
      // reach, or anywhere along a border: a thumb pressing along one lands in pieces 2.75
      // nodes apart, farther than the merge distance.
      const bool boLanding = gstCoordPair.ubFreshStart == 1 && (d < kLandingReach || OnBorder(U));
      if ((FS2 == 0 && (d < used || boLanding)) || (FS2 == 1 && d < M / 3)) {
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

// Valleys are measured as log2 of (the lower of the two highs / the valley), in 1024ths of an
// octave: a dip of d below the lower high is -1024 log2(1 - d).
//
// One finger laid down (a thumb: two lobes 2 to 3.5 nodes apart, spread 0.75-1.2, the weaker
// 70-100 % of the stronger) must stay one point while its node profile dips by up to 20 %
// between its maxima. Two fingertips 3 nodes apart dip by 27-43 % between their peak nodes
// along a row or a column at a spread of 0.9 (the weaker at 65 % of the stronger: 27 %), by
// 21-30 % on a slant, which the reading across the nodes below lifts to 25 % and more. At a
// spread of 1.0 they dip by 0-30 %, at 1.1 by 0-20 %: there they give a thumb's signal, and
// the line stays where a thumb needs it. On a panel's frames (noise of 4 counts, the signal
// processing around a blob) a thumb's 19-20 % reads up to 23 % in some frames, and the
// fingertips' 27 % down to 24 %: 23.5 % splits the difference.
constexpr int32_t kOneFingerValley = 396;  // 23.5 %
// A dip read on a weak blob carries what a few counts do to it: the panel's noise on the
// valley and on the peak node, and what the signal processing leaves around a blob as it
// lands (a thumb pressing at 30 % of its signal, 185 counts, read a 15 % profile as 25 %).
// Below the 400 counts of a fingertip pressed, the line gives way by what 24 counts more
// would make of the lower peak node over what they make at 400: 7 % at 185 counts and 10 %
// at 150 (a thumb pressing along a border at 30 % of its signal read a 19.5 % profile as
// 29.5 % there), none at 400 and above, where two fingertips are told apart.
constexpr int32_t kNoiseCounts = 24;
constexpr int32_t kPressedCounts = 400;
// A slot that held one finger keeps its pieces together through somewhat deeper cuts, as
// long as they are one finger's size: a finger pressed unevenly, or a piece sampled half a
// node further on. A third is as deep as that goes: two fingertips that were one point
// part by 3.4 nodes apart at a spread of 1.0 and by 3.6 at 1.1 (a valley of 45 % still
// joined a fingertip landing 3.5 nodes from a held one on a diagonal, 57 % deep between
// their centres, read 45 % between their peak nodes).
constexpr int32_t kHeldFingerValley = 599;  // a third
// The valley up to which a slot keeps pieces it has kept as one in at least kSettledJoinRun
// frames in a row (see HeldFingerKeepsBoth).
constexpr int32_t kSettledHeldValley = 1024;  // a half
constexpr uint8_t kSettledJoinRun = 5;

// log2(1 + i / 16) in 1024ths.
constexpr int32_t kLog2Sixteenths[17] = {0, 90, 174, 254, 330, 402, 470, 536, 599, 659, 717, 773, 827, 879, 929, 977, 1024};

// log2 V in 1024ths (V below 1 counts as 1): the octave from the top bit, the rest from the
// table, interpolated between its sixteenths.
int32_t Log2Of(int32_t v) {
  if (v <= 1) return 0;
  int32_t k = 0;
  while ((v >> (k + 1)) != 0) ++k;
  // The mantissa above 1 in 4096ths: sixteenths and what lies between them.
  const int32_t m = k >= 12 ? (v >> (k - 12)) - 4096 : (v << (12 - k)) - 4096;
  const int32_t i = m >> 8, f = m & 255;
  return 1024 * k + kLog2Sixteenths[i] + ((kLog2Sixteenths[i + 1] - kLog2Sixteenths[i]) * f >> 8);
}

// The signal at (Y, X), in sixteenths of a node (node n at 16 n), interpolated between the
// four nodes around it.
int32_t SignalBetweenNodes(const RegionGrid& g, int32_t y, int32_t x) {
  const int32_t y0 = y >> 4, x0 = x >> 4, fy = y & 15, fx = x & 15;
  const int32_t upper = (16 - fx) * g.At(y0, x0) + fx * g.At(y0, x0 + 1);
  const int32_t lower = (16 - fx) * g.At(y0 + 1, x0) + fx * g.At(y0 + 1, x0 + 1);
  return ((16 - fy) * upper + fy * lower) / 256;
}

// Node (Y, X) on the panel: beyond a border the panel is mirrored about its outermost line.
void MirrorOnto(const RegionGrid& g, int32_t* pY, int32_t* pX) {
  const int32_t ly = g.ubRows - 1, lx = g.ubCols - 1;
  int32_t y = *pY, x = *pX;
  if (y < 0) y = -y;
  if (y > ly) y = 2 * ly - y;
  if (x < 0) x = -x;
  if (x > lx) x = 2 * lx - x;
  *pY = y < 0 ? 0 : (y > ly ? ly : y);
  *pX = x < 0 ? 0 : (x > lx ? lx : x);
}



// The node where region K peaks, in sixteenths of a node (row, column): its highest node on
// the map. The recorded peak position is not read: a steady slot that the region search
// puts back comes with its rectangle's centre there, which on a finger that has started to
// slide is its trailing flank.
void PeakNode(uint8_t k, int32_t* pY, int32_t* pX) {
  const CoordPairInput& in = PairIn();
  const RegionRect r = in.pstRect[k];
  int32_t best = -32768, by = -1, bx = -1;
  if (in.pswDiff != nullptr && RectValidOn(r, in.ubRows, in.ubColumns)) {
    for (int32_t y = r.ubRowStart; y <= r.ubRowEnd; ++y) {
      for (int32_t x = r.ubColStart; x <= r.ubColEnd; ++x) {
        const size_t i = static_cast<size_t>(y) * in.ubColumns + static_cast<size_t>(x);
        if (in.pubLabelMap != nullptr && in.pubLabelMap[i] != k) continue;
        if (in.pswDiff[i] > best) best = in.pswDiff[i], by = y, bx = x;
      }
    }
  }
  if (by >= 0) {
    *pY = 16 * by;
    *pX = 16 * bx;
    return;
  }
  const CoordPairScratch& sc = PairScratch();
  *pY = 16 * (sc.auwY[k] / 512);
  *pX = 16 * (sc.auwX[k] / 512);
  if (*pY > 16 * (in.ubRows - 1)) *pY = 16 * (in.ubRows - 1);
  if (*pX > 16 * (in.ubColumns - 1)) *pX = 16 * (in.ubColumns - 1);
}

// Whether a piece's highest node (Y, X in sixteenths) has a higher node beside it on the
// map: then the piece is a flank of a blob whose top lies outside it, with no top of its
// own. The region search grows every region from a node no neighbour exceeds, so this is a
// region put back from a steady slot that the finger has left, or has started to leave.
bool FlankOnly(int32_t y, int32_t x) {
  const CoordPairInput& in = PairIn();
  if (in.pswDiff == nullptr) return false;
  y >>= 4, x >>= 4;
  const int32_t v = in.pswDiff[static_cast<size_t>(y) * in.ubColumns + static_cast<size_t>(x)];
  for (int32_t dy = -1; dy <= 1; ++dy) {
    for (int32_t dx = -1; dx <= 1; ++dx) {
      const int32_t ny = y + dy, nx = x + dx;
      if ((dy == 0 && dx == 0) || ny < 0 || nx < 0 || ny >= in.ubRows || nx >= in.ubColumns) continue;
      if (in.pswDiff[static_cast<size_t>(ny) * in.ubColumns + static_cast<size_t>(nx)] > v) return true;
    }
  }
  return false;
}

// The valley between the peak nodes (YA, XA) and (YB, XB) of regions A and B read along
// their ridge: the highest level at which a path of neighbouring nodes (diagonal steps
// too) within the two pieces' union joins them, against ENDS, in log2 1024ths.
int32_t RidgeValley(uint8_t a, uint8_t b, int32_t ya, int32_t xa, int32_t yb, int32_t xb, int32_t ends) {
  const CoordPairInput& in = PairIn();
  const RegionRect U = RectUnion(in.pstRect[a], in.pstRect[b]);
  const int32_t h = static_cast<int32_t>(RectH(U)), w = static_cast<int32_t>(RectW(U));
  if (h > 16 || w > 16) return -1;
  int32_t level[16][16];
  for (auto& row : level)
    for (int32_t& v : row) v = -1;
  const RegionGrid g{in.pswDiff, in.ubRows, in.ubColumns};
  level[ya - U.ubRowStart][xa - U.ubColStart] = g.At(ya, xa);
  // Relaxed until nothing rises: at most h * w rounds, each raising one node at least.
  for (bool changed = true; changed;) {
    changed = false;
    for (int32_t y = 0; y < h; ++y) {
      for (int32_t x = 0; x < w; ++x) {
        const int32_t v = g.At(U.ubRowStart + y, U.ubColStart + x);
        int32_t best = level[y][x];
        for (int32_t dy = -1; dy <= 1; ++dy)
          for (int32_t dx = -1; dx <= 1; ++dx) {
            const int32_t ny = y + dy, nx = x + dx;
            if (ny < 0 || nx < 0 || ny >= h || nx >= w || level[ny][nx] < 0) continue;
            const int32_t l = level[ny][nx] < v ? level[ny][nx] : v;
            if (l > best) best = l;
          }
        if (best > level[y][x]) level[y][x] = best, changed = true;
      }
    }
  }
  const int32_t low = level[yb - U.ubRowStart][xb - U.ubColStart];
  if (low <= 0) return -1;
  return low >= ends ? 0 : Log2Of(ends) - Log2Of(low);
}

// The valley between regions A and B (log2 of the lower high over the valley, in 1024ths;
// negative when there is no signal to read). It is read on the line from one peak node to
// the other, against those two nodes: the line's own ends. Along a row or a column that is
// the node profile down the finger's ridge, also where a border cuts the blob (the cut pulls
// the pieces' positions off the ridge, 5/16 of a node on column 0, while the peak nodes stay
// on it). On a slant, where no node lies on the line between them, it is read along the
// ridge of nodes that joins them (RidgeValley): a line between nodes averages the ridge with
// the nodes beside it, and on a finger narrower across than along reads a valley twice as
// deep as its nodes show.
int32_t ValleyBetween(uint8_t a, uint8_t b, int32_t* pEnds = nullptr) {
  const CoordPairInput& in = PairIn();
  if (in.pswDiff == nullptr || in.ubRows == 0 || in.ubColumns == 0) return -1;
  const RegionGrid g{in.pswDiff, in.ubRows, in.ubColumns};
  int32_t ya, xa, yb, xb;
  PeakNode(a, &ya, &xa);
  PeakNode(b, &yb, &xb);
  const int32_t va = g.At(ya >> 4, xa >> 4), vb = g.At(yb >> 4, xb >> 4);
  const int32_t ends = va < vb ? va : vb;
  if (ends <= 0) return -1;
  if (pEnds != nullptr) *pEnds = ends;
  const int32_t ly = yb - ya, lx = xb - xa;
  const int32_t len = AbsI(ly) > AbsI(lx) ? AbsI(ly) : AbsI(lx);
  if (len == 0) return 0;
  if (AbsI(ly) >= 32 && AbsI(lx) >= 32) return RidgeValley(a, b, ya >> 4, xa >> 4, yb >> 4, xb >> 4, ends);
  const int32_t steps = len / 2 > 0 ? len / 2 : 1;  // an eighth of a node each
  int32_t low = ends;
  for (int32_t i = 0; i <= steps; ++i) {
    const int32_t v = SignalBetweenNodes(g, ya + ly * i / steps, xa + lx * i / steps);
    if (v < low) low = v;
  }
  return Log2Of(ends) - Log2Of(low);
}

// A fingertip's signal as a Gaussian: its height, its centre (row, column) and the bend of
// its log along the rows and the columns (ln f = ln height + bend * distance^2).
struct Top {
  double lnHeight, y, x, bendY, bendX;
  double At(int32_t ny, int32_t nx) const {
    return std::exp(lnHeight + bendY * (ny - y) * (ny - y) + bendX * (nx - x) * (nx - x));
  }
};

// The signal on node (Y, X) less what OTHER makes there, at least 1; mirrored beyond a
// border, as OTHER is.
double NodeLess(const RegionGrid& g, int32_t y, int32_t x, const Top* other) {
  MirrorOnto(g, &y, &x);
  const double v = g.At(y, x) - (other != nullptr ? other->At(y, x) : 0.0);
  return v > 1.0 ? v : 1.0;
}

// The Gaussian through the log of node (Y, X) and of its four neighbours, less what OTHER
// makes on them: a quadratic along the rows and one along the columns, whose tops give the
// fingertip's height wherever it lies between the nodes. Taking the other fingertip's
// flank off first keeps it from lifting the near neighbour, which reads a weaker fingertip
// beside a stronger one a tenth too high on a slant.
Top FitTop(const RegionGrid& g, int32_t y, int32_t x, const Top* other) {
  const double l0 = std::log(NodeLess(g, y, x, other));
  Top t{l0, static_cast<double>(y), static_cast<double>(x), 0, 0};
  auto axis = [&](double before, double after, double* pCentre, double* pBend) {
    const double bend = (before + after - 2 * l0) / 2, slope = (after - before) / 2;
    *pBend = bend < -0.05 ? bend : -0.05;
    double shift = -slope / (2 * *pBend);
    shift = shift < -0.75 ? -0.75 : (shift > 0.75 ? 0.75 : shift);
    *pCentre += shift;
    // A top half a node off lifts its node by a third at most (a spread of 0.6).
    const double lift = -*pBend * shift * shift;
    t.lnHeight += lift < 0.35 ? lift : 0.35;
  };
  axis(std::log(NodeLess(g, y - 1, x, other)), std::log(NodeLess(g, y + 1, x, other)), &t.y, &t.bendY);
  axis(std::log(NodeLess(g, y, x - 1, other)), std::log(NodeLess(g, y, x + 1, other)), &t.x, &t.bendX);
  return t;
}

// The same on the node around (Y, X) where most is left once OTHER is taken off. A region
// ends where its profile turns, so its peak node can be the one on the flank toward the
// other fingertip, lifted by it; a fit there leans on the node where the other's flank is
// steepest.
Top FitTopNear(const RegionGrid& g, int32_t y, int32_t x, const Top* other) {
  int32_t by = y, bx = x;
  double best = 0;
  for (int32_t dy = -1; dy <= 1; ++dy) {
    for (int32_t dx = -1; dx <= 1; ++dx) {
      if (!g.In(y + dy, x + dx)) continue;
      const double v = NodeLess(g, y + dy, x + dx, other);
      if (v > best) best = v, by = y + dy, bx = x + dx;
    }
  }
  return FitTop(g, by, bx, other);
}

// Read with the other's flank taken off, the two tops of one finger laid down (a thumb:
// lobes 2 to 3.5 nodes apart, spread 0.75-1.2, the weaker 70-100 % of the stronger) stand
// at 70 % of each other or closer. A fingertip pressed beside another at 64 % of its
// strength reads about 65 % from 2.5 nodes apart on, where at a spread of 1.0 and more its
// node profile dips no deeper than a thumb's: the valley cannot tell them apart, the tops
// can. Below 68 % the weaker top is a fingertip of its own.
constexpr int32_t kOneFingerShare = -570;  // log2(0.68)
// A lobe growing out of a held finger passes below that share on its way up: it stands
// under 45 % of the other top in its first frame, and in the frames after it has grown from
// a quarter to two thirds of what it is now. A fingertip landing beside a held one has no
// signal on its node the frame before, and pressing, sliding or passing keeps its share.
constexpr int32_t kGrowingShare = -1180;  // log2(0.45)

// A pair a slot held as one finger in the last frame splits only on a clearly lower share:
// under noise of 4-8 counts a thumb at the table's 70 % edge reads 0.67-0.76 frame by frame,
// and two fingertips pressing 68-80 % of each other sit on the line as they press.
constexpr int32_t kHeldSplitShare = -755;  // log2(0.60)

// Whether regions A and B are two fingertips by their tops: the weaker stands below 68 % of
// the stronger (below 60 % for pieces of a finger slot S held, both tops there the frame
// before), is a top of its own (no higher node of the other piece beside it), and is not a
// lobe still growing.
bool TopsOfTwoFingertips(uint8_t s, uint8_t a, uint8_t b) {
  const CoordPairInput& in = PairIn();
  if (in.pswDiff == nullptr || in.ubRows == 0 || in.ubColumns == 0) return false;
  const RegionGrid g{in.pswDiff, in.ubRows, in.ubColumns};
  int32_t ya, xa, yb, xb;
  PeakNode(a, &ya, &xa);
  PeakNode(b, &yb, &xb);
  if (FlankOnly(ya, xa) || FlankOnly(yb, xb)) return false;
  ya >>= 4, xa >>= 4, yb >>= 4, xb >>= 4;
  if (g.At(ya, xa) <= 0 || g.At(yb, xb) <= 0) return false;
  // A top on the panel's outermost line may lie beyond it, where its height cannot be read:
  // there the valley alone decides.
  auto outermost = [&](int32_t y, int32_t x) { return y == 0 || x == 0 || y == g.ubRows - 1 || x == g.ubCols - 1; };
  if (outermost(ya, xa) || outermost(yb, xb)) return false;
  // Each top is read with the other's flank taken off, two ways: both read again from the
  // other's last reading, twice over, and the weaker read from the stronger's latest, the
  // stronger from the weaker's, four times over. Where the tops stand close, one way or the
  // other can lean the flank of one on the other's node; the higher share counts.
  const Top fa = FitTop(g, ya, xa, nullptr), fb = FitTop(g, yb, xb, nullptr);
  Top ta = fa, tb = fb;
  for (int32_t round = 0; round < 2; ++round) {
    const Top na = FitTopNear(g, ya, xa, &tb), nb = FitTopNear(g, yb, xb, &ta);
    ta = na, tb = nb;
  }
  Top sa = fa, sb = fb;
  Top* strong = fa.lnHeight >= fb.lnHeight ? &sa : &sb;
  Top* weak = strong == &sa ? &sb : &sa;
  const int32_t ys = strong == &sa ? ya : yb, xs = strong == &sa ? xa : xb;
  const int32_t yw = strong == &sa ? yb : ya, xw = strong == &sa ? xb : xa;
  for (int32_t round = 0; round < 4; ++round) {
    *weak = FitTopNear(g, yw, xw, strong);
    *strong = FitTopNear(g, ys, xs, weak);
  }
  *weak = FitTopNear(g, yw, xw, strong);
  const double apart = std::fabs(ta.lnHeight - tb.lnHeight), apart2 = std::fabs(sa.lnHeight - sb.lnHeight);
  // Which is the weaker by the reading that counts; in log2 1024ths, as the valleys are.
  const bool first = apart <= apart2;
  const bool aWeaker = first ? ta.lnHeight < tb.lnHeight : sa.lnHeight < sb.lnHeight;
  const int32_t share = static_cast<int32_t>(-1477.3 * (first ? apart : apart2));
  if (share >= kOneFingerShare) return false;
  if (in.pswPrevDiff != nullptr) {
    const int32_t at = aWeaker ? ya * in.ubColumns + xa : yb * in.ubColumns + xb;
    const int32_t now = in.pswDiff[at], before = in.pswPrevDiff[at];
    const bool rising = 3 * before <= 2 * now;
    if (rising && (4 * before >= now || share < kGrowingShare)) return false;
    const int32_t other = aWeaker ? yb * in.ubColumns + xb : ya * in.ubColumns + xa;
    const bool steady = !rising && 3 * in.pswPrevDiff[other] > 2 * in.pswDiff[other];
    if (steady && s < kCoordPointMax && gstCoordPair.auwLastRectMaxDiff[s] != 0 && share >= kHeldSplitShare) {
      return false;
    }
  }
  return true;
}

// Whether a union of pieces is no larger than a finger laid flat.
bool FingerSized(RegionRect U) {
  const uint32_t h = RectH(U), w = RectW(U);
  return (h > w ? h : w) <= kFingerLength && (h < w ? h : w) <= kFingerWidth;
}

// Whether one finger made regions A and B: together they are no larger than a finger laid
// flat, and the signal between their peaks falls by at most 23.5 % (a little more on a weak
// blob). The region search cuts a blob wherever its profile dips at all, so a thumb laid
// down comes in pieces as it lands, grows or slides.
bool OneFingerMadeBoth(uint8_t a, uint8_t b) {
  const CoordPairInput& in = PairIn();
  const RegionRect U = RectUnion(in.pstRect[a], in.pstRect[b]);
  if (in.pswDiff == nullptr || in.puwPeak == nullptr || !RectValidOn(U, in.ubRows, in.ubColumns)) return false;
  if (!FingerSized(U) || in.puwPeak[a] == 0 || in.puwPeak[b] == 0) return false;
  int32_t ends = 0;
  const int32_t depth = ValleyBetween(a, b, &ends);
  if (depth < 0) return false;
  // 1477 log2 units (1024 / ln 2) per share of the peak node.
  const int32_t give = ends >= kPressedCounts ? 0 : 1477 * kNoiseCounts * (kPressedCounts - ends) /
                                                       ((ends > 1 ? ends : 1) * kPressedCounts);
  return depth <= kOneFingerValley + give;
}

// Whether region K is a steady slot's rectangle put back by the region search with no top
// of its own on the map (its highest node has a higher one beside it, or no signal): the
// finger it remembers has slid on, and the piece is that finger's trailing flank.
bool RememberedFlank(uint8_t k) {
  const CoordPairInput& in = PairIn();
  if (in.pswDiff == nullptr || !IsSteadyTrackRect(in.pstRect[k])) return false;
  int32_t y, x;
  PeakNode(k, &y, &x);
  return in.pswDiff[static_cast<size_t>(y >> 4) * in.ubColumns + static_cast<size_t>(x >> 4)] <= 0 || FlankOnly(y, x);
}

// The held-finger way: slot S held one finger, and pieces A and B fit its last rectangle.
bool HeldFingerKeepsBoth(uint8_t s, uint8_t a, uint8_t b) {
  const CoordPairInput& in = PairIn();
  if (s >= kCoordPointMax || gstCoordPair.auwLastRectMaxDiff[s] == 0) return false;
  const RegionRect L = gstCoordPair.astLastRect[s];
  if (!RectValidOn(L, in.ubRows, in.ubColumns)) return false;
  const RegionRect U = RectUnion(in.pstRect[a], in.pstRect[b]);
  if (RectH(U) > RectH(L) + 1 || RectW(U) > RectW(L) + 1 || !FingerSized(U)) return false;
  // A top with at most a quarter of its signal the frame before is a fingertip landing, not
  // a piece of the finger the slot held: the blob alone judges it.
  if (in.pswPrevDiff != nullptr) {
    for (uint8_t k : {a, b}) {
      int32_t y, x;
      PeakNode(k, &y, &x);
      const size_t at = static_cast<size_t>(y >> 4) * in.ubColumns + static_cast<size_t>(x >> 4);
      if (4 * in.pswPrevDiff[at] <= in.pswDiff[at]) return false;
    }
  }
  const int32_t depth = ValleyBetween(a, b);
  // Pieces the slot has kept as one for a while, in a union no larger than before (the
  // finger stays or slides, it does not spread), stay one up to a valley of a half: on a
  // slant the ridge between the pieces reads from a tenth to over a third from frame to
  // frame as the finger crosses the nodes, and a line of its own would make the count
  // flicker. A pair newly found, or spreading, is held to the third.
  const CoordPairStatics& st = gstCoordPairStatics;
  const bool settled = st.aubJoinRun[s] >= kSettledJoinRun && st.ulFrame - st.aulJoinFrame[s] <= 2;
  const bool sameSize = RectH(U) <= RectH(L) && RectW(U) <= RectW(L);
  return depth >= 0 && depth <= (settled && sameSize ? kSettledHeldValley : kHeldFingerValley);
}

}  // namespace

// Every merge of pairing joins two regions into one finger, so both must be pieces of one
// finger. They are when the blob itself says so (OneFingerMadeBoth), which holds on a fresh
// start, for a finger that grows by more than a node in one frame and for one that slides,
// as well as for a finger held. They are also when slot S held a finger in the last frame
// (a non-zero last peak and a last rectangle on the map), their union is at most one node
// taller and one node wider than that finger's last rectangle and no larger than a finger
// laid flat, and the valley between them is no deeper than a third. Without the valley two
// fingertips spreading apart by up to a node a frame stayed one point (each frame's union
// fits the last one's), and a second fingertip landing 3.5-4 nodes from a held one on a
// diagonal fitted the held one's rectangle despite a valley of 89 %. Neither way holds when
// the pieces' tops say two fingertips (TopsOfTwoFingertips): a weaker one pressed at 64 %
// of the other, 3 nodes from it at a spread of 1.0, dips no deeper than a thumb.
bool PiecesOfOneFinger(uint8_t s, uint8_t a, uint8_t b) {
  // A steady slot's rectangle put back beside a piece with no top of its own: that piece is
  // the slot's finger's leading flank as it starts to slide (the search found it outside
  // the rectangle, whose nodes it was not given).
  const CoordPairInput& in = PairIn();
  if (IsSteadyTrackRect(in.pstRect[a]) != IsSteadyTrackRect(in.pstRect[b])) {
    const uint8_t piece = IsSteadyTrackRect(in.pstRect[a]) ? b : a;
    int32_t y, x;
    PeakNode(piece, &y, &x);
    if (FlankOnly(y, x)) return true;
  }
  // The tops are read last: the fit is the dearest test, and most pairs are settled before.
  if (!OneFingerMadeBoth(a, b) && !HeldFingerKeepsBoth(s, a, b)) return false;
  if (TopsOfTwoFingertips(s, a, b)) return false;
  if (s < kCoordPointMax) {
    CoordPairStatics& st = gstCoordPairStatics;
    const uint32_t since = st.ulFrame - st.aulJoinFrame[s];
    if (since != 0) {
      st.aubJoinRun[s] = since <= 2 && st.aubJoinRun[s] < 255 ? static_cast<uint8_t>(st.aubJoinRun[s] + 1) : 1;
      st.aulJoinFrame[s] = st.ulFrame;
    }
  }
  return true;
}

void DropRememberedFlanks() {
  const CoordPairInput& in = PairIn();
  const uint8_t n = PairRegions();
  for (uint8_t k = 0; k < n; ++k) {
    if (!PairPresent(k) || !RememberedFlank(k)) continue;
    const RegionRect g = RegionRectGrow(in.pstRect[k], 1, in.ubRows, in.ubColumns);
    for (uint8_t j = 0; j < n; ++j) {
      if (j == k || !PairPresent(j) || IsSteadyTrackRect(in.pstRect[j]) || !RectOverlap(g, in.pstRect[j])) continue;
      in.puwPeak[k] = 0;
      gstCoordPair.auwCurRectMaxDiff[k] = 0;
      break;
    }
  }
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
