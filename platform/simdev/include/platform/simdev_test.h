#pragma once
// Test control of plat_poll: faults a test injects so that code waiting in a poll loop can be
// driven into the answers a failing poll gives, and counts of the polls so answered. Production
// code never includes this.
#include <stdint.h>

namespace platform::sim::testing {

enum class PollFault {
  kNone,     // polls work
  kError,    // every plat_poll fails: -1 with the given errno, as poll(2) out of memory
  kInvalid,  // every plat_poll answers as poll(2) over closed descriptors: POLLNVAL in the
             // revents of each entry with a descriptor >= 0, and their count
};

// From now on every plat_poll call answers with `fault` (kNone: polls work again). Polls
// already waiting are not woken; the fault meets the next call. Resets pollFaults().
void setPollFault(PollFault fault, int error = 0);
// plat_poll calls answered with the fault since it was set.
uint64_t pollFaults();

}  // namespace platform::sim::testing
