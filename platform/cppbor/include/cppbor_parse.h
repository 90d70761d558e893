#pragma once
// Decoding one CBOR item into a cppbor tree. Items this library does not model (tags,
// floating point, undefined and other simple values, map keys other than integers and
// strings) are refused with a message.
#include <cppbor.h>

#include <string>
#include <tuple>

namespace cppbor {

using ParseResult = std::tuple<std::unique_ptr<Item>, const uint8_t*, std::string>;

// Decodes the first item of [begin, end): the item, the position after it, and an empty
// message; or no item, the position of the failure and what went wrong.
ParseResult parse(const uint8_t* begin, const uint8_t* end);
inline ParseResult parse(const std::vector<uint8_t>& encoded) {
  return parse(encoded.data(), encoded.data() + encoded.size());
}
inline ParseResult parse(const uint8_t* begin, size_t size) { return parse(begin, begin + size); }

}  // namespace cppbor
