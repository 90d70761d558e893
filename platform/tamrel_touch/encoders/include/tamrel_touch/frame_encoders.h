#pragma once
// Frame encoders of the simulated touch controller: each builds the raw bytes a controller
// family writes into a driver ring slot, from a plain description, with its own checksum
// code. Tests feed the bytes to the HAL module's decoders and compare the decoded record
// with the description; the simulated driver pushes them into its mapped ring.
//
// A driver slot is a 24-byte slot header (frame time, frame count, driver words) followed
// by the controller frame (`make_slot`).
#include <stddef.h>
#include <stdint.h>

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace tamrel_touch::encode {

using Bytes = std::vector<uint8_t>;

// ---- driver slot -----------------------------------------------------------------------------

struct SlotHeader {
  uint64_t time_ns = 0;                 // slot bytes 0..7
  uint64_t frame_count = 0;             // slot bytes 8..15
  std::array<uint8_t, 8> driver{};      // slot bytes 16..23
};

// Slot header + frame, zero-padded to `slot_size` when that is larger.
Bytes make_slot(const SlotHeader &header, const Bytes &frame, size_t slot_size = 0);

// ---- Luma, Pellon and kv (64-byte header, matrices, tail) ------------------------------

struct LumaLayoutFrame {
  uint16_t frame_index = 0;             // frame byte 2
  uint32_t reserved8 = 0;               // 8
  uint32_t reserved16 = 0;              // 16
  std::array<uint8_t, 6> state{};       // 20..25: [4] state code (24), [5] rate code (25)
  uint16_t scan_freq = 0;               // 26
  std::array<uint16_t, 8> counters{};   // 28..42 (28 frame count, 30 dropped, 32..39 block)
  uint16_t reserved46 = 0;              // 46
  uint8_t columns = 0;                  // 48
  uint8_t rows = 0;                     // 49
  uint16_t status_word = 0;             // 50
  uint16_t report_rate_hz = 0;          // 52
  uint8_t scan_freq_number = 0;         // 54
  uint8_t frame_type = 0;               // 56
  uint16_t reserved57 = 0;              // 57
  std::array<uint16_t, 2> reserved60{}; // 60, 62
  std::vector<int16_t> mutual;
  std::vector<int16_t> self1;
  std::vector<int16_t> self2;           // Luma only
  Bytes reserved_block;                 // its size is header byte 59 (at most 255)
  uint16_t tail_word = 0;
  std::string text;                     // at most 100 bytes are placed in the frame
  std::optional<int16_t> text_length;   // the length field; the text's size when unset
  // Second-generation Luma tail.
  uint8_t tail_byte0 = 0;
  uint8_t tail_byte1 = 0;
  std::array<uint16_t, 19> tail_fields{};
  std::vector<int16_t> extra1;
  std::vector<int16_t> extra2;
  std::array<uint8_t, 16> extra_block{};
  // Second-generation Luma controller dump (frame byte 4096), placed when dump_type is set.
  std::optional<int32_t> dump_type;
  uint16_t dump_word = 0;
  std::vector<int16_t> dump_mutual, dump_self1, dump_self2;
  Bytes dump_block;
};

// Which check value a second-generation Luma frame carries.
enum class LumaCheck { kBlockCheck, kCrc };

// First generation, little-endian; the check covers (length / 4 - 5) words from byte 20.
Bytes encode_luma_v1(const LumaLayoutFrame &frame);
Bytes encode_pellon_v1(const LumaLayoutFrame &frame);
// kv: no frame index (frame_index is not encoded), reserved block, tail or text; the check covers ((mutual + self) * 2 + 64) / 4 - 5
// words, with the panel's node counts.
Bytes encode_kv(const LumaLayoutFrame &frame, int mutual_count, int self_count);
// Second-generation Luma: big-endian; the matrices fill a 2056-byte area.
Bytes encode_luma_v2(const LumaLayoutFrame &frame, LumaCheck check);
// Second-generation Pellon: little-endian, one self line.
Bytes encode_pellon_v2(const LumaLayoutFrame &frame);

// The checks, written for the encoders (bitwise CRC, plain loops).
uint32_t luma_crc32(const uint8_t *bytes, size_t n);       // poly 0xE89061DB, MSB first, init 0
uint32_t luma_bcc(const uint8_t *bytes, size_t n);         // 0xA55A ^ bytes..., + bytes... (signed)
uint32_t pellon_checksum(const uint8_t *words, size_t n);  // 0xA55A ^ words..., + words...

// ---- Ferrant -----------------------------------------------------------------------------------

struct FerrantV1Frame {
  uint8_t first_byte = 0;
  uint16_t head_index = 0;
  uint16_t report_rate_hz = 0;          // 20
  uint16_t status = 0;                  // 22
  uint8_t byte146 = 0;                  // 146
  uint16_t word148 = 0;                 // 148
  int16_t normalize_scan_count = 0;     // 168
  uint16_t tx_freq = 0;                 // 172
  uint8_t freq_number = 0;              // 174
  uint8_t kind = 0;                     // 176
  uint8_t debug_flag = 0;               // 177
  std::vector<int16_t> mutual;          // from 178
  std::array<uint8_t, 16> block16{};
  std::vector<int16_t> self;
  std::array<uint8_t, 38> block38{};
  std::vector<int16_t> extra;
  uint16_t tail_index = 0;              // length - 6
};
Bytes encode_ferrant_v1(const FerrantV1Frame &frame);

struct FerrantPacket {
  uint16_t type = 0;
  Bytes data;
  std::optional<uint16_t> size_override;  // the size field; 4 + padded data size when unset
};

struct FerrantV2Frame {
  uint16_t head_index = 0;
  uint16_t status_word = 0;
  std::vector<FerrantPacket> packets;
  std::optional<uint8_t> packet_count;  // byte 10; the number of packets when unset
  uint16_t tail_index = 0;
};
Bytes encode_ferrant_v2(const FerrantV2Frame &frame);

// Packet builders of the second generation (data laid out as the controller sends it).
FerrantPacket ferrant_status_packet(uint16_t frame_count, uint8_t flags, uint8_t byte3, uint16_t rate_hz,
                                    uint8_t state_bits, uint16_t time_word);
FerrantPacket ferrant_mutual_packet(uint16_t type, uint16_t freq_code, uint8_t freq_index, uint8_t byte6,
                                    uint8_t byte7, const std::vector<int16_t> &matrix,
                                    const std::array<uint8_t, 6> &saturation, const std::array<uint8_t, 16> &block);
FerrantPacket ferrant_self_packet(const std::vector<int16_t> &lines, const std::array<uint8_t, 6> &saturation);
FerrantPacket ferrant_extra_packet(const std::array<uint8_t, 16> &noise, const std::vector<int16_t> &values,
                                   const std::array<uint8_t, 6> &saturation);
FerrantPacket ferrant_base_packet(const std::vector<int16_t> &matrix, uint16_t freq_code, uint32_t kdata,
                                  uint16_t kword);
FerrantPacket ferrant_sums_packet(uint16_t word, const std::vector<std::pair<uint16_t, uint16_t>> &pairs);

// ---- zet50210 ------------------------------------------------------------------------------------

struct Zet50210Frame {
  bool skip_check = false;              // byte 0 = 0xFF
  std::array<uint8_t, 64> header{};     // bytes 0, 4..11 are set by the encoder
  uint8_t frame_type = 0;               // 56 (29: stylus frame)
  std::vector<int16_t> mutual;          // normal frame
  // Stylus frame.
  std::array<uint8_t, 36> stylus_header{};  // byte 11: quarter number
  std::vector<int16_t> stylus[4];
  std::array<uint8_t, 20> stylus_trailer{};
  std::vector<int16_t> quarter;         // mutual / 4 values
  bool corrupt_check = false;           // store a check value off by one
};
Bytes encode_zet50210(const Zet50210Frame &frame);

}  // namespace tamrel_touch::encode
