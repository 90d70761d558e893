// The whole touch road with the production algorithms: the simulated driver pushes
// controller frames with fingers pressed into them, the real HAL module decodes them, the
// production algorithm finds and tracks the fingers itself, and the HAL's report interface
// writes the points as multi-touch events on the recording touchscreen. The events are read
// back as a reader of the protocol would, so every piece between the driver's frame and the
// touchscreen is checked together.
//
// Positions are checked with tolerances of a fraction of a line pitch: enough for the
// algorithms' smoothing to move a point a little, too tight for a swapped axis, a wrong
// scale or a reversed order to pass.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ferx_syslog_capture_test.h"
#include "tamrel_touch/frame_encoders.h"
#include "touch_host/ferrant_road.h"
#include "touch_host/host.h"
#include "touch_host/input_events.h"
#include "touch_host/luma_road.h"
#include "touch_host/sim_touch_rig.h"
#include "road_fixture.h"

namespace {

namespace ferrant = touch_host::testsupport::ferrant_road;
namespace luma = touch_host::testsupport::luma_road;
using touch_host::HostStatus;
using touch_host::testsupport::MultiTouchReader;
using touch_host::testsupport::RigOptions;
using Picture = MultiTouchReader::Picture;


// What one frame did at the far end of the road: the points the algorithm handed the host
// and the pictures the touchscreen's reader took.
struct FrameOut {
  std::vector<AlgTouchPoint> points;
  std::vector<Picture> pictures;
};

class WholeRoad : public road_fixture::RoadTest {
 protected:
  // One driver slot down the road.
  FrameOut Frame(const tamrel_touch::encode::Bytes &slot) {
    FrameOut out;
    host_->clear_record();
    EXPECT_TRUE(rig_->pushFrame(slot));
    EXPECT_EQ(host_->run_frame(), HostStatus::kOk);
    const touch_host::HostRecord r = host_->snapshot();
    for (const touch_host::PointReport &report : r.reports)
      out.points.insert(out.points.end(), report.points.begin(), report.points.end());
    out.pictures = reader_.read(rig_->newEvents());
    return out;
  }

  // The touchscreen's picture after FRAME: its last SYN_REPORT; fails when it wrote none.
  static Picture Last(const FrameOut &frame) {
    EXPECT_FALSE(frame.pictures.empty()) << "no SYN_REPORT for the frame";
    return frame.pictures.empty() ? Picture{} : frame.pictures.back();
  }

