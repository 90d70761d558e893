// Fuzz entry: arbitrary bytes as the water network's weight stream (any length), run over
// a fixed frame. The reader must never step outside the stream, and no weight value may
// make the engine misbehave.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "net_water_internal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::vector<uint8_t> buffer(kWaterNetPoolBytes);
  std::vector<uint8_t> blob(data, data + size);  // a private copy, sized exactly
  std::vector<float> frame(3 * 20 * 40);
  for (size_t j = 0; j < frame.size(); ++j) frame[j] = static_cast<float>((j * 37) % 101) - (j < 1600 ? 50.0f : 0.0f);
  WaterNetState st{};
  uint32_t s1 = 0, s2 = 0;
  WaterNetRunReport rep{};
  const WaterNetRunArgs a{frame.data(), &st, 20, 40, 3, &s1, &s2, buffer.data(), blob.data(),
                          static_cast<uint32_t>(blob.size())};
  if (NetWaterRun(a, &rep) == 0 && (s1 > 100 || s2 > 100)) __builtin_trap();
  if (rep.uiConsumedBytes > blob.size()) __builtin_trap();
  return 0;
}
