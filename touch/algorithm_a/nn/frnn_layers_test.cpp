// Layers without convolution: padding, activations, group normalisation, elementwise
// arithmetic, shape moves, GRU, the math routines and the fixed-point quantisers.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "frnn_conv_kernels.h"
#include "nn_test_util.h"


namespace {

FrnnWeightReader KindReader(uint32_t kind) {
  FrnnWeightReader r{};
  r.uiKind = kind;
  return r;
}

std::vector<float> Row(const std::vector<float>& v, size_t row, size_t w) {
  return std::vector<float>(v.begin() + static_cast<long>(row * w), v.begin() + static_cast<long>((row + 1) * w));
}

TEST(FrnnPadding, ModesOnAThreeByThreePlane) {
  struct Case {
    uint32_t mode;
    std::vector<float> row0, row1;
  } cases[] = {
      {0, {0, 0, 0, 0, 0}, {0, 1, 2, 3, 0}},
      {1, {1, 1, 2, 3, 3}, {1, 1, 2, 3, 3}},
      {2, {5, 4, 5, 6, 5}, {2, 1, 2, 3, 2}},
      {3, {1, 1, 2, 3, 3}, {1, 1, 2, 3, 3}},
  };
  const FrnnWeightReader r = KindReader(FRNN_KIND_F16);
  for (const Case& c : cases) {
    NnPool pool;
    FrnnTensor* in = MakeHalf(pool.get(), 1, 1, 3, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9});
    const FrnnPaddingParam p = FrnnPaddingInit(1, 1, 1, 1, static_cast<int32_t>(c.mode), &r, 0.0f);
    FrnnTensor* out = nullptr;
    ASSERT_EQ(0u, FrnnPadding(in, &out, &p, &r, pool.get())) << c.mode;
    ASSERT_EQ(5u, out->uiW);
    const std::vector<float> v = Values(out);
    EXPECT_EQ(c.row0, Row(v, 0, 5)) << c.mode;
    EXPECT_EQ(c.row1, Row(v, 1, 5)) << c.mode;
    FrnnTensorDestroy(&out, pool.get());
    FrnnTensorDestroy(&in, pool.get());
    EXPECT_EQ(0u, pool.InUse());
  }
}

TEST(FrnnPadding, RefusalsLeaveTheSlotEmpty) {
  NnPool pool;
  const FrnnWeightReader r = KindReader(FRNN_KIND_F16);
  FrnnTensor* in = MakeHalf(pool.get(), 1, 1, 3, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9});
  struct Case {
    FrnnPaddingParam p;
    uint32_t result;
  } cases[] = {
      {{-1, 0, 0, 0, 0, 0}, 8},
      {{0, 0, 0, 0, 4, 0}, 0},  // no padding: a plain copy whatever the mode
      {{1, 1, 1, 1, 4, 0}, 3},  // unknown mode: refused, not an unwritten success
      {{4, 0, 0, 0, 1, 0}, 8},  // symmetric mirror wider than the plane
      {{0, 0, 3, 0, 2, 0}, 8},  // reflect needs fewer rows than the plane has
      {{3, 3, 3, 3, 1, 0}, 0},  // symmetric up to the full extent is fine
  };
  for (const Case& c : cases) {
    FrnnTensor* out = nullptr;
    EXPECT_EQ(c.result, FrnnPaddingForwardInt(&c.p, in, &out, pool.get())) << c.p.siLeft << "/" << c.p.uiMode;
    EXPECT_EQ(c.result == 0, out != nullptr);
    if (out != nullptr) FrnnTensorDestroy(&out, pool.get());
  }
  // Constant padding of a batch-interleaved half tensor works; mirror modes do not.
  FrnnTensor* chwn = FrnnTensorCreate3D(2, 3, 3, 1, 2, FRNN_LAYOUT_CHWN, FRNN_KIND_F16, pool.get());
  FrnnTensor* out = nullptr;
  const FrnnPaddingParam mirror{1, 1, 1, 1, 1, 0};
  EXPECT_EQ(9u, FrnnPaddingForwardInt(&mirror, chwn, &out, pool.get()));
  EXPECT_EQ(nullptr, out);
  const FrnnPaddingParam none{};
  FrnnTensor* taken = in;
  EXPECT_EQ(6u, FrnnPaddingForwardInt(&none, in, &taken, pool.get()));
  FrnnTensorDestroy(&chwn, pool.get());
  FrnnTensorDestroy(&in, pool.get());
  EXPECT_EQ(0u, pool.InUse());
  // The fill value follows the reader's kind.
  const FrnnWeightReader ri = KindReader(FRNN_KIND_S32);
  EXPECT_EQ(SingleToHalfOnce(-1.5f), FrnnPaddingInit(0, 0, 0, 0, 0, &r, -1.5f).uiValue);
  EXPECT_EQ(0xFFFFFFFFu, FrnnPaddingInit(0, 0, 0, 0, 0, &ri, -1.5f).uiValue);
}

