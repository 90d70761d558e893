// The blocked and batch-interleaved kernels against the planar routes: depthwise kernels
// bit for bit in every layout (each channel's taps keep their order); the blocked
// convolution bit for bit against its own summation order written out plainly, equal to
// the planar path for 1x1 kernels and close to it otherwise (its sums take the taps
// before the channels of a block); path B bit for bit against path C; the NC4HW4 kernel
// within 1e-5 of the planar one.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "frnn_conv_kernels.h"
#include "frnn_fast.h"
#include "frnn_internal.h"
#include "nn_test_util.h"

namespace {

struct ConvCase {
  uint32_t cin, cout, h, w, kW, kH, sW, sH;
  FrnnPaddingParam pad;
};

// One convolution layer forward on `in` (any layout) with a fixed blob; the values of the
// output in logical order, or empty with the result in *pRes.
std::vector<float> Forward(const FrnnTensor* in, const ConvCase& c, std::vector<uint16_t> blob, uint32_t kind,
                           void* pool, uint32_t* pRes = nullptr, uint32_t dilation = 1) {
  FrnnWeightReader r = HalfReader(blob);
  r.uiKind = kind;
  r.uiWidthSel = kind == FRNN_KIND_F32 ? 2 : 0;  // single precision widens half-stored weights
  ConvolutionLayer l = FrnnConvolutionInit(c.cin, c.cout, c.kW, c.kH, c.sW, c.sH, 1, &c.pad, &r);
  l.dilationWidth = l.dilationHeight = dilation;
  EXPECT_EQ(FrnnConvolutionLoadWeight(&l, &r), FRNN_OK);
  FrnnTensor* out = nullptr;
  const uint32_t res = FrnnConvolutionForwardInt(&l, in, &out, pool);
  if (pRes != nullptr) *pRes = res;
  std::vector<float> v;
  if (res == FRNN_OK) {
    EXPECT_EQ(out->uiLayout, in->uiLayout);
    v = Values(out);
    FrnnTensorDestroy(&out, pool);
  }
  return v;
}

// The blocked kernel's sum for one output value, written out plainly: bias, then per
// input block of 8 (padding channels with zero weights and zero input), the taps
// row-major, then the 8 lanes, each term rounded to half.
std::vector<float> BlockedOrder(const std::vector<float>& in, const ConvCase& c, uint32_t n,
                                const std::vector<uint16_t>& blob) {
  const uint32_t oh = (c.h - c.kH) / c.sH + 1, ow = (c.w - c.kW) / c.sW + 1;
  const uint32_t taps = c.kW * c.kH, cin8 = (c.cin + 7) / 8 * 8;
  std::vector<float> out;
  for (uint32_t i = 0; i < n; ++i)
    for (uint32_t o = 0; o < c.cout; ++o)
      for (uint32_t y = 0; y < oh; ++y)
        for (uint32_t x = 0; x < ow; ++x) {
          uint16_t acc = blob[c.cin * c.cout * taps + o];
          for (uint32_t j = 0; j < cin8; j += 8)
            for (uint32_t t = 0; t < taps; ++t)
              for (uint32_t k = j; k < j + 8; ++k) {
                const bool real = k < c.cin;
                const uint16_t w = real ? blob[(o * c.cin + k) * taps + t] : 0;
                const float v = real ? in[((i * c.cin + k) * c.h + y * c.sH + t / c.kW) * c.w + x * c.sW + t % c.kW] : 0.0f;
                acc = HalfFma(acc, w, SingleToHalfOnce(v));
              }
          out.push_back(HalfToSingleOnce(acc));
        }
  return out;
}

TEST(FrnnBlockedConv, SumsInBlockOrderAndStaysCloseToPlanar) {
  const ConvCase cases[] = {
      {5, 12, 3, 5, 3, 3, 1, 1, {}},   // copies: 8 input and 16 output channels, 2 x 2 tiles and tails
      {16, 16, 6, 7, 3, 3, 1, 1, {}},  // no copies
      {8, 24, 9, 10, 3, 1, 1, 1, {}},
      {8, 8, 9, 9, 3, 3, 2, 2, {}},
      {13, 11, 5, 7, 5, 5, 1, 1, {}},
      {8, 16, 1, 23, 1, 1, 1, 1, {}},  // 23 pixels: 12, 6, 3 and two single pixels
      {13, 5, 4, 6, 1, 1, 1, 1, {}},
  };
  const ReferenceKernelsOnly reference;
  for (const ConvCase& c : cases) {
    SCOPED_TRACE(c.cin * 1000 + c.cout * 10 + c.kW);
    NnPool pool(4u << 20);
    const auto vals = Random(2 * c.cin * c.h * c.w, c.cin + c.w, 2.0f);
    FrnnTensor* in = MakeHalf(pool.get(), 2, c.cin, c.h, c.w, vals);
    FrnnTensor* blk = ToLayout(in, FRNN_LAYOUT_NC8HW8, pool.get());
    ASSERT_NE(blk, nullptr);
    const auto blob = Halves(Random(c.cin * c.cout * c.kW * c.kH + c.cout, c.cout * 5 + c.kH, 0.5f));
    const auto planar = Forward(in, c, blob, FRNN_KIND_F16, pool.get());
    const uint32_t before = pool.InUse();
    const auto blocked = Forward(blk, c, blob, FRNN_KIND_F16, pool.get());
    EXPECT_EQ(pool.InUse(), before);  // the packing scratch is given back
    ASSERT_FALSE(planar.empty());
    ASSERT_EQ(blocked, BlockedOrder(vals, c, 2, blob));
    FrnnSetVectorKernels(false);  // the scalar body gives the same bits
    const auto scalar = Forward(blk, c, blob, FRNN_KIND_F16, pool.get());
    FrnnSetVectorKernels(true);
    ASSERT_EQ(scalar, blocked);
    const bool b1x1 = c.kW == 1 && c.kH == 1;
    for (size_t j = 0; j < planar.size(); ++j) {
      if (b1x1) {
        ASSERT_EQ(planar[j], blocked[j]) << j;  // one tap: the block order is the channel order
      } else {
        // Every term is rounded in both; only the order differs.
        ASSERT_NEAR(planar[j], blocked[j], 0.1f + 0.01f * std::fabs(planar[j])) << j;
      }
    }
  }
}

// The output's padding lanes come out 0: zero weights and zero bias past the real
// channels.
TEST(FrnnBlockedConv, PaddingLanesOfTheOutputAreZero) {
  NnPool pool(4u << 20);
  const ConvCase c{5, 12, 4, 4, 3, 3, 1, 1, {}};
  FrnnTensor* in = MakeHalf(pool.get(), 1, 5, 4, 4, Random(80, 3, 2.0f));
  FrnnTensor* blk = ToLayout(in, FRNN_LAYOUT_NC8HW8, pool.get());
  auto blob = Halves(Random(5 * 12 * 9 + 12, 4, 0.5f));
  FrnnWeightReader r = HalfReader(blob);
  ConvolutionLayer l = FrnnConvolutionInit(5, 12, 3, 3, 1, 1, 1, &c.pad, &r);
  ASSERT_EQ(FrnnConvolutionLoadWeight(&l, &r), FRNN_OK);
  FrnnTensor* out = nullptr;
  ASSERT_EQ(FrnnConvolutionForwardInt(&l, blk, &out, pool.get()), FRNN_OK);
  const auto* p = Elems<const uint16_t>(out);
  for (uint32_t px = 0; px < out->uiH * out->uiW; ++px)
    for (uint32_t lane = 4; lane < 8; ++lane) ASSERT_EQ(p[out->uiPlane * 8 + px * 8 + lane], 0) << px;
}

// Batch-interleaved (CHWN) inputs take the planar order: bit for bit.
TEST(FrnnBlockedConv, BatchInterleavedMatchesPlanar) {
  const ConvCase cases[] = {{3, 13, 6, 7, 3, 3, 1, 1, {}}, {3, 5, 7, 9, 3, 3, 2, 2, {}}, {2, 3, 5, 9, 3, 3, 2, 1, {}},
                            {6, 6, 3, 11, 1, 1, 1, 1, {}}};
  const ReferenceKernelsOnly reference;
  for (const ConvCase& c : cases) {
    NnPool pool(4u << 20);
    FrnnTensor* in = MakeHalf(pool.get(), 13, c.cin, c.h, c.w, Random(13 * c.cin * c.h * c.w, c.w, 2.0f));
    FrnnTensor* chwn = ToLayout(in, FRNN_LAYOUT_CHWN, pool.get());
    ASSERT_NE(chwn, nullptr);
    const auto blob = Halves(Random(c.cin * c.cout * c.kW * c.kH + c.cout, c.h, 0.5f));
    const auto planar = Forward(in, c, blob, FRNN_KIND_F16, pool.get());
    const auto inter = Forward(chwn, c, blob, FRNN_KIND_F16, pool.get());
    ASSERT_FALSE(planar.empty());
    EXPECT_EQ(planar, inter);
  }
}

// A pool that holds the tensors but not the packed weights fails the layer with 4; nothing
// is written through a missing block and the pool is as before.
TEST(FrnnBlockedConv, PackingThatDoesNotFitFailsCleanly) {
  NnPool pool(48u << 10);
  FrnnTensor* in = MakeHalf(pool.get(), 1, 64, 4, 4, Random(1024, 2));
  FrnnTensor* blk = ToLayout(in, FRNN_LAYOUT_NC8HW8, pool.get());
  ASSERT_NE(blk, nullptr);
  FrnnTensorDestroy(&in, pool.get());
  const uint32_t before = pool.InUse();
  uint32_t res = 0;
  EXPECT_TRUE(Forward(blk, {64, 64, 4, 4, 3, 3, 1, 1, {}}, Halves(Random(64 * 64 * 9 + 64, 3)), FRNN_KIND_F16,
                      pool.get(), &res)
                  .empty());
  EXPECT_EQ(res, FRNN_ERR_NOMEM);
  EXPECT_EQ(pool.InUse(), before);
}

TEST(FrnnBlockedConv, DilatedBlockedInputHasNoRoute) {
  NnPool pool(4u << 20);
  FrnnTensor* in = MakeHalf(pool.get(), 1, 8, 7, 7, Random(392, 9));
  FrnnTensor* blk = ToLayout(in, FRNN_LAYOUT_NC8HW8, pool.get());
  const auto blob = Halves(Random(8 * 8 * 9 + 8, 1));
  uint32_t res = 0;
  EXPECT_TRUE(Forward(blk, {8, 8, 7, 7, 3, 3, 1, 1, {}}, blob, FRNN_KIND_F16, pool.get(), &res, 2).empty());
  EXPECT_EQ(res, FRNN_ERR_UNSUPPORTED);
}

// Path B computes in path C's order: the same bits. Shapes path B does not take fall back
// to path C and still give the convolution.
TEST(FrnnPathB, MatchesPathC) {
  const ConvCase cases[] = {
      {3, 5, 7, 9, 3, 3, 1, 1, {}}, {2, 7, 9, 11, 3, 3, 2, 2, {}}, {5, 7, 4, 7, 1, 1, 1, 1, {}},
      {2, 3, 9, 9, 5, 5, 1, 1, {}}, {3, 2, 6, 9, 2, 2, 2, 2, {}},  {2, 3, 5, 9, 3, 3, 2, 1, {}},
      {2, 3, 9, 9, 7, 7, 1, 1, {}}, {4, 8, 1, 27, 1, 1, 1, 1, {}}, {3, 3, 6, 6, 3, 3, 1, 1, {1, 1, 1, 1, 0, 0}},
  };
  for (const ConvCase& c : cases) {
    SCOPED_TRACE(c.kW * 100 + c.sW * 10 + c.sH);
    NnPool pool(4u << 20);
    FrnnTensor* in = MakeFloat(pool.get(), 2, c.cin, c.h, c.w, Random(2 * c.cin * c.h * c.w, c.w + 1, 2.0f));
    auto blob = Halves(Random(c.cin * c.cout * c.kW * c.kH + c.cout, c.cout, 0.5f));
    FrnnWeightReader r = HalfReader(blob);
    r.uiKind = FRNN_KIND_F32;
    r.uiWidthSel = 2;
    ConvolutionLayer l = FrnnConvolutionInit(c.cin, c.cout, c.kW, c.kH, c.sW, c.sH, 1, &c.pad, &r);
    ASSERT_EQ(FrnnConvolutionLoadWeight(&l, &r), FRNN_OK);
    // The layer's working record: weights widened to single precision.
    std::vector<float> w(l.weightCount), b(c.cout);
    HalfToSingle(Elems<const uint16_t>(&l.weights), w.data(), static_cast<int32_t>(w.size()));
    HalfToSingle(Elems<const uint16_t>(&l.bias), b.data(), static_cast<int32_t>(b.size()));
    ConvolutionLayer wk = l;
    wk.weights.pvData = w.data();
    wk.weights.uiElemSize = 4;
    wk.bias.pvData = b.data();
    wk.bias.uiElemSize = 4;
    FrnnTensor* src = in;
    FrnnTensor* padded = nullptr;
    if (c.pad.siLeft > 0) {
      ASSERT_EQ(FrnnPaddingForwardInt(&c.pad, in, &padded, pool.get()), FRNN_OK);
      src = padded;
    }
    const uint32_t ow = (src->uiW - c.kW) / c.sW + 1, oh = (src->uiH - c.kH) / c.sH + 1;
    FrnnTensor* ob = FrnnTensorCreate3D(2, ow, oh, c.cout, 4, 0, FRNN_KIND_F32, pool.get());
    FrnnTensor* oc = FrnnTensorCreate3D(2, ow, oh, c.cout, 4, 0, FRNN_KIND_F32, pool.get());
    const uint32_t rb = ConvDirectDispatch(&wk, src, ob, pool.get());
    ASSERT_EQ(ConvGenericForward(&wk, src, static_cast<int32_t>(oh), static_cast<int32_t>(ow), oc, pool.get()), 0u);
    const bool bTaken = (c.kW == 3 && c.sW == c.sH) || c.kW == 1 || (c.kW == 5) || (c.kW == 2);
    ASSERT_EQ(rb, bTaken ? FRNN_OK : FRNN_ERR_UNSUPPORTED);
    if (bTaken) {
      const auto vb = Values(ob), vc = Values(oc);
      for (size_t j = 0; j < vb.size(); ++j) ASSERT_EQ(vb[j], vc[j]) << j;  // well inside 1e-5
    }
    // The whole layer, whichever path computes it, gives path C's values.
    FrnnTensor* lo = nullptr;
    ASSERT_EQ(FrnnConvolutionForwardInt(&l, in, &lo, pool.get()), FRNN_OK);
    EXPECT_EQ(Values(lo), Values(oc));
  }
}

// NC4HW4 through the layer against NCHW: every shape with dilation 1 is computed.
TEST(FrnnPathB, Nc4hw4MatchesNchw) {
  const ConvCase cases[] = {
      {3, 5, 6, 7, 3, 3, 1, 1, {}}, {4, 8, 7, 9, 3, 3, 2, 2, {}}, {3, 5, 5, 5, 1, 1, 2, 2, {}},
      {3, 5, 9, 8, 3, 3, 1, 2, {}}, {2, 3, 9, 9, 7, 7, 1, 1, {}}, {6, 7, 1, 14, 1, 1, 1, 1, {}},
      {3, 3, 6, 6, 3, 3, 1, 1, {1, 1, 1, 1, 0, 0}},
  };
  for (const ConvCase& c : cases) {
    SCOPED_TRACE(c.cin * 100 + c.kW * 10 + c.sH);
    NnPool pool(4u << 20);
    FrnnTensor* in = MakeFloat(pool.get(), 2, c.cin, c.h, c.w, Random(2 * c.cin * c.h * c.w, c.w + 7, 2.0f));
    FrnnTensor* blk = ToLayout(in, FRNN_LAYOUT_NC4HW4, pool.get());
    ASSERT_NE(blk, nullptr);
    const auto blob = Halves(Random(c.cin * c.cout * c.kW * c.kH + c.cout, c.cin, 0.5f));
    const auto planar = Forward(in, c, blob, FRNN_KIND_F32, pool.get());
    const uint32_t before = pool.InUse();
    const auto blocked = Forward(blk, c, blob, FRNN_KIND_F32, pool.get());
    EXPECT_EQ(pool.InUse(), before);
    ASSERT_EQ(planar.size(), blocked.size());
    for (size_t j = 0; j < planar.size(); ++j) ASSERT_NEAR(planar[j], blocked[j], 1e-5f * (1 + std::fabs(planar[j])));
  }
  // Dilation 2 has no NC4HW4 loop (and path C no NC4HW4 route); the pool is as before.
  NnPool pool(4u << 20);
  FrnnTensor* in = MakeFloat(pool.get(), 1, 4, 7, 7, Random(196, 2));
  FrnnTensor* blk = ToLayout(in, FRNN_LAYOUT_NC4HW4, pool.get());
  const uint32_t before = pool.InUse();
  uint32_t res = 0;
  EXPECT_TRUE(Forward(blk, {4, 4, 7, 7, 3, 3, 1, 1, {}}, Halves(Random(148, 5)), FRNN_KIND_F32, pool.get(), &res, 2)
                  .empty());
  EXPECT_EQ(res, FRNN_ERR_UNSUPPORTED);
  EXPECT_EQ(pool.InUse(), before);
}

// Depthwise: one forward through the layer on `in` with a fixed blob.
std::vector<float> Depthwise(const FrnnTensor* in, uint32_t mult, uint32_t k, uint32_t s, const FrnnPaddingParam& pad,
                             std::vector<uint16_t> blob, uint32_t kind, void* pool, uint32_t* pRes = nullptr) {
  FrnnWeightReader r = HalfReader(blob);
  r.uiKind = kind;
  r.uiWidthSel = kind == FRNN_KIND_F32 ? 2 : 0;
  DepthwiseConvLayer l = FrnnDepthwiseConvInit(in->uiC, mult, k, k, s, s, 1, &pad, &r);
  EXPECT_EQ(FrnnDepthwiseConvLoadWeight(&l, &r), FRNN_OK);
  FrnnTensor* out = nullptr;
  const uint32_t res = FrnnDepthwiseConvForwardInt(&l, in, &out, pool);
  if (pRes != nullptr) *pRes = res;
  std::vector<float> v;
  if (res == FRNN_OK) {
    v = Values(out);
    FrnnTensorDestroy(&out, pool);
  }
  return v;
}

TEST(FrnnDepthwiseKernels, EveryLayoutGivesTheReferenceBits) {
  const ReferenceKernelsOnly reference;
  struct Case {
    uint32_t c, h, w, k, s;
    FrnnPaddingParam pad;
  } cases[] = {
      {13, 6, 9, 3, 1, {1, 1, 1, 1, 0, 0}}, {13, 9, 13, 3, 2, {}}, {8, 7, 8, 5, 1, {2, 2, 2, 2, 0, 0}},
      {5, 1, 9, 1, 1, {}},                  {9, 5, 1, 3, 1, {1, 1, 1, 1, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.c * 100 + c.k * 10 + c.s);
    NnPool pool(4u << 20);
    const auto vals = Random(2 * c.c * c.h * c.w, c.h * 3 + c.k, 2.0f);
    const auto blob = Halves(Random(c.c * c.k * c.k + c.c, c.c, 0.7f));
    FrnnTensor* in = MakeHalf(pool.get(), 2, c.c, c.h, c.w, vals);
    const auto ref = Depthwise(in, 1, c.k, c.s, c.pad, blob, FRNN_KIND_F16, pool.get());
    ASSERT_FALSE(ref.empty());
    FrnnSetVectorKernels(false);
    EXPECT_EQ(Depthwise(ToLayout(in, FRNN_LAYOUT_NC8HW8, pool.get()), 1, c.k, c.s, c.pad, blob, FRNN_KIND_F16,
                        pool.get()),
              ref);
    FrnnSetVectorKernels(true);
    EXPECT_EQ(Depthwise(ToLayout(in, FRNN_LAYOUT_NC8HW8, pool.get()), 1, c.k, c.s, c.pad, blob, FRNN_KIND_F16,
                        pool.get()),
              ref);
    if (c.s == 1 && (c.k == 3 || c.k == 1)) {
      EXPECT_EQ(Depthwise(ToLayout(in, FRNN_LAYOUT_CHWN, pool.get()), 1, c.k, c.s, c.pad, blob, FRNN_KIND_F16,
                          pool.get()),
                ref);
    }
    // Single precision: NC4HW4 kernels for 1x1 and 3x3 at strides 1 and 2.
    FrnnTensor* fin = MakeFloat(pool.get(), 2, c.c, c.h, c.w, vals);
    const auto fref = Depthwise(fin, 1, c.k, c.s, c.pad, blob, FRNN_KIND_F32, pool.get());
    uint32_t res = 0;
    const auto f4 =
        Depthwise(ToLayout(fin, FRNN_LAYOUT_NC4HW4, pool.get()), 1, c.k, c.s, c.pad, blob, FRNN_KIND_F32, pool.get(), &res);
    if (c.k == 5) {
      EXPECT_EQ(res, FRNN_ERR_UNSUPPORTED);  // no NC4HW4 kernel, no reference route outside NCHW
    } else {
      EXPECT_EQ(f4, fref);
    }
  }
}

// The fast paths' sum written out plainly: bias, then the taps row-major, each a fused
// multiply-add in single precision, rounded to half once. Strides 1 and 2, odd and even
// widths, with and without padding, planar and blocked.
TEST(FrnnDepthwiseKernels, FastPathsSumInSinglePrecisionAndRoundOnce) {
  if (!FrnnFastPaths()) GTEST_SKIP() << "no fast paths on this processor";
  struct Case {
    uint32_t c, h, w, k, s;
    FrnnPaddingParam pad;
  } cases[] = {
      {8, 20, 20, 3, 2, {1, 1, 1, 1, 0, 0}}, {5, 9, 13, 3, 2, {}}, {3, 11, 7, 3, 2, {1, 1, 1, 1, 0, 0}},
      {4, 10, 10, 3, 1, {1, 1, 1, 1, 0, 0}}, {2, 6, 17, 5, 2, {2, 2, 2, 2, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.c * 1000 + c.w * 10 + c.s);
    NnPool pool(4u << 20);
    const auto vals = Random(c.c * c.h * c.w, c.h * 5 + c.w, 2.0f);
    const auto blob = Halves(Random(c.c * c.k * c.k + c.c, c.w, 0.7f));
    // The padded input in single precision (halves widened exactly).
    const int32_t pl = c.pad.siLeft, pt = c.pad.siTop;
    const uint32_t ph = c.h + pt + c.pad.siBottom, pw = c.w + pl + c.pad.siRight;
    const uint32_t oh = (ph - c.k) / c.s + 1, ow = (pw - c.k) / c.s + 1;
    std::vector<float> want;
    for (uint32_t ch = 0; ch < c.c; ++ch)
      for (uint32_t y = 0; y < oh; ++y)
        for (uint32_t x = 0; x < ow; ++x) {
          float acc = HalfToSingleOnce(blob[c.c * c.k * c.k + ch]);
          for (uint32_t ky = 0; ky < c.k; ++ky)
            for (uint32_t kx = 0; kx < c.k; ++kx) {
              const int32_t iy = static_cast<int32_t>(y * c.s + ky) - pt, ix = static_cast<int32_t>(x * c.s + kx) - pl;
              const bool inside = iy >= 0 && ix >= 0 && iy < static_cast<int32_t>(c.h) && ix < static_cast<int32_t>(c.w);
              const float v = inside ? HalfToSingleOnce(SingleToHalfOnce(vals[(ch * c.h + iy) * c.w + ix])) : 0.0f;
              acc = std::fma(HalfToSingleOnce(blob[(ch * c.k + ky) * c.k + kx]), v, acc);
            }
          want.push_back(HalfToSingleOnce(SingleToHalfOnce(acc)));
        }
    FrnnTensor* in = MakeHalf(pool.get(), 1, c.c, c.h, c.w, vals);
    EXPECT_EQ(Depthwise(in, 1, c.k, c.s, c.pad, blob, FRNN_KIND_F16, pool.get()), want);
    EXPECT_EQ(Depthwise(ToLayout(in, FRNN_LAYOUT_NC8HW8, pool.get()), 1, c.k, c.s, c.pad, blob, FRNN_KIND_F16,
                        pool.get()),
              want);
  }
}

TEST(FrnnDepthwiseKernels, MultiplierTwoBlockedHasNoRoute) {
  NnPool pool(4u << 20);
  FrnnTensor* in = MakeHalf(pool.get(), 1, 8, 5, 5, Random(200, 1));
  FrnnTensor* blk = ToLayout(in, FRNN_LAYOUT_NC8HW8, pool.get());
  const uint32_t before = pool.InUse();
  uint32_t res = 0;
  EXPECT_TRUE(Depthwise(blk, 2, 3, 1, {}, Halves(Random(16 * 9 + 16, 2)), FRNN_KIND_F16, pool.get(), &res).empty());
  EXPECT_EQ(res, FRNN_ERR_UNSUPPORTED);
  EXPECT_EQ(pool.InUse(), before);
  // Multiplier 2 in NCHW: the reference route orders kernels multiplier-major.
  EXPECT_EQ(Depthwise(in, 2, 3, 1, {}, Halves(Random(16 * 9 + 16, 2)), FRNN_KIND_F16, pool.get()).size(), 16u * 9);
}

}  // namespace
