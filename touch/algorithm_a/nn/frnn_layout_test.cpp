// Layout transforms, element conversions, pad fills and weight packing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "nn_test_util.h"

namespace {

using Entry = uint32_t (*)(const FrnnTensor*, FrnnTensor**, void*);

TEST(FrnnLayoutTransforms, EveryRouteKeepsEveryRealElement) {
  // NCHW -> X -> NCHW (and NC8HW8 <-> NC4HW4 in between) for widths and channel counts
  // below, at and above the block sizes.
  struct Route {
    Entry there;
    Entry back;
    uint32_t layout;
  } routes[] = {
      {FrnnTensorLayoutNCHWToNC8HW8, FrnnTensorLayoutNC8HW8ToNCHW, FRNN_LAYOUT_NC8HW8},
      {FrnnTensorLayoutNCHWToNC4HW4, FrnnTensorLayoutNC4HW4ToNCHW, FRNN_LAYOUT_NC4HW4},
      {FrnnTensorLayoutNCHWToCHWN, FrnnTensorLayoutCHWNToNCHW, FRNN_LAYOUT_CHWN},
  };
  for (uint32_t c : {3u, 8u, 13u})
    for (uint32_t w : {3u, 9u}) {
      NnPool pool;
      std::vector<float> v;
      for (uint32_t j = 0; j < 2 * c * 2 * w; ++j) v.push_back(static_cast<float>(j % 1000) - 300);
      FrnnTensor* a = MakeHalf(pool.get(), 2, c, 2, w, v);
      for (const Route& r : routes) {
        FrnnTensor* b = nullptr;
        FrnnTensor* back = nullptr;
        ASSERT_EQ(0u, r.there(a, &b, pool.get()));
        EXPECT_EQ(r.layout, b->uiLayout);
        if (r.layout != FRNN_LAYOUT_CHWN) {
          EXPECT_EQ(v, Values(b)) << c << "/" << w;  // element access through the layout
        }
        ASSERT_EQ(0u, r.back(b, &back, pool.get()));
        EXPECT_EQ(v, Values(back)) << c << "/" << w << " layout " << r.layout;
        FrnnTensorDestroy(&b, pool.get());
        FrnnTensorDestroy(&back, pool.get());
      }
      FrnnTensor* b8 = nullptr;
      FrnnTensor* b4 = nullptr;
      FrnnTensor* nhwc = nullptr;
      FrnnTensor* b8b = nullptr;
      ASSERT_EQ(0u, FrnnTensorLayoutNCHWToNC8HW8(a, &b8, pool.get()));
      ASSERT_EQ(0u, TensorLayoutNC8HW8ToNC4HW4(b8, &b4, pool.get()));
      EXPECT_EQ(v, Values(b4));
      ASSERT_EQ(0u, FrnnTensorLayoutNCHWToNHWC(a, &nhwc, pool.get()));
      ASSERT_EQ(0u, FrnnTensorLayoutNHWCToNC8HW8(nhwc, &b8b, pool.get()));
      EXPECT_EQ(v, Values(b8b));
      for (FrnnTensor** t : {&a, &b8, &b4, &nhwc, &b8b}) FrnnTensorDestroy(t, pool.get());
      EXPECT_EQ(0u, pool.InUse());
    }
}

TEST(FrnnLayoutTransforms, PadLanesAndColumnsAreLeftAlone) {
  NnPool pool;
  FrnnTensor* a = MakeHalf(pool.get(), 1, 5, 1, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15});
  FrnnTensor* b = FrnnTensorCreate3D(1, 3, 1, 5, 2, FRNN_LAYOUT_NC8HW8, FRNN_KIND_F16, pool.get());
  FrnnTensorFill16f(b, 0x7777);
  const LayoutShape s{1, 5, 1, 3, static_cast<int32_t>(a->uiRowStride), static_cast<int32_t>(a->uiPlane)};
  ASSERT_EQ(0u, LayoutKernelNchwToNc8hw8(b->pvData, a->pvData, &s, 2));
  const auto* p = static_cast<const uint16_t*>(b->pvData);
  for (int px = 0; px < 3; ++px) {
    EXPECT_EQ(SingleToHalfOnce(1.0f + static_cast<float>(px)), p[px * 8]);
    for (int l = 5; l < 8; ++l) EXPECT_EQ(0x7777, p[px * 8 + l]);
  }
  EXPECT_EQ(9u, LayoutKernelNchwToNc8hw8(b->pvData, a->pvData, &s, 3));
  FrnnTensor* out = nullptr;
  FrnnTensor view = *a;
  view.uiLayout = FRNN_LAYOUT_NC8HW8;
  EXPECT_EQ(9u, FrnnTensorLayoutNCHWToNC8HW8(&view, &out, pool.get()));  // not an NCHW source
  EXPECT_EQ(3u, FrnnTensorLayoutNCHWToNC8HW8(a, nullptr, pool.get()));
  FrnnTensorDestroy(&a, pool.get());
  FrnnTensorDestroy(&b, pool.get());
  EXPECT_EQ(0u, pool.InUse());
}

