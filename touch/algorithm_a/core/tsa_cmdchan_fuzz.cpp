// Fuzz entry point over the controller information parser: any bytes, any length.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "checksum_mutator.h"
#include "fuzz_fixups.h"
#include "tsa_cmdchan.h"

namespace entry {
inline void fix(uint8_t* data, size_t size, unsigned) { ferrant_fuzz::fix_ic_info(data, size); }
}  // namespace entry

VENDOR_FUZZ_CHECKSUM_MUTATOR(entry::fix);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The parser reads at most the bytes it is told it may; give it exactly the input.
  std::vector<uint8_t> block(data, data + size);
  IcInfo info{};
  (void)ferx_parse_ic_info(block.data(), static_cast<uint32_t>(block.size()), &info);
  return 0;
}
