#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tsa_debug.h"
#include "tsa_pack.h"
#include "tsa_replay.h"
#include "tsa_replay_test_util.h"

namespace {

using replay_test::Bytes;
using replay_test::Decode;
using replay_test::ItemEncoder;
using replay_test::LogCapture;
using replay_test::Pattern;
using replay_test::Types;

Bytes U16s(const std::vector<uint16_t>& values) {
  ItemEncoder e;
  for (uint16_t v : values) e.U16(v);
  return e.bytes();
}

// A 3 x 2 panel (6 nodes, 5 lines) with every source filled with its own pattern.
struct FramePanel {
  static constexpr uint8_t kDrv = 3;
  static constexpr uint8_t kSen = 2;
  Bytes headBackup = Pattern(REPORT_HEAD_BACKUP_BYTES, 0x10);
  Bytes globals = Pattern(REPORT_GLOBAL_VAR_RCRD_BYTES, 0x20);
  Bytes cmdBak = Pattern(REPORT_CMD_BAK_BYTES, 0x30);
  Bytes gridLine = Pattern(REPORT_GRID_LINE_RCRD_BYTES, 0x40);
  std::vector<int16_t> lastDiff = {-1, 2, -3, 4, -5, 6};
  std::vector<uint16_t> refBak = {1000, 1001, 1002, 1003, 1004, 1005};
  std::vector<uint16_t> selfRef = {500, 501, 502, 503, 504};
  Bytes refUpdateType = {1, 0, 2, 0, 3, 0, 4, 0};
  Bytes selko = Pattern(REPORT_SELKO_DEBUG_BYTES, 0x50);
  std::vector<uint16_t> selfRaw = {5000, 5001, 5002, 5003, 5004};
  std::vector<uint16_t> raw = {10000, 10001, 10002, 10003, 10004, 10005};
  Bytes mutualHead = {1, 2, 3, 4, 5, 6};
  Bytes selfHead = {7, 8, 9, 10, 11, 12};
  Bytes imHead = {13, 14, 15, 16, 17, 18};
  std::vector<uint16_t> im = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  std::vector<int16_t> iBuf = {11, 12, 13, 14, 15, 16};
  std::vector<int16_t> qBuf = {-11, -12, -13, -14, -15, -16};
  Bytes freqHop = Pattern(REPORT_FREQ_HOP_BYTES, 0x60);
  Bytes freqList = U16s({150, 200, 250});
  Bytes cmdTemp = {35, 1, 2, 3, 4, 5};
  Bytes frameHead = {0xA5, 1, 0x01, 0, 0x02, 0x01, 40, 0, 2, 0, 0, 0, 0, 0};

  ReportFrameInputs Inputs() {
    cmdBak[0] = 4;
    cmdBak[REPORT_CMD_BAK_KEEP_FLAG] = 1;
    ReportFrameInputs in{};
    in.ubDrvNum = kDrv;
    in.ubSenNum = kSen;
    in.boCharger = 1;
    in.ubCoordOption = 3;
    in.boWater = 1;
    in.ubLowTempState = 2;
    in.aboNoiseFlag[0] = 1;
    in.aboNoiseFlag[2] = 1;
    in.ubDurationStateB = 1;
    in.boNfNoiseByte0 = 1;
    in.ubNoiseType = 6;
    in.uwNoiseTypeMask = 0x1234;
    in.uwImSmoothLevel = 0x0321;
    in.ubTempFlags = 0x04;
    in.uwScanPeriod = 8000;
    in.uwDataReadyCnt = 77;
    in.ubLcdDenoiseResult = 9;
    in.boTick100ms = 1;
    in.boPowerOnRefReady = 1;
    in.boLcdHighNoise = 1;
    in.ubFreqHopState = 1;
    in.pubFreqHop = freqHop.data();
    in.uwMutualCfgBak[0] = 200;
    in.uwMutualCfgBak[1] = 1000;
    in.ubFreqNum = 3;
    in.pubFreqList = freqList.data();
    in.pubCmdTemperatureValue = cmdTemp.data();
    in.ubLowTempPowerOn = 7;
    in.ullProcTimeStampBak = 0x0102030405060708ull;
    in.pubFrameHeadInfoBak = headBackup.data();
    in.pubGlobalVarRcrd = globals.data();
    in.pubThpCmdBak = cmdBak.data();
    in.uiThpCmdBakBytes = static_cast<uint32_t>(cmdBak.size());
    in.pubGridAndLineDataRcrd = gridLine.data();
    in.pswLastDiffDataRcrd = lastDiff.data();
    in.puwMutualRefDataBak = refBak.data();
    in.uwMutualRefBakValid = 1;
    in.puwSelfRefData = selfRef.data();
    in.pubRefUpdateTypeBak = refUpdateType.data();
    in.pfnPackReportDebugInfo = &FillDebugHead;
    in.pubSelkoAlgoDebugInfo = selko.data();
    in.puwSelfRawData = selfRaw.data();
    in.puwRawData = raw.data();
    in.pubMutualSectionHead = mutualHead.data();
    in.pubSelfSectionHead = selfHead.data();
    in.pubImSectionHead = imHead.data();
    in.puwImData = im.data();
    in.uiImDataBytes = static_cast<uint32_t>(im.size() * 2);
    in.pswIBuffer = iBuf.data();
    in.pswQBuffer = qBuf.data();
    std::memcpy(gstFrameReportInfo.aubFrameHead, frameHead.data(), frameHead.size());
    return in;
  }

