// The sensor-driven update mode through the simulated sensor service.
#include "SensorMode.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>

#include <platform_sensors_test.h>

#include "ServiceFixture.h"

namespace vib = aidl::android::hardware::vibrator;
using platform_sensors_test::Call;
using platform_sensors_test::Result;
using vibrator_test::ServiceRoot;

namespace {

constexpr int32_t kHandle = 7;

class SensorModeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform_sensors_test::reset();
    fixture = std::make_unique<ServiceRoot>();
    vibrator = ndk::SharedRefBase::make<vib::Vibrator>();
  }
  void TearDown() override {
    vibrator.reset();
    fixture.reset();
    platform_sensors_test::reset();
  }
  static void addHandSensor() {
    platform_sensors_test::SensorInfo info;
    info.sensorHandle = kHandle;
    info.name = "hand status";
    info.type = static_cast<::android::hardware::sensors::V1_0::SensorType>(vib::kHandStatusSensorType);
    platform_sensors_test::addSensor(info);
  }
  // Delivers one value and waits until the listener has seen it.
  static void deliver(float value) {
    const size_t before = platform_sensors_test::deliveries();
    ASSERT_TRUE(platform_sensors_test::injectEvent(kHandle, {value}));
    ASSERT_TRUE(platform_sensors_test::waitForDeliveries(before + 1, std::chrono::seconds(2)));
  }

  std::unique_ptr<ServiceRoot> fixture;
  std::shared_ptr<vib::Vibrator> vibrator;
};

TEST_F(SensorModeTest, HandStatusDrivesTheUpdateMode) {
  addHandSensor();
  vib::SensorMode mode(vibrator);
  mode.enableSensorMode();
  ASSERT_TRUE(platform_sensors_test::isEnabled(kHandle));
  EXPECT_EQ(platform_sensors_test::samplingPeriodUs(kHandle), 20000);

  struct Step {
    float value;
    int mode;
  } steps[] = {{0.4f, 0}, {0.5f, 1}, {1.49f, 1}, {2.0f, 2}, {-0.4f, 0}};
  for (const Step& s : steps) {
    deliver(s.value);
    EXPECT_EQ(vib::serviceState().updateMode.load(), s.mode) << s.value;
  }

  // a repeated value does not call updateMode again
  vib::serviceState().updateMode = 9;
  deliver(0.1f);
  EXPECT_EQ(vib::serviceState().updateMode.load(), 9);

  mode.disableSensorMode();
  EXPECT_FALSE(platform_sensors_test::isEnabled(kHandle));
}

TEST_F(SensorModeTest, OtherSensorTypesReadAsMinusOne) {
  ::android::sp<vib::SensorModeCallback> callback = new vib::SensorModeCallback(vibrator);
  ::android::hardware::sensors::V1_0::Event e;
  e.sensorType = static_cast<::android::hardware::sensors::V1_0::SensorType>(vib::kHandStatusSensorType);
  e.u.data[0] = 0.0f;
  callback->onEvent(e);
  ASSERT_EQ(vib::serviceState().updateMode.load(), 0);
  e.sensorType = ::android::hardware::sensors::V1_0::SensorType::ACCELEROMETER;
  e.u.data[0] = 1.0f;
  callback->onEvent(e);
  EXPECT_EQ(vib::serviceState().updateMode.load(), -1);
  EXPECT_EQ(vib::serviceState().lastHandStatus.load(), -1);
}

// A hand-status value that is no whole number a mode could be (NaN, infinite, far outside
// int) is dropped: the mode and the last status stay as they were.
TEST_F(SensorModeTest, ValuesOutsideTheIntegerRangeAreDropped) {
  ::android::sp<vib::SensorModeCallback> callback = new vib::SensorModeCallback(vibrator);
  ::android::hardware::sensors::V1_0::Event e;
  e.sensorType = static_cast<::android::hardware::sensors::V1_0::SensorType>(vib::kHandStatusSensorType);
  e.u.data[0] = 1.0f;
  callback->onEvent(e);
  ASSERT_EQ(vib::serviceState().updateMode.load(), 1);
  for (float bad : {NAN, INFINITY, -INFINITY, 3e9f, -3e9f, 1e30f}) {
    e.u.data[0] = bad;
    callback->onEvent(e);
    EXPECT_EQ(vib::serviceState().updateMode.load(), 1) << bad;
    EXPECT_EQ(vib::serviceState().lastHandStatus.load(), 1) << bad;
  }
  e.u.data[0] = 0.0f;
  callback->onEvent(e);
  EXPECT_EQ(vib::serviceState().updateMode.load(), 0);
}

TEST_F(SensorModeTest, SetupFailuresLeaveTheModeAt1) {
  struct Case {
    const char* what;
    std::function<void()> arrange;
  } cases[] = {
      {"no sensor", [] {}},
      {"no service", [] { addHandSensor(); platform_sensors_test::setServiceAvailable(false); }},
      {"queue refused", [] { addHandSensor(); platform_sensors_test::failNext(Call::CreateEventQueue, Result::NO_MEMORY); }},
      {"list refused", [] { addHandSensor(); platform_sensors_test::failNext(Call::GetSensorList, Result::NO_INIT); }},
      {"enable refused", [] { addHandSensor(); platform_sensors_test::failNext(Call::EnableSensor, Result::BAD_VALUE); }},
  };
  for (const Case& c : cases) {
    platform_sensors_test::reset();
    vib::serviceState().updateMode = 1;
    c.arrange();
    vib::SensorMode mode(vibrator);
    mode.enableSensorMode();
    EXPECT_FALSE(platform_sensors_test::isEnabled(kHandle)) << c.what;
    EXPECT_EQ(vib::serviceState().updateMode.load(), 1) << c.what;
    mode.disableSensorMode();
  }
}

}  // namespace
