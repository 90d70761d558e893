#pragma once
// The host's timer thread: serves every timer_tool that a module registers through the
// host's register-timer callback. Expiry handlers run on this one thread, one at a time,
// without any host lock held, so a handler may start or stop timers itself.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

#include "timer_tool.h"

namespace touch_host {

class TimerService {
 public:
  // Called on the timer thread right before a handler runs.
  using FireObserver = std::function<void(timer_tool *)>;

  explicit TimerService(FireObserver observer = {});
  ~TimerService();
  TimerService(const TimerService &) = delete;
  TimerService &operator=(const TimerService &) = delete;

  // Fills the timer's id, running flag and five operations; 0 or 255.
  int32_t register_timer(timer_tool *timer, timer_tool_handler handler);
  // Stops the thread (joined) and forgets every timer. Further operations return 255.
  void shutdown();
  std::thread::id thread_id() const;
  size_t timer_count() const;

 private:
  using Clock = std::chrono::steady_clock;
  struct Entry {
    timer_tool *timer = nullptr;
    timer_tool_handler handler = nullptr;
    bool armed = false;
    Clock::time_point deadline{};
    std::chrono::milliseconds period{0};  // 0: one-shot
  };
  enum class Op { kStart, kStop, kDelete, kRestart, kPeriodic };

  static int32_t op_start(timer_tool *timer, int32_t ms);
  static int32_t op_stop(timer_tool *timer);
  static int32_t op_delete(timer_tool *timer);
  static int32_t op_restart(timer_tool *timer, int32_t ms);
  static int32_t op_periodic(timer_tool *timer, int32_t ms);
  static int32_t dispatch(timer_tool *timer, Op op, int32_t ms);

  int32_t apply(timer_tool *timer, Op op, int32_t ms);
  void run();

  FireObserver observer_;
  mutable std::mutex entries_mutex_;  // guards entries_, stopping_ and the timers' running flags
  std::condition_variable wake_;
  std::map<timer_tool *, Entry> entries_;
  bool stopping_ = false;
  uint64_t next_id_ = 1;
  std::thread thread_;
  std::thread::id thread_id_;
};

}  // namespace touch_host
