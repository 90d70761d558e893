#pragma once
// Walking a start-sample schedule (ordered map start -> items) with a cursor: the
// generator's tracks and curves and a SineTrack's curves share this.

#include <stdint.h>

#include <map>
#include <memory>
#include <vector>

template <typename T>
using Schedule = std::map<int32_t, std::vector<std::unique_ptr<T>>>;

// Moves the cursor past entries whose start the stream has already passed: they never play,
// and they must not hold back the entries after them.
template <typename T>
void skipPassed(Schedule<T>& schedule, typename Schedule<T>::iterator& cursor, int32_t now) {
  while (cursor != schedule.end() && cursor->first < now) ++cursor;
}

// When the cursor's entry starts at `now`, hands its items to `activate` in order and
// advances the cursor by one entry.
template <typename T, typename F>
void activateDue(Schedule<T>& schedule, typename Schedule<T>::iterator& cursor, int32_t now,
                 F&& activate) {
  skipPassed(schedule, cursor, now);
  if (cursor == schedule.end() || cursor->first != now) return;
  for (auto& item : cursor->second) activate(item.get());
  ++cursor;
}

// Adds a step to a sample position without overflowing int32.
inline int32_t addSamples(int32_t a, int32_t b) {
  int64_t sum = static_cast<int64_t>(a) + b;
  if (sum > INT32_MAX) return INT32_MAX;
  if (sum < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(sum);
}
