// Coordinate pairing: gives each region of the frame the point slot that continues it, takes
// free slots for new touches, delays their first report, holds a lost point for a few
// frames and writes the frame's points into the point arrays.
#include <cstring>

#include "coord_pair.h"
#include "framework.h"

CoordPairStatics gstCoordPairStatics;
uint8_t gubLastTwoBigRectSameColm;
uint8_t gubHaveComplement;
uint16_t guwCurCompleFlag;
uint16_t guwLastCompleFlag;
uint8_t gubJumpCompFlag[kCoordPointMax];
uint8_t gubMaybeLargeCopper;
uint8_t gubThumbStateErrId;
uint8_t gstMutualFloatCfg[12];
CoordOptHistory gstCoordOptHistory;
CoordRegionFlags gstCoordRegionFlags;
uint8_t gstSteadyFloat[12];

namespace {

// Used until pairing runs and when initialisation got no buffer: the routines of the core
// always find an input and a scratch.
CoordPairInput sstIdleInput;
CoordPairScratch sstOwnScratch;

constexpr uint16_t kBaseMoveLimit = 2400;
constexpr uint16_t kBaseStepLimit = 40;
constexpr uint16_t kFullRateInterval = 8000;
constexpr uint8_t kMaxRateScale = 4;
constexpr uint16_t kNoDist = 0xFFFF;

uint16_t Sat16(uint32_t v) { return v > 0xFFFFu ? 0xFFFF : static_cast<uint16_t>(v); }

uint16_t SqDist(int32_t dx, int32_t dy) {
  return Sat16(static_cast<uint32_t>(dx * dx) + static_cast<uint32_t>(dy * dy));
}

bool Occupied(uint8_t j) { return gstCoordPair.auwLastRectMaxDiff[j] != 0; }

uint8_t TrackFrames(uint8_t j) {
  const RegionTrackSlot& t = gstRegionAcquireState.astSlot[j];
  return t.ubActive != 0 ? t.ubFrameCnt : 0;
}

// ---- conflict resolution --------------------------------------------------------------

// Vote of candidate C against the best B for slot S: 1 or more replaces the best.
int32_t Vote(uint8_t s, uint8_t b, uint8_t c) {
  const CoordPairInput& in = PairIn();
  const CoordPairScratch& sc = PairScratch();
  const int32_t db = sc.auwDist[b], dc = sc.auwDist[c];
  int32_t v = 0;
  const int32_t m = db > 99 ? 30 : 15;
  if (dc + m < db) {
    v += 2;
  } else if (db <= 99 && db + m < dc) {
    v -= 2;
  } else if (db > 300) {
    v += 11 * dc < 10 * db ? 1 : -1;
  } else {
    v += 12 * dc < 10 * db ? 1 : -1;
  }
  const RegionRect L = gstCoordPair.astLastRect[s];
  const int32_t h = static_cast<int32_t>(RectH(L)), w = static_cast<int32_t>(RectW(L));
  if (h + w >= 4) {
    const RegionRect rb = in.pstRect[b], rc = in.pstRect[c];
    const int32_t eb = AbsI(static_cast<int32_t>(RectH(rb)) - h) + AbsI(static_cast<int32_t>(RectW(rb)) - w);
    const int32_t ec = AbsI(static_cast<int32_t>(RectH(rc)) - h) + AbsI(static_cast<int32_t>(RectW(rc)) - w);
    if (ec < eb) v += 2;
    if (ec > eb) v -= 1;
  }
  const int32_t P = gstCoordPair.auwLastRectMaxDiff[s];
  const int32_t pb = in.puwPeak[b], pc = in.puwPeak[c];
  if (pb < 400 && pc < 400 && AbsI(pc - P) + 100 < AbsI(pb - P)) {
    v += 1;
  } else if (!(AbsI(pc - P) < AbsI(pb - P) + 100)) {
    v -= 1;
  }
  if (in.ubDirectionSwitch != 0) {
    const int32_t x1 = gstCoordPair.auwSlotX[s], y1 = gstCoordPair.auwSlotY[s];
    const int32_t x0 = gstCoordPair.auwPrevSlotX[s], y0 = gstCoordPair.auwPrevSlotY[s];
    const int32_t xb = sc.auwQx[b], yb = sc.auwQy[b], xc = sc.auwQx[c], yc = sc.auwQy[c];
    if (x1 == x0 && y1 != y0) {
      v += AbsI(xc - x1) < AbsI(xb - x1) ? 2 : -1;
    } else if (y1 == y0 && x1 != x0) {
      v += AbsI(yc - y1) < AbsI(yb - y1) ? 2 : -1;
    } else if (x1 != x0 && y1 != y0) {
      auto lineY = [&](int32_t x) { return y1 + (y0 - y1) * (x - x1) / (x0 - x1); };
      v += AbsI(yc - lineY(xc)) < AbsI(yb - lineY(xb)) ? 2 : -1;
    }
  }
  return v;
}

// ---- matching -------------------------------------------------------------------------

uint16_t PredictedCost(uint8_t k, uint8_t j) {
  const CoordPairScratch& sc = PairScratch();
  const int32_t px = 2 * static_cast<int32_t>(gstCoordPair.auwSlotX[j]) - gstCoordPair.auwPrevSlotX[j];
  const int32_t py = 2 * static_cast<int32_t>(gstCoordPair.auwSlotY[j]) - gstCoordPair.auwPrevSlotY[j];
  // Saturated rather than wrapped: a far region must not look near.
  return SqDist(static_cast<int32_t>(sc.auwQx[k]) - px, static_cast<int32_t>(sc.auwQy[k]) - py);
}

void Pair(uint8_t k, uint8_t j, uint16_t uwDist) {
  CoordPairScratch& sc = PairScratch();
  gstCoordPair.aubOrderIndex[k] = j;
  ++sc.aubSlotRegionCount[j];
  sc.auwDist[k] = uwDist;
}

bool TwoRegionMatch() {
  const CoordPairInput& in = PairIn();
  if (!((gstCoordRegionFlags.ubF2 != 0 || in.ubFloatSelf != 0) && in.ubRegionCount == 2 && in.ubLastReportCount == 2)) {
    return false;
  }
  uint8_t a = kCoordNoSlot, b = kCoordNoSlot;
  for (uint8_t j = 0; j < kCoordPointMax; ++j) {
    if (!Occupied(j)) continue;
    if (a == kCoordNoSlot) {
      a = j;
    } else {
      b = j;
      break;
    }
  }
  if (b == kCoordNoSlot) return false;
  const CoordPairScratch& sc = PairScratch();
  const int32_t rx = static_cast<int32_t>(sc.auwQx[0]) - sc.auwQx[1];
  const int32_t ry = static_cast<int32_t>(sc.auwQy[0]) - sc.auwQy[1];
  const int32_t sx = static_cast<int32_t>(gstCoordPair.auwSlotX[a]) - gstCoordPair.auwSlotX[b];
  const int32_t sy = static_cast<int32_t>(gstCoordPair.auwSlotY[a]) - gstCoordPair.auwSlotY[b];
  if (rx * sx + ry * sy < 0) {
    const uint8_t t = a;
    a = b;
    b = t;
  }
  Pair(0, a, PredictedCost(0, a));
  Pair(1, b, PredictedCost(1, b));
  return true;
}

void MatchRegions() {
  const CoordPairInput& in = PairIn();
  if (TwoRegionMatch()) return;
  const uint8_t n = PairRegions();
  for (uint8_t k = 0; k < n; ++k) {
    if (!PairPresent(k)) continue;
    const RegionRect rk = in.pstRect[k];
    uint8_t ubBest = kCoordNoSlot;
    uint16_t uwBest = kNoDist;
    for (uint8_t j = 0; j < kCoordPointMax && ubBest == kCoordNoSlot; ++j) {
      if (TrackFrames(j) >= 6 && Occupied(j) &&
          RegionRectWord(gstRegionAcquireState.astSlot[j].stRect) == RegionRectWord(rk)) {
        ubBest = j;
        uwBest = 0;
      }
    }
    if (ubBest == kCoordNoSlot) {
      uint32_t uiBestCost = 0x1FFFFu;
      FloatRegionRecord rec{};
      const bool boFloat = in.ubFloatConfirmIn != 0 && in.ubLastReportCount > 2 &&
                           MatchFloatRegionRecord(in.ubRows, in.ubColumns, RegionRectWord(rk), &rec) != 0 &&
                           (rec.ubBalanceExempt >> 4) != 0 && (rec.ubBalanceExempt & 0x0F) != 0;
      for (uint8_t j = 0; j < kCoordPointMax; ++j) {
        if (!Occupied(j) || gstCoordPair.aubExclusion[j] != 0) continue;
        uint32_t cost = PredictedCost(k, j);
        const RegionRect L = gstCoordPair.astLastRect[j];
        if (boFloat && cost > 15 && RectH(L) >= 4 && RectW(L) >= 4 && RectInside(L, rec.stRect) && RectInside(rk, L)) {
          cost -= 16;
        }
        if (TrackFrames(j) >= 6 && ((cost / 16) & 0xFFF) < 3125) cost = Sat16(cost + 10000);
        if (cost < uiBestCost) {
          uiBestCost = cost;
          ubBest = j;
        }
      }
      uwBest = static_cast<uint16_t>(uiBestCost > 0xFFFF ? 0xFFFF : uiBestCost);
    }
    if (ubBest == kCoordNoSlot) {
      if (n < 2) return;
      ubBest = 0;
      uwBest = static_cast<uint16_t>(k + 1);
      gstCoordPair.ubFreshStart = 1;
    }
    Pair(k, ubBest, uwBest);
  }
}

// Two regions of one slot that touch (or together span the slot's last extent and lie
// close) are one finger that the search cut apart, when they can be pieces of that finger.
void SplitMerge() {
  const CoordPairInput& in = PairIn();
  CoordPairScratch& sc = PairScratch();
  const uint8_t n = PairRegions();
  for (uint8_t s = 0; s < kCoordPointMax; ++s) {
    if (sc.aubSlotRegionCount[s] < 2) continue;
    const RegionRect L = gstCoordPair.astLastRect[s];
    for (uint8_t a = 0; a < n; ++a) {
      if (gstCoordPair.aubOrderIndex[a] != s || !PairPresent(a)) continue;
      for (uint8_t b = static_cast<uint8_t>(a + 1); b < n; ++b) {
        if (gstCoordPair.aubOrderIndex[b] != s || !PairPresent(b) || !PiecesOfOneFinger(s, a, b)) continue;
        const RegionRect ga = RegionRectGrow(in.pstRect[a], 1, in.ubRows, in.ubColumns);
        const RegionRect gb =
            RegionRectGrow(in.pstRect[b], gubLastTwoBigRectSameColm != 0 ? 2 : 1, in.ubRows, in.ubColumns);
        bool boMerge = JudgeRectsTouch(ga, gb) != 0 || JudgeRectsTouch(gb, ga) != 0;
        if (!boMerge && in.ubGeometryOff == 0) {
          const RegionRect u = RectUnion(in.pstRect[a], in.pstRect[b]);
          const bool boSpan = (u.ubColStart == L.ubColStart && u.ubColEnd == L.ubColEnd) ||
                              (u.ubRowStart == L.ubRowStart && u.ubRowEnd == L.ubRowEnd);
          boMerge = boSpan && RegionSqDist(a, b) < 600;
        }
        if (!boMerge) continue;
        MergeRegions(a, b);
        gstCoordPair.aubOrderIndex[b] = kCoordNoSlot;
        if (sc.aubSlotRegionCount[s] > 0) --sc.aubSlotRegionCount[s];
        CalcRegionCoord(a, in.pstRect[a]);
      }
    }
  }
}

// ---- rectangle trim ---------------------------------------------------------------------

void UpdateRectTrim() {
  const CoordPairInput& in = PairIn();
  CoordPairStatics& st = gstCoordPairStatics;
  const RegionRect t = in.stTouchRect;
  const uint32_t h = RectEmpty(t) ? 0 : RectH(t), w = RectEmpty(t) ? 0 : RectW(t);
  const bool boOff = in.ubFloatSelf != 0 || in.ubCommonBlock != 0 || gstCoordRegionFlags.ubF2 != 0 ||
                     in.ubMultiTouchFlag != 0 || h < 2 || h > 12 || w < 2 || w > 12 ||
                     (st.ubTrimDir == 1 && 2u * t.ubColEnd < in.ubColumns) ||
                     (st.ubTrimDir == 0 && 2u * t.ubColStart >= in.ubColumns);
  if (boOff) {
    ResetRectTrim();
    return;
  }
  if (in.ubLastReportCount < 3) {
    if (st.ubTrimFrameCnt < 200) ++st.ubTrimFrameCnt;
  } else {
    st.ubTrimFrameCnt = 0;
  }
  RegionRect box{255, 0, 255, 0};
  for (uint8_t j = 0; j < kCoordPointMax && j < in.ubLastReportCount; ++j) {
    if (Occupied(j)) box = RectUnion(box, gstCoordPair.astLastRect[j]);
  }
  if (!RectEmpty(box)) {
    const int32_t dr = AbsI(static_cast<int32_t>(h) - static_cast<int32_t>(RectH(box)));
    const int32_t dc = AbsI(static_cast<int32_t>(w) - static_cast<int32_t>(RectW(box)));
    if ((dr < 3 && dc >= 3 && dc <= 8) || (dr >= 3 && dr <= 8 && dc < 9)) st.ubTrimCandidate = 1;
  }
  if (st.ubTrimCandidate != 0 && st.ubTrimFrameCnt > 4) {
    gubRectTrimFlag = 1;
    st.ubTrimDir = (2u * t.ubColEnd + 1u >= in.ubColumns) ? 1 : 0;
  }
}

// ---- edge hold and early report --------------------------------------------------------

// Edge hold of one axis on history value V against current value C; true when the axis
// counts as moved.
bool EdgeHoldAxis(uint16_t* puwV, int32_t c, uint8_t ax) {
  const CoordPairInput& in = PairIn();
  const int32_t I = in.auwEdgeInner[ax], H = in.auwEdgeHold[ax], S = in.auwEdgeSnap[ax];
  const uint16_t uwExtent = ax == 0 ? in.uwExtentX : in.uwExtentY;
  int32_t v = *puwV;
  bool boMoved = false;
  if (c - v >= 1 && v < I) {
    if (c - v > H && v >= S) v = S;
    if (c > S) boMoved = true;
  }
  if (uwExtent != 0) {
    const int32_t E = uwExtent - 1;
    if (c - v < 0 && v > E - I) {
      if (c - v < -H && v <= E - S) v = E - S;
      if (c < E - S) boMoved = true;
    }
  }
  *puwV = static_cast<uint16_t>(v);
  return boMoved;
}

bool EarlyReportPasses(uint8_t n) {
  const CoordPairInput& in = PairIn();
  bool boSkip2 = false;
  if (in.ubRateFlag != 0) {
    if (!(in.ubLastReportCount < 2 && n < 3)) return false;
    const bool boQuiet = in.uwShakeCount <= 7 && in.ubShakeFlag == 0 && in.ubShakeLevel < 2;
    if (!boQuiet) {
      if (!(in.ubLastReportCount == 0 && n == 1)) return false;
      boSkip2 = true;
    }
  }
  if (!boSkip2 && in.ubLastReportCount == 1 && n >= 2 && in.ubOptDelayFlag != 0) return false;
  if (in.aubEarlyVeto[0] != 0 || in.aubEarlyVeto[1] != 0) return false;
  if ((in.ubShakeFlag == 0 && in.uwShakeCount > 800) || in.ubShakeLevel > 2 || in.ubShakeFlag != 0 ||
      gstCoordPair.ubMultiRegionColumnCount != 0 || in.aubEarlyVeto[2] != 0 || in.aubEarlyVeto[3] != 0 ||
      in.aubEarlyVeto[4] != 0 || in.aubEarlyVeto[5] != 0 ||
      (in.aubWindowGate[0] != 0 && in.aubWindowGate[1] != 0 && in.aubWindowGate[2] != 0 && in.uwWindowCounter < 400)) {
    return false;
  }
  if (gstCoordRegionFlags.ubF1 == 1 && in.ubLastReportCount == 0) return false;
  if (in.ubLastReportCount == 0 && n >= 1) {
    const RegionRect t = in.stTouchRect;
    const int32_t H = RectEmpty(t) ? 0 : static_cast<int32_t>(RectH(t));
    const int32_t W = RectEmpty(t) ? 0 : static_cast<int32_t>(RectW(t));
    const int32_t e = AbsI(H - W);
    const bool boSmall = H <= 5 && W <= 5 && gstCommon.ubLargeAreaFlag == 0;
    const bool s = e >= 3 || n != 1;
    if (e > 1 && n != 1) return false;
    if (e > 1 || (boSmall && s)) return false;
  }
  return true;
}

void EarlyReport(uint8_t n) {
  const CoordPairInput& in = PairIn();
  if (in.ubEarlyReportSwitch == 0 || !EarlyReportPasses(n)) return;
  if (n == 2 && in.ubLastReportCount == 1 && JudgePairStateMatch(static_cast<int8_t>(in.ubLastReportCount), 1) != 0) {
    return;
  }
  const uint8_t ubMax = in.ubMaxPoints < kCoordPointMax ? in.ubMaxPoints : kCoordPointMax;
  for (uint8_t k = 0; k < ubMax; ++k) {
    if ((gstCoordPair.aubLeaveTouchTimer[k] & 0xF0) != in.ubReportDelayCode || in.ubReportDelayCode == 0) continue;
    const int32_t x = gstCoordOptHistory.auwX[k][1], y = gstCoordOptHistory.auwY[k][1];
    if (x == kCoordNoPosition || x < 1024 || x > static_cast<int32_t>(in.uwExtentX) - 1024 || y < 1024 ||
        y > static_cast<int32_t>(in.uwExtentY) - 1024) {
      continue;
    }
    gstCoordPair.aubLeaveTouchTimer[k] = 16;
    gstCoordPair.auwPrevSlotX[k] = static_cast<uint16_t>(gstCoordPair.auwSlotX[k] + 2);
    gstCoordPair.auwPrevSlotY[k] = static_cast<uint16_t>(gstCoordPair.auwSlotY[k] + 2);
  }
}

// ---- per-frame steps after the core ---------------------------------------------------

void CountMultiRegionColumns(uint8_t n) {
  const CoordPairInput& in = PairIn();
  CoordPairScratch& sc = PairScratch();
  gstCoordPair.ubMultiRegionColumnCount = 0;
  if (in.ubMultiTouchFlag == 0 || n < 2) return;
  memset(sc.aubColCover, 0, sizeof(sc.aubColCover));
  for (uint8_t k = 0; k < n; ++k) {
    if (!PairPresent(k)) continue;
    const RegionRect r = in.pstRect[k];
    for (uint32_t c = r.ubColStart; c <= r.ubColEnd && c < sizeof(sc.aubColCover); ++c) ++sc.aubColCover[c];
  }
  uint8_t m = 0;
  for (uint32_t c = 0; c + 1u < in.ubColumns && c < sizeof(sc.aubColCover); ++c) {
    if (sc.aubColCover[c] >= 2) ++m;
  }
  gstCoordPair.ubMultiRegionColumnCount = m;
}

void ReleaseSlot(uint8_t k) {
  auto& p = gstCoordPair;
  p.auwLastRectMaxDiff[k] = 0;
  p.uwSlotMask = static_cast<uint16_t>(p.uwSlotMask & ~(1u << k));
  p.aubCompanion[k] = 0;
  p.aubSlotFlag[k] = 0;
  p.auwSlotX[k] = p.auwSlotY[k] = kCoordNoPosition;
  p.auwPrevSlotX[k] = p.auwPrevSlotY[k] = kCoordNoPosition;
  p.auwDownSlotX[k] = p.auwDownSlotY[k] = kCoordNoPosition;
  p.auwSlotCounter[k] = 0;
  memset(&p.astLastRect[k], 0xFF, sizeof(p.astLastRect[k]));
}

void MissingSlots(uint8_t n) {
  const CoordPairInput& in = PairIn();
  const CoordPairScratch& sc = PairScratch();
  auto& p = gstCoordPair;
  for (uint8_t k = 0; k < kCoordPointMax; ++k) {
    if (p.auwLastRectMaxDiff[k] == 0) {
      p.aubExclusion[k] = 0;
      continue;
    }
    if (sc.aubTaken[k] != 0) continue;
    uint8_t& t = p.aubLeaveTouchTimer[k];
    if (t > 15) {
      p.auwLastRectMaxDiff[k] = 0;
      t = 0;
      p.aubCompanion[k] = 0;
    } else if (t == 0) {
      const bool boShort = in.ubHoldByMask != 0 && (p.uwSlotMask & (1u << k)) != 0 && p.aubCompanion[k] == 0;
      t = boShort ? 1 : static_cast<uint8_t>(in.ubHoldCount & kLeaveHoldMask);
      if (in.pubSlotKind != nullptr) in.pubSlotKind[k] = t;
      // No hold configured: the point goes up now; an occupied slot without a timer would
      // otherwise stay taken and invisible for good.
      if (t == 0) ReleaseSlot(k);
    }
    const bool boOverride =
        (gstCoordRegionFlags.ubF2 == 0 && in.ubLastReportCount == 2 && gstCoordRegionFlags.ubF3 != 0 && n == 1 &&
         in.ubFloatSelf == 0 && in.ubRows >= 31) ||
        (gstCoordRegionFlags.ubF2 != 0 && n == 2 && in.ubLastReportCount == 1);
    if (boOverride && p.auwLastRectMaxDiff[k] != 0) {
      t = 1;
      p.aubCompanion[k] = 0;
      continue;
    }
    if (t == 0) {
      p.auwDownSlotX[k] = p.auwDownSlotY[k] = kCoordNoPosition;
      p.auwSlotCounter[k] = 0;
    }
  }
}

void MarkSmallRegions(uint8_t n) {
  const CoordPairInput& in = PairIn();
  CoordPairStatics& st = gstCoordPairStatics;
  st.uwSmallMask = 0;
  if (st.ubOneShotMark != 0 || gstCoordRegionFlags.ubVote == 0) {
    st.ubOneShotMark = 0;
    return;
  }
  for (uint8_t k = 0; k < n; ++k) {
    if (!PairPresent(k) || gstCoordPair.aubOrderIndex[k] != kCoordNoSlot) continue;
    const RegionRect r = in.pstRect[k];
    if (RectH(r) * RectW(r) > 6 || RectH(r) > 3 || RectW(r) > 3) continue;
    for (uint8_t j = 0; j < n; ++j) {
      if (j == k || !PairPresent(j) || gstCoordPair.aubOrderIndex[j] == kCoordNoSlot) continue;
      const RegionRect o = in.pstRect[j];
      if (o.ubColStart <= r.ubColStart && o.ubColEnd >= r.ubColEnd) {
        st.uwSmallMask = static_cast<uint16_t>(st.uwSmallMask | (1u << k));
        st.ubOneShotMark = 1;
        break;
      }
    }
  }
}

uint16_t TakeOverThreshold(uint8_t k) {
  const CoordPairInput& in = PairIn();
  uint32_t T = in.uwNewPointThreshold;
  const bool boGate = in.aubWindowGate[0] != 0 && in.aubWindowGate[1] != 0 && in.aubWindowGate[2] != 0 &&
                      in.ubLastReportCount == 0 &&
                      ((in.ubWindowRaised == 0 && in.uwWindowCounter < 400 && in.ubWindowConfirm != 0) ||
                       (in.ubWindowRaised != 0 && in.uwWindowCounter < (in.ubWindowHigh != 0 ? 2000 : 1000)));
  if (boGate) {
    const RegionRect r = in.pstRect[k];
    const RegionRect w = in.stWindowRect;
    const int32_t m = in.ubWindowMargin;
    const bool boCols = r.ubColStart + m >= w.ubColStart && r.ubColEnd <= w.ubColEnd + m;
    const bool boRows = r.ubRowStart + m >= w.ubRowStart && r.ubRowEnd <= w.ubRowEnd + m;
    if (boCols && (in.ubWindowColumnsOnly != 0 || boRows)) T = in.uwWindowThreshold;
  }
  if (in.aubSelfGate[0] != 0 && in.aubSelfGate[1] != 0 && in.ubRows >= 30 && in.uwSelfValue < in.uwSelfLimit) {
    const uint32_t v = 2u * in.uwSelfLimit / 3u;
    T = v > in.uwSelfFloor ? v : in.uwSelfFloor;
  }
  if ((gstCoordPairStatics.uwSmallMask & (1u << k)) != 0) T += 1200;
  return Sat16(T);
}

uint8_t LowestFreeSlot() {
  const uint8_t ubMax = PairIn().ubMaxPoints < kCoordPointMax ? PairIn().ubMaxPoints : kCoordPointMax;
  for (uint8_t f = 0; f < ubMax; ++f) {
    if (!Occupied(f)) return f;
  }
  return kCoordNoSlot;
}

void SlotUpdate(uint8_t n) {
  CoordPairInput& in = PairIn();
  CoordPairScratch& sc = PairScratch();
  auto& p = gstCoordPair;
  for (uint8_t k = 0; k < n; ++k) {
    if (in.puwPeak[k] == 0) continue;
    uint8_t s = p.aubOrderIndex[k];
    if (s != kCoordNoSlot && (s >= kCoordPointMax || p.auwLastRectMaxDiff[s] == 0)) {
      p.aubOrderIndex[k] = kCoordNoSlot;
      s = kCoordNoSlot;
    }
    const uint16_t T = TakeOverThreshold(k);
    if (s != kCoordNoSlot && (s < in.ubMaxPoints || p.aubLeaveTouchTimer[s] > 15)) {
      p.auwPrevSlotX[s] = p.auwSlotX[s];
      p.auwPrevSlotY[s] = p.auwSlotY[s];
      p.auwSlotX[s] = sc.auwQx[k];
      p.auwSlotY[s] = sc.auwQy[k];
      p.astLastRect[s] = in.pstRect[k];
      p.auwLastRectMaxDiff[s] = in.puwPeak[k];
      p.aubLeaveTouchTimer[s] = static_cast<uint8_t>(p.aubLeaveTouchTimer[s] & 0xF0);
    } else if (s != kCoordNoSlot && in.ubMaxPoints != 0) {
      const uint8_t f = LowestFreeSlot();
      if (f == kCoordNoSlot) continue;
      sc.aubTaken[s] = 0;
      sc.aubTaken[f] = 1;
      gpuwNewPointX[f] = sc.auwX[k];
      gpuwNewPointY[f] = sc.auwY[k];
      gpuwNewWeight[f] = sc.auwWeight[k];
      p.auwSlotX[f] = p.auwPrevSlotX[f] = sc.auwQx[k];
      p.auwSlotY[f] = p.auwPrevSlotY[f] = sc.auwQy[k];
      p.astLastRect[f] = in.pstRect[k];
      p.auwLastRectMaxDiff[f] = in.puwPeak[k];
      p.auwLastRectMaxDiff[s] = 0;
      ++gstCoordComOutput.ubPointNum;
      p.aubOrderIndex[k] = kCoordNoSlot;
    } else if (s == kCoordNoSlot && in.puwPeak[k] > T) {
      const uint8_t f = LowestFreeSlot();
      if (f == kCoordNoSlot) continue;
      p.auwSlotX[f] = p.auwPrevSlotX[f] = p.auwDownSlotX[f] = sc.auwQx[k];
      p.auwSlotY[f] = p.auwPrevSlotY[f] = p.auwDownSlotY[f] = sc.auwQy[k];
      p.astLastRect[f] = in.pstRect[k];
      p.auwLastRectMaxDiff[f] = in.puwPeak[k];
      p.aubOrderIndex[k] = f;
      sc.aubTaken[f] = 1;
      gstCoordOptHistory.auwX[f][1] = sc.auwX[k];
      gstCoordOptHistory.auwY[f][1] = sc.auwY[k];
      gstCoordOptHistory.auwWeight[f] = sc.auwWeight[k];
      p.auwSlotCounter[f] = 0;
      uint8_t old = p.aubLeaveTouchTimer[f];
      if (gstCoordRegionFlags.aubLargeTouch[0] != 0 || gstCoordRegionFlags.aubLargeTouch[1] != 0 ||
          gstCoordRegionFlags.aubLargeTouch[2] != 0) {
        const uint8_t sum = static_cast<uint8_t>(old + in.ubReportDelayCode);
        old = sum > 64 ? 64 : sum;
      }
      p.aubLeaveTouchTimer[f] = static_cast<uint8_t>(in.ubReportDelayCode | old);
      if (gstCoordRegionFlags.ubF2 != 0 && n == 2 && in.ubLastReportCount == 0) p.aubLeaveTouchTimer[f] = 16;
      memset(gpuwCur2LastAbsDis, 0xFF, sizeof(gpuwCur2LastAbsDis));
      memset(gpuwLast2LastLastAbsDis, 0xFF, sizeof(gpuwLast2LastLastAbsDis));
    }
  }
}

void WritePoint(uint8_t k, uint16_t x, uint16_t y, uint16_t w) {
  gpuwNewPointX[k] = x;
  gpuwNewPointY[k] = y;
  gpuwNewWeight[k] = w;
  ++gstCoordComOutput.ubPointNum;
}

bool QuickRelease(uint8_t k, uint8_t ubNewLow) {
  const CoordPairInput& in = PairIn();
  if (!(in.uwSelfValue <= in.uwSelfFloor && gstCoordOptHistory.aubState[k] != 3 && in.ubRateFlag != 0 &&
        in.ubShakeFlag == 0 && in.uwShakeCount < in.uwShakeLimit && in.ubWindowColumnsOnly == 0 &&
        gstCoordPair.ubLastRectNum <= 3 && ubNewLow != 0)) {
    return false;
  }
  if (in.ubQuickReleaseSwitch != 0) return true;
  const RegionRect L = gstCoordPair.astLastRect[k];
  return L.ubRowStart >= 4 && L.ubRowEnd + 4 < in.ubRows && L.ubColStart >= 3 && L.ubColEnd + 3 < in.ubColumns;
}

void ReportSlots(uint8_t n) {
  const CoordPairInput& in = PairIn();
  CoordPairScratch& sc = PairScratch();
  auto& p = gstCoordPair;
  for (uint8_t k = 0; k < kCoordPointMax; ++k) {
    uint8_t t = p.aubLeaveTouchTimer[k];
    if (in.pubSlotKind != nullptr && in.pubSlotKindCount != nullptr && in.pubSlotKind[k] == 1 &&
        in.pubSlotKindCount[k] >= 2) {
      t = in.ubHoldCount == 1 ? 2 : in.ubHoldCount;
    }
    if ((t & kLeaveHoldMask) == 0 && (t & 0xF0) != 0) {
      const uint8_t r = ResolveSlotRegion(k);
      if (r < n) {
        p.aubOrderIndex[r] = kCoordNoSlot;
        t = static_cast<uint8_t>(t - 16);
        if (t <= 15) {
          uint16_t& ex = gstCoordOptHistory.auwX[k][1];
          uint16_t& ey = gstCoordOptHistory.auwY[k][1];
          bool boMoved = false;
          if ((in.ubEdgeHoldAxes & 1) != 0 && ex != kCoordNoPosition) boMoved |= EdgeHoldAxis(&ex, sc.auwX[r], 0);
          if ((in.ubEdgeHoldAxes & 2) != 0 && ex != kCoordNoPosition) boMoved |= EdgeHoldAxis(&ey, sc.auwY[r], 1);
          if (ex != kCoordNoPosition) {
            const int32_t dx = AbsI(static_cast<int32_t>(sc.auwX[r]) - ex);
            const int32_t dy = AbsI(static_cast<int32_t>(sc.auwY[r]) - ey);
            if (dx > in.uwJitterDistance || dy > in.uwJitterDistance || boMoved) {
              WritePoint(k, ex, ey, gstCoordOptHistory.auwWeight[k]);
              sc.aubWritten[k] = 1;
            }
          }
          p.aubOrderIndex[r] = k;
        }
      }
    } else if ((t & kLeaveHoldMask) != 0) {
      const uint8_t ubOldLow = t & kLeaveHoldMask;
      t = static_cast<uint8_t>(t - 1);
      if (QuickRelease(k, t & kLeaveHoldMask)) {
        t = 0;
      } else if (ubOldLow != 1) {
        WritePoint(k, gstCoordOptHistory.auwX[k][0], gstCoordOptHistory.auwY[k][0], gstCoordOptHistory.auwWeight[k]);
      }
      if ((t & kLeaveHoldMask) == 0) {
        ReleaseSlot(k);
        t = 0;
      }
    }
    if (p.auwLastRectMaxDiff[k] == 0) memset(&p.astLastRect[k], 0xFF, sizeof(p.astLastRect[k]));
    p.aubLeaveTouchTimer[k] = t;
  }
  for (uint8_t k = 0; k < n; ++k) {
    const uint8_t s = p.aubOrderIndex[k];
    if (s >= kCoordPointMax || sc.aubWritten[s] != 0 || in.puwPeak[k] == 0) continue;
    WritePoint(s, sc.auwX[k], sc.auwY[k], sc.auwWeight[k]);
    sc.aubWritten[s] = 1;
  }
}

void CloseReportFlags() {
  const CoordPairInput& in = PairIn();
  CoordPairStatics& st = gstCoordPairStatics;
  if (in.ubCloseReportSwitch == 0) return;
  const uint8_t left = in.ubCloseLeft | st.ubLastCloseLeft;
  const uint8_t right = in.ubCloseRight | st.ubLastCloseRight;
  st.ubLastCloseLeft = in.ubCloseLeft;
  st.ubLastCloseRight = in.ubCloseRight;
  if ((left == 0 && right == 0) || in.ubLastReportCount == 0) return;
  for (uint8_t k = 0; k < kCoordPointMax; ++k) {
    if (gstCoordPair.aubLeaveTouchTimer[k] == 0) continue;
    const RegionRect L = gstCoordPair.astLastRect[k];
    if ((right != 0 && L.ubRowEnd + 4u >= in.ubRows) || ((left & 1) != 0 && L.ubColStart <= 3)) gpuwNewWeight[k] = 0;
  }
}

void PairingCore(uint8_t n) {
  CoordPairInput& in = PairIn();
  CoordPairStatics& st = gstCoordPairStatics;
  // Untouched frames count too: a slot's run of kept pairs ends when its finger lifts.
  ++st.ulFrame;
  if (n == 0) {
    if (in.pswDiff != nullptr && in.pswPrevDiff != nullptr) {
      memcpy(in.pswPrevDiff, in.pswDiff, static_cast<size_t>(in.ubRows) * in.ubColumns * sizeof(int16_t));
    }
    st.uwComplementState = 0;
    return;
  }
  const bool boPassAllowed = in.ubFloatSelf == 0 && in.ubSubRectSwitch == 0 && in.ubCommonBlock == 0 &&
                             in.ubRegionBlock == 0;
  if (in.ubSplitSwitch != 0 && boPassAllowed) {
    st.ubOccupiedCount = 0;
    for (uint8_t j = 0; j < kCoordPointMax; ++j) st.ubOccupiedCount = static_cast<uint8_t>(st.ubOccupiedCount + (Occupied(j) ? 1 : 0));
    ComplementPass();
    n = PairRegions();
  } else {
    st.uwComplementState = 0;
    memset(st.aubComplementPartner, kCoordNoSlot, sizeof(st.aubComplementPartner));
    st.ubComplementDone = 0;
  }
  gstCoordPair.ubComplementByte = static_cast<uint8_t>((st.uwComplementState & 0xFF) + 16u * gstNetFloatInfo.ubFresh);
  UpdateRectTrim();
  DropRememberedFlanks();
  for (uint8_t k = 0; k < n; ++k) {
    if (PairPresent(k)) CalcRegionCoord(k, in.pstRect[k]);
  }
  JudgeLastTwoBigRect();
  MatchRegions();
  SplitMerge();
  PairSplitJudge();
  PairPostMatchPhases();
}

}  // namespace

