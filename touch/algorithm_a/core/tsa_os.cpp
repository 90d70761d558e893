#include "tsa_os.h"

#include <android/log.h>
#include <dirent.h>
#include <sched.h>
#include <strings.h>
#include <sys/time.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/paths.h"
#include "tsa_module.h"

namespace {

constexpr const char* kSysLogTag = "[ferx_tsa]";
constexpr const char* kHostLogTag = "FERRANT";
constexpr mode_t kDirMode = 0771;

// Levels 1..5 of the module to the system log's priorities; 0 writes nothing.
int SysLogPriority(uint8_t level) {
  switch (level) {
    case 1: return ANDROID_LOG_ERROR;
    case 2: return ANDROID_LOG_WARN;
    case 3: return ANDROID_LOG_INFO;
    case 4:
    case 5: return ANDROID_LOG_DEBUG;
    default: return 0;
  }
}

}  // namespace

// ---- Threads and synchronisation --------------------------------------------------------

extern "C" int host_thread_create(pthread_t* thread, const pthread_attr_t* attr, void* (*start)(void*), void* arg) {
  const int result = pthread_create(thread, attr, start, arg);
  if (result == 0) {
    // Real-time round robin where the system grants it; without the privilege the thread
    // still runs with the default policy.
    sched_param param{};
    param.sched_priority = FERX_THREAD_PRIORITY;
    (void)pthread_setschedparam(*thread, SCHED_RR, &param);
  }
  return result;
}

extern "C" int host_thread_join(pthread_t* thread) { return pthread_join(*thread, nullptr); }
extern "C" int host_mutex_init(pthread_mutex_t* mutex) { return pthread_mutex_init(mutex, nullptr); }
extern "C" int host_mutex_lock(pthread_mutex_t* mutex) { return pthread_mutex_lock(mutex); }
extern "C" int host_mutex_trylock(pthread_mutex_t* mutex) { return pthread_mutex_trylock(mutex); }
extern "C" int host_mutex_unlock(pthread_mutex_t* mutex) { return pthread_mutex_unlock(mutex); }
extern "C" int host_mutex_destroy(pthread_mutex_t* mutex) { return pthread_mutex_destroy(mutex); }
extern "C" int host_condition_init(pthread_cond_t* cond) { return pthread_cond_init(cond, nullptr); }
extern "C" int host_condition_signal(pthread_cond_t* cond) { return pthread_cond_signal(cond); }
extern "C" int host_condition_wait(pthread_cond_t* cond, pthread_mutex_t* mutex) {
  return pthread_cond_wait(cond, mutex);
}
extern "C" int host_condition_destroy(pthread_cond_t* cond) { return pthread_cond_destroy(cond); }

extern "C" sem_t* host_sem_create(uint32_t value) {
  auto* sem = static_cast<sem_t*>(std::malloc(sizeof(sem_t)));
  if (sem == nullptr) return nullptr;
  if (sem_init(sem, 0, value) != 0) {
    std::free(sem);
    return nullptr;
  }
  return sem;
}

extern "C" int host_sem_wait(sem_t* sem) { return sem_wait(sem); }
extern "C" int host_sem_post(sem_t* sem) { return sem_post(sem); }

extern "C" int host_sem_destroy(sem_t* sem) {
  const int result = sem_destroy(sem);
  std::free(sem);
  return result;
}

// ---- Files ------------------------------------------------------------------------------

extern "C" int host_create_directory(const char* path) {
  if (path == nullptr) return -1;
  if (plat_mkdir(path, kDirMode) == 0 || errno == EEXIST) return 0;
  return -1;
}

extern "C" int host_create_multi_directory(const char* path) {
  // Created directly, never through a shell: the path comes from a tool and must not be
  // read as a command line.
  if (path == nullptr || std::strlen(path) > FERX_MULTI_DIR_PATH_MAX) return -1;
  return plat_mkdir_p(path, kDirMode) == 0 ? 0 : -1;
}

