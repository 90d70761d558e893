// Sub-pixel positions of the mutual peaks: each peak's neighbourhood is isolated in the
// diff matrix and the diff-weighted centroid of the node centres taken. Node centres come
// from per-node tables so that an irregular panel could map its nodes where they are.
#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

#include "luma_core.h"

namespace {

constexpr int kTx = 17;
constexpr int kRx = 38;
constexpr uint8_t kMaxHalfWidth = 4;

// This panel is regular: node centres on an even grid across the 1220 x 2712 display,
// x from 36 to 1185 along the Tx lines and y from 20 to 2680 along the Rx lines.
constexpr std::array<uint16_t, kTx * kRx> MakeTable(bool x_axis) {
  std::array<uint16_t, kTx * kRx> t{};
  for (int tx = 0; tx < kTx; ++tx) {
    for (int rx = 0; rx < kRx; ++rx) {
      t[tx * kRx + rx] = x_axis ? static_cast<uint16_t>(36 + tx * (1185 - 36) / (kTx - 1))
                                : static_cast<uint16_t>(20 + rx * (2680 - 20) / (kRx - 1));
    }
  }
  return t;
}
constexpr auto CFG_NOTCH_X_RATIO = MakeTable(true);
constexpr auto CFG_NOTCH_Y_RATIO = MakeTable(false);

uint8_t TxNum() { return g_stFrmInfo.aucCfgCopy[4]; }
uint8_t RxNum() { return g_stFrmInfo.aucCfgCopy[5]; }
int16_t *Diff() { return g_stFrmData.pssMcDiff; }
int16_t &DiffAt(int tx, int rx) { return Diff()[tx * RxNum() + rx]; }
uint8_t PeakTx(int p) { return g_stPeakData.aucMcPeakPos[2 * p]; }
uint8_t PeakRx(int p) { return g_stPeakData.aucMcPeakPos[2 * p + 1]; }
const uint8_t *PeakRange(int p) { return &g_stPeakData.aucMcPeakRange[5 * p + 1]; }  // tx min, tx max, rx min, rx max
uint8_t PeakCount() { return std::min<uint8_t>(g_stPeakData.ucMcPosPeakNum, LUMA_MAX_PEAKS); }

int Chebyshev(int tx0, int rx0, int tx1, int rx1) { return std::max(std::abs(tx0 - tx1), std::abs(rx0 - rx1)); }

// Smallest distance from the node to any peak other than `peak`; 255 with none.
int DistanceToOthers(int peak, int tx, int rx) {
  int best = 255;
  for (int q = 0; q < PeakCount(); ++q) {
    if (q != peak) best = std::min(best, Chebyshev(tx, rx, PeakTx(q), PeakRx(q)));
  }
  return best;
}

// Wide sums: strong diffs over a 9 x 9 window would overflow 32 bits.
int64_t s_slCalSumX;
int64_t s_slCalSumY;

}  // namespace

