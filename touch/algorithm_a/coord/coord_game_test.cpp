// Game mode (corner sizes, thresholds in force, timing) and the fingerprint-area judgement
// with its controller command, on the module's own records.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "coord.h"
#include "coord_game.h"
#include "coord_records.h"
#include "framework.h"
#include "region_records.h"
#include "signal_proc.h"
#include "tsa_config.h"
#include "tsa_debug.h"
#include "tsa_module.h"
#include "tsa_report.h"

namespace {

void ClearRequests() {
  std::vector<uint8_t> buf(TSA_REQUEST_MAX * TSA_REQUEST_BYTES);
  TsaRequestTakeAll(buf.data());
}

// ---- game mode ------------------------------------------------------------------------

class GameModeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    memset(&gstCommon, 0, sizeof(gstCommon));
    memset(&gstEdgeResCfg, 0, sizeof(gstEdgeResCfg));
    memset(&gstGameModeCfg, 0, sizeof(gstGameModeCfg));
    memset(&gstGameMode, 0, sizeof(gstGameMode));
    memset(&gstTimeCtrlEx, 0, sizeof(gstTimeCtrlEx));
    memset(&gstTimeCtrlCfg, 0, sizeof(gstTimeCtrlCfg));
    gubNormTimeCtrl = 0;
    LinkSetU16(gstTouchPannelCfg.aubHead, 4, 100);  // leave
    LinkSetU16(gstTouchPannelCfg.aubHead, 6, 120);  // touch
    SetLevels(1, 1);
  }
  void SetLevels(uint16_t touch, uint16_t leave) {
    gstCommon.uwThreshold2 = touch;
    gstCommon.uwSecondThreshold = touch;
    gstCommon.uwMaskThreshold = leave;
    gstCommon.swTouchThreshold = static_cast<int16_t>(leave);
  }
  void ExpectLevels(uint16_t touch, uint16_t leave, const char* name) {
    EXPECT_EQ(+gstCommon.uwThreshold2, touch) << name;
    EXPECT_EQ(+gstCommon.uwSecondThreshold, touch) << name;
    EXPECT_EQ(+gstCommon.uwMaskThreshold, leave) << name;
    EXPECT_EQ(+gstCommon.swTouchThreshold, leave) << name;
  }
  uint8_t FrameCount() const { return reinterpret_cast<const uint8_t*>(&gstTimeCtrlEx.stCfg)[7]; }
};

TEST_F(GameModeTest, CornerSizesFollowTheOrientationAndLevel) {
  uint8_t* e = gstEdgeResCfg.aubData;
  e[0] = 0x01;
  LinkSetU16(e, 9, 3);
  LinkSetU16(e, 11, 5);
  const uint8_t perLevel[6] = {10, 11, 12, 13, 14, 15};
  memcpy(e + 13, perLevel, sizeof(perLevel));
  struct Case {
    const char* name;
    uint16_t word;
    uint16_t y, x;
  } cases[] = {
      {"portrait ignores the level bits", 0xC000, 48, 80},
      {"landscape level 0", 0x0040, 0, 0},
      {"landscape level 1", 0x4040, 160, 176},
      {"landscape level 2", 0x8080, 192, 208},
      {"landscape level 3", 0xC0C0, 224, 240},
  };
  for (const Case& c : cases) {
    GetGameModeInfo(1, c.word);
    EXPECT_EQ(gstGameMode.auwWord[0], c.word) << c.name;
    EXPECT_EQ(gstGameMode.auwWord[1], c.y) << c.name;
    EXPECT_EQ(gstGameMode.auwWord[2], c.x) << c.name;
  }
  // Any kind but 1 clears the word.
  GetGameModeInfo(0, 0x4040);
  EXPECT_EQ(gstGameMode.auwWord[0], 0);
  EXPECT_EQ(gstGameMode.auwWord[1], 48);

  // Corner sizes switched off: the sizes stay as they were.
  e[0] = 0;
  GetGameModeInfo(1, 0x4040);
  EXPECT_EQ(gstGameMode.auwWord[1], 48);
  EXPECT_EQ(gstGameMode.auwWord[2], 80);
}

