// Convolution and depthwise convolution: shapes, the planar path against the generic path
// and the vector kernels against the scalar ones (bit for bit), and the refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <random>
#include <vector>

#include "frnn_conv_kernels.h"
#include "frnn_fast.h"
#include "nn_test_util.h"

namespace {

// Raw output bits of one convolution forward, through the chosen path.
std::vector<uint16_t> RunConv(const FrnnTensor* in, uint32_t outC, uint32_t kW, uint32_t kH, uint32_t sW, uint32_t sH,
                              const FrnnPaddingParam& pad, std::vector<uint16_t> blob, void* pool, int path,
                              uint32_t* pResult = nullptr, FrnnTensor** ppOut = nullptr) {
  FrnnWeightReader r = HalfReader(blob);
  ConvolutionLayer l = FrnnConvolutionInit(in->uiC, outC, kW, kH, sW, sH, 1, &pad, &r);
  EXPECT_EQ(0u, FrnnConvolutionLoadWeight(&l, &r));
  FrnnTensor* out = nullptr;
  uint32_t res;
  if (path == 0) {
    res = FrnnConvolutionForwardInt(&l, in, &out, pool);
  } else {
    // Straight to one compute route on an unpadded input.
    const int32_t ow = static_cast<int32_t>((in->uiW - kW) / sW + 1);
    const int32_t oh = static_cast<int32_t>((in->uiH - kH) / sH + 1);
    out = FrnnTensorCreate3D(in->uiN, static_cast<uint32_t>(ow), static_cast<uint32_t>(oh), outC, 2, 0, 5, pool);
    FrnnTensorFill16f(out, 0);
    if (path == 1) {
      res = ConvGenericForward(&l, in, oh, ow, out, pool);
    } else {
      ConvPlanarF16(&l, in, out, path == 3);
      res = 0;
    }
  }
  if (pResult != nullptr) *pResult = res;
  std::vector<uint16_t> bits;
  if (res == 0 && out != nullptr) {
    for (uint32_t i = 0; i < out->uiN; ++i)
      for (uint32_t k = 0; k < out->uiC; ++k)
        for (uint32_t y = 0; y < out->uiH; ++y)
          for (uint32_t x = 0; x < out->uiW; ++x) {
            uint16_t v = 0;
            FrnnTensorGetElement(out, i, k, y, x, &v);
            bits.push_back(v);
          }
  }
  if (ppOut != nullptr) {
    *ppOut = out;
  } else if (out != nullptr) {
    FrnnTensorDestroy(&out, pool);
  }
  return bits;
}

TEST(FrnnConvolution, PlanarVectorAndGenericPathsAgreeBitForBit) {
  struct Case {
    uint32_t c, outC, h, w, kW, kH, sW, sH;
  } cases[] = {
      {3, 13, 7, 21, 3, 3, 1, 1}, {5, 3, 9, 17, 5, 5, 1, 1}, {4, 6, 5, 11, 3, 1, 1, 1}, {4, 6, 8, 9, 1, 3, 1, 1},
      {16, 64, 5, 10, 1, 1, 1, 1}, {2, 3, 9, 9, 3, 3, 2, 2}, {2, 3, 6, 13, 3, 3, 2, 1}, {3, 5, 5, 5, 2, 2, 2, 2},
      {2, 2, 4, 30, 5, 1, 1, 1}, {2, 2, 12, 4, 1, 5, 1, 1},
  };
  const FrnnPaddingParam none{};
  // The reference kernels: the fast paths order their sums otherwise (tested below).
  const ReferenceKernelsOnly reference;
  for (const Case& c : cases) {
    NnPool pool;
    FrnnTensor* in = MakeHalf(pool.get(), 2, c.c, c.h, c.w, Random(2 * c.c * c.h * c.w, c.c * 7 + c.w, 4.0f));
    const std::vector<uint16_t> blob =
        Halves(Random(c.c * c.outC * c.kW * c.kH + c.outC, c.outC * 3 + c.kW, 0.7f));
    const auto generic = RunConv(in, c.outC, c.kW, c.kH, c.sW, c.sH, none, blob, pool.get(), 1);
    const auto scalar = RunConv(in, c.outC, c.kW, c.kH, c.sW, c.sH, none, blob, pool.get(), 2);
    const auto layer = RunConv(in, c.outC, c.kW, c.kH, c.sW, c.sH, none, blob, pool.get(), 0);
    ASSERT_FALSE(generic.empty());
    EXPECT_EQ(generic, scalar) << c.kW << "x" << c.kH;
    EXPECT_EQ(generic, layer) << c.kW << "x" << c.kH;
    if (FrnnHasHalfVector()) {
      EXPECT_EQ(generic, RunConv(in, c.outC, c.kW, c.kH, c.sW, c.sH, none, blob, pool.get(), 3)) << c.kW;
    }
    FrnnTensorDestroy(&in, pool.get());
    EXPECT_EQ(0u, pool.InUse());
  }
}

// The fast paths keep their sums in single precision and round each output once: every
// output lies within one half-precision step of the exact sum, plus what single precision
// loses where the terms cancel (a few units in 2^-24 of their magnitudes for each term),
// where the reference kernels may drift by a step per term. The planar fast path takes stride 1 (strided shapes keep the
// reference kernel's bits); the blocked one (NC8HW8 input) takes every stride.
TEST(FrnnConvolution, FastPathsStayWithinOneHalfStepOfTheExactSum) {
  struct Case {
    uint32_t c, outC, h, w, kW, kH, sW, sH;
  } cases[] = {
      {3, 13, 7, 21, 3, 3, 1, 1}, {5, 3, 9, 17, 5, 5, 1, 1}, {4, 6, 5, 11, 3, 1, 1, 1}, {16, 64, 5, 10, 1, 1, 1, 1},
      {24, 12, 40, 40, 1, 1, 1, 1}, {1, 8, 20, 40, 3, 3, 1, 1}, {12, 2, 11, 9, 3, 3, 1, 1}, {2, 3, 9, 9, 3, 3, 2, 2},
      {32, 24, 10, 5, 3, 3, 1, 1}, {8, 24, 40, 10, 3, 1, 1, 1},
  };
  const FrnnPaddingParam none{};
  if (!FrnnFastPaths()) GTEST_SKIP() << "no fast path on this processor";
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.c << "->" << c.outC << " " << c.kW << "x" << c.kH << " s" << c.sW);
    NnPool pool(4u << 20);
    const std::vector<float> x = Random(2 * c.c * c.h * c.w, c.c * 5 + c.h, 4.0f);
    FrnnTensor* in = MakeHalf(pool.get(), 2, c.c, c.h, c.w, x);
    FrnnTensor* blk = ToLayout(in, FRNN_LAYOUT_NC8HW8, pool.get());
    ASSERT_NE(blk, nullptr);
    const std::vector<uint16_t> blob = Halves(Random(c.c * c.outC * c.kW * c.kH + c.outC, c.outC + c.kH, 0.7f));
    const uint32_t oh = (c.h - c.kH) / c.sH + 1, ow = (c.w - c.kW) / c.sW + 1;
    std::vector<double> exact, allowed;
    for (uint32_t i = 0; i < 2; ++i)
      for (uint32_t o = 0; o < c.outC; ++o)
        for (uint32_t y = 0; y < oh; ++y)
          for (uint32_t xx = 0; xx < ow; ++xx) {
            double acc = HalfToSingleOnce(blob[c.c * c.outC * c.kW * c.kH + o]);
            double mag = std::fabs(acc);
            const uint32_t terms = c.c * c.kH * c.kW + 1;
            for (uint32_t k = 0; k < c.c; ++k)
              for (uint32_t ky = 0; ky < c.kH; ++ky)
                for (uint32_t kx = 0; kx < c.kW; ++kx) {
                  const double w = HalfToSingleOnce(blob[((o * c.c + k) * c.kH + ky) * c.kW + kx]);
                  const size_t at = ((i * c.c + k) * c.h + y * c.sH + ky) * c.w + xx * c.sW + kx;
                  const double t = w * HalfToSingleOnce(SingleToHalfOnce(x[at]));
                  acc += t;
                  mag += std::fabs(t);
                }
            const uint16_t e = DoubleToHalfOnce(std::fabs(acc));
            const double step = HalfToSingleOnce(static_cast<uint16_t>(e + 1)) - HalfToSingleOnce(e);
            exact.push_back(acc);
            allowed.push_back(step + 4.0 * terms * mag / 16777216.0);
          }
    // How many outputs lie further from the exact sum than allowed (0 expected).
    auto outside = [&](const std::vector<uint16_t>& got) {
      int n = 0;
      for (size_t j = 0; j < got.size(); ++j) n += std::fabs(HalfToSingleOnce(got[j]) - exact[j]) > allowed[j] ? 1 : 0;
      return n;
    };
    const auto planar = RunConv(in, c.outC, c.kW, c.kH, c.sW, c.sH, none, blob, pool.get(), 0);
    ASSERT_EQ(planar.size(), exact.size());
    if (c.sW != 1) {
      EXPECT_EQ(planar, RunConv(in, c.outC, c.kW, c.kH, c.sW, c.sH, none, blob, pool.get(), 1));
    } else {
      EXPECT_EQ(outside(planar), 0);
    }
    const auto blocked = RunConv(blk, c.outC, c.kW, c.kH, c.sW, c.sH, none, blob, pool.get(), 0);
    ASSERT_EQ(blocked.size(), exact.size());
    EXPECT_EQ(outside(blocked), 0);
    FrnnTensorDestroy(&blk, pool.get());
    FrnnTensorDestroy(&in, pool.get());
    EXPECT_EQ(0u, pool.InUse());
  }
}

