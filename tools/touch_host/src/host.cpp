#include "touch_host/host.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>
#include <time.h>

#include "timer_service.h"
#include "touch_host/frames_file.h"

namespace touch_host {

namespace {
constexpr int32_t kRefused = -22;
constexpr size_t kMaxControllerPacket = COMMON_DATA_VALUE_COUNT * sizeof(uint32_t);
}  // namespace

struct TouchHost::Impl {
  explicit Impl(HostOptions opts) : options(std::move(opts)) { start_timers(); }

  // --- state -----------------------------------------------------------------------
  HostOptions options;
  void *hal_handle = nullptr;
  void *alg_handle = nullptr;
  HalModule *hal = nullptr;
  AlgModule *alg = nullptr;
  HalFunctionInterface *hal_ifs[HAL_FUNCTION_INTERFACE_COUNT] = {};
  AlgCallStyle style = AlgCallStyle::kLuma;
  bool hal_initialised = false;
  bool alg_initialised = false;

  // The tables the modules keep for as long as they stay loaded.
  AlgHostCallbacks alg_callbacks{};
  HalHostCallbacks hal_callbacks{};

  std::unique_ptr<TimerService> timers;
  std::atomic<uint64_t> frame_serial{0};

  mutable std::mutex record_mutex;  // guards record
  mutable std::condition_variable record_changed;
  HostRecord record;

  // Each kind of refused input is logged once.
  std::atomic<bool> refused_points{false};
  std::atomic<bool> refused_request{false};
  std::atomic<bool> refused_write{false};
  std::atomic<bool> refused_block{false};

  // --- helpers -----------------------------------------------------------------------
  void start_timers() {
    timers = std::make_unique<TimerService>([this](timer_tool *timer) {
      std::lock_guard<std::mutex> lock(record_mutex);
      record.timer_fires.push_back({timer, std::this_thread::get_id()});
      record_changed.notify_all();
    });
  }

  template <typename Fn>
  void with_record(Fn &&fn) {
    std::lock_guard<std::mutex> lock(record_mutex);
    fn(record);
    record_changed.notify_all();
  }

  void log(LogSource source, int32_t level, std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    LogLine line{source, level, std::move(text)};
    if (options.log_sink) {
      options.log_sink(line);
    } else {
      std::fprintf(stderr, "[touch_host] %s L%d: %s\n", to_string(source), line.level, line.text.c_str());
    }
    with_record([&](HostRecord &r) { r.logs.push_back(std::move(line)); });
  }

  void refuse_once(std::atomic<bool> &flag, const std::string &text) {
    if (!flag.exchange(true)) log(LogSource::kHost, 1, text);
  }

  int32_t forward_to_driver(uint32_t type, uint32_t *values, uint32_t count) {
    if (hal != nullptr && hal->send_to_driver != nullptr) return hal->send_to_driver(type, values, count);
    return 0;
  }

  void deliver_common_data(common_data *block, uint32_t *alg_result) {
    if (alg == nullptr) return;
    if (style == AlgCallStyle::kFerrant) {
      if (alg->receive_common_data.ferrant != nullptr) alg->receive_common_data.ferrant(block);
    } else if (alg->receive_common_data.luma != nullptr) {
      uint32_t result = 0;
      alg->receive_common_data.luma(block, &result);
      if (alg_result != nullptr) *alg_result = result;
    }
  }

  bool block_in_bounds(const common_data &block) {
    // Package data counts bytes, everything else 32-bit values; both must fit the block.
    const size_t limit = block.cmd == COMMON_DATA_CMD_PACKAGE_DATA ? kMaxControllerPacket : COMMON_DATA_VALUE_COUNT;
    if (block.count <= limit) return true;
    refuse_once(refused_block, "common data refused: count " + std::to_string(block.count) +
                                   " does not fit the block (command " + std::to_string(block.cmd) + ")");
    return false;
  }

