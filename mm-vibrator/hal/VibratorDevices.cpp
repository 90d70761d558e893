// Force-feedback input device, LED vibrator node, dynamic-effect output type and haptic
// driver directory.
#define LOG_TAG "vendor.hardware.vibratorfeature"

#include "VibratorDevices.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/input.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <sstream>
#include <thread>

#include <log/log.h>
#include <vistrel/Vistrel.h>
#include <wavelibs/soc_info.h>

#include "StreamEffect.h"
#include "VibratorState.h"
#include "platform/devio.h"
#include "platform/paths.h"
#include "platform/properties.h"

namespace aidl::android::hardware::vibrator {

namespace {

constexpr const char* kInputDir = "/dev/input/";
constexpr const char* kLedPath = "/sys/class/leds/vibrator";
constexpr const char* kCardStatePath = "/sys/kernel/snd_card/card_state";
constexpr const char* kCalZ = "/mnt/vendor/persist/haptics/vib_cal_z";
constexpr const char* kCalF0 = "/mnt/vendor/persist/haptics/vib_cal_f0";
constexpr const char* kCalOsc = "/mnt/vendor/persist/haptics/vib_cal_osc";
constexpr const char* kCalibratedDevice = "lra8697_haptic";
constexpr int kCardStateAttempts = 100;
constexpr int kUploadFailureEventId = 906201003;

// The kernel's ff_effect on a 64-bit system, as the driver reads it.
static_assert(sizeof(ff_effect) == 48, "ff_effect is 48 bytes on a 64-bit system");
static_assert(offsetof(ff_effect, type) == 0);
static_assert(offsetof(ff_effect, id) == 2);
static_assert(offsetof(ff_effect, direction) == 4);
static_assert(offsetof(ff_effect, trigger) == 6);
static_assert(offsetof(ff_effect, replay) == 10);
static_assert(offsetof(ff_effect, u) == 16);
static_assert(sizeof(input_event) == 24, "input_event is 24 bytes on a 64-bit system");

// Custom data of a prebaked upload on the PCM and audio-graph outputs: the driver reads
// the effect's bytes through the pointer.
struct __attribute__((packed)) PrebakedStreamBlock {
  int32_t effectId;
  int32_t size;
  int32_t sampleRate;
  uint8_t padding[4];
  uint64_t data;
};
static_assert(sizeof(PrebakedStreamBlock) == 24);
static_assert(offsetof(PrebakedStreamBlock, effectId) == 0);
static_assert(offsetof(PrebakedStreamBlock, size) == 4);
static_assert(offsetof(PrebakedStreamBlock, sampleRate) == 8);
static_assert(offsetof(PrebakedStreamBlock, data) == 16);

// Custom data of a prebaked upload on the force-feedback output: word 0 the effect id,
// words 1 and 2 the play length that the driver writes back (seconds, milliseconds).
constexpr int kPrebakedWords = 6;

std::function<void()>& cardStateRetryDelay() {
  static std::function<void()> delay = [] { std::this_thread::sleep_for(std::chrono::seconds(1)); };
  return delay;
}

bool testBit(const uint8_t* bits, size_t size, unsigned bit) {
  return bit / 8 < size && (bits[bit / 8] & (1u << (bit % 8))) != 0;
}

// First line of a file as an integer; -1 (and a note on standard output) when it cannot
// be opened.
int readIntFile(const char* path) {
  FILE* f = plat_fopen(path, "r");
  if (f == nullptr) {
    printf("failed to open %s.", path);
    return -1;
  }
  char line[64] = {};
  int value = 0;
  if (fgets(line, sizeof line, f) != nullptr) value = atoi(line);
  fclose(f);
  return value;
}

int writeInput(int fd, uint16_t type, uint16_t code, int32_t value) {
  input_event ev{};
  ev.type = type;
  ev.code = code;
  ev.value = value;
  ssize_t n = TEMP_FAILURE_RETRY(plat_write(fd, &ev, sizeof ev));
  return n == static_cast<ssize_t>(sizeof ev) ? 0 : -1;
}

}  // namespace

// ---- Output type and driver directory ------------------------------------------------

void setCardStateRetryDelay(std::function<void()> delay) { cardStateRetryDelay() = std::move(delay); }

void resetDeviceType() { serviceState().deviceType = UNKNOWN_DEVICE; }

DynamicEffectType getDeviceType() {
  VibratorServiceState& state = serviceState();
  if (state.deviceType != UNKNOWN_DEVICE) return static_cast<DynamicEffectType>(state.deviceType);
  char value[PROPERTY_VALUE_MAX];
  property_get("ro.odm.mm.vibrator.device_type", value, "");
  DynamicEffectType type = FF_DEVICE;
  if (strcmp(value, "audigraph") == 0) {
    type = AUDIGRAPH_DEVICE;
    int cardState = 2;
    bool ready = false;
    for (int attempt = 0; attempt < kCardStateAttempts && !ready; ++attempt) {
      if (attempt != 0) cardStateRetryDelay()();
      int fd = TEMP_FAILURE_RETRY(plat_open(kCardStatePath, O_RDONLY | O_CLOEXEC));
      if (fd < 0) {
        ALOGE("Failed to open snd sysfs node, will retry for %d times ...",
              kCardStateAttempts - attempt - 1);
        continue;
      }
      char text[2] = {};
      ssize_t n = TEMP_FAILURE_RETRY(plat_read(fd, text, 1));
      plat_close(fd);
      if (n <= 0) {
        ALOGE("Failed to read card_state(sz <= 0).");
        continue;
      }
      if (sscanf(text, "%d", &cardState) == 1 && cardState == 1) ready = true;
    }
    if (!ready) {
      ALOGE("card_state(%d) exception, set device type to FF_DEVICE", cardState);
      type = FF_DEVICE;
    }
  } else if (strcmp(value, "led") == 0) {
    type = PCM_DEVICE;
  }
  state.deviceType = type;
  ALOGI("deviceType is %d\n", type);
  return type;
}

bool usesSecondarySysPath(const std::string& productDevice) {
  if (productDevice.empty()) return false;
  char list[PROPERTY_VALUE_MAX];
  property_get("ro.odm.mm.vibrator.si_sys_path_devices", list, "");
  std::stringstream models(list);
  std::string model;
  while (std::getline(models, model, ',')) {
    if (model == productDevice) return true;
  }
  return false;
}

int load_sys_path(char* buffer, size_t size) {
  if (buffer == nullptr || size == 0) return -1;
  char value[PROPERTY_VALUE_MAX];
  property_get("ro.odm.mm.vibrator.sys_path", value, "");
  snprintf(buffer, size, "%s", value);
  if (value[0] != '\0' && plat_access(buffer, F_OK) == 0) return 0;
  char device[PROPERTY_VALUE_MAX];
  property_get("ro.product.device", device, "");
  if (usesSecondarySysPath(device)) {
    property_get("ro.odm.mm.vibrator.si_sys_path", value, "");
    snprintf(buffer, size, "%s", value);
    if (value[0] != '\0' && plat_access(buffer, F_OK) == 0) return 0;
  }
  printf("sys path %s not found.\n", buffer);
  ALOGE("sys path %s not found.\n", buffer);
  return -1;
}

// ---- Force-feedback device -----------------------------------------------------------

InputFFDevice::InputFFDevice() {
  DIR* dir = plat_opendir(kInputDir);
  if (dir == nullptr) {
    ALOGE("open %s failed, errno = %d", kInputDir, errno);
    return;
  }
  while (struct dirent* entry = readdir(dir)) {
    if (strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0) continue;
    std::string path = std::string(kInputDir) + entry->d_name;
    int candidate = TEMP_FAILURE_RETRY(plat_open(path.c_str(), O_RDWR | O_CLOEXEC));
    if (candidate < 0) {
      ALOGE("open %s failed, errno = %d", path.c_str(), errno);
      continue;
    }
    char name[32] = {};
    if (TEMP_FAILURE_RETRY(plat_ioctl(candidate, EVIOCGNAME(sizeof name), name)) < 0) {
      ALOGE("get input device name %s failed, errno = %d\n", path.c_str(), errno);
      plat_close(candidate);
      continue;
    }
    name[sizeof name - 1] = '\0';
    ALOGI("device is %s", name);
    if (strcmp(name, kCalibratedDevice) == 0) loadCalibration();

    uint8_t ffBits[16] = {};
    if (TEMP_FAILURE_RETRY(plat_ioctl(candidate, EVIOCGBIT(EV_FF, sizeof ffBits), ffBits)) < 0) {
      ALOGE("ioctl failed, errno = %d", errno);
      plat_close(candidate);
      continue;
    }
    if (testBit(ffBits, sizeof ffBits, FF_CONSTANT) || testBit(ffBits, sizeof ffBits, FF_PERIODIC)) {
      fd = candidate;
      supportsEffects = testBit(ffBits, sizeof ffBits, FF_CUSTOM);
      supportsGain = testBit(ffBits, sizeof ffBits, FF_GAIN);
      soc_info_t soc{};
      if (get_soc_info(&soc) == 0) {
        soc.soc_name[sizeof soc.soc_name - 1] = '\0';
        ALOGI("soc id %d (%s)", soc.soc_id, soc.soc_name);
      }
      supportsExternalControl =
          property_get_bool("ro.odm.mm.vibrator.audio_haptic_support", false) != 0;
      break;
    }
    plat_close(candidate);
  }
  closedir(dir);
}

InputFFDevice::~InputFFDevice() {
  if (fd >= 0) plat_close(fd);
}

void InputFFDevice::loadCalibration() {
  ALOGI("load cal data");
  int z = readIntFile(kCalZ);
  int f0 = readIntFile(kCalF0);
  int osc = readIntFile(kCalOsc);
  ALOGI("vibrate cal data: z=%d, f0=%d, osc=%d.", z, f0, osc);
  if (osc < 0) {
    ALOGE("osc value is not correct, value = %d.", osc);
    return;
  }
  char dir[kSysPathMax];
  if (load_sys_path(dir, sizeof dir) != 0) return;
  char path[kSysPathMax + 16];
  snprintf(path, sizeof path, "%s/%s", dir, "osc_save");
  FILE* f = plat_fopen(path, "w+");
  if (f == nullptr) {
    printf("failed to open %s.(%s)\n", path, strerror(errno));
    return;
  }
  fprintf(f, "%d\n", osc);
  fclose(f);
  ALOGI("loaded osc value: %d.", readIntFile(path));
}

int InputFFDevice::removeEffect() {
  if (currentEffectId == -1) return 0;
  int rc = TEMP_FAILURE_RETRY(plat_ioctl(fd, EVIOCRMFF, static_cast<long>(currentEffectId)));
  currentEffectId = -1;
  if (rc < 0) {
    ALOGE("ioctl EVIOCRMFF failed, errno = %d", errno);
    return -1;
  }
  return 0;
}

void InputFFDevice::reportUploadFailure(int32_t id, long length) {
  QuonEvent event(kUploadFailureEventId);
  event.putInt("vibEffectID", id);
  event.putString("vibType", id == -1 ? "Long vibration" : "short vibration");
  event.putInt("vibDuration", static_cast<int>(length));
  event.putString("keyword", "ioctl EVIOCSFF failed");
  Vistrel::sendEvent(event);
}

int InputFFDevice::play(int32_t id, int timeoutMs, long* lengthMs) {
  if (fd < 0) {
    if (lengthMs != nullptr) *lengthMs = 0;
    return 0;
  }
  if (timeoutMs == 0) return removeEffect();
  // The driver's replay length is 16 bits of milliseconds: a longer constant effect would
  // stop early, a negative one wrap. Refuse rather than play something else.
  if (id == -1 && (timeoutMs < 0 || timeoutMs > kMaxConstantMs)) {
    ALOGE("constant effect of %d ms refused (0..%d)", timeoutMs, kMaxConstantMs);
    return -1;
  }
  if (removeEffect() != 0) return -1;

  ff_effect effect{};
  effect.id = -1;
  int16_t words[kPrebakedWords] = {};
  PrebakedStreamBlock block{};
  // The block seen as the custom data the uapi types as s16 words.
  alignas(int16_t) unsigned char blockBytes[sizeof(PrebakedStreamBlock)];
  effect_stream* stream = nullptr;
  EffectBuffer bytes;  // keeps the effect's bytes alive until the driver has read them
  const DynamicEffectType type = getDeviceType();
  if (id == -1) {
    effect.type = FF_CONSTANT;
    effect.replay.length = static_cast<uint16_t>(timeoutMs);
    effect.u.constant.level = currentMagnitude;
  } else {
    effect.type = FF_PERIODIC;
    effect.u.periodic.waveform = FF_CUSTOM;
    effect.u.periodic.magnitude = currentMagnitude;
    if (type == FF_DEVICE) {
      words[0] = static_cast<int16_t>(id);
      effect.u.periodic.custom_len = kPrebakedWords;
      effect.u.periodic.custom_data = words;
    } else {
      // The driver reads the effect's bytes through the block's pointer during the upload.
      stream = mLookup ? mLookup(static_cast<uint32_t>(id)) : nullptr;
      uint32_t size = stream != nullptr ? stream->data(&bytes) : 0;
      block.effectId = id;
      block.size = static_cast<int32_t>(size);
      block.sampleRate = stream != nullptr ? stream->sampleRate : 0;
      block.data = reinterpret_cast<uintptr_t>(bytes.get());
      memcpy(blockBytes, &block, sizeof block);
      effect.u.periodic.custom_len = sizeof block;
      effect.u.periodic.custom_data = reinterpret_cast<int16_t*>(blockBytes);
    }
  }
  if (lengthMs != nullptr) *lengthMs = 0;

  if (TEMP_FAILURE_RETRY(plat_ioctl(fd, EVIOCSFF, &effect)) < 0) {
    ALOGE("ioctl EVIOCSFF failed, errno = %d", errno);
    reportUploadFailure(id, id == -1 ? timeoutMs : 0);
    currentEffectId = -1;
    return -1;
  }
  currentEffectId = effect.id;
  if (id != -1 && lengthMs != nullptr) {
    if (type == FF_DEVICE) {
      *lengthMs = std::max<long>(words[1], 0) * 1000 + std::max<long>(words[2], 0);
    } else if (stream != nullptr) {
      *lengthMs = stream->playLengthMs();
    }
  }

  if (writeInput(fd, EV_FF, static_cast<uint16_t>(currentEffectId), 1) == 0) return 0;
  ALOGE("write failed, errno = %d\n", errno);
  // The effect never started: take it back and tell the caller, whether or not the
  // removal works, so a silent motor is not reported as a vibration.
  removeEffect();
  return -1;
}

int InputFFDevice::off() {
  const VibratorServiceState& state = serviceState();
  if (state.slideEffectProtectTimeMs > 0) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    double intervalMs = (now.tv_sec - state.lastPerformTime.tv_sec) * 1000.0 +
                        (now.tv_nsec - state.lastPerformTime.tv_nsec) / 1e6;
    if (intervalMs >= 0 && intervalMs < state.slideEffectProtectTimeMs) {
      int sleepMs = static_cast<int>(state.slideEffectProtectTimeMs - intervalMs);
      ALOGI("intervalTime %lf ms, sleep %d ms", intervalMs, sleepMs);
      std::this_thread::sleep_for(std::chrono::milliseconds(sleepMs));
    }
  }
  return play(-1, 0, nullptr);
}

