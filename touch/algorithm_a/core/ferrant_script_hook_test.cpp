// Test-only scripting entry of the scripted plug-in variant (see ferrant_script_hook_test.h).
#include "ferrant_script_hook_test.h"

#include <cstring>

#include "alg_module.h"
#include "coord_records.h"
#include "region_proc.h"
#include "tsa_common.h"
#include "tsa_module.h"
#include "vendor_export.h"

namespace {

// The scripted result stands in for what the coordinate stages computed: it is written
// again right before the frame's points are packed, over whatever pairing left.
FerxScriptedPoint sastScript[kCoordPointMax];
uint8_t subScriptCount;
alg_update_diff_data_2_fn spfnPackPoints;

void ApplyScript() {
  std::memset(gpuwNewPointX, 0, sizeof(gpuwNewPointX));
  std::memset(gpuwNewPointY, 0, sizeof(gpuwNewPointY));
  std::memset(gpuwNewWeight, 0, sizeof(gpuwNewWeight));
  uint8_t ubNum = 0;
  for (uint8_t i = 0; i < subScriptCount; ++i) {
    const FerxScriptedPoint& p = sastScript[i];
    if (p.slot >= kCoordPointMax) continue;
    gpuwNewPointX[p.slot] = p.x;
    gpuwNewPointY[p.slot] = p.y;
    gpuwNewWeight[p.slot] = p.weight;
    if (p.weight != 0) ++ubNum;
  }
  gstCoordComOutput.ubPointNum = ubNum;
  gstCommon.ubPowerOnRefReady = 1;
}

int32_t ScriptedPackPoints(uint64_t ullIgnored, DecodedFrame* pstFrame) {
  ApplyScript();
  return spfnPackPoints(ullIgnored, pstFrame);
}

}  // namespace

VENDOR_EXPORT void ferx_test_script_coordinates(const FerxScriptedPoint* points, uint8_t count) {
  subScriptCount = 0;
  for (uint8_t i = 0; points != nullptr && i < count && subScriptCount < kCoordPointMax; ++i) {
    sastScript[subScriptCount++] = points[i];
  }
  ApplyScript();
  if (spfnPackPoints == nullptr && gstFerxAlgModule.update_diff_data.ferrant != nullptr) {
    spfnPackPoints = gstFerxAlgModule.update_diff_data.ferrant;
    gstFerxAlgModule.update_diff_data.ferrant = ScriptedPackPoints;
  }
}

extern "C" VENDOR_EXPORT const void* ferx_test_regions(uint8_t* touchMode) {
  if (touchMode != nullptr) *touchMode = gubTouchMode;
  return &gstMutualRegion;
}
