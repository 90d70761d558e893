// Frame entry: decoded frames built byte by byte at the offsets the HAL module lays out.
#include "tsa_frame.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <vector>

#include "decoded_frame_bytes_test.h"
#include "framework.h"
#include "region.h"
#include "signal_proc.h"
#include "tsa_common.h"
#include "tsa_ctrl.h"
#include "tsa_debug.h"
#include "tsa_frame_links.h"
#include "tsa_frame_test_util.h"
#include "tsa_fwpkt.h"
#include "tsa_memory.h"
#include "tsa_report.h"
#include "tsa_state.h"

namespace {

using Bytes = std::vector<uint8_t>;

uint64_t gullNow;
uint64_t FakeClock() { return gullNow; }

using fxtest::FrameBytes;

constexpr uint8_t kDrv = 4;
constexpr uint8_t kSen = 6;
constexpr uint32_t kNodes = kDrv * kSen;

class FrameEntryTest : public ::testing::Test {
 protected:
  uint16_t raw[kFerrantMaxNodes] = {};
  uint16_t ref[kFerrantMaxNodes] = {};
  int16_t diff[kFerrantMaxNodes] = {};
  uint16_t selfRaw[kDrv + kSen] = {};
  uint16_t im[kSen * 2] = {};
  int16_t frameMutual[kFerrantMaxNodes] = {};
  int16_t frameSelf[kDrv + kSen] = {};
  int16_t frameIm[kSen * 2] = {};
  int16_t frameKb[kFerrantMaxNodes] = {};
  uint8_t cmdBak[kMemThpCmdBakBytes] = {};
  uint8_t headBak[kMemFrameHeadBakBytes] = {};
  uint8_t* savedCmdBak = nullptr;
  uint8_t* savedHeadBak = nullptr;
  uint16_t index = 2;

  void SetUp() override {
    savedCmdBak = gpubThpCmdBak;
    savedHeadBak = gpubFrameHeadInfoBak;
    gpubThpCmdBak = cmdBak;
    gpubFrameHeadInfoBak = headBak;
    frame_test::BindSmallPanel(kDrv, kSen, raw, ref, diff, selfRaw, im);
    memset(&gstNormalize, 0, sizeof(gstNormalize));
    memset(&gstKBBakSta, 0, sizeof(gstKBBakSta));
    memset(&gstNormCheckInfo, 0, sizeof(gstNormCheckInfo));
    memset(gpuwMutualRefDataBak, 0, sizeof(gpuwMutualRefDataBak));
    memset(&gstResultBeautyCfg, 0, sizeof(gstResultBeautyCfg));
    gstStateMachine.ullRequest = 0;
    gstApp.ubApp = kAppFinger;
    gstApp.ubFlags = 0;
    gubSuspendSta = 1;
    gubReceiveRefFlag = 0;
    gboThpFirstFrame = 1;
    gubNotReportFlag = 0;
    gubCurNoiseIndexBak = 0;
    gubFreqSyncMissCnt = 0;
    gubReportRestartSta = 0;
    gboWakeRefRestored = 0;
    gubFpOneClickSta = 0;
    guiIsFWakeCheckNcln = 0;
    // The power-on reference exists, so normal frames run their whole stage list.
    gstCommon.ubPowerOnRefReady = 1;
    gullTickTime = 0;
    gstCmdFifoVar = {};
    for (uint32_t i = 0; i < kFerrantMaxNodes; ++i) frameMutual[i] = static_cast<int16_t>(1000 + i);
    for (uint32_t i = 0; i < kNodes; ++i) diff[i] = static_cast<int16_t>(i - 10);
    TsaDebugResetForTest();
    gullNow = 10000000;
    TsaBindClock(FakeClock);
  }
  void TearDown() override {
    TsaBindClock(nullptr);
    gpubThpCmdBak = savedCmdBak;
    gpubFrameHeadInfoBak = savedHeadBak;
    memset(&gstCommon, 0, sizeof(gstCommon));
  }

