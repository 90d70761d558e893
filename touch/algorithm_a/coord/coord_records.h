#pragma once
// Coordinate records of algorithm A: the per-slot point arrays, the coordinate common
// output and input records, the pairing state gstCoordPair kept from frame to frame, the
// finger-up weights and the fingerprint judgement record. Owned by the coordinate module;
// packed module globals of fixed size.
#include <cstddef>
#include <cstdint>

#include "coord.h"
#include "region_records.h"
#include "vendor_export.h"

inline constexpr uint8_t kCoordPointMax = 12;
inline constexpr uint16_t kCoordNoPosition = 0xFFFF;
inline constexpr uint8_t kCoordNoSlot = 255;
// Low nibble of a slot's leave timer: frames the slot is still held after its region went.
inline constexpr uint8_t kLeaveHoldMask = 0x0F;

// Point arrays, one entry per slot (1/512 node until the final transform maps them to the
// screen; weight = clipped diff sum + 1).
extern uint16_t gpuwNewPointX[kCoordPointMax];
extern uint16_t gpuwNewPointY[kCoordPointMax];
extern uint16_t gpuwNewWeight[kCoordPointMax];
extern uint16_t gpuwCur2LastAbsDis[kCoordPointMax];
extern uint16_t gpuwLast2LastLastAbsDis[kCoordPointMax];

#pragma pack(push, 1)

// gstCoordPair: pairing state, arrays indexed by slot unless noted.
struct CoordPair {
  RegionRect astLastRect[kCoordPointMax];        // 0: all 0xFF when free
  uint16_t auwLastRectMaxDiff[kCoordPointMax];   // 48: non-zero = occupied
  uint16_t auwCurRectMaxDiff[kCoordPointMax];    // 72: by region number
  uint8_t aubComplementMark[kCoordPointMax];     // 96
  uint16_t uwSlotMask;                           // 108
  uint16_t auwSlotX[kCoordPointMax];             // 110: quarter nodes
  uint16_t auwSlotY[kCoordPointMax];             // 134
  uint16_t auwPrevSlotX[kCoordPointMax];         // 158
  uint16_t auwPrevSlotY[kCoordPointMax];         // 182
  uint16_t auwDownSlotX[kCoordPointMax];         // 206
  uint16_t auwDownSlotY[kCoordPointMax];         // 230
  uint16_t auwSlotCounter[kCoordPointMax];       // 254
  uint8_t aubLeaveTouchTimer[kCoordPointMax];    // 278: high nibble report delay, low nibble hold
  uint8_t aubCoreState[kCoordPointMax];          // 290
  uint8_t aubCompanion[kCoordPointMax];          // 302
  uint8_t aubExclusion[kCoordPointMax];          // 314
  uint8_t aubOrderIndex[kCoordPointMax];         // 326: by region number, slot or 255
  uint8_t aubSlotState[kCoordPointMax];          // 338
  uint8_t ubLastPointCount;                      // 350
  uint8_t ubLastRectNum;                         // 351
  uint8_t aubSlotFlag[kCoordPointMax];           // 352
  uint8_t ubFreshStart;                          // 364
  uint8_t ubGapFlag;                             // 365
  uint8_t ubComplementByte;                      // 366
  uint8_t ubMultiRegionColumnCount;              // 367
  uint16_t uwFirstPairLimit;                     // 368: 10 when configured 0
  uint16_t uwSecondPairLimit;                    // 370: 100 when configured 0
  // Counters and flags of the pairing core, cleared at initialisation. The first four
  // fields are the close-pair (pinch) tracker.
  uint8_t ubPairCounter;                         // 372: pinch count, 0..100
  RegionRect stPinchRect;                        // 373
  uint16_t uwPinchDistance;                      // 377: running mean
  uint16_t uwPinchStartDistance;                 // 379
  uint8_t ubFloatConfirm;                        // 381
  uint8_t ubLargeCopperMark;                     // 382
  uint8_t ubLargeCopperCnt;                      // 383
  uint8_t aubCoreRes[3];                         // 384
  uint8_t ubStillTrimMark;                       // 387: trimmed lone touch still at its down point
};
static_assert(offsetof(CoordPair, auwLastRectMaxDiff) == 48);
static_assert(offsetof(CoordPair, auwCurRectMaxDiff) == 72);
static_assert(offsetof(CoordPair, uwSlotMask) == 108);
static_assert(offsetof(CoordPair, auwSlotX) == 110);
static_assert(offsetof(CoordPair, auwPrevSlotY) == 182);
static_assert(offsetof(CoordPair, auwSlotCounter) == 254);
static_assert(offsetof(CoordPair, aubLeaveTouchTimer) == 278);
static_assert(offsetof(CoordPair, aubOrderIndex) == 326);
static_assert(offsetof(CoordPair, aubSlotState) == 338);
static_assert(offsetof(CoordPair, ubLastPointCount) == 350);
static_assert(offsetof(CoordPair, ubLastRectNum) == 351);
static_assert(offsetof(CoordPair, ubFreshStart) == 364);
static_assert(offsetof(CoordPair, ubMultiRegionColumnCount) == 367);
static_assert(offsetof(CoordPair, uwFirstPairLimit) == 368);
static_assert(offsetof(CoordPair, uwSecondPairLimit) == 370);
static_assert(offsetof(CoordPair, stPinchRect) == 373);
static_assert(offsetof(CoordPair, uwPinchStartDistance) == 379);
static_assert(offsetof(CoordPair, ubStillTrimMark) == 387);
static_assert(sizeof(CoordPair) == 388);

