// The simulated touch driver: ioctls, mapped rings and poll readiness of /dev/tamrel-touch.
#include "platform/tamrel_touch.h"

#include <errno.h>
#include <string.h>
#include <sys/mman.h>

#include <algorithm>

namespace platform::sim {

namespace {
constexpr uint32_t kIocType = 'T';
constexpr uint32_t kIocWrite = 1;
constexpr uint32_t kIocRead = 2;
constexpr uint32_t kNrCommonData = 0;
constexpr uint32_t kNrPanelInfo = 1;
constexpr uint32_t kNrSelectBuffer = 2;
constexpr uint32_t kNrBindTouchId = 3;
constexpr uint32_t kNrNewestFrame = 4;
constexpr uint32_t kNrRawCopy = 5;
constexpr uint32_t kNrReportPoints = 6;
}  // namespace

TouchIoctlRequest TouchIoctlRequest::decode(unsigned long request) {
  TouchIoctlRequest r;
  r.nr = static_cast<uint32_t>(request & 0xffu);
  r.type = static_cast<uint32_t>((request >> 8) & 0xffu);
  r.size = static_cast<uint32_t>((request >> 16) & 0x3fffu);
  r.dir = static_cast<uint32_t>((request >> 30) & 0x3u);
  return r;
}

TamrelTouchDevice::TamrelTouchDevice(TamrelTouchConfig config) : config_(std::move(config)) {
  config_.frame_buffer_pages = std::clamp<uint32_t>(config_.frame_buffer_pages, 1, 255);
  config_.frame_buffer_count = std::clamp<uint32_t>(config_.frame_buffer_count, 1, 255);
  config_.raw_buffer_pages = std::clamp<uint32_t>(config_.raw_buffer_pages, 1, 255);
  config_.raw_buffer_count = std::clamp<uint32_t>(config_.raw_buffer_count, 1, 255);
  config_.panel.frame_buffer_pages = static_cast<uint8_t>(config_.frame_buffer_pages);
  config_.panel.frame_buffer_count = static_cast<uint8_t>(config_.frame_buffer_count);
  config_.panel.raw_buffer_pages = static_cast<uint8_t>(config_.raw_buffer_pages);
  config_.panel.raw_buffer_count = static_cast<uint8_t>(config_.raw_buffer_count);
  // The rings never move: mappings handed out stay valid for the device's life.
  frame_ring_ = std::make_shared<SharedMemory>(frameBufferSize() * config_.frame_buffer_count);
  raw_ring_ = std::make_shared<SharedMemory>(rawBufferSize() * config_.raw_buffer_count);
  report_page_ = std::make_shared<SharedMemory>(kPageSize);
}

std::shared_ptr<TamrelTouchDevice> TamrelTouchDevice::create(TamrelTouchConfig config) {
  auto dev = std::make_shared<TamrelTouchDevice>(std::move(config));
  if (registerDevice(kPath, dev) != 0) return nullptr;
  return dev;
}

TamrelTouchDevice::OpenState& TamrelTouchDevice::stateOf(File& file) {
  return *static_cast<OpenState*>(file.state.get());
}

int TamrelTouchDevice::pushFrame(const std::vector<uint8_t>& slot_bytes) {
  int index;
  {
    std::lock_guard<std::mutex> guard(lock_);
    index = static_cast<int>(next_slot_);
    next_slot_ = (next_slot_ + 1) % config_.frame_buffer_count;
    uint8_t* slot = frame_ring_->data() + static_cast<size_t>(index) * frameBufferSize();
    const size_t n = std::min(slot_bytes.size(), frameBufferSize());
    memset(slot, 0, frameBufferSize());
    memcpy(slot, slot_bytes.data(), n);
    // The slot being overwritten can no longer be handed out.
    frame_queue_.erase(std::remove(frame_queue_.begin(), frame_queue_.end(), index), frame_queue_.end());
    frame_queue_.push_back(index);
  }
  notify();
  return index;
}

bool TamrelTouchDevice::waitFramesTaken(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> guard(lock_);
  return changed_.wait_for(guard, timeout, [&] { return frame_queue_.empty(); });
}

void TamrelTouchDevice::pushCommand(const common_data& block) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    command_queue_.push_back(block);
  }
  notify();
}

bool TamrelTouchDevice::waitCommandsTaken(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> guard(lock_);
  return changed_.wait_for(guard, timeout, [&] { return command_queue_.empty(); });
}

