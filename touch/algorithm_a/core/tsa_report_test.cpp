// Touch report output: a scripted coordinate result (the coordinate records filled as the
// coordinate stages leave them) run through the report stage and the diff-data hand-over.
#include <gtest/gtest.h>

#include <array>
#include <set>
#include <cstring>
#include <vector>

#include "coord_records.h"
#include "framework.h"
#include "region_records.h"
#include "tsa_common.h"
#include "tsa_config.h"
#include "tsa_custdbg.h"
#include "tsa_pack.h"
#include "tsa_frame.h"
#include "tsa_module.h"
#include "tsa_module_links.h"
#include "tsa_report.h"

namespace {

constexpr int32_t kNone = 0x7fffffff;

struct DiffOut {
  std::array<AlgTouchPoint, 12> points{};
  uint8_t fpStatus = 0, fpChanged = 0, largeState = 0, largeChanged = 0;
  uint32_t result = 0;
};

class TouchReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    memset(&gstCommon, 0, sizeof(gstCommon));
    memset(&gstMutualRegion, 0, sizeof(gstMutualRegion));
    CoordPairRecordInit();
    CoordComOutputInit(&gstTsaTouchReportInfo);
    memset(&gstFpJudge, 0, sizeof(gstFpJudge));
    memset(&gstTsaTouchReportInfo, 0, sizeof(gstTsaTouchReportInfo));
    memset(&gstTamrelCoord, 0, sizeof(gstTamrelCoord));
    TouchReportReset();
    gstTouchPannelCfg.uiValue20 = 12;
    gstCommon.uiPanelValue1 = 12;
    gstCommon.ubPowerOnRefReady = 1;
    gstCommon.ubDrvNum = kRows;
    gstCommon.ubSenNum = kCols;
    gstCommon.swTouchThreshold = 50;
    gstCommon.stData.pswDiffData = diff_.data();
    gubSuspendSta = 1;
    gubNotReportFlag = 0;
    gubReportRestartSta = 0;
    gboWakeRefRestored = 0;
    guiIsFWakeCheckNcln = 0;
    gubFpPointResCnt = 0;
    SetFrameIndex(500);
  }

  static void SetFrameIndex(uint16_t index) {
    gstTsaFrameHead.uwFrameIndex = index;
  }

  // The coordinate stages' result for one frame: each point is {slot, x, y, weight}; point
  // i comes from region i.
  struct Point {
    uint8_t slot;
    uint16_t x, y, weight;
  };
  static void ScriptFrame(const std::vector<Point>& points) {
    memset(gpuwNewPointX, 0, sizeof(gpuwNewPointX));
    memset(gpuwNewPointY, 0, sizeof(gpuwNewPointY));
    memset(gpuwNewWeight, 0, sizeof(gpuwNewWeight));
    memset(gstCoordPair.aubOrderIndex, 0xFF, sizeof(gstCoordPair.aubOrderIndex));
    gstMutualRegion.ubRegionNum = static_cast<uint8_t>(points.size());
    for (size_t i = 0; i < points.size(); ++i) {
      const Point& p = points[i];
      gpuwNewPointX[p.slot] = p.x;
      gpuwNewPointY[p.slot] = p.y;
      gpuwNewWeight[p.slot] = p.weight;
      gstCoordPair.aubOrderIndex[i] = p.slot;
      gstMutualRegion.auwPeak[i] = 100;
      gstMutualRegion.astRect[i] = RegionRect{2, 3, 2, 3};
    }
  }

  static DiffOut RunFrame() {
    ThpTouchReport();
    DiffOut out;
    out.result = TsaUpdateDiffData(0, 0, out.points.data(), &out.fpStatus, &out.fpChanged, &out.largeState,
                                   &out.largeChanged);
    return out;
  }

  static constexpr uint8_t kRows = 6;
  static constexpr uint8_t kCols = 5;
  std::array<int16_t, kRows * kCols> diff_{};
};

