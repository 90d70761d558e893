// Timers, threads and the small utilities of the module.
#include <gtest/gtest.h>
#include <string.h>
#include <sys/prctl.h>
#include <time.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <random>

#include "core/core_test_util.h"
#include "core/hal_core.h"
#include "platform/properties.h"
#include "platform/properties_test_api.h"

namespace {

using namespace std::chrono_literals;

class RuntimeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    hal_log_level = HAL_LOG_ENTRY;
    register_hal_module(host_.table());
  }
  void TearDown() override { hal_log_level = HAL_LOG_INFO; }
  hal::testing::RecordingHost host_;
};

// A timer_tool with a counter of its expiries and the name of the thread they ran on.
struct CountingTimer {
  timer_tool tool{};
  std::atomic<int> fired{0};
  char thread_name[16] = {};
  static int32_t onFire(timer_tool *timer) {
    auto *self = reinterpret_cast<CountingTimer *>(timer);
    prctl(PR_GET_NAME, self->thread_name, 0, 0, 0);
    self->fired.fetch_add(1);
    return 0;
  }
  bool waitFired(int n, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (fired.load() < n && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(2ms);
    return fired.load() >= n;
  }
  ~CountingTimer() {
    if (tool.delete_timer != nullptr) tool.delete_timer(&tool);
  }
};

TEST_F(RuntimeTest, TimerRegistrationRefusesDuplicatesAndAFullTable) {
  CountingTimer first;
  ASSERT_EQ(register_timer(&first.tool, CountingTimer::onFire), 0);
  EXPECT_EQ(register_timer(&first.tool, CountingTimer::onFire), HAL_RESULT_FAILED);
  EXPECT_EQ(host_.count("has add, do not add it again."), 1u);
  EXPECT_EQ(register_timer(nullptr, CountingTimer::onFire), HAL_RESULT_FAILED);
  EXPECT_EQ(register_timer(&first.tool, nullptr), HAL_RESULT_FAILED);

  std::vector<std::unique_ptr<CountingTimer>> more;
  const int held_before = hal_registered_timer_count();
  int accepted = held_before;
  for (int i = 0; i < HAL_TIMER_MAX + 1; ++i) {
    more.push_back(std::make_unique<CountingTimer>());
    if (register_timer(&more.back()->tool, CountingTimer::onFire) == 0) ++accepted;
  }
  EXPECT_EQ(accepted, HAL_TIMER_MAX);
  EXPECT_EQ(hal_registered_timer_count(), HAL_TIMER_MAX);
  EXPECT_EQ(host_.count("timer list full."), static_cast<size_t>(held_before + 1));
  // A freed entry can be taken again.
  ASSERT_EQ(first.tool.delete_timer(&first.tool), 0);
  EXPECT_EQ(first.tool.start, nullptr);
  CountingTimer late;
  EXPECT_EQ(register_timer(&late.tool, CountingTimer::onFire), 0);
}

TEST_F(RuntimeTest, StartDoesNotRearmARunningTimerButRestartDoes) {
  CountingTimer t;
  ASSERT_EQ(register_timer(&t.tool, CountingTimer::onFire), 0);
  ASSERT_EQ(t.tool.start(&t.tool, 60), 0);
  EXPECT_EQ(t.tool.running, 1);
  ASSERT_EQ(t.tool.start(&t.tool, 5000), 0);  // still due after 60 ms
  ASSERT_TRUE(t.waitFired(1, 1s));
  EXPECT_STREQ(t.thread_name, "touch-timer-thr");  // the kernel keeps 15 characters

  t.tool.stop(&t.tool);
  ASSERT_EQ(t.tool.start(&t.tool, 60), 0);
  ASSERT_EQ(t.tool.restart(&t.tool, 400), 0);  // pushed back
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(t.fired.load(), 1);
  ASSERT_TRUE(t.waitFired(2, 1s));

  // Stop disarms.
  t.tool.restart(&t.tool, 50);
  EXPECT_EQ(t.tool.stop(&t.tool), 0);
  EXPECT_EQ(t.tool.running, 0);
  std::this_thread::sleep_for(150ms);
  EXPECT_EQ(t.fired.load(), 2);
}

TEST_F(RuntimeTest, PeriodicTimersAndTheZeroPeriod) {
  CountingTimer t;
  ASSERT_EQ(register_timer(&t.tool, CountingTimer::onFire), 0);
  ASSERT_EQ(t.tool.set_periodic(&t.tool, 20), 0);
  ASSERT_TRUE(t.waitFired(4, 2s));
  ASSERT_EQ(t.tool.set_periodic(&t.tool, 0), 0);  // fires once at once, then stays quiet
  std::this_thread::sleep_for(100ms);
  const int settled = t.fired.load();
  std::this_thread::sleep_for(150ms);
  EXPECT_EQ(t.fired.load(), settled);
  EXPECT_EQ(t.tool.running, 0);
  // The same state again is not re-armed.
  EXPECT_EQ(t.tool.set_periodic(&t.tool, 0), 0);
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(t.fired.load(), settled);
}

TEST_F(RuntimeTest, OperationsOnUnknownTimersAreRefused) {
  CountingTimer registered;
  ASSERT_EQ(register_timer(&registered.tool, CountingTimer::onFire), 0);
  timer_tool stranger{};
  EXPECT_EQ(registered.tool.start(&stranger, 10), HAL_RESULT_FAILED);
  EXPECT_EQ(host_.count("not found, please create it."), 1u);
  EXPECT_EQ(registered.tool.delete_timer(&stranger), HAL_RESULT_FAILED);
  EXPECT_EQ(host_.count("can not fond this timer in list."), 1u);
  EXPECT_EQ(registered.tool.delete_timer(nullptr), HAL_RESULT_FAILED);
  EXPECT_EQ(host_.count("timer id is NULL, stop delete."), 1u);
  EXPECT_EQ(registered.tool.restart(nullptr, 10), HAL_RESULT_FAILED);
  EXPECT_EQ(host_.count("timer id is NULL, stop start or stop."), 1u);
}

TEST_F(RuntimeTest, ThreadTableHoldsFifteenNamedThreads) {
  struct Gate {
    std::mutex lock;
    std::condition_variable open_cv;
    bool open = false;
    std::atomic<int> named{0};
  } gate;
  auto routine = [](void *arg) -> void * {
    auto *g = static_cast<Gate *>(arg);
    char name[16] = {};
    prctl(PR_GET_NAME, name, 0, 0, 0);
    if (strcmp(name, "hal-test-worker") == 0) g->named.fetch_add(1);
    std::unique_lock<std::mutex> guard(g->lock);
    g->open_cv.wait(guard, [&] { return g->open; });
    return nullptr;
  };
  std::vector<uint64_t> handles;
  for (int i = 0; i < HAL_THREAD_MAX + 1; ++i) {
    const uint64_t h = create_thread("hal-test-worker", routine, &gate, 0);
    if (h == 0) break;
    handles.push_back(h);
  }
  // The table is shared with the module's own threads (the timer thread may hold one).
  EXPECT_GE(handles.size(), static_cast<size_t>(HAL_THREAD_MAX - 1));
  EXPECT_LE(handles.size(), static_cast<size_t>(HAL_THREAD_MAX));
  EXPECT_EQ(host_.count("thread list full!"), 1u);
  EXPECT_EQ(create_thread(nullptr, routine, nullptr, 0), 0u);
  {
    std::lock_guard<std::mutex> guard(gate.lock);
    gate.open = true;
  }
  gate.open_cv.notify_all();
  for (uint64_t h : handles) pthread_join(static_cast<pthread_t>(h), nullptr);
  EXPECT_EQ(gate.named.load(), static_cast<int>(handles.size()));
  // Entries are free again once the routines returned.
  const uint64_t again = create_thread("hal-test-worker", [](void *) -> void * { return nullptr; }, nullptr, 1);
  ASSERT_NE(again, 0u);
  pthread_join(static_cast<pthread_t>(again), nullptr);
}

TEST_F(RuntimeTest, PropertiesAsIntegersAndFlags) {
  platform::testing::TempRoot root;
  plat_properties_reset();
  struct Case {
    const char *value;
    bool def;
    bool expect;
  };
  const Case cases[] = {{"true", false, true}, {"false", true, false}, {"1", false, false},
                        {"1", true, true},     {"trueish", false, true}, {"no", true, true}};
  for (const Case &c : cases) {
    ASSERT_EQ(property_set("vendor.hal.test.flag", c.value), 0);
    EXPECT_EQ(hal_property_get_bool("vendor.hal.test.flag", c.def), c.expect) << c.value;
  }
  EXPECT_TRUE(hal_property_get_bool("vendor.hal.test.missing", true));
  EXPECT_EQ(host_.count("get prop vendor.hal.test.missing not find"), 1u);

  EXPECT_EQ(property_set_s32("vendor.hal.test.int", -42), 0);
  EXPECT_EQ(property_get_s32("vendor.hal.test.int", 5), -42);
  EXPECT_EQ(host_.count("set prop vendor.hal.test.int to -42"), 1u);
  EXPECT_EQ(property_get_s32("vendor.hal.test.none", 5), 5);
  EXPECT_EQ(property_get_s32(nullptr, 6), 6);
  EXPECT_EQ(property_set_s32(nullptr, 1), HAL_RESULT_FAILED);
  plat_properties_reset();
}

TEST(RtcTime, KnownDatesAndTheLibcCalendar) {
  struct Case {
    uint64_t seconds;
    int year, mon, mday, wday, yday, hour, min, sec;
  };
  const Case cases[] = {
      {0, 70, 0, 1, 4, 1, 0, 0, 0},             // Thursday 1 January 1970
      {951782400, 100, 1, 29, 2, 60, 0, 0, 0},  // Tuesday 29 February 2000
      {951782400 + 86399, 100, 1, 29, 2, 60, 23, 59, 59},
      {978307199, 100, 11, 31, 0, 366, 23, 59, 59},  // last second of the leap year 2000
  };
  for (const Case &c : cases) {
    HalRtcTime tm{};
    rtc_time_to_tm(c.seconds, &tm);
    EXPECT_EQ(tm.tm_year, c.year) << c.seconds;
    EXPECT_EQ(tm.tm_mon, c.mon) << c.seconds;
    EXPECT_EQ(tm.tm_mday, c.mday) << c.seconds;
    EXPECT_EQ(tm.tm_wday, c.wday) << c.seconds;
    EXPECT_EQ(tm.tm_yday, c.yday) << c.seconds;
    EXPECT_EQ(tm.tm_hour, c.hour) << c.seconds;
    EXPECT_EQ(tm.tm_min, c.min) << c.seconds;
    EXPECT_EQ(tm.tm_sec, c.sec) << c.seconds;
    EXPECT_EQ(tm.tm_isdst, 0);
  }
  // Against the C library's UTC calendar over two centuries.
  std::mt19937_64 rng(7);
  for (int i = 0; i < 2000; ++i) {
    const time_t t = static_cast<time_t>(rng() % 6311433600ull);  // up to 2170
    struct tm ref {};
    gmtime_r(&t, &ref);
    HalRtcTime tm{};
    rtc_time_to_tm(static_cast<uint64_t>(t), &tm);
    ASSERT_EQ(tm.tm_year, ref.tm_year) << t;
    ASSERT_EQ(tm.tm_mon, ref.tm_mon) << t;
    ASSERT_EQ(tm.tm_mday, ref.tm_mday) << t;
    ASSERT_EQ(tm.tm_wday, ref.tm_wday) << t;
    ASSERT_EQ(tm.tm_yday, ref.tm_yday + 1) << t;
    ASSERT_EQ(tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec, ref.tm_hour * 3600 + ref.tm_min * 60 + ref.tm_sec);
  }
}

TEST(Utilities, TimeDifferenceAndMemory) {
  EXPECT_EQ(timeval_diff(2, 500000, 1, 0), 1500000u);
  EXPECT_EQ(timeval_diff(1, 0, 2, 500000), 1500000u);
  EXPECT_EQ(timeval_diff(5, 5, 5, 5), 0u);
  void *p = alloc_memory(64, 3);
  ASSERT_NE(p, nullptr);
  memset(p, 1, 64);
  free_memory(p);
  free_memory(nullptr);
}

}  // namespace
