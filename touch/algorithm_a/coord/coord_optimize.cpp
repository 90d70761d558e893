// Coordinate optimisation: edge map and stretch, position histories, motion states, lift
// detection and spike filter, the hold threshold with its anchor filter, jump compensation,
// coefficient smoothing and the jump counters. Each step runs over all points before the
// next begins.
#include "coord_optimize.h"

#include <cstring>

#include "coord.h"
#include "coord_pair.h"
#include "framework.h"
#include "region_water.h"

CoordOptm gstCoordOptm;
JumpComp gstJumpCompX[kCoordPointMax];
JumpComp gstJumpCompY[kCoordPointMax];
ThumbFilter gstThumbFilter;
EdgeLongTouch gstEdgeLongTouch;
RegionRect gstHeldRect[kCoordPointMax];
uint8_t gubReleaseCount[kCoordPointMax];
uint16_t guwLastThreshold[kCoordPointMax];
uint16_t guwMaxHoldArea[kCoordPointMax];
uint16_t guwOptmTipBuf[kCoordPointMax];
uint16_t guwFirstTipPonitX = kCoordNoPosition;
uint16_t guwFirstTipPonitY = kCoordNoPosition;
uint8_t gboOptWorkOn;
OptimizeArg* gpstOptimizeArg;
OptmTrace gstCoordOptmTrace;
OptmTrace* gpstOptmTrace = &gstCoordOptmTrace;

