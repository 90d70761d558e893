// Effect-file names come from the firmware directory: any byte string must parse or be
// refused without harm, and what parses must be within the record's ranges.
#include <stddef.h>
#include <stdint.h>

#include <cstdlib>
#include <string_view>

#include "StreamEffect.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 255) return 0;  // longer than any directory entry name
  const std::string_view name(reinterpret_cast<const char*>(data), size);
  if (auto parsed = parseEffectFileName(name)) {
    if (parsed->sampleRate < 0 || parsed->id > 999999999u) std::abort();
    if (parsed->transport != 0 && parsed->transport != 1) std::abort();
  }
  return 0;
}
