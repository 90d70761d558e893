#pragma once
// Low-temperature handling of algorithm A: the kept state record with its long countdown,
// the judgement that enters and leaves it, the residue slots where touches sat while it
// is active and the compensation of confirmed residues, the fixed-point ln/exp fits with
// the floating-finger judgement built on them, the judgement of low temperature from a
// resting touch, and the per-frame optimisation flow with its reference follow-up.
#include <cstddef>
#include <cstdint>

#include "vendor_export.h"

inline constexpr uint8_t kLowTempSlots = 5;
inline constexpr uint8_t kLowTempBackups = 10;
inline constexpr uint8_t kLowTempStateNormal = 0;
inline constexpr uint8_t kLowTempStateLow = 2;
inline constexpr uint16_t kLowTempCountdown = 24000;
inline constexpr uint16_t kLowTempWarmLimit = 1200;
inline constexpr uint8_t kLowTempSlotConfirmed = 3;
inline constexpr int16_t kLowTempNotCompensated = 32767;

#pragma pack(push, 1)
// gstLowTempNcln: kept over re-initialisation while the marker holds; the host may save
// and restore it as one image.
struct LowTempNcln {
  uint32_t uiMarker;              // 0
  uint16_t uwCountdown;           // 4 time units left in the low-temperature state
  uint8_t ubState;                // 6 0 normal, 2 low temperature
  uint8_t ubLeft;                 // 7 1 after the state was left
  uint8_t ubFrameCnt;             // 8 optimisation calls since the last reference follow-up
  uint8_t ubPrevTouchCnt;         // 9
  uint16_t uwWarmCnt;             // 10 time units of warmth before leaving
  uint8_t ubTouchLossCnt;         // 12
  uint32_t uiRawRough;            // 13 roughness measure of the raw map
  uint32_t uiRefRough;            // 17 roughness measure of the reference
  uint8_t ubRebuildCnt;           // 21
  uint8_t ubNoTouchFrames;        // 22
  uint8_t ubSuppressed;           // 23 touches suppressed in the current frame
  uint8_t ubChangeCnt;            // 24 2 after a residue slot changed, counts down per frame
  uint8_t aubTracking[36];        // 25
  uint8_t ubSpare;                // 61
  uint8_t ubHold;                 // 62 1 = warmth does not end the state
  uint8_t ubTempValid;            // 63 bit 0 of the last temperature flags
  uint8_t aubSuppressCnt[12];     // 64 per region number
};
static_assert(sizeof(LowTempNcln) == 76);
static_assert(offsetof(LowTempNcln, uwCountdown) == 4);
static_assert(offsetof(LowTempNcln, ubState) == 6);
static_assert(offsetof(LowTempNcln, uwWarmCnt) == 10);
static_assert(offsetof(LowTempNcln, uiRawRough) == 13);
static_assert(offsetof(LowTempNcln, uiRefRough) == 17);
static_assert(offsetof(LowTempNcln, ubChangeCnt) == 24);
static_assert(offsetof(LowTempNcln, aubTracking) == 25);
static_assert(offsetof(LowTempNcln, ubHold) == 62);
static_assert(offsetof(LowTempNcln, ubTempValid) == 63);
static_assert(offsetof(LowTempNcln, aubSuppressCnt) == 64);
#pragma pack(pop)

