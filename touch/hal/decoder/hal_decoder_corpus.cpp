// Writes the seed corpora of the decoder fuzz entry points (fuzz/corpus/hal_decode_*):
// driver slots built by the simulated controller's encoders for the fuzz panel, valid ones
// and broken ones (bad checks, cut frames, lengths and counts that lie).
//   hal_decoder_corpus OUTPUT_DIR
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "fuzz_decode_common.h"
#include "tamrel_touch/frame_encoders.h"

namespace enc = tamrel_touch::encode;

namespace {

std::filesystem::path g_out;

// A seed that cannot be written ends the program with the reason and exit status 1.
void write_seed(const std::string &family, const std::string &name, const enc::Bytes &bytes) {
  const std::filesystem::path dir = g_out / ("hal_decode_" + family);
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) {
    fprintf(stderr, "hal_decoder_corpus: cannot make %s: %s\n", dir.c_str(), ec.message().c_str());
    exit(1);
  }
  std::ofstream out(dir / name, std::ios::binary);
  out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    fprintf(stderr, "hal_decoder_corpus: cannot write %s\n", (dir / name).c_str());
    exit(1);
  }
}

std::vector<int16_t> values(size_t n, int base) {
  std::vector<int16_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<int16_t>(base + 37 * static_cast<int>(i));
  return v;
}

enc::SlotHeader header(uint64_t count) {
  enc::SlotHeader h;
  h.time_ns = 1000000ull * count;
  h.frame_count = count;
  return h;
}

enc::Bytes cut(enc::Bytes b, size_t drop) {
  b.resize(b.size() > drop ? b.size() - drop : 0);
  return b;
}

enc::Bytes flip(enc::Bytes b, size_t at) {
  if (at < b.size()) b[at] ^= 0x5A;
  return b;
}

enc::LumaLayoutFrame luma_frame(const DecoderConfig &c) {
  enc::LumaLayoutFrame f;
  f.frame_index = 17;
  f.state = {0, 0, 1, 2, 4, 2};
  f.columns = c.columns;
  f.rows = c.rows;
  f.frame_type = 4;
  f.mutual = values(static_cast<size_t>(c.node_count), -100);
  f.self1 = values(static_cast<size_t>(c.snode_count), 200);
  f.self2 = values(static_cast<size_t>(c.snode_count), 300);
  f.reserved_block = {1, 2, 3};
  f.text = "seed";
  f.extra1 = values(static_cast<size_t>(c.nnode_count), 5);
  f.extra2 = values(static_cast<size_t>(c.snode_count), 6);
  return f;
}

void luma_seeds(const DecoderConfig &c) {
  enc::LumaLayoutFrame f = luma_frame(c);
  const enc::Bytes v1 = enc::make_slot(header(1), enc::encode_luma_v1(f));
  write_seed("luma", "v1_valid", v1);
  write_seed("luma", "v1_bad_crc", flip(v1, 24 + 70));
  write_seed("luma", "v1_cut", cut(v1, 9));
  enc::LumaLayoutFrame long_text = f;
  long_text.text = std::string(150, 't');
  long_text.text_length = 150;
  write_seed("luma", "v1_long_text", enc::make_slot(header(2), enc::encode_luma_v1(long_text)));
  const enc::Bytes v2 = enc::make_slot(header(3), enc::encode_luma_v2(f, enc::LumaCheck::kCrc));
  write_seed("luma", "v2_valid_crc", v2);
  enc::LumaLayoutFrame dump = f;
  dump.dump_type = 1;
  dump.dump_mutual = values(static_cast<size_t>(c.node_count), 9);
  dump.dump_self1 = values(static_cast<size_t>(c.snode_count), 10);
  dump.dump_self2 = values(static_cast<size_t>(c.snode_count), 11);
  dump.dump_block = enc::Bytes(static_cast<size_t>(luma_get_reserved_data_size(c.node_count, c.snode_count)), 0x77);
  write_seed("luma", "v2_valid_bcc_dump", enc::make_slot(header(4), enc::encode_luma_v2(dump, enc::LumaCheck::kBlockCheck)));
  write_seed("luma", "v2_bad_inverse", flip(v2, 24 + 13));
  enc::Bytes huge = v2;
  huge[24 + 44] = 0xFF;
  huge[24 + 45] = 0xF0;
  write_seed("luma", "v2_length_lies", huge);
  write_seed("luma", "v2_cut", cut(v2, 40));
}

void pellon_seeds(const DecoderConfig &c) {
  enc::LumaLayoutFrame f = luma_frame(c);
  f.self2.clear();
  const enc::Bytes v1 = enc::make_slot(header(1), enc::encode_pellon_v1(f));
  write_seed("pellon", "v1_valid", v1);
  write_seed("pellon", "v1_bad_sum", flip(v1, 24 + 4));
  const enc::Bytes v2 = enc::make_slot(header(2), enc::encode_pellon_v2(f));
  write_seed("pellon", "v2_valid", v2);
  write_seed("pellon", "v2_cut", cut(v2, 12));
  enc::Bytes reserved_lies = v2;
  reserved_lies[24 + 59] = 0xFF;  // reserved block length beyond the frame (check now off too)
  write_seed("pellon", "v2_reserved_lies", reserved_lies);
}

void kv_seeds(const DecoderConfig &c) {
  enc::LumaLayoutFrame f = luma_frame(c);
  f.state[5] = 25;
  const enc::Bytes kv = enc::make_slot(header(1), enc::encode_kv(f, c.node_count, c.snode_count));
  write_seed("kv", "valid_400hz", kv);
  f.state[5] = 4;
  write_seed("kv", "valid_60hz", enc::make_slot(header(2), enc::encode_kv(f, c.node_count, c.snode_count)));
  write_seed("kv", "bad_crc", flip(kv, 24 + 80));
  write_seed("kv", "cut", cut(kv, 30));
}