namespace {

constexpr uint32_t kLiftRect = 0;
constexpr uint32_t kLatestRect = 1;
constexpr uint32_t kPrevRect = 2;
constexpr uint32_t kNoRectWord = 0xFFFFFFFFu;
constexpr uint8_t kFilterCountCap = 251;
constexpr uint16_t kEdgeBand = 850;

const uint8_t* Cfg() { return gstCoordOptmCfg.aubData; }
const uint8_t* Fa() { return gstFilterAdjustCfg.aubData; }
const uint8_t* Sc() { return gstCoordSpecialCfg.aubData; }
uint16_t U16(const uint8_t* p, uint32_t at) { return static_cast<uint16_t>(p[at] | (p[at + 1] << 8)); }

int32_t Abs16(uint16_t a, uint16_t b) {
  const int32_t d = static_cast<int16_t>(static_cast<uint16_t>(a - b));
  return d < 0 ? -d : d;
}
uint32_t Dist(uint16_t x0, uint16_t y0, uint16_t x1, uint16_t y1) {
  const uint32_t dx = static_cast<uint32_t>(Abs16(x0, x1));
  const uint32_t dy = static_cast<uint32_t>(Abs16(y0, y1));
  return OptIsqrt(dx * dx + dy * dy);
}
uint8_t SatInc(uint8_t v) { return v < 255 ? static_cast<uint8_t>(v + 1) : v; }

bool Present(const OptimizeArg& a, uint8_t i) { return a.puwWeight[i] != 0; }
bool Tracked(const OptimizeArg& a, uint8_t i) { return (a.pubPointState[i] & kLeaveHoldMask) == 0; }

// A lies within B (inclusive on every side).
bool Within(RegionRect a, RegionRect b) {
  return a.ubRowStart >= b.ubRowStart && a.ubRowEnd <= b.ubRowEnd && a.ubColStart >= b.ubColStart &&
         a.ubColEnd <= b.ubColEnd;
}
RegionRect RectOfWord(uint32_t w) { return RegionRectFromWord(w); }

// One slope term of the edge map: UNITS x SLOPE / A, the product cut to 16 bits for the two
// inner slopes; 0 when the divisor is 0.
uint32_t Term(uint32_t units, uint8_t slope, uint8_t A, bool cut) {
  if (A == 0) return 0;
  uint32_t p = units * slope;
  if (cut) p &= 0xFFFFu;
  return p / A;
}

// ---- step 1: edge map and stretch -------------------------------------------------------

uint16_t Stretch(uint16_t v, uint16_t R, uint16_t W, uint16_t kLow, uint16_t kHigh) {
  if (v >= W && static_cast<int32_t>(v) <= static_cast<int32_t>(R) - W) return v;
  const bool high = v >= W;
  const uint16_t K = high ? kHigh : kLow;
  if (v == 0 || K < 10 || K >= W || static_cast<int32_t>(v) > static_cast<int32_t>(R) - 2) return v;
  const uint32_t d = high ? static_cast<uint32_t>(R - v) : v;
  const uint32_t m = static_cast<uint16_t>(W - d) * static_cast<uint32_t>(W) / (W - K);
  const uint32_t r = m > W ? 0 : W - m;
  return static_cast<uint16_t>(high ? R - 1u - r : r);
}

void EdgeMapAndStretch(OptimizeArg& a) {
  const uint8_t* cfg = Cfg();
  const uint8_t* st = gstR4StretchCfg.aubData;
  const uint16_t W = U16(st, 1);
  for (uint8_t i = 0; i < kCoordPointMax; ++i) {
    if (!Present(a, i) || !Tracked(a, i)) continue;
    gstCoordOptm.ubSlopeNearY = cfg[3];
    gstCoordOptm.ubSlopeFarY = cfg[6];
    a.puwY[i] = CoordEdgeLinearize(a.puwY[i], a.uwYRes, 1);
    a.puwX[i] = CoordEdgeLinearize(a.puwX[i], a.uwXRes, 0);
    if (st[0] != 0 && W != 0) {
      a.puwY[i] = Stretch(a.puwY[i], a.uwYRes, W, U16(st, 3), U16(st, 5));
      a.puwX[i] = Stretch(a.puwX[i], a.uwXRes, W, U16(st, 7), U16(st, 9));
    }
  }
}

// ---- step 2: position histories ---------------------------------------------------------

void Histories(const OptimizeArg& a) {
  CoordOptm& o = gstCoordOptm;
  for (uint8_t i = 0; i < kCoordPointMax; ++i) {
    if (!Present(a, i)) {
      if (o.auwHistX[i][0] != kCoordNoPosition) {
        memset(o.aubMoveCount[i], 0, sizeof(o.aubMoveCount[i]));
        for (uint8_t e = 0; e < 10; ++e) o.auwHistX[i][e] = o.auwHistY[i][e] = kCoordNoPosition;
      }
      continue;
    }
    PushPositionHistory(a.puwX[i], a.puwY[i], o.auwHistX[i], o.auwHistY[i], &o.aubMoveCount[i][0], 5, 128);
    PushPositionHistory(a.puwX[i], a.puwY[i], o.auwHistX[i] + 5, o.auwHistY[i] + 5, &o.aubMoveCount[i][0], 5, 512);
  }
}

// ---- step 3: motion states --------------------------------------------------------------

void MotionStates(const OptimizeArg& a) {
  CoordOptm& o = gstCoordOptm;
  const uint8_t* sc = Sc();
  const bool on = (sc[0] & 0x01u) != 0 && a.ubMotionVeto == 0 && !(a.ubCommonMode == 0 && a.ubCommonFlag != 0);
  if (!on) {
    for (uint8_t i = 0; i < kCoordPointMax; ++i) {
      if (o.auwMotionLastX[i] == kCoordNoPosition) continue;
      o.aubMotionState[i] = 0;
      o.auwMotionLastX[i] = kCoordNoPosition;
    }
    return;
  }
  const uint32_t L2 = a.ubSpecialLimitSel != 0 ? U16(sc, 5) : U16(sc, 1);
  const uint32_t R3 = U16(sc, 3) / 2u;
  for (uint8_t i = 0; i < kCoordPointMax; ++i) {
    if (!Present(a, i)) {
      o.aubMotionState[i] = 0;
      o.auwMotionLastX[i] = kCoordNoPosition;
      continue;
    }
    if (o.auwMotionLastX[i] != kCoordNoPosition) {
      const uint32_t d = Dist(a.puwX[i], a.puwY[i], o.auwMotionLastX[i], o.auwMotionLastY[i]);
      if (gstCoordOptmMotion.aubMoveFlag[i] != 0 && d > U16(sc, 11)) gstFingerUpFilter.aubLiftMark[i] = 3;
      const uint8_t c0 = o.aubMoveCount[i][0];
      uint8_t& s = o.aubMotionState[i];
      if (s == 3) {
        if (d < 128 && d < R3) s = 2;
      } else if (s == 2) {
        if (d >= 128 && (d > L2 || c0 < 2)) s = 3;
      } else if (s == 1) {
        s = 2;
      }
    } else {
      o.aubMotionState[i] = 2;
    }
    o.auwMotionLastX[i] = a.puwX[i];
    o.auwMotionLastY[i] = a.puwY[i];
  }
}

// ---- step 4: lift detection and spike filter --------------------------------------------

uint16_t Spike(uint16_t p, uint16_t q, uint16_t v, uint8_t ubMotion, uint8_t ubCommonMode) {
  if ((p > v && p > q) || (p < v && p < q)) return static_cast<uint16_t>((v + q) / 2u);
  if (ubMotion == 3) {
    return ubCommonMode == 0 ? static_cast<uint16_t>((p + v) / 2u) : static_cast<uint16_t>((p + 2u * v + q) / 4u);
  }
  return static_cast<uint16_t>((p + v + q) / 3u);
}

void LiftAndSpike(const OptimizeArg& a) {
  CoordOptm& o = gstCoordOptm;
  FingerUpFilter& up = gstFingerUpFilter;
  const uint8_t* sc = Sc();
  for (uint8_t i = 0; i < kCoordPointMax; ++i) {
    if (!Present(a, i)) {
      if (o.auwSmoothX[i][0] != kCoordNoPosition) {
        for (uint16_t& e : o.auwSmoothX[i]) e = kCoordNoPosition;
        o.auwBakWeight[i] = 0;
        o.auwAnchorX[i] = kCoordNoPosition;
      }
      continue;
    }
    const RegionRect r = a.pstRects[i];
    RegionRect* rr = up.astRect[i];
    if (up.aubLiftMark[i] == 0 && (sc[0] & 0x02u) != 0 && gstCoordOptmMotion.aubMoveFlag[i] != 0) {
      const uint32_t wOld = up.auwWeightOld[i], wNew = up.auwWeightNew[i];
      if (wOld != 0) {
        if (wNew + 150u < wOld && Within(rr[kLatestRect], rr[kPrevRect]) && a.puwWeight[i] + 150u < wNew &&
            Within(r, rr[kLatestRect])) {
          up.aubLiftTimer[i] = 3;
          rr[kLiftRect] = r;
        } else if (!Tracked(a, i)) {
          up.aubLiftTimer[i] = 3;
        }
      }
    }
    up.auwWeightOld[i] = up.auwWeightNew[i];
    up.auwWeightNew[i] = a.puwWeight[i];
    rr[kPrevRect] = rr[kLatestRect];
    rr[kLatestRect] = r;
    const uint16_t x = a.puwX[i], y = a.puwY[i];
    if (o.auwSmoothX[i][0] == kCoordNoPosition) {
      for (uint8_t e = 0; e < 3; ++e) {
        o.auwSmoothX[i][e] = x;
        o.auwSmoothY[i][e] = y;
      }
      gstHeldRect[i] = r;
      rr[kLiftRect] = RectOfWord(kNoRectWord);
      o.auwBakWeight[i] = a.puwWeight[i];
      gstCoordOptmMotion.aubMoveFlag[i] = 0;
      o.auwAnchorX[i] = x;
      o.auwAnchorY[i] = y;
      continue;
    }
    if (!Tracked(a, i)) continue;
    if (Within(gstHeldRect[i], r)) gstHeldRect[i] = r;
    if (a.ubBypass != 0 || gstCoordOptmMotion.aubMoveFlag[i] != 0) {
      o.auwSmoothX[i][0] = x;
      o.auwSmoothY[i][0] = y;
      continue;
    }
    o.auwSmoothX[i][0] = Spike(o.auwSmoothX[i][0], o.auwSmoothX[i][1], x, o.aubMotionState[i], a.ubCommonMode);
    o.auwSmoothY[i][0] = Spike(o.auwSmoothY[i][0], o.auwSmoothY[i][1], y, o.aubMotionState[i], a.ubCommonMode);
  }
}

// ---- step 5: hold threshold and anchor filter -------------------------------------------

struct RectShape {
  uint32_t rows, cols, area;
  bool zero;
};
RectShape Shape(RegionRect r) {
  RectShape s;
  s.rows = static_cast<uint8_t>(r.ubRowEnd - r.ubRowStart);
  s.cols = static_cast<uint8_t>(r.ubColEnd - r.ubColStart);
  s.area = (s.rows + 1) * (s.cols + 1);
  s.zero = RegionRectWord(r) == 0;
  return s;
}

bool NearEdge(uint16_t v, uint16_t R) { return v < kEdgeBand || static_cast<int32_t>(v) > R - kEdgeBand; }

// The threshold a still point is held with (before the terms every point gets).
uint32_t StillThreshold(OptimizeArg& a, uint8_t i, uint32_t B, uint32_t E, uint16_t X, uint16_t Y) {
  const uint8_t* cfg = Cfg();
  const uint8_t lim = a.ubHoldLimit;
  uint32_t Ee = E;
  const int32_t depth = 512 * static_cast<int32_t>(cfg[24]);
  if (a.ubEdgeActive == 0 && a.ubOutCount == 1 && cfg[24] < 5 && a.puwY[i] > a.uwYRes - depth &&
      a.puwX[i] > a.uwXRes - depth) {
    Ee = E + cfg[25];
    a.ubHoldLimit = lim <= 100 ? static_cast<uint8_t>(2 * lim) : 200;
  }
  OptmTrace& tr = *gpstOptmTrace;
  if (gstCoordOptmMotion.aubFilterCount[i] < lim && (cfg[13] & 0x01u) != 0) {
    tr.uwThreshold = static_cast<uint16_t>(Ee + B);
    if ((cfg[13] & 0x04u) != 0) AddHeldRectBonus(i);
    AccumulateWetFingerScore(i, 1);
    uint32_t T = tr.uwThreshold;
    if (Y < kEdgeBand || static_cast<int32_t>(Y) > a.uwYRes - kEdgeBand ||
        static_cast<int32_t>(X) > a.uwXRes - kEdgeBand) {
      T += cfg[21];
    }
    return T;
  }
  return B + 16u * JudgeDropWetFinger(a.pstRects[i], 2);
}

void ThumbTerm(uint8_t i, RectShape s, bool still, uint32_t& T) {
  uint8_t& count = gstCoordOptmMotion.aubThumbCount[i];
  uint8_t& flag = gstThumbFilter.aubThumbFlag[i];
  const bool large = !s.zero && (s.area >= 21 || s.cols > 5 || s.rows > 5);
  const bool medium = s.area >= 18 && s.area <= 20 && s.rows <= 5 && s.cols <= 5 && flag != 0;
  if (large || medium) {
    if (large) flag = 1;
    if (still) {
      count = Fa()[1];
    } else if (count > 60) {
      count = 60;
    }
  } else {
    flag = 0;
    if (count != 0) --count;
    if (!still && count > 60) count = 60;
  }
  T += count;
}

void EdgeLongTouchTerm(const OptimizeArg& a, uint8_t i, uint16_t X, uint16_t Y, uint32_t& T) {
  const uint8_t* fa = Fa();
  EdgeLongTouch& el = gstEdgeLongTouch;
  const uint8_t fc = gstCoordOptmMotion.aubFilterCount[i];
  const uint16_t AX = gstCoordOptm.auwAnchorX[i], AY = gstCoordOptm.auwAnchorY[i];
  if (fc == a.ubHoldLimit) {
    el.auwX[i] = X;
    el.auwY[i] = Y;
    el.aubState[i] = 1;
  }
  if (fc == 1 || (AX >= kEdgeBand && static_cast<int32_t>(AX) <= a.uwXRes - kEdgeBand && AY >= kEdgeBand &&
                  static_cast<int32_t>(AY) <= a.uwYRes - kEdgeBand)) {
    el.aubState[i] = 0;
  }
  if (el.aubState[i] == 255) return;
  if (el.aubState[i] == 1 && ((NearEdge(AY, a.uwYRes) && Abs16(X, el.auwX[i]) > 240) ||
                              (NearEdge(AX, a.uwXRes) && Abs16(Y, el.auwY[i]) > 240))) {
    el.aubState[i] = 255;
    return;
  }
  const int32_t sx = el.auwX[i], sy = el.auwY[i];
  if ((AY < kEdgeBand && sy < Y + 200) || (static_cast<int32_t>(AY) > a.uwYRes - kEdgeBand && Y - 200 < sy)) {
    if (T < fa[3]) T = fa[3];
  } else if ((AX < kEdgeBand && sx < X + 200) ||
             (static_cast<int32_t>(AX) > a.uwXRes - kEdgeBand && X - 200 < sx)) {
    if (T < fa[2]) T = fa[2];
  }
}

// Whether V on an axis of resolution R is clear of both edges or stepping toward the middle.
bool AxisAwayOrInward(uint16_t v, uint16_t prev, uint16_t R) {
  if (v >= 512 && static_cast<int32_t>(v) <= R - 512) return true;
  return (static_cast<int32_t>(v) - prev) * (static_cast<int32_t>(v) - 512) < 0;
}

void HoldAndAnchor(OptimizeArg& a) {
  const uint8_t* cfg = Cfg();
  const uint8_t* fa = Fa();
  const uint8_t* sc = Sc();
  CoordOptm& o = gstCoordOptm;
  CoordOptmMotion& mo = gstCoordOptmMotion;
  OptmTrace& tr = *gpstOptmTrace;
  if (cfg[18] >= 13) a.ubHoldLimit = (a.ubGameHoldFrames != 0 && a.ubTuneFlag != 0) ? a.ubGameHoldFrames : cfg[18];
  uint32_t B = U16(cfg, 14);
  uint32_t E = U16(cfg, 19);
  if (E < 109) E = 108;
  if (a.ubPairedCount == 0) {
    for (uint16_t& t : guwOptmTipBuf) t = kCoordNoPosition;
    guwFirstTipPonitX = guwFirstTipPonitY = kCoordNoPosition;
  }
  gboOptWorkOn = 0;
  const uint8_t minT = cfg[16];
  for (int8_t si = kCoordPointMax - 1; si >= 0; --si) {
    const uint8_t i = static_cast<uint8_t>(si);
    gstFstCoordSmooth.aubMovedCopy[i] = mo.aubMoveFlag[i];
    if (!Present(a, i)) {
      gubReleaseCount[i] = 0;
      guwLastThreshold[i] = 0;
      mo.aubFilterCount[i] = 0;
      gstThumbFilter.aubThumbFlag[i] = 0;
      mo.aubThumbCount[i] = 0;
      guwMaxHoldArea[i] = 0;
      continue;
    }
    if (mo.aubFilterCount[i] < kFilterCountCap) ++mo.aubFilterCount[i];
    const uint16_t X = o.auwSmoothX[i][0], Y = o.auwSmoothY[i][0];
    const uint16_t AX = o.auwAnchorX[i], AY = o.auwAnchorY[i];
    const uint32_t adx = static_cast<uint32_t>(Abs16(X, AX)), ady = static_cast<uint32_t>(Abs16(Y, AY));
    const uint32_t D = OptIsqrt(adx * adx + ady * ady);
    uint32_t T = minT;
    uint32_t Tx = cfg[17], Ty = cfg[17];
    if (a.ubPairedCount == 1 && a.ubTuneFlag != 0 && a.ubCommonMode == 0) {
      gboOptWorkOn = 1;
      if (guwFirstTipPonitX == kCoordNoPosition) {
        guwFirstTipPonitX = AX;
        guwFirstTipPonitY = AY;
      }
      const uint32_t d = Dist(X, Y, guwFirstTipPonitX, guwFirstTipPonitY);
      const uint32_t ta = fa[0] != 0 ? fa[0] : 32, tb = fa[7] != 0 ? fa[7] : 64;
      T = ta;
      if (d > ta) T = d < tb ? 24 + static_cast<uint16_t>((ta - 24) * (d - ta)) / (tb - ta) : 24;
      Tx = Ty = 12;
    }
    if (a.ubLargeTouch != 0 && adx < minT && ady < 8u * minT) {
      B = static_cast<uint16_t>(3 * B);
      T = B;
    }
    const bool still = mo.aubMoveFlag[i] == 0;
    if (still) {
      T = StillThreshold(a, i, B, E, X, Y);
      if (T < minT) T = minT;
    }
    const RectShape s = Shape(a.pstRects[i]);
    ThumbTerm(i, s, still, T);
    if (a.ubGameFlag == 0 && a.ubTuneFlag != 0) {
      if (still) {
        T = a.uwGameHoldThreshold;
        if (a.ubHoldLimit <= mo.aubFilterCount[i] && T > 59) T = 60;
      } else {
        T = a.ubGameMoveThreshold;
      }
    }
    if (still && !s.zero && s.area != 0) {
      if (mo.aubFilterCount[i] == 1) {
        guwMaxHoldArea[i] = static_cast<uint16_t>(s.area);
      } else {
        if (s.area > guwMaxHoldArea[i]) guwMaxHoldArea[i] = static_cast<uint16_t>(s.area);
        if (mo.aubFilterCount[i] > 2u * a.ubHoldLimit && guwMaxHoldArea[i] < 21 && a.ubTuneFlag != 0) {
          T = fa[0] != 0 ? fa[0] : 32;
        }
      }
    }
    if (fa[3] != 0 && fa[2] != 0 && still) EdgeLongTouchTerm(a, i, X, Y, T);
    const FingerUpFilter& up = gstFingerUpFilter;
    if (up.aubLiftTimer[i] != 0) {
      T += sc[10];
      if (up.auwWeightNew[i] + 400u < up.auwWeightOld[i] && AxisAwayOrInward(X, o.auwSmoothX[i][1], a.uwXRes) &&
          AxisAwayOrInward(Y, o.auwSmoothY[i][1], a.uwYRes)) {
        T += 2u * sc[10];
      }
    }
    if (a.ubFloatRegion != 0) T += a.ubFloatSelf != 0 ? 4u * fa[5] : fa[5];
    if (a.ubOutCount >= 7) T += fa[6];
    if (a.ubTuneFlag == 0 && a.ubNoiseActive != 0) {
      const uint32_t add = a.ubTrackOn == 0 ? 50 : (a.ubNoiseCfgOn != 0 ? a.ubNoiseCfgAdd : 0);
      T = a.ubForceFifty != 0 ? 50 : T + add;
    }
    if (a.ubBypass == 1) T = Tx = Ty = 0;
    T &= 0xFFFFu;
    if (T + 30 < guwLastThreshold[i] && gubReleaseCount[i] == 1) gubJumpCompFlag[i] = 1;
    uint16_t nx = AX, ny = AY;
    if (D > T) {
      const uint32_t ex = adx > Tx ? (D - T) * adx / D : 0;
      const uint32_t ey = ady > Ty ? (D - T) * ady / D : 0;
      mo.aubMoveFlag[i] = 1;
      nx = static_cast<uint16_t>(static_cast<int16_t>(X - AX) >= 0 ? AX + ex : AX - ex);
      ny = static_cast<uint16_t>(static_cast<int16_t>(Y - AY) >= 0 ? AY + ey : AY - ey);
      gubReleaseCount[i] = SatInc(gubReleaseCount[i]);
    }
    o.auwSmoothX[i][0] = nx;
    o.auwSmoothY[i][0] = ny;
    guwLastThreshold[i] = static_cast<uint16_t>(T);
    tr.uwThreshold = static_cast<uint16_t>(T);
    tr.ubMinStepX = static_cast<uint8_t>(Tx);
    tr.ubMinStepY = static_cast<uint8_t>(Ty);
    // Weight with a dead band of half the minimum threshold. A present point keeps a weight
    // of at least 1: the halving would otherwise turn a weight of 1 into 0, and a weight of
    // 0 means "no point", which would drop a finger that is still down.
    const uint32_t h = minT / 2u;
    const uint32_t bak = o.auwBakWeight[i];
    const uint32_t avg = bak / 2u + a.puwWeight[i] / 2u;
    uint32_t w = avg > bak + h ? avg - h : (avg + h < bak ? avg + h : bak);
    if (w == 0) w = 1;
    a.puwWeight[i] = static_cast<uint16_t>(w);
    o.auwBakWeight[i] = static_cast<uint16_t>(w);
  }
}

// ---- step 6: jump compensation ----------------------------------------------------------

void StartJump(JumpComp& j, int32_t v, int32_t e, int32_t anchor, int32_t res) {
  j.uwPrevAnchor = static_cast<uint16_t>(anchor);
  j.uwCurrent = static_cast<uint16_t>(v);
  j.uwStep = static_cast<uint16_t>(v > anchor ? v - anchor : anchor - v);
  j.swVelocity = static_cast<int16_t>(j.swVelocity + v + e - anchor);
  j.uwVelocityMag = static_cast<uint16_t>(j.swVelocity < 0 ? -j.swVelocity : j.swVelocity);
  int32_t budget = j.swVelocity < 0 ? v + e : res - (v + e);
  if (budget > 600) budget = 600;
  if (budget < 2) budget = 1;
  j.uwEdgeBudget = static_cast<uint16_t>(budget);
  j.uwTravel = 0;
}

void DecayJump(JumpComp& j, int32_t v, int32_t anchor) {
  j.uwCurrent = static_cast<uint16_t>(v);
  j.uwPrevAnchor = static_cast<uint16_t>(anchor);
  j.ubActive = 1;
  const int32_t step = v - anchor;
  if (step * j.swVelocity < 1) return;
  const uint32_t travel = j.uwTravel + static_cast<uint32_t>(step < 0 ? -step : step);
  const int32_t dec = j.uwEdgeBudget == 0 ? 0 : static_cast<int32_t>(travel * j.uwVelocityMag / j.uwEdgeBudget);
  if (static_cast<int16_t>(dec) <= 0) {
    j.uwTravel = static_cast<uint16_t>(travel);
    return;
  }
  const int32_t vel = j.swVelocity;
  if ((vel < 0 ? -vel : vel) <= dec) {
    j.swVelocity = 0;
  } else {
    j.swVelocity = static_cast<int16_t>(vel > 0 ? vel - dec : vel + dec);
  }
}

void JumpCompensation(const OptimizeArg& a) {
  CoordOptm& o = gstCoordOptm;
  for (uint8_t i = 0; i < kCoordPointMax; ++i) {
    JumpComp& jx = gstJumpCompX[i];
    JumpComp& jy = gstJumpCompY[i];
    if (!Present(a, i)) {
      gubJumpCompFlag[i] = 0;
      jx.swVelocity = jy.swVelocity = 0;
      continue;
    }
    const int32_t x = o.auwSmoothX[i][0], y = o.auwSmoothY[i][0];
    int32_t ax = o.auwAnchorX[i], ay = o.auwAnchorY[i];
    if (gubJumpCompFlag[i] == 1 && a.ubJumpCompOn != 0) {
      int32_t ex = 0, ey = 0;
      if (o.auwSmoothX[i][2] != kCoordNoPosition) {
        ex = o.auwSmoothX[i][2] - o.auwSmoothX[i][1];
        ey = o.auwSmoothY[i][2] - o.auwSmoothY[i][1];
      }
      const int32_t oldVx = jx.swVelocity, oldVy = jy.swVelocity;
      StartJump(jx, x, ex, ax, a.uwXRes);
      StartJump(jy, y, ey, ay, a.uwYRes);
      jy.ubActive = 1;
      gubJumpCompFlag[i] = 0;
      ax = x + ex + oldVx;
      ay = y + ey + oldVy;
    }
    DecayJump(jx, x, ax);
    if (jy.ubActive != 0) DecayJump(jy, y, ay);
    o.auwSmoothX[i][0] = static_cast<uint16_t>(x > jx.swVelocity ? x - jx.swVelocity : 0);
    o.auwSmoothY[i][0] = static_cast<uint16_t>(y > jy.swVelocity ? y - jy.swVelocity : 0);
    o.auwAnchorX[i] = static_cast<uint16_t>(x);
    o.auwAnchorY[i] = static_cast<uint16_t>(y);
  }
}

// ---- step 7: lift timers ----------------------------------------------------------------

void LiftTimers(const OptimizeArg& a) {
  FingerUpFilter& up = gstFingerUpFilter;
  for (uint8_t i = 0; i < kCoordPointMax; ++i) {
    if (up.aubLiftTimer[i] != 0) --up.aubLiftTimer[i];
    if (up.aubLiftMark[i] != 0) --up.aubLiftMark[i];
    if (!Present(a, i)) {
      up.aubLiftTimer[i] = up.aubLiftMark[i] = 0;
      up.auwWeight[i] = up.auwWeightNew[i] = up.auwWeightOld[i] = 0;
      up.astRect[i][kLiftRect] = RectOfWord(kNoRectWord);
    } else if (up.aubLiftTimer[i] == 0) {
      up.astRect[i][kLiftRect] = RectOfWord(kNoRectWord);
    }
  }
}

// ---- step 8: coefficient smoothing ------------------------------------------------------

int32_t Blend(const uint16_t* e, const uint16_t* c, uint32_t S) {
  if (S != 0) return static_cast<int32_t>((c[0] * static_cast<uint32_t>(e[0]) + c[1] * e[1] + c[2] * e[2]) / S);
  return (static_cast<int32_t>(e[0]) + e[1] + e[2]) / 3;
}

void CoefficientSmoothing(OptimizeArg& a, uint16_t S) {
  CoordOptm& o = gstCoordOptm;
  const int32_t k = Cfg()[22];
  for (uint8_t i = 0; i < kCoordPointMax; ++i) {
    if (!Present(a, i)) continue;
    uint16_t* ex = o.auwSmoothX[i];
    uint16_t* ey = o.auwSmoothY[i];
    if (!Tracked(a, i)) {
      if (a.ubTrackOn == 0) continue;
      ex[1] = ex[2] = ex[0];
      ey[1] = ey[2] = ey[0];
      a.puwX[i] = ex[0];
      a.puwY[i] = ey[0];
      continue;
    }
    int32_t f = o.aubMotionState[i] == 3 ? 2 : k;
    if (a.ubWetMode != 0 && a.ubLargeTouch != 0 && f < 12) f = 11;
    const int32_t v = a.puwX[i], w = a.puwY[i];
    int32_t sx, sy;
    if (o.aubMotionState[i] == 3 && a.ubWetMode != 0 && a.ubLargeTouch != 0 &&
        JudgeDropWetFinger(a.pstRects[i], 0) == 0) {
      sx = (ex[0] + v) / 2;
      sy = (ey[0] + w) / 2;
    } else {
      sx = Blend(ex, a.puwCoeff, S);
      sy = Blend(ey, a.puwCoeff, S);
    }
    ex[2] = ex[1];
    ex[1] = ex[0];
    ey[2] = ey[1];
    ey[1] = ey[0];
    ex[0] = static_cast<uint16_t>(sx * f / 16 + (16 - f) * v / 16);
    ey[0] = static_cast<uint16_t>(sy * f / 16 + (16 - f) * w / 16);
    if (a.ubBypass == 1 && JudgeWetSmoothState() == 0) {
      ex[0] = static_cast<uint16_t>(v);
      ey[0] = static_cast<uint16_t>(w);
      sx = v;
      sy = w;
    }
    a.puwX[i] = static_cast<uint16_t>(sx);
    a.puwY[i] = static_cast<uint16_t>(sy);
  }
}

// ---- step 9: jump and touch-delay counters ----------------------------------------------

void JumpCounters(OptimizeArg& a) {
  CoordOptm& o = gstCoordOptm;
  const uint16_t* sx = o.auwSmoothX[0];
  const uint16_t* sy = o.auwSmoothY[0];
  if (a.ubTrackOn != 0 && a.ubTuneFlag == 0 && a.ubCommonMode == 0 && a.ubPairedCount != 0 &&
      sx[0] != kCoordNoPosition && sx[1] != kCoordNoPosition && sy[0] != kCoordNoPosition &&
      sy[1] != kCoordNoPosition) {
    const int32_t dx = Abs16(sx[0], sx[1]), dy = Abs16(sy[0], sy[1]);
    if (dx > 256 || dy > 256) o.ubJumpCount = 25;
    if (dx > 1024 || dy > 1024) o.ubTouchDelayCount = 5;
    if (o.ubJumpCount != 0) --o.ubJumpCount;
    if (o.ubTouchDelayCount != 0) --o.ubTouchDelayCount;
    a.ubJumpOut = o.ubJumpCount;
    return;
  }
  o.ubJumpCount = o.ubTouchDelayCount = 0;
  a.ubJumpOut = 0;
}

}  // namespace

