#include "he_events.h"

#include <gtest/gtest.h>

#include <vector>

#include "test_log_capture.h"

namespace brax {
namespace {

brax_haptic_event Transient(int32_t start, int32_t intensity, int32_t frequency) {
  brax_haptic_event e{};
  e.type = BRAX_HE_TRANSIENT;
  e.start_time = start;
  e.intensity = intensity;
  e.frequency = frequency;
  return e;
}

brax_haptic_event Continuous(int32_t start, int32_t duration, int32_t frequency = 50) {
  brax_haptic_event e{};
  e.type = BRAX_HE_CONTINUOUS;
  e.start_time = start;
  e.intensity = 100;
  e.frequency = frequency;
  e.duration = duration;
  e.points[0] = {0, 0, 0};
  e.points[1] = {duration / 4, 100, 0};
  e.points[2] = {static_cast<int32_t>(int64_t{duration} * 3 / 4), 100, 0};
  e.points[3] = {duration, 0, 0};
  return e;
}

uint32_t Bytes(const std::vector<brax_haptic_event>& v) {
  return static_cast<uint32_t>(v.size() * sizeof(brax_haptic_event));
}

TEST(HapticsHeIntensity, MapsOntoThePerceptualScale) {
  const struct {
    double in;
    int32_t out;
  } cases[] = {{100, 100}, {90, 78}, {70, 47}, {50, 25}, {10, 3}, {1, 0}, {0, 0}};
  for (const auto& c : cases) EXPECT_EQ(MapIntensity(c.in), c.out) << c.in;
  // Out-of-range words are held to the scale instead of overflowing the power.
  EXPECT_EQ(MapIntensity(1e9), 100);
  EXPECT_EQ(MapIntensity(-5), 0);
}

TEST(HapticsHeFrequency, RelativeFrequencyTable) {
  const struct {
    int64_t r;
    int hz;
  } cases[] = {{-70, 112}, {-50, 112}, {0, 112}, {1, 114}, {2, 114}, {49, 154}, {50, 154}, {51, 160},
               {52, 160},  {69, 217},  {70, 217}, {99, 312}, {100, 312}, {150, 312}, {180, 312}};
  for (const auto& c : cases) EXPECT_EQ(RelativeFrequencyHz(c.r), c.hz) << c.r;
}

TEST(HapticsHeTransientClass, RowsAndOutOfRangeFrequency) {
  const struct {
    int32_t freq, cls;
  } cases[] = {{0, 3},  {4, 3},  {5, 4},  {40, 4}, {41, 5},  {49, 5},  {50, 6},
               {59, 6}, {60, 7}, {68, 7}, {69, 8}, {100, 8}, {101, 10}, {-1, 10}};
  for (const auto& c : cases) EXPECT_EQ(TransientClass(c.freq), c.cls) << c.freq;
}

TEST(HapticsHeConvert, SingleTransient) {
  brax_test::LogCapture logs;
  ConvertedTable table;
  const std::vector<brax_haptic_event> ev = {Transient(0, 100, 50)};
  ConvertEvents(ev.data(), Bytes(ev), 24000, table);
  EXPECT_EQ(table[0].kind, kKindTransient);
  EXPECT_EQ(table[0].gap_ms, 0);
  EXPECT_EQ(table[0].transient_class, 6);
  EXPECT_EQ(table[0].intensity, 100);
  EXPECT_EQ(table[1].kind, kKindNone);
  EXPECT_EQ(logs.Count("he_event_num :1 , data_len:68"), 1);
}

TEST(HapticsHeConvert, TransientWithBadFrequencyLogsOnce) {
  brax_test::LogCapture logs;
  ConvertedTable table;
  OverlapTable overlaps;
  const std::vector<brax_haptic_event> ev = {Transient(0, 100, 101)};
  ConvertEvents(ev.data(), Bytes(ev), 24000, table);
  ComputeOverlaps(ev.data(), Bytes(ev), 24000, overlaps);
  EXPECT_EQ(table[0].transient_class, 10);
  EXPECT_EQ(logs.Count("Invalid freq value: 101\n"), 1);
}

// A transient lasts its waveform length / (rate / 1000) + 1 ms: class 6 strong is 408
// samples at 24 kHz and 816 at 48 kHz, so 18 ms either way.
TEST(HapticsHeConvert, GapAfterTransientCountsItsWaveform) {
  for (int32_t rate : {24000, 48000}) {
    ConvertedTable table;
    const std::vector<brax_haptic_event> ev = {Transient(0, 100, 50), Transient(30, 100, 50)};
    ConvertEvents(ev.data(), Bytes(ev), rate, table);
    EXPECT_EQ(table[1].gap_ms, 30 - 18) << rate;
  }
}

TEST(HapticsHeConvert, ContinuousGapsAndOverlaps) {
  const struct {
    int32_t second_start;
    int32_t gap;
    OverlapEntry overlap;
  } cases[] = {{150, 50, {0, 0, 0}}, {100, 0, {0, 0, 0}}, {80, -20, {1, 20, 120}}};
  for (const auto& c : cases) {
    ConvertedTable table;
    OverlapTable overlaps;
    const std::vector<brax_haptic_event> ev = {Continuous(0, 100), Continuous(c.second_start, 100)};
    ConvertEvents(ev.data(), Bytes(ev), 24000, table);
    ComputeOverlaps(ev.data(), Bytes(ev), 24000, overlaps);
    EXPECT_EQ(table[0].gap_ms, 0);
    EXPECT_EQ(table[1].gap_ms, c.gap) << c.second_start;
    EXPECT_EQ(overlaps[0].flag, 0);
    EXPECT_EQ(overlaps[1].flag, c.overlap.flag) << c.second_start;
    EXPECT_EQ(overlaps[1].overlap_ms, c.overlap.overlap_ms) << c.second_start;
    EXPECT_EQ(overlaps[1].extent_ms, c.overlap.extent_ms) << c.second_start;
  }
}

TEST(HapticsHeConvert, ContinuousPointsTakeMappedIntensityAndTableFrequency) {
  brax_haptic_event e = Continuous(0, 100, 0);
  e.intensity = 100;
  e.points[0] = {0, 90, -70};   // 90 % -> 78; r = -70 -> 112 Hz
  e.points[1] = {10, 50, 180};  // 50 % -> 25; r = 180 -> 312 Hz
  e.points[2] = {20, 100, 51};  // 100 %; r = 51 -> 160 Hz
  e.points[3] = {30, 10, 69};   // 10 % -> 3; r = 69 -> 217 Hz
  ConvertedTable table;
  ConvertEvents(&e, sizeof e, 24000, table);
  ASSERT_EQ(table[0].kind, kKindContinuous);
  EXPECT_EQ(table[0].transient_class, 1);
  EXPECT_EQ(table[0].intensity, 0);
  const int32_t expected[4][3] = {{0, 78, 112}, {10, 25, 312}, {20, 100, 160}, {30, 3, 217}};
  for (int j = 0; j < 4; ++j) {
    EXPECT_EQ(table[0].points[j].time_ms, expected[j][0]) << j;
    EXPECT_EQ(table[0].points[j].intensity, expected[j][1]) << j;
    EXPECT_EQ(table[0].points[j].frequency_hz, expected[j][2]) << j;
  }
}

TEST(HapticsHeConvert, UnknownTypeEndsTheConversion) {
  brax_test::LogCapture logs;
  std::vector<brax_haptic_event> ev = {Transient(0, 100, 50), Transient(40, 100, 50), Transient(80, 100, 50)};
  ev[1].type = 5;
  ConvertedTable table;
  OverlapTable overlaps;
  ConvertEvents(ev.data(), Bytes(ev), 24000, table);
  ComputeOverlaps(ev.data(), Bytes(ev), 24000, overlaps);
  EXPECT_EQ(table[0].kind, kKindTransient);
  EXPECT_EQ(table[1].kind, kKindNone);
  EXPECT_EQ(table[2].kind, kKindNone);
  EXPECT_EQ(logs.Count("Invaid event type\n"), 1);
}

TEST(HapticsHeOverlap, OneEventLeavesTheTableClear) {
  OverlapTable overlaps;
  overlaps.fill({7, 7, 7});
  const brax_haptic_event e = Continuous(0, 100);
  ComputeOverlaps(&e, sizeof e, 24000, overlaps);
  for (const auto& o : overlaps) EXPECT_EQ(o.flag, 0);
}

// The overlap pass estimates a transient from int(10 * sqrt(intensity)): intensity 50 gives
// 70 (medium band, class 6: 393 samples -> 17 ms), while conversion uses mapped 25 (weak).
TEST(HapticsHeOverlap, TransientEstimateUsesSquareRootIntensity) {
  const std::vector<brax_haptic_event> ev = {Transient(0, 50, 50), Transient(10, 50, 50)};
  OverlapTable overlaps;
  ComputeOverlaps(ev.data(), Bytes(ev), 24000, overlaps);
  EXPECT_EQ(overlaps[1].flag, 1);
  EXPECT_EQ(overlaps[1].overlap_ms, 17 - 10);
  EXPECT_EQ(overlaps[1].extent_ms, 17 + 7);
}

// The 16th event of a full effect has an overlap entry of its own.
TEST(HapticsHeOverlap, SixteenthEventOverlapIsKept) {
  std::vector<brax_haptic_event> ev;
  for (int i = 0; i < BRAX_HE_MAX_EVENTS; ++i) ev.push_back(Continuous(i * 100, 100));
  ev[15].start_time = 1400 + 60;  // event 14 runs 1400..1500
  OverlapTable overlaps;
  ComputeOverlaps(ev.data(), Bytes(ev), 24000, overlaps);
  for (int i = 0; i < 15; ++i) EXPECT_EQ(overlaps[i].flag, 0) << i;
  EXPECT_EQ(overlaps[15].flag, 1);
  EXPECT_EQ(overlaps[15].overlap_ms, 40);
  EXPECT_EQ(overlaps[15].extent_ms, 140);
}

TEST(HapticsHeConvert, ExtremeTimesSaturateInsteadOfOverflowing) {
  std::vector<brax_haptic_event> ev = {Continuous(INT32_MIN, INT32_MAX), Continuous(INT32_MAX, 10)};
  ConvertedTable table;
  OverlapTable overlaps;
  ConvertEvents(ev.data(), Bytes(ev), 48000, table);
  ComputeOverlaps(ev.data(), Bytes(ev), 48000, overlaps);
  EXPECT_EQ(table[0].gap_ms, INT32_MIN);
  EXPECT_EQ(table[1].gap_ms, INT32_MAX);  // INT32_MAX - INT32_MIN - INT32_MAX = 2^31
  EXPECT_EQ(overlaps[1].flag, 0);
}

}  // namespace
}  // namespace brax
