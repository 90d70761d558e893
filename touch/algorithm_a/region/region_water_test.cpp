// Waterproof records: layout checks live beside the records; here the two clearing entries.
#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <vector>

#include "region.h"
#include "region_water.h"

namespace {

TEST(RegionWater, ResetFreesEveryUnionAndIdlesThePairTrackerButKeepsTheFingerCounters) {
  memset(&gstWaterState, 0x5A, sizeof(gstWaterState));
  WaterproofReset();
  const WaterModuleState& w = gstWaterState;
  for (const WaterUnion& u : w.astUnion) {
    EXPECT_EQ(u.label, kWaterUnionFree);
    EXPECT_EQ(int(u.posSum), 0);
    EXPECT_EQ(int(u.peak), 0);
  }
  EXPECT_EQ(w.WaterPairIdxA, 255);
  EXPECT_EQ(w.WaterPairIdxB, 255);
  EXPECT_EQ(w.WaterPairMarkA, 255);
  EXPECT_EQ(w.WaterPairMarkB, 255);
  EXPECT_EQ(RegionRectWord(w.WaterGuardRect), kRegionRectEmptyBound);
  EXPECT_EQ(w.WaterWetLevel, 0);
  EXPECT_EQ(w.WaterLargeSta, 0);
  EXPECT_EQ(w.ubGrowFlagNext, 0);
  EXPECT_EQ(w.ubUnionTableValid, 1) << "a laid-out table is valid for its readers";
  for (uint32_t i = 0; i < kRegionMaxNodes; ++i) {
    ASSERT_EQ(w.WaterMarkMap[i], 0) << i;
    ASSERT_EQ(w.WaterAuxMap[i], 0) << i;
    ASSERT_EQ(int(w.WaterDiffSnap[i]), 0) << i;
    ASSERT_EQ(int(w.WaterBaseDiff[i]), 0) << i;
  }
  EXPECT_EQ(w.astSlotTrack[49].ubState, 0);
  EXPECT_EQ(w.WaterZeroFingerCnt, 0x5A) << "the reset keeps the finger counters";
  EXPECT_EQ(w.WaterFingerSum, 0x5A);
  EXPECT_EQ(w.WaterRegionMark[0], 0x5A) << "set by processing before use, not by the reset";
}

TEST(RegionWater, InitClearsTheFingerCountersAndLeavesTheMapItIsGivenAlone) {
  memset(&gstWaterState, 0x5A, sizeof(gstWaterState));
  std::vector<int16_t> prev(2912);
  std::iota(prev.begin(), prev.end(), int16_t{1});
  const std::vector<int16_t> before = prev;
  WaterInit(prev.data());
  EXPECT_EQ(prev, before) << "the previous-diff map belongs to the pipeline";
  EXPECT_EQ(gstWaterState.WaterZeroFingerCnt, 0);
  EXPECT_EQ(gstWaterState.WaterOneFingerCnt, 0);
  EXPECT_EQ(gstWaterState.WaterManyFingerCnt, 0);
  EXPECT_EQ(gstWaterState.WaterFingerSum, 0);
  EXPECT_EQ(gstWaterState.astUnion[0].label, kWaterUnionFree);
}

TEST(RegionWater, InitialisationTakesOnlyTheEnableBitOfTheWaterSection) {
  uint8_t pubArena[8] = {};
  gstCommon.pubTempArena = pubArena;
  for (uint8_t filler : {uint8_t{0}, uint8_t{0xFF}}) {
    memset(gstConstWaterCfg.aubData, filler, sizeof(gstConstWaterCfg.aubData));
    gstConstWaterCfg.aubData[0] = 1;
    gstCommon.ubWaterDetectEn = 0;
    RegionSoftwareInit();
    EXPECT_EQ(gstCommon.ubWaterDetectEn, 1) << int(filler);
    gstConstWaterCfg.aubData[0] = 0xFE;
    RegionSoftwareInit();
    EXPECT_EQ(gstCommon.ubWaterDetectEn, 0) << int(filler);
  }
  memset(gstConstWaterCfg.aubData, 0, sizeof(gstConstWaterCfg.aubData));
  gstCommon.pubTempArena = nullptr;
}

}  // namespace
