// Background removal on the mutual matrix row by row: bridging of marked runs, row fits
// with and without masks, row mean removal, a per-row noise level, the base-update status
// of each row, growth and dilation of touch masks, and the dynamic-base table.
#include <algorithm>
#include <cstring>

#include "luma_calc.h"
#include "luma_filter.h"

extern "C" {
uint8_t gDynamicBaseData[LUMA_DYNAMIC_BASE_SIZE];
}

namespace {

constexpr int16_t kBig = 50;

inline int8_t At(const uint8_t *mask, int cols, int r, int c) { return static_cast<int8_t>(mask[r * cols + c]); }

}  // namespace

extern "C" {

void AppMcFrameAcfPeakFilter(const int16_t *matrix, const uint8_t *masks, uint8_t rows, uint8_t cols, int16_t *out) {
  if (matrix == nullptr || out == nullptr || rows < 1) return;
  if (masks == nullptr) {
    std::memmove(out, matrix, static_cast<size_t>(rows) * cols * sizeof(int16_t));
    return;
  }
  for (int r = 0; r < rows; ++r) AppMcAcfPeakFilter(matrix + r * cols, masks + r * cols, cols, out + r * cols);
}

uint8_t AppMcAcfByRowData(const int16_t *row, const int16_t *basis, const uint8_t *mask, uint8_t n, uint8_t m,
                          int16_t *out) {
  if (row == nullptr || basis == nullptr || out == nullptr) return 1;
  int16_t bridged[256];
  int16_t fit[256];
  if (mask != nullptr) AppMcAcfPeakFilter(row, mask, n, bridged);
  else std::copy(row, row + n, bridged);
  LibAcfTrans(bridged, basis, n, m, fit);
  for (int i = 0; i < n; ++i) out[i] = static_cast<int16_t>(row[i] - fit[i]);
  return 0;
}

void AppMcFrameAcfTrans(const int16_t *matrix, uint8_t rows, uint8_t cols, const int16_t *basis,
                        const int8_t *counts, int16_t *out) {
  if (matrix == nullptr || basis == nullptr || out == nullptr || counts == nullptr || rows < 1) return;
  for (int r = 0; r < rows; ++r) {
    LibAcfTrans(matrix + r * cols, basis, cols, static_cast<uint8_t>(counts[r]), out + r * cols);
  }
}

void AppMcFrameAcfTransWithMask(const int16_t *matrix, uint8_t rows, uint8_t cols, const int16_t *basis,
                                const int8_t *counts, int16_t *out, const uint8_t *masks) {
  if (matrix == nullptr || basis == nullptr || out == nullptr || counts == nullptr || masks == nullptr || rows < 1) {
    return;
  }
  for (int r = 0; r < rows; ++r) {
    LibAcfTransWithMask(matrix + r * cols, basis, cols, static_cast<uint8_t>(counts[r]), out + r * cols,
                        masks + r * cols);
  }
}

LumaMatOp *AppMcAcfSubMean(int16_t *matrix, uint8_t n, const void *, int16_t *means) {
  if (matrix == nullptr || n > 41) return nullptr;
  int16_t *bounds = g_stFrmData.assBound;
  for (int i = 0; i < n; ++i) {
    bounds[i] = 32766;
    bounds[n + i] = -32766;
  }
  AppCal_MatrixLineColAvg(g_stFrmData.assLineAvg, matrix, bounds, 0, 0);
  if (means != nullptr) std::copy(g_stFrmData.assLineAvg, g_stFrmData.assLineAvg + n, means);
  return AppCal_MatrixSubConst(matrix, matrix, g_stFrmData.assLineAvg, 0);
}

void AppMcNoiseLevelEval(const int16_t *a, const int16_t *b, const void *, const void *, int16_t *out) {
  if (a == nullptr || b == nullptr || out == nullptr) return;
  int16_t difference[LUMA_MAX_NODES];
  AppCal_MatrixSub(difference, a, b, 0);
  AppCal_MatrixLineMinMax(out, difference, LUMA_CAL_ABS);
}

void AppMcAcfSubNoise(const int16_t *a, const void *, const void *, const int16_t *d, const void *, int16_t *out) {
  if (a == nullptr || d == nullptr || out == nullptr) return;
  AppCal_MatrixSub(out, a, d, 0);
}

void AppMcCalcBaseUpdateStatus(const uint8_t *mask, uint8_t rows, uint8_t cols, uint8_t *counts, uint8_t *status) {
  if (mask == nullptr || counts == nullptr || status == nullptr || rows < 1) return;
  for (int r = 0; r < rows; ++r) {
    int marked = 0;
    for (int c = 0; c < cols; ++c) marked += At(mask, cols, r, c) >= 1 ? 1 : 0;
    counts[r] = static_cast<uint8_t>(marked);
    // A row a third or more covered, or touched at either end, keeps its base.
    const bool ends_free = cols >= 1 && mask[r * cols] == 0 && mask[r * cols + cols - 1] == 0;
    status[r] = (marked < (cols * 21846) / 65536 && ends_free) ? 1 : 0;
  }
}

void AppMcMaskEnhance(uint8_t *mask, uint8_t rows, uint8_t cols, int8_t *budget, uint8_t level, const int16_t *diff) {
  if (mask == nullptr || budget == nullptr || diff == nullptr || rows < 1 || cols < 1) return;
  const bool wide = level == 27 || level == 29;
  const int8_t least = wide ? 3 : 5;
  const auto value = static_cast<uint8_t>(wide ? level + 2 : level);
  const auto lvl = static_cast<int8_t>(level);
  auto big = [&](int r, int c) { return diff[r * cols + c] > kBig; };
  auto zero = [&](int r, int c) { return mask[r * cols + c] == 0; };
  auto write = [&](int r, int c) {
    if (budget[r] <= least) return;
    mask[r * cols + c] = value;
    --budget[r];
  };
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < cols; ++c) {
      const int8_t v = At(mask, cols, r, c);
      const bool seed = wide ? v == lvl : (v >= 1 && v < lvl);
      if (seed) {
        auto beside_free = [&](int rr) {
          return (c > 0 && zero(rr, c - 1)) || (c < cols - 1 && zero(rr, c + 1)) || big(rr, c);
        };
        if (r > 0 && zero(r - 1, c) && beside_free(r - 1)) write(r - 1, c);
        if (r < rows - 1 && zero(r + 1, c) && beside_free(r + 1)) write(r + 1, c);
        if (c > 0 && zero(r, c - 1) && ((c > 1 && zero(r, c - 2)) || big(r, c - 1))) write(r, c - 1);
        if (c < cols - 1 && zero(r, c + 1) && ((c < cols - 2 && zero(r, c + 2)) || big(r, c + 1))) write(r, c + 1);
      } else if (v == 0 && c > 0 && c < cols - 1 && At(mask, cols, r, c - 1) >= lvl &&
                 At(mask, cols, r, c + 1) >= lvl && big(r, c)) {
        write(r, c);
      }
    }
    if (wide || cols < 2) continue;
    auto marked = [&](int c) { return At(mask, cols, r, c) >= 1; };
    if (marked(0) && zero(r, 1)) write(r, 1);
    else if (zero(r, 0) && marked(1)) write(r, 0);
    if (marked(cols - 1) && zero(r, cols - 2)) write(r, cols - 2);
    else if (zero(r, cols - 1) && marked(cols - 2)) write(r, cols - 1);
  }
}

void AppMcAcfDilate_3x3(const uint8_t *source, uint8_t rows, uint8_t cols, uint8_t *target) {
  if (source == nullptr || target == nullptr) return;
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < cols; ++c) {
      const uint8_t v = source[r * cols + c];
      if (v != 1 && v != 2) continue;
      const uint8_t mark = v == 2 ? 3 : 4;
      if (c > 0 && target[r * cols + c - 1] == 0) target[r * cols + c - 1] = mark;
      if (c < cols - 1 && target[r * cols + c + 1] == 0) target[r * cols + c + 1] = mark;
    }
  }
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < cols; ++c) {
      const uint8_t v = source[r * cols + c];
      if (v < 1 || v > 4) continue;
      const uint8_t mark = (v == 2 || v == 3) ? 5 : 6;
      if (r > 0 && target[(r - 1) * cols + c] == 0) target[(r - 1) * cols + c] = mark;
      if (r < rows - 1 && target[(r + 1) * cols + c] == 0) target[(r + 1) * cols + c] = mark;
    }
  }
}

void AppInitDynamicBase(const void *block) {
  if (block == nullptr) return;
  std::memcpy(gDynamicBaseData + 8, block, 1292);
}

}  // extern "C"
