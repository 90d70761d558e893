// A small algorithm module for the touch host's tests. Built twice: with TEST_ALG_FERRANT
// it takes the Ferrant arguments (and name), without it the Luma ones.
#include <unistd.h>

#include <atomic>
#include <cstring>

#include "alg_module.h"
#include "test_module_stats.h"
#include "vendor_export.h"

namespace {

#ifdef TEST_ALG_FERRANT
constexpr char kName[] = "ferrant-test-alg";
constexpr char kVersion[] = "ferrant-test-alg-1.0";
#else
constexpr char kName[] = "test-alg";
constexpr char kVersion[] = "test-alg-1.0";
#endif
constexpr int32_t kTimerMs = 5;

AlgHostCallbacks *g_host = nullptr;
TestAlgStats g_stats;
std::atomic<uint32_t> g_timer_expiries{0};
timer_tool g_timer;
bool g_touching = false;
AlgTouchPoint g_points[ALG_TOUCH_POINT_MAX];
AlgTouchPoint g_last;
#ifdef TEST_ALG_FERRANT
uint64_t g_debug_cell = 0;  // holds the frame's mutual pointer for host slot 7
#endif

void send_driver_request(uint32_t type, uint32_t *values, uint32_t words) {
  if (g_host == nullptr) return;
#ifdef TEST_ALG_FERRANT
  if (g_host->driver_request.ferrant != nullptr) g_host->driver_request.ferrant(type, values, words);
#else
  if (g_host->driver_request.luma != nullptr) g_host->driver_request.luma(type, values, words * 4);
#endif
}

int32_t on_timer(timer_tool *) {
  g_timer_expiries.fetch_add(1);
  uint32_t value = 1;
  send_driver_request(ALG_DRIVER_REQUEST_IDLE_BASELINE, &value, 1);
  return 0;
}

int32_t alg_init() {
  ++g_stats.init_calls;
  if (g_host == nullptr) return -22;
  if (g_host->log != nullptr) g_host->log(3, "%s IN, config %u bytes", "test_alg_init", g_stats.config_length);
  if (g_host->register_timer != nullptr && g_host->register_timer(&g_timer, &on_timer) == 0 && g_timer.start) {
    g_timer.start(&g_timer, kTimerMs);
  }
#ifdef TEST_ALG_FERRANT
  // Start frame-data reporting: 00 00 05 cmd p sum 00, sum = 0x05 + cmd + p.
  uint8_t packet[7] = {0x00, 0x00, 0x05, 0x90, 0x01, 0x96, 0x00};
  if (g_host->controller_write != nullptr) g_host->controller_write(ALG_CONTROLLER_WRITE_REGISTER, packet, 7, 1);
#endif
  return 0;
}

int32_t alg_exit() {
  ++g_stats.exit_calls;
  if (g_timer.stop != nullptr) g_timer.stop(&g_timer);
  return 0;
}

void keep_common_data(const common_data *block) {
  if (block == nullptr) return;
  ++g_stats.common_data_count;
  g_stats.last_common_data = *block;
  if (g_host != nullptr && g_host->log != nullptr) {
    g_host->log(3, "common data cmd %u mode %u value %u", unsigned{block->cmd}, unsigned{block->mode},
                unsigned{block->values[0]});
  }
}

#ifdef TEST_ALG_FERRANT
int32_t alg_suspend(uint32_t status) {
  g_stats.suspended = status & 1u;
  return 0;
}
int32_t alg_common_data(common_data *block) {
  keep_common_data(block);
  return 0;
}
#else
int32_t alg_suspend(bool suspend) {
  g_stats.suspended = suspend ? 1 : 0;
  return 0;
}
int32_t alg_common_data(const common_data *block, uint32_t *result) {
  keep_common_data(block);
  // Echo: the result word is the first value plus one.
  if (block != nullptr && result != nullptr) *result = block->values[0] + 1;
  return 0;
}
#endif

int32_t alg_update_frame_data(DecodedFrame *frame) {
  if (frame == nullptr || frame->valid_mark != DECODED_FRAME_VALID_MARK) {
    ++g_stats.invalid_frames;
    return 1;
  }
  ++g_stats.frames_seen;
  if (g_timer.start != nullptr) g_timer.start(&g_timer, kTimerMs);
  if (g_host != nullptr && g_host->frame_processed != nullptr) g_host->frame_processed(frame);
  return 0;
}

void report(DecodedFrame *frame) {
  if (frame == nullptr || frame->mutual == nullptr || g_host == nullptr) return;
  const int16_t *mutual = frame->mutual;
  const int32_t index = frame->frame_index;
  if (mutual[0] > 0) {
    AlgTouchPoint point{};
    point.tool = ALG_TOUCH_TOOL_FINGER;
    point.id = 0;
    point.x = 100 + 10 * index;
    point.y = 200 + 20 * index;
    point.action = g_touching ? ALG_TOUCH_ACTION_MOVE : ALG_TOUCH_ACTION_DOWN;
    g_touching = true;
    g_last = point;
  } else if (g_touching) {
    g_last.action = ALG_TOUCH_ACTION_UP;
    g_touching = false;
  } else {
    return;
  }
  std::memset(g_points, 0, sizeof(g_points));
  g_points[0] = g_last;
  if (g_host->report_points != nullptr) g_host->report_points(g_points, 1);
  if (g_host->debug_frame_info != nullptr) {
#ifdef TEST_ALG_FERRANT
    g_debug_cell = reinterpret_cast<uintptr_t>(frame->mutual);
    g_host->debug_frame_info(&g_debug_cell);
#else
    g_host->debug_frame_info(frame);
#endif
  }
}

#ifdef TEST_ALG_FERRANT
int32_t alg_update_diff_data(uint64_t, DecodedFrame *frame) {
  report(frame);
  return 0;
}
#else
uint8_t alg_update_diff_data(DecodedFrame *frame) {
  report(frame);
  return 0;
}
#endif

int32_t alg_read_config(uint64_t, uint64_t, uint64_t, int32_t fd) {
  if (fd < 1) return 0;
  const ssize_t got = read(fd, g_stats.config, sizeof(g_stats.config));
  g_stats.config_length = got > 0 ? static_cast<uint32_t>(got) : 0;
  return 0;
}

const char *alg_version() { return kVersion; }

AlgModule make_module() {
  AlgModule m{};
  std::strncpy(m.name, kName, sizeof(m.name));
  m.initialised = 1;
  m.init = &alg_init;
  m.exit = &alg_exit;
#ifdef TEST_ALG_FERRANT
  m.update_suspend_status.ferrant = &alg_suspend;
  m.receive_common_data.ferrant = &alg_common_data;
  m.update_diff_data.ferrant = &alg_update_diff_data;
#else
  m.update_suspend_status.luma = &alg_suspend;
  m.receive_common_data.luma = &alg_common_data;
  m.update_diff_data.luma = &alg_update_diff_data;
#endif
  m.update_frame_data = &alg_update_frame_data;
  m.read_config_param = &alg_read_config;
  m.get_version = &alg_version;
  return m;
}

AlgModule g_module = make_module();

}  // namespace

VENDOR_EXPORT AlgModule *register_alg_module(AlgHostCallbacks *callbacks) {
  g_host = callbacks;
  return &g_module;
}

VENDOR_EXPORT void touch_test_alg_stats(TestAlgStats *out) {
  if (out == nullptr) return;
  *out = g_stats;
  out->timer_expiries = g_timer_expiries.load();
}

VENDOR_EXPORT AlgHostCallbacks *touch_test_alg_host() { return g_host; }
