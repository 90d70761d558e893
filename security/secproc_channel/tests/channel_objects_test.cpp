// Several channel objects in one process, as outside callers of the channel and provisioning
// libraries may hold them on threads of their own: they share the process's client of the
// channel and its trusted-application utilities, which the first bring-up sets up once and
// the last object's cleanup tears down.
#include <atomic>
#include <barrier>
#include <functional>
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

// Two long-lived objects, as the KeyMint HAL and Weaver hold them in one process: the first
// serves requests on two threads, the second on a third, while the processor restarts again
// and again. Whichever object sees a restart first registers the process again; that must
// not end the registration under the other object's exchange, because a failed exchange ends
// the process. A request with no restart under it succeeds; one with a restart under it may
// be refused by the processor (it has not had the version yet), never fail otherwise.
TEST_F(ChannelObjects, RestartsWhileTwoObjectsExchangeOnThreeThreads) {
  constexpr int kRestarts = 300;
  // Each thread has at most one request in flight, so the fourth request finished after a
  // restart was begun after it: every restart is seen by a bring-up before the next one.
  constexpr int kRequestsBetweenRestarts = 4;
  const int registrationsBefore = SimSecureProcessor::get().registrations();
  {
    KeymasterUtils first(KM_SECURITY_LEVEL_STRONGBOX);
    KeymasterUtils second(KM_SECURITY_LEVEL_STRONGBOX);
    std::atomic<int> restartsBegun{0}, restartsDone{0}, finished{0};
    std::atomic<int> clean{0}, refusedByRestart{0}, wrong{0};
    std::atomic<bool> stop{false};
    auto serve = [&](KeymasterUtils& utils) {
      while (!stop.load()) {
        const int doneBefore = restartsDone.load();
        const bool ok = weaverConfigExchange(utils);
        const bool restartedUnder = restartsBegun.load() != doneBefore;
        if (ok) {
          clean++;
        } else if (restartedUnder) {
          refusedByRestart++;
        } else {
          wrong++;
        }
        finished++;
        finished.notify_all();
      }
    };
    std::vector<std::thread> threads;
    threads.emplace_back(serve, std::ref(first));
    threads.emplace_back(serve, std::ref(first));
    threads.emplace_back(serve, std::ref(second));
    for (int k = 0; k < kRestarts; k++) {
      const int target = finished.load() + kRequestsBetweenRestarts;
      for (int now = finished.load(); now < target; now = finished.load()) finished.wait(now);
      restartsBegun++;
      SimSecureProcessor::get().restart();
      restartsDone++;
    }
    stop = true;
    for (auto& t : threads) t.join();
    EXPECT_EQ(wrong.load(), 0) << "requests that failed with no restart under them";
    EXPECT_GE(clean.load(), kRestarts) << "refused by a restart: " << refusedByRestart.load();
    // Once the restarts stop, both objects come back and exchange.
    EXPECT_TRUE(weaverConfigExchange(first));
    EXPECT_TRUE(weaverConfigExchange(second));
    EXPECT_GE(SimSecureProcessor::get().registrations() - registrationsBefore, kRestarts / 2)
        << "restarts lead to registering again";
    EXPECT_EQ(SimSecureProcessor::get().registrations() - SimSecureProcessor::get().unregistrations(), 1)
        << "one registration in use, every earlier one ended";
  }
  EXPECT_EQ(SimSecureProcessor::get().registrations(), SimSecureProcessor::get().unregistrations())
      << "the last object's cleanup ends the registration";
}

// One object's exchange times out while a second object, brought up for its own request,
// sends from another thread in the middle of the first one's recovery (at the first wait of
// the library once the processor has let the time-out pass). The time-out must not take the
// process's registration away from under the second object: its exchange succeeds, and the
// first object's next request does too.
TEST_F(ChannelObjects, ATimeOutOnOneObjectLeavesTheOtherSending) {
  KeymasterUtils timingOut(KM_SECURITY_LEVEL_STRONGBOX);
  KeymasterUtils other(KM_SECURITY_LEVEL_STRONGBOX);
  ASSERT_TRUE(weaverConfigExchange(timingOut));
  ASSERT_TRUE(weaverConfigExchange(other));
  std::atomic<bool> timedOut{false};
  std::atomic<int> otherResult{-1}, otherSends{0};
  SimSecureProcessor::get().setSleeper([&](std::chrono::milliseconds ms) {
    waited += ms;
    timedOut = true;
  });
  keymasterutils::testing::setClock(fakeClock([&] {
    if (!timedOut.load() || otherSends.exchange(1) != 0) return;
    std::thread sender([&] {
      auto lock = other.lockRequest();
      otherResult = weaverConfigSend(other);
    });
    sender.join();
  }));
  SimSecureProcessor::get().failNextExchange(Fault::kTimeout);
  int timedOutResult = 0;
  {
    auto lock = timingOut.lockRequest();
    ASSERT_EQ(timingOut.secproc_init(), 0);
    timedOutResult = weaverConfigSend(timingOut);
  }
  EXPECT_EQ(timedOutResult, -1000) << "a time-out has no answer to give";
  ASSERT_EQ(otherSends.load(), 1) << "the second object sent during the recovery";
  EXPECT_EQ(otherResult.load(), 0);
  EXPECT_TRUE(weaverConfigExchange(timingOut));
  EXPECT_TRUE(weaverConfigExchange(other));
  EXPECT_EQ(SimSecureProcessor::get().registrations() - SimSecureProcessor::get().unregistrations(), 1)
      << "one registration in use, every earlier one ended";
}

}  // namespace
}  // namespace secproc_test
