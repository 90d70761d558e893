// The frame-data interface over the simulated driver: the frame thread, get frame, the
// watchdogs and the idle times.
#include "core/frame_data.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <functional>
#include <future>

#include "core/core_test_util.h"
#include "core/test_decoder.h"
#include "platform/devio.h"

namespace {

using namespace std::chrono_literals;
using hal::testing::test_slot;

class FrameDataTest : public hal::testing::DeviceFixture {
 protected:
  void SetUp() override {
    DeviceFixture::SetUp();
    platform::sim::TamrelTouchConfig config;
    config.frame_buffer_count = 4;
    dev_ = addDevice(config);
    ASSERT_NE(dev_, nullptr);
    fd_ = plat_open("/dev/tamrel-touch", O_RDWR);
    ASSERT_GE(fd_, 0);
    ASSERT_EQ(plat_ioctl(fd_, tamrel_touch_request(TOUCH_IOC_PANEL_INFO, sizeof(panel_), TOUCH_IOC_DIR_READ), &panel_), 0);
    configure({});
  }
  void TearDown() override {
    frames_.exit();
    plat_close(fd_);
    DeviceFixture::TearDown();
  }
  // The configuration VALUES over a panel of 2 drive x 4 sense lines (8 mutual and 6 self
  // nodes, 4 extra nodes); VALUES come first, so they may replace the panel's entries.
  void configure(std::vector<std::pair<std::string, int32_t>> values) {
    values.insert(values.end(), {{"hw.hal_row_num", 2},
                                 {"hw.hal_col_num", 4},
                                 {"hw.hal_node_num", 8},
                                 {"hw.hal_snode_num", 6},
                                 {"hw.hal_nnode_num", 4}});
    table() = std::move(values);
    HalConfigAccessor accessor{};
    accessor.get_int_config = [](void *, const char *path, int32_t def) {
      for (const auto &v : table())
        if (v.first == path) return v.second;
      return def;
    };
    frames_.readConfig(nullptr, &accessor);
  }
  static std::vector<std::pair<std::string, int32_t>> &table() {
    static std::vector<std::pair<std::string, int32_t>> values;
    return values;
  }
  // One slot at a time, each taken by the frame thread before the next.
  void push(const std::vector<uint8_t> &slot) {
    dev_->pushFrame(slot);
    ASSERT_TRUE(dev_->waitFramesTaken(2s));
  }
  // Waits until the ring holds n frames.
  bool waitPending(int n) {
    for (int i = 0; i < 400 && frames_.ring().pending() < n; ++i) std::this_thread::sleep_for(5ms);
    return frames_.ring().pending() == n;
  }

