// Shared pieces of the frame decoders: checksums, buffer bookkeeping, the table selection
// and the wrapper steps every second-generation table repeats.
#include <stdlib.h>

#include <utility>

#include <algorithm>
#include <cstddef>

#include "decoder_internal.h"

namespace hal_decoder {
namespace {

constexpr uint32_t kLumaCrcPolynomial = 0xE89061DBu;
constexpr uint32_t kCheckSeed = 0xA55Au;
// Node counts beyond this are not a panel: refuse them before any size arithmetic.
constexpr int32_t kMaxNodeCount = 1 << 16;

struct CrcTable {
  uint32_t entry[256];
  constexpr CrcTable() : entry() {
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t crc = i << 24;
      for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x80000000u) ? (crc << 1) ^ kLumaCrcPolynomial : crc << 1;
      entry[i] = crc;
    }
  }
};
constexpr CrcTable kCrcTable;

void *default_alloc(size_t bytes) { return calloc(1, bytes); }

decoder_alloc_fn g_alloc = default_alloc;
decoder_free_fn g_free = free;
std::array<size_t, kBufferSlotCount> g_capacity{};

constexpr size_t kSlotOffsets[kBufferSlotCount] = {
    offsetof(DecodedFrame, mutual),      offsetof(DecodedFrame, self1),      offsetof(DecodedFrame, self2),
    offsetof(DecodedFrame, reserved_block), offsetof(DecodedFrame, extra1),  offsetof(DecodedFrame, extra2),
    offsetof(DecodedFrame, norm_data),   offsetof(DecodedFrame, stylus[0]),  offsetof(DecodedFrame, stylus[1]),
    offsetof(DecodedFrame, stylus[2]),   offsetof(DecodedFrame, stylus[3]),  offsetof(DecodedFrame, dump_mutual),
    offsetof(DecodedFrame, dump_self1),  offsetof(DecodedFrame, dump_self2), offsetof(DecodedFrame, dump_block),
};

DecodedFrame *record_at(DecodedFrame *first, int32_t i) { return first + i; }

struct RefusalSeen {
  const char *what;
  long long value;
};
std::array<RefusalSeen, 32> g_refusals{};

// Panels (rows x 256 + columns) that a controller's header named against the configuration,
// per decoder, since the decoders' last init: a controller that keeps naming one repeats it
// every frame.
struct HeaderPanelSeen {
  const char *function;
  int named;
};
std::array<HeaderPanelSeen, 16> g_header_panels{};

}  // namespace

uint32_t luma_crc_update(uint32_t crc, const uint8_t *bytes, size_t n) {
  for (size_t i = 0; i < n; ++i) crc = (crc << 8) ^ kCrcTable.entry[((crc >> 24) ^ bytes[i]) & 0xFFu];
  return crc;
}

uint32_t luma_crc_words(const uint8_t *words, size_t word_count) {
  uint32_t crc = 0;
  for (size_t w = 0; w < word_count; ++w) {
    const uint8_t *p = words + 4 * w;
    const uint8_t msb_first[4] = {p[3], p[2], p[1], p[0]};
    crc = luma_crc_update(crc, msb_first, 4);
  }
  return crc;
}

uint32_t luma_block_check(const uint8_t *bytes, size_t n) {
  uint32_t value = kCheckSeed;
  for (size_t i = 0; i < n; ++i) value ^= static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(bytes[i])));
  for (size_t i = 0; i < n; ++i) value += static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(bytes[i])));
  return value;
}

uint32_t pellon_sum(const uint8_t *words, size_t word_count) {
  uint32_t value = kCheckSeed;
  for (size_t w = 0; w < word_count; ++w) value ^= le32(words + 4 * w);
  for (size_t w = 0; w < word_count; ++w) value += le32(words + 4 * w);
  return value;
}

void *buffer_pointer(const DecodedFrame *record, BufferSlot slot) {
  void *ptr;
  memcpy(&ptr, reinterpret_cast<const uint8_t *>(record) + kSlotOffsets[slot], sizeof ptr);
  return ptr;
}

void set_buffer_pointer(DecodedFrame *record, BufferSlot slot, void *ptr) {
  memcpy(record_bytes(record) + kSlotOffsets[slot], &ptr, sizeof ptr);
}

