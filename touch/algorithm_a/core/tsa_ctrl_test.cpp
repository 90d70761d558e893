// Module commands: the FIFO, the dispatcher's control state and the command history.
#include "tsa_ctrl.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "coord.h"
#include "coord_records.h"
#include "framework.h"
#include "region.h"
#include "signal_proc.h"
#include "tsa_common.h"
#include "tsa_config.h"
#include "tsa_debug.h"
#include "tsa_frame_links.h"
#include "tsa_frame_test_util.h"
#include "tsa_memory.h"
#include "tsa_report.h"

namespace {

// A 16-byte module command slot, little-endian, built byte by byte.
std::vector<uint8_t> Slot(uint32_t id, uint8_t p1, uint8_t p2 = 0, uint64_t arg = 0, uint16_t count = 1) {
  std::vector<uint8_t> s(16, 0);
  for (int i = 0; i < 4; ++i) s[i] = static_cast<uint8_t>(id >> (8 * i));
  s[4] = static_cast<uint8_t>(count);
  s[5] = static_cast<uint8_t>(count >> 8);
  s[6] = p1;
  s[7] = p2;
  for (int i = 0; i < 8; ++i) s[8 + i] = static_cast<uint8_t>(arg >> (8 * i));
  return s;
}

void Apply(uint32_t id, uint8_t p1, uint8_t p2 = 0) {
  const auto s = Slot(id, p1, p2);
  TsaReceiveModuleCmdData(s.data());
  TsaProcessModuleCmdData();
}

class CtrlCmdTest : public ::testing::Test {
 protected:
  uint8_t aubBak[kMemThpCmdBakBytes] = {};
  uint8_t* pubSavedBak = nullptr;

  void SetUp() override {
    pubSavedBak = gpubThpCmdBak;
    gpubThpCmdBak = aubBak;
    gstCmdFifoVar = {};
    gubThpCmdCnt = 0;
    gubThpCmdOffset = 1;
    memset(&gstCommon, 0, sizeof(gstCommon));
    memset(&gstFreqHop, 0, sizeof(gstFreqHop));
    memset(&gstNormalize, 0, sizeof(gstNormalize));
    memset(&gstNfNoiseProc, 0, sizeof(gstNfNoiseProc));
    memset(&gstTimeCtrlCfg, 0, sizeof(gstTimeCtrlCfg));
    memset(gpsbCmdTemperatureValueNcln, 0, sizeof(gpsbCmdTemperatureValueNcln));
    frame_test::SetFreqTable({1000, 2000, 3000});
    gubSuspendSta = 0;
    gubCmdIdleEn = 1;
    guwCmdActiveToIdleTime = 0;
    TsaDebugResetForTest();
  }
  void TearDown() override { gpubThpCmdBak = pubSavedBak; }

