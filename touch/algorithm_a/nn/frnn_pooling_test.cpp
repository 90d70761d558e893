// Pooling, dense, concat, crop and the matrix product: shapes and values on small
// fixtures, the layouts agreeing, and the refusals that keep a layer from writing outside
// its output or handing out values it never computed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <tuple>
#include <vector>

#include "frnn_conv_kernels.h"
#include "frnn_fast.h"
#include "frnn_internal.h"
#include "nn_test_util.h"

namespace {

FrnnWeightReader KindReader(uint32_t kind) {
  FrnnWeightReader r{};
  r.uiKind = kind;
  return r;
}

std::vector<float> Pool(const FrnnTensor* in, uint32_t type, uint32_t kW, uint32_t kH, uint32_t sW, uint32_t sH,
                        const FrnnPaddingParam& pad, void* pool, uint32_t* pRes, uint32_t padMode = 0,
                        const FrnnTensor* mask = nullptr, uint32_t global = 0) {
  const FrnnWeightReader r = KindReader(in->uiKind);
  PoolingLayer l = FrnnPoolingInit(type, global, kW, kH, sW, sH, &pad, &r);
  l.paddingMode = padMode;
  FrnnTensor* out = nullptr;
  *pRes = FrnnPoolingForwardInt(&l, in, mask, &out, pool);
  std::vector<float> v;
  if (*pRes == FRNN_OK) {
    v = Values(out);
    FrnnTensorDestroy(&out, pool);
  } else {
    EXPECT_EQ(out, nullptr);
  }
  return v;
}

TEST(FrnnPooling, WindowsOfTheNetworkShapes) {
  NnPool pool;
  uint32_t res = 0;
  // 2 x 1 maximum at stride 2 on W = 7: three outputs, the last column dropped.
  FrnnTensor* in = MakeHalf(pool.get(), 1, 1, 2, 7, {1, 5, -2, -3, 4, 4, 9, -1, -1, 0, -0.5f, 2, 3, 7});
  EXPECT_EQ(Pool(in, 0, 2, 1, 2, 1, {}, pool.get(), &res), (std::vector<float>{5, -2, 4, -1, 0, 3}));
  EXPECT_EQ(Pool(in, 1, 2, 1, 2, 1, {}, pool.get(), &res), (std::vector<float>{3, -2.5f, 4, -1, -0.25f, 2.5f}));
  // A later tap wins unless the running maximum is above it: a NaN first gives way, a NaN
  // later is taken, and of -0 and +0 the later one stays (bits compared). Along a row
  // (2 x 1) and down a column (1 x 2), long enough for the eight-lane body and its tail,
  // with and without the vector unit.
  {
    const uint16_t bits[8] = {0x7E00, 0x3C00, 0x3C00, 0x7E00, 0x8000, 0x0000, 0x0000, 0x8000};
    const uint16_t want[4] = {0x3C00, 0x7E00, 0x0000, 0x8000};
    const FrnnWeightReader kr = KindReader(FRNN_KIND_F16);
    for (bool bVector : {true, false}) {
      FrnnSetVectorKernels(bVector);
      FrnnTensor* row = MakeHalf(pool.get(), 1, 1, 1, 40, {});
      FrnnTensor* col = MakeHalf(pool.get(), 1, 1, 2, 20, {});
      for (int j = 0; j < 40; ++j) static_cast<uint16_t*>(row->pvData)[j] = bits[j % 8];
      for (int j = 0; j < 20; ++j) {
        static_cast<uint16_t*>(col->pvData)[j] = bits[(2 * j) % 8];
        static_cast<uint16_t*>(col->pvData)[col->uiRowStride + j] = bits[(2 * j + 1) % 8];
      }
      PoolingLayer pr = FrnnPoolingInit(0, 0, 2, 1, 2, 1, nullptr, &kr);
      PoolingLayer pc = FrnnPoolingInit(0, 0, 1, 2, 1, 2, nullptr, &kr);
      FrnnTensor* o1 = nullptr;
      FrnnTensor* o2 = nullptr;
      ASSERT_EQ(FrnnPoolingForwardInt(&pr, row, nullptr, &o1, pool.get()), FRNN_OK);
      ASSERT_EQ(FrnnPoolingForwardInt(&pc, col, nullptr, &o2, pool.get()), FRNN_OK);
      for (int j = 0; j < 20; ++j) {
        EXPECT_EQ(static_cast<const uint16_t*>(o1->pvData)[j], want[j % 4]) << j << " vector " << bVector;
        EXPECT_EQ(static_cast<const uint16_t*>(o2->pvData)[j], want[j % 4]) << j << " vector " << bVector;
      }
      for (FrnnTensor** t : {&o1, &o2, &row, &col}) FrnnTensorDestroy(t, pool.get());
    }
    FrnnSetVectorKernels(true);
  }
  // 1 x 2 at stride (1, 2) down the columns.
  EXPECT_EQ(Pool(in, 0, 1, 2, 1, 2, {}, pool.get(), &res), (std::vector<float>{1, 5, 0, -0.5f, 4, 4, 9}));
  // The same in NC8HW8 (13 channels) as in NCHW, for both window shapes.
  FrnnTensor* big = MakeHalf(pool.get(), 2, 13, 6, 9, Random(2 * 13 * 54, 5, 4.0f));
  FrnnTensor* blk = ToLayout(big, FRNN_LAYOUT_NC8HW8, pool.get());
  for (auto [kW, kH, type] : {std::tuple{2u, 1u, 0u}, {2u, 1u, 1u}, {1u, 2u, 0u}, {2u, 2u, 0u}, {2u, 2u, 1u}}) {
    const auto a = Pool(big, type, kW, kH, kW, kH, {}, pool.get(), &res);
    ASSERT_EQ(res, FRNN_OK);
    EXPECT_EQ(Pool(blk, type, kW, kH, kW, kH, {}, pool.get(), &res), a);
    EXPECT_EQ(res, FRNN_OK);
  }
}

TEST(FrnnPooling, GenericRouteMeansAndL2) {
  NnPool pool;
  uint32_t res = 0;
  // 3 x 3 mean at stride 1, single precision, padded by 1 with 0: a corner is its four
  // real values over 9.
  FrnnTensor* in = MakeFloat(pool.get(), 1, 1, 3, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9});
  const auto m = Pool(in, 1, 3, 3, 1, 1, {1, 1, 1, 1, 0, 0}, pool.get(), &res);
  ASSERT_EQ(res, FRNN_OK);
  EXPECT_FLOAT_EQ(m[0], 12.0f / 9.0f);
  EXPECT_FLOAT_EQ(m[4], 45.0f / 9.0f);
  // 2 x 2 single-precision mean is not a fast shape; the generic route takes it.
  EXPECT_EQ(Pool(in, 1, 2, 2, 1, 1, {}, pool.get(), &res), (std::vector<float>{3, 4, 6, 7}));
  const auto l2 = Pool(in, 2, 3, 3, 3, 3, {}, pool.get(), &res);
  ASSERT_EQ(res, FRNN_OK);
  EXPECT_NEAR(l2[0], std::sqrt(285.0f), 1e-3f);
  EXPECT_TRUE(Pool(in, 3, 3, 3, 3, 3, {}, pool.get(), &res).empty());
  EXPECT_EQ(res, FRNN_ERR_UNSUPPORTED);
}

