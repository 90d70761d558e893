#pragma once
// Frame decoders of the HAL module: the door of touch/hal/decoder.
//
// The driver writes every scanned frame into a slot of its mapped ring: a 24-byte slot
// header (driver frame information) followed by the controller frame, whose format depends
// on the controller family. A `device_operation` table turns one slot into one
// `DecodedFrame` record and owns the buffers behind the record's pointers.
//
// The frame-data interface selects the table once the configuration is read
// (`current_device_operation_init`) and calls the current table's init over its 17
// records, decode for every new slot, and release at exit (all on one thread: the tables
// keep module-wide state and take no lock).
//
// Every decode also takes the number of bytes readable at the slot: the frames carry their
// own lengths and counts, and none of them is used before it is checked against that size
// and against the buffers that init allocated.
#include <stddef.h>
#include <stdint.h>

#include "core/decoder_api.h"
#include "decoded_frame.h"
#include "vendor_export.h"
#include "vendor_layout.h"

#ifdef __cplusplus
extern "C" {
#endif

// Exported by name from the plug-in (inside this extern "C" block).
#define DECODER_EXPORT __attribute__((visibility("default")))

#define DECODER_SLOT_HEADER_SIZE 24     // driver frame information before the controller frame
#define DECODER_TABLE_COUNT 9           // entries of the selection table
#define DECODER_RESERVED_BLOCK_SIZE 255 // record 148 buffer (also luma_get_debug_buf_max_size)
#define DECODER_TEXT_MAX 100            // debug text kept per frame (record 368..467)

// DecoderConfig, PanelGeometry and device_operation are declared with the frame thread's
// call in core/decoder_api.h.

// The configuration defaults, for callers that have no configuration file.
void decoder_config_defaults(DecoderConfig *config);
// The geometry that matches a configuration (convert and dump bytes left 0).
void decoder_geometry_from_config(const DecoderConfig *config, PanelGeometry *geometry);

// First generation: the decode reads the whole slot itself.
DECODER_EXPORT extern const device_operation luma_operation;
DECODER_EXPORT extern const device_operation ferrant_operation;
DECODER_EXPORT extern const device_operation kv_operation;
DECODER_EXPORT extern const device_operation pellon_operation;
// Second generation: the decode wraps a core decoder that reads the controller frame only.
DECODER_EXPORT extern const device_operation luma_operation_v2;
DECODER_EXPORT extern const device_operation ferrant_operation_v2;
DECODER_EXPORT extern const device_operation zet50210_operation_v2;
DECODER_EXPORT extern const device_operation pellon_operation_v2;

// Core decoders: `frame` is the controller frame (slot + 24) with `frame_size` readable bytes.
DECODER_EXPORT bool luma_decode_frame_data_core(DecodedFrame *record, const uint8_t *frame, uint32_t frame_size,
                                               const PanelGeometry *geometry);
DECODER_EXPORT bool pellon_decode_frame_data_core(DecodedFrame *record, const uint8_t *frame, uint32_t frame_size,
                                                 const PanelGeometry *geometry);
DECODER_EXPORT bool ferrant_decode_frame_data_core(DecodedFrame *record, const uint8_t *frame, uint32_t frame_size,
                                                  const PanelGeometry *geometry);
DECODER_EXPORT bool zet50210_decode_frame_data_core(DecodedFrame *record, const uint8_t *frame, uint32_t frame_size,
                                                   const PanelGeometry *geometry);

// 2056 - 2 * mutual - 4 * self bytes (may be zero or negative).
int32_t luma_get_reserved_data_size(int32_t mutual_count, int32_t self_count);
int32_t luma_get_debug_buf_max_size(void);

// Buffer allocation seam: every buffer of init goes through these (zero-filled). Null
// arguments restore calloc/free. Lets a caller account for or refuse allocations.
typedef void *(*decoder_alloc_fn)(size_t bytes);
typedef void (*decoder_free_fn)(void *ptr);
void decoder_set_allocator(decoder_alloc_fn alloc_fn, decoder_free_fn free_fn);

#ifdef __cplusplus
}
#endif
