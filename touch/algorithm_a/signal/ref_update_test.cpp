// The reference module on its own: power-on countdown, request codes and delays, the wake
// leave, and the self reference update's counters.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "customer_hooks.h"
#include "lcd_denoise.h"
#include "region.h"
#include "signal_proc.h"
#include "tsa_common.h"
#include "tsa_frame_links.h"
#include "tsa_report.h"

namespace {

constexpr uint8_t kRows = 3;
constexpr uint8_t kCols = 4;
constexpr uint16_t kNodes = kRows * kCols;

class RefModule : public ::testing::Test {
 protected:
  void SetUp() override {
    gstCommon = {};
    memset(&gstRefUpdateCfg, 0, sizeof(gstRefUpdateCfg));
    RefUpdateInit(100);
    gboSelfForceRefUpdate = 0;
    wake_ = 0;
    for (uint16_t i = 0; i < kNodes; ++i) {
      raw_[i] = static_cast<uint16_t>(2000 + i);
      filt_[i] = static_cast<uint16_t>(3000 + i);
      ref_[i] = 1000;
      diff_[i] = 55;
    }
    for (auto& v : selfRaw_) v = 700;
    for (auto& v : selfRef_) v = 500;
    for (auto& v : selfDiff_) v = 9;
    a_ = {};
    a_.ubRows = kRows;
    a_.ubCols = kCols;
    a_.uwSelfLen = kRows + kCols;
    a_.uwNodeNum = kNodes;
    a_.swTouchThr = 100;
    a_.puwRaw = raw_;
    a_.puwFiltRaw = filt_;
    a_.puwSelfRaw = selfRaw_;
    a_.puwRef = ref_;
    a_.puwCleanRef = clean_;
    a_.puwSelfRef = selfRef_;
    a_.pswDiff = diff_;
    a_.pswSelfDiff = selfDiff_;
    a_.puiWakeCheck = &wake_;
  }
  // Frames of the power-on build until it happens (0 when not within 20 frames).
  int PowerOnFrame() {
    for (int f = 1; f <= 20; ++f)
      if (GetPanelPowerOnRefEntrance(&a_) != 0) return f;
    return 0;
  }
  // Frames of the mutual update until a rebuild (0 when not within 20 frames).
  int RebuildFrame() {
    a_.uwRefValid = 1;
    for (int f = 1; f <= 20; ++f) {
      RefUpdatePanelMutual(&a_);
      if (a_.ubRebuildMarker == 3) return f;
    }
    return 0;
  }