  // --- the vsync source ------------------------------------------------------------------
  // The HAL's vsync callback may come with the HAL's own locks held: it only takes note.
  // A thread of the host sends the vsync times, never holding vsync_mutex while it calls
  // the HAL, so the HAL can call back from inside that call.
  std::mutex vsync_mutex;  // guards the three below
  std::condition_variable vsync_wake;
  bool vsync_follow = false;
  bool vsync_stop = false;
  std::thread vsync_thread;
  hal_register_vsync_callback_fn register_vsync = nullptr;

  void vsync_state(int32_t state) {
    {
      std::lock_guard<std::mutex> lock(vsync_mutex);
      vsync_follow = state == HAL_VSYNC_STATE_FOLLOW;
    }
    vsync_wake.notify_all();
    with_record([&](HostRecord &r) { r.vsync_states.push_back(state); });
  }

  void send_vsync() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const int64_t next = static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec + options.vsync_period.count();
    common_data block{};
    block.touch_id = static_cast<uint8_t>(options.touch_id);
    block.cmd = COMMON_DATA_CMD_SET_LONG_VALUE;
    block.mode = COMMON_DATA_MODE_VSYNC_TIME;
    block.count = 3;
    block.values[0] = static_cast<uint32_t>(next / 1000000000);
    block.values[1] = static_cast<uint32_t>(next % 1000000000 / 1000);
    block.values[2] = options.vsync_mode;
    int32_t pass = 0;
    if (hal != nullptr && hal->receive_common_data != nullptr) hal->receive_common_data(&block, &pass);
    with_record([&](HostRecord &r) { ++r.vsyncs_sent; });
  }

  void vsync_loop() {
    std::unique_lock<std::mutex> lock(vsync_mutex);
    while (!vsync_stop) {
      if (!vsync_follow) {
        vsync_wake.wait(lock);
        continue;
      }
      // One display period, then the next vsync's time.
      if (vsync_wake.wait_for(lock, options.vsync_period, [&] { return vsync_stop || !vsync_follow; })) continue;
      lock.unlock();
      send_vsync();
      lock.lock();
    }
  }

  void start_vsync(void *handle) {
    register_vsync = reinterpret_cast<hal_register_vsync_callback_fn>(dlsym(handle, HAL_VSYNC_CALLBACK_ENTRY));
    if (register_vsync == nullptr) return;  // a HAL without vsync-aligned reporting
    vsync_stop = false;
    vsync_follow = false;
    vsync_thread = std::thread([this] { vsync_loop(); });
    register_vsync(&hal_vsync_callback);
  }

  void stop_vsync() {
    if (register_vsync != nullptr) register_vsync(nullptr);
    register_vsync = nullptr;
    {
      std::lock_guard<std::mutex> lock(vsync_mutex);
      vsync_stop = true;
    }
    vsync_wake.notify_all();
    if (vsync_thread.joinable()) vsync_thread.join();
  }

  static void hal_vsync_callback(int32_t state);

  void close_libraries() {
    if (alg_handle != nullptr) dlclose(alg_handle);
    if (hal_handle != nullptr) dlclose(hal_handle);
    alg_handle = hal_handle = nullptr;
    alg = nullptr;
    hal = nullptr;
    std::fill(std::begin(hal_ifs), std::end(hal_ifs), nullptr);
  }
};

namespace {

// The modules' callbacks carry no context: they reach the host that loaded them here.
std::atomic<TouchHost::Impl *> g_active{nullptr};

// Set on the frame thread while the algorithm's per-frame operations run.
thread_local bool t_in_alg_frame = false;

// Opened first in every algorithm callback: during the per-frame operations, control is the
// host's until the callback returns (HostOptions::on_alg_control).
class HostSide {
 public:
  explicit HostSide(TouchHost::Impl *h)
      : h_(t_in_alg_frame && h != nullptr && h->options.on_alg_control ? h : nullptr) {
    if (h_ != nullptr) h_->options.on_alg_control(false);
  }
  ~HostSide() {
    if (h_ != nullptr) h_->options.on_alg_control(true);
  }
  HostSide(const HostSide &) = delete;
  HostSide &operator=(const HostSide &) = delete;

