#include "platform/simdev.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/devio.h"
#include "platform/paths.h"
#include "platform/simdev_test.h"
#include "platform/temp_root.h"

namespace {

using namespace std::chrono_literals;
using platform::sim::Device;
using platform::sim::File;
using platform::testing::TempRoot;

constexpr unsigned long kIocGetId = _IOR('x', 1, uint64_t);
constexpr unsigned long kIocDouble = _IO('x', 2);
constexpr size_t kMemSize = 2 * 4096;

// A device with a byte queue to read, urgent data, a pattern to pread and memory to map.
class TestDevice : public Device {
 public:
  TestDevice() : memory_(std::make_shared<platform::sim::SharedMemory>(kMemSize)) {}

  void push(const std::string& bytes) {
    {
      std::lock_guard<std::mutex> g(lock_);
      pending_ += bytes;
    }
    notify();
  }
  void setUrgent(bool urgent) {
    {
      std::lock_guard<std::mutex> g(lock_);
      urgent_ = urgent;
    }
    notify();
  }
  std::vector<std::string> writes() {
    std::lock_guard<std::mutex> g(lock_);
    return writes_;
  }
  int releases() const { return releases_.load(); }
  int unmaps() const { return unmaps_.load(); }
  uint8_t* memory() { return memory_->data(); }

  int open(File& f) override {
    f.state = std::make_shared<int>(opens_++);
    return 0;
  }
  void release(File&) override { ++releases_; }
  ssize_t read(File&, void* buf, size_t n) override {
    std::lock_guard<std::mutex> g(lock_);
    if (pending_.empty()) return -EAGAIN;
    n = std::min(n, pending_.size());
    memcpy(buf, pending_.data(), n);
    pending_.erase(0, n);
    return static_cast<ssize_t>(n);
  }
  ssize_t write(File& f, const void* buf, size_t n) override {
    std::lock_guard<std::mutex> g(lock_);
    writes_.push_back(std::to_string(*static_cast<int*>(f.state.get())) + ":" +
                      std::string(static_cast<const char*>(buf), n));
    return static_cast<ssize_t>(n);
  }
  // A 1032-byte block whose byte i is (i * 7) & 0xff.
  ssize_t pread(File&, void* buf, size_t n, off_t off) override {
    if (off >= 1032) return 0;
    n = std::min(n, static_cast<size_t>(1032 - off));
    for (size_t i = 0; i < n; ++i)
      static_cast<uint8_t*>(buf)[i] = static_cast<uint8_t>(((off + i) * 7) & 0xff);
    return static_cast<ssize_t>(n);
  }
  int ioctl(File& f, unsigned long req, void* arg) override {
    if (req == kIocGetId) {
      memcpy(arg, &f.id, sizeof f.id);
      return 0;
    }
    if (req == kIocDouble) return 2 * argInt(arg);
    return Device::ioctl(f, req, arg);
  }
  int mmap(File&, size_t len, off_t off, int, platform::sim::MapSource* source) override {
    if (static_cast<size_t>(off) + len > kMemSize) return -EINVAL;
    source->memory = memory_;
    source->offset = static_cast<size_t>(off);
    return 0;
  }
  void munmap(File&, void*, size_t) override { ++unmaps_; }
  short pollMask(File&) override {
    std::lock_guard<std::mutex> g(lock_);
    short m = POLLOUT | POLLWRNORM;
    if (!pending_.empty()) m |= POLLIN | POLLRDNORM;
    if (urgent_) m |= POLLPRI;
    return m;
  }

 private:
  std::mutex lock_;
  std::string pending_;
  bool urgent_ = false;
  std::vector<std::string> writes_;
  std::atomic<int> opens_{0};
  std::atomic<int> releases_{0};
  std::atomic<int> unmaps_{0};
  std::shared_ptr<platform::sim::SharedMemory> memory_;
};

class PlatformSimdev : public ::testing::Test {
 protected:
  void SetUp() override {
    dev_ = std::make_shared<TestDevice>();
    ASSERT_EQ(platform::sim::registerDevice("/dev/tamrel-test", dev_), 0);
  }
  void TearDown() override { platform::sim::unregisterDevice("/dev/tamrel-test"); }

