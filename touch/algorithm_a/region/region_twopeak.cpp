// Two-peak judgement of the region search: whether a compact touch area that the search
// found as one region holds two fingers lying close together. Two confirmed frames in a
// row turn the two-peak state on, and from then on a lone region is split on every frame
// until the area collapses or the judgement resets.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "region_lib.h"
#include "region_proc.h"

RegionTwoPeakStateRec gstRegionTwoPeak;
RegionRect RegionTwoPeakPrevRect;
uint16_t guwNotMuchOutCnt;

namespace {

constexpr int16_t kNoAngle = 400;

void PartialReset(RegionAcquireInput& in) {
  in.ubTwoPeakState = 0;
  memset(&gstRegionTwoPeak, 0, sizeof(gstRegionTwoPeak));
  RegionTwoPeakSpan = 0;
  RegionTwoPeakAngle = 0;
  RegionTwoPeakStrongCount = 0;
  RegionTwoPeakLastAngle = kNoAngle;
}

void FullReset(RegionAcquireInput& in) {
  PartialReset(in);
  RegionTwoPeakPrevRect = RegionRectFromWord(kRegionRectNone);
  guwNotMuchOutCnt = 0;
}

int32_t Height(RegionRect r) { return r.ubRowEnd - r.ubRowStart + 1; }
int32_t Width(RegionRect r) { return r.ubColEnd - r.ubColStart + 1; }

RegionGrid Grid(const RegionAcquireInput& in) { return RegionGrid{in.pswDiff, in.ubRowNum, in.ubColNum}; }

// Sum over B of the values at or above FLOOR, in 16 bits.
uint16_t SumFrom(const RegionGrid& g, RegionRect B, int32_t siFloor) {
  uint16_t s = 0;
  for (int32_t r = B.ubRowStart; r <= B.ubRowEnd; ++r)
    for (int32_t c = B.ubColStart; c <= B.ubColEnd; ++c)
      if (g.At(r, c) >= siFloor) s = static_cast<uint16_t>(s + g.At(r, c));
  return s;
}

uint16_t CountAbove(const RegionGrid& g, RegionRect B, int32_t siLevel) {
  uint16_t n = 0;
  for (int32_t r = B.ubRowStart; r <= B.ubRowEnd; ++r)
    for (int32_t c = B.ubColStart; c <= B.ubColEnd; ++c) n = static_cast<uint16_t>(n + (g.At(r, c) > siLevel));
  return n;
}

// Strict local maxima of B: every neighbour on the grid lies more than 10 below. A
// neighbour beyond the grid's border is no competitor.
uint8_t CountPeaks(const RegionGrid& g, RegionRect B) {
  uint8_t n = 0;
  for (int32_t r = B.ubRowStart; r <= B.ubRowEnd; ++r) {
    for (int32_t c = B.ubColStart; c <= B.ubColEnd; ++c) {
      const int32_t v = g.At(r, c);
      bool boPeak = true;
      for (int32_t dr = -1; dr <= 1 && boPeak; ++dr)
        for (int32_t dc = -1; dc <= 1 && boPeak; ++dc)
          if ((dr != 0 || dc != 0) && g.In(r + dr, c + dc)) boPeak = g.At(r + dr, c + dc) + 10 < v;
      n = static_cast<uint8_t>(n + (boPeak ? 1 : 0));
    }
  }
  return n;
}

}  // namespace

