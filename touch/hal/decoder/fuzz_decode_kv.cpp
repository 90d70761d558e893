// Fuzz entry point: one driver slot of kv frames.
#include "fuzz_decode_fixups.h"

namespace entry {
inline void fix(uint8_t *slot, size_t size, unsigned) { decoder_fuzz::fix_frame(slot, size, 64, decoder_fuzz::fix_kv); }
}  // namespace entry

VENDOR_FUZZ_CHECKSUM_MUTATOR(entry::fix);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static const device_operation *const kTables[] = {&kv_operation};
  return decoder_fuzz::decode_with(kTables, sizeof kTables / sizeof kTables[0], data, size);
}