  uint16_t raw_[kNodes], filt_[kNodes], ref_[kNodes], clean_[kNodes];
  int16_t diff_[kNodes];
  uint16_t selfRaw_[kRows + kCols], selfRef_[kRows + kCols];
  int16_t selfDiff_[kRows + kCols];
  uint32_t wake_;
  RefUpdateArgs a_;
};

TEST_F(RefModule, PowerOnCountdownOfEachSetter) {
  struct Case {
    const char* name;
    bool rebuild;  // RebuildPowerOnRef, else SetPowerOnTimes
    uint8_t n;
    int frame;
  };
  const Case cases[] = {
      {"rebuild 0: next frame", true, 0, 1}, {"rebuild 1", true, 1, 1},  {"rebuild 7", true, 7, 7},
      {"rebuild 9", true, 9, 9},             {"rebuild 10: nine frames", true, 10, 9},
      {"set 9: next frame", false, 9, 1},    {"set 5: fourth frame", false, 5, 4},
  };
  for (const Case& c : cases) {
    a_.uwRefValid = 0;
    gstCommon.ubPowerOnRefReady = 0;
    for (auto& v : ref_) v = 1000;
    if (c.rebuild) {
      RebuildPowerOnRef(c.n);
    } else {
      SetPowerOnTimes(c.n);
    }
    EXPECT_EQ(PowerOnFrame(), c.frame) << c.name;
    EXPECT_EQ(gstCommon.ubPowerOnRefReady, 1) << c.name;
    EXPECT_EQ(a_.ubBuilt, 1) << c.name;
    EXPECT_EQ(std::vector<uint16_t>(ref_, ref_ + kNodes), std::vector<uint16_t>(raw_, raw_ + kNodes)) << c.name;
  }
  // With a reference the call returns at once and leaves the counter alone.
  a_.uwRefValid = 1;
  SetPowerOnTimes(3);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(GetPanelPowerOnRefEntrance(&a_), 1);
  EXPECT_EQ(a_.ubBuilt, 0);
  EXPECT_EQ(gstRefUpdateModule.ubPowerOnCnt, 3);
}

TEST_F(RefModule, PowerOnBuildAfterAWakeKeepsTheRestoredReference) {
  wake_ = kFpWakeArmed;
  SetPowerOnTimes(9);
  EXPECT_EQ(PowerOnFrame(), 1);
  EXPECT_EQ(ref_[0], 1000) << "the restored reference stays";
  EXPECT_EQ(selfRef_[0], 500);
  EXPECT_EQ(std::vector<int16_t>(diff_, diff_ + kNodes), std::vector<int16_t>(kNodes, 0));
  EXPECT_EQ(std::vector<int16_t>(selfDiff_, selfDiff_ + kRows + kCols), std::vector<int16_t>(kRows + kCols, 0));

  // Without the marker the self reference comes from the self raw vector.
  wake_ = 0;
  SetPowerOnTimes(9);
  EXPECT_EQ(PowerOnFrame(), 1);
  EXPECT_EQ(selfRef_[kRows + kCols - 1], 700);
}

// Drive consistency of a 3 x 6 map: neighbour mode sums the excess of each step over 15;
// second-neighbour mode sums second differences over the node threshold (doubled at a
// line's ends) and returns how lines two apart disagree.
TEST_F(RefModule, DriveConsistencyOfEachMode) {
  gstRefUpdateCfg.aubData[8] = 10;
  a_.ubCols = 6;
  a_.ubRows = 3;
  a_.uwRefValid = 1;
  gpstRefUpdateArgs = &a_;
  const uint16_t map[18] = {100, 120, 100, 120, 100, 120,   // steps of 20: 5 over the floor each
                            100, 100, 100, 100, 100, 100,   // flat
                            100, 100, 160, 100, 100, 100};  // one bump of 60
  EXPECT_EQ(CalcCurConsistencyDrv(map, 0, 3, kConsistNeighbour), 5u * 5 + 0 + 45 * 2);
  EXPECT_EQ(gstRefConsistance.auiLine[0], 25u);
  EXPECT_EQ(gstRefConsistance.auiLine[2], 90u);
  EXPECT_EQ(gstRefConsistance.swLargestDiff, 60);
  EXPECT_EQ(*GetCurConsistDrvAdr(), 25u);
  EXPECT_EQ(CalcCurConsistencyDrv(map, 1, 1, kConsistNeighbour), 0u) << "an empty range";
  // Second-neighbour mode: line 2 has d = {-60, 0, 60, 0}, e = {-60, -60, 60}; excess over
  // 20, 10, 20 = 40 + 50 + 40. Line 0 has d = 0 throughout. Lines 0 and 2 differ by e itself.
  EXPECT_EQ(CalcCurConsistencyDrv(map, 0, 3, kConsistSecondNeighbour), 130u);
  EXPECT_EQ(gstRefConsistance.auiLine[2], 130u);
  EXPECT_EQ(gstRefConsistance.auiLine[0], 0u);
}

TEST_F(RefModule, EdgeGripIsSeenOnlyOnAnOuterLineAtPowerOn) {
  a_.ubCols = 6;
  a_.ubRows = 5;
  gpstRefUpdateArgs = &a_;
  std::vector<uint16_t> map(30, 1000);
  map[4 * 6 + 3] = 1151;  // a step of 151 on the last line
  for (uint16_t valid : {1, 0}) {
    a_.uwRefValid = valid;
    gubNeedJudgeEdgeGrib = 0;
    CalcCurConsistencyDrv(map.data(), 0, 5, kConsistNeighbour);
    EXPECT_EQ(gubNeedJudgeEdgeGrib, valid == 0 ? 1 : 0);
  }
  map[2 * 6 + 1] = 1151;  // the middle line steps as well: not a grip
  gubNeedJudgeEdgeGrib = 0;
  CalcCurConsistencyDrv(map.data(), 0, 5, kConsistNeighbour);
  EXPECT_EQ(gubNeedJudgeEdgeGrib, 0);
}

TEST_F(RefModule, CornerBlendChangesExactlyFourNodes) {
  a_.ubCols = 4;
  a_.ubRows = 3;
  gpstRefUpdateArgs = &a_;
  std::vector<int16_t> map(12);
  for (int i = 0; i < 12; ++i) map[i] = static_cast<int16_t>(10 * i);
  const std::vector<int16_t> before = map;
  CalcConsistBeforeComplentRaw(map.data());
  EXPECT_EQ(map[0], (6 * 10 + 4 * 0) / 10);
  EXPECT_EQ(map[3], (6 * 20 + 4 * 30) / 10);
  EXPECT_EQ(map[8], (6 * 90 + 4 * 80) / 10);
  EXPECT_EQ(map[11], (6 * 100 + 4 * 110) / 10);
  int changed = 0;
  for (int i = 0; i < 12; ++i) changed += map[i] != before[i] ? 1 : 0;
  EXPECT_EQ(changed, 4);
}

TEST_F(RefModule, DelayedRebuildComesOnTheFrameAfterTheDelay) {
  for (uint8_t n : {0, 1, 2, 5}) {
    RefUpdateInit(100);
    for (auto& v : ref_) v = 1000;
    EXPECT_EQ(DelayToUpdateRef(n), n);
    EXPECT_EQ(RebuildFrame(), n + 1) << "delay " << int{n};
    EXPECT_EQ(a_.ubRebuildCode, 13);
    EXPECT_EQ(GetMutualRefUpdateType(), 13);
    EXPECT_EQ(GetMutualRefUpdateCnt(), 1);
    EXPECT_EQ(ref_[5], filt_[5]) << "the filtered raw map is the new reference";
    EXPECT_EQ(diff_[5], 0);
    EXPECT_EQ(gboSelfForceRefUpdate, 0) << "a delayed rebuild leaves the self reference alone";
    EXPECT_EQ(gstRefUpdateModule.ubReqCode, 0);
  }
  // A delay beyond the 8-bit code saturates instead of wrapping into a rebuild code.
  RefUpdateInit(100);
  DelayToUpdateRef(250);
  EXPECT_EQ(gstRefUpdateModule.ubReqCode, 255);
  // Without a reference, or when configured never to rebuild, the request waits.
  RefUpdateInit(100);
  DelayToUpdateRef(0);
  a_.uwRefValid = 0;
  RefUpdatePanelMutual(&a_);
  EXPECT_EQ(a_.ubRebuildMarker, 0);
  gstRefUpdateCfg.aubData[0] = 0x01;
  EXPECT_EQ(RebuildFrame(), 0);
}

TEST_F(RefModule, RebuildCodesAndTheSelfReference) {
  struct Case {
    uint8_t code;
    bool copies;
    bool forcesSelf;
  };
  const Case cases[] = {{1, true, true}, {2, true, false}, {6, true, true}, {11, true, true}, {12, false, true}};
  for (const Case& c : cases) {
    RefUpdateInit(100);
    gboSelfForceRefUpdate = 0;
    for (auto& v : ref_) v = 1000;
    gstRefUpdateModule.ubReqCode = c.code;
    EXPECT_EQ(RebuildFrame(), 1) << int{c.code};
    EXPECT_EQ(a_.ubRebuildCode, c.code);
    EXPECT_EQ(ref_[0], c.copies ? filt_[0] : 1000) << int{c.code};
    EXPECT_EQ(gboSelfForceRefUpdate, c.forcesSelf ? 1 : 0) << int{c.code};
    EXPECT_EQ(gstRefUpdateModule.ubEnvCountdown, 80);
  }
  // Code 10 copies only the lines marked for it: none are, so nothing is copied, and it
  // does not touch the self reference.
  RefUpdateInit(100);
  gboSelfForceRefUpdate = 0;
  for (auto& v : ref_) v = 1000;
  gstRefUpdateModule.ubReqCode = 10;
  EXPECT_EQ(RebuildFrame(), 1);
  EXPECT_EQ(ref_[0], 1000);
  EXPECT_EQ(gboSelfForceRefUpdate, 0);
}

TEST_F(RefModule, WakeLeaveRebuildsOnTheEleventhTouchFreeFrame) {
  wake_ = kFpWakeArmed;
  a_.uwRefValid = 1;
  a_.ubTouchNum = 1;
  for (int i = 0; i < 5; ++i) RefUpdatePanelMutual(&a_);  // touched frames do not count
  EXPECT_EQ(a_.ubRebuildMarker, 0);
  a_.ubTouchNum = 0;
  EXPECT_EQ(RebuildFrame(), 11);
  EXPECT_EQ(a_.ubRebuildCode, 13);
  EXPECT_EQ(wake_, 0u) << "the marker is disarmed";
  EXPECT_EQ(gboSelfForceRefUpdate, 1) << "a wake leave refreshes the self reference too";
}

// ---- Self reference ------------------------------------------------------------------

class SelfRef : public ::testing::Test {
 protected:
  void SetUp() override {
    memset(&gstRefUpdateTRxCfg, 0, sizeof(gstRefUpdateTRxCfg));
    const uint16_t thr[4] = {300, 200, 250, 220};  // T1..T4
    memcpy(gstRefUpdateTRxCfg.aubData, thr, sizeof(thr));
    gstRefUpdateTRxCfg.aubData[16] = 0x01;
    RefUpdateTRxInit(filt_, diff_, ref_);
    gboStylusTouch = 0;
    Reset();
  }
  void Reset() {
    for (auto& v : ref_) v = 500;
    for (auto& v : filt_) v = 640;
    for (auto& v : diff_) v = 7;
  }
  // One frame with extremes {minA, maxA, minB, maxB} and mutual max/min; true when the
  // self reference was replaced.
  bool Frame(std::array<int16_t, 4> ext, int16_t mutMax, int16_t mutMin, uint8_t tick, uint8_t stylus = 0) {
    Reset();
    RefUpdateTRxInput in{};
    in.pswExtremes = ext.data();
    in.puwFiltSelfRaw = filt_;
    in.ubSelfLen = 6;
    in.swMutualMax = mutMax;
    in.swMutualMin = mutMin;
    in.swTouchThr = 100;
    in.ubTick = tick;
    in.ubStylus = stylus;
    in.pswSelfDiff = diff_;
    in.puwSelfRef = ref_;
    RefUpdateTRx(&in);
    return ref_[0] == 640;
  }
  uint16_t filt_[6], ref_[6];
  int16_t diff_[6];
};

TEST_F(SelfRef, QuietFramesAndTheirTick) {
  EXPECT_FALSE(Frame({0, 10, 0, 10}, 20, 0, 0)) << "a tick of 0 never advances";
  EXPECT_TRUE(Frame({0, 10, 0, 10}, 20, 0, 1)) << "a quiet frame with a tick updates at once";
  EXPECT_EQ(diff_[3], 0);
  // Self spread beyond T3 while the mutual signal stays below the touch threshold.
  EXPECT_TRUE(Frame({0, 251, 0, 10}, 60, 0, 1));
  EXPECT_FALSE(Frame({0, 250, 0, 10}, 60, 0, 1));
  // A touch: nothing quiet about it.
  EXPECT_FALSE(Frame({0, 260, 0, 300}, 150, 0, 1));
  // A forced update goes through even then, and is consumed.
  SetSelfForceUpdate(1);
  EXPECT_TRUE(Frame({0, 260, 0, 300}, 150, 0, 1));
  EXPECT_EQ(gboSelfForceRefUpdate, 0);
  EXPECT_FALSE(Frame({0, 260, 0, 300}, 150, 0, 1));
  // Disabled by configuration: nothing happens.
  gstRefUpdateTRxCfg.aubData[16] = 0;
  RefUpdateTRxInit(filt_, diff_, ref_);
  EXPECT_FALSE(Frame({0, 10, 0, 10}, 20, 0, 1));
}

TEST_F(SelfRef, DriftCounterSteps) {
  // Touch threshold reached, self maxima far below zero: about one step per 100 counts.
  EXPECT_FALSE(Frame({-151, -151, -151, -151}, 100, 0, 1));
  EXPECT_EQ(gstRefUpdateSelf.ubCntB, 1);
  EXPECT_FALSE(Frame({-1000, -1000, -1000, -1000}, 100, 0, 1));
  EXPECT_EQ(gstRefUpdateSelf.ubCntB, 11);
  EXPECT_FALSE(Frame({-1000, -1000, -1000, -1000}, 100, 0, 0)) << "no tick, no step";
  EXPECT_EQ(gstRefUpdateSelf.ubCntB, 11);
  RefUpdateTRxInit(filt_, diff_, ref_);
  for (int i = 1; i < 31; ++i) ASSERT_FALSE(Frame({-151, -151, -151, -151}, 100, 0, 1)) << i;
  EXPECT_TRUE(Frame({-151, -151, -151, -151}, 100, 0, 1)) << "the 31st step updates";
  EXPECT_EQ(gstRefUpdateSelf.ubCntB, 0);
  // Below the touch threshold the drift counter is cleared.
  Frame({-151, -151, -151, -151}, 100, 0, 1);
  EXPECT_EQ(gstRefUpdateSelf.ubCntB, 1);
  Frame({-151, -151, -151, -151}, 99, -99, 1);
  EXPECT_EQ(gstRefUpdateSelf.ubCntB, 0);
}

TEST_F(SelfRef, StylusFramesUpdateOnlyWhenFlat) {
  EXPECT_TRUE(Frame({-79, 79, -79, 79}, 300, 0, 1, 1));
  EXPECT_FALSE(Frame({-80, 79, -79, 79}, 300, 0, 1, 1));
  EXPECT_FALSE(Frame({-79, 80, -79, 79}, 300, 0, 1, 1));
  // Strong self signal in three stylus frames marks the stylus touch; then nothing is tested.
  EXPECT_FALSE(Frame({0, 121, 0, 121}, 300, 0, 1, 1));
  EXPECT_EQ(diff_[0], 0) << "the first strong frames clear the self difference";
  EXPECT_FALSE(Frame({0, 121, 0, 121}, 300, 0, 1, 1));
  EXPECT_EQ(diff_[0], 7);
  EXPECT_FALSE(Frame({0, 121, 0, 121}, 300, 0, 1, 1));
  EXPECT_EQ(gboStylusTouch, 1);
  EXPECT_FALSE(Frame({0, 10, 0, 10}, 300, 0, 1, 1));
}

}  // namespace

