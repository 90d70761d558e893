#pragma once
// The module-global records of touch algorithm B. Every stage reads and writes them
// directly by field; the records are packed so that each field sits at the byte position
// the stages (and the debug readout) agree on. Gaps that no stage of this library names
// yet are kept as reserved bytes, so adding a field never moves another.
#include <stddef.h>
#include <stdint.h>

#include "alg_module.h"

#define LUMA_MAX_NODES 902
#define LUMA_SC_LINE_LEN 63
#define LUMA_SC_SLOTS 4
#define LUMA_MAX_POINTS 10
#define LUMA_MAX_PEAKS 30
#define LUMA_FW_CONFIG_SIZE 601

#pragma pack(push, 1)

// Compiled-in configuration (read-only at run time; a replacement has the same layout).
typedef struct LumaFwConfig {
  uint8_t reserved0[86];
  uint8_t ucNotchMapEn;              // 86
  uint8_t reserved87[25];
  uint16_t usTxNum;                  // 112
  uint16_t usRxNum;                  // 114
  uint8_t ucTxNum;                   // 116
  uint8_t ucRxNum;                   // 117
  uint8_t ucScTxNum;                 // 118
  uint8_t ucScRxNum;                 // 119
  uint8_t aucChannelTable1[18];      // 120
  uint8_t reserved138[3];
  uint8_t aucChannelTable2[38];      // 141
  uint8_t reserved179[5];
  uint8_t ucMaxPointNum;             // 184
  uint8_t ucMaxPeakNum;              // 185
  uint8_t ucTdByte1;                 // 186
  uint8_t reserved187;
  uint8_t ucMaxScPeakNum;            // 188
  uint8_t ucTdByte18;                // 189
  uint8_t ucTdByte33;                // 190
  uint16_t usTdWord34;               // 191
  uint16_t usCfg193;                 // 193
  uint16_t usCfg195;                 // 195
  uint16_t usScPeakThr;              // 197
  uint16_t usMcPeakThr;              // 199
  uint16_t usMcNegPeakThr;           // 201
  uint16_t usCfg203;                 // 203
  uint16_t usNegPeakThr2;            // 205
  uint16_t usJitterLimit;            // 207
  uint16_t usScNoTouchPeakThr;       // 209
  uint16_t ausTdWords[4];            // 211
  uint8_t aucSysParamDefaults[105];  // 219: g_stSysParam bytes 6..110
  uint8_t ucXYSwap;                  // 324
  uint16_t usMapCentreX;             // 325: internal x at the display centre
  uint16_t usMapCentreY;             // 327
  uint32_t aulNotchX[8];             // 329
  uint32_t aulNotchY[8];             // 361
  uint8_t reserved393[26];
  uint16_t usTraceWord0;             // 419
  uint16_t usTraceWord1;             // 421
  uint16_t usTraceWord2;             // 423
  uint8_t ucTraceByte0;              // 425
  uint8_t ucTraceByte1;              // 426
  uint16_t usTraceWord3;             // 427
  uint16_t usTraceWord4;             // 429
  uint16_t usTraceWord5;             // 431
  uint8_t ucTraceByte2;              // 433
  uint8_t reserved434[23];
  uint8_t ucPalmCorrectSize;         // 457: smallest palm blob size that is corrected
  uint8_t reserved458[12];
  uint16_t usScNoTouchThr;           // 470: self level that counts as a touch for noise tests
  uint8_t reserved472[4];
  uint16_t usNoiseRingAThr;          // 476
  uint16_t usNoiseRingBThr;          // 478
  uint8_t reserved480[LUMA_FW_CONFIG_SIZE - 480];
} LumaFwConfig;

