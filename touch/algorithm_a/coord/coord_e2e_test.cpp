// End to end through the touch host with the production plug-in (no scripted coordinates):
// a reference, quiet frames until the power-on reference is built, then frames whose diff
// carries finger blobs; the points the host receives come from the module's own pairing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <numbers>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "cfg_blob_builder_test.h"
#include "decoded_frame_bytes_test.h"
#include "ferrant_host_start_test.h"
#include "platform/temp_root.h"
#include "touch_host/contact_model.h"
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
  uint8_t drv = kDrv;  // the panel's drive lines (rows) and sense lines (columns)
  uint8_t sen = kSen;
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
    drv_ = st.drv;
    sen_ = st.sen;
    host_ = fxtest::StartFerrantHost(*root_, kPlugin, ConfigBlob(st), drv_, sen_);
    ASSERT_NE(host_, nullptr);
    frames_ = std::make_unique<fxtest::FingerFrames>(drv_, sen_, 4);
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
  uint8_t drv_ = kDrv, sen_ = kSen;
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
// fingertip is a round Gaussian blob of peak PEAK and spread SPREAD nodes around (R, C): a
// real fingertip's signal falls off so, with a spread of 0.8-1.0 node (a cone with an empty
// valley would hide where two fingertips close together start to look like one). A finger
// laid down as a thumb lies (LENGTH non-zero) is the sum of two such blobs, one of peak PEAK
// at (R, C) and one of SHARE times that peak LENGTH rows further down (ALONGROW: columns
// further right), so that its node profile along its length rises to two maxima with a dip
// between.
struct Finger {
  int who;
  double r, c;
  double spread = 0.9;
  double length = 0;
  double share = 0;
  double peak = 700;
  bool alongRow = false;
  // Laid along a border: the edge stages put its point on the panel's edge rather than on
  // the outermost node line, so only the distance along its length counts.
  bool onBorder = false;

  bool LaidDown() const { return length > 0; }
  double EndR() const { return alongRow ? r : r + length; }
  double EndC() const { return alongRow ? c + length : c; }
  // The finger's signal on node (Y, X).
  int SignalAt(int y, int x) const {
    auto lobe = [&](double r0, double c0) {
      const double q = (y - r0) * (y - r0) + (x - c0) * (x - c0);
      return std::exp(-q / (2 * spread * spread));
    };
    return static_cast<int>(peak * (lobe(r, c) + share * lobe(EndR(), EndC())));
  }
  // How far (in node units, 512 a node) P lies from the finger: from its centre, or for a
  // finger laid down from the line between its two maxima.
  double Off(const AlgTouchPoint& p) const {
    const double ay = r * 512 + 256, ax = c * 512 + 256, by = EndR() * 512 + 256, bx = EndC() * 512 + 256;
    const double ly = by - ay, lx = bx - ax, l2 = ly * ly + lx * lx;
    const double t = l2 > 0 ? std::clamp(((p.y - ay) * ly + (p.x - ax) * lx) / l2, 0.0, 1.0) : 0.0;
    if (onBorder) return alongRow ? std::abs(p.x - (ax + t * lx)) : std::abs(p.y - (ay + t * ly));
    return std::hypot(p.y - (ay + t * ly), p.x - (ax + t * lx));
  }
  // The dip of a laid-down finger's node profile along its length (down its node column, or
  // along its node row), in % of the weaker of the first and the last maximum on a ROWS x
  // COLS panel; -1 when the profile has fewer than two maxima.
  double Dip(int rows = kDrv, int cols = kSen) const {
    if (!LaidDown()) return -1;
    std::vector<int> v;
    if (alongRow) {
      const int y = static_cast<int>(std::lround(r));
      for (int x = 0; x < cols; ++x) v.push_back(SignalAt(y, x));
    } else {
      const int x = static_cast<int>(std::lround(c));
      for (int y = 0; y < rows; ++y) v.push_back(SignalAt(y, x));
    }
    std::vector<size_t> tops;
    for (size_t k = 0; k < v.size(); ++k) {
      if ((k == 0 || v[k] > v[k - 1]) && (k + 1 == v.size() || v[k] > v[k + 1])) tops.push_back(k);
    }
    if (tops.size() < 2) return -1;
    const int low = *std::min_element(v.begin() + static_cast<std::ptrdiff_t>(tops.front()),
                                      v.begin() + static_cast<std::ptrdiff_t>(tops.back()));
    return 100.0 * (1.0 - static_cast<double>(low) / std::min(v[tops.front()], v[tops.back()]));
  }
};
using Scene = std::vector<Finger>;  // the fingers down in one frame

// The two panels the module ships for: 16 x 30 and 17 x 38 nodes.
struct Panel {
  uint8_t drv, sen;
};
constexpr Panel kPanels[] = {{16, 30}, {17, 38}};

// What one scenario showed: every fault found, frame by frame (a point count that is not
// the finger count, a finger without a point near it, a finger whose id changed, downs or
// ups that are not one per finger), the downs and ups of every id, and the points live in
// each frame.
struct Outcome {
  std::vector<std::string> faults;
  std::map<int, int> downs, ups;
  std::vector<int> live;
};

// Runs scenes (then empty frames until every point is up) and checks every frame: as many
// points as fingers, each finger with a point within 3/4 of a node of it (Finger::Off), the
// same id all the time a finger stays down, one down and one up per finger.
class CloseFingers : public CoordEndToEnd {
 protected:
  // How far a finger's point may lie from it, in node units: two fingertips 3 nodes apart
  // overlap, and where the region search cuts between them each piece loses part of its
  // blob to the other, which moves its position by up to half a node on a diagonal. Half
  // the way to the other fingertip (1.5 nodes) is still twice as far.
  static constexpr double kReach = 384;

