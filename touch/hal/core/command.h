#pragma once
// The get-command interface (index 4): "touch-cmd-fi" reads the driver's common_data
// blocks into an 8-block ring, "touch-cmd-fo" hands them to host slot 1 in arrival order.
#include <stdint.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "core/hal_core.h"

namespace hal {

class CommandThreads {
 public:
  static constexpr int kSlots = 8;
  static constexpr uint32_t kStallMs = 50;

  CommandThreads() = default;
  CommandThreads(const CommandThreads &) = delete;
  CommandThreads &operator=(const CommandThreads &) = delete;
  // Ends the threads and gives the watchdog timers back: the timer table is the
  // process's, and an entry left behind would point into a freed object.
  ~CommandThreads() { exit(); }

  // Registers the two stall watchdogs, which exit() removes again.
  int32_t init(int32_t fd, uint8_t touch_id, uint8_t replay_flag);
  int32_t exit();
  bool running() const { return running_.load(); }

 private:
  struct Watch {
    timer_tool tool{};  // first: the timer callback gets its address
  };
  static void *inputRoutine(void *self);
  static void *outputRoutine(void *self);
  static int32_t inputStalled(timer_tool *timer);
  static int32_t outputStalled(timer_tool *timer);
  void readLoop();
  void deliverLoop();
  void store(const common_data &block);
  bool startThread(const char *name, void *(*routine)(void *), const char *failure, uint64_t *handle);
  void removeWatches();

  int32_t fd_ = -1;
  uint8_t touch_id_ = 0;
  std::mutex lock_;  // guards the ring, its indices and flags
  std::condition_variable ready_;
  common_data ring_[kSlots]{};
  int write_ = 0;
  int read_ = 0;
  bool empty_ = true;
  bool exit_ = false;
  int exit_event_ = -1;
  std::atomic<bool> stop_input_{false};
  std::atomic<bool> running_{false};
  Watch input_watch_;
  Watch output_watch_;
  uint64_t input_thread_ = 0;
  uint64_t output_thread_ = 0;
};

}  // namespace hal
