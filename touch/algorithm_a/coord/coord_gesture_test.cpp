// Gesture stage on the module's own records: packet layout and sums, the fingerprint block,
// the side band, the two-finger judgement, swipes and the character templates.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "coord.h"
#include "coord_gesture.h"
#include "coord_records.h"
#include "region.h"
#include "region_records.h"
#include "tsa_common.h"
#include "tsa_config.h"
#include "tsa_frame_links.h"

namespace {

constexpr uint16_t kExtentX = 30 * 512;
constexpr uint16_t kExtentY = 16 * 512;

uint16_t U16(const std::vector<uint8_t>& p, size_t at) { return static_cast<uint16_t>(p[at] | (p[at + 1] << 8)); }
uint16_t Sum(const std::vector<uint8_t>& p, size_t from, size_t to) {
  uint32_t s = 0;
  for (size_t i = from; i < to; ++i) s += p[i];
  return static_cast<uint16_t>(s);
}

class GestureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    memset(&gstCommon, 0, sizeof(gstCommon));
    memset(&gstGestureCfg, 0, sizeof(gstGestureCfg));
    memset(&gstFingerPrintCfg, 0, sizeof(gstFingerPrintCfg));
    memset(&gstCoordTranCfg, 0, sizeof(gstCoordTranCfg));
    memset(&gstMutualRegion, 0, sizeof(gstMutualRegion));
    memset(gstCoordPair.astLastRect, 0xFF, sizeof(gstCoordPair.astLastRect));
    gstTouchPannelCfg.uiValue20 = 10;
    gstCommon.ubSenNum = 30;
    gstCommon.ubDrvNum = 16;
    gstCommon.uwSenCoordRange = kExtentX;
    gstCommon.uwDrvCoordRange = kExtentY;
    SetHost(kExtentX, kExtentY);
    GestureInit();
    ClearPoints();
  }
  static void SetHost(uint16_t x, uint16_t y) {
    gstCommon.uwPanelWord0 = x;
    gstCommon.uwPanelWord1 = y;
  }
  static void ClearPoints() {
    memset(gpuwNewPointX, 0, sizeof(gpuwNewPointX));
    memset(gpuwNewPointY, 0, sizeof(gpuwNewPointY));
    memset(gpuwNewWeight, 0, sizeof(gpuwNewWeight));
  }
  // One frame of the gesture list with the given points (x, y in module units); the packet
  // the host would take afterwards, empty when none.
  std::vector<uint8_t> Frame(const std::vector<std::pair<uint16_t, uint16_t>>& pts) {
    ClearPoints();
    for (size_t i = 0; i < pts.size(); ++i) {
      gpuwNewPointX[i] = pts[i].first;
      gpuwNewPointY[i] = pts[i].second;
      gpuwNewWeight[i] = 300;
    }
    gstMutualRegion.ubRegionNum = static_cast<uint8_t>(pts.size());
    GesturePreProcess();
    GestureProcAndNotifyHost();
    GestureEndProcess();
    std::vector<uint8_t> p(kGesPacketMax);
    p.resize(TsaGetGesturePacket(p.data(), static_cast<uint32_t>(p.size())));
    return p;
  }
  // Frames until a packet comes (at most LIMIT); the packets seen.
  std::vector<std::vector<uint8_t>> Run(const std::vector<std::pair<uint16_t, uint16_t>>& pts, int frames) {
    std::vector<std::vector<uint8_t>> out;
    for (int i = 0; i < frames; ++i) {
      auto p = Frame(pts);
      if (!p.empty()) out.push_back(p);
    }
    return out;
  }
  // A one-finger stroke as the trace buffer holds it, with its bounding box.
  static void SetStroke(const std::vector<std::pair<uint16_t, uint16_t>>& pts) {
    GestureState& s = gstGestureState;
    s.ubTraceCount = static_cast<uint8_t>(pts.size());
    s.uwMinX = s.uwMinY = 0xFFFF;
    s.uwMaxX = s.uwMaxY = 0;
    for (size_t i = 0; i < pts.size(); ++i) {
      gstGestureTrace.auwX[i] = pts[i].first;
      gstGestureTrace.auwY[i] = pts[i].second;
      s.uwMinX = std::min(s.uwMinX, pts[i].first);
      s.uwMaxX = std::max(s.uwMaxX, pts[i].first);
      s.uwMinY = std::min(s.uwMinY, pts[i].second);
      s.uwMaxY = std::max(s.uwMaxY, pts[i].second);
    }
  }
};

