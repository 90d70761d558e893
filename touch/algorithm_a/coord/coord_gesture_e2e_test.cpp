// Screen-off gestures end to end: the production plug-in through the touch host, the screen
// turned off through the host's suspend operation, finger frames whose diff carries blobs,
// and each gesture packet taken from the module the way the host takes it
// (TsaGetGesturePacket) after every frame. Packets are checked byte by byte against the
// layout: type, code, count and the three sums computed here independently.
#include <gtest/gtest.h>

#include <cmath>
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
constexpr uint16_t kExtentX = kSen * 512;
constexpr uint16_t kExtentY = kDrv * 512;
// Host resolution: half the module units.
constexpr uint16_t kHostX = kExtentX / 2;
constexpr uint16_t kHostY = kExtentY / 2;

using GetPacketFn = uint32_t (*)(uint8_t*, uint32_t);

Bytes GestureSection(uint8_t flags3 = 0) {
  Bytes g(30, 0);
  g[0] = 0xFF;  // every character group
  g[1] = 0x0F;  // the four swipes
  g[2] = 0x60;  // "N" and "H"
  g[3] = flags3;
  g[6] = 3;     // a stroke of at least 3 frames
  g[7] = 10;
  g[18] = 4;    // characters at least 2 nodes wide and high
  g[22] = 3;    // swipes travel more than 3 nodes
  g[23] = 3;
  g[28] = 30;   // double-tap window, frames
  return g;
}

// The fingerprint area in module units: columns 13-17, rows 8-12; press limit 200 frames.
Bytes FingerprintSection() {
  Bytes fp(22, 0);
  cfgtest::PutU16(fp, 1, 13 * 512);
  cfgtest::PutU16(fp, 3, 17 * 512);
  cfgtest::PutU16(fp, 5, 8 * 512);
  cfgtest::PutU16(fp, 7, 12 * 512);
  fp[11] = 4;
  fp[12] = 200;
  return fp;
}

Bytes ConfigBlob(const Bytes& gesture, const Bytes& fp) {
  Bytes time = cfgtest::TimeSection();
  Bytes panel = cfgtest::PanelSection(kHostX, kHostY);
  Bytes pair(46, 0);
  Bytes opt(26, 1);
  opt[13] = 0;
  cfgtest::PutU16(opt, 14, 0);
  opt[16] = opt[17] = opt[18] = 0;
  cfgtest::PutU16(opt, 19, 0);
  opt[21] = 0;
  opt[22] = 16;
  opt[24] = opt[25] = 0;
  std::vector<Bytes> sections = {cfgtest::Section(8, panel), cfgtest::Section(32, time), cfgtest::Section(31, {0, 4}),
                                 cfgtest::Section(100, pair), cfgtest::Section(97, opt)};
  if (!gesture.empty()) sections.push_back(cfgtest::Section(51, gesture));
  if (!fp.empty()) sections.push_back(cfgtest::Section(41, fp));
  return cfgtest::BuildBlob({.sections = sections});
}

uint16_t U16(const std::vector<uint8_t>& p, size_t at) { return static_cast<uint16_t>(p[at] | (p[at + 1] << 8)); }
uint16_t Sum(const std::vector<uint8_t>& p, size_t from, size_t to) {
  uint32_t s = 0;
  for (size_t i = from; i < to; ++i) s += p[i];
  return static_cast<uint16_t>(s);
}

// Checks the layout and the three sums of one packet.
void ExpectWellFormed(const std::vector<uint8_t>& p) {
  ASSERT_GE(p.size(), 44u);
  const size_t n = p[3];
  ASSERT_EQ(p.size(), 42 + 4 * n + 2);
  EXPECT_EQ(p[2], 10);
  EXPECT_EQ(U16(p, 6), Sum(p, 0, 6));
  EXPECT_EQ(U16(p, 40), Sum(p, 8, 40));
  EXPECT_EQ(U16(p, 42 + 4 * n), n == 0 ? Sum(p, 8, 40) : Sum(p, 42, 42 + 4 * n));
}

struct Finger {
  double r, c;  // centre in nodes (row along the drive lines = Y, column = X)
};

class GestureEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override { root_ = std::make_unique<platform::testing::TempRoot>(); }

  void Start(const Bytes& gesture = GestureSection(), const Bytes& fp = {}) {
    host_ = fxtest::StartFerrantHost(*root_, kPlugin, ConfigBlob(gesture, fp), kDrv, kSen);
    ASSERT_NE(host_, nullptr);
    get_packet_ = reinterpret_cast<GetPacketFn>(host_->alg_symbol("TsaGetGesturePacket"));
    ASSERT_NE(get_packet_, nullptr);
    frames_ = std::make_unique<fxtest::FingerFrames>(kDrv, kSen, 4);
    Send(0x01);  // the reference
    for (int i = 0; i < 12; ++i) Send(0x00);
    ASSERT_EQ(host_->update_suspend_status(true), touch_host::HostStatus::kOk);  // screen off
    for (int i = 0; i < 12; ++i) Send(0x00);
    packets_.clear();
    points_reported_ = 0;
  }
  void Send(uint8_t flags) {
    host_->clear_record();
    DecodedFrame f = frames_->Next(flags, index_++);
    ASSERT_EQ(host_->process_frame(&f), touch_host::HostStatus::kOk);
    points_reported_ += host_->snapshot().reports.size();
    std::vector<uint8_t> buf(600);
    const uint32_t len = get_packet_(buf.data(), static_cast<uint32_t>(buf.size()));
    if (len != 0) {
      buf.resize(len);
      packets_.push_back(buf);
    }
  }
  void Touch(const std::vector<Finger>& fingers) {
    std::vector<int16_t> d(static_cast<size_t>(kDrv) * kSen, 0);
    for (const Finger& b : fingers) {
      for (int y = 0; y < kDrv; ++y) {
        for (int x = 0; x < kSen; ++x) {
          const int v = static_cast<int>(500 * (1.0 - std::hypot(y - b.r, x - b.c) / 1.6));
          int16_t& cell = d[static_cast<size_t>(y) * kSen + x];
          if (v > cell) cell = static_cast<int16_t>(v);
        }
      }
    }
    frames_->SetTouch(d);
    Send(0x00);
  }
  void Lift(int frames) {
    frames_->SetTouch({});
    for (int i = 0; i < frames; ++i) Send(0x00);
  }
  // One finger along a polyline of node positions, STEP nodes per frame, then lifted.
  void Draw(const std::vector<Finger>& path, double step = 0.5) {
    for (size_t k = 0; k + 1 < path.size(); ++k) {
      const double len = std::hypot(path[k + 1].r - path[k].r, path[k + 1].c - path[k].c);
      const int n = std::max(1, static_cast<int>(len / step));
      for (int i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / n;
        Touch({{path[k].r + t * (path[k + 1].r - path[k].r), path[k].c + t * (path[k + 1].c - path[k].c)}});
      }
    }
    Touch({path.back()});
    Lift(6);
  }
  // Codes of the packets received so far.
  std::vector<int> Codes() const {
    std::vector<int> c;
    for (const auto& p : packets_) c.push_back(p[4]);
    return c;
  }

  std::unique_ptr<platform::testing::TempRoot> root_;
  std::unique_ptr<touch_host::TouchHost> host_;
  std::unique_ptr<fxtest::FingerFrames> frames_;
  GetPacketFn get_packet_ = nullptr;
  std::vector<std::vector<uint8_t>> packets_;
  size_t points_reported_ = 0;
  uint16_t index_ = 2;
};

TEST_F(GestureEndToEnd, DoubleTapGivesOneDoubleTapPacketAtTheTapPosition) {
  Start();
  for (int i = 0; i < 3; ++i) Touch({{7, 10}});
  Lift(4);
  for (int i = 0; i < 3; ++i) Touch({{7.2, 10.2}});
  Lift(4);
  ASSERT_EQ(packets_.size(), 1u) << "one packet for the pair of taps";
  const auto& p = packets_[0];
  ExpectWellFormed(p);
  EXPECT_EQ(p[0], 0x20);
  EXPECT_EQ(p[4], 0xCC);
  EXPECT_EQ(p[1], 2) << "second tap of the sequence";
  ASSERT_EQ(p[3], 1);
  // The tap position, at the host's half resolution.
  EXPECT_NEAR(U16(p, 42), (10.2 * 512 + 256) / 2, 160);
  EXPECT_NEAR(U16(p, 44), (7.2 * 512 + 256) / 2, 160);
  EXPECT_EQ(points_reported_, 0u) << "no touch points while the screen is off";
}

TEST_F(GestureEndToEnd, WithoutAGestureSectionScreenOffFramesDoNotRun) {
  Start(/*gesture=*/{});
  for (int i = 0; i < 3; ++i) Touch({{7, 10}});
  Lift(4);
  for (int i = 0; i < 3; ++i) Touch({{7, 10}});
  Lift(40);
  EXPECT_TRUE(packets_.empty());
  EXPECT_EQ(points_reported_, 0u);
}

TEST_F(GestureEndToEnd, LoneTapBecomesASingleTapWhenTheWindowRunsOut) {
  Start();
  for (int i = 0; i < 3; ++i) Touch({{7, 10}});
  Lift(20);
  EXPECT_TRUE(packets_.empty()) << "the tap still waits for a second one";
  Lift(20);
  ASSERT_EQ(packets_.size(), 1u);
  ExpectWellFormed(packets_[0]);
  EXPECT_EQ(packets_[0][4], 0x4C);
}

