// One-shot and periodic timers for the module and the host: POSIX timers that signal one
// timer thread ("touch-timer-thread"), timer i with real-time signal 41 + i.
#include <errno.h>
#include <pthread.h>
#include <signal.h>
#include <string.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <mutex>

#include "core/hal_core.h"

namespace {

struct TimerEntry {
  std::atomic<timer_tool *> timer{nullptr};  // free while null
  std::atomic<timer_tool_handler> callback{nullptr};
  timer_t posix_id{};
};

TimerEntry g_timers[HAL_TIMER_MAX];
std::mutex g_register_lock;  // guards taking and freeing entries and starting the thread
std::atomic<pid_t> g_timer_tid{0};
std::atomic<bool> g_timer_stop{false};
pthread_t g_timer_thread{};
bool g_timer_thread_started = false;

int signal_of(int index) { return HAL_TIMER_SIGNAL_BASE + index; }

int index_of(const timer_tool *timer) {
  for (int i = 0; i < HAL_TIMER_MAX; ++i)
    if (g_timers[i].timer.load() == timer) return i;
  return -1;
}

uint8_t running(const timer_tool *t) { return __atomic_load_n(&t->running, __ATOMIC_ACQUIRE); }
void set_running(timer_tool *t, uint8_t v) { __atomic_store_n(&t->running, v, __ATOMIC_RELEASE); }

struct timespec ms_to_timespec(int32_t ms) {
  if (ms < 0) ms = 0;
  return {static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
}

// Sets the POSIX timer of a registered timer_tool (a zero expiry disarms).
int32_t set_time(const char *func, timer_tool *timer, const struct itimerspec &when) {
  if (timer == nullptr) {
    HAL_LOG_AS(HAL_LOG_ERROR, func, "timer id is NULL, stop start or stop.");
    return HAL_RESULT_FAILED;
  }
  const int index = index_of(timer);
  if (index < 0) {
    HAL_LOG_AS(HAL_LOG_ERROR, func, "timer %p not found, please create it.", static_cast<void *>(timer));
    return HAL_RESULT_FAILED;
  }
  if (timer_settime(g_timers[index].posix_id, 0, &when, nullptr) != 0) {
    HAL_LOG_AS(HAL_LOG_ERROR, func, "timer %p set time error is %s", static_cast<void *>(timer), strerror(errno));
    return HAL_RESULT_FAILED;
  }
  return 0;
}

// Arms a timer: first expiry after first (0 means at once), then every interval.
int32_t arm(const char *func, timer_tool *timer, struct timespec first, struct timespec interval) {
  // A zero expiry would disarm: "at once" is the shortest time there is.
  if (first.tv_sec == 0 && first.tv_nsec == 0) first.tv_nsec = 1;
  return set_time(func, timer, itimerspec{interval, first});
}

int32_t disarm(const char *func, timer_tool *timer) { return set_time(func, timer, itimerspec{}); }

int32_t timer_start(timer_tool *timer, int32_t ms) {
  if (timer != nullptr && running(timer)) return 0;
  const int32_t rc = arm("timer_start", timer, ms_to_timespec(ms), {});
  if (rc == 0) set_running(timer, 1);
  return rc;
}

int32_t timer_stop(timer_tool *timer) {
  if (timer != nullptr && !running(timer)) return 0;
  const int32_t rc = disarm("timer_stop", timer);
  if (rc == 0) set_running(timer, 0);
  return rc;
}

int32_t timer_restart(timer_tool *timer, int32_t ms) {
  const int32_t rc = arm("timer_restart", timer, ms_to_timespec(ms), {});
  if (rc == 0) set_running(timer, 1);
  return rc;
}

int32_t timer_set_periodic(timer_tool *timer, int32_t ms) {
  const uint8_t want = ms != 0 ? 1 : 0;
  if (timer != nullptr && running(timer) == want) return 0;
  const int32_t rc = arm("timer_set_periodic", timer, {0, 1}, ms_to_timespec(ms));
  if (rc == 0) set_running(timer, want);
  return rc;
}

int32_t timer_delete_op(timer_tool *timer) {
  if (timer == nullptr) {
    HAL_LOGE("timer id is NULL, stop delete.");
    return HAL_RESULT_FAILED;
  }
  std::lock_guard<std::mutex> guard(g_register_lock);
  const int index = index_of(timer);
  if (index < 0) {
    HAL_LOGI("delete timer %p failed, can not fond this timer in list.", static_cast<void *>(timer));
    return HAL_RESULT_FAILED;
  }
  set_running(timer, 0);
  timer->start = nullptr;
  timer->stop = nullptr;
  timer->delete_timer = nullptr;
  timer->restart = nullptr;
  timer->set_periodic = nullptr;
  timer_delete(g_timers[index].posix_id);
  g_timers[index].callback.store(nullptr);
  g_timers[index].timer.store(nullptr);
  return 0;
}

sigset_t timer_signals() {
  sigset_t set;
  sigemptyset(&set);
  for (int i = 0; i < HAL_TIMER_MAX; ++i) sigaddset(&set, signal_of(i));
  return set;
}

void *timer_thread_routine(void *) {
  sigset_t all;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, nullptr);
  g_timer_tid.store(static_cast<pid_t>(syscall(SYS_gettid)));
  const sigset_t set = timer_signals();
  while (!g_timer_stop.load()) {
    int sig = 0;
    if (sigwait(&set, &sig) != 0) continue;
    if (g_timer_stop.load()) break;
    const int index = sig - HAL_TIMER_SIGNAL_BASE;
    if (index < 0 || index >= HAL_TIMER_MAX) {
      HAL_LOGE("index out of timer info buf, index is %d", index);
      continue;
    }
    thp_atrace_print(1, "Timer index %d", index);
    timer_tool *timer = g_timers[index].timer.load();
    timer_tool_handler callback = g_timers[index].callback.load();
    if (timer == nullptr || callback == nullptr) {
      HAL_LOGE("timer %p in index %d maybe delete!", static_cast<void *>(timer), index);
    } else {
      callback(timer);
    }
    thp_atrace_end(1);
  }
  return nullptr;
}

// At unload (dlclose) no timer may fire into code that is going away: delete every
// timer, then stop and join the timer thread.
__attribute__((destructor)) void stop_timer_thread() {
  std::lock_guard<std::mutex> guard(g_register_lock);
  for (TimerEntry &entry : g_timers) {
    if (entry.timer.load() == nullptr) continue;
    timer_delete(entry.posix_id);
    entry.timer.store(nullptr);
    entry.callback.store(nullptr);
  }
  if (!g_timer_thread_started) return;
  g_timer_stop.store(true);
  pthread_kill(g_timer_thread, signal_of(0));
  pthread_join(g_timer_thread, nullptr);
  g_timer_thread_started = false;
  g_timer_tid.store(0);
  g_timer_stop.store(false);
}

}  // namespace

