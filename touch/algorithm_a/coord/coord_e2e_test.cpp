// End to end through the touch host with the production plug-in (no scripted coordinates):
// a reference, quiet frames until the power-on reference is built, then frames whose diff
// carries finger blobs; the points the host receives come from the module's own pairing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cfg_blob_builder_test.h"
#include "decoded_frame_bytes_test.h"
#include "ferrant_host_start_test.h"
#include "platform/temp_root.h"
#include "touch_host/host.h"
#include "tsa_module_test_util.h"

namespace {

using fxtest::Bytes;

const std::string kPlugin = std::string(VENDOR_PLUGIN_DIR) + "/libtapsense_alg_ferrant.so";

constexpr uint8_t kDrv = 16;
constexpr uint8_t kSen = 30;

struct Blob {
  double r, c;  // centre in nodes
  int16_t peak;
};

// Panel: touch threshold 100, second level 120, at most 10 points; pairing: HOLD frames of
// leave hold, report delay DELAY; FP and EDGE, when not empty, are the fingerprint and edge
// rejection sections.
Bytes ConfigBlob(uint8_t hold, uint8_t delay, const Bytes& fp = {}, const Bytes& edge = {}) {
  Bytes time(32, 0);
  cfgtest::PutU16(time, 3, 5000);
  Bytes panel(38, 0);
  cfgtest::PutU16(panel, 0, 1080);
  cfgtest::PutU16(panel, 2, 2400);
  cfgtest::PutU16(panel, 4, 100);
  cfgtest::PutU16(panel, 6, 120);
  panel[20] = 10;
  Bytes pair(46, 0);
  pair[6] = hold;
  pair[7] = delay;
  std::vector<Bytes> sections = {cfgtest::Section(8, panel), cfgtest::Section(32, time), cfgtest::Section(31, {0, 4}),
                                 cfgtest::Section(100, pair)};
  if (!fp.empty()) sections.push_back(cfgtest::Section(41, fp));
  if (!edge.empty()) sections.push_back(cfgtest::Section(50, edge));
  return cfgtest::BuildBlob({.sections = sections});
}

class CoordEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override { root_ = std::make_unique<platform::testing::TempRoot>(); }

  void Start(uint8_t hold, uint8_t delay, const Bytes& fp = {}, const Bytes& edge = {}) {
    host_ = fxtest::StartFerrantHost(*root_, kPlugin, ConfigBlob(hold, delay, fp, edge), kDrv, kSen);
    ASSERT_NE(host_, nullptr);
    frames_ = std::make_unique<fxtest::FingerFrames>(kDrv, kSen, 4);
    Send(0x01);  // the reference
    // Quiet frames until the power-on reference is built and frames are reported.
    for (int i = 0; i < 12 && !reported_; ++i) Send(0x00);
    ASSERT_TRUE(reported_) << "the module never started reporting";
  }
  void Send(uint8_t flags) {
    host_->clear_record();
    DecodedFrame f = frames_->Next(flags, index_++);
    ASSERT_EQ(host_->process_frame(&f), touch_host::HostStatus::kOk);
    const touch_host::HostRecord r = host_->snapshot();
    for (uint8_t st : r.fingerprint_states) fp_states_.push_back(st);
    last_.clear();
    if (!r.reports.empty()) {
      reported_ = true;
      for (const AlgTouchPoint& p : r.reports.back().points) last_[p.id] = p;
    }
  }
  // One frame carrying BLOBS (cones around fractional centres); the points reported, by id.
  std::map<int, AlgTouchPoint> Touch(const std::vector<Blob>& blobs) {
    std::vector<int16_t> d(static_cast<size_t>(kDrv) * kSen, 0);
    for (const Blob& b : blobs) {
      for (int y = 0; y < kDrv; ++y) {
        for (int x = 0; x < kSen; ++x) {
          const int v = static_cast<int>(b.peak * (1.0 - std::hypot(y - b.r, x - b.c) / 1.6));
          if (v > d[static_cast<size_t>(y) * kSen + x]) d[static_cast<size_t>(y) * kSen + x] = static_cast<int16_t>(v);
        }
      }
    }
    frames_->SetTouch(d);
    Send(0x00);
    return last_;
  }

