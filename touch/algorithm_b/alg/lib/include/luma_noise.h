#pragma once
// Noise measurement: the controller's per-frequency noise levels, smoothed and kept in a
// 20-frame history, the mutual noise state, the near-field-like hold-off and the small
// self-capacitance noise helpers.
#include <stdint.h>

#include "luma_core.h"

#pragma pack(push, 1)
typedef struct LumaMcNoise {
  uint8_t aucHead[2];            // 0: first noise word of the frame
  uint8_t ucFreqIdx;             // 2: current frequency (0..5)
  uint8_t ucNoiseFound;          // 3
  int16_t assSmooth[6];          // 4
  int16_t assReported[6];        // 16
  int16_t ssCurSmooth;           // 28
  int16_t assSecond[6];          // 30
  int16_t ssCurSecond;           // 42
} LumaMcNoise;

typedef struct LumaMcNoiseRepo {
  LumaMcNoise astSnap[8];        // 0
  uint8_t aucRingA[8];           // 352
  uint8_t aucRingB[8];           // 360
  uint8_t ucState;               // 368: 0 quiet, 1 noise seen, 2 noisy
  uint8_t ucFlag;                // 369
  uint8_t reserved370[2];
} LumaMcNoiseRepo;
#pragma pack(pop)

#ifdef __cplusplus
static_assert(sizeof(LumaMcNoise) == 44);
static_assert(offsetof(LumaMcNoise, ssCurSmooth) == 28);
static_assert(offsetof(LumaMcNoise, ssCurSecond) == 42);
static_assert(sizeof(LumaMcNoiseRepo) == 372);
static_assert(offsetof(LumaMcNoiseRepo, ucState) == 368);
extern "C" {
#endif

extern LUMA_EXPORT LumaMcNoise g_stMcNoise;
extern LUMA_EXPORT LumaMcNoiseRepo g_stMcNoiseRepo;
extern LUMA_EXPORT int16_t g_ucFreqChargeNoiseFifo[6];
extern LUMA_EXPORT uint16_t g_ssMcNullFreqNoise[6][22];
extern LUMA_EXPORT uint16_t g_usFreqNoiseMax;
extern LUMA_EXPORT uint16_t g_usLikeNFNoiseFlg[3];
extern LUMA_EXPORT uint16_t g_usLikeNFNoiseFrame;
extern LUMA_EXPORT uint8_t g_stPowerInfo[16];
extern LUMA_EXPORT uint16_t g_stAdcOverSta[20];
extern LUMA_EXPORT uint8_t g_ucFwAdcOverLoadFlag;
extern LUMA_EXPORT uint8_t g_ucOriMcDiffLargeMeanLevel;
extern LUMA_EXPORT uint8_t g_stScNoise[16];
extern LUMA_EXPORT uint8_t g_stScNoiseRepo[168];
extern LUMA_EXPORT int16_t g_ssScWaterTxNoise[17];
extern LUMA_EXPORT int16_t g_ssScWaterRxNoise[38];

LUMA_EXPORT uint8_t AppMainFreNoiseProc(void);
LUMA_EXPORT uint8_t AppMcGetNullNoise(void);
LUMA_EXPORT uint8_t AppMcCalFreqNullNoiseData(void);
LUMA_EXPORT void AppMcNoiseCheck(void);
LUMA_EXPORT uint8_t AppMcNoiseExist(void);
LUMA_EXPORT void AppMcNoiseInit(void);
LUMA_EXPORT void AppMcCollectNoise(void);
LUMA_EXPORT void AppScNoiseInit(void);
LUMA_EXPORT uint8_t AppScHighNoise(void);
LUMA_EXPORT uint8_t AppGetScNouchPosEn(uint8_t pos, uint8_t n, int8_t r, int16_t thr);
LUMA_EXPORT void AppScNoiseFilter(uint8_t line, uint8_t axis);
LUMA_EXPORT int16_t AppScDiffRemoveNoise(int16_t value, uint8_t k);
// Charge noise of a projected mutual line of n Rx columns (the line is equalised and
// centred in place): how much more the touched columns swing than the others; at least 1.
LUMA_EXPORT uint32_t AppMcGetChargeNoise(int16_t *line, uint8_t n);
// Display noise of a projected mutual line: the summed tilt of its two halves.
LUMA_EXPORT uint32_t AppMcGetDisplayNoise(const int16_t *line, uint8_t n);

#ifdef __cplusplus
}
#endif
