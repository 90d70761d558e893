#define LOG_TAG "vendor.hardware.vibratorfeature"

#include "WaveformGenerator.h"

#include <dlfcn.h>
#include <log/log.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>
#include <cstring>

#include "Schedule.h"
#include "TrackTuning.h"
#include "VibratorDevices.h"
#include "platform/paths.h"
#include "platform/properties.h"

namespace {

constexpr double kPrebakedWeight = 0.6;
constexpr double kSineWeight = 0.4;

// Ids of the HE tracks, process-wide.
std::atomic<int32_t> gNextTrackId{0};

template <typename Fn>
void bind(void* handle, const char* name, Fn* out) {
  *out = reinterpret_cast<Fn>(dlsym(handle, name));
}

// f0 in Hz from the driver's file of tenths of a hertz; 0 when unreadable.
int32_t readF0(const std::string& path) {
  FILE* f = plat_fopen(path.c_str(), "r");
  if (f == nullptr) {
    ALOGE("Failed to open %s", path.c_str());
    return 0;
  }
  char line[256] = {};
  const bool got = fgets(line, sizeof line, f) != nullptr;
  fclose(f);
  if (!got) return 0;
  long tenths = strtol(line, nullptr, 10);
  tenths = std::clamp<long>(tenths, INT_MIN, INT_MAX);
  const int32_t f0 = static_cast<int32_t>(tenths / 10);
  ALOGD("get ffactor: %d", f0);
  return f0;
}

}  // namespace

int8_t saturate8(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 127.0) return 127;
  if (value <= -128.0) return -128;
  return static_cast<int8_t>(value);  // truncates toward zero
}

WaveLibrary loadWaveLibrary(int32_t f0) {
  WaveLibrary lib;
  void* handle = nullptr;
  for (int32_t i = 0; i < 3 && handle == nullptr; ++i) {
    const std::string host = plat_path(kWaveLibraryPaths[i]);
    handle = host.empty() ? nullptr : dlopen(host.c_str(), RTLD_NOW);
    ALOGD("try to load lib %s", kWaveLibraryPaths[i]);
    if (handle != nullptr) {
      ALOGI("success to load lib : %s", kWaveLibraryPaths[i]);
      lib.kind = i;
      lib.path = kWaveLibraryPaths[i];
    }
  }
  switch (lib.kind) {
    case kWaveLibBrax: {
      bind(handle, "brax_haptics_init", &lib.braxInit);
      bind(handle, "brax_haptics_process", &lib.braxProcess);
      bind(handle, "brax_haptics_get_frame", &lib.braxGetFrame);
      if (lib.braxInit != nullptr) {
        const brax_haptics_config config = {512, kGeneratorSampleRate, 1, f0};
        lib.braxInit(&config);
      }
      break;
    }
    case kWaveLibAwa:
      bind(handle, "awa_haptics_init", &lib.awaInit);
      bind(handle, "awa_haptics_get_waves_length", &lib.awaGetWavesLength);
      bind(handle, "awa_haptics_get_waves_data", &lib.awaGetWavesData);
      if (lib.awaInit != nullptr) lib.awaInit(f0);
      break;
    case kWaveLibQuon:
      bind(handle, "quon_haptics_init", &lib.quonInit);
      bind(handle, "quon_haptics_len_algorithm", &lib.quonLenAlgorithm);
      bind(handle, "quon_haptics_gen_algorithm", &lib.quonGenAlgorithm);
      if (lib.quonInit != nullptr) lib.quonInit(f0);
      break;
    default:
      break;
  }
  return lib;
}

WaveformGenerator::WaveformGenerator() {
  mTrackCursor = mTracks.end();
  mCurveCursor = mCurves.end();
  mActiveTracks.reserve(kActiveRoom);
  mActiveCurves.reserve(kActiveRoom);

  // The haptic driver directory (with the secondary path on the models that use it);
  // the f0 file is looked up under the primary path as configured.
  char primary[PROP_VALUE_MAX] = {};
  property_get("ro.odm.mm.vibrator.sys_path", primary, "");
  char sysPath[aidl::android::hardware::vibrator::kSysPathMax] = {};
  aidl::android::hardware::vibrator::load_sys_path(sysPath, sizeof sysPath);

  char deviceType[PROP_VALUE_MAX] = {};
  property_get("ro.odm.mm.vibrator.device_type", deviceType, "");
  const char* f0Name = strcmp(deviceType, "audigraph") == 0 ? "lra_frequency_hz" : "f0_value";
  const std::string f0Path = std::string(primary) + "/" + f0Name;
  mF0 = readF0(f0Path);

  char resonant[PROP_VALUE_MAX] = {};
  property_get("ro.odm.mm.vibrator.resonant_frequency", resonant, "170");
  const int32_t r = static_cast<int32_t>(std::clamp<long>(strtol(resonant, nullptr, 10), -1000000, 1000000));
  if (mF0 > r + 10 || mF0 < r - 10) {
    ALOGE("get default ffactor: %d", r);
    mF0 = r;
  }

  loadTrackTuning();
  mLib = loadWaveLibrary(mF0);
  ALOGD("WaveformGenerator sampleRate: %d", kGeneratorSampleRate);
}

