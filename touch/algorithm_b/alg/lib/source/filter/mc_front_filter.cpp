// The mutual front filter: per-row tilts around pivot columns, row and column common
// modes, left/right half offsets, the noisier edge columns, small residues, and a
// two-frame average of the edge columns. Under ADC overload (and no near-field-like
// noise) it makes four equalisation passes instead of one.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "luma_calc.h"
#include "luma_env.h"
#include "luma_filter.h"
#include "luma_front.h"
#include "luma_noise.h"
#include "luma_peaks.h"

extern "C" {
int16_t g_assRX1Fifo[2 * LUMA_EDGE_FIFO_SLOT];
int16_t g_assRXNFifo[2 * LUMA_EDGE_FIFO_SLOT];
uint8_t g_assRXxFifoFrameIndx;
}

namespace {

constexpr int kMaxPivotRows = 20;
uint8_t s_ucEdgeFifoLastSlot;

uint8_t TxCount() { return g_stFrmInfo.aucCfgCopy[4]; }
uint8_t RxCount() { return g_stFrmInfo.aucCfgCopy[5]; }
uint8_t Stride() { return g_stFwConfig.ucRxNum; }
// The edge fifos and the pivot list hold one entry per row, 20 at most.
int Rows() { return std::min<int>(TxCount(), kMaxPivotRows); }

bool OverloadMode() { return g_ucFwAdcOverLoadFlag != 0 && g_usLikeNFNoiseFrame == 0; }

inline int32_t Clamp(int32_t v, int32_t c) { return v > c ? c : (v < -c ? -c : v); }

void Equalise(int16_t *m, const uint8_t *pivots, uint16_t clip) {
  for (int r = 0; r < Rows(); ++r) {
    int16_t *row = m + r * Stride();
    AppLineEquFilterLR(row, row, RxCount(), pivots[r], clip);
  }
}

void Mean(int16_t *m, uint8_t direction, uint16_t clip) { AppDiffMatrixMeanFilter(m, direction, clip, 1, 1); }

// Remove the clamped mean of one edge column; returns the clip for the next column.
int32_t ColumnMean(int16_t *m, int col, int32_t clip) {
  const int t = Rows();
  if (t == 0) return 0;
  int32_t sum = 0;
  for (int r = 0; r < t; ++r) sum += Clamp(m[r * Stride() + col], clip);
  const int32_t next = 2 * std::abs(sum / t);
  sum = 0;
  for (int r = 0; r < t; ++r) sum += Clamp(m[r * Stride() + col], next);
  const int32_t mean = sum / t;
  for (int r = 0; r < t; ++r) m[r * Stride() + col] = static_cast<int16_t>(m[r * Stride() + col] - mean);
  return next;
}

void SmoothColumn(int16_t *m, int col) {
  const int t = Rows();
  if (t < 2) return;
  auto at = [&](int r) -> int16_t & { return m[r * Stride() + col]; };
  at(0) = static_cast<int16_t>((at(0) + at(1)) / 2);
  for (int r = 1; r <= t - 2; ++r) at(r) = static_cast<int16_t>((at(r - 1) + at(r) + at(r + 1)) / 3);
  at(t - 1) = static_cast<int16_t>((at(t - 2) + at(t - 1)) / 2);
}

}  // namespace

