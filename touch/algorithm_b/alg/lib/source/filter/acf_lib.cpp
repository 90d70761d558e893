// Basis fits of a line and the line filters built on them. Bases are Q8 (a unit vector
// has squared norm 65536), so both the projection and the rebuild shift right by 8.
#include <stdlib.h>
#include <string.h>

#include "luma_filter.h"

namespace {

inline int16_t Abs16(int32_t difference) { return static_cast<int16_t>(abs(difference)); }

inline bool Marked(uint8_t entry) { return static_cast<int8_t>(entry) >= 1; }

// Mean of n entries, toward zero; 0 for an empty line.
int32_t LineMean(const int16_t *line, uint16_t n) {
  if (n == 0) return 0;
  int32_t sum = 0;
  for (uint16_t i = 0; i < n; ++i) sum += line[i];
  return sum / n;
}

// Steep entries of a line are bridged by the mean of their nearest unmarked neighbours.
// The mask never marks the two entries at either end, so both neighbours exist.
void BridgeSteep(const int16_t *line, uint16_t n, const uint8_t *mask, int16_t *out) {
  if (out != line) memmove(out, line, n * sizeof(int16_t));
  if (n < 5) return;
  for (uint16_t i = 2; i + 2 < n; ++i) {
    if (mask[i] == 0) continue;
    uint16_t left = i, right = i;
    while (mask[left] != 0) --left;
    while (mask[right] != 0) ++right;
    out[i] = static_cast<int16_t>((line[left] + line[right]) >> 1);
  }
}

}  // namespace

void LumaAcfFit(const int16_t *line, const int16_t *coef_basis, uint16_t coef_stride, uint16_t coef_n,
                const int16_t *fit_basis, uint16_t fit_stride, uint16_t fit_n, uint8_t m, int16_t *out,
                const uint8_t *mask) {
  if (m > LUMA_ACF_MAX_VECTORS) m = LUMA_ACF_MAX_VECTORS;
  int64_t coefficient[LUMA_ACF_MAX_VECTORS] = {};
  if (coef_n >= 1) {
    for (uint8_t j = 0; j < m; ++j) {
      int64_t sum = 0;
      for (uint16_t i = 0; i < coef_n; ++i)
        sum += static_cast<int64_t>(coef_basis[j * coef_stride + i]) * line[i];
      coefficient[j] = sum >> 8;
    }
  }
  for (uint16_t i = 0; i < fit_n; ++i) {
    if (mask != nullptr && mask[i] == 0) continue;
    int64_t sum = 0;
    for (uint8_t j = 0; j < m; ++j) sum += coefficient[j] * fit_basis[j * fit_stride + i];
    out[i] = static_cast<int16_t>(sum >> 8);
  }
}

