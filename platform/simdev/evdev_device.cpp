// Simulated evdev input device.

#define LOG_TAG "platform"

#include "platform/evdev_device.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <time.h>

#include <algorithm>

#include <log/log.h>

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "capability bitmaps are kept as bytes, which matches the kernel's longs only "
              "on little-endian hosts");

namespace platform::sim {

namespace {

// The evdev buffer of one reader; as in the kernel, an overflow drops the queue and leaves
// a SYN_DROPPED for the reader to notice.
constexpr size_t kMaxQueued = 1024;

// Largest code of each type that EVIOCGBIT answers for; -1 for types it refuses.
int maxCode(unsigned type) {
  switch (type) {
    case 0: return EV_MAX;
    case EV_KEY: return KEY_MAX;
    case EV_REL: return REL_MAX;
    case EV_ABS: return ABS_MAX;
    case EV_MSC: return MSC_MAX;
    case EV_LED: return LED_MAX;
    case EV_SND: return SND_MAX;
    case EV_FF: return FF_MAX;
    case EV_SW: return SW_MAX;
    default: return -1;
  }
}

// Bitmap bytes as the kernel sizes them: whole longs.
size_t bitmapBytes(int max_code) {
  const size_t bits_per_long = sizeof(long) * 8;
  return (static_cast<size_t>(max_code) + bits_per_long) / bits_per_long * sizeof(long);
}

void setBitIn(std::vector<uint8_t>& map, unsigned bit) {
  if (bit / 8 < map.size()) map[bit / 8] |= static_cast<uint8_t>(1u << (bit % 8));
}

bool validClock(int id) {
  return id == CLOCK_REALTIME || id == CLOCK_MONOTONIC || id == CLOCK_BOOTTIME;
}

// Copies at most room bytes of a kernel answer and returns how many were copied.
int copyOut(void* arg, size_t room, const void* data, size_t size) {
  size_t n = std::min(room, size);
  memcpy(arg, data, n);
  return static_cast<int>(n);
}

}  // namespace

EvdevDevice::EvdevDevice(std::string name) : name_(std::move(name)), lastClockId_(CLOCK_REALTIME) {
  for (unsigned type = 0; type < EV_CNT; ++type) {
    int max = maxCode(type);
    if (max >= 0) bits_[type].assign(bitmapBytes(max), 0);
  }
  props_.assign(bitmapBytes(INPUT_PROP_MAX), 0);
  setBitIn(bits_[0], EV_SYN);  // every input device reports EV_SYN
}

void EvdevDevice::setId(const input_id& id) {
  std::lock_guard<std::mutex> guard(lock_);
  id_ = id;
}

void EvdevDevice::setBit(unsigned type, unsigned code) {
  std::lock_guard<std::mutex> guard(lock_);
  if (type == 0 || maxCode(type) < 0) return;
  setBitIn(bits_[0], type);
  setBitIn(bits_[type], code);
}

void EvdevDevice::setAbsAxis(unsigned code, const input_absinfo& info) {
  if (code > ABS_MAX) return;
  setBit(EV_ABS, code);
  std::lock_guard<std::mutex> guard(lock_);
  abs_[code] = info;
}

void EvdevDevice::setInputProperty(unsigned prop) {
  std::lock_guard<std::mutex> guard(lock_);
  setBitIn(props_, prop);
}

void EvdevDevice::injectEvents(const input_event* events, size_t count) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    for (auto& [id, client] : clients_) {
      for (size_t i = 0; i < count; ++i) {
        input_event ev = events[i];
        if (ev.input_event_sec == 0 && ev.input_event_usec == 0) {
          struct timespec ts;
          clock_gettime(client.clockId, &ts);
          ev.input_event_sec = ts.tv_sec;
          ev.input_event_usec = ts.tv_nsec / 1000;
        }
        if (client.queue.size() >= kMaxQueued) {
          ALOGW("%s: reader queue full, events dropped", name_.c_str());
          input_event dropped{};
          dropped.input_event_sec = ev.input_event_sec;
          dropped.input_event_usec = ev.input_event_usec;
          dropped.type = EV_SYN;
          dropped.code = SYN_DROPPED;
          client.queue.clear();
          client.queue.push_back(dropped);
        }
        client.queue.push_back(ev);
      }
    }
    changed_.notify_all();
  }
  notify();
}

std::vector<input_event> EvdevDevice::writtenEvents() const {
  std::lock_guard<std::mutex> guard(lock_);
  return written_;
}

size_t EvdevDevice::writtenCount() const {
  std::lock_guard<std::mutex> guard(lock_);
  return written_.size();
}

bool EvdevDevice::waitForWritten(size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> guard(lock_);
  return changed_.wait_for(guard, timeout, [&] { return written_.size() >= count; });
}

void EvdevDevice::clearWritten() {
  std::lock_guard<std::mutex> guard(lock_);
  written_.clear();
}

int EvdevDevice::lastClockId() const {
  std::lock_guard<std::mutex> guard(lock_);
  return lastClockId_;
}

int EvdevDevice::open(File& file) {
  std::lock_guard<std::mutex> guard(lock_);
  clients_[file.id] = Client{CLOCK_REALTIME, {}};
  return 0;
}

void EvdevDevice::release(File& file) {
  std::lock_guard<std::mutex> guard(lock_);
  clients_.erase(file.id);
}

