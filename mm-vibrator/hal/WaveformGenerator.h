#pragma once
// The waveform generator of the dynamic-effect path: signed 8-bit samples at 24000 Hz,
// one period at a time, mixed from a schedule of tracks and steered by parameter curves.
// Binder threads queue GeneratorCommands; the dynamic-effect thread calls gen.

#include <stdint.h>

#include <atomic>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "Curve.h"
#include "Schedule.h"
#include "TrackInterface.h"
#include "WaveLibrary.h"

struct GeneratorCommandData {
  virtual ~GeneratorCommandData() = default;
};

enum GeneratorCommandType : int32_t {
  kCreateTrack = 1,     // CreateTrackData
  kScheduleTrack = 2,   // TrackData
  kScheduleCurve = 3,   // ParameterData
  kSetGlobals = 4,      // GlobalParameterData
};

// Create an HE track from events for the loaded wave library.
struct CreateTrackData : GeneratorCommandData {
  int32_t repeat = 0;           // low byte: signed repeat count
  std::vector<int32_t> events;  // 17-word brax_haptic_event records (or the two-array form)
  int32_t amplitude = 100;      // percent
  int32_t interval = 0;         // ms between repetitions
  uint8_t eventCount = 0;
  uint8_t sharpness = 0;        // not read by the generator
};

// Schedule a ready-made track `start` seconds after the current sample.
struct TrackData : GeneratorCommandData {
  std::unique_ptr<TrackInterface> track;
  float start = 0.0f;
};

// Schedule a curve on the global intensity (type 0) or sharpness (type 1).
struct ParameterData : GeneratorCommandData {
  float start = 0.0f;
  CurvePoints points;
  int32_t type = 0;
};

// Set the global intensity and sharpness, in queue order with the other commands.
struct GlobalParameterData : GeneratorCommandData {
  double intensity = 1.0;
  double sharpness = 0.0;
};

struct GeneratorCommand {
  std::unique_ptr<GeneratorCommandData> data;
  int32_t type = 0;
  // Made by sendCommand on the sender's thread from `data` (the track, the HE track or the
  // curve, in its schedule entry), so that the playback thread only links it in.
  ScheduleNode<TrackInterface> track;
  ScheduleNode<Curve> curve;
};

class WaveformGenerator {
 public:
  WaveformGenerator();
  virtual ~WaveformGenerator();
  WaveformGenerator(const WaveformGenerator&) = delete;
  WaveformGenerator& operator=(const WaveformGenerator&) = delete;

  // Handles the queued commands, then produces up to n samples into buffer (null: the
  // samples are computed and dropped). Returns n, 0 when n < 1, or the number of samples
  // produced before the stream ran dry.
  virtual int32_t gen(signed char* buffer, int32_t n);
  // Schedules a track at 24000 * start samples after the last reset. Not while gen runs.
  virtual void addTrack(float start, std::unique_ptr<TrackInterface> track);
  // Destroys every scheduled track and curve and starts a new stream. Not while gen runs.
  virtual void reset();
  // Schedules a curve on the global intensity (0) or sharpness (1). Not while gen runs.
  virtual void addParameter(float start, const CurvePoints& points, int32_t type);
  // Queues a command for the next gen; takes ownership. Any thread: whatever the command
  // needs allocated is allocated here, none of it by gen.
  virtual void sendCommand(std::unique_ptr<GeneratorCommand> command);
  void sendCommand(GeneratorCommand* command) { sendCommand(std::unique_ptr<GeneratorCommand>(command)); }
  // Queues new global intensity and sharpness (a kSetGlobals command). Any thread.
  void setGlobalParameters(double intensity, double sharpness);

  int32_t f0() const { return mF0; }
  const WaveLibrary& library() const { return mLib; }
  double globalIntensity() const { return mGlobalIntensity; }
  double globalSharpness() const { return mGlobalSharpness; }
  int32_t currentSample() const { return mCurrentSample; }

 private:
  using TrackSchedule = Schedule<TrackInterface>;
  using CurveSchedule = Schedule<Curve>;
  // Active tracks and curves the generator makes room for up front.
  static constexpr size_t kActiveRoom = 64;

  void prepareCommand(GeneratorCommand& command);
  void handleCommand(GeneratorCommand& command, bool* heTrackCreated);
  void createHeTrack(GeneratorCommand& command, bool* heTrackCreated);
  void scheduleTrack(GeneratorCommand& command, float start);
  void scheduleCurve(ScheduleNode<Curve> node, float start, bool fromCommand);
  void flushActiveTracks();
  void reaimTrackCursor();
  void reaimCurveCursor();
  int mixSample();

  // How an active track enters the mix, from its name (looked up once, when it starts).
  enum class MixKind { kPrebaked, kSine, kReplace };
  struct ActiveTrack {
    TrackInterface* track;
    MixKind kind;
    Track* steered;  // the sine's global-parameter interface
  };
  void activate(TrackInterface* track);

  int32_t mCurrentSample = 0;
  TrackSchedule mTracks;
  std::vector<ActiveTrack> mActiveTracks;
  TrackSchedule::iterator mTrackCursor;
  CurveSchedule mCurves;
  CurveSchedule::iterator mCurveCursor;
  std::vector<Curve*> mActiveCurves;
  std::mutex mCommandLock;  // guards mCommands only
  std::list<std::unique_ptr<GeneratorCommand>> mCommands;
  double mGlobalSharpness = 0.0;
  double mGlobalIntensity = 1.0;
  int32_t mF0 = 0;
  WaveLibrary mLib;
};

// Saturates a mixed value to a signed 8-bit sample.
int8_t saturate8(double value);
