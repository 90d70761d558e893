// The edge restraint: edge areas, palm tests, corner restraint, contact rules and the frame
// with its actions, the frame driven through the real point chain (IDs, point stage with
// the restraint, mapping, result output).
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "luma_edge.h"
#include "luma_env.h"
#include "luma_front.h"
#include "luma_noise.h"
#include "luma_search.h"

namespace {

struct Touch {
  uint32_t x;
  uint32_t y;
  uint8_t tx = 8;
  uint8_t rx = 19;
  uint8_t area = 2;
};

struct Out {
  uint32_t id;
  uint32_t event;
};

constexpr uint32_t kDown = 0;
constexpr uint32_t kUp = 1;
constexpr uint32_t kContact = 2;

class Edge : public ::testing::Test {
 protected:
  void SetUp() override {
    register_alg_module(nullptr);
    alg_module_init();
    AppPwrFilterInit();
    g_stSysParam.ucGameMode = 1;  // no single-tap precision in the result output
    AppEdgePalmInit();            // edge times of game mode
    g_stSysParam.ucGameMode = 0;
    AppEdgeTimeParaUpdate();
    g_stFrmData.pssMcDiff = g_stFrmData.assMcDiff;
    std::memset(g_stFrmData.assMcDiff, 0, sizeof(g_stFrmData.assMcDiff));
  }
  void TearDown() override {
    g_stSysParam.ucDispDirection = 0;
    g_stSysParam.ucGameMode = 0;
    g_stSysParam.ucGameEdgeLevel = 2;
    AppPwrFilterInit();
  }

  static void SetDiff(int tx, int rx, int16_t v) { g_stFrmData.assMcDiff[tx * LumaFrameRx() + rx] = v; }
  static int LumaFrameRx() { return g_stFrmInfo.aucCfgCopy[5]; }
  static uint16_t MidY() { return static_cast<uint16_t>(g_usMaxPosY / 2); }

  // One frame of the point chain with these touches; the result entries.
  static std::vector<Out> Frame(const std::vector<Touch> &touches) {
    LumaTouchData &t = g_stTouchData;
    for (size_t k = 0; k < touches.size(); ++k) {
      LumaPoint &p = t.astPoint[k];
      std::memset(&p, 0xFF, sizeof(p));
      p.x = touches[k].x;
      p.y = touches[k].y;
      p.weight = 40;
      p.area = touches[k].area;
      p.ucTx = touches[k].tx;
      p.ucRx = touches[k].rx;
    }
    t.ucPointNum = static_cast<uint8_t>(touches.size());
    AppPointFilter(2);
    AppPointIDProcess();
    AppPointFilter(3);
    AppPosMapping();
    const uint8_t n = AppTouchResultOutput();
    AppBackLastState();
    std::vector<Out> out;
    for (uint8_t k = 0; k < n; ++k) out.push_back({g_stRptInfo[k].id, g_stRptInfo[k].event});
    return out;
  }