TEST_F(GameModeTest, GameThresholdsRaiseTheLeaveLevelOrStayPut) {
  struct Case {
    const char* name;
    uint8_t flag;
    uint8_t cfgFlags;
    uint16_t gameTouch, gameLeave, word;
    uint16_t touch, leave;
  } cases[] = {
      {"table entry 0 adds 25", 1, 0, 200, 150, 0x0000, 200, 175},
      {"touch raised to the new leave", 1, 0, 160, 150, 0x0000, 175, 175},
      {"table entry 3 adds 5", 1, 0, 200, 150, 0x0003, 200, 155},
      {"entry 5 is past the table: nothing added", 1, 0, 200, 150, 0x0005, 200, 150},
      {"entry 7 is past the table: nothing added", 1, 0, 200, 150, 0x0007, 200, 150},
      {"game touch 0: unchanged", 1, 0, 0, 150, 0, 1, 1},
      {"game leave 0: unchanged", 1, 0, 200, 0, 0, 1, 1},
      {"touch below leave: unchanged", 1, 0, 140, 150, 0, 1, 1},
      {"thresholds kept by configuration", 1, 0x10, 200, 150, 0, 1, 1},
      {"not in game mode: the panel's levels", 0, 0, 200, 150, 0, 120, 100},
  };
  for (const Case& c : cases) {
    SetLevels(1, 1);
    gstCommon.ubGameModeFlag = c.flag;
    gstGameModeCfg.aubData[0] = c.cfgFlags;
    LinkSetU16(gstGameModeCfg.aubData, 3, c.gameTouch);
    LinkSetU16(gstGameModeCfg.aubData, 5, c.gameLeave);
    GetGameModeInfo(1, c.word);
    ExpectLevels(c.touch, c.leave, c.name);
  }
}

TEST_F(GameModeTest, TimingFollowsTheGameFlag) {
  reinterpret_cast<uint8_t*>(&gstTimeCtrlCfg)[7] = 16;
  gstGameModeCfg.aubData[1] = 8;

  gstCommon.ubGameModeFlag = 1;
  gstGameModeCfg.aubData[0] = 0x01;
  GetGameModeInfo(1, 0);
  EXPECT_EQ(FrameCount(), 8);
  EXPECT_EQ(gubNormTimeCtrl & 0x20, 0);

  gstGameModeCfg.aubData[0] = 0x00;
  GetGameModeInfo(1, 0);
  EXPECT_EQ(gubNormTimeCtrl & 0x20, 0x20);

  gstCommon.ubGameModeFlag = 0;
  gubNormTimeCtrl |= 0x10;  // another user's bit stays
  GetGameModeInfo(1, 0);
  EXPECT_EQ(FrameCount(), 16);
  EXPECT_EQ(gubNormTimeCtrl, 0x10);

  // Timing kept by configuration.
  gstCommon.ubGameModeFlag = 1;
  gstGameModeCfg.aubData[0] = 0x05;
  GetGameModeInfo(1, 0);
  EXPECT_EQ(FrameCount(), 16);
}

TEST_F(GameModeTest, RecoverNormalCfgRestoresThePanelLevels) {
  SetLevels(300, 250);
  RecoverNormalCfg();
  ExpectLevels(120, 100, "recovered");
}

// ---- fingerprint area -----------------------------------------------------------------

