// The Ferrant family: a 16-byte header with its own byte sum, a body closed by a 32-bit
// sum of its 16-bit words. The first generation has a fixed body layout and optional
// raw-data normalisation; the second carries its data as a list of typed packets.
#include <algorithm>
#include <bitset>

#include "decoder_internal.h"
#include "ferrant_normalize.h"

namespace hal_decoder {

uint16_t ferrant_header_sum(const uint8_t *frame) {
  uint16_t sum = 0;
  for (int i = 0; i < 14; ++i) sum = static_cast<uint16_t>(sum + frame[i]);
  return sum;
}

uint32_t ferrant_body_sum(const uint8_t *frame, uint32_t length) {
  uint32_t sum = 0;
  for (uint32_t i = 0; i + 4 < length; i += 2) sum += le16(frame + i);
  return sum;
}

namespace {

constexpr uint32_t kHeaderSize = 16;
constexpr uint32_t kSumSize = 4;
constexpr uint32_t kV2DumpBlock = 2500;
constexpr uint32_t kV1DumpHead = 178;  // also the offset of the mutual matrix in a frame
constexpr uint32_t kV1Block16 = 16;
constexpr uint32_t kV1Block38 = 38;
constexpr uint32_t kV1Trailer = 12;
constexpr uint32_t kV1DumpExtraBytes = kV1DumpHead + kV1Block16 + kV1Block38 + kV1Trailer;  // 244
constexpr uint32_t kV1SlotDumpType = 2524;
constexpr uint32_t kV1SlotDumpHead = 2528;
constexpr uint32_t kV1SlotDumpMutual = 2706;
static_assert(kV1SlotDumpHead == kV1SlotDumpType + 4 && kV1SlotDumpMutual == kV1SlotDumpHead + kV1DumpHead,
              "the dump area is read in one pass: type, head, mutual matrix");
constexpr uint8_t kBaseDataType = DECODED_FRAME_TYPE_KB_CHECK;  // 17
constexpr size_t kMaxScanFreqValues = 8;  // 16 bytes at record 175, from 16 bytes of the 38-byte block

struct TableState {
  BufferPlan plan;
  Staging staging;
  DecoderConfig config{};
  int32_t failures = 0;
};

TableState g_v1, g_v2;
int32_t g_core_failures = 0;

// First-generation state kept across frames: the identity of the last accepted frame
// (compared with the new one, never with a recycled ring record) and the normalisation
// bookkeeping.
struct V1History {
  bool have_last = false;
  uint16_t last_head_index = 0;
  uint8_t last_freq_number = 0;
  int16_t last_scan_count = 0;
  uint8_t last_frame_type = 0;
  uint16_t last_tx_freq = 0;
  std::bitset<256> received_freqs;
};
V1History g_history;

enum Staged { kStageMutual, kStageSelf, kStageExtra, kStageDumpMutual, kStageDumpSelf1, kStageDumpSelf2, kStageDumpBlock };

// ---- checks ---------------------------------------------------------------------------------

enum class Check { kOk, kShort, kHeader, kBody };

// The checks both generations share; `length` is the frame's own, checked against the
// readable bytes before use.
Check common_check(const uint8_t *frame, uint32_t frame_size, uint32_t *length) {
  if (frame_size < kHeaderSize) return Check::kShort;
  if (ferrant_header_sum(frame) != le16(frame + 14)) return Check::kHeader;
  *length = le16(frame + 3);
  if (*length < kSumSize) return Check::kBody;
  if (*length > frame_size) {
    log_refusal("decode_frame_data_crc_check_core", "frame length beyond the slot", *length, frame_size);
    return Check::kShort;
  }
  return ferrant_body_sum(frame, *length) == le32(frame + *length - kSumSize) ? Check::kOk : Check::kBody;
}

// ---- second generation ----------------------------------------------------------------------

uint8_t v2_rate_code(uint16_t hz) {
  if (hz >= 116 && hz <= 124) return 0;
  if (hz >= 176 && hz <= 184) return 1;
  if (hz >= 236 && hz <= 244) return 2;
  if (hz >= 356 && hz <= 364) return 3;
  if (hz >= 476 && hz <= 484) return 4;
  return 0;
}

uint16_t khz(uint16_t code) { return static_cast<uint16_t>(code * 61u / 1000u); }

struct PacketSizes {
  size_t matrix;  // m
  size_t extra;   // x
  size_t e;
  size_t line;    // (columns + rows) * 2
};

bool need(uint32_t have, size_t want, uint16_t type) {
  if (have >= want) return true;
  log_refusal("ferrant_decode_frame_data_core", "packet shorter than its contents", type,
              static_cast<long long>(want));
  return false;
}

void decode_packet(DecodedFrame *record, uint16_t type, const uint8_t *data, uint32_t size, const PacketSizes &k) {
  uint8_t *bytes = record_bytes(record);
  switch (type) {
    case 0:
    case 2:
    case 40:
      return;
    case 1:
      if (!need(size, 19, type)) return;
      record->ic_frame_count = le16(data);
      record->report_rate_codes = v2_rate_code(le16(data + 4));
      record->frame_flags = data[2];
      record->state_byte83 = data[3];
      record->kb_reset_request = (data[6] >> 7) & 1;
      if (data[6] & 0x01)
        record->state_code = 2;
      else if (data[6] & 0x02)
        record->state_code = 4;
      record->ic_time_ms = le16(data + 17);
      return;
    case 10:
    case 11:
      if (record->mutual == nullptr || !need(size, 8 + k.matrix + 22, type)) return;
      if (k.matrix > buffer_capacity(kMutual)) {
        log_refusal("ferrant_decode_frame_data_core", "mutual packet larger than its buffer",
                    static_cast<long long>(k.matrix), static_cast<long long>(buffer_capacity(kMutual)));
        return;
      }
      record->frame_type = DECODED_FRAME_TYPE_NORMAL;
      record->scan_freq = khz(le16(data + 2));
      record->scan_freq_index = data[4];
      record->state_byte81 = data[6];
      record->normalize_byte = data[7];
      memcpy(record->mutual, data + 8, k.matrix);
      memcpy(bytes + offsetof(DecodedFrame, tail.sat.mutual_adc_sat), data + 8 + k.matrix, 6);
      memcpy(record->extra_block, data + 8 + k.matrix + 6, sizeof record->extra_block);
      return;
    case 20:
      if (record->self1 == nullptr || !need(size, 10 + k.line + 6, type)) return;
      if (k.line > buffer_capacity(kSelf1)) {
        log_refusal("ferrant_decode_frame_data_core", "self packet larger than its buffer",
                    static_cast<long long>(k.line), static_cast<long long>(buffer_capacity(kSelf1)));
        return;
      }
      memcpy(record->self1, data + 10, k.line);
      memcpy(bytes + offsetof(DecodedFrame, tail.sat.self_adc_sat), data + 10 + k.line, 6);
      return;
    case 30: {
      if (record->extra1 == nullptr || !need(size, 32 + k.extra + 6, type)) return;
      // The extra area spans max(columns, rows) lines: with more rows than columns it is
      // larger than the configured extra nodes. Keep what the buffer holds.
      size_t kept = std::min({k.extra, buffer_capacity(kExtra1), static_cast<size_t>(INT16_MAX) & ~size_t{1}});
      if (kept < k.extra)
        log_refusal("ferrant_decode_frame_data_core", "extra packet larger than its buffer",
                    static_cast<long long>(k.extra), static_cast<long long>(kept));
      record->extra1_len = static_cast<int16_t>(kept);
      memcpy(record->tail.sat.noise_block, data + 16, sizeof record->tail.sat.noise_block);
      memcpy(record->extra1, data + 32, kept);
      memcpy(bytes + offsetof(DecodedFrame, tail.sat.im_adc_sat), data + 32 + k.extra, 6);
      return;
    }
    case 50:
      if (record->norm_data == nullptr || !need(size, k.matrix + 14, type)) return;
      if (k.matrix > buffer_capacity(kNorm) || k.matrix > INT16_MAX) {
        log_refusal("ferrant_decode_frame_data_core", "base packet larger than its buffer",
                    static_cast<long long>(k.matrix), static_cast<long long>(buffer_capacity(kNorm)));
        return;
      }
      record->frame_type = kBaseDataType;
      record->norm_len = static_cast<int16_t>(k.matrix);
      memcpy(record->norm_data, data, k.matrix);
      record->scan_freq = khz(le16(data + k.matrix + 2));
      record->kdata_check = static_cast<int32_t>(le32(data + k.matrix + 8));
      record->kdata_check_word = le16(data + k.matrix + 12);
      return;
    case 51: {
      if (!need(size, 2 + 4 * k.e, type)) return;
      record->kdata_check_word = le16(data);
      uint32_t sum = 0;
      for (size_t j = 0; j < k.e; ++j) sum += static_cast<uint32_t>(le16(data + 2 + 4 * j)) + le16(data + 4 + 4 * j);
      record->kdata_check = static_cast<int32_t>(sum);
      return;
    }
    default:
      log(kLogError, "ferrant_decode_frame_data_core", "%s: not support pack type:%d\n", static_cast<int>(type));
      return;
  }
}

void log_header_failure(const uint8_t *frame, const char *function) {
  char hex[16 * 2 + 1];
  for (int i = 0; i < 16; ++i) snprintf(hex + 2 * i, 3, "%02x", frame[i]);
  log(kLogError, function, "%s: frame head checksum error:%s", hex);
}

}  // namespace
}  // namespace hal_decoder

