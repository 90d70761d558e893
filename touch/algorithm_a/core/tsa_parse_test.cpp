// Raw controller frames built byte by byte (header, checksum, sections, end index) through
// the parser and through the module API's raw-frame entry.
#include "tsa_parse.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "ferx_syslog_capture_test.h"
#include "framework.h"
#include "signal_proc.h"
#include "tsa_common.h"
#include "tsa_custdbg.h"
#include "tsa_debug.h"
#include "tsa_frame_links.h"
#include "tsa_frame_test_util.h"
#include "tsa_memory.h"
#include "tsa_pack.h"
#include "tsa_report.h"
#include "tsa_fwpkt.h"
#include "tsa_scramble.h"
#include "raw_frame_bytes_test.h"
#include "tsa_state.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t kDrv = 6;
constexpr uint8_t kSen = 8;
constexpr uint8_t kFreq = 2;
constexpr uint32_t kNodes = kDrv * kSen;

using fxtest::PutU16;
using fxtest::RawFrame;
using fxtest::U16s;

[[maybe_unused]] const bool kScrambleBound = (fxtest::gRawFrameScramble = ferx_encrypt, true);

std::vector<uint16_t> Ramp(uint32_t n, uint16_t start) {
  std::vector<uint16_t> v(n);
  for (uint32_t i = 0; i < n; ++i) v[i] = static_cast<uint16_t>(start + 37 * i);
  return v;
}

bool Logged(const std::string& what) {
  for (const auto& l : fxtest::SysLogCapture::lines()) {
    if (l.find(what) != std::string::npos) return true;
  }
  return false;
}

class ParseTest : public ::testing::Test {
 protected:
  uint16_t mutual[kFerrantMaxNodes] = {};
  uint16_t self[kDrv + kSen] = {};
  uint16_t im[kFreq * kSen] = {};
  uint8_t rx[kRxNoiseInfoBytes] = {};
  uint8_t head[kParseHeadBytes] = {};
  AdcSatGroup heads[3] = {};
  uint8_t cmdBak[kMemThpCmdBakBytes] = {};
  uint8_t headBak[kMemFrameHeadBakBytes] = {};
  uint8_t* savedCmdBak = nullptr;
  uint8_t* savedHeadBak = nullptr;
  fxtest::SysLogCapture log;

  void SetUp() override {
    savedCmdBak = gpubThpCmdBak;
    savedHeadBak = gpubFrameHeadInfoBak;
    gpubThpCmdBak = cmdBak;
    gpubFrameHeadInfoBak = headBak;
    gubDataRecordStartCnt = 0;
  }
  void TearDown() override {
    gpubThpCmdBak = savedCmdBak;
    gpubFrameHeadInfoBak = savedHeadBak;
  }
  uint32_t Parse(Bytes frame, uint32_t length) {
    FrameParseInput in = {length, kFreq, kDrv, kSen, frame.data()};
    FrameParseTargets t = {&heads[0], mutual, &heads[1], self, &heads[2], im, rx, head};
    return ParseFramedata(&in, &t);
  }
  uint32_t Parse(const Bytes& frame) { return Parse(frame, static_cast<uint32_t>(frame.size())); }
};

// One table of whole-frame outcomes: each case starts from a valid mutual frame.
struct FrameCase {
  const char* name;
  std::function<void(RawFrame*)> build;
  std::function<void(Bytes*)> damage;
  uint32_t expect;
  const char* message;
  bool sectionsWritten;
};

