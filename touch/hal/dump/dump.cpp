// The dump interface. Capture buffers are filled by the host on the frame thread
// (send_dump_info) and consumed by the "touch-dump" thread, which appends them to the raw
// file, runs the point-count test and feeds the history that trigger, test and breakline
// saves write out.
#include "dump/dump.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/input.h>
#include <poll.h>
#include <pthread.h>
#include <stdio.h>
#include <string.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "platform/devio.h"
#include "platform/paths.h"
#include "rawdata/raw_data.h"

void *alg_info_output = nullptr;

namespace {

constexpr const char *kVersion = "hal-24.09.26.001";
constexpr int32_t kSendTypeDumpStatus = 15;
constexpr int kInotifyWakeups = 12;
// Waiting for a volume-key device runs on the host's command path: bounded, so that a
// phone without one does not hold that path.
constexpr int kInotifyWaitMs = 2000;
constexpr size_t kControlWord = 8;

struct Capture {
  std::vector<uint8_t> bytes;
  int32_t length = 0;
};

struct DumpState {
  std::mutex lock;  // guards the capture ring, the history and the thread handles
  std::condition_variable signal;
  std::condition_variable idle;
  uint32_t frameInfoSize = 0;
  uint32_t startInfoSize = 0;
  bool saveTicDump = false;
  std::vector<Capture> buffers;  // HAL_DUMP_CAPTURE_BUFFERS when allocated
  std::vector<uint8_t> startInfo;
  int32_t startLength = 0;
  uint32_t producer = 0;
  uint32_t consumer = 0;
  uint32_t pending = 0;  // filled and not yet consumed
  bool busy = false;     // the thread is working outside the lock
  std::vector<Capture> history;
  uint32_t historyPos = 0;
  bool historyWrapped = false;
  std::atomic<bool> running{false};
  bool stop = false;
  uint64_t thread = 0;

  // Modes (plain flags read by the dump thread).
  std::atomic<int32_t> presetPoint{-1};
  std::atomic<bool> testMode{false};
  std::atomic<int32_t> testHistory{0};
  std::atomic<int32_t> testCount{0};
  std::atomic<bool> rawCapture{false};
  std::atomic<bool> breakline{false};
  std::atomic<int32_t> breaklineSave{0};
  std::atomic<int32_t> triggerCount{0};
  bool testTriggered = false;  // dump thread only
  uint16_t tx = 0, rx = 0;