// ---- packets --------------------------------------------------------------------------

// The trace sum covers every trace byte the packet carries, also for 64 points and more
// (a sum over 4n mod 256 bytes would cover nothing at n = 64); with no trace the key-point
// sum is repeated.
TEST_F(GestureTest, PacketSumsCoverWhatIsCopied) {
  for (const uint32_t n : {0u, 1u, 63u, 64u, 100u, 128u}) {
    SCOPED_TRACE(n);
    PendingGesture& p = gstPendingGesture;
    memset(&p, 0, sizeof(p));
    p.ubCode = p.ubPacketCode = 'z';
    p.ubPacketCount = static_cast<uint8_t>(n);
    for (uint32_t i = 0; i < kGesKeyValues; ++i) p.auwKey[i] = static_cast<uint16_t>(0xF0F0 - 37 * i);
    for (uint32_t i = 0; i < 2 * n; ++i) p.auwTrace[i] = static_cast<uint16_t>(0x7000 + 991 * i);
    const uint32_t len = GestureWritePacket(kGesPacketStroke);
    ASSERT_EQ(len, 42 + 4 * n + 2);
    std::vector<uint8_t> b(GesturePacketBuffer(), GesturePacketBuffer() + len);
    EXPECT_EQ(b[0], 0x20);
    EXPECT_EQ(b[2], 10);
    EXPECT_EQ(b[3], n);
    EXPECT_EQ(b[4], 'z');
    EXPECT_EQ(U16(b, 6), Sum(b, 0, 6));
    EXPECT_EQ(U16(b, 40), Sum(b, 8, 40));
    // Host resolution equals the module extents here, so the values go out as they are.
    for (uint32_t i = 0; i < kGesKeyValues; ++i) EXPECT_EQ(U16(b, 8 + 2 * i), p.auwKey[i]) << i;
    for (uint32_t i = 0; i < 2 * n; ++i) EXPECT_EQ(U16(b, 42 + 2 * i), p.auwTrace[i]) << i;
    EXPECT_EQ(U16(b, 42 + 4 * n), n == 0 ? Sum(b, 8, 40) : Sum(b, 42, 42 + 4 * n));
    // The debug record describes the last block summed: the trace, or the key points.
    const size_t from = n == 0 ? 8 : 42, to = n == 0 ? 40 : 42 + 4 * n;
    EXPECT_EQ(gstGestureSumDebug.uwSum, Sum(b, from, to));
    EXPECT_EQ(gstGestureSumDebug.ubMax, *std::max_element(b.begin() + from, b.begin() + to));
    EXPECT_EQ(gstGestureSumDebug.ubMin, *std::min_element(b.begin() + from, b.begin() + to));
    EXPECT_EQ(b[from + gstGestureSumDebug.uwMaxAt], gstGestureSumDebug.ubMax);
  }
}

TEST_F(GestureTest, ScalingFollowsTheHostResolutionAndTheAxisExchange) {
  struct Case {
    uint8_t tran;
    uint16_t hostX, hostY, value;
    uint8_t axis;
    uint16_t want;
  };
  const Case cases[] = {
      {0x00, kExtentX / 2, kExtentY / 4, 1000, 0, 500},
      {0x00, kExtentX / 2, kExtentY / 4, 1000, 1, 250},
      // Exchanged: the natural X runs over the drive extent.
      {0x01, kExtentY / 2, kExtentX / 4, 1000, 0, 500},
      {0x01, kExtentY / 2, kExtentX / 4, 1000, 1, 250},
  };
  for (const Case& c : cases) {
    gstCoordTranCfg.aubData[0] = c.tran;
    SetHost(c.hostX, c.hostY);
    EXPECT_EQ(GestureScaleToHost(c.value, c.axis), c.want) << +c.tran << " axis " << +c.axis;
  }
  gstCommon.uwSenCoordRange = 0;
  gstCoordTranCfg.aubData[0] = 0;
  EXPECT_EQ(GestureScaleToHost(1000, 0), 0) << "a zero extent gives 0";
}

