// cppbor's parse on any input: an item it reads encodes to bytes that parse again to the
// same item, and re-encoding those gives the same bytes.
#include <cppbor.h>
#include <cppbor_parse.h>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto [item, end, err] = cppbor::parse(data, size);
  if (!item) return 0;
  if (end <= data || end > data + size) std::abort();
  const std::vector<uint8_t> encoded = item->encode();
  if (encoded.size() != item->encodedSize()) std::abort();
  auto [again, end2, err2] = cppbor::parse(encoded);
  if (!again || end2 != encoded.data() + encoded.size() || *again != *item || again->encode() != encoded) {
    std::abort();
  }
  return 0;
}
