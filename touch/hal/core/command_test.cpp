// The get-command interface over the simulated driver: blocks reach host slot 1 in order,
// a full ring drops its oldest block, and exit ends both threads and gives back their
// watchdog timers.
#include "core/command.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>

#include <memory>

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
    hal_set_start_retry(0, 0);
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

// Holds entries of the module's thread table with threads that wait until let go, so that
// a thread start can be made to fail.
class ThreadTableFiller {
 public:
  ~ThreadTableFiller() {
    while (!workers_.empty()) release();
  }
  // Takes every free entry.
  void fill() {
    for (;;) {
      auto worker = std::make_unique<Worker>();
      worker->handle = create_thread("hal-test-filler", wait, worker.get(), 0);
      if (worker->handle == 0) return;
      workers_.push_back(std::move(worker));
    }
  }
  // Frees one entry again.
  void release() {
    Worker &worker = *workers_.back();
    {
      std::lock_guard<std::mutex> guard(worker.lock);
      worker.open = true;
    }
    worker.opened.notify_one();
    pthread_join(static_cast<pthread_t>(worker.handle), nullptr);
    workers_.pop_back();
  }

 private:
  struct Worker {
    std::mutex lock;
    std::condition_variable opened;
    bool open = false;
    uint64_t handle = 0;
  };
  static void *wait(void *arg) {
    auto *worker = static_cast<Worker *>(arg);
    std::unique_lock<std::mutex> guard(worker->lock);
    worker->opened.wait(guard, [&] { return worker->open; });
    return nullptr;
  }
  std::vector<std::unique_ptr<Worker>> workers_;
};

// The watchdogs come and go with the threads: the timer table has HAL_TIMER_MAX entries
// for the whole process.
TEST_F(CommandTest, ExitAndTheDestructorGiveTheWatchdogTimersBack) {
  const int32_t before = hal_registered_timer_count();
  ASSERT_EQ(commands_.init(fd_, 0, 0), 0);
  EXPECT_EQ(hal_registered_timer_count(), before + 2);
  EXPECT_EQ(commands_.exit(), 0);
  EXPECT_EQ(hal_registered_timer_count(), before);
  EXPECT_EQ(commands_.exit(), 0);  // a second exit has nothing left to give back
  EXPECT_EQ(hal_registered_timer_count(), before);

  {
    hal::CommandThreads dropped;
    ASSERT_EQ(dropped.init(fd_, 1, 0), 0);
    EXPECT_EQ(hal_registered_timer_count(), before + 2);
  }
  EXPECT_EQ(hal_registered_timer_count(), before);
  EXPECT_EQ(host_.count("cmd process thread exit"), 2u);

  // Started again, the watchdogs are registered anew and still watch: a host that sits on a
  // block past the stall time is reported.
  ASSERT_EQ(commands_.init(fd_, 0, 0), 0);
  EXPECT_EQ(hal_registered_timer_count(), before + 2);
  host_.holdBlocks(true);
  dev_->pushCommand(block(1));
  EXPECT_TRUE(host_.waitFor("cmd_fo_restart_thp: cmd fo thread error, restart", 2s));
}

// A start that gives up (either thread) leaves no timer behind.
TEST_F(CommandTest, AStartThatGivesUpGivesTheWatchdogTimersBack) {
  // The first registration in the process starts the timer thread, which takes a thread
  // entry of its own for good: let that happen before the table is filled.
  ASSERT_EQ(commands_.init(fd_, 0, 0), 0);
  commands_.exit();
  hal_set_start_retry(1, 1);
  const int32_t before = hal_registered_timer_count();
  struct Case {
    const char *what;
    int free_entries;
    const char *logged;
  } cases[] = {
      {"reader", 0, "create a thread of getting cmd fail"},
      {"deliverer", 1, "create a thread of processing cmd fail"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    ThreadTableFiller filler;
    filler.fill();
    for (int i = 0; i < c.free_entries; ++i) filler.release();
    EXPECT_EQ(commands_.init(fd_, 0, 0), HAL_RESULT_GAVE_UP);
    EXPECT_EQ(host_.count(c.logged), 1u);
    EXPECT_FALSE(commands_.running());
    EXPECT_EQ(hal_registered_timer_count(), before);
  }
}

}  // namespace
