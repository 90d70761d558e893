#include <cerrno>
#include <map>
#include <mutex>

#include "hardware_legacy/power.h"
#include "platform/wakelock_test.h"

namespace platform::wakelock {
namespace {
struct State {
  std::mutex lock;
  std::vector<Event> events;
  std::map<std::string, int> outstanding;
  std::map<std::string, int> maxOverlap;
  int acquireErr = 0, releaseErr = 0;
};
State& state() {
  static State* s = new State;
  return *s;
}
}  // namespace

void reset() {
  std::lock_guard<std::mutex> g(state().lock);
  state().events.clear();
  state().outstanding.clear();
  state().maxOverlap.clear();
  state().acquireErr = state().releaseErr = 0;
}
std::vector<Event> events() {
  std::lock_guard<std::mutex> g(state().lock);
  return state().events;
}
bool held(const std::string& id) {
  std::lock_guard<std::mutex> g(state().lock);
  auto it = state().outstanding.find(id);
  return it != state().outstanding.end() && it->second > 0;
}
int maxOverlap(const std::string& id) {
  std::lock_guard<std::mutex> g(state().lock);
  auto it = state().maxOverlap.find(id);
  return it == state().maxOverlap.end() ? 0 : it->second;
}
void failNextAcquire(int err) {
  std::lock_guard<std::mutex> g(state().lock);
  state().acquireErr = err;
}
void failNextRelease(int err) {
  std::lock_guard<std::mutex> g(state().lock);
  state().releaseErr = err;
}

}  // namespace platform::wakelock

using namespace platform::wakelock;

extern "C" int acquire_wake_lock(int lock, const char* id) {
  std::lock_guard<std::mutex> g(state().lock);
  if (id == nullptr || (lock != PARTIAL_WAKE_LOCK && lock != FULL_WAKE_LOCK)) {
    errno = EINVAL;
    return -1;
  }
  if (state().acquireErr != 0) {
    errno = state().acquireErr;
    state().acquireErr = 0;
    return -1;
  }
  state().events.push_back(Event{true, lock, id});
  int n = ++state().outstanding[id];
  int& max = state().maxOverlap[id];
  if (n > max) max = n;
  return 0;
}

extern "C" int release_wake_lock(const char* id) {
  std::lock_guard<std::mutex> g(state().lock);
  if (id == nullptr) {
    errno = EINVAL;
    return -1;
  }
  if (state().releaseErr != 0) {
    errno = state().releaseErr;
    state().releaseErr = 0;
    return -1;
  }
  auto it = state().outstanding.find(id);
  if (it == state().outstanding.end() || it->second == 0) {
    errno = ENOENT;
    return -1;
  }
  it->second--;
  state().events.push_back(Event{false, 0, id});
  return 0;
}
