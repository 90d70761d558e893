// The floating-finger stage of the app lists.
#include "module_wrappers.h"
#include "region.h"

void RegionFloatPreJudgeProc() { RegionFloatPreJudgeWrapper(); }
