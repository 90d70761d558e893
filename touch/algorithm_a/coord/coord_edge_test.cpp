// Edge rejection on the module's own records: the zones built from the edge configuration
// and from host zones, the click-area sizes, the customer layer's geometry and counters, and
// the stage's decisions on small synthetic frames.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "coord.h"
#include "coord_edge.h"
#include "coord_pair.h"
#include "coord_smooth.h"
#include "framework.h"
#include "globals_restore_test.h"
#include "tsa_frame_links.h"
#include "tsa_module.h"

namespace {

constexpr uint8_t kRows = 16;  // Y, drive lines
constexpr uint8_t kCols = 30;  // X, sense lines
constexpr uint16_t kExtY = kRows * 512;
constexpr uint16_t kExtX = kCols * 512;

struct Sub {
  uint16_t yl, xl, yh, xh;
};
Sub Get(uint8_t zone, uint8_t side) {
  const EdgeSubRect& r = gstEdgeResParam.astZone[zone][side];
  return {r.uwYLow, r.uwXLow, r.uwYHigh, r.uwXHigh};
}
bool operator==(const Sub& a, const Sub& b) { return a.yl == b.yl && a.xl == b.xl && a.yh == b.yh && a.xh == b.xh; }
std::ostream& operator<<(std::ostream& o, const Sub& s) {
  return o << "{" << s.yl << ", " << s.xl << ", " << s.yh << ", " << s.xh << "}";
}
constexpr Sub kOff{0, 0, 0, 0};

class EdgeFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    for (auto* r : {&gpuwNewPointX, &gpuwNewPointY, &gpuwNewWeight}) keep_.Keep(*r);
    keep_.Keep(gstCommon);
    keep_.Keep(gstEdgeResCfg);
    keep_.Keep(gstGameMode);
    keep_.Keep(gppuwEdgePramCmd);
    keep_.Keep(gstCoordPair);
    keep_.Keep(gstCoordOptHistory);
    keep_.Keep(gstCoordOptmMotion);
    keep_.Keep(gubEdgeResCmd);
    keep_.Keep(gboEdgeRes);
    memset(&gstCommon, 0, sizeof(gstCommon));
    gstCommon.ubSenNum = kCols;
    gstCommon.ubDrvNum = kRows;
    gstCommon.uwSenCoordRange = kExtX;
    gstCommon.uwDrvCoordRange = kExtY;
    gstCommon.uwMaskThreshold = 100;
    gstCommon.ubNormalizeCheckEn = 1;
    memset(gstCommon.aubEdge, 255, sizeof(gstCommon.aubEdge));
    memset(gstCommon.aubEdge2, 255, sizeof(gstCommon.aubEdge2));
    diff_.assign(static_cast<size_t>(kRows) * kCols, 0);
    gstCommon.stData.pswDiffData = diff_.data();
    memset(&gstEdgeResCfg, 0, sizeof(gstEdgeResCfg));
    memset(&gstGameMode, 0, sizeof(gstGameMode));
    memset(gppuwEdgePramCmd, 0, sizeof(gppuwEdgePramCmd));
    memset(&gstCoordPair, 0, sizeof(gstCoordPair));
    memset(&gstCoordOptHistory, 0, sizeof(gstCoordOptHistory));
    memset(gpuwNewWeight, 0, sizeof(uint16_t) * kCoordPointMax);
    memset(&gstCoordOptmMotion, 0, sizeof(gstCoordOptmMotion));
    FirstCoordSmoothPowerOnInit();
    gubEdgeResCmd = 0;
    gboEdgeRes = 0;
  }
  uint8_t* Cfg() { return gstEdgeResCfg.aubData; }
  void CfgU16(uint32_t at, uint16_t v) { LinkSetU16(Cfg(), at, v); }

  // Slot S at (X, Y) with its region rectangle in nodes.
  void Place(uint8_t s, uint16_t x, uint16_t y, uint8_t r0, uint8_t r1, uint8_t c0, uint8_t c1) {
    gpuwNewPointX[s] = x;
    gpuwNewPointY[s] = y;
    gpuwNewWeight[s] = 300;
    gstCoordPair.astLastRect[s] = RegionRect{r0, r1, c0, c1};
    gstCoordPair.auwLastRectMaxDiff[s] = 300;
  }
  // A touch centred on node (row, column) whose rectangle is the node itself.
  void PlaceNode(uint8_t s, uint8_t row, uint8_t col, uint16_t dx = 0) {
    Place(s, static_cast<uint16_t>(col * 512 + 256 + dx), static_cast<uint16_t>(row * 512 + 256), row, row, col, col);
  }
  void Clear() {
    memset(gpuwNewWeight, 0, sizeof(uint16_t) * kCoordPointMax);
    memset(gstCoordPair.auwLastRectMaxDiff, 0, sizeof(gstCoordPair.auwLastRectMaxDiff));
  }
  void Frame() {
    uint8_t n = 0;
    for (uint8_t k = 0; k < kCoordPointMax; ++k) n = static_cast<uint8_t>(n + (gpuwNewWeight[k] != 0));
    gstCoordComOutput.ubPointNum = n;
    EdgeResFun();
  }

  // The records SetUp overwrites go back as they were, after the test.
  void TearDown() override { keep_.Restore(); }

  fxtest::GlobalsRestore keep_;
  std::vector<int16_t> diff_;
};

// ---- zones from the configuration -----------------------------------------------------------

