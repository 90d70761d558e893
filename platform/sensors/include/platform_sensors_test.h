#pragma once
// Test control of the simulated sensor service. Never called by production code.
#include <chrono>
#include <cstdint>
#include <vector>

#include <android/frameworks/sensorservice/1.0/types.h>
#include <android/hardware/sensors/1.0/types.h>

namespace platform_sensors_test {

using ::android::frameworks::sensorservice::V1_0::Result;
using ::android::hardware::sensors::V1_0::Event;
using ::android::hardware::sensors::V1_0::SensorInfo;

// Back to a running service with no sensors, no queues and no injected failures.
void reset();
void addSensor(const SensorInfo& sensor);
// Whether ISensorManager::getService finds the service.
void setServiceAvailable(bool available);

enum class Call { GetSensorList, CreateEventQueue, EnableSensor, DisableSensor };
// The next such call answers `result` instead of doing its work.
void failNext(Call call, Result result);

// Queues an event of a listed sensor for delivery on the service's own thread to every
// queue that enabled it; the sensor type and time stamp are filled in.
bool injectEvent(int32_t sensorHandle, std::vector<float> values);
// Waits until `count` deliveries (one per queue per event) have returned.
bool waitForDeliveries(size_t count, std::chrono::milliseconds timeout);
size_t deliveries();
bool isEnabled(int32_t sensorHandle);
// The sampling period of the last enable of the sensor (-1 when never enabled).
int32_t samplingPeriodUs(int32_t sensorHandle);

}  // namespace platform_sensors_test
