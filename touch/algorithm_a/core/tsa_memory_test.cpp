// Static arena layouts and the base memory routines.
#include "tsa_memory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "framework.h"
#include "tsa_common.h"
#include "tsa_config.h"

namespace {

// Packed fields are compared by value (gtest binds references).
template <typename T>
T V(T v) {
  return v;
}

uint32_t GuardAt(const uint8_t* p) {
  uint32_t v;
  memcpy(&v, p, 4);
  return v;
}

void SetPanel(uint8_t d, uint8_t s, uint8_t c) {
  gstPannelAlignCfg.ubDrvNum = d;
  gstPannelAlignCfg.ubSenNum = s;
  gstCrsbCfg.ubCrossNum = c;
}

TEST(MemArena, BlockSizesAndGuards) {
  ResetMemMalloc();
  struct Case {
    uint32_t request;
    uint32_t takes;
  };
  const Case cases[] = {{4, 8}, {5, 16}, {0, 8}, {12, 16}, {13, 24}, {300, 304}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.request);
    uint8_t* p = MemHeapMalloc(c.request);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(MemHeapGetCurAddr() - p, static_cast<ptrdiff_t>(c.takes));
    EXPECT_EQ(GuardAt(p + c.takes - 4), 0xA5A5A5A5u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 8, 0u);
  }
}

TEST(MemArena, FirstAllocationAfterResetStartsAtAZeroedArena) {
  ResetMemMalloc();
  EXPECT_EQ(MemHeapGetCurAddr(), nullptr);
  memset(gpubMemHeap, 0x5A, 64);
  memset(gpubMemHeap + kMemHeapBytes - 64, 0x5A, 64);
  uint8_t* p = MemHeapMalloc(16);
  EXPECT_EQ(p, gpubMemHeap);
  EXPECT_EQ(p[0], 0);
  EXPECT_EQ(gpubMemHeap[kMemHeapBytes - 1], 0);
  EXPECT_EQ(MemHeapGetRemain(), kMemHeapBytes - 24);
}

TEST(MemArena, ExhaustionLogsAndReturnsNull) {
  ResetMemMalloc();
  ASSERT_NE(MemHeapMalloc(kMemHeapBytes - 16 - 4), nullptr);  // leaves 16 bytes
  testing::internal::CaptureStderr();
  EXPECT_EQ(MemHeapMalloc(13), nullptr);  // needs 24
  EXPECT_EQ(MemHeapMalloc(0xFFFFFFFFu), nullptr);
  const std::string log = testing::internal::GetCapturedStderr();
  EXPECT_NE(log.find("error, out of memory"), std::string::npos);
  EXPECT_EQ(MemHeapGetRemain(), 16u);
  EXPECT_NE(MemHeapMalloc(12), nullptr);  // exactly 16 still fits
  EXPECT_EQ(MemHeapGetRemain(), 0u);
}

TEST(MemArena, BottomLayoutOfTheWorkedPanel) {
  SetPanel(32, 18, 0);
  ASSERT_EQ(MemPowerOnMallocBottom(4), 0);
  const uint8_t* base = gpubMemHeap;
  EXPECT_EQ(reinterpret_cast<uint8_t*>(gpuwCrossRawData), base);
  EXPECT_EQ(reinterpret_cast<uint8_t*>(gpuwSelfRawData), base + 8);
  EXPECT_EQ(reinterpret_cast<uint8_t*>(gpuwMutualRawData), base + 8 + 104);
  EXPECT_EQ(reinterpret_cast<uint8_t*>(gpswMutualDiffData), base + 8 + 104 + 1160);
  EXPECT_EQ(reinterpret_cast<uint8_t*>(gpuwRealImData), base + 8 + 104 + 1160 + 1160 + 368);
  EXPECT_EQ(MemHeapGetCurAddr(), base + 3064);
}

