// The edge rejection stage: every frame, each tracked point near the panel border is
// suppressed (weight 0, not reported), held at its first position, or released (it passes
// and first-coordinate smoothing starts from its first position). Grip contacts show as
// pairs of border touches, as deep or long border rectangles and as still border peaks.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "coord.h"
#include "coord_edge.h"
#include "coord_pair.h"
#include "framework.h"
#include "module_wrappers.h"
#include "region_proc.h"

namespace {

constexpr uint16_t kHoldFrames = 50;
constexpr uint16_t kNoAnchorBorder = 1024;
constexpr uint8_t kYGroupMode = 3;

EdgeResState& S() { return gstEdgeRes; }
EdgeResWork& W() { return *gpstEdgeResTemp; }
const uint8_t* Cfg() { return gstEdgeResCfg.aubData; }
uint16_t ExtentX() { return gstCommon.uwSenCoordRange; }
uint16_t ExtentY() { return gstCommon.uwDrvCoordRange; }
uint8_t Cols() { return gstCommon.ubSenNum; }
uint8_t Rows() { return gstCommon.ubDrvNum; }
uint8_t LastX() { return static_cast<uint8_t>(Cols() - 1u); }
uint8_t LastY() { return static_cast<uint8_t>(Rows() - 1u); }
bool Landscape() { return S().ubLevel != 0; }
bool GameLandscape() { return gstCommon.ubGameModeFlag != 0 && Landscape(); }
bool Released(uint8_t i) { return S().aubResult[i] == kEdgeResultReleased; }
bool Present(uint8_t i) { return gpuwNewWeight[i] != 0; }
uint16_t AbsDiff(uint16_t a, uint16_t b) { return static_cast<uint16_t>(a > b ? a - b : b - a); }

int16_t DiffAt(uint32_t row, uint32_t col) {
  const int16_t* d = gstCommon.stData.pswDiffData;
  return d == nullptr ? 0 : d[row * Cols() + col];
}

// Rectangle {X start, X end, Y start, Y end} of slot I in the work area.
const uint8_t* Rect(uint8_t i) { return W().aubRect[i]; }
uint32_t RectWord(const uint8_t* r) { return static_cast<uint32_t>(r[0] | (r[1] << 8) | (r[2] << 16) | (r[3] << 24)); }

// The border line of a rectangle: Y line 0 when it starts there, the last Y line when it
// ends there; -1 when it touches neither.
int32_t BorderLine(const uint8_t* r) {
  if (r[2] == 0) return 0;
  if (r[3] == LastY()) return LastY();
  return -1;
}

bool OneDeepOnBorder(const uint8_t* r) { return r[2] == r[3] && BorderLine(r) >= 0; }

// The Y side of point I's border (4 Y-low, 8 Y-high, 0 none) and its pair mark.
uint8_t YSide(uint8_t i) {
  const uint8_t b = S().aubSideBits[i];
  if ((b & 4u) != 0) return 4;
  if ((b & 8u) != 0) return 8;
  return 0;
}
uint8_t SideMark(uint8_t side) { return side == 4 ? kEdgeMarkYLowPair : kEdgeMarkYHighPair; }

bool OutsideMiddle(uint16_t y) {
  const uint16_t B = EdgeCfgU16(36);
  return y < B || y + B > ExtentY();
}

void Reanchor(uint8_t i) {
  S().auwAnchorY[i] = W().auwY[i];
  S().auwAnchorX[i] = W().auwX[i];
}

// The largest diff value (first maximum) on line ROW over columns XS..XE, and its column.
int16_t LineMax(int32_t row, uint8_t xs, uint8_t xe, uint8_t* pubSlot) {
  int16_t best = INT16_MIN;
  *pubSlot = xs;
  for (uint32_t c = xs; c <= xe && c <= LastX(); ++c) {
    const int16_t v = DiffAt(static_cast<uint32_t>(row), c);
    if (v > best) best = v, *pubSlot = static_cast<uint8_t>(c);
  }
  return best;
}

// Point I's own distances from its anchor (0 without one).
void OwnDistances(uint8_t i, uint16_t* puwDy, uint16_t* puwDx) {
  if (S().auwAnchorX[i] == kEdgeNoAnchor) {
    *puwDy = *puwDx = 0;
    return;
  }
  *puwDy = AbsDiff(W().auwY[i], S().auwAnchorY[i]);
  *puwDx = AbsDiff(W().auwX[i], S().auwAnchorX[i]);
}

// Puts point I and its distances from the anchor into the work area's current-point fields.
void LoadCurrent(uint8_t i) {
  EdgeResWork& w = W();
  w.uwY = w.auwY[i];
  w.uwX = w.auwX[i];
  if (S().auwAnchorX[i] != kEdgeNoAnchor) {
    w.uwAnchorY = S().auwAnchorY[i];
    w.uwAnchorX = S().auwAnchorX[i];
    uint16_t dY, dX;
    OwnDistances(i, &dY, &dX);
    w.uwDy = dY;
    w.uwDx = dX;
  }
}

// The slide test against limits LY and LX: 0 while the touch stays within them; 2 once it
// slides, at once when it slides along X away from a first position in an X-side band,
// otherwise after moving the anchor to where the touch is (unless configured to keep it).
uint8_t SlideVerdict(uint8_t i, uint16_t LY, uint16_t LX) {
  const EdgeResWork& w = W();
  EdgeResState& s = S();
  if (w.uwDx <= LX && w.uwDy <= LY) return 0;
  const uint16_t bandLow = static_cast<uint16_t>((Cfg()[24] & 0x0Fu) * 512u);
  const uint16_t bandHigh = static_cast<uint16_t>((Cfg()[24] >> 4) * 512u);
  if (w.uwDx > LX && w.uwDy <= 499 && (s.auwAnchorX[i] < bandLow || s.auwAnchorX[i] + bandHigh > ExtentX())) return 2;
  SetEdgeResXYTouchBak(i);
  return 2;
}

uint16_t SlideLimitDead(uint8_t i) {
  const EdgeResState& s = S();
  const uint16_t U = Cfg()[58];
  const bool moved = s.aubMoved[i] != 0;
  const uint8_t ft = s.aubFrameTime[i], mx = s.aubMaxState[i];
  if (moved && mx > 4) return 5120;
  if (moved) return static_cast<uint16_t>(U * 256u);
  if (ft < 11 && mx < 5) return static_cast<uint16_t>(U * 128u);
  if (ft >= 11 && mx <= 4) return static_cast<uint16_t>(U * 256u);
  if (ft >= 11) return 5120;
  return 2560;
}

uint16_t SlideLimitClick(uint8_t i) {
  const EdgeResState& s = S();
  const uint16_t U = Cfg()[58];
  const uint8_t ft = s.aubFrameTime[i], mx = s.aubMaxState[i];
  if (s.aubMoved[i] != 0) return mx < 5 ? static_cast<uint16_t>(U * 256u) : 5120;
  if (ft < 11 && mx < 5) return static_cast<uint16_t>(U * 128u);
  if (ft >= 11 && mx <= 4) return static_cast<uint16_t>(U * 256u);
  return ft < 11 ? 2560 : 5120;
}

// ---- Rectangle judge ----------------------------------------------------------------------

uint8_t JudgeRect(uint8_t i, bool boYGroup) {
  EdgeResState& s = S();
  EdgeResWork& w = W();
  const uint8_t* r = Rect(i);
  const RegionRect own{r[2], r[3], r[0], r[1]};
  w.ubThin = ((own.ubRowStart == own.ubRowEnd && (own.ubRowStart == 0 || own.ubRowEnd == LastY())) ||
              (own.ubColStart == own.ubColEnd && (own.ubColStart == 0 || own.ubColEnd == LastX())))
                 ? 1
                 : 0;
  const RegionRect g = ExpandRect(own, Rows(), Cols());
  int8_t side = -1;
  int32_t edge = 0, inner = 0;
  if (!boYGroup) {
    if (g.ubColStart == 0 && (s.ubSideMask & 1u) != 0) {
      side = kEdgeSideXLow, edge = 0, inner = 1;
    } else if (g.ubColEnd == LastX() && (s.ubSideMask & 2u) != 0) {
      side = kEdgeSideXHigh, edge = LastX(), inner = LastX() - 1;
    }
  } else {
    if (g.ubRowStart == 0 && (s.ubSideMask & 4u) != 0) {
      side = kEdgeSideYLow, edge = 0, inner = 1;
    } else if (g.ubRowEnd == LastY() && (s.ubSideMask & 8u) != 0) {
      side = kEdgeSideYHigh, edge = LastY(), inner = LastY() - 1;
    }
  }
  uint8_t st;
  if (side < 0) {
    st = (s.aubZoneFlags[i] & kEdgeFlagAnyCorner) != 0 ? 4 : 1;
    EdgeRectStateBigCustom(&st, i);
    return st;
  }
  w.ubSideBits = static_cast<uint8_t>(w.ubSideBits | (1u << side));
  inner = std::max<int32_t>(inner, 0);
  const int16_t thr = static_cast<int16_t>(Cfg()[2]);
  uint32_t from, count;
  if (!boYGroup) {
    w.uwEdgeLine = static_cast<uint16_t>(g.ubRowStart * Cols() + edge);
    w.uwInnerLine = static_cast<uint16_t>(g.ubRowStart * Cols() + inner);
    from = g.ubRowStart;
    count = std::max<uint32_t>(1, g.ubRowEnd - g.ubRowStart);
  } else {
    w.uwEdgeLine = static_cast<uint16_t>(edge * Cols() + g.ubColStart);
    w.uwInnerLine = static_cast<uint16_t>(inner * Cols() + g.ubColStart);
    from = g.ubColStart;
    count = std::max<uint32_t>(1, g.ubColEnd - g.ubColStart);
  }
  uint8_t ubEdge = 0, ubInner = 0;
  for (uint32_t k = from; k < from + count; ++k) {
    const uint32_t row = boYGroup ? static_cast<uint32_t>(edge) : k, col = boYGroup ? k : static_cast<uint32_t>(edge);
    const uint32_t irow = boYGroup ? static_cast<uint32_t>(inner) : k, icol = boYGroup ? k : static_cast<uint32_t>(inner);
    if (row > LastY() || col > LastX()) break;
    if (DiffAt(row, col) > thr) ++ubEdge;
    if (w.ubThin == 0 && irow <= LastY() && icol <= LastX() && DiffAt(irow, icol) > thr) ++ubInner;
  }
  const RegionRect m = w.ubThin != 0 ? ExpandRect(g, Rows(), Cols()) : own;
  const bool boXEnds = m.ubColStart == 0 || m.ubColEnd == LastX();
  if ((s.ubLevel == 0 && m.ubColEnd == LastX()) || (s.ubLevel == 1 && m.ubRowStart == 0 && boXEnds) ||
      (s.ubLevel == 2 && m.ubRowEnd == LastY() && boXEnds))
    ++ubEdge;
  st = EdgeJugdeRectState(i, ubEdge, ubInner, boYGroup ? kYGroupMode : 0);
  EdgeRectStateBigCustom(&st, i);
  return st;
}

// ---- Pair judgement -----------------------------------------------------------------------

bool PairCandidate(uint8_t i) {
  const EdgeResState& s = S();
  return Present(i) && s.auwAge[i] <= EdgeCfgU16(34) && s.auwAnchorX[i] != kEdgeNoAnchor &&
         OutsideMiddle(s.auwAnchorY[i]) && AbsDiff(W().auwY[i], s.auwAnchorY[i]) <= EdgeCfgU16(36);
}

// The first touch of SIDE outside the middle band, one node deep and at most five nodes
// long, with another contact close beside it on its border line; 255 when none.
uint8_t IsolatedTouch(uint8_t side) {
  for (uint8_t i = 0; i < kCoordPointMax; ++i) {
    if (!Present(i) || YSide(i) != side || !OutsideMiddle(W().auwY[i]) || Released(i)) continue;
    const uint8_t* r = Rect(i);
    if (r[2] != r[3] || r[1] - r[0] > 4 || BorderLine(r) < 0) continue;
    const int32_t row = BorderLine(r);
    auto walk = [&](int32_t start, int32_t step) {
      bool boDropped = false;
      for (int32_t k = 1; k <= 5; ++k) {
        const int32_t c = start + step * k;
        if (c < 0 || c > LastX()) return false;
        const int16_t v = DiffAt(static_cast<uint32_t>(row), static_cast<uint32_t>(c));
        if (!boDropped) {
          boDropped = v < 30;
        } else if (v >= 61) {
          return true;
        }
      }
      return false;
    };
    if (walk(r[0], -1) || walk(r[1], 1)) return i;
  }
  return kCoordNoSlot;
}

void PairJudgement() {
  EdgeResState& s = S();
  uint8_t* marks = EdgePairMarks();
  const bool boPortrait = !Landscape();
  // Two border touches on one Y side that came down together are a grip.
  for (uint8_t i = 0; i < kCoordPointMax; ++i) {
    if (!PairCandidate(i) || YSide(i) == 0) continue;
    for (uint8_t j = 0; j < kCoordPointMax; ++j) {
      if (j == i || YSide(j) != YSide(i) || !PairCandidate(j)) continue;
      if (!Released(i) && boPortrait && Rect(i)[0] <= 2) continue;
      SetSameTimeTouchFlag(i, j, SideMark(YSide(i)));
    }
  }
  auto anyMark = [&](uint8_t m) {
    for (uint8_t k = 0; k < kCoordPointMax; ++k) {
      if (marks[k] == m) return true;
    }
    return false;
  };
  s.ubPairSides = static_cast<uint8_t>((anyMark(kEdgeMarkYLowPair) ? 4 : 0) | (anyMark(kEdgeMarkYHighPair) ? 8 : 0));
  // A short strong border touch next to a marked one belongs to the same grip.
  for (uint8_t i = 0; i < kCoordPointMax; ++i) {
    const uint8_t side = YSide(i);
    if (!Present(i) || marks[i] != kEdgeMarkNone || Released(i) || side == 0 || (s.ubPairSides & side) == 0 ||
        !OutsideMiddle(W().auwY[i]))
      continue;
    const uint8_t* r = Rect(i);
    const int32_t line = BorderLine(r);
    if (r[1] - r[0] > 3 || line < 0) continue;
    uint8_t ubSlot;
    if (LineMax(line, r[0], r[1], &ubSlot) < 251) continue;
    for (uint8_t j = 0; j < kCoordPointMax; ++j) {
      if (j == i || marks[j] != SideMark(side) || YSide(j) != side || !OutsideMiddle(W().auwY[j])) continue;
      const uint8_t* q = Rect(j);
      const int32_t gap = std::min(std::abs(r[0] - q[1]), std::abs(r[1] - q[0]));
      if (gap < Cfg()[38]) {
        marks[i] = SideMark(side);
        Reanchor(i);
        break;
      }
    }
  }
  // Border touches and marks per side.
  uint8_t border[2] = {0, 0}, count[2] = {0, 0}, last[2] = {kCoordNoSlot, kCoordNoSlot};
  for (uint8_t i = 0; i < kCoordPointMax; ++i) {
    if (!Present(i)) continue;
    for (uint8_t k = 0; k < 2; ++k) {
      const uint8_t side = k == 0 ? 4 : 8;
      if (marks[i] == SideMark(side)) ++count[k];
      if (YSide(i) == side && OutsideMiddle(W().auwY[i])) {
        ++border[k];
        last[k] = i;
      }
    }
  }
  for (uint8_t k = 0; k < 2; ++k) border[k] = std::max(border[k], count[k]);
  s.ubYLowMarks = count[0], s.ubYHighMarks = count[1];
  s.ubYLowBorderCnt = border[0], s.ubYHighBorderCnt = border[1];
  s.ubLastYLowSlot = last[0], s.ubLastYHighSlot = last[1];
  // Two marked touches far apart, one of them a long thin strip, are two separate fingers.
  for (uint8_t k = 0; k < 2; ++k) {
    const uint8_t side = k == 0 ? 4 : 8;
    if (count[k] != 2) continue;
    uint8_t p[2], n = 0;
    for (uint8_t i = 0; i < kCoordPointMax && n < 2; ++i) {
      if (Present(i) && marks[i] == SideMark(side)) p[n++] = i;
    }
    if (n != 2) continue;
    const uint8_t* r1 = Rect(p[0]);
    const uint8_t* r2 = Rect(p[1]);
    const uint8_t longer = (r2[1] - r2[0]) > (r1[1] - r1[0]) ? p[1] : p[0];
    const uint8_t* L = Rect(longer);
    const int32_t gap = std::min(std::abs(r1[0] - r2[1]), std::abs(r1[1] - r2[0]));
    if (L[2] == L[3] && L[1] - L[0] + 1 >= 5 && gap >= 6) {
      s.ubPairSides = static_cast<uint8_t>(s.ubPairSides & ~side);
      marks[longer] = kEdgeMarkNone;
      marks[p[1]] = kEdgeMarkNone;
    }
  }
  // A grip on one Y side: a long thin lone touch on the other side is its palm.
  auto lone = [&](uint8_t k, uint8_t mark) {
    const uint8_t i = last[k];
    if (border[k] != 1 || i == kCoordNoSlot || Released(i)) return;
    const uint8_t* r = Rect(i);
    if (r[2] == r[3] && r[1] - r[0] >= 4 && (r[0] > 4 || Landscape())) {
      marks[i] = mark;
      Reanchor(i);
    }
  };
  if (s.ubPairSides == 8) lone(0, kEdgeMarkYLowPair);
  if (s.ubPairSides == 4) lone(1, kEdgeMarkYHighPair);
  // A lone border touch with a contact beside it for ten frames is a grip too.
  for (uint8_t k = 0; k < 2; ++k) {
    const uint8_t side = k == 0 ? 4 : 8;
    uint8_t& ten = k == 0 ? s.ubYLowTenFrames : s.ubYHighTenFrames;
    const uint8_t p = (!anyMark(SideMark(side)) && border[k] == 1) ? IsolatedTouch(side) : kCoordNoSlot;
    if (p == kCoordNoSlot) {
      ten = 0;
      continue;
    }
    if (ten < 255) ++ten;
    if (ten >= 10 && !Released(p)) {
      ten = 10;
      marks[p] = SideMark(side);
    }
  }
}

// ---- Steady-peak judgement ----------------------------------------------------------------

void SteadyPeakJudgement() {
  EdgeResState& s = S();
  uint8_t* marks = EdgePairMarks();
  for (uint8_t i = 0; i < kCoordPointMax; ++i) {
    if (!Present(i)) continue;
    const uint8_t* r = Rect(i);
    if (s.aubResult[i] == kEdgeResultSuppressed) s.auiStoredRect[i] = RectWord(r);
    const int32_t line = BorderLine(r);
    const uint16_t y = W().auwY[i];
    if (s.aswPeakValue[i] != kEdgeNoPeak && marks[i] == kEdgeMarkNone) {
      // The point's own distance from its anchor decides whether it has left the border.
      uint16_t dY, dX;
      OwnDistances(i, &dY, &dX);
      if (Released(i) && (dY > 1024 || dX > 1024)) {
        s.auiStoredRect[i] = kEdgeNoRect;
        s.aswPeakValue[i] = kEdgeNoPeak;
        s.aubPeakSlot[i] = kCoordNoSlot;
      } else if (s.auiStoredRect[i] != kEdgeNoRect && line >= 0 && s.aubPeakSlot[i] <= LastX()) {
        const uint32_t o = s.auiStoredRect[i];
        const int32_t oldLen = static_cast<int32_t>((o >> 8) & 0xFF) - static_cast<int32_t>(o & 0xFF);
        const int32_t oldDepth = static_cast<int32_t>((o >> 24) & 0xFF) - static_cast<int32_t>((o >> 16) & 0xFF);
        const bool boShrank = oldDepth - (r[3] - r[2]) >= 2 || oldLen - (r[1] - r[0]) >= 2;
        const int32_t v = DiffAt(static_cast<uint32_t>(line), s.aubPeakSlot[i]);
        const bool boNearEnd = y < 512 || y + 512 > ExtentY();
        if (boShrank && std::abs(v - s.aswPeakValue[i]) <= 99 && OneDeepOnBorder(r) && boNearEnd && Released(i)) {
          marks[i] = kEdgeMarkSteady;
          Reanchor(i);
        }
      }
    }
    if (Released(i) && marks[i] == kEdgeMarkNone && (y < 256 || y + 256 > ExtentY()) && OneDeepOnBorder(r)) {
      uint8_t ubSlot;
      const int16_t v = LineMax(line, r[0], r[1], &ubSlot);
      if (v >= static_cast<int16_t>(gstCommon.uwMaskThreshold)) {
        s.aubSteadyCnt[i] = 0;
        s.auwLastPeak[i] = 0;
        s.aubLastPeakSlot[i] = 0;
      } else if (s.aubSteadyCnt[i] != 0 && std::abs(v - static_cast<int16_t>(s.auwLastPeak[i])) <= 59 &&
                 std::abs(ubSlot - s.aubLastPeakSlot[i]) <= 1) {
        ++s.aubSteadyCnt[i];
      } else {
        s.aubSteadyCnt[i] = 1;
        s.auwLastPeak[i] = static_cast<uint16_t>(v);
        s.aubLastPeakSlot[i] = ubSlot;
      }
      if (s.aubSteadyCnt[i] > 10) {
        s.aubSteadyCnt[i] = 10;
        marks[i] = kEdgeMarkSteady;
        Reanchor(i);
      }
    }
  }
}

void ResetPoint(uint8_t i) {
  EdgeResState& s = S();
  s.aubDelayOut[i] = s.aubCustFrameCnt[i] = s.aubMoved[i] = 0;
  s.aubSideBits[i] = s.aubRectState[i] = s.aubMaxState[i] = 0;
  s.aubZoneFlags[i] = s.aubFirstZoneFlags[i] = s.aubResult[i] = 0;
  s.aubScratch[i] = s.aubAccClasses[i] = s.aubFrameTime[i] = 0;
  s.auwAnchorY[i] = 0;
  s.auwAnchorX[i] = kEdgeNoAnchor;
  s.auwAge[i] = 0;
  s.aubBigState[i] = 0;
  for (uint8_t k = 0; k < 2; ++k) s.auwBigArea[k][i] = s.auwBigStrength[k][i] = s.auwBigSize[k][i] = 0;
  s.aubBorderRatio[i] = 0;
  s.auiStoredRect[i] = kEdgeNoRect;
  s.aubPeakSlot[i] = kCoordNoSlot;
  s.aswPeakValue[i] = kEdgeNoPeak;
  s.aubSteadyCnt[i] = 0;
  s.auwLastPeak[i] = 0;
  s.aubLastPeakSlot[i] = 0;
  EdgePairMarks()[i] = kEdgeMarkNone;
  const uint16_t keep = static_cast<uint16_t>(~(1u << i));
  s.uwGameCornerMask &= keep;
  s.uwSideClickMask1 &= keep;
  s.uwSideClickMask2 &= keep;
  s.uwSpareMask &= keep;
  s.uwHeldMask1 &= keep;
  s.uwHeldMask2 &= keep;
}

uint8_t TypeVerdict(uint8_t i) {
  const EdgeResState& s = S();
  const EdgeResWork& w = W();
  if (Released(i)) return 0;
  const uint8_t st = s.aubRectState[i];
  if (st == 5 || s.aubMaxState[i] == 6) return 3;
  if (st == 1 && s.aubZoneFlags[i] == 0) {
    const uint16_t T = EdgeCfgU16(39);
    const bool boSide = Landscape() || (s.aubSideBits[i] & 2u) == 0 || (s.uwGameCornerMask & (1u << i)) != 0;
    const bool boStill = T != 0 && w.uwDy < T && w.uwDx < T && (s.aubFirstZoneFlags[i] & 3u) != 0;
    const bool boCornerStart = w.uwDy <= 1279 && w.uwDx <= 1279 && s.aubFirstZoneFlags[i] > 63;
    return (boSide && (boStill || boCornerStart)) ? 3 : 2;
  }
  if (st == 2) {
    if (s.aubMaxState[i] >= 5 && w.uwDy <= 2559 && w.uwDx < (Landscape() ? 2560 : 2800)) return 3;
    return s.aubCustFrameCnt[i] >= 12 ? 3 : 0;
  }
  return 0;
}

void Suppress(uint8_t i) {
  gpuwNewWeight[i] = 0;
  gboEdgeRes = 1;
  S().aubResult[i] = kEdgeResultSuppressed;
}

void ReleaseWithSmoothing(uint8_t i) {
  W().auwY[i] = S().auwAnchorY[i];
  W().auwX[i] = S().auwAnchorX[i];
  EdgeCoordSmoothSetWrapper(i);
  S().aubResult[i] = kEdgeResultReleased;
}

void Decide(uint8_t i) {
  EdgeResState& s = S();
  EdgeResWork& w = W();
  if (!Present(i)) {
    ResetPoint(i);
    return;
  }
  s.aubFrameTime[i] = static_cast<uint8_t>(std::min<uint32_t>(255, s.aubFrameTime[i] + gstCommon.ubTick100ms));
  if (s.auwAge[i] != 0xFFFF) ++s.auwAge[i];
  if (s.auwAnchorX[i] == kEdgeNoAnchor) {
    // A touch-down frame has no anchor yet: one that lands close to the border waits.
    const uint16_t y = w.auwY[i], x = w.auwX[i];
    if (y < kNoAnchorBorder || x < kNoAnchorBorder || y + kNoAnchorBorder > ExtentY() ||
        x + kNoAnchorBorder > ExtentX())
      gpuwNewWeight[i] = 0;
    return;
  }
  LoadCurrent(i);
  EdgeDelayOutTimerCustom(i);
  const bool boMarkRule = EdgePairMarks()[i] != kEdgeMarkNone && !GameLandscape() && (Cfg()[0] & 0x60u) != 0;
  if (Released(i)) {
    // A released touch passes until it lifts; only a grip mark takes it back, unless it
    // has travelled far from where the mark found it.
    if (boMarkRule && !(w.uwDy > 1023 || w.uwDx >= 10000)) Suppress(i);
    return;
  }
  const uint8_t a = TypeVerdict(i);
  const uint8_t P = SetCornerPressTimer(i);
  const uint16_t T = EdgeCfgU16(39);
  uint8_t b = 0, c = 0;
  const uint8_t z = s.aubZoneFlags[i];
  if (a != 3 && ((z & kEdgeFlagDead) != 0 || ((s.aubFirstZoneFlags[i] & kEdgeFlagDead) != 0 && w.uwDy < T && w.uwDx < T))) {
    b = 3;
    const uint16_t L = SlideLimitDead(i);
    c = SlideVerdict(i, L, L);
  }
  if ((z & kEdgeFlagClick) != 0) {
    EdgeClickJudge(i, 2, &b, s.ubCornerPressTime, gubClickAreaLongTouchOutEn);
    const uint16_t L = SlideLimitClick(i);
    c = SlideVerdict(i, L, L);
  }
  if ((z & (kEdgeFlagCornerLow | kEdgeFlagCornerHigh)) != 0) {
    EdgeResJudgeCustom(i, &b, P);
    const uint16_t lim = (s.aubMoved[i] != 0 || s.aubFrameTime[i] >= 11) ? 2560 : 1280;
    if (w.uwDy > lim || w.uwDx > lim) c = 2;
  }
  if ((z & kEdgeFlagUpper) != 0) EdgeUpperCornerJudgeCustom(&b, &c, i);
  if (z >= kEdgeFlagGameLow && gstCommon.ubGameModeFlag != 0) EdgeClickJudge(i, 192, &b, 0, 0);
  const uint8_t v = SetEdgeResFlagCustom(a, b, c, i);
  if (boMarkRule) {
    if (w.uwDy > 1023 || w.uwDx >= 10000) {
      ReleaseWithSmoothing(i);
    } else {
      Suppress(i);
    }
    return;
  }
  switch (v) {
    case 1: s.aubResult[i] = kEdgeResultReleased; break;
    case 2: ReleaseWithSmoothing(i); break;
    case 3: Suppress(i); break;
    default: break;
  }
}

void PeakRecord() {
  EdgeResState& s = S();
  for (uint8_t i = 0; i < kCoordPointMax; ++i) {
    const uint8_t* r = Rect(i);
    if (r[2] != 0 && r[3] != LastY()) continue;
    if (s.aubResult[i] != kEdgeResultSuppressed) continue;
    uint8_t ubSlot;
    const int16_t v = LineMax(r[2] == 0 ? 0 : LastY(), r[0], r[1], &ubSlot);
    s.aubPeakSlot[i] = ubSlot;
    s.aswPeakValue[i] = v;
  }
}

}  // namespace