uint32_t OptIsqrt(uint32_t v) {
  uint32_t root = 0;
  for (uint32_t bit = 1u << 30; bit != 0; bit >>= 2) {
    if (v >= root + bit) {
      v -= root + bit;
      root = (root >> 1) + bit;
    } else {
      root >>= 1;
    }
  }
  return root;
}

uint16_t CoordEdgeLinearize(uint16_t v, uint16_t R, uint8_t ubAxis) {
  const uint8_t* cfg = Cfg();
  const uint8_t A = cfg[0];
  const bool near = v < 1024;
  uint8_t s1, s2, s3;
  if (ubAxis == 1) {
    s1 = near ? cfg[1] : cfg[4];
    s2 = near ? cfg[2] : cfg[5];
    s3 = near ? gstCoordOptm.ubSlopeNearY : gstCoordOptm.ubSlopeFarY;
  } else {
    s1 = near ? cfg[7] : cfg[10];
    s2 = near ? cfg[8] : cfg[11];
    s3 = near ? cfg[9] : cfg[12];
  }
  OptmTrace& tr = *gpstOptmTrace;
  tr.aubEdgeMap[0] = A;
  tr.aubEdgeMap[1] = s1;
  tr.aubEdgeMap[2] = s2;
  tr.aubEdgeMap[3] = s3;
  if (near) {
    uint32_t sum;
    if (v >= 768) {
      sum = Term(1024u - v, s1, A, true);
    } else if (v >= 512) {
      sum = (Term(256, s1, A, true) + Term(768u - v, s2, A, true)) & 0xFFFFu;
    } else {
      sum = (Term(256, s1, A, true) + Term(256, s2, A, true) + Term(512u - v, s3, A, false)) & 0xFFFFu;
    }
    return sum > 1024 ? 0 : static_cast<uint16_t>(1024u - sum);
  }
  const uint16_t L = static_cast<uint16_t>(R - 1025u);
  if (v <= L) return v;
  const uint32_t f = static_cast<uint32_t>(v - L);
  uint32_t add;
  if (f <= 256) {
    add = Term(f, s1, A, true);
  } else if (f <= 512) {
    add = (Term(256, s1, A, true) + Term(f - 256, s2, A, true)) & 0xFFFFu;
  } else {
    add = (Term(256, s1, A, true) + Term(256, s2, A, true) + Term(f - 512, s3, A, false)) & 0xFFFFu;
  }
  return static_cast<uint16_t>(L + (add < 1024 ? add : 1024));
}

