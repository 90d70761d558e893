// Fuzz entry point: one driver slot of kv frames.
#include "fuzz_decode_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static const device_operation *const kTables[] = {&kv_operation};
  return decoder_fuzz::decode_with(kTables, sizeof kTables / sizeof kTables[0], data, size);
}
