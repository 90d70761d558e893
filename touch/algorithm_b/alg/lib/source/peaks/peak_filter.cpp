// The peak filter chain: after the peak search it runs the self-line noise filters, drops
// frames judged as noise (decode noise, near-field noise, column stripes, missing self
// support) and removes the peaks that are not fingers (water drops, merged fragments, weak
// or isolated peaks, camera-hole artefacts and ghosts of an ungrounded hand). A dropped
// frame only loses its valid bit; the flow then reports nothing for it.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "luma_debug.h"
#include "luma_env.h"
#include "luma_noise.h"
#include "luma_peak_filter.h"
#include "luma_peaks.h"
#include "luma_water_proof.h"

using namespace luma_peak;

extern "C" {
int16_t g_ssMcDiffLast[LUMA_MAX_NODES];
uint8_t g_stSeriousFloatingMergeInfo[8];
uint8_t g_bIsPeakInSameRowFlag;
uint8_t s_ucCdmaDecodeState;
uint8_t s_aucColStripeDropCnt[40];
}

namespace luma_peak {

void DropFrame(uint16_t why) {
  SetFrameValid(false);
  g_usFrameDropPos = static_cast<uint16_t>(g_usFrameDropPos | why);
}

bool NearFieldMode() { return g_stSysParam.ucChargeState != 0 && g_usLikeNFNoiseFrame != 0; }

int16_t ScRx1(int rx) {
  if (rx < 0 || rx >= RxNum() || rx >= LUMA_SC_LINE_LEN) return 0;
  return g_stFrmData.assScDiff[1][rx];
}

int16_t ScTx1(int tx) {
  if (tx < 0 || tx >= TxNum() || RxNum() + tx >= LUMA_SC_LINE_LEN) return 0;
  return g_stFrmData.assScDiff[1][RxNum() + tx];
}

uint16_t ClassHold(int cls) {
  uint16_t frames;
  std::memcpy(&frames, &g_stSeriousFloatingMergeInfo[cls == 1 ? 4 : 6], sizeof(frames));
  return frames;
}

uint8_t ThumbFlag() { return stTruMbRx[6]; }

Spread PeakSpread() {
  const uint8_t n = PeakNum();
  if (n == 0) return {0, 0};
  int tx_lo = 255, tx_hi = 0, rx_lo = 255, rx_hi = 0;
  for (uint8_t k = 0; k < n; ++k) {
    tx_lo = std::min<int>(tx_lo, PeakTx(k));
    tx_hi = std::max<int>(tx_hi, PeakTx(k));
    rx_lo = std::min<int>(rx_lo, PeakRx(k));
    rx_hi = std::max<int>(rx_hi, PeakRx(k));
  }
  return {tx_hi - tx_lo, rx_hi - rx_lo};
}

}  // namespace luma_peak

