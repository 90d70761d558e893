// The point stages around the touch-ID assignment. Stage 2 holds a touch that water hides
// for one frame; stage 3 keeps this frame's points for the next, sets the power hold level
// and maps the points to panel coordinates.
#include <algorithm>
#include <cstring>

#include "luma_env.h"
#include "luma_front.h"
#include "luma_noise.h"
#include "luma_search.h"

namespace {

uint8_t s_ucLiftUpHold;

}  // namespace

extern "C" {

void AppPointFilterLiftup(void) {
  LumaTouchData &t = g_stTouchData;
  const bool lost = t.ucPointNum == 0 && t.ucLastPointNum != 0 && AppIsWaterExist() != 0 && g_fod_resume_pressed == 0;
  if (!lost) {
    t.ucLiftUp = 0;
    s_ucLiftUpHold = 0;
    return;
  }
  // Water can hide a finger for a frame: keep last frame's points once, not twice.
  if (s_ucLiftUpHold == 0) {
    t.ucPointNum = std::min<uint8_t>(t.ucLastPointNum, LUMA_MAX_POINTS);
    t.ucLiftUp = 1;
    s_ucLiftUpHold = 1;
  } else {
    s_ucLiftUpHold = 0;
  }
}

void AppSaveLastPointStatus(void) {
  const uint8_t most = std::min<uint8_t>(g_stFwConfig.ucMaxPointNum, LUMA_MAX_POINTS);
  std::memcpy(g_stTouchData.astStagePoint, g_stTouchData.astPoint, sizeof(LumaPoint) * most);
}

void AppPwrPointFilter(void) {
  if (g_stTouchData.ucLiftUp != 0) return;
  uint8_t &level = g_stPowerInfo[LUMA_PWR_LEVEL];
  const uint8_t mode = g_stPowerInfo[LUMA_PWR_MODE];
  if (mode == 0) {
    level = 0;
  } else if (mode == 2) {
    if (g_ucFwAdcOverLoadFlag != 0 || g_ucFwScAdcOverLoadFlag != 0) {
      level = 2;
    } else if (g_usMcScPeakNotMatchNum != 0) {
      level = 1;
    } else if (g_usMayBeCdmaNoiseFlag != 1 || g_stPeakData.ucOutPeakNum < 2) {
      level = 0;
    } else {
      level = 1;
    }
  }
  level = std::max(level, g_stPowerInfo[LUMA_PWR_LEVEL_MIN]);
}

void AppPointFilter(uint8_t stage) {
  if (stage == 2) {
    AppPointFilterLiftup();
  } else if (stage == 3) {
    AppSaveLastPointStatus();
    AppPwrPointFilter();
    AppPosPreMapping();
  }
}

}  // extern "C"