struct ZoneCase {
  const char* name;
  uint8_t level;
  uint8_t game;
  uint8_t zone, side;
  Sub expect;
};

TEST_F(EdgeFixture, ZonesFromTheConfigurationFollowOrientationWidthsAndGameMode) {
  const ZoneCase cases[] = {
      // Dead strips: Y sides always (byte 5), X sides in landscape only (byte 6).
      {"portrait dead Y-low", 0, 0, kEdgeZoneDead, kEdgeSideYLow, {0, 0, 80, kExtX}},
      {"portrait dead Y-high", 0, 0, kEdgeZoneDead, kEdgeSideYHigh, {kExtY - 80, 0, kExtY, kExtX}},
      {"portrait no dead X-low", 0, 0, kEdgeZoneDead, kEdgeSideXLow, kOff},
      {"landscape dead X-low", 1, 0, kEdgeZoneDead, kEdgeSideXLow, {0, 0, kExtY, 48}},
      {"landscape dead X-high", 1, 0, kEdgeZoneDead, kEdgeSideXHigh, {0, kExtX - 48, kExtY, kExtX}},
      // Click strips: bytes 7/8, or 25/26 in game mode.
      {"click Y-low", 0, 0, kEdgeZoneClick, kEdgeSideYLow, {0, 0, 160, kExtX}},
      {"click X-high", 0, 0, kEdgeZoneClick, kEdgeSideXHigh, {0, kExtX - 240, kExtY, kExtX}},
      {"game click Y-low", 0, 1, kEdgeZoneClick, kEdgeSideYLow, {0, 0, 400, kExtX}},
      {"game click X-low", 0, 1, kEdgeZoneClick, kEdgeSideXLow, {0, 0, kExtY, 480}},
      // Corners (sizes 48 along Y, 80 along X) at the orientation's lower end.
      {"portrait corner Y-low/X-high", 0, 0, kEdgeZoneCorner, 2, {0, kExtX - 80, 48, kExtX}},
      {"portrait corner Y-high/X-high", 0, 0, kEdgeZoneCorner, 3, {kExtY - 48, kExtX - 80, kExtY, kExtX}},
      {"portrait no corner X-low", 0, 0, kEdgeZoneCorner, 0, kOff},
      {"level 1 corner Y-low/X-low", 1, 0, kEdgeZoneCorner, 0, {0, 0, 48, 80}},
      {"level 1 corner Y-low/X-high", 1, 0, kEdgeZoneCorner, 2, {0, kExtX - 80, 48, kExtX}},
      {"level 1 no corner Y-high", 1, 0, kEdgeZoneCorner, 3, kOff},
      {"level 2 corner Y-high/X-low", 2, 0, kEdgeZoneCorner, 1, {kExtY - 48, 0, kExtY, 80}},
      {"level 2 no corner Y-low", 2, 0, kEdgeZoneCorner, 0, kOff},
      // Square corners of 756 at the same corners; upper corners at the other end, never in
      // portrait.
      {"level 1 square", 1, 0, kEdgeZoneSquareCorner, 0, {0, 0, 756, 756}},
      {"level 1 upper", 1, 0, kEdgeZoneUpperCorner, 1, {kExtY - 320, 0, kExtY, 480}},
      {"level 2 upper", 2, 0, kEdgeZoneUpperCorner, 0, {0, 0, 320, 480}},
      {"portrait no upper", 0, 0, kEdgeZoneUpperCorner, 2, kOff},
      {"portrait no upper 3", 0, 0, kEdgeZoneUpperCorner, 3, kOff},
  };
  for (const ZoneCase& c : cases) {
    SetUp();
    Cfg()[0] = 0x01;
    Cfg()[1] = 0xFF;
    Cfg()[5] = 10;
    Cfg()[6] = 6;
    Cfg()[7] = 20;
    Cfg()[8] = 30;
    Cfg()[25] = 50;
    Cfg()[26] = 60;
    Cfg()[56] = 20;
    Cfg()[57] = 30;
    gstGameMode.auwWord[1] = 48;
    gstGameMode.auwWord[2] = 80;
    gstCommon.ubGameModeFlag = c.game;
    EdgeResInit(0, c.level);
    EXPECT_EQ(Get(c.zone, c.side), c.expect) << c.name;
    EXPECT_EQ(gubEdgeResCmd, 1) << c.name;
  }
}

TEST_F(EdgeFixture, SideMaskLimitsTheStripsAndTheOffSwitchBuildsNothing) {
  Cfg()[0] = 0x01;
  Cfg()[1] = 0x84;  // portrait: Y-low only; landscape: Y-high only
  Cfg()[4] = 0x23;
  Cfg()[3] = 0x52;
  Cfg()[5] = 10;
  Cfg()[7] = 20;
  EdgeResInit(0, 0);
  EXPECT_EQ(+gstEdgeRes.ubSideMask, 0x4);
  EXPECT_EQ(Get(kEdgeZoneDead, kEdgeSideYLow), (Sub{0, 0, 80, kExtX}));
  EXPECT_EQ(Get(kEdgeZoneDead, kEdgeSideYHigh), kOff);
  EXPECT_EQ(+gstEdgeRes.ubThickEdge, 3);
  EXPECT_EQ(+gstEdgeRes.ubThickEdgeFrame, 5);
  EXPECT_EQ(+gstEdgeRes.ubCornerPressTime, 2);
  EXPECT_EQ(+gstEdgeRes.ubCornerPressTimeGame, 5);
  EdgeResInit(0, 1);
  EXPECT_EQ(+gstEdgeRes.ubSideMask, 0x8);
  EXPECT_EQ(Get(kEdgeZoneClick, kEdgeSideYHigh), (Sub{kExtY - 160, 0, kExtY, kExtX}));
  EXPECT_EQ(Get(kEdgeZoneClick, kEdgeSideYLow), kOff);

  // Edge rejection off: nothing is built and the stage leaves a border touch alone.
  Cfg()[0] = 0x00;
  gubEdgeResCmd = 0;
  EdgeResInit(0, 0);
  EXPECT_EQ(+gstEdgeRes.ubSideMask, 0);
  EXPECT_EQ(Get(kEdgeZoneDead, kEdgeSideYLow), kOff);
  EXPECT_EQ(gubEdgeResCmd, 0);
  PlaceNode(0, 0, 0);
  Frame();
  EXPECT_EQ(gpuwNewWeight[0], 300);
  EXPECT_EQ(gpuwNewPointX[0], 256);
}