TEST(FrnnConvolution, EachTermIsRoundedToHalf) {
  // 2048 + 1 + 1: rounded after each term stays 2048 (the reference kernels); rounded
  // once, as the fast path does, it is 2050.
  NnPool pool;
  FrnnTensor* in = MakeHalf(pool.get(), 1, 3, 1, 1, {2048, 1, 1});
  const FrnnPaddingParam none{};
  std::vector<uint16_t> out;
  {
    const ReferenceKernelsOnly reference;
    out = RunConv(in, 1, 1, 1, 1, 1, none, Halves({1, 1, 1, 0}), pool.get(), 0);
  }
  ASSERT_EQ(1u, out.size());
  EXPECT_EQ(SingleToHalfOnce(2048.0f), out[0]);
  if (FrnnFastPaths()) {
    const auto once = RunConv(in, 1, 1, 1, 1, 1, none, Halves({1, 1, 1, 0}), pool.get(), 0);
    ASSERT_EQ(1u, once.size());
    EXPECT_EQ(SingleToHalfOnce(2050.0f), once[0]);
  }
  FrnnTensorDestroy(&in, pool.get());
}

TEST(FrnnConvolution, GeometryPaddingAndRefusals) {
  NnPool pool;
  const FrnnPaddingParam p1{1, 1, 1, 1, 0, 0};
  const FrnnPaddingParam ph{1, 1, 0, 0, 0, 0};
  FrnnTensor* in = MakeHalf(pool.get(), 1, 2, 6, 10, Random(120, 3));
  FrnnTensor* out = nullptr;
  uint32_t r = 0;
  RunConv(in, 4, 3, 3, 1, 1, p1, Halves(Random(4 * 2 * 9 + 4, 4)), pool.get(), 0, &r, &out);
  ASSERT_EQ(0u, r);
  EXPECT_EQ(10u, out->uiW);
  EXPECT_EQ(6u, out->uiH);
  FrnnTensorDestroy(&out, pool.get());
  RunConv(in, 4, 3, 1, 1, 1, ph, Halves(Random(4 * 2 * 3 + 4, 4)), pool.get(), 0, &r, &out);
  ASSERT_EQ(0u, r);
  EXPECT_EQ(10u, out->uiW);
  FrnnTensorDestroy(&out, pool.get());
  // Activation codes through the convenience call, and the slot rule.
  std::vector<uint16_t> blob = Halves(Random(4 * 2 + 4, 5, 3.0f));
  FrnnWeightReader rd = HalfReader(blob);
  EXPECT_EQ(3u, FrnnConvolution(in, &out, 4, 1, 1, 1, 1, 1, &p1, &rd, 7, pool.get()));
  ASSERT_NE(nullptr, out);  // the unclamped result stays in the slot
  const uint8_t* cursor = rd.pubCursor;
  EXPECT_EQ(6u, FrnnConvolution(in, &out, 4, 1, 1, 1, 1, 1, &p1, &rd, 0, pool.get()));
  EXPECT_EQ(cursor, rd.pubCursor);
  FrnnTensorDestroy(&out, pool.get());
  // Weights read for two input channels refuse an input with three.
  FrnnTensor* three = MakeHalf(pool.get(), 1, 3, 6, 10, {});
  FrnnWeightReader r2 = HalfReader(blob);
  ConvolutionLayer l = FrnnConvolutionInit(2, 4, 1, 1, 1, 1, 1, &p1, &r2);
  ASSERT_EQ(0u, FrnnConvolutionLoadWeight(&l, &r2));
  EXPECT_EQ(8u, FrnnConvolutionForwardInt(&l, three, &out, pool.get()));
  // Output offsets are not taken by the float kinds, either sign.
  l.outputOffsets[2] = -1;
  EXPECT_EQ(3u, FrnnConvolutionForwardInt(&l, in, &out, pool.get()));
  l.outputOffsets[2] = 1;
  EXPECT_EQ(3u, FrnnConvolutionForwardInt(&l, in, &out, pool.get()));
  l.outputOffsets[2] = 0;
  l.weightKind = FRNN_KIND_S16;
  EXPECT_EQ(9u, FrnnConvolutionForwardInt(&l, in, &out, pool.get()));
  EXPECT_EQ(nullptr, out);
  // Empty weight stream.
  std::vector<uint16_t> tiny = Halves({1, 2});
  FrnnWeightReader r3 = HalfReader(tiny);
  EXPECT_EQ(7u, FrnnConvolution(in, &out, 4, 3, 3, 1, 1, 1, &p1, &r3, 0, pool.get()));
  FrnnTensorDestroy(&in, pool.get());
  FrnnTensorDestroy(&three, pool.get());
  EXPECT_EQ(0u, pool.InUse());
}

