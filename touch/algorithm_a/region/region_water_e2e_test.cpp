// End to end: the plug-in loaded through the touch host with the road's configuration of the
// benchmarks (hopping, LCD denoise, the low-temperature stage and waterproof processing on),
// on the benchmark's two panels. One finger slides near the top left while a wet patch with
// two droplets spreads over the lower right (the benchmark's wet-panel frames).
//
// Waterproof processing removes the droplets while its wet level is up. That level lives on
// the negative-dominant test, which, once a finger has been down for 50 frames (the finger
// sum saturates), holds only while exactly one finger has been reported for six frames and
// more than one region is left. With the droplets already kept out of the region set only
// the finger's region is left: the test fails, the wet level and the large wet state are
// cleared, the droplets come back as regions and are reported, and with two points reported
// the test keeps failing. The union road cannot take over while the finger is down (its entry
// needs the frame's largest diff below the touch level and a finger sum below 50), so the
// water network is never asked, whatever the panel's size. The wet-area removal keeps the
// finger in every frame, also where it lies between two nodes, so all of this happens alike
// on both panels.
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

// The scenario on PANEL: the finger is reported in every frame; the droplets are reported
// until the wet level keeps them out (frame 8), come back once the held finger fills the
// finger sum (frame 34) and stay. LOWER_LATE checks the points on the water's half from then on.
template <typename LowerCheck>
void DropletsGetThroughOnceTheHeldFingerFillsTheFingerSum(road::Panel panel, LowerCheck lower_late) {
  WetPanel run(panel);
  ASSERT_TRUE(run.ready());
  // The wet level climbs while the droplets are still reported, a point each (they lie 3
  // nodes apart, and no finger of the last frame spans both); from frame 8 the large wet
  // state keeps them out and only the finger is reported.
  int n = 0;
  for (; n < 8; ++n) {
    const FrameResult r = run.Frame(n);
    EXPECT_EQ(r.lower, 2) << n;
    EXPECT_EQ(r.contacts - r.lower, 1) << "the finger " << n;
    EXPECT_EQ(int(r.water.WaterLargeSta), 0) << n;
  }
  for (; n < 34; ++n) {
    const FrameResult r = run.Frame(n);
    EXPECT_EQ(r.contacts, 1) << n;
    EXPECT_EQ(r.lower, 0) << n;
    EXPECT_EQ(r.regions, 1) << n;
    EXPECT_EQ(int(r.water.WaterLargeSta), 1) << n;
    EXPECT_LT(int(r.water.WaterFingerSum), 50) << n;
  }
  // The finger sum reaches 50 with the finger's region alone: the negative-dominant test
  // fails and clears the wet state.
  FrameResult r = run.Frame(n++);
  EXPECT_EQ(r.contacts, 1);
  EXPECT_EQ(int(r.water.WaterFingerSum), 50);
  EXPECT_EQ(int(r.water.WaterOneFingerCnt), 10);
  EXPECT_EQ(r.regions, 1);
  EXPECT_EQ(int(r.water.WaterLargeSta), 0);
  EXPECT_EQ(int(r.water.WaterWetLevel), 0);
  r = run.Frame(n++);
  EXPECT_EQ(r.contacts - r.lower, 1) << "the finger " << n - 1;
  // From then on water is reported beside the finger in every frame, and with two or more
  // points reported the wet state never comes back; no union is followed, so the network is
  // never asked.
  for (; n < 2 * kCycle; ++n) {
    r = run.Frame(n);
    lower_late(r, n);
    EXPECT_EQ(r.contacts - r.lower, 1) << "the finger " << n;
    // The module's finger count is the point count of the report before.
    if (n > 36) {
      EXPECT_EQ(int(r.water.WaterOneFingerCnt), 0) << n;
    }
    EXPECT_EQ(int(r.water.WaterLargeSta), 0) << n;
    EXPECT_EQ(int(r.water.WaterWetLevel), 0) << n;
    EXPECT_EQ(int(r.water.WaterTouchGate), 0) << n;
    EXPECT_EQ(int(r.water.WaterEntrySeen), 0) << n;
    for (const WaterUnion& u : r.water.astUnion) EXPECT_EQ(int(u.label), int(kWaterUnionFree)) << n;
    EXPECT_EQ(int(r.water.gboCurRunDl), 0) << n;
  }
}

TEST(WetPanelEndToEnd, OnTheLargePanelTheDropletsGetThroughOnceTheHeldFingerFillsTheFingerSum) {
  // A droplet, and late in the cycle, when the patch has spread, parts of the patch as well.
  DropletsGetThroughOnceTheHeldFingerFillsTheFingerSum({52, 56}, [](const FrameResult& r, int n) {
    EXPECT_GE(r.lower, 1) << n;
  });
}

// On the 32 x 18 panel (32 drive lines: beyond the network's 20 as well) the finger is
// weaker after the LCD denoise. Every eighth frame it lies halfway between two columns, and
// its neighbourhood value (198 on both top nodes) stays below the doubled low level; the
// wet-area removal still keeps it, as its top nodes (335) rise above that level. So the
// finger sum fills as on the large panel. Once the droplets are back there are three
// regions (the finger and the two droplets) and a point for each droplet on the water's half.
TEST(WetPanelEndToEnd, OnTheSmallPanelTheFingerIsKeptEveryFrameAndTheDropletsGetThroughOnceTheSumFills) {
  DropletsGetThroughOnceTheHeldFingerFillsTheFingerSum({32, 18}, [](const FrameResult& r, int n) {
    EXPECT_EQ(r.lower, 2) << n;
    EXPECT_EQ(r.regions, 3) << n;
  });
}

}  // namespace
