// Simulated character devices behind the libc-shaped descriptor calls of devio.h.

#define LOG_TAG "platform"

#include "platform/simdev.h"
#include "platform/simdev_test.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdarg.h>
#include <stdint.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <atomic>
#include <map>
#include <optional>
#include <system_error>
#include <string>
#include <unordered_map>
#include <vector>

#include <log/log.h>

#include "platform/devio.h"
#include "platform/paths.h"

namespace platform::sim {

// ---- Device defaults: what the kernel answers for a driver without the operation. ----

int Device::open(File&) { return 0; }
void Device::release(File&) {}
ssize_t Device::read(File&, void*, size_t) { return -EINVAL; }
ssize_t Device::write(File&, const void*, size_t) { return -EINVAL; }
ssize_t Device::pread(File&, void*, size_t, off_t) { return -ESPIPE; }
ssize_t Device::pwrite(File&, const void*, size_t, off_t) { return -ESPIPE; }
int Device::ioctl(File&, unsigned long, void*) { return -ENOTTY; }
int Device::mmap(File&, size_t, off_t, int, MapSource*) { return -ENODEV; }

// ---- Shared memory: a memory file, so that each mapping is a real one of the same pages. ----

SharedMemory::SharedMemory(size_t size) {
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  size_ = std::max<size_t>(page, (size + page - 1) / page * page);
  fd_ = ::memfd_create("simdev-shared", MFD_CLOEXEC);
  if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "memfd_create");
  if (::ftruncate(fd_, static_cast<off_t>(size_)) != 0) {
    const int err = errno;
    ::close(fd_);
    throw std::system_error(err, std::generic_category(), "ftruncate");
  }
  void* p = ::mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
  if (p == MAP_FAILED) {
    const int err = errno;
    ::close(fd_);
    throw std::system_error(err, std::generic_category(), "mmap");
  }
  data_ = static_cast<uint8_t*>(p);
}

SharedMemory::~SharedMemory() {
  ::munmap(data_, size_);
  ::close(fd_);
}
void Device::munmap(File&, void*, size_t) {}
short Device::pollMask(File&) { return POLLIN | POLLOUT | POLLRDNORM | POLLWRNORM; }

void Device::notify() {
  std::lock_guard<std::mutex> guard(waitersLock_);
  const uint64_t one = 1;
  for (int fd : waiters_) {
    // A waker that is already signalled needs nothing more; the eventfd never blocks.
    ssize_t n = ::write(fd, &one, sizeof one);
    (void)n;
  }
}

// Which plat_poll calls wait on a device (Device is a friend).
class Waiters {
 public:
  static void add(Device& d, int fd) {
    std::lock_guard<std::mutex> guard(d.waitersLock_);
    d.waiters_.push_back(fd);
  }
  static void remove(Device& d, int fd) {
    std::lock_guard<std::mutex> guard(d.waitersLock_);
    auto it = std::find(d.waiters_.begin(), d.waiters_.end(), fd);
    if (it != d.waiters_.end()) d.waiters_.erase(it);
  }
};

// ---- Registry of device paths ----

class Registry {
 public:
  static Registry& get() {
    static Registry* r = new Registry;
    return *r;
  }

  int add(const std::string& path, std::shared_ptr<Device> device) {
    std::optional<std::string> key = normalizePath(path);
    if (!key || !device) {
      ALOGW("registerDevice: refusing %s", path.c_str());
      return -EINVAL;
    }
    std::lock_guard<std::mutex> guard(lock_);
    if (entries_.count(*key) != 0) return -EEXIST;
    if (device->registered_.exchange(true)) return -EBUSY;
    entries_[*key] = Entry{device, makePlaceholder(*key)};
    return 0;
  }