WaveformGenerator::~WaveformGenerator() = default;

void WaveformGenerator::sendCommand(std::unique_ptr<GeneratorCommand> command) {
  if (!command) return;
  prepareCommand(*command);
  std::lock_guard<std::mutex> lock(mCommandLock);
  mCommands.push_back(std::move(command));
}

void WaveformGenerator::prepareCommand(GeneratorCommand& command) {
  GeneratorCommandData* data = command.data.get();
  switch (command.type) {
    case kCreateTrack: {
      auto* d = dynamic_cast<CreateTrackData*>(data);
      if (d == nullptr || mLib.kind == kWaveLibNone) break;  // reported when handled
      HeTrackParams params;
      params.id = gNextTrackId.fetch_add(1);
      params.repeat = static_cast<int8_t>(d->repeat & 0xff);
      params.events = std::move(d->events);
      // A percentage: values outside 0..100 would wrap into a negative gain.
      params.amplitude = static_cast<int8_t>(std::clamp<int32_t>(d->amplitude, 0, 100));
      params.interval = d->interval;
      params.eventCount = d->eventCount;
      std::unique_ptr<TrackInterface> track;
      switch (mLib.kind) {
        case kWaveLibBrax:
          track = std::make_unique<BraxTrack>(mLib, std::move(params));
          break;
        case kWaveLibAwa:
          track = std::make_unique<AWATrack>(mLib, std::move(params));
          break;
        default:
          track = std::make_unique<QuonV1Track>(mLib, std::move(params));
          break;
      }
      command.track = makeScheduleNode(std::move(track));
      break;
    }
    case kScheduleTrack:
      if (auto* d = dynamic_cast<TrackData*>(data); d != nullptr && d->track)
        command.track = makeScheduleNode(std::move(d->track));
      break;
    case kScheduleCurve:
      if (auto* d = dynamic_cast<ParameterData*>(data)) {
        auto curve = makeCurve("WaveformGenerator", d->type, &mGlobalIntensity, &mGlobalSharpness, d->points);
        if (curve) command.curve = makeScheduleNode(std::move(curve));
      }
      break;
    default:
      break;
  }
}

void WaveformGenerator::setGlobalParameters(double intensity, double sharpness) {
  auto data = std::make_unique<GlobalParameterData>();
  data->intensity = intensity;
  data->sharpness = sharpness;
  auto command = std::make_unique<GeneratorCommand>();
  command->data = std::move(data);
  command->type = kSetGlobals;
  sendCommand(std::move(command));
}

void WaveformGenerator::reaimTrackCursor() {
  auto it = mTracks.lower_bound(mCurrentSample);
  if (it == mTracks.end()) return;
  mTrackCursor = it;
  ALOGE("update to %d", it->first);
  ALOGD("it tracks updated");
}

void WaveformGenerator::reaimCurveCursor() {
  auto it = mCurves.lower_bound(mCurrentSample);
  if (it == mCurves.end()) return;
  mCurveCursor = it;
  ALOGD("update to %d", it->first);
}

void WaveformGenerator::activate(TrackInterface* track) {
  const std::string name = track->getName();
  ActiveTrack a{track, MixKind::kReplace, nullptr};
  if (name == "prebaked_Track") {
    a.kind = MixKind::kPrebaked;
  } else if (name == "SineTrack") {
    a.kind = MixKind::kSine;
    a.steered = dynamic_cast<Track*>(track);
  }
  mActiveTracks.push_back(a);
}

void WaveformGenerator::flushActiveTracks() {
  for (const ActiveTrack& a : mActiveTracks) {
    a.track->flush();
    ALOGD("active track flushed");
  }
}

void WaveformGenerator::createHeTrack(GeneratorCommand& command, bool* heTrackCreated) {
  if (*heTrackCreated) {
    ALOGD("only process one Track each period size, skip create");
    return;  // the track goes with the command, never started
  }
  flushActiveTracks();
  if (command.track.empty()) {
    ALOGE("no wave library: HE track dropped");
    return;
  }
  auto* track = static_cast<HeTrack*>(command.track.mapped().get());
  track->reset();
  ALOGD("%s created with id %d", track->getName().c_str(), track->id());
  ALOGD("insert track at %d", mCurrentSample);
  command.track.key() = mCurrentSample;
  mTracks.insert(std::move(command.track));
  reaimTrackCursor();
  mActiveTracks.clear();
  *heTrackCreated = true;
}

void WaveformGenerator::scheduleTrack(GeneratorCommand& command, float start) {
  if (command.track.empty()) return;
  if (start == 0.0f) flushActiveTracks();  // they leave the mix once they report empty
  command.track.key() = addSamples(mCurrentSample, startSample(start));
  mTracks.insert(std::move(command.track));
  reaimTrackCursor();
}

