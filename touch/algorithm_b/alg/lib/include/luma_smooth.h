#pragma once
// The point stage's smoothing and the records it keeps per touch ID: a dead zone that holds a
// resting finger still, an adaptive step toward each new position, and the stable-point
// statistics the step rules read. Working coordinates are doubled panel units.
#include <stdint.h>

#include "luma_core.h"

// Per touch ID: the step memory of the smoothing.
typedef struct LumaTouchAlpha {
  uint16_t usAlpha;   // last alpha (256 = the whole way)
  uint32_t ulDist;    // last distance to the reference
  uint16_t usHold;    // frames held still; 500 = free
  uint32_t ulLimit;   // adopted dead-zone limit
} LumaTouchAlpha;

// Per touch ID: the last filtered position (doubled) and the drift of IDs 0 and 1.
typedef struct LumaTouchSmooth {
  uint32_t ulX;
  uint32_t ulY;
  uint8_t ucValid;
  uint8_t ucDriftCnt;
  int32_t slDriftX;
  int32_t slDriftY;
} LumaTouchSmooth;

// Per touch ID: what the touch has been like since it went down.
typedef struct LumaStablePoint {
  uint8_t ucContactFrames;  // saturating at 250
  uint8_t ucEdgeState;      // 0 inside, 1 started near the edge, 2 edge point grown heavy
  uint8_t ucMaxWeight;
  uint8_t ucMaxArea;
  int32_t slMaxSignal;
  uint32_t ulStartX;
  uint32_t ulStartY;
  uint8_t ucLastWeight;
  uint8_t ucLastArea;
  uint8_t ucLightCnt;
} LumaStablePoint;

#ifdef __cplusplus
extern "C" {
#endif

extern LUMA_EXPORT LumaTouchAlpha g_stTouchAlpha[LUMA_MAX_POINTS];
extern LUMA_EXPORT LumaTouchSmooth g_stTouchSmooth[LUMA_MAX_POINTS];
extern LUMA_EXPORT LumaStablePoint stStablePoint[LUMA_MAX_POINTS];
extern LUMA_EXPORT uint8_t OnePointStableCnt[2];
extern LUMA_EXPORT uint8_t stTruMbRx[7];

// The game speed triple: dead-zone limit, step and frames before a resting point settles.
// Writes it and returns 1 in game mode; outside game mode writes nothing and returns 0.
LUMA_EXPORT uint8_t AppTRGameParamsRefresh(uint8_t a, uint8_t b, uint32_t *limit, uint32_t *step, uint32_t *frames);
LUMA_EXPORT void AppStableInit(void);
LUMA_EXPORT void AppStableInforRefresh(void);
LUMA_EXPORT void AppNoGameStabelParaSet(void);
LUMA_EXPORT void AppFilterTouchPoint(void);
// Back to nothing remembered (initialisation).
LUMA_EXPORT void AppTouchSmoothInit(void);

// Flying-line running means (point_filter.cpp).
LUMA_EXPORT void AppSetCurrentDeltaPos(uint8_t id, uint32_t dx, uint32_t dy);
// Running means of 2|dx| and 2|dy| of a touch ID, summed.
LUMA_EXPORT uint32_t AppFlyingMeanSum(uint8_t id);
LUMA_EXPORT void AppBigThumbTouchCheck(void);
// Shifts each tracked point's peak range by its movement since the saved list.
LUMA_EXPORT void AppPointForecast(void);
LUMA_EXPORT void AppNfTrbInRxStatuCheck(void);

#ifdef __cplusplus
}
#endif