// Same-size maximum pads with the lowest value: an all-negative border keeps its own
// maximum instead of a padded zero.
TEST(FrnnPooling, SameSizeMaximumNeverTakesThePad) {
  NnPool pool;
  uint32_t res = 0;
  FrnnTensor* in = MakeHalf(pool.get(), 1, 1, 3, 3, {-5, -4, -3, -6, -7, -8, -1, -2, -9});
  const auto v = Pool(in, 0, 3, 3, 1, 1, {}, pool.get(), &res, 1);
  ASSERT_EQ(res, FRNN_OK);
  EXPECT_EQ(v, (std::vector<float>{-4, -3, -3, -1, -1, -2, -1, -1, -2}));
  // Single precision refuses the derived padding modes.
  FrnnTensor* f = MakeFloat(pool.get(), 1, 1, 3, 3, {});
  EXPECT_TRUE(Pool(f, 0, 3, 3, 1, 1, {}, pool.get(), &res, 1).empty());
  EXPECT_EQ(res, FRNN_ERR_UNSUPPORTED);
}

TEST(FrnnPooling, RefusalsLeaveTheSlotEmpty) {
  NnPool pool;
  uint32_t res = 0;
  FrnnTensor* in = MakeHalf(pool.get(), 1, 2, 4, 4, Random(32, 1));
  const uint32_t before = pool.InUse();
  // Any nonzero output offset would place windows outside an output not made for them.
  for (int j = 0; j < 4; ++j) {
    const FrnnWeightReader r = KindReader(FRNN_KIND_F16);
    PoolingLayer l = FrnnPoolingInit(0, 0, 2, 2, 2, 2, nullptr, &r);
    l.outputOffsets[j] = 1;
    FrnnTensor* out = nullptr;
    EXPECT_EQ(FrnnPoolingForwardInt(&l, in, nullptr, &out, pool.get()), FRNN_ERR_ARG);
    EXPECT_EQ(out, nullptr);
  }
  EXPECT_TRUE(Pool(in, 0, 2, 2, 2, 2, {}, pool.get(), &res, 7).empty());
  EXPECT_EQ(res, FRNN_ERR_ARG);
  EXPECT_TRUE(Pool(in, 0, 1, 1, 1, 1, {}, pool.get(), &res, 1, nullptr, 1).empty());
  EXPECT_EQ(res, FRNN_ERR_ARG);  // same-size padding with global pooling
  EXPECT_TRUE(Pool(in, 0, 1, 1, 1, 1, {}, pool.get(), &res, 0, nullptr, 1).empty());
  EXPECT_EQ(res, FRNN_ERR_UNSUPPORTED);  // global maximum
  // A window one node larger than the (padded) plane at stride 2 or 3 has no place to sit;
  // the window exactly as large takes the whole plane once.
  const FrnnPaddingParam p1{1, 1, 1, 1, 0, 0};
  for (const auto& [kW, kH, s, pad] : {std::tuple{5u, 2u, 2u, FrnnPaddingParam{}}, {2u, 5u, 2u, FrnnPaddingParam{}},
                                       {7u, 7u, 3u, p1}}) {
    EXPECT_TRUE(Pool(in, 0, kW, kH, s, s, pad, pool.get(), &res).empty());
    EXPECT_EQ(res, FRNN_ERR_ARG) << kW << "x" << kH << " stride " << s;
  }
  const std::vector<float> all = Values(in);
  for (const FrnnPaddingParam& pad : {FrnnPaddingParam{}, p1}) {
    const uint32_t k = 4 + static_cast<uint32_t>(pad.siLeft + pad.siRight);
    EXPECT_EQ(Pool(in, 0, k, k, 2, 2, pad, pool.get(), &res),
              (std::vector<float>{*std::max_element(all.begin(), all.begin() + 16),
                                  *std::max_element(all.begin() + 16, all.end())}));
    EXPECT_EQ(res, FRNN_OK);
  }
  FrnnTensor* odd = TensorCreateUnpadded3D(1, 5, 2, 1, 2, FRNN_LAYOUT_NCHW, FRNN_KIND_F16, pool.get());
  EXPECT_TRUE(Pool(odd, 0, 2, 1, 2, 1, {}, pool.get(), &res).empty());
  EXPECT_EQ(res, FRNN_ERR_ROW);
  FrnnTensorDestroy(&odd, pool.get());
  EXPECT_EQ(pool.InUse(), before);
}

