// The whole touch road through the touch host: Ferrant frames pushed by the simulated driver,
// decoded by the real HAL module, processed by the real algorithm A, and algorithm A's point
// reports written by the HAL's report interface to the recording touchscreen.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "ferrant_script_hook_test.h"
#include "tamrel_touch/frame_encoders.h"
#include "touch_host/host.h"
#include "touch_host/input_events.h"
#include "touch_host/ferrant_road.h"
#include "touch_host/sim_touch_rig.h"

namespace {

using touch_host::testsupport::Ev;
using touch_host::testsupport::plain;
using touch_host::testsupport::syn_reports;

using namespace std::chrono_literals;
namespace road = touch_host::testsupport::ferrant_road;
using touch_host::testsupport::hal_config_text;
using touch_host::testsupport::RigOptions;
using touch_host::testsupport::SimTouchRig;

const std::string kHal = std::string(VENDOR_PLUGIN_DIR) + "/libtapsense_hal.so";
// Algorithm A's test build with the entry that scripts its coordinate result: its region and
// coordinate stages have no bodies yet, so the points of a frame are set from here.
const std::string kAlg = std::string(VENDOR_PLUGIN_DIR) + "/libtapsense_alg_ferrant_scripted.so";

class TouchRoad : public ::testing::Test {
 protected:
  void SetUp() override {
    RigOptions options;
    options.hal_config = hal_config_text(road::hal_panel());
    rig_ = std::make_unique<SimTouchRig>(options);
    const fxtest::Bytes file = road::alg_config_file();
    config_path_ = rig_->root().dir() + "/flash.bin";
    std::ofstream(config_path_, std::ios::binary)
        .write(reinterpret_cast<const char *>(file.data()), static_cast<std::streamsize>(file.size()));

    touch_host::HostOptions host_options;
    host_options.log_sink = [](const touch_host::LogLine &line) {
      if (getenv("TOUCH_ROAD_LOG") != nullptr) fprintf(stderr, "[%s] %s\n", touch_host::to_string(line.source), line.text.c_str());
    };
    host_ = std::make_unique<touch_host::TouchHost>(host_options);
    std::string error;
    ASSERT_TRUE(host_->load_hal(kHal, &error)) << error;
    ASSERT_TRUE(host_->load_alg(kAlg, &error)) << error;
    ASSERT_EQ(host_->alg_style(), touch_host::AlgCallStyle::kFerrant);
    ASSERT_EQ(host_->read_configuration_file(config_path_), touch_host::HostStatus::kOk);
    int32_t alg_result = -1;
    ASSERT_EQ(host_->init(&alg_result), touch_host::HostStatus::kOk);
    ASSERT_EQ(alg_result, 0);
    ASSERT_EQ(host_->update_suspend_status(false), touch_host::HostStatus::kOk);  // screen on
    script_ = reinterpret_cast<FerxScriptCoordinatesFn>(host_->alg_symbol(FERX_SCRIPT_COORDINATES_SYMBOL));
    ASSERT_NE(script_, nullptr);
    frame_ = 0;
  }
  // One frame down the road with the coordinate result `points`.
  void frame(const std::vector<FerxScriptedPoint> &points, uint8_t flags = 0) {
    ++frame_;
    script_(points.data(), static_cast<uint8_t>(points.size()));
    ASSERT_TRUE(rig_->pushFrame(road::frame_slot(frame_, rig_->slotSize(), flags)));
    ASSERT_EQ(host_->run_frame(), touch_host::HostStatus::kOk) << "frame " << frame_;
  }
  void TearDown() override {
    host_.reset();
    rig_.reset();
  }

