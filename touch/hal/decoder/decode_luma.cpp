// The Luma, Pellon and kv families: a 64-byte frame header, the mutual matrix, the self
// lines and a tail. First-generation tables read the whole slot; second-generation cores
// read the controller frame and copy its header verbatim to record bytes 60..123.
#include <utility>

#include "decoder_internal.h"

namespace hal_decoder {
namespace {

constexpr size_t kHeaderSize = 64;
constexpr size_t kFirstGenArrays = DECODER_SLOT_HEADER_SIZE + kHeaderSize;  // slot byte 88
constexpr size_t kSlotCheckValue = 28;   // frame byte 4
constexpr size_t kSlotCheckedWords = 44; // frame byte 20
constexpr size_t kSlotLength = 68;       // frame byte 44
constexpr size_t kLumaV2MatrixArea = 2056;
constexpr size_t kLumaV2TailBlock = 43;
constexpr size_t kLumaV2DumpOffset = 4096;
constexpr uint16_t kFrameMarker = DECODED_FRAME_VALID_MARK;

enum class Family { kLuma, kPellon, kKv };

struct TableState {
  BufferPlan plan;
  Staging staging;
  DecoderConfig config{};
  int32_t failures = 0;
};

TableState g_luma, g_pellon, g_kv, g_luma_v2, g_pellon_v2;

TableState &state_of(Family family) {
  switch (family) {
    case Family::kLuma: return g_luma;
    case Family::kPellon: return g_pellon;
    default: return g_kv;
  }
}

// ---- init / release ---------------------------------------------------------------------

int32_t init_table(TableState &state, DecodedFrame *first, const DecoderConfig *config, int32_t count,
                   BufferPlan plan) {
  if (count < 1) return 0;
  if (!config_sane(config)) return -1;
  state.plan = plan;
  state.config = *config;
  for (int32_t i = 0; i < count; ++i) first[i].dump_block_size = 0;
  return init_buffers(first, count, state.plan, &state.staging);
}

int32_t luma_init(DecodedFrame *first, const DecoderConfig *config, int32_t count) {
  if (count < 1) return 0;
  if (first == nullptr || !config_sane(config)) return -1;
  BufferPlan plan;
  plan.add_staging(static_cast<size_t>(config->node_count) * 2);
  plan.add_staging(static_cast<size_t>(config->snode_count) * 2);
  plan.add_staging(static_cast<size_t>(config->snode_count) * 2);
  plan.add_matrices(config);
  return init_table(g_luma, first, config, count, plan);
}

int32_t kv_init(DecodedFrame *first, const DecoderConfig *config, int32_t count) {
  if (count < 1) return 0;
  if (first == nullptr || !config_sane(config)) return -1;
  BufferPlan plan;
  plan.add_staging(static_cast<size_t>(config->node_count) * 2);
  plan.add_staging(static_cast<size_t>(config->snode_count) * 2);
  plan.add_matrices(config);
  return init_table(g_kv, first, config, count, plan);
}

int32_t pellon_init(DecodedFrame *first, const DecoderConfig *config, int32_t count) {
  if (count < 1) return 0;
  if (first == nullptr || !config_sane(config)) return -1;
  BufferPlan plan;
  plan.add_staging(static_cast<size_t>(config->node_count) * 2);
  plan.add_staging(static_cast<size_t>(config->snode_count) * 2);
  plan.add_staging(DECODER_RESERVED_BLOCK_SIZE);
  plan.add_matrices(config);
  plan.add(kReserved, DECODER_RESERVED_BLOCK_SIZE);
  return init_table(g_pellon, first, config, count, plan);
}

void point_text_at_own_area(DecodedFrame *first, int32_t count) {
  for (int32_t i = 0; i < count; ++i) first[i].debug_text = first[i].text_area;
}

int32_t luma_reserved_size(const DecoderConfig *config) {
  int32_t size = luma_get_reserved_data_size(config->node_count, config->snode_count);
  if (size > 0 && (size & 1)) ++size;
  return size;
}

int32_t luma_v2_init(DecodedFrame *first, const DecoderConfig *config, int32_t count) {
  if (count < 1) return 0;
  if (first == nullptr || !config_sane(config)) return -1;
  BufferPlan plan;
  plan.add_matrices(config);
  plan.add(kExtra1, static_cast<size_t>(config->nnode_count) * 2);
  plan.add(kExtra2, static_cast<size_t>(config->snode_count) * 2);
  plan.add(kReserved, DECODER_RESERVED_BLOCK_SIZE);
  const int32_t reserved = luma_reserved_size(config);
  if (config->save_tic_dump) {
    plan.add(kDumpMutual, static_cast<size_t>(config->node_count) * 2);
    plan.add(kDumpSelf1, static_cast<size_t>(config->snode_count) * 2);
    plan.add(kDumpSelf2, static_cast<size_t>(config->snode_count) * 2);
    if (reserved > 0) plan.add(kDumpBlock, static_cast<size_t>(reserved));
  }
  int32_t result = init_table(g_luma_v2, first, config, count, plan);
  if (result == 0 && count > 0) {
    point_text_at_own_area(first, count);
    // The size describes the buffer: stored only where one was allocated.
    for (int32_t i = 0; i < count; ++i) first[i].dump_block_size = first[i].dump_block != nullptr ? reserved : 0;
  }
  return result;
}

int32_t pellon_v2_init(DecodedFrame *first, const DecoderConfig *config, int32_t count) {
  if (count < 1) return 0;
  if (first == nullptr || !config_sane(config)) return -1;
  BufferPlan plan;
  plan.add_matrices(config);
  plan.add(kReserved, DECODER_RESERVED_BLOCK_SIZE);
  for (int32_t i = 0; i < count; ++i) first[i].reserved_block_len = 0;
  int32_t result = init_table(g_pellon_v2, first, config, count, plan);
  if (result == 0 && count > 0) point_text_at_own_area(first, count);
  return result;
}

void release_table(TableState &state, DecodedFrame *first, int32_t count, bool owns_text) {
  if (first == nullptr) return;
  release_buffers(first, count, state.plan, &state.staging);
  if (owns_text)
    for (int32_t i = 0; i < count; ++i) first[i].debug_text = nullptr;
}

void luma_release(DecodedFrame *first, int32_t count) { release_table(g_luma, first, count, false); }
void kv_release(DecodedFrame *first, int32_t count) { release_table(g_kv, first, count, false); }
void pellon_release(DecodedFrame *first, int32_t count) { release_table(g_pellon, first, count, false); }
void luma_v2_release(DecodedFrame *first, int32_t count) { release_table(g_luma_v2, first, count, true); }
void pellon_v2_release(DecodedFrame *first, int32_t count) { release_table(g_pellon_v2, first, count, true); }

// ---- first generation -------------------------------------------------------------------

uint16_t kv_rate_hz(uint8_t code) {
  if (code <= 5) return luma_rate_hz(code);
  if (code <= 20) return 120;
  return static_cast<uint16_t>(10000 / code);
}

// Number of checked 32-bit words from frame byte 20 (slot byte 44); false when the frame's
// length would take the check past the slot.
bool checked_words(Family family, const uint8_t *slot, uint32_t slot_size, const PanelGeometry *geometry,
                   size_t *words) {
  if (family == Family::kKv) {
    const int64_t bytes = (static_cast<int64_t>(geometry->node_count) + geometry->snode_count) * 2 + 64;
    *words = static_cast<size_t>(bytes / 4 - 5);
  } else {
    const uint16_t length = le16(slot + kSlotLength);
    *words = length < 24 ? 0 : length / 4u - 5;
  }
  if (*words > (slot_size - kSlotCheckedWords) / 4) {
    log_refusal("copy_frame_data_from_mmap", "checked length beyond the slot", static_cast<long long>(*words) * 4,
                static_cast<long long>(slot_size - kSlotCheckedWords));
    return false;
  }
  return true;
}

bool first_gen_check(Family family, const uint8_t *slot, uint32_t slot_size, const PanelGeometry *geometry) {
  size_t words = 0;
  if (!checked_words(family, slot, slot_size, geometry, &words)) return false;
  const uint8_t *data = slot + kSlotCheckedWords;
  uint32_t value;
  if (family == Family::kPellon)
    value = words == 0 ? 0xA55Au : pellon_sum(data, words);
  else
    value = luma_crc_words(data, words);  // no words: 0
  return value == le32(slot + kSlotCheckValue);
}

bool stage(Staging &staging, size_t index, Reader &in, size_t bytes) {
  const uint8_t *src = in.take(bytes);
  return src != nullptr && stage_bytes(staging, index, src, bytes);
}

bool unstage(DecodedFrame *record, BufferSlot slot, const Staging &staging, size_t index, size_t bytes) {
  if (staging.buffers[index] == nullptr) return true;
  return store_to_buffer(record, slot, staging.buffers[index], bytes);
}

bool decode_first_gen(Family family, DecodedFrame *record, const uint8_t *slot, uint32_t slot_size,
                      const PanelGeometry *geometry) {
  TableState &state = state_of(family);
  GeometryBytes sizes{};
  if (record == nullptr || slot == nullptr || !geometry_bytes(geometry, &sizes)) return false;
  if (slot_size < kFirstGenArrays) {
    log_refusal("copy_frame_data_from_mmap", "slot shorter than its headers", static_cast<long long>(slot_size),
                kFirstGenArrays);
    return false;
  }
  if (!first_gen_check(family, slot, slot_size, geometry)) {
    ++state.failures;
    log(kLogError, "copy_frame_data_from_mmap", "%s: tp_frame crc error");
    return false;
  }
  const uint8_t *frame = slot + DECODER_SLOT_HEADER_SIZE;
  Reader in(slot, slot_size, kFirstGenArrays);
  Staging &staging = state.staging;
  bool ok = stage(staging, 0, in, sizes.mutual) && stage(staging, 1, in, sizes.self);
  if (family == Family::kLuma) ok = ok && stage(staging, 2, in, sizes.self) && in.skip(frame[59]);
  if (family == Family::kPellon) ok = ok && stage(staging, 2, in, frame[59]);
  uint16_t tail_word = 0;
  int16_t text_length = 0;
  const uint8_t *text = nullptr;
  if (ok && family != Family::kKv) {
    tail_word = in.u16le();
    text_length = static_cast<int16_t>(in.u16le());
    text = in.take(text_copy_length(text_length));
    ok = in.ok();
  }
  if (!ok) {
    log_refusal("copy_frame_data_from_mmap", "frame arrays beyond the slot", static_cast<long long>(slot_size),
                static_cast<long long>(in.pos()));
    return false;
  }

  if (!stamp_geometry(record, geometry)) return false;
  memcpy(&record->frame_time_ns, slot, 16);
  record->driver_word = le32(slot + 16);
  // Every published record carries the valid mark the consumers test.
  record->valid_mark = kFrameMarker;
  if (family != Family::kKv) {
    record->frame_index = le16(frame + 2);
    record->dropped_frames = le16(frame + 30);
    record->ic_time_ms = le16(frame + 50);
    record->state_byte82 = frame[22];
    record->scan_freq_index = frame[54];
    record->frame_type = frame[56];
    record->tail_word = tail_word;
    record->debug_text_len = text_length;
    memcpy(record->text_area, text, text_copy_length(text_length));
    record->decode_fail_count = state.failures;
    record->report_rate_hz = luma_rate_hz(frame[25]);
  } else {
    record->frame_type = 0;
    record->reserved_block_len = 0;
    record->dump_block_size = 0;
    record->report_rate_hz = kv_rate_hz(frame[25]);
    record->kv_status = frame[50];
  }
  record->state_byte83 = frame[23];
  record->state_code = frame[24];
  record->report_rate_codes = frame[25];
  record->scan_freq = le16(frame + 26);
  record->ic_frame_count = le16(frame + 28);
  memcpy(record->noise_values, frame + 32, 8);
  const uint8_t type = record->frame_type;
  switch (family) {
    case Family::kLuma:
      record->high_rate_or_idle = (type == 2 || type == 4 || type == 15) ? 1 : 0;
      break;
    case Family::kPellon:
      record->reserved_block_len = frame[59];
      record->high_rate_or_idle = (type == 4 || type == 15) ? 1 : 0;
      break;
    case Family::kKv:
      record->high_rate_or_idle = record->report_rate_hz < 130 ? 1 : 0;
      break;
  }
  record->frame_watchdog_wanted = frame[24] == 4 ? 1 : 0;

  ok = unstage(record, kMutual, staging, 0, sizes.mutual) && unstage(record, kSelf1, staging, 1, sizes.self);
  if (family == Family::kLuma) ok = ok && unstage(record, kSelf2, staging, 2, sizes.self);
  if (family == Family::kPellon) ok = ok && unstage(record, kReserved, staging, 2, frame[59]);
  if (!ok) return false;
  log(kLogVerbose, "decode_frame_data", "%s: frame cnt:%ld", static_cast<long>(record->frame_count));
  return true;
}

bool luma_decode(DecodedFrame *r, const uint8_t *s, uint32_t n, PanelGeometry *g) {
  return decode_first_gen(Family::kLuma, r, s, n, g);
}
bool pellon_decode(DecodedFrame *r, const uint8_t *s, uint32_t n, PanelGeometry *g) {
  return decode_first_gen(Family::kPellon, r, s, n, g);
}
bool kv_decode(DecodedFrame *r, const uint8_t *s, uint32_t n, PanelGeometry *g) {
  return decode_first_gen(Family::kKv, r, s, n, g);
}

// ---- second generation: shared tail of header, text -------------------------------------

// Reserved block (record 119 bytes), tail word, text length and text: the part of the
// body that Luma and Pellon share after their matrices.
bool read_reserved_and_text(Reader &in, DecodedFrame *record, bool big_endian) {
  if (!copy_to_buffer(in, record, kReserved, record->reserved_block_len)) return false;
  const uint8_t *tail = in.take(2);
  if (tail != nullptr) memcpy(&record->tail_word, tail, 2);  // raw: converted with the header
  const int16_t length = static_cast<int16_t>(big_endian ? in.u16be() : in.u16le());
  const size_t n = text_copy_length(length);
  const uint8_t *text = in.take(n);
  if (!in.ok()) return false;
  record->debug_text_len = length;
  if (record->debug_text != nullptr) memcpy(record->debug_text, text, n);
  return true;
}

// ---- second-generation Luma ---------------------------------------------------------------

// 35 header fields from byte 0: 1 = a byte, 2 = a 16-bit field, 4 = a 32-bit field.
constexpr uint8_t kHeaderFieldWidths[35] = {1, 1, 2, 4, 4, 4, 4, 1, 1, 1, 1, 1, 1, 2, 2, 2, 2, 2,
                                            2, 2, 2, 2, 2, 2, 1, 1, 2, 2, 1, 1, 1, 2, 1, 2, 2};
constexpr size_t header_width_sum() {
  size_t sum = 0;
  for (uint8_t w : kHeaderFieldWidths) sum += w;
  return sum;
}
static_assert(header_width_sum() == kHeaderSize, "the conversion table covers the whole header");

void convert_header(uint8_t *header) {
  size_t pos = 0;
  for (uint8_t width : kHeaderFieldWidths) {
    if (width == 2) std::swap(header[pos], header[pos + 1]);
    if (width == 4) {
      std::swap(header[pos], header[pos + 3]);
      std::swap(header[pos + 1], header[pos + 2]);
    }
    pos += width;
  }
}

bool luma_v2_check(const uint8_t *frame, uint32_t frame_size) {
  const uint32_t check = be32(frame + 4);
  const uint32_t inverted = be32(frame + 12);
  const uint16_t length = be16(frame + 44);
  if (static_cast<uint32_t>(check + inverted) != 0xFFFFFFFFu) {
    log(kLogError, "thp_crc_check", "%s: ap_crc: %llu, ap_bcc: %llu, ic_crc: %llu, crc_not: %llu", 0ULL, 0ULL,
        static_cast<unsigned long long>(check), static_cast<unsigned long long>(inverted));
    log(kLogError, "thp_crc_check", "%s: len: %d", static_cast<int>(length) - 20);
    return false;
  }
  if (length <= 20) return check == 0xA55Au || check == 0;
  const size_t n = length - 20u;
  if (n > frame_size - 20) {
    log_refusal("thp_crc_check", "checked length beyond the frame", static_cast<long long>(n),
                static_cast<long long>(frame_size - 20));
    return false;
  }
  const uint32_t bcc = luma_block_check(frame + 20, n);
  if (check == bcc) return true;
  const uint32_t crc = luma_crc_update(0, frame + 20, n);
  if (check == crc) return true;
  log(kLogError, "thp_crc_check", "%s: ap_crc: %llu, ap_bcc: %llu, ic_crc: %llu, crc_not: %llu",
      static_cast<unsigned long long>(crc), static_cast<unsigned long long>(bcc),
      static_cast<unsigned long long>(check), static_cast<unsigned long long>(inverted));
  log(kLogError, "thp_crc_check", "%s: len: %d", static_cast<int>(n));
  return false;
}

bool luma_v2_dump(const uint8_t *frame, uint32_t frame_size, DecodedFrame *record, const GeometryBytes &sizes) {
  Reader in(frame, frame_size, kLumaV2DumpOffset);
  const uint8_t *type = in.take(4);
  if (type == nullptr) return false;
  record->dump_type = static_cast<int32_t>(be32(type));
  if (record->dump_type <= 0) return true;
  const uint8_t *word = in.take(2);
  if (word != nullptr) memcpy(&record->dump_word, word, 2);
  bool ok = copy_to_buffer(in, record, kDumpMutual, sizes.mutual) && copy_to_buffer(in, record, kDumpSelf1, sizes.self) &&
            copy_to_buffer(in, record, kDumpSelf2, sizes.self);
  if (ok && record->dump_block_size > 0)
    ok = copy_to_buffer(in, record, kDumpBlock, static_cast<size_t>(record->dump_block_size));
  return ok;
}

void luma_v2_convert(DecodedFrame *record, const GeometryBytes &sizes, bool dump) {
  uint8_t *bytes = record_bytes(record);
  convert_header(bytes + offsetof(DecodedFrame, valid_mark));
  swap_buffer_words(record, kMutual, sizes.mutual / 2);
  swap_buffer_words(record, kSelf1, sizes.self / 2);
  swap_buffer_words(record, kSelf2, sizes.self / 2);
  swap_buffer_words(record, kExtra1, static_cast<uint16_t>(record->extra1_len) / 2);
  swap_buffer_words(record, kExtra2, record->extra2_count);
  swap_words(bytes + offsetof(DecodedFrame, tail_word), 1);
  swap_words(bytes + offsetof(DecodedFrame, tail), sizeof record->tail.words / 2);
  if (dump) {
    swap_words(bytes + offsetof(DecodedFrame, dump_word), 1);
    swap_buffer_words(record, kDumpMutual, sizes.mutual / 2);
    swap_buffer_words(record, kDumpSelf1, sizes.self / 2);
    swap_buffer_words(record, kDumpSelf2, sizes.self / 2);
    if (record->dump_block_size > 0) swap_buffer_words(record, kDumpBlock, static_cast<size_t>(record->dump_block_size) / 2);
  }
}

// The second extra array: a big-endian count of 16-bit values (record 219), then the values.
bool read_counted_array(Reader &in, DecodedFrame *record, BufferSlot slot) {
  const uint16_t count = in.u16be();
  if (!in.ok()) return false;
  record->extra2_count = count;
  if (buffer_pointer(record, slot) == nullptr) return true;
  return copy_to_buffer(in, record, slot, static_cast<size_t>(count) * 2);
}

}  // namespace
}  // namespace hal_decoder

