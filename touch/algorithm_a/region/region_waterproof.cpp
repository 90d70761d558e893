// Waterproof processing, the per-frame body of the waterproof stage: follows the wet areas
// of the panel as water unions, decides with fixed thresholds, the water network and the
// self-line check whether a union is water or a finger, marks the water nodes and removes
// from the frame's region set every region that lies on water.
#include <cstring>

#include "coord_records.h"
#include "frnn.h"
#include "region_float.h"
#include "region.h"
#include "region_lib.h"
#include "region_proc.h"
#include "region_water_ops.h"
#include "tsa_memory.h"

namespace {

int32_t Imax(int32_t a, int32_t b) { return a > b ? a : b; }
int32_t Imin(int32_t a, int32_t b) { return a < b ? a : b; }

// Per-call scratch of the union stages: the diff-change map, its box sums and the scratch of
// the box sums.
int16_t saswChange[kRegionMaxNodes];
uint16_t sauwBoxSum[kRegionMaxNodes];
uint16_t sauwBoxScratch[kRegionMaxNodes];
WetAreaStats sstWetStats;
// Four profiles of rows + columns entries each pair; a grid of 2912 nodes may still be one
// row of 255 columns, so the scratch is sized by the largest row and column counts.
uint16_t sauwWetScratch[2 * (255 + 255)];
uint16_t suwPrevTouched;  // touched-node count of the call before (self-line counter)
// The network's recurrent state (cleared before every run) and its three input planes of
// 20 x 40 values: diff - diff before last, diff - previous diff, the diff.
WaterNetState sstNetState;
float safNetInput[3 * 20 * 40];

const CoordPair* Pair(const WaterproofInput& in) { return static_cast<const CoordPair*>(in.pvCoordPair); }

bool SlotOccupied(const WaterproofInput& in, uint8_t s) {
  return s < kRegionMax && in.puwSlotPeak != nullptr && in.puwSlotPeak[s] != 0 && Pair(in) != nullptr;
}

bool TrackLive(const WaterSlotTrack& t) { return t.asiPresence[0] != 0 || t.ubState != 0; }

// The oldest filled history entry (the first zero presence ends the filled part).
uint8_t LastFilled(const WaterSlotTrack& t) {
  uint8_t k = 0;
  while (k + 1 < kWaterHistory && t.asiPresence[k + 1] != 0) ++k;
  return k;
}

bool TouchesGridEdge(const RegionRect& r, uint8_t ubRows, uint8_t ubCols) {
  return r.ubRowStart == 0 || r.ubColStart == 0 || r.ubRowEnd >= ubRows - 1 || r.ubColEnd >= ubCols - 1;
}

// Nodes of R whose neighbourhood value on MAP exceeds LEVEL.
uint32_t TouchedIn(const int16_t* map, const WaterproofInput& in, RegionRect r, int32_t level, RegionRect* pstBox) {
  uint32_t n = 0;
  RegionRect box{255, 0, 255, 0};
  if (RectValidOn(r, in.ubRowNum, in.ubColNum)) {
    for (int32_t row = r.ubRowStart; row <= r.ubRowEnd; ++row) {
      for (int32_t c = r.ubColStart; c <= r.ubColEnd; ++c) {
        if (WaterNeighbourValue(map, in.ubRowNum, in.ubColNum, row, c) <= level) continue;
        if (n == 0) box = RegionRect{static_cast<uint8_t>(row), static_cast<uint8_t>(row), static_cast<uint8_t>(c), static_cast<uint8_t>(c)};
        ++n;
        box.ubRowStart = static_cast<uint8_t>(Imin(box.ubRowStart, row));
        box.ubRowEnd = static_cast<uint8_t>(Imax(box.ubRowEnd, row));
        box.ubColStart = static_cast<uint8_t>(Imin(box.ubColStart, c));
        box.ubColEnd = static_cast<uint8_t>(Imax(box.ubColEnd, c));
      }
    }
  }
  if (pstBox != nullptr) *pstBox = box;
  return n;
}

// Drops region K as water: keep value 0, listed at its index while that entry is empty.
void DropRegion(WaterproofInput& in, uint8_t k) {
  in.puwKeep[k] = 0;
  RegionRect& del = gstWaterState.gstWaterDelRect[k];
  if (RegionRectWord(del) == kRegionRectEmptyBound) del = in.pstRect[k];
}

// ---- Steps 1 to 5 -----------------------------------------------------------------------

void FrameStart(WaterproofInput& in) {
  WaterModuleState& w = gstWaterState;
  for (RegionRect& r : w.gstWaterDelRect) r = RegionRectFromWord(kRegionRectEmptyBound);
  w.gboDlWaterSta = 0;
  w.gboCurRunDl = 0;
  if (in.ubFrameStart != 0) in.ubSelfCapEn = 0;
  memset(w.WaterRegionMark, 255, sizeof(w.WaterRegionMark));
}

void SignCounts(const WaterproofInput& in) {
  WaterModuleState& w = gstWaterState;
  const uint16_t N = static_cast<uint16_t>(static_cast<uint32_t>(in.ubRowNum) * in.ubColNum);
  w.WaterPosCount = w.WaterNegCount = 0;
  if (N == 0) return;
  LibAndrGtConstS16(in.pswDiff, 49, in.pubMaskBuf, N);
  w.WaterPosCount = static_cast<uint16_t>(LibAndrGetAcc());
  LibAndrGtConstS16(in.pswDiff, -50, in.pubMaskBuf, N);
  w.WaterNegCount = static_cast<uint16_t>(N - LibAndrGetAcc());
}

void FingerCounters(uint8_t k) {
  WaterModuleState& w = gstWaterState;
  const auto up = [](uint8_t v, uint8_t by, uint8_t cap) { return static_cast<uint8_t>(v + by > cap ? cap : v + by); };
  w.WaterZeroFingerCnt = k == 0 ? up(w.WaterZeroFingerCnt, 1, 10) : 0;
  w.WaterOneFingerCnt = k == 1 ? up(w.WaterOneFingerCnt, 1, 10) : 0;
  w.WaterManyFingerCnt = k >= 3 ? up(w.WaterManyFingerCnt, 1, 50) : 0;
  w.WaterFingerSum = k != 0 ? up(w.WaterFingerSum, k > 50 ? 50 : k, 50) : 0;
}

// Tracks whose pairing slot has emptied are stale. Tracks 12 to 49 have no pairing slot and
// nothing feeds them, so any content there is stale as well and is cleared the same way.
void StaleTracks(const WaterproofInput& in) {
  for (uint8_t i = 0; i < kWaterTrackMax; ++i) {
    WaterSlotTrack& t = gstWaterState.astSlotTrack[i];
    if (!TrackLive(t)) continue;
    if (i >= kRegionMax || in.puwSlotPeak == nullptr || in.puwSlotPeak[i] == 0) memset(&t, 0, sizeof(t));
  }
}

void SelfLineSums(const WaterproofInput& in) {
  WaterModuleState& w = gstWaterState;
  if (in.ubSelfCapEn == 0 || in.pswSelfDiff == nullptr) return;
  w.WaterSelfSumPrev = static_cast<uint32_t>(w.WaterSelfRowSum) | (static_cast<uint32_t>(w.WaterSelfColSum) << 16);
  RegionRect span{255, 0, 255, 0};
  bool any = false;
  for (const WaterUnion& u : w.astUnion) {
    if (!WaterUnionLive(u)) continue;
    any = true;
    span.ubRowStart = static_cast<uint8_t>(Imin(span.ubRowStart, u.rect.ubRowStart));
    span.ubRowEnd = static_cast<uint8_t>(Imax(span.ubRowEnd, u.rect.ubRowEnd));
    span.ubColStart = static_cast<uint8_t>(Imin(span.ubColStart, u.rect.ubColStart));
    span.ubColEnd = static_cast<uint8_t>(Imax(span.ubColEnd, u.rect.ubColEnd));
  }
  uint32_t rs = 0, cs = 0;
  if (any) {
    for (int32_t r = span.ubRowStart; r <= span.ubRowEnd && r < in.ubRowNum; ++r) rs += Imax(in.pswSelfDiff[r], 0);
    for (int32_t c = span.ubColStart; c <= span.ubColEnd && c < in.ubColNum; ++c)
      cs += Imax(in.pswSelfDiff[in.ubRowNum + c], 0);
  }
  w.WaterSelfRowSum = static_cast<uint16_t>(rs > 0xFFFF ? 0xFFFF : rs);
  w.WaterSelfColSum = static_cast<uint16_t>(cs > 0xFFFF ? 0xFFFF : cs);
  w.WaterSelfRowAny = w.WaterSelfColAny = 0;
  for (int32_t r = 0; r < in.ubRowNum; ++r)
    if (in.pswSelfDiff[r] != 0) w.WaterSelfRowAny = 1;
  for (int32_t c = 0; c < in.ubColNum; ++c)
    if (in.pswSelfDiff[in.ubRowNum + c] != 0) w.WaterSelfColAny = 1;
}

// ---- Step 6: entry test -----------------------------------------------------------------

void EntryTest(const WaterproofInput& in) {
  WaterModuleState& w = gstWaterState;
  if (w.WaterUnionFlag == 0 && w.WaterMoveFlag == 0 && w.WaterLargeSta == 0) w.WaterRectRemoved = 0;
  if (w.WaterUnionFlag != 0) {
    w.WaterEntrySeen = 1;
    return;
  }
  w.WaterEntrySeen = 0;
  if (in.swDiffMax < 50) return;
  const int32_t signCount = w.WaterPosCount + w.WaterNegCount;
  int32_t m = signCount;
  bool b = false;
  uint32_t live = 0;
  const WaterUnion* only = nullptr;
  for (const WaterUnion& u : w.astUnion) {
    if (!WaterUnionLive(u)) continue;
    ++live;
    only = &u;
  }
  if (w.WaterMoveFlag == 0 || in.ubFingerNum == 0) {
    bool allNeg = true;
    int32_t t = 0;
    for (const WaterUnion& u : w.astUnion) {
      if (!WaterUnionLive(u)) continue;
      m = Imax(m, u.nodeCount);
      const int32_t longer = Imax(u.rect.ubRowEnd - u.rect.ubRowStart + 1, u.rect.ubColEnd - u.rect.ubColStart + 1);
      if (!(u.posSum + u.negSum < 0 && longer > 4)) allNeg = false;
      t = Imax(t, u.age);
    }
    b = allNeg && live > 1;
    if (b && in.ubRowNum > 30) b = w.WaterFingerSum < t;
  }
  const int32_t tl = in.uwTouchLevel;
  int32_t h = tl;
  if (live == 1 || b) h = tl * 3 / 2;
  if (live == 1 && only != nullptr) {
    const int32_t longer =
        Imax(only->rect.ubRowEnd - only->rect.ubRowStart + 1, only->rect.ubColEnd - only->rect.ubColStart + 1);
    if ((w.WaterPosCount < w.WaterNegCount && only->posSum + only->negSum < 0) || (only->age < 100 && longer < 5)) {
      h = (tl * 3) & ~1;
    }
  }
  const bool strong = in.swDiffMax > 100 || in.swDiffMin < -100;
  if (in.swDiffMax < h && (strong || (w.WaterPosCount != 0 && w.WaterNegCount != 0) || m > 2) &&
      w.WaterFingerSum < 50) {
    w.WaterEntrySeen = 1;
  }
}

// ---- Step 7: region edge test -----------------------------------------------------------

bool RegionEdgeTest(const WaterproofInput& in) {
  WaterModuleState& w = gstWaterState;
  if (in.ubFingerNum < 3) return false;
  uint32_t edge = 0, inner = 0, moving = 0;
  for (uint8_t k = 0; k < kRegionMax; ++k) {
    if (in.puwKeep[k] == 0) continue;
    const RegionRect R = in.pstRect[k];
    if (!TouchesGridEdge(R, in.ubRowNum, in.ubColNum)) {
      ++inner;
      continue;
    }
    ++edge;
    if (!RectValidOn(R, in.ubRowNum, in.ubColNum)) continue;
    for (int32_t r = R.ubRowStart; r <= R.ubRowEnd; ++r)
      for (int32_t c = R.ubColStart; c <= R.ubColEnd; ++c) {
        const uint32_t i = static_cast<uint32_t>(r) * in.ubColNum + c;
        const int32_t d = in.pswDiff[i] - in.pswPrevDiff[i];
        if (d > 49 || d < -49) ++moving;
      }
  }
  bool holds = false;
  if (edge > 2 && inner >= 1) {
    holds = moving < 2u * in.ubRegionNum && (w.WaterAllEdge == 0 || w.WaterCheckMode != 0 || w.WaterMoveFlag != 0);
  }
  w.WaterAllEdge = inner == 0 ? 1 : 0;
  if (w.WaterLastRegionCnt == 0 && in.ubRegionNum != 0) holds = true;
  return holds;
}

// ---- Step 8: check mode -----------------------------------------------------------------

void StartCheckMode() {
  WaterModuleState& w = gstWaterState;
  w.WaterCheckScore = 150;
  w.WaterCheckStep = 5;
  w.WaterCheckTimer = 20;
  w.WaterCheckMode = 1;
}

void EndCheckMode() {
  WaterModuleState& w = gstWaterState;
  w.WaterCheckMode = 0;
  w.WaterTouchGate = 0;
  w.WaterMoveFlag = 0;
  if (w.WaterUnionFlag == 0) w.WaterEntrySeen = 0;
  w.WaterCheckScore = w.WaterCheckStep = w.WaterCheckTimer = 0;
  for (WaterUnion& u : w.astUnion) {
    u.confirmMark = 0;
    if (u.wetMark != 0) u.carryMark = 1;
  }
}

bool CheckPasses(const WaterproofInput& in) {
  const WaterModuleState& w = gstWaterState;
  const CoordPair* cp = Pair(in);
  if (cp == nullptr) return false;
  const int32_t level = in.swDiffMax > 300 ? static_cast<int32_t>(in.uwTouchLevel) : in.swLowLevel;
  uint32_t slots = 0;
  for (uint8_t s = 0; s < kRegionMax; ++s) {
    if (!SlotOccupied(in, s)) continue;
    if (TouchedIn(in.pswPrevDiff, in, RegionRectClip(cp->astLastRect[s], in.ubRowNum, in.ubColNum), level, nullptr) != 0)
      ++slots;
  }
  if (slots < 3) return false;
  if (slots == 3 && w.WaterStrongUnionCount <= 2) return false;
  for (const WaterUnion& u : w.astUnion) {
    if (!WaterUnionLive(u)) continue;
    bool pass = false;
    for (uint8_t s = 0; s < kRegionMax && !pass; ++s) pass = SlotOccupied(in, s) && RectInside(cp->astLastRect[s], u.rect);
    if (!pass) pass = TouchedIn(in.pswDiff, in, u.rect, in.swLowLevel, nullptr) < 3;
    if (!pass) return false;
  }
  return true;
}

void CheckMode(const WaterproofInput& in, bool boEdgeTest) {
  WaterModuleState& w = gstWaterState;
  // A merge of the union build may have switched the check mode on without its start.
  if (w.WaterCheckMode != 0 && w.WaterCheckScore == 0 && w.WaterCheckTimer == 0) StartCheckMode();
  if (w.WaterCheckTimer != 0) {
    bool lower = false;
    for (const WaterSlotTrack& t : w.astSlotTrack) {
      if (!TrackLive(t) || t.ubState != 200) continue;
      if (w.WaterCheckTimer < 20) {
        lower = true;
        break;
      }
      const uint8_t k = LastFilled(t);
      const int32_t dx = static_cast<int32_t>(t.auwX[0]) - t.auwX[k], dy = static_cast<int32_t>(t.auwY[0]) - t.auwY[k];
      if (dx * dx + dy * dy > 8) {
        lower = true;
        break;
      }
    }
    if (lower) {
      --w.WaterCheckTimer;
      w.WaterCheckStep = 5;
    }
  }
  bool ran = false;
  if ((w.WaterCheckMode != 0 || boEdgeTest) && in.ubSkip == 0) {
    ran = true;
    if (CheckPasses(in)) {
      w.WaterHoldFive = 5;
      if (w.WaterCheckMode != 0) EndCheckMode();
    } else if (w.WaterHoldFive != 0 && --w.WaterHoldFive != 0) {
      if (w.WaterCheckMode != 0) EndCheckMode();
    } else if (w.WaterMoveFlag != 0 && w.WaterCheckMode == 0) {
      StartCheckMode();
    }
  }
  if (!ran) w.WaterHoldFive = 0;
  if (w.WaterCheckMode == 0) return;
  bool centresIn = true;
  for (const WaterUnion& u : w.astUnion) {
    if (!WaterUnionLive(u)) continue;
    const uint8_t cy = static_cast<uint8_t>(u.lastY / 4), cx = static_cast<uint8_t>(u.lastX / 4);
    const RegionRect c = RegionRectGrow(RegionRect{cy, cy, cx, cx}, 1, in.ubRowNum, in.ubColNum);
    if (!RectInside(c, u.rect)) centresIn = false;
  }
  const uint8_t fall = (w.WaterCheckTimer != 0 || centresIn) ? 1 : 5;
  w.WaterCheckScore = static_cast<uint8_t>(w.WaterCheckScore > fall ? w.WaterCheckScore - fall : 0);
  if (w.WaterCheckScore == 0) EndCheckMode();
}

// ---- Step 10: union update --------------------------------------------------------------

bool RejudgeWet(const WaterproofInput& in, const WaterUnion& u, bool boUnionFlagBefore) {
  const WaterModuleState& w = gstWaterState;
  const RegionRect r = u.rect;
  if (!RectValidOn(r, in.ubRowNum, in.ubColNum)) return false;
  const int32_t h = r.ubRowEnd - r.ubRowStart + 1, wd = r.ubColEnd - r.ubColStart + 1;
  const uint32_t touched = TouchedIn(in.pswDiff, in, r, in.swLowLevel, nullptr);
  const bool small = touched < 5 && WaterRectNodes(u.strongRect) > static_cast<uint32_t>(((h * wd) & ~1) / 2);
  if (!small) return false;
  const int32_t gc = Imax(0, wd - u.startWidth), gr = Imax(0, h - u.startHeight);
  const int32_t ext = u.extentGrowCount;
  bool plain;
  if (gc + gr == 0 || ((wd - h >= 3 || h - wd >= 3) && Imax(wd, h) < 11)) {
    plain = true;
  } else {
    plain = Imax(u.startWidth, u.startHeight) > 8;
  }
  const int32_t density = static_cast<int32_t>(u.nodeCount) * 100 / (h * wd);
  const int32_t L = ext == 1 ? 65 : Imax(65 - 5 * (ext - 1), 50);
  const int32_t K = Imax(60 - 5 * ext, 40);
  const int64_t bal = static_cast<int64_t>(u.posSum) + u.negSum;
  const bool negative = (u.posSum > 300 ? bal < 50 : bal < 0) && u.strongCount <= u.nodeCount - u.strongCount;
  const int32_t py = u.lastY / 4, px = u.lastX / 4;
  const bool outside = py < r.ubRowStart || py > r.ubRowEnd || px < r.ubColStart || px > r.ubColEnd;
  const int32_t maxSide = Imax(u.maxWidth, u.maxHeight), minSide = Imin(u.maxWidth, u.maxHeight);
  const bool A = ext >= 4 && outside && negative && density >= L && (u.startWidth <= gc || u.startHeight <= gr) &&
                 minSide >= 4 && u.age < 50;
  const int32_t ns = static_cast<int32_t>(u.nodeCount) - u.strongCount;
  return (w.WaterMoveFlag == 0 && boUnionFlagBefore && gc + gr > 1 && density >= 50 && negative && maxSide >= 4) || A ||
         (!outside && !plain && negative && density >= L && maxSide >= 4 && ((u.age >= 5 && u.age <= 69) || A)) ||
         (ext >= 2 && !outside && !plain &&
          !(u.posSum <= 2 * static_cast<int32_t>(u.posSumStart) && u.strongCount <= 2 * u.strongCountStart) &&
          static_cast<int64_t>(ns) * (100 - K) > static_cast<int64_t>(u.strongCount) * K &&
          static_cast<int64_t>(100 - K) * u.negSum + static_cast<int64_t>(K) * u.posSum < 0 && density >= 50 &&
          maxSide >= 6 && u.age >= 25) ||
         (Imin(wd, h) >= 6 && u.nodeCount >= 31 && u.negDomCount >= 10);
}

void UnionUpdate(WaterproofInput& in) {
  WaterModuleState& w = gstWaterState;
  const uint32_t N = static_cast<uint32_t>(in.ubRowNum) * in.ubColNum;
  ArmUnionFromSlotDip(&in);
  WaterBuildUnions(&in);
  for (WaterUnion& u : w.astUnion) {
    if (!WaterUnionLive(u)) continue;
    if (TouchesGridEdge(u.rect, in.ubRowNum, in.ubColNum)) {
      if (u.edgeCount < 500) ++u.edgeCount;
    } else {
      u.edgeCount = 0;
    }
    // The hold counter counts the updates of the union; -1 (set by a merge) stops it.
    if (u.holdCount >= 0 && u.holdCount < 500) ++u.holdCount;
    // The four bytes remember that the union has carried a touch region: only such a
    // union can be moving water that drags a touch with it.
    if (u.regionCount != 0) memset(u.aubSet, 1, sizeof(u.aubSet));
    // The strong core is the inside of the union.
    u.innerRect = u.strongRect;
  }
  memcpy(w.WaterDiffSnap, in.pswDiff, N * sizeof(int16_t));
  if (w.WaterEntrySeen != 0) {
    const bool before = w.WaterUnionFlag != 0;
    uint8_t flag = 0;
    for (WaterUnion& u : w.astUnion) {
      if (!WaterUnionLive(u)) continue;
      if (u.wetMark != 0) {
        flag = 1;
        continue;
      }
      if (u.confirmMark != 0 || u.extentGrowCount == 0) continue;
      if (RejudgeWet(in, u, before)) {
        u.wetMark = 1;
        u.carryMark = 1;
        flag = 1;
      }
    }
    w.WaterUnionFlag = flag;
  }
  // Only unions judged water are marked, and inside them only the nodes that do not rise
  // to the touch level in their neighbourhood: a finger in a wet area keeps its core at
  // mark 1, so that region removal drops the droplets around it and keeps the finger.
  for (uint8_t j = 0; j < kWaterUnionMax; ++j) {
    const WaterUnion& u = w.astUnion[j];
    if (!WaterUnionLive(u) || (u.wetMark == 0 && u.confirmMark == 0)) continue;
    MarkUnionNodes(in.ubColNum, in.ubRowNum, w.WaterAuxMap, u.rect, j);
    if (!RectValidOn(u.rect, in.ubRowNum, in.ubColNum)) continue;
    for (int32_t r = u.rect.ubRowStart; r <= u.rect.ubRowEnd; ++r)
      for (int32_t c = u.rect.ubColStart; c <= u.rect.ubColEnd; ++c) {
        uint8_t& m = w.WaterMarkMap[static_cast<uint32_t>(r) * in.ubColNum + c];
        if (m >= 2 && WaterNeighbourValue(in.pswDiff, in.ubRowNum, in.ubColNum, r, c) > in.uwTouchLevel) m = 1;
      }
  }
}

void ClearUnions(uint32_t N) {
  WaterModuleState& w = gstWaterState;
  for (WaterUnion& u : w.astUnion)
    if (WaterUnionLive(u)) WaterUnionFree(u);
  memset(w.WaterMarkMap, 0, N);
  memset(w.WaterAuxMap, 0, N);
  memset(w.WaterDiffSnap, 0, N * sizeof(int16_t));
}

// ---- Step 11 and the network step -------------------------------------------------------

bool UnionMoved(const WaterproofInput& in, const WaterUnion& u) {
  if (u.slot >= kRegionMax || in.puwSlotX == nullptr || in.puwSlotY == nullptr) return false;
  const WaterSlotTrack& t = gstWaterState.astSlotTrack[u.slot];
  if (t.ubState < 4) return false;
  const uint8_t k = LastFilled(t);
  const int32_t dx = static_cast<int32_t>(in.puwSlotX[u.slot]) - t.auwX[k];
  const int32_t dy = static_cast<int32_t>(in.puwSlotY[u.slot]) - t.auwY[k];
  return dx * dx + dy * dy >= 101 && static_cast<uint16_t>(u.ratio) >= 21 &&
         static_cast<int64_t>(u.posSum) > static_cast<int64_t>(u.startValue) + 1000;
}

// The network picture: diff - diff before last, diff - previous diff, and the diff.
void FillNetInput(const WaterproofInput& in) {
  float* p = safNetInput;
  memset(p, 0, sizeof(safNetInput));
  for (int32_t r = 0; r < in.ubRowNum; ++r) {
    for (int32_t c = 0; c < in.ubColNum; ++c) {
      const uint32_t i = static_cast<uint32_t>(r) * in.ubColNum + c;
      const int16_t d = in.pswDiff[i];
      const int16_t q = in.pswDiffLastLast != nullptr ? in.pswDiffLastLast[i] : 0;
      p[(0 * 20 + r) * 40 + c] = static_cast<int16_t>(d - q);
      p[(1 * 20 + r) * 40 + c] = static_cast<int16_t>(d - in.pswPrevDiff[i]);
      p[(2 * 20 + r) * 40 + c] = d;
    }
  }
}

bool RunNetwork(const WaterproofInput& in) {
  WaterModuleState& w = gstWaterState;
  if (w.gboCurRunDl != 0 || w.gubTryDlCount > 2 || in.pubNetWork == nullptr || in.ubColNum > 40 || in.ubRowNum > 20) {
    return false;
  }
  InitNetWater(&sstNetState);
  FillNetInput(in);
  uint32_t s1 = 0, s2 = 0;
  const uint32_t rc = NetWaterDetection(safNetInput, &sstNetState, 20, 40, 3, &s1, &s2, in.pubNetWork + kWaterNetPoolBytes);
  w.gboCurRunDl = 1;
  if (rc == 0 && s1 >= 81 && s2 >= 11) {
    w.gboDlWaterSta = 1;
    return true;
  }
  return false;
}

// A union is left out of the line check when one of its regions is a steady track.
bool ExcludedBySteadyTrack(const WaterproofInput& in, uint8_t ubUnion, const uint32_t* steady, uint8_t nSteady) {
  for (uint8_t k = 0; k < kRegionMax; ++k) {
    if (in.puwKeep[k] == 0 || gstWaterState.WaterRegionMark[k] != ubUnion) continue;
    for (uint8_t s = 0; s < nSteady; ++s)
      if (steady[s] == RegionRectWord(in.pstRect[k])) return true;
  }
  return false;
}

// The marking of a confirmed union: its touch core stays as the one region of the union;
// the union's other regions are removed. Returns the removals.
uint8_t MarkConfirmed(WaterproofInput& in, uint8_t j, uint32_t uiSide) {
  WaterModuleState& w = gstWaterState;
  WaterUnion& u = w.astUnion[j];
  uint16_t corePeak = 0;
  uint32_t coreWord = 0;
  FindUnionPeakRect(&in, j, u.slot < kRegionMax ? u.slot : 255, static_cast<uint8_t>(uiSide > 255 ? 255 : uiSide),
                    reinterpret_cast<const int16_t*>(sauwBoxSum), &corePeak, &coreWord);
  const RegionRect core = RegionRectFromWord(coreWord);
  w.WaterNetRegion = 1;
  if (u.armCount == 5 && uiSide > 9) {
    u.armCount = 6;
  } else if (u.armCount < 1000) {
    ++u.armCount;
  }
  u.confirmMark = 1;
  MarkUnionNodes(in.ubColNum, in.ubRowNum, w.WaterAuxMap, u.rect, j);
  uint8_t removed = 0;
  bool kept = false;
  for (uint8_t k = 0; k < kRegionMax; ++k) {
    if (in.puwKeep[k] == 0 || w.WaterRegionMark[k] != j) continue;
    const RegionRect R = in.pstRect[k];
    if (!kept && WaterRectOverlap(R, core)) {
      kept = true;
      in.puwKeep[k] = corePeak;
      if (corePeak == 0) {
        ++removed;
        RegionRect& del = w.gstWaterDelRect[k];
        if (RegionRectWord(del) == kRegionRectEmptyBound) del = R;
        continue;
      }
      if (RectValidOn(R, in.ubRowNum, in.ubColNum)) {
        for (int32_t r = R.ubRowStart; r <= R.ubRowEnd; ++r)
          for (int32_t c = R.ubColStart; c <= R.ubColEnd; ++c) {
            const uint32_t i = static_cast<uint32_t>(r) * in.ubColNum + c;
            const bool inCore = r >= core.ubRowStart && r <= core.ubRowEnd && c >= core.ubColStart && c <= core.ubColEnd;
            if (!inCore && in.pubLabelMap[i] == k) in.pubLabelMap[i] = kRegionLabelNone;
          }
      }
      in.pstRect[k] = core;
      // The touch core is a finger, not water: its nodes leave the water marks so that the
      // region removal keeps it.
      if (RectValidOn(core, in.ubRowNum, in.ubColNum)) {
        for (int32_t r = core.ubRowStart; r <= core.ubRowEnd; ++r)
          for (int32_t c = core.ubColStart; c <= core.ubColEnd; ++c) {
            uint8_t& m = w.WaterMarkMap[static_cast<uint32_t>(r) * in.ubColNum + c];
            if (m != 0) m = 1;
          }
      }
      continue;
    }
    DropRegion(in, k);
    ++removed;
  }
  return removed;
}

// The network step and line check for one qualified union; returns the removals.
uint8_t DecideUnion(WaterproofInput& in, uint8_t j, const uint32_t* steady, uint8_t nSteady) {
  WaterModuleState& w = gstWaterState;
  WaterUnion& u = w.astUnion[j];
  RegionRect box;
  const uint32_t touched = TouchedIn(in.pswDiff, in, u.strongRect, in.swLowLevel, &box);
  const int32_t bh = touched != 0 ? box.ubRowEnd - box.ubRowStart + 1 : 0;
  const int32_t bw = touched != 0 ? box.ubColEnd - box.ubColStart + 1 : 0;
  if (!((u.armCount != 0 || UnionMoved(in, u)) && (bh > 5 || bw > 5) && touched > 5)) return 0;
  const uint32_t side = static_cast<uint32_t>(Imax(bh, bw));
  if (w.gboDlWaterSta != 0) return MarkConfirmed(in, j, side);
  // The strongest marked change inside the union.
  const RegionRect U = u.rect;
  if (!RectValidOn(U, in.ubRowNum, in.ubColNum)) return 0;
  int32_t pr = -1, pc = -1, best = 0;
  for (int32_t r = U.ubRowStart; r <= U.ubRowEnd; ++r)
    for (int32_t c = U.ubColStart; c <= U.ubColEnd; ++c) {
      const uint32_t i = static_cast<uint32_t>(r) * in.ubColNum + c;
      if (w.WaterMarkMap[i] == 0 || in.pswDiff[i] <= 24) continue;
      if (pr < 0 || saswChange[i] > best) {
        pr = r;
        pc = c;
        best = saswChange[i];
      }
    }
  if (pr < 0 || best < 80) return 0;
  RegionRect net{255, 0, 255, 0};
  uint32_t rising = 0;
  for (int32_t r = Imax(pr - 2, U.ubRowStart); r <= Imin(pr + 2, U.ubRowEnd); ++r)
    for (int32_t c = Imax(pc - 2, U.ubColStart); c <= Imin(pc + 2, U.ubColEnd); ++c) {
      const uint32_t i = static_cast<uint32_t>(r) * in.ubColNum + c;
      const int32_t d = in.pswDiff[i];
      const int32_t q = in.pswDiffLastLast != nullptr ? in.pswDiffLastLast[i] : d;
      if (!(in.pubLabelMap[i] != kRegionLabelNone || d > 50)) continue;
      if (!(d - in.pswPrevDiff[i] > 50 || d - q > 50)) continue;
      if (rising == 0) net = RegionRect{static_cast<uint8_t>(r), static_cast<uint8_t>(r), static_cast<uint8_t>(c), static_cast<uint8_t>(c)};
      ++rising;
      net.ubRowStart = static_cast<uint8_t>(Imin(net.ubRowStart, r));
      net.ubRowEnd = static_cast<uint8_t>(Imax(net.ubRowEnd, r));
      net.ubColStart = static_cast<uint8_t>(Imin(net.ubColStart, c));
      net.ubColEnd = static_cast<uint8_t>(Imax(net.ubColEnd, c));
    }
  if (rising < 2) return 0;
  if (RunNetwork(in)) return MarkConfirmed(in, j, side);
  if (ExcludedBySteadyTrack(in, j, steady, nSteady) || in.pswSelfDiff == nullptr) return 0;
  uint8_t outRow = 0, outCol = 0;
  const uint8_t flagRow = JudgeProfileSplit(&in, in.pswSelfDiff, 0, box, net, &outRow);
  const uint8_t flagCol = JudgeProfileSplit(&in, in.pswSelfDiff + in.ubRowNum, 1, box, net, &outCol);
  if (outRow > 1 || outCol > 1 || (outRow == 0 && outCol == 0)) return 0;
  if ((flagRow != 0 && outRow == 0) || (flagCol != 0 && outCol == 0)) {
    w.WaterNetRegion = 0;
    return 0;
  }
  return MarkConfirmed(in, j, side);
}

// Two regions of the union touch inside its box (a 4-neighbour of another region label).
bool RegionsTouch(const WaterproofInput& in, const RegionRect& U) {
  if (!RectValidOn(U, in.ubRowNum, in.ubColNum)) return false;
  for (int32_t r = U.ubRowStart; r <= U.ubRowEnd; ++r)
    for (int32_t c = U.ubColStart; c <= U.ubColEnd; ++c) {
      const uint8_t a = in.pubLabelMap[r * in.ubColNum + c];
      if (a == kRegionLabelNone) continue;
      const int32_t nb[4][2] = {{r, c - 1}, {r, c + 1}, {r - 1, c}, {r + 1, c}};
      for (const auto& p : nb) {
        if (p[0] < U.ubRowStart || p[0] > U.ubRowEnd || p[1] < U.ubColStart || p[1] > U.ubColEnd) continue;
        const uint8_t b = in.pubLabelMap[p[0] * in.ubColNum + p[1]];
        if (b != kRegionLabelNone && b != a) return true;
      }
    }
  return false;
}

bool MovingWater(const WaterUnion& u) {
  if (u.confirmMark != 0) return true;
  if (u.startValue == 0) return false;
  int64_t m = static_cast<int64_t>(static_cast<int32_t>(u.lastX) - u.centreX) * (static_cast<int32_t>(u.lastX) - u.centreX) +
              static_cast<int64_t>(static_cast<int32_t>(u.lastY) - u.centreY) * (static_cast<int32_t>(u.lastY) - u.centreY);
  const int32_t gw = u.maxWidth - u.startWidth, gh = u.maxHeight - u.startHeight;
  const int64_t g = (gw >= 1 && gh >= 1) ? static_cast<int64_t>(gw) * gw + static_cast<int64_t>(gh) * gh : 0;
  if (g > m && m > 10) m = 0;
  const int32_t h = u.rect.ubRowEnd - u.rect.ubRowStart + 1, w = u.rect.ubColEnd - u.rect.ubColStart + 1;
  uint32_t moves = u.moveCount;
  if (u.negSum == 0 && ((w > 2 * h && h > 2) || (h > 2 * w && w >= 3))) {
    m *= 2;
    moves = moves + 1;
  }
  const bool set = u.aubSet[0] != 0 || u.aubSet[1] != 0 || u.aubSet[2] != 0 || u.aubSet[3] != 0;
  return m >= 11 && set && u.extentGrowCount >= 3 && moves >= 3 && u.ratio >= 21 && u.age <= 149 &&
         (w >= 2 * u.startWidth || h >= 2 * u.startHeight || u.regionCount > 1);
}

uint8_t PerUnionDecision(WaterproofInput& in) {
  WaterModuleState& w = gstWaterState;
  const uint8_t R = in.ubRowNum, C = in.ubColNum;
  const uint32_t N = static_cast<uint32_t>(R) * C;
  const CoordPair* cp = Pair(in);
  w.WaterNetRegion = 0;
  AndroidSubS16(in.pswDiff, in.pswPrevDiff, saswChange, static_cast<int32_t>(N));
  uint32_t steady[kRegionMax];
  const uint8_t nSteady = GetSteadyTrackRects(steady, nullptr);
  uint8_t removed = 0;
  for (uint8_t j = 0; j < kWaterUnionMax; ++j) {
    WaterUnion& u = w.astUnion[j];
    if (!WaterUnionLive(u)) continue;
    u.rearmMark = 0;
    if (u.splitMark == 2 && u.armCount != 0 && u.holdCount >= 0) u.armCount = 0;
    // Which unions are decided: one whose regions run into each other inside it, or, with
    // fingers down, one that holds at most one finger.
    bool qualified;
    if (u.regionCount >= 2 && u.armCount <= 2) {
      qualified = RegionsTouch(in, u.rect);
    } else {
      qualified = in.ubFingerNum != 0;
    }
    if (!qualified) continue;
    if (in.ubFingerNum != 0 && cp != nullptr) {
      const RegionRect wide = RegionRectGrow(u.rect, 1, R, C);
      uint32_t inside = 0;
      for (uint8_t s = 0; s < kRegionMax; ++s) inside += SlotOccupied(in, s) && RectInside(cp->astLastRect[s], wide) ? 1u : 0u;
      if (inside >= 2) continue;
    }
    uint16_t keep = 0;
    uint32_t rect = 0;
    FindRegionByWaterMark(&in, &keep, &rect, j);
    // The box sums of the change smooth the score the touch core is searched by.
    for (uint32_t i = 0; i < N; ++i) sauwBoxSum[i] = static_cast<uint16_t>(saswChange[i]);
    BoxSum3x3(sauwBoxSum, sauwBoxScratch, u.rect, C, R);
    removed = static_cast<uint8_t>(removed + DecideUnion(in, j, steady, nSteady));
  }
  if (w.WaterCheckMode != 0 && in.ubRegionSkip == 0) {
    const uint8_t before = w.WaterMoveFlag;
    uint8_t moving = 0;
    for (WaterUnion& u : w.astUnion) {
      if (!WaterUnionLive(u) || !MovingWater(u)) continue;
      u.confirmMark = 1;
      moving = 1;
    }
    w.WaterMoveFlag = moving;
    if (before == 0 && moving != 0) memcpy(w.WaterBaseDiff, in.pswPrevDiff, N * sizeof(int16_t));
  }
  return removed;
}

// ---- Step 13: wet areas -----------------------------------------------------------------

// A region no node of which rises above LEVEL in its neighbourhood.
bool RegionWeak(const WaterproofInput& in, uint8_t k, int32_t level) {
  return TouchedIn(in.pswDiff, in, RegionRectClip(in.pstRect[k], in.ubRowNum, in.ubColNum), level, nullptr) == 0;
}

uint8_t KeptCount(const WaterproofInput& in) {
  uint8_t n = 0;
  for (uint8_t k = 0; k < kRegionMax; ++k) n += in.puwKeep[k] != 0 ? 1 : 0;
  return n;
}

bool NegativeDominant(const WaterproofInput& in) {
  const WaterModuleState& w = gstWaterState;
  const uint8_t regions = KeptCount(in);
  uint32_t weak = 0, limit = 3;
  if (regions >= 4) {
    const int32_t level = (in.swLevel < 20 && in.swDiffMin < -200) ? static_cast<int32_t>(in.uwTouchLevel) : in.swLowLevel;
    limit = in.swLevel < 20 ? 1 : 3;
    for (uint8_t k = 0; k < kRegionMax; ++k)
      if (in.puwKeep[k] != 0 && RegionWeak(in, k, level)) ++weak;
  }
  if (w.WaterNegCount < 2) return false;
  if (w.WaterFingerSum > 49 && weak <= limit) return w.WaterOneFingerCnt >= 6 && regions > 1;
  return true;
}

// The self ratios: the share (in percent) of the positive self signal that lies in the rows
// and in the columns spanned by the water unions. Both high means the self picture is the
// water's, not a finger's beside it.
void SelfRatios(const WaterproofInput& in, int32_t& rowRatio, int32_t& colRatio) {
  const WaterModuleState& w = gstWaterState;
  rowRatio = colRatio = 0;
  if (in.ubSelfCapEn == 0 || in.pswSelfDiff == nullptr) return;
  int32_t rt = 0, ct = 0;
  for (int32_t r = 0; r < in.ubRowNum; ++r) rt += Imax(in.pswSelfDiff[r], 0);
  for (int32_t c = 0; c < in.ubColNum; ++c) ct += Imax(in.pswSelfDiff[in.ubRowNum + c], 0);
  if (rt != 0) rowRatio = static_cast<int32_t>(w.WaterSelfRowSum) * 100 / rt;
  if (ct != 0) colRatio = static_cast<int32_t>(w.WaterSelfColSum) * 100 / ct;
}

// The wet-area removal: on a wet panel a region without a finger's peak (see
// WaterFingerPeakIn: a node above LEVEL, the doubled low level, carried by a neighbourhood
// above the low level) is a wet patch or a droplet rather than a touch and is removed,
// unless its rectangle is larger than the count limit (a large area is the large-area
// check's matter).
uint8_t WetAreaRemoval(WaterproofInput& in, int32_t level, uint32_t limit) {
  uint8_t removed = 0;
  for (uint8_t k = 0; k < kRegionMax; ++k) {
    if (in.puwKeep[k] == 0) continue;
    if (WaterRectNodes(in.pstRect[k]) > limit) continue;
    const RegionRect r = RegionRectClip(in.pstRect[k], in.ubRowNum, in.ubColNum);
    if (WaterFingerPeakIn(in.pswDiff, in.ubRowNum, in.ubColNum, r, level, in.swLowLevel)) continue;
    DropRegion(in, k);
    ++removed;
  }
  return removed;
}

// The border rule: with a wet border, a region on that border that does not rise above
// the touch level is water run in from the edge.
uint8_t BorderRemoval(WaterproofInput& in) {
  const int32_t R = in.ubRowNum, C = in.ubColNum;
  uint32_t top = 0, bottom = 0, left = 0, right = 0;
  const auto big = [&](int32_t r, int32_t c) {
    const int32_t v = in.pswDiff[r * C + c];
    return v > 40 || v < -40;
  };
  for (int32_t c = 0; c < C; ++c) top += big(0, c), bottom += big(R - 1, c);
  for (int32_t r = 0; r < R; ++r) left += big(r, 0), right += big(r, C - 1);
  uint8_t removed = 0;
  for (uint8_t k = 0; k < kRegionMax; ++k) {
    if (in.puwKeep[k] == 0) continue;
    const RegionRect Rk = in.pstRect[k];
    const bool wetSide = (Rk.ubRowStart == 0 && top > 5) || (Rk.ubRowEnd >= R - 1 && bottom > 5) ||
                         (Rk.ubColStart == 0 && left > 5) || (Rk.ubColEnd >= C - 1 && right > 5);
    if (!wetSide || !RegionWeak(in, k, in.uwTouchLevel)) continue;
    DropRegion(in, k);
    ++removed;
  }
  return removed;
}

uint8_t WetAreas(WaterproofInput& in, uint8_t ubWaterIn) {
  WaterModuleState& w = gstWaterState;
  uint8_t removed = 0;
  const bool dominant = w.WaterPosCount < 4u * w.WaterNegCount && NegativeDominant(in);
  if ((dominant || w.WaterRemovePending != 0) && in.ubSkip == 0 && in.ubRegionSkip == 0) {
    memset(&sstWetStats, 0, sizeof(sstWetStats));
    CalcWetAreaStats(&in, &sstWetStats, sauwWetScratch);
    const WetAreaStats& st = sstWetStats;
    const bool calm = st.negNearPos < 5 || st.negCount < 10 || JudgeWetArea(&st, in.ubFingerNum) == 0;
    if (calm) {
      w.WaterCalmCnt = static_cast<uint8_t>(w.WaterCalmCnt + (st.negIsolated == 0 ? 2 : 1));
      w.WaterWetCnt = 0;
      if (w.WaterCalmCnt > 2) {
        if (w.WaterWetLevel != 0) --w.WaterWetLevel;
        w.WaterCalmCnt = 0;
      }
    } else {
      w.WaterWetCnt = static_cast<uint8_t>(w.WaterWetCnt + ((st.posIsolated > 15 || st.holeRatio > 300) ? 2 : 1));
      w.WaterCalmCnt = 0;
      if (w.WaterWetCnt > 2) {
        if (w.WaterWetLevel < 6) ++w.WaterWetLevel;
        w.WaterWetCnt = 0;
      }
    }
    // Only raised here; it falls when the negative-dominant test fails.
    if (ubWaterIn == 0 && w.WaterWetLevel >= (st.negNearPos < 91 ? 4 : 3)) w.WaterLargeSta = 1;
    int32_t rr, cr;
    SelfRatios(in, rr, cr);
    const int32_t lim = st.negNearPos > 19 ? 79 : 89;
    w.WaterSelfStrong = (rr > lim && cr > lim) ? 1 : 0;
    const uint16_t touched = static_cast<uint16_t>(
        TouchedIn(in.pswDiff, in, RegionRect{0, static_cast<uint8_t>(in.ubRowNum - 1), 0, static_cast<uint8_t>(in.ubColNum - 1)},
                  in.swLowLevel, nullptr));
    const int32_t change = static_cast<int32_t>(touched) - suwPrevTouched;
    suwPrevTouched = touched;
    if (change >= 50 || change <= -50) {
      if (w.WaterUnionFlag != 0 || (w.WaterSelfStrong != 0 && w.WaterZeroFingerCnt == 10)) {
        if (w.WaterSelfCnt < 10) ++w.WaterSelfCnt;
      } else if (w.WaterSelfCnt != 0) {
        --w.WaterSelfCnt;
      }
    }
    w.WaterSelfHigh = w.WaterSelfCnt > (w.WaterSelfHigh != 0 ? 3 : 5) ? 1 : 0;
    // A large or self-confirmed wet area takes the doubled low level and bigger regions.
    const bool boWide = w.WaterSelfStrong != 0 || w.WaterSelfHigh != 0 || w.WaterLargeSta != 0;
    const uint8_t n = boWide ? WetAreaRemoval(in, 2 * in.swLowLevel, 30) : WetAreaRemoval(in, in.swLowLevel, 20);
    w.WaterRemovePending = n != 0 ? 1 : 0;
    removed = static_cast<uint8_t>(removed + n);
  } else if (!dominant) {
    w.WaterLargeSta = 0;
    w.WaterCalmCnt = w.WaterWetCnt = w.WaterWetLevel = 0;
  }
  const uint32_t quarter = static_cast<uint32_t>(in.ubRowNum) * in.ubColNum / 4;
  bool large = false;
  if (static_cast<uint32_t>(w.WaterPosCount) + w.WaterNegCount > quarter) {
    WetAreaStats st{};
    CalcWetAreaStats(&in, &st, sauwWetScratch);
    large = st.holeRatio >= 51 && JudgeWetArea(&st, in.ubFingerNum) == 1;
  }
  if (large) {
    w.WaterLargeHold = static_cast<uint8_t>(w.WaterLargeHold + 4 > 20 ? 20 : w.WaterLargeHold + 4);
  } else if (w.WaterLargeHold != 0) {
    --w.WaterLargeHold;
  }
  if (w.WaterLargeHold != 0) removed = static_cast<uint8_t>(removed + BorderRemoval(in));
  return removed;
}

// ---- Steps 15 and 16 --------------------------------------------------------------------

uint32_t OverlapArea(const RegionRect& a, const RegionRect& b) {
  const int32_t h = Imin(a.ubRowEnd, b.ubRowEnd) - Imax(a.ubRowStart, b.ubRowStart) + 1;
  const int32_t w = Imin(a.ubColEnd, b.ubColEnd) - Imax(a.ubColStart, b.ubColStart) + 1;
  return (h > 0 && w > 0) ? static_cast<uint32_t>(h * w) : 0;
}

void FollowPair(const WaterproofInput& in) {
  WaterModuleState& w = gstWaterState;
  const auto isRegion = [](uint8_t idx) { return idx >= 100 && idx < 100 + kRegionMax; };
  if (w.WaterPairTrack == 0 || !isRegion(w.WaterPairIdxA) || !isRegion(w.WaterPairIdxB)) return;
  const auto best = [&](const RegionRect& target, uint8_t& at) {
    uint32_t area = 0;
    for (uint8_t k = 0; k < in.ubRegionNum && k < kRegionMax; ++k) {
      if (in.puwKeep[k] == 0) continue;
      const uint32_t a = OverlapArea(in.pstRect[k], target);
      if (a > area) area = a, at = k;
    }
    return area;
  };
  uint8_t ka = 0, kb = 0;
  const uint32_t aa = best(w.WaterPairRectA, ka), ab = best(w.WaterPairRectB, kb);
  if (aa == 0 || ab == 0) {
    WaterPairIdle();
    return;
  }
  w.WaterPairRectA = in.pstRect[ka];
  w.WaterPairRectB = in.pstRect[kb];
}

void BackOff() {
  WaterModuleState& w = gstWaterState;
  if (w.gboCurRunDl != 0) {
    if (w.gubTryDlCount <= 3) ++w.gubTryDlCount;
    if (w.gubTryDlCount == 3) w.gubTryDlCount = 23;
  } else if (w.gubTryDlCount != 0) {
    --w.gubTryDlCount;
  }
}

}  // namespace

