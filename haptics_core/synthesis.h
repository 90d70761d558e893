#pragma once
// Sample synthesis for one actuator: the mass-spring model built from f0, the filters that
// carry their state from chunk to chunk, the fast start/stop kick, transient resampling and
// the chunked renderer of continuous events.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "he_events.h"

namespace brax {

inline constexpr size_t kCalcLen = 1024;         // one work array of the calculation buffer
inline constexpr size_t kResampleLen = 4096;     // the resampling buffer, in samples
inline constexpr double kMaxDisplacement = 0.00055;
inline constexpr double kMaxDrive = 8.0;
inline constexpr double kTwoPi = 6.2831852;
inline constexpr int32_t kMinF0 = 30;   // accepted actuator resonance, Hz
inline constexpr int32_t kMaxF0 = 500;

// The actuator as a damped mass-spring, and the equaliser that swaps its resonance for a
// faster, well-damped target response.
struct LraModel {
  double k = 0, w0 = 0, zeta = 0, wd = 0;
  double a1 = 0, a2 = 0;  // the actuator's resonator
  double b1 = 0, b2 = 0;  // the target response
  double g = 0;           // equaliser gain
  float f_low = 0, f_high = 0;

  static LraModel Make(int32_t f0, double rate);
  // Displacement-to-drive factor for drive frequency f (Hz).
  double DriveFactor(double f) const;
  // The magnitude of the model's response at f, which DriveFactor gives outside the two modes.
  double ResponseFactor(double f) const;
};

// Linear filter y = b/a * x with its state carried between calls (transposed direct form,
// so a block of any length continues the previous one without a seam; a 19th-order FIR
// keeps its last inputs instead, with the same sums in the same order).
class Filter {
 public:
  Filter() = default;
  // a may be empty for a FIR. Both are divided by a[0] when it is not 1.
  Filter(std::vector<double> b, std::vector<double> a);
  void Reset();
  void Run(const double* x, double* y, size_t n);

 private:
  std::vector<double> b_, a_, z_;
};

// Coefficients chosen from f0 and the rate.
Filter DisplacementFilter(int32_t f0, int32_t rate);  // 4 coefficients: drive -> displacement
Filter LowPassFir(int32_t rate);                      // 20 taps
Filter EqualiserFilter(const LraModel& m);            // [1 a1 a2] / [1 b1 b2]

// The kick: displacement of the actuator driven by 8 * sin at f0 for 1.5 periods
// (N samples) and then left alone for N more. Holds 2N + 1 samples; N is kick_len.
struct FastSignal {
  std::vector<double> samples;
  size_t kick_len = 0;
  static FastSignal Make(int32_t f0, int32_t rate);
};

// Index of the last interior sample whose magnitude beats both neighbours; 0 when none.
size_t FindPeakIndex(std::span<const double> x);

// Transient gain from the mapped intensity.
double TransientGain(int32_t mapped_intensity);

// Resamples a waveform recorded at 176 Hz to an actuator at f0 into out (at most out.size()
// samples; a longer result is cut there). Returns the samples written.
size_t ResampleTransient(std::span<const int8_t> wave, int32_t f0, std::span<int8_t> out);

// Everything that depends only on the configuration.
struct Voice {
  int32_t f0 = 0;
  int32_t rate = 0;
  int32_t samples_per_ms = 0;
  LraModel model;
  Filter displacement;
  Filter fir;
  Filter equaliser;
  FastSignal fast;
};

// Renders one continuous event chunk by chunk as signed 8-bit samples.
class ContinuousRenderer {
 public:
  // calc: three work arrays of kCalcLen doubles.
  ContinuousRenderer(const Voice& voice, double* calc);
  // False (with an error log) when the event's times run backwards: nothing to render.
  bool Start(const ConvertedEvent& event);
  // Writes the next chunk of at most max_len (<= kCalcLen) samples; 0 when done.
  size_t Next(int8_t* out, size_t max_len);
  // Passes over at most `count` samples whose output would be thrown away, without
  // rendering them: the drive's position and phase move on, the filters stay at rest, so
  // the first sample rendered after it starts the actuator from rest. Stops short of the
  // sustain's end (its crest must be found in rendered samples) and at the release's end;
  // returns the samples passed over, 0 when nothing can be skipped at this point.
  int64_t Skip(int64_t count);

 private:
  enum class Stage { kDrive, kRelease, kTail, kDone };
  size_t Generate(double* drive, double* phase_log, double* cap_scale, size_t max_len);
  void DriveAt(int64_t s, double* freq, double* amp) const;
  void EnterRelease(double amp, double freq, bool with_tail);
  void FinishSustain(double* drive, double* phase_log, size_t chunk_sustain_start, size_t* n);

  const Voice& voice_;
  double* calc_;
  Filter displacement_, fir_, equaliser_;
  Stage stage_ = Stage::kDone;
  double t_[4] = {}, amp_[4] = {}, freq_[4] = {};
  int64_t attack_ = 0, sustain_ = 0, release_ = 0;
  int64_t sustain_end_ = 0;
  int64_t s_ = 0;
  bool first_chunk_ = true;
  double phase_ = 0;
  int64_t release_pos_ = 0;
  double release_amp_ = 0, release_freq_ = 0;
  bool with_tail_ = false;
  size_t tail_pos_ = 0;
  double tail_scale_ = 0;
  double last_drive_ = 0;
};

}  // namespace brax
