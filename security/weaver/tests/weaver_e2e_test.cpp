// weaver-service-secproc in process: the real service, channel library and CBOR code
// against the simulated secure processor, called through the binder proxy.
#include <android/binder_manager.h>
#include <gtest/gtest.h>
#include <hardware_legacy/power.h>
#include <platform/wakelock_test.h>
#include <platform_binder_test.h>
#include <tzcom/sim_tz.h>
#include <vaultlink/sim_secproc.h>

#include <aidl/android/hardware/weaver/IWeaver.h>
#include <climits>
#include <thread>

#include "Weaver.h"
#include "secproc_channel_fixture.h"

namespace {

using aidl::android::hardware::weaver::IWeaver;
using aidl::android::hardware::weaver::WeaverConfig;
using aidl::android::hardware::weaver::WeaverReadResponse;
using aidl::android::hardware::weaver::WeaverReadStatus;
using secproc_test::Fault;
using secproc_test::SimSecureProcessor;
using secproc_test::SimTz;

using Bytes = std::vector<uint8_t>;

class WeaverService : public secproc_test::ChannelTest {
 protected:
  void SetUp() override {
    ChannelTest::SetUp();
    platform_binder_test::resetServiceManager();
    platform_binder_test::resetProcess();
    service = std::thread([this] { exitStatus = aidl::android::hardware::weaver::runWeaverService(); });
    ndk::SpAIBinder binder(AServiceManager_waitForService("android.hardware.weaver.IWeaver/default"));
    ASSERT_NE(binder.get(), nullptr);
    weaver = IWeaver::fromBinder(binder);
    ASSERT_NE(weaver, nullptr);
    ASSERT_TRUE(weaver->isRemote()) << "calls go through parcels";
  }
  void TearDown() override {
    weaver.reset();
    platform_binder_test::stopProcess();
    if (service.joinable()) service.join();
    EXPECT_EQ(exitStatus, -1);
    platform_binder_test::resetServiceManager();
    platform_binder_test::resetProcess();
    ChannelTest::TearDown();
  }
  static Bytes key(uint8_t b) { return Bytes(16, b); }
  static int handOvers() {
    int n = 0;
    for (const auto& inv : SimTz::get().invocations()) n += inv.object == "app" && inv.op == 13;
    return n;
  }

