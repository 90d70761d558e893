// Telemetry events: kept in memory in this stand-in, in the order they were sent.
#include <cstring>
#include <mutex>

#include <android/log.h>

#include "platform_vistrel_test.h"

namespace {

constexpr const char* kTag = "platform_vistrel";

struct Sent {
  std::mutex lock;  // guards everything below
  std::vector<platform_vistrel_test::SentEvent> events;
  int failRc = 0;
};

Sent& sent() {
  static Sent* instance = new Sent();
  return *instance;
}

}  // namespace

int QuonEvent::put(const char* key, Value value) {
  if (key == nullptr || key[0] == '\0' || std::strlen(key) > kMaxKeyLength) {
    __android_log_print(ANDROID_LOG_WARN, kTag, "event %d: refusing a field without a usable key",
                        mEventId);
    return -1;
  }
  for (auto& [k, v] : mFields) {
    if (k == key) {
      v = std::move(value);
      return 0;
    }
  }
  if (mFields.size() >= kMaxFields) {
    __android_log_print(ANDROID_LOG_WARN, kTag, "event %d: refusing field %s, event full", mEventId,
                        key);
    return -1;
  }
  mFields.emplace_back(key, std::move(value));
  return 0;
}

int QuonEvent::putInt(const char* key, int value) { return put(key, value); }

int QuonEvent::putString(const char* key, const char* value) {
  if (value == nullptr || std::strlen(value) > kMaxStringLength) {
    __android_log_print(ANDROID_LOG_WARN, kTag, "event %d: refusing the value of field %s",
                        mEventId, key == nullptr ? "(null)" : key);
    return -1;
  }
  return put(key, std::string(value));
}

int Vistrel::sendEvent(QuonEvent& event) {
  std::lock_guard<std::mutex> lock(sent().lock);
  if (sent().failRc != 0) return sent().failRc;
  sent().events.push_back({event.getEventId(), event.fields()});
  return 0;
}

namespace platform_vistrel_test {

std::optional<int> SentEvent::intField(const std::string& key) const {
  for (const auto& [k, v] : fields) {
    if (k == key && std::holds_alternative<int>(v)) return std::get<int>(v);
  }
  return std::nullopt;
}

std::optional<std::string> SentEvent::stringField(const std::string& key) const {
  for (const auto& [k, v] : fields) {
    if (k == key && std::holds_alternative<std::string>(v)) return std::get<std::string>(v);
  }
  return std::nullopt;
}

std::vector<SentEvent> sentEvents() {
  std::lock_guard<std::mutex> lock(sent().lock);
  return sent().events;
}

void clear() {
  std::lock_guard<std::mutex> lock(sent().lock);
  sent().events.clear();
  sent().failRc = 0;
}

void failSends(int rc) {
  std::lock_guard<std::mutex> lock(sent().lock);
  sent().failRc = rc;
}

}  // namespace platform_vistrel_test