  std::unique_ptr<platform::testing::TempRoot> root_;
  std::unique_ptr<touch_host::TouchHost> host_;
  std::unique_ptr<fxtest::FingerFrames> frames_;
  std::map<int, AlgTouchPoint> last_;
  std::vector<uint8_t> fp_states_;  // fingerprint states handed to the host, in order
  bool reported_ = false;
  uint16_t index_ = 2;
};

TEST_F(CoordEndToEnd, BlobMovingAnEighthNodePerFrameKeepsIdZeroAfterTheReportDelay) {
  Start(/*hold=*/2, /*delay=*/2);
  std::vector<int32_t> xs;
  for (int f = 0; f < 30; ++f) {
    const auto pts = Touch({{7, 5 + f / 8.0, 500}});
    if (f == 0) {
      EXPECT_TRUE(pts.empty()) << "a report delay of 2 holds the first frame back";
      continue;
    }
    ASSERT_EQ(pts.size(), 1u) << f;
    ASSERT_EQ(pts.begin()->first, 0) << f;
    EXPECT_EQ(pts.at(0).action, f == 1 ? ALG_TOUCH_ACTION_DOWN : ALG_TOUCH_ACTION_MOVE) << f;
    xs.push_back(pts.at(0).x);
  }
  // Node coordinates (no transform stage yet): the centre of node c is 512 c + 256.
  EXPECT_NEAR(xs.front(), (5 + 1 / 8.0) * 512 + 256, 48);
  // 64 units (an eighth of a node) per frame; the cone's sampling lets single steps vary.
  for (size_t i = 1; i < xs.size(); ++i) {
    EXPECT_GT(xs[i], xs[i - 1]) << i;
    EXPECT_NEAR(xs[i] - xs[i - 1], 64, 24) << i;
  }
  EXPECT_NEAR(xs.back() - xs.front(), 64 * static_cast<int>(xs.size() - 1), 40);
}

TEST_F(CoordEndToEnd, LiftIsHeldTheConfiguredFramesThenGoesUp) {
  Start(/*hold=*/4, /*delay=*/0);
  Touch({{7, 10, 500}});
  const AlgTouchPoint last = Touch({{7, 10.25, 500}}).at(0);
  for (int f = 0; f < 3; ++f) {
    const auto pts = Touch({});
    ASSERT_EQ(pts.size(), 1u) << "held frame " << f;
    EXPECT_EQ(pts.at(0).action, ALG_TOUCH_ACTION_MOVE) << f;
    EXPECT_EQ(pts.at(0).x, last.x) << f;
    EXPECT_EQ(pts.at(0).y, last.y) << f;
  }
  const auto up = Touch({});
  ASSERT_EQ(up.size(), 1u);
  EXPECT_EQ(up.at(0).action, ALG_TOUCH_ACTION_UP);
  EXPECT_TRUE(Touch({}).empty());
}

TEST_F(CoordEndToEnd, TwoCrossingFingersKeepTheirIds) {
  Start(/*hold=*/2, /*delay=*/0);
  for (int f = 0; f <= 40; ++f) {
    const double a = 4 + f * 0.5, b = 24 - f * 0.5;  // they pass each other at frame 20
    const auto pts = Touch({{4, a, 500}, {10, b, 500}});
    ASSERT_EQ(pts.size(), 2u) << f;
    ASSERT_EQ(pts.count(0), 1u) << f;
    ASSERT_EQ(pts.count(1), 1u) << f;
    EXPECT_LT(pts.at(0).y, pts.at(1).y) << "id 0 stays the upper finger, frame " << f;
    EXPECT_NEAR(pts.at(0).x, a * 512 + 256, 96) << f;
    EXPECT_NEAR(pts.at(1).x, b * 512 + 256, 96) << f;
  }
}

// Fingerprint area around node column 15, row 7 (points in node units: X 7500..8400,
// Y 3400..4300): judgement on, movement limit 100 per frame.
Bytes FingerprintSection() {
  Bytes fp(22, 0);
  fp[0] = 0x01;
  cfgtest::PutU16(fp, 1, 4000);  // x 30 sense nodes x 512 / 16 drive lines, in 512ths
  cfgtest::PutU16(fp, 3, 4480);
  cfgtest::PutU16(fp, 5, 6375);  // x 16 drive nodes x 512 / 30 sense lines
  cfgtest::PutU16(fp, 7, 8063);
  cfgtest::PutU16(fp, 13, 100);
  return fp;
}