 private:
  TouchHost::Impl *h_;
};

std::string vformat(const char *format, va_list args) {
  if (format == nullptr) return {};
  va_list copy;
  va_copy(copy, args);
  const int needed = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (needed <= 0) return {};
  std::string text(static_cast<size_t>(needed) + 1, '\0');
  std::vsnprintf(text.data(), text.size(), format, args);
  text.resize(static_cast<size_t>(needed));
  return text;
}

void log_from_module(LogSource source, int32_t level, const char *format, va_list args) {
  if (TouchHost::Impl *h = g_active.load()) h->log(source, level, vformat(format, args));
}

std::string module_name(const char (&name)[ALG_MODULE_NAME_LEN]) {
  return std::string(name, strnlen(name, ALG_MODULE_NAME_LEN));
}

// --- algorithm host callbacks ------------------------------------------------------------

void alg_report_points(AlgTouchPoint *points, uint8_t count) {
  const HostSide side(g_active.load());
  TouchHost::Impl *h = g_active.load();
  if (h == nullptr) return;
  if (count > ALG_TOUCH_POINT_MAX || (points == nullptr && count != 0)) {
    h->refuse_once(h->refused_points, "point report refused: count " + std::to_string(count) +
                                          (points == nullptr ? " with no points" : " above 12"));
    return;
  }
  PointReport report;
  report.frame_serial = h->frame_serial.load();
  if (count != 0) report.points.assign(points, points + count);
  if (h->options.on_report) h->options.on_report(report);
  h->with_record([&](HostRecord &r) { r.reports.push_back(report); });
  if (h->hal != nullptr && h->hal->report_points != nullptr) h->hal->report_points(points, count);
}

void alg_frame_processed(DecodedFrame *frame) {
  const HostSide side(g_active.load());
  if (TouchHost::Impl *h = g_active.load()) {
    h->with_record([&](HostRecord &r) { r.frames_processed.push_back(frame); });
  }
}

void alg_fingerprint_area(uint8_t value) {
  const HostSide side(g_active.load());
  if (TouchHost::Impl *h = g_active.load()) {
    h->with_record([&](HostRecord &r) { r.fingerprint_states.push_back(value); });
  }
}

void alg_state_change(uint8_t value) {
  const HostSide side(g_active.load());
  if (TouchHost::Impl *h = g_active.load()) {
    h->with_record([&](HostRecord &r) { r.state_changes.push_back(value); });
  }
}

// Ferrant counts 32-bit values, Luma counts bytes; the HAL takes values.
int32_t alg_driver_request(uint32_t type, uint32_t *values, uint32_t count) {
  const HostSide side(g_active.load());
  TouchHost::Impl *h = g_active.load();
  if (h == nullptr) return kRefused;
  uint32_t words = count;
  if (h->style == AlgCallStyle::kLuma) {
    if (count % sizeof(uint32_t) != 0) {
      h->refuse_once(h->refused_request,
                     "driver request refused: length " + std::to_string(count) + " is not whole 32-bit values");
      return kRefused;
    }
    words = count / sizeof(uint32_t);
  }
  if (words > COMMON_DATA_VALUE_COUNT || (values == nullptr && words != 0)) {
    h->refuse_once(h->refused_request, "driver request refused: " + std::to_string(words) + " values" +
                                           (values == nullptr ? " with no payload" : " above 256"));
    return kRefused;
  }
  DriverRequest request;
  request.type = type;
  if (words != 0) request.values.assign(values, values + words);
  h->with_record([&](HostRecord &r) { r.driver_requests.push_back(request); });
  return h->forward_to_driver(type, request.values.data(), words);
}

void alg_unused_slot() {}

void alg_log(int32_t level, const char *format, ...) {
  const HostSide side(g_active.load());
  va_list args;
  va_start(args, format);
  log_from_module(LogSource::kAlg, level, format, args);
  va_end(args);
}

void alg_debug_frame_info(void *info) {
  const HostSide side(g_active.load());
  TouchHost::Impl *h = g_active.load();
  if (h == nullptr) return;
  uint64_t value = reinterpret_cast<uintptr_t>(info);
  // Ferrant hands a cell holding the frame's mutual-matrix pointer.
  if (h->style == AlgCallStyle::kFerrant && info != nullptr) std::memcpy(&value, info, sizeof(value));
  h->with_record([&](HostRecord &r) { r.debug_infos.push_back(value); });
}

int32_t alg_controller_write(uint32_t reg, uint8_t *packet, uint32_t length, uint32_t flag) {
  const HostSide side(g_active.load());
  TouchHost::Impl *h = g_active.load();
  if (h == nullptr) return kRefused;
  if (length > kMaxControllerPacket || (packet == nullptr && length != 0)) {
    h->refuse_once(h->refused_write, "controller write refused: length " + std::to_string(length));
    return kRefused;
  }
  ControllerWrite write;
  write.reg = reg;
  write.flag = flag;
  if (length != 0) write.packet.assign(packet, packet + length);
  h->with_record([&](HostRecord &r) { r.controller_writes.push_back(write); });
  if (h->options.on_controller_write) h->options.on_controller_write(write);
  // The HAL writes controller commands as send-to-driver type 7, counted in bytes, and
  // answers with what its write returned; the algorithm wants 0 for a whole write.
  uint32_t words[COMMON_DATA_VALUE_COUNT] = {};
  if (length != 0) std::memcpy(words, write.packet.data(), length);
  const int32_t written = h->forward_to_driver(7, words, length);
  if (written < 0) return written;
  return written == 0 || static_cast<uint32_t>(written) == length ? 0 : kRefused;
}

int32_t alg_register_timer(timer_tool *timer, timer_tool_handler handler) {
  const HostSide side(g_active.load());
  TouchHost::Impl *h = g_active.load();
  if (h == nullptr) return HAL_RESULT_FAILED;
  const int32_t result = h->timers->register_timer(timer, handler);
  if (result == 0) h->with_record([&](HostRecord &r) { r.timers_registered.push_back(timer); });
  return result;
}

// --- HAL host callbacks --------------------------------------------------------------------

void hal_driver_common_data(common_data *block) {
  TouchHost::Impl *h = g_active.load();
  if (h == nullptr || block == nullptr) return;
  common_data copy = *block;
  if (!h->block_in_bounds(copy)) return;
  h->with_record([&](HostRecord &r) { r.driver_common_data.push_back(copy); });
  h->deliver_common_data(&copy, nullptr);
}

void hal_touch_state(uint32_t touching) {
  if (TouchHost::Impl *h = g_active.load()) {
    h->with_record([&](HostRecord &r) { r.touch_states.push_back(touching); });
  }
}

// The HAL's parsed configuration lives only during this call: the HAL's own configuration
// hooks (HalModule slot 9) read it here, as the read-configuration interface expects.
void hal_parsed_config(TouchPanelInfo *panel, void *tree, void *accessor, int32_t fd, int32_t extent_x,
                       int32_t extent_y, int32_t tx, int32_t rx) {
  TouchHost::Impl *h = g_active.load();
  if (h == nullptr) return;
  h->log(LogSource::kHost, 3,
         "HAL configuration: extent " + std::to_string(extent_x) + "x" + std::to_string(extent_y) + ", tx " +
             std::to_string(tx) + ", rx " + std::to_string(rx) + ", vendor fd " + std::to_string(fd));
  HalConfigRecord record;
  record.extent_x = extent_x;
  record.extent_y = extent_y;
  record.tx_count = tx;
  record.rx_count = rx;
  record.vendor_fd = fd;
  if (panel != nullptr) record.config_file = std::string(panel->config_file, strnlen(panel->config_file, sizeof panel->config_file));
  const auto *config = static_cast<const HalConfigAccessor *>(accessor);
  if (h->options.on_hal_config) h->options.on_hal_config(tree, config);
  if (h->hal != nullptr && h->hal->read_config_param != nullptr) {
    record.read_config_result = h->hal->read_config_param(h, tree, accessor);
    record.read_config_called = true;
  }
  h->with_record([&](HostRecord &r) { r.hal_configs.push_back(record); });
}

void hal_normalize_table(int32_t *, uint32_t size_bytes) {
  if (TouchHost::Impl *h = g_active.load()) {
    h->log(LogSource::kHost, 3, "normalisation table of " + std::to_string(size_bytes) + " bytes");
  }
}

}  // namespace