// One layout for the fingerprint block, every byte written once: the fingerprint point at the
// host resolution, slot 0 as the frame left it, the two statistics, the point count, zeros.
TEST_F(GestureTest, FingerprintPacketHasOneLayout) {
  uint8_t* f = gstFingerPrintCfg.aubData;
  LinkSetU16(f, 1, 6656);
  LinkSetU16(f, 3, 8704);
  LinkSetU16(f, 5, 4096);
  LinkSetU16(f, 7, 6144);
  f[11] = 4;
  f[12] = 200;
  SetHost(kExtentX / 2, kExtentY / 2);
  GestureInit();
  gstGestureRequest.auwTouchStat[0] = 0x1234;
  gstGestureRequest.auwTouchStat[1] = 0xABCD;
  const auto down = Frame({{7700, 5100}});
  ASSERT_FALSE(down.empty());
  ASSERT_EQ(down.size(), 42u + 4 + 2);
  EXPECT_EQ(down[0], 0x28);
  EXPECT_EQ(down[1], 1) << "first fingerprint packet";
  EXPECT_EQ(down[4], 0x46);
  EXPECT_EQ(U16(down, 8), 7700 / 2);
  EXPECT_EQ(U16(down, 10), 5100 / 2);
  EXPECT_EQ(U16(down, 12), 7700);
  EXPECT_EQ(U16(down, 14), 5100);
  EXPECT_EQ(U16(down, 16), 300);
  EXPECT_EQ(U16(down, 18), 0x1234);
  EXPECT_EQ(U16(down, 20), 0xABCD);
  EXPECT_EQ(down[22], 1);
  for (size_t i = 23; i < 40; ++i) EXPECT_EQ(down[i], 0) << i;
  EXPECT_EQ(U16(down, 6), Sum(down, 0, 6));
  EXPECT_EQ(U16(down, 40), Sum(down, 8, 40));
  EXPECT_EQ(U16(down, 46), Sum(down, 42, 46));

  // Held: no further packet; lifted: the up packet with the lift's reason.
  EXPECT_TRUE(Run({{7700, 5100}}, 10).empty());
  const auto up = Frame({});
  ASSERT_FALSE(up.empty());
  EXPECT_EQ(up[4], 0x55);
  EXPECT_EQ(up[1], 2);
  EXPECT_EQ(up[5], 5);
  EXPECT_TRUE(Run({}, 40).empty()) << "a press is no tap";
}

TEST_F(GestureTest, FingerprintPressNeedsBothLimitBytes) {
  uint8_t* f = gstFingerPrintCfg.aubData;
  LinkSetU16(f, 1, 6656);
  LinkSetU16(f, 3, 8704);
  LinkSetU16(f, 5, 4096);
  LinkSetU16(f, 7, 6144);
  f[11] = 4;
  f[12] = 0;  // the state byte is taken as 2: presses are not recognised
  GestureInit();
  for (const auto& p : Run({{7700, 5100}}, 10)) EXPECT_NE(p[0], 0x28);
}

// ---- taps -----------------------------------------------------------------------------

TEST_F(GestureTest, TouchInTheSideBandNeverFormsAGesture) {
  struct Case {
    uint16_t x;
    bool gesture;
  };
  const Case cases[] = {{1000, false}, {1535, false}, {kExtentX - 1000, false}, {2048, true}, {7000, true}};
  for (const Case& c : cases) {
    GestureInit();
    std::vector<std::vector<uint8_t>> got = Run({{c.x, 4000}}, 3);
    for (const auto& p : Run({}, 60)) got.push_back(p);
    EXPECT_EQ(!got.empty(), c.gesture) << c.x;
    if (c.gesture && !got.empty()) {
      EXPECT_EQ(got[0][4], 0x4C);
    }
  }
}