  static int64_t msSince(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now() - t)
        .count();
  }

  TempRoot root_;
  std::shared_ptr<TestDevice> dev_;
};

TEST_F(PlatformSimdev, OpenReadWriteIoctlPread) {
  // The placeholder makes the device visible to scans and access checks.
  EXPECT_EQ(plat_access("/dev/tamrel-test", R_OK), 0);

  int real = eventfd(0, EFD_CLOEXEC);
  int a = plat_open("/dev/tamrel-test", O_RDWR);
  int b = plat_open("//dev/./tamrel-test", O_RDONLY | O_NONBLOCK);
  ASSERT_GE(a, 0);
  ASSERT_GE(b, 0);
  EXPECT_EQ(std::set<int>({real, a, b}).size(), 3u);  // real, unique descriptor numbers
  EXPECT_GE(fcntl(a, F_GETFD), 0);

  uint64_t ida = 0, idb = 0;
  ASSERT_EQ(plat_ioctl(a, kIocGetId, &ida), 0);
  ASSERT_EQ(plat_ioctl(b, kIocGetId, &idb), 0);
  EXPECT_NE(ida, idb);
  EXPECT_EQ(plat_ioctl(a, kIocDouble, 21), 42);
  EXPECT_EQ(plat_ioctl(a, kIocDouble, -4), -1);  // a negative result is an error code
  EXPECT_EQ(errno, 8);
  EXPECT_EQ(plat_ioctl(a, _IO('y', 9), 0), -1);
  EXPECT_EQ(errno, ENOTTY);

  EXPECT_EQ(plat_write(a, "abc", 3), 3);
  EXPECT_EQ(plat_write(b, "x", 1), -1);  // opened read-only
  EXPECT_EQ(errno, EBADF);
  EXPECT_EQ(dev_->writes(), std::vector<std::string>{"0:abc"});

  char buf[16];
  EXPECT_EQ(plat_read(b, buf, sizeof buf), -1);
  EXPECT_EQ(errno, EAGAIN);
  dev_->push("hello");
  ASSERT_EQ(plat_read(b, buf, sizeof buf), 5);
  EXPECT_EQ(std::string(buf, 5), "hello");

  uint8_t block[1032];
  ASSERT_EQ(plat_pread(a, block, sizeof block, 0), 1032);
  for (size_t i = 0; i < sizeof block; ++i) ASSERT_EQ(block[i], (i * 7) & 0xff) << i;
  ASSERT_EQ(plat_pread(a, block, 8, 1030), 2);
  EXPECT_EQ(block[0], (1030 * 7) & 0xff);
  EXPECT_EQ(plat_pread(a, block, 8, -1), -1);
  EXPECT_EQ(errno, EINVAL);

  EXPECT_EQ(plat_close(a), 0);
  EXPECT_EQ(dev_->releases(), 1);
  EXPECT_EQ(plat_close(b), 0);
  EXPECT_EQ(dev_->releases(), 2);
  EXPECT_EQ(plat_read(a, buf, 1), -1);  // closed: no longer the device
  EXPECT_EQ(errno, EBADF);
  close(real);
}

