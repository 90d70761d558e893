// The get-command interface over the simulated driver: blocks reach host slot 1 in order,
// a full ring drops its oldest block, and exit ends both threads.
#include "core/command.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include "core/core_test_util.h"
#include "platform/devio.h"

namespace {

using namespace std::chrono_literals;

common_data block(uint32_t n) {
  common_data b{};
  b.mode = 1085;
  b.count = 1;
  b.values[0] = n;
  return b;
}

class CommandTest : public hal::testing::DeviceFixture {
 protected:
  void SetUp() override {
    DeviceFixture::SetUp();
    dev_ = addDevice();
    ASSERT_NE(dev_, nullptr);
    fd_ = plat_open("/dev/tamrel-touch", O_RDWR);
    ASSERT_GE(fd_, 0);
  }
  void TearDown() override {
    host_.holdBlocks(false);
    commands_.exit();
    plat_close(fd_);
    DeviceFixture::TearDown();
  }
  bool waitDelivered(size_t n) {
    for (int i = 0; i < 400 && host_.blocks().size() < n; ++i) std::this_thread::sleep_for(5ms);
    return host_.blocks().size() >= n;
  }
  std::vector<uint32_t> delivered() {
    std::vector<uint32_t> values;
    for (const common_data &b : host_.blocks()) values.push_back(b.values[0]);
    return values;
  }

  std::shared_ptr<platform::sim::TamrelTouchDevice> dev_;
  int fd_ = -1;
  hal::CommandThreads commands_;
};

TEST_F(CommandTest, BlocksReachTheHostInArrivalOrder) {
  ASSERT_EQ(commands_.init(fd_, 0, 0), 0);
  for (uint32_t i = 1; i <= 5; ++i) dev_->pushCommand(block(i));
  ASSERT_TRUE(waitDelivered(5));
  EXPECT_EQ(delivered(), (std::vector<uint32_t>{1, 2, 3, 4, 5}));
}

TEST_F(CommandTest, ABlockedHostMakesTheFullRingDropItsOldestBlock) {
  ASSERT_EQ(commands_.init(fd_, 0, 0), 0);
  host_.holdBlocks(true);
  dev_->pushCommand(block(0));
  ASSERT_TRUE(waitDelivered(1));  // the host now sits on block 0
  for (uint32_t i = 1; i <= 9; ++i) {
    dev_->pushCommand(block(i));
    ASSERT_TRUE(dev_->waitCommandsTaken(2s));
  }
  EXPECT_TRUE(host_.waitFor("common data buf full, skip old index", 2s));
  EXPECT_EQ(host_.count("common data buf full"), 1u);
  host_.holdBlocks(false);
  ASSERT_TRUE(waitDelivered(9));
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(delivered(), (std::vector<uint32_t>{0, 2, 3, 4, 5, 6, 7, 8, 9}));
}

TEST_F(CommandTest, HostWithoutSlotOneConsumesSilently) {
  host_.table()->driver_common_data = nullptr;
  ASSERT_EQ(commands_.init(fd_, 0, 0), 0);
  dev_->pushCommand(block(1));
  EXPECT_TRUE(dev_->waitCommandsTaken(2s));
  EXPECT_TRUE(host_.blocks().empty());
}

TEST_F(CommandTest, ExitWithNoBlockEndsBothThreads) {
  ASSERT_EQ(commands_.init(fd_, 0, 0), 0);
  ASSERT_TRUE(host_.waitFor("cmd process thread enter", 2s));
  EXPECT_EQ(commands_.exit(), 0);
  EXPECT_EQ(host_.count("get cmd from driver thread exit"), 1u);
  EXPECT_EQ(host_.count("cmd process thread exit"), 1u);
  EXPECT_FALSE(commands_.running());
}

TEST_F(CommandTest, ReplayKeepsTheInterfacePassive) {
  ASSERT_EQ(commands_.init(fd_, 0, 1), 0);
  EXPECT_FALSE(commands_.running());
}

}  // namespace
