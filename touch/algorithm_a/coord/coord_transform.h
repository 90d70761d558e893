#pragma once
// Coordinate transform stages of algorithm A: the stretch over the active area before edge
// rejection, the final map into the screen's orientation and resolution, the coordinate
// state copy, the ESD / fast-move state and the noise-driven marking of new and held
// touches (shake counting).
#include <cstdint>

#include "vendor_export.h"

#pragma pack(push, 1)
// gstCoordNoiseProc: rewritten every frame by the shake counting.
struct CoordNoiseProc {
  uint8_t ubKindCode;  // 0, 16, 32 or 48: the report delay pairing gives newly taken slots
  uint8_t ubHoldStep;  // 0 to 3: added to the leave hold of lost points
};
#pragma pack(pop)
extern CoordNoiseProc gstCoordNoiseProc;

// Common-record roles the transform stages read that have no byte of their own in
// gstCommon. Nothing in the module sets the shake-counting inputs yet (they are the
// noise-state owner's); all are 0 after initialisation, which leaves shake counting idle.
struct CoordTransformRoles {
  uint8_t ubEsdState;        // 0, 1 (fast move seen) or 2 (ESD: strong negative frame)
  uint8_t ubMarginOverride;  // bits 0/1 Y low/high, bits 2/3 X low/high take the shared margin
  uint16_t uwSharedMargin;
  uint16_t auwSecondExtent[2];  // the second extent pair (X, Y)
  uint8_t ubShakeCountFlag;  // runs the shake counting in the pairing stage
  uint8_t ubShakeActive;     // the shake-counting block's active flag
  uint8_t aubFlag[7];        // flags A to G of the shake counting
  uint16_t uwLevelWord;
  uint8_t ubModeK;
};
extern CoordTransformRoles gstCoordTranRoles;

// Where shake counting leaves its reasons in the phone maker's debug record.
inline constexpr uint32_t kShakeDebugReasonAt = 20;
inline constexpr uint32_t kShakeDebugCounterAt = 21;
inline constexpr uint32_t kShakeDebugCountsAt = 22;

void ShakeCountTimeProc();
void CoordTransform(uint16_t* puwX, uint16_t* puwY, uint16_t* puwWeight);
void CoordTransformBeforeEdgeRes(uint16_t* puwX, uint16_t* puwY, uint16_t* puwWeight);
uint16_t CoordTailorAndZoomBeforeEdgeRes(uint8_t ubIndex, uint8_t ubAxis, const uint16_t* puwX, const uint16_t* puwY);
// One axis (0 = X, 1 = Y) of point INDEX through the final margins and output range: a
// point far outside loses its weight in the coordinate output, the fine value (ten times
// the resolution) goes to the new-point record; returns the mapped value.
VENDOR_EXPORT uint16_t CoordTailorAndZoom(uint8_t ubIndex, uint8_t ubAxis, const uint16_t* puwX, const uint16_t* puwY);
uint16_t CoordZoom(uint8_t ubIndex, uint8_t ubAxis, const uint16_t* puwX, const uint16_t* puwY);
void CoordReversal(uint8_t ubIndex, uint16_t* puwX, uint16_t* puwY, int32_t slWhich);
void CheckTouchLeaveTimer(uint8_t ubKind, uint8_t ubHold);
// The coordinate records and the whole tracking chain, as the software initialisation runs
// them.
void TrackInit();
