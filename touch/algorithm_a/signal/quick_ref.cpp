// Quick reference update: ghost objects tracked over frames, checked on a cleaned map and
// corrected in the reference, then a halfway blend of the reference toward the raw level
// outside the touches while the module stays active.
#include "quick_ref.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "lcd_denoise.h"
#include "low_temp.h"
#include "mathlib.h"

QuickRefModule gstQuickRefUpdateModule;
QuickRefObject gastQuickRefObject[kQuickRefObjects];

namespace {

constexpr uint8_t kExamineAt = 5;
constexpr uint8_t kAgeLimit = 21;
constexpr uint8_t kBlendEvery = 15;
constexpr int32_t kFrameLimit = 999;
constexpr uint16_t kMatchOverlap = 31;
constexpr uint8_t kMinSide = 9;
constexpr uint32_t kMaxNodes = 2912;

// The cleaned map of reference - raw that the ghost check looks at.
int16_t gaswQuickClean[kMaxNodes];

void FreeObjects() {
  memset(gastQuickRefObject, 0, sizeof(gastQuickRefObject));
  for (QuickRefObject& o : gastQuickRefObject) o.ubAge = kQuickRefObjectFree, o.ubTouchSlot = 0xFF;
}

bool Qualifies(uint32_t uiRect) {
  const LtRect r = LtUnpack(uiRect);
  if (LtEmpty(r)) return false;
  const int32_t h = r.r1 - r.r0 + 1, w = r.c1 - r.c0 + 1;
  return h >= kMinSide && w >= kMinSide && std::abs(h - w) <= 2;
}

struct Level {
  int32_t slPeak = INT16_MIN;  // largest difference
  int32_t slMean = 0;          // mean magnitude of the differences above 30 in magnitude
  int32_t slCount = 0;
};

Level Measure(const int16_t* d, uint32_t uiRect, int32_t C) {
  Level l;
  const LtRect r = LtUnpack(uiRect);
  int64_t sum = 0;
  for (int32_t row = r.r0; row <= r.r1; ++row)
    for (int32_t c = r.c0; c <= r.c1; ++c) {
      const int32_t v = d[row * C + c];
      l.slPeak = std::max(l.slPeak, v);
      if (std::abs(v) > 30) sum += std::abs(v), ++l.slCount;
    }
  l.slMean = l.slCount != 0 ? static_cast<int32_t>(sum / l.slCount) : 0;
  return l;
}

bool InMap(uint32_t uiRect, const QuickRefUpdateInput& in) {
  const LtRect r = LtUnpack(uiRect);
  return !LtEmpty(r) && r.r1 < in.ubRows && r.c1 < in.ubCols;
}

// Objects are made from the first touch in use when it qualifies (at least 9 x 9 nodes,
// nearly square) and no object matches it; a matched object counts one more persistent
// frame. An object that no touch matched in a frame is freed: a ghost stays where the
// reference holds it, so one that goes missing is not one.
void TrackObjects(const QuickRefUpdateInput& in) {
  for (QuickRefObject& o : gastQuickRefObject) o.ubMatched = 0;
  uint8_t ubUsed = 0, ubFirst = 0xFF;
  for (uint8_t k = 0; k < 12; ++k) {
    if (in.puwTouchValues[k] == 0) continue;
    if (ubFirst == 0xFF) ubFirst = k;
    ++ubUsed;
  }
  if (ubUsed > 2) return;
  if (ubFirst != 0xFF && InMap(in.puiTouchRects[ubFirst], in)) {
    const uint32_t uiTouch = in.puiTouchRects[ubFirst];
    QuickRefObject* pMatch = nullptr;
    for (QuickRefObject& o : gastQuickRefObject) {
      if (o.ubAge == kQuickRefObjectFree || RectOverlapCount(uiTouch, o.uiRect) < kMatchOverlap) continue;
      pMatch = &o;
      break;
    }
    const bool boQualifies = Qualifies(uiTouch);
    if (pMatch != nullptr) {
      QuickRefObject& o = *pMatch;
      o.ubMatched = 1;
      o.ubTouchSlot = ubFirst;
      if (o.ubAge < kAgeLimit) o.ubAge = static_cast<uint8_t>(std::min<uint32_t>(o.ubAge + in.uwTick, kAgeLimit));
      if (o.ubPersist < 255) ++o.ubPersist;
      if (boQualifies && !LtInside(uiTouch, o.uiRect)) {
        const Level l = Measure(in.pswDiff, uiTouch, in.ubCols);
        o.uiRect = uiTouch;
        o.swPeak = static_cast<int16_t>(std::max<int32_t>(o.swPeak, l.slPeak));
        o.uwMean = static_cast<uint16_t>(std::max<int32_t>(o.uwMean, l.slMean));
      }
    } else if (boQualifies) {
      for (QuickRefObject& o : gastQuickRefObject) {
        if (o.ubAge != kQuickRefObjectFree) continue;
        const Level l = Measure(in.pswDiff, uiTouch, in.ubCols);
        o = QuickRefObject{};
        o.uiRect = uiTouch;
        o.ubPersist = 1;
        o.ubAge = 0;
        o.swPeak = static_cast<int16_t>(l.slPeak);
        o.uwMean = static_cast<uint16_t>(l.slMean);
        o.ubTouchSlot = ubFirst;
        o.ubMatched = 1;
        break;
      }
    }
  }
  for (QuickRefObject& o : gastQuickRefObject)
    if (o.ubAge != kQuickRefObjectFree && o.ubMatched == 0) o = QuickRefObject{0, 0, 0, kQuickRefObjectFree, 0, 0, 0xFF, 0, {}};
}

void GhostCheck(QuickRefObject& o, QuickRefUpdateInput& in) {
  QuickRefModule& q = gstQuickRefUpdateModule;
  o.ubPersist = 0;
  o.ubRecheck = 0;
  const uint32_t N = in.uwNodes;
  for (uint32_t i = 0; i < N; ++i) gaswQuickClean[i] = static_cast<int16_t>(in.puwRef[i] - in.puwRaw[i]);
  LcdDenoiseMapArgs a{};
  a.ubRows = in.ubRows;
  a.ubCols = in.ubCols;
  a.uwMaskThreshold = in.uwMaskThreshold;
  a.uwTouchedThreshold = in.uwThreshold2;
  a.puwRef = in.puwRef;
  a.puwRaw = in.puwRaw;
  // The row fit cleans the map; the network is not asked for by this update.
  a.pubNetBuffer = in.pubNetBuffer;
  a.ubNetEnable = 0;
  LcdDenoiseMap(gaswQuickClean, a);

  const int32_t C = in.ubCols;
  const uint32_t uiGrown = LtGrow(o.uiRect, in.ubRows, in.ubCols);
  const Level l = Measure(gaswQuickClean, uiGrown, C);
  const int32_t m = l.slMean;
  const int32_t t = m >= 301 ? 75 : (m >= 60 ? m / 4 : 20);
  const LtRect r = LtUnpack(o.uiRect);
  uint32_t uiAbove = 0, uiBelow = 0;
  for (int32_t row = r.r0; row <= r.r1; ++row)
    for (int32_t c = r.c0; c <= r.c1; ++c) {
      const int32_t v = gaswQuickClean[row * C + c];
      uiAbove += v > t ? 1 : 0;
      uiBelow += v < -t ? 1 : 0;
    }
  const uint32_t uiHalf = LtArea(o.uiRect) / 2u;
  if (uiAbove <= uiHalf && uiBelow <= uiHalf) return;
  const int32_t d = o.swPeak - m;
  const bool boLevel = m >= 51 && m <= 299;
  bool boGhost = false;
  if (d >= 201) {
    boGhost = boLevel;
  } else if (d >= 21) {
    boGhost = o.swPeak - l.slPeak >= 151 && boLevel;
  }
  if (!boGhost) return;
  q.uwLevelCountdown = static_cast<uint16_t>(std::max<int32_t>(q.uwLevelCountdown, m));
  if (o.ubAge != 0 && o.ubAge < kAgeLimit) return;
  ++q.ubConfirmCnt;
  if (q.ubConfirmCnt >= 2) {
    UpdateRectRef(o.uiRect, in.puwRef, gaswQuickClean, in.ubCols, in.ubRows);
    q.ubActive = 1;
    q.ubConfirmCnt = 0;
    // The reference has changed: the mutual update reruns its clean-up and consistency
    // bookkeeping on it, as after a blend.
    in.ubRequest = kQuickRefRequest;
  } else {
    o.ubRecheck = 1;
    o.ubPersist = kExamineAt;
  }
}

}  // namespace

