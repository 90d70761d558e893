// Large-area check: the node-count, rectangle and spanning tests, the component
// confirmation, the hold, the water clear and its latch, the pocket (iron-cover) byte, and
// the core's wrapper around it.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "module_wrappers.h"
#include "region.h"
#include "region_fixture_test.h"
#include "region_large.h"
#include "tsa_config.h"

namespace {

using regiontest::LargeAreaFixture;
using regiontest::Rect;

class LargeArea : public LargeAreaFixture {};

// Total = 2 x region count + owned nodes, against T = 40 (cfg byte 6): large only above
// T' - 10, where T' adds the extra margin 30 when the pocket (mode A) is armed; oversize
// above T x 3 / 2 on T alone.
TEST_F(LargeArea, NodeCountTotalAgainstItsThresholdAndThePocketMargin) {
  struct Case {
    uint8_t modeA;
    int owned;
    uint8_t large, oversize;
  } cases[] = {
      {0, 28, 0, 0},  // total 30 = T - 10
      {0, 29, 1, 0},  // total 31
      {1, 29, 0, 0},  // T' = 70: 31 is far below
      {1, 58, 0, 0},  // total 60 = T' - 10
      {1, 59, 1, 1},  // total 61: large, and beyond 60 = 40 x 3 / 2
      {0, 59, 1, 1},
  };
  for (const Case& c : cases) {
    Init(32, 16);
    Cfg(kLargeCfgFlags, kLargeCfgCountTest);
    Cfg(kLargeCfgRegionCount, 200);  // no region is strong on its own
    Cfg(kLargeCfgTotalCount, 40);
    Load();
    AddRegion(Rect(2, 6, 1, 14), c.owned);  // 5 x 14: never square
    const LargeAreaInput in = Run([&](LargeAreaInput& r) { r.ubModeA = c.modeA; });
    SCOPED_TRACE(testing::Message() << "mode A " << int(c.modeA) << " owned " << c.owned);
    EXPECT_EQ(+in.uwTotal, 2 + c.owned);
    EXPECT_EQ(in.ubLarge, c.large);
    EXPECT_EQ(in.ubOversize, c.oversize);
    EXPECT_EQ(counts_[0], c.owned);
    EXPECT_EQ(+in.uwMaxCount, c.owned);
    EXPECT_EQ(+in.uwSumCount, c.owned);
    EXPECT_EQ(gboLargeTouchStaBak, c.large);
  }
}

// Only nodes some region owns count; with eight regions and a total still short, strong
// nodes outside every region are added.
TEST_F(LargeArea, UnownedStrongNodesCountOnlyWithEightRegions) {
  for (uint8_t regions : {7, 8}) {
    Init(32, 16);
    Cfg(kLargeCfgFlags, kLargeCfgCountTest);
    Cfg(kLargeCfgRegionCount, 200);
    Cfg(kLargeCfgTotalCount, 100);
    Load();
    for (uint8_t i = 0; i < regions; ++i) AddRegion(Rect(static_cast<uint8_t>(2 * i), static_cast<uint8_t>(2 * i), 0, 0));
    // 20 unowned nodes at 121 and 20 at 120, in rows 20-21.
    for (int k = 0; k < 20; ++k) diff_[20 * 16 + k] = 121;
    for (int k = 0; k < 12; ++k) diff_[22 * 16 + k] = 120;
    const LargeAreaInput in = Run();
    EXPECT_EQ(+in.uwTotal, regions == 8 ? 3 * 8 + 20 : 3 * 7) << int(regions);
  }
}

// A square region (|height - width| < 4) above the per-region threshold makes the frame
// large while the total stays far below its threshold; the threshold select takes
// configuration byte 23 instead.
TEST_F(LargeArea, ASquareRegionAboveThePerRegionThresholdIsLargeOnItsOwn) {
  struct Case {
    RegionRect r;
    uint8_t select;
    uint8_t large;
  } cases[] = {
      {Rect(5, 9, 5, 9), 0, 1},   // 25 owned > 20, square
      {Rect(5, 8, 3, 10), 0, 0},  // 32 owned, 4 x 8 is not square
      {Rect(5, 9, 5, 9), 1, 0},   // 25 is not above 30
      {Rect(5, 10, 5, 10), 1, 1}, // 36 is
  };
  for (const Case& c : cases) {
    Init(32, 16);
    Cfg(kLargeCfgFlags, kLargeCfgCountTest);
    Cfg(kLargeCfgRegionCount, 20);
    Cfg(kLargeCfgTotalCount, 200);
    Cfg(kLargeCfgSelCount, 30);
    Load();
    AddRegion(c.r);
    const LargeAreaInput in = Run([&](LargeAreaInput& r) { r.ubThresholdSelect = c.select; });
    EXPECT_EQ(in.ubLarge, c.large) << RegionRectWord(c.r) << " select " << int(c.select);
    EXPECT_EQ(in.ubOversize, 0);
  }
}

TEST_F(LargeArea, AGridOfFewerThanThirtyRowsIsOversizeWheneverTheCountIsLarge) {
  Init(20, 16);
  Cfg(kLargeCfgFlags, kLargeCfgCountTest);
  Cfg(kLargeCfgRegionCount, 200);
  Cfg(kLargeCfgTotalCount, 40);
  Load();
  AddRegion(Rect(2, 6, 1, 14), 33);
  const LargeAreaInput in = Run();
  EXPECT_EQ(+in.uwTotal, 35);
  EXPECT_EQ(in.ubLarge, 1);
  EXPECT_EQ(in.ubOversize, 1);
}

// The rectangle test: side limit 8, area limit 30, configuration byte 13 = 20 owned nodes.
TEST_F(LargeArea, RectangleTestBySideAreaBorderFloatingAndPocket) {
  struct Case {
    const char* what;
    RegionRect r;
    int owned;
    int16_t diff;
    uint8_t cfg5, cfg6, floating, collapse, modeA;
    uint8_t large;
  } cases[] = {
      {"one row never counts", Rect(5, 5, 2, 12), -1, 200, 0, 0, 0, 0, 0, 0},
      {"area reached, count test off", Rect(5, 10, 5, 10), -1, 200, 0, 0, 0, 0, 0, 1},
      {"count test off by byte 6 alone", Rect(5, 10, 5, 10), -1, 200, 10, 0, 0, 0, 0, 1},
      {"area short", Rect(5, 9, 5, 9), -1, 200, 0, 0, 0, 0, 0, 0},
      {"on the border", Rect(0, 5, 5, 10), -1, 200, 0, 0, 0, 0, 0, 0},
      {"on the border, collapsed", Rect(0, 5, 5, 10), -1, 200, 0, 0, 0, 1, 0, 1},
      {"side limit", Rect(5, 13, 5, 11), -1, 200, 0, 0, 0, 0, 0, 1},
      {"too skewed for one region", Rect(5, 6, 2, 12), -1, 200, 0, 0, 0, 0, 0, 0},
      {"count test on, owned reach byte 13", Rect(5, 10, 5, 10), 20, 200, 10, 200, 0, 0, 0, 1},
      {"count test on, owned short", Rect(5, 10, 5, 10), 19, 200, 10, 200, 0, 0, 0, 0},
      {"floating, strong nodes reach byte 5", Rect(5, 10, 5, 10), -1, 200, 10, 200, 1, 0, 0, 1},
      {"floating, no strong node", Rect(5, 10, 5, 10), -1, 90, 10, 200, 1, 0, 0, 0},
      {"floating, collapsed", Rect(5, 10, 5, 10), -1, 90, 10, 200, 1, 1, 0, 1},
      {"pocket armed: no rectangle test", Rect(5, 10, 5, 10), -1, 200, 0, 0, 0, 0, 1, 0},
      {"pocket armed: side limit ignored", Rect(5, 13, 5, 11), -1, 200, 0, 0, 0, 0, 1, 0},
  };
  for (const Case& c : cases) {
    Init(32, 16);
    Cfg(kLargeCfgFlags, kLargeCfgRectTest);
    Cfg(kLargeCfgSideLimit, 8);
    Cfg(kLargeCfgAreaLimit, 30);
    Cfg(kLargeCfgRectCount, 20);
    Cfg(kLargeCfgRegionCount, c.cfg5);
    Cfg(kLargeCfgTotalCount, c.cfg6);
    Load();
    AddRegion(c.r, c.owned, c.diff);
    const LargeAreaInput in = Run([&](LargeAreaInput& r) {
      r.ubFloatCounter = c.floating;
      r.ubCollapse = c.collapse;
      r.ubModeA = c.modeA;
    });
    EXPECT_EQ(in.ubLarge, c.large) << c.what;
  }
}

// Regions that are not confined to the two first or the two last rows count towards the
// spanning test; three of them (configuration byte 12) make the frame large.
TEST_F(LargeArea, SpanningRegionsAgainstConfigurationByteTwelve) {
  struct Case {
    const char* what;
    std::vector<RegionRect> rects;
    uint8_t spanEnable;
    uint8_t large;
  } cases[] = {
      {"three spanning", {Rect(3, 4, 1, 2), Rect(10, 11, 1, 2), Rect(20, 21, 1, 2)}, 1, 1},
      {"one within rows 0-1", {Rect(0, 1, 1, 2), Rect(10, 11, 1, 2), Rect(20, 21, 1, 2)}, 1, 0},
      {"one within the last two rows", {Rect(3, 4, 1, 2), Rect(10, 11, 1, 2), Rect(30, 31, 1, 2)}, 1, 0},
      {"reaching row 2 counts", {Rect(0, 2, 1, 2), Rect(10, 11, 1, 2), Rect(29, 31, 1, 2)}, 1, 1},
      {"spanning test off", {Rect(3, 4, 1, 2), Rect(10, 11, 1, 2), Rect(20, 21, 1, 2)}, 0, 0},
  };
  for (const Case& c : cases) {
    Init(32, 16);
    Cfg(kLargeCfgFlags, kLargeCfgRectTest);
    Cfg(kLargeCfgSideLimit, 50);
    Cfg(kLargeCfgAreaLimit, 200);
    Cfg(kLargeCfgSpanCount, 3);
    Load();
    for (const RegionRect& r : c.rects) AddRegion(r);
    const LargeAreaInput in = Run([&](LargeAreaInput& r) { r.ubSpanEnable = c.spanEnable; });
    EXPECT_EQ(in.ubLarge, c.large) << c.what;
  }
}

// Hold frames 5, decrement 1: the large frame reloads the counter with 5 and leaves 4; the
// held verdict lasts while the reload still pays the decrement (three further frames) and
// ends on the frame whose reload is 1. The counter never wraps below 0.
TEST_F(LargeArea, HoldFramesKeepTheVerdictWhileTheKeepCountStays) {
  Init(32, 16);
  Cfg(kLargeCfgFlags, kLargeCfgRectTest);
  Cfg(kLargeCfgHoldFrames, 5);
  Cfg(kLargeCfgAreaLimit, 30);
  Cfg(kLargeCfgSideLimit, 50);
  Load();
  AddRegion(Rect(5, 10, 5, 10));
  LargeAreaInput in = Run();
  EXPECT_EQ(in.ubLarge, 1);
  EXPECT_EQ(in.ubHeld, 1);
  EXPECT_EQ(LargeHoldCounter(), 4);
  num_ = 0;  // the palm lifts; a finger elsewhere keeps the keep count at 1
  const uint8_t large[] = {1, 1, 1, 0, 0};
  const uint8_t counter[] = {3, 2, 1, 0, 0};
  for (size_t f = 0; f < sizeof(large); ++f) {
    in = Run();
    EXPECT_EQ(in.ubLarge, large[f]) << "frame " << f + 1 << " after the palm";
    EXPECT_EQ(in.ubHeld, large[f]) << f;
    EXPECT_EQ(LargeHoldCounter(), counter[f]) << f;
    EXPECT_EQ(gboLargeTouchStaBak, large[f]) << f;
  }

  // A keep count of 0 ends the hold at once, and so does a frame with the stage off, which
  // also clears the counter.
  num_ = 1;
  in = Run();
  num_ = 0;
  in = Run([](LargeAreaInput& r) { r.ubKeepCount = 0; });
  EXPECT_EQ(in.ubLarge, 0);
  EXPECT_EQ(in.ubHeld, 0);
  EXPECT_EQ(LargeHoldCounter(), 3);
  num_ = 1;
  in = Run();
  ASSERT_EQ(in.ubHeld, 1);
  in = Run([](LargeAreaInput& r) { r.ubEnable = 0; });
  EXPECT_EQ(in.ubLarge, 0);
  EXPECT_EQ(in.ubHeld, 0);
  EXPECT_EQ(LargeHoldCounter(), 0);
}

// Any of the three water states, or the pocket byte without mode B, clears everything while
// the latch is down. A large verdict raises the latch; while it is up the water clear is
// skipped, and it stays up only while the latch count exceeds 99.
TEST_F(LargeArea, WaterClearsTheVerdictUnlessTheLatchIsUp) {
  struct Case {
    const char* what;
    uint8_t WaterModuleState::*flag;
    uint8_t modeAOnly;
  } cases[] = {{"wet large area", &WaterModuleState::WaterLargeSta, 0},
               {"water union", &WaterModuleState::WaterUnionFlag, 0},
               {"water moving", &WaterModuleState::WaterMoveFlag, 0},
               {"mode A without mode B", nullptr, 1}};
  for (const Case& c : cases) {
    Init(32, 16);
    Cfg(kLargeCfgFlags, kLargeCfgRectTest);
    Cfg(kLargeCfgHoldFrames, 5);
    Cfg(kLargeCfgAreaLimit, 30);
    Cfg(kLargeCfgSideLimit, 50);
    Load();
    AddRegion(Rect(5, 10, 5, 10));
    const auto wet = [&](LargeAreaInput& r) {
      if (c.flag != nullptr) gstWaterState.*c.flag = 1;
      if (c.modeAOnly != 0) {
        r.ubModeA = 1;
        r.ubModeB = 0;
      }
    };
    // Latch down: the clear wins over a palm.
    LargeAreaInput in = Run(wet);
    EXPECT_EQ(in.ubLarge, 0) << c.what;
    EXPECT_EQ(in.ubHeld, 0) << c.what;
    EXPECT_EQ(LargeHoldCounter(), 0) << c.what;
    EXPECT_EQ(gboWaterLargeBak, 0) << c.what;
    if (c.flag != nullptr) gstWaterState.*c.flag = 0;

    // A dry large frame raises the latch; a wet frame with the latch count at 100 is judged
    // as usual and keeps the latch, one at 99 is still judged but drops it, and the next
    // wet frame is cleared.
    in = Run();
    ASSERT_EQ(in.ubLarge, 1) << c.what;
    EXPECT_EQ(gboWaterLargeBak, 1) << c.what;
    in = Run([&](LargeAreaInput& r) {
      wet(r);
      r.swLatchCount = 100;
    });
    EXPECT_EQ(in.ubLarge, 1) << c.what;
    EXPECT_EQ(gboWaterLargeBak, 1) << c.what;
    in = Run([&](LargeAreaInput& r) {
      wet(r);
      r.swLatchCount = 99;
    });
    EXPECT_EQ(in.ubLarge, 1) << c.what;
    EXPECT_EQ(gboWaterLargeBak, 0) << c.what;
    in = Run(wet);
    EXPECT_EQ(in.ubLarge, 0) << c.what;
    EXPECT_EQ(LargeHoldCounter(), 0) << c.what;
    if (c.flag != nullptr) gstWaterState.*c.flag = 0;
  }
}

TEST_F(LargeArea, StaRctRunsTheHoldOnTheRecordsVerdict) {
  Init(32, 16);
  Cfg(kLargeCfgHoldFrames, 3);
  Load();
  LargeAreaInput in = Input();
  in.ubLarge = 1;
  RegionLargeStaRct(&in);
  EXPECT_EQ(in.ubHeld, 1);
  EXPECT_EQ(LargeHoldCounter(), 2);
  in.ubLarge = 0;
  RegionLargeStaRct(&in);
  EXPECT_EQ(in.ubLarge, 1) << "held";
  EXPECT_EQ(LargeHoldCounter(), 1);
  in.ubLarge = 0;
  RegionLargeStaRct(&in);
  EXPECT_EQ(in.ubLarge, 0);
  EXPECT_EQ(in.ubHeld, 0);
}

TEST_F(LargeArea, InitLoadsTheThresholdsAndTheHostMayReplaceThemButNotTheCounter) {
  Init(32, 16);
  Cfg(kLargeCfgSideLimit, 9);
  Cfg(kLargeCfgAreaLimit, 40);
  Cfg(kLargeCfgRegionCount, 21);
  Cfg(kLargeCfgTotalCount, 60);
  Cfg(kLargeCfgHoldFrames, 7);
  gstLargeRegionCheck.uwHoldWord = 0x0505;
  gboLastLargeArea = 1;
  Load();
  EXPECT_EQ(+gstLargeRegionCheck.uwRegionCountThr, 21);
  EXPECT_EQ(+gstLargeRegionCheck.uwTotalCountThr, 60);
  EXPECT_EQ(+gstLargeRegionCheck.uwSideLimit, 9);
  EXPECT_EQ(+gstLargeRegionCheck.uwAreaLimit, 40);
  EXPECT_EQ(+gstLargeRegionCheck.uwHoldWord, 0);
  EXPECT_EQ(gboLastLargeArea, 0);

  Cfg(kLargeCfgFlags, kLargeCfgRectTest);
  AddRegion(Rect(5, 13, 5, 11));  // 9 rows: the side limit
  Run();
  ASSERT_EQ(LargeHoldCounter(), 6);
  SetLargeRegionTopsignThrd(1, 2, 300, 400);
  EXPECT_EQ(+gstLargeRegionCheck.uwRegionCountThr, 1);
  EXPECT_EQ(+gstLargeRegionCheck.uwTotalCountThr, 2);
  EXPECT_EQ(+gstLargeRegionCheck.uwSideLimit, 300);
  EXPECT_EQ(+gstLargeRegionCheck.uwAreaLimit, 400);
  EXPECT_EQ(LargeHoldCounter(), 6);
  // The host's limits rule the next frame: the same region is no longer large, the hold
  // carries the verdict.
  const LargeAreaInput in = Run();
  EXPECT_EQ(in.ubLarge, 1);
  EXPECT_EQ(LargeHoldCounter(), 5);
}

// A stale rectangle beyond the grid is read only where it lies on the grid.
TEST_F(LargeArea, ARectangleBeyondTheGridIsHeldToIt) {
  Init(32, 16);
  Cfg(kLargeCfgFlags, kLargeCfgCountTest);
  Cfg(kLargeCfgRegionCount, 200);
  Cfg(kLargeCfgTotalCount, 200);
  Load();
  AddRegion(Rect(28, 31, 12, 15));
  rect_[0] = Rect(28, 200, 12, 250);
  const LargeAreaInput in = Run();
  EXPECT_EQ(counts_[0], 16);
  EXPECT_EQ(+in.uwTotal, 2 + 16);
}

TEST_F(LargeArea, FirstWaterUnionRectIsTheFirstLiveEntryOfAValidTable) {
  Init(4, 4);
  struct Case {
    const char* what;
    uint8_t valid;
    std::vector<uint8_t> live;  // live entries, each with its own rectangle
    uint8_t want;
    uint8_t wantIndex;
  };
  const Case cases[] = {
      {"all free", 1, {}, 0, 0},
      {"table not valid", 0, {0, 3}, 0, 0},
      {"validity byte other than 1", 2, {0}, 0, 0},
      {"first entry", 1, {0, 1}, 1, 0},
      {"live entries after a free start", 1, {17, 30}, 1, 17},
      {"only the last entry", 1, {49}, 1, 49},
  };
  for (const Case& c : cases) {
    Init(4, 4);
    gstWaterState.ubUnionTableValid = c.valid;
    for (uint8_t k : c.live) AddWaterUnion(k, Rect(k % 7, static_cast<uint8_t>(k % 7 + 3), 1, static_cast<uint8_t>(k + 2)));
    uint32_t rect = 0xDEADBEEFu;
    EXPECT_EQ(GetFirstWaterUnionRect(&rect), c.want) << c.what;
    if (c.want != 0) {
      const uint8_t k = c.wantIndex;
      EXPECT_EQ(rect, RegionRectWord(Rect(k % 7, static_cast<uint8_t>(k % 7 + 3), 1, static_cast<uint8_t>(k + 2))))
          << c.what;
    } else {
      EXPECT_EQ(rect, 0xDEADBEEFu) << c.what << ": no rectangle is written";
    }
  }
  EXPECT_EQ(GetFirstWaterUnionRect(nullptr), 0);
}

// The component confirmation on a 20 x 20 grid with the count, rectangle and spanning tests
// off (their verdict is 0): a live 12 x 12 water union, four regions, keep count 2 and a
// total of 80 open its gate; the diff map decides the verdict.
class LargeComponent : public LargeAreaFixture {
 protected:
  void SetUp() override {
    Init(20, 20);
    Load();
    AddWaterUnion(0, Rect(0, 11, 0, 11));
  }
  LargeAreaInput RunComponent(void (*edit)(LargeAreaInput&) = nullptr) {
    return Run([edit](LargeAreaInput& in) {
      in.ubComponentEnable = 1;
      in.ubRegionNum = 4;
      in.ubKeepCount = 2;
      in.uwTotal = 80;
      if (edit != nullptr) edit(in);
    });
  }
  // A big component with a box 13 wide, and a 3 x 3 one: the confirmed picture.
  void PaintConfirmed() {
    Paint(Rect(0, 2, 0, 12));
    Paint(Rect(6, 8, 0, 2));
  }
};

TEST_F(LargeComponent, TwoBigComponentsOneOfThemWideConfirmTheFrame) {
  struct Case {
    const char* what;
    std::vector<RegionRect> parts;
    uint8_t want;
  };
  const Case cases[] = {
      {"two big, one wide", {Rect(0, 2, 0, 12), Rect(6, 8, 0, 2)}, 1},
      {"wide by height", {Rect(0, 11, 0, 0), Rect(0, 2, 5, 7)}, 1},
      {"one big and one of 8 nodes", {Rect(0, 2, 0, 12), Rect(6, 7, 0, 3)}, 0},
      {"two big, none wide", {Rect(0, 2, 0, 10), Rect(6, 8, 0, 2)}, 0},
      {"two big touching diagonally are one", {Rect(0, 2, 0, 12), Rect(3, 5, 13, 15)}, 0},
      {"nothing above the node threshold", {}, 0},
  };
  for (const Case& c : cases) {
    SetUp();
    for (RegionRect r : c.parts) Paint(r);
    const LargeAreaInput in = RunComponent();
    EXPECT_EQ(in.ubLarge, c.want) << c.what;
    EXPECT_EQ(gboLastLargeArea, c.want) << c.what;
    EXPECT_EQ(gboLargeTouchStaBak, c.want) << c.what;
    EXPECT_EQ(LargeHoldCounter(), 0) << c.what << ": hold frames 0";
  }
  // Just below the component node threshold is background.
  SetUp();
  Paint(Rect(0, 2, 0, 12));
  Paint(Rect(6, 8, 0, 2), 49);
  EXPECT_EQ(RunComponent().ubLarge, 0);
}

TEST_F(LargeComponent, TheSixteenthComponentStaysUnlabelled) {
  // A big wide component (label 1), DOTS single nodes (labels 2, 3, ...), then a 3 x 3
  // component: with 13 dots it is label 15 and confirms; with 14 it would be the sixteenth.
  for (int dots : {13, 14}) {
    SetUp();
    Paint(Rect(0, 1, 0, 12));
    for (int k = 0; k < dots; ++k) {
      const uint8_t row = static_cast<uint8_t>(3 + 2 * (k / 10)), col = static_cast<uint8_t>(2 * (k % 10));
      Paint(Rect(row, row, col, col));
    }
    Paint(Rect(9, 11, 0, 2));
    EXPECT_EQ(RunComponent().ubLarge, dots == 13 ? 1 : 0) << dots << " dots";
  }
}

TEST_F(LargeComponent, AnUpRightNeighbourJoinsTwoLabels) {
  // P (7 nodes, label 1) and Q (8 nodes, label 2) meet only at the node (2, 4): P is its
  // up-left neighbour and Q its up-right one. Joined they are one big component of 16,
  // which with the wide one below confirms the frame; without the joining node neither
  // half is big.
  for (bool join : {true, false}) {
    SetUp();
    Paint(Rect(0, 1, 0, 3));
    Paint(Rect(0, 0, 0, 0), 0);
    Paint(Rect(0, 1, 5, 8));
    if (join) Paint(Rect(2, 2, 4, 4));
    Paint(Rect(10, 11, 0, 12));
    EXPECT_EQ(RunComponent().ubLarge, join ? 1 : 0) << (join ? "joined" : "apart");
  }
}

TEST_F(LargeComponent, TheGateOfTheConfirmation) {
  struct Case {
    const char* what;
    void (*edit)(LargeAreaInput&);
    uint32_t water;  // the first union's rectangle
    uint8_t want;
  };
  const uint32_t kWater = RegionRectWord(Rect(0, 11, 0, 11));
  const Case cases[] = {
      {"open", [](LargeAreaInput&) {}, kWater, 1},
      {"three regions", [](LargeAreaInput& in) { in.ubRegionNum = 3; }, kWater, 0},
      {"keep count 1", [](LargeAreaInput& in) { in.ubKeepCount = 1; }, kWater, 0},
      {"total 49", [](LargeAreaInput& in) { in.uwTotal = 49; }, kWater, 0},
      {"total 50", [](LargeAreaInput& in) { in.uwTotal = 50; }, kWater, 1},
      {"component skip", [](LargeAreaInput& in) { in.ubComponentSkip = 1; }, kWater, 0},
      {"water rectangle 11 high", [](LargeAreaInput&) {}, RegionRectWord(Rect(0, 10, 0, 11)), 0},
      {"water rectangle 11 wide", [](LargeAreaInput&) {}, RegionRectWord(Rect(0, 11, 3, 13)), 0},
      {"no live union", [](LargeAreaInput&) {}, 0xFFFFFFFFu, 0},
      {"component enable 0", [](LargeAreaInput& in) { in.ubComponentEnable = 0; }, kWater, 0},
      // The label image would not fit the scratch, or the record's node count is not its
      // grid: the confirmation is refused.
      {"no scratch", [](LargeAreaInput& in) { in.pubScratch = nullptr; }, kWater, 0},
      {"node count not rows x columns", [](LargeAreaInput& in) { in.uwNodeNum = 399; }, kWater, 0},
  };
  for (const Case& c : cases) {
    SetUp();
    if (c.water == 0xFFFFFFFFu) {
      gstWaterState.astUnion[0].label = kWaterUnionFree;
    } else {
      gstWaterState.astUnion[0].rect = RegionRectFromWord(c.water);
    }
    PaintConfirmed();
    const LargeAreaInput in = RunComponent(c.edit);
    EXPECT_EQ(in.ubLarge, c.want) << c.what;
    EXPECT_EQ(gboLastLargeArea, c.want) << c.what;
  }
}

TEST_F(LargeComponent, AGridBeyondTheScratchIsRefused) {
  // 60 x 60 nodes: the label image would run past the scratch buffer.
  Init(60, 60);
  Load();
  AddWaterUnion(0, Rect(0, 11, 0, 11));
  PaintConfirmed();
  const LargeAreaInput in = RunComponent();
  EXPECT_EQ(in.ubLarge, 0);
  EXPECT_EQ(gboLastLargeArea, 0);
}

TEST_F(LargeComponent, ALastConfirmationHoldsFromATotalOfOneHundred) {
  // The previous call confirmed; the diff map is empty now. From a total of 100 the frame
  // stays large without labelling (the verdict flag is kept); below it the labelling runs
  // even without a water union, finds nothing and clears the flag.
  gstWaterState.astUnion[0].label = kWaterUnionFree;
  gboLastLargeArea = 1;
  LargeAreaInput in = RunComponent([](LargeAreaInput& r) { r.uwTotal = 100; });
  EXPECT_EQ(in.ubLarge, 1);
  EXPECT_EQ(gboLastLargeArea, 1);

  gboLastLargeArea = 1;
  in = RunComponent([](LargeAreaInput& r) {
    r.uwTotal = 99;
    r.ubKeepCount = 0;
  });
  EXPECT_EQ(in.ubLarge, 0);
  EXPECT_EQ(gboLastLargeArea, 0);

  // The same picture confirms again without a water union while the flag is set.
  gboLastLargeArea = 1;
  PaintConfirmed();
  in = RunComponent([](LargeAreaInput& r) { r.uwTotal = 10; });
  EXPECT_EQ(in.ubLarge, 1);
  EXPECT_EQ(gboLastLargeArea, 1);
}

TEST_F(LargeComponent, ALargeFrameKeepsItsVerdictAndTheConfirmationStillRuns) {
  // The rectangle test finds a large region; v is 1, so the labelling runs without its gate
  // and stores its own verdict, while the frame stays large.
  Cfg(kLargeCfgFlags, kLargeCfgRectTest);
  Cfg(kLargeCfgSideLimit, 4);
  Load();
  AddRegion(Rect(14, 17, 14, 17), -1, 10);
  gstWaterState.astUnion[0].label = kWaterUnionFree;
  LargeAreaInput in = RunComponent();
  EXPECT_EQ(in.ubLarge, 1);
  EXPECT_EQ(gboLastLargeArea, 0);
  PaintConfirmed();
  in = RunComponent();
  EXPECT_EQ(in.ubLarge, 1);
  EXPECT_EQ(gboLastLargeArea, 1);
}

TEST(RectSelfConfirm, NeedsARowAndAColumnChannelOfTheRectangle) {
  // Rows 0-3, then columns 0-4.
  const int16_t self[9] = {10, 50, 10, 10, /*cols*/ 10, 10, 10, 70, 10};
  struct Case {
    RegionRect r;
    uint8_t expect;
  } cases[] = {
      {Rect(1, 2, 3, 4), 1},  // row 1 and column 3
      {Rect(2, 3, 3, 4), 0},  // no row channel
      {Rect(0, 2, 0, 2), 0},  // no column channel
      {Rect(1, 1, 3, 3), 1},
      {Rect(2, 1, 3, 3), 0},  // inverted rows
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RectSelfConfirm(50, 70, self, 4, RegionRectWord(c.r)), c.expect) << RegionRectWord(c.r);
  }
  EXPECT_EQ(RectSelfConfirm(50, 70, nullptr, 4, RegionRectWord(Rect(1, 2, 3, 4))), 0);
}

