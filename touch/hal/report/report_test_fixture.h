#pragma once
// Test helpers of the report tests: the whole module over a temporary root with a matching
// touchscreen, common-data blocks built field by field, and the events written since the
// last look.
#include <linux/input.h>
#include <string.h>
#include <time.h>

#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "config/test_host.h"
#include "platform/properties.h"
#include "platform/properties_test_api.h"
#include "report/hal_report.h"
#include "report/report_timer.h"
#include "touch_host/input_events.h"

namespace hal_report_test {

using touch_host::testsupport::Ev;

inline common_data block(uint8_t cmd, uint16_t mode, std::vector<uint32_t> values) {
  common_data b;
  memset(&b, 0, sizeof b);
  b.cmd = cmd;
  b.mode = mode;
  b.count = static_cast<uint16_t>(values.size());
  for (size_t i = 0; i < values.size(); ++i) b.values[i] = values[i];
  return b;
}

inline int64_t monotonicNs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// Events written to one evdev device, consumed piecewise.
class EventReader {
 public:
  std::vector<Ev> take(const platform::sim::EvdevDevice &dev) {
    std::vector<input_event> all = dev.writtenEvents();
    std::vector<Ev> out;
    for (size_t i = seen_; i < all.size(); ++i) out.push_back({all[i].type, all[i].code, all[i].value});
    seen_ = all.size();
    return out;
  }

 private:
  size_t seen_ = 0;
};

class HalReport : public hal_test::ModuleFixture {
 protected:
  void startWith(const std::string &config) {
    writeNodes();
    ASSERT_NE(addTouchscreen(), nullptr);
    start(config);
  }
  void report(std::vector<AlgTouchPoint> points) {
    module_->report_points(points.data(), static_cast<uint32_t>(points.size()));
  }
  int32_t command(common_data b, int32_t *pass = nullptr) {
    int32_t flag = -7;
    int32_t result = hal_report_interface()->receive_common_data(&b, pass != nullptr ? pass : &flag);
    last_ = b;
    return result;
  }
  // The display's refresh rate as the host passes it on.
  void displayRate(uint32_t hz) { hal_report_interface()->rate_change(hz, 0); }
  void setMode(uint16_t mode, uint32_t value) { command(block(COMMON_DATA_CMD_SET_MODE_VALUE, mode, {value})); }
  // Events written to the touchscreen since the last call.
  std::vector<Ev> events() { return touchscreenEvents_.take(*touchscreen_); }

  EventReader touchscreenEvents_;
  common_data last_{};
};

// The vsync callback the host registers; calls are kept in order.
class VsyncCalls {
 public:
  static void callback(int32_t state) {
    std::lock_guard<std::mutex> guard(lock());
    calls().push_back(state);
  }
  static std::vector<int32_t> take() {
    std::lock_guard<std::mutex> guard(lock());
    std::vector<int32_t> out = calls();
    calls().clear();
    return out;
  }

 private:
  static std::mutex &lock() {
    static std::mutex m;
    return m;
  }
  static std::vector<int32_t> &calls() {
    static std::vector<int32_t> c;
    return c;
  }
};

// Vsync reporting switched on: the scheduler property, "vsync_reprot_mode" and the timer.
class HalVsync : public HalReport {
 protected:
  static constexpr const char *kVsyncConfig =
      "vsync_report\n    vsync_reprot_mode = 1\n"
      "report_rate\n    use_report_timer = 1\n    ic_rate_normal = 120\n    rate_normal = 120\n"
      "    ic_rate_vsync = 60\n";

  void SetUp() override {
    plat_properties_reset();
    ASSERT_EQ(property_set("ro.vendor.touch.touchscheduler.enable", "true"), 0);
    VsyncCalls::take();
    hal_report_register_vsync_callback(&VsyncCalls::callback);
    startWith(config());
  }
  void TearDown() override {
    hal_report_register_vsync_callback(nullptr);
    HalReport::TearDown();
    plat_properties_reset();
  }
  virtual std::string config() const { return kVsyncConfig; }

  // A vsync from the framework: the next vsync nsAhead from now, in seconds and microseconds.
  void vsyncIn(int64_t nsAhead, uint32_t vsyncMode = 1) {
    int64_t next = monotonicNs() + nsAhead;
    command(block(COMMON_DATA_CMD_SET_LONG_VALUE, COMMON_DATA_MODE_VSYNC_TIME,
                  {static_cast<uint32_t>(next / 1000000000), static_cast<uint32_t>((next % 1000000000) / 1000),
                   vsyncMode}));
  }
  int32_t state() { return report_timer_status().vsync_state; }
};

}  // namespace hal_report_test