// Frame geometry, built at initialisation.
typedef struct LumaFrmInfo {
  uint8_t aucCfgCopy[62];            // 0: configuration bytes 112.. (4 Tx, 5 Rx, 6/7 x/y)
  uint8_t aucCfgCopy2[8];            // 62: configuration bytes 174..181
  uint8_t aucChannels[62];           // 70
  uint16_t usNodeNum;                // 132
  uint8_t aucCopy134[4];             // 134
  uint16_t usMaxX;                   // 138
  uint16_t usMaxY;                   // 140
  uint8_t ucCleared142;              // 142
  uint8_t ucCopy143;                 // 143
  uint8_t ucCleared144;              // 144
  uint8_t ucCopy145;                 // 145
  uint8_t reserved146[6];
} LumaFrmInfo;

typedef int16_t LumaScSlots[LUMA_SC_SLOTS][LUMA_SC_LINE_LEN];

// Frame data: self lines, mutual matrices and the frame flags.
typedef struct LumaFrmData {
  LumaScSlots assScBackDiff;               // 0
  LumaScSlots assScDiff;                   // 504
  LumaScSlots assScBase;                   // 1008
  LumaScSlots assScRaw;                    // 1512
  LumaScSlots assScExtra;                  // 2016
  uint8_t reserved2520[936];
  int16_t *apssScBase[4];                  // 3456
  int16_t *pssScDiff;                      // 3488
  int16_t assMcBackDiff[LUMA_MAX_NODES];   // 3496
  int16_t assMcDiff[LUMA_MAX_NODES];       // 5300
  int16_t assMcLastDiff[LUMA_MAX_NODES];   // 7104
  int16_t assMcBase[LUMA_MAX_NODES];       // 8908
  int16_t assMcRaw[LUMA_MAX_NODES];        // 10712
  uint8_t aucFilterWork[14952 - 12516];    // 12516: working data of the filter stages
  int16_t assLineAvg[41];                  // 14952: one average per line
  int16_t assBound[82];                    // 15034: upper bounds of n lines, then lower bounds
  int16_t assMcRxAbsProj[LUMA_SC_LINE_LEN];  // 15198: mutual projections onto self-shaped lines
  int16_t assMcTxAbsProj[LUMA_SC_LINE_LEN];  // 15324
  int16_t assMcRxProj[LUMA_SC_LINE_LEN];     // 15450
  int16_t assMcTxProj[LUMA_SC_LINE_LEN];     // 15576
  int16_t ssMcRxProjMax;                   // 15702
  int16_t ssMcTxProjMax;                   // 15704
  uint8_t reserved15706[2];
  int32_t slMcRxProjSum;                   // 15708
  int16_t *pssMcRaw;                       // 15712
  int16_t *pssMcBase;                      // 15720
  int16_t *pssMcDiff;                      // 15728
  uint8_t aucFilterWork2[16062 - 15736];   // 15736
  uint16_t usFrmFlag;                      // 16062
} LumaFrmData;

#define LUMA_FRM_VALID 0x0001u
#define LUMA_FRM_HOST_BIT12 0x1000u

// One mutual peak entry as the coordinate stage fills it.
typedef struct LumaMcPeak {
  uint32_t x;                // 1/16 pixel
  uint32_t y;
  uint8_t reserved8;
  uint8_t ucWeight;          // 9: weight sum scaled, at most 127
  uint8_t ucStrongCnt;       // 10: at most 49
  uint8_t ucTx;              // 11
  uint8_t ucRx;              // 12
  uint8_t aucAttr[2];        // 13
  uint8_t reserved15;
  uint32_t ulWeightSum;      // 16
} LumaMcPeak;