  // Volume-key trigger.
  std::vector<int> keyFds;
  int controlRead = -1;
  int controlWrite = -1;
  uint64_t getevent = 0;
};

DumpState &dump() {
  static DumpState s;  // destroyed at unload, after exit stopped both threads
  return s;
}

// ---- history --------------------------------------------------------------------------

// Called with the lock held.
bool allocHistoryLocked() {
  DumpState &d = dump();
  if (!d.history.empty()) return true;
  try {
    d.history.resize(HAL_DUMP_HISTORY_MAX);
  } catch (const std::bad_alloc &) {
    HAL_LOG_AS(HAL_LOG_ERROR, "hal_save_dump_init", "alloc history failed");
    return false;
  }
  d.historyPos = 0;
  d.historyWrapped = false;
  return true;
}

void freeHistoryLocked() {
  DumpState &d = dump();
  std::vector<Capture>().swap(d.history);
  d.historyPos = 0;
  d.historyWrapped = false;
}

// Writes the newest n history entries to the mode's file, the start information as header.
void saveHistory(uint32_t n, int32_t mode) {
  std::vector<Capture> entries;
  std::vector<uint8_t> start;
  {
    DumpState &d = dump();
    std::lock_guard<std::mutex> guard(d.lock);
    if (d.history.empty()) return;
    if (n > HAL_DUMP_HISTORY_MAX) n = HAL_DUMP_HISTORY_MAX;
    const uint32_t p = d.historyPos;
    uint32_t first;
    uint32_t count;
    if (!d.historyWrapped) {
      first = p > n ? p - n : 0;
      count = p - first;
    } else {
      count = n;
      first = (p + HAL_DUMP_HISTORY_MAX - n) % HAL_DUMP_HISTORY_MAX;
    }
    entries.reserve(count);
    for (uint32_t i = 0; i < count; ++i) entries.push_back(d.history[(first + i) % HAL_DUMP_HISTORY_MAX]);
    start.assign(d.startInfo.begin(), d.startInfo.begin() + d.startLength);
  }
  for (const Capture &c : entries) {
    thp_raw_frame_save(mode, start.data(), c.bytes.data(), static_cast<uint32_t>(start.size()),
                       static_cast<uint32_t>(c.length));
  }
  thp_save_raw_dump_close(mode);
}

// ---- capture --------------------------------------------------------------------------

void *dumpThread(void *);

// Called with the lock held.
void freeCaptureLocked() {
  DumpState &d = dump();
  std::vector<Capture>().swap(d.buffers);
  std::vector<uint8_t>().swap(d.startInfo);
  d.producer = d.consumer = d.pending = 0;
}

void joinDumpThread() {
  DumpState &d = dump();
  uint64_t thread;
  {
    std::lock_guard<std::mutex> guard(d.lock);
    thread = d.thread;
    d.thread = 0;
  }
  if (thread != 0) pthread_join(static_cast<pthread_t>(thread), nullptr);
}

void startCapture() {
  DumpState &d = dump();
  if (d.running.load()) return;
  joinDumpThread();  // a thread that stopped by itself
  std::unique_lock<std::mutex> guard(d.lock);
  if (d.frameInfoSize == 0) {
    HAL_LOG_AS(HAL_LOG_ERROR, "hal_save_dump_init", "dump_frameinfo_size is 0, no capture");
    return;
  }
  try {
    if (d.buffers.empty()) {
      d.buffers.resize(HAL_DUMP_CAPTURE_BUFFERS);
      for (Capture &c : d.buffers) c.bytes.assign(d.frameInfoSize, 0);
    }
    if (d.startInfo.empty()) d.startInfo.assign(d.startInfoSize > 0 ? d.startInfoSize : 1, 0);
  } catch (const std::bad_alloc &) {
    // Capture is a debugging aid: without memory it is refused, the touch stack goes on.
    HAL_LOG_AS(HAL_LOG_ERROR, "hal_save_dump_init", "alloc dump buffers failed");
    freeCaptureLocked();
    return;
  }
  d.stop = false;
  d.running.store(true);
  d.thread = create_thread("touch-dump", dumpThread, nullptr, 0);
  if (d.thread == 0) {
    d.running.store(false);
    freeCaptureLocked();
    HAL_LOG_AS(HAL_LOG_ERROR, "hal_save_dump_init", "create thread for save dump failed");
    return;
  }
  HalHostCallbacks *host = get_hal_module_callback();
  int32_t length = 0;
  if (host != nullptr && host->dump_start_info != nullptr && d.startInfoSize > 0) {
    length = host->dump_start_info(d.startInfo.data(), d.startInfoSize);
  }
  d.startLength = length < 0 ? 0 : (static_cast<uint32_t>(length) > d.startInfoSize ? d.startInfoSize : length);
}

void thpTestStep(const Capture &c) {
  (void)c;
  const HalModuleParam *param = get_hal_module_param();
  thp_test_mode(HAL_RAW_MODE_TEST, param);
}

void *dumpThread(void *) {
  DumpState &d = dump();
  std::vector<Capture> work;
  while (true) {
    std::vector<uint8_t> start;
    {
      std::unique_lock<std::mutex> guard(d.lock);
      d.busy = false;
      d.idle.notify_all();
      d.signal.wait(guard, [&d] { return d.pending > 0 || d.stop; });
      if (d.stop) break;
      if (d.pending > HAL_DUMP_CAPTURE_BUFFERS) {
        HAL_LOG_AS(HAL_LOG_ERROR, "hal_save_dump_thread", "buf is full");
        d.consumer = d.producer;  // the oldest were overwritten: take the last full round
        d.pending = HAL_DUMP_CAPTURE_BUFFERS;
      }
      work.clear();
      for (uint32_t i = 0; i < d.pending; ++i) {
        work.push_back(d.buffers[d.consumer]);
        d.consumer = (d.consumer + 1) % HAL_DUMP_CAPTURE_BUFFERS;
      }
      d.pending = 0;
      d.busy = true;
      start.assign(d.startInfo.begin(), d.startInfo.begin() + d.startLength);
    }
    for (const Capture &c : work) {
      if (d.rawCapture.load()) {
        thp_raw_frame_save(HAL_RAW_MODE_RAW, start.data(), c.bytes.data(), static_cast<uint32_t>(start.size()),
                           static_cast<uint32_t>(c.length));
      }
      if (d.testMode.load()) thpTestStep(c);
      std::lock_guard<std::mutex> guard(d.lock);
      if (!d.history.empty()) {
        d.history[d.historyPos] = c;
        if (++d.historyPos >= HAL_DUMP_HISTORY_MAX) {
          d.historyPos = 0;
          d.historyWrapped = true;
        }
      }
    }
    std::lock_guard<std::mutex> guard(d.lock);
    if (d.triggerCount.load() != 0 || d.breakline.load() || d.testMode.load()) continue;
    if (d.rawCapture.load()) {
      freeHistoryLocked();
      continue;
    }
    break;
  }
  std::lock_guard<std::mutex> guard(d.lock);
  d.running.store(false);
  d.busy = false;
  freeCaptureLocked();
  d.idle.notify_all();
  return nullptr;
}

void stopCaptureThread() {
  DumpState &d = dump();
  {
    std::lock_guard<std::mutex> guard(d.lock);
    d.stop = true;
  }
  d.signal.notify_all();
  joinDumpThread();
}

// ---- volume-key trigger ---------------------------------------------------------------

bool hasKey(int fd, int code) {
  uint8_t bits[KEY_MAX / 8 + 1] = {};
  if (plat_ioctl(fd, EVIOCGBIT(EV_KEY, sizeof bits), bits) < 0) return false;
  return (bits[code / 8] & (1u << (code % 8))) != 0;
}

// Called with nothing held. Keeps the volume-key devices of /dev/input.
int scanInputDevices() {
  DumpState &d = dump();
  DIR *dir = plat_opendir("/dev/input");
  if (dir == nullptr) return 0;
  std::vector<std::string> names;
  while (struct dirent *e = readdir(dir)) {
    if (e->d_name[0] != '.') names.push_back(e->d_name);
  }
  closedir(dir);
  for (const std::string &name : names) {
    const std::string path = "/dev/input/" + name;
    const int fd = plat_open(path.c_str(), O_RDONLY | O_NONBLOCK);
    if (fd < 0) continue;
    if (hasKey(fd, KEY_VOLUMEDOWN) || hasKey(fd, KEY_VOLUMEUP)) {
      HAL_LOG_AS(HAL_LOG_INFO, "find_touch_device", "find touch name:%s", path.c_str());
      HAL_LOG_AS(HAL_LOG_INFO, "find_touch_device", "vol_event_fd:%d", fd);
      d.keyFds.push_back(fd);
    } else {
      plat_close(fd);
    }
  }
  return static_cast<int>(d.keyFds.size());
}

bool findTouchDevice() {
  DumpState &d = dump();
  if (scanInputDevices() == 0) {
    const std::string dir = plat_path("/dev/input");
    const int in = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    const int wd = in >= 0 ? inotify_add_watch(in, dir.c_str(), IN_CREATE | IN_DELETE) : -1;
    if (wd < 0) {
      HAL_LOG_AS(HAL_LOG_ERROR, "find_touch_device", "could not add watch for %s", "/dev/input");
      if (in >= 0) close(in);
      return false;
    }
    bool changed = false;
    for (int i = 0; i < kInotifyWakeups && !changed; ++i) {
      struct pollfd p = {in, POLLIN, 0};
      if (poll(&p, 1, kInotifyWaitMs / kInotifyWakeups) <= 0) continue;
      char events[4096];
      changed = read(in, events, sizeof events) > 0;
    }
    close(in);
    if (!changed || scanInputDevices() == 0) {
      HAL_LOG_AS(HAL_LOG_ERROR, "find_touch_device", "can't get touch device");
      return false;
    }
  }
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return false;
  d.controlRead = fds[0];
  d.controlWrite = fds[1];
  HAL_LOG_AS(HAL_LOG_INFO, "find_touch_device", "dump_fd:%d", d.controlRead);
  HAL_LOG_AS(HAL_LOG_ERROR, "find_touch_device", "input_cnt:%d", static_cast<int>(d.keyFds.size()));
  return true;
}

void writeControl(const char *word) {
  DumpState &d = dump();
  if (d.controlWrite < 0) return;
  char message[kControlWord] = {};
  strncpy(message, word, sizeof message);
  // A pipe keeps each 8-byte word apart, where an eventfd would add them together.
  (void)!write(d.controlWrite, message, sizeof message);
}

int64_t eventUs(const input_event &e) {
  return static_cast<int64_t>(e.input_event_sec) * 1000000 + e.input_event_usec;
}

void triggerSave() {
  HAL_LOG_AS(HAL_LOG_INFO, "thp_get_event_thread", "trigger_dump");
  saveHistory(static_cast<uint32_t>(dump().triggerCount.load()), HAL_RAW_MODE_TRIGGER);
}

void *geteventThread(void *) {
  DumpState &d = dump();
  int ups = 0, downs = 0;
  int64_t firstUp = 0, lastDown = 0;
  std::vector<struct pollfd> fds;
  for (int fd : d.keyFds) fds.push_back({fd, POLLIN, 0});
  fds.push_back({d.controlRead, POLLIN, 0});
  while (true) {
    if (plat_poll(fds.data(), fds.size(), -1) <= 0) continue;
    if (fds.back().revents & POLLIN) {
      char word[kControlWord] = {};
      if (read(d.controlRead, word, sizeof word) == static_cast<ssize_t>(sizeof word)) {
        word[sizeof word - 1] = '\0';
        if (strcmp(word, "stop") == 0) {
          HAL_LOG_AS(HAL_LOG_INFO, "thp_get_event_thread", "trigger_dump_mode:%s", word);
          break;
        }
        if (strcmp(word, "trigger") == 0 || strcmp(word, "open") == 0) {
          triggerSave();
          ups = downs = 0;
        }
      }
    }
    for (size_t i = 0; i + 1 < fds.size(); ++i) {
      if ((fds[i].revents & POLLIN) == 0) continue;
      input_event e;
      while (plat_read(fds[i].fd, &e, sizeof e) == static_cast<ssize_t>(sizeof e)) {
        if (e.type != EV_KEY || e.value != 1) continue;
        const int64_t now = eventUs(e);
        if (e.code == KEY_VOLUMEUP) {
          if (ups > 0 && ups < HAL_DUMP_KEY_PRESSES && downs == ups && lastDown - firstUp <= HAL_DUMP_KEY_WINDOW_US) {
            ++ups;
          } else {
            ups = 1;
            downs = 0;
            firstUp = now;
          }
        } else if (e.code == KEY_VOLUMEDOWN) {
          if (downs < HAL_DUMP_KEY_PRESSES && downs < ups && now - firstUp <= HAL_DUMP_KEY_WINDOW_US) {
            ++downs;
            lastDown = now;
          } else {
            ups = downs = 0;
          }
        }
        if (ups == HAL_DUMP_KEY_PRESSES && downs == HAL_DUMP_KEY_PRESSES) {
          triggerSave();
          ups = downs = 0;
        }
      }
    }
  }
  return nullptr;
}

void closeGetevent() {
  DumpState &d = dump();
  if (d.getevent != 0) {
    writeControl("stop");
    pthread_join(static_cast<pthread_t>(d.getevent), nullptr);
    d.getevent = 0;
  }
  for (int fd : d.keyFds) plat_close(fd);
  d.keyFds.clear();
  if (d.controlRead >= 0) close(d.controlRead);
  if (d.controlWrite >= 0) close(d.controlWrite);
  d.controlRead = d.controlWrite = -1;
}

void startGetevent() {
  DumpState &d = dump();
  if (d.getevent != 0) return;
  if (!findTouchDevice()) {
    closeGetevent();
    return;
  }
  d.getevent = create_thread("touch-getevent", geteventThread, nullptr, 0);
  if (d.getevent == 0) {
    HAL_LOGE("create thread for getevent save dump failed");
    closeGetevent();
  }
}

// ---- interface hooks ------------------------------------------------------------------

void sendToDriver(int32_t mode, int32_t value) {
  if (!dump().saveTicDump) return;
  HAL_LOG_AS(HAL_LOG_VERBOSE, "dump_receive_common_data", "send (mode:%d, value:%d) to drv", mode, value);
  hal_send_dump_status(value);
}

int32_t readMode(uint16_t mode, bool *known) {
  DumpState &d = dump();
  *known = true;
  switch (mode) {
    case COMMON_DATA_MODE_TEST_POINT_COUNT: return d.presetPoint.load();
    case COMMON_DATA_MODE_TEST_MODE: return d.testMode.load() ? 1 : 0;
    case COMMON_DATA_MODE_TEST_COUNT: return d.testCount.load();
    case COMMON_DATA_MODE_RAW_CAPTURE: return d.rawCapture.load() ? 1 : 0;
    case COMMON_DATA_MODE_BREAKLINE: return d.breakline.load() ? 1 : 0;
    case COMMON_DATA_MODE_BREAKLINE_SAVE_COUNT: return d.breaklineSave.load();
    case COMMON_DATA_MODE_TRIGGER_COUNT: return d.triggerCount.load();
    default: *known = false; return 0;
  }
}

void allocHistory() {
  std::lock_guard<std::mutex> guard(dump().lock);
  allocHistoryLocked();
}

int32_t dumpCommonData(common_data *data, int32_t *pass) {
  if (data == nullptr) return 0;
  DumpState &d = dump();
  if (data->cmd == COMMON_DATA_CMD_GET_CUR_VALUE) {
    bool known = false;
    const int32_t value = readMode(data->mode, &known);
    if (!known) return 0;
    if (pass != nullptr) *pass = 0;
    char text[16];
    const int n = snprintf(text, sizeof text, "%d\n", value);
    memset(data->values, 0, sizeof text);
    memcpy(data->values, text, static_cast<size_t>(n));
    data->count = static_cast<uint16_t>(n);
    return value;
  }
  if (data->cmd != COMMON_DATA_CMD_SET_MODE_VALUE) return 0;
  const int32_t v = static_cast<int32_t>(data->values[0]);
  switch (data->mode) {
    case COMMON_DATA_MODE_TEST_POINT_COUNT:
      d.presetPoint.store(v);
      d.testCount.store(0);
      break;
    case COMMON_DATA_MODE_TEST_MODE:
      if (v > 0) {
        d.testHistory.store(v > HAL_DUMP_HISTORY_MAX ? HAL_DUMP_HISTORY_MAX : v);
        d.testMode.store(true);
        allocHistory();
        startCapture();
      } else if (v == 0) {
        d.testMode.store(false);
      }
      d.testCount.store(0);
      break;
    case COMMON_DATA_MODE_RAW_CAPTURE:
      if (v == 1) {
        d.rawCapture.store(true);
        startCapture();
      } else if (v == 0) {
        d.rawCapture.store(false);
        thp_save_raw_dump_close(HAL_RAW_MODE_RAW);
      }
      sendToDriver(data->mode, v);
      break;
    case COMMON_DATA_MODE_BREAKLINE:
      if (v == 1) {
        d.breakline.store(true);
        allocHistory();
        startCapture();
      } else if (v == 0) {
        d.breakline.store(false);
      }
      sendToDriver(data->mode, v);
      break;
    case COMMON_DATA_MODE_BREAKLINE_SAVE_COUNT:
      d.breaklineSave.store(v);
      if (d.breakline.load()) saveHistory(HAL_DUMP_BREAKLINE_SAVE, HAL_RAW_MODE_BREAKLINE);
      break;
    case COMMON_DATA_MODE_TRIGGER_COUNT:
      if (v > 0) {
        d.triggerCount.store(v > HAL_DUMP_HISTORY_MAX ? HAL_DUMP_HISTORY_MAX : v);
        allocHistory();
        startCapture();
        startGetevent();
      } else if (v == -1) {
        writeControl("trigger");
      } else if (v == 0) {
        d.triggerCount.store(0);
        closeGetevent();
      }
      break;
    case COMMON_DATA_MODE_USER_TYPE:
      if (v == 0 || v == 2) {
        d.rawCapture.store(false);
        thp_save_raw_dump_close(HAL_RAW_MODE_RAW);
      } else if (v == 1) {
        d.rawCapture.store(true);
        startCapture();
      }
      return 0;  // the save-log interface answers this mode
    default:
      return 0;
  }
  if (pass != nullptr) *pass = 0;
  return 0;
}

int32_t dumpInit(TouchPanelInfo *panel, int32_t, uint8_t, uint8_t) {
  DumpState &d = dump();
  d.testCount.store(0);
  d.presetPoint.store(-1);
  if (panel != nullptr) {
    d.tx = panel->tx_count;
    d.rx = panel->rx_count;
  }
  return 0;
}

int32_t dumpExit() {
  closeGetevent();
  stopCaptureThread();
  DumpState &d = dump();
  std::lock_guard<std::mutex> guard(d.lock);
  freeCaptureLocked();
  freeHistoryLocked();
  d.running.store(false);
  d.testMode.store(false);
  d.rawCapture.store(false);
  d.breakline.store(false);
  d.triggerCount.store(0);
  for (int32_t mode : {HAL_RAW_MODE_TEST, HAL_RAW_MODE_RAW, HAL_RAW_MODE_BREAKLINE, HAL_RAW_MODE_TRIGGER})
    thp_save_raw_dump_close(mode);
  return 0;
}

int32_t dumpReadConfig(void *, void *tree, void *accessor) {
  const auto *config = static_cast<const HalConfigAccessor *>(accessor);
  if (config == nullptr || config->get_int_config == nullptr) return 0;
  DumpState &d = dump();
  std::lock_guard<std::mutex> guard(d.lock);
  const int32_t frame = config->get_int_config(tree, "dump_mode.dump_frameinfo_size", 0);
  const int32_t start = config->get_int_config(tree, "dump_mode.dump_statrtinfo_size", 0);
  if (!d.running.load()) {
    d.frameInfoSize = frame > 0 ? static_cast<uint32_t>(frame) : 0;
    d.startInfoSize = start > 0 ? static_cast<uint32_t>(start) : 0;
  }
  d.saveTicDump = config->get_int_config(tree, "save_tic_dump.save_tic_dump", 0) != 0;
  return 0;
}

const HalFunctionInterface kDumpInterface = {
    .init = dumpInit,
    .exit = dumpExit,
    .receive_common_data = dumpCommonData,
    .read_config = dumpReadConfig,
    .dump_get = nullptr,
    .dump_send = nullptr,
    .suspend = nullptr,
    .rate_change = nullptr,
    .state = nullptr,
    .process1 = reinterpret_cast<hal_generic_fn>(send_dump_info),
    .process2 = nullptr,
    .extra = {nullptr, nullptr, nullptr},
};

using DumpGetHook = int32_t (*)(uint32_t index, void *out, uint32_t *length);
using DumpSendHook = int32_t (*)(const void *record, uint32_t length, uint32_t index);

}  // namespace

