// End to end: touches on synthetic 17 x 38 frames through the real plug-in and the touch
// host, read back as the points the host was handed.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "luma_edge.h"
#include "luma_frame.h"
#include "touch_host/host.h"

namespace {

using touch_host::HostStatus;
using touch_host::TouchHost;

struct Finger {
  int tx;
  int rx;
};

class LumaPoints : public ::testing::Test {
 protected:
  void SetUp() override {
    touch_host::HostOptions options;
    options.log_sink = [](const touch_host::LogLine &) {};
    host_ = std::make_unique<TouchHost>(options);
    std::string error;
    ASSERT_TRUE(host_->load_alg(std::string(VENDOR_PLUGIN_DIR) + "/libtapsense_alg.so", &error)) << error;
    int32_t result = -1;
    ASSERT_EQ(host_->init(&result), HostStatus::kOk);
    LumaFrame base;
    ASSERT_EQ(host_->process_frame(base.frame()), HostStatus::kOk);
  }

  // One frame with these fingers; the points the host was handed for it.
  std::vector<AlgTouchPoint> Touch(const std::vector<Finger> &fingers) {
    LumaFrame f;
    for (const Finger &g : fingers) Press(f, g);
    host_->clear_record();
    EXPECT_EQ(host_->process_frame(f.frame()), HostStatus::kOk);
    const touch_host::HostRecord r = host_->snapshot();
    EXPECT_EQ(r.reports.size(), 1u);
    return r.reports.empty() ? std::vector<AlgTouchPoint>{} : r.reports.back().points;
  }

  // A fingertip lowers the mutual raw values most at its node, half as much on the four
  // lines beside it and a quarter on the diagonals. It raises the self raw values of its
  // drive and sense lines the same way along each line, on both frequency sets.
  static void Press(LumaFrame &f, const Finger &g) {
    for (int dt = -1; dt <= 1; ++dt) {
      for (int dr = -1; dr <= 1; ++dr) {
        const int t = g.tx + dt;
        const int r = g.rx + dr;
        if (t < 0 || t >= LumaFrame::kTx || r < 0 || r >= LumaFrame::kRx) continue;
        const int shift = (dt != 0) + (dr != 0);
        f.At(t, r) = static_cast<int16_t>(std::min<int>(f.At(t, r), LumaFrame::kRawLevel - (kDepth >> shift)));
      }
    }
    for (int d = -1; d <= 1; ++d) {
      const int16_t raised = static_cast<int16_t>(LumaFrame::kRawLevel + (kDepth >> (d != 0)));
      const int t = g.tx + d;
      const int r = LumaFrame::kTx + g.rx + d;
      for (auto *line : {&f.self1, &f.self2}) {
        if (t >= 0 && t < LumaFrame::kTx) (*line)[t] = std::max((*line)[t], raised);
        if (g.rx + d >= 0 && g.rx + d < LumaFrame::kRx) (*line)[r] = std::max((*line)[r], raised);
      }
    }
  }

  // The node centres of this panel in 1/100 pixel: an even grid over 1220 x 2712 pixels. A
  // symmetric fingertip is reported at its node's centre, within a pixel (the line pitch is
  // about 72 pixels; the grid's whole-pixel steps are not quite even).
  static constexpr int32_t kPixel = 100;
  static int32_t NodeX(int tx) { return (36 + tx * (1185 - 36) / 16) * 100; }
  static int32_t NodeY(int rx) { return (20 + rx * (2680 - 20) / 37) * 100; }

