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

CompletionTimer::~CompletionTimer() {
  std::thread thread;
  {
    std::lock_guard<std::mutex> g(mQueue->lock);
    mQueue->stopping = true;
    mQueue->changed.notify_all();
    thread = std::move(mThread);
  }
  if (!thread.joinable()) return;
  if (thread.get_id() == std::this_thread::get_id()) {
    // Ended by a callback's release on the timer thread: it cannot wait for itself. The
    // thread holds its own reference to the queue and leaves once the release returns.
    thread.detach();
  } else {
    thread.join();
  }
}

bool CompletionTimer::start() {
  std::lock_guard<std::mutex> g(mQueue->lock);
  if (mStarted) return true;
  if (mQueue->stopping || !mStarter(&mThread, [queue = mQueue] { run(queue); })) return false;
  mStarted = true;
  return true;
}

bool CompletionTimer::schedule(std::chrono::milliseconds delay, std::function<void()> fn) {
  if (!start()) return false;
  std::lock_guard<std::mutex> g(mQueue->lock);
  mQueue->entries.emplace(Clock::now() + delay, std::move(fn));
  mQueue->changed.notify_all();
  return true;
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
  // Pending callbacks are dropped, released without the lock as the others are.
  auto dropped = std::move(queue->entries);
  queue->entries.clear();
  g.unlock();
}

}  // namespace aidl::android::hardware::vibrator