TEST_F(GestureEndToEnd, SecondTapTooFarAwayIsNoDoubleTap) {
  Start();
  for (int i = 0; i < 3; ++i) Touch({{7, 8}});
  Lift(4);
  for (int i = 0; i < 3; ++i) Touch({{7, 14}});  // 6 nodes away
  Lift(4);
  ASSERT_EQ(packets_.size(), 1u);
  EXPECT_EQ(packets_[0][4], 0x4C) << "the first tap goes out alone";
}

TEST_F(GestureEndToEnd, SwipesGiveTheirDirectionCodes) {
  struct Case {
    const char* name;
    std::vector<Finger> path;
    int code;
  };
  const Case cases[] = {
      {"right", {{8, 6}, {8, 22}}, 0xAA},
      {"left", {{8, 22}, {8, 6}}, 0xBB},
      {"down", {{2, 15}, {13, 15}}, 0xAB},
      {"up", {{13, 15}, {2, 15}}, 0xBA},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Start();
    Draw(c.path);
    ASSERT_EQ(packets_.size(), 1u);
    const auto& p = packets_[0];
    ExpectWellFormed(p);
    EXPECT_EQ(p[4], c.code);
    EXPECT_EQ(p[3], 0) << "a swipe carries key points only";
    host_.reset();
  }
}

TEST_F(GestureEndToEnd, DrawnCharactersGiveTheirCodes) {
  struct Case {
    const char* name;
    std::vector<Finger> path;
    int code;
  };
  const Case cases[] = {
      {"z", {{3, 8}, {3, 20}, {13, 8}, {13, 20}}, 'z'},
      {"v", {{3, 8}, {13, 14}, {3, 20}}, 'v'},
      {"c", {{4, 20}, {2.5, 14}, {5, 8}, {8, 7}, {11, 8}, {13.5, 14}, {12, 20}}, 'c'},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Start();
    Draw(c.path);
    ASSERT_EQ(packets_.size(), 1u);
    const auto& p = packets_[0];
    ExpectWellFormed(p);
    EXPECT_EQ(p[4], c.code);
    EXPECT_GE(p[3], 3) << "the resampled trace follows the key points";
    EXPECT_LE(p[3], 64);
    host_.reset();
  }
}

TEST_F(GestureEndToEnd, TwoFingerVerticalStrokesGiveNAndH) {
  struct Case {
    const char* name;
    double from, to;
    int code;
  };
  const Case cases[] = {{"both up", 13, 2, 'N'}, {"both down", 2, 13, 'H'}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Start();
    const int n = static_cast<int>(std::abs(c.to - c.from) / 0.5);
    for (int i = 0; i <= n; ++i) {
      const double r = c.from + (c.to - c.from) * i / n;
      Touch({{r, 9}, {r, 19}});
    }
    Lift(6);
    ASSERT_EQ(packets_.size(), 1u);
    const auto& p = packets_[0];
    ExpectWellFormed(p);
    EXPECT_EQ(p[4], c.code);
    ASSERT_EQ(p[3], 4) << "the four key points";
    // Key points: (X1, start), (X1, end), (X2, start), (X2, end); the fingers' columns.
    const uint16_t x1 = U16(p, 8), x2 = U16(p, 16);
    EXPECT_NEAR(std::min(x1, x2), (9 * 512 + 256) / 2, 200);
    EXPECT_NEAR(std::max(x1, x2), (19 * 512 + 256) / 2, 200);
    host_.reset();
  }
}

TEST_F(GestureEndToEnd, PressOnTheFingerprintAreaGivesDownThenUpPackets) {
  Start(GestureSection(), FingerprintSection());
  for (int i = 0; i < 20; ++i) Touch({{10, 15}});
  ASSERT_EQ(packets_.size(), 1u) << "one down packet for the press";
  Lift(4);
  ASSERT_EQ(packets_.size(), 2u) << "and one up packet for the lift";
  const auto& down = packets_[0];
  const auto& up = packets_[1];
  for (const auto* p : {&down, &up}) {
    ExpectWellFormed(*p);
    EXPECT_EQ((*p)[0], 0x28);
  }
  EXPECT_EQ(down[4], 0x46);
  EXPECT_EQ(up[4], 0x55);
  EXPECT_EQ(down[1] + 1, up[1]) << "the packet counter grows per fingerprint packet";
  EXPECT_EQ(up[5], 5) << "released by the lift";
  // Block: the fingerprint point at the host's resolution, then slot 0 as the frame left it.
  EXPECT_NEAR(U16(down, 8), (15 * 512 + 256) / 2, 160);
  EXPECT_NEAR(U16(down, 10), (10 * 512 + 256) / 2, 160);
  EXPECT_NEAR(U16(down, 12), 15 * 512 + 256, 320);
  EXPECT_EQ(down[22], 1) << "one point counted";
  for (size_t i = 23; i < 40; ++i) EXPECT_EQ(down[i], 0) << i;
}

}  // namespace
