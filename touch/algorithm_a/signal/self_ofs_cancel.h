#pragma once
// Offset cancel of the self-capacitance diff (drive lines, then sense lines): each group
// loses its common offset and its shape; and the row mask of large mutual-diff steps.
#include <cstddef>
#include <cstdint>

#include "mathlib.h"

#pragma pack(push, 1)
// The caller's record for one call (byte offsets fixed; the wrapper fills it).
struct SelfDiffOffsetCancelInput {
  uint8_t ubDrvNum;         // 0 first group
  uint8_t ubSenNum;         // 1 second group
  uint16_t uwStylusTest;    // 2
  uint8_t aubRes4[2];       // 4
  uint8_t ubStylusFlag;     // 6
  uint8_t ubRes7;           // 7
  uint8_t ubMode;           // 8 0: row denoise body per group; else offset cancel with the masks
  uint8_t aubRes9[37];      // 9
  int16_t* pswSelfDiff;     // 46 drive-line values, then sense-line values; in place
  uint8_t aubRes54[8];      // 54
  uint8_t ubResult;         // 62 1: both groups had fewer than 3 free channels
  int16_t swStylusUpper;    // 63
  int16_t swStylusMargin;   // 65
};
#pragma pack(pop)
static_assert(offsetof(SelfDiffOffsetCancelInput, ubMode) == 8);
static_assert(offsetof(SelfDiffOffsetCancelInput, pswSelfDiff) == 46);
static_assert(offsetof(SelfDiffOffsetCancelInput, ubResult) == 62);
static_assert(offsetof(SelfDiffOffsetCancelInput, swStylusMargin) == 65);
static_assert(sizeof(SelfDiffOffsetCancelInput) == 67);

inline constexpr uint8_t kSelfMaxDrv = 52;
inline constexpr uint8_t kSelfMaxSen = 56;
inline constexpr uint8_t kSelfMaxLines = kSelfMaxDrv + kSelfMaxSen;
// Scratch the self cancel lays out at the start of its area (below the LCD denoise's kept
// row and column masks).
inline constexpr uint32_t kSelfOfsScratchBytes = 1280;

extern SelfDiffOffsetCancelInput* gpstDiffOfsSelfDenoise;
extern uint8_t* gpstSelfOfsCancelTemp;
extern uint8_t* gpstMutualOfsCancelTemp;
extern uint8_t gubBaseCount;
extern uint8_t gubBaseFlag;
extern int16_t gswSelfBaseShape[kSelfMaxLines];
extern int16_t gswSelfLastOutput[kSelfMaxLines];
// Per-channel masks of the two groups, 255 = free of touch; the LCD denoise derives them
// from the mutual touch masks.
extern uint8_t gubSelfTxFree[kSelfMaxDrv];
extern uint8_t gubSelfRxFree[kSelfMaxSen];
// Weight record of the linear calibration, as the weighted filter reads it.
extern WeightFilterV1V2Param gstCoeCfg;
extern uint8_t gubKflag;

void SelfDiffOffsetCancelWrapper();
void SelfDiffOffsetCancelInit(uint8_t* pubTemp);
void MutualOfsCancelTempInit(uint8_t* pubTemp);
uint32_t SelfDiffOffsetCancel(SelfDiffOffsetCancelInput* pstIn);
// Row mask of large steps: rows whose largest two-column step exceeds the threshold, widened
// by one row to each side where that row has a step of at least 9.
uint64_t ResetMaskFlag(const int16_t* pswDiff, uint8_t ubRows, uint8_t ubCols, uint16_t uwThreshold);
void CalcRowMaxDelta(const int16_t* pswMap, uint16_t* puwOut, uint8_t ubRows, uint8_t ubCols);
void ResetMaskFlagBySteps(const uint16_t* puwSteps, uint16_t uwThreshold, uint8_t ubRows, uint64_t* pullMask);
// Takes the part of VALUES (COUNT entries) that follows BASIS linearly off, the slope and
// intercept fitted over the collected pairs: PAIRS holds the free values, PAIRS + 56 their
// basis values, NPAIRS of each. Mode 1 refuses slopes of 13 or more.
void SelfLinearCalibrate(int16_t* pswValues, const int16_t* pswPairs, uint8_t ubPairs, const int16_t* pswBasis,
                         uint8_t ubCount, uint8_t ubMode);
