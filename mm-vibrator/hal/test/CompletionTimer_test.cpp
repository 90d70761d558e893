// The completion timer on its own: order of deadlines, a thread that cannot be started,
// and pending callbacks at teardown.
#include "CompletionTimer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <vector>

namespace vib = aidl::android::hardware::vibrator;

namespace {

TEST(CompletionTimer, CallsInOrderOfDeadlineNotOfScheduling) {
  vib::CompletionTimer timer;
  std::mutex lock;
  std::vector<int> order;
  std::promise<void> done;
  auto record = [&](int which) {
    std::lock_guard<std::mutex> g(lock);
    order.push_back(which);
    if (order.size() == 3) done.set_value();
  };
  ASSERT_TRUE(timer.schedule(std::chrono::milliseconds(60), [&] { record(3); }));
  ASSERT_TRUE(timer.schedule(std::chrono::milliseconds(0), [&] { record(1); }));
  ASSERT_TRUE(timer.schedule(std::chrono::milliseconds(20), [&] { record(2); }));
  ASSERT_EQ(done.get_future().wait_for(std::chrono::seconds(5)), std::future_status::ready);
  std::lock_guard<std::mutex> g(lock);
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST(CompletionTimer, AThreadThatCannotStartIsAnErrorNotACrash) {
  int attempts = 0;
  vib::CompletionTimer timer([&](std::thread*, std::function<void()>) {
    ++attempts;
    return false;
  });
  EXPECT_FALSE(timer.start());
  bool called = false;
  EXPECT_FALSE(timer.schedule(std::chrono::milliseconds(0), [&] { called = true; }));
  EXPECT_EQ(timer.pending(), 0u);
  EXPECT_FALSE(called);
  EXPECT_EQ(attempts, 2);  // each request tries again
}

TEST(CompletionTimer, PendingCallbacksAreDroppedAtTeardown) {
  std::atomic<int> calls{0};
  auto keep = std::make_shared<int>(0);
  {
    vib::CompletionTimer timer;
    for (int i = 0; i < 100; ++i) {
      ASSERT_TRUE(timer.schedule(std::chrono::hours(1), [&calls, keep] { ++calls; }));
    }
    EXPECT_EQ(timer.pending(), 100u);
    EXPECT_EQ(keep.use_count(), 101);
  }
  EXPECT_EQ(calls.load(), 0);
  EXPECT_EQ(keep.use_count(), 1);  // what they held is released
}

}  // namespace