size_t buffer_capacity(BufferSlot slot) { return g_capacity[slot]; }

int32_t init_buffers(DecodedFrame *first, int32_t count, const BufferPlan &plan, Staging *staging) {
  static const char kFn[] = "init_frame_data_memory";
  if (count < 1) return 0;
  if (first == nullptr) return -1;
  g_header_panels = {};  // a new start says again what its controller names
  bool failed = false;
  if (staging != nullptr) {
    for (size_t i = 0; i < plan.staging_count && !failed; ++i) {
      if (staging->buffers[i] != nullptr || plan.staging[i] == 0) continue;
      staging->buffers[i] = static_cast<uint8_t *>(g_alloc(plan.staging[i]));
      staging->sizes[i] = plan.staging[i];
      failed = staging->buffers[i] == nullptr;
    }
  }
  for (int32_t r = 0; r < count && !failed; ++r) {
    DecodedFrame *record = record_at(first, r);
    for (size_t i = 0; i < plan.per_record_count; ++i) {
      const BufferNeed &need = plan.per_record[i];
      size_t &capacity = g_capacity[need.slot];
      if (buffer_pointer(record, need.slot) != nullptr) {
        // Kept from an earlier init: trust only the smaller of the two sizes.
        capacity = std::min(capacity, need.bytes);
        continue;
      }
      if (need.bytes == 0) continue;
      void *ptr = g_alloc(need.bytes);
      if (ptr == nullptr) {
        failed = true;
        break;
      }
      set_buffer_pointer(record, need.slot, ptr);
      capacity = need.bytes;
    }
  }
  if (failed) {
    log(kLogError, kFn, "%s: FRAME_DATA no memory");
    release_buffers(first, count, plan, staging);
    log(kLogInfo, kFn, "%s: init frame data memory failed!");
    return -1;
  }
  log(kLogInfo, kFn, "%s: init frame data memory success!");
  return 0;
}

void release_buffers(DecodedFrame *first, int32_t count, const BufferPlan &plan, Staging *staging) {
  if (first == nullptr) return;
  if (staging != nullptr) {
    for (size_t i = 0; i < staging->buffers.size(); ++i) {
      if (staging->buffers[i] != nullptr) g_free(staging->buffers[i]);
      staging->buffers[i] = nullptr;
      staging->sizes[i] = 0;
    }
  }
  for (int32_t r = 0; r < count; ++r) {
    DecodedFrame *record = record_at(first, r);
    for (size_t i = 0; i < plan.per_record_count; ++i) {
      void *ptr = buffer_pointer(record, plan.per_record[i].slot);
      if (ptr != nullptr) g_free(ptr);
      set_buffer_pointer(record, plan.per_record[i].slot, nullptr);
    }
  }
  for (size_t i = 0; i < plan.per_record_count; ++i) g_capacity[plan.per_record[i].slot] = 0;
  log(kLogInfo, "release_frame_data_memory", "%s: release frame data memory success!");
}

bool copy_to_buffer(Reader &in, DecodedFrame *record, BufferSlot slot, size_t bytes) {
  const uint8_t *src = in.take(bytes);
  if (src == nullptr) return false;
  return store_to_buffer(record, slot, src, bytes);
}

void swap_buffer_words(DecodedFrame *record, BufferSlot slot, size_t words) {
  auto *p = static_cast<uint8_t *>(buffer_pointer(record, slot));
  if (p == nullptr) return;
  swap_words(p, std::min(words, g_capacity[slot] / 2));
}

bool store_to_buffer(DecodedFrame *record, BufferSlot slot, const uint8_t *src, size_t bytes) {
  void *dst = buffer_pointer(record, slot);
  if (dst == nullptr || bytes == 0) return true;
  if (bytes > g_capacity[slot]) {
    log_refusal("copy_to_buffer", "frame array larger than its buffer", static_cast<long long>(bytes),
                static_cast<long long>(g_capacity[slot]));
    return false;
  }
  memcpy(dst, src, bytes);
  return true;
}

