#pragma once
// One thread that calls completion callbacks when their time comes. A vibration of a
// minute must not hold a thread of its own for that minute: every pending callback waits
// here, in order of its deadline.
//
// A callback is released (destroyed) on the timer thread without the timer's lock, as it is
// called: its release may call back into the service, schedule another callback, or drop
// the last reference to the service that owns this timer.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
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
  // Pending callbacks are dropped, not called; a callback running now is waited for. When
  // the destructor runs on the timer thread itself (a callback's release ended the timer's
  // owner), the thread is not waited for: it ends on its own once the release returns, and
  // touches nothing of this object from then on.
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
  // What the thread works on: shared with it, so that it outlives the timer when the
  // thread is left to end on its own.
  struct Queue {
    std::mutex lock;
    std::condition_variable changed;
    std::multimap<Clock::time_point, std::function<void()>> entries;
    bool stopping = false;
  };
  static void run(const std::shared_ptr<Queue>& queue);

  ThreadStarter mStarter;
  std::shared_ptr<Queue> mQueue = std::make_shared<Queue>();
  bool mStarted = false;  // guarded by mQueue->lock, as is mThread
  std::thread mThread;
};

}  // namespace aidl::android::hardware::vibrator