ssize_t EvdevDevice::read(File& file, void* buf, size_t count) {
  if (count < sizeof(input_event)) return -EINVAL;
  std::unique_lock<std::mutex> guard(lock_);
  auto it = clients_.find(file.id);
  if (it == clients_.end()) return -EBADF;
  Client& client = it->second;
  if (client.queue.empty()) {
    if ((file.flags & O_NONBLOCK) != 0) return -EAGAIN;
    changed_.wait(guard, [&] { return !client.queue.empty() || detached(); });
    if (client.queue.empty()) return -ENODEV;
  }
  size_t n = std::min(count / sizeof(input_event), client.queue.size());
  auto* out = static_cast<uint8_t*>(buf);
  for (size_t i = 0; i < n; ++i) {
    memcpy(out + i * sizeof(input_event), &client.queue.front(), sizeof(input_event));
    client.queue.pop_front();
  }
  return static_cast<ssize_t>(n * sizeof(input_event));
}

ssize_t EvdevDevice::write(File& file, const void* buf, size_t count) {
  // As the kernel: a write shorter than one event is refused, a trailing piece ignored.
  if (count != 0 && count < sizeof(input_event)) return -EINVAL;
  size_t n = count / sizeof(input_event);
  std::vector<input_event> events(n);
  if (n != 0) memcpy(events.data(), buf, n * sizeof(input_event));
  {
    std::lock_guard<std::mutex> guard(lock_);
    written_.insert(written_.end(), events.begin(), events.end());
    changed_.notify_all();
  }
  for (const input_event& ev : events) onWrittenEvent(file, ev);
  return static_cast<ssize_t>(n * sizeof(input_event));
}

namespace {
// Requests whose argument is the value itself rather than a pointer: EVIOCRMFF takes the
// effect id (0 is a valid id), EVIOCGRAB and EVIOCREVOKE a flag.
bool argumentIsValue(unsigned long request) {
  return request == EVIOCGRAB || request == EVIOCRMFF || request == EVIOCREVOKE;
}
}  // namespace

int EvdevDevice::ioctl(File& file, unsigned long request, void* arg) {
  if (arg == nullptr && !argumentIsValue(request)) return -EFAULT;
  switch (request) {
    case EVIOCGVERSION: {
      int version = EV_VERSION;
      memcpy(arg, &version, sizeof version);
      return 0;
    }
    case EVIOCGID: {
      std::lock_guard<std::mutex> guard(lock_);
      memcpy(arg, &id_, sizeof id_);
      return 0;
    }
    case EVIOCSCLOCKID: {
      int clock;
      memcpy(&clock, arg, sizeof clock);
      if (!validClock(clock)) return -EINVAL;
      std::lock_guard<std::mutex> guard(lock_);
      auto it = clients_.find(file.id);
      if (it != clients_.end()) it->second.clockId = clock;
      lastClockId_ = clock;
      return 0;
    }
    case EVIOCGRAB:
      return 0;
    case EVIOCSFF:
    case EVIOCRMFF:
    case EVIOCGEFFECTS:
      return forceFeedbackIoctl(file, request, arg);
    default:
      return capabilityIoctl(request, arg);
  }
}

int EvdevDevice::capabilityIoctl(unsigned long request, void* arg) {
  if (_IOC_TYPE(request) != 'E' || _IOC_DIR(request) != _IOC_READ) return -EINVAL;
  const size_t room = _IOC_SIZE(request);
  const unsigned nr = _IOC_NR(request);
  std::lock_guard<std::mutex> guard(lock_);
  if (nr == _IOC_NR(EVIOCGNAME(0))) return copyOut(arg, room, name_.c_str(), name_.size() + 1);
  if (nr == _IOC_NR(EVIOCGPROP(0))) return copyOut(arg, room, props_.data(), props_.size());
  if (nr >= _IOC_NR(EVIOCGBIT(0, 0)) && nr <= _IOC_NR(EVIOCGBIT(EV_MAX, 0))) {
    unsigned type = nr - _IOC_NR(EVIOCGBIT(0, 0));
    if (maxCode(type) < 0) return -EINVAL;
    return copyOut(arg, room, bits_[type].data(), bits_[type].size());
  }
  if (nr >= _IOC_NR(EVIOCGABS(0)) && nr <= _IOC_NR(EVIOCGABS(ABS_MAX))) {
    // Like the kernel: a device without absolute axes refuses, an unset axis reads zero.
    if ((bits_[0][EV_ABS / 8] & (1u << (EV_ABS % 8))) == 0) return -EINVAL;
    copyOut(arg, room, &abs_[nr - _IOC_NR(EVIOCGABS(0))], sizeof(input_absinfo));
    return 0;
  }
  return -EINVAL;
}

short EvdevDevice::pollMask(File& file) {
  std::lock_guard<std::mutex> guard(lock_);
  short mask = POLLOUT | POLLWRNORM;
  auto it = clients_.find(file.id);
  if (it != clients_.end() && !it->second.queue.empty()) mask |= POLLIN | POLLRDNORM;
  return mask;
}

int EvdevDevice::forceFeedbackIoctl(File&, unsigned long, void*) { return -EINVAL; }

void EvdevDevice::onWrittenEvent(File&, const input_event&) {}

void EvdevDevice::onDetached() {
  std::lock_guard<std::mutex> guard(lock_);
  changed_.notify_all();
}

}  // namespace platform::sim