extern "C" {

void AppMcUpDownColFilter(int16_t *matrix) {
  if (matrix == nullptr || RxCount() == 0) return;
  const int last = RxCount() - 1;
  const bool smooth = (g_ucFwAdcOverLoadFlag != 0 && g_usLikeNFNoiseFrame == 0) || g_usMaxOriMcAvg >= 1001;
  int32_t clip = 1000;
  for (int col : {0, last}) {
    if (smooth) SmoothColumn(matrix, col);
    clip = ColumnMean(matrix, col, clip);
    if (last == 0) break;
  }
  if (last < 1) return;
  for (int r = 0; r < Rows(); ++r) {
    int16_t *row = matrix + r * Stride();
    row[0] = static_cast<int16_t>((row[0] >> 1) + (row[0] >> 2) + (row[1] >> 2));
    row[last] = static_cast<int16_t>((row[last] >> 1) + (row[last] >> 2) + (row[last - 1] >> 2));
  }
}

int16_t *AppMcUpDownColFilterFifo(int16_t *matrix) {
  const uint8_t k = g_assRXxFifoFrameIndx & 1;
  s_ucEdgeFifoLastSlot = k;
  if (matrix != nullptr && RxCount() != 0) {
    const int last = RxCount() - 1;
    for (int r = 0; r < Rows(); ++r) {
      g_assRX1Fifo[LUMA_EDGE_FIFO_SLOT * k + r] = matrix[r * Stride()];
      g_assRXNFifo[LUMA_EDGE_FIFO_SLOT * k + r] = matrix[r * Stride() + last];
    }
    for (int r = 0; r < Rows(); ++r) {
      matrix[r * Stride()] = static_cast<int16_t>((g_assRX1Fifo[r] + g_assRX1Fifo[LUMA_EDGE_FIFO_SLOT + r]) / 2);
      matrix[r * Stride() + last] =
          static_cast<int16_t>((g_assRXNFifo[r] + g_assRXNFifo[LUMA_EDGE_FIFO_SLOT + r]) / 2);
    }
  }
  g_assRXxFifoFrameIndx = static_cast<uint8_t>(k ^ 1);
  return matrix;
}

void McUpDownFiFoRestore(void) {
  int16_t *m = g_stFrmData.pssMcDiff;
  if (g_ucFWDataRateFlag == 3 && m != nullptr && RxCount() != 0) {
    const int last = RxCount() - 1;
    const int k = s_ucEdgeFifoLastSlot;
    for (int r = 0; r < Rows(); ++r) {
      m[r * Stride()] = g_assRX1Fifo[LUMA_EDGE_FIFO_SLOT * k + r];
      m[r * Stride() + last] = g_assRXNFifo[LUMA_EDGE_FIFO_SLOT * k + r];
    }
  }
  const uint8_t count = std::min<uint8_t>(g_stPeakData.ucMcPosPeakNum, LUMA_MAX_PEAKS);
  const int last_col = g_stFwConfig.ucRxNum - 1;
  for (uint8_t p = 0; p < count; ++p) {
    uint8_t *pos = &g_stPeakData.aucMcPeakPos[2 * p];
    const int t = pos[0];
    const int x = pos[1];
    if (x != 0 && x != last_col) continue;
    const int16_t v = AppMcGetDiff(static_cast<uint8_t>(t), static_cast<uint8_t>(x));
    if (v >= static_cast<int16_t>(g_stTdParam.usScThr)) continue;
    int best = v;
    int best_t = t;
    int best_x = x;
    auto consider = [&](int ct, int cx) {
      const int16_t d = AppMcGetDiff(static_cast<uint8_t>(ct), static_cast<uint8_t>(cx));
      if (d > best) {
        best = d;
        best_t = ct;
        best_x = cx;
      }
    };
    if (t > 0) consider(t - 1, x);
    if (t < g_stFwConfig.ucTxNum - 1) consider(t + 1, x);
    consider(t, x == 0 ? 1 : last_col - 1);
    if (best >= static_cast<int16_t>(g_stTdParam.usMcThr)) {
      pos[0] = static_cast<uint8_t>(best_t);
      pos[1] = static_cast<uint8_t>(best_x);
    } else {
      AppMcSetPeakValidity(p, 0);
    }
  }
  AppGetValidPeak();
}

void AppMcDiffFrontFilter(void) {
  int16_t *m = g_stFrmData.pssMcDiff;
  if (m == nullptr) return;
  AppCalOriDiffRowMatrixMeanLvl(32767, 1);
  uint8_t pivots[kMaxPivotRows];
  const bool overload = OverloadMode();
  if (!overload) {
    std::memset(pivots, 18, sizeof(pivots));
    Equalise(m, pivots, AppCurrentFrmIsWaterSta() != 0 ? 30 : 60);
    Mean(m, LUMA_DIR_ROW, 32767);
  } else {
    struct Pass {
      uint8_t pivot;
      uint16_t clip;
      uint16_t column_clip;
    };
    for (const Pass &pass : {Pass{18, 80, 32767}, Pass{11, 60, 300}, Pass{24, 60, 300}}) {
      std::memset(pivots, pass.pivot, sizeof(pivots));
      Equalise(m, pivots, pass.clip);
      Mean(m, LUMA_DIR_ROW, 32767);
      Mean(m, LUMA_DIR_COL, pass.column_clip);
    }
    AppMcDiffABSMinPosGet(m, pivots);
    Equalise(m, pivots, 60);
    Mean(m, LUMA_DIR_ROW, 300);
    Mean(m, LUMA_DIR_COL, 150);
  }
  AppMcDiffMatrixLRMeanFilter(m, pivots, 150);
  AppMcUpDownColFilter(m);
  Mean(m, LUMA_DIR_ROW, 150);
  Mean(m, LUMA_DIR_COL, 150);
  if (overload) Mean(m, LUMA_DIR_COL, 150);
  AppScMaskByMcDiff(m, 17, 38);
  int16_t steps[256];  // one step per row, whatever the row count
  for (int16_t &s : steps) s = 20;
  AppCal_MatrixLineFilter(m, m, steps, 10, 0);
  for (int16_t &s : steps) s = 10;
  AppCal_MatrixLineFilter(m, m, steps, 5, 0);
  AppMcUpDownColFilterFifo(m);
}

}  // extern "C"
