// Landscape grip: a hand holding the phone sideways lays several regions along one long
// edge; while such a grip is seen, a hold counter of edge rejection stays at 20 frames.
#include <cstring>

#include "region_proc.h"

EdgeGripState gstEdgeGrip;

namespace {

constexpr uint8_t kGripHold = 20;
constexpr uint32_t kGripMinArea = 25;
constexpr uint32_t kGripMinSpan = 10;

void CountDown(uint8_t& v) {
  if (v != 0) --v;
}

}  // namespace

void LandscapeHandleJudge() {
  EdgeGripState& e = gstEdgeGrip;
  const RegionCommonRoles& k = gstRegionRoles;
  if (k.aubSkip[0] != 0 || k.aubSkip[1] != 0 || e.ubLevel == 0) {
    e.ubHoldA = 0;
    e.ubHoldB = 0;
    return;
  }
  const uint8_t n = gstMutualRegion.ubRegionNum > kRegionMax ? kRegionMax : gstMutualRegion.ubRegionNum;
  uint8_t T = 0;
  uint8_t K = 0;
  for (uint8_t i = 0; i < n; ++i) {
    const RegionRect r = gstMutualRegion.astRect[i];
    memcpy(gstCommon.aubWorkRect, &r, sizeof(r));
    T = static_cast<uint8_t>(T + (r.ubRowStart == 0));
    K = static_cast<uint8_t>(K + (r.ubRowEnd == k.ubExemptRow));
  }
  // Area and column span of the regions along one edge.
  auto measure = [&](bool boBottom, uint32_t& area, uint32_t& span) {
    uint8_t lo = gstCommon.ubSenLast;
    uint8_t hi = 0;
    area = 0;
    for (uint8_t i = 0; i < n; ++i) {
      const RegionRect r = gstMutualRegion.astRect[i];
      if (boBottom ? r.ubRowEnd != k.ubExemptRow : r.ubRowStart != 0) continue;
      const uint32_t h = boBottom ? static_cast<uint32_t>(k.ubExemptRow - r.ubRowStart + 1) : r.ubRowEnd + 1u;
      area += h * static_cast<uint32_t>(r.ubColEnd - r.ubColStart + 1);
      if (r.ubColStart < lo) lo = r.ubColStart;
      if (r.ubColEnd > hi) hi = r.ubColEnd;
    }
    span = static_cast<uint8_t>(hi - lo + 1);
  };
  uint32_t area = 0;
  uint32_t span = 0;
  bool boBottom = false;
  bool boMeasured = false;
  if (n != 0 && K >= 2) {
    measure(true, area, span);
    boBottom = boMeasured = true;
  } else if (n != 0 && T >= 2) {
    measure(false, area, span);
    boMeasured = true;
  }
  if (boMeasured && area >= kGripMinArea) {
    if (e.ubLevel == 1 && boBottom && span >= kGripMinSpan) {
      e.ubHoldB = kGripHold;
    } else {
      CountDown(e.ubHoldB);
      if (e.ubLevel == 2 && !boBottom && span >= kGripMinSpan) {
        e.ubHoldA = kGripHold;
        return;
      }
    }
  } else {
    CountDown(e.ubHoldB);
  }
  CountDown(e.ubHoldA);
}
