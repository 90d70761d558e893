#pragma once
// The outputs that drive the motor directly: the force-feedback input device and the
// LED-class vibrator node, plus the resolution of the dynamic-effect output type and of the
// haptic driver's sysfs directory, which the streaming side shares.

#include <stddef.h>
#include <stdint.h>

#include <functional>
#include <string>

struct effect_stream;

namespace aidl::android::hardware::vibrator {

// Output of the dynamic-effect thread, resolved once per process.
enum DynamicEffectType : int32_t {
  FF_DEVICE = 0,         // the force-feedback driver's streaming node
  PCM_DEVICE = 1,        // tinyalsa PCM card 0 device 41
  AUDIGRAPH_DEVICE = 2,  // the outside audio-graph device
  UNKNOWN_DEVICE = 3,    // not yet resolved
};

DynamicEffectType getDeviceType();
// Forgets the cached type (tests resolve it under several configurations).
void resetDeviceType();
// The wait between two reads of the sound card's state (1 s); tests shorten it.
void setCardStateRetryDelay(std::function<void()> delay);

// Largest haptic driver directory path, terminating NUL included.
inline constexpr size_t kSysPathMax = 256;
// Writes the haptic driver directory (ro.odm.mm.vibrator.sys_path, or the secondary
// ro.odm.mm.vibrator.si_sys_path on the models that use it) into buffer (size bytes).
// 0 when that directory exists, else -1.
int load_sys_path(char* buffer, size_t size);
// Whether the device model (ro.product.device) keeps its haptic driver on the secondary
// path. The models are configuration: the comma-separated list in
// ro.odm.mm.vibrator.si_sys_path_devices.
bool usesSecondarySysPath(const std::string& productDevice);

// Amplitude of an effect strength (0 LIGHT, 1 MEDIUM, 2 STRONG), adjusted by the extension
// magnitudes; consumes the one-shot magnitude and the stream's own strength.
float getAmplitudeFromEffectStrength(uint8_t strength, effect_stream* stream);

// A Linux force-feedback input device under "/dev/input/". Not thread-safe: the service
// serialises its calls.
class InputFFDevice {
 public:
  // Longest constant effect: the driver's replay length is 16 bits of milliseconds.
  static constexpr int kMaxConstantMs = UINT16_MAX;

  // Finds the effect stream of a prebaked effect id (the service's effect table).
  using StreamLookup = std::function<effect_stream*(uint32_t id)>;

  InputFFDevice();
  ~InputFFDevice();
  InputFFDevice(const InputFFDevice&) = delete;
  InputFFDevice& operator=(const InputFFDevice&) = delete;

  void setStreamLookup(StreamLookup lookup) { mLookup = std::move(lookup); }

  // id -1 plays a constant effect for timeoutMs (1..kMaxConstantMs); any other id uploads
  // that prebaked effect. timeoutMs 0 stops. 0 on success, -1 on failure.
  int play(int32_t id, int timeoutMs, long* lengthMs);
  int off();
  int setAmplitude(uint8_t amplitude);
  int playEffect(effect_stream* stream, uint8_t strength, long* lengthMs, int usage, int mode);

  bool supportsGain = false;
  bool supportsEffects = false;
  bool supportsExternalControl = false;
  bool externalControlEnabled = false;
  int fd = -1;
  int16_t currentEffectId = -1;
  int16_t currentMagnitude = 0x7fff;

 private:
  int removeEffect();
  void loadCalibration();
  void reportUploadFailure(int32_t id, long length);
  StreamLookup mLookup;
};

// The LED-class vibrator node "/sys/class/leds/vibrator".
class LedVibratorDevice {
 public:
  LedVibratorDevice();
  int on(uint32_t timeoutMs);
  int off();
  // Writes text and its terminating NUL to the node; 0, -errno, or -11 on a short write.
  static int write_value(const char* path, const char* text);

  bool detected = false;
};

}  // namespace aidl::android::hardware::vibrator
