// The front end of every valid frame, after the diff is formed and before the peaks are
// searched: the data-rate choice, the mutual front filter, the self-line filters, the
// time average at the reduced rate, the projections of the mutual matrix onto self-shaped
// lines and, with water, a 3x3 smoothing inside the water rectangle.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "luma_calc.h"
#include "luma_env.h"
#include "luma_filter.h"
#include "luma_front.h"
#include "luma_noise.h"

extern "C" {
int16_t g_ssMc2TxDiffer[17];
int16_t g_ssMc2RxDiffer[38];
uint8_t stWaterRect[4];
}

namespace {

constexpr LumaScAcfParam kScAcfParam = {1, 150, 3, 150, 3};
constexpr int kMaxBoundLines = 41;  // the bound scratch holds two bounds for 41 lines

uint8_t TxCount() { return g_stFrmInfo.aucCfgCopy[4]; }
uint8_t RxCount() { return g_stFrmInfo.aucCfgCopy[5]; }
uint8_t Stride() { return g_stFwConfig.ucRxNum; }
int16_t *Matrix() { return g_stFrmData.pssMcDiff; }

void FillBounds(int n) {
  n = std::min(n, kMaxBoundLines);
  for (int i = 0; i < n; ++i) {
    g_stFrmData.assBound[i] = 32766;
    g_stFrmData.assBound[n + i] = -32766;
  }
}

// Residues of a few counts are moved by a fixed amount: above 10 by 20, then above 5 by 10.
void ShrinkResidue(int16_t *line, uint8_t n) {
  AppDiffLineCompressFilter(line, n, 20);
  AppDiffLineCompressFilter(line, n, 10);
}

void RobustMeanRemoval(int16_t *line, uint8_t n, int16_t clip) {
  if (n != 0) AppDiffLineMeanFilter(line, n, clip, 1, 1);
}

// Reference subtraction and tilt removal about the reference entry.
void ReferenceAndTilt(int16_t *line, uint8_t n, uint8_t q, uint16_t clip) {
  if (n == 0 || q >= n) return;
  const int16_t reference = line[q];
  for (uint8_t i = 0; i < n; ++i) line[i] = static_cast<int16_t>(line[i] - reference);
  AppLineEquFilterAll(line, line, n, q, clip);
}

void LineMaxima() {
  const int16_t *m = Matrix();
  const int t = std::min<int>(TxCount(), 17);
  const int r = std::min<int>(RxCount(), 38);
  for (int tx = 0; tx < t; ++tx) {
    int16_t most = 0;
    for (int rx = 0; rx < RxCount(); ++rx) most = std::max(most, m[tx * Stride() + rx]);
    g_ssMc2TxDiffer[tx] = most;
  }
  for (int rx = 0; rx < r; ++rx) {
    int16_t most = 0;
    for (int tx = 0; tx < TxCount(); ++tx) most = std::max(most, m[tx * Stride() + rx]);
    g_ssMc2RxDiffer[rx] = most;
  }
}

// First strictly smallest value below `limit` among n averages; `none` when there is none.
uint8_t Quietest(const int16_t *values, int n, int32_t limit, uint8_t none) {
  int32_t best = limit;
  uint8_t q = none;
  for (int i = 0; i < n; ++i) {
    if (values[i] < best) {
      best = values[i];
      q = static_cast<uint8_t>(i);
    }
  }
  return q;
}

uint8_t GroupToSc(const int16_t *matrix, int16_t *out, bool columns) {
  const int n = columns ? RxCount() : TxCount();
  if (matrix == nullptr || n > kMaxBoundLines) return 0;
  FillBounds(n);
  const uint8_t dir = columns ? LUMA_CAL_COLUMNS : 0;
  AppCal_MatrixLineColAvg(g_stFrmData.assLineAvg, matrix, g_stFrmData.assBound, dir | LUMA_CAL_ABS, 0);
  const uint8_t q = Quietest(g_stFrmData.assLineAvg, n, 32766, 0);
  AppCal_MatrixLineColAvg(g_stFrmData.assLineAvg, matrix, g_stFrmData.assBound, dir, 0);
  if (out != nullptr) *out = g_stFrmData.assLineAvg[q];
  return q;
}

// Centre of the water along one absolute projection: the entry (not at either end) at or
// above `floor` with the largest positive three-sum; 255 when none.
uint8_t WaterCentre(const int16_t *line, int n, int16_t floor) {
  int32_t best = 0;
  uint8_t centre = 255;
  for (int i = 1; i <= n - 2; ++i) {
    if (line[i] < floor) continue;
    const auto sum = static_cast<int16_t>(line[i - 1] + line[i] + line[i + 1]);
    if (sum > best) {
      best = sum;
      centre = static_cast<uint8_t>(i);
    }
  }
  return centre;
}

}  // namespace

