// Customer edge layer: the zone rectangles built from the edge configuration, the per-point
// edge state rules, the click-zone judgement, the flag priority, the dynamic widening of the
// zones while the device is gripped and the big-rectangle rule. It keeps no state of its
// own: everything lives in the edge records of the coordinate module.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "coord.h"
#include "coord_edge.h"
#include "framework.h"
#include "tsa_frame_links.h"
#include "region_proc.h"

namespace {

constexpr uint16_t kSquareCorner = 756;
constexpr uint16_t kDynamicCornerShift = 600;
constexpr uint16_t kLowerCornerBand = 768;
constexpr uint8_t kDelayOutFrames = 36;
constexpr int16_t kStrongNode = 80;

EdgeResState& S() { return gstEdgeRes; }
EdgeResWork& W() { return *gpstEdgeResTemp; }
const uint8_t* Cfg() { return gstEdgeResCfg.aubData; }
uint16_t ExtentX() { return gstCommon.uwSenCoordRange; }
uint16_t ExtentY() { return gstCommon.uwDrvCoordRange; }
EdgeSubRect* Zone(uint8_t k) { return gstEdgeResParam.astZone[k]; }
bool GameMode() { return gstCommon.ubGameModeFlag != 0; }
bool InCorner(uint8_t i) { return (S().aubZoneFlags[i] & kEdgeFlagAnyCorner) != 0; }
uint16_t Bit(uint8_t i) { return static_cast<uint16_t>(1u << i); }
uint8_t Sat(uint8_t v) { return v == 255 ? v : static_cast<uint8_t>(v + 1); }

// A corner zone on the two corners that the orientation puts at its lower end: Y-low corners
// at level 1, Y-high corners at the other landscape levels, X-high corners in portrait.
void LowerCorners(uint8_t ubZone, uint16_t uwY, uint16_t uwX) {
  switch (S().ubLevel) {
    case 0: EdgeZoneParamAnFromCfgCorner(ubZone, 0, 0, 0, 0, uwY, uwX, uwY, uwX); break;
    case 1: EdgeZoneParamAnFromCfgCorner(ubZone, uwY, uwX, 0, 0, uwY, uwX, 0, 0); break;
    default: EdgeZoneParamAnFromCfgCorner(ubZone, 0, 0, uwY, uwX, 0, 0, uwY, uwX); break;
  }
}

bool InSub(const EdgeSubRect& r, uint16_t y, uint16_t x) {
  return r.uwYHigh != 0 && r.uwYLow <= y && y <= r.uwYHigh && r.uwXLow <= x && x <= r.uwXHigh;
}

int16_t DiffAt(uint32_t row, uint32_t col) {
  const int16_t* d = gstCommon.stData.pswDiffData;
  return d == nullptr ? 0 : d[row * gstCommon.ubSenNum + col];
}

}  // namespace

// ---- Zones ------------------------------------------------------------------------------

void DeadZoneInitFromCfg() {
  const uint16_t uwX = S().ubLevel != 0 ? static_cast<uint16_t>(Cfg()[6] * 8u) : 0;
  const uint16_t uwY = static_cast<uint16_t>(Cfg()[5] * 8u);
  EdgeZoneParamAnFromCfgEdgeSd(kEdgeZoneDead, uwY, uwY, uwX, uwX);
}

void ClickZoneInitFromCfg() {
  const uint16_t uwX = static_cast<uint16_t>(Cfg()[GameMode() ? 26 : 8] * 8u);
  const uint16_t uwY = static_cast<uint16_t>(Cfg()[GameMode() ? 25 : 7] * 8u);
  EdgeZoneParamAnFromCfgEdgeSd(kEdgeZoneClick, uwY, uwY, uwX, uwX);
}

void CornerZoneInitFromCfg() {
  LowerCorners(kEdgeZoneCorner, gstGameMode.auwWord[1], gstGameMode.auwWord[2]);
  UpperCornerZoneInitFromCfg();
  if (GameMode() && S().ubLevel != 0 && gstGameMode.auwWord[0] >= 16384) {
    const uint16_t c = static_cast<uint16_t>(Cfg()[19] * 16u);
    if (S().ubLevel == 1) {
      EdgeZoneParamAnFromCfgCorner(kEdgeZoneGameCorner, c, c, 0, 0, c, c, 0, 0);
    } else {
      EdgeZoneParamAnFromCfgCorner(kEdgeZoneGameCorner, 0, 0, c, c, 0, 0, c, c);
    }
  }
}

