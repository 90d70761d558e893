// Self-capacitance line filter: touches stand as narrow peaks on a slowly varying
// background. The touch entries are masked (from the mutual diff of the frame when it
// left a mask, else from the line itself), the masked runs bridged, the line fitted with
// the first vectors of a per-axis basis, and the fit subtracted.
#include <math.h>
#include <stdlib.h>
#include <string.h>

#include "luma_filter.h"

extern "C" {
int16_t gScFeatRx[LUMA_SC_FEAT_VECTORS * LUMA_SC_RX_LEN];
int16_t gScFeatTx[LUMA_SC_FEAT_VECTORS * LUMA_SC_TX_LEN];
int16_t gScFeatRxNormal_1[LUMA_SC_FEAT_VECTORS * 13];
int16_t gScFeatRxNormal_2[LUMA_SC_FEAT_VECTORS * 13];
int16_t gScFeatRxNormal_3[LUMA_SC_FEAT_VECTORS * 12];
uint8_t gucScRxMask[LUMA_SC_RX_LEN];
uint8_t gucScTxMask[LUMA_SC_TX_LEN];
uint8_t gucScRxNormalMask[LUMA_SC_RX_LEN];
uint8_t gucRxMaskReadyFlg;
uint8_t gucTxMaskReadyFlg;
uint8_t gucRxNormalMaskReadyFlg;
}