TEST(FrnnActivation, ReluReluNSigmoidHardSigmoid) {
  NnPool pool;
  const FrnnWeightReader r = KindReader(FRNN_KIND_F16);
  const FrnnWeightReader rf = KindReader(FRNN_KIND_F32);
  FrnnTensor* h = MakeHalf(pool.get(), 1, 1, 1, 4, {-1.0f, 3.0f, 7.5f, -0.25f});
  FrnnTensor* f = MakeFloat(pool.get(), 1, 1, 1, 4, {-2.0f, 3.0f, 0.0f, -1.0f});
  ASSERT_EQ(0u, FrnnReluN(h, 6, &r));
  EXPECT_EQ((std::vector<float>{0, 3, 6, 0}), Values(h));
  ASSERT_EQ(0u, FrnnRelu(f, &rf, pool.get(), 0.1f));
  EXPECT_EQ((std::vector<float>{-0.2f, 3.0f, 0.0f, -0.1f}), Values(f));
  FrnnTensor* s = MakeHalf(pool.get(), 1, 1, 1, 4, {0.0f, 100.0f, -100.0f, 1.0f});
  ASSERT_EQ(0u, FrnnSigmoid(s, &r, pool.get()));
  const std::vector<float> sv = Values(s);
  EXPECT_EQ(0.5f, sv[0]);
  EXPECT_EQ(1.0f, sv[1]);
  EXPECT_EQ(0.0f, sv[2]);
  EXPECT_NEAR(0.7310586f, sv[3], 1e-3f);
  FrnnTensor* hs = MakeHalf(pool.get(), 1, 1, 1, 4, {0.0f, 3.0f, -3.0f, 4.0f});
  ASSERT_EQ(0u, FrnnHardSigmoid(hs, &r, pool.get()));
  EXPECT_EQ((std::vector<float>{0.5f, 1.0f, std::ldexp(1.0f, -13), 1.0f}), Values(hs));
  // Kind checks and the half row check.
  const FrnnWeightReader r6 = KindReader(6);
  const FrnnWeightReader r2 = KindReader(FRNN_KIND_S16);
  EXPECT_EQ(3u, FrnnRelu(h, &r6, pool.get(), 0.0f));
  EXPECT_EQ(9u, FrnnRelu(h, &r2, pool.get(), 0.0f));
  FrnnTensor view = *h;
  view.uiRowStride = 12;
  EXPECT_EQ(11u, FrnnRelu(&view, &r, pool.get(), 0.0f));
  FrnnTensor* blocked = FrnnTensorCreate3D(1, 2, 2, 3, 2, FRNN_LAYOUT_NC8HW8, FRNN_KIND_F16, pool.get());
  EXPECT_EQ(9u, FrnnRelu(blocked, &r, pool.get(), 0.5f));
  EXPECT_EQ(0u, FrnnApplyActivation(h, 0, &r));
  EXPECT_EQ(3u, FrnnApplyActivation(h, 5, &r));
  for (FrnnTensor** t : {&h, &f, &s, &hs, &blocked}) FrnnTensorDestroy(t, pool.get());
}

