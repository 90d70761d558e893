// Module API operations on the coordinate records.
#include <cstring>

#include "coord_optimize.h"
#include "coord_records.h"
#include "tsa_api.h"

VENDOR_EXPORT void InitAlgoVariable(void) {
  memset(gpuwNewPointX, 0, sizeof(gpuwNewPointX));
  memset(gpuwNewPointY, 0, sizeof(gpuwNewPointY));
  memset(gpuwNewWeight, 0, sizeof(gpuwNewWeight));
  // The pairing state's positions go back to "no position" with them.
  memset(gstCoordPair.auwSlotX, 0xFF, sizeof(gstCoordPair.auwSlotX));
  memset(gstCoordPair.auwSlotY, 0xFF, sizeof(gstCoordPair.auwSlotY));
  memset(gstCoordPair.auwPrevSlotX, 0xFF, sizeof(gstCoordPair.auwPrevSlotX));
  memset(gstCoordPair.auwPrevSlotY, 0xFF, sizeof(gstCoordPair.auwPrevSlotY));
  // The optimisation's per-point positions follow: no filtered, history, anchor or motion
  // position, no backed-up weight and no counted movement.
  CoordOptm& o = gstCoordOptm;
  memset(o.auwSmoothX, 0xFF, sizeof(o.auwSmoothX));
  memset(o.auwSmoothY, 0xFF, sizeof(o.auwSmoothY));
  memset(o.auwHistX, 0xFF, sizeof(o.auwHistX));
  memset(o.auwHistY, 0xFF, sizeof(o.auwHistY));
  memset(o.auwAnchorX, 0xFF, sizeof(o.auwAnchorX));
  memset(o.auwAnchorY, 0xFF, sizeof(o.auwAnchorY));
  memset(o.auwMotionLastX, 0xFF, sizeof(o.auwMotionLastX));
  memset(o.auwMotionLastY, 0xFF, sizeof(o.auwMotionLastY));
  memset(o.auwBakWeight, 0, sizeof(o.auwBakWeight));
  memset(o.aubMoveCount, 0, sizeof(o.aubMoveCount));
  memset(o.aubMotionState, 0, sizeof(o.aubMotionState));
  gstCoordComOutput.ubPointNum = 0;
  gstCoordComOutput.ubPointNumLast = 0;
}