void CoordOptimizeSetTempSizeInit() {
  if (guwTempBufferSizes < 12) guwTempBufferSizes = 12;
}

void CoordOptimizeInit(const uint64_t* puulAddr) {
  if (puulAddr != nullptr && *puulAddr != 0) {
    gpstOptmTrace = reinterpret_cast<OptmTrace*>(static_cast<uintptr_t>(*puulAddr));
  }
  CoordOptm& o = gstCoordOptm;
  memset(o.auwSmoothX, 0xFF, sizeof(o.auwSmoothX));
  memset(o.auwSmoothY, 0xFF, sizeof(o.auwSmoothY));
  memset(o.auwHistX, 0xFF, sizeof(o.auwHistX));
  memset(o.auwHistY, 0xFF, sizeof(o.auwHistY));
  memset(o.auwAnchorX, 0xFF, sizeof(o.auwAnchorX));
  memset(o.auwAnchorY, 0xFF, sizeof(o.auwAnchorY));
  memset(o.aubMoveCount, 0, sizeof(o.aubMoveCount));
  memset(o.auwBakWeight, 0, sizeof(o.auwBakWeight));
  memset(gstCoordOptmMotion.aubFilterCount, 0, sizeof(gstCoordOptmMotion.aubFilterCount));
  memset(gstCoordOptmMotion.aubMoveFlag, 0, sizeof(gstCoordOptmMotion.aubMoveFlag));
  memset(o.aubMotionState, 0, sizeof(o.aubMotionState));
  o.ubJumpCount = 0;
  o.ubTouchDelayCount = 0;
  memset(gstJumpCompX, 0, sizeof(gstJumpCompX));
  memset(gstJumpCompY, 0, sizeof(gstJumpCompY));
}

