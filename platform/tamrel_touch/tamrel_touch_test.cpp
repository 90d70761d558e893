// The simulated touch driver as production code sees it: through platform/devio.h, with
// the request numbers written out as the driver interface fixes them.
#include "platform/tamrel_touch.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#include "platform/devio.h"
#include "platform/temp_root.h"

namespace {

using platform::sim::TamrelTouchConfig;
using platform::sim::TamrelTouchDevice;

// The request numbers of the driver interface, literally.
constexpr unsigned long kCommonDataWrite = 0x44085400;
constexpr unsigned long kCommonDataRead = 0x84085400;
constexpr unsigned long kCommonDataRw = 0xC4085400;
constexpr unsigned long kPanelInfo = 0x80D65401;
constexpr unsigned long kSelectBuffer = 0x40005402;
constexpr unsigned long kBindTouchId = 0x40005403;
constexpr unsigned long kNewestFrame = 0x80005404;
constexpr unsigned long kRawCopyWrite = 0x40005405;
constexpr unsigned long kRawCopyRead = 0x80005405;
constexpr unsigned long kReportPoints = 0x40005406;

class TamrelTouchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TamrelTouchConfig config;
    config.frame_buffer_pages = 2;
    config.frame_buffer_count = 3;
    config.panel.extent_x = 1220;
    config.panel.rx_count = 18;
    config.panel.tx_count = 40;
    strcpy(config.panel.config_file, "panel.cfg");
    dev_ = TamrelTouchDevice::create(config);
    ASSERT_NE(dev_, nullptr);
    fd_ = plat_open("/dev/tamrel-touch", O_RDWR);
    ASSERT_GE(fd_, 0);
  }
  void TearDown() override {
    if (fd_ >= 0) plat_close(fd_);
    platform::sim::unregisterDevice(TamrelTouchDevice::kPath);
  }
  platform::testing::TempRoot root_;
  std::shared_ptr<TamrelTouchDevice> dev_;
  int fd_ = -1;
};

TEST_F(TamrelTouchTest, PanelInfoAndBindAnswerAsTheDriver) {
  TouchPanelInfo info{};
  ASSERT_EQ(plat_ioctl(fd_, kPanelInfo, &info), 0);
  EXPECT_EQ(info.extent_x, 1220);
  EXPECT_EQ(info.rx_count, 18);
  EXPECT_EQ(info.frame_buffer_pages, 2);
  EXPECT_EQ(info.frame_buffer_count, 3);
  EXPECT_STREQ(info.config_file, "panel.cfg");

  EXPECT_EQ(plat_ioctl(fd_, kBindTouchId, 1), 0);
  EXPECT_EQ(plat_ioctl(fd_, kBindTouchId, 7), -1);
  EXPECT_EQ(errno, EINVAL);
  dev_->failNextBinds(1);
  EXPECT_EQ(plat_ioctl(fd_, kBindTouchId, 0), -1);
  EXPECT_EQ(plat_ioctl(fd_, kBindTouchId, 0), 0);
  EXPECT_EQ(dev_->boundTouchIds(), (std::vector<int>{1, 7, 0, 0}));
  // A request of another type is not this driver's.
  EXPECT_EQ(plat_ioctl(fd_, 0x80005504ul, 0), -1);
  EXPECT_EQ(errno, ENOTTY);
}

