#pragma once
// Region records of algorithm A: the per-frame region set gstMutualRegion that carries at
// most 12 touch regions from acquisition through the filters to coordinate pairing, the
// self-capacitance peak summary, the input/output records of the region module, the record
// region acquisition is called with, and the acquisition state kept across frames (twelve
// track slots and their label map). Owned by region detection; every record is a packed
// module global of fixed size.
#include <cstddef>
#include <cstdint>

#include "coord.h"
#include "tsa_common.h"

inline constexpr uint8_t kRegionMax = 12;
inline constexpr uint32_t kRegionMaxNodes = 2912;
inline constexpr uint8_t kRegionMaxRows = 64;   // row masks are 64-bit words
inline constexpr uint8_t kRegionLabelNone = 255;

// Special rectangle words.
inline constexpr uint32_t kRegionRectNone = 0xFFFFFFFFu;   // no rectangle (before a search)
inline constexpr uint32_t kRegionRectEmptyBound = 0x00FF00FFu;  // {255, 0, 255, 0}
inline constexpr uint32_t kRegionRectCleared = 0;

#pragma pack(push, 1)

// Inclusive rectangle on the grid; compared as one little-endian word
// (bits 0-7 row start, 8-15 row end, 16-23 column start, 24-31 column end).
struct RegionRect {
  uint8_t ubRowStart;
  uint8_t ubRowEnd;
  uint8_t ubColStart;
  uint8_t ubColEnd;
};
static_assert(sizeof(RegionRect) == 4);

// gstMutualRegion: entries 0 .. ubRegionNum-1 are the regions, without gaps.
struct MutualRegionSet {
  RegionRect astRect[kRegionMax];      // 0
  uint16_t auwPeakPos[kRegionMax];     // 48: low byte peak column, high byte peak row
  uint16_t auwPeak[kRegionMax];        // 72: largest diff; 0 = no region (keep flag)
  uint16_t auwWaterValue[kRegionMax];  // 96: value of the waterproof stage
  uint16_t uwWaterWord;                // 120
  uint16_t uwSearchScore;              // 122
  uint16_t uwTouchThreshold;           // 124
  uint8_t ubPairNum;                   // 126: regions found by acquisition
  uint8_t ubRegionNum;                 // 127: valid regions, 0 to 12
};
static_assert(sizeof(MutualRegionSet) == 128);
static_assert(offsetof(MutualRegionSet, auwPeakPos) == 48);
static_assert(offsetof(MutualRegionSet, auwPeak) == 72);
static_assert(offsetof(MutualRegionSet, auwWaterValue) == 96);
static_assert(offsetof(MutualRegionSet, uwWaterWord) == 120);
static_assert(offsetof(MutualRegionSet, uwSearchScore) == 122);
static_assert(offsetof(MutualRegionSet, uwTouchThreshold) == 124);
static_assert(offsetof(MutualRegionSet, ubPairNum) == 126);
static_assert(offsetof(MutualRegionSet, ubRegionNum) == 127);

// gstSelfRegion: the self-capacitance peak count of the last frame with regions.
struct SelfRegion {
  uint8_t ubRowPeakNum;
  uint8_t ubRowPeakSpan;   // last peak - first peak + 1, 0 when none
  uint8_t ubColPeakNum;
  uint8_t ubColPeakSpan;
};
static_assert(sizeof(SelfRegion) == 4);

// gstRegionInput: set once by the region module's common initialisation.
struct RegionInput {
  void* pvCommon;          // gstCommon
  void* pvRawOutput;       // raw-data output record
  void* pvDiffOutput;      // diff-data output record
};
static_assert(sizeof(RegionInput) == 24);

// gstRegionOutput.
struct RegionOutput {
  MutualRegionSet* pstMutualRegion;  // 0
  SelfRegion* pstSelfRegion;         // 8
  uint8_t ubPairEnable;              // 16: 1 after initialisation, read by the pairing wrapper
  uint8_t ubCoordByte;               // 17: read by a coordinate-stage wrapper
  uint8_t ubRegionNum;               // 18: copy of the region count
  RegionRect stFirstRect;            // 19: copy of the first region
  uint8_t ubPassFlag;                // 23: passed on by the acquisition, floating and water wrappers
};
static_assert(sizeof(RegionOutput) == 24);
static_assert(offsetof(RegionOutput, ubPairEnable) == 16);
static_assert(offsetof(RegionOutput, ubRegionNum) == 18);
static_assert(offsetof(RegionOutput, stFirstRect) == 19);
static_assert(offsetof(RegionOutput, ubPassFlag) == 23);

