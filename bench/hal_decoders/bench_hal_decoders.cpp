// Decode time per frame of each decoder table, one valid slot decoded again and again
// (the Ferrant first generation alternates two head indexes: it refuses a repeated frame).
#include <benchmark/benchmark.h>

#include <vector>

#include "decoder/frame_decoder.h"
#include "tamrel_touch/frame_encoders.h"

namespace enc = tamrel_touch::encode;

namespace {

DecoderConfig panel() {
  DecoderConfig c{};
  decoder_config_defaults(&c);
  return c;
}

std::vector<int16_t> values(size_t n) {
  std::vector<int16_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<int16_t>(i * 13 - 4000);
  return v;
}

enc::LumaLayoutFrame luma_frame(const DecoderConfig &c, bool two_self_lines) {
  enc::LumaLayoutFrame f;
  f.state = {0, 0, 0, 0, 4, 2};
  f.frame_type = 4;
  f.mutual = values(static_cast<size_t>(c.node_count));
  f.self1 = values(static_cast<size_t>(c.snode_count));
  if (two_self_lines) f.self2 = values(static_cast<size_t>(c.snode_count));
  f.text = "bench";
  f.extra1 = values(static_cast<size_t>(c.nnode_count));
  f.extra2 = values(static_cast<size_t>(c.snode_count));
  return f;
}

enc::Bytes ferrant_v1_slot(const DecoderConfig &c, uint16_t head) {
  enc::FerrantV1Frame f;
  f.head_index = head;
  f.report_rate_hz = 240;
  f.kind = 4;
  f.mutual = values(static_cast<size_t>(c.node_count));
  f.self = values(static_cast<size_t>(c.snode_count));
  f.extra = values(static_cast<size_t>(c.nnode_count));
  return enc::make_slot({}, enc::encode_ferrant_v1(f));
}

enc::Bytes ferrant_v2_slot(const DecoderConfig &c) {
  const std::array<uint8_t, 6> sat{};
  const std::array<uint8_t, 16> block{};
  const size_t e = static_cast<size_t>(c.nnode_count) / c.columns;
  enc::FerrantV2Frame f;
  f.packets = {enc::ferrant_status_packet(1, 0, 0, 240, 2, 0),
               enc::ferrant_mutual_packet(10, 1000, 0, 0, 0, values(static_cast<size_t>(c.columns) * c.rows), sat, block),
               enc::ferrant_self_packet(values(static_cast<size_t>(c.columns) + c.rows), sat),
               enc::ferrant_extra_packet(block, values(std::max(c.columns, c.rows) * e), sat)};
  return enc::make_slot({}, enc::encode_ferrant_v2(f));
}

void run(benchmark::State &state, const device_operation &op, const std::vector<enc::Bytes> &slots) {
  const DecoderConfig c = panel();
  std::vector<DecodedFrame> records(1);
  if (op.init(records.data(), &c, 1) != 0) {
    state.SkipWithError("init failed");
    return;
  }
  PanelGeometry g{};
  decoder_geometry_from_config(&c, &g);
  size_t i = 0;
  for (auto _ : state) {
    const enc::Bytes &slot = slots[i++ % slots.size()];
    if (!op.decode(records.data(), slot.data(), static_cast<uint32_t>(slot.size()), &g)) {
      state.SkipWithError("frame rejected");
      break;
    }
    benchmark::DoNotOptimize(records[0]);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(slots[0].size()));
  op.release(records.data(), 1);
}

void BM_Luma(benchmark::State &s) { run(s, luma_operation, {enc::make_slot({}, enc::encode_luma_v1(luma_frame(panel(), true)))}); }
void BM_LumaV2(benchmark::State &s) {
  run(s, luma_operation_v2, {enc::make_slot({}, enc::encode_luma_v2(luma_frame(panel(), true), enc::LumaCheck::kCrc))});
}
void BM_Pellon(benchmark::State &s) {
  run(s, pellon_operation, {enc::make_slot({}, enc::encode_pellon_v1(luma_frame(panel(), false)))});
}
void BM_PellonV2(benchmark::State &s) {
  run(s, pellon_operation_v2, {enc::make_slot({}, enc::encode_pellon_v2(luma_frame(panel(), false)))});
}
void BM_Kv(benchmark::State &s) {
  const DecoderConfig c = panel();
  run(s, kv_operation, {enc::make_slot({}, enc::encode_kv(luma_frame(c, false), c.node_count, c.snode_count))});
}
void BM_Ferrant(benchmark::State &s) { run(s, ferrant_operation, {ferrant_v1_slot(panel(), 1), ferrant_v1_slot(panel(), 2)}); }
void BM_FerrantV2(benchmark::State &s) { run(s, ferrant_operation_v2, {ferrant_v2_slot(panel())}); }
void BM_Zet50210(benchmark::State &s) {
  enc::Zet50210Frame f;
  f.frame_type = 1;
  f.mutual = values(static_cast<size_t>(panel().node_count));
  run(s, zet50210_operation_v2, {enc::make_slot({}, enc::encode_zet50210(f))});
}

}  // namespace

BENCHMARK(BM_Luma);
BENCHMARK(BM_LumaV2);
BENCHMARK(BM_Pellon);
BENCHMARK(BM_PellonV2);
BENCHMARK(BM_Kv);
BENCHMARK(BM_Ferrant);
BENCHMARK(BM_FerrantV2);
BENCHMARK(BM_Zet50210);

BENCHMARK_MAIN();