TEST_F(GestureTest, HostMaskChoosesSingleTapsAtOnceOrNone) {
  struct Case {
    uint16_t mask;
    int frames;  // until the packet
    int code;    // -1: none at all
  };
  const Case cases[] = {{0x0000, 35, 0x4C}, {0x0080, 1, 0x4C}, {0x1000, -1, -1}, {0x1080, -1, -1}};
  for (const Case& c : cases) {
    GestureInit();
    gstGestureState.uwEnableMask = c.mask;
    Run({{7000, 4000}}, 2);
    int at = -1, code = -1;
    for (int i = 0; i < 60 && at < 0; ++i) {
      const auto p = Frame({});
      if (!p.empty()) {
        at = i;
        code = p[4];
      }
    }
    EXPECT_EQ(code, c.code) << c.mask;
    if (c.frames > 0) {
      EXPECT_GE(at, c.frames - 5) << c.mask;
      EXPECT_LE(at, c.frames) << c.mask;
    }
  }
}

// Configuration byte 28 bounds the frames from the first tap's lift to the second tap's
// lift; byte 26 with byte 27 paces packets to every byte-27-th frame.
TEST_F(GestureTest, DoubleTapWindowAndPacketPacing) {
  struct Case {
    const char* name;
    int gap;  // quiet frames between the taps
    uint8_t pace, every;
    std::vector<int> codes;
    int sentAt;  // frame of the first packet, -1 unchecked
  };
  // Frames 0-1 the first tap, then GAP quiet frames, two frames of the second tap and its
  // lift: with a gap of 4 the double tap is known on frame 8.
  const Case cases[] = {
      {"inside the window", 4, 0, 0, {0xCC}, 8},
      {"second lift 10 frames after the first", 8, 0, 0, {0xCC}, -1},
      {"second lift 11 frames after the first", 9, 0, 0, {0x4C, 0x4C}, -1},
      {"paced: the third frame of the wait", 4, 1, 3, {0xCC}, 10},
  };
  for (const Case& c : cases) {
    GestureInit();
    gstGestureCfg.aubData[28] = 10;
    gstGestureCfg.aubData[26] = c.pace;
    gstGestureCfg.aubData[27] = c.every;
    std::vector<int> codes;
    std::vector<int> at;
    int frame = 0;
    auto Take = [&](const std::vector<std::pair<uint16_t, uint16_t>>& pts, int n) {
      for (int i = 0; i < n; ++i, ++frame) {
        const auto p = Frame(pts);
        if (!p.empty()) {
          codes.push_back(p[4]);
          at.push_back(frame);
        }
      }
    };
    Take({{7000, 4000}}, 2);
    Take({}, c.gap);
    Take({{7100, 4100}}, 2);
    Take({}, 40);
    EXPECT_EQ(codes, c.codes) << c.name;
    if (c.sentAt >= 0 && !at.empty()) {
      EXPECT_EQ(at[0], c.sentAt) << c.name;
    }
  }
}

// ---- two fingers ----------------------------------------------------------------------

