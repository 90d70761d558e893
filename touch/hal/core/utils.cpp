// Small run-time helpers of the module: memory with retries, integer and boolean
// properties, calendar conversion, time differences, sleeping and atrace markers.
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <mutex>

#include "core/hal_core.h"
#include "platform/devio.h"
#include "platform/properties.h"

HAL_EXPORT_VAR int trace_level = 0;
HAL_EXPORT_VAR int enable_trace = 0;

void hal_sleep_ms(uint32_t ms) {
  struct timespec left{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

namespace {
std::atomic<uint32_t> g_start_retry_ms{HAL_START_RETRY_MS};
std::atomic<uint32_t> g_start_attempts{HAL_START_MAX_ATTEMPTS};
}  // namespace

void hal_set_start_retry(uint32_t interval_ms, uint32_t attempts) {
  const bool reset = interval_ms == 0 && attempts == 0;
  g_start_retry_ms = reset ? HAL_START_RETRY_MS : interval_ms;
  g_start_attempts = reset ? HAL_START_MAX_ATTEMPTS : (attempts == 0 ? 1 : attempts);
}
uint32_t hal_start_retry_ms(void) { return g_start_retry_ms.load(); }
uint32_t hal_start_max_attempts(void) { return g_start_attempts.load(); }

namespace {
std::atomic<uint32_t> g_open_retry_ms{HAL_OPEN_RETRY_MS};
}  // namespace
void hal_set_open_retry_ms(uint32_t interval_ms) { g_open_retry_ms = interval_ms == 0 ? HAL_OPEN_RETRY_MS : interval_ms; }
uint32_t hal_open_retry_ms(void) { return g_open_retry_ms.load(); }

uint64_t hal_monotonic_ns(void) {
  struct timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1000000000ull + static_cast<uint64_t>(now.tv_nsec);
}

void *alloc_memory(uint64_t size, uint32_t attempts) {
  uint32_t tries = attempts & 0xffu;
  if (tries == 0) tries = 1;
  for (uint32_t i = 0; i < tries; ++i) {
    void *p = malloc(size);
    if (p != nullptr) return p;
  }
  HAL_LOGE("alloc memory failed! size is %ld", static_cast<long>(size));
  return nullptr;
}

void free_memory(void *ptr) {
  if (ptr != nullptr) free(ptr);
}

int32_t property_set_s32(const char *key, int32_t value) {
  if (key == nullptr) {
    HAL_LOGE("set prop key is NULL");
    return HAL_RESULT_FAILED;
  }
  char text[16];
  snprintf(text, sizeof(text), "%d", value);
  HAL_LOGI("set prop %s to %s", key, text);
  return property_set(key, text) == 0 ? 0 : HAL_RESULT_FAILED;
}

namespace {
// The property's text, or false when it is missing (logged with the default).
bool read_property(const char *func, const char *key, char (&value)[PROP_VALUE_MAX], int32_t default_value) {
  if (key == nullptr) {
    HAL_LOG_AS(HAL_LOG_ERROR, func, "get prop key is NULL");
    return false;
  }
  if (property_get(key, value, nullptr) <= 0) {
    HAL_LOG_AS(HAL_LOG_ERROR, func, "get prop %s not find, return default value %d", key, default_value);
    return false;
  }
  return true;
}
}  // namespace

int32_t property_get_s32(const char *key, int32_t default_value) {
  char value[PROP_VALUE_MAX];
  if (!read_property("property_get_s32", key, value, default_value)) return default_value;
  const int32_t result = atoi(value);
  HAL_LOGI("get prop %s is %s(%d)", key, value, result);
  return result;
}

bool hal_property_get_bool(const char *key, bool default_value) {
  char value[PROP_VALUE_MAX];
  if (!read_property("property_get_bool", key, value, default_value)) return default_value;
  bool result = default_value;
  if (strncmp(value, "true", 4) == 0) result = true;
  else if (strncmp(value, "false", 5) == 0) result = false;
  HAL_LOG_AS(HAL_LOG_INFO, "property_get_bool", "get prop %s is %s(%d)", key, value, result);
  return result;
}

// The Gregorian conversion of the kernel's rtc_time_to_tm, in UTC.
void rtc_time_to_tm(uint64_t seconds, void *tm_out) {
  if (tm_out == nullptr) return;
  static const uint8_t kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  auto leap = [](uint32_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; };
  HalRtcTime tm{};
  uint64_t days = seconds / 86400;
  uint32_t rem = static_cast<uint32_t>(seconds % 86400);
  tm.tm_wday = static_cast<int32_t>((days + 4) % 7);
  uint32_t year = 1970;
  while (days >= (leap(year) ? 366u : 365u)) {
    days -= leap(year) ? 366u : 365u;
    ++year;
  }
  tm.tm_year = static_cast<int32_t>(year - 1900);
  tm.tm_yday = static_cast<int32_t>(days + 1);
  uint32_t month = 0;
  for (; month < 11; ++month) {
    const uint32_t len = kMonthDays[month] + ((month == 1 && leap(year)) ? 1u : 0u);
    if (days < len) break;
    days -= len;
  }
  tm.tm_mon = static_cast<int32_t>(month);
  tm.tm_mday = static_cast<int32_t>(days + 1);
  tm.tm_hour = static_cast<int32_t>(rem / 3600);
  rem %= 3600;
  tm.tm_min = static_cast<int32_t>(rem / 60);
  tm.tm_sec = static_cast<int32_t>(rem % 60);
  tm.tm_isdst = 0;
  memcpy(tm_out, &tm, sizeof(tm));
}

uint64_t timeval_diff(int64_t s1, int64_t us1, int64_t s2, int64_t us2) {
  const __int128 a = static_cast<__int128>(s1) * 1000000 + us1;
  const __int128 b = static_cast<__int128>(s2) * 1000000 + us2;
  return static_cast<uint64_t>(a > b ? a - b : b - a);
}

// ---------------------------------------------------------------------------------------
// atrace: the enabled tags come from the property the platform's trace layer keeps; the
// markers go to the kernel's trace_marker node.
namespace {
constexpr uint64_t kGraphicsTag = 1u << 1;
constexpr size_t kTraceTextMax = 100;
constexpr const char *kTraceTagsProperty = "debug.atrace.tags.enableflags";
constexpr const char *kTraceMarker = "/sys/kernel/tracing/trace_marker";

uint64_t atrace_enabled_tags() {
  char value[PROP_VALUE_MAX];
  if (property_get(kTraceTagsProperty, value, "0") <= 0) return 0;
  return strtoull(value, nullptr, 0);
}

bool trace_on(int32_t level) {
  return __atomic_load_n(&enable_trace, __ATOMIC_RELAXED) != 0 &&
         __atomic_load_n(&trace_level, __ATOMIC_RELAXED) >= level && (atrace_enabled_tags() & kGraphicsTag) != 0;
}

void trace_write(const char *text) {
  static std::mutex marker_lock;
  static int marker_fd = -2;
  std::lock_guard<std::mutex> guard(marker_lock);
  if (marker_fd == -2) marker_fd = plat_open(kTraceMarker, O_WRONLY | O_CLOEXEC);
  if (marker_fd >= 0) (void)!plat_write(marker_fd, text, strlen(text));
}
}  // namespace

void thp_set_trace_level(int32_t level) { __atomic_store_n(&trace_level, level, __ATOMIC_RELAXED); }

void thp_check_trace(void) {
  __atomic_store_n(&enable_trace, (atrace_enabled_tags() & kGraphicsTag) != 0 ? 1 : 0, __ATOMIC_RELAXED);
}

void thp_atrace_print(int32_t level, const char *format, ...) {
  if (format == nullptr || !trace_on(level)) return;
  char text[kTraceTextMax + 1];
  va_list args;
  va_start(args, format);
  vsnprintf(text, sizeof(text), format, args);
  va_end(args);
  char line[kTraceTextMax + 32];
  snprintf(line, sizeof(line), "B|%d|%s", getpid(), text);
  trace_write(line);
}

void thp_atrace_name(int32_t level, const char *name) {
  if (name == nullptr || !trace_on(level)) return;
  char line[kTraceTextMax + 32];
  snprintf(line, sizeof(line), "B|%d|%.100s", getpid(), name);
  trace_write(line);
}

void thp_atrace_end(int32_t level) {
  if (!trace_on(level)) return;
  trace_write("E|");
}

void thp_atrace_int64(int32_t level, const char *name, int64_t value) {
  if (name == nullptr || !trace_on(level)) return;
  char line[kTraceTextMax + 64];
  snprintf(line, sizeof(line), "C|%d|%.100s|%lld", getpid(), name, static_cast<long long>(value));
  trace_write(line);
}
