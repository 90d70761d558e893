// The process's binder thread pool: the threads that serve calls arriving through proxies.
//
// As in a real binder process, a call through a proxy does not run on the caller's thread:
// it is queued for the pool, and a pool thread (one started by ABinderProcess_startThreadPool,
// one started on demand up to the maximum, or one that joined with
// ABinderProcess_joinThreadPool) takes it, runs the service's onTransact and hands the reply
// back to the waiting caller. One-way calls are queued per target object: the caller does
// not wait, and the calls for one object run one at a time in the order they were sent.
//
// All binders live in this one process, so one pool serves every "process". Two rules keep
// that from deadlocking where separate processes would not:
// - a pool with no thread at all (a test acting only as a client, or a pool already stopped)
//   gets one started for the call;
// - a pool thread that makes a synchronous call while no other thread is free, and none may
//   be started, runs that call itself, as binder hands a nested call back to the thread
//   that waits in it.
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

#include <android/binder_process.h>
#include <android/log.h>

#include "binder_internal.h"
#include "platform_binder_test.h"

namespace {

constexpr const char* kTag = "platform_binder";

thread_local bool tPoolThread = false;

struct Pool {
  std::mutex lock;  // guards everything below
  std::condition_variable work;     // a job was queued, or the pool is stopping
  std::condition_variable changed;  // threads joined or left
  std::deque<std::function<void()>> jobs;
  // One-way calls waiting behind the one of the same object that is queued or running.
  std::map<const AIBinder*, std::deque<std::function<void()>>> oneway;
  uint32_t maxThreads = 0;
  bool started = false;
  bool stopRequested = false;
  int joined = 0;        // threads inside ABinderProcess_joinThreadPool
  int serving = 0;       // every pool thread, joined or started
  int idle = 0;          // pool threads waiting for a job
  uint32_t spawned = 0;  // threads started on demand (the maximum's count)
  // Every pool thread started, joined when the process is reset: a thread's own exit work
  // (thread-local state of the libraries its jobs called) must be over before a test ends.
  std::vector<std::thread> threads;
};

Pool& pool() {
  static Pool* instance = new Pool();  // lives for the process: detached threads use it
  return *instance;
}

// The loop of every pool thread; returns once the pool stops and no job is left.
void serve(std::unique_lock<std::mutex>& lock) {
  Pool& p = pool();
  tPoolThread = true;
  ++p.serving;
  p.changed.notify_all();
  for (;;) {
    ++p.idle;
    p.work.wait(lock, [&] { return !p.jobs.empty() || p.stopRequested; });
    --p.idle;
    if (p.jobs.empty()) break;  // stopping, nothing left
    std::function<void()> job = std::move(p.jobs.front());
    p.jobs.pop_front();
    lock.unlock();
    job();
    job = nullptr;  // whatever the job held goes before the lock is taken again
    lock.lock();
  }
  --p.serving;
  tPoolThread = false;
  p.changed.notify_all();
}

// Starts a pool thread. Called with the pool lock held. The thread is counted at once, so
// that a reset made before it first runs still waits for it (and sees it leave).
void spawnLocked() {
  ++pool().serving;
  pool().threads.emplace_back([] {
    std::unique_lock<std::mutex> lock(pool().lock);
    --pool().serving;  // serve() counts it again
    serve(lock);
  });
}

// Queues a job and sees that a thread will take it. Called with the pool lock held.
void pushLocked(std::function<void()> job) {
  Pool& p = pool();
  p.jobs.push_back(std::move(job));
  // A thread waiting for work that no earlier job has claimed takes it.
  if (p.idle >= static_cast<int>(p.jobs.size())) {
    p.work.notify_one();
    return;
  }
  if (p.serving == 0 || p.spawned < p.maxThreads) {
    if (p.serving != 0) ++p.spawned;
    ++p.serving;  // counted at once, so that a burst of calls starts one thread, not many
    p.threads.emplace_back([] {
      std::unique_lock<std::mutex> lock(pool().lock);
      --pool().serving;  // serve() counts it again
      serve(lock);
    });
    return;
  }
  p.work.notify_one();
}

// Runs the next one-way call queued for `target` once the current one has ended.
void runOneway(const AIBinder* target) {
  Pool& p = pool();
  std::function<void()> call;
  {
    std::lock_guard<std::mutex> lock(p.lock);
    auto it = p.oneway.find(target);
    call = std::move(it->second.front());
    it->second.pop_front();
  }
  call();
  call = nullptr;
  std::lock_guard<std::mutex> lock(p.lock);
  auto it = p.oneway.find(target);
  if (it->second.empty()) {
    p.oneway.erase(it);
  } else {
    pushLocked([target] { runOneway(target); });
  }
}

}  // namespace

