// Runs the GRU layer (half precision, biases on) over one sequence read from files, for
// the numpy reference check of its weight packing:
//   nn_gru_tool WEIGHTS SEQUENCE I H T
// WEIGHTS: the layer's stream (W_ih, W_hh, b_ih, b_hh as halves); SEQUENCE: T rows of I
// halves, then the H halves of the starting state. Prints the result, then one line per
// step with the H output halves and a last line with the final state (all in hex).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "frnn.h"
#include "nn_tool_io.h"

int main(int argc, char** argv) {
  if (argc != 6) {
    fprintf(stderr, "usage: %s WEIGHTS SEQUENCE I H T\n", argv[0]);
    return 2;
  }
  std::vector<unsigned char> weights = ReadAll(argv[1]);
  const std::vector<unsigned char> seq = ReadAll(argv[2]);
  const uint32_t I = static_cast<uint32_t>(atoi(argv[3]));
  const uint32_t H = static_cast<uint32_t>(atoi(argv[4]));
  const uint32_t T = static_cast<uint32_t>(atoi(argv[5]));
  if (I < 1 || H < 1 || T < 1 || seq.size() != (static_cast<size_t>(T) * I + H) * 2) {
    fprintf(stderr, "sequence size %zu does not hold %u x %u values and a state of %u\n", seq.size(), T, I, H);
    return 2;
  }
  weights.resize((weights.size() + 3) / 4 * 4);
  std::vector<uint8_t> buffer(1u << 20);
  const FrnnMempoolParam p{static_cast<uint32_t>(buffer.size()), buffer.data(), 0xFFFFFFFFu};
  FrnnMempoolInit(&p);
  void* pool = buffer.data();
  FrnnTensor* in = FrnnTensorCreate3D(1, I, T, 1, 2, FRNN_LAYOUT_NCHW, FRNN_KIND_F16, pool);
  FrnnTensor* state = FrnnTensorCreate3D(1, H, 1, 1, 2, FRNN_LAYOUT_NCHW, FRNN_KIND_F16, pool);
  if (in == nullptr || state == nullptr) return 2;
  const auto* v = reinterpret_cast<const uint16_t*>(seq.data());
  FrnnTensorFill16f(in, 0);
  FrnnTensorFill16f(state, 0);
  auto* pin = static_cast<uint16_t*>(in->pvData);
  for (uint32_t t = 0; t < T; ++t) memcpy(pin + static_cast<size_t>(t) * in->uiRowStride, v + t * I, I * 2);
  memcpy(state->pvData, v + T * I, H * 2);
  FrnnWeightReader r{};
  r.uiStorageMode = 1;
  r.uiWordCount = static_cast<uint32_t>(weights.size() / 4);
  r.pubBase = weights.data();
  r.pubCursor = r.pubBase;
  r.uiKind = FRNN_KIND_F16;
  FrnnTensor* out = nullptr;
  const uint32_t res = FrnnGRU(in, state, &out, 1, I, H, 1, &r, pool);
  printf("%u\n", res);
  if (res == FRNN_OK) {
    for (uint32_t t = 0; t < T; ++t) {
      for (uint32_t j = 0; j < H; ++j) {
        uint16_t e = 0;
        FrnnTensorGetElement(out, 0, 0, t, j, &e);
        printf("%04x ", e);
      }
      printf("\n");
    }
    for (uint32_t j = 0; j < H; ++j) {
      uint16_t e = 0;
      FrnnTensorGetElement(state, 0, 0, 0, j, &e);
      printf("%04x ", e);
    }
    printf("\n");
  }
  return 0;
}
