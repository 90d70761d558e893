#pragma once
// The water network's run with its weight block and work buffer named explicitly, and a
// report of what it did: the layer tests and the reference comparison drive it directly.
#include "frnn.h"

struct WaterNetRunArgs {
  const float* pfInput;
  WaterNetState* pstState;
  int32_t h;
  int32_t w;
  int32_t c;
  uint32_t* puiScore1;
  uint32_t* puiScore2;
  uint8_t* pubBuffer;  // at least kWaterNetPoolBytes
  const void* pvWeights;
  uint32_t uiWeightBytes;
};

struct WaterNetRunReport {
  uint32_t uiConsumedBytes;  // weight bytes the layers read
  uint16_t uwScore1;         // the two sigmoid outputs, in half precision
  uint16_t uwScore2;
};

// 0 on success (scores written), 1 on any failure (scores untouched).
uint32_t NetWaterRun(const WaterNetRunArgs& args, WaterNetRunReport* pstReport);

// One run over a fixed quiet input that passes every layer: what installation runs to
// widen and pack the block's convolution weights (see net_weights.h).
void NetWaterPrepareRun(const uint8_t* weights, uint32_t bytes);
