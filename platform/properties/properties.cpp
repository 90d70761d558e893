// In-process system property store with write-once "ro." keys, defaults files and waits.

#define LOG_TAG "platform"

#include "platform/properties.h"

#include <errno.h>
#include <inttypes.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include <android-base/properties.h>
#include <log/log.h>

#include "platform/paths.h"
#include "platform/properties_test_api.h"

namespace {

constexpr const char* kDefaultsFiles[] = {"/vendor/build.prop", "/odm/build.prop"};

struct Store {
  std::mutex lock;  // guards values and loaded
  std::condition_variable changed;
  std::map<std::string, std::string, std::less<>> values;
  bool loaded = false;
};

Store& store() {
  static Store* s = new Store;
  return *s;
}

bool isReadOnlyKey(std::string_view key) { return key.substr(0, 3) == "ro."; }

// The property service's rules. A name: letters, digits and "_-@:", in parts separated by
// single dots, neither starting nor ending with a dot ("/", "#", spaces, "=" and ".." are
// refused); names have no length limit in the current protocol. A value: below
// PROP_VALUE_MAX bytes except for read-only keys, and valid UTF-8.
bool legalName(std::string_view key) {
  if (key.empty() || key.front() == '.' || key.back() == '.') return false;
  for (size_t i = 0; i < key.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(key[i]);
    if (c == '.') {
      if (key[i - 1] == '.') return false;
      continue;
    }
    const bool alnum = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (!alnum && c != '_' && c != '-' && c != '@' && c != ':') return false;
  }
  return true;
}

bool validUtf8(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    size_t extra = 0;
    uint32_t cp = 0;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      extra = 1;
      cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      extra = 2;
      cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      extra = 3;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (extra >= text.size() - i) return false;  // cut short
    for (size_t k = 1; k <= extra; ++k) {
      const unsigned char cc = static_cast<unsigned char>(text[i + k]);
      if ((cc & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (cc & 0x3F);
    }
    static constexpr uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += extra + 1;
  }
  return true;
}

int checkProperty(std::string_view key, std::string_view value) {
  if (!legalName(key)) return -EINVAL;
  if (value.size() >= PROP_VALUE_MAX && !isReadOnlyKey(key)) return -EINVAL;
  if (value.find('\0') != std::string_view::npos || !validUtf8(value)) return -EINVAL;
  return 0;
}

void storeLocked(Store& s, const std::string& key, const std::string& value) {
  s.values[key] = value;
  android::base::SetProperty(key, value);
  s.changed.notify_all();
}

std::string_view trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' ||
                           text.back() == '\n'))
    text.remove_suffix(1);
  return text;
}

// Reads "key=value" lines; later files override earlier ones, read-only keys included,
// as at boot.
void loadFile(Store& s, FILE* f, const char* name) {
  char* line = nullptr;
  size_t cap = 0;
  ssize_t len;
  unsigned line_no = 0;
  while ((len = getline(&line, &cap, f)) >= 0) {
    ++line_no;
    std::string_view text = trim(std::string_view(line, static_cast<size_t>(len)));
    if (text.empty() || text.front() == '#') continue;
    size_t eq = text.find('=');
    if (eq == std::string_view::npos) continue;  // "import" and other directives
    std::string_view key = trim(text.substr(0, eq));
    std::string_view value = trim(text.substr(eq + 1));
    if (checkProperty(key, value) != 0) {
      ALOGW("%s:%u: ignoring bad property line", name, line_no);
      continue;
    }
    storeLocked(s, std::string(key), std::string(value));
  }
  free(line);
}

void ensureLoadedLocked(Store& s) {
  if (s.loaded) return;
  s.loaded = true;
  for (const char* path : kDefaultsFiles) {
    if (FILE* f = plat_fopen(path, "re")) {
      loadFile(s, f, path);
      fclose(f);
    }
  }
  // The extra file is named by the test or the developer, as a host path.
  const char* extra = getenv("VENDOR_PROPERTIES");
  if (extra != nullptr && extra[0] != '\0') {
    if (FILE* f = fopen(extra, "re")) {
      loadFile(s, f, extra);
      fclose(f);
    } else {
      ALOGW("cannot read VENDOR_PROPERTIES file %s", extra);
    }
  }
}

std::optional<std::string> lookup(const char* key) {
  if (key == nullptr) return std::nullopt;
  Store& s = store();
  std::lock_guard<std::mutex> guard(s.lock);
  ensureLoadedLocked(s);
  auto it = s.values.find(std::string_view(key));
  if (it == s.values.end()) return std::nullopt;
  return it->second;
}

