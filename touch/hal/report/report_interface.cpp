// The report interface: points from the host to the input system, the super-resolution grid,
// the touching state and the report-related commands.
#include <math.h>
#include <stdio.h>
#include <string.h>

#include <atomic>
#include <mutex>

#include "common_data.h"
#include "platform/devio.h"
#include "report/hal_report.h"
#include "report/point_method.h"
#include "report/report_timer.h"
#include "send/send_to_driver.h"

namespace {

constexpr const char *kCmdFn = "receive_common_data";
constexpr int64_t kEventGapUs = 20000;  // a release this long after the first touch counts as an event

struct ReportSettings {
  int32_t supportFinger = 1;
  int32_t supportStylus = 0;
  int32_t version = 1;
  int32_t normalSr = 0;
  int32_t gameSrDefault = 0;
  int32_t gameSr0 = 0;
  int32_t gameSr1 = 0;
};

// The 32-byte record written to the device when writing time is on.
#pragma pack(push, 1)
struct TimeRecord {
  char tag[8];           // "thp_time"
  uint64_t frameTimeNs;  // b of the time hook
  uint64_t syncNs;       // CLOCK_MONOTONIC of the last sync
  uint64_t frameCount;   // a of the time hook
};
#pragma pack(pop)
static_assert(sizeof(TimeRecord) == 32, "the time record is 32 bytes");

struct ReportState {
  std::mutex reportLock;  // reports, suspend and release
  std::mutex eventLock;   // the touch event count and the touching test of its query

  ReportSettings cfg;
  const ReportPointMethod *method = nullptr;
  int32_t initFd = -1;
  uint8_t scaleFactor = 1;

