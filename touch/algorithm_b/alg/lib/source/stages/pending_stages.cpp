// Stages of the frame whose inner working is not in this library yet. Each keeps its
// place in the flow and leaves the records untouched, so the flow runs in its real order
// and a frame without peaks passes through to the report and the doze check.
#include "luma_core.h"
#include "luma_front.h"

extern "C" {

void AppPeakSearchMod(void) {}
uint8_t AppSearchPeakPoint(void) { return 0; }
void AppPeakFilter(void) {}
void AppPointFilter(uint8_t) {}
uint8_t AppPointIDProcess(void) { return 0; }
void AppCheckFodArea(void) {}
uint8_t AppTouchResultOutput(void) { return 0; }

}  // extern "C"