  int remove(const std::string& path) {
    std::optional<std::string> key = normalizePath(path);
    if (!key) return -ENOENT;
    Entry entry;
    {
      std::lock_guard<std::mutex> guard(lock_);
      auto it = entries_.find(*key);
      if (it == entries_.end()) return -ENOENT;
      entry = std::move(it->second);
      entries_.erase(it);
    }
    if (!entry.placeholder.empty()) ::unlink(entry.placeholder.c_str());
    entry.device->detached_ = true;
    entry.device->onDetached();
    entry.device->notify();
    return 0;
  }

  std::shared_ptr<Device> find(const std::string& key) {
    std::lock_guard<std::mutex> guard(lock_);
    auto it = entries_.find(key);
    return it == entries_.end() ? nullptr : it->second.device;
  }

 private:
  struct Entry {
    std::shared_ptr<Device> device;
    std::string placeholder;  // host path of the empty file made for it, if any
  };

  // Under a test root an empty file stands at the device's path so that scans of the
  // directory find it. The real root is never written to.
  static std::string makePlaceholder(const std::string& key) {
    if (std::string(plat_root()) == "/") return std::string();
    std::string host = plat_path(key);
    if (host.empty() || ::access(host.c_str(), F_OK) == 0) return std::string();
    std::string parent = key.substr(0, key.rfind('/'));
    if (!parent.empty() && plat_mkdir_p(parent.c_str(), 0755) != 0) {
      ALOGW("no placeholder for %s: cannot make %s", key.c_str(), parent.c_str());
      return std::string();
    }
    int fd = ::open(host.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      ALOGW("no placeholder for %s", key.c_str());
      return std::string();
    }
    ::close(fd);
    return host;
  }

  std::mutex lock_;  // guards entries_
  std::map<std::string, Entry> entries_;
};

int registerDevice(const std::string& path, std::shared_ptr<Device> device) {
  return Registry::get().add(path, std::move(device));
}

int unregisterDevice(const std::string& path) { return Registry::get().remove(path); }

}  // namespace platform::sim

namespace {

using platform::sim::Device;
using platform::sim::File;

// One open of a simulated device. It lives while its descriptor or a mapping of it does;
// the device's release runs when the last of them goes.
struct OpenFile {
  std::shared_ptr<Device> device;
  File file;
  bool opened = false;
  ~OpenFile() {
    if (opened) device->release(file);
  }
};

struct Tables {
  std::mutex fdsLock;  // guards fds
  std::unordered_map<int, std::shared_ptr<OpenFile>> fds;
  std::mutex mapsLock;  // guards maps
  struct Mapping {
    size_t len;
    std::shared_ptr<OpenFile> of;
    std::shared_ptr<platform::sim::SharedMemory> memory;
  };
  std::map<uintptr_t, Mapping> maps;
  std::atomic<uint64_t> nextId{1};
};

Tables& tables() {
  static Tables* t = new Tables;
  return *t;
}

std::shared_ptr<OpenFile> findOpen(int fd) {
  Tables& t = tables();
  std::lock_guard<std::mutex> guard(t.fdsLock);
  auto it = t.fds.find(fd);
  return it == t.fds.end() ? nullptr : it->second;
}

enum class Access { kNone, kRead, kWrite };

// Runs one device operation with the kernel's checks before it, and turns a -errno result
// into -1 with errno.
template <typename Fn>
auto callDevice(OpenFile& of, Access access, Fn fn) -> decltype(fn()) {
  decltype(fn()) rc;
  int mode = of.file.flags & O_ACCMODE;
  if (of.device->detached())
    rc = -ENODEV;
  else if ((access == Access::kRead && mode == O_WRONLY) ||
           (access == Access::kWrite && mode == O_RDONLY))
    rc = -EBADF;
  else
    rc = fn();
  if (rc < 0) {
    errno = static_cast<int>(-rc);
    return -1;
  }
  return rc;
}

int openDevice(std::shared_ptr<Device> device, int flags) {
  int fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (fd < 0) return -1;
  auto of = std::make_shared<OpenFile>();
  of->device = std::move(device);
  of->file.flags = flags;
  of->file.id = tables().nextId++;
  int rc = of->device->detached() ? -ENODEV : of->device->open(of->file);
  if (rc < 0) {
    ::close(fd);
    errno = -rc;
    return -1;
  }
  of->opened = true;
  Tables& t = tables();
  std::lock_guard<std::mutex> guard(t.fdsLock);
  t.fds[fd] = std::move(of);
  return fd;
}

// The eventfd a thread's plat_poll sleeps on; devices signal it through notify().
struct PollWaker {
  int fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  ~PollWaker() {
    if (fd >= 0) ::close(fd);
  }
  void drain() const {
    uint64_t count;
    while (::read(fd, &count, sizeof count) > 0) {
    }
  }
};

short simRevents(OpenFile& of, short events) {
  if (of.device->detached()) return POLLHUP | POLLERR;
  return static_cast<short>(of.device->pollMask(of.file) & (events | POLLERR | POLLHUP));
}

}  // namespace

