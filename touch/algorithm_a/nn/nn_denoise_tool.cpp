// Runs the denoise network over one image read from files, for the numpy reference check:
//   nn_denoise_tool WEIGHTS DIFF ROWS COLS
// WEIGHTS: the whole weight object (header included); DIFF: ROWS x COLS int16 values.
// Prints "result consumed_bytes", then the row half-means, then the denoised values.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "net_denoise_internal.h"
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
  std::vector<uint16_t> halfMeans(kDenoiseNetMaxRows);
  std::vector<uint8_t> buffer(kDenoiseNetPoolBytes);
  DenoiseNetInit();
  // The layers read the weights widened and packed beforehand, as an installed block's are.
  FrnnPreparedSet prepared;
  NetWeightPrepare(&prepared, DenoiseNetPrepareRun, weights.data(), static_cast<uint32_t>(weights.size()));
  const FrnnPreparedScope use(&prepared);
  DenoiseNetRunReport rep{};
  const DenoiseNetRunArgs a{diff.data(), halfMeans.data(), buffer.data(), rows, cols, weights.data(),
                            static_cast<uint32_t>(weights.size())};
  const uint32_t r = DenoiseNetRun(a, &rep);
  printf("%u %u\n", r, rep.uiConsumedBytes);
  for (int y = 0; y < rows; ++y) printf("%u ", halfMeans[y]);
  printf("\n");
  for (int16_t v : diff) printf("%d ", v);
  printf("\n");
  return 0;
}
