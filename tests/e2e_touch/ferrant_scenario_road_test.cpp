// A long session of algorithm A on the whole touch road, on the largest panel the module
// takes (52 drive x 56 sense lines): the simulated driver pushes raw second-generation
// Ferrant frames, the real HAL decodes them, the production plug-in (loaded by the touch
// host) finds and tracks the fingers, and the HAL writes the points to the recording
// touchscreen. The session: screen on and the power-on reference, a finger down, a swipe, a
// second finger, both up, LCD row noise, a frequency hop, a low-temperature episode, screen
// off and on again.
//
// Every frame is checked the same way, whatever the episode:
//  - the touchscreen carries exactly the points the algorithm reported;
//  - every point that is not an up lies at a finger: within kNear of the segment from the
//    finger's previous to its present node position (the coordinate smoothing trails a
//    moving finger by up to one frame's travel). kNear is 3/8 of a line pitch (24 of the 64
//    screen units of a node): room for the smoothing and the centroid of a cone-shaped
//    finger, too tight for a swapped axis, a wrong scale or a point half a line off;
//  - a finger keeps the id it came down with;
//  - a lifted finger's id comes up exactly once, and no up comes for a finger still down.
// The algorithm's own work in the frames after start-up makes no heap allocation (counted
// on the frame thread only while control is inside the module).
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common_data.h"
#include "tamrel_touch/frame_encoders.h"
#include "touch_host/ferrant_road.h"
#include "touch_host/host.h"
#include "touch_host/input_events.h"
#include "touch_host/sim_touch_rig.h"
#include "vendor_test/alloc_counter.h"

namespace {

namespace road = touch_host::testsupport::ferrant_road;
using touch_host::HostStatus;
using touch_host::testsupport::MultiTouchReader;
using touch_host::testsupport::RigOptions;
using touch_host::testsupport::SimTouchRig;
using Picture = MultiTouchReader::Picture;

const std::string kHal = std::string(VENDOR_PLUGIN_DIR) + "/libtapsense_hal.so";
const std::string kAlg = std::string(VENDOR_PLUGIN_DIR) + "/libtapsense_alg_ferrant.so";

constexpr road::Panel kPanel{52, 56};
constexpr int32_t kNear = 24;  // 3/8 of a line pitch (64 on the road screen)
constexpr int8_t kColdEntry = -5;

// Distance from point P to the segment A-B (all in screen units).
double DistanceToSegment(double px, double py, double ax, double ay, double bx, double by) {
  const double dx = bx - ax, dy = by - ay;
  const double len2 = dx * dx + dy * dy;
  double t = len2 == 0 ? 0 : ((px - ax) * dx + (py - ay) * dy) / len2;
  t = t < 0 ? 0 : (t > 1 ? 1 : t);
  return std::hypot(px - (ax + t * dx), py - (ay + t * dy));
}

class FerrantScenario : public ::testing::Test {
 protected:
  // A finger of the session, by name: where it is now and where it was the frame before.
  struct Tracked {
    road::Finger now;
    road::Finger before;
    int32_t id = -1;  // the point id it came down with
  };

