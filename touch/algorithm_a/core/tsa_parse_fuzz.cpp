// Fuzz entry point: raw controller frames through the parser, with the module's own
// counts and buffers (4 drive x 6 sense lines, 2 frequencies).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "checksum_mutator.h"
#include "fuzz_fixups.h"
#include "tsa_parse.h"

namespace entry {
inline void fix(uint8_t* data, size_t size, unsigned) { ferrant_fuzz::fix_frame(data, size); }
}  // namespace entry

VENDOR_FUZZ_CHECKSUM_MUTATOR(entry::fix);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static uint16_t auwMutual[kFerrantMaxNodes];
  static uint16_t auwSelf[2 * 255];
  static uint16_t auwIm[2 * 255];
  static uint8_t aubRx[kRxNoiseInfoBytes];
  static uint8_t aubHead[kParseHeadBytes];
  static AdcSatGroup astHeads[3];
  std::vector<uint8_t> frame(data, data + size);
  FrameParseInput in = {static_cast<uint32_t>(size), 2, 4, 6, frame.data()};
  FrameParseTargets targets = {&astHeads[0], auwMutual, &astHeads[1], auwSelf, &astHeads[2], auwIm, aubRx, aubHead};
  ParseFramedata(&in, &targets);
  return 0;
}