namespace {

TEST(LcdDenoiseSize, RowsTwoToFiftyTwoColumnsEightToFiftySix) {
  struct Case {
    uint8_t rows, cols;
    bool ok;
  };
  const Case cases[] = {{2, 8, true},  {52, 56, true}, {18, 32, true},  {1, 8, false},
                        {53, 8, false}, {2, 7, false},  {2, 57, false}, {0, 0, false}};
  for (const Case& c : cases) EXPECT_EQ(LcdDenoiseSizeAccepted(c.rows, c.cols), c.ok) << int{c.rows} << "x" << int{c.cols};
  // Usable only once the state is initialised: an accepted size without its scratch
  // arena or diff map skips the initialisation and leaves the denoise off.
  std::vector<uint8_t> scratch(kLcdDenoiseScratchBytes, 0);
  std::vector<int16_t> diff(18 * 32, 0);
  struct Wiring {
    uint8_t cols;
    uint8_t* arena;
    int16_t* diff;
    uint8_t usable;
  } wirings[] = {
      {32, scratch.data(), diff.data(), 1},
      {32, nullptr, diff.data(), 0},
      {32, scratch.data(), nullptr, 0},
      {57, scratch.data(), diff.data(), 0},
  };
  for (const Wiring& w : wirings) {
    gstCommon = {};
    gstCommon.ubDrvNum = 18;
    gstCommon.ubSenNum = w.cols;
    gstCommon.pubTempArena = w.arena;
    gstCommon.stData.pswDiffData = w.diff;
    gboLcdDenoiseUsable = 1 - w.usable;
    AppLcdDenoiseInitialWrapper(1);
    EXPECT_EQ(gboLcdDenoiseUsable, w.usable) << int{w.cols} << (w.arena ? "" : " no arena") << (w.diff ? "" : " no diff");
  }
  gstCommon = {};
  gboLcdDenoiseUsable = 0;
}

}  // namespace

