#pragma once
// Test helpers of the core: a host table that records the module's log lines and driver
// blocks, and a fixture with a temporary root and the simulated touch driver.
#include <gtest/gtest.h>
#include <stdarg.h>
#include <stdio.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/hal_core.h"
#include "platform/tamrel_touch.h"
#include "platform/temp_root.h"

namespace hal::testing {

class RecordingHost {
 public:
  RecordingHost() {
    instance() = this;
    table_.log = &RecordingHost::log;
    table_.driver_common_data = &RecordingHost::commonData;
  }
  ~RecordingHost() {
    // The module keeps the host's table for its life: take this one back first.
    if (get_hal_module_callback() == &table_) register_hal_module(nullptr);
    instance() = nullptr;
  }
  HalHostCallbacks *table() { return &table_; }

  std::vector<std::string> lines() const {
    std::lock_guard<std::mutex> guard(lock_);
    return lines_;
  }
  size_t count(const std::string &needle) const {
    size_t n = 0;
    for (const std::string &line : lines())
      if (line.find(needle) != std::string::npos) ++n;
    return n;
  }
  bool waitFor(const std::string &needle, std::chrono::milliseconds timeout, size_t times = 1) const {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
      if (count(needle) >= times) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return count(needle) >= times;
  }
  std::vector<common_data> blocks() const {
    std::lock_guard<std::mutex> guard(lock_);
    return blocks_;
  }
  // While set, slot 1 blocks until released.
  void holdBlocks(bool hold) {
    {
      std::lock_guard<std::mutex> guard(lock_);
      hold_ = hold;
    }
    released_.notify_all();
  }

 private:
  static RecordingHost *&instance() {
    static RecordingHost *host = nullptr;
    return host;
  }
  static void log(int32_t level, const char *format, ...) {
    char text[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    RecordingHost *self = instance();
    if (self == nullptr) return;
    std::lock_guard<std::mutex> guard(self->lock_);
    self->lines_.push_back(std::to_string(level) + " " + text);
  }
  static void commonData(common_data *block) {
    RecordingHost *self = instance();
    if (self == nullptr) return;
    std::unique_lock<std::mutex> guard(self->lock_);
    self->blocks_.push_back(*block);
    self->released_.wait(guard, [&] { return !self->hold_; });
  }

  HalHostCallbacks table_{};
  mutable std::mutex lock_;
  std::condition_variable released_;
  std::vector<std::string> lines_;
  std::vector<common_data> blocks_;
  bool hold_ = false;
};

// A temporary root with the simulated driver at /dev/tamrel-touch and the host registered.
class DeviceFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    hal_log_level = HAL_LOG_ENTRY;
    register_hal_module(host_.table());
    timers_at_start_ = hal_registered_timer_count();
  }
  void TearDown() override {
    // The timer table is the process's: an entry left behind fills it for the tests after
    // this one (and points into an object that is gone).
    EXPECT_EQ(hal_registered_timer_count(), timers_at_start_) << "timers left registered";
    if (device_) platform::sim::unregisterDevice(platform::sim::TamrelTouchDevice::kPath);
    hal_log_level = HAL_LOG_INFO;
  }
  std::shared_ptr<platform::sim::TamrelTouchDevice> addDevice(platform::sim::TamrelTouchConfig config = {}) {
    device_ = platform::sim::TamrelTouchDevice::create(std::move(config));
    return device_;
  }

  platform::testing::TempRoot root_;
  RecordingHost host_;
  std::shared_ptr<platform::sim::TamrelTouchDevice> device_;
  int32_t timers_at_start_ = 0;
};

}  // namespace hal::testing