// ---- zones the host sends -------------------------------------------------------------------

struct HostCase {
  const char* name;
  uint16_t cmdX, cmdY;  // host resolution
  uint16_t value;       // every host word
  uint16_t expectY, expectX;
};

TEST_F(EdgeFixture, HostZonesAreRescaledFromTheHostResolution) {
  const HostCase cases[] = {
      {"scaled", 1081, 2401, 540, static_cast<uint16_t>(540u * kExtY / 2400), static_cast<uint16_t>(540u * kExtX / 1080)},
      {"resolution 1 turns values off", 1, 1, 540, 0, 0},
      // A resolution of 0 has no scale either: the values are off, not divided by -1.
      {"resolution 0 turns values off", 0, 0, 540, 0, 0},
      // Beyond the host resolution the value stays on the screen instead of wrapping.
      {"value past the resolution", 11, 11, 1000, kExtY, kExtX},
  };
  for (const HostCase& c : cases) {
    SetUp();
    Cfg()[0] = 0x03;
    gstCommon.uwPanelWord0 = c.cmdX;
    gstCommon.uwPanelWord1 = c.cmdY;
    for (uint16_t& v : gppuwEdgePramCmd) v = c.value;
    EdgeResInit(1, 1);
    EXPECT_EQ(Get(kEdgeZoneCorner, 1).yl, c.expectY) << c.name;
    EXPECT_EQ(Get(kEdgeZoneCorner, 1).xl, c.expectX) << c.name;
    EXPECT_EQ(Get(kEdgeZoneCorner, 1).yh, c.expectY) << c.name;
    EXPECT_EQ(Get(kEdgeZoneCorner, 1).xh, c.expectX) << c.name;
    EXPECT_EQ(gubEdgeResCmd, 1) << c.name;
  }
}

TEST_F(EdgeFixture, HostZonesBuildTheSideMaskAndPortraitClickStrips) {
  Cfg()[0] = 0x03;
  gstCommon.uwPanelWord0 = kExtX + 1;  // host resolution equals the screen's
  gstCommon.uwPanelWord1 = kExtY + 1;
  // Zone 0 side 2 (Y-low dead strip) only.
  const uint16_t dead[4] = {0, 0, 100, kExtX};
  memcpy(&gppuwEdgePramCmd[8], dead, sizeof(dead));
  EdgeResInit(1, 0);
  EXPECT_EQ(Get(kEdgeZoneDead, kEdgeSideYLow), (Sub{0, 0, 100, kExtX}));
  EXPECT_EQ(Get(kEdgeZoneClick, kEdgeSideXLow), (Sub{0, 0, kExtY, 150}));
  EXPECT_EQ(Get(kEdgeZoneClick, kEdgeSideXHigh), (Sub{0, kExtX - 150, kExtY, kExtX}));
  EXPECT_EQ(+gstEdgeRes.ubSideMask, 0x7);

  // Without permission for host zones nothing is taken, but the stage's levels are set.
  SetUp();
  Cfg()[0] = 0x01;
  Cfg()[4] = 0x12;
  memcpy(&gppuwEdgePramCmd[8], dead, sizeof(dead));
  EdgeResInit(1, 0);
  EXPECT_EQ(Get(kEdgeZoneDead, kEdgeSideYLow), kOff);
  EXPECT_EQ(+gstEdgeRes.ubSideMask, 0);
  EXPECT_EQ(+gstEdgeRes.ubThickEdgeFrame, 3);
  EXPECT_EQ(gubEdgeResCmd, 1);
}

// ---- click-area sizes -----------------------------------------------------------------------

TEST_F(EdgeFixture, ClickAreaSizeRewritesTheClickStrips) {
  struct {
    uint8_t size;
    uint16_t yWidth;
  } const cases[] = {{0, 8 * 7}, {1, 8 * 11}, {2, 8 * 13}};
  for (const auto& c : cases) {
    SetUp();
    Cfg()[0] = 0x01;
    Cfg()[1] = 0x0F;
    Cfg()[7] = 7;
    Cfg()[8] = 5;
    Cfg()[32] = 11;
    Cfg()[33] = 13;
    EdgeResInit(0, 0);
    gstEdgeResParam.astZone[kEdgeZoneClick][kEdgeSideXLow].uwXLow = 9;  // not the size's to touch
    SetClickAreaSize(&c.size);
    EXPECT_EQ(Get(kEdgeZoneClick, kEdgeSideYLow), (Sub{0, 0, c.yWidth, kExtX})) << +c.size;
    EXPECT_EQ(Get(kEdgeZoneClick, kEdgeSideYHigh), (Sub{static_cast<uint16_t>(kExtY - c.yWidth), 0, kExtY, kExtX}))
        << +c.size;
    EXPECT_EQ(Get(kEdgeZoneClick, kEdgeSideXLow), (Sub{0, 9, kExtY, 40})) << +c.size;
    EXPECT_EQ(Get(kEdgeZoneClick, kEdgeSideXHigh), (Sub{0, kExtX - 40, kExtY, kExtX})) << +c.size;
  }
  const uint8_t three = 3;
  const Sub before = Get(kEdgeZoneClick, kEdgeSideYLow);
  SetClickAreaSize(&three);
  EXPECT_EQ(Get(kEdgeZoneClick, kEdgeSideYLow), before);
}

