// Peak search: the local maxima and minima of the mutual diff matrix with the extent of the
// finger around each maximum, the peaks of the self lines, and the self extremes of every
// frequency set. The search only finds and describes candidates; the filters judge them.
#include <algorithm>
#include <cstring>

#include "luma_calc.h"
#include "luma_env.h"
#include "luma_front.h"
#include "luma_peaks.h"
#include "luma_search.h"

extern "C" {
uint8_t g_ucMcPeakSearchMod;
}

namespace {

// A walk along the finger stops at a node this weak, or one that rises this much above the
// node before it (a second finger, not the flank of this one).
constexpr int16_t kWalkFloor = 61;
constexpr int16_t kWalkRise = 30;
// Beyond a node this weak the horizontal walk takes one step more at most.
constexpr int16_t kWalkKeep = 119;
// Self values above this level count as strong.
constexpr int32_t kScStrongLevel = 300;

uint8_t FrameTx() { return g_stFrmInfo.aucCfgCopy[4]; }
uint8_t FrameRx() { return g_stFrmInfo.aucCfgCopy[5]; }
uint8_t ScTx() { return std::min<uint8_t>(g_stFwConfig.ucTxNum, LUMA_SC_LINE_LEN); }
uint8_t ScRx() {
  return std::min<uint8_t>(g_stFwConfig.ucRxNum, static_cast<uint8_t>(LUMA_SC_LINE_LEN - ScTx()));
}
uint8_t ScPeakLimit() { return std::min<uint8_t>(g_stFwConfig.ucMaxScPeakNum, 21); }
int16_t ScTxThr() { return static_cast<int16_t>(g_stTdParam.ausWords20[2]); }
int16_t ScRxThr() { return static_cast<int16_t>(g_stTdParam.ausWords20[3]); }

void SetBits(uint8_t *map, uint8_t bytes, uint8_t count) {
  std::memset(map, 0, bytes);
  for (uint8_t i = 0; i < count && i / 8 < bytes; ++i) map[i / 8] |= static_cast<uint8_t>(1u << (i % 8));
}

// A product of two peak counts kept in a byte: 16 x 16 peaks must not read as none.
uint8_t CountProduct(uint8_t a, uint8_t b) { return static_cast<uint8_t>(std::min(a * b, 255)); }

// One end of a vertical walk (step -1 up, +1 down) from the peak at (tx, rx).
uint8_t WalkTx(uint8_t tx, uint8_t rx, int step) {
  const int last = FrameTx() - 1;
  const int end = step < 0 ? 0 : last;
  if (tx == end) return tx;
  int row = tx;
  int col = rx;
  int16_t previous = AppMcGetDiff(tx, rx);
  bool accepted = false;
  for (;;) {
    const int next = row + step;
    const uint8_t c = AppMcGet3MaxDiffID(static_cast<uint8_t>(next), static_cast<uint8_t>(col), 1);
    const int16_t v = AppMcGetDiff(static_cast<uint8_t>(next), c);
    if (v < kWalkFloor || v - previous > kWalkRise) return static_cast<uint8_t>(accepted ? row : next);
    accepted = true;
    row = next;
    col = c;
    previous = v;
    if (row == end) return static_cast<uint8_t>(row);
  }
}

// One end of a horizontal walk (step -1 left, +1 right). The reference falls with the
// finger's flank and drops to nothing after a weak node, so a flat tail is not followed.
uint8_t WalkRx(uint8_t tx, uint8_t rx, int step) {
  const int last = FrameRx() - 1;
  const int end = step < 0 ? 0 : last;
  if (rx == end) return rx;
  int row = tx;
  int col = rx;
  int16_t reference = AppMcGetDiff(tx, rx);
  bool accepted = false;
  for (;;) {
    const int next = col + step;
    const uint8_t r = AppMcGet3MaxDiffID(static_cast<uint8_t>(row), static_cast<uint8_t>(next), 0);
    const int16_t v = AppMcGetDiff(r, static_cast<uint8_t>(next));
    if (v < kWalkFloor || v - reference > kWalkRise) return static_cast<uint8_t>(accepted ? col : next);
    accepted = true;
    col = next;
    row = r;
    reference = v > kWalkKeep ? std::min(reference, v) : int16_t{0};
    if (col == end) return static_cast<uint8_t>(col);
  }
}

struct LineExtremes {
  int16_t min = 32767;
  int16_t max = -32768;
};

// Extremes of line[from, to); the counters of the selected set are raised on the way.
LineExtremes ScanLine(const int16_t *line, int from, int to, bool counted, uint8_t &big, uint8_t &strong,
                      uint8_t &neg_strong) {
  LineExtremes e;
  const int32_t big_level = 3 * static_cast<int32_t>(ScRxThr());
  for (int i = from; i < to; ++i) {
    const int16_t v = line[i];
    e.min = std::min(e.min, v);
    e.max = std::max(e.max, v);
    if (!counted) continue;
    if (v > big_level) ++big;
    if (v > kScStrongLevel) ++strong;
    if (v < -kScStrongLevel) ++neg_strong;
  }
  return e;
}

}  // namespace