// The wrapper: the record from the common record, the region record and the panel, the
// results back into the common record; the owned-node counts land in the check's own array
// and leave the waterproof values of the region record alone.
class LargeAreaWrapper : public ::testing::Test {
 protected:
  void SetUp() override {
    memcpy(&savedCommon_, &gstCommon, sizeof(gstCommon));
    memcpy(&savedPanel_, &gstTouchPannelCfg, sizeof(gstTouchPannelCfg));
    memset(&gstLargeTouchCfg, 0, sizeof(gstLargeTouchCfg));
    memset(&gstMutualRegion, 0, sizeof(gstMutualRegion));
    memset(gaubRegionLabelMap, kRegionLabelNone, sizeof(gaubRegionLabelMap));
    memset(gauwLargeRegionNodeCount, 0, sizeof(gauwLargeRegionNodeCount));
    gstWaterState.WaterLargeSta = gstWaterState.WaterUnionFlag = gstWaterState.WaterMoveFlag = 0;
    gboWaterLargeBak = 0;
    gstRegionOutput.ubPassFlag = 0;
    diff_.assign(32 * 16, 0);
    gstCommon.stData.pswDiffData = diff_.data();
    gstCommon.ubDrvNum = 32;
    gstCommon.ubSenNum = 16;
    gstCommon.pubTempArena = nullptr;
    gstCommon.ubPointCount = 1;
    gstCommon.ubLargePocket = 0;
    gstCommon.ubLargeAreaInput = 0;
    gstCommon.ubLargeAreaFlag = gstCommon.ubLargeAreaCompanion = gstCommon.ubLargeAreaResult = 0;
    gstTouchPannelCfg.aubHead[4] = 100;
    gstTouchPannelCfg.aubHead[5] = 0;
  }
  void TearDown() override {
    memcpy(&gstCommon, &savedCommon_, sizeof(gstCommon));
    memcpy(&gstTouchPannelCfg, &savedPanel_, sizeof(gstTouchPannelCfg));
  }
  void Region(uint8_t i, RegionRect r, uint16_t waterValue) {
    gstMutualRegion.astRect[i] = r;
    gstMutualRegion.auwPeak[i] = 300;
    gstMutualRegion.auwWaterValue[i] = waterValue;
    gstMutualRegion.ubRegionNum = static_cast<uint8_t>(i + 1);
    for (int row = r.ubRowStart; row <= r.ubRowEnd; ++row) {
      for (int col = r.ubColStart; col <= r.ubColEnd; ++col) {
        gaubRegionLabelMap[row * 16 + col] = i;
        diff_[row * 16 + col] = 200;
      }
    }
  }