TEST(FrnnPooling, GlobalMeanWithAndWithoutMask) {
  NnPool pool;
  uint32_t res = 0;
  const auto vals = Random(2 * 5 * 3 * 4, 8, 3.0f);
  FrnnTensor* mask = TensorCreateUnpadded3D(1, 8, 3, 1, 1, FRNN_LAYOUT_NCHW, FRNN_KIND_Q, pool.get());
  auto* pm = Elems<uint8_t>(mask);
  for (uint32_t j = 0; j < 24; ++j) pm[j] = 0;
  for (uint32_t kind : {FRNN_KIND_F16, FRNN_KIND_F32}) {
    FrnnTensor* in = kind == FRNN_KIND_F16 ? MakeHalf(pool.get(), 2, 5, 3, 4, vals) : MakeFloat(pool.get(), 2, 5, 3, 4, vals);
    const auto all = Pool(in, 1, 1, 1, 1, 1, {}, pool.get(), &res, 0, nullptr, 1);
    ASSERT_EQ(all.size(), 10u);
    const auto v = Values(in);
    for (uint32_t k = 0; k < 10; ++k) {
      float sum = 0;
      for (uint32_t j = 0; j < 12; ++j) sum += v[k * 12 + j];
      EXPECT_NEAR(all[k], sum / 12, kind == FRNN_KIND_F16 ? 2e-3f : 1e-6f);
    }
    // An all-zero mask has no positions: 0 for every channel, in every layout.
    EXPECT_EQ(Pool(in, 1, 1, 1, 1, 1, {}, pool.get(), &res, 0, mask, 1), std::vector<float>(10, 0.0f));
    FrnnTensor* blk = ToLayout(in, kind == FRNN_KIND_F16 ? FRNN_LAYOUT_NC8HW8 : FRNN_LAYOUT_NC4HW4, pool.get());
    EXPECT_EQ(Pool(blk, 1, 1, 1, 1, 1, {}, pool.get(), &res, 0, mask, 1), std::vector<float>(10, 0.0f));
    // One marked position: the mean is that element.
    pm[1 * 8 + 2] = 1;
    const auto one = Pool(blk, 1, 1, 1, 1, 1, {}, pool.get(), &res, 0, mask, 1);
    ASSERT_EQ(one.size(), 10u);
    for (uint32_t k = 0; k < 10; ++k) EXPECT_EQ(one[k], v[k * 12 + 1 * 4 + 2]);
    pm[1 * 8 + 2] = 0;
  }
}