TEST_F(PlatformSimdev, BareDeviceAnswersLikeAKernelDriverWithoutOperations) {
  ASSERT_EQ(platform::sim::registerDevice("/dev/bare", std::make_shared<Device>()), 0);
  int fd = plat_open("/dev/bare", O_RDWR);
  ASSERT_GE(fd, 0);
  char c;
  struct {
    const char* call;
    std::function<ssize_t()> run;
    int err;
  } cases[] = {
      {"read", [&] { return plat_read(fd, &c, 1); }, EINVAL},
      {"write", [&] { return plat_write(fd, &c, 1); }, EINVAL},
      {"pread", [&] { return plat_pread(fd, &c, 1, 0); }, ESPIPE},
      {"pwrite", [&] { return plat_pwrite(fd, &c, 1, 0); }, ESPIPE},
      {"ioctl", [&] { return static_cast<ssize_t>(plat_ioctl(fd, 0x1234, 0)); }, ENOTTY},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.call);
    errno = 0;
    EXPECT_EQ(k.run(), -1);
    EXPECT_EQ(errno, k.err);
  }
  EXPECT_EQ(plat_mmap(nullptr, 4096, PROT_READ, MAP_SHARED, fd, 0), MAP_FAILED);
  EXPECT_EQ(errno, ENODEV);
  struct pollfd p = {fd, POLLIN | POLLOUT, 0};
  EXPECT_EQ(plat_poll(&p, 1, 1000), 1);
  EXPECT_EQ(p.revents, POLLIN | POLLOUT);
  EXPECT_EQ(plat_close(fd), 0);
  EXPECT_EQ(platform::sim::unregisterDevice("/dev/bare"), 0);
}

TEST_F(PlatformSimdev, MmapGivesDeviceMemoryAndOutlivesClose) {
  int fd = plat_open("/dev/tamrel-test", O_RDWR);
  ASSERT_GE(fd, 0);
  auto* p = static_cast<uint8_t*>(
      plat_mmap(nullptr, kMemSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0));
  ASSERT_NE(p, MAP_FAILED);
  dev_->memory()[100] = 0x5a;  // the driver fills a buffer...
  EXPECT_EQ(p[100], 0x5a);     // ...the mapping sees it
  p[200] = 0x33;               // and a shared writable mapping reaches the driver
  EXPECT_EQ(dev_->memory()[200], 0x33);
  auto* tail = static_cast<uint8_t*>(
      plat_mmap(nullptr, 4096, PROT_READ, MAP_SHARED, fd, 4096));
  ASSERT_NE(tail, MAP_FAILED);
  dev_->memory()[4096 + 3] = 0x77;
  EXPECT_EQ(tail[3], 0x77);
  // A second mapping of the same pages is a mapping of its own.
  auto* second = static_cast<uint8_t*>(plat_mmap(nullptr, 4096, PROT_READ, MAP_SHARED, fd, 0));
  ASSERT_NE(second, MAP_FAILED);
  EXPECT_NE(second, p);
  EXPECT_EQ(second[100], 0x5a);

  struct {
    size_t len;
    int prot, flags;
    off_t off;
    int err;
  } refused[] = {
      {0, PROT_READ, MAP_SHARED, 0, EINVAL},
      {4096, PROT_READ, MAP_SHARED, 100, EINVAL},
      {4096, PROT_READ, MAP_SHARED | MAP_FIXED, 0, EINVAL},
      {4096, PROT_READ, 0, 0, EINVAL},
      {3 * 4096, PROT_READ, MAP_SHARED, 0, EINVAL},  // refused by the device
  };
  for (const auto& r : refused) {
    errno = 0;
    EXPECT_EQ(plat_mmap(nullptr, r.len, r.prot, r.flags, fd, r.off), MAP_FAILED);
    EXPECT_EQ(errno, r.err);
  }
  int ro = plat_open("/dev/tamrel-test", O_RDONLY);
  EXPECT_EQ(plat_mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_SHARED, ro, 0), MAP_FAILED);
  EXPECT_EQ(errno, EACCES);
  plat_close(ro);

  // Only whole device mappings: a piece of the device's memory never reaches munmap(2).
  EXPECT_EQ(plat_munmap(tail, 4096), 0);
  EXPECT_EQ(plat_munmap(p + 4096, 4096), -1);
  EXPECT_EQ(errno, EINVAL);
  ASSERT_EQ(plat_close(fd), 0);
  EXPECT_EQ(dev_->releases(), 1);  // the read-only open only; the mappings hold the other
  EXPECT_EQ(plat_munmap(second, 4096), 0);
  EXPECT_EQ(dev_->releases(), 1);
  EXPECT_EQ(plat_munmap(p, kMemSize), 0);
  EXPECT_EQ(dev_->unmaps(), 3);
  EXPECT_EQ(dev_->releases(), 2);
}