  void SetUp() override {
    ASSERT_TRUE(vendor_test::allocationCountingWorks()) << "allocations cannot be counted";
    RigOptions options;
    options.hal_config = touch_host::testsupport::hal_config_text(road::hal_panel(kPanel));
    options.frame_buffer_pages = 3;  // a 52 x 56 frame is larger than two pages
    rig_ = std::make_unique<SimTouchRig>(options);
    touch_host::HostOptions host_options;
    host_options.log_sink = [](const touch_host::LogLine &line) {
      if (getenv("TOUCH_ROAD_LOG") != nullptr)
        fprintf(stderr, "[%s] %s\n", touch_host::to_string(line.source), line.text.c_str());
    };
    // Only the module's own work counts: the host's recording and the HAL's report run
    // between, in the module's callbacks.
    host_options.on_alg_control = [this](bool in) {
      if (!counting_) return;
      module_entries_ += in ? 1 : 0;
      if (in)
        vendor_test::resumeCountingAllocations();
      else
        vendor_test::pauseCountingAllocations();
    };
    host_ = std::make_unique<touch_host::TouchHost>(host_options);
    std::string error;
    ASSERT_TRUE(host_->load_hal(kHal, &error)) << error;
    ASSERT_TRUE(host_->load_alg(kAlg, &error)) << error;
    road::AlgConfig config;
    config.touch_threshold = 100;
    config.second_threshold = 120;
    config.panel = kPanel;
    config.screen_x = kPanel.screen_x();
    config.screen_y = kPanel.screen_y();
    config.sections = {road::hopping_allowed_section(), road::hopping_section(),
                       road::lcd_denoise_section(kPanel.sense), road::low_temp_section(kColdEntry)};
    const fxtest::Bytes file = road::alg_config_file(config);
    const std::string path = rig_->root().dir() + "/alg_config.bin";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char *>(file.data()), static_cast<std::streamsize>(file.size()));
    ASSERT_EQ(host_->read_configuration_file(path), HostStatus::kOk);
    int32_t alg_result = -1;
    ASSERT_EQ(host_->init(&alg_result), HostStatus::kOk);
    ASSERT_EQ(alg_result, 0);
  }
  void TearDown() override {
    if (counting_) vendor_test::stopCountingAllocations();
    host_.reset();
    rig_.reset();
  }

  // Screen on, then the controller's frames until algorithm A reports: the first without a
  // reference (the algorithm asks for one), the controller's reference, quiet frames while
  // the power-on reference is taken.
  void ScreenOn() {
    ASSERT_EQ(host_->update_suspend_status(false), HostStatus::kOk);
    rig_->newEvents();
    Quiet(1, 0);
    Quiet(1, road::kReferenceFrame);
    bool reporting = false;
    for (int i = 0; i < 12 && !reporting; ++i) {
      host_->clear_record();
      Quiet(1);
      reporting = !host_->snapshot().reports.empty();
    }
    ASSERT_TRUE(reporting) << "algorithm A never started reporting";
  }

  // N frames with no finger on the panel (the fingers of fingers_ stay, when there are).
  void Quiet(int n, uint8_t flags = 0) {
    for (int i = 0; i < n; ++i) ASSERT_NO_FATAL_FAILURE(Frame({}, flags));
  }

  // One frame with the fingers of fingers_ (plus EXTRA_DIFF, e.g. LCD noise), the frame
  // flags given and the IM rows and frequency of extras_; checks the frame's output against
  // the fingers.
  void Frame(const std::vector<int16_t> &extra_diff = {}, uint8_t flags = 0) {
    std::vector<road::Finger> on;
    for (const auto &[name, t] : fingers_) on.push_back(t.now);
    std::vector<int16_t> diff = road::diff_with_fingers(on, kPanel.drive, kPanel.sense);
    for (size_t i = 0; i < extra_diff.size() && i < diff.size(); ++i)
      diff[i] = static_cast<int16_t>(diff[i] + extra_diff[i]);
    road::FrameExtras extras = extras_;
    extras.flags = flags;
    ++k_;
    host_->clear_record();
    ASSERT_TRUE(rig_->pushFrame(road::frame_slot_for(kPanel, k_, rig_->slotSize(), road::raw_with_diff(diff), extras)));
    ASSERT_EQ(host_->run_frame(), HostStatus::kOk);
    const touch_host::HostRecord r = host_->snapshot();
    std::vector<AlgTouchPoint> points;
    for (const touch_host::PointReport &report : r.reports)
      points.insert(points.end(), report.points.begin(), report.points.end());
    controller_writes_.insert(controller_writes_.end(), r.controller_writes.begin(), r.controller_writes.end());
    const std::vector<Picture> pictures = reader_.read(rig_->newEvents());
    CheckFrame(points, pictures);
    for (auto &[name, t] : fingers_) t.before = t.now;
  }

