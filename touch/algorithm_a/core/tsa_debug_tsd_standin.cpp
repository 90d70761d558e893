// Stand-in for the outside debug daemon library libferx_tsd: the two entry points the
// module binds, and a record of their calls the tests read through dlsym.
#include <pthread.h>

#include <atomic>
#include <cstdint>

namespace {
std::atomic<int> gStartCalls{0};
std::atomic<int> gStopCalls{0};
std::atomic<int> gLockedOk{0};
void* gMutex = nullptr;
}  // namespace

extern "C" __attribute__((visibility("default"))) int32_t tsd_debug_thread_start(void* cmd_mutex) {
  ++gStartCalls;
  gMutex = cmd_mutex;
  // The daemon serialises its commands with the handed-over mutex: it must be usable.
  auto* mutex = static_cast<pthread_mutex_t*>(cmd_mutex);
  if (mutex != nullptr && pthread_mutex_lock(mutex) == 0) {
    pthread_mutex_unlock(mutex);
    ++gLockedOk;
  }
  return 0;
}

extern "C" __attribute__((visibility("default"))) void tsd_debug_thread_stop(void) { ++gStopCalls; }

extern "C" __attribute__((visibility("default"))) int tsd_standin_start_calls(void) { return gStartCalls; }
extern "C" __attribute__((visibility("default"))) int tsd_standin_stop_calls(void) { return gStopCalls; }
extern "C" __attribute__((visibility("default"))) int tsd_standin_locked_ok(void) { return gLockedOk; }
extern "C" __attribute__((visibility("default"))) void* tsd_standin_mutex(void) { return gMutex; }
