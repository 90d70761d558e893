// Edge ratios: for a touch resting at an edge or a corner of the sensor grid, each frame
// records how strong the nodes beside its down node are compared with the node itself,
// together with where the touch is. A fingertip keeps that ratio low and steady; the palm or
// the thumb ball of a gripping hand spreads inward and the ratio climbs. The grip state
// machine reads these histories. The small statistics over byte histories live here too.
#include <algorithm>
#include <cstring>

#include "edge_internal.h"
#include "luma_peaks.h"

using namespace edge;

namespace {

constexpr uint8_t kEdgeNoSignal = 255;  // edge ratio when the node itself has no signal
constexpr uint8_t kEdgeRatioMax = 150;
constexpr uint8_t kCornerNoSignal = 201;
constexpr uint8_t kCornerRatioMax = 200;
constexpr int16_t kMarkLevel = 70;      // diff at which a node belongs to a touch's area
constexpr uint8_t kMarkMost = 30;       // the flood fill counts no further

uint8_t Tx() { return g_stFrmInfo.aucCfgCopy[4]; }
uint8_t Rx() { return g_stFrmInfo.aucCfgCopy[5]; }

// The diff at a node with a negative value counted as no signal.
int32_t Pos(int row, int col) {
  if (row < 0 || col < 0) return 0;
  return std::max<int32_t>(AppMcGetDiff(static_cast<uint8_t>(row), static_cast<uint8_t>(col)), 0);
}

// The history length: the early-contact window, never past the room of a history.
uint8_t HisLimit() { return std::min<uint8_t>(EdgeTime(LUMA_ET_EARLY), LUMA_EDGE_HIS_LEN); }

bool DownFrame(uint8_t id) { return Event(id).ucEvent == LUMA_EV_DOWN; }

uint8_t CappedRatio(int32_t num, int32_t den, uint8_t cap) {
  const int32_t v = num / den;
  return static_cast<uint8_t>(std::min<int32_t>(std::max<int32_t>(v, 0), cap));
}

}  // namespace