enc::FerrantV1Frame ferrant_v1(const DecoderConfig &c, uint16_t head) {
  enc::FerrantV1Frame f;
  f.head_index = head;
  f.report_rate_hz = 240;
  f.status = 2;
  f.normalize_scan_count = 1;
  f.tx_freq = 3000;
  f.freq_number = 1;
  f.kind = 4;
  f.mutual = values(static_cast<size_t>(c.node_count), 40);
  f.self = values(static_cast<size_t>(c.snode_count), 50);
  f.extra = values(static_cast<size_t>(c.nnode_count), 60);
  f.tail_index = head;
  return f;
}

void ferrant_seeds(const DecoderConfig &c) {
  const enc::Bytes v1 = enc::make_slot(header(1), enc::encode_ferrant_v1(ferrant_v1(c, 10)));
  write_seed("ferrant", "v1_valid", v1);
  enc::FerrantV1Frame base = ferrant_v1(c, 11);
  base.kind = 7;
  write_seed("ferrant", "v1_base_data", enc::make_slot(header(2), enc::encode_ferrant_v1(base)));
  enc::Bytes body_off = v1;
  body_off[body_off.size() - 4] += 1;
  write_seed("ferrant", "v1_body_sum_off", body_off);
  enc::Bytes dump = enc::make_slot(header(3), enc::encode_ferrant_v1(ferrant_v1(c, 12)), 2800);
  dump[2524] = 1;
  write_seed("ferrant", "v1_dump_area", dump);

  const std::array<uint8_t, 6> sat = {1, 2, 3, 4, 5, 6};
  const std::array<uint8_t, 16> block{};
  enc::FerrantV2Frame f;
  f.head_index = 5;
  f.packets = {enc::ferrant_status_packet(1, 2, 3, 480, 2, 4),
               enc::ferrant_mutual_packet(10, 1000, 1, 0, 0, values(12, 1), sat, block),
               enc::ferrant_self_packet(values(7, 2), sat),
               enc::ferrant_extra_packet(block, values(8, 3), sat),
               enc::ferrant_base_packet(values(12, 4), 2000, 5, 6),
               enc::ferrant_sums_packet(7, {{1, 2}, {3, 4}})};
  const enc::Bytes v2 = enc::make_slot(header(4), enc::encode_ferrant_v2(f));
  write_seed("ferrant", "v2_all_packets", v2);
  write_seed("ferrant", "v2_no_packets", enc::make_slot(header(5), enc::encode_ferrant_v2(enc::FerrantV2Frame{})));
  enc::FerrantV2Frame unknown;
  unknown.packets = {enc::FerrantPacket{7, {1, 2, 3, 4}, std::nullopt}, enc::ferrant_self_packet(values(7, 2), sat)};
  write_seed("ferrant", "v2_unknown_type", enc::make_slot(header(6), enc::encode_ferrant_v2(unknown)));
  enc::FerrantV2Frame lies = f;
  lies.packet_count = 200;
  lies.packets[1].size_override = 4000;
  write_seed("ferrant", "v2_count_and_size_lie", enc::make_slot(header(7), enc::encode_ferrant_v2(lies)));
  write_seed("ferrant", "v2_head_sum_off", flip(v2, 24 + 6));
}

enc::Zet50210Frame zet_stylus(uint8_t quarter) {
  enc::Zet50210Frame f;
  f.frame_type = 29;
  f.stylus_header[11] = quarter;
  f.stylus[0] = values(6, 1);
  f.stylus[1] = values(4, 2);
  f.stylus[2] = values(6, 3);
  f.stylus[3] = values(4, 4);
  f.quarter = values(3, quarter);
  return f;
}

void zet_seeds(const DecoderConfig &c) {
  enc::Zet50210Frame normal;
  normal.header[24] = 4;
  normal.frame_type = 1;
  normal.mutual = values(static_cast<size_t>(c.node_count), 8);
  const enc::Bytes n = enc::make_slot(header(1), enc::encode_zet50210(normal));
  write_seed("zet50210", "normal", n);
  normal.skip_check = true;
  normal.corrupt_check = true;
  write_seed("zet50210", "skip_check", enc::make_slot(header(2), enc::encode_zet50210(normal)));
  for (uint8_t q = 1; q <= 4; ++q)
    write_seed("zet50210", "stylus_q" + std::to_string(q), enc::make_slot(header(2 + q), enc::encode_zet50210(zet_stylus(q))));
  write_seed("zet50210", "stylus_q9", enc::make_slot(header(7), enc::encode_zet50210(zet_stylus(9))));
  write_seed("zet50210", "bad_check", flip(n, 24 + 4));
  enc::Bytes words = n;
  words[24 + 11] = 0x7F;  // word count far beyond the frame
  write_seed("zet50210", "word_count_lies", words);
  write_seed("zet50210", "stylus_cut", cut(enc::make_slot(header(8), enc::encode_zet50210(zet_stylus(1))), 20));
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 2 || argv[1][0] == '-') {
    const bool help = argc == 2 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0);
    fprintf(help ? stdout : stderr, "usage: %s OUTPUT_DIR\nwrites the hal_decode_<family> seed corpora into OUTPUT_DIR\n",
            argv[0]);
    return help ? 0 : 2;
  }
  g_out = argv[1];
  const DecoderConfig c = decoder_fuzz::fuzz_config();
  luma_seeds(c);
  pellon_seeds(c);
  kv_seeds(c);
  ferrant_seeds(c);
  zet_seeds(c);
  return 0;
}
