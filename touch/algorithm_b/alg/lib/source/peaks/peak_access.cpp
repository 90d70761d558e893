// Small operations on the mutual peak list that every detection filter shares.
#include <stdint.h>

#include <algorithm>

#include "luma_calc.h"
#include "luma_noise.h"
#include "luma_peaks.h"

namespace {

constexpr uint8_t kValidMapBytes = sizeof(g_stPeakData.aucMcPeakValidMap);
constexpr uint8_t kPeakRecordBytes = 5;
// Self peak validity bits sit in the peak record ahead of the self peak lists.
constexpr size_t kScTxValidOffset = 45;
constexpr size_t kScRxValidOffset = 48;

uint8_t FrameTx() { return g_stFrmInfo.aucCfgCopy[4]; }
uint8_t FrameRx() { return g_stFrmInfo.aucCfgCopy[5]; }
uint8_t CoordTx() { return g_stFrmInfo.aucCfgCopy[6]; }
uint8_t CoordRx() { return g_stFrmInfo.aucCfgCopy[7]; }

bool BitSet(const uint8_t *bits, uint8_t bytes, uint8_t index) {
  return index / 8 < bytes && (bits[index / 8] & (1u << (index % 8))) != 0;
}

const uint8_t *PeakRecordBytes() { return reinterpret_cast<const uint8_t *>(&g_stPeakData); }

}  // namespace