using namespace hal_decoder;

extern "C" bool luma_decode_frame_data_core(DecodedFrame *record, const uint8_t *frame, uint32_t frame_size,
                                            const PanelGeometry *geometry) {
  GeometryBytes sizes{};
  if (record == nullptr || frame == nullptr || !geometry_bytes(geometry, &sizes)) return false;
  if (frame_size < kHeaderSize) return false;
  if (sizes.mutual + 2 * sizes.self > kLumaV2MatrixArea) {
    log_refusal("luma_decode_frame_data_core", "matrix larger than its 2056-byte area",
                static_cast<long long>(sizes.mutual + 2 * sizes.self), kLumaV2MatrixArea);
    return false;
  }
  if (!luma_v2_check(frame, frame_size)) return false;

  memcpy(record_bytes(record) + offsetof(DecodedFrame, valid_mark), frame, kHeaderSize);
  note_header_geometry(record, geometry, "luma_decode_frame_data_core");
  if (!stamp_geometry(record, geometry)) return false;
  Reader in(frame, frame_size, kHeaderSize);
  bool ok = copy_to_buffer(in, record, kMutual, sizes.mutual) && copy_to_buffer(in, record, kSelf1, sizes.self) &&
            copy_to_buffer(in, record, kSelf2, sizes.self) &&
            in.skip(kLumaV2MatrixArea - sizes.mutual - 2 * sizes.self) && read_reserved_and_text(in, record, true);
  const uint8_t *tail = ok ? in.take(kLumaV2TailBlock) : nullptr;
  if (tail != nullptr) {
    record->tail_byte0 = tail[0];
    record->tail_byte1 = tail[1];
    memcpy(record->tail.words, tail + 3, sizeof record->tail.words);
    // The controller counts 16-bit values; record 209 holds the array's length in bytes, as
    // every other decoder and the consumer's deep copy read it.
    const size_t bytes = static_cast<size_t>(be16(tail + 41)) * 2;
    if (bytes > static_cast<size_t>(INT16_MAX)) {
      log_refusal("luma_decode_frame_data_core", "extra array longer than its length field",
                  static_cast<long long>(bytes), INT16_MAX);
      return false;
    }
    record->extra1_len = static_cast<int16_t>(bytes);
    if (record->extra1 != nullptr) ok = copy_to_buffer(in, record, kExtra1, bytes);
    ok = ok && read_counted_array(in, record, kExtra2);
    ok = ok && in.copy(record->extra_block, sizeof record->extra_block);
  }
  ok = ok && tail != nullptr;
  if (ok && geometry->copy_dump) ok = luma_v2_dump(frame, frame_size, record, sizes);
  if (!ok) {
    log_refusal("luma_decode_frame_data_core", "frame body beyond the frame or its buffers",
                static_cast<long long>(frame_size), static_cast<long long>(in.pos()));
    return false;
  }
  if (geometry->convert_byte_order) luma_v2_convert(record, sizes, geometry->copy_dump != 0);
  return true;
}