  void CheckFrame(const std::vector<AlgTouchPoint> &points, const std::vector<Picture> &pictures) {
    SCOPED_TRACE(testing::Message() << "frame " << k_);
    // The touchscreen carries the points.
    if (points.empty()) {
      // The HAL may write a release of every slot (its first report after screen-on does);
      // no contact may show.
      EXPECT_TRUE(pictures.empty() || pictures.back().empty()) << "contacts without points";
    } else {
      ASSERT_FALSE(pictures.empty()) << "no SYN_REPORT for the frame's points";
      const Picture &p = pictures.back();
      for (const AlgTouchPoint &q : points) {
        if (q.action == ALG_TOUCH_ACTION_UP) {
          EXPECT_EQ(p.count(static_cast<int32_t>(q.id)), 0u) << "slot " << q.id << " stays down after its up";
          continue;
        }
        ASSERT_EQ(p.count(static_cast<int32_t>(q.id)), 1u) << "slot " << q.id << " is not on the touchscreen";
        EXPECT_EQ(p.at(static_cast<int32_t>(q.id)).x, static_cast<int32_t>(q.x));
        EXPECT_EQ(p.at(static_cast<int32_t>(q.id)).y, static_cast<int32_t>(q.y));
      }
    }
    // Every point at a finger, every finger down with one point and its id.
    std::map<std::string, int> seen;
    for (const AlgTouchPoint &q : points) {
      if (q.action == ALG_TOUCH_ACTION_UP) {
        Up(static_cast<int32_t>(q.id));
        continue;
      }
      const std::string name = At(static_cast<int32_t>(q.x), static_cast<int32_t>(q.y));
      ASSERT_FALSE(name.empty()) << "a point where no finger is: id " << q.id << " at " << q.x << "," << q.y;
      ++seen[name];
      Tracked &t = fingers_[name];
      if (t.id < 0) {
        EXPECT_EQ(q.action, ALG_TOUCH_ACTION_DOWN) << name << " comes down";
        for (const auto &[other, u] : fingers_) EXPECT_TRUE(other == name || u.id != static_cast<int32_t>(q.id)) << "id taken";
        t.id = static_cast<int32_t>(q.id);
      } else {
        EXPECT_EQ(static_cast<int32_t>(q.id), t.id) << name << " keeps its id";
        EXPECT_EQ(q.action, ALG_TOUCH_ACTION_MOVE) << name;
      }
    }
    for (const auto &[name, t] : fingers_) EXPECT_EQ(seen[name], 1) << name << " has one point";
  }

  // The finger at X, Y (screen units): the name, or "" when none is near.
  std::string At(int32_t x, int32_t y) const {
    for (const auto &[name, t] : fingers_) {
      const double d = DistanceToSegment(x, y, road::road_screen_units(t.before.column), road::road_screen_units(t.before.row),
                                         road::road_screen_units(t.now.column), road::road_screen_units(t.now.row));
      if (d <= kNear) return name;
    }
    return {};
  }

  // An up for ID: it must be the id of a lifted finger whose up has not come yet.
  void Up(int32_t id) {
    for (const auto &[name, t] : fingers_) EXPECT_NE(t.id, id) << "an up for " << name << ", which is still down";
    auto it = awaiting_up_.find(id);
    ASSERT_NE(it, awaiting_up_.end()) << "an up for id " << id << " that no lifted finger had (or a second up)";
    awaiting_up_.erase(it);
  }