TEST_F(TamrelTouchTest, FramesComeOutInOrderAndAnOverfullRingForgetsTheOldest) {
  struct pollfd p{fd_, POLLPRI, 0};
  EXPECT_EQ(plat_poll(&p, 1, 0), 0);
  ASSERT_EQ(plat_ioctl(fd_, kSelectBuffer, 1), 0);
  const size_t len = 2 * 3 * 4096;
  auto* base = static_cast<const uint8_t*>(plat_mmap(nullptr, len, PROT_READ, MAP_SHARED, fd_, 0));
  ASSERT_NE(base, MAP_FAILED);

  // Four frames into a ring of three: the first is overwritten before anyone asked.
  for (uint8_t i = 1; i <= 4; ++i) dev_->pushFrame({i, static_cast<uint8_t>(i * 2)});
  ASSERT_EQ(plat_poll(&p, 1, 0), 1);
  EXPECT_TRUE(p.revents & POLLPRI);
  std::vector<int> order;
  int index;
  while ((index = plat_ioctl(fd_, kNewestFrame, 0)) >= 0) {
    order.push_back(index);
    EXPECT_EQ(base[index * 8192 + 1], base[index * 8192] * 2);
  }
  EXPECT_EQ(errno, EAGAIN);
  EXPECT_EQ(order, (std::vector<int>{1, 2, 0}));
  EXPECT_EQ(base[0], 4);
  EXPECT_TRUE(dev_->waitFramesTaken(std::chrono::milliseconds(0)));
  EXPECT_EQ(plat_munmap(const_cast<uint8_t*>(base), len), 0);
}

TEST_F(TamrelTouchTest, MmapNeedsASelectedBufferWithinItsSize) {
  EXPECT_EQ(plat_mmap(nullptr, 4096, PROT_READ, MAP_SHARED, fd_, 0), MAP_FAILED);
  EXPECT_EQ(plat_ioctl(fd_, kSelectBuffer, 3), -1);
  ASSERT_EQ(plat_ioctl(fd_, kSelectBuffer, 4), 0);
  EXPECT_EQ(plat_mmap(nullptr, 8192, PROT_READ, MAP_SHARED, fd_, 0), MAP_FAILED);
  void* page = plat_mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
  ASSERT_NE(page, MAP_FAILED);
  static_cast<uint8_t*>(page)[5] = 9;
  EXPECT_EQ(plat_ioctl(fd_, kReportPoints, 2), 0);
  EXPECT_EQ(dev_->reportPage()[5], 9);
  EXPECT_EQ(dev_->reportedPointCounts(), std::vector<uint32_t>{2});
  plat_munmap(page, 4096);
}

TEST_F(TamrelTouchTest, CommandBlocksTravelBothWays) {
  common_data block{};
  block.touch_id = 1;
  block.mode = 18;
  block.values[0] = 4;
  ASSERT_EQ(plat_ioctl(fd_, kCommonDataWrite, &block), 0);
  block.mode = 19;
  ASSERT_EQ(plat_ioctl(fd_, kCommonDataRw, &block), 0);
  ASSERT_EQ(dev_->writtenCommonData().size(), 2u);
  EXPECT_EQ(dev_->writtenCommonData()[0].mode, 18);

  common_data answer{};
  answer.values[0] = 77;
  dev_->setReadBackBlock(answer);
  ASSERT_EQ(plat_ioctl(fd_, kCommonDataRead, &block), 0);
  EXPECT_EQ(block.values[0], 77u);

  // Driver-pushed blocks: readable by pread, one per read, in order.
  struct pollfd p{fd_, POLLRDNORM, 0};
  EXPECT_EQ(plat_poll(&p, 1, 0), 0);
  answer.values[0] = 1;
  dev_->pushCommand(answer);
  answer.values[0] = 2;
  dev_->pushCommand(answer);
  ASSERT_EQ(plat_poll(&p, 1, 0), 1);
  common_data got{};
  ASSERT_EQ(plat_pread(fd_, &got, sizeof(got), 0), 1032);
  EXPECT_EQ(got.values[0], 1u);
  ASSERT_EQ(plat_pread(fd_, &got, sizeof(got), 0), 1032);
  EXPECT_EQ(got.values[0], 2u);
  EXPECT_EQ(plat_pread(fd_, &got, sizeof(got), 0), -1);
  EXPECT_EQ(errno, EAGAIN);
}

