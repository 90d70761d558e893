// Fuzz entry: arbitrary bytes as the denoise network's weight object (header and stream,
// any length). The first two header bytes pick the image size (the network skips the
// header). The reader must never step outside the object, a short object must fail, and
// a failed run must leave the image as it was.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "net_denoise_internal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::vector<uint8_t> buffer(kDenoiseNetPoolBytes);
  static bool sbInit = false;
  if (!sbInit) {
    DenoiseNetInit();
    sbInit = true;
  }
  std::vector<uint8_t> blob(data, data + size);  // a private copy, sized exactly
  const int32_t rows = size >= 1 ? 1 + data[0] % 40 : 20;
  const int32_t cols = size >= 2 ? 1 + data[1] % 64 : 40;
  std::vector<int16_t> diff(static_cast<size_t>(rows) * cols);
  for (size_t j = 0; j < diff.size(); ++j) diff[j] = static_cast<int16_t>((j * 53) % 997 - 400);
  const std::vector<int16_t> before = diff;
  std::vector<uint16_t> halfMeans(kDenoiseNetMaxRows);
  DenoiseNetRunReport rep{};
  const DenoiseNetRunArgs a{diff.data(), halfMeans.data(), buffer.data(), rows, cols, blob.data(),
                            static_cast<uint32_t>(blob.size())};
  const uint32_t r = DenoiseNetRun(a, &rep);
  if (size >= kDenoiseNetHeaderBytes && rep.uiConsumedBytes > size - kDenoiseNetHeaderBytes) __builtin_trap();
  if (r == 0 && size < kDenoiseNetWeightBytes) __builtin_trap();
  if (r != 0 && diff != before) __builtin_trap();
  return 0;
}
