// Edge ratios, their statistics and the grip state machine: worked cases on the module's own
// 17 x 38 grid, the machine driven with prepared histories and through the edge restraint
// frame.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "luma_edge.h"
#include "luma_env.h"
#include "luma_peaks.h"

namespace {

constexpr uint8_t kDown = 0;
constexpr uint8_t kUp = 1;
constexpr uint8_t kContact = 2;

class Grip : public ::testing::Test {
 protected:
  void SetUp() override {
    register_alg_module(nullptr);
    alg_module_init();
    g_stSysParam.ucDispDirection = 0;
    g_stSysParam.ucGameMode = 0;
    std::memset(s_stEdgePalmSta, 0, sizeof(s_stEdgePalmSta));
    AppEdgePalmInit();
    g_stFrmData.pssMcDiff = g_stFrmData.assMcDiff;
    std::memset(g_stFrmData.assMcDiff, 0, sizeof(g_stFrmData.assMcDiff));
    std::memset(&g_stPeakData, 0, sizeof(g_stPeakData));
    std::memset(g_stTouchData.astPoint, 0xFF, sizeof(g_stTouchData.astPoint));
    g_stTouchData.ucPointNum = 0;
    for (auto &e : g_stTouchData.astEvent) e.ucEvent = 3;
    std::memset(&g_stGrabSta, 0, sizeof(g_stGrabSta));
  }
  void TearDown() override {
    g_stSysParam.ucDispDirection = 0;
    g_stSysParam.ucGameMode = 0;
    AppEdgeTimeParaUpdate();
  }

  static int Tx() { return g_stFrmInfo.aucCfgCopy[4]; }
  static int Rx() { return g_stFrmInfo.aucCfgCopy[5]; }
  static void SetDiff(int tx, int rx, int16_t v) { g_stFrmData.assMcDiff[tx * Rx() + rx] = v; }

