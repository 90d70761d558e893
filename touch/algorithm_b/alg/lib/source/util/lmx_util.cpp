// The utility layer: log, version, random numbers, stopwatch, formatting, hex dump, error
// texts, file operations, and the cached log file. Records are copied into one of two
// preallocated 1 MiB buffers on the frame thread; a full buffer is handed to a short-lived
// writer thread that appends it to the log file, so the frame thread never waits on I/O.
#include "luma_util.h"

#include <android/log.h>
#include <errno.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "platform/paths.h"

extern "C" {
int32_t g_log_level = LMX_LOG_INFO;
int32_t f_log_level = LMX_LOG_INFO;
int32_t a_log_level = LMX_LOG_INFO;
const char *const g_log_level_names[7] = {"all", "verbose", "debug", "info", "warning", "error", "disabled"};
int32_t lmx_last_error;
}

namespace {

constexpr const char *kCacheTag = "[LHPDBG]";
constexpr uint32_t kSwapLevel = LMX_CACHE_SIZE - LMX_CACHE_HEADER + 1;  // 0xFFFF1
constexpr size_t kCopyChunk = 4096;

char s_acVersion[64] = "unknown";

struct Cache {
  std::unique_ptr<uint8_t[]> buffer[2];
  std::atomic<uint32_t> used[2] = {0, 0};
  std::atomic<int> active{0};
  std::atomic<bool> busy{false};
  uint16_t counter = 0;
  std::thread writer;
  // A writer still running when the library goes away finishes its buffer first.
  ~Cache() {
    if (writer.joinable()) writer.join();
  }
};

Cache &TheCache() {
  static Cache cache;
  if (!cache.buffer[0]) {
    cache.buffer[0] = std::make_unique<uint8_t[]>(LMX_CACHE_SIZE);
    cache.buffer[1] = std::make_unique<uint8_t[]>(LMX_CACHE_SIZE);
  }
  return cache;
}

std::string LogPath(const char *name) {
  char path[128];
  std::snprintf(path, sizeof(path), "%s/%s", LMX_LOG_DIR, name);
  return path;
}

void WriterThread(int which) {
  Cache &c = TheCache();
  tofile_flush(c.buffer[which].get(), c.used[which].load());
  c.used[which].store(0);
  c.busy.store(false);
}

bool CopyFile(const std::string &from, const std::string &to) {
  FILE *in = plat_fopen(from.c_str(), "rb");
  if (in == nullptr) return false;
  FILE *out = plat_fopen(to.c_str(), "wb");
  if (out == nullptr) {
    fclose(in);
    return false;
  }
  char chunk[kCopyChunk];
  size_t n;
  bool ok = true;
  while ((n = fread(chunk, 1, sizeof(chunk), in)) > 0) {
    if (fwrite(chunk, 1, n, out) != n) {
      ok = false;
      break;
    }
  }
  fclose(in);
  fclose(out);
  return ok;
}

}  // namespace