// Peak data.
typedef struct LumaPeakData {
  uint8_t aucScTxPosPeak[21];              // 0: self peaks, index along the line
  uint8_t aucScRxPosPeak[21];              // 21
  uint8_t ucScPosPeakMul;                  // 42: Tx count x Rx count, at most 255
  uint8_t ucScTxPosPeakNum;                // 43
  uint8_t ucScRxPosPeakNum;                // 44
  uint8_t aucScTxPeakValidMap[3];          // 45
  uint8_t aucScRxPeakValidMap[3];          // 48
  uint8_t reserved51;
  uint8_t aucScTxPeakList[42];             // 52
  uint8_t aucScRxPeakList[42];             // 94
  uint8_t aucScTxNegPeak[21];              // 136
  uint8_t aucScRxNegPeak[21];              // 157
  uint8_t ucScNegPeakMul;                  // 178
  uint8_t ucScTxNegPeakNum;                // 179
  uint8_t ucScRxNegPeakNum;                // 180
  uint8_t ucScPosPeakMulValidFrm;          // 181
  uint8_t ucScTxPosPeakNumValidFrm;        // 182
  uint8_t ucScRxPosPeakNumValidFrm;        // 183
  uint8_t ucScTxPosStrongCnt;              // 184: counters of the selected self set
  uint8_t ucScRxPosStrongCnt;              // 185
  uint8_t ucScTxNegStrongCnt;              // 186
  uint8_t ucScRxNegStrongCnt;              // 187
  uint8_t ucScTxBigCnt;                    // 188
  uint8_t ucScRxBigCnt;                    // 189
  int16_t assScMin[LUMA_SC_SLOTS];         // 190: self extremes per frequency set
  int16_t assScMax[LUMA_SC_SLOTS];         // 198
  int16_t assScRxMin[LUMA_SC_SLOTS];       // 206
  int16_t assScTxMin[LUMA_SC_SLOTS];       // 214
  int16_t assScRxMax[LUMA_SC_SLOTS];       // 222
  int16_t assScTxMax[LUMA_SC_SLOTS];       // 230
  uint8_t reserved238[44];
  int16_t ssMcMaxDiffValidFrm;             // 282
  uint8_t aucMcPeakPos[60];                // 284: (tx, rx) pairs
  uint8_t aucMcPeakRange[150];             // 344: per peak {used, tx min, tx max, rx min, rx max}
  uint8_t aucMcNegPeakPos[60];             // 494
  uint8_t aucMcPeakValidMap[4];            // 554: one bit per peak
  uint16_t ausMcPeakAttr[30];              // 558
  uint8_t reserved618[2];
  LumaMcPeak astMcPeakList[LUMA_MAX_PEAKS];  // 620
  uint8_t ucMcPosPeakNum;                  // 1220
  uint8_t ucMcNegPeakNum;                  // 1221
  uint16_t usMcOverCnt;                    // 1222
  uint16_t usMcUnderCnt;                   // 1224
  uint16_t usPeakWord1226;                 // 1226
  uint8_t ucPeakByte1228;                  // 1228
  uint8_t reserved1229;
  int16_t ssMcMaxDiff;                     // 1230
  uint8_t ucMcMaxTx;                       // 1232
  uint8_t ucMcMaxRx;                       // 1233
  int16_t ssMcMinDiff;                     // 1234
  uint8_t reserved1236[2];
  uint8_t ucMcPosPeakNumValidFrm;          // 1238
  uint8_t ucOutPeakNum;                    // 1239
  uint8_t ucLastOutPeakNum;                // 1240
  uint8_t ucPeakSearchAux;                 // 1241
  uint8_t reserved1242[2];
} LumaPeakData;

// One touch point entry: 1/16 pixel coordinates, then stage data; all 0xFF when empty.
typedef struct LumaPoint {
  uint32_t x;
  uint32_t y;
  uint8_t id;
  uint8_t weight;
  uint8_t area;
  uint8_t ucTx;
  uint8_t ucRx;
  uint8_t stage[7];
} LumaPoint;

typedef struct LumaPointEvent {
  uint8_t ucEvent;
  uint8_t ucLastEvent;
  uint8_t reserved[2];
  uint32_t x;
  uint32_t y;
} LumaPointEvent;

