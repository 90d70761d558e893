// The touch device: request numbers, the module's ioctl entry and the bounded open loop.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <string.h>
#include <unistd.h>

#include "core/hal_core.h"
#include "platform/devio.h"
#include "platform/paths.h"

namespace {
constexpr uint32_t kIocNrShift = 0;
constexpr uint32_t kIocTypeShift = 8;
constexpr uint32_t kIocSizeShift = 16;
constexpr uint32_t kIocDirShift = 30;
constexpr uint32_t kIocSizeMask = 0x3fff;
constexpr uint32_t kIocWrite = 1;
constexpr uint32_t kIocRead = 2;
constexpr uint32_t kOpenLogEvery = 50;
}  // namespace

unsigned long tamrel_touch_request(uint32_t nr, uint32_t size, uint32_t direction) {
  uint32_t dir = kIocRead | kIocWrite;
  if (direction == TOUCH_IOC_DIR_WRITE) dir = kIocWrite;
  if (direction == TOUCH_IOC_DIR_READ) dir = kIocRead;
  return (static_cast<unsigned long>(dir) << kIocDirShift) |
         (static_cast<unsigned long>(size & kIocSizeMask) << kIocSizeShift) |
         (static_cast<unsigned long>(TAMREL_TOUCH_IOC_TYPE) << kIocTypeShift) |
         (static_cast<unsigned long>(nr & 0xffu) << kIocNrShift);
}

int tamrel_touch_ioctl(uint32_t nr, uint32_t size, unsigned long arg, uint32_t direction) {
  const int fd = hal_device_fd();
  if (fd < 0) {
    HAL_LOGE("open %s first", TAMREL_TOUCH_DEVICE_PATH);
    return -1;
  }
  return plat_ioctl(fd, tamrel_touch_request(nr, size, direction), arg);
}

int file_access_and_open_bounded(const char *path, int flags, uint32_t max_attempts,
                                 bool (*keep_waiting)(void)) {
  for (uint32_t failures = 0;;) {
    if (keep_waiting != nullptr && !keep_waiting()) return -1;
    if (plat_access(path, R_OK) == 0) {
      const int fd = plat_open(path, flags | O_CLOEXEC);
      if (fd >= 0) return fd;
    }
    ++failures;
    if (failures % kOpenLogEvery == 0) {
      // Every system path resolves under VENDOR_ROOT: say where this one was looked for,
      // so a run without the simulated root shows why nothing is found.
      const char *root = plat_root();
      if (strcmp(root, "/") == 0) {
        HAL_LOG_AS(HAL_LOG_ERROR, "file_access_and_open",
                   "open %s failed, retry! (VENDOR_ROOT is not set: looked on the real root)", path);
      } else {
        HAL_LOG_AS(HAL_LOG_ERROR, "file_access_and_open", "open %s failed, retry! (looked under VENDOR_ROOT %s)", path,
                   root);
      }
    }
    if (max_attempts != 0 && failures >= max_attempts) {
      HAL_LOG_AS(HAL_LOG_ERROR, "file_access_and_open", "open %s failed %u times, give up", path, failures);
      return -1;
    }
    hal_sleep_ms(hal_open_retry_ms());
  }
}

int file_access_and_open(const char *path, int flags) {
  return file_access_and_open_bounded(path, flags, HAL_OPEN_MAX_ATTEMPTS, nullptr);
}

int hal_wait_device(int fd, short events, int exit_event, const char *func, uint8_t touch_id, bool *error_logged) {
  constexpr int kStopLookMs = 100;
  struct pollfd fds[2] = {{fd, events, 0}, {exit_event, POLLIN, 0}};
  const nfds_t count = exit_event >= 0 ? 2 : 1;
  const int n = plat_poll(fds, count, exit_event >= 0 ? -1 : kStopLookMs);
  if (n < 0) {
    if (errno != EINTR) hal_sleep_ms(kStopLookMs);
    return HAL_WAIT_AGAIN;
  }
  if (count == 2 && (fds[1].revents & POLLIN) != 0) return HAL_WAIT_EXIT;
  if ((fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
    // A device gone away reports errors at once: log once and slow down.
    if (error_logged != nullptr && !*error_logged)
      HAL_LOG_AS(HAL_LOG_ERROR, func, "touch id %d device error, revents 0x%x", touch_id, fds[0].revents);
    if (error_logged != nullptr) *error_logged = true;
    hal_sleep_ms(kStopLookMs);
    return HAL_WAIT_AGAIN;
  }
  return (fds[0].revents & events) != 0 ? HAL_WAIT_READY : HAL_WAIT_AGAIN;
}