extern "C" {

char *g_ver_info = s_acVersion;

__attribute__((constructor)) static void __lmx_version_init__(void) {
  std::snprintf(s_acVersion, sizeof(s_acVersion), "%s", "unknown");
}

int lmx_log_printf(uint32_t level, const char *tag, const char *format, ...) {
  if (g_log_level == LMX_LOG_DISABLED || level < static_cast<uint32_t>(g_log_level) || format == nullptr) return 0;
  char text[1024];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(text, sizeof(text), format, args);
  va_end(args);
  if (alg_module_callback != nullptr && alg_module_callback->log != nullptr) {
    alg_module_callback->log(0, "%s", text);
    return n;
  }
  char name[64];
  std::snprintf(name, sizeof(name), "%s", tag != nullptr ? tag : "");
  const int priority = (level >= 2 && level <= 5) ? static_cast<int>(level) + 1 : ANDROID_LOG_VERBOSE;
  __android_log_print(priority, name, "%s", text);
  return n;
}

char *lmx_version_get(char *buffer, size_t size) {
  char *out = buffer != nullptr ? buffer : s_acVersion;
  const size_t room = buffer != nullptr ? std::min<size_t>(size, sizeof(s_acVersion)) : sizeof(s_acVersion);
  if (room != 0) std::snprintf(out, room, "%s", "v4.0.1");
  return out;
}

uint64_t lmx_util_rand64(void) {
  const uint64_t high = static_cast<uint32_t>(rand());
  const uint64_t low = static_cast<uint32_t>(rand());
  return (high << 32) | low;
}

uint64_t lmx_util_timestamp(uint32_t flags) {
  static uint64_t start;
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  const uint64_t now = static_cast<uint64_t>(ts.tv_sec) * 1000 + static_cast<uint64_t>(ts.tv_nsec) / 1000000;
  if ((flags & 1) == 0) {
    start = now;
    return now;
  }
  return now - start;
}

int lmx_util_vsprintf(char *destination, size_t size, const char *format, va_list args) {
  if (destination == nullptr || format == nullptr || size == 0) return -1;
  return std::vsnprintf(destination, size, format, args);
}

int lmx_util_sprintf(char *destination, size_t size, const char *format, ...) {
  va_list args;
  va_start(args, format);
  const int n = lmx_util_vsprintf(destination, size, format, args);
  va_end(args);
  return n;
}

void lmx_util_hexdump(const void *bytes, int32_t length) {
  if (bytes == nullptr || length < 1) return;
  const auto *p = static_cast<const uint8_t *>(bytes);
  int digits = 0;
  for (uint32_t v = static_cast<uint32_t>(length); v != 0; v >>= 4) ++digits;
  digits = std::max(digits, 4);
  for (int32_t offset = 0; offset < length; offset += 8) {
    char line[128];
    int n = std::snprintf(line, sizeof(line), "%0*x  ", digits, static_cast<unsigned>(offset));
    for (int k = 0; k < 8; ++k) {
      n += offset + k < length ? std::snprintf(line + n, sizeof(line) - n, "%02x ", p[offset + k])
                               : std::snprintf(line + n, sizeof(line) - n, "   ");
    }
    n += std::snprintf(line + n, sizeof(line) - n, " |");
    for (int k = 0; k < 8; ++k) {
      char ch = ' ';
      if (offset + k < length) {
        const uint8_t b = p[offset + k];
        ch = (b >= ' ' && b <= '~' && b != '%' && b != '\\') ? static_cast<char>(b) : '.';
      }
      line[n++] = ch;
    }
    line[n++] = '|';
    line[n] = '\0';
    lmx_log_printf(LMX_LOG_DEBUG, "lumacor:thp", "%s", line);
  }
}

const char *lmx_err_strerror(int32_t code) {
  switch (code) {
    case 0: return "Success";
    case -1: return "Internal error";
    case -2: return "No such file or directory";
    case -4: return "Interrupted";
    case -5: return "I/O error";
    case -11: return "Try again";
    case -12: return "Out of memory";
    case -16: return "Resource busy / Timeout";
    case -200: return "Bad parameter(s)";
    case -201: return "Null pointer";
    case -202: return "Buffer overflow";
    case -203: return "Bad protocol";
    case -204: return "Wrong sensor dimension";
    case -205: return "Device not found";
    case -206: return "Device is dead";
    case -207: return "Up to the limit";
    case -208: return "Untrusted enrollment";
    case -209: return "Template store in REE";
    default: break;
  }
  static char unknown[32];
  std::snprintf(unknown, sizeof(unknown), "0x%x(%d)", static_cast<unsigned>(code), code);
  return unknown;
}

FILE *lmx_file_open(const char *path, const char *mode) {
  if (path == nullptr || mode == nullptr) {
    lmx_last_error = LMX_ERR_BAD_PARAM;
    return nullptr;
  }
  FILE *f = plat_fopen(path, mode);
  if (f == nullptr) lmx_last_error = LMX_ERR_IO;
  return f;
}

int lmx_file_close(FILE *file) {
  if (file == nullptr) return lmx_last_error = LMX_ERR_BAD_PARAM;
  if (fclose(file) != 0) return lmx_last_error = LMX_ERR_IO;
  return 0;
}

size_t lmx_file_read(void *buffer, size_t size, size_t count, FILE *file) {
  lmx_last_error = 0;
  if (buffer == nullptr || file == nullptr || size == 0 || count == 0) {
    lmx_last_error = LMX_ERR_BAD_PARAM;
    return 0;
  }
  if (fread(buffer, size, count, file) != count) {
    lmx_last_error = LMX_ERR_IO;
    return 0;
  }
  return count;
}

size_t lmx_file_write(const void *buffer, size_t size, size_t count, FILE *file) {
  lmx_last_error = 0;
  if (buffer == nullptr || file == nullptr || size == 0 || count == 0) {
    lmx_last_error = LMX_ERR_BAD_PARAM;
    return 0;
  }
  if (fwrite(buffer, size, count, file) != count || fflush(file) != 0 || fsync(fileno(file)) != 0) {
    lmx_last_error = LMX_ERR_IO;
    return 0;
  }
  return count;
}

long lmx_file_size(FILE *file) {
  lmx_last_error = 0;
  if (file == nullptr) {
    lmx_last_error = LMX_ERR_BAD_PARAM;
    return 0;
  }
  const long here = ftell(file);
  fseek(file, 0, SEEK_END);
  const long size = ftell(file);
  fseek(file, here, SEEK_SET);
  return size;
}

int lmx_file_exist(const char *path) {
  if (path == nullptr) return 0;
  if (plat_access(path, F_OK) == 0) return 1;
  lmx_last_error = LMX_ERR_IO;
  return 0;
}

int lmx_file_delete(const char *path) {
  if (path == nullptr) return lmx_last_error = LMX_ERR_BAD_PARAM;
  if (plat_unlink(path) != 0) return lmx_last_error = LMX_ERR_IO;
  return 0;
}

int tofile_flush(const uint8_t *buffer, uint32_t length) {
  if (plat_access(LMX_LOG_DIR, F_OK) != 0) {
    if (errno != ENOENT) {
      lmx_log_printf(LMX_LOG_ERROR, kCacheTag, "access('%s', ..) = %d.", LMX_LOG_DIR, errno);
      return -1;
    }
    if (plat_mkdir_p(LMX_LOG_DIR, 0770) != 0) {
      lmx_log_printf(LMX_LOG_ERROR, kCacheTag, "mkdir('%s', ..) = %d.", LMX_LOG_DIR, errno);
      return -1;
    }
  }
  const std::string path = LogPath(LMX_LOG_FILE);
  const char *mode = "wb+";
  struct stat st {};
  if (plat_stat(path.c_str(), &st) == 0) {
    lmx_log_printf(LMX_LOG_INFO, kCacheTag, "file(%s), size:%ld", path.c_str(), static_cast<long>(st.st_size));
    if (static_cast<long>(st.st_size) + static_cast<long>(length) >= LMX_LOG_ROLL_SIZE) {
      CopyFile(path, LogPath(LMX_LOG_BACKUP));
    } else {
      mode = "ab+";
    }
  }
  FILE *f = plat_fopen(path.c_str(), mode);
  if (f == nullptr) return -1;
  if (buffer != nullptr && length != 0) fwrite(buffer, 1, length, f);
  fclose(f);
  return 0;
}

void tofile_cache(int8_t type, const void *payload, uint32_t length) {
  if (payload == nullptr || length == 0) {
    lmx_log_printf(LMX_LOG_ERROR, kCacheTag, "value/size(%d) is null", static_cast<int>(length));
    return;
  }
  if (length > LMX_CACHE_MAX_PAYLOAD) {
    lmx_log_printf(LMX_LOG_ERROR, kCacheTag, "value/size(%u) is too long", length);
    return;
  }
  Cache &c = TheCache();
  int a = c.active.load();
  if (c.used[a].load() + length >= kSwapLevel) {
    if (c.busy.load()) {
      lmx_log_printf(LMX_LOG_ERROR, kCacheTag, "processing, drop it");
      return;
    }
    lmx_log_printf(LMX_LOG_INFO, kCacheTag, "[%d]size=%u,%u,index=%d", a, c.used[0].load(), c.used[1].load(),
                   c.counter);
    if (c.writer.joinable()) c.writer.join();
    c.busy.store(true);
    c.active.store(a ^ 1);
    c.writer = std::thread(WriterThread, a);
    a ^= 1;
  }
  uint8_t *at = c.buffer[a].get() + c.used[a].load();
  ++c.counter;
  uint8_t header[LMX_CACHE_HEADER] = {};
  header[0] = 1;
  header[1] = static_cast<uint8_t>(c.counter);
  uint64_t micros = 0;
  if (type >= 0) {
    timeval tv{};
    gettimeofday(&tv, nullptr);
    micros = static_cast<uint64_t>(tv.tv_sec) * 1000000u + static_cast<uint64_t>(tv.tv_usec);
  }
  for (int k = 0; k < 8; ++k) header[2 + k] = static_cast<uint8_t>(micros >> (8 * k));
  header[13] = static_cast<uint8_t>(type);
  header[14] = static_cast<uint8_t>(length);
  header[15] = static_cast<uint8_t>(length >> 8);
  std::memcpy(at, header, LMX_CACHE_HEADER);
  std::memcpy(at + LMX_CACHE_HEADER, payload, length);
  c.used[a].fetch_add(length + LMX_CACHE_HEADER);
}

int tofile_close(void) {
  Cache &c = TheCache();
  if (c.writer.joinable()) c.writer.join();
  const int a = c.active.load();
  int result = 0;
  if (c.used[a].load() != 0) {
    result = tofile_flush(c.buffer[a].get(), c.used[a].load());
    c.used[a].store(0);
  }
  return result;
}

}  // extern "C"