namespace {

constexpr uint8_t kTouchMark = 1;
constexpr uint8_t kWideMark = 4;
constexpr uint8_t kSubLines = 3;

// The panel's tuned bases are not part of this build. In their place: an orthonormal
// cosine basis in Q8 (lowest frequencies first), except the first Tx vector, which is the
// panel's measured near-constant profile.
const int16_t kPanelTxProfile[LUMA_SC_TX_LEN] = {59, 59, 61, 62, 64, 64, 64, 65, 64,
                                                 62, 64, 64, 63, 61, 61, 60, 59};

void FillCosineBasis(int16_t *basis, uint8_t length) {
  const double pi = 3.14159265358979323846;
  for (uint8_t k = 0; k < LUMA_SC_FEAT_VECTORS; ++k) {
    double scale = 256.0 * sqrt((k == 0 ? 1.0 : 2.0) / length);
    for (uint8_t i = 0; i < length; ++i)
      basis[k * length + i] = static_cast<int16_t>(lround(scale * cos(pi * (2 * i + 1) * k / (2.0 * length))));
  }
}

struct BasisTables {
  BasisTables() {
    FillCosineBasis(gScFeatRx, LUMA_SC_RX_LEN);
    FillCosineBasis(gScFeatTx, LUMA_SC_TX_LEN);
    memcpy(gScFeatTx, kPanelTxProfile, sizeof(kPanelTxProfile));
    FillCosineBasis(gScFeatRxNormal_1, 13);
    FillCosineBasis(gScFeatRxNormal_2, 13);
    FillCosineBasis(gScFeatRxNormal_3, 12);
  }
};
const BasisTables g_basis_tables;

inline int16_t Abs16(int32_t difference) { return static_cast<int16_t>(abs(difference)); }

inline void MarkFree(uint8_t *mask, int index, uint8_t value) {
  if (mask[index] == 0) mask[index] = value;
}

// Marked neighbours of touch marks are widened so that a touch's flanks are bridged too.
void WidenTouchMarks(uint8_t *mask, uint8_t n) {
  if (n < 3) return;
  for (int i = 1; i <= n - 2; ++i) {
    if (mask[i] != kTouchMark) continue;
    MarkFree(mask, i - 1, kWideMark);
    MarkFree(mask, i + 1, kWideMark);
    if (i >= 2) MarkFree(mask, i - 2, kWideMark);
    if (i + 2 < n) MarkFree(mask, i + 2, kWideMark);
  }
  if (mask[1] != 0) mask[0] = kWideMark;
  else if (mask[0] != 0) mask[1] = kWideMark;
  if (mask[n - 2] != 0) mask[n - 1] = kWideMark;
  else if (mask[n - 1] != 0) mask[n - 2] = kWideMark;
}

// One (sub-)line: bridge its marks, fit with as many vectors as its free entries allow,
// subtract the fit.
uint8_t FilterLine(const int16_t *line, const int16_t *basis, uint8_t stride, uint8_t *mask, uint8_t length,
                   uint16_t vectors, int16_t *out) {
  uint8_t free_entries = 0;
  for (uint8_t i = 0; i < length; ++i) free_entries += mask[i] == 0;
  if (free_entries == 0) return AppScFilteredWhenMaskFull(line, basis, mask, length, stride, out);
  uint8_t m;
  if (free_entries > vectors) m = static_cast<uint8_t>(vectors > LUMA_SC_FEAT_VECTORS ? LUMA_SC_FEAT_VECTORS : vectors);
  else if (free_entries >= 3) m = free_entries - 1;
  else m = 1;
  int16_t bridged[LUMA_SC_RX_LEN];
  int16_t fit[LUMA_SC_RX_LEN];
  AppMcAcfPeakFilter(line, mask, length, bridged);
  LumaAcfFit(bridged, basis, stride, length, basis, stride, length, m, fit, nullptr);
  for (uint8_t i = 0; i < length; ++i) out[i] = static_cast<int16_t>(line[i] - fit[i]);
  return 0;
}

struct Axis {
  const int16_t *basis;
  uint8_t stride;
  uint8_t *stored;
  uint8_t *flag;
};

Axis AxisOf(uint8_t axis) {
  switch (axis) {
    case 0: return {gScFeatRx, LUMA_SC_RX_LEN, gucScRxMask, &gucRxMaskReadyFlg};
    case 1: return {gScFeatTx, LUMA_SC_TX_LEN, gucScTxMask, &gucTxMaskReadyFlg};
    default: return {nullptr, LUMA_SC_RX_LEN, gucScRxNormalMask, &gucRxNormalMaskReadyFlg};
  }
}

const int16_t *SubLineBasis(uint8_t k) {
  return k == 0 ? gScFeatRxNormal_1 : (k == 1 ? gScFeatRxNormal_2 : gScFeatRxNormal_3);
}

uint8_t SubLineStride(uint8_t k) { return k == 2 ? 12 : 13; }

uint8_t SubLineLength(uint8_t n, uint8_t k) { return n > k ? static_cast<uint8_t>((n - k + 2) / 3) : 0; }

// Masks and marks a line of a given axis. The stored mask of the mutual front filter is
// used when ready; otherwise one is made from the line.
void WorkingMask(const int16_t *line, uint8_t n, uint8_t axis, const LumaScAcfParam *param, uint8_t *mask) {
  Axis a = AxisOf(axis);
  memset(mask, 0, LUMA_SC_RX_LEN);
  if (*a.flag != 0) {
    memcpy(mask, a.stored, n);
    if (*a.flag != 2) return;
    if (axis != 2) {
      AppAcfCalcMaskBySrcRowData(line, n, LUMA_SC_STEEP_STEP, mask);
      return;
    }
    // Steep marks of each sub-line go only to free positions of that sub-line; marks
    // already stored stay as they are.
    for (uint8_t k = 0; k < kSubLines; ++k) {
      uint8_t length = SubLineLength(n, k);
      int16_t sub[13];
      uint8_t marks[13] = {};
      for (uint8_t j = 0; j < length; ++j) sub[j] = line[3 * j + k];
      AppAcfCalcMaskBySrcRowData(sub, length, LUMA_SC_STEEP_STEP, marks);
      for (uint8_t j = 0; j < length; ++j) MarkFree(mask, 3 * j + k, marks[j]);
    }
    return;
  }
  if (axis != 2) {
    AppGetScMask(line, a.basis, n, mask, param);
    AppAcfCalcMaskBySrcRowData(line, n, LUMA_SC_STEEP_STEP, mask);
  } else {
    for (uint8_t k = 0; k < kSubLines; ++k) {
      uint8_t length = SubLineLength(n, k);
      int16_t sub[13];
      uint8_t marks[13] = {};
      for (uint8_t j = 0; j < length; ++j) sub[j] = line[3 * j + k];
      AppGetScMask(sub, SubLineBasis(k), length, marks, param);
      AppAcfCalcMaskBySrcRowData(sub, length, LUMA_SC_STEEP_STEP, marks);
      for (uint8_t j = 0; j < length; ++j) mask[3 * j + k] = marks[j];
    }
  }
  WidenTouchMarks(mask, n);
}

}  // namespace

