#pragma once
// The raw-data interface (the host's per-frame entry for the algorithm's output) and the
// raw-frame capture files under /data/vendor/touch.
#include <stddef.h>
#include <stdint.h>

#include "core/hal_core.h"

#ifdef __cplusplus
extern "C" {
#endif

#define HAL_RAW_DIR "/data/vendor/touch/"
#define HAL_RAW_LIVE_FILE "/data/vendor/touch/raw.dat"
#define HAL_RAW_FILE_LIMIT 104857600L  // a capture file above this size is closed
#define HAL_RAW_NAME_MAX 128
#define HAL_RAW_TEXT_BLOCK 8192
#define HAL_RAW_DEBUG_MARK 654321u
#define HAL_RAW_DEBUG_RECORD_BYTES 744  // the debug record's head copied whole
#define HAL_RAW_DEBUG_HEAD_BYTES 120    // the debug image before its arrays
#define HAL_RAW_RING_MAX 16

// The capture modes that own a file.
enum HalRawMode {
  HAL_RAW_MODE_TEST = 1074,
  HAL_RAW_MODE_RAW = 1076,
  HAL_RAW_MODE_BREAKLINE = 1080,
  HAL_RAW_MODE_TRIGGER = 1082
};

// The algorithm-output record the host hands to HalModule slot 8 each frame. The module
// reads it by position; the fields between them belong to whoever fills the record.
#pragma pack(push, 1)
typedef struct HalAlgOutput {
  const int16_t *mutual;       // 0: filtered mutual frame, RX x TX values
  const int16_t *self;         // 8: self lines, RX + TX values
  uint64_t timestamp_ns;       // 16: frame time, wall clock
  int64_t value;               // 24: logged with the test captures
  const uint8_t *debug;        // 32: debug record (carries HAL_RAW_DEBUG_MARK at byte 4)
  const int16_t *unfiltered;   // 40: unfiltered mutual frame, RX x TX values (may be null)
  uint8_t reserved[8];         // 48
  uint8_t image_head[16];      // 56: copied into the debug image
  uint16_t image_word0;        // 72
  uint16_t image_word1;        // 74
  uint8_t water;               // 76
  uint8_t glove;               // 77
  uint8_t no_finger;           // 78
  uint8_t tail;                // 79
} HalAlgOutput;
#pragma pack(pop)

VENDOR_ASSERT_SIZE(HalAlgOutput, 80);
VENDOR_ASSERT_OFFSET(HalAlgOutput, debug, 32);
VENDOR_ASSERT_OFFSET(HalAlgOutput, image_head, 56);
VENDOR_ASSERT_OFFSET(HalAlgOutput, image_word0, 72);
VENDOR_ASSERT_OFFSET(HalAlgOutput, water, 76);
VENDOR_ASSERT_OFFSET(HalAlgOutput, no_finger, 78);

// Byte positions inside the debug record.
enum HalRawDebugOffset {
  HAL_DBG_MARK = 4,
  HAL_DBG_WORD8 = 8,
  HAL_DBG_WORD492 = 492,
  HAL_DBG_TIME532 = 532,
  HAL_DBG_WORD560 = 560,
  HAL_DBG_BLOCK564 = 564,  // 64 bytes
  HAL_DBG_WORD632 = 632,
  HAL_DBG_KIND = 656,
  HAL_DBG_PTR664 = 664,
  HAL_DBG_PTR672 = 672,
  HAL_DBG_PTR688 = 688,
  HAL_DBG_PTR696 = 696,
  HAL_DBG_PTR704 = 704,
  HAL_DBG_PTR720 = 720,
  HAL_DBG_PTR728 = 728,
  HAL_DBG_PTR736 = 736
};

// Per-frame process (HalModule slot 8).
int32_t hal_raw_data_process(void *alg_output);

// Capture files.
VENDOR_EXPORT void thp_raw_frame_save(int32_t mode, const uint8_t *header, const uint8_t *frame,
                                      uint32_t header_length, uint32_t frame_length);
VENDOR_EXPORT void thp_save_raw_dump_close(int32_t mode);
VENDOR_EXPORT int32_t thp_save_single_frame(const int16_t *filtered, const int16_t *unfiltered, int32_t per_row,
                                            int32_t rows, const char *suffix);
VENDOR_EXPORT void thp_test_mode(int32_t mode, const HalModuleParam *param);

// The capture buffers the dump interface keeps, read by the file functions.
// thp_raw_frame_buffer_save (count, mode) saves the newest `count` history entries.
VENDOR_EXPORT void thp_raw_frame_buffer_save(uint32_t count, int32_t mode);

// Test view: whether the mode's capture file is open, the raw ring index.
bool hal_raw_file_open(int32_t mode);
uint32_t hal_raw_ring_index(void);

#ifdef __cplusplus
}
#endif