uint16_t CoordOptimize(OptimizeArg* pstArg) {
  if (pstArg == nullptr || pstArg->puwWeight == nullptr || pstArg->puwX == nullptr || pstArg->puwY == nullptr ||
      pstArg->pubPointState == nullptr || pstArg->pstRects == nullptr || pstArg->puwCoeff == nullptr) {
    return 0;
  }
  gpstOptimizeArg = pstArg;
  OptimizeArg& a = *pstArg;
  const uint16_t S = static_cast<uint16_t>(a.puwCoeff[0] + a.puwCoeff[1] + a.puwCoeff[2]);
  EdgeMapAndStretch(a);
  Histories(a);
  MotionStates(a);
  LiftAndSpike(a);
  HoldAndAnchor(a);
  JumpCompensation(a);
  LiftTimers(a);
  CoefficientSmoothing(a, S);
  JumpCounters(a);
  gpstOptimizeArg = nullptr;
  return S;
}

uint16_t (*CoordGetSmoothBufX())[3] { return gstCoordOptm.auwSmoothX; }
uint16_t (*CoordGetSmoothBufY())[3] { return gstCoordOptm.auwSmoothY; }
uint16_t* CoordGetBakWeight() { return gstCoordOptm.auwBakWeight; }
uint8_t* CoordGetFilterCntPoint() { return gstCoordOptmMotion.aubFilterCount; }
uint8_t* CoordGetFilterDirPoint() { return gstCoordOptmMotion.aubMoveFlag; }
uint8_t GetTouchDelayCnt() { return gstCoordOptm.ubTouchDelayCount; }

