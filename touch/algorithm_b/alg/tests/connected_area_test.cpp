// Connected regions of the mutual diff matrix and the per-peak size and shape word.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "luma_area.h"
#include "luma_peaks.h"
#include "luma_search.h"

namespace {

constexpr int kTx = 17;
constexpr int kRx = 38;

class ConnectedArea : public ::testing::Test {
 protected:
  void SetUp() override {
    register_alg_module(nullptr);
    alg_module_init();
    ASSERT_EQ(g_stFrmData.pssMcDiff, g_stFrmData.assMcDiff);
    ASSERT_EQ(g_stFrmInfo.aucCfgCopy[4], kTx);
    ASSERT_EQ(g_stFrmInfo.aucCfgCopy[5], kRx);
    Clear();
  }
  void Clear() {
    std::memset(g_stFrmData.assMcDiff, 0, sizeof(g_stFrmData.assMcDiff));
    std::memset(visited_, 0, sizeof(visited_));
  }
  static void Set(int tx, int rx, int16_t v) { g_stFrmData.assMcDiff[tx * kRx + rx] = v; }
  static void Block(int tx0, int tx1, int rx0, int rx1, int16_t v) {
    for (int t = tx0; t <= tx1; ++t)
      for (int r = rx0; r <= rx1; ++r) Set(t, r, v);
  }
  static const int16_t *Diff() { return g_stFrmData.assMcDiff; }
  static LumaAreaBound Start(int tx, int rx) {
    return {static_cast<uint8_t>(tx), static_cast<uint8_t>(tx), static_cast<uint8_t>(rx), static_cast<uint8_t>(rx)};
  }
  uint8_t visited_[LUMA_MAX_NODES];
};

TEST_F(ConnectedArea, QueueHoldsOneLessThanItsLength) {
  LumaAreaQueue q;
  q.usHead = 5;
  q.usTail = 300;  // stale ends from an earlier use
  InitQueueArea(&q);
  EXPECT_EQ(DequeueArea(&q), 0);
  EXPECT_EQ(q.usHead, q.usTail);
  for (int i = 0; i < LUMA_AREA_QUEUE_LEN - 1; ++i) EnqueueArea(&q, static_cast<uint16_t>(i + 1));
  const LumaAreaQueue full = q;
  EnqueueArea(&q, 0xBEEF);
  EXPECT_EQ(std::memcmp(&q, &full, sizeof(q)), 0);
  for (int i = 0; i < LUMA_AREA_QUEUE_LEN - 1; ++i) ASSERT_EQ(DequeueArea(&q), i + 1);
  EXPECT_EQ(DequeueArea(&q), 0);
  // Wrapped around the end, it still gives cells back in order.
  EnqueueArea(&q, 7);
  EnqueueArea(&q, 8);
  EXPECT_EQ(DequeueArea(&q), 7);
  EXPECT_EQ(DequeueArea(&q), 8);
}

TEST_F(ConnectedArea, BitmapAddressesOneBitPerCell) {
  uint8_t map[LUMA_AREA_BITMAP_BYTES] = {};
  SetNodeBitmap(map, 1, 3);  // index 41: byte 5, bit 1
  EXPECT_EQ(map[5], 0x02);
  EXPECT_EQ(IsNodeBitmapSet(map, 1, 3), 1);
  EXPECT_EQ(IsNodeBitmapSet(map, 1, 2), 0);
  SetNodeBitmap(map, kTx - 1, kRx - 1);
  EXPECT_EQ(IsNodeBitmapSet(map, kTx - 1, kRx - 1), 1);
  ClearNodeBitmap(map, 1, 3);
  EXPECT_EQ(map[5], 0);
}

TEST_F(ConnectedArea, FloodFillStaysInItsWindow) {
  struct Case {
    const char *name;
    int tx, rx, ctx, crx, range;
    int expected;
    LumaAreaBound bounds;
  };
  // A plate above the threshold everywhere: only the window limits the fill. Range 10
  // allows 4 Tx lines and 6 Rx lines either side (9 x 13 cells).
  const Case cases[] = {
      {"centred", 8, 19, 8, 19, 10, 117, {4, 12, 13, 25}},
      {"started at the window's right edge", 8, 25, 8, 19, 10, 117, {4, 12, 13, 25}},
      {"narrow", 8, 19, 8, 19, 4, 21, {7, 9, 16, 22}},
      {"start outside the window", 8, 30, 8, 19, 10, 0, {8, 8, 30, 30}},
      {"negative start", -1, 19, 8, 19, 10, 0, {255, 0, 255, 0}},
      {"start past the Tx lines", kTx, 19, 8, 19, 10, 0, {255, 0, 255, 0}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    Clear();
    Block(0, kTx - 1, 0, kRx - 1, 300);
    LumaAreaBound b = c.tx >= 0 && c.tx < kTx ? Start(c.tx, c.rx) : LumaAreaBound{255, 0, 255, 0};
    EXPECT_EQ(AppCalcConnectedArea(Diff(), visited_, &b, c.tx, c.rx, 200, c.ctx, c.crx, c.range), c.expected);
    EXPECT_EQ(std::memcmp(&b, &c.bounds, sizeof(b)), 0)
        << int(b.ucTxMin) << " " << int(b.ucTxMax) << " " << int(b.ucRxMin) << " " << int(b.ucRxMax);
  }
}

TEST_F(ConnectedArea, FloodFillFollowsTheThresholdAndVisitedCells) {
  // An L-shaped touch and a separate cell: the fill takes the L only, once.
  Block(5, 9, 10, 10, 300);
  Block(9, 9, 11, 14, 300);
  Set(9, 15, 199);
  Set(5, 16, 300);
  LumaAreaBound b = Start(5, 10);
  EXPECT_EQ(AppCalcConnectedArea(Diff(), visited_, &b, 5, 10, 200, 7, 12, 14), 9);
  EXPECT_EQ(b.ucTxMax, 9);
  EXPECT_EQ(b.ucRxMax, 14);
  int marked = 0;
  for (uint8_t v : visited_) marked += v;
  EXPECT_EQ(marked, 9);
  EXPECT_EQ(AppCalcConnectedArea(Diff(), visited_, &b, 9, 12, 200, 7, 12, 14), 0);
}

TEST_F(ConnectedArea, ReachabilityThroughDiagonalNeighbours) {
  struct Case {
    const char *name;
    int gap_value;  // the cell joining the two blobs diagonally
    int range;
    uint8_t expected;
  };
  const Case cases[] = {
      {"joined diagonally", 300, 18, 1},
      {"joining cell below the threshold", 100, 18, 0},
      {"target outside the window", 300, 6, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    Clear();
    Block(4, 5, 10, 11, 300);
    Set(6, 12, static_cast<int16_t>(c.gap_value));
    Block(7, 8, 13, 14, 300);
    EXPECT_EQ(AppSearchConnectedPeaks(Diff(), visited_, 4, 10, 200, 8, 14, 4, 10, c.range), c.expected);
  }
  Clear();
  Set(3, 3, 300);
  EXPECT_EQ(AppSearchConnectedPeaks(Diff(), visited_, 3, 3, 200, 3, 3, 3, 3, 4), 1);
  EXPECT_EQ(AppSearchConnectedPeaks(Diff(), visited_, 3, 3, 200, 3, 3, 3, 3, 4), 0);  // visited now
  EXPECT_EQ(AppSearchConnectedPeaks(Diff(), visited_, -1, 3, 200, 3, 3, 3, 3, 4), 0);
}

TEST_F(ConnectedArea, BreadthFirstRegionWindowAndPointList) {
  // A full column: range 20 reaches 15 Tx lines from the centre, never the 16th.
  Block(0, kTx - 1, 5, 5, 300);
  LumaAreaPoint points[4];
  LumaAreaBound b = Start(0, 5);
  EXPECT_EQ(AppCalcConnectedAreaBFS(Diff(), visited_, points, 4, &b, 0, 5, 200, 0, 5, 20), 16);
  EXPECT_EQ(b.ucTxMax, 15);
  // Breadth-first order, and only as many points as asked for.
  EXPECT_EQ(points[0].tx, 0);
  EXPECT_EQ(points[1].tx, 1);
  EXPECT_EQ(points[3].tx, 3);
  EXPECT_EQ(points[3].rx, 5);
  // Already visited start.
  EXPECT_EQ(AppCalcConnectedAreaBFS(Diff(), visited_, points, 4, &b, 0, 5, 200, 0, 5, 20), 0);
  Clear();
  EXPECT_EQ(AppCalcConnectedAreaBFS(Diff(), visited_, points, 4, &b, kTx, 5, 200, 0, 5, 20), 0);
}

TEST_F(ConnectedArea, DescendingRegionStopsWhereTheSignalRisesAgain) {
  // One row: 300 400 450 [500] 480 520 600. From 480 the step to 520 climbs by 40.
  const int16_t row[] = {300, 400, 450, 500, 480, 520, 600};
  for (int i = 0; i < 7; ++i) Set(8, 15 + i, row[i]);
  Set(7, 18, 510);  // above the start: never taken
  LumaPeakArea area{};
  area.stBound = Start(8, 18);
  EXPECT_EQ(AppGetPeakAreaBFS(Diff(), &area, 8, 18, 100, 20), 5);
  EXPECT_EQ(area.slDiffSum, 300 + 400 + 450 + 500 + 480);
  EXPECT_EQ(area.stBound.ucRxMin, 15);
  EXPECT_EQ(area.stBound.ucRxMax, 19);
  EXPECT_EQ(area.stBound.ucTxMin, 8);
}

TEST_F(ConnectedArea, ShapeMeasureOfABlock) {
  // 3 x 5 cells: variances 10/14 and 30/14 of a line pitch squared, ratio sqrt(3).
  std::vector<LumaAreaPoint> pts;
  for (int t = 0; t < 3; ++t)
    for (int r = 0; r < 5; ++r) pts.push_back({t + 4, r + 10});
  int32_t mean[2];
  int64_t cov[2][2];
  double eig[2];
  mean_centering(pts.data(), static_cast<int32_t>(pts.size()), mean);
  EXPECT_EQ(mean[0], 5 * 1024);
  EXPECT_EQ(mean[1], 12 * 1024);
  EXPECT_EQ(pts[0].tx, -1024);
  EXPECT_EQ(pts[0].rx, -2048);
  calculate_covariance_matrix(pts.data(), static_cast<int32_t>(pts.size()), cov);
  EXPECT_EQ(cov[0][0], 10 * 1024 / 14);
  EXPECT_EQ(cov[1][1], 30 * 1024 / 14);
  EXPECT_EQ(cov[0][1], 0);
  eigen_decomposition(cov, eig);
  EXPECT_DOUBLE_EQ(eig[0], 2194.0);
  EXPECT_DOUBLE_EQ(eig[1], 731.0);
  EXPECT_NEAR(calculate_aspect_ratio(eig), 1.732, 0.001);
  const double line[2] = {500.0, 0.0};
  EXPECT_EQ(calculate_aspect_ratio(line), 10.0);
}

TEST_F(ConnectedArea, PeakWordFromTheFramePeakSearch) {
  struct Case {
    const char *name;
    void (*draw)();
    uint16_t expected;  // count | ratio x 10 << 8
    bool searched;      // the frame's peak search lists the peak; else it is listed by hand
  };
  const Case cases[] = {
      {"single cell", [] {}, 1, true},
      {"line along one Rx", [] { Block(6, 10, 19, 19, 400); }, 5, true},
      {"3 x 5 block", [] { Block(7, 9, 17, 21, 400); }, static_cast<uint16_t>(15 | 17 << 8), true},
      // The whole plate (which the peak search takes for no finger): 646 cells saturate
      // the count byte; ratio sqrt(1443 / 288).
      {"palm-sized plate", [] { Block(0, kTx - 1, 0, kRx - 1, 400); }, static_cast<uint16_t>(255 | 22 << 8), false},
      // A full row with one cell beside it: ratio about 69, which saturates at 255.
      {"long trail", [] {
         Block(8, 8, 0, kRx - 1, 400);
         Set(9, 19, 400);
       },
       static_cast<uint16_t>(39 | 255 << 8), true},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    Clear();
    c.draw();
    Set(8, 19, 500);
    AppSearchPeakThSet(1);
    AppMcSearchPeakPoint();
    if (!c.searched) {
      g_stPeakData.ucMcPosPeakNum = 1;
      g_stPeakData.aucMcPeakPos[0] = 8;
      g_stPeakData.aucMcPeakPos[1] = 19;
    }
    int found = -1;
    for (int k = 0; k < g_stPeakData.ucMcPosPeakNum; ++k)
      if (g_stPeakData.aucMcPeakPos[2 * k] == 8 && g_stPeakData.aucMcPeakPos[2 * k + 1] == 19) found = k;
    ASSERT_GE(found, 0);
    std::memset(g_stPeakData.ausMcPeakAttr, 0xAA, sizeof(g_stPeakData.ausMcPeakAttr));
    ApppCalPeakRatio();
    EXPECT_EQ(g_stPeakData.ausMcPeakAttr[found], c.expected);
  }
}

TEST_F(ConnectedArea, WeakPeakHasAnEmptyRegion) {
  // The region threshold never drops below 100.
  Set(3, 3, 90);
  g_stPeakData.ucMcPosPeakNum = 1;
  g_stPeakData.aucMcPeakPos[0] = 3;
  g_stPeakData.aucMcPeakPos[1] = 3;
  g_stPeakData.ausMcPeakAttr[0] = 0x1234;
  ApppCalPeakRatio();
  EXPECT_EQ(g_stPeakData.ausMcPeakAttr[0], 0);
}

}  // namespace
