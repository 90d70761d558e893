// End to end: the plug-in loaded through the touch host with the road's configuration of the
// benchmarks (hopping, LCD denoise, the low-temperature stage and waterproof processing on),
// on the benchmark's two panels. One finger slides near the top left while a wet patch with
// two droplets spreads over the lower right (the benchmark's wet-panel frames).
//
// The droplets are small weak regions: while the panel is negative-dominant the wet-area
// removal takes them at the plain low level, before any wet level has built up, and the
// large wet state follows once the level is up. The negative-dominant test, once a finger
// has been down for 50 frames (the finger sum saturates), holds only while exactly one
// finger has been reported for six frames and more than one region is left; with the
// droplets already kept out only the finger's region is left, so the test fails and the wet
// state is cleared and builds up again. On the large panel the test already fails at
// frame 39, before the finger sum is full, and the water is reported beside the finger from
// then on. The union road cannot take over while the finger is down
// (its entry needs the frame's largest diff below the touch level and a finger sum below
// 50), so the water network is never asked. The wet-area removal keeps the finger in every
// frame, also where it lies between two nodes.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "decoded_frame_bytes_test.h"
#include "ferrant_host_start_test.h"
#include "ferrant_script_hook_test.h"
#include "platform/temp_root.h"
#include "region_records.h"
#include "region_water.h"
#include "touch_host/ferrant_road.h"
#include "touch_host/host.h"

namespace {

namespace road = touch_host::testsupport::ferrant_road;

const std::string kPlugin = std::string(VENDOR_PLUGIN_DIR) + "/libtapsense_alg_ferrant_scripted.so";
constexpr int kCycle = 64;       // frames of the finger's back-and-forth
constexpr int32_t kScreenY = 2400;  // the road configuration's screen height

// What one frame left: the points in contact (down or moving) of its report and of them those
// on the lower half of the screen (the water's half), the region count and the water state.
struct FrameResult {
  int contacts = 0;
  int lower = 0;
  int regions = 0;
  WaterModuleState water;
};

class WetPanel {
 public:
  explicit WetPanel(road::Panel panel) : panel_(panel), frames_(panel.drive, panel.sense, road::kFrequencies) {
    road::AlgConfig config;
    config.touch_threshold = 100;
    config.second_threshold = 120;
    config.panel = panel;
    config.sections = {road::hopping_allowed_section(), road::hopping_section(), road::lcd_denoise_section(panel.sense),
                       road::low_temp_section(-5), road::waterproof_section()};
    host_ = fxtest::StartFerrantHost(root_, kPlugin, road::alg_config_blob(config), panel.drive, panel.sense);
    if (host_ == nullptr) return;
    water_ = reinterpret_cast<FerxTestWaterFn>(host_->alg_symbol(FERX_TEST_WATER_SYMBOL));
    regions_ = reinterpret_cast<FerxTestRegionsFn>(host_->alg_symbol(FERX_TEST_REGIONS_SYMBOL));
    const std::vector<int16_t> im = road::im_rows(panel, -1, -1);
    frames_.SetIm(std::vector<uint16_t>(im.begin(), im.end()));
    // The reference, then idle frames up to the first report, as the benchmark starts.
    for (int i = 0; i < 16; ++i) {
      DecodedFrame f = frames_.Next(i == 0 ? road::kReferenceFrame : 0x00, index_++);
      EXPECT_EQ(host_->process_frame(&f), touch_host::HostStatus::kOk);
      if (i > 0 && !host_->snapshot().reports.empty()) break;
    }
  }
  bool ready() const { return host_ != nullptr && water_ != nullptr && regions_ != nullptr; }