extern "C" {

uint8_t AppGetScMask(const int16_t *line, const int16_t *basis, uint8_t n, uint8_t *mask,
                     const LumaScAcfParam *param) {
  if (mask == nullptr) return 0;
  memset(mask, 0, n);
  if (line == nullptr || basis == nullptr || param == nullptr || n > LUMA_ACF_MAX_LINE) return 0;
  // Two fits of different order: an entry is a touch only when it stands out of both.
  int16_t fit[LUMA_ACF_MAX_LINE];
  LibAcfTrans(line, basis, n, static_cast<uint8_t>(param->usMaskVectors1), fit);
  int16_t threshold1 = static_cast<int16_t>(param->usMaskThr1);
  uint8_t first[LUMA_ACF_MAX_LINE];
  for (uint8_t i = 0; i < n; ++i) first[i] = static_cast<int16_t>(line[i] - fit[i]) > threshold1;
  LibAcfTrans(line, basis, n, static_cast<uint8_t>(param->usMaskVectors2), fit);
  int16_t threshold2 = static_cast<int16_t>(param->usMaskThr2);
  for (uint8_t i = 0; i < n; ++i)
    if (first[i] && static_cast<int16_t>(line[i] - fit[i]) > threshold2) mask[i] = kTouchMark;
  return 0;
}

void AppAcfCalcMaskBySrcRowData(const int16_t *x, uint8_t n, int16_t threshold, uint8_t *mask) {
  if (x == nullptr || mask == nullptr || n < 2) return;
  int16_t low = Abs16(x[1] - x[0]);
  if (low > threshold) {
    MarkFree(mask, 0, kWideMark);
    MarkFree(mask, 1, kTouchMark);
  }
  if (n >= 3) {
    int16_t next = Abs16(x[2] - x[1]);
    if ((next > low ? next : low) > threshold) {
      MarkFree(mask, 0, kWideMark);
      MarkFree(mask, 1, kWideMark);
    }
  }
  int16_t high = Abs16(x[n - 2] - x[n - 1]);
  if (high > threshold) {
    MarkFree(mask, n - 1, kWideMark);
    MarkFree(mask, n - 2, kWideMark);
  }
  if (n >= 3) {
    int16_t before = Abs16(x[n - 3] - x[n - 2]);
    if ((before > high ? before : high) > threshold) {
      MarkFree(mask, n - 1, kWideMark);
      MarkFree(mask, n - 2, kWideMark);
      MarkFree(mask, n - 3, kWideMark);
    }
  }
  if (n < 5) return;
  for (int i = 2; i <= n - 3; ++i) {
    int16_t up = Abs16(x[i + 1] - x[i]);
    int16_t down = Abs16(x[i] - x[i - 1]);
    if ((up > down ? up : down) > threshold) {
      MarkFree(mask, i - 1, kWideMark);
      MarkFree(mask, i, kWideMark);
      MarkFree(mask, i + 1, kWideMark);
    }
  }
}

uint8_t AppScFilteredWhenMaskFull(const int16_t *line, const int16_t *basis, uint8_t *mask, uint8_t n,
                                  uint8_t stride, int16_t *out) {
  if (line == nullptr || mask == nullptr || out == nullptr) return 1;
  uint8_t widened = 0;
  for (uint8_t i = 0; i < n; ++i) {
    if (mask[i] == kWideMark) {
      mask[i] = 0;
      ++widened;
    }
  }
  if (widened >= 1) {
    if (basis == nullptr || n > LUMA_SC_RX_LEN) return 1;
    int16_t bridged[LUMA_SC_RX_LEN];
    int16_t fit[LUMA_SC_RX_LEN];
    uint8_t step = stride != 0 ? stride : n;
    AppMcAcfPeakFilter(line, mask, n, bridged);
    LumaAcfFit(bridged, basis, step, n, basis, step, n, 1, fit, nullptr);
    for (uint8_t i = 0; i < n; ++i) out[i] = static_cast<int16_t>(line[i] - fit[i]);
    return 0;
  }
  // Every entry is a touch: take the line's own entry at the quietest mutual row as the
  // reference level.
  const int16_t *matrix = g_stFrmData.assMcDiff;
  int16_t bound = 3000;
  uint8_t row = 0;
  for (uint8_t r = 0; r < LUMA_SC_TX_LEN; ++r) {
    int16_t largest = matrix[r * LUMA_SC_RX_LEN];
    for (uint8_t c = 1; c < LUMA_SC_RX_LEN; ++c)
      if (matrix[r * LUMA_SC_RX_LEN + c] > largest) largest = matrix[r * LUMA_SC_RX_LEN + c];
    if (largest < bound) {
      bound = largest;
      row = r;
    }
  }
  // The reference must lie on the line and only the line's own entries are written: a
  // shorter line would otherwise be read and written past its end.
  int16_t reference = row < n ? line[row] : 0;
  for (uint8_t i = 0; i < n; ++i) out[i] = static_cast<int16_t>(line[i] - reference);
  return 0;
}

uint8_t AppScMaskByMcDiff(const int16_t *matrix, uint8_t tx, uint8_t rx) {
  if (matrix == nullptr) return 0;
  uint8_t tx_masked = tx < LUMA_SC_TX_LEN ? tx : LUMA_SC_TX_LEN;
  uint8_t rx_masked = rx < LUMA_SC_RX_LEN ? rx : LUMA_SC_RX_LEN;
  memset(gucScRxMask, 0, rx_masked);
  memset(gucScTxMask, 0, tx_masked);
  for (uint8_t r = 0; r < tx_masked; ++r) {
    for (uint8_t c = 0; c < rx_masked; ++c) {
      if (abs(matrix[r * rx + c]) > LUMA_SC_MC_MARK) {
        gucScRxMask[c] = kTouchMark;
        gucScTxMask[r] = kTouchMark;
      }
    }
  }
  auto widen = [](uint8_t *mask, uint8_t n, uint8_t *flag) {
    if (n >= 1 && mask[0] == kTouchMark) {
      if (n >= 2) MarkFree(mask, 1, kWideMark);
      *flag = 2;
    }
    for (int j = 0; j + 2 <= n; ++j) {
      if (mask[j + 1] != kTouchMark) continue;
      MarkFree(mask, j, kWideMark);
      if (j + 2 < n) MarkFree(mask, j + 2, kWideMark);
      *flag = 2;
    }
  };
  widen(gucScRxMask, rx_masked, &gucRxMaskReadyFlg);
  memcpy(gucScRxNormalMask, gucScRxMask, rx_masked);
  for (uint8_t c = 0; c < rx_masked; ++c)
    if (gucScRxNormalMask[c] >= 1) gucRxNormalMaskReadyFlg = 2;
  widen(gucScTxMask, tx_masked, &gucTxMaskReadyFlg);
  return 0;
}

int16_t *AppScFullMskDiffFilter(int16_t *line, uint8_t n, int16_t threshold) {
  if (line == nullptr || n < 1) return line;
  int32_t sum = 0;
  int32_t count = 0;
  for (uint8_t i = 0; i < n; ++i) {
    if (line[i] < threshold) {
      sum += line[i];
      ++count;
    }
  }
  int32_t mean = count != 0 ? sum / count : 0;
  for (uint8_t i = 0; i < n; ++i) line[i] = static_cast<int16_t>(line[i] - mean);
  return line;
}

uint8_t AppScDiffAcfFilter(const int16_t *line, uint8_t n, int16_t *out, uint8_t axis,
                           const LumaScAcfParam *param) {
  if (line == nullptr || out == nullptr || param == nullptr) return 1;
  Axis a = AxisOf(axis);
  // A line longer than its basis cannot be fitted: it passes through unfiltered.
  if (n > a.stride || axis > 2) {
    memmove(out, line, n * sizeof(int16_t));
    return 1;
  }
  uint8_t mask[LUMA_SC_RX_LEN];
  WorkingMask(line, n, axis, param, mask);
  uint8_t result = 0;
  if (axis != 2) {
    if (n == 0) result = AppScFilteredWhenMaskFull(line, a.basis, mask, n, a.stride, out);
    else result = FilterLine(line, a.basis, a.stride, mask, n, param->usFitVectors, out);
  } else {
    for (uint8_t k = 0; k < kSubLines; ++k) {
      uint8_t length = SubLineLength(n, k);
      int16_t sub[13];
      int16_t filtered[13];
      uint8_t sub_mask[13];
      for (uint8_t j = 0; j < length; ++j) {
        sub[j] = line[3 * j + k];
        sub_mask[j] = mask[3 * j + k];
      }
      if (length == 0) continue;
      result = FilterLine(sub, SubLineBasis(k), SubLineStride(k), sub_mask, length, param->usFitVectors, filtered);
      for (uint8_t j = 0; j < length; ++j) out[3 * j + k] = filtered[j];
    }
  }
  // A mutual mask belongs to the frame it was made in.
  *a.flag = 0;
  memset(a.stored, 0, n);
  return result;
}

}  // extern "C"