// Copies at most PROP_VALUE_MAX - 1 bytes and a NUL.
int copyValue(const char* text, char* value) {
  size_t n = strnlen(text, PROP_VALUE_MAX - 1);
  memcpy(value, text, n);
  value[n] = '\0';
  return static_cast<int>(n);
}

template <typename Pred>
bool waitFor(const std::string& key, std::chrono::milliseconds timeout, Pred pred) {
  Store& s = store();
  std::unique_lock<std::mutex> guard(s.lock);
  ensureLoadedLocked(s);
  auto ready = [&] {
    auto it = s.values.find(key);
    return pred(it == s.values.end() ? nullptr : &it->second);
  };
  auto now = std::chrono::steady_clock::now();
  if (timeout.count() < 0) timeout = std::chrono::milliseconds(0);
  // "Forever" is the largest duration; adding it to now would overflow the clock.
  auto headroom = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::time_point::max() - now);
  if (timeout >= headroom) {
    s.changed.wait(guard, ready);
    return true;
  }
  return s.changed.wait_until(guard, now + timeout, ready);
}

}  // namespace

extern "C" int property_get(const char* key, char* value, const char* default_value) {
  if (value == nullptr) return -EINVAL;
  std::optional<std::string> found = lookup(key);
  if (found && !found->empty()) return copyValue(found->c_str(), value);
  return copyValue(default_value != nullptr ? default_value : "", value);
}

extern "C" int property_set(const char* key, const char* value) {
  if (key == nullptr || value == nullptr) {
    ALOGW("property_set: NULL %s", key == nullptr ? "key" : "value");
    return -EINVAL;
  }
  if (checkProperty(key, value) != 0) {
    ALOGW("property_set: refusing %s (value of %zu bytes)", key, strlen(value));
    return -EINVAL;
  }
  Store& s = store();
  std::lock_guard<std::mutex> guard(s.lock);
  ensureLoadedLocked(s);
  if (isReadOnlyKey(key) && s.values.count(std::string_view(key)) != 0) {
    ALOGW("property_set: %s is read-only and already set", key);
    return -EPERM;
  }
  storeLocked(s, key, value);
  return 0;
}

extern "C" int8_t property_get_bool(const char* key, int8_t default_value) {
  std::optional<std::string> found = lookup(key);
  if (!found) return default_value;
  static const char* const kTrue[] = {"1", "y", "yes", "on", "true"};
  static const char* const kFalse[] = {"0", "n", "no", "off", "false"};
  for (const char* t : kTrue)
    if (*found == t) return 1;
  for (const char* f : kFalse)
    if (*found == f) return 0;
  return default_value;
}

extern "C" int64_t property_get_int64(const char* key, int64_t default_value) {
  std::optional<std::string> found = lookup(key);
  if (!found || found->empty()) return default_value;
  errno = 0;
  char* end = nullptr;
  intmax_t v = strtoimax(found->c_str(), &end, 0);
  if (end == found->c_str() || errno == ERANGE)
    return default_value;
  return static_cast<int64_t>(v);
}

extern "C" int32_t property_get_int32(const char* key, int32_t default_value) {
  int64_t v = property_get_int64(key, static_cast<int64_t>(INT32_MAX) + 1);
  if (v < INT32_MIN || v > INT32_MAX) return default_value;
  return static_cast<int32_t>(v);
}

extern "C" int property_list(void (*propfn)(const char*, const char*, void*), void* cookie) {
  if (propfn == nullptr) return -EINVAL;
  std::map<std::string, std::string, std::less<>> copy;
  {
    Store& s = store();
    std::lock_guard<std::mutex> guard(s.lock);
    ensureLoadedLocked(s);
    copy = s.values;
  }
  // Called without the lock, so the callback may read or set properties.
  for (const auto& [k, v] : copy) propfn(k.c_str(), v.c_str(), cookie);
  return 0;
}

extern "C" void plat_properties_reset(void) {
  Store& s = store();
  std::lock_guard<std::mutex> guard(s.lock);
  // libbase's own store cannot forget a key; an empty value reads as missing there.
  for (const auto& entry : s.values) android::base::SetProperty(entry.first, "");
  s.values.clear();
  s.loaded = false;
  s.changed.notify_all();
}

namespace android::base {

bool WaitForProperty(const std::string& key, const std::string& expected_value,
                     std::chrono::milliseconds relative_timeout) {
  return waitFor(key, relative_timeout,
                 [&](const std::string* v) { return v != nullptr && *v == expected_value; });
}

bool WaitForPropertyCreation(const std::string& key,
                             std::chrono::milliseconds relative_timeout) {
  return waitFor(key, relative_timeout, [](const std::string* v) { return v != nullptr; });
}

}  // namespace android::base