TEST_F(EdgeFixture, LongCornersAreWrittenOnlyIntoTheRecordsOwnSet) {
  Cfg()[0] = 0x01;
  EdgeResInit(0, 1);
  EdgeLZoneParamAnFromCfgCorner(0, 100, 200, 300, 400, 10, 20, 30, 40);
  const EdgeSubRect* L = gstEdgeResParam.astLongCorner;
  EXPECT_EQ(L[1].uwYLow, 100);
  EXPECT_EQ(L[1].uwYHigh, 400);
  EXPECT_EQ(L[1].uwXHigh, 400);
  EXPECT_EQ(L[7].uwYLow, kExtY - 40);
  EXPECT_EQ(L[7].uwXLow, kExtX - 40);
  // A further set would lie past the record's end: nothing is written for it.
  const EdgeZoneParam before = gstEdgeResParam;
  EdgeLZoneParamAnFromCfgCorner(1, 100, 200, 300, 400, 10, 20, 30, 40);
  EXPECT_EQ(memcmp(&before, &gstEdgeResParam, sizeof(before)), 0);
  // Portrait keeps only the X-high half of each group.
  EdgeResInit(0, 0);
  EdgeLZoneParamAnFromCfgCorner(0, 100, 200, 300, 400, 10, 20, 30, 40);
  EXPECT_EQ(L[0].uwYHigh, 0);
  EXPECT_EQ(L[4].uwYHigh, 100);
}

// ---- geometry and counters of the customer layer ---------------------------------------------

TEST_F(EdgeFixture, SubRectangleBoundsAreInclusiveAndAnOffRectangleNeverMatches) {
  Cfg()[0] = 0x01;
  EdgeResInit(0, 0);
  gstEdgeResParam.astZone[kEdgeZoneClick][kEdgeSideYLow] = EdgeSubRect{100, 200, 300, 400};
  struct {
    uint16_t y, x;
    uint8_t in;
  } const cases[] = {{100, 200, 1}, {300, 400, 1}, {99, 300, 0}, {301, 300, 0}, {200, 199, 0}, {200, 401, 0}};
  for (const auto& c : cases) {
    gpstEdgeResTemp->uwY = c.y;
    gpstEdgeResTemp->uwX = c.x;
    EXPECT_EQ(SideAreaJudge(kEdgeZoneClick, kEdgeSideYLow, 0), c.in) << c.y << "," << c.x;
    EXPECT_EQ(EdgeZoneJudge(kEdgeZoneClick, 7, 9, 0), c.in ? 9 : 0) << c.y << "," << c.x;
  }
  gstEdgeResParam.astZone[kEdgeZoneClick][kEdgeSideYLow].uwYHigh = 0;
  gpstEdgeResTemp->uwY = 0;
  gpstEdgeResTemp->uwX = 300;
  EXPECT_EQ(SideAreaJudge(kEdgeZoneClick, kEdgeSideYLow, 0), 0);
}

TEST_F(EdgeFixture, MagnitudeIsTheFlooredRootOfTheSquares) {
  struct {
    int16_t x, y;
    uint16_t m;
  } const cases[] = {{3, 4, 5}, {0, 0, 0}, {-1, 0, 1}, {2, 2, 2}, {-32768, -32768, 46340}, {255, 256, 361}};
  for (const auto& c : cases) EXPECT_EQ(Vt90ScaMagnitude(c.x, c.y), c.m) << c.x << "," << c.y;
}

TEST_F(EdgeFixture, DelayOutStartsOnlyForATouchDownNearALowerCorner) {
  struct {
    uint8_t level;
    uint16_t y, x;
    uint8_t timer;
  } const cases[] = {
      {0, 767, 12000, 36},  {0, 768, 12000, 0},          {0, kExtY - 100, 12000, 36},
      {0, 767, 9000, 0},    {1, 1000, 767, 36},          {1, 1000, 768, 0},
      {1, 3000, 100, 0},    {2, 7000, kExtX - 100, 36},  {2, 5000, kExtX - 100, 0},
  };
  for (const auto& c : cases) {
    SetUp();
    Cfg()[0] = 0x01;
    EdgeResInit(0, c.level);
    gpstEdgeResTemp->uwY = c.y;
    gpstEdgeResTemp->uwX = c.x;
    EXPECT_EQ(EdgePointStateSet(4), 4);
    EXPECT_EQ(+gstEdgeRes.aubDelayOut[4], c.timer) << +c.level << " " << c.y << "," << c.x;
    EXPECT_EQ(+gstEdgeRes.auwAnchorX[4], c.x);
    // A later frame moves no anchor and restarts no timer.
    gstEdgeRes.aubDelayOut[4] = 0;
    gpstEdgeResTemp->uwX = 5;
    EdgePointStateSet(4);
    EXPECT_EQ(+gstEdgeRes.auwAnchorX[4], c.x);
    EXPECT_EQ(+gstEdgeRes.aubDelayOut[4], 0);
  }
}