  static void FillDebugHead(uint8_t* block) { std::memset(block, 0xD1, 100); }

  // The record as the layout describes it, encoded independently of the packer.
  Bytes Expected(bool recording, bool refValid, bool iq) const {
    const auto bytesOf = [](const auto& v) {
      const uint8_t* p = reinterpret_cast<const uint8_t*>(v.data());
      return Bytes(p, p + v.size() * sizeof(v[0]));
    };
    Bytes headBlock = headBackup;
    if (recording) headBlock.insert(headBlock.end(), globals.begin(), globals.end());
    headBlock.insert(headBlock.end(), cmdTemp.begin(), cmdTemp.end());
    headBlock.insert(headBlock.end(), {0, 0, 0, 7});
    Bytes debug(REPORT_DEBUG_BLOCK_BYTES, 0);
    std::memset(debug.data(), 0xD1, 100);
    std::memcpy(debug.data() + 100, selko.data(), selko.size());
    // charger -> bit 7, coordinate option -> 6, water -> 3, low temperature 2 -> 2.
    const uint8_t frameState = 0x80 | 0x40 | 0x08 | 0x04;
    // NF byte 0 -> 7, first noise flag -> 4, third -> 2, duration B -> 1.
    const uint8_t noiseFlags = 0x80 | 0x10 | 0x04 | 0x02;
    const Bytes env = ItemEncoder().U8(6).U8(noiseFlags).U16(0x1234).U16(0x0321).U8(35).U8(0).bytes();

    const Bytes imBytes = bytesOf(im);
    ItemEncoder e;
    e.Open(5).Open(6).Item(0x00001388u, Bytes(cmdBak.begin(), cmdBak.begin() + 5)).Close(6);
    e.Open(8);
    if (recording) {
      e.Item(0x08001B58u, Bytes(gridLine.begin(), gridLine.begin() + 6 * 2 + 5 * 4));
      e.Item(0x05001B59u, bytesOf(lastDiff));
    }
    if (refValid) e.Item(0x01001B5Bu, bytesOf(refBak)).Item(0x01001B5Cu, bytesOf(selfRef));
    e.Item(0x01001B61u, refUpdateType).Item(0x01001B5Du, debug).Close(8);
    e.Open(7)
        .ItemU64(0x03001770u, 0x0102030405060708ull)
        .Item(0x0800179Fu, headBlock)
        .ItemU8(0x0800178Fu, frameState)
        .Item(0x0B001790u, env)
        .ItemU8(0x0000178Cu, 1)
        .ItemU32(0x0000178Du, 1 | 4)  // LCD high noise, hopping state 1; reference ready
        .ItemU16(0x01001772u, 0x0102)
        .ItemU16(0x01001773u, 124)  // 2 x (500000 / 8000)
        .ItemU32(0x0A001774u, 0)
        .ItemU64(0x0B00179Cu, 4)
        .Item(0x0100177Fu, bytesOf(selfRaw))
        .ItemU16(0x0100177Du, 0)
        .ItemU16(0x0100177Eu, 0)
        .ItemU16(0x0100177Bu, 0)
        .ItemU16(0x0100177Cu, 0)
        .Item(0x0100178Au, selfHead)
        .ItemU16(0x01001778u, 200)
        .ItemU8(0x00001794u, 1)       // 200 is the second hopping frequency
        .ItemU16(0x01001777u, 625)    // 1000 x 62500 / 100000
        .Item(0x01001789u, mutualHead)
        .Item(0x0100177Au, bytesOf(raw))
        .Item(0x01001792u, Bytes(freqHop.begin() + 44, freqHop.begin() + 60))
        .Item(0x01001793u, Bytes(freqHop.begin() + 28, freqHop.begin() + 44))
        .Item(0x01001782u, Bytes(imBytes.begin(), imBytes.begin() + 18))  // F 3 x max(3, 2) x 2
        .Item(0x01001791u, imHead);
    if (iq) e.Item(0x05001799u, bytesOf(iBuf)).Item(0x0500179Au, bytesOf(qBuf));
    e.ItemU8(0x04001798u, 35).Close(7).Close(5);
    return e.bytes();
  }
};

using ReportPackTest = replay_test::CleanReplayState;

// ---- Frame record ----------------------------------------------------------------------------

TEST_F(ReportPackTest, FrameRecordMatchesTheLayoutItemByItem) {
  struct Case {
    const char* name;
    uint8_t recordState;
    bool refValid;
    bool iq;
  } cases[] = {
      {"plain frame", 0, true, false},
      {"recorded frame", 3, true, false},
      {"no reference backup", 0, false, false},
      {"IQ frame", 2, true, true},
  };
  for (const Case& c : cases) {
    FramePanel panel;
    ReportFrameInputs in = panel.Inputs();
    in.uwMutualRefBakValid = c.refValid ? 1 : 0;
    if (c.iq) gstFrameReportInfo.aubFrameHead[2] |= REPORT_SECTION_IQ_BIT;
    gubDataRecordStartCnt = c.recordState;
    Bytes out(20480);
    uint32_t length = static_cast<uint32_t>(out.size());
    ASSERT_EQ(ReportFramePrePackFrom(&in, out.data(), &length), 0u) << c.name;
    const Bytes expected = panel.Expected(c.recordState == 3, c.refValid, c.iq);
    ASSERT_EQ(length, expected.size()) << c.name;
    EXPECT_EQ(Bytes(out.begin(), out.begin() + length), expected) << c.name;
    EXPECT_EQ(panel.cmdBak[REPORT_CMD_BAK_KEEP_FLAG], 0) << c.name << ": keep flag cleared";
  }
  EXPECT_EQ(+gstFrameReportInfo.uwDataReadyCnt, 77);
  EXPECT_EQ(+gstFrameReportInfo.ubLcdDenoiseResult, 9);
}

TEST_F(ReportPackTest, FrameHeadBlockLengthFollowsTheRecordState) {
  for (uint8_t state : {0, 1, 2, 3}) {
    FramePanel panel;
    ReportFrameInputs in = panel.Inputs();
    gubDataRecordStartCnt = state;
    Bytes out(20480);
    uint32_t length = static_cast<uint32_t>(out.size());
    ASSERT_EQ(ReportFramePrePackFrom(&in, out.data(), &length), 0u);
    for (const auto& item : Decode(out.data(), length)) {
      if (item.type == 0x0800179Fu) { EXPECT_EQ(item.payload.size(), state == 3 ? 1382u : 236u) << int(state); }
    }
  }
}

TEST_F(ReportPackTest, FrameRecordOverflowFailsAsAWhole) {
  FramePanel panel;
  const uint32_t full = static_cast<uint32_t>(panel.Expected(false, true, false).size());
  for (uint32_t capacity : {9u, 100u, full - 1}) {
    ReportFrameInputs in = panel.Inputs();
    Bytes out(full, 0xEE);
    uint32_t length = capacity;
    EXPECT_EQ(ReportFramePrePackFrom(&in, out.data(), &length), 3u) << capacity;
    EXPECT_EQ(length, 0u);
    for (size_t i = capacity; i < out.size(); ++i) ASSERT_EQ(out[i], 0xEE) << capacity;
  }
  EXPECT_EQ(log_.Count("Pack rep frame error, out of memory"), 3u);
  // Capacity 9: the opening marker is skipped, the rest is attempted, and the first one-byte
  // item (frame state flags) is the one that fits; the call still fails.
  ReportFrameInputs in = panel.Inputs();
  Bytes out(16, 0xEE);
  uint32_t length = 9;
  EXPECT_EQ(ReportFramePrePackFrom(&in, out.data(), &length), 3u);
  EXPECT_EQ(out, ItemEncoder().ItemU8(0x0800178Fu, 0xCC).Raw(Bytes(7, 0xEE)).bytes());
  length = full;
  Bytes exact(full);
  EXPECT_EQ(ReportFramePrePackFrom(&in, exact.data(), &length), 0u);
}

TEST_F(ReportPackTest, FrameRecordBoundsItsCountsAndPanel) {
  FramePanel panel;
  ReportFrameInputs in = panel.Inputs();
  in.ubDrvNum = 100;
  in.ubSenNum = 30;  // 3000 nodes
  Bytes out(20480);
  uint32_t length = static_cast<uint32_t>(out.size());
  EXPECT_EQ(ReportFramePrePackFrom(&in, out.data(), &length), 3u);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(log_.Count("exceeds 2912 nodes"), 1u);

  // A command count byte past the backup is cut at the backup's end; 255 wraps to 0.
  const std::pair<uint8_t, size_t> cmdCases[] = {{250, REPORT_CMD_BAK_BYTES}, {255, 0}};
  for (auto [countByte, expectedBytes] : cmdCases) {
    in = panel.Inputs();
    panel.cmdBak[0] = countByte;
    length = static_cast<uint32_t>(out.size());
    ASSERT_EQ(ReportFramePrePackFrom(&in, out.data(), &length), 0u);
    EXPECT_EQ(Decode(out.data(), length)[2].payload.size(), expectedBytes) << int(countByte);
  }

  // IM data never reads past the buffer it came with.
  in = panel.Inputs();
  in.uiImDataBytes = 4;
  length = static_cast<uint32_t>(out.size());
  ASSERT_EQ(ReportFramePrePackFrom(&in, out.data(), &length), 0u);
  for (const auto& item : Decode(out.data(), length)) {
    if (item.type == 0x01001782u) { EXPECT_EQ(item.payload, Bytes({1, 0, 2, 0})); }
  }
}

TEST_F(ReportPackTest, FrameStateAndEnvironmentBits) {
  struct Case {
    const char* name;
    void (*set)(ReportFrameInputs&);
    uint8_t frameState;
    uint8_t noiseFlags;
    uint32_t envFlags;
    uint8_t temperature;
  } cases[] = {
      {"nothing set", [](ReportFrameInputs&) {}, 0x00, 0x00, 0x02, 127},
      {"game mode", [](ReportFrameInputs& in) { in.boGameMode = 1; }, 0xA0, 0x00, 0x02, 127},
      {"normalise and self hold", [](ReportFrameInputs& in) { in.boNormalizeFlag = 1, in.ubSelfOcHold = 1; }, 0x12,
       0x00, 0x02, 127},
      {"low temperature 1 is not 2", [](ReportFrameInputs& in) { in.ubLowTempState = 1; }, 0x00, 0x00, 0x02, 127},
      {"NF byte 21, second and fourth noise flags",
       [](ReportFrameInputs& in) { in.boNfNoiseByte21 = 1, in.aboNoiseFlag[1] = 1, in.aboNoiseFlag[3] = 1; }, 0x00,
       0x68, 0x02, 127},
      {"temperature given", [](ReportFrameInputs& in) { in.ubTempFlags = 0x04; }, 0x00, 0x00, 0x02, 35},
      {"temperature flag without bit 2", [](ReportFrameInputs& in) { in.ubTempFlags = 0x03; }, 0x00, 0x00, 0x02, 127},
      {"reference ready, hopping state 2",
       [](ReportFrameInputs& in) { in.boPowerOnRefReady = 1, in.ubFreqHopState = 2; }, 0x00, 0x00, 0x00, 127},
  };
  for (const Case& c : cases) {
    FramePanel panel;
    ReportFrameInputs in = panel.Inputs();
    ReportFrameInputs bare{};
    bare.ubDrvNum = in.ubDrvNum;
    bare.ubSenNum = in.ubSenNum;
    bare.pubCmdTemperatureValue = in.pubCmdTemperatureValue;
    c.set(bare);
    Bytes out(20480);
    uint32_t length = static_cast<uint32_t>(out.size());
    ASSERT_EQ(ReportFramePrePackFrom(&bare, out.data(), &length), 0u) << c.name;
    EXPECT_EQ(+gstFrameReportInfo.ubFrameStateFlags, c.frameState) << c.name;
    EXPECT_EQ(+gstFrameReportInfo.stEnv.ubNoiseFlags, c.noiseFlags) << c.name;
    EXPECT_EQ(+gstFrameReportInfo.uiEnvFlags, c.envFlags) << c.name;
    EXPECT_EQ(+gstFrameReportInfo.stEnv.ubTemperature, c.temperature) << c.name;
    EXPECT_EQ(+gstFrameReportInfo.uwReportRate, 0) << c.name << ": scan period 0";
  }
}

TEST_F(ReportPackTest, FrequencyIndexIsZeroWhenAbsent) {
  FramePanel panel;
  ReportFrameInputs in = panel.Inputs();
  in.uwMutualCfgBak[0] = 175;
  Bytes out(20480);
  uint32_t length = static_cast<uint32_t>(out.size());
  ASSERT_EQ(ReportFramePrePackFrom(&in, out.data(), &length), 0u);
  EXPECT_EQ(+gstFrameReportInfo.uwFreqIndex, 0);
  in.uwMutualCfgBak[0] = 250;
  length = static_cast<uint32_t>(out.size());
  ASSERT_EQ(ReportFramePrePackFrom(&in, out.data(), &length), 0u);
  EXPECT_EQ(+gstFrameReportInfo.uwFreqIndex, 2);
}

FramePanel* gPanel;
std::vector<Bytes> gReplays;
void PanelInputs(ReportFrameInputs* in) { *in = gPanel->Inputs(); }
void RecordReplay(uint8_t* buffer, uint32_t length) { gReplays.emplace_back(buffer, buffer + length); }

TEST_F(ReportPackTest, RegisteredSourcesAndReplayCallback) {
  Bytes out(20480);
  uint32_t length = static_cast<uint32_t>(out.size());
  EXPECT_EQ(ReportFramePrePack(out.data(), &length), 3u) << "no sources registered";

  FramePanel panel;
  gPanel = &panel;
  gReplays.clear();
  ReportPackSources sources{};
  sources.pfnFrameInputs = &PanelInputs;
  SetReportPackSources(&sources);
  ASSERT_EQ(SetReplayDataCallbackFunc(&RecordReplay), 0u);
  length = static_cast<uint32_t>(out.size());
  ASSERT_EQ(PackReportFrame(out.data(), &length), 0u);
  ASSERT_EQ(gReplays.size(), 1u);
  EXPECT_EQ(gReplays[0], panel.Expected(false, true, false));
  length = 50;
  EXPECT_EQ(PackReportFrame(out.data(), &length), 3u);
  EXPECT_EQ(gReplays.size(), 1u) << "no callback for a failed pack";

  // A data record starts only once the reference is ready.
  panel.cmdBak[0] = 0;
  SetDataRecordState();
  EXPECT_EQ(gubDataRecordStartCnt, 1);
  gubDataRecordStartCnt = 0;
  sources.pfnFrameInputs = [](ReportFrameInputs* in) { *in = ReportFrameInputs{}; };
  SetReportPackSources(&sources);
  SetDataRecordState();
  EXPECT_EQ(gubDataRecordStartCnt, 0);
}

// ---- Touch report ----------------------------------------------------------------------------

Bytes ExpectedReport(uint8_t count, const Bytes& coord, const Bytes& debugData) {
  ItemEncoder e;
  e.Open(10).ItemU64(0x03002328u, 0xAABBCCDDull).ItemU8(0x00002329u, count);
  for (uint8_t i = 0; i < count; ++i) {
    e.ItemU8(0x00000004u, i).ItemU8(0x0000232Au, uint8_t(i + 1)).ItemU8(0x0000232Bu, 2);
    for (uint16_t k = 0; k < 7; ++k) e.ItemU16(0x0100232Cu + k, uint16_t(100 * i + k));
    e.Item(0x01001B5Eu, Bytes(coord.begin() + 20 + 6 * i, coord.begin() + 26 + 6 * i));
  }
  e.ItemU8(0x00002333u, 1).ItemU8(0x00002334u, 2).ItemU8(0x00002335u, 3).ItemU8(0x00002334u, 2);
  e.Item(0x01001B5Du, debugData).Close(10);
  return e.bytes();
}

void FillTouches(uint8_t count) {
  SetTouchTimeStamp(0xAABBCCDDull);
  SetTouchNum(count);
  SetTouchCoverFpState(1);
  SetTouchFullHoverState(2);
  SetTouchLargeState(3);
  SetTouchErrorFlag(9);
  for (uint8_t i = 0; i < REPORT_POINTS; ++i) {
    SetTouchTrackId(i, uint8_t(i + 1));
    SetTouchType(i, 2);
    SetTouchXPos(i, uint16_t(100 * i));
    SetTouchYPos(i, uint16_t(100 * i + 1));
    SetTouchPressure(i, uint16_t(100 * i + 2));
    SetTouchDistance(i, uint16_t(100 * i + 3));
    SetTouchMajor(i, uint16_t(100 * i + 4));
    SetTouchMinor(i, uint16_t(100 * i + 5));
    SetTouchOrientaion(i, uint16_t(100 * i + 6));
  }
}

TEST_F(ReportPackTest, TouchReportMatchesTheLayout) {
  Bytes debugState(24);
  for (size_t i = 0; i < debugState.size(); ++i) debugState[i] = uint8_t(0x80 + i);
  const Bytes coord = Pattern(20 + 6 * 12, 0x90);
  // Bytes 0..19 of the debug state, then their 16-bit sum high byte first:
  // 20 x 0x80 + (0 + 1 + ... + 19) = 2750 = 0x0ABE.
  Bytes debugData(debugState.begin(), debugState.begin() + 20);
  debugData.push_back(0x0A);
  debugData.push_back(0xBE);
  const ReportInfoInputs in = {debugState.data(), coord.data(), 0, 0, 0};

  for (uint8_t count : {0, 2, 12, 13}) {
    FillTouches(count);
    Bytes out(4096);
    uint32_t length = static_cast<uint32_t>(out.size());
    ASSERT_EQ(GetReportInfoFrom(&in, out.data(), &length), 0u) << int(count);
    const uint8_t packed = count > 12 ? 12 : count;
    EXPECT_EQ(Bytes(out.begin(), out.begin() + length), ExpectedReport(packed, coord, debugData)) << int(count);
  }
  FillTouches(0);
  Bytes out(4096);
  uint32_t length = static_cast<uint32_t>(out.size());
  ASSERT_EQ(GetReportInfoFrom(&in, out.data(), &length), 0u);
  EXPECT_EQ(Types(Decode(out.data(), length)),
            std::vector<uint32_t>({0x01000000u, 0x03002328u, 0x00002329u, 0x00002333u, 0x00002334u, 0x00002335u,
                                   0x00002334u, 0x01001B5Du, 0x01000001u}));
  EXPECT_EQ(GetTouchXPos(3), 300);
  EXPECT_EQ(GetTouchYPos(3), 301);
  EXPECT_EQ(GetTouchXPos(12), 0xFFFF);
  SetTouchXPos(12, 5);  // past the slots: ignored
}

TEST_F(ReportPackTest, TouchReportHoldResultAndCallback) {
  struct Case {
    uint8_t cfg, same, count, idle;
    uint32_t result;
  } cases[] = {
      {0x10, 1, 1, 1, 4}, {0x00, 1, 1, 1, 0}, {0x10, 0, 1, 1, 0}, {0x10, 1, 0, 1, 0}, {0x10, 1, 1, 0, 0},
      {0xFF, 2, 3, 5, 4},
  };
  gReplays.clear();
  SetReplayDataCallbackFunc(&RecordReplay);
  for (const Case& c : cases) {
    FillTouches(c.count);
    const ReportInfoInputs in = {nullptr, nullptr, c.cfg, c.same, c.idle};
    Bytes out(4096);
    uint32_t length = static_cast<uint32_t>(out.size());
    EXPECT_EQ(GetReportInfoFrom(&in, out.data(), &length), c.result);
    ASSERT_FALSE(gReplays.empty());
    EXPECT_EQ(gReplays.back(), Bytes(out.begin(), out.begin() + length));
  }
  const size_t calls = gReplays.size();
  FillTouches(1);
  Bytes out(64, 0xEE);
  uint32_t length = 40;
  EXPECT_EQ(GetReportInfo(out.data(), &length), 3u);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(gReplays.size(), calls);
  EXPECT_EQ(log_.Count("GetReportInfo error, out of memory"), 1u);
}

// ---- Initial flash record ----------------------------------------------------------------------

void FlashPattern(uint8_t* image) {
  image[0] = 0x11;
  image[REPORT_FLASH_IMAGE_BYTES - 1] = 0x22;
}

TEST_F(ReportPackTest, InitialFlashRecord) {
  ReportPackSources sources{};
  sources.pfnPackReportFlashData = &FlashPattern;
  SetReportPackSources(&sources);
  const uint32_t full = 10 + 8 + REPORT_FLASH_IMAGE_BYTES + 10;
  Bytes out(full, 0xEE);
  uint32_t length = full;
  ASSERT_EQ(PackReportInitialData(out.data(), &length), 0u);
  ASSERT_EQ(length, full);
  Bytes image(REPORT_FLASH_IMAGE_BYTES, 0);
  image.front() = 0x11;
  image.back() = 0x22;
  EXPECT_EQ(out, ItemEncoder().Open(4).Item(0x08000FA4u, image).Close(4).bytes());
  length = full - 1;
  EXPECT_EQ(PackReportInitialData(out.data(), &length), 3u);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(log_.Count("Pack Initial Data error, out of memory"), 1u);
}

// ---- Request queue ---------------------------------------------------------------------------

TEST_F(ReportPackTest, RequestQueue) {
  TsaDebugResetForTest();
  uint8_t& count = tsa_request_num;
  const Bytes one = Pattern(REPORT_REQUEST_BYTES, 1);
  Bytes out(REPORT_REQUEST_MAX * REPORT_REQUEST_BYTES);
  EXPECT_EQ(GetRequest(out.data()), 2u);
  EXPECT_EQ(GetRequestItem(out.data()), 2u);
  for (uint8_t i = 0; i < 3; ++i) ASSERT_EQ(SetRequest(Pattern(REPORT_REQUEST_BYTES, i).data()), 0);
  ASSERT_EQ(GetRequestItem(out.data()), 0u);
  EXPECT_EQ(Bytes(out.begin(), out.begin() + REPORT_REQUEST_BYTES), Pattern(REPORT_REQUEST_BYTES, 2)) << "newest";
  EXPECT_EQ(GetRequestNum(), 2);
  EXPECT_EQ(count, 2);
  for (uint8_t i = 2; i < REPORT_REQUEST_MAX; ++i) ASSERT_EQ(SetRequest(Pattern(REPORT_REQUEST_BYTES, i).data()), 0);
  EXPECT_EQ(SetRequest(one.data()), -1) << "an eleventh entry is refused";
  ASSERT_EQ(GetRequest(out.data()), 0u);
  for (uint8_t i = 0; i < REPORT_REQUEST_MAX; ++i) {
    EXPECT_EQ(Bytes(out.begin() + i * REPORT_REQUEST_BYTES, out.begin() + (i + 1) * REPORT_REQUEST_BYTES),
              Pattern(REPORT_REQUEST_BYTES, i)) << int(i);
  }
  EXPECT_EQ(count, 0);
  count = 200;  // a corrupt count never reads past the ring
  EXPECT_EQ(GetRequestNum(), REPORT_REQUEST_MAX);
  EXPECT_EQ(GetRequestItem(out.data()), 0u);
  EXPECT_EQ(count, REPORT_REQUEST_MAX - 1);
  TsaDebugResetForTest();
}

// ---- Capacitance-test registry ---------------------------------------------------------------

TEST_F(ReportPackTest, CapTestData) {
  const std::vector<uint16_t> mutualRef = {1000, 1001, 5};
  const std::vector<uint16_t> mutualDiff = {10, 20, 10};
  const std::vector<uint16_t> selfRef = {700, 800};
  const std::vector<uint16_t> selfDiff = {1};  // shorter than its reference
  SetCapTestMutualRefData(mutualRef.data(), 6);
  SetCapTestMutualDiffData(mutualDiff.data(), 6);
  SetCapTestSelfRefData(selfRef.data(), 4);
  SetCapTestSelfDiffData(selfDiff.data(), 2);
  struct Case {
    uint32_t kind;
    uint32_t capacity;
    uint32_t result;
    Bytes out;
  } cases[] = {
      {0, 6, 0, U16s({990, 981, 65531})},
      {1, 8, 0, U16s({10, 20, 10})},
      {2, 4, 0, U16s({699, 800})},
      {3, 2, 0, U16s({1})},
      {0, 5, 3, {}},
      {4, 64, 1, {}},
  };
  for (const Case& c : cases) {
    Bytes out(8, 0);
    uint32_t capacity = c.capacity;
    EXPECT_EQ(GetCapTestData(c.kind, out.data(), &capacity), c.result) << c.kind;
    EXPECT_EQ(capacity, c.capacity) << "capacity word unchanged";
    if (c.result == 0) { EXPECT_EQ(Bytes(out.begin(), out.begin() + c.out.size()), c.out) << c.kind; }
  }
  SetCapTestSelfRefData(nullptr, 0);
  Bytes out(8);
  uint32_t capacity = 8;
  EXPECT_EQ(GetCapTestData(2, out.data(), &capacity), 2u);
}

// ---- Watch list ------------------------------------------------------------------------------

uint16_t gDiff[6], gRaw[6], gRef[6], gSelfDiff[5], gSelfRaw[5], gSelfRef[5];
void WatchPointers(WatchDataPointers* p) { *p = {gDiff, gRaw, gRef, gSelfDiff, gSelfRaw, gSelfRef}; }

TEST_F(ReportPackTest, StandardWatchEntries) {
  gstAfeCaps.uwDrvNum = 0x0103;  // low byte 3
  gstAfeCaps.uwSenNum = 2;
  ReportPackSources sources{};
  sources.pfnWatchPointers = &WatchPointers;
  SetReportPackSources(&sources);
  InitWatchData();
  ASSERT_EQ(GetWatchDataNum(), 6u);
  WatchEntry list[WATCH_LIST_MAX];
  ASSERT_EQ(GetWatchDataList(list), 0u);
  struct Expected {
    uint32_t group;
    const char* name;
    uint32_t type, size, columns, rows;
    int32_t min, max;
    uint32_t nominal, flag;
  } expected[] = {
      {10, "gswDiffDataBake", 5, 12, 2, 3, -200, 500, 0, 0},
      {10, "gstCommon.stData.puwRawData", 1, 12, 2, 3, 9500, 10500, 10000, 1},
      {10, "gstCommon.stData.puwRefData", 1, 12, 2, 3, 9500, 10500, 10000, 1},
      {11, "gstCommon.stData.pswSelfDiffData", 5, 10, 1, 5, -200, 300, 0, 0},
      {11, "gstCommon.stData.puwSelfRawData", 1, 10, 1, 5, 2000, 8000, 5000, 1},
      {11, "gstCommon.stData.puwSelfRefData", 1, 10, 1, 5, 2000, 8000, 5000, 1},
  };
  for (uint32_t i = 0; i < 6; ++i) {
    const WatchEntry& w = list[i];
    const Expected& e = expected[i];
    EXPECT_EQ(+w.uiIndex, i);
    EXPECT_EQ(+w.uiGroup, e.group) << i;
    EXPECT_STREQ(w.acName, e.name);
    EXPECT_EQ(+w.uiType, e.type) << i;
    EXPECT_EQ(+w.uiSize, e.size) << i;
    EXPECT_EQ(+w.uiColumns, e.columns) << i;
    EXPECT_EQ(+w.uiRows, e.rows) << i;
    EXPECT_EQ(+w.siDisplayMin, e.min) << i;
    EXPECT_EQ(+w.siDisplayMax, e.max) << i;
    EXPECT_EQ(+w.uiNominal, e.nominal) << i;
    EXPECT_EQ(+w.uiNominalFlag, e.flag) << i;
  }
  gSelfRef[0] = 0x1234;
  gSelfRef[4] = 0xABCD;
  Bytes out(16, 0xEE);
  ASSERT_EQ(GetWatchData(5, out.data(), 16), 0u);
  EXPECT_EQ(out, Bytes({0x34, 0x12, 0, 0, 0, 0, 0, 0, 0xCD, 0xAB, 0, 0, 0, 0, 0, 0}))
      << "10 bytes of the array, the rest zero";
  EXPECT_EQ(GetWatchData(6, out.data(), 2), 2u);
  EXPECT_EQ(GetWatchData(0, out.data(), 0), 0u);

  gstAfeCaps.uwSenNum = 1000;  // 3000 nodes: no entries
  InitWatchData();
  EXPECT_EQ(GetWatchDataNum(), 0u);
  EXPECT_EQ(GetWatchDataList(list), 2u);
}

TEST_F(ReportPackTest, WatchListLimits) {
  uint16_t data[2] = {1, 2};
  for (uint32_t i = 0; i < WATCH_LIST_MAX; ++i) {
    ASSERT_EQ(AddWatchData(data, 1, ("w" + std::to_string(i)).c_str(), 1, 4, 2, 1, 0, 9, 0, 0), 0);
  }
  EXPECT_EQ(AddWatchData(data, 1, "one too many", 1, 4, 2, 1, 0, 9, 0, 0), -1);
  ClearWatch();
  char name[WATCH_NAME_BYTES];
  std::memset(name, 'n', sizeof(name));
  EXPECT_EQ(AddWatchData(data, 1, name, 1, 4, 2, 1, 0, 9, 0, 0), -2);
  EXPECT_EQ(AddWatchData(data, 1, nullptr, 1, 4, 2, 1, 0, 9, 0, 0), -2);
  EXPECT_EQ(GetWatchDataNum(), 0u);
  name[WATCH_NAME_BYTES - 1] = '\0';
  EXPECT_EQ(AddWatchData(data, 1, name, 1, 4, 2, 1, 0, 9, 0, 0), 0);
}

// ---- Traces ----------------------------------------------------------------------------------

struct TraceCall {
  uint32_t kind;
  Bytes record;
};
std::vector<TraceCall> gTraces;
void RecordTrace(uint32_t kind, uint8_t* record, uint32_t size) { gTraces.push_back({kind, Bytes(record, record + size)}); }

TEST_F(ReportPackTest, TraceRecords) {
  gTraces.clear();
  TraceRectangle(1, 2, 3, 4, 5, 6);
  EXPECT_TRUE(gTraces.empty()) << "no trace callback";
  ASSERT_EQ(SetTraceDataCallback(&RecordTrace), 0u);
  TraceRectangle(1, 2, 3, 4, 5, 6);
  TraceEllipse(1, 2, 3, 4, 5, 6, 7);
  const uint64_t nodes[2] = {0x1122334455667788ull, 9};
  TraceNodes(10, 20, nodes, 2);
  TraceOutline(30, 40, nodes, 1);
  std::vector<uint64_t> many(TRACE_NODES_MAX + 1, 1);
  TraceNodes(1, 2, many.data(), TRACE_NODES_MAX + 1);
  TraceOutline(1, 2, many.data(), TRACE_NODES_MAX);
  ASSERT_EQ(gTraces.size(), 5u);
  EXPECT_EQ(gTraces[0].kind, 1u);
  EXPECT_EQ(gTraces[0].record, ItemEncoder().U32(2).U32(1).U32(3).U32(4).U32(5).U32(6).bytes());
  EXPECT_EQ(gTraces[1].kind, 3u);
  EXPECT_EQ(gTraces[1].record, ItemEncoder().U32(2).U32(1).U32(3).U32(4).U32(5).U32(6).U32(7).bytes());
  EXPECT_EQ(gTraces[2].kind, 2u);
  EXPECT_EQ(gTraces[2].record, ItemEncoder().U32(20).U32(10).U32(2).U64(nodes[0]).U64(9).bytes());
  EXPECT_EQ(gTraces[3].kind, 4u);
  EXPECT_EQ(gTraces[3].record, ItemEncoder().U32(40).U32(30).U32(1).U64(nodes[0]).bytes());
  EXPECT_EQ(gTraces[4].kind, 4u);
  EXPECT_EQ(gTraces[4].record.size(), 12u + 8u * TRACE_NODES_MAX) << "401 nodes called nothing; 400 go through";
}

}  // namespace