extern "C" {

int32_t g_ssDiffSum;
uint8_t g_ucCalCnt;
uint8_t g_ucRecordSensor[2 * 81];

uint8_t AppMcPeakDistance(uint8_t peak, uint8_t tx, uint8_t rx) {
  int best = 255;
  for (int q = 0; q < PeakCount() && best > 0; ++q) {
    if (q != peak) best = std::min(best, Chebyshev(tx, rx, PeakTx(q), PeakRx(q)));
  }
  return static_cast<uint8_t>(best);
}

void AppMcPeakRangeSearch99(uint16_t peak, uint8_t tx_from, uint8_t tx_to, uint8_t rx_from, uint8_t rx_to) {
  const int tx = PeakTx(peak);
  const int rx = PeakRx(peak);
  const int last_rx = RxNum() - 1;
  const int16_t d0 = DiffAt(tx, rx);
  int16_t m = d0;
  if (rx == last_rx - 1) {
    m = std::max(d0, DiffAt(tx, rx + 1));
  } else if (rx == 1) {
    m = std::max(d0, DiffAt(tx, 0));
  } else if (rx == 0 || rx == last_rx) {
    const int16_t up = tx == 0 ? 0 : DiffAt(tx - 1, rx);
    const int16_t down = tx < TxNum() - 1 ? DiffAt(tx + 1, rx) : d0;
    const int16_t inward = DiffAt(tx, rx == 0 ? 1 : rx - 1);
    m = std::max({d0, up, down, inward});
  }
  const uint8_t *range = PeakRange(peak);
  for (int t = tx_from; t <= tx_to; ++t) {
    for (int r = rx_from; r <= rx_to; ++r) {
      int16_t &v = DiffAt(t, r);
      if (t < range[0] || t > range[1] || r < range[2] || r > range[3]) v = 0;
      if (v > m) v = 0;
      if (DistanceToOthers(peak, t, r) < Chebyshev(t, r, tx, rx)) v = 0;
    }
  }
}

void AppDiffSumProc(int16_t diff, uint8_t tx, uint8_t rx) {
  // The node tables cover this panel's nodes only.
  if (diff < 1 || tx >= kTx || rx >= kRx) return;
  if (g_ucCalCnt < sizeof(g_ucRecordSensor) / 2) {
    g_ucRecordSensor[2 * g_ucCalCnt] = tx;
    g_ucRecordSensor[2 * g_ucCalCnt + 1] = rx;
  }
  ++g_ucCalCnt;
  g_ssDiffSum += diff;
  const int node = tx * kRx + rx;
  s_slCalSumX += int64_t{16} * diff * CFG_NOTCH_X_RATIO[node];
  s_slCalSumY += int64_t{16} * diff * CFG_NOTCH_Y_RATIO[node];
}

void AppPosRevertXY(uint32_t *a, uint32_t *b) {
  if (a == nullptr || b == nullptr) return;
  const uint32_t v = *a;
  *a = *b;
  *b = v;
}

uint32_t AppNotchCalculateCoordinate(uint32_t v) { return v; }

void AppNewCalCoordinate(uint8_t peak, uint8_t entry, uint8_t htx, uint8_t hrx) {
  LumaMcPeak &e = g_stPeakData.astMcPeakList[entry];
  e.ucWeight = 0;
  e.ucStrongCnt = 0;
  e.aucAttr[0] = e.aucAttr[1] = 0;
  s_slCalSumX = s_slCalSumY = 0;
  g_ssDiffSum = 0;
  g_ucCalCnt = 0;
  const int tx = PeakTx(peak);
  const int rx = PeakRx(peak);
  const int16_t d0 = DiffAt(tx, rx);
  const int base = g_stTdParam.ucByte1;
  const int strong_level = std::max<int>(g_stTdParam.usWord34, d0 / 3);
  int strong = 0;
  for (int t = std::max(tx - htx, 0); t <= std::min(tx + htx, TxNum() - 1); ++t) {
    for (int r = std::max(rx - hrx, 0); r <= std::min(rx + hrx, RxNum() - 1); ++r) {
      const int16_t diff = DiffAt(t, r);
      if (diff <= base) continue;
      const int d = diff - base;
      if (d >= strong_level) ++strong;
      AppDiffSumProc(static_cast<int16_t>(d), static_cast<uint8_t>(t), static_cast<uint8_t>(r));
    }
  }
  const int32_t weight = g_ssDiffSum == 0 ? 1 : g_ssDiffSum;
  const bool swap = g_stFwConfig.ucXYSwap == 1;
  const uint32_t range_x = swap ? g_stFwConfig.aulNotchY[0] : g_stFwConfig.aulNotchX[0];
  const uint32_t range_y = swap ? g_stFwConfig.aulNotchX[0] : g_stFwConfig.aulNotchY[0];
  e.x = static_cast<uint32_t>(std::min<int64_t>(s_slCalSumX / weight, range_x - 1));
  e.y = static_cast<uint32_t>(std::min<int64_t>(s_slCalSumY / weight, range_y - 1));
  e.ulWeightSum = static_cast<uint32_t>(g_ssDiffSum);
  e.ucWeight = static_cast<uint8_t>(std::min(g_ssDiffSum >> g_stTdParam.ucByte33, 127));
  e.ucStrongCnt = static_cast<uint8_t>(std::min(strong, 49));
  e.ucTx = static_cast<uint8_t>(tx);
  e.ucRx = static_cast<uint8_t>(rx);
  std::memcpy(e.aucAttr, &g_stPeakData.ausMcPeakAttr[peak], 2);
  g_ssDiffSum = e.ucWeight;
}

void AppCalculateCoordinate(void) {
  // The node tables are ours, built for a regular 17 x 38 panel; another geometry has no
  // node centres to weigh.
  if (TxNum() != kTx || RxNum() != kRx) return;
  for (uint8_t p = 0; p < PeakCount(); ++p) {
    const int tx = PeakTx(p);
    const int rx = PeakRx(p);
    if (tx >= kTx || rx >= kRx) continue;
    const uint8_t *range = PeakRange(p);
    const auto htx = static_cast<uint8_t>(std::min<int>(std::max(range[1] - tx, tx - range[0]), kMaxHalfWidth));
    const auto hrx = static_cast<uint8_t>(std::min<int>(std::max(range[3] - rx, rx - range[2]), kMaxHalfWidth));
    const auto tx_from = static_cast<uint8_t>(std::max(tx - htx, 0));
    const auto tx_to = static_cast<uint8_t>(std::min(tx + htx, kTx - 1));
    const auto rx_from = static_cast<uint8_t>(std::max(rx - hrx, 0));
    const auto rx_to = static_cast<uint8_t>(std::min(rx + hrx, kRx - 1));
    // The window is cut down for this peak only; the matrix is put back afterwards.
    int16_t saved[9 * 9];
    int n = 0;
    for (int t = tx_from; t <= tx_to; ++t) {
      for (int r = rx_from; r <= rx_to; ++r) saved[n++] = DiffAt(t, r);
    }
    AppMcPeakRangeSearch99(p, tx_from, tx_to, rx_from, rx_to);
    AppNewCalCoordinate(p, p, htx, hrx);
    n = 0;
    for (int t = tx_from; t <= tx_to; ++t) {
      for (int r = rx_from; r <= rx_to; ++r) DiffAt(t, r) = saved[n++];
    }
    if (g_stFwConfig.ucXYSwap == 1) {
      LumaMcPeak &e = g_stPeakData.astMcPeakList[p];
      const uint32_t x = e.x;
      e.x = e.y;
      e.y = x;
    }
  }
}

}  // extern "C"
