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

#include <chrono>
#include <cstring>
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
    fakeNow = std::chrono::steady_clock::time_point{};
    keymasterutils::testing::setClock(keymasterutils::testing::Clock{
        [this] { return fakeNow; }, [this](std::chrono::milliseconds ms) { fakeNow += ms; }});
    SimSecureProcessor::get().setSleeper([this](std::chrono::milliseconds ms) { waited += ms; });
  }
  void TearDown() override {
    keymasterutils::testing::resetProcessState();
    keymasterutils::testing::setClock({});
  }

  static std::vector<uint8_t> u32s(std::initializer_list<uint32_t> words) {
    std::vector<uint8_t> out(words.size() * 4);
    std::memcpy(out.data(), words.begin(), out.size());
    return out;
  }

  std::chrono::steady_clock::time_point fakeNow{};
  std::chrono::milliseconds waited{0};
};

}  // namespace secproc_test
