// Water-proof classification of the mutual peaks. A water drop makes a peak that is sharp,
// ringed by negative nodes and without self signal; a finger's peak is broad and its self
// lines rise with it. Each rule below weighs those signs; peaks judged to be water lose
// their validity bit and are remembered as ghosts for one frame, so that a drop that stays
// put is judged more strictly on the next.
#include "luma_water_proof.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "luma_area.h"
#include "luma_calc.h"
#include "luma_debug.h"
#include "luma_env.h"
#include "luma_front.h"
#include "luma_noise.h"
#include "luma_peak_filter.h"
#include "luma_peaks.h"

using namespace luma_peak;

extern "C" {
LumaPeakVerdictList g_stPeakFingerInfo;
LumaPeakVerdictList g_stPeakNearNegInfo;
LumaPeakVerdictList g_stGhostNow;
LumaPeakVerdictList g_stGhostHistory;
LumaPeakVerdictList g_stLastPeakList;
uint16_t g_usMcPeakWaterFrm;
uint8_t bWetFingerCheckSkip;
uint8_t g_ucMcDynThrHold;
uint8_t g_PeakRatioMax;
uint8_t g_aucSingleFingerExtent[10][4];
uint8_t g_aucSingleFingerRatio[10];
uint8_t g_ucWetLastPeakNum;
uint16_t usPosNodeCnt;
uint16_t _usLastPosNodeCnt;
}