extern "C" int plat_open(const char* path, int flags, ...) {
  mode_t mode = 0;
  if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) {
    va_list ap;
    va_start(ap, flags);
    mode = va_arg(ap, mode_t);
    va_end(ap);
  }
  if (path == nullptr) {
    errno = EFAULT;
    return -1;
  }
  // Resolved first, so that a path the kernel could not walk (a ".." after a missing
  // directory) does not reach a device either.
  char host[PATH_MAX];
  int rc = plat_resolve(path, host, sizeof host);
  if (rc != 0) {
    errno = -rc;
    return -1;
  }
  if (path[0] == '/') {
    if (std::optional<std::string> key = platform::normalizePath(path)) {
      if (auto device = platform::sim::Registry::get().find(*key))
        return openDevice(std::move(device), flags);
    }
  }
  return ::open(host, flags, mode);
}

extern "C" int plat_close(int fd) {
  std::shared_ptr<OpenFile> of;
  {
    Tables& t = tables();
    std::lock_guard<std::mutex> guard(t.fdsLock);
    auto it = t.fds.find(fd);
    if (it != t.fds.end()) {
      of = std::move(it->second);
      t.fds.erase(it);
    }
  }
  // The fd number leaves the table before it can be handed out again by the kernel.
  return ::close(fd);
}

extern "C" ssize_t plat_read(int fd, void* buf, size_t count) {
  auto of = findOpen(fd);
  if (!of) return ::read(fd, buf, count);
  return callDevice(*of, Access::kRead,
                    [&] { return of->device->read(of->file, buf, count); });
}

extern "C" ssize_t plat_write(int fd, const void* buf, size_t count) {
  auto of = findOpen(fd);
  if (!of) return ::write(fd, buf, count);
  return callDevice(*of, Access::kWrite,
                    [&] { return of->device->write(of->file, buf, count); });
}

extern "C" ssize_t plat_pread(int fd, void* buf, size_t count, off_t offset) {
  auto of = findOpen(fd);
  if (!of) return ::pread(fd, buf, count, offset);
  if (offset < 0) {
    errno = EINVAL;
    return -1;
  }
  return callDevice(*of, Access::kRead,
                    [&] { return of->device->pread(of->file, buf, count, offset); });
}

extern "C" ssize_t plat_pwrite(int fd, const void* buf, size_t count, off_t offset) {
  auto of = findOpen(fd);
  if (!of) return ::pwrite(fd, buf, count, offset);
  if (offset < 0) {
    errno = EINVAL;
    return -1;
  }
  return callDevice(*of, Access::kWrite,
                    [&] { return of->device->pwrite(of->file, buf, count, offset); });
}

extern "C" int plat_ioctl(int fd, unsigned long request, ...) {
  va_list ap;
  va_start(ap, request);
  void* arg = va_arg(ap, void*);
  va_end(ap);
  auto of = findOpen(fd);
  if (!of) return ::ioctl(fd, request, arg);
  return callDevice(*of, Access::kNone,
                    [&] { return of->device->ioctl(of->file, request, arg); });
}

