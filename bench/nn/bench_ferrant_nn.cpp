// Network engine benchmarks. Every convolution route is first checked to give the plain
// loop's bits exactly (the blocked route sums a block's taps before its channels, so for
// kernels above 1x1 it is checked against the planar route within a half-precision
// tolerance instead); a route that does not stops the program.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include <cmath>

#include "frnn_conv_kernels.h"
#include "net_denoise_internal.h"
#include "net_float_internal.h"
#include "net_water_internal.h"

float HalfToSingleOnce(uint16_t h);

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
    } else if (path == 4) {
      ConvUnrolledKernel(&layer_, inBlk_, outBlk_, pool_);
    } else {
      ConvPlanarF16(&layer_, in_, out_, path == 3);
    }
  }
  // Real elements of the output equal the plain loop's.
  bool Same() const {
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
            if (c_.k == 1 ? a != b : std::fabs(a - b) > 0.1f + 0.01f * std::fabs(b)) ok = false;
          }
      FrnnTensorDestroy(&back, pool_);
      return ok;
    }
    for (uint32_t o = 0; o < c_.O; ++o)
      for (uint32_t y = 0; y < oh_; ++y)
        for (uint32_t x = 0; x < ow_; ++x) {
          const size_t j = static_cast<size_t>(o) * out_->uiPlane + y * out_->uiRowStride + x;
          if (static_cast<const uint16_t*>(out_->pvData)[j] != static_cast<const uint16_t*>(ref_->pvData)[j]) {
            return false;
          }
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

 private:
  std::vector<uint16_t> blob_;
  ConvolutionLayer layer_;
  uint32_t oh_, ow_;
};

const ConvCase kCases[] = {{16, 16, 22, 42, 3}, {3, 16, 22, 42, 3}, {16, 64, 10, 20, 1}, {16, 16, 20, 40, 1}};
const char* const kPaths[] = {"plain_loop", "path_C_generic", "path_A_scalar", "path_A_vector",
                              "path_A_blocked_NC8HW8"};

void BM_Conv(benchmark::State& state) {
  const ConvCase& c = kCases[state.range(0)];
  const int path = static_cast<int>(state.range(1));
  if (path == 3 && !FrnnHasHalfVector()) {
    state.SkipWithError("no F16C/AVX2 on this processor");
    return;
  }
  ConvBench b(c);
  b.lastBlocked_ = path == 4;
  b.Run(path);
  if (!b.Same()) {
    fprintf(stderr, "%s differs from the plain loop\n", kPaths[path]);
    abort();
  }
  for (auto _ : state) b.Run(path);
  state.counters["MAC/s"] = benchmark::Counter(b.Macs(), benchmark::Counter::kIsIterationInvariantRate);
  state.SetLabel(std::string(kPaths[path]) + " " + std::to_string(c.C) + "->" + std::to_string(c.O) + " k" +
                 std::to_string(c.k));
}
BENCHMARK(BM_Conv)->ArgsProduct({{0, 1, 2, 3}, {0, 1, 2, 3, 4}})->Unit(benchmark::kMicrosecond);

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

// One denoise inference on the panel sizes algorithm A uses (rows x columns).
void BM_DenoiseNetInference(benchmark::State& state) {
  const int32_t rows = static_cast<int32_t>(state.range(0)), cols = static_cast<int32_t>(state.range(1));
  std::mt19937 rng(9);
  std::normal_distribution<float> d(0.0f, 0.05f);
  std::vector<uint8_t> blob(kDenoiseNetWeightBytes);
  for (size_t j = kDenoiseNetHeaderBytes; j + 1 < blob.size(); j += 2) {
    const uint16_t h = SingleToHalfOnce(d(rng));
    blob[j] = static_cast<uint8_t>(h);
    blob[j + 1] = static_cast<uint8_t>(h >> 8);
  }
  DenoiseNetInit();
  std::vector<uint8_t> buffer(kDenoiseNetPoolBytes);
  std::vector<int16_t> diff(static_cast<size_t>(rows) * cols), work;
  for (size_t j = 0; j < diff.size(); ++j) diff[j] = static_cast<int16_t>((j * 37) % 301 - 150);
  std::vector<uint16_t> means(kDenoiseNetMaxRows);
  for (auto _ : state) {
    work = diff;
    const DenoiseNetRunArgs a{work.data(), means.data(), buffer.data(), rows, cols, blob.data(),
                              static_cast<uint32_t>(blob.size())};
    if (DenoiseNetRun(a, nullptr) != 0) {
      state.SkipWithError("network run failed");
      break;
    }
  }
}
BENCHMARK(BM_DenoiseNetInference)->Args({18, 32})->Args({36, 40})->Unit(benchmark::kMillisecond);

void BM_FloatNetInference(benchmark::State& state) {
  const int32_t rows = static_cast<int32_t>(state.range(0)), cols = static_cast<int32_t>(state.range(1));
  const std::vector<uint16_t> blob = RandomHalves(kFloatNetWeightHalves, 10, 0.2f);
  std::vector<uint8_t> buffer(kFloatNetBufferBytes);
  std::vector<int16_t> diff(static_cast<size_t>(rows) * cols);
  for (size_t j = 0; j < diff.size(); ++j) diff[j] = static_cast<int16_t>((j * 53) % 401 - 100);
  uint16_t* m1 = nullptr;
  uint16_t* m2 = nullptr;
  const FloatNetRunArgs a{diff.data(), buffer.data(), rows, cols, &m1, &m2, blob.data(), kFloatNetWeightBytes};
  for (auto _ : state) {
    if (NetFloatRun(a, nullptr) != 0) {
      state.SkipWithError("network run failed");
      break;
    }
  }
}
BENCHMARK(BM_FloatNetInference)->Args({18, 32})->Args({36, 40})->Unit(benchmark::kMillisecond);

void BM_WaterNetInference(benchmark::State& state) {
  FrnnSetVectorKernels(state.range(0) != 0);
  std::mt19937 rng(7);
  std::normal_distribution<float> d(0.0f, 0.25f);
  std::vector<uint16_t> blob(kWaterNetWeightHalves);
  for (auto& x : blob) x = SingleToHalfOnce(d(rng));
  std::vector<float> frame(3 * 20 * 40);
  for (size_t j = 0; j < frame.size(); ++j) frame[j] = static_cast<float>((j * 37) % 101) - (j < 1600 ? 50.0f : 0.0f);
  std::vector<uint8_t> buffer(kWaterNetPoolBytes);
  WaterNetState st{};
  uint32_t s1 = 0, s2 = 0;
  const WaterNetRunArgs a{frame.data(), &st, 20, 40, 3, &s1, &s2, buffer.data(), blob.data(), kWaterNetWeightBytes};
  for (auto _ : state) {
    InitNetWater(&st);
    if (NetWaterRun(a, nullptr) != 0) {
      state.SkipWithError("network run failed");
      break;
    }
  }
  state.SetLabel(state.range(0) != 0 ? "vector kernels where present" : "scalar kernels");
  FrnnSetVectorKernels(true);
}
BENCHMARK(BM_WaterNetInference)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
