// Module API: flash mirror and configuration stores, request and watch-data hand-out,
// files under a temporary root, small accessors.
#include "tsa_api.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "platform/paths.h"
#include "platform/temp_root.h"
#include "coord_optimize.h"
#include "coord_records.h"
#include "tsa_common.h"
#include "tsa_config.h"
#include "tsa_custdbg.h"
#include "tsa_debug.h"
#include "tsa_pack.h"
#include "tsa_replay.h"

namespace {

TEST(TsaFlashMirror, WriteThenReadBackAtControllerAddresses) {
  const uint8_t data[4] = {1, 2, 3, 4};
  EXPECT_EQ(GetFlashBAddr(), 4097u);
  EXPECT_EQ(FyTpFlashWrite(0x2001, data, 4), 0x2001u);
  EXPECT_EQ(gpubTamrelFlash[0x2001 - 4097 + 2], 3);
  uint8_t back[4] = {};
  EXPECT_EQ(FyTpFlashRead(0x2001, back, 4), 0x2001u);
  EXPECT_EQ(memcmp(back, data, 4), 0);
}

TEST(TsaFlashMirror, RangesOutsideTheMirrorAreRefused) {
  const uint32_t last = 4097 + kTamrelFlashBytes - 1;  // address of the mirror's last byte
  struct Case {
    uint32_t address, length;
    bool accepted;
  } cases[] = {
      {4097, 1, true},
      {last, 1, true},
      {last - 3, 4, true},
      {4096, 1, false},          // below the first address
      {0, 2, false},
      {last, 2, false},          // one byte past the end
      {last - 2, 4, false},
      {0xFFFFFFFFu, 2, false},   // address + length wraps
      {4097, kTamrelFlashBytes + 1, false},
  };
  std::vector<uint8_t> buf(kTamrelFlashBytes + 1, 0xEE);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.address);
    std::fill(buf.begin(), buf.end(), 0xEE);
    const uint32_t r = FyTpFlashRead(c.address, buf.data(), c.length);
    EXPECT_EQ(r, c.accepted ? c.address : 0u);
    if (!c.accepted) {
      EXPECT_EQ(buf[0], 0xEE);
    }
    if (c.length <= 0xFFFF) {
      EXPECT_EQ(FyTpFlashWrite(c.address, buf.data(), static_cast<uint16_t>(c.length)), c.accepted ? c.address : 0u);
    }
  }
  // Length 0 copies nothing and returns the address.
  EXPECT_EQ(FyTpFlashRead(0x5000, nullptr, 0), 0x5000u);
}

TEST(TsaConfigStore, AcceptsUpTo4096BytesAndRefusesMore) {
  std::vector<uint8_t> blob(4097);
  for (size_t i = 0; i < blob.size(); ++i) blob[i] = static_cast<uint8_t>(i * 7);
  ASSERT_NE(FyTpWriteConfig(blob.data(), 4096), nullptr);
  EXPECT_EQ(*GetConfigBlobLength(), 4096u);
  std::vector<uint8_t> back(4096);
  EXPECT_EQ(FyTpReadConfig(back.data(), 4096), 0u);
  EXPECT_EQ(memcmp(back.data(), blob.data(), 4096), 0);

  blob[0] = 0x55;
  EXPECT_EQ(FyTpWriteConfig(blob.data(), 4097), nullptr);
  EXPECT_EQ(FyTpWriteConfig(nullptr, 10), nullptr);
  EXPECT_EQ(*GetConfigBlobLength(), 4096u);
  EXPECT_NE(GetConfigBlob()[0], 0x55);

  // A buffer smaller than the stored blob gets nothing.
  std::vector<uint8_t> small(100, 0xAB);
  EXPECT_EQ(FyTpReadConfig(small.data(), 100), 3u);
  EXPECT_EQ(small[0], 0xAB);
  EXPECT_EQ(FyTpReadConfig(nullptr, 4096), 1u);
}

class TsaRequestTest : public ::testing::Test {
 protected:
  void SetUp() override { TsaDebugResetForTest(); }
  void TearDown() override { TsaDebugResetForTest(); }
  void Queue(uint8_t tag) {
    std::array<uint8_t, 40> r{};
    r.fill(tag);
    ASSERT_EQ(SetRequest(r.data()), 0);
  }
};

