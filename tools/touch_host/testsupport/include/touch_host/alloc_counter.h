#pragma once
// Counts the heap allocations a test program makes between start() and stop(), on every
// thread: malloc, calloc, realloc and operator new alike. Under a sanitizer (whose allocator
// serves them all) through its allocation hook; otherwise by standing in for the C
// allocator's entry points. Link the alloc_counter library; tests that prove a real-time
// path allocates nothing warm the path up first, then count.
#include <cstdint>

namespace alloc_counter {

// False when the counting could not be installed (the count would then stay 0).
bool installed();
void start();
// Stops counting and returns the allocations seen since start().
uint64_t stop();
// Allocations seen so far while counting.
uint64_t count();

}  // namespace alloc_counter
