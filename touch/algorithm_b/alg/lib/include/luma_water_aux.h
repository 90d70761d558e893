#pragma once
// Optional water filters on the mutual peak list of the current frame. Nothing in the
// per-frame flow calls them; a caller runs them after the peak search and the peak filter.
// They keep no state and change only the validity bits and the count of the mutual peaks.
#include <stdint.h>

#include "luma_core.h"

#ifdef __cplusplus
extern "C" {
#endif

// Drops every mutual peak at once (the count becomes 0, the validity bits stay) when the
// set-1 self lines are quiet.
LUMA_EXPORT void AppSmallScPeakFilter(void);
// In water, drops peaks without self support along Rx (and, in a water frame, along Tx).
LUMA_EXPORT void AppMcScWaterReportPtFilter(void);
// Mean of row tx over columns rx - half .. rx + half - 1 inside the matrix; 0 when none is.
LUMA_EXPORT int16_t AppMcTxAveGet(uint8_t tx, uint8_t rx, uint8_t half);
// Mean of column rx over all Tx lines; tx is not used.
LUMA_EXPORT int16_t AppMcRxAveGet(uint8_t tx, uint8_t rx);
// In water with 2 to 4 peaks and 2 or more negative peaks, drops peaks on weak rows or columns.
LUMA_EXPORT void AppMcWaterRxTxAveFilter(void);

#ifdef __cplusplus
}
#endif