extern "C" bool pellon_decode_frame_data_core(DecodedFrame *record, const uint8_t *frame, uint32_t frame_size,
                                              const PanelGeometry *geometry) {
  GeometryBytes sizes{};
  if (record == nullptr || frame == nullptr || !geometry_bytes(geometry, &sizes)) return false;
  if (frame_size < kHeaderSize) return false;
  const uint16_t length = le16(frame + 44);
  uint32_t expected = 0xA55Au;
  if (length >= 24) {
    const size_t words = length / 4u - 5;
    if (words > (frame_size - 20) / 4) {
      log_refusal("pellon_decode_frame_data_core", "checked length beyond the frame", static_cast<long long>(words) * 4,
                  static_cast<long long>(frame_size - 20));
      return false;
    }
    expected = pellon_sum(frame + 20, words);
  }
  if (expected != le32(frame + 4)) return false;

  memcpy(record_bytes(record) + offsetof(DecodedFrame, valid_mark), frame, kHeaderSize);
  note_header_geometry(record, geometry, "pellon_decode_frame_data_core");
  if (!stamp_geometry(record, geometry)) return false;
  Reader in(frame, frame_size, kHeaderSize);
  bool ok = copy_to_buffer(in, record, kMutual, sizes.mutual) && copy_to_buffer(in, record, kSelf1, sizes.self) &&
            read_reserved_and_text(in, record, false);
  if (ok) record->tail_byte0 = in.u8();
  if (!ok || !in.ok()) {
    log_refusal("pellon_decode_frame_data_core", "frame body beyond the frame or its buffers",
                static_cast<long long>(frame_size), static_cast<long long>(in.pos()));
    return false;
  }
  return true;
}

