// The wrapper of the large-area check: builds its record from the common record, the
// region record and the panel configuration, runs the check once and writes the verdict
// back.
#include <cstring>

#include "module_wrappers.h"
#include "region_large.h"
#include "ref_update.h"
#include "tsa_common.h"
#include "tsa_config.h"

namespace {

// Head of the shared temporary buffer that other users keep; the check's two work maps
// (node count u16 each) follow it.
constexpr uint32_t kLargeScratchHead = 144;
constexpr uint8_t kExtraMargin = 30;
constexpr uint8_t kComponentSize = 12;
constexpr int16_t kComponentNodeThr = 50;
constexpr uint8_t kComponentEnable = 0;

int16_t LatchCount() {
  const uint32_t v = gstRefdataOutput.uiRefSum;
  return static_cast<int16_t>(v > 0x7FFFu ? 0x7FFFu : v);
}

}  // namespace

// Sources of the record, as this system wires them:
//  - mode A is the large-pocket (iron-cover) byte and mode B is always 1, so an armed
//    pocket raises the total threshold by the extra margin and skips the rectangle test;
//  - the threshold select is the common large-area input byte;
//  - the component skip is the water result byte;
//  - the keep count is the number of points the last report carried, so that a held
//    verdict ends as soon as nothing touches any more;
//  - the hold decrement is 1: the configured hold counts frames;
//  - the stage is always enabled and so is the spanning test: their configuration bytes
//    (flags, spanning count) are the switches;
//  - the latch count is the reference counter of the reference output, held to the s16
//    range rather than wrapped;
//  - the owned-node counts go to the check's own array, never into the region record,
//    whose fourth array holds the waterproof values.
void RegionLargeAreaProcWrapper() {
  CommonRecord& c = gstCommon;
  MutualRegionSet& m = gstMutualRegion;
  LargeAreaInput in;
  memset(&in, 0, sizeof(in));
  in.ubRows = c.ubDrvNum;
  in.ubCols = c.ubSenNum;
  in.uwNodeNum = static_cast<uint16_t>(c.ubDrvNum * c.ubSenNum);
  in.pubScratch = c.pubTempArena != nullptr ? c.pubTempArena + kLargeScratchHead : nullptr;
  in.ubComponentSkip = c.ubWaterResult != 0 ? 1 : 0;
  in.ubModeA = c.ubLargePocket;
  in.ubModeB = 1;
  in.ubHoldDecrement = 1;
  in.ubKeepCount = c.ubPointCount;
  in.pubLabelMap = gaubRegionLabelMap;
  in.ubEnable = 1;
  in.ubThresholdSelect = c.ubLargeAreaInput;
  in.ubSpanEnable = 1;
  in.swLatchCount = LatchCount();
  in.pswDiff = c.stData.pswDiffData;
  in.uwTouchThreshold =
      static_cast<uint16_t>(gstTouchPannelCfg.aubHead[4] | (gstTouchPannelCfg.aubHead[5] << 8));
  in.ubFloatCounter = c.ubFloatingByte;
  in.ubCollapse = gstRegionOutput.ubPassFlag;
  in.ubRegionNum = m.ubRegionNum;
  in.ubExtraMargin = kExtraMargin;
  in.ubComponentSize = kComponentSize;
  in.swComponentThr = kComponentNodeThr;
  in.ubComponentEnable = kComponentEnable;
  in.puwKeep = m.auwPeak;
  in.puwNodeCount = gauwLargeRegionNodeCount;
  in.pstRect = m.astRect;
  in.ubHeld = c.ubLargeAreaCompanion;
  RegionLargeAreaProc(&in);
  c.ubLargeAreaFlag = in.ubLarge;
  c.ubLargeAreaCompanion = in.ubHeld;
  c.ubLargeAreaResult = in.ubOversize;
  m.uwWaterWord = in.uwTotal;
}
