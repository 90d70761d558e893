// Common-mode removal on the mutual diff matrix, line by line: clamped means per Tx row or
// per Rx column, left/right half means, and per-row tilts. Rows are the frame's Tx count,
// columns its Rx count; rows sit the configured Rx count apart.
#include <stdlib.h>

#include "luma_filter.h"
#include "luma_noise.h"

extern "C" {
uint8_t g_ucNFColByPassFlag;
uint16_t g_usMaxOriMcAvg;
uint16_t g_ucDbgOriDiffNoiseCnt[3];
}

namespace {

constexpr uint8_t kShrinkThreshold = 8;

uint8_t TxCount() { return g_stFrmInfo.aucCfgCopy[4]; }
uint8_t RxCount() { return g_stFrmInfo.aucCfgCopy[5]; }
uint8_t Stride() { return g_stFwConfig.ucRxNum; }

inline int32_t Clamp(int32_t v, int32_t low, int32_t high) { return v > high ? high : (v < low ? low : v); }
inline int16_t Saturate(int32_t v) { return static_cast<int16_t>(Clamp(v, -32768, 32767)); }

// Line i of the matrix in a direction: a Tx row, or an Rx column.
struct Lines {
  int16_t *matrix;
  bool columns;
  uint8_t count() const { return columns ? RxCount() : TxCount(); }
  uint8_t length() const { return columns ? TxCount() : RxCount(); }
  int16_t &at(uint8_t line, uint8_t k) const {
    return columns ? matrix[k * Stride() + line] : matrix[line * Stride() + k];
  }
};

// Clamped mean of every line; with two passes the second clamps each line to its own first
// mean, so a touch on the line pulls the mean no further than the mean's own size.
void LineMeans(const Lines &lines, int32_t clip, uint8_t two_pass, int32_t *means) {
  const uint8_t length = lines.length();
  for (uint8_t i = 0; i < lines.count(); ++i) {
    int32_t bound = clip;
    for (int pass = 0; pass < (two_pass == 1 ? 2 : 1); ++pass) {
      if (length == 0) {
        means[i] = 0;
        break;
      }
      int32_t sum = 0;
      for (uint8_t k = 0; k < length; ++k) sum += Clamp(lines.at(i, k), -bound, bound);
      means[i] = sum / length;
      bound = abs(static_cast<int16_t>(means[i]));
    }
  }
}

}  // namespace

extern "C" {

void AppDiffMatrixMeanFilter(int16_t *matrix, uint8_t direction, uint16_t clip, uint8_t two_pass, uint8_t mode) {
  if (matrix == nullptr) return;
  if (g_stSysParam.ucChargeState == 0) g_ucNFColByPassFlag = 0;
  else if (direction == LUMA_DIR_COL && g_ucNFColByPassFlag != 0) return;
  Lines lines{matrix, direction == LUMA_DIR_COL};
  int32_t means[256];
  LineMeans(lines, clip, two_pass, means);
  const uint8_t length = lines.length();
  for (uint8_t i = 0; i < lines.count(); ++i) {
    for (uint8_t k = 0; k < length; ++k) {
      int16_t &node = lines.at(i, k);
      if (mode == 1) node = Saturate(node - means[i]);
      else if (node > kShrinkThreshold) node = static_cast<int16_t>(node - means[i]);
      else if (node < -kShrinkThreshold) node = static_cast<int16_t>(node + means[i]);
    }
  }
}

uint8_t AppCalOriDiffRowMatrixMeanLvl(uint16_t clip, uint8_t two_pass) {
  Lines rows{g_stFrmData.assMcBackDiff, false};
  int32_t means[256];
  LineMeans(rows, clip, two_pass, means);
  uint16_t largest = 0;
  for (uint8_t r = 0; r < rows.count(); ++r) {
    uint16_t size = static_cast<uint16_t>(abs(static_cast<int16_t>(means[r])));
    if (size > largest) largest = size;
  }
  g_usMaxOriMcAvg = largest;
  uint8_t level = largest >= 2001 ? 3 : (largest >= 1001 ? 2 : (largest >= 801 ? 1 : 0));
  g_ucOriMcDiffLargeMeanLevel = level;
  if (level != 0) ++g_ucDbgOriDiffNoiseCnt[level - 1];
  return level;
}

int16_t *AppMcDiffMatrixLRMeanFilter(int16_t *matrix, const uint8_t *pos, uint16_t clip) {
  if (matrix == nullptr || pos == nullptr) return matrix;
  const uint8_t rx = RxCount();
  const uint8_t half = rx / 2;
  // The half that holds the row's marked column is clamped tighter.
  auto remove_mean = [](int16_t *from, int count, int32_t bound) {
    if (count <= 0) return;
    int32_t sum = 0;
    for (int k = 0; k < count; ++k) sum += Clamp(from[k], -bound, bound);
    int32_t mean = sum / count;
    for (int k = 0; k < count; ++k) from[k] = static_cast<int16_t>(from[k] - mean);
  };
  for (uint8_t r = 0; r < TxCount(); ++r) {
    int16_t *row = matrix + r * Stride();
    bool marked_left = pos[r] < half;
    int32_t left_clip = marked_left ? clip : 2 * clip;
    int32_t right_clip = marked_left ? 2 * clip : clip;
    if (rx >= 2) remove_mean(row, half, left_clip);
    remove_mean(row + half, rx - half, right_clip);
  }
  return matrix;
}

void AppMcDiffABSMinPosGet(const int16_t *matrix, uint8_t *out) {
  if (matrix == nullptr || out == nullptr) return;
  const uint8_t rx = RxCount();
  for (uint8_t r = 0; r < TxCount(); ++r) {
    const int16_t *row = matrix + r * Stride();
    int32_t best = 32767;
    out[r] = 0;
    for (int c = 2; c <= rx - 3; ++c) {
      if (abs(row[c]) < best) {
        best = abs(row[c]);
        out[r] = static_cast<uint8_t>(c);
      }
    }
  }
}

int16_t *AppMcDiffRateFilter(int16_t *matrix, const uint8_t *pivot, uint16_t *slope, uint8_t clip) {
  if (matrix == nullptr || pivot == nullptr || slope == nullptr) return matrix;
  for (uint8_t r = 0; r < TxCount(); ++r) {
    int16_t *row = matrix + r * Stride();
    slope[r] = static_cast<uint16_t>(AppLineEquFilterAll(row, row, RxCount(), pivot[r], clip));
  }
  return matrix;
}

void AppMcDiffRateFilterLR(int16_t *matrix, const uint8_t *pivot, const void *, uint16_t clip) {
  if (matrix == nullptr || pivot == nullptr) return;
  for (uint8_t r = 0; r < TxCount(); ++r) {
    int16_t *row = matrix + r * Stride();
    AppLineEquFilterLR(row, row, RxCount(), pivot[r], clip);
  }
}

uint8_t AppDiffCompressFilter(int16_t *matrix, uint16_t step) {
  if (matrix == nullptr) return 1;
  for (uint8_t r = 0; r < TxCount(); ++r)
    AppDiffLineCompressFilter(matrix + r * Stride(), RxCount(), static_cast<int16_t>(step));
  return 0;
}

}  // extern "C"
