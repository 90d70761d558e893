// The large-area check and its stage: whether a palm, a cheek or a flat hand covers the
// panel, judged from the owned-node counts of the frame's regions and from the size of
// their rectangles, and held for the configured number of frames.
#include "region_large.h"

#include <cstring>

#include "module_wrappers.h"
#include "region.h"
#include "region_proc.h"
#include "region_water.h"

LargeRegionCheck gstLargeRegionCheck;
uint8_t gboLastLargeArea;
uint8_t gboWaterLargeBak;
uint16_t gauwLargeRegionNodeCount[kRegionMax];

namespace {

constexpr uint8_t kLabelOwned = kRegionMax;       // labels below this belong to a region
constexpr int16_t kUnownedStrongDiff = 121;       // an unowned node this strong adds to the total
constexpr uint8_t kUnownedScanRegions = 8;
constexpr int32_t kTotalBelowMargin = 10;
constexpr int32_t kSquareSkew = 4;                // |height - width| below this is square
constexpr int32_t kRectSkew = 5;
constexpr uint8_t kRectManyRegions = 5;
constexpr uint8_t kSpanEdgeRows = 2;
constexpr int16_t kLatchKeep = 99;

uint8_t Cfg(uint8_t ubByte) { return gstLargeTouchCfg.aubData[ubByte]; }

void SetHoldCounter(uint8_t ubCount) {
  gstLargeRegionCheck.uwHoldWord =
      static_cast<uint16_t>((gstLargeRegionCheck.uwHoldWord & 0x00FFu) | (static_cast<uint16_t>(ubCount) << 8));
}

bool Inverted(RegionRect r) { return r.ubRowStart > r.ubRowEnd || r.ubColStart > r.ubColEnd; }
int32_t Height(RegionRect r) { return r.ubRowEnd - r.ubRowStart + 1; }
int32_t Width(RegionRect r) { return r.ubColEnd - r.ubColStart + 1; }
int32_t Abs(int32_t v) { return v < 0 ? -v : v; }

// The regions the record carries: never more than the region arrays hold, and none when
// the arrays are missing.
uint8_t RegionCount(const LargeAreaInput& in) {
  if (in.puwKeep == nullptr || in.pstRect == nullptr) return 0;
  return in.ubRegionNum > kRegionMax ? kRegionMax : in.ubRegionNum;
}

// A rectangle of the record held to the grid, so that a stale rectangle never steers a read
// outside the maps.
RegionRect OnGrid(const LargeAreaInput& in, RegionRect r) { return RegionRectClip(r, in.ubRows, in.ubCols); }

// Nodes of the rectangle that some region owns in the label map.
uint16_t OwnedNodes(const LargeAreaInput& in, RegionRect r) {
  if (Inverted(r) || in.pubLabelMap == nullptr || in.ubRows == 0 || in.ubCols == 0) return 0;
  r = OnGrid(in, r);
  uint16_t n = 0;
  for (uint32_t row = r.ubRowStart; row <= r.ubRowEnd; ++row) {
    for (uint32_t col = r.ubColStart; col <= r.ubColEnd; ++col) {
      if (in.pubLabelMap[row * in.ubCols + col] < kLabelOwned) ++n;
    }
  }
  return n;
}

// Nodes of the rectangle whose diff lies above the touch threshold.
uint16_t StrongNodes(const LargeAreaInput& in, RegionRect r) {
  if (Inverted(r) || in.pswDiff == nullptr || in.ubRows == 0 || in.ubCols == 0) return 0;
  r = OnGrid(in, r);
  uint16_t n = 0;
  for (uint32_t row = r.ubRowStart; row <= r.ubRowEnd; ++row) {
    for (uint32_t col = r.ubColStart; col <= r.ubColEnd; ++col) {
      if (static_cast<int32_t>(in.pswDiff[row * in.ubCols + col]) > static_cast<int32_t>(in.uwTouchThreshold)) ++n;
    }
  }
  return n;
}

// Strong nodes outside every region (label 255), over the whole grid.
uint16_t UnownedStrongNodes(const LargeAreaInput& in) {
  if (in.pswDiff == nullptr || in.pubLabelMap == nullptr) return 0;
  uint32_t uiNodes = static_cast<uint32_t>(in.ubRows) * in.ubCols;
  if (uiNodes > kRegionMaxNodes) uiNodes = kRegionMaxNodes;
  uint16_t n = 0;
  for (uint32_t i = 0; i < uiNodes; ++i) {
    if (in.pswDiff[i] >= kUnownedStrongDiff && in.pubLabelMap[i] == kRegionLabelNone) ++n;
  }
  return n;
}

bool ModeAB(const LargeAreaInput& in) { return in.ubModeA != 0 && in.ubModeB != 0; }
bool CountTestConfigured() { return Cfg(kLargeCfgRegionCount) != 0 && Cfg(kLargeCfgTotalCount) != 0; }

enum class Next { kRectangle, kSpanning, kDone };

// The node-count test. Sets the counts, the total, large and strong; says which test comes
// next, or that the verdict v is settled (*pboV).
Next CountTest(LargeAreaInput& in, bool& boStrong, bool& boV) {
  in.uwMaxCount = 0;
  in.uwSumCount = 0;
  if (!CountTestConfigured()) {
    boStrong = false;
    return Next::kRectangle;
  }
  const uint8_t ubCount = RegionCount(in);
  if (in.puwNodeCount != nullptr) memset(in.puwNodeCount, 0, kRegionMax * sizeof(uint16_t));
  uint32_t total = 2u * in.ubRegionNum;
  const uint32_t t = in.ubThresholdSelect != 0 ? Cfg(kLargeCfgSelCount) : gstLargeRegionCheck.uwRegionCountThr;
  const uint32_t T = gstLargeRegionCheck.uwTotalCountThr;
  for (uint8_t i = 0; i < ubCount; ++i) {
    if (in.puwKeep[i] == 0) continue;
    const RegionRect r = in.pstRect[i];
    const uint16_t c = OwnedNodes(in, r);
    if (in.puwNodeCount != nullptr) in.puwNodeCount[i] = c;
    if (c > in.uwMaxCount) in.uwMaxCount = c;
    in.uwSumCount = static_cast<uint16_t>(in.uwSumCount + c);
    if (c > t && Abs(Height(r) - Width(r)) < kSquareSkew) {
      boStrong = true;
      in.ubLarge = 1;
    }
    total += c;
  }
  if (total < T && in.ubRegionNum >= kUnownedScanRegions) total += UnownedStrongNodes(in);
  in.uwTotal = static_cast<uint16_t>(total > 0xFFFFu ? 0xFFFFu : total);

  const int32_t Tm = static_cast<int32_t>(T) + (ModeAB(in) ? in.ubExtraMargin : 0);
  if (static_cast<int32_t>(in.uwTotal) <= Tm - kTotalBelowMargin) return Next::kRectangle;
  in.ubLarge = 1;
  boStrong = true;
  if (in.ubRows < 30 || in.uwTotal > T * 3 / 2) {
    in.ubOversize = 1;
    return Next::kSpanning;
  }
  if (in.ubSpanEnable != 0) return Next::kSpanning;
  boV = true;
  return Next::kDone;
}

bool OnBorder(const LargeAreaInput& in, RegionRect r) {
  return r.ubRowStart == 0 || r.ubRowEnd + 1 == in.ubRows || r.ubColStart == 0 || r.ubColEnd + 1 == in.ubCols;
}

// One region of the rectangle test: large or not.
bool RectLarge(const LargeAreaInput& in, uint8_t i) {
  const RegionRect r = in.pstRect[i];
  // One row or one column high or wide never counts; neither does an inverted rectangle,
  // which is no region at all.
  if (r.ubRowEnd <= r.ubRowStart || r.ubColEnd <= r.ubColStart) return false;
  if (OnBorder(in, r) && in.ubCollapse == 0) return false;
  const int32_t H = Height(r), W = Width(r);
  if (!(Abs(W - H) < kRectSkew || in.ubRegionNum >= kRectManyRegions)) return false;
  if (W >= gstLargeRegionCheck.uwSideLimit || H >= gstLargeRegionCheck.uwSideLimit) return true;
  if (H * W < gstLargeRegionCheck.uwAreaLimit) return false;
  if (in.ubFloatCounter == 0) {
    if (!CountTestConfigured()) return true;
    // The owned-node count of this frame: the same measure the count test stores, taken
    // here as well so that the rectangle test never reads a count of an earlier frame when
    // the count test is switched off.
    return OwnedNodes(in, r) >= Cfg(kLargeCfgRectCount);
  }
  return in.ubCollapse != 0 || StrongNodes(in, r) >= Cfg(kLargeCfgRegionCount);
}

Next RectangleTest(LargeAreaInput& in, bool& boStrong, bool& boV) {
  if (!ModeAB(in)) {
    const uint8_t ubCount = RegionCount(in);
    for (uint8_t i = 0; i < ubCount; ++i) {
      if (in.puwKeep[i] == 0 || !RectLarge(in, i)) continue;
      boStrong = true;
      in.ubLarge = 1;
      return Next::kSpanning;
    }
  }
  boStrong = false;
  if (in.ubSpanEnable != 0) return Next::kSpanning;
  boV = false;
  return Next::kDone;
}

bool SpanningTest(LargeAreaInput& in, bool boStrong) {
  if (in.ubSpanEnable == 0 || Cfg(kLargeCfgSpanCount) == 0) return boStrong;
  const uint8_t ubCount = RegionCount(in);
  uint32_t n = 0;
  for (uint8_t i = 0; i < ubCount; ++i) {
    if (in.puwKeep[i] == 0) continue;
    const RegionRect r = in.pstRect[i];
    if (r.ubRowEnd >= kSpanEdgeRows && r.ubRowStart + kSpanEdgeRows < in.ubRows) ++n;
  }
  if (n >= Cfg(kLargeCfgSpanCount)) {
    in.ubLarge = 1;
    return true;
  }
  return boStrong;
}

// Hold and latch: a large verdict reloads the hold counter; without one the held state
// lasts while the counter has not run out and the keep count is non-zero.
void HoldAndLatch(LargeAreaInput& in, bool boV) {
  const uint8_t r = boV ? Cfg(kLargeCfgHoldFrames) : LargeHoldCounter();
  SetHoldCounter(r > in.ubHoldDecrement ? static_cast<uint8_t>(r - in.ubHoldDecrement) : 0);
  if (r <= in.ubHoldDecrement) in.ubHeld = 0;
  uint8_t ubFinal = 0;
  if (boV || (in.ubHeld != 0 && in.ubKeepCount != 0)) {
    in.ubLarge = 1;
    in.ubHeld = 1;
    ubFinal = 1;
  } else {
    in.ubHeld = 0;
  }
  gboWaterLargeBak = gboWaterLargeBak == 0 ? ubFinal : (in.swLatchCount > kLatchKeep ? 1 : 0);
  gboLargeTouchStaBak = ubFinal;
}

// The three water states waterproof processing hands out each frame.
bool WaterPresent() {
  const WaterModuleState& w = gstWaterState;
  return w.WaterLargeSta != 0 || w.WaterUnionFlag != 0 || w.WaterMoveFlag != 0;
}

}  // namespace

