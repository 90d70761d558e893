#define LOG_TAG "vendor.hardware.vibratorfeature"

#include <log/log.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "Schedule.h"
#include "TrackInterface.h"
#include "TrackTuning.h"

namespace {

// Caller values that the tables cannot index are brought back to their range.
double clampUnit(double v) {
  if (!(v >= 0.0)) return 0.0;  // NaN too
  return v > 1.0 ? 1.0 : v;
}

}  // namespace

void TrackInterface::addParameter(float, const CurvePoints&, int) {}

// ---------------------------------------------------------------- SineTrack

SineTrack::SineTrack(double amplitude, double frequency, double duration)
    : mAmplitude(amplitude),
      mFrequency(frequency),
      mInitAmplitude(amplitude),
      mInitFrequency(frequency),
      mInitDuration(duration),
      mBaseAmplitude(amplitude),
      mBaseFrequency(frequency),
      mTuning(trackTuning()) {
  mRemain = saturatingSamples(kGeneratorSampleRate * duration);
  mCursor = mCurves.end();
}

SineTrack::~SineTrack() = default;

void SineTrack::addParameter(float start, const CurvePoints& points, int type) {
  auto curve = makeCurve("SineTrack", type, &mBaseAmplitude, &mBaseFrequency, points);
  if (!curve) return;
  mCurves.emplace(startSample(start), std::move(curve));
  mCursor = mCurves.begin();
  // Room for every curve at once, so that activating them while playing never allocates.
  mActiveCurves.reserve(mCurves.size());
}

void SineTrack::reset() {
  mSampleCount = 0;
  mPhase = 0;
  mActiveCurves.clear();
  mCursor = mCurves.begin();
  mRemain = saturatingSamples(kGeneratorSampleRate * mInitDuration);
  mBaseAmplitude = mInitAmplitude;
  mBaseFrequency = mInitFrequency;
  for (auto& [start, curve] : mCurves) curve->restart();
}

void SineTrack::setGlobalParameter(double intensity, double sharpness) {
  mAmplitude = mBaseAmplitude * intensity;
  mFrequency = std::min(mBaseFrequency + sharpness, 1.0);
}

int SineTrack::getByte() {
  activateDue(mCurves, mCursor, mSampleCount, [this](Curve* c) { mActiveCurves.push_back(c); });
  for (size_t i = 0; i < mActiveCurves.size();) {
    if (mActiveCurves[i]->advance()) {
      ++i;
    } else {
      mActiveCurves.erase(mActiveCurves.begin() + static_cast<std::ptrdiff_t>(i));
    }
  }
  // A frequency parameter outside 0..1 would index past the gain table.
  const int32_t f = static_cast<int32_t>(100.0 * clampUnit(mFrequency) + 100.0);
  mLastFrequency = f;
  double g = mTuning->sineGain[static_cast<size_t>(f)];
  if (mDecay) g *= kSineDecayFactor;
  int32_t step = f * kPhaseTableSize / kGeneratorSampleRate;
  if (step == 0) step = 1;
  mPhase = (mPhase + step) % kPhaseTableSize;  // kept in the table: no overflow on long tones
  mSampleCount = addSamples(mSampleCount, 1);
  --mRemain;
  return static_cast<int>(128.0 * mAmplitude * std::min(g, 1.0) * std::sin(phaseTable(mPhase)));
}

// ---------------------------------------------------------------- prebaked_Track

prebaked_Track::prebaked_Track(double amplitude, double effect) : mAmplitude(amplitude) {
  // An effect parameter above 1 (or below 0) would select a waveform past the table.
  mIndex = static_cast<int32_t>(9.0 * clampUnit(effect));
  mWave = trackTuning()->prebaked[static_cast<size_t>(mIndex)];
  mRemain = static_cast<int32_t>(mWave->size());
  ALOGE("mBytesRemain %d", mRemain);
}

int prebaked_Track::getByte() {
  if (mRemain <= 0) return 0;
  --mRemain;
  return static_cast<int>(mAmplitude * (*mWave)[static_cast<size_t>(mPosition++)]);
}

void prebaked_Track::reset() {
  ALOGD("static Track reset");
  mPosition = 0;
  mRemain = static_cast<int32_t>(mWave->size());
}

void prebaked_Track::setGlobalParameter(double intensity, double sharpness) {
  mAmplitude *= intensity;
  mFrequencyOffset += std::min(sharpness, 1.0);
}

// ---------------------------------------------------------------- static_Track

static_Track::static_Track(EffectBuffer samples, int32_t bytes, double amplitude)
    : mSamples(std::move(samples)), mAmplitude(amplitude) {
  // Without samples there is nothing to play: the track is empty at once rather than
  // producing silence for ever.
  mTotal = (mSamples && bytes > 0) ? bytes : 0;
  mRemain = mTotal;
  ALOGD("static_track created with bytes: %d", mTotal);
}

