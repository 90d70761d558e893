// End to end: the real plug-in loaded with dlopen through the touch host, configured from
// a configuration file built byte by byte, initialised, driven and stopped.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "platform/paths.h"
#include "platform/temp_root.h"
#include "touch_host/host.h"
#include "tsa_module_test_util.h"

namespace {

using fxtest::Bytes;

const std::string kPlugin = std::string(VENDOR_PLUGIN_DIR) + "/libtapsense_alg_ferrant.so";

class FerrantEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = std::make_unique<platform::testing::TempRoot>();
    configPath_ = root_->dir() + "/flash.bin";
  }
  void WriteConfig(const Bytes& file) {
    std::ofstream out(configPath_, std::ios::binary);
    out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  }
  // A host with the plug-in loaded and FILE read as its configuration.
  std::unique_ptr<touch_host::TouchHost> LoadWith(const Bytes& file) {
    WriteConfig(file);
    touch_host::HostOptions options;
    options.log_sink = [](const touch_host::LogLine&) {};
    auto host = std::make_unique<touch_host::TouchHost>(options);
    std::string error;
    EXPECT_TRUE(host->load_alg(kPlugin, &error)) << error;
    EXPECT_EQ(host->alg_name(), "ferrant-alg");
    EXPECT_EQ(host->alg_version(), "ferx-alg-24.10.14.002");
    EXPECT_EQ(host->alg_style(), touch_host::AlgCallStyle::kFerrant);
    EXPECT_EQ(host->read_configuration_file(configPath_), touch_host::HostStatus::kOk);
    return host;
  }
  static bool Logged(const touch_host::HostRecord& r, const std::string& needle) {
    for (const auto& l : r.logs)
      if (l.text.find(needle) != std::string::npos) return true;
    return false;
  }
  std::unique_ptr<platform::testing::TempRoot> root_;
  std::string configPath_;
};

TEST_F(FerrantEndToEnd, InitStartsFrameReportingWithTwoTimersExitStopsIt) {
  auto owner = LoadWith(fxtest::BuildConfigFile(fxtest::GoodConfigBlob(), fxtest::BuildIcInfoBlock({})));
  touch_host::TouchHost& host = *owner;
  int32_t result = -1;
  ASSERT_EQ(host.init(&result), touch_host::HostStatus::kOk);
  EXPECT_EQ(result, 0);
  touch_host::HostRecord r = host.snapshot();
  ASSERT_EQ(r.controller_writes.size(), 1u);
  EXPECT_EQ(r.controller_writes[0].reg, 0x10174u);
  EXPECT_EQ(r.controller_writes[0].flag, 1u);
  EXPECT_EQ(r.controller_writes[0].packet, (std::vector<uint8_t>{0x00, 0x00, 0x06, 0x90, 0x01, 0x01, 0x98, 0x00}));
  EXPECT_EQ(r.timers_registered.size(), 2u);
  EXPECT_TRUE(Logged(r, "[ferx]: read flash.bin success, len:4609"));
  EXPECT_TRUE(Logged(r, "/dev/fxt_tools does not exist, skip") ||
              Logged(r, "/vendor/lib64/libferx_tsd.so does not exist, skip"));

  // One frame through both per-frame operations: the host hears back that it was processed.
  DecodedFrame frame{};
  frame.valid_mark = DECODED_FRAME_VALID_MARK;
  frame.frame_count = 5;
  ASSERT_EQ(host.process_frame(&frame), touch_host::HostStatus::kOk);
  r = host.snapshot();
  ASSERT_EQ(r.frames_processed.size(), 1u);
  EXPECT_EQ(r.frames_processed[0], &frame);

  // A common-data command that queues a controller request: sent after the next frame.
  common_data block{};
  block.cmd = COMMON_DATA_CMD_RESET_MODE;
  ASSERT_EQ(host.send_common_data(block), touch_host::HostStatus::kOk);
  ASSERT_EQ(host.process_frame(&frame), touch_host::HostStatus::kOk);
  r = host.snapshot();
  ASSERT_GE(r.controller_writes.size(), 2u);
  EXPECT_EQ(r.controller_writes[1].packet, (std::vector<uint8_t>{0x00, 0x00, 0x05, 0x9D, 0x01, 0xA3, 0x00}));

  const size_t before = r.controller_writes.size();
  ASSERT_EQ(host.exit(), touch_host::HostStatus::kOk);
  r = host.snapshot();
  ASSERT_EQ(r.controller_writes.size(), before + 1);
  EXPECT_EQ(r.controller_writes.back().packet, (std::vector<uint8_t>{0x00, 0x00, 0x05, 0x90, 0x00, 0x95, 0x00}));
}

TEST_F(FerrantEndToEnd, BadInformationBlockFailsInitWithoutTimersOrWrites) {
  Bytes block = fxtest::BuildIcInfoBlock({});
  block[block.size() - 1] ^= 0x55;  // checksum
  auto owner = LoadWith(fxtest::BuildConfigFile(fxtest::GoodConfigBlob(), block));
  touch_host::TouchHost& host = *owner;
  int32_t result = 0;
  EXPECT_EQ(host.init(&result), touch_host::HostStatus::kFailed);
  EXPECT_EQ(result, -22);
  const touch_host::HostRecord r = host.snapshot();
  EXPECT_TRUE(r.controller_writes.empty());
  EXPECT_TRUE(r.timers_registered.empty());
  EXPECT_TRUE(Logged(r, "ic info is invalid: checksum error!"));
}

TEST_F(FerrantEndToEnd, DebugDaemonIsBoundWhenItsLibraryAndNodeExist) {
  {
    std::ifstream in(FERRANT_TSD_STANDIN, std::ios::binary);
    root_->writeFile("/vendor/lib64/libferx_tsd.so",
                     std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()));
  }
  root_->writeFile("/dev/fxt_tools", "");
  auto owner = LoadWith(fxtest::BuildConfigFile(fxtest::GoodConfigBlob(), fxtest::BuildIcInfoBlock({})));
  touch_host::TouchHost& host = *owner;
  ASSERT_EQ(host.init(), touch_host::HostStatus::kOk);
  void* daemon = dlopen(plat_path("/vendor/lib64/libferx_tsd.so").c_str(), RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(daemon, nullptr);
  auto started = reinterpret_cast<int (*)()>(dlsym(daemon, "tsd_standin_start_calls"));
  auto lockedOk = reinterpret_cast<int (*)()>(dlsym(daemon, "tsd_standin_locked_ok"));
  auto stopped = reinterpret_cast<int (*)()>(dlsym(daemon, "tsd_standin_stop_calls"));
  EXPECT_EQ(started(), 1);
  EXPECT_EQ(lockedOk(), 1);  // it was handed a working command mutex
  ASSERT_EQ(host.exit(), touch_host::HostStatus::kOk);
  EXPECT_EQ(stopped(), 1);
  dlclose(daemon);
}

}  // namespace