// ---------------------------------------------------------------------------------------

std::vector<float> DenseOut(const FrnnTensor* in, uint32_t units, std::vector<uint16_t> blob, void* pool,
                            uint32_t* pRes, uint32_t kind = FRNN_KIND_F16) {
  FrnnWeightReader r = HalfReader(blob);
  r.uiKind = kind;
  FrnnTensor* out = nullptr;
  *pRes = FrnnDense(in, &out, units, 1, &r, pool);
  std::vector<float> v;
  if (*pRes == FRNN_OK) {
    v = Values(out);
    FrnnTensorDestroy(&out, pool);
  }
  return v;
}

TEST(FrnnDense, SumsPerImageInEveryLayout) {
  NnPool pool;
  uint32_t res = 0;
  FrnnTensor* in = MakeHalf(pool.get(), 2, 1, 1, 3, {1, 2, 3, -1, 0.5f, 4});
  // W = [[1, 0, -1], [0.5, 0.5, 0.5]], B = [10, -1].
  const auto blob = Halves({1, 0, -1, 0.5f, 0.5f, 0.5f, 10, -1});
  EXPECT_EQ(DenseOut(in, 2, blob, pool.get(), &res), (std::vector<float>{8, 2, 5, 0.75f}));
  // Features run channel, row, column; NC8HW8 gives what NCHW gives.
  FrnnTensor* big = MakeHalf(pool.get(), 2, 11, 3, 5, Random(330, 3));
  const auto wb = Halves(Random(165 * 7 + 7, 4, 0.3f));
  const auto a = DenseOut(big, 7, wb, pool.get(), &res);
  ASSERT_EQ(a.size(), 14u);
  EXPECT_EQ(DenseOut(ToLayout(big, FRNN_LAYOUT_NC8HW8, pool.get()), 7, wb, pool.get(), &res), a);
  // CHWN keeps the images innermost and gives the same sums.
  EXPECT_EQ(DenseOut(ToLayout(big, FRNN_LAYOUT_CHWN, pool.get()), 7, wb, pool.get(), &res).size(), 14u);
}

// Half ulps between two finite halves of the same sign, or a large number otherwise.
int HalfUlps(float a, float b) {
  if (a == b) return 0;
  if ((a < 0) != (b < 0)) return 1 << 20;
  return std::abs(static_cast<int>(SingleToHalfOnce(a)) - static_cast<int>(SingleToHalfOnce(b)));
}

