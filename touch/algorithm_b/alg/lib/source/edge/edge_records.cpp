// The records of the edge restraint, one place for all of them.
#include "luma_edge.h"

extern "C" {

LumaEdgePalmSta s_stEdgePalmSta[LUMA_MAX_POINTS];
uint8_t g_stEdgeTime[10];
LumaGrabSta g_stGrabSta;
uint8_t g_ucEdgePointCnt;
uint8_t g_ucLastEdgePointCnt;
uint8_t g_ucCenterTouchCnt;
uint8_t g_ucTouchUpCnt;
uint8_t g_ForceAlpha[LUMA_MAX_POINTS];

}  // extern "C"