// gstLowTempRectBak: the five residue slots, arrays of five in this order.
struct LowTempRectBak {
  uint8_t aubState[kLowTempSlots];          // 0 empty, 1 new, 2 candidate, 3 confirmed
  uint8_t aubReleaseCnt[kLowTempSlots];
  uint8_t aubOverlapCnt[kLowTempSlots];
  uint8_t aubStableCnt[kLowTempSlots];
  uint8_t aubStrong[kLowTempSlots];
  uint32_t auiSaved[kLowTempSlots];         // packed rectangles
  uint32_t auiCurrent[kLowTempSlots];
  uint32_t auiPrevious[kLowTempSlots];
  uint16_t auwNodes[kLowTempSlots];
  int16_t aswPeakMax[kLowTempSlots];
  int16_t aswStrongSumMax[kLowTempSlots];
  uint16_t auwStrongCntMax[kLowTempSlots];
  uint16_t auwSpare[kLowTempSlots];
  int16_t aswTotal[kLowTempSlots];
  uint16_t auwRoughTotal[kLowTempSlots];
  uint16_t auwRoughCnt[kLowTempSlots];
  uint16_t auwTime[kLowTempSlots];
  uint16_t auwConfirmTime[kLowTempSlots];
  uint16_t auwOverlapStart[kLowTempSlots];
  uint16_t auwUpdateTime[kLowTempSlots];
  uint16_t auwCompTime[kLowTempSlots];
  uint8_t aubRestore[kLowTempSlots];
  int16_t aswCompLevel[kLowTempSlots];      // 32767 = not compensated this frame
  int16_t aswMeanHist[kLowTempSlots][6];    // newest first
  int16_t aswTotalHist[kLowTempSlots][6];
  uint16_t auwRoughHist[kLowTempSlots][6];
  int16_t aswBorderHist[kLowTempSlots][8][6];
  uint32_t auiCompRect[kLowTempSlots];      // rectangle the compensation last worked on
};

// gstLowTmpRectBak2: back-ups of released residues.
struct LowTmpRectBak2 {
  uint32_t auiRect[kLowTempBackups];
  uint32_t auiFirstRect[kLowTempBackups];
  uint8_t aubAge[kLowTempBackups];          // 0 = free
  uint16_t auwFadedTotal[kLowTempSlots];    // per slot
  uint8_t aubSpare[10];
  int16_t aswLevel[kLowTempBackups];        // 32767 = not yet measured
  uint8_t aubMinCol[kLowTempBackups];
  uint8_t aubMinRow[kLowTempBackups];
};

// gstBigPalmRecord: a large palm held off the reference.
struct BigPalmRecord {
  uint8_t ubFlagA;
  uint8_t ubFlagB;
  uint8_t ubFrameCnt;
  uint16_t uwRefCount;
  uint16_t uwRefLevel;
  uint16_t auwLevelHist[6];
  uint16_t uwLevelAtUpdate;
  uint16_t auwCountHist[6];
  uint16_t uwCountCopy;
  uint16_t uwCountSum;
  uint64_t aullRising[52];
  uint64_t aullFalling[52];
  uint32_t uiLevelSum;
};

#pragma pack(push, 1)
// gstLowTempInfo: the resting-touch tracker of the judgement by touch.
struct LowTempInfo {
  uint8_t ubFrameCnt;             // 0
  uint8_t ubFadingCnt;            // 1
  uint16_t uwHold;                // 2
  uint16_t auwPos[2];             // 4 x, y when tracking started; all ones = none
  uint32_t uiRect;                // 8
  uint16_t auwPeakHist[5];        // 12 newest first
  uint16_t uwPeakOld;             // 22 five frames ago
  uint16_t auwMeanHist[5];        // 24
  uint16_t uwMeanOld;             // 34
  uint16_t uwBestPeak;            // 36
  uint16_t uwPeakTol;             // 38 32767 = not set
  uint16_t uwMeanTol;             // 40
};
static_assert(sizeof(LowTempInfo) == 42);
static_assert(offsetof(LowTempInfo, uiRect) == 8);
static_assert(offsetof(LowTempInfo, uwPeakOld) == 22);
static_assert(offsetof(LowTempInfo, uwMeanOld) == 34);
#pragma pack(pop)