uint8_t PairRegions() {
  const uint8_t n = PairIn().ubRegionCount;
  return n < kCoordPointMax ? n : kCoordPointMax;
}

bool PairPresent(uint8_t k) { return k < PairRegions() && PairIn().puwPeak[k] != 0; }

CoordPairInput& PairIn() {
  return gstCoordPairStatics.pstInput != nullptr ? *gstCoordPairStatics.pstInput : sstIdleInput;
}
CoordPairScratch& PairScratch() {
  return gstCoordPairStatics.pstScratch != nullptr ? *gstCoordPairStatics.pstScratch : sstOwnScratch;
}

void ResetRectTrim() {
  gubRectTrimFlag = 0;
  gstCoordPairStatics.ubTrimFrameCnt = 0;
  gstCoordPairStatics.ubTrimCandidate = 0;
  gstCoordPairStatics.ubTrimDir = kCoordNoSlot;
}

uint8_t JudgePairStateMatch(int8_t a, int8_t b) {
  const CoordRegionFlags& f = gstCoordRegionFlags;
  if (a == 0 && b == 0 && (f.ubF1 == 1 || f.ubF2 != 0)) return 1;
  if (b == 1 && f.ubF2 != 0) return 1;
  return (a == 2 && b == 2 && f.ubF2 == 0 && f.ubF3 != 0) ? 1 : 0;
}

