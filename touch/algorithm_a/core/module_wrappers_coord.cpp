// The module wrappers of the coordinate optimisation and the first-coordinate smoothing.
#include <cstring>

#include "coord.h"
#include "coord_game.h"
#include "coord_optimize.h"
#include "coord_smooth.h"
#include "module_wrappers.h"
#include "region.h"
#include "region_records.h"
#include "tsa_common.h"
#include "tsa_frame_links.h"

namespace {

constexpr uint32_t kPairBytesMotionVeto = 8;  // byte of the pairing-bytes block
constexpr uint32_t kShakeLargeTouch = 7;      // bytes of the shake-counting block
constexpr uint32_t kShakeNoiseActive = 11;
constexpr uint32_t kShakeForceFifty = 32;

uint8_t BlockByte(const void* pvBlock, uint32_t at) {
  return pvBlock == nullptr ? 0 : static_cast<const uint8_t*>(pvBlock)[at];
}

}  // namespace

uint16_t CoordOptimizeWrapper() {
  OptimizeArg a;
  memset(&a, 0, sizeof(a));
  const CoordComInput& ci = gstCoordComInput;
  const CommonRecord& c = gstCommon;
  a.ubRows = c.ubDrvNum;
  a.ubColumns = c.ubSenNum;
  a.uwXRes = c.uwSenCoordRange;
  a.uwYRes = c.uwDrvCoordRange;
  a.pubPointState = gstCoordPair.aubLeaveTouchTimer;
  a.ubMotionVeto = BlockByte(ci.pvPairBytes, kPairBytesMotionVeto);
  a.ubCommonMode = c.ubChargerFlag;
  a.ubCommonFlag = c.ubNoiseType;
  a.ubSpecialLimitSel = c.ubGameModeFlag;
  a.ubTuneFlag = c.ubGameModeFlag;
  a.ubPairedCount = gstCoordPair.ubLastRectNum;
  a.pstRects = gstCoordPair.astLastRect;
  a.pubIds = gstCoordPair.aubOrderIndex;
  const GameModeFilter g = GameModeFilterInputs(gstGameMode.auwWord[0]);
  a.uwGameHoldThreshold = g.uwFirst;
  a.ubGameMoveThreshold = g.ubNormal;
  a.ubGameFlag = static_cast<uint8_t>((gstGameModeCfg.aubData[0] >> 1) & 1u);
  a.ubGameHoldFrames = gstGameModeCfg.aubData[2];
  a.ubForceFifty = BlockByte(ci.pvShakeCount, kShakeForceFifty);
  a.ubFloatRegion = gstRegionOutput.ubCoordByte;
  a.ubOutCount = gstCoordComOutput.ubPointNum;
  a.ubNoiseActive = BlockByte(ci.pvShakeCount, kShakeNoiseActive);
  a.ubNoiseCfgOn = static_cast<uint8_t>(gstCoordNoiseProcCfg.aubData[0] & 1u);
  a.ubNoiseCfgAdd = gstCoordNoiseProcCfg.aubData[1];
  a.ubLargeTouch = BlockByte(ci.pvShakeCount, kShakeLargeTouch);
  a.ubTrackOn = c.ubNormalizeCheckEn;
  a.puwCoeff = gpuwSmoothCoeffBuf;
  a.ubJumpCompOn = 1;
  a.puwWeight = gpuwNewWeight;
  a.puwX = gpuwNewPointX;
  a.puwY = gpuwNewPointY;
  a.ubHoldLimit = ci.ubMaxPointNum;
  const uint16_t uwSum = CoordOptimize(&a);
  gstCoordComInput.ubMaxPointNum = a.ubHoldLimit;
  gstCommon.ubOptimiseByte = a.ubJumpOut;
  return uwSum;
}

void CoordOptimizeInitEncapsulationWrapper() {
  const uint64_t ullAddr = reinterpret_cast<uintptr_t>(&gstCoordOptmTrace);
  CoordOptimizeInit(&ullAddr);
}

void FirstCoordSmoothWrapper() {
  FirstCoordArg a{gpuwNewWeight, gstCoordPair.aubLeaveTouchTimer, gstCoordComInput.ubMaxPointNum, 0, gpuwNewPointX,
                  gpuwNewPointY};
  FirstCoordSmooth(&a);
}