// The fast path sums the features in another order in single precision; rounded to half
// once, each unit lands on the reference's value or its neighbour. The feature counts are
// the denoise network's and odd ones around the 8- and 32-lane steps.
TEST(FrnnDense, FastPathStaysWithinTheHalfRounding) {
  NnPool pool(4u << 20);
  uint32_t res = 0;
  for (uint32_t F : {7u, 40u, 524u, 800u, 33u}) {
    SCOPED_TRACE(F);
    FrnnTensor* in = MakeHalf(pool.get(), 1, 1, 1, F, Random(F, F, 2.0f));
    const auto wb = Halves(Random(static_cast<size_t>(F) * 24 + 24, F + 1, 0.5f));
    FrnnSetFastPaths(false);
    const auto ref = DenseOut(in, 24, wb, pool.get(), &res);
    FrnnSetFastPaths(true);
    const auto fast = DenseOut(in, 24, wb, pool.get(), &res);
    ASSERT_EQ(ref.size(), fast.size());
    for (size_t u = 0; u < ref.size(); ++u) EXPECT_LE(HalfUlps(ref[u], fast[u]), 1) << u << ": " << ref[u] << " vs " << fast[u];
    FrnnTensorDestroy(&in, pool.get());
  }
}

TEST(FrnnDense, RefusedKindsAndLayouts) {
  NnPool pool;
  uint32_t res = 0;
  FrnnTensor* in = MakeHalf(pool.get(), 1, 1, 1, 3, {1, 2, 3});
  const uint32_t before = pool.InUse();
  // Kind 6 reads 4-byte weights and is then refused.
  EXPECT_TRUE(DenseOut(in, 2, std::vector<uint16_t>(16, 0), pool.get(), &res, 6).empty());
  EXPECT_EQ(res, FRNN_ERR_ARG);
  EXPECT_TRUE(DenseOut(in, 2, Halves({1, 1, 1, 1, 1, 1, 0, 0}), pool.get(), &res, FRNN_KIND_S16).empty());
  EXPECT_EQ(res, FRNN_ERR_UNSUPPORTED);
  // A layout no kernel reads is refused, not handed out unwritten.
  FrnnTensor* nhwc = nullptr;
  ASSERT_EQ(FrnnTensorLayoutNCHWToNHWC(in, &nhwc, pool.get()), FRNN_OK);
  EXPECT_TRUE(DenseOut(nhwc, 2, Halves({1, 1, 1, 1, 1, 1, 0, 0}), pool.get(), &res).empty());
  EXPECT_EQ(res, FRNN_ERR_UNSUPPORTED);
  FrnnTensorDestroy(&nhwc, pool.get());
  // A stream too short for the weights: 7.
  EXPECT_TRUE(DenseOut(in, 2, Halves({1, 1, 1}), pool.get(), &res).empty());
  EXPECT_EQ(res, FRNN_ERR_WEIGHT);
  EXPECT_EQ(pool.InUse(), before);
}

// ---------------------------------------------------------------------------------------

TEST(FrnnConcat, JoinsAlongEachAxis) {
  NnPool pool;
  const FrnnWeightReader r = KindReader(FRNN_KIND_F16);
  FrnnTensor* a = MakeHalf(pool.get(), 1, 4, 2, 3, Random(24, 1));
  FrnnTensor* b = MakeHalf(pool.get(), 1, 4, 2, 3, Random(24, 2));
  const FrnnTensor* ab[2] = {a, b};
  FrnnTensor* out = nullptr;
  ASSERT_EQ(FrnnConcat(ab, &out, 1, 2, &r, pool.get()), FRNN_OK);
  EXPECT_EQ(out->uiC, 8u);
  auto va = Values(a), vb = Values(b);
  va.insert(va.end(), vb.begin(), vb.end());
  EXPECT_EQ(Values(out), va);
  FrnnTensorDestroy(&out, pool.get());
  // Widths 4, 4 and 8 on axis 3: each output row holds the three rows side by side.
  FrnnTensor* w4a = MakeHalf(pool.get(), 1, 1, 2, 4, {1, 2, 3, 4, 5, 6, 7, 8});
  FrnnTensor* w4b = MakeHalf(pool.get(), 1, 1, 2, 4, {9, 10, 11, 12, 13, 14, 15, 16});
  FrnnTensor* w8 = MakeHalf(pool.get(), 1, 1, 2, 8, Random(16, 3));
  const FrnnTensor* three[3] = {w4a, w4b, w8};
  ASSERT_EQ(FrnnConcat(three, &out, 3, 3, &r, pool.get()), FRNN_OK);
  ASSERT_EQ(out->uiW, 16u);
  const auto v = Values(out), v8 = Values(w8);
  EXPECT_EQ(v[4], 9.0f);
  EXPECT_EQ(v[16 + 4], 13.0f);
  EXPECT_EQ(v[16 + 8], v8[8]);
  FrnnTensorDestroy(&out, pool.get());
}