TEST_F(TouchReportTest, PointGoesDownMovesAndLifts) {
  struct Step {
    std::vector<Point> points;
    uint32_t count;
    int32_t x, y, id, event;
  };
  const std::vector<Step> steps = {
      {{{2, 1000, 2000, 300}}, 1, 1000, 2000, 2, 0},
      {{{2, 1100, 2100, 300}}, 1, 1100, 2100, 2, 1},
      {{}, 1, 1100, 2100, 2, 2},
  };
  for (size_t i = 0; i < steps.size(); ++i) {
    SCOPED_TRACE(i);
    ScriptFrame(steps[i].points);
    const DiffOut out = RunFrame();
    ASSERT_EQ(out.result, steps[i].count);
    EXPECT_EQ(out.points[0].tool, 0);
    EXPECT_EQ(out.points[0].x, steps[i].x);
    EXPECT_EQ(out.points[0].y, steps[i].y);
    EXPECT_EQ(out.points[0].id, steps[i].id);
    EXPECT_EQ(out.points[0].action, steps[i].event);
    EXPECT_EQ(gstCommon.ubPointCount, steps[i].count);
  }
  // After the up: nothing, and the entry just past the count carries "no coordinate".
  ScriptFrame({});
  const DiffOut out = RunFrame();
  EXPECT_EQ(out.result, 0u);
  EXPECT_EQ(out.points[0].x, kNone);
  EXPECT_EQ(out.points[0].y, kNone);
}

TEST_F(TouchReportTest, ReportRecordCarriesSlotPositionAndWeight) {
  ScriptFrame({{5, 700, 800, 40}, {1, 300, 400, 500}});
  ThpTouchReport();
  const TsaTouchReportInfo& r = gstTsaTouchReportInfo;
  ASSERT_EQ(r.ubTouchNum, 2);
  // Slots are walked in order: slot 1 first. Its weight 500 is above the peak 100.
  EXPECT_EQ(r.astPoint[0].ubTrackId, 1);
  EXPECT_EQ(r.astPoint[0].uwXPos, 300);
  EXPECT_EQ(r.astPoint[0].uwPressure, 500);
  // Slot 5's weight 40 is below its region's peak 100: raised to 110, also in the output.
  EXPECT_EQ(r.astPoint[1].ubTrackId, 5);
  EXPECT_EQ(r.astPoint[1].uwPressure, 110);
  EXPECT_EQ(gpuwNewWeight[5], 110);
}