TEST(FrnnConvolution, SameSizePaddingAndLayoutChoice) {
  NnPool pool;
  FrnnTensor* in = MakeHalf(pool.get(), 1, 2, 10, 10, Random(200, 21, 3.0f));
  std::vector<uint16_t> blob = Halves(Random(4 * 2 * 9 + 4, 22));
  // Same-size padding, W = 10, kernel 3, stride 2: total 1, left 0, right 1, output 5.
  FrnnWeightReader r = HalfReader(blob);
  ConvolutionLayer l = FrnnConvolutionInit(2, 4, 3, 3, 2, 2, 1, nullptr, &r);
  ASSERT_EQ(0u, FrnnConvolutionLoadWeight(&l, &r));
  l.paddingMode = 1;
  FrnnTensor* same = nullptr;
  ASSERT_EQ(0u, FrnnConvolutionForwardInt(&l, in, &same, pool.get()));
  EXPECT_EQ(5u, same->uiW);
  EXPECT_EQ(5u, same->uiH);
  const FrnnPaddingParam explicitPad{0, 1, 0, 1, 0, 0};
  const auto want = RunConv(in, 4, 3, 3, 2, 2, explicitPad, blob, pool.get(), 0);
  std::vector<uint16_t> got;
  for (uint32_t k = 0; k < 4; ++k)
    for (uint32_t y = 0; y < 5; ++y)
      for (uint32_t x = 0; x < 5; ++x) {
        uint16_t v = 0;
        FrnnTensorGetElement(same, 0, k, y, x, &v);
        got.push_back(v);
      }
  EXPECT_EQ(want, got);
  l.paddingMode = 7;
  FrnnTensor* none = nullptr;
  EXPECT_EQ(3u, FrnnConvolutionForwardInt(&l, in, &none, pool.get()));
  // With the layout choice on, a single-precision NC4HW4 input is brought to NCHW first.
  FrnnTensor* f = MakeFloat(pool.get(), 1, 3, 2, 2, Random(12, 23));
  FrnnTensor* f4 = nullptr;
  ASSERT_EQ(0u, FrnnTensorLayoutNCHWToNC4HW4(f, &f4, pool.get()));
  std::vector<float> fw = {1, 2, 3, 0.5f};
  FrnnWeightReader rf{};
  rf.uiStorageMode = 1;
  rf.uiWordCount = 4;
  rf.pubBase = reinterpret_cast<const uint8_t*>(fw.data());
  rf.pubCursor = rf.pubBase;
  rf.uiKind = FRNN_KIND_F32;
  rf.uiLayoutChoice = 1;
  const FrnnPaddingParam zero{};
  FrnnTensor* fo = nullptr;
  ASSERT_EQ(0u, FrnnConvolution(f4, &fo, 1, 1, 1, 1, 1, 1, &zero, &rf, 0, pool.get()));
  EXPECT_EQ(FRNN_LAYOUT_NCHW, fo->uiLayout);
  const std::vector<float> fv = Values(f);
  EXPECT_FLOAT_EQ(std::fma(3.0f, fv[8], std::fma(2.0f, fv[4], std::fma(1.0f, fv[0], 0.5f))), Values(fo)[0]);
  for (FrnnTensor** t : {&in, &same, &f, &f4, &fo}) FrnnTensorDestroy(t, pool.get());
  EXPECT_EQ(0u, pool.InUse());
}

