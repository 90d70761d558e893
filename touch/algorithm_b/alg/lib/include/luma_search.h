#pragma once
// Peak search over the mutual matrix and the self lines, touch IDs, the power hold and the
// result output of the frame.
#include <stdint.h>

#include "luma_core.h"

#ifdef __cplusplus
extern "C" {
#endif

// Two peaks under test by the peak merge.
#pragma pack(push, 1)
typedef struct LumaPeakPair {
  uint8_t ucTxA;         // 0
  uint8_t ucRxA;         // 1
  uint8_t ucTxB;         // 2
  uint8_t ucRxB;         // 3
  uint8_t ucDeltaTx;     // 4
  uint8_t ucDeltaRx;     // 5
  uint8_t ucIdA;         // 6
  uint8_t ucIdB;         // 7
  uint8_t reserved8[3];
  uint8_t ucSameTx;      // 11: the pair shares a Tx line
  uint8_t ucSameRx;      // 12: the pair shares an Rx line
  uint8_t ucEdgeLine;    // 13
  uint16_t usPathSteps;  // 14
  int16_t ssAvgDiff;     // 16
  int16_t ssDiffA;       // 18
  int16_t ssDiffB;       // 20
  uint16_t ausStrength[2];  // 22
} LumaPeakPair;
#pragma pack(pop)

extern LUMA_EXPORT uint8_t g_ucMcPeakSearchMod;
extern LUMA_EXPORT uint16_t g_usPointidProveFlag;
extern LUMA_EXPORT uint32_t g_ausBakLastPoints_X[LUMA_MAX_POINTS];
extern LUMA_EXPORT uint32_t g_ausBakLastPoints_Y[LUMA_MAX_POINTS];
extern LUMA_EXPORT uint8_t g_ucLastTouchWeight[LUMA_MAX_POINTS];
extern LUMA_EXPORT uint8_t g_ucLastTouchArea[LUMA_MAX_POINTS];

// ---- Peak search ------------------------------------------------------------------------
LUMA_EXPORT void AppMcSearchPeakPoint(void);
LUMA_EXPORT void AppScSearchPeakPoint(void);
LUMA_EXPORT void AppScDiffMinMax(void);
LUMA_EXPORT uint8_t AppLinePeakSearch(const int16_t *line, uint8_t count, int16_t threshold, uint8_t *out,
                                      uint8_t negate, uint8_t max_peaks);
LUMA_EXPORT uint8_t AppMcGet3MaxDiffID(uint8_t tx, uint8_t rx, uint8_t dir);
LUMA_EXPORT int16_t AppPeakNearDiffAvg(uint8_t peak_id, const LumaPeakPair *pair);

// ---- Touch IDs and the result ----------------------------------------------------------
LUMA_EXPORT LumaPointEvent *AppPointEventInfoInit(LumaPointEvent *records);
LUMA_EXPORT void AppUpdatePointEventInfo(LumaPointEvent *records, const uint8_t *present, LumaTouchData *touch);
LUMA_EXPORT void AppPrecisionModifyProcess(void);
LUMA_EXPORT void AppGetTouchPressure(uint8_t *weight, uint8_t *area, uint8_t index);

// ---- Power hold -------------------------------------------------------------------------
// g_stPowerInfo (luma_noise.h), by byte: 0 mode (0 off, 2 armed by close peaks), 1 to 10 the
// hold counter of each touch ID (255 = released), 11 the hold level in frames, 12 its minimum.
#define LUMA_PWR_MODE 0
#define LUMA_PWR_HOLD 1
#define LUMA_PWR_LEVEL 11
#define LUMA_PWR_LEVEL_MIN 12
LUMA_EXPORT void AppPwrFilterInit(void);
LUMA_EXPORT void AppPeakInSameColCheck(void);
// Whether a point of touch ID `id` with output event *event is reported this frame; a
// touch released from the hold has its event turned into down.
LUMA_EXPORT uint8_t AppPwrProcess(uint8_t id, uint8_t *event);

#ifdef __cplusplus
static_assert(sizeof(LumaPeakPair) == 26);
static_assert(offsetof(LumaPeakPair, ucSameTx) == 11);
static_assert(offsetof(LumaPeakPair, ssDiffA) == 18);
}
#endif
