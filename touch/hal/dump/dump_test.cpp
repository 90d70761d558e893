// The dump interface over the whole module: capture through the host's fill callbacks, the
// point-count test, the history saves, the volume-key trigger and the module dump record.
#include "dump/dump.h"

#include <linux/input.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "config/test_host.h"
#include "platform/evdev_device.h"
#include "platform/paths.h"
#include "rawdata/raw_data.h"

namespace {

constexpr const char *kConfig = "dump_mode\n    dump_frameinfo_size = 64\n    dump_statrtinfo_size = 16\n";
std::atomic<uint8_t> g_frameByte{0};

int32_t fillCapture(uint8_t *buffer, uint32_t capacity) {
  memset(buffer, g_frameByte.load(), capacity);
  return 8;
}
int32_t fillStart(uint8_t *buffer, uint32_t capacity) {
  memset(buffer, 'S', capacity);
  return 1000;  // more than it was given: only the capacity counts
}

std::vector<std::string> filesEndingWith(const std::string &suffix) {
  std::vector<std::string> out;
  DIR *dir = plat_opendir(HAL_RAW_DIR);
  if (dir == nullptr) return out;
  while (struct dirent *e = readdir(dir)) {
    const std::string name = e->d_name;
    if (name.size() >= suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
      out.push_back(std::string(HAL_RAW_DIR) + name);
  }
  closedir(dir);
  return out;
}

class Dump : public hal_test::ModuleFixture {
 protected:
  void SetUp() override {
    host_.table()->dump_capture = fillCapture;
    host_.table()->dump_start_info = fillStart;
    start(kConfig);
  }
  void TearDown() override {
    ModuleFixture::TearDown();
    if (keys_) platform::sim::unregisterDevice("/dev/input/event3");
  }
  int32_t command(uint8_t cmd, uint16_t mode, int32_t value, int32_t *pass = nullptr, common_data *out = nullptr) {
    common_data b{};
    b.cmd = cmd;
    b.mode = mode;
    b.count = 1;
    b.values[0] = static_cast<uint32_t>(value);
    int32_t flag = 1;
    const int32_t rc = module_->receive_common_data(&b, pass != nullptr ? pass : &flag);
    if (out != nullptr) *out = b;
    return rc;
  }
  void frame(uint8_t byte) {
    g_frameByte = byte;
    module_->raw_data_process(&output_);
    ASSERT_TRUE(hal_dump_wait_idle(2000));
  }
  HalAlgOutput output_{};
  std::shared_ptr<platform::sim::EvdevDevice> keys_;
};

TEST_F(Dump, TwoCompletedTestTriggersReadBackAsTwo) {
  std::vector<int16_t> mutual(17 * 38, 5);
  output_.mutual = mutual.data();
  output_.timestamp_ns = 1700000000ull * 1000000000ull + 123456000ull;
  EXPECT_EQ(command(0, COMMON_DATA_MODE_TEST_POINT_COUNT, 1), 0);
  EXPECT_EQ(command(0, COMMON_DATA_MODE_TEST_MODE, 3), 0);
  ASSERT_TRUE(hal_dump_capture_running());
  EXPECT_EQ(thp_get_all_dump_status(), 1u);
  for (int round = 0; round < 2; ++round) {
    module_->set_module_param(2);  // more points than preset: a text snapshot per frame
    frame(static_cast<uint8_t>('a' + round));
    module_->set_module_param(1);  // back to the preset: the test counts and saves
    frame('z');
  }
  common_data answer{};
  int32_t pass = 1;
  EXPECT_EQ(command(1, COMMON_DATA_MODE_TEST_COUNT, 0, &pass, &answer), 2);
  EXPECT_EQ(pass, 0);
  EXPECT_EQ(answer.count, 2);
  EXPECT_EQ(std::string(reinterpret_cast<const char *>(answer.values), 2), "2\n");
  EXPECT_EQ(filesEndingWith("_raw.txt").size(), 1u);  // both snapshots share a second-stamped name
  const auto tests = filesEndingWith("_test_raw.dat");
  ASSERT_FALSE(tests.empty());
  // The start information (its capacity, 16 bytes) heads the file, then the history entries.
  const std::string text = root_.readFile(tests.back());
  EXPECT_EQ(text.substr(0, 16), std::string(16, 'S'));
  EXPECT_EQ(text.substr(16, 8), std::string(8, text[16]));
  EXPECT_EQ(command(0, COMMON_DATA_MODE_TEST_MODE, 0), 0);
}

TEST_F(Dump, BreaklineCountWithBreaklineOffWritesNoFile) {
  int32_t pass = 1;
  EXPECT_EQ(command(0, COMMON_DATA_MODE_BREAKLINE_SAVE_COUNT, 5, &pass), 0);
  EXPECT_EQ(pass, 0);
  EXPECT_EQ(command(1, COMMON_DATA_MODE_BREAKLINE_SAVE_COUNT, 0), 5);
  EXPECT_TRUE(filesEndingWith("_breakline_raw.dat").empty());
  pass = 1;
  command(0, 1234, 1, &pass);  // not a dump mode: the flag is left alone
  EXPECT_EQ(pass, 1);
}

TEST_F(Dump, BuffersHandedOverTogetherAreNotTakenForAFullRing) {
  EXPECT_EQ(command(0, COMMON_DATA_MODE_BREAKLINE, 1), 0);
  g_frameByte = 'q';
  module_->raw_data_process(&output_);
  module_->raw_data_process(&output_);
  ASSERT_TRUE(hal_dump_wait_idle(2000));
  EXPECT_EQ(hal_dump_history_count(), 2u);
  EXPECT_EQ(host_.count("buf is full"), 0u);
  EXPECT_EQ(command(0, COMMON_DATA_MODE_BREAKLINE_SAVE_COUNT, 1000), 0);
  const auto files = filesEndingWith("_breakline_raw.dat");
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(root_.readFile(files[0]).size(), 16u + 2 * 8u);
  EXPECT_EQ(command(0, COMMON_DATA_MODE_BREAKLINE, 0), 0);
}

TEST_F(Dump, VolumeKeySequenceSavesTheHistoryAsATriggerFile) {
  keys_ = std::make_shared<platform::sim::EvdevDevice>("sim-keys");
  keys_->setBit(EV_KEY, KEY_VOLUMEUP);
  keys_->setBit(EV_KEY, KEY_VOLUMEDOWN);
  ASSERT_EQ(platform::sim::registerDevice("/dev/input/event3", keys_), 0);
  EXPECT_EQ(command(0, COMMON_DATA_MODE_TRIGGER_COUNT, 2), 0);
  ASSERT_TRUE(hal_dump_getevent_running());
  frame('1');
  frame('2');
  frame('3');
  auto press = [&](uint16_t code, int64_t ms) {
    input_event e[2] = {};
    e[0].input_event_sec = 100 + ms / 1000;
    e[0].input_event_usec = (ms % 1000) * 1000;
    e[0].type = EV_KEY;
    e[0].code = code;
    e[0].value = 1;
    e[1] = e[0];
    e[1].value = 0;
    keys_->injectEvents(e, 2);
  };
  // Up, up: the second up starts the sequence again; then three pairs inside 3 s.
  press(KEY_VOLUMEUP, 0);
  press(KEY_VOLUMEUP, 100);
  for (int i = 0; i < 3; ++i) {
    press(KEY_VOLUMEDOWN, 200 + 400 * i);
    if (i < 2) press(KEY_VOLUMEUP, 400 + 400 * i);
  }
  std::vector<std::string> files;
  for (int i = 0; i < 200 && files.empty(); ++i) {
    files = filesEndingWith("_trigger_raw.dat");
    if (files.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_EQ(files.size(), 1u);
  // The newest two entries after the start information.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(root_.readFile(files[0]), std::string(16, 'S') + std::string(8, '2') + std::string(8, '3'));
  EXPECT_EQ(command(0, COMMON_DATA_MODE_TRIGGER_COUNT, 0), 0);
  EXPECT_FALSE(hal_dump_getevent_running());
}

TEST_F(Dump, AKeyDeviceThatAppearsWhileTheTriggerWaitsIsFoundThroughTheWatch) {
  ASSERT_EQ(plat_mkdir_p("/dev/input", 0755), 0);
  std::thread plug([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    keys_ = std::make_shared<platform::sim::EvdevDevice>("late-keys");
    keys_->setBit(EV_KEY, KEY_VOLUMEDOWN);
    platform::sim::registerDevice("/dev/input/event3", keys_);
  });
  EXPECT_EQ(command(0, COMMON_DATA_MODE_TRIGGER_COUNT, 5), 0);
  plug.join();
  EXPECT_TRUE(hal_dump_getevent_running());
  EXPECT_EQ(host_.count("find touch name:/dev/input/event3"), 1u);
  EXPECT_EQ(command(0, COMMON_DATA_MODE_TRIGGER_COUNT, 0), 0);
}

TEST_F(Dump, WithoutAKeyDeviceTheTriggerGivesUpAndStartsNoThread) {
  // No /dev/input at all: nothing to watch.
  EXPECT_EQ(command(0, COMMON_DATA_MODE_TRIGGER_COUNT, 5), 0);
  EXPECT_FALSE(hal_dump_getevent_running());
  EXPECT_EQ(host_.count("could not add watch for /dev/input"), 1u);
  // An empty /dev/input that stays empty: the bounded wait ends and no thread starts.
  ASSERT_EQ(plat_mkdir_p("/dev/input", 0755), 0);
  const size_t before = host_.count("can't get touch device");
  EXPECT_EQ(command(0, COMMON_DATA_MODE_TRIGGER_COUNT, 5), 0);
  EXPECT_FALSE(hal_dump_getevent_running());
  EXPECT_EQ(host_.count("can't get touch device"), before + 1);
}

TEST_F(Dump, ModuleRecordCarriesTheVersionAndPanelAndRestoresOnlyWhatFits) {
  auto get = reinterpret_cast<int32_t (*)(uint32_t, void *, uint32_t *, uint32_t)>(module_->dump_get);
  auto send = reinterpret_cast<int32_t (*)(const void *, uint32_t, uint32_t, uint32_t, uint32_t)>(module_->dump_send);
  HalDumpRecord record{};
  uint32_t length = 0;
  EXPECT_EQ(get(0, &record, &length, 1), 1);
  EXPECT_EQ(length, 235u);
  EXPECT_EQ(record.version_length, 17u);
  EXPECT_STREQ(record.version, "hal-24.09.26.001");
  const uint16_t extentX = record.panel.extent_x;
  EXPECT_EQ(extentX, kExtentX);
  EXPECT_STREQ(record.panel.config_file, "tp_cfg.ini");

  uint8_t scratch[64];
  length = 99;
  EXPECT_EQ(get(8, scratch, &length, 0), 0);  // the last interface: nothing follows
  EXPECT_EQ(length, 0u);
  length = 99;
  EXPECT_EQ(get(9, scratch, &length, 0), 0);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(get(5, scratch, &length, 0), 1);

  HalDumpRecord changed = record;
  changed.panel.extent_x = 720;
  EXPECT_EQ(send(&changed, sizeof changed, 9, 1, 1), 0);
  uint16_t now = hal_panel_info()->extent_x;
  EXPECT_EQ(now, 720);
  HalDumpRecord lying = record;
  lying.version_length = 0xFFFFFFF0u;  // would place the panel far outside the record
  lying.panel.extent_x = 1;
  EXPECT_EQ(send(&lying, sizeof lying, 9, 1, 1), -1);
  now = hal_panel_info()->extent_x;
  EXPECT_EQ(now, 720);
  EXPECT_EQ(send(&record, 100, 9, 1, 1), -1);  // too short for the panel block
}

}  // namespace