bool stage_bytes(Staging &staging, size_t index, const uint8_t *src, size_t bytes) {
  if (staging.buffers[index] == nullptr) return true;
  if (bytes > staging.sizes[index]) {
    log_refusal("copy_frame_data_from_mmap", "frame array larger than its staging buffer",
                static_cast<long long>(bytes), static_cast<long long>(staging.sizes[index]));
    return false;
  }
  memcpy(staging.buffers[index], src, bytes);
  return true;
}

bool geometry_bytes(const PanelGeometry *geometry, GeometryBytes *out) {
  if (geometry == nullptr) return false;
  for (int32_t n : {geometry->node_count, geometry->snode_count, geometry->nnode_count}) {
    if (n < 0 || n > kMaxNodeCount) {
      log_refusal("geometry_bytes", "node count out of range", n, kMaxNodeCount);
      return false;
    }
  }
  out->mutual = static_cast<size_t>(geometry->node_count) * 2;
  out->self = static_cast<size_t>(geometry->snode_count) * 2;
  out->extra = static_cast<size_t>(geometry->nnode_count) * 2;
  return true;
}

bool stamp_geometry(DecodedFrame *record, const PanelGeometry *geometry) {
  static const char kFn[] = "decode_frame_data";
  const int32_t rows = geometry->rows;
  const int32_t columns = geometry->columns;
  if (geometry->node_count != rows * columns) {
    log_refusal(kFn, "frame geometry: rows x columns is not the mutual node count", rows * columns,
                geometry->node_count);
    return false;
  }
  if (geometry->snode_count != rows + columns) {
    log_refusal(kFn, "frame geometry: rows + columns is not the self node count", rows + columns,
                geometry->snode_count);
    return false;
  }
  const std::pair<BufferSlot, size_t> claims[] = {{kMutual, static_cast<size_t>(rows * columns) * 2},
                                                  {kSelf1, static_cast<size_t>(rows + columns) * 2},
                                                  {kSelf2, static_cast<size_t>(rows + columns) * 2}};
  for (const auto &[slot, bytes] : claims) {
    if (buffer_pointer(record, slot) != nullptr && bytes > g_capacity[slot]) {
      log_refusal(kFn, "frame geometry larger than the frame's buffers", static_cast<long long>(bytes),
                  static_cast<long long>(g_capacity[slot]));
      return false;
    }
  }
  record->rows = geometry->rows;
  record->columns = geometry->columns;
  return true;
}

void note_header_geometry(const DecodedFrame *record, const PanelGeometry *geometry, const char *function) {
  const uint8_t rows = record->rows;
  const uint8_t columns = record->columns;
  if ((rows == 0 && columns == 0) || (rows == geometry->rows && columns == geometry->columns)) return;
  const int named = rows * 256 + columns;
  for (HeaderPanelSeen &seen : g_header_panels) {
    if (seen.function == function && seen.named == named) return;
    if (seen.function == nullptr) {
      seen = {function, named};
      break;
    }
  }
  log(kLogError, function, "%s: the controller's frame names a %dx%d panel, the configured %dx%d is kept",
      static_cast<int>(rows), static_cast<int>(columns), static_cast<int>(geometry->rows),
      static_cast<int>(geometry->columns));
}

void finish_v2_record(DecodedFrame *record, const uint8_t *slot, size_t driver_bytes) {
  memcpy(record_bytes(record) + offsetof(DecodedFrame, frame_time_ns), slot, 16);
  memcpy(record_bytes(record) + offsetof(DecodedFrame, driver_word), slot + 16, driver_bytes);
  record->frame_watchdog_wanted = record->state_code == 4 ? 1 : 0;
}

bool decode_v2(CoreDecoder core, DecodedFrame *record, const uint8_t *slot, uint32_t slot_size,
               PanelGeometry *geometry, int convert, int dump, size_t driver_bytes, int32_t *failures) {
  if (record == nullptr || slot == nullptr || geometry == nullptr) return false;
  if (convert >= 0) geometry->convert_byte_order = static_cast<uint8_t>(convert);
  if (dump >= 0) geometry->copy_dump = static_cast<uint8_t>(dump);
  if (slot_size < DECODER_SLOT_HEADER_SIZE ||
      !core(record, slot + DECODER_SLOT_HEADER_SIZE, slot_size - DECODER_SLOT_HEADER_SIZE, geometry)) {
    ++*failures;
    log(kLogError, "decode_frame_data", "%s: crc err %d!", *failures);
    return false;
  }
  finish_v2_record(record, slot, driver_bytes);
  return true;
}