void TouchHost::Impl::hal_vsync_callback(int32_t state) {
  if (TouchHost::Impl *h = g_active.load()) h->vsync_state(state);
}

namespace {

void hal_log(int32_t level, const char *format, ...) {
  va_list args;
  va_start(args, format);
  log_from_module(LogSource::kHal, level, format, args);
  va_end(args);
}

int32_t hal_dump_fill(uint8_t *, uint32_t) { return 0; }  // this host records no dumps

bool claim(TouchHost::Impl *impl, std::string *error) {
  TouchHost::Impl *expected = nullptr;
  if (g_active.compare_exchange_strong(expected, impl) || expected == impl) return true;
  if (error != nullptr) *error = "another touch host has modules loaded";
  return false;
}

template <typename Fn>
Fn symbol(void *handle, const char *name) {
  return reinterpret_cast<Fn>(dlsym(handle, name));
}

}  // namespace

const char *driver_request_name(uint32_t type) {
  switch (type) {
    case ALG_DRIVER_REQUEST_DOZE: return "doze mode";
    case ALG_DRIVER_REQUEST_IDLE_BASELINE: return "idle baseline";
    case ALG_DRIVER_REQUEST_CALIBRATION: return "calibration";
    case ALG_DRIVER_REQUEST_BASE_TAKEN: return "base taken";
    default: return "not a request type this host knows";
  }
}