using namespace hal_decoder;

extern "C" bool ferrant_decode_frame_data_core(DecodedFrame *record, const uint8_t *frame, uint32_t frame_size,
                                               const PanelGeometry *geometry) {
  static const char kCheckFn[] = "decode_frame_data_crc_check_core";
  GeometryBytes sizes{};
  if (record == nullptr || frame == nullptr || !geometry_bytes(geometry, &sizes)) return false;
  uint32_t length = 0;
  switch (common_check(frame, frame_size, &length)) {
    case Check::kOk:
      break;
    case Check::kHeader:
      log_header_failure(frame, kCheckFn);
      ++g_core_failures;
      return false;
    case Check::kBody: {
      const uint8_t *sum = length >= kSumSize ? frame + length - kSumSize : frame;
      log(kLogError, kCheckFn, "%s: frame body checksum error, %x %x %x %x\n", sum[0], sum[1], sum[2], sum[3]);
      ++g_core_failures;
      return false;
    }
    case Check::kShort:
      ++g_core_failures;
      return false;
  }

  record->valid_mark = DECODED_FRAME_VALID_MARK;
  record->frame_index = le16(frame + 1);
  record->check_value = static_cast<uint32_t>(g_core_failures);
  record->frame_length = static_cast<uint16_t>(length);
  record->status_word = le16(frame + 5);
  record->frame_type = DECODED_FRAME_TYPE_NONE;
  record->state_byte81 = 0;
  record->state_byte82 = 0;
  record->dropped_frames = 0;
  record->state_code = 0;
  record->norm_len = 0;
  record->kdata_check = 0;
  record->kdata_check_word = 0;
  if (!stamp_geometry(record, geometry)) return false;

  const size_t columns = geometry->columns;
  const size_t rows = geometry->rows;
  PacketSizes k{};
  k.e = columns == 0 ? 0 : static_cast<size_t>(geometry->nnode_count) / columns;
  k.matrix = columns * rows * 2;
  k.extra = std::max(columns, rows) * k.e * 2;
  k.line = (columns + rows) * 2;

  const uint8_t packets = frame[10];
  const uint32_t body_end = length - kSumSize;
  uint32_t pos = kHeaderSize;
  for (uint8_t p = 0; p < packets; ++p) {
    if (pos + 4 > body_end) {
      log_refusal("ferrant_decode_frame_data_core", "packet count beyond the frame", packets, p);
      break;
    }
    const uint16_t size = le16(frame + pos);
    const uint16_t type = le16(frame + pos + 2);
    if (size < 4 || size > body_end - pos) {
      log_refusal("ferrant_decode_frame_data_core", "packet size outside the frame", size, body_end - pos);
      break;
    }
    decode_packet(record, type, frame + pos + 4, size - 4u, k);
    pos += size;
  }
  return true;
}

