// Several channel objects in one process, as outside callers of the channel and provisioning
// libraries may hold them on threads of their own: they share the process's client of the
// channel and its trusted-application utilities, which the first bring-up sets up once and
// the last object's cleanup tears down.
#include <atomic>
#include <barrier>
#include <latch>
#include <thread>

#include "secproc_channel_fixture.h"

namespace secproc_test {
namespace {

using keymasterutils::KeymasterUtils;

class ChannelObjects : public ChannelTest {
 protected:
  void SetUp() override {
    ChannelTest::SetUp();
    SimSecureProcessor::get().setWeaverConfig(16, 24, 32);
  }

  static int appOps(uint32_t op) {
    int n = 0;
    for (const auto& inv : SimTz::get().invocations()) n += inv.object == "app" && inv.op == op;
    return n;
  }
};

// Two objects made and brought up at the same moment on two threads, then destroyed together:
// the trusted application gets the hand-over once, the process registers once, and every
// trusted-application object is released at the end.
TEST_F(ChannelObjects, TwoObjectsBroughtUpAtOnceHandOverOnce) {
  constexpr int kRounds = 50;
  for (int round = 0; round < kRounds; round++) {
    SCOPED_TRACE(round);
    keymasterutils::testing::resetProcessState();
    SimTz::get().reset();
    const int liveBefore = SimTz::get().liveObjects();
    const int registrationsBefore = SimSecureProcessor::get().registrations();
    std::barrier together(2);
    int results[2] = {-1, -1};
    std::vector<std::thread> threads;
    for (int k = 0; k < 2; k++) {
      threads.emplace_back([&, k] {
        together.arrive_and_wait();
        KeymasterUtils utils(KM_SECURITY_LEVEL_STRONGBOX);
        together.arrive_and_wait();
        results[k] = utils.secproc_init();
        together.arrive_and_wait();
      });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(results[0], 0);
    EXPECT_EQ(results[1], 0);
    EXPECT_EQ(appOps(12), 1) << "one preparation";
    EXPECT_EQ(appOps(13), 1) << "one hand-over";
    EXPECT_EQ(SimSecureProcessor::get().registrations(), registrationsBefore + 1);
    EXPECT_EQ(SimTz::get().liveObjects(), liveBefore) << "no trusted-application object left behind";
    if (HasFailure()) break;
  }
}

// One object is destroyed while the other exchanges on another thread: the survivor's
// exchanges all succeed, before, during and after that cleanup.
TEST_F(ChannelObjects, DestroyingOneObjectLeavesTheOtherExchanging) {
  std::latch firstExchange(1);
  std::atomic<bool> destroyed{false};
  std::atomic<int> failed{0}, done{0};
  std::thread survivor([&] {
    KeymasterUtils utils(KM_SECURITY_LEVEL_STRONGBOX);
    if (!weaverConfigExchange(utils)) failed++;
    firstExchange.count_down();
    while (!destroyed.load()) {
      if (!weaverConfigExchange(utils)) failed++;
      done++;
    }
    for (int k = 0; k < 5; k++) {
      if (!weaverConfigExchange(utils)) failed++;
      done++;
    }
  });
  std::thread leaving([&] {
    auto utils = std::make_unique<KeymasterUtils>(KM_SECURITY_LEVEL_STRONGBOX);
    if (!weaverConfigExchange(*utils)) failed++;
    firstExchange.wait();
    utils.reset();
    destroyed = true;
  });
  leaving.join();
  survivor.join();
  EXPECT_EQ(failed.load(), 0);
  EXPECT_GE(done.load(), 5);
  EXPECT_EQ(SimSecureProcessor::get().unregistrations(), 1) << "the last object's cleanup ends the registration";
  EXPECT_EQ(SimSecureProcessor::get().registrations(), 1);
}

// The last object's cleanup tears the process-wide client down, and a later object brings
// it up again.
TEST_F(ChannelObjects, LastCleanupEndsTheClientAndANewObjectStartsItAgain) {
  {
    KeymasterUtils first(KM_SECURITY_LEVEL_STRONGBOX);
    {
      KeymasterUtils second(KM_SECURITY_LEVEL_STRONGBOX);
      ASSERT_TRUE(weaverConfigExchange(second));
    }
    EXPECT_EQ(SimSecureProcessor::get().unregistrations(), 0) << "one object still holds the client";
    EXPECT_TRUE(weaverConfigExchange(first));
  }
  EXPECT_EQ(SimSecureProcessor::get().unregistrations(), 1);
  KeymasterUtils again(KM_SECURITY_LEVEL_STRONGBOX);
  EXPECT_TRUE(weaverConfigExchange(again));
  EXPECT_EQ(SimSecureProcessor::get().registrations(), 2);
}

}  // namespace
}  // namespace secproc_test