uint8_t ResolveSlotRegion(uint8_t s) {
  const CoordPairInput& in = PairIn();
  CoordPairScratch& sc = PairScratch();
  const uint8_t n = PairRegions();
  sc.ubListCount = 0;
  for (uint8_t k = 0; k < n; ++k) {
    if (gstCoordPair.aubOrderIndex[k] == s) sc.aubByIndex[sc.ubListCount++] = k;
  }
  memset(sc.aubByDistance, kCoordNoSlot, sizeof(sc.aubByDistance));
  if (sc.ubListCount == 0) return n;
  uint8_t b = sc.aubByIndex[0];
  const bool boVote = gstCoordRegionFlags.ubVote != 0 && in.ubVoteSwitch != 0;
  for (uint8_t i = 1; i < sc.ubListCount; ++i) {
    const uint8_t c = sc.aubByIndex[i];
    if (boVote ? Vote(s, b, c) >= 1 : sc.auwDist[c] < sc.auwDist[b]) b = c;
  }
  // Sorted by distance, equal distances in region order (insertion sort is stable).
  for (uint8_t i = 0; i < sc.ubListCount; ++i) {
    const uint8_t v = sc.aubByIndex[i];
    int32_t j = i - 1;
    while (j >= 0 && sc.auwDist[sc.aubByDistance[j]] > sc.auwDist[v]) {
      sc.aubByDistance[j + 1] = sc.aubByDistance[j];
      --j;
    }
    sc.aubByDistance[j + 1] = v;
  }
  return b;
}

