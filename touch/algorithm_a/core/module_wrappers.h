#pragma once
// The module wrappers: each builds its callee's input record from the module records, calls
// it once and copies the results back into the module records and the debug record.
#include <cstddef>
#include <cstdint>

#include "vendor_export.h"

#pragma pack(push, 1)
// Debug record the wrappers fill frame by frame; the report copies it whole.
struct SelkoAlgoDebugInfo {
  uint8_t aubPairSummary[12];       // 0   region pairing summary after acquisition
  uint8_t ubFloatPreJudge;          // 12
  uint8_t ubWaterRemoved;           // 13  regions removed by water processing
  uint8_t aubWaterRemovedRects[48]; // 14  4 bytes each, at most 12
  uint8_t aubLcdDebug1[416];        // 62
  uint8_t aubLcdDebug2[208];        // 478
  uint8_t aubRefResidual[31];       // 686 first bytes of the residue record
  uint8_t aubAgeing[14];            // 717
  uint8_t aubRefHop[15];            // 731
  uint8_t aubRefModuleHead[4];      // 746 first word of the reference-update module record
  uint8_t ubLowTempJudge;           // 750
  uint8_t aubLowTempRects[155];     // 751 only when the judgement is 2
  uint8_t aubPairSummaryAfter[12];  // 906 after pairing
  uint8_t aubPairState[3];          // 918
  uint8_t aubPairRects[48];         // 921 the 12 paired region rectangles
  uint8_t ubWaterByte;              // 969
  uint8_t aubWaterWord[2];          // 970
  uint8_t ubWaterResult;            // 972
};
#pragma pack(pop)
inline constexpr uint32_t kSelkoAlgoDebugBytes = 973;
static_assert(sizeof(SelkoAlgoDebugInfo) == kSelkoAlgoDebugBytes);
static_assert(offsetof(SelkoAlgoDebugInfo, ubFloatPreJudge) == 12);
static_assert(offsetof(SelkoAlgoDebugInfo, ubWaterRemoved) == 13);
static_assert(offsetof(SelkoAlgoDebugInfo, aubWaterRemovedRects) == 14);
static_assert(offsetof(SelkoAlgoDebugInfo, aubLcdDebug1) == 62);
static_assert(offsetof(SelkoAlgoDebugInfo, aubLcdDebug2) == 478);
static_assert(offsetof(SelkoAlgoDebugInfo, aubRefResidual) == 686);
static_assert(offsetof(SelkoAlgoDebugInfo, aubAgeing) == 717);
static_assert(offsetof(SelkoAlgoDebugInfo, aubRefHop) == 731);
static_assert(offsetof(SelkoAlgoDebugInfo, aubRefModuleHead) == 746);
static_assert(offsetof(SelkoAlgoDebugInfo, ubLowTempJudge) == 750);
static_assert(offsetof(SelkoAlgoDebugInfo, aubLowTempRects) == 751);
static_assert(offsetof(SelkoAlgoDebugInfo, aubPairSummaryAfter) == 906);
static_assert(offsetof(SelkoAlgoDebugInfo, aubPairState) == 918);
static_assert(offsetof(SelkoAlgoDebugInfo, aubPairRects) == 921);
static_assert(offsetof(SelkoAlgoDebugInfo, ubWaterByte) == 969);
static_assert(offsetof(SelkoAlgoDebugInfo, aubWaterWord) == 970);
static_assert(offsetof(SelkoAlgoDebugInfo, ubWaterResult) == 972);

extern SelkoAlgoDebugInfo gstSelkoAlgoDebugInfo;

// gpuwRefUpdateTypeBak, as u16 slots.
inline constexpr uint32_t kRefTypeBakPowerOn = 0;
inline constexpr uint32_t kRefTypeBakMutual = 1;
inline constexpr uint32_t kRefTypeBakLowTemp = 2;
inline constexpr uint32_t kRefTypeBakAgeing = 3;
// The reference backup is copied on this many calls even without a rebuild.
inline constexpr uint16_t kRefBackupEveryCalls = 200;

// Game-mode filter values of the coordinate optimisation, picked by three-bit fields of
// the game-mode word (the tables and their bounded lookups are in tsa_common.h).
struct GameModeFilter {
  uint16_t uwFirst;
  uint8_t ubNormal;
};
GameModeFilter GameModeFilterInputs(uint16_t uwGameMode);

VENDOR_EXPORT uint32_t GetSelkoAlgoDebugInfo(void* pvOut);
VENDOR_EXPORT uint32_t GetAlgorithmVersion(void);
VENDOR_EXPORT uint8_t Tick100MsDecreaseU8(uint8_t ubA, uint8_t ubB);
VENDOR_EXPORT uint32_t GetAbsoluteDisOf2Rect(const uint8_t* pubR1, const uint8_t* pubR2);

void GetPanelPowerOnRefEntranceWrapper();
void RefUpdatePanelMutualWrapper();
void RefUpdateTRxWrapper();
void RefUpdateTRxInitWrapper();
void MutualRawDataIirFilterWrapper();
void SelfRawDataIirFilterWrapper();
void MutualRawDataGaussianFilterWrapper();
void SelfRawDataGaussianFilterWrapper();
// Low-temperature and quick reference update wrappers.
void LowTempInitWrapper();
void LowTempOptWrapper();
void LowTempCompensateRectWrapper();
void JudgeLowTempByTouchWrapper();
VENDOR_EXPORT void QuickRefUpdateWrapper(void);
VENDOR_EXPORT void QuickRefUpInitWrapper(void);
// Calls of the mutual wrapper so far (the backup cadence).
uint16_t RefUpdateWrapperCalls();
// Starts first-coordinate smoothing for a point that edge rejection releases, from the
// point's first position, unless it is released already.
VENDOR_EXPORT void EdgeCoordSmoothSetWrapper(uint8_t ubPoint);

// Coordinate optimisation: fills OptimizeArg from the module records, runs it and writes
// the hold-frame limit and the jump counter back; returns the coefficient sum.
uint16_t CoordOptimizeWrapper();
// Hands the optimisation the debug record it leaves its working values in.
void CoordOptimizeInitEncapsulationWrapper();
// First-coordinate smoothing over the coordinate output, not skipped.
VENDOR_EXPORT void FirstCoordSmoothWrapper();
// Large-area check: fills LargeAreaInput from the common record, the region record and the
// panel configuration, runs it, and writes the large-area flag, its held state, the oversize
// byte and the frame's total node count back.
void RegionLargeAreaProcWrapper();

// Floating-finger judgement: builds its input from the common record, the region set, the
// pairing record and the floating state, runs it, and keeps the counter, flags and main
// rectangle; the collapse flag goes to the region output and debug byte 12. Returns it.
uint8_t RegionFloatPreJudgeWrapper();
// Floating region combination over the region set (no stage calls it); returns the count.
VENDOR_EXPORT uint8_t RegionFloatCombineWrapper();