int32_t WaterNeighbourValue(const int16_t* pswMap, uint8_t ubRows, uint8_t ubCols, int32_t r, int32_t c) {
  const auto at = [&](int32_t rr, int32_t cc) -> int32_t { return pswMap[rr * ubCols + cc]; };
  const int32_t v = at(r, c);
  int32_t left = c > 0 ? at(r, c - 1) : (c + 1 < ubCols ? at(r, c + 1) : v);
  int32_t right = c + 1 < ubCols ? at(r, c + 1) : left;
  int32_t up = r > 0 ? at(r - 1, c) : (r + 1 < ubRows ? at(r + 1, c) : v);
  int32_t down = r + 1 < ubRows ? at(r + 1, c) : up;
  return (v + left + right + up + down) / 5;
}

// A finger's peak is judged on the node itself, its neighbourhood only has to carry it.
// Judging the peak by its neighbourhood value alone loses a finger that lies between two
// nodes: its top is shared by two nodes (or four, between four), and the mean over the
// node and its four neighbours takes in the low far side of the cone. A peak of 500 halfway
// between two columns leaves 335 on both nodes and a neighbourhood value of about 200, right
// at the doubled low level, so the finger would come and go as it slides. A droplet stays
// below the doubled level on its own node, and a sharp node in a ring of negative water has
// a neighbourhood value below the low level, so both still fail.
bool WaterFingerPeakIn(const int16_t* pswMap, uint8_t ubRows, uint8_t ubCols, RegionRect stRect, int32_t peakLevel,
                       int32_t bodyLevel) {
  if (pswMap == nullptr || !RectValidOn(stRect, ubRows, ubCols)) return false;
  for (int32_t r = stRect.ubRowStart; r <= stRect.ubRowEnd; ++r)
    for (int32_t c = stRect.ubColStart; c <= stRect.ubColEnd; ++c)
      if (pswMap[r * ubCols + c] > peakLevel && WaterNeighbourValue(pswMap, ubRows, ubCols, r, c) > bodyLevel) return true;
  return false;
}

