#include <fcntl.h>
#include <linux/dma-buf.h>
#include <sys/mman.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "BufferAllocator/BufferAllocatorWrapper.h"
#include "platform/devio.h"
#include "platform/dmabufheap_test.h"
#include "platform/simdev.h"

struct BufferAllocator {
  int unused;
};

namespace platform::dmabuf {
namespace {

// Sets the size of the buffer behind a fresh open of a heap device (the stand-in's own
// request; a kernel heap allocates in one step).
constexpr unsigned long kSimAllocate = 0x7A01;

struct State {
  std::mutex lock;
  std::atomic<int> live{0}, allocators{0}, cpuOpen{0};
  int allocErr = 0, syncErr = 0;
  bool createFails = false;
  std::string heap, legacyHeap;
  unsigned int legacyMask = 0;
  std::map<std::string, bool> registered;
};
State& state() {
  static State* s = new State;
  return *s;
}

struct Buffer {
  // The buffer's pages, shared with every mapping of it as a dma-buf shares them.
  std::shared_ptr<sim::SharedMemory> mem;
  size_t size = 0;
  bool cpuAccess = false;
  ~Buffer() {
    if (mem != nullptr) state().live--;
    if (cpuAccess) state().cpuOpen--;
  }
};

class HeapDevice : public sim::Device {
 public:
  int open(sim::File& file) override {
    file.state = std::make_shared<Buffer>();
    return 0;
  }
  int ioctl(sim::File& file, unsigned long request, void* arg) override {
    auto* buf = static_cast<Buffer*>(file.state.get());
    if (request == kSimAllocate) {
      size_t len = *static_cast<size_t*>(arg);
      if (buf->mem != nullptr || len == 0) return -EINVAL;
      try {
        buf->mem = std::make_shared<sim::SharedMemory>(len);
      } catch (const std::exception&) {
        return -ENOMEM;
      }
      buf->size = len;
      state().live++;
      return 0;
    }
    if (request == DMA_BUF_IOCTL_SYNC) {
      if (buf->mem == nullptr || arg == nullptr) return -EINVAL;
      {
        std::lock_guard<std::mutex> g(state().lock);
        if (state().syncErr != 0) {
          int err = state().syncErr;
          state().syncErr = 0;
          return -err;
        }
      }
      uint64_t flags = static_cast<dma_buf_sync*>(arg)->flags;
      if ((flags & DMA_BUF_SYNC_RW) == 0 || (flags & ~(DMA_BUF_SYNC_RW | DMA_BUF_SYNC_END)) != 0) {
        return -EINVAL;
      }
      bool end = (flags & DMA_BUF_SYNC_END) != 0;
      if (end != buf->cpuAccess) return -EINVAL;  // end without start, or start twice
      buf->cpuAccess = !end;
      state().cpuOpen += end ? -1 : 1;
      return 0;
    }
    return -ENOTTY;
  }
  int mmap(sim::File& file, size_t len, off_t off, int, sim::MapSource* source) override {
    auto* buf = static_cast<Buffer*>(file.state.get());
    if (buf->mem == nullptr || off != 0 || len > buf->mem->size()) return -EINVAL;
    source->memory = buf->mem;
    source->offset = 0;
    return 0;
  }
  void munmap(sim::File&, void*, size_t) override {}
};

}  // namespace

void reset() {
  std::lock_guard<std::mutex> g(state().lock);
  state().allocErr = state().syncErr = 0;
  state().createFails = false;
  state().heap.clear();
  state().legacyHeap.clear();
  state().legacyMask = 0;
}
int liveBuffers() { return state().live; }
int liveAllocators() { return state().allocators; }
int cpuAccessOpen() { return state().cpuOpen; }
void failNextAllocation(int err) {
  std::lock_guard<std::mutex> g(state().lock);
  state().allocErr = err;
}
void failNextSync(int err) {
  std::lock_guard<std::mutex> g(state().lock);
  state().syncErr = err;
}
void setCreateAllocatorFails(bool fails) {
  std::lock_guard<std::mutex> g(state().lock);
  state().createFails = fails;
}
std::string mappedHeap() {
  std::lock_guard<std::mutex> g(state().lock);
  return state().heap;
}
std::string mappedLegacyHeap() {
  std::lock_guard<std::mutex> g(state().lock);
  return state().legacyHeap;
}
unsigned int mappedLegacyMask() {
  std::lock_guard<std::mutex> g(state().lock);
  return state().legacyMask;
}

}  // namespace platform::dmabuf

using namespace platform::dmabuf;

extern "C" BufferAllocator* CreateDmabufHeapBufferAllocator(void) {
  {
    std::lock_guard<std::mutex> g(state().lock);
    if (state().createFails) return nullptr;
  }
  state().allocators++;
  return new BufferAllocator{0};
}

extern "C" void FreeDmabufHeapBufferAllocator(BufferAllocator* allocator) {
  if (allocator == nullptr) return;
  state().allocators--;
  delete allocator;
}

extern "C" int MapDmabufHeapNameToIonHeap(BufferAllocator* allocator, const char* heap_name,
                                          const char* ion_heap_name, unsigned int,
                                          unsigned int legacy_ion_heap_mask, unsigned int) {
  if (allocator == nullptr || heap_name == nullptr || ion_heap_name == nullptr) return -EINVAL;
  std::lock_guard<std::mutex> g(state().lock);
  state().heap = heap_name;
  state().legacyHeap = ion_heap_name;
  state().legacyMask = legacy_ion_heap_mask;
  return 0;
}

extern "C" int DmabufHeapAlloc(BufferAllocator* allocator, const char* heap_name, size_t len,
                               unsigned int, size_t) {
  if (allocator == nullptr || heap_name == nullptr || len == 0) return -EINVAL;
  std::string path = std::string("/dev/dma_heap/") + heap_name;
  {
    std::lock_guard<std::mutex> g(state().lock);
    if (state().allocErr != 0) {
      int err = state().allocErr;
      state().allocErr = 0;
      return -err;
    }
    if (!state().registered[path]) {
      int rc = platform::sim::registerDevice(path, std::make_shared<HeapDevice>());
      if (rc != 0) return rc;
      state().registered[path] = true;
    }
  }
  int fd = plat_open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return -errno;
  int rc = plat_ioctl(fd, kSimAllocate, &len);
  if (rc != 0) {
    int err = errno;
    plat_close(fd);
    return -err;
  }
  return fd;
}
