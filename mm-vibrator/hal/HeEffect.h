#pragma once
// HE effect lists: the flat lists of 32-bit integers that IVibratorExt.play carries, and the
// forms the service turns them into: the Thrumwave packets of libbraxvibrator, the 17-word
// brax_haptic_event records and the two-array form of the generator's HE tracks, and the
// per-event description the HE 1.0 tracks are built from. Everything here is pure: the
// caller decides where the results go. Every count read from a list is checked against
// what is left of it; a list that does not hold what it announces is refused.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace aidl::android::hardware::vibrator::he {

// Header words of every list.
inline constexpr size_t kHeaderWords = 4;
inline constexpr int32_t kVersionHe2 = 1;
inline constexpr int32_t kVersionHe1 = 0;
// Most events one list plays, of either version.
inline constexpr int32_t kMaxHe2Events = 16;
// Longest effect in ms: what a motor plays in one piece (the driver's longest constant
// effect). Every time word of a list (event start, duration, curve time and points) lies
// within 0..kMaxEffectMs, and no event ends after it.
inline constexpr int32_t kMaxEffectMs = 65535;
// Words of one brax_haptic_event record.
inline constexpr size_t kRecordWords = 17;
inline constexpr size_t kRecordPoints = 4;
inline constexpr int32_t kTypeContinuous = 4096;
inline constexpr int32_t kTypeTransient = 4097;
// Patterns in one Thrumwave packet.
inline constexpr int32_t kPatternsPerPacket = 10;

struct Point {
  int32_t x;
  int32_t y;
};

// A curve of the generator layout: [type, time ms, K, K pairs].
struct Curve {
  int32_t type = 0;
  int32_t timeMs = 0;
  std::vector<Point> points;
};

// An event of the generator layout: [kind, time, intensity, frequency, duration, M] and M
// curves.
struct Event {
  int32_t kind = 0;  // 1 continuous, 0 transient
  int32_t relativeTimeMs = 0;
  int32_t intensity = 0;
  int32_t frequency = 0;
  int32_t durationMs = 0;
  std::vector<Curve> curves;
};

// A list in the generator layout.
struct GeneratorList {
  int32_t total = 0;
  int32_t version = 0;
  int32_t intensity = 0;  // 0 to 100
  int32_t sharpness = 0;  // 0 to 100
  std::vector<Curve> parameterCurves;
  int32_t eventCount = 0;  // E as the list gives it
  std::vector<Event> events;  // empty when E is above the limit
};

enum class ParseResult {
  kOk,
  kMalformed,       // a count or word that the list does not hold, or a time past kMaxEffectMs
  kTooManyEvents,   // more than 16 events: the list is refused, nothing of it played
};

// Reads a list in the generator layout. Events are read only when the list holds at most
// 16 of them.
ParseResult parseGeneratorList(const std::vector<int32_t>& list, GeneratorList* out);

// The 17-word records of an HE 2.0 list, one per event. A curve pair whose times differ
// leaves that event's points 0. False (and nothing to play) for an event kind other than
// 0 or 1, a continuous event without exactly two curves of at least four points, or one
// whose curves give fewer than four intensity/frequency pairs (types other than 0 and 1).
bool buildHedRecords(const std::vector<Event>& events, std::vector<int32_t>* records);

// The two-array form: one type word per event (0 continuous, 1 transient), then the
// numerical words. False for a continuous event without two curves of equal times.
bool buildTwoArray(const std::vector<Event>& events, std::vector<int32_t>* typeCtrlPara,
                   std::vector<int32_t>* numericalPara);

// The Thrumwave packets of an HE 2.0 list: one packet of at most 10 patterns each, each
// with its own 5-word header. False when the list is malformed.
bool repackThrumwave(const std::vector<int32_t>& list, std::vector<std::vector<int32_t>>* packets);

// Strengths of the effect built for a plain `on` on the Thrumwave road.
struct OnEffectLevels {
  int32_t transientIntensity;
  int32_t transientSharpness;
  int32_t continuousIntensity;
  int32_t continuousSharpness;
};

// The HE 2.0 list of an `on` of durationMs.
std::vector<int32_t> buildOnEffect(int32_t durationMs, const OnEffectLevels& levels);

}  // namespace aidl::android::hardware::vibrator::he