namespace {

// ---- init / release ---------------------------------------------------------------------------

void deliver_normalize_table(int32_t *table, uint32_t size_bytes) {
  const HalHostCallbacks *host = get_hal_module_callback();
  if (host != nullptr && host->normalize_table != nullptr) host->normalize_table(table, size_bytes);
}

bool host_takes_normalize_table() {
  const HalHostCallbacks *host = get_hal_module_callback();
  return host != nullptr && host->normalize_table != nullptr;
}

void reset_record_sizes(DecodedFrame *first, int32_t count, int32_t dump_block_size) {
  for (int32_t i = 0; i < count; ++i) {
    first[i].reserved_block_len = 0;
    first[i].dump_block_size = first[i].dump_block != nullptr ? dump_block_size : 0;
  }
}

int32_t ferrant_init(DecodedFrame *first, const DecoderConfig *config, int32_t count) {
  if (count < 1) return 0;
  if (first == nullptr || !config_sane(config)) return -1;
  const size_t mutual = static_cast<size_t>(config->node_count) * 2;
  const size_t self = static_cast<size_t>(config->snode_count) * 2;
  const size_t extra = static_cast<size_t>(config->nnode_count) * 2;
  const size_t dump_block = extra + kV1DumpExtraBytes;
  BufferPlan plan;
  plan.add_staging(mutual);
  plan.add_staging(self);
  plan.add_staging(extra);
  if (config->save_tic_dump) {
    plan.add_staging(mutual);
    plan.add_staging(self);
    plan.add_staging(self);
    plan.add_staging(dump_block);
  }
  plan.add_matrices(config);
  if (config->kb_raw_normalize) plan.add(kNorm, mutual * std::max<uint8_t>(config->scan_freq_num, 1));
  if (config->save_tic_dump) {
    plan.add(kDumpMutual, mutual);
    plan.add(kDumpSelf1, self);
    plan.add(kDumpSelf2, self);
    plan.add(kDumpBlock, dump_block);
  }
  g_v1.plan = plan;
  g_v1.config = *config;
  g_history = V1History{};
  int32_t result = init_buffers(first, count, g_v1.plan, &g_v1.staging);
  if (result != 0) return result;
  reset_record_sizes(first, count, static_cast<int32_t>(dump_block));
  if (config->kb_raw_normalize && host_takes_normalize_table())
    load_normalize_table(config->scan_freq_num, config->columns, config->rows, deliver_normalize_table);
  return 0;
}

int32_t ferrant_v2_init(DecodedFrame *first, const DecoderConfig *config, int32_t count) {
  if (count < 1) return 0;
  if (first == nullptr || !config_sane(config)) return -1;
  const size_t mutual = static_cast<size_t>(config->node_count) * 2;
  const size_t self = static_cast<size_t>(config->snode_count) * 2;
  BufferPlan plan;
  plan.add_matrices(config);
  plan.add(kExtra1, static_cast<size_t>(config->nnode_count) * 2);
  plan.add(kReserved, DECODER_RESERVED_BLOCK_SIZE);
  if (config->kb_raw_normalize) plan.add(kNorm, mutual);
  if (config->save_tic_dump) {
    plan.add(kDumpMutual, mutual);
    plan.add(kDumpSelf1, self);
    plan.add(kDumpSelf2, self);
    plan.add(kDumpBlock, kV2DumpBlock);
  }
  g_v2.plan = plan;
  g_v2.config = *config;
  int32_t result = init_buffers(first, count, g_v2.plan, nullptr);
  if (result != 0) return result;
  reset_record_sizes(first, count, static_cast<int32_t>(kV2DumpBlock));
  for (int32_t i = 0; i < count; ++i) first[i].debug_text = first[i].text_area;
  return 0;
}

void ferrant_release(DecodedFrame *first, int32_t count) { release_buffers(first, count, g_v1.plan, &g_v1.staging); }

void ferrant_v2_release(DecodedFrame *first, int32_t count) {
  if (first == nullptr) return;
  release_buffers(first, count, g_v2.plan, nullptr);
  for (int32_t i = 0; i < count; ++i) first[i].debug_text = nullptr;
}

// ---- second-generation wrapper --------------------------------------------------------------

// The dump switch also selects the byte-order conversion of this family.
bool ferrant_v2_decode(DecodedFrame *record, const uint8_t *slot, uint32_t slot_size, PanelGeometry *geometry) {
  return decode_v2(ferrant_decode_frame_data_core, record, slot, slot_size, geometry, g_v2.config.save_tic_dump,
                   g_v2.config.save_tic_dump, 4, &g_v2.failures);
}

// ---- first generation ---------------------------------------------------------------------------

uint8_t v1_rate_code(uint16_t hz) {
  switch (hz) {
    case 60: return 4;
    case 180: return 1;
    case 240: return 2;
    case 360: return 3;
    case 480: return 5;
    default: return 0;
  }
}

uint8_t v1_frame_type(uint8_t kind) {
  switch (kind) {
    case 2: return 0;
    case 3: return 14;
    case 7: return kBaseDataType;
    default: return 3;
  }
}

bool v1_check(const uint8_t *frame, uint32_t frame_size, uint32_t *length) {
  static const char kFn[] = "thp_crc_check";
  const Check result = common_check(frame, frame_size, length);
  if (result == Check::kOk) return true;
  if (result == Check::kHeader) {
    log(kLogError, kFn, "%s: frame head checksum error\n");
    char line[256];
    size_t used = 0;
    for (int i = 0; i < 16 && used + 4 < sizeof line; ++i)
      used += static_cast<size_t>(snprintf(line + used, sizeof line - used, "%02x ", frame[i]));
    log(kLogInfo, "hal_log_array", "%s: %s", line);
    log(kLogError, kFn, "%s: frame_index_head=[%05d], frame_index_tail=[%05d]\n", le16(frame + 1), 0);
  } else if (result == Check::kBody) {
    const uint16_t tail = *length >= 6 ? le16(frame + *length - 6) : 0;
    log(kLogError, kFn, "%s: frame_head_ptr->cur_frame_len=%d", static_cast<int>(*length));
    log(kLogError, kFn, "%s: frame body checksum error\n");
    log(kLogError, kFn, "%s: frame_index_head=[%05d], frame_index_tail=[%05d]\n", le16(frame + 1), tail);
  }
  return false;
}

struct V1Body {
  const uint8_t *mutual;
  const uint8_t *block16;
  const uint8_t *self;
  const uint8_t *block38;
  const uint8_t *extra;
  const uint8_t *trailer;
};

// The fixed body layout, every part inside the frame's checked length.
bool v1_body(const uint8_t *frame, uint32_t length, const GeometryBytes &sizes, V1Body *body) {
  Reader in(frame, length, kV1DumpHead);
  body->mutual = in.take(sizes.mutual);
  body->block16 = in.take(kV1Block16);
  body->self = in.take(sizes.self);
  body->block38 = in.take(kV1Block38);
  body->extra = in.take(sizes.extra);
  body->trailer = in.take(kV1Trailer);
  return in.ok();
}

// Reads the dump type and, when it is positive, builds the dump stores from the slot's
// dump area; false when the slot cannot hold what the dump type announces.
bool v1_stage_dump(const uint8_t *slot, uint32_t slot_size, uint8_t frame_debug_flag, const V1Body &body,
                   const GeometryBytes &sizes, int32_t *dump_type) {
  Reader in(slot, slot_size, kV1SlotDumpType);
  const uint8_t *type_bytes = in.take(4);
  if (type_bytes == nullptr) return false;
  *dump_type = static_cast<int32_t>(le32(type_bytes));
  log(kLogEntry, "copy_frame_data_from_mmap", "%s: dump_type:%d", *dump_type);
  if (*dump_type <= 0) return true;
  const uint8_t *head = in.take(kV1DumpHead);
  const uint8_t *mutual = in.take(sizes.mutual);
  if (!in.ok()) return false;
  Staging &staging = g_v1.staging;
  uint8_t *block = staging.buffers[kStageDumpBlock];
  if (block != nullptr && staging.sizes[kStageDumpBlock] >= sizes.extra + kV1DumpExtraBytes) {
    // The block: the dump area's head, then the main frame's 16-byte block, 38-byte block,
    // extra array and trailer.
    uint8_t *out = block;
    for (auto [src, n] : {std::pair{head, size_t{kV1DumpHead}}, std::pair{body.block16, size_t{kV1Block16}},
                          std::pair{body.block38, size_t{kV1Block38}}, std::pair{body.extra, sizes.extra},
                          std::pair{body.trailer, size_t{kV1Trailer}}}) {
      memcpy(out, src, n);
      out += n;
    }
  }
  if (!stage_bytes(staging, kStageDumpMutual, mutual, sizes.mutual) ||
      !stage_bytes(staging, kStageDumpSelf1, body.self, sizes.self))
    return false;
  log(kLogEntry, "copy_frame_data_from_mmap", "%s: framedata debug_flag:%d, debugdata debug_flag:%d",
      frame_debug_flag, head[kV1DumpHead - 1]);
  return true;
}

void v1_normalize(DecodedFrame *record, const uint8_t *mutual, size_t mutual_bytes, const DecoderConfig &config) {
  V1History &h = g_history;
  const uint8_t type = record->frame_type;
  const uint8_t freqs = config.scan_freq_num;
  if (type == kBaseDataType) {
    if (h.last_frame_type != kBaseDataType) h.received_freqs.reset();
    log(kLogError, "vendor_get_normalize_B", "%s: framedata is b data");
    const uint8_t freq = record->scan_freq_index;
    const size_t block = static_cast<size_t>(config.columns) * config.rows * 2;
    // The block is columns x rows of the mutual matrix: it must lie inside both the matrix
    // and the store.
    if (freq < freqs && record->norm_data != nullptr && block <= mutual_bytes &&
        (static_cast<size_t>(freq) + 1) * block <= buffer_capacity(kNorm)) {
      memcpy(reinterpret_cast<uint8_t *>(record->norm_data) + freq * block, mutual, block);
    } else {
      log(kLogError, "vendor_get_normalize_B", "%s: b data is error!");
      h.received_freqs.reset();
    }
    h.received_freqs.set(freq);
  } else {
    bool all = freqs > 0;
    for (uint8_t f = 0; f < freqs; ++f) all = all && h.received_freqs.test(f);
    record->normalize_all_freqs = all ? 1 : 0;
  }
}

bool ferrant_decode(DecodedFrame *record, const uint8_t *slot, uint32_t slot_size, PanelGeometry *geometry) {
  static const char kFn[] = "copy_frame_data_from_mmap";
  GeometryBytes sizes{};
  if (record == nullptr || slot == nullptr || !geometry_bytes(geometry, &sizes)) return false;
  if (slot_size < DECODER_SLOT_HEADER_SIZE) return false;
  const uint8_t *frame = slot + DECODER_SLOT_HEADER_SIZE;
  const uint32_t frame_size = slot_size - DECODER_SLOT_HEADER_SIZE;
  uint32_t length = 0;
  if (!v1_check(frame, frame_size, &length)) {
    ++g_v1.failures;
    log(kLogError, kFn, "%s: tp_frame crc error");
    return false;
  }
  V1Body body{};
  if (length < kV1DumpHead || !v1_body(frame, length, sizes, &body)) {
    log_refusal(kFn, "frame shorter than its body layout", length, kV1DumpHead);
    return false;
  }
  const DecoderConfig &config = g_v1.config;
  const bool dump = config.save_tic_dump != 0;
  const uint8_t debug_flag = frame[177];
  int32_t dump_type = 0;
  if (dump) {
    if (debug_flag) {
      log(kLogError, kFn, "%s: Error, mistakenly copied debug_data");
      return false;
    }
    if (!v1_stage_dump(slot, slot_size, debug_flag, body, sizes, &dump_type)) {
      log_refusal(kFn, "dump area beyond the slot", slot_size, kV1SlotDumpMutual);
      return false;
    }
  }
  const uint16_t head_index = le16(frame + 1);
  if (g_history.have_last && head_index == g_history.last_head_index) {
    log(kLogError, kFn, "%s: already get frame, ic_head_cnt: %d", static_cast<int>(head_index));
    return false;
  }
  Staging &staging = g_v1.staging;
  if (!stage_bytes(staging, kStageMutual, body.mutual, sizes.mutual) ||
      !stage_bytes(staging, kStageSelf, body.self, sizes.self) ||
      !stage_bytes(staging, kStageExtra, body.extra, sizes.extra))
    return false;

  if (!stamp_geometry(record, geometry)) return false;
  memcpy(&record->frame_time_ns, slot, 16);
  record->driver_word = le32(slot + 16);
  // Every published record carries the valid mark the consumers test.
  record->valid_mark = DECODED_FRAME_VALID_MARK;
  record->frame_index = head_index;
  record->dropped_frames = 0xFFFF;
  record->ic_frame_count = le16(frame + 148);
  record->ic_time_ms = frame[146];
  record->state_byte83 = 0;
  record->decode_fail_count = g_v1.failures;
  const uint16_t hz = le16(frame + 20);
  record->report_rate_codes = v1_rate_code(hz);
  record->report_rate_hz = hz == 0 ? 120 : hz;
  record->frame_type = v1_frame_type(frame[176]);
  record->high_rate_or_idle = 1;
  memcpy(record->noise_values, body.block38 + 6, sizeof record->noise_values);
  const size_t freq_values = std::clamp<size_t>(config.scan_freq_num, 1, kMaxScanFreqValues);
  memcpy(record->tail.sat.noise_block, body.block38 + 22, freq_values * 2);

  const uint8_t freq_number = frame[174];
  const uint16_t tx_freq = le16(frame + 172);
  if (g_history.have_last && freq_number != g_history.last_freq_number) {
    log(kLogVerbose, "get_scan_freq", "%s: freq shift! last freq no: %d, cur freq no: %d\n",
        static_cast<int>(g_history.last_freq_number), static_cast<int>(freq_number));
    log(kLogVerbose, "get_scan_freq", "%s: last_tx_freq:%d Khz, cur_tx_freq:%d Khz\n",
        static_cast<int>(khz(g_history.last_tx_freq)), static_cast<int>(khz(tx_freq)));
  }
  record->scan_freq = tx_freq;
  record->scan_freq_index = freq_number;

  const uint16_t status = le16(frame + 22);
  record->kb_reset_request = static_cast<uint8_t>(status & 0x80);
  record->normalize_status = (status & 0x80) == 0 ? 1 : 0;
  record->frame_watchdog_wanted = (status & 3) != 1 ? 1 : 0;
  const int16_t scan_count = static_cast<int16_t>(le16(frame + 168));
  const bool scan_count_changed = g_history.have_last && scan_count != g_history.last_scan_count;
  if (scan_count_changed || !g_history.have_last) {
    log(kLogError, "get_fw_status", "%s: fw_normalize_scan_times:%d\n", static_cast<int>(scan_count));
    if (scan_count_changed) g_history.received_freqs.reset();
  }
  record->normalize_scan_count = scan_count;

  const uint8_t *staged_mutual = staging.buffers[kStageMutual] ? staging.buffers[kStageMutual] : body.mutual;
  const uint8_t *staged_self = staging.buffers[kStageSelf] ? staging.buffers[kStageSelf] : body.self;
  if (!store_to_buffer(record, kMutual, staged_mutual, sizes.mutual) ||
      !store_to_buffer(record, kSelf1, staged_self, sizes.self))
    return false;
  if (dump) {
    record->dump_type = dump_type;
    record->dump_word = 0;
    if (dump_type > 0) {
      store_to_buffer(record, kDumpMutual, staging.buffers[kStageDumpMutual], sizes.mutual);
      store_to_buffer(record, kDumpSelf1, staging.buffers[kStageDumpSelf1], sizes.self);
      store_to_buffer(record, kDumpBlock, staging.buffers[kStageDumpBlock], sizes.extra + kV1DumpExtraBytes);
    }
  }
  if (config.kb_raw_normalize) v1_normalize(record, staged_mutual, sizes.mutual, config);

  g_history.have_last = true;
  g_history.last_head_index = head_index;
  g_history.last_freq_number = freq_number;
  g_history.last_scan_count = scan_count;
  g_history.last_frame_type = record->frame_type;
  g_history.last_tx_freq = tx_freq;
  log(kLogVerbose, "decode_frame_data", "%s: frame cnt:%ld", static_cast<long>(record->frame_count));
  return true;
}

}  // namespace

extern "C" {
const device_operation ferrant_operation = {ferrant_init, ferrant_release, ferrant_decode};
const device_operation ferrant_operation_v2 = {ferrant_v2_init, ferrant_v2_release, ferrant_v2_decode};
}
