#pragma once
// Test control of the telemetry stand-in. Never called by production code.
#include <optional>
#include <string>
#include <vector>

#include <vistrel/Vistrel.h>

namespace platform_vistrel_test {

struct SentEvent {
  int id;
  std::vector<std::pair<std::string, QuonEvent::Value>> fields;

  std::optional<int> intField(const std::string& key) const;
  std::optional<std::string> stringField(const std::string& key) const;
};

// Every event sent, in order.
std::vector<SentEvent> sentEvents();
void clear();
// Sends fail with `rc` (a negative value) until called again with 0.
void failSends(int rc);

}  // namespace platform_vistrel_test