  static constexpr int16_t kDepth = 800;
  std::unique_ptr<TouchHost> host_;
};

TEST_F(LumaPoints, OneFingerGoesDownMovesAndLiftsOnceAtItsLastPosition) {
  std::vector<AlgTouchPoint> p = Touch({{8, 10}});
  ASSERT_EQ(p.size(), 1u);
  EXPECT_EQ(p[0].action, ALG_TOUCH_ACTION_DOWN);
  EXPECT_EQ(p[0].id, 0);
  EXPECT_NEAR(p[0].x, NodeX(8), kPixel);
  EXPECT_NEAR(p[0].y, NodeY(10), kPixel);
  // The smoother follows a moving finger part of the way each frame: every report lies
  // beyond the previous one and short of the finger.
  int32_t last_y = p[0].y;
  for (int rx = 11; rx <= 14; ++rx) {
    p = Touch({{8, rx}});
    ASSERT_EQ(p.size(), 1u) << rx;
    EXPECT_EQ(p[0].action, ALG_TOUCH_ACTION_MOVE) << rx;
    EXPECT_EQ(p[0].id, 0);
    EXPECT_NEAR(p[0].x, NodeX(8), kPixel);
    EXPECT_GT(p[0].y, last_y) << rx;
    EXPECT_LE(p[0].y, NodeY(rx) + kPixel) << rx;
    last_y = p[0].y;
  }
  // Once the finger rests it catches up within a few frames.
  for (int frame = 0; frame < 8; ++frame) p = Touch({{8, 14}});
  ASSERT_EQ(p.size(), 1u);
  EXPECT_NEAR(p[0].y, NodeY(14), kPixel);
  p = Touch({});
  ASSERT_EQ(p.size(), 1u);
  EXPECT_EQ(p[0].action, ALG_TOUCH_ACTION_UP);
  EXPECT_EQ(p[0].id, 0);
  EXPECT_NEAR(p[0].x, NodeX(8), kPixel);
  EXPECT_NEAR(p[0].y, NodeY(14), kPixel);
  // Exactly one up: the frames after it hand the host no point.
  EXPECT_TRUE(Touch({}).empty());
  EXPECT_TRUE(Touch({}).empty());
}

TEST_F(LumaPoints, TwoFingersTwoLinesApartStayTwo) {
  Touch({{8, 10}, {8, 12}});
  const std::vector<AlgTouchPoint> p = Touch({{8, 10}, {8, 12}});
  ASSERT_EQ(p.size(), 2u);
  EXPECT_EQ(p[0].id, 0);
  EXPECT_EQ(p[1].id, 1);
  EXPECT_EQ(p[0].action, ALG_TOUCH_ACTION_MOVE);
  EXPECT_EQ(p[1].action, ALG_TOUCH_ACTION_MOVE);
  EXPECT_LT(p[0].y, NodeY(11));
  EXPECT_GT(p[1].y, NodeY(11));
}

// One touch whose top is flat over two nodes, or whose two highest nodes are diagonal
// neighbours, is one finger: one point, between the two nodes.
TEST_F(LumaPoints, FlatToppedOrDiagonalTouchGivesOnePoint) {
  for (const Finger second : {Finger{8, 11}, Finger{9, 11}}) {
    SetUp();
    for (int frame = 0; frame < 3; ++frame) {
      const std::vector<AlgTouchPoint> p = Touch({{8, 10}, second});
      ASSERT_EQ(p.size(), 1u) << second.tx << "," << second.rx << " frame " << frame;
      EXPECT_EQ(p[0].action, frame == 0 ? ALG_TOUCH_ACTION_DOWN : ALG_TOUCH_ACTION_MOVE);
      EXPECT_GE(p[0].x, NodeX(8) - kPixel);
      EXPECT_LE(p[0].x, NodeX(second.tx) + kPixel);
      EXPECT_GT(p[0].y, NodeY(10));
      EXPECT_LT(p[0].y, NodeY(11));
    }
  }
}

// A noise stripe down a sense line beside a finger: its frames are dropped three in a row,
// the fourth is let through, and the finger is reported where it rests.
TEST_F(LumaPoints, StripeNoiseDropsThreeFramesThenPasses) {
  ASSERT_EQ(Touch({{8, 10}}).size(), 1u);
  LumaFrame striped;
  Press(striped, {8, 10});
  for (int t = 0; t < 6; ++t) striped.At(t, 11) = static_cast<int16_t>(LumaFrame::kRawLevel + (t % 2 == 0 ? -150 : 150));
  for (int frame = 0; frame < 4; ++frame) {
    host_->clear_record();
    ASSERT_EQ(host_->process_frame(LumaFrame(striped).frame()), HostStatus::kOk);
    const touch_host::HostRecord r = host_->snapshot();
    if (frame < 3) {
      EXPECT_TRUE(r.reports.empty()) << frame;
      continue;
    }
    ASSERT_EQ(r.reports.size(), 1u);
    ASSERT_EQ(r.reports.back().points.size(), 1u);
    EXPECT_EQ(r.reports.back().points[0].action, ALG_TOUCH_ACTION_MOVE);
    EXPECT_NEAR(r.reports.back().points[0].x, NodeX(8), kPixel);
    EXPECT_NEAR(r.reports.back().points[0].y, NodeY(10), kPixel);
  }
}

// A water streak beside a finger: a ridge along the drive line whose lines above and below
// read negative (the water couples them), with nothing on the self lines. It is strong and
// wide enough to pass the point selection; the water-proof classification drops it, and the
// finger is reported throughout.
TEST_F(LumaPoints, WaterStreakBesideAFingerIsDroppedAndTheFingerKept) {
  std::vector<AlgTouchPoint> p = Touch({{8, 10}});
  ASSERT_EQ(p.size(), 1u);
  const int32_t id = p[0].id;
  for (int frame = 0; frame < 6; ++frame) {
    LumaFrame f;
    Press(f, {8, 10});
    f.At(8, 16) = LumaFrame::kRawLevel - 600;
    f.At(8, 15) = f.At(8, 17) = LumaFrame::kRawLevel - 300;
    f.At(7, 16) = f.At(9, 16) = LumaFrame::kRawLevel + 100;
    host_->clear_record();
    ASSERT_EQ(host_->process_frame(f.frame()), HostStatus::kOk);
    const touch_host::HostRecord r = host_->snapshot();
    ASSERT_EQ(r.reports.size(), 1u) << frame;
    ASSERT_EQ(r.reports.back().points.size(), 1u) << frame;
    const AlgTouchPoint &q = r.reports.back().points[0];
    EXPECT_EQ(q.id, id);
    EXPECT_EQ(q.action, ALG_TOUCH_ACTION_MOVE);
    EXPECT_NEAR(q.x, NodeX(8), kPixel);
    EXPECT_NEAR(q.y, NodeY(10), kPixel);
  }
}

// With pocket-palm detection armed by the host, a palm over the panel (the phone going into a
// pocket face first) tells the host through its state-change slot on the second palm frame,
// and again when the palm has gone.
TEST_F(LumaPoints, ArmedPocketPalmTellsTheHostOnTheSecondPalmFrame) {
  common_data arm{};
  arm.cmd = 0;
  arm.mode = 26;
  arm.count = 1;
  arm.values[0] = 1;
  ASSERT_EQ(host_->send_common_data(arm), HostStatus::kOk);
  auto palm_frame = [&](bool palm) {
    LumaFrame f;
    if (palm) {
      // A palm: seven drive lines by seventeen sense lines, deepest in the middle.
      for (int t = 4; t <= 10; ++t) {
        for (int r = 8; r <= 24; ++r) {
          const int depth = 900 - 40 * std::max(std::abs(t - 7), std::abs(r - 16) / 2);
          f.At(t, r) = static_cast<int16_t>(LumaFrame::kRawLevel - depth);
        }
      }
      for (auto *line : {&f.self1, &f.self2}) {
        for (int i = 4; i <= 10; ++i) (*line)[i] = LumaFrame::kRawLevel + 600;
        for (int i = 8; i <= 24; ++i) (*line)[LumaFrame::kTx + i] = LumaFrame::kRawLevel + 600;
      }
    }
    host_->clear_record();
    EXPECT_EQ(host_->process_frame(f.frame()), HostStatus::kOk);

    return host_->snapshot().state_changes;
  };
  EXPECT_TRUE(palm_frame(true).empty());
  EXPECT_EQ(palm_frame(true), std::vector<uint8_t>{1});
  EXPECT_TRUE(palm_frame(true).empty());
  EXPECT_EQ(palm_frame(false), std::vector<uint8_t>{0});
}

TEST_F(LumaPoints, CrossingFingersKeepTheirIds) {
  // One finger walks up the sense lines on drive line 4, the other down them on line 12;
  // they pass each other between frames. Where both press near the same sense lines the
  // front filter's line correction moves each by a pixel or two.
  constexpr int32_t kNear = 3 * kPixel;
  std::vector<AlgTouchPoint> p = Touch({{4, 10}, {12, 18}});
  ASSERT_EQ(p.size(), 2u);
  const int32_t first_id = p[0].id;
  const int32_t second_id = p[1].id;
  EXPECT_NE(first_id, second_id);
  // The smoother follows each finger part of the way every frame: the first one's reports
  // climb toward it, the second one's fall toward it.
  int32_t first_y = p[0].x < NodeX(8) ? p[0].y : p[1].y;
  int32_t second_y = p[0].x < NodeX(8) ? p[1].y : p[0].y;
  for (int step = 1; step <= 8; ++step) {
    p = Touch({{4, 10 + step}, {12, 18 - step}});
    ASSERT_EQ(p.size(), 2u) << step;
    for (const AlgTouchPoint &q : p) {
      EXPECT_EQ(q.action, ALG_TOUCH_ACTION_MOVE);
      if (q.x < NodeX(8)) {
        EXPECT_NEAR(q.x, NodeX(4), kPixel);
        EXPECT_EQ(q.id, first_id) << step;
        EXPECT_GT(q.y, first_y) << step;
        EXPECT_LE(q.y, NodeY(10 + step) + kNear) << step;
        first_y = q.y;
      } else {
        EXPECT_NEAR(q.x, NodeX(12), kPixel);
        EXPECT_EQ(q.id, second_id) << step;
        EXPECT_LT(q.y, second_y) << step;
        EXPECT_GE(q.y, NodeY(18 - step) - kNear) << step;
        second_y = q.y;
      }
    }
  }
  // At rest they catch up, each keeping its id.
  for (int frame = 0; frame < 8; ++frame) p = Touch({{4, 18}, {12, 10}});
  ASSERT_EQ(p.size(), 2u);
  for (const AlgTouchPoint &q : p) {
    const bool first = q.id == first_id;
    EXPECT_NEAR(q.y, NodeY(first ? 18 : 10), kNear);
  }
}

// The under-display sensor lies under drive lines 6 to 10 and sense lines 31 to 35; node
// (8, 33) is at (9760, 38272) in panel units, inside the area where a new fingerprint touch
// is taken. A finger resting there is wider than a fingertip tap: it lowers the raw values
// over the two lines around it too (a fingertip tap there covers too little of the sensor).
TEST_F(LumaPoints, FingerOnTheFingerprintSensorTellsTheHostDownThenUp) {
  common_data enable{};
  enable.cmd = COMMON_DATA_CMD_SET_MODE_VALUE;
  enable.mode = COMMON_DATA_MODE_FINGERPRINT_ENABLE;
  enable.count = 1;
  enable.values[0] = 1;
  ASSERT_EQ(host_->send_common_data(enable), HostStatus::kOk);

  LumaFrame on;
  for (int dt = -2; dt <= 2; ++dt) {
    for (int dr = -2; dr <= 2; ++dr) {
      const int depth = kDepth * (8 - dt * dt - dr * dr) / 8;
      on.At(8 + dt, 33 + dr) = static_cast<int16_t>(LumaFrame::kRawLevel - depth);
    }
  }
  for (int k = 0; k < 3; ++k) {
    host_->clear_record();
    ASSERT_EQ(host_->process_frame(LumaFrame(on).frame()), HostStatus::kOk);
    const touch_host::HostRecord r = host_->snapshot();
    EXPECT_EQ(r.fingerprint_states, k == 0 ? std::vector<uint8_t>{1} : std::vector<uint8_t>{}) << k;
    ASSERT_EQ(r.reports.size(), 1u);
    ASSERT_EQ(r.reports.back().points.size(), 1u);
    EXPECT_NEAR(r.reports.back().points[0].x, NodeX(8), kPixel);
    EXPECT_NEAR(r.reports.back().points[0].y, NodeY(33), kPixel);
    EXPECT_EQ(r.reports.back().points[0].action, k == 0 ? ALG_TOUCH_ACTION_DOWN : ALG_TOUCH_ACTION_MOVE);
  }
  LumaFrame off;
  host_->clear_record();
  ASSERT_EQ(host_->process_frame(off.frame()), HostStatus::kOk);
  EXPECT_EQ(host_->snapshot().fingerprint_states, std::vector<uint8_t>{0});
  ASSERT_EQ(host_->snapshot().reports.size(), 1u);
  ASSERT_EQ(host_->snapshot().reports.back().points.size(), 1u);
  EXPECT_EQ(host_->snapshot().reports.back().points[0].action, ALG_TOUCH_ACTION_UP);
  host_->clear_record();
  ASSERT_EQ(host_->process_frame(off.frame()), HostStatus::kOk);
  EXPECT_TRUE(host_->snapshot().fingerprint_states.empty());
}

// Without the host's leave to report, the same finger is an ordinary touch.
TEST_F(LumaPoints, FingerprintSensorIsQuietUntilTheHostEnablesIt) {
  for (int k = 0; k < 2; ++k) Touch({{8, 33}});
  EXPECT_TRUE(host_->snapshot().fingerprint_states.empty());
  Touch({});
  EXPECT_TRUE(host_->snapshot().fingerprint_states.empty());
  common_data enable{};
  enable.cmd = COMMON_DATA_CMD_SET_MODE_VALUE;
  enable.mode = COMMON_DATA_MODE_FINGERPRINT_ENABLE;
  enable.count = 1;
  enable.values[0] = 1;
  ASSERT_EQ(host_->send_common_data(enable), HostStatus::kOk);
  // A fingertip tap on the sensor covers too little of it to be a fingerprint touch.
  for (int k = 0; k < 2; ++k) Touch({{8, 33}});
  Touch({});
  EXPECT_TRUE(host_->snapshot().fingerprint_states.empty());
}


// ---- Edge restraint -----------------------------------------------------------------------

// A palm lying along the left border: drive line 0 pressed over fifteen sense lines, most in
// the middle, the line beside it a quarter as much; the self lines it covers rise with it.
void PressPalm(LumaFrame &f, int centre_rx) {
  for (int rx = centre_rx - 7; rx <= centre_rx + 7; ++rx) {
    const int depth = 900 - 20 * std::abs(rx - centre_rx);
    f.At(0, rx) = static_cast<int16_t>(LumaFrame::kRawLevel - depth);
    f.At(1, rx) = static_cast<int16_t>(LumaFrame::kRawLevel - depth / 4);
    // The self values of the sense lines it covers rise with it, as a finger's do.
    const int16_t raised = static_cast<int16_t>(LumaFrame::kRawLevel + depth);
    for (auto *line : {&f.self1, &f.self2}) {
      int16_t &v = (*line)[LumaFrame::kTx + rx];
      v = std::max(v, raised);
    }
  }
  for (auto *line : {&f.self1, &f.self2}) {
    (*line)[0] = std::max<int16_t>((*line)[0], LumaFrame::kRawLevel + 900);
    (*line)[1] = std::max<int16_t>((*line)[1], LumaFrame::kRawLevel + 225);
  }
}

class LumaEdge : public LumaPoints {
 protected:
  std::vector<AlgTouchPoint> Frame(const std::vector<Finger> &fingers, bool palm) {
    LumaFrame f;
    if (palm) PressPalm(f, 15);
    for (const Finger &g : fingers) Press(f, g);
    host_->clear_record();
    EXPECT_EQ(host_->process_frame(f.frame()), HostStatus::kOk);
    const touch_host::HostRecord r = host_->snapshot();
    return r.reports.empty() ? std::vector<AlgTouchPoint>{} : r.reports.back().points;
  }
  const LumaEdgePalmSta *Records() const {
    return static_cast<const LumaEdgePalmSta *>(host_->alg_symbol("s_stEdgePalmSta"));
  }
  // The host's edge zones: the outer band at the left and right borders, in pixels.
  void SetOuterSideBand(uint32_t pixels) {
    common_data zones{};
    zones.cmd = 7;
    zones.mode = 15;
    const uint32_t record[8] = {2, 2, 0, 0, pixels, 0, 0, 0};
    zones.count = 8;
    std::copy(std::begin(record), std::end(record), zones.values);
    ASSERT_EQ(host_->send_common_data(zones), HostStatus::kOk);
  }
};

TEST_F(LumaEdge, PalmAtTheBorderIsHeldAndItsLiftReportsNothing) {
  ASSERT_NE(Records(), nullptr);
  for (int k = 0; k < 6; ++k) {
    EXPECT_TRUE(Frame({}, true).empty()) << k;
    EXPECT_EQ(Records()[0].ucHold, 1) << k;
    EXPECT_EQ(Records()[0].ucRestrainKind, 4) << k;
  }
  for (int k = 0; k < 3; ++k) EXPECT_TRUE(Frame({}, false).empty()) << k;
}

// The palm shares the finger's sense lines: the front filter's line correction moves the
// finger by a pixel or two, the restraint not at all.
TEST_F(LumaEdge, FingerInTheMiddleIsUntouchedBesideAHeldPalm) {
  constexpr int32_t kNear = 3 * kPixel;
  Frame({}, true);
  std::vector<AlgTouchPoint> p = Frame({{8, 19}}, true);
  ASSERT_EQ(p.size(), 1u);
  EXPECT_EQ(p[0].action, ALG_TOUCH_ACTION_DOWN);
  EXPECT_NEAR(p[0].x, NodeX(8), kPixel);
  EXPECT_NEAR(p[0].y, NodeY(19), kNear);
  const int32_t id = p[0].id;
  EXPECT_EQ(Records()[id].ucRestrainKind, 0);
  int32_t last_y = p[0].y;
  for (int rx = 20; rx <= 23; ++rx) {
    p = Frame({{8, rx}}, true);
    ASSERT_EQ(p.size(), 1u) << rx;
    EXPECT_EQ(p[0].action, ALG_TOUCH_ACTION_MOVE);
    EXPECT_EQ(p[0].id, id);
    EXPECT_GT(p[0].y, last_y) << rx;  // followed by the smoother, part of the way a frame
    EXPECT_LE(p[0].y, NodeY(rx) + kNear) << rx;
    last_y = p[0].y;
  }
  for (int frame = 0; frame < 8; ++frame) p = Frame({{8, 23}}, true);
  ASSERT_EQ(p.size(), 1u);
  EXPECT_NEAR(p[0].y, NodeY(23), kNear);
  p = Frame({}, true);
  ASSERT_EQ(p.size(), 1u);
  EXPECT_EQ(p[0].action, ALG_TOUCH_ACTION_UP);
  EXPECT_EQ(p[0].id, id);
  EXPECT_NEAR(p[0].y, NodeY(23), kNear);
  EXPECT_TRUE(Frame({}, false).empty());
}

// A fingertip at the very border is held; once it has slid along the border further than
// it is wide it is a finger at work, reported first where it went down.
TEST_F(LumaEdge, FingerSlidingAlongTheBorderIsReleasedAtItsDownPosition) {
  SetOuterSideBand(80);
  for (int k = 0; k < 3; ++k) {
    EXPECT_TRUE(Frame({{0, 10}}, false).empty()) << k;
    EXPECT_EQ(Records()[0].ucRestrainKind, 1) << k;
  }
  EXPECT_TRUE(Frame({{0, 11}}, false).empty());
  std::vector<AlgTouchPoint> p = Frame({{0, 12}}, false);
  ASSERT_EQ(p.size(), 1u);
  EXPECT_EQ(p[0].action, ALG_TOUCH_ACTION_DOWN);
  EXPECT_NEAR(p[0].y, NodeY(10), kPixel);
  EXPECT_EQ(Records()[0].ucRestrainKind, 0);
  EXPECT_EQ(Records()[0].ucReported, 1);
  // From its down position the touch glides to the finger: the restraint hands the smoother
  // a forced, halved step for the frames after the release.
  p = Frame({{0, 13}}, false);
  ASSERT_EQ(p.size(), 1u);
  EXPECT_EQ(p[0].action, ALG_TOUCH_ACTION_MOVE);
  EXPECT_GT(p[0].y, NodeY(10) + kPixel);
  EXPECT_LE(p[0].y, NodeY(13) + kPixel);
  // The finger rests: its raw movement is nil, so the smoother's running-mean cap lets the
  // report close in a little every frame, never past the finger.
  int32_t last_y = p[0].y;
  for (int frame = 0; frame < 12; ++frame) {
    p = Frame({{0, 13}}, false);
    ASSERT_EQ(p.size(), 1u);
    EXPECT_GT(p[0].y, last_y) << frame;
    EXPECT_LE(p[0].y, NodeY(13) + kPixel) << frame;
    last_y = p[0].y;
  }
  p = Frame({}, false);
  ASSERT_EQ(p.size(), 1u);
  EXPECT_EQ(p[0].action, ALG_TOUCH_ACTION_UP);
}

}  // namespace

