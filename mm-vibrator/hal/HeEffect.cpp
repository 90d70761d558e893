// HE effect lists and the forms the outputs take them in.
#define LOG_TAG "vendor.hardware.vibratorfeature"

#include "HeEffect.h"

#include <log/log.h>

#include <algorithm>

namespace aidl::android::hardware::vibrator::he {

namespace {

// A bounds-checked reader over a list; the first failure is sticky and logged once.
class Reader {
 public:
  explicit Reader(const std::vector<int32_t>& list, size_t pos = 0) : mList(list), mPos(pos) {}

  bool ok() const { return mOk; }
  size_t pos() const { return mPos; }
  size_t left() const { return mPos <= mList.size() ? mList.size() - mPos : 0; }

  int32_t next(const char* what) {
    if (!mOk) return 0;
    if (mPos >= mList.size()) {
      fail(what);
      return 0;
    }
    return mList[mPos++];
  }
  // A count that must be at least 0 and leave room for count items of itemWords each.
  int32_t count(const char* what, size_t itemWords) {
    int32_t n = next(what);
    if (!mOk) return 0;
    if (n < 0 || static_cast<size_t>(n) * itemWords > left()) {
      fail(what);
      return 0;
    }
    return n;
  }
  void copy(size_t words, std::vector<int32_t>* out, const char* what) {
    if (!mOk) return;
    if (words > left()) {
      fail(what);
      return;
    }
    out->insert(out->end(), mList.begin() + static_cast<std::ptrdiff_t>(mPos),
                mList.begin() + static_cast<std::ptrdiff_t>(mPos + words));
    mPos += words;
  }
  // A time word: 0..kMaxEffectMs.
  int32_t time(const char* what) {
    int32_t t = next(what);
    if (mOk && (t < 0 || t > kMaxEffectMs)) fail(what);
    return mOk ? t : 0;
  }
  void fail(const char* what) {
    if (mOk) ALOGE("he list refused: %s at word %zu of %zu", what, mPos, mList.size());
    mOk = false;
  }