extern "C" void* plat_mmap(void* addr, size_t length, int prot, int flags, int fd,
                           off_t offset) {
  auto of = findOpen(fd);
  if (!of) return ::mmap(addr, length, prot, flags, fd, offset);
  const long page = sysconf(_SC_PAGESIZE);
  int mode = of->file.flags & O_ACCMODE;
  int err = 0;
  // Device memory cannot be placed at a caller's address.
  if (length == 0 || offset < 0 || offset % page != 0 || (flags & MAP_FIXED) != 0 ||
      (flags & (MAP_SHARED | MAP_PRIVATE)) == 0)
    err = EINVAL;
  else if (mode == O_WRONLY ||
           ((flags & MAP_SHARED) != 0 && (prot & PROT_WRITE) != 0 && mode != O_RDWR))
    err = EACCES;
  platform::sim::MapSource source;
  if (err == 0) {
    int rc = callDevice(*of, Access::kNone, [&] {
      return of->device->mmap(of->file, length, offset, prot, &source);
    });
    if (rc < 0) return MAP_FAILED;  // errno set
    if (source.memory == nullptr || source.offset % static_cast<size_t>(page) != 0 ||
        source.offset > source.memory->size() || length > source.memory->size() - source.offset)
      err = ENODEV;
  }
  if (err != 0) {
    errno = err;
    return MAP_FAILED;
  }
  // A real mapping of the device's pages: the kernel applies the protection (a write through
  // a read-only mapping faults) and the sharing (a private mapping copies on write).
  void* mapped = ::mmap(nullptr, length, prot, flags, source.memory->fd(), static_cast<off_t>(source.offset));
  if (mapped == MAP_FAILED) return MAP_FAILED;
  Tables& t = tables();
  std::lock_guard<std::mutex> guard(t.mapsLock);
  t.maps.emplace(reinterpret_cast<uintptr_t>(mapped), Tables::Mapping{length, of, std::move(source.memory)});
  return mapped;
}

extern "C" int plat_munmap(void* addr, size_t length) {
  const uintptr_t start = reinterpret_cast<uintptr_t>(addr);
  std::shared_ptr<OpenFile> of;
  size_t mapped_len = 0;
  bool inside = false;
  {
    Tables& t = tables();
    std::lock_guard<std::mutex> guard(t.mapsLock);
    auto hit = t.maps.find(start);
    if (hit != t.maps.end()) {
      of = std::move(hit->second.of);
      mapped_len = hit->second.len;
      t.maps.erase(hit);
    } else {
      for (const auto& [base, m] : t.maps)
        if (start > base && start < base + m.len) inside = true;
    }
  }
  if (of) {
    ::munmap(addr, mapped_len);  // the whole device mapping goes, as it was made
    of->device->munmap(of->file, addr, length);
    return 0;
  }
  if (inside) {  // a piece of device memory cannot be unmapped on its own
    errno = EINVAL;
    return -1;
  }
  return ::munmap(addr, length);
}

namespace {
std::mutex g_pollFaultLock;
platform::sim::testing::PollFault g_pollFault = platform::sim::testing::PollFault::kNone;
int g_pollFaultErrno = 0;
uint64_t g_pollFaults = 0;
std::atomic<bool> g_pollFaultSet{false};  // polls without a fault take no lock

// The injected fault's answer, or -2 when polls work.
int faultedPoll(struct pollfd* fds, nfds_t nfds) {
  using platform::sim::testing::PollFault;
  if (!g_pollFaultSet.load(std::memory_order_acquire)) return -2;
  std::lock_guard<std::mutex> guard(g_pollFaultLock);
  if (g_pollFault == PollFault::kNone) return -2;
  ++g_pollFaults;
  if (g_pollFault == PollFault::kError) {
    errno = g_pollFaultErrno;
    return -1;
  }
  int ready = 0;
  for (nfds_t i = 0; i < nfds; ++i) {
    fds[i].revents = fds[i].fd >= 0 ? POLLNVAL : 0;
    ready += fds[i].fd >= 0;
  }
  return ready;
}
}  // namespace

