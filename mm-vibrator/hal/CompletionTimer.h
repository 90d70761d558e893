#pragma once
// One thread that calls completion callbacks when their time comes. A vibration of a
// minute must not hold a thread of its own for that minute: every pending callback waits
// here, in order of its deadline.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

namespace aidl::android::hardware::vibrator {

class CompletionTimer {
 public:
  using Clock = std::chrono::steady_clock;
  // Starts the timer's thread running body; false when the thread cannot be created.
  using ThreadStarter = std::function<bool(std::thread* out, std::function<void()> body)>;

  CompletionTimer();
  explicit CompletionTimer(ThreadStarter starter);
  // Pending callbacks are dropped, not called; a callback running now is waited for.
  ~CompletionTimer();
  CompletionTimer(const CompletionTimer&) = delete;
  CompletionTimer& operator=(const CompletionTimer&) = delete;

  // Makes sure the thread runs; false when it cannot be started. Callers check this before
  // they start a vibration whose end they promised to report.
  bool start();
  // Calls fn on the timer thread once delay has passed; false (fn dropped) when the thread
  // cannot be started.
  bool schedule(std::chrono::milliseconds delay, std::function<void()> fn);
  size_t pending();

 private:
  void run();

  ThreadStarter mStarter;
  std::mutex mLock;
  std::condition_variable mChanged;
  std::multimap<Clock::time_point, std::function<void()>> mQueue;
  bool mStopping = false;
  bool mStarted = false;
  std::thread mThread;
};

}  // namespace aidl::android::hardware::vibrator