void TamrelTouchDevice::pushRawCopy(uint32_t index, const std::vector<uint8_t>& bytes) {
  std::lock_guard<std::mutex> guard(lock_);
  if (index >= config_.raw_buffer_count) return;
  uint8_t* buf = raw_ring_->data() + static_cast<size_t>(index) * rawBufferSize();
  memcpy(buf, bytes.data(), std::min(bytes.size(), rawBufferSize()));
  raw_queue_.push_back(static_cast<int>(index));
}

void TamrelTouchDevice::setStuckFrameIndex(std::optional<int> index) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    stuck_index_ = index;
  }
  notify();
}

void TamrelTouchDevice::setReadBackBlock(const common_data& block) {
  std::lock_guard<std::mutex> guard(lock_);
  read_back_ = block;
}

void TamrelTouchDevice::failNextBinds(int n) {
  std::lock_guard<std::mutex> guard(lock_);
  fail_binds_ = n;
}

void TamrelTouchDevice::failNextPanelInfo(int n) {
  std::lock_guard<std::mutex> guard(lock_);
  fail_panel_ = n;
}

void TamrelTouchDevice::failNextMmaps(int n) {
  std::lock_guard<std::mutex> guard(lock_);
  fail_mmaps_ = n;
}

std::vector<common_data> TamrelTouchDevice::writtenCommonData() const {
  std::lock_guard<std::mutex> guard(lock_);
  return written_;
}
std::vector<int> TamrelTouchDevice::boundTouchIds() const {
  std::lock_guard<std::mutex> guard(lock_);
  return bound_ids_;
}
std::vector<uint32_t> TamrelTouchDevice::bufferSelections() const {
  std::lock_guard<std::mutex> guard(lock_);
  return selections_;
}
std::vector<uint32_t> TamrelTouchDevice::reportedPointCounts() const {
  std::lock_guard<std::mutex> guard(lock_);
  return point_counts_;
}
uint32_t TamrelTouchDevice::rawCopyWrites() const {
  std::lock_guard<std::mutex> guard(lock_);
  return raw_writes_;
}
uint32_t TamrelTouchDevice::newestIndexQueries() const {
  std::lock_guard<std::mutex> guard(lock_);
  return newest_queries_;
}
uint32_t TamrelTouchDevice::mapCount() const {
  std::lock_guard<std::mutex> guard(lock_);
  return maps_;
}
uint32_t TamrelTouchDevice::openCount() const {
  std::lock_guard<std::mutex> guard(lock_);
  return opens_;
}
uint32_t TamrelTouchDevice::openFiles() const {
  std::lock_guard<std::mutex> guard(lock_);
  return open_files_;
}
std::vector<uint8_t> TamrelTouchDevice::reportPage() const {
  std::lock_guard<std::mutex> guard(lock_);
  return std::vector<uint8_t>(report_page_->data(), report_page_->data() + kPageSize);
}

int TamrelTouchDevice::open(File& file) {
  file.state = std::make_shared<OpenState>();
  std::lock_guard<std::mutex> guard(lock_);
  ++opens_;
  ++open_files_;
  return 0;
}

void TamrelTouchDevice::release(File&) {
  std::lock_guard<std::mutex> guard(lock_);
  if (open_files_ > 0) --open_files_;
}

ssize_t TamrelTouchDevice::pread(File&, void* buf, size_t count, off_t) {
  common_data block;
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (command_queue_.empty()) return -EAGAIN;
    block = command_queue_.front();
    command_queue_.pop_front();
  }
  changed_.notify_all();
  const size_t n = std::min(count, sizeof(block));
  memcpy(buf, &block, n);
  return static_cast<ssize_t>(n);
}

namespace {
// The driver dispatches on the whole request number: a request whose direction or size
// differs from the driver's is a number the driver does not know, refused as unknown.
bool driversRequest(const TouchIoctlRequest& r) {
  if (r.type != kIocType || r.dir == 0) return false;  // every request of the driver moves data one way or both
  switch (r.nr) {
    case kNrCommonData: return r.size == sizeof(common_data);  // write, read and read-write
    case kNrPanelInfo: return r.dir == kIocRead && r.size == sizeof(TouchPanelInfo);
    case kNrSelectBuffer:
    case kNrBindTouchId:
    case kNrReportPoints: return r.dir == kIocWrite && r.size == 0;
    case kNrNewestFrame: return r.dir == kIocRead && r.size == 0;
    case kNrRawCopy: return (r.dir == kIocWrite || r.dir == kIocRead) && r.size == 0;
    default: return false;
  }
}
}  // namespace

