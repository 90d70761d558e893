#pragma once
// Test control of the wake-lock stand-in.
#include <string>
#include <vector>

namespace platform::wakelock {

struct Event {
  bool acquire;
  int type;  // PARTIAL_WAKE_LOCK, ... (0 for a release)
  std::string id;
};

void reset();
std::vector<Event> events();
bool held(const std::string& id);
// The most acquisitions of `id` that were outstanding at one time (an acquire while held
// counts one more): more than 1 means two users overlapped.
int maxOverlap(const std::string& id);
// The next acquire / release fails with this errno (once).
void failNextAcquire(int err);
void failNextRelease(int err);

}  // namespace platform::wakelock
