// Test-only scripting entry of the scripted plug-in variant (see ferrant_script_hook_test.h).
#include "ferrant_script_hook_test.h"

#include <cstring>

#include "coord_records.h"
#include "region_proc.h"
#include "tsa_common.h"
#include "vendor_export.h"

VENDOR_EXPORT void ferx_test_script_coordinates(const FerxScriptedPoint* points, uint8_t count) {
  std::memset(gpuwNewPointX, 0, sizeof(gpuwNewPointX));
  std::memset(gpuwNewPointY, 0, sizeof(gpuwNewPointY));
  std::memset(gpuwNewWeight, 0, sizeof(gpuwNewWeight));
  uint8_t ubNum = 0;
  for (uint8_t i = 0; points != nullptr && i < count; ++i) {
    const FerxScriptedPoint& p = points[i];
    if (p.slot >= kCoordPointMax) continue;
    gpuwNewPointX[p.slot] = p.x;
    gpuwNewPointY[p.slot] = p.y;
    gpuwNewWeight[p.slot] = p.weight;
    if (p.weight != 0) ++ubNum;
  }
  gstCoordComOutput.ubPointNum = ubNum;
  gstCommon.ubPowerOnRefReady = 1;
}

extern "C" VENDOR_EXPORT const void* ferx_test_regions(uint8_t* touchMode) {
  if (touchMode != nullptr) *touchMode = gubTouchMode;
  return &gstMutualRegion;
}
