#pragma once
// Coordinate optimisation of algorithm A: after pairing, each tracked point's coordinate is
// linearised and stretched near the panel edges, its motion classified, single-frame spikes
// removed, held still until it moves farther than a per-point threshold (the anchor filter),
// compensated for the jump a falling threshold would cause and smoothed over three frames.
// The point arrays are rewritten in place.
#include <cstddef>
#include <cstdint>

#include "coord_records.h"
#include "coord_smooth.h"

#pragma pack(push, 1)

// Argument record of one CoordOptimize call, built by the core's wrapper from the module
// records; the fields not named here are not read.
struct OptimizeArg {
  uint8_t ubRows;
  uint8_t ubColumns;
  uint16_t uwXRes;             // coordinates run 0 .. uwXRes - 1
  uint16_t uwYRes;
  uint8_t* pubPointState;      // leave timers: low nibble non-zero = in leave hold
  uint8_t ubMotionVeto;        // non-zero switches the motion-state rules off
  uint8_t ubCommonMode;        // heavier spike filter; vetoes the first-tip and jump rules
  uint8_t ubCommonFlag;        // with ubCommonMode 0: motion-state rules off
  uint8_t ubSpecialLimitSel;   // alternative fast-motion limit
  uint8_t ubTuneFlag;          // game tuning: first tip, game override, held area
  uint8_t ubEdgeActive;        // non-zero disables the single-touch corner rule
  uint8_t ubPairedCount;       // regions after merging in the last frame
  RegionRect* pstRects;        // region rectangle of each point
  uint8_t* pubIds;
  uint16_t uwGameHoldThreshold;
  uint8_t ubGameFlag;          // non-zero disables the game override
  uint8_t ubGameHoldFrames;
  uint8_t ubGameMoveThreshold;
  uint16_t uwZero;
  uint8_t ubForceFifty;
  uint8_t ubFloatRegion;
  uint8_t ubFloatSelf;
  uint8_t ubOutCount;          // points reported (1 = single touch)
  uint8_t ubNoiseActive;
  uint8_t ubNoiseCfgOn;
  uint8_t ubNoiseCfgAdd;
  uint16_t auwUnread[2];
  uint8_t ubWetMode;
  uint8_t ubLargeTouch;
  uint8_t ubTrackOn;           // hold not-tracked points; jump counters
  void* pvUnread;
  uint16_t* puwCoeff;          // the three smoothing coefficients
  uint8_t ubBypass;            // 1 passes the spike-filtered coordinates
  uint8_t ubRes;
  uint8_t ubJumpCompOn;
  uint16_t* puwWeight;
  uint16_t* puwX;
  uint16_t* puwY;
  uint8_t ubHoldLimit;         // hold-frame limit, in and out
  uint8_t ubJumpOut;           // jump counter after this frame
};

// gstCoordOptm. The move flag, the frames filtered and the thumb count of each point live
// in gstCoordOptmMotion (coord_smooth.h), where smoothing and edge rejection read them.
struct CoordOptm {
  uint16_t auwSmoothX[kCoordPointMax][3];  // [0] newest filtered, [1], [2] older; 65535 empty
  uint16_t auwSmoothY[kCoordPointMax][3];
  uint16_t auwHistX[kCoordPointMax][10];   // 0-4 fine history, 5-9 coarse, newest first
  uint16_t auwHistY[kCoordPointMax][10];
  uint8_t aubMoveCount[kCoordPointMax][5];  // [0] frames since the last history push
  uint16_t auwBakWeight[kCoordPointMax];
  uint16_t auwAnchorX[kCoordPointMax];     // last frame's filtered position; 65535 none
  uint16_t auwAnchorY[kCoordPointMax];
  uint8_t aubMotionState[kCoordPointMax];  // 0 off, 1 still, 2 normal, 3 fast
  uint8_t ubJumpCount;
  uint8_t ubTouchDelayCount;
  uint8_t ubSlopeNearY;
  uint8_t ubSlopeFarY;
  uint16_t auwMotionLastX[kCoordPointMax];  // 65535 none
  uint16_t auwMotionLastY[kCoordPointMax];
};