  // A normal finger frame of the next index.
  FrameBytes Finger() {
    FrameBytes b;
    b.U8(80, 0x00).U8(84, 4).U16(88, index++).U16(104, 0x1234).U8(114, 0).U8(116, DECODED_FRAME_TYPE_NORMAL);
    b.U8(fxtest::kFrameColumnsAt, kSen).U8(fxtest::kFrameRowsAt, kDrv);
    b.Ptr(124, frameMutual).Ptr(132, frameSelf).Ptr(211, frameIm).Ptr(247, frameKb);
    b.U16(209, sizeof(frameIm)).U16(245, sizeof(frameKb));
    return b;
  }
  uint32_t Run(const FrameBytes& b) {
    DecodedFrame f = b.Frame();
    return TsaUpdateFrameData(&f);
  }
  std::vector<Bytes> Requests() {
    std::vector<Bytes> v;
    for (const auto& r : frame_test::QueuedRequests()) v.push_back(frame_test::RequestHead(r));
    return v;
  }
  void TakeReference() {
    ASSERT_EQ(Run(Finger().U8(80, 0x01)), kFrameRefTaken);
    TsaDebugResetForTest();
  }
};

const Bytes kRefWanted = {1, 0, 0, 0, 7, 0, 0, 0, 5, 0xD1, 1, 0xD7, 0x00};
const Bytes kRefDone = {1, 0, 0, 0, 7, 0, 0, 0, 5, 0xD1, 0, 0xD6, 0x00};

TEST_F(FrameEntryTest, ReferenceHandshakeAfterResume) {
  const uint16_t uwRunsBefore = gstCommon.uwFrameCounter;
  EXPECT_EQ(Run(Finger()), kFrameNotRun);
  EXPECT_EQ(Requests(), std::vector<Bytes>{kRefWanted});
  EXPECT_EQ(uint16_t{gstCommon.uwFrameCounter}, uwRunsBefore);
  EXPECT_EQ(gubReportRestartSta, 2);

  TsaDebugResetForTest();
  EXPECT_EQ(Run(Finger().U8(80, 0x01)), kFrameRefTaken);
  EXPECT_EQ(Requests(), std::vector<Bytes>{kRefDone});
  EXPECT_EQ(gubReceiveRefFlag, 1);
  EXPECT_EQ(gubReportRestartSta, 0);
  EXPECT_EQ(gpuwMutualRefDataBak[3], 1003);  // a reference frame fills the reference backup
  EXPECT_EQ(gstTsaFrameHead.ubFwState, 240);

  TsaDebugResetForTest();
  EXPECT_EQ(Run(Finger()), kFrameRan);
  EXPECT_TRUE(Requests().empty());
  EXPECT_EQ(uint16_t{gstCommon.uwFrameCounter}, uwRunsBefore + 1);
  // The stage runner's own record: the FINGER list, walked slot after slot to its end.
  const AppStage* const ppRan = gstApp.ppList;
  EXPECT_EQ(ppRan, gppAPP_FINGERList);
  EXPECT_EQ(uint16_t{gstApp.uwStageCount}, kFingerListSlots);
  EXPECT_EQ(uint16_t{gstApp.uwStageIndex}, kFingerListSlots);
  EXPECT_EQ(gboThpFirstFrame, 0);
  EXPECT_EQ(raw[5], 1005);
  // The diff data go back in the frame's mutual buffer.
  EXPECT_EQ(memcmp(frameMutual, diff, kNodes * sizeof(int16_t)), 0);
  EXPECT_EQ(frameMutual[kNodes], static_cast<int16_t>(1000 + kNodes));
}

TEST_F(FrameEntryTest, FrameHeadAndStateDecoding) {
  struct Case {
    uint8_t flags;
    uint32_t state;
    uint32_t code;
  };
  const Case cases[] = {
      {0x00, 2, kFrameNotRun}, {0x20, 3, kFrameNotRun}, {0x40, 3, kFrameNotRun}, {0x70, 3, kFrameNotRun},
      {0x10, 1, kFrameNotRun}, {0x11, 1, kFrameNotRun}, {0x0C, 2, kFrameNotRun}, {0x01, 240, kFrameRefTaken},
  };
  for (const Case& c : cases) {
    gubReceiveRefFlag = 0;
    EXPECT_EQ(Run(Finger().U8(80, c.flags)), c.code) << int(c.flags);
    EXPECT_EQ(gstStateMachine.uiState, c.state) << int(c.flags);
    EXPECT_EQ(gstTsaFrameHead.ubFwState, c.state) << int(c.flags);
  }
  EXPECT_EQ(gstTsaFrameHead.ubMarker, 0x80);
  EXPECT_EQ(gstTsaFrameHead.ubDataType, 4);
  EXPECT_EQ(uint16_t{gstTsaFrameHead.uwFrameWord}, 0x1234);
  EXPECT_EQ(uint16_t{gstTsaFrameHead.uwFrameIndex}, index - 1);
  // The head backup holds the head as the frame filled it, then the length word.
  EXPECT_EQ(headBak[0], 0x80);
  EXPECT_EQ(headBak[4] | (headBak[5] << 8), index - 1);
  EXPECT_EQ(headBak[6] | (headBak[7] << 8), 0x1234);
  EXPECT_EQ(headBak[14] | headBak[15] | headBak[16] | headBak[17], 0);

  struct Scan {
    uint8_t mode, swapped, autoWake, frameState;
  };
  for (const Scan& s : {Scan{2, 4, 1, 0}, Scan{4, 2, 0, 2}}) {
    Run(Finger().U8(84, s.mode));
    EXPECT_EQ(gstTsaFrameHead.ubScanMode, s.swapped);
    EXPECT_EQ(gstCommon.ubIdleAutoWake, s.autoWake);
    EXPECT_EQ(gubFrameState, s.frameState);
  }
}

TEST_F(FrameEntryTest, RefusedFrames) {
  struct Case {
    const char* name;
    std::function<void(FrameBytes&)> mutate;
  };
  const Case cases[] = {
      {"scan mode 3", [](FrameBytes& b) { b.U8(84, 3); }},
      {"scan mode 0", [](FrameBytes& b) { b.U8(84, 0); }},
      {"data type 5", [](FrameBytes& b) { b.U8(116, 5); }},
      {"raw head all zero", [this](FrameBytes&) { memset(frameMutual, 0, 5 * sizeof(int16_t)); }},
  };
  TakeReference();
  for (const Case& c : cases) {
    FrameBytes b = Finger();
    c.mutate(b);
    const uint16_t runs = gstCommon.uwFrameCounter;
    EXPECT_EQ(Run(b), kFrameRefused) << c.name;
    EXPECT_EQ(uint16_t{gstCommon.uwFrameCounter}, runs) << c.name;
    // The head stays behind even for a refused frame.
    EXPECT_EQ(uint16_t{gstTsaFrameHead.uwFrameIndex}, index - 1) << c.name;
    for (uint32_t i = 0; i < 5; ++i) frameMutual[i] = static_cast<int16_t>(1000 + i);
  }
  EXPECT_EQ(TsaUpdateFrameData(nullptr), kFrameRefused);
  gstCommon.stData.puwRawData = nullptr;
  EXPECT_EQ(Run(Finger()), kFrameRefused);
}

TEST_F(FrameEntryTest, NotResumedCopiesButRunsNothing) {
  gubSuspendSta = 0;
  const uint16_t runs = gstCommon.uwFrameCounter;
  EXPECT_EQ(Run(Finger()), kFrameRan);
  EXPECT_EQ(raw[7], 1007);
  EXPECT_EQ(uint16_t{gstCommon.uwFrameCounter}, runs);
  EXPECT_TRUE(Requests().empty());
}

TEST_F(FrameEntryTest, ImCopyIsBoundedByTheBytesTheFrameCarries) {
  // Two frequencies on a 4 x 6 panel want 12 IM values; the frame carries only 5.
  frame_test::SetFreqTable({1000, 2000});
  for (uint32_t i = 0; i < kSen * 2; ++i) {
    frameIm[i] = static_cast<int16_t>(300 + i);
    im[i] = 0xEEEE;
  }
  gubSuspendSta = 0;
  EXPECT_EQ(Run(Finger().U16(209, 5 * sizeof(int16_t))), kFrameRan);
  for (uint32_t i = 0; i < 5; ++i) EXPECT_EQ(im[i], 300 + i) << i;
  for (uint32_t i = 5; i < kSen * 2; ++i) EXPECT_EQ(im[i], 0) << i;
}

TEST_F(FrameEntryTest, WakeReferenceRestoresTheBackup) {
  for (uint32_t i = 0; i < kNodes; ++i) gpuwMutualRefDataBak[i] = static_cast<uint16_t>(500 + i);
  // The reference frame's own data (first value <= 0) do not overwrite the backup.
  frameMutual[0] = 0;
  EXPECT_EQ(Run(Finger().U8(80, 0x09)), kFrameRefTaken);
  EXPECT_EQ(ref[4], 504);
  EXPECT_EQ(gboWakeRefRestored, 1);
  EXPECT_EQ(gubFpOneClickSta, 1);
  EXPECT_EQ(guiIsFWakeCheckNcln, kNclnMarker);
  EXPECT_EQ(gubFpPointResCnt, 10);
}

TEST_F(FrameEntryTest, FrameIndexRule) {
  struct Case {
    uint16_t last, cur;
    uint16_t satCount;
    uint8_t missingBefore, wantMissing;
    bool wantStop;
  };
  const Case cases[] = {
      {5, 6, 0, 1, 0, false},     {5, 6, 1500, 0, 1, false}, {5, 6, 1499, 1, 0, false},
      {5, 7, 0, 0, 1, false},     {5, 4, 0, 0, 1, false},    {65535, 0, 0, 0, 1, false},
      {65534, 0, 0, 0, 1, false}, {5, 5, 0, 0, 0, true},
  };
  for (const Case& c : cases) {
    gstCommon.uwLastFrameIndex = c.last;
    gstCommon.ubMissingFrame = c.missingBefore;
    gstAdcSatCnt.stMutual.uiValue = static_cast<uint32_t>(c.satCount) << 16;
    gstApp.ubFlags = 0;
    UpdateFrameMissingFlag(c.cur);
    EXPECT_EQ(gstCommon.ubMissingFrame, c.wantMissing) << c.last << "->" << c.cur;
    EXPECT_EQ((gstApp.ubFlags & kAppFlagStop) != 0, c.wantStop) << c.last << "->" << c.cur;
    EXPECT_EQ(uint16_t{gstCommon.uwLastFrameIndex}, c.cur);
  }
}

// The next index is counted without wrapping: 0 after 65535 is taken as a gap, and the
// frame after it is in sequence again.
TEST_F(FrameEntryTest, WrapOfTheFrameIndexCountsAsMissing) {
  TakeReference();
  index = 65534;
  ASSERT_EQ(Run(Finger()), kFrameRan);
  ASSERT_EQ(Run(Finger()), kFrameRan);  // 65535
  EXPECT_EQ(gstCommon.ubMissingFrame, 0);
  index = 0;
  ASSERT_EQ(Run(Finger()), kFrameRan);
  EXPECT_EQ(gstCommon.ubMissingFrame, 1);
  index = 1;
  ASSERT_EQ(Run(Finger()), kFrameRan);
  EXPECT_EQ(gstCommon.ubMissingFrame, 0);
}

TEST_F(FrameEntryTest, RepeatedFrameRunsNoStageButStillSyncs) {
  TakeReference();
  ASSERT_EQ(Run(Finger()), kFrameRan);
  EXPECT_GT(gstApp.uwStageIndex, 0);
  index = static_cast<uint16_t>(index - 1);
  gstStateMachine.ullRequest = kReqFreqScanEnd | kReqFinger16;
  ASSERT_EQ(Run(Finger()), kFrameRan);
  EXPECT_EQ(gstApp.uwStageIndex, 0);  // the runner stopped before the first stage
  EXPECT_EQ(gstStateMachine.ullRequest, 0u);
}

TEST_F(FrameEntryTest, FrequencyMismatchResendsTheSwitch) {
  TakeReference();
  // The firmware samples with index 1, the module wants index 0; N = 2 gives the limit 7.
  std::vector<int> resentAt;
  for (int i = 1; i <= 10; ++i) {
    TsaDebugResetForTest();
    gstCommon.ubFrameSkipped = 0;
    ASSERT_EQ(Run(Finger().U8(114, 1)), kFrameRan);
    EXPECT_EQ(gstCommon.ubFrameSkipped, 1);
    EXPECT_EQ(gubNotReportFlag, 2);
    for (const Bytes& r : Requests()) {
      if (r[9] == 0x9C) {
        EXPECT_EQ(r, (Bytes{1, 0, 0, 0, 7, 0, 0, 0, 5, 0x9C, 0, 0xA1, 0x00}));
        resentAt.push_back(i);
      }
    }
  }
  EXPECT_EQ(resentAt, std::vector<int>{9});
  EXPECT_EQ(uint16_t{gstMutualCfgBak.uwFreq}, 1000);
  // A matching frame clears the count.
  ASSERT_EQ(Run(Finger().U8(114, 0)), kFrameRan);
  EXPECT_EQ(gubFreqSyncMissCnt, 0);
}

TEST_F(FrameEntryTest, EarlyFrequencyChangeSuppressesTheNextReport) {
  struct Case {
    uint16_t frameIndex;
    uint8_t want;
  };
  for (const Case& c : {Case{19, 1}, Case{20, 0}}) {
    gubNotReportFlag = 0;
    gubCurNoiseIndexBak = 0;
    index = c.frameIndex;
    Run(Finger().U8(114, 1).U8(80, 0x10));
    EXPECT_EQ(gubNotReportFlag, c.want) << c.frameIndex;
    EXPECT_EQ(GetCurNoiseIndex(), 1);
  }
}

TEST_F(FrameEntryTest, StateRequestsAnsweredByTheFirmwareState) {
  TakeReference();
  struct Case {
    uint8_t flags;
    uint64_t before, after;
  };
  const Case cases[] = {
      {0x20, kReqFinger14 | kReqFinger15 | kReqFinger16 | kReqFreqScanEnd, kReqFinger16},
      {0x00, kReqFinger14 | kReqFinger16, kReqFinger16},
      {0x00, kReqFinger15 | kReqFinger16 | kReqFreqScanEnd, kReqFinger15},
  };
  for (const Case& c : cases) {
    gstStateMachine.ullRequest = c.before;
    gstApp.ubApp = kAppFreqScan;
    ASSERT_EQ(Run(Finger().U8(80, c.flags)), kFrameRan);
    EXPECT_EQ(gstStateMachine.ullRequest, c.after) << int(c.flags);
    EXPECT_EQ(gstApp.ubApp, kAppFinger);
  }
}

TEST_F(FrameEntryTest, KbCheckFrameAdvancesTheKbStateAndRunsNoStage) {
  TakeReference();
  for (uint32_t i = 0; i < kNodes; ++i) frameKb[i] = static_cast<int16_t>(4096 + i);
  LinkSetU16(gstNormalize.aubData, kNormRecordLen, 48);
  const uint16_t runs = gstCommon.uwFrameCounter;
  // 1000 x 61 / 1000 = 61: the frame was sampled with frequency index 0.
  FrameBytes b = Finger().U8(116, DECODED_FRAME_TYPE_KB_CHECK).U16(86, 61).U32(255, 0xCAFE).U16(259, 7);
  EXPECT_EQ(Run(b), kFrameRan);
  EXPECT_EQ(uint16_t{gstCommon.uwFrameCounter}, runs + 1);
  EXPECT_EQ(gstApp.uwStageIndex, 0);
  EXPECT_EQ(LinkGetU32(gstKBBakSta.aubData, kKbState), 5u);
  EXPECT_EQ(gstKBBakSta.aubData[kKbPendingCheck], 0);
  EXPECT_EQ(gstKBBakSta.aubData[kKbArea1Flags + 0], 1);
  EXPECT_EQ(gstKBBakSta.aubData[kKbCounter1], 1);
  EXPECT_EQ(uint16_t{gstNormCheckInfo.uwFreqCode}, 61);
  EXPECT_EQ(uint32_t{gstNormCheckInfo.uiCheckValue}, 0xCAFEu);
  EXPECT_EQ(gpubKbCheckBuf[2], 0x01);  // 4097 little-endian
  EXPECT_EQ(gpubKbCheckBuf[3], 0x10);
  EXPECT_EQ(memcmp(gpubBarrayCheckBuf, gpubKbCheckBuf, 48), 0);
  // Only the check data are taken from a check frame.
  EXPECT_EQ(raw[0], 0);
}

TEST_F(FrameEntryTest, KbStateAdvancesWithNormalFrames) {
  TakeReference();
  struct Case {
    const char* name;
    uint32_t start;
    uint8_t cond6, reStudy, resetReq;
    bool checkValid;
    int frames;
    uint32_t want;
    uint8_t counter, counterAt;
  };
  const Case cases[] = {
      {"study wait 2", 2, 0, 0, 0, false, 6, 8, 0, kKbCounter3},
      {"study wait 2, five frames", 2, 0, 0, 0, false, 5, 2, 5, kKbCounter3},
      {"study wait 14", 14, 0, 0, 0, false, 6, 20, 0, kKbCounter3},
      // State 7 (19) reaches the normalisation check of the same frame, which asks for the
      // B update of the first frequency not yet updated and waits again in 3 (15).
      {"update wait 3", 3, 0, 0, 0, false, 6, 3, 0, kKbCounter2},
      {"update wait 15", 15, 0, 0, 0, false, 6, 15, 0, kKbCounter2},
      {"idle with restudy", 0, 1, 0, 0, false, 1, 1, 0, kKbCounter3},
      // State 9 meets study values that do not add up to the check value: back to 1.
      {"idle with check values", 0, 0, 0, 0, true, 1, 1, 0, kKbCounter3},
      {"idle 4, five frames", 4, 0, 0, 0, false, 5, 4, 5, kKbCounter4},
      {"idle 4, six frames", 4, 0, 0, 0, false, 6, 4, 0, kKbCounter4},
      {"check wait 5", 5, 0, 0, 0, false, 4, 3, 4, kKbCounter1},
      {"check wait 5, three frames", 5, 0, 0, 0, false, 3, 5, 3, kKbCounter1},
      {"reset request, area 1", 9, 0, 0, 1, false, 1, 8, 0, kKbCounter8},
      {"reset request, area 2", 9, 0, 1, 1, false, 1, 20, 0, kKbCounter8},
  };
  for (const Case& c : cases) {
    memset(&gstKBBakSta, 0, sizeof(gstKBBakSta));
    LinkSetU32(gstKBBakSta.aubData, kKbState, c.start);
    gstKBBakSta.aubData[kKbCondition6] = c.cond6;
    gstNormalize.aubData[kNormReStudyIndex] = c.reStudy;
    for (int i = 0; i < c.frames; ++i) {
      FrameBytes b = Finger().U8(362, c.resetReq);
      if (c.checkValid) b.U32(255, 0x11).U16(259, 0x22);
      ASSERT_EQ(Run(b), kFrameRan) << c.name;
    }
    EXPECT_EQ(LinkGetU32(gstKBBakSta.aubData, kKbState), c.want) << c.name;
    EXPECT_EQ(gstKBBakSta.aubData[c.counterAt], c.counter) << c.name;
  }
  // Check values with a check word are kept in the header's last two fields.
  memset(&gstNormCheckInfo, 0, sizeof(gstNormCheckInfo));
  ASSERT_EQ(Run(Finger().U32(255, 0x11)), kFrameRan);  // no check word: not kept
  EXPECT_EQ(uint32_t{gstNormCheckInfo.uiCheckValue2}, 0u);
  ASSERT_EQ(Run(Finger().U32(255, 0x11).U16(259, 0x22)), kFrameRan);
  EXPECT_EQ(uint16_t{gstNormCheckInfo.uwCheckWord}, 0x22);
  EXPECT_EQ(uint32_t{gstNormCheckInfo.uiCheckValue2}, 0x11u);
}

TEST_F(FrameEntryTest, KbCheckFrameOfTheLargestPanelStaysInTheCheckBuffer) {
  TakeReference();
  gstCommon.ubDrvNum = 52;
  gstCommon.ubSenNum = 56;  // 2912 nodes: 5824 bytes of check data
  gstCommon.uwNodeNum = 2912;
  for (uint32_t i = 0; i < kFerrantMaxNodes; ++i) frameKb[i] = 0x0101;
  FrameBytes b = Finger().U8(116, DECODED_FRAME_TYPE_KB_CHECK).U16(86, 61);
  b.U8(fxtest::kFrameColumnsAt, 56).U8(fxtest::kFrameRowsAt, 52);  // the frame of that panel
  EXPECT_EQ(Run(b), kFrameRan);
  EXPECT_EQ(gpubKbCheckBuf[kKbCheckBufBytes - kKbTrailerBytes - 1], 0x01);
}

TEST_F(FrameEntryTest, RawScalingAndDiffWriteBack) {
  TakeReference();
  gstNormalize.aubData[kNormRawScale] = 1;
  gstResultBeautyCfg.aubData[0] = 0x20;
  diff[0] = 4;
  diff[1] = -3;
  diff[2] = 20000;
  diff[3] = -20000;
  ASSERT_EQ(Run(Finger()), kFrameRan);
  EXPECT_EQ(raw[0], 1000 * 2 / 5 + 6000);
  EXPECT_EQ(raw[1], 1001 * 2 / 5 + 6000);
  EXPECT_EQ(frameMutual[0], 10);
  EXPECT_EQ(frameMutual[1], -7);
  EXPECT_EQ(frameMutual[2], 32767);
  EXPECT_EQ(frameMutual[3], -32768);
}

TEST_F(FrameEntryTest, HeldLockIsBrokenAfterTwentyMilliseconds) {
  TsaBindClock(nullptr);
  ubTpLock.store(1);
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(TsaUpdateFrameData(nullptr), kFrameRefused);
  const auto waited = std::chrono::steady_clock::now() - t0;
  EXPECT_GE(waited, std::chrono::milliseconds(20));
  EXPECT_LT(waited, std::chrono::seconds(2));
  EXPECT_EQ(ubTpLock.load(), 0);
}

TEST_F(FrameEntryTest, TickAndTables) {
  UpdateTickTime();
  EXPECT_EQ(gstCommon.ubTick100ms, 0);
  gullNow += 100000;
  UpdateTickTime();
  EXPECT_EQ(gstCommon.ubTick100ms, 0);
  gullNow += 1;
  UpdateTickTime();
  EXPECT_EQ(gstCommon.ubTick100ms, 1);
  EXPECT_EQ(gullTickTime, 0u);
  gstCommon.ubIdleAutoWake = 1;
  reinterpret_cast<uint8_t*>(&gstTimeCtrlCfg)[8] = 3;
  UpdateTickTime();
  EXPECT_EQ(gstCommon.ubTick100ms, 3);
  reinterpret_cast<uint8_t*>(&gstTimeCtrlCfg)[8] = 0;

  const TsaFrameProcFunc* p = GetTsaFrameProcFunc();
  EXPECT_EQ(p->pfnIdleDelayCheck, &IdleDelayCheck);
  EXPECT_EQ(p->pfnFirstFrameFreqInit, &FirstFrameFreqInit);
  EXPECT_EQ(p->pfnStateRequestSync, &StateRequestSync);
  EXPECT_EQ(p->pfnFwStateMatching, &FwStateMatching);
  EXPECT_EQ(p->pfnFwFreqHopMatching, &FwFreqHopMatching);
  EXPECT_EQ(p->pfnUpdateTickTime, &UpdateTickTime);
  EXPECT_EQ(p->pfnUpdateFrameMissingFlag, &UpdateFrameMissingFlag);
  const TsaFrameDataBakFunc* d = GetTsaFrameDataBakFunc();
  EXPECT_EQ(d->pfnFrameHeadInfoBak, &FrameHeadInfoBak);
  EXPECT_EQ(d->pfnThpCmdBakAppend, &ThpCmdBakAppend);
  EXPECT_EQ(d->pfnThpCmdBakFrameStart, &ThpCmdBakFrameStart);
  EXPECT_EQ(d->pfnThpCmdBakCheckReset, &ThpCmdBakCheckReset);
}

TEST_F(FrameEntryTest, RawFrameSteps) {
  // State requests: the first set bit of 13..16 picks the app.
  struct Req {
    uint64_t before, after;
    uint32_t state;
    uint8_t app;
  };
  const Req reqs[] = {
      {kReqFreqScanEnd | kReqFinger14, kReqFinger14, 2, kAppFreqScan},
      {kReqFreqScanEnd | kReqFinger14, kReqFinger14, 3, kAppFinger},
      {kReqFinger15 | kReqFinger16, kReqFinger16, 2, kAppFinger},
  };
  for (const Req& r : reqs) {
    gstStateMachine.ullRequest = r.before;
    gstApp.ubApp = kAppIdle;
    StateRequestSync(r.state);
    EXPECT_EQ(gstStateMachine.ullRequest, r.after);
    EXPECT_EQ(gstApp.ubApp, r.app);
  }

  // A finger state while another app runs stops the frame; after more mismatches than
  // frequencies in the frequency scan the scan is forced to end.
  gubStateNotMatchCnt = 0;
  gstApp.ubApp = kAppFreqScan;
  gstStateMachine.ullRequest = 0;
  for (int i = 0; i < 3; ++i) {
    gstApp.ubFlags = 0;
    FwStateMatching(2);
    EXPECT_NE(gstApp.ubFlags & kAppFlagStop, 0);
  }
  EXPECT_EQ(gubStateNotMatchCnt, 0);
  EXPECT_NE(gstStateMachine.ullRequest & kReqFinger14, 0u);
  EXPECT_EQ(LinkGetU16(gstNormalize.aubData, kNormScanWord15), 5);

  // First frame: the firmware's frequency becomes the module's.
  TsaFrameHead head{};
  head.ubFwFreqIndex = 1;
  gboThpFirstFrame = 1;
  FirstFrameFreqInit(&head);
  EXPECT_EQ(gstFreqHop.aubData[kFreqHopCurIndex], 1);
  EXPECT_EQ(LinkGetU16(gstFreqHop.aubData, kFreqHopCurFreq), 2000);
  EXPECT_EQ(uint16_t{gstMutualCfgBak.uwFreq}, 2000);
  EXPECT_EQ(gstApp.ubApp, kAppFinger);
  EXPECT_EQ(gboThpFirstFrame, 0);
}

}  // namespace