  // Leave hold 2, no report delay, points in node units on PANEL; MERGE is the split
  // judgement's merge distance (512 reaches 5.6 nodes, past fingers 3 to 5 nodes apart).
  void StartPlain(uint16_t merge = 0, Panel panel = kPanels[0]) {
    reported_ = false;
    host_.reset();
    HostSetup st;
    st.hold = 2;
    st.delay = 0;
    st.mergeDistance = merge;
    st.drv = panel.drv;
    st.sen = panel.sen;
    st.screen = {static_cast<uint16_t>(panel.sen * 512), static_cast<uint16_t>(panel.drv * 512)};
    Start(st);
  }
  // RECORDED replaces the map of the frames it names (a frame as a panel gave it).
  Outcome Run(const std::vector<Scene>& scenes, const std::map<size_t, std::vector<int16_t>>& recorded = {}) {
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
      o.live.push_back(live);
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
        if (best < 0 || bestD > kReach) {
          o.faults.push_back(at + "no point within 3/4 node of finger " + std::to_string(f.who));
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
    for (const Scene& sc : scenes) {
      const auto it = recorded.find(frame);
      record(frame, sc, TouchMap(it != recorded.end() ? it->second : SceneMap(sc)));
      ++frame;
    }
    for (int i = 0; i < 6; ++i) record(frame++, {}, TouchMap(SceneMap({})));
    int d = 0, u = 0;
    for (const auto& [id, n] : o.downs) d += n;
    for (const auto& [id, n] : o.ups) u += n;
    if (d != fingers) o.faults.push_back(std::to_string(d) + " downs for " + std::to_string(fingers) + " fingers");
    if (u != fingers) o.faults.push_back(std::to_string(u) + " ups for " + std::to_string(fingers) + " fingers");
    return o;
  }
  // The diff of a scene on the panel started: the signals of its fingers added up, and
  // while noise_ is set a uniform noise of up to noise_ counts on every node.
  std::vector<int16_t> SceneMap(const Scene& sc) {
    std::vector<int16_t> d(static_cast<size_t>(drv_) * sen_, 0);
    if (noise_ > 0) {
      std::uniform_int_distribution<int> u(-noise_, noise_);
      for (int16_t& v : d) v = static_cast<int16_t>(u(rng_));
    }
    for (const Finger& f : sc) {
      for (int y = 0; y < drv_; ++y) {
        for (int x = 0; x < sen_; ++x) {
          int16_t& v = d[static_cast<size_t>(y) * sen_ + x];
          v = static_cast<int16_t>(std::min(v + f.SignalAt(y, x), 32767));
        }
      }
    }
    return d;
  }
  int noise_ = 0;
  std::mt19937 rng_{1};

  static std::string Show(const Outcome& o) {
    std::string s;
    for (size_t i = 0; i < o.faults.size() && i < 8; ++i) s += "\n  " + o.faults[i];
    if (o.faults.size() > 8) s += "\n  ... " + std::to_string(o.faults.size() - 8) + " more";
    return s;
  }
};

// The spreads of the fingertips in the close-finger tables, in nodes: a little finger's to a
// large thumb tip's. Fingertips 3 nodes apart are asserted up to a spread of 0.9 only: at 1.0
// their node profile dips by 20-30 % between them (27 % when both lie on nodes), and at 1.1
// by 15-20 %, as deep as the profile of one finger laid down (up to 20 %, which must stay one
// point); there the pair is the overlap band the rule cannot tell apart.
constexpr double kTipSpreads[] = {0.7, 0.8, 0.9, 1.0, 1.1};
bool TellableAt(double gap, double spread) { return gap >= 3.5 || spread <= 0.9; }

// N fingertips of SPREAD GAP nodes apart, along row 7 from column 3 or along column 15 from
// row 2; only the layouts that fit the 16 x 30 panel.
struct Line {
  int n;
  double gap;
  bool alongRow;
  double spread;
  Finger At(int i) const {
    return alongRow ? Finger{i, 7, 3 + i * gap, spread} : Finger{i, 2 + i * gap, 15, spread};
  }
  bool Fits() const { return alongRow ? 3 + (n - 1) * gap <= 26 : 2 + (n - 1) * gap <= 13; }
  std::string Name() const {
    char b[96];
    snprintf(b, sizeof(b), "%d fingertips of spread %.1f %.1f nodes apart along a %s", n, spread, gap,
             alongRow ? "row" : "column");
    return b;
  }
};

std::vector<Line> Lines() {
  std::vector<Line> out;
  for (double spread : kTipSpreads) {
    for (bool row : {true, false}) {
      for (int n : {2, 3, 4}) {
        for (double gap : {3.0, 4.0, 5.0, 6.0}) {
          const Line l{n, gap, row, spread};
          if (l.Fits() && TellableAt(gap, spread)) out.push_back(l);
        }
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

// Two fingertips on row 7 closing from 8 nodes apart to 3, a quarter node each per frame, and
// opening again; the same along column 15 from 7 nodes apart.
TEST_F(CloseFingers, PinchFromEightToThreeNodesAndBackKeepsBothPoints) {
  for (double spread : kTipSpreads) {
    if (!TellableAt(3, spread)) continue;
    for (bool row : {true, false}) {
      StartPlain(512);
      std::vector<Scene> scenes;
      const double mid = row ? 15 : 7.5, far = row ? 4 : 3.5;  // half the widest gap
      std::vector<double> halves;
      for (double h = far; h >= 1.5; h -= 0.25) halves.push_back(h);
      for (double h = 1.5; h <= far; h += 0.25) halves.push_back(h);
      for (double h : halves) {
        scenes.push_back(row ? Scene{{0, 7, mid - h, spread}, {1, 7, mid + h, spread}}
                             : Scene{{0, mid - h, 15, spread}, {1, mid + h, 15, spread}});
      }
      const Outcome o = Run(scenes);
      EXPECT_TRUE(o.faults.empty()) << "pinch along a " << (row ? "row" : "column") << ", spread " << spread
                                    << Show(o);
    }
  }
}

// Two fingertips that were one point (landing 3 nodes apart, spread 1.0 and more, inside the
// overlap band) or two (spread 0.8-0.9) spread apart: 3 or 3.5 nodes apart for 6 frames,
// then a quarter to a whole node a frame to 6 or 7 nodes, held there 4 frames. Whatever
// they were at first, they end as two points, each on its own fingertip, with two ids.
TEST_F(CloseFingers, FingertipsSpreadingApartEndAsTwoPoints) {
  struct Case {
    double spread, from, to, step;
    int peakB;
    bool alongRow;
    uint8_t panel;
  } cases[] = {
      {1.0, 3.0, 6.0, 0.25, 650, false, 1},  // the pair of the report: one id from down to up
      {1.0, 3.0, 6.0, 0.5, 650, true, 1},   {1.0, 3.0, 6.0, 0.25, 650, true, 0},
      {1.1, 3.0, 7.0, 0.25, 700, true, 0},  {1.1, 3.0, 7.0, 0.5, 700, false, 1},
      {0.9, 3.0, 7.0, 0.25, 700, true, 1},  {0.8, 3.5, 7.0, 1.0, 700, true, 0},
      {1.0, 3.5, 7.0, 0.5, 450, true, 0},   {1.1, 3.5, 7.0, 0.25, 700, false, 0},
  };
  for (const Case& c : cases) {
    const Panel panel = kPanels[c.panel];
    StartPlain(0, panel);
    const double mr = panel.drv / 2.0 - 0.3, mc = panel.sen / 2.0 + 0.2;
    auto at = [&](double gap) {
      const Finger a{0, c.alongRow ? mr : mr - gap / 2, c.alongRow ? mc - gap / 2 : mc, c.spread};
      Finger b{1, c.alongRow ? mr : mr + gap / 2, c.alongRow ? mc + gap / 2 : mc, c.spread};
      b.peak = c.peakB;
      return Scene{a, b};
    };
    std::vector<Scene> scenes(6, at(c.from));
    for (double g = c.from + c.step; g < c.to; g += c.step) scenes.push_back(at(g));
    for (int f = 0; f < 4; ++f) scenes.push_back(at(c.to));
    const Outcome o = Run(scenes);
    char name[160];
    snprintf(name, sizeof(name), "spread %.1f, peaks 700 and %d, %.1f to %.1f nodes apart along a %s, %.2f a frame, %dx%d",
             c.spread, c.peakB, c.from, c.to, c.alongRow ? "row" : "column", c.step, panel.drv, panel.sen);
    const size_t held = scenes.size() - 1;  // the last frame with both fingertips down
    ASSERT_GT(o.live.size(), held);
    EXPECT_EQ(o.live[held], 2) << name << Show(o);
    // Each fingertip has its own point in the last frames.
    bool ownPoints = true;
    for (const std::string& f : o.faults) {
      if (f.rfind("frame " + std::to_string(held) + ": ", 0) == 0) ownPoints = false;
    }
    EXPECT_TRUE(ownPoints) << name << Show(o);
  }
}

// Ten fingertips (the configured most) on rows 4 and 10, five on each, their centres 4 nodes
// apart: ten points with steady ids.
TEST_F(CloseFingers, TenFingersOnTwoRowsWithOneClearColumnBetweenKeepTheirIds) {
  for (double spread : kTipSpreads) {
    StartPlain();
    Scene all;
    for (int i = 0; i < 10; ++i) all.push_back({i, i < 5 ? 4.0 : 10.0, 5 + 4.0 * (i % 5), spread});
    const Outcome o = Run(std::vector<Scene>(10, all));
    EXPECT_TRUE(o.faults.empty()) << "spread " << spread << Show(o);
  }
}

// Two fingertips 3 nodes apart on a slant (30, 45 and 60 degrees from the rows), the first
// on a node, half a node off one way, or half a node off both ways: sampled on the nodes,
// the signal between them dips far less than along a row, yet they are two fingers, landing
// together or the second beside the first held. At a spread of 0.9 a second fingertip
// landing so beside a held one half a node off both ways is not cut from it by the region
// search (one region, which pairing has no pieces of): the second case runs to 0.8. At 45
// degrees with both fingertips half a node off both ways their ridge of nodes dips by 8-12 %,
// as one finger laid on that diagonal does (a finger's signal is judged along its ridge of
// nodes on a slant): that placement is not asserted.
TEST_F(CloseFingers, TwoFingertipsThreeNodesApartOnASlantEachGetAPointOfTheirOwn) {
  for (double spread : kTipSpreads) {
    if (!TellableAt(3, spread)) continue;
    for (double degrees : {30.0, 45.0, 60.0}) {
      for (const auto& [dr, dc] : {std::pair{0.0, 0.0}, std::pair{0.0, 0.5}, std::pair{0.5, 0.5}}) {
        if (degrees == 45.0 && dr == 0.5) continue;
        const double t = degrees * std::numbers::pi / 180;
        const Finger a{0, 5 + dr, 12 + dc, spread};
        const Finger b{1, a.r + 3 * std::sin(t), a.c + 3 * std::cos(t), spread};
        char name[128];
        snprintf(name, sizeof(name), "spread %.1f, %.0f degrees, the first at (%.1f, %.1f)", spread, degrees, a.r, a.c);
        StartPlain();
        Outcome o = Run(std::vector<Scene>(8, Scene{a, b}));
        EXPECT_TRUE(o.faults.empty()) << name << ", landing together" << Show(o);
        if (spread > 0.8) continue;
        StartPlain();
        std::vector<Scene> scenes(4, Scene{a});
        for (int f = 0; f < 8; ++f) scenes.push_back({a, b});
        o = Run(scenes);
        EXPECT_TRUE(o.faults.empty()) << name << ", the second beside the first held" << Show(o);
      }
    }
  }
}

// A fingertip landing 3.5 to 5 nodes beside one held for 4 frames, at angles from along a
// row to along a column, the held one on a node or a quarter / half node off: a point of its
// own from its first frame, on both panels. On a diagonal the held finger's last rectangle
// and the newcomer's piece fit within a node of each other although the signal between them
// falls by 60-90 %.
TEST_F(CloseFingers, AFingertipLandingBesideAHeldOneAtAnyAngleIsAPointOfItsOwn) {
  for (const Panel& panel : kPanels) {
    for (double spread : {0.7, 0.9, 1.0}) {
      for (double apart : {3.5, 4.0, 4.5, 5.0}) {
        for (double degrees : {0.0, 30.0, 45.0, 60.0, 90.0}) {
          for (double off : {0.0, 0.25, 0.5}) {
            const double t = degrees * std::numbers::pi / 180;
            const Finger a{0, 5 + off, 12 + off, spread};
            const Finger b{1, a.r + apart * std::sin(t), a.c + apart * std::cos(t), spread};
            StartPlain(0, panel);
            std::vector<Scene> scenes(4, Scene{a});
            for (int f = 0; f < 8; ++f) scenes.push_back({a, b});
            const Outcome o = Run(scenes);
            EXPECT_TRUE(o.faults.empty()) << "spread " << spread << ", " << apart << " nodes at " << degrees
                                          << " degrees from (" << a.r << ", " << a.c << "), "
                                          << static_cast<int>(panel.drv) << "x" << static_cast<int>(panel.sen)
                                          << Show(o);
          }
        }
      }
    }
  }
}

// The same landing 3.5 nodes away on a diagonal, with the held fingertip at sub-node places
// (rows and columns off by different amounts) where, at a spread of 1.0-1.1, the nodes
// between the two fingertips form a ridge along the diagonal: node paths fall only about a
// third from the lower top, while the signal on the line between them falls by more than
// half. The held fingertip from frame 0, the newcomer from frame 4; both are points of
// their own on every frame after it lands.
TEST_F(CloseFingers, AFingertipLandingBesideAHeldOneAcrossADiagonalRidgeIsAPointOfItsOwn) {
  struct Case {
    double spread, degrees, r, c;
  };
  static const Case kCases[] = {
      {1.0, 45, 6.218, 13.371},  {1.1, 45, 6.230, 13.175}, {1.1, 135, 6.247, 16.667},
      {1.0, 135, 6.218, 16.629}, {1.0, 45, 6.25, 13.4},    {0.9, 45, 6.218, 13.371},
  };
  for (const Panel& panel : kPanels) {
    for (const Case& k : kCases) {
      const double t = k.degrees * std::numbers::pi / 180;
      const Finger a{0, k.r, k.c, k.spread};
      const Finger b{1, a.r + 3.5 * std::sin(t), a.c + 3.5 * std::cos(t), k.spread};
      StartPlain(0, panel);
      std::vector<Scene> scenes(4, Scene{a});
      for (int f = 0; f < 8; ++f) scenes.push_back({a, b});
      const Outcome o = Run(scenes);
      EXPECT_TRUE(o.faults.empty()) << "spread " << k.spread << " at " << k.degrees << " degrees from (" << a.r << ", "
                                    << a.c << "), " << static_cast<int>(panel.drv) << "x" << static_cast<int>(panel.sen)
                                    << Show(o);
    }
  }
}

// ---- one finger laid down -----------------------------------------------------------------

// Where a finger laid down lies: along a node column (its first maximum on row 4 + the
// case's offset) or along a node row (its first maximum on column 10 + the offset), at LINE
// (-1: the last column or row of the panel). Sliding across its length takes it away from
// the border it lies on.
struct ThumbPlace {
  const char* name;
  bool alongRow;
  int line;
};
constexpr ThumbPlace kThumbPlaces[] = {{"down column 15", false, 15},    {"down column 0", false, 0},
                                       {"down the last column", false, -1}, {"along row 0", true, 0},
                                       {"along the last row", true, -1}};

// A finger laid down: its spread, the nodes between its lobes and the second one's share
// give its node profile along its length a dip of DIP % below the weaker maximum. The
// region search cuts such a blob in two; it is still one finger. ALONG: its dip stays
// within 20 % as it slides along its length.
struct ThumbCase {
  double spread, length, share, offset;
  double dip;
  bool along;
  Finger At(double dr, double dc, const ThumbPlace& p = kThumbPlaces[0], Panel panel = kPanels[0]) const {
    const int last = p.alongRow ? panel.drv - 1 : panel.sen - 1;
    const int line = p.line < 0 ? last : p.line;
    const double across = line + (p.line < 0 ? -dc : dc);
    Finger f{0, 4 + offset + dr, across, spread, length, share, 670};
    f.onBorder = across < 1 || across > last - 1;
    if (p.alongRow) {
      f.r = across;
      f.c = 10 + offset + dr;
      f.alongRow = true;
    }
    return f;
  }
  std::string Name() const {
    char b[128];
    snprintf(b, sizeof(b), "spread %.2f, lobes %.2f nodes apart from %.2f, dip %.0f %%", spread, length, offset, dip);
    return b;
  }
};

// The weaker lobe 68-100 % of the stronger.
const ThumbCase kThumbs[] = {
    {0.75, 2.5, 0.709, 0, 15, false},   {0.9, 2.5, 0.872, 0, 9, false},     {1.1, 3.0, 0.888, 0.5, 15, false},
    {1.1, 3.0, 0.682, 0, 9, true},
    // A thumb as users lay it: 682, 521, 514, 558 on rows 4-7.
    {0.99, 2.75, 0.85, 0, 8, false},
    // Dips of 17-20 %, the weaker maximum 70-80 % of the stronger, the maxima 2-4 nodes apart.
    {0.8, 2.5, 0.858, 0, 19, false},    {0.8, 2.5, 0.72, 0.25, 19, false},  {0.9, 2.75, 0.86, 0, 19, false},
    {0.9, 2.75, 0.84, 0, 18, false},    {1.0, 3.0, 0.746, 0.5, 19, false},  {1.0, 3.0, 0.72, 0.5, 18, false},
    {1.1, 3.25, 0.74, 0.25, 19, false}, {1.1, 3.25, 0.774, 0.5, 19, false}, {1.2, 3.5, 0.758, 0, 19, false},
    {1.2, 3.5, 0.766, 0.25, 20, false}, {1.2, 3.5, 0.802, 0.5, 19, false},
    // A narrow lobe growing in three frames stands at a quarter of the other in the first.
    {0.77, 2.5, 0.76, 0.2, 19.5, false}, {0.8, 2.6, 0.8, 0.1, 19, false},
};

// What a finger laid down may do: land, land with rising pressure (its signal from 40 % to
// all of it in four frames), grow out of a fingertip held for 4 frames within one frame or
// within three, slide a quarter node per frame across its length or along it, and land
// beside a fingertip held 8 nodes or more away (which stays a point of its own).
enum class ThumbWay { kLands, kPresses, kGrows, kGrowsInThreeFrames, kSlidesAcross, kSlidesAlong, kLandsBesideAFingertip };

std::vector<Scene> ThumbScenes(const ThumbCase& t, ThumbWay way, const ThumbPlace& p, Panel panel) {
  std::vector<Scene> out;
  const Finger whole = t.At(0, 0, p, panel);
  switch (way) {
    case ThumbWay::kLands:
      return std::vector<Scene>(8, Scene{whole});
    case ThumbWay::kPresses:
      for (int f = 0; f < 8; ++f) {
        Finger g = whole;
        g.peak = whole.peak * std::min(1.0, 0.4 + 0.2 * f);
        out.push_back({g});
      }
      return out;
    case ThumbWay::kGrows:
    case ThumbWay::kGrowsInThreeFrames: {
      Finger tip = whole;
      tip.share = 0;
      tip.length = 0;
      out.assign(4, Scene{tip});
      if (way == ThumbWay::kGrowsInThreeFrames) {
        for (int f = 1; f <= 2; ++f) {
          Finger g = whole;
          g.share = whole.share * f / 3;
          out.push_back({g});
        }
      }
      for (int f = 0; f < 8; ++f) out.push_back({whole});
      return out;
    }
    case ThumbWay::kSlidesAcross:
      for (int f = 0; f <= 16; ++f) out.push_back({t.At(0, f * 0.25, p, panel)});
      return out;
    case ThumbWay::kSlidesAlong:
      for (int f = 0; f <= 12; ++f) out.push_back({t.At(f * 0.25, 0, p, panel)});
      return out;
    case ThumbWay::kLandsBesideAFingertip: {
      const Finger tip = p.line == 15 ? Finger{1, 7, 5} : Finger{1, panel.drv / 2.0, panel.sen / 2.0 + 2};
      out.assign(4, Scene{tip});
      for (int f = 0; f < 8; ++f) out.push_back({tip, whole});
      return out;
    }
  }
  return out;
}

const char* WayName(ThumbWay w) {
  switch (w) {
    case ThumbWay::kLands: return "lands";
    case ThumbWay::kPresses: return "lands with rising pressure";
    case ThumbWay::kGrows: return "grows out of a held fingertip";
    case ThumbWay::kGrowsInThreeFrames: return "grows out of a held fingertip in three frames";
    case ThumbWay::kSlidesAcross: return "slides across";
    case ThumbWay::kSlidesAlong: return "slides along its length";
    case ThumbWay::kLandsBesideAFingertip: return "lands beside a held fingertip";
  }
  return "";
}

TEST_F(CloseFingers, AFingerLaidDownWhoseProfileDipsUpTo20PercentIsOnePoint) {
  for (const ThumbCase& t : kThumbs) {
    // The blob is what the case says it is: two maxima, the dip given.
    const double dip = t.At(0, 0).Dip();
    ASSERT_NEAR(dip, t.dip, 1.5) << t.Name();
    for (const ThumbPlace& place : kThumbPlaces) {
      for (const Panel& panel : kPanels) {
        for (ThumbWay way : {ThumbWay::kLands, ThumbWay::kPresses, ThumbWay::kGrows, ThumbWay::kGrowsInThreeFrames,
                             ThumbWay::kSlidesAcross, ThumbWay::kSlidesAlong, ThumbWay::kLandsBesideAFingertip}) {
          if (way == ThumbWay::kSlidesAlong && !t.along) continue;
          // Along a border the jump check takes a finger whose position moves by a node or
          // more in a frame (as it does when a second lobe grows out of a fingertip) for a
          // new touch: its ratio limit there is 15 against 36 in the middle. That is not
          // this judgement's; pairing keeps the pieces together there all the same.
          const bool grows = way == ThumbWay::kGrows || way == ThumbWay::kGrowsInThreeFrames;
          if (grows && place.line != 15) continue;
          const std::vector<Scene> scenes = ThumbScenes(t, way, place, panel);
          for (const Scene& sc : scenes) {
            for (const Finger& f : sc) ASSERT_LE(f.Dip(panel.drv, panel.sen), 20.5) << t.Name() << ", " << WayName(way);
          }
          // The merge distance plays no part in the rule: both on the shipped panel's middle.
          const bool both = place.line == 15 && panel.drv == kPanels[0].drv;
          for (uint16_t merge : {0, 512}) {
            if (merge != 0 && !both) continue;
            StartPlain(merge, panel);
            const Outcome o = Run(scenes);
            EXPECT_TRUE(o.faults.empty()) << "a finger laid down " << place.name << ", " << t.Name() << ", "
                                          << WayName(way) << ", " << static_cast<int>(panel.drv) << "x"
                                          << static_cast<int>(panel.sen) << ", merge distance " << merge << Show(o);
          }
        }
      }
    }
  }
}

// A thumb pressing along row 0 of the 17 x 38 panel (lobes 2.53 apart, spread 0.78, the
// weaker 81 %, a node dip of 19 %), landing at 30 % of its signal: the border cuts its blob,
// and in its first frame as a panel gave it (noise and all) the region search leaves the
// node between its maxima out, so its two pieces lie 2.75 nodes apart with one column
// between them, farther than pairing joins pieces by distance, and their grown rectangles
// share just that column, which the small-pair touch rule does not count. The blob itself
// says one finger: a slot's first frame joins such pieces at any distance within a
// finger's size (two downs before, the second lifted a frame later).
TEST_F(CloseFingers, AThumbPressingAlongABorderIsOneTouchFromItsFirstFrame) {
  const Panel panel = kPanels[1];
  // Rows 0-3, columns 13-25 of the first frame; the rest of the panel read 0.
  static const int16_t kFirst[4][13] = {
      {-11, 5, 6, 29, 151, 117, 137, 201, 65, 14, -1, 7, -4},
      {-5, 4, -6, 20, 73, 56, 60, 91, 27, 6, 5, 8, 2},
      {3, -4, 5, 1, 7, 6, 8, 5, 8, -7, -1, -2, 2},
      {-5, 4, 12, 2, 2, -4, -1, -9, -12, -3, -10, -9, -7},
  };
  std::vector<int16_t> first(static_cast<size_t>(panel.drv) * panel.sen, 0);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 13; ++x) first[static_cast<size_t>(y) * panel.sen + 13 + x] = kFirst[y][x];
  }
  // The weaker lobe on column 17.3, the stronger (697 at full strength) on 19.83.
  Finger whole{0, 0, 17.30, 0.7817, 2.526, 1 / 0.8101, 697 * 0.8101};
  whole.alongRow = true;
  whole.onBorder = true;
  ASSERT_NEAR(whole.Dip(panel.drv, panel.sen), 19.3, 1.5);
  std::vector<Scene> scenes;
  for (int f = 0; f < 10; ++f) {
    Finger g = whole;
    g.peak = whole.peak * std::min(1.0, 0.3 + 0.7 * f / 4);
    scenes.push_back({g});
  }
  StartPlain(0, panel);
  const Outcome o = Run(scenes, {{0, first}});
  EXPECT_TRUE(o.faults.empty()) << Show(o);
}

// Where a thumb and two fingertips meet. Two fingertips 3 nodes apart at a spread of 1.0
// or 1.1, the second pressing at 450 against 700, dip no deeper than a thumb laid down
// (5-20 % on the nodes), and so do blobs whose weaker lobe stands at 46-61 % of the other:
// the valley joins them all. Read with each other's flank taken off, their tops stand at
// 64 % (or the share given) of each other, where a thumb's stand at 70 % or closer: each is
// a point of its own, landing together or the second beside the first held, in the middle
// of either panel. The thumbs of the table above (68 % and up) stay one point.
TEST_F(CloseFingers, TopsUnderTwoThirdsOfTheOtherAreFingertipsOfTheirOwnWhereTheValleyIsAThumbs) {
  const ThumbCase weakTops[] = {
      {0.75, 2.5, 0.614, 0, 5, false},  {0.9, 2.75, 0.46, 0.25, 15, true},  {1.0, 3.0, 0.551, 0.5, 5, false},
      {1.1, 3.0, 0.599, 0.25, 5, true}, {1.0, 3.0, 450.0 / 700, 0, 20, false}, {1.0, 3.0, 450.0 / 700, 0.5, 13, false},
      {1.1, 3.0, 450.0 / 700, 0, 7, false},  {1.1, 3.0, 450.0 / 700, 0.5, 1, false},
  };
  for (const ThumbCase& t : weakTops) {
    const double dip = t.At(0, 0).Dip();
    ASSERT_NEAR(dip, t.dip, 1.5) << t.Name();
    ASSERT_LE(dip, 20.5) << t.Name();
    for (const Panel& panel : kPanels) {
      for (bool alongRow : {false, true}) {
        const ThumbPlace place{alongRow ? "along row 7" : "down column 15", alongRow, alongRow ? 7 : 15};
        // The two lobes as two fingertips of their own.
        const Finger blob = t.At(0, 0, place, panel);
        const Finger first{0, blob.r, blob.c, t.spread, 0, 0, 670};
        const Finger second{1, blob.EndR(), blob.EndC(), t.spread, 0, 0, 670 * t.share};
        for (bool together : {true, false}) {
          StartPlain(0, panel);
          std::vector<Scene> scenes(together ? 0 : 4, Scene{first});
          for (int f = 0; f < 8; ++f) scenes.push_back({first, second});
          const Outcome o = Run(scenes);
          EXPECT_TRUE(o.faults.empty()) << t.Name() << ", share " << t.share << ", " << place.name << ", "
                                        << (together ? "landing together" : "the second beside the first held")
                                        << ", " << static_cast<int>(panel.drv) << "x" << static_cast<int>(panel.sen)
                                        << Show(o);
        }
      }
    }
  }
}

// A thumb laid down whose profile down its node column was read off a panel (a third of the
// end values one row further out), spread 1.0 across it, its maxima 3 rows apart: the same
// number of points in the middle and along each border, one where the profile dips by up
// to 20 %. The border cuts the blob's pieces, which pulls their positions off the ridge
// (5/16 of a node on column 0), so the valley must be read on the ridge, not on the line
// between the pieces' positions against a peak node on the ridge (which made the profile
// dipping 24 % one point on column 14 and two on column 0).
TEST_F(CloseFingers, AThumbRecordedDownAColumnIsJudgedAlikeInTheMiddleAndAlongEachBorder) {
  struct Profile {
    std::vector<double> values;  // down the column from row 5
    double dip;
  } profiles[] = {
      {{707, 505, 456, 603}, 24},
      {{707, 560, 500, 625}, 20},
      {{707, 520, 475, 590}, 19.5},
      {{681, 527, 511, 561}, 9},
  };
  for (const Profile& pr : profiles) {
    std::vector<double> along = {pr.values.front() / 3};
    along.insert(along.end(), pr.values.begin(), pr.values.end());
    along.push_back(pr.values.back() / 3);
    ASSERT_NEAR(100 * (1 - std::min(pr.values[1], pr.values[2]) / std::min(pr.values.front(), pr.values.back())),
                pr.dip, 0.5);
    for (const Panel& panel : kPanels) {
      size_t middle = 0;
      for (const ThumbPlace& place : kThumbPlaces) {
        const int last = place.alongRow ? panel.drv - 1 : panel.sen - 1;
        const int line = place.line < 0 ? last : (place.line == 15 ? 14 : place.line);
        StartPlain(0, panel);
        std::vector<int16_t> d(static_cast<size_t>(panel.drv) * panel.sen, 0);
        for (size_t k = 0; k < along.size(); ++k) {
          const int first = place.alongRow ? 10 : 4;  // the row / column of the first value
          for (int a = 0; a < (place.alongRow ? panel.drv : panel.sen); ++a) {
            const double v = along[k] * std::exp(-(a - line) * (a - line) / 2.0);
            const int y = place.alongRow ? a : first + static_cast<int>(k);
            const int x = place.alongRow ? first + static_cast<int>(k) : a;
            d[static_cast<size_t>(y) * panel.sen + x] = static_cast<int16_t>(v);
          }
        }
        std::map<int, AlgTouchPoint> pts;
        size_t most = 0;
        for (int f = 0; f < 8; ++f) {
          pts = TouchMap(d);
          if (f >= 1) most = std::max(most, pts.size());
        }
        char name[96];
        snprintf(name, sizeof(name), "profile dipping %.1f %% %s, %dx%d", pr.dip,
                 place.line == 15 ? "down column 14" : place.name, panel.drv, panel.sen);
        if (place.line == 15) middle = most;
        EXPECT_EQ(most, middle) << name << ": as many points as in the middle";
        if (pr.dip <= 20) {
          EXPECT_EQ(most, 1u) << name;
        }
        for (int f = 0; f < 4; ++f) TouchMap(std::vector<int16_t>(d.size(), 0));
      }
    }
  }
}

}  // namespace

namespace {

// A fingertip pressed and held still, then dragged: one point and one id from its landing
// to its lift, at any speed and angle. Held long enough, its slot is steady and the region
// search puts its last rectangle back as a region of its own, with the finger's leading
// flank outside it as a second piece: that piece is a flank of the one finger, not a
// fingertip beside it.
TEST_F(CloseFingers, AFingertipHeldThenDraggedStaysOnePoint) {
  struct Case {
    double spread;
    double peak;
    int held;
  };
  static const Case kCases[] = {{0.7, 700, 8}, {0.9, 700, 8}, {0.9, 400, 14}, {1.1, 700, 14}, {1.0, 400, 8}};
  for (const Panel& panel : kPanels) {
    for (const Case& k : kCases) {
      for (double speed : {0.1, 0.3, 1.0}) {
        for (double degrees : {0.0, 30.0, 60.0, 90.0}) {
          const double t = degrees * std::numbers::pi / 180;
          Finger f{0, 3.3, 6.2, k.spread, 0, 0, k.peak};
          std::vector<Scene> scenes(static_cast<size_t>(k.held), Scene{f});
          for (double gone = speed; gone <= 8; gone += speed) {
            Finger g = f;
            g.r += gone * std::sin(t);
            g.c += gone * std::cos(t);
            scenes.push_back({g});
          }
          StartPlain(0, panel);
          const Outcome o = Run(scenes);
          // A fast drag's point trails the finger by more than the reach the scenes check:
          // what counts here is one point, one id, one down.
          int downs = 0, most = 0;
          for (const auto& [id, n] : o.downs) downs += n;
          for (size_t i = 0; i < scenes.size(); ++i) most = std::max(most, o.live[i]);
          EXPECT_TRUE(downs == 1 && most == 1 && o.downs.size() == 1) << "spread " << k.spread << ", peak " << k.peak << ", held " << k.held
                                        << " frames, " << speed << " a frame at " << degrees << " degrees, "
                                        << static_cast<int>(panel.drv) << "x" << static_cast<int>(panel.sen)
                                        << Show(o);
        }
      }
    }
  }
}

}  // namespace

namespace {

// Under noise of 4-8 counts on every node in every frame, a thumb whose weaker lobe stands
// at 70 % of the other (the edge of the table's thumbs) reads on both sides of the tops'
// line from frame to frame; and two fingertips 3 nodes apart, the second at 68 % and
// pressing harder by 2 % a frame, stand on it as they press. Whatever each gives at its
// landing it keeps: one down per point, no count that changes while the fingers stay.
TEST_F(CloseFingers, UnderNoiseACountOnceGivenStaysWhileTheFingersStay) {
  const ThumbCase edge[] = {{1.0, 3.0, 0.70, 0, 17, false}, {1.1, 3.25, 0.70, 0.25, 17, false}};
  for (int noise : {4, 8}) {
    for (unsigned seed = 1; seed <= 6; ++seed) {
      for (const ThumbCase& t : edge) {
        StartPlain(0, kPanels[0]);
        noise_ = noise;
        rng_.seed(seed);
        const Outcome o = Run(std::vector<Scene>(12, Scene{t.At(0, 0)}));
        noise_ = 0;
        int downs = 0;
        for (const auto& [id, n] : o.downs) downs += n;
        EXPECT_EQ(downs, 1) << t.Name() << ", noise " << noise << ", seed " << seed << Show(o);
      }
      // The pressing pair, at 45 degrees.
      StartPlain(0, kPanels[0]);
      noise_ = noise;
      rng_.seed(seed);
      std::vector<Scene> scenes;
      for (int f = 0; f < 20; ++f) {
        const double p = 0.8 + 0.02 * std::min(f, 10);
        Finger a{0, 5.2, 12.1, 0.9, 0, 0, 700 * p};
        Finger b{1, 5.2 + 3 * std::sqrt(0.5), 12.1 + 3 * std::sqrt(0.5), 0.9, 0, 0, 476 * p};
        scenes.push_back({a, b});
      }
      const Outcome o = Run(scenes);
      noise_ = 0;
      int downs = 0, changes = 0;
      for (const auto& [id, n] : o.downs) downs += n;
      for (size_t f = 4; f < scenes.size(); ++f) changes += o.live[f] != o.live[f - 1] ? 1 : 0;
      EXPECT_LE(downs, 2) << "pressing pair, noise " << noise << ", seed " << seed << Show(o);
      EXPECT_EQ(changes, 0) << "pressing pair, noise " << noise << ", seed " << seed << Show(o);
    }
  }
}

// Two fingertips 3 nodes apart on a slant, the weaker at 70 % of the other, that land as one
// point, held 4 frames and then sliding together 0.3 node a frame: the valley read along the
// ridge between their pieces swings from a tenth to over a third as they cross the nodes.
// The one point they got as they landed stays one while they slide.
TEST_F(CloseFingers, TwoFingertipsKeptAsOneKeepTheirCountWhileSlidingOnASlant) {
  struct Pair {
    double r, c, spread, weaker, degrees;
  };
  static const Pair kPairs[] = {{5.6, 12.3, 0.88, 0.70, 45}};
  for (const Pair& k : kPairs) {
    for (double heading : {60.0, 120.0, 200.0}) {
      const double t = k.degrees * std::numbers::pi / 180, h = heading * std::numbers::pi / 180;
      std::vector<Scene> scenes;
      for (int f = 0; f < 20; ++f) {
        const double gone = f < 4 ? 0 : 0.3 * (f - 4);
        const double r = k.r + gone * std::sin(h), c = k.c + gone * std::cos(h);
        Finger a{0, r, c, k.spread, 0, 0, 700};
        Finger b{1, r + 3 * std::sin(t), c + 3 * std::cos(t), k.spread, 0, 0, 700 * k.weaker};
        scenes.push_back({a, b});
      }
      StartPlain(0, kPanels[0]);
      const Outcome o = Run(scenes);
      int downs = 0, changes = 0;
      for (const auto& [id, n] : o.downs) downs += n;
      for (size_t f = 3; f < scenes.size(); ++f) changes += o.live[f] != o.live[f - 1] ? 1 : 0;
      EXPECT_TRUE(changes == 0 && downs == 1) << changes << " count changes, " << downs << " downs: weaker " << k.weaker
                                              << ", spread " << k.spread << " at " << k.degrees
                                              << " degrees, sliding at " << heading << Show(o);
    }
  }
}

}  // namespace

namespace {

// A finger laid on a diagonal, narrower across (0.785) than along (0.97), its lobes 2.75
// nodes apart with the weaker at 76 %: the nodes on its diagonal read 536, 475, 670, an 11 %
// dip. Read along its ridge of nodes it is one finger; on the straight line between its
// peak nodes, where no node lies, the narrow blob reads a valley twice as deep.
TEST_F(CloseFingers, AFingerLaidOnADiagonalNarrowerAcrossIsOnePoint) {
  struct Laid {
    double r, c, degrees, along, across, lobes, weaker;
    int SignalAt(int y, int x) const {
      const double t = degrees * std::numbers::pi / 180;
      const double l = (y - r) * std::sin(t) + (x - c) * std::cos(t);
      const double a = -(y - r) * std::cos(t) + (x - c) * std::sin(t);
      return static_cast<int>(700 * touch_host::testsupport::contact_model::Lobes(l, a, lobes, along, across, weaker));
    }
  };
  static const Laid kLaid[] = {{6.832, 14.856, 45, 0.97, 0.785, 2.75, 0.76},
                               {6.832, 14.856, 135, 0.97, 0.785, 2.75, 0.76},
                               {7.25, 13.6, 45, 1.0, 0.75, 3.0, 0.85}};
  for (const Panel& panel : kPanels) {
    for (const Laid& l : kLaid) {
      StartPlain(0, panel);
      std::vector<int16_t> d(static_cast<size_t>(panel.drv) * panel.sen, 0);
      for (int y = 0; y < panel.drv; ++y)
        for (int x = 0; x < panel.sen; ++x) d[static_cast<size_t>(y) * panel.sen + x] = static_cast<int16_t>(l.SignalAt(y, x));
      int downs = 0;
      size_t most = 0;
      for (int f = 0; f < 10; ++f) {
        const auto pts = TouchMap(d);
        most = std::max(most, pts.size());
        for (const auto& [id, p] : pts) downs += p.action == ALG_TOUCH_ACTION_DOWN ? 1 : 0;
      }
      EXPECT_EQ(most, 1u) << l.degrees << " degrees, " << l.lobes << " apart, " << static_cast<int>(panel.drv) << "x"
                          << static_cast<int>(panel.sen);
      EXPECT_EQ(downs, 1);
      for (int f = 0; f < 4; ++f) TouchMap(std::vector<int16_t>(d.size(), 0));
    }
  }
}

}  // namespace