void UpperCornerZoneInitFromCfg() {
  LowerCorners(kEdgeZoneSquareCorner, kSquareCorner, kSquareCorner);
  // The upper corners lie at the other end; portrait has none (the builder writes the
  // corners of sides 0 and 1 only in landscape).
  const uint16_t s = static_cast<uint16_t>(Cfg()[56] * 16u);
  const uint16_t t = static_cast<uint16_t>(Cfg()[57] * 16u);
  if (S().ubLevel == 1) {
    EdgeZoneParamAnFromCfgCorner(kEdgeZoneUpperCorner, 0, 0, s, t, 0, 0, s, t);
  } else if (S().ubLevel != 0) {
    EdgeZoneParamAnFromCfgCorner(kEdgeZoneUpperCorner, s, t, 0, 0, s, t, 0, 0);
  }
}

uint8_t EdgeZoneFlagAnalysis(uint8_t ubPoint) {
  if (ubPoint >= kCoordPointMax) return 0;
  const uint16_t y = W().uwY, x = W().uwX;
  auto any = [&](uint8_t k, uint8_t from, uint8_t to) {
    for (uint8_t j = from; j <= to; ++j) {
      if (InSub(Zone(k)[j], y, x)) return true;
    }
    return false;
  };
  uint8_t f = 0;
  if (any(kEdgeZoneDead, 0, 3)) {
    f |= kEdgeFlagDead;
  } else if (any(kEdgeZoneClick, 0, 3)) {
    f |= kEdgeFlagClick;
  }
  if (any(kEdgeZoneCorner, 0, 1)) f |= kEdgeFlagCornerLow;
  if (any(kEdgeZoneCorner, 2, 3)) f |= kEdgeFlagCornerHigh;
  if (any(kEdgeZoneSquareCorner, 0, 3)) f |= kEdgeFlagSquare;
  if (any(kEdgeZoneUpperCorner, 0, 3)) f |= kEdgeFlagUpper;
  if (any(kEdgeZoneGameCorner, 0, 1)) f |= kEdgeFlagGameLow;
  if (any(kEdgeZoneGameCorner, 2, 3)) f |= kEdgeFlagGameHigh;
  S().aubZoneFlags[ubPoint] = f;
  return f;
}

// ---- Per-point state ----------------------------------------------------------------------

uint8_t EdgePointStateSet(uint8_t ubPoint) {
  if (ubPoint >= kCoordPointMax) return ubPoint;
  EdgeResState& s = S();
  const uint8_t i = ubPoint;
  if (s.auwAnchorX[i] == kEdgeNoAnchor) {
    s.aubFirstZoneFlags[i] = s.aubZoneFlags[i];
    const uint32_t y = W().uwY, x = W().uwX, eX = ExtentX(), eY = ExtentY();
    const bool boXEnd = x < kLowerCornerBand || x + kLowerCornerBand > eX;
    const bool boYEnd = y < kLowerCornerBand || y + kLowerCornerBand > eY;
    bool boLowerCorner;
    if (s.ubLevel == 0) {
      boLowerCorner = x > eX * 2 / 3 && boYEnd;
    } else if (s.ubLevel == 1) {
      boLowerCorner = y < eY / 3 && boXEnd;
    } else {
      boLowerCorner = y > eY * 2 / 3 && boXEnd;
    }
    if (boLowerCorner) s.aubDelayOut[i] = kDelayOutFrames;
    s.auwAnchorY[i] = W().uwY;
    s.auwAnchorX[i] = W().uwX;
  }
  if (s.aubScratch[i] == 0) {
    s.aubSideBits[i] = static_cast<uint8_t>(W().aubType[i] >> 4);
    s.aubRectState[i] = W().aubType[i] & 0x0Fu;
  }
  s.aubMaxState[i] = std::max(s.aubMaxState[i], s.aubRectState[i]);
  return ubPoint;
}

