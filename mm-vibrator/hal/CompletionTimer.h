#pragma once
// One thread that calls completion callbacks when their time comes. A vibration of a
// minute must not hold a thread of its own for that minute: every pending callback waits
// here, in order of its deadline.
//
// A callback is released (destroyed) on the timer thread without the timer's lock, as it is
// called: its release may call back into the service, schedule another callback, or drop
// the last reference to the service that owns this timer. Callbacks still pending when the
// timer stops are released by stop(), also without the lock.

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
  // Stops the timer (see stop()).
  ~CompletionTimer();
  CompletionTimer(const CompletionTimer&) = delete;
  CompletionTimer& operator=(const CompletionTimer&) = delete;

  // Makes sure the thread runs; false when it cannot be started or the timer has stopped.
  // Callers check this before they start a vibration whose end they promised to report.
  bool start();
  // Calls fn on the timer thread once delay has passed; false (fn dropped) when the thread
  // cannot be started or the timer has stopped.
  bool schedule(std::chrono::milliseconds delay, std::function<void()> fn);
  size_t pending();
  // Ends the timer for good, for an owner about to tear down what its callbacks use: waits
  // for a callback running now (which may still call the owner, and may schedule no more),
  // then releases the pending ones, not called, on this thread before it returns. Called
  // on the timer thread itself (a callback's release ended the timer's owner), it cannot
  // wait for that release: it releases the pending callbacks and leaves the thread to end
  // on its own once the release returns, touching nothing of this object from then on.
  // Later calls do nothing. The owner calls it from one thread.
  void stop();

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
  bool startLocked();  // with mQueue->lock held

  ThreadStarter mStarter;
  std::shared_ptr<Queue> mQueue = std::make_shared<Queue>();
  bool mStarted = false;  // guarded by mQueue->lock, as is mThread
  std::thread mThread;
};

}  // namespace aidl::android::hardware::vibrator