TEST(FrnnMath, ExponentialsStayPositiveAndSimpsonEnds) {
  // The bit-construction exponentials used to wrap into the sign bit past about 88.7.
  for (float x : {88.0f, 88.8f, 100.0f, 1000.0f}) {
    EXPECT_GT(NnFastExp(x), 1e38f) << x;
    EXPECT_TRUE(std::isfinite(NnFastExp(x))) << x;
    EXPECT_GT(NnFasterExp(x), 1e37f) << x;
  }
  for (float x : {-1.0f, 0.0f, 0.5f, 5.0f}) {
    EXPECT_NEAR(std::exp(x), NnFastExp(x), std::exp(x) * 1e-3f) << x;
    EXPECT_NEAR(std::exp(x), NnExpApprox(x), std::exp(x) * 1e-5f) << x;
  }
  EXPECT_EQ(5.827e34f, NnExpApprox(80.5f));
  EXPECT_EQ(65536u, FixedExpQ16Sat(0));
  EXPECT_EQ(FixedExpQ16Sat(655360u), FixedExpQ16Sat(900000u));
  EXPECT_NEAR(std::exp(1.0), FixedExpQ16Sat(65536u) / 65536.0, 1e-3);
  EXPECT_NEAR(std::log(5.0), NnLogSimpson(5.0), 1e-6);
  // A tolerance that can never be met (placeholder kinds, NaN) ends instead of recursing.
  EXPECT_TRUE(std::isfinite(NnSimpsonLog(2, 1.0, 2.0, 1e-12, 0.0)));
  EXPECT_TRUE(std::isnan(NnSimpsonLog(1, 1.0, 2.0, NAN, NAN)));
  EXPECT_NEAR(std::log(4.0), NnSimpsonLog(1, 1.0, 4.0, 0.0, 3.0 * (1 + 4 / 2.5 + 0.25) / 6), 1e-3);
  NnSimpsonLogFrom(3, 1.0, 4.0, 0.0);
  EXPECT_EQ(0u, AlignUp(0, 16));
  EXPECT_EQ(32u, AlignUp(17, 16));
  struct {
    uint32_t c, layout;
  } pref[] = {{16, 3}, {9, 0}, {6, 0}, {12, 0}, {30, 3}};
  for (auto p : pref) EXPECT_EQ(p.layout, PreferredBlockLayout(FRNN_KIND_F16, p.c)) << p.c;
  EXPECT_EQ(0u, ConvPadCheck(3, 3, 0));
  EXPECT_EQ(8u, ConvPadCheck(3, 3, 7));
  EXPECT_EQ(2, RoundHalfEven(2.5f));
  EXPECT_EQ(-4, RoundHalfEven(-3.5f));
  EXPECT_EQ(3u, IntSqrtRound(10));
  // Half-precision exponentials.
  for (float x : {-3.0f, -0.5f, 0.0f, 1.0f, 2.5f}) {
    EXPECT_NEAR(std::exp(x), HalfToSingleOnce(NnExpApproxF16(SingleToHalfOnce(x))), std::exp(x) * 6e-3f) << x;
    // The bit construction yields the half whose bits approximate e^x.
    const auto bits = static_cast<uint16_t>(NnFasterExpF16Scalar(SingleToHalfOnce(x)));
    EXPECT_NEAR(std::exp(x), HalfToSingleOnce(bits), std::exp(x) * 0.1f) << x;
  }
  EXPECT_EQ(SingleToHalfOnce(59874.12f), NnExpApproxF16(SingleToHalfOnce(12.0f)));
  EXPECT_EQ(128, SigmoidFixedScalarWide(0, 8));
  EXPECT_NEAR(256 / (1 + std::exp(-2.0)), SigmoidFixedScalarWide(512, 8), 1.5);
  int32_t blk[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  FrnnTensor t = FrnnTensor3D(1, 3, 3, 3, 1, 4, 0, FRNN_KIND_S32, blk);
  RotateBlocks180(&t, 3);
  EXPECT_EQ((std::vector<int32_t>{9, 8, 7, 6, 5, 4, 3, 2, 1}), std::vector<int32_t>(blk, blk + 9));
}

TEST(FrnnQuantize, FifteenAndMoreFractionBitsKeepTheSign) {
  NnPool pool;
  FrnnTensor* f = MakeFloat(pool.get(), 1, 1, 1, 5, {1.0f, -1.0f, 0.5f / 256, 200.0f, -200.0f});
  FrnnTensor* q8 = nullptr;
  ASSERT_EQ(0u, TensorQuantizeF32ToS16(f, &q8, 8, pool.get()));
  const auto* v = static_cast<const int16_t*>(q8->pvData);
  EXPECT_EQ((std::vector<int16_t>{256, -256, 1, 32767, -32768}), std::vector<int16_t>(v, v + 5));
  EXPECT_EQ(3, q8->siTag1);
  FrnnTensor* small = MakeFloat(pool.get(), 1, 1, 1, 2, {0.5f, -0.25f});
  FrnnTensor* q15 = nullptr;
  ASSERT_EQ(0u, TensorQuantizeF32ToS16(small, &q15, 15, pool.get()));
  EXPECT_EQ(16384, static_cast<const int16_t*>(q15->pvData)[0]);
  EXPECT_EQ(-8192, static_cast<const int16_t*>(q15->pvData)[1]);
  FrnnTensor* q20 = nullptr;
  ASSERT_EQ(0u, TensorQuantizeF32ToS16(small, &q20, 20, pool.get()));
  EXPECT_EQ(32767, static_cast<const int16_t*>(q20->pvData)[0]);
  EXPECT_EQ(128, SigmoidFixedScalar(0, 8));
  for (FrnnTensor** t : {&f, &q8, &small, &q15, &q20}) FrnnTensorDestroy(t, pool.get());
  EXPECT_EQ(0u, pool.InUse());
}

TEST(FrnnLayout, BlockedRoundTripAndUnknownElementSize) {
  NnPool pool;
  for (uint32_t c : {5u, 8u, 13u}) {
    std::vector<float> v;
    for (uint32_t j = 0; j < c * 2 * 3; ++j) v.push_back(static_cast<float>(j));
    FrnnTensor* a = MakeHalf(pool.get(), 1, c, 2, 3, v);
    FrnnTensor* b = nullptr;
    FrnnTensor* back = nullptr;
    ASSERT_EQ(0u, FrnnTensorLayoutNCHWToNC8HW8(a, &b, pool.get()));
    ASSERT_EQ(0u, FrnnTensorLayoutNC8HW8ToNCHW(b, &back, pool.get()));
    EXPECT_EQ(Values(a), Values(back)) << c;
    EXPECT_EQ(Values(a), Values(b)) << c;
    for (FrnnTensor** t : {&a, &b, &back}) FrnnTensorDestroy(t, pool.get());
  }
  // An element size the movers do not know is refused, not returned unwritten.
  FrnnTensor* odd = FrnnTensorCreate3D(1, 2, 2, 1, 3, FRNN_LAYOUT_NCHW, FRNN_KIND_S32, pool.get());
  FrnnTensor* out = nullptr;
  EXPECT_EQ(9u, FrnnTensorLayoutNCHWToNC8HW8(odd, &out, pool.get()));
  EXPECT_EQ(nullptr, out);
  FrnnTensorDestroy(&odd, pool.get());
  EXPECT_EQ(0u, pool.InUse());
}

// Group normalisation and ReLU run eight elements at a time where the processor has the
// half-precision vector unit; the bits are the scalar body's, for planes whose size is
// and is not a multiple of 8, and for the halves at the edges of ReLU's test (-0, the
// smallest negative subnormal, -infinity, NaNs of either sign).
TEST(FrnnGroupNorm, VectorBodiesGiveTheScalarBits) {
  struct Case {
    uint32_t c, h, w;
  } cases[] = {{16, 10, 20}, {12, 5, 10}, {8, 3, 5}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.c << "x" << c.h << "x" << c.w);
    std::vector<float> v = Random(c.c * c.h * c.w, c.w + c.h, 6.0f);
    std::vector<uint16_t> special = {0x8000, 0x8001, 0xFC00, 0xFC01, 0x7E00, 0xFE00, 0x0001, 0x7C00};
    std::vector<uint16_t> gw = Halves(Random(2 * c.c, c.c, 1.5f));
    std::vector<std::vector<uint16_t>> norm, relu;
    for (bool bVector : {false, true}) {
      FrnnSetVectorKernels(bVector);
      NnPool pool;
      FrnnTensor* t = MakeHalf(pool.get(), 1, c.c, c.h, c.w, v);
      FrnnWeightReader r = HalfReader(gw);
      ASSERT_EQ(0u, FrnnGroupNorm(t, 4, &r, pool.get()));
      std::vector<uint16_t> bits(static_cast<const uint16_t*>(t->pvData),
                                 static_cast<const uint16_t*>(t->pvData) + c.c * t->uiPlane);
      norm.push_back(bits);
      for (size_t j = 0; j < special.size(); ++j) static_cast<uint16_t*>(t->pvData)[j * 5] = special[j];
      ASSERT_EQ(0u, FrnnRelu(t, &r, pool.get(), 0.0f));
      bits.assign(static_cast<const uint16_t*>(t->pvData), static_cast<const uint16_t*>(t->pvData) + c.c * t->uiPlane);
      relu.push_back(bits);
      FrnnTensorDestroy(&t, pool.get());
    }
    FrnnSetVectorKernels(true);
    EXPECT_EQ(norm[0], norm[1]);
    EXPECT_EQ(relu[0], relu[1]);
    // ReLU on the edge halves: -0 and the NaNs stay, the negatives become +0.
    const std::vector<uint16_t> want = {0x8000, 0x0000, 0x0000, 0xFC01, 0x7E00, 0xFE00, 0x0001, 0x7C00};
    for (size_t j = 0; j < special.size(); ++j) EXPECT_EQ(relu[1][j * 5], want[j]) << j;
  }
}

