// Installed weight blocks of the three networks: the engine's own copy outlives the
// caller's buffer, removal brings back the failure of a network without weights, and
// installing or removing from one thread while another runs frames gives every frame
// either the whole result of one block or the plain failure.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <random>
#include <thread>
#include <vector>

#include "net_denoise_internal.h"
#include "net_float_internal.h"
#include "net_water_internal.h"
#include "frnn_fast.h"
#include "nn_test_util.h"

namespace {

std::vector<uint8_t> Bytes(const std::vector<uint16_t>& halves) {
  std::vector<uint8_t> b(halves.size() * 2);
  memcpy(b.data(), halves.data(), b.size());
  return b;
}

// One network behind the installation door: a run through the installed block gives its
// outputs as one vector, or nothing when the run failed (outputs then checked untouched).
struct Door {
  const char* name;
  std::function<uint32_t(const void*, uint32_t)> install;
  std::function<void()> remove;
  std::function<std::vector<int32_t>()> run;
  std::vector<uint8_t> a, b;  // two blocks with different results
};

std::vector<Door> Doors() {
  std::vector<Door> d;
  {
    std::vector<uint8_t> b(kFloatNetWeightBytes, 0);
    const uint16_t one = SingleToHalfOnce(1.0f);
    memcpy(b.data() + b.size() - 2, &one, 2);  // the second map's bias
    d.push_back({"float", NetFloatSetWeights, NetFloatRemoveWeights,
                 [] {
                   static thread_local std::vector<uint8_t> buffer(kFloatNetBufferBytes);
                   std::vector<int16_t> diff(40 * 40, 50);
                   uint16_t* m1 = nullptr;
                   uint16_t* m2 = nullptr;
                   if (NetFloatComplement(diff.data(), buffer.data(), 40, 40, &m1, &m2) != FRNN_OK) {
                     EXPECT_EQ(m1, nullptr);
                     EXPECT_EQ(m2, nullptr);
                     return std::vector<int32_t>{};
                   }
                   std::vector<int32_t> v(m1, m1 + kFloatNetAreaValues);
                   v.insert(v.end(), m2, m2 + kFloatNetAreaValues);
                   return v;
                 },
                 std::vector<uint8_t>(kFloatNetWeightBytes, 0), b});
  }
  {
    std::vector<uint8_t> b(kDenoiseNetWeightBytes, 0);
    const uint16_t one = SingleToHalfOnce(1.0f);
    memcpy(b.data() + b.size() - 160 * 2, &one, 2);  // the last dense layer's first bias
    d.push_back({"denoise", DenoiseNetSetWeights, DenoiseNetRemoveWeights,
                 [] {
                   static thread_local std::vector<uint8_t> buffer(kDenoiseNetPoolBytes);
                   std::vector<int16_t> diff(8 * 40);
                   for (size_t j = 0; j < diff.size(); ++j) diff[j] = static_cast<int16_t>(j % 7 * 30);
                   const std::vector<int16_t> before = diff;
                   std::vector<uint16_t> means(kDenoiseNetMaxRows);
                   if (DlNetInterface(diff.data(), means.data(), buffer.data(), 8, 40) != FRNN_OK) {
                     EXPECT_EQ(diff, before);
                     return std::vector<int32_t>{};
                   }
                   return std::vector<int32_t>(diff.begin(), diff.end());
                 },
                 std::vector<uint8_t>(kDenoiseNetWeightBytes, 0), b});
  }
  d.push_back({"water", NetWaterSetWeights, NetWaterRemoveWeights,
               [] {
                 static thread_local std::vector<uint8_t> buffer(kWaterNetPoolBytes);
                 std::vector<float> frame(3 * 20 * 40, 60.0f);
                 WaterNetState st{};
                 uint32_t s1 = 999, s2 = 999;
                 if (NetWaterDetection(frame.data(), InitNetWater(&st), 20, 40, 3, &s1, &s2, buffer.data()) != 0) {
                   EXPECT_EQ(s1, 999u);
                   return std::vector<int32_t>{};
                 }
                 return std::vector<int32_t>{static_cast<int32_t>(s1), static_cast<int32_t>(s2)};
               },
               Bytes(waternet::Blob(0.0f, 0.0f)), Bytes(waternet::Blob(0.0f, 0.5f))});
  return d;
}

class InstalledWeights : public ::testing::Test {
 protected:
  void SetUp() override { DenoiseNetInit(); }
  void TearDown() override {
    NetFloatRemoveWeights();
    DenoiseNetRemoveWeights();
    NetWaterRemoveWeights();
  }
};

TEST_F(InstalledWeights, TheEngineKeepsItsOwnCopyUntilRemoved) {
  for (const Door& d : Doors()) {
    SCOPED_TRACE(d.name);
    ASSERT_TRUE(d.run().empty());
    std::vector<int32_t> fromA;
    {
      std::vector<uint8_t> caller = d.b;
      ASSERT_EQ(d.install(caller.data(), static_cast<uint32_t>(caller.size())), FRNN_OK);
      ASSERT_EQ(d.install(caller.data(), static_cast<uint32_t>(caller.size()) - 2), FRNN_ERR_ARG);
      ASSERT_EQ(d.install(nullptr, static_cast<uint32_t>(caller.size())), FRNN_ERR_NULL);
      const std::vector<int32_t> fromB = d.run();
      ASSERT_FALSE(fromB.empty());
      // The caller reuses its buffer: the installed block does not follow.
      memcpy(caller.data(), d.a.data(), caller.size());
      EXPECT_EQ(d.run(), fromB);
      ASSERT_EQ(d.install(caller.data(), static_cast<uint32_t>(caller.size())), FRNN_OK);
      fromA = d.run();
      EXPECT_NE(fromA, fromB);
    }
    // The caller's buffer is gone; the copy runs on.
    EXPECT_EQ(d.run(), fromA);
    d.remove();
    EXPECT_TRUE(d.run().empty());
    d.remove();  // removing nothing is harmless
  }
}

TEST_F(InstalledWeights, InstallingWhileFramesRunGivesWholeResults) {
  for (const Door& d : Doors()) {
    SCOPED_TRACE(d.name);
    ASSERT_EQ(d.install(d.a.data(), static_cast<uint32_t>(d.a.size())), FRNN_OK);
    const std::vector<int32_t> wantA = d.run();
    ASSERT_EQ(d.install(d.b.data(), static_cast<uint32_t>(d.b.size())), FRNN_OK);
    const std::vector<int32_t> wantB = d.run();
    ASSERT_NE(wantA, wantB);
    std::atomic<bool> done{false};
    std::thread installer([&] {
      for (int k = 0; k < 60; ++k) {
        // A fresh buffer each time, released at once, as a loader that reads a file would.
        std::vector<uint8_t> blob = k % 2 ? d.a : d.b;
        if (k % 3 == 2) {
          d.remove();
        } else {
          EXPECT_EQ(d.install(blob.data(), static_cast<uint32_t>(blob.size())), FRNN_OK);
        }
        std::this_thread::yield();
      }
      done = true;
    });
    int seen[3] = {0, 0, 0};
    while (!done) {
      const std::vector<int32_t> got = d.run();
      if (got.empty()) {
        ++seen[2];
      } else if (got == wantA) {
        ++seen[0];
      } else {
        ASSERT_EQ(got, wantB);
        ++seen[1];
      }
    }
    installer.join();
    EXPECT_GT(seen[0] + seen[1] + seen[2], 0);
  }
}

// One network run two ways: through the installed block (its weights widened and packed
// at installation) and directly on a caller's copy of the same bytes (widened and packed
// on the run).
struct TwoRoads {
  const char* name;
  std::function<uint32_t(const void*, uint32_t)> install;
  std::vector<uint8_t> block;
  std::function<std::vector<int32_t>(const uint8_t*)> run;  // null: the installed block
};

std::vector<TwoRoads> Roads() {
  std::vector<TwoRoads> v;
  v.push_back({"denoise 36x40", DenoiseNetSetWeights, SeededHalfBlock(kDenoiseNetWeightBytes, 9, 0.05f, kDenoiseNetHeaderBytes),
               [](const uint8_t* w) {
                 std::vector<uint8_t> buffer(kDenoiseNetPoolBytes);
                 std::vector<int16_t> diff(36 * 40);
                 for (size_t j = 0; j < diff.size(); ++j) diff[j] = static_cast<int16_t>((j * 37) % 301 - 150);
                 std::vector<uint16_t> means(kDenoiseNetMaxRows);
                 const uint32_t r =
                     w == nullptr ? DlNetInterface(diff.data(), means.data(), buffer.data(), 36, 40)
                                  : DenoiseNetRun({diff.data(), means.data(), buffer.data(), 36, 40, w,
                                                   kDenoiseNetWeightBytes},
                                                  nullptr);
                 EXPECT_EQ(r, FRNN_OK);
                 return std::vector<int32_t>(diff.begin(), diff.end());
               }});
  v.push_back({"floating 18x32", NetFloatSetWeights, SeededHalfBlock(kFloatNetWeightBytes, 10, 0.1f, 0),
               [](const uint8_t* w) {
                 std::vector<uint8_t> buffer(kFloatNetBufferBytes);
                 std::vector<int16_t> diff(18 * 32);
                 for (size_t j = 0; j < diff.size(); ++j) diff[j] = static_cast<int16_t>((j * 37) % 301 - 150);
                 uint16_t* m1 = nullptr;
                 uint16_t* m2 = nullptr;
                 const uint32_t r =
                     w == nullptr ? NetFloatComplement(diff.data(), buffer.data(), 18, 32, &m1, &m2)
                                  : NetFloatRun({diff.data(), buffer.data(), 18, 32, &m1, &m2, w, kFloatNetWeightBytes},
                                                nullptr);
                 EXPECT_EQ(r, FRNN_OK);
                 std::vector<int32_t> out;
                 if (r == FRNN_OK) {
                   out.assign(m1, m1 + kFloatNetAreaValues);
                   out.insert(out.end(), m2, m2 + kFloatNetAreaValues);
                 }
                 return out;
               }});
  v.push_back({"water 20x40", NetWaterSetWeights, SeededHalfBlock(kWaterNetWeightBytes, 7, 0.25f, 0),
               [](const uint8_t* w) {
                 std::vector<uint8_t> buffer(kWaterNetPoolBytes);
                 std::vector<float> frame(3 * 20 * 40);
                 for (size_t j = 0; j < frame.size(); ++j) {
                   frame[j] = static_cast<float>((j * 37) % 101) - (j < 1600 ? 50.0f : 0.0f);
                 }
                 WaterNetState st{};
                 InitNetWater(&st);
                 uint32_t s1 = 999, s2 = 999;
                 WaterNetRunReport rep{};
                 const uint32_t r =
                     w == nullptr ? NetWaterDetection(frame.data(), &st, 20, 40, 3, &s1, &s2, buffer.data())
                                  : NetWaterRun({frame.data(), &st, 20, 40, 3, &s1, &s2, buffer.data(), w,
                                                 kWaterNetWeightBytes},
                                                &rep);
                 EXPECT_EQ(r, 0u);
                 std::vector<int32_t> out{static_cast<int32_t>(s1), static_cast<int32_t>(s2)};
                 out.insert(out.end(), st.auwHidden, st.auwHidden + 8);
                 return out;
               }});
  return v;
}

class PreparedAtInstallation : public InstalledWeights {
 protected:
  void TearDown() override {
    FrnnSetFastPaths(true);
    InstalledWeights::TearDown();
  }
};

// Whether the fast paths or the reference kernels run, the installed block gives the bits
// a run on the same bytes gives.
TEST_F(PreparedAtInstallation, RunsGiveTheBitsOfARunThatWidensItsOwnWeights) {
  for (const TwoRoads& road : Roads()) {
    SCOPED_TRACE(road.name);
    ASSERT_EQ(road.install(road.block.data(), static_cast<uint32_t>(road.block.size())), FRNN_OK);
    const std::vector<uint8_t> copy = road.block;
    for (const bool fast : {true, false}) {
      SCOPED_TRACE(fast ? "fast paths" : "reference kernels");
      FrnnSetFastPaths(fast);
      const std::vector<int32_t> direct = road.run(copy.data());
      ASSERT_FALSE(direct.empty());
      EXPECT_EQ(road.run(nullptr), direct);
    }
  }
}

}  // namespace