// Touch points.
typedef struct LumaTouchData {
  LumaPoint astPoint[LUMA_MAX_POINTS];      // 0: current points
  LumaPoint astMapPoint[LUMA_MAX_POINTS];   // 200: copy taken by the position mapping
  LumaPoint astStagePoint[LUMA_MAX_POINTS]; // 400: point stages
  LumaPointEvent astEvent[LUMA_MAX_POINTS]; // 600
  LumaPoint astLastOutput[LUMA_MAX_POINTS]; // 720
  void *pstTouchAlpha;                      // 920
  void *pstTouchSmooth;                     // 928
  uint8_t ucPointNum;                       // 936
  uint8_t ucLastPointNum;                   // 937
  uint8_t ucTrackedIdNum;                   // 938
  uint8_t reserved939[2];
  uint8_t ucFirstTouch;                     // 941
  uint8_t ucAllRelease;                     // 942
  uint8_t ucReportRequest;                  // 943
  uint8_t ucLiftUp;                         // 944
  uint8_t ucTouchFlag945;                   // 945: cleared on release
  uint8_t ucTouching;                       // 946
  uint8_t reserved947[5];
} LumaTouchData;

// System parameters set by the host.
typedef struct LumaSysParam {
  uint8_t reserved0[11];
  uint8_t ucChargeState;       // 11
  uint8_t ucDispDirection;     // 12
  uint8_t ucGameEdgeLevel;     // 13
  uint8_t ucHiSampleRate;      // 14
  // No host command sets it; it keeps its configuration default (0).
  uint8_t ucHighSensitivity;   // 15
  uint8_t reserved16[2];
  uint8_t ucCameraMode;        // 18
  uint8_t ucHostPara0;         // 19
  uint8_t ucHostPara1;         // 20
  uint8_t reserved21[2];
  uint8_t ucTemperature;       // 23
  uint8_t reserved24;
  uint8_t ucGameMode;          // 25
  uint8_t ucPocketPalmFlag;    // 26
  uint8_t ucPocketPalmState;   // 27
  uint8_t reserved28[9];
  uint8_t ucIcIdleFlag;        // 37
  uint8_t reserved38[41];
  uint8_t ucFodEnable;         // 79
  uint8_t ucWaterFlag;         // 80
  uint8_t reserved81[30];
} LumaSysParam;

// Touch-detection parameters, from the configuration at initialisation.
typedef struct LumaTdParam {
  uint8_t ucMaxPoint;          // 0
  uint8_t ucByte1;             // 1
  uint16_t usScThr;            // 2
  uint16_t usMcThr;            // 4
  int16_t ssMcNegThr;          // 6
  uint16_t usScThr2;           // 8
  uint16_t usMcThr2;           // 10
  int16_t ssMcNegThr2;         // 12
  uint16_t usWord14;           // 14
  int16_t ssNegThr16;          // 16
  uint8_t ucByte18;            // 18
  uint8_t reserved19;
  uint16_t ausWords20[4];      // 20
  uint16_t usWord28;           // 28
  uint16_t usJitterLimit;      // 30
  uint8_t reserved32;
  uint8_t ucByte33;            // 33
  uint16_t usWord34;           // 34
  uint16_t usWord36;           // 36
  uint8_t reserved38[4];
} LumaTdParam;

// Base-trace state: the trace parameters of the configuration, and per frame the decision
// of the base compensation.
typedef struct LumaTraceInfo {
  uint16_t usTraceThr;       // 0: configuration 419
  uint16_t usTraceThr2;      // 2: configuration 421
  uint16_t usMcThr;          // 4: configuration 211
  int16_t ssMcTraceStep;     // 6: mutual trace step
  uint8_t ucTracePeriod;     // 8: frames between trace steps
  uint8_t ucRefreshLimit;    // 9: refresh confirmation frames
  uint16_t usTraceWord10;    // 10: configuration 427
  uint16_t usTraceWord12;    // 12: configuration 429
  uint8_t ucTraceByte14;     // 14: configuration 426
  uint8_t ucTraceByte15;     // 15: configuration 433
  int16_t ssScTraceStep;     // 16: self trace step
  uint8_t reserved18[2];
  uint16_t usTraceFlag;      // 20: set by the environment check
  uint8_t ucRefreshReq;      // 22
  uint8_t reserved23;
  uint8_t ucTraceEn;         // 24
  uint8_t reserved25;
} LumaTraceInfo;

