#pragma once
// The denoise network's run with its weight object named explicitly, and a report of what
// it did: the tests, the fuzz entry and the reference comparison drive it directly.
#include "frnn.h"

struct DenoiseNetRunArgs {
  int16_t* pswDiff;
  uint16_t* puwRowHalfMeans;
  uint8_t* pubBuffer;  // at least kDenoiseNetPoolBytes
  int32_t rows;
  int32_t cols;
  const void* pvWeights;  // the whole object, header included
  uint32_t uiWeightBytes;
};

struct DenoiseNetRunReport {
  uint32_t uiConsumedBytes;  // bytes the layers read behind the header
};

uint32_t DenoiseNetRun(const DenoiseNetRunArgs& args, DenoiseNetRunReport* pstReport);

// One run over a fixed quiet input that passes every layer: what installation runs to
// widen and pack the block's convolution weights (see net_weights.h).
void DenoiseNetPrepareRun(const uint8_t* weights, uint32_t bytes);