namespace {

// The wake-area check on a 6 x 10 panel: an edge of a given height inside the window
// around the wake area restores the kept reference and re-arms the power-on build.
TEST(WakeFpArea, EdgeInsideTheWindowRestoresTheKeptReference) {
  constexpr uint8_t kD = 6, kS = 10;
  struct Case {
    const char* name;
    uint8_t rect[4];
    uint8_t row, col;  // node whose raw value is raised
    uint16_t rise;
    bool restores;
  };
  const Case cases[] = {
      {"edge above threshold 2 + 100", {2, 3, 4, 5}, 3, 4, 201, true},
      {"edge equal to threshold 2 + 100", {2, 3, 4, 5}, 3, 4, 200, false},
      {"edge two lines outside the area still counts", {2, 3, 4, 5}, 5, 7, 300, true},
      {"edge three columns outside the area does not", {2, 2, 1, 2}, 2, 8, 300, false},
      {"area on the first line", {0, 0, 0, 1}, 0, 0, 300, true},
      {"area on the last line: last column pairs stay inside the row", {5, 5, 8, 9}, 5, 9, 300, true},
  };
  for (const Case& c : cases) {
    std::vector<uint16_t> raw(kD * kS, 1000), ref(kD * kS, 1234);
    raw[c.row * kS + c.col] = static_cast<uint16_t>(1000 + c.rise);
    gstCommon = {};
    gstCommon.ubDrvNum = kD;
    gstCommon.ubSenNum = kS;
    gstCommon.uwSecondThreshold = 100;
    gstCommon.stData.puwRawData = raw.data();
    gstCommon.stData.puwRefData = ref.data();
    memcpy(gstCommon.aubFpRect, c.rect, 4);
    for (uint32_t i = 0; i < kD * kS; ++i) gpuwMutualRefDataBak[i] = 777;
    guiIsFWakeCheckNcln = 0;
    SetPowerOnTimes(0);
    JudgeWakeFpArea();
    EXPECT_EQ(ref[7], c.restores ? 777 : 1234) << c.name;
    EXPECT_EQ(guiIsFWakeCheckNcln, c.restores ? kFpWakeArmed : 0u) << c.name;
    EXPECT_EQ(gstRefUpdateModule.ubPowerOnCnt, c.restores ? 9 : 0) << c.name;
  }
  // With a reference ready nothing is looked at.
  gstCommon.ubPowerOnRefReady = 1;
  guiIsFWakeCheckNcln = 0;
  JudgeWakeFpArea();
  EXPECT_EQ(guiIsFWakeCheckNcln, 0u);
  // A copy that was never taken does not replace the reference by zeros.
  std::vector<uint16_t> raw(kD * kS, 1000), ref(kD * kS, 1234);
  raw[3 * kS + 4] = 1300;
  gstCommon.ubPowerOnRefReady = 0;
  gstCommon.stData.puwRawData = raw.data();
  gstCommon.stData.puwRefData = ref.data();
  const uint8_t rect[4] = {2, 3, 4, 5};
  memcpy(gstCommon.aubFpRect, rect, 4);
  memset(gpuwMutualRefDataBak, 0, sizeof(gpuwMutualRefDataBak));
  JudgeWakeFpArea();
  EXPECT_EQ(ref[7], 1234);
  EXPECT_EQ(guiIsFWakeCheckNcln, 0u);
  gstCommon = {};
}

}  // namespace

namespace {

// Line repair on a 4 x 5 map whose node (r, c) holds 100 r + c: broken drive lines first,
// then sense lines, each from its neighbours; repaired lines feed later repairs.
TEST(LineRepair, BrokenLinesTakeTheirNeighbours) {
  struct Case {
    const char* name;
    std::vector<uint8_t> drv, sen;
    std::vector<std::pair<int, uint16_t>> want;  // node index, value
  };
  const Case cases[] = {
      {"first drive line copies line 1", {0}, {}, {{0, 100}, {4, 104}}},
      {"last drive line copies the one before", {3}, {}, {{15, 200}, {19, 204}}},
      {"inner drive line averages", {2}, {}, {{10, 200}, {12, 202}}},
      {"a list ends at 255", {255, 1}, {}, {{5, 100}}},
      {"first and last sense lines", {}, {0, 4}, {{0, 1}, {4, 3}, {19, 303}}},
      {"inner sense line after a repaired drive line", {1}, {2}, {{5, 100}, {7, 102}, {2, 2}}},
  };
  for (const Case& c : cases) {
    std::vector<uint16_t> map(20);
    for (int r = 0; r < 4; ++r)
      for (int s = 0; s < 5; ++s) map[r * 5 + s] = static_cast<uint16_t>(100 * r + s);
    gstChannelDisconnect = {};
    gstChannelDisconnect.ubRowCount = static_cast<uint8_t>(c.drv.size());
    gstChannelDisconnect.ubColCount = static_cast<uint8_t>(c.sen.size());
    for (size_t i = 0; i < c.drv.size(); ++i) gstChannelDisconnect.aubRows[i] = c.drv[i];
    for (size_t i = 0; i < c.sen.size(); ++i) gstChannelDisconnect.aubCols[i] = c.sen[i];
    DataDisconnectMap(4, 5, map.data());
    for (const auto& [at, value] : c.want) EXPECT_EQ(map[at], value) << c.name << " node " << at;
  }
  // Indices past the panel are ignored rather than written.
  std::vector<uint16_t> map(20, 7);
  gstChannelDisconnect = {};
  gstChannelDisconnect.ubRowCount = 1;
  gstChannelDisconnect.aubRows[0] = 4;
  gstChannelDisconnect.ubColCount = 1;
  gstChannelDisconnect.aubCols[0] = 5;
  DataDisconnectMap(4, 5, map.data());
  EXPECT_EQ(map, std::vector<uint16_t>(20, 7));
}

}  // namespace

