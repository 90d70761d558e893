// Module API operations on the coordinate records.
#include <cstring>

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
  gstCoordComOutput.ubPointNum = 0;
  gstCoordComOutput.ubPointNumLast = 0;
}