extern "C" int find_file(const char* directory, const char* suffix, char* out, uint32_t out_size) {
  if (directory == nullptr || suffix == nullptr || out == nullptr || out_size == 0) return FERX_FIND_NO_DIR;
  DIR* dir = plat_opendir(directory);
  if (dir == nullptr) return FERX_FIND_NO_DIR;
  const size_t suffixLen = std::strlen(suffix);
  const size_t dirLen = std::strlen(directory);
  const char* sep = (dirLen > 0 && directory[dirLen - 1] == '/') ? "" : "/";
  int result = FERX_FIND_NO_MATCH;
  while (const dirent* entry = readdir(dir)) {
    const size_t nameLen = std::strlen(entry->d_name);
    if (nameLen < suffixLen || strcasecmp(entry->d_name + nameLen - suffixLen, suffix) != 0) continue;
    const int n = std::snprintf(out, out_size, "%s%s%s", directory, sep, entry->d_name);
    if (n < 0 || static_cast<uint32_t>(n) >= out_size) continue;
    result = 0;
    break;
  }
  closedir(dir);
  return result;
}

// ---- Clock ------------------------------------------------------------------------------

extern "C" uint64_t FerxGetTimeUsStamp(void) {
  timeval tv{};
  if (gettimeofday(&tv, nullptr) != 0) return 0;
  return static_cast<uint64_t>(tv.tv_sec) * 1000000u + static_cast<uint64_t>(tv.tv_usec);
}

// ---- Logging ----------------------------------------------------------------------------

extern "C" void log_print(int level, const char* format, ...) {
  const AlgHostCallbacks* host = alg_host_callbacks;
  if (host == nullptr || host->log == nullptr || format == nullptr) return;
  char message[FERX_LOG_MSG_BYTES];
  va_list args;
  va_start(args, format);
  std::vsnprintf(message, sizeof(message), format, args);
  va_end(args);
  char line[FERX_LOG_LINE_BYTES];
  std::snprintf(line, sizeof(line), "[ferx]: %s", message);
  host->log(level, "%s", line);
}

extern "C" void FerxLogPrint(const char* function, uint8_t level, const char* format, ...) {
  const int priority = SysLogPriority(level);
  if (priority == 0 || format == nullptr) return;
  char tag[FERX_SYSLOG_TAG_BYTES];
  std::snprintf(tag, sizeof(tag), "%s[%s]", kSysLogTag, function != nullptr ? function : "");
  char message[FERX_SYSLOG_MSG_BYTES];
  va_list args;
  va_start(args, format);
  std::vsnprintf(message, sizeof(message), format, args);
  va_end(args);
  __android_log_print(priority, tag, "%s", message);
}

extern "C" void host_log_print(const char* text) {
  __android_log_print(ANDROID_LOG_INFO, kHostLogTag, "%s", text != nullptr ? text : "");
}

extern "C" void FerxlogPrintArray(const char* function, const void* values, uint8_t type, uint32_t count,
                                  uint8_t per_line, uint8_t level) {
  if (count == 0 || values == nullptr) return;
  const auto* bytes = static_cast<const uint8_t*>(values);
  char line[FERX_ARRAY_LINE_BYTES];
  size_t used = 0;
  line[0] = '\0';
  for (uint32_t i = 0; i < count; ++i) {
    int n = 0;
    switch (type) {
      case FERX_ARRAY_U8:
        n = std::snprintf(line + used, sizeof(line) - used, "%02x ", bytes[i]);
        break;
      case FERX_ARRAY_U16: {
        uint16_t v;
        std::memcpy(&v, bytes + 2u * i, sizeof(v));
        n = std::snprintf(line + used, sizeof(line) - used, "%u ", v);
        break;
      }
      case FERX_ARRAY_S16: {
        int16_t v;
        std::memcpy(&v, bytes + 2u * i, sizeof(v));
        n = std::snprintf(line + used, sizeof(line) - used, "%d ", v);
        break;
      }
      default:
        break;
    }
    if (n > 0) used += static_cast<size_t>(n) < sizeof(line) - used ? static_cast<size_t>(n) : sizeof(line) - 1 - used;
    const uint32_t position = i + 1;
    const bool full = used >= FERX_ARRAY_LINE_FLUSH;
    const bool lineEnd = per_line != 0 && position != 1 && position % per_line == 0;
    if (full || lineEnd) {
      FerxLogPrint(function, level, "%s", line);
      used = 0;
      line[0] = '\0';
    }
  }
  if (used != 0) FerxLogPrint(function, level, "%s", line);
}
