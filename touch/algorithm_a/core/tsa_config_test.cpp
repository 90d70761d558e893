// Configuration blob: routing map, checks, full and partial application, bounded walk.
#include "tsa_config.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "cfg_blob_builder_test.h"
#include "coord.h"
#include "region.h"
#include "signal_proc.h"
#include "tsa_common.h"

using namespace cfgtest;

namespace {

// Packed fields are compared by value (gtest binds references).
template <typename T>
T V(T v) {
  return v;
}

// The routing map as the configuration layout lists it: {index, id, size}.
struct MapRow {
  uint8_t id;
  uint8_t size;
};
const MapRow kMap[62] = {
    {8, 38},   {10, 4},   {31, 62},  {32, 32},  {33, 20},  {34, 18},  {35, 32},  {36, 6},
    {37, 0},   {38, 12},  {39, 0},   {40, 32},  {41, 22},  {42, 6},   {43, 12},  {44, 38},
    {45, 12},  {46, 10},  {47, 20},  {48, 6},   {49, 8},   {50, 80},  {51, 30},  {52, 10},
    {53, 12},  {54, 10},  {55, 4},   {56, 26},  {57, 14},  {91, 130}, {92, 10},  {93, 20},
    {94, 6},   {95, 26},  {96, 38},  {97, 26},  {98, 14},  {99, 0},   {100, 46}, {101, 116},
    {102, 22}, {103, 12}, {104, 8},  {105, 108}, {106, 8}, {107, 4},  {108, 40}, {109, 0},
    {110, 0},  {111, 0},  {112, 10}, {113, 16}, {141, 0},  {142, 0},  {143, 0},  {144, 6},
    {145, 0},  {201, 0},  {202, 0},  {203, 0},  {204, 0},  {205, 0},
};

class ConfigBlob : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const CfgMapEntry& e : gpstCfg) {
      if (e.pvRecord != nullptr) memset(e.pvRecord, 0, e.ubSize);
    }
    memset(gstCfgHeadBakNcln, 0, sizeof(gstCfgHeadBakNcln));
    gubDefaultFreqForMutualcap = 0;
    guiConfigId = 0;
    gstCommon.pubTempArena = arena_;
    FirmwareConfigBindStore(store_, &storeLen_);
  }
  void TearDown() override { FirmwareConfigBindStore(nullptr, nullptr); }

  void Store(const Bytes& blob) {
    memset(store_, 0, sizeof(store_));
    memcpy(store_, blob.data(), blob.size() < sizeof(store_) ? blob.size() : sizeof(store_));
    storeLen_ = static_cast<uint32_t>(blob.size());
  }

  uint8_t arena_[kCfgBlobMax + 64] = {};
  uint8_t store_[kCfgBlobMax] = {};
  uint32_t storeLen_ = 0;
};

TEST_F(ConfigBlob, RoutingMapMatchesTheLayout) {
  for (size_t i = 0; i < 62; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(V(gpstCfg[i].ubId), kMap[i].id);
    EXPECT_EQ(V(gpstCfg[i].ubSize), kMap[i].size);
    EXPECT_EQ(V(gpstCfg[i].pvRecord) != nullptr, kMap[i].size != 0);
  }
  EXPECT_EQ(V(gpstCfg[0].pvRecord), &gstTouchPannelCfg);
  EXPECT_EQ(V(gpstCfg[3].pvRecord), &gstTimeCtrlCfg);
  EXPECT_EQ(V(gpstCfg[29].pvRecord), &gstDenoiseCommonCfg);
  EXPECT_EQ(V(gpstCfg[55].pvRecord), &gstCompleteHoleCfg);
}

TEST_F(ConfigBlob, FullUpdateCopiesSectionsAndClearsTheRest) {
  gstEdgeResCfg.aubData[5] = 0x77;  // not in the blob: a full update clears it
  Store(BuildBlob({.sections = {Section(32, Fill(0x11, 32)), Section(8, Fill(0x22, 10)),
                                Section(91, Fill(0x33, 200))},
                   .uiId = 0xA1B2C3D4}));
  ASSERT_EQ(FirmwareConfigInit(), 0);
  EXPECT_EQ(guiConfigId, 0xA1B2C3D4u);
  EXPECT_EQ(V(gstTimeCtrlCfg.uwPeriodState2), 0x1111);
  // A short section leaves the record's tail zero; a long one is cut to the record.
  const uint8_t* pannel = reinterpret_cast<const uint8_t*>(&gstTouchPannelCfg);
  for (size_t i = 0; i < sizeof(gstTouchPannelCfg); ++i) EXPECT_EQ(pannel[i], i < 10 ? 0x22 : 0) << i;
  for (uint8_t b : gstDenoiseCommonCfg.aubData) EXPECT_EQ(b, 0x33);
  EXPECT_EQ(V(gstRefUpdateCfg.aubData[0]), 0);  // record after it untouched
  EXPECT_EQ(V(gstEdgeResCfg.aubData[5]), 0);
  EXPECT_EQ(memcmp(gstCfgHeadBakNcln, store_, 64), 0);
}

