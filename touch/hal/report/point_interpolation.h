#pragma once
// Default point interpolation: keeps the last reported points of every touch id and places
// points between them when the report rate runs ahead of the controller's scan rate. The
// report-point timer is its only caller and serialises every call under its timer lock.
#include <stdint.h>

#include "alg_module.h"
#include "vendor_export.h"
#include "vendor_layout.h"

#ifdef __cplusplus
extern "C" {
#endif

#define HAL_INTERP_IDS 12      // touch ids 0..11 (algorithm A's range)
#define HAL_INTERP_RING 4      // reported points kept per id
#define HAL_INTERP_COUNT_MAX 7 // history count runs 1..7, then continues at 4
#define HAL_INTERP_RUN_MAX 10

#pragma pack(push, 1)
typedef struct report_point_history {
  AlgTouchPoint points[HAL_INTERP_IDS][HAL_INTERP_RING];  // ring at (count - 1) mod 4
  uint64_t times[HAL_INTERP_IDS][HAL_INTERP_RING];
  int32_t count[HAL_INTERP_IDS];   // 0: no history
  float weight[HAL_INTERP_IDS];
  int32_t down_x[HAL_INTERP_IDS];  // position at touch-down
  int32_t down_y[HAL_INTERP_IDS];
  uint8_t present;                 // any history at all
  uint8_t reserved[543];           // to the record's fixed size
} report_point_history_t;
#pragma pack(pop)

VENDOR_ASSERT_SIZE(report_point_history_t, 3808);

extern __attribute__((visibility("default"))) report_point_history_t report_point_history;

// Six operations in this order.
typedef struct PointInterpolationInterface {
  void (*init)(int32_t divisor);
  void (*rate_change)(uint16_t old_rate, uint16_t new_rate, uint32_t flag);
  // Returns 0 (points kept).
  int32_t (*record_points)(const AlgTouchPoint *points, int32_t count, uint64_t time_ns);
  void (*enable)(int32_t display_rate);
  // out holds HAL_INTERP_IDS points.
  void (*interpolate)(AlgTouchPoint *out, int32_t *count_out);
  int32_t (*exit)(void);
} PointInterpolationInterface;

VENDOR_EXPORT const PointInterpolationInterface *get_default_point_interpolation_interface(void);

// The quadratic rule along one axis: a the current value, b the previous, c the one before,
// damping the flag for a slow other axis, x the fraction.
int32_t interpolate_axis_value(int32_t a, int32_t b, int32_t c, bool damping, float x);

#ifdef __cplusplus
}
#endif