  // p1 of every recorded history entry, in order.
  std::vector<uint8_t> HistoryP1() const {
    std::vector<uint8_t> v;
    for (uint32_t i = 0; i < aubBak[kCmdBakCountPos]; ++i) v.push_back(aubBak[kCmdBakFirstEntry + i * kCmdBakEntryBytes + 2]);
    return v;
  }
};

TEST_F(CtrlCmdTest, EleventhCommandOverwritesTheOldest) {
  for (uint8_t i = 1; i <= 11; ++i) {
    const auto s = Slot(166, i);
    TsaReceiveModuleCmdData(s.data());
  }
  EXPECT_EQ(gstCmdFifoVar.ubCount, 10);
  TsaProcessModuleCmdData();
  EXPECT_EQ(HistoryP1(), (std::vector<uint8_t>{2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
  EXPECT_EQ(gstCmdFifoVar.ubCount, 0);
  // Drained: a second drain applies nothing.
  TsaProcessModuleCmdData();
  EXPECT_EQ(aubBak[kCmdBakCountPos], 10);
}

TEST_F(CtrlCmdTest, FullRingIsDrainedWholeWhereverItStarts) {
  for (uint8_t start : {0, 3, 9}) {
    SetUp();
    for (uint8_t i = 0; i < start; ++i) {
      const auto s = Slot(166, 0);
      TsaReceiveModuleCmdData(s.data());
    }
    TsaProcessModuleCmdData();
    memset(aubBak, 0, sizeof(aubBak));
    gubThpCmdCnt = 0;
    gubThpCmdOffset = 1;
    for (uint8_t i = 1; i <= 10; ++i) {
      const auto s = Slot(166, i);
      TsaReceiveModuleCmdData(s.data());
    }
    EXPECT_EQ(gstCmdFifoVar.ubRead, gstCmdFifoVar.ubWrite) << int(start);
    TsaProcessModuleCmdData();
    EXPECT_EQ(HistoryP1(), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10})) << int(start);
  }
}

TEST_F(CtrlCmdTest, HistoryEntryLayoutAndFifteenthCommandNotRecorded) {
  const auto s = Slot(0x1234560 | 96, 0x21, 0x43, 0x1122334455667788ull, 0x0102);
  TsaReceiveModuleCmdData(s.data());
  TsaProcessModuleCmdData();
  const uint8_t* e = &aubBak[kCmdBakFirstEntry];
  const uint8_t want[12] = {0x02, 0x60, 0x21, 0x43, 0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11};
  EXPECT_EQ(memcmp(e, want, sizeof(want)), 0);
  uint16_t sum = 0;
  for (uint8_t b : want) sum = static_cast<uint16_t>(sum + b);
  EXPECT_EQ(e[12] | (e[13] << 8), sum);
  EXPECT_EQ(aubBak[kCmdBakUsedPos], 14);

  // 14 more commands in the same frame: 14 recorded in all, the 15th still applied.
  for (uint8_t i = 1; i <= 14; ++i) {
    const auto t = Slot(kCmdTemperature, i);
    TsaReceiveModuleCmdData(t.data());
    if (i % 5 == 0) TsaProcessModuleCmdData();
  }
  TsaProcessModuleCmdData();
  EXPECT_EQ(aubBak[kCmdBakCountPos], 14);
  EXPECT_EQ(aubBak[kCmdBakUsedPos], 14 * 14);
  EXPECT_EQ(gpsbCmdTemperatureValueNcln[0], 14);

  // A new frame tag starts a new history with the next command.
  aubBak[kCmdBakTagPos] = 7;
  Apply(166, 99);
  EXPECT_EQ(HistoryP1(), (std::vector<uint8_t>{99}));
  EXPECT_EQ(aubBak[kCmdBakHeldTagPos], 7);
}

TEST_F(CtrlCmdTest, FrameStartResetsAnEmptyHistory) {
  const uint8_t head[14] = {0x80, 2, 4, 2, 0x34, 0x12};
  aubBak[5] = 0xEE;  // leftovers of an entry-free history
  ThpCmdBakFrameStart(head);
  EXPECT_EQ(aubBak[kCmdBakTagPos], 0x34);
  EXPECT_EQ(aubBak[5], 0);
  EXPECT_EQ(gubThpCmdOffset, 1);
  ThpCmdBakCheckReset();
  EXPECT_EQ(aubBak[kCmdBakHeldTagPos], 0x34);
  const auto s = Slot(166, 5);
  ThpCmdBakAppend(s.data());
  EXPECT_EQ(HistoryP1(), (std::vector<uint8_t>{5}));
}

TEST_F(CtrlCmdTest, ScreenCommand) {
  struct Case {
    uint8_t p1;
    uint8_t idleEnBefore;
    uint8_t suspend;
    uint8_t idleEn;
  };
  // Screen on re-initialises the algorithm, which allows idle entry again; 136 then forbids it.
  const Case cases[] = {{136, 1, 1, 0}, {1, 1, 1, 1}, {1, 0, 1, 1}};
  for (const Case& c : cases) {
    gubSuspendSta = 0;
    gubCmdIdleEn = c.idleEnBefore;
    gubFpReportPoint = 1;
    Apply(kCmdScreen, c.p1);
    EXPECT_EQ(gubSuspendSta, c.suspend) << int(c.p1);
    EXPECT_EQ(gubCmdIdleEn, c.idleEn) << int(c.p1);
    EXPECT_EQ(gubFpReportPoint, 0);
  }
  gubPowerOnFlag = 1;
  gubCmdIdleEn = 0;
  Apply(kCmdScreen, 0);
  EXPECT_EQ(gubSuspendSta, 0);
  EXPECT_EQ(gubCmdIdleEn, 1);
  EXPECT_EQ(gubPowerOnFlag, 0);
}

TEST_F(CtrlCmdTest, ActiveToIdleTime) {
  struct Case {
    uint8_t p1, p2;
    bool secondIdleAllowed;
    uint16_t want;
  };
  const Case cases[] = {
      {10, 10, true, 2}, {10, 0, true, 10}, {10, 5, true, 5}, {10, 5, false, 10},
      {0, 5, true, 0},   {255, 5, true, 65535},
  };
  for (const Case& c : cases) {
    gstTimeCtrlCfg.ubRes0 = c.secondIdleAllowed ? 0x08 : 0x00;
    Apply(kCmdActiveToIdleTime, c.p1, c.p2);
    EXPECT_EQ(guwCmdActiveToIdleTime, c.want) << int(c.p1) << "/" << int(c.p2);
  }
}

TEST_F(CtrlCmdTest, FixedFrequencyAndLock) {
  gstCommon.ubPowerOnRefReady = 1;
  Apply(kCmdFixedFreq, 3);  // equal to the number of frequencies: ignored
  EXPECT_EQ(gstFreqHop.aubData[kFreqHopFixed] & kFreqHopFixedBit, 0);
  EXPECT_EQ(gstCommon.ubPowerOnRefReady, 1);
  Apply(kCmdFixedFreq, 2);
  EXPECT_NE(gstFreqHop.aubData[kFreqHopFixed] & kFreqHopFixedBit, 0);
  EXPECT_EQ(gstCommon.ubPowerOnRefReady, 0);
  Apply(kCmdFixedFreq, 255);
  EXPECT_EQ(gstFreqHop.aubData[kFreqHopFixed] & kFreqHopFixedBit, 0);
  // With raw scaling and normalisation both on, the reference stays ready.
  gstNormalize.aubData[kNormRawScale] = 1;
  gstNormalize.aubData[kNormEnabled] = 1;
  gstCommon.ubPowerOnRefReady = 1;
  Apply(kCmdFixedFreq, 0);
  EXPECT_EQ(gstCommon.ubPowerOnRefReady, 1);

  Apply(kCmdFreqLock, 0);
  EXPECT_EQ(gstFreqHop.aubData[kFreqHopLock], 1);
  Apply(kCmdFreqLock, 1);
  EXPECT_EQ(gstFreqHop.aubData[kFreqHopLock], 0);
}

TEST_F(CtrlCmdTest, Charger) {
  gstNoiseNfProcCfg.aubData[kNoiseNfCfgLevel] = 7;
  struct Step {
    uint8_t p1;
    uint8_t charger, kind, res0, res1, nfOn, nfLevel;
  };
  const Step steps[] = {
      {4, 0, 1, 0, 1, 0, 0},  // kind without charger: NF stays off
      {1, 1, 1, 1, 1, 1, 7},  // charger on keeps the kind
      {4, 1, 1, 1, 1, 1, 7},  // kind with charger: NF on
      {0, 0, 0, 0, 0, 0, 0},
  };
  for (const Step& s : steps) {
    Apply(kCmdCharger, s.p1);
    EXPECT_EQ(gstCommon.ubChargerFlag, s.charger) << int(s.p1);
    EXPECT_EQ(gstCommon.ubChargerKind, s.kind) << int(s.p1);
    EXPECT_EQ(gstChrgResultNcln[0], s.res0) << int(s.p1);
    EXPECT_EQ(gstChrgResultNcln[1], s.res1) << int(s.p1);
    EXPECT_EQ(gstNfNoiseProc.aubData[kNfNoiseEnable], s.nfOn) << int(s.p1);
    EXPECT_EQ(gstNfNoiseProc.aubData[kNfNoiseLevel], s.nfLevel) << int(s.p1);
  }
}

TEST_F(CtrlCmdTest, ModesAndSmallCommands) {
  gstTimeCtrlCfg.uwPeriodState2 = 7500;
  gstTimeCtrlCfg.uwPeriodState3 = 4166;
  gstConstWaterCfg.aubData[0] = 0x01;
  Apply(kCmdGameMode, 1);
  EXPECT_EQ(gstCommon.ubGameModeFlag, 1);
  EXPECT_EQ(gstCommon.ubWaterDetectEn, 0);
  EXPECT_EQ(uint16_t{gstCommon.uwScanPeriod}, 4166);
  Apply(kCmdGameMode, 0);
  EXPECT_EQ(gstCommon.ubGameModeFlag, 0);
  EXPECT_EQ(gstCommon.ubWaterDetectEn, 1);
  EXPECT_EQ(uint16_t{gstCommon.uwScanPeriod}, 7500);

  gstCoordOptmCfg.aubData[kCoordOptmCfgLevel] = 6;
  Apply(kCmdCoordOption, 1);
  EXPECT_EQ(gstCommon.ubCoordOption, 1);
  EXPECT_EQ(reinterpret_cast<const uint8_t*>(&gstCoordComInput)[84], 12);
  Apply(kCmdCoordOption, 0);
  EXPECT_EQ(gstCommon.ubCoordOption, 0);
  EXPECT_EQ(reinterpret_cast<const uint8_t*>(&gstCoordComInput)[84], 6);
  Apply(kCmdCoordOption, 2);
  EXPECT_EQ(reinterpret_cast<const uint8_t*>(&gstCoordComInput)[84], 6);

  Apply(kCmdLargePocket, 1);
  EXPECT_EQ(gstCommon.ubLargePocket, 1);
  Apply(kCmdNormalizeBlock, 9);
  EXPECT_EQ(gstNormalize.aubData[kNormCmdBlocked], 9);

  for (uint8_t t = 1; t <= 7; ++t) Apply(kCmdTemperature, static_cast<uint8_t>(t * 10));
  const int8_t wantTemp[6] = {70, 60, 50, 40, 30, 20};
  EXPECT_EQ(memcmp(gpsbCmdTemperatureValueNcln, wantTemp, 6), 0);
  EXPECT_EQ(gstCommon.ubTempFlags, 3);

  // The three-byte entry: byte 0 the count, byte 1 the id, byte 2 p1.
  const uint8_t bytes[3] = {1, kCmdLargePocket, 0};
  EXPECT_EQ(TsaProcessingCmd(bytes, 0), 0u);
  EXPECT_EQ(gstCommon.ubLargePocket, 0);
  EXPECT_EQ(GetCmdTsaCmdData(), nullptr);
}

TEST_F(CtrlCmdTest, GameModeEdgeClearsTheEdgeStateUnlessConfigured) {
  gstCommon.ubLargeAreaFlag = gstCommon.ubLargeAreaCompanion = gstCommon.ubWaterFlag = 1;
  gstEdgeResCfg.aubData[0] = 0x02;
  Apply(kCmdGameMode23, 1, 2);
  EXPECT_EQ(gstCommon.ubLargeAreaFlag, 1);
  gstEdgeResCfg.aubData[0] = 0x00;
  Apply(kCmdGameMode24, 1, 2);
  EXPECT_EQ(gstCommon.ubLargeAreaFlag, 0);
  EXPECT_EQ(gstCommon.ubLargeAreaCompanion, 0);
  EXPECT_EQ(gstCommon.ubWaterFlag, 0);
}

}  // namespace
