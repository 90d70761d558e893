#pragma once
// A phone for the vibrator service under a temporary root: properties, the haptic driver
// directory, prebaked effect files, a simulated force-feedback device and the wave
// libraries copied where the service loads them. Used by the service tests and the demo.
//
// What a real device supplies instead: the effect files under /odm/firmware (driver or PCM
// data from the firmware build), the driver directory with its f0 and custom-wave nodes,
// the calibration files under /mnt/vendor/persist/haptics, and the libraries under
// /odm/lib64.

#include <linux/input.h>
#include <math.h>

#include <cstdint>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/force_feedback_device.h"
#include "StreamEffect.h"
#include "VibratorDevices.h"
#include "VibratorState.h"
#include "platform/properties.h"
#include "platform/properties_test_api.h"
#include "platform/simdev.h"
#include "platform/temp_root.h"

namespace vibrator_test {

inline constexpr const char* kDriverDir = "/sys/bus/i2c/drivers/lra/0-005a";
inline constexpr const char* kFfNode = "/dev/input/event0";

// Bytes of an effect file: a 170 Hz sine at 24000 Hz, amplitude `peak`, as signed 8-bit
// samples. Independent of the service: the expected stream of every test comes from here.
inline std::string sineEffectBytes(size_t count, int peak = 100) {
  std::string out(count, '\0');
  for (size_t i = 0; i < count; ++i) {
    double v = peak * sin(2 * M_PI * 170.0 * static_cast<double>(i) / 24000.0);
    out[i] = static_cast<char>(static_cast<int8_t>(lround(v)));
  }
  return out;
}

class ServiceRoot {
 public:
  ServiceRoot() {
    plat_properties_reset();
    aidl::android::hardware::vibrator::resetServiceState();
    // The effect cache is the process's: a test must not see another test's files.
    effectCache().clear();
    aidl::android::hardware::vibrator::setCardStateRetryDelay([] {});
    plat_mkdir_p(kDriverDir, 0755);
    plat_mkdir_p("/dev/input", 0755);
    setProperty("ro.odm.mm.vibrator.sys_path", kDriverDir);
    root.writeFile(std::string(kDriverDir) + "/f0_value", "1700\n");
    root.writeFile(std::string(kDriverDir) + "/custom_wave", "custom_wave_id=7");
  }
  ~ServiceRoot() {
    if (ff != nullptr) platform::sim::unregisterDevice(kFfNode);
  }
  ServiceRoot(const ServiceRoot&) = delete;
  ServiceRoot& operator=(const ServiceRoot&) = delete;

  void setProperty(const char* key, const char* value) { property_set(key, value); }

  std::shared_ptr<platform::sim::ForceFeedbackDevice> addForceFeedback(std::initializer_list<unsigned> codes = {
                                                         FF_CONSTANT, FF_PERIODIC, FF_CUSTOM, FF_GAIN}) {
    ff = std::make_shared<platform::sim::ForceFeedbackDevice>("haptic", codes);
    platform::sim::registerDevice(kFfNode, ff);
    return ff;
  }

  // An effect file under /odm/firmware with the given name and bytes.
  void addEffect(const std::string& name, const std::string& bytes) {
    root.writeFile("/odm/firmware/" + name, bytes);
  }

  void addLedNode() {
    for (const char* node : {"activate", "state", "duration"})
      root.writeFile(std::string("/sys/class/leds/vibrator/") + node, "");
  }

  // Copies a built plug-in (NAME.so) to /odm/lib64 under the root.
  bool installLibrary(const std::string& name) {
    std::ifstream in(std::string(VENDOR_PLUGIN_DIR) + "/" + name + ".so", std::ios::binary);
    if (!in) return false;
    std::stringstream bytes;
    bytes << in.rdbuf();
    root.writeFile("/odm/lib64/" + name + ".so", bytes.str());
    return true;
  }

  platform::testing::TempRoot root;
  std::shared_ptr<platform::sim::ForceFeedbackDevice> ff;
};

}  // namespace vibrator_test