TEST(FrnnConvolution, PlanarKernelsReadOnlyTheirInputPlanes) {
  // Input and output in exactly sized heap buffers (no pool slack behind them), so that
  // the sanitizer sees any read past the last row of the last plane.
  struct Case {
    uint32_t w, h, k;
  } cases[] = {{13, 5, 3}, {8, 4, 3}, {21, 3, 1}, {9, 6, 5}};
  for (const Case& c : cases) {
    const uint32_t rs = (c.w + 7) / 8 * 8;
    std::vector<uint16_t> in(2 * c.h * rs);
    for (size_t j = 0; j < in.size(); ++j) in[j] = SingleToHalfOnce(static_cast<float>(j % 7) - 3);
    const uint32_t ow = c.w - c.k + 1, oh = c.h - c.k + 1, ors = (ow + 7) / 8 * 8;
    std::vector<uint16_t> out(3 * oh * ors);
    FrnnTensor ti = FrnnTensor3D(1, c.w, rs, c.h, 2, 2, 0, FRNN_KIND_F16, in.data());
    FrnnTensor to = FrnnTensor3D(1, ow, ors, oh, 3, 2, 0, FRNN_KIND_F16, out.data());
    std::vector<uint16_t> blob = Halves(Random(3 * 2 * c.k * c.k + 3, c.w));
    FrnnWeightReader r = HalfReader(blob);
    ConvolutionLayer l = FrnnConvolutionInit(2, 3, c.k, c.k, 1, 1, 1, nullptr, &r);
    ASSERT_EQ(0u, FrnnConvolutionLoadWeight(&l, &r));
    ConvPlanarF16(&l, &ti, &to, false);
    const std::vector<uint16_t> scalar = out;
    if (FrnnHasHalfVector()) {
      ConvPlanarF16(&l, &ti, &to, true);
      for (uint32_t k = 0; k < 3; ++k)
        for (uint32_t y = 0; y < oh; ++y)
          for (uint32_t x = 0; x < ow; ++x) {
            const size_t j = (k * oh + y) * ors + x;
            ASSERT_EQ(scalar[j], out[j]) << c.w << "x" << c.h << " k" << c.k;
          }
    }
  }
}