TEST_F(ParseTest, FrameChecksTable) {
  const auto fixSum = [](Bytes* b) { RawFrame::Checksum(b); };
  const std::vector<FrameCase> cases = {
      {"valid", nullptr, nullptr, kParseOk, nullptr, true},
      {"checksum off by one", nullptr, [](Bytes* b) { (*b)[12] ^= 1; }, kParseRejected, "frame checksum error", false},
      {"data length 13", nullptr,
       [&](Bytes* b) {
         (*b)[6] = 13;
         (*b)[7] = 0;
         fixSum(b);
       },
       kParseShortData, "frame DataLen error, len: 13", false},
      {"data length past the end", nullptr,
       [&](Bytes* b) {
         const uint16_t len = static_cast<uint16_t>(b->size() + 2);
         (*b)[6] = static_cast<uint8_t>(len & 0xFF);
         (*b)[7] = static_cast<uint8_t>(len >> 8);
         fixSum(b);
       },
       kParseRejected, "frame DataLen error", false},
      {"end index differs", nullptr, [](Bytes* b) { b->back() ^= 0x01; }, kParseRejected, "uwFrameIndex error", false},
      {"state 0", [](RawFrame* f) { f->state = 0; }, nullptr, kParseRejected, "frame ubState: 0", false},
      {"state 2 all-zero raw head", [](RawFrame* f) { f->mutual.assign(kNodes, 0); }, nullptr, kParseRejected,
       "puwRawData error, puwRawData[0]: 0", true},
      {"state 4 all-zero raw head", [](RawFrame* f) {
         f->state = 4;
         f->mutual.assign(kNodes, 0);
       },
       nullptr, kParseOk, nullptr, true},
      {"sections longer than the data length", nullptr,
       [&](Bytes* b) {
         (*b)[2] |= kParseSecIq;
         fixSum(b);
       },
       kParseRejected, "need", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fxtest::SysLogCapture::Clear();
    for (uint32_t i = 0; i < kNodes; ++i) mutual[i] = 0xEEEE;
    RawFrame f;
    f.mutual = Ramp(kNodes, 100);
    if (c.build) c.build(&f);
    Bytes b = f.Build();
    if (c.damage) c.damage(&b);
    EXPECT_EQ(Parse(b), c.expect);
    if (c.message != nullptr) {
      EXPECT_TRUE(Logged(c.message));
    }
    // The header is copied whatever the outcome.
    EXPECT_EQ(0, memcmp(head, b.data(), kParseHeadBytes));
    const std::vector<uint16_t> got(mutual, mutual + kNodes);
    if (c.sectionsWritten) {
      EXPECT_EQ(got, f.mutual);
    } else {
      EXPECT_EQ(got, std::vector<uint16_t>(kNodes, 0xEEEE));
    }
  }
}

TEST_F(ParseTest, FrameShorterThanHeaderIsRefusedWithoutReading) {
  RawFrame f;
  f.mutual = Ramp(kNodes, 100);
  const Bytes b = f.Build();
  EXPECT_EQ(Parse(Bytes(b.begin(), b.begin() + 10)), kParseRejected);
  EXPECT_TRUE(Logged("shorter than its header"));
  EXPECT_EQ(Parse(Bytes(), 0), kParseRejected);
}

TEST_F(ParseTest, UnknownStateSkipsSectionsAndKeepsEarlierRaw) {
  RawFrame f;
  f.mutual = Ramp(kNodes, 100);
  ASSERT_EQ(Parse(f.Build()), kParseOk);
  f.state = 7;
  f.mutual = Ramp(kNodes, 5000);
  EXPECT_EQ(Parse(f.Build()), kParseOk);
  EXPECT_TRUE(Logged("error ubState: 7"));
  EXPECT_EQ(std::vector<uint16_t>(mutual, mutual + kNodes), Ramp(kNodes, 100));
}

TEST_F(ParseTest, EverySectionLandsInItsBuffer) {
  RawFrame f;
  f.mutual = Ramp(kNodes, 100);
  f.self = Ramp(kDrv + kSen, 2000);
  f.im = Ramp(kFreq * kSen, 3000);
  f.rxNoise.resize(kRxNoiseInfoBytes);
  for (uint32_t i = 0; i < kRxNoiseInfoBytes; ++i) f.rxNoise[i] = static_cast<uint8_t>(i * 7 + 1);
  f.sectionHead = {0x01, 0x00, 0x02, 0x00, 0x03, 0x00};
  ASSERT_EQ(Parse(f.Build()), kParseOk);
  EXPECT_EQ(std::vector<uint16_t>(mutual, mutual + kNodes), f.mutual);
  EXPECT_EQ(std::vector<uint16_t>(self, self + kDrv + kSen), f.self);
  EXPECT_EQ(std::vector<uint16_t>(im, im + kFreq * kSen), f.im);
  EXPECT_EQ(Bytes(rx, rx + kRxNoiseInfoBytes), f.rxNoise);
  for (const auto& h : {heads[0], heads[1], heads[2]}) {
    EXPECT_EQ(static_cast<uint32_t>(h.uiValue), 0x00020001u);
    EXPECT_EQ(static_cast<uint32_t>(h.uwWord), 3u);
  }
}

TEST_F(ParseTest, IqSectionGivesAmplitudesAndDeinterleavedPairs) {
  RawFrame f;
  f.state = 2;
  for (uint32_t i = 0; i < kNodes; ++i) {
    f.iq.push_back(static_cast<int16_t>(300 + 11 * i));
    f.iq.push_back(static_cast<int16_t>(-400 + 5 * i));
  }
  f.iq[0] = -32768;  // the largest magnitude a pair can have
  f.iq[1] = -32768;
  ASSERT_EQ(Parse(f.Build()), kParseOk);
  for (uint32_t i = 0; i < kNodes; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(gpswIBuffer[i], f.iq[2 * i]);
    EXPECT_EQ(gpswQBuffer[i], f.iq[2 * i + 1]);
    const double mag = std::hypot(static_cast<double>(f.iq[2 * i]), static_cast<double>(f.iq[2 * i + 1]));
    // The CORDIC magnitude is within 0.05 % of the true one, truncated.
    EXPECT_NEAR(mutual[i], mag, 1.0 + mag * 0.0005);
  }
  EXPECT_EQ(static_cast<uint32_t>(heads[0].uwWord), 0x6655u);
}

TEST_F(ParseTest, NodeCountAboveLimitIsRefused) {
  RawFrame f;
  f.mutual = {1, 2, 3};
  Bytes b = f.Build();
  FrameParseInput in = {static_cast<uint32_t>(b.size()), kFreq, 255, 255, b.data()};
  FrameParseTargets t = {&heads[0], mutual, &heads[1], self, &heads[2], im, rx, head};
  EXPECT_EQ(ParseFramedata(&in, &t), kParseRejected);
  EXPECT_TRUE(Logged("above the limit"));
}

TEST_F(ParseTest, HeaderBackupCommandBackupAndRecordState) {
  RawFrame f;
  f.mutual = Ramp(kNodes, 100);
  f.index = 0x1234;
  const Bytes b = f.Build();
  cmdBak[10] = 0x99;
  gubDataRecordStartCnt = kDataRecordCapture;
  ASSERT_EQ(Parse(b, static_cast<uint32_t>(b.size())), kParseOk);
  EXPECT_EQ(0, memcmp(headBak, b.data(), kParseHeadBytes));
  uint32_t len = 0;
  memcpy(&len, headBak + kParseHeadBytes, sizeof(len));
  EXPECT_EQ(len, b.size());
  EXPECT_EQ(cmdBak[198], 0x34);
  EXPECT_EQ(cmdBak[10], 0);  // not kept: the backup starts afresh
  EXPECT_EQ(gubDataRecordStartCnt, kDataRecordDone);
  // A bad checksum still advances the record state.
  Bytes bad = b;
  bad[12] ^= 0xFF;
  EXPECT_EQ(Parse(bad), kParseRejected);
  EXPECT_EQ(gubDataRecordStartCnt, kDataRecordOff);
}

TEST_F(ParseTest, IqHelpersRefuseNullAndConvert) {
  const int16_t iq[] = {3, 4, -6, 8, 0, 0};
  uint16_t out[3] = {};
  IqToRawDataBySqrt(iq, 3, out);
  EXPECT_EQ(out[0], 5);
  EXPECT_EQ(out[1], 10);
  EXPECT_EQ(out[2], 0);
  IqToRawDataBySqrt(nullptr, 3, out);
  EXPECT_TRUE(Logged("swIqData or puwRawData is NULL"));
  TpcIqRecord rec = {0, 1, 3, iq};
  uint16_t out2[3] = {};
  uint16_t* p = out2;
  TpcIQToRawData(&rec, &p);
  EXPECT_EQ(std::vector<uint16_t>(out2, out2 + 3), std::vector<uint16_t>(out, out + 3));
  fxtest::SysLogCapture::Clear();
  uint16_t* none = nullptr;
  TpcIQToRawData(&rec, &none);
  EXPECT_TRUE(Logged("MutualIqBuf or MutualRawData is NULL"));
  int16_t* slots[2] = {};
  TpdGetIqData(slots);
  EXPECT_EQ(slots[0], gpswIBuffer);
  EXPECT_EQ(slots[1], gpswQBuffer);
  EXPECT_EQ(TpdGetLineBufferAddr(), gpubLineBuffer);
}

// The module API's raw-frame entry over the module's records.
class RawFrameApiTest : public ParseTest {
 protected:
  uint16_t raw[kFerrantMaxNodes] = {};
  uint16_t ref[kFerrantMaxNodes] = {};
  int16_t diff[kFerrantMaxNodes] = {};
  uint16_t selfRaw[kDrv + kSen] = {};
  uint16_t imRaw[kFreq * kSen] = {};

  void SetUp() override {
    ParseTest::SetUp();
    frame_test::BindSmallPanel(kDrv, kSen, raw, ref, diff, selfRaw, imRaw);
    gstStateMachine.ullRequest = 0;
    gstApp.ubApp = kAppFinger;
    gstApp.ubFlags = 0;
    gboThpFirstFrame = 1;
    ResetFrameData();
    ResetFrameAssistData();
    ResetExtendData();
    memset(&gstTamrelCoord, 0xA5, sizeof(gstTamrelCoord));
  }
  void TearDown() override {
    memset(&gstCommon, 0, sizeof(gstCommon));
    ParseTest::TearDown();
  }
};

TEST_F(RawFrameApiTest, GoodFrameRunsAndFillsTheModuleRecords) {
  RawFrame f;
  f.index = 2;
  f.mutual = Ramp(kNodes, 100);
  f.self = Ramp(kDrv + kSen, 2000);
  f.im = Ramp(kFreq * kSen, 3000);
  f.rxNoise.assign(kRxNoiseInfoBytes, 0x5C);
  f.sectionHead = {0x11, 0x22, 0x05, 0x00, 0x55, 0x66};  // mutual saturation count 5
  Bytes b = f.Build();
  const Bytes given = b;
  gstCommon.uwScanPeriod = 8000;
  ASSERT_EQ(TsaProcessingFrame(b.data(), static_cast<uint32_t>(b.size())), 0u);
  EXPECT_EQ(b, given);  // the caller's frame is not changed
  EXPECT_EQ(std::vector<uint16_t>(selfRaw, selfRaw + kDrv + kSen), f.self);
  EXPECT_EQ(std::vector<uint16_t>(imRaw, imRaw + kFreq * kSen), f.im);
  EXPECT_EQ(0, memcmp(gstFrameReportInfo.aubFrameHead, b.data(), kParseHeadBytes));
  EXPECT_EQ(static_cast<uint32_t>(gstTsaFrameHead.uwFrameIndex), 2u);
  EXPECT_EQ(static_cast<uint32_t>(gstAdcSatCnt.stSelf.uwWord), 0x6655u);
  EXPECT_EQ(static_cast<uint32_t>(gstCommon.uwLastFrameIndex), 2u);
  EXPECT_EQ(static_cast<uint32_t>(gstCommon.ubMissingFrame), 0u);  // index 1 -> 2, count below 1500
  EXPECT_EQ(static_cast<uint32_t>(gstStateMachine.uiState), 2u);
  EXPECT_EQ(static_cast<uint32_t>(gstCommon.ubIdleAutoWake), 1u);  // scan byte 4: bit 2
  EXPECT_EQ(gboThpFirstFrame, 0u);
  EXPECT_EQ(0, memcmp(headBak + kParseHeadBytes + 4, f.rxNoise.data(), kRxNoiseInfoBytes));
  EXPECT_EQ(0, memcmp(gstTamrelCoord.aubDebugCopy, gstTamrelDebugStateInfo, sizeof(gstTamrelCoord.aubDebugCopy)));
  const TsaParsedFrame* p = GetTsaParsedFrame();
  EXPECT_EQ(p->stData.uwFrameIndex, 2u);
  EXPECT_EQ(p->stData.ubFrameStatus, 2u);
  EXPECT_EQ(p->stData.uwScanRate, 124u);  // 2 x (500000 / 8000)
  EXPECT_EQ(p->stData.uiStatus, 2u);
  EXPECT_EQ(p->stData.uiRequest, static_cast<uint32_t>(gstStateMachine.ullRequest));
  EXPECT_EQ(p->stData.uwMutualFreqA, static_cast<uint16_t>(gstMutualCfgBak.uwFreq));
  EXPECT_EQ(p->stData.uwMutualDuration, static_cast<uint16_t>(gstMutualCfgBak.uwFreqWord));
  EXPECT_EQ(p->stData.uwMutualFreqAIndex, b[8]);
  EXPECT_EQ(p->stData.pStylusData, nullptr);
  EXPECT_EQ(p->stData.puwMutualData, raw);
  EXPECT_EQ(p->stExtend.puwMutualRefData, ref);
  ResetFrameData();
  EXPECT_EQ(GetTsaParsedFrame()->stData.puwMutualData, nullptr);
  EXPECT_EQ(GetTsaParsedFrame()->stExtend.puwMutualRefData, ref);
  ResetExtendData();
  EXPECT_EQ(GetTsaParsedFrame()->stExtend.puwMutualRefData, nullptr);
}

TEST_F(RawFrameApiTest, BadFramesFailWithFour) {
  RawFrame f;
  f.mutual = Ramp(kNodes, 100);
  Bytes b = f.Build();
  b[12] ^= 1;
  EXPECT_EQ(TsaProcessingFrame(b.data(), static_cast<uint32_t>(b.size())), 4u);
  EXPECT_TRUE(Logged("Framedata process fail..."));
  EXPECT_EQ(TsaProcessingFrame(nullptr, 0), 4u);
  Bytes good = f.Build();
  EXPECT_EQ(TsaProcessingFrame(good.data(), static_cast<uint32_t>(good.size() - 1)), 4u);
  EXPECT_EQ(raw[0], 0u);  // nothing unpacked from any of them
}

TEST_F(RawFrameApiTest, PreviousStateIsKeptAndAGameOnlyFrameOnlyLogsItsMatch) {
  gstStateMachine.uiState = 1;
  RawFrame f;
  f.index = 2;
  f.state = 2;
  f.mutual = Ramp(kNodes, 100);
  Bytes b = f.Build();
  ASSERT_EQ(TsaProcessingFrame(b.data(), static_cast<uint32_t>(b.size())), 0u);
  EXPECT_EQ(gstStateMachine.uiState, 2u);
  EXPECT_EQ(gstStateMachine.uiPrevState, 1u);

  // A game-only frame: the state matching is logged, and nothing of the matching runs (the
  // mismatch counter it would clear stays).
  gubStateNotMatchCnt = 2;
  f.index = 3;
  f.state = 3;
  b = f.Build();
  ASSERT_EQ(TsaProcessingFrame(b.data(), static_cast<uint32_t>(b.size())), 0u);
  EXPECT_EQ(gstStateMachine.uiState, 3u);
  EXPECT_EQ(gstStateMachine.uiPrevState, 2u);
  EXPECT_TRUE(Logged("state matching 7-finger_only_game"));
  EXPECT_EQ(gubStateNotMatchCnt, 2u);

  f.index = 4;
  f.state = 2;
  b = f.Build();
  ASSERT_EQ(TsaProcessingFrame(b.data(), static_cast<uint32_t>(b.size())), 0u);
  EXPECT_EQ(gstStateMachine.uiPrevState, 3u);
}

TEST_F(RawFrameApiTest, StateFourStopsAfterParsing) {
  RawFrame f;
  f.state = 4;
  f.index = 9;
  f.mutual = Ramp(kNodes, 100);
  Bytes b = f.Build();
  ASSERT_EQ(TsaProcessingFrame(b.data(), static_cast<uint32_t>(b.size())), 0u);
  EXPECT_EQ(raw[1], f.mutual[1]);
  EXPECT_EQ(static_cast<uint32_t>(gstCommon.uwLastFrameIndex), 1u);  // no frame-index rule
  EXPECT_EQ(gboThpFirstFrame, 1u);
}

}  // namespace
