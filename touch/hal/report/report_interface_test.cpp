#include <linux/input.h>
#include <string.h>
#include <time.h>

#include <chrono>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "report/report_test_fixture.h"

namespace {

using touch_host::testsupport::Ev;
using touch_host::testsupport::finger;
using touch_host::testsupport::plain;
using touch_host::testsupport::syn_reports;

using namespace std::chrono_literals;
using hal_report_test::block;
using hal_report_test::HalReport;
using hal_report_test::HalVsync;
using hal_report_test::VsyncCalls;


const char kDirect[] = "input_device\n    support_finger = 1\n";

TEST_F(HalReport, TwoFingersGiveTheMultiTouchSequence) {
  startWith(kDirect);
  events();
  report({finger(0, 100, 200, ALG_TOUCH_ACTION_DOWN), finger(1, 300, 400, ALG_TOUCH_ACTION_DOWN)});
  const std::vector<Ev> down = {
      {EV_ABS, ABS_MT_SLOT, 0},        {EV_ABS, ABS_MT_TOOL_TYPE, 0},   {EV_KEY, BTN_TOUCH, 1},
      {EV_KEY, BTN_TOOL_FINGER, 1},    {EV_ABS, ABS_MT_TRACKING_ID, 100}, {EV_ABS, ABS_MT_PRESSURE, 1},
      {EV_ABS, ABS_MT_POSITION_X, 100}, {EV_ABS, ABS_MT_POSITION_Y, 200}, {EV_ABS, ABS_MT_SLOT, 1},
      {EV_ABS, ABS_MT_TRACKING_ID, 101}, {EV_ABS, ABS_MT_PRESSURE, 1},    {EV_ABS, ABS_MT_POSITION_X, 300},
      {EV_ABS, ABS_MT_POSITION_Y, 400}, {EV_SYN, SYN_REPORT, 0},
  };
  EXPECT_EQ(events(), down);

  report({finger(0, 110, 210, ALG_TOUCH_ACTION_MOVE), finger(1, 310, 410, ALG_TOUCH_ACTION_MOVE)});
  const std::vector<Ev> move = {
      {EV_ABS, ABS_MT_SLOT, 0},         {EV_ABS, ABS_MT_PRESSURE, 1},     {EV_ABS, ABS_MT_POSITION_X, 110},
      {EV_ABS, ABS_MT_POSITION_Y, 210}, {EV_ABS, ABS_MT_SLOT, 1},         {EV_ABS, ABS_MT_PRESSURE, 1},
      {EV_ABS, ABS_MT_POSITION_X, 310}, {EV_ABS, ABS_MT_POSITION_Y, 410}, {EV_SYN, SYN_REPORT, 0},
  };
  EXPECT_EQ(events(), move);

  report({finger(0, 110, 210, ALG_TOUCH_ACTION_UP), finger(1, 310, 410, ALG_TOUCH_ACTION_UP)});
  const std::vector<Ev> up = {
      {EV_ABS, ABS_MT_SLOT, 0}, {EV_ABS, ABS_MT_TRACKING_ID, -1}, {EV_ABS, ABS_MT_SLOT, 1},
      {EV_ABS, ABS_MT_TRACKING_ID, -1}, {EV_KEY, BTN_TOUCH, 0}, {EV_KEY, BTN_TOOL_FINGER, 0},
      {EV_SYN, SYN_REPORT, 0},
  };
  EXPECT_EQ(events(), up);
  EXPECT_EQ(host_.touchStates(), (std::vector<uint32_t>{3, 0}));

  // The next touch continues the tracking ids.
  report({finger(4, 1, 2, ALG_TOUCH_ACTION_DOWN)});
  std::vector<Ev> next = events();
  ASSERT_GE(next.size(), 5u);
  EXPECT_EQ(next[4], (Ev{EV_ABS, ABS_MT_TRACKING_ID, 102}));
}

TEST_F(HalReport, SlotIdsBeyondTheTableAreDropped) {
  startWith(kDirect);
  events();
  report({finger(10, 5, 5, ALG_TOUCH_ACTION_DOWN), finger(-1, 5, 5, ALG_TOUCH_ACTION_DOWN)});
  EXPECT_TRUE(events().empty());
  EXPECT_EQ(host_.count("slot id 10 out of range"), 1u);
  EXPECT_TRUE(host_.touchStates().empty());
}

TEST_F(HalReport, SuperResolutionGrid) {
  startWith(kDirect);
  events();
  // Scale factor 8, super resolution 8: coordinates pass unchanged.
  report({finger(0, 1001, 2003, ALG_TOUCH_ACTION_DOWN)});
  std::vector<Ev> evs = events();
  EXPECT_NE(std::find(evs.begin(), evs.end(), Ev{EV_ABS, ABS_MT_POSITION_X, 1001}), evs.end());
  // Super resolution 4 (s = 2): (1001, 2003) becomes (1000, 2002).
  command(block(COMMON_DATA_CMD_SET_MODE_VALUE, 1081, {4}));
  report({finger(0, 1001, 2003, ALG_TOUCH_ACTION_MOVE)});
  evs = events();
  EXPECT_NE(std::find(evs.begin(), evs.end(), Ev{EV_ABS, ABS_MT_POSITION_X, 1000}), evs.end());
  EXPECT_NE(std::find(evs.begin(), evs.end(), Ev{EV_ABS, ABS_MT_POSITION_Y, 2002}), evs.end());
  // 0 and values above the scale factor are ignored: still s = 2.
  command(block(COMMON_DATA_CMD_SET_MODE_VALUE, 1081, {0}));
  command(block(COMMON_DATA_CMD_SET_MODE_VALUE, 1081, {9}));
  report({finger(0, 1001, 2003, ALG_TOUCH_ACTION_MOVE)});
  evs = events();
  EXPECT_NE(std::find(evs.begin(), evs.end(), Ev{EV_ABS, ABS_MT_POSITION_X, 1000}), evs.end());
}

TEST_F(HalReport, SuspendReleasesAndEventQueryCounts) {
  startWith(kDirect);
  command(block(COMMON_DATA_CMD_SET_MODE_VALUE, COMMON_DATA_MODE_FIRST_FRAME_BOOST, {1}));  // touch static
  report({finger(2, 10, 10, ALG_TOUCH_ACTION_DOWN)});
  events();
  std::this_thread::sleep_for(25ms);  // longer than the 20 ms that make a release an event
  module_->update_suspend_status(1);
  std::vector<Ev> evs = events();
  EXPECT_NE(std::find(evs.begin(), evs.end(), Ev{EV_KEY, BTN_TOUCH, 0}), evs.end());
  // Reports while suspended are dropped.
  report({finger(2, 10, 10, ALG_TOUCH_ACTION_DOWN)});
  EXPECT_TRUE(events().empty());
  int32_t pass = 1;
  command(block(COMMON_DATA_CMD_GET_CUR_VALUE, COMMON_DATA_MODE_FIRST_FRAME_BOOST, {}), &pass);
  EXPECT_EQ(last_.count, 2);
  EXPECT_EQ(std::string(reinterpret_cast<const char *>(last_.values), 2), "1\n");
  EXPECT_EQ(pass, 0);
}

// ---- the shared report page (version 2) -------------------------------------------------

TEST_F(HalReport, SharedPageCarriesThePointsAndTheirCount) {
  startWith("input_device\n    report_version = 2\n    support_stylus = 1\n");
  report({finger(3, 700, 800, ALG_TOUCH_ACTION_DOWN), finger(5, 900, 1000, ALG_TOUCH_ACTION_DOWN)});
  std::vector<uint32_t> counts = device_->reportedPointCounts();
  ASSERT_FALSE(counts.empty());
  EXPECT_EQ(counts.back(), 2u);
  EXPECT_EQ(host_.touchStates().back(), (1u << 3) | (1u << 5));
  EXPECT_TRUE(events().empty());  // nothing on the evdev device

  // Ten fingers and a stylus: the eleventh record does not fit the page.
  std::vector<AlgTouchPoint> many;
  for (int id = 0; id < 10; ++id) many.push_back(finger(id, id, id, ALG_TOUCH_ACTION_MOVE));
  AlgTouchPoint pen = finger(0, 5, 5, ALG_TOUCH_ACTION_DOWN);
  pen.tool = ALG_TOUCH_TOOL_STYLUS;
  pen.pressure = 10;
  many.push_back(pen);
  report(many);
  EXPECT_EQ(host_.count("point slot is out of range. max slot is 9"), 1u);
  EXPECT_EQ(device_->reportedPointCounts().back(), 10u);
}

// ---- the report-point timer ---------------------------------------------------------------

TEST_F(HalReport, TimerGivesTwoReportsPerFrameAtTwiceTheControllerRate) {
  startWith("report_rate\n    use_report_timer = 1\n    ic_rate_normal = 120\n    rate_normal = 240\n");
  ReportTimerStatus st = report_timer_status();
  EXPECT_EQ(st.ic_rate, 120);
  EXPECT_EQ(st.report_rate, 240);
  EXPECT_EQ(st.ticks_per_frame, 2);
  // The controller is told its rate: mode 1011, the IC rate first, four values.
  bool rateSent = false;
  for (const common_data &r : device_->writtenCommonData()) {
    rateSent |= r.mode == 1011 && r.count == 4 && r.values[0] == 120;
  }
  EXPECT_TRUE(rateSent);

  events();
  for (int frame = 0; frame < 3; ++frame) {
    report({finger(0, 1000 + frame * 100, 500, frame == 0 ? ALG_TOUCH_ACTION_DOWN : ALG_TOUCH_ACTION_MOVE)});
    // Each frame's timer runs two ticks, then stops until the next frame.
    ASSERT_TRUE(touchscreen_->waitForWritten(1, 1s));
    std::this_thread::sleep_for(30ms);  // 240 Hz: two ticks take about 4 ms
    EXPECT_EQ(syn_reports(events()), 2u) << "frame " << frame;
  }
}

TEST_F(HalReport, EqualRatesReportDirectly) {
  startWith("report_rate\n    use_report_timer = 1\n    ic_rate_normal = 120\n    rate_normal = 120\n");
  events();
  report({finger(0, 1000, 500, ALG_TOUCH_ACTION_DOWN)});
  // Written on the caller's thread before report_points returns.
  EXPECT_EQ(syn_reports(events()), 1u);
  std::this_thread::sleep_for(20ms);
  EXPECT_TRUE(events().empty());
}

TEST_F(HalReport, ReplayRecordKeepsSixteenEvents) {
  startWith("report_rate\n    use_report_timer = 1\n    ic_rate_normal = 120\n    rate_normal = 120\n");
  command(block(COMMON_DATA_CMD_SET_MODE_VALUE, COMMON_DATA_MODE_TEST_MODE, {1}));
  for (int i = 0; i < 17; ++i) module_->update_suspend_status(1);  // one suspend event each
  EXPECT_EQ(host_.count("hal_report_timer dump buffer full, data miss!"), 1u);
  auto dumpGet = reinterpret_cast<int32_t (*)(uint32_t, void *, uint32_t *)>(hal_report_interface()->dump_get);
  uint32_t words[REPORT_REPLAY_WORDS] = {};
  uint32_t size = sizeof words;
  ASSERT_EQ(dumpGet(REPORT_DUMP_KIND_TIMER, words, &size), 0);
  EXPECT_EQ(size, 16u * 3u * 4u);
  EXPECT_EQ(words[0], static_cast<uint32_t>(REPORT_EVENT_SUSPEND));
  EXPECT_EQ(words[45], static_cast<uint32_t>(REPORT_EVENT_SUSPEND));
  size = sizeof words;
  ASSERT_EQ(dumpGet(REPORT_DUMP_KIND_TIMER, words, &size), 0);
  EXPECT_EQ(size, 0u);  // emptied by the first read
}

// ---- vsync ------------------------------------------------------------------------------------

TEST_F(HalVsync, FollowsVsyncWhileOneFingerMovesAndLeavesOnLift) {
  ReportTimerStatus st = report_timer_status();
  ASSERT_TRUE(st.vsync_enabled);
  command(block(COMMON_DATA_CMD_SET_MODE_VALUE, COMMON_DATA_MODE_VSYNC_REQUEST, {1}));  // framework wants vsync
  EXPECT_TRUE(report_timer_status().vsync_requested);
  for (int frame = 0; frame < 3; ++frame) {
    report({finger(0, 1000 + 50 * frame, 500, frame == 0 ? ALG_TOUCH_ACTION_DOWN : ALG_TOUCH_ACTION_MOVE)});
  }
  EXPECT_EQ(report_timer_status().vsync_state, VSYNC_STATE_WAIT_VSYNC);
  EXPECT_EQ(VsyncCalls::take(), (std::vector<int32_t>{2}));

  vsyncIn(20000000);
  EXPECT_EQ(report_timer_status().vsync_state, VSYNC_STATE_FIRST);
  EXPECT_EQ(report_timer_status().ic_rate, 60);  // the vsync rates
  EXPECT_EQ(report_timer_status().report_rate, 68);

  // 3 ms ahead with the default 4 ms offset: a Frame Miss.
  vsyncIn(3000000);
  EXPECT_EQ(host_.count("vsync missed by binder delay too long"), 1u);

  // Lifting the finger returns to NORMAL, restores the normal rates and tells the host.
  report({finger(0, 1100, 500, ALG_TOUCH_ACTION_UP)});
  st = report_timer_status();
  EXPECT_EQ(st.vsync_state, VSYNC_STATE_NORMAL);
  EXPECT_EQ(st.ic_rate, 120);
  EXPECT_EQ(st.report_rate, 120);
  EXPECT_EQ(VsyncCalls::take(), (std::vector<int32_t>{0}));
}

TEST_F(HalVsync, CallbackFromCommandDataIsRefused) {
  command(block(COMMON_DATA_CMD_SET_MODE_VALUE, 1096, {1, 0x41414141, 0x41414141}));
  EXPECT_EQ(host_.count("vsync callback in common data refused"), 1u);
  hal_report_register_vsync_callback(nullptr);
  command(block(COMMON_DATA_CMD_SET_MODE_VALUE, COMMON_DATA_MODE_VSYNC_REQUEST, {1}));
  for (int frame = 0; frame < 3; ++frame) report({finger(0, 1000 + 50 * frame, 500, ALG_TOUCH_ACTION_MOVE)});
  // Without a registered callback the machine stays in NORMAL.
  EXPECT_EQ(report_timer_status().vsync_state, VSYNC_STATE_NORMAL);
}

}  // namespace
