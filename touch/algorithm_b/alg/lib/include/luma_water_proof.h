#pragma once
// Water-proof classification of the mutual peaks: inside the peak filter, peaks that water
// drops or sweat make are told from fingers by the shape of their neighbourhood, the self
// lines and the mutual projections near them, per-frame verdict caches and the ghosts of the
// previous frame; after the merge, the wet-finger filter drops the pieces a wet finger
// breaks into.
#include <stdint.h>

#include "luma_core.h"

// Verdicts of the finger and big-negative tests.
#define LUMA_VERDICT_NONE 255u
#define LUMA_WATER_LIST_MAX 30

#ifdef __cplusplus
extern "C" {
#endif

// One cached verdict (or one listed peak when verdict is not used).
typedef struct LumaPeakVerdict {
  uint8_t tx;
  uint8_t rx;
  uint8_t verdict;
} LumaPeakVerdict;

// A list of up to 30 entries with its count; an entry beyond the limit is dropped.
typedef struct LumaPeakVerdictList {
  LumaPeakVerdict ast[LUMA_WATER_LIST_MAX];
  uint8_t ucNum;
} LumaPeakVerdictList;

extern LUMA_EXPORT LumaPeakVerdictList g_stPeakFingerInfo;
extern LUMA_EXPORT LumaPeakVerdictList g_stPeakNearNegInfo;
extern LUMA_EXPORT LumaPeakVerdictList g_stGhostNow;
extern LUMA_EXPORT LumaPeakVerdictList g_stGhostHistory;
extern LUMA_EXPORT LumaPeakVerdictList g_stLastPeakList;
// Frames left in which mutual peaks are treated as water peaks.
extern LUMA_EXPORT uint16_t g_usMcPeakWaterFrm;
// Set when the frame holds only fingers: the wet-finger test then accepts every peak.
extern LUMA_EXPORT uint8_t bWetFingerCheckSkip;
// Frames the dynamic threshold stays applied after water was last seen strongly.
extern LUMA_EXPORT uint8_t g_ucMcDynThrHold;
// The largest ratio byte (ten times the aspect ratio) measured this frame; 0 when none was.
extern LUMA_EXPORT uint8_t g_PeakRatioMax;
// The wet-finger filter's memory of the last single-finger frames: extents {tx min, tx max,
// rx min, rx max} (all 0xFF when unused) and ratio bytes, newest first.
extern LUMA_EXPORT uint8_t g_aucSingleFingerExtent[10][4];
extern LUMA_EXPORT uint8_t g_aucSingleFingerRatio[10];
extern LUMA_EXPORT uint8_t g_ucWetLastPeakNum;
extern LUMA_EXPORT uint16_t usPosNodeCnt;
extern LUMA_EXPORT uint16_t _usLastPosNodeCnt;

LUMA_EXPORT void AppWaterProofHandle(void);
LUMA_EXPORT void WetFingerFilterAfterPeakMerge(void);
LUMA_EXPORT void AppMcWaterReportPtFilter(void);
LUMA_EXPORT void AppPeakSumHandle(void);
LUMA_EXPORT void AppDetectWaterByMcAbnormalPeak(void);
LUMA_EXPORT void AppMcDynamicThrCtrl(void);

// 0 not a finger, 1 finger, 2 certain finger; 0 for a cell outside the matrix. Cached.
LUMA_EXPORT uint8_t AppPeakMcIsFingerTouch(uint8_t tx, uint8_t rx);
// 0, 1 (deep negatives beside it) or 2 (clearly above its surroundings). Cached.
LUMA_EXPORT uint8_t AppPeakSameTxRxBigNegDiff(uint8_t tx, uint8_t rx);
LUMA_EXPORT uint8_t AppPeakIsMutiTouchFinger(uint8_t tx, uint8_t rx);
LUMA_EXPORT void AppMcGetPeakRoundSmallCnt(uint8_t tx, uint8_t rx, int16_t level, uint8_t *vertical,
                                           uint8_t *horizontal);
LUMA_EXPORT uint8_t AppPeakIsInGhostHistory(uint8_t tx, uint8_t rx);

LUMA_EXPORT void AppAddPeakToGhostNow(uint8_t tx, uint8_t rx);
LUMA_EXPORT void AppAddPeakFinger(uint8_t tx, uint8_t rx, uint8_t verdict);
LUMA_EXPORT uint8_t AppGetPeakFingerInfo(uint8_t tx, uint8_t rx);
LUMA_EXPORT void AppAddPeakNearNeg(uint8_t tx, uint8_t rx, uint8_t verdict);
LUMA_EXPORT uint8_t AppGetPeakNearNeg(uint8_t tx, uint8_t rx);
LUMA_EXPORT void AppClearPeakFingerInfo(void);
LUMA_EXPORT void AppClearPeakNearNegInfo(void);

LUMA_EXPORT uint8_t AppGetSum3x3MaxPeak(uint8_t count);
LUMA_EXPORT uint8_t AppSweatFilterEnable(void);
LUMA_EXPORT uint8_t AppNormalTouchCheck(void);
LUMA_EXPORT uint8_t AppScConnectCheck(void);
LUMA_EXPORT int16_t AppGetMatchScDiff(const int16_t *line, uint8_t index, uint8_t count, int16_t threshold);
LUMA_EXPORT int32_t AppGetPeakAroundMinusDiff(uint8_t tx, uint8_t rx, int16_t level);

// Back to the state at load: no ghosts, no water-peak frames, no single-finger history.
LUMA_EXPORT void AppWaterProofInit(void);

#ifdef __cplusplus
}
#endif