// One axis of the jump compensation.
struct JumpComp {
  uint8_t ubActive;
  uint16_t uwStep;
  uint16_t uwCurrent;
  uint16_t uwPrevAnchor;
  int16_t swVelocity;
  uint16_t uwVelocityMag;
  uint16_t uwEdgeBudget;
  uint16_t uwTravel;
  uint8_t aubRes[2];
};

struct ThumbFilter {
  uint8_t aubThumbFlag[kCoordPointMax];  // the counts are gstCoordOptmMotion.aubThumbCount
};

struct EdgeLongTouch {
  uint16_t auwX[kCoordPointMax];
  uint16_t auwY[kCoordPointMax];
  uint8_t aubState[kCoordPointMax];  // 0 idle, 1 armed, 255 cancelled
};

// The host debug record the optimisation leaves its working values in.
struct OptmTrace {
  uint16_t uwThreshold;   // 0: threshold of the point being processed
  uint8_t aubRes2[4];
  uint8_t aubEdgeMap[4];  // 6: divisor and three slopes last used
  uint8_t ubMinStepX;     // 10
  uint8_t ubMinStepY;     // 11
};
static_assert(offsetof(OptmTrace, aubEdgeMap) == 6);
static_assert(sizeof(OptmTrace) == 12);

#pragma pack(pop)

extern CoordOptm gstCoordOptm;
extern JumpComp gstJumpCompX[kCoordPointMax];
extern JumpComp gstJumpCompY[kCoordPointMax];
extern ThumbFilter gstThumbFilter;
extern EdgeLongTouch gstEdgeLongTouch;
extern RegionRect gstHeldRect[kCoordPointMax];
extern uint8_t gubReleaseCount[kCoordPointMax];
extern uint16_t guwLastThreshold[kCoordPointMax];
extern uint16_t guwMaxHoldArea[kCoordPointMax];
extern uint16_t guwOptmTipBuf[kCoordPointMax];
extern uint16_t guwFirstTipPonitX;
extern uint16_t guwFirstTipPonitY;
extern uint8_t gboOptWorkOn;
extern OptimizeArg* gpstOptimizeArg;
extern OptmTrace* gpstOptmTrace;
// The trace record the core's initialisation hands to the optimisation.
extern OptmTrace gstCoordOptmTrace;

void CoordOptimizeSetTempSizeInit();
// PUULADDR points to the address of the host debug record (0 keeps the module's own).
void CoordOptimizeInit(const uint64_t* puulAddr);
uint16_t CoordOptimize(OptimizeArg* pstArg);
// The edge map of one axis (0 X, 1 Y) over resolution R.
uint16_t CoordEdgeLinearize(uint16_t uwValue, uint16_t uwRes, uint8_t ubAxis);

uint16_t (*CoordGetSmoothBufX())[3];
uint16_t (*CoordGetSmoothBufY())[3];
uint16_t* CoordGetBakWeight();
uint8_t* CoordGetFilterCntPoint();
uint8_t* CoordGetFilterDirPoint();
uint8_t GetTouchDelayCnt();

void SetJumpCompensateFlag(uint32_t i);
uint32_t CalcPackedRectArea(RegionRect stRect);
void AddHeldRectBonus(uint8_t i);
uint8_t AccumulateWetFingerScore(uint8_t i, uint8_t ubMode);
uint16_t StepTowardTarget(uint16_t uwValue, uint16_t uwTarget, uint16_t uwStep);
void PushPositionHistory(uint16_t x, uint16_t y, uint16_t* puwHistX, uint16_t* puwHistY, uint8_t* pubCounter,
                         uint8_t ubLength, uint16_t uwDistance);
void ResetPositionHistory(uint16_t* puwHistX, uint16_t* puwHistY, uint8_t* pubCounters);
uint8_t GetOptimizePointState(uint8_t i);
void SetFingerUpFilterCount(uint8_t i, uint32_t uiValue);
void CopyWordsDescending(const uint16_t* puwSrc, uint16_t* puwDst, uint32_t n);
// Truncated integer square root, bitwise from 2^30 down.
uint32_t OptIsqrt(uint32_t v);