void SetJumpCompensateFlag(uint32_t i) {
  if ((i & 255u) < kCoordPointMax) gubJumpCompFlag[i & 255u] = 1;
}

uint32_t CalcPackedRectArea(RegionRect r) {
  if (RegionRectWord(r) == 0) return 0;
  return static_cast<uint32_t>(static_cast<uint8_t>(r.ubColEnd - r.ubColStart) + 1) *
         (static_cast<uint8_t>(r.ubRowEnd - r.ubRowStart) + 1u);
}

void AddHeldRectBonus(uint8_t i) {
  const OptimizeArg* a = gpstOptimizeArg;
  if (a == nullptr || i >= kCoordPointMax) return;
  if (Within(gstHeldRect[i], a->pstRects[i]) || Within(a->pstRects[i], gstHeldRect[i])) {
    gpstOptmTrace->uwThreshold = static_cast<uint16_t>(gpstOptmTrace->uwThreshold + 100);
  }
}

uint8_t AccumulateWetFingerScore(uint8_t i, uint8_t ubMode) {
  const OptimizeArg* a = gpstOptimizeArg;
  if (a == nullptr || i >= kCoordPointMax) return 0;
  const uint8_t s = JudgeDropWetFinger(a->pstRects[i], ubMode);
  if (s != 0) gpstOptmTrace->uwThreshold = static_cast<uint16_t>(gpstOptmTrace->uwThreshold + 16u * s);
  return s;
}

