// The IVibrator object of the vibrator service and its HE effect play.
#define LOG_TAG "vendor.hardware.vibratorfeature"

#include "Vibrator.h"

#include <dlfcn.h>
#include <errno.h>
#include <linux/input.h>
#include <string.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include <log/log.h>
#include <wavelibs/audigraph_device.h>
#include <vibrator/thrumwave_abi.h>

#include "DynamicEffectDevice.h"
#include "HeEffect.h"
#include "Tlog.h"
#include "TrackInterface.h"
#include "VibratorState.h"
#include "WaveformGenerator.h"
#include "platform/devio.h"
#include "platform/paths.h"
#include "platform/properties.h"

namespace aidl::android::hardware::vibrator {

namespace {

constexpr const char* kThrumwaveLibraryPath = "/odm/lib64/libbraxvibrator.so";
constexpr float kStrengthAmplitude[] = {0.0f, 0.5f, 1.0f};
constexpr uint8_t kMaxStrength = 2;

ndk::ScopedAStatus exception(binder_exception_t code) { return ndk::ScopedAStatus::fromExceptionCode(code); }
// The answer to a call that meets the service's teardown: what a client of a service that
// has gone gets.
ndk::ScopedAStatus gone() { return ndk::ScopedAStatus::fromStatus(STATUS_DEAD_OBJECT); }

// The audio-graph output of the outside library, seen through the dynamic-effect device
// slots it was built to match.
class AudigraphOutput : public DynamicEffectDevice {
 public:
  explicit AudigraphOutput(AudigraphDevice* device) : mDevice(device) {}
  ~AudigraphOutput() override { delete mDevice; }
  int open() override { return mDevice->open(); }
  int write(signed char* samples, int count) override { return mDevice->write(samples, count); }
  int close() override { return mDevice->close(); }
  void off() override { mDevice->off(); }
  void eos() override { mDevice->eos(); }