TEST_F(EdgeFixture, MiddleTouchCountersCountFramesWithAndWithoutEachClass) {
  Cfg()[0] = 0x01;
  EdgeResInit(0, 1);
  EdgeResState& s = gstEdgeRes;
  const uint8_t seq[] = {1, 1, 3, 0, 2};
  for (uint8_t m : seq) {
    s.ubClasses = m;
    MidTouchTimerCount();
  }
  EXPECT_EQ(+s.ubXLowFrames, 0);
  EXPECT_EQ(+s.ubNoXLowFrames, 2);
  EXPECT_EQ(+s.ubXHighFrames, 1);
  EXPECT_EQ(+s.ubNoXHighFrames, 0);
  EXPECT_EQ(+s.ubNoMidFrames, 0);
  s.ubClasses = 0;
  for (int k = 0; k < 300; ++k) MidTouchTimerCount();
  EXPECT_EQ(+s.ubNoMidFrames, 255);
  EXPECT_EQ(+s.ubNoXLowFrames, 255);
}

TEST_F(EdgeFixture, DynamicZoneWidensWhileGrippedAndRestoresOnlyInTheSameOrientation) {
  Cfg()[0] = 0x01;
  Cfg()[1] = 0xF0;
  Cfg()[8] = 10;  // X-side click strips of 80
  CfgU16(20, 200);
  gstGameMode.auwWord[1] = 160;
  gstGameMode.auwWord[2] = 320;
  EdgeResInit(0, 1);
  EdgeResState& s = gstEdgeRes;
  s.aubHold[0] = 5;
  EdgeResDynamicZone(nullptr, nullptr);
  EXPECT_EQ(Get(kEdgeZoneClick, kEdgeSideXLow).xh, 280);
  EXPECT_EQ(Get(kEdgeZoneClick, kEdgeSideXHigh).xl, kExtX - 280);
  EXPECT_EQ(Get(kEdgeZoneCorner, 0).yh, 160 + 600);
  EXPECT_EQ(Get(kEdgeZoneCorner, 2).yh, 160);
  s.aubHold[0] = 0;
  s.aubHold[1] = 5;  // the X-high hold alone widens by half
  EdgeResDynamicZone(nullptr, nullptr);
  EXPECT_EQ(Get(kEdgeZoneClick, kEdgeSideXLow).xh, 180);
  EXPECT_EQ(Get(kEdgeZoneCorner, 2).yh, 160 + 600);
  s.aubHold[1] = 0;
  EdgeResDynamicZone(nullptr, nullptr);
  EXPECT_EQ(Get(kEdgeZoneClick, kEdgeSideXLow).xh, 80);
  EXPECT_EQ(Get(kEdgeZoneClick, kEdgeSideXHigh).xl, kExtX - 80);
  EXPECT_EQ(Get(kEdgeZoneCorner, 0).yh, 160);
  EXPECT_EQ(Get(kEdgeZoneCorner, 2).yh, 160);

  // Turned while gripped: the widened values stay until the zones are rebuilt.
  s.aubHold[0] = 5;
  EdgeResDynamicZone(nullptr, nullptr);
  s.ubLevel = 2;
  s.aubHold[0] = 0;
  EdgeResDynamicZone(nullptr, nullptr);
  EXPECT_EQ(Get(kEdgeZoneClick, kEdgeSideXLow).xh, 280);
  EXPECT_EQ(+s.ubSaved, 0);
}

TEST_F(EdgeFixture, RectangleStateWeighsTheEdgeCountAgainstTheThickEdgeLimits) {
  struct Case {
    const char* name;
    uint8_t level, frameLimit, thin, zone, len, size, ref, mode, sideBits;
    uint8_t expect;
  };
  // Thick-edge count 4, large rectangles from 8 nodes.
  const Case cases[] = {
      {"no edge nodes", 0, 4, 0, 0, 3, 0, 0, 0, 0, 1},
      {"one edge node, a deeper inner line", 0, 4, 0, 0, 3, 1, 2, 0, 0, 1},
      {"corner, nothing deeper", 0, 4, 0, 4, 3, 0, 0, 0, 0, 2},
      {"corner, deeper inner line", 0, 4, 0, 4, 3, 0, 1, 0, 0, 4},
      {"long and past the large limit", 0, 4, 0, 0, 10, 10, 0, 0, 0, 6},
      {"short but past the frame limit", 0, 4, 0, 0, 3, 10, 0, 0, 0, 5},
      {"within the thick count", 0, 4, 0, 0, 3, 3, 0, 0, 0, 2},
      {"past the thick count, above the inner line", 0, 6, 0, 0, 3, 5, 2, 0, 0, 5},
      {"past the thick count, portrait, below the inner line", 0, 6, 0, 0, 3, 5, 9, 0, 0, 2},
      {"past the thick count, landscape", 1, 6, 0, 0, 3, 5, 9, 0, 0, 5},
      {"a thin rectangle lowers the frame limit", 0, 5, 1, 0, 3, 5, 9, 0, 0, 5},
      {"the same rectangle not thin", 0, 5, 0, 0, 3, 5, 9, 0, 0, 2},
      {"portrait Y-side judgement on the X-high side", 0, 4, 0, 0, 10, 10, 0, 3, 2, 2},
      {"portrait X-side judgement keeps it", 0, 4, 0, 0, 10, 10, 0, 0, 2, 6},
  };
  for (const Case& c : cases) {
    SetUp();
    Cfg()[0] = 0x01;
    Cfg()[4] = 0x04;
    Cfg()[59] = 8;
    EdgeResInit(0, c.level);
    gstEdgeRes.ubThickEdgeFrame = c.frameLimit;
    gstEdgeRes.aubZoneFlags[0] = c.zone;
    gpstEdgeResTemp->ubThin = c.thin;
    gpstEdgeResTemp->ubSideBits = c.sideBits;
    const uint8_t r[4] = {0, static_cast<uint8_t>(c.len - 1), 0, 0};
    memcpy(gpstEdgeResTemp->aubRect[0], r, sizeof(r));
    EXPECT_EQ(+EdgeJugdeRectState(0, c.size, c.ref, c.mode), +c.expect) << c.name;
  }
}

