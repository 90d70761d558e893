#include "transient_waveforms.h"

#include <array>
#include <cmath>
#include <vector>

namespace brax {
namespace {

// Lengths in samples {strong, medium, weak} per class, as recorded.
constexpr int32_t kLengths24k[kTransientClasses][3] = {
    {528, 525, 518}, {485, 429, 427}, {485, 429, 427}, {485, 429, 427},
    {485, 429, 427}, {423, 425, 411}, {408, 393, 408}, {423, 417, 402},
    {275, 267, 251}, {275, 267, 251}, {275, 267, 251}};
constexpr int32_t kLengths48k[kTransientClasses][3] = {
    {1634, 1622, 1614}, {1348, 1276, 1262}, {1168, 1160, 1148}, {1056, 1050, 1036},
    {970, 858, 854},    {846, 850, 822},    {816, 786, 816},    {846, 834, 804},
    {550, 534, 502},    {520, 506, 470},    {478, 386, 376}};

// Peak level of each band relative to full scale. The core's transient gain (1, 1.25 and
// 2 times intensity / 100) brings the three bands back to the same level.
constexpr double kBandLevel[3] = {1.0, 0.8, 0.5};

// A device ships the recorded waveforms with its tuning data. Until those are supplied the
// core generates stand-ins of the recorded lengths: a burst at the recording actuator's
// 176 Hz under a half-sine window,
//   w[i] = round(127 * level(band) * sin(2 pi 176 i / R) * sin(pi i / L)),
// which starts and ends at rest as the recordings do.
class WaveformSet {
 public:
  explicit WaveformSet(int32_t rate) {
    const auto& lengths = rate == 48000 ? kLengths48k : kLengths24k;
    for (int32_t c = 0; c < kTransientClasses; ++c) {
      for (int32_t b = 0; b < 3; ++b) {
        const int32_t len = lengths[c][b];
        auto& w = waves_[c][b];
        w.resize(static_cast<size_t>(len));
        for (int32_t i = 0; i < len; ++i) {
          const double carrier = std::sin(2.0 * M_PI * kRecordedF0 * i / rate);
          const double window = std::sin(M_PI * i / len);
          double v = std::round(127.0 * kBandLevel[b] * carrier * window);
          v = std::fmax(-127.0, std::fmin(127.0, v));
          w[static_cast<size_t>(i)] = static_cast<int8_t>(v);
        }
      }
    }
  }
  std::span<const int8_t> get(int32_t cls, Band band) const {
    return waves_[cls][static_cast<int>(band)];
  }

 private:
  std::array<std::array<std::vector<int8_t>, 3>, kTransientClasses> waves_;
};

const WaveformSet& SetFor(int32_t rate) {
  // The core's detached worker reads these for the life of the process, also while the
  // process exits: they are never destroyed, so no exit handler frees a table under it.
  static const WaveformSet& set24k = *new WaveformSet(24000);
  static const WaveformSet& set48k = *new WaveformSet(48000);
  return rate == 48000 ? set48k : set24k;
}

}  // namespace

Band BandFor(int32_t mapped_intensity) {
  if (mapped_intensity >= 90) return Band::kStrong;
  if (mapped_intensity >= 70) return Band::kMedium;
  return Band::kWeak;
}

std::span<const int8_t> TransientWaveform(int32_t cls, int32_t mapped_intensity, int32_t sample_rate) {
  if (cls >= 20) cls = 10;
  if (cls < 0 || cls >= kTransientClasses) return {};
  return SetFor(sample_rate).get(cls, BandFor(mapped_intensity));
}

int32_t TransientDurationMs(int32_t cls, int32_t mapped_intensity, int32_t sample_rate) {
  const auto len = static_cast<int32_t>(TransientWaveform(cls, mapped_intensity, sample_rate).size());
  return len / (sample_rate / 1000) + 1;
}

}  // namespace brax