// Two descriptions of this rule circulate: one reads the point's type bit 1 and the click
// mask, the other (kept here) the side bits' X-high side and the game-mode corner mask.
// The edge-rejection state owns the second set, and the final verdict reads it this way.
uint8_t NotVerLowerEdge(uint8_t ubPoint) {
  if (ubPoint >= kCoordPointMax) return 1;
  const EdgeResState& s = S();
  if (s.ubLevel != 0 || (s.aubZoneFlags[ubPoint] & (kEdgeFlagCornerLow | kEdgeFlagCornerHigh)) != 0 ||
      (s.aubSideBits[ubPoint] & 2u) == 0)
    return 1;
  return (s.uwGameCornerMask >> ubPoint) & 1u;
}

uint8_t NoRectAtSamePosition(uint8_t ubPoint) {
  if (ubPoint >= kCoordPointMax || gpstEdgeResTemp == nullptr) return 1;
  const uint8_t row = static_cast<uint8_t>(W().auwY[ubPoint] >> 9), col = static_cast<uint8_t>(W().auwX[ubPoint] >> 9);
  const uint8_t n = std::min<uint8_t>(gstMutualRegion.ubRegionNum, kCoordPointMax);
  for (uint8_t k = 0; k < n; ++k) {
    const RegionRect g = ExpandRect(gstMutualRegion.astRect[k], Rows(), Cols());
    if (g.ubRowStart <= row && row <= g.ubRowEnd && g.ubColStart <= col && col <= g.ubColEnd) return 0;
  }
  return 1;
}

