#pragma once
// A host table that records what the module asks of its host: log lines, fingerprint-area
// calls, requests, timers and reports. Tests point the table's entries at these.
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "luma_core.h"

namespace {

struct Recorder {
  static inline std::vector<std::string> logs;
  static inline std::vector<uint8_t> fod;
  static inline std::vector<std::pair<uint32_t, std::vector<uint32_t>>> requests;
  static inline std::vector<std::pair<const timer_tool *, int32_t>> starts;
  static inline std::vector<const timer_tool *> stops;
  static inline std::vector<uint8_t> report_counts;
  static inline int registered = 0;

  static void Reset() {
    logs.clear();
    fod.clear();
    requests.clear();
    starts.clear();
    stops.clear();
    report_counts.clear();
    registered = 0;
  }
  static void Log(int32_t, const char *format, ...) {
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    logs.emplace_back(text);
  }
  static void Fod(uint8_t v) { fod.push_back(v); }
  static int32_t Request(uint32_t type, uint32_t *payload, uint32_t length) {
    requests.emplace_back(type, std::vector<uint32_t>(payload, payload + length / 4));
    return 7;
  }
  static int32_t Start(timer_tool *t, int32_t ms) {
    starts.emplace_back(t, ms);
    return 0;
  }
  static int32_t Stop(timer_tool *t) {
    stops.push_back(t);
    return 0;
  }
  static int32_t Register(timer_tool *t, timer_tool_handler) {
    t->start = Start;
    t->stop = Stop;
    ++registered;
    return 0;
  }
  static void Report(AlgTouchPoint *, uint8_t count) { report_counts.push_back(count); }
  static bool Logged(const std::string &line) {
    for (const auto &l : logs) {
      if (l == line) return true;
    }
    return false;
  }
  static bool Has(const std::string &needle) {
    for (const auto &l : logs) {
      if (l.find(needle) != std::string::npos) return true;
    }
    return false;
  }
};

}  // namespace
