// The common frame record: positions, initialisation from the panel configuration, and
// the work buffers it hands out.
#include "tsa_common.h"

#include <gtest/gtest.h>

#include <cstring>

#include "signal_proc.h"
#include "tsa_config.h"

#if defined(__has_include)
#if __has_include(<sanitizer/allocator_interface.h>) && defined(__SANITIZE_ADDRESS__)
#include <sanitizer/allocator_interface.h>
#define FERRANT_HAVE_ALLOC_STATS 1
#endif
#endif

namespace {

const uint8_t* Bytes() { return reinterpret_cast<const uint8_t*>(&gstCommon); }
uint16_t U16At(size_t pos) { return static_cast<uint16_t>(Bytes()[pos] | (Bytes()[pos + 1] << 8)); }
uint32_t U32At(size_t pos) {
  uint32_t v;
  memcpy(&v, Bytes() + pos, 4);
  return v;
}

// Panel configuration written byte by byte at the positions the initialisation reads.
void SetPanelConfig() {
  uint8_t* p = reinterpret_cast<uint8_t*>(&gstTouchPannelCfg);
  memset(p, 0, sizeof(gstTouchPannelCfg));
  for (int i = 0; i < 16; ++i) p[i] = static_cast<uint8_t>(0x10 + i);
  p[16] = 0x34; p[17] = 0x12;                              // u16 at 16
  p[18] = 0x78; p[19] = 0x56;                              // u16 at 18
  p[20] = 10; p[21] = 0x20; p[22] = 0x30; p[23] = 0x40;    // u32 at 20
  p[24] = 0x01; p[25] = 0x02; p[26] = 0x03; p[27] = 0x04;  // u32 at 24
  p[30] = static_cast<uint8_t>(-3);                        // x offset
  p[31] = 5;                                               // y offset
  p[32] = 0x9A;
}

class CommonRecordTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetPanelConfig();
    gstPannelAlignCfg.ubDrvNum = 32;
    gstPannelAlignCfg.ubSenNum = 18;
    memset(gstSelfOfsCancelCfg.aubData, 0, sizeof(gstSelfOfsCancelCfg.aubData));
    memset(&gstCommon, 0xCC, sizeof(gstCommon));
  }
};

TEST_F(CommonRecordTest, InitialisationFillsTheRecord) {
  ASSERT_NE(GlobalCommonInit(), nullptr);
  EXPECT_EQ(Bytes()[62], 18);   // sense count
  EXPECT_EQ(Bytes()[63], 32);   // drive count
  EXPECT_EQ(Bytes()[64], 17);
  EXPECT_EQ(Bytes()[65], 31);
  EXPECT_EQ(U16At(443), 576);   // node count
  EXPECT_EQ(Bytes()[449], 50);  // line count
  EXPECT_EQ(U16At(435), 18 * 512 - 6);
  EXPECT_EQ(U16At(437), 32 * 512 + 10);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(Bytes()[70 + i], 0x10 + i) << i;
  EXPECT_EQ(U16At(86), 0x1234);
  EXPECT_EQ(U16At(88), 0x5678);
  EXPECT_EQ(U32At(66), 0x4030200Au);
  EXPECT_EQ(U32At(90), 0x04030201u);
  EXPECT_EQ(Bytes()[94], 0x9A);
  EXPECT_EQ(U16At(447), 0x1514);  // panel word at 4, again as the mask threshold
  EXPECT_EQ(U16At(445), 0x1716);  // panel word at 6, again as threshold 2
  for (size_t pos : {13u, 18u, 19u, 48u, 557u}) EXPECT_EQ(Bytes()[pos], 1) << pos;
  EXPECT_EQ(U16At(595), 1);
  EXPECT_EQ(U16At(493), 8000);
  EXPECT_EQ(Bytes()[461], 255);
  for (size_t pos = 577; pos <= 588; ++pos) EXPECT_EQ(Bytes()[pos], 255) << pos;
  EXPECT_EQ(Bytes()[21], 1);  // self data in use
  for (size_t pos : {0u, 26u, 29u, 35u, 42u, 51u, 450u, 563u, 576u, 703u, 709u, 736u, 680u}) {
    EXPECT_EQ(Bytes()[pos], 0) << pos;
  }
  EXPECT_EQ(U16At(573), 0);
  EXPECT_EQ(U32At(681), 0u);
  for (uint8_t v : gpubShakeRxList) EXPECT_EQ(v, 255);
}