int InputFFDevice::setAmplitude(uint8_t amplitude) {
  if (fd < 0) return 0;
  const int gain = 16383 + amplitude * 16383 / 255;
  if (writeInput(fd, EV_FF, FF_GAIN, gain) != 0) {
    ALOGE("write FF_GAIN failed, errno = %d", errno);
    return -1;
  }
  currentMagnitude = static_cast<int16_t>(gain);
  return 0;
}

int InputFFDevice::playEffect(effect_stream* stream, uint8_t strength, long* lengthMs, int usage,
                              int mode) {
  if (stream == nullptr) return -1;
  const float a = getAmplitudeFromEffectStrength(strength, stream);
  if (serviceState().mSupportAIHaptic && mode == 1 && usage != kUsageTouch) {
    currentMagnitude = 0x7fff;
  } else if (getDeviceType() == AUDIGRAPH_DEVICE) {
    currentMagnitude = static_cast<int16_t>(a * 0x6000 + 8191);
  } else {
    currentMagnitude = static_cast<int16_t>(a * 0x4000 + 0x3fff);
  }
  return play(static_cast<int32_t>(stream->id), -1, lengthMs);
}

// ---- LED vibrator node ---------------------------------------------------------------

LedVibratorDevice::LedVibratorDevice() {
  char path[128];
  snprintf(path, sizeof path, "%s/%s", kLedPath, "activate");
  int fd = TEMP_FAILURE_RETRY(plat_open(path, O_RDWR | O_CLOEXEC));
  if (fd < 0) {
    ALOGE("open %s failed, errno = %d", path, errno);
    return;
  }
  plat_close(fd);
  detected = true;
}

