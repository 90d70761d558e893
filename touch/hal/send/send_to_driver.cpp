// The send-to-driver interface: commands and status values from the module and its host to
// the touch driver.
#include "send/send_to_driver.h"

#include <fcntl.h>
#include <string.h>

#include <atomic>

#include "common_data.h"
#include "platform/devio.h"
#include "report/hal_report.h"

namespace {

constexpr const char *kSendFn = "hal_send_to_driver";

struct TypeInfo {
  uint16_t mode;
  uint8_t cmd;
};

// Indexed by type. Types 6 to 9 normally go to their nodes; when a node is closed they fall
// back to a record with mode 0.
constexpr TypeInfo kTypes[HAL_SEND_TYPE_MAX + 1] = {
    {26, COMMON_DATA_CMD_DRIVER_STATE},
    {1000, COMMON_DATA_CMD_SET_MODE_VALUE},
    {1071, COMMON_DATA_CMD_SET_MODE_VALUE},
    {1001, COMMON_DATA_CMD_SET_MODE_VALUE},
    {1011, COMMON_DATA_CMD_SET_MODE_VALUE},
    {1004, COMMON_DATA_CMD_SET_MODE_VALUE},
    {0, COMMON_DATA_CMD_SET_MODE_VALUE},
    {0, COMMON_DATA_CMD_SET_MODE_VALUE},
    {0, COMMON_DATA_CMD_SET_MODE_VALUE},
    {0, COMMON_DATA_CMD_SET_MODE_VALUE},
    {3045, COMMON_DATA_CMD_SET_IC_CMD},
    {3045, COMMON_DATA_CMD_GET_IC_CMD},
    {1016, COMMON_DATA_CMD_SET_MODE_VALUE},
    {200, COMMON_DATA_CMD_SET_MODE_VALUE},
    {1084, COMMON_DATA_CMD_SET_MODE_VALUE},
    {1076, COMMON_DATA_CMD_SET_MODE_VALUE},
    {1091, COMMON_DATA_CMD_SET_MODE_VALUE},
    {1092, COMMON_DATA_CMD_SET_MODE_VALUE},
    {1098, COMMON_DATA_CMD_SET_MODE_VALUE},
    {1099, COMMON_DATA_CMD_SET_MODE_VALUE},
    {1100, COMMON_DATA_CMD_SET_MODE_VALUE},
    {1101, COMMON_DATA_CMD_SET_MODE_VALUE},
    {1102, COMMON_DATA_CMD_SET_MODE_VALUE},
    {1103, COMMON_DATA_CMD_SET_MODE_VALUE},
};

struct SysfsNode {
  const char *path;
  const char *label;  // as the open failure names it
  std::atomic<int> fd{-1};
};

SysfsNode g_abnormal{HAL_SYSFS_ABNORMAL_EVENT, "abnormal_event"};
SysfsNode g_fingerStatus{HAL_SYSFS_FINGER_STATUS, "touch_finger_status"};
SysfsNode g_icCmdData{HAL_SYSFS_IC_CMD_DATA, "touch_thp_ic_cmd_data_fd"};
SysfsNode *const kNodes[] = {&g_abnormal, &g_fingerStatus, &g_icCmdData};

std::atomic<uint8_t> g_touchId{0};
std::atomic<bool> g_setIcCmd{false};
std::atomic<bool> g_getIcCmd{false};
std::atomic<int32_t> g_gameIdleThd{0};

// Sysfs attributes take each write whole; writing at offset 0 keeps that true for a plain
// file standing in for the node as well.
int32_t writeNode(const SysfsNode &node, const void *bytes, size_t length) {
  return static_cast<int32_t>(plat_pwrite(node.fd.load(), bytes, length, 0));
}

int32_t commonDataIoctl(common_data *record, uint32_t direction) {
  return tamrel_touch_ioctl(TOUCH_IOC_COMMON_DATA, sizeof(common_data), reinterpret_cast<unsigned long>(record),
                            direction);
}

// A common_data record carries at most COMMON_DATA_VALUE_COUNT values.
bool countFits(uint32_t count) {
  if (count > COMMON_DATA_VALUE_COUNT) {
    HAL_LOG_AS(HAL_LOG_ERROR, kSendFn, "count %u above %u, stop to send", count, COMMON_DATA_VALUE_COUNT);
    return false;
  }
  return true;
}

// Types whose node takes count bytes, not count words: the caller's array holds count
// bytes (the 6-byte abnormal record, the IC command bytes), and a record standing in for
// the node must not read past them.
bool countsBytes(uint32_t type) { return type == HAL_SEND_IC_CMD_DATA || type == HAL_SEND_ABNORMAL; }

common_data makeRecord(uint32_t type, const uint32_t *values, uint32_t count) {
  common_data record;
  memset(&record, 0, sizeof record);
  record.touch_id = g_touchId.load();
  record.cmd = kTypes[type].cmd;
  record.mode = kTypes[type].mode;
  record.count = static_cast<uint16_t>(count);
  const size_t bytes = countsBytes(type) ? count : count * sizeof(uint32_t);
  if (bytes > 0) memcpy(record.values, values, bytes);
  return record;
}

void passToStateHooks(const uint32_t *values, uint32_t count) {
  for (uint32_t i = 0; i < HAL_FUNCTION_INTERFACE_COUNT; ++i) {
    const HalFunctionInterface *itf = get_hal_function_interface(i);
    if (itf != nullptr && itf->state != nullptr) itf->state(values, count);
  }
}

// The abnormal-event record goes to the report-point timer and the frame watchdogs too.
void passAbnormalRecord(const uint8_t *record) {
  const HalFunctionInterface *report = get_hal_function_interface(HAL_IF_REPORT);
  if (report != nullptr && report->extra[HAL_REPORT_HOOK_DRIVER_EVENT] != nullptr) {
    reinterpret_cast<hal_report_driver_event_fn>(report->extra[HAL_REPORT_HOOK_DRIVER_EVENT])(record);
  }
  const HalFunctionInterface *frame = get_hal_function_interface(HAL_IF_GET_FRAME_DATA);
  if (frame != nullptr && frame->extra[0] != nullptr) {
    reinterpret_cast<hal_frame_idle_mode_fn>(frame->extra[0])(record);
  }
}

int32_t readIcCmd(uint32_t *values, uint32_t count) {
  if (!g_getIcCmd.load()) return 0;
  if (!countFits(count)) return HAL_RESULT_FAILED;
  common_data record = makeRecord(HAL_SEND_GET_IC_CMD, values, count);
  int32_t result = commonDataIoctl(&record, TOUCH_IOC_DIR_READ);
  if (result < 0) return result;
  // The driver says how many bytes it answered; the caller's array bounds what is copied.
  size_t answered = record.count;
  size_t room = static_cast<size_t>(count) * sizeof(uint32_t);
  if (answered > room) {
    HAL_LOG_AS(HAL_LOG_ERROR, kSendFn, "driver answered %zu bytes, only %zu fit, cut", answered, room);
    answered = room;
  }
  if (answered > 0) memcpy(values, record.values, answered);
  return 0;
}

int32_t sendToDriver(uint32_t type, uint32_t *values, uint32_t count) {
  if (type > HAL_SEND_TYPE_MAX) {
    HAL_LOG_AS(HAL_LOG_ERROR, kSendFn, "unknow type, stop to send");
    return HAL_RESULT_FAILED;
  }
  if (count > 0 && values == nullptr) {
    HAL_LOG_AS(HAL_LOG_ERROR, kSendFn, "values is NULL with count %u, stop to send", count);
    return HAL_RESULT_FAILED;
  }
  switch (type) {
    case HAL_SEND_ABNORMAL:
      if (count == HAL_ABNORMAL_RECORD_SIZE && g_abnormal.fd.load() >= 0) {
        passAbnormalRecord(reinterpret_cast<const uint8_t *>(values));
        return writeNode(g_abnormal, values, HAL_ABNORMAL_RECORD_SIZE);
      }
      break;
    case HAL_SEND_FINGER_STATUS:
      if (g_fingerStatus.fd.load() >= 0) {
        const char status = count > 0 && values[0] != 0 ? '1' : '0';
        return writeNode(g_fingerStatus, &status, 1);
      }
      break;
    case HAL_SEND_IC_CMD_DATA:
      // count bytes of a count-word array: always inside the caller's values.
      if (g_icCmdData.fd.load() >= 0) return writeNode(g_icCmdData, values, count);
      break;
    case HAL_SEND_FW_VERSION: {
      int fd = plat_open(HAL_PROC_FW_VERSION, O_WRONLY | O_CLOEXEC);
      if (fd < 0) {
        HAL_LOG_AS(HAL_LOG_ERROR, kSendFn, "open version node error, return is %d", fd);
        return fd;
      }
      plat_write(fd, values, count);
      plat_close(fd);
      return 0;
    }
    case HAL_SEND_SET_IC_CMD:
      if (!g_setIcCmd.load()) return 0;
      break;
    case HAL_SEND_GET_IC_CMD:
      return readIcCmd(values, count);
    case HAL_SEND_DOZE:
      passToStateHooks(values, count);
      break;
    default:
      break;
  }
  if (!countFits(count)) return HAL_RESULT_FAILED;
  common_data record = makeRecord(type, values, count);
  return commonDataIoctl(&record, TOUCH_IOC_DIR_WRITE);
}

int32_t updateQsdData(const uint8_t *record) {
  if (record == nullptr) return HAL_RESULT_FAILED;
  uint16_t dtb = 0;
  memcpy(&dtb, record + 4, sizeof dtb);
  HAL_LOG_AS(HAL_LOG_INFO, "hal_update_qsd_data", "DTB %d", dtb);
  // The record is 6 bytes; a fallback common_data record reads count words, so the record
  // travels in a zeroed array of that many words.
  uint32_t words[HAL_ABNORMAL_RECORD_SIZE] = {};
  memcpy(words, record, HAL_ABNORMAL_RECORD_SIZE);
  return sendToDriver(HAL_SEND_ABNORMAL, words, HAL_ABNORMAL_RECORD_SIZE);
}

int32_t sendInit(TouchPanelInfo * /*panel*/, int32_t /*fd*/, uint8_t touchId, uint8_t /*replay_flag*/) {
  g_touchId.store(touchId);
  for (SysfsNode *node : kNodes) {
    // One attempt: a node the driver does not offer stays closed and its type falls back to
    // a common_data record.
    int fd = file_access_and_open_bounded(node->path, O_RDWR | O_CLOEXEC, 1, nullptr);
    if (fd < 0) {
      HAL_LOG_AS(HAL_LOG_ERROR, "hal_send_to_driver_init", "touch id %d Can't open %s:%d", touchId, node->label, fd);
    }
    node->fd.store(fd);
  }
  return 0;
}

int32_t sendExit(void) {
  for (SysfsNode *node : kNodes) {
    int fd = node->fd.exchange(-1);
    if (fd >= 0) plat_close(fd);
  }
  return 0;
}

int32_t sendCommonData(common_data *data, int32_t *passToDriver) {
  if (data == nullptr) {
    HAL_LOG_AS(HAL_LOG_INFO, "receive_common_data", "common data is %p", static_cast<void *>(data));
    return -1;
  }
  if (data->cmd != COMMON_DATA_CMD_SET_MODE_VALUE || data->mode != COMMON_DATA_MODE_GAME_IDLE_THRESHOLD) return 0;
  if (passToDriver != nullptr) *passToDriver = 0;
  uint32_t values[4] = {};
  if (data->values[0] != 0) {
    int32_t thd = g_gameIdleThd.load();
    values[0] = static_cast<uint32_t>(thd);
    HAL_LOG_AS(HAL_LOG_INFO, "user_cmd_set_cur_value", "game idle thd reduse: %d percent", thd * 10);
  } else {
    HAL_LOG_AS(HAL_LOG_INFO, "user_cmd_set_cur_value", "game idle thd restore");
  }
  sendToDriver(HAL_SEND_GAME_IDLE, values, 4);
  return 0;
}

int32_t sendReadConfig(void * /*context*/, void *tree, void *accessor) {
  const auto *cfg = static_cast<const HalConfigAccessor *>(accessor);
  if (cfg == nullptr) return 0;
  g_setIcCmd.store(cfg->get_int_config(tree, "interface_for_vendor.set_ic_cmd", 0) != 0);
  g_getIcCmd.store(cfg->get_int_config(tree, "interface_for_vendor.get_ic_cmd", 0) != 0);
  g_gameIdleThd.store(cfg->get_int_config(tree, "threshold1.game_idle_thd", 0));
  return 0;
}

const HalFunctionInterface kSendInterface = {
    .init = sendInit,
    .exit = sendExit,
    .receive_common_data = sendCommonData,
    .read_config = sendReadConfig,
    .dump_get = nullptr,
    .dump_send = nullptr,
    .suspend = nullptr,
    .rate_change = nullptr,
    .state = nullptr,
    .process1 = reinterpret_cast<hal_generic_fn>(static_cast<hal_send_to_driver_fn>(sendToDriver)),
    .process2 = reinterpret_cast<hal_generic_fn>(static_cast<hal_update_qsd_fn>(updateQsdData)),
    .extra = {nullptr, nullptr, nullptr},
};

}  // namespace

const HalFunctionInterface *hal_send_interface(void) { return &kSendInterface; }