  std::thread service;
  int exitStatus = 0;
  std::shared_ptr<IWeaver> weaver;
};

TEST_F(WeaverService, RegistersWithNoExtraBinderThreadsAndSendsNothingAtStart) {
  EXPECT_EQ(platform_binder_test::threadPoolMaxThreadCount(), 0u);
  EXPECT_TRUE(SimSecureProcessor::get().requests().empty());
  int32_t version = 0;
  ASSERT_TRUE(weaver->getInterfaceVersion(&version).isOk());
  EXPECT_EQ(version, 2);
}

TEST_F(WeaverService, GetConfigSendsTheCommandIdAlone) {
  SimSecureProcessor::get().setWeaverConfig(64, 16, 32);
  WeaverConfig config;
  ASSERT_TRUE(weaver->getConfig(&config).isOk());
  EXPECT_EQ(config, (WeaverConfig{64, 16, 32}));
  auto reqs = SimSecureProcessor::get().requests();
  ASSERT_EQ(reqs.size(), 2u);
  EXPECT_EQ(reqs[0].cmdId, 0x207u);
  EXPECT_EQ(reqs[1].frame, (Bytes{0x01, 0x15, 0x04, 0x00}));
}

TEST_F(WeaverService, WriteThenReadRoundTripsThroughTheProcessor) {
  const Bytes value(16, 0x5A);
  ASSERT_TRUE(weaver->write(3, key(1), value).isOk());
  auto slot = SimSecureProcessor::get().weaverSlot(3);
  ASSERT_TRUE(slot.has_value());
  EXPECT_EQ(slot->value, value);

  WeaverReadResponse r;
  ASSERT_TRUE(weaver->read(3, key(1), &r).isOk());
  EXPECT_EQ(r.status, WeaverReadStatus::OK);
  EXPECT_EQ(r.value, value);
  EXPECT_EQ(r.timeout, 0);

  SimSecureProcessor::get().setWeaverWrongKeyTimeout(30000);
  ASSERT_TRUE(weaver->read(3, key(2), &r).isOk());
  EXPECT_EQ(r.status, WeaverReadStatus::INCORRECT_KEY);
  EXPECT_EQ(r.timeout, 30000);
  EXPECT_TRUE(r.value.empty());
}

TEST_F(WeaverService, ArgumentErrorsAndFailures) {
  WeaverReadResponse r;
  auto status = weaver->read(1, {}, &r);
  EXPECT_EQ(status.getServiceSpecificError(), -22);
  EXPECT_STREQ(status.getMessage(), "Read: Invalid inKey");
  status = weaver->write(1, key(1), {});
  EXPECT_EQ(status.getServiceSpecificError(), -22);
  EXPECT_STREQ(status.getMessage(), "Write: Invalid input");
  EXPECT_TRUE(SimSecureProcessor::get().requests().empty()) << "nothing sent";

  // A slot the processor refuses (slot -1 goes out as 2^64 - 1).
  SimSecureProcessor::get().setWeaverConfig(16, 16, 16);
  status = weaver->write(-1, key(1), Bytes(16, 1));
  EXPECT_EQ(status.getServiceSpecificError(), INT32_MIN);
  EXPECT_STREQ(status.getMessage(), "Write failed");
  const Bytes body = SimSecureProcessor::get().requests().back().body();
  ASSERT_GE(body.size(), 12u);
  EXPECT_EQ(Bytes(body.begin(), body.begin() + 12),
            (Bytes{0xA3, 0x18, 0x44, 0x1B, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
  status = weaver->read(-1, key(1), &r);
  EXPECT_EQ(status.getServiceSpecificError(), 1);
  EXPECT_STREQ(status.getMessage(), "Read failed");

  // A config answer with a fourth entry.
  const Bytes fourEntries = {0xA4, 0x18, 0x3E, 0x10, 0x18, 0x3F, 0x10, 0x18, 0x40, 0x10, 0x18, 0x41, 0x01};
  SimSecureProcessor::get().queueResponse({0, fourEntries, std::nullopt});
  WeaverConfig config;
  status = weaver->getConfig(&config);
  EXPECT_EQ(status.getServiceSpecificError(), INT32_MIN);
  EXPECT_STREQ(status.getMessage(), "GetConfig failed");
}

TEST_F(WeaverService, RestartLeadsToRegistrationTzHandOverAndVersionBeforeTheNextCall) {
  WeaverConfig config;
  ASSERT_TRUE(weaver->getConfig(&config).isOk());
  const int registrations = SimSecureProcessor::get().registrations();
  const int tz = handOvers();
  SimSecureProcessor::get().restart();
  SimSecureProcessor::get().clearRequests();

  ASSERT_TRUE(weaver->write(2, key(7), Bytes(16, 7)).isOk());
  EXPECT_EQ(SimSecureProcessor::get().registrations(), registrations + 1);
  EXPECT_EQ(SimSecureProcessor::get().unregistrations(), 1);
  EXPECT_EQ(handOvers(), tz + 1);
  EXPECT_EQ(SimSecureProcessor::get().commandIds(), (std::vector<uint32_t>{0x207, 0x41503}));
}

TEST_F(WeaverService, TimeOutFailsOneCallAndTheNextSucceeds) {
  ASSERT_TRUE(weaver->write(4, key(4), Bytes(16, 4)).isOk());
  SimSecureProcessor::get().failNextExchange(Fault::kTimeout);
  WeaverReadResponse r;
  auto status = weaver->read(4, key(4), &r);
  EXPECT_EQ(status.getServiceSpecificError(), 1);
  EXPECT_EQ(waited.count(), 120000) << "the whole wait, on the injected clock";
  ASSERT_TRUE(weaver->read(4, key(4), &r).isOk());
  EXPECT_EQ(r.status, WeaverReadStatus::OK);
  EXPECT_EQ(r.value, Bytes(16, 4));
}

TEST_F(WeaverService, CallsFromSeveralThreadsAreServedOneAtATime) {
  constexpr int kThreads = 4;
  constexpr int kRounds = 15;
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; t++) {
    threads.emplace_back([&, t] {
      for (int k = 0; k < kRounds; k++) {
        Bytes value(16, static_cast<uint8_t>(t * 16 + k));
        if (!weaver->write(t, key(static_cast<uint8_t>(t)), value).isOk()) wrong++;
        WeaverReadResponse r;
        if (!weaver->read(t, key(static_cast<uint8_t>(t)), &r).isOk() || r.value != value) wrong++;
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(platform::wakelock::maxOverlap("vaultss_send_cmd"), 1);
}

}  // namespace