void QuickRefUpdateInit() {
  memset(&gstQuickRefUpdateModule, 0, sizeof(gstQuickRefUpdateModule));
  gstQuickRefUpdateModule.ubInitDone = 1;
  FreeObjects();
  // The resting-touch tracker starts cleared, with no position.
  memset(&gstLowTempInfo, 0, sizeof(gstLowTempInfo));
  gstLowTempInfo.auwPos[0] = gstLowTempInfo.auwPos[1] = 0xFFFF;
}

void RectToMasks(uint32_t uiRect, uint8_t ubRows, uint8_t ubCols, uint64_t* pullRowMask, uint64_t* pullColMask,
                 uint8_t ubNoGrow) {
  const uint32_t uiR = ubNoGrow != 0 ? uiRect : LtGrow(uiRect, ubRows, ubCols);
  const LtRect r = LtUnpack(uiR);
  if (LtEmpty(r)) return;
  for (int32_t i = r.r0; i <= std::min(r.r1, 63); ++i) *pullRowMask |= 1ull << i;
  for (int32_t i = r.c0; i <= std::min(r.c1, 63); ++i) *pullColMask |= 1ull << i;
}

void RegionRefUpdate(RegionRefUpdateRecord* p, uint64_t ullRowMask, uint64_t ullColMask, uint8_t ubMode) {
  WeightFilterV1V2Param w{};
  w.ubRows = p->ubRows;
  w.ubCols = p->ubCols;
  w.swWeight1 = static_cast<int16_t>(16 - p->ubWeight);
  w.swWeight2 = p->ubWeight;
  w.ubShift1 = 4;
  w.ubShift2 = 4;
  if ((LibXpu2WeightFilterV1V2S16(p->pswMap, p->pswSecond, &w, p->pswMap) & 0xFFu) != kLibStatusDone) return;
  if (ubMode > 1) return;
  const uint32_t C = p->ubCols;
  for (uint32_t r = 0; r < p->ubRows; ++r) {
    const bool boRow = r < 64 && ((ullRowMask >> r) & 1u) != 0;
    for (uint32_t c = 0; c < C; ++c) {
      const bool boCol = c < 64 && ((ullColMask >> c) & 1u) != 0;
      const bool boRestore = ubMode == 1 ? (boRow && boCol) : (!boRow && !boCol);
      if (boRestore) p->pswMap[r * C + c] = p->pswSecond[r * C + c];
    }
  }
}