  CommonRecord savedCommon_;
  TouchPannelCfg savedPanel_;
  std::vector<int16_t> diff_;
};

TEST_F(LargeAreaWrapper, WritesTheVerdictBackAndKeepsTheWaterproofValues) {
  gstLargeTouchCfg.aubData[kLargeCfgFlags] = kLargeCfgCountTest;
  gstLargeTouchCfg.aubData[kLargeCfgHoldFrames] = 4;
  gstLargeTouchCfg.aubData[kLargeCfgRegionCount] = 20;
  gstLargeTouchCfg.aubData[kLargeCfgTotalCount] = 200;
  RegionLargeAreaInit();
  Region(0, Rect(5, 10, 5, 10), 77);  // a 6 x 6 palm
  Region(1, Rect(20, 20, 3, 4), 88);  // a thin touch
  RegionLargeAreaProcWrapper();
  EXPECT_EQ(gstCommon.ubLargeAreaFlag, 1);
  EXPECT_EQ(gstCommon.ubLargeAreaCompanion, 1);
  EXPECT_EQ(gstCommon.ubLargeAreaResult, 0);
  EXPECT_EQ(gauwLargeRegionNodeCount[0], 36);
  EXPECT_EQ(gauwLargeRegionNodeCount[1], 2);
  EXPECT_EQ(+gstMutualRegion.uwWaterWord, 2 * 2 + 36 + 2) << "the total";
  EXPECT_EQ(+gstMutualRegion.auwWaterValue[0], 77);
  EXPECT_EQ(+gstMutualRegion.auwWaterValue[1], 88);

  // The palm lifts: the held state comes back from the common record while a point is
  // reported, and ends when none is.
  memset(&gstMutualRegion, 0, sizeof(gstMutualRegion));
  RegionLargeAreaProcWrapper();
  EXPECT_EQ(gstCommon.ubLargeAreaFlag, 1);
  gstCommon.ubPointCount = 0;
  RegionLargeAreaProcWrapper();
  EXPECT_EQ(gstCommon.ubLargeAreaFlag, 0);
  EXPECT_EQ(gstCommon.ubLargeAreaCompanion, 0);
}

