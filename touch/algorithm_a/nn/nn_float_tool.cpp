// Runs the floating-finger network over one image read from files, for the numpy
// reference check:
//   nn_float_tool WEIGHTS DIFF ROWS COLS
// WEIGHTS: the weight block; DIFF: ROWS x COLS int16 values. Prints "result consumed",
// then the two output areas (2,912 values each, rows of 56).
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "net_float_internal.h"
#include "net_weights.h"
#include "frnn_fast.h"
#include "nn_tool_io.h"


int main(int argc, char** argv) {
  // The reference check runs the reference kernels exactly and the fast paths within
  // the half-precision rounding: the environment picks which.
  if (getenv("FRNN_REFERENCE_KERNELS") != nullptr) FrnnSetFastPaths(false);
  if (argc != 5) {
    fprintf(stderr, "usage: %s WEIGHTS DIFF ROWS COLS\n", argv[0]);
    return 2;
  }
  const std::vector<unsigned char> weights = ReadAll(argv[1]);
  const std::vector<unsigned char> raw = ReadAll(argv[2]);
  const int rows = atoi(argv[3]);
  const int cols = atoi(argv[4]);
  if (rows < 1 || cols < 1 || raw.size() != static_cast<size_t>(rows) * cols * 2) {
    fprintf(stderr, "diff size %zu does not hold %d x %d values\n", raw.size(), rows, cols);
    return 2;
  }
  std::vector<int16_t> diff(static_cast<size_t>(rows) * cols);
  for (size_t j = 0; j < diff.size(); ++j) diff[j] = static_cast<int16_t>(raw[2 * j] | (raw[2 * j + 1] << 8));
  std::vector<uint8_t> buffer(kFloatNetBufferBytes);
  uint16_t* m1 = nullptr;
  uint16_t* m2 = nullptr;
  // The layers read the weights widened and packed beforehand, as an installed block's are.
  FrnnPreparedSet prepared;
  NetWeightPrepare(&prepared, NetFloatPrepareRun, weights.data(), static_cast<uint32_t>(weights.size()));
  const FrnnPreparedScope use(&prepared);
  uint32_t consumed = 0;
  const FloatNetRunArgs a{diff.data(), buffer.data(), rows, cols, &m1, &m2, weights.data(),
                          static_cast<uint32_t>(weights.size())};
  const uint32_t r = NetFloatRun(a, &consumed);
  printf("%u %u\n", r, consumed);
  for (uint16_t* m : {m1, m2}) {
    for (uint32_t j = 0; j < kFloatNetAreaValues; ++j) printf("%u ", m != nullptr ? m[j] : 0u);
    printf("\n");
  }
  return 0;
}