void UpdateRectRef(uint32_t uiRect, uint16_t* puwRef, const int16_t* pswDiff, uint8_t ubCols, uint8_t ubRows) {
  if (puwRef == nullptr || pswDiff == nullptr) return;
  const LtRect r = LtUnpack(LtGrow(uiRect, ubRows, ubCols));
  if (LtEmpty(r) || r.r1 >= ubRows || r.c1 >= ubCols) return;
  for (int32_t row = r.r0; row <= r.r1; ++row)
    for (int32_t c = r.c0; c <= r.c1; ++c) {
      const int32_t i = row * ubCols + c;
      if (std::abs(static_cast<int32_t>(pswDiff[i])) >= 11) puwRef[i] = static_cast<uint16_t>(puwRef[i] - pswDiff[i]);
    }
}

void QuickRefUpdate(QuickRefUpdateInput* pstIn) {
  QuickRefUpdateInput& in = *pstIn;
  QuickRefModule& q = gstQuickRefUpdateModule;
  const bool boReady = in.puwRef != nullptr && in.puwRaw != nullptr && in.pswDiff != nullptr &&
                       in.puwTouchValues != nullptr && in.puiTouchRects != nullptr && in.puwScratch != nullptr &&
                       in.uwNodes != 0 && in.uwNodes <= kMaxNodes && in.uwNodes == in.ubRows * in.ubCols;
  if (!boReady || in.ubLargeTouch != 0 || in.ubLowTempState == kLowTempStateLow || in.ubTouchCount >= 5 ||
      in.uwStatus != 0 || in.ubNoise != 0) {
    FreeObjects();
    return;
  }
  in.ubRequest = 0;
  TrackObjects(in);
  for (QuickRefObject& o : gastQuickRefObject)
    if (o.ubAge != kQuickRefObjectFree && o.ubPersist >= kExamineAt) GhostCheck(o, in);
  if (q.ubActive == 0) return;
  if (q.ubFrameCnt < kBlendEvery) ++q.ubFrameCnt;
  if (q.uwLevelCountdown <= in.uwTick) q.ubActive = 0;
  q.uwLevelCountdown = q.uwLevelCountdown > in.uwTick ? static_cast<uint16_t>(q.uwLevelCountdown - in.uwTick) : 0;
  if (q.ubFrameCnt < kBlendEvery || std::abs(static_cast<int32_t>(in.swMaxDiff)) > kFrameLimit ||
      std::abs(static_cast<int32_t>(in.swMinDiff)) > kFrameLimit)
    return;
  uint64_t ullRows = 0, ullCols = 0;
  for (uint8_t k = 0; k < 12; ++k)
    if (in.puwTouchValues[k] != 0) RectToMasks(in.puiTouchRects[k], in.ubRows, in.ubCols, &ullRows, &ullCols, 0);
  const uint32_t N = in.uwNodes;
  memcpy(in.puwScratch, in.puwRef, N * sizeof(uint16_t));
  for (uint32_t i = 0; i < N; ++i) in.puwRef[i] = static_cast<uint16_t>(in.puwRef[i] - in.pswDiff[i]);
  RegionRefUpdateRecord rec{};
  rec.pswMap = reinterpret_cast<int16_t*>(in.puwRef);
  rec.pswSecond = reinterpret_cast<const int16_t*>(in.puwScratch);
  rec.ubRows = in.ubRows;
  rec.ubCols = in.ubCols;
  rec.ubWeight = 8;
  RegionRefUpdate(&rec, ullRows, ullCols, 1);
  q.ubFrameCnt = 0;
  in.ubRequest = kQuickRefRequest;
}
