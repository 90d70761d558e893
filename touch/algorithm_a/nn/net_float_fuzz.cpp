// Fuzz entry: arbitrary bytes as the floating-finger network's weight block (any length;
// the corpus holds whole blocks, so the values themselves are explored: NaNs, infinities,
// subnormals, huge weights). The reader must never step outside the block, a short block
// must fail, a failed run must leave the map addresses unset, and every map value of a
// run that succeeds lies within 0..1000.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "net_float_internal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::vector<uint8_t> buffer(kFloatNetBufferBytes);
  std::vector<uint8_t> blob(data, data + size);  // a private copy, sized exactly
  const int32_t rows = size >= 1 ? 1 + data[0] % 48 : 20;
  const int32_t cols = size >= 2 ? 1 + data[1] % 56 : 40;
  std::vector<int16_t> diff(static_cast<size_t>(rows) * cols);
  for (size_t j = 0; j < diff.size(); ++j) diff[j] = static_cast<int16_t>((j * 53) % 997 - 400);
  uint16_t* m1 = nullptr;
  uint16_t* m2 = nullptr;
  uint32_t consumed = 0;
  const FloatNetRunArgs a{diff.data(), buffer.data(), rows, cols, &m1, &m2, blob.data(),
                          static_cast<uint32_t>(blob.size())};
  const uint32_t r = NetFloatRun(a, &consumed);
  if (consumed > size) __builtin_trap();
  if (r == 0 && size < kFloatNetWeightBytes) __builtin_trap();
  if (r != 0 && (m1 != nullptr || m2 != nullptr)) __builtin_trap();
  if (r == 0) {
    for (const uint16_t* m : {m1, m2})
      for (uint32_t j = 0; j < kFloatNetAreaValues; ++j) {
        if (m[j] > 1000) __builtin_trap();
      }
  }
  return 0;
}
