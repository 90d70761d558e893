#pragma once
// The telemetry client: event objects with integer and string fields, sent with
// Vistrel::sendEvent. This stand-in keeps what was sent (platform_vistrel_test.h).
#include <cstdint>
#include <string>
#include <utility>
#include <variant>
#include <vector>

class QuonEvent {
 public:
  using Value = std::variant<int, std::string>;
  // Limits of one event; a field past them is refused and logged.
  static constexpr size_t kMaxFields = 64;
  static constexpr size_t kMaxKeyLength = 64;
  static constexpr size_t kMaxStringLength = 1024;

  explicit QuonEvent(int eventId) : mEventId(eventId) {}

  int getEventId() const { return mEventId; }
  // 0, or -1 when the field is refused. A key given again replaces its value in place.
  int putInt(const char* key, int value);
  int putString(const char* key, const char* value);
  const std::vector<std::pair<std::string, Value>>& fields() const { return mFields; }

 private:
  int put(const char* key, Value value);

  int mEventId;
  std::vector<std::pair<std::string, Value>> mFields;
};

class Vistrel {
 public:
  // 0 when the event was handed over; a negative value when it was not.
  static int sendEvent(QuonEvent& event);
};
