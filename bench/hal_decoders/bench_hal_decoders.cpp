// Decode time per frame of each decoder table on two panel sizes. Each benchmark rotates
// through a set of distinct frames larger than the processor's caches (96 MiB by default,
// BENCH_FRAME_SET_MIB to change it) into a ring of 17 records, as the frame thread does, so
// the figure includes fetching the driver's buffer from memory rather than decoding one
// cached frame again and again.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "decoder/frame_decoder.h"
#include "tamrel_touch/frame_encoders.h"

namespace enc = tamrel_touch::encode;

namespace {

constexpr int kRingRecords = 17;

// 0: the default panel (40 x 18, 720 mutual, 58 self, 240 extra nodes); 1: a large one
// (56 x 52, 2912 mutual, 108 self, 168 extra nodes). Second-generation Luma frames carry
// their matrices in a fixed area of 2056 bytes: their large panel is 32 x 28 (896 mutual,
// 60 self nodes), the largest that fits.
DecoderConfig panel(int64_t which, bool luma_v2 = false) {
  DecoderConfig c{};
  decoder_config_defaults(&c);
  if (which == 1 && luma_v2) {
    c.columns = 32;
    c.rows = 28;
    c.node_count = 32 * 28;
    c.snode_count = 32 + 28;
    c.nnode_count = 32 * 3;
  } else if (which == 1) {
    c.columns = 56;
    c.rows = 52;
    c.node_count = 56 * 52;
    c.snode_count = 56 + 52;
    c.nnode_count = 56 * 3;
  }
  return c;
}

size_t frame_set_bytes() {
  const char *mib = std::getenv("BENCH_FRAME_SET_MIB");
  const long value = mib != nullptr ? std::atol(mib) : 0;
  return static_cast<size_t>(value > 0 ? value : 96) << 20;
}

// Frame k's values: distinct per frame, so no two slots of the set are alike.
std::vector<int16_t> values(size_t n, uint32_t k = 0) {
  std::vector<int16_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<int16_t>(i * 13 + k * 7 - 4000);
  return v;
}

enc::LumaLayoutFrame luma_frame(const DecoderConfig &c, bool two_self_lines, uint32_t k) {
  enc::LumaLayoutFrame f;
  f.frame_index = static_cast<uint16_t>(k);
  f.state = {0, 0, 0, 0, 4, 2};
  f.frame_type = 4;
  f.columns = c.columns;
  f.rows = c.rows;
  f.mutual = values(static_cast<size_t>(c.node_count), k);
  f.self1 = values(static_cast<size_t>(c.snode_count), k);
  if (two_self_lines) f.self2 = values(static_cast<size_t>(c.snode_count), k);
  f.text = "bench";
  f.extra1 = values(static_cast<size_t>(c.nnode_count), k);
  f.extra2 = values(static_cast<size_t>(c.snode_count), k);
  return f;
}

enc::Bytes ferrant_v1_slot(const DecoderConfig &c, uint32_t k) {
  enc::FerrantV1Frame f;
  f.head_index = static_cast<uint16_t>(k);  // consecutive frames differ: a repeat is refused
  f.tail_index = f.head_index;
  f.report_rate_hz = 240;
  f.kind = 4;
  f.mutual = values(static_cast<size_t>(c.node_count), k);
  f.self = values(static_cast<size_t>(c.snode_count), k);
  f.extra = values(static_cast<size_t>(c.nnode_count), k);
  return enc::make_slot({}, enc::encode_ferrant_v1(f));
}

enc::Bytes ferrant_v2_slot(const DecoderConfig &c, uint32_t k) {
  const std::array<uint8_t, 6> sat{};
  const std::array<uint8_t, 16> block{};
  const size_t e = static_cast<size_t>(c.nnode_count) / c.columns;
  enc::FerrantV2Frame f;
  f.head_index = static_cast<uint16_t>(k);
  f.tail_index = f.head_index;
  f.packets = {enc::ferrant_status_packet(static_cast<uint16_t>(k), 0, 0, 240, 2, 0),
               enc::ferrant_mutual_packet(10, 1000, 0, 0, 0, values(static_cast<size_t>(c.columns) * c.rows, k), sat, block),
               enc::ferrant_self_packet(values(static_cast<size_t>(c.columns) + c.rows, k), sat),
               enc::ferrant_extra_packet(block, values(std::max(c.columns, c.rows) * e, k), sat)};
  return enc::make_slot({}, enc::encode_ferrant_v2(f));
}

using SlotMaker = std::function<enc::Bytes(const DecoderConfig &, uint32_t k)>;

void run(benchmark::State &state, const device_operation &op, const SlotMaker &make, bool luma_v2 = false) {
  const DecoderConfig c = panel(state.range(0), luma_v2);
  // Distinct frames until the set outgrows the caches.
  std::vector<enc::Bytes> slots;
  size_t bytes = 0;
  for (uint32_t k = 1; bytes < frame_set_bytes() || slots.size() < 2; ++k) {
    slots.push_back(make(c, k));
    bytes += slots.back().size();
  }
  std::vector<DecodedFrame> records(kRingRecords);
  if (op.init(records.data(), &c, kRingRecords) != 0) {
    state.SkipWithError("init failed");
    return;
  }
  PanelGeometry g{};
  decoder_geometry_from_config(&c, &g);
  size_t i = 0;
  for (auto _ : state) {
    const enc::Bytes &slot = slots[i % slots.size()];
    DecodedFrame *record = &records[i % kRingRecords];
    ++i;
    if (!op.decode(record, slot.data(), static_cast<uint32_t>(slot.size()), &g)) {
      state.SkipWithError("frame rejected");
      break;
    }
    benchmark::DoNotOptimize(*record);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(slots[0].size()));
  state.SetLabel(std::to_string(c.columns) + "x" + std::to_string(c.rows) + ", " + std::to_string(slots.size()) +
                 " frames, " + std::to_string(bytes >> 20) + " MiB");
  op.release(records.data(), kRingRecords);
}

void BM_Luma(benchmark::State &s) {
  run(s, luma_operation, [](const DecoderConfig &c, uint32_t k) {
    return enc::make_slot({}, enc::encode_luma_v1(luma_frame(c, true, k)));
  });
}
void BM_LumaV2(benchmark::State &s) {
  run(
      s, luma_operation_v2,
      [](const DecoderConfig &c, uint32_t k) {
        return enc::make_slot({}, enc::encode_luma_v2(luma_frame(c, true, k), enc::LumaCheck::kCrc));
      },
      true);
}
void BM_Pellon(benchmark::State &s) {
  run(s, pellon_operation, [](const DecoderConfig &c, uint32_t k) {
    return enc::make_slot({}, enc::encode_pellon_v1(luma_frame(c, false, k)));
  });
}
void BM_PellonV2(benchmark::State &s) {
  run(s, pellon_operation_v2, [](const DecoderConfig &c, uint32_t k) {
    return enc::make_slot({}, enc::encode_pellon_v2(luma_frame(c, false, k)));
  });
}
void BM_Kv(benchmark::State &s) {
  run(s, kv_operation, [](const DecoderConfig &c, uint32_t k) {
    return enc::make_slot({}, enc::encode_kv(luma_frame(c, false, k), c.node_count, c.snode_count));
  });
}
void BM_Ferrant(benchmark::State &s) { run(s, ferrant_operation, ferrant_v1_slot); }
void BM_FerrantV2(benchmark::State &s) { run(s, ferrant_operation_v2, ferrant_v2_slot); }
void BM_Zet50210(benchmark::State &s) {
  run(s, zet50210_operation_v2, [](const DecoderConfig &c, uint32_t k) {
    enc::Zet50210Frame f;
    f.header[2] = static_cast<uint8_t>(k);
    f.frame_type = 1;
    f.mutual = values(static_cast<size_t>(c.node_count), k);
    return enc::make_slot({}, enc::encode_zet50210(f));
  });
}

}  // namespace

// Argument: the panel (0 default, 1 large).
BENCHMARK(BM_Luma)->Arg(0)->Arg(1);
BENCHMARK(BM_LumaV2)->Arg(0)->Arg(1);
BENCHMARK(BM_Pellon)->Arg(0)->Arg(1);
BENCHMARK(BM_PellonV2)->Arg(0)->Arg(1);
BENCHMARK(BM_Kv)->Arg(0)->Arg(1);
BENCHMARK(BM_Ferrant)->Arg(0)->Arg(1);
BENCHMARK(BM_FerrantV2)->Arg(0)->Arg(1);
BENCHMARK(BM_Zet50210)->Arg(0)->Arg(1);

BENCHMARK_MAIN();
