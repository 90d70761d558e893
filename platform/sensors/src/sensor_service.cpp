// The simulated sensor service: a sensor list, event queues and a delivery thread.
#include <time.h>

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

#include <android/frameworks/sensorservice/1.0/ISensorManager.h>
#include <android/log.h>
#include <utils/RefBase.h>

#include "platform_sensors_test.h"

using ::android::sp;
using ::android::wp;
using ::android::hardware::hidl_vec;
using ::android::hardware::Return;
using ::android::hardware::Void;
using ::android::hardware::sensors::V1_0::Event;
using ::android::hardware::sensors::V1_0::SensorInfo;
using ::android::hardware::sensors::V1_0::SensorType;
using namespace ::android::frameworks::sensorservice::V1_0;
using Call = platform_sensors_test::Call;

namespace {

constexpr const char* kTag = "platform_sensors";

class EventQueue;

struct ServiceState {
  std::mutex lock;  // guards everything below
  std::condition_variable changed;
  bool available = true;
  std::vector<SensorInfo> sensors;
  std::vector<wp<EventQueue>> queues;
  std::map<Call, Result> failures;
  // Events with the queues that had their sensor enabled when the event arose.
  std::deque<std::pair<Event, std::vector<wp<EventQueue>>>> pending;
  bool delivering = false;
  size_t deliveries = 0;
  std::map<int32_t, int32_t> lastPeriod;
  std::optional<std::thread> deliveryThread;  // lives for the process once started

  std::optional<Result> takeFailure(Call call) {
    auto it = failures.find(call);
    if (it == failures.end()) return std::nullopt;
    Result r = it->second;
    failures.erase(it);
    return r;
  }
  const SensorInfo* find(int32_t handle) const {
    for (const SensorInfo& s : sensors) {
      if (s.sensorHandle == handle) return &s;
    }
    return nullptr;
  }
};

ServiceState& state() {
  static ServiceState* instance = new ServiceState();
  return *instance;
}

class EventQueue : public IEventQueue {
 public:
  explicit EventQueue(sp<IEventQueueCallback> callback) : mCallback(std::move(callback)) {}

  Return<Result> enableSensor(int32_t handle, int32_t samplingPeriodUs,
                              int64_t maxBatchReportLatencyUs) override {
    ServiceState& s = state();
    std::lock_guard<std::mutex> lock(s.lock);
    if (auto failure = s.takeFailure(Call::EnableSensor)) return *failure;
    if (s.find(handle) == nullptr || samplingPeriodUs < 0 || maxBatchReportLatencyUs < 0) {
      __android_log_print(ANDROID_LOG_WARN, kTag, "enableSensor refused: handle %d period %d",
                          handle, samplingPeriodUs);
      return Result::BAD_VALUE;
    }
    mEnabled[handle] = true;
    s.lastPeriod[handle] = samplingPeriodUs;
    return Result::OK;
  }

  Return<Result> disableSensor(int32_t handle) override {
    ServiceState& s = state();
    std::lock_guard<std::mutex> lock(s.lock);
    if (auto failure = s.takeFailure(Call::DisableSensor)) return *failure;
    if (s.find(handle) == nullptr) return Result::BAD_VALUE;
    mEnabled.erase(handle);
    return Result::OK;
  }

  // Under the state lock.
  bool enabled(int32_t handle) const { return mEnabled.count(handle) != 0; }
  sp<IEventQueueCallback> callback() const { return mCallback; }

 private:
  sp<IEventQueueCallback> mCallback;
  std::map<int32_t, bool> mEnabled;
};

void deliveryLoop() {
  ServiceState& s = state();
  std::unique_lock<std::mutex> lock(s.lock);
  for (;;) {
    s.changed.wait(lock, [&] { return !s.pending.empty(); });
    auto [event, queues] = std::move(s.pending.front());
    s.pending.pop_front();
    std::vector<sp<IEventQueueCallback>> targets;
    for (const wp<EventQueue>& weak : queues) {
      sp<EventQueue> q = weak.promote();
      if (q != nullptr && q->enabled(event.sensorHandle)) targets.push_back(q->callback());
    }
    s.delivering = true;
    lock.unlock();
    for (const auto& cb : targets) cb->onEvent(event);
    size_t delivered = targets.size();
    targets.clear();  // callbacks are released outside the lock
    lock.lock();
    s.deliveries += delivered;
    s.delivering = false;
    s.changed.notify_all();
  }
}

class SensorManager : public ISensorManager {
 public:
  Return<void> getSensorList(getSensorList_cb cb) override {
    std::vector<SensorInfo> list;
    std::optional<Result> failure;
    {
      std::lock_guard<std::mutex> lock(state().lock);
      failure = state().takeFailure(Call::GetSensorList);
      if (!failure) list = state().sensors;
    }
    cb(hidl_vec<SensorInfo>(list), failure.value_or(Result::OK));
    return Void();
  }