int static_Track::getByte() {
  if (mRemain > 0 && mSamples) {
    --mRemain;
    return static_cast<int>(mAmplitude * mSamples[static_cast<size_t>(mPosition++)]);
  }
  ALOGV("static_track finished");
  return 0;
}

void static_Track::reset() {
  ALOGD("static_Track reset");
  mRemain = mTotal;
  mPosition = 0;
}

void static_Track::flush() {
  ALOGD("static_Track flush");
  mRemain = 0;
}

// ---------------------------------------------------------------- HE tracks

HeTrack::HeTrack(const WaveLibrary& lib, HeTrackParams params)
    : mLib(lib),
      mId(params.id),
      mRepeat(params.repeat),
      mEvents(std::move(params.events)),
      mAmplitude(params.amplitude),
      mInterval(params.interval),
      mEventCount(params.eventCount) {}

int HeTrack::getByte() {
  if (mFrameBytes <= 0) {
    ALOGV("%s", noBytesLog());
    return 0;
  }
  if (mIntervalSamples >= 1) {
    ALOGV("%s", intervalLog());
    --mIntervalSamples;
    return 0;
  }
  const signed char v = mBuffer[static_cast<size_t>(mPosition++)];
  --mFrameBytes;
  if (mFrameBytes == 0 && !nextFrame()) endOfEffect();
  return static_cast<int>(mAmplitude / 100.0 * v);
}

void HeTrack::endOfEffect() {
  if (mRepeat < 1) {
    ALOGD("Hed no data left id: %d", mId);
    finish();
    return;
  }
  --mRepeat;
  ALOGD("mIntervalBytes %d", mIntervalSamples);
  // interval ms of silence at 24 samples per ms.
  mIntervalSamples = mInterval > 0 ? saturatingSamples(mInterval / 1000.0 * kGeneratorSampleRate) : 0;
  reset();
}

namespace {

// The HE records the haptics core takes: at most 16, all present in the words given.
bool heRecordsFit(const std::vector<int32_t>& words, uint8_t count) {
  return count <= BRAX_HE_MAX_EVENTS &&
         words.size() >= static_cast<size_t>(count) * (sizeof(brax_haptic_event) / sizeof(int32_t));
}

}  // namespace

BraxTrack::BraxTrack(const WaveLibrary& lib, HeTrackParams params) : HeTrack(lib, std::move(params)) {
  mBuffer.assign(kFrameBufferBytes, 0);
}

BraxTrack::~BraxTrack() { flush(); }

uint32_t BraxTrack::getFrame() {
  if (mLib.braxGetFrame == nullptr) return 0;
  uint32_t len = 0;
  if (mLib.braxGetFrame(mBuffer.data(), &len) != 0) return 0;
  if (len > kFrameBufferBytes) {
    ALOGE("BraxTrack id %d: frame of %u samples exceeds the %zu-byte buffer, effect ended", mId, len,
          kFrameBufferBytes);
    return 0;
  }
  return len;
}

void BraxTrack::reset() {
  mFrameBytes = 0;
  mPosition = 0;
  if (mLib.braxProcess == nullptr) {
    ALOGD("Hed process fail : %d", mId);
    finish();
    return;
  }
  if (!heRecordsFit(mEvents, mEventCount)) {
    ALOGE("BraxTrack id %d: %u events do not fit %zu words", mId, mEventCount, mEvents.size());
    ALOGD("Hed process fail : %d", mId);
    finish();
    return;
  }
  // The records are the words as they stand (17 int32 each): handed over in place, since
  // this runs on the playback thread, which must not allocate.
  static_assert(sizeof(brax_haptic_event) == 17 * sizeof(int32_t) && alignof(brax_haptic_event) == alignof(int32_t));
  const auto* events = reinterpret_cast<const brax_haptic_event*>(mEvents.data());
  const int32_t rc = mLib.braxProcess(events, static_cast<uint32_t>(mEventCount * sizeof(brax_haptic_event)));
  if (rc != 0) {
    ALOGD("Hed process fail : %d", mId);
    finish();
    return;  // no effect installed: nothing to fetch
  }
  ALOGD("Hed process Ok, id : %d", mId);
  mInstalled = true;
  const uint32_t len = getFrame();
  if (len != 0) {
    ALOGD("Hed first frame %u", len);
    mFrameBytes = static_cast<int32_t>(len);
  } else {
    ALOGD("Hed first frame get fail");
    finish();
    mFrameBytes = 0;
  }
}

