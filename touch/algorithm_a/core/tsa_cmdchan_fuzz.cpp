// Fuzz entry point over the controller information parser: any bytes, any length.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "checksum_mutator.h"
#include "tsa_cmdchan.h"

namespace entry {
// The block closes with the 16-bit byte sum of everything before it.
inline void fix(uint8_t* data, size_t size, unsigned) {
  if (size >= 2) ferrant_append_checksum(data, static_cast<uint32_t>(size - 2), 0);
}
}  // namespace entry

VENDOR_FUZZ_CHECKSUM_MUTATOR(entry::fix);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The parser reads at most the bytes it is told it may; give it exactly the input.
  std::vector<uint8_t> block(data, data + size);
  IcInfo info{};
  (void)ferx_parse_ic_info(block.data(), static_cast<uint32_t>(block.size()), &info);
  return 0;
}