extern "C" {

// Water spreads a finger into shoulders that pass the four-neighbour test: in water a peak
// must stand above all eight neighbours.
uint8_t AppPeakSearchMod(void) {
  const uint8_t water = AppIsWaterExist();
  g_ucMcPeakSearchMod = water != 0 ? 1 : 0;
  return water;
}

uint8_t AppLinePeakSearch(const int16_t *line, uint8_t count, int16_t threshold, uint8_t *out, uint8_t negate,
                          uint8_t max_peaks) {
  uint8_t found = 0;
  const auto value = [&](int i) -> int32_t {
    if (i < 0 || i >= count) return 0;
    return negate != 0 ? -static_cast<int32_t>(line[i]) : line[i];
  };
  for (int i = 0; i < count && found < max_peaks; ++i) {
    const int32_t v = value(i);
    if (v <= threshold) continue;
    if (v > value(i - 1) && v >= value(i + 1)) out[found++] = static_cast<uint8_t>(i);
  }
  return found;
}

uint8_t AppMcGet3MaxDiffID(uint8_t tx, uint8_t rx, uint8_t dir) {
  if (dir > 1) return 0;
  const uint8_t centre = dir == 1 ? rx : tx;
  const uint8_t count = dir == 1 ? FrameRx() : FrameTx();
  const auto at = [&](int i) {
    return dir == 1 ? AppMcGetDiff(tx, static_cast<uint8_t>(i)) : AppMcGetDiff(static_cast<uint8_t>(i), rx);
  };
  int best = centre;
  int16_t best_value = at(centre);
  if (centre > 0 && at(centre - 1) > best_value) {
    best = centre - 1;
    best_value = at(best);
  }
  if (centre + 1 < count && at(centre + 1) > best_value) best = centre + 1;
  return static_cast<uint8_t>(best);
}

int16_t AppPeakNearDiffAvg(uint8_t peak_id, const LumaPeakPair *pair) {
  uint8_t tx;
  uint8_t rx;
  int32_t sum;
  if (peak_id == pair->ucIdA) {
    tx = pair->ucTxA;
    rx = pair->ucRxA;
    sum = pair->ssDiffA;
  } else if (peak_id == pair->ucIdB) {
    tx = pair->ucTxB;
    rx = pair->ucRxB;
    sum = pair->ssDiffB;
  } else {
    return 0;
  }
  int32_t divisor = 1;
  if (pair->ucSameTx != 0) {
    if (tx > 0) {
      sum += AppMcGetDiff(static_cast<uint8_t>(tx - 1), rx);
      ++divisor;
    }
    if (tx + 1 < FrameTx()) {
      sum += AppMcGetDiff(static_cast<uint8_t>(tx + 1), rx);
      ++divisor;
    }
  }
  if (pair->ucSameRx != 0) {
    if (rx > 0) {
      sum += AppMcGetDiff(tx, static_cast<uint8_t>(rx - 1));
      ++divisor;
    }
    if (rx + 1 < FrameRx()) {
      sum += AppMcGetDiff(tx, static_cast<uint8_t>(rx + 1)) >> 2;
      ++divisor;
    }
  }
  return static_cast<int16_t>(static_cast<int16_t>(sum) / divisor);
}

int16_t AppMergePeakNearAvg(uint8_t peak_id, const LumaPeakPair *pair) { return AppPeakNearDiffAvg(peak_id, pair); }

void AppMcSearchPeakPoint(void) {
  LumaPeakData &pd = g_stPeakData;
  std::memset(pd.aucMcPeakValidMap, 0, sizeof(pd.aucMcPeakValidMap));
  pd.ucMcPosPeakNum = 0;
  pd.ucMcNegPeakNum = 0;
  pd.usMcOverCnt = 0;
  pd.usMcUnderCnt = 0;
  pd.ssMcMaxDiff = 0;
  pd.ssMcMinDiff = 0;
  if (g_stFrmData.pssMcDiff == nullptr) return;

  uint16_t positive[LUMA_MAX_PEAKS];
  uint16_t negative[LUMA_MAX_PEAKS];
  const uint8_t most = static_cast<uint8_t>(std::clamp<int>(g_stFwConfig.ucMaxPeakNum, 1, LUMA_MAX_PEAKS) - 1);
  LumaScPeakParam param{};
  param.ucCols = FrameRx();
  param.ucRows = FrameTx();
  param.ucMaxPeak = most;
  param.ucMode = g_ucMcPeakSearchMod;
  param.pssData = g_stFrmData.pssMcDiff;
  param.pusPosPeak = positive;
  param.pusNegPeak = negative;
  param.ssPosThr = static_cast<int16_t>(g_stTdParam.usMcThr);
  param.ssNegThr = g_stTdParam.ssMcNegThr;
  param.ssHighLevel = static_cast<int16_t>(g_stTdParam.usMcThr2);
  param.ssLowLevel = g_stTdParam.ssMcNegThr2;
  LumaScPeakResult result{};
  DrvCal_ScPeak(&param, &result);

  pd.ucMcPosPeakNum = std::min(result.ucPosNum, most);
  pd.ucMcNegPeakNum = std::min(result.ucNegNum, most);
  pd.usMcOverCnt = result.usHighCnt;
  pd.usMcUnderCnt = result.usLowCnt;
  pd.ssMcMaxDiff = result.ssMax;
  pd.ucMcMaxTx = static_cast<uint8_t>(result.usMaxPos & 0xFF);
  pd.ucMcMaxRx = static_cast<uint8_t>(result.usMaxPos >> 8);
  pd.ssMcMinDiff = result.ssMin;

  for (uint8_t i = 0; i < pd.ucMcPosPeakNum; ++i) {
    const auto tx = static_cast<uint8_t>(positive[i] >> 8);
    const auto rx = static_cast<uint8_t>(positive[i] & 0xFF);
    AppMcSetPeakValidity(i, 1);
    pd.aucMcPeakPos[2 * i] = tx;
    pd.aucMcPeakPos[2 * i + 1] = rx;
    uint8_t *range = &pd.aucMcPeakRange[5 * i];
    range[0] = 1;
    pd.ausMcPeakAttr[i] = 0;
    range[1] = WalkTx(tx, rx, -1);
    range[2] = WalkTx(tx, rx, +1);
    range[3] = WalkRx(tx, rx, -1);
    range[4] = WalkRx(tx, rx, +1);
  }
  for (uint8_t i = 0; i < pd.ucMcNegPeakNum; ++i) {
    pd.aucMcNegPeakPos[2 * i] = static_cast<uint8_t>(negative[i] >> 8);
    pd.aucMcNegPeakPos[2 * i + 1] = static_cast<uint8_t>(negative[i] & 0xFF);
  }
}

void AppScSearchPeakPoint(void) {
  LumaPeakData &pd = g_stPeakData;
  pd.ucScNegPeakMul = 0;
  pd.ucScTxNegPeakNum = 0;
  pd.ucScPosPeakMul = 0;
  pd.ucScTxPosPeakNum = 0;
  pd.ucScRxPosPeakNum = 0;
  std::memset(pd.aucScTxPeakValidMap, 0, sizeof(pd.aucScTxPeakValidMap));
  std::memset(pd.aucScRxPeakValidMap, 0, sizeof(pd.aucScRxPeakValidMap));
  const int16_t *rx_line = g_stFrmData.pssScDiff;
  if (rx_line == nullptr) return;
  const int16_t *tx_line = rx_line + ScRx();
  const uint8_t limit = ScPeakLimit();

  pd.ucScRxPosPeakNum = AppLinePeakSearch(rx_line, ScRx(), ScRxThr(), pd.aucScRxPosPeak, 0, limit);
  SetBits(pd.aucScRxPeakValidMap, sizeof(pd.aucScRxPeakValidMap), pd.ucScRxPosPeakNum);
  pd.ucScTxPosPeakNum = AppLinePeakSearch(tx_line, ScTx(), ScTxThr(), pd.aucScTxPosPeak, 0, limit);
  SetBits(pd.aucScTxPeakValidMap, sizeof(pd.aucScTxPeakValidMap), pd.ucScTxPosPeakNum);
  pd.ucScPosPeakMul = CountProduct(pd.ucScRxPosPeakNum, pd.ucScTxPosPeakNum);

  pd.ucScRxNegPeakNum = AppLinePeakSearch(rx_line, ScRx(), ScRxThr(), pd.aucScRxNegPeak, 1, limit);
  if (ScTx() == 0) {
    pd.ucScTxNegPeakNum = 0;
    pd.ucScNegPeakMul = 0;
    return;
  }
  pd.ucScTxNegPeakNum = AppLinePeakSearch(tx_line, ScTx(), ScTxThr(), pd.aucScTxNegPeak, 1, limit);
  pd.ucScNegPeakMul = CountProduct(pd.ucScRxNegPeakNum, pd.ucScTxNegPeakNum);
}

void AppScDiffMinMax(void) {
  LumaPeakData &pd = g_stPeakData;
  // All six counters describe this frame's selected set, so all start from zero.
  pd.ucScRxBigCnt = pd.ucScRxPosStrongCnt = pd.ucScRxNegStrongCnt = 0;
  pd.ucScTxBigCnt = pd.ucScTxPosStrongCnt = pd.ucScTxNegStrongCnt = 0;
  const int rx_count = ScRx();
  const int tx_count = ScTx();
  for (int s = 0; s < LUMA_SC_SLOTS; ++s) {
    const int16_t *line = g_stFrmData.assScDiff[s];
    const bool counted = s == (g_ucScReportSel & 3);
    // The first and last sense lines sit under the panel border and are left out.
    const LineExtremes r = ScanLine(line, 1, rx_count - 1, counted, pd.ucScRxBigCnt, pd.ucScRxPosStrongCnt,
                                    pd.ucScRxNegStrongCnt);
    pd.assScRxMin[s] = pd.assScMin[s] = r.min;
    pd.assScRxMax[s] = pd.assScMax[s] = r.max;
    const LineExtremes t = ScanLine(line + rx_count, 0, tx_count, counted, pd.ucScTxBigCnt, pd.ucScTxPosStrongCnt,
                                    pd.ucScTxNegStrongCnt);
    pd.assScTxMin[s] = t.min;
    pd.assScTxMax[s] = t.max;
    pd.assScMin[s] = std::min(pd.assScMin[s], t.min);
    pd.assScMax[s] = std::max(pd.assScMax[s], t.max);
  }
}

uint8_t AppSearchPeakPoint(void) {
  LumaPeakData &pd = g_stPeakData;
  pd.ucOutPeakNum = 0;
  AppMcSearchPeakPoint();
  const bool valid = AppFrameIsValid() != 0;
  if (valid) {
    pd.ucMcPosPeakNumValidFrm = pd.ucMcPosPeakNum;
    pd.ssMcMaxDiffValidFrm = pd.ssMcMaxDiff;
  }
  AppScSearchPeakPoint();
  AppScDiffMinMax();
  if (valid) {
    pd.ucScPosPeakMulValidFrm = pd.ucScPosPeakMul;
    pd.ucScTxPosPeakNumValidFrm = pd.ucScTxPosPeakNum;
    pd.ucScRxPosPeakNumValidFrm = pd.ucScRxPosPeakNum;
  }
  return 0;
}

}  // extern "C"