TEST(FrnnConvolution, WideningThatDoesNotFitFailsCleanly) {
  // Single-precision layer with half-stored weights in a pool with no room to widen them.
  std::vector<uint8_t> buf(344 + 160 + 128 + 160 + 64);
  const FrnnMempoolParam p{static_cast<uint32_t>(buf.size()), buf.data(), 0};
  ASSERT_EQ(0u, FrnnMempoolInit(&p));
  NnPool big;
  FrnnTensor* in = MakeFloat(big.get(), 1, 8, 1, 1, Random(8, 30));
  std::vector<uint16_t> blob = Halves(Random(64 * 8 + 64, 31));
  FrnnWeightReader r = HalfReader(blob);
  r.uiKind = FRNN_KIND_F32;
  r.uiWidthSel = 2;
  const FrnnPaddingParam none{};
  FrnnTensor* out = nullptr;
  EXPECT_EQ(4u, FrnnConvolution(in, &out, 64, 1, 1, 1, 1, 1, &none, &r, 0, buf.data()));
  EXPECT_EQ(nullptr, out);
  const auto* first = reinterpret_cast<const FrnnMempool*>(buf.data())->pstFirst;
  EXPECT_EQ(0u, first->uiInUse);
  EXPECT_EQ(first, first->pstNext);  // everything given back and merged
  FrnnTensorDestroy(&in, big.get());
}

TEST(FrnnConvolution, SinglePrecisionWithHalfStoredWeights) {
  NnPool pool;
  FrnnTensor* in = MakeFloat(pool.get(), 1, 1, 3, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9});
  std::vector<uint16_t> blob = Halves({1, 0, 0, 0, 0, 0, 0, 0, -1, 0.5f});
  FrnnWeightReader r = HalfReader(blob);
  r.uiKind = FRNN_KIND_F32;
  r.uiWidthSel = 2;
  const FrnnPaddingParam none{};
  FrnnTensor* out = nullptr;
  ASSERT_EQ(0u, FrnnConvolution(in, &out, 1, 3, 3, 1, 1, 1, &none, &r, 0, pool.get()));
  EXPECT_EQ((std::vector<float>{1 - 9 + 0.5f}), Values(out));
  FrnnTensorDestroy(&out, pool.get());
  FrnnTensorDestroy(&in, pool.get());
  EXPECT_EQ(0u, pool.InUse());
}

// The depthwise fast paths (planar and blocked inputs) keep a pixel's taps in single
// precision and round once: each output within one half-precision step of the exact sum,
// at strides 1 and 2, with and without padding and dilation, for the kernel shapes the
// networks use.
TEST(FrnnDepthwise, FastPathStaysWithinOneHalfStepOfTheExactSum) {
  if (!FrnnFastPaths()) GTEST_SKIP() << "no fast path on this processor";
  struct Case {
    uint32_t c, h, w, kW, kH, sW, sH, dil;
    FrnnPaddingParam pad;
  } cases[] = {
      {16, 20, 40, 3, 3, 1, 1, 1, {1, 1, 1, 1, 0, 0}}, {8, 20, 40, 3, 3, 2, 2, 1, {1, 1, 1, 1, 0, 0}},
      {16, 10, 40, 1, 3, 1, 2, 1, {0, 0, 1, 1, 0, 0}}, {16, 10, 40, 3, 1, 2, 1, 1, {1, 1, 0, 0, 0, 0}},
      {16, 5, 10, 3, 3, 1, 1, 2, {2, 2, 2, 2, 0, 0}},  {3, 9, 13, 5, 5, 1, 1, 1, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.kW << "x" << c.kH << " s" << c.sW << "x" << c.sH << " d" << c.dil);
    NnPool pool(4u << 20);
    const std::vector<float> x = Random(c.c * c.h * c.w, c.w + c.kW, 4.0f);
    FrnnTensor* in = MakeHalf(pool.get(), 1, c.c, c.h, c.w, x);
    std::vector<uint16_t> blob = Halves(Random(c.c * c.kW * c.kH + c.c, c.h + c.sW, 0.7f));
    FrnnWeightReader r = HalfReader(blob);
    DepthwiseConvLayer l = FrnnDepthwiseConvInit(c.c, 1, c.kW, c.kH, c.sW, c.sH, 1, &c.pad, &r);
    l.dilationWidth = l.dilationHeight = c.dil;
    ASSERT_EQ(0u, FrnnDepthwiseConvLoadWeight(&l, &r));
    FrnnTensor* blk = ToLayout(in, FRNN_LAYOUT_NC8HW8, pool.get());
    ASSERT_NE(blk, nullptr);
    for (const FrnnTensor* src : {static_cast<const FrnnTensor*>(in), static_cast<const FrnnTensor*>(blk)}) {
      SCOPED_TRACE(src == blk ? "NC8HW8" : "NCHW");
      FrnnTensor* out = nullptr;
      ASSERT_EQ(0u, FrnnDepthwiseConvForwardInt(&l, src, &out, pool.get()));
      const auto* w = static_cast<const uint16_t*>(l.weights.pvData);
      const auto* b = static_cast<const uint16_t*>(l.bias.pvData);
      int worst = 0;
      for (uint32_t k = 0; k < c.c; ++k)
        for (uint32_t y = 0; y < out->uiH; ++y)
          for (uint32_t xx = 0; xx < out->uiW; ++xx) {
            double acc = HalfToSingleOnce(b[k]);
            for (uint32_t ky = 0; ky < c.kH; ++ky)
              for (uint32_t kx = 0; kx < c.kW; ++kx) {
                const int32_t iy = static_cast<int32_t>(y * c.sH + ky * c.dil) - c.pad.siTop;
                const int32_t ix = static_cast<int32_t>(xx * c.sW + kx * c.dil) - c.pad.siLeft;
                if (iy < 0 || ix < 0 || iy >= static_cast<int32_t>(c.h) || ix >= static_cast<int32_t>(c.w)) continue;
                acc += static_cast<double>(HalfToSingleOnce(w[k * c.kW * c.kH + ky * c.kW + kx])) *
                       HalfToSingleOnce(SingleToHalfOnce(x[(k * c.h + iy) * c.w + ix]));
              }
            uint16_t got = 0;
            FrnnTensorGetElement(out, 0, k, y, xx, &got);
            worst = std::max(worst, std::abs(static_cast<int>(got) - static_cast<int>(DoubleToHalfOnce(acc))));
          }
      EXPECT_LE(worst, 1);
      FrnnTensorDestroy(&out, pool.get());
    }
    FrnnTensorDestroy(&blk, pool.get());
    FrnnTensorDestroy(&in, pool.get());
    EXPECT_EQ(0u, pool.InUse());
  }
}