void MidTouchTimerCount() {
  EdgeResState& s = S();
  const uint8_t m = s.ubClasses;
  if (m != 0) {
    s.ubNoMidFrames = 0;
  } else {
    s.ubNoMidFrames = Sat(s.ubNoMidFrames);
  }
  if ((m & 1u) != 0) {
    s.ubXLowFrames = Sat(s.ubXLowFrames);
    s.ubNoXLowFrames = 0;
  } else {
    s.ubNoXLowFrames = Sat(s.ubNoXLowFrames);
    s.ubXLowFrames = 0;
  }
  if ((m & 2u) != 0) {
    s.ubXHighFrames = Sat(s.ubXHighFrames);
    s.ubNoXHighFrames = 0;
  } else {
    s.ubNoXHighFrames = Sat(s.ubNoXHighFrames);
    s.ubXHighFrames = 0;
  }
}

// ---- Click judgement ----------------------------------------------------------------------

void EdgeClickJudge(uint8_t ubPoint, uint8_t ubMode, uint8_t* pubOut, uint8_t ubLimit, uint8_t ubAllow) {
  if (ubPoint >= kCoordPointMax || pubOut == nullptr) return;
  EdgeResState& s = S();
  const uint8_t i = ubPoint;
  const uint16_t b = Bit(i);
  const uint8_t z = s.aubZoneFlags[i];
  const uint8_t m = s.ubClasses;
  if (ubMode == 192) {
    if (((z & kEdgeFlagGameLow) != 0 && (m & 1u) != 0) || ((z & kEdgeFlagGameHigh) != 0 && (m & 2u) != 0))
      s.uwGameCornerMask |= b;
  }
  if (ubMode == 12 && m != 0) {
    if (s.ubXLowFrames <= 35 && (m & 1u) != 0) s.uwSideClickMask1 |= b;
    if (s.ubXHighFrames <= 35 && (m & 2u) != 0) s.uwSideClickMask2 |= b;
    if (s.aubFrameTime[i] < ubLimit && (((s.uwSideClickMask1 & b) != 0 && (z & kEdgeFlagCornerLow) != 0) ||
                                        ((s.uwSideClickMask2 & b) != 0 && (z & kEdgeFlagCornerHigh) != 0))) {
      s.uwGameCornerMask |= b;
      if ((s.uwSideClickMask1 & b) != 0) {
        s.uwHeldMask1 |= b;
      } else {
        s.uwHeldMask2 |= b;
      }
    }
    if (((s.uwHeldMask1 & b) != 0 && (m & 1u) != 0 && (z & kEdgeFlagCornerLow) != 0) ||
        ((s.uwHeldMask2 & b) != 0 && (m & 2u) != 0 && (z & kEdgeFlagCornerHigh) != 0))
      s.uwGameCornerMask |= b;
  }
  if ((s.uwGameCornerMask & b) != 0) *pubOut = kEdgeResultSuppressed;
  if (ubMode == 192 || *pubOut == kEdgeResultSuppressed) return;
  if (s.aubFrameTime[i] >= ubLimit) {
    *pubOut = (ubAllow != 0 && s.aubMaxState[i] <= 4 && (s.aubFirstZoneFlags[i] & kEdgeFlagDead) == 0) ? 2 : 3;
    return;
  }
  if (s.aubScratch[i] != 0 && s.aubMaxState[i] <= 4) {
    // Another tracked region over this point's node means the touch is part of a wider
    // contact; a lone touch is a click unless a middle touch has only just gone.
    bool boFound = false;
    const uint8_t ubRow = static_cast<uint8_t>(W().uwY >> 9), ubCol = static_cast<uint8_t>(W().uwX >> 9);
    for (uint8_t k = 0; k < kCoordPointMax && !boFound; ++k) {
      if (k == i || gstCoordPair.auwLastRectMaxDiff[k] == 0) continue;
      const RegionRect r = ExpandRect(gstCoordPair.astLastRect[k], gstCommon.ubDrvNum, gstCommon.ubSenNum);
      boFound = r.ubRowStart <= ubRow && ubRow <= r.ubRowEnd && r.ubColStart <= ubCol && ubCol <= r.ubColEnd;
    }
    if (boFound) {
      *pubOut = 3;
    } else {
      const uint8_t ubLimitMid = Cfg()[31];
      bool boRecent;
      if (s.ubLevel != 0) {
        const bool boLowHalf = W().uwY <= ExtentY() / 2;
        boRecent = (s.ubNoXLowFrames != 0 && s.ubNoXLowFrames < ubLimitMid && boLowHalf) ||
                   (s.ubNoXHighFrames != 0 && s.ubNoXHighFrames < ubLimitMid && !boLowHalf);
      } else {
        boRecent = s.ubNoMidFrames != 0 && s.ubNoMidFrames < ubLimitMid;
      }
      *pubOut = boRecent ? 3 : 1;
    }
  } else {
    *pubOut = 3;
  }
  if (s.aubBorderRatio[i] >= 51 && s.auwAge[i] >= 4 && s.auwAge[i] <= 19) *pubOut = 3;
}

