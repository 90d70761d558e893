// Tensor records: creation sizes and padding, views, element access, and the weight
// stream reader.
#include <gtest/gtest.h>

#include <vector>

#include "nn_test_util.h"

namespace {

TEST(FrnnTensor, CreationPadsHalfRowsAndBlocksChannels) {
  NnPool pool;
  struct Case {
    uint32_t w, h, c, es, layout, kind;
    uint32_t rowStride, plane;
    uint32_t sizedC;
  } cases[] = {
      {3, 20, 40, 2, FRNN_LAYOUT_NCHW, FRNN_KIND_F16, 8, 160, 40},
      {3, 2, 1, 4, FRNN_LAYOUT_NCHW, FRNN_KIND_F16, 8, 16, 1},
      {3, 2, 1, 4, FRNN_LAYOUT_NCHW, FRNN_KIND_F32, 3, 6, 1},
      {3, 2, 1, 4, FRNN_LAYOUT_NCHW, FRNN_KIND_S32, 3, 6, 1},
      {3, 2, 1, 2, FRNN_LAYOUT_NCHW, FRNN_KIND_S16, 3, 6, 1},
      {3, 2, 5, 2, FRNN_LAYOUT_NC8HW8, FRNN_KIND_F16, 3, 6, 8},
      {3, 2, 5, 4, FRNN_LAYOUT_NC4HW4, FRNN_KIND_F32, 3, 6, 8},
      {3, 2, 9, 4, FRNN_LAYOUT_NC4HW4, FRNN_KIND_F32, 3, 6, 12},
  };
  for (const Case& c : cases) {
    FrnnTensor* t = FrnnTensorCreate3D(1, c.w, c.h, c.c, c.es, c.layout, c.kind, pool.get());
    ASSERT_NE(nullptr, t);
    EXPECT_EQ(c.rowStride, t->uiRowStride) << c.layout << " " << c.kind;
    EXPECT_EQ(c.plane, t->uiPlane);
    EXPECT_EQ(-1, t->siTag1);
    EXPECT_EQ(c.c, t->uiParamMode);
    // The header sits right behind the element bytes (rounded to 16) of the same block.
    const uint32_t bytes = (c.plane * c.sizedC * c.es + 15) / 16 * 16;
    EXPECT_EQ(static_cast<uint8_t*>(t->pvData) + bytes, reinterpret_cast<uint8_t*>(t));
    FrnnTensorDestroy(&t, pool.get());
  }
  EXPECT_EQ(nullptr, FrnnTensorCreate(1, 3, 3, 1, 4, 2, 0, FRNN_KIND_F16, pool.get()));
  EXPECT_EQ(nullptr, FrnnTensorCreate3D(0, 3, 3, 1, 2, 0, FRNN_KIND_F16, pool.get()));
  EXPECT_EQ(0u, pool.InUse());
}

TEST(FrnnTensor, CloneCopiesValuesIntoItsOwnRows) {
  NnPool pool;
  std::vector<float> v;
  for (int j = 0; j < 2 * 3 * 5; ++j) v.push_back(static_cast<float>(j) - 7.5f);
  FrnnTensor* a = MakeHalf(pool.get(), 1, 2, 3, 5, v);
  a->siTag1 = 5;
  FrnnTensor* b = FrnnTensorClone(a, pool.get());
  ASSERT_NE(nullptr, b);
  EXPECT_NE(a->pvData, b->pvData);
  EXPECT_EQ(Values(a), Values(b));
  EXPECT_EQ(5, b->siTag1);
  FrnnTensorDestroy(&a, pool.get());
  FrnnTensorDestroy(&b, pool.get());
  EXPECT_EQ(5u, FrnnTensorDestroy(&b, pool.get()));
  EXPECT_EQ(0u, pool.InUse());
}

TEST(FrnnTensor, ViewsAndElementAccess) {
  NnPool pool;
  FrnnTensor* t = MakeHalf(pool.get(), 2, 3, 2, 3, {});
  // Mark element (image 1, channel 2, row 1, column 2).
  auto* p = static_cast<uint16_t*>(t->pvData);
  p[(1 * 3 + 2) * t->uiPlane + 1 * t->uiRowStride + 2] = SingleToHalfOnce(4.5f);
  uint16_t out = 0;
  EXPECT_EQ(0u, FrnnTensorGetElement(t, 1, 2, 1, 2, &out));
  EXPECT_EQ(SingleToHalfOnce(4.5f), out);
  EXPECT_EQ(3u, FrnnTensorGetElement(t, 0, 0, 0, 3, &out));  // x == w
  EXPECT_EQ(3u, FrnnTensorGetElement(t, 2, 0, 0, 0, &out));
  EXPECT_EQ(5u, FrnnTensorGetElement(nullptr, 0, 0, 0, 0, &out));
  const FrnnTensor img = FrnnTensorImage(t, 1);
  EXPECT_EQ(1u, img.uiN);
  const FrnnTensor ch = FrnnTensorChannel(&img, 2);
  EXPECT_EQ(1u, ch.uiC);
  EXPECT_EQ(2u, ch.uiDims);
  EXPECT_EQ(SingleToHalfOnce(4.5f), static_cast<uint16_t*>(ch.pvData)[1 * ch.uiRowStride + 2]);
  FrnnTensor nhwc = *t;
  nhwc.uiLayout = FRNN_LAYOUT_NHWC;
  const FrnnTensor none = FrnnTensorChannel(&nhwc, 0);
  EXPECT_EQ(1u, FrnnIsEmptyTensor(&none));
  EXPECT_EQ(0u, FrnnIsEmptyTensor(t));
  EXPECT_EQ(2u * 3u * 2u * 8u, FrnnTensorSize(t));
  FrnnTensorDestroy(&t, pool.get());
}

// One tensor read from a stream: how far the cursor moves and where the data lies.
TEST(FrnnWeightReader, CursorStepsByModeWidthAndKind) {
  struct Case {
    uint32_t mode, width, kind, count;
    int32_t channels;
    uint16_t lead;
    bool empty;
    uint32_t advance;
    uint32_t dataOffset;
    bool param;
  } cases[] = {
      {1, 1, FRNN_KIND_Q, 3, 2, 0, false, 12, 0, true},
      {1, 2, FRNN_KIND_F16, 3, 2, 0, false, 14, 0, false},
      {0, 2, FRNN_KIND_F16, 5, 0, 0, false, 12, 2, false},
      {0, 2, FRNN_KIND_F16, 5, 0, 1, true, 2, 0, false},
      {0, 3, FRNN_KIND_F16, 5, 0, 0, true, 0, 0, false},
      {2, 2, FRNN_KIND_F16, 5, 0, 0, true, 0, 0, false},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> blob(64, 0);
    memcpy(blob.data(), &c.lead, 2);
    FrnnWeightReader r{};
    r.uiWordCount = 16;
    r.pubBase = blob.data();
    r.pubCursor = blob.data();
    FrnnTensor t;
    LoadWeight(&t, &r, c.count, c.width, 0, c.channels, c.mode, c.kind);
    EXPECT_EQ(c.empty, FrnnIsEmptyTensor(&t) == 1) << c.mode << "/" << c.width;
    EXPECT_EQ(c.advance, static_cast<uint32_t>(r.pubCursor - blob.data())) << c.mode << "/" << c.width;
    if (!c.empty) {
      EXPECT_EQ(blob.data() + c.dataOffset, t.pvData);
      EXPECT_EQ(c.count, t.uiW);
      EXPECT_EQ(1u, t.uiDims);
      EXPECT_EQ(c.param ? blob.data() + 4 : nullptr, t.pvQuantParam);
    }
  }
}

TEST(FrnnWeightReader, NeverReadsPastTheStream) {
  std::vector<uint16_t> blob(10, 0);  // 5 words
  FrnnWeightReader r = HalfReader(blob);
  FrnnTensor t;
  LoadWeight(&t, &r, 8, 2, 0, 0, 1, FRNN_KIND_F16);
  EXPECT_EQ(0u, FrnnIsEmptyTensor(&t));
  LoadWeight(&t, &r, 3, 2, 0, 0, 1, FRNN_KIND_F16);  // two halves left
  EXPECT_EQ(1u, FrnnIsEmptyTensor(&t));
  EXPECT_EQ(r.pubBase + 16, r.pubCursor);
  LoadWeight(&t, &r, 2, 2, 0, 0, 1, FRNN_KIND_F16);
  EXPECT_EQ(0u, FrnnIsEmptyTensor(&t));
  // A per-channel tail or a lead word past the end is refused as well.
  FrnnWeightReader r2 = HalfReader(blob);
  LoadWeight(&t, &r2, 1, 2, 0, 5, 1, FRNN_KIND_F16);
  EXPECT_EQ(1u, FrnnIsEmptyTensor(&t));
  r2.pubCursor = r2.pubBase + 20;
  LoadWeight(&t, &r2, 0, 2, 0, 0, 0, FRNN_KIND_F16);
  EXPECT_EQ(1u, FrnnIsEmptyTensor(&t));
  EXPECT_EQ(r2.pubBase + 20, r2.pubCursor);
  FrnnWeightReader none{};
  LoadWeight(&t, &none, 1, 2, 0, 0, 1, FRNN_KIND_F16);
  EXPECT_EQ(1u, FrnnIsEmptyTensor(&t));
}

}  // namespace