// Panel: 16 sense, 32 drive lines; screen extents 1080 and 2400. Area in module units:
// X nodes 10..12, Y nodes 6..9, i.e. screen X 337..405 and Y 900..1350.
class FpJudgeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    memset(&gstCommon, 0, sizeof(gstCommon));
    memset(&gstFingerPrintCfg, 0, sizeof(gstFingerPrintCfg));
    memset(&gstMutualRegion, 0, sizeof(gstMutualRegion));
    memset(&gstCoordPair, 0, sizeof(gstCoordPair));
    memset(gpuwNewPointX, 0, sizeof(gpuwNewPointX));
    memset(gpuwNewPointY, 0, sizeof(gpuwNewPointY));
    memset(gpuwNewWeight, 0, sizeof(gpuwNewWeight));
    gstCommon.ubSenNum = 16;
    gstCommon.ubDrvNum = 32;
    gstCommon.uwSenCoordRange = 1080;
    gstCommon.uwDrvCoordRange = 2400;
    uint8_t* f = gstFingerPrintCfg.aubData;
    f[0] = 0x01;
    LinkSetU16(f, 1, 10 * 512);
    LinkSetU16(f, 3, 12 * 512);
    LinkSetU16(f, 5, 6 * 512);
    LinkSetU16(f, 7, 9 * 512);
    f[11] = 4;
    LinkSetU16(f, 13, 10);
    f[16] = 2;
    gstTouchPannelCfg.uiValue20 = 12;
    fod_report_en = 1;
    guiIsFWakeCheckNcln = 0;
    FpJudgeInit();
  }
  void TearDown() override { ClearRequests(); }
  // One frame: the given slots carry points at their positions with a 3-node region.
  struct Pt {
    uint8_t slot;
    uint16_t x, y;
    uint8_t span = 2;
  };
  void Frame(std::vector<Pt> pts) {
    memset(gpuwNewWeight, 0, sizeof(gpuwNewWeight));
    uint8_t top = 0;
    for (const Pt& p : pts) {
      gpuwNewPointX[p.slot] = p.x;
      gpuwNewPointY[p.slot] = p.y;
      gpuwNewWeight[p.slot] = 50;
      gstCoordPair.astLastRect[p.slot] = RegionRect{5, static_cast<uint8_t>(5 + p.span), 5, 7};
      if (p.slot + 1 > top) top = static_cast<uint8_t>(p.slot + 1);
    }
    gstMutualRegion.ubRegionNum = top;
    JudgeFpTouch();
  }
};

TEST_F(FpJudgeTest, InitDerivesTheAreaInNodesAndScreenUnits) {
  const FpJudge& j = gstFpJudge;
  EXPECT_EQ(+j.uwAreaXLow, 337);
  EXPECT_EQ(+j.uwAreaXHigh, 405);
  EXPECT_EQ(+j.uwAreaYLow, 900);
  EXPECT_EQ(+j.uwAreaYHigh, 1350);
  EXPECT_EQ(+j.uwCentreX, 371);
  EXPECT_EQ(+j.uwHalfWidth, 34);
  EXPECT_EQ(+j.uwCentreY, 1125);
  EXPECT_EQ(+j.uwHalfHeight, 225);
  EXPECT_EQ(+j.uwNodePitch, 33);  // min(2400 / 16, 1080 / 32)
  EXPECT_EQ(+j.uwMargin, 49);     // one and a half pitches when not configured
  EXPECT_EQ(+j.ubFpSlot, kCoordNoSlot);
  const uint8_t rect[4] = {10, 12, 6, 9};
  EXPECT_EQ(0, memcmp(gstCommon.aubFpRect, rect, 4));
  EXPECT_EQ(+gstCommon.ubFpNodeCount, 12);
  EXPECT_EQ(+gstCommon.ubFpAreaThreshold, 6);
  const uint16_t words[5] = {183, 167, 199, 39, 487};
  for (int k = 0; k < 5; ++k) EXPECT_EQ(+gstCommon.auwFpAreaWords[k], words[k]) << k;
  for (uint8_t i = 0; i < kCoordPointMax; ++i) EXPECT_EQ(+j.auwDownX[i], kCoordNoPosition) << int(i);

  LinkSetU16(gstFingerPrintCfg.aubData, 19, 70);
  gstCommon.ubSenNum = 0;  // a zero grid gives no screen area rather than a division by zero
  FpJudgeInit();
  EXPECT_EQ(+gstFpJudge.uwMargin, 70);
  EXPECT_EQ(+gstFpJudge.uwAreaYHigh, 0);
}

TEST_F(FpJudgeTest, StillPressOnTheAreaSetsTheFlagUntilItMovesOrLifts) {
  Frame({{0, 371, 1125}});
  EXPECT_EQ(+gstFpJudge.ubFpSlot, 0);
  EXPECT_EQ(+gstCommon.ubFpStatus, 1);
  EXPECT_EQ(+gstFpJudge.ubState, kFpStatePressed);
  Frame({{0, 375, 1130}});  // within the movement limit
  EXPECT_EQ(+gstCommon.ubFpStatus, 1);
  Frame({{0, 390, 1130}});  // 15 units in one frame
  EXPECT_EQ(+gstCommon.ubFpStatus, 0);
  EXPECT_EQ(+gstFpJudge.ubState, kFpStatePressed) << "the press stays until the lift";
  Frame({});
  EXPECT_EQ(+gstFpJudge.ubState, 0);
  EXPECT_EQ(+gstCommon.ubFpStatus, 0);
  EXPECT_EQ(+gstFpJudge.auwDownX[0], kCoordNoPosition);
}

