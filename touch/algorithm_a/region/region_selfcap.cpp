// Self-capacitance region filter: with two or more mutual regions, a region stays only when
// the self data (one value per row, then one per column) carries signal on one of its rows
// and on one of its columns.
#include <algorithm>
#include <cstring>

#include "region.h"
#include "region_lib.h"
#include "region_proc.h"
#include "region_small.h"

SelfCapProcState gstSelfCapProc;

namespace {

constexpr uint8_t kCfgEnable = 1u << 0;
constexpr uint8_t kCfgQuietException = 1u << 1;
constexpr uint8_t kCfgBorderToo = 1u << 2;
constexpr uint8_t kCfgSecond = 1u << 4;
constexpr uint32_t kCfgRowThrAt = 15;
constexpr uint32_t kCfgColThrAt = 17;
constexpr uint8_t kNoisyFrame = 9;

uint8_t Cfg0() { return gstSelfCapProcCfg.aubData[0]; }
uint16_t CfgU16(uint32_t at) {
  return static_cast<uint16_t>(gstSelfCapProcCfg.aubData[at] | (gstSelfCapProcCfg.aubData[at + 1] << 8));
}
uint8_t Rows() { return gstCommon.ubDrvNum; }
uint8_t Cols() { return gstCommon.ubSenNum; }
uint8_t RegionCount() { return std::min(gstMutualRegion.ubRegionNum, kRegionMax); }
int16_t Thr16(uint32_t v) { return static_cast<int16_t>(std::min<uint32_t>(v, INT16_MAX)); }

// The region's rectangle becomes the common scratch rectangle; a rectangle off the grid
// cannot be confirmed (its self channels do not exist) and is never read.
bool Confirmed(RegionRect r, int16_t swRowThr, int16_t swColThr) {
  memcpy(gstCommon.aubWorkRect, &r, sizeof(r));
  if (!RectValidOn(r, Rows(), Cols())) return true;
  return RectSelfConfirm(swRowThr, swColThr, gstCommon.stData.pswSelfDiffData, Rows(), RegionRectWord(r)) != 0;
}

uint8_t CompactDropped(uint8_t ubDropped) {
  MutualRegionSet& m = gstMutualRegion;
  if (ubDropped != 0) {
    m.ubRegionNum = RearrangeRegion(RegionCount(), m.auwPeak, m.astRect, m.auwPeakPos, m.auwWaterValue,
                                    gaubRegionLabelMap, Rows(), Cols());
  }
  return ubDropped;
}

}  // namespace

void RegFilterBySelfCapInit() {
  memset(&gstSelfCapProc, 0, sizeof(gstSelfCapProc));
  gstSelfCapProc.ubEnable = (Cfg0() & kCfgEnable) != 0 ? 1 : 0;
  gstSelfCapProc.ubSecond = (Cfg0() & kCfgSecond) != 0 ? 1 : 0;
}

// The filter is enabled by the configuration itself (the state's enable byte is its copy).
// The noise count is the core's noise hold counter (9 in a noisy frame, counting down after).
uint8_t NeedRegFilterBySelf() {
  if ((Cfg0() & kCfgEnable) == 0 || gstRegionRoles.aubSkip[0] != 0 || RegionCount() < 2) return 0;
  const uint8_t ubNoise = gstCommon.ubNoiseHoldCnt;
  if ((Cfg0() & kCfgQuietException) != 0 && gstRegionRoles.aubGate[2] == 0 && gstRegionRoles.aubGate[1] == 0) {
    return (ubNoise < kNoisyFrame && gstRegionRoles.ubPrevPointCount != 0) ? 0 : 1;
  }
  return ubNoise >= kNoisyFrame ? 1 : 0;
}

void RegFilterBySelfCap() {
  if (NeedRegFilterBySelf() == 0) return;
  uint16_t uwRow = CfgU16(kCfgRowThrAt);
  uint16_t uwCol = CfgU16(kCfgColThrAt);
  if (gstFloatSelfProc.ubFloatFlag == 1) {
    uwRow >>= 1;
    uwCol >>= 1;
  }
  SelfFilterRectGeneral(uwRow, uwCol);
}

void SelfFilterRectGeneral(uint16_t uwRowThr, uint16_t uwColThr) {
  MutualRegionSet& m = gstMutualRegion;
  const bool boBorderToo = (Cfg0() & kCfgBorderToo) != 0;
  const int32_t rows = Rows(), cols = Cols();
  uint8_t ubDropped = 0;
  for (uint8_t i = 0; i < RegionCount(); ++i) {
    const RegionRect r = m.astRect[i];
    memcpy(gstCommon.aubWorkRect, &r, sizeof(r));
    const bool boBorder =
        r.ubRowStart >= rows - 2 || r.ubRowEnd <= 1 || r.ubColStart >= cols - 2 || r.ubColEnd <= 1;
    if (boBorder && !boBorderToo) continue;
    if (Confirmed(r, Thr16(uwRowThr), Thr16(uwColThr))) continue;
    m.auwPeak[i] = 0;
    ++ubDropped;
  }
  gstSelfCapProc.ubDropped = CompactDropped(ubDropped);
}

uint8_t SelfFilterRectCommonSub(uint32_t uiRowThr, uint32_t uiColThr, uint8_t (*pfnPredicate)(uint8_t)) {
  MutualRegionSet& m = gstMutualRegion;
  uint8_t ubDropped = 0;
  for (uint8_t i = 0; i < RegionCount(); ++i) {
    const RegionRect r = m.astRect[i];
    memcpy(gstCommon.aubWorkRect, &r, sizeof(r));
    const uint8_t ubKeep = pfnPredicate != nullptr ? pfnPredicate(i) : 0;
    if ((ubKeep & 1u) != 0 || Confirmed(r, Thr16(uiRowThr), Thr16(uiColThr))) continue;
    m.auwPeak[i] = 0;
    ++ubDropped;
  }
  return CompactDropped(ubDropped);
}