  // Frame N of the scenario; without FINGER the finger is off the panel for this frame.
  FrameResult Frame(int n, bool finger = true) {
    const int f = n % kCycle;
    const double shift = (f < kCycle / 2 ? f : kCycle - f) / 8.0;
    std::vector<road::Finger> fingers;
    if (finger) fingers.push_back({3, 3 + shift, 500});
    std::vector<int16_t> d = road::diff_with_fingers(fingers, panel_.drive, panel_.sense);
    road::add_wet_patch(d, panel_, f);
    frames_.SetTouch(d);
    host_->clear_record();
    DecodedFrame frame = frames_.Next(0x00, index_++);
    EXPECT_EQ(host_->process_frame(&frame), touch_host::HostStatus::kOk);
    FrameResult r;
    const touch_host::HostRecord rec = host_->snapshot();
    if (!rec.reports.empty())
      for (const AlgTouchPoint& p : rec.reports.back().points) {
        if (p.action == ALG_TOUCH_ACTION_UP) continue;
        ++r.contacts;
        r.lower += p.y >= kScreenY / 2 ? 1 : 0;
      }
    MutualRegionSet s;
    std::memcpy(&s, regions_(nullptr), sizeof(s));
    r.regions = s.ubRegionNum;
    std::memcpy(&r.water, water_(), sizeof(r.water));
    return r;
  }

 private:
  road::Panel panel_;
  platform::testing::TempRoot root_;
  std::unique_ptr<touch_host::TouchHost> host_;
  fxtest::FingerFrames frames_;
  FerxTestWaterFn water_ = nullptr;
  FerxTestRegionsFn regions_ = nullptr;
  uint16_t index_ = 2;
};

// On the 52 x 56 panel the droplets are small weak regions: the wet-area removal takes them
// at the plain low level from the first negative-dominant frame, before the wet level has
// built up; the large wet state follows at level 4 (frame 7) and holds until the panel is
// no longer negative-dominant (frame 39). From then on water is
// reported beside the finger: a droplet, and late in the cycle parts of the patch as well.
TEST(WetPanelEndToEnd, OnTheLargePanelTheDropletsAreRemovedUntilThePanelIsNoLongerNegativeDominant) {
  WetPanel run({52, 56});
  ASSERT_TRUE(run.ready());
  int n = 0;
  for (; n < 39; ++n) {
    const FrameResult r = run.Frame(n);
    EXPECT_EQ(r.contacts, 1) << n;
    EXPECT_EQ(r.lower, 0) << n;
    EXPECT_EQ(r.regions, 1) << n;
    EXPECT_EQ(int(r.water.WaterLargeSta), n >= 7 ? 1 : 0) << n;
  }
  FrameResult r = run.Frame(n++);
  EXPECT_EQ(r.contacts, 1);
  EXPECT_EQ(int(r.water.WaterLargeSta), 0);
  EXPECT_EQ(int(r.water.WaterWetLevel), 0);
  for (; n < 2 * kCycle; ++n) {
    r = run.Frame(n);
    EXPECT_GE(r.lower, 1) << n;
    EXPECT_EQ(r.contacts - r.lower, 1) << "the finger " << n;
    EXPECT_EQ(int(r.water.WaterLargeSta), 0) << n;
  }
}

// On the 32 x 18 panel (32 drive lines: beyond the network's 20 as well) the finger is
// weaker after the LCD denoise; its top nodes still rise above the doubled low level, so the
// wet-area removal keeps it in every frame, while the droplets stay small weak regions that
// it takes at the plain low level. Once the held finger fills the finger sum (frame 50) the
// negative-dominant test fails with one finger alone, the wet state is cleared and builds up
// again, and the water is still never reported.
TEST(WetPanelEndToEnd, OnTheSmallPanelTheFingerIsKeptAndTheDropletsRemovedInEveryFrame) {
  WetPanel run({32, 18});
  ASSERT_TRUE(run.ready());
  for (int n = 0; n < 2 * kCycle; ++n) {
    const FrameResult r = run.Frame(n);
    EXPECT_EQ(r.contacts, 1) << n;
    EXPECT_EQ(r.lower, 0) << n;
    EXPECT_EQ(r.regions, 1) << n;
    if (n < 50) {
      EXPECT_EQ(int(r.water.WaterLargeSta), n >= 7 ? 1 : 0) << n;
    } else if (n == 50) {
      EXPECT_EQ(int(r.water.WaterFingerSum), 50);
      EXPECT_EQ(int(r.water.WaterLargeSta), 0) << "the wet state is cleared";
      EXPECT_EQ(int(r.water.WaterWetLevel), 0);
    }
  }
}

}  // namespace