TEST(FrnnConcat, MixedLayoutsMeetInOne) {
  NnPool pool;
  const FrnnWeightReader r = KindReader(FRNN_KIND_F16);
  for (auto [c1, c2, want] : {std::tuple{8u, 8u, FRNN_LAYOUT_NC8HW8}, {3u, 2u, FRNN_LAYOUT_NCHW}}) {
    FrnnTensor* a = MakeHalf(pool.get(), 1, c1, 3, 5, Random(c1 * 15, c1));
    FrnnTensor* b = MakeHalf(pool.get(), 1, c2, 3, 5, Random(c2 * 15, c2 + 9));
    FrnnTensor* bb = ToLayout(b, FRNN_LAYOUT_NC8HW8, pool.get());
    const FrnnTensor* list[2] = {a, bb};
    FrnnTensor* out = nullptr;
    ASSERT_EQ(FrnnConcat(list, &out, 1, 2, &r, pool.get()), FRNN_OK);
    EXPECT_EQ(out->uiLayout, want);
    auto va = Values(a), vb = Values(b);
    va.insert(va.end(), vb.begin(), vb.end());
    EXPECT_EQ(Values(out), va);
    FrnnTensorDestroy(&out, pool.get());
  }
}

TEST(FrnnConcat, UncheckedInputsAreRefused) {
  NnPool pool;
  const FrnnWeightReader r = KindReader(FRNN_KIND_F16);
  FrnnTensor* a = MakeHalf(pool.get(), 1, 2, 3, 4, {});
  FrnnTensor* taller = MakeHalf(pool.get(), 1, 2, 5, 4, {});
  FrnnTensor* out = nullptr;
  const FrnnTensor* mismatch[2] = {a, taller};
  EXPECT_EQ(FrnnConcat(mismatch, &out, 1, 2, &r, pool.get()), FRNN_ERR_ARG);  // heights differ off the axis
  EXPECT_EQ(FrnnConcat(mismatch, &out, 2, 2, &r, pool.get()), FRNN_OK);       // on the axis they may
  FrnnTensorDestroy(&out, pool.get());
  const FrnnTensor* withNull[2] = {a, nullptr};
  EXPECT_EQ(FrnnConcat(withNull, &out, 1, 2, &r, pool.get()), FRNN_ERR_NULL);
  std::vector<const FrnnTensor*> many(kFrnnConcatMaxInputs + 1, a);
  EXPECT_EQ(FrnnConcat(many.data(), &out, 0, kFrnnConcatMaxInputs + 1, &r, pool.get()), FRNN_ERR_ARG);
  EXPECT_EQ(FrnnConcat(many.data(), &out, 4, 2, &r, pool.get()), FRNN_ERR_UNSUPPORTED);
  FrnnConcatParam p = FrnnConcatInit(1, 2, &r);
  p.auiWords[0] = 1;
  EXPECT_EQ(FrnnConcatForwardInt(&p, many.data(), &out, pool.get()), FRNN_ERR_ARG);
  EXPECT_EQ(out, nullptr);
}

// ---------------------------------------------------------------------------------------

