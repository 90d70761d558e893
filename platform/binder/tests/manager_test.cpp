// Service registration and lookup, bounded waits and the thread pool's join.
#include <chrono>
#include <future>
#include <thread>

#include <android/binder_manager.h>
#include <android/binder_process.h>
#include <gtest/gtest.h>

#include "calc_interface.h"
#include "platform_binder_test.h"

namespace {

using namespace std::chrono_literals;

class Empty : public calc::BnCalcListener {
 public:
  ndk::ScopedAStatus onValue(int32_t) override { return ndk::ScopedAStatus::ok(); }
};

class ManagerTest : public ::testing::Test {
 protected:
  void TearDown() override {
    platform_binder_test::resetServiceManager();
    platform_binder_test::resetProcess();
  }
};

TEST_F(ManagerTest, AddThenCheck) {
  auto obj = ndk::SharedRefBase::make<Empty>();
  EXPECT_EQ(nullptr, AServiceManager_checkService("x/default"));
  EXPECT_EQ(EX_ILLEGAL_ARGUMENT, AServiceManager_addService(nullptr, "x/default"));
  EXPECT_EQ(EX_ILLEGAL_ARGUMENT, AServiceManager_addService(obj->asBinder().get(), ""));
  ASSERT_EQ(EX_NONE, AServiceManager_addService(obj->asBinder().get(), "x/default"));
  ndk::SpAIBinder found(AServiceManager_checkService("x/default"));
  ASSERT_NE(nullptr, found.get());
  EXPECT_TRUE(AIBinder_isRemote(found.get()));
  // Every lookup gives the same proxy.
  EXPECT_EQ(found, ndk::SpAIBinder(AServiceManager_checkService("x/default")));
  EXPECT_EQ(nullptr, AServiceManager_checkService("x/other"));
}

TEST_F(ManagerTest, WaitReturnsOnceTheServiceIsAdded) {
  auto obj = ndk::SharedRefBase::make<Empty>();
  auto waiter = std::async(std::launch::async, [] {
    return ndk::SpAIBinder(AServiceManager_waitForService("late/default"));
  });
  EXPECT_EQ(std::future_status::timeout, waiter.wait_for(50ms));
  ASSERT_EQ(EX_NONE, AServiceManager_addService(obj->asBinder().get(), "late/default"));
  ASSERT_EQ(std::future_status::ready, waiter.wait_for(5s));
  EXPECT_NE(nullptr, waiter.get().get());
}

TEST_F(ManagerTest, BoundedWaitGivesUpWithNull) {
  platform_binder_test::setWaitForServiceTimeout(100ms);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(nullptr, AServiceManager_waitForService("never/default"));
  EXPECT_EQ(nullptr, AServiceManager_getService("never/default"));
  auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_GE(elapsed, 200ms);
  EXPECT_LT(elapsed, 5s);
}

TEST_F(ManagerTest, DeclaredInstancesComeFromTheManifest) {
  EXPECT_FALSE(AServiceManager_isDeclared("a.b.IFoo/default"));
  platform_binder_test::declareService("a.b.IFoo/default");
  EXPECT_TRUE(AServiceManager_isDeclared("a.b.IFoo/default"));
  platform_binder_test::resetServiceManager();
  EXPECT_FALSE(AServiceManager_isDeclared("a.b.IFoo/default"));
}

TEST_F(ManagerTest, JoinBlocksUntilTheProcessIsStopped) {
  EXPECT_TRUE(ABinderProcess_setThreadPoolMaxThreadCount(0));
  EXPECT_EQ(0u, platform_binder_test::threadPoolMaxThreadCount());
  EXPECT_FALSE(ABinderProcess_isThreadPoolStarted());
  ABinderProcess_startThreadPool();
  EXPECT_TRUE(ABinderProcess_isThreadPoolStarted());
  EXPECT_FALSE(ABinderProcess_setThreadPoolMaxThreadCount(10));  // fixed once started

  auto joined = std::async(std::launch::async, [] { ABinderProcess_joinThreadPool(); });
  ASSERT_TRUE(platform_binder_test::waitForJoinedThreads(1, 5s));
  EXPECT_EQ(std::future_status::timeout, joined.wait_for(50ms));
  platform_binder_test::stopProcess();
  EXPECT_EQ(std::future_status::ready, joined.wait_for(5s));
}

TEST_F(ManagerTest, ReplacingAServiceReleasesTheOldBinder) {
  auto first = ndk::SharedRefBase::make<Empty>();
  auto second = ndk::SharedRefBase::make<Empty>();
  std::weak_ptr<Empty> watch = first;
  ASSERT_EQ(EX_NONE, AServiceManager_addService(first->asBinder().get(), "r/default"));
  first.reset();
  EXPECT_FALSE(watch.expired());
  ASSERT_EQ(EX_NONE, AServiceManager_addService(second->asBinder().get(), "r/default"));
  EXPECT_TRUE(watch.expired());
}

}  // namespace