namespace {

// ---- Grip -----------------------------------------------------------------------------------

// A fingertip of a hand holding the phone, pressed against the left border on drive line 0:
// the line beside it carries `inner` percent of its signal.
void PressGripTip(LumaFrame &f, int rx, int inner) {
  for (int dr = -1; dr <= 1; ++dr) {
    const int r = rx + dr;
    const int depth = dr == 0 ? 800 : 400;
    f.At(0, r) = static_cast<int16_t>(LumaFrame::kRawLevel - depth);
    f.At(1, r) = static_cast<int16_t>(LumaFrame::kRawLevel - depth * inner / 100);
    const int16_t raised = static_cast<int16_t>(LumaFrame::kRawLevel + depth);
    for (auto *line : {&f.self1, &f.self2}) {
      int16_t &v = (*line)[LumaFrame::kTx + r];
      v = std::max(v, raised);
    }
  }
  for (auto *line : {&f.self1, &f.self2}) {
    (*line)[0] = std::max<int16_t>((*line)[0], LumaFrame::kRawLevel + 800);
    (*line)[1] = std::max<int16_t>((*line)[1], static_cast<int16_t>(LumaFrame::kRawLevel + 8 * inner));
  }
}

class LumaGrip : public LumaEdge {
 protected:
  std::vector<AlgTouchPoint> Grip(const std::vector<int> &tips, int inner, const std::vector<Finger> &fingers) {
    LumaFrame f;
    for (const int rx : tips) PressGripTip(f, rx, inner);
    for (const Finger &g : fingers) Press(f, g);
    host_->clear_record();
    EXPECT_EQ(host_->process_frame(f.frame()), HostStatus::kOk);
    const touch_host::HostRecord r = host_->snapshot();
    return r.reports.empty() ? std::vector<AlgTouchPoint>{} : r.reports.back().points;
  }
  const LumaGrabSta &Grab() const { return *static_cast<const LumaGrabSta *>(host_->alg_symbol("g_stGrabSta")); }
};

// A hand closes on the left border: two fingertips press against drive line 0 and, over
// the first frames, flatten so that the line beside it takes on more and more of their
// signal. That rising ratio is what tells a grip from a finger resting at the border.
TEST_F(LumaGrip, HandGrippingTheBorderIsHeldAndAFingerInTheMiddleIsReported) {
  const std::vector<int> hand = {8, 26};
  for (int k = 0; k < 20; ++k) {
    EXPECT_TRUE(Grip(hand, k < 3 ? 3 : 60, {}).empty()) << k;
    EXPECT_EQ(Records()[0].ucHold, 1) << k;
    EXPECT_EQ(Records()[1].ucHold, 1) << k;
  }
  // The twentieth sample decides: both fingertips grip.
  for (int id = 0; id < 2; ++id) {
    EXPECT_EQ(Records()[id].stGrip.ucDecided, 1) << id;
    EXPECT_EQ(Records()[id].stGrip.ucGripKind, 1) << id;
  }
  EXPECT_TRUE(Grip(hand, 60, {}).empty());
  EXPECT_EQ(Grab().ucGripKindCnt, 2);

  // A finger in the middle goes down, moves and lifts, untouched by the grip.
  constexpr int32_t kNear = 3 * kPixel;
  std::vector<AlgTouchPoint> p = Grip(hand, 60, {{8, 19}});
  ASSERT_EQ(p.size(), 1u);
  EXPECT_EQ(p[0].action, ALG_TOUCH_ACTION_DOWN);
  const int32_t id = p[0].id;
  EXPECT_GE(id, 2);
  EXPECT_NEAR(p[0].x, NodeX(8), kPixel);
  EXPECT_NEAR(p[0].y, NodeY(19), kNear);
  int32_t last_y = p[0].y;
  for (int rx = 20; rx <= 22; ++rx) {
    p = Grip(hand, 60, {{8, rx}});
    ASSERT_EQ(p.size(), 1u) << rx;
    EXPECT_EQ(p[0].action, ALG_TOUCH_ACTION_MOVE);
    EXPECT_EQ(p[0].id, id);
    EXPECT_GT(p[0].y, last_y) << rx;  // followed by the smoother, part of the way a frame
    EXPECT_LE(p[0].y, NodeY(rx) + kNear) << rx;
    last_y = p[0].y;
  }
  p = Grip(hand, 60, {});
  ASSERT_EQ(p.size(), 1u);
  EXPECT_EQ(p[0].action, ALG_TOUCH_ACTION_UP);
  EXPECT_EQ(p[0].id, id);

  // The grip widens the border: a finger down on the second drive line, next to the hand, is
  // held for a while (once the hand has gone the same finger is reported at once, below).
  for (int k = 0; k < 10; ++k) EXPECT_TRUE(Grip(hand, 60, {{1, 17}}).empty()) << k;
  EXPECT_EQ(Records()[2].ucRestrainKind, 3);
  EXPECT_EQ(Records()[2].ucHold, 1);
  // Lifted, it was a tap: reported once where it went down.
  p = Grip(hand, 60, {});
  ASSERT_EQ(p.size(), 1u);
  EXPECT_EQ(p[0].action, ALG_TOUCH_ACTION_DOWN);
  EXPECT_NEAR(p[0].y, NodeY(17), kNear);
  p = Grip(hand, 60, {});
  ASSERT_EQ(p.size(), 1u);
  EXPECT_EQ(p[0].action, ALG_TOUCH_ACTION_UP);

  // The hand leaves: nothing is reported for it, and the grip ends with it.
  EXPECT_TRUE(Grip({}, 60, {}).empty());
  EXPECT_EQ(Grab().ucGripKindCnt, 0);
  EXPECT_EQ(Grab().ucGripFlagCnt, 0);
  EXPECT_TRUE(Grip({}, 60, {}).empty());
  p = Grip({}, 60, {{1, 17}});
  ASSERT_EQ(p.size(), 1u);
  EXPECT_EQ(p[0].action, ALG_TOUCH_ACTION_DOWN);
  EXPECT_NEAR(p[0].y, NodeY(17), kNear);
  EXPECT_EQ(Grab().ucGripKindCnt, 0);
  p = Grip({}, 60, {});
  ASSERT_EQ(p.size(), 1u);
  EXPECT_EQ(p[0].action, ALG_TOUCH_ACTION_UP);
}

// A fingertip resting at the border with a steady ratio is no grip: held while it rests, it
// is reported once where it went down when it lifts. The same stay as a gripping hand is
// dropped without a report.
TEST_F(LumaGrip, OnlyAGripIsDroppedOnItsLift) {
  struct Case {
    const char *name;
    int first_inner;
    uint8_t grip_kind;
    size_t reports_on_lift;
  };
  const Case cases[] = {{"steady fingertip", 50, 0, 1}, {"closing hand", 3, 1, 0}};
  for (const Case &c : cases) {
    SetUp();
    for (int k = 0; k < 20; ++k) EXPECT_TRUE(Grip({8}, k < 3 ? c.first_inner : 50, {}).empty()) << c.name << k;
    EXPECT_EQ(Records()[0].stGrip.ucDecided, 1) << c.name;
    EXPECT_EQ(Records()[0].stGrip.ucGripKind, c.grip_kind) << c.name;
    const std::vector<AlgTouchPoint> lift = Grip({}, 0, {});
    ASSERT_EQ(lift.size(), c.reports_on_lift) << c.name;
    if (!lift.empty()) {
      EXPECT_EQ(lift[0].action, ALG_TOUCH_ACTION_DOWN) << c.name;
      EXPECT_NEAR(lift[0].y, NodeY(8), kPixel) << c.name;
      const std::vector<AlgTouchPoint> up = Grip({}, 0, {});
      ASSERT_EQ(up.size(), 1u) << c.name;
      EXPECT_EQ(up[0].action, ALG_TOUCH_ACTION_UP) << c.name;
    }
    EXPECT_TRUE(Grip({}, 0, {}).empty()) << c.name;
  }
}

}  // namespace