namespace {

constexpr uint8_t kNotFinger = 0;
constexpr uint8_t kCertainFinger = 2;
constexpr int16_t kStrongPeak = 351;
// The peak-sum handling in water compares a peak's shoulders with this area reference.
constexpr int32_t kWaterAreaRef = 1200;
constexpr uint8_t kWaterPeakFrames = 3;
constexpr uint8_t kDynThrFrames = 10;

// Neighbour triples of the finger test as (dtx, drx): a finger's peak has at least one
// side where three cells around it stay high.
constexpr int8_t s_PeakChkdTx[8][3] = {{-1, 0, -1}, {0, 1, 1}, {1, 1, 0}, {-1, -1, 0},
                                       {0, -1, 0},  {0, 1, 0}, {0, -1, 1}, {0, -1, 1}};
constexpr int8_t s_PeakChkdRx[8][3] = {{-1, -1, 0}, {-1, -1, 0}, {0, 1, 1}, {0, 1, 1},
                                       {-1, 0, 1},  {-1, 0, 1}, {-1, 0, 0}, {1, 0, 0}};

bool Inside(int tx, int rx) { return tx >= 0 && rx >= 0 && tx < TxNum() && rx < RxNum(); }

int16_t Diff(int tx, int rx) {
  return Inside(tx, rx) ? g_stFrmData.pssMcDiff[tx * RxNum() + rx] : static_cast<int16_t>(0);
}

// The neighbour (tx + dt, rx + dr) of a peak; beyond the matrix edge its mirror image about
// the peak stands in for it.
int16_t MirroredDiff(int tx, int rx, int dt, int dr) {
  int t = tx + dt, r = rx + dr;
  if (t < 0 || t >= TxNum()) t = tx - dt;
  if (r < 0 || r >= RxNum()) r = rx - dr;
  return Diff(t, r);
}

// Sum of the diffs below `level` among the eight neighbours, mirrored at the edges.
int32_t RingSumBelow(int tx, int rx, int level) {
  int32_t sum = 0;
  for (int dt = -1; dt <= 1; ++dt) {
    for (int dr = -1; dr <= 1; ++dr) {
      if (dt == 0 && dr == 0) continue;
      const int16_t v = MirroredDiff(tx, rx, dt, dr);
      if (v < level) sum += v;
    }
  }
  return sum;
}

const int16_t *ScRxLine(int set) { return g_stFrmData.assScDiff[set]; }
const int16_t *ScTxLine(int set) { return g_stFrmData.assScDiff[set] + RxNum(); }
int16_t Sc0Rx(int rx) { return rx >= 0 && rx < RxNum() ? ScRxLine(0)[rx] : static_cast<int16_t>(0); }

// The largest of a line's values at index - 1, index and index + 1 within the line.
int16_t Near(const int16_t *line, int index, int count) {
  if (count <= 0) return 0;
  return AppWaterChGetNearDiff(line, static_cast<uint8_t>(index), 0, static_cast<uint8_t>(count - 1));
}
int16_t NearSc1Rx(int rx) { return Near(ScRxLine(1), rx, RxNum()); }
int16_t NearSc1Tx(int tx) { return Near(ScTxLine(1), tx, TxNum()); }
int16_t NearRxProj(int rx) { return Near(g_stFrmData.assMcRxProj, rx, RxNum()); }
int16_t NearTxProj(int tx) { return Near(g_stFrmData.assMcTxProj, tx, TxNum()); }
int16_t RxProj(int rx) { return rx >= 0 && rx < RxNum() ? g_stFrmData.assMcRxProj[rx] : static_cast<int16_t>(0); }
int16_t TxProj(int tx) { return tx >= 0 && tx < TxNum() ? g_stFrmData.assMcTxProj[tx] : static_cast<int16_t>(0); }

int16_t ScTxThr() { return static_cast<int16_t>(g_stTdParam.ausWords20[2]); }
int16_t ScRxThr() { return static_cast<int16_t>(g_stTdParam.ausWords20[3]); }
int16_t MaxDiff() { return g_stPeakData.ssMcMaxDiff; }

// The camera hole's block, where water tests read the hole itself: never judged here.
bool InCameraBlock(int tx, int rx) { return tx >= 4 && tx <= 12 && rx <= 3; }

bool OnBorder(int tx, int rx) { return tx == 0 || rx == 0 || tx == TxNum() - 1 || rx == RxNum() - 1; }

void Append(LumaPeakVerdictList &list, uint8_t tx, uint8_t rx, uint8_t verdict) {
  if (list.ucNum >= LUMA_WATER_LIST_MAX) return;
  list.ast[list.ucNum++] = LumaPeakVerdict{tx, rx, verdict};
}

uint8_t Lookup(const LumaPeakVerdictList &list, uint8_t tx, uint8_t rx) {
  uint8_t verdict = LUMA_VERDICT_NONE;
  for (uint8_t i = 0; i < std::min<uint8_t>(list.ucNum, LUMA_WATER_LIST_MAX); ++i) {
    if (list.ast[i].tx == tx && list.ast[i].rx == rx) verdict = list.ast[i].verdict;
  }
  return verdict;
}

void Clear(LumaPeakVerdictList &list) {
  std::memset(list.ast, 0xFF, sizeof(list.ast));
  list.ucNum = 0;
}

bool WithinOne(const LumaPeakVerdictList &list, int tx, int rx) {
  for (uint8_t i = 0; i < std::min<uint8_t>(list.ucNum, LUMA_WATER_LIST_MAX); ++i) {
    if (std::abs(list.ast[i].tx - tx) <= 1 && std::abs(list.ast[i].rx - rx) <= 1) return true;
  }
  return false;
}

void Invalidate(uint8_t k, bool ghost) {
  AppMcSetPeakValidity(k, 0);
  if (ghost) AppAddPeakToGhostNow(PeakTx(k), PeakRx(k));
}

// The smallest diff met scanning from (t0, r0) by (dt, dr) for `steps` lines across a band
// of three lines; the scan stops after the second cell that reads near zero. 0 when nothing
// negative is met: only dips beside the peak count.
int32_t BandMinimum(int t0, int r0, int dt, int dr, int steps) {
  int32_t least = 0;
  int quiet = 0;
  for (int s = 0; s < steps; ++s) {
    const int t = t0 + dt * s, r = r0 + dr * s;
    for (int b = -1; b <= 1; ++b) {
      const int ct = dt != 0 ? t : t + b;
      const int cr = dt != 0 ? r + b : r;
      if (!Inside(ct, cr)) continue;
      const int16_t v = Diff(ct, cr);
      least = std::min<int32_t>(least, v);
      if (std::abs(v) < 80 && ++quiet >= 2) return least;
    }
  }
  return least;
}

// Moves the histories of the wet-finger filter back to nothing remembered.
void ClearSingleFingerHistory() {
  std::memset(g_aucSingleFingerExtent, 0xFF, sizeof(g_aucSingleFingerExtent));
  std::memset(g_aucSingleFingerRatio, 0, sizeof(g_aucSingleFingerRatio));
}

uint8_t MaxPeakIndex(uint8_t n) {
  for (uint8_t k = 0; k < n; ++k) {
    if (AppMcIfMaxPeak(k) != 0) return k;
  }
  return 255;
}

uint8_t RatioByte(uint8_t k) { return static_cast<uint8_t>(g_stPeakData.ausMcPeakAttr[k] >> 8); }

}  // namespace