namespace {

int16_t Diff(int tx, int rx) {
  if (tx < 0 || rx < 0 || tx > 255 || rx > 255) return 0;
  return AppMcGetDiff(static_cast<uint8_t>(tx), static_cast<uint8_t>(rx));
}

bool OnEdge(int tx, int rx) { return tx == 0 || tx == TxNum() - 1 || rx == 0 || rx == RxNum() - 1; }

void SetClassHold(int cls, uint16_t frames) {
  std::memcpy(&g_stSeriousFloatingMergeInfo[cls == 1 ? 4 : 6], &frames, sizeof(frames));
}

// The counters a column builds while the stripe test walks down it.
struct ColumnScan {
  int flips = 0;
  int lone = 0;
  int pair_left = 0;
  int pair_right = 0;
  int neg = 0;
};

ColumnScan ScanColumn(int c) {
  ColumnScan s;
  for (int t = 0; t < TxNum(); ++t) {
    const int v = Diff(t, c);
    if (v < -100) ++s.neg;
    bool flip = false;
    if (t > 0) {
      const int above = Diff(t - 1, c);
      flip = (above < -100 && v > 100) || (above > 100 && v < -100);
    }
    if (flip) ++s.flips;
    if (!flip && std::abs(v) <= 100) continue;
    // A node counts as quiet beside v when it stays within a band around zero that widens
    // by an eighth of v.
    const int upper = v >= 8 ? 80 + (v >> 3) : 80;
    const int lower = v < 0 ? (v >> 3) - 80 : -80;
    auto inside = [&](int x) { return lower < x && x < upper; };
    const int left = Diff(t, c - 1);
    if (inside(left)) {
      if (inside(Diff(t, c + 1))) ++s.lone;
      else if (c < RxNum() - 2 && inside(Diff(t, c + 2))) ++s.pair_right;
    } else if (c > 1 && inside(Diff(t, c + 1)) && inside(Diff(t, c - 2)) && std::abs(left) > 100) {
      ++s.pair_left;
    }
  }
  return s;
}

bool IsStripe(const ColumnScan &s) {
  return s.flips + s.lone > 10 || (s.lone >= 5 && s.flips != 0 && s.flips + 3 > s.neg) ||
         s.flips + s.pair_left > 10 || s.flips + s.pair_right > 10;
}

// A water count peak: a peak whose neighbours are nearly all weak.
bool IsolatedPeak(uint8_t k) {
  const int tx = PeakTx(k), rx = PeakRx(k);
  const int v = AppMcPeakGetDiff(k);
  const int weak = AppMcGetRoundSmallCnt(PeakTx(k), PeakRx(k));
  if (OnEdge(tx, rx)) return weak >= 3;
  if (weak == 4) return true;
  const int32_t sum = AppMcGetPeakAreaSum(k, 1);
  return weak == 3 && static_cast<int16_t>(sum - v) < v;
}

void WaterCount() {
  if (g_bPalmFlag != 0 || g_ucFwAdcOverLoadFlag != 0 || AppIsGameMode() != 0 || g_uCTempDriftFlag == 1) {
    g_ucMcWaterCnt = 0;
    return;
  }
  const uint8_t n = PeakNum();
  const int half_limit = g_stTdParam.ausWords20[3] / 2;
  for (uint8_t k = 0; k < n; ++k) {
    if (!IsolatedPeak(k)) continue;
    if (ScRx1(PeakRx(k)) < half_limit && g_stPeakData.ucMcNegPeakNum != 0 && g_stPeakData.ucScRxPosPeakNum < 2 &&
        g_ucMcWaterCnt < 250)
      ++g_ucMcWaterCnt;
  }
  if (n == 0 && g_stPeakData.ucMcNegPeakNum == 0 && g_ucMcWaterCnt != 0) --g_ucMcWaterCnt;
}

void RelativelyWeakPeaks() {
  const uint8_t n = PeakNum();
  if (n < 2 || n == g_stTouchData.ucLastPointNum) return;
  bool removed = false;
  for (uint8_t i = 0; i < n; ++i) {
    const int ti = PeakTx(i), ri = PeakRx(i);
    const int vi = AppMcPeakGetDiff(i);
    int m = vi;
    bool near = false;
    for (uint8_t j = 0; j < n; ++j) {
      if (j == i) continue;
      const int tj = PeakTx(j);
      if (std::abs(tj - ti) <= 3) m = std::max<int>(m, AppMcPeakGetDiff(j));
      if (std::abs(PeakRx(j) - ri) < 3 && tj != 0 && tj != TxNum() - 1) near = true;
    }
    // A touch on the first or last drive line reads weaker than its neighbour inside.
    const bool first_or_last = ti == 0 || ti == TxNum() - 1;
    if (first_or_last && ri != 0 && ri < RxNum() - 1 && near) continue;
    if (vi < m / 3) {
      AppMcSetPeakValidity(i, 0);
      removed = true;
    }
  }
  if (removed) AppGetValidPeak();
}

void IsolatedPeaks() {
  const uint8_t n = PeakNum();
  const uint8_t last = g_stTouchData.ucLastPointNum;
  if (last == 0 || last >= n || g_stPowerInfo[LUMA_PWR_MODE] != 2) return;
  bool removed = false;
  for (uint8_t k = 0; k < n; ++k) {
    const uint8_t weak = AppMcGetRoundSmallCnt(PeakTx(k), PeakRx(k));
    if (weak >= (OnEdge(PeakTx(k), PeakRx(k)) ? 3 : 4)) {
      AppMcSetPeakValidity(k, 0);
      removed = true;
    }
  }
  if (removed) AppGetValidPeak();
}

}  // namespace