// ---- Verdicts -----------------------------------------------------------------------------

uint8_t SetEdgeResFlagCustom(uint8_t ubA, uint8_t ubB, uint8_t ubC, uint8_t ubPoint) {
  if (ubA != 0) return ubA;
  if (ubC != 0 && ubC != 3) return ubC;
  if (ubB != 0) return ubB;
  if (ubPoint >= kCoordPointMax) return 2;
  const EdgeResState& s = S();
  const uint8_t i = ubPoint;
  if (gubClickAreaLongTouchOutEn != 0 || s.aubZoneFlags[i] != 0 || NotVerLowerEdge(i) == 0) return 2;
  const uint16_t T = EdgeCfgU16(39);
  const uint16_t dY = W().uwDy, dX = W().uwDx;
  const EdgeSubRect* click = Zone(kEdgeZoneClick);
  const uint16_t uwYStrip = click[kEdgeSideYLow].uwYHigh;
  const uint16_t uwXStrip = click[kEdgeSideXLow].uwXHigh;
  const uint16_t aY = s.auwAnchorY[i], aX = s.auwAnchorX[i];
  if (dY < T && dX < 2560 && (aY < uwYStrip || aY + uwYStrip > ExtentY())) return 3;
  if (dY > 2559) return 2;
  if (dX < T && (aX < uwXStrip || aX + uwXStrip > ExtentX())) return 3;
  if (dY > 1279 || dX > 1279) return 2;
  if (s.aubFirstZoneFlags[i] > 63) return 3;
  if ((s.uwGameCornerMask & Bit(i)) != 0) return 3;
  return 2;
}

uint8_t EdgeJugdeRectState(uint8_t ubPoint, uint8_t ubSize, uint8_t ubReference, uint8_t ubMode) {
  if (ubPoint >= kCoordPointMax) return 1;
  const EdgeResState& s = S();
  const uint8_t i = ubPoint;
  const int32_t L = std::max<int32_t>(0, s.ubThickEdgeFrame - (W().ubThin != 0 ? 1 : 0));
  const int32_t K = std::max<int32_t>(Cfg()[59], L);
  const uint8_t* r = W().aubRect[i];
  const int32_t w1 = r[1] - r[0] + 1, w2 = r[3] - r[2] + 1;
  const bool boCorner = InCorner(i);
  const int32_t n = ubSize, ref = ubReference;
  uint8_t st;
  if ((n == 0 || (n == 1 && ref >= 2)) && !boCorner) {
    st = 1;
  } else if (n > K + 1 && (w1 >= K || w2 >= K)) {
    st = 6;
  } else if (n <= L) {
    if (s.ubThickEdge < n && (n > ref || s.ubLevel != 0)) {
      st = 5;
    } else {
      st = (!boCorner || n >= ref) ? 2 : 4;
    }
  } else {
    st = 5;
  }
  if (ubMode == 3 && s.ubLevel == 0 && (W().ubSideBits & 2u) != 0 && st >= 5) st = 2;
  return st;
}

// ---- Dynamic zone -------------------------------------------------------------------------

