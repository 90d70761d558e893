#include "tsa_scramble.h"

#include <cstring>

namespace {

// Output word i of a scrambled block is input word kFerxWordOrder[i].
const uint8_t kFerxWordOrder[FERX_SCRAMBLE_BLOCK_WORDS] = {5, 0, 15, 6, 1, 8, 9, 14,
                                                          13, 2, 7, 4, 3, 10, 11, 12};

uint32_t FerxMask() { return (FERX_SCRAMBLE_MASK_HIGH << 16) | FERX_SCRAMBLE_MASK_LOW; }

uint32_t LoadWord(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

void StoreWord(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

// One body for both directions: every word of a block is read before any is written, so
// in == out works.
void FerxTransform(const uint8_t* in, uint8_t* out, uint32_t length, bool encrypt) {
  if (in == nullptr || out == nullptr) return;
  const uint32_t whole = length - length % FERX_SCRAMBLE_BLOCK_BYTES;
  const uint32_t mask = FerxMask();
  for (uint32_t base = 0; base < whole; base += FERX_SCRAMBLE_BLOCK_BYTES) {
    uint32_t src[FERX_SCRAMBLE_BLOCK_WORDS];
    uint32_t dst[FERX_SCRAMBLE_BLOCK_WORDS];
    for (uint32_t i = 0; i < FERX_SCRAMBLE_BLOCK_WORDS; ++i) src[i] = LoadWord(in + base + 4 * i);
    for (uint32_t i = 0; i < FERX_SCRAMBLE_BLOCK_WORDS; ++i) {
      if (encrypt) {
        dst[i] = src[kFerxWordOrder[i]] ^ mask;
      } else {
        dst[kFerxWordOrder[i]] = src[i] ^ mask;
      }
    }
    for (uint32_t i = 0; i < FERX_SCRAMBLE_BLOCK_WORDS; ++i) StoreWord(out + base + 4 * i, dst[i]);
  }
  if (length > whole && in != out) std::memmove(out + whole, in + whole, length - whole);
}

}  // namespace

VENDOR_EXPORT void ferx_encrypt(const uint8_t* in, uint8_t* out, uint32_t length) {
  FerxTransform(in, out, length, true);
}

VENDOR_EXPORT void ferx_decrypt(const uint8_t* in, uint8_t* out, uint32_t length) {
  FerxTransform(in, out, length, false);
}