TEST(FrnnGroupNorm, NormalisesGroupsAndRefusesBadShapes) {
  NnPool pool;
  // Two groups of two channels, gamma 2 and beta 1 everywhere but channel 3 (beta 0.5).
  std::vector<uint16_t> w = Halves({2, 2, 2, 2, 1, 1, 1, 0.5f});
  FrnnWeightReader r = HalfReader(w);
  std::vector<float> v;
  for (int j = 0; j < 4 * 5; ++j) v.push_back(j < 10 ? static_cast<float>(j % 5) : 7.0f);
  FrnnTensor* t = MakeHalf(pool.get(), 1, 4, 1, 5, v);
  ASSERT_EQ(0u, FrnnGroupNorm(t, 2, &r, pool.get()));
  const std::vector<float> out = Values(t);
  // Group 0: values 0..4 twice, mean 2, deviation sqrt(2): (x - 2) / 1.414 * 2 + 1.
  for (int j = 0; j < 10; ++j) EXPECT_NEAR((j % 5 - 2) / std::sqrt(2.0f) * 2 + 1, out[j], 4e-3f) << j;
  // Group 1 is constant: every element becomes its channel's beta.
  for (int j = 10; j < 15; ++j) EXPECT_EQ(1.0f, out[j]);
  for (int j = 15; j < 20; ++j) EXPECT_EQ(0.5f, out[j]);
  EXPECT_EQ(r.pubBase + 16, r.pubCursor);
  FrnnTensor* six = MakeHalf(pool.get(), 1, 6, 1, 5, {});
  FrnnGroupNormParam p = FrnnGroupNormInit(6, 4, &r);
  EXPECT_EQ(3u, FrnnGroupNormForwardInplace(&p, six, pool.get()));
  FrnnTensorDestroy(&six, pool.get());
  FrnnTensorDestroy(&t, pool.get());
  EXPECT_EQ(0u, pool.InUse());
}

