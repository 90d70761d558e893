#pragma once
// The floating-finger network's run with its weight block named explicitly and a report
// of the bytes it read: the tests and the reference comparison drive it directly.
#include "frnn.h"

struct FloatNetRunArgs {
  const int16_t* pswDiff;
  uint8_t* pubBuffer;  // at least kFloatNetBufferBytes
  int32_t rows;
  int32_t cols;
  uint16_t** ppuwMap1;
  uint16_t** ppuwMap2;
  const void* pvWeights;
  uint32_t uiWeightBytes;
};

uint32_t NetFloatRun(const FloatNetRunArgs& args, uint32_t* puiConsumedBytes);

// One run over a fixed quiet input that passes every layer: what installation runs to
// widen and pack the block's convolution weights (see net_weights.h).
void NetFloatPrepareRun(const uint8_t* weights, uint32_t bytes);
