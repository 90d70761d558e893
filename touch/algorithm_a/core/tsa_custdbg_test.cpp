// Customer debug state: the bit record, the debug events, and the blocks handed to the
// report and replay packing.
#include "tsa_custdbg.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "coord_records.h"
#include "coord_transform.h"
#include "diff_stages.h"
#include "region_proc.h"
#include "region_records.h"
#include "signal_proc.h"
#include "tsa_api.h"
#include "tsa_common.h"
#include "tsa_fwpkt.h"
#include "tsa_replay.h"

namespace {

class CustomDebugTest : public ::testing::Test {
 protected:
  void SetUp() override {
    memset(&gstCommon, 0, sizeof(gstCommon));
    memset(&gstMutualRegion, 0, sizeof(gstMutualRegion));
    CustomDebugInit();
  }
  static uint8_t* S() { return gstTamrelDebugStateInfo; }
};

TEST_F(CustomDebugTest, FrameBitsFollowTheRecordLayout) {
  gstCommon.ubCoordOption = 1;
  gstCommon.ubChargerFlag = 1;
  gstCommon.ubTimerHold = 1;
  gstCommon.ubLowTempState = 2;
  gstCommon.ubGameModeFlag = 1;
  gstCommon.ubNoiseType = 0x13;
  gstCommon.uwThreshold2 = 300;
  // Bits that events and accessors own survive the frame update; byte 4 and bit 3 of
  // byte 6 do not.
  S()[0] = 0x20;
  S()[4] = 0x77;
  SetForceUpdatePos(16);
  S()[6] = 0x88;
  CustomDebugFrameInputs in{};
  in.ubNormByte16 = 0;
  in.ubNormByte25 = 5;
  in.ubNormByte28 = 1;
  in.ubNormByte30 = 7;
  in.ubHopCurIndex = 2;
  in.uwHopCurWord = 1019;
  in.auwHopWords[0] = 100;
  in.auwHopWords[1] = 509;
  in.auwHopWords[2] = 510;
  in.swOfsThird = 450;
  in.swOfsMax = 1023;
  in.swOfsMin = -8;
  in.ubRegionNum = 3;
  in.boNfNoiseEn = 1;
  SetCustomDebugDataFrom(in);
  const uint8_t expect[20] = {0x6B, 0x77, 0x23, 0x23, 0x00, 16, 0x80, 0, 0, 0,
                              150,  254,  255,  2,    0x20, 0, 50,   254, 255, 0};
  EXPECT_EQ(std::vector<uint8_t>(S(), S() + 20), std::vector<uint8_t>(expect, expect + 20));
  EXPECT_EQ(GetForceUpdatePos(), 16);
}

TEST_F(CustomDebugTest, SaturatedValuesTakeTheirCaps) {
  gstCommon.uwThreshold2 = 510;
  CustomDebugFrameInputs in{};
  in.uwHopCurWord = 1020;
  in.swOfsThird = 3500;   // 17 -> 15
  in.swOfsMax = 1024;
  in.swOfsMin = -1024;
  in.ubRegionNum = 12;
  SetCustomDebugDataFrom(in);
  EXPECT_EQ(S()[3], 0xFC);
  EXPECT_EQ(S()[10], 255);
  EXPECT_EQ(S()[11], 255);
  EXPECT_EQ(S()[12], 255);
  EXPECT_EQ(S()[13], 255);
}

TEST_F(CustomDebugTest, DebugEventsSetTheirFields) {
  const uint8_t one[2] = {0x42, 0};
  for (int i = 0; i < 300; ++i) GetCustomDebugData(1, nullptr, 0);
  EXPECT_EQ(S()[15], 255);  // saturating count
  GetCustomDebugData(4, one, 0);
  EXPECT_EQ(S()[7], 1);
  EXPECT_EQ(S()[6], 0x42);

  // Event 3 against the raw-normalisation level.
  gstRawNormalizeCfg.aubData[10] = 20;
  gstCommon.ubNormFlagA = 1;
  const uint8_t big[2] = {21, 0}, zero[2] = {0, 0}, small[2] = {5, 0};
  GetCustomDebugData(3, big, 0);
  EXPECT_EQ(S()[0] & 0x20, 0x20);
  GetCustomDebugData(3, zero, 0);
  EXPECT_EQ(S()[0] & 0x20, 0);
  GetCustomDebugData(3, small, 0);
  EXPECT_EQ(S()[14] & 0x10, 0x10);
  GetCustomDebugData(3, big, 0);
  GetCustomDebugData(2, nullptr, 0);
  EXPECT_EQ(S()[0] & 0x20, 0);
  EXPECT_EQ(S()[14] & 0x10, 0);

  std::array<uint8_t, 164> rec{};
  rec[163] = 1;
  GetCustomDebugData(6, rec.data(), 0);
  EXPECT_EQ(S()[6] & 0x80, 0x80);
  rec[163] = 2;
  GetCustomDebugData(6, rec.data(), 0);
  EXPECT_EQ(S()[6] & 0x80, 0);
}

TEST_F(CustomDebugTest, PairingLevelsAboveTheConfigurationAreRecorded) {
  gstCoordPairCfg.aubData[6] = 2;  // leave-hold limit
  gstCoordPairCfg.aubData[7] = 1;  // report delay 1 frame -> code 16
  gstCoordComInput.ubLeaveHoldCnt = 2;
  gstCoordComInput.ubReportDelayCode = 16;
  const uint8_t data[1] = {0x33};
  GetCustomDebugData(5, data, 0x70);
  EXPECT_EQ(S()[9], 0);  // within the limits: nothing
  gstCoordComInput.ubLeaveHoldCnt = 3;
  GetCustomDebugData(5, data, 0x7F);
  EXPECT_EQ(S()[9], 1);
  EXPECT_EQ(S()[8], 0x33);
  EXPECT_EQ(S()[6], 0x70);
  EXPECT_EQ(S()[29] & 0x0F, 3);
  EXPECT_EQ(S()[28], 0);
  memset(&gstCoordPairCfg, 0, sizeof(gstCoordPairCfg));
  memset(&gstCoordComInput, 0, sizeof(gstCoordComInput));
}

TEST_F(CustomDebugTest, TransCopiesAtMostTheState) {
  for (uint32_t i = 0; i < kCustDebugStateBytes; ++i) S()[i] = static_cast<uint8_t>(i + 1);
  std::vector<uint8_t> out(100, 0xEE);
  CustomDebugDataTrans(out.data(), 100);
  EXPECT_EQ(out[39], 40);
  EXPECT_EQ(out[40], 0xEE);
  CustomDebugDataTrans(out.data(), 0);
}

TEST_F(CustomDebugTest, ReportDebugInfoTakesTheCommonBytes) {
  gstCommon.ubGameModeFlag = 1;
  gstCommon.ubCoordOption = 2;
  gstCommon.ubChargerFlag = 3;
  gstCommon.ubChargerKind = 4;
  gstCommon.ubWaterResult = 5;
  gstCommon.ubLowTempState = 6;
  gstCommon.ubLargeAreaFlag = 7;
  gstCommon.ubLowTempOutput = 8;
  gstCommon.ubPointCount = 9;
  gstMutualRegion.ubRegionNum = 10;
  uint8_t out[12] = {};
  EXPECT_EQ(PackReportDebugInfo(out), 0);
  const uint8_t expect[12] = {0, 10, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  EXPECT_EQ(memcmp(out, expect, 12), 0);
}

TEST(PackFlashData, HeaderConfigurationAndMirrorAtTheirPlaces) {
  const uint8_t cfg[5] = {9, 8, 7, 6, 5};
  ASSERT_NE(FyTpWriteConfig(cfg, 5), nullptr);
  const uint8_t a = 0xA1, b = 0xB2, c = 0xC3;
  FyTpFlashWrite(4097, &a, 1);
  FyTpFlashWrite(4097 + 40959, &b, 1);
  FyTpFlashWrite(4097 + 40960, &c, 1);  // beyond the 40960 bytes the block carries
  std::vector<uint8_t> image(REPORT_FLASH_IMAGE_BYTES, 0);
  PackReportFlashData(image.data());
  const uint8_t head[8] = {0x00, 0x00, 0x04, 0x00, 0x00, 0xA0, 0x01, 0x00};
  EXPECT_EQ(memcmp(image.data(), head, 8), 0);
  EXPECT_EQ(memcmp(image.data() + 8, cfg, 5), 0);
  EXPECT_EQ(image[8 + 5], 0);
  EXPECT_EQ(image[24584], 0xA1);
  EXPECT_EQ(image[24584 + 40959], 0xB2);
  EXPECT_EQ(image[24584 + 40960], 0);
}

// The late sources of the frame-variable record, each marked with a byte of its own: they
// must all be recorded, in the record's order of sources, after the sampling back-up.
TEST(FrameParseData, RecordHoldsTheLateSourcesInTheirOrder) {
  memset(&gstCommon, 0, sizeof(gstCommon));
  memset(&gstRefdataOutput, 0, sizeof(gstRefdataOutput));
  memset(&gstCoordPair, 0, sizeof(gstCoordPair));
  memset(&gstMutualRegion, 0, sizeof(gstMutualRegion));
  memset(&gstMutualOfsCancel, 0, sizeof(gstMutualOfsCancel));
  memset(&gstSelfOfsCancel, 0, sizeof(gstSelfOfsCancel));
  gstDynamicLevel = 0xD1;
  reinterpret_cast<uint8_t*>(&gstRefdataOutput)[0] = 0xD2;
  gstDiffIirFilter = 0xD3;
  reinterpret_cast<uint8_t*>(&gstMutualRegion)[0] = 0xD4;
  gstCoordPair.ubStillTrimMark = 0xD5;  // the pairing record's last byte
  gstSensitiveCmd.uwCurTouch = 0xD6;
  gstCoordNoiseProc.ubKindCode = 0xD7;
  reinterpret_cast<uint8_t*>(&gstSelfOfsCancel)[sizeof(gstSelfOfsCancel) - 1] = 0xD8;
  FillFrameGlobalVarRcrd();
  int last = -1;
  for (uint8_t mark = 0xD1; mark <= 0xD8; ++mark) {
    const uint8_t* at = static_cast<const uint8_t*>(memchr(gstGlobalVarRcrd + kGlobalVarMutualCfgBakAt, mark,
                                                          kGlobalVarRcrdBytes - kGlobalVarMutualCfgBakAt));
    ASSERT_NE(at, nullptr) << std::hex << int(mark) << " not recorded";
    EXPECT_GT(at - gstGlobalVarRcrd, last) << std::hex << int(mark) << " out of order";
    last = static_cast<int>(at - gstGlobalVarRcrd);
  }
  EXPECT_LT(last, static_cast<int>(kGlobalVarRcrdBytes));
  gstDynamicLevel = 0;
  gstDiffIirFilter = 0;
  memset(&gstRefdataOutput, 0, sizeof(gstRefdataOutput));
  memset(&gstMutualRegion, 0, sizeof(gstMutualRegion));
  memset(&gstCoordPair, 0, sizeof(gstCoordPair));
  memset(&gstSensitiveCmd, 0, sizeof(gstSensitiveCmd));
  gstCoordNoiseProc = CoordNoiseProc{0, 0};
  memset(&gstSelfOfsCancel, 0, sizeof(gstSelfOfsCancel));
}

TEST(FrameParseData, RecordingCounterRecordsOneFrame) {
  static uint16_t raw[6] = {11, 12, 13, 14, 15, 16};
  static int16_t diff[6] = {-1, 2, -3, 4, -5, 6};
  memset(&gstCommon, 0, sizeof(gstCommon));
  gstCommon.ubDrvNum = 2;
  gstCommon.ubSenNum = 3;
  gstCommon.ubChargerFlag = 0x5A;
  gstCommon.stData.puwRawData = raw;
  gstCommon.stData.pswDiffData = diff;
  gpuwNewPointX[0] = 0x1234;
  const MutualCfgBak sampling = {0x0ABC, 0x1357, 0x0C, 0x03};
  SampleSetMutualBakCfg(&sampling);
  const uint8_t head[14] = {0x80, 2, 4, 4, 7, 0};
  const struct {
    uint8_t before, after;
  } steps[] = {{0, 0}, {1, 1}, {2, 3}, {3, 0}};
  for (const auto& s : steps) {
    memset(gstGlobalVarRcrd, 0, sizeof(gstGlobalVarRcrd));
    gubDataRecordStartCnt = s.before;
    FillFrameParseData(head, 1);
    EXPECT_EQ(gubDataRecordStartCnt, s.after);
    // Only the capture step fills the record: gstCommon's first byte, then the hop flag,
    // then the new-point X values.
    const bool recorded = s.before == 2;
    EXPECT_EQ(gstGlobalVarRcrd[0], recorded ? 0x5A : 0);
    EXPECT_EQ(gstGlobalVarRcrd[63], recorded ? 0x34 : 0);
    // The sampling back-up, little-endian words then the two option nibbles.
    const std::array<uint8_t, kGlobalVarMutualCfgBakBytes> want =
        recorded ? std::array<uint8_t, 6>{0xBC, 0x0A, 0x57, 0x13, 0x0C, 0x03} : std::array<uint8_t, 6>{};
    EXPECT_EQ(0, memcmp(gstGlobalVarRcrd + kGlobalVarMutualCfgBakAt, want.data(), want.size()));
  }
  const MutualCfgBak cleared = {};
  SampleSetMutualBakCfg(&cleared);
  EXPECT_EQ(memcmp(gpuwGridAndLineDataRcrd, raw, sizeof(raw)), 0);
  EXPECT_EQ(memcmp(gpswLastDiffDataRcrd, diff, sizeof(diff)), 0);
  gubDataRecordStartCnt = 0;
  gpuwNewPointX[0] = 0;
  memset(&gstCommon, 0, sizeof(gstCommon));
}

}  // namespace