TEST_F(ConfigBlob, PartialUpdateChangesOnlyMentionedRecords) {
  gstEdgeResCfg.aubData[5] = 0x77;
  gstGestureCfg.aubData[0] = 0x55;
  gstChannelDisCfg.aubData[3] = 0x44;
  Store(BuildBlob({.sections = {Section(51, {}), Section(55, {0x01, 0x02})}, .ubFlags = kCfgFlagPartial}));
  ASSERT_EQ(FirmwareConfigInit(), 0);
  EXPECT_EQ(V(gstEdgeResCfg.aubData[5]), 0x77);
  EXPECT_EQ(V(gstGestureCfg.aubData[0]), 0);  // length-2 section: cleared, nothing copied
  const Bytes dis(gstChannelDisCfg.aubData, gstChannelDisCfg.aubData + 4);
  EXPECT_EQ(dis, (Bytes{0x01, 0x02, 0x00, 0x00}));
}

TEST_F(ConfigBlob, SkipsSectionsWithoutRecordsAndKeepsWalking) {
  Store(BuildBlob({.sections = {Section(37, Fill(0x99, 6)), Section(250, Fill(0x98, 3)),
                                Section(55, {0x05}), Section(55, {0x06, 0x07})},
                   .ubFlags = kCfgFlagPartial}));
  ASSERT_EQ(FirmwareConfigInit(), 0);
  // Two sections for one id: the second wins, after clearing again.
  const Bytes dis(gstChannelDisCfg.aubData, gstChannelDisCfg.aubData + 4);
  EXPECT_EQ(dis, (Bytes{0x06, 0x07, 0x00, 0x00}));
}

TEST_F(ConfigBlob, EmptyBodyPassesAndAFullUpdateStillClears) {
  gstLowTempCfg.aubData[0] = 1;
  Bytes blob = BuildBlob({.sections = {}, .iCountOverride = 1});  // L = 4, stored sum 0
  EXPECT_EQ(FirmwareConfigCheck(blob.data(), static_cast<uint32_t>(blob.size())), kCfgOk);
  Store(blob);
  ASSERT_EQ(FirmwareConfigInit(), 0);
  EXPECT_EQ(V(gstLowTempCfg.aubData[0]), 0);
}

TEST_F(ConfigBlob, RefusedBlobsLeaveRecordsAlone) {
  const Bytes good = BuildBlob({.sections = {Section(55, {1, 2, 3, 4})}});
  struct Case {
    std::string name;
    Bytes blob;
    CfgCheckResult want;
  };
  std::vector<Case> cases;
  Bytes b = good;
  b[62] ^= 1;
  cases.push_back({"header sum", b, kCfgHeadSum});
  b = good;
  PutU16(b, 59, 0);
  ResealHeader(b);
  cases.push_back({"L = 0", b, kCfgBodyLen});
  b = good;
  PutU16(b, 59, 4093);
  ResealHeader(b);
  b.resize(4096 + 64, 0);
  cases.push_back({"L = 4093", b, kCfgBodyLen});
  b = good;
  b[61] = 0;
  ResealHeader(b);
  cases.push_back({"no sections", b, kCfgNoSection});
  b = good;
  b[66] ^= 0x10;
  cases.push_back({"body sum", b, kCfgBodySum});
  b = good;
  b.resize(b.size() - 1);
  cases.push_back({"truncated before the body sum", b, kCfgShort});
  cases.push_back({"header only", Bytes(good.begin(), good.begin() + 40), kCfgShort});
  b = good;
  PutU16(b, 59, 4092);  // declares a body far past the bytes present
  ResealHeader(b);
  cases.push_back({"L past the end", b, kCfgShort});

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(FirmwareConfigCheck(c.blob.data(), static_cast<uint32_t>(c.blob.size())), c.want);
    memset(gstChannelDisCfg.aubData, 0xEE, 4);
    Store(c.blob);
    testing::internal::CaptureStderr();
    EXPECT_EQ(FirmwareConfigInit(), 1);
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("configuration refused"), std::string::npos) << log;
    EXPECT_EQ(V(gstChannelDisCfg.aubData[0]), 0xEE);
    EXPECT_EQ(FirmwareConfigCheckValid(), 0);
  }
}

