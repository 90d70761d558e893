// The start of every whole-road test: the simulated touch rig, the touch host with the real
// HAL module and a production algorithm loaded, brought up with the screen on, and the
// recording touchscreen's reader.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "touch_host/host.h"
#include "touch_host/input_events.h"
#include "touch_host/sim_touch_rig.h"

namespace road_fixture {

class RoadTest : public ::testing::Test {
 protected:
  // Makes the rig and loads the HAL and algorithm ALG (a library in the plug-in folder);
  // CONFIG, when not empty, is the algorithm's configuration file. TOUCH_ROAD_LOG set shows
  // the modules' log.
  void Load(const touch_host::testsupport::RigOptions &options, const std::string &alg,
            const std::vector<uint8_t> &config) {
    rig_ = std::make_unique<touch_host::testsupport::SimTouchRig>(options);
    touch_host::HostOptions host_options;
    host_options.log_sink = [](const touch_host::LogLine &line) {
      if (getenv("TOUCH_ROAD_LOG") != nullptr)
        fprintf(stderr, "[%s] %s\n", touch_host::to_string(line.source), line.text.c_str());
    };
    host_ = std::make_unique<touch_host::TouchHost>(host_options);
    std::string error;
    ASSERT_TRUE(host_->load_hal(std::string(VENDOR_PLUGIN_DIR) + "/libtapsense_hal.so", &error)) << error;
    ASSERT_TRUE(host_->load_alg(std::string(VENDOR_PLUGIN_DIR) + "/" + alg, &error)) << error;
    if (!config.empty()) {
      const std::string path = rig_->root().dir() + "/alg_config.bin";
      std::ofstream(path, std::ios::binary)
          .write(reinterpret_cast<const char *>(config.data()), static_cast<std::streamsize>(config.size()));
      ASSERT_EQ(host_->read_configuration_file(path), touch_host::HostStatus::kOk);
    }
  }
  // Loads as above and brings both modules up with the screen on.
  void Start(const touch_host::testsupport::RigOptions &options, const std::string &alg,
             const std::vector<uint8_t> &config) {
    ASSERT_NO_FATAL_FAILURE(Load(options, alg, config));
    int32_t alg_result = -1;
    ASSERT_EQ(host_->init(&alg_result), touch_host::HostStatus::kOk);
    ASSERT_EQ(alg_result, 0);
    ASSERT_EQ(host_->update_suspend_status(false), touch_host::HostStatus::kOk);  // screen on
    rig_->newEvents();  // the release of every slot at the HAL's init
  }
  void TearDown() override {
    host_.reset();
    rig_.reset();
  }

  std::unique_ptr<touch_host::testsupport::SimTouchRig> rig_;
  std::unique_ptr<touch_host::TouchHost> host_;
  touch_host::testsupport::MultiTouchReader reader_;
};

}  // namespace road_fixture