  std::atomic<bool> suspended{false};
  bool releasePending = false;
  float s = 1.0f;  // scale factor / current super resolution
  int32_t currentSr = 0;
  bool gameMode = false;
  int32_t higherSrSelector = -1;  // negative until a command sets it
  std::atomic<uint32_t> touching{0};
  bool touchStatic = false;
  bool touchBoostPending = false;
  int64_t firstTouchUs = 0;
  int32_t eventCount = 0;
  bool writeTime = false;
  TimeRecord time = {{'t', 'h', 'p', '_', 't', 'i', 'm', 'e'}, 0, 0, 0};
};

ReportState g_r;

const ReportPointTimer *timer() { return get_report_point_timer(); }

int64_t nowUs() { return static_cast<int64_t>(hal_monotonic_ns() / 1000); }

// ---- super resolution --------------------------------------------------------------

void applySuperResolution(int32_t value) {
  if (value <= 0 || value > g_r.scaleFactor) return;
  g_r.currentSr = value;
  g_r.s = static_cast<float>(g_r.scaleFactor) / static_cast<float>(value);
  HAL_LOG_AS(HAL_LOG_INFO, "update_super_resolution_with_value", "set super resolution to %d", value);
}

int32_t gameSuperResolution() {
  if (g_r.higherSrSelector < 0) return g_r.cfg.gameSrDefault;
  return g_r.higherSrSelector > 0 ? g_r.cfg.gameSr1 : g_r.cfg.gameSr0;
}

int32_t quantise(int32_t v, float s) {
  // Single precision, as the grid has always been computed.
  float cells = truncf(static_cast<float>(v) / s);
  float back = cells * s;
  if (!(back > -2147483648.0f && back < 2147483648.0f)) return v;
  return static_cast<int32_t>(back);
}

// ---- reporting ---------------------------------------------------------------------

void hotAreaStrategy(const AlgTouchPoint *points, int32_t count) {
  const HalFunctionInterface *hot = get_hal_function_interface(HAL_IF_HOT_AREA);
  if (hot == nullptr || hot->extra[1] == nullptr) return;
  using StrategyFn = int32_t (*)(const AlgTouchPoint *, int32_t);
  reinterpret_cast<StrategyFn>(hot->extra[1])(points, count);
}

// Called with reportLock held.
void releaseAll(bool force) {
  if (g_r.method == nullptr) return;
  bool released = g_r.method->finger_release_all(force);
  released = g_r.method->stylus_release(force) || released;
  if (g_r.touchStatic && released && nowUs() - g_r.firstTouchUs > kEventGapUs) {
    std::lock_guard<std::mutex> guard(g_r.eventLock);
    ++g_r.eventCount;
  }
}

// Called with reportLock held.
void syncAndNotify() {
  thp_atrace_name(1, "hal_sync");
  uint32_t finger = g_r.method != nullptr ? g_r.method->finger_sync() : 0;
  uint32_t stylus = g_r.method != nullptr ? g_r.method->stylus_sync() : 0;
  thp_atrace_end(1);
  const uint32_t touching = finger > stylus ? finger : stylus;
  const uint32_t before = g_r.touching.load();
  if (g_r.touchStatic && before == 0 && touching != 0) {
    g_r.firstTouchUs = nowUs();
    if (g_r.touchBoostPending) {
      HAL_LOG_AS(HAL_LOG_INFO, "hal_sync", "wait 10s first touch down!");
      g_r.touchBoostPending = false;
      uint32_t one = 1;
      hal_send_to_driver(HAL_SEND_TOUCH_BOOST, &one, 1);
    }
  }
  if (touching != before) {
    {
      std::lock_guard<std::mutex> guard(g_r.eventLock);
      g_r.touching.store(touching);
    }
    HalHostCallbacks *host = get_hal_module_callback();
    if (host != nullptr && host->touch_state != nullptr) host->touch_state(touching);
  }
  if (g_r.writeTime && g_r.initFd >= 0) {
    g_r.time.syncNs = hal_monotonic_ns();
    plat_write(g_r.initFd, &g_r.time, sizeof g_r.time);
  }
}

void directReport(const AlgTouchPoint *points, int32_t count) {
  std::lock_guard<std::mutex> guard(g_r.reportLock);
  if (g_r.suspended.load() || g_r.method == nullptr) return;
  if (count <= 0 || points == nullptr) {
    hotAreaStrategy(nullptr, 0);
    releaseAll(g_r.releasePending);
    g_r.releasePending = false;
  } else {
    AlgTouchPoint local[HAL_REPORT_POINTS_MAX];
    // Callers pass at most HAL_REPORT_POINTS_MAX (reportPoints and the timer's twelve).
    const int32_t n = count < HAL_REPORT_POINTS_MAX ? count : HAL_REPORT_POINTS_MAX;
    for (int32_t i = 0; i < n; ++i) {
      local[i] = points[i];
      AlgTouchPoint &p = local[i];
      char text[64];
      snprintf(text, sizeof text, "report(%d, %d, %d)", p.action, p.x, p.y);
      thp_atrace_name(1, text);
      thp_atrace_end(1);
      if (p.tool == ALG_TOUCH_TOOL_FINGER || p.tool == ALG_TOUCH_TOOL_STYLUS) {
        p.x = quantise(p.x, g_r.s);
        p.y = quantise(p.y, g_r.s);
      }
    }
    hotAreaStrategy(local, n);
    for (int32_t i = 0; i < n; ++i) {
      if (local[i].tool == ALG_TOUCH_TOOL_STYLUS) {
        g_r.method->stylus_report(&local[i]);
      } else if (local[i].tool == ALG_TOUCH_TOOL_FINGER) {
        g_r.method->finger_report(&local[i]);
      }
    }
  }
  syncAndNotify();
}

void timerReport(const AlgTouchPoint *points, int32_t count) { directReport(points, count); }

int32_t reportPoints(const AlgTouchPoint *points, uint32_t count) {
  if (g_r.suspended.load()) return 0;
  const int32_t n = static_cast<int32_t>(count < HAL_REPORT_POINTS_MAX ? count : HAL_REPORT_POINTS_MAX);
  if (points == nullptr && n > 0) return HAL_RESULT_FAILED;
  if (static_cast<uint32_t>(n) < count) {
    HAL_LOG_AS(HAL_LOG_ERROR, "hal_report_point", "%u points, report the first %d", count, n);
  }
  for (int32_t i = 0; i < n; ++i) {
    if (points[i].tool == ALG_TOUCH_TOOL_STYLUS) {
      directReport(points, n);
      return 0;
    }
  }
  uint32_t signature = 0;
  for (int32_t i = 0; i < n; ++i) {
    const AlgTouchPoint &p = points[i];
    if (p.action == ALG_TOUCH_ACTION_UP) continue;
    signature |= (static_cast<uint32_t>(p.y) << 12) | (static_cast<uint32_t>(p.x) << 22);
    if (p.id >= 0 && p.id < 32) signature |= 1u << p.id;
  }
  if (!timer()->offer(points, n, signature)) directReport(points, n);
  return 0;
}

// ---- hooks -------------------------------------------------------------------------

// A fresh module starts untouched, resumed and without pending commands; the settings of the
// configuration hook (which runs before init) stay.
void resetRuntimeState() {
  g_r.suspended.store(false);
  g_r.releasePending = false;
  g_r.gameMode = false;
  g_r.higherSrSelector = -1;
  g_r.touching.store(0);
  g_r.touchStatic = false;
  g_r.touchBoostPending = false;
  g_r.firstTouchUs = 0;
  g_r.writeTime = false;
  std::lock_guard<std::mutex> events(g_r.eventLock);
  g_r.eventCount = 0;
}

int32_t reportInit(TouchPanelInfo *panel, int32_t fd, uint8_t touchId, uint8_t hostFlag) {
  std::lock_guard<std::mutex> guard(g_r.reportLock);
  resetRuntimeState();
  g_r.initFd = fd;
  if (panel != nullptr) g_r.scaleFactor = panel->scale;
  timer()->init(panel, timerReport);
  if (g_r.method == nullptr) g_r.method = get_report_point_method_v1();
  const bool finger = g_r.cfg.supportFinger != 0;
  const bool stylus = g_r.cfg.supportStylus != 0;
  if (g_r.method->init(panel, fd, touchId, hostFlag & 1u, finger, stylus) != 0 &&
      g_r.method == get_report_point_method_v2()) {
    HAL_LOG_AS(HAL_LOG_ERROR, "init", "report point V2 init has error, change to V1");
    g_r.method = get_report_point_method_v1();
    g_r.method->init(panel, fd, touchId, hostFlag & 1u, finger, stylus);
  }
  return 0;
}

int32_t reportExit(void) {
  timer()->exit();
  std::lock_guard<std::mutex> guard(g_r.reportLock);
  if (g_r.method != nullptr) g_r.method->exit();
  g_r.method = nullptr;
  return 0;
}

int32_t reportReadConfig(void *context, void *tree, void *accessor) {
  const auto *cfg = static_cast<const HalConfigAccessor *>(accessor);
  {
    std::lock_guard<std::mutex> guard(g_r.reportLock);
    const TouchPanelInfo *panel = hal_panel_info();
    if (panel != nullptr && panel->scale != 0) g_r.scaleFactor = panel->scale;
    const int32_t scale = g_r.scaleFactor;
    ReportSettings s;
    if (cfg != nullptr) {
      s.supportFinger = cfg->get_int_config(tree, "input_device.support_finger", 1);
      s.supportStylus = cfg->get_int_config(tree, "input_device.support_stylus", 0);
      s.version = cfg->get_int_config(tree, "input_device.report_version", 1);
      s.normalSr = cfg->get_int_config(tree, "super_resolution.normal_super_resolution", scale);
      s.gameSrDefault = cfg->get_int_config(tree, "super_resolution.game_super_resolution_default", scale);
      s.gameSr0 = cfg->get_int_config(tree, "super_resolution.game_super_resolution_0", scale);
      s.gameSr1 = cfg->get_int_config(tree, "super_resolution.game_super_resolution_1", scale);
    }
    g_r.cfg = s;
    g_r.s = 1.0f;
    applySuperResolution(s.normalSr);
    g_r.method = s.version == 2 ? get_report_point_method_v2() : get_report_point_method_v1();
  }
  return timer()->read_config(context, tree, accessor);
}

int32_t reportSuspend(uint32_t flag) {
  {
    std::lock_guard<std::mutex> guard(g_r.reportLock);
    const bool suspend = (flag & 1u) != 0;
    g_r.suspended.store(suspend);
    if (suspend) {
      releaseAll(true);
    } else {
      g_r.releasePending = true;
    }
  }
  timer()->suspend(flag);
  return 0;
}

void reportRateChange(uint32_t reportRate, uint32_t /*derived*/) { timer()->display_rate_change(reportRate); }

int32_t eventQuery(common_data *data) {
  std::lock_guard<std::mutex> guard(g_r.eventLock);
  const uint32_t touching = g_r.touching.load();
  const int32_t value = (g_r.eventCount > 0 || touching != 0) ? 1 : 0;
  char text[16];
  int n = snprintf(text, sizeof text, "%d\n", value);
  n = n < 10 ? n : 10;
  memset(data->values, 0, sizeof data->values);
  memcpy(data->values, text, static_cast<size_t>(n));
  data->count = static_cast<uint16_t>(n);
  HAL_LOG_AS(HAL_LOG_VERBOSE, kCmdFn, "hal get event cnt every 2s, event_cnt: %d, value: %d", g_r.eventCount, value);
  if (touching == 0) g_r.eventCount = 0;
  return 0;
}

void setModeValue(const common_data *data, int32_t *pass) {
  const uint32_t value = data->values[0];
  std::lock_guard<std::mutex> guard(g_r.reportLock);
  switch (data->mode) {
    case COMMON_DATA_MODE_GAME:
      g_r.gameMode = value != 0;
      applySuperResolution(g_r.gameMode ? gameSuperResolution() : g_r.cfg.normalSr);
      if (pass != nullptr) *pass = 1;
      return;
    case 1081:
      applySuperResolution(static_cast<int32_t>(value));
      break;
    case 205:
      HAL_LOG_AS(HAL_LOG_INFO, kCmdFn, "enable higher super resolution: %d", value);
      g_r.higherSrSelector = value != 0 ? 1 : 0;
      applySuperResolution(g_r.gameMode ? gameSuperResolution() : g_r.cfg.normalSr);
      break;
    case 1090:
      g_r.writeTime = value != 0;
      HAL_LOG_AS(HAL_LOG_INFO, kCmdFn, "%s write thp time", g_r.writeTime ? "enable" : "disable");
      break;
    case COMMON_DATA_MODE_FIRST_FRAME_BOOST:  // 10001
      if (value == 2) {
        HAL_LOG_AS(HAL_LOG_INFO, kCmdFn, "touch boost enable!");
        g_r.touchBoostPending = true;
        std::lock_guard<std::mutex> events(g_r.eventLock);
        if (g_r.touching.load() == 0) g_r.eventCount = 0;
      } else {
        HAL_LOG_AS(HAL_LOG_INFO, kCmdFn, "touch static enable: %d", value);
        g_r.touchStatic = value != 0;
      }
      break;
    default:
      return;
  }
  if (pass != nullptr) *pass = 0;
}

int32_t reportCommonData(common_data *data, int32_t *pass) {
  if (data == nullptr) return -1;
  int32_t result = timer()->common_data(data, pass);
  switch (data->cmd) {
    case COMMON_DATA_CMD_SET_MODE_VALUE:
      setModeValue(data, pass);
      break;
    case COMMON_DATA_CMD_GET_CUR_VALUE:
      if (data->mode == COMMON_DATA_MODE_FIRST_FRAME_BOOST) {
        eventQuery(data);
        if (pass != nullptr) *pass = 0;
      }
      break;
    case COMMON_DATA_CMD_RESET_MODE: {
      std::lock_guard<std::mutex> guard(g_r.reportLock);
      g_r.gameMode = false;
      applySuperResolution(g_r.cfg.normalSr);
      break;
    }
    default:
      break;
  }
  return result;
}

void reportProcess2(void *arg) {
  const HalFunctionInterface *hot = get_hal_function_interface(HAL_IF_HOT_AREA);
  if (hot == nullptr || hot->process2 == nullptr) return;
  reinterpret_cast<void (*)(void *)>(hot->process2)(arg);
}

void reportTimeValues(uint64_t frameCount, uint64_t arrivalNs) {
  report_timer_set_frame_time(arrivalNs);
  std::lock_guard<std::mutex> guard(g_r.reportLock);
  if (!g_r.writeTime) return;
  g_r.time.frameTimeNs = arrivalNs;
  g_r.time.frameCount = frameCount;
}

void reportDriverEvent(const uint8_t *record) { timer()->driver_event(record); }

int32_t reportDumpGet(uint32_t kind, void *destination, uint32_t *size) {
  return timer()->dump_get(kind, destination, size);
}

int32_t reportDumpSet(const void *source, uint32_t size, uint32_t kind) {
  return timer()->dump_set(source, size, kind);
}

template <typename Fn>
hal_generic_fn generic(Fn fn) {
  return reinterpret_cast<hal_generic_fn>(fn);
}

HalFunctionInterface makeReportInterface() {
  HalFunctionInterface itf = {
      .init = reportInit,
      .exit = reportExit,
      .receive_common_data = reportCommonData,
      .read_config = reportReadConfig,
      .dump_get = generic(reportDumpGet),
      .dump_send = generic(reportDumpSet),
      .suspend = reportSuspend,
      .rate_change = reportRateChange,
      .state = nullptr,
      .process1 = generic(static_cast<hal_report_points_fn>(reportPoints)),
      .process2 = generic(reportProcess2),
      .extra = {generic(static_cast<hal_report_frame_time_fn>(reportTimeValues)),
                generic(static_cast<hal_report_driver_event_fn>(reportDriverEvent)),
                // Not a function: the slot carries the timer's own record.
                reinterpret_cast<hal_generic_fn>(const_cast<ReportPointTimer *>(get_report_point_timer()))},
  };
  return itf;
}

}  // namespace

const HalFunctionInterface *hal_report_interface(void) {
  static const HalFunctionInterface table = makeReportInterface();
  return &table;
}

VENDOR_EXPORT void hal_report_register_vsync_callback(hal_vsync_callback_fn callback) {
  report_timer_set_vsync_callback(callback);
}
