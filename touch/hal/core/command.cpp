// The get-command interface: driver blocks in, host slot 1 out.
#include "core/command.h"

#include <errno.h>
#include <poll.h>
#include <pthread.h>
#include <string.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include "platform/devio.h"

namespace hal {

namespace {
constexpr char kExitEventBytes[8] = {'1', '2', '3', '4', '5', '6', '7', '8'};

void watch_start(timer_tool *t, uint32_t ms) {
  if (t->start != nullptr) t->start(t, static_cast<int32_t>(ms));
}
void watch_stop(timer_tool *t) {
  if (t->stop != nullptr) t->stop(t);
}
void watch_remove(timer_tool *t) {
  watch_stop(t);
  if (t->delete_timer != nullptr) t->delete_timer(t);
}
}  // namespace

int32_t CommandThreads::inputStalled(timer_tool *) {
  HAL_LOG_AS(HAL_LOG_ERROR, "cmd_fi_restart_thp", "cmd fi thread error, restart");
  return 0;
}

int32_t CommandThreads::outputStalled(timer_tool *) {
  HAL_LOG_AS(HAL_LOG_ERROR, "cmd_fo_restart_thp", "cmd fo thread error, restart");
  return 0;
}

bool CommandThreads::startThread(const char *name, void *(*routine)(void *), const char *failure, uint64_t *handle) {
  for (uint32_t attempt = 1;; ++attempt) {
    *handle = create_thread(name, routine, this, 1);
    if (*handle != 0) return true;
    HAL_LOG_AS(HAL_LOG_ERROR, "get_cmd_init", "touch id %d create a thread of %s fail", touch_id_, failure);
    if (attempt >= hal_start_max_attempts()) return false;
    hal_sleep_ms(hal_start_retry_ms());
  }
}

int32_t CommandThreads::init(int32_t fd, uint8_t touch_id, uint8_t replay_flag) {
  if (running_.load()) return 0;  // already running: a second init would leak the first
  if ((replay_flag & 1u) != 0) return 0;
  {
    std::lock_guard<std::mutex> guard(lock_);
    write_ = 0;
    read_ = 0;
    empty_ = true;
    exit_ = false;
  }
  fd_ = fd;
  touch_id_ = touch_id;
  stop_input_ = false;
  // Each start registers its watchdogs and exit() removes them: the table has room for
  // HAL_TIMER_MAX timers in the whole process, shared with the host and the frame thread.
  if (input_watch_.tool.start == nullptr) register_timer(&input_watch_.tool, inputStalled);
  // The exit event exists before the thread does, so an early exit cannot be missed.
  exit_event_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (exit_event_ < 0) HAL_LOG_AS(HAL_LOG_ERROR, "get_cmd_frome_driver_routine", "create exit thread event fd failed!");
  if (!startThread("touch-cmd-fi", inputRoutine, "getting cmd", &input_thread_)) {
    if (exit_event_ >= 0) close(exit_event_);
    exit_event_ = -1;
    removeWatches();
    return HAL_RESULT_GAVE_UP;
  }
  running_ = true;
  if (output_watch_.tool.start == nullptr) register_timer(&output_watch_.tool, outputStalled);
  if (!startThread("touch-cmd-fo", outputRoutine, "processing cmd", &output_thread_)) {
    output_thread_ = 0;
    exit();  // half a command road is none: stop the reader again
    return HAL_RESULT_GAVE_UP;
  }
  return 0;
}

void *CommandThreads::inputRoutine(void *self) {
  static_cast<CommandThreads *>(self)->readLoop();
  return nullptr;
}

void *CommandThreads::outputRoutine(void *self) {
  static_cast<CommandThreads *>(self)->deliverLoop();
  return nullptr;
}

void CommandThreads::store(const common_data &block) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (!empty_ && write_ == read_) {
      HAL_LOG_AS(HAL_LOG_ERROR, "get_cmd_frome_driver_routine", "common data buf full, skip old index %d", read_);
      read_ = (read_ + 1) % kSlots;
    }
    ring_[write_] = block;
    write_ = (write_ + 1) % kSlots;
    empty_ = false;
  }
  ready_.notify_one();
}

