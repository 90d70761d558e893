// The get-frame-data interface: frame thread, get frame, watchdogs and idle times.
#include "core/frame_data.h"

#include <errno.h>
#include <poll.h>
#include <pthread.h>
#include <string.h>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>

#include "platform/devio.h"

namespace hal {

namespace {
constexpr uint32_t kAbnormalType = 8;
constexpr uint32_t kAbnormalRecordBytes = 6;
constexpr uint32_t kAbnormalKind = 0x00020000;
constexpr uint16_t kModeGame = COMMON_DATA_MODE_GAME;
constexpr uint16_t kModeIdleSelect = COMMON_DATA_MODE_IDLE_TIME_SELECT;
constexpr uint16_t kModeGameHighIdle = COMMON_DATA_MODE_GAME_HIGH_IDLE;
constexpr uint16_t kIdleKindGlove = 1;
constexpr uint16_t kIdleSubKindGlove = 2;
constexpr uint16_t kIdleValueGloveOn = 201;
constexpr int32_t kMaxNodeCount = 1 << 19;  // a 255-page driver buffer holds no more
constexpr int32_t kMaxIdleMs = 24 * 3600 * 1000;
constexpr char kExitEventBytes[8] = {'1', '2', '3', '4', '5', '6', '7', '8'};

int32_t read_int(void *tree, const HalConfigAccessor *accessor, const char *path, int32_t def) {
  if (accessor == nullptr || accessor->get_int_config == nullptr) return def;
  return accessor->get_int_config(tree, path, def);
}

// A configured value kept within [lo, hi]; a value outside is refused with one line.
int32_t within(const char *path, int32_t value, int32_t lo, int32_t hi) {
  if (value >= lo && value <= hi) return value;
  const int32_t kept = std::clamp(value, lo, hi);
  HAL_LOG_AS(HAL_LOG_ERROR, "frame_data_read_config", "%s = %d out of range [%d, %d], use %d", path, value, lo, hi, kept);
  return kept;
}

uint8_t read_u8(void *tree, const HalConfigAccessor *accessor, const char *path, int32_t def) {
  return static_cast<uint8_t>(within(path, read_int(tree, accessor, path, def), 0, 255));
}
int32_t read_nodes(void *tree, const HalConfigAccessor *accessor, const char *path, int32_t def) {
  return within(path, read_int(tree, accessor, path, def), 0, kMaxNodeCount);
}
uint32_t read_ms(void *tree, const HalConfigAccessor *accessor, const char *path, int32_t def) {
  return static_cast<uint32_t>(within(path, read_int(tree, accessor, path, def), 0, kMaxIdleMs));
}

void timer_restart(timer_tool *t, uint32_t ms) {
  if (t->restart != nullptr) t->restart(t, static_cast<int32_t>(ms));
}
void timer_start(timer_tool *t, uint32_t ms) {
  if (t->start != nullptr) t->start(t, static_cast<int32_t>(ms));
}
void timer_stop(timer_tool *t) {
  if (t->stop != nullptr) t->stop(t);
}
void timer_remove(timer_tool *t) {
  timer_stop(t);
  if (t->delete_timer != nullptr) t->delete_timer(t);
}

const HalFunctionInterface *registered_or(uint32_t index, const HalFunctionInterface *fallback) {
  const HalFunctionInterface *iface = get_hal_function_interface(index);
  return iface != nullptr ? iface : fallback;
}
}  // namespace

bool report_rate_change(const DecodedFrame &frame, uint32_t *rate, uint32_t *derived) {
  const uint8_t current = frame.report_rate_codes & 0x0f;
  const uint8_t previous = frame.report_rate_codes >> 4;
  const uint32_t r = frame.report_rate_hz;
  if (current == previous || r == 0) return false;
  if (current == 0 && previous == 4) {
    *derived = r / 2 + 1;
  } else if (current == 4 && previous == 0) {
    *derived = 2 * r - 1;
  } else {
    return false;
  }
  *rate = r;
  return true;
}

DecoderConfig FrameData::defaultConfig() {
  DecoderConfig c{};
  c.columns = 40;
  c.rows = 18;
  c.node_count = 720;
  c.snode_count = 58;
  c.nnode_count = 240;
  c.scan_freq_num = 3;
  c.stylus_col1 = 8;
  c.stylus_row1 = 60;
  c.stylus_col2 = 40;
  c.stylus_row2 = 12;
  return c;
}

// Every buffer of the decoders and of the consumer's copy is sized by the node counts, while
// every frame tells the algorithms its rows and columns: counts of another panel would hand
// them shorter buffers than the frames claim. Such a configuration is kept out, with its
// reason, and the frame interface does not start on it.
void FrameData::refuseConfig(const DecoderConfig &c) {
  static const char kFn[] = "frame_data_read_config";
  const int rows = c.rows, columns = c.columns;
  if (rows == 0 || columns == 0)
    HAL_LOG_AS(HAL_LOG_ERROR, kFn, "hw.hal_row_num x hw.hal_col_num (%d x %d) is no panel: configuration refused", rows,
               columns);
  if (c.node_count != rows * columns)
    HAL_LOG_AS(HAL_LOG_ERROR, kFn,
               "hw.hal_node_num = %d is not hw.hal_row_num x hw.hal_col_num (%d x %d): configuration refused",
               static_cast<int>(c.node_count), rows, columns);
  if (c.snode_count != rows + columns)
    HAL_LOG_AS(HAL_LOG_ERROR, kFn,
               "hw.hal_snode_num = %d is not hw.hal_row_num + hw.hal_col_num (%d + %d): configuration refused",
               static_cast<int>(c.snode_count), rows, columns);
  config_refused_ = true;
}

int32_t FrameData::readConfig(void *tree, const HalConfigAccessor *accessor) {
  DecoderConfig c = defaultConfig();
  c.columns = read_u8(tree, accessor, "hw.hal_col_num", c.columns);
  c.rows = read_u8(tree, accessor, "hw.hal_row_num", c.rows);
  c.node_count = read_nodes(tree, accessor, "hw.hal_node_num", c.node_count);
  c.snode_count = read_nodes(tree, accessor, "hw.hal_snode_num", c.snode_count);
  c.nnode_count = read_nodes(tree, accessor, "hw.hal_nnode_num", c.nnode_count);
  c.scan_freq_num = read_u8(tree, accessor, "hw.scan_freq_num", c.scan_freq_num);
  c.kb_raw_normalize = read_u8(tree, accessor, "hw.kb_raw_normalize", 0);
  c.big_little_convert = read_int(tree, accessor, "hw.big_little_convert", 0) != 0 ? 1 : 0;
  c.save_tic_dump = read_int(tree, accessor, "save_tic_dump.save_tic_dump", 0) != 0 ? 1 : 0;
  c.stylus_en = read_u8(tree, accessor, "stylus.stylus_en", 0);
  if (c.stylus_en == 1) {
    c.stylus_col1 = read_u8(tree, accessor, "stylus.stylus_num_col1", c.stylus_col1);
    c.stylus_row1 = read_u8(tree, accessor, "stylus.stylus_num_row1", c.stylus_row1);
    c.stylus_col2 = read_u8(tree, accessor, "stylus.stylus_num_col2", c.stylus_col2);
    c.stylus_row2 = read_u8(tree, accessor, "stylus.stylus_num_row2", c.stylus_row2);
  }
  if (!decoder_config_counts_match(&c)) {
    refuseConfig(c);
    return -1;
  }
  config_refused_ = false;
  idle_normal_ = read_ms(tree, accessor, "idle_time.idle_normal", 1000);
  idle_glove_ = read_ms(tree, accessor, "idle_time.idle_glove", 2000);
  idle_game_ = read_ms(tree, accessor, "idle_time.idle_game", 30000);
  idle_game_perf_ = read_ms(tree, accessor, "idle_time.doze_time_game_performance", 0);
  idle_current_ = idle_normal_;
  config_ = c;

  PanelGeometry &g = get_hal_module_param()->geometry;
  g.node_count = c.node_count;
  g.snode_count = c.snode_count;
  g.nnode_count = c.nnode_count;
  g.columns = c.columns;
  g.rows = c.rows;
  if (c.stylus_en == 1) {
    g.stylus_col1 = c.stylus_col1;
    g.stylus_row1 = c.stylus_row1;
    g.stylus_col2 = c.stylus_col2;
    g.stylus_row2 = c.stylus_row2;
  }
  return 0;
}

int32_t FrameData::commonData(const common_data *data) {
  if (data == nullptr) {
    HAL_LOG_AS(HAL_LOG_INFO, "get_frame_common_data", "common data is %p", static_cast<const void *>(data));
    return -1;
  }
  const uint32_t value = data->values[0];
  auto busy_idle = [&] { return game_perf_.load() ? idle_game_perf_ : idle_game_; };
  if (data->cmd == COMMON_DATA_CMD_SET_MODE_VALUE) {
    switch (data->mode) {
      case kModeGame:
        game_ = value != 0;
        [[fallthrough]];
      case kModeIdleSelect:
        idle_current_ = value != 0 ? busy_idle() : idle_normal_;
        break;
      case kModeGameHighIdle:
        game_perf_ = value != 0;
        idle_current_ = game_.load() ? busy_idle() : idle_normal_;
        break;
      default:
        break;
    }
  } else if (data->cmd == COMMON_DATA_CMD_RESET_MODE) {
    game_ = false;
    idle_current_ = idle_normal_;
  }
  return 0;
}

void FrameData::recomputePeriod() {
  frame_period_ = static_cast<uint32_t>(static_cast<uint64_t>(idle_current_.load()) * 11 / 10);
}

void FrameData::stopWatchdogs() {
  timer_stop(&main_dog_.tool);
  timer_stop(&frame_dog_.tool);
}

int32_t FrameData::suspend(uint32_t flag) {
  if ((flag & 1u) == 0) return 0;
  stopWatchdogs();
  recomputePeriod();
  HAL_LOG_AS(HAL_LOG_INFO, "get_frame_suspend", "frame %d", static_cast<int>(frame_period_.load()));
  return 0;
}

void FrameData::state(const uint32_t *values, uint32_t count) {
  if (values != nullptr && count >= 1 && values[0] == 1) suspend(1);
}

void FrameData::idleMode(const uint8_t *record) {
  if (record == nullptr) return;
  uint16_t fields[3];
  memcpy(fields, record, sizeof(fields));
  if (fields[0] != kIdleKindGlove || fields[1] != kIdleSubKindGlove) return;
  idle_current_ = fields[2] == kIdleValueGloveOn ? idle_glove_ : idle_normal_;
  recomputePeriod();
}

void FrameData::sendAbnormal(uint16_t value) {
  // The 6-byte record (u32 kind, u16 value) travels in a zeroed array of as many words as
  // its count says, so that no reader of count words goes past it.
  uint32_t values[kAbnormalRecordBytes] = {kAbnormalKind, value};
  hal_send_to_driver(kAbnormalType, values, kAbnormalRecordBytes);
}

int32_t FrameData::mainDogFired(timer_tool *timer) {
  reinterpret_cast<Watchdog *>(timer)->owner->sendAbnormal(0);
  HAL_LOG_AS(HAL_LOG_INFO, "main_watch_dog_func", "main dog time out");
  return 0;
}

int32_t FrameData::frameDogFired(timer_tool *timer) {
  reinterpret_cast<Watchdog *>(timer)->owner->sendAbnormal(1);
  HAL_LOG_AS(HAL_LOG_INFO, "frame_watch_dog_func", "frame dog time out");
  return 0;
}

bool FrameData::mapRing(const TouchPanelInfo *panel) {
  const uint32_t pages = panel->frame_buffer_pages;
  const uint32_t count = panel->frame_buffer_count;
  if (pages == 0 || count == 0) {
    HAL_LOG_AS(HAL_LOG_ERROR, "get_frame_init", "touch id %d driver frame ring of %u x %u pages refused", touch_id_, count, pages);
    return false;
  }
  if (count > kMaxDriverBuffers)
    HAL_LOG_AS(HAL_LOG_ERROR, "get_frame_init", "touch id %d driver has %u frame buffers, use the first %u", touch_id_,
               count, kMaxDriverBuffers);
  const size_t len = static_cast<size_t>(pages) * count * TOUCH_PAGE_SIZE;
  for (uint32_t attempt = 1;; ++attempt) {
    void *base = MAP_FAILED;
    if (plat_ioctl(fd_, tamrel_touch_request(TOUCH_IOC_SELECT_BUFFER, 0, TOUCH_IOC_DIR_WRITE), TOUCH_BUFFER_FRAME_RING) >= 0)
      base = plat_mmap(nullptr, len, PROT_READ, MAP_SHARED, fd_, 0);
    if (base != MAP_FAILED) {
      map_base_ = base;
      map_len_ = len;
      break;
    }
    HAL_LOG_AS(HAL_LOG_ERROR, "get_frame_init", "touch id %d mmap frame data base fail, fd is %d, size %d", touch_id_, fd_,
               static_cast<int>(len));
    if (attempt >= hal_start_max_attempts()) return false;
    hal_sleep_ms(hal_start_retry_ms());
  }
  buffer_count_ = std::min(count, kMaxDriverBuffers);
  buffer_len_ = pages * TOUCH_PAGE_SIZE;
  for (uint32_t i = 0; i < buffer_count_; ++i)
    buffers_[i] = static_cast<const uint8_t *>(map_base_) + static_cast<size_t>(i) * buffer_len_;
  return true;
}

void FrameData::unmapRing() {
  if (map_base_ != nullptr) plat_munmap(map_base_, map_len_);
  map_base_ = nullptr;
  map_len_ = 0;
  buffer_count_ = 0;
  std::fill(std::begin(buffers_), std::end(buffers_), nullptr);
}

int32_t FrameData::init(const TouchPanelInfo *panel, int32_t fd, uint8_t touch_id, uint8_t replay_flag) {
  if (mapped_.load()) return 0;  // already running: a second init would leak the first
  fd_ = fd;
  touch_id_ = touch_id;
  if (config_refused_) {
    HAL_LOG_AS(HAL_LOG_ERROR, "get_frame_init", "touch id %d panel configuration refused, no frame is read", touch_id_);
    return HAL_RESULT_CONFIG_REFUSED;
  }
  std::fill(std::begin(buffers_), std::end(buffers_), nullptr);
  if ((replay_flag & 1u) != 0 || panel == nullptr) return 0;
  if (!mapRing(panel)) return HAL_RESULT_GAVE_UP;

  for (uint32_t attempt = 1;; ++attempt) {
    if (ring_.prepare(decoder_(), config_) == 0) break;
    HAL_LOG_AS(HAL_LOG_ERROR, "get_frame_init", "init decode frame data failed, retry!");
    if (attempt >= hal_start_max_attempts()) {
      unmapRing();
      return HAL_RESULT_GAVE_UP;
    }
    hal_sleep_ms(hal_start_retry_ms());
  }
  main_dog_.owner = this;
  frame_dog_.owner = this;
  if (register_timer(&main_dog_.tool, mainDogFired) != 0)
    HAL_LOG_AS(HAL_LOG_ERROR, "get_frame_init", "register main thread watch dog timer failed!");
  if (register_timer(&frame_dog_.tool, frameDogFired) != 0)
    HAL_LOG_AS(HAL_LOG_ERROR, "get_frame_init", "register frame thread watch dog timer failed!");

  // The exit event exists before the thread does, so an early exit cannot be missed.
  stop_ = false;
  exit_event_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (exit_event_ < 0) HAL_LOG_AS(HAL_LOG_ERROR, "get_frame_data_thread_routine", "create exit thread event fd failed!");
  for (uint32_t attempt = 1;; ++attempt) {
    thread_ = create_thread("touch-frame-fi", threadRoutine, this, 1);
    if (thread_ != 0) break;
    HAL_LOG_AS(HAL_LOG_ERROR, "get_frame_init", "touch id %d create a thread of getting frame fail", touch_id_);
    if (attempt >= hal_start_max_attempts()) {
      if (exit_event_ >= 0) close(exit_event_);
      exit_event_ = -1;
      ring_.release(decoder_());
      unmapRing();
      timer_remove(&main_dog_.tool);
      timer_remove(&frame_dog_.tool);
      return HAL_RESULT_GAVE_UP;
    }
    hal_sleep_ms(hal_start_retry_ms());
  }
  mapped_ = true;
  return 0;
}

void *FrameData::threadRoutine(void *self) {
  static_cast<FrameData *>(self)->run();
  return nullptr;
}

void FrameData::run() {
  HAL_LOG_AS(HAL_LOG_INFO, "get_frame_data_thread_routine", "touch id %d frame thread enter", touch_id_);
  bool device_error_logged = false;
  while (!stop_.load()) {
    const int wait = hal_wait_device(fd_, POLLPRI, exit_event_, "get_frame_data_thread_routine", touch_id_,
                                     &device_error_logged);
    if (wait == HAL_WAIT_EXIT || stop_.load()) break;
    if (wait == HAL_WAIT_READY && !drain() && pauseAfterBadIndex()) break;
  }
  timer_stop(&frame_dog_.tool);
  HAL_LOG_AS(HAL_LOG_INFO, "get_frame_data_thread_routine", "touch id %d frame thread exit", touch_id_);
}

bool FrameData::pauseAfterBadIndex() {
  // The driver handed out an index it has no buffer for; asking again at once would keep this
  // real-time thread busy for as long as the driver stays wrong. Pause, still listening for
  // the exit.
  if (exit_event_ < 0) {
    hal_sleep_ms(kBadIndexPauseMs);
    return stop_.load();
  }
  struct pollfd exit_wait = {exit_event_, POLLIN, 0};
  return poll(&exit_wait, 1, static_cast<int>(kBadIndexPauseMs)) > 0 || stop_.load();
}

bool FrameData::drain() {
  const unsigned long newest = tamrel_touch_request(TOUCH_IOC_NEWEST_FRAME, 0, TOUCH_IOC_DIR_READ);
  int taken = 0;
  while (!stop_.load()) {
    const uint64_t arrival = hal_monotonic_ns();
    const int index = plat_ioctl(fd_, newest, 0);
    if (index < 0) break;
    if (++taken >= 2) HAL_LOG_AS(HAL_LOG_ERROR, "get_frame_data_thread_routine", "frame data block, num is %d", taken);
    if (static_cast<uint32_t>(index) >= buffer_count_) {
      if (!index_refused_)
        HAL_LOG_AS(HAL_LOG_ERROR, "get_frame_data_thread_routine", "touch id %d frame index %d outside %u buffers", touch_id_,
                   index, buffer_count_);
      index_refused_ = true;
      return false;
    }
    const device_operation op = decoder_();
    if (op.decode != nullptr && op.decode(ring_.spare(), buffers_[index], buffer_len_, &get_hal_module_param()->geometry))
      publish(arrival);
  }
  return true;
}

void FrameData::publish(uint64_t arrival_ns) {
  const DecodedFrame &frame = *ring_.spare();
  uint32_t rate = 0;
  uint32_t derived = 0;
  if (report_rate_change(frame, &rate, &derived)) {
    for (uint32_t i = 0; i < HAL_FUNCTION_INTERFACE_COUNT; ++i) {
      const HalFunctionInterface *iface = get_hal_function_interface(i);
      if (iface != nullptr && iface->rate_change != nullptr) iface->rate_change(rate, derived);
    }
  }
  const bool watchdog_wanted = frame.frame_watchdog_wanted != 0;
  const int dropped = ring_.publish(arrival_ns);
  if (dropped >= 0) HAL_LOG_AS(HAL_LOG_ERROR, "get_frame_data_thread_routine", "frame data buf full, skip old index %d", dropped);
  if (watchdog_wanted) {
    timer_restart(&frame_dog_.tool, frame_period_.load());
  } else {
    timer_stop(&frame_dog_.tool);
  }
}

int32_t FrameData::getFrame(DecodedFrame **frame_out, DecodedFrame **copy_out) {
  if (!mapped_.load()) return HAL_RESULT_FAILED;  // passive, or never started
  timer_stop(&main_dog_.tool);
  DecodedFrame *frame = nullptr;
  DecodedFrame *copy = nullptr;
  uint64_t arrival = 0;
  if (ring_.take(&frame, &copy, &arrival) != 0) return HAL_RESULT_FAILED;
  thp_check_trace();
  timer_start(&main_dog_.tool, kMainWatchdogMs);
  if (frame_out != nullptr) *frame_out = frame;
  if (copy_out != nullptr) *copy_out = copy;
  last_info_ = copy->frame_time_ns;
  const HalFunctionInterface *report = registered_or(HAL_IF_REPORT, hal_report_interface());
  auto frame_time = reinterpret_cast<hal_report_frame_time_fn>(report->extra[0]);
  if (frame_time != nullptr) frame_time(copy->frame_count, arrival);
  return 0;
}

int32_t FrameData::exit() {
  if (!mapped_.load()) return 0;
  stop_ = true;
  if (exit_event_ >= 0 && write(exit_event_, kExitEventBytes, sizeof(kExitEventBytes)) < 0)
    HAL_LOG_AS(HAL_LOG_ERROR, "get_frame_exit", "wake frame thread failed: %s", strerror(errno));
  pthread_join(static_cast<pthread_t>(thread_), nullptr);
  thread_ = 0;
  if (exit_event_ >= 0) close(exit_event_);
  exit_event_ = -1;
  ring_.stop();  // a waiting consumer returns 255
  ring_.release(decoder_());
  unmapRing();
  timer_remove(&main_dog_.tool);
  timer_remove(&frame_dog_.tool);
  mapped_ = false;
  return 0;
}

}  // namespace hal