// A window one node wider or taller than the padded input gives a negative span, which
// integer division at a stride above 1 rounds to one output: such a window reaches past the
// plane and is refused, by the convolution and the depthwise layer, on every route. The
// window exactly as large as the padded input is the largest one taken: a single output that
// sums every node. Small integers keep each route's sum exact whatever its rounding order.
TEST(FrnnConvLayers, WindowsBeyondThePaddedInputAreRefused) {
  constexpr uint32_t kC = 8, kH = 4, kW = 6;
  const FrnnPaddingParam p1{1, 1, 1, 1, 0, 0};
  struct Case {
    bool depthwise;
    uint32_t kW, kH, sW, sH, dil;
    FrnnPaddingParam pad;
    bool fits;
  } cases[] = {
      {false, kW + 1, 3, 2, 1, 1, {}, false},
      {false, 3, kH + 1, 1, 2, 1, {}, false},
      {false, kW + 3, kH + 3, 3, 3, 1, p1, false},
      {false, 4, 3, 2, 2, 2, {}, false},  // dilated, 7 columns over 6
      {false, kW, kH, 2, 2, 1, {}, true},
      {false, kW + 2, kH + 2, 3, 3, 1, p1, true},
      {true, kW + 1, 3, 2, 1, 1, {}, false},
      {true, 3, kH + 1, 1, 2, 1, {}, false},
      {true, kW + 3, kH + 3, 2, 2, 1, p1, false},
      {true, 4, 3, 2, 2, 2, {}, false},
      {true, kW, kH, 2, 2, 1, {}, true},
      {true, kW + 2, kH + 2, 2, 2, 1, p1, true},
      {true, 3, 2, 2, 2, 2, {}, true},  // dilated, 5 x 3 of 6 x 4
  };
  auto ints = [](size_t n, uint32_t seed, float scale) {
    std::vector<float> v = Random(n, seed, scale);
    for (float& x : v) x = std::nearbyint(x);
    return v;
  };
  const std::vector<float> x = ints(kC * kH * kW, 41, 2.4f);
  for (const bool fast : {false, true}) {
    std::optional<ReferenceKernelsOnly> reference;
    if (!fast) reference.emplace();
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << (c.depthwise ? "depthwise " : "convolution ") << c.kW << "x" << c.kH << " s"
                                      << c.sW << "x" << c.sH << " d" << c.dil << " pad " << c.pad.siLeft
                                      << (fast ? " fast" : " reference"));
      NnPool pool(4u << 20);
      FrnnTensor* in = MakeHalf(pool.get(), 1, kC, kH, kW, x);
      const uint32_t taps = c.kW * c.kH;
      const uint32_t perOut = c.depthwise ? taps : kC * taps;
      const std::vector<float> wv = ints(kC * perOut + kC, c.kW * 7 + c.kH, 1.4f);
      std::vector<uint16_t> blob = Halves(wv);
      FrnnWeightReader r = HalfReader(blob);
      ConvolutionLayer cl{};
      DepthwiseConvLayer dl{};
      if (c.depthwise) {
        dl = FrnnDepthwiseConvInit(kC, 1, c.kW, c.kH, c.sW, c.sH, 1, &c.pad, &r);
        dl.dilationWidth = dl.dilationHeight = c.dil;
        ASSERT_EQ(0u, FrnnDepthwiseConvLoadWeight(&dl, &r));
      } else {
        cl = FrnnConvolutionInit(kC, kC, c.kW, c.kH, c.sW, c.sH, 1, &c.pad, &r);
        cl.dilationWidth = cl.dilationHeight = c.dil;
        ASSERT_EQ(0u, FrnnConvolutionLoadWeight(&cl, &r));
      }
      FrnnTensor* blk = ToLayout(in, FRNN_LAYOUT_NC8HW8, pool.get());
      ASSERT_NE(blk, nullptr);
      for (const FrnnTensor* src : {static_cast<const FrnnTensor*>(in), static_cast<const FrnnTensor*>(blk)}) {
        SCOPED_TRACE(src == blk ? "NC8HW8" : "NCHW");
        const uint32_t before = pool.InUse();
        FrnnTensor* out = nullptr;
        const uint32_t res = c.depthwise ? FrnnDepthwiseConvForwardInt(&dl, src, &out, pool.get())
                                         : FrnnConvolutionForwardInt(&cl, src, &out, pool.get());
        if (!c.fits) {
          EXPECT_EQ(FRNN_ERR_ARG, res);
          EXPECT_EQ(nullptr, out);
          EXPECT_EQ(before, pool.InUse());
          FrnnTensorDestroy(&out, pool.get());
          continue;
        }
        ASSERT_EQ(0u, res);
        ASSERT_NE(nullptr, out);
        EXPECT_EQ(1u, out->uiW);
        EXPECT_EQ(1u, out->uiH);
        std::vector<float> want;
        for (uint32_t o = 0; o < kC; ++o) {
          float acc = wv[kC * perOut + o];
          for (uint32_t i = 0; i < kC; ++i) {
            if (c.depthwise && i != o) continue;
            const float* w = wv.data() + (c.depthwise ? o * taps : (o * kC + i) * taps);
            for (uint32_t ky = 0; ky < c.kH; ++ky)
              for (uint32_t kx = 0; kx < c.kW; ++kx) {
                const int32_t iy = static_cast<int32_t>(ky * c.dil) - c.pad.siTop;
                const int32_t ix = static_cast<int32_t>(kx * c.dil) - c.pad.siLeft;
                if (iy < 0 || ix < 0 || iy >= static_cast<int32_t>(kH) || ix >= static_cast<int32_t>(kW)) continue;
                acc += w[ky * c.kW + kx] * x[(i * kH + iy) * kW + ix];
              }
          }
          want.push_back(acc);
        }
        EXPECT_EQ(want, Values(out));
        FrnnTensorDestroy(&out, pool.get());
      }
      FrnnTensorDestroy(&blk, pool.get());
      FrnnTensorDestroy(&in, pool.get());
      EXPECT_EQ(0u, pool.InUse());
    }
  }
}

