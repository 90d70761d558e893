// The decoder framework: table selection, buffer allocation and release of every table,
// allocation failures, and the wrappers' failure counters.
#include <gtest/gtest.h>

#include <map>

#include "decoder_test_util.h"

using namespace decoder_test;

namespace {

struct NamedTable {
  const char *name;
  const device_operation *op;
};

const NamedTable kTables[] = {
    {"luma", &luma_operation},       {"luma_v2", &luma_operation_v2},     {"ferrant", &ferrant_operation},
    {"ferrant_v2", &ferrant_operation_v2}, {"zet50210_v2", &zet50210_operation_v2}, {"kv", &kv_operation},
    {"pellon", &pellon_operation},   {"pellon_v2", &pellon_operation_v2},
};

bool same_table(const device_operation &a, const device_operation &b) {
  return a.init == b.init && a.release == b.release && a.decode == b.decode;
}

TEST(DecoderSelection, FrameDataTypeSelectsTheTable) {
  const std::pair<int32_t, const device_operation *> cases[] = {
      {0, &kv_operation},          {1, &ferrant_operation},  {2, &pellon_operation},   {3, &kv_operation},
      {4, &luma_operation},        {5, &ferrant_operation_v2}, {6, &luma_operation_v2}, {7, &pellon_operation_v2},
      {8, &zet50210_operation_v2}, {9, &kv_operation},       {200, &kv_operation},     {-1, &kv_operation},
  };
  for (auto [type, table] : cases) {
    current_device_operation_init(2);  // something else first
    if (table == &pellon_operation) current_device_operation_init(0);
    current_device_operation_init(type);
    EXPECT_TRUE(same_table(get_current_device_operation(), *table)) << type;
  }
}

TEST(DecoderSelection, ReservedSizeAndDebugBuffer) {
  EXPECT_EQ(luma_get_reserved_data_size(720, 58), 384);
  EXPECT_EQ(luma_get_reserved_data_size(1028, 0), 0);
  EXPECT_EQ(luma_get_reserved_data_size(1028, 10), -40);
  EXPECT_EQ(luma_get_debug_buf_max_size(), 255);
}

// An allocator that records every live buffer's size and can refuse the n-th allocation.
struct CountingAllocator {
  static inline std::map<void *, size_t> live;
  static inline size_t allocations = 0;
  static inline size_t fail_at = 0;  // 1-based; 0: never
  static void *alloc(size_t bytes) {
    if (++allocations == fail_at) return nullptr;
    void *p = calloc(1, bytes);
    live[p] = bytes;
    return p;
  }
  static void release(void *p) {
    live.erase(p);
    free(p);
  }
  static size_t size_of(const void *p) {
    auto it = live.find(const_cast<void *>(p));
    return it == live.end() ? 0 : it->second;
  }
};

class DecoderBuffers : public ::testing::Test {
 protected:
  void SetUp() override {
    install_host();
    CountingAllocator::live.clear();
    CountingAllocator::allocations = 0;
    CountingAllocator::fail_at = 0;
    decoder_set_allocator(&CountingAllocator::alloc, &CountingAllocator::release);
  }
  void TearDown() override { decoder_set_allocator(nullptr, nullptr); }
};

// Per-record buffer sizes in bytes of each table, for the panel below (720 mutual, 58
// self, 240 extra nodes, 3 frequencies, stylus 8 x 60 and 40 x 12), normalisation and
// dump copy on. 0: no buffer.
struct Expected {
  const char *name;
  size_t mutual, self1, self2, reserved, extra1, extra2, norm, stylus0, stylus1, dump_mutual, dump_block;
  int32_t dump_block_size;
  bool text_in_record;
};

TEST_F(DecoderBuffers, EveryTableAllocatesItsBuffers) {
  DecoderConfig c{};
  decoder_config_defaults(&c);
  c.kb_raw_normalize = 1;
  c.save_tic_dump = 1;
  c.stylus_en = 1;
  const Expected cases[] = {
      {"luma", 1440, 116, 116, 0, 0, 0, 0, 0, 0, 0, 0, 0, false},
      {"luma_v2", 1440, 116, 116, 255, 480, 116, 0, 0, 0, 1440, 384, 384, true},
      {"ferrant", 1440, 116, 116, 0, 0, 0, 1440 * 3, 0, 0, 1440, 480 + 244, 480 + 244, false},
      {"ferrant_v2", 1440, 116, 116, 255, 480, 0, 1440, 0, 0, 1440, 2500, 2500, true},
      {"zet50210_v2", 1440, 116, 116, 0, 0, 0, 0, 960, 960, 0, 0, 0, false},
      {"kv", 1440, 116, 116, 0, 0, 0, 0, 0, 0, 0, 0, 0, false},
      {"pellon", 1440, 116, 116, 255, 0, 0, 0, 0, 0, 0, 0, 0, false},
      {"pellon_v2", 1440, 116, 116, 255, 0, 0, 0, 0, 0, 0, 0, 0, true},
  };
  for (const Expected &e : cases) {
    const device_operation *op = nullptr;
    for (const NamedTable &t : kTables)
      if (std::string(t.name) == e.name) op = t.op;
    ASSERT_NE(op, nullptr);
    std::vector<DecodedFrame> records(17);
    for (DecodedFrame &r : records) r.reserved_block_len = 9;
    ASSERT_EQ(op->init(records.data(), &c, 17), 0) << e.name;
    for (const DecodedFrame &r : records) {
      EXPECT_EQ(CountingAllocator::size_of(r.mutual), e.mutual) << e.name;
      EXPECT_EQ(CountingAllocator::size_of(r.self1), e.self1) << e.name;
      EXPECT_EQ(CountingAllocator::size_of(r.self2), e.self2) << e.name;
      EXPECT_EQ(CountingAllocator::size_of(r.reserved_block), e.reserved) << e.name;
      EXPECT_EQ(CountingAllocator::size_of(r.extra1), e.extra1) << e.name;
      EXPECT_EQ(CountingAllocator::size_of(r.extra2), e.extra2) << e.name;
      EXPECT_EQ(CountingAllocator::size_of(r.norm_data), e.norm) << e.name;
      EXPECT_EQ(CountingAllocator::size_of(r.stylus[0]), e.stylus0) << e.name;
      EXPECT_EQ(CountingAllocator::size_of(r.stylus[1]), e.stylus1) << e.name;
      EXPECT_EQ(CountingAllocator::size_of(r.stylus[2]), e.stylus0) << e.name;
      EXPECT_EQ(CountingAllocator::size_of(r.stylus[3]), e.stylus1) << e.name;
      EXPECT_EQ(CountingAllocator::size_of(r.dump_mutual), e.dump_mutual) << e.name;
      EXPECT_EQ(CountingAllocator::size_of(r.dump_block), e.dump_block) << e.name;
      EXPECT_EQ(V(r.dump_block_size), e.dump_block_size) << e.name;
      EXPECT_EQ(V(r.debug_text) == r.text_area, e.text_in_record) << e.name;
      const bool resets_reserved_len = std::string(e.name) == "ferrant" || std::string(e.name) == "ferrant_v2" ||
                                       std::string(e.name) == "pellon_v2";
      EXPECT_EQ(V(r.reserved_block_len), resets_reserved_len ? 0 : 9) << e.name;
    }
    op->release(records.data(), 17);
    EXPECT_TRUE(CountingAllocator::live.empty()) << e.name << ": " << CountingAllocator::live.size() << " left";
    for (const DecodedFrame &r : records) {
      EXPECT_EQ(V(r.mutual), nullptr) << e.name;
      EXPECT_EQ(V(r.debug_text), nullptr) << e.name;
    }
  }
}

// A panel of ROWS x COLUMNS with its own node counts.
DecoderConfig panel_config(uint8_t rows, uint8_t columns) {
  DecoderConfig c = small_config();
  c.rows = rows;
  c.columns = columns;
  c.node_count = rows * columns;
  c.snode_count = rows + columns;
  return c;
}

TEST_F(DecoderBuffers, ReservedDumpBufferOnlyWhenPositive) {
  DecoderConfig c = panel_config(22, 41);  // 902 mutual and 63 self nodes fill the 2056 bytes
  c.save_tic_dump = 1;
  std::vector<DecodedFrame> records(2);
  ASSERT_EQ(luma_operation_v2.init(records.data(), &c, 2), 0);
  EXPECT_EQ(V(records[0].dump_block), nullptr);
  EXPECT_EQ(V(records[0].dump_block_size), 0);
  luma_operation_v2.release(records.data(), 2);
  c = panel_config(8, 101);  // 2056 - 2 x 808 - 4 x 109 = 4
  c.save_tic_dump = 1;
  ASSERT_EQ(luma_operation_v2.init(records.data(), &c, 2), 0);
  EXPECT_EQ(CountingAllocator::size_of(records[1].dump_block), 4u);
  luma_operation_v2.release(records.data(), 2);
}

TEST_F(DecoderBuffers, FailedAllocationReleasesEverything) {
  DecoderConfig c{};
  decoder_config_defaults(&c);
  for (const NamedTable &t : kTables) {
    std::vector<DecodedFrame> records(17);
    CountingAllocator::allocations = 0;
    CountingAllocator::fail_at = 5;
    HostCapture::get().clear();
    EXPECT_EQ(t.op->init(records.data(), &c, 17), -1) << t.name;
    EXPECT_TRUE(CountingAllocator::live.empty()) << t.name;
    for (const DecodedFrame &r : records) {
      EXPECT_EQ(V(r.mutual), nullptr) << t.name;
      EXPECT_EQ(V(r.self1), nullptr) << t.name;
      EXPECT_EQ(V(r.self2), nullptr) << t.name;
    }
    EXPECT_EQ(HostCapture::get().count("FRAME_DATA no memory"), 1u) << t.name;
    EXPECT_EQ(HostCapture::get().count("init frame data memory failed!"), 1u) << t.name;
    // A second init allocates afresh.
    CountingAllocator::fail_at = 0;
    EXPECT_EQ(t.op->init(records.data(), &c, 17), 0) << t.name;
    EXPECT_NE(V(records[16].mutual), nullptr) << t.name;
    t.op->release(records.data(), 17);
    EXPECT_TRUE(CountingAllocator::live.empty()) << t.name;
  }
}

TEST_F(DecoderBuffers, CountBelowOneAndBadConfigurations) {
  DecoderConfig c = small_config();
  std::vector<DecodedFrame> records(1);
  for (const NamedTable &t : kTables) {
    EXPECT_EQ(t.op->init(records.data(), &c, 0), 0) << t.name;
    EXPECT_EQ(t.op->init(nullptr, &c, 0), 0) << t.name;
    EXPECT_EQ(CountingAllocator::allocations, 0u) << t.name;
    DecoderConfig negative = c;
    negative.node_count = -5;
    EXPECT_EQ(t.op->init(records.data(), &negative, 1), -1) << t.name;
    EXPECT_EQ(t.op->init(records.data(), nullptr, 1), -1) << t.name;
    t.op->release(nullptr, 3);  // nothing to do
  }
}

// A valid controller frame INDEX for table NAME carrying MUTUAL and SELF values (and an
// extra area of 8 values); where the format's header names the panel, it names COLUMNS x
// ROWS.
enc::Bytes frame_for(const std::string &name, const std::vector<int16_t> &mutual, const std::vector<int16_t> &self,
                     uint8_t columns = 0, uint8_t rows = 0, uint16_t index = 1) {
  enc::LumaLayoutFrame f;
  f.frame_index = index;
  f.columns = columns;
  f.rows = rows;
  f.mutual = mutual;
  f.self1 = self;
  f.self2 = self;
  if (name == "luma") return enc::encode_luma_v1(f);
  if (name == "pellon") return enc::encode_pellon_v1(f);
  if (name == "kv") return enc::encode_kv(f, static_cast<int>(mutual.size()), static_cast<int>(self.size()));
  if (name == "luma_v2") return enc::encode_luma_v2(f, enc::LumaCheck::kCrc);
  if (name == "pellon_v2") return enc::encode_pellon_v2(f);
  if (name == "zet50210_v2") {
    enc::Zet50210Frame z;
    z.mutual = mutual;
    return enc::encode_zet50210(z);
  }
  if (name == "ferrant") {
    enc::FerrantV1Frame v;
    v.head_index = index;  // a repeated index is taken as the same frame again
    v.mutual = mutual;
    v.self = self;
    v.extra = ramp(8, 1);
    return enc::encode_ferrant_v1(v);
  }
  enc::FerrantV2Frame v;
  v.head_index = index;
  std::array<uint8_t, 6> sat{};
  v.packets = {enc::ferrant_mutual_packet(10, 0, 0, 0, 0, mutual, sat, {})};
  return enc::encode_ferrant_v2(v);
}

TEST_F(DecoderBuffers, GeometryLargerThanTheBuffersIsRefused) {
  const DecoderConfig c = small_config();
  for (const NamedTable &t : kTables) {
    Records rec(*t.op, c, 1);
    ASSERT_TRUE(rec.ok()) << t.name;
    // A frame and geometry for a panel twice the configured size.
    DecoderConfig big = c;
    big.node_count = 24;
    big.columns = 8;
    big.snode_count = 11;
    PanelGeometry g = geometry_of(big);
    const enc::Bytes slot = enc::make_slot(slot_header(1), frame_for(t.name, ramp(24, 1), ramp(11, 1)));
    const std::vector<int16_t> untouched = read_values(rec[0].mutual, 12);
    // Refused, without writing past the 12-value buffer (ASan watches).
    EXPECT_FALSE(t.op->decode(&rec[0], slot.data(), static_cast<uint32_t>(slot.size()), &g)) << t.name;
    EXPECT_EQ(read_values(rec[0].mutual, 12), untouched) << t.name;
  }
}

// Every table gives its records the configured panel's rows and columns, which tell the
// algorithms how many values the buffers hold, over whatever an earlier frame left; a
// controller header naming another panel (here algorithm B's 17 x 38) does not reach the
// record, and the tables that copy such a header say so once.
TEST_F(DecoderBuffers, EveryTableStampsTheConfiguredPanel) {
  const DecoderConfig c = small_config();  // 4 columns x 3 rows
  for (const NamedTable &t : kTables) {
    SCOPED_TRACE(t.name);
    Records rec(*t.op, c, 1);
    ASSERT_TRUE(rec.ok());
    HostCapture::get().clear();
    for (uint16_t k = 1; k <= 2; ++k) {
      rec[0].columns = 38;
      rec[0].rows = 17;
      const enc::Bytes frame = frame_for(t.name, ramp(12, k), ramp(7, 1), 38, 17, k);
      ASSERT_TRUE(rec.decode(0, enc::make_slot(slot_header(k), frame))) << "frame " << k;
      EXPECT_EQ(V(rec[0].columns), 4) << "frame " << k;
      EXPECT_EQ(V(rec[0].rows), 3) << "frame " << k;
    }
    const bool copies_header = std::string(t.name) == "luma_v2" || std::string(t.name) == "pellon_v2";
    EXPECT_EQ(HostCapture::get().count("the controller's frame names a 17x38 panel, the configured 3x4 is kept"),
              copies_header ? 1u : 0u);
  }
}

// The buffers follow the node counts and the frames' rows and columns follow the panel: a
// configuration in which they disagree is refused by every table's init with its reason,
// and the same panel with its own counts is taken.
TEST_F(DecoderBuffers, InitRefusesNodeCountsOfAnotherPanel) {
  struct Case {
    const char *what;
    int32_t node_count, snode_count;
    uint8_t columns, rows;
    bool taken;
  } cases[] = {
      {"the panel's counts", 12, 7, 4, 3, true},
      {"mutual count of another panel", 646, 7, 4, 3, false},
      {"self count of another panel", 12, 55, 4, 3, false},
      {"rows and columns of another panel", 12, 7, 38, 17, false},
      {"no rows", 0, 4, 4, 0, false},
  };
  for (const NamedTable &t : kTables) {
    for (const Case &k : cases) {
      SCOPED_TRACE(std::string(t.name) + ", " + k.what);
      DecoderConfig c = small_config();
      c.node_count = k.node_count;
      c.snode_count = k.snode_count;
      c.columns = k.columns;
      c.rows = k.rows;
      std::vector<DecodedFrame> records(2);
      HostCapture::get().clear();
      EXPECT_EQ(t.op->init(records.data(), &c, 2), k.taken ? 0 : -1);
      EXPECT_EQ(HostCapture::get().count("configuration refused"), k.taken ? 0u : 1u);
      EXPECT_EQ(V(records[0].mutual) != nullptr, k.taken);
      t.op->release(records.data(), 2);
      EXPECT_TRUE(CountingAllocator::live.empty());
    }
  }
}

TEST(DecoderWrappers, FailureCountersArePerTable) {
  install_host();
  const DecoderConfig c = small_config();
  Records luma(luma_operation_v2, c, 1);
  Records pellon(pellon_operation_v2, c, 1);
  const enc::Bytes junk = enc::make_slot(slot_header(1), enc::Bytes(200, 0x11));
  auto counter_after_failure = [&](Records &rec) {
    HostCapture::get().clear();
    EXPECT_FALSE(rec.decode(0, junk));
    const std::string &line = HostCapture::get().lines.back();
    return std::stoi(line.substr(line.find("crc err ") + 8));
  };
  const int luma1 = counter_after_failure(luma);
  const int pellon1 = counter_after_failure(pellon);
  const int luma2 = counter_after_failure(luma);
  EXPECT_EQ(luma2, luma1 + 1);
  current_device_operation_init(7);  // switching tables resets nothing
  const int pellon2 = counter_after_failure(pellon);
  EXPECT_EQ(pellon2, pellon1 + 1);
  // Null pointers and short slots are refused at once.
  PanelGeometry g = geometry_of(c);
  for (const NamedTable &t : kTables) {
    EXPECT_FALSE(t.op->decode(nullptr, junk.data(), 200, &g)) << t.name;
    EXPECT_FALSE(t.op->decode(&luma[0], nullptr, 200, &g)) << t.name;
    EXPECT_FALSE(t.op->decode(&luma[0], junk.data(), 200, nullptr)) << t.name;
    EXPECT_FALSE(t.op->decode(&luma[0], junk.data(), 10, &g)) << t.name;
  }
}

}  // namespace
