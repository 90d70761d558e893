#pragma once
// The door of the HAL module's core: module-wide state, logging through the host, the
// touch device and its ioctls, the nine function interfaces, timers, threads and the
// small utilities. Every area of the module (frame data, command, report, configuration,
// send-to-driver, decoders, ...) includes this header and nothing else of core/.
#include <stddef.h>
#include <stdint.h>

#include "hal_module.h"
#include "vendor_export.h"
#include "vendor_layout.h"

#ifdef __cplusplus
extern "C" {
#endif

// ---------------------------------------------------------------------------------------
// Logging. Every line goes through host slot 5 as (level, "%s: ..." format, function name,
// arguments) and only when hal_log_level is at least the line's level.
enum HalLogLevel {
  HAL_LOG_ERROR = 1,
  HAL_LOG_INFO = 3,
  HAL_LOG_VERBOSE = 4,
  HAL_LOG_ENTRY = 5
};

#define HAL_EXPORT_VAR __attribute__((visibility("default")))
extern HAL_EXPORT_VAR int hal_log_level;  // 0..5, set by common-data mode 18

// True when a line of this level would reach the host (log callback set, level allowed).
bool hal_log_enabled(int32_t level);
hal_host_log_fn hal_log_sink(void);

#define HAL_LOG_AS(level, func, fmt, ...)                                      \
  do {                                                                         \
    if (hal_log_enabled(level)) hal_log_sink()((level), "%s: " fmt, (func) __VA_OPT__(, ) __VA_ARGS__); \
  } while (0)
#define HAL_LOG(level, fmt, ...) HAL_LOG_AS(level, __func__, fmt __VA_OPT__(, ) __VA_ARGS__)
#define HAL_LOGE(fmt, ...) HAL_LOG(HAL_LOG_ERROR, fmt __VA_OPT__(, ) __VA_ARGS__)
#define HAL_LOGI(fmt, ...) HAL_LOG(HAL_LOG_INFO, fmt __VA_OPT__(, ) __VA_ARGS__)
#define HAL_LOGV(fmt, ...) HAL_LOG(HAL_LOG_VERBOSE, fmt __VA_OPT__(, ) __VA_ARGS__)

// ---------------------------------------------------------------------------------------
// The panel geometry, HalModuleParam, the configuration accessor, HalRtcTime and the
// cross-area hook shapes are public records of include/hal_module.h.
VENDOR_EXPORT HalModuleParam *get_hal_module_param(void);

// ---------------------------------------------------------------------------------------
// Module-wide state (set by hal_module_init, read by every thread of the module).
int32_t hal_device_fd(void);          // -1 while closed
uint8_t hal_touch_id(void);
TouchPanelInfo *hal_panel_info(void);  // the block read from the driver
// The host's table given to register_hal_module (null before registration).
VENDOR_EXPORT HalHostCallbacks *get_hal_module_callback(void);

// ---------------------------------------------------------------------------------------
// The touch device "/dev/tamrel-touch" and its 'T' ioctls.
#define TAMREL_TOUCH_DEVICE_PATH "/dev/tamrel-touch"
#define TAMREL_TOUCH_IOC_TYPE 'T'

enum TamrelTouchIoctl {
  TOUCH_IOC_COMMON_DATA = 0,     // common_data*, 1032 bytes
  TOUCH_IOC_PANEL_INFO = 1,      // TouchPanelInfo*, 214 bytes, read
  TOUCH_IOC_SELECT_BUFFER = 2,   // which buffer the next mmap maps (TouchBufferKind)
  TOUCH_IOC_BIND_TOUCH_ID = 3,   // touch id by value
  TOUCH_IOC_NEWEST_FRAME = 4,    // read: newest filled frame index, negative when none
  TOUCH_IOC_RAW_COPY = 5,        // write: a raw buffer was filled; read: pending raw index
  TOUCH_IOC_REPORT_POINTS = 6    // point count written into the report page
};

enum TamrelTouchIocDirection {
  TOUCH_IOC_DIR_WRITE = 1,
  TOUCH_IOC_DIR_READ = 2,
  TOUCH_IOC_DIR_READ_WRITE = 3  // any value other than 1 and 2
};

enum TouchBufferKind {
  TOUCH_BUFFER_FRAME_RING = 1,
  TOUCH_BUFFER_RAW_RING = 2,
  TOUCH_BUFFER_REPORT_PAGE = 4
};

#define TOUCH_PAGE_SIZE 4096u
#define TOUCH_SLOT_HEADER_SIZE 24u  // driver frame information before the controller frame

// The Linux _IOC request number for nr, size and direction (1 write, 2 read, else both).
unsigned long tamrel_touch_request(uint32_t nr, uint32_t size, uint32_t direction);
// ioctl on the module's device; -1 with "%s: open %s first" when the device is closed.
int tamrel_touch_ioctl(uint32_t nr, uint32_t size, unsigned long arg, uint32_t direction);
// Opens path once access(R_OK) allows it, retrying every 100 ms with one log line per 50
// failures. The wait is bounded: after HAL_OPEN_MAX_ATTEMPTS failures it logs and returns -1.
#define HAL_OPEN_RETRY_MS 100u
#define HAL_OPEN_MAX_ATTEMPTS 600u  // one minute
int file_access_and_open(const char *path, int flags);
// The same loop with its own bound (0: no bound), also left early with -1 when
// keep_waiting (may be null) returns false.
int file_access_and_open_bounded(const char *path, int flags, uint32_t max_attempts,
                                 bool (*keep_waiting)(void));

// One wait of a worker thread: poll for `events` on the device and for input on its exit
// event (-1: none; the caller's stop flag is then looked at ten times a second).
enum HalWaitResult {
  HAL_WAIT_READY = 0,  // the device has the events
  HAL_WAIT_EXIT = 1,   // the exit event was written
  HAL_WAIT_AGAIN = 2   // nothing yet, or a device error (logged once through *error_logged)
};
int hal_wait_device(int fd, short events, int exit_event, const char *func, uint8_t touch_id, bool *error_logged);

// ---------------------------------------------------------------------------------------
// The nine function interfaces. Each area defines the getter of its own record; core
// keeps weak idle stand-ins so the module links while an area is missing.
const HalFunctionInterface *hal_send_interface(void);      // 0 send to driver
const HalFunctionInterface *hal_config_interface(void);    // 1 read configuration
const HalFunctionInterface *hal_report_interface(void);    // 2 report
const HalFunctionInterface *hal_getframe_interface(void);  // 3 get frame data
const HalFunctionInterface *hal_getcmd_interface(void);    // 4 get command
const HalFunctionInterface *hal_rawdata_interface(void);   // 5 raw data
const HalFunctionInterface *hal_dump_interface(void);      // 6 dump
const HalFunctionInterface *hal_savelog_interface(void);   // 7 save log
const HalFunctionInterface *hal_hotarea_interface(void);   // 8 hot area

// The exported getters of the nine records (the same records, for the host).
VENDOR_EXPORT HalFunctionInterface *get_send_to_driver_function_interface(void);
VENDOR_EXPORT HalFunctionInterface *get_read_config_param_function_interface(void);
VENDOR_EXPORT HalFunctionInterface *get_report_function_interface(void);
VENDOR_EXPORT HalFunctionInterface *get_get_frame_data_function_interface(void);
VENDOR_EXPORT HalFunctionInterface *get_get_cmd_function_interface(void);
VENDOR_EXPORT HalFunctionInterface *get_raw_data_function_interface(void);
VENDOR_EXPORT HalFunctionInterface *get_dump_function_interface(void);
VENDOR_EXPORT HalFunctionInterface *get_save_log_interface(void);
VENDOR_EXPORT HalFunctionInterface *get_hot_area_interface(void);

// HalModule slots 13 and 14, the dump area's entry points (null while it is missing).
hal_generic_fn hal_dump_get_entry(void);
hal_generic_fn hal_dump_send_entry(void);

// Send to the driver through interface 0's first process hook (0 when it has none).
int32_t hal_send_to_driver(uint32_t type, uint32_t *values, uint32_t count);

// ---------------------------------------------------------------------------------------
// Timers and threads (HalModule slots 19 and 20).
#define HAL_TIMER_MAX 20
#define HAL_TIMER_SIGNAL_BASE 41  // timer i is served by real-time signal number 41 + i
#define HAL_THREAD_MAX 15

int32_t register_timer(timer_tool *timer, timer_tool_handler callback);
// Entries of the timer table in use.
int32_t hal_registered_timer_count(void);
// Returns the pthread handle, 0 on failure. The caller joins it with pthread_join.
uint64_t create_thread(const char *name, void *(*routine)(void *), void *arg, uint8_t realtime);

// ---------------------------------------------------------------------------------------
// Utilities (HalModule slot 24 hands most of them to the host).
// HalRtcTime (the tm_out of rtc_time_to_tm) is public: include/hal_module.h.

void rtc_time_to_tm(uint64_t seconds, void *tm_out);  // tm_out: HalRtcTime*
uint64_t timeval_diff(int64_t s1, int64_t us1, int64_t s2, int64_t us2);
void *alloc_memory(uint64_t size, uint32_t attempts);
void free_memory(void *ptr);
int32_t property_set_s32(const char *key, int32_t value);
int32_t property_get_s32(const char *key, int32_t default_value);
// (The platform's libcutils-shaped property_get_bool has another signature.)
bool hal_property_get_bool(const char *key, bool default_value);

extern HAL_EXPORT_VAR int trace_level;
extern HAL_EXPORT_VAR int enable_trace;
void thp_set_trace_level(int32_t level);
void thp_check_trace(void);
void thp_atrace_print(int32_t level, const char *format, ...) __attribute__((format(printf, 2, 3)));
void thp_atrace_name(int32_t level, const char *name);
void thp_atrace_end(int32_t level);
void thp_atrace_int64(int32_t level, const char *name, int64_t value);

// Sleeps ms milliseconds (restarting after signals).
void hal_sleep_ms(uint32_t ms);

// The interfaces' start-up retries (mapping the frame ring, preparing the decoder, starting
// a thread): every interval_ms, at most `attempts` times. When they give up, the initialise
// hook returns HAL_RESULT_GAVE_UP and hal_module_init fails with it. Tests shorten the
// policy; (0, 0) restores the default of once a second for 30 attempts.
#define HAL_RESULT_GAVE_UP (-110)  // -ETIMEDOUT
// The initialise hook's result when the configuration read before it was refused.
#define HAL_RESULT_CONFIG_REFUSED (-22)  // -EINVAL
#define HAL_START_RETRY_MS 1000u
#define HAL_START_MAX_ATTEMPTS 30u
void hal_set_start_retry(uint32_t interval_ms, uint32_t attempts);
uint32_t hal_start_retry_ms(void);
uint32_t hal_start_max_attempts(void);
// The open loop's interval (HAL_OPEN_RETRY_MS); tests shorten it, 0 restores it.
void hal_set_open_retry_ms(uint32_t interval_ms);
uint32_t hal_open_retry_ms(void);
// CLOCK_MONOTONIC in nanoseconds.
uint64_t hal_monotonic_ns(void);

#ifdef __cplusplus
}
#endif
