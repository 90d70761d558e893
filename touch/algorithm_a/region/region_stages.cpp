// Region detection stages of the app lists (bodies come with region detection).
#include "region.h"

void ResultCommonProc() {}                // fill the frame's result record
void RawDataConsisOptmProc() {}           // optimise raw-data consistency
void IronCoverProc() {}                   // detect an iron cover on the panel
void RegFilterBySelfCap() {}              // filter regions by self capacitance
void LongBigThumbProc() {}                // detect a long big thumb