 private:
  AudigraphDevice* mDevice;
};

// Hands a payload to the generator, which owns the command from here on.
void sendCommand(WaveformGenerator& generator, int32_t type, std::unique_ptr<GeneratorCommandData> data) {
  auto command = std::make_unique<GeneratorCommand>();
  command->data = std::move(data);
  command->type = type;
  generator.sendCommand(std::move(command));
}

}  // namespace

float getAmplitudeFromEffectStrength(uint8_t strength, effect_stream* stream) {
  VibratorServiceState& state = serviceState();
  float a = strength <= kMaxStrength ? kStrengthAmplitude[strength] : 1.0f;
  if (state.mCurrMagnitudeExtOnce >= 0 && state.mCurrMagnitudeExtOnce <= 1.5f) {
    ALOGD("uses mCurrMagnitudeExtOnce %f", state.mCurrMagnitudeExtOnce);
    a = std::min(state.mCurrMagnitudeExtOnce, 1.0f);
    state.mCurrMagnitudeExtOnce = -1.0f;
  } else if (state.mCurrMagnitudeExt >= 0 && state.mCurrMagnitudeExt <= 1.5f) {
    ALOGD("uses mCurrMagnitudeExt %f", state.mCurrMagnitudeExt);
    a = state.mCurrMagnitudeExt;
    if (stream != nullptr && stream->strength > 0) {
      a = stream->strength * state.mCurrMagnitudeExt;
      stream->strength = -1.0f;  // a stream's own strength applies once
    }
    a = std::min(a, 1.0f);
  }
  ALOGD("getAmplitudeFromEffectStrength %f", a);
  return a;
}

Vibrator::Vibrator() {
  VibratorServiceState& state = serviceState();
  ff.setStreamLookup([this](uint32_t id) -> effect_stream* {
    auto it = mEffects.find(id);
    return it == mEffects.end() ? nullptr : it->second;
  });
  mEffects = get_effect_stream();
  mEffects.max_load_factor(1.0f);
  ALOGI("load %lu effect", static_cast<unsigned long>(mEffects.size()));
  state.mCurrMagnitudeExt = -1.0f;

  mDevice.reset(createDynamicDevice());
  mGenerator = std::make_unique<WaveformGenerator>();
  mThread = new ::android::DynamicEffectThread(mGenerator.get(), mDevice.get(),
                                               std::chrono::nanoseconds(state.standbyWaitNs));
  ALOGI("Vibrator DynamicEffectThread - run");
  mThread->run("DynamicEffectThread", ::android::PRIORITY_DEFAULT, 0);

  state.mSupportAIHaptic = property_get_bool("persist.vendor.audio.vibrator.aihaptic", false) != 0;
  ALOGI("mSupportAIHaptic init done.");
  state.mMotorNotSupport = property_get_bool("ro.odm.mm.vibrator.motor_not_support", false) != 0;
  ALOGI("mMotorNotSupport init done.");
  ALOGI("Vibrator init done.");
  state.slideEffectProtectTimeMs = property_get_int32("ro.odm.mm.vibrator.slide_effect_protect_time", 0);
}

Vibrator::~Vibrator() {
  // The service never ends; tests and the demo do. Their completion callbacks hold the
  // service by a plain pointer and may call it, from onComplete or from their release, while
  // it goes: the timer stops first (a running callback finishes, the pending ones are
  // released) over outputs still whole, and every call from now on is refused.
  {
    std::lock_guard<std::recursive_mutex> guard(mLock);
    mTornDown = true;
  }
  // Without mLock: the running callback may be waiting for it.
  mTimer.stop();
  // Then the playback thread, which must not run over a freed generator or device.
  if (mThread != nullptr) mThread->stop();
  mThread.clear();
  mGenerator.reset();
  mDevice.reset();
  for (auto& [id, stream] : mEffects) delete stream;
}

DynamicEffectDevice* Vibrator::createDynamicDevice() {
  switch (getDeviceType()) {
    case AUDIGRAPH_DEVICE: {
      serviceState().generatorSampleRate = 48000;
      void* handle = dlopen(kAudigraphLibrary, RTLD_NOW);
      auto create = handle != nullptr
                        ? reinterpret_cast<createAudigraphDevice_fn>(dlsym(handle, "createAudigraphDevice"))
                        : nullptr;
      void* device = create != nullptr ? create() : nullptr;
      if (device != nullptr) return new AudigraphOutput(static_cast<AudigraphDevice*>(device));
      // Without the library the driver's own streaming node still plays.
      ALOGE("audio graph device unavailable (%s), using the force-feedback stream",
            handle == nullptr ? dlerror() : "no device");
      return new FFDevice(ff.fd);
    }
    case PCM_DEVICE:
      return new PCMDevice();
    default:
      return new FFDevice(ff.fd);
  }
}

void Vibrator::notifyLater(std::shared_ptr<IVibratorCallback> callback, int32_t delayMs, const char* doneLog,
                           bool reportFailure) {
  // The timer was started before the vibration was, and it stops only once the teardown has
  // taken mLock, which the caller holds: scheduling cannot fail from here on.
  mTimer.schedule(std::chrono::milliseconds(delayMs), [callback = std::move(callback), doneLog, reportFailure] {
    ALOGD("%s", doneLog);
    ndk::ScopedAStatus status = callback->onComplete();
    if (reportFailure && !status.isOk()) ALOGE("Failed to call onComplete");
  });
}

ndk::ScopedAStatus Vibrator::getCapabilities(int32_t* _aidl_return) {
  std::lock_guard<std::recursive_mutex> guard(mLock);
  if (mTornDown) return gone();
  int32_t caps;
  if (led.detected) {
    caps = IVibrator::CAP_ON_CALLBACK | IVibrator::CAP_PERFORM_CALLBACK;
  } else {
    caps = IVibrator::CAP_ON_CALLBACK;
    if (ff.supportsGain) caps |= IVibrator::CAP_AMPLITUDE_CONTROL;
    if (ff.supportsEffects) caps |= IVibrator::CAP_PERFORM_CALLBACK;
    if (ff.supportsExternalControl) caps |= IVibrator::CAP_EXTERNAL_CONTROL;
  }
  ALOGI("ORV Vibrator reporting capabilities: %d", caps);
  *_aidl_return = caps;
  return ndk::ScopedAStatus::ok();
}

ndk::ScopedAStatus Vibrator::on(int32_t timeoutMs, const std::shared_ptr<IVibratorCallback>& callback) {
  ALOGI("Vibrator on for timeoutMs: %d", timeoutMs);
  if (timeoutMs < 0) {
    ALOGE("negative timeout %d refused", timeoutMs);
    return exception(EX_ILLEGAL_ARGUMENT);
  }
  std::lock_guard<std::recursive_mutex> guard(mLock);
  if (mTornDown) return gone();
  const VibratorServiceState& state = serviceState();
  const bool thrumwave =
      !led.detected && state.usage == kUsageRingtone && state.mSupportAIHaptic && state.he2Property == kHe2Thrumwave;
  if (!led.detected && !thrumwave && timeoutMs > InputFFDevice::kMaxConstantMs) {
    ALOGE("timeout %d ms refused: the driver plays at most %d ms", timeoutMs, InputFFDevice::kMaxConstantMs);
    return exception(EX_ILLEGAL_ARGUMENT);
  }
  // A vibration whose end cannot be reported is not started.
  if (callback != nullptr && !mTimer.start()) return exception(EX_SERVICE_SPECIFIC);
  int rc;
  if (led.detected) {
    rc = led.on(static_cast<uint32_t>(timeoutMs));
  } else if (thrumwave) {
    ALOGI("enter on interface with USAGE_RINTONE");
    rc = ExtPlay(transfromEffectHe_2_0(timeoutMs), 0, 0, -1);
  } else {
    rc = ff.play(-1, timeoutMs, nullptr);
    send_vibration_duration_to_tlog(timeoutMs);
  }
  if (rc != 0) return exception(EX_SERVICE_SPECIFIC);
  if (callback != nullptr) notifyLater(callback, std::max(timeoutMs, 10), "Notifying on complete", true);
  return ndk::ScopedAStatus::ok();
}

ndk::ScopedAStatus Vibrator::off() {
  std::lock_guard<std::recursive_mutex> guard(mLock);
  if (mTornDown) return gone();
  ALOGI("ORV Vibrator off");
  int rc = led.detected ? led.off() : ff.off();
  if (rc != 0) return exception(EX_SERVICE_SPECIFIC);
  mThread->haltOutput(false);
  if (mThrumwave.initialised && serviceState().he2Property == kHe2Thrumwave) {
    if (!mThrumwave.looperStopPerformHe()) ALOGE("brax_vibra_looper_stopPerformHe false");
  }
  return ndk::ScopedAStatus::ok();
}

ndk::ScopedAStatus Vibrator::perform(Effect effect, EffectStrength strength,
                                     const std::shared_ptr<IVibratorCallback>& callback,
                                     int32_t* _aidl_return) {
  if (led.detected) return exception(EX_UNSUPPORTED_OPERATION);
  std::lock_guard<std::recursive_mutex> guard(mLock);
  if (mTornDown) return gone();
  VibratorServiceState& state = serviceState();
  const int32_t id = static_cast<int32_t>(effect);
  ALOGI("Vibrator perform effect %d", id);
  clock_gettime(CLOCK_MONOTONIC, &state.lastPerformTime);
  *_aidl_return = 0;

  auto it = mEffects.find(static_cast<uint32_t>(id));
  if (it == mEffects.end()) {
    ALOGE("[TF-VIBRATOR] no effect for id %d", id);
    return exception(EX_UNSUPPORTED_OPERATION);
  }
  const uint8_t level = static_cast<uint8_t>(strength);
  if (level > kMaxStrength) return exception(EX_UNSUPPORTED_OPERATION);
  effect_stream* stream = it->second;
  if (stream == nullptr) {
    ALOGW("perform effect %d faild, no firmware was found.", id);
    return exception(EX_NULL_POINTER);
  }
  if (callback != nullptr && !mTimer.start()) return exception(EX_SERVICE_SPECIFIC);

  long driverLength = 0;
  if (stream->transport == 1) {
    EffectBuffer bytes;
    uint32_t size = stream->data(&bytes);
    ALOGD("return buffer is %p, size %d", static_cast<const void*>(bytes.get()), static_cast<int>(size));
    const float a = getAmplitudeFromEffectStrength(level, stream);
    float s = a;
    if (property_get_bool("ro.odm.mm.vibrator.scaleStreaming", true) != 0) s = (a * 16384 + 16383) / 32767;
    if (state.updateMode == 1 && state.usage != kUsageTouch && state.mSupportAIHaptic) {
      ALOGI("effct strength max, Usage = %d, Mode = %d", state.usage, state.updateMode.load());
      s = 1.0f;
    }
    ALOGD("streamStrength is %f!", s);
    auto data = std::make_unique<TrackData>();
    data->track = std::make_unique<static_Track>(bytes, static_cast<int32_t>(size), s);
    data->start = 0.0f;
    sendCommand(*mGenerator, kScheduleTrack, std::move(data));
    mThread->wake();
  } else {
    if (!mThread->paused()) {
      ALOGI("skip effect, DynamicEffectThread is playing!");
      return ndk::ScopedAStatus::ok();
    }
    int rc = ff.playEffect(stream, level, &driverLength, state.usage, state.updateMode);
    ALOGD("return from driver is %ld", driverLength);
    // A prebaked effect the driver did not take has not played: say so instead of
    // promising its length.
    if (rc != 0) return exception(EX_SERVICE_SPECIFIC);
  }

  const long streamLength = stream->playLengthMs();
  long length = streamLength >= 1 ? streamLength : driverLength;
  length += (streamLength >= 1 && streamLength <= 49) ? 39 : 40;
  if (stream->transport == 1 && getDeviceType() == AUDIGRAPH_DEVICE) length = length / 2 + 15;
  const int32_t lengthMs = static_cast<int32_t>(std::clamp<long>(length, 0, INT32_MAX));
  if (callback != nullptr) notifyLater(callback, lengthMs, "Notifying perform complete", false);
  *_aidl_return = lengthMs;
  ALOGI("playLengthMs is %d", lengthMs);
  return ndk::ScopedAStatus::ok();
}

ndk::ScopedAStatus Vibrator::getSupportedEffects(std::vector<Effect>* _aidl_return) {
  std::lock_guard<std::recursive_mutex> guard(mLock);
  if (mTornDown) return gone();
  _aidl_return->clear();
  if (led.detected) return ndk::ScopedAStatus::ok();
  for (const auto& [id, stream] : mEffects) _aidl_return->push_back(static_cast<Effect>(id));
  return ndk::ScopedAStatus::ok();
}

ndk::ScopedAStatus Vibrator::setAmplitude(float amplitude) {
  std::lock_guard<std::recursive_mutex> guard(mLock);
  if (mTornDown) return gone();
  const VibratorServiceState& state = serviceState();
  if (state.mMotorNotSupport) {
    ALOGI("setAmplitude UNSUPPORTED because this device doesn't have motor.");
    return exception(EX_UNSUPPORTED_OPERATION);
  }
  if (led.detected) return exception(EX_UNSUPPORTED_OPERATION);
  ALOGI("Vibrator set amplitude: %f", amplitude);
  // Written so that NaN is refused too.
  if (!(amplitude > 0.0f && amplitude <= 1.0f)) return exception(EX_ILLEGAL_ARGUMENT);
  if (ff.externalControlEnabled) return exception(EX_UNSUPPORTED_OPERATION);
  if (state.usage == kUsageRingtone && state.mSupportAIHaptic) {
    if (state.he2Property == kHe2NotSupport && state.updateMode == 1) {
      amplitude = 1.0f;
    } else if (state.he2Property == kHe2Thrumwave) {
      return ndk::ScopedAStatus::ok();
    }
  }
  if (ff.setAmplitude(static_cast<uint8_t>(amplitude * 255)) != 0) return exception(EX_SERVICE_SPECIFIC);
  return ndk::ScopedAStatus::ok();
}

ndk::ScopedAStatus Vibrator::setExternalControl(bool enabled) {
  std::lock_guard<std::recursive_mutex> guard(mLock);
  if (mTornDown) return gone();
  if (led.detected) return exception(EX_UNSUPPORTED_OPERATION);
  ALOGI("Vibrator set external control: %d", enabled);
  if (!ff.supportsExternalControl) return exception(EX_UNSUPPORTED_OPERATION);
  ff.externalControlEnabled = enabled;
  return ndk::ScopedAStatus::ok();
}

ndk::ScopedAStatus Vibrator::unsupported() { return exception(EX_UNSUPPORTED_OPERATION); }

ndk::ScopedAStatus Vibrator::getCompositionDelayMax(int32_t*) { return unsupported(); }
ndk::ScopedAStatus Vibrator::getCompositionSizeMax(int32_t*) { return unsupported(); }
ndk::ScopedAStatus Vibrator::getSupportedPrimitives(std::vector<CompositePrimitive>*) { return unsupported(); }
ndk::ScopedAStatus Vibrator::getPrimitiveDuration(CompositePrimitive, int32_t*) { return unsupported(); }
ndk::ScopedAStatus Vibrator::compose(const std::vector<CompositeEffect>&,
                                     const std::shared_ptr<IVibratorCallback>&) {
  return unsupported();
}
ndk::ScopedAStatus Vibrator::getSupportedAlwaysOnEffects(std::vector<Effect>*) { return unsupported(); }
ndk::ScopedAStatus Vibrator::alwaysOnEnable(int32_t, Effect, EffectStrength) { return unsupported(); }
ndk::ScopedAStatus Vibrator::alwaysOnDisable(int32_t) { return unsupported(); }
ndk::ScopedAStatus Vibrator::getResonantFrequency(float*) { return unsupported(); }
ndk::ScopedAStatus Vibrator::getQFactor(float*) { return unsupported(); }
ndk::ScopedAStatus Vibrator::getFrequencyResolution(float*) { return unsupported(); }
ndk::ScopedAStatus Vibrator::getFrequencyMinimum(float*) { return unsupported(); }
ndk::ScopedAStatus Vibrator::getBandwidthAmplitudeMap(std::vector<float>*) { return unsupported(); }
ndk::ScopedAStatus Vibrator::getPwlePrimitiveDurationMax(int32_t*) { return unsupported(); }
ndk::ScopedAStatus Vibrator::getPwleCompositionSizeMax(int32_t*) { return unsupported(); }
ndk::ScopedAStatus Vibrator::getSupportedBraking(std::vector<Braking>*) { return unsupported(); }
ndk::ScopedAStatus Vibrator::composePwle(const std::vector<PrimitivePwle>&,
                                         const std::shared_ptr<IVibratorCallback>&) {
  return unsupported();
}

void Vibrator::updateMode(int mode) {
  ALOGI("Vibrator updateMode = %d", mode);
  if (static_cast<unsigned>(mode) > 1) ALOGE("invalid value for sensorVal = %d", mode);
  serviceState().updateMode = mode;
}

bool Vibrator::configStrength(int32_t id, float strength) {
  std::lock_guard<std::recursive_mutex> guard(mLock);
  if (mTornDown) return false;
  auto it = mEffects.find(static_cast<uint32_t>(id));
  if (it == mEffects.end() || it->second == nullptr) return false;
  it->second->strength = strength;
  return true;
}

void Vibrator::quickOff() {
  std::lock_guard<std::recursive_mutex> guard(mLock);
  if (mTornDown) return;
  mThread->haltOutput(true);
  if (ff.fd < 0) return;
  ff_effect effect{};
  effect.type = FF_DAMPER;
  effect.id = -1;
  if (plat_ioctl(ff.fd, EVIOCSFF, &effect) < 0) {
    ALOGE("hboost quick off ioctl EVIOCSFF failed");
    return;
  }
  if (plat_ioctl(ff.fd, EVIOCRMFF, static_cast<long>(effect.id)) < 0) {
    ALOGE("hboost quick off ioctl EVIOCRMFF failed");
    return;
  }
  ALOGE("hboost quick off ok");
}

// ---- HE lists ------------------------------------------------------------------------

std::vector<int32_t> Vibrator::transfromEffectHe_2_0(int32_t durationMs) {
  he::OnEffectLevels levels;
  if (serviceState().updateMode == 0) {
    levels = {property_get_int32("vendor.aihaptic.interaction.transient_intensity", 100),
              property_get_int32("vendor.aihaptic.interaction.transient_sharpness", 20),
              property_get_int32("vendor.aihaptic.interaction.continuous_intensity", 100),
              property_get_int32("vendor.aihaptic.interaction.continuous_sharpness", 20)};
  } else {
    levels = {property_get_int32("vendor.aihaptic.warn.transient_intensity", 100),
              property_get_int32("vendor.aihaptic.warn.transient_sharpness", 50),
              property_get_int32("vendor.aihaptic.warn.continuous_intensity", 100),
              property_get_int32("vendor.aihaptic.warn.continuous_sharpness", 50)};
  }
  return he::buildOnEffect(durationMs, levels);
}

bool Vibrator::thrumwaveInit() {
  if (mThrumwave.initialised) return true;
  if (serviceState().he2Property != kHe2Thrumwave) return false;
  const std::string path = plat_path(kThrumwaveLibraryPath);
  void* handle = path.empty() ? nullptr : dlopen(path.c_str(), RTLD_NOW);
  if (handle == nullptr) {
    ALOGE("brax thrumwave get hapticHandle fail.");
    return false;
  }
  ThrumwaveLibrary lib;
  lib.init = reinterpret_cast<decltype(lib.init)>(dlsym(handle, kBraxVibraInitSymbol));
  if (lib.init == nullptr) ALOGE("brax_vibra_init init fail.");
  lib.looperStart = reinterpret_cast<decltype(lib.looperStart)>(dlsym(handle, kBraxVibraLooperStartSymbol));
  if (lib.looperStart == nullptr) ALOGE("brax_vibra_looper_start init fail.");
  lib.looperStopPerformHe =
      reinterpret_cast<decltype(lib.looperStopPerformHe)>(dlsym(handle, kBraxVibraLooperStopPerformHeSymbol));
  if (lib.looperStopPerformHe == nullptr) ALOGE("brax_vibra_looper_stopPerformHe init fail.");
  lib.looperPost = reinterpret_cast<decltype(lib.looperPost)>(dlsym(handle, kBraxVibraLooperPostSymbol));
  if (lib.looperPost == nullptr) ALOGE("brax_vibra_looper_post init fail.");
  if (lib.init == nullptr || lib.looperStart == nullptr || lib.looperStopPerformHe == nullptr ||
      lib.looperPost == nullptr) {
    return false;
  }
  int32_t handleWord = 0;
  int rc = lib.init(&handleWord);
  ALOGI("brax thrumwave vibrator service init!");
  if (rc != 0) {
    ALOGE("brax thrumwave init command failed : %s", strerror(-rc));
    return false;
  }
  lib.looperStart();
  lib.initialised = true;
  mThrumwave = lib;
  return true;
}

int Vibrator::thrumwavePost(const std::vector<int32_t>& list, int32_t loop, int64_t interval,
                            int32_t amplitude) {
  std::vector<std::vector<int32_t>> packets;
  if (!he::repackThrumwave(list, &packets)) return kExtPlayFailed;
  // Every packet is checked before the first is posted: a list refused half-way would
  // already be playing its beginning.
  for (const std::vector<int32_t>& packet : packets) {
    if (packet.size() > static_cast<size_t>(kBraxVibraMaxPost)) {
      ALOGE("thrumwave packet of %zu integers refused (limit %d)", packet.size(), kBraxVibraMaxPost);
      return kExtPlayFailed;
    }
  }
  int rc = 0;
  for (const std::vector<int32_t>& packet : packets) {
    for (size_t i = 0; i < packet.size(); ++i) ALOGD("hedBuf :%zu , effect: %d", i, packet[i]);
    rc = mThrumwave.looperPost(packet.data(), static_cast<int>(packet.size()),
                               static_cast<int>(interval), loop, amplitude, 0);
  }
  ALOGI("thrumwave2.0 vibrate start, with timeout_ms %d", rc);
  return kExtPlayOk;
}

int Vibrator::generatorPlay(const std::vector<int32_t>& list, int32_t loop, int64_t interval) {
  he::GeneratorList parsed;
  const he::ParseResult result = he::parseGeneratorList(list, &parsed);
  if (result == he::ParseResult::kMalformed) return kExtPlayFailed;
  // A list that will not be played is judged so before any of it is queued: its global
  // values and curves would otherwise steer the next list.
  if (result == he::ParseResult::kTooManyEvents) {
    ALOGW("The num of he event: %d, is limited to %d", parsed.eventCount, he::kMaxHe2Events);
    return kExtPlayRefused;
  }
  if (parsed.version != he::kVersionHe2 && parsed.version != he::kVersionHe1) {
    ALOGE("he list refused: unknown version %d", parsed.version);
    return kExtPlayRefused;
  }

  // An HE 2.0 list is turned into its track form before anything of it is scheduled, so
  // that a list the track cannot describe is refused without leaving its curves behind.
  std::vector<int32_t> buffer;
  if (parsed.version == he::kVersionHe2) {
    if (serviceState().he1Property == kHe1Quonhaptic) {
      std::vector<int32_t> numericalPara;
      if (!he::buildTwoArray(parsed.events, &buffer, &numericalPara)) return kExtPlayFailed;
      ALOGD("typeCtrlPara size: %zu", buffer.size());
      for (size_t i = 0; i < buffer.size(); ++i) ALOGD("typeCtrlPara %zu %d", i, buffer[i]);
      ALOGD("numericalPara size: %zu", numericalPara.size());
      for (size_t i = 0; i < numericalPara.size(); ++i) ALOGD("numericalPara %zu %d", i, numericalPara[i]);
      buffer.insert(buffer.end(), numericalPara.begin(), numericalPara.end());
    } else {
      if (!he::buildHedRecords(parsed.events, &buffer)) return kExtPlayFailed;
      ALOGD("HedBuffer size: %zu", buffer.size());
      for (size_t i = 0; i < buffer.size(); ++i) ALOGD("HedBuffer %zu %d", i, buffer[i]);
    }
  }

  const double intensity = parsed.intensity / 100.0;
  const double sharpness = parsed.sharpness / 100.0;
  mGenerator->setGlobalParameters(intensity, sharpness);
  ALOGI("set Global intensity %f, sharpness %f", intensity, sharpness);
  for (const he::Curve& curve : parsed.parameterCurves) {
    auto data = std::make_unique<ParameterData>();
    data->start = static_cast<float>(curve.timeMs / 1000.0);
    for (const he::Point& p : curve.points) data->points.emplace_back(p.x / 100.0, p.y / 100.0);
    data->type = curve.type;
    sendCommand(*mGenerator, kScheduleCurve, std::move(data));
  }

  if (parsed.version == he::kVersionHe2) {
    auto data = std::make_unique<CreateTrackData>();
    data->repeat = loop;
    data->events = std::move(buffer);
    data->amplitude = parsed.intensity;
    data->interval = static_cast<int32_t>(std::clamp<int64_t>(interval, INT32_MIN, INT32_MAX));
    data->eventCount = static_cast<uint8_t>(parsed.eventCount);
    data->sharpness = static_cast<uint8_t>(parsed.sharpness);
    sendCommand(*mGenerator, kCreateTrack, std::move(data));
  } else {
    for (const he::Event& e : parsed.events) {
      std::unique_ptr<TrackInterface> track;
      if (e.kind == 1) {
        auto sine = std::make_unique<SineTrack>(e.intensity / 100.0, e.frequency / 100.0, e.durationMs / 1000.0);
        for (const he::Curve& c : e.curves) {
          CurvePoints points;
          for (const he::Point& p : c.points) points.emplace_back(p.x / 1000.0, p.y / 100.0);
          sine->addParameter(static_cast<float>(c.timeMs / 1000.0), points, c.type);
        }
        sine->setDecay(true);
        track = std::move(sine);
      } else if (e.kind == 0) {
        track = std::make_unique<prebaked_Track>(e.intensity / 100.0, e.frequency / 100.0);
      } else {
        ALOGE("unknow effect type : %d", e.kind);
        continue;
      }
      auto data = std::make_unique<TrackData>();
      data->track = std::move(track);
      data->start = static_cast<float>(e.relativeTimeMs / 1000.0);
      sendCommand(*mGenerator, kScheduleTrack, std::move(data));
    }
  }
  mThread->wake();
  return kExtPlayOk;
}

int Vibrator::ExtPlay(const std::vector<int32_t>& list, int32_t loop, int64_t interval, int32_t amplitude) {
  std::lock_guard<std::recursive_mutex> guard(mLock);
  if (mTornDown) return kExtPlayFailed;
  ALOGI("play effect : %p loop: %d interval: %d amplitude %d", static_cast<const void*>(list.data()), loop,
        static_cast<int>(interval), amplitude);
  for (size_t i = 0; i < list.size(); ++i) ALOGD("idx :%zu , effect: %d", i, list[i]);
  if (list.size() < he::kHeaderWords) {
    ALOGE("he list refused: %zu words, header needs %zu", list.size(), he::kHeaderWords);
    return kExtPlayFailed;
  }
  if (static_cast<size_t>(list[0]) != list.size() || list[0] < 0)
    ALOGW("effect size: %zu, should be %d", list.size(), list[0]);

  const VibratorServiceState& state = serviceState();
  if (state.he2Property != kHe2NotSupport && list[1] == he::kVersionHe2) {
    if (!thrumwaveInit()) {
      ALOGE("heVersion2SupportInit failed!");
      return kExtPlayFailed;
    }
    if (loop == 0) loop = 1;
    return thrumwavePost(list, loop, interval, amplitude);
  }
  return generatorPlay(list, loop, interval);
}

}  // namespace aidl::android::hardware::vibrator