void CommandThreads::readLoop() {
  const char *func = "get_cmd_frome_driver_routine";
  HAL_LOG_AS(HAL_LOG_INFO, func, "touch id %d get cmd from driver thread enter", touch_id_);
  bool device_error_logged = false;
  bool short_read_logged = false;
  while (!stop_input_.load()) {
    const int wait = hal_wait_device(fd_, POLLRDNORM, exit_event_, func, touch_id_, &device_error_logged);
    if (wait == HAL_WAIT_EXIT || stop_input_.load()) break;
    if (wait != HAL_WAIT_READY) continue;
    watch_start(&input_watch_.tool, kStallMs);
    // Read into a block of our own: the ring slot may still be on its way to the host.
    common_data block;
    const ssize_t got = plat_pread(fd_, &block, sizeof(block), 0);
    HAL_LOG_AS(HAL_LOG_VERBOSE, func, "read count is %d", static_cast<int>(got));
    if (got < 1) {
      HAL_LOG_AS(HAL_LOG_ERROR, func, "error: %s", strerror(errno));
      for (int i = 0; i < 10 && !stop_input_.load(); ++i) hal_sleep_ms(100);
      continue;
    }
    if (static_cast<size_t>(got) != sizeof(block)) {
      // Part of a block is not a command: never hand stale bytes to the host.
      if (!short_read_logged) HAL_LOG_AS(HAL_LOG_ERROR, func, "short common data block of %d bytes dropped", static_cast<int>(got));
      short_read_logged = true;
      watch_stop(&input_watch_.tool);
      continue;
    }
    store(block);
    watch_stop(&input_watch_.tool);
  }
  watch_stop(&input_watch_.tool);
  HAL_LOG_AS(HAL_LOG_INFO, func, "touch id %d get cmd from driver thread exit", touch_id_);
}

void CommandThreads::deliverLoop() {
  const char *func = "process_cmd_thread_routine";
  HAL_LOG_AS(HAL_LOG_INFO, func, "cmd process thread enter");
  std::unique_lock<std::mutex> guard(lock_);
  for (;;) {
    ready_.wait(guard, [&] { return exit_ || !empty_; });
    if (exit_) break;
    while (!empty_) {
      // Hand over a copy without the lock, so a slow host never stalls the reader; the
      // reader may meanwhile fill the ring and drop its oldest block.
      common_data block = ring_[read_];
      read_ = (read_ + 1) % kSlots;
      if (read_ == write_) empty_ = true;
      guard.unlock();
      watch_start(&output_watch_.tool, kStallMs);
      const HalHostCallbacks *host = get_hal_module_callback();
      if (host != nullptr && host->driver_common_data != nullptr) host->driver_common_data(&block);
      watch_stop(&output_watch_.tool);
      guard.lock();
      if (exit_) break;
    }
    if (exit_) break;
  }
  HAL_LOG_AS(HAL_LOG_INFO, func, "cmd process thread exit");
}

void CommandThreads::removeWatches() {
  watch_remove(&input_watch_.tool);
  watch_remove(&output_watch_.tool);
}

int32_t CommandThreads::exit() {
  if (!running_.load()) return 0;
  stop_input_ = true;
  if (exit_event_ >= 0 && write(exit_event_, kExitEventBytes, sizeof(kExitEventBytes)) < 0)
    HAL_LOG_AS(HAL_LOG_ERROR, "get_cmd_exit", "wake cmd thread failed: %s", strerror(errno));
  if (input_thread_ != 0) pthread_join(static_cast<pthread_t>(input_thread_), nullptr);
  input_thread_ = 0;
  if (exit_event_ >= 0) close(exit_event_);
  exit_event_ = -1;
  {
    std::lock_guard<std::mutex> guard(lock_);
    exit_ = true;
  }
  ready_.notify_all();
  if (output_thread_ != 0) pthread_join(static_cast<pthread_t>(output_thread_), nullptr);
  output_thread_ = 0;
  // Both threads are gone, so neither watchdog can be armed again.
  removeWatches();
  running_ = false;
  return 0;
}

}  // namespace hal

// ---------------------------------------------------------------------------------------
// The interface record: initialise and exit only.
namespace {
hal::CommandThreads g_commands;

int32_t hook_init(TouchPanelInfo *, int32_t fd, uint8_t touch_id, uint8_t replay) {
  return g_commands.init(fd, touch_id, replay);
}
int32_t hook_exit() { return g_commands.exit(); }

HalFunctionInterface command_interface() {
  HalFunctionInterface table{};
  table.init = hook_init;
  table.exit = hook_exit;
  return table;
}
const HalFunctionInterface kCommandInterface = command_interface();
}  // namespace

const HalFunctionInterface *hal_getcmd_interface(void) { return &kCommandInterface; }
