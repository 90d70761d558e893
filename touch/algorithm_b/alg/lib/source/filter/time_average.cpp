// Time moving average of the diff under ADC overload: the average frame follows the diff
// by a power-of-two weighted recursion, is mean-corrected and replaces the diff.
#include <string.h>

#include "luma_filter.h"

extern "C" {
uint8_t g_ucFWDataRateFlag;
LumaTmaFrame g_stTMAFifoFrame;
}

namespace {

constexpr uint8_t kFullRate = 3;

uint8_t TxCount() { return g_stFrmInfo.aucCfgCopy[4]; }
uint8_t RxCount() { return g_stFrmInfo.aucCfgCopy[5]; }
uint8_t CoordTxCount() { return g_stFrmInfo.aucCfgCopy[6]; }
uint8_t Stride() { return g_stFwConfig.ucRxNum; }

inline int16_t Saturate(int64_t v) { return static_cast<int16_t>(v > 32767 ? 32767 : (v < -32768 ? -32768 : v)); }

// floor(log2(value)), at most 7; 0 below 2.
uint8_t Log2Shift(uint32_t value) {
  uint8_t k = 0;
  while (k < 7 && (value >> (k + 1)) != 0) ++k;
  return k;
}

// Weight shift of an averaging count: a negative count stands for 128, fewer than 2 for 2.
uint8_t CountShift(int8_t count) {
  int32_t m = count < 0 ? 128 : count;
  return Log2Shift(static_cast<uint32_t>(m < 2 ? 2 : m));
}

inline int16_t Scale(int16_t x, int64_t gain, uint8_t k) { return Saturate((x * gain) >> k); }

// Rows by the coordinate Tx count, but never more than the matrix has: with the axes
// swapped that count is the Rx count and would run past the matrix.
void ScaleMatrix(int16_t *m, int64_t gain, uint8_t k) {
  const uint8_t rows = CoordTxCount() < TxCount() ? CoordTxCount() : TxCount();
  for (uint8_t r = 0; r < rows; ++r)
    for (uint8_t c = 0; c < RxCount(); ++c) m[r * Stride() + c] = Scale(m[r * Stride() + c], gain, k);
}

void AddMatrix(int16_t *acc, const int16_t *m) {
  for (uint8_t r = 0; r < TxCount(); ++r)
    for (uint8_t c = 0; c < RxCount(); ++c) {
      int idx = r * Stride() + c;
      acc[idx] = Saturate(static_cast<int32_t>(acc[idx]) + m[idx]);
    }
}

void ScaleLine(int16_t *line, int64_t gain, uint8_t k) {
  int n = TxCount() + RxCount();
  if (n > LUMA_SC_LINE_LEN) n = LUMA_SC_LINE_LEN;
  for (int i = 0; i < n; ++i) line[i] = Scale(line[i], gain, k);
}

void AddLine(int16_t *acc, const int16_t *line) {
  for (int i = 0; i < LUMA_SC_LINE_LEN; ++i) acc[i] = static_cast<int16_t>(acc[i] + line[i]);
}

void CopyAverageOverDiff() {
  memcpy(g_stFrmData.assMcDiff, g_stTMAFifoFrame.assMc,
         static_cast<size_t>(g_stFwConfig.ucTxNum) * g_stFwConfig.ucRxNum * sizeof(int16_t));
}

inline int32_t Clamp(int32_t v, int32_t c) { return v > c ? c : (v < -c ? -c : v); }

}  // namespace

