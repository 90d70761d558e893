#pragma once
// touch_host: this system's own stand-in for the outside touch host. It loads the HAL
// module and one algorithm module with dlopen, hands each its host callback table, runs
// the modules' timers on a thread of its own and drives the per-frame loop:
//   HAL get frame -> algorithm update frame data -> update diff data
//   -> (points through the report callback) -> HAL report.
// Everything the modules hand back to the host is recorded and can be read back from any
// thread (snapshot()). The HAL's parsed configuration lives only during HAL host slot 3: the
// host hands it to HalModule slot 9 inside that callback, as the HAL expects.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "alg_module.h"
#include "common_data.h"
#include "decoded_frame.h"
#include "hal_module.h"
#include "timer_tool.h"

namespace touch_host {

// How the host calls the algorithm slots whose arguments differ between the two modules
// (see alg_module.h). kAuto picks kFerrant for a module whose name starts with "ferrant",
// else kLuma.
enum class AlgCallStyle { kAuto, kFerrant, kLuma };

enum class LogSource { kHost, kHal, kAlg };

struct LogLine {
  LogSource source = LogSource::kHost;
  int32_t level = 0;
  std::string text;
};

struct PointReport {
  uint64_t frame_serial = 0;  // host frame counter at the time of the report
  std::vector<AlgTouchPoint> points;
};

struct DriverRequest {
  uint32_t type = 0;
  std::vector<uint32_t> values;  // always 32-bit values, whatever unit the module counted in
};
// What a driver request type asks of the touch controller ("idle baseline", ...).
const char *driver_request_name(uint32_t type);
// One line for a request: "driver request type 2 (idle baseline) with 1 value(s), first 1".
std::string describe(const DriverRequest &request);

struct ControllerWrite {
  uint32_t reg = 0;
  std::vector<uint8_t> packet;
  uint32_t flag = 0;
};

struct TimerFire {
  const timer_tool *timer = nullptr;
  std::thread::id thread;
};

// One call of HAL host slot 3 (the HAL's parsed configuration).
struct HalConfigRecord {
  std::string config_file;  // the name the driver gave in TouchPanelInfo
  int32_t extent_x = 0;     // extents times the panel's scale
  int32_t extent_y = 0;
  int32_t tx_count = 0;
  int32_t rx_count = 0;
  int32_t vendor_fd = -1;   // the vendor companion file, -1 when there is none
  bool read_config_called = false;  // HalModule slot 9 ran inside the callback
  int32_t read_config_result = 0;
};

// Everything the modules handed to the host.
struct HostRecord {
  std::vector<PointReport> reports;
  std::vector<const DecodedFrame *> frames_processed;  // algorithm host slot 1
  std::vector<uint8_t> fingerprint_states;            // slot 2
  std::vector<uint8_t> state_changes;                 // slot 3
  std::vector<DriverRequest> driver_requests;         // slot 4
  std::vector<uint64_t> debug_infos;                  // slot 7: Ferrant's cell value or Luma's pointer
  std::vector<ControllerWrite> controller_writes;     // slot 8
  std::vector<const timer_tool *> timers_registered;  // slot 9
  std::vector<TimerFire> timer_fires;
  std::vector<common_data> driver_common_data;        // HAL host slot 1
  std::vector<uint32_t> touch_states;                 // HAL host slot 2
  std::vector<HalConfigRecord> hal_configs;           // HAL host slot 3
  std::vector<LogLine> logs;
  std::vector<int32_t> vsync_states;  // the HAL's vsync callback, in order
  size_t vsyncs_sent = 0;             // vsync times handed to the HAL
};

struct HostOptions {
  AlgCallStyle alg_style = AlgCallStyle::kAuto;
  uint32_t touch_id = 0;
  uint8_t replay_flag = 0;  // first byte of the HAL's host table
  // Where log lines go besides the record; default: stderr.
  std::function<void(const LogLine &)> log_sink;
  // Called inside HAL host slot 3, while the HAL's parsed configuration is alive (before
  // the host hands it to HalModule slot 9).
  std::function<void(void *tree, const HalConfigAccessor *accessor)> on_hal_config;
  // Called (on the reporting thread) for every point report.
  std::function<void(const PointReport &)> on_report;
  // Called (on the thread of the algorithm's call) for every controller write the
  // algorithm makes, after it is recorded.
  std::function<void(const ControllerWrite &)> on_controller_write;
  // Called on the frame thread with true when control passes into the algorithm's per-frame
  // operations (update frame data, update diff data) and with false when it comes back to
  // the host: at their return, and around every callback the algorithm makes during them
  // (false on the callback's entry, true on its return). A test brackets the algorithm's
  // own work with it, e.g. to count only the module's heap allocations.
  std::function<void(bool in_algorithm)> on_alg_control;
  // The display's vsync that the host feeds to the HAL while the HAL's reports follow it
  // (its vsync callback said 2): the period and the vsync mode sent with each time.
  std::chrono::nanoseconds vsync_period{16666667};
  uint32_t vsync_mode = 1;
};

// Result codes of the host's own operations.
enum class HostStatus { kOk, kNotLoaded, kFailed, kEndOfFrames };

class TouchHost {
 public:
  explicit TouchHost(HostOptions options = {});
  ~TouchHost();  // exit (when initialised), timer thread joined, libraries closed
  TouchHost(const TouchHost &) = delete;
  TouchHost &operator=(const TouchHost &) = delete;

