#pragma once
// common_data: the 1032-byte command block of the touch stack. The touch feature service
// builds it, the touch host hands it to the HAL module and the algorithm module, and the
// driver reads and writes it through its common-data ioctl. Little-endian, packed.
#include <stdint.h>

#include "vendor_layout.h"

#ifdef __cplusplus
extern "C" {
#endif

#define COMMON_DATA_VALUE_COUNT 256
#define COMMON_DATA_SIZE 1032

// The command byte.
enum common_data_cmd {
  COMMON_DATA_CMD_SET_MODE_VALUE = 0,   // set a mode value (value[0])
  COMMON_DATA_CMD_GET_CUR_VALUE = 1,    // answer in value[0]
  COMMON_DATA_CMD_GET_DEFAULT_VALUE = 2,
  COMMON_DATA_CMD_GET_MIN_VALUE = 3,
  COMMON_DATA_CMD_GET_MAX_VALUE = 4,
  COMMON_DATA_CMD_GET_MODE_VALUES = 5,  // answer in value[0..3]
  COMMON_DATA_CMD_RESET_MODE = 6,
  COMMON_DATA_CMD_SET_LONG_VALUE = 7,   // array of u32, or stylus data
  COMMON_DATA_CMD_SET_IC_CMD = 8,       // controller command write (mode 3045)
  COMMON_DATA_CMD_GET_IC_CMD = 9,       // controller command read (mode 3045)
  COMMON_DATA_CMD_PACKAGE_DATA = 10,    // package-level text; count is in bytes
  COMMON_DATA_CMD_DRIVER_STATE = 11     // send-to-driver type 0 (mode 26)
};

// The mode numbers that the modules of this system act on. Every other mode number is a
// plain value that travels unchanged.
enum common_data_mode {
  COMMON_DATA_MODE_GAME = 0,                   // game mode on/off
  COMMON_DATA_MODE_IDLE_TIME_SELECT = 1,       // idle (doze) time selection
  COMMON_DATA_MODE_GAME_JITTER_LEVEL = 4,
  COMMON_DATA_MODE_GAME_DOWN_JITTER = 5,
  COMMON_DATA_MODE_GAME_PROFESSIONAL = 6,
  COMMON_DATA_MODE_GAME_EDGE_LEVEL = 7,
  COMMON_DATA_MODE_DISPLAY_ORIENTATION = 8,
  COMMON_DATA_MODE_FINGERPRINT_ENABLE = 10,
  COMMON_DATA_MODE_EDGE_ZONES = 15,            // with COMMON_DATA_CMD_SET_LONG_VALUE
  COMMON_DATA_MODE_DEBUG_LOG_LEVEL = 18,
  COMMON_DATA_MODE_STYLUS_FW_VERSION = 22,
  COMMON_DATA_MODE_PHONE = 25,
  COMMON_DATA_MODE_POCKET_PALM = 26,
  COMMON_DATA_MODE_WATERPROOF = 100,
  COMMON_DATA_MODE_GLOVE = 101,
  COMMON_DATA_MODE_TOUCH_BOOST = 200,
  COMMON_DATA_MODE_GAME_HIGH_IDLE = 203,       // game performance / high-speed idle
  COMMON_DATA_MODE_GAME_IDLE_THRESHOLD = 204,
  COMMON_DATA_MODE_GAME_SUPER_JITTER = 206,
  COMMON_DATA_MODE_HOT_AREA_GAME_KIND = 220,
  COMMON_DATA_MODE_DOZE = 1000,                // send-to-driver type 1
  COMMON_DATA_MODE_IDLE_BASELINE = 1071,       // send-to-driver type 2
  COMMON_DATA_MODE_CHARGE_STATE = 1010,
  COMMON_DATA_MODE_REPORT_RATE = 1011,         // send-to-driver type 4
  COMMON_DATA_MODE_TEST_POINT_COUNT = 1073,
  COMMON_DATA_MODE_TEST_MODE = 1074,
  COMMON_DATA_MODE_TEST_COUNT = 1075,
  COMMON_DATA_MODE_RAW_CAPTURE = 1076,
  COMMON_DATA_MODE_BREAKLINE = 1079,
  COMMON_DATA_MODE_BREAKLINE_SAVE_COUNT = 1080,
  COMMON_DATA_MODE_TRIGGER_COUNT = 1082,
  COMMON_DATA_MODE_GAME_IDLE_REDUCE = 1084,
  // The framework's touch scheduler asks that reports follow vsync (non-zero) or not; the
  // touch feature service's finger-status callback sends the same mode. The HAL's report
  // timer answers it (a get returns whether vsync is requested).
  COMMON_DATA_MODE_VSYNC_REQUEST = 1085,
  COMMON_DATA_MODE_VSYNC_TIME = 1086,          // with COMMON_DATA_CMD_SET_LONG_VALUE: next vsync
  COMMON_DATA_MODE_STYLUS_PRESSURE = 1088,
  COMMON_DATA_MODE_USER_TYPE = 1093,
  COMMON_DATA_MODE_TEMPERATURE = 1094,
  COMMON_DATA_MODE_HOT_AREA_INFO = 1097,
  COMMON_DATA_MODE_TRACE_LEVEL = 1105,
  COMMON_DATA_MODE_IC_CMD = 3045,
  COMMON_DATA_MODE_GAME_TURBO_WHITE_LIST = 10000,
  COMMON_DATA_MODE_FIRST_FRAME_BOOST = 10001,
  COMMON_DATA_MODE_HOT_AREA_GAME_DEFAULT = 10005,
  COMMON_DATA_MODE_PACKAGE_NAME = 10100,
  COMMON_DATA_MODE_GAME_BATTLE = 10101,
  COMMON_DATA_MODE_SUPER_TOUCH_LEVEL = 10105,
  COMMON_DATA_MODE_PENDING_BUFFER_LEVEL = 10106
};

#pragma pack(push, 1)
typedef struct common_data {
  uint8_t touch_id;  // panel: 0 or 1
  uint8_t cmd;       // enum common_data_cmd
  uint16_t mode;     // enum common_data_mode
  uint16_t count;    // number of valid values (bytes for COMMON_DATA_CMD_PACKAGE_DATA)
  uint16_t reserved;
  uint32_t values[COMMON_DATA_VALUE_COUNT];
} common_data;
#pragma pack(pop)

VENDOR_ASSERT_SIZE(common_data, 1032);
VENDOR_ASSERT_OFFSET(common_data, touch_id, 0);
VENDOR_ASSERT_OFFSET(common_data, cmd, 1);
VENDOR_ASSERT_OFFSET(common_data, mode, 2);
VENDOR_ASSERT_OFFSET(common_data, count, 4);
VENDOR_ASSERT_OFFSET(common_data, reserved, 6);
VENDOR_ASSERT_OFFSET(common_data, values, 8);

#ifdef __cplusplus
}
#endif
