#pragma once
// The diff front end of every valid frame: ADC overload grades, the mutual front filter
// with its edge-column treatment, the projections of the mutual matrix onto self-shaped
// lines, the self-line front filters and the water rectangle.
#include <stdint.h>

#include "luma_core.h"

#ifdef __cplusplus
extern "C" {
#endif

#define LUMA_ADC_FIFO_LEN 20
#define LUMA_ADC_HOLD_FRAMES 480
#define LUMA_EDGE_FIFO_SLOT 20

// ---- ADC overload ---------------------------------------------------------------------
extern LUMA_EXPORT uint16_t g_usMcAdcOverCntFifo[LUMA_ADC_FIFO_LEN];
extern LUMA_EXPORT uint16_t g_usScAdcOverCntFifo[LUMA_ADC_FIFO_LEN];
extern LUMA_EXPORT uint16_t g_usMcAdcOverCnt;
extern LUMA_EXPORT uint16_t g_usScAdcOverCnt;
extern LUMA_EXPORT uint8_t g_ucMcAdcOverLoadFlag;
extern LUMA_EXPORT uint8_t g_ucScAdcOverLoadFlag;
extern LUMA_EXPORT uint8_t g_ucFwScAdcOverLoadFlag;
extern LUMA_EXPORT uint16_t g_usFwAdcOverDelayCnt;
extern LUMA_EXPORT uint16_t g_usFwScAdcOverDelayCnt;

LUMA_EXPORT uint8_t AppFwAdcOverLoadGet(void);
LUMA_EXPORT uint8_t AppMcAdcOverLoadGet(void);
LUMA_EXPORT uint8_t AppScAdcOverLoadGet(void);
LUMA_EXPORT int32_t AppScMovingAverage(int16_t *fifo, uint8_t n, int16_t value);

// ---- Edge columns and the mutual front filter ------------------------------------------
extern LUMA_EXPORT int16_t g_assRX1Fifo[2 * LUMA_EDGE_FIFO_SLOT];
extern LUMA_EXPORT int16_t g_assRXNFifo[2 * LUMA_EDGE_FIFO_SLOT];
extern LUMA_EXPORT uint8_t g_assRXxFifoFrameIndx;

LUMA_EXPORT void AppMcUpDownColFilter(int16_t *matrix);
LUMA_EXPORT int16_t *AppMcUpDownColFilterFifo(int16_t *matrix);
LUMA_EXPORT void AppMcDiffFrontFilter(void);

// ---- Projections ---------------------------------------------------------------------
extern LUMA_EXPORT int16_t g_ssMc2TxDiffer[17];
extern LUMA_EXPORT int16_t g_ssMc2RxDiffer[38];
extern LUMA_EXPORT uint8_t stWaterRect[4];

LUMA_EXPORT int16_t *AppMc2ScRxProjection(void);
LUMA_EXPORT uint8_t AppMcGroupToScRx(const int16_t *matrix, int16_t *out);
LUMA_EXPORT uint8_t AppMcGroupToScTx(const int16_t *matrix, int16_t *out);
LUMA_EXPORT void AppMc2ScTRxProjection(void);
LUMA_EXPORT uint8_t AppMcNoTouchRxGet(uint16_t threshold, uint8_t margin);
LUMA_EXPORT void AppScCcByPassDiffFrontFilter(uint8_t slot);
LUMA_EXPORT int16_t *AppScDiffRecovery(int16_t *out, const int16_t *in, uint16_t tx_split, uint8_t rx_split);
LUMA_EXPORT uint8_t AppMc2ScNormalWater(void);

// ---- Self-line front filters -----------------------------------------------------------
LUMA_EXPORT void AppNoDiffScDiffFrontFilter(uint8_t slot);
LUMA_EXPORT void AppNoDiffScDiffFrontFilter_Tx(uint8_t slot);

// ---- Front chain and the water rectangle ---------------------------------------------
LUMA_EXPORT void AppTpDataRateCtrl(void);
LUMA_EXPORT uint8_t AppPeakSearchMod(void);
LUMA_EXPORT uint8_t AppGetWaterRect(void);
LUMA_EXPORT uint8_t AppGetWaterRectTxLen(void);
LUMA_EXPORT uint8_t AppGetWaterRectRxLen(void);
LUMA_EXPORT uint8_t AppPeakIsInWaterRect(uint8_t tx, uint8_t rx);
LUMA_EXPORT uint8_t AppPeakIsInsideWater(uint8_t tx, uint8_t rx);

#ifdef __cplusplus
}
#endif