void send_dump_info(void *alg_output) {
  DumpState &d = dump();
  if (!d.running.load()) return;
  {
    std::lock_guard<std::mutex> guard(d.lock);
    if (d.buffers.empty()) return;
    alg_info_output = alg_output;
    Capture &c = d.buffers[d.producer];
    HalHostCallbacks *host = get_hal_module_callback();
    int32_t length = 0;
    if (host != nullptr && host->dump_capture != nullptr) length = host->dump_capture(c.bytes.data(), d.frameInfoSize);
    // The host is told the capacity; a longer answer cannot have been stored.
    c.length = length < 0 ? 0 : (static_cast<uint32_t>(length) > d.frameInfoSize ? d.frameInfoSize : length);
    d.producer = (d.producer + 1) % HAL_DUMP_CAPTURE_BUFFERS;
    ++d.pending;
  }
  d.signal.notify_one();
}

uint32_t thp_get_all_dump_status(void) {
  DumpState &d = dump();
  uint32_t status = 0;
  if (d.triggerCount.load() != 0 || d.breakline.load() || d.testMode.load()) status |= 1u;
  if (d.rawCapture.load()) status |= 2u;
  return status;
}

void hal_send_dump_mode(int32_t value) {
  if (value == -1) writeControl("trigger");
  else if (value == 0) writeControl("stop");
  else if (value == 1) writeControl("open");
}

