// Each library member against a plain loop computing the same result in the same run, on
// the two panel sizes of the module's range (32 x 18 and 52 x 56 nodes). Maps are a fixed
// pseudo-random frame with two touch blobs, so the region search has work to do.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "mathlib.h"

namespace {

struct Frame {
  uint8_t rows;
  uint8_t cols;
  std::vector<uint16_t> raw;
  std::vector<int16_t> diff;
  std::vector<int16_t> i;
  std::vector<int16_t> q;

  Frame(uint8_t r, uint8_t c) : rows(r), cols(c), raw(r * c), diff(r * c), i(r * c), q(r * c) {
    uint32_t seed = 12345;
    const auto next = [&] {
      seed = seed * 1103515245u + 12345u;
      return (seed >> 16) & 0x7FFF;
    };
    for (int n = 0; n < r * c; ++n) {
      const int row = n / c;
      const int col = n % c;
      int blob = 0;
      for (const auto& [pr, pc] : {std::pair{r / 3, c / 4}, std::pair{2 * r / 3, 3 * c / 4}}) {
        const int d2 = (row - pr) * (row - pr) + (col - pc) * (col - pc);
        if (d2 < 9) blob += 600 - 60 * d2;
      }
      diff[n] = static_cast<int16_t>(blob + static_cast<int>(next() % 21) - 10);
      raw[n] = static_cast<uint16_t>(3000 + diff[n]);
      i[n] = static_cast<int16_t>(next() - 16384);
      q[n] = static_cast<int16_t>(next() - 16384);
    }
  }
  uint16_t nodes() const { return static_cast<uint16_t>(rows * cols); }
};

Frame& PanelFor(const benchmark::State& state) {
  static Frame small(32, 18);
  static Frame large(52, 56);
  return state.range(0) == 32 ? small : large;
}

void Args(benchmark::internal::Benchmark* b) { b->Args({32, 18})->Args({52, 56})->ArgNames({"drv", "sen"}); }

// ---- Map sum: acc[i] += in[i] ----------------------------------------------------------------

void BM_SumMap_Lib(benchmark::State& state) {
  Frame& f = PanelFor(state);
  std::vector<uint32_t> acc(f.nodes());
  for (auto _ : state) {
    benchmark::DoNotOptimize(LibXpu2SumU16(f.raw.data(), acc.data(), f.rows, f.cols));
    benchmark::ClobberMemory();
  }
}
void BM_SumMap_Loop(benchmark::State& state) {
  Frame& f = PanelFor(state);
  std::vector<uint32_t> acc(f.nodes());
  for (auto _ : state) {
    for (uint32_t n = 0; n < f.nodes(); ++n) acc[n] += f.raw[n];
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_SumMap_Lib)->Apply(Args);
BENCHMARK(BM_SumMap_Loop)->Apply(Args);

// ---- Statistics: sum, minimum and maximum with first-occurrence positions -------------------

void BM_Statistic_Lib(benchmark::State& state) {
  Frame& f = PanelFor(state);
  for (auto _ : state) {
    LibVpuStatisticU16(f.raw.data(), f.nodes());
    benchmark::DoNotOptimize(gstVpuStatistic);
  }
}
void BM_Statistic_Loop(benchmark::State& state) {
  Frame& f = PanelFor(state);
  for (auto _ : state) {
    uint32_t sum = 0;
    uint16_t min = 65535, max = 0;
    uint32_t minAt = 0, maxAt = 0;
    for (uint32_t n = 0; n < f.nodes(); ++n) {
      const uint16_t v = f.raw[n];
      if (v > max) max = v, maxAt = n;
      if (v < min) min = v, minAt = n;
      sum += v;
    }
    benchmark::DoNotOptimize(sum);
    benchmark::DoNotOptimize(min + max + minAt + maxAt);
  }
}
BENCHMARK(BM_Statistic_Lib)->Apply(Args);
BENCHMARK(BM_Statistic_Loop)->Apply(Args);

// Difference of two maps with the range of the result (the normalisation check's pair).
void BM_QsubStat_Lib(benchmark::State& state) {
  Frame& f = PanelFor(state);
  std::vector<int16_t> out(f.nodes());
  const int16_t* a = reinterpret_cast<const int16_t*>(f.raw.data());
  for (auto _ : state) {
    LibVpuQsubS16(a, f.diff.data(), out.data(), f.nodes());
    benchmark::DoNotOptimize(gstVpuStatistic);
  }
}
void BM_QsubStat_Loop(benchmark::State& state) {
  Frame& f = PanelFor(state);
  std::vector<int16_t> out(f.nodes());
  const int16_t* a = reinterpret_cast<const int16_t*>(f.raw.data());
  for (auto _ : state) {
    uint32_t sum = 0;
    int16_t min = 32767, max = -32768;
    for (uint32_t n = 0; n < f.nodes(); ++n) {
      const int16_t d = static_cast<int16_t>(a[n] - f.diff[n]);
      out[n] = d;
      sum += static_cast<uint32_t>(static_cast<int32_t>(d));
      if (d > max) max = d;
      if (d < min) min = d;
    }
    benchmark::DoNotOptimize(sum + static_cast<uint32_t>(min + max));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_QsubStat_Lib)->Apply(Args);
BENCHMARK(BM_QsubStat_Loop)->Apply(Args);

// ---- 3 x 3 filter, the raw-data kernel, edges replicated ------------------------------------

void BM_Gaussian3x3_Lib(benchmark::State& state) {
  Frame& f = PanelFor(state);
  std::vector<uint16_t> out(f.nodes());
  TwoDimGaussianParam p{};
  const uint16_t k[9] = {4, 8, 4, 8, 16, 8, 4, 8, 4};
  for (int n = 0; n < 9; ++n) p.auwKernel[n] = k[n];
  p.uiShift = 6;
  p.ubLastRow = static_cast<uint8_t>(f.rows - 1);
  p.ubLastCol = static_cast<uint8_t>(f.cols - 1);
  p.ubRows = f.rows;
  p.ubCols = f.cols;
  for (auto _ : state) {
    benchmark::DoNotOptimize(LibXpu2TwoDimGaussianFilterU16(f.raw.data(), out.data(), &p));
    benchmark::ClobberMemory();
  }
}
void BM_Gaussian3x3_Loop(benchmark::State& state) {
  Frame& f = PanelFor(state);
  std::vector<uint16_t> out(f.nodes());
  const uint32_t k[3][3] = {{4, 8, 4}, {8, 16, 8}, {4, 8, 4}};
  const int rows = f.rows, cols = f.cols;
  for (auto _ : state) {
    for (int r = 0; r < rows; ++r) {
      for (int c = 0; c < cols; ++c) {
        uint32_t sum = 0;
        for (int dr = -1; dr <= 1; ++dr) {
          const int rr = r + dr < 0 ? 0 : (r + dr >= rows ? rows - 1 : r + dr);
          for (int dc = -1; dc <= 1; ++dc) {
            const int cc = c + dc < 0 ? 0 : (c + dc >= cols ? cols - 1 : c + dc);
            sum += k[dr + 1][dc + 1] * f.raw[rr * cols + cc];
          }
        }
        out[r * cols + c] = static_cast<uint16_t>(sum >> 6);
      }
    }
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_Gaussian3x3_Lib)->Apply(Args);
BENCHMARK(BM_Gaussian3x3_Loop)->Apply(Args);

// ---- Region search; the plain loop is the local-maximum scan every search starts with -------

void BM_RegionSearch_Lib(benchmark::State& state) {
  Frame& f = PanelFor(state);
  std::vector<uint8_t> labels(f.nodes());
  RegionSearchRecord regions[12];
  RegionSearchParam p{};
  p.pubLabelMap = labels.data();
  p.uiRowMaskLow = p.uiRowMaskHigh = 0xFFFFFFFFu;
  p.swSeedThreshold = 200;
  p.ubRows = f.rows;
  p.ubCols = f.cols;
  p.ubMaxRegions = 12;
  p.ubSaddleFactor = 28;
  p.ubDiagStrongFactor = 40;
  p.ubDiagWeakFactor = 16;
  p.ubOrthStrongFactor = 48;
  p.ubOrthWeakFactor = 14;
  p.uiKeepLines = 1;
  p.uiLookAhead = 1;
  uint8_t count = 0;
  uint16_t score = 0;
  for (auto _ : state) {
    LibXpu2RegionSearch(f.diff.data(), &count, &score, &p, regions);
    benchmark::DoNotOptimize(count);
    benchmark::ClobberMemory();
  }
  state.counters["regions"] = count;
}
void BM_RegionSearch_PeakScanLoop(benchmark::State& state) {
  Frame& f = PanelFor(state);
  const int rows = f.rows, cols = f.cols;
  for (auto _ : state) {
    int peaks = 0;
    for (int r = 0; r < rows; ++r) {
      for (int c = 0; c < cols; ++c) {
        const int v = f.diff[r * cols + c];
        if (v < 200) continue;
        bool top = true;
        for (int dr = -1; dr <= 1 && top; ++dr)
          for (int dc = -1; dc <= 1; ++dc) {
            const int rr = r + dr, cc = c + dc;
            if (rr >= 0 && rr < rows && cc >= 0 && cc < cols && f.diff[rr * cols + cc] > v) top = false;
          }
        peaks += top;
      }
    }
    benchmark::DoNotOptimize(peaks);
  }
}
BENCHMARK(BM_RegionSearch_Lib)->Apply(Args);
BENCHMARK(BM_RegionSearch_PeakScanLoop)->Apply(Args);

// ---- I/Q magnitude of every node ---------------------------------------------------------------

void BM_Magnitude_Cordic(benchmark::State& state) {
  Frame& f = PanelFor(state);
  std::vector<uint16_t> out(f.nodes());
  for (auto _ : state) {
    for (uint32_t n = 0; n < f.nodes(); ++n) out[n] = static_cast<uint16_t>(LibCordicSqrt(f.i[n], f.q[n]));
    benchmark::ClobberMemory();
  }
}
void BM_Magnitude_FloatSqrtLoop(benchmark::State& state) {
  Frame& f = PanelFor(state);
  std::vector<uint16_t> out(f.nodes());
  for (auto _ : state) {
    for (uint32_t n = 0; n < f.nodes(); ++n) {
      const float fi = f.i[n], fq = f.q[n];
      out[n] = static_cast<uint16_t>(std::sqrt(fi * fi + fq * fq));
    }
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_Magnitude_Cordic)->Apply(Args);
BENCHMARK(BM_Magnitude_FloatSqrtLoop)->Apply(Args);

}  // namespace

BENCHMARK_MAIN();