uint64_t WaterproofProc(WaterproofInput* pstIn) {
  WaterproofInput& in = *pstIn;
  WaterModuleState& w = gstWaterState;
  const uint32_t N = static_cast<uint32_t>(in.ubRowNum) * in.ubColNum;
  if (N == 0 || N > kRegionMaxNodes || in.pswDiff == nullptr || in.pswPrevDiff == nullptr || in.pubLabelMap == nullptr ||
      in.pstRect == nullptr || in.puwKeep == nullptr || in.pubMaskBuf == nullptr) {
    return 0;
  }
  const uint8_t ubWaterIn = in.ubWaterState;
  FrameStart(in);
  SignCounts(in);
  FingerCounters(in.ubFingerNum);
  StaleTracks(in);
  SelfLineSums(in);
  EntryTest(in);
  const bool edgeTest = RegionEdgeTest(in);
  CheckMode(in, edgeTest);
  w.WaterTouchGate = ((w.WaterNetRegion != 0 || w.WaterCheckMode != 0) && in.ubRegionSkip == 0) ? 1 : 0;
  w.ubScratch = 0;
  if ((w.WaterTouchGate != 0 || w.WaterEntrySeen != 0 || w.WaterCheckMode != 0 || w.WaterLargeSta != 0) &&
      in.ubSkip == 0) {
    UnionUpdate(in);
  } else {
    ClearUnions(N);
  }
  uint32_t removed = 0;
  if (w.WaterTouchGate != 0) removed += PerUnionDecision(in);
  removed += RemoveWaterMarkedRegions(&in);
  removed += WetAreas(in, ubWaterIn);
  uint64_t result = 0;
  if (removed != 0) {
    w.WaterRectRemoved = 1;
    in.ubRegionNum = RearrangeRegion(kRegionMax, in.puwKeep, in.pstRect, in.puwRegionArrayA, in.puwRegionArrayB,
                                     in.pubLabelMap, in.ubRowNum, in.ubColNum);
    result = in.ubRegionNum;
  }
  FollowPair(in);
  BackOff();
  w.WaterLastRegionCnt = in.ubRegionNum;
  in.ubUnionFlag = w.WaterUnionFlag;
  in.ubMoveFlag = w.WaterMoveFlag;
  in.ubWaterState = w.WaterLargeSta;
  in.ubAnyWater = (w.WaterUnionFlag != 0 || w.WaterMoveFlag != 0 || w.WaterLargeSta != 0 || w.WaterNetRegion != 0)
                      ? 1
                      : w.WaterRectRemoved;
  in.pstRemoved = w.gstWaterDelRect;
  return result;
}