  // Every event position equals the point the algorithm reported for that slot (a frame
  // without points writes no events).
  static void ExpectEventsCarryThePoints(const FrameOut &frame) {
    if (frame.points.empty()) {
      EXPECT_TRUE(frame.pictures.empty()) << "events without points";
      return;
    }
    const Picture p = Last(frame);
    for (const AlgTouchPoint &q : frame.points) {
      if (q.action == ALG_TOUCH_ACTION_UP) {
        EXPECT_EQ(p.count(q.id), 0u) << "slot " << q.id << " stays down after its up";
        continue;
      }
      ASSERT_EQ(p.count(q.id), 1u) << "slot " << q.id << " is not on the touchscreen";
      EXPECT_EQ(p.at(q.id).x, q.x);
      EXPECT_EQ(p.at(q.id).y, q.y);
    }
  }

};

// ---- algorithm A: second-generation Ferrant frames ------------------------------------------

class FerrantWholeRoad : public WholeRoad {
 protected:
  void SetUp() override {
    RigOptions options;
    options.hal_config = touch_host::testsupport::hal_config_text(ferrant::hal_panel());
    ASSERT_NO_FATAL_FAILURE(Start(options, "libtapsense_alg_ferrant.so", ferrant::alg_config_file(100, 120, ferrant::kDrive, ferrant::kSense, ferrant::kRoadScreenX, ferrant::kRoadScreenY)));
    // Frame 1 has no reference yet (the algorithm asks the controller for one), frame 2 is
    // the controller's reference; quiet frames follow until the power-on reference is built
    // and the algorithm reports.
    Finger({}, 0);
    Finger({}, ferrant::kReferenceFrame);
    bool reporting = false;
    for (int i = 0; i < 12 && !reporting; ++i) {
      Finger({});
      reporting = !host_->snapshot().reports.empty();
    }
    ASSERT_TRUE(reporting) << "algorithm A never started reporting";
  }
  FrameOut Finger(const std::vector<ferrant::Finger> &fingers, uint8_t flags = 0) {
    ++k_;
    return Frame(ferrant::frame_slot_of(k_, rig_->slotSize(), flags, ferrant::raw_with_fingers(fingers)));
  }
  uint16_t k_ = 0;
};

// A finger lands on drive line 7, swipes along the sense lines from column 4 to column 20 at
// half a line per frame and lifts: one slot goes down, its x follows the swipe frame by
// frame while its y stays on the line, and the lift releases it.
TEST_F(FerrantWholeRoad, SwipeComesOutAsOneContactFollowingTheFinger) {
  constexpr double kRow = 7;
  constexpr int32_t kNear = 24;  // 3/8 of a line pitch (64 on the road screen)
  std::vector<int32_t> xs;
  int32_t tracking_id = -1;
  for (int f = 0; f <= 32; ++f) {
    const double column = 4 + f * 0.5;
    const FrameOut out = Finger({{kRow, column}});
    ASSERT_EQ(out.points.size(), 1u) << "frame " << f;
    EXPECT_EQ(out.points[0].action, f == 0 ? ALG_TOUCH_ACTION_DOWN : ALG_TOUCH_ACTION_MOVE) << f;
    ExpectEventsCarryThePoints(out);
    const Picture p = Last(out);
    ASSERT_EQ(p.size(), 1u) << "frame " << f;
    const touch_host::testsupport::Contact c = p.begin()->second;
    if (f == 0) tracking_id = c.tracking_id;
    EXPECT_EQ(c.tracking_id, tracking_id) << "one contact for the whole swipe, frame " << f;
    // The coordinate smoothing trails a moving finger by up to one frame's travel.
    EXPECT_GE(c.x, ferrant::road_screen_units(column - 0.5) - kNear) << "frame " << f;
    EXPECT_LE(c.x, ferrant::road_screen_units(column) + kNear) << "frame " << f;
    EXPECT_NEAR(c.y, ferrant::road_screen_units(kRow), kNear) << "frame " << f;
    EXPECT_TRUE(reader_.touching());
    xs.push_back(c.x);
  }
  EXPECT_GE(tracking_id, 0);
  for (size_t i = 1; i < xs.size(); ++i) EXPECT_GT(xs[i], xs[i - 1]) << "x goes back at frame " << i;
  EXPECT_NEAR(xs.back() - xs.front(), 16 * 64, 2 * kNear) << "the swipe's length";

  // The lift: the contact is held for the configured frames at most, then released once.
  int ups = 0;
  for (int f = 0; f < 8; ++f) {
    const FrameOut out = Finger({});
    for (const AlgTouchPoint &q : out.points) ups += q.action == ALG_TOUCH_ACTION_UP;
    ExpectEventsCarryThePoints(out);
  }
  EXPECT_EQ(ups, 1);
  EXPECT_FALSE(reader_.touching());
  const FrameOut after = Finger({});
  EXPECT_TRUE(after.points.empty());
  EXPECT_TRUE(after.pictures.empty());
}

// Two fingers far apart land together: two slots with their own tracking ids, each where its
// finger is; one lifts and the other stays down where it was.
TEST_F(FerrantWholeRoad, TwoFingersAreTwoContactsAndLiftApart) {
  constexpr int32_t kNear = 24;  // 3/8 of a line pitch (64 on the road screen)
  const ferrant::Finger upper{4, 8}, lower{11, 22};
  Picture p;
  for (int f = 0; f < 3; ++f) {
    const FrameOut out = Finger({upper, lower});
    ExpectEventsCarryThePoints(out);
    p = Last(out);
  }
  ASSERT_EQ(p.size(), 2u);
  const auto at = [&](const ferrant::Finger &g) -> const touch_host::testsupport::Contact * {
    for (const auto &[slot, c] : p)
      if (std::abs(c.x - ferrant::road_screen_units(g.column)) < kNear && std::abs(c.y - ferrant::road_screen_units(g.row)) < kNear)
        return &c;
    return nullptr;
  };
  const auto *a = at(upper);
  const auto *b = at(lower);
  ASSERT_NE(a, nullptr) << "no contact at the upper finger";
  ASSERT_NE(b, nullptr) << "no contact at the lower finger";
  EXPECT_NE(a->tracking_id, b->tracking_id);
  const touch_host::testsupport::Contact kept = *b;

  Picture after;
  for (int f = 0; f < 8; ++f) after = Last(Finger({lower}));
  ASSERT_EQ(after.size(), 1u) << "the lifted finger's contact is released";
  EXPECT_EQ(after.begin()->second.tracking_id, kept.tracking_id);
  EXPECT_NEAR(after.begin()->second.x, kept.x, kNear);
  EXPECT_NEAR(after.begin()->second.y, kept.y, kNear);
  EXPECT_TRUE(reader_.touching());
}

// ---- algorithm B: Luma frames of either controller generation -------------------------------

class LumaWholeRoad : public WholeRoad, public ::testing::WithParamInterface<int> {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(Start(luma::rig_options(GetParam()), "libtapsense_alg.so", {}));
    Tips({});  // the untouched frame becomes algorithm B's base
  }
  FrameOut Tips(const std::vector<luma::Tip> &tips) {
    ++k_;
    return Frame(luma::frame_slot(k_, rig_->slotSize(), luma::raw_with_tips(tips, k_), GetParam()));
  }
  uint16_t k_ = 0;
};