uint16_t StepTowardTarget(uint16_t v, uint16_t t, uint16_t step) {
  if (static_cast<uint32_t>(v) <= static_cast<uint32_t>(t) + step) {
    const uint32_t up = static_cast<uint32_t>(v) + step;
    return static_cast<uint16_t>(up < t ? up : t);
  }
  return static_cast<uint16_t>(v - step);
}

void PushPositionHistory(uint16_t x, uint16_t y, uint16_t* hx, uint16_t* hy, uint8_t* pubCounter, uint8_t ubLength,
                         uint16_t uwDistance) {
  if (static_cast<int16_t>(hx[0]) < 0 || static_cast<int16_t>(hy[0]) < 0) {
    hx[0] = x;
    hy[0] = y;
    return;
  }
  if (Dist(x, y, hx[0], hy[0]) > uwDistance) {
    for (uint8_t e = static_cast<uint8_t>(ubLength - 1); e > 0; --e) {
      hx[e] = hx[e - 1];
      hy[e] = hy[e - 1];
    }
    hx[0] = x;
    hy[0] = y;
    *pubCounter = 1;
  } else {
    *pubCounter = SatInc(*pubCounter);
  }
}

void ResetPositionHistory(uint16_t* hx, uint16_t* hy, uint8_t* pubCounters) {
  if (hx[0] == kCoordNoPosition) return;
  pubCounters[0] = pubCounters[1] = 0;
  for (uint8_t e = 0; e < 10; ++e) hx[e] = hy[e] = kCoordNoPosition;
}

uint8_t GetOptimizePointState(uint8_t i) {
  const OptimizeArg* a = gpstOptimizeArg;
  if (a == nullptr || i >= kCoordPointMax) return 0;
  return a->pubPointState[i] & kLeaveHoldMask;
}

void SetFingerUpFilterCount(uint8_t i, uint32_t v) {
  if (i >= kCoordPointMax) return;
  gstFingerUpFilter.auwWeight[i] = v >= 65535u ? 65535 : static_cast<uint16_t>(v + 1);
}

void CopyWordsDescending(const uint16_t* src, uint16_t* dst, uint32_t n) {
  for (uint32_t k = n; k > 0; --k) dst[k - 1] = src[k - 1];
}