void EdgeResDynamicZone(uint16_t* puwValue1, uint16_t* puwValue2) {
  EdgeResState& s = S();
  const uint16_t D = EdgeCfgU16(20);
  if (D == 0) return;
  EdgeSubRect* click = Zone(kEdgeZoneClick);
  EdgeSubRect* corner = Zone(kEdgeZoneCorner);
  uint16_t* strip1;
  uint16_t* strip2;
  uint16_t* corner1 = puwValue1;
  uint16_t* corner2 = puwValue2;
  const bool boLandscape = s.ubLevel != 0;
  if (boLandscape) {
    strip1 = &click[kEdgeSideXLow].uwXHigh;
    strip2 = &click[kEdgeSideXHigh].uwXLow;
    if (s.ubLevel == 1) {
      corner1 = &corner[0].uwYHigh;
      corner2 = &corner[2].uwYHigh;
    } else {
      corner1 = &corner[1].uwYLow;
      corner2 = &corner[3].uwYLow;
    }
  } else {
    strip1 = &click[kEdgeSideYLow].uwYHigh;
    strip2 = &click[kEdgeSideYHigh].uwYLow;
  }
  const bool f1 = s.aubHold[0] != 0, f2 = s.aubHold[1] != 0;
  if (f1 || f2) {
    if (s.ubSaved == 0) {
      s.ubSavedLevel = s.ubLevel;
      s.auwSavedZone[0] = *strip1;
      s.auwSavedZone[1] = *strip2;
      if (corner1 != nullptr) s.auwSavedZone[2] = *corner1;
      if (corner2 != nullptr) s.auwSavedZone[3] = *corner2;
      s.ubSaved = 1;
    }
    if (s.auwSavedZone[0] != 0) {
      const uint16_t d = (f2 && !f1) ? static_cast<uint16_t>(D / 2) : D;
      *strip1 = static_cast<uint16_t>(s.auwSavedZone[0] + d);
      *strip2 = static_cast<uint16_t>(s.auwSavedZone[1] - d);
    }
    if (boLandscape) {
      const int32_t shift = s.ubLevel == 1 ? kDynamicCornerShift : -kDynamicCornerShift;
      if (f1) *corner1 = static_cast<uint16_t>(s.auwSavedZone[2] + shift);
      if (f2) *corner2 = static_cast<uint16_t>(s.auwSavedZone[3] + shift);
    }
  } else if (s.ubSaved != 0) {
    s.ubSaved = 0;
    // A turn while gripped leaves the zones the new orientation's initialisation built.
    if (s.ubLevel == s.ubSavedLevel) {
      *strip1 = s.auwSavedZone[0];
      *strip2 = s.auwSavedZone[1];
      if (boLandscape) {
        *corner1 = s.auwSavedZone[2];
        *corner2 = s.auwSavedZone[3];
      }
    }
  }
}

// ---- Big-rectangle rule -------------------------------------------------------------------

uint16_t EdgeRectStrength(const uint8_t* pubRect, uint8_t ubPoint, uint16_t* puwCount) {
  EdgeResState& s = S();
  s.ubEdgeLineFlag = 0;
  const uint32_t xs = pubRect[0], xe = pubRect[1], ys = pubRect[2], ye = pubRect[3];
  const uint32_t lastX = gstCommon.ubSenNum - 1u, lastY = gstCommon.ubDrvNum - 1u;
  uint32_t S = 0, N = 0;
  for (uint32_t r = ys; r <= ye && r <= lastY; ++r) {
    for (uint32_t c = xs; c <= xe && c <= lastX; ++c) {
      const int16_t v = DiffAt(r, c);
      if (v >= kStrongNode) {
        S += static_cast<uint32_t>(v);
        ++N;
      }
    }
  }
  if (puwCount != nullptr) *puwCount = static_cast<uint16_t>(N);
  const uint16_t uwMean = N == 0 ? 0 : static_cast<uint16_t>(S / N);
  bool boTop, boLeft;
  if (xs == 0 && ys == 0) {
    boTop = true, boLeft = true;
  } else if (ys == 0 && xe == lastX) {
    boTop = true, boLeft = false;
  } else if (ye == lastY && xe == lastX) {
    boTop = false, boLeft = false;
  } else if (ye == lastY && xs == 0) {
    boTop = false, boLeft = true;
  } else {
    return uwMean;
  }
  const uint32_t row = boTop ? 0 : lastY, col = boLeft ? 0 : lastX;
  uint32_t L = 0, nRow = 0, nCol = 0;
  for (uint32_t c = xs; c <= xe && c <= lastX; ++c) {
    const int16_t v = DiffAt(row, c);
    if (v >= kStrongNode) L += static_cast<uint32_t>(v), ++nRow;
  }
  // The border column without the border row's node.
  const int32_t r0 = boTop ? 1 : static_cast<int32_t>(ys), r1 = boTop ? static_cast<int32_t>(ye) : static_cast<int32_t>(ye) - 1;
  for (int32_t r = r0; r <= r1 && r <= static_cast<int32_t>(lastY); ++r) {
    const int16_t v = DiffAt(static_cast<uint32_t>(r), col);
    if (v >= kStrongNode) L += static_cast<uint32_t>(v), ++nCol;
  }
  const uint32_t uiDiv = S - L == 0 ? 1 : S - L;
  if (ubPoint < kCoordPointMax) s.aubBorderRatio[ubPoint] = static_cast<uint8_t>(std::min<uint32_t>(255, 10 * L / uiDiv));
  s.ubEdgeLineFlag = (nRow >= 5 && nCol >= 4) ? 1 : 0;
  return uwMean;
}

