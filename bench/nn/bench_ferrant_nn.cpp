// Network engine benchmarks. Every reference convolution route is first checked to give
// the plain loop's bits exactly (the blocked route sums a block's taps before its channels,
// so for kernels above 1x1 it is checked within a half-precision tolerance instead), and
// the fast paths (sums in single precision, rounded once) within that tolerance; a route
// that does not stops the program. Then the three networks: see below.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <cstdlib>
#include <random>
#include <vector>

#include <cmath>

#include "frnn_conv_kernels.h"
#include "frnn_fast.h"
#include "frnn_stats.h"
#include "net_denoise_internal.h"
#include "net_float_internal.h"
#include "net_water_internal.h"
#include "nn_test_util.h"

float HalfToSingleOnce(uint16_t h);

namespace {
extern std::atomic<uint64_t> gAllocs;
}  // namespace

// Every heap allocation (operator new included) goes through malloc: count them.
extern "C" void* __libc_malloc(std::size_t n);
extern "C" void* malloc(std::size_t n) {
  gAllocs.fetch_add(1, std::memory_order_relaxed);
  return __libc_malloc(n);
}

namespace {

std::vector<uint16_t> RandomHalves(size_t n, uint32_t seed, float scale) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> d(-scale, scale);
  std::vector<uint16_t> v(n);
  for (auto& x : v) x = SingleToHalfOnce(d(rng));
  return v;
}

// The plain loop: one output element at a time, every term rounded to half.
void PlainConv(const uint16_t* in, uint32_t rs, uint32_t plane, uint32_t C, const uint16_t* w, const uint16_t* bias,
               uint16_t* out, uint32_t ors, uint32_t oplane, uint32_t O, uint32_t oh, uint32_t ow, uint32_t k) {
  for (uint32_t o = 0; o < O; ++o)
    for (uint32_t y = 0; y < oh; ++y)
      for (uint32_t x = 0; x < ow; ++x) {
        uint16_t acc = bias[o];
        for (uint32_t c = 0; c < C; ++c)
          for (uint32_t ky = 0; ky < k; ++ky)
            for (uint32_t kx = 0; kx < k; ++kx) {
              const float p = HalfToSingleOnce(w[((o * C + c) * k + ky) * k + kx]) *
                              HalfToSingleOnce(in[c * plane + (y + ky) * rs + x + kx]);
              acc = SingleToHalfOnce(HalfToSingleOnce(acc) + p);
            }
        out[o * oplane + y * ors + x] = acc;
      }
}

struct ConvCase {
  uint32_t C, O, H, W, k;
};