// The mapping is made as the kernel makes it: a read-only one cannot be written, and what
// is written to a private one stays in the process.
TEST_F(PlatformSimdev, MmapHonoursProtectionAndPrivateMappings) {
  int fd = plat_open("/dev/tamrel-test", O_RDWR);
  ASSERT_GE(fd, 0);
  auto* ro = static_cast<uint8_t*>(plat_mmap(nullptr, 4096, PROT_READ, MAP_SHARED, fd, 0));
  ASSERT_NE(ro, MAP_FAILED);
  // The kernel refuses to store into a read-only mapping: read(2) into it faults.
  int pipefd[2];
  ASSERT_EQ(pipe(pipefd), 0);
  ASSERT_EQ(write(pipefd[1], "x", 1), 1);
  errno = 0;
  EXPECT_EQ(read(pipefd[0], ro, 1), -1);
  EXPECT_EQ(errno, EFAULT);
  close(pipefd[0]);
  close(pipefd[1]);

  dev_->memory()[10] = 1;
  auto* priv = static_cast<uint8_t*>(
      plat_mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_PRIVATE, fd, 0));
  ASSERT_NE(priv, MAP_FAILED);
  EXPECT_EQ(priv[10], 1);  // the device's bytes, until written
  priv[10] = 2;
  EXPECT_EQ(dev_->memory()[10], 1);  // the write stayed private
  EXPECT_EQ(ro[10], 1);
  // A private writable mapping needs no write access to the file.
  int rdonly = plat_open("/dev/tamrel-test", O_RDONLY);
  void* priv2 = plat_mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_PRIVATE, rdonly, 0);
  EXPECT_NE(priv2, MAP_FAILED);
  EXPECT_EQ(plat_munmap(priv2, 4096), 0);
  EXPECT_EQ(plat_munmap(priv, 4096), 0);
  EXPECT_EQ(plat_munmap(ro, 4096), 0);
  plat_close(rdonly);
  plat_close(fd);
}

TEST_F(PlatformSimdev, PollBlocksUntilTheDeviceNotifies) {
  int fd = plat_open("/dev/tamrel-test", O_RDWR);
  ASSERT_GE(fd, 0);
  struct Case {
    short events;
    std::function<void()> trigger;
    short expected;
  } cases[] = {
      {POLLIN, [&] { dev_->push("f"); }, POLLIN},
      {POLLPRI, [&] { dev_->setUrgent(true); }, POLLPRI},  // the frame thread's wait
  };
  for (const Case& c : cases) {
    auto start = std::chrono::steady_clock::now();
    std::thread producer([&] {
      std::this_thread::sleep_for(60ms);
      c.trigger();
    });
    struct timespec cpu0, cpu1;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu0);
    struct pollfd p = {fd, c.events, 0};
    int rc = plat_poll(&p, 1, 5000);
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu1);
    producer.join();
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(p.revents, c.expected);  // POLLOUT was not asked for, so not reported
    EXPECT_GE(msSince(start), 50);
    // Asleep, not spinning: far less CPU than the time waited.
    double cpu_ms = (cpu1.tv_sec - cpu0.tv_sec) * 1e3 + (cpu1.tv_nsec - cpu0.tv_nsec) / 1e6;
    EXPECT_LT(cpu_ms, 20.0);
  }
  plat_close(fd);
}

