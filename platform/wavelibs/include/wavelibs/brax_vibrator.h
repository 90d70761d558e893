#pragma once
// The HE 2.0 player library "libbraxvibrator.so". brax_vibra_init is a C symbol; the
// looper calls are C++ functions, looked up under their mangled names.
#include <stdint.h>

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
inline constexpr const char* kBraxVibraInitSymbol = "brax_vibra_init";
inline constexpr const char* kBraxVibraLooperStartSymbol = "_Z23brax_vibra_looper_startv";
inline constexpr const char* kBraxVibraLooperStopPerformHeSymbol = "_Z31brax_vibra_looper_stopPerformHev";
inline constexpr const char* kBraxVibraLooperPostSymbol = "_Z22brax_vibra_looper_postPKiiiiii";
// The most integers one post takes.
inline constexpr int kBraxVibraMaxPost = 65536;
