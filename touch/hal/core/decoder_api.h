#pragma once
// The frame decoder framework as the frame thread calls it. The decoder area implements
// these names; core keeps a weak stand-in (a table that rejects every slot) so the module
// links without it.
//
// A decode is given the whole driver slot (24-byte slot header, then the controller frame)
// and its length, so that no length or count read from the frame is trusted beyond it.
#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#include "core/hal_core.h"
#include "decoded_frame.h"

#ifdef __cplusplus
extern "C" {
#endif

// The decoder configuration, from the "hw" and "stylus" sections of the module's
// configuration file (defaults in brackets), filled by the frame-data interface.
typedef struct DecoderConfig {
  uint8_t columns;            // "hal_col_num" (40)
  uint8_t rows;               // "hal_row_num" (18)
  int32_t node_count;         // "hal_node_num" (720)
  int32_t snode_count;        // "hal_snode_num" (58)
  int32_t nnode_count;        // "hal_nnode_num" (240)
  uint8_t scan_freq_num;      // "scan_freq_num" (3)
  uint8_t kb_raw_normalize;   // "kb_raw_normalize" (0)
  uint8_t big_little_convert; // "big_little_convert" (0, a flag)
  uint8_t save_tic_dump;      // "save_tic_dump.save_tic_dump" (0, a flag)
  uint8_t stylus_en;          // "stylus.stylus_en" (0)
  uint8_t stylus_col1;        // "stylus.stylus_num_col1" (8)
  uint8_t stylus_row1;        // "stylus.stylus_num_row1" (60)
  uint8_t stylus_col2;        // "stylus.stylus_num_col2" (40)
  uint8_t stylus_row2;        // "stylus.stylus_num_row2" (12)
} DecoderConfig;

// True when the node counts are those of a panel of rows x columns: the mutual matrix holds
// rows x columns values and a self line rows + columns. Every buffer is sized by the counts
// while every frame tells its readers the rows and columns, so counts that differ would hand
// them buffers shorter than the frame claims.
static inline bool decoder_config_counts_match(const DecoderConfig *config) {
  return config->rows != 0 && config->columns != 0 &&
         config->node_count == (int32_t)config->rows * config->columns &&
         config->snode_count == (int32_t)config->rows + config->columns;
}

// init: prepares the buffers of `count` consecutive records (stride 1296); 0 or -1.
typedef int32_t (*device_init_fn)(DecodedFrame *first, const DecoderConfig *config, int32_t count);
// release: frees what init allocated for `count` records and nulls the pointers.
typedef void (*device_release_fn)(DecodedFrame *first, int32_t count);
// decode: one driver slot of slot_len bytes into one record; true for a valid frame.
typedef bool (*device_decode_fn)(DecodedFrame *record, const uint8_t *slot, uint32_t slot_len,
                                 PanelGeometry *geometry);

typedef struct device_operation {
  device_init_fn init;
  device_release_fn release;
  device_decode_fn decode;
} device_operation;

VENDOR_ASSERT_SIZE(device_operation, 24);

#define FRAME_DATA_TYPE_DEFAULT 2  // "project_infor.frame_data_type"

// Selects the decoder table for a configured frame data type (above 8, unsigned: kv).
void current_device_operation_init(int32_t index);
// A copy of the current table; the frame thread asks for it at every init, decode, release.
device_operation get_current_device_operation(void);

#ifdef __cplusplus
}
#endif