 private:
  const std::vector<int32_t>& mList;
  size_t mPos;
  bool mOk = true;
};

Curve readCurve(Reader& r) {
  Curve c;
  c.type = r.next("curve type");
  c.timeMs = r.time("curve time");
  int32_t k = r.count("curve point count", 2);
  c.points.reserve(static_cast<size_t>(k));
  for (int32_t i = 0; i < k && r.ok(); ++i) {
    Point p;
    p.x = r.time("curve point time");
    p.y = r.next("curve point");
    c.points.push_back(p);
  }
  return c;
}

// The intensity and frequency curves of a continuous event merged point by point: false
// when their times differ. Points are (time, intensity, frequency).
struct MergedPoint {
  int32_t time;
  int32_t intensity;
  int32_t frequency;
};

enum class Merge {
  kMerged,       // at least four points of equal times
  kTimesDiffer,  // the two curves do not pair up
  kTooFew,       // fewer than four intensity/frequency pairs: nothing a record can hold
};

Merge mergeCurves(const Event& e, std::vector<MergedPoint>* merged) {
  ALOGD("merge intensity curve and freq curve to HedTrack");
  std::vector<Point> intensity;
  std::vector<Point> frequency;
  for (const Curve& c : e.curves) {
    ALOGD("curve relativeTime %d", c.timeMs);
    ALOGD("num of point %zu", c.points.size());
    for (const Point& p : c.points) {
      if (c.type == 0) {
        intensity.push_back(p);
      } else if (c.type == 1) {
        frequency.push_back(p);
      } else {
        ALOGD("unknow curve type %d", c.type);
      }
    }
  }
  bool sameTimes = intensity.size() == frequency.size() &&
                   std::equal(intensity.begin(), intensity.end(), frequency.begin(),
                              [](const Point& a, const Point& b) { return a.x == b.x; });
  if (!sameTimes) {
    ALOGE("curve point error!");
    return Merge::kTimesDiffer;
  }
  // Curves of neither type pair up as two empty lists: the event has no points at all,
  // and a record or the two-array form would read four that are not there.
  if (intensity.size() < kRecordPoints) {
    ALOGE("curve point error: %zu intensity/frequency pairs, %zu needed", intensity.size(), kRecordPoints);
    return Merge::kTooFew;
  }
  merged->clear();
  for (size_t k = 0; k < intensity.size(); ++k)
    merged->push_back({intensity[k].x, intensity[k].y, frequency[k].y});
  return Merge::kMerged;
}

// A continuous event that a record or the two-array form can describe: two curves of at
// least four points each.
bool hasFourPointCurves(const Event& e) {
  if (e.curves.size() != 2) return false;
  return std::all_of(e.curves.begin(), e.curves.end(),
                     [](const Curve& c) { return c.points.size() >= kRecordPoints; });
}

}  // namespace

ParseResult parseGeneratorList(const std::vector<int32_t>& list, GeneratorList* out) {
  *out = GeneratorList{};
  Reader r(list);
  out->total = r.next("total");
  out->version = r.next("version");
  out->intensity = r.next("intensity");
  out->sharpness = r.next("sharpness");
  int32_t c = r.count("parameter curve count", 3);
  for (int32_t i = 0; i < c && r.ok(); ++i) out->parameterCurves.push_back(readCurve(r));
  out->eventCount = r.count("event count", 6);
  if (!r.ok()) return ParseResult::kMalformed;
  if (out->eventCount > kMaxHe2Events) return ParseResult::kTooManyEvents;
  for (int32_t i = 0; i < out->eventCount && r.ok(); ++i) {
    Event e;
    e.kind = r.next("event kind");
    e.relativeTimeMs = r.time("event time");
    e.intensity = r.next("event intensity");
    e.frequency = r.next("event frequency");
    e.durationMs = r.time("event duration");
    if (r.ok() && e.durationMs > kMaxEffectMs - e.relativeTimeMs) r.fail("event end");
    int32_t m = r.count("event curve count", 3);
    for (int32_t j = 0; j < m && r.ok(); ++j) e.curves.push_back(readCurve(r));
    out->events.push_back(std::move(e));
  }
  return r.ok() ? ParseResult::kOk : ParseResult::kMalformed;
}

bool buildHedRecords(const std::vector<Event>& events, std::vector<int32_t>* records) {
  records->assign(events.size() * kRecordWords, 0);
  for (size_t i = 0; i < events.size(); ++i) {
    const Event& e = events[i];
    int32_t* rec = records->data() + i * kRecordWords;
    if (e.kind == 0) {
      rec[0] = kTypeTransient;
      rec[1] = e.relativeTimeMs;
      rec[2] = e.intensity;
      rec[3] = e.frequency;
      continue;  // a transient has no duration and no points
    }
    if (e.kind != 1 || !hasFourPointCurves(e)) {
      ALOGE("he event %zu (kind %d, %zu curves) has no record form", i, e.kind, e.curves.size());
      records->clear();
      return false;
    }
    rec[0] = kTypeContinuous;
    rec[1] = e.relativeTimeMs;
    rec[2] = e.intensity;
    rec[3] = e.frequency;
    rec[4] = e.durationMs;
    std::vector<MergedPoint> merged;
    const Merge m = mergeCurves(e, &merged);
    if (m == Merge::kTimesDiffer) continue;  // points stay 0
    if (m == Merge::kTooFew) {
      records->clear();
      return false;
    }
    for (size_t k = 0; k < kRecordPoints; ++k) {
      rec[5 + 3 * k] = merged[k].time;
      rec[6 + 3 * k] = merged[k].intensity;
      rec[7 + 3 * k] = merged[k].frequency;
    }
  }
  return true;
}

bool buildTwoArray(const std::vector<Event>& events, std::vector<int32_t>* typeCtrlPara,
                   std::vector<int32_t>* numericalPara) {
  typeCtrlPara->clear();
  numericalPara->clear();
  for (const Event& e : events) {
    if (e.kind == 0) {
      typeCtrlPara->push_back(1);
      numericalPara->insert(numericalPara->end(), {e.frequency, e.intensity, e.relativeTimeMs});
      continue;
    }
    std::vector<MergedPoint> merged;
    if (e.kind != 1 || !hasFourPointCurves(e) || mergeCurves(e, &merged) != Merge::kMerged) {
      ALOGE("curve point error!");
      return false;
    }
    typeCtrlPara->push_back(0);
    numericalPara->insert(numericalPara->end(),
                          {e.relativeTimeMs, e.durationMs, e.intensity, e.frequency});
    for (size_t k = 0; k < kRecordPoints; ++k) numericalPara->push_back(merged[k].frequency);
    for (size_t k = 0; k < kRecordPoints; ++k) numericalPara->push_back(merged[k].time);
    for (size_t k = 0; k < kRecordPoints; ++k) numericalPara->push_back(merged[k].intensity);
  }
  return true;
}

bool repackThrumwave(const std::vector<int32_t>& list, std::vector<std::vector<int32_t>>* packets) {
  packets->clear();
  constexpr size_t kHeaderEnd = 8;  // the header, three words passed on, the pattern count
  if (list.size() < kHeaderEnd) {
    ALOGE("he list refused: %zu words, header needs %zu", list.size(), kHeaderEnd);
    return false;
  }
  Reader r(list, 7);
  const int32_t patterns = r.count("pattern count", 3);
  if (!r.ok() || patterns == 0) {
    if (r.ok()) ALOGE("he list refused: no pattern");
    return false;
  }
  int32_t done = 0;
  while (done < patterns && r.ok()) {
    const int32_t run = std::min(kPatternsPerPacket, patterns - done);
    std::vector<int32_t> packet = {2, list[4], list[5], list[6],
                                   static_cast<int32_t>((static_cast<uint32_t>(patterns) & 0xFFFFu) |
                                                        (static_cast<uint32_t>(run) << 16))};
    for (int32_t p = 0; p < run && r.ok(); ++p) {
      r.copy(2, &packet, "pattern");
      const int32_t events = r.count("pattern event count", 1);
      packet.push_back(events);
      for (int32_t e = 0; e < events && r.ok(); ++e) {
        const size_t at = r.pos();
        const int32_t type = r.next("event type");
        if (!r.ok()) break;
        packet.push_back(type);
        if (type == kTypeTransient) {
          r.copy(6, &packet, "transient event");
        } else if (type == kTypeContinuous) {
          r.copy(6, &packet, "continuous event");
          Reader k(list, at + 7);
          const int32_t points = k.count("continuous point count", 3);
          if (!k.ok()) r.fail("continuous point count");
          r.copy(1 + 3 * static_cast<size_t>(points), &packet, "continuous points");
        }
      }
    }
    done += run;
    packets->push_back(std::move(packet));
  }
  if (!r.ok()) packets->clear();
  return r.ok();
}

std::vector<int32_t> buildOnEffect(int32_t t, const OnEffectLevels& v) {
  std::vector<int32_t> list = {0, 1, 100, 0, 2, 0, 0, 1};
  if (t > 20) {
    list.insert(list.end(), {0, 0, 2});
    list.insert(list.end(), {kTypeTransient, 5, 0, t / 2, v.transientIntensity, v.transientSharpness, 0});
    list.insert(list.end(), {kTypeContinuous, 18, 0, 0, v.continuousIntensity, v.continuousSharpness,
                             t, 4, 0, 0, 0, 10, 100, 0, t - 10, 100, 0, t, 0, 0});
  } else {
    list.insert(list.end(), {0, 0, 1});
    list.insert(list.end(), {kTypeTransient, 5, 0, 0, v.transientIntensity, v.transientSharpness, 0});
  }
  list[0] = static_cast<int32_t>(list.size());
  return list;
}

}  // namespace aidl::android::hardware::vibrator::he