void RegionLargeAreaInit(void) {
  gstLargeRegionCheck.uwHoldWord = 0;
  gboLastLargeArea = 0;
  gstLargeRegionCheck.uwRegionCountThr = Cfg(kLargeCfgRegionCount);
  gstLargeRegionCheck.uwTotalCountThr = Cfg(kLargeCfgTotalCount);
  gstLargeRegionCheck.uwSideLimit = Cfg(kLargeCfgSideLimit);
  gstLargeRegionCheck.uwAreaLimit = Cfg(kLargeCfgAreaLimit);
}

void SetLargeRegionTopsignThrd(uint16_t uwCountThr, uint16_t uwTotalThr, uint16_t uwSideLimit, uint16_t uwAreaLimit) {
  gstLargeRegionCheck.uwRegionCountThr = uwCountThr;
  gstLargeRegionCheck.uwTotalCountThr = uwTotalThr;
  gstLargeRegionCheck.uwSideLimit = uwSideLimit;
  gstLargeRegionCheck.uwAreaLimit = uwAreaLimit;
}

// The component confirmation (a connected-component count over the diff map, started from
// the first water union) is not part of this module: the core's wrapper always passes its
// enable as 0, so in this system the verdict goes from the count, rectangle and spanning
// tests straight to the hold step whatever the enable says.
void RegionLargeAreaProc(LargeAreaInput* pstIn) {
  if (pstIn == nullptr) return;
  LargeAreaInput& in = *pstIn;
  if (gboWaterLargeBak == 0 && ((in.ubModeA != 0 && in.ubModeB == 0) || WaterPresent())) {
    in.ubLarge = 0;
    in.ubHeld = 0;
    in.ubOversize = 0;
    gboLargeTouchStaBak = 0;
    SetHoldCounter(0);
    return;
  }
  in.ubOversize = 0;
  in.ubLarge = 0;
  bool boV = false, boStrong = false;
  if (in.ubEnable == 0) {
    SetHoldCounter(0);
    HoldAndLatch(in, false);
    return;
  }
  Next next = Next::kRectangle;
  if ((Cfg(kLargeCfgFlags) & kLargeCfgCountTest) != 0) next = CountTest(in, boStrong, boV);
  if (next == Next::kRectangle) {
    next = ((Cfg(kLargeCfgFlags) & kLargeCfgRectTest) != 0 && !boStrong) ? RectangleTest(in, boStrong, boV)
                                                                         : Next::kSpanning;
  }
  if (next == Next::kSpanning) boV = SpanningTest(in, boStrong);
  HoldAndLatch(in, boV);
}

void RegionLargeStaRct(LargeAreaInput* pstIn) {
  if (pstIn == nullptr) return;
  HoldAndLatch(*pstIn, pstIn->ubLarge != 0);
}

void RegionLargeAreaProcPkg() { RegionLargeAreaProcWrapper(); }
