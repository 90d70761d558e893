#pragma once
// Test control of the touch host stand-in (libtapsense.so and its variants). Every copy of
// the stand-in library records into this one shared library, so a test reads what the
// service handed to the host wherever the host was loaded from.
#include <chrono>
#include <vector>

#include "common_data.h"

namespace platform_touchhost_test {

struct Received {
  common_data block;
  int pass_before;  // the pass-to-driver flag as the caller preset it
};

// How the host answers each block: `consume` clears the pass flag; the return value is
// `result`, and for get commands (1 to 5) value[0] becomes `answer`.
void setBehaviour(bool consume, int result, uint32_t answer = 0);
// thp_daemon_main returns `result` once released (immediately when `block` is false).
void setMain(bool block, int result);
// Ends a thp_daemon_main that is waiting.
void releaseMain();
bool waitMainRunning(std::chrono::milliseconds timeout);
int mainCalls();

std::vector<Received> received();
bool waitReceived(size_t count, std::chrono::milliseconds timeout);
// The finger-status callback the service handed over (null when none), and a call of it.
bool hasFingerCallback();
void callFinger(int status);
void reset();

}  // namespace platform_touchhost_test