TEST_F(TsaRequestTest, GetRequestHandsOutAllOldestFirst) {
  std::array<uint8_t, 400> out{};
  EXPECT_EQ(TsaGetRequest(out.data()), 2u);
  EXPECT_EQ(TsaGetRequestNum(), 0);
  Queue(1);
  Queue(2);
  Queue(3);
  EXPECT_EQ(TsaGetRequestNum(), 3);
  EXPECT_EQ(TsaGetRequest(out.data()), 0u);
  EXPECT_EQ(out[0], 1);
  EXPECT_EQ(out[40], 2);
  EXPECT_EQ(out[80], 3);
  EXPECT_EQ(TsaGetRequestNum(), 0);
}

TEST_F(TsaRequestTest, GetRequestItemTakesTheNewestOnly) {
  Queue(1);
  Queue(2);
  Queue(3);
  std::array<uint8_t, 40> out{};
  EXPECT_EQ(TsaGetRequestItem(out.data()), 0u);
  EXPECT_EQ(out[0], 3);
  EXPECT_EQ(TsaGetRequestNum(), 2);
}

TEST(TsaWatchData, IndexAtTheCountIsRefused) {
  ClearWatch();
  EXPECT_EQ(TsaGetDataNum(), 0u);
  std::array<WatchEntry, 2> list{};
  EXPECT_EQ(TsaGetDataList(list.data()), 2u);
  const uint16_t values[3] = {7, 8, 9};
  ASSERT_EQ(AddWatchData(values, 1, "values", WATCH_TYPE_U16, sizeof(values), 3, 1, 0, 10, 0, 0), 0);
  EXPECT_EQ(TsaGetDataNum(), 1u);
  EXPECT_EQ(TsaGetDataList(list.data()), 0u);
  EXPECT_STREQ(list[0].acName, "values");
  uint8_t out[6] = {};
  EXPECT_EQ(TsaGetData(0, out, sizeof(out)), 0u);
  EXPECT_EQ(out[2], 8);
  EXPECT_EQ(TsaGetData(1, out, sizeof(out)), 2u);
  EXPECT_EQ(TsaGetData(0, out, 0), 0u);
  ClearWatch();
}

TEST(TsaInitItems, WalksItemsAndStopsAtABrokenOne) {
  EXPECT_EQ(TsaInit(nullptr, 0), 0u);
  // One drive-count item: type, length 2, value 21.
  std::vector<uint8_t> items(10);
  ReplayPutU32(items.data(), REPLAY_INIT_DRV_NUM);
  ReplayPutU32(items.data() + 4, 2);
  ReplayPutU16(items.data() + 8, 21);
  EXPECT_EQ(TsaInit(items.data(), static_cast<uint32_t>(items.size())), 0u);
  EXPECT_EQ(GetAfeDrvNum(), 21);
  // The same item claiming more payload than the stream holds.
  ReplayPutU32(items.data() + 4, 50);
  EXPECT_EQ(TsaInit(items.data(), static_cast<uint32_t>(items.size())), 4u);
  ReplayResetForTest();
}

uint32_t gReplayCalls;
uint32_t gReplayLength;
void ReplaySink(uint8_t*, uint32_t length) {
  ++gReplayCalls;
  gReplayLength = length;
}

TEST(TsaFrameData, PackingFailureReturns3AndSuccessFeedsTheReplayCallback) {
  gstPannelAlignCfg.ubDrvNum = 2;
  gstPannelAlignCfg.ubSenNum = 3;
  TsaReportBindPackSources();
  EXPECT_EQ(TsaSetReplayDataCallbackFunc(ReplaySink), 0u);
  gReplayCalls = 0;
  std::vector<uint8_t> buf(65536);
  uint32_t len = 16;
  EXPECT_EQ(TsaGetFrameData(buf.data(), &len), 3u);
  EXPECT_EQ(gReplayCalls, 0u);
  len = static_cast<uint32_t>(buf.size());
  EXPECT_EQ(TsaGetFrameData(buf.data(), &len), 0u);
  EXPECT_EQ(gReplayCalls, 1u);
  EXPECT_EQ(gReplayLength, len);
  EXPECT_GT(len, 0u);
  TsaSetReplayDataCallbackFunc(nullptr);
}

