// Registration, the module entry points and the device ioctl layer, against the
// simulated driver.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string.h>

#include <future>

#include "core/core_test_util.h"
#include "core/decoder_api.h"
#include "core/hal_core.h"

namespace {

using hal::testing::DeviceFixture;
using namespace std::chrono_literals;

class ModuleTest : public DeviceFixture {
 protected:
  HalModule *module_ = nullptr;
  void SetUp() override {
    DeviceFixture::SetUp();
    module_ = register_hal_module(host_.table());
  }
};

TEST_F(ModuleTest, RegistrationFillsTheRecordAndTheNineInterfaces) {
  ASSERT_NE(module_, nullptr);
  EXPECT_STREQ(module_->name, "hal");
  EXPECT_EQ(module_->initialised, 0);
  EXPECT_EQ(get_hal_module_callback(), host_.table());

  using Getter = HalFunctionInterface *(*)(void);
  const Getter getters[HAL_FUNCTION_INTERFACE_COUNT] = {
      get_send_to_driver_function_interface, get_read_config_param_function_interface,
      get_report_function_interface,         get_get_frame_data_function_interface,
      get_get_cmd_function_interface,        get_raw_data_function_interface,
      get_dump_function_interface,           get_save_log_interface,
      get_hot_area_interface};
  for (uint32_t i = 0; i < HAL_FUNCTION_INTERFACE_COUNT; ++i) {
    ASSERT_NE(get_hal_function_interface(i), nullptr) << i;
    EXPECT_EQ(get_hal_function_interface(i), getters[i]()) << i;
  }
  EXPECT_EQ(get_hal_function_interface(9), nullptr);
  EXPECT_EQ(get_hal_function_interface(0xffffffffu), nullptr);

  // Slots that hand out interface hooks.
  EXPECT_EQ(reinterpret_cast<hal_generic_fn>(module_->get_frame), get_get_frame_data_function_interface()->process1);
  EXPECT_NE(module_->get_frame, nullptr);
  EXPECT_EQ(module_->register_timer, &register_timer);
  EXPECT_EQ(module_->create_thread, &create_thread);
  EXPECT_EQ(module_->slot3, nullptr);
  EXPECT_EQ(module_->slot6, nullptr);
  EXPECT_EQ(module_->slot7, nullptr);
  EXPECT_EQ(module_->slot15, nullptr);
  EXPECT_EQ(module_->slot17, nullptr);
  EXPECT_STREQ(module_->get_version(), "hal-24.09.26.001");

  const HalUtilFunctions *util = module_->get_util_functions();
  ASSERT_NE(util, nullptr);
  EXPECT_EQ(util->rtc_time_to_tm, &rtc_time_to_tm);
  EXPECT_EQ(util->property_set_s32, &property_set_s32);
  EXPECT_EQ(util->property_get_s32, &property_get_s32);
  EXPECT_NE(util->property_get_bool, nullptr);
  EXPECT_EQ(util->alloc_memory, &alloc_memory);
  EXPECT_EQ(util->free_memory, &free_memory);
  EXPECT_EQ(util->thp_atrace_print, &thp_atrace_print);
  EXPECT_EQ(util->thp_atrace_name, &thp_atrace_name);
  EXPECT_EQ(util->thp_atrace_end, &thp_atrace_end);
  EXPECT_EQ(util->thp_atrace_int64, &thp_atrace_int64);

  // Registering again rebuilds the same record in place.
  EXPECT_EQ(register_hal_module(host_.table()), module_);
}

TEST(DeviceIoctl, RequestNumbersFollowTheIocEncoding) {
  struct Case {
    uint32_t nr, size, direction;
    unsigned long request;
  };
  const Case cases[] = {
      {0, 1032, 1, 0x44085400}, {0, 1032, 2, 0x84085400}, {0, 1032, 3, 0xC4085400},
      {1, 214, 2, 0x80D65401},  {2, 0, 1, 0x40005402},    {3, 0, 1, 0x40005403},
      {4, 0, 2, 0x80005404},    {5, 0, 1, 0x40005405},    {5, 0, 2, 0x80005405},
      {6, 0, 1, 0x40005406},    {0, 1032, 0, 0xC4085400}, {0, 1032, 7, 0xC4085400},
  };
  for (const Case &c : cases)
    EXPECT_EQ(tamrel_touch_request(c.nr, c.size, c.direction), c.request) << c.nr << " " << c.direction;
}

TEST_F(ModuleTest, IoctlOnAClosedDeviceLogsAndFails) {
  ASSERT_LT(hal_device_fd(), 0);
  EXPECT_EQ(tamrel_touch_ioctl(TOUCH_IOC_NEWEST_FRAME, 0, 0, TOUCH_IOC_DIR_READ), -1);
  EXPECT_EQ(tamrel_touch_ioctl(TOUCH_IOC_NEWEST_FRAME, 0, 0, TOUCH_IOC_DIR_READ), -1);
  EXPECT_EQ(host_.count("tamrel_touch_ioctl: open /dev/tamrel-touch first"), 2u);
}

TEST_F(ModuleTest, InitOpensBindsReadsThePanelAndExitCloses) {
  platform::sim::TamrelTouchConfig config;
  config.panel.extent_x = 1080;
  strcpy(config.panel.config_file, "touch.cfg");
  auto dev = addDevice(config);
  ASSERT_NE(dev, nullptr);
  ASSERT_EQ(module_->init(1), 0);
  EXPECT_EQ(module_->initialised, 1);
  EXPECT_GE(hal_device_fd(), 0);
  EXPECT_EQ(dev->boundTouchIds(), std::vector<int>{1});
  EXPECT_EQ(hal_panel_info()->extent_x, 1080);
  EXPECT_STREQ(hal_panel_info()->config_file, "touch.cfg");
  EXPECT_EQ(hal_touch_id(), 1);
  EXPECT_EQ(module_->exit(), 0);
  EXPECT_LT(hal_device_fd(), 0);
  EXPECT_EQ(dev->openFiles(), 0u);
}

TEST_F(ModuleTest, OutOfRangeIdIsRefusedWithoutTouchingTheDevice) {
  auto dev = addDevice();
  EXPECT_EQ(module_->init(100), HAL_RESULT_FAILED);
  EXPECT_EQ(module_->init(300), HAL_RESULT_FAILED);  // not cut to 8 bits (44)
  EXPECT_EQ(dev->openCount(), 0u);
  EXPECT_LT(hal_device_fd(), 0);
}

TEST_F(ModuleTest, RefusedBindIsLoggedAndRetried) {
  auto dev = addDevice();
  dev->failNextBinds(1);
  ASSERT_EQ(module_->init(0), 0);
  EXPECT_EQ(dev->boundTouchIds(), (std::vector<int>{0, 0}));
  EXPECT_EQ(host_.count("hal_module_init: touch id 0 tamrel-touch ioctl cmd 3 result is -1"), 1u);
  module_->exit();
}

TEST_F(ModuleTest, OutOfRangeIdInterruptsAnInitWaitingForTheDevice) {
  // No device: the first init waits for it until a concurrent out-of-range id stops it.
  auto waiting = std::async(std::launch::async, [&] { return module_->init(0); });
  EXPECT_EQ(waiting.wait_for(300ms), std::future_status::timeout);
  EXPECT_EQ(module_->init(100), HAL_RESULT_FAILED);
  ASSERT_EQ(waiting.wait_for(2s), std::future_status::ready);
  EXPECT_EQ(waiting.get(), HAL_RESULT_FAILED);
  EXPECT_EQ(host_.count("receive interrupt signal, stop init"), 1u);
  EXPECT_EQ(module_->initialised, 0);
}

TEST_F(ModuleTest, OutOfRangeIdInterruptsAnInitWaitingForTheBind) {
  auto dev = addDevice();
  dev->failNextBinds(1000);
  auto waiting = std::async(std::launch::async, [&] { return module_->init(0); });
  ASSERT_TRUE(host_.waitFor("ioctl cmd 3 result is -1", 2s));
  EXPECT_EQ(module_->init(101), HAL_RESULT_FAILED);
  ASSERT_EQ(waiting.wait_for(2s), std::future_status::ready);
  EXPECT_EQ(waiting.get(), HAL_RESULT_FAILED);
  EXPECT_LT(hal_device_fd(), 0);
  EXPECT_EQ(dev->openFiles(), 0u);
}

// The frame ring cannot be mapped: once its retries give up, init fails with the give-up
// result, logs it, and leaves the device closed and the module uninitialised.
TEST_F(ModuleTest, InitFailsWhenAnInterfaceGivesUpStarting) {
  auto dev = addDevice();
  ASSERT_NE(dev, nullptr);
  hal_set_start_retry(1, 4);
  dev->failNextMmaps(4);
  EXPECT_EQ(module_->init(0), HAL_RESULT_GAVE_UP);
  hal_set_start_retry(0, 0);
  EXPECT_EQ(host_.count("mmap frame data base fail"), 4u);
  EXPECT_EQ(host_.count("hal_module_init: touch id 0 interface 3 failed to start (-110), init failed"), 1u);
  EXPECT_EQ(module_->initialised, 0);
  EXPECT_LT(hal_device_fd(), 0);
  EXPECT_EQ(dev->openFiles(), 0u);
  // Interfaces after the failing one were never started.
  EXPECT_EQ(host_.count("get cmd from driver thread enter"), 0u);
  // A later init with a willing driver succeeds.
  EXPECT_EQ(module_->init(0), 0);
  EXPECT_EQ(module_->initialised, 1);
  module_->exit();
}

TEST(DeviceOpen, BoundedOpenGivesUpAndLogsEveryFiftyFailures) {
  hal::testing::RecordingHost host;
  register_hal_module(host.table());
  platform::testing::TempRoot root;
  hal_set_open_retry_ms(1);
  EXPECT_EQ(file_access_and_open_bounded("/dev/absent", O_RDWR, 50, nullptr), -1);
  EXPECT_EQ(host.count("file_access_and_open: open /dev/absent failed, retry! (looked under VENDOR_ROOT " + root.dir()),
            1u);
  EXPECT_EQ(host.count("give up"), 1u);
  // Without a root the line says so, so that a run on a host without VENDOR_ROOT explains
  // its minute of retries.
  plat_set_root("");
  EXPECT_EQ(file_access_and_open_bounded("/dev/absent-touch-node", O_RDWR, 50, nullptr), -1);
  EXPECT_EQ(host.count("open /dev/absent-touch-node failed, retry! (VENDOR_ROOT is not set"), 1u);
  plat_set_root(root.dir().c_str());
  hal_set_open_retry_ms(0);
  root.writeFile("/sys/class/touch/node", "1");
  const int fd = file_access_and_open_bounded("/sys/class/touch/node", O_RDONLY, 3, nullptr);
  EXPECT_GE(fd, 0);
  close(fd);
}

TEST_F(ModuleTest, CommonDataGatesAndLevels) {
  auto block = [](uint8_t id, uint16_t mode, uint32_t value) {
    common_data b{};
    b.touch_id = id;
    b.cmd = COMMON_DATA_CMD_SET_MODE_VALUE;
    b.mode = mode;
    b.count = 1;
    b.values[0] = value;
    return b;
  };
  const uint8_t ours = hal_touch_id();
  const uint8_t other = static_cast<uint8_t>(ours + 1);
  struct Case {
    const char *what;
    common_data block;
    int expect_log_level;
    int expect_trace_level;
    int32_t expect_pass;
  };
  const Case cases[] = {
      {"other touch id", block(other, 18, 2), 5, 1, 0},
      {"mode 18 sets the log level", block(ours, 18, 4), 4, 1, 1},
      {"mode 18 above 5 keeps it", block(ours, 18, 6), 5, 1, 1},
      {"mode 1105 sets the trace level", block(ours, 1105, 2), 5, 2, 0},
      {"mode 1105 above 2 keeps it", block(ours, 1105, 3), 5, 1, 0},
  };
  for (const Case &c : cases) {
    hal_log_level = 5;
    thp_set_trace_level(1);
    common_data b = c.block;
    int32_t pass = 0;
    EXPECT_EQ(module_->receive_common_data(&b, &pass), 0) << c.what;
    EXPECT_EQ(hal_log_level, c.expect_log_level) << c.what;
    EXPECT_EQ(trace_level, c.expect_trace_level) << c.what;
    EXPECT_EQ(pass, c.expect_pass) << c.what;
  }
  thp_set_trace_level(0);
  EXPECT_EQ(module_->receive_common_data(nullptr, nullptr), 0);
}

TEST_F(ModuleTest, ModuleParameterIsKept) {
  EXPECT_EQ(module_->set_module_param(7), 0);
  EXPECT_EQ(get_hal_module_param()->module_param, 7u);
}

TEST_F(ModuleTest, ConfigurationSelectsTheFrameDataTypeAndReachesTheFrameInterface) {
  // An accessor over a little table of its own.
  static std::vector<std::pair<std::string, int32_t>> values;
  values = {{"project_infor.frame_data_type", 5}, {"hw.hal_node_num", 510}, {"hw.hal_snode_num", 257},
            {"hw.hal_col_num", 300}, {"hw.hal_row_num", 2}};
  HalConfigAccessor accessor{};
  accessor.get_int_config = [](void *, const char *path, int32_t def) {
    for (const auto &v : values)
      if (v.first == path) return v.second;
    return def;
  };
  EXPECT_EQ(module_->read_config_param(nullptr, nullptr, &accessor), 0);
  const PanelGeometry &g = get_hal_module_param()->geometry;
  EXPECT_EQ(g.node_count, 510);
  EXPECT_EQ(g.snode_count, 257);
  EXPECT_EQ(g.nnode_count, 240);
  EXPECT_EQ(g.columns, 255);  // 300 does not fit a byte: refused and kept in range
  EXPECT_EQ(g.rows, 2);
  EXPECT_EQ(host_.count("hw.hal_col_num = 300 out of range"), 1u);
}

}  // namespace