extern "C" {

uint8_t CornerRatio(int32_t edge_sum, int32_t inner_sum) {
  if (edge_sum < 50) return kCornerNoSignal;
  return CappedRatio(inner_sum * 100, edge_sum, kCornerRatioMax);
}

uint8_t AppIsPeakNearby(uint8_t row, uint8_t column) {
  const uint8_t n = std::min<uint8_t>(g_stPeakData.ucMcPosPeakNum, LUMA_MAX_PEAKS);
  if (n < 2) return 0;
  for (uint8_t k = 0; k < n; ++k) {
    const uint8_t tx = g_stPeakData.aucMcPeakPos[2 * k];
    const uint8_t rx = g_stPeakData.aucMcPeakPos[2 * k + 1];
    if (tx == row && rx == column) continue;
    if (std::abs(int{tx} - row) <= 6 && std::abs(int{rx} - column) <= 6) return 1;
  }
  return 0;
}

void CalEdgeRatio(uint8_t row, uint8_t column, uint8_t id, uint8_t side) {
  LumaGripSta &g = Rec(id).stGrip;
  if (DownFrame(id)) {
    g.ucAreaCode = side <= 1 ? 1 : 2;
  } else if (g.ucAreaCode != 1 && g.ucAreaCode != 2) {
    g.ucStop = 1;
    return;
  }
  const int32_t p = AppMcGetDiff(row, column);
  // The neighbours across the edge line: rows for a row edge, columns for a column edge.
  const bool rows = g.ucAreaCode == 1;
  const int limit = rows ? Tx() : Rx();
  const int centre = rows ? row : column;
  int32_t sum = 0;
  int32_t count = 0;
  for (const int d : {-1, 1}) {
    const int k = centre + d;
    if (k < 0 || k >= limit) continue;
    sum += rows ? Pos(k, column) : Pos(row, k);
    ++count;
  }
  const int32_t num = count == 0 ? 0 : 100 * (sum / count);
  // A negative node value with signal beside it reads as the largest ratio; a quotient past
  // the cap saturates rather than wrapping back to a small ratio.
  uint8_t ratio = kEdgeNoSignal;
  if (p != 0) {
    const int32_t q = num / p;
    ratio = (q < 0 || q > kEdgeRatioMax) ? kEdgeRatioMax : static_cast<uint8_t>(q);
  }
  if (g.ucHisCnt < HisLimit()) g.aaucRatio[0][g.ucHisCnt++] = ratio;
  if (rows) g.ucFrameRatio = ratio;
}

// The corner block is always the grid's own corner; the ratio node only chose which one.
uint8_t CalCorEdgeRatio(uint8_t row, uint8_t column, uint8_t id, uint8_t corner) {
  (void)row;
  (void)column;
  LumaEdgePalmSta &r = Rec(id);
  LumaGripSta &g = r.stGrip;
  const uint8_t c = corner & 3;
  g.ucAreaCode = static_cast<uint8_t>(16 * (c + 1));
  // The 3 x 3 block at the grid corner, offsets mirrored toward the inside of the grid.
  const bool last_row = c == 1 || c == 3;
  const bool last_col = c == 2 || c == 3;
  const auto node = [&](int dr, int dc) {
    const int rr = last_row ? Tx() - 1 - dr : dr;
    const int cc = last_col ? Rx() - 1 - dc : dc;
    return Pos(rr, cc);
  };
  const int32_t k = node(0, 0);
  const int32_t e1 = node(0, 1), e2 = node(0, 2), f1 = node(1, 0), f2 = node(2, 0);
  const int32_t i11 = node(1, 1), i12 = node(1, 2), i21 = node(2, 1), i22 = node(2, 2);
  const int32_t se = e1 + e2;
  const int32_t sf = f1 + f2;
  const uint8_t a = CornerRatio(se, i11 + i12);
  const uint8_t b = CornerRatio(sf, i11 + i21);
  const uint8_t cr = CornerRatio(se, i21 + i22);
  const uint8_t d = CornerRatio(sf, i12 + i22);

  const bool extras = DownFrame(id) || r.stFinal.ucCenterTouchSeen != 0;
  uint8_t e = kCornerNoSignal;
  uint8_t f = kCornerNoSignal;
  if (extras) {
    uint8_t node_ratio = 0;
    if ((k >= 201 && i11 < 100) || (k > 100 && i11 < 50)) {
      node_ratio = 100;
    } else if (k > 0 && i11 > 0) {
      node_ratio = static_cast<uint8_t>(std::min<int32_t>(k * 10 / i11, 255));
    }
    r.stFinal.ucCornerNodeRatio = node_ratio;
    r.ssMaxCornerDiff = static_cast<int16_t>(std::max<int32_t>(r.ssMaxCornerDiff, k));
    r.ssMaxInnerDiagDiff = static_cast<int16_t>(std::max<int32_t>(r.ssMaxInnerDiagDiff, i11));
    const int32_t si = i11 + i12;
    if (si >= 50) {
      e = CappedRatio(sf * 10, si, kCornerRatioMax);
      f = CappedRatio(se * 10, si, kCornerRatioMax);
    }
  }
  if (g.ucHisCnt < HisLimit()) {
    const uint8_t n = g.ucHisCnt;
    g.aaucRatio[0][n] = a;
    g.aaucRatio[1][n] = b;
    g.aaucRatio[2][n] = cr;
    g.aaucRatio[3][n] = d;
    if (extras) {
      g.aaucRatio[4][n] = e;
      g.aaucRatio[5][n] = f;
      g.aaucRatio[6][n] = r.stFinal.ucCornerNodeRatio;
    }
    g.ucHisCnt = static_cast<uint8_t>(n + 1);
  }
  return d;
}

void AppCalEdgeRatio(const LumaPoint *entry, uint8_t id) {
  if (entry == nullptr || id >= LUMA_MAX_POINTS) return;
  LumaEdgePalmSta &rec = Rec(id);
  LumaGripSta &g = rec.stGrip;
  const uint8_t r = entry->ucTx;
  const uint8_t c = entry->ucRx;
  if (rec.stFinal.ucPeakNearby == 0) rec.stFinal.ucPeakNearby = AppIsPeakNearby(r, c);
  g.ucFrameRatio = kEdgeNoSignal;
  if (g.ucStop != 0) return;
  if (DownFrame(id)) {
    g.ucRatioRow = r;
    g.ucRatioCol = c;
  }
  const uint16_t x = MapX(entry->x);
  const uint16_t y = MapY(entry->y);
  if (g.ucHisCnt < HisLimit()) {
    g.ausPosX[g.ucHisCnt] = static_cast<uint16_t>(x >> 4);
    g.ausPosY[g.ucHisCnt] = static_cast<uint16_t>(y >> 4);
  }
  g.ssMaxPeakDiff = std::max(g.ssMaxPeakDiff, AppMcGetDiff(r, c));

  const int r0 = g.ucRatioRow;
  const int c0 = g.ucRatioCol;
  const int m = g.ucAreaCode >= 16 ? 3 : 2;
  const int tx = Tx();
  const int rx = Rx();
  const bool top = r0 <= m;
  const bool bottom = r0 >= tx - m - 1;
  const bool left = c0 <= m;
  const bool right = c0 >= rx - m - 1;
  if (top && left) {
    CalCorEdgeRatio(g.ucRatioRow, g.ucRatioCol, id, 0);
  } else if (bottom && left) {
    CalCorEdgeRatio(g.ucRatioRow, g.ucRatioCol, id, 1);
  } else if (right && top) {
    CalCorEdgeRatio(g.ucRatioRow, g.ucRatioCol, id, 2);
  } else if (right && bottom) {
    CalCorEdgeRatio(g.ucRatioRow, g.ucRatioCol, id, 3);
  } else {
    const uint8_t before = g.ucHisCnt;
    uint8_t side;
    if (r0 <= 2) {
      side = 0;
    } else if (r0 >= tx - 3) {
      side = 1;
    } else if (c0 <= 2) {
      side = 2;
    } else if (c0 >= rx - 3) {
      side = 3;
    } else {
      g.ucStop = 1;  // not at an edge: nothing to record for this touch
      return;
    }
    CalEdgeRatio(g.ucRatioRow, g.ucRatioCol, id, side);
    // A touch squeezed against the very border of the first or last drive line carries no
    // inward signal worth comparing.
    const bool recorded = g.ucHisCnt > before;
    if (recorded && ((side == 0 && x < 33) || (side == 1 && x >= PanelW() - 32))) {
      g.aaucRatio[0][g.ucHisCnt - 1] = 0;
    }
  }
}

uint32_t CalSum(const uint8_t *values, uint8_t n) {
  uint32_t sum = 0;
  for (uint8_t k = 0; k < n; ++k) sum += values[k];
  return sum;
}

uint8_t CalAvrage(const uint8_t *values, uint8_t n) {
  if (n == 0) return 0;
  return static_cast<uint8_t>((CalSum(values, n) + n / 2) / n);
}

uint8_t CalStdDev(const uint8_t *values, uint8_t n, uint8_t mean) {
  if (n < 2) return 0;
  uint32_t dev = 0;
  for (uint8_t k = 0; k < n; ++k) dev += static_cast<uint32_t>(std::abs(int{values[k]} - mean));
  return static_cast<uint8_t>(std::min<uint32_t>(dev / n, 255));
}

uint8_t *SlidingWindowAvgFilter(uint8_t *out, const uint8_t *in, uint8_t n) {
  for (int i = 0; i < n; ++i) {
    const int lo = std::max(i - 2, 0);
    const int hi = std::min(i + 2, n - 1);
    uint32_t sum = 0;
    for (int k = lo; k <= hi; ++k) sum += in[k];
    const auto count = static_cast<uint32_t>(hi - lo + 1);
    out[i] = static_cast<uint8_t>((sum + count / 2) / count);
  }
  return out;
}

uint16_t FindMaxAvrageIdx(const uint8_t *values, uint8_t n, uint8_t w) {
  if (w >= n) return 0xFFFF;
  const int half = w / 2;
  uint16_t best = 0;
  uint16_t at = 0xFFFF;
  for (int c = half; c <= n - half - 1; ++c) {
    uint16_t sum = 0;
    for (int k = c - half; k < c - half + w; ++k) sum = static_cast<uint16_t>(sum + values[k]);
    if (sum > best) {
      best = sum;
      at = static_cast<uint16_t>(c);
    }
  }
  return at;
}

// The visited map covers every node of the largest grid this module handles, indexed by the
// frame's own row length, so the fill works on whatever grid the configuration gives.
uint8_t AppMark(uint8_t row, uint8_t column, const int16_t *diff) {
  const uint32_t rows = Tx();
  const uint32_t cols = Rx();
  if (diff == nullptr || rows == 0 || cols == 0 || rows * cols > LUMA_MAX_NODES) return 0;
  if (row >= rows || column >= cols) return 0;
  uint8_t visited[LUMA_MAX_NODES];
  std::memset(visited, 0xFF, sizeof(visited));
  uint8_t count = 0;
  if (diff[row * cols + column] >= kMarkLevel) Mark(row, column, diff, visited, &count);
  return count;
}

void Mark(uint8_t row, uint8_t column, const int16_t *diff, uint8_t *visited, uint8_t *count) {
  const uint32_t rows = Tx();
  const uint32_t cols = Rx();
  if (row >= rows || column >= cols || rows * cols > LUMA_MAX_NODES) return;
  const uint32_t at = row * cols + column;
  if (diff[at] < kMarkLevel || visited[at] != 0xFF || *count >= kMarkMost) return;
  visited[at] = 1;
  ++*count;
  Mark(row, static_cast<uint8_t>(column + 1), diff, visited, count);
  Mark(static_cast<uint8_t>(row + 1), column, diff, visited, count);
  Mark(static_cast<uint8_t>(row - 1), column, diff, visited, count);
  Mark(row, static_cast<uint8_t>(column - 1), diff, visited, count);
}

}  // extern "C"
