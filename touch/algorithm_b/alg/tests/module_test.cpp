// The module interface and the report packing against the module's own records, with a
// recording host table.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "luma_calc.h"
#include "luma_core.h"
#include "host_recorder_test.h"
#include "luma_frame.h"
#include "luma_util.h"

namespace {

class Module : public ::testing::Test {
 protected:
  void SetUp() override {
    Recorder::Reset();
    host_.log = Recorder::Log;
    host_.fingerprint_area = Recorder::Fod;
    host_.driver_request.luma = Recorder::Request;
    host_.register_timer = Recorder::Register;
    host_.report_points = Recorder::Report;
    register_alg_module(&host_);
    g_bLcdOffState = 0;
    std::memset(&g_stSysParam, 0, sizeof(g_stSysParam));
    ASSERT_EQ(alg_module_init(), 0);
    Recorder::logs.clear();
  }
  void TearDown() override { register_alg_module(nullptr); }

  static uint32_t Command(uint8_t cmd, uint16_t mode, std::vector<uint32_t> values, uint32_t start = 0xAAAA) {
    static common_data block;
    std::memset(&block, 0, sizeof(block));
    block.cmd = cmd;
    block.mode = mode;
    block.count = static_cast<uint16_t>(values.size());
    std::copy(values.begin(), values.end(), block.values);
    uint32_t out = start;
    EXPECT_EQ(alg_receive_common_data(&block, &out), 0);
    return out;
  }