  // Places touch-list entry index with ID id at a mapped position, in the given event state.
  static void Place(uint8_t index, uint8_t id, uint32_t x, uint32_t y, uint8_t event) {
    LumaPoint &p = g_stTouchData.astPoint[index];
    std::memset(&p, 0, sizeof(p));
    p.x = x;
    p.y = y;
    p.id = id;
    p.ucTx = 8;
    p.ucRx = 19;
    g_stTouchData.astEvent[id].ucEvent = event;
    g_stTouchData.astEvent[id].ucLastEvent = event;
  }
};

::testing::AssertionResult Same(const std::vector<Out> &got, const std::vector<Out> &want) {
  if (got.size() != want.size()) return ::testing::AssertionFailure() << got.size() << " entries";
  for (size_t k = 0; k < got.size(); ++k) {
    if (got[k].id != want[k].id || got[k].event != want[k].event) {
      return ::testing::AssertionFailure() << "entry " << k << ": id " << got[k].id << " event " << got[k].event;
    }
  }
  return ::testing::AssertionSuccess();
}

TEST_F(Edge, PortraitBandsAtTheSideBorders) {
  // With the initial host parameters: outer band 32, middle band 640, inner band 1280.
  struct Case {
    uint16_t distance;
    uint8_t area;
  };
  const Case cases[] = {{20, 1}, {300, 2}, {639, 2}, {1000, 4}, {1279, 4}, {2000, 0}};
  for (const Case &c : cases) {
    EXPECT_EQ(AppGetArea(c.distance, MidY(), 0), c.area) << c.distance;
    EXPECT_EQ(AppGetArea(static_cast<uint16_t>(g_usMaxPosX - c.distance), MidY(), 0), c.area) << c.distance;
  }
}

TEST_F(Edge, CornerZonesAtTheBottomAndNoneAtTheTop) {
  const uint16_t bottom = static_cast<uint16_t>(g_usMaxPosY - 1000);
  EXPECT_EQ(AppGetArea(50, bottom, 0), 17);
  EXPECT_EQ(AppGetArea(400, bottom, 0), 18);
  EXPECT_EQ(AppGetArea(2000, bottom, 0), 20);
  EXPECT_EQ(AppGetArea(static_cast<uint16_t>(g_usMaxPosX / 2), bottom, 0), 0);
  // The initial top corner depth is 0: the top corners are plain edge bands.
  EXPECT_EQ(AppGetArea(400, 1000, 0), 2);
}

// The game edge level names one corner size for the corner bands, the corner restraint and
// the down decision alike; levels without a size of their own take the largest.
TEST_F(Edge, GameEdgeLevelGivesOneCornerSizeEverywhere) {
  struct Case {
    uint8_t level;
    uint16_t size;
  };
  const Case cases[] = {{0, 4480}, {1, 2400}, {2, 4480}, {3, 6400}, {4, 6400}, {255, 6400}};
  g_stSysParam.ucGameMode = 1;
  for (const Case &c : cases) {
    g_stSysParam.ucGameEdgeLevel = c.level;
    EXPECT_EQ(AppGameEdgeCornerSize(c.level), c.size) << int{c.level};
    EdgeAreaPara para{};
    AreaParaSet(&para, 32);
    EXPECT_EQ(para.ausW[12], c.size) << int{c.level};
    EXPECT_EQ(para.ausW[13], c.size) << int{c.level};
  }
  // Landscape with the connector right, a touch resting 5000 from the top-left corner and a
  // new finger in the middle: restrained exactly when the corner size reaches that far.
  g_stSysParam.ucDispDirection = 1;
  s_stEdgePalmSta[0].stDown.x = 1000;
  s_stEdgePalmSta[0].stDown.y = 5000;
  s_stEdgePalmSta[0].ucFramesSinceDown = 0;
  Place(0, 0, 1000, 5000, kContact);
  Place(1, 1, 9000, 10000, kDown);
  g_stTouchData.ucPointNum = 2;
  for (const Case &c : cases) {
    g_stSysParam.ucGameEdgeLevel = c.level;
    EXPECT_EQ(QuonCornerRestrainDispHorizontalCase1(0, 0), c.size > 5000 ? 1 : 0) << int{c.level};
  }
}

TEST_F(Edge, EdgePalmNeedsAWideContact) {
  struct Case {
    uint8_t r1, s1, r2, s2;
    uint8_t down_rx;
    uint8_t orientation;
    uint8_t palm;
  };
  const Case cases[] = {
      {255, 7, 255, 20, 10, 0, 0},  // narrow along the side: never a palm
      {181, 8, 0, 0, 10, 0, 1},     {0, 11, 0, 0, 10, 0, 1},  {41, 10, 0, 0, 10, 0, 1},
      {40, 10, 0, 0, 10, 0, 0},     {60, 8, 0, 0, 10, 0, 0},  {60, 8, 0, 0, 10, 1, 1},
      {0, 8, 81, 8, 10, 0, 1},      {0, 8, 80, 8, 10, 0, 0},  {0, 8, 151, 5, 10, 0, 1},
      {0, 8, 150, 5, 10, 0, 0},     {255, 11, 0, 0, 4, 0, 0},  // too close to the top to judge
  };
  for (const Case &c : cases) {
    g_stSysParam.ucDispDirection = c.orientation;
    LumaEdgePalmSta &r = s_stEdgePalmSta[2];
    r.ucSideRatio = c.r1;
    r.ucSideSpan = c.s1;
    r.ucEndRatio = c.r2;
    r.ucEndSpan = c.s2;
    r.stDown.ucTx = 0;
    r.stDown.ucRx = c.down_rx;
    EXPECT_EQ(IsEdgePalm(2), c.palm) << int{c.r1} << "/" << int{c.s1} << " " << int{c.r2} << "/" << int{c.s2};
  }
}

// A palm along the left border: drive line 0 strong over sense lines 5 to 20, the line
// beside it weak.
void PressPalmDiff() {
  for (int rx = 5; rx <= 20; ++rx) {
    g_stFrmData.assMcDiff[rx] = 600;
    g_stFrmData.assMcDiff[g_stFrmInfo.aucCfgCopy[5] + rx] = 100;
  }
}

TEST_F(Edge, HeldPalmLeavesTheListAndItsLiftIsNotReported) {
  PressPalmDiff();
  const Touch palm{300, 20000, 0, 12, 30};
  const Touch finger{9000, 20000, 8, 19, 2};
  EXPECT_TRUE(Same(Frame({palm, finger}), {{1, kDown}}));
  EXPECT_EQ(g_EdgePalmHoldCnt, 1);
  EXPECT_EQ(g_stTouchData.ucPointNum, 1);
  EXPECT_EQ(s_stEdgePalmSta[0].ucHold, 1);
  EXPECT_EQ(s_stEdgePalmSta[0].ucRestrainKind, 4);
  for (int k = 0; k < 4; ++k) {
    EXPECT_TRUE(Same(Frame({palm, finger}), {{1, kContact}})) << k;
    EXPECT_EQ(g_EdgePalmHoldCnt, 1);
  }
  // The palm kept its touch all along, it did not start again each frame.
  EXPECT_EQ(s_stEdgePalmSta[0].ucFramesSinceDown, 5);
  std::memset(g_stFrmData.assMcDiff, 0, sizeof(g_stFrmData.assMcDiff));
  EXPECT_TRUE(Same(Frame({finger}), {{1, kContact}}));
  EXPECT_EQ(g_stTouchData.astEvent[0].ucEvent, 3);
  EXPECT_TRUE(Same(Frame({}), {{1, kUp}}));
  EXPECT_TRUE(Frame({}).empty());
}

TEST_F(Edge, ShortTapInAnEdgeBandIsNotReportedAtAll) {
  const Touch tap{300, 20000, 0, 19, 2};
  EXPECT_TRUE(Frame({tap}).empty());
  EXPECT_NE(s_stEdgePalmSta[0].ucRestrainKind, 0);
  EXPECT_TRUE(Frame({tap}).empty());
  EXPECT_TRUE(Frame({}).empty());
  EXPECT_TRUE(Frame({}).empty());
}

TEST_F(Edge, HeldTouchThatLiftsIsReportedOnceAsANewDownWhereItWentDown) {
  const Touch held{1000, 20000, 1, 19, 2};
  for (int k = 0; k < 5; ++k) {
    EXPECT_TRUE(Frame({held}).empty()) << k;
    EXPECT_EQ(s_stEdgePalmSta[0].ucRestrainKind, 3) << k;
  }
  // The lift: a down under the highest free ID, at the mapped down position.
  std::vector<Out> out = Frame({});
  ASSERT_TRUE(Same(out, {{8, kDown}}));
  EXPECT_EQ(g_stRptInfo[0].x, XMappingNotch(1000));
  EXPECT_EQ(g_stRptInfo[0].y, YMappingNotch(20000));
  EXPECT_TRUE(Same(Frame({}), {{8, kUp}}));
  EXPECT_TRUE(Frame({}).empty());
}

TEST_F(Edge, UndefinedOrientationFiltersNothingAndKeepsEveryRecordReset) {
  g_stSysParam.ucDispDirection = 170;
  const Touch edge{300, 20000, 0, 19, 2};
  EXPECT_TRUE(Same(Frame({edge}), {{0, kDown}}));
  EXPECT_EQ(s_stEdgePalmSta[0].ucRestrainKind, 0);
  EXPECT_EQ(g_EdgePalmHoldCnt, 0);
  EXPECT_TRUE(Same(Frame({edge}), {{0, kContact}}));
  EXPECT_TRUE(Same(Frame({}), {{0, kUp}}));
}

TEST_F(Edge, CentreExcludes2720AtEachSide) {
  struct Case {
    uint32_t x;
    uint32_t y;
    bool centre;
  };
  const Case cases[] = {{2721, 20000, true},  {2720, 20000, false}, {g_usMaxPosX - 2721u, 20000, true},
                        {g_usMaxPosX - 2720u, 20000, false}, {9000, 2721, true}, {9000, 2720, false},
                        {9000, g_usMaxPosY - 2721u, true}, {9000, g_usMaxPosY - 2720u, false}};
  for (const Case &c : cases) {
    g_ucCenterTouchCnt = 40;
    Place(0, 0, c.x, c.y, kContact);
    g_stTouchData.ucPointNum = 1;
    AppCollectTouchInfo();
    EXPECT_EQ(g_ucCenterTouchCnt, c.centre ? 1 : 41) << c.x << "," << c.y;
  }
}

// Contact decisions for a touch held in the outer side band (kind 1), with a side span of
// 2: it is released, at its down position (action 5), once it has slid 1280 along the edge.
TEST_F(Edge, OuterBandTouchIsReleasedBySlidingAlongTheEdge) {
  struct Case {
    uint32_t slide;
    uint8_t action;
  };
  const Case cases[] = {{0, 1}, {1000, 1}, {1280, 1}, {1300, 5}, {2000, 5}};
  // The middle of the panel is not stretched by the mapping: slides count as they are.
  ASSERT_EQ(YMappingNotch(22000) - YMappingNotch(20000), 2000);
  for (const Case &c : cases) {
    LumaEdgePalmSta &r = s_stEdgePalmSta[0];
    r.ucRestrainKind = 1;
    r.ucFramesSinceDown = 5;
    r.ucSideSpan = 2;
    r.ucMaxWidth = 2;
    r.ucEdgeSide = 1;
    r.ucCornerSide = 0;
    r.stDown.x = 300;
    r.stDown.y = 20000;
    Place(0, 0, 300, 20000 + c.slide, kContact);
    g_stTouchData.ucPointNum = 1;
    EXPECT_EQ(EdgePalmOnPointContact(0, 0), c.action) << c.slide;
    EXPECT_EQ(r.ucRestrainKind, c.action == 5 ? 0 : 1) << c.slide;
  }
}

TEST_F(Edge, ContactRulesOfTheStrongerKinds) {
  LumaEdgePalmSta &r = s_stEdgePalmSta[0];
  r.stDown.x = 300;
  r.stDown.y = 20000;
  r.ucFramesSinceDown = 5;
  g_stTouchData.ucPointNum = 1;
  // Kind 8 has no rule of its own: a resting touch stays held, a far move releases it.
  r.ucRestrainKind = 8;
  Place(0, 0, 300, 20000, kContact);
  EXPECT_EQ(EdgePalmOnPointContact(0, 0), 1);
  EXPECT_EQ(r.ucRestrainKind, 8);
  Place(0, 0, 300, 28000, kContact);
  EXPECT_EQ(EdgePalmOnPointContact(0, 0), 2);
  EXPECT_EQ(r.ucRestrainKind, 0);
  // With the first grip flag and no restraint time left, the inner-band rule arms the time
  // again.
  r.ucRestrainKind = 3;
  r.ucRestrainTime = 0;
  r.stGrip.ucGripFlag1 = 1;
  Place(0, 0, 300, 20000, kContact);
  EXPECT_EQ(ContactEventRestrainRule_Feat(0, 0, 0), 1);
  EXPECT_EQ(r.ucRestrainTime, g_stEdgeTime[3]);
  // Without it the touch is let through where it is once its time has run out.
  r.stGrip.ucGripFlag1 = 0;
  r.ucRestrainTime = 1;
  EXPECT_EQ(ContactEventRestrainRule_Feat(0, 0, 0), 1);
  EXPECT_EQ(ContactEventRestrainRule_Feat(0, 0, 0), 3);
  EXPECT_EQ(r.ucRestrainKind, 0);
}

TEST_F(Edge, CornerRestraintInPortraitOnlyAtTheBottom) {
  LumaEdgePalmSta &r = s_stEdgePalmSta[0];
  r.ucFramesSinceDown = 3;
  struct Case {
    uint32_t x0;
    uint32_t y0;
    bool other;
    uint8_t restrained;
  };
  const uint32_t bottom = g_usMaxPosY - 1000u;
  const Case cases[] = {
      {1000, bottom, true, 1},                  // bottom left, a new finger in the middle
      {g_usMaxPosX - 1000u, bottom, true, 1},   // bottom right
      {1000, 1000, true, 0},                    // top left never
      {1000, bottom, false, 0},                 // alone
  };
  for (const Case &c : cases) {
    r.stDown.x = c.x0;
    r.stDown.y = c.y0;
    r.stGrip.ucStop = 0;
    Place(0, 0, c.x0, c.y0, kContact);
    Place(1, 1, 9000, 20000, kDown);
    g_stTouchData.ucPointNum = c.other ? 2 : 1;
    EXPECT_EQ(QuonCornerRestrain(0, 0), c.restrained) << c.x0 << "," << c.y0;
    EXPECT_EQ(r.stGrip.ucStop, c.restrained) << c.x0 << "," << c.y0;
  }
  // Once the corner touch has rested for the corner window it is no longer restrained.
  r.stDown.x = 1000;
  r.stDown.y = bottom;
  g_stTouchData.ucPointNum = 2;
  r.ucFramesSinceDown = g_stEdgeTime[4];
  EXPECT_EQ(QuonCornerRestrain(0, 0), 0);
}

TEST_F(Edge, LongCentreTouchOnlyMarksTheGameCorner) {
  g_stSysParam.ucDispDirection = 1;
  g_stSysParam.ucGameMode = 1;
  LumaEdgePalmSta &r = s_stEdgePalmSta[0];
  r.stDown.x = 1000;
  r.stDown.y = 1000;
  r.ucRestrainKind = 0;
  r.stFinal.ucCenterTouchSeen = 0;
  Place(0, 0, 1000, 1000, kContact);
  Place(1, 1, 9000, 10000, kContact);
  g_stTouchData.ucPointNum = 2;
  s_stEdgePalmSta[1].ucFramesSinceDown = 126;
  EXPECT_EQ(DispHorizontalCornerOnPointDown(0), 0);
  EXPECT_EQ(r.stFinal.ucCenterTouchSeen, 1);
  EXPECT_EQ(r.ucRestrainKind, 0);
  s_stEdgePalmSta[1].ucFramesSinceDown = 125;
  EXPECT_EQ(DispHorizontalCornerOnPointDown(0), 1);
  EXPECT_EQ(r.ucRestrainKind, 8);
  EXPECT_EQ(r.stGrip.ucStop, 1);
}

TEST_F(Edge, UpActionsByKind) {
  struct Case {
    uint8_t kind;
    uint8_t frames;
    uint8_t corner_finger;
    uint8_t action;
  };
  const Case cases[] = {
      {1, 10, 0, 8}, {4, 10, 0, 8}, {5, 10, 0, 8}, {8, 10, 0, 8},  // never reported
      {3, 10, 0, 4}, {7, 10, 0, 4},                                 // reported once on the lift
      {3, 2, 0, 8},                                                 // a short tap
      {0, 10, 0, 0}, {0, 1, 0, 0},                                  // free touches keep their up
      {3, 10, 1, 4},
      {0, 10, 1, 0},  // a touch that was never held keeps its up whatever the grip says
  };
  for (const Case &c : cases) {
    LumaEdgePalmSta &r = s_stEdgePalmSta[0];
    r.ucRestrainKind = c.kind;
    r.ucFramesSinceDown = c.frames;
    r.stGrip.ucGripFlag2 = c.corner_finger;
    r.stGrip.ucGripKind = 0;
    EXPECT_EQ(EdgePalmOnPointUp(0), c.action) << int{c.kind} << " " << int{c.frames} << " " << int{c.corner_finger};
    EXPECT_EQ(r.ucRestrainKind, 0);
    EXPECT_EQ(r.ucFramesSinceDown, 0);
  }
}

TEST_F(Edge, RearrangementPutsTouchesFirstAndLiftsAfterThem) {
  std::memset(g_stTouchData.astPoint, 0xFF, sizeof(g_stTouchData.astPoint));
  Place(0, 4, 100, 100, kUp);
  Place(1, 2, 200, 200, kContact);
  Place(2, 0, 300, 300, 3);
  g_stTouchData.astPoint[3].id = 0xFF;
  Place(4, 6, 400, 400, kDown);
  g_stTouchData.ucPointNum = 2;
  ReArrangePointArray();
  const uint8_t want[LUMA_MAX_POINTS] = {2, 6, 4, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  for (int k = 0; k < LUMA_MAX_POINTS; ++k) EXPECT_EQ(g_stTouchData.astPoint[k].id, want[k]) << k;
  EXPECT_EQ(g_stTouchData.astPoint[1].x, 400u);
}


TEST_F(Edge, LandscapeBandsFollowTheConnectorSide) {
  g_stSysParam.ucDispDirection = 1;
  AppEdgePalmInit();  // the landscape host parameters: outer 32, middle 480
  struct Case {
    uint16_t x;
    uint16_t y;
    uint8_t area;
  };
  const Case cases[] = {
      {9000, 20, 1},                                    // the panel's top is a side in landscape
      {9000, 300, 2},
      {9000, static_cast<uint16_t>(g_usMaxPosY - 20), 1},
      {20, 20000, 1},                                   // the panel's sides are its ends
      {9000, 20000, 0},
  };
  for (const Case &c : cases) EXPECT_EQ(AppGetArea(c.x, c.y, 0), c.area) << c.x << "," << c.y;
}

// A touch let through at its down position: it restarts there with the smoother's weight
// set; a finger that slid along a side edge in portrait restarts half-way instead.
TEST_F(Edge, LetThroughAtTheDownPosition) {
  struct Case {
    uint32_t down_x;
    uint32_t now_x;
    uint32_t now_y;
    uint32_t want_x;
    uint32_t want_y;
  };
  const Case cases[] = {
      {300, 300, 22000, 300, 21000},     // along the side edge: half-way
      {2000, 2000, 22000, 2000, 20000},  // away from the side: the down position
      {300, 3300, 20000, 300, 20000},    // across the edge: the down position
  };
  for (const Case &c : cases) {
    LumaEdgePalmSta &r = s_stEdgePalmSta[0];
    r.ucCornerSide = 0;
    r.ucReported = 0;
    g_ForceAlpha[0] = 0;
    Place(0, 0, c.down_x, 20000, kContact);
    r.stDown = g_stTouchData.astPoint[0];
    Place(0, 0, c.now_x, c.now_y, kContact);
    g_stTouchData.ucPointNum = 1;
    uint8_t actions[LUMA_EDGE_ACTIONS] = {LUMA_EDGE_ACT_AT_DOWN_5};
    ActionOnPointDownOrContact(actions);
    EXPECT_EQ(g_stTouchData.astPoint[0].x, c.want_x) << c.down_x << "->" << c.now_x;
    EXPECT_EQ(g_stTouchData.astPoint[0].y, c.want_y) << c.down_x << "->" << c.now_x;
    EXPECT_EQ(g_stTouchData.astEvent[0].ucEvent, kDown);
    EXPECT_EQ(g_ForceAlpha[0], 8);
    EXPECT_EQ(r.ucReported, 1);
  }
}

}  // namespace
