// Fuzz entry point: one driver slot of zet50210 frames.
#include "fuzz_decode_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static const device_operation *const kTables[] = {&zet50210_operation_v2};
  return decoder_fuzz::decode_with(kTables, sizeof kTables / sizeof kTables[0], data, size);
}
