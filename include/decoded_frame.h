#pragma once
// DecodedFrame: one decoded controller frame, 1296 bytes, packed (fields sit at odd
// offsets), little-endian. Owned and filled by the HAL module's frame decoders (17 records:
// a ring of 16 plus the consumer copy handed to the host); read by the host and by both
// algorithm modules, which the host hands the record to unchanged.
//
// Bytes 60..123 are the controller's 64-byte frame header as the decoders copy it. The
// same bytes carry different meanings to different readers; each field below names its
// readers:
//   HAL    the frame ring, the report path and the decoders;
//   ALG-A  the Ferrant algorithm module (libtapsense_alg_ferrant);
//   ALG-B  the second algorithm module (libtapsense_alg).
#include <stdint.h>

#include "vendor_layout.h"

#ifdef __cplusplus
extern "C" {
#endif

#define DECODED_FRAME_SIZE 1296
#define DECODED_FRAME_VALID_MARK 0x5FA5u      // valid_mark; ALG-B tests only the low byte
#define DECODED_FRAME_VALID_MARK_LOW 0xA5u

// frame_type values the consumers act on.
#define DECODED_FRAME_TYPE_NORMAL 4           // ALG-A: normal frame
#define DECODED_FRAME_TYPE_TAKE_BASE 16       // ALG-B: take a new base
#define DECODED_FRAME_TYPE_KB_CHECK 17        // ALG-A: k/b check frame (Ferrant base data)
#define DECODED_FRAME_TYPE_STYLUS 29          // zet50210 stylus frame
#define DECODED_FRAME_TYPE_NONE 255           // Ferrant v2 frame with no packets

// frame_flags bits (ALG-A).
#define DECODED_FRAME_FLAG_REFERENCE 0x01u
#define DECODED_FRAME_FLAG_RESTORE_REFERENCE 0x08u
#define DECODED_FRAME_FLAG_FREQ_SCAN 0x10u
#define DECODED_FRAME_FLAG_GAME_ONLY 0x60u

#pragma pack(push, 1)

// Bytes 171..208: the Luma decoders copy nineteen 16-bit tail fields here; the Ferrant
// decoders and both algorithm modules read the same bytes as noise values and
// ADC-saturation groups ({u32, u16} each).
typedef union DecodedFrameTail {
  uint16_t words[19];                // HAL (Luma tail block)
  struct {
    uint8_t reserved171[4];
    uint8_t noise_block[16];         // 175..190: Ferrant extra/scan-frequency values; ALG-B noise record
    uint32_t mutual_adc_sat;         // 191: ALG-A mutual saturation (high 16 bits: count)
    uint16_t mutual_adc_sat_word;    // 195
    uint32_t self_adc_sat;           // 197: ALG-A self group (ALG-B reads byte 201 as self noise)
    uint16_t self_adc_sat_word;      // 201
    uint32_t im_adc_sat;             // 203: ALG-A IM group
    uint16_t im_adc_sat_word;        // 207
  } sat;
} DecodedFrameTail;

typedef struct DecodedFrame {
  uint8_t reserved0[36];
  // Driver slot header copy (bytes 36..59).
  uint64_t frame_time_ns;            // 36: first 8 bytes of the driver's frame information
                                     //     (HAL last-frame-info; ALG-B frame time)
  uint64_t frame_count;              // 44: driver frame count (ALG-A keeps the low 32 bits
                                     //     as its frame number)
  uint32_t driver_word;              // 52: slot bytes 16..19 (ALG-B fingerprint resume-pressed word)
  uint32_t driver_word2;             // 56: slot bytes 20..23 (Luma, Pellon)
  // Controller frame header (bytes 60..123).
  uint16_t valid_mark;               // 60: DECODED_FRAME_VALID_MARK
  uint16_t frame_index;              // 62: controller frame index (head index)
  uint32_t check_value;              // 64: Luma check value; Ferrant v2 failure count
  uint32_t header_reserved68;        // 68
  uint32_t inverted_check_value;     // 72: Luma v2
  uint32_t header_reserved76;        // 76
  uint8_t frame_flags;               // 80: ALG-A frame flags (DECODED_FRAME_FLAG_*)
  uint8_t state_byte81;              // 81: Ferrant v2 clears 81..82 as one u16
  uint8_t state_byte82;              // 82
  uint8_t state_byte83;              // 83
  uint8_t state_code;                // 84: HAL controller state (4 = frames continuous);
                                     //     ALG-A scan mode 2/4; ALG-B 2 = controller idle
  uint8_t report_rate_codes;         // 85: low nibble current, high nibble previous
  uint16_t scan_freq;                // 86: ALG-A k/b check frequency code; ALG-B noise word 0
  uint16_t ic_frame_count;           // 88: ALG-A frame index; ALG-B controller frame count
  uint16_t dropped_frames;           // 90: ALG-B controller dropped-frame count
  uint16_t noise_values[6];          // 92..103: ALG-B noise values
  uint16_t frame_length;             // 104: frame length; ALG-A keeps it in its frame head
  uint16_t status_word;              // 106: Ferrant v2 status word
  uint8_t columns;                   // 108: sense lines and
  uint8_t rows;                      // 109: drive lines of the panel the buffers hold: every
                                     //      decoder stamps the configured panel, and both
                                     //      algorithms refuse any other (0 x 0 too)
  uint16_t ic_time_ms;               // 110: controller status / time stamp (ALG-B ms gap)
  uint16_t report_rate_hz;           // 112
  uint8_t scan_freq_index;           // 114: ALG-A firmware frequency index; ALG-B value - 1
  uint8_t header_reserved115;        // 115
  uint8_t frame_type;                // 116: DECODED_FRAME_TYPE_*
  uint16_t header_reserved117;       // 117
  uint8_t reserved_block_len;        // 119: bytes behind reserved_block
  uint16_t header_reserved120[2];    // 120..123
  // Buffers behind pointers (allocated by the decoder's init, deep-copied for the host).
  int16_t *mutual;                   // 124: node count values; ALG-A reads raw u16 and writes
                                     //      the diff back; ALG-A host slot 7 gets this pointer
  int16_t *self1;                    // 132: self-node count values (ALG-B self slot 1)
  int16_t *self2;                    // 140: second self line (ALG-B self slot 0)
  uint8_t *reserved_block;           // 148: ALG-B host parameter bytes
  uint16_t tail_word;                // 156
  int16_t debug_text_len;            // 158
  char *debug_text;                  // 160
  uint8_t tail_byte0;                // 168
  uint8_t tail_byte1;                // 169: ALG-B bit 0 -> frame flag word bit 12
  uint8_t reserved170;               // 170
  DecodedFrameTail tail;             // 171..208
  int16_t extra1_len;                // 209: bytes behind extra1
  int16_t *extra1;                   // 211: ALG-A IM data; ALG-B two debug lines
  uint16_t extra2_count;             // 219: ALG-B: non-zero means extra2 holds a line
  int16_t *extra2;                   // 221
  uint8_t extra_block[16];           // 229..244
  int16_t norm_len;                  // 245: bytes behind norm_data
  int16_t *norm_data;                // 247: ALG-A k/b check data (Ferrant normalisation store)
  int32_t kdata_check;               // 255: ALG-A k-data check value
  uint16_t kdata_check_word;         // 259: ALG-A k-data check word
  uint8_t normalize_byte;            // 261: ALG-A normalisation byte
  uint8_t reserved262[3];
  uint8_t stylus_header[36];         // 265..300 (byte 11 = record 276: quarter number)
  int16_t *stylus[4];                // 301, 309, 317, 325
  uint8_t stylus_trailer[20];        // 333..352
  uint8_t stylus_matrix_complete;    // 353
  uint8_t stylus_frame;              // 354
  uint8_t stylus_frame2;             // 355
  uint8_t high_rate_or_idle;         // 356
  uint8_t kv_status;                 // 357
  uint8_t frame_watchdog_wanted;     // 358: HAL restarts its frame watchdog while set
  int16_t normalize_scan_count;      // 359
  uint8_t normalize_status;          // 361: 1 when status bit 7 is clear (Ferrant v1)
  uint8_t kb_reset_request;          // 362: ALG-A k/b reset request
  uint8_t normalize_all_freqs;       // 363
  uint8_t reserved364[4];
  char text_area[100];               // 368..467: debug_text may point here
  uint8_t reserved468[16];
  int32_t decode_fail_count;         // 484: first-generation decoder failure count
  uint8_t reserved488[764];
  int32_t dump_type;                 // 1252
  uint16_t dump_word;                // 1256
  uint8_t reserved1258[2];
  int16_t *dump_mutual;              // 1260
  int16_t *dump_self1;               // 1268
  int16_t *dump_self2;               // 1276
  uint8_t *dump_block;               // 1284
  int32_t dump_block_size;           // 1292
} DecodedFrame;

#pragma pack(pop)

VENDOR_ASSERT_SIZE(DecodedFrameTail, 38);
VENDOR_ASSERT_SIZE(DecodedFrame, 1296);
VENDOR_ASSERT_OFFSET(DecodedFrame, frame_time_ns, 36);
VENDOR_ASSERT_OFFSET(DecodedFrame, frame_count, 44);
VENDOR_ASSERT_OFFSET(DecodedFrame, driver_word, 52);
VENDOR_ASSERT_OFFSET(DecodedFrame, driver_word2, 56);
VENDOR_ASSERT_OFFSET(DecodedFrame, valid_mark, 60);
VENDOR_ASSERT_OFFSET(DecodedFrame, frame_index, 62);
VENDOR_ASSERT_OFFSET(DecodedFrame, check_value, 64);
VENDOR_ASSERT_OFFSET(DecodedFrame, header_reserved68, 68);
VENDOR_ASSERT_OFFSET(DecodedFrame, inverted_check_value, 72);
VENDOR_ASSERT_OFFSET(DecodedFrame, header_reserved76, 76);
VENDOR_ASSERT_OFFSET(DecodedFrame, frame_flags, 80);
VENDOR_ASSERT_OFFSET(DecodedFrame, state_byte81, 81);
VENDOR_ASSERT_OFFSET(DecodedFrame, state_byte82, 82);
VENDOR_ASSERT_OFFSET(DecodedFrame, state_byte83, 83);
VENDOR_ASSERT_OFFSET(DecodedFrame, state_code, 84);
VENDOR_ASSERT_OFFSET(DecodedFrame, report_rate_codes, 85);
VENDOR_ASSERT_OFFSET(DecodedFrame, scan_freq, 86);
VENDOR_ASSERT_OFFSET(DecodedFrame, ic_frame_count, 88);
VENDOR_ASSERT_OFFSET(DecodedFrame, dropped_frames, 90);
VENDOR_ASSERT_OFFSET(DecodedFrame, noise_values, 92);
VENDOR_ASSERT_OFFSET(DecodedFrame, frame_length, 104);
VENDOR_ASSERT_OFFSET(DecodedFrame, status_word, 106);
VENDOR_ASSERT_OFFSET(DecodedFrame, columns, 108);
VENDOR_ASSERT_OFFSET(DecodedFrame, rows, 109);
VENDOR_ASSERT_OFFSET(DecodedFrame, ic_time_ms, 110);
VENDOR_ASSERT_OFFSET(DecodedFrame, report_rate_hz, 112);
VENDOR_ASSERT_OFFSET(DecodedFrame, scan_freq_index, 114);
VENDOR_ASSERT_OFFSET(DecodedFrame, frame_type, 116);
VENDOR_ASSERT_OFFSET(DecodedFrame, header_reserved117, 117);
VENDOR_ASSERT_OFFSET(DecodedFrame, reserved_block_len, 119);
VENDOR_ASSERT_OFFSET(DecodedFrame, header_reserved120, 120);
VENDOR_ASSERT_OFFSET(DecodedFrame, mutual, 124);
VENDOR_ASSERT_OFFSET(DecodedFrame, self1, 132);
VENDOR_ASSERT_OFFSET(DecodedFrame, self2, 140);
VENDOR_ASSERT_OFFSET(DecodedFrame, reserved_block, 148);
VENDOR_ASSERT_OFFSET(DecodedFrame, tail_word, 156);
VENDOR_ASSERT_OFFSET(DecodedFrame, debug_text_len, 158);
VENDOR_ASSERT_OFFSET(DecodedFrame, debug_text, 160);
VENDOR_ASSERT_OFFSET(DecodedFrame, tail_byte0, 168);
VENDOR_ASSERT_OFFSET(DecodedFrame, tail_byte1, 169);
VENDOR_ASSERT_OFFSET(DecodedFrame, tail, 171);
VENDOR_ASSERT_OFFSET(DecodedFrame, tail.sat.noise_block, 175);
VENDOR_ASSERT_OFFSET(DecodedFrame, tail.sat.mutual_adc_sat, 191);
VENDOR_ASSERT_OFFSET(DecodedFrame, tail.sat.mutual_adc_sat_word, 195);
VENDOR_ASSERT_OFFSET(DecodedFrame, tail.sat.self_adc_sat, 197);
VENDOR_ASSERT_OFFSET(DecodedFrame, tail.sat.self_adc_sat_word, 201);
VENDOR_ASSERT_OFFSET(DecodedFrame, tail.sat.im_adc_sat, 203);
VENDOR_ASSERT_OFFSET(DecodedFrame, tail.sat.im_adc_sat_word, 207);
VENDOR_ASSERT_OFFSET(DecodedFrame, extra1_len, 209);
VENDOR_ASSERT_OFFSET(DecodedFrame, extra1, 211);
VENDOR_ASSERT_OFFSET(DecodedFrame, extra2_count, 219);
VENDOR_ASSERT_OFFSET(DecodedFrame, extra2, 221);
VENDOR_ASSERT_OFFSET(DecodedFrame, extra_block, 229);
VENDOR_ASSERT_OFFSET(DecodedFrame, norm_len, 245);
VENDOR_ASSERT_OFFSET(DecodedFrame, norm_data, 247);
VENDOR_ASSERT_OFFSET(DecodedFrame, kdata_check, 255);
VENDOR_ASSERT_OFFSET(DecodedFrame, kdata_check_word, 259);
VENDOR_ASSERT_OFFSET(DecodedFrame, normalize_byte, 261);
VENDOR_ASSERT_OFFSET(DecodedFrame, stylus_header, 265);
VENDOR_ASSERT_OFFSET(DecodedFrame, stylus, 301);
VENDOR_ASSERT_OFFSET(DecodedFrame, stylus_trailer, 333);
VENDOR_ASSERT_OFFSET(DecodedFrame, stylus_matrix_complete, 353);
VENDOR_ASSERT_OFFSET(DecodedFrame, stylus_frame, 354);
VENDOR_ASSERT_OFFSET(DecodedFrame, stylus_frame2, 355);
VENDOR_ASSERT_OFFSET(DecodedFrame, high_rate_or_idle, 356);
VENDOR_ASSERT_OFFSET(DecodedFrame, kv_status, 357);
VENDOR_ASSERT_OFFSET(DecodedFrame, frame_watchdog_wanted, 358);
VENDOR_ASSERT_OFFSET(DecodedFrame, normalize_scan_count, 359);
VENDOR_ASSERT_OFFSET(DecodedFrame, normalize_status, 361);
VENDOR_ASSERT_OFFSET(DecodedFrame, kb_reset_request, 362);
VENDOR_ASSERT_OFFSET(DecodedFrame, normalize_all_freqs, 363);
VENDOR_ASSERT_OFFSET(DecodedFrame, text_area, 368);
VENDOR_ASSERT_OFFSET(DecodedFrame, decode_fail_count, 484);
VENDOR_ASSERT_OFFSET(DecodedFrame, dump_type, 1252);
VENDOR_ASSERT_OFFSET(DecodedFrame, dump_word, 1256);
VENDOR_ASSERT_OFFSET(DecodedFrame, dump_mutual, 1260);
VENDOR_ASSERT_OFFSET(DecodedFrame, dump_self1, 1268);
VENDOR_ASSERT_OFFSET(DecodedFrame, dump_self2, 1276);
VENDOR_ASSERT_OFFSET(DecodedFrame, dump_block, 1284);
VENDOR_ASSERT_OFFSET(DecodedFrame, dump_block_size, 1292);

#ifdef __cplusplus
}
#endif
