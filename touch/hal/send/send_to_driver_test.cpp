#include <string.h>

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "config/test_host.h"
#include "send/send_to_driver.h"

namespace {

using hal_test::ModuleFixture;

const char kConfig[] =
    "interface_for_vendor\n"
    "    set_ic_cmd = 1\n"
    "    get_ic_cmd = 1\n"
    "threshold1\n"
    "    game_idle_thd = 7\n"
    "input_device\n"
    "    support_finger = 0\n";

class HalSendToDriver : public ModuleFixture {
 protected:
  void SetUp() override {
    writeNodes();
    start(kConfig);
  }
  int32_t send(uint32_t type, std::vector<uint32_t> values) {
    return send(type, values.data(), static_cast<uint32_t>(values.size()));
  }
  int32_t send(uint32_t type, uint32_t *values, uint32_t count) {
    auto fn = reinterpret_cast<hal_send_to_driver_fn>(hal_send_interface()->process1);
    return fn(type, values, count);
  }
  // The records written since the last call.
  std::vector<common_data> newRecords() {
    std::vector<common_data> all = device_->writtenCommonData();
    std::vector<common_data> fresh(all.begin() + static_cast<long>(seen_), all.end());
    seen_ = all.size();
    return fresh;
  }
  size_t seen_ = 0;
};

// Types that become one common_data record: the mode and command byte each must carry.
struct RecordCase {
  uint32_t type;
  uint16_t mode;
  uint8_t cmd;
};

const RecordCase kRecordCases[] = {
    {0, 26, 11},    {1, 1000, 0},  {2, 1071, 0},  {3, 1001, 0},  {4, 1011, 0},  {5, 1004, 0},
    {10, 3045, 8},  {12, 1016, 0}, {13, 200, 0},  {14, 1084, 0}, {15, 1076, 0}, {16, 1091, 0},
    {17, 1092, 0},  {18, 1098, 0}, {19, 1099, 0}, {20, 1100, 0}, {21, 1101, 0}, {22, 1102, 0},
    {23, 1103, 0},
};

TEST_F(HalSendToDriver, EveryRecordTypeCarriesItsModeCommandAndValues) {
  newRecords();
  for (const RecordCase &c : kRecordCases) {
    std::vector<uint32_t> values = {c.type * 10 + 1, 0xdeadbeef, 3};
    ASSERT_EQ(send(c.type, values), 0) << "type " << c.type;
    std::vector<common_data> records = newRecords();
    ASSERT_EQ(records.size(), 1u) << "type " << c.type;
    const common_data &r = records[0];
    EXPECT_EQ(r.touch_id, 0);
    EXPECT_EQ(r.mode, c.mode) << "type " << c.type;
    EXPECT_EQ(r.cmd, c.cmd) << "type " << c.type;
    EXPECT_EQ(r.count, 3);
    EXPECT_EQ(r.values[0], c.type * 10 + 1);
    EXPECT_EQ(r.values[1], 0xdeadbeefu);
    EXPECT_EQ(r.values[2], 3u);
    EXPECT_EQ(r.values[3], 0u);
  }
}

TEST_F(HalSendToDriver, UnknownTypesAndOversizedCountsSendNothing) {
  newRecords();
  EXPECT_EQ(send(24, {1}), HAL_RESULT_FAILED);
  EXPECT_EQ(host_.count("unknow type, stop to send"), 1u);
  std::vector<uint32_t> many(COMMON_DATA_VALUE_COUNT + 1, 1);
  EXPECT_EQ(send(13, many), HAL_RESULT_FAILED);
  EXPECT_EQ(send(13, nullptr, 2), HAL_RESULT_FAILED);
  EXPECT_TRUE(newRecords().empty());
  // A full record still goes.
  std::vector<uint32_t> full(COMMON_DATA_VALUE_COUNT, 9);
  EXPECT_EQ(send(13, full), 0);
  std::vector<common_data> records = newRecords();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].count, COMMON_DATA_VALUE_COUNT);
  EXPECT_EQ(records[0].values[COMMON_DATA_VALUE_COUNT - 1], 9u);
}