TEST_F(EdgeFixture, FlagPriorityPrefersTypeThenSlideThenZoneThenTheTouchHistory) {
  struct Case {
    const char* name;
    uint8_t a, b, c;
    uint8_t longTouchOut, zone, sideBits, firstZone;
    uint16_t anchorY, anchorX, dY, dX;
    uint8_t expect;
  };
  // Click strips of 160 along the Y sides and 240 along the X sides; slide threshold 600.
  const Case cases[] = {
      {"type verdict first", 3, 0, 2, 0, 0, 0, 0, 4000, 7000, 0, 0, 3},
      {"slide beats zone", 0, 3, 2, 0, 0, 0, 0, 4000, 7000, 0, 0, 2},
      {"slide 3 gives way to zone", 0, 1, 3, 0, 0, 0, 0, 4000, 7000, 0, 0, 1},
      {"one reported touch passes", 0, 0, 0, 1, 0, 0, 0, 100, 100, 0, 0, 2},
      {"in a zone passes", 0, 0, 0, 0, 1, 0, 0, 100, 100, 0, 0, 2},
      {"portrait X-high side passes", 0, 0, 0, 0, 0, 2, 0, 100, 100, 0, 0, 2},
      {"still from a Y-side click strip", 0, 0, 0, 0, 0, 0, 0, 100, 7000, 100, 100, 3},
      {"far along Y", 0, 0, 0, 0, 0, 0, 0, 4000, 7000, 2600, 0, 2},
      {"still from an X-side click strip", 0, 0, 0, 0, 0, 0, 0, 4000, 100, 700, 100, 3},
      {"moved from the middle", 0, 0, 0, 0, 0, 0, 0, 4000, 7000, 1300, 0, 2},
      {"began in a game corner", 0, 0, 0, 0, 0, 0, 64, 4000, 7000, 100, 100, 3},
      {"nothing against it", 0, 0, 0, 0, 0, 0, 0, 4000, 7000, 100, 100, 2},
  };
  for (const Case& c : cases) {
    SetUp();
    Cfg()[0] = 0x01;
    Cfg()[1] = 0x0F;
    Cfg()[7] = 20;
    Cfg()[8] = 30;
    CfgU16(39, 600);
    EdgeResInit(0, 0);
    gubClickAreaLongTouchOutEn = c.longTouchOut;
    gstEdgeRes.aubZoneFlags[0] = c.zone;
    gstEdgeRes.aubSideBits[0] = c.sideBits;
    gstEdgeRes.aubFirstZoneFlags[0] = c.firstZone;
    gstEdgeRes.auwAnchorY[0] = c.anchorY;
    gstEdgeRes.auwAnchorX[0] = c.anchorX;
    gpstEdgeResTemp->uwDy = c.dY;
    gpstEdgeResTemp->uwDx = c.dX;
    EXPECT_EQ(+SetEdgeResFlagCustom(c.a, c.b, c.c, 0), +c.expect) << c.name;
  }
}

TEST_F(EdgeFixture, ClickJudgementHoldsAClickUntilItsPressTimeThenLetsALoneShortTouchGo) {
  struct Case {
    const char* name;
    uint8_t mode, frameTime, allow, maxState, firstZone, zone, classes;
    uint8_t expect;
    bool masked;
  };
  const Case cases[] = {
      {"before the press time", 2, 2, 1, 1, 2, 2, 0, 3, false},
      {"press time reached, lone touch", 2, 3, 1, 1, 2, 2, 0, 2, false},
      {"press time reached, more touches", 2, 3, 0, 1, 2, 2, 0, 3, false},
      {"press time reached, large rectangle", 2, 3, 1, 5, 2, 2, 0, 3, false},
      {"press time reached, began in the dead zone", 2, 3, 1, 1, 3, 2, 0, 3, false},
      {"game corner with a middle touch on its half", 192, 0, 1, 1, 64, 64, 1, 3, true},
      {"game corner, middle touch on the other half", 192, 0, 1, 1, 64, 64, 2, 0, false},
      {"corner with a fresh middle touch", 12, 0, 1, 1, 4, 4, 1, 3, true},
  };
  for (const Case& c : cases) {
    SetUp();
    Cfg()[0] = 0x01;
    EdgeResInit(0, 1);
    EdgeResState& s = gstEdgeRes;
    s.aubFrameTime[0] = c.frameTime;
    s.aubMaxState[0] = c.maxState;
    s.aubFirstZoneFlags[0] = c.firstZone;
    s.aubZoneFlags[0] = c.zone;
    s.ubClasses = c.classes;
    uint8_t out = 0;
    EdgeClickJudge(0, c.mode, &out, 3, c.allow);
    EXPECT_EQ(+out, +c.expect) << c.name;
    EXPECT_EQ((s.uwGameCornerMask & 1u) != 0, c.masked) << c.name;
  }
}