std::string describe(const DriverRequest &request) {
  std::string line = "driver request type " + std::to_string(request.type) + " (" +
                     driver_request_name(request.type) + ") with " + std::to_string(request.values.size()) +
                     " value(s)";
  if (!request.values.empty()) line += ", first " + std::to_string(request.values[0]);
  return line;
}

const char *to_string(LogSource source) {
  switch (source) {
    case LogSource::kHal: return "hal";
    case LogSource::kAlg: return "alg";
    case LogSource::kHost: break;
  }
  return "host";
}

TouchHost::TouchHost(HostOptions options) : impl_(std::make_unique<Impl>(std::move(options))) {
  Impl &h = *impl_;
  h.alg_callbacks.report_points = &alg_report_points;
  h.alg_callbacks.frame_processed = &alg_frame_processed;
  h.alg_callbacks.fingerprint_area = &alg_fingerprint_area;
  h.alg_callbacks.state_change = &alg_state_change;
  h.alg_callbacks.driver_request.ferrant = &alg_driver_request;
  h.alg_callbacks.unused5 = &alg_unused_slot;
  h.alg_callbacks.log = &alg_log;
  h.alg_callbacks.debug_frame_info = &alg_debug_frame_info;
  h.alg_callbacks.controller_write = &alg_controller_write;
  h.alg_callbacks.register_timer = &alg_register_timer;

  h.hal_callbacks.replay_flag = h.options.replay_flag;
  h.hal_callbacks.driver_common_data = &hal_driver_common_data;
  h.hal_callbacks.touch_state = &hal_touch_state;
  h.hal_callbacks.parsed_config = &hal_parsed_config;
  h.hal_callbacks.normalize_table = &hal_normalize_table;
  h.hal_callbacks.log = &hal_log;
  h.hal_callbacks.dump_capture = &hal_dump_fill;
  h.hal_callbacks.dump_start_info = &hal_dump_fill;
}

