#pragma once
// Per-layer accounting of a network run for the benchmarks: each layer that multiplies
// and adds records its kind, shape, multiply-add count and time while a record is set on
// the calling thread. Nothing is recorded (and no clock read) when none is set.
#include <cstdint>

struct FrnnLayerRecord {
  const char* pcKind;  // "conv", "depthwise", "dense", "gru", "matmul"
  uint32_t uiIn, uiOut;  // channels (features for dense and GRU inputs, units)
  uint32_t uiH, uiW;     // output extent
  uint32_t uiKh, uiKw;
  uint64_t ulMacs;
  uint64_t ulNanos;
};

struct FrnnRunStats {
  static constexpr uint32_t kMax = 96;
  FrnnLayerRecord astLayer[kMax];
  uint32_t uiCount;
  uint32_t uiDropped;
};

// Sets (or with null clears) the record the calling thread's layers write into.
void FrnnSetRunStats(FrnnRunStats* pstStats);
bool FrnnStatsOn();
uint64_t FrnnStatsClock();
void FrnnStatsAdd(const FrnnLayerRecord& r);
