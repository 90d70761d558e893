#include "he_events.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "log.h"
#include "transient_waveforms.h"

namespace brax {
namespace {

struct ClassRow {
  int32_t lowest;
  int32_t highest;
  int32_t cls;
};
// Searched in order; the first row that holds the frequency word wins.
constexpr ClassRow kClassRows[] = {
    {0, 4, 3}, {5, 40, 4}, {41, 49, 5}, {50, 59, 6}, {60, 68, 7}, {69, 100, 8}};
constexpr int32_t kUnknownClass = 10;

constexpr int32_t kMinRelativeFrequency = -50;
constexpr int32_t kMaxRelativeFrequency = 150;

// Drive frequency in Hz for r = -50..150: 112 Hz up to r = 0, then two straight lines in
// steps of two (r rounded up to even), up to 312 Hz from r = 99 on.
struct FrequencyTable {
  uint16_t hz[kMaxRelativeFrequency - kMinRelativeFrequency + 1];
  FrequencyTable() {
    for (int32_t r = kMinRelativeFrequency; r <= kMaxRelativeFrequency; ++r) {
      const int32_t even = std::min(r + (r & 1), 100);
      double f = 112.0;
      if (r > 0 && even <= 50) {
        f = 112.0 + 0.84 * even;
      } else if (r > 0) {
        f = 154.0 + 3.16 * (even - 50);
      }
      hz[r - kMinRelativeFrequency] = static_cast<uint16_t>(std::lround(f));
    }
  }
};

int32_t Saturate32(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

// Duration of event e as the overlap pass estimates it (transients from int(10 * sqrt(I))).
int64_t OverlapDurationMs(const brax_haptic_event& e, int32_t sample_rate) {
  if (e.type == BRAX_HE_TRANSIENT) {
    const int32_t cls = TransientClass(e.frequency);
    const double intensity = std::clamp(e.intensity, 0, 100);
    const auto level = static_cast<int32_t>(10.0 * std::sqrt(intensity));
    return TransientDurationMs(cls, level, sample_rate);
  }
  if (e.type == BRAX_HE_CONTINUOUS) return e.duration;
  BRAX_CONV_LOGE("Invaid event type\n");
  return 0;
}

// The same estimate for the last event, whose type the pass does not otherwise judge:
// an unknown type lasts 0 without a second report.
int64_t LastDurationMs(const brax_haptic_event& e, int32_t sample_rate) {
  if (e.type != BRAX_HE_TRANSIENT && e.type != BRAX_HE_CONTINUOUS) return 0;
  return OverlapDurationMs(e, sample_rate);
}

}  // namespace

int32_t MapIntensity(double x) {
  x = std::clamp(x, 0.0, 100.0);
  return static_cast<int32_t>(x * std::pow(1.14, (x - 100.0) / 10.0));
}

int32_t TransientClass(int32_t frequency) {
  for (const auto& row : kClassRows) {
    if (frequency >= row.lowest && frequency <= row.highest) return row.cls;
  }
  BRAX_CONV_LOGE("Invalid freq value: %d\n", frequency);
  return kUnknownClass;
}

uint16_t RelativeFrequencyHz(int64_t r) {
  static const FrequencyTable table;
  r = std::clamp<int64_t>(r, kMinRelativeFrequency, kMaxRelativeFrequency);
  return table.hz[r - kMinRelativeFrequency];
}

uint32_t EventCount(uint32_t data_len) {
  return std::min<uint32_t>(data_len / sizeof(brax_haptic_event), BRAX_HE_MAX_EVENTS);
}

void ConvertEvents(const brax_haptic_event* events, uint32_t data_len, int32_t sample_rate,
                   ConvertedTable& table) {
  std::memset(table.data(), 0, sizeof(table));
  const uint32_t count = EventCount(data_len);
  BRAX_CONV_LOGD("he_event_num :%d , data_len:%d", static_cast<int>(count), static_cast<int>(data_len));
  int64_t prev_start = 0;
  int64_t prev_duration = 0;
  for (uint32_t i = 0; i < count; ++i) {
    const brax_haptic_event& e = events[i];
    ConvertedEvent& out = table[i];
    const int32_t gap = Saturate32(int64_t{e.start_time} - prev_start - prev_duration);
    int64_t duration = 0;
    if (e.type == BRAX_HE_TRANSIENT) {
      const int32_t cls = TransientClass(e.frequency);
      const int32_t mapped = MapIntensity(e.intensity);
      duration = TransientDurationMs(cls, mapped, sample_rate);
      out.kind = kKindTransient;
      out.gap_ms = gap;
      out.transient_class = cls;
      out.intensity = mapped;
    } else if (e.type == BRAX_HE_CONTINUOUS) {
      out.kind = kKindContinuous;
      out.gap_ms = gap;
      out.transient_class = 1;
      BRAX_CONV_LOGD("event %d: type = %d, relative_time = %d\n", static_cast<int>(i), 2, gap);
      for (int j = 0; j < BRAX_HE_CURVE_POINTS; ++j) {
        const brax_curve_point& p = e.points[j];
        const double level = static_cast<double>(e.intensity) * p.intensity / 100.0;
        const int64_t relative = std::clamp<int64_t>(int64_t{e.frequency} + p.frequency,
                                                     kMinRelativeFrequency, kMaxRelativeFrequency);
        BRAX_CONV_LOGD("relative_freq = %d\n", static_cast<int>(relative));
        out.points[j] = {p.time, MapIntensity(level), RelativeFrequencyHz(relative)};
      }
      duration = e.duration;
    } else {
      break;
    }
    prev_start = e.start_time;
    prev_duration = duration;
  }
}

void ComputeOverlaps(const brax_haptic_event* events, uint32_t data_len, int32_t sample_rate,
                     OverlapTable& overlaps) {
  std::memset(overlaps.data(), 0, sizeof(overlaps));
  const uint32_t count = EventCount(data_len);
  if (count < 2) return;
  // Each event's duration is estimated once (so a bad type is reported once) for every event
  // that has a successor.
  std::array<int64_t, BRAX_HE_MAX_EVENTS> duration{};
  for (uint32_t i = 0; i + 1 < count; ++i) duration[i] = OverlapDurationMs(events[i], sample_rate);
  for (uint32_t i = 0; i + 1 < count; ++i) {
    const int64_t end = int64_t{events[i].start_time} + duration[i];
    const int64_t next_start = events[i + 1].start_time;
    if (next_start < end) {
      // No event overlaps by more than either of the two lasts: times running backwards
      // would otherwise ask the worker to pass over up to 2^32 ms of the later event.
      const int64_t next = i + 2 < count ? duration[i + 1] : LastDurationMs(events[i + 1], sample_rate);
      const int64_t e = std::min({end - next_start, std::max<int64_t>(duration[i], 0), std::max<int64_t>(next, 0)});
      if (e > 0) overlaps[i + 1] = {1, Saturate32(e), Saturate32(duration[i] + e)};
    }
  }
}

}  // namespace brax