int32_t hal_send_dump_status(int32_t value) {
  uint32_t values[1] = {static_cast<uint32_t>(value)};
  return hal_send_to_driver(kSendTypeDumpStatus, values, 1);
}

void thp_raw_frame_buffer_save(uint32_t count, int32_t mode) { saveHistory(count, mode); }

void thp_test_mode(int32_t, const HalModuleParam *param) {
  DumpState &d = dump();
  const int32_t preset = d.presetPoint.load();
  if (!d.testMode.load() || preset < 0 || param == nullptr) return;
  const int32_t raw = static_cast<int32_t>(param->module_param);
  if (raw > preset && !d.testTriggered) d.testTriggered = true;
  HAL_LOG_AS(HAL_LOG_ENTRY, "thp_test_mode", "test_trigger:%d, preset_point:%d, raw point:%d", d.testTriggered ? 1 : 0,
             preset, raw);
  if (!d.testTriggered) return;
  if (raw > preset) {
    const auto *out = static_cast<const HalAlgOutput *>(alg_info_output);
    if (out == nullptr) return;
    const uint64_t seconds = out->timestamp_ns / 1000000000ull;
    HalRtcTime tm;
    rtc_time_to_tm(seconds, &tm);
    char name[HAL_RAW_NAME_MAX];
    snprintf(name, sizeof name, "%d-%02d-%02d-%02d-%02d-%02d-%06d_%ld_%d_%d_raw.txt", tm.tm_year + 1900, tm.tm_mon + 1,
             tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>((out->timestamp_ns / 1000) % 1000000),
             static_cast<long>(out->value), preset, raw);
    thp_save_single_frame(out->mutual, out->unfiltered, d.tx, d.rx, name);
    return;
  }
  d.testCount.fetch_add(1);
  d.testTriggered = false;
  saveHistory(static_cast<uint32_t>(d.testHistory.load()), HAL_RAW_MODE_TEST);
}

