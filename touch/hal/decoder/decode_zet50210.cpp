// The zet50210 family: a 64-byte header followed by the mutual matrix or, in a stylus
// frame, the stylus arrays and one quarter of the mutual matrix.
#include <algorithm>

#include "decoder_internal.h"

namespace hal_decoder {
namespace {

constexpr uint32_t kHeaderSize = 64;
constexpr uint32_t kCheckedFrom = 20;
constexpr uint8_t kNoCheckMarker = 0xFF;
constexpr uint32_t kStylusHeader = 36;
constexpr uint32_t kStylusTrailer = 20;
constexpr uint32_t kQuarterByte = 11;  // of the stylus header (record 276)
constexpr uint32_t kQuarterTotal = 1 + 2 + 3 + 4;

struct TableState {
  BufferPlan plan;
  DecoderConfig config{};
  int32_t failures = 0;
  uint32_t quarter_total = 0;  // quarter numbers seen since the last quarter 4
};
TableState g_zet;

bool zet_check(const uint8_t *frame, uint32_t frame_size) {
  if (frame[0] == kNoCheckMarker) return true;
  const int32_t word_count = static_cast<int32_t>(le32(frame + 8));
  uint64_t halfwords = 0;
  if (word_count > 0) {
    halfwords = 2ull * static_cast<uint32_t>(word_count);
    if (halfwords > (frame_size - kCheckedFrom) / 2) {
      log_refusal("zet50210_decode_frame_data_core", "checked words beyond the frame",
                  static_cast<long long>(halfwords), (frame_size - kCheckedFrom) / 2);
      return false;
    }
  }
  return zet50210_check_value(frame, halfwords) == static_cast<uint16_t>(le32(frame + 4));
}

size_t stylus_bytes(uint8_t columns, uint8_t rows) { return static_cast<size_t>(columns) * rows * 2; }

bool decode_stylus(DecodedFrame *record, Reader &in, const PanelGeometry *geometry, size_t mutual_bytes) {
  const uint8_t *header = in.take(kStylusHeader);
  if (header == nullptr) return false;
  const size_t a1 = stylus_bytes(geometry->stylus_col1, geometry->stylus_row1);
  const size_t a2 = stylus_bytes(geometry->stylus_col2, geometry->stylus_row2);
  const size_t mutual = static_cast<size_t>(geometry->node_count);
  const size_t quarter = mutual / 4;
  if (!copy_to_buffer(in, record, kStylus0, a1) || !copy_to_buffer(in, record, kStylus1, a2) ||
      !copy_to_buffer(in, record, kStylus2, a1) || !copy_to_buffer(in, record, kStylus3, a2))
    return false;
  const uint8_t *trailer = in.take(kStylusTrailer);
  const uint8_t *values = in.take(quarter * 2);
  if (!in.ok()) return false;

  memcpy(record->stylus_header, header, kStylusHeader);
  memcpy(record->stylus_trailer, trailer, kStylusTrailer);
  record->stylus_frame = 1;
  record->stylus_frame2 = 1;
  const uint8_t q = header[kQuarterByte];
  if (q < 1 || q > 4) {
    // The quarter places data inside the mutual matrix: any other number would land outside.
    log_refusal("zet50210_decode_frame_data_core", "quarter number outside 1..4", q, 4);
    return true;
  }
  if (record->mutual != nullptr && mutual_bytes <= buffer_capacity(kMutual) && quarter > 0) {
    const size_t start = mutual == 0 ? 0 : ((q - 1) * quarter) % mutual;
    memcpy(reinterpret_cast<uint8_t *>(record->mutual) + start * 2, values, quarter * 2);
  }
  g_zet.quarter_total += q;
  if (q == 4) {
    if (g_zet.quarter_total == kQuarterTotal) record->stylus_matrix_complete = 1;
    g_zet.quarter_total = 0;
  }
  return true;
}

int32_t zet_init(DecodedFrame *first, const DecoderConfig *config, int32_t count) {
  if (count < 1) return 0;
  if (first == nullptr || !config_sane(config)) return -1;
  BufferPlan plan;
  plan.add_matrices(config);
  if (config->stylus_en == 1) {
    plan.add(kStylus0, stylus_bytes(config->stylus_col1, config->stylus_row1));
    plan.add(kStylus1, stylus_bytes(config->stylus_col2, config->stylus_row2));
    plan.add(kStylus2, stylus_bytes(config->stylus_col1, config->stylus_row1));
    plan.add(kStylus3, stylus_bytes(config->stylus_col2, config->stylus_row2));
  }
  g_zet.plan = plan;
  g_zet.config = *config;
  for (int32_t i = 0; i < count; ++i) first[i].dump_block_size = 0;
  return init_buffers(first, count, g_zet.plan, nullptr);
}

void zet_release(DecodedFrame *first, int32_t count) { release_buffers(first, count, g_zet.plan, nullptr); }

}  // namespace

uint16_t zet50210_check_value(const uint8_t *frame, uint64_t halfwords) {
  uint32_t sum = 0;
  for (uint64_t i = 0; i < halfwords; ++i) sum += le16(frame + kCheckedFrom + 2 * i);
  return static_cast<uint16_t>(0u - sum);
}

}  // namespace hal_decoder

using namespace hal_decoder;

extern "C" bool zet50210_decode_frame_data_core(DecodedFrame *record, const uint8_t *frame, uint32_t frame_size,
                                                const PanelGeometry *geometry) {
  GeometryBytes sizes{};
  if (record == nullptr || frame == nullptr || !geometry_bytes(geometry, &sizes)) return false;
  if (frame_size < kHeaderSize || !zet_check(frame, frame_size)) return false;
  record->stylus_frame = 0;
  record->stylus_frame2 = 0;
  // The flag describes this frame: a recycled ring record must not keep an old "complete".
  record->stylus_matrix_complete = 0;
  memcpy(record_bytes(record) + offsetof(DecodedFrame, valid_mark), frame, kHeaderSize);
  // The header's bytes at the record's rows and columns are not this controller's geometry.
  if (!stamp_geometry(record, geometry)) return false;
  Reader in(frame, frame_size, kHeaderSize);
  bool ok;
  if (record->frame_type != DECODED_FRAME_TYPE_STYLUS)
    ok = copy_to_buffer(in, record, kMutual, sizes.mutual);
  else
    ok = decode_stylus(record, in, geometry, sizes.mutual);
  if (!ok) {
    log_refusal("zet50210_decode_frame_data_core", "frame body beyond the frame or its buffers",
                static_cast<long long>(frame_size), static_cast<long long>(in.pos()));
    return false;
  }
  return true;
}

namespace {

bool zet_decode(DecodedFrame *record, const uint8_t *slot, uint32_t slot_size, PanelGeometry *geometry) {
  return decode_v2(zet50210_decode_frame_data_core, record, slot, slot_size, geometry, -1, -1, 0, &g_zet.failures);
}

}  // namespace

extern "C" {
const device_operation zet50210_operation_v2 = {zet_init, zet_release, zet_decode};
}