TEST(FrnnElementwise, BroadcastClampsEveryIndex) {
  NnPool pool;
  const FrnnWeightReader r = KindReader(FRNN_KIND_F16);
  std::vector<float> a;
  for (int j = 0; j < 2 * 2 * 4 * 4; ++j) a.push_back(static_cast<float>(j));
  FrnnTensor* A = MakeHalf(pool.get(), 2, 2, 4, 4, a);
  FrnnTensor* B = MakeHalf(pool.get(), 1, 2, 2, 4, {0, 0, 0, 0, 100, 200, 300, 400, 0, 0, 0, 0, 1, 2, 3, 4});
  FrnnTensor* sum = nullptr;
  ASSERT_EQ(0u, FrnnAddForwardInt(A, B, &sum, pool.get()));
  const std::vector<float> s = Values(sum);
  // Rows 2 and 3 use B's row 1 (clamped); image 1 reads B's only image (clamped too).
  EXPECT_EQ(8 + 100.0f, s[8]);
  EXPECT_EQ(15 + 400.0f, s[15]);
  EXPECT_EQ(32 + 0.0f, s[32]);
  EXPECT_EQ(63 + 4.0f, s[63]);
  FrnnTensor* scale = MakeHalf(pool.get(), 1, 2, 1, 1, {2, -1});
  FrnnTensor* prod = nullptr;
  ASSERT_EQ(0u, FrnnMultiply(A, scale, &prod, &r, pool.get()));
  const std::vector<float> pv = Values(prod);
  EXPECT_EQ(2 * 5.0f, pv[5]);
  EXPECT_EQ(-21.0f, pv[21]);
  EXPECT_EQ(6u, FrnnMultiply(A, scale, &prod, &r, pool.get()));
  FrnnTensor* diff = nullptr;
  EXPECT_EQ(8u, FrnnSubForwardInt(A, B, &diff, pool.get()));
  // Division: a zero divisor takes the small stand-in; shapes it cannot read are refused.
  FrnnTensor* num = MakeHalf(pool.get(), 1, 2, 1, 2, {1, 2, 0, 3});
  FrnnTensor* den = MakeHalf(pool.get(), 1, 2, 1, 1, {2, 0});
  FrnnTensor* q = nullptr;
  ASSERT_EQ(0u, FrnnDivForward(num, den, &q, 1, pool.get()));
  const std::vector<float> qv = Values(q);
  EXPECT_EQ(0.5f, qv[0]);
  EXPECT_EQ(0.0f, qv[2]);
  EXPECT_GT(qv[3], 29000.0f);
  FrnnTensor* wrong = MakeHalf(pool.get(), 1, 1, 1, 3, {1, 1, 1});
  FrnnTensor* q2 = nullptr;
  EXPECT_EQ(9u, FrnnDivForward(num, wrong, &q2, 1, pool.get()));
  EXPECT_EQ(nullptr, q2);
  FrnnTensor* ff = MakeFloat(pool.get(), 1, 1, 1, 2, {1, 2});
  FrnnTensor* fz = MakeFloat(pool.get(), 1, 1, 1, 1, {0});
  FrnnTensor* q3 = nullptr;
  ASSERT_EQ(0u, FrnnDivForward(ff, fz, &q3, 0, pool.get()));
  EXPECT_NEAR(20000.0f, Values(q3)[1], 1.0f);
  // Sum over rows, in half precision.
  FrnnTensor* col = nullptr;
  ASSERT_EQ(0u, FrnnSumForward(A, &col, 2, pool.get()));
  EXPECT_EQ(1u, col->uiH);
  EXPECT_EQ(0 + 4 + 8 + 12.0f, Values(col)[0]);
  FrnnTensor* blocked = FrnnTensorCreate3D(1, 2, 2, 3, 2, FRNN_LAYOUT_NC4HW4, FRNN_KIND_F32, pool.get());
  FrnnTensor* bs = nullptr;
  EXPECT_EQ(9u, FrnnSumForward(blocked, &bs, 2, pool.get()));
  EXPECT_EQ(2u, FrnnCplxMathForward());
  for (FrnnTensor** t : {&A, &B, &sum, &scale, &prod, &num, &den, &q, &wrong, &ff, &fz, &q3, &col, &blocked})
    FrnnTensorDestroy(t, pool.get());
  EXPECT_EQ(0u, pool.InUse());
}

TEST(FrnnElementwise, MixedLayoutsAreAlignedFirst) {
  NnPool pool;
  std::vector<float> a;
  for (int j = 0; j < 16 * 2 * 3; ++j) a.push_back(static_cast<float>(j % 50));
  FrnnTensor* A = MakeHalf(pool.get(), 1, 16, 2, 3, a);
  FrnnTensor* B = MakeHalf(pool.get(), 1, 16, 2, 3, a);
  FrnnTensor* B8 = nullptr;
  ASSERT_EQ(0u, FrnnTensorLayoutNCHWToNC8HW8(B, &B8, pool.get()));
  FrnnTensor* s = nullptr;
  ASSERT_EQ(0u, FrnnAddForwardInt(A, B8, &s, pool.get()));
  // Sixteen channels prefer the blocked layout: the NCHW input was converted to it.
  EXPECT_EQ(FRNN_LAYOUT_NC8HW8, s->uiLayout);
  std::vector<float> twice;
  for (float x : a) twice.push_back(2 * x);
  EXPECT_EQ(twice, Values(s));
  // Sums over a blocked input agree with those over its NCHW form.
  for (uint32_t axis : {1u, 2u, 3u}) {
    FrnnTensor* s1 = nullptr;
    FrnnTensor* s2 = nullptr;
    ASSERT_EQ(0u, FrnnSumForward(A, &s1, axis, pool.get()));
    ASSERT_EQ(0u, FrnnSumForward(B8, &s2, axis, pool.get()));
    EXPECT_EQ(Values(s1), Values(s2)) << axis;
    FrnnTensorDestroy(&s1, pool.get());
    FrnnTensorDestroy(&s2, pool.get());
  }
  // Batch-interleaved multiply repeats an extent of 1.
  FrnnTensor* C = nullptr;
  FrnnTensor* one = MakeHalf(pool.get(), 1, 1, 2, 3, {1, 2, 3, 4, 5, 6});
  FrnnTensor* C1 = nullptr;
  ASSERT_EQ(0u, FrnnTensorLayoutNCHWToCHWN(A, &C, pool.get()));
  ASSERT_EQ(0u, FrnnTensorLayoutNCHWToCHWN(one, &C1, pool.get()));
  const FrnnWeightReader r = KindReader(FRNN_KIND_F16);
  FrnnTensor* m = nullptr;
  ASSERT_EQ(0u, FrnnMultiply(C, C1, &m, &r, pool.get()));
  EXPECT_EQ(FRNN_LAYOUT_CHWN, m->uiLayout);
  const std::vector<float> mv = Values(m);
  EXPECT_EQ(a[6 + 4] * 5, mv[6 + 4]);  // channel 1, row 1, column 1 times 5
  // The fixed-point multiply rounds at the record's shift.
  int32_t xa[2] = {3, -3};
  int32_t xb[2] = {1, 1};
  int32_t xo[2] = {};
  FrnnTensor ta = FrnnTensor3D(1, 2, 2, 1, 1, 4, 0, FRNN_KIND_S32, xa);
  FrnnTensor tb = FrnnTensor3D(1, 2, 2, 1, 1, 4, 0, FRNN_KIND_S32, xb);
  FrnnTensor to = FrnnTensor3D(1, 2, 2, 1, 1, 4, 0, FRNN_KIND_S32, xo);
  const FrnnMultiplyParam fp{FRNN_KIND_S32, 1, 0};
  ASSERT_EQ(0u, MultiplyFixedS32(&fp, &ta, &tb, &to));
  EXPECT_EQ(2, xo[0]);
  EXPECT_EQ(-1, xo[1]);
  for (FrnnTensor** t : {&A, &B, &B8, &s, &C, &one, &C1, &m}) FrnnTensorDestroy(t, pool.get());
  EXPECT_EQ(0u, pool.InUse());
}

