// The completion timer on its own: order of deadlines, a thread that cannot be started,
// pending callbacks at teardown, a stop under a running callback, and a timer ended by the
// release of its own callback.
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

// An owner stops its timer before it tears down what the callbacks use: a callback running
// then is waited for, and what it schedules from then on is refused, not kept where nothing
// calls it; the pending ones are released, not called, before stop() returns.
TEST(CompletionTimer, StopWaitsForTheRunningCallbackAndRefusesWhatItSchedules) {
  vib::CompletionTimer timer;
  std::atomic<int> calls{0};
  auto keep = std::make_shared<int>(0);
  std::promise<void> running;
  std::promise<void> letGo;
  std::shared_future<void> go = letGo.get_future().share();
  std::atomic<bool> finished{false};
  int accepted = 0;
  ASSERT_TRUE(timer.schedule(std::chrono::hours(1), [&calls, keep] { ++calls; }));
  ASSERT_TRUE(timer.schedule(std::chrono::milliseconds(0), [&] {
    running.set_value();
    go.wait();
    // Keeps scheduling until the stop under way refuses.
    while (accepted < 100000 && timer.schedule(std::chrono::hours(1), [&calls, keep] { ++calls; })) ++accepted;
    finished = true;
  }));
  ASSERT_EQ(running.get_future().wait_for(std::chrono::seconds(5)), std::future_status::ready);
  letGo.set_value();
  timer.stop();
  EXPECT_TRUE(finished.load());
  EXPECT_LT(accepted, 100000) << "schedules were still accepted after the timer stopped";
  EXPECT_EQ(keep.use_count(), 1);  // every pending callback released
  EXPECT_EQ(calls.load(), 0);
  EXPECT_FALSE(timer.start());
  EXPECT_FALSE(timer.schedule(std::chrono::milliseconds(0), [&calls, keep] { ++calls; }));
  EXPECT_EQ(keep.use_count(), 1);
  EXPECT_EQ(timer.pending(), 0u);
}

// The release of a fired callback may end the timer's owner, and with it the timer, on the
// timer's own thread. The thread must then end on its own without touching the timer it
// belonged to (AddressSanitizer sees any such touch), and a callback scheduled by a
// release is still called.
TEST(CompletionTimer, ATimerEndedByItsOwnCallbackLetsItsThreadFinish) {
  std::promise<void> threadEnded;
  auto* timer = new vib::CompletionTimer([&threadEnded](std::thread* out, std::function<void()> body) {
    *out = std::thread([body = std::move(body), &threadEnded] {
      body();
      threadEnded.set_value();
    });
    return true;
  });
  auto owner = std::shared_ptr<vib::CompletionTimer>(timer);
  std::promise<void> second;
  // Scheduled by the first callback's release, on the timer thread.
  auto scheduleSecond = std::shared_ptr<int>(new int(0), [timer, &second](int* p) {
    delete p;
    timer->schedule(std::chrono::milliseconds(0), [&second] { second.set_value(); });
  });
  ASSERT_TRUE(timer->schedule(std::chrono::milliseconds(0), [scheduleSecond = std::move(scheduleSecond)] {}));
  if (second.get_future().wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
    new std::shared_ptr<vib::CompletionTimer>(std::move(owner));  // left behind, not waited for
    FAIL() << "a callback scheduled by a release was never called";
  }
  // The timer's only reference now goes with the next callback's release.
  ASSERT_TRUE(timer->schedule(std::chrono::milliseconds(0), [owner = std::move(owner)] {}));
  ASSERT_EQ(threadEnded.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
}

}  // namespace
