// The raw-data interface: feeds the hot-area and dump interfaces with each frame's algorithm
// output and, while a tool has the raw channel open, copies the frame data (and a packed
// debug image) into the driver's raw-copy ring.
#include "rawdata/raw_data.h"

#include <string.h>
#include <sys/mman.h>

#include <atomic>
#include <mutex>

#include "dump/dump.h"
#include "platform/devio.h"

namespace {

constexpr uint32_t kMapRetryMs = 1000;
constexpr uint32_t kMapMaxAttempts = 30;  // the driver has had half a minute: give up

struct RawRing {
  std::mutex lock;  // guards everything below against exit
  uint8_t *base = nullptr;
  size_t mapped = 0;
  uint32_t bufferSize = 0;
  uint32_t count = 0;
  uint8_t *buffers[HAL_RAW_RING_MAX] = {};
  uint32_t index = 0;
  uint32_t mutual = 0;
  uint32_t self = 0;
  uint32_t copies = 0;
  uint8_t touchId = 0;
  std::atomic<bool> channelOpen{false};
};

RawRing g_raw;

// The write form tells the driver a buffer was filled; the read form returns the index of a
// buffer the driver still holds (negative when none).
int rawIndexIoctl(uint32_t direction) { return tamrel_touch_ioctl(TOUCH_IOC_RAW_COPY, 0, 0, direction); }

void unmapRing() {
  if (g_raw.base != nullptr) plat_munmap(g_raw.base, g_raw.mapped);
  g_raw.base = nullptr;
  g_raw.mapped = 0;
  memset(g_raw.buffers, 0, sizeof g_raw.buffers);
}

int32_t rawInit(TouchPanelInfo *panel, int32_t fd, uint8_t touchId, uint8_t) {
  std::lock_guard<std::mutex> guard(g_raw.lock);
  unmapRing();
  g_raw.touchId = touchId;
  g_raw.copies = 0;
  g_raw.index = 0;
  if (panel == nullptr) return 0;
  g_raw.mutual = static_cast<uint32_t>(panel->rx_count) * panel->tx_count;
  g_raw.self = static_cast<uint32_t>(panel->rx_count) + panel->tx_count;
  g_raw.bufferSize = static_cast<uint32_t>(panel->raw_buffer_pages) * TOUCH_PAGE_SIZE;
  g_raw.count = panel->raw_buffer_count < HAL_RAW_RING_MAX ? panel->raw_buffer_count : HAL_RAW_RING_MAX;
  if (g_raw.bufferSize == 0 || g_raw.count == 0) {
    HAL_LOGI("touch id %d has no raw-copy ring", touchId);
    return 0;
  }
  const size_t total = static_cast<size_t>(g_raw.bufferSize) * panel->raw_buffer_count;
  for (uint32_t attempt = 1;; ++attempt) {
    const int rc = tamrel_touch_ioctl(TOUCH_IOC_SELECT_BUFFER, 0, TOUCH_BUFFER_RAW_RING, TOUCH_IOC_DIR_WRITE);
    if (rc < 0) {
      HAL_LOGE("touch id %d tamrel-touch ioctl cmd %d result is %d", touchId, TOUCH_IOC_SELECT_BUFFER, rc);
    } else {
      void *addr = plat_mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
      if (addr != MAP_FAILED) {
        g_raw.base = static_cast<uint8_t *>(addr);
        g_raw.mapped = total;
        break;
      }
      HAL_LOGE("touch id %d mmap copy raw base fail, fd is %d, size %d", touchId, fd, static_cast<int>(total));
    }
    if (attempt >= kMapMaxAttempts) {
      HAL_LOGE("touch id %d raw-copy ring not mapped after %u tries, raw copies off", touchId, attempt);
      return 0;
    }
    hal_sleep_ms(kMapRetryMs);
  }
  for (uint32_t i = 0; i < g_raw.count; ++i) g_raw.buffers[i] = g_raw.base + static_cast<size_t>(i) * g_raw.bufferSize;

  // The driver tells which buffers it still holds: start behind the last of them.
  rawIndexIoctl(TOUCH_IOC_DIR_WRITE);
  int32_t last = -1;
  // Bounded: a driver that keeps answering must not hold the initialisation forever.
  for (uint32_t n = 0; n < 4 * HAL_RAW_RING_MAX; ++n) {
    const int value = rawIndexIoctl(TOUCH_IOC_DIR_READ);
    if (value < 0) break;
    last = value;
  }
  g_raw.index = static_cast<uint32_t>(last + 1);
  if (g_raw.index >= g_raw.count) g_raw.index = 0;
  HAL_LOGI("touch id %d raw_ data buf index  is %d", touchId, static_cast<int>(g_raw.index));
  return 0;
}

int32_t rawExit() {
  std::lock_guard<std::mutex> guard(g_raw.lock);
  unmapRing();
  g_raw.channelOpen.store(false);
  return 0;
}

int32_t rawCommonData(common_data *data, int32_t *) {
  if (data == nullptr || data->cmd != COMMON_DATA_CMD_SET_MODE_VALUE || data->mode != COMMON_DATA_MODE_RAW_CAPTURE)
    return 0;
  if (data->values[0] == 2) {
    g_raw.channelOpen.store(true);
    HAL_LOGI("open touch_raw");
  } else if (data->values[0] == 3) {
    g_raw.channelOpen.store(false);
    HAL_LOGI("close touch_raw");
  }
  return 0;
}

// Writes `length` bytes at `offset` when they end below the buffer's size.
bool put(uint8_t *buffer, uint32_t size, size_t offset, const void *bytes, size_t length) {
  if (bytes == nullptr || offset + length >= size) return false;
  memcpy(buffer + offset, bytes, length);
  return true;
}

template <typename T>
T field(const uint8_t *record, size_t offset) {
  T v;
  memcpy(&v, record + offset, sizeof v);
  return v;
}

void appendDebugImage(uint8_t *buffer, const HalAlgOutput &r) {
  const uint8_t *d = r.debug;
  const uint32_t size = g_raw.bufferSize;
  const size_t m = g_raw.mutual;
  const size_t s = g_raw.self;
  const size_t b = (m + s) * 2;
  const uint32_t kind = field<uint32_t>(d, HAL_DBG_KIND);
  const uint32_t total = static_cast<uint32_t>(b + HAL_RAW_DEBUG_HEAD_BYTES + 4 * m + 4 * s + HAL_RAW_DEBUG_RECORD_BYTES);
  ++g_raw.copies;
  const uint16_t words[2] = {r.image_word0, r.image_word1};
  const uint32_t w8 = field<uint32_t>(d, HAL_DBG_WORD8);
  const uint32_t w492 = field<uint32_t>(d, HAL_DBG_WORD492);
  const uint64_t t532 = field<uint64_t>(d, HAL_DBG_TIME532);
  const uint32_t w560 = field<uint32_t>(d, HAL_DBG_WORD560);
  const uint32_t w632 = field<uint32_t>(d, HAL_DBG_WORD632);
  const bool header = put(buffer, size, b, r.image_head, sizeof r.image_head);
  put(buffer, size, b + 16, words, sizeof words);
  put(buffer, size, b + 20, &w8, 4);
  put(buffer, size, b + 24, &w492, 4);
  put(buffer, size, b + 28, &t532, 8);
  put(buffer, size, b + 36, &g_raw.copies, 4);
  put(buffer, size, b + 40, &w560, 4);
  if (header) put(buffer, size, b + 44, &total, 4);
  put(buffer, size, b + 48, &size, 4);
  put(buffer, size, b + 52, d + HAL_DBG_BLOCK564, 64);
  put(buffer, size, b + 116, &w632, 4);
  const size_t first = kind == 10 ? HAL_DBG_PTR696 : HAL_DBG_PTR664;
  const size_t second = kind == 10 ? HAL_DBG_PTR728 : HAL_DBG_PTR672;
  const size_t third = kind == 8 ? HAL_DBG_PTR696 : kind == 9 ? HAL_DBG_PTR704 : HAL_DBG_PTR688;
  const size_t fourth = kind == 8 ? HAL_DBG_PTR728 : kind == 9 ? HAL_DBG_PTR736 : HAL_DBG_PTR720;
  size_t at = b + HAL_RAW_DEBUG_HEAD_BYTES;
  const struct {
    size_t pointer;
    size_t values;
  } arrays[] = {{first, m}, {second, s}, {third, m}, {fourth, s}};
  for (const auto &a : arrays) {
    put(buffer, size, at, field<const int16_t *>(d, a.pointer), 2 * a.values);
    at += 2 * a.values;
  }
  put(buffer, size, at, d, HAL_RAW_DEBUG_RECORD_BYTES);
  if (total >= size) {
    HAL_LOG_AS(HAL_LOG_ERROR, "update_alg_info", "all_size %d  all_size_limit %d", static_cast<int>(total),
               static_cast<int>(size));
  }
}

}  // namespace

