// The report-point timer beyond the basic pacing: replay of a saved timer record, the rate
// choice from game, power-save, super-report, display-fps and camera modes, the display-rate
// change, the vsync state machine's frame counting and locks, and the evdev stylus events.
#include <linux/input.h>
#include <string.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "report/report_test_fixture.h"

namespace {

using namespace std::chrono_literals;
using hal_report_test::block;
using hal_report_test::EventReader;
using hal_report_test::HalReport;
using hal_report_test::HalVsync;
using hal_report_test::VsyncCalls;
using touch_host::testsupport::Ev;
using touch_host::testsupport::finger;
using touch_host::testsupport::syn_reports;

constexpr int64_t kMs = 1000000;

// ---- replay of a saved timer record -------------------------------------------------------

struct ReplayCase {
  const char *name;
  std::vector<uint32_t> words;  // the loaded record; empty: nothing loaded
  size_t directSyncs;           // SYN_REPORTs written by the offer (the tick's report or the direct one)
  std::vector<std::string> logs;
  uint16_t icRate, reportRate;  // the rates afterwards
};

class HalReplay : public HalReport, public ::testing::WithParamInterface<ReplayCase> {};

// Equal rates: outside a replay these offers would go straight to the report.
const char kEqualRates[] = "report_rate\n    use_report_timer = 1\n    ic_rate_normal = 120\n    rate_normal = 120\n";

TEST_P(HalReplay, PlaysTheLoadedRecordInsteadOfTheLivePoints) {
  const ReplayCase &c = GetParam();
  startWith(kEqualRates);
  if (!c.words.empty()) {
    ASSERT_EQ(get_report_point_timer()->dump_set(c.words.data(), static_cast<uint32_t>(c.words.size() * 4),
                                                 REPORT_DUMP_KIND_TIMER),
              0);
  }
  host_.table()->replay_flag = 1;
  events();
  report({finger(0, 1000, 500, ALG_TOUCH_ACTION_DOWN)});
  std::vector<Ev> evs = events();
  EXPECT_EQ(syn_reports(evs), c.directSyncs);
  if (c.directSyncs > 0) {
    EXPECT_NE(std::find(evs.begin(), evs.end(), Ev{EV_ABS, ABS_MT_POSITION_X, 1000}), evs.end());
  }
  for (const std::string &line : c.logs) EXPECT_EQ(host_.count(line), 1u) << line;
  ReportTimerStatus st = report_timer_status();
  EXPECT_EQ(st.ic_rate, c.icRate);
  EXPECT_EQ(st.report_rate, c.reportRate);
  host_.table()->replay_flag = 0;
}

constexpr uint32_t kT = 123456789;  // a recorded time (low word; high word 0)

INSTANTIATE_TEST_SUITE_P(
    Events, HalReplay,
    ::testing::Values(
        ReplayCase{"EmptyRecordTakesThePoints", {}, 0, {}, 120, 120},
        ReplayCase{"MainThreadEventReportsDirectly", {5, 1, 0}, 1, {"dump replay Main thread report"}, 120, 120},
        ReplayCase{"RateEventSetsTheRecordedRates", {2, 60, 240}, 0, {"dump replay change rate 60 240"}, 60, 240},
        ReplayCase{"SuspendEventClearsTheEngine", {4, 0, 0}, 0, {"dump replay is suspend"}, 120, 120},
        // The offered points go into the engine at the recorded time; the tick reports them.
        ReplayCase{"PointsThenTickReportThroughTheTimer",
                   {3, kT, 0, 1, kT, 0},
                   1,
                   {"dump replay update point at 123456789", "dump replay report time 123456789"},
                   120,
                   120},
        // An unknown kind ends the walk: the main-thread event after it is never played.
        ReplayCase{"UnknownEventStopsTheWalk", {9, 0, 0, 5, 1, 0}, 0, {"replay dump report error event 9"}, 120, 120}),
    [](const ::testing::TestParamInfo<ReplayCase> &info) { return std::string(info.param.name); });

TEST_F(HalReport, RecordSavedLiveReplaysThroughDumpGetAndSet) {
  startWith("report_rate\n    use_report_timer = 1\n    ic_rate_normal = 120\n    rate_normal = 120\n");
  setMode(COMMON_DATA_MODE_TEST_MODE, 1);  // start recording
  report({finger(0, 1000, 500, ALG_TOUCH_ACTION_DOWN)});  // equal rates: a main-thread report
  module_->update_suspend_status(1);
  uint32_t words[REPORT_REPLAY_WORDS] = {};
  uint32_t size = sizeof words;
  ASSERT_EQ(get_report_point_timer()->dump_get(REPORT_DUMP_KIND_TIMER, words, &size), 0);
  ASSERT_EQ(size, 6u * 4u);
  EXPECT_EQ(std::vector<uint32_t>(words, words + 6), (std::vector<uint32_t>{5, 1, 0, 4, 0, 0}));
  // A destination smaller than the record is refused, not overrun.
  setMode(COMMON_DATA_MODE_TEST_MODE, 1);
  module_->update_suspend_status(1);
  uint32_t small = 0;
  size = 0;
  EXPECT_NE(get_report_point_timer()->dump_get(REPORT_DUMP_KIND_TIMER, &small, &size), 0);
  // Another kind is refused by both.
  size = sizeof words;
  EXPECT_NE(get_report_point_timer()->dump_get(1, words, &size), 0);
  EXPECT_NE(get_report_point_timer()->dump_set(words, 12, 1), 0);
  // A load larger than the record keeps its first sixteen events.
  std::vector<uint32_t> big(60, 5);
  ASSERT_EQ(get_report_point_timer()->dump_set(big.data(), static_cast<uint32_t>(big.size() * 4), 2), 0);
  size = sizeof words;
  ASSERT_EQ(get_report_point_timer()->dump_get(REPORT_DUMP_KIND_TIMER, words, &size), 0);
  EXPECT_EQ(size, 48u * 4u);
}

// ---- rate choice -------------------------------------------------------------------------------

struct RateCase {
  const char *name;
  int dynamicFps, cameraRateMode;
  std::vector<std::pair<uint16_t, uint32_t>> modes;  // set-mode commands in order
  uint16_t icRate, reportRate;
  int32_t ticksPerFrame;
};

class HalRateChoice : public HalReport, public ::testing::WithParamInterface<RateCase> {};

// Every pair is distinct so each choice is recognisable.
std::string rateConfig(int dynamicFps, int cameraRateMode) {
  return "report_rate\n    use_report_timer = 1\n    low_fps_limit = 70\n"
         "    ic_rate_normal = 100\n    rate_normal = 120\n"
         "    ic_rate_game = 200\n    rate_game = 240\n"
         "    ic_rate_game_super = 220\n    rate_game_super = 480\n"
         "    dynamic_fps_report = " + std::to_string(dynamicFps) + "\n"
         "    camera_rate_mode = " + std::to_string(cameraRateMode) + "\n";
}

constexpr uint16_t kGame = COMMON_DATA_MODE_GAME;
constexpr uint16_t kPowerSave = 29;
constexpr uint16_t kSuperReport = 202;
constexpr uint16_t kFps = 1012;
constexpr uint16_t kInputOrCamera = COMMON_DATA_MODE_PHONE;

TEST_P(HalRateChoice, PicksThePairOfTheModes) {
  const RateCase &c = GetParam();
  startWith(rateConfig(c.dynamicFps, c.cameraRateMode));
  for (auto [mode, value] : c.modes) setMode(mode, value);
  ReportTimerStatus st = report_timer_status();
  EXPECT_EQ(st.ic_rate, c.icRate);
  EXPECT_EQ(st.report_rate, c.reportRate);
  EXPECT_EQ(st.ticks_per_frame, c.ticksPerFrame);
  // The controller was last told the chosen IC rate (mode 1011, four values).
  const common_data *sent = nullptr;
  std::vector<common_data> written = device_->writtenCommonData();
  for (const common_data &r : written) {
    if (r.mode == 1011) sent = &r;
  }
  ASSERT_NE(sent, nullptr);
  EXPECT_EQ(sent->count, 4);
  EXPECT_EQ(sent->values[0], c.icRate);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, HalRateChoice,
    ::testing::Values(
        RateCase{"NotGameIsNormal", 1, 0, {{kPowerSave, 1}, {kSuperReport, 1}, {kFps, 120}}, 100, 120, 1},
        RateCase{"DynamicPowerSaveFastIsGame", 1, 0, {{kGame, 1}, {kPowerSave, 1}, {kFps, 90}}, 200, 240, 1},
        RateCase{"DynamicPowerSaveAtLimitIsNormal", 1, 0, {{kGame, 1}, {kPowerSave, 1}, {kFps, 70}}, 100, 120, 1},
        RateCase{"DynamicPowerSaveAboveLimitIsGame", 1, 0, {{kGame, 1}, {kPowerSave, 1}, {kFps, 71}}, 200, 240, 1},
        RateCase{"DynamicPowerSaveBeatsSuper",
                 1, 0, {{kGame, 1}, {kPowerSave, 1}, {kSuperReport, 1}, {kFps, 90}}, 200, 240, 1},
        RateCase{"DynamicSuperFastIsSuper", 1, 0, {{kGame, 1}, {kSuperReport, 1}, {kFps, 90}}, 220, 480, 2},
        RateCase{"DynamicSuperSlowIsGame", 1, 0, {{kGame, 1}, {kSuperReport, 1}, {kFps, 60}}, 200, 240, 1},
        RateCase{"DynamicNoSuperIsGame", 1, 0, {{kGame, 1}, {kFps, 90}}, 200, 240, 1},
        RateCase{"DynamicFpsDropLeavesSuper",
                 1, 0, {{kGame, 1}, {kSuperReport, 1}, {kFps, 90}, {kFps, 30}}, 200, 240, 1},
        RateCase{"FixedSuperIgnoresFps", 0, 0, {{kGame, 1}, {kSuperReport, 1}, {kFps, 30}}, 220, 480, 2},
        RateCase{"FixedGame", 0, 0, {{kGame, 1}, {kPowerSave, 1}}, 200, 240, 1},
        RateCase{"GameOffReturnsToNormal", 0, 0, {{kGame, 1}, {kSuperReport, 1}, {kGame, 0}}, 100, 120, 1},
        RateCase{"CameraActiveRunsBothAtTheNormalIcRate",
                 0, 1, {{kGame, 1}, {kSuperReport, 1}, {kInputOrCamera, 257}}, 100, 100, 1},
        RateCase{"CameraOffRestoresTheChoice",
                 0, 1, {{kGame, 1}, {kSuperReport, 1}, {kInputOrCamera, 257}, {kInputOrCamera, 256}}, 220, 480, 2},
        RateCase{"CameraIgnoredWithoutCameraRateMode",
                 0, 0, {{kGame, 1}, {kInputOrCamera, 257}}, 200, 240, 1}),
    [](const ::testing::TestParamInfo<RateCase> &info) { return std::string(info.param.name); });

// ---- display-rate change --------------------------------------------------------------------

class HalDisplayRate : public HalVsync {
 protected:
  std::string config() const override {
    return "vsync_report\n    vsync_reprot_mode = 1\n"
           "report_rate\n    use_report_timer = 1\n    ic_rate_normal = 120\n    rate_normal = 240\n";
  }
};

TEST_F(HalDisplayRate, TicksPerFrameFollowTheDisplay) {
  ASSERT_TRUE(report_timer_status().vsync_enabled);
  EXPECT_EQ(report_timer_status().ticks_per_frame, 2);  // 240 / 120
  const struct {
    uint32_t displayRate;
    int32_t ticks;
  } cases[] = {{60, 4}, {120, 2}, {90, 3}, {144, 2}, {40, 6}, {240, 1}};
  for (const auto &c : cases) {
    displayRate(c.displayRate);
    EXPECT_EQ(report_timer_status().ticks_per_frame, c.ticks) << c.displayRate << " Hz";
  }
  // A display rate of 0 must not divide by zero; the ticks stay a usable count.
  displayRate(0);
  EXPECT_GE(report_timer_status().ticks_per_frame, 1);
}

TEST_F(HalReport, DisplayRateIsIgnoredWithoutVsync) {
  startWith("report_rate\n    use_report_timer = 1\n    ic_rate_normal = 120\n    rate_normal = 240\n");
  ASSERT_FALSE(report_timer_status().vsync_enabled);
  displayRate(60);
  EXPECT_EQ(report_timer_status().ticks_per_frame, 2);
}

// ---- vsync state machine ------------------------------------------------------------------------

// A moving single finger: every frame changes the signature.
class HalVsyncMachine : public HalVsync {
 protected:
  void move() {
    report({finger(0, 1000 + 40 * frame_, 500, frame_ == 0 ? ALG_TOUCH_ACTION_DOWN : ALG_TOUCH_ACTION_MOVE)});
    ++frame_;
  }
  // NORMAL -> VSYNC_WAIT_VSYNC after the second changed frame, then the first vsync -> state 6.
  void enterFirstVsyncState(uint32_t vsyncMode = 1) {
    setMode(COMMON_DATA_MODE_VSYNC_REQUEST, 1);
    for (int i = 0; i < 3; ++i) move();
    ASSERT_EQ(state(), VSYNC_STATE_WAIT_VSYNC);
    ASSERT_EQ(VsyncCalls::take(), (std::vector<int32_t>{2}));
    vsyncIn(100 * kMs, vsyncMode);
    ASSERT_EQ(state(), VSYNC_STATE_FIRST);
  }
  void lift() { report({finger(0, 1000, 500, ALG_TOUCH_ACTION_UP)}); }
  int frame_ = 0;
};

TEST_F(HalVsyncMachine, NearSixtyHertzDecidesTheFirstReportState) {
  const struct {
    uint32_t displayRate;
    bool near60;
  } cases[] = {{55, false}, {56, true}, {60, true}, {74, true}, {75, false}, {120, false}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.displayRate);
    displayRate(c.displayRate);
    const int32_t expected = c.near60 ? VSYNC_STATE_REPORT : VSYNC_STATE_FIRST;
    // A frame in state 6 after the first vsync goes to 7 only near 60 Hz.
    enterFirstVsyncState();
    move();
    EXPECT_EQ(state(), expected);
    lift();
    EXPECT_EQ(state(), VSYNC_STATE_NORMAL);
    EXPECT_EQ(VsyncCalls::take(), (std::vector<int32_t>{0}));
    // So does a vsync in state 6 that is in time.
    enterFirstVsyncState();
    vsyncIn(100 * kMs);
    EXPECT_EQ(state(), expected);
    lift();
    EXPECT_EQ(VsyncCalls::take(), (std::vector<int32_t>{0}));
  }
}