extern "C" {

// ---- Lists and caches ----------------------------------------------------------------------

void AppAddPeakToGhostNow(uint8_t tx, uint8_t rx) { Append(g_stGhostNow, tx, rx, 0); }
void AppAddPeakFinger(uint8_t tx, uint8_t rx, uint8_t verdict) { Append(g_stPeakFingerInfo, tx, rx, verdict); }
uint8_t AppGetPeakFingerInfo(uint8_t tx, uint8_t rx) { return Lookup(g_stPeakFingerInfo, tx, rx); }
void AppAddPeakNearNeg(uint8_t tx, uint8_t rx, uint8_t verdict) { Append(g_stPeakNearNegInfo, tx, rx, verdict); }
uint8_t AppGetPeakNearNeg(uint8_t tx, uint8_t rx) { return Lookup(g_stPeakNearNegInfo, tx, rx); }
void AppClearPeakFingerInfo(void) { Clear(g_stPeakFingerInfo); }
void AppClearPeakNearNegInfo(void) { Clear(g_stPeakNearNegInfo); }

void AppWaterProofInit(void) {
  Clear(g_stPeakFingerInfo);
  Clear(g_stPeakNearNegInfo);
  Clear(g_stGhostNow);
  Clear(g_stGhostHistory);
  Clear(g_stLastPeakList);
  g_usMcPeakWaterFrm = 0;
  bWetFingerCheckSkip = 0;
  g_ucMcDynThrHold = 0;
  g_PeakRatioMax = 0;
  ClearSingleFingerHistory();
  g_ucWetLastPeakNum = 0;
  usPosNodeCnt = 0;
  _usLastPosNodeCnt = 0;
}

// ---- Per-peak tests -------------------------------------------------------------------------

uint8_t AppPeakSameTxRxBigNegDiff(uint8_t tx, uint8_t rx) {
  if (!Inside(tx, rx)) return 0;
  const uint8_t cached = AppGetPeakNearNeg(tx, rx);
  if (cached != LUMA_VERDICT_NONE) return cached;
  const int32_t p = Diff(tx, rx);
  const int32_t down = std::abs(BandMinimum(tx, rx, 1, 0, 6));
  const int32_t up = std::abs(BandMinimum(tx - 1, rx, -1, 0, 5));
  const int32_t right = std::abs(BandMinimum(tx, rx + 1, 0, 1, 8));
  const int32_t left = std::abs(BandMinimum(tx, rx - 1, 0, -1, 8));
  const int32_t h = std::max(left, right);
  const int32_t v = std::max(up, down);
  uint8_t verdict = 0;
  if ((left > p && right > p) || (up > p && down > p)) {
    verdict = 1;
  } else if (p < 5 * h / 2 && p < 5 * v / 2 && p < 4 * (h + v) / 5) {
    verdict = 1;
  } else if ((p / 2 > h && p / 2 > v) || ((p / 4 > h || p / 4 > v) && p > 7 * v / 8)) {
    verdict = 2;
  }
  AppAddPeakNearNeg(tx, rx, verdict);
  return verdict;
}

uint8_t AppPeakMcIsFingerTouch(uint8_t tx, uint8_t rx) {
  if (!Inside(tx, rx)) return kNotFinger;
  const uint8_t cached = AppGetPeakFingerInfo(tx, rx);
  if (cached != LUMA_VERDICT_NONE) return cached;
  const int32_t p = Diff(tx, rx);
  int32_t positive = 0, negative = 0;
  for (int t = tx - 1; t <= tx + 1; ++t) {
    for (int r = rx - 1; r <= rx + 1; ++r) {
      if (!Inside(t, r)) continue;
      const int16_t v = Diff(t, r);
      if (v > 0) positive += v;
      if (v < -50) negative += v;
    }
  }
  const uint8_t big_neg = AppPeakSameTxRxBigNegDiff(tx, rx);
  uint8_t verdict = kNotFinger;
  const bool ringed = std::abs(negative) * 4 > positive || big_neg == 1;
  if (!(ringed && (NearSc1Rx(rx) < 120 || NearSc1Tx(tx) < 80))) {
    const int32_t level = std::max<int32_t>(p / 3, 120);
    for (int i = 0; i < 8 && verdict == kNotFinger; ++i) {
      bool high = true;
      for (int j = 0; j < 3 && high; ++j) {
        const int t = tx + s_PeakChkdTx[i][j], r = rx + s_PeakChkdRx[i][j];
        high = Inside(t, r) && Diff(t, r) > level;
      }
      if (high) verdict = big_neg == 2 ? kCertainFinger : 1;
    }
  }
  AppAddPeakFinger(tx, rx, verdict);
  return verdict;
}

uint8_t AppPeakIsMutiTouchFinger(uint8_t tx, uint8_t rx) {
  const bool largest = tx == g_stPeakData.ucMcMaxTx && rx == g_stPeakData.ucMcMaxRx;
  return g_stTouchData.ucLastPointNum >= 2 && AppPeakIsInsideWater(tx, rx) == 0 &&
                 (largest || Diff(tx, rx) >= kStrongPeak) && AppPeakSameTxRxBigNegDiff(tx, rx) == 2
             ? 1
             : 0;
}

void AppMcGetPeakRoundSmallCnt(uint8_t tx, uint8_t rx, int16_t level, uint8_t *vertical, uint8_t *horizontal) {
  uint8_t v = 0, h = 0;
  if (Inside(tx - 1, rx) && Diff(tx - 1, rx) < level) ++v;
  if (Inside(tx + 1, rx) && Diff(tx + 1, rx) < level) ++v;
  if (Inside(tx, rx - 1) && Diff(tx, rx - 1) < level) ++h;
  if (Inside(tx, rx + 1) && Diff(tx, rx + 1) < level) ++h;
  if (vertical != nullptr) *vertical = v;
  if (horizontal != nullptr) *horizontal = h;
}

uint8_t AppPeakIsInGhostHistory(uint8_t tx, uint8_t rx) {
  // A peak that was a peak last frame too is a touch that stays, not a returning ghost.
  if (WithinOne(g_stLastPeakList, tx, rx)) return 0;
  return WithinOne(g_stGhostHistory, tx, rx) ? 1 : 0;
}

uint8_t AppGetSum3x3MaxPeak(uint8_t count) {
  uint8_t best = 255;
  int32_t most = 0;
  for (uint8_t k = 0; k < std::min<uint8_t>(count, LUMA_MAX_PEAKS); ++k) {
    const int32_t sum = AppMcGetPeakAreaSum(k, 1);
    if (sum > most) {
      most = sum;
      best = k;
    }
  }
  return best;
}

uint8_t AppNormalTouchCheck(void) { return AppIsWaterExist() == 0 ? 1 : 0; }

int16_t AppGetMatchScDiff(const int16_t *line, uint8_t index, uint8_t count, int16_t threshold) {
  if (count == RxNum() && !AppScRxDataIsExist(1)) return 0;
  if (count == TxNum() && !AppScTxDataIsExist(1)) return 0;
  // An index past the line has no self value of its own (this system's choice: 0).
  if (line == nullptr || index >= count) return 0;
  int16_t v = line[index];
  if (index > 0 && v < threshold) v = std::max(v, line[index - 1]);
  if (index + 1 < count && v < threshold) v = std::max(v, line[index + 1]);
  return v;
}

int32_t AppGetPeakAroundMinusDiff(uint8_t tx, uint8_t rx, int16_t level) { return RingSumBelow(tx, rx, level); }

uint8_t AppScConnectCheck(void) {
  const uint8_t n = PeakNum();
  const uint8_t m = MaxPeakIndex(n);
  if (m != 255) {
    for (uint8_t k = 0; k < n; ++k) {
      if (k == m) continue;
      const int t0 = std::min(PeakTx(m), PeakTx(k)), t1 = std::max(PeakTx(m), PeakTx(k));
      const int r0 = std::min(PeakRx(m), PeakRx(k)), r1 = std::max(PeakRx(m), PeakRx(k));
      // A self line that falls between the two peaks parts them: two touches, not one film.
      for (int t = t0; t < t1; ++t) {
        if (ScTx1(t) < 100) return 0;
      }
      for (int r = r0; r < r1; ++r) {
        if (ScRx1(r) < 100) return 0;
      }
    }
  }
  return g_ucScWaterRxConnectNum >= 2 * g_ucScWaterTxConnectNum && g_ucScWaterTxConnectNum > 1 ? 1 : 0;
}

uint8_t AppSweatFilterEnable(void) {
  const uint8_t n = PeakNum();
  if (n > 3) return 0;
  for (uint8_t k = 0; k < n; ++k) {
    if (OnBorder(PeakTx(k), PeakRx(k))) return 0;
  }
  ApppCalPeakRatio();
  uint8_t most = 0;
  for (uint8_t k = 0; k < n; ++k) most = std::max(most, RatioByte(k));
  g_PeakRatioMax = most;
  uint8_t history = 0;
  for (uint8_t r : g_aucSingleFingerRatio) history = std::max(history, r);
  if (most > 29 || (most > 19 && history >= 35)) return 1;
  if (n != 2 || AppScConnectCheck() == 0) return 0;
  return most > 19 || history >= 30 ? 1 : 0;
}

// ---- Frame rules ----------------------------------------------------------------------------

void AppDetectWaterByMcAbnormalPeak(void) {
  bWetFingerCheckSkip = 0;
  if ((g_stTraceInfo.usTraceFlag & LUMA_TRACE_WATER) != 0) {
    if (g_usMcPeakWaterFrm != 0) --g_usMcPeakWaterFrm;
    return;
  }
  const uint8_t n = PeakNum();
  uint8_t abnormal = 0;
  for (uint8_t k = 0; k < n; ++k) {
    if (AppPeakMcIsFingerTouch(PeakTx(k), PeakRx(k)) == kNotFinger &&
        AppPeakIsMutiTouchFinger(PeakTx(k), PeakRx(k)) == 0)
      ++abnormal;
  }
  if (abnormal >= 3) {
    if (3 * n > 5 * abnormal && (abnormal < 4 || n / 2 > abnormal)) {
      if (g_usMcPeakWaterFrm != 0) --g_usMcPeakWaterFrm;
    } else {
      g_usMcPeakWaterFrm = kWaterPeakFrames;
    }
    return;
  }
  if (g_usMcPeakWaterFrm != 0) --g_usMcPeakWaterFrm;
  if (abnormal <= 1 && n >= 3 && g_stTouchData.ucLastPointNum >= 2) bWetFingerCheckSkip = 1;
}

void AppMcDynamicThrCtrl(void) {
  bool apply = false;
  if (AppCurrentFrmIsWaterSta() != 0 || (AppIsWaterExist() != 0 && MaxDiff() >= 801)) {
    g_ucMcDynThrHold = kDynThrFrames;
    apply = true;
  } else if (AppIsWaterExist() != 0) {
    if (g_ucMcDynThrHold != 0) {
      --g_ucMcDynThrHold;
      apply = g_ucMcDynThrHold != 0;
    }
  } else {
    g_ucMcDynThrHold = 0;
  }
  if (!apply) return;
  const int32_t base = g_stFwConfig.usMcPeakThr;
  const int32_t t = std::min<int32_t>(4 * base, MaxDiff() / 2);
  if (t <= base) return;
  bool removed = false;
  const uint8_t n = PeakNum();
  for (uint8_t k = 0; k < n; ++k) {
    if (AppMcPeakValidityCheck(k) == 0) continue;
    if (AppMcPeakGetDiff(k) < t && AppPeakMcIsFingerTouch(PeakTx(k), PeakRx(k)) != kCertainFinger) {
      Invalidate(k, true);
      removed = true;
    }
  }
  if (removed) AppGetValidPeak();
}

void AppMcWaterReportPtFilter(void) {
  const bool water = AppIsWaterExist() != 0;
  const bool detecting = AppIsWaterDetectingSta() != 0;
  if (!water && !detecting) return;
  const uint8_t n = PeakNum();
  if (n == 0) {
    AppGetValidPeak();
    return;
  }
  const LumaPeakData &pd = g_stPeakData;
  const int32_t lv_rx = std::max<int32_t>(ScRxThr(), g_stFrmData.ssMcRxProjMax / 5);
  const int32_t lv_tx = std::max<int32_t>(ScTxThr(), g_stFrmData.ssMcTxProjMax / 5);
  const bool quiet = pd.assScRxMax[1] <= 199 && pd.assScTxMax[1] <= 199 && ScRxLine(1)[0] < 200 &&
                     ScRxLine(1)[std::max(RxNum() - 1, 0)] < 200;
  const bool neg_dominant = AppCurrentFrmIsFloatingWater() != 0 || std::abs(pd.ssMcMinDiff) > std::abs(pd.ssMcMaxDiff);
  const int scale = quiet ? 2 : 1;
  for (uint8_t k = 0; k < n; ++k) {
    if (AppMcPeakValidityCheck(k) == 0) continue;
    const uint8_t tx = PeakTx(k), rx = PeakRx(k);
    const int32_t d = Diff(tx, rx);
    const uint8_t finger = AppPeakMcIsFingerTouch(tx, rx);
    const bool ghost = AppPeakIsInGhostHistory(tx, rx) != 0;
    int32_t column_min = 0;
    for (int t = 0; t < TxNum(); ++t) column_min = std::min<int32_t>(column_min, Diff(t, rx));
    const bool own_lines = (neg_dominant && std::abs(column_min) > d) || std::abs(column_min) > 3 * d / 2 ||
                           detecting || quiet;
    const int32_t s_rx = own_lines ? ScRx1(rx) : NearSc1Rx(rx);
    const int32_t s_tx = own_lines ? ScTx1(tx) : NearSc1Tx(tx);
    const int32_t p_rx = own_lines ? RxProj(rx) : NearRxProj(rx);
    const int32_t p_tx = own_lines ? TxProj(tx) : NearTxProj(tx);
    const bool rx_low = s_rx < scale * ScRxThr();
    const bool tx_low = s_tx < scale * ScTxThr();
    bool prx_low = p_rx < scale * lv_rx;
    bool ptx_low = p_tx < scale * lv_tx;
    if (AppPeakIsMutiTouchFinger(tx, rx) != 0) {
      if (AppMcIfMaxPeak(k) != 0 || d > 600) continue;
      prx_low = ptx_low = false;
    }
    bool drop;
    if (water) {
      const int32_t level = ghost ? 2 * pd.ssMcMaxDiff / 3 : pd.ssMcMaxDiff / 2;
      drop = (quiet && rx_low && tx_low) ||
             ((rx_low || tx_low) && (prx_low || ptx_low) && ((ghost && finger != 2) || finger == 0 || d < level)) ||
             (AppCurrentFrmIsWaterSta() != 0 && finger != 2 &&
              ((rx_low && tx_low) || (prx_low && ptx_low && (rx_low || tx_low))));
    } else {
      drop = rx_low && tx_low && prx_low && ptx_low;
    }
    if (drop) Invalidate(k, true);
  }
  AppGetValidPeak();
}

void AppPeakSumHandle(void) {
  if (AppIsWaterExist() == 0) return;
  const uint8_t n = PeakNum();
  if (n == 0) {
    AppGetValidPeak();
    return;
  }
  const int32_t rx_thr = ScRxThr();
  const int32_t tx_half = ScTxThr() / 2;
  uint8_t largest = 255;
  uint8_t dropped = 0;
  for (uint8_t k = 0; k < n; ++k) {
    const uint8_t tx = PeakTx(k), rx = PeakRx(k);
    const int32_t d = Diff(tx, rx);
    const int32_t s_rx = AppGetMatchScDiff(ScRxLine(1), rx, static_cast<uint8_t>(RxNum()), static_cast<int16_t>(rx_thr));
    const int32_t s_tx = AppGetMatchScDiff(ScTxLine(1), tx, static_cast<uint8_t>(TxNum()), static_cast<int16_t>(tx_half));
    const int32_t shoulders = AppMcGetPeakAreaSum(k, 1) - d;
    const int32_t level = std::min<int32_t>(kWaterAreaRef, 2 * d);
    const int32_t neg = AppGetPeakAroundMinusDiff(tx, rx, -100);
    const bool self_support = s_rx > rx_thr && s_tx > tx_half;
    // A drop: a narrow peak in a deep negative ring.
    const bool candidate =
        neg <= -301 && -2 * neg > d && shoulders < d && AppPeakMcIsFingerTouch(tx, rx) == kNotFinger;
    bool spared = candidate && self_support && (shoulders > level / 2 || g_uCTempDriftFlag == 1);
    if (AppMcIfMaxPeak(k) != 0) {
      largest = k;
      if (self_support && n == 1) spared = true;
    }
    if (AppPeakIsMutiTouchFinger(tx, rx) != 0) spared = true;
    if (candidate && !spared) {
      AppMcSetPeakValidity(k, 0);
      ++dropped;
    }
  }
  // A touch that was there last frame is not lost whole: its strongest peak stays.
  if (dropped == n && largest != 255 && g_stTouchData.ucLastPointNum >= 1) AppMcSetPeakValidity(largest, 1);
  AppGetValidPeak();
}

void AppWaterProofHandle(void) {
  AppClearPeakFingerInfo();
  AppClearPeakNearNegInfo();
  AppDetectWaterByMcAbnormalPeak();
  if (PeakNum() == 0) Clear(g_stGhostHistory);
  Clear(g_stGhostNow);

  AppMcDynamicThrCtrl();
  AppFastReadPeakNum(2);
  AppMcWaterReportPtFilter();
  AppFastReadPeakNum(3);
  AppPeakSumHandle();
  AppFastReadPeakNum(4);

  if (AppIsGameMode() == 0) {
    const int32_t rx_max = g_stFrmData.ssMcRxProjMax;
    const int32_t tx_max = g_stFrmData.ssMcTxProjMax;
    const int32_t la = rx_max < 1250 ? 250 : std::min<int32_t>(rx_max / 5, 350);
    const int32_t lb = tx_max < 1250 ? 250 : std::min<int32_t>(tx_max / 5, 350);
    const int32_t rx_thr = ScRxThr();
    const int32_t max_diff = MaxDiff();
    const uint8_t n = PeakNum();
    bool neg_self = false;
    bool removed = false;

    // First pass: the shape of every peak that lacks projection or self support.
    for (uint8_t k = 0; k < n; ++k) {
      const uint8_t tx = PeakTx(k), rx = PeakRx(k);
      if (InCameraBlock(tx, rx)) continue;
      if (g_stFrmData.slMcRxProjSum < 300 * static_cast<int32_t>(n) && Sc0Rx(rx) < -150) neg_self = true;
      const int32_t p_rx = NearRxProj(rx), p_tx = NearTxProj(tx), s_rx = NearSc1Rx(rx);
      const bool ghost = AppPeakIsInGhostHistory(tx, rx) != 0;
      if (p_rx >= la && p_tx >= lb && (!ghost || s_rx >= rx_thr)) continue;
      if (AppPeakMcIsFingerTouch(tx, rx) != kNotFinger || bWetFingerCheckSkip != 0) continue;
      uint8_t v = 0, h = 0;
      AppMcGetPeakRoundSmallCnt(tx, rx, static_cast<int16_t>(ghost ? 0 : -20), &v, &h);
      const int32_t neg = RingSumBelow(tx, rx, ghost ? -50 : -100);
      const int32_t d = Diff(tx, rx);
      const bool keep = v != 2 && h != 2 && (neg > -201 || 3 * std::abs(neg) / 2 <= d) && d >= max_diff / 3 &&
                        ((v == 0 && h == 0) || max_diff > 399 || neg > -151 ||
                         AppMcGetPeakAreaSumByTxRx(tx, rx, 1) > 99);
      if (!keep) {
        Invalidate(k, true);
        removed = true;
      }
    }
    AppFastReadPeakNum(5);

    // Second pass: with water around, the surviving peaks are judged by their self lines.
    const bool second = removed || AppIsWaterDetectingSta() != 0 || AppIsWaterExist() != 0 || g_usMcPeakWaterFrm != 0;
    if (second && n != 0) {
      for (uint8_t k = 0; k < n; ++k) {
        if (AppMcPeakValidityCheck(k) == 0) continue;
        const uint8_t tx = PeakTx(k), rx = PeakRx(k);
        if (InCameraBlock(tx, rx)) continue;
        const int32_t d = Diff(tx, rx);
        if (Sc0Rx(rx) <= -151 && neg_self) {
          Invalidate(k, true);
          removed = true;
          continue;
        }
        const int32_t p_rx = NearRxProj(rx), p_tx = NearTxProj(tx), s_rx = NearSc1Rx(rx);
        const bool ghost = AppPeakIsInGhostHistory(tx, rx) != 0;
        if (p_rx >= la && s_rx + p_rx >= rx_thr + la && p_tx >= lb && !(ghost && s_rx < rx_thr) && !neg_self) continue;
        if (AppPeakMcIsFingerTouch(tx, rx) != kNotFinger) continue;
        uint8_t v = 0, h = 0;
        AppMcGetPeakRoundSmallCnt(tx, rx, 10, &v, &h);
        const int32_t neg = RingSumBelow(tx, rx, -1);
        bool drop = v == 2 || h == 2 || (neg < -150 && -2 * neg > d) || d < 2 * max_diff / 5 || Sc0Rx(rx) < -120 ||
                    (ghost && AppPeakSameTxRxBigNegDiff(tx, rx) == 1);
        if (!drop && g_usMcPeakWaterFrm != 0) {
          AppMcGetPeakRoundSmallCnt(tx, rx, static_cast<int16_t>(d / 4), &v, &h);
          if (v + h >= 2) drop = ScRx1(rx) < rx_thr || (ghost && p_rx < la && p_tx < lb);
        }
        if (drop) {
          Invalidate(k, true);
          removed = true;
        }
      }
    }
    if (removed) AppGetValidPeak();
    AppFastReadPeakNum(6);
  }

  g_stGhostHistory = g_stGhostNow;
  Clear(g_stLastPeakList);
  const uint8_t n = PeakNum();
  for (uint8_t k = 0; k < n; ++k) Append(g_stLastPeakList, PeakTx(k), PeakRx(k), 0);
  AppFastReadPeakNum(7);
}

void WetFingerFilterAfterPeakMerge(void) {
  LumaPeakData &pd = g_stPeakData;
  if (g_usLikeNFNoiseFrame != 0 || g_fod_resume_pressed != 0) {
    ClearSingleFingerHistory();
    g_ucWetLastPeakNum = PeakNum();
    return;
  }
  g_PeakRatioMax = 0;
  const int nodes = TxNum() * RxNum();
  usPosNodeCnt = nodes <= LUMA_MAX_NODES ? AppCal_MatrixCount(g_stFrmData.pssMcDiff, 200, 30000) : 0;
  uint8_t n = PeakNum();
  if (g_ucWetLastPeakNum == 1 && n >= 2 && AppSweatFilterEnable() != 0) {
    const uint8_t m = MaxPeakIndex(n);
    const int32_t max_diff = m != 255 ? AppMcPeakGetDiff(m) : pd.ssMcMaxDiff;
    bool removed = false;
    bool last_dropped = false;
    uint8_t visited[LUMA_MAX_NODES];
    for (uint8_t k = 0; k < n && m != 255; ++k) {
      const uint8_t tx = PeakTx(k), rx = PeakRx(k);
      if (k == m || OnBorder(tx, rx)) continue;
      bool inside = false;
      for (const uint8_t *e : g_aucSingleFingerExtent) {
        if (e[0] != 0xFF && tx >= e[0] && tx <= e[1] && rx >= e[2] && rx <= e[3]) inside = true;
      }
      const int32_t d = AppMcPeakGetDiff(k);
      bool drop;
      if (inside) {
        // A piece of the finger that was there alone a moment ago: drop it when it hangs on
        // the main touch, or when it is too small to be a finger of its own.
        const auto thr = static_cast<int16_t>(std::max<int32_t>(d / 3, 250));
        std::memset(visited, 0, sizeof(visited));
        const bool connected = AppSearchConnectedPeaks(g_stFrmData.pssMcDiff, visited, tx, rx, thr, PeakTx(m),
                                                       PeakRx(m), tx, rx, 18) != 0;
        std::memset(visited, 0, sizeof(visited));
        LumaAreaBound bounds{tx, tx, rx, rx};
        const int32_t area = AppCalcConnectedArea(g_stFrmData.pssMcDiff, visited, &bounds, tx, rx, thr, tx, rx, 14);
        drop = (area <= 4 && (AppPeakMcIsFingerTouch(tx, rx) == kNotFinger || 10 * d < 4 * max_diff)) || connected ||
               (n == 2 && g_PeakRatioMax > 40);
      } else {
        drop = (n == 2 && g_PeakRatioMax >= 41) || last_dropped;
      }
      if (drop) {
        AppMcSetPeakValidity(k, 0);
        removed = true;
      }
      last_dropped = drop;
    }
    if (removed) AppGetValidPeak();
  }
  n = PeakNum();
  if (n == 1) {
    std::memmove(&g_aucSingleFingerExtent[1], &g_aucSingleFingerExtent[0], sizeof(g_aucSingleFingerExtent[0]) * 9);
    std::memmove(&g_aucSingleFingerRatio[1], &g_aucSingleFingerRatio[0], 9);
    std::memcpy(g_aucSingleFingerExtent[0], &pd.aucMcPeakRange[1], 4);
    g_aucSingleFingerRatio[0] = 0;
    if (g_ucWetLastPeakNum == 1 && (g_ucScWaterTxConnectNum > 3 || g_ucScWaterRxConnectNum >= 5)) {
      ApppCalPeakRatio();
      g_aucSingleFingerRatio[0] = RatioByte(0);
      g_PeakRatioMax = std::max(g_PeakRatioMax, g_aucSingleFingerRatio[0]);
    }
  } else {
    ClearSingleFingerHistory();
  }
  g_ucWetLastPeakNum = n;
  _usLastPosNodeCnt = usPosNodeCnt;
}

}  // extern "C"
