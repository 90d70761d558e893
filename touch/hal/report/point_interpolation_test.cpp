#include <math.h>
#include <string.h>

#include <vector>

#include <gtest/gtest.h>

#include "report/point_interpolation.h"

namespace {

// Independent reference: the parabola through (-1, c), (0, b), (1, a) by Lagrange's formula,
// evaluated at x and truncated.
int32_t parabola(int32_t a, int32_t b, int32_t c, double x) {
  double lc = x * (x - 1.0) / 2.0;  // basis of the point at -1
  double lb = (x + 1.0) * (1.0 - x);
  double la = x * (x + 1.0) / 2.0;
  return static_cast<int32_t>(lc * c + lb * b + la * a);
}

struct AxisCase {
  int32_t a, b, c;
  bool damping;
  float x;
  int32_t expected;
};

TEST(HalInterpolateAxis, RuleTable) {
  const AxisCase cases[] = {
      {300, 200, 100, false, 1.0f, 300},                           // x = 1: the current value
      {300, 200, 100, false, 0.0f, 200},                           // x = 0: the previous value
      {250, 250, 100, true, 0.5f, 250},                            // a = b at one half: b
      {250, 250, 100, false, 0.5f, 250},
      {300, 200, 100, false, 0.5f, parabola(300, 200, 100, 0.5)},  // straight line: 250
      {300, 200, 150, false, 0.3f, parabola(300, 200, 150, 0.3f)},
      {300, 200, 150, false, 1.55f, parabola(300, 200, 150, 1.55f)},  // beyond the newest point
      {-40, 10, 90, false, 0.7f, parabola(-40, 10, 90, 0.7f)},
      // Damped steady rise, slow against the step before: never beyond a.
      {100, 95, 0, true, 0.5f, 100},
      {100, 95, 0, false, 0.5f, parabola(100, 95, 0, 0.5)},      // no damping: overshoots
      // Damped fall after a rise: q below a is lifted to a.
      {90, 95, 200, true, 0.5f, 90},
  };
  EXPECT_EQ(parabola(300, 200, 100, 0.5), 250);
  EXPECT_GT(parabola(100, 95, 0, 0.5), 100);
  for (const AxisCase &t : cases) {
    EXPECT_EQ(interpolate_axis_value(t.a, t.b, t.c, t.damping, t.x), t.expected)
        << t.a << "," << t.b << "," << t.c << " d=" << t.damping << " x=" << t.x;
  }
}

AlgTouchPoint point(int32_t id, int32_t x, int32_t y, int32_t action) {
  AlgTouchPoint p;
  memset(&p, 0, sizeof p);
  p.id = id;
  p.x = x;
  p.y = y;
  p.action = action;
  return p;
}

class HalInterpolation : public ::testing::Test {
 protected:
  const PointInterpolationInterface &e = *get_default_point_interpolation_interface();

  void SetUp() override { e.init(1); }
  void TearDown() override { e.exit(); }

  // One finger moving 1000 along x per frame: 100, 1100, 2100.
  void recordStraightMove(int id = 0) {
    const int32_t xs[] = {100, 1100, 2100};
    for (int i = 0; i < 3; ++i) {
      AlgTouchPoint p = point(id, xs[i], 500, i == 0 ? ALG_TOUCH_ACTION_DOWN : ALG_TOUCH_ACTION_MOVE);
      e.record_points(&p, 1, 1000000ull * (i + 1));
    }
  }
  std::vector<AlgTouchPoint> interpolate() {
    AlgTouchPoint out[HAL_INTERP_IDS];
    int32_t n = -1;
    e.interpolate(out, &n);
    return std::vector<AlgTouchPoint>(out, out + (n > 0 ? n : 0));
  }
};

TEST_F(HalInterpolation, WithoutDoubleRateOrFollowThePointStays) {
  recordStraightMove();
  auto out = interpolate();
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].x, 2100);
  EXPECT_EQ(out[0].y, 500);
}