TEST(TsaStubs, NullArgumentsGive4) {
  EXPECT_EQ(TsaSetSysTimeCallbackFunc(nullptr), 4u);
  EXPECT_EQ(TsaSetSysTimeCallbackFunc([] {}), 0u);
  EXPECT_EQ(TsaSetTextLogCallbackFunc(nullptr), 4u);
  EXPECT_EQ(TsaSetTextLogCallbackFunc([](const char*) {}), 0u);
  EXPECT_EQ(TsaSetTextLogLevel(0, 1), 4u);
  EXPECT_EQ(TsaSetTextLogLevel(1, 1), 0u);
  const uint8_t b = 0;
  EXPECT_EQ(TrueValueInit(nullptr, 1), 4u);
  EXPECT_EQ(TrueValueInit(&b, 1), 0u);
  uint8_t out = 0;
  EXPECT_EQ(TsaGetCapTestData(0, &out, 0), 4u);
  EXPECT_EQ(TsaGetCapTestData(0, &out, 1), 0u);
  EXPECT_EQ(TsaGetTextLogLevel(), 0u);
  EXPECT_EQ(GetFrameDataPackType(), 64u);
  uint8_t* p = nullptr;
  uint32_t n = 0;
  EXPECT_EQ(TsaGetDisconnectInfo(nullptr, &n), 1u);
  EXPECT_EQ(TsaGetDisconnectInfo(&p, &n), 0u);
  EXPECT_EQ(p, gpubDisconInfo);
  EXPECT_EQ(n, 14u);
}

// A point in slot 3 as a few frames leave it: new point, pairing and optimisation state.
TEST(TsaAlgoVariable, ClearsThePointsInEveryCoordinateRecord) {
  gpuwNewPointX[3] = 500;
  gpuwNewPointY[3] = 600;
  gpuwNewWeight[3] = 40;
  gstCoordPair.auwSlotX[3] = 20;
  gstCoordPair.auwPrevSlotY[3] = 21;
  gstCoordOptm.auwSmoothX[3][0] = 501;
  gstCoordOptm.auwHistY[3][4] = 602;
  gstCoordOptm.auwAnchorX[3] = 503;
  gstCoordOptm.auwMotionLastY[3] = 604;
  gstCoordOptm.auwBakWeight[3] = 40;
  gstCoordOptm.aubMoveCount[3][0] = 2;
  gstCoordOptm.aubMotionState[3] = 2;
  gstCoordComOutput.ubPointNum = 1;
  InitAlgoVariable();
  EXPECT_EQ(gpuwNewPointX[3], 0);
  EXPECT_EQ(gpuwNewPointY[3], 0);
  EXPECT_EQ(gpuwNewWeight[3], 0);
  EXPECT_EQ(gstCoordPair.auwSlotX[3], 0xFFFF);
  EXPECT_EQ(gstCoordPair.auwPrevSlotY[3], 0xFFFF);
  EXPECT_EQ(gstCoordOptm.auwSmoothX[3][0], 0xFFFF);
  EXPECT_EQ(gstCoordOptm.auwHistY[3][4], 0xFFFF);
  EXPECT_EQ(gstCoordOptm.auwAnchorX[3], 0xFFFF);
  EXPECT_EQ(gstCoordOptm.auwMotionLastY[3], 0xFFFF);
  EXPECT_EQ(gstCoordOptm.auwBakWeight[3], 0);
  EXPECT_EQ(gstCoordOptm.aubMoveCount[3][0], 0);
  EXPECT_EQ(gstCoordOptm.aubMotionState[3], 0);
  EXPECT_EQ(gstCoordComOutput.ubPointNum, 0);
}

