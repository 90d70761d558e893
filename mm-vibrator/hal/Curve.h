#pragma once
// A parameter curve: piecewise-linear steps of one double (the generator's global
// intensity or sharpness, a SineTrack's base amplitude or frequency), advanced once per
// sample at the generator's 24000 Hz.

#include <stdint.h>

#include <memory>
#include <utility>
#include <vector>

// (time in seconds from the curve's start, value)
using CurvePoints = std::vector<std::pair<double, double>>;

inline constexpr int32_t kGeneratorSampleRate = 24000;

// Seconds (or a sample-rate product) to a sample count, saturated to the int32 range
// (a NaN counts as 0), so that no caller value overflows a conversion.
int32_t saturatingSamples(double value);

struct Curve {
  double* target = nullptr;  // the value the curve drives
  double slope = 0.0;        // added to the target once per sample
  int32_t samplesLeft = 0;   // samples remaining in the current segment
  int32_t segment = 0;       // index of the point the current segment started from
  CurvePoints points;

  // Starts the first segment from the target's current value: a first point at time 0
  // jumps to its value on the first sample; a later one is reached by a ramp.
  void restart();
  // One sample: step the target and move to the next segment when this one is done.
  // Returns false once the last point has been reached (the curve is finished).
  bool advance();
};

// Start of a curve or track `seconds` from a reference sample (the product taken in single
// precision, as the commands carry it).
int32_t startSample(float seconds);

// A curve on the value its type names (0: type0Target, 1: type1Target), started from that
// value; null, logged with `owner`, for any other type (it would have nothing to drive) or
// for no points.
std::unique_ptr<Curve> makeCurve(const char* owner, int32_t type, double* type0Target,
                                 double* type1Target, const CurvePoints& points);
