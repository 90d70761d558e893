// Small stages of region detection that move the frame's region state on.
#include "region.h"
#include "region_large.h"
#include "region_proc.h"
#include "region_water.h"

void RegionStateAcquire() {
  gstRegionOutput.ubRegionNum = gstMutualRegion.ubRegionNum;
  gstRegionOutput.stFirstRect = gstMutualRegion.astRect[0];
}

void RegionSoftwareInit() {
  RegionCommonInit();
  gstMutualRegion.uwTouchThreshold = gstCommon.uwMaskThreshold;
  RegionAcquireInit(gstCommon.pubTempArena);
  RegionLargeAreaInit();
  gstCommon.ubWaterDetectEn = static_cast<uint8_t>(gstConstWaterCfg.aubData[0] & 0x01u);
  WaterInit(gaswRegionPrevDiff);
  DynamicLevelInit();
}