TEST(TsaTimes, ZeroTakesTheDefault) {
  struct Case {
    uint16_t TimeCtrlCfg::*field;
    uint16_t (*get)();
    uint16_t def;
  } cases[] = {
      {&TimeCtrlCfg::uwIdleDozePeriod, GetNormalActToIdleTime, 500},
      {&TimeCtrlCfg::uwIdlePeriodLimit, GetGameNorActToIdleTime, 10000},
      {&TimeCtrlCfg::uwHighSpeedIdlePeriod, GetGameFastActToIdleTime, 20000},
      {&TimeCtrlCfg::uwHighSpeedDozeValue, GetFastIdleTime, 100},
  };
  for (const Case& c : cases) {
    gstTimeCtrlCfg.*c.field = 0;
    EXPECT_EQ(c.get(), c.def);
    gstTimeCtrlCfg.*c.field = 1234;
    EXPECT_EQ(c.get(), 1234);
    gstTimeCtrlCfg.*c.field = 0;
  }
}

TEST(TsaDataRecord, StartsOnlyWithAReadyReference) {
  gubDataRecordStartCnt = 0;
  gstCommon.ubPowerOnRefReady = 0;
  TsaSetDataRecordState();
  EXPECT_EQ(gubDataRecordStartCnt, 0);
  gstCommon.ubPowerOnRefReady = 1;
  TsaSetDataRecordState();
  EXPECT_EQ(gubDataRecordStartCnt, 1);
  gubDataRecordStartCnt = 0;
  gstCommon.ubPowerOnRefReady = 0;
}

TEST(TsaLowTemp, ConfidenceRoundTrip) {
  gstCommon.ubLowTempPowerOn = 7;
  gstCommon.ubTempFlags = 3;
  boTempConfidence = 0;
  JudgeLowTempState();
  EXPECT_EQ(gubLowTempPowerOn, 7);
  EXPECT_EQ(boTempConfidence, 1);
  gstCommon.ubTempFlags = 0;
  SetLowTempState();
  EXPECT_EQ(boTempConfidence, 0);
  EXPECT_EQ(gstCommon.ubTempFlags, 3);
}

class TsaFileTest : public ::testing::Test {
 protected:
  platform::testing::TempRoot root_;
};

TEST_F(TsaFileTest, ReadFromFileReadsExactlyCountBytes) {
  root_.writeFile("/data/vendor/tp/flash.bin", "abcdef");
  uint8_t buf[6] = {};
  EXPECT_EQ(ReadFromFile(buf, 6, "/data/vendor/tp/flash.bin"), 0u);
  EXPECT_EQ(memcmp(buf, "abcdef", 6), 0);
  EXPECT_EQ(ReadFromFile(buf, 6, "/data/vendor/tp/missing.bin"), 0xFFFFFFFFu);
  uint8_t big[7] = {};
  EXPECT_EQ(ReadFromFile(big, 7, "/data/vendor/tp/flash.bin"), 0xFFFFFFFFu);  // short file
  EXPECT_EQ(ReadFromFile(nullptr, 6, "/data/vendor/tp/flash.bin"), 0xFFFFFFFFu);
}

TEST_F(TsaFileTest, WriteToFileWritesAnExistingFileAndLeavesItOwnerAndGroupOnly) {
  root_.writeFile("/data/vendor/tp/config.bin", "xxxxxxxx");
  const std::string host = plat_path("/data/vendor/tp/config.bin");
  ASSERT_EQ(chmod(host.c_str(), 0666), 0);
  const uint8_t data[4] = {'w', 'x', 'y', 'z'};
  EXPECT_EQ(WriteToFile(data, 4, "/data/vendor/tp/config.bin"), 0u);
  EXPECT_EQ(root_.readFile("/data/vendor/tp/config.bin"), "wxyzxxxx");
  struct stat st {};
  ASSERT_EQ(stat(host.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0660u);
  EXPECT_EQ(st.st_mode & S_IWOTH, 0u);

  // A missing file is not created.
  EXPECT_EQ(WriteToFile(data, 4, "/data/vendor/tp/new.bin"), 0xFFFFFFFFu);
  EXPECT_NE(plat_access("/data/vendor/tp/new.bin", F_OK), 0);
  EXPECT_EQ(WriteToFile(nullptr, 4, "/data/vendor/tp/config.bin"), 0xFFFFFFFFu);
}

}  // namespace
