#pragma once
// Common set-up of every test that talks to the simulated secure processor through the
// channel library (the channel's own tests, Weaver, KeyMint): a fresh simulated processor,
// trusted application and wake-lock record, a fresh process-wide client, and clocks that
// never really wait.
#include <gtest/gtest.h>
#include <hardware_legacy/power.h>
#include <platform/wakelock_test.h>
#include <tzcom/sim_tz.h>
#include <vaultlink/sim_secproc.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <vector>

#include "KeymasterUtils.h"
#include "secproc_channel_test.h"

namespace secproc_test {

using platform::secproc::Fault;
using platform::secproc::Response;
using platform::secproc::SimSecureProcessor;
using platform::tz::SimTz;

class ChannelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SimSecureProcessor::get().reset();
    SimTz::get().reset();
    platform::wakelock::reset();
    keymasterutils::testing::resetProcessState();
    fakeMs = 0;
    keymasterutils::testing::setClock(fakeClock());
    SimSecureProcessor::get().setSleeper([this](std::chrono::milliseconds ms) { waited += ms; });
  }
  void TearDown() override {
    keymasterutils::testing::resetProcessState();
    keymasterutils::testing::setClock({});
    keymasterutils::testing::setAfterHandOver({});
  }

  // Channel objects on several threads may poll and retry at once: the clock is shared. Its
  // waits run `onSleep` first, if given, on the waiting thread.
  keymasterutils::testing::Clock fakeClock(std::function<void()> onSleep = {}) {
    return keymasterutils::testing::Clock{
        [this] { return std::chrono::steady_clock::time_point{} + std::chrono::milliseconds(fakeMs.load()); },
        [this, onSleep](std::chrono::milliseconds ms) {
          if (onSleep) onSleep();
          fakeMs += ms.count();
        }};
  }

  static std::vector<uint8_t> u32s(std::initializer_list<uint32_t> words) {
    std::vector<uint8_t> out(words.size() * 4);
    std::memcpy(out.data(), words.begin(), out.size());
    return out;
  }

  // One request as a service makes it on `utils`: bring-up, then the Weaver configuration
  // query, whose answer must lead with the slot count the processor was given (16).
  static bool weaverConfigExchange(keymasterutils::KeymasterUtils& utils) {
    auto lock = utils.lockRequest();
    if (utils.secproc_init() != 0) return false;
    return weaverConfigSend(utils) == 0;
  }
  // The send of that request alone, on an object already brought up: 0 when the answer is
  // right, 1 when the exchange succeeded with another answer, else the exchange's result.
  static int weaverConfigSend(keymasterutils::KeymasterUtils& utils) {
    keymaster_blob_t req{}, rsp{};
    utils.init(platform::secproc::kCmdWeaverGetConfig, &req);
    req.data_length = 0;
    const int rc = utils.sendCmd(req, &rsp);
    if (rc != 0) return rc;
    // {62: 16, ...}, the value written as an eight-byte integer.
    return rsp.data_length > 11 && rsp.data[0] == 0xA3 && rsp.data[11] == 16 ? 0 : 1;
  }

  std::atomic<int64_t> fakeMs{0};
  std::chrono::milliseconds waited{0};
};

}  // namespace secproc_test
