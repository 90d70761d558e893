#pragma once
// Noise coordinate smoothing and repeated-tap recognition: per-slot coordinate state of the
// smoothing (slots 0 to 4) and the recognition's input record.
#include <cstdint>

#include "vendor_export.h"

extern uint16_t gpuwFirstCoordX[12];  // 0xFFFF = not tracked
extern uint16_t gpuwFirstCoordY[12];
extern uint16_t gpuwLastCoordX[12];   // last output position
extern uint16_t gpuwLastCoordY[12];
extern uint16_t gpuwTouchCnt[12];     // frames tracked, saturating
extern int16_t gpswSpeedX[12];        // smoothed speed
extern int16_t gpswSpeedY[12];
extern int16_t gpswDistX[12];         // travel from the first position
extern int16_t gpswDistY[12];
extern uint8_t gpubFastMoveFlag[12];
extern uint8_t gpubSameColumFlag[12];
extern uint8_t gpubSmoothFlag[12];    // smoothing frames left

struct JitaiInput {
  const uint16_t* puwX;            // 12 point coordinates
  const uint16_t* puwY;
  const uint16_t* puwWeight;       // 0 = slot empty
  const uint8_t* pubRegionRects;   // 12 x {start a, end a, start b, end b}
  uint16_t uwExtentX;
  uint16_t uwExtentY;
  uint8_t ubPointCount;
};

VENDOR_EXPORT void FastMoveCheck(uint8_t ubSlot);
VENDOR_EXPORT void CheckSameColumSta(uint8_t ubSlot);
void JitaiModeRecongniseProc(const JitaiInput& in);
