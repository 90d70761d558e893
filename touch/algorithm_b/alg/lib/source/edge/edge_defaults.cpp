// Until the ratio recording and the grip state machine are built, the edge restraint runs
// without them: no ratios are recorded and no grip is ever decided. The real routines
// replace these (they are weak) and this file then goes.
#include "luma_edge.h"

extern "C" {

__attribute__((weak)) void AppCalEdgeRatio(const LumaPoint *, uint8_t) {}
__attribute__((weak)) void AppGrapStausUpdateEdge(LumaGripSta *, uint8_t) {}
__attribute__((weak)) void AppGrapStausUpdateCorner(LumaGripSta *, uint8_t) {}

}  // extern "C"