TEST_F(TouchReportTest, NothingIsReportedUntilReadyAndResumed) {
  struct Case {
    const char* name;
    uint8_t suspend, refReady, notReport;
  };
  const Case cases[] = {
      {"not resumed", 0, 1, 0},
      {"no reference", 1, 0, 0},
      {"not-report flag", 1, 1, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    gubSuspendSta = c.suspend;
    gstCommon.ubPowerOnRefReady = c.refReady;
    gubNotReportFlag = c.notReport;
    ScriptFrame({{0, 10, 10, 200}});
    const DiffOut out = RunFrame();
    EXPECT_EQ(out.result, 255u);
    EXPECT_EQ(out.points[0].x, 0);
    EXPECT_EQ(gubNotReportFlag, 0);
  }
}

TEST_F(TouchReportTest, ConfiguredCountAboveTwelveStaysInsideTheTwelveEntries) {
  // A configuration byte of 200 must not walk past the 12 slots or the 12 host entries
  // (the sanitizer flags any write past the array).
  gstTouchPannelCfg.uiValue20 = 200;
  gstCommon.uiPanelValue1 = 200;
  std::vector<Point> pts;
  for (uint8_t s = 0; s < 12; ++s) pts.push_back({s, static_cast<uint16_t>(100 + s), 50, 200});
  ScriptFrame(pts);
  DiffOut out = RunFrame();
  ASSERT_EQ(out.result, 12u);
  EXPECT_EQ(gstTsaTouchReportInfo.ubTouchNum, 12);
  for (int i = 0; i < 12; ++i) {
    EXPECT_EQ(out.points[i].id, i);
    EXPECT_EQ(out.points[i].x, 100 + i);
  }
  ScriptFrame({});
  out = RunFrame();
  EXPECT_EQ(out.result, 12u);  // twelve ups
  for (int i = 0; i < 12; ++i) EXPECT_EQ(out.points[i].action, 2);
}

TEST_F(TouchReportTest, WakeCheckReportsOnlyTheFingerprintPointForTenFrames) {
  guiIsFWakeCheckNcln = kFpWakeArmed;
  gubFpPointResCnt = 10;
  gstFpJudge.ubFpSlot = 4;
  for (int frame = 0; frame < 10; ++frame) {
    SCOPED_TRACE(frame);
    ScriptFrame({{1, 10, 10, 200}, {4, 500, 600, 200}});
    const DiffOut out = RunFrame();
    ASSERT_EQ(out.result, 1u);
    EXPECT_EQ(out.points[0].id, 9);
    EXPECT_EQ(out.points[0].x, 500);
    EXPECT_EQ(out.points[0].action, frame == 0 ? 0 : 1);
  }
  EXPECT_EQ(gubFpReportPoint, 1);
  EXPECT_EQ(gubFpIndex, 4);
  // Frames left are used up: every present slot is reported, the fingerprint one still as 9.
  ScriptFrame({{1, 10, 10, 200}, {4, 500, 600, 200}});
  DiffOut out = RunFrame();
  ASSERT_EQ(out.result, 2u);
  EXPECT_EQ(out.points[0].id, 1);
  EXPECT_EQ(out.points[0].action, 0);
  EXPECT_EQ(out.points[1].id, 9);
  // The fingerprint point lifts: one up with id 9, and the check is disarmed.
  ScriptFrame({{1, 10, 10, 200}});
  out = RunFrame();
  ASSERT_EQ(out.result, 2u);
  EXPECT_EQ(out.points[1].id, 9);
  EXPECT_EQ(out.points[1].action, 2);
  EXPECT_EQ(guiIsFWakeCheckNcln, 0u);
  EXPECT_EQ(gubFpIndex, 255);
}

// Each id the host sees goes down once, moves only while down, and goes up before it goes
// down again.
class IdStream {
 public:
  void Take(const DiffOut& out) {
    ASSERT_LE(out.result, 12u);
    for (uint32_t i = 0; i < out.result; ++i) {
      const AlgTouchPoint& p = out.points[i];
      SCOPED_TRACE(testing::Message() << "entry " << i << " id " << p.id << " event " << p.action);
      const bool down = down_.count(p.id) != 0;
      if (p.action == 0) {
        EXPECT_FALSE(down) << "second down without an up";
        down_.insert(p.id);
      } else if (p.action == 1) {
        EXPECT_TRUE(down) << "move for an id that never went down";
      } else {
        EXPECT_TRUE(down) << "up for an id that is not down";
        down_.erase(p.id);
      }
    }
  }

 private:
  std::set<int32_t> down_;
};

TEST_F(TouchReportTest, RealTouchTakingSlotNineReleasesTheHeldFingerprintIdFirst) {
  guiIsFWakeCheckNcln = kFpWakeArmed;
  gubFpPointResCnt = 1;
  gstFpJudge.ubFpSlot = 3;
  IdStream stream;
  // The fingerprint point goes down as id 9 and is held past its reporting frames.
  ScriptFrame({{3, 100, 110, 200}});
  DiffOut out = RunFrame();
  stream.Take(out);
  ASSERT_EQ(out.result, 1u);
  EXPECT_EQ(out.points[0].id, 9);
  EXPECT_EQ(out.points[0].action, 0);
  ScriptFrame({{3, 120, 130, 200}});
  out = RunFrame();
  stream.Take(out);
  ASSERT_EQ(out.result, 1u);
  EXPECT_EQ(out.points[0].id, 9);
  EXPECT_EQ(out.points[0].action, 1);

  // A real touch lands in slot 9: id 9 lifts where the fingerprint point was last seen,
  // then the fingerprint point goes on under its own slot and the real touch goes down.
  ScriptFrame({{3, 140, 150, 200}, {9, 900, 910, 200}});
  out = RunFrame();
  stream.Take(out);
  ASSERT_EQ(out.result, 3u);
  EXPECT_EQ(out.points[0].id, 9);
  EXPECT_EQ(out.points[0].action, 2);
  EXPECT_EQ(out.points[0].x, 120);
  EXPECT_EQ(out.points[0].y, 130);
  EXPECT_EQ(out.points[1].id, 3);
  EXPECT_EQ(out.points[1].action, 0);
  EXPECT_EQ(out.points[1].x, 140);
  EXPECT_EQ(out.points[2].id, 9);
  EXPECT_EQ(out.points[2].action, 0);
  EXPECT_EQ(out.points[2].x, 900);
  EXPECT_EQ(guiIsFWakeCheckNcln, 0u);
  EXPECT_EQ(gubFpIndex, 255);

  ScriptFrame({{3, 160, 170, 200}, {9, 920, 930, 200}});
  out = RunFrame();
  stream.Take(out);
  ASSERT_EQ(out.result, 2u);
  EXPECT_EQ(out.points[0].action, 1);
  EXPECT_EQ(out.points[1].action, 1);
  ScriptFrame({});
  stream.Take(RunFrame());
}

TEST_F(TouchReportTest, FingerprintIdReleasedWhenItsPointLeftAsSlotNineArrives) {
  guiIsFWakeCheckNcln = kFpWakeArmed;
  gubFpPointResCnt = 1;
  gstFpJudge.ubFpSlot = 3;
  IdStream stream;
  ScriptFrame({{3, 100, 110, 200}});
  stream.Take(RunFrame());
  // The fingerprint point lifts in the same frame as slot 9 goes down: one up for id 9,
  // nothing under slot 3, one down for id 9.
  ScriptFrame({{9, 900, 910, 200}});
  const DiffOut out = RunFrame();
  stream.Take(out);
  ASSERT_EQ(out.result, 2u);
  EXPECT_EQ(out.points[0].id, 9);
  EXPECT_EQ(out.points[0].action, 2);
  EXPECT_EQ(out.points[0].x, 100);
  EXPECT_EQ(out.points[1].id, 9);
  EXPECT_EQ(out.points[1].action, 0);
}

TEST_F(TouchReportTest, WakeCheckWithoutItsPointHoldsEarlyFrames) {
  guiIsFWakeCheckNcln = kFpWakeArmed;
  gubFpPointResCnt = 10;
  gubFpIndex = 2;
  gstFpJudge.ubFpSlot = 2;
  SetFrameIndex(20);
  ScriptFrame({});
  EXPECT_EQ(RunFrame().result, 0xFFFFFFFFu);
  SetFrameIndex(100);
  EXPECT_EQ(RunFrame().result, 0u);
}

TEST_F(TouchReportTest, LargeAreaReportsNoPointsAndSignalsTheChangeOnce) {
  gstCommon.ubLargeAreaFlag = 1;
  ScriptFrame({{0, 10, 10, 200}});
  DiffOut out = RunFrame();
  EXPECT_EQ(out.result, 0u);
  EXPECT_EQ(gstTsaTouchReportInfo.ubTouchNum, 0);
  EXPECT_EQ(out.largeChanged, 1);
  EXPECT_EQ(out.largeState, 1);
  out = RunFrame();
  EXPECT_EQ(out.largeChanged, 0);
  gstCommon.ubLargeAreaFlag = 0;
  out = RunFrame();
  EXPECT_EQ(out.largeChanged, 1);
  EXPECT_EQ(out.largeState, 0);
}

TEST_F(TouchReportTest, FingerprintStatusChangeIsSignalledOnEdgesOnly) {
  const struct {
    uint8_t status, changed;
  } steps[] = {{0, 0}, {3, 1}, {5, 0}, {0, 1}};
  for (const auto& s : steps) {
    gstCommon.ubFpStatus = s.status;
    const DiffOut out = RunFrame();
    EXPECT_EQ(out.fpStatus, s.status);
    EXPECT_EQ(out.fpChanged, s.changed);
  }
}

TEST_F(TouchReportTest, WakeReferenceFrameReportsNothingAndEndsTheRestart) {
  gboWakeRefRestored = 1;
  gubReportRestartSta = 2;
  ScriptFrame({{0, 10, 10, 200}});
  EXPECT_EQ(RunFrame().result, 255u);
  EXPECT_EQ(gboWakeRefRestored, 0);
  EXPECT_EQ(gubReportRestartSta, 1);
}

TEST_F(TouchReportTest, SameCoordinatesAsLastFrameAreNoted) {
  ScriptFrame({{0, 10, 10, 200}});
  ThpTouchReport();
  EXPECT_EQ(gboCoordSameAsLast, 0);
  ThpTouchReport();
  EXPECT_EQ(gboCoordSameAsLast, 1);
  gpuwNewPointX[0] = 11;
  ThpTouchReport();
  EXPECT_EQ(gboCoordSameAsLast, 0);
}

// Shape record reference: the fields packed as the record lays them out.
uint64_t Shape(uint32_t over, uint32_t peakQ, uint32_t row, uint32_t rows, uint32_t col, uint32_t cols,
               uint32_t ratio) {
  return over | (uint64_t{peakQ} << 8) | (uint64_t{row} << 16) | (uint64_t{rows} << 22) | (uint64_t{col} << 28) |
         (uint64_t{cols} << 34) | (uint64_t{ratio} << 40);
}

uint64_t StoredShape(uint8_t slot) {
  uint8_t* rec = nullptr;
  uint8_t len = 0;
  EXPECT_EQ(GetReportCoordInfoCustom(slot, &len, &rec), 0);
  EXPECT_EQ(len, 6);
  uint64_t v = 0;
  for (int i = 5; i >= 0; --i) v = (v << 8) | rec[i];
  return v;
}

TEST_F(TouchReportTest, ShapeRecordOfAnEdgeRegionCarriesItsEdgeRatio) {
  // A one-row region on the first drive line, columns 1-2: widened to rows 0-1.
  auto at = [&](int r, int c) -> int16_t& { return diff_[r * kCols + c]; };
  at(0, 1) = 100;
  at(0, 2) = 60;
  at(1, 1) = 40;
  at(1, 2) = 40;
  at(2, 1) = 500;  // outside the rectangle
  ScriptFrame({{6, 10, 10, 200}});
  gstMutualRegion.astRect[0] = RegionRect{0, 0, 1, 2};
  gstMutualRegion.auwPeak[0] = 100;
  ThpTouchReport();
  // Over 50 in the original rectangle: 2 nodes; peak / 4 = 25; ratio 16 * 160 / 80 = 32.
  EXPECT_EQ(StoredShape(6), Shape(2, 25, 0, 1, 1, 2, 32));
  const uint8_t widened[4] = {0, 1, 1, 2};
  EXPECT_EQ(memcmp(gstCommon.aubWorkRect, widened, 4), 0);
}

TEST_F(TouchReportTest, ShapeRecordOfAnInnerRegionHasNoRatioAndHeldPointsKeepTheirs) {
  auto at = [&](int r, int c) -> int16_t& { return diff_[r * kCols + c]; };
  at(2, 2) = 1500;
  at(2, 3) = 51;
  at(3, 2) = 50;
  ScriptFrame({{0, 10, 10, 200}});
  gstMutualRegion.astRect[0] = RegionRect{2, 3, 2, 3};
  gstMutualRegion.auwPeak[0] = 1500;
  ThpTouchReport();
  const uint64_t first = Shape(2, 255, 2, 2, 2, 2, 0);
  EXPECT_EQ(StoredShape(0), first);
  // Next frame the pairing holds the point (low nibble of its leave timer): record kept.
  gstMutualRegion.astRect[0] = RegionRect{1, 1, 1, 1};
  gstCoordPair.aubLeaveTouchTimer[0] = 0x02;
  ThpTouchReport();
  EXPECT_EQ(StoredShape(0), first);
}

TEST_F(TouchReportTest, ShapeRecordRefusesARectangleOutsideTheGrid) {
  ScriptFrame({{0, 10, 10, 200}});
  gstMutualRegion.astRect[0] = RegionRect{2, 40, 0, 1};
  ThpTouchReport();
  EXPECT_EQ(StoredShape(0), 0u);
}

// What the host's report slot received, frame by frame.
std::vector<std::vector<AlgTouchPoint>> gHostReports;
void HostReportPoints(AlgTouchPoint* points, uint8_t count) { gHostReports.emplace_back(points, points + count); }

TEST_F(TouchReportTest, HostReportSlotSeesDownMoveUpThroughUpdateDiffData) {
  AlgHostCallbacks host{};
  host.report_points = HostReportPoints;
  register_alg_module(&host);
  gstTsaModuleLinks = kTsaModuleDefaultLinks;
  gHostReports.clear();
  DecodedFrame frame{};
  const std::vector<std::vector<Point>> frames = {
      {{7, 4000, 5000, 300}}, {{7, 4010, 5020, 300}}, {}};
  for (const auto& f : frames) {
    ScriptFrame(f);
    ThpTouchReport();
    ASSERT_EQ(ferx_alg_update_diff_data(0, &frame), 0);
  }
  ASSERT_EQ(gHostReports.size(), 3u);
  const struct {
    int32_t x, y, action;
  } expect[] = {{4000, 5000, 0}, {4010, 5020, 1}, {4010, 5020, 2}};
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    ASSERT_EQ(gHostReports[i].size(), 1u);
    EXPECT_EQ(gHostReports[i][0].id, 7);
    EXPECT_EQ(gHostReports[i][0].x, expect[i].x);
    EXPECT_EQ(gHostReports[i][0].y, expect[i].y);
    EXPECT_EQ(gHostReports[i][0].action, expect[i].action);
  }
  // Not resumed: the operation reports nothing at all.
  gubSuspendSta = 0;
  ScriptFrame({{7, 4000, 5000, 300}});
  ThpTouchReport();
  ferx_alg_update_diff_data(0, &frame);
  EXPECT_EQ(gHostReports.size(), 3u);
  register_alg_module(nullptr);
}

