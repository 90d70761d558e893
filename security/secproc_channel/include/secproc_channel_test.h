#pragma once
// Test control of the channel library: the clock behind its polls, retries and the TZ
// hand-over limit, and a reset of its process-wide client state. Never used by production.
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

}  // namespace keymasterutils::testing
