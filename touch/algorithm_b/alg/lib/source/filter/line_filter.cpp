// One-dimensional filters on a line of signed 16-bit diff values: tilt removal around a
// pivot, clamped mean removal, fixed-step shrink and reference subtraction. Sums are
// 32-bit, divisions truncate toward zero, and results written back wrap to 16 bits.
#include <stdlib.h>

#include "luma_filter.h"

namespace {

inline int32_t Clamp(int32_t v, int32_t c) { return v > c ? c : (v < -c ? -c : v); }

// Neighbour difference, first wrapped to 16 bits, then limited to +-c.
inline int32_t Step(const int16_t *line, int i, int32_t c) {
  return Clamp(static_cast<int16_t>(line[i] - line[i - 1]), c);
}

// Mean neighbour step over differences first..last (inclusive), divided by count.
int32_t MeanStep(const int16_t *line, int first, int last, int32_t c, int32_t count) {
  int32_t sum = 0;
  for (int i = first; i <= last; ++i) sum += Step(line, i, c);
  return count != 0 ? sum / count : 0;
}

inline int16_t Wrap(int32_t v) { return static_cast<int16_t>(v); }

// Tilt s removed about pivot q; the pivot keeps its value.
void RemoveTilt(int16_t *line, uint8_t n, uint8_t q, int16_t s) {
  for (int i = 0; i < q && i < n; ++i) line[i] = Wrap(line[i] + s * static_cast<uint8_t>(q - i));
  for (int i = q + 1; i < n; ++i) line[i] = Wrap(line[i] - s * static_cast<uint8_t>(i - q));
}

void SubtractMean(int16_t *line, int first, int count, int32_t c) {
  if (count <= 0) return;
  int32_t sum = 0;
  for (int i = first; i < first + count; ++i) sum += Clamp(line[i], c);
  int32_t mean = sum / count;
  for (int i = first; i < first + count; ++i) line[i] = Wrap(line[i] - mean);
}

void Shrink(int16_t *line, uint8_t n, int32_t s, int32_t h) {
  for (uint8_t i = 0; i < n; ++i) {
    if (line[i] > h) line[i] = Wrap(line[i] - s);
    else if (line[i] < -h) line[i] = Wrap(line[i] + s);
  }
}

// Score of an entry for the reference search: on an Rx line the Mc-to-Sc projection at the
// matching channel adds to it, so the reference is quiet in both views. Entry i of the line
// matches projection channel stride x i + offset.
uint8_t FindQuietest(const int16_t *line, uint8_t from, int to, uint8_t n, uint8_t stride, uint8_t offset) {
  const int16_t *projection = g_stFrmData.assScDiff[2];
  bool rx_line = g_stFwConfig.ucTxNum != n;
  int32_t best = 32767;
  uint8_t position = LUMA_LINE_NO_POSITION;
  for (int i = from; i <= to; ++i) {
    int32_t score = abs(line[i]);
    if (rx_line) {
      int j = stride * i + offset;
      if (j < LUMA_SC_LINE_LEN) score += abs(projection[j]);
    }
    if (score < best) {
      best = score;
      position = static_cast<uint8_t>(i);
    }
  }
  return position;
}

// A phase above 0 picks one of three interleaved sub-lines.
uint8_t FindQuietestPhase(const int16_t *line, uint8_t from, int to, uint8_t n, uint8_t phase) {
  return phase == 0 ? FindQuietest(line, from, to, n, 1, 0) : FindQuietest(line, from, to, n, 3, phase - 1);
}

}  // namespace