// Rectangle statistics: one call over a rectangle of up to three maps.
struct RectStatsRecord {
  const int16_t* pswDiff;         // optional
  const uint16_t* puwMapB;        // optional
  const uint16_t* puwMapC;        // optional
  uint32_t uiRect;
  int16_t swThreshold;            // for the first map
  uint16_t uwThreshold;           // for the other two
  uint8_t ubRows;
  uint8_t ubCols;
  // results
  int16_t swMax;                  // -32768 when nothing was seen
  int16_t swMin;                  // 32767 when nothing was seen
  int16_t swTotal;                // 16-bit total
  int32_t slStrongSum;            // values at or above the threshold
  uint16_t uwStrongCnt;
  uint32_t uiTotalB;
  uint16_t uwMaxB;
  uint16_t uwCntB;
  uint32_t uiStrongSumB;
  uint32_t uiTotalC;
  uint32_t uiStrongSumC;
  uint16_t uwNodes;
};

// Input of the judgement and the optimisation flow, built by the low-temperature stage.
struct LowTempInput {
  uint8_t ubRows;
  uint8_t ubCols;
  uint16_t uwRegionSize;
  uint16_t uwNodes;
  uint8_t ubTouchListLen;
  const uint32_t* puiTouchRects;   // 12 packed rectangles of the touch list
  const uint32_t* puiRegionRects;  // 12 packed rectangles of the region list
  uint16_t* puwTouchValues;        // 12, 0 = empty
  const uint8_t* pubTouchRegion;   // 12 region numbers, 255 = none
  uint8_t ubTick;
  uint8_t ubLeaveEvent1;
  uint8_t ubStateFlag;
  uint8_t ubCommonByte;
  uint8_t ubCoordFlag;
  uint8_t ubAccumulate;
  uint8_t ubLeaveEvent2;
  const uint16_t* puwRaw;
  int16_t* pswDiff;
  uint16_t* puwScratchA;
  uint16_t* puwScratchB;
  const int8_t* psbTemperature;
  int16_t swFrameMin;
  int16_t swFrameMax;
  uint64_t ullHighNoiseRows;
  uint16_t* puwRef;
  uint16_t* puwRegionWeights;      // 12, by region number
  uint16_t* puwRegionValues;       // 12, by region number
  uint8_t ubTouchCount;            // in/out
  uint8_t ubTempFlags;             // in/out
  uint8_t ubStateOut;
  uint8_t ubRefChanged;
  uint8_t ubSlotReleased;
};

// Input of the residue compensation.
struct LowTempCompInput {
  int16_t* pswDiff;
  uint8_t ubRows;
  uint8_t ubCols;
  const uint32_t* puiRegionRects;  // 12 packed rectangles; row start 255 = no region
  uint8_t ubTick;
  uint8_t ubHistEnable;
  uint16_t uwCompCnt;              // in/out
  uint8_t ubChanged;               // out
};

// Input of the judgement by touch.
struct LowTempTouchInput {
  uint8_t ubRows;
  uint8_t ubCols;
  uint8_t ubTouchCount;
  const int16_t* pswDiff;
  const uint32_t* puiRects;        // 12 packed rectangles
  const uint16_t* puwValues;       // 12, 0 = empty
  const uint16_t* puwX;            // 12 current positions, 65535 = none
  const uint16_t* puwY;
  const uint16_t* puwPrevX;        // 12 previous positions
  const uint16_t* puwPrevY;
};

// Input of the floating-finger judgement.
struct FloatingFingerInput {
  const int16_t* pswDiff;
  uint8_t ubRows;
  uint8_t ubCols;
  const uint32_t* puiRects;        // 12 packed rectangles
  uint16_t* puwValue1;             // 12 first per-point values
  const uint16_t* puwValue2;       // 12 second per-point values
  uint8_t aubStateOut[12];
  uint8_t aubEnterOut[12];
  uint8_t aubLeaveOut[12];
};