bool TwoPeakDipScan(const RegionAcquireInput& in, RegionRect B, int16_t swDepth) {
  const RegionGrid g = Grid(in);
  const int32_t h = Height(B);
  const int32_t w = Width(B);
  const int32_t m = swDepth == 0 ? 20 : 30;
  const bool boCornersWeak = g.At(B.ubRowStart, B.ubColStart) < 40 && g.At(B.ubRowStart, B.ubColEnd) < 40 &&
                             g.At(B.ubRowEnd, B.ubColStart) < 40 && g.At(B.ubRowEnd, B.ubColEnd) < 40;
  if (boCornersWeak) return false;
  // One scan: ALONG runs along the long side (columns when ROWS is false), the two side
  // lines are FIRST and LAST across it. Nodes are read through the grid accessor.
  auto scan = [&](bool boRows) {
    const int32_t lo = boRows ? B.ubRowStart : B.ubColStart;
    const int32_t hi = boRows ? B.ubRowEnd : B.ubColEnd;
    const int32_t len = hi - lo + 1;
    const int32_t first = boRows ? B.ubColStart : B.ubRowStart;
    const int32_t last = boRows ? B.ubColEnd : B.ubRowEnd;
    const int32_t extent = boRows ? g.ubRows : g.ubCols;
    auto at = [&](int32_t side, int32_t k) { return boRows ? g.At(k, side) : g.At(side, k); };
    int32_t from = lo + 1;
    int32_t to = hi - 1;
    if (len >= 6) {
      ++from;
      --to;
    }
    for (int32_t k = from; k <= to; ++k) {
      auto isDip = [&](int32_t side) {
        const int32_t x = at(side, k), l = at(side, k - 1), r = at(side, k + 1);
        return x < l && r >= 51 && r > x && l >= 51 && l + r > 2 * x + 60;
      };
      int32_t xSide;
      int32_t ySide;
      if (isDip(first)) {
        xSide = first;
        ySide = last;
      } else if (isDip(last)) {
        xSide = last;
        ySide = first;
      } else {
        continue;
      }
      int32_t y = k;
      if (h < 3 || w < 3) {
        // Y steps toward a stronger neighbour, once each way, never off the grid.
        if (y + 1 < extent && at(ySide, y) + 40 > at(ySide, y + 1)) ++y;
        if (y - 1 >= 0 && at(ySide, y) + 40 > at(ySide, y - 1)) --y;
      }
      const int32_t L = at(ySide, y - 1), M = at(ySide, y), R = at(ySide, y + 1);
      const bool boShape = (M < L + m && M < R + m) || (M + 40 < L && R < 60) || (M + 40 < R && L < 60);
      if (boShape && L + R > M + 60 && (swDepth != 0 || at(xSide, k) <= 200)) return true;
    }
    return false;
  };
  if (h <= w && scan(false)) return true;
  return h >= w && scan(true);
}

// The corner template looks for a strong 2 by 2 block or a ridge at one corner of B and
// the same at the opposite corner, with the space between them falling away: two fingers
// lying along B's diagonal. Up to 90 degrees the top-left / bottom-right pair is tested;
// from 91 to 180 degrees this system uses the exact mirror image (top-right / bottom-left,
// columns reversed) with the same limits, so a pattern and its mirror image at the mirrored
// angle are judged alike. JudgeDiagonalPair then gets B itself, region 0's peak and the
// four corner flags in the order TL-A, TL-B, BR-A, BR-B (mirrored: TR-A, TR-B, BL-A, BL-B);
// a pair it recognises there vetoes the template.
bool TwoPeakCornerTemplate(const RegionAcquireInput& in, RegionRect B, int16_t swAngle, int16_t swDepth) {
  if (swAngle < 0 || swAngle > 180) return false;
  const RegionGrid g = Grid(in);
  const bool boMirror = swAngle > 90;
  const int32_t p0 = in.puwPeak[0];
  const int32_t f = swDepth == 0 ? 15 : 12;
  const int32_t G = swDepth == 0 ? 150 : 200;
  const int32_t Lq = swDepth == 0 ? ((p0 > 249 && in.ubPrevPointNum != 0) ? 150 : 100) : (p0 > 350 ? 100 : 70);
  const int32_t Lp = p0 > 400 ? 200 : 150;
  // Corner-relative reads: A(dr, dc) from the top corner inward (dc toward the far side),
  // Z(dr, dc) from the bottom corner inward (dr up, dc toward the near side).
  const int32_t topCol = boMirror ? B.ubColEnd : B.ubColStart;
  const int32_t botCol = boMirror ? B.ubColStart : B.ubColEnd;
  const int32_t dir = boMirror ? -1 : 1;
  auto A = [&](int32_t dr, int32_t dc) { return static_cast<int32_t>(g.At(B.ubRowStart + dr, topCol + dir * dc)); };
  auto Z = [&](int32_t dr, int32_t dc) { return static_cast<int32_t>(g.At(B.ubRowEnd - dr, botCol - dir * dc)); };
  const bool tlA = A(0, 0) >= Lq && A(0, 1) >= Lq && A(1, 0) >= Lq && A(1, 1) >= Lq && A(0, 2) < 120 &&
                   (A(2, 0) < 120 || (A(0, 2) < 50 && A(2, 0) < 200));
  bool tlB = B.ubRowStart != 0 && f * A(0, 0) / 10 < A(0, 1) && f * A(0, 2) / 10 < A(0, 1) && A(0, 2) <= G &&
             3 * A(2, 0) < 2 * A(1, 0) && (A(0, 2) < 101 || A(2, 0) < 101) &&
             (A(0, 1) <= Lp || A(1, 0) <= Lp || A(1, 2) <= Lp || A(2, 1) <= Lp);
  if (tlB && A(0, 0) > 49 && A(0, 2) > 49 && A(2, 0) > 49) tlB = A(2, 2) < 50;
  const bool brA = Z(0, 0) >= Lq && Z(0, 1) >= Lq && Z(1, 0) >= Lq && Z(1, 1) >= Lq && Z(0, 2) < 120 &&
                   (Z(2, 0) < 120 || (Z(0, 2) <= 69 && Z(2, 0) < 200));
  bool brB = f * Z(0, 0) / 10 < Z(0, 1) && f * Z(0, 2) / 10 < Z(0, 1) && Z(2, 0) < 120 &&
             B.ubRowEnd + 1 != in.ubRowNum;
  if (brB) {
    const bool boRidge = Z(0, 1) > Lp && Z(1, 0) > Lp && Z(1, 2) > Lp && Z(2, 1) > Lp;
    const bool boSides = Z(0, 2) > 100 && Z(2, 0) > 100;
    const bool boFilled = Z(0, 0) > 49 && Z(0, 2) > 49 && Z(2, 0) > 49 && Z(2, 2) > 49;
    brB = !boRidge && !boSides && !boFilled && (Width(B) < 5 || Z(2, 2) < 201);
  }
  if (!((tlA || tlB) && (brA || brB))) return false;
  bool boBlock = false;
  return !JudgeDiagonalPair(in.ubColNum, in.ubRowNum, in.pswDiff, static_cast<uint16_t>(p0), B,
                            static_cast<uint16_t>(swAngle), tlA, tlB, brA, brB ? 1 : 0, &boBlock);
}