TEST(FrnnCropMatMul, CropsAndProducts) {
  NnPool pool;
  FrnnTensor* in = MakeHalf(pool.get(), 1, 2, 5, 10, Random(100, 6));
  FrnnTensor* out = nullptr;
  ASSERT_EQ(FrnnCropToBoundingBox(in, &out, 0, 0, 5, 10, pool.get()), FRNN_OK);
  EXPECT_EQ(Values(out), Values(in));
  FrnnTensorDestroy(&out, pool.get());
  EXPECT_EQ(FrnnCropToBoundingBox(in, &out, 1, 0, 5, 10, pool.get()), FRNN_ERR_ARG);
  EXPECT_EQ(FrnnCropToBoundingBox(in, &out, -1, 0, 2, 2, pool.get()), FRNN_ERR_ARG);
  // A 4-wide band of a half-precision plane keeps rows of 8.
  ASSERT_EQ(FrnnCropToBoundingBox(in, &out, 2, 3, 2, 4, pool.get()), FRNN_OK);
  EXPECT_EQ(out->uiRowStride, 8u);
  EXPECT_EQ(Values(out)[4], Values(in)[3 * 10 + 3]);
  FrnnTensorDestroy(&out, pool.get());
  // The same crop of an NC8HW8 tensor.
  FrnnTensor* blk = ToLayout(in, FRNN_LAYOUT_NC8HW8, pool.get());
  FrnnTensor* bout = nullptr;
  ASSERT_EQ(FrnnCropToBoundingBox(blk, &bout, 2, 3, 2, 4, pool.get()), FRNN_OK);
  ASSERT_EQ(FrnnCropToBoundingBox(in, &out, 2, 3, 2, 4, pool.get()), FRNN_OK);
  EXPECT_EQ(Values(bout), Values(out));
  FrnnTensorDestroy(&out, pool.get());

  const FrnnWeightReader r = KindReader(FRNN_KIND_F16);
  FrnnTensor* a = MakeHalf(pool.get(), 1, 1, 2, 3, {1, 2, 3, 4, 5, 6});
  FrnnTensor* b = MakeHalf(pool.get(), 1, 4, 3, 1, {1, 0, -1, 2, 2, 2, 0, 1, 0, 0.5f, 0.5f, 0.5f});
  ASSERT_EQ(FrnnMatMul(a, b, &out, &r, pool.get()), FRNN_OK);
  EXPECT_EQ(out->uiC, 4u);  // A's only channel serves every channel of B
  EXPECT_EQ(Values(out), (std::vector<float>{-2, -2, 12, 30, 2, 5, 3, 7.5f}));
  FrnnTensorDestroy(&out, pool.get());
  FrnnTensor* b4 = MakeHalf(pool.get(), 1, 1, 4, 1, {});
  EXPECT_EQ(FrnnMatMul(a, b4, &out, &r, pool.get()), FRNN_ERR_ARG);
  // The denoise network's product (40 x 4 by 4 x 40): every term rounded to half in order,
  // whole rows at a time with or without the vector unit (2048 + 1 + 1 stays 2048).
  {
    std::vector<float> av = Random(160, 21, 3.0f), bv = Random(160, 22, 3.0f);
    av[0] = 2048;
    av[1] = av[2] = 1;
    av[3] = 0;
    for (int x = 0; x < 40; ++x) bv[x] = bv[40 + x] = bv[80 + x] = 1;
    FrnnTensor* wa = MakeHalf(pool.get(), 1, 1, 40, 4, av);
    FrnnTensor* wb = MakeHalf(pool.get(), 1, 1, 4, 40, bv);
    std::vector<float> got[2];
    for (int v = 0; v < 2; ++v) {
      FrnnSetVectorKernels(v == 1);
      FrnnTensor* o = nullptr;
      ASSERT_EQ(FrnnMatMul(wa, wb, &o, &r, pool.get()), FRNN_OK);
      got[v] = Values(o);
      FrnnTensorDestroy(&o, pool.get());
    }
    FrnnSetVectorKernels(true);
    EXPECT_EQ(got[0], got[1]);
    for (int x = 0; x < 40; ++x) EXPECT_EQ(got[1][x], 2048.0f) << x;
    FrnnTensorDestroy(&wa, pool.get());
    FrnnTensorDestroy(&wb, pool.get());
  }
  const FrnnWeightReader r32 = KindReader(FRNN_KIND_F32);
  FrnnTensor* fa = MakeFloat(pool.get(), 1, 1, 2, 3, {1, 2, 3, 4, 5, 6});
  FrnnTensor* fb = MakeFloat(pool.get(), 1, 1, 3, 1, {1, 0, -1});
  ASSERT_EQ(FrnnMatMul(fa, fb, &out, &r32, pool.get()), FRNN_OK);
  EXPECT_EQ(Values(out), (std::vector<float>{-2, -2}));
  FrnnTensorDestroy(&out, pool.get());
  EXPECT_EQ(FrnnMatMul(blk, blk, &out, &r, pool.get()), FRNN_ERR_ARG);  // w 10 against h 5
}

}  // namespace
