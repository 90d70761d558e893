// HE lists: the Thrumwave packets, the record and two-array forms, the generator layout and
// the list built for a plain `on`.
#include "HeEffect.h"

#include <gtest/gtest.h>

#include <vector>

namespace he = aidl::android::hardware::vibrator::he;

namespace {

using List = std::vector<int32_t>;

// Builds a list in the generator layout word by word, as a client would.
class GeneratorListBuilder {
 public:
  GeneratorListBuilder(int32_t version, int32_t intensity, int32_t sharpness)
      : mWords{0, version, intensity, sharpness} {}

  GeneratorListBuilder& curve(int32_t type, int32_t time, const std::vector<he::Point>& points) {
    auto& out = mInEvents ? mEvents : mCurves;
    out.insert(out.end(), {type, time, static_cast<int32_t>(points.size())});
    for (const he::Point& p : points) out.insert(out.end(), {p.x, p.y});
    if (!mInEvents) ++mCurveCount;
    return *this;
  }
  GeneratorListBuilder& event(int32_t kind, int32_t time, int32_t intensity, int32_t frequency,
                              int32_t duration, int32_t curves) {
    mInEvents = true;
    mEvents.insert(mEvents.end(), {kind, time, intensity, frequency, duration, curves});
    ++mEventCount;
    return *this;
  }
  List build() const {
    List out = mWords;
    out.push_back(mCurveCount);
    out.insert(out.end(), mCurves.begin(), mCurves.end());
    out.push_back(mEventCount);
    out.insert(out.end(), mEvents.begin(), mEvents.end());
    out[0] = static_cast<int32_t>(out.size());
    return out;
  }

