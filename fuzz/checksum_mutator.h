#pragma once
// Mutation for formats guarded by a checksum. Random bytes almost never carry a matching
// sum, so plain mutation stops at the check and never reaches the parser behind it. An
// entry that includes this header and writes
//   VENDOR_FUZZ_CHECKSUM_MUTATOR(fix)
// with an inline `void fix(uint8_t *data, size_t size, unsigned seed)` gets a libFuzzer custom
// mutator: libFuzzer's own mutation, then `fix` recomputes the check values in place. One
// mutant in eight is left as mutated, so the refusal paths stay covered too. The fix-up
// exists only in the libFuzzer build (VENDOR_FUZZING); seed replay in the test suite runs
// the stored bytes as they are, broken sums included.
#include <stddef.h>
#include <stdint.h>

#if defined(VENDOR_FUZZING)
extern "C" size_t LLVMFuzzerMutate(uint8_t *data, size_t size, size_t max_size);
#define VENDOR_FUZZ_CHECKSUM_MUTATOR(fix)                                                                    \
  extern "C" size_t LLVMFuzzerCustomMutator(uint8_t *data, size_t size, size_t max_size, unsigned int seed) { \
    size = LLVMFuzzerMutate(data, size, max_size);                                                           \
    if (seed % 8 != 0) fix(data, size, seed / 8);                                                            \
    return size;                                                                                             \
  }
#else
#define VENDOR_FUZZ_CHECKSUM_MUTATOR(fix) static_assert(true, "the fix-up serves the libFuzzer build only")
#endif