TEST_F(HalVsyncMachine, VsyncModeChoosesTheVsyncReportRate) {
  const struct {
    uint32_t vsyncMode;
    uint16_t reportRate;
  } cases[] = {{1, 68}, {2, 135}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.vsyncMode);
    enterFirstVsyncState(c.vsyncMode);
    ReportTimerStatus st = report_timer_status();
    EXPECT_EQ(st.ic_rate, 60);
    EXPECT_EQ(st.report_rate, c.reportRate);
    lift();
    st = report_timer_status();
    EXPECT_EQ(st.ic_rate, 120);
    EXPECT_EQ(st.report_rate, 120);
    VsyncCalls::take();
  }
  // Vsync mode 0 in a vsync state drops back to NORMAL at the next event.
  enterFirstVsyncState(0);
  move();
  EXPECT_EQ(state(), VSYNC_STATE_NORMAL);
  EXPECT_EQ(VsyncCalls::take(), (std::vector<int32_t>{0}));
  EXPECT_EQ(report_timer_status().report_rate, 120);
}

// Frame Miss / Frame update move 7 to 8; Frame report moves 8 back to 7.
TEST_F(HalVsyncMachine, FrameMissUpdateAndReportSwitchBetweenTheReportStates) {
  displayRate(60);
  enterFirstVsyncState();
  move();
  ASSERT_EQ(state(), VSYNC_STATE_REPORT);
  std::this_thread::sleep_for(40ms);  // the frame's ticks are over

  enum Step { kReport, kUpdate, kMiss };
  const struct {
    Step step;
    int32_t after;
  } steps[] = {
      // The last handled vsync time is still 0: the timer reported since -> update.
      {kUpdate, VSYNC_STATE_UPDATE},
      // The last handled vsync lies 100 ms ahead of any timer report -> report.
      {kReport, VSYNC_STATE_REPORT},
      {kReport, VSYNC_STATE_REPORT},
      {kMiss, VSYNC_STATE_UPDATE},
      {kMiss, VSYNC_STATE_UPDATE},
      {kUpdate, VSYNC_STATE_UPDATE},
      {kReport, VSYNC_STATE_REPORT},
      {kUpdate, VSYNC_STATE_UPDATE},
  };
  size_t misses = 0;
  bool first = true;
  for (const auto &s : steps) {
    switch (s.step) {
      case kReport:
        vsyncIn(100 * kMs);
        break;
      case kUpdate:
        if (!first) {
          // Let the last handled vsync pass, then let the timer report a frame after it.
          std::this_thread::sleep_for(110ms);
          move();
          std::this_thread::sleep_for(40ms);
        }
        vsyncIn(100 * kMs);
        break;
      case kMiss:
        // 3 ms ahead is inside the default 4 ms offset.
        vsyncIn(3 * kMs);
        ++misses;
        break;
    }
    first = false;
    EXPECT_EQ(state(), s.after) << "step " << (&s - steps);
    EXPECT_EQ(host_.count("vsync missed by binder delay too long"), misses);
  }
  EXPECT_TRUE(VsyncCalls::take().empty());
}