// ---- The per-frame analyses of the mutual reference update ------------------------------

namespace {

constexpr uint8_t kAR = 8;
constexpr uint8_t kAC = 12;
constexpr uint16_t kAN = kAR * kAC;

// An 8 x 12 panel at level 1000 (the normalisation level) with thresholds T 100, Q 200.
class RefAnalysis : public ::testing::Test {
 protected:
  void SetUp() override {
    gstCommon = {};
    memset(&gstRefUpdateCfg, 0, sizeof(gstRefUpdateCfg));
    memset(&gstDenoiseCommonCfg, 0, sizeof(gstDenoiseCommonCfg));
    gstRefUpdateCfg.aubData[1] = 44;  // line limit 300
    gstRefUpdateCfg.aubData[2] = 1;
    gstRefUpdateCfg.aubData[8] = 10;
    gstAgeingArgsNcln = {};
    RefUpdateInit(100);
    gboSelfForceRefUpdate = 0;
    wake_ = 0;
    std::fill(std::begin(filt_), std::end(filt_), 1000);
    std::fill(std::begin(ref_), std::end(ref_), 1000);
    std::fill(std::begin(clean_), std::end(clean_), 1000);
    std::fill(std::begin(diff_), std::end(diff_), 0);
    a_ = {};
    a_.uwRefValid = 1;
    a_.ubRows = kAR;
    a_.ubCols = kAC;
    a_.uwNodeNum = kAN;
    a_.ubNormFlagA = 1;
    a_.ubNormFlagB = 1;
    a_.swQuietThr = 200;
    a_.uwNormBase = 1000;
    a_.swTouchThr = 100;
    a_.puwRaw = filt_;
    a_.puwFiltRaw = filt_;
    a_.puwRef = ref_;
    a_.puwCleanRef = clean_;
    a_.pswDiff = diff_;
    a_.puiWakeCheck = &wake_;
    for (uint32_t k = 0; k < 3; ++k) a_.apswScratch[k] = scratch_[k];
    a_.ubTick = 1;
    for (auto& n : a_.auwGripNodes) n = 0xFFFF;
  }
  void Diff() {
    int16_t hi = -32768, lo = 32767;
    for (uint16_t i = 0; i < kAN; ++i) {
      diff_[i] = static_cast<int16_t>(ref_[i] - filt_[i]);
      hi = std::max(hi, diff_[i]);
      lo = std::min(lo, diff_[i]);
    }
    a_.swDiffMax = hi;
    a_.swDiffMin = lo;
  }
  // Frames (with the diff taken each time) until a rebuild, at most LIMIT; 0 when none.
  int RebuildWithin(int limit, int* confirmations = nullptr) {
    for (int f = 1; f <= limit; ++f) {
      Diff();
      RefUpdatePanelMutual(&a_);
      if (confirmations != nullptr) *confirmations += a_.ubResidueConfirm;
      if (a_.ubRebuildMarker == 3) return f;
    }
    return 0;
  }
  void Block(uint16_t* map, uint32_t r0, uint32_t r1, uint32_t c0, uint32_t c1, uint16_t v) {
    for (uint32_t r = r0; r <= r1; ++r)
      for (uint32_t c = c0; c <= c1; ++c) map[r * kAC + c] = v;
  }

  uint16_t filt_[kAN], ref_[kAN], clean_[kAN];
  int16_t diff_[kAN], scratch_[3][kAN];
  uint32_t wake_;
  RefUpdateArgs a_;
};

}  // namespace

// A finger that lay on the panel when the reference was taken leaves a dip in it (and in
// the clean reference); once lifted, the difference mirrors the dip. Six confirmations of
// the residue rebuild the reference with code 11. A dip the clean reference does not show
// is not a residue.
TEST_F(RefAnalysis, LiftedTouchInTheReferenceIsRebuiltAfterSixConfirmations) {
  Block(ref_, 5, 7, 4, 6, 800);
  Block(clean_, 5, 7, 4, 6, 800);
  int confirmations = 0;
  const int frame = RebuildWithin(60, &confirmations);
  ASSERT_NE(frame, 0);
  EXPECT_EQ(a_.ubRebuildCode, 11);
  EXPECT_EQ(confirmations, 5) << "five confirmations, the sixth rebuilds";
  EXPECT_EQ(std::vector<uint16_t>(ref_, ref_ + kAN), std::vector<uint16_t>(filt_, filt_ + kAN));
  EXPECT_EQ(gboSelfForceRefUpdate, 1);
  EXPECT_EQ(gubTxResNumSmall, 0);
  // A confirmation needs both halves of the rows. The first two analyses come three frames
  // apart (frames 3 and 6); once a residue is pending it is analysed every frame.
  EXPECT_EQ(frame, 6 + 5 * 2);

  SetUp();
  Block(ref_, 5, 7, 4, 6, 800);
  EXPECT_EQ(RebuildWithin(60), 0) << "the clean reference shows no dip";
}

TEST_F(RefAnalysis, FramesOfSmallRangeStartNoResidueAnalysis) {
  Block(ref_, 5, 7, 4, 6, 980);
  Block(clean_, 5, 7, 4, 6, 980);  // range 20 < 41
  EXPECT_EQ(RebuildWithin(40), 0);
  EXPECT_EQ(gstRefUpdateModule.ubAnalysisSpacing, 2);
  EXPECT_EQ(gstRefResidual.ubPhase, 0);
}