TEST_F(FpJudgeTest, TouchesThatAreNoFingerprintPress) {
  struct Case {
    const char* name;
    std::vector<std::vector<Pt>> frames;
    bool hostOff;
  } cases[] = {
      {"two touches on the area", {{{0, 371, 1125}, {1, 380, 1000}}}, false},
      {"a touch sliding onto the area", {{{0, 371, 1500}}, {{0, 371, 1400}}, {{0, 371, 1300}}, {{0, 371, 1200}},
                                         {{0, 371, 1125}}, {{0, 371, 1125}}}, false},
      {"a region eight nodes wide", {{{0, 371, 1125, 7}}, {{0, 371, 1125, 7}}}, false},
      {"host fingerprint off", {{{0, 371, 1125}}, {{0, 371, 1125}}}, true},
  };
  for (const Case& c : cases) {
    SetUp();
    fod_report_en = c.hostOff ? 0 : 1;
    for (const auto& f : c.frames) Frame(f);
    EXPECT_EQ(+gstCommon.ubFpStatus, 0) << c.name;
    EXPECT_NE(+gstFpJudge.ubState, kFpStatePressed) << c.name;
  }
  // A pending fingerprint wake judges the touch even with the host's enable off.
  SetUp();
  fod_report_en = 0;
  guiIsFWakeCheckNcln = kFpWakeArmed;
  Frame({{0, 371, 1125}});
  EXPECT_EQ(+gstCommon.ubFpStatus, 1);
}

TEST_F(FpJudgeTest, TwelfthSlotIsJudgedWithoutDisturbingTheArea) {
  Frame({{11, 371, 1125}, {10, 50, 50}});
  EXPECT_EQ(+gstFpJudge.ubFpSlot, 11);
  EXPECT_EQ(+gstCommon.ubFpStatus, 1);
  EXPECT_EQ(+gstFpJudge.auwDownX[11], 371);
  EXPECT_EQ(+gstFpJudge.auwDownY[10], 50);
  // The positions of slots 10 and 11 have their own room: the area is as initialised.
  EXPECT_EQ(+gstFpJudge.uwCentreX, 371);
  EXPECT_EQ(+gstFpJudge.uwCentreY, 1125);
  EXPECT_EQ(+gstFpJudge.uwHalfWidth, 34);
  EXPECT_EQ(+gstFpJudge.uwHalfHeight, 225);
}

TEST_F(FpJudgeTest, FingerprintInterruptCommandIsQueuedOncePerValue) {
  ClearRequests();
  CmdSetFpInt(1);
  CmdSetFpInt(1);
  ASSERT_EQ(TsaRequestCount(), 1);
  uint8_t req[TSA_REQUEST_BYTES];
  ASSERT_EQ(TsaRequestTakeNewest(req), 0);
  const uint8_t head[] = {1, 0, 0, 0, 7, 0, 0x00, 0x00, 0x05, 0x3F, 0x01, 0x45, 0x00};
  EXPECT_EQ(0, memcmp(req, head, sizeof(head)));

  CmdSetFpInt(0);
  ASSERT_EQ(TsaRequestTakeNewest(req), 0);
  EXPECT_EQ(req[10], 0x00);
  EXPECT_EQ(req[11], 0x44);
}

TEST_F(FpJudgeTest, FullQueueLeavesTheValueToBeSentAgain) {
  ClearRequests();
  const uint8_t filler[TSA_REQUEST_BYTES] = {1};
  while (TsaRequestPush(filler) == 0) {
  }
  const uint8_t full = TsaRequestCount();
  CmdSetFpInt(1);
  EXPECT_EQ(TsaRequestCount(), full);
  ClearRequests();
  CmdSetFpInt(1);
  ASSERT_EQ(TsaRequestCount(), 1);
  uint8_t req[TSA_REQUEST_BYTES];
  ASSERT_EQ(TsaRequestTakeNewest(req), 0);
  EXPECT_EQ(req[9], 0x3F);
  EXPECT_EQ(req[10], 0x01);
}

}  // namespace