TEST_F(GestureTest, DoubleVerticJudgeTable) {
  struct Case {
    const char* name;
    std::vector<std::pair<uint16_t, uint16_t>> a, b;
    uint8_t bits, steep, travel;
    uint8_t result;
    uint8_t code;
  };
  const Case cases[] = {
      {"N", {{4000, 6000}, {4000, 5000}, {4000, 4000}}, {{9000, 6000}, {9000, 5000}, {9000, 4000}}, 0x60, 0, 3, 0, 'N'},
      {"H", {{4000, 4000}, {4000, 6000}}, {{9000, 4000}, {9000, 6000}}, 0x60, 0, 3, 0, 'H'},
      {"falling with N off", {{4000, 6000}, {4000, 4000}}, {{9000, 6000}, {9000, 4000}}, 0x40, 0, 3, 1, 255},
      {"one step more sideways than down (k = 0)", {{4000, 6000}, {4601, 5400}, {4601, 4000}},
       {{9000, 6000}, {9000, 4000}}, 0x60, 0, 1, 1, 255},
      {"a diagonal step passes with k = 0", {{4000, 6000}, {4600, 5400}, {4600, 4000}},
       {{9000, 6000}, {9000, 4000}}, 0x60, 0, 1, 0, 'N'},
      {"the diagonal step fails with k = 1", {{4000, 6000}, {4600, 5400}, {4600, 4000}},
       {{9000, 6000}, {9000, 4000}}, 0x60, 1, 1, 1, 255},
      {"travel of 511 is 0 nodes", {{4000, 4511}, {4000, 4000}}, {{9000, 4511}, {9000, 4000}}, 0x60, 0, 1, 1, 255},
      {"travel of 512 is 1 node", {{4000, 4512}, {4000, 4000}}, {{9000, 4512}, {9000, 4000}}, 0x60, 0, 1, 0, 'N'},
      {"a Y turn", {{4000, 6000}, {4000, 4000}, {4000, 5000}}, {{9000, 6000}, {9000, 4000}}, 0x60, 0, 1, 1, 255},
      {"one point", {{4000, 6000}}, {{9000, 6000}, {9000, 4000}}, 0x60, 0, 1, 1, 255},
  };
  for (const Case& c : cases) {
    GestureInit();
    gstGestureCfg.aubData[2] = c.bits;
    gstGestureCfg.aubData[21] = c.steep;
    gstGestureCfg.aubData[23] = c.travel;
    SetStroke(c.a);
    gstGestureState.ubTrace2Count = static_cast<uint8_t>(c.b.size());
    for (size_t i = 0; i < c.b.size(); ++i) {
      gstGestureTrace.auwX2[i] = c.b[i].first;
      gstGestureTrace.auwY2[i] = c.b[i].second;
    }
    gstPendingGesture.ubCode = 255;
    EXPECT_EQ(DoubleVerticJudge(), c.result) << c.name;
    if (c.result == 0) {
      EXPECT_EQ(gstPendingGesture.ubCode, c.code) << c.name;
    }
  }
}

TEST_F(GestureTest, DoubleVerticBoundsSpanBothFingers) {
  gstGestureCfg.aubData[2] = 0x60;
  SetStroke({{4000, 6000}, {4100, 3000}});
  gstGestureState.ubTrace2Count = 2;
  gstGestureTrace.auwX2[0] = 9000;
  gstGestureTrace.auwY2[0] = 6500;
  gstGestureTrace.auwX2[1] = 9200;
  gstGestureTrace.auwY2[1] = 2500;
  ASSERT_EQ(DoubleVerticJudge(), 0);
  DoubleVerticGetBound();
  const PendingGesture& p = gstPendingGesture;
  const uint16_t want[8] = {4050, 6500, 4050, 2500, 9100, 6500, 9100, 2500};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(p.auwKey[i], want[i]) << i;
  EXPECT_EQ(p.ubPacketCount, 4);
  EXPECT_EQ(p.ubPacketCode, 'N');
}

// ---- swipes and characters ------------------------------------------------------------

std::vector<std::pair<uint16_t, uint16_t>> Line(uint16_t x0, uint16_t y0, uint16_t x1, uint16_t y1, int n) {
  std::vector<std::pair<uint16_t, uint16_t>> v;
  for (int i = 0; i < n; ++i) {
    v.emplace_back(static_cast<uint16_t>(x0 + (x1 - x0) * i / (n - 1)), static_cast<uint16_t>(y0 + (y1 - y0) * i / (n - 1)));
  }
  return v;
}

