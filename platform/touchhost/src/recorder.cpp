// What the touch host stand-ins were given, shared by every copy of them.
#include <condition_variable>
#include <mutex>

#include "platform_touchhost_test.h"
#include "vendor_export.h"

namespace {

using FingerFn = void (*)(int *);

struct State {
  std::mutex lock;
  std::condition_variable changed;
  std::vector<platform_touchhost_test::Received> received;
  bool consume = true;
  int result = 0;
  uint32_t answer = 0;
  bool blockMain = true;
  int mainResult = 0;
  bool released = false;
  bool mainRunning = false;
  int mainCalls = 0;
  FingerFn finger = nullptr;
};

State &state() {
  static State s;
  return s;
}

}  // namespace

// Entry points the stand-in libraries forward to.
VENDOR_EXPORT int touchhost_record_main() {
  State &s = state();
  std::unique_lock<std::mutex> guard(s.lock);
  ++s.mainCalls;
  s.mainRunning = true;
  s.changed.notify_all();
  if (s.blockMain) s.changed.wait(guard, [&s] { return s.released; });
  s.mainRunning = false;
  return s.mainResult;
}

VENDOR_EXPORT int touchhost_record_cmd(common_data *block, int *pass) {
  State &s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  s.received.push_back({*block, pass != nullptr ? *pass : -1});
  if (s.consume && pass != nullptr) *pass = 0;
  if (block->cmd >= 1 && block->cmd <= 5) block->values[0] = s.answer;
  s.changed.notify_all();
  return s.result;
}

VENDOR_EXPORT void touchhost_record_callback(FingerFn fn) {
  std::lock_guard<std::mutex> guard(state().lock);
  state().finger = fn;
}

namespace platform_touchhost_test {

void setBehaviour(bool consume, int result, uint32_t answer) {
  std::lock_guard<std::mutex> guard(state().lock);
  state().consume = consume;
  state().result = result;
  state().answer = answer;
}

void setMain(bool block, int result) {
  std::lock_guard<std::mutex> guard(state().lock);
  state().blockMain = block;
  state().mainResult = result;
}

void releaseMain() {
  std::lock_guard<std::mutex> guard(state().lock);
  state().released = true;
  state().changed.notify_all();
}

bool waitMainRunning(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> guard(state().lock);
  return state().changed.wait_for(guard, timeout, [] { return state().mainRunning; });
}

int mainCalls() {
  std::lock_guard<std::mutex> guard(state().lock);
  return state().mainCalls;
}

std::vector<Received> received() {
  std::lock_guard<std::mutex> guard(state().lock);
  return state().received;
}

bool waitReceived(size_t count, std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> guard(state().lock);
  return state().changed.wait_for(guard, timeout, [count] { return state().received.size() >= count; });
}

bool hasFingerCallback() {
  std::lock_guard<std::mutex> guard(state().lock);
  return state().finger != nullptr;
}

void callFinger(int status) {
  FingerFn fn;
  {
    std::lock_guard<std::mutex> guard(state().lock);
    fn = state().finger;
  }
  if (fn != nullptr) fn(&status);
}

void reset() {
  State &s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  s.received.clear();
  s.consume = true;
  s.result = 0;
  s.answer = 0;
  s.blockMain = true;
  s.mainResult = 0;
  s.released = false;
  s.mainRunning = false;
  s.mainCalls = 0;
  s.finger = nullptr;
}

}  // namespace platform_touchhost_test