class ConvBench {
 public:
  explicit ConvBench(const ConvCase& c) : c_(c), buf_(8u << 20) {
    const FrnnMempoolParam p{static_cast<uint32_t>(buf_.size()), buf_.data(), 0xFFFFFFFFu};
    FrnnMempoolInit(&p);
    pool_ = buf_.data();
    in_ = FrnnTensorCreate3D(1, c.W, c.H, c.C, 2, FRNN_LAYOUT_NCHW, FRNN_KIND_F16, pool_);
    const std::vector<uint16_t> v = RandomHalves(static_cast<size_t>(c.C) * in_->uiPlane, 1, 4.0f);
    std::copy(v.begin(), v.end(), static_cast<uint16_t*>(in_->pvData));
    blob_ = RandomHalves(static_cast<size_t>(c.C) * c.O * c.k * c.k + c.O, 2, 0.5f);
    FrnnWeightReader r{};
    r.uiStorageMode = 1;
    r.uiWordCount = static_cast<uint32_t>(blob_.size() * 2 / 4);
    r.pubBase = reinterpret_cast<const uint8_t*>(blob_.data());
    r.pubCursor = r.pubBase;
    r.uiKind = FRNN_KIND_F16;
    const FrnnPaddingParam none{};
    layer_ = FrnnConvolutionInit(c.C, c.O, c.k, c.k, 1, 1, 1, &none, &r);
    FrnnConvolutionLoadWeight(&layer_, &r);
    oh_ = c.H - c.k + 1;
    ow_ = c.W - c.k + 1;
    out_ = FrnnTensorCreate3D(1, ow_, oh_, c.O, 2, FRNN_LAYOUT_NCHW, FRNN_KIND_F16, pool_);
    ref_ = FrnnTensorCreate3D(1, ow_, oh_, c.O, 2, FRNN_LAYOUT_NCHW, FRNN_KIND_F16, pool_);
    FrnnTensorLayoutNCHWToNC8HW8(in_, &inBlk_, pool_);
    outBlk_ = FrnnTensorCreate3D(1, ow_, oh_, c.O, 2, FRNN_LAYOUT_NC8HW8, FRNN_KIND_F16, pool_);
    Plain(ref_);
  }
  double Macs() const { return static_cast<double>(c_.C) * c_.O * c_.k * c_.k * oh_ * ow_; }
  void Plain(FrnnTensor* t) {
    PlainConv(static_cast<const uint16_t*>(in_->pvData), in_->uiRowStride, in_->uiPlane, c_.C,
              static_cast<const uint16_t*>(layer_.weights.pvData), static_cast<const uint16_t*>(layer_.bias.pvData),
              static_cast<uint16_t*>(t->pvData), t->uiRowStride, t->uiPlane, c_.O, oh_, ow_, c_.k);
  }
  void Run(int path) {
    if (path == 0) {
      Plain(out_);
    } else if (path == 1) {
      ConvGenericForward(&layer_, in_, static_cast<int32_t>(oh_), static_cast<int32_t>(ow_), out_, pool_);
    } else if (path == 4 || path == 6) {
      ConvUnrolledKernel(&layer_, inBlk_, outBlk_, pool_);
    } else if (path == 5) {
      FrnnFastConvPlanar(&layer_, in_, out_, pool_);
    } else {
      ConvPlanarF16(&layer_, in_, out_, path == 3);
    }
  }
  // Real elements of the output equal the plain loop's (within the tolerance when the
  // route sums in another order).
  bool Same() const {
    auto close = [&](float a, float b, bool exact) {
      return exact ? a == b : std::fabs(a - b) <= 0.1f + 0.01f * std::fabs(b);
    };
    if (outBlk_ != nullptr && lastBlocked_) {
      FrnnTensor* back = nullptr;
      FrnnTensorLayoutNC8HW8ToNCHW(outBlk_, &back, pool_);
      bool ok = back != nullptr;
      for (uint32_t o = 0; ok && o < c_.O; ++o)
        for (uint32_t y = 0; y < oh_; ++y)
          for (uint32_t x = 0; x < ow_; ++x) {
            const size_t jb = static_cast<size_t>(o) * back->uiPlane + y * back->uiRowStride + x;
            const size_t jr = static_cast<size_t>(o) * ref_->uiPlane + y * ref_->uiRowStride + x;
            const float a = HalfToSingleOnce(static_cast<const uint16_t*>(back->pvData)[jb]);
            const float b = HalfToSingleOnce(static_cast<const uint16_t*>(ref_->pvData)[jr]);
            if (!close(a, b, c_.k == 1 && !lastFast_)) ok = false;
          }
      FrnnTensorDestroy(&back, pool_);
      return ok;
    }
    for (uint32_t o = 0; o < c_.O; ++o)
      for (uint32_t y = 0; y < oh_; ++y)
        for (uint32_t x = 0; x < ow_; ++x) {
          const size_t j = static_cast<size_t>(o) * out_->uiPlane + y * out_->uiRowStride + x;
          const float a = HalfToSingleOnce(static_cast<const uint16_t*>(out_->pvData)[j]);
          const float b = HalfToSingleOnce(static_cast<const uint16_t*>(ref_->pvData)[j]);
          if (!close(a, b, !lastFast_)) return false;
        }
    return true;
  }

 private:
  ConvCase c_;
  std::vector<uint8_t> buf_;
  void* pool_;
  FrnnTensor* in_;
  FrnnTensor* out_;
  FrnnTensor* ref_;
  FrnnTensor* inBlk_ = nullptr;
  FrnnTensor* outBlk_ = nullptr;

