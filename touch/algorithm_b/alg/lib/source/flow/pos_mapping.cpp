// The end of the point stages: the touch flags of the frame and the copy of the current
// points from which the result output reads.
#include <cstring>

#include "luma_core.h"

extern "C" {

void AppPosMapping(void) {
  LumaTouchData &t = g_stTouchData;
  if (t.ucPointNum != 0) {
    if (t.ucLastPointNum == 0) t.ucFirstTouch = 1;
    t.ucTouching = 1;
  } else {
    t.ucTouching = 0;
    if (t.ucLastPointNum != 0) t.ucAllRelease = 1;
  }
  const uint8_t most = g_stFwConfig.ucMaxPointNum < LUMA_MAX_POINTS ? g_stFwConfig.ucMaxPointNum : LUMA_MAX_POINTS;
  std::memcpy(t.astMapPoint, t.astPoint, sizeof(LumaPoint) * most);
}

}  // extern "C"
