// Fingers side by side on one line, down the whole touch road with the production
// algorithms: the simulated driver pushes controller frames whose self lines carry the
// fingers as a device's self scans see them, the real HAL decodes them and the loaded
// algorithm finds the fingers. Algorithm B weighs the mutual peaks against the self lines:
// on frames whose self lines stay untouched under the fingers it joins two fingertips close
// together on one drive line into one point between them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

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
using touch_host::testsupport::SelfLines;
using Picture = MultiTouchReader::Picture;


class SelfLinesRoad : public road_fixture::RoadTest {
 protected:
  // One driver slot down the road: the touchscreen's picture after it (empty when it wrote
  // no SYN_REPORT).
  Picture Frame(const tamrel_touch::encode::Bytes &slot) {
    host_->clear_record();
    EXPECT_TRUE(rig_->pushFrame(slot));
    EXPECT_EQ(host_->run_frame(), HostStatus::kOk);
    const std::vector<Picture> pictures = reader_.read(rig_->newEvents());
    return pictures.empty() ? Picture{} : pictures.back();
  }

  // Every spot of WANT ({x, y} on the touchscreen) has exactly one contact of P within NEAR,
  // and P has no other contact.
  static void ExpectContactsAt(const Picture &p, const std::vector<std::pair<int32_t, int32_t>> &want, int32_t near) {
    EXPECT_EQ(p.size(), want.size()) << "contacts on the touchscreen";
    for (const auto &[x, y] : want) {
      int at = 0;
      for (const auto &[slot, c] : p) at += std::abs(c.x - x) <= near && std::abs(c.y - y) <= near;
      EXPECT_EQ(at, 1) << "contacts at " << x << "," << y;
    }
  }

};

// ---- algorithm B: Luma frames of either controller generation -------------------------------

struct LumaLine {
  const char *name;
  std::vector<luma::Tip> tips;
};
void PrintTo(const LumaLine &line, std::ostream *os) { *os << line.name; }
std::string LumaLineName(const ::testing::TestParamInfo<std::tuple<int, LumaLine>> &info) {
  return std::string(std::get<1>(info.param).name) + "_Generation" + std::to_string(std::get<0>(info.param));
}

class LumaSelfLinesRoad : public SelfLinesRoad,
                          public ::testing::WithParamInterface<std::tuple<int, LumaLine>> {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(Start(luma::rig_options(Generation()), "libtapsense_alg.so", {}));
    Tips({});  // the untouched frame becomes algorithm B's base
  }
  int Generation() const { return std::get<0>(GetParam()); }
  Picture Tips(const std::vector<luma::Tip> &tips, SelfLines self = SelfLines::kFromFrame) {
    ++k_;
    return Frame(luma::frame_slot(k_, rig_->slotSize(), luma::raw_with_tips(tips, k_), Generation(), self));
  }
  // The fingertips of the parameter held for nine frames: from the second on, one contact
  // at each fingertip and no other.
  void ExpectEachFingerAContact() {
    constexpr int32_t kNear = 1800;  // a quarter of a line pitch
    const std::vector<luma::Tip> &tips = std::get<1>(GetParam()).tips;
    std::vector<std::pair<int32_t, int32_t>> want;
    for (const luma::Tip &t : tips) want.emplace_back(luma::node_x(t.tx), luma::node_y(t.rx));
    Tips(tips);
    for (int f = 0; f < 8; ++f) {
      SCOPED_TRACE(testing::Message() << "frame " << f + 2 << " of the touch");
      ExpectContactsAt(Tips(tips), want, kNear);
    }
  }
  uint16_t k_ = 0;
};

// Two fingertips close together on one drive line: the self lines under them show two
// fingers, and algorithm B reports two contacts, each at its fingertip.
class LumaCloseFingersRoad : public LumaSelfLinesRoad {};

TEST_P(LumaCloseFingersRoad, EachFingerIsAContact) { ExpectEachFingerAContact(); }