extern "C" {

// ---- Projections -----------------------------------------------------------------------

int16_t *AppMc2ScRxProjection(void) {
  int16_t *slot2 = g_stFrmData.assScDiff[2];
  const int16_t *m = Matrix();
  const int r = std::min<int>(RxCount(), kMaxBoundLines);
  int16_t *p = g_stFrmData.assLineAvg;
  for (int c = 0; c < r; ++c) {
    int32_t most = -1;
    for (int t = 0; t < TxCount(); ++t) most = std::max<int32_t>(most, std::abs(m[t * Stride() + c]));
    p[c] = static_cast<int16_t>(std::max<int32_t>(most, 0));
  }
  const bool with_slot2 = g_stFwConfig.ucTxNum != RxCount();
  int32_t best = 32767;
  int q = 127;
  for (int c = 0; c < r; ++c) {
    const int32_t score = std::abs(p[c]) + (with_slot2 ? std::abs(slot2[c]) : 0);
    if (score < best) {
      best = score;
      q = c;
    }
  }
  const int16_t reference = q < r ? p[q] : 0;
  for (int c = 0; c < r; ++c) p[c] = static_cast<int16_t>(p[c] - reference);
  std::copy(p, p + std::min(r, LUMA_SC_LINE_LEN), slot2);
  return slot2;
}

uint8_t AppMcGroupToScRx(const int16_t *matrix, int16_t *out) { return GroupToSc(matrix, out, true); }

uint8_t AppMcGroupToScTx(const int16_t *matrix, int16_t *out) { return GroupToSc(matrix, out, false); }

void AppMc2ScTRxProjection(void) { LineMaxima(); }

uint8_t AppMcNoTouchRxGet(uint16_t threshold, uint8_t margin) {
  const int r = std::min<int>(RxCount(), LUMA_SC_LINE_LEN);
  if (margin >= r - margin) return 0;
  uint8_t n = 0;
  for (int i = margin; i <= r - margin - 1; ++i) {
    if (g_stFrmData.assScDiff[2][i] < static_cast<int32_t>(threshold)) ++n;
  }
  return n;
}

int16_t *AppScDiffRecovery(int16_t *out, const int16_t *, uint16_t tx_split, uint8_t rx_split) {
  if (out == nullptr) return out;
  const int r = RxCount();
  const int t = TxCount();
  if (r + t > LUMA_SC_LINE_LEN) return out;
  auto segment = [&](int first, int last) {
    if (last >= first) RobustMeanRemoval(out + first, static_cast<uint8_t>(last - first + 1), 1000);
  };
  if (rx_split > 0) segment(0, std::min<int>(rx_split, r) - 1);
  segment(rx_split + 1, r - 1);
  if (tx_split > 0) segment(r, r + std::min<int>(tx_split, t) - 1);
  segment(r + tx_split + 1, r + t - 1);
  return out;
}

void AppScCcByPassDiffFrontFilter(uint8_t slot) {
  if (slot >= LUMA_SC_SLOTS) return;
  const uint8_t tx = AppMcGroupToScTx(Matrix(), nullptr);
  const uint8_t rx = AppMcGroupToScRx(Matrix(), nullptr);
  if (AppScRxDataIsExist(slot) || AppScTxDataIsExist(slot)) {
    AppScDiffRecovery(g_stFrmData.assScDiff[slot], g_stFrmData.assScBackDiff[slot], tx, rx);
  }
  if (slot <= 1) {
    for (int16_t &v : g_stFrmData.assScDiff[slot]) v = static_cast<int16_t>(-v);
  }
}

uint8_t AppMc2ScNormalWater(void) {
  LumaFrmData &d = g_stFrmData;
  const int n = RxCount();
  const int t = TxCount();
  d.slMcRxProjSum = 0;
  d.ssMcRxProjMax = -32767;
  d.ssMcTxProjMax = -32767;
  if (n > kMaxBoundLines || t > kMaxBoundLines) return 0;
  FillBounds(n);
  AppCal_MatrixLineColAvg(d.assMcRxAbsProj, Matrix(), d.assBound, LUMA_CAL_COLUMNS | LUMA_CAL_ABS, 0);
  AppCal_MatrixLineColAvg(d.assMcRxProj, Matrix(), d.assBound, LUMA_CAL_COLUMNS, 0);
  for (int c = 0; c < n; ++c) {
    d.assMcRxAbsProj[c] = static_cast<int16_t>(static_cast<uint16_t>(d.assMcRxAbsProj[c] * t) / 2);
    const auto product = static_cast<int16_t>(d.assMcRxProj[c] * t);
    d.assMcRxProj[c] = static_cast<int16_t>(product >> 1);
    d.ssMcRxProjMax = std::max(d.ssMcRxProjMax, d.assMcRxProj[c]);
    d.slMcRxProjSum += product;
  }
  if (t == 0) {
    AppCal_MatrixLineColAvg(d.assMcTxAbsProj, Matrix(), d.assBound, LUMA_CAL_ABS, 0);
    AppCal_MatrixLineColAvg(d.assMcTxProj, Matrix(), d.assBound, 0, 0);
    return 0;
  }
  FillBounds(t);
  AppCal_MatrixLineColAvg(d.assMcTxAbsProj, Matrix(), d.assBound, LUMA_CAL_ABS, 0);
  AppCal_MatrixLineColAvg(d.assMcTxProj, Matrix(), d.assBound, 0, 0);
  for (int r = 0; r < t; ++r) {
    d.assMcTxAbsProj[r] = static_cast<int16_t>(static_cast<uint16_t>(d.assMcTxAbsProj[r] * n) / 2);
    d.assMcTxProj[r] = static_cast<int16_t>(static_cast<int16_t>(d.assMcTxProj[r] * n) >> 1);
    d.ssMcTxProjMax = std::max(d.ssMcTxProjMax, d.assMcTxProj[r]);
  }
  RobustMeanRemoval(d.assMcRxAbsProj, static_cast<uint8_t>(n), 100);
  RobustMeanRemoval(d.assMcTxAbsProj, static_cast<uint8_t>(t), 100);
  RobustMeanRemoval(d.assMcRxProj, static_cast<uint8_t>(n), 100);
  RobustMeanRemoval(d.assMcTxProj, static_cast<uint8_t>(t), 100);
  return 0;
}

// ---- Self-line front filters -------------------------------------------------------------

void AppNoDiffScDiffFrontFilter(uint8_t slot) {
  if (slot >= LUMA_SC_SLOTS) return;
  const uint8_t n = std::min<uint8_t>(RxCount(), LUMA_SC_RX_LEN);
  if (n == 0) return;
  const int16_t *in = g_stFrmData.assScBackDiff[slot];
  int16_t *out = g_stFrmData.assScDiff[slot];
  if (slot == 0) {
    AppScDiffAcfFilter(in, n, out, 2, &kScAcfParam);
    RobustMeanRemoval(out, n, 150);
  } else if (slot == 1) {
    AppScDiffAcfFilter(in, n, out, 0, &kScAcfParam);
  } else {
    const uint8_t q = LumaLineQuietest(in, n, 1, 0);
    std::copy(in, in + n, out);
    const uint16_t clip = (g_ucFwScAdcOverLoadFlag >= 2 || g_ucFwAdcOverLoadFlag >= 2) ? 100 : 50;
    ReferenceAndTilt(out, n, q, clip);
    RobustMeanRemoval(out, n, 150);
  }
  ShrinkResidue(out, n);
}

void AppNoDiffScDiffFrontFilter_Tx(uint8_t slot) {
  if (slot >= LUMA_SC_SLOTS) return;
  const uint8_t t = std::min<uint8_t>(TxCount(), LUMA_SC_TX_LEN);
  const uint8_t from = g_stFwConfig.ucRxNum;
  if (t == 0 || from + t > LUMA_SC_LINE_LEN || RxCount() + t > LUMA_SC_LINE_LEN) return;
  const int16_t *in = g_stFrmData.assScBackDiff[slot] + from;
  int16_t *out = g_stFrmData.assScDiff[slot] + from;
  if (slot == 1) {
    AppScDiffAcfFilter(in, t, out, 1, &kScAcfParam);
  } else if (slot == 0) {
    // Even and odd drive lines are driven apart: each parity is referenced on its own, its
    // entry j matching reference channel p + 2j.
    for (uint8_t p = 0; p < 2; ++p) {
      int16_t sub[11];
      uint8_t length = 0;
      for (uint8_t k = p; k < t && length < 11; k = static_cast<uint8_t>(k + 2)) sub[length++] = in[k];
      const uint8_t q = LumaLineQuietest(sub, length, 2, p);
      ReferenceAndTilt(sub, length, q, 100);
      for (uint8_t j = 0; j < length; ++j) out[p + 2 * j] = sub[j];
    }
  }
  ShrinkResidue(g_stFrmData.assScDiff[slot] + RxCount(), t);
}

// ---- The front chain and the water rectangle ----------------------------------------------

void AppTpDataRateCtrl(void) {
  g_ucFWDataRateFlag = (g_usLikeNFNoiseFrame != 0 || g_ucFwAdcOverLoadFlag == 0) ? 3 : 1;
}

uint8_t AppGetWaterRect(void) {
  const LumaFrmData &d = g_stFrmData;
  const int nr = g_stFwConfig.ucRxNum;
  const int nt = g_stFwConfig.ucTxNum;
  if (nt < 3 || nr <= 2) return 0;
  const uint8_t rx = WaterCentre(d.assMcRxAbsProj, std::min(nr, LUMA_SC_LINE_LEN), 201);
  const uint8_t tx = WaterCentre(d.assMcTxAbsProj, std::min(nt, LUMA_SC_LINE_LEN), 201);
  if (rx == 255 || tx == 255) return 0;
  uint8_t rx0, rx1, tx0, tx1;
  GetScWidth(rx, d.assMcRxAbsProj, static_cast<uint8_t>(std::min(nr, LUMA_SC_LINE_LEN)), &rx0, &rx1);
  GetScWidth(tx, d.assMcTxAbsProj, static_cast<uint8_t>(std::min(nt, LUMA_SC_LINE_LEN)), &tx0, &tx1);
  stWaterRect[0] = tx0;
  stWaterRect[1] = rx0;
  stWaterRect[2] = tx1;
  stWaterRect[3] = rx1;
  return 1;
}

uint8_t AppGetWaterRectTxLen(void) { return static_cast<uint8_t>(stWaterRect[2] - stWaterRect[0]); }
uint8_t AppGetWaterRectRxLen(void) { return static_cast<uint8_t>(stWaterRect[3] - stWaterRect[1]); }

uint8_t AppPeakIsInWaterRect(uint8_t tx, uint8_t rx) {
  return AppIsWaterExist() != 0 && tx >= stWaterRect[0] && tx <= stWaterRect[2] && rx >= stWaterRect[1] &&
                 rx <= stWaterRect[3]
             ? 1
             : 0;
}

uint8_t AppPeakIsInsideWater(uint8_t tx, uint8_t rx) {
  if (AppGetWaterRectTxLen() < 6 || AppGetWaterRectRxLen() < 6) return 0;
  return AppPeakIsInWaterRect(tx, rx);
}

void AppDiffFrontFilter(void) {
  int16_t *m = Matrix();
  if (m == nullptr) return;
  AppPeakSearchMod();
  AppFwAdcOverLoadGet();
  AppTpDataRateCtrl();
  AppMcDiffFrontFilter();
  LineMaxima();
  const uint8_t r = std::min<uint8_t>(RxCount(), LUMA_SC_RX_LEN);
  const uint8_t t = std::min<uint8_t>(TxCount(), LUMA_SC_TX_LEN);
  const uint8_t tx_from = g_stFwConfig.ucRxNum;
  if (AppScRxDataIsExist(1)) {
    AppScDiffAcfFilter(g_stFrmData.assScBackDiff[1], r, g_stFrmData.assScDiff[1], 0, &kScAcfParam);
    ShrinkResidue(g_stFrmData.assScDiff[1], r);
  }
  if (AppScTxDataIsExist(1) && tx_from + t <= LUMA_SC_LINE_LEN && RxCount() + t <= LUMA_SC_LINE_LEN) {
    AppScDiffAcfFilter(g_stFrmData.assScBackDiff[1] + tx_from, t, g_stFrmData.assScDiff[1] + tx_from, 1,
                       &kScAcfParam);
    ShrinkResidue(g_stFrmData.assScDiff[1] + RxCount(), t);
  }
  if (AppScRxDataIsExist(0)) AppNoDiffScDiffFrontFilter(0);
  if (AppScTxDataIsExist(0)) AppNoDiffScDiffFrontFilter_Tx(0);
  if (g_ucFWDataRateFlag != 3) {
    AppMcTMA(g_stTMAFifoFrame.assMc, m, 1, 2);
    AppDiffMatrixMeanFilter(g_stTMAFifoFrame.assMc, LUMA_DIR_ROW, 2, 1, 1);
    const int nodes = std::min<int>(g_stFwConfig.usTxNum * g_stFwConfig.usRxNum, LUMA_MAX_NODES);
    std::copy(g_stTMAFifoFrame.assMc, g_stTMAFifoFrame.assMc + nodes, m);
  }
  AppMc2ScRxProjection();
  if (g_usLikeNFNoiseFrame == 0 && (g_ucFwAdcOverLoadFlag != 0 || g_ucFwScAdcOverLoadFlag != 0)) {
    AppDiffMatrixMeanFilter(m, LUMA_DIR_ROW, 150, 1, 1);
    AppDiffMatrixMeanFilter(m, LUMA_DIR_COL, 100, 1, 1);
  }
  const bool water = AppIsWaterExist() != 0;
  AppMc2ScNormalWater();
  if (!water) return;
  int16_t peak = 0;
  const int16_t smoothed = AppConvolution(m, &peak, 100, nullptr);
  const int32_t limit = peak >= 601 ? 2 * peak / 3 : (peak <= 499 ? 4 * peak / 5 : 400);
  if (AppGetWaterRect() != 0 && AppGetWaterRectTxLen() >= 6 && AppGetWaterRectRxLen() >= 6) {
    int16_t result = smoothed;
    for (int pass = 0; pass < 3 && result >= 300 && result >= limit; ++pass) {
      result = AppConvolution(m, &peak, 100, stWaterRect);
    }
  }
  AppMc2ScNormalWater();
}

}  // extern "C"
