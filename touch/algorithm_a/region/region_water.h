#pragma once
// Waterproof records of region detection: the call record of the waterproof stage, the
// water unions (connected wet areas followed over time), the per-slot water tracks and the
// module state kept from frame to frame, with its two clearing entries.
#include <cstddef>
#include <cstdint>

#include "region_records.h"

inline constexpr uint8_t kWaterUnionMax = 50;
inline constexpr uint8_t kWaterTrackMax = 50;
inline constexpr uint8_t kWaterHistory = 20;
inline constexpr uint8_t kWaterUnionFree = 255;

#pragma pack(push, 1)

// The record the waterproof wrapper builds (zero-filled) for every call.
struct WaterproofInput {
  int16_t* pswDiff;            // 0
  uint8_t ubRowNum;            // 8
  uint8_t ubColNum;            // 9
  uint8_t ubCommonByte4;       // 10
  uint8_t ubFingerNum;         // 11: points reported in the previous frame
  int16_t swDiffMax;           // 12
  int16_t swDiffMin;           // 14
  int16_t swLevel;             // 16: compared with 20
  uint8_t ubDiffInputByte;     // 18
  int16_t* pswSelfDiff;        // 19: rows values, then columns values
  int16_t* pswSecondProfile;   // 27: laid out like the self diff
  uint8_t ubSelfCapEn;         // 35
  uint8_t ubSkip;              // 36: skips the region-level water judgement
  uint8_t ubFrameStart;        // 37: clears the self-cap enable for this call
  uint16_t uwTouchLevel;       // 38
  int16_t swLowLevel;          // 40
  uint8_t* pubMaskBuf;         // 42: at least five bytes per node
  uint8_t* pubNetWork;         // 50: the network runs only when set
  uint8_t* pubSlotIndex;       // 58: OrderIndex of the pairing
  uint16_t* puwSlotPeak;       // 66: LastRectMaxDiff
  uint16_t* puwSlotX;          // 74
  uint16_t* puwSlotY;          // 82
  void* pvCoordPair;           // 90
  uint8_t ubRegionSkip;        // 98: bypasses the wet-finger branches
  uint8_t ubCommonByte25;      // 99
  uint8_t ubCommonByte26;      // 100
  uint8_t ubPairByte;          // 101: the pairing record's last byte
  uint8_t ubSelfLineSum;       // 102: 150
  int8_t scConst;              // 103: 246 read as -10
  uint8_t ubRegionNum;         // 104: in and out
  RegionRect* pstRect;         // 105
  uint16_t* puwKeep;           // 113
  int16_t* pswPrevDiff;        // 121
  int16_t* pswDiffLastLast;    // 129
  uint8_t* pubLabelMap;        // 137
  uint8_t ubWaterState;        // 145: in the common water byte, out WaterLargeSta
  uint16_t* puwRegionArrayB;   // 146: waterproof values
  uint16_t* puwRegionArrayA;   // 154: peak positions
  uint8_t ubUnionFlag;         // 162 out
  uint8_t ubMoveFlag;          // 163 out
  uint8_t ubRes164;            // 164
  uint8_t ubAnyWater;          // 165 out
  RegionRect* pstRemoved;      // 166 out: gstWaterDelRect
};
static_assert(offsetof(WaterproofInput, pswSelfDiff) == 19);
static_assert(offsetof(WaterproofInput, pubMaskBuf) == 42);
static_assert(offsetof(WaterproofInput, ubRegionSkip) == 98);
static_assert(offsetof(WaterproofInput, ubRegionNum) == 104);
static_assert(offsetof(WaterproofInput, ubWaterState) == 145);
static_assert(offsetof(WaterproofInput, ubUnionFlag) == 162);
static_assert(offsetof(WaterproofInput, pstRemoved) == 166);
static_assert(sizeof(WaterproofInput) == 174);

