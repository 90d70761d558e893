// The sensor service as a client sees it: lookup, queues, and deliveries on the
// service's own thread.
#include <mutex>
#include <thread>
#include <vector>

#include <android/frameworks/sensorservice/1.0/ISensorManager.h>
#include <gtest/gtest.h>

#include "platform_sensors_test.h"

namespace {

using namespace std::chrono_literals;
using ::android::sp;
using ::android::hardware::hidl_vec;
using ::android::hardware::Return;
using ::android::hardware::Void;
using ::android::hardware::sensors::V1_0::Event;
using ::android::hardware::sensors::V1_0::SensorInfo;
using ::android::hardware::sensors::V1_0::SensorType;
using namespace ::android::frameworks::sensorservice::V1_0;
namespace control = platform_sensors_test;

constexpr int32_t kHandStatusType = 33171067;

class Recorder : public IEventQueueCallback {
 public:
  Return<void> onEvent(const Event& e) override {
    std::lock_guard<std::mutex> lock(mLock);
    events.push_back(e);
    threads.push_back(std::this_thread::get_id());
    return Void();
  }
  std::mutex mLock;
  std::vector<Event> events;
  std::vector<std::thread::id> threads;
};

SensorInfo sensor(int32_t handle, int32_t type, const char* name) {
  SensorInfo s;
  s.sensorHandle = handle;
  s.type = static_cast<SensorType>(type);
  s.name = name;
  s.vendor = "test";
  return s;
}

class SensorsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    control::reset();
    control::addSensor(sensor(1, 1, "accel"));
    control::addSensor(sensor(7, kHandStatusType, "hand status"));
    manager = ISensorManager::getService("default");
    ASSERT_NE(nullptr, manager);
  }
  void TearDown() override { control::reset(); }

  sp<IEventQueue> createQueue(const sp<IEventQueueCallback>& cb, Result* result) {
    sp<IEventQueue> queue;
    manager->createEventQueue(cb, [&](const sp<IEventQueue>& q, Result r) {
      queue = q;
      *result = r;
    });
    return queue;
  }

  sp<ISensorManager> manager;
};

TEST_F(SensorsTest, ListFindsTheSensorByType) {
  std::vector<SensorInfo> list;
  Result result = Result::NO_INIT;
  ASSERT_TRUE(manager->getSensorList([&](const hidl_vec<SensorInfo>& l, Result r) {
                       list = l;
                       result = r;
                     }).isOk());
  EXPECT_EQ(Result::OK, result);
  ASSERT_EQ(2u, list.size());
  EXPECT_EQ(kHandStatusType, static_cast<int32_t>(list[1].type));
  EXPECT_STREQ("hand status", list[1].name.c_str());

  SensorInfo found;
  manager->getDefaultSensor(static_cast<SensorType>(kHandStatusType), [&](const SensorInfo& s, Result r) {
    found = s;
    result = r;
  });
  EXPECT_EQ(Result::OK, result);
  EXPECT_EQ(7, found.sensorHandle);
  manager->getDefaultSensor(SensorType::LIGHT, [&](const SensorInfo&, Result r) { result = r; });
  EXPECT_EQ(Result::NOT_EXIST, result);
}

TEST_F(SensorsTest, EventsReachEnabledQueuesOnTheServiceThread) {
  sp<Recorder> recorder = new Recorder();
  Result result = Result::NO_INIT;
  sp<IEventQueue> queue = createQueue(recorder, &result);
  ASSERT_EQ(Result::OK, result);
  ASSERT_NE(nullptr, queue);

  ASSERT_TRUE(control::injectEvent(7, {0.4f}));  // not enabled yet: nobody gets it
  EXPECT_EQ(Result::OK, static_cast<Result>(queue->enableSensor(7, 20000, 0)));
  EXPECT_TRUE(control::isEnabled(7));
  EXPECT_EQ(20000, control::samplingPeriodUs(7));
  ASSERT_TRUE(control::injectEvent(7, {0.5f}));
  ASSERT_TRUE(control::injectEvent(1, {9.8f, 0, 0}));  // another sensor, not enabled
  ASSERT_TRUE(control::injectEvent(7, {2.0f}));
  ASSERT_TRUE(control::waitForDeliveries(2, 5s));

  std::lock_guard<std::mutex> lock(recorder->mLock);
  ASSERT_EQ(2u, recorder->events.size());
  EXPECT_EQ(kHandStatusType, static_cast<int32_t>(recorder->events[0].sensorType));
  EXPECT_EQ(7, recorder->events[0].sensorHandle);
  EXPECT_EQ(0.5f, recorder->events[0].u.data[0]);
  EXPECT_EQ(2.0f, recorder->events[1].u.data[0]);
  EXPECT_GT(recorder->events[0].timestamp, 0);
  EXPECT_NE(std::this_thread::get_id(), recorder->threads[0]);
}

