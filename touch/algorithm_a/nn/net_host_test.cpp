// The networks as a host meets them: the plug-in loaded with dlopen, its weight-block doors
// and the diff procedures beside the stages found with dlsym by their C names. Weight
// blocks come from the seeded maker the engine's own tests and the benchmarks use. The water
// network is switched on and off through the doors and driven by frames on the wet-finger
// road; the scripted variant of the plug-in (the same module, plus read-back entries) shows
// what the network decided.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "decoded_frame_bytes_test.h"
#include "ferrant_host_start_test.h"
#include "ferrant_script_hook_test.h"
#include "nn_test_util.h"
#include "platform/temp_root.h"
#include "region_water.h"
#include "touch_host/ferrant_road.h"
#include "touch_host/host.h"
#include "tsa_common.h"

namespace {

namespace road = touch_host::testsupport::ferrant_road;

const std::string kPlugin = std::string(VENDOR_PLUGIN_DIR) + "/libtapsense_alg_ferrant.so";
const std::string kScripted = std::string(VENDOR_PLUGIN_DIR) + "/libtapsense_alg_ferrant_scripted.so";

using SetWeightsFn = uint32_t (*)(const void*, uint32_t);
using RemoveWeightsFn = void (*)();
using ProcedureFn = void (*)();

std::vector<uint8_t> SeededWaterBlock() { return SeededHalfBlock(kWaterNetWeightBytes, 7, 0.25f, 0); }

// The seeded water block with both heads ending in a fixed score: the last layer of each
// head has zero weights, so its score is the sigmoid of its bias. The whole graph still has
// to run through the seeded weights for the scores to come out at all.
std::vector<uint8_t> SeededWaterBlockScoring(float bias1, float bias2) {
  std::vector<uint8_t> block = SeededWaterBlock();
  const std::vector<waternet::Share> layout = waternet::Layout();
  std::vector<uint32_t> at(layout.size());
  uint32_t half = 0;
  for (size_t k = 0; k < layout.size(); ++k) {
    at[k] = half;
    half += layout[k].count;
  }
  const auto pin = [&](size_t weights, float bias) {
    std::memset(block.data() + 2 * at[weights], 0, 2 * layout[weights].count);
    const uint16_t b = SingleToHalfOnce(bias);
    std::memcpy(block.data() + 2 * at[weights + 1], &b, 2);
  };
  const size_t n = layout.size();
  pin(n - 6, bias1);  // first head: 4 weights, then its bias
  pin(n - 2, bias2);  // second head
  return block;
}

// Every door of the shipped plug-in checks the block it is given and takes a good one.
TEST(PluginNetworkDoors, EachNetworkChecksAndTakesItsBlock) {
  void* lib = dlopen(kPlugin.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr) << dlerror();
  struct Door {
    const char* set;
    const char* remove;
    std::vector<uint8_t> block;
  } doors[] = {
      {"NetWaterSetWeights", "NetWaterRemoveWeights", SeededWaterBlock()},
      {"DenoiseNetSetWeights", "DenoiseNetRemoveWeights",
       SeededHalfBlock(kDenoiseNetWeightBytes, 9, 0.05f, kDenoiseNetHeaderBytes)},
      {"NetFloatSetWeights", "NetFloatRemoveWeights", SeededHalfBlock(kFloatNetWeightBytes, 10, 0.1f, 0)},
  };
  for (const Door& d : doors) {
    SCOPED_TRACE(d.set);
    const auto set = reinterpret_cast<SetWeightsFn>(dlsym(lib, d.set));
    const auto remove = reinterpret_cast<RemoveWeightsFn>(dlsym(lib, d.remove));
    ASSERT_NE(set, nullptr);
    ASSERT_NE(remove, nullptr);
    const auto bytes = static_cast<uint32_t>(d.block.size());
    EXPECT_EQ(set(d.block.data(), bytes - 2), FRNN_ERR_ARG);
    EXPECT_EQ(set(nullptr, bytes), FRNN_ERR_NULL);
    EXPECT_EQ(set(d.block.data(), bytes), FRNN_OK);
    remove();
    remove();  // removing nothing is harmless
  }
  dlclose(lib);
}

// Algorithm A's road on the scripted plug-in through the touch host: the 16 x 30 panel with
// waterproof processing on, brought up to its first report.
class ScriptedRoad {
 public:
  ScriptedRoad() : frames_(kPanel.drive, kPanel.sense, road::kFrequencies) {
    road::AlgConfig config;
    config.touch_threshold = 100;
    config.second_threshold = 120;
    config.panel = kPanel;
    config.sections = {road::waterproof_section()};
    host_ = fxtest::StartFerrantHost(root_, kScripted, road::alg_config_blob(config), kPanel.drive, kPanel.sense);
    if (host_ == nullptr) return;
    water_ = reinterpret_cast<FerxTestWaterFn>(host_->alg_symbol(FERX_TEST_WATER_SYMBOL));
    const std::vector<int16_t> im = road::im_rows(kPanel, -1, -1);
    frames_.SetIm(std::vector<uint16_t>(im.begin(), im.end()));
    // The reference, then idle frames up to the first report.
    for (int i = 0; i < 16; ++i) {
      DecodedFrame f = frames_.Next(i == 0 ? road::kReferenceFrame : 0x00, index_++);
      EXPECT_EQ(host_->process_frame(&f), touch_host::HostStatus::kOk);
      if (i > 0 && !host_->snapshot().reports.empty()) break;
    }
  }
  touch_host::TouchHost* host() { return host_.get(); }
  bool ready() const { return host_ != nullptr && water_ != nullptr; }

