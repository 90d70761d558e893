// The touch report stage ThpTouchReport, last of the finger lists, lives with the touch
// report output in tsa_report.cpp.
#include "core_stages.h"