TEST_F(PlatformSimdev, PollMixesSimulatedAndRealDescriptors) {
  int fd = plat_open("/dev/tamrel-test", O_RDWR);
  int efd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  const int closed = 4000;  // a number that is not open: POLLNVAL, as poll(2)
  ASSERT_EQ(fcntl(closed, F_GETFD), -1);
  ASSERT_GE(fd, 0);
  ASSERT_GE(efd, 0);
  const uint64_t one = 1;

  // The real eventfd wakes a poll that also waits on the device.
  std::thread writer([&] {
    std::this_thread::sleep_for(40ms);
    ASSERT_EQ(write(efd, &one, sizeof one), 8);
  });
  struct pollfd p[3] = {{fd, POLLIN, 0}, {-1, POLLIN, 0}, {efd, POLLIN, 0}};
  EXPECT_EQ(plat_poll(p, 3, 5000), 1);
  writer.join();
  EXPECT_EQ(p[0].revents, 0);
  EXPECT_EQ(p[1].revents, 0);
  EXPECT_EQ(p[2].revents, POLLIN);

  // Both ready, plus an invalid number: three entries count.
  dev_->push("x");
  struct pollfd q[4] = {{fd, POLLIN, 0}, {efd, POLLIN, 0}, {closed, POLLIN, 0}, {-5, POLLIN, 0}};
  EXPECT_EQ(plat_poll(q, 4, 0), 3);
  EXPECT_EQ(q[0].revents, POLLIN);
  EXPECT_EQ(q[1].revents, POLLIN);
  EXPECT_EQ(q[2].revents, POLLNVAL);
  EXPECT_EQ(q[3].revents, 0);

  // The device wakes a poll that also waits on a real descriptor.
  uint64_t drained;
  ASSERT_EQ(read(efd, &drained, sizeof drained), 8);
  char c;
  ASSERT_EQ(plat_read(fd, &c, 1), 1);
  std::thread pusher([&] {
    std::this_thread::sleep_for(40ms);
    dev_->push("y");
  });
  struct pollfd r[2] = {{efd, POLLIN, 0}, {fd, POLLIN, 0}};
  EXPECT_EQ(plat_poll(r, 2, 5000), 1);
  pusher.join();
  EXPECT_EQ(r[0].revents, 0);
  EXPECT_EQ(r[1].revents, POLLIN);
  plat_close(fd);
  close(efd);
}

// Injected poll faults answer every call as a failing poll(2) would, whatever the descriptors
// hold, and are counted; cleared, polls answer from the descriptors again.
TEST_F(PlatformSimdev, InjectedPollFaultsAnswerEveryCallAndAreCounted) {
  using platform::sim::testing::PollFault;
  int fd = plat_open("/dev/tamrel-test", O_RDWR);
  int efd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  ASSERT_GE(fd, 0);
  ASSERT_GE(efd, 0);
  dev_->push("x");  // readable: the fault wins all the same

  platform::sim::testing::setPollFault(PollFault::kError, ENOMEM);
  struct pollfd p[3] = {{fd, POLLIN, 0}, {-1, POLLIN, 0}, {efd, POLLIN, 0}};
  errno = 0;
  EXPECT_EQ(plat_poll(p, 3, -1), -1);  // even a poll that would wait for ever answers at once
  EXPECT_EQ(errno, ENOMEM);
  EXPECT_EQ(platform::sim::testing::pollFaults(), 1u);

  platform::sim::testing::setPollFault(PollFault::kInvalid);
  EXPECT_EQ(platform::sim::testing::pollFaults(), 0u);
  EXPECT_EQ(plat_poll(p, 3, -1), 2);
  EXPECT_EQ(p[0].revents, POLLNVAL);
  EXPECT_EQ(p[1].revents, 0);
  EXPECT_EQ(p[2].revents, POLLNVAL);
  EXPECT_EQ(plat_poll(p, 1, 0), 1);
  EXPECT_EQ(platform::sim::testing::pollFaults(), 2u);

  platform::sim::testing::setPollFault(PollFault::kNone);
  EXPECT_EQ(plat_poll(p, 3, 0), 1);
  EXPECT_EQ(p[0].revents, POLLIN);
  EXPECT_EQ(p[2].revents, 0);
  EXPECT_EQ(platform::sim::testing::pollFaults(), 0u);
  plat_close(fd);
  close(efd);
}

