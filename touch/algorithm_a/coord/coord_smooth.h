#pragma once
// First-coordinate smoothing: when a held point starts to move, or edge rejection hands a
// point over at the panel edge, its first movement is spread over a number of frames.
#include <cstddef>
#include <cstdint>

#include "coord_records.h"

#pragma pack(push, 1)
// gstFstCoordSmooth.
struct FstCoordSmooth {
  uint16_t auwLastX[kCoordPointMax];   // 0: last reported X, 65535 none
  uint16_t auwLastY[kCoordPointMax];   // 24
  uint8_t aubMode[kCoordPointMax];     // 48: 0 idle, 1 normal start, 5 early start, 2 edge start
  uint8_t aubCount[kCoordPointMax];    // 60: frames smoothed so far
  uint8_t aubMovedCopy[kCoordPointMax];  // 72: move flag as optimisation found it this frame
  uint8_t aubSpare[kCoordPointMax];    // 84
  uint8_t aubLimit[kCoordPointMax];    // 96: frames the smoothing lasts
};
static_assert(offsetof(FstCoordSmooth, aubMode) == 48);
static_assert(offsetof(FstCoordSmooth, aubLimit) == 96);
static_assert(sizeof(FstCoordSmooth) == 108);

struct FirstCoordArg {
  uint16_t* puwWeight;
  uint8_t* pubPointState;  // LeaveTouchTimer of the pairing state
  uint8_t ubEarlyFrames;   // the hold-frame byte of the coordinate common input
  uint8_t ubSkip;
  uint16_t* puwX;
  uint16_t* puwY;
};

struct EdgeSmoothArg {
  uint8_t* pubEdgeMark;
  uint8_t* pubEdgeSkip;
  uint16_t* puwX;
  uint16_t* puwY;
  uint8_t ubStartMode;  // 1 starts an edge smoothing
  uint8_t ubIndex;
  uint8_t* pubPending;  // 255 = nothing pending
};
#pragma pack(pop)

extern FstCoordSmooth gstFstCoordSmooth;

void FirstCoordSmoothPowerOnInit();
void FirstCoordSmooth(FirstCoordArg* pstArg);
void EdgeCoordSmoothSet(EdgeSmoothArg* pstArg);

// Per-point state of coordinate optimisation that the smoothing reads: the move flag (set
// when a held point leaves its hold), the frames the point has been filtered and the thumb
// count. Coordinate optimisation publishes them here; all 0 until it does (no point starts
// moving).
struct CoordOptmMotion {
  uint8_t aubMoveFlag[kCoordPointMax];
  uint8_t aubFilterCount[kCoordPointMax];
  uint8_t aubThumbCount[kCoordPointMax];
};
extern CoordOptmMotion gstCoordOptmMotion;
