// Near-field noise and self-support frame filters. With the charger connected, near-field
// noise makes ghost touches that the mutual matrix alone cannot tell from fingers; these
// filters compare the peaks with the self lines and with the previous frame's matrix and
// drop whole frames, never more than five in a row.
#include <algorithm>
#include <cstdlib>

#include "luma_calc.h"
#include "luma_debug.h"
#include "luma_env.h"
#include "luma_front.h"
#include "luma_noise.h"
#include "luma_peak_filter.h"
#include "luma_peaks.h"

using namespace luma_peak;

extern "C" {
uint8_t s_ucNfNoiseDropCnt;
uint8_t s_ucScFilterDropCnt;
uint8_t s_ucNfGhostCnt;
}

namespace {

int16_t Diff(int tx, int rx) {
  if (tx < 0 || rx < 0 || tx > 255 || rx > 255) return 0;
  return AppMcGetDiff(static_cast<uint8_t>(tx), static_cast<uint8_t>(rx));
}

int16_t SelfThr() { return static_cast<int16_t>(g_stTdParam.usScThr); }
int16_t TxSupport() { return static_cast<int16_t>(g_stTdParam.ausWords20[2]); }
int16_t RxSupport() { return static_cast<int16_t>(g_stTdParam.ausWords20[3]); }

// Per-line values kept for the panel's lines only; a line the panel lacks reads 0.
template <size_t N>
int16_t LineValue(const int16_t (&line)[N], int index, int count) {
  if (index < 0 || index >= count || index >= static_cast<int>(N)) return 0;
  return line[index];
}
int16_t TxRowMax(int t) { return LineValue(g_ssMc2TxDiffer, t, TxNum()); }

// A node that reads as touched while the self line through it does not.
bool Unsupported(int16_t diff, int16_t self, int16_t limit) { return diff > SelfThr() && self < limit; }

bool NegativePeakBesideStrongColumn() {
  const uint8_t n = std::min<uint8_t>(g_stPeakData.ucMcNegPeakNum, LUMA_MAX_PEAKS);
  for (uint8_t k = 0; k < n; ++k) {
    const int t = g_stPeakData.aucMcNegPeakPos[2 * k];
    const int c = g_stPeakData.aucMcNegPeakPos[2 * k + 1];
    if (t >= TxNum() || c >= RxNum()) continue;
    const int v = Diff(t, c);
    const int last = g_ssMcDiffLast[t * RxNum() + c];
    // A deep node, or one that has just turned negative.
    if (!(v < -200 || (v < -100 && last >= -99))) continue;
    bool row_touched = false;
    for (int r = 0; r < RxNum() && !row_touched; ++r) row_touched = Diff(t, r) > 150;
    if (row_touched) continue;
    for (int r = 0; r < TxNum(); ++r) {
      if (Diff(r, c) >= 201) return true;
    }
  }
  return false;
}

// The two-finger checks: a second finger that appears while the first stays, without self
// support on its drive line.
void TwoFingerChecks() {
  const LumaPeakData &pd = g_stPeakData;
  if (!FrameValid() || g_ucLastOutputPtCnt != 2) return;
  if (!(ThumbFlag() == 1 || (pd.ucPeakByte1228 == 2 && pd.ucMcPosPeakNum != 2))) return;
  if (pd.usMcOverCnt <= 30 || pd.usPeakWord1226 <= 30) return;
  if (std::abs(pd.usMcOverCnt - pd.usPeakWord1226) > 10) {
    DropFrame(LUMA_DROP_AREA_JUMP);
    return;
  }
  for (int t = 0; t < TxNum(); ++t) {
    if (t == 0 && TxNum() == 1) continue;
    const int d = TxRowMax(t);
    if (d <= 200 || ScTx1(t) >= 100) continue;
    // The lines beside the first and last have no self value and no row maximum.
    const int up = ScTx1(t - 1), down = ScTx1(t + 1);
    if ((up < 100 && down < 100) || (up > 100 && TxRowMax(t - 1) < d) || (down > 100 && TxRowMax(t + 1) < d)) {
      DropFrame(LUMA_DROP_TX_ROW);
      return;
    }
  }
  if (FrameValid()) AppPeakFilterByMcTxDiff();
}

}  // namespace