TEST_F(HalVsyncMachine, LocksSendTheMachineToNormalLocked) {
  const uint8_t qsd301[6] = {1, 0, 3, 0, 301 & 0xff, 301 >> 8};
  const uint8_t qsd302[6] = {1, 0, 3, 0, 302 & 0xff, 302 >> 8};
  const uint8_t qsd300[6] = {1, 0, 3, 0, 300 & 0xff, 300 >> 8};
  const uint8_t qsd201[6] = {1, 0, 2, 0, 201, 0};
  const uint8_t qsd200[6] = {1, 0, 2, 0, 200, 0};
  const uint8_t otherKind[6] = {2, 0, 3, 0, 301 & 0xff, 301 >> 8};
  struct LockCase {
    const char *name;
    std::function<void()> lock;
    std::function<void()> unlock;
    bool locks;
  };
  const LockCase cases[] = {
      {"input method", [&] { setMode(kInputOrCamera, 1); }, [&] { setMode(kInputOrCamera, 0); }, true},
      {"charging", [&] { setMode(COMMON_DATA_MODE_CHARGE_STATE, 1); },
       [&] { setMode(COMMON_DATA_MODE_CHARGE_STATE, 0); }, true},
      {"driver 301", [&] { get_report_point_timer()->driver_event(qsd301); },
       [&] { get_report_point_timer()->driver_event(qsd300); }, true},
      {"driver 302", [&] { get_report_point_timer()->driver_event(qsd302); },
       [&] { get_report_point_timer()->driver_event(qsd300); }, true},
      {"driver 201", [&] { get_report_point_timer()->driver_event(qsd201); },
       [&] { get_report_point_timer()->driver_event(qsd200); }, true},
      {"two fingers",
       [&] {
         report({finger(0, 1500, 500, ALG_TOUCH_ACTION_MOVE), finger(1, 300, 300, ALG_TOUCH_ACTION_DOWN)});
       },
       [&] { report({finger(0, 1500, 500, ALG_TOUCH_ACTION_MOVE)}); }, true},
      {"other driver kind", [&] { get_report_point_timer()->driver_event(otherKind); }, [] {}, false},
  };
  for (const LockCase &c : cases) {
    SCOPED_TRACE(c.name);
    enterFirstVsyncState();
    c.lock();
    if (!c.locks) {
      EXPECT_EQ(state(), VSYNC_STATE_FIRST);
      lift();
      VsyncCalls::take();
      continue;
    }
    EXPECT_EQ(state(), VSYNC_STATE_NORMAL_LOCKED);
    EXPECT_EQ(VsyncCalls::take(), (std::vector<int32_t>{0}));  // left a vsync state
    EXPECT_EQ(report_timer_status().report_rate, 120);         // normal rates back
    c.unlock();
    // Locked until nothing touches.
    move();
    EXPECT_EQ(state(), VSYNC_STATE_NORMAL_LOCKED);
    lift();
    EXPECT_EQ(state(), VSYNC_STATE_NORMAL);
    EXPECT_TRUE(VsyncCalls::take().empty());
  }
}