TEST_F(HalInterpolation, RateChangeSetsKeepsAndClearsDoubleRate) {
  // In double rate the first call places the point at the touch's weight (1.0 - 0.2 for a
  // finger far from where it went down) between the last two positions.
  e.rate_change(120, 240, 0);
  recordStraightMove();
  EXPECT_EQ(interpolate()[0].x, 1100 + 800);

  e.init(1);
  e.rate_change(120, 240, 0);
  e.rate_change(120, 200, 0);  // neither double nor equal: stays double
  recordStraightMove();
  EXPECT_EQ(interpolate()[0].x, 1900);

  e.init(1);
  e.rate_change(120, 240, 0);
  e.rate_change(120, 120, 0);  // equal rates clear it
  recordStraightMove();
  EXPECT_EQ(interpolate()[0].x, 2100);
}

TEST_F(HalInterpolation, EnableRangeDecidesTheSecondCall) {
  // Enabled (74): the second call of a frame extrapolates by the weight (now 0.6) past P0.
  e.rate_change(120, 240, 0);
  e.enable(74);
  recordStraightMove();
  interpolate();
  EXPECT_EQ(interpolate()[0].x, 2700);  // the straight line continued to 1.6 steps
  // Disabled (55): the run counter stays 0 and the second call gives the newest point.
  e.init(1);
  e.rate_change(120, 240, 0);
  e.enable(55);
  recordStraightMove();
  interpolate();
  EXPECT_EQ(interpolate()[0].x, 2100);
}

TEST_F(HalInterpolation, FollowWithTwoPositionsMirrorsTheStep) {
  e.rate_change(120, 120, 1);
  AlgTouchPoint p = point(3, 1100, 500, ALG_TOUCH_ACTION_DOWN);
  e.record_points(&p, 1, 1);
  p = point(3, 2100, 500, ALG_TOUCH_ACTION_MOVE);
  e.record_points(&p, 1, 2);
  auto out = interpolate();
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].id, 3);
  EXPECT_EQ(out[0].x, 1600);  // half way: base fraction 0.5 at phase 0
  EXPECT_EQ(interpolate()[0].x, 2100);  // phase 1: fraction 1.0
}

TEST_F(HalInterpolation, LiftEndsTheHistoryAndOutOfRangeIdsAreDropped) {
  AlgTouchPoint pts[3] = {point(0, 10, 10, ALG_TOUCH_ACTION_DOWN), point(12, 20, 20, ALG_TOUCH_ACTION_DOWN),
                          point(-1, 30, 30, ALG_TOUCH_ACTION_DOWN)};
  e.record_points(pts, 3, 1);
  auto out = interpolate();
  ASSERT_EQ(out.size(), 1u);  // only id 0 is kept
  EXPECT_EQ(out[0].id, 0);
  AlgTouchPoint up = point(0, 11, 11, ALG_TOUCH_ACTION_UP);
  e.record_points(&up, 1, 2);
  out = interpolate();
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].action, ALG_TOUCH_ACTION_UP);
  EXPECT_EQ(out[0].x, 11);
  EXPECT_TRUE(interpolate().empty());
  // A lift of an id without history is ignored; no points at all clears everything.
  AlgTouchPoint stray = point(5, 1, 1, ALG_TOUCH_ACTION_UP);
  e.record_points(&stray, 1, 3);
  EXPECT_TRUE(interpolate().empty());
  recordStraightMove(7);
  e.record_points(nullptr, 0, 4);
  EXPECT_TRUE(interpolate().empty());
}

TEST_F(HalInterpolation, RingKeepsTheNewestAcrossWraps) {
  e.rate_change(120, 120, 1);  // follow: P2 taken from the ring
  for (int i = 0; i < 9; ++i) {
    AlgTouchPoint p = point(2, 1000 * i, 0, i == 0 ? ALG_TOUCH_ACTION_DOWN : ALG_TOUCH_ACTION_MOVE);
    e.record_points(&p, 1, static_cast<uint64_t>(i));
  }
  EXPECT_EQ(report_point_history.count[2], 5);  // 1..7, then on from 4
  auto out = interpolate();
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].x, parabola(8000, 7000, 6000, 0.5));
}

}  // namespace
