#pragma once
// The stored transient waveforms: for each sample rate, 11 classes x 3 intensity bands of
// signed 8-bit samples recorded for a 176 Hz actuator.

#include <cstdint>
#include <span>

namespace brax {

inline constexpr int32_t kTransientClasses = 11;
inline constexpr int32_t kRecordedF0 = 176;

enum class Band { kStrong = 0, kMedium = 1, kWeak = 2 };

// Band for a mapped intensity: strong from 90, medium from 70, weak below.
Band BandFor(int32_t mapped_intensity);

// The waveform for (class, mapped intensity) at the rate (48000, else 24000). A class of 20
// or more counts as 10; classes 11 to 19 (and negative ones) have none: an empty span.
std::span<const int8_t> TransientWaveform(int32_t cls, int32_t mapped_intensity, int32_t sample_rate);

// A transient's duration in ms as the converter counts it: length / (rate / 1000) + 1.
int32_t TransientDurationMs(int32_t cls, int32_t mapped_intensity, int32_t sample_rate);

}  // namespace brax
