// Waterproof records: the module state and its two clearing entries.
#include "region_water.h"

#include <cstring>

WaterModuleState gstWaterState;

void WaterproofReset() {
  WaterModuleState& w = gstWaterState;
  w.gubTryDlCount = 0;
  w.WaterLargeHold = 0;
  w.WaterHoldFive = 0;
  w.WaterCalmCnt = 0;
  w.WaterWetCnt = 0;
  w.WaterWetLevel = 0;
  w.WaterSelfCnt = 0;
  w.WaterPairAge = 0;
  w.WaterGuardOn = 0;
  w.WaterPairIdxA = w.WaterPairIdxB = 255;
  w.WaterPairMarkA = w.WaterPairMarkB = 255;
  w.WaterGuardRect = RegionRectFromWord(kRegionRectEmptyBound);
  w.WaterCheckScore = w.WaterCheckStep = w.WaterCheckTimer = 0;
  w.WaterPosCount = w.WaterNegCount = 0;
  w.WaterUnionCount = w.WaterStrongUnionCount = w.WaterLastRegionCnt = 0;
  w.WaterSelfRowSum = w.WaterSelfColSum = 0;
  w.WaterSelfSumPrev = 0;
  w.WaterSelfRowAny = w.WaterSelfColAny = w.WaterAllEdge = 0;
  memset(w.astSlotTrack, 0, sizeof(w.astSlotTrack));
  memset(w.WaterMarkMap, 0, sizeof(w.WaterMarkMap));
  memset(w.WaterAuxMap, 0, sizeof(w.WaterAuxMap));
  memset(w.WaterDiffSnap, 0, sizeof(w.WaterDiffSnap));
  memset(w.WaterBaseDiff, 0, sizeof(w.WaterBaseDiff));
  memset(&w.WaterRectRemoved, 0, offsetof(WaterModuleState, WaterZeroFingerCnt) - offsetof(WaterModuleState, WaterRectRemoved));
  for (WaterUnion& u : w.astUnion) {
    memset(&u, 0, sizeof(u));
    u.label = kWaterUnionFree;
  }
  w.ubUnionTableValid = 1;
}

void WaterInit(const int16_t* /*pswPrevDiff*/) {
  WaterproofReset();
  WaterModuleState& w = gstWaterState;
  w.WaterZeroFingerCnt = w.WaterOneFingerCnt = w.WaterManyFingerCnt = w.WaterFingerSum = 0;
}