// The top layout for a panel: every block inside the arena, disjoint, guard after each.
void CheckTopLayout(uint8_t d, uint8_t s, uint8_t c, uint8_t f) {
  SetPanel(d, s, c);
  GlobalCommonInit();
  MemTempBufferSizeInit();
  ASSERT_EQ(MemLayoutCheck(f, guwTempBufferSizes), 0);
  ASSERT_EQ(MemPowerOnMallocBottom(f), 0);
  uint8_t* bottomEnd = MemHeapGetCurAddr();
  ASSERT_EQ(MemPowerOnMallocTop(), 0);
  EXPECT_EQ(V(gstCommon.uiGuardWord), 0xA5A5A5A5u);
  // The command history is a block of its own, after the whole bottom layout.
  EXPECT_EQ(gpubCmdBak, bottomEnd);
  EXPECT_EQ(GuardAt(gpubCmdBak + 124), 0xA5A5A5A5u);
  const uint32_t N = static_cast<uint32_t>(d) * s;
  struct Block {
    const void* p;
    uint32_t bytes;
  };
  const std::vector<Block> blocks = {
      {gstCommon.pubScanBuf, s * 6u + N * 2u},
      {gstCommon.puwHopSenseBuf, s * 4u + 8u},
      {gstCommon.stData.puwSelfRefData, (d + s) * 2u},
      {gstCommon.stData.puwRefData, N * 2u},
      {gstCommon.puwBArray, N * 2u},
      {gstCommon.puwKArray, N * 2u},
      {gstCommon.puwRawForDiff, N * 2u},
      {gstCommon.pubTempArena, guwTempBufferSizes},
      {gstCommon.pubRegionNodeBuf, N * 2u + 4u},
      {gstCommon.puwRefScratch, N * 2u},
      {gpubFrameHeadInfoBak, 300},
      {gpubThpCmdBak, 204},
  };
  const uint8_t* prevEnd = gpubCmdBak + 128;
  for (const Block& b : blocks) {
    const uint8_t* p = static_cast<const uint8_t*>(b.p);
    ASSERT_NE(p, nullptr);
    EXPECT_GE(p, prevEnd);
    EXPECT_LE(p + MemBlockBytes(b.bytes), gpubMemHeap + kMemHeapBytes);
    EXPECT_EQ(GuardAt(p + MemBlockBytes(b.bytes) - 4), 0xA5A5A5A5u);
    prevEnd = p + MemBlockBytes(b.bytes);
  }
  EXPECT_EQ(V(gstCommon.pubTouchData), gpubTouchData);
}

TEST(MemArena, TopLayoutFitsEveryAcceptedPanelShape) {
  struct Panel {
    uint8_t d, s, c, f;
  };
  // Worked panel, square-ish 2912-node panels both ways, the longest thin panels.
  const Panel panels[] = {{32, 18, 0, 4}, {52, 56, 4, 10}, {56, 52, 4, 10}, {255, 11, 4, 10},
                          {11, 255, 4, 10}, {1, 255, 4, 10}, {2, 1, 0, 1}};
  for (const Panel& p : panels) {
    SCOPED_TRACE(std::to_string(p.d) + "x" + std::to_string(p.s));
    CheckTopLayout(p.d, p.s, p.c, p.f);
  }
}

TEST(MemArena, LayoutCheckRefusesWhatDoesNotFit) {
  struct Case {
    uint8_t d, s, c, f;
    const char* why;
  };
  const Case cases[] = {
      {51, 58, 0, 4, "nodes"},   // 2958 nodes
      {0, 18, 0, 4, "nodes"},    // no drive lines
      {32, 0, 0, 4, "nodes"},    // no sense lines
      {32, 18, 5, 4, "cross"},   // too many cross lines
      {32, 18, 0, 11, "cross"},  // too many frequencies
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.d) + "x" + std::to_string(c.s));
    SetPanel(c.d, c.s, c.c);
    testing::internal::CaptureStderr();
    EXPECT_EQ(MemLayoutCheck(c.f, 11648), 1);
    EXPECT_NE(testing::internal::GetCapturedStderr().find(c.why), std::string::npos);
  }
  SetPanel(52, 56, 4);
  testing::internal::CaptureStderr();
  EXPECT_EQ(MemLayoutCheck(10, 60000), 1);  // a temporary buffer the arena cannot hold
  EXPECT_NE(testing::internal::GetCapturedStderr().find("arena holds"), std::string::npos);
}

