#pragma once
// The two ways points leave the module: evdev events on the touch input devices (version 1)
// and point records in a page shared with the touch driver (version 2). The report
// interface calls every operation under its report lock.
#include <stdint.h>

#include "alg_module.h"
#include "core/hal_core.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct ReportPointMethod {
  // 0, or 1 on failure.
  int32_t (*init)(const TouchPanelInfo *panel, int32_t fd, uint8_t touch_id, uint8_t host_flag,
                  bool finger, bool stylus);
  void (*exit)(void);
  void (*finger_report)(const AlgTouchPoint *point);
  bool (*finger_release_all)(bool force);  // whether anything was released
  uint32_t (*finger_sync)(void);           // bit mask of the slots down
  void (*stylus_report)(const AlgTouchPoint *point);
  bool (*stylus_release)(bool force);
  uint32_t (*stylus_sync)(void);           // 1 while the stylus is still active
} ReportPointMethod;

const ReportPointMethod *get_report_point_method_v1(void);
const ReportPointMethod *get_report_point_method_v2(void);

#ifdef __cplusplus
}
#include <string.h>
// A lift of slot id for tool, as the release paths report it.
inline AlgTouchPoint hal_report_up_point(int32_t id, int32_t tool) {
  AlgTouchPoint up;
  memset(&up, 0, sizeof up);
  up.tool = tool;
  up.id = id;
  up.action = ALG_TOUCH_ACTION_UP;
  return up;
}
extern "C" {
#endif

// The log text of a stylus action ("stylus down", ...).
const char *hal_stylus_action_text(int32_t action);

// Version 1 searches "/dev/input" this many times, a second apart, before init gives up.
#define HAL_REPORT_FIND_ATTEMPTS 3u

#ifdef __cplusplus
}
#endif