// The record the acquisition wrapper builds on its stack (zeroed first) and hands to
// region acquisition once per frame.
struct RegionAcquireInput {
  uint16_t uwTouchThreshold;      // 0   in
  uint8_t ubWaterOverride;        // 2   in
  uint8_t ubCommonMode;           // 3   in
  uint8_t ubRes4;                 // 4
  uint8_t ubColNum;               // 5   in
  uint8_t ubRowNum;               // 6   in
  uint16_t uwSecondThreshold;     // 7   in
  uint8_t* pubLabelMap;           // 9   in
  int16_t* pswDiff;               // 17  in
  uint8_t ubLongThumb;            // 25  in
  int16_t* pswSelfDiff;           // 26  in: rows values, then columns values
  uint8_t* pubWorkBuf;            // 34  in
  uint8_t ubRes42;                // 42
  uint16_t uwThresholdDrop;       // 43  in
  uint8_t ubSelfEnable;           // 45  in
  uint64_t ullDiffOverRows;       // 46  in: gullDiffOverFlag
  uint8_t ubLargeMoveAllow;       // 54  in
  uint16_t uwRegionThreshold;     // 55  work
  uint8_t ubEdgeColScale;         // 57  in: 1/128, 0 = off
  uint8_t ubFloatFlag;            // 58  in
  uint8_t ubTwoPeakState;         // 59  in/out
  uint8_t ubPrevPointNum;         // 60  in
  int16_t swFrameMin;             // 61  in
  uint8_t ubRes63;                // 63
  int16_t* pswPrevDiff;           // 64  in
  void* pvCoordPair;              // 72  in: gstCoordPair
  uint16_t* puwPairLastPeak;      // 80  in: LastRectMaxDiff of gstCoordPair
  RegionRect stFloatRect;         // 88  in
  uint8_t ubPairOverride;         // 92  in
  uint8_t ubRegionOutputFlag;     // 93  in
  uint8_t ubFloatMode;            // 94  in
  uint8_t ubWeakTouchMode;        // 95  in
  uint8_t ubRes96;                // 96
  uint8_t ubStaticElecSearch;     // 97  in
  uint8_t ubRes98;                // 98
  uint8_t ubSecondSearchEn;       // 99  in
  RegionRect* pstRect;            // 100 in
  uint16_t* puwPeak;              // 108 in
  uint16_t* puwPeakPos;           // 116 in
  uint16_t* puwWaterValue;        // 124 in
  uint8_t ubRowPeakNum;           // 132 out
  uint8_t ubRowPeakSpan;          // 133 out
  uint8_t ubColPeakNum;           // 134 out
  uint8_t ubColPeakSpan;          // 135 out
  uint16_t uwSearchScore;         // 136 out
  uint8_t ubPairNum;              // 138 in/out
  uint8_t ubRegionNum;            // 139 out
  uint8_t ubThresholdScale;       // 140 work: 3 at entry
  uint8_t ubRes141;               // 141
  uint16_t uwRes142;              // 142 work
};
static_assert(sizeof(RegionAcquireInput) == 144);
static_assert(offsetof(RegionAcquireInput, uwSecondThreshold) == 7);
static_assert(offsetof(RegionAcquireInput, pubLabelMap) == 9);
static_assert(offsetof(RegionAcquireInput, ullDiffOverRows) == 46);
static_assert(offsetof(RegionAcquireInput, uwRegionThreshold) == 55);
static_assert(offsetof(RegionAcquireInput, swFrameMin) == 61);
static_assert(offsetof(RegionAcquireInput, pswPrevDiff) == 64);
static_assert(offsetof(RegionAcquireInput, stFloatRect) == 88);
static_assert(offsetof(RegionAcquireInput, ubSecondSearchEn) == 99);
static_assert(offsetof(RegionAcquireInput, pstRect) == 100);
static_assert(offsetof(RegionAcquireInput, ubRowPeakNum) == 132);
static_assert(offsetof(RegionAcquireInput, uwSearchScore) == 136);
static_assert(offsetof(RegionAcquireInput, ubRegionNum) == 139);
static_assert(offsetof(RegionAcquireInput, uwRes142) == 142);

