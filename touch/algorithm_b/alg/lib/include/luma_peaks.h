#pragma once
// Access to the mutual peak list: validity bits, diff values around a peak, window sums,
// weak-neighbour counts and compaction of the list to its valid entries.
#include <stdint.h>

#include "luma_core.h"

#ifdef __cplusplus
extern "C" {
#endif

LUMA_EXPORT uint8_t AppMcPeakValidityCheck(uint8_t peak);
LUMA_EXPORT void AppMcSetPeakValidity(uint8_t peak, uint8_t valid);
LUMA_EXPORT uint8_t AppScPeakValidityCheck(uint8_t tx_peak, uint8_t rx_peak);
// Null, and 0 from the readers, for a node outside the frame.
LUMA_EXPORT int16_t *AppMcGetDiffAddr(uint8_t tx, uint8_t rx);
LUMA_EXPORT int16_t AppMcGetDiff(uint8_t tx, uint8_t rx);
LUMA_EXPORT int16_t AppMcPeakGetDiff(uint8_t peak);
LUMA_EXPORT uint8_t AppMcIfMaxPeak(uint8_t peak);
LUMA_EXPORT uint8_t AppScTxPeakCheck(uint8_t slot, uint8_t tx, int16_t threshold);
LUMA_EXPORT uint8_t AppScRxPeakCheck(uint8_t slot, uint8_t rx, int16_t threshold);
LUMA_EXPORT uint8_t AppScTxAndNoisePeakCheck(uint8_t slot, uint8_t tx, int16_t threshold);
LUMA_EXPORT uint8_t AppScRxAndNoisePeakCheck(uint8_t slot, uint8_t rx, int16_t threshold);
LUMA_EXPORT int32_t AppMcGetPeakAreaSum(uint8_t peak, uint8_t radius);
LUMA_EXPORT int32_t AppMcGetPeakAreaSumByTxRx(uint8_t tx, uint8_t rx, uint8_t radius);
LUMA_EXPORT uint16_t AppGetTouchThr(uint8_t tx);
LUMA_EXPORT uint8_t AppMcGetRoundSmallCnt(uint8_t tx, uint8_t rx);
LUMA_EXPORT uint8_t AppMcGetRoundSmallCntThr(uint8_t tx, uint8_t rx, int16_t limit);
LUMA_EXPORT void AppGetValidPeak(void);

#ifdef __cplusplus
}
#endif
