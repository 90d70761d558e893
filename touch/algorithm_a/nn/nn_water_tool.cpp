// Runs the water network over frames read from files, for the numpy reference check:
//   nn_water_tool WEIGHTS INPUTS FRAMES
// WEIGHTS: the weight blob; INPUTS: FRAMES frames of 3 x 20 x 40 float32 values. The
// GRU state carries from frame to frame. One line per frame:
//   result score1 score2 raw1 raw2 consumed_bytes state0 .. state7   (raw and state as
// half-precision bit patterns in hex)
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "net_water_internal.h"
#include "net_weights.h"
#include "frnn_fast.h"
#include "nn_tool_io.h"


int main(int argc, char** argv) {
  // The reference check runs the reference kernels exactly and the fast paths within
  // the half-precision rounding: the environment picks which.
  if (getenv("FRNN_REFERENCE_KERNELS") != nullptr) FrnnSetFastPaths(false);
  if (argc != 4) {
    fprintf(stderr, "usage: %s WEIGHTS INPUTS FRAMES\n", argv[0]);
    return 2;
  }
  const std::vector<unsigned char> weights = ReadAll(argv[1]);
  const std::vector<unsigned char> inputs = ReadAll(argv[2]);
  const int frames = atoi(argv[3]);
  constexpr int kH = 20, kW = 40, kC = 3;
  if (frames < 1 || inputs.size() != static_cast<size_t>(frames) * kH * kW * kC * sizeof(float)) {
    fprintf(stderr, "input size %zu does not hold %d frames\n", inputs.size(), frames);
    return 2;
  }
  // The layers read the weights widened and packed beforehand, as an installed block's are.
  FrnnPreparedSet prepared;
  NetWeightPrepare(&prepared, NetWaterPrepareRun, weights.data(), static_cast<uint32_t>(weights.size()));
  const FrnnPreparedScope use(&prepared);
  std::vector<unsigned char> buffer(kWaterNetPoolBytes);
  WaterNetState state{};
  InitNetWater(&state);
  std::vector<float> frame(kH * kW * kC);
  for (int f = 0; f < frames; ++f) {
    memcpy(frame.data(), inputs.data() + static_cast<size_t>(f) * frame.size() * sizeof(float),
           frame.size() * sizeof(float));
    uint32_t s1 = 0xFFFFFFFFu, s2 = 0xFFFFFFFFu;
    WaterNetRunReport rep{};
    const WaterNetRunArgs args{frame.data(), &state, kH, kW, kC, &s1, &s2, buffer.data(), weights.data(),
                               static_cast<uint32_t>(weights.size())};
    const uint32_t r = NetWaterRun(args, &rep);
    printf("%u %u %u %04x %04x %u", r, s1, s2, rep.uwScore1, rep.uwScore2, rep.uiConsumedBytes);
    for (uint16_t h : state.auwHidden) printf(" %04x", h);
    printf("\n");
  }
  return 0;
}