// One water union; free when its label is 255 (a freed entry is zero but for the label).
struct WaterUnion {
  uint8_t label;            // 0: component label 1-63, 255 free
  uint8_t aubSet[4];        // 1: set together by waterproof processing
  RegionRect innerRect;     // 5
  uint8_t updated;          // 9
  uint16_t age;             // 10: 65535 stops the following
  uint16_t armCount;        // 12
  uint8_t wetMark;          // 14
  uint8_t confirmMark;      // 15
  uint8_t slot;             // 16: pairing slot, 255 none
  uint8_t carryMark;        // 17
  uint8_t rearmMark;        // 18
  uint8_t dropFlag;         // 19
  uint8_t dropFlagPrev;     // 20
  uint8_t riseFlag;         // 21
  uint8_t negGrowFlag;      // 22
  uint8_t steadyFlag;       // 23
  uint8_t armed;            // 24
  uint8_t ubRes25;          // 25
  uint16_t strongCount;     // 26: nodes with diff >= 25
  uint16_t nodeCount;       // 28
  uint16_t uwRes30;         // 30
  int32_t posSum;           // 32
  int32_t negSum;           // 36: never positive
  int32_t posSumPrev;       // 40
  int32_t changeSum;        // 44
  uint16_t posSumStart;     // 48
  uint16_t startValue;      // 50
  int16_t ratio;            // 52: posSum x 10 / |negSum|, 1000 when negSum is 0
  RegionRect rect;          // 54
  RegionRect strongRect;    // 58
  uint16_t lastX;           // 62: quarter nodes
  uint16_t lastY;           // 64
  uint16_t centreX;         // 66
  uint16_t centreY;         // 68
  uint16_t moveCount;       // 70
  uint16_t strongCountStart;  // 72
  uint16_t strongCountHigh;   // 74
  uint16_t growCount;       // 76
  uint8_t startWidth;       // 78
  uint8_t startHeight;      // 79
  uint8_t maxWidth;         // 80
  uint8_t maxHeight;        // 81
  uint16_t extentGrowCount; // 82
  uint8_t strongWidth;      // 84
  uint8_t strongHeight;     // 85
  uint16_t shrinkCount;     // 86
  uint16_t negDomCount;     // 88: 0-100
  int16_t holdCount;        // 90: at most 500, -1 stops it
  int16_t edgeCount;        // 92
  uint16_t peakPrev;        // 94
  uint16_t peak;            // 96
  uint16_t riseCount;       // 98
  uint8_t regionCount;      // 100
  uint8_t splitMark;        // 101
  uint8_t aubRes102[2];     // 102
};
static_assert(offsetof(WaterUnion, posSum) == 32);
static_assert(offsetof(WaterUnion, rect) == 54);
static_assert(offsetof(WaterUnion, holdCount) == 90);
static_assert(sizeof(WaterUnion) == 104);

// Water track of one pairing slot: four histories, entry 0 the newest.
struct WaterSlotTrack {
  uint8_t ubState;                       // 0: 200 = followed by the check mode
  uint8_t aubRes1[3];                    // 1
  RegionRect astRect[kWaterHistory];     // 4
  int32_t asiPresence[kWaterHistory];    // 84: the first zero ends the filled part
  uint16_t auwX[kWaterHistory];          // 164
  uint16_t auwY[kWaterHistory];          // 204
};
static_assert(sizeof(WaterSlotTrack) == 244);