  // One controller frame whose diff is DIFF; the waterproof state it left.
  WaterModuleState Run(const std::vector<int16_t>& diff) {
    frames_.SetTouch(diff);
    DecodedFrame frame = frames_.Next(0x00, index_++);
    EXPECT_EQ(host_->process_frame(&frame), touch_host::HostStatus::kOk);
    WaterModuleState w;
    std::memcpy(&w, water_(), sizeof(w));
    return w;
  }

  static constexpr road::Panel kPanel{16, 30};

 private:
  platform::testing::TempRoot root_;
  std::unique_ptr<touch_host::TouchHost> host_;
  fxtest::FingerFrames frames_;
  FerxTestWaterFn water_ = nullptr;
  uint16_t index_ = 2;
};

// The wet-thumb frames. A wet patch spreads over the right half, negative-dominant at
// first, so that its union is judged wet, then drying to a positive film. A thumb (a ridge
// over seven columns) lands on the left, rests for eight frames and slides right at half a
// node a frame until it runs into the patch: the wet union and the thumb's union merge,
// which starts the check mode, and the moving thumb in the wet union is a candidate for the
// water network. The first frames of the check mode run the network; three runs in a row
// hold it back for twenty frames.
constexpr int kDryFrom = 15;
constexpr int kThumbFrom = 20;
constexpr int kWetThumbFrames = 45;

std::vector<int16_t> WetThumbDiff(int n) {
  const road::Panel p = ScriptedRoad::kPanel;
  std::vector<int16_t> d(static_cast<size_t>(p.mutual()), 0);
  const int r1 = std::min(13, 6 + n / 4), c1 = std::min(27, 18 + n / 3);
  for (int r = 3; r <= r1; ++r)
    for (int c = 14; c <= c1; ++c) {
      const bool film = n >= kDryFrom;
      d[static_cast<size_t>(r * p.sense + c)] = film ? ((r + c) % 4 == 0 ? 0 : 60) : ((r + c + n) % 3 == 0 ? 60 : -60);
    }
  if (n >= kThumbFrom) {
    const int k = n - kThumbFrom;
    const double col = 5.0 + (k < 8 ? 0 : (k - 8) * 0.5);
    for (int r = 0; r < p.drive; ++r)
      for (int c = 0; c < p.sense; ++c) {
        const int v = static_cast<int>(800 * (1.0 - std::hypot((r - 8.0) / 1.6, (c - col) / 4.0)));
        int16_t& node = d[static_cast<size_t>(r * p.sense + c)];
        node = static_cast<int16_t>(std::max<int>(node, v));
      }
  }
  return d;
}

// The wet-thumb road runs the water network whatever the block: what it decides comes from
// the block the host installed. A block whose scores pass (90 and 50) confirms the thumb's
// union as water at the first run; one whose first score falls short (62 and 62) leaves the
// union to the line check, and so does a block the host removed again, since the network
// then gives no scores at all.
TEST(WaterNetworkThroughTheHost, TheInstalledBlockDecidesTheWetThumbsUnion) {
  enum class Block { kPasses, kFallsShort, kRemoved };
  struct Case {
    const char* what;
    Block block;
    bool water;
  } cases[] = {
      {"scores 90 and 50", Block::kPasses, true},
      {"scores 62 and 62", Block::kFallsShort, false},
      {"installed, then removed", Block::kRemoved, false},
  };
  int firstRunFrame = -1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScriptedRoad road;
    ASSERT_TRUE(road.ready());
    const auto set = reinterpret_cast<SetWeightsFn>(road.host()->alg_symbol("NetWaterSetWeights"));
    const auto remove = reinterpret_cast<RemoveWeightsFn>(road.host()->alg_symbol("NetWaterRemoveWeights"));
    ASSERT_NE(set, nullptr);
    ASSERT_NE(remove, nullptr);
    const std::vector<uint8_t> block =
        c.block == Block::kPasses ? SeededWaterBlockScoring(2.2f, 0.0f) : SeededWaterBlockScoring(0.5f, 0.5f);
    ASSERT_EQ(set(block.data(), static_cast<uint32_t>(block.size())), FRNN_OK);
    if (c.block == Block::kRemoved) remove();
    int n = 0;
    WaterModuleState w{};
    for (; n < kWetThumbFrames; ++n) {
      w = road.Run(WetThumbDiff(n));
      if (w.gboCurRunDl != 0) break;
      EXPECT_EQ(w.gboDlWaterSta, 0) << n;
    }
    ASSERT_LT(n, kWetThumbFrames) << "the network step was never reached";
    // The step is reached on the same frame whatever the block.
    if (firstRunFrame < 0) firstRunFrame = n;
    EXPECT_EQ(n, firstRunFrame);
    EXPECT_EQ(w.gubTryDlCount, 1);
    EXPECT_EQ(w.WaterCheckMode, 1);
    EXPECT_EQ(w.gboDlWaterSta, c.water ? 1 : 0);
    EXPECT_EQ(w.WaterNetRegion, c.water ? 1 : 0);
    const auto confirmedByNetwork =
        std::count_if(std::begin(w.astUnion), std::end(w.astUnion), [](const WaterUnion& u) {
          return u.label != kWaterUnionFree && u.wetMark != 0 && u.confirmMark != 0 && u.armCount != 0;
        });
    EXPECT_EQ(confirmedByNetwork, c.water ? 1 : 0);
    if (c.water) continue;
    // Without a water verdict the next frames ask the network again until three runs in a
    // row hold it back.
    w = road.Run(WetThumbDiff(++n));
    EXPECT_EQ(w.gboCurRunDl, 1);
    EXPECT_EQ(w.gubTryDlCount, 2);
    w = road.Run(WetThumbDiff(++n));
    EXPECT_EQ(w.gboCurRunDl, 1);
    EXPECT_EQ(w.gubTryDlCount, 23);
    w = road.Run(WetThumbDiff(++n));
    EXPECT_EQ(w.gboCurRunDl, 0);
  }
}

