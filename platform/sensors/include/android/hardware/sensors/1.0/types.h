#pragma once
// Sensor records of android.hardware.sensors@1.0, as the sensor service hands them out.
#include <cstdint>

#include <hidl/HidlSupport.h>

namespace android::hardware::sensors::V1_0 {

// The platform's types; vendor types (65536 and up) are carried as their number.
enum class SensorType : int32_t {
  META_DATA = 0,
  ACCELEROMETER = 1,
  MAGNETIC_FIELD = 2,
  ORIENTATION = 3,
  GYROSCOPE = 4,
  LIGHT = 5,
  PRESSURE = 6,
  PROXIMITY = 8,
  GRAVITY = 9,
  LINEAR_ACCELERATION = 10,
  ROTATION_VECTOR = 11,
  STEP_DETECTOR = 18,
  DEVICE_ORIENTATION = 27,
  DEVICE_PRIVATE_BASE = 65536,
};

enum class SensorFlagBits : uint32_t {
  WAKE_UP = 1,
  CONTINUOUS_MODE = 0,
  ON_CHANGE_MODE = 2,
  ONE_SHOT_MODE = 4,
  SPECIAL_REPORTING_MODE = 6,
};

struct SensorInfo {
  int32_t sensorHandle = 0;
  hidl_string name;
  hidl_string vendor;
  int32_t version = 0;
  SensorType type = SensorType::META_DATA;
  hidl_string typeAsString;
  float maxRange = 0;
  float resolution = 0;
  float power = 0;
  int32_t minDelay = 0;
  uint32_t fifoReservedEventCount = 0;
  uint32_t fifoMaxEventCount = 0;
  hidl_string requiredPermission;
  int32_t maxDelay = 0;
  uint32_t flags = 0;
};

union EventPayload {
  float scalar;
  float data[16];
};

struct Event {
  int64_t timestamp = 0;  // ns, CLOCK_BOOTTIME
  int32_t sensorHandle = 0;
  SensorType sensorType = SensorType::META_DATA;
  EventPayload u{};
};

}  // namespace android::hardware::sensors::V1_0