  void Down(const std::string &name, double row, double column) {
    fingers_[name] = Tracked{{row, column, 500}, {row, column, 500}, -1};
  }
  void Lift(const std::string &name) {
    auto it = fingers_.find(name);
    ASSERT_NE(it, fingers_.end());
    ASSERT_GE(it->second.id, 0) << name << " was never reported";
    awaiting_up_[it->second.id] = name;
    fingers_.erase(it);
  }
  // Frames until every lifted finger's up came (at most N), then one more frame: nothing
  // is left on the touchscreen of them.
  void AwaitUps(int n = 8) {
    for (int f = 0; f < n && !awaiting_up_.empty(); ++f) Frame();
    EXPECT_TRUE(awaiting_up_.empty()) << awaiting_up_.size() << " lifted finger(s) never came up";
  }

  void SendTemperature(int8_t temp) {
    common_data d{};
    d.mode = COMMON_DATA_MODE_TEMPERATURE;
    d.count = 1;
    d.values[0] = static_cast<uint8_t>(temp);
    ASSERT_EQ(host_->send_common_data(d), HostStatus::kOk);
  }
  // The low-temperature state byte of the module's kept low-temperature record.
  uint8_t LowTempState() const {
    using AddrFn = void *(*)();
    auto addr = reinterpret_cast<AddrFn>(host_->alg_symbol("GetLowTempNclnAddress"));
    EXPECT_NE(addr, nullptr);
    return addr == nullptr ? 0 : static_cast<const uint8_t *>(addr())[6];
  }

  bool Wrote(const std::vector<uint8_t> &packet) const {
    for (const touch_host::ControllerWrite &w : controller_writes_)
      if (w.packet == packet) return true;
    return false;
  }

  std::unique_ptr<SimTouchRig> rig_;
  std::unique_ptr<touch_host::TouchHost> host_;
  MultiTouchReader reader_;
  std::map<std::string, Tracked> fingers_;
  std::map<int32_t, std::string> awaiting_up_;
  std::vector<touch_host::ControllerWrite> controller_writes_;
  road::FrameExtras extras_;  // IM rows and frequency of the frames
  bool counting_ = false;
  int module_entries_ = 0;  // entries into the module while counting
  uint16_t k_ = 0;
};

// The counting the session relies on: only the calling thread, and nothing while paused.
TEST(AllocationCounting, OneThreadPausedAndResumed) {
  ASSERT_TRUE(vendor_test::allocationCountingWorks());
  std::atomic<int> step{0};
  std::thread other([&] {
    while (step.load() != 1) std::this_thread::yield();
    void *volatile p = std::malloc(8);
    std::free(p);
    step.store(2);
  });
  vendor_test::startCountingAllocationsOnThisThread();
  step.store(1);
  while (step.load() != 2) std::this_thread::yield();
  vendor_test::pauseCountingAllocations();
  void *volatile paused = std::malloc(8);
  vendor_test::resumeCountingAllocations();
  void *volatile counted = std::malloc(8);
  const uint64_t n = vendor_test::stopCountingAllocations();
  other.join();
  std::free(paused);
  std::free(counted);
  EXPECT_EQ(n, 1u) << "the other thread's and the paused allocation are not counted";
}

