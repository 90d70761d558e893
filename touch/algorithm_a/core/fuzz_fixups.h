#pragma once
// Check-value fix-ups of algorithm A's fuzz entries (custom mutator, checksum_mutator.h):
// each rewrites the check values of a mutated input with the module's own checksum code, so
// that the parser behind the check is reached. Lengths stay as mutated; where the input
// cannot hold the checked length, that check is left as it is.
#include <cstddef>
#include <cstdint>

#include "tsa_cmdchan.h"
#include "tsa_config.h"
#include "tsa_parse.h"

namespace ferrant_fuzz {

// Controller information block: closed by the 16-bit byte sum of everything before it.
inline void fix_ic_info(uint8_t* data, size_t size) {
  if (size >= 2) ferrant_append_checksum(data, static_cast<uint32_t>(size - 2), 0);
}

// Raw controller frame: header bytes 0..11 under their 16-bit byte sum, and the end index
// (the last two of the data length's bytes, counted from the frame's start) repeating the
// header's frame index.
inline void fix_frame(uint8_t* data, size_t size) {
  if (size < kParseHeadBytes) return;
  const uint32_t uiDataLen = static_cast<uint32_t>(data[kParseHeadDataLen] | (data[kParseHeadDataLen + 1] << 8));
  if (uiDataLen >= kParseHeadBytes + kParseEndIndexBytes && uiDataLen <= size) {
    uint8_t* pubEnd = data + uiDataLen - kParseEndIndexBytes;
    pubEnd[0] = data[kParseHeadFrameIndex];
    pubEnd[1] = data[kParseHeadFrameIndex + 1];
  }
  ferrant_append_checksum(data, kParseHeadSumBytes, 0);
}

// Configuration blob: the body's 32-bit word sum at 60+L (when the body fits), then the
// header's byte sum.
inline void fix_config_blob(uint8_t* data, size_t size) {
  if (size < kCfgHeadLen) return;
  const uint32_t uiL = static_cast<uint32_t>(data[kCfgBodyLenPos] | (data[kCfgBodyLenPos + 1] << 8));
  if (uiL >= kCfgBodyLenMin && kCfgHeadLen + uiL <= size) ferrant_append_checksum(data + kCfgHeadLen, uiL - 4, 1);
  ferrant_append_checksum(data, kCfgHeadSumPos, 0);
}

}  // namespace ferrant_fuzz
