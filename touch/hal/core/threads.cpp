// Named threads of the module, optionally real-time (SCHED_FIFO at half the maximum).
#include <errno.h>
#include <pthread.h>
#include <sched.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>

#include "core/hal_core.h"

namespace {
constexpr int kCreateRetries = 5;

struct ThreadEntry {
  std::atomic<const char *> name{nullptr};  // free while null
  void *(*routine)(void *) = nullptr;
  void *arg = nullptr;
  uint8_t realtime = 0;
};

ThreadEntry g_threads[HAL_THREAD_MAX];

void set_scheduling(const ThreadEntry &entry) {
  if (entry.realtime != 0) {
    struct sched_param param{};
    param.sched_priority = sched_get_priority_max(SCHED_FIFO) / 2;
    const int rc = pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
    if (rc != 0) HAL_LOG_AS(HAL_LOG_INFO, "thread_routine", "thread %s keeps normal priority: %s", entry.name.load(), strerror(rc));
    return;
  }
  struct sched_param param{};
  pthread_setschedparam(pthread_self(), SCHED_OTHER, &param);
  setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 0);
}

// Runs one table entry; the entry index travels as the argument, so the thread never
// depends on its handle being stored first.
void *thread_routine(void *arg) {
  const size_t index = reinterpret_cast<uintptr_t>(arg);
  if (index >= HAL_THREAD_MAX || g_threads[index].name.load() == nullptr) {
    HAL_LOGE("can not find thread %ld, stop run!", static_cast<long>(pthread_self()));
    return nullptr;
  }
  ThreadEntry &entry = g_threads[index];
  if (entry.routine == nullptr) {
    HAL_LOGE("can not find the func of thread %ld, stop run!", static_cast<long>(pthread_self()));
    return nullptr;
  }
  const char *name = entry.name.load();
  prctl(PR_SET_NAME, name, 0, 0, 0);
  set_scheduling(entry);
  void *(*routine)(void *) = entry.routine;
  void *routine_arg = entry.arg;
  HAL_LOG_AS(HAL_LOG_INFO, "thread_routine", "start thread %s", name);
  routine(routine_arg);
  HAL_LOG_AS(HAL_LOG_INFO, "thread_routine", "stop thread %s", name);
  entry.routine = nullptr;
  entry.name.store(nullptr);
  return nullptr;
}
}  // namespace

uint64_t create_thread(const char *name, void *(*routine)(void *), void *arg, uint8_t realtime) {
  if (name == nullptr || routine == nullptr) {
    HAL_LOGE("create thread param error, thread name %p, routine %p", static_cast<const void *>(name),
             reinterpret_cast<void *>(routine));
    return 0;
  }
  size_t index = 0;
  for (; index < HAL_THREAD_MAX; ++index) {
    const char *expected = nullptr;
    if (g_threads[index].name.compare_exchange_strong(expected, name)) break;
  }
  if (index == HAL_THREAD_MAX) {
    HAL_LOGE("create thread %s fail, thread list full!", name);
    return 0;
  }
  ThreadEntry &entry = g_threads[index];
  entry.routine = routine;
  entry.arg = arg;
  entry.realtime = realtime;
  HAL_LOGI("start create thread %s", name);
  pthread_t thread{};
  for (int left = kCreateRetries;; --left) {
    const int rc = pthread_create(&thread, nullptr, thread_routine, reinterpret_cast<void *>(index));
    if (rc == 0) break;
    HAL_LOGE("create thread %s failed, result is %d, retry again %d", name, rc, left);
    if (left == 0) {
      entry.routine = nullptr;
      entry.name.store(nullptr);
      HAL_LOGE("create thread %s failed!", name);
      return 0;
    }
  }
  return static_cast<uint64_t>(thread);
}
