#define LOG_TAG "vendor.hardware.vibratorfeature"

#include "CompletionTimer.h"

#include <system_error>
#include <utility>

#include <log/log.h>

namespace aidl::android::hardware::vibrator {

namespace {

bool startThread(std::thread* out, std::function<void()> body) {
  try {
    *out = std::thread(std::move(body));
    return true;
  } catch (const std::system_error& e) {
    ALOGE("completion timer thread not started: %s", e.what());
    return false;
  }
}

}  // namespace

CompletionTimer::CompletionTimer() : mStarter(startThread) {}

CompletionTimer::CompletionTimer(ThreadStarter starter) : mStarter(std::move(starter)) {}

CompletionTimer::~CompletionTimer() { stop(); }

void CompletionTimer::stop() {
  std::thread thread;
  std::multimap<Clock::time_point, std::function<void()>> dropped;
  {
    std::lock_guard<std::mutex> g(mQueue->lock);
    mQueue->stopping = true;
    mQueue->changed.notify_all();
    dropped = std::move(mQueue->entries);
    mQueue->entries.clear();
    thread = std::move(mThread);
  }
  if (thread.joinable()) {
    if (thread.get_id() == std::this_thread::get_id()) {
      // Ended by a callback's release on the timer thread: it cannot wait for itself. The
      // thread holds its own reference to the queue and leaves once the release returns.
      thread.detach();
    } else {
      // A callback running now finishes first: its calls reach an owner still whole.
      thread.join();
    }
  }
  // Released without the lock, after the running callback: a release may call the owner.
  dropped.clear();
}

bool CompletionTimer::start() {
  std::lock_guard<std::mutex> g(mQueue->lock);
  return startLocked();
}

bool CompletionTimer::startLocked() {
  if (mQueue->stopping) return false;
  if (mStarted) return true;
  if (!mStarter(&mThread, [queue = mQueue] { run(queue); })) return false;
  mStarted = true;
  return true;
}

bool CompletionTimer::schedule(std::chrono::milliseconds delay, std::function<void()> fn) {
  {
    std::lock_guard<std::mutex> g(mQueue->lock);
    if (startLocked()) {
      mQueue->entries.emplace(Clock::now() + delay, std::move(fn));
      mQueue->changed.notify_all();
      return true;
    }
  }
  fn = nullptr;  // a refused callback is released here, without the lock
  return false;
}

size_t CompletionTimer::pending() {
  std::lock_guard<std::mutex> g(mQueue->lock);
  return mQueue->entries.size();
}

void CompletionTimer::run(const std::shared_ptr<Queue>& queue) {
  std::unique_lock<std::mutex> g(queue->lock);
  while (!queue->stopping) {
    if (queue->entries.empty()) {
      queue->changed.wait(g);
      continue;
    }
    auto first = queue->entries.begin();
    if (Clock::now() < first->first) {
      queue->changed.wait_until(g, first->first);
      continue;
    }
    std::function<void()> fn = std::move(first->second);
    queue->entries.erase(first);
    // Called and released without the lock: a callback may schedule another or take its
    // time, and its release may call the service or end the timer's owner.
    g.unlock();
    fn();
    fn = nullptr;
    g.lock();
  }
  // What was pending went with stop(), which refuses anything scheduled since.
}

}  // namespace aidl::android::hardware::vibrator