size_t text_copy_length(int16_t length) {
  return (length < 0 || length > DECODER_TEXT_MAX) ? DECODER_TEXT_MAX : static_cast<size_t>(length);
}

void log_refusal(const char *function, const char *what, long long value, long long limit) {
  for (RefusalSeen &seen : g_refusals) {
    if (seen.what == what && seen.value == value) return;
    if (seen.what == nullptr) {
      seen = {what, value};
      break;
    }
  }
  log(kLogError, function, "%s: %s: %lld (limit %lld)", what, value, limit);
}

uint16_t luma_rate_hz(uint8_t code) {
  switch (code) {
    case 1: return 180;
    case 2: return 240;
    case 3: return 360;
    case 4: return 60;
    case 5: return 480;
    default: return 120;
  }
}

bool config_sane(const DecoderConfig *config) {
  if (config == nullptr) return false;
  for (int32_t n : {config->node_count, config->snode_count, config->nnode_count}) {
    if (n < 0 || n > kMaxNodeCount) {
      log_refusal("init_frame_data_memory", "configured node count out of range", n, kMaxNodeCount);
      return false;
    }
  }
  // The buffers follow the counts, the frames' rows and columns follow the panel: both must
  // describe one panel.
  if (!decoder_config_counts_match(config)) {
    log(kLogError, "init_frame_data_memory",
        "%s: node counts %d and %d are not those of %d rows x %d columns: configuration refused",
        static_cast<int>(config->node_count), static_cast<int>(config->snode_count), static_cast<int>(config->rows),
        static_cast<int>(config->columns));
    return false;
  }
  return true;
}

}  // namespace hal_decoder

// ---- selection ------------------------------------------------------------------------

namespace {
const device_operation *const kSelection[DECODER_TABLE_COUNT] = {
    &kv_operation,          &ferrant_operation,  &pellon_operation,   &kv_operation,          &luma_operation,
    &ferrant_operation_v2,  &luma_operation_v2,  &pellon_operation_v2, &zet50210_operation_v2,
};
const device_operation *g_current = &kv_operation;
}  // namespace

extern "C" void current_device_operation_init(int32_t frame_data_type) {
  uint32_t index = static_cast<uint32_t>(frame_data_type);
  g_current = index < DECODER_TABLE_COUNT ? kSelection[index] : &kv_operation;
}

extern "C" device_operation get_current_device_operation(void) { return *g_current; }

extern "C" void decoder_set_allocator(decoder_alloc_fn alloc_fn, decoder_free_fn free_fn) {
  hal_decoder::g_alloc = alloc_fn != nullptr ? alloc_fn : hal_decoder::default_alloc;
  hal_decoder::g_free = free_fn != nullptr ? free_fn : free;
}

extern "C" int32_t luma_get_reserved_data_size(int32_t mutual_count, int32_t self_count) {
  return 2056 - 2 * mutual_count - 4 * self_count;
}

extern "C" int32_t luma_get_debug_buf_max_size(void) { return DECODER_RESERVED_BLOCK_SIZE; }

extern "C" void decoder_config_defaults(DecoderConfig *config) {
  if (config == nullptr) return;
  *config = DecoderConfig{};
  config->columns = 40;
  config->rows = 18;
  config->node_count = 720;
  config->snode_count = 58;
  config->nnode_count = 240;
  config->scan_freq_num = 3;
  config->stylus_col1 = 8;
  config->stylus_row1 = 60;
  config->stylus_col2 = 40;
  config->stylus_row2 = 12;
}

extern "C" void decoder_geometry_from_config(const DecoderConfig *config, PanelGeometry *geometry) {
  if (config == nullptr || geometry == nullptr) return;
  *geometry = PanelGeometry{};
  geometry->node_count = config->node_count;
  geometry->snode_count = config->snode_count;
  geometry->nnode_count = config->nnode_count;
  geometry->columns = config->columns;
  geometry->rows = config->rows;
  geometry->stylus_col1 = config->stylus_col1;
  geometry->stylus_row1 = config->stylus_row1;
  geometry->stylus_col2 = config->stylus_col2;
  geometry->stylus_row2 = config->stylus_row2;
}
