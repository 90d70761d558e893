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

constexpr uint16_t kComponentKeepTotal = 100;     // a confirmed frame stays large from this total
constexpr uint8_t kComponentMinRegions = 4;
constexpr uint8_t kComponentMinKeep = 2;
constexpr uint16_t kComponentMinTotal = 50;
constexpr uint16_t kComponentBigNodes = 9;        // a component this large is big
constexpr uint8_t kComponentBigNeeded = 2;

uint8_t Root(const LargeComponentTables& t, uint8_t ubLabel) {
  // Every merge points a root at a different root, so the chain ends; the bound only guards
  // a table that something else wrote over.
  for (uint8_t n = 0; t.aubParent[ubLabel] != 0 && n < kLargeComponentLabels; ++n) ubLabel = t.aubParent[ubLabel];
  return ubLabel;
}

// The component confirmation proper: labels the foreground of the diff map (8-connected,
// through the left, up-left, up and up-right neighbours), joins the labels that meet and
// judges the components. Returns the verdict: a component box at least the component size
// on a side, and at least two components of 9 nodes or more. Runs in the record's scratch
// buffer: the label image (rows x columns bytes), then the tables.
bool ComponentVerdict(const LargeAreaInput& in) {
  const uint32_t R = in.ubRows, C = in.ubCols, N = R * C;
  uint8_t* lab = in.pubScratch;
  auto& t = *reinterpret_cast<LargeComponentTables*>(in.pubScratch + N);
  memset(lab, 0, N);
  memset(&t, 0, sizeof(t));
  for (RegionRect& b : t.astBox) b = RegionRect{static_cast<uint8_t>(R - 1), 0, static_cast<uint8_t>(C - 1), 0};

  // The label counter stops at 16: labels are given only below it, and a counter that went
  // on would wrap round to the labels in use.
  uint8_t ubNext = 0;
  uint32_t uiFirstRow = R, uiLastRow = 0;
  for (uint32_t r = 0; r < R; ++r) {
    for (uint32_t c = 0; c < C; ++c) {
      if (in.pswDiff[r * C + c] < in.swComponentThr) continue;
      if (uiFirstRow == R) uiFirstRow = r;
      uiLastRow = r;
      uint8_t nb[4] = {0, 0, 0, 0};
      if (c > 0) nb[0] = lab[r * C + c - 1];
      if (r > 0) {
        if (c > 0) nb[1] = lab[(r - 1) * C + c - 1];
        nb[2] = lab[(r - 1) * C + c];
        if (c + 1 < C) nb[3] = lab[(r - 1) * C + c + 1];
      }
      uint8_t ubMin = 0;
      for (uint8_t l : nb) {
        if (l != 0 && (ubMin == 0 || l < ubMin)) ubMin = l;
      }
      if (ubMin == 0) {
        if (ubNext < kLargeComponentLabels) ++ubNext;
        if (ubNext < kLargeComponentLabels) lab[r * C + c] = ubNext;
        continue;
      }
      lab[r * C + c] = ubMin;
      for (uint8_t l : nb) {
        if (l <= ubMin) continue;
        const uint8_t ubRootL = Root(t, l), ubRootMin = Root(t, ubMin);
        if (ubRootL != ubRootMin) t.aubParent[ubRootL] = ubRootMin;
      }
    }
  }

  for (uint32_t r = uiFirstRow; r <= uiLastRow && r < R; ++r) {
    for (uint32_t c = 0; c < C; ++c) {
      uint8_t& l = lab[r * C + c];
      if (l == 0) continue;
      l = Root(t, l);
      ++t.auwCount[l];
      RegionRect& b = t.astBox[l];
      if (r < b.ubRowStart) b.ubRowStart = static_cast<uint8_t>(r);
      if (r > b.ubRowEnd) b.ubRowEnd = static_cast<uint8_t>(r);
      if (c < b.ubColStart) b.ubColStart = static_cast<uint8_t>(c);
      if (c > b.ubColEnd) b.ubColEnd = static_cast<uint8_t>(c);
    }
  }

  uint32_t big = 0;
  bool boWide = false;
  for (uint8_t l = 1; l < kLargeComponentLabels; ++l) {
    if (t.auwCount[l] == 0) continue;
    if (t.auwCount[l] >= kComponentBigNodes) ++big;
    if (Height(t.astBox[l]) >= in.ubComponentSize || Width(t.astBox[l]) >= in.ubComponentSize) boWide = true;
  }
  return boWide && big >= kComponentBigNeeded;
}

