#pragma once
// Test capture of the module's system log (FerxLogPrint: tag "[ferx_tsa][function]")
// through liblog's logger hook, so every module's lines are seen in one place. While an
// instance lives, lines are collected as "function: message"; the destructor restores
// liblog's own logger.
#include <android/log.h>

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace fxtest {

class SysLogCapture {
 public:
  struct Line {
    int priority;
    std::string tag;
    std::string message;
  };

  SysLogCapture() {
    Clear();
    __android_log_set_logger(&SysLogCapture::Logger);
    oldPriority_ = __android_log_set_minimum_priority(ANDROID_LOG_VERBOSE);
  }
  ~SysLogCapture() {
    __android_log_set_logger(__android_log_stderr_logger);
    __android_log_set_minimum_priority(oldPriority_);
  }
  SysLogCapture(const SysLogCapture&) = delete;
  SysLogCapture& operator=(const SysLogCapture&) = delete;

  static void Clear() {
    std::lock_guard<std::mutex> lock(Mutex());
    Store().clear();
  }
  static std::vector<Line> Raw() {
    std::lock_guard<std::mutex> lock(Mutex());
    return Store();
  }
  // "function: message" for each line, in order.
  static std::vector<std::string> lines() {
    std::vector<std::string> out;
    for (const auto& l : Raw()) out.push_back(Function(l.tag) + ": " + l.message);
    return out;
  }
  static std::vector<std::string> Messages() {
    std::vector<std::string> out;
    for (const auto& l : Raw()) out.push_back(l.message);
    return out;
  }
  static size_t Count(const std::string& needle) {
    size_t n = 0;
    for (const auto& line : lines()) n += line.find(needle) != std::string::npos;
    return n;
  }

  // Drops every line (for fuzzers and benchmarks that only need quiet).
  static void Silence() { __android_log_set_logger(&SysLogCapture::Drop); }

 private:
  static std::mutex& Mutex() {
    static std::mutex m;
    return m;
  }
  static std::vector<Line>& Store() {
    static std::vector<Line> lines;
    return lines;
  }
  static std::string Function(const std::string& tag) {
    static constexpr char kPrefix[] = "[ferx_tsa][";
    if (tag.rfind(kPrefix, 0) != 0 || tag.empty() || tag.back() != ']') return tag;
    return tag.substr(sizeof(kPrefix) - 1, tag.size() - sizeof(kPrefix));
  }
  static void Logger(const __android_logger_data* d, const char* message) {
    std::lock_guard<std::mutex> lock(Mutex());
    Store().push_back({d->priority, d->tag != nullptr ? d->tag : "", message != nullptr ? message : ""});
  }
  static void Drop(const __android_logger_data*, const char*) {}

  int oldPriority_ = ANDROID_LOG_INFO;
};

}  // namespace fxtest
