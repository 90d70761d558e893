// End to end through the touch host with the production plug-in (no scripted coordinates):
// a reference, quiet frames until the power-on reference is built, then frames whose diff
// carries finger blobs; the points the host receives come from the module's own pairing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <numbers>
#include <string>
#include <utility>
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

// The panel's coordinate extents (512 per node) and a screen of an eighth of them: the
// transform stages report points in screen units.
constexpr uint16_t kExtentX = kSen * 512;
constexpr uint16_t kExtentY = kDrv * 512;
struct Screen {
  uint16_t x, y;
};
constexpr Screen kEighth = {kExtentX / 8, kExtentY / 8};
constexpr Screen kNodeUnits = {kExtentX, kExtentY};

// Coordinate optimisation: an identity edge map (divisor and every slope 1), smoothing that
// keeps the blended position (factor 16), base and minimum hold thresholds THRESHOLD and
// first-coordinate smoothing when FIRSTSMOOTH is set.
Bytes OptimiseSection(uint8_t threshold = 0, bool firstSmooth = false) {
  Bytes o(26, 1);
  o[13] = firstSmooth ? 0x02 : 0x00;
  cfgtest::PutU16(o, 14, threshold);
  o[16] = threshold;
  o[17] = 0;
  o[18] = 0;
  cfgtest::PutU16(o, 19, 0);
  o[21] = 0;
  o[22] = 16;
  o[24] = 0;
  o[25] = 0;
  return o;
}

struct HostSetup {
  uint8_t hold = 0;
  uint8_t delay = 0;
  uint16_t mergeDistance = 0;  // squared quarter nodes below which a slot's pieces merge
  Bytes fp = {};
  Bytes edge = {};
  Screen screen = kEighth;
  Bytes optimise = OptimiseSection();
};

// Panel: touch threshold 100, second level 120, at most 10 points, the screen resolution;
// pairing: HOLD frames of leave hold, report delay DELAY; FP and EDGE, when not empty, are the
// fingerprint and edge rejection sections.
Bytes ConfigBlob(const HostSetup& st) {
  Bytes time = cfgtest::TimeSection();
  Bytes panel = cfgtest::PanelSection(st.screen.x, st.screen.y);
  Bytes pair(46, 0);
  cfgtest::PutU16(pair, 0, st.mergeDistance);
  pair[6] = st.hold;
  pair[7] = st.delay;
  std::vector<Bytes> sections = {cfgtest::Section(8, panel), cfgtest::Section(32, time), cfgtest::Section(31, {0, 4}),
                                 cfgtest::Section(100, pair), cfgtest::Section(97, st.optimise)};
  if (!st.fp.empty()) sections.push_back(cfgtest::Section(41, st.fp));
  if (!st.edge.empty()) sections.push_back(cfgtest::Section(50, st.edge));
  return cfgtest::BuildBlob({.sections = sections});
}

class CoordEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override { root_ = std::make_unique<platform::testing::TempRoot>(); }

  void Start(uint8_t hold, uint8_t delay, const Bytes& fp = {}) {
    HostSetup st;
    st.hold = hold;
    st.delay = delay;
    st.fp = fp;
    Start(st);
  }
  void Start(const HostSetup& st) {
    screen_ = st.screen;
    host_ = fxtest::StartFerrantHost(*root_, kPlugin, ConfigBlob(st), kDrv, kSen);
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
  std::map<int, AlgTouchPoint> Touch(const std::vector<Blob>& blobs) { return TouchMap(ConeMap(blobs)); }
  // One frame whose diff is D (one value per node, row by row); the points reported, by id.
  std::map<int, AlgTouchPoint> TouchMap(const std::vector<int16_t>& d) {
    frames_->SetTouch(d);
    Send(0x00);
    return last_;
  }
  // The diff of BLOBS: where cones overlap, the stronger one holds.
  static std::vector<int16_t> ConeMap(const std::vector<Blob>& blobs) {
    std::vector<int16_t> d(static_cast<size_t>(kDrv) * kSen, 0);
    for (const Blob& b : blobs) {
      for (int y = 0; y < kDrv; ++y) {
        for (int x = 0; x < kSen; ++x) {
          const int v = static_cast<int>(b.peak * (1.0 - std::hypot(y - b.r, x - b.c) / 1.6));
          if (v > d[static_cast<size_t>(y) * kSen + x]) d[static_cast<size_t>(y) * kSen + x] = static_cast<int16_t>(v);
        }
      }
    }
    return d;
  }

  // A position along the columns / rows in nodes, in the screen units points come out in.
  double ScreenX(double nodes) const { return (nodes * 512 + 256) * screen_.x / kExtentX; }
  double ScreenY(double nodes) const { return (nodes * 512 + 256) * screen_.y / kExtentY; }

  Screen screen_ = kEighth;
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
  // Screen units, an eighth of the node coordinates (the centre of node c is 512 c + 256).
  EXPECT_NEAR(xs.front(), ScreenX(5 + 1 / 8.0), 6);
  // 64 node units (8 on the screen) per frame. The reported point is the mean of the last
  // three filtered positions, so the second and third reports make up the ramp and the
  // point then trails the finger by one frame; the cone's sampling lets single steps vary.
  for (size_t i = 1; i < xs.size(); ++i) {
    EXPECT_GE(xs[i], xs[i - 1]) << i;
    if (i >= 3) {
      EXPECT_NEAR(xs[i] - xs[i - 1], 8, 3) << i;
    }
  }
  EXPECT_NEAR(xs.back(), ScreenX(5 + 28 / 8.0), 6) << "one frame behind the last position";
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
    // Half a node per frame; the point trails the finger by at most one frame.
    const double a0 = std::max(4.0, a - 0.5), b0 = std::min(24.0, b + 0.5);
    EXPECT_GE(pts.at(0).x, ScreenX(a0) - 12) << f;
    EXPECT_LE(pts.at(0).x, ScreenX(a) + 12) << f;
    EXPECT_LE(pts.at(1).x, ScreenX(b0) + 12) << f;
    EXPECT_GE(pts.at(1).x, ScreenX(b) - 12) << f;
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

// The fingerprint area is kept in the panel's coordinate extents, so these tests use a
// screen of the same resolution.
HostSetup FingerprintSetup() {
  HostSetup st;
  st.fp = FingerprintSection();
  st.screen = kNodeUnits;
  return st;
}

TEST_F(CoordEndToEnd, StillPressOnTheFingerprintAreaIsReportedAndEndsWithTheLift) {
  Start(FingerprintSetup());
  fp_states_.clear();
  for (int f = 0; f < 4; ++f) Touch({{7, 15, 500}});
  ASSERT_FALSE(fp_states_.empty()) << "a still press on the area";
  EXPECT_EQ(fp_states_.back(), 1);
  for (int f = 0; f < 3; ++f) Touch({});
  EXPECT_EQ(fp_states_.back(), 0) << "the lift ends the press";
}

TEST_F(CoordEndToEnd, TouchesBesideOrSlidingOntoTheFingerprintAreaAreNoPress) {
  Start(FingerprintSetup());
  fp_states_.clear();
  for (int f = 0; f < 4; ++f) Touch({{7, 4, 500}});  // far from the area
  for (int f = 0; f < 3; ++f) Touch({});
  // From column 9 (outside the enlarged area) onto the area in half-node steps.
  std::map<int, AlgTouchPoint> pts;
  for (int f = 0; f <= 16; ++f) pts = Touch({{7, 9 + std::min(f, 12) * 0.5, 500}});
  ASSERT_EQ(pts.size(), 1u);
  EXPECT_NEAR(pts.begin()->second.x, ScreenX(15), 128) << "the finger rests on the area";
  for (uint8_t st : fp_states_) EXPECT_EQ(st, 0);
}

// Points in node units (an identity transform), with margins 0 and a hold threshold of
// THRESHOLD; FIRSTSMOOTH turns first-coordinate smoothing on.
HostSetup NodeUnitSetup(uint8_t threshold = 0, bool firstSmooth = false) {
  HostSetup st;
  st.screen = kNodeUnits;
  st.optimise = OptimiseSection(threshold, firstSmooth);
  return st;
}

TEST_F(CoordEndToEnd, SingleTouchJustBelowTheTopEdgeIsReportedOneHundredLower) {
  Start(NodeUnitSetup());
  // Row 1.35, column 8: about (4352, 947), inside the band X 4301..4499, Y 901..999.
  const Blob a{1.35, 8, 500};
  const Blob b{10, 24, 500};
  AlgTouchPoint single{}, pair{};
  for (int f = 0; f < 4; ++f) single = Touch({a}).at(0);
  for (int f = 0; f < 4; ++f) pair = Touch({a, b}).at(0);
  ASSERT_GE(pair.y, 901) << "the touch lies in the band";
  ASSERT_LE(pair.y, 999);
  ASSERT_GE(pair.x, 4301);
  ASSERT_LT(pair.x, 4500);
  EXPECT_EQ(single.x, pair.x);
  EXPECT_EQ(single.y, pair.y + 100) << "alone it is moved 100 down; beside another region it is not";
  for (int f = 0; f < 3; ++f) Touch({a});  // the second finger's lift is held, then goes
  const AlgTouchPoint again = Touch({a}).at(0);
  EXPECT_EQ(again.y, single.y) << "alone again";
}

TEST_F(CoordEndToEnd, HeldFingerStaysAtItsAnchorAndAMovedOneRestsTheThresholdShort) {
  Start(NodeUnitSetup(/*threshold=*/40));
  const AlgTouchPoint first = Touch({{7, 10, 500}}).at(0);
  EXPECT_NEAR(first.x, ScreenX(10), 8);
  // A sixteenth of a node of jitter stays within the threshold of 40: the point does not move.
  for (int f = 0; f < 8; ++f) {
    const AlgTouchPoint p = Touch({{7, f % 2 == 0 ? 10 + 1 / 16.0 : 10 - 1 / 16.0, 500}}).at(0);
    EXPECT_EQ(p.x, first.x) << f;
    EXPECT_EQ(p.y, first.y) << f;
  }
  // One node along X: the hold is left, and the finger at rest is reported 40 short of its
  // filtered position (a whole node, 512, further), on the line toward it.
  AlgTouchPoint p{};
  for (int f = 0; f < 6; ++f) p = Touch({{7, 11, 500}}).at(0);
  EXPECT_EQ(p.x, first.x + 512 - 40);
  EXPECT_EQ(p.y, first.y);
}

TEST_F(CoordEndToEnd, FirstMovementOfAHeldFingerIsSpreadOverItsAgeInFrames) {
  // The same touch twice, first-coordinate smoothing off and on: two frames still, then
  // one node along X. The start is at the point's third frame, so the smoothing lasts
  // 3 + 1 frames, each moving count / 4 of the way from the last report to the new one.
  auto run = [this](bool smooth) {
    reported_ = false;
    host_.reset();
    Start(NodeUnitSetup(/*threshold=*/40, smooth));
    std::vector<int32_t> xs;
    for (int f = 0; f < 2; ++f) xs.push_back(Touch({{7, 10, 500}}).at(0).x);
    for (int f = 0; f < 7; ++f) xs.push_back(Touch({{7, 11, 500}}).at(0).x);
    return xs;
  };
  const std::vector<int32_t> off = run(false);
  const std::vector<int32_t> on = run(true);
  ASSERT_EQ(off.size(), on.size());
  EXPECT_EQ(on[0], off[0]);
  EXPECT_EQ(on[1], off[1]);
  int32_t last = on[1];
  for (int32_t count = 1; count <= 4; ++count) {
    const size_t f = static_cast<size_t>(count) + 1;
    EXPECT_EQ(on[f], last + count * (off[f] - last) / 4) << "frame " << f;
    last = on[f];
  }
  EXPECT_EQ(on[5], off[5]) << "the fourth step reaches the new position";
  EXPECT_EQ(on.back(), off.back());
  EXPECT_LT(on[2] - on[1], off[2] - off[1]) << "the first movement is smaller";
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

// The edge zones are tested in the panel's coordinate extents: a screen of the same
// resolution keeps the positions in node units.
HostSetup EdgeSetup(uint8_t dead) {
  HostSetup st;
  st.edge = EdgeSection(dead);
  st.screen = kNodeUnits;
  return st;
}

TEST_F(CoordEndToEnd, TouchDownNearTheBorderWaitsForItsAnchorWhileOneInTheMiddleIsReportedAtOnce) {
  Start(EdgeSetup(0));
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
  Start(EdgeSetup(/*dead=*/100));  // 800 units along each Y side
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
  // Optimisation and smoothing spread a two-node jump over a few frames.
  std::map<int, AlgTouchPoint> moved;
  for (int f = 0; f < 3; ++f) {
    moved = Touch({{0.3, col + 2, 500}});
    ASSERT_EQ(moved.size(), 1u) << f;
  }
  EXPECT_GT(moved.begin()->second.x, pts.begin()->second.x + 512);
}

// ---- fingers close together ---------------------------------------------------------------

// A finger of a scenario: its own number (kept while it is down) and where it is. A
// fingertip is a cone of peak 500 over 1.6 nodes around (R, C). A finger laid down as a
// thumb lies (SPREAD non-zero) is the sum of two round Gaussian blobs of that spread in
// nodes: one of peak 670 at (R, C) and one of SHARE times that peak LENGTH rows further
// down, so that its node profile along the column rises to two maxima with a dip between.
struct Finger {
  int who;
  double r, c;
  double spread = 0;
  double length = 0;
  double share = 0;

  bool LaidDown() const { return spread > 0; }
  // The laid-down finger's signal on node (Y, X).
  int SignalAt(int y, int x) const {
    auto lobe = [&](double r0) {
      const double q = (y - r0) * (y - r0) + (x - c) * (x - c);
      return std::exp(-q / (2 * spread * spread));
    };
    return static_cast<int>(670 * (lobe(r) + share * lobe(r + length)));
  }
  // How far (in node units, 512 a node) P lies from the finger: from its centre, or for a
  // finger laid down from the line between its two maxima.
  double Off(const AlgTouchPoint& p) const {
    const double fx = c * 512 + 256, y0 = r * 512 + 256, y1 = (r + length) * 512 + 256;
    return std::hypot(p.x - fx, p.y - std::clamp<double>(p.y, y0, y1));
  }
  // The dip of a laid-down finger's node profile along its column, in % of the weaker of
  // the first and the last maximum; -1 when the profile has fewer than two maxima.
  double Dip() const {
    if (!LaidDown()) return -1;
    const int x = static_cast<int>(std::lround(c));
    std::vector<int> v;
    for (int y = 0; y < kDrv; ++y) v.push_back(SignalAt(y, x));
    std::vector<int> tops;
    for (int y = 1; y + 1 < kDrv; ++y) {
      if (v[y] > v[y - 1] && v[y] > v[y + 1]) tops.push_back(y);
    }
    if (tops.size() < 2) return -1;
    const int low = *std::min_element(v.begin() + tops.front(), v.begin() + tops.back());
    return 100.0 * (1.0 - static_cast<double>(low) / std::min(v[tops.front()], v[tops.back()]));
  }
};
using Scene = std::vector<Finger>;  // the fingers down in one frame

// What one scenario showed: every fault found, frame by frame (a point count that is not
// the finger count, a finger without a point near it, a finger whose id changed, downs or
// ups that are not one per finger), and the downs and ups of every id.
struct Outcome {
  std::vector<std::string> faults;
  std::map<int, int> downs, ups;
};

// Runs scenes (then empty frames until every point is up) and checks every frame: as many
// points as fingers, each finger with a point within half a node of it (Finger::Off), the
// same id all the time a finger stays down, one down and one up per finger.
class CloseFingers : public CoordEndToEnd {
 protected:
  // Leave hold 2, no report delay, points in node units; MERGE is the split judgement's
  // merge distance (512 reaches 5.6 nodes, past fingers 3 to 5 nodes apart).
  void StartPlain(uint16_t merge = 0) {
    reported_ = false;
    host_.reset();
    HostSetup st;
    st.hold = 2;
    st.delay = 0;
    st.mergeDistance = merge;
    st.screen = kNodeUnits;
    Start(st);
  }
  Outcome Run(const std::vector<Scene>& scenes) {
    Outcome o;
    std::map<int, int> idOf;  // finger -> id
    int fingers = 0;
    for (const Scene& sc : scenes) {
      for (const Finger& f : sc) fingers = std::max(fingers, f.who + 1);
    }
    auto record = [&](size_t frame, const Scene& sc, const std::map<int, AlgTouchPoint>& pts) {
      int live = 0;
      for (const auto& [id, p] : pts) {
        if (p.action == ALG_TOUCH_ACTION_DOWN) ++o.downs[id];
        if (p.action == ALG_TOUCH_ACTION_UP) {
          ++o.ups[id];
        } else {
          ++live;
        }
      }
      const std::string at = "frame " + std::to_string(frame) + ": ";
      // After the lift the points are held for the configured frames before they go up.
      if (!sc.empty() && live != static_cast<int>(sc.size())) {
        o.faults.push_back(at + std::to_string(live) + " points for " + std::to_string(sc.size()) + " fingers");
      }
      for (const Finger& f : sc) {
        int best = -1;
        double bestD = 1e9;
        for (const auto& [id, p] : pts) {
          if (p.action == ALG_TOUCH_ACTION_UP) continue;
          const double d = f.Off(p);
          if (d < bestD) {
            bestD = d;
            best = id;
          }
        }
        if (best < 0 || bestD > 256) {
          o.faults.push_back(at + "no point within half a node of finger " + std::to_string(f.who));
          continue;
        }
        auto it = idOf.find(f.who);
        if (it == idOf.end()) {
          idOf[f.who] = best;
        } else if (it->second != best) {
          o.faults.push_back(at + "finger " + std::to_string(f.who) + " went from id " + std::to_string(it->second) +
                             " to " + std::to_string(best));
          it->second = best;
        }
      }
    };
    size_t frame = 0;
    for (const Scene& sc : scenes) record(frame++, sc, TouchMap(SceneMap(sc)));
    for (int i = 0; i < 6; ++i) record(frame++, {}, Touch({}));
    int d = 0, u = 0;
    for (const auto& [id, n] : o.downs) d += n;
    for (const auto& [id, n] : o.ups) u += n;
    if (d != fingers) o.faults.push_back(std::to_string(d) + " downs for " + std::to_string(fingers) + " fingers");
    if (u != fingers) o.faults.push_back(std::to_string(u) + " ups for " + std::to_string(fingers) + " fingers");
    return o;
  }
  // The diff of a scene: the fingertips' cones, the stronger holding where they overlap,
  // and the signal of every finger laid down added to them.
  static std::vector<int16_t> SceneMap(const Scene& sc) {
    std::vector<Blob> tips;
    for (const Finger& f : sc) {
      if (!f.LaidDown()) tips.push_back({f.r, f.c, 500});
    }
    std::vector<int16_t> d = ConeMap(tips);
    for (const Finger& f : sc) {
      if (!f.LaidDown()) continue;
      for (int y = 0; y < kDrv; ++y) {
        for (int x = 0; x < kSen; ++x) {
          int16_t& v = d[static_cast<size_t>(y) * kSen + x];
          v = static_cast<int16_t>(std::min(v + f.SignalAt(y, x), 32767));
        }
      }
    }
    return d;
  }
  static std::string Show(const Outcome& o) {
    std::string s;
    for (size_t i = 0; i < o.faults.size() && i < 8; ++i) s += "\n  " + o.faults[i];
    if (o.faults.size() > 8) s += "\n  ... " + std::to_string(o.faults.size() - 8) + " more";
    return s;
  }
};

// N fingers GAP nodes apart, along row 7 from column 3 or along column 15 from row 2; only
// the layouts that fit the 16 x 30 panel.
struct Line {
  int n;
  double gap;
  bool alongRow;
  Finger At(int i) const {
    return alongRow ? Finger{i, 7, 3 + i * gap} : Finger{i, 2 + i * gap, 15};
  }
  bool Fits() const { return alongRow ? 3 + (n - 1) * gap <= 26 : 2 + (n - 1) * gap <= 13; }
  std::string Name() const {
    char b[64];
    snprintf(b, sizeof(b), "%d fingers %.1f nodes apart along a %s", n, gap, alongRow ? "row" : "column");
    return b;
  }
};

std::vector<Line> Lines() {
  std::vector<Line> out;
  for (bool row : {true, false}) {
    for (int n : {2, 3, 4}) {
      for (double gap : {3.0, 4.0, 5.0, 6.0}) {
        if (Line{n, gap, row}.Fits()) out.push_back({n, gap, row});
      }
    }
  }
  return out;
}

TEST_F(CloseFingers, FingersLandingTogetherEachGetAPointOfTheirOwn) {
  for (uint16_t merge : {0, 512}) {
    for (const Line& l : Lines()) {
      StartPlain(merge);
      Scene all;
      for (int i = 0; i < l.n; ++i) all.push_back(l.At(i));
      const Outcome o = Run(std::vector<Scene>(8, all));
      EXPECT_TRUE(o.faults.empty()) << l.Name() << ", merge distance " << merge << Show(o);
    }
  }
}

TEST_F(CloseFingers, FingersLandingOneAfterAnotherBesideHeldOnesEachGetAPointOfTheirOwn) {
  for (uint16_t merge : {0, 512}) {
    for (const Line& l : Lines()) {
      StartPlain(merge);
      std::vector<Scene> scenes;
      Scene down;
      for (int i = 0; i < l.n; ++i) {
        down.push_back(l.At(i));
        for (int f = 0; f < 4; ++f) scenes.push_back(down);
      }
      const Outcome o = Run(scenes);
      EXPECT_TRUE(o.faults.empty()) << l.Name() << ", merge distance " << merge << Show(o);
    }
  }
}

// Two fingers on row 7 closing from 8 nodes apart to 3, a quarter node each per frame, and
// opening again; the same along column 15 from 10 nodes apart.
TEST_F(CloseFingers, PinchFromEightToThreeNodesAndBackKeepsBothPoints) {
  for (bool row : {true, false}) {
    StartPlain(512);
    std::vector<Scene> scenes;
    const double mid = row ? 15 : 7.5, far = row ? 4 : 3.5;  // half the widest gap
    std::vector<double> halves;
    for (double h = far; h >= 1.5; h -= 0.25) halves.push_back(h);
    for (double h = 1.5; h <= far; h += 0.25) halves.push_back(h);
    for (double h : halves) {
      scenes.push_back(row ? Scene{{0, 7, mid - h}, {1, 7, mid + h}} : Scene{{0, mid - h, 15}, {1, mid + h, 15}});
    }
    const Outcome o = Run(scenes);
    EXPECT_TRUE(o.faults.empty()) << "pinch along a " << (row ? "row" : "column") << Show(o);
  }
}

// Ten fingers (the configured most) on rows 4 and 10, five on each, their blobs one clear
// node column apart (centres 4 nodes apart): ten points with steady ids.
TEST_F(CloseFingers, TenFingersOnTwoRowsWithOneClearColumnBetweenKeepTheirIds) {
  StartPlain();
  Scene all;
  for (int i = 0; i < 10; ++i) all.push_back({i, i < 5 ? 4.0 : 10.0, 5 + 4.0 * (i % 5)});
  const Outcome o = Run(std::vector<Scene>(10, all));
  EXPECT_TRUE(o.faults.empty()) << Show(o);
}

// Two fingertips 3 nodes apart on a slant (30, 45 and 60 degrees from the rows), the first
// on a node, half a node off one way, or half a node off both ways: sampled on the nodes,
// the signal between them dips far less than along a row, yet they are two fingers, landing
// together or the second beside the first held.
TEST_F(CloseFingers, TwoFingertipsThreeNodesApartOnASlantEachGetAPointOfTheirOwn) {
  for (double degrees : {30.0, 45.0, 60.0}) {
    for (const auto& [dr, dc] : {std::pair{0.0, 0.0}, std::pair{0.0, 0.5}, std::pair{0.5, 0.5}}) {
      const double t = degrees * std::numbers::pi / 180;
      const Finger a{0, 5 + dr, 12 + dc};
      const Finger b{1, a.r + 3 * std::sin(t), a.c + 3 * std::cos(t)};
      char name[96];
      snprintf(name, sizeof(name), "%.0f degrees, the first at (%.1f, %.1f)", degrees, a.r, a.c);
      StartPlain();
      Outcome o = Run(std::vector<Scene>(8, Scene{a, b}));
      EXPECT_TRUE(o.faults.empty()) << name << ", landing together" << Show(o);
      StartPlain();
      std::vector<Scene> scenes(4, Scene{a});
      for (int f = 0; f < 8; ++f) scenes.push_back({a, b});
      o = Run(scenes);
      EXPECT_TRUE(o.faults.empty()) << name << ", the second beside the first held" << Show(o);
    }
  }
}

// ---- one finger laid down -----------------------------------------------------------------

// A finger laid down along column 15, its first maximum on row 4 + OFFSET: its spread, the
// rows between its maxima and the second one's share give its profile along the column a
// dip of DIP % below the weaker maximum. The region search cuts such a blob in two; it is
// still one finger. ALONG: its dip stays within 15 % as it slides along its length.
struct ThumbCase {
  double spread, length, share, offset;
  double dip;
  bool along;
  Finger At(double dr, double dc) const { return {0, 4 + offset + dr, 15 + dc, spread, length, share}; }
  std::string Name() const {
    char b[128];
    snprintf(b, sizeof(b), "spread %.2f, maxima %.2f rows apart from row %.2f, dip %.0f %%", spread, length, 4 + offset,
             dip);
    return b;
  }
};

const ThumbCase kThumbs[] = {
    {0.75, 2.5, 0.614, 0, 5, false},   {0.75, 2.5, 0.709, 0, 15, false},  {0.9, 2.5, 0.872, 0, 9, false},
    {0.9, 2.75, 0.46, 0.25, 15, true}, {1.0, 3.0, 0.551, 0.5, 5, false},  {1.1, 3.0, 0.888, 0.5, 15, false},
    {1.1, 3.0, 0.682, 0, 9, true},     {1.1, 3.0, 0.599, 0.25, 5, true},
    // A thumb as users lay it: 682, 521, 514, 558 on rows 4-7.
    {0.99, 2.75, 0.85, 0, 8, false},
};

// What a finger laid down may do: land, grow out of a fingertip within one frame after 4
// frames held, slide a quarter node per frame across its length or along it, and land
// beside a fingertip held 10 columns away (which stays a point of its own).
enum class ThumbWay { kLands, kGrows, kSlidesAcross, kSlidesAlong, kLandsBesideAFingertip };

std::vector<Scene> ThumbScenes(const ThumbCase& t, ThumbWay way) {
  std::vector<Scene> out;
  switch (way) {
    case ThumbWay::kLands:
      return std::vector<Scene>(8, Scene{t.At(0, 0)});
    case ThumbWay::kGrows: {
      Finger tip = t.At(0, 0);
      tip.share = 0;
      tip.length = 0;
      out.assign(4, Scene{tip});
      for (int f = 0; f < 8; ++f) out.push_back({t.At(0, 0)});
      return out;
    }
    case ThumbWay::kSlidesAcross:
      for (int f = 0; f <= 16; ++f) out.push_back({t.At(0, f * 0.25)});
      return out;
    case ThumbWay::kSlidesAlong:
      for (int f = 0; f <= 12; ++f) out.push_back({t.At(f * 0.25, 0)});
      return out;
    case ThumbWay::kLandsBesideAFingertip: {
      const Finger tip{1, 7, 5};
      out.assign(4, Scene{tip});
      for (int f = 0; f < 8; ++f) out.push_back({tip, t.At(0, 0)});
      return out;
    }
  }
  return out;
}

const char* WayName(ThumbWay w) {
  switch (w) {
    case ThumbWay::kLands: return "lands";
    case ThumbWay::kGrows: return "grows out of a held fingertip";
    case ThumbWay::kSlidesAcross: return "slides across";
    case ThumbWay::kSlidesAlong: return "slides along its length";
    case ThumbWay::kLandsBesideAFingertip: return "lands beside a held fingertip";
  }
  return "";
}

TEST_F(CloseFingers, AFingerLaidDownWhoseProfileDipsUpTo15PercentIsOnePoint) {
  for (const ThumbCase& t : kThumbs) {
    // The blob is what the case says it is: two maxima, the dip given.
    const double dip = t.At(0, 0).Dip();
    ASSERT_NEAR(dip, t.dip, 1.5) << t.Name();
    for (ThumbWay way : {ThumbWay::kLands, ThumbWay::kGrows, ThumbWay::kSlidesAcross, ThumbWay::kSlidesAlong,
                         ThumbWay::kLandsBesideAFingertip}) {
      if (way == ThumbWay::kSlidesAlong && !t.along) continue;
      const std::vector<Scene> scenes = ThumbScenes(t, way);
      for (const Scene& sc : scenes) {
        for (const Finger& f : sc) ASSERT_LE(f.Dip(), 15.5) << t.Name() << ", " << WayName(way);
      }
      for (uint16_t merge : {0, 512}) {
        StartPlain(merge);
        const Outcome o = Run(scenes);
        EXPECT_TRUE(o.faults.empty()) << "a finger laid down, " << t.Name() << ", " << WayName(way)
                                      << ", merge distance " << merge << Show(o);
      }
    }
  }
}

}  // namespace
