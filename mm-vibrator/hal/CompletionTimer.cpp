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
  {
    std::lock_guard<std::mutex> g(mLock);
    mStopping = true;
    mChanged.notify_all();
  }
  if (mThread.joinable()) mThread.join();
}

bool CompletionTimer::start() {
  std::lock_guard<std::mutex> g(mLock);
  if (mStarted) return true;
  if (mStopping || !mStarter(&mThread, [this] { run(); })) return false;
  mStarted = true;
  return true;
}

bool CompletionTimer::schedule(std::chrono::milliseconds delay, std::function<void()> fn) {
  if (!start()) return false;
  std::lock_guard<std::mutex> g(mLock);
  mQueue.emplace(Clock::now() + delay, std::move(fn));
  mChanged.notify_all();
  return true;
}

size_t CompletionTimer::pending() {
  std::lock_guard<std::mutex> g(mLock);
  return mQueue.size();
}

void CompletionTimer::run() {
  std::unique_lock<std::mutex> g(mLock);
  while (!mStopping) {
    if (mQueue.empty()) {
      mChanged.wait(g);
      continue;
    }
    auto first = mQueue.begin();
    if (Clock::now() < first->first) {
      mChanged.wait_until(g, first->first);
      continue;
    }
    std::function<void()> fn = std::move(first->second);
    mQueue.erase(first);
    // Called without the lock: a callback may schedule another or take its time.
    g.unlock();
    fn();
    g.lock();
  }
  mQueue.clear();
}

}  // namespace aidl::android::hardware::vibrator
