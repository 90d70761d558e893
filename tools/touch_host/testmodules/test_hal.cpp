// A small HAL module for the touch host's tests: hands out a scripted run of decoded
// frames (see test_module_stats.h) and records what the host reports and sends.
#include <cstring>
#include <mutex>

#include "hal_module.h"
#include "test_module_stats.h"
#include "vendor_export.h"

namespace {

constexpr char kName[] = "test-hal";
constexpr char kVersion[] = "test-hal-1.0";
constexpr int kRows = 2;  // the panel of its frames: 2 drive x 2 sense lines
constexpr int kColumns = 2;
constexpr int kNodes = kRows * kColumns;
constexpr int kLines = kRows + kColumns;  // values of a self line

HalHostCallbacks *g_host = nullptr;
HalModule g_module;
HalFunctionInterface g_interfaces[HAL_FUNCTION_INTERFACE_COUNT];
// The host's timer thread sends to the driver while a test reads the statistics.
std::mutex g_stats_lock;
TestHalStats g_stats;  // guarded by g_stats_lock
uint32_t g_script_frames = TEST_HAL_DEFAULT_FRAMES;
uint32_t g_next_frame = 0;
bool g_touching = false;

// The ring record and the host's deep copy, each with its own buffers.
DecodedFrame g_ring;
DecodedFrame g_copy;
int16_t g_ring_mutual[kNodes];
int16_t g_copy_mutual[kNodes];
int16_t g_ring_self[2][kLines];
int16_t g_copy_self[2][kLines];

int32_t hal_init(uint32_t touch_id) {
  if (g_host != nullptr && g_host->log != nullptr) g_host->log(5, "%s: Enter", "hal_module_init");
  if (touch_id > HAL_TOUCH_ID_MAX) return HAL_RESULT_FAILED;
  ++g_stats.init_calls;
  g_stats.init_touch_id = touch_id;
  g_next_frame = 0;
  g_touching = false;
  g_module.initialised = 1;
  return 0;
}

int32_t hal_exit() {
  ++g_stats.exit_calls;
  return 0;
}

int32_t hal_set_module_param(uint32_t frames) {
  g_script_frames = frames;
  return 0;
}

int32_t hal_suspend(uint32_t flag) {
  g_stats.suspended = flag & 1u;
  return 0;
}

int32_t hal_common_data(common_data *block, int32_t *pass_to_driver) {
  if (block == nullptr) return -1;
  ++g_stats.common_data_count;
  g_stats.last_common_data_mode = block->mode;
  if (pass_to_driver != nullptr) *pass_to_driver = 1;
  return 0;
}

int32_t hal_report_points(const AlgTouchPoint *points, uint32_t count) {
  bool touching = false;
  {
    std::lock_guard<std::mutex> guard(g_stats_lock);
    ++g_stats.report_calls;
    for (uint32_t i = 0; i < count && points != nullptr; ++i) {
      if (g_stats.points_reported < TEST_HAL_MAX_REPORTS) g_stats.points[g_stats.points_reported++] = points[i];
      if (points[i].action != ALG_TOUCH_ACTION_UP) touching = true;
    }
  }
  if (touching != g_touching) {
    g_touching = touching;
    if (g_host != nullptr && g_host->touch_state != nullptr) g_host->touch_state(touching ? 1 : 0);
  }
  return 0;
}

int32_t hal_send_to_driver(uint32_t type, uint32_t *values, uint32_t count) {
  if (type > 23 || count > COMMON_DATA_VALUE_COUNT) return HAL_RESULT_FAILED;
  std::lock_guard<std::mutex> guard(g_stats_lock);
  ++g_stats.send_calls;
  g_stats.last_send_type = type;
  g_stats.last_send_count = count;
  std::memset(g_stats.last_send_values, 0, sizeof(g_stats.last_send_values));
  // Type 7 counts bytes, every other type 32-bit values.
  const size_t bytes = type == 7 ? count : count * sizeof(uint32_t);
  if (values != nullptr) std::memcpy(g_stats.last_send_values, values, bytes < 16 ? bytes : 16);
  return 0;
}

int32_t hal_get_frame(DecodedFrame **frame_out, DecodedFrame **copy_out) {
  if (g_module.initialised == 0 || g_next_frame >= g_script_frames) return HAL_RESULT_FAILED;
  const uint32_t index = g_next_frame++;
  std::memset(&g_ring, 0, sizeof(g_ring));
  g_ring.valid_mark = DECODED_FRAME_VALID_MARK;
  g_ring.frame_index = static_cast<uint16_t>(index);
  g_ring.frame_count = 1000 + index;
  g_ring.state_code = 4;
  // As a device's decoder does: the panel its buffers hold, the mutual values and both self
  // lines.
  g_ring.rows = kRows;
  g_ring.columns = kColumns;
  g_ring.mutual = g_ring_mutual;
  g_ring.self1 = g_ring_self[0];
  g_ring.self2 = g_ring_self[1];
  for (int i = 0; i < kNodes; ++i) g_ring_mutual[i] = 0;
  g_ring_mutual[0] = index + 1 < g_script_frames ? 100 : 0;
  std::memset(g_ring_self, 0, sizeof(g_ring_self));
  g_copy = g_ring;
  std::memcpy(g_copy_mutual, g_ring_mutual, sizeof(g_copy_mutual));
  std::memcpy(g_copy_self, g_ring_self, sizeof(g_copy_self));
  g_copy.mutual = g_copy_mutual;
  g_copy.self1 = g_copy_self[0];
  g_copy.self2 = g_copy_self[1];
  *frame_out = &g_ring;
  *copy_out = &g_copy;
  ++g_stats.frames_handed_out;
  if (index == TEST_HAL_DRIVER_BLOCK_FRAME && g_host != nullptr && g_host->driver_common_data != nullptr) {
    common_data block;
    std::memset(&block, 0, sizeof(block));
    block.cmd = COMMON_DATA_CMD_SET_MODE_VALUE;
    block.mode = COMMON_DATA_MODE_TEMPERATURE;
    block.count = 1;
    block.values[0] = TEST_HAL_DRIVER_BLOCK_VALUE;
    g_host->driver_common_data(&block);
  }
  return 0;
}

const char *hal_version() { return kVersion; }

}  // namespace

VENDOR_EXPORT HalModule *register_hal_module(HalHostCallbacks *callbacks) {
  g_host = callbacks;
  std::memset(&g_module, 0, sizeof(g_module));
  std::strncpy(g_module.name, kName, sizeof(g_module.name));
  g_module.init = &hal_init;
  g_module.exit = &hal_exit;
  g_module.set_module_param = &hal_set_module_param;
  g_module.update_suspend_status = &hal_suspend;
  g_module.receive_common_data = &hal_common_data;
  g_module.report_points = &hal_report_points;
  g_module.get_version = &hal_version;
  g_module.send_to_driver = &hal_send_to_driver;
  g_module.get_frame = &hal_get_frame;
  return &g_module;
}

VENDOR_EXPORT HalFunctionInterface *get_hal_function_interface(uint32_t index) {
  return index < HAL_FUNCTION_INTERFACE_COUNT ? &g_interfaces[index] : nullptr;
}

VENDOR_EXPORT HalHostCallbacks *get_hal_module_callback() { return g_host; }

VENDOR_EXPORT void touch_test_hal_stats(TestHalStats *out) {
  std::lock_guard<std::mutex> guard(g_stats_lock);
  if (out != nullptr) *out = g_stats;
}
