// Weights widened and packed once: a convolution whose weights were recorded reads the
// recorded forms (the halves it was given are not looked at again) and gives the same
// bits as one that widens and packs on the run, in the planar and the blocked layout.
#include "frnn_prepared.h"

#include <gtest/gtest.h>

#include <vector>

#include "frnn_fast.h"
#include "frnn_internal.h"
#include "nn_test_util.h"

namespace {

struct Case {
  const char* name;
  uint32_t layout, cin, cout, h, w, kW, kH;
  FrnnPaddingParam pad;
};

// One layer forward over the caller's blob in place (its address is the weights' key).
std::vector<float> Forward(const FrnnTensor* in, const Case& c, std::vector<uint16_t>& blob, void* pool) {
  FrnnWeightReader r = HalfReader(blob);
  ConvolutionLayer l = FrnnConvolutionInit(c.cin, c.cout, c.kW, c.kH, 1, 1, 1, &c.pad, &r);
  EXPECT_EQ(FrnnConvolutionLoadWeight(&l, &r), FRNN_OK);
  FrnnTensor* out = nullptr;
  EXPECT_EQ(FrnnConvolutionForwardInt(&l, in, &out, pool), FRNN_OK);
  std::vector<float> v;
  if (out != nullptr) v = Values(out);
  FrnnTensorDestroy(&out, pool);
  return v;
}

TEST(FrnnPreparedWeights, RecordedFormsGiveTheSameBitsAndAreWhatTheRunReads) {
  if (!FrnnFastPaths()) GTEST_SKIP() << "no fast paths on this processor";
  const Case cases[] = {
      {"planar 3x3, channels not whole blocks", FRNN_LAYOUT_NCHW, 5, 6, 6, 16, 3, 3, {1, 1, 1, 1, 0, 0}},
      {"planar 1x3", FRNN_LAYOUT_NCHW, 8, 8, 20, 8, 1, 3, {0, 0, 1, 1, 0, 0}},
      {"blocked 3x3 with pad lanes", FRNN_LAYOUT_NC8HW8, 12, 10, 7, 9, 3, 3, {1, 1, 1, 1, 0, 0}},
      {"blocked 1x1", FRNN_LAYOUT_NC8HW8, 16, 24, 5, 5, 1, 1, {0, 0, 0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    NnPool pool(4u << 20);
    FrnnTensor* planar = MakeHalf(pool.get(), 1, c.cin, c.h, c.w, Random(c.cin * c.h * c.w, c.h * 31 + c.w, 2.0f));
    FrnnTensor* in = c.layout == FRNN_LAYOUT_NCHW ? planar : ToLayout(planar, c.layout, pool.get());
    const size_t nw = static_cast<size_t>(c.cin) * c.cout * c.kW * c.kH;
    std::vector<uint16_t> blob = Halves(Random(nw + c.cout, c.cin * 7 + c.cout, 0.5f));

    const std::vector<float> plain = Forward(in, c, blob, pool.get());
    ASSERT_FALSE(plain.empty());
    FrnnPreparedSet set;
    {
      const FrnnPreparedScope record(nullptr, &set);
      EXPECT_EQ(Forward(in, c, blob, pool.get()), plain);
      EXPECT_EQ(Forward(in, c, blob, pool.get()), plain);  // the same weights are recorded once
    }
    set.Seal();
    ASSERT_EQ(set.Size(), 1u);
    const uint32_t before = pool.InUse();
    {
      const FrnnPreparedScope use(&set);
      EXPECT_EQ(Forward(in, c, blob, pool.get()), plain);
      EXPECT_EQ(pool.InUse(), before);
      // Zero halves at the same place: the run still computes from the recorded forms.
      std::vector<uint16_t> kept = blob;
      std::fill(blob.begin(), blob.end(), kHalfZero);
      EXPECT_EQ(Forward(in, c, blob, pool.get()), plain);
      blob = kept;
    }
    // Outside the scope the halves are read again.
    std::vector<uint16_t> zeros(blob.size(), kHalfZero);
    for (float v : Forward(in, c, zeros, pool.get())) ASSERT_EQ(v, 0.0f);
    if (in != planar) FrnnTensorDestroy(&in, pool.get());
    FrnnTensorDestroy(&planar, pool.get());
  }
}

// A set holds the weights at the shape they were recorded with; the same address at
// another shape is not theirs.
TEST(FrnnPreparedWeights, AnotherShapeAtTheSameAddressIsNotFound) {
  NnPool pool(1u << 20);
  std::vector<uint16_t> blob = Halves(Random(8 * 8 * 3 + 8, 5, 0.5f));
  FrnnWeightReader r = HalfReader(blob);
  const FrnnPaddingParam pad{0, 0, 1, 1, 0, 0};
  ConvolutionLayer l = FrnnConvolutionInit(8, 8, 1, 3, 1, 1, 1, &pad, &r);
  ASSERT_EQ(FrnnConvolutionLoadWeight(&l, &r), FRNN_OK);
  FrnnPreparedSet set;
  set.Add(&l, 8, 8);
  set.Seal();
  const FrnnPreparedScope use(&set);
  EXPECT_NE(FrnnPreparedFind(&l, 8, 8), nullptr);
  EXPECT_EQ(FrnnPreparedFind(&l, 4, 8), nullptr);
  EXPECT_EQ(FrnnPreparedFind(&l, 8, 4), nullptr);
  l.kernelHeight = 1;
  EXPECT_EQ(FrnnPreparedFind(&l, 8, 8), nullptr);
  l.kernelHeight = 3;
  l.hasBias = 0;
  EXPECT_EQ(FrnnPreparedFind(&l, 8, 8), nullptr);
}

}  // namespace
