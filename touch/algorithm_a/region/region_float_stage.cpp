// The floating-finger stage of the app lists.
#include "region.h"

void RegionFloatPreJudgeProc() {}         // pre-judge floating fingers
