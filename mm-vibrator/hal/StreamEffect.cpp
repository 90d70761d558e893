#define LOG_TAG "vendor.hardware.vibratorfeature"

#include "StreamEffect.h"

#include <dirent.h>
#include <errno.h>
#include <log/log.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <cmath>
#include <regex>

#include "VibratorDevices.h"
#include "platform/paths.h"
#include "platform/properties.h"

namespace {

constexpr const char* kNvFlagPath = "/mnt/vendor/persist/haptics/nv_flag";
constexpr const char* kDefaultFirmwareDir = "/odm/firmware/";
// Effect files are short haptic clips; anything larger is not one.
constexpr long kMaxEffectFileBytes = 64L * 1024 * 1024;
// Digits beyond this would not fit an id or a rate.
constexpr size_t kMaxNumberDigits = 9;

// First line of a file as an integer; false when the file cannot be opened.
bool readIntFile(const char* path, int* value) {
  FILE* f = plat_fopen(path, "r");
  if (f == nullptr) return false;
  char line[64] = {};
  const bool got = fgets(line, sizeof line, f) != nullptr;
  fclose(f);
  long v = got ? strtol(line, nullptr, 10) : 0;
  if (v > INT32_MAX || v < INT32_MIN) v = 0;
  *value = static_cast<int>(v);
  return true;
}

bool writeIntFile(const char* path, int value) {
  FILE* f = plat_fopen(path, "w+");
  if (f == nullptr) {
    ALOGE("failed to open %s.(%s)\n", path, strerror(errno));
    return false;
  }
  fprintf(f, "%d\n", value);
  fclose(f);
  return true;
}

// The non-volatile flag, initialised to 0 when missing or unset, mirrored to the driver.
int loadNvFlag() {
  ALOGD("load_nv_data enter!\n");
  char sysPath[aidl::android::hardware::vibrator::kSysPathMax] = {};
  if (aidl::android::hardware::vibrator::load_sys_path(sysPath, sizeof sysPath) != 0) return -1;
  int flag = -1;
  if (!readIntFile(kNvFlagPath, &flag)) ALOGE("failed to open %s.\n", kNvFlagPath);
  if (flag == -1) {
    writeIntFile(kNvFlagPath, 0);
    flag = 0;
  }
  ALOGD("The nv_flag_value: %d\n", flag);
  ALOGD("haptic_set_nv_flag enter!\n");
  const std::string driverFlag = std::string(sysPath) + "/nv_flag";
  writeIntFile(driverFlag.c_str(), flag);
  return flag;
}

// A run of digits as a number, or -1 when there are too many of them to be one.
long digitsValue(const std::string& digits) {
  if (digits.size() > kMaxNumberDigits) return -1;
  return digits.empty() ? 0 : strtol(digits.c_str(), nullptr, 10);
}

}  // namespace

std::optional<EffectFileName> parseEffectFileName(std::string_view name) {
  static const std::regex kPattern(
      "([0-9]*)_(.[^_]*)_([0-9]*KHz_)?([S|P]_)?([0-9]{1,}[.][0-9]*_)?RTP.bin",
      std::regex::ECMAScript | std::regex::icase);
  std::match_results<std::string_view::const_iterator> m;
  if (!std::regex_match(name.begin(), name.end(), m, kPattern)) return std::nullopt;
  EffectFileName out;
  const long id = digitsValue(m[1].str());
  if (id < 0) {
    ALOGE("effect id of %.*s out of range", static_cast<int>(name.size()), name.data());
    return std::nullopt;
  }
  out.id = static_cast<uint32_t>(id);
  ALOGD("parse id %d", static_cast<int>(out.id));
  if (m[3].matched && m[3].length() > 0) {
    const std::string group = m[3].str();
    const long rate = digitsValue(group.substr(0, group.size() - 4));  // before "KHz_"
    if (rate < 0) {
      ALOGE("sample rate of %.*s out of range", static_cast<int>(name.size()), name.data());
      return std::nullopt;
    }
    // The name gives kilohertz ("48KHz"); the play length works in hertz.
    out.sampleRate = static_cast<int32_t>(rate < 1000 ? rate * 1000 : rate);
  }
  if (m[4].matched && m[4].length() > 0) {
    const char c = *m[4].first;
    if (c == 'S') out.transport = 1;
    if (c == 'P') out.transport = 0;
    ALOGD("parse transport type: %c", c);
  }
  if (m[5].matched && m[5].length() > 0) {
    const std::string group = m[5].str();
    const float strength = strtof(group.c_str(), nullptr);
    if (!std::isfinite(strength)) {
      ALOGE("strength of %.*s out of range", static_cast<int>(name.size()), name.data());
      return std::nullopt;
    }
    out.strength = strength;
    ALOGD("parse effect strength %f", static_cast<double>(strength));
  }
  return out;
}

