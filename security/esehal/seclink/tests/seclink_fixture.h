#pragma once

#include <gtest/gtest.h>

#include "seclink.h"
#include "teec/sim_secure_element.h"

namespace ese = platform::sim::ese;
using Bytes = std::vector<uint8_t>;

// A fresh simulated TEE and chip per test; whatever the test left open is closed after it.
class SeclinkTest : public ::testing::Test {
 protected:
  void SetUp() override { ese::reset(); }
  void TearDown() override {
    seclink_close(0);
    resetChannelState();
  }
};