  // A touch of ID id at node (tx, rx) and raw position (x, y), in the given event state.
  static LumaPoint Touch(uint8_t id, uint8_t tx, uint8_t rx, uint32_t x, uint32_t y, uint8_t event) {
    LumaPoint p;
    std::memset(&p, 0, sizeof(p));
    p.x = x;
    p.y = y;
    p.id = id;
    p.ucTx = tx;
    p.ucRx = rx;
    g_stTouchData.astEvent[id].ucEvent = event;
    return p;
  }
  static LumaGripSta &G(uint8_t id) { return s_stEdgePalmSta[id].stGrip; }
  static void Fill(uint8_t id, const std::vector<uint8_t> &h, int history = 0) {
    std::memcpy(G(id).aaucRatio[history], h.data(), h.size());
    G(id).ucHisCnt = static_cast<uint8_t>(h.size());
  }
};

TEST_F(Grip, ByteStatistics) {
  const uint8_t one_two[] = {1, 2};
  EXPECT_EQ(CalSum(one_two, 2), 3u);
  EXPECT_EQ(CalSum(one_two, 0), 0u);
  EXPECT_EQ(CalAvrage(one_two, 2), 2);  // rounded
  EXPECT_EQ(CalAvrage(one_two, 0), 0);
  const uint8_t spread[] = {0, 50, 100, 250};
  EXPECT_EQ(CalAvrage(spread, 4), 100);
  EXPECT_EQ(CalStdDev(spread, 4, 100), (100 + 50 + 0 + 150) / 4);
  EXPECT_EQ(CalStdDev(spread, 1, 0), 0);  // a single value has no spread
  const uint8_t full[] = {255, 255, 255};
  EXPECT_EQ(CalSum(full, 3), 765u);
  EXPECT_EQ(CalAvrage(full, 3), 255);
  EXPECT_EQ(CalStdDev(full, 3, 0), 255);

  // Windows of up to five values, shrinking at the ends.
  const uint8_t in3[] = {10, 20, 31};
  uint8_t out[8] = {};
  EXPECT_EQ(SlidingWindowAvgFilter(out, in3, 3), out);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(out[i], 20) << i;  // 61 / 3 rounded, each window all three
  const uint8_t in6[] = {0, 0, 0, 100, 0, 0};
  SlidingWindowAvgFilter(out, in6, 6);
  const uint8_t want6[] = {0, 25, 20, 20, 25, 33};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(out[i], want6[i]) << i;
}

TEST_F(Grip, StrongestWindowCentre) {
  struct Case {
    std::vector<uint8_t> v;
    uint8_t w;
    uint16_t centre;
  };
  const Case cases[] = {
      {{1, 2, 9, 9, 2, 1}, 3, 2},        // two equal windows: the first wins
      {{1, 2, 3, 4, 5, 6}, 3, 4},        // the last window there is: centre n - w/2 - 1
      {{9, 0, 0, 0, 0, 0}, 3, 1},
      {{0, 0, 0, 0}, 3, 0xFFFF},         // nothing but zeros
      {{5, 5, 5}, 3, 0xFFFF},            // no room for the window
      {{1, 2, 3, 4, 5, 6}, 4, 3},        // even width: window starts at c - 2
      {{200, 200, 200, 200, 200}, 1, 0},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(FindMaxAvrageIdx(c.v.data(), static_cast<uint8_t>(c.v.size()), c.w), c.centre)
        << "w " << int{c.w} << " first " << int{c.v[0]};
  }
}

TEST_F(Grip, RatioScores) {
  struct Case {
    std::vector<uint8_t> h;
    uint8_t largest_count;
    uint8_t score;
  };
  std::vector<uint8_t> flat(20, 50);
  std::vector<uint8_t> rising(20, 60);
  rising[0] = rising[1] = rising[2] = 3;
  std::vector<uint8_t> low(20, 7);
  const Case cases[] = {
      {{201, 50, 50}, 9, 1},        // a corner history without signal
      {low, 9, 0},                  // never above 7
      {{8, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 9, 0},  // mean below 2
      {{40, 50, 60}, 9, 10},        // too short to tell
      {flat, 9, 11},                // a steady finger: 10, raised to the floor
      {flat, 3, 11},                // 10 less 90 percent, raised to the floor
      {rising, 9, 200},             // 60 x 10 / 3
      {rising, 3, 170},             // 200 less 15 percent
      {{1, 1, 1, 90, 90, 90}, 9, 220},  // 900, capped
      {{0, 0, 0, 30, 30, 30}, 3, 220},  // from nothing: 300, no reduction, capped
  };
  for (const Case &c : cases) {
    EXPECT_EQ(RatioAnalyse(c.h.data(), static_cast<uint8_t>(c.h.size()), c.largest_count), c.score)
        << "first " << int{c.h[0]} << " n " << c.h.size() << " count " << int{c.largest_count};
  }
  EXPECT_EQ(RatioAnalyse(flat.data(), 0, 9), 0);

  struct CornerCase {
    std::vector<uint8_t> h;
    uint8_t score;
  };
  const CornerCase corner[] = {
      {{201, 50, 50, 50}, 1},
      {std::vector<uint8_t>(20, 9), 0},          // never 10
      {{10, 1, 1, 1, 1, 1, 1}, 0},               // mean below 3
      {{5, 5, 5, 50, 50, 201, 200, 200}, 70},    // 200s after a gap without signal do not count
      {{20, 201, 200, 200, 200}, 10},            // one sample before the gap
      {{5, 5, 5, 60, 60, 60}, 120},              // no largest-count reduction
  };
  for (const CornerCase &c : corner) {
    EXPECT_EQ(RatioAnalyseCorner(c.h.data(), static_cast<uint8_t>(c.h.size())), c.score)
        << "first " << int{c.h[0]} << " n " << c.h.size();
  }
}

// The edge ratio of a touch on the first drive line: the line beside it against its node.
TEST_F(Grip, EdgeRatioOfTheFirstLine) {
  struct Case {
    int16_t node;
    int16_t beside;
    uint8_t ratio;
  };
  const Case cases[] = {
      {400, 200, 50}, {400, 0, 0}, {400, -300, 0},  // negative neighbours count as no signal
      {0, 200, 255},                                // nothing at the node: no ratio
      {100, 400, 150},                              // capped
      {-50, 200, 150},                              // a dip at the node with signal beside it
      {-50, 0, 0},
      {1, 656, 150},  // 65600: saturates instead of wrapping to 64
  };
  for (const Case &c : cases) {
    SetUp();
    SetDiff(0, 19, c.node);
    SetDiff(1, 19, c.beside);
    ASSERT_GE(XMappingNotch(1600), 33);
    const LumaPoint p = Touch(0, 0, 19, 1600, 20000, kDown);
    AppCalEdgeRatio(&p, 0);
    const LumaGripSta &g = G(0);
    EXPECT_EQ(g.ucAreaCode, 1);
    EXPECT_EQ(g.ucHisCnt, 1);
    EXPECT_EQ(g.aaucRatio[0][0], c.ratio) << c.node << "/" << c.beside;
    EXPECT_EQ(g.ucFrameRatio, c.ratio);
    EXPECT_EQ(g.ucStop, 0);
  }
}

TEST_F(Grip, EdgeRatioFollowsTheDownNodeAndStopsAwayFromTheEdges) {
  // A touch on the last sense line: a column edge, compared with the sense line inside it
  // (the drive lines beside it do not count).
  SetDiff(8, Rx() - 1, 300);
  SetDiff(8, Rx() - 2, 150);
  SetDiff(7, Rx() - 1, 900);
  SetDiff(9, Rx() - 1, 900);
  LumaPoint p = Touch(1, 8, static_cast<uint8_t>(Rx() - 1), 9000, 43000, kDown);
  AppCalEdgeRatio(&p, 1);
  EXPECT_EQ(G(1).ucAreaCode, 2);
  EXPECT_EQ(G(1).aaucRatio[0][0], 50);  // 100 x 150 / 300
  EXPECT_EQ(G(1).ucFrameRatio, 255);    // only row edges give a frame ratio
  EXPECT_EQ(G(1).ausPosX[0], XMappingNotch(9000) >> 4);
  EXPECT_EQ(G(1).ausPosY[0], YMappingNotch(43000) >> 4);
  // Later frames keep measuring at the down node, wherever the peak has gone.
  p = Touch(1, 12, 20, 9000, 40000, kContact);
  AppCalEdgeRatio(&p, 1);
  EXPECT_EQ(G(1).ucHisCnt, 2);
  EXPECT_EQ(G(1).aaucRatio[0][1], 50);
  EXPECT_EQ(G(1).ucStop, 0);

  // A touch down in the middle of the grid is never recorded.
  p = Touch(2, 8, 19, 9000, 20000, kDown);
  AppCalEdgeRatio(&p, 2);
  EXPECT_EQ(G(2).ucStop, 1);
  EXPECT_EQ(G(2).ucHisCnt, 0);
  p = Touch(2, 0, 19, 300, 20000, kContact);
  AppCalEdgeRatio(&p, 2);
  EXPECT_EQ(G(2).ucHisCnt, 0);
  EXPECT_EQ(G(2).ucFrameRatio, 255);

  // Squeezed against the very border of the first line: the ratio is taken as 0.
  SetDiff(0, 19, 400);
  SetDiff(1, 19, 200);
  p = Touch(3, 0, 19, 0, 20000, kDown);
  ASSERT_LT(XMappingNotch(0), 33);
  AppCalEdgeRatio(&p, 3);
  EXPECT_EQ(G(3).aaucRatio[0][0], 0);
}

TEST_F(Grip, HistoriesStopAtTheEarlyContactWindow) {
  SetDiff(0, 19, 400);
  SetDiff(1, 19, 100);
  for (const uint8_t game : {0, 1}) {
    g_stSysParam.ucGameMode = game;
    AppEdgeTimeParaUpdate();
    LumaPoint p = Touch(0, 0, 19, 1600, 20000, kDown);
    AppEdgeRatioInit(0);
    AppCalEdgeRatio(&p, 0);
    for (int k = 0; k < 60; ++k) {
      p = Touch(0, 0, 19, 1600, static_cast<uint32_t>(20000 + 16 * k), kContact);
      AppCalEdgeRatio(&p, 0);
    }
    EXPECT_EQ(G(0).ucHisCnt, game != 0 ? 40 : 20);
    EXPECT_EQ(G(0).aaucRatio[0][G(0).ucHisCnt - 1], 25);
    EXPECT_EQ(G(0).aaucRatio[1][0], 0) << "the next history is untouched";
  }
}

// The corner ratios come from the 3 x 3 block at the grid corner, mirrored to each corner.
TEST_F(Grip, CornerRatiosOfEachCorner) {
  // K E1 E2 / F1 I11 I12 / F2 I21 I22, from the corner node inward.
  const int16_t block[3][3] = {{500, 100, 60}, {120, 80, 40}, {30, 20, 10}};
  struct Case {
    uint8_t corner;
    uint8_t tx;
    uint8_t rx;
    uint8_t code;
  };
  const Case cases[] = {{0, 1, 1, 16},
                        {1, static_cast<uint8_t>(Tx() - 2), 1, 32},
                        {2, 1, static_cast<uint8_t>(Rx() - 2), 48},
                        {3, static_cast<uint8_t>(Tx() - 2), static_cast<uint8_t>(Rx() - 2), 64}};
  for (const Case &c : cases) {
    SetUp();
    for (int dr = 0; dr < 3; ++dr) {
      for (int dc = 0; dc < 3; ++dc) {
        const int row = (c.corner & 1) != 0 ? Tx() - 1 - dr : dr;
        const int col = (c.corner & 2) != 0 ? Rx() - 1 - dc : dc;
        SetDiff(row, col, block[dr][dc]);
      }
    }
    const LumaPoint p = Touch(4, c.tx, c.rx, 9000, 20000, kDown);
    AppCalEdgeRatio(&p, 4);
    const LumaGripSta &g = G(4);
    EXPECT_EQ(g.ucAreaCode, c.code);
    // SE = 160, SF = 150, SI = 120.
    EXPECT_EQ(g.aaucRatio[0][0], 75) << int{c.corner};   // (80 + 40) x 100 / 160
    EXPECT_EQ(g.aaucRatio[1][0], 66) << int{c.corner};   // (80 + 20) x 100 / 150
    EXPECT_EQ(g.aaucRatio[2][0], 18) << int{c.corner};   // (20 + 10) x 100 / 160
    EXPECT_EQ(g.aaucRatio[3][0], 33) << int{c.corner};   // (40 + 10) x 100 / 150
    EXPECT_EQ(g.aaucRatio[4][0], 12) << int{c.corner};   // 150 x 10 / 120
    EXPECT_EQ(g.aaucRatio[5][0], 13) << int{c.corner};   // 160 x 10 / 120
    EXPECT_EQ(g.aaucRatio[6][0], 100) << int{c.corner};  // K above 201, I11 below 100
    EXPECT_EQ(s_stEdgePalmSta[4].ssMaxCornerDiff, 500);
    EXPECT_EQ(s_stEdgePalmSta[4].ssMaxInnerDiagDiff, 80);
    EXPECT_EQ(g.ucHisCnt, 1);
  }
  // Weak edges: no signal to compare with.
  SetUp();
  SetDiff(0, 1, 20);
  SetDiff(0, 2, 20);
  SetDiff(1, 0, 100);
  SetDiff(1, 1, 90);
  const LumaPoint p = Touch(4, 0, 0, 300, 300, kDown);
  AppCalEdgeRatio(&p, 4);
  EXPECT_EQ(G(4).aaucRatio[0][0], 201);
  EXPECT_EQ(G(4).aaucRatio[1][0], 90);
  EXPECT_EQ(G(4).aaucRatio[2][0], 201);
  EXPECT_EQ(CornerRatio(49, 1000), 201);
  EXPECT_EQ(CornerRatio(50, 1000), 200);
  EXPECT_EQ(CornerRatio(50, -10), 0);
}

// The flood fill of a touch's area works on the real 17 x 38 grid, into its last row and
// column.
TEST_F(Grip, MarkCountsTheConnectedAreaOnTheWholeGrid) {
  ASSERT_EQ(Tx(), 17);
  ASSERT_EQ(Rx(), 38);
  const int last_row = Tx() - 1;
  const int last_col = Rx() - 1;
  // An L along the last row and up the last column, one diagonal node that is not joined,
  // and one node just below the level.
  for (int c = last_col - 3; c <= last_col; ++c) SetDiff(last_row, c, 200);
  for (int r = last_row - 3; r < last_row; ++r) SetDiff(r, last_col, 70);
  SetDiff(last_row - 1, last_col - 4, 500);
  SetDiff(last_row, last_col - 4, 69);
  const int16_t *diff = g_stFrmData.assMcDiff;
  EXPECT_EQ(AppMark(static_cast<uint8_t>(last_row), static_cast<uint8_t>(last_col), diff), 7);
  EXPECT_EQ(AppMark(static_cast<uint8_t>(last_row), static_cast<uint8_t>(last_col - 3), diff), 7);
  EXPECT_EQ(AppMark(static_cast<uint8_t>(last_row - 1), static_cast<uint8_t>(last_col - 4), diff), 1);
  EXPECT_EQ(AppMark(static_cast<uint8_t>(last_row), static_cast<uint8_t>(last_col - 4), diff), 0);
  EXPECT_EQ(AppMark(static_cast<uint8_t>(Tx()), 0, diff), 0);
  EXPECT_EQ(AppMark(0, static_cast<uint8_t>(Rx()), diff), 0);
  // A palm-sized area counts no further than 30.
  for (int r = 0; r < 6; ++r) {
    for (int c = 0; c < 10; ++c) SetDiff(r, c, 300);
  }
  EXPECT_EQ(AppMark(2, 3, diff), 30);
}

// The distance of the down position to the nearer side and end, in pixels; both from the
// down sample, never from the sample after it.
TEST_F(Grip, DownPositionDistanceToEdge) {
  const uint32_t w = g_stFwConfig.aulNotchX[0] / 16;
  const uint32_t h = g_stFwConfig.aulNotchY[0] / 16;
  struct Case {
    uint16_t x0, y0, x1, y1;
    uint8_t samples;
    uint32_t distance;
  };
  const Case cases[] = {
      {100, 1000, 5, 1000, 3, 100},
      {static_cast<uint16_t>(w - 100), 1000, 10, 1000, 3, 100},  // the right side: not w - 10
      {500, static_cast<uint16_t>(h - 40), 500, 1, 3, 40},       // the lower end: not h - 1
      {static_cast<uint16_t>(w + 50), 1000, 0, 1000, 3, 0},      // beyond the panel
      {100, 1000, 5, 1000, 2, 0},                                // too few samples
  };
  for (const Case &c : cases) {
    LumaGripSta &g = G(0);
    g.ausPosX[0] = c.x0;
    g.ausPosY[0] = c.y0;
    g.ausPosX[1] = c.x1;
    g.ausPosY[1] = c.y1;
    g.ucHisCnt = c.samples;
    EXPECT_EQ(DownPositionDistanceToEdge(&g), c.distance) << c.x0 << "," << c.y0;
  }
}

// The edge machine on prepared histories, decided when the history is full or on the lift.
TEST_F(Grip, EdgeMachineDecides) {
  std::vector<uint8_t> rising(20, 60);
  rising[0] = rising[1] = rising[2] = 3;
  std::vector<uint8_t> flat(20, 50);
  std::vector<uint8_t> quiet(20, 2);
  std::vector<uint8_t> mid(20, 35);  // 35 x 10 / 10 = 35 with count 9
  mid[0] = mid[1] = mid[2] = 10;
  struct Case {
    const char *name;
    std::vector<uint8_t> h;
    uint8_t largest_count;
    uint8_t state;
    uint8_t kind;
    uint8_t decided;
  };
  const Case cases[] = {
      {"rising ratio", rising, 3, kContact, 1, 1},
      {"steady finger", flat, 3, kContact, 0, 1},
      {"no signal beside", quiet, 3, kContact, 2, 1},
      {"score 35 cut to 11 for a narrow contact", mid, 3, kContact, 0, 1},
      {"score 35, long contact", mid, 9, kContact, 1, 1},
      {"not yet full", std::vector<uint8_t>(rising.begin(), rising.begin() + 10), 3, kContact, 0, 0},
      {"lifted early", std::vector<uint8_t>(rising.begin(), rising.begin() + 10), 3, kUp, 1, 1},
      {"lifted after one frame", {50}, 3, kUp, 0, 1},   // scores 10
      {"one quiet frame", {5}, 3, kUp, 2, 1},           // scores 0
  };
  for (const Case &c : cases) {
    AppEdgeRatioInit(0);
    Fill(0, c.h);
    LumaGripSta &g = G(0);
    g.ucAreaCode = 1;
    g.ucMaxCnt = c.largest_count;
    AppGrapStausUpdateEdge(&g, c.state);
    EXPECT_EQ(g.ucGripKind, c.kind) << c.name;
    EXPECT_EQ(g.ucDecided, c.decided) << c.name;
    if (c.kind == 0 && c.decided != 0) {
      EXPECT_EQ(g.ucGripFlag1, 0) << c.name;
    }
    // Once decided nothing changes any more.
    if (c.decided != 0) {
      Fill(0, flat);
      AppGrapStausUpdateEdge(&g, kUp);
      EXPECT_EQ(g.ucGripKind, c.kind) << c.name;
    }
  }
  // A stopped record is never decided.
  AppEdgeRatioInit(0);
  Fill(0, rising);
  G(0).ucStop = 1;
  G(0).ucGripFlag1 = 1;
  AppGrapStausUpdateEdge(&G(0), kUp);
  EXPECT_EQ(G(0).ucDecided, 0);
  EXPECT_EQ(G(0).ucGripFlag1, 0);
}

TEST_F(Grip, FirstGripFlagEarly) {
  struct Case {
    std::vector<uint8_t> h;
    uint8_t flag;
  };
  std::vector<uint8_t> rising(18, 60);
  rising[0] = rising[1] = rising[2] = 3;
  const Case cases[] = {
      {rising, 1},                       // score at least 20
      {std::vector<uint8_t>(18, 3), 1},  // score 0
      {std::vector<uint8_t>(18, 50), 0},  // score 11
  };
  for (const Case &c : cases) {
    AppEdgeRatioInit(0);
    Fill(0, c.h);
    G(0).ucMaxCnt = 3;
    AppGrapStausUpdateEdge(&G(0), kContact);
    EXPECT_EQ(G(0).ucGripFlag1, c.flag) << int{c.h[0]} << "," << int{c.h[5]};
    EXPECT_EQ(G(0).ucDecided, 0);
  }
  // A ratio that swings about for three frames raises it as well.
  AppEdgeRatioInit(0);
  G(0).ucMaxCnt = 9;
  std::vector<uint8_t> swing = {0, 100};
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(G(0).ucGripFlag1, 0) << k;
    Fill(0, swing);
    AppGrapStausUpdateEdge(&G(0), kContact);
    swing.push_back(k % 2 == 0 ? 0 : 100);
  }
  EXPECT_EQ(G(0).ucUnstableCnt, 3);
  EXPECT_EQ(G(0).ucGripFlag1, 1);
  // The count starts again with the next touch of the ID: one swing is not enough then.
  AppEdgeRatioInit(0);
  EXPECT_EQ(G(0).ucUnstableCnt, 0);
  Fill(0, {0, 100});
  AppGrapStausUpdateEdge(&G(0), kContact);
  EXPECT_EQ(G(0).ucGripFlag1, 0);
}

TEST_F(Grip, CornerFingerAndCornerReasons) {
  struct Case {
    const char *name;
    std::vector<uint8_t> h[4];
    uint8_t moving;
    uint8_t finger;
    uint8_t kind;
  };
  const std::vector<uint8_t> strong(20, 150);
  const std::vector<uint8_t> nothing(20, 5);
  std::vector<uint8_t> rising(20, 60);
  rising[0] = rising[1] = rising[2] = 5;
  const std::vector<uint8_t> steady(20, 50);
  const Case cases[] = {
      {"finger pressing into the corner", {strong, strong, strong, strong}, 0, 1, 0},
      {"finger along both borders", {strong, strong, nothing, nothing}, 0, 3, 0},
      {"strong along the first border only", {std::vector<uint8_t>(20, 120), nothing, nothing, nothing}, 0, 0, 107},
      {"rising along the first border", {rising, steady, steady, steady}, 0, 0, 104},
      {"steady everywhere", {steady, steady, steady, steady}, 0, 0, 0},
      {"steady, a finger moving in the middle", {steady, steady, steady, steady}, 70, 0, 108},
  };
  for (const Case &c : cases) {
    AppEdgeRatioInit(0);
    for (int k = 0; k < 4; ++k) std::memcpy(G(0).aaucRatio[k], c.h[k].data(), 20);
    G(0).ucHisCnt = 20;
    G(0).ucAreaCode = 16;
    G(0).ucRatioRow = 0;
    G(0).ucRatioCol = 0;
    g_stGrabSta.ucMovingCenterCnt = c.moving;
    g_stGrabSta.usSinceGrip = 100;
    AppGrapStausUpdate(&G(0), kContact);
    EXPECT_EQ(G(0).ucDecided, 1) << c.name;
    EXPECT_EQ(G(0).ucGripFlag2, c.finger) << c.name;
    EXPECT_EQ(G(0).ucGripKind, c.kind) << c.name;
    EXPECT_EQ(G(0).ucGripFlag1, c.kind) << c.name;
  }
}

TEST_F(Grip, CornerHistoriesAreCleanedOnlyAtCornerNodes) {
  struct Case {
    uint8_t row;
    uint8_t col;
    uint8_t cleaned;
  };
  const Case cases[] = {{0, 0, 1}, {0, 20, 1}, {16, 0, 1}, {16, 37, 1}, {16, 20, 0}, {2, 0, 0}};
  for (const Case &c : cases) {
    AppEdgeRatioInit(0);
    for (int k = 0; k < 4; ++k) std::memcpy(G(0).aaucRatio[k], std::vector<uint8_t>{201, 30, 201, 60}.data(), 4);
    G(0).ucHisCnt = 4;
    G(0).ucRatioRow = c.row;
    G(0).ucRatioCol = c.col;
    EXPECT_EQ(AppCornerPointRatioModify(&G(0)), c.cleaned) << int{c.row} << "," << int{c.col};
    const uint8_t want_first = c.cleaned != 0 ? 0 : 201;
    for (int k = 0; k < 4; ++k) EXPECT_EQ(G(0).aaucRatio[k][0], want_first) << k;
    if (c.cleaned != 0) {
      EXPECT_EQ(G(0).aaucRatio[1][40], 60);  // maximum
      EXPECT_EQ(G(0).aaucRatio[1][41], 0);   // minimum
      EXPECT_EQ(G(0).aaucRatio[1][42], 23);  // 90 / 4 rounded
    }
  }
}

// Only the touches on the panel count toward the grip: a record keeps its grip kind after
// its touch has gone, and that must not go on widening the edges.
TEST_F(Grip, OnlyTouchesOnThePanelGrip) {
  G(3).ucGripKind = 1;
  G(3).ucGripFlag1 = 1;
  G(5).ucGripKind = 104;
  g_stGrabSta.usSinceGrip = 500;
  AppCollectTouchInfo();
  EXPECT_EQ(g_stGrabSta.ucGripKindCnt, 0);
  EXPECT_EQ(g_stGrabSta.ucGripFlagCnt, 0);
  EXPECT_EQ(g_stGrabSta.usSinceGrip, 501);
  g_stTouchData.astPoint[0] = Touch(3, 0, 19, 300, 20000, kContact);
  g_stTouchData.astPoint[1] = Touch(5, 0, 0, 300, 300, kContact);
  g_stTouchData.ucPointNum = 2;
  AppCollectTouchInfo();
  EXPECT_EQ(g_stGrabSta.ucGripKindCnt, 2);
  EXPECT_EQ(g_stGrabSta.ucGripFlagCnt, 1);
  EXPECT_EQ(g_stGrabSta.ucHoldOff, 70);
  EXPECT_EQ(g_stGrabSta.usSinceGrip, 1);
  // A new touch that takes the ID of a gripping one does not inherit its grip.
  g_stTouchData.astPoint[0] = Touch(3, 8, 19, 9000, 20000, kDown);
  AppCollectTouchInfo();
  EXPECT_EQ(g_stGrabSta.ucGripKindCnt, 1);
  EXPECT_EQ(g_stGrabSta.ucGripFlagCnt, 0);
}

TEST_F(Grip, MovingCentreTouchCountdown) {
  const uint32_t mid_x = g_stFwConfig.aulNotchX[0] / 2;
  const uint32_t mid_y = g_stFwConfig.aulNotchY[0] / 2;
  struct Step {
    uint32_t x;
    uint32_t y;
    uint8_t event;
    uint8_t countdown;
  };
  const Step steps[] = {
      {mid_x, mid_y, kDown, 0},
      {mid_x + 25 * 16, mid_y, kContact, 0},  // 25 pixels: still where it was
      {mid_x + 26 * 16, mid_y, kContact, 69},  // moved: 70, less this frame
      {mid_x + 26 * 16, mid_y, kContact, 68},
  };
  for (const Step &s : steps) {
    g_stTouchData.astPoint[0] = Touch(2, 8, 19, s.x, s.y, s.event);
    g_stTouchData.ucPointNum = 1;
    AppTouchPointMovingStatus();
    EXPECT_EQ(g_stGrabSta.ucMovingCenterCnt, s.countdown) << s.x;
  }
  // A touch at the border does not count, however it moves.
  g_stGrabSta.ucMovingCenterCnt = 0;
  g_stTouchData.astPoint[0] = Touch(3, 0, 19, 100 * 16, mid_y, kDown);
  AppTouchPointMovingStatus();
  for (int k = 1; k < 4; ++k) {
    g_stTouchData.astPoint[0] = Touch(3, 0, 19, 100 * 16, mid_y + 500u * k, kContact);
    AppTouchPointMovingStatus();
  }
  EXPECT_EQ(g_stGrabSta.ucMovingCenterCnt, 0);
  // Landscape clears it.
  g_stGrabSta.ucMovingCenterCnt = 40;
  g_stSysParam.ucDispDirection = 1;
  AppTouchPointMovingStatus();
  EXPECT_EQ(g_stGrabSta.ucMovingCenterCnt, 0);
}

// The edge restraint keeps the countdown once per frame.
TEST_F(Grip, TheFrameKeepsTheMovingCountdown) {
  const uint32_t mid_x = g_stFwConfig.aulNotchX[0] / 2;
  const uint32_t mid_y = g_stFwConfig.aulNotchY[0] / 2;
  g_stTouchData.astPoint[0] = Touch(4, 8, 19, mid_x, mid_y, kDown);
  g_stTouchData.ucPointNum = 1;
  AppEdgePalmFilter();
  EXPECT_EQ(g_stGrabSta.ucMovingCenterCnt, 0);
  g_stTouchData.astPoint[0] = Touch(4, 8, 19, mid_x, mid_y + 40 * 16, kContact);
  g_stTouchData.ucPointNum = 1;
  AppEdgePalmFilter();
  EXPECT_EQ(g_stGrabSta.ucMovingCenterCnt, 69);
  g_stTouchData.ucPointNum = 1;
  AppEdgePalmFilter();
  EXPECT_EQ(g_stGrabSta.ucMovingCenterCnt, 68);
}

}  // namespace
