#pragma once
// The report interface (index 2): delivers the algorithm's touch points to Android, either as
// evdev events on the kernel's touch input devices (point method version 1) or as records in
// a page shared with the touch driver (version 2), optionally paced by the report-point
// timer that interpolates points between controller scans.
#include <stdint.h>

#include "alg_module.h"
#include "core/hal_core.h"
#include "vendor_export.h"

#ifdef __cplusplus
extern "C" {
#endif

// The report interface's hooks after the common ones (HalFunctionInterface::extra).
enum HalReportExtraHook {
  HAL_REPORT_HOOK_TIME_VALUES = 0,   // hal_report_frame_time_fn (core/hal_core.h)
  HAL_REPORT_HOOK_DRIVER_EVENT = 1,  // hal_report_driver_event_fn
  HAL_REPORT_HOOK_TIMER = 2          // the report-point timer's own record (ReportPointTimer*)
};

// A 6-byte driver-event record: u16 kind, u16 class, u16 value.
typedef void (*hal_report_driver_event_fn)(const uint8_t *record);

// The host's vsync callback and its registration, hal_report_register_vsync_callback,
// are public: include/hal_module.h.

#define HAL_REPORT_MAX_SLOTS 10     // finger slots 0..9
#define HAL_REPORT_POINTS_MAX 32    // points taken from one report call
#define HAL_REPORT_TRACKING_ID_START 100
#define HAL_REPORT_PAGE_SIZE 4096u

#ifdef __cplusplus
}
#endif