TEST(FrnnConversions, KindsScalesAndTags) {
  NnPool pool;
  FrnnTensor* f = MakeFloat(pool.get(), 1, 1, 1, 4, {1.5f, -2.25f, 0.0f, 1e12f});
  FrnnTensor* s32 = nullptr;
  ASSERT_EQ(0u, FrnnTensorConvertF32ToS32(f, &s32, 8, pool.get()));
  const auto* v = static_cast<const int32_t*>(s32->pvData);
  EXPECT_EQ((std::vector<int32_t>{384, -576, 0, INT32_MAX}), std::vector<int32_t>(v, v + 4));
  EXPECT_EQ(5, s32->siTag1);
  FrnnTensor* back = nullptr;
  ASSERT_EQ(0u, FrnnTensorConvertS32ToF32(s32, &back, 8, pool.get()));
  EXPECT_EQ(1.5f, Values(back)[0]);
  EXPECT_EQ(7, back->siTag1);
  FrnnTensor* h = nullptr;
  ASSERT_EQ(0u, TensorConvertS32ToF16(s32, &h, 8, pool.get()));
  EXPECT_EQ(-2.25f, Values(h)[1]);
  EXPECT_EQ(8u, h->uiRowStride);
  FrnnTensor* hf = nullptr;
  ASSERT_EQ(0u, FrnnTensorConvertF16ToF32(h, &hf, pool.get()));
  EXPECT_EQ(-2.25f, Values(hf)[1]);
  FrnnTensor* s16 = nullptr;
  ASSERT_EQ(0u, TensorQuantizeF16ToS16(h, &s16, 8, pool.get()));
  EXPECT_EQ(-576, static_cast<const int16_t*>(s16->pvData)[1]);
  FrnnTensor* s16b = nullptr;
  ASSERT_EQ(0u, TensorConvertS32ToS16(s32, &s16b, pool.get()));
  EXPECT_EQ(32767, static_cast<const int16_t*>(s16b->pvData)[3]);
  FrnnTensor* wide = nullptr;
  ASSERT_EQ(0u, FrnnTensorConvertS16ToS32(s16b, &wide, pool.get()));
  EXPECT_EQ(-576, static_cast<const int32_t*>(wide->pvData)[1]);
  FrnnTensor* hs = nullptr;
  ASSERT_EQ(0u, TensorConvertS16ToF16(s16, &hs, 8, pool.get()));
  EXPECT_EQ(-2.25f, Values(hs)[1]);
  FrnnTensor* fs = nullptr;
  ASSERT_EQ(0u, TensorConvertS16ToF32(s16, &fs, 8, pool.get()));
  EXPECT_EQ(1.5f, Values(fs)[0]);
  // Layout-0-only conversions refuse other layouts and keep nothing.
  FrnnTensor blocked = *f;
  blocked.uiLayout = FRNN_LAYOUT_NC8HW8;
  FrnnTensor* none = nullptr;
  EXPECT_EQ(9u, FrnnTensorConvertF32ToS32(&blocked, &none, 8, pool.get()));
  EXPECT_EQ(3u, FrnnTensorConvertF32ToS32(nullptr, &none, 8, pool.get()));
  int16_t raw[3] = {256, -128, 1};
  uint16_t out[3];
  FrnnConvertI16ToF16(raw, out, 8, 3);
  EXPECT_EQ(SingleToHalfOnce(-0.5f), out[1]);
  for (FrnnTensor** t : {&f, &s32, &back, &h, &hf, &s16, &s16b, &wide, &hs, &fs}) FrnnTensorDestroy(t, pool.get());
  EXPECT_EQ(0u, pool.InUse());
}

