// The save-log interface. Callers on any thread queue short stamped lines; the
// "touch-save-log" thread appends them to the current file, opening a new dated file when
// one is full and keeping the log root small.
#include "savelog/save_log.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdio.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <android/log.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <string>
#include <vector>

#include "platform/paths.h"

namespace {

constexpr const char *kTag = "[THP-LOG]";
constexpr int32_t kUserTypeSave = 1;
constexpr int32_t kDefaultUserType = 2;
constexpr int kClockWaitTries = 30;
// Log files hold touch data of the user: readable by the owner and the log group only.
constexpr mode_t kFileMode = 0660;
constexpr mode_t kDirMode = 0770;

#define THP_LOG(fmt, ...) __android_log_print(ANDROID_LOG_INFO, kTag, fmt __VA_OPT__(, ) __VA_ARGS__)

struct SaveLog {
  SaveLogQueue queue;
  std::condition_variable wake;
  std::atomic<bool> running{false};
  uint64_t thread = 0;
  // Only the writer thread touches these, except on the common-data path before it starts.
  FILE *file = nullptr;
  std::string path;
  long size = 0;
  std::atomic<int32_t> userType{kDefaultUserType};
  int32_t defaultUserType = kDefaultUserType;
  std::mutex pathLock;  // guards `path` for readers outside the writer
};

SaveLog &state() {
  static SaveLog s;  // destroyed at unload, after exit stopped the writer
  return s;
}

bool localNow(struct tm *out, long *millis) {
  struct timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  const time_t seconds = ts.tv_sec;
  if (localtime_r(&seconds, out) == nullptr) {
    THP_LOG("%s:Unable to get local time", "get_current_timestamp");
    return false;
  }
  if (millis != nullptr) *millis = ts.tv_nsec / 1000000;
  return true;
}

void setPath(const std::string &path) {
  std::lock_guard<std::mutex> guard(state().pathLock);
  state().path = path;
}

void closeFile() {
  SaveLog &s = state();
  if (s.file != nullptr) {
    fclose(s.file);
    s.file = nullptr;
  }
}

// Removes regular files of the root in name order until `keep` entries remain.
void pruneRoot(const std::string &root, const std::vector<std::pair<std::string, unsigned char>> &entries) {
  size_t left = entries.size();
  for (const auto &[name, type] : entries) {
    if (left <= HAL_SAVE_LOG_KEEP_ENTRIES) break;
    if (type != DT_REG) continue;
    THP_LOG("%s:delete history log: %s", "open_log_file", name.c_str());
    if (::unlink((root + "/" + name).c_str()) == 0) --left;
  }
}

bool openLogFile() {
  SaveLog &s = state();
  closeFile();
  struct tm now{};
  for (int tries = 0;; ++tries) {
    if (!localNow(&now, nullptr)) return false;
    if (now.tm_year + 1900 != 1970 || tries >= kClockWaitTries) break;
    THP_LOG("%s:wait for time ready, sleep 1s, then retry!", "open_log_file");
    sleep(1);
  }
  const std::string root = plat_path(HAL_SAVE_LOG_ROOT);
  if (root.empty() || ::access(root.c_str(), R_OK | W_OK) != 0) {
    THP_LOG("%s:can't not access %s", "open_log_file", HAL_SAVE_LOG_ROOT);
    return false;
  }
  DIR *dir = ::opendir(root.c_str());
  if (dir == nullptr) {
    THP_LOG("%s:open %s dir failed", "open_log_file", HAL_SAVE_LOG_ROOT);
    return false;
  }
  std::vector<std::pair<std::string, unsigned char>> entries;
  while (struct dirent *e = ::readdir(dir)) {
    if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0) continue;
    entries.emplace_back(e->d_name, e->d_type);
  }
  ::closedir(dir);
  // Compared by name alone (a pair comparison would pull in a symbol that keeps the module
  // from ever being unloaded).
  std::sort(entries.begin(), entries.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
  for (const auto &[name, type] : entries) {
    THP_LOG("%s:%s/%s type is %d", "open_log_file", HAL_SAVE_LOG_ROOT, name.c_str(), type);
    if (type != DT_DIR || s.file != nullptr) continue;
    const std::string systemPath = std::string(HAL_SAVE_LOG_ROOT) + "/" + name + "/" + HAL_SAVE_LOG_FILE_NAME;
    const std::string hostPath = root + "/" + name + "/" + HAL_SAVE_LOG_FILE_NAME;
    struct stat st{};
    const long size = ::stat(hostPath.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : 0;
    THP_LOG("%s:check log file %s, size is %ld", "open_log_file", systemPath.c_str(), size);
    if (size > HAL_SAVE_LOG_FULL_BYTES) continue;
    s.file = ::fopen(hostPath.c_str(), "a");
    if (s.file == nullptr) {
      THP_LOG("%s:open %s failed", "open_log_file", systemPath.c_str());
      continue;
    }
    THP_LOG("%s:open log file is %s", "open_log_file", systemPath.c_str());
    ::chmod(hostPath.c_str(), kFileMode);
    s.size = size;
    setPath(systemPath);
  }
  THP_LOG("%s:history log count is %d", "open_log_file", static_cast<int>(entries.size()));
  if (entries.size() > HAL_SAVE_LOG_KEEP_ENTRIES) pruneRoot(root, entries);
  if (s.file != nullptr) return true;

  char stamp[64];
  snprintf(stamp, sizeof stamp, "%04d-%02d-%02d-%02d:%02d:%02d", now.tm_year + 1900, now.tm_mon + 1, now.tm_mday,
           now.tm_hour, now.tm_min, now.tm_sec);
  THP_LOG("%s:current time is %s", "open_log_file", stamp);
  const std::string dirPath = root + "/" + stamp;
  struct stat st{};
  if (::stat(dirPath.c_str(), &st) != 0) {
    THP_LOG("%s:dir %s not exist, create it", "open_log_file", stamp);
    if (::mkdir(dirPath.c_str(), kDirMode) != 0 && errno != EEXIST) {
      THP_LOG("%s:create %s failed", "open_log_file", stamp);
      return false;
    }
    ::chmod(dirPath.c_str(), kDirMode);
  }
  const std::string systemPath = std::string(HAL_SAVE_LOG_ROOT) + "/" + stamp + "/" + HAL_SAVE_LOG_FILE_NAME;
  const std::string hostPath = dirPath + "/" + HAL_SAVE_LOG_FILE_NAME;
  s.file = ::fopen(hostPath.c_str(), "a");
  if (s.file == nullptr) {
    THP_LOG("%s:open/create %s failed", "open_log_file", systemPath.c_str());
    return false;
  }
  ::chmod(hostPath.c_str(), kFileMode);
  setPath(systemPath);
  s.size = 0;
  THP_LOG("%s:current log file is %s", "open_log_file", systemPath.c_str());
  return true;
}

void writeLine(const char *line, size_t length) {
  SaveLog &s = state();
  while (s.file != nullptr) {
    if (s.size > HAL_SAVE_LOG_FULL_BYTES) {
      THP_LOG("%s:log full, create new log file!", "write_log");
      if (!openLogFile()) return;
      continue;
    }
    if (fwrite(line, 1, length, s.file) == length) {
      s.size += static_cast<long>(length);
      return;
    }
    THP_LOG("%s:write log file failed!", "write_log");
    std::string path;
    {
      std::lock_guard<std::mutex> guard(s.pathLock);
      path = s.path;
    }
    if (::access(plat_path(path).c_str(), F_OK) == 0) {
      THP_LOG("%s:log file %s exist, but write failed", "write_log", path.c_str());
      return;
    }
    THP_LOG("%s:log file %s not exist, open new log file", "write_log", path.c_str());
    if (!openLogFile()) return;
  }
}

void *writerThread(void *) {
  SaveLog &s = state();
  while (s.running.load()) {
    {
      std::unique_lock<std::mutex> guard(s.queue.lock());
      s.wake.wait_for(guard, std::chrono::seconds(300),
                      [&s] { return s.queue.takeSignalLocked() || !s.running.load(); });
    }
    s.queue.drain(writeLine);
    if (s.file != nullptr) fflush(s.file);
  }
  THP_LOG("%s:save log thread complete", "save_log_thread_routine");
  return nullptr;
}

void stopWriter() {
  SaveLog &s = state();
  if (s.thread == 0) return;
  {
    std::lock_guard<std::mutex> guard(s.queue.lock());
    s.running.store(false);
  }
  s.wake.notify_all();
  pthread_join(static_cast<pthread_t>(s.thread), nullptr);
  s.thread = 0;
  s.queue.drain(writeLine);  // lines queued before the stop still reach the file
  if (s.file != nullptr) fflush(s.file);
}

void startSaveLog() {
  SaveLog &s = state();
  if (s.file != nullptr && s.thread != 0) {
    HAL_LOG_AS(HAL_LOG_INFO, "start_save_log", "save log thread is running");
    return;
  }
  if (!openLogFile()) {
    THP_LOG("%s:open save log file error! please retry again!", "start_save_log");
    return;
  }
  s.queue.clear();
  s.running.store(true);
  s.thread = create_thread("touch-save-log", writerThread, nullptr, 0);
  if (s.thread == 0) {
    THP_LOG("%s:create thread for save log failed", "start_save_log");
    s.running.store(false);
  }
}

int32_t saveLogCommonData(common_data *data, int32_t *pass) {
  if (data == nullptr || data->mode != COMMON_DATA_MODE_USER_TYPE) return 0;
  SaveLog &s = state();
  if (data->cmd == COMMON_DATA_CMD_SET_MODE_VALUE) {
    if (pass != nullptr) *pass = 0;
    const int32_t value = static_cast<int32_t>(data->values[0]);
    if (value == kUserTypeSave) {
      s.userType.store(kUserTypeSave);
      startSaveLog();
    } else if (value == 0 || value == 2) {
      s.userType.store(s.defaultUserType);
      stopWriter();
    }
    property_set_s32(HAL_SAVE_LOG_USER_TYPE_PROPERTY, s.userType.load());
    HAL_LOG_AS(HAL_LOG_INFO, "receive_common_data", "set user type %d", s.userType.load());
    return 0;
  }
  if (data->cmd == COMMON_DATA_CMD_GET_CUR_VALUE) {
    if (pass != nullptr) *pass = 0;
    HAL_LOG_AS(HAL_LOG_INFO, "receive_common_data", "get user type %d", s.userType.load());
    return s.userType.load();
  }
  return 0;
}

int32_t saveLogReadConfig(void *, void *tree, void *accessor) {
  const auto *config = static_cast<const HalConfigAccessor *>(accessor);
  if (config == nullptr || config->get_int_config == nullptr) return 0;
  const int32_t v = config->get_int_config(tree, "save_log_mode.default_user_type", kDefaultUserType);
  state().defaultUserType = v;
  state().userType.store(v);
  return 0;
}

int32_t saveLogInit(TouchPanelInfo *, int32_t, uint8_t, uint8_t) { return 0; }

int32_t saveLogExit() {
  stopWriter();
  closeFile();
  setPath("");
  return 0;
}

void saveLogWrite(const char *name, const char *text) {
  SaveLog &s = state();
  if (text == nullptr || !s.running.load()) return;
  struct tm now{};
  long millis = 0;
  char stamp[64] = "";
  if (localNow(&now, &millis)) {
    snprintf(stamp, sizeof stamp, "%02d-%02d %02d:%02d:%02d.%03ld", now.tm_mon + 1, now.tm_mday, now.tm_hour,
             now.tm_min, now.tm_sec, millis);
  }
  struct timespec mono;
  clock_gettime(CLOCK_MONOTONIC, &mono);
  char line[HAL_SAVE_LOG_LINE_BYTES];
  const int n = snprintf(line, sizeof line, "[%8ld.%06ld] %s %s %s\n", static_cast<long>(mono.tv_sec),
                         static_cast<long>(mono.tv_nsec / 1000), stamp, name != nullptr ? name : "", text);
  if (n < 0) return;
  const size_t length = std::min(static_cast<size_t>(n), sizeof line - 1);
  bool wake = false;
  if (s.queue.push(line, length, &wake) && wake) s.wake.notify_one();
}

void saveLogCheckUserType() {
  const int32_t type = property_get_s32(HAL_SAVE_LOG_USER_TYPE_PROPERTY, kDefaultUserType);
  HAL_LOG_AS(HAL_LOG_INFO, "check_user_type", "check user type is %d", type);
  common_data block;
  memset(&block, 0, sizeof block);
  block.touch_id = hal_touch_id();
  block.cmd = COMMON_DATA_CMD_SET_MODE_VALUE;
  block.mode = COMMON_DATA_MODE_USER_TYPE;
  block.count = 1;
  block.values[0] = static_cast<uint32_t>(type);
  for (uint32_t i = 0; i < HAL_FUNCTION_INTERFACE_COUNT; ++i) {
    const HalFunctionInterface *iface = get_hal_function_interface(i);
    if (iface == nullptr || iface->receive_common_data == nullptr) continue;
    int32_t pass = 0;
    iface->receive_common_data(&block, &pass);
  }
}

const HalFunctionInterface kSaveLogInterface = {
    .init = saveLogInit,
    .exit = saveLogExit,
    .receive_common_data = saveLogCommonData,
    .read_config = saveLogReadConfig,
    .dump_get = nullptr,
    .dump_send = nullptr,
    .suspend = nullptr,
    .rate_change = nullptr,
    .state = nullptr,
    .process1 = reinterpret_cast<hal_generic_fn>(static_cast<hal_save_log_write_fn>(saveLogWrite)),
    .process2 = reinterpret_cast<hal_generic_fn>(static_cast<hal_save_log_check_fn>(saveLogCheckUserType)),
    .extra = {nullptr, nullptr, nullptr},
};

}  // namespace

bool SaveLogQueue::push(const char *stamped, size_t length, bool *wake) {
  std::lock_guard<std::mutex> guard(lock_);
  if (queued_ >= HAL_SAVE_LOG_QUEUE_SLOTS) return false;
  if (length > HAL_SAVE_LOG_LINE_BYTES - 1) length = HAL_SAVE_LOG_LINE_BYTES - 1;
  memcpy(slots_[write_], stamped, length);
  lengths_[write_] = length;
  write_ = (write_ + 1) % HAL_SAVE_LOG_QUEUE_SLOTS;
  ++queued_;
  *wake = sinceWake_ > HAL_SAVE_LOG_WAKE_AFTER;
  if (*wake) signalled_ = true;
  ++sinceWake_;
  return true;
}

size_t SaveLogQueue::queued() const {
  std::lock_guard<std::mutex> guard(lock_);
  return queued_;
}

void SaveLogQueue::clear() {
  std::lock_guard<std::mutex> guard(lock_);
  write_ = read_ = queued_ = sinceWake_ = 0;
  signalled_ = false;
}

std::string hal_save_log_current_path() {
  std::lock_guard<std::mutex> guard(state().pathLock);
  return state().path;
}

bool hal_save_log_writer_running() { return state().running.load(); }

const HalFunctionInterface *hal_savelog_interface(void) { return &kSaveLogInterface; }
