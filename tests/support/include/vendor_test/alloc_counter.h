#pragma once
// Counting heap allocations: malloc, calloc, realloc and operator new (which goes through
// them), on every thread, while counting is on. A test proves a path allocation-free by
// counting around it after a warm-up.
#include <cstdint>

namespace vendor_test {

// False when the counting could not be hooked in (the count would stay 0 whatever happens).
bool allocationCountingWorks();
// Starts counting from 0.
void startCountingAllocations();
// Starts counting from 0 the allocations of the calling thread only (other threads of the
// process, such as a plug-in's own or a timer thread, are not counted).
void startCountingAllocationsOnThisThread();
// Pause and resume a running count, keeping what it has counted: for stretches between the
// code under test that are not its own (a callback into the test's recorder).
void pauseCountingAllocations();
void resumeCountingAllocations();
// Stops counting; returns the allocations made since the start.
uint64_t stopCountingAllocations();

// Counts the allocations of one stretch of code: started when made, stopped by count().
class AllocationCount {
 public:
  AllocationCount() { startCountingAllocations(); }
  uint64_t count() { return stopCountingAllocations(); }
};

}  // namespace vendor_test