TouchHost::~TouchHost() {
  exit();
  impl_->stop_vsync();
  impl_->timers->shutdown();  // no handler may run once the libraries are gone
  impl_->close_libraries();
  Impl *self = impl_.get();
  g_active.compare_exchange_strong(self, nullptr);
}

namespace {

// Opens the plug-in of one kind ("HAL", "algorithm") unless one is loaded already or
// another host is active; null with *error set.
void *open_module(TouchHost::Impl &h, bool loaded, const char *kind, const std::string &path,
                  std::string *error) {
  if (loaded) {
    *error = std::string("a ") + kind + " module is loaded already";
    return nullptr;
  }
  if (!claim(&h, error)) return nullptr;
  void *handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char *why = dlerror();
    *error = std::string("cannot load ") + kind + " module " + path + ": " + (why != nullptr ? why : "unknown error");
  }
  return handle;
}

bool reject_module(void *handle, std::string *error, std::string message) {
  dlclose(handle);
  *error = std::move(message);
  return false;
}

}  // namespace

bool TouchHost::load_hal(const std::string &path, std::string *error) {
  Impl &h = *impl_;
  std::string ignored;
  if (error == nullptr) error = &ignored;
  void *handle = open_module(h, h.hal != nullptr, "HAL", path, error);
  if (handle == nullptr) return false;
  auto reg = symbol<register_hal_module_fn>(handle, HAL_MODULE_ENTRY);
  auto get_if = symbol<get_hal_function_interface_fn>(handle, HAL_FUNCTION_INTERFACE_ENTRY);
  auto get_cb = symbol<get_hal_module_callback_fn>(handle, HAL_MODULE_CALLBACK_ENTRY);
  if (reg == nullptr || get_if == nullptr) {
    return reject_module(handle, error, "HAL module " + path + " does not export " +
                                            (reg == nullptr ? HAL_MODULE_ENTRY : HAL_FUNCTION_INTERFACE_ENTRY));
  }
  HalModule *module = reg(&h.hal_callbacks);
  if (module == nullptr) return reject_module(handle, error, HAL_MODULE_ENTRY " of " + path + " returned NULL");
  h.hal_handle = handle;
  h.hal = module;
  for (uint32_t i = 0; i < HAL_FUNCTION_INTERFACE_COUNT; ++i) h.hal_ifs[i] = get_if(i);
  h.start_vsync(handle);
  if (get_cb != nullptr && get_cb() != &h.hal_callbacks) {
    h.log(LogSource::kHost, 1, "HAL module " + path + " does not hand back the host's callback table");
  }
  h.log(LogSource::kHost, 3, "loaded HAL module " + hal_name() + " (" + hal_version() + ") from " + path);
  return true;
}

bool TouchHost::load_alg(const std::string &path, std::string *error) {
  Impl &h = *impl_;
  std::string ignored;
  if (error == nullptr) error = &ignored;
  void *handle = open_module(h, h.alg != nullptr, "algorithm", path, error);
  if (handle == nullptr) return false;
  auto reg = symbol<register_alg_module_fn>(handle, ALG_MODULE_ENTRY);
  if (reg == nullptr) return reject_module(handle, error, "algorithm module " + path + " does not export " ALG_MODULE_ENTRY);
  AlgModule *module = reg(&h.alg_callbacks);
  if (module == nullptr) return reject_module(handle, error, ALG_MODULE_ENTRY " of " + path + " returned NULL");
  h.alg_handle = handle;
  h.alg = module;
  h.style = h.options.alg_style;
  if (h.style == AlgCallStyle::kAuto) {
    h.style = module_name(module->name).rfind("ferrant", 0) == 0 ? AlgCallStyle::kFerrant : AlgCallStyle::kLuma;
  }
  h.log(LogSource::kHost, 3, "loaded algorithm module " + alg_name() + " (" + alg_version() + ") from " + path);
  return true;
}

const HalModule *TouchHost::hal() const { return impl_->hal; }
const AlgModule *TouchHost::alg() const { return impl_->alg; }
HalFunctionInterface *TouchHost::hal_interface(uint32_t index) const {
  return index < HAL_FUNCTION_INTERFACE_COUNT ? impl_->hal_ifs[index] : nullptr;
}
AlgCallStyle TouchHost::alg_style() const { return impl_->style; }

