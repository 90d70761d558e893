#pragma once
// Test helper: a whole CBOR item as a tree, built with the pull decoder and written back
// with the encoder, so that tests can compare messages by value and round-trip them.
#include <cstdint>
#include <string>
#include <vector>

#include "cbor/cbor.h"

namespace vcbor::testing {

struct Node {
  uint8_t type = kTypeNone;
  uint64_t u = 0;       // integers (int64 stored as its bits), simple values
  double d = 0;
  std::vector<uint8_t> s;  // bytes and text
  std::vector<uint64_t> tags;
  std::vector<Node> kids;  // array elements; for a map label, value, label, value, ...

  bool operator==(const Node& o) const;
  std::string describe() const;
};

// Reads one whole item (the next one) into `out`; returns the decoder's code.
uint8_t readTree(Decoder& dec, Node* out);
// Decodes `bytes` as exactly one item with nothing after it.
uint8_t decodeTree(const std::vector<uint8_t>& bytes, Node* out);
// Encodes `node` in preferred serialisation.
std::vector<uint8_t> encodeTree(const Node& node);
// Walks every item of `bytes` to the end; the first error, or finish's result.
uint8_t walkAll(const uint8_t* data, size_t len);

// Looks up a text label in a map node; null when absent.
const Node* mapGet(const Node& map, const std::string& key);

}  // namespace vcbor::testing
