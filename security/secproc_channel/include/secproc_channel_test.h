#pragma once
// Test control of the channel library: the clock behind its polls, retries and the TZ
// hand-over limit, a reset of its process-wide client state and a step inside the TZ
// hand-over. Never used by production.
#include <chrono>
#include <functional>

#include "secproc_api.h"

namespace keymasterutils::testing {

struct Clock {
  std::function<std::chrono::steady_clock::time_point()> now;
  std::function<void(std::chrono::milliseconds)> sleep;
};
// Installs `clock` (empty functions: the real clock again).
SECPROC_API void setClock(Clock clock);
// Forgets the registration and the flags, as in a fresh process.
SECPROC_API void resetProcessState();
// Runs `fn` in a bring-up right after the trusted side has taken the hand-over data and
// before the library records that it has (empty function: nothing runs). Lets a test restart
// the processor inside that window, which no stand-in call reaches.
SECPROC_API void setAfterHandOver(std::function<void()> fn);

}  // namespace keymasterutils::testing