int32_t hal_get_dump_data(uint32_t index, void *out, uint32_t *out_length, uint32_t flags) {
  if ((flags & 1u) != 0) {
    if (out == nullptr) return 0;
    HalDumpRecord record;
    memset(&record, 0, sizeof record);
    record.version_length = HAL_DUMP_VERSION_LENGTH;
    memcpy(record.version, kVersion, strlen(kVersion) + 1);
    memcpy(&record.panel, hal_panel_info(), sizeof record.panel);
    memcpy(out, &record, sizeof record);
    if (out_length != nullptr) *out_length = HAL_DUMP_RECORD_BYTES;
    return 1;
  }
  if (index >= HAL_FUNCTION_INTERFACE_COUNT) {
    if (out_length != nullptr) *out_length = 0;
    return 0;
  }
  const HalFunctionInterface *iface = get_hal_function_interface(index);
  if (iface != nullptr && iface->dump_get != nullptr) {
    reinterpret_cast<DumpGetHook>(iface->dump_get)(index, out, out_length);
  } else if (out_length != nullptr) {
    *out_length = 0;
  }
  return index < HAL_FUNCTION_INTERFACE_COUNT - 1 ? 1 : 0;
}

int32_t hal_send_dump_data(const void *record, uint32_t length, uint32_t index, uint32_t quiet, uint32_t flags) {
  if (record == nullptr) return 0;
  if ((flags & 1u) != 0) {
    const auto *bytes = static_cast<const uint8_t *>(record);
    uint32_t versionLength = 0;
    if (length < sizeof versionLength) return -1;
    memcpy(&versionLength, bytes, sizeof versionLength);
    // The embedded length comes from a file: the panel block must lie inside the record.
    if (versionLength > length - sizeof versionLength ||
        length - sizeof versionLength - versionLength < sizeof(TouchPanelInfo)) {
      HAL_LOGE("dump record of %u bytes cannot hold version length %u", length, versionLength);
      return -1;
    }
    memcpy(hal_panel_info(), bytes + sizeof versionLength + versionLength, sizeof(TouchPanelInfo));
    hal_panel_info()->config_file[sizeof hal_panel_info()->config_file - 1] = '\0';
    if (quiet == 0 && versionLength > 0) {
      printf("dump_hal_version:%.*s\n", static_cast<int>(versionLength), reinterpret_cast<const char *>(bytes + 4));
    }
  }
  if (index >= HAL_FUNCTION_INTERFACE_COUNT) return 0;
  const HalFunctionInterface *iface = get_hal_function_interface(index);
  if (iface == nullptr || iface->dump_send == nullptr) return 0;
  return reinterpret_cast<DumpSendHook>(iface->dump_send)(record, length, index);
}

bool hal_dump_capture_running(void) { return dump().running.load(); }

uint32_t hal_dump_history_count(void) {
  DumpState &d = dump();
  std::lock_guard<std::mutex> guard(d.lock);
  if (d.history.empty()) return 0;
  return d.historyWrapped ? HAL_DUMP_HISTORY_MAX : d.historyPos;
}

bool hal_dump_getevent_running(void) { return dump().getevent != 0; }

bool hal_dump_wait_idle(uint32_t timeout_ms) {
  DumpState &d = dump();
  std::unique_lock<std::mutex> guard(d.lock);
  return d.idle.wait_for(guard, std::chrono::milliseconds(timeout_ms),
                         [&d] { return d.pending == 0 && !d.busy; });
}

const HalFunctionInterface *hal_dump_interface(void) { return &kDumpInterface; }

hal_generic_fn hal_dump_get_entry(void) { return reinterpret_cast<hal_generic_fn>(hal_get_dump_data); }
hal_generic_fn hal_dump_send_entry(void) { return reinterpret_cast<hal_generic_fn>(hal_send_dump_data); }