// One region-track slot of region acquisition.
struct RegionTrackSlot {
  uint8_t ubActive;        // 0
  uint8_t ubSeedState;     // 1
  uint8_t ubFrameCnt;      // 2: 6 or more = steady
  uint8_t ubId;            // 3: own index while active, 255 when free
  uint16_t uwPeak;         // 4
  uint16_t uwTouchX;       // 6: SlotX of the pairing slot (quarter nodes)
  uint16_t uwTouchY;       // 8
  RegionRect stRect;       // 10
  RegionRect stRectCopy1;  // 14
  RegionRect stRectCopy2;  // 18
  uint16_t uwLifetime;     // 22: 0xFFFF = not counted
  uint8_t ubSlotState;     // 24: 3 = lifetime not counted
  uint8_t ubRes25;         // 25
  uint16_t uwDiffSum;      // 26
};
static_assert(sizeof(RegionTrackSlot) == 28);
static_assert(offsetof(RegionTrackSlot, uwPeak) == 4);
static_assert(offsetof(RegionTrackSlot, stRect) == 10);
static_assert(offsetof(RegionTrackSlot, uwLifetime) == 22);
static_assert(offsetof(RegionTrackSlot, uwDiffSum) == 26);

// Region acquisition state kept across frames.
struct RegionAcquireState {
  uint8_t* pubWorkBuf;                     // 0
  uint8_t* pubWorkBufTail;                 // 8: work buffer + 40
  uint16_t uwFrameCntCap;                  // 16
  uint16_t uwFrameCntPenalty;              // 18
  uint16_t uwNodeLevel;                    // 20
  uint8_t ubSteadySlotNum;                 // 22
  RegionTrackSlot astSlot[kRegionMax];     // 23
  uint8_t aubSlotLabel[kRegionMaxNodes];   // 359: owning slot per node, 255 = none
  uint8_t aubRes3271[6];                   // 3271
  uint8_t ubAcquireFlag;                   // 3277
  uint8_t ubSearchCount;                   // 3278
  uint16_t uwSearchArea;                   // 3279
  uint8_t ubPrevFloatFlag;                 // 3281
  uint8_t ubEdgeFlag;                      // 3282
  uint16_t uwMergeLevel;                   // 3283
  uint16_t uwBlockerMask;                  // 3285
};
static_assert(offsetof(RegionAcquireState, uwFrameCntCap) == 16);
static_assert(offsetof(RegionAcquireState, ubSteadySlotNum) == 22);
static_assert(offsetof(RegionAcquireState, astSlot) == 23);
static_assert(offsetof(RegionAcquireState, aubSlotLabel) == 359);
static_assert(offsetof(RegionAcquireState, ubAcquireFlag) == 3277);
static_assert(offsetof(RegionAcquireState, uwBlockerMask) == 3285);
static_assert(sizeof(RegionAcquireState) == 3287);

// Common-record fields that region detection names by role and that have no byte of their
// own in gstCommon: region detection keeps them here, module global, cleared by
// RegionCommonInit (touch enable then set to 1: touches count unless a stage turns them off).
// The roles that do have a byte in gstCommon are reached through the accessors below, so
// that the mapping is written down once:
//   columns / rows / bottom-row index   ubSenNum / ubDrvNum / ubDrvLast
//   node count                          uwNodeNum
//   diff map / self diff                stData.pswDiffData / stData.pswSelfDiffData
//   work buffer (>= 5824 + 2 x 2912)    pubTempArena (the shared temporary buffer)
//   touch threshold in force            swTouchThreshold
//   second touch level in force         uwSecondThreshold
//   default leave / touch level         uwMaskThreshold / uwThreshold2 (panel bytes 4-5 / 6-7)
//   frame maximum / minimum             swDiffMax / swDiffMin
//   float byte                          ubFloatingByte
//   water byte                          ubWaterFlag
//   waterproof state byte               ubWaterResult
//   self-enable byte                    ubSelfEnable
//   hover enable                        ubHoverInput
//   game-mode flag                      ubGameModeFlag
//   removed-region count                ubRemovedCount
//   pocket-large state                  ubLargePocket
//   time-tick count                     ubTick100ms
//   largest diff magnitude              uwAbsPeak
//   scratch rectangle (last examined)   aubWorkRect
struct RegionCommonRoles {
  uint8_t ubTouchEnable;      // 0: 0 forces the normal touch mode and stops the hover count
  uint8_t ubStateByte;        // 1: set forces the normal touch mode
  uint8_t ubCommonMode;       // 2: pre-search smoothing on, clean-up off, second search on
  uint8_t ubWaterOverride;    // 3: set ignores the waterproof stage's water flags, allows the
                              //    search threshold drop and fixes the search fractions
  uint8_t ubTwoPeak;          // 4: two-peak byte of the floating state (the judgement keeps it on)
  uint8_t ubEdgeColScale;     // 5: first/last column scale in 1/128, 0 = off
  uint8_t ubHoverSeen;        // 6: hover-seen output byte
  uint8_t ubPrevPointCount;   // 7: points reported in the previous frame
  uint8_t aubWaterFlag[2];    // 8: the waterproof stage's two water flags
  uint8_t ubRes10[2];         // 10
  uint32_t uiLastRect;        // 12: rectangle word of the last region of the frame
  uint8_t ubPocketAux;        // 16: auxiliary pocket flag (with ubLargePocket, the pocket gate)
  uint8_t ubExemptRow;        // 17: regions ending on this row are never dropped as single lines
  uint8_t ubBarFilter;        // 18: enables the bar filter
  uint8_t ubCameraHoleState;  // 19: 2 enables the camera-hole filter
  uint8_t aubGate[3];         // 20: gate flags 1-3 of the single-line filter
  uint8_t aubSkip[2];         // 23: skip flags 1-2 of the single-line filter
  uint8_t ubOlderPointCount;  // 25: the older of the two reported point counts
  uint8_t ubHighSignal;       // 26
  uint8_t ubSignalCount;      // 27
  uint8_t ubNoiseFlag;        // 28
  uint8_t ubSelfDisable;      // 29: skips the self peak counts of the shadow stage
  uint8_t ubLevelBoost;       // 30: strong signal raises the touch levels
  uint8_t ubEsdHold;          // 31: ESD hold counter
};
static_assert(sizeof(RegionCommonRoles) == 32);
static_assert(offsetof(RegionCommonRoles, uiLastRect) == 12);