// The waterproof stage: waterproof processing runs when the water state byte forces it (2),
// or when waterproof is enabled, not switched off for a charger by the configuration, the
// camera-hole filter is idle, the single-line filter's first skip flag is clear and the
// state byte is not 0. Otherwise the water state is reset. Either way the previous frame's
// diff map becomes the diff before last for the next frame.
void RegionWaterProcPkg() {
  CommonRecord& c = gstCommon;
  const uint8_t S = c.ubWaterMode;
  const uint16_t cfg = static_cast<uint16_t>(gstConstWaterCfg.aubData[0] | (gstConstWaterCfg.aubData[1] << 8));
  const bool chargerOff = c.ubChargerFlag != 0 && (cfg & 0x4u) != 0;
  if (S == 2 || (c.ubWaterDetectEn != 0 && !chargerOff && gstRegionRoles.ubCameraHoleState == 0 &&
                 gstRegionRoles.aubSkip[0] == 0 && S != 0)) {
    WaterproofProcWrapper();
  } else {
    gstRegionRoles.aubGate[2] = 0;
    c.ubWaterFlag = 0;
    c.ubWaterResult = 0;
    gstRegionRoles.aubWaterFlag[0] = gstRegionRoles.aubWaterFlag[1] = 0;
    WaterproofReset();
  }
  const int16_t* pswLast = CoordPairPrevDiffMap();
  const uint32_t N = static_cast<uint32_t>(c.ubDrvNum) * c.ubSenNum;
  if (pswLast != nullptr && gpswDiffLastLast != nullptr && N <= kRegionMaxNodes) {
    memcpy(gpswDiffLastLast, pswLast, N * sizeof(int16_t));
  }
}