int32_t hal_raw_data_process(void *alg_output) {
  if (alg_output == nullptr) return 0;
  const auto &r = *static_cast<const HalAlgOutput *>(alg_output);
  const HalFunctionInterface *hot = get_hal_function_interface(HAL_IF_HOT_AREA);
  if (hot != nullptr && hot->extra[2] != nullptr) {
    reinterpret_cast<void (*)(const void *)>(hot->extra[2])(alg_output);
  }
  send_dump_info(alg_output);
  if (!g_raw.channelOpen.load()) return 0;

  std::lock_guard<std::mutex> guard(g_raw.lock);
  if (g_raw.base == nullptr) return 0;
  uint8_t *buffer = g_raw.buffers[g_raw.index];
  const size_t base = (static_cast<size_t>(g_raw.mutual) + g_raw.self) * 2;
  // A driver ring too small for the frame would be overrun: refuse the copy instead.
  if (base > g_raw.bufferSize) {
    HAL_LOGE("raw buffer %u bytes cannot hold the frame's %zu bytes", g_raw.bufferSize, base);
    return 0;
  }
  if (r.mutual != nullptr) memcpy(buffer, r.mutual, static_cast<size_t>(g_raw.mutual) * 2);
  if (r.self != nullptr) memcpy(buffer + static_cast<size_t>(g_raw.mutual) * 2, r.self, static_cast<size_t>(g_raw.self) * 2);
  if (r.debug != nullptr && field<uint32_t>(r.debug, HAL_DBG_MARK) == HAL_RAW_DEBUG_MARK) appendDebugImage(buffer, r);
  g_raw.index = g_raw.index + 1 >= g_raw.count ? 0 : g_raw.index + 1;
  rawIndexIoctl(TOUCH_IOC_DIR_WRITE);
  return 0;
}

uint32_t hal_raw_ring_index(void) { return g_raw.index; }

namespace {
const HalFunctionInterface kRawDataInterface = {
    .init = rawInit,
    .exit = rawExit,
    .receive_common_data = rawCommonData,
    .read_config = nullptr,
    .dump_get = nullptr,
    .dump_send = nullptr,
    .suspend = nullptr,
    .rate_change = nullptr,
    .state = nullptr,
    .process1 = reinterpret_cast<hal_generic_fn>(static_cast<hal_raw_data_process_fn>(hal_raw_data_process)),
    .process2 = nullptr,
    .extra = {nullptr, nullptr, nullptr},
};
}  // namespace

const HalFunctionInterface *hal_rawdata_interface(void) { return &kRawDataInterface; }