TEST(ReportCoordInfo, DataTransCopiesTheDebugStateHeadAndKeepsTheShapes) {
  for (uint32_t i = 0; i < kCustDebugStateBytes; ++i) gstTamrelDebugStateInfo[i] = static_cast<uint8_t>(0x40 + i);
  memset(&gstTamrelCoord, 0xEE, sizeof(gstTamrelCoord));
  CustomReportDataTrans();
  for (uint32_t i = 0; i < 20; ++i) EXPECT_EQ(gstTamrelCoord.aubDebugCopy[i], 0x40 + i) << i;
  for (const auto& shape : gstTamrelCoord.aubShape) {
    for (uint8_t b : shape) EXPECT_EQ(b, 0xEE);
  }
}

TEST(ReportCoordInfo, RefusesSlotsAboveElevenAndNullArguments) {
  uint8_t* rec = nullptr;
  uint8_t len = 0;
  EXPECT_EQ(GetReportCoordInfoCustom(12, &len, &rec), 1);
  EXPECT_EQ(GetReportCoordInfoCustom(0, nullptr, &rec), 1);
  EXPECT_EQ(GetReportCoordInfoCustom(0, &len, nullptr), 1);
  EXPECT_EQ(ThpReportJudgeCustom(), 1);
}

}  // namespace