extern "C" {

void LibAcfTrans(const int16_t *line, const int16_t *basis, uint16_t n, uint8_t m, int16_t *out) {
  if (line == nullptr || basis == nullptr || out == nullptr) return;
  LumaAcfFit(line, basis, n, n, basis, n, n, m, out, nullptr);
}

void LibAcfTransWithMask(const int16_t *line, const int16_t *basis, uint16_t n, uint8_t m, int16_t *out,
                         const uint8_t *mask) {
  if (line == nullptr || basis == nullptr || out == nullptr || mask == nullptr) return;
  LumaAcfFit(line, basis, n, n, basis, n, n, m, out, mask);
}

void LibAcfTransDownSample(const int16_t *line, const int16_t *short_basis, uint16_t n_short,
                           const int16_t *full_basis, uint16_t n_full, uint8_t m, int16_t *out) {
  if (line == nullptr || short_basis == nullptr || full_basis == nullptr || out == nullptr) return;
  LumaAcfFit(line, short_basis, n_short, n_short, full_basis, n_full, n_full, m, out, nullptr);
}

void LibAcfTransDownSampleWithMask(const int16_t *line, const int16_t *short_basis, uint16_t n_short,
                                   const int16_t *full_basis, uint16_t n_full, uint8_t m, int16_t *out,
                                   const uint8_t *mask) {
  if (line == nullptr || short_basis == nullptr || full_basis == nullptr || out == nullptr || mask == nullptr)
    return;
  LumaAcfFit(line, short_basis, n_short, n_short, full_basis, n_full, n_full, m, out, mask);
}

void LmxGetMask(const int16_t *x, uint16_t n, int16_t t1, int16_t t2, uint8_t *mask) {
  if (x == nullptr || mask == nullptr || n < 5) return;
  for (uint16_t i = 2; i + 2 < n; ++i) {
    int16_t d1 = Abs16(x[i] - x[i - 1]);
    int16_t step = Abs16(x[i + 1] - x[i]);
    if (step > d1) d1 = step;
    int16_t d2 = Abs16(x[i] - x[i - 2]);
    step = Abs16(x[i + 2] - x[i]);
    if (step > d2) d2 = step;
    if (d1 > t1 || d2 > t2) mask[i] = 1;
  }
  // A single quiet entry between two steep ones belongs to the same feature.
  for (uint16_t i = 2; i + 2 < n; ++i)
    if (mask[i] == 0 && mask[i - 1] == 1 && mask[i + 1] == 1) mask[i] = 1;
}

void LmxRowFilter(const int16_t *line, uint16_t n, int16_t t1, int16_t t2, int16_t *out) {
  if (line == nullptr || out == nullptr) return;
  // The mask is a fixed private array: a longer line is passed through unfiltered rather
  // than marked past its end.
  if (n > LUMA_ACF_MAX_LINE) {
    memmove(out, line, n * sizeof(int16_t));
    return;
  }
  uint8_t mask[LUMA_ACF_MAX_LINE] = {};
  LmxGetMask(line, n, t1, t2, mask);
  BridgeSteep(line, n, mask, out);
}

uint8_t LibAppAcfFilter(const int16_t *line, const int16_t *basis, uint16_t n, uint8_t m, int16_t *out) {
  if (line == nullptr || basis == nullptr || out == nullptr) return 1;
  if (n == 0) return 0;
  int32_t mean = LineMean(line, n);
  for (uint16_t i = 0; i < n; ++i) out[i] = static_cast<int16_t>(line[i] - mean);
  if (n > LUMA_ACF_MAX_LINE) return 0;  // mean removal only beyond the fit buffer
  int16_t fit[LUMA_ACF_MAX_LINE];
  LibAcfTrans(out, basis, n, m, fit);
  for (uint16_t i = 0; i < n; ++i) out[i] = static_cast<int16_t>(out[i] - fit[i]);
  return 0;
}

uint8_t LibAppAcfFilterWithMask(const int16_t *line, const int16_t *basis, uint16_t n, uint8_t m, int16_t t1,
                                int16_t t2, int16_t *out) {
  if (line == nullptr || basis == nullptr || out == nullptr) return 1;
  if (n == 0) return 0;
  if (n > LUMA_ACF_MAX_LINE) return LibAppAcfFilter(line, basis, n, 0, out);
  uint8_t mask[LUMA_ACF_MAX_LINE] = {};
  LmxGetMask(line, n, t1, t2, mask);
  int16_t bridged[LUMA_ACF_MAX_LINE];
  BridgeSteep(line, n, mask, bridged);
  int32_t mean = LineMean(bridged, n);
  for (uint16_t i = 0; i < n; ++i) bridged[i] = static_cast<int16_t>(bridged[i] - mean);
  int16_t fit[LUMA_ACF_MAX_LINE];
  LibAcfTrans(bridged, basis, n, m, fit);
  for (uint16_t i = 0; i < n; ++i) out[i] = static_cast<int16_t>(line[i] - mean - fit[i]);
  return 0;
}

uint8_t LibAppAcfFilterInputRefData(const void *p) { return p == nullptr ? 1 : 0; }

void AppMcAcfPeakFilter(const int16_t *line, const uint8_t *mask, uint16_t n, int16_t *out) {
  if (line == nullptr || mask == nullptr || out == nullptr) return;
  if (out != line) memmove(out, line, n * sizeof(int16_t));
  uint16_t i = 0;
  while (i < n) {
    if (!Marked(mask[i])) {
      ++i;
      continue;
    }
    uint16_t end = i;  // first unmarked index above the run, or n
    while (end < n && Marked(mask[end])) ++end;
    bool has_left = i > 0;
    bool has_right = end < n;
    if (!has_left && !has_right) return;  // every entry marked: nothing to bridge from
    if (has_left && has_right) {
      uint16_t left = i - 1;
      int32_t slope = (line[end] - line[left]) / (end - left);
      for (uint16_t k = 1; left + k < end; ++k)
        out[left + k] = static_cast<int16_t>(line[left] + k * slope);
    } else if (has_right) {
      for (uint16_t k = 0; k < end; ++k) out[k] = line[end];
    } else {
      for (uint16_t k = i; k < n; ++k) out[k] = line[i - 1];
    }
    i = end;
  }
}

}  // extern "C"
