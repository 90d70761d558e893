#pragma once
// The touch environment (water, floating, residual touch, temperature drift), palm and
// pocket-palm, the base compensation that acts on them, and the peak thresholds and order.
#include <stdint.h>

#include "luma_core.h"

#ifdef __cplusplus
extern "C" {
#endif

// Bits of the trace state word.
#define LUMA_TRACE_TOUCH 0x0001u
#define LUMA_TRACE_RESIDUAL 0x0002u
#define LUMA_TRACE_RESIDUAL2 0x0004u
#define LUMA_TRACE_RESIDUAL_WATER 0x0008u
#define LUMA_TRACE_WATER 0x0010u
#define LUMA_TRACE_LARGE 0x0020u
#define LUMA_TRACE_STABLE 0x0040u
#define LUMA_TRACE_FLOAT_SHIFT 11
#define LUMA_TRACE_FLOAT_MASK 0x1800u

// ---- Water, floating, residual touch -------------------------------------------------
extern LUMA_EXPORT uint8_t g_ucWaterOnStsCnt;
extern LUMA_EXPORT uint8_t g_ucExitWaterOnStsCnt;
extern LUMA_EXPORT uint8_t g_ucCurFrmWaterFlag;
extern LUMA_EXPORT uint8_t g_ucCurFrmFloatingWaterFlag;
extern LUMA_EXPORT uint8_t g_ucUnlockWaterState;
extern LUMA_EXPORT uint16_t g_usWaterHistory;
extern LUMA_EXPORT uint16_t g_usRainWaterCnt;
extern LUMA_EXPORT uint8_t g_ucScWaterBigNum;
extern LUMA_EXPORT uint8_t g_ucScWaterRxConnectNum;
extern LUMA_EXPORT uint8_t g_ucScWaterTxConnectNum;
extern LUMA_EXPORT uint8_t g_ucLastMcPeakNum;
extern LUMA_EXPORT uint8_t g_aucLastMcPosPeakPos[2 * LUMA_MAX_PEAKS];
extern LUMA_EXPORT uint16_t g_ausLastMcPosPeakDiff[LUMA_MAX_PEAKS];
extern LUMA_EXPORT int16_t g_assScRxNormalFifo[3];
extern LUMA_EXPORT int16_t g_assScRxWaterFifo[3];
extern LUMA_EXPORT int16_t g_ssScFloatingCheckDebug[10];
extern LUMA_EXPORT uint8_t g_ucLastTraceTempState;
extern LUMA_EXPORT uint8_t g_usMayBeCdmaNoiseFlag;
extern LUMA_EXPORT uint16_t g_usMcScPeakNotMatchNum;
extern LUMA_EXPORT int16_t g_ssRefreshSetPos;

LUMA_EXPORT uint8_t AppEnvironmentCheck(void);
LUMA_EXPORT uint16_t AppWaterStsCheck(void);
LUMA_EXPORT void AppGetTouchEnvironmentStates(void);
LUMA_EXPORT uint8_t AppIsWaterExist(void);
LUMA_EXPORT uint8_t AppIsWaterDetectingSta(void);
LUMA_EXPORT uint8_t AppCurrentFrmIsWaterSta(void);
LUMA_EXPORT uint8_t AppCurrentFrmIsFloatingWater(void);
LUMA_EXPORT uint16_t AppExistWaterHistory(void);
LUMA_EXPORT void AppWaterClearStatus(void);
LUMA_EXPORT uint8_t AppIsolatedNegPeakDetect(void);
LUMA_EXPORT uint8_t AppMcRxNormalWaterCheck(void);
LUMA_EXPORT uint8_t AppMcHugeWaterDetect(void);
LUMA_EXPORT uint8_t AppScRxDropWaterDetect(int16_t t0, int16_t t1, uint8_t start);
LUMA_EXPORT uint8_t AppMcTouchFloatingDetect(int16_t t0, int16_t t1, uint8_t start);
LUMA_EXPORT uint8_t AppFloatingCheck(uint8_t start);
LUMA_EXPORT uint8_t ScNegPeakValidCheck(uint8_t slot, uint8_t *index);
LUMA_EXPORT uint8_t AppRemoveTouchAfterPowerOnCheck(uint8_t rx);
LUMA_EXPORT uint8_t RemoveWaterAfterPowerOnCheck(void);
LUMA_EXPORT uint16_t AppCalMcScPeakNotMatchNum(void);
LUMA_EXPORT uint8_t AppCheckTemperatureDrift(void);
LUMA_EXPORT int8_t AppTemperatureScAbnormalCheck(const int16_t *line, int16_t t);
LUMA_EXPORT int16_t AppWaterChGetNearDiff(const int16_t *line, uint8_t index, uint8_t first, uint8_t last);
LUMA_EXPORT void AppTemperatureStsCheckLite(void);
// Back to no water, no floating and no remembered peaks (module initialisation).
LUMA_EXPORT void AppWaterEnvInit(void);

// ---- Palm and pocket-palm --------------------------------------------------------------
extern LUMA_EXPORT uint8_t g_FlgPockeyPlam;
extern LUMA_EXPORT uint8_t g_EnterPocketCnt;
extern LUMA_EXPORT uint8_t g_PocketPlamInt;
extern LUMA_EXPORT uint16_t g_PocketPlamCnt;
extern LUMA_EXPORT uint8_t g_bPalmFlag;
extern LUMA_EXPORT uint8_t g_bPalmClerFlag;
extern LUMA_EXPORT uint8_t g_uCTempDriftFlag;
extern LUMA_EXPORT uint8_t g_stThumbExculdePalm[5];
extern LUMA_EXPORT uint8_t g_ucMcWaterCnt;
extern LUMA_EXPORT uint8_t g_stPalmData[4];
extern LUMA_EXPORT int16_t g_usDbgPocketPlamBuf[15];

LUMA_EXPORT void AppPalmProcess(void);
LUMA_EXPORT void AppBigHandCheck(void);
LUMA_EXPORT void AppSetPockeyFlag(void);
LUMA_EXPORT void AppPockeyPlamEnter(void);
LUMA_EXPORT void AppPockeyPlamEixt(void);
LUMA_EXPORT void AppPalmDataInit(void);
LUMA_EXPORT uint8_t AppIsCameraMode(void);
LUMA_EXPORT uint8_t AppIsHiSampleRate(void);

// ---- Base compensation -----------------------------------------------------------------
extern LUMA_EXPORT uint8_t s_ucRefreshCnt;
extern LUMA_EXPORT uint16_t g_usRefreshCnt;
extern LUMA_EXPORT uint16_t g_usBaseDbgInfo[38];
extern LUMA_EXPORT int16_t g_ssTempDriftDebug[16];
extern LUMA_EXPORT uint8_t g_ucBaseTraceMode;
LUMA_EXPORT uint8_t AppBaseCompensateCondition(void);
LUMA_EXPORT bool AppMCScNormalPeakValidCheck(void);
LUMA_EXPORT void DrvBaseRefreshTraceRun(void);
LUMA_EXPORT void AppBaseCompensateInit(void);

// ---- Peak thresholds and order ----------------------------------------------------------
extern LUMA_EXPORT uint8_t g_ucLastOutputPtCnt;
extern LUMA_EXPORT int16_t g_ssLastMaxDiff;
// Per selected point: unused byte, peak Tx and Rx, then Tx max, Rx max, Tx min, Rx min.
extern LUMA_EXPORT uint8_t structForecastPointRange[LUMA_MAX_POINTS][7];
LUMA_EXPORT void AppMcPeakInOrder(void);
LUMA_EXPORT uint8_t AppPeakInOrder(void);
LUMA_EXPORT void AppScPeakInOrder(void);
LUMA_EXPORT void AppNormalModeProc(void);

#ifdef __cplusplus
}
#endif
