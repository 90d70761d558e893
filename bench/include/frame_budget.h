#pragma once
// Per-frame times against the frame budget: each frame of a benchmark's loop is timed on its
// own, and the run reports the median and the 99th percentile of those times (a mean hides
// the slow frames that miss the display's deadline) and the 99th percentile's share of the
// budget of one frame at 240 Hz.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <vector>

namespace bench {

inline constexpr double kFrameBudgetUs = 1e6 / 240.0;  // 4.17 ms

class FrameTimes {
 public:
  // Runs FRAME once, timed.
  template <typename F>
  void Time(F &&frame) {
    const auto t0 = std::chrono::steady_clock::now();
    frame();
    const auto t1 = std::chrono::steady_clock::now();
    us_.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
  }

  // The nearest-rank percentile P (0 < P <= 100) of the times so far, in microseconds.
  double Percentile(double p) const {
    if (us_.empty()) return 0;
    std::vector<double> sorted = us_;
    std::sort(sorted.begin(), sorted.end());
    size_t rank = static_cast<size_t>(p / 100.0 * static_cast<double>(sorted.size()) + 0.999999);
    rank = std::clamp<size_t>(rank, 1, sorted.size());
    return sorted[rank - 1];
  }

  // Counters p50_us, p99_us and p99_budget_pct (the 99th percentile in % of 4.17 ms).
  void Report(benchmark::State &state) const {
    const double p99 = Percentile(99);
    state.counters["p50_us"] = Percentile(50);
    state.counters["p99_us"] = p99;
    state.counters["p99_budget_pct"] = 100.0 * p99 / kFrameBudgetUs;
  }

 private:
  std::vector<double> us_;
};

}  // namespace bench