TEST_F(PlatformSimdev, PollHonoursTimeouts) {
  int fd = plat_open("/dev/tamrel-test", O_RDWR);
  int efd = eventfd(0, EFD_CLOEXEC);
  for (int timeout : {0, 80}) {
    SCOPED_TRACE(timeout);
    struct pollfd p[2] = {{fd, POLLIN | POLLPRI, 0}, {efd, POLLIN, 0}};
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(plat_poll(p, 2, timeout), 0);
    EXPECT_GE(msSince(start), timeout);
    EXPECT_LT(msSince(start), timeout + 1000);
    EXPECT_EQ(p[0].revents, 0);
    EXPECT_EQ(p[1].revents, 0);
  }
  // Notifications that change nothing do not end the wait early.
  std::atomic<bool> stop{false};
  std::thread noise([&] {
    while (!stop) {
      dev_->setUrgent(false);
      std::this_thread::sleep_for(5ms);
    }
  });
  struct pollfd p = {fd, POLLPRI, 0};
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(plat_poll(&p, 1, 100), 0);
  EXPECT_GE(msSince(start), 100);
  stop = true;
  noise.join();
  plat_close(fd);
  close(efd);
}

TEST_F(PlatformSimdev, UnregisterWhileOpenIsSafe) {
  int fd = plat_open("/dev/tamrel-test", O_RDWR);
  ASSERT_GE(fd, 0);
  auto* p = static_cast<uint8_t*>(plat_mmap(nullptr, 4096, PROT_READ, MAP_SHARED, fd, 0));
  ASSERT_NE(p, MAP_FAILED);
  std::weak_ptr<TestDevice> weak = dev_;
  dev_->memory()[7] = 9;
  dev_.reset();  // the test no longer holds the device

  struct pollfd pfd = {fd, POLLIN, 0};
  int rc = 0;
  std::thread waiter([&] { rc = plat_poll(&pfd, 1, 5000); });
  std::this_thread::sleep_for(30ms);
  ASSERT_EQ(platform::sim::unregisterDevice("/dev/tamrel-test"), 0);
  waiter.join();
  EXPECT_EQ(rc, 1);
  EXPECT_EQ(pfd.revents, POLLHUP | POLLERR);

  char c;
  EXPECT_EQ(plat_read(fd, &c, 1), -1);
  EXPECT_EQ(errno, ENODEV);
  EXPECT_EQ(plat_ioctl(fd, kIocDouble, 1), -1);
  EXPECT_EQ(errno, ENODEV);
  EXPECT_EQ(p[7], 9);  // the mapping still reads the device's memory
  EXPECT_FALSE(weak.expired());
  EXPECT_EQ(plat_close(fd), 0);
  EXPECT_FALSE(weak.expired());
  EXPECT_EQ(plat_munmap(p, 4096), 0);
  EXPECT_TRUE(weak.expired());  // the last user gone, the device is freed

  // The path is free again; with no device and no placeholder it is just missing.
  EXPECT_EQ(plat_access("/dev/tamrel-test", F_OK), -1);
  EXPECT_EQ(plat_open("/dev/tamrel-test", O_RDWR), -1);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(plat_close(fd), -1);  // closing twice, or an unknown fd
  EXPECT_EQ(errno, EBADF);
}

TEST_F(PlatformSimdev, RegistrationErrors) {
  auto other = std::make_shared<TestDevice>();
  EXPECT_EQ(platform::sim::registerDevice("/dev//tamrel-test", other), -EEXIST);
  EXPECT_EQ(platform::sim::registerDevice("/dev/a", dev_), -EBUSY);
  EXPECT_EQ(platform::sim::registerDevice("dev/a", other), -EINVAL);
  EXPECT_EQ(platform::sim::registerDevice("/dev/../../a", other), -EINVAL);
  EXPECT_EQ(platform::sim::registerDevice("/dev/a", nullptr), -EINVAL);
  EXPECT_EQ(platform::sim::unregisterDevice("/dev/none"), -ENOENT);

  // A detached device is not brought back; a new object takes the path.
  ASSERT_EQ(platform::sim::unregisterDevice("/dev/tamrel-test"), 0);
  EXPECT_EQ(platform::sim::registerDevice("/dev/tamrel-test", dev_), -EBUSY);
  dev_ = other;
  EXPECT_EQ(platform::sim::registerDevice("/dev/tamrel-test", dev_), 0);
}

