// Touch device commands, the common-data poll thread and the touch-event socket.
#include "TouchDevice.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include <android/log.h>

#include "TouchReport.h"
#include "platform/devio.h"

namespace touchfeature {
namespace {

constexpr const char* kTag = "[AIDL] TouchFeatureDevice";
#define DLOGE(...) __android_log_print(ANDROID_LOG_ERROR, kTag, __VA_ARGS__)
#define DLOGI(...) __android_log_print(ANDROID_LOG_INFO, kTag, __VA_ARGS__)
#define DLOGD(...) __android_log_print(ANDROID_LOG_DEBUG, kTag, __VA_ARGS__)

constexpr unsigned long kIocBindTouchId = 0x40005403;  // write, 'T', 3, size 0
constexpr unsigned long kIocCommonData = 0xC4085400;   // read-write, 'T', 0, size 1032
constexpr size_t kControlWord = 8;

// The lazy open of a node runs under this lock: two binder threads must not both open
// (the loser's descriptor would leak and the poll thread would watch the wrong one).
std::mutex g_nodeLock;
std::atomic<int> g_nodes[kMaxTouchId] = {-1, -1};
std::atomic<int> g_abnormal{-1};
// The control channel keeps each 8-byte word apart: an eventfd would add a "stop" and a
// pending "newfd" together and lose both.
int g_control[2] = {-1, -1};
std::thread g_pollThread;
std::function<void()> g_onFirstFrame;

std::mutex g_socketLock;
int g_socket = -1;

std::atomic<bool> g_stopping{false};
constexpr std::chrono::milliseconds kPollRetryPause{100};
std::mutex g_pauseLock;
PollRetryPause g_pause;

void pauseBeforeRetry(std::chrono::milliseconds how_long) {
  PollRetryPause pause;
  {
    std::lock_guard<std::mutex> guard(g_pauseLock);
    pause = g_pause;
  }
  if (pause) {
    pause(how_long);
  } else {
    std::this_thread::sleep_for(how_long);
  }
}

void control(const char* word) {
  if (g_control[1] < 0) return;
  char message[kControlWord];
  memset(message, ' ', sizeof message);
  memcpy(message, word, strnlen(word, sizeof message));
  (void)!write(g_control[1], message, sizeof message);
}

int nodeFor(int id) {
  int fd = g_nodes[id].load();
  if (fd >= 0) return fd;
  std::lock_guard<std::mutex> guard(g_nodeLock);
  fd = g_nodes[id].load();
  if (fd >= 0) return fd;
  fd = plat_open(kTouchNode, O_RDWR);
  if (fd < 0) {
    DLOGE("Can't open touch node:%d", fd);
    return -1;
  }
  const int rc = plat_ioctl(fd, kIocBindTouchId, id);
  g_nodes[id].store(fd);
  if (rc >= 0) control("newfd");
  return fd;
}

bool badId(int id) {
  if (id < 0 || id >= kMaxTouchId) {
    DLOGE("error touch id %d, max touch id is %d", id, kMaxTouchId);
    return true;
  }
  return false;
}

common_data makeBlock(int id, int cmd, int mode, int count, const void* bytes, size_t length) {
  common_data block;
  memset(&block, 0, sizeof block);
  block.touch_id = static_cast<uint8_t>(id);
  block.cmd = static_cast<uint8_t>(cmd);
  block.mode = static_cast<uint16_t>(mode);
  block.count = static_cast<uint16_t>(count);
  if (bytes != nullptr) memcpy(block.values, bytes, std::min(length, sizeof block.values));
  return block;
}

void pollLoop() {
  std::vector<struct pollfd> fds;
  auto rebuild = [&fds] {
    fds.clear();
    fds.push_back({g_control[0], POLLIN, 0});
    for (auto& node : g_nodes) {
      const int fd = node.load();
      if (fd >= 0) fds.push_back({fd, POLLRDNORM, 0});
    }
    DLOGI("poll common data fd n = %d", static_cast<int>(fds.size()));
  };
  rebuild();
  // A failing poll answers again at once, as does one whose control descriptor reads as
  // closed or broken: both pause before the next poll instead of spinning a core, with one
  // line per run of failures. The stop flag ends the thread even when the control channel
  // cannot carry the word.
  bool failureLogged = false;
  while (!g_stopping.load()) {
    if (plat_poll(fds.data(), fds.size(), -1) < 0) {
      if (errno == EINTR) continue;
      if (!failureLogged) DLOGE("poll common data failed: %s", strerror(errno));
      failureLogged = true;
      pauseBeforeRetry(kPollRetryPause);
      continue;
    }
    if (fds[0].revents & POLLIN) {
      char word[kControlWord];
      if (read(g_control[0], word, sizeof word) == static_cast<ssize_t>(sizeof word)) {
        if (memcmp(word, "stop", 4) == 0) {
          DLOGI("poll common data thread complete");
          return;
        }
        rebuild();
        continue;
      }
    }
    // No whole word came from the control channel, and it reports an error or a hang-up.
    const bool controlBroken = (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0;
    for (size_t i = 1; i < fds.size(); ++i) {
      if ((fds[i].revents & POLLRDNORM) == 0) {
        if (fds[i].revents & (POLLERR | POLLHUP | POLLNVAL)) fds[i].fd = -1;  // gone: stop watching it
        continue;
      }
      common_data block;
      const ssize_t n = plat_pread(fds[i].fd, &block, sizeof block, 0);
      if (n < 0) {
        DLOGE("error: %s", strerror(errno));
        pauseBeforeRetry(std::chrono::seconds(1));
        continue;
      }
      if (n != static_cast<ssize_t>(sizeof block)) continue;
      DLOGI("poll_common_data_thread_run %d", block.mode);
      if (block.mode == COMMON_DATA_MODE_FIRST_FRAME_BOOST) {
        DLOGI("gameTurboToolCallback");
        if (g_onFirstFrame) g_onFirstFrame();
      }
    }
    if (controlBroken) {
      if (!failureLogged) DLOGE("poll common data control channel error, revents 0x%x", fds[0].revents);
      failureLogged = true;
      pauseBeforeRetry(kPollRetryPause);
    } else {
      failureLogged = false;
    }
  }
  DLOGI("poll common data thread complete");
}

}  // namespace

int tamrel_touch_ioctl(int id, int cmd, int mode, int count, uint32_t* values) {
  if (badId(id)) return -1;
  if (mode < 0) {
    DLOGE("mode is invalid: %d", mode);
    return -1;
  }
  const int fd = nodeFor(id);
  if (fd < 0) return -1;
  count = std::clamp(count, 0, COMMON_DATA_VALUE_COUNT);
  common_data block = makeBlock(id, cmd, mode, count, values, static_cast<size_t>(count) * sizeof(uint32_t));
  const uint32_t first = values != nullptr && count > 0 ? values[0] : 0;
  int pass = 1;
  int result = send_to_thp(id, &block, &pass);
  if (pass != 0 || (mode >= COMMON_DATA_MODE_FIRST_FRAME_BOOST && first >= 101 && first <= 126)) {
    result = plat_ioctl(fd, kIocCommonData, &block);
  }
  if (values != nullptr) memcpy(values, block.values, static_cast<size_t>(count) * sizeof(uint32_t));
  if (cmd >= 1 && cmd <= 5 && pass == 0 && values != nullptr && count > 0) values[0] = static_cast<uint32_t>(result);
  if (mode != 28 && mode != COMMON_DATA_MODE_VSYNC_TIME) {
    DLOGI("mode %d, data %d\n", mode, values != nullptr && count > 0 ? static_cast<int>(values[0]) : 0);
  }
  return result;
}

int touch_node(int id) {
  if (badId(id)) return -1;
  return nodeFor(id);
}

int driver_common_data(int id, common_data* block) {
  const int fd = touch_node(id);
  if (fd < 0) return -1;
  return plat_ioctl(fd, kIocCommonData, block);
}

int write_touch_device(int id, int mode, int value) {
  uint32_t v = static_cast<uint32_t>(value);
  return tamrel_touch_ioctl(id, COMMON_DATA_CMD_SET_MODE_VALUE, mode, 1, &v);
}

int get_touch_device(int id, int cmd, int mode) {
  uint32_t v = 0;
  tamrel_touch_ioctl(id, cmd, mode, 1, &v);
  return static_cast<int>(v);
}

int get_mode_value(int id, int mode, int32_t out4[4]) {
  uint32_t v[4] = {};
  const int rc = tamrel_touch_ioctl(id, COMMON_DATA_CMD_GET_MODE_VALUES, mode, 4, v);
  if (rc >= 0)
    for (int i = 0; i < 4; ++i) out4[i] = static_cast<int32_t>(v[i]);
  return rc;
}

int send_stylus_pressure_to_thp(int id, int count, const uint32_t* values) {
  if (badId(id)) return -1;
  count = std::clamp(count, 0, COMMON_DATA_VALUE_COUNT);
  common_data block = makeBlock(id, COMMON_DATA_CMD_SET_LONG_VALUE, COMMON_DATA_MODE_STYLUS_PRESSURE, count, values,
                                static_cast<size_t>(count) * sizeof(uint32_t));
  int pass = 0;
  return send_to_thp(id, &block, &pass);
}

int send_stylus_fw_version_to_thp(int id, int length, const char* text) {
  if (badId(id)) return -1;
  length = std::clamp(length, 0, static_cast<int>(sizeof(common_data::values)));
  common_data block = makeBlock(id, COMMON_DATA_CMD_SET_LONG_VALUE, COMMON_DATA_MODE_STYLUS_FW_VERSION, length, text,
                                static_cast<size_t>(length));
  int pass = 0;
  return send_to_thp(id, &block, &pass);
}

int send_package_data_to_thp(int id, int mode, const std::string& text) {
  if (badId(id)) return -1;
  const size_t n = std::min(text.size(), sizeof(common_data::values));
  common_data block = makeBlock(id, COMMON_DATA_CMD_PACKAGE_DATA, mode, static_cast<int>(n), text.data(), n);
  int pass = 0;
  return send_to_thp(id, &block, &pass);
}

int write_abnormal_event(int type, int mode, int value) {
  int fd = g_abnormal.load();
  if (fd < 0) {
    std::lock_guard<std::mutex> guard(g_nodeLock);
    fd = g_abnormal.load();
    if (fd < 0) {
      fd = plat_open(kAbnormalEventNode, O_RDWR);
      if (fd < 0) {
        DLOGE("open %s failed", kAbnormalEventNode);
        return -1;
      }
      g_abnormal.store(fd);
    }
  }
  const uint16_t record[3] = {static_cast<uint16_t>(type), static_cast<uint16_t>(mode), static_cast<uint16_t>(value)};
  return static_cast<int>(plat_pwrite(fd, record, sizeof record, 0));
}

void set_poll_retry_pause(PollRetryPause pause) {
  std::lock_guard<std::mutex> guard(g_pauseLock);
  g_pause = std::move(pause);
}

bool start_poll_thread(std::function<void()> onFirstFrame) {
  if (g_pollThread.joinable()) return true;
  if (pipe2(g_control, O_CLOEXEC) != 0) return false;
  g_stopping.store(false);
  g_onFirstFrame = std::move(onFirstFrame);
  g_pollThread = std::thread(pollLoop);
  return true;
}

void stop_poll_thread() {
  if (!g_pollThread.joinable()) return;
  g_stopping.store(true);
  control("stop");
  g_pollThread.join();
  close(g_control[0]);
  close(g_control[1]);
  g_control[0] = g_control[1] = -1;
  g_onFirstFrame = nullptr;
}

void close_touch_nodes() {
  std::lock_guard<std::mutex> guard(g_nodeLock);
  for (auto& node : g_nodes) {
    const int fd = node.exchange(-1);
    if (fd >= 0) plat_close(fd);
  }
  const int fd = g_abnormal.exchange(-1);
  if (fd >= 0) plat_close(fd);
}

int connect_server(const char* name) {
  if (name == nullptr) {
    DLOGE("%s NULL\n", "connect_server");
    return -1;
  }
  // Non-blocking: a peer that listens but never accepts must not hold the caller in connect.
  const int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) {
    DLOGE("socket error:%s\n", strerror(errno));
    return -1;
  }
  struct sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  const size_t n = strnlen(name, sizeof addr.sun_path - 1);
  memcpy(addr.sun_path + 1, name, n);
  const socklen_t length = static_cast<socklen_t>(offsetof(struct sockaddr_un, sun_path) + 1 + n);
  if (connect(fd, reinterpret_cast<struct sockaddr*>(&addr), length) != 0) {
    DLOGE("connect failed, socket:%d, error:%s\n", fd, strerror(errno));
    close(fd);
    return -1;
  }
  DLOGD("connect success, socket:%d\n", fd);
  return fd;
}

namespace {
std::mutex g_channelLock;
TouchEventChannel g_channel;
}  // namespace

void set_touch_event_channel(const TouchEventChannel& channel) {
  std::lock_guard<std::mutex> guard(g_channelLock);
  g_channel = channel;
}

TouchEventChannel touch_event_channel() {
  std::lock_guard<std::mutex> guard(g_channelLock);
  return g_channel;
}

namespace {
// With g_socketLock held: drops a socket whose peer hung up.
void checkSocketLocked() {
  if (g_socket < 0) return;
  struct pollfd p = {g_socket, POLLHUP, 0};
  const int rc = poll(&p, 1, 0);
  if (rc <= 0) DLOGI("get socket state poll error, error code: %d\n", rc);
  if (rc > 0 && (p.revents & POLLHUP)) {
    DLOGI("peer socket closed\n");
    close(g_socket);
    g_socket = -1;
  }
}

// With g_socketLock held: the held socket, or a new connection when there is none.
int sockfdLocked() {
  checkSocketLocked();
  if (g_socket < 0) g_socket = connect_server(touch_event_channel().name.c_str());
  return g_socket;
}

// Counts close_socket calls: an exchange that ends after one does not put its socket back.
uint64_t g_socketEpoch = 0;

// Waits until fd is ready for `events` or the deadline passes; false on time-out or error.
bool waitReady(int fd, short events, std::chrono::steady_clock::time_point deadline) {
  while (true) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    struct pollfd p = {fd, events, 0};
    const int rc = poll(&p, 1, static_cast<int>(std::max<int64_t>(0, left.count())));
    if (rc > 0) return true;
    if (rc == 0) return false;
    if (errno != EINTR) return false;
  }
}
}  // namespace