extern "C" {

uint8_t AppMcPeakValidityCheck(uint8_t peak) {
  return BitSet(g_stPeakData.aucMcPeakValidMap, kValidMapBytes, peak) ? 1 : 0;
}

void AppMcSetPeakValidity(uint8_t peak, uint8_t valid) {
  // The map holds one bit per list entry; an index past it has no bit to change.
  if (peak / 8 >= kValidMapBytes) return;
  uint8_t mask = static_cast<uint8_t>(1u << (peak % 8));
  if (valid != 0) g_stPeakData.aucMcPeakValidMap[peak / 8] |= mask;
  else g_stPeakData.aucMcPeakValidMap[peak / 8] &= static_cast<uint8_t>(~mask);
}

uint8_t AppScPeakValidityCheck(uint8_t tx_peak, uint8_t rx_peak) {
  const uint8_t *bytes = PeakRecordBytes();
  return BitSet(bytes + kScTxValidOffset, 3, tx_peak) && BitSet(bytes + kScRxValidOffset, 3, rx_peak) ? 1 : 0;
}

int16_t *AppMcGetDiffAddr(uint8_t tx, uint8_t rx) {
  if (g_stFrmData.pssMcDiff == nullptr || tx >= FrameTx() || rx >= FrameRx()) return nullptr;
  return g_stFrmData.pssMcDiff + tx * FrameRx() + rx;
}

int16_t AppMcGetDiff(uint8_t tx, uint8_t rx) {
  const int16_t *node = AppMcGetDiffAddr(tx, rx);
  return node != nullptr ? *node : 0;
}

int16_t AppMcPeakGetDiff(uint8_t peak) {
  if (peak >= LUMA_MAX_PEAKS) return 0;
  return AppMcGetDiff(g_stPeakData.aucMcPeakPos[2 * peak], g_stPeakData.aucMcPeakPos[2 * peak + 1]);
}

uint8_t AppMcIfMaxPeak(uint8_t peak) {
  if (peak >= LUMA_MAX_PEAKS) return 0;
  return g_stPeakData.aucMcPeakPos[2 * peak] == g_stPeakData.ucMcMaxTx &&
                 g_stPeakData.aucMcPeakPos[2 * peak + 1] == g_stPeakData.ucMcMaxRx
             ? 1
             : 0;
}

uint8_t AppScTxPeakCheck(uint8_t slot, uint8_t tx, int16_t threshold) {
  if (!AppScTxDataIsExist(slot)) return 1;
  if (slot >= LUMA_SC_SLOTS || FrameRx() + tx >= LUMA_SC_LINE_LEN) return 0;
  return g_stFrmData.assScDiff[slot][FrameRx() + tx] >= threshold ? 2 : 0;
}

uint8_t AppScRxPeakCheck(uint8_t slot, uint8_t rx, int16_t threshold) {
  if (slot >= LUMA_SC_SLOTS || rx >= LUMA_SC_LINE_LEN) return 0;
  return g_stFrmData.assScDiff[slot][rx] >= threshold ? 2 : 0;
}

uint8_t AppScTxAndNoisePeakCheck(uint8_t slot, uint8_t tx, int16_t threshold) {
  if (slot >= LUMA_SC_SLOTS || tx >= sizeof(g_ssScWaterTxNoise) / sizeof(int16_t) ||
      FrameRx() + tx >= LUMA_SC_LINE_LEN)
    return 0;
  return g_stFrmData.assScDiff[slot][FrameRx() + tx] < threshold && g_ssScWaterTxNoise[tx] < threshold ? 0 : 2;
}

uint8_t AppScRxAndNoisePeakCheck(uint8_t slot, uint8_t rx, int16_t threshold) {
  if (slot >= LUMA_SC_SLOTS || rx >= sizeof(g_ssScWaterRxNoise) / sizeof(int16_t)) return 0;
  return g_stFrmData.assScDiff[slot][rx] < threshold && g_ssScWaterRxNoise[rx] < threshold ? 0 : 2;
}

int32_t AppMcGetPeakAreaSumByTxRx(uint8_t tx, uint8_t rx, uint8_t radius) {
  // Window bounds are signed bytes: a radius that wraps them gives an empty window.
  const int8_t row_low = static_cast<int8_t>(tx - radius), row_high = static_cast<int8_t>(tx + radius);
  const int8_t col_low = static_cast<int8_t>(rx - radius), col_high = static_cast<int8_t>(rx + radius);
  if (row_high < row_low || col_high < col_low) return 0;
  // Nodes past the matrix edge are left out: a peak on the edge line sums only what the
  // panel measured, as the detection stages that compare this sum with the peak expect.
  const int rows = CoordTx(), cols = CoordRx();
  int32_t sum = 0;
  for (int t = std::max<int>(row_low, 0); t <= std::min<int>(row_high, rows - 1); ++t) {
    for (int c = std::max<int>(col_low, 0); c <= std::min<int>(col_high, cols - 1); ++c)
      sum += AppMcGetDiff(static_cast<uint8_t>(t), static_cast<uint8_t>(c));
  }
  return sum;
}

int32_t AppMcGetPeakAreaSum(uint8_t peak, uint8_t radius) {
  if (peak >= LUMA_MAX_PEAKS) return 0;
  return AppMcGetPeakAreaSumByTxRx(g_stPeakData.aucMcPeakPos[2 * peak], g_stPeakData.aucMcPeakPos[2 * peak + 1],
                                   radius);
}

uint16_t AppGetTouchThr(uint8_t tx) { return tx >= CoordTx() ? g_stTdParam.usScThr2 : g_stTdParam.usScThr; }

uint8_t AppMcGetRoundSmallCntThr(uint8_t tx, uint8_t rx, int16_t limit) {
  uint8_t count = 0;
  if (tx > 0 && AppMcGetDiff(tx - 1, rx) < limit) ++count;
  if (tx + 1 < g_stFwConfig.ucTxNum && AppMcGetDiff(tx + 1, rx) < limit) ++count;
  if (rx + 1 < g_stFwConfig.ucRxNum && AppMcGetDiff(tx, rx + 1) < limit) ++count;
  if (rx > 0 && AppMcGetDiff(tx, rx - 1) < limit) ++count;
  return count;
}

uint8_t AppMcGetRoundSmallCnt(uint8_t tx, uint8_t rx) {
  int16_t v = AppMcGetDiff(tx, rx);
  int16_t limit = 100;
  if (v >= 400) {
    int16_t quarter = static_cast<int16_t>(v >> 2);
    limit = quarter < 120 ? quarter : 120;
  }
  return AppMcGetRoundSmallCntThr(tx, rx, limit);
}

void AppGetValidPeak(void) {
  uint8_t n = g_stPeakData.ucMcPosPeakNum;
  if (n > LUMA_MAX_PEAKS) n = LUMA_MAX_PEAKS;
  uint8_t kept = 0;
  for (uint8_t i = 0; i < n; ++i) {
    if (!AppMcPeakValidityCheck(i)) continue;
    g_stPeakData.aucMcPeakPos[2 * kept] = g_stPeakData.aucMcPeakPos[2 * i];
    g_stPeakData.aucMcPeakPos[2 * kept + 1] = g_stPeakData.aucMcPeakPos[2 * i + 1];
    for (uint8_t b = 0; b < kPeakRecordBytes; ++b)
      g_stPeakData.aucMcPeakRange[kPeakRecordBytes * kept + b] = g_stPeakData.aucMcPeakRange[kPeakRecordBytes * i + b];
    AppMcSetPeakValidity(kept, 1);
    ++kept;
  }
  g_stPeakData.ucMcPosPeakNum = kept;
}

}  // extern "C"