void EdgeRectStateBigCustom(uint8_t* pubOut, uint8_t ubPoint) {
  if ((Cfg()[63] & 0x02u) == 0 || ubPoint >= kCoordPointMax || pubOut == nullptr) return;
  EdgeResState& s = S();
  const uint8_t i = ubPoint;
  const uint16_t n = s.auwAge[i];
  const uint8_t* r = W().aubRect[i];
  const uint8_t lastX = static_cast<uint8_t>(gstCommon.ubSenNum - 1u), lastY = static_cast<uint8_t>(gstCommon.ubDrvNum - 1u);
  if (n < 5 && (r[0] == 0 || r[1] == lastX || r[2] == 0 || r[3] == lastY)) s.aubBigState[i] = 3;
  if (n != 4 && n != 20) return;
  gstCommon.aubWorkRect[0] = r[2];
  gstCommon.aubWorkRect[1] = r[3];
  gstCommon.aubWorkRect[2] = r[0];
  gstCommon.aubWorkRect[3] = r[1];
  const bool boGridCorner = (r[0] == 0 || r[1] == lastX) && (r[2] == 0 || r[3] == lastY);
  const uint32_t stage = n == 4 ? 0 : 1;
  if (boGridCorner && s.aubBigState[i] == (stage == 0 ? 3 : 1)) s.aubBigState[i] = stage == 0 ? 1 : 2;
  if (s.aubBigState[i] != (stage == 0 ? 1 : 2)) return;
  uint16_t uwSize = 0;
  s.auwBigArea[stage][i] = static_cast<uint16_t>((r[1] - r[0] + 1) * (r[3] - r[2] + 1));
  s.auwBigStrength[stage][i] = EdgeRectStrength(r, i, &uwSize);
  s.auwBigSize[stage][i] = uwSize;
  if (stage == 0) {
    if (s.ubEdgeLineFlag != 0) *pubOut = 5;
    return;
  }
  if (s.aubBorderRatio[i] > 60 || s.ubEdgeLineFlag != 0) {
    *pubOut = 5;
    return;
  }
  const int32_t a4 = s.auwBigArea[0][i], a20 = s.auwBigArea[1][i];
  const int32_t s4 = s.auwBigStrength[0][i], s20 = s.auwBigStrength[1][i];
  const int32_t z4 = s.auwBigSize[0][i], z20 = s.auwBigSize[1][i];
  const bool boPortrait = s.ubLevel == 0;
  if (boPortrait && z20 >= 451 && z4 > 480) return;
  if (a20 >= a4) {
    if (s4 > 349 || (std::abs(s4 - s20) >= 20 && s4 >= s20)) return;
    if (a4 >= 6 && a20 > static_cast<uint16_t>(a4 * 3 / 2 - 2)) *pubOut = 5;
    if (z20 <= z4 + 50 && z20 > z4) {
      if (s20 > s4 + 50 || (!boPortrait && z20 > z4 + 30 && s20 > s4 + 20 && z20 < 250)) *pubOut = 5;
    }
    if (z20 <= z4 + 50) {
      if (boPortrait) return;
      if (!(InCorner(i) && z4 <= 191 && z20 <= 191 && z20 > z4 && s4 < s20)) return;
    }
  } else if (!(s4 + 50 < s20 && z20 > z4 + 50)) {
    return;
  }
  *pubOut = 5;
}

// ---- Square roots -------------------------------------------------------------------------

uint16_t LibSqrtU16Rounding(uint32_t uiValue) {
  uint32_t root = 0, bit = 1u << 30;
  while (bit > uiValue) bit >>= 2;
  while (bit != 0) {
    if (uiValue >= root + bit) {
      uiValue -= root + bit;
      root = (root >> 1) + bit;
    } else {
      root >>= 1;
    }
    bit >>= 2;
  }
  return static_cast<uint16_t>(root);
}

