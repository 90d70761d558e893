// Stages of the frame whose inner working is not in this library yet. Each keeps its
// place in the flow and leaves the records untouched, so the flow runs in its real order
// and a frame without peaks passes through to the report and the doze check.
#include "luma_core.h"
#include "luma_front.h"

extern "C" {

void AppPeakFilter(void) {}

}  // extern "C"
