// Network memory pool: layout, first fit, splitting, merging, and both entry sets.
#include <gtest/gtest.h>

#include <vector>

#include "frnn.h"

namespace {

struct Buf {
  explicit Buf(uint32_t n) : v(n + 64, 0xEE) {}
  std::vector<uint8_t> v;
  uint8_t* p() { return v.data(); }
};

FrnnMempoolBlock* Hdr(void* data) {
  return reinterpret_cast<FrnnMempoolBlock*>(static_cast<uint8_t*>(data) - kFrnnBlockHeaderBytes);
}
FrnnMempoolBlock* First(uint8_t* buf) { return reinterpret_cast<FrnnMempool*>(buf)->pstFirst; }

TEST(FrnnPool, InitLaysOutControlRecordAndOneFreeBlock) {
  Buf b(4096);
  const FrnnMempoolParam p{4096, b.p(), 0xFFFFFFFFu};
  ASSERT_EQ(0u, FrnnMempoolInit(&p));
  auto* pool = reinterpret_cast<FrnnMempool*>(b.p());
  EXPECT_EQ(0xFFFFFFFFu, pool->uiFlag);
  EXPECT_EQ(4096u, pool->uiSize);
  EXPECT_EQ(b.p() + 4096, pool->pubEnd);
  FrnnMempoolBlock* f = First(b.p());
  EXPECT_EQ(reinterpret_cast<FrnnMempoolBlock*>(b.p() + 184), f);
  EXPECT_EQ(b.p() + 344, f->pubData);
  EXPECT_EQ(f, f->pstNext);
  EXPECT_EQ(f, f->pstPrev);
  EXPECT_EQ(4096u - 344u, f->uiSize);
  EXPECT_EQ(0u, f->uiInUse);
}

TEST(FrnnPool, InitRefusals) {
  Buf b(400);
  EXPECT_EQ(5u, FrnnMempoolInit(nullptr));
  const FrnnMempoolParam small{343, b.p(), 0};
  EXPECT_EQ(3u, FrnnMempoolInit(&small));
  // A pool without a buffer is refused instead of succeeding with nothing laid out.
  const FrnnMempoolParam none{4096, nullptr, 0};
  EXPECT_EQ(5u, FrnnMempoolInit(&none));
  const FrnnMempoolParam exact{344, b.p(), 0};
  ASSERT_EQ(0u, FrnnMempoolInit(&exact));
  EXPECT_EQ(nullptr, NnPoolAlloc(b.p(), 1, "t", 1));
  EXPECT_EQ(5u, FrnnMempoolDestory(nullptr));
  EXPECT_EQ(0u, FrnnMempoolDestory(b.p()));
}

TEST(FrnnPool, SizesRoundToSixtyFourAndDataSitsEightPastSixteen) {
  struct Case {
    int32_t size;
    bool viaMalloc;
    uint32_t taken;
  } cases[] = {{1, false, 64}, {64, false, 64}, {65, false, 128}, {48, true, 64}, {49, true, 128}};
  for (const Case& c : cases) {
    alignas(16) static uint8_t buf[8192];
    const FrnnMempoolParam p{sizeof buf, buf, 0};
    ASSERT_EQ(0u, FrnnMempoolInit(&p));
    void* d = c.viaMalloc ? FrnnMempoolMalloc(buf, c.size) : NnPoolAlloc(buf, c.size, "t", 1);
    ASSERT_NE(nullptr, d) << c.size;
    EXPECT_EQ(c.taken, Hdr(d)->uiSize) << c.size;
    EXPECT_EQ(8u, (static_cast<uint8_t*>(d) - buf) % 16) << c.size;
  }
  alignas(16) static uint8_t buf2[1024];
  const FrnnMempoolParam p{sizeof buf2, buf2, 0};
  ASSERT_EQ(0u, FrnnMempoolInit(&p));
  EXPECT_EQ(nullptr, NnPoolAlloc(buf2, 0, "t", 1));
  EXPECT_EQ(nullptr, NnPoolAlloc(buf2, -5, "t", 1));
  EXPECT_EQ(nullptr, NnPoolAlloc(nullptr, 8, "t", 1));
  EXPECT_EQ(nullptr, FrnnMempoolMalloc(buf2, INT32_MAX));
}

TEST(FrnnPool, RemainderUpToAHeaderIsHandedOutWhole) {
  // A pool whose only block holds exactly need + 160 bytes: no room for a useful split.
  Buf b(344 + 64 + 160);
  FrnnMempoolParam p{344 + 64 + 160, b.p(), 0};
  ASSERT_EQ(0u, FrnnMempoolInit(&p));
  void* d = NnPoolAlloc(b.p(), 64, "t", 1);
  ASSERT_NE(nullptr, d);
  EXPECT_EQ(224u, Hdr(d)->uiSize);
  EXPECT_EQ(Hdr(d), Hdr(d)->pstNext);
  // One more byte of room: split, leaving a free block of 1 byte behind a header.
  Buf b2(344 + 64 + 161);
  p = {344 + 64 + 161, b2.p(), 0};
  ASSERT_EQ(0u, FrnnMempoolInit(&p));
  d = NnPoolAlloc(b2.p(), 64, "t", 1);
  ASSERT_NE(nullptr, d);
  EXPECT_EQ(64u, Hdr(d)->uiSize);
  FrnnMempoolBlock* rest = Hdr(d)->pstNext;
  EXPECT_EQ(1u, rest->uiSize);
  EXPECT_EQ(0u, rest->uiInUse);
  EXPECT_EQ(static_cast<uint8_t*>(d) + 64, reinterpret_cast<uint8_t*>(rest));
  EXPECT_EQ(Hdr(d), rest->pstNext);  // circular
  EXPECT_EQ(rest, Hdr(d)->pstPrev);
}

TEST(FrnnPool, FreeingMiddleFirstLastMergesAllThree) {
  Buf b(8192);
  const FrnnMempoolParam p{8192, b.p(), 0};
  ASSERT_EQ(0u, FrnnMempoolInit(&p));
  void* a = NnPoolAlloc(b.p(), 64, "t", 1);
  void* m = NnPoolAlloc(b.p(), 128, "t", 1);
  void* c = NnPoolAlloc(b.p(), 64, "t", 1);
  void* keep = NnPoolAlloc(b.p(), 64, "t", 1);
  ASSERT_TRUE(a && m && c && keep);
  NnPoolFree(b.p(), m);
  NnPoolFree(b.p(), a);
  NnPoolFree(b.p(), c);
  FrnnMempoolBlock* f = First(b.p());
  EXPECT_EQ(Hdr(a), f);
  EXPECT_EQ(0u, f->uiInUse);
  EXPECT_EQ(64u + 128u + 64u + 2 * 160u, f->uiSize);
  EXPECT_EQ(Hdr(keep), f->pstNext);
  // Freed space is found again first-fit; a double free changes nothing.
  NnPoolFree(b.p(), keep);
  const uint32_t uiAll = First(b.p())->uiSize;
  NnPoolFree(b.p(), keep);
  EXPECT_EQ(uiAll, First(b.p())->uiSize);
  EXPECT_EQ(8192u - 344u, uiAll);
  EXPECT_EQ(a, NnPoolAlloc(b.p(), 200, "t", 1));
}

TEST(FrnnPool, ExhaustionAndForeignPointersLeaveThePoolAlone) {
  Buf b(1024);
  const FrnnMempoolParam p{1024, b.p(), 0};
  ASSERT_EQ(0u, FrnnMempoolInit(&p));
  EXPECT_EQ(nullptr, NnPoolAlloc(b.p(), 1024, "t", 1));
  void* d = NnPoolAlloc(b.p(), 64, "t", 1);
  ASSERT_NE(nullptr, d);
  uint8_t outside[16];
  NnPoolFree(b.p(), outside);
  NnPoolFree(b.p(), b.p() + 100);  // its header would lie in front of the buffer
  NnPoolFree(b.p(), nullptr);
  NnPoolFree(nullptr, d);
  EXPECT_EQ(1u, Hdr(d)->uiInUse);
}

TEST(FrnnPool, BaseLibraryNamesReachTheSamePool) {
  Buf b(4096);
  const FrnnMempoolParam p{4096, b.p(), 7};
  EXPECT_EQ(5u, FrBaseLibMempoolInit(nullptr));
  ASSERT_EQ(0u, FrBaseLibMempoolInit(&p));
  void* d = FrBaseLibMempoolMalloc(b.p(), 48);
  ASSERT_NE(nullptr, d);
  EXPECT_EQ(64u, Hdr(d)->uiSize);
  // A block from one name set is released by the other.
  FrnnMempoolFree(b.p(), d);
  EXPECT_EQ(0u, Hdr(d)->uiInUse);
  void* e = FrnnMempoolMalloc(b.p(), 48);
  EXPECT_EQ(d, e);
  FrBaseLibMempoolFree(b.p(), e);
  EXPECT_EQ(4096u - 344u, First(b.p())->uiSize);
  EXPECT_EQ(0u, FrBaseLibMempoolDestory(b.p()));
  EXPECT_EQ(5u, FrBaseLibMempoolDestory(nullptr));
}

}  // namespace
