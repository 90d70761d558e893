// Fuzz entry: a module dump record read back from a file and restored.
#include <stddef.h>
#include <stdint.h>

#include <vector>

#include "dump/dump.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  // An exact-size heap copy, so that any read past the record is seen.
  std::vector<uint8_t> record(data, data + size);
  hal_send_dump_data(record.data(), static_cast<uint32_t>(record.size()), HAL_FUNCTION_INTERFACE_COUNT, 1, 1);
  return 0;
}