// A fingertip lands on drive line 8, swipes along the sense lines from 6 to 30 a line per
// frame and lifts: one contact whose y follows the swipe (never more than a line behind) and
// whose x stays on the line, and exactly one release at the last position.
TEST_P(LumaWholeRoad, SwipeComesOutAsOneContactFollowingTheFinger) {
  constexpr int32_t kNear = 1800;  // a quarter of a line pitch (about 72 pixels)
  std::vector<int32_t> ys;
  int32_t tracking_id = -1;
  AlgTouchPoint last{};
  for (int rx = 6; rx <= 30; ++rx) {
    const FrameOut out = Tips({{8, rx}});
    ASSERT_EQ(out.points.size(), 1u) << "line " << rx;
    EXPECT_EQ(out.points[0].action, rx == 6 ? ALG_TOUCH_ACTION_DOWN : ALG_TOUCH_ACTION_MOVE) << rx;
    ExpectEventsCarryThePoints(out);
    const Picture p = Last(out);
    ASSERT_EQ(p.size(), 1u) << "line " << rx;
    const touch_host::testsupport::Contact c = p.begin()->second;
    if (rx == 6) tracking_id = c.tracking_id;
    EXPECT_EQ(c.tracking_id, tracking_id) << "one contact for the whole swipe, line " << rx;
    EXPECT_NEAR(c.x, luma::node_x(8), kNear) << "line " << rx;
    // The point smoothing trails a moving finger by less than one frame's travel: the
    // contact lies between the line the finger left and the line it is on.
    EXPECT_GE(c.y, luma::node_y(rx == 6 ? rx : rx - 1) - kNear) << "line " << rx;
    EXPECT_LE(c.y, luma::node_y(rx) + kNear) << "line " << rx;
    ys.push_back(c.y);
    last = out.points[0];
  }
  EXPECT_GE(tracking_id, 0);
  for (size_t i = 1; i < ys.size(); ++i) EXPECT_GT(ys[i], ys[i - 1]) << "y goes back at step " << i;

  const FrameOut up = Tips({});
  ASSERT_EQ(up.points.size(), 1u);
  EXPECT_EQ(up.points[0].action, ALG_TOUCH_ACTION_UP);
  EXPECT_NEAR(up.points[0].y, last.y, kNear) << "the up is at the last position";
  ExpectEventsCarryThePoints(up);
  EXPECT_TRUE(Last(up).empty());
  EXPECT_FALSE(reader_.touching());
  for (int f = 0; f < 2; ++f) {
    const FrameOut after = Tips({});
    for (const AlgTouchPoint &q : after.points) ADD_FAILURE() << "point after the up: id " << q.id;
  }
}

