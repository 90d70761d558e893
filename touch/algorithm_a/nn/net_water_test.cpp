// Water-detection network end to end: blobs of the stream layout built here (all zero,
// biases only, seeded), exact consumption, hand-worked scores, state handling, failures.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "frnn_conv_kernels.h"
#include "frnn_fast.h"
#include "net_water_internal.h"
#include "nn_test_util.h"

namespace {

using waternet::Blob;
using waternet::Layout;
using waternet::Share;

std::vector<float> Frame(uint32_t seed, float maxThird = 100.0f) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> d(-20.0f, 20.0f);
  std::uniform_real_distribution<float> t(0.0f, maxThird);
  std::vector<float> f(3 * 20 * 40);
  for (size_t j = 0; j < f.size(); ++j) f[j] = j < 1600 ? d(rng) : t(rng);
  return f;
}

std::vector<uint16_t> Seeded(uint32_t seed) {
  std::mt19937 rng(seed);
  std::normal_distribution<float> d(0.0f, 0.25f);
  std::vector<uint16_t> b;
  for (const Share& s : Layout())
    for (uint32_t j = 0; j < s.count; ++j) b.push_back(SingleToHalfOnce(d(rng)));
  return b;
}

class WaterNet : public ::testing::Test {
 protected:
  void TearDown() override { NetWaterRemoveWeights(); }
  uint32_t Run(const std::vector<float>& in, const std::vector<uint16_t>& blob, WaterNetState* st, uint32_t* s1,
               uint32_t* s2, WaterNetRunReport* rep = nullptr, uint8_t* buf = nullptr) {
    const WaterNetRunArgs a{in.data(), st, 20, 40, 3, s1, s2, buf != nullptr ? buf : buffer_.data(), blob.data(),
                            static_cast<uint32_t>(blob.size() * 2)};
    return NetWaterRun(a, rep);
  }
  // Blocks still held in the pool the last run laid in the buffer.
  uint32_t HeldBlocks() {
    const auto* pool = reinterpret_cast<const FrnnMempool*>(buffer_.data());
    uint32_t n = 0;
    const FrnnMempoolBlock* b = pool->pstFirst;
    do {
      n += b->uiInUse;
      b = b->pstNext;
    } while (b != pool->pstFirst);
    return n;
  }
  std::vector<uint8_t> buffer_ = std::vector<uint8_t>(kWaterNetPoolBytes);
};

TEST_F(WaterNet, LayoutIsTheStatedSize) {
  uint32_t n = 0;
  for (const Share& s : Layout()) n += s.count;
  EXPECT_EQ(kWaterNetWeightHalves, n);
}

TEST_F(WaterNet, AllZeroBlobScoresFiftyFifty) {
  const std::vector<uint16_t> blob = Blob(0.0f, 0.0f);
  WaterNetState st{};
  uint32_t s1 = 0, s2 = 0;
  WaterNetRunReport rep{};
  ASSERT_EQ(0u, Run(Frame(1), blob, &st, &s1, &s2, &rep));
  EXPECT_EQ(50u, s1);
  EXPECT_EQ(50u, s2);
  EXPECT_EQ(0x3800, rep.uwScore1);
  EXPECT_EQ(kWaterNetWeightBytes, rep.uiConsumedBytes);
  EXPECT_EQ(0u, HeldBlocks());
}

TEST_F(WaterNet, BiasOnlyBlobGivesHandWorkedScoresAndState) {
  // Kernels zero, every bias 0.5: each head's last layer is its bias, sigmoid(0.5) =
  // 0.6225 -> 62. The GRU sees r = z = sigmoid(1) and n = tanh(0.5 + r * 0.5), so from a
  // zero state each unit becomes (1 - z) * n = 0.2689 * 0.6995 = 0.1881.
  const std::vector<uint16_t> blob = Blob(0.0f, 0.5f);
  WaterNetState st{};
  uint32_t s1 = 0, s2 = 0;
  ASSERT_EQ(0u, Run(Frame(2), blob, &st, &s1, &s2));
  EXPECT_EQ(62u, s1);
  EXPECT_EQ(62u, s2);
  for (uint16_t h : st.auwHidden) EXPECT_NEAR(0.1881f, HalfToSingleOnce(h), 2e-3f);
  // A second frame starts from that state: (1 - z) * n + z * 0.1881.
  ASSERT_EQ(0u, Run(Frame(2), blob, &st, &s1, &s2));
  for (uint16_t h : st.auwHidden) EXPECT_NEAR(0.1881f + 0.7311f * 0.1881f, HalfToSingleOnce(h), 3e-3f);
}