// One result point of the detection stages: id (above 9 = empty), x, y in 1/16 pixel,
// three stage words, event state (1 lift-off, 2 contact, other touch-down).
typedef struct LumaRptPoint {
  uint32_t id;
  uint32_t x;
  uint32_t y;
  uint32_t stage[3];
  uint32_t event;
} LumaRptPoint;

typedef struct LumaRptSaveEntry {
  uint8_t id;
  uint8_t event;
  uint16_t x;
  uint16_t y;
} LumaRptSaveEntry;

typedef struct LumaRptSave {
  uint8_t ucEventNum;
  LumaRptSaveEntry astPoint[LUMA_MAX_POINTS];
} LumaRptSave;

// The per-frame record handed to host slot 7.
typedef struct LumaHostDebugInfo {
  int16_t *pssMcDiff;          // 0
  int16_t *pssScDiff;          // 8
  int16_t *pssMcBackDiff;      // 16
  int16_t *pssMcBase;          // 24
  uint8_t reserved32[8];       // 32
  int32_t slPeakDiff;          // 40
  uint32_t ulPeakTx;           // 44
  uint32_t ulPeakRx;           // 48
  uint8_t reserved52[4];       // 52
  uint64_t ullFrameTimeNs;     // 56
  uint64_t ullFrameCount;      // 64
  uint8_t reserved72[4];       // 72
  uint16_t usMarker;           // 76
} LumaHostDebugInfo;

#pragma pack(pop)

