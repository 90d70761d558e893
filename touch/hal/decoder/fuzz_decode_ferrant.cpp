// Fuzz entry point: one driver slot of Ferrant frames (first and second generation).
#include "fuzz_decode_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static const device_operation *const kTables[] = {&ferrant_operation, &ferrant_operation_v2};
  return decoder_fuzz::decode_with(kTables, sizeof kTables / sizeof kTables[0], data, size);
}