// gstCoordComOutput.
struct CoordComOutput {
  uint16_t* puwNewPointX;           // 0
  uint16_t* puwNewPointY;           // 8
  uint16_t* puwNewWeight;           // 16
  uint16_t* puwCur2LastAbsDis;      // 24
  uint16_t* puwLast2LastLastAbsDis; // 32
  CoordPair* pstCoordPair;          // 40
  uint8_t* pubOrderIndex;           // 48: region -> slot, 255 none
  void* pvReportRecord;             // 56: the core's report record
  uint8_t ubLeaveHoldCnt;           // 64
  uint8_t ubPointNum;               // 65: points written this frame
  uint8_t ubPointNumLast;           // 66: the count before pairing ran
};
static_assert(offsetof(CoordComOutput, pvReportRecord) == 56);
static_assert(offsetof(CoordComOutput, ubLeaveHoldCnt) == 64);
static_assert(offsetof(CoordComOutput, ubPointNum) == 65);
static_assert(sizeof(CoordComOutput) == 67);

// gstCoordComInput, filled once by the coordinate common initialisation.
struct CoordComInput {
  void* pvCommon;              // 0: gstCommon
  void* pvGridSizes;           // 8: gstCommon + 62 (columns, rows)
  void* pvScreenExtents;       // 16: gstCommon + 435
  void* pvShakeCount;          // 24
  void* pvPairBytes;           // 32
  void* pvBufferPtrs;          // 40: diff map, label map, temporary buffer
  void* pvRawOutput;           // 48
  void* pvRegionOutput;        // 56: gstRegionOutput
  void* apvUnset[2];           // 64
  uint16_t uwConst256;         // 80
  uint16_t uwConst512;         // 82
  uint8_t ubMaxPointNum;       // 84: 12; hold-frame limit of the optimisation wrapper, the
                               // coordinate option level that host command 192 sets
  uint16_t uwPairCfg0;         // 85: gstCoordPairCfg bytes 0-1
  uint32_t uiPairCfg2;         // 87: gstCoordPairCfg bytes 2-5
  uint16_t uwCommonWord;       // 91
  uint16_t auwConst[4];        // 93: 2400, 40, 144, 192
  uint16_t uwJitterDistance;   // 101: 512
  uint8_t ubLeaveHoldCnt;      // 103: gstCoordPairCfg byte 6
  uint8_t ubReportDelayCode;   // 104: gstCoordPairCfg byte 7 x 16
  uint8_t ubConst36;           // 105
  uint8_t ubPairRatioLimit;    // 106: jump ratio limit pairing used in the last frame
  uint16_t uwConst7232;        // 107
  uint8_t aubConstTail[6];     // 109: 3, 5, 1, 1, 1, 0
  uint8_t aubWrapperRes[13];   // 115: screen extents, flags and ranges the wrappers keep
};
static_assert(offsetof(CoordComInput, pvRegionOutput) == 56);
static_assert(offsetof(CoordComInput, uwConst256) == 80);
static_assert(offsetof(CoordComInput, ubMaxPointNum) == 84);
static_assert(offsetof(CoordComInput, uwPairCfg0) == 85);
static_assert(offsetof(CoordComInput, uiPairCfg2) == 87);
static_assert(offsetof(CoordComInput, auwConst) == 93);
static_assert(offsetof(CoordComInput, uwJitterDistance) == 101);
static_assert(offsetof(CoordComInput, ubLeaveHoldCnt) == 103);
static_assert(offsetof(CoordComInput, ubReportDelayCode) == 104);
static_assert(offsetof(CoordComInput, uwConst7232) == 107);
static_assert(offsetof(CoordComInput, aubWrapperRes) == 115);
static_assert(sizeof(CoordComInput) == 128);