int32_t hal_registered_timer_count(void) {
  int32_t used = 0;
  for (const TimerEntry &entry : g_timers)
    if (entry.timer.load() != nullptr) ++used;
  return used;
}

int32_t register_timer(timer_tool *timer, timer_tool_handler callback) {
  if (timer == nullptr || callback == nullptr) {
    HAL_LOGE("param error! timer_tool is %p, callback_func is %p", static_cast<void *>(timer),
             reinterpret_cast<void *>(callback));
    return HAL_RESULT_FAILED;
  }
  std::lock_guard<std::mutex> guard(g_register_lock);
  int index = -1;
  for (int i = 0; i < HAL_TIMER_MAX; ++i) {
    timer_tool *held = g_timers[i].timer.load();
    if (held == nullptr) {
      index = i;
      break;
    }
    if (held == timer) {
      HAL_LOGE("timer %p has add, do not add it again.", static_cast<void *>(timer));
      return HAL_RESULT_FAILED;
    }
  }
  if (index < 0) {
    HAL_LOGE("create timer %p failed, timer list full.", static_cast<void *>(timer));
    return HAL_RESULT_FAILED;
  }
  if (!g_timer_thread_started) {
    const uint64_t handle = create_thread("touch-timer-thread", timer_thread_routine, nullptr, 0);
    if (handle == 0) {
      HAL_LOGE("create timer thread failed.");
      return HAL_RESULT_FAILED;
    }
    g_timer_thread = static_cast<pthread_t>(handle);
    g_timer_thread_started = true;
    while (g_timer_tid.load() == 0) hal_sleep_ms(1);
  }
  set_running(timer, 0);
  timer->start = timer_start;
  timer->stop = timer_stop;
  timer->delete_timer = timer_delete_op;
  timer->restart = timer_restart;
  timer->set_periodic = timer_set_periodic;

  struct sigevent event{};
  event.sigev_notify = SIGEV_THREAD_ID;
  event.sigev_signo = signal_of(index);
  event._sigev_un._tid = g_timer_tid.load();
  timer_t id{};
  if (timer_create(CLOCK_REALTIME, &event, &id) != 0) {
    HAL_LOGE("timer create error is %s", strerror(errno));
    return HAL_RESULT_FAILED;
  }
  static_assert(sizeof(timer_t) <= sizeof(timer->timer_id), "timer id must fit the timer_tool field");
  timer->timer_id = 0;
  memcpy(&timer->timer_id, &id, sizeof(id));
  g_timers[index].posix_id = id;
  g_timers[index].callback.store(callback);
  g_timers[index].timer.store(timer);
  HAL_LOGI("create timer %p success.", static_cast<void *>(timer));
  return 0;
}