 public:
  bool lastBlocked_ = false;
  bool lastFast_ = false;

 private:
  std::vector<uint16_t> blob_;
  ConvolutionLayer layer_;
  uint32_t oh_, ow_;
};

const ConvCase kCases[] = {{16, 16, 22, 42, 3}, {3, 16, 22, 42, 3}, {16, 64, 10, 20, 1}, {16, 16, 20, 40, 1}};
const char* const kPaths[] = {"plain_loop",           "path_C_generic",     "path_A_scalar",
                              "path_A_vector",        "path_A_blocked_NC8HW8", "fast_planar",
                              "fast_blocked_NC8HW8"};

void BM_Conv(benchmark::State& state) {
  const ConvCase& c = kCases[state.range(0)];
  const int path = static_cast<int>(state.range(1));
  if (path == 3 && !FrnnHasHalfVector()) {
    state.SkipWithError("no F16C/AVX2 on this processor");
    return;
  }
  if (path >= 5 && !FrnnFastPaths()) {
    state.SkipWithError("no fast path on this processor");
    return;
  }
  // Paths 0 to 4 are the reference routes; 5 and 6 the fast ones.
  FrnnSetFastPaths(path >= 5);
  ConvBench b(c);
  b.lastBlocked_ = path == 4 || path == 6;
  b.lastFast_ = path >= 5;
  b.Run(path);
  if (!b.Same()) {
    fprintf(stderr, "%s differs from the plain loop\n", kPaths[path]);
    abort();
  }
  for (auto _ : state) b.Run(path);
  FrnnSetFastPaths(true);
  state.counters["MAC/s"] = benchmark::Counter(b.Macs(), benchmark::Counter::kIsIterationInvariantRate);
  state.SetLabel(std::string(kPaths[path]) + " " + std::to_string(c.C) + "->" + std::to_string(c.O) + " k" +
                 std::to_string(c.k));
}
BENCHMARK(BM_Conv)->ArgsProduct({{0, 1, 2, 3}, {0, 1, 2, 3, 4, 5, 6}})->Unit(benchmark::kMicrosecond);

// Depthwise 3x3 over 24 channels (the denoise network's layer): planar against blocked.
void BM_Depthwise(benchmark::State& state) {
  std::vector<uint8_t> buf(4u << 20);
  const FrnnMempoolParam p{static_cast<uint32_t>(buf.size()), buf.data(), 0};
  FrnnMempoolInit(&p);
  void* pool = buf.data();
  FrnnTensor* in = FrnnTensorCreate3D(1, 40, 40, 24, 2, FRNN_LAYOUT_NCHW, FRNN_KIND_F16, pool);
  const std::vector<uint16_t> v = RandomHalves(static_cast<size_t>(24) * in->uiPlane, 3, 2.0f);
  std::copy(v.begin(), v.end(), static_cast<uint16_t*>(in->pvData));
  FrnnTensor* src = in;
  if (state.range(0) == 1) FrnnTensorLayoutNCHWToNC8HW8(in, &src, pool);
  std::vector<uint16_t> blob = RandomHalves(24 * 9 + 24, 4, 0.5f);
  FrnnWeightReader r{1, static_cast<uint32_t>(blob.size() / 2), reinterpret_cast<const uint8_t*>(blob.data()),
                     reinterpret_cast<const uint8_t*>(blob.data()), 0, 0, 0, 0, 0, 0, FRNN_KIND_F16, 0};
  const FrnnPaddingParam p1{1, 1, 1, 1, 0, 0};
  DepthwiseConvLayer l = FrnnDepthwiseConvInit(24, 1, 3, 3, 1, 1, 1, &p1, &r);
  FrnnDepthwiseConvLoadWeight(&l, &r);
  for (auto _ : state) {
    FrnnTensor* out = nullptr;
    if (FrnnDepthwiseConvForwardInt(&l, src, &out, pool) != 0) {
      state.SkipWithError("depthwise failed");
      break;
    }
    FrnnTensorDestroy(&out, pool);
  }
  state.counters["MAC/s"] = benchmark::Counter(24.0 * 9 * 40 * 40, benchmark::Counter::kIsIterationInvariantRate);
  state.SetLabel(state.range(0) == 1 ? "NC8HW8 blocked kernel" : "NCHW planar kernel");
}
BENCHMARK(BM_Depthwise)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// ---------------------------------------------------------------------------------------
// The three networks on their benchmark inputs: time per run, multiply-adds per run and
// the share of the core's peak they reach, heap allocations per run, and (once per
// benchmark, on stderr) the multiply-adds and time of every layer that multiplies.

