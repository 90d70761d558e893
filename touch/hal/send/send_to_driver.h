#pragma once
// The send-to-driver interface (index 0): the one road by which the module and its host tell
// the touch driver something. Most types become a common_data block written with the
// driver's common-data ioctl; a few go straight to sysfs and procfs nodes of the driver.
// Other areas send through core's hal_send_to_driver (type, values, count).
#include <stdint.h>

#include "core/hal_core.h"

#define HAL_SEND_TYPE_MAX 23u

// The types other areas of the module send by name.
enum HalSendType {
  HAL_SEND_DRIVER_STATE = 0,   // mode 26, command byte 11
  HAL_SEND_DOZE = 1,           // mode 1000; values also reach every interface's state hook
  HAL_SEND_REPORT_RATE = 4,    // mode 1011
  HAL_SEND_FW_VERSION = 6,     // "/proc/tp_fw_version"
  HAL_SEND_IC_CMD_DATA = 7,    // touch_thp_ic_cmd_data
  HAL_SEND_ABNORMAL = 8,       // abnormal_event, 6-byte records
  HAL_SEND_FINGER_STATUS = 9,  // touch_finger_status
  HAL_SEND_SET_IC_CMD = 10,    // mode 3045, command byte 8
  HAL_SEND_GET_IC_CMD = 11,    // mode 3045, command byte 9, read back
  HAL_SEND_TOUCH_BOOST = 13,   // mode 200
  HAL_SEND_GAME_IDLE = 14      // mode 1084
};

#define HAL_ABNORMAL_RECORD_SIZE 6u

#define HAL_SYSFS_ABNORMAL_EVENT "/sys/class/touch/touch_dev/abnormal_event"
#define HAL_SYSFS_FINGER_STATUS "/sys/class/touch/touch_dev/touch_finger_status"
#define HAL_SYSFS_IC_CMD_DATA "/sys/class/touch/touch_dev/touch_thp_ic_cmd_data"
#define HAL_PROC_FW_VERSION "/proc/tp_fw_version"