TEST_F(HalVsyncMachine, RequestCommands) {
  // Mode 9 carries the mode number: 1085 requests, 1086 withdraws.
  setMode(9, COMMON_DATA_MODE_VSYNC_REQUEST);
  EXPECT_TRUE(report_timer_status().vsync_requested);
  setMode(9, COMMON_DATA_MODE_VSYNC_TIME);
  EXPECT_FALSE(report_timer_status().vsync_requested);
  // Game mode suppresses the framework's wish; reset (command 6) restores it and ends game mode.
  setMode(COMMON_DATA_MODE_VSYNC_REQUEST, 1);
  setMode(COMMON_DATA_MODE_GAME, 1);
  EXPECT_FALSE(report_timer_status().vsync_requested);
  command(block(COMMON_DATA_CMD_RESET_MODE, 0, {}));
  EXPECT_TRUE(report_timer_status().vsync_requested);
  EXPECT_EQ(report_timer_status().report_rate, 120);
  // The query writes "%d\n" of the request.
  EXPECT_EQ(command(block(COMMON_DATA_CMD_GET_CUR_VALUE, COMMON_DATA_MODE_VSYNC_REQUEST, {})), 1);
  EXPECT_EQ(last_.count, 2);
  EXPECT_EQ(std::string(reinterpret_cast<const char *>(last_.values), 2), "1\n");
  // Withdrawing the request in a vsync state ends it.
  enterFirstVsyncState();
  setMode(COMMON_DATA_MODE_VSYNC_REQUEST, 0);
  EXPECT_EQ(state(), VSYNC_STATE_NORMAL);
  EXPECT_EQ(VsyncCalls::take(), (std::vector<int32_t>{0}));
}