namespace {

bool luma_v2_decode(DecodedFrame *record, const uint8_t *slot, uint32_t slot_size, PanelGeometry *geometry) {
  if (!decode_v2(luma_decode_frame_data_core, record, slot, slot_size, geometry, g_luma_v2.config.big_little_convert,
                 g_luma_v2.config.save_tic_dump, 8, &g_luma_v2.failures))
    return false;
  const uint8_t type = record->frame_type;
  record->high_rate_or_idle = (type == 2 || type == 4 || type == 5 || type == 15 || type == 16) ? 1 : 0;
  return true;
}

bool pellon_v2_decode(DecodedFrame *record, const uint8_t *slot, uint32_t slot_size, PanelGeometry *geometry) {
  if (!decode_v2(pellon_decode_frame_data_core, record, slot, slot_size, geometry, -1, -1, 8, &g_pellon_v2.failures))
    return false;
  const uint8_t type = record->frame_type;
  record->high_rate_or_idle = (type == 1 || type == 4 || type == 15) ? 1 : 0;
  return true;
}

}  // namespace

extern "C" {
const device_operation luma_operation = {luma_init, luma_release, luma_decode};
const device_operation kv_operation = {kv_init, kv_release, kv_decode};
const device_operation pellon_operation = {pellon_init, pellon_release, pellon_decode};
const device_operation luma_operation_v2 = {luma_v2_init, luma_v2_release, luma_v2_decode};
const device_operation pellon_operation_v2 = {pellon_v2_init, pellon_v2_release, pellon_v2_decode};
}