TEST(FrnnDepthwise, ReferenceRouteShapesAndSums) {
  const ReferenceKernelsOnly reference;
  NnPool pool;
  struct Case {
    uint32_t w, h, kW, kH, s, dil;
    FrnnPaddingParam pad;
    uint32_t ow, oh;
  } cases[] = {
      {10, 6, 3, 3, 1, 1, {}, 8, 4},
      {9, 9, 3, 3, 2, 1, {}, 4, 4},
      {10, 5, 3, 3, 1, 2, {2, 2, 2, 2, 0, 0}, 10, 5},
      {7, 7, 5, 5, 1, 1, {}, 3, 3},
  };
  for (const Case& c : cases) {
    FrnnTensor* in = MakeHalf(pool.get(), 1, 2, c.h, c.w, Random(2 * c.w * c.h, c.w));
    std::vector<uint16_t> blob = Halves(Random(2 * c.kW * c.kH + 2, 9));
    FrnnWeightReader r = HalfReader(blob);
    DepthwiseConvLayer l = FrnnDepthwiseConvInit(2, 1, c.kW, c.kH, c.s, c.s, 1, &c.pad, &r);
    l.dilationWidth = l.dilationHeight = c.dil;
    ASSERT_EQ(0u, FrnnDepthwiseConvLoadWeight(&l, &r));
    FrnnTensor* out = nullptr;
    ASSERT_EQ(0u, FrnnDepthwiseConvForwardInt(&l, in, &out, pool.get()));
    EXPECT_EQ(c.ow, out->uiW);
    EXPECT_EQ(c.oh, out->uiH);
    // Element (channel 1, 0, 0) by hand, term by term in half precision.
    const auto* w = static_cast<const uint16_t*>(l.weights.pvData) + c.kW * c.kH;
    uint16_t acc = static_cast<const uint16_t*>(l.bias.pvData)[1];
    for (uint32_t ky = 0; ky < c.kH; ++ky)
      for (uint32_t kx = 0; kx < c.kW; ++kx) {
        const int32_t y = static_cast<int32_t>(ky * c.dil) - c.pad.siTop;
        const int32_t x = static_cast<int32_t>(kx * c.dil) - c.pad.siLeft;
        uint16_t v = 0;
        if (y >= 0 && x >= 0 && y < static_cast<int32_t>(c.h) && x < static_cast<int32_t>(c.w)) {
          FrnnTensorGetElement(in, 0, 1, static_cast<uint32_t>(y), static_cast<uint32_t>(x), &v);
        }
        acc = SingleToHalfOnce(HalfToSingleOnce(acc) + HalfToSingleOnce(w[ky * c.kW + kx]) * HalfToSingleOnce(v));
      }
    uint16_t got = 0;
    FrnnTensorGetElement(out, 0, 1, 0, 0, &got);
    EXPECT_EQ(acc, got) << c.kW << " dil " << c.dil;
    // The scalar body gives the same bits everywhere.
    FrnnSetVectorKernels(false);
    FrnnTensor* scalar = nullptr;
    ASSERT_EQ(0u, FrnnDepthwiseConvForwardInt(&l, in, &scalar, pool.get()));
    FrnnSetVectorKernels(true);
    std::vector<uint16_t> vb, sb;
    for (uint32_t k = 0; k < 2; ++k)
      for (uint32_t y = 0; y < c.oh; ++y)
        for (uint32_t x = 0; x < c.ow; ++x) {
          uint16_t e = 0;
          FrnnTensorGetElement(out, 0, k, y, x, &e);
          vb.push_back(e);
          FrnnTensorGetElement(scalar, 0, k, y, x, &e);
          sb.push_back(e);
        }
    EXPECT_EQ(sb, vb) << c.kW << " dil " << c.dil;
    FrnnTensorDestroy(&scalar, pool.get());
    FrnnTensorDestroy(&out, pool.get());
    FrnnTensorDestroy(&in, pool.get());
  }
  // Channel count that does not match the multiplier: refused before anything is taken.
  FrnnTensor* in = MakeHalf(pool.get(), 1, 3, 4, 4, {});
  std::vector<uint16_t> blob(64, 0);
  FrnnWeightReader r = HalfReader(blob);
  DepthwiseConvLayer l = FrnnDepthwiseConvInit(2, 1, 3, 3, 1, 1, 0, nullptr, &r);
  ASSERT_EQ(0u, FrnnDepthwiseConvLoadWeight(&l, &r));
  FrnnTensor* out = nullptr;
  EXPECT_EQ(8u, FrnnDepthwiseConvForwardInt(&l, in, &out, pool.get()));
  FrnnTensorDestroy(&in, pool.get());
  // A zero stride would read one window over and over past the plane's end in some
  // kernels: refused in every layout, as the convolution and pooling layers refuse it.
  FrnnTensor* src = MakeHalf(pool.get(), 1, 8, 6, 8, Random(8 * 6 * 8, 4));
  const FrnnPaddingParam p1{1, 1, 1, 1, 0, 0};
  for (uint32_t layout : {FRNN_LAYOUT_NCHW, FRNN_LAYOUT_NC8HW8, FRNN_LAYOUT_CHWN}) {
    FrnnTensor* x = layout == FRNN_LAYOUT_NCHW ? src : ToLayout(src, layout, pool.get());
    ASSERT_NE(x, nullptr);
    for (const auto& s : {std::pair<uint32_t, uint32_t>{0, 1}, {1, 0}, {0, 0}}) {
      for (const FrnnPaddingParam& pad : {FrnnPaddingParam{}, p1}) {
        SCOPED_TRACE(testing::Message() << "layout " << layout << " stride " << s.first << "x" << s.second);
        std::vector<uint16_t> wb = Halves(Random(8 * 9 + 8, 5));
        FrnnWeightReader wr = HalfReader(wb);
        DepthwiseConvLayer dl = FrnnDepthwiseConvInit(8, 1, 3, 3, s.first, s.second, 1, &pad, &wr);
        ASSERT_EQ(0u, FrnnDepthwiseConvLoadWeight(&dl, &wr));
        const uint32_t before = pool.InUse();
        FrnnTensor* o = nullptr;
        EXPECT_EQ(FRNN_ERR_ARG, FrnnDepthwiseConvForwardInt(&dl, x, &o, pool.get()));
        EXPECT_EQ(o, nullptr);
        EXPECT_EQ(before, pool.InUse());
      }
    }
    if (x != src) FrnnTensorDestroy(&x, pool.get());
  }
  FrnnTensorDestroy(&src, pool.get());
  EXPECT_EQ(9u, FrnnCplxDepthwiseConvLoadWeight());
  EXPECT_EQ(2u, FrnnCplxDepthwiseConvForward());
  EXPECT_EQ(0u, pool.InUse());
}

}  // namespace