// Reference above the raw data at both ends of every line: eleven ticks confirm the drift,
// nine more rebuild with code 1. A reversal clears the count.
TEST_F(RefAnalysis, OneSidedEdgeDriftRebuildsWithCodeOne) {
  gstRefUpdateCfg.aubData[0] = 0x02;
  for (uint32_t r = 0; r < kAR; ++r) ref_[r * kAC] = ref_[r * kAC + kAC - 1] = 1150;
  EXPECT_EQ(RebuildWithin(30), 20);
  EXPECT_EQ(a_.ubRebuildCode, 1);
  EXPECT_EQ(gboSRefOffUpFlag, 0);

  SetUp();
  gstRefUpdateCfg.aubData[0] = 0x02;
  for (uint32_t r = 0; r < kAR; ++r) ref_[r * kAC] = ref_[r * kAC + kAC - 1] = 1150;
  EXPECT_EQ(RebuildWithin(5), 0);
  EXPECT_EQ(gstRefUpdateModule.ubDriftAcc, 5);
  for (uint32_t r = 0; r < kAR; ++r) ref_[r * kAC] = ref_[r * kAC + kAC - 1] = 750;  // now below
  EXPECT_EQ(RebuildWithin(1), 0);
  EXPECT_EQ(gstRefUpdateModule.ubDriftAcc, 0) << "a reversal restarts at 0";
  EXPECT_EQ(gstRefUpdateModule.ubDriftDir, 0);
  EXPECT_EQ(RebuildWithin(1), 0);
  EXPECT_EQ(gstRefUpdateModule.ubDriftAcc, 1);
  EXPECT_EQ(gstRefUpdateModule.ubDriftDir, 2);
}

TEST_F(RefAnalysis, TemperatureChangeRebuildsWithCodeTwo) {
  gstRefUpdateCfg.aubData[0] = 0x04;
  const struct {
    int8_t temp;
    int16_t peak;
    bool rebuild;
  } cases[] = {{26, 0, false}, {27, 0, true}, {23, 0, true}, {27, 150, false}, {24, 100, false}};
  for (const auto& c : cases) {
    RefUpdateInit(100);
    gstRefUpdateModule.scRebuildTemp = 25;
    gboSelfForceRefUpdate = 0;
    std::fill(std::begin(ref_), std::end(ref_), 1000);
    ref_[20] = static_cast<uint16_t>(1000 + c.peak);
    a_.scTemp = c.temp;
    EXPECT_EQ(RebuildWithin(1), c.rebuild ? 1 : 0) << int{c.temp} << " " << c.peak;
    if (c.rebuild) {
      EXPECT_EQ(a_.ubRebuildCode, 2);
      EXPECT_EQ(gboSelfForceRefUpdate, 0) << "an environment rebuild leaves the self reference";
      EXPECT_EQ(gstRefUpdateModule.scRebuildTemp, c.temp) << "the new temperature is kept";
    }
  }
}

// A large difference over a smooth reference for 121 frames rebuilds with code 8.
TEST_F(RefAnalysis, PersistentSignalRebuildsWithCodeEight) {
  ref_[30] = 1061;  // 61 > T/2 + 10
  EXPECT_EQ(RebuildWithin(200), 121);
  EXPECT_EQ(a_.ubRebuildCode, 8);
  SetUp();
  ref_[30] = 1060;
  EXPECT_EQ(RebuildWithin(200), 0);
}

// The same persistent signal while the panel updates from idle with the timer hold at 1
// rebuilds at once with code 9; any other hold value, or no idle update, waits for 121
// frames and code 8.
TEST_F(RefAnalysis, PersistentSignalFromIdleRebuildsAtOnceWithCodeNine) {
  struct Case {
    uint8_t idle, hold;
    int frames;
    uint8_t code;
  } cases[] = {{1, 1, 1, 9}, {1, 2, 121, 8}, {0, 1, 121, 8}, {1, 0, 121, 8}};
  for (const Case& c : cases) {
    SetUp();
    ref_[30] = 1061;
    a_.ubIdleUpdate = c.idle;
    a_.ubTimerHold = c.hold;
    EXPECT_EQ(RebuildWithin(200), c.frames) << int{c.idle} << " " << int{c.hold};
    EXPECT_EQ(a_.ubRebuildCode, c.code) << int{c.idle} << " " << int{c.hold};
  }
}

// A first line rough in the reference but smooth in the raw data: the power-on evaluation
// enables the per-line check, and the fifth frame of the same picture copies that line
// alone (code 10), leaving the self reference as it is.
TEST_F(RefAnalysis, RoughEdgeLineIsCopiedAloneWithCodeTen) {
  for (uint32_t c = 6; c < kAC; ++c) filt_[c] = 1400;  // line 0 steps by 400 at the power-on build
  a_.uwRefValid = 0;
  SetPowerOnTimes(9);
  ASSERT_EQ(GetPanelPowerOnRefEntrance(&a_), 1);
  EXPECT_EQ(gstRefUpdateModule.ubLineCheckEn, 1);
  a_.uwRefValid = 1;
  for (uint32_t c = 6; c < kAC; ++c) filt_[c] = 1000;  // the raw line is smooth again
  for (uint32_t r = 1; r < kAR; ++r)
    for (uint32_t c = 6; c < kAC; ++c) filt_[r * kAC + c] = 1100;  // other lines rougher in the raw data
  const std::vector<uint16_t> refBefore(ref_, ref_ + kAN);
  EXPECT_EQ(RebuildWithin(10), 5);
  EXPECT_EQ(a_.ubRebuildCode, 10);
  EXPECT_EQ(std::vector<uint16_t>(ref_, ref_ + kAC), std::vector<uint16_t>(filt_, filt_ + kAC));
  EXPECT_EQ(std::vector<uint16_t>(ref_ + kAC, ref_ + kAN), std::vector<uint16_t>(refBefore.begin() + kAC, refBefore.end()));
  EXPECT_EQ(gboSelfForceRefUpdate, 0);
}

TEST_F(RefAnalysis, HopTrackingRebuildsOnceTheEdgesSettle) {
  // Quiet frames after a hop: the fourth rebuilds (code 13) and ends the hop.
  a_.ubHopFlag = 1;
  EXPECT_EQ(RebuildWithin(10), 4);
  EXPECT_EQ(a_.ubRebuildCode, 13);
  EXPECT_EQ(a_.ubHopFlag, 0);
  EXPECT_EQ(a_.ubRebuildDetail, 18);
  // A touch during the hop: once the edges have grown against the frame before the hop the
  // tracking counts steady frames, and the eleventh rebuilds (detail 19).
  SetUp();
  a_.ubTouchNum = 1;
  for (uint32_t r = 0; r < kAR; ++r)
    for (uint32_t c : {0u, 1u, 2u, 9u, 10u, 11u}) ref_[r * kAC + c] = 1060;
  a_.ubHopFlag = 1;
  EXPECT_EQ(RebuildWithin(20), 11);
  EXPECT_EQ(a_.ubRebuildCode, 13);
  EXPECT_EQ(a_.ubRebuildDetail, 19);
  EXPECT_EQ(a_.ubHopFlag, 0);
  // Without normalisation flag A the hop asks for a one-frame delay: code 14, then 13.
  SetUp();
  a_.ubHopFlag = 1;
  a_.ubNormFlagA = 0;
  EXPECT_EQ(RebuildWithin(10), 2);
  EXPECT_EQ(a_.ubRebuildCode, 13);
  EXPECT_EQ(a_.ubHopFlag, 0);
}