TEST_F(HalSendToDriver, SysfsAndProcfsNodes) {
  newRecords();
  EXPECT_EQ(send(HAL_SEND_FINGER_STATUS, {5}), 1);
  EXPECT_EQ(root_.readFile(HAL_SYSFS_FINGER_STATUS), "1");
  EXPECT_EQ(send(HAL_SEND_FINGER_STATUS, {0}), 1);
  EXPECT_EQ(root_.readFile(HAL_SYSFS_FINGER_STATUS), "0");

  // Type 7 writes count bytes of the values.
  uint32_t cmd[2] = {0x04030201u, 0x08070605u};
  EXPECT_EQ(send(HAL_SEND_IC_CMD_DATA, cmd, 2), 2);
  EXPECT_EQ(root_.readFile(HAL_SYSFS_IC_CMD_DATA), std::string("\x01\x02", 2));

  // Type 8 with a 6-byte record: u16 kind 1, class 2, value 201.
  uint32_t record[HAL_ABNORMAL_RECORD_SIZE] = {0x00020001u, 201u};
  EXPECT_EQ(send(HAL_SEND_ABNORMAL, record, HAL_ABNORMAL_RECORD_SIZE), 6);
  EXPECT_EQ(root_.readFile(HAL_SYSFS_ABNORMAL_EVENT), std::string("\x01\x00\x02\x00\xc9\x00", 6));

  uint32_t version[1] = {0x00333231u};
  EXPECT_EQ(send(HAL_SEND_FW_VERSION, version, 3), 0);
  EXPECT_EQ(root_.readFile(HAL_PROC_FW_VERSION), "123");
  EXPECT_TRUE(newRecords().empty());

  // Type 8 with another count falls back to a record with mode 0.
  EXPECT_EQ(send(HAL_SEND_ABNORMAL, {1, 2}), 0);
  std::vector<common_data> records = newRecords();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].mode, 0);
  EXPECT_EQ(records[0].count, 2);
}

TEST_F(HalSendToDriver, ModuleParameterReachesTheFingerStatusNode) {
  ASSERT_EQ(module_->set_module_param(1), 0);
  EXPECT_EQ(root_.readFile(HAL_SYSFS_FINGER_STATUS), "1");
}

TEST_F(HalSendToDriver, IcCommandReadIsBoundedByTheCallersArray) {
  common_data answer;
  memset(&answer, 0, sizeof answer);
  answer.count = 1024;  // the driver claims far more than the caller has room for
  for (uint32_t i = 0; i < COMMON_DATA_VALUE_COUNT; ++i) answer.values[i] = 0xA0000000u + i;
  device_->setReadBackBlock(answer);
  uint32_t values[4] = {0x55, 0, 0xC0FFEE, 0xC0FFEE};
  EXPECT_EQ(send(HAL_SEND_GET_IC_CMD, values, 2), 0);
  EXPECT_EQ(values[0], 0xA0000000u);
  EXPECT_EQ(values[1], 0xA0000001u);
  EXPECT_EQ(values[2], 0xC0FFEEu);  // beyond the caller's two values: untouched
  EXPECT_EQ(values[3], 0xC0FFEEu);

  // A short answer copies only what the driver said.
  answer.count = 4;
  device_->setReadBackBlock(answer);
  uint32_t two[2] = {7, 0x1234};
  EXPECT_EQ(send(HAL_SEND_GET_IC_CMD, two, 2), 0);
  EXPECT_EQ(two[0], 0xA0000000u);
  EXPECT_EQ(two[1], 0x1234u);
}