extern "C" {

void AppFilterCdmaDecodeFrame(void) {
  const uint8_t n = g_stPeakData.ucMcPosPeakNum;
  const uint8_t last = g_stPeakData.ucLastOutPeakNum;
  if (n == 0 && last == 0) {
    s_ucCdmaDecodeState = 0;
    return;
  }
  // A touch that shows up together with a deep negative node and a weak self signal is
  // decode noise more often than a finger: its first frame is not reported.
  if (s_ucCdmaDecodeState == 0 && last == 0 && n != 0 && g_stPeakData.ssMcMinDiff < -150 &&
      (g_stPeakData.assScRxMax[1] < 80 || g_stPeakData.assScTxMax[1] < 80)) {
    s_ucCdmaDecodeState = 1;
    DropFrame(0);
  }
}

uint8_t AppMcColStripeFilter(void) {
  const uint8_t n = PeakNum();
  if (n == 0) {
    std::memset(s_aucColStripeDropCnt, 0, sizeof(s_aucColStripeDropCnt));
    return 0;
  }
  bool scanned[sizeof(s_aucColStripeDropCnt)] = {};
  for (uint8_t k = 0; k < n; ++k) {
    const int rx = PeakRx(k);
    // A peak in column 0 has no inner column on its left to look at.
    if (rx == 0) continue;
    for (int c = rx - 1; c <= rx + 1; ++c) {
      if (c == 0 || c >= RxNum() - 1 || c >= static_cast<int>(sizeof(scanned)) || scanned[c]) continue;
      scanned[c] = true;
      if (!IsStripe(ScanColumn(c))) continue;
      if (s_aucColStripeDropCnt[c] < 3) {
        ++s_aucColStripeDropCnt[c];
        DropFrame(LUMA_DROP_COL_STRIPE);
        return 1;
      }
    }
  }
  std::memset(s_aucColStripeDropCnt, 0, sizeof(s_aucColStripeDropCnt));
  return 0;
}

void AppSmallWaterFilter(void) {
  const LumaPeakData &pd = g_stPeakData;
  if (AppIsGameMode() != 0 || g_ucLastOutputPtCnt != 1 || pd.ucMcPosPeakNum != 2 || pd.ucLastOutPeakNum != 1 ||
      pd.ssMcMaxDiff <= 700)
    return;
  const int half = static_cast<uint16_t>(pd.ssMcMaxDiff) / 2;
  bool removed = false;
  for (uint8_t k = 0; k < 2; ++k) {
    const int tx = PeakTx(k), rx = PeakRx(k);
    if (OnEdge(tx, rx)) break;  // peak 1 is looked at only after an inner peak 0
    if (AppMcIfMaxPeak(k) != 0) continue;
    if (AppMcPeakGetDiff(k) > half) continue;
    int weak = 0;
    weak += Diff(tx - 1, rx) < 60;
    weak += Diff(tx + 1, rx) < 60;
    weak += Diff(tx, rx + 1) < 60;
    weak += Diff(tx, rx - 1) < 60;
    if (weak >= 3 && std::abs(tx - pd.ucMcMaxTx) < 3 && std::abs(rx - pd.ucMcMaxRx) < 3) {
      AppMcSetPeakValidity(k, 0);
      removed = true;
    }
  }
  if (removed) AppGetValidPeak();
}

void AppFilterPeakByCdmaDecode(void) {
  const uint8_t n = PeakNum();
  if (s_ucCdmaDecodeState != 1 || n < 2) return;
  s_ucCdmaDecodeState = 2;
  const int limit = std::max(500, g_stPeakData.ssMcMaxDiff >> 1);
  for (uint8_t i = 0; i < n; ++i) {
    if (AppMcPeakGetDiff(i) >= limit) continue;
    for (uint8_t j = 0; j < n; ++j) {
      if (j != i && std::abs(PeakRx(j) - PeakRx(i)) < 2) {
        AppMcSetPeakValidity(i, 0);
        break;
      }
    }
  }
  AppGetValidPeak();
}

void IsCoaxialJudgeByMergePeak(void) {
  uint8_t *info = g_stSeriousFloatingMergeInfo;
  if (PeakNum() < 2) {
    info[0] = 0;
    info[1] = 0;
    SetClassHold(1, 0);
    SetClassHold(2, 0);
    return;
  }
  const Spread s = PeakSpread();
  if ((s.tx >= 7 && s.rx <= 3) || s.tx > 2 * s.rx) {
    info[1] = 2;
    SetClassHold(1, 0);
    SetClassHold(2, 100);
  } else if ((s.tx <= 3 && s.rx >= 7) || s.rx > 2 * s.tx) {
    info[1] = 1;
    SetClassHold(1, 100);
    SetClassHold(2, 0);
  } else {
    info[1] = 0;
    for (int cls = 1; cls <= 2; ++cls) {
      if (ClassHold(cls) != 0) SetClassHold(cls, static_cast<uint16_t>(ClassHold(cls) - 1));
    }
  }
}

void AppCameraPeakValidCheck(void) {
  if (AppScHighNoise() != 0) return;
  const int thr = g_stTdParam.usMcThr;
  const int limit = thr < 180 ? 90 : std::min(thr / 2, 200);
  const int neg = g_stTdParam.ssMcNegThr;
  const uint8_t n = PeakNum();
  // The camera hole sits beside drive line 8 on the first two sense lines.
  for (uint8_t k = 0; k < n; ++k) {
    const int rx = PeakRx(k);
    if (PeakTx(k) != 8 || rx > 1) continue;
    if (Diff(7, rx) < limit && Diff(9, rx) < limit && (ScRx1(rx) < neg || ScTx1(8) < neg))
      AppMcSetPeakValidity(k, 0);
  }
}

void AppFloatingMoreFingerFilter(void) {
  const LumaPeakData &pd = g_stPeakData;
  const uint8_t n = PeakNum();
  if (n < 3 || pd.ucLastOutPeakNum == 0 || pd.ucLastOutPeakNum == n || pd.ucMcNegPeakNum == 0) return;
  IsPeakInSameRowCheck();
  const int self_thr = static_cast<int16_t>(g_stTdParam.usScThr);
  const int limit = std::max(self_thr, pd.ssMcMaxDiff >> 1);
  const int min_len = AppIsGameMode() != 0 ? 5 : 4;
  auto on_plateau = [](int v) { return v >= 100 && v <= 400; };
  for (uint8_t k = 0; k < n; ++k) {
    const int tx = PeakTx(k), rx = PeakRx(k);
    const int v = AppMcPeakGetDiff(k);
    if (v > 400) continue;
    // The plateau: the run of middling values along the peak's row that an ungrounded
    // hand spreads around a ghost.
    // Columns [first, last]: the walk to the left starts at the peak itself, the walk to the
    // right beside it, so a peak off the plateau can still have one on its right.
    int first = rx + 1, last = rx;
    for (int c = rx; c >= 0 && on_plateau(Diff(tx, c)); --c) first = c;
    for (int c = rx + 1; c < RxNum() && on_plateau(Diff(tx, c)); ++c) last = c;
    int count = 0, floor = 32767;
    for (int c = first; c <= last; ++c) {
      ++count;
      floor = std::min<int>(floor, Diff(tx, c));
    }
    const int height = on_plateau(v) ? v - floor : v;
    int hi = -32768, lo = 32767;
    for (int c = 0; c < RxNum(); ++c) {
      if (c >= first && c <= last) continue;
      hi = std::max<int>(hi, Diff(tx, c));
      lo = std::min<int>(lo, Diff(tx, c));
    }
    if (height < limit && count >= min_len && (hi > self_thr || lo < -self_thr)) AppMcSetPeakValidity(k, 0);
  }
  AppGetValidPeak();
}

void AppPeakFilter(void) {
  LumaPeakData &pd = g_stPeakData;
  g_usFrameDropPos = 0;
  AppScDiffMinMax();
  AppScNoiseFilter(1, 0);
  AppScNoiseFilter(1, 1);
  AppFastReadPeakNum(0);
  AppFilterCdmaDecodeFrame();
  AppFastReadPeakNum(1);
  AppMayBeNfNoiseFilterNew();
  const size_t nodes = std::min<size_t>(static_cast<size_t>(TxNum()) * RxNum(), LUMA_MAX_NODES);
  if (g_stFrmData.pssMcDiff != nullptr) std::memcpy(g_ssMcDiffLast, g_stFrmData.pssMcDiff, nodes * sizeof(int16_t));
  if (!FrameValid()) return;
  AppMcColStripeFilter();
  if (!FrameValid()) return;
  AppWaterProofHandle();
  AppGetValidPeak();
  AppFastReadPeakNum(8);
  AppMcPeakMergeProcess();
  AppGetValidPeak();
  AppFastReadPeakNum(9);
  AppSmallWaterFilter();
  AppFastReadPeakNum(10);
  AppPeakFilterBySc();
  if (!FrameValid()) return;
  g_usDbgCurFrmthumInRx = ThumbFlag();
  g_usDbgCurFrmMcPosAreaChNumLast = pd.usPeakWord1226;
  g_usDbgCurFrmMcPosPeakNumLast = pd.ucPeakByte1228;
  pd.usPeakWord1226 = pd.usMcOverCnt;
  pd.ucPeakByte1228 = pd.ucMcPosPeakNum;
  WetFingerFilterAfterPeakMerge();
  AppFastReadPeakNum(11);
  AppFilterPeakByCdmaDecode();
  AppFastReadPeakNum(12);
  IsCoaxialJudgeByMergePeak();
  WaterCount();
  AppPalmProcess();
  AppFastReadPeakNum(13);
  RelativelyWeakPeaks();
  AppFastReadPeakNum(14);
  AppCameraPeakValidCheck();
  AppFastReadPeakNum(15);
  AppGetValidPeak();
  AppFastReadPeakNum(16);
  AppMcPeakInOrder();
  AppFastReadPeakNum(17);
  AppPeakInSameColCheck();
  IsolatedPeaks();
  AppFastReadPeakNum(18);
  AppFastReadPeakNum(19);
  AppFloatingMoreFingerFilter();
  AppFastReadPeakNum(20);
}

}  // extern "C"
