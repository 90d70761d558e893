// Fuzz entry point over the controller information parser: any bytes, any length.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "tsa_cmdchan.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The parser reads at most the bytes it is told it may; give it exactly the input.
  std::vector<uint8_t> block(data, data + size);
  IcInfo info{};
  (void)ferx_parse_ic_info(block.data(), static_cast<uint32_t>(block.size()), &info);
  return 0;
}