// Two fingertips on different drive lines: two contacts, each at its own fingertip, with
// their own tracking ids; lifting one releases only its contact.
TEST_P(LumaWholeRoad, TwoFingersAreTwoContactsAndLiftApart) {
  constexpr int32_t kNear = 1800;
  const luma::Tip left{3, 12}, right{13, 26};
  Picture p;
  for (int f = 0; f < 2; ++f) {
    const FrameOut out = Tips({left, right});
    ExpectEventsCarryThePoints(out);
    p = Last(out);
  }
  ASSERT_EQ(p.size(), 2u);
  const auto at = [&](const luma::Tip &g) -> const touch_host::testsupport::Contact * {
    for (const auto &[slot, c] : p)
      if (std::abs(c.x - luma::node_x(g.tx)) < kNear && std::abs(c.y - luma::node_y(g.rx)) < kNear) return &c;
    return nullptr;
  };
  const auto *a = at(left);
  const auto *b = at(right);
  ASSERT_NE(a, nullptr) << "no contact at the left fingertip";
  ASSERT_NE(b, nullptr) << "no contact at the right fingertip";
  EXPECT_NE(a->tracking_id, b->tracking_id);
  const touch_host::testsupport::Contact kept = *a;

  const FrameOut out = Tips({left});
  ExpectEventsCarryThePoints(out);
  const Picture after = Last(out);
  ASSERT_EQ(after.size(), 1u);
  EXPECT_EQ(after.begin()->second.tracking_id, kept.tracking_id);
  EXPECT_NEAR(after.begin()->second.x, kept.x, kNear);
  EXPECT_NEAR(after.begin()->second.y, kept.y, kNear);
  EXPECT_TRUE(reader_.touching());
}

INSTANTIATE_TEST_SUITE_P(ControllerGenerations, LumaWholeRoad, ::testing::Values(1, 2),
                         [](const ::testing::TestParamInfo<int> &info) {
                           return info.param == 1 ? std::string("LittleEndianV1") : std::string("BigEndianV2");
                         });

// ---- frames that are not the algorithm's panel ---------------------------------------------------

// The HAL's buffers are as long as the panel it is configured for, and the frame it hands on
// says which panel that is. An algorithm of another panel must refuse the frame by its rows
// and columns instead of reading (and writing back) its own panel's size; and the HAL must
// not start with node counts that are not its rows and columns, since its buffers follow the
// counts and the frames' geometry follows the rows and columns. The sanitizer watches every
// buffer on the road: a read past one ends the test.
class OtherPanelRoad : public WholeRoad {
 protected:
  struct Alg {
    const char *library;
    uint8_t drive, sense;  // its panel
    std::vector<uint8_t> config;
    // The panel as the algorithm's refusal names it.
    std::string panel() const { return std::to_string(drive) + "x" + std::to_string(sense); }
  };
  static std::vector<Alg> Algorithms() {
    return {{"libtapsense_alg.so", luma::kTx, luma::kRx, {}},
            {"libtapsense_alg_ferrant.so", ferrant::kDrive, ferrant::kSense, ferrant::alg_config_file()}};
  }

  // The rig of a HAL with decoder TYPE configured for COLUMNS x ROWS with these node counts.
  static RigOptions Rig(int type, int columns, int rows, int nodes, int self) {
    touch_host::testsupport::HalPanelConfig c;
    c.frame_data_type = type;
    c.columns = columns;
    c.rows = rows;
    c.nodes = nodes;
    c.self_nodes = self;
    c.extra_nodes = self;
    c.big_little_convert = type == kLumaV2;  // the second-generation Luma writes big-endian
    RigOptions o;
    o.hal_config = touch_host::testsupport::hal_config_text(c);
    return o;
  }

  // Driver slot of a normal frame for decoder TYPE with NODES mutual and SELF self values (as
  // the HAL reads them) whose controller header names HEADER_COLUMNS x HEADER_ROWS.
  static tamrel_touch::encode::Bytes Slot(int type, size_t slot_size, int nodes, int self, uint8_t header_columns,
                                          uint8_t header_rows) {
    namespace encode = tamrel_touch::encode;
    encode::LumaLayoutFrame f;
    f.frame_index = 1;
    f.state = {0, 0, 0, 0, 4, 0x02};
    f.counters[0] = 1;
    f.columns = header_columns;
    f.rows = header_rows;
    f.frame_type = DECODED_FRAME_TYPE_NORMAL;
    f.report_rate_hz = 240;
    f.mutual.assign(static_cast<size_t>(nodes), 3000);
    f.self1.assign(static_cast<size_t>(self), 3000);
    f.self2.assign(static_cast<size_t>(self), 3000);
    encode::Bytes frame;
    switch (type) {
      case kKv: frame = encode::encode_kv(f, nodes, self); break;
      case kPellonV1: frame = encode::encode_pellon_v1(f); break;
      case kLumaV1: frame = encode::encode_luma_v1(f); break;
      case kLumaV2: frame = encode::encode_luma_v2(f, encode::LumaCheck::kCrc); break;
      case kPellonV2: frame = encode::encode_pellon_v2(f); break;
      default: ADD_FAILURE() << "no encoder for decoder " << type;
    }
    encode::SlotHeader header;
    header.frame_count = 1;
    return encode::make_slot(header, frame, slot_size);
  }