TEST(FrnnPadFill, LanesColumnsAndModes) {
  NnPool pool;
  // c = 7 in NC8HW8, mode 1: lane 7 copies lane 6.
  FrnnTensor* b = FrnnTensorCreate3D(1, 2, 1, 7, 2, FRNN_LAYOUT_NC8HW8, FRNN_KIND_F16, pool.get());
  auto* p = static_cast<uint16_t*>(b->pvData);
  for (int j = 0; j < 16; ++j) p[j] = static_cast<uint16_t>(j);
  ASSERT_EQ(0u, TensorPadFillF16(b, 1, 0));
  EXPECT_EQ(6, p[7]);
  EXPECT_EQ(14, p[15]);
  EXPECT_EQ(5, p[5]);
  EXPECT_EQ(9u, TensorPadFillF16(b, 2, 0));
  EXPECT_EQ(5u, TensorPadFillF16(nullptr, 0, 0));
  // c = 5 in NC4HW4, mode 0: lanes 1..3 of the second block become 0.
  FrnnTensor* f = FrnnTensorCreate3D(1, 1, 1, 5, 4, FRNN_LAYOUT_NC4HW4, FRNN_KIND_F32, pool.get());
  TensorFillF32(f, 3.0f);
  ASSERT_EQ(0u, TensorPadFillF32(f, 0, 0.0f));
  const auto* fp = static_cast<const float*>(f->pvData);
  EXPECT_EQ((std::vector<float>{3, 3, 3, 3, 3, 0, 0, 0}), std::vector<float>(fp, fp + 8));
  // Half NCHW of width 3: columns 3..7 copy column 2.
  FrnnTensor* h = MakeHalf(pool.get(), 1, 1, 2, 3, {1, 2, 3, 4, 5, 6});
  ASSERT_EQ(0u, TensorPadFillF16(h, 1, 0));
  EXPECT_EQ(SingleToHalfOnce(6.0f), static_cast<uint16_t*>(h->pvData)[8 + 7]);
  EXPECT_EQ(9u, TensorPadFillU8(h, 1, 0));
  for (FrnnTensor** t : {&b, &f, &h}) FrnnTensorDestroy(t, pool.get());
}

TEST(FrnnWeightPack, TilesOfEightAndFour) {
  std::vector<uint16_t> src(16 * 8 * 9);
  for (size_t j = 0; j < src.size(); ++j) src[j] = static_cast<uint16_t>(j);
  std::vector<uint16_t> dst(src.size(), 0xFFFF);
  const int32_t shape[4] = {16, 8, 3, 3};
  ASSERT_EQ(0u, ConvWeightPackO8I8(dst.data(), src.data(), shape, 2));
  // (o 9, i 2, r 1, s 0) from ((9 * 8 + 2) * 3 + 1) * 3 + 0 lands at 785.
  EXPECT_EQ(((9 * 8 + 2) * 3 + 1) * 3, dst[785]);
  std::vector<uint16_t> sorted = dst;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(src, sorted);  // a permutation: every weight once
  std::vector<uint16_t> small(8, 0xFFFF);
  const int32_t few[4] = {3, 8, 1, 1};
  EXPECT_EQ(0u, ConvWeightPackO4I4(small.data(), src.data(), few, 2));
  EXPECT_EQ(0xFFFF, small[0]);
}

TEST(FrnnPadMask, RowsAlignedToEight) {
  NnPool pool;
  std::vector<uint8_t> bytes(2 * 13);
  for (size_t j = 0; j < bytes.size(); ++j) bytes[j] = static_cast<uint8_t>(j + 1);
  FrnnTensor src = FrnnTensor3D(1, 13, 13, 2, 1, 1, 0, FRNN_KIND_Q, bytes.data());
  FrnnTensor* out = nullptr;
  ASSERT_EQ(0u, FrnnPadMaskAlignedQuanF16(&src, &out, pool.get()));
  EXPECT_EQ(16u, out->uiRowStride);
  const auto* p = static_cast<const uint8_t*>(out->pvData);
  EXPECT_EQ(14, p[16]);
  EXPECT_EQ(0, p[13]);
  EXPECT_EQ(0, p[31]);
  EXPECT_EQ(6u, FrnnPadMaskAlignedQuanF16(&src, &out, pool.get()));
  FrnnTensorDestroy(&out, pool.get());
}

}  // namespace