namespace platform::sim::testing {
void setPollFault(PollFault fault, int error) {
  std::lock_guard<std::mutex> guard(g_pollFaultLock);
  g_pollFault = fault;
  g_pollFaultErrno = error;
  g_pollFaults = 0;
  g_pollFaultSet.store(fault != PollFault::kNone, std::memory_order_release);
}
uint64_t pollFaults() {
  std::lock_guard<std::mutex> guard(g_pollFaultLock);
  return g_pollFaults;
}
}  // namespace platform::sim::testing

extern "C" int plat_poll(struct pollfd* fds, nfds_t nfds, int timeout_ms) {
  if (fds == nullptr && nfds != 0) {
    errno = EFAULT;
    return -1;
  }
  if (const int faulted = faultedPoll(fds, nfds); faulted != -2) return faulted;
  // Per-thread scratch that keeps its capacity, so that a thread waiting in a loop does not
  // allocate on every wait, as poll(2) does not: real-time paths are tested over this.
  struct Scratch {
    std::vector<std::shared_ptr<OpenFile>> sim;
    std::vector<Device*> devices;
    std::vector<struct pollfd> real;
    std::vector<nfds_t> realIndex;
  };
  thread_local Scratch scratch;
  struct Release {  // the open files are not held past the call
    Scratch& s;
    ~Release() {
      s.sim.clear();
      s.devices.clear();
    }
  } release{scratch};
  std::vector<std::shared_ptr<OpenFile>>& sim = scratch.sim;
  std::vector<Device*>& devices = scratch.devices;
  sim.resize(nfds);
  for (nfds_t i = 0; i < nfds; ++i) {
    if (fds[i].fd < 0) continue;
    sim[i] = findOpen(fds[i].fd);
    if (sim[i] && std::find(devices.begin(), devices.end(), sim[i]->device.get()) ==
                      devices.end())
      devices.push_back(sim[i]->device.get());
  }
  if (devices.empty()) return ::poll(fds, nfds, timeout_ms);

  thread_local PollWaker waker;
  if (waker.fd < 0) return -1;
  // Registered before readiness is first asked, so no notify() between the two is lost.
  for (Device* d : devices) platform::sim::Waiters::add(*d, waker.fd);
  struct Unregister {
    std::vector<Device*>& devices;
    int fd;
    ~Unregister() {
      for (Device* d : devices) platform::sim::Waiters::remove(*d, fd);
    }
  } unregister{devices, waker.fd};

  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeout_ms, 0));
  std::vector<struct pollfd>& real = scratch.real;
  std::vector<nfds_t>& realIndex = scratch.realIndex;
  for (;;) {
    waker.drain();  // before asking the devices, so a later notify() is still seen
    int ready = 0;
    real.clear();
    realIndex.clear();
    for (nfds_t i = 0; i < nfds; ++i) {
      fds[i].revents = 0;
      if (sim[i]) {
        fds[i].revents = simRevents(*sim[i], fds[i].events);
        if (fds[i].revents != 0) ++ready;
      } else {
        real.push_back(fds[i]);
        realIndex.push_back(i);
      }
    }
    real.push_back({waker.fd, POLLIN, 0});

    int wait_ms = 0;
    if (ready == 0) {
      if (timeout_ms < 0) {
        wait_ms = -1;
      } else {
        auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        wait_ms = static_cast<int>(std::max<int64_t>(left.count(), 0));
      }
    }
    int rc = ::poll(real.data(), real.size(), wait_ms);
    if (rc < 0) return -1;  // EINTR and the like, as poll(2)
    for (size_t k = 0; k < realIndex.size(); ++k) {
      fds[realIndex[k]].revents = real[k].revents;
      if (real[k].revents != 0) ++ready;
    }
    if (ready > 0) return ready;
    bool woken = real.back().revents != 0;
    if (!woken && wait_ms >= 0 && (wait_ms == 0 || Clock::now() >= deadline)) return 0;
  }
}