std::string TouchHost::hal_name() const { return impl_->hal ? module_name(impl_->hal->name) : std::string(); }
std::string TouchHost::alg_name() const { return impl_->alg ? module_name(impl_->alg->name) : std::string(); }

std::string TouchHost::hal_version() const {
  const HalModule *m = impl_->hal;
  const char *v = (m != nullptr && m->get_version != nullptr) ? m->get_version() : nullptr;
  return v != nullptr ? v : "";
}

std::string TouchHost::alg_version() const {
  const AlgModule *m = impl_->alg;
  const char *v = (m != nullptr && m->get_version != nullptr) ? m->get_version() : nullptr;
  return v != nullptr ? v : "";
}

void *TouchHost::alg_symbol(const char *name) const {
  return impl_->alg_handle ? dlsym(impl_->alg_handle, name) : nullptr;
}
void *TouchHost::hal_symbol(const char *name) const {
  return impl_->hal_handle ? dlsym(impl_->hal_handle, name) : nullptr;
}

HostStatus TouchHost::read_configuration(int fd) {
  Impl &h = *impl_;
  if (h.alg == nullptr) return HostStatus::kNotLoaded;
  if (h.alg->read_config_param != nullptr) h.alg->read_config_param(0, 0, 0, fd);
  return HostStatus::kOk;
}

HostStatus TouchHost::read_configuration_file(const std::string &path, std::string *error) {
  if (impl_->alg == nullptr) return HostStatus::kNotLoaded;
  std::string why;
  const int fd = open_config_file(path, &why);
  if (fd < 0) {
    impl_->log(LogSource::kHost, 1, "configuration " + path + " refused: " + why);
    if (error != nullptr) *error = why;
    return HostStatus::kFailed;
  }
  const HostStatus status = read_configuration(fd);
  close(fd);
  return status;
}

HostStatus TouchHost::init(int32_t *alg_result) {
  Impl &h = *impl_;
  if (h.hal == nullptr && h.alg == nullptr) return HostStatus::kNotLoaded;
  if (h.hal != nullptr && !h.hal_initialised) {
    const int32_t result = h.hal->init != nullptr ? h.hal->init(h.options.touch_id) : 0;
    if (result != 0) {
      h.log(LogSource::kHost, 1, "HAL init failed with " + std::to_string(result));
      return HostStatus::kFailed;
    }
    h.hal_initialised = true;
  }
  if (h.alg != nullptr && !h.alg_initialised) {
    const int32_t result = h.alg->init != nullptr ? h.alg->init() : 0;
    if (alg_result != nullptr) *alg_result = result;
    if (result != 0) {
      h.log(LogSource::kHost, 1, "algorithm init failed with " + std::to_string(result));
      return HostStatus::kFailed;
    }
    h.alg_initialised = true;
  }
  return HostStatus::kOk;
}

HostStatus TouchHost::exit() {
  Impl &h = *impl_;
  if (!h.alg_initialised && !h.hal_initialised) return HostStatus::kOk;
  if (h.alg_initialised && h.alg->exit != nullptr) h.alg->exit();
  h.alg_initialised = false;
  if (h.hal_initialised && h.hal->exit != nullptr) h.hal->exit();
  h.hal_initialised = false;
  {
    // An exited HAL wants no vsync; a later init asks again.
    std::lock_guard<std::mutex> lock(h.vsync_mutex);
    h.vsync_follow = false;
  }
  // The modules' timers end with them; a later init registers afresh.
  h.timers->shutdown();
  h.start_timers();
  return HostStatus::kOk;
}

