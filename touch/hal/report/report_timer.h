#pragma once
// The report-point timer: when the report rate differs from the controller's scan rate (or
// reporting follows display vsync), points offered per frame go to the interpolation engine
// and the "touch-report-point" thread reports interpolated points at the report rate. Also
// chooses the two rates from the device's modes and runs the vsync state machine. Reached
// only through the report interface.
#include <stdint.h>

#include "alg_module.h"
#include "common_data.h"
#include "core/hal_core.h"

#ifdef __cplusplus
extern "C" {
#endif

// The direct report of the report interface.
typedef void (*report_point_callback_fn)(const AlgTouchPoint *points, int32_t count);

#define REPORT_TIMER_SIGNAL 60
#define REPORT_REPLAY_WORDS 50
#define REPORT_REPLAY_EVENT_WORDS 3
#define REPORT_REPLAY_MAX_EVENTS 16
#define REPORT_DUMP_KIND_TIMER 2

enum ReportReplayEvent {
  REPORT_EVENT_TICK = 1,        // time low, high
  REPORT_EVENT_RATE = 2,        // IC rate, report rate
  REPORT_EVENT_POINTS = 3,      // time low, high
  REPORT_EVENT_SUSPEND = 4,     // 0, 0
  REPORT_EVENT_MAIN_THREAD = 5  // 1, 0
};

// The replay record of timer events (204 bytes).
#pragma pack(push, 1)
typedef struct ReportReplayRecord {
  uint32_t words[REPORT_REPLAY_WORDS];
  uint32_t used;  // words in use
} ReportReplayRecord;
#pragma pack(pop)
VENDOR_ASSERT_SIZE(ReportReplayRecord, 204);

enum VsyncState {
  VSYNC_STATE_NORMAL = 1,
  VSYNC_STATE_NORMAL_LOCKED = 2,
  VSYNC_STATE_WAIT_VSYNC = 5,
  VSYNC_STATE_FIRST = 6,
  VSYNC_STATE_REPORT = 7,
  VSYNC_STATE_UPDATE = 8
};

typedef struct ReportPointTimer {
  int32_t (*init)(const TouchPanelInfo *panel, report_point_callback_fn report);
  int32_t (*exit)(void);
  // true when the timer took the points; false: report them directly.
  bool (*offer)(const AlgTouchPoint *points, int32_t count, uint32_t signature);
  int32_t (*common_data)(common_data *data, int32_t *pass_to_driver);
  int32_t (*read_config)(void *context, void *tree, void *accessor);
  void (*suspend)(uint32_t flag);
  void (*display_rate_change)(uint32_t rate);
  // kind 2: copies the replay words (at most *size bytes), *size becomes the bytes copied,
  // and empties the record. 0, or -1 for another kind or a destination too small.
  int32_t (*dump_get)(uint32_t kind, void *destination, uint32_t *size);
  // kind 2: loads size bytes (whole events, at most 16) into the replay record.
  int32_t (*dump_set)(const void *source, uint32_t size, uint32_t kind);
  void (*driver_event)(const uint8_t *record);
} ReportPointTimer;

const ReportPointTimer *get_report_point_timer(void);

// Read-only view for the report interface and tests.
typedef struct ReportTimerStatus {
  uint16_t ic_rate;
  uint16_t report_rate;
  int32_t ticks_per_frame;
  int32_t vsync_state;  // enum VsyncState
  bool vsync_enabled;
  bool vsync_requested;
  bool configured;      // "use_report_timer"
} ReportTimerStatus;
ReportTimerStatus report_timer_status(void);

// The latest frame's arrival stamp (CLOCK_MONOTONIC ns), kept by the report interface's
// per-frame time hook; the timer records offered points at that time.
void report_timer_set_frame_time(uint64_t arrival_ns);

void report_timer_set_vsync_callback(void (*callback)(int32_t state));

#ifdef __cplusplus
}
#endif