TEST_F(CommonRecordTest, SelfDataOffAndEmptyPanel) {
  gstSelfOfsCancelCfg.aubData[0] = 0x04;
  gstPannelAlignCfg.ubDrvNum = 0;
  GlobalCommonInit();
  EXPECT_EQ(Bytes()[21], 0);
  EXPECT_EQ(Bytes()[65], 255);  // last drive index wraps
  EXPECT_EQ(U16At(443), 0);
  gstPannelAlignCfg.ubDrvNum = 32;
  gstPannelAlignCfg.ubSenNum = 0;
  GlobalCommonInit();
  EXPECT_EQ(Bytes()[64], 255);
  EXPECT_EQ(U16At(443), 0);
}

TEST_F(CommonRecordTest, WorkBuffersAreAllocatedOnceAndZeroedEachTime) {
  GlobalCommonInit();
  uint8_t* cache = gpubDlCache;
  int16_t* lastLast = gpswDiffLastLast;
  ASSERT_NE(cache, nullptr);
  ASSERT_NE(lastLast, nullptr);
  cache[0] = 1;
  cache[kDlCacheBytes - 1] = 2;
  lastLast[kDiffLastLastBytes / 2 - 1] = 3;
#ifdef FERRANT_HAVE_ALLOC_STATS
  const size_t before = __sanitizer_get_current_allocated_bytes();
#endif
  EXPECT_EQ(GlobalCommonInit(), cache);
#ifdef FERRANT_HAVE_ALLOC_STATS
  EXPECT_LT(__sanitizer_get_current_allocated_bytes(), before + 4096);  // no new 4 MiB
#endif
  EXPECT_EQ(gpswDiffLastLast, lastLast);
  EXPECT_EQ(cache[0], 0);
  EXPECT_EQ(cache[kDlCacheBytes - 1], 0);
  EXPECT_EQ(lastLast[kDiffLastLastBytes / 2 - 1], 0);
  GlobalCommonRelease();
  EXPECT_EQ(gpubDlCache, nullptr);
  EXPECT_EQ(gpswDiffLastLast, nullptr);
  EXPECT_NE(GlobalCommonInit(), nullptr);  // a later start-up gets new buffers
}

TEST_F(CommonRecordTest, WorkRectangleArea) {
  GlobalCommonInit();
  const uint8_t rect[4] = {2, 5, 1, 3};
  memcpy(reinterpret_cast<uint8_t*>(&gstCommon) + 465, rect, 4);
  EXPECT_EQ(GetRectArea(), 12u);
}

TEST(GameModeFilterTables, EverySelectorOfThreeBitsPicksAnEntry) {
  struct Case {
    uint16_t word;
    uint16_t fst;
    uint8_t nor;
  };
  const Case cases[] = {
      {0x0000, 122, 47},
      {static_cast<uint16_t>((2u << 8) | (3u << 3)), 152, 35},
      {static_cast<uint16_t>((4u << 8) | (4u << 3)), 175, 27},
      // Selectors beyond the five entries take the last one.
      {static_cast<uint16_t>((5u << 8) | (6u << 3)), 175, 27},
      {static_cast<uint16_t>((7u << 8) | (7u << 3)), 175, 27},
      // Only the selector bits count.
      {static_cast<uint16_t>(0xF8C7u & ~(7u << 8) & ~(7u << 3)), 122, 47},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(GameModeFstFilter(c.word), c.fst) << std::hex << c.word;
    EXPECT_EQ(GameModeNorFilter(c.word), c.nor) << std::hex << c.word;
  }
}

}  // namespace
