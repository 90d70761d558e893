// 3x3 smoothing of the mutual diff (in water, touches spread and break into many small
// maxima; smoothing the strong nodes joins them again) and the width of a peak on a line.
#include <string.h>

#include "luma_filter.h"

namespace {

uint8_t Rows() { return g_stFrmInfo.aucCfgCopy[4]; }
uint8_t Cols() { return g_stFrmInfo.aucCfgCopy[5]; }

// All neighbours are read from an unchanged copy so that the result does not depend on the
// order in which nodes are visited.
int16_t g_ssConvScratch[LUMA_MAX_NODES];

int32_t NeighbourSum(const int16_t *m, int r, int c, int cols) {
  int32_t sum = 0;
  for (int dr = -1; dr <= 1; ++dr)
    for (int dc = -1; dc <= 1; ++dc)
      if (dr != 0 || dc != 0) sum += m[(r + dr) * cols + c + dc];
  return sum;
}

}  // namespace

extern "C" {

int16_t AppConvolution(int16_t *matrix, int16_t *peak, int16_t threshold, const uint8_t *rect) {
  if (matrix == nullptr || peak == nullptr) return 0;
  const int rows = Rows(), cols = Cols();
  memcpy(g_ssConvScratch, matrix, sizeof(g_ssConvScratch));
  int16_t result = g_ssConvScratch[cols + 1];
  *peak = result;
  if (rows < 3) return result;
  for (int r = 1; r <= rows - 2; ++r) {
    for (int c = 1; c <= cols - 2; ++c) {
      int16_t centre = g_ssConvScratch[r * cols + c];
      bool inside = rect == nullptr || (r >= rect[0] && r <= rect[2] && c >= rect[1] && c <= rect[3]);
      if (!inside || centre < threshold) continue;
      if (centre > *peak) *peak = centre;
      int32_t sum = 9 * centre + (centre >> 1) + NeighbourSum(g_ssConvScratch, r, c, cols);
      int16_t smoothed = static_cast<int16_t>(sum >> 4);
      matrix[r * cols + c] = smoothed;
      if (smoothed > result) result = smoothed;
    }
  }
  return result;
}

void AppPosPeakConvolution(int16_t *matrix) {
  if (matrix == nullptr) return;
  const int rows = Rows(), cols = Cols();
  if (rows < 3 || cols < 3) return;
  memcpy(g_ssConvScratch, matrix, sizeof(g_ssConvScratch));
  for (int r = 1; r <= rows - 2; ++r)
    for (int c = 1; c <= cols - 2; ++c) {
      int32_t centre = g_ssConvScratch[r * cols + c];
      matrix[r * cols + c] = static_cast<int16_t>((9 * centre + NeighbourSum(g_ssConvScratch, r, c, cols)) / 16);
    }
}

uint8_t GetScWidth(uint8_t pos, const int16_t *line, uint8_t n, uint8_t *start, uint8_t *end) {
  if (line == nullptr || start == nullptr || end == nullptr || pos >= n) return 0;
  int32_t limit = line[pos] / 5;
  if (limit < 300) limit = 300;
  uint8_t first = pos;
  if (pos >= 1 && line[pos] >= limit) {
    first = 0;
    for (int i = pos - 1; i >= 1; --i) {
      if (line[i] < limit) {
        first = static_cast<uint8_t>(i);
        break;
      }
    }
  }
  uint8_t last = static_cast<uint8_t>(n - 1);
  for (int i = pos; i < n; ++i) {
    if (line[i] < limit) {
      last = static_cast<uint8_t>(i);
      break;
    }
  }
  *start = first;
  *end = last;
  return static_cast<uint8_t>(last - first);
}

}  // extern "C"