void CoordPairSetTempSizeInit() {
  if (guwTempBufferSizes < kPairScratchBytes) guwTempBufferSizes = kPairScratchBytes;
}

void CoordPairInit(void* pvScratch) {
  CoordPairStatics& st = gstCoordPairStatics;
  gubHaveComplement = 0;
  memset(&st, 0, sizeof(st));
  st.pstScratch = pvScratch != nullptr ? static_cast<CoordPairScratch*>(pvScratch) : &sstOwnScratch;
  gubLastTwoBigRectSameColm = 0;
  CoordPairRecordInit();
  memset(st.aubSlotArray, kCoordNoSlot, sizeof(st.aubSlotArray));
  memset(st.aubComplementPartner, kCoordNoSlot, sizeof(st.aubComplementPartner));
  ResetRectTrim();
  memset(gstSteadyFloat, 0, sizeof(gstSteadyFloat));
  guwLastCompleFlag = 0;
  guwCurCompleFlag = 0;
  memset(gubJumpCompFlag, 0, sizeof(gubJumpCompFlag));
  memset(&gstCoordOptHistory, 0xFF, sizeof(gstCoordOptHistory.auwX) + sizeof(gstCoordOptHistory.auwY));
  memset(gstCoordOptHistory.auwWeight, 0, sizeof(gstCoordOptHistory.auwWeight));
  memset(gstCoordOptHistory.aubState, 0, sizeof(gstCoordOptHistory.aubState));
}