TEST_F(RefAnalysis, AgeingLevelsSurviveReinitialisationOnlyWithTheirMarker) {
  gstAgeingArgsNcln = {{10, 20, 30, 40}, 7, 1, 0x12345678u};
  RefUpdateInit(100);
  EXPECT_EQ(+gstAgeingArgsNcln.aswLevel[3], 40);
  EXPECT_EQ(gstAgeingArgsNcln.ubValid, 1);
  gstAgeingArgsNcln.uiMarker = 0;
  RefUpdateInit(100);
  EXPECT_EQ(+gstAgeingArgsNcln.aswLevel[3], 0);
  EXPECT_EQ(gstAgeingArgsNcln.ubValid, 0);
  EXPECT_EQ(uint32_t{gstAgeingArgsNcln.uiMarker}, 0x12345678u);
}

// Five rebuilds on the same edge levels make the ageing valid.
TEST_F(RefAnalysis, AgeingBecomesValidAfterFiveAgreeingRebuilds) {
  for (uint32_t r = 0; r < kAR; ++r) clean_[r * kAC] = 1020;  // left edge 20 above the level
  for (int i = 1; i <= 5; ++i) {
    gstRefUpdateModule.ubReqCode = 12;  // bookkeeping only: the clean reference stays
    ASSERT_EQ(RebuildWithin(1), 1);
    EXPECT_EQ(gstAgeingArgsNcln.ubLearnCnt, i);
    EXPECT_EQ(gstAgeingArgsNcln.ubValid, i >= 5 ? 1 : 0);
  }
  EXPECT_EQ(+gstAgeingArgsNcln.aswLevel[0], 20 * kAR);
  EXPECT_EQ(+gstAgeingArgsNcln.aswLevel[1], 20);
}

TEST(ZigZag, AlternateColumnOffsetsAreFound) {
  const auto map = [](uint32_t rows, uint32_t cols, int16_t odd) {
    std::vector<int16_t> m(rows * cols, 0);
    for (uint32_t r = 0; r < rows; ++r)
      for (uint32_t c = 1; c < cols; c += 2) m[r * cols + c] = odd;
    return m;
  };
  EXPECT_EQ(CheckVXNState(map(8, 12, -60).data(), 12, 8, nullptr), 1);
  EXPECT_EQ(CheckVXNState(map(8, 12, 60).data(), 12, 8, nullptr), 1);
  EXPECT_EQ(CheckVXNState(map(8, 12, 20).data(), 12, 8, nullptr), 0) << "steps of 20 are not enough";
  EXPECT_EQ(CheckVXNState(map(2, 12, -60).data(), 12, 2, nullptr), 0) << "two rows";
  EXPECT_EQ(CheckVXNState(map(8, 2, -60).data(), 2, 8, nullptr), 0) << "two columns";
  std::vector<int16_t> off(12, 99);
  ASSERT_EQ(CheckVXNState(map(8, 12, -60).data(), 12, 8, off.data()), 1);
  EXPECT_EQ(off, std::vector<int16_t>({0, -60, 0, -60, 0, -60, 0, -60, 0, -60, 0, 0}));
}

// The clean-up takes alternate column offsets out of the clean reference; with the denoise
// configuration off it leaves the clean reference as it was.
TEST_F(RefAnalysis, CleanUpRemovesColumnOffsetsOnlyWhenConfigured) {
  for (uint32_t i = 0; i < kAN; ++i) ref_[i] = filt_[i] = static_cast<uint16_t>(1000 + ((i % kAC) % 2 == 1 ? 60 : 0));
  std::fill(std::begin(clean_), std::end(clean_), 777);
  a_.ubReqCodeIn = 12;
  ASSERT_EQ(RebuildWithin(1), 1);
  EXPECT_EQ(clean_[13], 777) << "denoise configuration off";
  gstDenoiseCommonCfg.aubData[0] = 0x01;
  a_.ubReqCodeIn = 12;
  ASSERT_EQ(RebuildWithin(1), 1);
  for (uint32_t c = 0; c + 1 < kAC; ++c) EXPECT_EQ(clean_[3 * kAC + c], 1000) << c;
  EXPECT_EQ(clean_[3 * kAC + kAC - 1], 1060) << "the edge column has no neighbour pair";
  EXPECT_EQ(a_.ubReqCodeIn, 0) << "the requested code is consumed";
}

// The diff IIR gate blends a frame with the one before only while the floating state and
// the configuration allow it and the filter ran in the previous frame.
TEST(DiffIirGate, BlendsWithThePreviousDiffOnlyWhenOpen) {
  const struct {
    const char* name;
    uint8_t hop, game, floating;
    uint16_t im;
    bool blends;
  } cases[] = {
      {"open", 0, 0, 1, 0, true},          {"not floating", 0, 0, 0, 0, false},
      {"first frame after a hop", 1, 0, 1, 0, false}, {"game mode, IM 7", 0, 1, 1, 7, false},
      {"game mode, IM 8", 0, 1, 1, 8, true},
  };
  std::array<int16_t, 6> diff{}, prev{};
  for (const auto& c : cases) {
    gstCommon = {};
    gstCommon.ubDrvNum = 2;
    gstCommon.ubSenNum = 3;
    gstCommon.stData.pswDiffData = diff.data();
    gstCommon.pubScanBuf = reinterpret_cast<uint8_t*>(prev.data());
    gstCommon.uwThreshold2 = 50;
    gstCommon.swDiffMax = 100;
    gstFloatSelfCfg.aubData[18] = 0x04;
    gstCommon.ubFirstFrameAfterHop = 1;
    NoiseDiffIIRFIlter();  // clears the filter state
    gstCommon.ubFirstFrameAfterHop = c.hop;
    gstCommon.ubGameModeFlag = c.game;
    gstCommon.ubFloatingByte = c.floating;
    gstCommon.uwImCurLevel = c.im;
    diff.fill(100);
    NoiseDiffIIRFIlter();
    EXPECT_EQ(diff[0], 100) << c.name << ": nothing to blend with in the first frame";
    diff.fill(20);
    NoiseDiffIIRFIlter();
    EXPECT_EQ(diff[5], c.blends ? 60 : 20) << c.name;
  }
  // A small maximum passes the frame unblended.
  gstCommon.swDiffMax = 70;
  diff.fill(40);
  NoiseDiffIIRFIlter();
  EXPECT_EQ(diff[0], 40);
}

