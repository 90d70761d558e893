// Connected regions of the mutual diff matrix and their shape. The wet-finger and sweat
// filters ask how large a touch is, how far it reaches and how elongated it is; a finger
// is a compact blob, a water trail or a sweat film is wide or long. No walk allocates:
// queues, visited maps and point lists live on the caller's stack.
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <cmath>

#include "luma_area.h"
#include "luma_peaks.h"

namespace {

// Threshold floor and window of the per-peak region.
constexpr int16_t kRatioMinThreshold = 100;
constexpr int32_t kRatioRange = 20;
// How far a descending region may climb again from one cell to the next.
constexpr int32_t kDescendRise = 30;
// The degenerate ratio (a line or a single cell) is stored as 0.
constexpr double kDegenerateRatio = 10.0;
constexpr int32_t kFixedOne = 1024;

struct Grid {
  int32_t tx;
  int32_t rx;
  bool Inside(int32_t t, int32_t r) const { return t >= 0 && r >= 0 && t < tx && r < rx; }
  int32_t Index(int32_t t, int32_t r) const { return t * rx + r; }
};

Grid FrameGrid() { return {g_stFrmInfo.aucCfgCopy[4], g_stFrmInfo.aucCfgCopy[5]}; }

uint16_t PackCell(int32_t tx, int32_t rx) { return static_cast<uint16_t>((tx & 0xFF) | ((rx & 0xFF) << 8)); }

// Window of the fill and the reachability test: a diamond of radius r, trimmed to fewer
// than r/2 Tx lines and r/2 + 1 Rx lines either side.
bool InDiamondWindow(int32_t tx, int32_t rx, int32_t ctx, int32_t crx, int32_t r) {
  const int32_t dt = abs(tx - ctx), dr = abs(rx - crx);
  return dt + dr <= r && dt < r / 2 && dr <= r / 2 + 1;
}

// Window of the breadth-first walks: r Rx lines and three quarters of r Tx lines either side.
bool InBoxWindow(int32_t tx, int32_t rx, int32_t ctx, int32_t crx, int32_t r) {
  return abs(rx - crx) <= r && abs(tx - ctx) <= (3 * r) / 4;
}

constexpr int kNeighbours[8][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}, {1, 1}, {-1, -1}, {-1, 1}, {1, -1}};

}  // namespace

