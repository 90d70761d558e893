// Bring-up of the channel: set-version, the replay of saved commands and its order, what a
// restart of the secure processor repeats, and the TZ hand-over.
#include "secproc_channel_fixture.h"

#include <platform/temp_root.h>

#include <atomic>
#include <thread>

namespace secproc_test {
namespace {

using keymasterutils::KeymasterUtils;
using platform::secproc::kCmdConfigure;
using platform::secproc::kCmdDeviceLocked;
using platform::secproc::kCmdEarlyBootEnded;
using platform::secproc::kCmdSetVersion;

using BringUp = ChannelTest;

keymaster_blob_t blob(const std::vector<uint8_t>& v) { return keymaster_blob_t{v.data(), v.size()}; }

int opCount(uint32_t op) {
  int n = 0;
  for (const auto& inv : SimTz::get().invocations()) n += inv.object == "app" && inv.op == op;
  return n;
}

TEST_F(BringUp, TrustedEnvironmentLevelNeverTouchesTheChannel) {
  KeymasterUtils utils(KM_SECURITY_LEVEL_TRUSTED_ENVIRONMENT);
  EXPECT_EQ(utils.secproc_init(), 0);
  EXPECT_FALSE(utils.isLegacy());
  EXPECT_TRUE(SimSecureProcessor::get().requests().empty());
  EXPECT_EQ(SimSecureProcessor::get().registrations(), 0);
}

TEST_F(BringUp, FirstUseSendsTheVersionOnceAndHandsOverTzData) {
  KeymasterUtils utils(KM_SECURITY_LEVEL_STRONGBOX);
  EXPECT_FALSE(utils.isLegacy());
  EXPECT_FALSE(utils.isOldKeyblob());
  ASSERT_EQ(utils.secproc_init(), 0);
  EXPECT_FALSE(utils.isLegacy());
  EXPECT_FALSE(utils.isOldKeyblob());
  EXPECT_EQ(utils.getKeymasterAPIVersion(), 3u);
  EXPECT_EQ(utils.getKeymasterTaMinorVersion(), 3000u);
  auto reqs = SimSecureProcessor::get().requests();
  ASSERT_EQ(reqs.size(), 1u);
  EXPECT_EQ(reqs[0].frame, u32s({0x207, 5, 3, 5, 3, 0}));
  EXPECT_EQ(opCount(12), 1) << "TZ buffer handed to the application";
  EXPECT_EQ(opCount(13), 1) << "TZ data delivered";
  EXPECT_GE(SimTz::get().lastPreparedFd(), 0);

  ASSERT_EQ(utils.secproc_init(), 0);
  EXPECT_EQ(SimSecureProcessor::get().requests().size(), 1u) << "nothing more on a channel that is up";
  EXPECT_EQ(opCount(13), 1);
}

TEST_F(BringUp, SavedCommandsAreSentAtTheNextBringUpOnly) {
  KeymasterUtils utils(KM_SECURITY_LEVEL_STRONGBOX);
  const std::vector<uint8_t> locked = {0xA1, 0x18, 0x2E, 0xF5};
  auto b = blob(locked);
  ASSERT_EQ(utils.save_device_locked(&b), 0);
  EXPECT_TRUE(SimSecureProcessor::get().requests().empty());
  ASSERT_EQ(utils.secproc_init(), 0);
  auto reqs = SimSecureProcessor::get().requests();
  ASSERT_EQ(reqs.size(), 2u);
  EXPECT_EQ(reqs[0].cmdId, kCmdSetVersion);
  EXPECT_EQ(reqs[1].cmdId, kCmdDeviceLocked);
  EXPECT_EQ(reqs[1].body(), locked);
  ASSERT_EQ(utils.secproc_init(), 0);
  EXPECT_EQ(SimSecureProcessor::get().requests().size(), 2u);
}

TEST_F(BringUp, RestartRegistersAgainRepeatsTzHandOverAndReplaysInOrder) {
  KeymasterUtils utils(KM_SECURITY_LEVEL_STRONGBOX);
  const std::vector<uint8_t> configure = {0xA2, 0x16, 0x01, 0x1A, 0x30, 0x00, 0x02, 0xC1, 0x01};
  const std::vector<uint8_t> locked = {0xA1, 0x18, 0x2E, 0xF5};
  auto c = blob(configure);
  auto l = blob(locked);
  ASSERT_EQ(utils.save_configure_cmd(&c), 0);
  ASSERT_EQ(utils.save_early_boot_ended(), 0);
  ASSERT_EQ(utils.save_device_locked(&l), 0);
  ASSERT_EQ(utils.secproc_init(), 0);
  const std::vector<uint32_t> order = {kCmdSetVersion, kCmdConfigure, kCmdEarlyBootEnded, kCmdDeviceLocked};
  EXPECT_EQ(SimSecureProcessor::get().commandIds(), order);
  SimSecureProcessor::get().clearRequests();
  const int registrations = SimSecureProcessor::get().registrations();
  const int handOvers = opCount(13);

  SimSecureProcessor::get().restart();
  EXPECT_TRUE(is_after_ssr());
  ASSERT_EQ(utils.secproc_init(), 0);
  EXPECT_EQ(SimSecureProcessor::get().unregistrations(), 1);
  EXPECT_EQ(SimSecureProcessor::get().registrations(), registrations + 1);
  EXPECT_EQ(opCount(13), handOvers + 1);
  EXPECT_EQ(SimSecureProcessor::get().commandIds(), order);
  auto reqs = SimSecureProcessor::get().requests();
  EXPECT_EQ(reqs[1].body(), configure);
  EXPECT_TRUE(reqs[2].body().empty());
  EXPECT_EQ(reqs[3].body(), locked);
  EXPECT_FALSE(is_after_ssr());
}

TEST_F(BringUp, EveryChannelObjectReplaysAfterARestart) {
  KeymasterUtils first(KM_SECURITY_LEVEL_STRONGBOX);
  KeymasterUtils second(KM_SECURITY_LEVEL_STRONGBOX);
  const std::vector<uint8_t> one = {0xA1, 0x18, 0x2E, 0xF5};
  const std::vector<uint8_t> two = {0xA1, 0x18, 0x2E, 0xF4};
  auto b1 = blob(one);
  auto b2 = blob(two);
  ASSERT_EQ(first.save_device_locked(&b1), 0);
  ASSERT_EQ(second.save_device_locked(&b2), 0);
  ASSERT_EQ(first.secproc_init(), 0);
  ASSERT_EQ(second.secproc_init(), 0);
  SimSecureProcessor::get().restart();
  SimSecureProcessor::get().clearRequests();
  ASSERT_EQ(first.secproc_init(), 0);
  ASSERT_EQ(second.secproc_init(), 0);
  auto reqs = SimSecureProcessor::get().requests();
  ASSERT_EQ(reqs.size(), 4u);
  EXPECT_EQ(reqs[1].body(), one);
  EXPECT_EQ(reqs[2].cmdId, kCmdSetVersion);
  EXPECT_EQ(reqs[3].body(), two);
}

TEST_F(BringUp, SavedBodyMustFitTheBodySpace) {
  KeymasterUtils utils(KM_SECURITY_LEVEL_STRONGBOX);
  std::vector<uint8_t> fits(20468, 0x5C);
  auto b = blob(fits);
  ASSERT_EQ(utils.save_configure_cmd(&b), 0);
  // What is saved must also be sendable: a body the exchange would refuse (20469 to 20476
  // bytes leave no room for the answer's header) would fail every later bring-up.
  for (size_t size : {size_t{20469}, size_t{20472}, size_t{20476}, size_t{20477}}) {
    std::vector<uint8_t> tooBig(size, 0x77);
    auto big = blob(tooBig);
    EXPECT_EQ(utils.save_configure_cmd(&big), -21) << size;
    EXPECT_EQ(utils.save_device_locked(&big), -21) << size;
  }
  ASSERT_EQ(utils.secproc_init(), 0);
  auto reqs = SimSecureProcessor::get().requests();
  ASSERT_EQ(reqs.size(), 2u);
  EXPECT_EQ(reqs[1].body(), fits) << "the earlier copy is kept and replayed whole";
}

TEST_F(BringUp, RefusedVersionIsRetriedByTheNextCall) {
  KeymasterUtils utils(KM_SECURITY_LEVEL_STRONGBOX);
  SimSecureProcessor::get().setSetVersionStatus(5);
  EXPECT_EQ(utils.secproc_init(), -1000);
  SimSecureProcessor::get().setSetVersionStatus(0);
  // A time-out of the set-version itself is no success either.
  SimSecureProcessor::get().failNextExchange(Fault::kTimeout);
  EXPECT_EQ(utils.secproc_init(), -1000);
  EXPECT_EQ(utils.secproc_init(), 0);
  EXPECT_EQ(SimSecureProcessor::get().commandIds(),
            (std::vector<uint32_t>{kCmdSetVersion, kCmdSetVersion, kCmdSetVersion}));
}

TEST_F(BringUp, TzHandOverWarningsCountAsDelivered) {
  for (int32_t answer : {12, 24, 0x10000 | 24}) {
    keymasterutils::testing::resetProcessState();
    SimTz::get().setResult(13, answer);
    KeymasterUtils utils(KM_SECURITY_LEVEL_STRONGBOX);
    EXPECT_EQ(utils.secproc_init(), 0) << answer;
    EXPECT_TRUE(is_secproc_tz_data_initialized());
  }
}

TEST_F(BringUp, RegistrationIsSharedByTheProcess) {
  vaultlink_client_handle a = nullptr, b = nullptr;
  EXPECT_EQ(sp_km_register_client_handle(&a), 0x1B2D0E10);
  EXPECT_EQ(sp_km_register_client_handle(&b), 0x1B2D0E10);
  EXPECT_EQ(a, b);
  EXPECT_EQ(SimSecureProcessor::get().registrations(), 1);
  sp_exit();
  sp_exit();
  EXPECT_EQ(SimSecureProcessor::get().unregistrations(), 1);
  SimSecureProcessor::get().setRegisterFails(true);
  EXPECT_EQ(sp_km_register_client_handle(&a), -108);
  EXPECT_EQ(sp_init_client(), -3);
}

// As on a device: a service holds one channel object and its binder clients call from
// several threads at once, each request under the object's request lock. The first of them
// brings the channel up once, and every answer reaches the request it belongs to.
TEST_F(BringUp, OneChannelObjectUsedFromSeveralThreadsAtOnce) {
  SimSecureProcessor::get().setWeaverConfig(16, 24, 32);
  // {62: 16, 63: 24, 64: 32}, the values as the processor writes them (eight-byte integers).
  std::vector<uint8_t> config = {0xA3};
  for (uint8_t label : {62, 63, 64}) {
    config.insert(config.end(), {0x18, label, 0x1B, 0, 0, 0, 0, 0, 0, 0, static_cast<uint8_t>(16 + 8 * (label - 62))});
  }
  constexpr int kThreads = 6, kRounds = 10;
  KeymasterUtils utils(KM_SECURITY_LEVEL_STRONGBOX);
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; t++) {
    threads.emplace_back([&] {
      for (int k = 0; k < kRounds; k++) {
        auto lock = utils.lockRequest();
        if (utils.secproc_init() != 0) {
          wrong++;
          continue;
        }
        keymaster_blob_t req{}, rsp{};
        utils.init(platform::secproc::kCmdWeaverGetConfig, &req);
        req.data_length = 0;
        const int rc = utils.sendCmd(req, &rsp);
        if (rc != 0 || std::vector<uint8_t>(rsp.data, rsp.data + rsp.data_length) != config) wrong++;
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(opCount(13), 1) << "TZ data delivered once";
  EXPECT_EQ(SimSecureProcessor::get().registrations(), 1);
  size_t versions = 0;
  for (const auto& r : SimSecureProcessor::get().requests()) versions += r.cmdId == kCmdSetVersion;
  EXPECT_EQ(versions, 1u) << "one bring-up";
  EXPECT_EQ(SimSecureProcessor::get().requests().size(), size_t{1 + kThreads * kRounds});
}

// Restarts that land inside a bring-up, after the restart flags were read: each is answered
// by the next bring-up (a new registration, the hand-over again), never forgotten.
//  - A second restart while the bring-up that answers the first waits for the server of its
//    new registration: that registration was made before the second restart.
//  - A restart right after the trusted side took the hand-over data, before the library
//    recorded it: the restarted processor has not had that data.
TEST_F(BringUp, ARestartInsideABringUpIsAnsweredByTheNext) {
  struct Case {
    const char* what;
    bool restartFirst;  // a restart between requests comes before the bring-up
    bool inServerWait;  // where the restart inside the bring-up lands
    int handOversAfter; // hand-overs made by the bring-up after the one that saw it
  };
  const Case cases[] = {
      {"in the wait for the renewed registration's server", true, true, 0},
      {"after the hand-over of the first bring-up", false, false, 1},
      {"after the hand-over of a bring-up after a restart", true, false, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    keymasterutils::testing::resetProcessState();
    SimSecureProcessor::get().reset();
    SimTz::get().reset();
    KeymasterUtils utils(KM_SECURITY_LEVEL_STRONGBOX);
    if (c.restartFirst) {
      ASSERT_EQ(utils.secproc_init(), 0);
      SimSecureProcessor::get().restart();
    }
    bool restarted = false;
    auto restartOnce = [&] {
      if (restarted) return;
      restarted = true;
      SimSecureProcessor::get().restart();
    };
    if (c.inServerWait) {
      keymasterutils::testing::setClock(fakeClock(restartOnce));
    } else {
      keymasterutils::testing::setAfterHandOver(restartOnce);
    }
    ASSERT_EQ(utils.secproc_init(), 0);
    keymasterutils::testing::setClock(fakeClock());
    keymasterutils::testing::setAfterHandOver({});
    ASSERT_TRUE(restarted);
    EXPECT_TRUE(is_after_ssr()) << "the restart inside the bring-up is still to be answered";
    const int handOvers = opCount(13);
    const int registrations = SimSecureProcessor::get().registrations();

    SimSecureProcessor::get().clearRequests();
    ASSERT_EQ(utils.secproc_init(), 0);
    EXPECT_EQ(SimSecureProcessor::get().registrations(), registrations + 1)
        << "registered again after the restart inside the bring-up";
    EXPECT_EQ(opCount(13), handOvers + c.handOversAfter);
    EXPECT_TRUE(is_secproc_tz_data_initialized());
    EXPECT_FALSE(is_after_ssr());
    EXPECT_EQ(SimSecureProcessor::get().commandIds(), std::vector<uint32_t>{kCmdSetVersion});
    EXPECT_EQ(SimSecureProcessor::get().registrations() - SimSecureProcessor::get().unregistrations(), 1);
  }
}

using BringUpDeathTest = ChannelTest;

TEST_F(BringUpDeathTest, UnavailableProcessorOrTzEndTheProcess) {
  EXPECT_DEATH(
      {
        SimSecureProcessor::get().setReady(false);
        KeymasterUtils utils(KM_SECURITY_LEVEL_STRONGBOX);
        utils.secproc_init();
      },
      "SB KM is unavailable");
  EXPECT_DEATH(
      {
        SimTz::get().setResult(13, 7);
        KeymasterUtils utils(KM_SECURITY_LEVEL_STRONGBOX);
        utils.secproc_init();
      },
      "secproc_tz_send_data failed");
}

// The trusted application is neither running nor loadable from its empty image: the
// hand-over fails as any failed hand-over does, rather than calling an application object
// that the load never produced.
TEST_F(BringUpDeathTest, EmptyTrustedAppImageFailsTheHandOver) {
  platform::testing::TempRoot root;
  root.writeFile("/vendor/firmware_mnt/image/secproc_service.img", "");
  EXPECT_DEATH(
      {
        SimTz::get().setAppRunning(false);
        KeymasterUtils utils(KM_SECURITY_LEVEL_STRONGBOX);
        utils.secproc_init();
      },
      "secproc_tz_send_data failed");
}

}  // namespace
}  // namespace secproc_test