TEST_F(EdgeFixture, CornerRectangleStrengthMeasuresItsBorderLinesAndFlagsAPalmEdge) {
  Cfg()[0] = 0x01;
  Cfg()[63] = 0x02;
  EdgeResInit(0, 0);
  auto at = [&](int r, int c) -> int16_t& { return diff_[static_cast<size_t>(r) * kCols + c]; };
  for (int c = 0; c <= 5; ++c) at(0, c) = 100;
  for (int r = 1; r <= 4; ++r) {
    at(r, 0) = 100;
    for (int c = 1; c <= 5; ++c) at(r, c) = 90;
  }
  at(2, 3) = 50;  // too weak to count
  uint16_t n = 0;
  const uint8_t corner[4] = {0, 5, 0, 4};
  EXPECT_EQ(EdgeRectStrength(corner, 0, &n), (1000 + 19 * 90) / 29);
  EXPECT_EQ(n, 29);
  EXPECT_EQ(+gstEdgeRes.aubBorderRatio[0], 10 * 1000 / (19 * 90));
  EXPECT_EQ(+gstEdgeRes.ubEdgeLineFlag, 1);
  // Off the corner: only the mean, no border figures.
  const uint8_t inner[4] = {1, 5, 1, 4};
  EXPECT_EQ(EdgeRectStrength(inner, 0, &n), 90);
  EXPECT_EQ(+gstEdgeRes.ubEdgeLineFlag, 0);

  // The big-rectangle rule: a corner contact whose border lines are full at its fourth
  // frame is a deep rectangle.
  memcpy(gpstEdgeResTemp->aubRect[0], corner, sizeof(corner));
  uint8_t out = 1;
  for (uint16_t age = 1; age <= 4; ++age) {
    gstEdgeRes.auwAge[0] = age;
    EdgeRectStateBigCustom(&out, 0);
    EXPECT_EQ(+out, age < 4 ? 1 : 5) << age;
  }
  EXPECT_EQ(+gstEdgeRes.aubBigState[0], 1);
  EXPECT_EQ(+gstEdgeRes.auwBigArea[0][0], 30);
  // Rule off: the state stays as judged.
  Cfg()[63] = 0;
  out = 1;
  EdgeRectStateBigCustom(&out, 0);
  EXPECT_EQ(+out, 1);
}

// ---- the stage --------------------------------------------------------------------------------

TEST_F(EdgeFixture, TouchDownWithoutAnchorIsDroppedOnlyNearTheBorder) {
  Cfg()[0] = 0x01;
  Cfg()[1] = 0x0F;
  EdgeResInit(0, 0);
  struct {
    uint16_t x, y;
    bool kept;
  } const cases[] = {
      {1000, 4000, false}, {kExtX - 1000, 4000, false}, {7000, 1000, false},
      {7000, kExtY - 1000, false}, {2000, 4000, true}, {7000, 2000, true},
  };
  for (const auto& c : cases) {
    EdgeResInit(0, 0);
    Clear();
    Place(0, c.x, c.y, static_cast<uint8_t>(c.y >> 9), static_cast<uint8_t>(c.y >> 9), static_cast<uint8_t>(c.x >> 9),
          static_cast<uint8_t>(c.x >> 9));
    Frame();
    EXPECT_EQ(gpuwNewWeight[0] != 0, c.kept) << c.x << "," << c.y;
    // The next frame anchors it: it is judged, no longer dropped for lacking an anchor.
    Place(0, c.x, c.y, static_cast<uint8_t>(c.y >> 9), static_cast<uint8_t>(c.y >> 9), static_cast<uint8_t>(c.x >> 9),
          static_cast<uint8_t>(c.x >> 9));
    Frame();
    EXPECT_EQ(+gstEdgeRes.auwAnchorX[0], c.x);
  }
}

TEST_F(EdgeFixture, DeadZoneTouchIsSuppressedUntilItSlidesThenReleasedForGood) {
  Cfg()[0] = 0x01;
  Cfg()[1] = 0x0C;
  Cfg()[5] = 64;  // Y-side dead strips of 512
  Cfg()[58] = 4;  // slide limit 512 for a young touch
  EdgeResInit(0, 0);
  auto touch = [&](uint16_t x) {
    Clear();
    Place(0, x, 200, 0, 0, static_cast<uint8_t>(x >> 9), static_cast<uint8_t>(x >> 9));
    Frame();
  };
  touch(7000);
  EXPECT_EQ(gpuwNewWeight[0], 0) << "touch-down frame at the border";
  touch(7000);
  EXPECT_EQ(gpuwNewWeight[0], 0) << "still in the dead zone";
  EXPECT_EQ(+gstEdgeRes.aubResult[0], kEdgeResultSuppressed);
  EXPECT_EQ(+gstEdgeRes.aubZoneFlags[0], kEdgeFlagDead);
  touch(7300);
  EXPECT_EQ(gpuwNewWeight[0], 0) << "a slide within the limit";
  touch(8000);
  ASSERT_NE(gpuwNewWeight[0], 0) << "a slide past the limit releases";
  EXPECT_EQ(+gstEdgeRes.aubResult[0], kEdgeResultReleased);
  EXPECT_EQ(gpuwNewPointX[0], 8000) << "the anchor moved with the slide";
  EXPECT_EQ(+gstFstCoordSmooth.aubMode[0], 2) << "smoothing starts from the anchor";
  for (int f = 0; f < 3; ++f) {
    touch(8000);
    EXPECT_NE(gpuwNewWeight[0], 0) << "released stays released " << f;
    EXPECT_EQ(gpuwNewPointX[0], 8000);
  }
  // The lift resets the point: the next touch-down is judged afresh.
  Clear();
  Frame();
  EXPECT_EQ(+gstEdgeRes.auwAnchorX[0], kEdgeNoAnchor);
  EXPECT_EQ(+gstEdgeRes.aubResult[0], 0);
}