int get_sockfd() {
  std::lock_guard<std::mutex> guard(g_socketLock);
  return sockfdLocked();
}

void close_socket() {
  DLOGI("%s\n", "close_socket");
  std::lock_guard<std::mutex> guard(g_socketLock);
  checkSocketLocked();
  if (g_socket >= 0) close(g_socket);
  g_socket = -1;
  ++g_socketEpoch;
}


int read_touch_events(std::string* text) {
  text->clear();
  // The socket is taken out of the shared slot for the exchange: the lock is not held while
  // waiting on the peer, and a second caller meanwhile opens a socket of its own instead of
  // reading replies meant for this one.
  int fd = -1;
  uint64_t epoch = 0;
  {
    std::lock_guard<std::mutex> guard(g_socketLock);
    fd = sockfdLocked();
    g_socket = -1;
    epoch = g_socketEpoch;
  }
  if (fd < 0) return 0;
  const TouchEventChannel channel = touch_event_channel();
  const auto deadline = std::chrono::steady_clock::now() + channel.wait;
  int result = 0;
  bool reusable = false;
  uint8_t request[kSocketMessageBytes] = {};
  const int32_t one = 1;
  memcpy(request, &one, sizeof one);
  if (!waitReady(fd, POLLOUT, deadline)) {
    DLOGE("send socket %d timed out", fd);
    result = -ETIMEDOUT;
  } else if (send(fd, request, sizeof request, MSG_NOSIGNAL | MSG_DONTWAIT) != static_cast<ssize_t>(sizeof request)) {
    DLOGE("send socket %d failed, error: %s", fd, strerror(errno));
  } else {
    for (size_t replies = 0;; ++replies) {
      // A peer may not hold a binder thread for ever: neither by keeping silent nor by
      // answering without end.
      if (replies >= channel.replies) {
        DLOGE("read socket %d: more than %zu replies, given up", fd, channel.replies);
        result = -EMSGSIZE;
        break;
      }
      if (!waitReady(fd, POLLIN, deadline)) {
        DLOGE("read socket %d timed out after %lld ms", fd, static_cast<long long>(channel.wait.count()));
        result = -ETIMEDOUT;
        break;
      }
      uint8_t reply[kSocketMessageBytes + 1] = {};
      const ssize_t n = recv(fd, reply, kSocketMessageBytes, MSG_DONTWAIT);
      if (n <= 0) {
        DLOGE("read socket %d failed, error: %s", fd, strerror(errno));
        break;
      }
      int32_t length = 0;
      if (n >= 8) memcpy(&length, reply + 4, sizeof length);
      if (length == 0 || n < 8) {
        reusable = n >= 8;
        break;
      }
      // The peer's length is only a claim: the text ends at its NUL and inside what arrived.
      const size_t available = static_cast<size_t>(n) - 8;
      const size_t claimed = length < 0 ? 0 : static_cast<size_t>(length);
      const size_t take = std::min({claimed, available, strnlen(reinterpret_cast<const char*>(reply + 8), available)});
      if (take > channel.bytes - text->size()) {
        DLOGE("read socket %d: more than %zu bytes of text, given up", fd, channel.bytes);
        result = -EMSGSIZE;
        break;
      }
      text->append(reinterpret_cast<const char*>(reply + 8), take);
    }
  }
  // Only a socket whose exchange ended cleanly is kept: after a time-out or a cut-off its
  // late replies would be read as the answer to the next request.
  std::lock_guard<std::mutex> guard(g_socketLock);
  if (reusable && g_socket < 0 && epoch == g_socketEpoch) {
    g_socket = fd;
  } else {
    close(fd);
  }
  return result;
}

}  // namespace touchfeature