// The have-touch rule and the white-noise reduction, which nothing inside the module calls,
// work on the loaded module's own frame record: the rule on the statistics the last frame
// left, the reduction on its diff map.
TEST(ExportedDiffProcedures, HaveTouchRuleAndWhiteNoiseReductionOnTheLoadedModule) {
  ScriptedRoad road;
  ASSERT_TRUE(road.ready());
  touch_host::TouchHost& host = *road.host();
  const auto haveTouch = reinterpret_cast<ProcedureFn>(host.alg_symbol("SetHaveTouchFlag"));
  const auto reduce = reinterpret_cast<ProcedureFn>(host.alg_symbol("NoiseDiffReduce"));
  const auto common = reinterpret_cast<FerxTestCommonFn>(host.alg_symbol(FERX_TEST_COMMON_SYMBOL));
  ASSERT_NE(haveTouch, nullptr);
  ASSERT_NE(reduce, nullptr);
  ASSERT_NE(common, nullptr);
  auto* rec = static_cast<CommonRecord*>(common());
  const road::Panel panel = ScriptedRoad::kPanel;
  const auto frame = [&](const std::vector<road::Finger>& fingers) {
    road.Run(road::diff_with_fingers(fingers, panel.drive, panel.sense));
  };

  // The rule: a frame whose largest diff is below the touch threshold leaves the flags as
  // they are; one with a finger sets the touch flag and restarts the no-touch count.
  struct Rule {
    const char* what;
    std::vector<road::Finger> fingers;
    bool touch;
  } rules[] = {{"quiet frame", {}, false}, {"finger frame", {{8.0, 12.0, 500}}, true}};
  for (const Rule& r : rules) {
    SCOPED_TRACE(r.what);
    frame(r.fingers);
    rec->ubTouchPresent = 0;
    rec->ubNoTouchCnt = 7;
    haveTouch();
    const uint8_t present = rec->ubTouchPresent, noTouch = rec->ubNoTouchCnt;
    EXPECT_EQ(present, r.touch ? 1 : 0);
    EXPECT_EQ(noTouch, r.touch ? 0 : 7);
  }

  // The reduction: with a point reported, the diff map is scaled by 85/128 while the
  // white-noise flag is up, and left alone while it is down.
  frame({{8.0, 12.0, 500}});
  frame({{8.0, 12.0, 500}});
  // The record is packed: its fields are read by value.
  const uint8_t points = rec->ubTouchCount;
  const uint16_t nodes = rec->uwNodeNum;
  ASSERT_NE(points, 0);
  ASSERT_EQ(nodes, panel.mutual());
  int16_t* diff = rec->stData.pswDiffData;
  ASSERT_NE(diff, nullptr);
  const std::vector<int16_t> before(diff, diff + panel.mutual());
  ASSERT_GT(*std::max_element(before.begin(), before.end()), 300);
  rec->ubWhiteNoiseResult = 0;
  reduce();
  EXPECT_EQ(std::vector<int16_t>(diff, diff + panel.mutual()), before);
  rec->ubWhiteNoiseResult = 1;
  reduce();
  std::vector<int16_t> want(before);
  for (int16_t& v : want) v = static_cast<int16_t>((v * 85) >> 7);
  EXPECT_EQ(std::vector<int16_t>(diff, diff + panel.mutual()), want);
  rec->ubWhiteNoiseResult = 0;
}

}  // namespace
