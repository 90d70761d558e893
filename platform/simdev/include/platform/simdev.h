#pragma once
// Driver side of simulated character devices. A test (or a simulated driver) registers a
// Device under a system path such as "/dev/tamrel-touch"; production code then reaches it
// through plat_open/plat_read/plat_ioctl/plat_mmap/plat_poll (platform/devio.h) exactly as it
// would reach a kernel driver.
//
// Rules for devices:
//  - Every operation receives the File of the open it belongs to, so a device can keep
//    per-open state (File::state) and tell opens apart (File::id).
//  - Return values follow the kernel: a count or 0 on success, -errno on failure.
//  - Operations run on the caller's thread with no platform lock held; a device guards its
//    own state. A device may block in read() but must then wake on detach (onDetached()).
//  - Call notify() whenever the answer of pollMask() may have changed.

#include <poll.h>
#include <stdint.h>
#include <sys/types.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace platform::sim {

// One open of a device (the kernel's struct file).
struct File {
  uint64_t id = 0;                // unique for the life of the process
  int flags = 0;                  // the open flags (O_ACCMODE, O_NONBLOCK, ...)
  std::shared_ptr<void> state;    // the device's per-open state, if it wants one
};

// Memory a device shares with the processes that map it, as a driver shares its pages.
// The device reads and writes it through data(); every plat_mmap of it is a real mapping of
// the same pages made with the caller's protection and sharing, as the kernel makes it: a
// read-only mapping cannot be written, and a private mapping copies on write, so what the
// mapper writes there never reaches the device.
class SharedMemory {
 public:
  // size is rounded up to whole pages; the pages start zeroed. Throws std::system_error
  // when the memory cannot be made.
  explicit SharedMemory(size_t size);
  ~SharedMemory();
  SharedMemory(const SharedMemory&) = delete;
  SharedMemory& operator=(const SharedMemory&) = delete;

  uint8_t* data() const { return data_; }
  size_t size() const { return size_; }
  int fd() const { return fd_; }  // what plat_mmap maps

 private:
  int fd_ = -1;
  uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

// What a device's mmap names: its shared memory and the page-aligned offset in it where the
// mapping starts.
struct MapSource {
  std::shared_ptr<SharedMemory> memory;
  size_t offset = 0;
};

class Device {
 public:
  Device() = default;
  virtual ~Device() = default;
  Device(const Device&) = delete;
  Device& operator=(const Device&) = delete;

  virtual int open(File& file);
  // Called once per open, when the descriptor is closed and no mapping of it remains.
  virtual void release(File& file);
  virtual ssize_t read(File& file, void* buf, size_t count);                 // -EINVAL
  virtual ssize_t write(File& file, const void* buf, size_t count);          // -EINVAL
  virtual ssize_t pread(File& file, void* buf, size_t count, off_t offset);  // -ESPIPE
  virtual ssize_t pwrite(File& file, const void* buf, size_t count, off_t offset);
  // arg is the caller's one argument: a pointer, or an integer by value (read it with
  // argInt: only the low 32 bits of an int passed through "..." are defined).
  virtual int ioctl(File& file, unsigned long request, void* arg);  // -ENOTTY
  // Chooses the memory that len bytes at offset off of the device map: *source receives the
  // device's shared memory and the offset in it. 0 or -errno (default -ENODEV). The mapping
  // itself is made by the platform with the caller's protection and flags.
  virtual int mmap(File& file, size_t len, off_t off, int prot, MapSource* source);
  virtual void munmap(File& file, void* addr, size_t len);
  // Events ready now for this open (POLLIN, POLLPRI, POLLOUT, POLLRDNORM, ...). Default:
  // always readable and writable, as the kernel says of a device without poll.
  virtual short pollMask(File& file);

  // True once the device has been unregistered: its descriptors then fail with ENODEV.
  bool detached() const { return detached_.load(); }

  static int argInt(void* arg) { return static_cast<int>(reinterpret_cast<intptr_t>(arg)); }

 protected:
  // Wakes every plat_poll currently waiting on this device, so it asks pollMask() again.
  void notify();
  // Called once when the device is unregistered, after which detached() is true. A device
  // that blocks in read() wakes its readers here.
  virtual void onDetached() {}

 private:
  friend class Registry;
  friend class Waiters;
  std::atomic<bool> detached_{false};
  std::atomic<bool> registered_{false};
  std::mutex waitersLock_;        // guards waiters_
  std::vector<int> waiters_;      // eventfds of the plat_poll calls waiting on this device
};

// 0; -EINVAL (relative path, ".." above the root, null device); -EEXIST (path taken);
// -EBUSY (device already registered, now or before). When the root is not the real "/",
// an empty placeholder file is made at the path under the root so that directory scans
// (plat_opendir("/dev/input")) and plat_access see the device.
int registerDevice(const std::string& path, std::shared_ptr<Device> device);
// 0 or -ENOENT. Open descriptors stay valid to close; every other call on them fails
// with ENODEV, and plat_poll reports POLLHUP | POLLERR.
int unregisterDevice(const std::string& path);

}  // namespace platform::sim