  // Loading: false with a message in *error (library missing, entry point missing,
  // registration returned null). Only one TouchHost may have modules loaded at a time,
  // since the modules' callbacks carry no context.
  bool load_hal(const std::string &path, std::string *error);
  bool load_alg(const std::string &path, std::string *error);

  const HalModule *hal() const;
  const AlgModule *alg() const;
  HalFunctionInterface *hal_interface(uint32_t index) const;  // as fetched at load
  AlgCallStyle alg_style() const;
  std::string hal_name() const;
  std::string hal_version() const;
  std::string alg_name() const;
  std::string alg_version() const;
  void *alg_symbol(const char *name) const;  // for tests of the test modules
  void *hal_symbol(const char *name) const;

  // The algorithm's read-configuration with an open descriptor (the host keeps the
  // descriptor; the module only reads it). Call before init().
  HostStatus read_configuration(int fd);
  // The file must be a non-empty regular file (open_config_file); kFailed with the reason
  // in *error (also logged) otherwise.
  HostStatus read_configuration_file(const std::string &path, std::string *error = nullptr);
  // HAL init with the touch id, then algorithm init; the algorithm's init result is kept.
  HostStatus init(int32_t *alg_result = nullptr);
  HostStatus exit();

  // One frame from the HAL through the algorithm. kEndOfFrames when the HAL has no more.
  HostStatus run_frame();
  // Up to `count` frames; returns how many ran.
  size_t run_frames(size_t count);
  // A frame given directly to the algorithm, without a HAL.
  HostStatus process_frame(DecodedFrame *frame);

  // A command block for the modules: HAL first (pass-to-driver flag), then the algorithm
  // (its result word for the Luma style).
  HostStatus send_common_data(const common_data &block, uint32_t *alg_result = nullptr,
                              int32_t *pass_to_driver = nullptr);
  HostStatus update_suspend_status(bool suspend);

  HostRecord snapshot() const;
  void clear_record();
  bool wait_for_timer_fires(size_t count, std::chrono::milliseconds timeout) const;
  // True once a logged line contains `needle`: what a module's thread did shows to the host
  // only through its log, so a test waits on the line rather than on the clock.
  bool wait_for_log(const std::string &needle, std::chrono::milliseconds timeout) const;
  std::thread::id timer_thread_id() const;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

const char *to_string(LogSource source);

}  // namespace touch_host