  std::shared_ptr<platform::sim::TamrelTouchDevice> dev_;
  int fd_ = -1;
  TouchPanelInfo panel_{};
  hal::FrameData frames_{hal::testing::test_decoder};
};

TEST_F(FrameDataTest, FramesTravelFromTheDriverRingInOrder) {
  ASSERT_EQ(frames_.init(&panel_, fd_, 0, 0), 0);
  ASSERT_TRUE(frames_.running());
  EXPECT_EQ(dev_->bufferSelections(), std::vector<uint32_t>{TOUCH_BUFFER_FRAME_RING});
  EXPECT_EQ(dev_->mapCount(), 1u);
  ASSERT_TRUE(host_.waitFor("touch id 0 frame thread enter", 2s));

  push(test_slot(1, 11));
  push(test_slot(2, 12, 0, 0, 0, /*valid=*/false));  // rejected by the decoder: not published
  push(test_slot(3, 13));
  ASSERT_TRUE(waitPending(2));
  uint64_t stamps[2] = {};
  const uint16_t expected[2] = {1, 3};
  for (int i = 0; i < 2; ++i) {
    DecodedFrame *frame = nullptr;
    DecodedFrame *copy = nullptr;
    ASSERT_EQ(frames_.getFrame(&frame, &copy), 0);
    EXPECT_EQ(copy->frame_index, expected[i]);
    EXPECT_EQ(static_cast<uint64_t>(copy->frame_count), 10u + expected[i]);
    EXPECT_EQ(copy->mutual[7], expected[i] * 10 + 7);
    EXPECT_EQ(frames_.lastFrameInfo(), 1000000u + expected[i]);
    stamps[i] = copy->frame_count;
  }
  EXPECT_LT(stamps[0], stamps[1]);
}

TEST_F(FrameDataTest, SeventeenUnreadFramesDropTheOldest) {
  ASSERT_EQ(frames_.init(&panel_, fd_, 0, 0), 0);
  for (uint16_t i = 1; i <= 17; ++i) push(test_slot(i, i));
  // Sixteen frames are pending both just before and just after the seventeenth arrives, so
  // wait for the drop itself.
  ASSERT_TRUE(host_.waitFor("frame data buf full, skip old index 0", 2s));
  ASSERT_TRUE(waitPending(16));
  EXPECT_EQ(host_.count("frame data buf full, skip old index 0"), 1u);
  for (uint16_t i = 2; i <= 17; ++i) {
    DecodedFrame *copy = nullptr;
    ASSERT_EQ(frames_.getFrame(nullptr, &copy), 0);
    EXPECT_EQ(copy->frame_index, i);
  }
}

TEST_F(FrameDataTest, ExitWhileTheHostWaitsEndsGetFrame) {
  ASSERT_EQ(frames_.init(&panel_, fd_, 0, 0), 0);
  auto waiting = std::async(std::launch::async, [&] { return frames_.getFrame(nullptr, nullptr); });
  EXPECT_EQ(waiting.wait_for(100ms), std::future_status::timeout);
  EXPECT_EQ(frames_.exit(), 0);
  ASSERT_EQ(waiting.wait_for(2s), std::future_status::ready);
  EXPECT_EQ(waiting.get(), HAL_RESULT_FAILED);
  EXPECT_EQ(host_.count("touch id 0 frame thread exit"), 1u);
  EXPECT_FALSE(frames_.running());
}

TEST_F(FrameDataTest, ReplayKeepsTheInterfacePassive) {
  ASSERT_EQ(frames_.init(&panel_, fd_, 0, 1), 0);
  EXPECT_FALSE(frames_.running());
  EXPECT_EQ(dev_->mapCount(), 0u);
  EXPECT_EQ(frames_.getFrame(nullptr, nullptr), HAL_RESULT_FAILED);
}

TEST_F(FrameDataTest, MappingIsRetriedAfterAFailure) {
  dev_->failNextMmaps(1);
  ASSERT_EQ(frames_.init(&panel_, fd_, 0, 0), 0);
  EXPECT_TRUE(frames_.running());
  EXPECT_EQ(host_.count("touch id 0 mmap frame data base fail"), 1u);
  EXPECT_EQ(dev_->mapCount(), 1u);
}

// Mapping and decoder preparation are retried a bounded number of times; when they give
// up, init says so and leaves nothing running or prepared.
TEST_F(FrameDataTest, StartThatGivesUpFailsAndLeavesNothingBehind) {
  hal_set_start_retry(1, 3);
  struct Case {
    const char *what;
    std::function<void()> arrange;
    const char *logged;
  } cases[] = {
      {"mapping", [&] { dev_->failNextMmaps(3); }, "mmap frame data base fail"},
      {"decoder", [&] { hal::testing::g_test_decoder_fail_allocation_at = 0; }, "init decode frame data failed, retry!"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    c.arrange();
    EXPECT_EQ(frames_.init(&panel_, fd_, 0, 0), HAL_RESULT_GAVE_UP);
    hal::testing::g_test_decoder_fail_allocation_at = -1;
    EXPECT_EQ(host_.count(c.logged), 3u);
    EXPECT_FALSE(frames_.running());
    EXPECT_EQ(host_.count("frame thread enter"), 0u);
    EXPECT_EQ(frames_.getFrame(nullptr, nullptr), HAL_RESULT_FAILED);
  }
  // Once the driver behaves, the same instance starts.
  EXPECT_EQ(frames_.init(&panel_, fd_, 0, 0), 0);
  EXPECT_TRUE(frames_.running());
  hal_set_start_retry(0, 0);
}

// Every buffer is sized by the node counts while every frame names the rows and columns:
// counts of another panel are refused with their reason, the last good panel stays, and the
// interface does not start until a good configuration comes.
TEST_F(FrameDataTest, NodeCountsOfAnotherPanelAreRefused) {
  struct Case {
    const char *what;
    std::vector<std::pair<std::string, int32_t>> values;
    const char *logged;
  } cases[] = {
      {"mutual", {{"hw.hal_node_num", 12}},
       "hw.hal_node_num = 12 is not hw.hal_row_num x hw.hal_col_num (2 x 4): configuration refused"},
      {"self", {{"hw.hal_snode_num", 8}},
       "hw.hal_snode_num = 8 is not hw.hal_row_num + hw.hal_col_num (2 + 4): configuration refused"},
      {"no rows", {{"hw.hal_row_num", 0}, {"hw.hal_node_num", 0}, {"hw.hal_snode_num", 4}},
       "hw.hal_row_num x hw.hal_col_num (0 x 4) is no panel: configuration refused"},
  };
  size_t refusals = 0;
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    configure(c.values);
    EXPECT_EQ(host_.count(c.logged), 1u);
    EXPECT_EQ(host_.count(": configuration refused"), ++refusals);  // that reason alone
    EXPECT_EQ(frames_.decoderConfig().node_count, 8);
    EXPECT_EQ(frames_.decoderConfig().snode_count, 6);
    EXPECT_EQ(frames_.init(&panel_, fd_, 0, 0), HAL_RESULT_CONFIG_REFUSED);
    EXPECT_FALSE(frames_.running());
    EXPECT_EQ(dev_->mapCount(), 0u);
  }
  EXPECT_EQ(host_.count("touch id 0 panel configuration refused, no frame is read"), 3u);
  configure({});
  ASSERT_EQ(frames_.init(&panel_, fd_, 0, 0), 0);
  EXPECT_TRUE(frames_.running());
  push(test_slot(1, 1));
  EXPECT_TRUE(waitPending(1));
}

TEST_F(FrameDataTest, DriverIndexOutsideTheMappedRingIsRefused) {
  // A driver claiming more buffers than it maps: the index is checked before use.
  panel_.frame_buffer_count = 2;
  ASSERT_EQ(frames_.init(&panel_, fd_, 0, 0), 0);
  push(test_slot(1, 1));
  push(test_slot(2, 2));
  push(test_slot(3, 3));  // slot index 2 of the driver's ring of 4
  push(test_slot(4, 4));
  ASSERT_TRUE(host_.waitFor("frame index 2 outside 2 buffers", 2s));
  EXPECT_EQ(host_.count("outside 2 buffers"), 1u);  // logged once
  ASSERT_TRUE(waitPending(2));
}

TEST_F(FrameDataTest, ADriverStuckOnABadIndexDoesNotKeepTheFrameThreadBusy) {
  ASSERT_EQ(frames_.init(&panel_, fd_, 0, 0), 0);
  const uint32_t before = dev_->newestIndexQueries();
  const auto begin = std::chrono::steady_clock::now();
  dev_->setStuckFrameIndex(9);  // past the 4 buffers, every time it is asked
  // Each query after the first waits one pause: twenty queries take at least nineteen,
  // where a thread asking again at once takes a few milliseconds for all of them.
  while (dev_->newestIndexQueries() < before + 20 && std::chrono::steady_clock::now() - begin < 5s)
    std::this_thread::yield();
  const auto took = std::chrono::steady_clock::now() - begin;
  EXPECT_GE(took, std::chrono::milliseconds(19 * hal::FrameData::kBadIndexPauseMs));
  EXPECT_EQ(host_.count("frame index 9 outside 4 buffers"), 1u);
  // Once the driver recovers its frames are taken again.
  dev_->setStuckFrameIndex(std::nullopt);
  push(test_slot(1, 1));
  EXPECT_TRUE(waitPending(1));
}

TEST_F(FrameDataTest, MainWatchdogFiresWhenTheHostDoesNotComeBack) {
  ASSERT_EQ(frames_.init(&panel_, fd_, 0, 0), 0);
  push(test_slot(1, 1));
  ASSERT_EQ(frames_.getFrame(nullptr, nullptr), 0);
  EXPECT_TRUE(host_.waitFor("main_watch_dog_func: main dog time out", 1s));
}

TEST_F(FrameDataTest, FrameWatchdogFollowsTheControllerState) {
  configure({{"idle_time.idle_normal", 50}});
  frames_.suspend(1);  // recomputes the period: 55 ms
  EXPECT_EQ(frames_.frameWatchdogPeriodMs(), 55u);
  ASSERT_EQ(frames_.init(&panel_, fd_, 0, 0), 0);
  push(test_slot(1, 1, /*state=*/4));
  EXPECT_TRUE(host_.waitFor("frame_watch_dog_func: frame dog time out", 1s));
  // A frame without the state stops it.
  const size_t fired = host_.count("frame dog time out");
  push(test_slot(2, 2, 4));
  push(test_slot(3, 3, 0));
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(host_.count("frame dog time out"), fired);
}

TEST_F(FrameDataTest, IdleTimesFollowModesAndTheGloveRecord) {
  configure({{"idle_time.idle_normal", 1000}, {"idle_time.idle_game", 30000},
             {"idle_time.doze_time_game_performance", 500}});
  auto mode = [&](uint8_t cmd, uint16_t m, uint32_t value) {
    common_data b{};
    b.cmd = cmd;
    b.mode = m;
    b.values[0] = value;
    EXPECT_EQ(frames_.commonData(&b), 0);
    return frames_.currentIdleMs();
  };
  EXPECT_EQ(mode(0, 0, 1), 30000u);   // game on
  EXPECT_EQ(mode(0, 203, 1), 500u);   // game performance
  EXPECT_EQ(mode(0, 1, 0), 1000u);    // idle select off
  EXPECT_EQ(mode(0, 1, 1), 500u);
  EXPECT_EQ(mode(0, 203, 0), 30000u);
  EXPECT_EQ(mode(6, 0, 0), 1000u);    // reset: game off
  EXPECT_EQ(mode(0, 203, 1), 1000u);  // game off: normal
  EXPECT_EQ(frames_.commonData(nullptr), -1);

  const uint8_t glove_on[6] = {1, 0, 2, 0, 201, 0};
  frames_.idleMode(glove_on);
  EXPECT_EQ(frames_.currentIdleMs(), 2000u);
  EXPECT_EQ(frames_.frameWatchdogPeriodMs(), 2200u);
  const uint8_t glove_off[6] = {1, 0, 2, 0, 0, 0};
  frames_.idleMode(glove_off);
  EXPECT_EQ(frames_.frameWatchdogPeriodMs(), 1100u);
  const uint8_t other_kind[6] = {0, 0, 2, 0, 201, 0};
  frames_.idleMode(other_kind);
  EXPECT_EQ(frames_.frameWatchdogPeriodMs(), 1100u);
}

}  // namespace