// Before a study has finished, the B array is taken off the raw map first: here that
// uncovers a weak drive line the raw map alone does not show.
TEST(DisconnectJudge, TakesTheBArrayOffBeforeTheStudyEnds) {
  std::vector<uint16_t> raw(24, 1000), b(24, 0), arena(24);
  for (uint32_t c = 0; c < 6; ++c) b[1 * 6 + c] = 400;
  for (uint8_t progress : {0, 1}) {
    DisConnectInit();
    DisconnectJudgeInput in{};
    in.puwRaw = raw.data();
    in.puwB = b.data();
    in.puwArena = arena.data();
    in.uwNodeNum = 24;
    in.uwDropThreshold = 100;
    in.ubRatio = 4;
    in.ubStudyProgress = progress;
    in.ubBValid = 1;
    in.ubRows = 4;
    in.ubCols = 6;
    DisconnecChannelJudgeProc(&in);
    EXPECT_EQ(in.ubFound, progress == 1 ? 0 : 1) << int{progress};
    EXPECT_EQ(gstChannelDisconnect.ubRowCount, progress == 1 ? 0 : 1);
    if (progress == 0) {
      EXPECT_EQ(gstChannelDisconnect.aubRows[0], 1);
    }
  }
}

// The un-normalised map alone: raw - B in 16 bits in the arena only while B is valid, the
// study is not under way and no command blocks it; otherwise the raw map itself.
TEST(DisconnectJudge, UnnormalisedMapIsRawLessBOnlyWhileBIsInForce) {
  const std::vector<uint16_t> raw = {1000, 5, 700, 65535};
  const std::vector<uint16_t> b = {400, 10, 0, 65535};
  struct Case {
    uint8_t progress, valid, block;
    bool arena;
  } cases[] = {{0, 1, 0, true}, {2, 1, 0, true}, {1, 1, 0, false}, {0, 0, 0, false}, {0, 1, 1, false}};
  for (const Case& c : cases) {
    std::vector<uint16_t> arena(4, 7);
    DisconnectJudgeInput in{};
    in.puwRaw = raw.data();
    in.puwB = b.data();
    in.puwArena = arena.data();
    in.uwNodeNum = 4;
    in.ubStudyProgress = c.progress;
    in.ubBValid = c.valid;
    in.ubCmdBlock = c.block;
    const uint16_t* map = GetRawDataNoNormalize(&in);
    if (c.arena) {
      EXPECT_EQ(map, arena.data());
      EXPECT_EQ(arena, (std::vector<uint16_t>{600, 65531, 700, 0})) << "16-bit differences";
    } else {
      EXPECT_EQ(map, raw.data());
      EXPECT_EQ(arena, std::vector<uint16_t>(4, 7)) << "the arena is left alone";
    }
  }
}

// The consistency check samples three frames at a time. A whole-map consistency at the
// last rebuild well above the samples asks for a recheck (code 4) while rechecks are left;
// a raw map much smoother than the reference was at its rebuild counts as a change, and
// the fourth changed sample set rebuilds with code 6.
TEST_F(RefAnalysis, ConsistencyChecksRebuildWithCodesFourAndSix) {
  const struct {
    uint8_t rechecks;
    int frame;
    uint8_t code;
  } cases[] = {{2, 3, 4}, {0, 12, 6}};
  for (const auto& c : cases) {
    SetUp();
    gstRefUpdateCfg.aubData[0] = 0x20;
    gstRefUpdateCfg.aubData[5] = c.rechecks;
    std::fill(std::begin(filt_), std::end(filt_), 1300);  // the whole panel 300 below its reference
    gboNeedConsisUpdate = 1;
    gstRefConsistance.uiWholeAtRebuild = 1000;
    gstRefConsistance.uiRefDrvConsist = 5000;
    EXPECT_EQ(RebuildWithin(20), c.frame) << int{c.code};
    EXPECT_EQ(a_.ubRebuildCode, c.code);
    if (c.code == 6) {
      EXPECT_EQ(a_.ubRebuildDetail, 26) << "the raw map is far smoother than the reference tolerance";
    }
  }
}

// A quiet but not flat panel runs the environment countdown (150 ticks after
// initialisation) down; the frame after it ran out rebuilds with code 2, and the countdown
// starts again from 80.
TEST_F(RefAnalysis, EnvironmentCountdownRebuildsWithCodeTwo) {
  gstRefUpdateCfg.aubData[0] = 0x04;
  ref_[20] = 1010;
  EXPECT_EQ(RebuildWithin(200), 151);
  EXPECT_EQ(a_.ubRebuildCode, 2);
  EXPECT_EQ(gstRefUpdateModule.ubEnvCountdown, 80);
  EXPECT_EQ(gboSRefEnviUpdateFlag, 0);
  SetUp();
  gstRefUpdateCfg.aubData[0] = 0x04;
  EXPECT_EQ(RebuildWithin(200), 0) << "a flat panel keeps its reference";
}

// At low temperature the residue analysis rests; every 21st frame the reference roughness
// is measured again, and a smooth one clears the low-temperature consistency flags. The
// first frame after low temperature re-evaluates the reference.
TEST_F(RefAnalysis, LowTemperatureSuspendsTheAnalyses) {
  Block(ref_, 5, 7, 4, 6, 800);
  Block(clean_, 5, 7, 4, 6, 800);
  a_.ubLowTempState = 2;
  a_.aubLowTempConsist[0] = a_.aubLowTempConsist[1] = 1;
  EXPECT_EQ(RebuildWithin(20), 0);
  EXPECT_EQ(a_.aubLowTempConsist[0], 1);
  EXPECT_EQ(RebuildWithin(1), 0);
  EXPECT_EQ(a_.aubLowTempConsist[0], 0) << "the 21st frame finds a smooth reference";
  EXPECT_EQ(RebuildWithin(40), 0) << "no residue analysis at low temperature";
  EXPECT_EQ(gboLowTmpStaExit, 1);
  a_.ubLowTempState = 0;
  EXPECT_NE(RebuildWithin(40), 0) << "back at normal temperature the residue is found";
  EXPECT_EQ(gboLowTmpStaExit, 0);
  EXPECT_EQ(a_.ubRebuildCode, 11);
}