void CoordPair(CoordPairInput* pstIn) {
  if (pstIn == nullptr || pstIn->puwPeak == nullptr || pstIn->pstRect == nullptr) return;
  CoordPairStatics& st = gstCoordPairStatics;
  st.pstInput = pstIn;
  if (st.pstScratch == nullptr) st.pstScratch = &sstOwnScratch;
  if (pstIn->ubRegionCount > kCoordPointMax) pstIn->ubRegionCount = kCoordPointMax;
  CoordPairScratch& sc = PairScratch();
  auto& p = gstCoordPair;
  const uint8_t n0 = pstIn->ubRegionCount;
  // On another grid the previous frame's map is read with the wrong stride: it starts empty.
  if (pstIn->ubRows != st.ubLastRows || pstIn->ubColumns != st.ubLastColumns) {
    if (pstIn->pswPrevDiff != nullptr) {
      memset(pstIn->pswPrevDiff, 0, static_cast<size_t>(pstIn->ubRows) * pstIn->ubColumns * sizeof(int16_t));
    }
    st.ubLastRows = pstIn->ubRows;
    st.ubLastColumns = pstIn->ubColumns;
    memset(st.aubJoinRun, 0, sizeof(st.aubJoinRun));
  }
  memset(&sc, 0, sizeof(sc));
  sc.ubMergedCount = n0;
  memset(gpuwNewWeight, 0, sizeof(gpuwNewWeight));
  memset(p.aubOrderIndex, kCoordNoSlot, sizeof(p.aubOrderIndex));
  if (n0 == 0 && gstCoordComOutput.ubPointNum == 0 && p.ubLastRectNum == 0) {
    p.uwSlotMask = 0;
    gstMutualFloatCfg[8] = 0;
    gstMutualFloatCfg[9] = 0;
  }
  gstCoordComOutput.ubPointNum = 0;
  memset(sc.auwDist, 0xFF, sizeof(sc.auwDist));
  for (uint8_t k = 0; k < kCoordPointMax; ++k) p.auwCurRectMaxDiff[k] = k < n0 ? pstIn->puwPeak[k] : 0;
  gstCoordComOutput.ubLeaveHoldCnt = pstIn->ubHoldCount;

  // Motion limits shrink with a faster frame rate. The scale is taken before it is narrowed
  // (a short interval must give the largest scale, not wrap to a small one), and an
  // interval of 0 (not known) leaves the limits as they are.
  uint16_t D = kBaseMoveLimit, d = kBaseStepLimit;
  if (pstIn->ubRateFlag != 0 && pstIn->uwFrameInterval != 0 && pstIn->uwFrameInterval < kFullRateInterval) {
    uint32_t r = kFullRateInterval / pstIn->uwFrameInterval;
    if (r > kMaxRateScale) r = kMaxRateScale;
    D = static_cast<uint16_t>(kBaseMoveLimit / r);
    d = static_cast<uint16_t>(kBaseStepLimit / r);
  }
  pstIn->uwMoveLimit = D;
  pstIn->uwStepLimit = d;

  memset(p.aubComplementMark, 0, sizeof(p.aubComplementMark));
  guwCurCompleFlag = 0;
  PairingCore(n0);
  const uint8_t n = PairRegions();
  for (uint8_t k = 0; k < n; ++k) {
    const uint8_t s = p.aubOrderIndex[k];
    if (s < kCoordPointMax && PairPresent(k)) sc.aubTaken[s] = 1;
  }
  CountMultiRegionColumns(n);
  MissingSlots(n);
  MarkSmallRegions(n);
  SlotUpdate(n);
  EarlyReport(n);
  ReportSlots(n);
  CloseReportFlags();
  p.ubLastPointCount = n;
  p.ubLastRectNum = sc.ubMergedCount;
  pstIn->ubLastRectNumOut = sc.ubMergedCount;
}
