#include "frnn_stats.h"

#include <chrono>

namespace {
thread_local FrnnRunStats* tpstStats = nullptr;
}

void FrnnSetRunStats(FrnnRunStats* pstStats) {
  tpstStats = pstStats;
  if (pstStats != nullptr) {
    pstStats->uiCount = 0;
    pstStats->uiDropped = 0;
  }
}

bool FrnnStatsOn() { return tpstStats != nullptr; }

uint64_t FrnnStatsClock() {
  if (tpstStats == nullptr) return 0;
  return static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch()).count());
}

void FrnnStatsAdd(const FrnnLayerRecord& r) {
  FrnnRunStats* s = tpstStats;
  if (s == nullptr) return;
  if (s->uiCount < FrnnRunStats::kMax) {
    s->astLayer[s->uiCount++] = r;
  } else {
    ++s->uiDropped;
  }
}
