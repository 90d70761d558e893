#pragma once
// A keymaster parameter with its value in the union member its tag's type selects.
#include <hardware/keymaster_defs.h>

#include <cstdint>

namespace kmtest {

inline keymaster_key_param_t KeyParam(uint32_t tag, uint64_t v) {
  keymaster_key_param_t p{};
  p.tag = static_cast<keymaster_tag_t>(tag);
  switch (tag >> 28) {
    case 5:  // unsigned 64-bit integers
    case 6:  // dates
    case 10:  // repeatable unsigned 64-bit integers
      p.long_integer = v;
      break;
    case 7:  // booleans
      p.boolean = v != 0;
      break;
    default:
      p.integer = static_cast<uint32_t>(v);
      break;
  }
  return p;
}

}  // namespace kmtest