// Peak multiply-adds per second of one core: 2 fused multiply-adds of 8 single-precision
// lanes per cycle at the clock FRNN_PEAK_GHZ names, else the "cpu MHz" /proc/cpuinfo
// reports for the first core.
double PeakGmacs(double* pGhz, const char** pSource) {
  static double sGhz = 0;
  static const char* sSource = "";
  if (sGhz == 0) {
    if (const char* e = getenv("FRNN_PEAK_GHZ"); e != nullptr && atof(e) > 0) {
      sGhz = atof(e);
      sSource = "FRNN_PEAK_GHZ";
    } else if (FILE* f = fopen("/proc/cpuinfo", "r"); f != nullptr) {
      char line[256];
      while (fgets(line, sizeof line, f) != nullptr) {
        double mhz = 0;
        if (sscanf(line, "cpu MHz : %lf", &mhz) == 1 || sscanf(line, "cpu MHz\t: %lf", &mhz) == 1) {
          sGhz = mhz / 1000.0;
          sSource = "/proc/cpuinfo";
          break;
        }
      }
      fclose(f);
    }
    if (sGhz == 0) {
      sGhz = 2.6;
      sSource = "assumed";
    }
  }
  if (pGhz != nullptr) *pGhz = sGhz;
  if (pSource != nullptr) *pSource = sSource;
  return 2.0 * 8.0 * sGhz;
}

std::atomic<uint64_t> gAllocs{0};

struct Nets {
  std::vector<uint8_t> wd, wf, ww;
  std::vector<uint8_t> buffer = std::vector<uint8_t>(4u << 20);
  std::vector<int16_t> diff18, diff36, work;
  std::vector<uint16_t> means = std::vector<uint16_t>(kDenoiseNetMaxRows);
  std::vector<float> frame = std::vector<float>(3 * 20 * 40);
  WaterNetState st{};
  uint16_t* m1 = nullptr;
  uint16_t* m2 = nullptr;
  uint32_t s1 = 0, s2 = 0;

  Nets()
      : wd(SeededHalfBlock(kDenoiseNetWeightBytes, 9, 0.05f, kDenoiseNetHeaderBytes)),
        wf(SeededHalfBlock(kFloatNetWeightBytes, 10, 0.1f, 0)),
        ww(SeededHalfBlock(kWaterNetWeightBytes, 7, 0.25f, 0)) {
    DenoiseNetInit();
    for (auto* d : {&diff18, &diff36}) {
      const size_t n = d == &diff18 ? 18 * 32 : 36 * 40;
      d->resize(n);
      for (size_t j = 0; j < n; ++j) (*d)[j] = static_cast<int16_t>((j * 37) % 301 - 150);
    }
    for (size_t j = 0; j < frame.size(); ++j) frame[j] = static_cast<float>((j * 37) % 101) - (j < 1600 ? 50.0f : 0.0f);
    // Installed as the product installs them: widened and packed once, here.
    DenoiseNetSetWeights(wd.data(), static_cast<uint32_t>(wd.size()));
    NetFloatSetWeights(wf.data(), static_cast<uint32_t>(wf.size()));
    NetWaterSetWeights(ww.data(), static_cast<uint32_t>(ww.size()));
  }
  // false: the runs take the caller's bytes directly and widen and pack them on every run.
  bool installed = true;
  // rows 18 runs the 18 x 32 panel, else 36 x 40.
  uint32_t Denoise(int32_t rows) {
    const std::vector<int16_t>& d = rows == 18 ? diff18 : diff36;
    std::copy(d.begin(), d.end(), work.begin());
    if (installed) return DlNetInterface(work.data(), means.data(), buffer.data(), rows, rows == 18 ? 32 : 40);
    const DenoiseNetRunArgs a{work.data(), means.data(), buffer.data(), rows, rows == 18 ? 32 : 40, wd.data(),
                              static_cast<uint32_t>(wd.size())};
    return DenoiseNetRun(a, nullptr);
  }
  uint32_t Float(int32_t rows) {
    if (installed) {
      return NetFloatComplement(rows == 18 ? diff18.data() : diff36.data(), buffer.data(), rows, rows == 18 ? 32 : 40,
                                &m1, &m2);
    }
    const FloatNetRunArgs a{rows == 18 ? diff18.data() : diff36.data(), buffer.data(), rows, rows == 18 ? 32 : 40,
                            &m1, &m2, wf.data(), static_cast<uint32_t>(wf.size())};
    return NetFloatRun(a, nullptr);
  }
  uint32_t Water() {
    InitNetWater(&st);
    if (installed) return NetWaterDetection(frame.data(), &st, 20, 40, 3, &s1, &s2, buffer.data() + (2u << 20));
    const WaterNetRunArgs a{frame.data(), &st, 20, 40, 3, &s1, &s2, buffer.data() + (2u << 20), ww.data(),
                            static_cast<uint32_t>(ww.size())};
    return NetWaterRun(a, nullptr);
  }
};