TEST_F(EdgeFixture, TwoBorderTouchesDownTogetherAreAGripUnlessFarApartAlongALongStrip) {
  struct {
    uint8_t c0, c1;  // columns of the second touch
    bool grip;
  } const cases[] = {{13, 14, false}, {12, 13, true}, {9, 10, true}};
  for (const auto& c : cases) {
    SetUp();
    Cfg()[0] = 0x21;
    Cfg()[1] = 0x0C;
    CfgU16(34, 10);
    CfgU16(36, 1024);
    EdgeResInit(0, 0);
    for (int f = 0; f < 3; ++f) {
      Clear();
      Place(0, 5 * 512 + 256, 256, 0, 0, 3, 7);  // five nodes long, one deep
      Place(1, static_cast<uint16_t>(c.c0 * 512 + 512), 256, 0, 0, c.c0, c.c1);
      Frame();
    }
    const uint8_t* marks = EdgePairMarks();
    const uint8_t expect = c.grip ? kEdgeMarkYLowPair : kEdgeMarkNone;
    EXPECT_EQ(+marks[0], +expect) << +c.c0;
    EXPECT_EQ(+marks[1], +expect) << +c.c0;
    if (c.grip) {
      EXPECT_EQ(gpuwNewWeight[0], 0) << +c.c0;
      EXPECT_EQ(gpuwNewWeight[1], 0) << +c.c0;
    }
  }
}

TEST_F(EdgeFixture, NoGripMarksInLandscapeGameMode) {
  Cfg()[0] = 0x61;
  Cfg()[1] = 0xC0;
  CfgU16(34, 10);
  CfgU16(36, 1024);
  gstCommon.ubGameModeFlag = 1;
  EdgeResInit(0, 1);
  for (int f = 0; f < 3; ++f) {
    Clear();
    Place(0, 4 * 512 + 256, 256, 0, 0, 3, 5);
    Place(1, 9 * 512 + 256, 256, 0, 0, 8, 10);
    Frame();
  }
  EXPECT_EQ(+EdgePairMarks()[0], kEdgeMarkNone);
  EXPECT_EQ(+EdgePairMarks()[1], kEdgeMarkNone);
}

TEST_F(EdgeFixture, StoredBorderPeakIsForgottenOnlyWhenThatTouchMovedFar) {
  // Slot 0: released, a stored peak, still near its anchor. Slot 1, judged after it, is far
  // from its own anchor; only slot 0's own distance may decide about slot 0's peak.
  struct {
    uint16_t x0;  // slot 0's position this frame (anchor 7000)
    bool forgotten;
  } const cases[] = {{7100, false}, {9000, true}};
  for (const auto& c : cases) {
    SetUp();
    Cfg()[0] = 0x41;
    Cfg()[1] = 0x0F;
    EdgeResInit(0, 0);
    EdgeResState& s = gstEdgeRes;
    for (uint8_t k = 0; k < 2; ++k) {
      s.aubResult[k] = kEdgeResultReleased;
      s.auwAge[k] = 5;
      s.auwAnchorY[k] = 4000;
    }
    s.auwAnchorX[0] = 7000;
    s.auwAnchorX[1] = 2000;
    s.aswPeakValue[0] = 300;
    s.aubPeakSlot[0] = 13;
    s.auiStoredRect[0] = 0x07070D0Du;
    Place(0, c.x0, 4000, 7, 7, 13, 13);
    Place(1, 6000, 4000, 7, 7, 11, 11);
    Frame();
    EXPECT_EQ(+s.aswPeakValue[0] == kEdgeNoPeak, c.forgotten) << c.x0;
    EXPECT_EQ(s.auiStoredRect[0] == kEdgeNoRect, c.forgotten) << c.x0;
  }
}

TEST_F(EdgeFixture, ThreeReleasedTouchesPassUnchanged) {
  Cfg()[0] = 0x01;
  Cfg()[1] = 0x0F;
  Cfg()[5] = 64;
  EdgeResInit(0, 0);
  for (uint8_t k = 0; k < 3; ++k) gstEdgeRes.aubResult[k] = kEdgeResultReleased;
  gstEdgeRes.ubClasses = 1;
  PlaceNode(0, 0, 0);  // in the dead zone, yet released
  PlaceNode(1, 7, 15);
  PlaceNode(2, 15, 29);
  Frame();
  for (uint8_t k = 0; k < 3; ++k) EXPECT_EQ(gpuwNewWeight[k], 300) << +k;
  EXPECT_EQ(gpuwNewPointX[0], 256);
  EXPECT_EQ(+gstEdgeRes.ubXLowFrames, 1) << "the counters still advance";
}

}  // namespace