const char* firmwareDirForF0(int tenthsHz) {
  if (tenthsHz < 1690) return "/odm/firmware/vib_168/";
  if (tenthsHz < 1720) return kDefaultFirmwareDir;
  if (tenthsHz < 1730) return "/odm/firmware/vib_172/";
  return "/odm/firmware/vib_173/";
}

EffectTable get_effect_stream() {
  EffectTable table;
  const int flag = loadNvFlag();
  const int diffF0 = property_get_int32("ro.odm.mm.vibrator.diff_f0", 0);

  char sysPath[aidl::android::hardware::vibrator::kSysPathMax] = {};
  if (aidl::android::hardware::vibrator::load_sys_path(sysPath, sizeof sysPath) != 0) return table;
  ALOGD("Get_Effect_Stream Enter!\n");
  const char* dir = kDefaultFirmwareDir;
  if (flag == 1) {
    dir = "/odm/firmware/nv_firmware/";
  } else if (diffF0 != 0) {
    const std::string f0Path = std::string(sysPath) + "/lra_frequency_hz";
    int tenths = 0;
    if (!readIntFile(f0Path.c_str(), &tenths)) {
      ALOGE("Failed to open %s", f0Path.c_str());
      return table;
    }
    ALOGD("Current f0: %f", static_cast<double>(tenths / 10));
    dir = firmwareDirForF0(tenths);
  }

  DIR* d = plat_opendir(dir);
  if (d == nullptr) {
    ALOGE("Can't open %s\n", dir);
    return table;
  }
  ALOGD("open %s\n", dir);
  while (struct dirent* entry = readdir(d)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;  // the directory's own entries are no effects
    const auto parsed = parseEffectFileName(name);
    if (!parsed) {
      ALOGE("parse id faild for: %s", name.c_str());
      continue;
    }
    ALOGD("parse success for result %s", name.c_str());
    auto* stream = new effect_stream();  // lives as long as the service
    stream->id = parsed->id;
    stream->sampleRate = parsed->sampleRate;
    stream->strength = parsed->strength;
    stream->transport = parsed->transport;
    stream->path = std::string(dir) + name;
    table[stream->id] = stream;  // a later file with the same id replaces the earlier one
  }
  closedir(d);
  return table;
}

LRUCache<unsigned int, CachedEffect>& effectCache() {
  static LRUCache<unsigned int, CachedEffect> cache(kEffectCacheEntries);
  return cache;
}

uint32_t effect_stream::data(EffectBuffer* out) {
  if (auto cached = effectCache().get(id); cached && cached->path == path) {
    size = cached->size;
    if (out != nullptr) *out = std::move(cached->bytes);
    return size;
  }
  FILE* f = plat_fopen(path.c_str(), "rb");
  if (f == nullptr) {
    ALOGE("Failed to open %s", path.c_str());
    return 0;
  }
  ALOGD("Success to open %s", path.c_str());
  long length = -1;
  if (fseek(f, 0, SEEK_END) == 0) length = ftell(f);
  if (length <= 0 || length > kMaxEffectFileBytes) {
    ALOGE("Failed to get file length");
    fclose(f);
    return 0;
  }
  std::shared_ptr<signed char[]> bytes(new signed char[static_cast<size_t>(length)]);
  rewind(f);
  const size_t got = fread(bytes.get(), 1, static_cast<size_t>(length), f);
  fclose(f);
  if (got != static_cast<size_t>(length)) {
    ALOGE("Failed to read %s", path.c_str());
    return 0;
  }
  size = static_cast<uint32_t>(length);
  EffectBuffer buffer = std::move(bytes);
  effectCache().put(id, CachedEffect{buffer, size, path});
  if (out != nullptr) *out = std::move(buffer);
  return size;
}

long effect_stream::playLengthMs() {
  if (playLength != -1) return playLength;
  const uint32_t bytes = data(nullptr);
  // 64-bit: bytes x 1000 overflows 32 bits from 4.3 MB on.
  playLength = sampleRate > 0 ? static_cast<long>(static_cast<uint64_t>(bytes) * 1000u /
                                                  static_cast<uint64_t>(sampleRate))
                              : 0;
  return playLength;
}