namespace {

// Layers that take blocked inputs give the values they give on NCHW.
TEST(FrnnBlockedLayers, PaddingGroupNormFlattenSigmoidMatchNchw) {
  NnPool pool;
  std::vector<float> v;
  for (int j = 0; j < 12 * 3 * 5; ++j) v.push_back(static_cast<float>((j * 7) % 23) - 11);
  FrnnTensor* a = MakeHalf(pool.get(), 1, 12, 3, 5, v);
  FrnnTensor* b = nullptr;
  ASSERT_EQ(0u, FrnnTensorLayoutNCHWToNC8HW8(a, &b, pool.get()));
  FrnnWeightReader rk{};
  rk.uiKind = FRNN_KIND_F16;
  for (uint32_t mode : {0u, 1u, 2u, 3u}) {
    const FrnnPaddingParam p{1, 2, 2, 1, mode, SingleToHalfOnce(-1.0f)};
    FrnnTensor* pa = nullptr;
    FrnnTensor* pb = nullptr;
    ASSERT_EQ(0u, FrnnPaddingForwardInt(&p, a, &pa, pool.get()));
    ASSERT_EQ(0u, FrnnPaddingForwardInt(&p, b, &pb, pool.get()));
    EXPECT_EQ(Values(pa), Values(pb)) << mode;
    FrnnTensorDestroy(&pa, pool.get());
    FrnnTensorDestroy(&pb, pool.get());
  }
  // Single precision in NC4HW4 against NCHW.
  FrnnTensor* f = MakeFloat(pool.get(), 1, 5, 2, 3, std::vector<float>(v.begin(), v.begin() + 30));
  FrnnTensor* f4 = nullptr;
  ASSERT_EQ(0u, FrnnTensorLayoutNCHWToNC4HW4(f, &f4, pool.get()));
  const FrnnPaddingParam pf{2, 0, 1, 1, 2, 0};
  FrnnTensor* pfa = nullptr;
  FrnnTensor* pfb = nullptr;
  ASSERT_EQ(0u, FrnnPaddingForwardInt(&pf, f, &pfa, pool.get()));
  ASSERT_EQ(0u, FrnnPaddingForwardInt(&pf, f4, &pfb, pool.get()));
  EXPECT_EQ(Values(pfa), Values(pfb));
  // Flatten takes the blocked values out in channel-first order.
  FrnnTensor* fa = nullptr;
  FrnnTensor* fb = nullptr;
  ASSERT_EQ(0u, FrnnFlatten(a, &fa, 1, 1, &rk, pool.get()));
  ASSERT_EQ(0u, FrnnFlatten(b, &fb, 1, 1, &rk, pool.get()));
  EXPECT_EQ(Values(fa), Values(fb));
  // Group normalisation: the same groups whichever layout holds them.
  std::vector<uint16_t> gw = Halves({1, 2, 0.5f, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0.25f});
  FrnnWeightReader r1 = HalfReader(gw);
  FrnnWeightReader r2 = HalfReader(gw);
  ASSERT_EQ(0u, FrnnGroupNorm(a, 3, &r1, pool.get()));
  ASSERT_EQ(0u, FrnnGroupNorm(b, 3, &r2, pool.get()));
  const std::vector<float> ga = Values(a);
  const std::vector<float> gb = Values(b);
  for (size_t j = 0; j < ga.size(); ++j) EXPECT_NEAR(ga[j], gb[j], 2e-3f) << j;
  // Sigmoid in place on the blocked tensor, and into a fixed-point tensor.
  ASSERT_EQ(0u, FrnnSigmoid(b, &rk, pool.get()));
  EXPECT_NEAR(1.0f / (1.0f + std::exp(-gb[0])), Values(b)[0], 1e-3f);
  FrnnTensor* z = MakeFloat(pool.get(), 1, 1, 1, 2, {0.0f, 100.0f});
  FrnnTensor* q = nullptr;
  const FrnnSigmoidParam sp{FRNN_KIND_F32, 8};
  ASSERT_EQ(0, FrnnSigmoidForwardInplaceInt(&sp, z, &q, pool.get()));
  EXPECT_EQ(128, static_cast<const int16_t*>(q->pvData)[0]);
  EXPECT_EQ(256, static_cast<const int16_t*>(q->pvData)[1]);
  for (FrnnTensor** t : {&a, &b, &f, &f4, &pfa, &pfb, &fa, &fb, &z, &q}) FrnnTensorDestroy(t, pool.get());
  EXPECT_EQ(0u, pool.InUse());
}

}  // namespace
