// Default point interpolation: quadratic interpolation along the last three reported
// positions of each touch id, with a per-touch weight that grows during fast straight
// movement when reports run at twice the scan rate.
#include "report/point_interpolation.h"

#include <math.h>
#include <stdlib.h>
#include <string.h>

#include "core/hal_core.h"

__attribute__((visibility("default"))) report_point_history_t report_point_history;

namespace {

struct Vec {
  int64_t x;
  int64_t y;
};

struct EngineState {
  int32_t divisor = 0;
  bool enabled = false;
  bool doubleRate = false;
  bool follow = false;
  uint16_t phase = 0;  // interpolate calls since the last record call
  int32_t run = 0;     // 0..HAL_INTERP_RUN_MAX
};

EngineState g_engine;

constexpr int32_t kDampingSpeed = 21;       // other-axis step below which damping applies
constexpr int32_t kFastStep = 121;          // step length of a fast movement
constexpr int32_t kStillRadius = 38;        // step distance counting as "near touch-down"
constexpr float kWeightStep = 0.2f;
constexpr float kWeightMax = 0.6f;

int ringIndex(int32_t count, int back) { return ((count - 1 - back) % HAL_INTERP_RING + HAL_INTERP_RING) % HAL_INTERP_RING; }

int32_t clampToInt(double v) {
  if (v >= static_cast<double>(INT32_MAX)) return INT32_MAX;
  if (v <= static_cast<double>(INT32_MIN)) return INT32_MIN;
  return static_cast<int32_t>(v);
}

int64_t isqrt(int64_t v) {
  if (v <= 0) return 0;
  int64_t r = static_cast<int64_t>(sqrt(static_cast<double>(v)));
  while (r * r > v) --r;
  while ((r + 1) * (r + 1) <= v) ++r;
  return r;
}

Vec stepOf(const AlgTouchPoint &newer, const AlgTouchPoint &older, int32_t divisor) {
  if (divisor == 0) return {0, 0};
  return {(static_cast<int64_t>(newer.x) - older.x) / divisor, (static_cast<int64_t>(newer.y) - older.y) / divisor};
}

void interpInit(int32_t divisor) {
  memset(&report_point_history, 0, sizeof report_point_history);
  g_engine = EngineState{};
  g_engine.divisor = divisor;
}

void interpRateChange(uint16_t oldRate, uint16_t newRate, uint32_t flag) {
  if (flag & 1u) {
    g_engine.follow = true;
    return;
  }
  g_engine.follow = false;
  int32_t a = oldRate;
  int32_t b = newRate;
  if (7 * a / 4 < b && b < 9 * a / 4) {
    g_engine.doubleRate = true;
  } else if (a == b) {
    g_engine.doubleRate = false;
  }
}

void interpEnable(int32_t rate) { g_engine.enabled = rate >= 56 && rate <= 74; }

int32_t interpRecord(const AlgTouchPoint *points, int32_t count, uint64_t time) {
  report_point_history_t &h = report_point_history;
  g_engine.phase = 0;
  if (count <= 0 || points == nullptr) {
    memset(h.count, 0, sizeof h.count);
    memset(h.weight, 0, sizeof h.weight);
    memset(h.down_x, 0, sizeof h.down_x);
    memset(h.down_y, 0, sizeof h.down_y);
    h.present = 0;
    return 0;
  }
  bool advanced[HAL_INTERP_IDS] = {};
  for (int32_t k = 0; k < count; ++k) {
    const AlgTouchPoint &p = points[k];
    if (p.id < 0 || p.id >= HAL_INTERP_IDS) {
      HAL_LOG_AS(HAL_LOG_ERROR, "record_points", "point id %d out of range 0..%d, drop it", p.id, HAL_INTERP_IDS - 1);
      continue;
    }
    int i = p.id;
    if (p.action == ALG_TOUCH_ACTION_UP && h.count[i] == 0) continue;
    if (p.action == ALG_TOUCH_ACTION_DOWN) {
      h.weight[i] = 1.0f;
      h.down_x[i] = p.x;
      h.down_y[i] = p.y;
    }
    if (!advanced[i]) {
      h.count[i] = h.count[i] < HAL_INTERP_COUNT_MAX ? h.count[i] + 1 : HAL_INTERP_RING;
      advanced[i] = true;
    }
    int slot = ringIndex(h.count[i], 0);
    h.points[i][slot] = p;
    h.times[i][slot] = time;
  }
  h.present = 1;
  return 0;
}

// New weight of id i in double-rate mode.
float nextWeight(int i, const AlgTouchPoint &p0, Vec d1, Vec d2) {
  const report_point_history_t &h = report_point_history;
  float w = h.weight[i];
  int64_t len1 = d1.x * d1.x + d1.y * d1.y;
  int64_t len2 = d2.x * d2.x + d2.y * d2.y;
  int64_t s1 = isqrt(len1);
  int64_t s2 = isqrt(len2);
  int64_t ratio = (s1 > 10 && s2 != 0) ? 100 * s1 / s2 : 0;
  if (w >= 0.0f) {
    if (g_engine.run == 2) ratio /= 2;
    if (g_engine.run < 2) ratio = 0;
  }
  int64_t cosine = 0;
  if (len1 != 0 && len2 != 0) {
    // 100 * (D1.D2)^2 / (|D1|^2 |D2|^2) in floating point: the squares of a 32-bit plane
    // overflow 64 bits.
    double dot = static_cast<double>(d1.x) * d2.x + static_cast<double>(d1.y) * d2.y;
    cosine = static_cast<int64_t>(100.0 * dot * dot / (static_cast<double>(len1) * static_cast<double>(len2)));
  }
  if (ratio >= 95 && ratio <= 110 && cosine >= 99 && s1 >= kFastStep && g_engine.run >= 2) {
    if (w < kWeightMax) w += kWeightStep;
  } else {
    int64_t dx = static_cast<int64_t>(p0.x) - h.down_x[i];
    int64_t dy = static_cast<int64_t>(p0.y) - h.down_y[i];
    int64_t still = g_engine.divisor != 0 ? isqrt(dx * dx + dy * dy) / g_engine.divisor : 0;
    if (!(w > 0.99f && still <= kStillRadius)) w -= kWeightStep;
  }
  return w > 0.0f ? w : 0.0f;
}

// The fraction of the double-rate mode for id i (updating its weight); *c may move to an
// earlier position whose timing suits the parabola better.
float doubleRateFraction(int i, float base, const AlgTouchPoint &p0, Vec d1, Vec d2, int64_t *cx, int64_t *cy) {
  report_point_history_t &h = report_point_history;
  float w = nextWeight(i, p0, d1, d2);
  h.weight[i] = w;
  const uint16_t phase = g_engine.phase;
  const int32_t run = g_engine.run;
  if ((phase == 0 && !g_engine.enabled) || (phase == 0 && run == 1)) return w;
  if (phase == 1 && run == 1) return w + 1.0f;
  if (run <= 1) return 1.0f;
  if (h.count[i] >= HAL_INTERP_RING) {
    // The earlier position whose time mirrors P0's around P1 best keeps the parabola's
    // equal spacing truest.
    int64_t t1 = static_cast<int64_t>(h.times[i][ringIndex(h.count[i], 1)]);
    int64_t off0 = static_cast<int64_t>(h.times[i][ringIndex(h.count[i], 0)]) - t1;
    int64_t off2 = static_cast<int64_t>(h.times[i][ringIndex(h.count[i], 2)]) - t1;
    const AlgTouchPoint &p3 = h.points[i][ringIndex(h.count[i], 3)];
    int64_t off3 = static_cast<int64_t>(h.times[i][ringIndex(h.count[i], 3)]) - t1;
    if (llabs(off3 + off0) < llabs(off2 + off0)) {
      *cx = p3.x;
      *cy = p3.y;
    }
  }
  return base + w / 2.0f;
}

// Moves out to the interpolated position of id i; leaves it when the id's point stays.
void interpolateId(int i, float base, AlgTouchPoint &out) {
  const report_point_history_t &h = report_point_history;
  int32_t n = h.count[i] < HAL_INTERP_RING ? h.count[i] : HAL_INTERP_RING;
  if (n < 2) return;
  const AlgTouchPoint &p0 = h.points[i][ringIndex(h.count[i], 0)];
  const AlgTouchPoint &p1 = h.points[i][ringIndex(h.count[i], 1)];
  Vec d1 = stepOf(p0, p1, g_engine.divisor);
  int64_t cx;
  int64_t cy;
  float f;
  if (!g_engine.doubleRate) {
    if (!g_engine.follow) return;
    if (n == 2) {
      cx = 2 * static_cast<int64_t>(p1.x) - p0.x;
      cy = 2 * static_cast<int64_t>(p1.y) - p0.y;
    } else {
      cx = h.points[i][ringIndex(h.count[i], 2)].x;
      cy = h.points[i][ringIndex(h.count[i], 2)].y;
    }
    f = base;
  } else {
    if (n < 3) return;
    const AlgTouchPoint &p2 = h.points[i][ringIndex(h.count[i], 2)];
    cx = p2.x;
    cy = p2.y;
    f = doubleRateFraction(i, base, p0, d1, stepOf(p1, p2, g_engine.divisor), &cx, &cy);
  }
  out.x = interpolate_axis_value(p0.x, p1.x, clampToInt(cx), llabs(d1.y) < kDampingSpeed, f);
  out.y = interpolate_axis_value(p0.y, p1.y, clampToInt(cy), llabs(d1.x) < kDampingSpeed, f);
}

void interpInterpolate(AlgTouchPoint *out, int32_t *countOut) {
  report_point_history_t &h = report_point_history;
  int32_t written = 0;
  if (h.present && out != nullptr) {
    if (!g_engine.enabled) {
      g_engine.run = 0;
    } else if (g_engine.phase == 0 && g_engine.run < HAL_INTERP_RUN_MAX) {
      ++g_engine.run;
    }
    float base = g_engine.phase == 0 ? 0.5f : 1.0f;
    for (int i = 0; i < HAL_INTERP_IDS; ++i) {
      if (h.count[i] <= 0) continue;
      AlgTouchPoint &p = out[written++];
      p = h.points[i][ringIndex(h.count[i], 0)];
      if (p.action == ALG_TOUCH_ACTION_UP) {
        h.count[i] = 0;
        h.weight[i] = 0.0f;
        continue;
      }
      interpolateId(i, base, p);
    }
  }
  ++g_engine.phase;
  if (countOut != nullptr) *countOut = written;
}

int32_t interpExit(void) { return 0; }

const PointInterpolationInterface kDefaultInterpolation = {
    interpInit, interpRateChange, interpRecord, interpEnable, interpInterpolate, interpExit,
};

}  // namespace

VENDOR_EXPORT const PointInterpolationInterface *get_default_point_interpolation_interface(void) {
  return &kDefaultInterpolation;
}

int32_t interpolate_axis_value(int32_t a, int32_t b, int32_t c, bool damping, float x) {
  const bool half = x >= 0.49f && x <= 0.51f;
  if (a == b && half) return b;
  if (x >= 0.99f && x < 1.01f) return a;
  if (x <= 0.01f) return b;
  double xd = x;
  double q = (1.0 - xd * xd) * b + (xd + 1.0) * xd / 2.0 * a - (1.0 - xd) * xd / 2.0 * c;
  if (half && damping && 3 * llabs(static_cast<int64_t>(a) - b) < llabs(static_cast<int64_t>(b) - c)) {
    if (c < b && b <= a) return q < a ? clampToInt(q) : a;
    if (b < c && b >= a && q < a) return a;
  }
  return clampToInt(q);
}