// A "z" of three strokes of PERSIDE points each, corners shared: 3 x PERSIDE - 2 points.
std::vector<std::pair<uint16_t, uint16_t>> ZStroke(int perSide) {
  std::vector<std::pair<uint16_t, uint16_t>> v = Line(3000, 1000, 9000, 1000, perSide);
  for (auto seg : {Line(9000, 1000, 3000, 7000, perSide), Line(3000, 7000, 9000, 7000, perSide)}) {
    v.insert(v.end(), seg.begin() + 1, seg.end());
  }
  return v;
}

TEST_F(GestureTest, StrokeRecognitionTable) {
  struct Case {
    const char* name;
    std::vector<std::pair<uint16_t, uint16_t>> pts;
    uint8_t bits2;
    uint16_t mask;
    uint8_t code;
    int count;  // packet trace count, -1 unchecked
  };
  const Case cases[] = {
      {"straight down with no width", Line(5000, 1000, 5000, 6000, 8), 0, 0, 0xAB, 0},
      {"straight up", Line(5000, 6000, 5000, 1000, 8), 0, 0, 0xBA, 0},
      {"right", Line(2000, 4000, 12000, 4100, 10), 0, 0, 0xAA, 0},
      {"left", Line(12000, 4000, 2000, 4000, 10), 0, 0, 0xBB, 0},
      {"right suppressed by the host", Line(2000, 4000, 12000, 4000, 10), 0, 1u << 10, 255, -1},
      {"right far from the bottom edge", Line(2000, 4000, 12000, 4000, 10), 0x80, 0, 255, -1},
      {"right along the bottom edge", Line(2000, 7800, 12000, 7800, 10), 0x80, 0, 0xAA, 0},
      {"too short for a swipe or a character", {{5000, 5000}, {5600, 5000}, {5600, 5600}}, 0, 0, 255, -1},
      {"z", ZStroke(8), 0, 0, 'z', 22},
      {"z of 120 points is resampled to 64", ZStroke(41), 0, 0, 'z', 64},
      {"z with its group suppressed", ZStroke(8), 0, 1u << 5, 255, -1},
  };
  for (const Case& c : cases) {
    GestureInit();
    uint8_t* g = gstGestureCfg.aubData;
    g[0] = 0xFF;
    g[1] = 0x0F;
    g[2] = c.bits2;
    g[18] = 4;
    g[22] = 3;
    g[23] = 3;
    gstGestureState.uwEnableMask = c.mask;
    SetStroke(c.pts);
    CharRecognitionSimple();
    EXPECT_EQ(gstPendingGesture.ubCode, c.code) << c.name;
    if (c.count >= 0) {
      EXPECT_EQ(gstPendingGesture.ubPacketCount, c.count) << c.name;
    }
    if (c.code != 255) {
      // Start, end, width and height of the stroke lead the key points.
      const auto& first = c.pts.front();
      EXPECT_EQ(gstPendingGesture.auwKey[0], first.first) << c.name;
      EXPECT_EQ(gstPendingGesture.auwKey[1], first.second) << c.name;
      EXPECT_EQ(gstPendingGesture.auwKey[4], gstGestureState.uwMaxX - gstGestureState.uwMinX) << c.name;
      EXPECT_EQ(gstPendingGesture.auwKey[5], gstGestureState.uwMaxY - gstGestureState.uwMinY) << c.name;
    }
  }
}

// A rightward stroke with one steep jog in the middle: each step must be flat enough for a
// swipe while the common record's stroke-check byte is clear; with it set only the whole
// stroke's proportions count.
TEST_F(GestureTest, StrokeCheckByteSkipsTheStepByStepSwipeTest) {
  std::vector<std::pair<uint16_t, uint16_t>> pts = Line(2000, 4000, 6000, 4000, 5);
  pts.emplace_back(6050, 4500);
  for (const auto& p : Line(6100, 4500, 12000, 4500, 5)) pts.push_back(p);
  for (uint8_t check : {0, 1}) {
    GestureInit();
    uint8_t* g = gstGestureCfg.aubData;
    g[0] = 0;  // no characters: only the swipe is looked for
    g[1] = 0x0F;
    g[18] = 4;
    g[22] = 3;
    g[23] = 3;
    gstCommon.ubWaterFlag = check;
    SetStroke(pts);
    CharRecognitionSimple();
    EXPECT_EQ(gstPendingGesture.ubCode, check != 0 ? 0xAA : 255) << int{check};
  }
  gstCommon.ubWaterFlag = 0;
}