void RegionTwoPeakJudge(RegionAcquireInput& in, RegionRect B, bool boLarge, bool boEdge) {
  RegionTwoPeakStateRec& st = gstRegionTwoPeak;
  if (in.ubRegionNum == 0) {
    FullReset(in);
    return;
  }
  const bool boWater = gstRegionRoles.aubWaterFlag[0] != 0 || gstRegionRoles.aubWaterFlag[1] != 0;
  const uint16_t uwPeak1 = in.ubRegionNum > 1 ? in.puwPeak[1] : 0;
  if (boWater || std::max(in.puwPeak[0], uwPeak1) < 120 || in.ubWaterOverride != 0 || !boLarge ||
      !RectValidOn(B, in.ubRowNum, in.ubColNum)) {
    FullReset(in);
    return;
  }
  const RegionGrid g = Grid(in);
  if (in.ubPrevPointNum < 3 && !boEdge && guwNotMuchOutCnt < 100) ++guwNotMuchOutCnt;
  if (in.ubPrevPointNum == 0 || RegionTwoPeakPrevRect.ubRowStart == 255) {
    st.uwCentreDist = 0;
    RegionTwoPeakPrevRect = B;
    st.stFirstRect = B;
  } else {
    const RegionRect& P = RegionTwoPeakPrevRect;
    const int32_t dc = (B.ubColStart + B.ubColEnd) / 2 - (P.ubColStart + P.ubColEnd) / 2;
    const int32_t dr = (B.ubRowStart + B.ubRowEnd) / 2 - (P.ubRowStart + P.ubRowEnd) / 2;
    st.uwCentreDist = static_cast<uint16_t>(dc * dc + dr * dr);
  }
  const int32_t h = Height(B);
  const int32_t w = Width(B);
  if (h < 2 || h > 9 || w < 2 || w > 9 || h + w >= 15 || (h == 3 && w == 3)) {
    PartialReset(in);
    return;
  }
  if (in.ubTwoPeakState != 1) {
    const uint16_t S = SumFrom(g, B, 41);
    st.ubPeakNum = CountPeaks(g, B);
    if (st.ubPeakNum == 2 && in.ubRegionNum > 1) {
      const uint16_t p0 = in.puwPeakPos[0];
      const uint16_t p1 = in.puwPeakPos[1];
      const int32_t r0 = p0 >> 8, c0 = p0 & 0xFF, r1 = p1 >> 8, c1 = p1 & 0xFF;
      if (g.At(r0, c0) > 120 && g.At(r1, c1) > 120 && std::abs(r0 - r1) + std::abs(c0 - c1) >= 6) {
        PartialReset(in);
        return;
      }
    }
    if (S < 800 || S > 4000) {
      PartialReset(in);
      return;
    }
  }
  const int16_t a = CalcRegionOrientation(in.pswDiff, B, in.ubColNum);
  RegionTwoPeakAngle = a;
  if (RegionTwoPeakLastAngle == kNoAngle) RegionTwoPeakLastAngle = a;

  int16_t aswProfile[kProfileLen] = {};
  uint16_t auwSums[kProfileLen] = {};
  uint8_t aubMarks[kProfileLen] = {};
  uint8_t ubMaxCount = 0;
  uint8_t ubVerdict = 0;
  const uint16_t uwProfile = CalcRotatedRectProfile(in.pswDiff, in.ubColNum, in.ubRowNum, RegionRectWord(B), a, 25,
                                                    &ubMaxCount, aswProfile, auwSums);
  // The profile routine answers kProfileNone (65535) when it has nothing to measure; such
  // a frame gives no verdict and leaves the profile figures as they were.
  if (uwProfile != kProfileNone) {
    uint8_t ubValley = 255;
    uint8_t ubMax = 255;
    const int16_t v = CalcProfileValleyDepth(aswProfile, auwSums, aubMarks, 5, &ubValley, &ubMax);
    uint8_t ubStrong = 0;
    uint8_t ubNonZero = 0;
    for (int16_t e : aswProfile) {
      ubStrong = static_cast<uint8_t>(ubStrong + (e >= 6));
      ubNonZero = static_cast<uint8_t>(ubNonZero + (e != 0));
    }
    st.ubStrongEntries = ubStrong;
    RegionTwoPeakSpan = ubNonZero;
    const bool A = (st.uwCentreDist > 1 && guwNotMuchOutCnt > 15) || guwNotMuchOutCnt > 30;
    bool boGoOn;
    if ((A || st.uwCentreDist > 49) && st.ubVerdict == 0) {
      boGoOn = in.ubTwoPeakState == 1 && v <= 400;
    } else {
      boGoOn = v <= 400;
    }
    if (boGoOn) {
      st.ubPrevJudged = st.ubJudged;
      st.ubJudged = 0;
      if (ubStrong >= 4 && ubStrong <= 6 && ubNonZero <= 7) {
        st.uwOver50 = CountAbove(g, B, 50);
        RegionTwoPeakStrongCount = CountAbove(g, B, 100);
        st.uwOver200 = CountAbove(g, B, 200);
        bool E = true;
        if (h > w && (B.ubColStart == 0 || B.ubColEnd + 1 == in.ubColNum)) E = false;
        if (w > h && (B.ubRowStart == 0 || B.ubRowEnd + 1 == in.ubRowNum)) E = false;
        const int32_t d = std::min({std::abs(a - 90), std::abs(static_cast<int32_t>(a)), std::abs(a - 180)});
        const int cls = d < 20 ? 0 : d < 25 ? 1 : 2;  // axis, near axis, diagonal
        bool boDip = false;
        if (cls != 2 && E && st.ubPeakNum == 2 && std::min(h, w) < 4) boDip = TwoPeakDipScan(in, B, v);
        bool boConfirmed = boDip;
        if (cls != 0 && st.ubPeakNum == 2 && !boDip) {
          bool boGate;
          if (v == 0) {
            boGate = RegionTwoPeakStrongCount >= 7 && RegionTwoPeakStrongCount <= 11 && st.uwOver200 < 9;
            if (h < 5 && w < 5) boGate = boGate && in.puwPeak[0] < 241 && uwPeak1 < 241;
          } else {
            boGate = st.uwOver50 < 18 && RegionTwoPeakStrongCount < 13;
          }
          boConfirmed = boGate && TwoPeakCornerTemplate(in, B, a, v);
        }
        if (!boConfirmed) {
          ubVerdict = 0;
          st.ubHoldCnt = 0;
        } else {
          bool boZero = false;
          if (v == 0) {
            if (st.ubHoldCnt < 30) ++st.ubHoldCnt;
            st.ubJudged = 1;
            boZero = st.ubHoldCnt <= 2;
          } else {
            st.ubHoldCnt = 10;
            st.ubJudged = 1;
          }
          ubVerdict = boZero ? 0 : (st.ubVerdict == 0 ? 1 : 2);
        }
      }
    }
    st.ubVerdict = ubVerdict;
  } else {
    st.ubVerdict = 0;
  }

  const uint16_t S2 = SumFrom(g, B, 31);
  bool boCollapse = false;
  if (in.ubTwoPeakState != 0) {
    boCollapse = S2 + 300 < st.uwPrevSum || (h <= 3 && w <= 3);
    st.uwPrevSum = S2;
  }
  auto countUp = [&]() {
    if (st.uwTwoPeakFrames < 20) ++st.uwTwoPeakFrames;
  };
  auto settle = [&]() {
    if (st.uwTwoPeakFrames >= 5) {
      st.uwTwoPeakFrames = 0;
      in.ubTwoPeakState = 1;
    }
  };
  auto split = [&]() { RegionSplitByAngle(&in.ubRegionNum, in, in.pubLabelMap, B); };
  if (st.ubVerdict == 2) {
    in.ubTwoPeakState = 1;
    if (in.ubRegionNum == 1) split();
    countUp();
  } else if (boCollapse || in.ubRegionNum != 1) {
    if (in.ubTwoPeakState == 1) {
      countUp();
    } else {
      settle();
    }
  } else if (st.ubVerdict == 1 || in.ubTwoPeakState == 1 || st.ubHoldCnt >= 2) {
    split();
    if (in.ubTwoPeakState == 1) {
      countUp();
    } else {
      settle();
    }
  } else {
    settle();
  }
}
