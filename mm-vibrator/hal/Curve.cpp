#define LOG_TAG "vendor.hardware.vibratorfeature"

#include "Curve.h"

#include <log/log.h>

#include <cmath>
#include <limits>

int32_t saturatingSamples(double value) {
  if (std::isnan(value)) return 0;
  if (value >= static_cast<double>(std::numeric_limits<int32_t>::max())) {
    return std::numeric_limits<int32_t>::max();
  }
  if (value <= static_cast<double>(std::numeric_limits<int32_t>::min())) {
    return std::numeric_limits<int32_t>::min();
  }
  return static_cast<int32_t>(value);
}

void Curve::restart() {
  segment = 0;
  slope = 0.0;
  samplesLeft = 0;
  if (points.empty() || target == nullptr) return;
  const double t0 = points[0].first;
  const int32_t samples = saturatingSamples(t0 * kGeneratorSampleRate);
  samplesLeft = samples > 0 ? samples : 0;
  // The slope is added once per sample: a first point at a later time is reached over the
  // samples up to it (a per-second slope would overshoot it by the sample rate).
  const double span = samplesLeft > 0 ? static_cast<double>(samplesLeft) : 1.0;
  slope = (points[0].second - *target) / span;
}

bool Curve::advance() {
  *target += slope;
  if (samplesLeft > 0) {
    --samplesLeft;
    return true;
  }
  const size_t k = static_cast<size_t>(segment);
  if (k + 1 >= points.size()) {
    segment = static_cast<int32_t>(points.size());
    return false;
  }
  segment = static_cast<int32_t>(k + 1);
  const double dt = points[k + 1].first - points[k].first;
  const int32_t samples = saturatingSamples(dt * kGeneratorSampleRate);
  slope = (dt == 0.0 || samples == 0) ? 0.0 : (points[k + 1].second - *target) / (dt * kGeneratorSampleRate);
  samplesLeft = samples > 0 ? samples : 0;
  return true;
}

int32_t startSample(float seconds) {
  return saturatingSamples(static_cast<double>(seconds * static_cast<float>(kGeneratorSampleRate)));
}

std::unique_ptr<Curve> makeCurve(const char* owner, int32_t type, double* type0Target,
                                 double* type1Target, const CurvePoints& points) {
  double* target = type == 0 ? type0Target : type == 1 ? type1Target : nullptr;
  if (target == nullptr || points.empty()) {
    ALOGE("%s: curve type %d with %zu points has no target, dropped", owner, type, points.size());
    return nullptr;
  }
  auto curve = std::make_unique<Curve>();
  curve->target = target;
  curve->points = points;
  curve->restart();
  return curve;
}
