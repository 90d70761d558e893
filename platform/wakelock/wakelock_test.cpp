#include <gtest/gtest.h>

#include <cerrno>

#include "hardware_legacy/power.h"
#include "platform/wakelock_test.h"

namespace {

TEST(WakeLock, AcquireReleaseAndOverlap) {
  platform::wakelock::reset();
  EXPECT_EQ(acquire_wake_lock(PARTIAL_WAKE_LOCK, "a"), 0);
  EXPECT_TRUE(platform::wakelock::held("a"));
  EXPECT_EQ(acquire_wake_lock(PARTIAL_WAKE_LOCK, "a"), 0);
  EXPECT_EQ(release_wake_lock("a"), 0);
  EXPECT_TRUE(platform::wakelock::held("a"));
  EXPECT_EQ(release_wake_lock("a"), 0);
  EXPECT_FALSE(platform::wakelock::held("a"));
  EXPECT_EQ(platform::wakelock::maxOverlap("a"), 2);
  EXPECT_EQ(release_wake_lock("a"), -1);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(platform::wakelock::events().size(), 4u);
}

TEST(WakeLock, InjectedFailuresAreOneShot) {
  platform::wakelock::reset();
  platform::wakelock::failNextAcquire(EACCES);
  EXPECT_EQ(acquire_wake_lock(PARTIAL_WAKE_LOCK, "b"), -1);
  EXPECT_EQ(errno, EACCES);
  EXPECT_FALSE(platform::wakelock::held("b"));
  EXPECT_EQ(acquire_wake_lock(PARTIAL_WAKE_LOCK, "b"), 0);
  platform::wakelock::failNextRelease(EIO);
  EXPECT_EQ(release_wake_lock("b"), -1);
  EXPECT_EQ(release_wake_lock("b"), 0);
  EXPECT_EQ(acquire_wake_lock(7, "b"), -1);
}

}  // namespace
