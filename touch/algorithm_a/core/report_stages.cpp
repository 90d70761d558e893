// Touch report stage, last of the finger lists (body comes with the touch report output).
#include "core_stages.h"

void ThpTouchReport() {}  // turn the coordinate output into the frame's touch report
