#pragma once
// Conversion of the caller's HE events into the core's own tables: the converted events
// the worker renders, and the overlap table that says by how much each event starts
// before the previous one has ended.

#include <array>
#include <cstdint>

#include "brax_haptics.h"

namespace brax {

enum ConvertedKind : int32_t { kKindNone = 0, kKindTransient = 1, kKindContinuous = 2 };

// 16 int32: kind, gap (ms), then for a transient {class, mapped intensity} and for a
// continuous event {1, 0, then four points of (time ms, mapped intensity, frequency Hz)}.
struct ConvertedEvent {
  int32_t kind;
  int32_t gap_ms;
  int32_t transient_class;  // continuous: 1
  int32_t intensity;        // transient: mapped intensity; continuous: 0
  struct Point {
    int32_t time_ms;
    int32_t intensity;
    int32_t frequency_hz;
  } points[BRAX_HE_CURVE_POINTS];
};
static_assert(sizeof(ConvertedEvent) == 64, "a converted event is 16 int32");

// Event k against event k - 1. One entry per event: entry 0 is always clear. (Sized for
// every event of a full effect, so that the 16th event's overlap has a place.)
struct OverlapEntry {
  int32_t flag;
  int32_t overlap_ms;
  int32_t extent_ms;
};
static_assert(sizeof(OverlapEntry) == 12, "an overlap entry is three int32");

using ConvertedTable = std::array<ConvertedEvent, BRAX_HE_MAX_EVENTS>;
using OverlapTable = std::array<OverlapEntry, BRAX_HE_MAX_EVENTS>;

// int(x * 1.14^((x - 100) / 10)); x is first held to 0..100, the intensity scale.
int32_t MapIntensity(double x);

// Transient class for a frequency word (3..8, or 10 with an error log when outside 0..100).
int32_t TransientClass(int32_t frequency);

// Drive frequency in Hz for relative frequency r (held to -50..150 first).
uint16_t RelativeFrequencyHz(int64_t r);

// Events in data_len bytes: data_len / 68, at most 16.
uint32_t EventCount(uint32_t data_len);

// Fills table (zeroed first) from the events in data_len bytes at sample_rate. Stops at an
// unknown type.
void ConvertEvents(const brax_haptic_event* events, uint32_t data_len, int32_t sample_rate,
                   ConvertedTable& table);

// Fills overlaps (zeroed first) for the events in data_len bytes at sample_rate.
void ComputeOverlaps(const brax_haptic_event* events, uint32_t data_len, int32_t sample_rate,
                     OverlapTable& overlaps);

}  // namespace brax
