// The host's timer thread on its own: arming rules of the five timer operations.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "timer_service.h"

namespace touch_host {
namespace {

using namespace std::chrono_literals;

std::atomic<int> g_fires{0};
std::atomic<std::thread::id> g_fire_thread;

int32_t count_fire(timer_tool *) {
  g_fires.fetch_add(1);
  g_fire_thread.store(std::this_thread::get_id());
  return 0;
}

bool wait_fires(int n, std::chrono::milliseconds timeout = 2s) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (g_fires.load() < n) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

class TimerServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_fires = 0;
    ASSERT_EQ(service.register_timer(&timer, &count_fire), 0);
  }
  TimerService service;
  timer_tool timer{};
};

TEST_F(TimerServiceTest, StartFiresOnceOnTheTimerThread) {
  EXPECT_EQ(timer.start(&timer, 5), 0);
  EXPECT_EQ(__atomic_load_n(&timer.running, __ATOMIC_ACQUIRE), 1);
  ASSERT_TRUE(wait_fires(1));
  std::this_thread::sleep_for(30ms);
  EXPECT_EQ(g_fires.load(), 1);
  EXPECT_EQ(g_fire_thread.load(), service.thread_id());
  EXPECT_NE(g_fire_thread.load(), std::this_thread::get_id());
  EXPECT_EQ(__atomic_load_n(&timer.running, __ATOMIC_ACQUIRE), 0);  // a fired one-shot may be started again
  EXPECT_EQ(timer.start(&timer, 1), 0);
  EXPECT_TRUE(wait_fires(2));
}

TEST_F(TimerServiceTest, StartOnARunningTimerDoesNotRearmButRestartDoes) {
  ASSERT_EQ(timer.start(&timer, 2000), 0);
  ASSERT_EQ(timer.start(&timer, 1), 0);  // ignored: the 2 s deadline stands
  std::this_thread::sleep_for(40ms);
  EXPECT_EQ(g_fires.load(), 0);
  ASSERT_EQ(timer.restart(&timer, 1), 0);  // re-armed: fires long before the 2 s
  EXPECT_TRUE(wait_fires(1, 1s));
}

TEST_F(TimerServiceTest, StopDisarms) {
  ASSERT_EQ(timer.start(&timer, 20), 0);
  ASSERT_EQ(timer.stop(&timer), 0);
  EXPECT_EQ(__atomic_load_n(&timer.running, __ATOMIC_ACQUIRE), 0);
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(g_fires.load(), 0);
}

TEST_F(TimerServiceTest, PeriodicFiresUntilStopped) {
  ASSERT_EQ(timer.set_periodic(&timer, 2), 0);
  ASSERT_TRUE(wait_fires(3));
  ASSERT_EQ(timer.stop(&timer), 0);
  std::this_thread::sleep_for(10ms);
  const int settled = g_fires.load();
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(g_fires.load(), settled);
}

TEST_F(TimerServiceTest, RegistrationAndDeleteRules) {
  EXPECT_EQ(service.register_timer(&timer, &count_fire), 255);  // twice
  EXPECT_EQ(service.register_timer(nullptr, &count_fire), 255);
  timer_tool other{};
  EXPECT_EQ(service.register_timer(&other, nullptr), 255);
  EXPECT_EQ(service.timer_count(), 1u);

  auto start = timer.start;
  EXPECT_EQ(timer.delete_timer(&timer), 0);
  EXPECT_EQ(timer.start, nullptr);
  EXPECT_EQ(service.timer_count(), 0u);
  EXPECT_EQ(start(&timer, 1), 255);  // no longer known
  EXPECT_EQ(start(nullptr, 1), 255);
}

TEST_F(TimerServiceTest, ShutdownJoinsAndRefusesFurtherWork) {
  ASSERT_EQ(timer.start(&timer, 1000), 0);
  service.shutdown();
  EXPECT_EQ(timer.restart(&timer, 1), 255);
  timer_tool late{};
  EXPECT_EQ(service.register_timer(&late, &count_fire), 255);
  EXPECT_EQ(g_fires.load(), 0);
}

}  // namespace
}  // namespace touch_host