TEST_F(TamrelTouchTest, RawCopyRing) {
  EXPECT_EQ(plat_ioctl(fd_, kRawCopyWrite, 0), 0);
  EXPECT_EQ(dev_->rawCopyWrites(), 1u);
  EXPECT_EQ(plat_ioctl(fd_, kRawCopyRead, 0), -1);
  dev_->pushRawCopy(1, {5, 6});
  EXPECT_EQ(plat_ioctl(fd_, kRawCopyRead, 0), 1);
}

}  // namespace

namespace {

// A request whose direction or size is not the driver's is another number, unknown to the
// driver, as the kernel driver's switch over whole request numbers has it.
TEST_F(TamrelTouchTest, RequestsOfAnotherDirectionOrSizeAreRefused) {
  common_data block{};
  TouchPanelInfo info{};
  struct Case {
    const char *what;
    unsigned long request;
    void *arg;
  } cases[] = {
      {"common data, no direction", 0x04085400, &block},
      {"common data, short", 0x44045400, &block},
      {"panel info written", 0x40D65401, &info},
      {"panel info read-write", 0xC0D65401, &info},
      {"panel info short", 0x80D05401, &info},
      {"select buffer read", 0x80005402, reinterpret_cast<void *>(1)},
      {"select buffer with a size", 0x40045402, reinterpret_cast<void *>(1)},
      {"bind, no direction", 0x00005403, nullptr},
      {"newest frame written", 0x40005404, nullptr},
      {"raw copy read-write", 0xC0005405, nullptr},
      {"report points read", 0x80005406, reinterpret_cast<void *>(2)},
      {"unknown number", 0x40005407, nullptr},
      {"upper bits set", 0x1ul << 32 | 0x40005403, nullptr},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    errno = 0;
    EXPECT_EQ(plat_ioctl(fd_, c.request, c.arg), -1);
    EXPECT_EQ(errno, ENOTTY);
  }
  // Nothing reached the driver's state.
  EXPECT_TRUE(dev_->writtenCommonData().empty());
  EXPECT_TRUE(dev_->boundTouchIds().empty());
  EXPECT_TRUE(dev_->bufferSelections().empty());
  EXPECT_TRUE(dev_->reportedPointCounts().empty());
  EXPECT_EQ(dev_->newestIndexQueries(), 0u);
}

// The driver maps its frame ring read-only; a private mapping of the report page keeps
// its writes to itself.
TEST_F(TamrelTouchTest, MappingsAreAsTheDriverAllows) {
  ASSERT_EQ(plat_ioctl(fd_, kSelectBuffer, 1), 0);
  errno = 0;
  EXPECT_EQ(plat_mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0), MAP_FAILED);
  EXPECT_EQ(errno, EACCES);
  EXPECT_EQ(plat_mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_PRIVATE, fd_, 0), MAP_FAILED);
  auto *ring = static_cast<uint8_t *>(plat_mmap(nullptr, 4096, PROT_READ, MAP_SHARED, fd_, 0));
  ASSERT_NE(ring, MAP_FAILED);
  // The kernel will not store into it: read(2) into the ring faults.
  int pipefd[2];
  ASSERT_EQ(pipe(pipefd), 0);
  ASSERT_EQ(write(pipefd[1], "x", 1), 1);
  errno = 0;
  EXPECT_EQ(read(pipefd[0], ring, 1), -1);
  EXPECT_EQ(errno, EFAULT);
  close(pipefd[0]);
  close(pipefd[1]);
  dev_->pushFrame({7, 8});
  EXPECT_EQ(ring[0], 7);  // the driver's writes are seen
  EXPECT_EQ(plat_munmap(ring, 4096), 0);

  ASSERT_EQ(plat_ioctl(fd_, kSelectBuffer, 4), 0);
  auto *page = static_cast<uint8_t *>(plat_mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_PRIVATE, fd_, 0));
  ASSERT_NE(page, MAP_FAILED);
  page[5] = 9;
  EXPECT_EQ(dev_->reportPage()[5], 0);
  EXPECT_EQ(plat_munmap(page, 4096), 0);
}

}  // namespace
