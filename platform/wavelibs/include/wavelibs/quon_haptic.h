#pragma once
// The wave library "libquonhapticv1.so": renders the two-array HE form (one type word per
// event, 0 continuous / 1 transient, then the numerical words: a transient takes
// [frequency, intensity, relative time], a continuous one [relative time, duration,
// intensity, frequency, 4 frequencies, 4 times, 4 intensities]).
#include <stdint.h>

extern "C" {
int quon_haptics_init(int f0);
// *length = samples the events render to (0 when they cannot be rendered).
int quon_haptics_len_algorithm(int32_t* types, int32_t* count, int32_t* params, int32_t* length);
// Renders at most *length samples into `buffer`; *length = samples written.
int quon_haptics_gen_algorithm(int32_t* types, int32_t* count, int32_t* params, int8_t* buffer,
                               int32_t* length);

typedef int (*quon_haptics_init_fn)(int f0);
typedef int (*quon_haptics_len_algorithm_fn)(int32_t*, int32_t*, int32_t*, int32_t*);
typedef int (*quon_haptics_gen_algorithm_fn)(int32_t*, int32_t*, int32_t*, int8_t*, int32_t*);
}

inline constexpr int kQuonTransientWords = 3;
inline constexpr int kQuonContinuousWords = 16;