TEST_F(CoordEndToEnd, StillPressOnTheFingerprintAreaIsReportedAndEndsWithTheLift) {
  Start(/*hold=*/0, /*delay=*/0, FingerprintSection());
  fp_states_.clear();
  for (int f = 0; f < 4; ++f) Touch({{7, 15, 500}});
  ASSERT_FALSE(fp_states_.empty()) << "a still press on the area";
  EXPECT_EQ(fp_states_.back(), 1);
  for (int f = 0; f < 3; ++f) Touch({});
  EXPECT_EQ(fp_states_.back(), 0) << "the lift ends the press";
}

TEST_F(CoordEndToEnd, TouchesBesideOrSlidingOntoTheFingerprintAreaAreNoPress) {
  Start(/*hold=*/0, /*delay=*/0, FingerprintSection());
  fp_states_.clear();
  for (int f = 0; f < 4; ++f) Touch({{7, 4, 500}});  // far from the area
  for (int f = 0; f < 3; ++f) Touch({});
  // From column 9 (outside the enlarged area) onto the area in half-node steps.
  std::map<int, AlgTouchPoint> pts;
  for (int f = 0; f <= 16; ++f) pts = Touch({{7, 9 + std::min(f, 12) * 0.5, 500}});
  ASSERT_EQ(pts.size(), 1u);
  EXPECT_NEAR(pts.begin()->second.x, 15 * 512 + 256, 128) << "the finger rests on the area";
  for (uint8_t st : fp_states_) EXPECT_EQ(st, 0);
}

// Edge rejection in portrait on all four sides: a node counts on an edge line above 50,
// thick-edge count 4, large rectangles from 8 nodes, slide unit 4 (a young touch slides
// past 512); DEAD is the dead-strip width of the Y sides in 8-unit steps.
Bytes EdgeSection(uint8_t dead) {
  Bytes e(80, 0);
  e[0] = 0x01;
  e[1] = 0x0F;
  e[2] = 50;
  e[4] = 0x04;
  e[5] = dead;
  e[58] = 4;
  e[59] = 8;
  return e;
}

TEST_F(CoordEndToEnd, TouchDownNearTheBorderWaitsForItsAnchorWhileOneInTheMiddleIsReportedAtOnce) {
  Start(/*hold=*/0, /*delay=*/0, {}, EdgeSection(0));
  // Touch-down about 870 units from the X-low border: no anchor yet, so not reported.
  EXPECT_TRUE(Touch({{7, 1.2, 500}}).empty());
  for (int f = 0; f < 3; ++f) Touch({});
  // The same touch in the middle of the panel is reported from its first frame.
  const auto pts = Touch({{7, 15, 500}});
  ASSERT_EQ(pts.size(), 1u);
  EXPECT_NEAR(pts.begin()->second.x, 15 * 512 + 256, 96);
  EXPECT_NEAR(pts.begin()->second.y, 7 * 512 + 256, 96);
}

TEST_F(CoordEndToEnd, TouchInTheDeadStripIsHeldBackUntilItSlidesThenFollowsTheFinger) {
  Start(/*hold=*/0, /*delay=*/0, {}, EdgeSection(/*dead=*/100));  // 800 units along each Y side
  // A still touch on the Y-low border row, inside the dead strip.
  for (int f = 0; f < 6; ++f) EXPECT_TRUE(Touch({{0.3, 15, 500}}).empty()) << "still, frame " << f;
  // Sliding along the border: suppressed within the slide limit, released beyond it.
  std::map<int, AlgTouchPoint> pts;
  int released_at = -1;
  for (int f = 1; f <= 12 && released_at < 0; ++f) {
    pts = Touch({{0.3, 15 + f * 0.25, 500}});
    if (!pts.empty()) released_at = f;
  }
  ASSERT_GT(released_at, 0) << "the slide never released the touch";
  EXPECT_GT(released_at * 0.25 * 512, 512) << "released before it slid past the limit";
  const double col = 15 + released_at * 0.25;
  EXPECT_NEAR(pts.begin()->second.x, col * 512 + 256, 160);
  // Once released the touch is reported while it stays, and follows it when it moves.
  for (int f = 0; f < 3; ++f) EXPECT_EQ(Touch({{0.3, col, 500}}).size(), 1u) << f;
  const auto moved = Touch({{0.3, col + 2, 500}});
  ASSERT_EQ(moved.size(), 1u);
  EXPECT_GT(moved.begin()->second.x, pts.begin()->second.x + 512);
}

}  // namespace