extern "C" {

void AppMcTMA(int16_t *acc, int16_t *cur, uint32_t gain, int8_t count) {
  if (acc == nullptr || cur == nullptr) return;
  uint8_t k = CountShift(count);
  ScaleMatrix(acc, (int64_t{1} << k) - gain, k);
  ScaleMatrix(cur, gain, k);
  AddMatrix(acc, cur);
}

void AppMcAdd(int16_t *acc, int16_t *m, uint32_t gain, int8_t count) {
  if (acc == nullptr || m == nullptr) return;
  ScaleMatrix(m, gain, CountShift(count));
  AddMatrix(acc, m);
}

void AppMcDiffAmp(int16_t *m, uint16_t gain, uint8_t divisor) {
  if (m == nullptr) return;
  ScaleMatrix(m, gain, Log2Shift(divisor));
}

void AppScTMA(int16_t *acc, int16_t *line, uint32_t gain, int8_t count) {
  if (acc == nullptr || line == nullptr) return;
  uint8_t k = CountShift(count);
  ScaleLine(acc, (int64_t{1} << k) - gain, k);
  ScaleLine(line, gain, k);
  AddLine(acc, line);
}

void AppScAdd(int16_t *acc, int16_t *line, uint32_t gain, int8_t count) {
  if (acc == nullptr || line == nullptr) return;
  ScaleLine(line, gain, CountShift(count));
  AddLine(acc, line);
}

void AppScDiffAmp(int16_t *line, uint16_t gain, uint8_t divisor) {
  if (line == nullptr) return;
  ScaleLine(line, gain, Log2Shift(divisor));
}

int16_t *AppCalScAdd(int16_t *dst, const int16_t *a, const int16_t *b) {
  if (dst == nullptr || a == nullptr || b == nullptr) return dst;
  for (int i = 0; i < LUMA_SC_LINE_LEN; ++i) dst[i] = static_cast<int16_t>(a[i] + b[i]);
  return dst;
}

int16_t *AppCalScSub(int16_t *dst, const int16_t *a, const int16_t *b) {
  if (dst == nullptr || a == nullptr || b == nullptr) return dst;
  for (int i = 0; i < LUMA_SC_LINE_LEN; ++i) dst[i] = static_cast<int16_t>(a[i] - b[i]);
  return dst;
}

void AppTMAFIFOClear(void) { memset(&g_stTMAFifoFrame, 0, sizeof(g_stTMAFifoFrame)); }

// The per-frame flow's name for the same clear, on an invalid frame.
void AppTimeMaClear(void) { AppTMAFIFOClear(); }

void AppTMAFifoProc(uint8_t mc_count, uint8_t sc_count) {
  if (mc_count >= 2) {
    AppMcTMA(g_stTMAFifoFrame.assMc, g_stFrmData.assMcDiff, 1, static_cast<int8_t>(mc_count));
    AppDiffMatrixMeanFilter(g_stTMAFifoFrame.assMc, LUMA_DIR_ROW, mc_count, 1, 1);
    CopyAverageOverDiff();
  }
  if (sc_count >= 2) {
    int16_t *average = g_stTMAFifoFrame.assSc;
    AppScTMA(average, g_stFrmData.assScDiff[0], 1, static_cast<int8_t>(sc_count));
    const uint8_t rx = RxCount();
    if (rx != 0) {
      int32_t sum = 0;
      for (uint8_t i = 0; i < rx; ++i) sum += Clamp(average[i], sc_count);
      int32_t bound = sum / rx;
      bound = bound < 0 ? -bound : bound;
      sum = 0;
      for (uint8_t i = 0; i < rx; ++i) sum += Clamp(average[i], bound);
      int32_t mean = sum / rx;
      for (uint8_t i = 0; i < rx; ++i) average[i] = static_cast<int16_t>(average[i] - mean);
    }
    memcpy(g_stFrmData.assScDiff[0], average, sizeof(g_stTMAFifoFrame.assSc));
  }
}

void AppDiffFrontFifo(void) {
  if (g_ucFWDataRateFlag == kFullRate) return;
  AppMcTMA(g_stTMAFifoFrame.assMc, g_stFrmData.assMcDiff, 1, 2);
  AppDiffMatrixMeanFilter(g_stTMAFifoFrame.assMc, LUMA_DIR_ROW, 2, 1, 1);
  CopyAverageOverDiff();
}

}  // extern "C"