void EdgeSlideJudge(uint8_t ubPoint, uint8_t ubGroup, uint8_t* pubVerdict, uint16_t uwYLimit, uint16_t uwXLimit) {
  if (ubPoint >= kCoordPointMax || pubVerdict == nullptr || *pubVerdict == 3 || gpstEdgeResTemp == nullptr) return;
  const EdgeResState& s = S();
  const bool boLong = s.aubMoved[ubPoint] != 0 || s.aubFrameTime[ubPoint] >= 11;
  if (boLong) {
    uwYLimit = static_cast<uint16_t>(uwYLimit * 2u);
    uwXLimit = static_cast<uint16_t>(uwXLimit * 2u);
  }
  if (ubGroup == 1 || ubGroup == 2) {
    if (s.aubMaxState[ubPoint] >= 5) uwXLimit = boLong ? 5120 : 2560;
    if (SlideVerdict(ubPoint, uwYLimit, uwXLimit) != 0) *pubVerdict = 2;
  } else if (ubGroup != 192) {
    if (W().uwDy > uwYLimit || W().uwDx > uwXLimit) *pubVerdict = 2;
  }
}

void EdgeResFun() {
  EdgeResState& s = S();
  // Without zones, or before the panel's grid is known, there is nothing to judge.
  if (s.ubSideMask == 0 || gpstEdgeResTemp == nullptr || Cols() < 2 || Rows() < 2) {
    s.ubActive = 0;
    return;
  }
  s.ubActive = 1;
  const uint8_t n = gstCoordComOutput.ubPointNum;
  if (n == 0 || n >= 2) gubClickAreaLongTouchOutEn = n == 0 ? 1 : 0;

  // Three or more touches all released already: nothing near the border is in question.
  uint8_t ubPresent = 0;
  bool boAllReleased = true;
  for (uint8_t i = 0; i < kCoordPointMax; ++i) {
    if (Present(i)) {
      ++ubPresent;
      boAllReleased = boAllReleased && s.aubResult[i] == kEdgeResultReleased;
    } else {
      boAllReleased = boAllReleased && s.aubResult[i] == 0;
    }
  }
  if (boAllReleased && ubPresent >= 3) {
    memset(s.aubScratch, 0, sizeof(s.aubScratch));
    MidTouchTimerCount();
    return;
  }

  EdgeResWork& w = W();
  memset(&w, 0, sizeof(w));
  w.ubRegionNum = gstMutualRegion.ubRegionNum;
  InitBeforeEdgeResCustom();
  s.ubClasses = 0;
  bool boInterior = false;
  for (uint8_t i = 0; i < kCoordPointMax; ++i) {
    const RegionRect r = gstCoordPair.astLastRect[i];
    w.aubRect[i][0] = r.ubColStart;
    w.aubRect[i][1] = r.ubColEnd;
    w.aubRect[i][2] = r.ubRowStart;
    w.aubRect[i][3] = r.ubRowEnd;
    if (Present(i) && r.ubColStart > 0 && r.ubRowStart > 0 && r.ubColEnd < LastX() && r.ubRowEnd < LastY())
      boInterior = true;
  }
  EdgeResDynamicZone(nullptr, nullptr);
  memcpy(w.auwY, gpuwNewPointY, sizeof(w.auwY));
  memcpy(w.auwX, gpuwNewPointX, sizeof(w.auwX));
  memcpy(w.auwHistY, gstCoordOptHistory.auwY, sizeof(w.auwHistY));
  memcpy(w.auwHistX, gstCoordOptHistory.auwX, sizeof(w.auwHistX));
  s.ubThickEdgeFrame = static_cast<uint8_t>(s.ubThickEdge + (boInterior ? 0 : (Cfg()[4] >> 4)));

  for (uint8_t i = 0; i < kCoordPointMax; ++i) {
    if (!Present(i)) continue;
    w.ubSideBits = 0;
    uint8_t st = 0;
    // The X sides first, so that a Y-side judgement knows whether the touch also lies on
    // the X-high side.
    if ((s.ubSideMask & 3u) != 0) st = JudgeRect(i, false);
    if ((s.ubSideMask & 12u) != 0) st = std::max(st, JudgeRect(i, true));
    w.aubType[i] = static_cast<uint8_t>(st + 16u * w.ubSideBits);
    EdgeResTypeJudgeCustom();
  }
  EdgeResTypeJudgeAgainCustom(0);

  // Points are judged from their second frame on: the touch-down frame sets no anchor.
  const uint16_t uwStill = EdgeCfgU16(22);
  const uint16_t uwMargin = std::min<uint16_t>(EdgeCfgU16(41), 512);
  for (uint8_t i = 0; i < kCoordPointMax; ++i) {
    if (!Present(i) || s.auwAge[i] == 0) continue;
    s.aubCustFrameCnt[i] = 0;
    LoadCurrent(i);
    OutCornerDeadZoneJudgeCustom();
    EdgeZoneFlagAnalysis(i);
    EdgePointStateSet(i);
    s.ubClasses |= s.aubAccClasses[i];
    if (s.aubZoneFlags[i] != 0 || s.aubRectState[i] > 1) continue;
    uint8_t cls;
    const uint16_t y = w.auwY[i], x = w.auwX[i];
    if (!Landscape()) {
      cls = 3;
    } else if (y < uwMargin || y + uwMargin > ExtentY()) {
      cls = 0;
    } else {
      cls = x > ExtentX() / 2 ? 2 : 1;
    }
    s.ubClasses |= cls;
    s.aubAccClasses[i] |= cls;
    const bool boStill = AbsDiff(y, w.auwHistY[i][1]) <= uwStill && AbsDiff(x, w.auwHistX[i][1]) <= uwStill;
    if (!boStill && cls != 0) {
      if ((cls & 1u) != 0) s.aubHold[0] = kHoldFrames;
      if ((cls & 2u) != 0) s.aubHold[1] = kHoldFrames;
      s.aubHold[2] = kHoldFrames;
    }
  }
  MidTouchTimerCount();

  const bool boMarks = !GameLandscape();
  if ((Cfg()[0] & 0x20u) != 0 && boMarks) PairJudgement();
  const bool boPeaks = (Cfg()[0] & 0x40u) != 0 && boMarks;
  if (boPeaks) SteadyPeakJudgement();
  for (uint8_t i = 0; i < kCoordPointMax; ++i) Decide(i);
  if (boPeaks) PeakRecord();

  if (w.ubRegionNum != 0 || gstCoordComOutput.ubPointNum != 0) {
    for (uint8_t& h : s.aubHold) h = h == 0 ? 0 : static_cast<uint8_t>(h - 1);
  } else {
    memset(s.aubHold, 0, sizeof(s.aubHold));
    EdgeResSetCustom(0);
  }
  memset(s.aubScratch, 0, sizeof(s.aubScratch));
  memcpy(gpuwNewPointY, w.auwY, sizeof(w.auwY));
  memcpy(gpuwNewPointX, w.auwX, sizeof(w.auwX));
}
