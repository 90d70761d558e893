#pragma once
// A simulated phone for the touch road, shared by the end-to-end tests and the demo: a
// temporary root, the touch driver at /dev/tamrel-touch with its sysfs and procfs nodes, the
// HAL module's configuration file where the module looks for it, and a multi-touch input
// device whose axes match the panel, so that the HAL's report interface finds it at once and
// every event it writes is recorded.
#include <linux/input.h>

#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "hal_module.h"
#include "platform/evdev_device.h"
#include "platform/simdev.h"
#include "platform/tamrel_touch.h"
#include "platform/temp_root.h"

namespace touch_host::testsupport {

// The sysfs and procfs nodes of the touch driver that the HAL writes and reads.
inline constexpr const char *kDriverNodes[] = {
    "/sys/class/touch/touch_dev/abnormal_event", "/sys/class/touch/touch_dev/touch_finger_status",
    "/sys/class/touch/touch_dev/touch_thp_ic_cmd_data", "/proc/tp_fw_version", "/proc/tp_lockdown_info"};

// The HAL configuration file's text for a frame decoder and a panel geometry; `more` is
// appended as it is (further sections).
struct HalPanelConfig {
  int frame_data_type = 2;
  int columns = 40;
  int rows = 18;
  int nodes = 720;
  int self_nodes = 58;
  int extra_nodes = 240;
  bool big_little_convert = false;
  std::string more;
};

inline std::string hal_config_text(const HalPanelConfig &c) {
  std::string text = "project_infor\n    frame_data_type = " + std::to_string(c.frame_data_type) + "\n";
  text += "hw\n";
  text += "    hal_col_num = " + std::to_string(c.columns) + "\n";
  text += "    hal_row_num = " + std::to_string(c.rows) + "\n";
  text += "    hal_node_num = " + std::to_string(c.nodes) + "\n";
  text += "    hal_snode_num = " + std::to_string(c.self_nodes) + "\n";
  text += "    hal_nnode_num = " + std::to_string(c.extra_nodes) + "\n";
  text += "    big_little_convert = " + std::string(c.big_little_convert ? "1" : "0") + "\n";
  return text + c.more;
}

struct RigOptions {
  uint16_t extent_x = 1080;
  uint16_t extent_y = 2400;
  uint8_t scale = 8;
  uint16_t rx_count = 18;
  uint16_t tx_count = 40;
  uint32_t frame_buffer_pages = 2;  // room for every family's frame of a small panel
  uint32_t frame_buffer_count = 16;
  std::string config_name = "tp_cfg.ini";
  std::string hal_config = hal_config_text({});
  bool touchscreen = true;
};

class SimTouchRig {
 public:
  static constexpr const char *kTouchscreenPath = "/dev/input/event1";

  explicit SimTouchRig(RigOptions options = {}) : options_(std::move(options)) {
    for (const char *node : kDriverNodes) root_.writeFile(node, "");
    root_.writeFile("/odm/firmware/" + options_.config_name, options_.hal_config);
    platform::sim::TamrelTouchConfig driver;
    driver.panel.extent_x = options_.extent_x;
    driver.panel.extent_y = options_.extent_y;
    driver.panel.scale = options_.scale;
    driver.panel.rx_count = options_.rx_count;
    driver.panel.tx_count = options_.tx_count;
    options_.config_name.copy(driver.panel.config_file, sizeof driver.panel.config_file - 1);
    driver.frame_buffer_pages = options_.frame_buffer_pages;
    driver.frame_buffer_count = options_.frame_buffer_count;
    driver_ = platform::sim::TamrelTouchDevice::create(driver);
    if (driver_ == nullptr) throw std::runtime_error("cannot register the simulated touch driver");
    if (options_.touchscreen) {
      touchscreen_ = std::make_shared<platform::sim::EvdevDevice>("sim-touchscreen");
      const int32_t max_x = options_.extent_x * options_.scale - 1;
      const int32_t max_y = options_.extent_y * options_.scale - 1;
      touchscreen_->setAbsAxis(ABS_MT_SLOT, {0, 0, 9, 0, 0, 0});
      touchscreen_->setAbsAxis(ABS_MT_POSITION_X, {0, 0, max_x, 0, 0, 0});
      touchscreen_->setAbsAxis(ABS_MT_POSITION_Y, {0, 0, max_y, 0, 0, 0});
      touchscreen_->setAbsAxis(ABS_MT_TRACKING_ID, {0, 0, 65535, 0, 0, 0});
      touchscreen_->setAbsAxis(ABS_MT_PRESSURE, {0, 0, 255, 0, 0, 0});
      touchscreen_->setAbsAxis(ABS_MT_TOOL_TYPE, {0, 0, MT_TOOL_MAX, 0, 0, 0});
      touchscreen_->setBit(EV_KEY, BTN_TOUCH);
      touchscreen_->setBit(EV_KEY, BTN_TOOL_FINGER);
      if (platform::sim::registerDevice(kTouchscreenPath, touchscreen_) != 0) {
        platform::sim::unregisterDevice(platform::sim::TamrelTouchDevice::kPath);
        throw std::runtime_error("cannot register the simulated touchscreen");
      }
    }
  }
  ~SimTouchRig() {
    if (touchscreen_) platform::sim::unregisterDevice(kTouchscreenPath);
    platform::sim::unregisterDevice(platform::sim::TamrelTouchDevice::kPath);
  }
  SimTouchRig(const SimTouchRig &) = delete;
  SimTouchRig &operator=(const SimTouchRig &) = delete;

  platform::testing::TempRoot &root() { return root_; }
  platform::sim::TamrelTouchDevice &driver() { return *driver_; }
  // Null when the rig was made without one.
  platform::sim::EvdevDevice *touchscreen() { return touchscreen_.get(); }
  const RigOptions &options() const { return options_; }
  size_t slotSize() const { return options_.frame_buffer_pages * platform::sim::TamrelTouchDevice::kPageSize; }

  // The driver fills its next ring slot and signals; true once the module has asked for it.
  bool pushFrame(const std::vector<uint8_t> &slot,
                 std::chrono::milliseconds timeout = std::chrono::milliseconds(2000)) {
    driver_->pushFrame(slot);
    return driver_->waitFramesTaken(timeout);
  }

  // Events written to the touchscreen since the previous call.
  std::vector<input_event> newEvents() {
    if (!touchscreen_) return {};
    const std::vector<input_event> all = touchscreen_->writtenEvents();
    std::vector<input_event> out(all.begin() + static_cast<std::ptrdiff_t>(std::min(seen_, all.size())), all.end());
    seen_ = all.size();
    return out;
  }

 private:
  RigOptions options_;
  platform::testing::TempRoot root_;
  std::shared_ptr<platform::sim::TamrelTouchDevice> driver_;
  std::shared_ptr<platform::sim::EvdevDevice> touchscreen_;
  size_t seen_ = 0;
};

}  // namespace touch_host::testsupport