extern "C" {

void InitQueueArea(LumaAreaQueue *queue) {
  // The queue lives on the caller's stack: both ends are set, so no stale cells appear.
  queue->usHead = 0;
  queue->usTail = 0;
}

void EnqueueArea(LumaAreaQueue *queue, uint16_t cell) {
  const auto next = static_cast<uint16_t>((queue->usTail + 1) % LUMA_AREA_QUEUE_LEN);
  if (next == queue->usHead) return;
  queue->ausCell[queue->usTail] = cell;
  queue->usTail = next;
}

uint16_t DequeueArea(LumaAreaQueue *queue) {
  if (queue->usHead == queue->usTail) return 0;
  const uint16_t cell = queue->ausCell[queue->usHead];
  queue->usHead = static_cast<uint16_t>((queue->usHead + 1) % LUMA_AREA_QUEUE_LEN);
  return cell;
}

void SetNodeBitmap(uint8_t *bitmap, int32_t tx, int32_t rx) {
  const int32_t index = FrameGrid().Index(tx, rx);
  bitmap[index / 8] = static_cast<uint8_t>(bitmap[index / 8] | (1u << (index % 8)));
}

void ClearNodeBitmap(uint8_t *bitmap, int32_t tx, int32_t rx) {
  const int32_t index = FrameGrid().Index(tx, rx);
  bitmap[index / 8] = static_cast<uint8_t>(bitmap[index / 8] & ~(1u << (index % 8)));
}

uint8_t IsNodeBitmapSet(const uint8_t *bitmap, int32_t tx, int32_t rx) {
  const int32_t index = FrameGrid().Index(tx, rx);
  return (bitmap[index / 8] >> (index % 8)) & 1u;
}

void AppUpdateAreaBound(LumaAreaBound *bounds, int32_t tx, int32_t rx) {
  bounds->ucTxMin = static_cast<uint8_t>(std::min<int32_t>(bounds->ucTxMin, tx));
  bounds->ucTxMax = static_cast<uint8_t>(std::max<int32_t>(bounds->ucTxMax, tx));
  bounds->ucRxMin = static_cast<uint8_t>(std::min<int32_t>(bounds->ucRxMin, rx));
  bounds->ucRxMax = static_cast<uint8_t>(std::max<int32_t>(bounds->ucRxMax, rx));
}

int32_t AppCalcConnectedArea(const int16_t *diff, uint8_t *visited, LumaAreaBound *bounds, int32_t tx, int32_t rx,
                             int16_t threshold, int32_t ctx, int32_t crx, int32_t range) {
  const Grid g = FrameGrid();
  if (tx < 0 || rx < 0 || tx >= g.tx) return 0;
  // A run towards lower rx; every accepted cell spreads up, down and right. The window
  // bounds the recursion depth.
  int32_t count = 0;
  for (int32_t r = rx; r >= 0 && r < g.rx; --r) {
    const int32_t index = g.Index(tx, r);
    if (visited[index] != 0 || diff[index] < threshold || !InDiamondWindow(tx, r, ctx, crx, range)) break;
    visited[index] = 1;
    AppUpdateAreaBound(bounds, tx, r);
    count += 1;
    count += AppCalcConnectedArea(diff, visited, bounds, tx + 1, r, threshold, ctx, crx, range);
    count += AppCalcConnectedArea(diff, visited, bounds, tx - 1, r, threshold, ctx, crx, range);
    count += AppCalcConnectedArea(diff, visited, bounds, tx, r + 1, threshold, ctx, crx, range);
  }
  return count;
}

uint8_t AppSearchConnectedPeaks(const int16_t *diff, uint8_t *visited, int32_t tx, int32_t rx, int16_t threshold,
                                int32_t ttx, int32_t trx, int32_t ctx, int32_t crx, int32_t range) {
  const Grid g = FrameGrid();
  if (!g.Inside(tx, rx)) return 0;
  const int32_t index = g.Index(tx, rx);
  if (visited[index] != 0 || diff[index] < threshold || !InDiamondWindow(tx, rx, ctx, crx, range)) return 0;
  visited[index] = 1;
  if (tx == ttx && rx == trx) return 1;
  for (int dt = -1; dt <= 1; ++dt) {
    for (int dr = -1; dr <= 1; ++dr) {
      if (dt == 0 && dr == 0) continue;
      if (AppSearchConnectedPeaks(diff, visited, tx + dt, rx + dr, threshold, ttx, trx, ctx, crx, range) != 0) return 1;
    }
  }
  return 0;
}

int32_t AppCalcConnectedAreaBFS(const int16_t *diff, uint8_t *visited, LumaAreaPoint *points, int32_t max_points,
                                LumaAreaBound *bounds, int32_t tx, int32_t rx, int16_t threshold, int32_t ctx,
                                int32_t crx, int32_t range) {
  const Grid g = FrameGrid();
  if (!g.Inside(tx, rx) || visited[g.Index(tx, rx)] != 0) return 0;
  LumaAreaQueue queue;
  InitQueueArea(&queue);
  visited[g.Index(tx, rx)] = 1;
  EnqueueArea(&queue, PackCell(tx, rx));
  int32_t count = 0;
  while (queue.usHead != queue.usTail) {
    const uint16_t cell = DequeueArea(&queue);
    const int32_t t = cell & 0xFF, r = cell >> 8;
    if (diff[g.Index(t, r)] < threshold || !InBoxWindow(t, r, ctx, crx, range)) continue;
    AppUpdateAreaBound(bounds, t, r);
    if (count < max_points && points != nullptr) points[count] = {t, r};
    ++count;
    for (const auto &n : kNeighbours) {
      const int32_t nt = t + n[0], nr = r + n[1];
      if (!g.Inside(nt, nr) || visited[g.Index(nt, nr)] != 0) continue;
      // Marked even when a full queue drops it, so it is never offered twice.
      visited[g.Index(nt, nr)] = 1;
      EnqueueArea(&queue, PackCell(nt, nr));
    }
  }
  return count;
}

int32_t AppGetPeakAreaBFS(const int16_t *diff, LumaPeakArea *area, int32_t tx, int32_t rx, int16_t threshold,
                          int32_t range) {
  const Grid g = FrameGrid();
  if (!g.Inside(tx, rx) || IsNodeBitmapSet(area->aucVisited, tx, rx) != 0) return 0;
  const int16_t start = diff[g.Index(tx, rx)];
  LumaAreaQueue queue;
  InitQueueArea(&queue);
  SetNodeBitmap(area->aucVisited, tx, rx);
  EnqueueArea(&queue, PackCell(tx, rx));
  int32_t count = 0;
  while (queue.usHead != queue.usTail) {
    const uint16_t cell = DequeueArea(&queue);
    const int32_t t = cell & 0xFF, r = cell >> 8;
    const int16_t value = diff[g.Index(t, r)];
    if (value < threshold || !InBoxWindow(t, r, tx, rx, range)) continue;
    AppUpdateAreaBound(&area->stBound, t, r);
    area->slDiffSum += value;
    ++count;
    for (const auto &n : kNeighbours) {
      const int32_t nt = t + n[0], nr = r + n[1];
      if (!g.Inside(nt, nr) || IsNodeBitmapSet(area->aucVisited, nt, nr) != 0) continue;
      const int16_t next = diff[g.Index(nt, nr)];
      if (next < threshold || next > value + kDescendRise || next > start) continue;
      SetNodeBitmap(area->aucVisited, nt, nr);
      EnqueueArea(&queue, PackCell(nt, nr));
    }
  }
  return count;
}

void mean_centering(LumaAreaPoint *points, int32_t n, int32_t mean[2]) {
  mean[0] = mean[1] = 0;
  if (n <= 0) return;
  int64_t sx = 0, sy = 0;
  for (int32_t i = 0; i < n; ++i) {
    sx += points[i].tx;
    sy += points[i].rx;
  }
  mean[0] = static_cast<int32_t>(sx * kFixedOne / n);
  mean[1] = static_cast<int32_t>(sy * kFixedOne / n);
  for (int32_t i = 0; i < n; ++i) {
    points[i].tx = points[i].tx * kFixedOne - mean[0];
    points[i].rx = points[i].rx * kFixedOne - mean[1];
  }
}

void calculate_covariance_matrix(const LumaAreaPoint *points, int32_t n, int64_t cov[2][2]) {
  // Centred values reach 2^16 on a large matrix: products and sums are 64-bit.
  int64_t sxx = 0, sxy = 0, syy = 0;
  for (int32_t i = 0; i < n; ++i) {
    const int64_t x = points[i].tx, y = points[i].rx;
    sxx += x * x;
    sxy += x * y;
    syy += y * y;
  }
  const int64_t dof = std::max<int32_t>(n, 2) - 1;
  cov[0][0] = sxx / kFixedOne / dof;
  cov[0][1] = cov[1][0] = sxy / kFixedOne / dof;
  cov[1][1] = syy / kFixedOne / dof;
}

void eigen_decomposition(const int64_t cov[2][2], double eig[2]) {
  const auto sxx = static_cast<double>(cov[0][0]), syy = static_cast<double>(cov[1][1]);
  const auto sxy = static_cast<double>(cov[0][1]);
  // t^2 - 4d written as a sum of squares: it cannot come out negative by rounding.
  const double t = sxx + syy;
  const double root = std::sqrt((sxx - syy) * (sxx - syy) + 4.0 * sxy * sxy);
  eig[0] = (t + root) / 2.0;
  eig[1] = (t - root) / 2.0;
}

double calculate_aspect_ratio(const double eig[2]) {
  const double larger = std::max(eig[0], eig[1]), smaller = std::min(eig[0], eig[1]);
  if (smaller <= 0.0) return kDegenerateRatio;
  return std::sqrt(larger / smaller);
}

void ApppCalPeakRatio(void) {
  const int16_t *diff = g_stFrmData.pssMcDiff;
  if (diff == nullptr) return;
  const Grid g = FrameGrid();
  const int peaks = std::min<int>(g_stPeakData.ucMcPosPeakNum, LUMA_MAX_PEAKS);
  for (int k = 0; k < peaks; ++k) {
    const int32_t tx = g_stPeakData.aucMcPeakPos[2 * k], rx = g_stPeakData.aucMcPeakPos[2 * k + 1];
    g_stPeakData.ausMcPeakAttr[k] = 0;
    if (!g.Inside(tx, rx)) continue;
    uint8_t visited[LUMA_MAX_NODES];
    LumaAreaPoint points[LUMA_PEAK_RATIO_POINTS];
    memset(visited, 0, sizeof(visited));
    memset(points, 0, sizeof(points));
    LumaAreaBound bounds = {static_cast<uint8_t>(tx), static_cast<uint8_t>(tx), static_cast<uint8_t>(rx),
                            static_cast<uint8_t>(rx)};
    const int16_t threshold = std::max<int16_t>(static_cast<int16_t>(diff[g.Index(tx, rx)] / 4), kRatioMinThreshold);
    const int32_t count = AppCalcConnectedAreaBFS(diff, visited, points, LUMA_PEAK_RATIO_POINTS, &bounds, tx, rx,
                                                  threshold, tx, rx, kRatioRange);
    if (count <= 0) continue;
    const int32_t recorded = std::min<int32_t>(count, LUMA_PEAK_RATIO_POINTS);
    int32_t mean[2];
    int64_t cov[2][2];
    double eig[2];
    mean_centering(points, recorded, mean);
    calculate_covariance_matrix(points, recorded, cov);
    eigen_decomposition(cov, eig);
    const double ratio = calculate_aspect_ratio(eig);
    // Both halves of the word are bytes: a palm-sized region or a very long trail would
    // wrap into a small, finger-like value, so each saturates at 255 instead.
    const int32_t ratio_byte = ratio == kDegenerateRatio ? 0 : static_cast<int32_t>(std::min(ratio * 10.0, 255.0));
    const int32_t count_byte = std::min<int32_t>(count, 255);
    g_stPeakData.ausMcPeakAttr[k] = static_cast<uint16_t>(count_byte | (ratio_byte << 8));
  }
}

}  // extern "C"