int TamrelTouchDevice::ioctl(File& file, unsigned long request, void* arg) {
  const TouchIoctlRequest req = TouchIoctlRequest::decode(request);
  // Only the 32 bits of the number reach the driver's switch; higher bits make it another.
  if ((request >> 32) != 0 || !driversRequest(req)) return -ENOTTY;
  int rc;
  {
    std::lock_guard<std::mutex> guard(lock_);
    rc = ioctlLocked(file, req, arg);
  }
  changed_.notify_all();
  return rc;
}

int TamrelTouchDevice::ioctlLocked(File& file, const TouchIoctlRequest& req, void* arg) {
  OpenState& st = stateOf(file);
  switch (req.nr) {
    case kNrCommonData: {
      if (arg == nullptr) return -EFAULT;
      auto* block = static_cast<common_data*>(arg);
      if (req.dir & kIocWrite) written_.push_back(*block);
      if (req.dir & kIocRead) {
        if (read_back_) {
          *block = *read_back_;
        } else if (!(req.dir & kIocWrite)) {
          memset(block, 0, sizeof(*block));
        }
      }
      return 0;
    }
    case kNrPanelInfo:
      if (arg == nullptr) return -EFAULT;
      if (fail_panel_ > 0) {
        --fail_panel_;
        return -EIO;
      }
      memcpy(arg, &config_.panel, sizeof(TouchPanelInfo));
      return 0;
    case kNrSelectBuffer: {
      const uint32_t kind = static_cast<uint32_t>(argInt(arg));
      selections_.push_back(kind);
      if (kind != kBufferFrameRing && kind != kBufferRawRing && kind != kBufferReportPage) return -EINVAL;
      st.selected_buffer = kind;
      return 0;
    }
    case kNrBindTouchId: {
      const int id = argInt(arg);
      bound_ids_.push_back(id);
      if (fail_binds_ > 0) {
        --fail_binds_;
        return -EIO;
      }
      if (id < 0 || id > 255 || config_.accepted_touch_ids.count(static_cast<uint8_t>(id)) == 0) return -EINVAL;
      st.touch_id = static_cast<uint8_t>(id);
      return 0;
    }
    case kNrNewestFrame: {
      ++newest_queries_;
      if (stuck_index_) return *stuck_index_;
      if (frame_queue_.empty()) return -EAGAIN;
      const int index = frame_queue_.front();
      frame_queue_.pop_front();
      return index;
    }
    case kNrRawCopy:
      if (req.dir == kIocWrite) {
        ++raw_writes_;
        return 0;
      }
      if (raw_queue_.empty()) return -EAGAIN;
      {
        const int index = raw_queue_.front();
        raw_queue_.pop_front();
        return index;
      }
    case kNrReportPoints:
      point_counts_.push_back(static_cast<uint32_t>(argInt(arg)));
      return 0;
    default:
      return -ENOTTY;
  }
}

int TamrelTouchDevice::mmap(File& file, size_t len, off_t off, int prot, MapSource* source) {
  std::lock_guard<std::mutex> guard(lock_);
  if (fail_mmaps_ > 0) {
    --fail_mmaps_;
    return -ENOMEM;
  }
  std::shared_ptr<SharedMemory> area;
  size_t area_len = 0;
  bool writable = true;
  switch (stateOf(file).selected_buffer) {
    case kBufferFrameRing:
      area = frame_ring_;
      area_len = frameBufferSize() * config_.frame_buffer_count;
      writable = false;  // the driver fills it; readers never write it
      break;
    case kBufferRawRing:
      area = raw_ring_;
      area_len = rawBufferSize() * config_.raw_buffer_count;
      break;
    case kBufferReportPage:
      area = report_page_;
      area_len = kPageSize;
      break;
    default: return -EINVAL;
  }
  if (off != 0 || len > area_len) return -EINVAL;
  if (!writable && (prot & PROT_WRITE) != 0) return -EACCES;
  source->memory = std::move(area);
  source->offset = 0;
  ++maps_;
  return 0;
}

void TamrelTouchDevice::munmap(File&, void*, size_t) {}

short TamrelTouchDevice::pollMask(File&) {
  std::lock_guard<std::mutex> guard(lock_);
  short mask = POLLOUT | POLLWRNORM;
  if (!frame_queue_.empty() || stuck_index_) mask |= POLLPRI;
  if (!command_queue_.empty()) mask |= POLLIN | POLLRDNORM;
  return mask;
}

}  // namespace platform::sim
