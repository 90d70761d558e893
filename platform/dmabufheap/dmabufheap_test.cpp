#include <gtest/gtest.h>
#include <linux/dma-buf.h>
#include <sys/mman.h>

#include <cerrno>
#include <cstring>

#include "BufferAllocator/BufferAllocatorWrapper.h"
#include "platform/devio.h"
#include "platform/dmabufheap_test.h"

namespace {

TEST(DmabufHeap, BufferIsMappedSyncedAndFreedOnClose) {
  platform::dmabuf::reset();
  BufferAllocator* a = CreateDmabufHeapBufferAllocator();
  ASSERT_NE(a, nullptr);
  ASSERT_EQ(MapDmabufHeapNameToIonHeap(a, "heap-x", "legacy-x", 0, 2, 0), 0);
  EXPECT_EQ(platform::dmabuf::mappedLegacyMask(), 2u);
  int fd = DmabufHeapAlloc(a, "heap-x", 8192, 0, 0);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(platform::dmabuf::liveBuffers(), 1);
  auto* p = static_cast<uint8_t*>(plat_mmap(nullptr, 8192, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0));
  ASSERT_NE(p, MAP_FAILED);
  std::memset(p, 0x5A, 8192);
  dma_buf_sync sync{DMA_BUF_SYNC_END | DMA_BUF_SYNC_RW};
  EXPECT_EQ(plat_ioctl(fd, DMA_BUF_IOCTL_SYNC, &sync), -1) << "end without start";
  sync.flags = DMA_BUF_SYNC_START | DMA_BUF_SYNC_RW;
  EXPECT_EQ(plat_ioctl(fd, DMA_BUF_IOCTL_SYNC, &sync), 0);
  EXPECT_EQ(platform::dmabuf::cpuAccessOpen(), 1);
  sync.flags = DMA_BUF_SYNC_END | DMA_BUF_SYNC_RW;
  EXPECT_EQ(plat_ioctl(fd, DMA_BUF_IOCTL_SYNC, &sync), 0);
  EXPECT_EQ(platform::dmabuf::cpuAccessOpen(), 0);
  // A second mapping of the same descriptor sees the same memory.
  auto* q = static_cast<uint8_t*>(plat_mmap(nullptr, 4096, PROT_READ, MAP_SHARED, fd, 0));
  ASSERT_NE(q, MAP_FAILED);
  EXPECT_EQ(q[100], 0x5A);
  plat_munmap(q, 4096);
  plat_munmap(p, 8192);
  EXPECT_EQ(plat_close(fd), 0);
  EXPECT_EQ(platform::dmabuf::liveBuffers(), 0);
  FreeDmabufHeapBufferAllocator(a);
  EXPECT_EQ(platform::dmabuf::liveAllocators(), 0);
}

TEST(DmabufHeap, InjectedFailures) {
  platform::dmabuf::reset();
  platform::dmabuf::setCreateAllocatorFails(true);
  EXPECT_EQ(CreateDmabufHeapBufferAllocator(), nullptr);
  platform::dmabuf::setCreateAllocatorFails(false);
  BufferAllocator* a = CreateDmabufHeapBufferAllocator();
  platform::dmabuf::failNextAllocation(ENOMEM);
  EXPECT_EQ(DmabufHeapAlloc(a, "heap-y", 4096, 0, 0), -ENOMEM);
  int fd = DmabufHeapAlloc(a, "heap-y", 4096, 0, 0);
  ASSERT_GE(fd, 0);
  platform::dmabuf::failNextSync(EIO);
  dma_buf_sync sync{DMA_BUF_SYNC_START | DMA_BUF_SYNC_RW};
  EXPECT_EQ(plat_ioctl(fd, DMA_BUF_IOCTL_SYNC, &sync), -1);
  EXPECT_EQ(errno, EIO);
  plat_close(fd);
  FreeDmabufHeapBufferAllocator(a);
}

}  // namespace
