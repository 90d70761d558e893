#pragma once
// The HE 2.0 player library "libbraxvibrator.so". brax_vibra_init is a C symbol; the
// looper calls are C++ functions, looked up under their mangled names.
#include <stdint.h>

// The names and the post limit are the vibrator service's: this stand-in answers to them.
#include <vibrator/thrumwave_abi.h>

extern "C" {
// `handle` points at a zeroed word. 0 on success, else a negative errno.
int brax_vibra_init(int32_t* handle);
typedef int (*brax_vibra_init_fn)(int32_t* handle);
}

void brax_vibra_looper_start();
bool brax_vibra_looper_stopPerformHe();
// Plays `length` integers of a re-packed HE 2.0 list. 0 on success, else a negative errno.
int brax_vibra_looper_post(const int* data, int length, int interval, int loop, int amplitude,
                           int reserved);

using brax_vibra_looper_start_fn = void (*)();
using brax_vibra_looper_stopPerformHe_fn = bool (*)();
using brax_vibra_looper_post_fn = int (*)(const int*, int, int, int, int, int);

inline constexpr const char* kBraxVibraLibrary = "libbraxvibrator.so";