// Key points of a recognised character. An "o" drawn from the top on past its start, a
// little wider as it goes (so the part that ran on reaches a new top): its start, then the
// four extremes in trace order, none taken from the part that ran on. An
// "m": the packet's start and end become the bottom corners of its box.
TEST_F(GestureTest, CharacterKeyPoints) {
  auto prepare = [] {
    GestureInit();
    uint8_t* g = gstGestureCfg.aubData;
    g[0] = 0xFF;
    g[1] = 0;  // no swipes
    g[18] = 4;
  };
  std::vector<std::pair<uint16_t, uint16_t>> o;
  constexpr int kRound = 32, kRunOn = 2;  // 22.5 degrees past the start
  for (int i = 0; i <= kRound + kRunOn; ++i) {
    const double a = (-90.0 - 360.0 * i / kRound) * M_PI / 180.0;
    const double r = 2300 + 15 * i;
    o.emplace_back(static_cast<uint16_t>(6000 + r * std::cos(a)), static_cast<uint16_t>(4000 + r * std::sin(a)));
  }
  prepare();
  SetStroke(o);
  CharRecognitionSimple();
  ASSERT_EQ(gstPendingGesture.ubCode, 'o');
  const GestureState& s = gstGestureState;
  ASSERT_EQ(s.ubCharKeyCount, 5);
  EXPECT_EQ(s.auwCharKeyX[0], o[0].first);
  EXPECT_EQ(s.auwCharKeyY[0], o[0].second);
  int last = 0;
  for (int k = 1; k < 5; ++k) {
    const auto at = std::find(o.begin(), o.end(), std::make_pair(s.auwCharKeyX[k], s.auwCharKeyY[k]));
    ASSERT_NE(at, o.end()) << k;
    const int i = static_cast<int>(at - o.begin());
    EXPECT_GE(i, last) << "key point " << k << " in trace order";
    EXPECT_LT(i, kRound) << "key point " << k << " not from the part that ran on";
    last = i;
  }

  std::vector<std::pair<uint16_t, uint16_t>> m;
  const std::pair<int, int> mShape[] = {{0, 250}, {5, 20}, {60, 0}, {120, 70}, {125, 250},
                                        {125, 80}, {190, 0}, {250, 50}, {250, 250}};
  for (size_t i = 0; i + 1 < std::size(mShape); ++i) {
    for (int k = 0; k < 4; ++k) {
      const auto [x0, y0] = mShape[i];
      const auto [x1, y1] = mShape[i + 1];
      m.emplace_back(static_cast<uint16_t>(2000 + 40 * (x0 + (x1 - x0) * k / 4)),
                     static_cast<uint16_t>(1000 + 24 * (y0 + (y1 - y0) * k / 4)));
    }
  }
  m.emplace_back(static_cast<uint16_t>(2000 + 40 * 250), static_cast<uint16_t>(1000 + 24 * 250));
  m[0].first = 2000 + 40 * 3;  // the start a little inside the box
  prepare();
  SetStroke(m);
  CharRecognitionSimple();
  ASSERT_EQ(gstPendingGesture.ubCode, 'm');
  EXPECT_EQ(gstPendingGesture.auwKey[0], s.uwMinX) << "start: bottom-left corner";
  EXPECT_EQ(gstPendingGesture.auwKey[1], s.uwMaxY);
  EXPECT_EQ(gstPendingGesture.auwKey[2], s.uwMaxX) << "end: bottom-right corner";
  EXPECT_EQ(gstPendingGesture.auwKey[3], s.uwMaxY);
  EXPECT_EQ(s.ubCharKeyCount, 2);
}