extern "C" {

int16_t *AppLineEquFilterLR(int16_t *dst, const int16_t *src, uint8_t n, uint8_t p, uint16_t c) {
  if (dst == nullptr || src == nullptr) return dst;
  // A pivot past the line keeps the correction within it.
  uint8_t left_end = p < n ? p : n;
  int16_t left = 0, right = 0;
  // A pivot past the line takes its left slope from the line's own steps.
  int left_last = p < n ? p : n - 1;
  if (p >= 2 && left_last >= 2) left = Wrap(MeanStep(src, 2, left_last, c, left_last - 1));
  if (n >= 2 && n - 2 > p) right = Wrap(MeanStep(src, p + 1, n - 2, c, n - 2 - p));
  int16_t pivot_value = p < n ? src[p] : 0;
  for (int i = 0; i < left_end; ++i) dst[i] = Wrap(src[i] + left * static_cast<uint8_t>(p - i));
  if (p < n) {
    dst[p] = pivot_value;
    for (int i = p + 1; i < n; ++i) dst[i] = Wrap(src[i] - right * static_cast<uint8_t>(i - p));
  }
  return dst;
}

int32_t AppLineEquFilterAll(int16_t *dst, const int16_t *src, uint8_t n, uint8_t p, uint16_t c) {
  // An empty line has no step to take: it stays as it is.
  if (dst == nullptr || src == nullptr || n == 0) return 0;
  int32_t s = n == 1 ? 0 : MeanStep(src, 1, n - 1, c, n - 1);
  RemoveTilt(dst, n, p, Wrap(s));
  return s;
}

int16_t *AppScDiffRateLRFilter(int16_t *line, uint8_t n, uint8_t k, uint16_t c) {
  if (line == nullptr || n == 0) return line;
  // A split past the line keeps segment A on the line.
  int a_len = k < n ? k : n - 1;
  if (k != 0) SubtractMean(line, 1, a_len, c);
  int b_first = k != 0 ? k + 1 : 1;
  SubtractMean(line, b_first, n - b_first, c);
  return line;
}

int16_t *AppDiffLineMeanFilter(int16_t *line, uint8_t n, int16_t c, uint8_t two_pass, uint8_t mode) {
  if (line == nullptr) return line;
  auto mean = [&](int32_t clip) {
    if (n == 0) return 0;
    int32_t sum = 0;
    for (uint8_t i = 0; i < n; ++i) sum += Clamp(line[i], clip);
    return sum / n;
  };
  int32_t m = mean(c);
  if (two_pass == 1) m = mean(abs(static_cast<int16_t>(m)));
  if (mode == 1) {
    for (uint8_t i = 0; i < n; ++i) line[i] = Wrap(line[i] - m);
  } else {
    int32_t s = abs(static_cast<int16_t>(m));
    Shrink(line, n, s, s >> 1);
  }
  return line;
}

int16_t *AppDiffLineCompressFilter(int16_t *line, uint8_t n, int16_t s) {
  if (line == nullptr) return line;
  Shrink(line, n, s, (s >> 1) & 0x7FFF);
  return line;
}

int16_t *AppLineSubRefPosFilter(int16_t *dst, const int16_t *src, uint8_t n, uint8_t p) {
  if (dst == nullptr || src == nullptr || p >= n) return dst;
  int16_t reference = src[p];
  for (uint8_t i = 0; i < n; ++i) dst[i] = Wrap(src[i] - reference);
  return dst;
}

uint8_t AppLineSubAbsMinFilter(int16_t *dst, const int16_t *src, uint8_t n, uint8_t phase) {
  if (dst == nullptr || src == nullptr || n == 0) return LUMA_LINE_NO_POSITION;
  uint8_t position = FindQuietestPhase(src, 0, n - 1, n, phase);
  AppLineSubRefPosFilter(dst, src, n, position);
  return position;
}

uint8_t LumaLineQuietest(const int16_t *line, uint8_t n, uint8_t stride, uint8_t offset) {
  if (line == nullptr || n == 0) return LUMA_LINE_NO_POSITION;
  return FindQuietest(line, 0, n - 1, n, stride, offset);
}

uint8_t AppLineABSMinPosGet(const int16_t *line, uint8_t n, uint8_t m, uint8_t phase) {
  if (line == nullptr || n - m <= m) return LUMA_LINE_NO_POSITION;
  return FindQuietestPhase(line, m, n - m - 1, n, phase);
}

int16_t *AppMcNoiseCountVectorizer(int16_t *line, uint8_t n) {
  if (line == nullptr || n == 0) return line;
  const int32_t clip = 16383;
  int16_t s1 = n == 1 ? 0 : Wrap(MeanStep(line, 1, n - 1, clip, n - 1));
  RemoveTilt(line, n, static_cast<uint8_t>(n >> 1), s1);
  int32_t best = 16383;
  uint8_t q = 0;
  for (uint8_t i = 0; i < n; ++i) {
    if (abs(line[i]) < best) {
      best = abs(line[i]);
      q = i;
    }
  }
  int16_t s2 = n == 1 ? 0 : Wrap(MeanStep(line, 1, n - 1, clip, n - 1));
  RemoveTilt(line, n, q, s2);
  return line;
}

int16_t *AppABSNullNoise(int16_t *line, uint8_t n) {
  if (line == nullptr) return line;
  for (uint8_t i = 0; i < n; ++i) line[i] = Wrap(abs(line[i]));  // -32768 wraps to itself
  return line;
}

int16_t *AppNoiseDiffBak(int16_t *dst, const int16_t *src) {
  if (dst == nullptr || src == nullptr) return dst;
  for (uint8_t i = 0; i < LUMA_SC_LINE_LEN; ++i) dst[i] = Wrap(abs(src[i]));
  return dst;
}

}  // extern "C"
