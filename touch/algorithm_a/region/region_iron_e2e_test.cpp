// End to end: the plug-in loaded through the touch host, a power-on reference taken, then a
// metal cover laid over the panel. Iron-cover detection asks for a reference rebuild, which
// the reference update carries out in the next frame; the raw and reference maps are read
// back through the module's watch list.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "cfg_blob_builder_test.h"
#include "decoded_frame_bytes_test.h"
#include "ferrant_host_start_test.h"
#include "ferrant_script_hook_test.h"
#include "platform/temp_root.h"
#include "touch_host/host.h"
#include "tsa_module_test_util.h"

namespace {

using fxtest::Bytes;

const std::string kScriptedPlugin = std::string(VENDOR_PLUGIN_DIR) + "/libtapsense_alg_ferrant_scripted.so";

constexpr uint8_t kDrv = 8;
constexpr uint8_t kSen = 12;
constexpr uint32_t kNodes = kDrv * kSen;

// The module's clock: the test moves it on by 150 ms before every frame, so that every
// second frame carries a 100-millisecond tick.
uint64_t gNowUs = 1000000;
uint64_t TestClock() { return gNowUs; }

using GetWatchDataFn = uint32_t (*)(uint32_t, uint8_t*, uint32_t);

// Panel: leave threshold 100 (bytes 4-5), touch level 120 (bytes 6-7); IRON sets byte 0 bit
// 3 of the large-touch section, which enables iron-cover detection.
Bytes Blob(bool iron) {
  Bytes time = cfgtest::TimeSection();
  Bytes panel = cfgtest::PanelSection(1080, 2400);
  Bytes large(26, 0);
  large[0] = iron ? 0x08 : 0x00;
  return cfgtest::BuildBlob({.sections = {cfgtest::Section(8, panel), cfgtest::Section(32, time),
                                          cfgtest::Section(31, {0, 4}), cfgtest::Section(95, large)}});
}

class IronCoverEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override { root_ = std::make_unique<platform::testing::TempRoot>(); }

  void Start(bool iron) {
    host_ = fxtest::StartFerrantHost(*root_, kScriptedPlugin, Blob(iron), kDrv, kSen);
    ASSERT_NE(host_, nullptr);
    auto bind = reinterpret_cast<FerxTestBindClockFn>(host_->alg_symbol(FERX_TEST_BIND_CLOCK_SYMBOL));
    ASSERT_NE(bind, nullptr);
    bind(TestClock);
    watch_ = reinterpret_cast<GetWatchDataFn>(host_->alg_symbol("GetWatchData"));
    ASSERT_NE(watch_, nullptr);
    frames_ = std::make_unique<fxtest::FingerFrames>(kDrv, kSen, 4);
    frames_->SetIm(std::vector<uint16_t>(4 * kSen, 100));
    Frame(0x01);
    // The power-on reference is taken on the fourth frame after the reference frame.
    for (int i = 0; i < 4; ++i) Frame();
    ASSERT_EQ(Map(2), Map(1)) << "the power-on reference stands";
  }
  void TearDown() override {
    if (host_ != nullptr) {
      auto bind = reinterpret_cast<FerxTestBindClockFn>(host_->alg_symbol(FERX_TEST_BIND_CLOCK_SYMBOL));
      if (bind != nullptr) bind(nullptr);
    }
  }
  void Frame(uint8_t flags = 0x00) {
    gNowUs += 150000;
    DecodedFrame f = frames_->Next(flags, index_++);
    ASSERT_EQ(host_->process_frame(&f), touch_host::HostStatus::kOk);
  }
  // Watch entries 1 and 2: the raw map and the reference.
  std::vector<uint16_t> Map(uint32_t entry) {
    std::vector<uint16_t> v(kNodes);
    watch_(entry, reinterpret_cast<uint8_t*>(v.data()), kNodes * 2);
    return v;
  }
  // Frames with the cover on until the reference is rebuilt onto the covered raw map
  // (0: not within LIMIT frames).
  int FramesToRebuild(int limit) {
    for (int f = 1; f <= limit; ++f) {
      Frame();
      if (Map(2) == Map(1)) return f;
      EXPECT_EQ(frames_->Mutual()[0], 60) << "frame " << f << ": the cover shows in the difference";
    }
    return 0;
  }

  std::unique_ptr<platform::testing::TempRoot> root_;
  std::unique_ptr<touch_host::TouchHost> host_;
  std::unique_ptr<fxtest::FingerFrames> frames_;
  GetWatchDataFn watch_ = nullptr;
  uint16_t index_ = 2;
};

TEST_F(IronCoverEndToEnd, ACoverOverThePanelRebuildsTheReference) {
  Start(true);
  // Moderate signal on every node (60: above a quarter of the leave threshold, below the
  // touch level, corners above half the leave threshold): no region, but a cover.
  frames_->SetTouch(std::vector<int16_t>(kNodes, 60));
  // Arming takes at most three 16-frame windows (the detection arms from the average of the
  // last full window), then 16 ticks of evidence at one tick every second frame.
  const int rebuilt = FramesToRebuild(120);
  ASSERT_GT(rebuilt, 0) << "no rebuild";
  EXPECT_GE(rebuilt, 16 + 1 + 32);
  EXPECT_LE(rebuilt, 3 * 17 + 32 + 1);
  Frame();
  EXPECT_EQ(frames_->Mutual(), std::vector<int16_t>(kNodes, 0)) << "the cover is part of the reference now";
}

TEST_F(IronCoverEndToEnd, WithTheDetectionOffTheCoverStaysInTheDifference) {
  Start(false);
  frames_->SetTouch(std::vector<int16_t>(kNodes, 60));
  EXPECT_EQ(FramesToRebuild(120), 0);
}

// A faint cover (frame value 10: ten moderate nodes, one of them a corner) stays below the
// window limit of 15 that initialisation sets, and never arms the detection.
TEST_F(IronCoverEndToEnd, AFaintCoverBelowTheLimitDoesNotRebuild) {
  Start(true);
  std::vector<int16_t> d(kNodes, 0);
  for (int i = 0; i < 10; ++i) d[i] = 60;
  frames_->SetTouch(d);
  for (int f = 0; f < 120; ++f) {
    Frame();
    ASSERT_NE(Map(2), Map(1)) << "frame " << f;
  }
}

}  // namespace
