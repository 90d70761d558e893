#pragma once
// Block scrambler of the controller's frame sections: a fixed word shuffle over 64-byte
// blocks, XOR-masked. The frame parser descrambles with ferx_decrypt; ferx_encrypt is the
// inverse, exported for tools.
#include <cstdint>

#include "vendor_export.h"

// The mask is put together from two halves at run time (as the firmware side does), so the
// whole word never sits in the image. Both halves must match the controller firmware.
#define FERX_SCRAMBLE_MASK_HIGH 0x6A5Du
#define FERX_SCRAMBLE_MASK_LOW 0x93C7u
#define FERX_SCRAMBLE_BLOCK_BYTES 64u
#define FERX_SCRAMBLE_BLOCK_WORDS 16u

// Both accept in == out. A null in or out does nothing. Whole 64-byte blocks are
// transformed; a tail shorter than a block (or a buffer shorter than one) is copied as is.
VENDOR_EXPORT void ferx_encrypt(const uint8_t* in, uint8_t* out, uint32_t length);
VENDOR_EXPORT void ferx_decrypt(const uint8_t* in, uint8_t* out, uint32_t length);