extern "C" {

void AppMayBeNfNoiseFilterNew(void) {
  if (!NearFieldMode()) {
    s_ucNfNoiseDropCnt = 0;
    return;
  }
  if (NegativePeakBesideStrongColumn()) DropFrame(LUMA_DROP_NF_NEG_PEAK);
  if (g_stPeakData.ssMcMaxDiff > 2000) DropFrame(LUMA_DROP_NF_MAX);
  else if (g_stPeakData.ssMcMinDiff < -2000) DropFrame(LUMA_DROP_NF_MIN);
  LimitDropRun(s_ucNfNoiseDropCnt);
}

uint8_t AppSearchLRThr(uint8_t tx, uint8_t rx, uint8_t axis) {
  // A neighbour line the panel lacks counts as satisfied, on either side: reading past
  // the last line would take the next row's first node and the other axis's self value.
  if (axis == 0) {
    auto satisfied = [&](int line) {
      if (line < 0 || line >= TxNum()) return true;
      return AppScTxDataIsExist(1) != 0 && Unsupported(Diff(line, rx), ScTx1(line), TxSupport());
    };
    return (tx < 2 || satisfied(tx - 1)) && satisfied(tx + 1) ? 1 : 0;
  }
  auto satisfied = [&](int column) {
    if (column < 0 || column >= RxNum()) return true;
    return Unsupported(Diff(tx, column), ScRx1(column), RxSupport());
  };
  return (rx < 2 || satisfied(rx - 1)) && satisfied(rx + 1) ? 1 : 0;
}

void AppPeakFilterBySc(void) {
  AppNFGhostCheck();
  const uint8_t n = PeakNum();
  if (!NearFieldMode() || n == 0) {
    s_ucScFilterDropCnt = 0;
    return;
  }
  if (!FrameValid()) return;
  for (uint8_t k = 0; k < n; ++k) {
    const uint8_t tx = PeakTx(k), rx = PeakRx(k);
    if (ScTx1(tx) < TxSupport() && LineValue(g_ssScWaterTxNoise, tx, TxNum()) < TxSupport() &&
        AppSearchLRThr(tx, rx, 0) != 0) {
      DropFrame(LUMA_DROP_SC_TX);
      break;
    }
    if (ScRx1(rx) < RxSupport() && LineValue(g_ssScWaterRxNoise, rx, RxNum()) < RxSupport() &&
        AppSearchLRThr(tx, rx, 1) != 0) {
      DropFrame(LUMA_DROP_SC_RX);
      break;
    }
  }
  TwoFingerChecks();
  LimitDropRun(s_ucScFilterDropCnt);
}

void AppNFGhostCheck(void) {
  if (!NearFieldMode()) return;
  if (g_stTouchData.ucLastPointNum != 0) {
    s_ucNfGhostCnt = 0;
    return;
  }
  const uint8_t n = PeakNum();
  for (uint8_t k = 0; k < n; ++k) {
    if (AppScTxDataIsExist(1) != 0 && ScTx1(PeakTx(k)) < TxSupport() && ScRx1(PeakRx(k)) < RxSupport()) {
      ++s_ucNfGhostCnt;
      break;
    }
  }
  // Only the first frame of a touch that starts from nothing without self support is
  // dropped; the count then runs on until a point is reported.
  if (s_ucNfGhostCnt != 0) {
    if (s_ucNfGhostCnt == 1) DropFrame(0);
    ++s_ucNfGhostCnt;
  }
}

void AppPeakFilterByMcTxDiff(void) {
  if (TxNum() < 3) return;
  for (int t = 1; t <= TxNum() - 2; ++t) {
    const int d = TxRowMax(t);
    if (d != 0 && ScTx1(t - 1) > 200 && ScTx1(t) > 200 && ScTx1(t + 1) > 200 && d < (TxRowMax(t - 1) >> 1) &&
        d < (TxRowMax(t + 1) >> 1))
      DropFrame(LUMA_DROP_MC_TX_DIFF);
  }
}

}  // extern "C"
