#include <dlfcn.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "framework.h"
#include "platform/paths.h"
#include "platform/temp_root.h"
#include "tsa_debug.h"
#include "tsa_module.h"
#include "tsa_module_test_util.h"
#include "tsa_pack.h"

namespace {

using fxtest::Bytes;
using fxtest::LogCapture;
using fxtest::V;

struct Sent {
  static inline std::mutex mutex;
  static inline std::vector<Bytes> packets;
  static int32_t Write(uint32_t, uint8_t* packet, uint32_t length, uint32_t) {
    std::lock_guard<std::mutex> lock(mutex);
    packets.emplace_back(packet, packet + length);
    return 0;
  }
};

// A request built byte by byte: {u32 type, u16 length, packet}.
Bytes Request(uint32_t type, const Bytes& packet) {
  Bytes r(TSA_REQUEST_BYTES, 0);
  fxtest::Put32(r, 0, type);
  fxtest::Put16(r, 4, static_cast<uint16_t>(packet.size()));
  std::copy(packet.begin(), packet.end(), r.begin() + 6);
  return r;
}

// Controller packet 00 00 (n+4) cmd data sum16.
Bytes Packet(uint8_t cmd, const Bytes& data) {
  Bytes p{0, 0, static_cast<uint8_t>(data.size() + 4), cmd};
  p.insert(p.end(), data.begin(), data.end());
  uint16_t sum = 0;
  for (uint8_t v : p) sum = static_cast<uint16_t>(sum + v);
  p.push_back(static_cast<uint8_t>(sum));
  p.push_back(static_cast<uint8_t>(sum >> 8));
  return p;
}

class DebugGlue : public ::testing::Test {
 protected:
  void SetUp() override {
    TsaModuleResetForTest();
    TsaDebugResetForTest();
    Sent::packets.clear();
    LogCapture::Clear();
    host_.log = LogCapture::Log;
    host_.controller_write = Sent::Write;
    register_alg_module(&host_);
  }
  void TearDown() override {
    FrameworkBindRequestSink(nullptr);
    TsaDebugResetForTest();
    TsaModuleResetForTest();
  }
  AlgHostCallbacks host_{};
};

TEST_F(DebugGlue, RingTakesTenDrainSendsThemInOrderAndEmpties) {
  for (uint8_t i = 0; i < 11; ++i) {
    const Bytes r = Request(1, Packet(0x9C, {i}));
    EXPECT_EQ(TsaRequestPush(r.data()), i < 10 ? 0 : -1) << int(i);
  }
  EXPECT_EQ(V(tsa_request_num), 10);
  EXPECT_EQ(TsaRequestDrain(), 0);
  EXPECT_EQ(V(tsa_request_num), 0);
  ASSERT_EQ(Sent::packets.size(), 10u);
  for (uint8_t i = 0; i < 10; ++i) EXPECT_EQ(Sent::packets[i], Packet(0x9C, {i}));
  EXPECT_TRUE(LogCapture::Has("tsa send cmd:0,0,5,9c,0,a1,0,"));
  EXPECT_EQ(TsaRequestDrain(), 0);
  EXPECT_EQ(Sent::packets.size(), 10u);
}

TEST_F(DebugGlue, UnknownTypeAndBadLengthAreSkippedFailedSendReturned) {
  const Bytes entries[] = {Request(2, Packet(0x9D, {1})), Request(1, Bytes{0, 0, 1}),
                           Request(1, Packet(0x9D, {1}))};
  for (const Bytes& e : entries) ASSERT_EQ(TsaRequestPush(e.data()), 0);
  EXPECT_EQ(TsaRequestDrain(), FERX_EINVAL);  // the short packet
  EXPECT_TRUE(LogCapture::Has("unknown request type 2"));
  ASSERT_EQ(Sent::packets.size(), 1u);
  EXPECT_EQ(Sent::packets[0], (Bytes{0x00, 0x00, 0x05, 0x9D, 0x01, 0xA3, 0x00}));
  // A refused write is logged and becomes the result; later entries still go.
  host_.controller_write = nullptr;
  ASSERT_EQ(TsaRequestPush(Request(1, Packet(0x9D, {0})).data()), 0);
  EXPECT_EQ(TsaRequestDrain(), FERX_EINVAL);
  EXPECT_TRUE(LogCapture::Has("tsa send cmd failed"));
}

TEST_F(DebugGlue, FrameworkAndPackersShareTheRing) {
  TsaRequestRingBind();
  SampleStart(1);
  const Bytes other = Request(1, Packet(0xBF, {1}));
  EXPECT_EQ(SetRequest(other.data()), 0);
  EXPECT_EQ(GetRequestNum(), 2);
  ASSERT_EQ(V(tsa_request_num), 2);
  const Bytes expect = Request(1, {0x00, 0x00, 0x05, 0xF1, 0x01, 0xF7, 0x00});
  EXPECT_EQ(0, std::memcmp(tsa_request_ring, expect.data(), TSA_REQUEST_BYTES));
  EXPECT_EQ(0, std::memcmp(tsa_request_ring + TSA_REQUEST_BYTES, other.data(), TSA_REQUEST_BYTES));
  TsaRequestDrain();
  EXPECT_EQ(GetRequestNum(), 0);
}

TEST_F(DebugGlue, ProducersOnTwoThreadsLoseNothingTheyWereToldWasQueued) {
  constexpr int kPerThread = 2000;
  std::atomic<int> accepted{0};
  std::atomic<bool> done{false};
  auto producer = [&](uint8_t cmd) {
    for (int i = 0; i < kPerThread; ++i) {
      const Bytes r = Request(1, Packet(cmd, {static_cast<uint8_t>(i)}));
      if (TsaRequestPush(r.data()) == 0) ++accepted;
    }
  };
  std::thread drainer([&] {
    while (!done) TsaRequestDrain();
  });
  std::thread a(producer, 0x9C), b(producer, 0x9D);
  a.join();
  b.join();
  done = true;
  drainer.join();
  TsaRequestDrain();
  EXPECT_GT(accepted.load(), 0);
  ASSERT_EQ(Sent::packets.size(), static_cast<size_t>(accepted.load()));
  for (const Bytes& p : Sent::packets) {
    ASSERT_EQ(p.size(), 7u);
    EXPECT_EQ(p, Packet(p[3], {p[4]}));  // every packet whole, never two halves
  }
}

// The report packers' queue accessors share the ring's lock: two producers through
// SetRequest, a consumer through GetRequestItem and GetRequest; every entry accepted is
// taken exactly once and whole.
TEST_F(DebugGlue, PackerAccessorsOnTwoThreadsTakeEachAcceptedEntryOnce) {
  constexpr uint16_t kPerThread = 3000;
  auto entry = [](uint8_t thread, uint16_t seq) {
    Bytes e(TSA_REQUEST_BYTES);
    for (size_t k = 0; k < e.size(); ++k) e[k] = static_cast<uint8_t>(thread * 101 + seq * 7 + k);
    e[0] = thread;
    e[1] = static_cast<uint8_t>(seq & 0xFF);
    e[2] = static_cast<uint8_t>(seq >> 8);
    return e;
  };
  std::mutex acceptedLock;
  std::set<std::pair<uint8_t, uint16_t>> accepted;
  std::atomic<bool> done{false};
  std::vector<Bytes> taken;
  auto producer = [&](uint8_t thread) {
    for (uint16_t i = 0; i < kPerThread; ++i) {
      if (SetRequest(entry(thread, i).data()) == 0) {
        std::lock_guard<std::mutex> lock(acceptedLock);
        accepted.insert({thread, i});
      }
    }
  };
  auto takeAll = [&] {
    Bytes all(TSA_REQUEST_MAX * TSA_REQUEST_BYTES);
    if (GetRequest(all.data()) != 0) return;
    // The number taken is not returned: the buffer starts zeroed, so entries are read
    // until one carries no producer tag.
    for (uint32_t i = 0; i < TSA_REQUEST_MAX; ++i) {
      Bytes e(all.begin() + i * TSA_REQUEST_BYTES, all.begin() + (i + 1) * TSA_REQUEST_BYTES);
      if (e[0] != 1 && e[0] != 2) break;
      taken.push_back(e);
    }
  };
  std::thread consumer([&] {
    Bytes one(TSA_REQUEST_BYTES);
    bool flip = false;
    while (!done) {
      if ((flip = !flip)) {
        if (GetRequestItem(one.data()) == 0) taken.push_back(one);
      } else {
        takeAll();
      }
    }
  });
  std::thread a(producer, 1), b(producer, 2);
  a.join();
  b.join();
  done = true;
  consumer.join();
  takeAll();
  std::set<std::pair<uint8_t, uint16_t>> seen;
  for (const Bytes& e : taken) {
    const uint16_t seq = static_cast<uint16_t>(e[1] | (e[2] << 8));
    ASSERT_EQ(e, entry(e[0], seq)) << "an entry was torn";
    EXPECT_TRUE(seen.insert({e[0], seq}).second) << "taken twice: " << int(e[0]) << "/" << seq;
  }
  EXPECT_EQ(seen, accepted);
  EXPECT_GT(accepted.size(), 0u);
}

TEST_F(DebugGlue, ReplayLogCacheDropsWhatDoesNotFitWhole) {
  std::vector<uint8_t> chunk(5000, 0x5A);
  save_replay_data_to_cache(chunk.data(), 5000);
  save_replay_data_to_cache(chunk.data(), 5000);
  save_replay_data_to_cache(chunk.data(), 5000);  // 15000 > 12288: dropped
  save_replay_data_to_cache(chunk.data(), 2288);  // exactly fills
  EXPECT_EQ(log_to_file.count, REPLAY_LOG_CACHE_BYTES);
  save_replay_data_to_cache(chunk.data(), 1);
  EXPECT_EQ(log_to_file.count, REPLAY_LOG_CACHE_BYTES);
  EXPECT_EQ(LogCapture::Count("replay cache full"), 1u);  // once per frame
  clean_rep_data_cache();
  EXPECT_EQ(log_to_file.count, 0u);
}

// The frame thread and a tool thread append at once: every accepted item lands whole, the
// cache never holds more than its capacity and nothing is written past it.
TEST_F(DebugGlue, ReplayLogCacheAppendsFromTwoThreadsStayInside) {
  constexpr uint32_t kItem = 8;
  constexpr uint32_t kRounds = 200;
  for (uint32_t round = 0; round < kRounds; ++round) {
    clean_rep_data_cache();
    std::atomic<bool> go{false};
    auto producer = [&](uint8_t fill) {
      uint8_t item[kItem];
      std::memset(item, fill, sizeof(item));
      while (!go.load()) {
      }
      for (uint32_t i = 0; i < REPLAY_LOG_CACHE_BYTES / kItem; ++i) save_replay_data_to_cache(item, kItem);
    };
    std::thread a(producer, 0xA1), b(producer, 0xB2);
    go = true;
    a.join();
    b.join();
    ASSERT_EQ(log_to_file.count, REPLAY_LOG_CACHE_BYTES) << "round " << round;
    for (uint32_t at = 0; at < REPLAY_LOG_CACHE_BYTES; at += kItem) {
      const uint8_t first = log_to_file.data[at];
      ASSERT_TRUE(first == 0xA1 || first == 0xB2) << "offset " << at;
      for (uint32_t k = 1; k < kItem; ++k) ASSERT_EQ(log_to_file.data[at + k], first) << "torn item at " << at;
    }
  }
}

TEST_F(DebugGlue, ReplayPackageAppendInsertPackUnpack) {
  ReplayPkg* pkg = module_get_replay_pkg(24);
  ASSERT_NE(pkg, nullptr);
  const uint8_t four[4] = {1, 2, 3, 4};
  EXPECT_EQ(module_append_replay_item(pkg, 0x01000000, 4, four), 0);
  EXPECT_EQ(pkg->used, 12u);
  EXPECT_EQ(module_append_replay_item(pkg, 7, 5, four), -1);  // 12 + 13 > 24
  EXPECT_TRUE(LogCapture::Has("no enough memory, 24"));
  EXPECT_EQ(pkg->used, 12u);
  EXPECT_EQ(module_append_replay_item(pkg, 7, 4, four), 0);  // exactly 24
  const Bytes expect{0, 0, 0, 1, 4, 0, 0, 0, 1, 2, 3, 4, 7, 0, 0, 0, 4, 0, 0, 0, 1, 2, 3, 4};
  EXPECT_EQ(Bytes(pkg->data, pkg->data + pkg->used), expect);
  module_free_replay_pkg(pkg);

  uint8_t buf[8] = {};
  EXPECT_EQ(module_insert_replay_item(buf, 2, 8, four, 4), 6u);
  EXPECT_EQ(module_insert_replay_item(buf, 6, 8, four, 4), 0u);
  EXPECT_EQ(buf[2], 1);

  uint8_t out[64];
  const uint16_t v = 0x1234;
  const ReplayItemDesc items[1] = {{0x01000100u, 2, &v}};
  EXPECT_EQ(module_thp_replay_pack(0, 1, items, out, sizeof(out)), 10u);
  EXPECT_EQ(module_thp_replay_pack(5, 0, nullptr, out, sizeof(out)), 20u);
  EXPECT_EQ(Bytes(out, out + 20), (Bytes{0, 0, 0, 1, 2, 0, 0, 0, 5, 0, 1, 0, 0, 1, 2, 0, 0, 0, 5, 0}));
  EXPECT_EQ(module_thp_replay_pack(5, 1, items, out, 29), 0u);  // needs 30

  const uint32_t n = module_thp_replay_pack(5, 1, items, out, sizeof(out));
  static std::vector<uint32_t> seen;
  seen.clear();
  auto record = [](uint32_t id, uint8_t*, uint32_t) -> uint32_t {
    seen.push_back(id);
    return 0;
  };
  auto refuseSecond = [](uint32_t id, uint8_t*, uint32_t) -> uint32_t {
    seen.push_back(id);
    return seen.size() == 2 ? 1u : 0u;
  };
  EXPECT_EQ(module_thp_replay_unpack(out, static_cast<int32_t>(n), record), 0);
  EXPECT_EQ(seen, (std::vector<uint32_t>{0x01000000u, 0x01000100u, 0x01000001u}));
  seen.clear();
  EXPECT_EQ(module_thp_replay_unpack(out, static_cast<int32_t>(n), refuseSecond), -2);
  EXPECT_EQ(seen.size(), 2u);
  EXPECT_EQ(module_thp_replay_unpack(out, 0, nullptr), 0);
  EXPECT_EQ(module_thp_replay_unpack(out, static_cast<int32_t>(n), nullptr), -1);
  EXPECT_EQ(module_thp_replay_unpack(out, static_cast<int32_t>(n) - 1, record), REPLAY_UNPACK_MALFORMED);
}

TEST_F(DebugGlue, CoordinatesFromRecordedItems) {
  Bytes s;
  auto item = [&](uint32_t id, const Bytes& data) {
    Bytes h(8);
    fxtest::Put32(h, 0, id);
    fxtest::Put32(h, 4, static_cast<uint32_t>(data.size()));
    s.insert(s.end(), h.begin(), h.end());
    s.insert(s.end(), data.begin(), data.end());
  };
  item(0x0100222C, {0x10, 0x02, 0, 0});
  item(0x0100222D, {0x20, 0x03});
  item(0x01009999, {1, 2, 3, 4});  // unknown: skipped
  item(0x01002230, {0x78, 0x56, 0x34, 0x12});
  item(0x01002231, {5, 0, 0, 0});
  item(9002, {7});
  item(9001, {9});
  const FrameCoorInfo* info = parse_coor_from_rep(s.data(), static_cast<uint32_t>(s.size()));
  EXPECT_EQ(V(info->value4), 0x0210u);
  EXPECT_EQ(V(info->value8), 0x0320u);
  EXPECT_EQ(V(info->value16), 0x12345678u);
  EXPECT_EQ(V(info->value20), 5u);
  EXPECT_EQ(info->value12, 7);
  EXPECT_EQ(info->flag52, 1);
  EXPECT_EQ(info->value56, 9);
  info = parse_coor_from_rep(s.data(), 0);  // cleared again
  EXPECT_EQ(V(info->value16), 0u);
  EXPECT_EQ(info->flag52, 0);
}

// ---- Debug daemon ----------------------------------------------------------------------

void CopyFile(const char* from, const platform::testing::TempRoot& root, const char* to) {
  std::ifstream in(from, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_FALSE(bytes.empty()) << from;
  root.writeFile(to, bytes);
}

TEST_F(DebugGlue, DaemonIsBoundOnlyWhenLibraryAndNodeExist) {
  platform::testing::TempRoot root;
  CopyFile(FERRANT_TSD_STANDIN, root, TSD_LIB_PATH);
  // Library present, node missing: nothing opened.
  EXPECT_EQ(ferx_tsd_init(), 0);
  EXPECT_TRUE(LogCapture::Has("/dev/fxt_tools does not exist, skip"));
  const std::string lib = plat_path(TSD_LIB_PATH);
  EXPECT_EQ(dlopen(lib.c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr);

  root.writeFile(TSD_NODE_PATH, "");
  EXPECT_EQ(ferx_tsd_init(), 0);
  void* handle = dlopen(lib.c_str(), RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(handle, nullptr);
  auto startCalls = reinterpret_cast<int (*)()>(dlsym(handle, "tsd_standin_start_calls"));
  auto stopCalls = reinterpret_cast<int (*)()>(dlsym(handle, "tsd_standin_stop_calls"));
  auto lockedOk = reinterpret_cast<int (*)()>(dlsym(handle, "tsd_standin_locked_ok"));
  auto mutex = reinterpret_cast<void* (*)()>(dlsym(handle, "tsd_standin_mutex"));
  EXPECT_EQ(startCalls(), 1);
  EXPECT_EQ(mutex(), &handle_tsd_cmd_mutex);
  EXPECT_EQ(lockedOk(), 1);
  ferx_tsd_exit();
  ferx_tsd_exit();  // forgotten after the first
  EXPECT_EQ(stopCalls(), 1);
  dlclose(handle);
}

TEST_F(DebugGlue, DaemonLibraryWithoutEntryPointsOrNotALibrary) {
  platform::testing::TempRoot root;
  root.writeFile(TSD_NODE_PATH, "");
  root.writeFile(TSD_LIB_PATH, "not an ELF file");
  EXPECT_EQ(ferx_tsd_init(), 0);
  EXPECT_TRUE(LogCapture::Has("failed open lib /vendor/lib64/libferx_tsd.so"));
  CopyFile(FERRANT_NOSYM_LIB, root, "/vendor/lib64/libferx_tsd.so");
  EXPECT_EQ(ferx_tsd_init(), -1);
  EXPECT_TRUE(LogCapture::Has("failed get func: tsd_debug_thread_start"));
  ferx_tsd_exit();  // nothing bound: nothing called
}

}  // namespace
