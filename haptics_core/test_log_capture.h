#pragma once
// Collects what the core logs, through liblog's process-wide logger hook, so that tests can
// check that a refusal was reported, and reported once.

#include <android/log.h>

#include <mutex>
#include <string>
#include <vector>

namespace brax_test {

struct LogLine {
  int priority;
  std::string tag;
  std::string message;
};

class LogCapture {
 public:
  LogCapture() {
    {
      std::lock_guard<std::mutex> lock(Mutex());
      Lines().clear();
    }
    __android_log_set_logger(&LogCapture::Collect);
    __android_log_set_minimum_priority(ANDROID_LOG_VERBOSE);
  }
  ~LogCapture() { __android_log_set_logger(__android_log_stderr_logger); }

  // How many lines carried exactly this message.
  static int Count(const std::string& message) {
    std::lock_guard<std::mutex> lock(Mutex());
    int n = 0;
    for (const auto& l : Lines()) n += l.message == message;
    return n;
  }
  static std::vector<LogLine> All() {
    std::lock_guard<std::mutex> lock(Mutex());
    return Lines();
  }

 private:
  static void Collect(const __android_logger_data* d, const char* message) {
    std::lock_guard<std::mutex> lock(Mutex());
    Lines().push_back({d->priority, d->tag ? d->tag : "", message ? message : ""});
  }
  static std::mutex& Mutex() {
    static std::mutex m;
    return m;
  }
  static std::vector<LogLine>& Lines() {
    static std::vector<LogLine> lines;
    return lines;
  }
};

}  // namespace brax_test
