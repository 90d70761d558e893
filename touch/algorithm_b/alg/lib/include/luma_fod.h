#pragma once
// The fingerprint-area stage: recognising a finger that rests on the under-display sensor
// and telling the host "finger down" and "finger up" through its fingerprint-area slot.
#include <stdint.h>

#include "luma_core.h"

#ifdef __cplusplus
extern "C" {
#endif

// Point IDs the per-ID slide-area flags cover.
#define LUMA_FOD_IDS 10

extern LUMA_EXPORT uint8_t g_aucFodSlideDownFlg[LUMA_FOD_IDS];
extern LUMA_EXPORT uint8_t g_ucFodReportID;
extern LUMA_EXPORT uint8_t g_ucFodTouchFlg;
extern LUMA_EXPORT uint8_t gGestureFodTouchFlg;
extern LUMA_EXPORT uint8_t g_ucFodCoordinate[4];
extern LUMA_EXPORT uint8_t g_ucTouchArea;
extern LUMA_EXPORT uint8_t g_ucFodEvent;
extern LUMA_EXPORT uint8_t g_ucFodID;
extern LUMA_EXPORT uint8_t g_ucFodFingerSta;
extern LUMA_EXPORT uint8_t ucFingerDownCnt;
extern LUMA_EXPORT uint8_t g_ucFodArea;

LUMA_EXPORT void AppFreeFodCheck(void);
LUMA_EXPORT void AlgReportFodUp(uint8_t kind);
LUMA_EXPORT uint8_t AppCheckPeakPercent(int32_t peak);
LUMA_EXPORT uint8_t AppCheakFodPeakInArea(uint8_t index, uint8_t wide);
LUMA_EXPORT void AppCheckDownEvtInFodSlideArea(void);
LUMA_EXPORT void AppClearTouchDownInFodSlideFlag(void);

#ifdef __cplusplus
}
#endif