  Return<void> getDefaultSensor(SensorType type, getDefaultSensor_cb cb) override {
    SensorInfo found;
    Result result = Result::NOT_EXIST;
    {
      std::lock_guard<std::mutex> lock(state().lock);
      for (const SensorInfo& s : state().sensors) {
        if (s.type == type) {
          found = s;
          result = Result::OK;
          break;
        }
      }
    }
    cb(found, result);
    return Void();
  }

  Return<void> createEventQueue(const sp<IEventQueueCallback>& callback,
                                createEventQueue_cb cb) override {
    if (callback == nullptr) {
      cb(nullptr, Result::BAD_VALUE);
      return Void();
    }
    sp<EventQueue> queue;
    std::optional<Result> failure;
    {
      ServiceState& s = state();
      std::lock_guard<std::mutex> lock(s.lock);
      failure = s.takeFailure(Call::CreateEventQueue);
      if (!failure) {
        queue = new EventQueue(callback);
        s.queues.push_back(queue);
        if (!s.deliveryThread) s.deliveryThread.emplace(deliveryLoop);
      }
    }
    cb(queue, failure.value_or(Result::OK));
    return Void();
  }
};

}  // namespace

namespace android::frameworks::sensorservice::V1_0 {

sp<ISensorManager> ISensorManager::getService(const std::string& serviceName, bool /*getStub*/) {
  static sp<ISensorManager> manager = new SensorManager();
  std::lock_guard<std::mutex> lock(state().lock);
  if (!state().available || serviceName != "default") return nullptr;
  return manager;
}

}  // namespace android::frameworks::sensorservice::V1_0

namespace platform_sensors_test {

void reset() {
  ServiceState& s = state();
  std::unique_lock<std::mutex> lock(s.lock);
  s.pending.clear();
  s.changed.wait(lock, [&] { return !s.delivering; });  // let a delivery under way finish
  s.available = true;
  s.sensors.clear();
  s.queues.clear();
  s.failures.clear();
  s.pending.clear();
  s.deliveries = 0;
  s.lastPeriod.clear();
}

void addSensor(const SensorInfo& sensor) {
  std::lock_guard<std::mutex> lock(state().lock);
  state().sensors.push_back(sensor);
}

void setServiceAvailable(bool available) {
  std::lock_guard<std::mutex> lock(state().lock);
  state().available = available;
}

void failNext(Call call, Result result) {
  std::lock_guard<std::mutex> lock(state().lock);
  state().failures[call] = result;
}

bool injectEvent(int32_t sensorHandle, std::vector<float> values) {
  ServiceState& s = state();
  std::lock_guard<std::mutex> lock(s.lock);
  const SensorInfo* sensor = s.find(sensorHandle);
  if (sensor == nullptr || values.size() > 16) return false;
  Event e;
  timespec now{};
  clock_gettime(CLOCK_BOOTTIME, &now);
  e.timestamp = int64_t{now.tv_sec} * 1000000000 + now.tv_nsec;
  e.sensorHandle = sensorHandle;
  e.sensorType = sensor->type;
  for (size_t i = 0; i < values.size(); ++i) e.u.data[i] = values[i];
  std::vector<wp<EventQueue>> targets;
  for (const wp<EventQueue>& weak : s.queues) {
    sp<EventQueue> q = weak.promote();
    if (q != nullptr && q->enabled(sensorHandle)) targets.push_back(weak);
  }
  s.pending.emplace_back(e, std::move(targets));
  s.changed.notify_all();
  return true;
}

bool waitForDeliveries(size_t count, std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(state().lock);
  return state().changed.wait_for(lock, timeout, [&] { return state().deliveries >= count; });
}

size_t deliveries() {
  std::lock_guard<std::mutex> lock(state().lock);
  return state().deliveries;
}

bool isEnabled(int32_t sensorHandle) {
  std::lock_guard<std::mutex> lock(state().lock);
  for (const wp<EventQueue>& weak : state().queues) {
    sp<EventQueue> q = weak.promote();
    if (q != nullptr && q->enabled(sensorHandle)) return true;
  }
  return false;
}

int32_t samplingPeriodUs(int32_t sensorHandle) {
  std::lock_guard<std::mutex> lock(state().lock);
  auto it = state().lastPeriod.find(sensorHandle);
  return it == state().lastPeriod.end() ? -1 : it->second;
}

}  // namespace platform_sensors_test