TEST_F(HalSendToDriver, GameIdleThresholdCommand) {
  newRecords();
  common_data block;
  memset(&block, 0, sizeof block);
  block.cmd = COMMON_DATA_CMD_SET_MODE_VALUE;
  block.mode = COMMON_DATA_MODE_GAME_IDLE_THRESHOLD;
  block.values[0] = 1;
  int32_t pass = 1;
  EXPECT_EQ(hal_send_interface()->receive_common_data(&block, &pass), 0);
  EXPECT_EQ(pass, 0);
  block.values[0] = 0;
  EXPECT_EQ(hal_send_interface()->receive_common_data(&block, &pass), 0);
  std::vector<common_data> records = newRecords();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].mode, 1084);
  EXPECT_EQ(records[0].count, 4);
  EXPECT_EQ(records[0].values[0], 7u);
  EXPECT_EQ(records[1].mode, 1084);
  EXPECT_EQ(records[1].values[0], 0u);
  EXPECT_EQ(host_.count("game idle thd reduse: 70 percent"), 1u);
  EXPECT_EQ(host_.count("game idle thd restore"), 1u);
  EXPECT_EQ(hal_send_interface()->receive_common_data(nullptr, &pass), -1);
}

class HalSendToDriverDefaults : public ModuleFixture {
 protected:
  void SetUp() override {
    writeNodes();
    start("hw\n    hal_col_num = 38\n    hal_node_num = 684\n    hal_snode_num = 56\ninput_device\n    support_finger = 0\n");
  }
};

TEST_F(HalSendToDriverDefaults, IcCommandsNeedTheirSwitches) {
  size_t before = device_->writtenCommonData().size();
  auto fn = reinterpret_cast<hal_send_to_driver_fn>(hal_send_interface()->process1);
  uint32_t value = 1;
  EXPECT_EQ(fn(HAL_SEND_SET_IC_CMD, &value, 1), 0);
  EXPECT_EQ(fn(HAL_SEND_GET_IC_CMD, &value, 1), 0);
  EXPECT_EQ(device_->writtenCommonData().size(), before);
}

}  // namespace

// A driver without the sysfs nodes: types 7 and 8 fall back to common-data records, which
// carry the caller's bytes and never read past them (the arrays here are exactly as long
// as the counts say, so AddressSanitizer sees any over-read).
class HalSendToDriverWithoutNodes : public ModuleFixture {
 protected:
  void SetUp() override { start("input_device\n    support_finger = 0\n"); }
};

TEST_F(HalSendToDriverWithoutNodes, ByteCountedTypesCopyOnlyTheCallersBytes) {
  auto fn = reinterpret_cast<hal_send_to_driver_fn>(hal_send_interface()->process1);
  const size_t before = device_->writtenCommonData().size();
  // The 6-byte abnormal record in an array of two words.
  auto abnormal = std::make_unique<uint32_t[]>(2);
  abnormal[0] = 0x00020001u;
  abnormal[1] = 0xFFFF00C9u;  // the bytes past the record are not the driver's
  EXPECT_EQ(fn(HAL_SEND_ABNORMAL, abnormal.get(), HAL_ABNORMAL_RECORD_SIZE), 0);
  // Three command bytes in an array of one word.
  auto command = std::make_unique<uint32_t[]>(1);
  command[0] = 0x44332211u;
  EXPECT_EQ(fn(HAL_SEND_IC_CMD_DATA, command.get(), 3), 0);

  std::vector<common_data> records = device_->writtenCommonData();
  ASSERT_EQ(records.size(), before + 2);
  const common_data &a = records[before];
  EXPECT_EQ(a.mode, 0);
  EXPECT_EQ(a.count, HAL_ABNORMAL_RECORD_SIZE);
  EXPECT_EQ(a.values[0], 0x00020001u);
  EXPECT_EQ(a.values[1], 0x000000C9u);
  for (uint32_t i = 2; i < HAL_ABNORMAL_RECORD_SIZE; ++i) EXPECT_EQ(a.values[i], 0u) << i;
  const common_data &c = records[before + 1];
  EXPECT_EQ(c.count, 3);
  EXPECT_EQ(c.values[0], 0x00332211u);
  EXPECT_EQ(c.values[1], 0u);
}
