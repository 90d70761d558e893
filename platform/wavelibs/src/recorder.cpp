// The shared call log of the stand-in libraries, their rendering, and the SoC information.
#include <errno.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

#include <android/log.h>
#include <wavelibs/soc_info.h>

#include "recorder.h"

namespace {

constexpr const char* kTag = "platform_wavelibs";
constexpr int32_t kRate = 24000;
constexpr int32_t kTransientSamples = kRate / 100;
constexpr int32_t kMaxDurationMs = 10000;

struct Log {
  std::mutex lock;  // guards everything below
  std::map<std::string, std::vector<platform_wavelibs_test::Call>> calls;
  std::map<std::pair<std::string, std::string>, int64_t> results;
  int32_t socId = 0;
  std::string socName = "host";
};

Log& log() {
  static Log* instance = new Log();
  return *instance;
}

}  // namespace

namespace platform_wavelibs {

void record(const std::string& library, platform_wavelibs_test::Call call) {
  std::lock_guard<std::mutex> lock(log().lock);
  log().calls[library].push_back(std::move(call));
}

std::optional<int64_t> resultFor(const std::string& library, const std::string& call) {
  std::lock_guard<std::mutex> lock(log().lock);
  auto it = log().results.find({library, call});
  if (it == log().results.end()) return std::nullopt;
  return it->second;
}

void logRefusal(const std::string& library, const std::string& what) {
  __android_log_print(ANDROID_LOG_WARN, kTag, "%s: refusing %s", library.c_str(), what.c_str());
}

int32_t samplesOf(const WaveEvent& e) {
  if (!e.continuous) return kTransientSamples;
  return std::clamp(e.durationMs, 0, kMaxDurationMs) * (kRate / 1000);
}

void renderEvent(const WaveEvent& e, int8_t* out) {
  int32_t amplitude = std::clamp(e.intensity, 0, 100) * 127 / 100;
  int32_t halfPeriod = std::max(1, kRate / (2 * std::clamp(e.frequency, 1, 500)));
  int32_t n = samplesOf(e);
  for (int32_t i = 0; i < n; ++i) {
    out[i] = static_cast<int8_t>((i / halfPeriod) % 2 == 0 ? amplitude : -amplitude);
  }
}

}  // namespace platform_wavelibs

extern "C" int get_soc_info(soc_info_t* info) {
  if (info == nullptr) return -EINVAL;
  std::lock_guard<std::mutex> lock(log().lock);
  log().calls["socinfo"].push_back({"get_soc_info", {}, {}});
  info->soc_id = log().socId;
  std::memset(info->soc_name, 0, sizeof(info->soc_name));
  std::strncpy(info->soc_name, log().socName.c_str(), sizeof(info->soc_name) - 1);
  return 0;
}

namespace platform_wavelibs_test {

std::vector<Call> calls(const std::string& library) {
  std::lock_guard<std::mutex> lock(log().lock);
  auto it = log().calls.find(library);
  return it == log().calls.end() ? std::vector<Call>{} : it->second;
}

void setResult(const std::string& library, const std::string& call, int64_t value) {
  std::lock_guard<std::mutex> lock(log().lock);
  log().results[{library, call}] = value;
}

void setSocInfo(int32_t id, const std::string& name) {
  std::lock_guard<std::mutex> lock(log().lock);
  log().socId = id;
  log().socName = name;
}

void reset() {
  std::lock_guard<std::mutex> lock(log().lock);
  log().calls.clear();
  log().results.clear();
  log().socId = 0;
  log().socName = "host";
}

}  // namespace platform_wavelibs_test