namespace binder_internal {

void runOnPool(const std::function<void()>& call) {
  Pool& p = pool();
  std::unique_lock<std::mutex> lock(p.lock);
  const bool canStart = p.serving == 0 || p.spawned < p.maxThreads;
  if (tPoolThread && p.idle <= static_cast<int>(p.jobs.size()) && !canStart) {
    lock.unlock();
    call();  // nested: no other thread could ever take it
    return;
  }
  std::condition_variable doneCond;
  bool done = false;
  pushLocked([&] {
    call();
    std::lock_guard<std::mutex> g(p.lock);
    done = true;
    doneCond.notify_all();
  });
  doneCond.wait(lock, [&] { return done; });
}

void queueOneway(const AIBinder* target, std::function<void()> call) {
  Pool& p = pool();
  std::lock_guard<std::mutex> lock(p.lock);
  auto [it, first] = p.oneway.try_emplace(target);
  it->second.push_back(std::move(call));
  if (first) pushLocked([target] { runOneway(target); });
}

}  // namespace binder_internal

extern "C" {

void ABinderProcess_startThreadPool() {
  Pool& p = pool();
  std::lock_guard<std::mutex> lock(p.lock);
  if (p.started) return;
  p.started = true;
  spawnLocked();
}

bool ABinderProcess_setThreadPoolMaxThreadCount(uint32_t numThreads) {
  std::lock_guard<std::mutex> lock(pool().lock);
  if (pool().started) return false;  // fixed once the pool runs
  pool().maxThreads = numThreads;
  return true;
}

bool ABinderProcess_isThreadPoolStarted() {
  std::lock_guard<std::mutex> lock(pool().lock);
  return pool().started;
}

void ABinderProcess_joinThreadPool() {
  Pool& p = pool();
  std::unique_lock<std::mutex> lock(p.lock);
  ++p.joined;
  serve(lock);
  --p.joined;
  p.changed.notify_all();
}

}  // extern "C"

namespace platform_binder_test {

void stopProcess() {
  {
    std::lock_guard<std::mutex> lock(pool().lock);
    pool().stopRequested = true;
  }
  pool().work.notify_all();
}

void resetProcess() {
  Pool& p = pool();
  std::unique_lock<std::mutex> lock(p.lock);
  p.stopRequested = true;  // frees any thread a test left in the pool
  p.work.notify_all();
  const bool allLeft = p.changed.wait_for(lock, std::chrono::seconds(30), [&] { return p.serving == 0; });
  if (!allLeft) {
    __android_log_print(ANDROID_LOG_ERROR, kTag, "%d pool threads still busy after 30 s", p.serving);
  }
  p.stopRequested = false;
  p.started = false;
  p.maxThreads = 0;
  p.spawned = 0;
  std::vector<std::thread> finished;
  finished.swap(p.threads);
  lock.unlock();
  for (std::thread& t : finished) {
    if (!allLeft || t.get_id() == std::this_thread::get_id()) {
      t.detach();  // a busy thread, or a job resetting the process, is not waited for
    } else if (t.joinable()) {
      t.join();
    }
  }
}

bool waitForJoinedThreads(int count, std::chrono::milliseconds timeout) {
  Pool& p = pool();
  std::unique_lock<std::mutex> lock(p.lock);
  return p.changed.wait_for(lock, timeout, [&] { return p.joined >= count; });
}

uint32_t threadPoolMaxThreadCount() {
  std::lock_guard<std::mutex> lock(pool().lock);
  return pool().maxThreads;
}

bool onPoolThread() { return tPoolThread; }

}  // namespace platform_binder_test
