// Small stages of region detection that move the frame's region state on.
#include "region.h"
#include "region_proc.h"

void RegionStateAcquire() {
  gstRegionOutput.ubRegionNum = gstMutualRegion.ubRegionNum;
  gstRegionOutput.stFirstRect = gstMutualRegion.astRect[0];
}

void RegionSoftwareInit() {
  RegionCommonInit();
  gstMutualRegion.uwTouchThreshold = gstCommon.uwMaskThreshold;
  RegionAcquireInit(gstCommon.pubTempArena);
  DynamicLevelInit();
}
