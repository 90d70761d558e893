// Region and coordinate records: rectangle words, track-slot configuration, initial
// states and the rectangle statistic.
#include "region_records.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "coord_records.h"

namespace {

TEST(RegionRect, WordIsLittleEndianRowStartFirst) {
  const RegionRect r{2, 4, 7, 9};
  EXPECT_EQ(RegionRectWord(r), 0x09070402u);
  const RegionRect back = RegionRectFromWord(0x09070402u);
  EXPECT_EQ(memcmp(&back, &r, 4), 0);
  uint32_t raw = 0;
  memcpy(&raw, &r, 4);
  EXPECT_EQ(raw, 0x09070402u);  // the record's bytes are the same word
}

void SetCfgU16(uint32_t at, uint16_t v) {
  gstCoordPairCfg.aubData[at] = static_cast<uint8_t>(v);
  gstCoordPairCfg.aubData[at + 1] = static_cast<uint8_t>(v >> 8);
}

TEST(RegionTrackCfg, PenaltyZeroTakesAllDefaults) {
  struct Case {
    uint16_t cap, penalty, level;
    uint16_t expCap, expPenalty, expLevel;
  } cases[] = {
      {77, 0, 88, 50, 15, 50},
      {0, 0, 0, 50, 15, 50},
      {30, 4, 70, 30, 4, 70},
      {0, 9, 0, 0, 9, 0},
  };
  for (const Case& c : cases) {
    SetCfgU16(12, c.cap);
    SetCfgU16(14, c.penalty);
    SetCfgU16(16, c.level);
    RegionAcquireState s{};
    RegionTrackCfgLoad(&s, &gstCoordPairCfg);
    EXPECT_EQ(s.uwFrameCntCap, c.expCap);
    EXPECT_EQ(s.uwFrameCntPenalty, c.expPenalty);
    EXPECT_EQ(s.uwNodeLevel, c.expLevel);
  }
  memset(&gstCoordPairCfg, 0, sizeof(gstCoordPairCfg));
}

TEST(RegionAcquireState, InitLeavesSlotsZeroAndLabelsFree) {
  memset(&gstRegionAcquireState, 0x3C, sizeof(gstRegionAcquireState));
  static uint8_t work[64];
  RegionAcquireStateInit(work);
  const RegionAcquireState& s = gstRegionAcquireState;
  for (const RegionTrackSlot& slot : s.astSlot) {
    const std::array<uint8_t, sizeof(RegionTrackSlot)> zero{};
    EXPECT_EQ(memcmp(&slot, zero.data(), sizeof(slot)), 0);
  }
  for (uint8_t label : s.aubSlotLabel) ASSERT_EQ(label, 255);
  EXPECT_EQ(s.pubWorkBuf, work);
  EXPECT_EQ(s.pubWorkBufTail, work + 40);
  EXPECT_EQ(s.ubSteadySlotNum, 0);
  EXPECT_EQ(s.uwFrameCntCap, 50);
  EXPECT_EQ(guiRegionAcquireWord, 0xFFFFFFFFu);
}

TEST(RectInfoStatistic, ModesOverARectangle) {
  // 3 x 4 map, rectangle rows 0-1, columns 1-2: values 5, 9 / -2, 12.
  const int16_t map[12] = {100, 5, 9, 100, 100, -2, 12, 100, 100, 100, 100, 100};
  const RegionRect r{0, 1, 1, 2};
  struct Case {
    int8_t mode;
    int16_t threshold;
    int32_t expect;
  } cases[] = {
      {1, 6, 21},   // 9 + 12
      {2, 6, 2},    // 5 and -2
      {3, 6, 2},    // 9 and 12
      {4, 9, 12},   // row maxima 9 and 12 both reach 9: the last row's maximum
      {4, 10, 0},   // the first row's maximum 9 is below 10
      {0, 6, 0},
      {7, 6, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.mode));
    EXPECT_EQ(GetRectInfoStatistic(map, r, c.threshold, c.mode, 4), c.expect);
  }
  EXPECT_EQ(GetRectInfoStatistic(map, RegionRect{2, 1, 0, 3}, 0, 3, 4), 0);  // empty row range
}

TEST(SelfRegionSearch, CountsPeaksThatFollowARise) {
  struct Case {
    const char* name;
    std::vector<int16_t> data;
    uint16_t threshold;
    uint8_t peaks, span;
  } cases[] = {
      {"too few channels", {0, 500}, 100, 0, 0},
      {"flat", {0, 0, 0, 0, 0, 0, 0, 0}, 100, 0, 0},
      {"one peak at its top", {0, 0, 300, 600, 300, 0, 0, 0}, 100, 1, 1},
      {"peak below the threshold", {0, 0, 300, 600, 300, 0, 0, 0}, 1000, 0, 0},
      {"two peaks with a rise between", {0, 400, 0, 0, 400, 0, 0, 0}, 100, 2, 4},
      {"a falling shoulder is no second peak", {0, 500, 300, 100, 0, 0}, 100, 1, 1},
      {"first peak needs no rise", {500, 0, 0, 0, 0, 0}, 100, 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    uint8_t span = 0xEE;
    EXPECT_EQ(SelfRegionSearch(c.data.data(), static_cast<uint8_t>(c.data.size()), c.threshold, &span), c.peaks);
    EXPECT_EQ(span, c.span);
  }
  uint8_t span = 0xEE;
  EXPECT_EQ(SelfRegionSearch(nullptr, 8, 100, &span), 0);
  EXPECT_EQ(span, 0);
}

TEST(CoordPairRecord, InitialStateAndConfiguredLimits) {
  CoordPairRecordInit();
  EXPECT_EQ(GetCoordPairLastRectArr()[0], 0xFF);
  EXPECT_EQ(GetCoordPairLastRectArr()[47], 0xFF);
  EXPECT_EQ(GetCoordPairOrderIndexArr()[11], 255);
  EXPECT_EQ(GetCoordPairLastRectMaxDiffArr()[0], 0);
  EXPECT_EQ(GetCoordPairLastRectNum(), 0);
  EXPECT_EQ(gstCoordPair.uwFirstPairLimit, 10);
  EXPECT_EQ(gstCoordPair.uwSecondPairLimit, 100);
  gstCoordPairCfg.aubData[10] = 3;
  gstCoordPairCfg.aubData[18] = 44;
  CoordPairRecordInit();
  EXPECT_EQ(gstCoordPair.uwFirstPairLimit, 3);
  EXPECT_EQ(gstCoordPair.uwSecondPairLimit, 44);
  memset(&gstCoordPairCfg, 0, sizeof(gstCoordPairCfg));
  // The accessors point into the record.
  EXPECT_EQ(reinterpret_cast<uint8_t*>(GetCoordPairCurRectMaxDiffArr()),
            reinterpret_cast<uint8_t*>(&gstCoordPair) + offsetof(CoordPair, auwCurRectMaxDiff));
}

}  // namespace
