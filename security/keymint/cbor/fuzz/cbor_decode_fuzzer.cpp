// Walks any input to its end with the pull decoder. Where the input decodes, every item is
// written again with the encoder and that encoding must decode to the same items.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "cbor_tree.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vcbor;
  using namespace vcbor::testing;
  Decoder dec(data, size);
  std::vector<uint8_t> pool(size + 1);
  dec.setStringPool(pool.data(), pool.size());
  std::vector<Node> items;
  for (;;) {
    Node n;
    uint8_t e = readTree(dec, &n);
    if (e == kNoMoreItems) break;
    if (e != kSuccess) return 0;
    items.push_back(std::move(n));
  }
  if (dec.finish() != kSuccess) return 0;
  for (const Node& n : items) {
    std::vector<uint8_t> again = encodeTree(n);
    if (again.empty()) std::abort();
    Node back;
    if (decodeTree(again, &back) != kSuccess || !(back == n)) std::abort();
  }
  return 0;
}