uint16_t Vt90ScaMagnitude(int16_t swX, int16_t swY) {
  const uint32_t x = static_cast<uint32_t>(std::abs(static_cast<int32_t>(swX)));
  const uint32_t y = static_cast<uint32_t>(std::abs(static_cast<int32_t>(swY)));
  return LibSqrtU16Rounding(x * x + y * y);
}

// ---- Hooks a phone maker may fill -------------------------------------------------------

void CornerDZIFromCfgCustom() {}
void EdgeResInitCustom() {}
void InitBeforeEdgeResCustom() {}
void EdgeResTypeJudgeCustom() {}
void OutCornerDeadZoneJudgeCustom() {}
uint32_t EdgeResTypeJudgeAgainCustom(uint32_t uiValue) { return uiValue; }
uint32_t EdgeResSetCustom(uint32_t uiValue) { return uiValue; }
void EdgeResPreJudgeCustom() {}

// ---- Small hooks --------------------------------------------------------------------------

void EdgeDelayOutTimerCustom(uint8_t ubPoint) {
  if (ubPoint >= kCoordPointMax) return;
  EdgeResState& s = S();
  if (s.aubDelayOut[ubPoint] == 0) return;
  const int32_t dY = std::abs(W().uwY - s.auwAnchorY[ubPoint]), dX = std::abs(W().uwX - s.auwAnchorX[ubPoint]);
  if (LibSqrtU16Rounding(static_cast<uint32_t>(dY * dY + dX * dX)) >= 257) s.aubMoved[ubPoint] = 1;
  --s.aubDelayOut[ubPoint];
}

void EdgeResJudgeCustom(uint8_t ubPoint, uint8_t* pubOut, uint8_t ubLimit) {
  EdgeClickJudge(ubPoint, 12, pubOut, ubLimit, 1);
}

void EdgeUpperCornerJudgeCustom(uint8_t* pubOut1, uint8_t* pubOut2, uint8_t ubPoint) {
  if (ubPoint >= kCoordPointMax) return;
  const EdgeResState& s = S();
  if ((s.aubZoneFlags[ubPoint] & kEdgeFlagUpper) != 0) EdgeClickJudge(ubPoint, 32, pubOut1, s.ubCornerPressTime, 0);
  if (*pubOut2 != 3) {
    const uint16_t lim = (s.aubMoved[ubPoint] != 0 || s.aubFrameTime[ubPoint] >= 11) ? 2560 : 1280;
    if (W().uwDy > lim || W().uwDx > lim) *pubOut2 = 2;
  }
}

void EdgeRectSuperBigCustom(uint8_t ubPoint) {
  if (ubPoint < kCoordPointMax) S().aubMaxState[ubPoint] = 6;
}

uint8_t EdgeFlagJudgeCustom(uint8_t ubPoint) {
  if (ubPoint >= kCoordPointMax) return 0;
  const EdgeResState& s = S();
  const uint8_t i = ubPoint;
  if (s.aubZoneFlags[i] != 0) return 0;
  if (s.ubLevel == 0 && (s.aubSideBits[i] & 2u) != 0 && (s.uwGameCornerMask & Bit(i)) == 0) return 0;
  const uint16_t T = EdgeCfgU16(39);
  if (T != 0 && W().uwDy < T && W().uwDx < T && (s.aubFirstZoneFlags[i] & 3u) != 0) return 1;
  if (W().uwDy > 1279 || W().uwDx > 1279) return 0;
  return s.aubFirstZoneFlags[i] > 63 ? 1 : 0;
}

uint8_t EdgePointRectJudgeCustom(uint8_t ubPoint) {
  if (ubPoint >= kCoordPointMax) return 0;
  const EdgeResState& s = S();
  const uint8_t i = ubPoint;
  if (s.aubRectState[i] != 2) return 0;
  const uint16_t uwYLim = s.ubLevel != 0 ? 2560 : 2800;
  if (s.aubMaxState[i] < 5 || W().uwDy > 2559 || W().uwDx >= uwYLim) return s.aubCustFrameCnt[i] > 11 ? 1 : 0;
  return 1;
}