// gstFingerUpFilter: the weights of the slots' regions (pairing and region splitting leave
// them), then the lift detection of coordinate optimisation: the weights of the last two
// frames, the lift timers and marks and, per point, the lift, latest and previous
// rectangles (lift rectangle all ones = none).
struct FingerUpFilter {
  uint16_t auwWeight[kCoordPointMax];          // 0
  uint16_t auwWeightNew[kCoordPointMax];       // 24
  uint16_t auwWeightOld[kCoordPointMax];       // 48
  uint8_t aubLiftTimer[kCoordPointMax];        // 72
  uint8_t aubLiftMark[kCoordPointMax];         // 84
  RegionRect astRect[kCoordPointMax][3];       // 96: lift, latest, previous
};
static_assert(offsetof(FingerUpFilter, aubLiftTimer) == 72);
static_assert(offsetof(FingerUpFilter, astRect) == 96);
static_assert(sizeof(FingerUpFilter) == 240);

// gstFpJudge: fingerprint judgement record. The position arrays cover every point slot the
// panel can report (up to 12), not only the ten of a phone-sized panel.
struct FpJudge {
  uint16_t uwAreaXLow;                         // 0: screen units
  uint16_t uwAreaXHigh;                        // 2
  uint16_t uwAreaYLow;                         // 4
  uint16_t uwAreaYHigh;                        // 6
  uint16_t auwDownX[kCoordPointMax];           // 8: 65535 = none
  uint16_t auwDownY[kCoordPointMax];           // 32
  uint16_t auwPrevX[kCoordPointMax];           // 56
  uint16_t auwPrevY[kCoordPointMax];           // 80
  uint16_t uwCentreX;                          // 104
  uint16_t uwCentreY;                          // 106
  uint16_t uwHalfWidth;                        // 108
  uint16_t uwHalfHeight;                       // 110
  uint8_t ubState;                             // 112: 0 idle, 2 pressed
  uint8_t ubFpSlot;                            // 113: slot on the fingerprint area, 255 none
  uint16_t uwNodePitch;                        // 114
  uint16_t uwMargin;                           // 116
};
static_assert(offsetof(FpJudge, uwCentreX) == 104);
static_assert(offsetof(FpJudge, ubState) == 112);
static_assert(offsetof(FpJudge, ubFpSlot) == 113);
static_assert(sizeof(FpJudge) == 118);
inline constexpr uint8_t kFpStatePressed = 2;

// gstGesture: gesture state. The core reads the enable byte and the idle pre-judgement
// clears byte 324 when a touch sits on the fingerprint lines; the gesture module owns the
// rest of the record.
struct GestureRecord {
  uint8_t aubRes0[13];
  uint8_t ubGestureEn;                         // 13
  uint8_t aubRes14[310];
  uint8_t ubByte324;                           // 324
};
static_assert(offsetof(GestureRecord, ubGestureEn) == 13);
static_assert(offsetof(GestureRecord, ubByte324) == 324);

#pragma pack(pop)

extern GestureRecord gstGesture;
extern CoordPair gstCoordPair;
// The last frame's diff map that pairing keeps (rewritten at the end of every pairing);
// waterproof processing reads it as the previous diff.
int16_t* CoordPairPrevDiffMap();
extern CoordComOutput gstCoordComOutput;
extern CoordComInput gstCoordComInput;
extern FingerUpFilter gstFingerUpFilter;
extern FpJudge gstFpJudge;

// Pairing limits as configured (bytes 10-11 and 18-19 of the pairing section), with their
// defaults for 0.
inline constexpr uint16_t kFirstPairLimitDefault = 10;
inline constexpr uint16_t kSecondPairLimitDefault = 100;

// The pairing state as initialisation leaves it: rectangles, slot positions and the order
// index all ones, counts and timers 0, the two limits from configuration.
void CoordPairRecordInit();
// Points the output record at the point arrays and the pairing state (counts cleared, the
// point arrays zeroed and the two distance arrays all ones).
void CoordComOutputInit(void* pvReportRecord);

// Read-only accessors of the pairing state (exported for tools).
VENDOR_EXPORT uint8_t* GetCoordPairLastRectArr(void);
VENDOR_EXPORT uint16_t* GetCoordPairLastRectMaxDiffArr(void);
VENDOR_EXPORT uint16_t* GetCoordPairCurRectMaxDiffArr(void);
VENDOR_EXPORT uint8_t* GetCoordPairLeaveTouchTimerArr(void);
VENDOR_EXPORT uint8_t* GetCoordPairOrderIndexArr(void);
VENDOR_EXPORT uint8_t GetCoordPairLastRectNum(void);
VENDOR_EXPORT uint8_t GetRectTrimFlag(void);

// Pairing static of the pairing core: trim a lone region's rectangle first.
extern uint8_t gubRectTrimFlag;