TEST_F(HalVsyncMachine, SuspendInAVsyncStateReturnsToNormal) {
  enterFirstVsyncState();
  module_->update_suspend_status(1);
  EXPECT_EQ(state(), VSYNC_STATE_NORMAL);
  EXPECT_EQ(VsyncCalls::take(), (std::vector<int32_t>{0}));
  module_->update_suspend_status(0);
}

// ---- evdev stylus (point method version 1) ---------------------------------------------------

class HalStylus : public HalReport {
 protected:
  void SetUp() override {
    writeNodes();
    ASSERT_NE(addTouchscreen(), nullptr);
    stylus_ = std::make_shared<platform::sim::EvdevDevice>("sim-pen");
    stylus_->setAbsAxis(ABS_X, {0, 0, kExtentX * kScale - 1, 0, 0, 0});
    stylus_->setAbsAxis(ABS_Y, {0, 0, kExtentY * kScale - 1, 0, 0, 0});
    stylus_->setAbsAxis(ABS_PRESSURE, {0, 0, 4095, 0, 0, 0});
    stylus_->setAbsAxis(ABS_TILT_X, {0, -90, 90, 0, 0, 0});
    stylus_->setAbsAxis(ABS_TILT_Y, {0, -90, 90, 0, 0, 0});
    stylus_->setAbsAxis(ABS_DISTANCE, {0, 0, 255, 0, 0, 0});
    stylus_->setBit(EV_KEY, BTN_TOOL_PEN);
    stylus_->setBit(EV_KEY, BTN_TOUCH);
    ASSERT_EQ(platform::sim::registerDevice("/dev/input/event2", stylus_), 0);
    start("input_device\n    support_finger = 1\n    support_stylus = 1\n");
  }
  void TearDown() override {
    HalReport::TearDown();
    platform::sim::unregisterDevice("/dev/input/event2");
  }
  static AlgTouchPoint pen(int32_t action, int32_t x, int32_t y, int32_t pressure, int32_t distance,
                           int32_t tiltX = 0, int32_t tiltY = 0) {
    AlgTouchPoint p = finger(0, x, y, action);
    p.tool = ALG_TOUCH_TOOL_STYLUS;
    p.pressure = pressure;
    p.distance = distance;
    p.tilt_x = tiltX;
    p.tilt_y = tiltY;
    return p;
  }
  std::vector<Ev> penEvents() { return penReader_.take(*stylus_); }

