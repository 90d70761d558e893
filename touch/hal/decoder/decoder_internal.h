#pragma once
// Private to touch/hal/decoder: logging, bounded byte access, checksums and the buffer
// bookkeeping shared by every decoder table.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <array>

#include "frame_decoder.h"
#include "core/hal_core.h"
#include "hal_module.h"

namespace hal_decoder {

enum LogLevel { kLogError = HAL_LOG_ERROR, kLogInfo = HAL_LOG_INFO, kLogVerbose = HAL_LOG_VERBOSE, kLogEntry = HAL_LOG_ENTRY };

// Every line goes through the core's host log: (level, "%s: ..." format, function name,
// arguments...). The format is passed through unchanged.
template <typename... Args>
inline void log(int level, const char *function, const char *format, Args... args) {
  if (!hal_log_enabled(level)) return;
  hal_host_log_fn sink = hal_log_sink();
  if (sink != nullptr) sink(level, format, function, args...);
}

// ---- bounded reads over a byte range -------------------------------------------------

inline uint16_t le16(const uint8_t *p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t le32(const uint8_t *p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}
inline uint16_t be16(const uint8_t *p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
inline uint32_t be32(const uint8_t *p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}

// A read cursor that refuses to pass the end of its range; once it has refused, it stays
// failed (errors are sticky and checked once at the end of a decode).
class Reader {
 public:
  Reader(const uint8_t *data, size_t size, size_t pos = 0) : data_(data), size_(size), pos_(pos) {
    if (pos_ > size_) ok_ = false;
  }
  bool ok() const { return ok_; }
  size_t pos() const { return pos_; }
  // Pointer to the next n bytes and advance, or null (and failed) when they are not there.
  const uint8_t *take(size_t n) {
    if (!ok_ || n > size_ - pos_) {
      ok_ = false;
      return nullptr;
    }
    const uint8_t *p = data_ + pos_;
    pos_ += n;
    return p;
  }
  bool skip(size_t n) { return take(n) != nullptr; }
  // Copies n bytes to dst (dst may be null: the bytes are skipped).
  bool copy(void *dst, size_t n) {
    const uint8_t *p = take(n);
    if (p == nullptr) return false;
    if (dst != nullptr && n != 0) memcpy(dst, p, n);
    return true;
  }
  uint8_t u8() {
    const uint8_t *p = take(1);
    return p ? p[0] : 0;
  }
  uint16_t u16le() {
    const uint8_t *p = take(2);
    return p ? le16(p) : 0;
  }
  uint16_t u16be() {
    const uint8_t *p = take(2);
    return p ? be16(p) : 0;
  }

 private:
  const uint8_t *data_;
  size_t size_;
  size_t pos_;
  bool ok_ = true;
};

// Writes a value at a byte offset of the packed record.
template <typename T>
inline void put(DecodedFrame *record, size_t offset, T value) {
  memcpy(reinterpret_cast<uint8_t *>(record) + offset, &value, sizeof value);
}
inline uint8_t *record_bytes(DecodedFrame *record) { return reinterpret_cast<uint8_t *>(record); }

// ---- checksums -------------------------------------------------------------------------

// CRC-32, polynomial 0xE89061DB, most significant bit first, initial 0, no final xor.
uint32_t luma_crc_update(uint32_t crc, const uint8_t *bytes, size_t n);
// The same CRC over n little-endian 32-bit words, each fed most significant byte first.
uint32_t luma_crc_words(const uint8_t *words, size_t word_count);
// 0xA55A xor every byte (signed, widened), then plus every such byte.
uint32_t luma_block_check(const uint8_t *bytes, size_t n);
// 0xA55A xor every little-endian 32-bit word, then plus every such word.
uint32_t pellon_sum(const uint8_t *words, size_t word_count);
// Ferrant: the byte sum of header bytes 0..13 (stored at 14), and the sum of the 16-bit
// words of a frame of `length` bytes before its closing 32-bit sum.
uint16_t ferrant_header_sum(const uint8_t *frame);
uint32_t ferrant_body_sum(const uint8_t *frame, uint32_t length);
// zet50210: the check value of `halfwords` 16-bit words from frame byte 20 (their negated sum).
uint16_t zet50210_check_value(const uint8_t *frame, uint64_t halfwords);

// ---- buffers behind the record pointers -----------------------------------------------

// Pointer fields of DecodedFrame that the decoders allocate, with their capacities.
enum BufferSlot : uint8_t {
  kMutual,
  kSelf1,
  kSelf2,
  kReserved,
  kExtra1,
  kExtra2,
  kNorm,
  kStylus0,
  kStylus1,
  kStylus2,
  kStylus3,
  kDumpMutual,
  kDumpSelf1,
  kDumpSelf2,
  kDumpBlock,
  kBufferSlotCount
};

// The pointer of a slot (the record is packed: pointers sit at odd offsets).
void *buffer_pointer(const DecodedFrame *record, BufferSlot slot);
void set_buffer_pointer(DecodedFrame *record, BufferSlot slot, void *ptr);

// Swaps the bytes of `words` 16-bit words at p.
inline void swap_words(uint8_t *p, size_t words) {
  for (size_t i = 0; i < words; ++i) {
    const uint8_t t = p[2 * i];
    p[2 * i] = p[2 * i + 1];
    p[2 * i + 1] = t;
  }
}

// Bytes the current buffers of a slot can take (0: none known; nothing may be copied).
size_t buffer_capacity(BufferSlot slot);

struct BufferNeed {
  BufferSlot slot;
  size_t bytes;
};

// A table's buffers: what init allocates per record, and the module-wide staging buffers.
struct BufferPlan {
  std::array<BufferNeed, kBufferSlotCount> per_record{};
  size_t per_record_count = 0;
  std::array<size_t, 8> staging{};
  size_t staging_count = 0;

  void add(BufferSlot slot, size_t bytes) { per_record[per_record_count++] = {slot, bytes}; }
  // The mutual matrix and both self lines, which every table allocates.
  void add_matrices(const DecoderConfig *config) {
    add(kMutual, static_cast<size_t>(config->node_count) * 2);
    add(kSelf1, static_cast<size_t>(config->snode_count) * 2);
    add(kSelf2, static_cast<size_t>(config->snode_count) * 2);
  }
  void add_staging(size_t bytes) { staging[staging_count++] = bytes; }
};

// Module-wide staging buffers of one first-generation table.
struct Staging {
  std::array<uint8_t *, 8> buffers{};
  std::array<size_t, 8> sizes{};
};

// Copies bytes into a staging buffer that init sized (nothing when init has not run);
// false when they do not fit.
bool stage_bytes(Staging &staging, size_t index, const uint8_t *src, size_t bytes);

// The framework's init/release: walk `count` records, allocate where a pointer is null,
// stop at the first failure (log, release the run, -1).
int32_t init_buffers(DecodedFrame *first, int32_t count, const BufferPlan &plan, Staging *staging);
void release_buffers(DecodedFrame *first, int32_t count, const BufferPlan &plan, Staging *staging);

// Copies bytes from a reader into a record buffer: the bytes are always consumed; they are
// stored only when the buffer exists and can take them. False when the frame is too short
// or the buffer too small (which the caller treats as a malformed frame).
bool copy_to_buffer(Reader &in, DecodedFrame *record, BufferSlot slot, size_t bytes);
// The same from memory already in hand (a staging buffer).
bool store_to_buffer(DecodedFrame *record, BufferSlot slot, const uint8_t *src, size_t bytes);
// Swaps the bytes of `words` 16-bit words of a record buffer (as far as it reaches).
void swap_buffer_words(DecodedFrame *record, BufferSlot slot, size_t words);

// ---- shared decode steps -------------------------------------------------------------------

// The geometry's counts as byte sizes; false when a count is negative or absurd.
struct GeometryBytes {
  size_t mutual;
  size_t self;
  size_t extra;
};
bool geometry_bytes(const PanelGeometry *geometry, GeometryBytes *out);

// Gives the record the geometry's rows and columns: they tell every reader of the frame how
// many values its buffers hold (rows x columns mutual, rows + columns in each self line).
// False, logged once, when the geometry is not a panel of its own node counts or claims
// more values than the record's buffers hold; the decoder then refuses the frame.
bool stamp_geometry(DecodedFrame *record, const PanelGeometry *geometry);
// For decoders that copy the controller's frame header over the record (which brings the
// controller's own rows and columns): a header naming another panel than the configured
// one is logged, once per panel named, before the configured panel is stamped over it
// (the buffers were filled at the configured size).
void note_header_geometry(const DecodedFrame *record, const PanelGeometry *geometry, const char *function);

// Wrapper tail of the `_v2` tables: copy the slot header (16 bytes to record 36, then
// `driver_bytes` of slot bytes 16.. to record 52) and set record 358 from the state code.
void finish_v2_record(DecodedFrame *record, const uint8_t *slot, size_t driver_bytes);

// The decode of a `_v2` table: set the geometry's convert and dump bytes (negative: leave
// them), run the core on the controller frame, then finish the record (true) or count and
// log the failure ("%s: crc err %d!") in the table's own counter (false).
using CoreDecoder = bool (*)(DecodedFrame *, const uint8_t *, uint32_t, const PanelGeometry *);
bool decode_v2(CoreDecoder core, DecodedFrame *record, const uint8_t *slot, uint32_t slot_size,
               PanelGeometry *geometry, int convert, int dump, size_t driver_bytes, int32_t *failures);

// Clamp of a 16-bit text length from a frame: negative or above 100 gives 100.
size_t text_copy_length(int16_t length);

// Logs a refused length or count once per (site, value): a broken stream repeats the
// same refusal every frame.
void log_refusal(const char *function, const char *what, long long value, long long limit);

// Report-rate code of the Luma-layout frames to Hz.
uint16_t luma_rate_hz(uint8_t code);

// True when a configuration is one the decoders can allocate for: node counts in range and
// those of its rows and columns (refused with a log line otherwise).
bool config_sane(const DecoderConfig *config);

}  // namespace hal_decoder