void WaveformGenerator::scheduleCurve(ScheduleNode<Curve> node, float start, bool fromCommand) {
  if (node.empty()) return;
  node.key() = startSample(start);
  mCurves.insert(std::move(node));
  if (fromCommand) {
    reaimCurveCursor();
  } else {
    mCurveCursor = mCurves.begin();
  }
}

void WaveformGenerator::handleCommand(GeneratorCommand& command, bool* heTrackCreated) {
  GeneratorCommandData* data = command.data.get();
  switch (command.type) {
    case kCreateTrack:
      if (dynamic_cast<CreateTrackData*>(data) != nullptr) createHeTrack(command, heTrackCreated);
      break;
    case kScheduleTrack:
      if (auto* d = dynamic_cast<TrackData*>(data)) scheduleTrack(command, d->start);
      break;
    case kScheduleCurve:
      if (auto* d = dynamic_cast<ParameterData*>(data)) scheduleCurve(std::move(command.curve), d->start, true);
      break;
    case kSetGlobals:
      if (auto* d = dynamic_cast<GlobalParameterData*>(data)) {
        mGlobalIntensity = d->intensity;
        mGlobalSharpness = d->sharpness;
      }
      break;
    default:
      break;
  }
}

void WaveformGenerator::addTrack(float start, std::unique_ptr<TrackInterface> track) {
  if (!track) return;
  mTracks.emplace(startSample(start), std::move(track));
  mTrackCursor = mTracks.begin();
}

void WaveformGenerator::addParameter(float start, const CurvePoints& points, int32_t type) {
  auto curve = makeCurve("WaveformGenerator", type, &mGlobalIntensity, &mGlobalSharpness, points);
  if (curve) scheduleCurve(makeScheduleNode(std::move(curve)), start, false);
}

void WaveformGenerator::reset() {
  mActiveCurves.clear();
  mActiveTracks.clear();
  mCurves.clear();
  mTracks.clear();  // an HE track abandons its effect in the core on its way out
  mTrackCursor = mTracks.end();
  mCurveCursor = mCurves.end();
  mCurrentSample = 0;
  mGlobalSharpness = 0.0;
  mGlobalIntensity = 1.0;
}

int WaveformGenerator::mixSample() {
  if (mActiveTracks.empty()) return 0;
  // An 8-bit accumulator that saturates: a wrap would turn a loud sum into its opposite.
  double acc = 0.0;
  int32_t prebaked = 0;
  int32_t sine = 0;
  for (size_t i = 0; i < mActiveTracks.size();) {
    const ActiveTrack& a = mActiveTracks[i];
    TrackInterface* t = a.track;
    if (a.kind == MixKind::kPrebaked) {
      const int v = t->getByte();
      ++prebaked;
      acc = saturate8(std::trunc(v * kPrebakedWeight + acc));
    } else if (a.kind == MixKind::kSine) {
      if (a.steered != nullptr) a.steered->setGlobalParameter(mGlobalIntensity, mGlobalSharpness);
      const int v = t->getByte();
      ++sine;
      acc = saturate8(std::trunc(v * kSineWeight + acc));
    } else {
      acc = saturate8(t->getByte());
    }
    if (t->empty()) {
      mActiveTracks.erase(mActiveTracks.begin() + static_cast<std::ptrdiff_t>(i));
    } else {
      ++i;
    }
  }
  if (prebaked + sine > 0) return saturate8(acc / (kPrebakedWeight * prebaked + kSineWeight * sine));
  return saturate8(acc);
}

int32_t WaveformGenerator::gen(signed char* buffer, int32_t n) {
  bool heTrackCreated = false;
  std::unique_lock<std::mutex> lock(mCommandLock);
  while (!mCommands.empty()) {
    std::unique_ptr<GeneratorCommand> command = std::move(mCommands.front());
    mCommands.pop_front();
    lock.unlock();
    handleCommand(*command, &heTrackCreated);
    command.reset();
    lock.lock();
  }
  lock.unlock();

  if (n < 1) return 0;
  for (int32_t i = 0; i < n; ++i) {
    activateDue(mTracks, mTrackCursor, mCurrentSample, [this](TrackInterface* t) { activate(t); });
    activateDue(mCurves, mCurveCursor, mCurrentSample, [this](Curve* c) { mActiveCurves.push_back(c); });
    for (size_t c = 0; c < mActiveCurves.size();) {
      if (mActiveCurves[c]->advance()) {
        ++c;
      } else {
        mActiveCurves.erase(mActiveCurves.begin() + static_cast<std::ptrdiff_t>(c));
      }
    }
    const bool playing = !mActiveTracks.empty();
    const int sample = mixSample();
    if (buffer != nullptr) buffer[i] = static_cast<signed char>(sample);
    mCurrentSample = addSamples(mCurrentSample, 1);
    skipPassed(mTracks, mTrackCursor, mCurrentSample);
    if (mTrackCursor == mTracks.end() && mActiveTracks.empty()) {
      ALOGD("no track has data left, len : %d", i);
      // A sample that a track played is part of the stream, even its last one.
      return playing ? i + 1 : i;
    }
  }
  return n;
}
