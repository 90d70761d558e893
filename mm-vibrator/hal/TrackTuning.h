#pragma once
// Device tuning data of the tracks, supplied with the device's build: the actuator's sine
// drive correction per frequency and the ten prebaked waveforms. Both are read from the
// odm partition when the generator is created; the phase table is computed.
//
//   "/odm/etc/vibrator/sine_gain_table.txt": 101 numbers (whitespace separated), the gains
//       for 100 .. 200 Hz.
//   "/odm/etc/vibrator/prebaked_waveforms.bin": the ten signed 8-bit waveforms back to back
//       (kPrebakedLengths bytes each, 4331 in all).
// Missing or malformed data is logged once; the sine then plays uncorrected (gain 1) and
// the prebaked waveforms as silence of their stated lengths.

#include <stdint.h>

#include <array>
#include <memory>
#include <vector>

inline constexpr const char* kSineGainTablePath = "/odm/etc/vibrator/sine_gain_table.txt";
inline constexpr const char* kPrebakedWaveformsPath = "/odm/etc/vibrator/prebaked_waveforms.bin";

inline constexpr int32_t kPhaseTableSize = 102400;
inline constexpr double kPhaseTableEnd = 6.2831852;
inline constexpr int32_t kSineMinHz = 100;
inline constexpr int32_t kSineMaxHz = 200;
inline constexpr double kSineDecayFactor = 0.06;
inline constexpr int32_t kPrebakedWaveformCount = 10;
inline constexpr std::array<int32_t, kPrebakedWaveformCount> kPrebakedLengths = {
    635, 322, 665, 396, 269, 139, 440, 372, 429, 664};

struct TrackTuning {
  std::array<double, kSineMaxHz + 1> sineGain{};  // indexed by Hz; 100..200 used
  std::array<std::shared_ptr<const std::vector<int8_t>>, kPrebakedWaveformCount> prebaked;
};

// Reads the tuning files (under the platform root) and makes them current for tracks
// created from now on.
void loadTrackTuning();
// The current tuning (loaded at first use when nobody loaded it yet).
std::shared_ptr<const TrackTuning> trackTuning();
// Entry k of the phase table: 0 .. 2*pi in 102400 steps.
double phaseTable(int32_t k);
