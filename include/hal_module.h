#pragma once
// The touch-report HAL plug-in interface (libtapsense_hal). The touch host loads the
// module, calls `register_hal_module` once with its `HalHostCallbacks` table, and then
// drives the module through the returned `HalModule` record and the nine function
// interfaces that `get_hal_function_interface` hands out.
#include <stdint.h>

#include "alg_module.h"
#include "common_data.h"
#include "decoded_frame.h"
#include "timer_tool.h"
#include "vendor_layout.h"

#ifdef __cplusplus
extern "C" {
#endif

#define HAL_MODULE_NAME_LEN 32
#define HAL_MODULE_SLOT_COUNT 25
#define HAL_MODULE_SLOTS_OFFSET 40
#define HAL_FUNCTION_INTERFACE_COUNT 9
#define HAL_FUNCTION_HOOK_COUNT 14
#define HAL_MODULE_ENTRY "register_hal_module"
#define HAL_FUNCTION_INTERFACE_ENTRY "get_hal_function_interface"
#define HAL_MODULE_CALLBACK_ENTRY "get_hal_module_callback"
#define HAL_TOUCH_ID_MAX 99              // hal_module_init refuses larger ids with 255
#define HAL_RESULT_FAILED 255

// ---------------------------------------------------------------------------------------
// TouchPanelInfo: 214 bytes, filled by the driver (ioctl nr 1) and handed to every
// interface's initialise hook. Unlisted bytes are the driver's and are carried unchanged.
#pragma pack(push, 1)
typedef struct TouchPanelInfo {
  uint16_t extent_x;                // 0: times scale when passed on
  uint16_t extent_y;                // 2
  uint16_t rx_count;                // 4: rows of a mutual frame
  uint16_t tx_count;                // 6: values per row
  uint8_t scale;                    // 8
  uint8_t frame_buffer_pages;       // 9: 4096-byte pages per frame buffer
  uint8_t frame_buffer_count;       // 10
  uint8_t raw_buffer_pages;         // 11
  uint8_t raw_buffer_count;         // 12
  uint8_t driver_reserved[8];       // 13..20
  char config_file[193];            // 21..213: NUL-terminated configuration file name
} TouchPanelInfo;
#pragma pack(pop)

VENDOR_ASSERT_SIZE(TouchPanelInfo, 214);
VENDOR_ASSERT_OFFSET(TouchPanelInfo, extent_y, 2);
VENDOR_ASSERT_OFFSET(TouchPanelInfo, rx_count, 4);
VENDOR_ASSERT_OFFSET(TouchPanelInfo, tx_count, 6);
VENDOR_ASSERT_OFFSET(TouchPanelInfo, scale, 8);
VENDOR_ASSERT_OFFSET(TouchPanelInfo, frame_buffer_pages, 9);
VENDOR_ASSERT_OFFSET(TouchPanelInfo, frame_buffer_count, 10);
VENDOR_ASSERT_OFFSET(TouchPanelInfo, raw_buffer_pages, 11);
VENDOR_ASSERT_OFFSET(TouchPanelInfo, raw_buffer_count, 12);
VENDOR_ASSERT_OFFSET(TouchPanelInfo, config_file, 21);

// ---------------------------------------------------------------------------------------
// HalHostCallbacks: the host's table, kept by the module for its lifetime. Byte 0 is the
// host's replay flag (bit 0: the host replays a dump, the frame and command interfaces stay
// passive); the 8-byte slots follow from byte 8 (slot 1).
typedef void (*hal_host_common_data_fn)(common_data *data);
typedef void (*hal_host_touch_state_fn)(uint32_t touching);
typedef void (*hal_host_config_fn)(TouchPanelInfo *panel, void *tree, void *accessor, int32_t vendor_config_fd,
                                   int32_t extent_x_scaled, int32_t extent_y_scaled, int32_t tx_count,
                                   int32_t rx_count);
typedef void (*hal_host_normalize_table_fn)(int32_t *table, uint32_t size_bytes);
// (level, format, function name, arguments...): every HAL log line.
typedef void (*hal_host_log_fn)(int32_t level, const char *format, ...);
// Fills a dump buffer of `capacity` bytes; returns the length written.
typedef int32_t (*hal_host_dump_fill_fn)(uint8_t *buffer, uint32_t capacity);

#pragma pack(push, 1)
typedef struct HalHostCallbacks {
  uint8_t replay_flag;                              // 0
  uint8_t host_reserved[7];
  hal_host_common_data_fn driver_common_data;       // 1: a block the driver delivered
  hal_host_touch_state_fn touch_state;              // 2: new touching state
  hal_host_config_fn parsed_config;                 // 3
  hal_host_normalize_table_fn normalize_table;      // 4: Ferrant normalisation table
  hal_host_log_fn log;                              // 5
  hal_host_dump_fill_fn dump_capture;               // 6: fills one capture buffer, returns its length
  hal_host_dump_fill_fn dump_start_info;            // 7: fills the start information, returns its length
} HalHostCallbacks;
#pragma pack(pop)

VENDOR_ASSERT_SIZE(HalHostCallbacks, 64);
VENDOR_ASSERT_OFFSET(HalHostCallbacks, driver_common_data, 8);
VENDOR_ASSERT_OFFSET(HalHostCallbacks, touch_state, 16);
VENDOR_ASSERT_OFFSET(HalHostCallbacks, parsed_config, 24);
VENDOR_ASSERT_OFFSET(HalHostCallbacks, normalize_table, 32);
VENDOR_ASSERT_OFFSET(HalHostCallbacks, log, 40);
VENDOR_ASSERT_OFFSET(HalHostCallbacks, dump_capture, 48);
VENDOR_ASSERT_OFFSET(HalHostCallbacks, dump_start_info, 56);

// ---------------------------------------------------------------------------------------
// The nine function interfaces, by index; every host request fans out in this order.
enum HalFunctionInterfaceIndex {
  HAL_IF_SEND_TO_DRIVER = 0,
  HAL_IF_READ_CONFIG = 1,
  HAL_IF_REPORT = 2,
  HAL_IF_GET_FRAME_DATA = 3,
  HAL_IF_GET_CMD = 4,
  HAL_IF_RAW_DATA = 5,
  HAL_IF_DUMP = 6,
  HAL_IF_SAVE_LOG = 7,
  HAL_IF_HOT_AREA = 8
};

// Hook order of every interface record; a null hook is skipped.
enum HalFunctionHook {
  HAL_HOOK_INIT = 0,
  HAL_HOOK_EXIT = 1,
  HAL_HOOK_COMMON_DATA = 2,
  HAL_HOOK_READ_CONFIG = 3,
  HAL_HOOK_DUMP_GET = 4,
  HAL_HOOK_DUMP_SEND = 5,
  HAL_HOOK_SUSPEND = 6,
  HAL_HOOK_RATE_CHANGE = 7,
  HAL_HOOK_STATE = 8,
  HAL_HOOK_PROCESS1 = 9,
  HAL_HOOK_PROCESS2 = 10,
  HAL_HOOK_EXTRA1 = 11,  // report: time values; frame data: idle mode; hot area: strategy check
  HAL_HOOK_EXTRA2 = 12,  // report: driver event; hot area: per-frame strategy
  HAL_HOOK_EXTRA3 = 13   // report: its timer's interface record; hot area: algorithm info
};

typedef void (*hal_generic_fn)(void);
typedef int32_t (*hal_if_init_fn)(TouchPanelInfo *panel, int32_t fd, uint8_t touch_id, uint8_t replay_flag);
typedef int32_t (*hal_if_exit_fn)(void);
typedef int32_t (*hal_if_common_data_fn)(common_data *data, int32_t *pass_to_driver);
typedef int32_t (*hal_if_read_config_fn)(void *context, void *tree, void *accessor);
typedef int32_t (*hal_if_suspend_fn)(uint32_t flag);
typedef void (*hal_if_rate_change_fn)(uint32_t report_rate, uint32_t derived);
typedef void (*hal_if_state_fn)(const uint32_t *values, uint32_t count);

#pragma pack(push, 1)
typedef struct HalFunctionInterface {
  hal_if_init_fn init;
  hal_if_exit_fn exit;
  hal_if_common_data_fn receive_common_data;
  hal_if_read_config_fn read_config;
  hal_generic_fn dump_get;
  hal_generic_fn dump_send;
  hal_if_suspend_fn suspend;
  hal_if_rate_change_fn rate_change;
  hal_if_state_fn state;
  hal_generic_fn process1;   // interface-specific; typed in the HalModule slot that exports it
  hal_generic_fn process2;
  hal_generic_fn extra[3];
} HalFunctionInterface;
#pragma pack(pop)

VENDOR_ASSERT_SIZE(HalFunctionInterface, 8 * HAL_FUNCTION_HOOK_COUNT);
VENDOR_ASSERT_OFFSET(HalFunctionInterface, receive_common_data, 8 * HAL_HOOK_COMMON_DATA);
VENDOR_ASSERT_OFFSET(HalFunctionInterface, suspend, 8 * HAL_HOOK_SUSPEND);
VENDOR_ASSERT_OFFSET(HalFunctionInterface, state, 8 * HAL_HOOK_STATE);
VENDOR_ASSERT_OFFSET(HalFunctionInterface, process1, 8 * HAL_HOOK_PROCESS1);
VENDOR_ASSERT_OFFSET(HalFunctionInterface, extra, 8 * HAL_HOOK_EXTRA1);

// ---------------------------------------------------------------------------------------
// The utility table of HalModule slot 24 (refilled on each call).
typedef struct HalUtilFunctions {
  void (*rtc_time_to_tm)(uint64_t seconds, void *tm_out);
  int32_t (*property_set_s32)(const char *key, int32_t value);
  int32_t (*property_get_s32)(const char *key, int32_t default_value);
  bool (*property_get_bool)(const char *key, bool default_value);
  void *(*alloc_memory)(uint64_t size, uint32_t attempts);
  void (*free_memory)(void *ptr);
  void (*thp_atrace_print)(int32_t level, const char *format, ...);
  void (*thp_atrace_name)(int32_t level, const char *name);
  void (*thp_atrace_end)(int32_t level);
  void (*thp_atrace_int64)(int32_t level, const char *name, int64_t value);
} HalUtilFunctions;

VENDOR_ASSERT_SIZE(HalUtilFunctions, 80);

// ---------------------------------------------------------------------------------------
// HalModule: 240 bytes, owned by the module. Slots 0, 1, 4, 5, 9, 11, 13 and 14 mean what
// the AlgModule slots of the same number mean.
enum HalModuleSlot {
  HAL_SLOT_INIT = 0,
  HAL_SLOT_EXIT = 1,
  HAL_SLOT_SET_MODULE_PARAM = 2,
  HAL_SLOT_UPDATE_SUSPEND_STATUS = 4,
  HAL_SLOT_RECEIVE_COMMON_DATA = 5,
  HAL_SLOT_RAW_DATA_PROCESS = 8,
  HAL_SLOT_READ_CONFIG_PARAM = 9,
  HAL_SLOT_REPORT_POINTS = 10,
  HAL_SLOT_GET_VERSION = 11,
  HAL_SLOT_SEND_TO_DRIVER = 12,
  HAL_SLOT_DUMP_GET = 13,
  HAL_SLOT_DUMP_SEND = 14,
  HAL_SLOT_SET_ALG_PARAM_SETTERS = 16,
  HAL_SLOT_GET_FRAME = 18,
  HAL_SLOT_REGISTER_TIMER = 19,
  HAL_SLOT_CREATE_THREAD = 20,
  HAL_SLOT_SAVE_LOG_PROCESS1 = 21,
  HAL_SLOT_SAVE_LOG_PROCESS2 = 22,
  HAL_SLOT_SEND_TO_DRIVER_PROCESS2 = 23,
  HAL_SLOT_GET_UTIL_FUNCTIONS = 24
};

// Returns 0 on success, HAL_RESULT_FAILED for an id above HAL_TOUCH_ID_MAX or when a
// concurrent out-of-range id interrupted the wait for the device.
typedef int32_t (*hal_init_fn)(uint32_t touch_id);
typedef int32_t (*hal_exit_fn)(void);
typedef int32_t (*hal_set_module_param_fn)(uint32_t value);
typedef int32_t (*hal_update_suspend_status_fn)(uint32_t flag);
typedef int32_t (*hal_receive_common_data_fn)(common_data *data, int32_t *pass_to_driver);
typedef int32_t (*hal_raw_data_process_fn)(void *alg_output);
typedef int32_t (*hal_read_config_param_fn)(void *context, void *tree, void *accessor);
typedef int32_t (*hal_report_points_fn)(const AlgTouchPoint *points, uint32_t count);
typedef const char *(*hal_get_version_fn)(void);
// Types 0..23 (the driver request types of the algorithm modules among them); count is the
// number of u32 values, at most COMMON_DATA_VALUE_COUNT.
typedef int32_t (*hal_send_to_driver_fn)(uint32_t type, uint32_t *values, uint32_t count);
typedef void (*hal_set_alg_param_setters_fn)(void *table);
// Returns 0 with a frame (frame_out: the ring record; copy_out: the host's deep copy),
// HAL_RESULT_FAILED when the frame interface is exiting.
typedef int32_t (*hal_get_frame_fn)(DecodedFrame **frame_out, DecodedFrame **copy_out);
typedef int32_t (*hal_register_timer_fn)(timer_tool *timer, timer_tool_handler handler);
typedef uint64_t (*hal_create_thread_fn)(const char *name, void *(*routine)(void *), void *arg, uint8_t realtime);
typedef int32_t (*hal_update_qsd_fn)(const uint8_t *record);  // a 6-byte record
typedef const HalUtilFunctions *(*hal_get_util_functions_fn)(void);

#pragma pack(push, 1)
typedef struct HalModule {
  char name[HAL_MODULE_NAME_LEN];     // "hal", zero-filled
  uint8_t initialised;                // 1 once hal_module_init has run every interface's init
  uint8_t reserved[7];
  hal_init_fn init;                                   // 0
  hal_exit_fn exit;                                   // 1
  hal_set_module_param_fn set_module_param;           // 2
  hal_generic_fn slot3;                               // 3
  hal_update_suspend_status_fn update_suspend_status; // 4
  hal_receive_common_data_fn receive_common_data;     // 5
  hal_generic_fn slot6;                               // 6
  hal_generic_fn slot7;                               // 7
  hal_raw_data_process_fn raw_data_process;           // 8
  hal_read_config_param_fn read_config_param;         // 9
  hal_report_points_fn report_points;                 // 10
  hal_get_version_fn get_version;                     // 11
  hal_send_to_driver_fn send_to_driver;               // 12
  hal_generic_fn dump_get;                            // 13
  hal_generic_fn dump_send;                           // 14
  hal_generic_fn slot15;                              // 15
  hal_set_alg_param_setters_fn set_alg_param_setters; // 16
  hal_generic_fn slot17;                              // 17
  hal_get_frame_fn get_frame;                         // 18
  hal_register_timer_fn register_timer;               // 19
  hal_create_thread_fn create_thread;                 // 20
  hal_generic_fn save_log_process1;                   // 21
  hal_generic_fn save_log_process2;                   // 22
  hal_update_qsd_fn send_to_driver_process2;          // 23
  hal_get_util_functions_fn get_util_functions;       // 24
} HalModule;
#pragma pack(pop)

#define HAL_SLOT_OFFSET(slot) (HAL_MODULE_SLOTS_OFFSET + 8 * (slot))
VENDOR_ASSERT_SIZE(HalModule, 240);
VENDOR_ASSERT_OFFSET(HalModule, initialised, 32);
VENDOR_ASSERT_OFFSET(HalModule, init, HAL_SLOT_OFFSET(HAL_SLOT_INIT));
VENDOR_ASSERT_OFFSET(HalModule, exit, HAL_SLOT_OFFSET(HAL_SLOT_EXIT));
VENDOR_ASSERT_OFFSET(HalModule, set_module_param, HAL_SLOT_OFFSET(HAL_SLOT_SET_MODULE_PARAM));
VENDOR_ASSERT_OFFSET(HalModule, update_suspend_status, HAL_SLOT_OFFSET(HAL_SLOT_UPDATE_SUSPEND_STATUS));
VENDOR_ASSERT_OFFSET(HalModule, receive_common_data, HAL_SLOT_OFFSET(HAL_SLOT_RECEIVE_COMMON_DATA));
VENDOR_ASSERT_OFFSET(HalModule, raw_data_process, HAL_SLOT_OFFSET(HAL_SLOT_RAW_DATA_PROCESS));
VENDOR_ASSERT_OFFSET(HalModule, read_config_param, HAL_SLOT_OFFSET(HAL_SLOT_READ_CONFIG_PARAM));
VENDOR_ASSERT_OFFSET(HalModule, report_points, HAL_SLOT_OFFSET(HAL_SLOT_REPORT_POINTS));
VENDOR_ASSERT_OFFSET(HalModule, get_version, HAL_SLOT_OFFSET(HAL_SLOT_GET_VERSION));
VENDOR_ASSERT_OFFSET(HalModule, send_to_driver, HAL_SLOT_OFFSET(HAL_SLOT_SEND_TO_DRIVER));
VENDOR_ASSERT_OFFSET(HalModule, dump_get, HAL_SLOT_OFFSET(HAL_SLOT_DUMP_GET));
VENDOR_ASSERT_OFFSET(HalModule, dump_send, HAL_SLOT_OFFSET(HAL_SLOT_DUMP_SEND));
VENDOR_ASSERT_OFFSET(HalModule, set_alg_param_setters, HAL_SLOT_OFFSET(HAL_SLOT_SET_ALG_PARAM_SETTERS));
VENDOR_ASSERT_OFFSET(HalModule, get_frame, HAL_SLOT_OFFSET(HAL_SLOT_GET_FRAME));
VENDOR_ASSERT_OFFSET(HalModule, register_timer, HAL_SLOT_OFFSET(HAL_SLOT_REGISTER_TIMER));
VENDOR_ASSERT_OFFSET(HalModule, create_thread, HAL_SLOT_OFFSET(HAL_SLOT_CREATE_THREAD));
VENDOR_ASSERT_OFFSET(HalModule, save_log_process1, HAL_SLOT_OFFSET(HAL_SLOT_SAVE_LOG_PROCESS1));
VENDOR_ASSERT_OFFSET(HalModule, save_log_process2, HAL_SLOT_OFFSET(HAL_SLOT_SAVE_LOG_PROCESS2));
VENDOR_ASSERT_OFFSET(HalModule, send_to_driver_process2, HAL_SLOT_OFFSET(HAL_SLOT_SEND_TO_DRIVER_PROCESS2));
VENDOR_ASSERT_OFFSET(HalModule, get_util_functions, HAL_SLOT_OFFSET(HAL_SLOT_GET_UTIL_FUNCTIONS));

// ---------------------------------------------------------------------------------------
// Records the host sees besides HalModule: the panel geometry and the module parameter block
// (exported get_hal_module_param), the configuration-file accessor that host slot 3 receives
// and hands on to HalModule slot 9, the time record of the utility table's rtc_time_to_tm,
// and the shapes of the interface hooks that one interface calls on another.
#pragma pack(push, 1)
typedef struct PanelGeometry {
  int32_t node_count;      // mutual nodes
  int32_t snode_count;     // self nodes per self line
  int32_t nnode_count;     // extra nodes
  uint8_t columns;
  uint8_t rows;
  uint8_t stylus_col1;
  uint8_t stylus_row1;
  uint8_t stylus_col2;
  uint8_t stylus_row2;
  uint8_t convert_byte_order;  // set by the _v2 decode wrappers before each core call
  uint8_t copy_dump;           // likewise
} PanelGeometry;

// 24 bytes, returned by get_hal_module_param, zeroed by hal_module_init. The frame decoders
// receive a pointer to `geometry` (the node-count field onward).
typedef struct HalModuleParam {
  uint32_t module_param;   // last value given to HalModule slot 2
  PanelGeometry geometry;  // filled by the frame-data interface's configuration hook
} HalModuleParam;
#pragma pack(pop)

VENDOR_ASSERT_SIZE(PanelGeometry, 20);
VENDOR_ASSERT_SIZE(HalModuleParam, 24);
VENDOR_ASSERT_OFFSET(HalModuleParam, geometry, 4);
VENDOR_ASSERT_OFFSET(PanelGeometry, snode_count, 4);
VENDOR_ASSERT_OFFSET(PanelGeometry, nnode_count, 8);
VENDOR_ASSERT_OFFSET(PanelGeometry, columns, 12);
VENDOR_ASSERT_OFFSET(PanelGeometry, rows, 13);
VENDOR_ASSERT_OFFSET(PanelGeometry, stylus_row2, 17);

// The configuration-file accessor (owned by the read-configuration interface): four
// operations in this order. Node arguments are the parsed tree's nodes; the tree lives only
// during host slot 3, so the host reads (or calls HalModule slot 9) inside that callback.
typedef struct HalConfigAccessor {
  void *(*get_node)(void *node, const char *path);
  int32_t (*get_int_config)(void *node, const char *path, int32_t default_value);
  void (*get_int_array_config)(void *node, const char *path, int32_t *count, int32_t *dest);
  int32_t (*get_string_config)(void *node, const char *path, char *dest, uint32_t capacity,
                               const char *default_value);
} HalConfigAccessor;

VENDOR_ASSERT_SIZE(HalConfigAccessor, 32);

// tm_out of HalUtilFunctions::rtc_time_to_tm.
typedef struct HalRtcTime {
  int32_t tm_sec;
  int32_t tm_min;
  int32_t tm_hour;
  int32_t tm_mday;   // 1-based
  int32_t tm_mon;    // 0-based
  int32_t tm_year;   // years since 1900
  int32_t tm_wday;   // 0 = Sunday
  int32_t tm_yday;   // counted from 1
  int32_t tm_isdst;  // 0
} HalRtcTime;

VENDOR_ASSERT_SIZE(HalRtcTime, 36);

// Interface-specific hook shapes (stored as hal_generic_fn in the interface records).
// Report interface, extra[0]: per-frame time values, called by get frame.
typedef void (*hal_report_frame_time_fn)(uint64_t frame_count, uint64_t arrival_ns);
// Frame-data interface, extra[0]: the idle-mode record (three u16: kind, sub-kind, value),
// handed over by the send-to-driver interface for every type-8 send of 6 bytes.
typedef void (*hal_frame_idle_mode_fn)(const uint8_t *record);
// Frame-data interface, process2: the 8 bytes at byte 36 of the last frame handed out.
typedef uint64_t (*hal_last_frame_info_fn)(void);

// Exports of the HAL module.
HalModule *register_hal_module(HalHostCallbacks *callbacks);
HalFunctionInterface *get_hal_function_interface(uint32_t index);  // null for 9 and above
HalHostCallbacks *get_hal_module_callback(void);
HalModuleParam *get_hal_module_param(void);
typedef HalModule *(*register_hal_module_fn)(HalHostCallbacks *callbacks);
typedef HalFunctionInterface *(*get_hal_function_interface_fn)(uint32_t index);
typedef HalHostCallbacks *(*get_hal_module_callback_fn)(void);
typedef HalModuleParam *(*get_hal_module_param_fn)(void);
#define HAL_MODULE_PARAM_ENTRY "get_hal_module_param"

// Vsync-aligned reporting. The host registers its vsync callback here (a command block
// cannot carry a function address: the HAL refuses one). The HAL calls it with 2 when its
// reports start to follow the display's vsync and with 0 when they stop; it may call it
// while holding its own locks, so the callback only takes note and returns. While the last
// state is 2 the host sends each coming vsync to HalModule slot 5 as a common_data block:
// command COMMON_DATA_CMD_SET_LONG_VALUE, mode COMMON_DATA_MODE_VSYNC_TIME, count 3,
// values seconds and microseconds of the vsync's CLOCK_MONOTONIC time, then the vsync
// mode (1 or 2). A null callback unregisters.
typedef void (*hal_vsync_callback_fn)(int32_t state);
void hal_report_register_vsync_callback(hal_vsync_callback_fn callback);
typedef void (*hal_register_vsync_callback_fn)(hal_vsync_callback_fn callback);
#define HAL_VSYNC_CALLBACK_ENTRY "hal_report_register_vsync_callback"
#define HAL_VSYNC_STATE_FOLLOW 2
#define HAL_VSYNC_STATE_STOP 0

#ifdef __cplusplus
}
#endif
