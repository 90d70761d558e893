#pragma once
// Walking a start-sample schedule (ordered multimap start -> item) with a cursor: the
// generator's tracks and curves and a SineTrack's curves share this.

#include <stdint.h>

#include <map>
#include <memory>

template <typename T>
using Schedule = std::multimap<int32_t, std::unique_ptr<T>>;
template <typename T>
using ScheduleNode = typename Schedule<T>::node_type;

// A schedule entry made where allocating is allowed (a binder thread), to be linked into a
// schedule later without allocating (the playback thread sets its start and inserts it).
template <typename T>
ScheduleNode<T> makeScheduleNode(std::unique_ptr<T> item) {
  Schedule<T> holder;
  holder.emplace(0, std::move(item));
  return holder.extract(holder.begin());
}

// Moves the cursor past entries whose start the stream has already passed: they never play,
// and they must not hold back the entries after them.
template <typename T>
void skipPassed(Schedule<T>& schedule, typename Schedule<T>::iterator& cursor, int32_t now) {
  while (cursor != schedule.end() && cursor->first < now) ++cursor;
}

// Hands every entry that starts at `now` to `activate`, in the order they were scheduled,
// and moves the cursor past them.
template <typename T, typename F>
void activateDue(Schedule<T>& schedule, typename Schedule<T>::iterator& cursor, int32_t now,
                 F&& activate) {
  skipPassed(schedule, cursor, now);
  while (cursor != schedule.end() && cursor->first == now) {
    activate(cursor->second.get());
    ++cursor;
  }
}

// Adds a step to a sample position without overflowing int32.
inline int32_t addSamples(int32_t a, int32_t b) {
  int64_t sum = static_cast<int64_t>(a) + b;
  if (sum > INT32_MAX) return INT32_MAX;
  if (sum < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(sum);
}