// State of the waterproof module kept from frame to frame.
struct WaterModuleState {
  uint8_t gboDlWaterSta;
  uint8_t gboCurRunDl;
  uint8_t gubTryDlCount;
  uint8_t WaterLargeHold;
  uint8_t WaterHoldFive;
  uint8_t WaterCalmCnt;
  uint8_t WaterWetCnt;
  uint8_t WaterWetLevel;
  uint8_t WaterSelfCnt;
  uint8_t WaterPairIdxA;
  uint8_t WaterPairIdxB;
  uint8_t WaterPairMarkA;
  uint8_t WaterPairMarkB;
  uint8_t WaterPairAge;
  uint8_t WaterGuardOn;
  RegionRect WaterGuardRect;
  uint8_t WaterCheckScore;
  uint8_t WaterCheckStep;
  uint8_t WaterCheckTimer;
  uint16_t WaterPosCount;
  uint16_t WaterNegCount;
  uint8_t WaterUnionCount;
  uint8_t WaterStrongUnionCount;
  uint8_t WaterLastRegionCnt;
  uint16_t WaterSelfRowSum;
  uint16_t WaterSelfColSum;
  uint32_t WaterSelfSumPrev;
  uint8_t WaterSelfRowAny;
  uint8_t WaterSelfColAny;
  uint8_t WaterAllEdge;
  WaterSlotTrack astSlotTrack[kWaterTrackMax];  // WaterSlotTrack
  uint8_t WaterMarkMap[kRegionMaxNodes];
  uint8_t WaterAuxMap[kRegionMaxNodes];
  int16_t WaterDiffSnap[kRegionMaxNodes];
  int16_t WaterBaseDiff[kRegionMaxNodes];
  // State flags.
  uint8_t WaterRectRemoved;
  uint8_t WaterEntrySeen;
  uint8_t WaterUnionFlag;
  uint8_t WaterCheckMode;
  uint8_t WaterMoveFlag;
  uint8_t WaterTouchGate;
  uint8_t WaterNetRegion;
  uint8_t WaterPairTrack;
  uint8_t ubScratch;  // cleared every call
  uint8_t WaterLargeSta;
  uint8_t WaterSelfHigh;
  uint8_t WaterRemovePending;
  uint8_t WaterSelfStrong;
  uint8_t WaterGrowFlag;
  uint8_t ubGrowFlagNext;  // cleared with WaterGrowFlag
  // Finger counters.
  uint8_t WaterZeroFingerCnt;
  uint8_t WaterOneFingerCnt;
  uint8_t WaterManyFingerCnt;
  uint8_t WaterFingerSum;
  uint8_t WaterRegionMark[kRegionMax];
  // 1 once waterproof processing has laid the union table out (every entry free or live);
  // before that the zeroed table would read as fifty live unions of label 0.
  uint8_t ubUnionTableValid;
  WaterUnion astUnion[kWaterUnionMax];  // the WaterUnion table
  RegionRect gstWaterDelRect[kRegionMax];
  RegionRect WaterPairRectA;
  RegionRect WaterPairRectB;
  // The network's recurrent state and input planes live beside this record, aligned for
  // the engine (see the network step).
};

#pragma pack(pop)

extern WaterModuleState gstWaterState;

// Statistics of a rectangle and the ring of nodes around it.
struct RectDiffStats {
  int16_t negCount;    // ring and rectangle nodes below -25
  int16_t posCount;    // rectangle nodes of 26 or more
  int16_t negSum;
  int16_t posSum;
  int16_t meanSum;     // five-point means of the strong nodes
  int16_t totalSum;    // every node of the rectangle
  int16_t clippedSum;  // five-point means with strong neighbours clipped
};

// What the removal of water points reads and writes; filled by coordinate pairing. The
// rectangle arrays hold one rectangle per point (12) and per slot index that slotIndex
// names.
struct RemoveWaterArg {
  uint8_t ubRows;
  uint8_t ubColumns;
  uint8_t ubMinFingers;         // points reported in the last frame
  const int16_t* pswPointMap;
  const int16_t* pswSlotMap;
  const RegionRect* pstSlotRects;
  const RegionRect* pstPointRects;
  const uint16_t* puwPointX;    // quarter nodes
  const uint16_t* puwPointY;
  const uint8_t* pubSlotIndex;  // 255 = none
  uint8_t ubSkipAll;
  uint8_t ubNoSingleNode;
  uint16_t* puwWeight;          // 0 = no point; a removed point's weight becomes 0
};

// The water questions of the coordinate stages. JudgeDropWetFinger reads 0 as no water,
// 1 as a weak hit and larger values (up to 100) as a score.
uint8_t JudgeDropWetFinger(RegionRect stRect, uint8_t ubMode);
uint8_t JudgeInSameUnion(RegionRect stA, RegionRect stB);
uint8_t JudgeWetSmoothState();
uint8_t JudgeWaterTouchDelay();
// Drops the points that are only water and returns how many it dropped.
uint8_t RemoveWaterRect(RemoveWaterArg* pstArg);
void CalcRectDiffStats(const int16_t* pswMap, RegionRect stRect, uint8_t ubColumns, uint8_t ubRows,
                       RectDiffStats* pstOut);

// Clears the module state for a fresh start, the finger counters included. The map
// argument is the common record's previous-diff map; it is not written: it belongs to the
// frame pipeline, and clearing the water state must not touch another stage's data.
void WaterInit(const int16_t* pswPrevDiff);
// Clears the module state when waterproof processing is off for a frame; the finger
// counters are kept.
void WaterproofReset();
