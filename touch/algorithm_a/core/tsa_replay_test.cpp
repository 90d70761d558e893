#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tsa_pack.h"
#include "tsa_replay.h"
#include "tsa_replay_test_util.h"

namespace {

using replay_test::Bytes;
using replay_test::Decode;
using replay_test::ItemEncoder;
using replay_test::LogCapture;
using replay_test::Types;

class ReplayTest : public replay_test::CleanReplayState {
 protected:
  // Walks a stream through the init reader as TsaInit does.
  static int32_t FeedInit(Bytes stream) {
    return ThpReplayUnpack(stream.data(), static_cast<uint32_t>(stream.size()), &ReplayUnpackInitInfo);
  }
  // An empty payload still comes with a valid address, as from the walker.
  static uint32_t Init(uint32_t type, Bytes payload) {
    static uint8_t none;
    return ReplayUnpackInitInfo(type, payload.empty() ? &none : payload.data(), static_cast<uint32_t>(payload.size()));
  }
};

// ---- Packer --------------------------------------------------------------------------------

TEST_F(ReplayTest, EmptyGroupPacksTheTwentyWorkedBytes) {
  uint8_t out[32];
  ASSERT_EQ(ThpReplayPack(7, 0, nullptr, out, sizeof(out), 0), 20u);
  const Bytes expected = {0x00, 0x00, 0x00, 0x01, 0x02, 0x00, 0x00, 0x00, 0x07, 0x00,
                          0x01, 0x00, 0x00, 0x01, 0x02, 0x00, 0x00, 0x00, 0x07, 0x00};
  EXPECT_EQ(Bytes(out, out + 20), expected);
}

TEST_F(ReplayTest, PackedItemsMatchTheIndependentEncoder) {
  const uint8_t drive[2] = {0x12, 0x00};
  const char text[] = "abcd";
  const ReplayItemDesc items[] = {
      {0x010007D0u, 2, drive}, {0x10000BB9u, 5, text}, {0x08000BB8u, 0, nullptr}, {0x0A000001u, 3, nullptr}};
  const Bytes expected = ItemEncoder()
                             .Open(3)
                             .Item(0x010007D0u, {0x12, 0x00})
                             .Item(0x10000BB9u, {'a', 'b', 'c', 'd', 0})
                             .Item(0x08000BB8u, {})
                             .Item(0x0A000001u, {0, 0, 0})
                             .Close(3)
                             .bytes();
  Bytes out(5 + expected.size(), 0xEE);
  ASSERT_EQ(ThpReplayPack(3, 4, items, out.data(), static_cast<uint32_t>(out.size()), 5), out.size());
  EXPECT_EQ(Bytes(out.begin(), out.begin() + 5), Bytes(5, 0xEE)) << "bytes before the offset untouched";
  EXPECT_EQ(Bytes(out.begin() + 5, out.end()), expected);

  // Tag 0: the items alone.
  Bytes bare(64);
  const uint32_t n = ThpReplayPack(0, 1, items, bare.data(), 64, 0);
  EXPECT_EQ(Bytes(bare.begin(), bare.begin() + n), ItemEncoder().Item(0x010007D0u, {0x12, 0x00}).bytes());
}

TEST_F(ReplayTest, PackFailsWhenAnyFieldDoesNotFitAndNeverWritesPastCapacity) {
  const uint8_t payload[6] = {1, 2, 3, 4, 5, 6};
  const ReplayItemDesc item = {0x01000123u, 6, payload};
  const uint32_t full = 10 + 14 + 10;
  for (uint32_t capacity : {full - 1, full - 3, 20u, 10u, 9u, 0u}) {
    Bytes out(full + 8, 0xEE);
    EXPECT_EQ(ThpReplayPack(9, 1, &item, out.data(), capacity, 0), 0u) << "capacity " << capacity;
    for (size_t i = capacity; i < out.size(); ++i) ASSERT_EQ(out[i], 0xEE) << "capacity " << capacity << " byte " << i;
  }
  Bytes out(full);
  EXPECT_EQ(ThpReplayPack(9, 1, &item, out.data(), full, 0), full);
}

// ---- Walker --------------------------------------------------------------------------------

struct Visit {
  uint32_t type;
  Bytes payload;
};
std::vector<Visit> gVisits;
uint32_t gFailWith;

uint32_t Record(uint32_t type, uint8_t* payload, uint32_t length) {
  gVisits.push_back({type, Bytes(payload, payload + length)});
  return gFailWith;
}

TEST_F(ReplayTest, WalkerHandsEveryItemInOrder) {
  gVisits.clear();
  gFailWith = 0;
  Bytes stream = ItemEncoder().Item(1, {9}).Item(0x02000002u, {}).Item(3, {1, 2, 3}).bytes();
  EXPECT_EQ(ThpReplayUnpack(stream.data(), static_cast<uint32_t>(stream.size()), &Record), 0);
  ASSERT_EQ(gVisits.size(), 3u);
  EXPECT_EQ(gVisits[0].type, 1u);
  EXPECT_EQ(gVisits[0].payload, Bytes({9}));
  EXPECT_EQ(gVisits[1].type, 0x02000002u);
  EXPECT_TRUE(gVisits[1].payload.empty());
  EXPECT_EQ(gVisits[2].payload, Bytes({1, 2, 3}));
}

TEST_F(ReplayTest, WalkerStopsAtTheFirstFailingCallback) {
  gVisits.clear();
  gFailWith = 5;
  Bytes stream = ItemEncoder().Item(1, {9}).Item(2, {8}).bytes();
  EXPECT_EQ(ThpReplayUnpack(stream.data(), static_cast<uint32_t>(stream.size()), &Record), -2);
  EXPECT_EQ(gVisits.size(), 1u);
  gFailWith = 0;
}

TEST_F(ReplayTest, WalkerWithoutCallbackOrBytes) {
  Bytes stream = ItemEncoder().Item(1, {9}).bytes();
  EXPECT_EQ(ThpReplayUnpack(stream.data(), static_cast<uint32_t>(stream.size()), nullptr), -1);
  EXPECT_EQ(ThpReplayUnpack(stream.data(), 0, nullptr), 0);
  EXPECT_EQ(ThpReplayUnpack(nullptr, 0, &Record), 0);
}

TEST_F(ReplayTest, WalkerRefusesItemsThatRunPastTheStream) {
  const Bytes good = ItemEncoder().Item(1, {9, 9}).bytes();
  struct Case {
    const char* name;
    Bytes tail;
  } cases[] = {
      {"three stray bytes", {1, 2, 3}},
      {"seven-byte head", {1, 0, 0, 0, 4, 0, 0}},
      {"length one past the end", ItemEncoder().U32(2).U32(5).Raw({1, 2, 3, 4}).bytes()},
      {"length near 4 GiB", ItemEncoder().U32(2).U32(0xFFFFFFF9u).Raw({1}).bytes()},
  };
  for (const Case& c : cases) {
    LogCapture::Clear();
    gVisits.clear();
    Bytes stream = good;
    stream.insert(stream.end(), c.tail.begin(), c.tail.end());
    EXPECT_EQ(ThpReplayUnpack(stream.data(), static_cast<uint32_t>(stream.size()), &Record), REPLAY_UNPACK_MALFORMED)
        << c.name;
    EXPECT_EQ(gVisits.size(), 1u) << c.name << ": only the whole item before it is handed on";
    EXPECT_EQ(log_.lines().size(), 1u) << c.name << ": refused with one log line";
  }
}

// ---- Init items ------------------------------------------------------------------------------

TEST_F(ReplayTest, FrontEndItemsRoundTripThroughGetInitInfo) {
  const Bytes stream = ItemEncoder()
                           .Open(2)
                           .ItemU16(0x010007D0u, 0x0110)
                           .ItemU16(0x010007D1u, 0x0020)
                           .ItemU8(0x000007D2u, 3)
                           .ItemU16(0x010007D4u, 0x0123)
                           .ItemU8(0x000007DCu, 3)
                           .Item(0x010007DDu, {60, 0, 90, 0, 120, 0})
                           .ItemU8(0x000007DEu, 2)
                           .Item(0x010007DFu, {0x10, 0x27, 0x20, 0x4E})
                           .ItemU16(0x090007ECu, 0xBEEF)
                           .Close(2)
                           .bytes();
  ASSERT_EQ(FeedInit(stream), 0);
  EXPECT_EQ(GetAfeDrvNum(), 0x10) << "low byte of the drive count";
  EXPECT_EQ(+gstAfeCaps.uwDrvNum, 0x0110);
  EXPECT_EQ(GetAfeSenNum(), 0x20);
  EXPECT_EQ(GetAfeButtonNum(), 3);
  EXPECT_EQ(GetAfePitchSize(), 0x0123);
  EXPECT_EQ(GetAfeScanRate()[2], 120);
  EXPECT_EQ(GetAfeMutualFreq()[1], 20000);
  EXPECT_EQ(GetAfeCalibFeature(), 0xBEEF);
  EXPECT_EQ(log_.Count("afe init : gstAfeCaps.uwDrvNum  = 272"), 1u);

  uint8_t out[16];
  uint32_t length = sizeof(out);
  ASSERT_EQ(GetInitInfo(0x010007DDu, out, &length), 0u);
  EXPECT_EQ(Bytes(out, out + length), Bytes({60, 0, 90, 0, 120, 0}));
  length = sizeof(out);
  ASSERT_EQ(GetInitInfo(0x000007D2u, out, &length), 0u);
  EXPECT_EQ(length, 1u);
  EXPECT_EQ(out[0], 3);
  length = 5;
  EXPECT_EQ(GetInitInfo(0x010007DDu, out, &length), 3u) << "caller's buffer too small";
}

TEST_F(ReplayTest, ListItemsFollowTheirCount) {
  struct Case {
    const char* name;
    uint8_t count;  // scan-rate count stored first (0: none)
    Bytes list;
    uint32_t result;
  } cases[] = {
      {"list before its count stores nothing", 0, {1, 0, 2, 0}, 0},
      {"count of 101 is refused", 101, Bytes(202, 1), 3},
      {"payload shorter than the count", 3, {1, 0, 2, 0}, 1},
      {"payload longer than the count", 1, {7, 0, 8, 0}, 0},
  };
  for (const Case& c : cases) {
    ReplayResetForTest();
    if (c.count != 0) { ASSERT_EQ(Init(0x000007DCu, {c.count}), 0u); }
    EXPECT_EQ(Init(0x010007DDu, c.list), c.result) << c.name;
  }
  EXPECT_EQ(GetAfeScanRate()[0], 7);
  EXPECT_EQ(GetAfeScanRate()[1], 0) << "only count values are taken";

  ReplayResetForTest();
  ASSERT_EQ(Init(0x010007DDu, {1, 0}), 0u);
  EXPECT_EQ(GetAfeScanRate()[0], 0);
  uint8_t out[8];
  uint32_t length = sizeof(out);
  EXPECT_EQ(GetInitInfo(0x010007DDu, out, &length), 2u);
  EXPECT_EQ(log_.Count("TSA_ERR_OUT_INVALID, AFECAPS_SCAN_RATE"), 1u);

  // The noise frequency list is not stored: refused unless its count is 0.
  EXPECT_EQ(Init(0x010007E9u, {1, 0}), 0u);
  ASSERT_EQ(Init(0x010007E8u, {2, 0}), 0u);
  EXPECT_EQ(Init(0x010007E9u, {1, 0, 2, 0}), 3u);
}

TEST_F(ReplayTest, ScalarItemShorterThanItsValueIsRefused) {
  EXPECT_EQ(Init(0x010007D0u, {5}), 1u);
  EXPECT_EQ(Init(0x000007D2u, {}), 1u);
  EXPECT_EQ(+gstAfeCaps.uwDrvNum, 0);
}

TEST_F(ReplayTest, TextItems) {
  const Bytes seventy(70, 'x');
  struct Case {
    uint32_t type;
    Bytes payload;
    uint32_t result;
    const char* stored;  // null: area left as it was (empty)
  } cases[] = {
      {0x100003EBu, {'a', 'b', 'c', 0}, 0, "abc"},
      {0x100003EBu, {}, 1, nullptr},
      {0x100003ECu, {'a', 'b', 'c', 'd'}, 1, nullptr},
      {0x100003EDu, seventy, 3, nullptr},
      {0x100003EEu, {'F', 'X', '3', '6', '8', '1', 'A', 'B', 0, 'z'}, 0, "FX3681AB"},
      {0x100003EFu, {'p', '1', 0}, 0, "p1"},
      {0x100003EFu, {}, 3, nullptr},
      {0x100003EFu, {'p', '1'}, 3, nullptr},
  };
  for (const Case& c : cases) {
    ReplayResetForTest();
    EXPECT_EQ(Init(c.type, c.payload), c.result) << std::hex << c.type;
    const char* area = c.type == 0x100003EBu   ? GetVersionSys()
                       : c.type == 0x100003ECu ? GetVersionTsc()
                       : c.type == 0x100003EDu ? GetVersionHal()
                       : c.type == 0x100003EEu ? GetVersionFw()
                                               : GetVersionProjectId();
    EXPECT_STREQ(area, c.stored != nullptr ? c.stored : "") << std::hex << c.type;
  }
  EXPECT_EQ(ReplayUnpackInitInfo(0x100003EBu, nullptr, 4), 1u);
  EXPECT_EQ(log_.Count("VERSION_FW_VER : verison = FX3681AB"), 1u);
}

TEST_F(ReplayTest, DeviceUidTakesOnlyTheGivenBytes) {
  ASSERT_EQ(Init(0x080003F4u, Bytes(16, 0xAB)), 0u);
  ASSERT_EQ(Init(0x080003F4u, {1, 2, 3, 4}), 0u);
  Bytes expected(16, 0);
  expected[0] = 1, expected[1] = 2, expected[2] = 3, expected[3] = 4;
  EXPECT_EQ(Bytes(GetDevUid(), GetDevUid() + 16), expected);
  EXPECT_EQ(Init(0x080003F4u, Bytes(17, 1)), 1u);
}

int gAppInitCalls;
uint8_t gAppInitMode;
uint8_t gAppInitResult;
uint8_t RecordAppInit(uint8_t mode) {
  ++gAppInitCalls;
  gAppInitMode = mode;
  return gAppInitResult;
}

TEST_F(ReplayTest, ConfigurationItemRebuildsTablesEvenWhenRefused) {
  const uint8_t panel[4] = {0x38, 0x04, 0x70, 0x08};  // 1080 x 2160
  const uint8_t coordTran[1] = {0x05};                // swap, y reversed
  const ReplayInitHooks hooks = {&RecordAppInit, panel, coordTran};
  SetReplayInitHooks(&hooks);
  ASSERT_EQ(Init(0x010007D0u, {3, 0}), 0u);
  ASSERT_EQ(Init(0x010007D1u, {2, 0}), 0u);
  gAppInitCalls = 0;
  gAppInitMode = 0xFF;

  EXPECT_EQ(Init(0x08000BB8u, Bytes(4097, 1)), 1u);
  EXPECT_EQ(log_.Count("NULL or Configuration is too large: 4097"), 1u);
  EXPECT_EQ(gAppInitCalls, 1);
  EXPECT_EQ(gAppInitMode, 0);
  EXPECT_EQ(GetAfeXResolution(), 1080);
  EXPECT_EQ(GetAfeYResolution(), 2160);
  EXPECT_EQ(GetAfeXYSwap(), 1);
  EXPECT_EQ(GetAfeXReveral(), 0);
  EXPECT_EQ(GetAfeYReveral(), 1);
  EXPECT_EQ(GetWatchDataNum(), 6u);
  uint8_t out[4096];
  uint32_t length = sizeof(out);
  ASSERT_EQ(GetConfig(out, &length), 0u);
  EXPECT_EQ(length, 0u) << "nothing copied";

  // Resolution items read the panel configuration, not their payload.
  EXPECT_EQ(Init(0x010007D7u, {1, 0}), 0u);
  EXPECT_EQ(GetAfeXResolution(), 1080);

  const Bytes blob = replay_test::Pattern(100, 3);
  EXPECT_EQ(Init(0x08000BB8u, blob), 0u);
  EXPECT_EQ(gAppInitCalls, 2);
  length = sizeof(out);
  ASSERT_EQ(GetConfig(out, &length), 0u);
  EXPECT_EQ(Bytes(out, out + length), blob);
  length = 99;
  EXPECT_EQ(GetConfig(out, &length), 3u);
  EXPECT_EQ(*GetConfigBlobLength(), 100u);
  EXPECT_EQ(0, std::memcmp(GetConfigBlob(), blob.data(), blob.size()));

  // A blob the start-up cannot apply is stored but not reported as taken.
  gAppInitResult = 2;
  EXPECT_EQ(Init(0x08000BB8u, blob), 1u);
  EXPECT_EQ(log_.Count("configuration not applied: start-up result 2"), 1u);
  EXPECT_EQ(gAppInitCalls, 3);
  gAppInitResult = 0;
}

TEST_F(ReplayTest, UnboundModuleRefusesConfigurationAndKeepsResolution) {
  SetReplayInitHooks(nullptr);
  const Bytes blob = replay_test::Pattern(100, 3);
  EXPECT_EQ(Init(0x08000BB8u, blob), 1u);
  EXPECT_EQ(log_.Count("configuration stored, not applied: module not bound"), 1u);
  // The recording's own resolution is not taken in place of the panel configuration.
  EXPECT_EQ(Init(0x010007D7u, {0x38, 0x04}), 0u);
  EXPECT_EQ(GetAfeXResolution(), 0);
  EXPECT_EQ(log_.Count("no panel configuration bound"), 1u);
}

TEST_F(ReplayTest, VersionTexts) {
  EXPECT_STREQ(GetVersionTsa(), "VC0.00.01.33");
  EXPECT_STREQ(GetCfgVersion(), "V00.01.33");
  EXPECT_EQ(SetCfgVersion(0x123ABCu), 0x123ABCu);
  EXPECT_STREQ(GetCfgVersion(), "V12.3A.BC");
  EXPECT_EQ(SetVersionTsa("VC9.99"), 0u);
  EXPECT_STREQ(GetVersionInfo(), "VC9.99");
  EXPECT_EQ(SetVersionTsa(nullptr), 1u);
  const std::string longText(64, 'v');
  char unterminated[64];
  std::memcpy(unterminated, longText.data(), 64);
  EXPECT_EQ(SetVersionTsa(unterminated), 3u);
  EXPECT_STREQ(GetVersionTsa(), "VC9.99");

  uint8_t out[64];
  uint32_t length = sizeof(out);
  ASSERT_EQ(GetInitInfo(0x10000BB9u, out, &length), 0u);
  EXPECT_EQ(length, 10u);
  EXPECT_STREQ(reinterpret_cast<char*>(out), "V12.3A.BC");
  length = 9;
  EXPECT_EQ(GetInitInfo(0x10000BB9u, out, &length), 3u);

  Bytes blob(4096, 0);
  blob[4086] = 1, blob[4087] = 2, blob[4088] = 3, blob[4089] = 44;
  ASSERT_EQ(SetTsaConfig(blob.data(), 4096), 0u);
  PrintConfigDbgInfo();
  EXPECT_EQ(log_.Count("ferx-ini-1.2.3.44"), 1u);
}

TEST_F(ReplayTest, GetInitInfoOtherTypes) {
  uint8_t out[8];
  uint32_t length = sizeof(out);
  EXPECT_EQ(GetInitInfo(0x100003E8u, out, &length), 0u);
  EXPECT_EQ(length, 0u);
  length = sizeof(out);
  EXPECT_EQ(GetInitInfo(0x100003EAu, out, &length), 2u);
  EXPECT_EQ(GetInitInfo(0x0A00ABCDu, out, &length), 2u);
  EXPECT_EQ(log_.Count("TSA_ERR_OUT_INVALID, no type"), 2u);
  EXPECT_EQ(GetInitInfo(0x010007D0u, nullptr, &length), 1u);
  EXPECT_EQ(GetInitInfo(0x010007D0u, out, nullptr), 1u);
}

TEST_F(ReplayTest, UnknownInitItemIsLoggedAndAccepted) {
  EXPECT_EQ(Init(0x0A00ABCDu, {1}), 0u);
  EXPECT_EQ(log_.Count("Unknow init type: 43981, spec: a"), 1u);
  EXPECT_EQ(Init(0x080003EAu, {1}), 0u);
  EXPECT_EQ(log_.lines().size(), 1u) << "1002 is ignored silently";
}

// ---- Replay head -----------------------------------------------------------------------------

TEST_F(ReplayTest, ReplayHeadLaysOutThreeGroupsAndReadsBack) {
  const Bytes setup = ItemEncoder()
                          .Item(0x100003EBu, {'s', 'y', 's', 0})
                          .Item(0x100003EEu, {'F', 'W', '1', 0})
                          .ItemU16(0x010007D0u, 18)
                          .ItemU16(0x010007D1u, 36)
                          .ItemU8(0x000007DCu, 2)
                          .Item(0x010007DDu, {60, 0, 120, 0})
                          .ItemU8(0x000007E0u, 1)
                          .Item(0x010007E1u, {0x34, 0x12})
                          .ItemU16(0x010007D7u, 7)
                          .Item(0x08000BB8u, replay_test::Pattern(10, 1))
                          .bytes();
  static const uint8_t panel[4] = {0x38, 0x04, 0x60, 0x09};  // 1080 x 2400
  static const uint8_t coordTran[1] = {0};
  const ReplayInitHooks hooks = {[](uint8_t) -> uint8_t { return 0; }, panel, coordTran};
  SetReplayInitHooks(&hooks);
  ASSERT_EQ(FeedInit(setup), 0);

  Bytes head(8192);
  uint32_t length = static_cast<uint32_t>(head.size());
  ASSERT_EQ(GetInitInfo(REPLAY_INIT_REPLAY_HEAD, head.data(), &length), 0u);
  bool ok = false;
  const auto items = Decode(head.data(), length, &ok);
  ASSERT_TRUE(ok);

  std::vector<uint32_t> expectedTypes = {0x01000000u, 0x100003E8u, 0x100003E9u, 0x100003EBu, 0x100003ECu,
                                         0x100003EDu, 0x100003EEu, 0x100003EFu, 0x100003F0u, 0x000003F1u,
                                         0x020003F2u, 0x01000001u, 0x01000000u};
  const uint32_t afeTypes[] = {0x010007D0u, 0x010007D1u, 0x000007D2u, 0x000007D3u, 0x010007D4u, 0x000007D5u,
                               0x000007D6u, 0x010007D7u, 0x010007D8u, 0x000007D9u, 0x000007DAu, 0x000007DBu,
                               0x000007DCu, 0x010007DDu, 0x000007DEu, 0x010007DFu, 0x000007E0u, 0x010007E1u,
                               0x000007E2u, 0x010007E3u, 0x000007E4u, 0x010007E5u, 0x010007E6u, 0x010007E7u,
                               0x010007E8u, 0x010007E9u, 0x090007EAu, 0x090007EBu, 0x090007ECu, 0x090007EDu,
                               0x090007EEu, 0x090007EFu};
  expectedTypes.insert(expectedTypes.end(), std::begin(afeTypes), std::end(afeTypes));
  for (uint32_t t : {0x01000001u, 0x01000000u, 0x08000BBAu, 0x08000BB8u, 0x10000BB9u, 0x01000001u}) {
    expectedTypes.push_back(t);
  }
  ASSERT_EQ(Types(items), expectedTypes);

  for (size_t i = 1; i <= 10; ++i) EXPECT_EQ(items[i].payload.size(), 64u) << i;
  EXPECT_STREQ(reinterpret_cast<const char*>(items[2].payload.data()), "VC0.00.01.33");
  EXPECT_STREQ(reinterpret_cast<const char*>(items[6].payload.data()), "FW1");
  for (size_t g = 0; g < 3; ++g) {
    const size_t open = g == 0 ? 0 : g == 1 ? 12 : 46;
    EXPECT_EQ(items[open].payload, Bytes({uint8_t(g + 1), 0}));
  }
  auto find = [&](uint32_t type) -> const Bytes& {
    for (const auto& item : items) {
      if (item.type == type) return item.payload;
    }
    static const Bytes none;
    return none;
  };
  EXPECT_EQ(find(0x010007D0u), Bytes({18, 0}));
  EXPECT_EQ(find(0x010007D7u), Bytes({0x38, 0x04})) << "x resolution of the panel configuration";
  EXPECT_EQ(find(0x010007DDu), Bytes({60, 0, 120, 0}));
  EXPECT_EQ(find(0x010007DFu), Bytes()) << "no mutual frequencies: empty list";
  EXPECT_EQ(find(0x010007E1u), Bytes({0x34, 0x12}));
  EXPECT_EQ(find(0x000007DCu), Bytes({2}));
  EXPECT_EQ(find(0x090007EFu), Bytes({64, 0})) << "data type 64";
  EXPECT_EQ(find(0x08000BBAu), replay_test::Pattern(10, 1));
  EXPECT_EQ(find(0x08000BB8u), replay_test::Pattern(10, 1));
  EXPECT_EQ(log_.Count("GetReplayHead: gstAfeCaps.uwDrvNum = 18, gstAfeCaps.uwSenNum =36"), 1u);

  // A replay reads the head back into the same records.
  const AfeCaps before = gstAfeCaps;
  ReplayResetForTest();
  SetReplayInitHooks(&hooks);
  ASSERT_EQ(FeedInit(Bytes(head.begin(), head.begin() + length)), 0);
  EXPECT_EQ(0, std::memcmp(&before, &gstAfeCaps, sizeof(AfeCaps)));
  EXPECT_STREQ(GetVersionSys(), "sys");
  EXPECT_STREQ(GetVersionFw(), "FW1");
  EXPECT_EQ(*GetConfigBlobLength(), 10u);

  // Too small for the whole head.
  for (uint32_t capacity : {100u, length - 1}) {
    uint32_t small = capacity;
    EXPECT_EQ(GetInitInfo(REPLAY_INIT_REPLAY_HEAD, head.data(), &small), 3u) << capacity;
  }
}

// ---- Target items ----------------------------------------------------------------------------

TEST_F(ReplayTest, TargetItemsFillTheCurrentPoint) {
  Bytes stream = ItemEncoder()
                     .ItemU16(0x01002B01u, 0x1234)
                     .ItemU8(0x00002B02u, 2)
                     .ItemU8(0x00000004u, 0)
                     .ItemU16(0x01002B05u, 100)
                     .ItemU8(0x00002B03u, 7)
                     .ItemU8(0x00000004u, 1)
                     .ItemU16(0x01002B05u, 200)
                     .ItemU16(0x01002B0Bu, 45)
                     .ItemU8(0x00000004u, 2)
                     .ItemU16(0x01002B05u, 300)
                     .ItemU8(0x00000004u, 1)
                     .Item(0x01002B06u, {9})
                     .ItemU64(0x0B002AFAu, 77)
                     .ItemU32(0x0A002AFDu, 0xA1B2C3D4u)
                     .ItemU8(0x00002B0Eu, 1)
                     .ItemU16(0x01002B10u, 3)
                     .ItemU8(0x00002B11u, 4)
                     .ItemU8(0x00000099u, 1)
                     .bytes();
  gstTsaTargetInfo.ullValue11002 = 5;
  ASSERT_EQ(ThpReplayUnpack(stream.data(), static_cast<uint32_t>(stream.size()), &ReplayUnpackTargetInfo), 0);
  EXPECT_EQ(GetFrameNumber(), 0x1234);
  EXPECT_EQ(GetTouchNum(), 2);
  EXPECT_EQ(GetXPos()[0], 100);
  EXPECT_EQ(GetTrackingId()[0], 7);
  EXPECT_EQ(GetXPos()[1], 200);
  EXPECT_EQ(GetOrientation()[1], 45);
  EXPECT_EQ(GetXPos()[2], 0) << "point index not below the touch count";
  EXPECT_EQ(GetYPos()[1], 0) << "one-byte payload for a u16 value ignored";
  EXPECT_EQ(+gstTsaTargetInfo.ullValue11002, 0u) << "cleared, payload ignored";
  EXPECT_EQ(+gstTsaTargetInfo.uiValue11003[2], 0xA1B2C3D4u);
  EXPECT_EQ(GetLargeTouch(), 1);
  EXPECT_EQ(GetTargetType(), 3);
  EXPECT_EQ(GetTemplateStage(), 4);
  EXPECT_EQ(GetMiscPointIndex(), 1);
  EXPECT_EQ(log_.Count("Unknow init type: 153, spec: 0"), 1u);

  // A touch count above the 12 slots never indexes past them.
  ASSERT_EQ(ReplayUnpackTargetInfo(0x00002B02u, Bytes({200}).data(), 1), 0u);
  ASSERT_EQ(ReplayUnpackTargetInfo(0x00000004u, Bytes({12}).data(), 1), 0u);
  Bytes x = {1, 1};
  EXPECT_EQ(ReplayUnpackTargetInfo(0x01002B05u, x.data(), 2), 0u);
  EXPECT_EQ(GetYPos()[0], 0) << "slot 12 would land in the next array";
}

}  // namespace