// The same fingertips on frames whose self lines stay untouched (on purpose: a frame without
// self support, which no device sends): algorithm B joins them into one point between them.
TEST_P(LumaCloseFingersRoad, WithUntouchedSelfLinesOneIsLost) {
  const std::vector<luma::Tip> &tips = std::get<1>(GetParam()).tips;
  Tips(tips, SelfLines::kUntouched);
  size_t most = 0;
  for (int f = 0; f < 8; ++f) most = std::max(most, Tips(tips, SelfLines::kUntouched).size());
  EXPECT_LT(most, tips.size()) << "the fingers came apart without self lines";
}

INSTANTIATE_TEST_SUITE_P(
    Lines, LumaCloseFingersRoad,
    ::testing::Combine(::testing::Values(1, 2),
                       ::testing::Values(LumaLine{"TwoOnADriveLine2Apart", {{8, 10}, {8, 12}}},
                                         LumaLine{"TwoOnADriveLine3Apart", {{8, 10}, {8, 13}}})),
    LumaLineName);

// Fingertips side by side on one line that algorithm B tells apart whatever the self lines
// carry: with the self lines of the frame they still come out one contact each.
class LumaFingersOnALineRoad : public LumaSelfLinesRoad {};

TEST_P(LumaFingersOnALineRoad, EachFingerIsAContact) { ExpectEachFingerAContact(); }

INSTANTIATE_TEST_SUITE_P(
    Lines, LumaFingersOnALineRoad,
    ::testing::Combine(::testing::Values(1, 2),
                       ::testing::Values(LumaLine{"ThreeOnADriveLine4Apart", {{8, 9}, {8, 13}, {8, 17}}},
                                         LumaLine{"FiveOnADriveLine4Apart", {{8, 6}, {8, 10}, {8, 14}, {8, 18}, {8, 22}}},
                                         LumaLine{"FourOnASenseLine3Apart", {{3, 19}, {6, 19}, {9, 19}, {12, 19}}},
                                         LumaLine{"FourOnASenseLine4Apart", {{2, 19}, {6, 19}, {10, 19}, {14, 19}}},
                                         LumaLine{"FourInASquare", {{4, 10}, {4, 20}, {12, 10}, {12, 20}}})),
    LumaLineName);

// ---- algorithm A: second-generation Ferrant frames ------------------------------------------

class FerrantSelfLinesRoad : public SelfLinesRoad {
 protected:
  void SetUp() override {
    RigOptions options;
    options.hal_config = touch_host::testsupport::hal_config_text(ferrant::hal_panel());
    ASSERT_NO_FATAL_FAILURE(Start(options, "libtapsense_alg_ferrant.so",
                                  ferrant::alg_config_file(100, 120, ferrant::kDrive, ferrant::kSense,
                                                           ferrant::kRoadScreenX, ferrant::kRoadScreenY)));
    // No reference yet (the algorithm asks for one), the controller's reference, then quiet
    // frames while the power-on reference is built.
    Fingers({});
    Fingers({}, ferrant::kReferenceFrame);
    for (int f = 0; f < 12; ++f) Fingers({});
  }
  Picture Fingers(const std::vector<ferrant::Finger> &fingers, uint8_t flags = 0) {
    ++k_;
    return Frame(ferrant::frame_slot_of(k_, rig_->slotSize(), flags, ferrant::raw_with_fingers(fingers)));
  }
  uint16_t k_ = 0;
};

// Algorithm A reads the frame's one self line (the scan guarded against water): four fingers
// on one drive line, with that line raised by all four, are four contacts.
TEST_F(FerrantSelfLinesRoad, FingersSharingADriveLineAreEachAContact) {
  constexpr int32_t kNear = 24;  // 3/8 of a line pitch (64 on the road screen)
  const std::vector<ferrant::Finger> fingers = {{8, 6}, {8, 10}, {8, 14}, {8, 18}};
  std::vector<std::pair<int32_t, int32_t>> want;
  for (const ferrant::Finger &g : fingers)
    want.emplace_back(ferrant::road_screen_units(g.column), ferrant::road_screen_units(g.row));
  Fingers(fingers);
  for (int f = 0; f < 8; ++f) {
    SCOPED_TRACE(testing::Message() << "frame " << f + 2 << " of the touch");
    ExpectContactsAt(Fingers(fingers), want, kNear);
  }
}

}  // namespace
