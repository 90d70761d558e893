// The HAL module's raw-data, save-log, hot-area and dump interfaces as the touch host drives
// them: the real plug-in loaded with dlopen by the host stand-in on the simulated phone.
#include <dirent.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mman.h>

#include <gtest/gtest.h>

#include <mutex>
#include <thread>

#include "dump/dump.h"
#include "hotarea/hot_area.h"
#include "platform/devio.h"
#include "platform/evdev_device.h"
#include "platform/paths.h"
#include "platform/properties_test_api.h"
#include "rawdata/raw_data.h"
#include "savelog/save_log.h"
#include "touch_host/host.h"
#include "touch_host/input_events.h"
#include "touch_host/sim_touch_rig.h"

namespace {

using touch_host::testsupport::RigOptions;
using touch_host::testsupport::SimTouchRig;

std::mutex g_lock;
std::vector<std::pair<int, int>> g_calls;  // (setter, slot)
template <int N>
void level(int32_t slot, int32_t) {
  std::lock_guard<std::mutex> guard(g_lock);
  g_calls.emplace_back(N, slot);
}
void rect(int32_t index, const HotAreaRectWidget *, int32_t) {
  std::lock_guard<std::mutex> guard(g_lock);
  g_calls.emplace_back(0, index);
}

class Periphery : public ::testing::Test {
 protected:
  void SetUp() override {
    plat_properties_reset();
    RigOptions options;
    options.hal_config = touch_host::testsupport::hal_config_text({}) +
                         "hot_area\n    hot_area_enable = 1\n"
                         "    widget_skill_level = {7, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 9}\n"
                         "dump_mode\n    dump_frameinfo_size = 32\n    dump_statrtinfo_size = 8\n";
    rig_ = std::make_unique<SimTouchRig>(options);
    touch_host::HostOptions hostOptions;
    hostOptions.log_sink = [](const touch_host::LogLine &line) {
      if (getenv("HAL_E2E_LOG") != nullptr) fprintf(stderr, "%s\n", line.text.c_str());
    };
    host_ = std::make_unique<touch_host::TouchHost>(hostOptions);
    std::string error;
    ASSERT_TRUE(host_->load_hal(std::string(VENDOR_PLUGIN_DIR) + "/libtapsense_hal.so", &error)) << error;
    ASSERT_EQ(host_->init(), touch_host::HostStatus::kOk);
  }
  void TearDown() override {
    host_.reset();
    if (keys_) platform::sim::unregisterDevice("/dev/input/event4");
    rig_.reset();
    plat_properties_reset();
  }
  void command(uint8_t cmd, uint16_t mode, std::vector<uint32_t> values) {
    common_data b{};
    b.cmd = cmd;
    b.mode = mode;
    b.count = static_cast<uint16_t>(values.size());
    for (size_t i = 0; i < values.size(); ++i) b.values[i] = values[i];
    host_->send_common_data(b);
  }
  void text(uint16_t mode, const std::string &bytes) {
    common_data b{};
    b.cmd = COMMON_DATA_CMD_PACKAGE_DATA;
    b.mode = mode;
    b.count = static_cast<uint16_t>(bytes.size());
    memcpy(b.values, bytes.data(), bytes.size());
    host_->send_common_data(b);
  }
  size_t logged(const std::string &needle) const {
    size_t n = 0;
    for (const auto &line : host_->snapshot().logs) n += line.text.find(needle) != std::string::npos;
    return n;
  }
  std::unique_ptr<SimTouchRig> rig_;
  std::unique_ptr<touch_host::TouchHost> host_;
  std::shared_ptr<platform::sim::EvdevDevice> keys_;
};

TEST_F(Periphery, RawChannelCopiesTheFrameAndADebugImageIntoTheRawRing) {
  const size_t mutual = 18 * 40, self = 18 + 40, B = (mutual + self) * 2;
  std::vector<int16_t> m(mutual, 3), s(self, 4), arr(mutual, 5);
  std::vector<uint8_t> debug(800, 0);
  const uint32_t mark = HAL_RAW_DEBUG_MARK;
  memcpy(debug.data() + HAL_DBG_MARK, &mark, 4);
  const int16_t *p = arr.data();
  for (size_t off : {664, 672, 688, 720}) memcpy(debug.data() + off, &p, sizeof p);
  HalAlgOutput out{};
  out.mutual = m.data();
  out.self = s.data();
  out.debug = debug.data();

  const uint32_t writes = rig_->driver().rawCopyWrites();
  host_->hal()->raw_data_process(&out);  // channel closed: nothing copied
  EXPECT_EQ(rig_->driver().rawCopyWrites(), writes);
  command(COMMON_DATA_CMD_SET_MODE_VALUE, COMMON_DATA_MODE_RAW_CAPTURE, {2});
  host_->hal()->raw_data_process(&out);
  EXPECT_EQ(rig_->driver().rawCopyWrites(), writes + 1);

  const int fd = plat_open("/dev/tamrel-touch", O_RDWR);
  ASSERT_GE(plat_ioctl(fd, _IOC(_IOC_WRITE, TAMREL_TOUCH_IOC_TYPE, TOUCH_IOC_SELECT_BUFFER, 0), TOUCH_BUFFER_RAW_RING), 0);
  auto *ring = static_cast<const uint8_t *>(plat_mmap(nullptr, 4096, PROT_READ, MAP_SHARED, fd, 0));
  ASSERT_NE(ring, MAP_FAILED);
  int16_t v;
  memcpy(&v, ring + 2 * (mutual - 1), 2);
  EXPECT_EQ(v, 3);
  memcpy(&v, ring + 2 * mutual, 2);
  EXPECT_EQ(v, 4);
  uint32_t word;
  memcpy(&word, ring + B + 36, 4);
  EXPECT_EQ(word, 1u);
  memcpy(&word, ring + B + 44, 4);
  EXPECT_EQ(word, B + 120 + 4 * mutual + 4 * self + 744);  // more than the page: the rest is cut
  EXPECT_EQ(logged("all_size"), 1u);
  plat_munmap(const_cast<uint8_t *>(ring), 4096);
  plat_close(fd);
}

TEST_F(Periphery, UserTypeOneStartsTheSaveLogAndTheLinesReachTheFile) {
  rig_->root().writeFile(std::string(HAL_SAVE_LOG_ROOT) + "/keep.txt", "");
  command(COMMON_DATA_CMD_SET_MODE_VALUE, COMMON_DATA_MODE_USER_TYPE, {1});
  auto write = reinterpret_cast<hal_save_log_write_fn>(host_->hal()->save_log_process1);
  write("host", "frame 1 reported");
  command(COMMON_DATA_CMD_SET_MODE_VALUE, COMMON_DATA_MODE_USER_TYPE, {0});
  DIR *dir = plat_opendir(HAL_SAVE_LOG_ROOT);
  ASSERT_NE(dir, nullptr);
  std::string log;
  while (struct dirent *e = readdir(dir)) {
    if (e->d_type == DT_DIR && e->d_name[0] != '.')
      log = rig_->root().readFile(std::string(HAL_SAVE_LOG_ROOT) + "/" + e->d_name + "/" + HAL_SAVE_LOG_FILE_NAME);
  }
  closedir(dir);
  EXPECT_NE(log.find(" host frame 1 reported\n"), std::string::npos) << log;
}

TEST_F(Periphery, AHotAreaJsonGivesTheSetterCallsPerSlotThroughTheReport) {
  {
    std::lock_guard<std::mutex> guard(g_lock);
    g_calls.clear();  // a repeated run starts from none
  }
  AlgParamInterfaces table{};
  table.set_rect = rect;
  table.set_level[0] = level<1>;
  table.set_level[12] = level<13>;
  host_->hal()->set_alg_param_setters(&table);
  text(COMMON_DATA_MODE_PACKAGE_NAME, HOT_AREA_GAME_PACKAGE);
  text(COMMON_DATA_MODE_HOT_AREA_INFO,
       R"([{"AS":"Rt","AT":"MM","SZ":"0.0,0.1,0.0,0.9"},{"AS":"Rt","AT":"SK","SZ":"0.5,0.6,0.5,0.4"}])");
  const int32_t W = 1080 * 8 - 1, H = 2400 * 8 - 1;
  AlgTouchPoint down = touch_host::testsupport::finger(3, static_cast<int32_t>(0.55f * W), static_cast<int32_t>(0.55f * H),
                                                        ALG_TOUCH_ACTION_DOWN);
  host_->hal()->report_points(&down, 1);
  AlgTouchPoint up = down;
  up.action = ALG_TOUCH_ACTION_UP;
  host_->hal()->report_points(&up, 1);
  {
    // Not held across the call below: the module calls the setters under its own lock.
    std::lock_guard<std::mutex> guard(g_lock);
    // Both areas to the algorithm; slot 3 takes the skill levels, then is reset on release.
    EXPECT_EQ(g_calls, (std::vector<std::pair<int, int>>{{0, 0}, {0, 1}, {1, 3}, {13, 3}, {1, 3}, {13, 3}}));
  }
  host_->hal()->set_alg_param_setters(nullptr);
}

TEST_F(Periphery, VolumeKeySequenceStartsATriggerDump) {
  keys_ = std::make_shared<platform::sim::EvdevDevice>("sim-keys");
  keys_->setBit(EV_KEY, KEY_VOLUMEUP);
  keys_->setBit(EV_KEY, KEY_VOLUMEDOWN);
  ASSERT_EQ(platform::sim::registerDevice("/dev/input/event4", keys_), 0);
  command(COMMON_DATA_CMD_SET_MODE_VALUE, COMMON_DATA_MODE_TRIGGER_COUNT, {5});
  HalAlgOutput out{};
  host_->hal()->raw_data_process(&out);
  // A sequence saves what the history holds; until the dump thread has taken the frame it
  // holds nothing and no file is written, so the sequence is repeated until one appears.
  auto hasTriggerFile = [] {
    bool any = false;
    DIR *dir = plat_opendir(HAL_RAW_DIR);
    while (dir != nullptr && !any) {
      struct dirent *e = readdir(dir);
      if (e == nullptr) break;
      any = strstr(e->d_name, "_trigger_raw.dat") != nullptr;
    }
    if (dir != nullptr) closedir(dir);
    return any;
  };
  bool found = false;
  for (int attempt = 0; attempt < 100 && !found; ++attempt) {
    for (int i = 0; i < 3; ++i) {
      for (uint16_t code : {KEY_VOLUMEUP, KEY_VOLUMEDOWN}) {
        input_event e{};
        e.input_event_sec = 50 + 10 * attempt;
        e.input_event_usec = 100000 * (2 * i + (code == KEY_VOLUMEDOWN));
        e.type = EV_KEY;
        e.code = code;
        e.value = 1;
        keys_->injectEvents(&e, 1);
      }
    }
    for (int i = 0; i < 10 && !found; ++i) {
      found = hasTriggerFile();
      if (!found) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  EXPECT_TRUE(found);
  EXPECT_GE(logged("trigger_dump"), 1u);
  // The module's own dump record through HalModule slot 13.
  auto get = reinterpret_cast<int32_t (*)(uint32_t, void *, uint32_t *, uint32_t)>(host_->hal()->dump_get);
  HalDumpRecord record{};
  uint32_t length = 0;
  EXPECT_EQ(get(0, &record, &length, 1), 1);
  EXPECT_EQ(length, 235u);
  EXPECT_STREQ(record.version, host_->hal_version().c_str());
  command(COMMON_DATA_CMD_SET_MODE_VALUE, COMMON_DATA_MODE_TRIGGER_COUNT, {0});
}

}  // namespace
