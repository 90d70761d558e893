#pragma once
// What the vibrator service expects of the outside HE 2.0 player library: the names it binds
// with dlsym and the most integers one post may carry. The service owns these; a stand-in of
// the library builds against this header, so that the two cannot drift apart unnoticed.
// (brax_vibra_init is a C symbol; the looper calls are C++ functions, bound under their
// mangled names.)

inline constexpr const char* kBraxVibraInitSymbol = "brax_vibra_init";
inline constexpr const char* kBraxVibraLooperStartSymbol = "_Z23brax_vibra_looper_startv";
inline constexpr const char* kBraxVibraLooperStopPerformHeSymbol = "_Z31brax_vibra_looper_stopPerformHev";
inline constexpr const char* kBraxVibraLooperPostSymbol = "_Z22brax_vibra_looper_postPKiiiiii";
// The most integers one post takes.
inline constexpr int kBraxVibraMaxPost = 65536;