TEST(FrnnShape, PermuteReshapeFlattenPixelShuffle) {
  NnPool pool;
  const FrnnWeightReader r = KindReader(FRNN_KIND_F32);
  std::vector<float> v;
  for (int j = 0; j < 24; ++j) v.push_back(static_cast<float>(j));
  FrnnTensor* t = MakeFloat(pool.get(), 1, 2, 3, 4, v);
  FrnnTensor* p = nullptr;
  ASSERT_EQ(0u, FrnnPermute(t, &p, 0, 2, 3, 1, &r, pool.get()));
  EXPECT_EQ(3u, p->uiC);
  EXPECT_EQ(4u, p->uiH);
  EXPECT_EQ(2u, p->uiW);
  float e = 0;
  FrnnTensorGetElement(p, 0, 1, 2, 1, &e);  // out[y=1][x=2][k=1] = in[k=1][y=1][x=2]
  EXPECT_EQ(v[12 + 4 + 2], e);
  FrnnTensor* back = nullptr;
  ASSERT_EQ(0u, FrnnPermute(p, &back, 0, 3, 1, 2, &r, pool.get()));
  EXPECT_EQ(v, Values(back));
  FrnnTensor* bad = nullptr;
  EXPECT_EQ(9u, FrnnPermute(t, &bad, 1, 0, 2, 3, &r, pool.get()));
  FrnnTensor* rs = nullptr;
  ASSERT_EQ(0u, FrnnReshape(t, &rs, 1, 1, 6, 4, &r, pool.get()));
  EXPECT_EQ(v, Values(rs));
  EXPECT_EQ(3u, FrnnReshape(t, &bad, 1, 1, 5, 5, &r, pool.get()));
  // Flatten of a half tensor with padded rows, channel-first and channel-last.
  const FrnnWeightReader rh = KindReader(FRNN_KIND_F16);
  FrnnTensor* h = MakeHalf(pool.get(), 1, 2, 2, 3, {0, 1, 2, 3, 4, 5, 10, 11, 12, 13, 14, 15});
  FrnnTensor* f1 = nullptr;
  FrnnTensor* f0 = nullptr;
  ASSERT_EQ(0u, FrnnFlatten(h, &f1, 1, 1, &rh, pool.get()));
  ASSERT_EQ(0u, FrnnFlatten(h, &f0, 1, 0, &rh, pool.get()));
  EXPECT_EQ((std::vector<float>{0, 1, 2, 3, 4, 5, 10, 11, 12, 13, 14, 15}), Values(f1));
  EXPECT_EQ((std::vector<float>{0, 10, 1, 11, 2, 12, 3, 13, 4, 14, 5, 15}), Values(f0));
  // Pixel shuffle by 2: four channels become one channel at twice the size.
  FrnnTensor* ps = MakeHalf(pool.get(), 1, 4, 1, 1, {1, 2, 3, 4});
  FrnnTensor* up = nullptr;
  ASSERT_EQ(0u, FrnnPixelShuffle(ps, &up, 2, &rh, pool.get()));
  EXPECT_EQ((std::vector<float>{1, 2, 3, 4}), Values(up));
  EXPECT_EQ(2u, up->uiW);
  FrnnTensor* up3 = nullptr;
  EXPECT_EQ(4u, FrnnPixelShuffle(ps, &up3, 3, &rh, pool.get()));
  // The planar row copies place every value where the blocked element loop does.
  {
    FrnnTensor* wide = MakeHalf(pool.get(), 2, 16, 3, 5, Random(2 * 16 * 15, 8));
    FrnnTensor* blk = ToLayout(wide, FRNN_LAYOUT_NC8HW8, pool.get());
    FrnnTensor *a = nullptr, *b = nullptr;
    ASSERT_EQ(0u, FrnnPixelShuffle(wide, &a, 2, &rh, pool.get()));
    ASSERT_EQ(0u, FrnnPixelShuffle(blk, &b, 2, &rh, pool.get()));
    EXPECT_EQ(Values(a), Values(b));
    EXPECT_EQ(10u, a->uiW);
    for (FrnnTensor** x : {&wide, &blk, &a, &b}) FrnnTensorDestroy(x, pool.get());
  }
  for (FrnnTensor** x : {&t, &p, &back, &rs, &h, &f1, &f0, &ps, &up}) FrnnTensorDestroy(x, pool.get());
  EXPECT_EQ(0u, pool.InUse());
}