TEST(BaseRoutines, MemcpyCopiesOnlyDisjointRanges) {
  uint8_t buf[64];
  for (int i = 0; i < 64; ++i) buf[i] = static_cast<uint8_t>(i);
  uint8_t before[64];
  memcpy(before, buf, 64);
  EXPECT_EQ(FrMemcpy(buf + 4, buf, 40), buf + 4);  // overlapping
  EXPECT_EQ(memcmp(buf, before, 64), 0);
  EXPECT_EQ(FrMemcpy(buf, nullptr, 4), buf);
  EXPECT_EQ(FrMemcpy(nullptr, buf, 4), nullptr);
  uint8_t dst[37] = {};
  EXPECT_EQ(AndroidMemcpy(dst, buf + 20, 37), dst);
  for (int i = 0; i < 37; ++i) EXPECT_EQ(dst[i], 20 + i);
}

TEST(BaseRoutines, Fills) {
  uint16_t u16[19];
  int16_t s16[19];
  uint32_t u32[9];
  int32_t s32[9];
  float f32[5];
  uint8_t u8[33];
  FrMemsetU16(u16, 0xBEEF, 19);
  AndroidMemsetS16(s16, -3, 19);
  FrMemsetU32(u32, 0xDEADBEEF, 9);
  FrMemsetS32(s32, -9, 9);
  FrMemsetF32(f32, 5, 1.5f);
  AndroidMemset(u8, 0x7E, 33);
  for (uint16_t v : u16) EXPECT_EQ(v, 0xBEEF);
  for (int16_t v : s16) EXPECT_EQ(v, -3);
  for (uint32_t v : u32) EXPECT_EQ(v, 0xDEADBEEFu);
  for (int32_t v : s32) EXPECT_EQ(v, -9);
  for (float v : f32) EXPECT_EQ(v, 1.5f);
  for (uint8_t v : u8) EXPECT_EQ(v, 0x7E);
  FrMemsetF16(u16, 3, 0x3C00);  // 1.0 in binary16
  EXPECT_EQ(u16[2], 0x3C00);
  EXPECT_EQ(u16[3], 0xBEEF);
  EXPECT_EQ(FrMemsetU16(nullptr, 1, 4), nullptr);
}

TEST(BaseRoutines, MaxMinAndSubtract) {
  const int16_t v[] = {3, -7, 12};
  int16_t mx = 0, mn = 0;
  EXPECT_EQ(FrMaxMinValS16(v, &mx, &mn, 3), 0u);
  EXPECT_EQ(mx, 12);
  EXPECT_EQ(mn, -7);
  EXPECT_EQ(FrMaxMinValS16(v, nullptr, nullptr, 3), 0x80000002u);
  EXPECT_EQ(FrMaxMinValS16(nullptr, &mx, &mn, 3), 0x80000002u);
  mx = mn = 99;
  EXPECT_EQ(FrMaxMinValS16(v + 1, &mx, nullptr, 0), 0u);
  EXPECT_EQ(mx, -7);
  EXPECT_EQ(mn, 99);
  const int16_t a[] = {32767, -32768, 5};
  const int16_t b[] = {-1, 1, 7};
  int16_t out[3];
  EXPECT_EQ(AndroidSubS16(a, b, out, 3), 0u);
  EXPECT_EQ(out[0], -32768);
  EXPECT_EQ(out[1], 32767);
  EXPECT_EQ(out[2], -2);
  EXPECT_EQ(FrSubS16(a, nullptr, out, 3), 0x80000002u);
}

}  // namespace
