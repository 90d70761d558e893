#pragma once
// The sources of 8-bit samples that the waveform generator mixes: a synthesised sine with
// curves, the prebaked table waveforms, a caller's sample buffer, and the HE tracks that
// render an effect through a wave library. Tracks are used only by the thread that runs
// WaveformGenerator::gen.

#include <stdint.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Curve.h"
#include "Schedule.h"
#include "StreamEffect.h"
#include "TrackTuning.h"
#include "WaveLibrary.h"

class TrackInterface {
 public:
  virtual int getByte() = 0;
  virtual std::string getName() = 0;
  virtual void addParameter(float start, const CurvePoints& points, int type);
  virtual void reset() = 0;
  virtual bool empty() = 0;
  virtual void flush() {}
  virtual ~TrackInterface() = default;
};

// Tracks with a sample budget that the generator steers with its global parameters.
class Track : public TrackInterface {
 public:
  bool empty() override { return mRemain <= 0; }
  virtual void setGlobalParameter(double intensity, double sharpness) = 0;

 protected:
  int32_t mRemain = 0;
};

// A sine at 100..200 Hz (frequency parameter 0..1) whose amplitude and frequency follow
// curves.
class SineTrack : public Track {
 public:
  SineTrack(double amplitude, double frequency, double duration);
  ~SineTrack() override;

  int getByte() override;
  std::string getName() override { return "SineTrack"; }
  // type 0 drives the base amplitude, 1 the base frequency parameter; others are dropped.
  void addParameter(float start, const CurvePoints& points, int type) override;
  void reset() override;
  void setGlobalParameter(double intensity, double sharpness) override;
  void setDecay(bool decay) { mDecay = decay; }

  int32_t lastFrequency() const { return mLastFrequency; }

 private:
  double mAmplitude;
  double mFrequency;
  double mInitAmplitude;
  double mInitFrequency;
  double mInitDuration;
  double mBaseAmplitude;
  double mBaseFrequency;
  int32_t mSampleCount = 0;
  int32_t mPhase = 0;
  int32_t mLastFrequency = 0;
  bool mDecay = false;
  std::shared_ptr<const TrackTuning> mTuning;
  std::vector<Curve*> mActiveCurves;
  Schedule<Curve> mCurves;
  Schedule<Curve>::iterator mCursor;
};

// One of the ten prebaked table waveforms, chosen by the effect parameter 0..1.
class prebaked_Track : public Track {
 public:
  prebaked_Track(double amplitude, double effect);

  int getByte() override;
  std::string getName() override { return "prebaked_Track"; }
  void reset() override;
  void setGlobalParameter(double intensity, double sharpness) override;

  int32_t waveformIndex() const { return mIndex; }

 private:
  double mAmplitude;
  double mFrequencyOffset = -1.0;
  int32_t mIndex = 0;
  std::shared_ptr<const std::vector<int8_t>> mWave;
  int32_t mPosition = 0;
};

// A caller's samples (a prebaked effect file), played as they stand at an amplitude. The
// track shares the buffer, so the effect cache may evict it while it plays.
class static_Track : public TrackInterface {
 public:
  static_Track(EffectBuffer samples, int32_t bytes, double amplitude);

  int getByte() override;
  std::string getName() override { return "static_Track"; }
  void reset() override;
  bool empty() override { return mRemain <= 0; }
  void flush() override;

 private:
  EffectBuffer mSamples;
  double mAmplitude;
  int32_t mTotal;
  int32_t mRemain;
  int32_t mPosition = 0;
};

// What an HE track is created from (the generator's CreateTrackData).
struct HeTrackParams {
  int32_t id = 0;
  int8_t repeat = 0;          // further repetitions
  std::vector<int32_t> events;  // brax_haptic_event words, or the two-array form
  int8_t amplitude = 100;     // percent
  int32_t interval = 0;       // ms of silence before each repetition
  uint8_t eventCount = 0;
};

// The shared frame walk of the three HE tracks: silence between repetitions, the frame in
// the sample buffer, and the end of the effect.
class HeTrack : public TrackInterface {
 public:
  HeTrack(const WaveLibrary& lib, HeTrackParams params);

  int getByte() override;
  bool empty() override { return mFinished; }

  int32_t id() const { return mId; }

 protected:
  // The buffer is used up: fetch more (true) or let the effect end (false).
  virtual bool nextFrame() { return false; }
  virtual const char* noBytesLog() const { return "Hed no bytes"; }
  virtual const char* intervalLog() const { return "Hed into interval"; }
  void endOfEffect();
  void finish() { mFinished = true; }

  const WaveLibrary& mLib;
  int32_t mId;
  int32_t mRepeat;
  int32_t mFrameBytes = 0;
  int32_t mPosition = 0;
  std::vector<int32_t> mEvents;
  int8_t mAmplitude;
  std::vector<signed char> mBuffer;
  int32_t mInterval;
  int32_t mIntervalSamples = 0;
  uint8_t mEventCount;
  bool mFinished = false;
};

// An HE effect rendered frame by frame by the haptics core.
class BraxTrack : public HeTrack {
 public:
  static constexpr size_t kFrameBufferBytes = 1024;
  BraxTrack(const WaveLibrary& lib, HeTrackParams params);
  ~BraxTrack() override;

  std::string getName() override { return "BraxTrack"; }
  void reset() override;
  void flush() override;

 protected:
  bool nextFrame() override;

 private:
  // The next frame's length in samples; 0 at the end of the effect or on a failure.
  uint32_t getFrame();

  bool mInstalled = false;  // the core holds this track's effect
};

// An HE effect rendered at once by the AWA wave library.
class AWATrack : public HeTrack {
 public:
  AWATrack(const WaveLibrary& lib, HeTrackParams params);
  std::string getName() override { return "AWATrack"; }
  void reset() override;
  void flush() override;
};

// An HE effect in the two-array form rendered at once by the Quon wave library.
class QuonV1Track : public HeTrack {
 public:
  QuonV1Track(const WaveLibrary& lib, HeTrackParams params);
  std::string getName() override { return "QuonV1Track"; }
  void reset() override;
  void flush() override;

 protected:
  const char* noBytesLog() const override { return "QuonV1Track no bytes"; }
  const char* intervalLog() const override { return "QuonV1Track into interval"; }
};
