#pragma once
// Test helper of the configuration, report and send-to-driver tests: a host table registered
// with the module that records log lines, touching states and the parsed-configuration call.
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/hal_core.h"
#include "platform/evdev_device.h"
#include "platform/tamrel_touch.h"
#include "platform/temp_root.h"

namespace hal_test {

struct ParsedConfigCall {
  TouchPanelInfo *panel;
  void *tree;
  const HalConfigAccessor *accessor;
  int32_t vendor_fd;
  int32_t extent_x, extent_y, tx, rx;
};

class TestHost {
 public:
  TestHost() {
    self() = this;
    memset(&table_, 0, sizeof table_);
    table_.log = &TestHost::log;
    table_.touch_state = &TestHost::touchState;
    table_.parsed_config = &TestHost::parsedConfig;
    savedLevel_ = hal_log_level;
    hal_log_level = 5;
    register_hal_module(&table_);
  }
  ~TestHost() {
    register_hal_module(nullptr);  // the table dies with this object
    hal_log_level = savedLevel_;
    self() = nullptr;
  }
  HalHostCallbacks *table() { return &table_; }

  // Runs inside the parsed-configuration callback, while the tree is alive.
  std::function<void(const ParsedConfigCall &)> on_config;

  std::vector<std::string> lines() const {
    std::lock_guard<std::mutex> guard(lock_);
    return lines_;
  }
  size_t count(const std::string &needle) const {
    size_t n = 0;
    for (const std::string &line : lines()) n += line.find(needle) != std::string::npos;
    return n;
  }
  std::vector<uint32_t> touchStates() const {
    std::lock_guard<std::mutex> guard(lock_);
    return states_;
  }
  int configCalls() const { return configCalls_; }

 private:
  static TestHost *&self() {
    static TestHost *host = nullptr;
    return host;
  }
  static void log(int32_t level, const char *format, ...) {
    char text[2048];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (TestHost *h = self()) {
      std::lock_guard<std::mutex> guard(h->lock_);
      h->lines_.push_back(std::to_string(level) + " " + text);
    }
  }
  static void touchState(uint32_t touching) {
    if (TestHost *h = self()) {
      std::lock_guard<std::mutex> guard(h->lock_);
      h->states_.push_back(touching);
    }
  }
  static void parsedConfig(TouchPanelInfo *panel, void *tree, void *accessor, int32_t vendorFd, int32_t x,
                           int32_t y, int32_t tx, int32_t rx) {
    TestHost *h = self();
    if (h == nullptr) return;
    ++h->configCalls_;
    if (h->on_config) {
      h->on_config({panel, tree, static_cast<const HalConfigAccessor *>(accessor), vendorFd, x, y, tx, rx});
    }
  }

  HalHostCallbacks table_;
  int savedLevel_ = 0;
  mutable std::mutex lock_;
  std::vector<std::string> lines_;
  std::vector<uint32_t> states_;
  int configCalls_ = 0;
};

// A panel block as the driver fills it.
inline TouchPanelInfo makePanel(const char *configName, uint16_t x = 1080, uint16_t y = 2400, uint8_t scale = 8) {
  TouchPanelInfo panel;
  memset(&panel, 0, sizeof panel);
  panel.extent_x = x;
  panel.extent_y = y;
  panel.rx_count = 17;
  panel.tx_count = 38;
  panel.scale = scale;
  snprintf(panel.config_file, sizeof panel.config_file, "%s", configName);
  return panel;
}

// The whole module over a temporary root: the simulated touch driver, the driver's sysfs and
// procfs nodes, a configuration file, and (when asked) a multi-touch input device matching
// the panel. Init runs hal_module_init as the host does, reading the configuration through
// the module's own slot 9 inside the host's parsed-configuration callback.
class ModuleFixture : public ::testing::Test {
 protected:
  static constexpr uint16_t kExtentX = 1080;
  static constexpr uint16_t kExtentY = 2400;
  static constexpr uint8_t kScale = 8;

  void writeNodes() {
    for (const char *node : {"/sys/class/touch/touch_dev/abnormal_event", "/sys/class/touch/touch_dev/touch_finger_status",
                             "/sys/class/touch/touch_dev/touch_thp_ic_cmd_data", "/proc/tp_fw_version"}) {
      root_.writeFile(node, "");
    }
  }
  // A matching multi-touch device at /dev/input/event1.
  std::shared_ptr<platform::sim::EvdevDevice> addTouchscreen() {
    auto dev = std::make_shared<platform::sim::EvdevDevice>("sim-touchscreen");
    dev->setAbsAxis(ABS_MT_SLOT, {0, 0, 9, 0, 0, 0});
    dev->setAbsAxis(ABS_MT_POSITION_X, {0, 0, kExtentX * kScale - 1, 0, 0, 0});
    dev->setAbsAxis(ABS_MT_POSITION_Y, {0, 0, kExtentY * kScale - 1, 0, 0, 0});
    dev->setAbsAxis(ABS_MT_TRACKING_ID, {0, 0, 65535, 0, 0, 0});
    dev->setAbsAxis(ABS_MT_PRESSURE, {0, 0, 255, 0, 0, 0});
    dev->setBit(EV_KEY, BTN_TOUCH);
    dev->setBit(EV_KEY, BTN_TOOL_FINGER);
    if (platform::sim::registerDevice("/dev/input/event1", dev) != 0) return nullptr;
    touchscreen_ = dev;
    return dev;
  }
  // Writes the configuration file and starts the module.
  void start(const std::string &config) {
    root_.writeFile("/odm/firmware/tp_cfg.ini", config);
    platform::sim::TamrelTouchConfig driver;
    driver.panel = makePanel("tp_cfg.ini", kExtentX, kExtentY, kScale);
    if (adjustDriver) adjustDriver(driver);
    device_ = platform::sim::TamrelTouchDevice::create(driver);
    ASSERT_NE(device_, nullptr);
    module_ = register_hal_module(host_.table());
    host_.on_config = [this](const ParsedConfigCall &call) {
      module_->read_config_param(nullptr, call.tree, const_cast<HalConfigAccessor *>(call.accessor));
    };
    ASSERT_EQ(module_->init(0), 0);
    started_ = true;
  }
  void TearDown() override {
    if (started_) module_->exit();
    if (device_) platform::sim::unregisterDevice(platform::sim::TamrelTouchDevice::kPath);
    if (touchscreen_) platform::sim::unregisterDevice("/dev/input/event1");
  }

  // Changes the simulated driver's set-up before start() registers it.
  std::function<void(platform::sim::TamrelTouchConfig &)> adjustDriver;
  platform::testing::TempRoot root_;
  TestHost host_;
  HalModule *module_ = nullptr;
  std::shared_ptr<platform::sim::TamrelTouchDevice> device_;
  std::shared_ptr<platform::sim::EvdevDevice> touchscreen_;
  bool started_ = false;
};

}  // namespace hal_test