#pragma pack(pop)

extern RegionCommonRoles gstRegionRoles;
// The region label map: one byte per node, the owning region's index or 255. Region
// detection owns the buffer (its size is fixed by the largest grid).
extern uint8_t gaubRegionLabelMap[kRegionMaxNodes];
// The previous frame's diff map as region detection saw it: the acquisition stage leaves
// each frame's map here at its end, for the stillness tests of the next frame.
extern int16_t gaswRegionPrevDiff[kRegionMaxNodes];

// Rectangle word conversions (the comparison form of a rectangle).
inline uint32_t RegionRectWord(const RegionRect& stRect) {
  return static_cast<uint32_t>(stRect.ubRowStart) | (static_cast<uint32_t>(stRect.ubRowEnd) << 8) |
         (static_cast<uint32_t>(stRect.ubColStart) << 16) | (static_cast<uint32_t>(stRect.ubColEnd) << 24);
}
inline RegionRect RegionRectFromWord(uint32_t uiWord) {
  return RegionRect{static_cast<uint8_t>(uiWord), static_cast<uint8_t>(uiWord >> 8),
                    static_cast<uint8_t>(uiWord >> 16), static_cast<uint8_t>(uiWord >> 24)};
}

extern MutualRegionSet gstMutualRegion;
extern SelfRegion gstSelfRegion;
extern RegionInput gstRegionInput;
extern RegionOutput gstRegionOutput;
extern RegionAcquireState gstRegionAcquireState;
extern uint32_t guiRegionAcquireWord;  // all ones after initialisation

// Track-slot configuration from the pairing configuration section (bytes 12-17): when the
// penalty word (bytes 14-15) is 0 all three take their defaults, else all as stored.
inline constexpr uint16_t kRegionFrameCntCapDefault = 50;
inline constexpr uint16_t kRegionFrameCntPenaltyDefault = 15;
inline constexpr uint16_t kRegionNodeLevelDefault = 50;
void RegionTrackCfgLoad(RegionAcquireState* pstState, const CoordPairCfg* pstCfg);
// The acquisition state as initialisation leaves it: slots all zero, every label 255,
// counters cleared, the work buffer (and its tail 40 bytes on) recorded; the module word
// set to all ones. The configuration is loaded as above.
void RegionAcquireStateInit(uint8_t* pubWorkBuf);

// Statistic over the nodes of RECT in an s16 map whose rows hold ubColNum values:
// 1 sum of values above the threshold, 2 count below, 3 count above, 4 the last row's
// maximum when every row's maximum reaches the threshold (else 0); other modes 0. An
// empty row range gives 0; node indices wrap at 16 bits.
int32_t GetRectInfoStatistic(const int16_t* pswMap, RegionRect stRect, int16_t swThreshold, int8_t scMode,
                             uint8_t ubColNum);

// Peaks of one axis of self data (ubNum channels) against the threshold: the count, and in
// *pubSpan the distance from the first to the last peak plus one (0 with none). The first
// peak needs no rise before it, every later one does. Fewer than 3 channels give 0 and 0.
uint8_t SelfRegionSearch(const int16_t* pswData, uint8_t ubNum, uint16_t uwThreshold, uint8_t* pubSpan);
