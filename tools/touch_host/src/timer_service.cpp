#include "timer_service.h"

#include <algorithm>
#include <vector>

namespace touch_host {
namespace {

constexpr int32_t kOk = 0;
constexpr int32_t kFailed = 255;

// The timer operations are plain C hooks that receive only the timer: this map finds the
// service that registered it.
std::mutex g_owner_mutex;
std::map<const timer_tool *, TimerService *> g_owner;

}  // namespace

TimerService::TimerService(FireObserver observer) : observer_(std::move(observer)) {}

TimerService::~TimerService() { shutdown(); }

int32_t TimerService::register_timer(timer_tool *timer, timer_tool_handler handler) {
  if (timer == nullptr || handler == nullptr) return kFailed;
  {
    std::lock_guard<std::mutex> owner_lock(g_owner_mutex);
    if (g_owner.count(timer) != 0) return kFailed;  // registered already (here or elsewhere)
    std::lock_guard<std::mutex> lock(entries_mutex_);
    if (stopping_) return kFailed;
    Entry entry;
    entry.timer = timer;
    entry.handler = handler;
    entries_[timer] = entry;
    g_owner[timer] = this;
    timer->timer_id = next_id_++;
    // Modules read the flag on their own threads while this one changes it.
    __atomic_store_n(&timer->running, 0, __ATOMIC_RELEASE);
    timer->start = &TimerService::op_start;
    timer->stop = &TimerService::op_stop;
    timer->delete_timer = &TimerService::op_delete;
    timer->restart = &TimerService::op_restart;
    timer->set_periodic = &TimerService::op_periodic;
    if (!thread_.joinable()) {
      thread_ = std::thread(&TimerService::run, this);
      thread_id_ = thread_.get_id();
    }
  }
  return kOk;
}

void TimerService::shutdown() {
  {
    std::lock_guard<std::mutex> owner_lock(g_owner_mutex);
    std::lock_guard<std::mutex> lock(entries_mutex_);
    stopping_ = true;
    for (auto &[timer, entry] : entries_) g_owner.erase(timer);
  }
  wake_.notify_all();
  if (thread_.joinable() && std::this_thread::get_id() != thread_.get_id()) thread_.join();
  std::lock_guard<std::mutex> lock(entries_mutex_);
  entries_.clear();
}

std::thread::id TimerService::thread_id() const {
  std::lock_guard<std::mutex> lock(entries_mutex_);
  return thread_id_;
}

size_t TimerService::timer_count() const {
  std::lock_guard<std::mutex> lock(entries_mutex_);
  return entries_.size();
}

int32_t TimerService::op_start(timer_tool *timer, int32_t ms) { return dispatch(timer, Op::kStart, ms); }
int32_t TimerService::op_stop(timer_tool *timer) { return dispatch(timer, Op::kStop, 0); }
int32_t TimerService::op_delete(timer_tool *timer) { return dispatch(timer, Op::kDelete, 0); }
int32_t TimerService::op_restart(timer_tool *timer, int32_t ms) { return dispatch(timer, Op::kRestart, ms); }
int32_t TimerService::op_periodic(timer_tool *timer, int32_t ms) { return dispatch(timer, Op::kPeriodic, ms); }

int32_t TimerService::dispatch(timer_tool *timer, Op op, int32_t ms) {
  if (timer == nullptr) return kFailed;
  TimerService *owner = nullptr;
  {
    std::lock_guard<std::mutex> owner_lock(g_owner_mutex);
    auto it = g_owner.find(timer);
    if (it == g_owner.end()) return kFailed;
    owner = it->second;
    if (op == Op::kDelete) g_owner.erase(it);
    // The owner cannot go away while g_owner_mutex is held: shutdown() takes it first.
    return owner->apply(timer, op, ms);
  }
}

int32_t TimerService::apply(timer_tool *timer, Op op, int32_t ms) {
  const auto period = std::chrono::milliseconds(std::max<int32_t>(ms, 0));
  {
    std::lock_guard<std::mutex> lock(entries_mutex_);
    auto it = entries_.find(timer);
    if (it == entries_.end() || stopping_) return kFailed;
    Entry &entry = it->second;
    switch (op) {
      case Op::kStart:
        if (entry.armed) return kOk;  // a running timer is not re-armed
        [[fallthrough]];
      case Op::kRestart:
        entry.armed = true;
        entry.period = std::chrono::milliseconds(0);
        entry.deadline = Clock::now() + period;
        break;
      case Op::kStop:
        entry.armed = false;
        break;
      case Op::kDelete:
        __atomic_store_n(&timer->running, 0, __ATOMIC_RELEASE);
        timer->start = nullptr;
        timer->stop = nullptr;
        timer->delete_timer = nullptr;
        timer->restart = nullptr;
        timer->set_periodic = nullptr;
        entries_.erase(it);
        return kOk;
      case Op::kPeriodic: {
        const bool want = ms != 0;
        if (entry.armed == want && entry.period == period) return kOk;
        // Fires at once, then every `ms`; with 0 it fires once and stays quiet.
        entry.armed = true;
        entry.period = period;
        entry.deadline = Clock::now();
        break;
      }
    }
    __atomic_store_n(&timer->running, entry.armed ? 1 : 0, __ATOMIC_RELEASE);
  }
  wake_.notify_all();
  return kOk;
}

void TimerService::run() {
  std::unique_lock<std::mutex> lock(entries_mutex_);
  while (!stopping_) {
    auto next = Clock::time_point::max();
    for (const auto &[timer, entry] : entries_) {
      if (entry.armed) next = std::min(next, entry.deadline);
    }
    if (next == Clock::time_point::max()) {
      wake_.wait(lock);
      continue;
    }
    if (Clock::now() < next) {
      wake_.wait_until(lock, next);
      continue;
    }
    const auto now = Clock::now();
    std::vector<std::pair<timer_tool *, timer_tool_handler>> due;
    for (auto &[timer, entry] : entries_) {
      if (!entry.armed || entry.deadline > now) continue;
      due.emplace_back(timer, entry.handler);
      if (entry.period.count() > 0) {
        entry.deadline = now + entry.period;
      } else {
        // A one-shot timer that fired is no longer running: the next start arms it again.
        entry.armed = false;
        __atomic_store_n(&timer->running, 0, __ATOMIC_RELEASE);
      }
    }
    lock.unlock();
    for (auto &[timer, handler] : due) {
      if (observer_) observer_(timer);
      handler(timer);
    }
    lock.lock();
  }
}

}  // namespace touch_host
