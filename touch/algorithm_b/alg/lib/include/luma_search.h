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
// The same neighbourhood average under the name the peak merge knows it by.
LUMA_EXPORT int16_t AppMergePeakNearAvg(uint8_t peak_id, const LumaPeakPair *pair);

// ---- Sub-node coordinates of a mutual peak (for callers of the library) -----------------
extern LUMA_EXPORT uint8_t g_ucFilterMethod_Cur;
extern LUMA_EXPORT uint8_t g_ucFilterMethod_Last;
// Window of half-width w about p on a line of n: its first line into *start; the length.
LUMA_EXPORT uint8_t DrvMcGetCalLen(uint8_t p, uint8_t n, uint8_t w, uint8_t *start);
// Centroid of peak k into entry j of the peak list (1024 per line pitch, 512 = the node's
// centre); returns the weight sum left after nodes shared with other peaks are discounted.
LUMA_EXPORT uint32_t DrvMcCalculateCoordinate(uint8_t half_tx, uint8_t half_rx, uint8_t peak, uint8_t entry);
// 1 when another peak is within one line of (tx, rx), 2 within two, 3 (wide only) within
// three Tx lines and three Rx lines; 0 otherwise.
LUMA_EXPORT uint8_t DrvMcCheckRoundPeaks(uint8_t tx, uint8_t rx, uint8_t peak, uint8_t wide);
LUMA_EXPORT void DrvVKeyCalculateCoordinate(uint8_t peak, uint8_t entry);
// Seven taps about p of a line of n, weighted for a one-dimensional centroid with edge
// compensation; returns how many of the left taps are missing (0 to 3).
LUMA_EXPORT uint8_t AppLineNewCalculateArray(const int16_t *line, uint8_t p, uint8_t n, int32_t taps[7], uint8_t *start,
                                             uint8_t *end);
LUMA_EXPORT void confirmFilterMod(void);

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
// The hold level of this frame from the power mode and the noise state.
LUMA_EXPORT void AppPwrPointFilter(void);

// ---- Point stages -----------------------------------------------------------------------
// In water a touch lost for one frame keeps last frame's count (and sets the lift-up flag).
LUMA_EXPORT void AppPointFilterLiftup(void);
// This frame's points become the saved list of the point stages.
LUMA_EXPORT void AppSaveLastPointStatus(void);
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