int LedVibratorDevice::write_value(const char* path, const char* text) {
  int fd = TEMP_FAILURE_RETRY(plat_open(path, O_WRONLY | O_CLOEXEC));
  if (fd < 0) {
    int err = errno;
    ALOGE("open %s failed, errno = %d", path, err);
    return -err;
  }
  const size_t len = strlen(text) + 1;
  ssize_t n = TEMP_FAILURE_RETRY(plat_write(fd, text, len));
  int err = errno;
  plat_close(fd);
  if (n < 0) return -err;
  return static_cast<size_t>(n) < len ? -EAGAIN : 0;
}

int LedVibratorDevice::on(uint32_t timeoutMs) {
  char path[128];
  char duration[16];
  snprintf(duration, sizeof duration, "%u\n", timeoutMs);
  const std::pair<const char*, const char*> steps[] = {
      {"state", "1"}, {"duration", duration}, {"activate", "1"}};
  for (const auto& [node, text] : steps) {
    snprintf(path, sizeof path, "%s/%s", kLedPath, node);
    int rc = write_value(path, text);
    if (rc != 0) {
      ALOGE("Failed to turn on vibrator ret: %d\n", rc);
      return rc;
    }
  }
  return 0;
}

int LedVibratorDevice::off() {
  char path[128];
  snprintf(path, sizeof path, "%s/%s", kLedPath, "activate");
  return write_value(path, "0");
}

}  // namespace aidl::android::hardware::vibrator
