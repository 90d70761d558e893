// Position mapping: centroids cannot reach the outermost pixels, because the outermost
// node centres lie inside the display, so a zone at each end of each axis is stretched to
// let a touch on the border report a position on the border. Also the end of the point
// stages: the touch flags of the frame and the copy the result output reads.
#include <algorithm>
#include <cstring>

#include "luma_core.h"

namespace {

struct Axis {
  uint32_t range;
  uint32_t centre;
  uint32_t low_zone;
  uint32_t high_zone;
  uint32_t low_factor;
  uint32_t high_factor;
  uint32_t low_slope;
  uint32_t high_slope;
};

// The parameter words sit at odd positions of the packed configuration.
Axis AxisOf(const void *group) {
  uint32_t w[8];
  std::memcpy(w, group, sizeof(w));
  return {w[0], w[1], w[2], w[3], w[4], w[5], w[6], w[7]};
}

uint16_t Stretch(const Axis &a, uint32_t v, bool beyond_is_zero) {
  if (g_stFwConfig.ucNotchMapEn == 0) return static_cast<uint16_t>(v);
  if (beyond_is_zero && v > a.range - 1) return 0;
  if (v < a.low_zone) {
    const uint32_t pull = std::min(((a.low_zone - v) * a.low_factor) >> 8, a.low_zone - 1);
    return static_cast<uint16_t>(a.low_zone - 1 - pull);
  }
  const uint32_t high_start = a.range - 1 - a.high_zone;
  if (v <= high_start) return static_cast<uint16_t>(v);
  const uint32_t push = std::min(((v - high_start) * a.high_factor) >> 8, a.high_zone - 1);
  return static_cast<uint16_t>(a.range - a.high_zone + push);
}

// Internal units (1024 per line pitch, largest value m) to display units: both ends
// stretched over their zones, the middle scaled about the internal centre c.
uint16_t Internal(const Axis &a, int32_t v, int32_t m, int32_t c) {
  if (g_stFwConfig.ucNotchMapEn == 0) return static_cast<uint16_t>(v);
  const auto z0 = static_cast<int32_t>(a.low_zone);
  const auto z1 = static_cast<int32_t>(a.high_zone);
  const auto r = static_cast<int32_t>(a.range);
  if (v <= 1023) return static_cast<uint16_t>(std::max<int64_t>(0, z0 - ((int64_t{a.low_factor} * (1023 - v)) >> 8)));
  if (v > m - 511) return 0;
  if (v >= m - 1023) {
    return static_cast<uint16_t>(r - z1 + std::min<int64_t>((int64_t{a.high_factor} * (v - (m - 1023))) >> 8, z1 - 1));
  }
  int64_t out = v >= c ? int64_t{a.centre} + ((int64_t{a.high_slope} * (v - c)) >> 8)
                       : int64_t{a.centre} - 1 - ((int64_t{a.low_slope} * (c - 1 - v)) >> 8);
  out = std::clamp<int64_t>(out, z0, std::max(z0, r - z1));
  return static_cast<uint16_t>(out);
}

}  // namespace

extern "C" {

uint16_t XMapping(uint16_t x) {
  return Internal(AxisOf(&g_stFwConfig.aulNotchX), x, g_stFrmInfo.usMaxX, g_stFwConfig.usMapCentreX);
}

uint16_t YMapping(uint16_t y) {
  return Internal(AxisOf(&g_stFwConfig.aulNotchY), y, g_stFrmInfo.usMaxY, g_stFwConfig.usMapCentreY);
}


uint16_t XMappingNotch(uint16_t x) { return Stretch(AxisOf(&g_stFwConfig.aulNotchX), x, false); }

uint16_t YMappingNotch(uint16_t y) { return Stretch(AxisOf(&g_stFwConfig.aulNotchY), y, true); }

void AppPosPreMapping(void) {
  const uint8_t count = std::min<uint8_t>(g_stTouchData.ucPointNum, LUMA_MAX_POINTS);
  for (uint8_t k = 0; k < count; ++k) {
    LumaPoint &p = g_stTouchData.astPoint[k];
    p.x = XMappingNotch(static_cast<uint16_t>(p.x));
    p.y = YMappingNotch(static_cast<uint16_t>(p.y));
  }
}

void AppPosMapping(void) {
  LumaTouchData &t = g_stTouchData;
  if (t.ucPointNum != 0) {
    t.ucTouching = 1;
    if (t.ucLastPointNum == 0) t.ucFirstTouch = 1;
  } else {
    t.ucTouching = 0;
    if (t.ucLastPointNum != 0) {
      t.ucTouchFlag945 = 0;
      t.ucAllRelease = 1;
    }
  }
  const uint8_t most = std::min<uint8_t>(g_stFwConfig.ucMaxPointNum, LUMA_MAX_POINTS);
  std::memcpy(t.astMapPoint, t.astPoint, sizeof(LumaPoint) * most);
}

}  // extern "C"
