#pragma once
// The wave library the waveform generator renders HE effects with: the haptics core
// libbraxhaptics or one of the two outside wave libraries, loaded once with dlopen, and the
// entry points bound for its kind.

#include <stdint.h>

#include <string>

#include "brax_haptics.h"

enum WaveLibraryKind : int32_t {
  kWaveLibBrax = 0,
  kWaveLibAwa = 1,
  kWaveLibQuon = 2,
  kWaveLibNone = 3,
};

struct WaveLibrary {
  int32_t kind = kWaveLibNone;
  std::string path;
  // kind 0
  decltype(&brax_haptics_init) braxInit = nullptr;
  decltype(&brax_haptics_process) braxProcess = nullptr;
  decltype(&brax_haptics_get_frame) braxGetFrame = nullptr;
  // kind 1
  int (*awaInit)(int f0) = nullptr;
  int32_t (*awaGetWavesLength)(const int32_t* events, int count) = nullptr;
  int32_t (*awaGetWavesData)(const int32_t* events, int count, int8_t* buffer) = nullptr;
  // kind 2
  int (*quonInit)(int f0) = nullptr;
  int (*quonLenAlgorithm)(int32_t* types, int32_t* count, int32_t* params, int32_t* length) = nullptr;
  int (*quonGenAlgorithm)(int32_t* types, int32_t* count, int32_t* params, int8_t* buffer,
                          int32_t* length) = nullptr;
};

// The candidates, in the order they are tried.
inline constexpr const char* kWaveLibraryPaths[] = {
    "/odm/lib64/libbraxhaptics.so",
    "/odm/lib64/vendor.awa.wavelib.so",
    "/odm/lib64/libquonhapticv1.so",
};

// Loads the first library that opens and binds its entry points; calls its init entry
// point with f0. Libraries are never unloaded: the haptics core's worker lives for the
// whole process.
WaveLibrary loadWaveLibrary(int32_t f0);

// Longest rendering an outside library may hand a track: 10 s at 24000 Hz.
inline constexpr int32_t kMaxRenderedSamples = 240000;