TEST_F(ConfigBlob, SectionWalkStaysInsideTheBody) {
  struct Case {
    std::string name;
    Bytes badSection;
  };
  const std::vector<Case> cases = {
      {"length past the body end", Bytes{40, 55, 9, 9}},
      {"length 0", Bytes{0, 55, 9, 9}},
      {"length 1", Bytes{1, 55, 9, 9}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    memset(gstChannelDisCfg.aubData, 0, 4);
    BlobDesc desc{.sections = {Section(36, {7, 7}), c.badSection, Section(38, {5})}};
    Store(BuildBlob(desc));
    testing::internal::CaptureStderr();
    ASSERT_EQ(FirmwareConfigInit(), 0);
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("does not fit the body"), std::string::npos) << log;
    EXPECT_EQ(V(gstNoiseDurationCfg.aubData[0]), 7);  // before the bad section: applied
    EXPECT_EQ(V(gstChannelDisCfg.aubData[0]), 0);     // the bad section itself: not applied
    EXPECT_EQ(V(gstScanRateCfg.aubData[0]), 0);       // after it: walk ended
  }
  // More sections counted than the body holds: the walk ends at the body end.
  Store(BuildBlob({.sections = {Section(36, {3})}, .iCountOverride = 5}));
  testing::internal::CaptureStderr();
  EXPECT_EQ(FirmwareConfigInit(), 0);
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(V(gstNoiseDurationCfg.aubData[0]), 3);
}

TEST_F(ConfigBlob, ChangedHeaderByte34SetsDefaultFrequency) {
  Store(BuildBlob({.sections = {Section(36, {1})}, .ubByte34 = 3}));
  ASSERT_EQ(FirmwareConfigInit(), 0);
  gubDefaultFreqForMutualcap = 0;
  ASSERT_EQ(FirmwareConfigInit(), 0);  // the same blob again: header unchanged
  EXPECT_EQ(gubDefaultFreqForMutualcap, 0);
  Bytes b = BuildBlob({.sections = {Section(36, {1})}, .ubByte34 = 4});
  Store(b);
  ASSERT_EQ(FirmwareConfigInit(), 0);
  EXPECT_EQ(gubDefaultFreqForMutualcap, 1);
}

TEST_F(ConfigBlob, StoredLengthAboveTheAreaIsRefused) {
  Store(BuildBlob({.sections = {Section(55, {9})}}));
  storeLen_ = kCfgBlobMax + 1;
  testing::internal::CaptureStderr();
  EXPECT_EQ(FirmwareConfigInit(), 1);
  const std::string log = testing::internal::GetCapturedStderr();
  EXPECT_NE(log.find("Config length Error: 4096"), std::string::npos) << log;
  EXPECT_EQ(V(gstChannelDisCfg.aubData[0]), 0);
}

TEST_F(ConfigBlob, NullArenaIsRefused) {
  Store(BuildBlob({.sections = {Section(55, {9})}}));
  gstCommon.pubTempArena = nullptr;
  testing::internal::CaptureStderr();
  EXPECT_EQ(FirmwareConfigInit(), 1);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("input NULL"), std::string::npos);
}

TEST_F(ConfigBlob, UpdateAppliesTheArenaBlobOnlyWhenValid) {
  const Bytes blob = BuildBlob({.sections = {Section(55, {4, 3})}});
  Store(blob);
  ASSERT_EQ(FirmwareConfigInit(), 0);  // leaves the blob in the arena
  memset(gstChannelDisCfg.aubData, 0, 4);
  EXPECT_EQ(FirmwareConfigCheckValid(), 1);
  FirmwareConfigUpdate();
  EXPECT_EQ(V(gstChannelDisCfg.aubData[1]), 3);
  arena_[70] ^= 0xFF;  // spoil the body
  memset(gstChannelDisCfg.aubData, 0, 4);
  EXPECT_EQ(FirmwareConfigCheckValid(), 0);
  FirmwareConfigUpdate();
  EXPECT_EQ(V(gstChannelDisCfg.aubData[1]), 0);
}

}  // namespace
