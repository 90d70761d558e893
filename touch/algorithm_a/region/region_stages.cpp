// The result-common record and its stage, the result steps that no stage list calls, the
// full region-module initialisation, and the part of the software initialisation that
// belongs to the small region-side stages.
#include <cstring>

#include "region.h"
#include "region_proc.h"
#include "region_small.h"
#include "region_water.h"

ResultCommonInputRec gstResultCommonInput;

void ResultCommonInit() {
  gstResultCommonInput.pubGrid = &gstCommon.ubSenNum;
  gstResultCommonInput.pvBuffers = &gstCommon.stData;
  gstResultCommonInput.puwScreen = &gstCommon.uwSenCoordRange;
  gstResultCommonInput.pvCommon = &gstCommon;
  gstResultCommonInput.ubRegionNum = 0;
}

void ResultCommonProc() { gstResultCommonInput.ubRegionNum = gstRegionOutput.ubRegionNum; }

void ResultInit() {
  ResultCommonInit();
  RawDataConsisOptmInit();
}

void ResultProc() {
  ResultCommonProc();
  RawDataConsisOptmProc();
  DiffDataBeautyProc();
}

void RegionFloatSelfProcInit() { memset(&gstFloatSelfProc, 0, sizeof(gstFloatSelfProc)); }

void RegionInit() {
  CommonRecord& c = gstCommon;
  RegionCommonInit();
  DynamicLevelInit();
  gstMutualRegion.uwTouchThreshold = c.uwMaskThreshold;
  RegionAcquireInit(c.pubTempArena);
  c.ubLargeAreaFlag = 0;
  c.ubLargeAreaCompanion = 0;
  c.ubLargePocket = 0;
  c.ubLargeAreaInput = 1;
  gstRegionRoles.aubGate[2] = 0;
  gstRegionOutput.ubPairEnable = 1;
  c.ubWaterDetectEn = static_cast<uint8_t>(gstConstWaterCfg.aubData[0] & 0x01u);
  WaterInit(gaswRegionPrevDiff);
  RegFilterBySelfCapInit();
  RegionFloatSelfProcInit();
  IronStateProcInit();
}

// The iron-cover and self-filter initialisations are run here, with the core's software
// initialisation, although the module's own full initialisation (RegionInit) is the only
// other place that runs them: left out, the iron-cover limit would stay 0 instead of 15 and
// arm the detection on any frame average above 0, and neither state would be reset by a
// software re-initialisation.
void ResultSoftwareInit() {
  RawDataConsisOptmInit();
  IronStateProcInit();
  RegFilterBySelfCapInit();
  ResultCommonInit();
}