TEST_F(WaterNet, StateCarriesTheSecondScoreOnly) {
  const std::vector<uint16_t> blob = Seeded(11);
  const std::vector<float> in = Frame(3);
  WaterNetState st{};
  uint32_t a1 = 0, a2 = 0, b1 = 0, b2 = 0;
  WaterNetRunReport ra{}, rb{};
  ASSERT_EQ(0u, Run(in, blob, &st, &a1, &a2, &ra));
  ASSERT_EQ(0u, Run(in, blob, &st, &b1, &b2, &rb));
  EXPECT_EQ(ra.uwScore1, rb.uwScore1);
  EXPECT_NE(ra.uwScore2, rb.uwScore2);
  // Cleared before each run, both runs agree entirely.
  ASSERT_EQ(0u, Run(in, blob, InitNetWater(&st), &a1, &a2, &ra));
  ASSERT_EQ(0u, Run(in, blob, InitNetWater(&st), &b1, &b2, &rb));
  EXPECT_EQ(ra.uwScore2, rb.uwScore2);
  EXPECT_EQ(kWaterNetWeightBytes, rb.uiConsumedBytes);
  // No node above the threshold: the masked mean is 0 and the run still succeeds.
  ASSERT_EQ(0u, Run(Frame(4, 49.0f), blob, InitNetWater(&st), &a1, &a2));
  EXPECT_EQ(0u, HeldBlocks());
}

TEST_F(WaterNet, VectorAndScalarKernelsGiveTheSameBits) {
  const std::vector<uint16_t> blob = Seeded(21);
  const std::vector<float> in = Frame(22);
  WaterNetState a{}, b{};
  uint32_t s1 = 0, s2 = 0;
  WaterNetRunReport ra{}, rb{};
  // The vector kernels proper; the fast paths order their sums otherwise.
  const ReferenceKernelsOnly reference;
  FrnnSetVectorKernels(false);
  ASSERT_EQ(0u, Run(in, blob, &a, &s1, &s2, &ra));
  FrnnSetVectorKernels(true);
  ASSERT_EQ(0u, Run(in, blob, &b, &s1, &s2, &rb));
  EXPECT_EQ(ra.uwScore1, rb.uwScore1);
  EXPECT_EQ(ra.uwScore2, rb.uwScore2);
  EXPECT_EQ(0, memcmp(&a, &b, sizeof a));
}

TEST_F(WaterNet, FailuresLeaveScoresAndStateAlone) {
  const std::vector<uint16_t> blob = Seeded(5);
  const std::vector<float> in = Frame(6);
  WaterNetState st{};
  st.auwHidden[0] = 0x1234;
  uint32_t s1 = 77, s2 = 88;
  // A short stream: the layer that runs out fails the run (the reader never reads past).
  const std::vector<uint16_t> shortBlob(blob.begin(), blob.end() - 2);
  WaterNetRunReport rep{};
  EXPECT_EQ(1u, Run(in, shortBlob, &st, &s1, &s2, &rep));
  EXPECT_LE(rep.uiConsumedBytes, shortBlob.size() * 2);
  std::vector<uint16_t> cut(blob.begin(), blob.begin() + 100);
  EXPECT_EQ(1u, Run(in, cut, &st, &s1, &s2));
  EXPECT_EQ(0x1234, st.auwHidden[0]);
  // No buffer, other plane counts and odd sizes are refused.
  EXPECT_EQ(1u, NetWaterDetection(in.data(), &st, 20, 40, 3, &s1, &s2, nullptr));
  const WaterNetRunArgs planes{in.data(), &st, 20, 40, 2, &s1, &s2, buffer_.data(), blob.data(), kWaterNetWeightBytes};
  EXPECT_EQ(1u, NetWaterRun(planes, nullptr));
  const WaterNetRunArgs odd{in.data(), &st, 18, 40, 3, &s1, &s2, buffer_.data(), blob.data(), kWaterNetWeightBytes};
  EXPECT_EQ(1u, NetWaterRun(odd, nullptr));
  EXPECT_EQ(77u, s1);
  EXPECT_EQ(88u, s2);
}

TEST_F(WaterNet, DetectionUsesTheInstalledWeights) {
  const std::vector<uint16_t> blob = Blob(0.0f, 0.5f);
  EXPECT_EQ(3u, NetWaterSetWeights(blob.data(), kWaterNetWeightBytes - 2));
  EXPECT_EQ(5u, NetWaterSetWeights(nullptr, kWaterNetWeightBytes));
  ASSERT_EQ(0u, NetWaterSetWeights(blob.data(), kWaterNetWeightBytes));
  const std::vector<float> in = Frame(8);
  WaterNetState st{};
  uint32_t s1 = 0, s2 = 0;
  ASSERT_EQ(0u, NetWaterDetection(in.data(), InitNetWater(&st), 20, 40, 3, &s1, &s2, buffer_.data()));
  EXPECT_EQ(62u, s1);
  EXPECT_EQ(62u, s2);
}

}  // namespace