  std::unique_ptr<SimTouchRig> rig_;
  std::unique_ptr<touch_host::TouchHost> host_;
  std::string config_path_;
  FerxScriptCoordinatesFn script_ = nullptr;
  uint16_t frame_ = 0;
};

TEST_F(TouchRoad, DriverFramesReachAlgorithmAThroughTheHalInOrder) {
  constexpr uint16_t kFrames = 5;
  std::vector<uint64_t> seen_counts;
  for (uint16_t k = 1; k <= kFrames; ++k) {
    frame({}, k == 2 ? road::kReferenceFrame : 0);
    const touch_host::HostRecord r = host_->snapshot();
    // Algorithm A hands back the frame it processed: the HAL's copy, now holding frame k.
    ASSERT_EQ(r.frames_processed.size(), k);
    const DecodedFrame *frame = r.frames_processed.back();
    ASSERT_NE(frame, nullptr);
    uint64_t count = 0;
    memcpy(&count, &frame->frame_count, sizeof count);
    seen_counts.push_back(count);
  }
  EXPECT_EQ(seen_counts, (std::vector<uint64_t>{1, 2, 3, 4, 5}));
  // Algorithm A's controller commands went the other way: through the host to the HAL, which
  // wrote them to the driver's command node, and the algorithm heard that they were written.
  const touch_host::HostRecord r = host_->snapshot();
  ASSERT_FALSE(r.controller_writes.empty());
  const std::vector<uint8_t> &last = r.controller_writes.back().packet;
  // (A plain file stands in for the node: a shorter write leaves the tail of a longer one.)
  EXPECT_EQ(rig_->root().readFile("/sys/class/touch/touch_dev/touch_thp_ic_cmd_data").substr(0, last.size()),
            std::string(last.begin(), last.end()));
  for (const touch_host::LogLine &line : r.logs) EXPECT_EQ(line.text.find("ic_cmd_callback failed"), std::string::npos);
}


// A touch that lands, moves and lifts: algorithm A's reports come out of the HAL as the
// multi-touch sequence, at the positions algorithm A reported.
TEST_F(TouchRoad, ScriptedTouchComesOutAsInputEvents) {
  frame({});
  frame({}, road::kReferenceFrame);
  rig_->newEvents();  // the release of every slot at the HAL's init
  auto last_point = [&]() -> AlgTouchPoint {
    const touch_host::HostRecord r = host_->snapshot();
    if (r.reports.empty() || r.reports.back().points.empty()) return AlgTouchPoint{};
    return r.reports.back().points.front();
  };

  frame({{0, 700, 900, 300}});
  const AlgTouchPoint down = last_point();
  EXPECT_EQ(down.id, 0);
  EXPECT_EQ(down.action, ALG_TOUCH_ACTION_DOWN);
  const std::vector<Ev> expected_down = {
      {EV_ABS, ABS_MT_SLOT, 0},          {EV_ABS, ABS_MT_TOOL_TYPE, MT_TOOL_FINGER},
      {EV_KEY, BTN_TOUCH, 1},            {EV_KEY, BTN_TOOL_FINGER, 1},
      {EV_ABS, ABS_MT_TRACKING_ID, 100}, {EV_ABS, ABS_MT_PRESSURE, 1},
      {EV_ABS, ABS_MT_POSITION_X, down.x}, {EV_ABS, ABS_MT_POSITION_Y, down.y},
      {EV_SYN, SYN_REPORT, 0},
  };
  EXPECT_EQ(plain(rig_->newEvents()), expected_down);

  frame({{0, 760, 980, 300}});
  const AlgTouchPoint move = last_point();
  EXPECT_EQ(move.action, ALG_TOUCH_ACTION_MOVE);
  EXPECT_NE(move.x, down.x);  // the scripted move reaches the report
  const std::vector<Ev> expected_move = {
      {EV_ABS, ABS_MT_SLOT, 0},           {EV_ABS, ABS_MT_PRESSURE, 1},
      {EV_ABS, ABS_MT_POSITION_X, move.x}, {EV_ABS, ABS_MT_POSITION_Y, move.y},
      {EV_SYN, SYN_REPORT, 0},
  };
  EXPECT_EQ(plain(rig_->newEvents()), expected_move);

  frame({});
  EXPECT_EQ(last_point().action, ALG_TOUCH_ACTION_UP);
  const std::vector<Ev> expected_up = {
      {EV_ABS, ABS_MT_SLOT, 0}, {EV_ABS, ABS_MT_TRACKING_ID, -1}, {EV_KEY, BTN_TOUCH, 0},
      {EV_KEY, BTN_TOOL_FINGER, 0}, {EV_SYN, SYN_REPORT, 0},
  };
  EXPECT_EQ(plain(rig_->newEvents()), expected_up);
  // The HAL told the host of the touching state: slot 0 down, then nothing.
  EXPECT_EQ(host_->snapshot().touch_states, (std::vector<uint32_t>{1, 0}));
}

}  // namespace