// Working data of the slots that is not part of the slot record.
struct LowTempSlotAux {
  uint8_t aubMatched[kLowTempSlots];        // matched touch, 255 = none
  uint8_t aubTouching[kLowTempSlots];       // 1: the slot's region meets another slot's touch
  uint8_t aubTouchHist[kLowTempSlots][6];
  uint16_t uwConfirmedCnt;
  uint16_t auwCentreRow[kLowTempSlots];     // quarter nodes
  uint16_t auwCentreCol[kLowTempSlots];
};

extern LowTempNcln gstLowTempNcln;
extern LowTempRectBak gstLowTempRectBak;
extern LowTmpRectBak2 gstLowTmpRectBak2;
extern BigPalmRecord gstBigPalmRecord;
extern LowTempInfo gstLowTempInfo;
extern LowTempSlotAux gstLowTempSlotAux;
extern uint8_t gubLowTempUpdate;
extern uint8_t gubRefUpdateCnt;
extern uint8_t gubLowTempPrevTouch;
extern uint16_t guwLowTempPalmCountdown;
extern uint8_t gubLowTempRebuildStreak;
extern uint8_t gubLowTempRebuildRequest;  // 13 when the optimisation asked for a rebuild

// Rectangle helpers on packed rectangles {row start, row end, column start, column end}.
struct LtRect {
  int32_t r0, r1, c0, c1;
};
inline LtRect LtUnpack(uint32_t ui) {
  return {static_cast<int32_t>(ui & 0xFF), static_cast<int32_t>((ui >> 8) & 0xFF),
          static_cast<int32_t>((ui >> 16) & 0xFF), static_cast<int32_t>(ui >> 24)};
}
inline uint32_t LtPack(const LtRect& r) {
  return static_cast<uint32_t>(r.r0 & 0xFF) | (static_cast<uint32_t>(r.r1 & 0xFF) << 8) |
         (static_cast<uint32_t>(r.c0 & 0xFF) << 16) | (static_cast<uint32_t>(r.c1 & 0xFF) << 24);
}
inline bool LtEmpty(const LtRect& r) { return r.r0 > r.r1 || r.c0 > r.c1; }
// Nodes, taken to 16 bits; 0 for an empty rectangle.
uint16_t LtArea(uint32_t uiRect);
// Nodes of A that lie inside B; 0 when A has a start beyond its end.
uint16_t RectOverlapCount(uint32_t uiA, uint32_t uiB);
bool LtInside(uint32_t uiInner, uint32_t uiOuter);
uint32_t LtGrow(uint32_t uiRect, uint8_t ubRows, uint8_t ubCols);
// f(x, y, k) of the separable quadratic bump: k (32 - |x - y|)^2 >> 10 within 31.
int32_t LtBump(int32_t slX, int32_t slY, int32_t slK);

// The low-temperature state.
void LowTempInit(uint16_t* puwMap, uint16_t uwLen);
VENDOR_EXPORT void ClearLowTempSate(void);
VENDOR_EXPORT void* GetLowTempNclnAddress(void);
VENDOR_EXPORT uint32_t GetLowTempNclnLen(void);
void LowTempJudge(LowTempInput* pstIn);
void LowTempExit();
VENDOR_EXPORT uint8_t LowTempExpandBigChangeDistance(void);
uint8_t JudgeSubRect(uint32_t uiA, uint32_t uiB);
VENDOR_EXPORT int32_t FitlnFunc(int32_t slX);
VENDOR_EXPORT int32_t FitExpFunc(int32_t slX);
int32_t GaussDiff(const int16_t* pswDiff, uint8_t ubRows, uint8_t ubCols, uint32_t uiRect);
void FloatingFingerJudge(FloatingFingerInput* pstIn);
void LowTempCompensateRect(LowTempCompInput* pstIn);
void LowTempOpt(LowTempInput* pstIn);


// The judgement by touch.
void RectStatistics(RectStatsRecord* pstRec);
void HistoryPush6(uint16_t* puwHist, uint16_t uwValue);
void JudgeLowTempByTouch(const LowTempTouchInput* pstIn);
void LowTempInfoReset();