#ifdef __cplusplus
static_assert(sizeof(LumaFwConfig) == LUMA_FW_CONFIG_SIZE);
static_assert(offsetof(LumaFwConfig, ucNotchMapEn) == 86);
static_assert(offsetof(LumaFwConfig, usTxNum) == 112);
static_assert(offsetof(LumaFwConfig, ucRxNum) == 117);
static_assert(offsetof(LumaFwConfig, aucChannelTable1) == 120);
static_assert(offsetof(LumaFwConfig, aucChannelTable2) == 141);
static_assert(offsetof(LumaFwConfig, ucMaxPointNum) == 184);
static_assert(offsetof(LumaFwConfig, ucMaxScPeakNum) == 188);
static_assert(offsetof(LumaFwConfig, usTdWord34) == 191);
static_assert(offsetof(LumaFwConfig, usScPeakThr) == 197);
static_assert(offsetof(LumaFwConfig, usJitterLimit) == 207);
static_assert(offsetof(LumaFwConfig, usScNoTouchPeakThr) == 209);
static_assert(offsetof(LumaFwConfig, ausTdWords) == 211);
static_assert(offsetof(LumaFwConfig, aucSysParamDefaults) == 219);
static_assert(offsetof(LumaFwConfig, ucXYSwap) == 324);
static_assert(offsetof(LumaFwConfig, usMapCentreY) == 327);
static_assert(offsetof(LumaFwConfig, aulNotchX) == 329);
static_assert(offsetof(LumaFwConfig, aulNotchY) == 361);
static_assert(offsetof(LumaFwConfig, usTraceWord0) == 419);
static_assert(offsetof(LumaFwConfig, ucTraceByte2) == 433);
static_assert(offsetof(LumaFwConfig, ucPalmCorrectSize) == 457);
static_assert(offsetof(LumaFwConfig, usScNoTouchThr) == 470);
static_assert(offsetof(LumaFwConfig, usNoiseRingAThr) == 476);
static_assert(offsetof(LumaFwConfig, usNoiseRingBThr) == 478);
static_assert(sizeof(LumaFrmInfo) == 152);
static_assert(offsetof(LumaFrmInfo, usNodeNum) == 132);
static_assert(offsetof(LumaFrmInfo, usMaxX) == 138);
static_assert(offsetof(LumaFrmInfo, ucCopy145) == 145);
static_assert(sizeof(LumaFrmData) == 16064);
static_assert(offsetof(LumaFrmData, assScDiff) == 504);
static_assert(offsetof(LumaFrmData, assScBase) == 1008);
static_assert(offsetof(LumaFrmData, assScRaw) == 1512);
static_assert(offsetof(LumaFrmData, assScExtra) == 2016);
static_assert(offsetof(LumaFrmData, apssScBase) == 3456);
static_assert(offsetof(LumaFrmData, pssScDiff) == 3488);
static_assert(offsetof(LumaFrmData, assMcBackDiff) == 3496);
static_assert(offsetof(LumaFrmData, assMcDiff) == 5300);
static_assert(offsetof(LumaFrmData, assMcLastDiff) == 7104);
static_assert(offsetof(LumaFrmData, assMcBase) == 8908);
static_assert(offsetof(LumaFrmData, assMcRaw) == 10712);
static_assert(offsetof(LumaFrmData, aucFilterWork) == 12516);
static_assert(offsetof(LumaFrmData, assLineAvg) == 14952);
static_assert(offsetof(LumaFrmData, assBound) == 15034);
static_assert(offsetof(LumaFrmData, assMcRxAbsProj) == 15198);
static_assert(offsetof(LumaFrmData, assMcTxAbsProj) == 15324);
static_assert(offsetof(LumaFrmData, assMcRxProj) == 15450);
static_assert(offsetof(LumaFrmData, assMcTxProj) == 15576);
static_assert(offsetof(LumaFrmData, ssMcRxProjMax) == 15702);
static_assert(offsetof(LumaFrmData, slMcRxProjSum) == 15708);
static_assert(offsetof(LumaFrmData, pssMcRaw) == 15712);
static_assert(offsetof(LumaFrmData, pssMcDiff) == 15728);
static_assert(offsetof(LumaFrmData, usFrmFlag) == 16062);
static_assert(sizeof(LumaPeakData) == 1244);
static_assert(offsetof(LumaPeakData, aucScTxPeakList) == 52);
static_assert(offsetof(LumaPeakData, aucScTxPeakValidMap) == 45);
static_assert(offsetof(LumaPeakData, aucScTxNegPeak) == 136);
static_assert(offsetof(LumaPeakData, ucScNegPeakMul) == 178);
static_assert(offsetof(LumaPeakData, ucScPosPeakMulValidFrm) == 181);
static_assert(offsetof(LumaPeakData, ucScTxPosStrongCnt) == 184);
static_assert(offsetof(LumaPeakData, assScMin) == 190);
static_assert(offsetof(LumaPeakData, assScRxMax) == 222);
static_assert(offsetof(LumaPeakData, assScTxMax) == 230);
static_assert(offsetof(LumaPeakData, ssMcMaxDiffValidFrm) == 282);
static_assert(offsetof(LumaPeakData, aucScRxPeakList) == 94);
static_assert(offsetof(LumaPeakData, aucMcPeakPos) == 284);
static_assert(offsetof(LumaPeakData, aucMcPeakRange) == 344);
static_assert(offsetof(LumaPeakData, aucMcNegPeakPos) == 494);
static_assert(offsetof(LumaPeakData, aucMcPeakValidMap) == 554);
static_assert(offsetof(LumaPeakData, ausMcPeakAttr) == 558);
static_assert(offsetof(LumaPeakData, astMcPeakList) == 620);
static_assert(offsetof(LumaPeakData, ucMcPosPeakNum) == 1220);
static_assert(offsetof(LumaPeakData, usMcOverCnt) == 1222);
static_assert(offsetof(LumaPeakData, ssMcMaxDiff) == 1230);
static_assert(offsetof(LumaPeakData, ucMcMaxRx) == 1233);
static_assert(offsetof(LumaPeakData, ssMcMinDiff) == 1234);
static_assert(offsetof(LumaPeakData, ucMcPosPeakNumValidFrm) == 1238);
static_assert(offsetof(LumaPeakData, ucOutPeakNum) == 1239);
static_assert(offsetof(LumaPeakData, ucLastOutPeakNum) == 1240);
static_assert(offsetof(LumaPeakData, ucPeakSearchAux) == 1241);
static_assert(sizeof(LumaPoint) == 20);
static_assert(sizeof(LumaMcPeak) == 20);
static_assert(offsetof(LumaMcPeak, ulWeightSum) == 16);
static_assert(sizeof(LumaPointEvent) == 12);
static_assert(sizeof(LumaTouchData) == 952);
static_assert(offsetof(LumaTouchData, astMapPoint) == 200);
static_assert(offsetof(LumaTouchData, astStagePoint) == 400);
static_assert(offsetof(LumaTouchData, astEvent) == 600);
static_assert(offsetof(LumaTouchData, astLastOutput) == 720);
static_assert(offsetof(LumaTouchData, pstTouchAlpha) == 920);
static_assert(offsetof(LumaTouchData, pstTouchSmooth) == 928);
static_assert(offsetof(LumaTouchData, ucPointNum) == 936);
static_assert(offsetof(LumaTouchData, ucLastPointNum) == 937);
static_assert(offsetof(LumaTouchData, ucFirstTouch) == 941);
static_assert(offsetof(LumaTouchData, ucAllRelease) == 942);
static_assert(offsetof(LumaTouchData, ucTouching) == 946);
static_assert(sizeof(LumaSysParam) == 111);
static_assert(offsetof(LumaSysParam, ucChargeState) == 11);
static_assert(offsetof(LumaSysParam, ucDispDirection) == 12);
static_assert(offsetof(LumaSysParam, ucHiSampleRate) == 14);
static_assert(offsetof(LumaSysParam, ucHighSensitivity) == 15);
static_assert(offsetof(LumaSysParam, ucCameraMode) == 18);
static_assert(offsetof(LumaSysParam, ucHostPara0) == 19);
static_assert(offsetof(LumaSysParam, ucTemperature) == 23);
static_assert(offsetof(LumaSysParam, ucGameMode) == 25);
static_assert(offsetof(LumaSysParam, ucPocketPalmState) == 27);
static_assert(offsetof(LumaSysParam, ucIcIdleFlag) == 37);
static_assert(offsetof(LumaSysParam, ucFodEnable) == 79);
static_assert(offsetof(LumaSysParam, ucWaterFlag) == 80);
static_assert(sizeof(LumaTdParam) == 42);
static_assert(offsetof(LumaTdParam, usMcThr) == 4);
static_assert(offsetof(LumaTdParam, ucByte18) == 18);
static_assert(offsetof(LumaTdParam, ausWords20) == 20);
static_assert(offsetof(LumaTdParam, usJitterLimit) == 30);
static_assert(offsetof(LumaTdParam, ucByte33) == 33);
static_assert(offsetof(LumaTdParam, usWord36) == 36);
static_assert(sizeof(LumaTraceInfo) == 26);
static_assert(offsetof(LumaTraceInfo, ssMcTraceStep) == 6);
static_assert(offsetof(LumaTraceInfo, ucTracePeriod) == 8);
static_assert(offsetof(LumaTraceInfo, ssScTraceStep) == 16);
static_assert(offsetof(LumaTraceInfo, usTraceFlag) == 20);
static_assert(offsetof(LumaTraceInfo, ucRefreshReq) == 22);
static_assert(offsetof(LumaTraceInfo, ucTraceEn) == 24);
static_assert(sizeof(LumaRptPoint) == 28);
static_assert(sizeof(LumaRptPoint) * LUMA_MAX_POINTS == 280);
static_assert(sizeof(LumaRptSave) == 61);
static_assert(offsetof(LumaHostDebugInfo, slPeakDiff) == 40);
static_assert(offsetof(LumaHostDebugInfo, ullFrameTimeNs) == 56);
static_assert(offsetof(LumaHostDebugInfo, usMarker) == 76);
#endif