uint8_t EdgeDeadAreaJugdeCustom(uint8_t ubOut, uint8_t ubPoint) {
  if (ubOut == 3 || ubPoint >= kCoordPointMax) return 0;
  const EdgeResState& s = S();
  if ((s.aubZoneFlags[ubPoint] & kEdgeFlagDead) != 0) return 1;
  if ((s.aubFirstZoneFlags[ubPoint] & kEdgeFlagDead) == 0) return 0;
  const uint16_t T = EdgeCfgU16(39);
  return (W().uwDy < T && W().uwDx < T) ? 1 : 0;
}

uint8_t EdgeResFlagJudgeCustom(uint8_t ubValue, uint8_t ubPoint) {
  if (ubValue == 3) return 3;
  if (ubPoint >= kCoordPointMax) return ubValue;
  if (S().aubResult[ubPoint] == kEdgeResultReleased || EdgePairMarks()[ubPoint] == kEdgeMarkNone ||
      SameTimeTouchProcEnable() == 0 || (Cfg()[0] & 96u) == 0)
    return ubValue;
  return (W().uwDy > 1023 || W().uwDx >= 10000) ? 2 : 3;
}

uint8_t SameTimeTouchProcEnable() { return (!GameMode() || S().ubLevel == 0) ? 1 : 0; }

void SetSlideThXYCustom(uint16_t* puwX, uint16_t* puwY, uint8_t ubPoint) {
  if (ubPoint >= kCoordPointMax) return;
  if (S().aubMoved[ubPoint] != 0 || S().aubFrameTime[ubPoint] >= 11) {
    *puwX = static_cast<uint16_t>(*puwX * 2u);
    *puwY = static_cast<uint16_t>(*puwY * 2u);
  }
}

uint16_t SetEdgeSlideThCustom(uint16_t uwValue, uint8_t ubPoint) {
  if (ubPoint >= kCoordPointMax || S().aubMaxState[ubPoint] < 5) return uwValue;
  return (S().aubMoved[ubPoint] != 0 || S().aubFrameTime[ubPoint] >= 11) ? 5120 : 2560;
}

void SetEdgeResXYTouchBak(uint8_t ubPoint) {
  if (ubPoint >= kCoordPointMax || (Cfg()[0] & 0x10u) != 0) return;
  EdgeResState& s = S();
  if (s.aubZoneFlags[ubPoint] == s.aubFirstZoneFlags[ubPoint] || (s.aubZoneFlags[ubPoint] & kEdgeFlagClick) != 0) {
    s.auwAnchorY[ubPoint] = W().uwY;
    s.auwAnchorX[ubPoint] = W().uwX;
  }
}

void EdgeRectStateCustom(uint8_t* pubOut, uint8_t ubPoint) {
  if (ubPoint < kCoordPointMax && InCorner(ubPoint)) *pubOut = 4;
}

uint8_t SetCornerPressTimer(uint8_t ubPoint) {
  if (ubPoint >= kCoordPointMax) return 0;
  const EdgeResState& s = S();
  if ((s.aubFirstZoneFlags[ubPoint] & 19u) == 0 && s.aubRectState[ubPoint] == 4) return 1;
  return GameMode() ? s.ubCornerPressTimeGame : s.ubCornerPressTime;
}

void SetSameTimeTouchFlag(uint8_t ubI, uint8_t ubJ, uint8_t ubValue) {
  for (uint8_t k : {ubI, ubJ}) {
    if (k >= kCoordPointMax || S().aubResult[k] == kEdgeResultReleased) continue;
    if (S().ubLevel == 0 && W().aubRect[k][0] < 3) continue;
    EdgePairMarks()[k] = ubValue;
  }
}

void SetClickAreaLaregTouch(uint8_t* pubOut) {
  const uint8_t n = gstCoordComOutput.ubPointNum;
  if (n == 0) *pubOut = 1;
  if (n >= 2) *pubOut = 0;
}

void EdgeRectWeightAnalysis(uint8_t ubPoint) {
  if (ubPoint < kCoordPointMax) S().aubCustFrameCnt[ubPoint] = 0;
}

void EdgeSameTimeTouchCntCustom(uint8_t ubPoint) {
  if (ubPoint < kCoordPointMax && S().auwAge[ubPoint] != 0xFFFF) ++S().auwAge[ubPoint];
}