TEST_F(FerrantScenario, ALongSessionOnTheLargestPanel) {
  // Screen on and the power-on reference; start-up is over once the module reports.
  ASSERT_NO_FATAL_FAILURE(ScreenOn());
  const uint16_t first_counted = k_;
  counting_ = true;
  vendor_test::startCountingAllocationsOnThisThread();
  vendor_test::pauseCountingAllocations();

  {
    SCOPED_TRACE("a finger down, a swipe along the sense lines");
    Down("first", 20, 12);
    for (int f = 0; f < 3; ++f) ASSERT_NO_FATAL_FAILURE(Frame());
    for (int f = 1; f <= 40; ++f) {
      fingers_["first"].now.column = 12 + f * 0.5;
      ASSERT_NO_FATAL_FAILURE(Frame());
    }
  }
  {
    SCOPED_TRACE("a second finger, then both up");
    Down("second", 40, 20);
    for (int f = 0; f < 6; ++f) ASSERT_NO_FATAL_FAILURE(Frame());
    Lift("first");
    Lift("second");
    ASSERT_NO_FATAL_FAILURE(AwaitUps());
    ASSERT_NO_FATAL_FAILURE(Quiet(2));
  }
  {
    SCOPED_TRACE("LCD row noise, untouched and beside a finger");
    const std::vector<int> rows = {3, 11, 25, 26, 44};
    for (int f = 0; f < 8; ++f) {
      std::vector<int16_t> noise(static_cast<size_t>(kPanel.mutual()), 0);
      road::add_row_noise(noise, kPanel, rows, (f % 2 == 0 ? 1 : -1) * (600 + 100 * f));
      ASSERT_NO_FATAL_FAILURE(Frame(noise));
    }
    Down("noisy", 30, 30);
    for (int f = 0; f < 10; ++f) {
      std::vector<int16_t> noise(static_cast<size_t>(kPanel.mutual()), 0);
      road::add_row_noise(noise, kPanel, rows, (f % 2 == 0 ? 1 : -1) * (700 + 50 * f));
      ASSERT_NO_FATAL_FAILURE(Frame(noise));
    }
    Lift("noisy");
    ASSERT_NO_FATAL_FAILURE(AwaitUps());
  }
  {
    SCOPED_TRACE("a frequency hop");
    // Loud IM noise on the frequency in use: the module asks the controller for the quietest
    // one, and the controller's frames come from it from then on.
    extras_.im = road::im_rows(kPanel, 0, 2);
    ASSERT_NO_FATAL_FAILURE(Quiet(1));
    EXPECT_TRUE(Wrote(road::frequency_packet(2))) << "the switch to frequency 2 reaches the controller";
    extras_.freq_index = 2;
    extras_.im = road::im_rows(kPanel, -1, -1);
    ASSERT_NO_FATAL_FAILURE(Quiet(5));
    Down("after hop", 10, 45);
    for (int f = 0; f < 10; ++f) {
      fingers_["after hop"].now.row = 10 + f * 0.25;
      ASSERT_NO_FATAL_FAILURE(Frame());
    }
    Lift("after hop");
    ASSERT_NO_FATAL_FAILURE(AwaitUps());
  }
  {
    SCOPED_TRACE("a low-temperature episode");
    ASSERT_NO_FATAL_FAILURE(SendTemperature(kColdEntry));
    ASSERT_NO_FATAL_FAILURE(Quiet(1));
    EXPECT_EQ(LowTempState(), 2) << "the module is in its low-temperature state";
    Down("cold", 45, 8);
    for (int f = 0; f < 20; ++f) {
      fingers_["cold"].now.column = 8 + f * 0.5;
      ASSERT_NO_FATAL_FAILURE(Frame());
    }
    Lift("cold");
    ASSERT_NO_FATAL_FAILURE(AwaitUps());
    ASSERT_NO_FATAL_FAILURE(Quiet(4));
    ASSERT_NO_FATAL_FAILURE(SendTemperature(25));
    ASSERT_NO_FATAL_FAILURE(Quiet(1));
  }
  const uint64_t allocations = vendor_test::stopCountingAllocations();
  counting_ = false;
  const int counted_frames = k_ - first_counted;
  EXPECT_GE(module_entries_, counted_frames) << "every counted frame entered the module";
  EXPECT_EQ(allocations, 0u) << "heap allocations in algorithm A's frames after start-up";
  {
    SCOPED_TRACE("screen off and on");
    ASSERT_EQ(host_->update_suspend_status(true), HostStatus::kOk);
    ASSERT_NO_FATAL_FAILURE(ScreenOn());
    Down("again", 26, 28);
    for (int f = 0; f < 4; ++f) ASSERT_NO_FATAL_FAILURE(Frame());
    Lift("again");
    ASSERT_NO_FATAL_FAILURE(AwaitUps());
    EXPECT_FALSE(reader_.touching());
  }
}

}  // namespace