#ifdef __cplusplus
extern "C" {
#endif

// The configuration in force: the compiled-in one unless a replacement was loaded. Stages
// only read it.
extern LumaFwConfig g_stFwConfig;
// Replaces the configuration with a 601-byte image of the same layout (null: back to the
// compiled-in one). An image whose geometry or counts the module's records cannot hold is
// refused with -1 and the configuration in force stays. The caller initialises the module
// again afterwards.
int32_t LumaFwConfigLoad(const void *image, uint32_t length);
extern LumaFrmInfo g_stFrmInfo;
extern LumaFrmData g_stFrmData;
extern LumaPeakData g_stPeakData;
extern LumaTouchData g_stTouchData;
extern LumaSysParam g_stSysParam;
extern LumaTdParam g_stTdParam;
extern LumaTraceInfo g_stTraceInfo;
extern LumaRptPoint g_stRptInfo[LUMA_MAX_POINTS];
extern AlgTouchPoint g_stReportPoint[LUMA_MAX_POINTS];
extern AlgTouchPoint g_stReportPointBack[LUMA_MAX_POINTS];
extern LumaRptSave g_stRptSave;
extern uint8_t g_ucEventNum;
extern uint8_t g_ucEventNumBack;
extern uint16_t g_usAlgPrintfBuf[1024];
extern int16_t g_stHostEdgePara[8];
extern uint8_t g_stGameModeCfg[8];

extern uint16_t g_usFlowWorkCnt[10];
extern uint16_t g_usAlgDropFrmNum;
extern uint16_t g_usAlgVersion;
extern uint8_t g_ucBaseState;
extern uint8_t g_ucUpdataBaseCnt;
extern uint8_t g_ucBaseType;
extern uint8_t g_ucFirmVersion;
extern uint8_t g_ucTicDropFrameFlg;
extern uint8_t g_ucDropFrmReportFlg;
extern uint16_t g_usIcFrameCnt;
extern uint16_t g_usIcMsTimeLast;
extern uint16_t g_usIcMsTimeGap;
extern uint8_t g_bLcdOffState;
extern uint8_t g_ucTypingMode;
extern uint8_t g_ucHostParaUpDateFlg;
extern uint8_t g_ucScReportSel;
extern uint16_t g_usMaxPosX;
extern uint16_t g_usMaxPosY;
extern uint8_t g_ucSuspendFodEnBack;
extern uint8_t s_ucInvalidFrames;
extern uint32_t g_fod_resume_pressed;
extern uint64_t g_ullFrameTimeNs;
extern uint64_t g_ullFrameCount;

// Fingerprint-area state shared by the report packing and the fingerprint-area stage.
extern uint8_t g_bReportFingDownFlg;
extern uint8_t g_bFodReportOnePointState;
extern uint8_t g_bForceChangeIDFlg;
extern uint8_t g_ucAlgFodUpFlg;
extern uint8_t g_ucFodPointID;
extern uint8_t resume_fod_id;
extern uint8_t g_bScreenSwitchFlg;
extern uint8_t g_fod_resume_pressed_back;
extern uint8_t s_ucFodCheckEnable;
extern uint8_t g_ucDoubleModeCurPointNum;
extern uint8_t g_EdgePalmHoldCnt;

#ifdef __cplusplus
}
#endif