// The planar route (rows interpolated along the width once, then between them, eight
// columns at a time) gives the blocked route's element-by-element bits, with and without
// the vector unit, for whole and fractional scales and both sampling rules.
TEST(FrnnUpSample, PlanarRouteGivesTheElementLoopBits) {
  NnPool pool(4u << 20);
  const FrnnWeightReader r = KindReader(FRNN_KIND_F16);
  struct Case {
    uint32_t c, h, w;
    float sh, sw;
    uint32_t align;
  } cases[] = {{12, 5, 10, 2.0f, 2.0f, 0}, {24, 10, 20, 2.0f, 2.0f, 0}, {3, 7, 9, 1.5f, 2.5f, 1}, {8, 4, 13, 3.0f, 1.0f, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.c << "x" << c.h << "x" << c.w << " align " << c.align);
    FrnnTensor* in = MakeHalf(pool.get(), 1, c.c, c.h, c.w, Random(c.c * c.h * c.w, c.w, 8.0f));
    FrnnTensor* blk = ToLayout(in, FRNN_LAYOUT_NC8HW8, pool.get());
    FrnnTensor* ob = nullptr;
    ASSERT_EQ(0u, FrnnUpSample(blk, &ob, 2, c.align, &r, pool.get(), c.sh, c.sw));
    FrnnTensor* back = nullptr;
    ASSERT_EQ(0u, FrnnTensorLayoutNC8HW8ToNCHW(ob, &back, pool.get()));
    for (bool bVector : {true, false}) {
      FrnnSetVectorKernels(bVector);
      FrnnTensor* op = nullptr;
      ASSERT_EQ(0u, FrnnUpSample(in, &op, 2, c.align, &r, pool.get(), c.sh, c.sw));
      std::vector<uint16_t> a, b;
      for (uint32_t k = 0; k < c.c; ++k)
        for (uint32_t y = 0; y < op->uiH; ++y)
          for (uint32_t x = 0; x < op->uiW; ++x) {
            uint16_t e = 0;
            FrnnTensorGetElement(op, 0, k, y, x, &e);
            a.push_back(e);
            FrnnTensorGetElement(back, 0, k, y, x, &e);
            b.push_back(e);
          }
      EXPECT_EQ(a, b) << "vector " << bVector;
      FrnnTensorDestroy(&op, pool.get());
    }
    FrnnSetVectorKernels(true);
    for (FrnnTensor** t : {&in, &blk, &ob, &back}) FrnnTensorDestroy(t, pool.get());
  }
  EXPECT_EQ(0u, pool.InUse());
}

// The floating network's projection steps (sums of the positive values, products of two
// sums) give the scalar bits eight columns at a time, NaNs and negatives left out.
TEST(FrnnHalfRows, PositiveSumsAndProductsGiveTheScalarBits) {
  if (!FrnnHasHalfVector()) GTEST_SKIP() << "no half-precision vector unit";
  for (uint32_t n : {7u, 8u, 40u, 41u}) {
    SCOPED_TRACE(n);
    std::vector<uint16_t> in = Halves(Random(n, n, 300.0f));
    in[n / 2] = 0x7E00;  // NaN
    in[0] = 0x8000;      // -0
    std::vector<uint16_t> a = Halves(Random(n, n + 1, 2000.0f)), b = a;
    FrnnHalfAddPositives(a.data(), in.data(), n, true);
    FrnnHalfAddPositives(b.data(), in.data(), n, false);
    EXPECT_EQ(a, b);
    EXPECT_EQ(a[n / 2], b[n / 2]);
    std::vector<uint16_t> pa(n), pb(n);
    FrnnHalfScaleRow(pa.data(), a.data(), SingleToHalfOnce(37.3f), n, true);
    FrnnHalfScaleRow(pb.data(), a.data(), SingleToHalfOnce(37.3f), n, false);
    EXPECT_EQ(pa, pb);
  }
}

// Add, multiply (equal shapes and one plane against every channel) and the sum down the
// rows give the same bits eight lanes at a time as one element at a time.
TEST(FrnnHalfRows, ElementwiseAndRowSumsGiveTheScalarBits) {
  struct Case {
    uint32_t c, h, w;
  } cases[] = {{16, 20, 40}, {3, 5, 7}, {9, 800, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.c << "x" << c.h << "x" << c.w);
    std::vector<std::vector<float>> got[2];
    for (int v = 0; v < 2; ++v) {
      FrnnSetVectorKernels(v == 1);
      NnPool pool(8u << 20);
      FrnnTensor* a = MakeHalf(pool.get(), 1, c.c, c.h, c.w, Random(c.c * c.h * c.w, c.h, 30.0f));
      FrnnTensor* b = MakeHalf(pool.get(), 1, c.c, c.h, c.w, Random(c.c * c.h * c.w, c.w, 30.0f));
      FrnnTensor* m = MakeHalf(pool.get(), 1, 1, c.h, c.w, Random(c.h * c.w, c.c, 2.0f));
      FrnnTensor *sum = nullptr, *prod = nullptr, *masked = nullptr, *rows = nullptr;
      ASSERT_EQ(0u, FrnnAddForwardInt(a, b, &sum, pool.get()));
      const FrnnWeightReader kr = KindReader(FRNN_KIND_F16);
      ASSERT_EQ(0u, FrnnMultiply(a, b, &prod, &kr, pool.get()));
      ASSERT_EQ(0u, FrnnMultiply(a, m, &masked, &kr, pool.get()));
      ASSERT_EQ(0u, FrnnSumForward(a, &rows, 2, pool.get()));
      for (FrnnTensor* t : {sum, prod, masked, rows}) got[v].push_back(Values(t));
    }
    FrnnSetVectorKernels(true);
    for (size_t j = 0; j < got[0].size(); ++j) EXPECT_EQ(got[0][j], got[1][j]) << j;
  }
}

