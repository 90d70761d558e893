// Test-only scripting entry of the scripted plug-in variant (see ferrant_script_hook_test.h).
#include "ferrant_script_hook_test.h"

#include <cstring>

#include "alg_module.h"
#include "coord_records.h"
#include "region_float.h"
#include "region_proc.h"
#include "region_water.h"
#include "tsa_common.h"
#include "tsa_module.h"
#include "tsa_state.h"
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

VENDOR_EXPORT const void* ferx_test_regions(uint8_t* touchMode) {
  if (touchMode != nullptr) *touchMode = gubTouchMode;
  return &gstMutualRegion;
}

VENDOR_EXPORT void ferx_test_script_tracking(const FerxScriptedTouch* touches, uint8_t count) {
  // Tracking compares with the pairing's limits; a test may script before the first init.
  if (gstCoordPair.uwFirstPairLimit == 0) CoordPairRecordInit();
  std::memset(gstCoordPair.auwLastRectMaxDiff, 0, sizeof(gstCoordPair.auwLastRectMaxDiff));
  std::memset(gastFloatRegionRecord, 0, sizeof(gastFloatRegionRecord));
  uint8_t ubNum = 0;
  for (uint8_t i = 0; touches != nullptr && i < count; ++i) {
    const FerxScriptedTouch& t = touches[i];
    if (t.slot >= kCoordPointMax) continue;
    const RegionRect r{t.row_start, t.row_end, t.col_start, t.col_end};
    gstCoordPair.astLastRect[t.slot] = r;
    gstCoordPair.auwLastRectMaxDiff[t.slot] = t.peak;
    const uint16_t x = static_cast<uint16_t>(2 * (t.col_start + t.col_end));
    const uint16_t y = static_cast<uint16_t>(2 * (t.row_start + t.row_end));
    gstCoordPair.auwSlotX[t.slot] = gstCoordPair.auwPrevSlotX[t.slot] = gstCoordPair.auwDownSlotX[t.slot] = x;
    gstCoordPair.auwSlotY[t.slot] = gstCoordPair.auwPrevSlotY[t.slot] = gstCoordPair.auwDownSlotY[t.slot] = y;
    if (ubNum < kFloatRecordMax) gastFloatRegionRecord[ubNum].stRect = r;
    ++ubNum;
  }
}

VENDOR_EXPORT const void* ferx_test_water() { return &gstWaterState; }
VENDOR_EXPORT const void* ferx_test_float() { return &gstFloatSelfProc; }
VENDOR_EXPORT void* ferx_test_common() { return &gstCommon; }
VENDOR_EXPORT void ferx_test_bind_clock(uint64_t (*clock)()) { TsaBindClock(clock); }