HostStatus TouchHost::process_frame(DecodedFrame *frame) {
  Impl &h = *impl_;
  if (h.alg == nullptr) return HostStatus::kNotLoaded;
  if (frame == nullptr) return HostStatus::kFailed;
  h.frame_serial.fetch_add(1);
  const std::function<void(bool)> &control = h.options.on_alg_control;
  t_in_alg_frame = true;
  if (control) control(true);
  if (h.alg->update_frame_data != nullptr) h.alg->update_frame_data(frame);
  if (h.style == AlgCallStyle::kFerrant) {
    if (h.alg->update_diff_data.ferrant != nullptr) h.alg->update_diff_data.ferrant(0, frame);
  } else if (h.alg->update_diff_data.luma != nullptr) {
    h.alg->update_diff_data.luma(frame);
  }
  if (control) control(false);
  t_in_alg_frame = false;
  return HostStatus::kOk;
}

HostStatus TouchHost::run_frame() {
  Impl &h = *impl_;
  if (h.hal == nullptr || h.hal->get_frame == nullptr) return HostStatus::kNotLoaded;
  DecodedFrame *frame = nullptr;
  DecodedFrame *copy = nullptr;
  if (h.hal->get_frame(&frame, &copy) != 0) return HostStatus::kEndOfFrames;
  // The algorithm works on the host's deep copy; the ring record stays the HAL's.
  DecodedFrame *mine = copy != nullptr ? copy : frame;
  if (mine == nullptr) return HostStatus::kFailed;
  if (h.alg == nullptr) return HostStatus::kOk;
  return process_frame(mine);
}

size_t TouchHost::run_frames(size_t count) {
  size_t ran = 0;
  while (ran < count && run_frame() == HostStatus::kOk) ++ran;
  return ran;
}

HostStatus TouchHost::send_common_data(const common_data &block, uint32_t *alg_result, int32_t *pass_to_driver) {
  Impl &h = *impl_;
  if (h.hal == nullptr && h.alg == nullptr) return HostStatus::kNotLoaded;
  if (!h.block_in_bounds(block)) return HostStatus::kFailed;
  if (h.hal != nullptr && h.hal->receive_common_data != nullptr) {
    common_data copy = block;
    int32_t pass = 0;
    h.hal->receive_common_data(&copy, &pass);
    if (pass_to_driver != nullptr) *pass_to_driver = pass;
  }
  common_data copy = block;
  h.deliver_common_data(&copy, alg_result);
  return HostStatus::kOk;
}

HostStatus TouchHost::update_suspend_status(bool suspend) {
  Impl &h = *impl_;
  if (h.hal == nullptr && h.alg == nullptr) return HostStatus::kNotLoaded;
  if (h.hal != nullptr && h.hal->update_suspend_status != nullptr) h.hal->update_suspend_status(suspend ? 1 : 0);
  if (h.alg != nullptr) {
    if (h.style == AlgCallStyle::kFerrant) {
      if (h.alg->update_suspend_status.ferrant != nullptr) h.alg->update_suspend_status.ferrant(suspend ? 1 : 0);
    } else if (h.alg->update_suspend_status.luma != nullptr) {
      h.alg->update_suspend_status.luma(suspend);
    }
  }
  return HostStatus::kOk;
}

HostRecord TouchHost::snapshot() const {
  std::lock_guard<std::mutex> lock(impl_->record_mutex);
  return impl_->record;
}

void TouchHost::clear_record() {
  std::lock_guard<std::mutex> lock(impl_->record_mutex);
  impl_->record = HostRecord{};
}

bool TouchHost::wait_for_timer_fires(size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(impl_->record_mutex);
  return impl_->record_changed.wait_for(lock, timeout,
                                        [&] { return impl_->record.timer_fires.size() >= count; });
}

bool TouchHost::wait_for_log(const std::string &needle, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(impl_->record_mutex);
  return impl_->record_changed.wait_for(lock, timeout, [&] {
    return std::any_of(impl_->record.logs.begin(), impl_->record.logs.end(),
                       [&](const LogLine &line) { return line.text.find(needle) != std::string::npos; });
  });
}

std::thread::id TouchHost::timer_thread_id() const { return impl_->timers->thread_id(); }

}  // namespace touch_host