TEST(FrnnUpSample, CentredAndCornerAlignedSampling) {
  NnPool pool;
  const FrnnWeightReader r = KindReader(FRNN_KIND_F16);
  FrnnTensor* in = MakeHalf(pool.get(), 1, 1, 2, 2, {1, 2, 3, 4});
  FrnnTensor* c = nullptr;
  ASSERT_EQ(0u, FrnnUpSample(in, &c, 2, 0, &r, pool.get(), 2.0f, 2.0f));
  const std::vector<float> cv = Values(c);
  EXPECT_EQ((std::vector<float>{1, 1.25f, 1.75f, 2}), Row(cv, 0, 4));
  EXPECT_EQ((std::vector<float>{3, 3.25f, 3.75f, 4}), Row(cv, 3, 4));
  FrnnTensor* a = nullptr;
  ASSERT_EQ(0u, FrnnUpSample(in, &a, 2, 1, &r, pool.get(), 2.0f, 2.0f));
  const std::vector<float> av = Row(Values(a), 0, 4);
  EXPECT_EQ(1.0f, av[0]);
  EXPECT_NEAR(1.333f, av[1], 1e-3f);
  EXPECT_NEAR(1.667f, av[2], 1e-3f);
  EXPECT_EQ(2.0f, av[3]);
  FrnnTensor* w3 = MakeHalf(pool.get(), 1, 1, 1, 3, {1, 2, 3});
  FrnnTensor* w4 = nullptr;
  ASSERT_EQ(0u, FrnnUpSample(w3, &w4, 2, 0, &r, pool.get(), 1.0f, 1.5f));
  EXPECT_EQ(4u, w4->uiW);
  // One output column with corner alignment takes the first input column.
  FrnnTensor* one = nullptr;
  ASSERT_EQ(0u, FrnnUpSample(w3, &one, 2, 1, &r, pool.get(), 1.0f, 0.34f));
  EXPECT_EQ((std::vector<float>{1}), Values(one));
  for (FrnnTensor** t : {&in, &c, &a, &w3, &w4, &one}) FrnnTensorDestroy(t, pool.get());
  EXPECT_EQ(0u, pool.InUse());
}

TEST(FrnnGRU, ZeroWeightsHalveTheStateEachStep) {
  NnPool pool;
  // H = 12: one block of eight units and four single units; all weights and biases 0.
  std::vector<uint16_t> w(3 * 12 * 4 + 3 * 12 * 12 + 2 * 36, 0);
  FrnnWeightReader r = HalfReader(w);
  FrnnTensor* in = MakeHalf(pool.get(), 1, 1, 3, 4, {});
  std::vector<float> h0;
  for (int j = 0; j < 12; ++j) h0.push_back(static_cast<float>(j + 1));
  FrnnTensor* state = MakeHalf(pool.get(), 1, 1, 1, 12, h0);
  FrnnTensor* out = nullptr;
  ASSERT_EQ(0u, FrnnGRU(in, state, &out, 1, 4, 12, 1, &r, pool.get()));
  EXPECT_EQ(3u, out->uiH);
  EXPECT_EQ(12u, out->uiW);
  const std::vector<float> o = Values(out);
  const std::vector<float> s = Values(state);
  for (int j = 0; j < 12; ++j) {
    EXPECT_NEAR(h0[j] / 2, o[j], h0[j] * 2e-3f) << j;
    EXPECT_NEAR(h0[j] / 8, o[24 + j], h0[j] * 4e-3f) << j;
    EXPECT_EQ(o[24 + j], s[j]);
  }
  FrnnTensor* two = MakeHalf(pool.get(), 2, 1, 3, 4, {});
  FrnnTensor* o2 = nullptr;
  FrnnWeightReader r2 = HalfReader(w);
  EXPECT_EQ(9u, FrnnGRU(two, state, &o2, 1, 4, 12, 1, &r2, pool.get()));
  // Large gate inputs saturate the gates instead of flipping them.
  std::vector<uint16_t> big(3 * 8 * 1 + 3 * 8 * 8 + 48, 0);
  for (int j = 0; j < 8; ++j) big[j] = SingleToHalfOnce(100.0f);  // reset gate rows
  for (int j = 8; j < 16; ++j) big[j] = SingleToHalfOnce(-100.0f);  // update gate rows: z -> 0
  for (int j = 16; j < 24; ++j) big[j] = SingleToHalfOnce(100.0f);  // candidate: tanh -> 1
  FrnnWeightReader rb = HalfReader(big);
  FrnnTensor* x1 = MakeHalf(pool.get(), 1, 1, 1, 1, {1.0f});
  FrnnTensor* st8 = MakeHalf(pool.get(), 1, 1, 1, 8, {});
  FrnnTensor* ob = nullptr;
  ASSERT_EQ(0u, FrnnGRU(x1, st8, &ob, 1, 1, 8, 1, &rb, pool.get()));
  for (float x : Values(st8)) EXPECT_EQ(1.0f, x);
  for (FrnnTensor** x : {&in, &state, &out, &two, &x1, &st8, &ob}) FrnnTensorDestroy(x, pool.get());
  EXPECT_EQ(0u, pool.InUse());
}

}  // namespace