TEST_F(SensorsTest, DisabledOrDroppedQueuesGetNothing) {
  sp<Recorder> recorder = new Recorder();
  Result result = Result::NO_INIT;
  sp<IEventQueue> queue = createQueue(recorder, &result);
  ASSERT_EQ(Result::OK, static_cast<Result>(queue->enableSensor(7, 20000, 0)));
  ASSERT_EQ(Result::OK, static_cast<Result>(queue->disableSensor(7)));
  EXPECT_FALSE(control::isEnabled(7));
  ASSERT_TRUE(control::injectEvent(7, {1.0f}));

  sp<Recorder> second = new Recorder();
  sp<IEventQueue> other = createQueue(second, &result);
  ASSERT_EQ(Result::OK, static_cast<Result>(other->enableSensor(7, 20000, 0)));
  other.clear();  // the client let go of its queue
  ASSERT_TRUE(control::injectEvent(7, {1.0f}));
  EXPECT_FALSE(control::waitForDeliveries(1, 100ms));
  EXPECT_TRUE(recorder->events.empty());
  EXPECT_TRUE(second->events.empty());
}

TEST_F(SensorsTest, RefusalsAndInjectedFailures) {
  sp<Recorder> recorder = new Recorder();
  Result result = Result::OK;
  EXPECT_EQ(nullptr, createQueue(nullptr, &result));
  EXPECT_EQ(Result::BAD_VALUE, result);

  control::failNext(control::Call::CreateEventQueue, Result::NO_MEMORY);
  EXPECT_EQ(nullptr, createQueue(recorder, &result));
  EXPECT_EQ(Result::NO_MEMORY, result);
  sp<IEventQueue> queue = createQueue(recorder, &result);
  ASSERT_EQ(Result::OK, result);

  EXPECT_EQ(Result::BAD_VALUE, static_cast<Result>(queue->enableSensor(99, 20000, 0)));
  EXPECT_EQ(Result::BAD_VALUE, static_cast<Result>(queue->enableSensor(7, -1, 0)));
  control::failNext(control::Call::EnableSensor, Result::PERMISSION_DENIED);
  EXPECT_EQ(Result::PERMISSION_DENIED, static_cast<Result>(queue->enableSensor(7, 20000, 0)));
  EXPECT_EQ(Result::OK, static_cast<Result>(queue->enableSensor(7, 20000, 0)));
  control::failNext(control::Call::DisableSensor, Result::INVALID_OPERATION);
  EXPECT_EQ(Result::INVALID_OPERATION, static_cast<Result>(queue->disableSensor(7)));

  control::failNext(control::Call::GetSensorList, Result::NO_INIT);
  size_t listed = 99;
  manager->getSensorList([&](const hidl_vec<SensorInfo>& l, Result r) {
    listed = l.size();
    result = r;
  });
  EXPECT_EQ(Result::NO_INIT, result);
  EXPECT_EQ(0u, listed);

  EXPECT_FALSE(control::injectEvent(99, {1.0f}));
  EXPECT_FALSE(control::injectEvent(7, std::vector<float>(17, 0.0f)));

  control::setServiceAvailable(false);
  EXPECT_EQ(nullptr, ISensorManager::getService("default"));
  control::setServiceAvailable(true);
  EXPECT_EQ(nullptr, ISensorManager::getService("other"));
}

}  // namespace