bool BraxTrack::nextFrame() {
  ALOGV("Hed get next frame, id %d", mId);
  const uint32_t len = getFrame();
  if (len == 0) return false;
  ALOGV("get frame %u, id %d", len, mId);
  mFrameBytes = static_cast<int32_t>(len);
  mPosition = 0;
  return true;
}

void BraxTrack::flush() {
  // The effect is abandoned where it stands: the core leaves it when the next effect is
  // installed. Fetching its remaining frames would render an effect nobody hears, for as
  // long as its event times claim (minutes, or days), on the playback thread.
  if (!mFinished && mInstalled) ALOGD("flush BraxTrack id %d: effect abandoned", mId);
  mFrameBytes = 0;
  finish();
}

// A whole rendering is at most kMaxRenderedSamples: its room is taken when the track is
// made, so that rendering (again, for each repetition) on the playback thread never allocates.
AWATrack::AWATrack(const WaveLibrary& lib, HeTrackParams params) : HeTrack(lib, std::move(params)) {
  mBuffer.reserve(kMaxRenderedSamples);
}

QuonV1Track::QuonV1Track(const WaveLibrary& lib, HeTrackParams params) : HeTrack(lib, std::move(params)) {
  mBuffer.reserve(kMaxRenderedSamples);
}

void AWATrack::reset() {
  mPosition = 0;
  mFrameBytes = 0;
  int32_t n = 0;
  if (mLib.awaGetWavesLength != nullptr) {
    n = heRecordsFit(mEvents, mEventCount) ? mLib.awaGetWavesLength(mEvents.data(), mEventCount) : -1;
    if (n > kMaxRenderedSamples) {
      ALOGE("AWATrack id %d: rendering of %d samples refused", mId, n);
      n = -1;
    }
  }
  if (n < 0) {
    ALOGD("Hed process fail : %d", mId);
    finish();
    return;
  }
  ALOGD("Hed process Ok, id : %d", mId);
  mBuffer.assign(static_cast<size_t>(n), 0);
  if (mLib.awaGetWavesData != nullptr) {
    if (mLib.awaGetWavesData(mEvents.data(), mEventCount, reinterpret_cast<int8_t*>(mBuffer.data())) != 0) {
      ALOGD("Hed first frame get fail");
      finish();
      mFrameBytes = 0;
    } else {
      ALOGD("Hed first frame %u", 0u);
      mFrameBytes = n;
    }
  }
  // Nothing rendered: the effect is over (it would otherwise play silence for ever).
  if (mFrameBytes <= 0) finish();
}

void AWATrack::flush() {
  mFrameBytes = 0;
  finish();
}

namespace {

// Words of the two-array form: one type word per event, then per event 3 numbers for a
// transient (type 1) or 16 for a continuous one (type 0). -1 for an unknown type.
int64_t quonWordsNeeded(const std::vector<int32_t>& words, uint8_t count) {
  if (words.size() < count) return -1;
  int64_t need = count;
  for (uint8_t i = 0; i < count; ++i) {
    if (words[i] == 1) {
      need += 3;
    } else if (words[i] == 0) {
      need += 16;
    } else {
      return -1;
    }
  }
  return need;
}

}  // namespace

void QuonV1Track::reset() {
  mFrameBytes = 0;
  mPosition = 0;
  int32_t count = mEventCount;
  int32_t length = 0;
  const int64_t need = quonWordsNeeded(mEvents, mEventCount);
  const bool fits = need >= 0 && static_cast<size_t>(need) <= mEvents.size();
  if (!fits) ALOGE("QuonV1Track id %d: %u events do not fit %zu words", mId, mEventCount, mEvents.size());
  if (fits && mLib.quonLenAlgorithm != nullptr) {
    mLib.quonLenAlgorithm(mEvents.data(), &count, mEvents.data() + mEventCount, &length);
    ALOGE("QuonV1Track created quon_haptics_len_algorithm %d", length);
  }
  if (length > 0 && length <= kMaxRenderedSamples) {
    mBuffer.assign(static_cast<size_t>(length), 0);
    if (mLib.quonGenAlgorithm != nullptr) {
      ALOGE("QuonV1Track quon_haptics_gen_algorithm enter");
      count = mEventCount;
      mLib.quonGenAlgorithm(mEvents.data(), &count, mEvents.data() + mEventCount,
                            reinterpret_cast<int8_t*>(mBuffer.data()), &length);
      ALOGE("QuonV1Track quon_haptics_gen_algorithm quit %d", length);
      // The library may render less than it announced, never more than the buffer.
      mFrameBytes = std::clamp<int32_t>(length, 0, static_cast<int32_t>(mBuffer.size()));
    }
  } else {
    ALOGE("QuonV1Track created failed");
  }
  if (mFrameBytes <= 0) finish();
}

void QuonV1Track::flush() {
  mFrameBytes = 0;
  finish();
}