// The pocket (iron-cover) byte is mode A with mode B fixed at 1: the total threshold gains
// the margin 30 and the rectangle test does not run, so a cover that spreads moderate signal
// over the panel is not taken for a palm.
TEST_F(LargeAreaWrapper, ThePocketByteRaisesTheTotalAndSkipsTheRectangleTest) {
  gstLargeTouchCfg.aubData[kLargeCfgFlags] = kLargeCfgCountTest | kLargeCfgRectTest;
  gstLargeTouchCfg.aubData[kLargeCfgRegionCount] = 200;
  gstLargeTouchCfg.aubData[kLargeCfgTotalCount] = 40;
  gstLargeTouchCfg.aubData[kLargeCfgSideLimit] = 8;
  gstLargeTouchCfg.aubData[kLargeCfgAreaLimit] = 200;
  gstLargeTouchCfg.aubData[kLargeCfgRectCount] = 1;
  Region(0, Rect(5, 9, 3, 11), 0);  // 5 x 9 = 45 nodes: total 47
  for (uint8_t pocket : {0, 1}) {
    RegionLargeAreaInit();
    gstCommon.ubLargeAreaCompanion = 0;
    gstCommon.ubLargePocket = pocket;
    RegionLargeAreaProcWrapper();
    EXPECT_EQ(gstCommon.ubLargeAreaFlag, pocket == 0 ? 1 : 0) << int(pocket);
    EXPECT_EQ(+gstMutualRegion.uwWaterWord, 47);
  }
  // With the count test off, the rectangle test alone: large by the side limit, unless the
  // pocket is armed.
  gstLargeTouchCfg.aubData[kLargeCfgFlags] = kLargeCfgRectTest;
  for (uint8_t pocket : {0, 1}) {
    RegionLargeAreaInit();
    gstCommon.ubLargeAreaCompanion = 0;
    gstCommon.ubLargePocket = pocket;
    RegionLargeAreaProcWrapper();
    EXPECT_EQ(gstCommon.ubLargeAreaFlag, pocket == 0 ? 1 : 0) << "rectangle test, pocket " << int(pocket);
  }
}

}  // namespace
