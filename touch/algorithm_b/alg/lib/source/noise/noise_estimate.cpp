// Two estimates of the noise on a projected mutual line, one value per Rx column, for
// callers of the library. Charger noise couples through the finger, so the charge estimate
// compares the residual amplitude under touched columns with the rest; the display
// estimate measures how far the two halves of the line tilt.
#include <stdint.h>
#include <stdlib.h>

#include <algorithm>

#include "luma_filter.h"
#include "luma_noise.h"

namespace {

// The equalisation step used before the charge estimate.
constexpr uint16_t kEquStep = 300;
// Self diff slot that holds the mutual projection onto the Rx line: it tells which
// columns carry a touch.
constexpr int kTouchRefSlot = 2;

// Extreme samples must not flip sign: a wrapped residual or slope would turn the largest
// amplitudes into the smallest.
int16_t Saturate16(int32_t v) { return static_cast<int16_t>(std::clamp<int32_t>(v, INT16_MIN, INT16_MAX)); }

}  // namespace

extern "C" {

uint32_t AppMcGetChargeNoise(int16_t *line, uint8_t n) {
  if (line == nullptr) return 1;
  AppLineEquFilterLR(line, line, n, static_cast<uint8_t>((n >> 1) & 127), kEquStep);
  if (n == 0) return 1;

  int32_t sum = 0;
  for (int i = 0; i < n; ++i) sum += line[i] == INT16_MIN ? -INT16_MAX : line[i];
  const auto m1 = static_cast<int16_t>(sum / n);
  const int32_t a = abs(static_cast<int32_t>(m1));
  int32_t clamped = 0;
  for (int i = 0; i < n; ++i) clamped += std::clamp<int32_t>(line[i], -a, a);
  const int32_t m2 = clamped / n;
  for (int i = 0; i < n; ++i) line[i] = Saturate16(line[i] - m2);

  if (n < 3) return 1;
  const int16_t *ref = g_stFrmData.assScDiff[kTouchRefSlot];
  const auto threshold = static_cast<int32_t>(g_stFwConfig.usScNoTouchThr);
  uint8_t touched_cnt = 0, quiet_cnt = 0;
  uint32_t touched_sum = 0, quiet_sum = 0;
  for (int i = 1; i <= n - 2; ++i) {
    const uint32_t amp = static_cast<uint32_t>(abs(static_cast<int32_t>(line[i])));
    // A column past the reference line has no touch information: it counts as untouched.
    if (i < LUMA_SC_LINE_LEN && ref[i] >= threshold) {
      ++touched_cnt;
      touched_sum += amp;
    } else {
      ++quiet_cnt;
      quiet_sum += amp;
    }
  }
  const uint32_t hi = touched_cnt == 0 ? touched_sum : touched_sum / touched_cnt;
  const uint32_t lo = quiet_cnt == 0 ? quiet_sum : quiet_sum / quiet_cnt;
  return hi > lo ? hi - lo : 1;
}

uint32_t AppMcGetDisplayNoise(const int16_t *line, uint8_t n) {
  if (line == nullptr) return 0;
  const int h = n >> 1;
  const int32_t left = n >= 2 ? line[std::max(h, 1)] - line[0] : 0;
  const int32_t right = n - 1 > h ? line[n - 1] - line[h] : 0;
  const int32_t left_slope = h == 0 ? 0 : Saturate16(left / h);
  const int32_t right_slope = n - 1 == h ? 0 : Saturate16(right / (n - 1 - h));
  return static_cast<uint32_t>(abs(left_slope) + abs(right_slope));
}

}  // extern "C"
