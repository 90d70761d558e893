// The HAL module as the touch host sees it: the real plug-in loaded with dlopen through
// the touch_host library, against the simulated driver and frames built by the
// controller encoders.
#include <dirent.h>
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <string>

#include "platform/tamrel_touch.h"
#include "platform/temp_root.h"
#include "tamrel_touch/frame_encoders.h"
#include "touch_host/host.h"

namespace {

using namespace std::chrono_literals;
namespace encode = tamrel_touch::encode;

constexpr int kMutual = 720;  // the module's default geometry
constexpr int kSelf = 58;

std::set<std::string> thread_names() {
  std::set<std::string> names;
  DIR *dir = opendir("/proc/self/task");
  if (dir == nullptr) return names;
  while (dirent *e = readdir(dir)) {
    if (e->d_name[0] == '.') continue;
    std::ifstream comm(std::string("/proc/self/task/") + e->d_name + "/comm");
    std::string name;
    std::getline(comm, name);
    names.insert(name);
  }
  closedir(dir);
  return names;
}

// A kv controller frame in a driver slot.
encode::Bytes kv_slot(uint16_t frame_index) {
  encode::LumaLayoutFrame frame;
  frame.frame_index = frame_index;
  frame.columns = 40;
  frame.rows = 18;
  frame.mutual.resize(kMutual);
  for (int i = 0; i < kMutual; ++i) frame.mutual[i] = static_cast<int16_t>(frame_index * 3 + i);
  frame.self1.assign(kSelf, static_cast<int16_t>(frame_index));
  encode::SlotHeader header;
  header.time_ns = 5000 + frame_index;
  header.frame_count = frame_index;
  return encode::make_slot(header, encode::encode_kv(frame, kMutual, kSelf));
}

class HalEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::sim::TamrelTouchConfig config;
    config.frame_buffer_pages = 1;
    config.frame_buffer_count = 16;
    dev_ = platform::sim::TamrelTouchDevice::create(config);
    ASSERT_NE(dev_, nullptr);
    touch_host::HostOptions options;
    options.log_sink = [](const touch_host::LogLine &line) {
      if (getenv("HAL_E2E_LOG")) fprintf(stderr, "%lld %s\n", (long long)std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch()).count() % 100000, line.text.c_str());
    };
    host_ = std::make_unique<touch_host::TouchHost>(options);
    std::string error;
    ASSERT_TRUE(host_->load_hal(std::string(VENDOR_PLUGIN_DIR) + "/libtapsense_hal.so", &error)) << error;
  }
  void TearDown() override {
    host_.reset();
    platform::sim::unregisterDevice(platform::sim::TamrelTouchDevice::kPath);
  }
  // The host's configuration read, with kv frames (type 0) and the default geometry.
  void configureKv() {
    static HalConfigAccessorShape accessor = {nullptr, [](void *, const char *path, int32_t def) {
                                                return std::string(path) == "project_infor.frame_data_type" ? 0 : def;
                                              }};
    host_->hal()->read_config_param(nullptr, nullptr, &accessor);
  }
  struct HalConfigAccessorShape {
    void *(*get_node)(void *, const char *);
    int32_t (*get_int_config)(void *, const char *, int32_t);
  };
  void push(uint16_t index) {
    dev_->pushFrame(kv_slot(index));
    ASSERT_TRUE(dev_->waitFramesTaken(2s));
  }
  uint16_t nextFrame() {
    DecodedFrame *frame = nullptr;
    DecodedFrame *copy = nullptr;
    EXPECT_EQ(host_->hal()->get_frame(&frame, &copy), 0);
    if (copy == nullptr) return 0;
    EXPECT_EQ(copy->valid_mark, 0x5FA5);
    EXPECT_NE(static_cast<void *>(copy->mutual), static_cast<void *>(frame->mutual));
    // The encoded matrix names its frame: node i holds 3 x frame + i.
    const int16_t first = copy->mutual[0];
    EXPECT_EQ(copy->mutual[kMutual - 1], first + kMutual - 1);
    EXPECT_EQ(first % 3, 0);
    return static_cast<uint16_t>(first / 3);
  }

  platform::testing::TempRoot root_;
  std::shared_ptr<platform::sim::TamrelTouchDevice> dev_;
  std::unique_ptr<touch_host::TouchHost> host_;
};

TEST_F(HalEndToEnd, InitOpensBindsAndMapsAndFramesComeOutInOrder) {
  ASSERT_EQ(host_->init(), touch_host::HostStatus::kOk);
  EXPECT_EQ(host_->hal()->initialised, 1);
  EXPECT_EQ(dev_->openFiles(), 1u);
  EXPECT_EQ(dev_->boundTouchIds(), std::vector<int>{0});
  EXPECT_EQ(dev_->bufferSelections(), std::vector<uint32_t>{1});
  EXPECT_EQ(dev_->mapCount(), 1u);
  configureKv();
  for (uint16_t i = 1; i <= 5; ++i) push(i);
  for (uint16_t i = 1; i <= 5; ++i) EXPECT_EQ(nextFrame(), i);
}

TEST_F(HalEndToEnd, SeventeenUnreadFramesDropTheOldest) {
  ASSERT_EQ(host_->init(), touch_host::HostStatus::kOk);
  configureKv();
  for (uint16_t i = 1; i <= 17; ++i) push(i);
  for (uint16_t i = 2; i <= 17; ++i) EXPECT_EQ(nextFrame(), i);
  bool dropped_logged = false;
  for (const touch_host::LogLine &line : host_->snapshot().logs)
    if (line.text.find("frame data buf full, skip old index 0") != std::string::npos) dropped_logged = true;
  EXPECT_TRUE(dropped_logged);
}

TEST_F(HalEndToEnd, ExitStopsAndJoinsTheThreads) {
  ASSERT_EQ(host_->init(), touch_host::HostStatus::kOk);
  // The threads name themselves once they run.
  std::set<std::string> running = thread_names();
  for (int i = 0; i < 200 && running.count("touch-cmd-fo") == 0; ++i) {
    std::this_thread::sleep_for(5ms);
    running = thread_names();
  }
  EXPECT_EQ(running.count("touch-frame-fi"), 1u);
  EXPECT_EQ(running.count("touch-cmd-fi"), 1u);
  EXPECT_EQ(running.count("touch-cmd-fo"), 1u);
  ASSERT_EQ(host_->exit(), touch_host::HostStatus::kOk);
  const std::set<std::string> after = thread_names();
  EXPECT_EQ(after.count("touch-frame-fi"), 0u);
  EXPECT_EQ(after.count("touch-cmd-fi"), 0u);
  EXPECT_EQ(after.count("touch-cmd-fo"), 0u);
  EXPECT_EQ(dev_->openFiles(), 0u);
  EXPECT_EQ(host_->hal()->get_frame(nullptr, nullptr), 255);
}

TEST_F(HalEndToEnd, DriverCommandsReachTheHost) {
  ASSERT_EQ(host_->init(), touch_host::HostStatus::kOk);
  common_data block{};
  block.mode = 1085;
  block.count = 1;
  block.values[0] = 3;
  dev_->pushCommand(block);
  ASSERT_TRUE(dev_->waitCommandsTaken(2s));
  for (int i = 0; i < 200 && host_->snapshot().driver_common_data.empty(); ++i) std::this_thread::sleep_for(5ms);
  const auto blocks = host_->snapshot().driver_common_data;
  ASSERT_EQ(blocks.size(), 1u);
  EXPECT_EQ(blocks[0].values[0], 3u);
}

}  // namespace
