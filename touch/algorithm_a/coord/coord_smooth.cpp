// First-coordinate smoothing: the reported position approaches the new one by a growing
// fraction count / (limit + 1) per frame instead of jumping there.
#include "coord_smooth.h"

#include <cstring>

#include "coord.h"
#include "coord_pair.h"
#include "module_wrappers.h"

FstCoordSmooth gstFstCoordSmooth;
CoordOptmMotion gstCoordOptmMotion;

namespace {

constexpr uint8_t kModeIdle = 0;
constexpr uint8_t kModeNormal = 1;
constexpr uint8_t kModeEdge = 2;
constexpr uint8_t kModeEarly = 5;
constexpr uint8_t kStageOnBit = 0x02;  // configuration byte 13
constexpr uint32_t kCfgStageByte = 13;
constexpr uint32_t kCfgDeadZoneByte = 17;

void EndSmoothing(uint8_t i) {
  FstCoordSmooth& s = gstFstCoordSmooth;
  s.aubMode[i] = kModeIdle;
  s.aubCount[i] = 0;
  s.auwLastX[i] = kCoordNoPosition;
  s.aubSpare[i] = 0;
  s.aubLimit[i] = 0;
}

// One axis: a difference above the dead zone moves COUNT / (LIMIT + 1) of the way.
uint16_t Approach(uint16_t uwLast, uint16_t uwNew, uint8_t ubCount, uint8_t ubLimit, uint8_t ubDeadZone) {
  const int32_t diff = static_cast<int16_t>(static_cast<uint16_t>(uwNew - uwLast));
  const int32_t d = diff < 0 ? -diff : diff;
  if (d <= ubDeadZone) return uwNew;
  const uint8_t ubDiv = static_cast<uint8_t>(ubLimit + 1u);
  const int32_t step = ubDiv == 0 ? 0 : static_cast<int32_t>(ubCount) * d / ubDiv;
  return static_cast<uint16_t>(uwLast + (diff < 0 ? -step : step));
}

}  // namespace

void FirstCoordSmoothPowerOnInit() {
  memset(&gstFstCoordSmooth, 0, sizeof(gstFstCoordSmooth));
  memset(gstFstCoordSmooth.auwLastX, 0xFF, sizeof(gstFstCoordSmooth.auwLastX));
}

void FirstCoordSmooth(FirstCoordArg* pstArg) {
  const uint8_t* cfg = gstCoordOptmCfg.aubData;
  if (pstArg == nullptr || (cfg[kCfgStageByte] & kStageOnBit) == 0 || pstArg->ubSkip != 0) return;
  const uint8_t Z = cfg[kCfgDeadZoneByte];
  FstCoordSmooth& s = gstFstCoordSmooth;
  for (uint8_t i = 0; i < kCoordPointMax; ++i) {
    if (pstArg->puwWeight[i] == 0) {
      EndSmoothing(i);
      continue;
    }
    if (gstCoordOptmMotion.aubMoveFlag[i] != 0 && s.aubMovedCopy[i] == 0 && s.aubMode[i] == kModeIdle) {
      const uint8_t ubAge = gstCoordOptmMotion.aubFilterCount[i];
      s.aubCount[i] = 0;
      if (ubAge < pstArg->ubEarlyFrames) {
        s.aubMode[i] = kModeEarly;
        s.aubLimit[i] = ubAge < 100 ? ubAge : 100;
      } else {
        s.aubMode[i] = kModeNormal;
        s.aubLimit[i] = ubAge < 200 ? ubAge : 200;
      }
    }
    if (s.auwLastX[i] != kCoordNoPosition) {
      if (s.aubMode[i] != kModeIdle) {
        ++s.aubCount[i];
        if ((pstArg->pubPointState[i] & kLeaveHoldMask) == 0 || gstCoordOptmMotion.aubThumbCount[i] != 0 ||
            s.aubMode[i] == kModeEdge) {
          pstArg->puwX[i] = Approach(s.auwLastX[i], pstArg->puwX[i], s.aubCount[i], s.aubLimit[i], Z);
          pstArg->puwY[i] = Approach(s.auwLastY[i], pstArg->puwY[i], s.aubCount[i], s.aubLimit[i], Z);
        }
      }
      if (s.aubCount[i] > s.aubLimit[i]) EndSmoothing(i);
    }
    s.auwLastX[i] = pstArg->puwX[i];
    s.auwLastY[i] = pstArg->puwY[i];
  }
}

void EdgeCoordSmoothSet(EdgeSmoothArg* pstArg) {
  if (pstArg == nullptr || pstArg->ubIndex >= kCoordPointMax) return;
  const uint8_t k = pstArg->ubIndex;
  FstCoordSmooth& s = gstFstCoordSmooth;
  if (pstArg->pubEdgeMark[k] == 0 && pstArg->pubPending[k] == 255) return;
  if (pstArg->pubEdgeSkip[k] == 1 || s.aubMode[k] != kModeIdle) return;
  s.auwLastX[k] = pstArg->puwX[k];
  s.auwLastY[k] = pstArg->puwY[k];
  if (pstArg->ubStartMode == 1) {
    s.aubMode[k] = kModeEdge;
    s.aubCount[k] = 0;
    s.aubLimit[k] = gstCoordOptmMotion.aubFilterCount[k];
  }
  if (pstArg->pubPending[k] != 255) pstArg->pubPending[k] = 255;
}

void FirstCoordSmoothEncapsulation() { FirstCoordSmoothWrapper(); }