// The scratch buffer holds a label image of the record's node count and the tables after
// it, kLargeComponentScratchBytes in all; a record whose grid does not match its node count,
// or whose grid is beyond the largest one, would run the labelling past that buffer, so the
// confirmation is refused for it (the frame goes on to the hold step).
bool ComponentRunnable(const LargeAreaInput& in) {
  const uint32_t N = static_cast<uint32_t>(in.ubRows) * in.ubCols;
  return in.pubScratch != nullptr && in.pswDiff != nullptr && N != 0 && N == in.uwNodeNum && N <= kRegionMaxNodes;
}

// Step of the stage between the tests and the hold: confirms a large frame by the connected
// components of the diff map, started from the first water union. Returns the verdict v
// that the hold step takes.
bool ComponentConfirm(LargeAreaInput& in, bool boV) {
  // The total the count test stored; when that test did not run (switched off, or the stage
  // disabled for the frame) it is whatever the caller put in the record.
  const uint16_t uwTotal = in.uwTotal;
  if (gboLastLargeArea != 0 && uwTotal >= kComponentKeepTotal) {
    in.ubLarge = 1;
    return true;
  }
  if (gboLastLargeArea == 0 && !boV) {
    uint32_t uiWater = 0;
    const bool boFound = GetFirstWaterUnionRect(&uiWater) != 0;
    const RegionRect w = RegionRectFromWord(uiWater);
    const bool boGo = boFound && in.ubRegionNum >= kComponentMinRegions && in.ubKeepCount >= kComponentMinKeep &&
                      in.ubLarge == 0 && in.ubComponentSkip == 0 && Height(w) >= in.ubComponentSize &&
                      Width(w) >= in.ubComponentSize && uwTotal >= kComponentMinTotal;
    if (!boGo) return in.ubLarge != 0;
  }
  // Refused as a closed gate is: the verdict the tests reached, or large.
  if (!ComponentRunnable(in)) return boV || in.ubLarge != 0;
  const bool boVerdict = ComponentVerdict(in);
  gboLastLargeArea = boVerdict ? 1 : 0;
  if (in.ubLarge != 0) return true;
  in.ubLarge = boVerdict ? 1 : 0;
  return boVerdict;
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

uint8_t GetFirstWaterUnionRect(uint32_t* puiRect) {
  const WaterModuleState& w = gstWaterState;
  if (puiRect == nullptr || w.ubUnionTableValid != 1) return 0;
  for (const WaterUnion& u : w.astUnion) {
    if (u.label == kWaterUnionFree) continue;
    *puiRect = RegionRectWord(u.rect);
    return 1;
  }
  return 0;
}

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
  } else {
    Next next = Next::kRectangle;
    if ((Cfg(kLargeCfgFlags) & kLargeCfgCountTest) != 0) next = CountTest(in, boStrong, boV);
    if (next == Next::kRectangle) {
      next = ((Cfg(kLargeCfgFlags) & kLargeCfgRectTest) != 0 && !boStrong) ? RectangleTest(in, boStrong, boV)
                                                                           : Next::kSpanning;
    }
    if (next == Next::kSpanning) boV = SpanningTest(in, boStrong);
  }
  if (in.ubComponentEnable != 0) boV = ComponentConfirm(in, boV);
  HoldAndLatch(in, boV);
}

void RegionLargeStaRct(LargeAreaInput* pstIn) {
  if (pstIn == nullptr) return;
  HoldAndLatch(*pstIn, pstIn->ubLarge != 0);
}

void RegionLargeAreaProcPkg() { RegionLargeAreaProcWrapper(); }