Nets& TheNets() {
  static Nets n;
  n.work.resize(36 * 40);
  return n;
}

// Stats-recording runs of RUN: prints the per-layer table (once per label; each layer's
// shortest time of 30 runs, the least disturbed by whatever else the core does) and
// returns the multiply-adds of one run.
template <typename F>
uint64_t LayerTable(const char* label, F&& run) {
  static std::vector<std::string> printed;
  FrnnRunStats* stats = new FrnnRunStats{};
  FrnnRunStats* one = new FrnnRunStats{};
  double runUs = 0;
  for (int rep = 0; rep < 30; ++rep) {
    FrnnSetRunStats(one);
    const auto t0 = std::chrono::steady_clock::now();
    run();
    const double us = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count();
    FrnnSetRunStats(nullptr);
    runUs = rep == 0 || us < runUs ? us : runUs;
    if (rep == 0) {
      *stats = *one;
    } else {
      for (uint32_t j = 0; j < stats->uiCount && j < one->uiCount; ++j) {
        if (one->astLayer[j].ulNanos < stats->astLayer[j].ulNanos) stats->astLayer[j].ulNanos = one->astLayer[j].ulNanos;
      }
    }
  }
  delete one;
  uint64_t macs = 0;
  for (uint32_t j = 0; j < stats->uiCount; ++j) macs += stats->astLayer[j].ulMacs;
  if (std::find(printed.begin(), printed.end(), label) == printed.end()) {
    printed.push_back(label);
    double ghz = 0;
    const char* src = "";
    const double peak = PeakGmacs(&ghz, &src);
    fprintf(stderr, "\n%s: %llu multiply-adds per run; peak %.1f G/s (2 FMA x 8 lanes at %.2f GHz, %s)\n", label,
            static_cast<unsigned long long>(macs), peak, ghz, src);
    fprintf(stderr, "  %-10s %5s %5s %7s %5s %10s %9s %8s %7s\n", "layer", "in", "out", "HxW", "k", "MACs", "us",
            "GMAC/s", "%peak");
    double layerUs = 0;
    for (uint32_t j = 0; j < stats->uiCount; ++j) {
      const FrnnLayerRecord& r = stats->astLayer[j];
      const double us = static_cast<double>(r.ulNanos) / 1000.0;
      layerUs += us;
      const double g = us > 0 ? static_cast<double>(r.ulMacs) / us / 1000.0 : 0;
      char hw[32], k[16];
      snprintf(hw, sizeof hw, "%ux%u", r.uiH, r.uiW);
      snprintf(k, sizeof k, "%ux%u", r.uiKh, r.uiKw);
      fprintf(stderr, "  %-10s %5u %5u %7s %5s %10llu %9.1f %8.2f %6.1f%%\n", r.pcKind, r.uiIn, r.uiOut, hw, k,
              static_cast<unsigned long long>(r.ulMacs), us, g, 100.0 * g / peak);
    }
    fprintf(stderr, "  layers that multiply: %.1f us of a %.1f us run (shortest of 30, clock read per layer)\n",
            layerUs, runUs);
  }
  delete stats;
  return macs;
}