// Hand-drawn shapes (not the templates' own points) in the normalised square, Y downward.
TEST_F(GestureTest, CharacterTemplatesTellTheShapesApart) {
  auto Arc = [](double cx, double cy, double rx, double ry, double from, double to, int n) {
    std::vector<std::pair<int32_t, int32_t>> v;
    for (int i = 0; i <= n; ++i) {
      const double a = (from + (to - from) * i / n) * M_PI / 180.0;
      v.emplace_back(static_cast<int32_t>(cx + rx * std::cos(a)), static_cast<int32_t>(cy + ry * std::sin(a)));
    }
    return v;
  };
  using Poly = std::vector<std::pair<int32_t, int32_t>>;
  struct Case {
    const char* name;
    Poly pts;
    uint8_t want;
  };
  const Case cases[] = {
      {"o anticlockwise from the top", Arc(128, 128, 127, 127, -90, -450, 24), 'o'},
      {"o clockwise from the top", Arc(128, 128, 127, 127, -90, 270, 24), 'o'},
      {"c", Arc(140, 128, 115, 127, -50, -310, 16), 'c'},
      {"w", {{0, 10}, {50, 250}, {125, 70}, {200, 250}, {255, 5}}, 'w'},
      {"v", {{5, 0}, {125, 250}, {250, 5}}, 'v'},
      {"^", {{5, 250}, {130, 0}, {250, 250}}, '^'},
      {">", {{10, 5}, {250, 125}, {5, 250}}, '>'},
      {"z", {{10, 10}, {245, 5}, {5, 245}, {250, 250}}, 'z'},
      {"m", {{0, 250}, {5, 20}, {60, 0}, {120, 70}, {125, 250}, {125, 80}, {190, 0}, {250, 50}, {250, 250}}, 'm'},
      {"o anticlockwise from 3 o'clock", Arc(128, 128, 127, 127, 0, -360, 24), 'o'},
      {"o clockwise from 9 o'clock", Arc(128, 128, 127, 127, 180, 540, 24), 'o'},
      {"o anticlockwise from 9 o'clock", Arc(128, 128, 127, 127, 180, -180, 24), 'o'},
      {"o clockwise from 3 o'clock", Arc(128, 128, 127, 127, 0, 360, 24), 'o'},
  };
  for (const Case& c : cases) {
    std::vector<int32_t> x, y;
    for (const auto& p : c.pts) {
      x.push_back(p.first);
      y.push_back(p.second);
    }
    uint32_t cost = 0;
    EXPECT_EQ(GestureCharMatchForTest(x.data(), y.data(), static_cast<uint32_t>(x.size()), &cost), c.want)
        << c.name << " (cost " << cost << ")";
    EXPECT_LE(cost, 15u) << c.name << ": close enough for the recogniser to accept";
  }
  // A "2" (a round top, then the diagonal and the base) is no "z": it is not taken.
  Poly two = Arc(128, 75, 115, 75, 200, 360, 8);
  two.insert(two.end(), {{200, 140}, {5, 250}, {250, 250}});
  std::vector<int32_t> x, y;
  for (const auto& p : two) {
    x.push_back(p.first);
    y.push_back(p.second);
  }
  uint32_t cost = 0;
  const uint8_t got = GestureCharMatchForTest(x.data(), y.data(), static_cast<uint32_t>(x.size()), &cost);
  EXPECT_TRUE(got != 'z' || cost > 15u) << "a 2 read as z (cost " << cost << ")";
}

TEST_F(GestureTest, IntegerSquareRoot) {
  const std::pair<uint32_t, uint16_t> cases[] = {{0, 0}, {1, 1}, {3, 1}, {4, 2}, {65535, 255}, {65536, 256},
                                                 {0xFFFFFFFFu, 65535}};
  for (const auto& c : cases) EXPECT_EQ(GestureIsqrt(c.first), c.second) << c.first;
}

}  // namespace