  std::shared_ptr<platform::sim::EvdevDevice> stylus_;
  EventReader penReader_;
};

std::vector<Ev> penState(int32_t touch, int32_t pressure, int32_t x, int32_t y, int32_t tiltX, int32_t tiltY,
                         int32_t distance, int32_t tool) {
  return {{EV_KEY, BTN_TOUCH, touch},  {EV_ABS, ABS_PRESSURE, pressure}, {EV_ABS, ABS_X, x},
          {EV_ABS, ABS_Y, y},          {EV_ABS, ABS_TILT_X, tiltX},      {EV_ABS, ABS_TILT_Y, tiltY},
          {EV_ABS, ABS_DISTANCE, distance}, {EV_KEY, BTN_TOOL_PEN, tool}, {EV_SYN, SYN_REPORT, 0}};
}

const std::vector<Ev> kPenUp = {
    {EV_KEY, BTN_TOUCH, 0},  {EV_ABS, ABS_PRESSURE, 0}, {EV_ABS, ABS_X, 0},      {EV_ABS, ABS_Y, 0},
    {EV_ABS, ABS_TILT_X, 0}, {EV_ABS, ABS_TILT_Y, 0},   {EV_ABS, ABS_DISTANCE, 0}, {EV_KEY, BTN_TOOL_PEN, 0},
    {EV_KEY, BTN_STYLUS, 0}, {EV_KEY, BTN_STYLUS2, 0},  {EV_SYN, SYN_REPORT, 0}};

