// Fuzz entry point: one driver slot of Luma frames (first and second generation).
#include "fuzz_decode_fixups.h"

namespace entry {
inline void fix(uint8_t *slot, size_t size, unsigned seed) {
  if (seed & 1)
    decoder_fuzz::fix_frame(slot, size, 64, decoder_fuzz::fix_luma_v1);
  else
    decoder_fuzz::fix_frame(slot, size, 64, [seed](uint8_t *f, size_t n) { decoder_fuzz::fix_luma_v2(f, n, seed >> 1); });
}
}  // namespace entry

VENDOR_FUZZ_CHECKSUM_MUTATOR(entry::fix);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static const device_operation *const kTables[] = {&luma_operation, &luma_operation_v2};
  return decoder_fuzz::decode_with(kTables, sizeof kTables / sizeof kTables[0], data, size);
}