void Report(benchmark::State& state, uint64_t macs, uint64_t allocs) {
  const double peak = PeakGmacs(nullptr, nullptr);
  state.counters["MACs"] = static_cast<double>(macs);
  state.counters["GMAC/s"] = benchmark::Counter(static_cast<double>(macs) / 1e9, benchmark::Counter::kIsIterationInvariantRate);
  // The share of peak from CPU time per run, filled in by the reporter's rate; kept
  // beside it as the same rate over the peak.
  state.counters["peak_pct"] =
      benchmark::Counter(static_cast<double>(macs) / 1e9 / peak * 100.0, benchmark::Counter::kIsIterationInvariantRate);
  state.counters["allocs_per_run"] = static_cast<double>(allocs) / static_cast<double>(state.iterations());
}

template <typename F>
void RunNet(benchmark::State& state, const char* label, F&& run) {
  if (run() != 0) {
    state.SkipWithError("network run failed");
    return;
  }
  const uint64_t macs = LayerTable(label, run);
  const uint64_t before = gAllocs.load(std::memory_order_relaxed);
  for (auto _ : state) {
    if (run() != 0) {
      state.SkipWithError("network run failed");
      return;
    }
  }
  Report(state, macs, gAllocs.load(std::memory_order_relaxed) - before);
  state.SetLabel(label);
}

// One denoise inference on the panel sizes algorithm A uses (rows x columns).
void BM_DenoiseNetInference(benchmark::State& state) {
  Nets& n = TheNets();
  const int32_t rows = static_cast<int32_t>(state.range(0));
  RunNet(state, rows == 18 ? "denoise 18x32" : "denoise 36x40", [&] { return n.Denoise(rows); });
}
BENCHMARK(BM_DenoiseNetInference)->Arg(18)->Arg(36)->Unit(benchmark::kMillisecond);

void BM_FloatNetInference(benchmark::State& state) {
  Nets& n = TheNets();
  const int32_t rows = static_cast<int32_t>(state.range(0));
  RunNet(state, rows == 18 ? "floating 18x32" : "floating 36x40", [&] { return n.Float(rows); });
}
BENCHMARK(BM_FloatNetInference)->Arg(18)->Arg(36)->Unit(benchmark::kMillisecond);

// Water at 20 x 40: reference kernels only (0), vector kernels bit for bit (1), and the
// fast paths besides (2, the default).
void BM_WaterNetInference(benchmark::State& state) {
  Nets& n = TheNets();
  FrnnSetVectorKernels(state.range(0) != 0);
  FrnnSetFastPaths(state.range(0) == 2);
  const char* const labels[] = {"water 20x40 reference kernels", "water 20x40 vector kernels",
                                "water 20x40 fast paths"};
  RunNet(state, labels[state.range(0)], [&] { return n.Water(); });
  FrnnSetVectorKernels(true);
  FrnnSetFastPaths(true);
}
BENCHMARK(BM_WaterNetInference)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// The frame's share: denoise and floating on the 36 x 40 panel, then water, one after the
// other in one work buffer as algorithm A runs them (aim: at most 1.0 ms together).
// Argument 1: through the installed blocks (weights prepared once); 0: on the caller's
// bytes, the weights widened and packed on every run, for comparison.
void BM_ThreeNetworks(benchmark::State& state) {
  Nets& n = TheNets();
  n.installed = state.range(0) != 0;
  RunNet(state,
         n.installed ? "denoise 36x40 + floating 36x40 + water 20x40"
                     : "denoise 36x40 + floating 36x40 + water 20x40, weights widened per run",
         [&] { return n.Denoise(36) | n.Float(36) | n.Water(); });
  n.installed = true;
}
BENCHMARK(BM_ThreeNetworks)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
