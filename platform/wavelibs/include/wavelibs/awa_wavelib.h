#pragma once
// The wave library "vendor.awa.wavelib.so": renders HE events (17-integer records) into
// signed 8-bit samples at 24000 Hz in one go.
#include <stdint.h>

extern "C" {
int awa_haptics_init(int f0);
// Samples the events render to, or a negative value for events it cannot render.
int32_t awa_haptics_get_waves_length(const int32_t* events, int count);
// Writes exactly awa_haptics_get_waves_length(events, count) samples; 0 on success.
int32_t awa_haptics_get_waves_data(const int32_t* events, int count, int8_t* buffer);

typedef int (*awa_haptics_init_fn)(int f0);
typedef int32_t (*awa_haptics_get_waves_length_fn)(const int32_t* events, int count);
typedef int32_t (*awa_haptics_get_waves_data_fn)(const int32_t* events, int count, int8_t* buffer);
}

// Bounds of what the library renders.
inline constexpr int kWaveMaxEvents = 16;
inline constexpr int32_t kWaveMaxSamples = 240000;  // 10 s
inline constexpr int kHeEventWords = 17;
