#pragma once
// The touch algorithm plug-in interface. The touch host loads an algorithm module, calls
// its one export `register_alg_module` with the host's callback table and drives the
// module through the returned `AlgModule` record. Two modules implement it:
//   Ferrant  libtapsense_alg_ferrant, module name "ferrant-alg";
//   Luma     libtapsense_alg, module name "alg".
// Where the two read a slot with different arguments, the slot is a union with one member
// per module (`ferrant`, `luma`); the host must call the member of the module it loaded.
#include <stdbool.h>
#include <stdint.h>

#include "common_data.h"
#include "decoded_frame.h"
#include "timer_tool.h"
#include "vendor_layout.h"

#ifdef __cplusplus
extern "C" {
#endif

#define ALG_MODULE_NAME_LEN 32
#define ALG_MODULE_SLOT_COUNT 18
#define ALG_HOST_CALLBACK_COUNT 10
#define ALG_TOUCH_POINT_MAX 12
#define ALG_MODULE_ENTRY "register_alg_module"

// ---------------------------------------------------------------------------------------
// AlgTouchPoint: 56 bytes, fourteen 32-bit words. The algorithm modules fill x, y, id and
// action (Ferrant also writes zero into tool and the two tilt words); the HAL module's
// report interface reads all of them.
#define ALG_TOUCH_ACTION_DOWN 0
#define ALG_TOUCH_ACTION_MOVE 1
#define ALG_TOUCH_ACTION_UP 2
#define ALG_TOUCH_ACTION_HOVER 3
#define ALG_TOUCH_TOOL_FINGER 0
#define ALG_TOUCH_TOOL_STYLUS 1
#define ALG_TOUCH_COORD_NONE 0x7fffffff   // Ferrant: no coordinate
#define ALG_TOUCH_ID_FINGERPRINT 9        // Ferrant: fingerprint point while its check is armed

#pragma pack(push, 1)
typedef struct AlgTouchPoint {
  int32_t tool;        // 0 finger, 1 stylus
  int32_t x;           // Luma: 1/100 pixel
  int32_t y;
  int32_t id;          // slot id
  int32_t tilt_x;
  int32_t tilt_y;
  int32_t distance;    // hover height
  int32_t pressure;
  int32_t reserved[5];
  int32_t action;      // ALG_TOUCH_ACTION_*
} AlgTouchPoint;
#pragma pack(pop)

VENDOR_ASSERT_SIZE(AlgTouchPoint, 56);
VENDOR_ASSERT_OFFSET(AlgTouchPoint, x, 4);
VENDOR_ASSERT_OFFSET(AlgTouchPoint, y, 8);
VENDOR_ASSERT_OFFSET(AlgTouchPoint, id, 12);
VENDOR_ASSERT_OFFSET(AlgTouchPoint, tilt_x, 16);
VENDOR_ASSERT_OFFSET(AlgTouchPoint, pressure, 28);
VENDOR_ASSERT_OFFSET(AlgTouchPoint, action, 52);

// ---------------------------------------------------------------------------------------
// AlgHostCallbacks: ten slots owned by the host. A module keeps only the pointer and tests
// each slot for null before calling it.
enum AlgHostCallbackSlot {
  ALG_HOST_REPORT_POINTS = 0,
  ALG_HOST_FRAME_PROCESSED = 1,
  ALG_HOST_FINGERPRINT_AREA = 2,
  ALG_HOST_STATE_CHANGE = 3,
  ALG_HOST_DRIVER_REQUEST = 4,
  ALG_HOST_UNUSED_5 = 5,
  ALG_HOST_LOG = 6,
  ALG_HOST_DEBUG_FRAME_INFO = 7,
  ALG_HOST_CONTROLLER_WRITE = 8,
  ALG_HOST_REGISTER_TIMER = 9
};

// Driver request types the modules send through ALG_HOST_DRIVER_REQUEST; they are the
// HAL's send-to-driver types.
#define ALG_DRIVER_REQUEST_DOZE 1
#define ALG_DRIVER_REQUEST_IDLE_BASELINE 2
#define ALG_DRIVER_REQUEST_CALIBRATION 19
#define ALG_DRIVER_REQUEST_BASE_TAKEN 23

// Ferrant's controller write goes to this register with a final argument of 1.
#define ALG_CONTROLLER_WRITE_REGISTER 0x10174u

typedef void (*alg_host_report_points_fn)(AlgTouchPoint *points, uint8_t count);
typedef void (*alg_host_frame_processed_fn)(DecodedFrame *frame);
typedef void (*alg_host_u8_fn)(uint8_t value);
// Ferrant passes the number of 32-bit values; Luma passes the payload length in bytes.
typedef int32_t (*alg_host_driver_request_words_fn)(uint32_t type, uint32_t *values, uint32_t count);
typedef int32_t (*alg_host_driver_request_bytes_fn)(uint32_t type, uint32_t *payload, uint32_t length);
typedef void (*alg_host_log_fn)(int32_t level, const char *format, ...);
// Ferrant: a pointer to a 64-bit cell holding the frame's mutual pointer;
// Luma: a pointer to its per-frame debug record.
typedef void (*alg_host_debug_frame_info_fn)(void *info);
// Returns 0 when written.
typedef int32_t (*alg_host_controller_write_fn)(uint32_t reg, uint8_t *packet, uint32_t length, uint32_t flag);
typedef int32_t (*alg_host_register_timer_fn)(timer_tool *timer, timer_tool_handler handler);
typedef void (*alg_generic_fn)(void);

#pragma pack(push, 1)
typedef struct AlgHostCallbacks {
  alg_host_report_points_fn report_points;          // 0: (points, count); up to 12 points
  alg_host_frame_processed_fn frame_processed;      // 1: the frame update-frame-data got
  alg_host_u8_fn fingerprint_area;                  // 2: 1 touched, 0 released
  alg_host_u8_fn state_change;                      // 3: Ferrant large-area flag; Luma pocket-palm state
  union {
    alg_host_driver_request_words_fn ferrant;       //    count = number of u32 values
    alg_host_driver_request_bytes_fn luma;          //    length in bytes
  } driver_request;                                 // 4
  alg_generic_fn unused5;                           // 5
  alg_host_log_fn log;                              // 6: printf-style
  alg_host_debug_frame_info_fn debug_frame_info;    // 7
  alg_host_controller_write_fn controller_write;    // 8: Ferrant only
  alg_host_register_timer_fn register_timer;        // 9: fills the timer's hooks
} AlgHostCallbacks;
#pragma pack(pop)

VENDOR_ASSERT_SIZE(AlgHostCallbacks, 80);
VENDOR_ASSERT_OFFSET(AlgHostCallbacks, report_points, 8 * ALG_HOST_REPORT_POINTS);
VENDOR_ASSERT_OFFSET(AlgHostCallbacks, frame_processed, 8 * ALG_HOST_FRAME_PROCESSED);
VENDOR_ASSERT_OFFSET(AlgHostCallbacks, fingerprint_area, 8 * ALG_HOST_FINGERPRINT_AREA);
VENDOR_ASSERT_OFFSET(AlgHostCallbacks, state_change, 8 * ALG_HOST_STATE_CHANGE);
VENDOR_ASSERT_OFFSET(AlgHostCallbacks, driver_request, 8 * ALG_HOST_DRIVER_REQUEST);
VENDOR_ASSERT_OFFSET(AlgHostCallbacks, unused5, 8 * ALG_HOST_UNUSED_5);
VENDOR_ASSERT_OFFSET(AlgHostCallbacks, log, 8 * ALG_HOST_LOG);
VENDOR_ASSERT_OFFSET(AlgHostCallbacks, debug_frame_info, 8 * ALG_HOST_DEBUG_FRAME_INFO);
VENDOR_ASSERT_OFFSET(AlgHostCallbacks, controller_write, 8 * ALG_HOST_CONTROLLER_WRITE);
VENDOR_ASSERT_OFFSET(AlgHostCallbacks, register_timer, 8 * ALG_HOST_REGISTER_TIMER);

// ---------------------------------------------------------------------------------------
// AlgModule: 184 bytes, owned by the module (one static instance, never freed).
enum AlgModuleSlot {
  ALG_SLOT_INIT = 0,
  ALG_SLOT_EXIT = 1,
  ALG_SLOT_UPDATE_SUSPEND_STATUS = 4,
  ALG_SLOT_RECEIVE_COMMON_DATA = 5,
  ALG_SLOT_UPDATE_FRAME_DATA = 6,
  ALG_SLOT_UPDATE_DIFF_DATA = 7,
  ALG_SLOT_READ_CONFIG_PARAM = 9,
  ALG_SLOT_GET_VERSION = 11,
  ALG_SLOT_DUMP_SAVE = 13,
  ALG_SLOT_DUMP_CSV = 14
};
#define ALG_MODULE_SLOTS_OFFSET 40

typedef int32_t (*alg_init_fn)(void);
typedef int32_t (*alg_exit_fn)(void);
typedef int32_t (*alg_suspend_u32_fn)(uint32_t status);                 // Ferrant: bit 0 = suspend
typedef int32_t (*alg_suspend_bool_fn)(bool suspend);                   // Luma
typedef int32_t (*alg_common_data_fn)(common_data *data);               // Ferrant
typedef int32_t (*alg_common_data_result_fn)(const common_data *data, uint32_t *result);  // Luma
typedef int32_t (*alg_update_frame_data_fn)(DecodedFrame *frame);
typedef int32_t (*alg_update_diff_data_2_fn)(uint64_t ignored, DecodedFrame *frame);      // Ferrant
typedef uint8_t (*alg_update_diff_data_fn)(DecodedFrame *frame);                          // Luma
// The descriptor is the fourth argument; the first three words are not read.
typedef int32_t (*alg_read_config_param_fn)(uint64_t unused0, uint64_t unused1, uint64_t unused2, int32_t fd);
typedef const char *(*alg_get_version_fn)(void);
typedef int32_t (*alg_dump_save_fn)(uint8_t index, uint32_t *out, uint32_t *out_length, uint8_t flags);  // Ferrant
typedef bool (*alg_dump_save_busy_fn)(uint8_t kind, void *buffer, uint32_t *length, bool busy);        // Luma
typedef int32_t (*alg_dump_csv_fn)(const uint8_t *in, uint32_t in_length, int32_t index, char *text,
                                   uint8_t flags);                                                      // Ferrant
typedef uint32_t (*alg_dump_csv_dest_fn)(void *text_buffer, uint64_t unused, int32_t kind,
                                         void *destination);                                            // Luma

#pragma pack(push, 1)
typedef struct AlgModule {
  char name[ALG_MODULE_NAME_LEN];    // NUL-padded
  uint8_t initialised;               // Ferrant: always 1; Luma: 1 after init
  uint8_t reserved[7];
  alg_init_fn init;                                                          // 0
  alg_exit_fn exit;                                                          // 1
  alg_generic_fn slot2;                                                      // 2
  alg_generic_fn slot3;                                                      // 3
  union { alg_suspend_u32_fn ferrant; alg_suspend_bool_fn luma; } update_suspend_status;     // 4
  union { alg_common_data_fn ferrant; alg_common_data_result_fn luma; } receive_common_data;  // 5
  alg_update_frame_data_fn update_frame_data;                                // 6
  union { alg_update_diff_data_2_fn ferrant; alg_update_diff_data_fn luma; } update_diff_data;  // 7
  alg_generic_fn slot8;                                                      // 8
  alg_read_config_param_fn read_config_param;                               // 9
  alg_generic_fn slot10;                                                     // 10
  alg_get_version_fn get_version;                                            // 11
  alg_generic_fn slot12;                                                     // 12
  union { alg_dump_save_fn ferrant; alg_dump_save_busy_fn luma; } dump_save;  // 13
  union { alg_dump_csv_fn ferrant; alg_dump_csv_dest_fn luma; } dump_csv;    // 14
  alg_generic_fn slot15;                                                     // 15
  alg_generic_fn slot16;                                                     // 16
  alg_generic_fn slot17;                                                     // 17
} AlgModule;
#pragma pack(pop)

#define ALG_SLOT_OFFSET(slot) (ALG_MODULE_SLOTS_OFFSET + 8 * (slot))
VENDOR_ASSERT_SIZE(AlgModule, 184);
VENDOR_ASSERT_OFFSET(AlgModule, name, 0);
VENDOR_ASSERT_OFFSET(AlgModule, initialised, 32);
VENDOR_ASSERT_OFFSET(AlgModule, init, ALG_SLOT_OFFSET(ALG_SLOT_INIT));
VENDOR_ASSERT_OFFSET(AlgModule, exit, ALG_SLOT_OFFSET(ALG_SLOT_EXIT));
VENDOR_ASSERT_OFFSET(AlgModule, update_suspend_status, ALG_SLOT_OFFSET(ALG_SLOT_UPDATE_SUSPEND_STATUS));
VENDOR_ASSERT_OFFSET(AlgModule, receive_common_data, ALG_SLOT_OFFSET(ALG_SLOT_RECEIVE_COMMON_DATA));
VENDOR_ASSERT_OFFSET(AlgModule, update_frame_data, ALG_SLOT_OFFSET(ALG_SLOT_UPDATE_FRAME_DATA));
VENDOR_ASSERT_OFFSET(AlgModule, update_diff_data, ALG_SLOT_OFFSET(ALG_SLOT_UPDATE_DIFF_DATA));
VENDOR_ASSERT_OFFSET(AlgModule, read_config_param, ALG_SLOT_OFFSET(ALG_SLOT_READ_CONFIG_PARAM));
VENDOR_ASSERT_OFFSET(AlgModule, get_version, ALG_SLOT_OFFSET(ALG_SLOT_GET_VERSION));
VENDOR_ASSERT_OFFSET(AlgModule, dump_save, ALG_SLOT_OFFSET(ALG_SLOT_DUMP_SAVE));
VENDOR_ASSERT_OFFSET(AlgModule, dump_csv, ALG_SLOT_OFFSET(ALG_SLOT_DUMP_CSV));
VENDOR_ASSERT_OFFSET(AlgModule, slot17, ALG_SLOT_OFFSET(17));

// The module's one export: keeps `callbacks` (null allowed) and returns its record.
AlgModule *register_alg_module(AlgHostCallbacks *callbacks);
typedef AlgModule *(*register_alg_module_fn)(AlgHostCallbacks *callbacks);

#ifdef __cplusplus
}
#endif