TEST_F(PlatformSimdev, RealFilesGoThroughTheRoot) {
  ASSERT_EQ(plat_mkdir_p("/data/vendor/touch", 0755), 0);
  int fd = plat_open("/data/vendor/touch/raw.bin", O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(plat_write(fd, "0123456789", 10), 10);
  EXPECT_EQ(plat_pwrite(fd, "AB", 2, 4), 2);
  char buf[4] = {};
  EXPECT_EQ(plat_pread(fd, buf, 3, 3), 3);
  EXPECT_EQ(std::string(buf, 3), "3AB");
  void* m = plat_mmap(nullptr, 10, PROT_READ, MAP_SHARED, fd, 0);
  ASSERT_NE(m, MAP_FAILED);
  EXPECT_EQ(memcmp(m, "0123AB6789", 10), 0);
  EXPECT_EQ(plat_munmap(m, 10), 0);
  EXPECT_EQ(plat_close(fd), 0);
  EXPECT_EQ(root_.readFile("/data/vendor/touch/raw.bin"), "0123AB6789");
  struct stat st;
  ASSERT_EQ(::stat((root_.dir() + "/data/vendor/touch/raw.bin").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  EXPECT_EQ(plat_open("/../etc/passwd", O_RDONLY), -1);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(plat_open("/data/none", O_RDONLY), -1);
  EXPECT_EQ(errno, ENOENT);
}

TEST_F(PlatformSimdev, DevicesShowInDirectoryScans) {
  auto second = std::make_shared<Device>();
  ASSERT_EQ(platform::sim::registerDevice("/dev/input/event4", second), 0);
  DIR* d = plat_opendir("/dev");
  ASSERT_NE(d, nullptr);
  std::set<std::string> names;
  while (struct dirent* e = readdir(d)) names.insert(e->d_name);
  closedir(d);
  EXPECT_TRUE(names.count("tamrel-test"));
  EXPECT_TRUE(names.count("input"));
  EXPECT_EQ(plat_access("/dev/input/event4", F_OK), 0);
  ASSERT_EQ(platform::sim::unregisterDevice("/dev/input/event4"), 0);
  EXPECT_EQ(plat_access("/dev/input/event4", F_OK), -1);
}

TEST_F(PlatformSimdev, ConcurrentFramesIoctlsAndPolls) {
  int fd = plat_open("/dev/tamrel-test", O_RDWR);
  int exit_fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  ASSERT_GE(fd, 0);
  constexpr int kFrames = 300;
  std::atomic<int> received{0};
  std::thread frame_thread([&] {
    for (;;) {
      struct pollfd p[2] = {{fd, POLLIN, 0}, {exit_fd, POLLIN, 0}};
      if (plat_poll(p, 2, -1) < 0) return;
      if (p[1].revents & POLLIN) return;
      char buf[64];
      ssize_t n;
      while ((n = plat_read(fd, buf, sizeof buf)) > 0) received += static_cast<int>(n);
    }
  });
  std::thread ioctl_thread([&] {
    for (int i = 0; i < kFrames; ++i) EXPECT_EQ(plat_ioctl(fd, kIocDouble, i), 2 * i);
  });
  for (int i = 0; i < kFrames; ++i) {
    dev_->push("f");
    if (i % 50 == 0) std::this_thread::sleep_for(1ms);
  }
  ioctl_thread.join();
  for (int i = 0; i < 500 && received < kFrames; ++i) std::this_thread::sleep_for(2ms);
  const uint64_t one = 1;
  ASSERT_EQ(write(exit_fd, &one, sizeof one), 8);
  frame_thread.join();
  EXPECT_EQ(received.load(), kFrames);
  plat_close(fd);
  close(exit_fd);
}

}  // namespace