// ---------------------------------------------------------------------------------------
// The interface record over the module's instance.
namespace {
hal::FrameData g_frame_data(get_current_device_operation);

int32_t hook_init(TouchPanelInfo *panel, int32_t fd, uint8_t touch_id, uint8_t replay) {
  return g_frame_data.init(panel, fd, touch_id, replay);
}
int32_t hook_exit() { return g_frame_data.exit(); }
int32_t hook_common_data(common_data *data, int32_t *) { return g_frame_data.commonData(data); }
int32_t hook_read_config(void *, void *tree, void *accessor) {
  return g_frame_data.readConfig(tree, static_cast<const HalConfigAccessor *>(accessor));
}
int32_t hook_suspend(uint32_t flag) { return g_frame_data.suspend(flag); }
void hook_state(const uint32_t *values, uint32_t count) { g_frame_data.state(values, count); }
int32_t hook_get_frame(DecodedFrame **frame_out, DecodedFrame **copy_out) {
  return g_frame_data.getFrame(frame_out, copy_out);
}
uint64_t hook_last_frame_info() { return g_frame_data.lastFrameInfo(); }
void hook_idle_mode(const uint8_t *record) { g_frame_data.idleMode(record); }

const HalFunctionInterface kFrameDataInterface = {
    hook_init,
    hook_exit,
    hook_common_data,
    hook_read_config,
    nullptr,  // dump get
    nullptr,  // dump send
    hook_suspend,
    nullptr,  // report-rate change: this interface announces it
    hook_state,
    reinterpret_cast<hal_generic_fn>(static_cast<hal_get_frame_fn>(hook_get_frame)),
    reinterpret_cast<hal_generic_fn>(static_cast<hal_last_frame_info_fn>(hook_last_frame_info)),
    {reinterpret_cast<hal_generic_fn>(static_cast<hal_frame_idle_mode_fn>(hook_idle_mode)), nullptr, nullptr},
};
}  // namespace

const HalFunctionInterface *hal_getframe_interface(void) { return &kFrameDataInterface; }