  AlgHostCallbacks host_{};
};

TEST_F(Module, InitialisesTheRecords) {
  EXPECT_EQ(g_usAlgVersion, 4011);
  EXPECT_EQ(g_ucBaseState, 0);
  EXPECT_EQ(Recorder::registered, 2);
  EXPECT_EQ(g_stFrmInfo.usNodeNum, 646);
  EXPECT_EQ(g_stFrmInfo.usMaxX, 17407);
  EXPECT_EQ(g_stFrmInfo.usMaxY, 38911);
  EXPECT_EQ(g_usMaxPosX, 19519);
  EXPECT_EQ(g_usMaxPosY, 43391);
  EXPECT_EQ(g_stSysParam.ucGameEdgeLevel, 2);
  EXPECT_EQ(g_stSysParam.ucTemperature, 127);
  EXPECT_EQ(g_stTdParam.ssMcNegThr, -180);
  EXPECT_EQ(g_stTdParam.usJitterLimit, 1000);
  const auto all_ff = [](const void *p, size_t n) {
    const auto *b = static_cast<const uint8_t *>(p);
    return std::all_of(b, b + n, [](uint8_t v) { return v == 0xFF; });
  };
  EXPECT_TRUE(all_ff(g_stTouchData.astPoint, sizeof(LumaPoint) * 30));
  EXPECT_TRUE(all_ff(g_stPeakData.astMcPeakList, sizeof(g_stPeakData.astMcPeakList)));
  EXPECT_TRUE(all_ff(g_stRptInfo, sizeof(g_stRptInfo)));
  EXPECT_EQ(g_stTouchData.astEvent[9].ucEvent, 3);
  EXPECT_EQ(g_stTouchData.astEvent[9].x, 32767u);
}

TEST_F(Module, InitialisationWithoutAHostTableDoesNotCrash) {
  register_alg_module(nullptr);
  EXPECT_EQ(alg_module_init(), 0);
  AlgHostCallbacks empty{};
  register_alg_module(&empty);
  EXPECT_EQ(alg_module_init(), 0);
  doze_check();
  EXPECT_EQ(doze_timer_handler(&doze_timer), -1);
}

// A host registers again after freeing its table: the entry trace of the registration goes
// through the new table, never through the one it replaces.
std::vector<std::string> replaced_lines;
void ReplacedLog(int32_t, const char *, ...) { replaced_lines.emplace_back("line"); }

TEST_F(Module, RegistrationTracesThroughTheNewTable) {
  auto *replaced = new AlgHostCallbacks{};
  replaced->log = ReplacedLog;
  register_alg_module(replaced);
  g_log_level = LMX_LOG_VERBOSE;
  replaced_lines.clear();
  delete replaced;  // the host's table is gone before the host registers again
  Recorder::logs.clear();
  register_alg_module(&host_);
  g_log_level = LMX_LOG_INFO;
  EXPECT_TRUE(replaced_lines.empty());
  EXPECT_TRUE(Recorder::Has("'register_alg_module' enter.")) << Recorder::logs.size();
  EXPECT_TRUE(Recorder::Has("'register_alg_module' leave."));
}

TEST_F(Module, CommandTable) {
  struct Case {
    uint8_t cmd;
    uint16_t mode;
    uint32_t value;
    uint32_t out;
    const char *log;
  };
  const Case cases[] = {
      {0, 0, 0, 1, "GameMode Enable"},
      {0, 1, 3, 0, "DozeTimeSelect=3"},
      {0, 7, 4, 0, "Game Edge Level =4"},
      {0, 8, 3, 0, "+++++++++++++usb direction = 3+++++++++++++++++++++"},
      {0, 10, 2, 0xAAAA, "ModeValue=2,FodEn=0,SuspendFodEnBack=0"},
      {0, 26, 1, 0, "PocketPlamFlag=1"},
      {0, 28, 1, 0, ""},
      {0, 203, 1, 0xAAAA, "Game High Idle En=1"},
      {0, 1010, 1, 0, "Charge State=1"},
      {0, 1094, 40, 0, "Temperature=40"},
      {0, 999, 1, 0xAAAA, ""},
      {6, 55, 0, 1, "GameMode disable"},
      {7, 14, 0, 0xAAAA, ""},
      {9, 0, 0, 0xAAAA, ""},
  };
  for (const Case &c : cases) {
    Recorder::logs.clear();
    EXPECT_EQ(Command(c.cmd, c.mode, {c.value}), c.out) << c.cmd << "/" << c.mode;
    if (c.log[0] != 0) {
      EXPECT_TRUE(Recorder::Has(c.log)) << c.log;
    }
  }
  EXPECT_EQ(g_stSysParam.ucGameMode, 0);  // on, then off by command 6
  EXPECT_EQ(g_ucHostParaUpDateFlg & 1, 1);
  EXPECT_EQ(g_stSysParam.ucGameEdgeLevel, 4);
  EXPECT_EQ(g_stSysParam.ucDispDirection, 3);
  EXPECT_EQ(g_stSysParam.ucPocketPalmFlag, 5);
  EXPECT_EQ(g_stSysParam.ucHiSampleRate, 1);
  EXPECT_EQ(g_stSysParam.ucTemperature, 40);
  // Unknown commands write no message.
  Recorder::logs.clear();
  Command(0, 999, {1});
  Command(9, 0, {1});
  EXPECT_TRUE(Recorder::logs.empty());
}

TEST_F(Module, PhoneModeSeparatesTypingAndCamera) {
  Command(0, 25, {257});
  EXPECT_EQ(g_stSysParam.ucCameraMode, 1);
  EXPECT_EQ(g_ucTypingMode, 0);
  EXPECT_TRUE(Recorder::Has("Enter CameraMode 257"));
  Command(0, 25, {1});
  EXPECT_EQ(g_stSysParam.ucCameraMode, 0);
  EXPECT_EQ(g_ucTypingMode, 1);
  EXPECT_TRUE(Recorder::Has("Phone Mode=1"));
}

TEST_F(Module, FingerprintEnableValues) {
  Command(0, 10, {1});
  EXPECT_EQ(g_stSysParam.ucFodEnable, 2);
  Command(0, 10, {2});
  EXPECT_EQ(g_stSysParam.ucFodEnable, 2);
  Command(0, 10, {0});
  EXPECT_EQ(g_stSysParam.ucFodEnable, 0);
  Command(0, 10, {3});
  EXPECT_EQ(g_ucSuspendFodEnBack, 1);
  // The backup takes effect at suspend.
  EXPECT_EQ(alg_update_suspend_status(true), 0);
  EXPECT_EQ(g_stSysParam.ucFodEnable, 2);
  EXPECT_EQ(g_ucSuspendFodEnBack, 0);
  EXPECT_TRUE(Recorder::Has("Alg Suspend,Last=0 now=1,FodEn=2"));
  alg_update_suspend_status(false);
}

std::vector<uint32_t> EdgeRecord(uint32_t type, uint32_t pos, uint32_t x0, uint32_t y0, uint32_t x1, uint32_t y1) {
  return {type, pos, x0, y0, x1, y1, 0, 0};
}

TEST_F(Module, EdgeZonesFollowTheOrientation) {
  std::vector<uint32_t> words;
  for (const auto &r : {EdgeRecord(0, 0, 0, 0, 40, 60), EdgeRecord(0, 3, 100, 200, 70, 150),
                        EdgeRecord(1, 1, 0, 10, 0, 30), EdgeRecord(1, 2, 5, 0, 20, 0), EdgeRecord(2, 0, 0, 0, 0, 7),
                        EdgeRecord(2, 3, 9, 0, 0, 0), EdgeRecord(3, 0, 0, 0, 99, 99), EdgeRecord(1, 4, 0, 0, 99, 99)}) {
    words.insert(words.end(), r.begin(), r.end());
  }
  EXPECT_EQ(Command(7, 15, words), 0u);
  const int16_t portrait[8] = {9, 7, 15, 20, 40, 60, 30, 50};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(g_stHostEdgePara[i], portrait[i]) << i;
  EXPECT_TRUE(Recorder::Has("type1=0,pos=3,start_x=100,start_y=200,end_x=70,end_y=150,usDistanceX=30,usDistanceY=50"));
  EXPECT_TRUE(Recorder::Has("CorWidthBottom=30,CorHeightBottom=50"));

  // Landscape, connector right: positions 1 and 3 set the top corner pair from (dY, dX).
  std::memset(g_stHostEdgePara, 0, sizeof(g_stHostEdgePara));
  Command(0, 8, {1});
  Command(7, 15, EdgeRecord(0, 3, 0, 0, 11, 22));
  EXPECT_EQ(g_stHostEdgePara[4], 22);
  EXPECT_EQ(g_stHostEdgePara[5], 11);
  // Connector left: the other way round, position 3 is the bottom pair.
  Command(0, 8, {3});
  Command(7, 15, EdgeRecord(0, 3, 0, 0, 33, 44));
  EXPECT_EQ(g_stHostEdgePara[6], 44);
  EXPECT_EQ(g_stHostEdgePara[7], 33);
  EXPECT_EQ(g_stHostEdgePara[4], 22);
  // In landscape the straight zones swap LR and TB.
  Command(7, 15, EdgeRecord(2, 0, 0, 0, 0, 13));
  EXPECT_EQ(g_stHostEdgePara[0], 13);
  // Orientation 2 is landscape but has no corners.
  std::memset(g_stHostEdgePara, 0, sizeof(g_stHostEdgePara));
  Command(0, 8, {2});
  Command(7, 15, EdgeRecord(0, 0, 0, 0, 11, 22));
  for (int16_t v : g_stHostEdgePara) EXPECT_EQ(v, 0);
  // A count of zero still logs the summary.
  Recorder::logs.clear();
  EXPECT_EQ(Command(7, 15, {}), 0u);
  EXPECT_TRUE(Recorder::Has("AbsWidthLR=0,AbsWidthTB=0"));
}

TEST_F(Module, EdgeZoneCountIsBoundedByTheBlock) {
  common_data block{};
  block.cmd = 7;
  block.mode = 15;
  block.count = 0xFFFF;  // claims far more records than the block holds
  uint32_t out = 5;
  EXPECT_EQ(alg_receive_common_data(&block, &out), 0);
  EXPECT_EQ(out, 0u);
  size_t records = 0;
  for (const auto &l : Recorder::logs) records += l.rfind("type", 0) == 0 ? 1 : 0;
  EXPECT_EQ(records, COMMON_DATA_VALUE_COUNT / 8);
}

TEST_F(Module, DozeCheckPeriods) {
  struct Case {
    uint8_t game, high_rate;
    int32_t doze, idle;
  };
  for (const Case &c : {Case{0, 0, 500, 400}, Case{0, 1, 500, 400}, Case{1, 0, 10000, 9900}, Case{1, 1, 20000, 19900}}) {
    Recorder::starts.clear();
    g_stSysParam.ucGameMode = c.game;
    g_stSysParam.ucHiSampleRate = c.high_rate;
    doze_check();
    ASSERT_EQ(Recorder::starts.size(), 2u);
    EXPECT_EQ(Recorder::starts[0], std::make_pair(static_cast<const timer_tool *>(&doze_timer), c.doze));
    EXPECT_EQ(Recorder::starts[1], std::make_pair(static_cast<const timer_tool *>(&idle_baseline_timer), c.idle));
  }
  // A peak, or the controller idling on its own, stops both: idle baseline first.
  for (int which = 0; which < 2; ++which) {
    Recorder::starts.clear();
    Recorder::stops.clear();
    g_stPeakData.ucMcPosPeakNum = which == 0 ? 1 : 0;
    g_stSysParam.ucIcIdleFlag = which == 0 ? 0 : 1;
    doze_check();
    EXPECT_TRUE(Recorder::starts.empty());
    ASSERT_EQ(Recorder::stops.size(), 2u);
    EXPECT_EQ(Recorder::stops[0], &idle_baseline_timer);
    EXPECT_EQ(Recorder::stops[1], &doze_timer);
  }
}

TEST_F(Module, TimerHandlersSendTheDozeRequests) {
  struct Case {
    uint8_t game, high_rate;
    std::vector<uint32_t> payload;
    const char *log;
  };
  const Case cases[] = {{0, 1, {1}, "Enter normal idle"},
                        {1, 1, {0, 390, 100}, "Enter game high idle"},
                        {1, 0, {0, 0, 0}, "Enter game idle"}};
  for (const Case &c : cases) {
    Recorder::requests.clear();
    g_stSysParam.ucGameMode = c.game;
    g_stSysParam.ucHiSampleRate = c.high_rate;
    EXPECT_EQ(doze_timer_handler(&doze_timer), 7);
    ASSERT_EQ(Recorder::requests.size(), 1u);
    EXPECT_EQ(Recorder::requests[0].first, 1u);
    EXPECT_EQ(Recorder::requests[0].second, c.payload);
    EXPECT_TRUE(Recorder::Has(c.log));
  }
  Recorder::requests.clear();
  idle_baseline_timer_handler(&idle_baseline_timer);
  ASSERT_EQ(Recorder::requests.size(), 1u);
  EXPECT_EQ(Recorder::requests[0].first, 2u);
  EXPECT_EQ(Recorder::requests[0].second, std::vector<uint32_t>{1});
}

TEST_F(Module, SuspendReleasesAReportedFingerprintOnce) {
  g_bReportFingDownFlg = 1;
  resume_fod_id = 3;
  g_bFodReportOnePointState = 1;
  alg_update_suspend_status(true);
  alg_update_suspend_status(true);
  EXPECT_EQ(Recorder::fod, std::vector<uint8_t>{0});
  EXPECT_TRUE(Recorder::Has("Suspend fod_status_callback(FALSE)"));
  EXPECT_EQ(resume_fod_id, 255);
  EXPECT_EQ(g_bFodReportOnePointState, 0);
  EXPECT_EQ(g_bLcdOffState, 1);
  alg_update_suspend_status(false);
  EXPECT_EQ(g_bLcdOffState, 0);
  EXPECT_EQ(g_bScreenSwitchFlg, 1);
  EXPECT_TRUE(Recorder::Has("Alg switch on resume_pressed=0"));
}

// ---- Report packing ----

void SetResult(int k, uint32_t id, int32_t x, int32_t y, uint32_t event) {
  g_stRptInfo[k].id = id;
  g_stRptInfo[k].x = static_cast<uint32_t>(x);
  g_stRptInfo[k].y = static_cast<uint32_t>(y);
  g_stRptInfo[k].event = event;
}

TEST_F(Module, ReportPointConvertsToHundredthsAndStates) {
  AppPointReportInit();
  SetResult(0, 2, 1600, 3200, 0);
  SetResult(1, 10, 160, 160, 2);  // id above 9: slot stays zero
  SetResult(2, 4, -1, 48, 2);     // negative: rounds toward zero
  SetResult(3, 5, 800, 16, 1);
  g_ucEventNum = 4;
  ReportPoint();
  EXPECT_EQ(g_stReportPoint[0].x, 10000);
  EXPECT_EQ(g_stReportPoint[0].y, 20000);
  EXPECT_EQ(g_stReportPoint[0].id, 2);
  EXPECT_EQ(g_stReportPoint[0].action, 0);
  EXPECT_TRUE(Recorder::Has("Touch Down:2"));
  const AlgTouchPoint zero{};
  EXPECT_EQ(std::memcmp(&g_stReportPoint[1], &zero, sizeof(zero)), 0);
  EXPECT_EQ(g_stReportPoint[2].x, -6);
  EXPECT_EQ(g_stReportPoint[2].y, 300);
  EXPECT_EQ(g_stReportPoint[2].action, 1);
  EXPECT_EQ(g_stReportPoint[3].action, 2);
  EXPECT_EQ(g_stRptSave.ucEventNum, 4);
  EXPECT_EQ(+g_stRptSave.astPoint[0].x, 100);
  EXPECT_EQ(+g_stRptSave.astPoint[0].y, 200);
  EXPECT_EQ(g_stRptSave.astPoint[3].event, 1);
}

TEST_F(Module, OnePointStateReportsTheFingerprintLift) {
  g_stFrmData.usFrmFlag |= LUMA_FRM_VALID;
  AppPointReportInit();
  std::memset(g_stRptInfo, 0xFF, sizeof(g_stRptInfo));
  SetResult(0, 1, 100, 100, 2);
  g_ucEventNum = 1;
  g_bFodReportOnePointState = 1;
  g_bForceChangeIDFlg = 1;
  resume_fod_id = 4;  // no entry carries it
  g_ucAlgFodUpFlg = 1;
  g_ucDoubleModeCurPointNum = 0;
  UpdatePointReportPack();
  EXPECT_EQ(g_ucEventNum, 1);
  EXPECT_EQ(g_stReportPoint[0].id, 9);
  EXPECT_EQ(g_stReportPoint[0].x, 60900);
  EXPECT_EQ(g_stReportPoint[0].y, 243700);
  EXPECT_EQ(g_stReportPoint[0].action, 2);
  EXPECT_EQ(g_bFodReportOnePointState, 0);
  EXPECT_EQ(g_usAlgPrintfBuf[10 * 38 + 28], 222);

  // The matching touch is reported alone, under id 9.
  AppPointReportInit();
  SetResult(0, 1, 100, 100, 2);
  SetResult(1, 4, 1600, 1600, 2);
  g_ucEventNum = 2;
  g_bFodReportOnePointState = 1;
  g_ucDoubleModeCurPointNum = 1;
  UpdatePointReportPack();
  EXPECT_EQ(g_ucEventNum, 1);
  EXPECT_EQ(g_stReportPoint[0].id, 9);
  EXPECT_EQ(g_stReportPoint[0].x, 10000);
  EXPECT_EQ(g_stReportPoint[1].id, 0);
  EXPECT_EQ(g_bFodReportOnePointState, 1);
  EXPECT_EQ(g_usAlgPrintfBuf[10 * 38 + 28], 111);
  g_bFodReportOnePointState = 0;
  g_bForceChangeIDFlg = 0;
}

// ---- Base trace and refresh ----

TEST_F(Module, BaseTraceSteps) {
  g_stTraceInfo.ssScTraceStep = 3;
  g_stTraceInfo.ssMcTraceStep = 2;
  struct Case {
    int16_t diff;
    uint8_t follow_positive;
    int16_t sc_base_after;  // from 1000
  };
  const Case sc_cases[] = {{-3, 0, 1000}, {-4, 0, 997}, {3, 1, 1000}, {4, 1, 1003}, {50, 0, 1000}};
  for (const Case &c : sc_cases) {
    g_bTracePosScPeak = c.follow_positive;
    g_stFrmData.assScBase[2][54] = 1000;
    g_stFrmData.assScBackDiff[2][54] = c.diff;
    AppScBaseTrace();
    EXPECT_EQ(g_stFrmData.assScBase[2][54], c.sc_base_after) << c.diff << "/" << int{c.follow_positive};
  }
  g_bTracePosScPeak = 0;
  // The mutual base follows both ways; mode 2 leaves the self bases alone.
  const int16_t mc_diff[] = {-3, -2, 2, 3};
  const int16_t mc_after[] = {1002, 1000, 1000, 998};
  for (int i = 0; i < 4; ++i) {
    g_stFrmData.assMcBase[645] = 1000;
    g_stFrmData.assMcBackDiff[645] = mc_diff[i];
    g_stFrmData.assScBase[0][0] = 500;
    g_stFrmData.assScBackDiff[0][0] = -100;
    AppBaseTrace(2);
    EXPECT_EQ(g_stFrmData.assMcBase[645], mc_after[i]) << mc_diff[i];
    EXPECT_EQ(g_stFrmData.assScBase[0][0], 500);
  }
  AppBaseTrace(0);
  EXPECT_EQ(g_stFrmData.assScBase[0][0], 497);
}

TEST_F(Module, BaseRefreshAbsorbsTheDiffAndRequestsCalibration) {
  g_stFrmData.assScBase[3][10] = 100;
  g_stFrmData.assScBackDiff[3][10] = 25;
  g_stFrmData.assMcBase[7] = 3000;
  g_stFrmData.assMcBackDiff[7] = 400;
  g_stFrmData.assMcBase[8] = -32000;
  g_stFrmData.assMcBackDiff[8] = 1000;
  AppScBaseRefresh();
  // The mutual base goes through the matrix subtraction, whose descriptor comes back.
  const LumaMatOp *op = AppMcBaseRefresh();
  ASSERT_NE(op, nullptr);
  EXPECT_EQ(op->usOp, LUMA_MAT_SUB);
  EXPECT_EQ(op->pssDst, g_stFrmData.pssMcBase);
  EXPECT_EQ(op->pssSrc2, g_stFrmData.assMcBackDiff);
  EXPECT_EQ(g_stFrmData.assScBase[3][10], 125);
  EXPECT_EQ(g_stFrmData.assMcBase[7], 2600);
  EXPECT_EQ(g_stFrmData.assMcBase[8], -32768);  // saturates

  g_stTraceInfo.ucRefreshReq = 0;
  AppBaseRefresh();
  EXPECT_TRUE(Recorder::requests.empty());
  g_stTraceInfo.ucRefreshReq = 1;
  AppBaseRefresh();
  ASSERT_EQ(Recorder::requests.size(), 1u);
  EXPECT_EQ(Recorder::requests[0].first, 19u);
  EXPECT_EQ(Recorder::requests[0].second, std::vector<uint32_t>{17});
  EXPECT_TRUE(Recorder::Has("Set Calibration!!!"));
  EXPECT_EQ(g_ucRefreshBaseFlag, 0);
}

TEST_F(Module, ExtraLineTakesOnlyTheCountedValues) {
  for (int16_t &v : g_stFrmData.assScExtra[1]) v = -1;
  auto *extra = new int16_t[3]{11, 12, 13};
  LumaFrame f;
  f.frame()->extra2 = extra;
  f.frame()->extra2_count = 3;
  AppUpdataPara(f.frame());
  EXPECT_EQ(g_stFrmData.assScExtra[1][0], 11);
  EXPECT_EQ(g_stFrmData.assScExtra[1][2], 13);
  EXPECT_EQ(g_stFrmData.assScExtra[1][3], -1);
  // A count of zero leaves the area as it was.
  f.frame()->extra2_count = 0;
  extra[0] = 99;
  AppUpdataPara(f.frame());
  EXPECT_EQ(g_stFrmData.assScExtra[1][0], 11);
  delete[] extra;
}

// The controller's two debug lines behind the pointer at byte 211 go to print rows 24 and 26
// (rows of one word per sense line): the line at sense count x 10 bytes to row 24, the one
// at sense count x 4 bytes to row 26. Row 26 of a 38-line panel runs past the 1024-word
// buffer and is cut at its end; neither line is read past the host's byte count.
TEST_F(Module, DebugLinesGoToPrintRows24And26WithinBothBuffers) {
  constexpr int kRx = 38;
  struct Case {
    const char *name;
    int16_t bytes;        // the host's count; the array holds exactly this many
    int row24_words;      // words of row 24 written
    int row26_words;      // words of row 26 written
  };
  const Case cases[] = {
      {"both lines whole", 6 * kRx * 2, kRx, 1024 - 26 * kRx},
      {"row 24's line cut short", (5 * kRx + 10) * 2, 10, 1024 - 26 * kRx},
      {"only row 26's line", (2 * kRx + 5) * 2, 0, 5},
      {"nothing", 0, 0, 0},
      {"a negative count", -4, 0, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    std::fill(std::begin(g_usAlgPrintfBuf), std::end(g_usAlgPrintfBuf), 0xEEEE);
    const int words = c.bytes > 0 ? c.bytes / 2 : 0;
    std::vector<int16_t> lines(static_cast<size_t>(words));  // exactly the count: ASan sees a read past it
    for (int i = 0; i < words; ++i) lines[i] = static_cast<int16_t>(1000 + i);
    LumaFrame f;
    f.frame()->extra1 = words > 0 ? lines.data() : nullptr;
    f.frame()->extra1_len = c.bytes;
    AppUpdataPara(f.frame());
    for (int i = 0; i < kRx; ++i) {
      EXPECT_EQ(g_usAlgPrintfBuf[24 * kRx + i], i < c.row24_words ? 1000 + 5 * kRx + i : 0xEEEE) << i;
    }
    for (int i = 0; 26 * kRx + i < 1024; ++i) {
      EXPECT_EQ(g_usAlgPrintfBuf[26 * kRx + i], i < c.row26_words ? 1000 + 2 * kRx + i : 0xEEEE) << i;
    }
    EXPECT_EQ(g_usAlgPrintfBuf[25 * kRx], 0xEEEE);
  }
}

}  // namespace