TEST_F(HalStylus, PenEventsFollowTheActions) {
  penEvents();
  events();
  const struct {
    const char *name;
    AlgTouchPoint point;
    std::vector<Ev> written;
    uint32_t touching;  // the touch state after the report
    const char *log;
  } steps[] = {
      {"down", pen(ALG_TOUCH_ACTION_DOWN, 100, 200, 300, 0, 5, -6), penState(1, 300, 100, 200, 5, -6, 0, 1), 1,
       "stylus down"},
      {"move", pen(ALG_TOUCH_ACTION_MOVE, 110, 210, 280, 0), penState(1, 280, 110, 210, 0, 0, 0, 1), 1,
       "stylus move"},
      {"hover", pen(ALG_TOUCH_ACTION_HOVER, 120, 220, 0, 7), penState(0, 0, 120, 220, 0, 0, 7, 1), 1,
       "stylus hover"},
      {"out of range", pen(ALG_TOUCH_ACTION_HOVER, 120, 220, 0, 0), penState(0, 0, 120, 220, 0, 0, 0, 0), 1,
       nullptr},
      {"up", pen(ALG_TOUCH_ACTION_UP, 120, 220, 0, 0), kPenUp, 0, "stylus up"},
      // Already up: nothing to write, and no write error either.
      {"up again", pen(ALG_TOUCH_ACTION_UP, 120, 220, 0, 0), {}, 0, nullptr},
  };
  for (const auto &s : steps) {
    SCOPED_TRACE(s.name);
    report({s.point});
    EXPECT_EQ(penEvents(), s.written);
    std::vector<uint32_t> states = host_.touchStates();
    EXPECT_EQ(states.empty() ? 0u : states.back(), s.touching);
    if (s.log != nullptr) {
      EXPECT_EQ(host_.count(s.log), 1u) << s.log;
    }
  }
  EXPECT_TRUE(events().empty());  // the finger device saw none of it
  EXPECT_EQ(host_.count("move error"), 0u);
  EXPECT_EQ(host_.touchStates(), (std::vector<uint32_t>{1, 0}));
}

TEST_F(HalStylus, PenGoesDirectlyAndOnTheSuperResolutionGrid) {
  penEvents();
  setMode(1081, 4);  // s = 8 / 4 = 2
  report({pen(ALG_TOUCH_ACTION_DOWN, 1001, 2003, 10, 0)});
  EXPECT_EQ(penEvents(), penState(1, 10, 1000, 2002, 0, 0, 0, 1));
  // Suspending lifts the pen.
  module_->update_suspend_status(1);
  std::vector<Ev> evs = penEvents();
  ASSERT_GE(evs.size(), kPenUp.size());
  EXPECT_EQ(std::vector<Ev>(evs.begin(), evs.begin() + static_cast<long>(kPenUp.size())), kPenUp);
}

}  // namespace
