#pragma once
// Connected regions of the mutual diff matrix and their shape: a recursive flood fill, a
// reachability test between two cells, breadth-first walks with a circular queue, and a
// principal-component aspect ratio. Cells are (tx, rx), index tx x Rx count + rx; every
// walk stays inside a window about a centre cell.
#include <stdint.h>

#include "luma_core.h"

#define LUMA_AREA_QUEUE_LEN 820
#define LUMA_AREA_BITMAP_BYTES ((LUMA_MAX_NODES + 7) / 8)
#define LUMA_PEAK_RATIO_POINTS 800

// Extent of a region; the caller presets it, the walks only widen it.
typedef struct LumaAreaBound {
  uint8_t ucTxMin;
  uint8_t ucTxMax;
  uint8_t ucRxMin;
  uint8_t ucRxMax;
} LumaAreaBound;

// Circular queue of cells (tx in the low byte, rx in the high byte). One slot stays free
// to tell full from empty, so it holds at most LUMA_AREA_QUEUE_LEN - 1 cells.
typedef struct LumaAreaQueue {
  uint16_t ausCell[LUMA_AREA_QUEUE_LEN];
  uint16_t usHead;
  uint16_t usTail;
} LumaAreaQueue;

typedef struct LumaAreaPoint {
  int32_t tx;
  int32_t rx;
} LumaAreaPoint;

// A descending region: its visited bitmap, the diff sum and extent of its cells.
typedef struct LumaPeakArea {
  uint8_t aucVisited[LUMA_AREA_BITMAP_BYTES];
  int32_t slDiffSum;
  LumaAreaBound stBound;
} LumaPeakArea;

#ifdef __cplusplus
static_assert(sizeof(LumaAreaBound) == 4);
static_assert(sizeof(LumaAreaQueue) == 2 * LUMA_AREA_QUEUE_LEN + 4);
extern "C" {
#endif

LUMA_EXPORT void InitQueueArea(LumaAreaQueue *queue);
// A full queue drops the cell.
LUMA_EXPORT void EnqueueArea(LumaAreaQueue *queue, uint16_t cell);
// 0 from an empty queue.
LUMA_EXPORT uint16_t DequeueArea(LumaAreaQueue *queue);

LUMA_EXPORT void SetNodeBitmap(uint8_t *bitmap, int32_t tx, int32_t rx);
LUMA_EXPORT void ClearNodeBitmap(uint8_t *bitmap, int32_t tx, int32_t rx);
LUMA_EXPORT uint8_t IsNodeBitmapSet(const uint8_t *bitmap, int32_t tx, int32_t rx);
LUMA_EXPORT void AppUpdateAreaBound(LumaAreaBound *bounds, int32_t tx, int32_t rx);

// Cells reached from (tx, rx) with diff at least threshold inside the window of range r
// about (ctx, crx); marks them in visited (one byte per cell) and widens bounds.
LUMA_EXPORT int32_t AppCalcConnectedArea(const int16_t *diff, uint8_t *visited, LumaAreaBound *bounds, int32_t tx,
                                         int32_t rx, int16_t threshold, int32_t ctx, int32_t crx, int32_t range);
// 1 when (ttx, trx) is reachable from (tx, rx) through eight-connected cells of the window.
LUMA_EXPORT uint8_t AppSearchConnectedPeaks(const int16_t *diff, uint8_t *visited, int32_t tx, int32_t rx,
                                            int16_t threshold, int32_t ttx, int32_t trx, int32_t ctx, int32_t crx,
                                            int32_t range);
// Breadth-first region; the first max_points accepted cells are written to points.
LUMA_EXPORT int32_t AppCalcConnectedAreaBFS(const int16_t *diff, uint8_t *visited, LumaAreaPoint *points,
                                            int32_t max_points, LumaAreaBound *bounds, int32_t tx, int32_t rx,
                                            int16_t threshold, int32_t ctx, int32_t crx, int32_t range);
// Breadth-first region that only descends from the start (a step may rise by 30 at most,
// never above the start); accumulates into area, whose bitmap the caller clears.
LUMA_EXPORT int32_t AppGetPeakAreaBFS(const int16_t *diff, LumaPeakArea *area, int32_t tx, int32_t rx,
                                      int16_t threshold, int32_t range);

// Shape measure in fixed point with 10 fractional bits.
LUMA_EXPORT void mean_centering(LumaAreaPoint *points, int32_t n, int32_t mean[2]);
LUMA_EXPORT void calculate_covariance_matrix(const LumaAreaPoint *points, int32_t n, int64_t cov[2][2]);
LUMA_EXPORT void eigen_decomposition(const int64_t cov[2][2], double eig[2]);
// sqrt(larger / smaller); 10.0 when the smaller eigenvalue is 0.
LUMA_EXPORT double calculate_aspect_ratio(const double eig[2]);

// Attribute word of every mutual peak: low byte the cell count of its region, high byte
// ten times its aspect ratio (0 for a degenerate region), each at most 255.
LUMA_EXPORT void ApppCalPeakRatio(void);

#ifdef __cplusplus
}
#endif