  // A line of the HAL, the host or algorithm B (the host's log) or of algorithm A (the
  // system log).
  bool Logged(const std::string &needle) const {
    const touch_host::HostRecord r = host_->snapshot();
    return fxtest::SysLogCapture::Count(needle) != 0 ||
           std::any_of(r.logs.begin(), r.logs.end(),
                       [&](const touch_host::LogLine &l) { return l.text.find(needle) != std::string::npos; });
  }

  fxtest::SysLogCapture syslog_;

  static constexpr int kKv = 0, kPellonV1 = 2, kLumaV1 = 4, kLumaV2 = 6, kPellonV2 = 7;
};

// A HAL configured for a 4 x 3 panel decodes its frames into 12-value buffers, whatever
// panel the controller's header names (here each algorithm's own): every decoder's frame
// reaches the algorithm as a frame of 3 x 4 and is refused.
TEST_F(OtherPanelRoad, FramesOfTheHalsPanelAreRefusedByBothAlgorithms) {
  constexpr int kColumns = 4, kRows = 3;
  for (const Alg &alg : Algorithms()) {
    for (int type : {kKv, kPellonV1, kLumaV1, kLumaV2, kPellonV2}) {
      SCOPED_TRACE(std::string(alg.library) + ", decoder " + std::to_string(type));
      ASSERT_NO_FATAL_FAILURE(Start(Rig(type, kColumns, kRows, kColumns * kRows, kColumns + kRows), alg.library, alg.config));
      host_->clear_record();
      ASSERT_TRUE(rig_->pushFrame(Slot(type, rig_->slotSize(), kColumns * kRows, kColumns + kRows, alg.sense, alg.drive)));
      ASSERT_EQ(host_->run_frame(), HostStatus::kOk);
      EXPECT_TRUE(Logged("frame of 3x4 refused: the panel is " + alg.panel()));
      // The decoders that copy the controller's header over the record say what it named.
      const bool copies_header = type == kLumaV2 || type == kPellonV2;
      EXPECT_EQ(Logged("the controller's frame names a " + alg.panel() + " panel, the configured 3x4 is kept"),
                copies_header);
      TearDown();
    }
  }
}

// Node counts that are not the configured rows and columns: the HAL refuses to start, says
// why, and no frame is decoded into buffers shorter than the rows and columns claim.
TEST_F(OtherPanelRoad, HalRefusesNodeCountsThatAreNotItsRowsAndColumns) {
  struct Case {
    size_t alg;  // index into Algorithms()
    int columns, rows, nodes, self;
    std::string refusal;
  };
  const int drive = ferrant::kDrive, sense = ferrant::kSense;
  const std::vector<Case> cases = {
      {0, 38, 17, 12, 55, "hw.hal_node_num = 12 is not hw.hal_row_num x hw.hal_col_num (17 x 38)"},
      {0, 38, 17, 646, 7, "hw.hal_snode_num = 7 is not hw.hal_row_num + hw.hal_col_num (17 + 38)"},
      {1, sense, drive, 12, drive + sense, "hw.hal_node_num = 12 is not hw.hal_row_num x hw.hal_col_num (16 x 30)"},
  };
  const std::vector<Alg> algs = Algorithms();
  for (const Case &c : cases) {
    SCOPED_TRACE(c.refusal);
    const Alg &alg = algs[c.alg];
    ASSERT_NO_FATAL_FAILURE(Load(Rig(kLumaV1, c.columns, c.rows, c.nodes, c.self), alg.library, alg.config));
    int32_t alg_result = -1;
    const HostStatus started = host_->init(&alg_result);
    if (started == HostStatus::kOk) {
      // Taken as it stands, the configuration sends a frame with buffers of its node counts
      // down the road under rows and columns that claim more.
      ASSERT_EQ(host_->update_suspend_status(false), HostStatus::kOk);
      ASSERT_TRUE(rig_->pushFrame(Slot(kLumaV1, rig_->slotSize(), c.nodes, c.self, 0, 0)));
      EXPECT_EQ(host_->run_frame(), HostStatus::kOk);
    }
    EXPECT_EQ(started, HostStatus::kFailed);
    EXPECT_TRUE(Logged(c.refusal + ": configuration refused"));
    TearDown();
  }
}

}  // namespace