 private:
  List mWords;
  List mCurves;
  List mEvents;
  int32_t mCurveCount = 0;
  int32_t mEventCount = 0;
  bool mInEvents = false;
};

const std::vector<he::Point> kIntensityPoints = {{0, 0}, {10, 100}, {90, 100}, {100, 0}};
const std::vector<he::Point> kFrequencyPoints = {{0, 40}, {10, 50}, {90, 60}, {100, 70}};
const std::vector<he::Point> kShiftedPoints = {{0, 40}, {11, 50}, {90, 60}, {100, 70}};

TEST(HeOnEffect, MatchesTheListsOfAPlainOn) {
  const he::OnEffectLevels warn{100, 50, 100, 50};
  const he::OnEffectLevels interaction{90, 20, 80, 20};
  struct Case {
    int32_t t;
    he::OnEffectLevels levels;
    List expected;
  } cases[] = {
      {100, warn, {38, 1, 100, 0, 2, 0, 0, 1, 0, 0, 2, 4097, 5, 0, 50, 100, 50, 0,
                   4096, 18, 0, 0, 100, 50, 100, 4, 0, 0, 0, 10, 100, 0, 90, 100, 0, 100, 0, 0}},
      {21, interaction, {38, 1, 100, 0, 2, 0, 0, 1, 0, 0, 2, 4097, 5, 0, 10, 90, 20, 0,
                         4096, 18, 0, 0, 80, 20, 21, 4, 0, 0, 0, 10, 100, 0, 11, 100, 0, 21, 0, 0}},
      {20, warn, {18, 1, 100, 0, 2, 0, 0, 1, 0, 0, 1, 4097, 5, 0, 0, 100, 50, 0}},
      {15, warn, {18, 1, 100, 0, 2, 0, 0, 1, 0, 0, 1, 4097, 5, 0, 0, 100, 50, 0}},
  };
  for (const Case& c : cases) EXPECT_EQ(he::buildOnEffect(c.t, c.levels), c.expected) << "t=" << c.t;
}

TEST(HeThrumwave, PacketOfAnOnCarriesThePatternsAsTheyStand) {
  const List list = he::buildOnEffect(100, {100, 50, 100, 50});
  std::vector<List> packets;
  ASSERT_TRUE(he::repackThrumwave(list, &packets));
  ASSERT_EQ(packets.size(), 1u);
  List expected = {2, list[4], list[5], list[6], 1 | (1 << 16)};
  expected.insert(expected.end(), list.begin() + 8, list.end());
  EXPECT_EQ(packets[0], expected);
}

TEST(HeThrumwave, TwelvePatternsMakeTwoPacketsOfTenAndTwo) {
  List list = {0, 1, 100, 0, 7, 8, 9, 12};
  for (int p = 0; p < 12; ++p) list.insert(list.end(), {p, p * 100, 1, 4097, 5, 0, 0, 80, 30, 0});
  list[0] = static_cast<int32_t>(list.size());
  std::vector<List> packets;
  ASSERT_TRUE(he::repackThrumwave(list, &packets));
  ASSERT_EQ(packets.size(), 2u);
  EXPECT_EQ(List(packets[0].begin(), packets[0].begin() + 5), (List{2, 7, 8, 9, 12 | (10 << 16)}));
  EXPECT_EQ(List(packets[1].begin(), packets[1].begin() + 5), (List{2, 7, 8, 9, 12 | (2 << 16)}));
  EXPECT_EQ(packets[0].size(), 5u + 10 * 10);
  EXPECT_EQ(packets[1].size(), 5u + 2 * 10);
  EXPECT_EQ(packets[1][5], 10);  // pattern index of the eleventh pattern
}

TEST(HeThrumwave, UnknownEventTypeCopiesOnlyItsTypeWord) {
  List list = {0, 1, 100, 0, 2, 0, 0, 1, 0, 0, 2, 1234, 4097, 5, 0, 0, 80, 30, 0};
  list[0] = static_cast<int32_t>(list.size());
  std::vector<List> packets;
  ASSERT_TRUE(he::repackThrumwave(list, &packets));
  ASSERT_EQ(packets.size(), 1u);
  List expected = {2, 2, 0, 0, 1 | (1 << 16), 0, 0, 2, 1234, 4097, 5, 0, 0, 80, 30, 0};
  EXPECT_EQ(packets[0], expected);
}

TEST(HeThrumwave, RefusesListsThatDoNotHoldWhatTheyAnnounce) {
  const List good = he::buildOnEffect(100, {100, 50, 100, 50});
  struct Case {
    const char* what;
    List list;
  } cases[] = {
      {"short header", {3, 1, 100}},
      {"no pattern", {8, 1, 100, 0, 2, 0, 0, 0}},
      {"negative pattern count", {8, 1, 100, 0, 2, 0, 0, -1}},
      {"pattern count beyond the list", {11, 1, 100, 0, 2, 0, 0, 5, 0, 0, 0}},
      {"truncated transient", List(good.begin(), good.begin() + 15)},
      {"truncated continuous points", List(good.begin(), good.end() - 2)},
      {"huge point count", [&] { List l = good; l[25] = 0x7fffffff; return l; }()},
      {"negative point count", [&] { List l = good; l[25] = -3; return l; }()},
  };
  for (const Case& c : cases) {
    std::vector<List> packets{{1}};
    EXPECT_FALSE(he::repackThrumwave(c.list, &packets)) << c.what;
    EXPECT_TRUE(packets.empty()) << c.what;
  }
}

TEST(HeGeneratorList, RecordsOfTransientAndContinuousEvents) {
  const List list = GeneratorListBuilder(1, 80, 30)
                        .curve(0, 0, {{0, 50}, {1000, 100}})
                        .event(0, 5, 70, 40, 30, 0)
                        .event(1, 100, 90, 20, 100, 2)
                        .curve(0, 0, kIntensityPoints)
                        .curve(1, 0, kFrequencyPoints)
                        .event(1, 300, 60, 10, 100, 2)
                        .curve(0, 0, kIntensityPoints)
                        .curve(1, 0, kShiftedPoints)
                        .build();
  he::GeneratorList parsed;
  ASSERT_EQ(he::parseGeneratorList(list, &parsed), he::ParseResult::kOk);
  EXPECT_EQ(parsed.intensity, 80);
  EXPECT_EQ(parsed.sharpness, 30);
  ASSERT_EQ(parsed.parameterCurves.size(), 1u);
  EXPECT_EQ(parsed.parameterCurves[0].points.size(), 2u);
  ASSERT_EQ(parsed.eventCount, 3);

  List records;
  ASSERT_TRUE(he::buildHedRecords(parsed.events, &records));
  const List expected = {
      // a transient keeps no duration and no points
      4097, 5, 70, 40, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
      // (intensity time, intensity value, frequency value) for each of the four points
      4096, 100, 90, 20, 100, 0, 0, 40, 10, 100, 50, 90, 100, 60, 100, 0, 70,
      // curve times differ: the points stay unwritten
      4096, 300, 60, 10, 100, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(records, expected);
}

TEST(HeGeneratorList, RecordFormRefusesEventsItCannotDescribe) {
  struct Case {
    const char* what;
    List list;
  } cases[] = {
      {"one curve", GeneratorListBuilder(1, 100, 0).event(1, 0, 90, 20, 100, 1).curve(0, 0, kIntensityPoints).build()},
      {"three points",
       GeneratorListBuilder(1, 100, 0)
           .event(1, 0, 90, 20, 100, 2)
           .curve(0, 0, {{0, 0}, {10, 100}, {20, 0}})
           .curve(1, 0, {{0, 0}, {10, 100}, {20, 0}})
           .build()},
      {"kind 2", GeneratorListBuilder(1, 100, 0).event(2, 0, 90, 20, 100, 0).build()},
      // Neither curve is an intensity or a frequency curve: they merge into no points.
      {"curve types 2 and 3",
       GeneratorListBuilder(1, 100, 0)
           .event(1, 0, 90, 20, 100, 2)
           .curve(2, 0, kIntensityPoints)
           .curve(3, 0, kFrequencyPoints)
           .build()},
  };
  for (const Case& c : cases) {
    he::GeneratorList parsed;
    ASSERT_EQ(he::parseGeneratorList(c.list, &parsed), he::ParseResult::kOk) << c.what;
    List records{1};
    EXPECT_FALSE(he::buildHedRecords(parsed.events, &records)) << c.what;
    EXPECT_TRUE(records.empty()) << c.what;
    List types;
    List numbers;
    EXPECT_FALSE(he::buildTwoArray(parsed.events, &types, &numbers)) << c.what;
  }
}

// Both versions play at most 16 events: a list of more is not read (an HE 1.0 list of
// 20,000 sine events once took seconds of the playback thread for 213 ms of sound).
TEST(HeGeneratorList, SeventeenEventsAreNotRead) {
  for (int32_t version : {he::kVersionHe2, he::kVersionHe1}) {
    GeneratorListBuilder b(version, 100, 0);
    for (int i = 0; i < 17; ++i) b.event(i % 2, i * 10, 50, 50, 5, 0);
    he::GeneratorList parsed;
    EXPECT_EQ(he::parseGeneratorList(b.build(), &parsed), he::ParseResult::kTooManyEvents) << version;
    EXPECT_EQ(parsed.eventCount, 17) << version;
    EXPECT_TRUE(parsed.events.empty()) << version;

    GeneratorListBuilder b16(version, 100, 0);
    for (int i = 0; i < 16; ++i) b16.event(i % 2, i * 10, 50, 50, 5, 0);
    EXPECT_EQ(he::parseGeneratorList(b16.build(), &parsed), he::ParseResult::kOk) << version;
    EXPECT_EQ(parsed.events.size(), 16u) << version;
  }
}

// Times are milliseconds of one effect: an event, its duration or a curve point beyond what
// a motor plays in one piece (or before the effect starts) is refused, not rendered for
// hours. The longest effect still plays.
TEST(HeGeneratorList, TimesBeyondTheLongestEffectAreRefused) {
  const int32_t longest = he::kMaxEffectMs;
  const std::vector<he::Point> lastPointAtEnd = {{0, 0}, {10, 100}, {longest - 1, 100}, {longest, 0}};
  struct Case {
    const char* what;
    List list;
    he::ParseResult result;
  } cases[] = {
      {"longest continuous event",
       GeneratorListBuilder(1, 100, 0).event(1, 0, 90, 20, longest, 1).curve(0, 0, lastPointAtEnd).build(),
       he::ParseResult::kOk},
      {"event starting at the end",
       GeneratorListBuilder(0, 100, 0).event(0, longest, 90, 20, 0, 0).build(), he::ParseResult::kOk},
      {"duration past the end",
       GeneratorListBuilder(1, 100, 0).event(1, 0, 90, 20, longest + 1, 0).build(), he::ParseResult::kMalformed},
      {"start and duration past the end",
       GeneratorListBuilder(0, 100, 0).event(1, 40000, 90, 20, 30000, 0).build(), he::ParseResult::kMalformed},
      {"start near 2^31",
       GeneratorListBuilder(1, 100, 0).event(0, 0x7fffff00, 90, 20, 0, 0).build(), he::ParseResult::kMalformed},
      {"negative start", GeneratorListBuilder(0, 100, 0).event(0, -5, 90, 20, 0, 0).build(),
       he::ParseResult::kMalformed},
      {"negative duration", GeneratorListBuilder(1, 100, 0).event(1, 0, 90, 20, -1, 0).build(),
       he::ParseResult::kMalformed},
      {"curve point near 2^31",
       GeneratorListBuilder(1, 100, 0)
           .event(1, 0, 90, 20, 100, 1)
           .curve(0, 0, {{0, 0}, {10, 100}, {2000000000, 100}, {2000000010, 0}})
           .build(),
       he::ParseResult::kMalformed},
      {"curve starting past the end",
       GeneratorListBuilder(0, 100, 0).event(1, 0, 90, 20, 100, 1).curve(0, longest + 1, kIntensityPoints).build(),
       he::ParseResult::kMalformed},
      {"parameter curve point past the end",
       GeneratorListBuilder(1, 100, 0).curve(0, 0, {{0, 10}, {longest + 1, 20}}).build(), he::ParseResult::kMalformed},
  };
  for (const Case& c : cases) {
    he::GeneratorList parsed;
    EXPECT_EQ(he::parseGeneratorList(c.list, &parsed), c.result) << c.what;
  }
}

TEST(HeGeneratorList, MalformedListsAreRefused) {
  const List good = GeneratorListBuilder(0, 100, 0)
                        .event(1, 0, 90, 20, 100, 1)
                        .curve(0, 0, kIntensityPoints)
                        .build();
  struct Case {
    const char* what;
    List list;
  } cases[] = {
      {"empty", {}},
      {"header only", {4, 0, 100, 0}},
      {"negative curve count", {6, 0, 100, 0, -1, 0}},
      {"curve count beyond the list", {6, 0, 100, 0, 1000, 0}},
      {"event count beyond the list", {6, 0, 100, 0, 0, 3}},
      {"truncated curve", List(good.begin(), good.end() - 1)},
      {"huge point count", [&] { List l = good; l[l.size() - 9] = 0x40000000; return l; }()},
      {"huge event curve count", [&] { List l = good; l[11] = 0x7fffffff; return l; }()},
  };
  for (const Case& c : cases) {
    he::GeneratorList parsed;
    EXPECT_EQ(he::parseGeneratorList(c.list, &parsed), he::ParseResult::kMalformed) << c.what;
  }
  he::GeneratorList parsed;
  ASSERT_EQ(he::parseGeneratorList(good, &parsed), he::ParseResult::kOk);
  ASSERT_EQ(parsed.events.size(), 1u);
  ASSERT_EQ(parsed.events[0].curves.size(), 1u);
  EXPECT_EQ(parsed.events[0].curves[0].points.size(), 4u);
}

TEST(HeTwoArray, TransientAndContinuousWords) {
  const List list = GeneratorListBuilder(1, 100, 0)
                        .event(0, 5, 70, 40, 0, 0)
                        .event(1, 100, 90, 20, 100, 2)
                        .curve(0, 0, kIntensityPoints)
                        .curve(1, 0, kFrequencyPoints)
                        .build();
  he::GeneratorList parsed;
  ASSERT_EQ(he::parseGeneratorList(list, &parsed), he::ParseResult::kOk);
  List types;
  List numbers;
  ASSERT_TRUE(he::buildTwoArray(parsed.events, &types, &numbers));
  EXPECT_EQ(types, (List{1, 0}));
  EXPECT_EQ(numbers, (List{40, 70, 5, 100, 100, 90, 20, 40, 50, 60, 70, 0, 10, 90, 100, 0, 100, 100, 0}));

  const List mismatched = GeneratorListBuilder(1, 100, 0)
                              .event(1, 100, 90, 20, 100, 2)
                              .curve(0, 0, kIntensityPoints)
                              .curve(1, 0, kShiftedPoints)
                              .build();
  ASSERT_EQ(he::parseGeneratorList(mismatched, &parsed), he::ParseResult::kOk);
  EXPECT_FALSE(he::buildTwoArray(parsed.events, &types, &numbers));
}

}  // namespace
