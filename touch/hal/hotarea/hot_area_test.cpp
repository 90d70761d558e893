// The hot-area strategy over the whole module: JSON areas in screen fractions become touch
// rectangles for each orientation, reach the algorithm's setter table, and touches that
// start on a control set that control's levels for their slot.
#include "hotarea/hot_area.h"

#include <gtest/gtest.h>

#include <mutex>
#include <tuple>

#include "config/test_host.h"
#include "rawdata/raw_data.h"

namespace {

// Every setter call the algorithm's table received, in order.
struct Call {
  int setter;
  int32_t a;
  int32_t b;
  bool operator==(const Call &o) const { return setter == o.setter && a == o.a && b == o.b; }
};
std::ostream &operator<<(std::ostream &os, const Call &c) { return os << "{" << c.setter << "," << c.a << "," << c.b << "}"; }

std::mutex g_callsLock;
std::vector<Call> g_calls;
HotAreaRectWidget g_lastRect;

void record(int setter, int32_t a, int32_t b) {
  std::lock_guard<std::mutex> guard(g_callsLock);
  g_calls.push_back({setter, a, b});
}
template <int N>
void level(int32_t slot, int32_t value) {
  record(N, slot, value);
}
void setRect(int32_t index, const HotAreaRectWidget *rect, int32_t lv) {
  if (rect != nullptr) g_lastRect = *rect;
  record(0, index, lv);
}
void setRound(int32_t index, const HotAreaRoundWidget *, int32_t on) { record(15, index, on); }
void enable(int32_t on) { record(16, on, 0); }

std::vector<Call> takeCalls() {
  std::lock_guard<std::mutex> guard(g_callsLock);
  std::vector<Call> out;
  out.swap(g_calls);
  return out;
}

AlgParamInterfaces makeTable() {
  AlgParamInterfaces t{};
  t.set_rect = setRect;
  t.set_level[0] = level<1>;
  t.set_level[1] = level<2>;
  t.set_level[2] = level<3>;
  t.set_level[3] = level<4>;
  t.set_level[4] = level<5>;
  t.set_level[5] = level<6>;
  t.set_level[6] = level<7>;
  t.set_level[7] = level<8>;
  t.set_level[8] = level<9>;
  t.set_level[9] = level<10>;
  t.set_level[10] = level<11>;
  t.set_level[11] = level<12>;
  t.set_level[12] = level<13>;
  t.set_round = setRound;
  t.enable = enable;
  return t;
}

constexpr const char *kConfig =
    "hot_area\n"
    "    hot_area_enable = 1\n"
    "    param_num = 13\n"
    "    widget_map_level = {9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}\n"
    "    widget_telescopic_level = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}\n"
    "    widget_joystick_level = {3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}\n"
    "    widget_skill_level = {7, 8, 0, 40, 50, 0, 0, 0, 0, 0, 0, 0, 130}\n"
    "    widget_edge_level = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}\n"
    "    widget_tool_level = {6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}\n";

class HotAreaTest : public hal_test::ModuleFixture {
 protected:
  void SetUp() override {
    takeCalls();
    start(kConfig);
  }
  void TearDown() override {
    module_->set_alg_param_setters(nullptr);
    ModuleFixture::TearDown();
  }
  void send(uint16_t mode, const std::string &bytes, uint8_t cmd = COMMON_DATA_CMD_PACKAGE_DATA) {
    common_data b{};
    b.cmd = cmd;
    b.mode = mode;
    b.count = static_cast<uint16_t>(bytes.size());
    memcpy(b.values, bytes.data(), std::min(bytes.size(), sizeof b.values));
    int32_t pass = 1;
    module_->receive_common_data(&b, &pass);
  }
  void setValue(uint16_t mode, uint32_t v) {
    common_data b{};
    b.mode = mode;
    b.count = 1;
    b.values[0] = v;
    int32_t pass = 1;
    module_->receive_common_data(&b, &pass);
  }
  int32_t strategy(std::vector<AlgTouchPoint> points) {
    auto fn = reinterpret_cast<int32_t (*)(const AlgTouchPoint *, int32_t)>(get_hot_area_interface()->extra[1]);
    return fn(points.data(), static_cast<int32_t>(points.size()));
  }
  static AlgTouchPoint touch(int32_t slot, int32_t x, int32_t y, int32_t action) {
    AlgTouchPoint p{};
    p.id = slot;
    p.x = x;
    p.y = y;
    p.action = action;
    return p;
  }
  AlgParamInterfaces table_ = makeTable();
  static constexpr int32_t W = 1080 * 8 - 1;  // w = W - 1 of the text, in touch units
  static constexpr int32_t H = 2400 * 8 - 1;
};

TEST_F(HotAreaTest, RectangleCornersFollowTheOrientation) {
  module_->set_alg_param_setters(&table_);
  const std::string json = R"([{"AS":"Rt","AT":"SK","SZ":"0.1,0.2,0.3,0.4"}])";
  const float p[4] = {0.1f, 0.2f, 0.3f, 0.4f};
  const float w = W, h = H;
  const std::tuple<int, int32_t, int32_t, int32_t, int32_t> cases[] = {
      {0, int32_t(p[0] * w), int32_t(p[2] * h), int32_t(p[1] * w), int32_t(h - p[3] * h)},
      {1, int32_t(p[2] * w), int32_t(p[0] * h), int32_t(p[3] * w), int32_t(p[1] * h)},
      {2, int32_t(w - p[1] * w), int32_t(p[2] * h), int32_t(w - p[0] * w), int32_t(p[3] * h)},
      {3, int32_t(w - p[3] * w), int32_t(h - p[1] * h), int32_t(w - p[2] * w), int32_t(h - p[0] * h)},
  };
  for (const auto &[orientation, x0, y0, x1, y1] : cases) {
    SCOPED_TRACE(orientation);
    setValue(COMMON_DATA_MODE_DISPLAY_ORIENTATION, static_cast<uint32_t>(orientation));
    send(COMMON_DATA_MODE_HOT_AREA_INFO, json);
    EXPECT_EQ(g_lastRect.x0, x0);
    EXPECT_EQ(g_lastRect.y0, y0);
    EXPECT_EQ(g_lastRect.x1, x1);
    EXPECT_EQ(g_lastRect.y1, y1);
    EXPECT_EQ(g_lastRect.area_type, HOT_AREA_TYPE_SKILL);
    EXPECT_EQ(g_lastRect.level_id, HOT_AREA_LEVEL_SKILL);
  }
}

TEST_F(HotAreaTest, AreasReachTheAlgorithmAndATouchOnAControlSetsItsLevelsForThatSlot) {
  module_->set_alg_param_setters(&table_);
  send(COMMON_DATA_MODE_PACKAGE_NAME, HOT_AREA_GAME_PACKAGE);
  EXPECT_EQ(takeCalls(), (std::vector<Call>{{16, 1, 0}}));
  // A mini map, a skill button given twice, a joystick round, and a skill button overlapping
  // the first one.
  send(COMMON_DATA_MODE_HOT_AREA_INFO,
       R"([{"AS":"Rt","AT":"MM","SZ":"0.0,0.2,0.0,0.8"},)"
       R"({"AS":"Rt","AT":"SK","SZ":"0.5,0.6,0.5,0.4"},)"
       R"({"AS":"Rt","AT":"SK","SZ":"0.5,0.6,0.5,0.4"},)"
       R"({"AS":"Rc","AT":"JY","SZ":"0.2,0.2,0.1"},)"
       R"({"AS":"Rt","AT":"SK","SZ":"0.55,0.7,0.55,0.3"}])");
  // Setter 0 per valid rectangle (the duplicate dropped) with its table's first value, setter
  // 15 per round, then the switch.
  EXPECT_EQ(takeCalls(), (std::vector<Call>{{0, 0, 9}, {0, 1, 7}, {0, 3, 7}, {15, 0, 1}, {16, 1, 0}}));
  EXPECT_EQ(hot_area.widgets->rects[1].cross_count, 1);
  EXPECT_EQ(hot_area.widgets->rects[3].cross_count, 1);

  // A finger down inside rectangle 1 only (x 0.52 of the width, y middle of its band).
  const int32_t x = static_cast<int32_t>(0.52f * W), y = static_cast<int32_t>(0.55f * H);
  EXPECT_EQ(strategy({touch(2, x, y, ALG_TOUCH_ACTION_DOWN)}), 0);
  // The skill table's positive entries: 1, 2 to setters 1, 2; entry 4 to setter 5, entry 5
  // to setter 4; entry 13 to setter 13.
  EXPECT_EQ(takeCalls(), (std::vector<Call>{{1, 2, 7}, {2, 2, 8}, {5, 2, 40}, {4, 2, 50}, {13, 2, 130}}));
  EXPECT_EQ(hot_area.matched[2], 1);
  EXPECT_EQ(strategy({touch(2, x + 5, y, ALG_TOUCH_ACTION_MOVE)}), 0);
  EXPECT_TRUE(takeCalls().empty());
  EXPECT_EQ(strategy({touch(2, x, y, ALG_TOUCH_ACTION_UP)}), 0);
  std::vector<Call> reset;
  for (int s = 1; s <= 13; ++s) reset.push_back({s, 2, 2});
  EXPECT_EQ(takeCalls(), reset);

  // In the overlap of rectangles 1 and 3 the search goes on past both: nothing matches.
  const int32_t ox = static_cast<int32_t>(0.58f * W), oy = static_cast<int32_t>(0.6f * H);
  EXPECT_EQ(strategy({touch(4, ox, oy, ALG_TOUCH_ACTION_DOWN)}), 0);
  EXPECT_EQ(hot_area.matched[4], -1);
  // Outside every area: no level changes.
  EXPECT_EQ(strategy({touch(5, W / 2, 10, ALG_TOUCH_ACTION_DOWN)}), 0);
  EXPECT_EQ(hot_area.matched[5], -1);
  EXPECT_TRUE(takeCalls().empty());

  // Glove on: the strategy stops and the algorithm is told; off again: it comes back.
  HalAlgOutput out{};
  out.glove = 1;
  module_->raw_data_process(&out);
  EXPECT_EQ(strategy({}), -1);
  EXPECT_EQ(takeCalls(), (std::vector<Call>{{16, 0, 0}}));
  out.glove = 0;
  module_->raw_data_process(&out);
  EXPECT_EQ(strategy({}), 0);
  EXPECT_EQ(takeCalls(), (std::vector<Call>{{16, 1, 0}}));
}

TEST_F(HotAreaTest, AnUnknownCodeAbortsTheWholeParse) {
  module_->set_alg_param_setters(&table_);
  send(COMMON_DATA_MODE_PACKAGE_NAME, HOT_AREA_GAME_PACKAGE);
  takeCalls();
  send(COMMON_DATA_MODE_HOT_AREA_INFO, R"([{"AS":"Rt","AT":"SK","SZ":"0.1,0.2,0.3,0.4"},{"AS":"Rt","AT":"XX","SZ":"0,1,0,1"}])");
  EXPECT_EQ(hot_area.widgets->rects[0].head[0], 0);
  EXPECT_EQ(host_.count("AT area info error"), 1u);
  send(COMMON_DATA_MODE_HOT_AREA_INFO, R"([{"AT":"SK"}])");
  EXPECT_EQ(host_.count("AS area info error"), 1u);
  send(COMMON_DATA_MODE_HOT_AREA_INFO, "not json");
  EXPECT_EQ(host_.count("Error before"), 1u);
  for (const Call &c : takeCalls()) EXPECT_EQ(c.setter, 16);  // no area reached the algorithm
}

// A text the game side got wrong is refused whole, with a line saying why, and the areas
// already in place stay as they were: the player keeps the controls of the last good text.
TEST_F(HotAreaTest, ARefusedTextKeepsThePreviousAreas) {
  module_->set_alg_param_setters(&table_);
  setValue(COMMON_DATA_MODE_DISPLAY_ORIENTATION, 0);
  send(COMMON_DATA_MODE_PACKAGE_NAME, HOT_AREA_GAME_PACKAGE);
  send(COMMON_DATA_MODE_HOT_AREA_INFO,
       R"([{"AS":"Rt","AT":"MM","SZ":"0.0,0.2,0.0,0.8"},{"AS":"Rc","AT":"JY","SZ":"0.2,0.2,0.1"}])");
  ASSERT_EQ(hot_area.widgets->rects[0].head[0], 1);
  ASSERT_EQ(hot_area.widgets->rects[0].head[1], 1);
  ASSERT_NE(hot_area.map_rect, nullptr);
  const std::vector<uint8_t> before(reinterpret_cast<const uint8_t *>(hot_area.widgets),
                                    reinterpret_cast<const uint8_t *>(hot_area.widgets + 1));
  const HotAreaRectWidget *mapRect = hot_area.map_rect;
  setValue(COMMON_DATA_MODE_GAME_BATTLE, 0);  // out of battle: a refused text must not turn it on
  ASSERT_EQ(hot_area.valid, 0);
  takeCalls();

  const struct {
    const char *name;
    const char *text;
    const char *line;
  } cases[] = {
      {"an object, not an array", R"({"AS":"Rt","AT":"SK","SZ":"0.1,0.2,0.3,0.4"})", "not an array"},
      {"unknown shape", R"([{"AS":"Tr","AT":"SK","SZ":"0.1,0.2,0.3,0.4"}])", "unknown shape"},
      {"rectangle with three fractions", R"([{"AS":"Rt","AT":"SK","SZ":"0.1,0.2,0.3"}])", "fractions"},
      {"round with two fractions", R"([{"AS":"Rc","AT":"JY","SZ":"0.2,0.2"}])", "fractions"},
      {"no SZ at all", R"([{"AS":"Rt","AT":"SK"}])", "fractions"},
      {"NaN fraction", R"([{"AS":"Rt","AT":"SK","SZ":"nan,0.2,0.3,0.4"}])", "fractions"},
      {"infinite fraction", R"([{"AS":"Rc","AT":"JY","SZ":"0.2,inf,0.1"}])", "fractions"},
      {"a good element then a short one",
       R"([{"AS":"Rt","AT":"SK","SZ":"0.1,0.2,0.3,0.4"},{"AS":"Rt","AT":"SK","SZ":"0.1"}])", "fractions"},
      {"a good element then an unknown code",
       R"([{"AS":"Rt","AT":"SK","SZ":"0.1,0.2,0.3,0.4"},{"AS":"Rt","AT":"XX","SZ":"0,1,0,1"}])", "AT area info error"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    const size_t lines = host_.count(c.line);
    send(COMMON_DATA_MODE_HOT_AREA_INFO, c.text);
    EXPECT_EQ(host_.count(c.line), lines + 1) << ::testing::PrintToString(host_.lines());
    EXPECT_EQ(std::vector<uint8_t>(reinterpret_cast<const uint8_t *>(hot_area.widgets),
                                   reinterpret_cast<const uint8_t *>(hot_area.widgets + 1)),
              before);
    EXPECT_EQ(hot_area.map_rect, mapRect);
    EXPECT_EQ(hot_area.valid, 0);
    for (const Call &call : takeCalls()) EXPECT_EQ(call.setter, 16);  // no area reached the algorithm
  }

  // Back in battle the kept mini map still works.
  setValue(COMMON_DATA_MODE_GAME_BATTLE, 1);
  EXPECT_EQ(strategy({touch(0, 100, 1000, ALG_TOUCH_ACTION_DOWN)}), 0);
  EXPECT_EQ(hot_area.in_map[0], 1);
}

// Every fraction of "SZ" is a share of the screen: 0 to 1 inclusive is taken, anything
// else (a little or far outside) refuses the whole text with a line saying so, and the areas
// of the last good text stay in force. Far-out values must not reach the pixel arithmetic,
// where a wide pair would overflow the width of a rectangle.
TEST_F(HotAreaTest, FractionsOutsideZeroToOneAreRefusedAndThePreviousAreasStay) {
  module_->set_alg_param_setters(&table_);
  setValue(COMMON_DATA_MODE_DISPLAY_ORIENTATION, 0);
  send(COMMON_DATA_MODE_PACKAGE_NAME, HOT_AREA_GAME_PACKAGE);
  const std::string good = R"([{"AS":"Rt","AT":"MM","SZ":"0.0,0.2,0.0,0.8"},{"AS":"Rc","AT":"JY","SZ":"0.2,0.2,0.1"}])";
  auto snapshot = [] {
    return std::vector<uint8_t>(reinterpret_cast<const uint8_t *>(hot_area.widgets),
                                reinterpret_cast<const uint8_t *>(hot_area.widgets + 1));
  };
  const struct {
    const char *value;
    bool taken;
  } cases[] = {{"0", true},     {"1", true},      {"0.5", true}, {"-0.01", false},
               {"1.01", false}, {"1e9", false},   {"-1e12", false}, {"-200000", false}};
  for (const auto &c : cases) {
    // The value in each place of a rectangle (4 fractions) and of a round (3), the others
    // well inside the screen.
    for (int place = 0; place < 7; ++place) {
      const bool rect = place < 4;
      std::string sz;
      for (int k = 0; k < (rect ? 4 : 3); ++k) {
        if (k > 0) sz += ",";
        sz += k == (rect ? place : place - 4) ? c.value : (rect ? "0.3" : "0.1");
      }
      // A wide pair: a huge negative left edge with a huge positive right edge.
      if (std::string(c.value) == "-200000" && rect && place == 0) sz = "-200000,200000,0.3,0.3";
      SCOPED_TRACE(::testing::Message() << c.value << " in SZ \"" << sz << "\"");
      send(COMMON_DATA_MODE_HOT_AREA_INFO, good);
      ASSERT_EQ(hot_area.widgets->rects[0].head[0], 1);
      const std::vector<uint8_t> before = snapshot();
      const HotAreaRectWidget *mapRect = hot_area.map_rect;
      const size_t refusals = host_.count("outside 0 to 1");
      takeCalls();

      const std::string text = std::string(R"([{"AS":")") + (rect ? "Rt" : "Rc") + R"(","AT":"SK","SZ":")" + sz + R"("}])";
      send(COMMON_DATA_MODE_HOT_AREA_INFO, text);
      if (c.taken) {
        EXPECT_EQ(host_.count("outside 0 to 1"), refusals);
        EXPECT_EQ(hot_area.widgets->rects[0].head[0], rect ? 1 : 0);
        EXPECT_EQ(hot_area.widgets->rects[0].head[1], rect ? 0 : 1);
        EXPECT_EQ(hot_area.map_rect, nullptr) << "the new text has no mini map";
        if (rect) {
          const HotAreaRectWidget &r = hot_area.widgets->rects[0];
          for (int32_t x : {r.x0, r.x1}) EXPECT_TRUE(x >= 0 && x <= W) << x;
          for (int32_t y : {r.y0, r.y1}) EXPECT_TRUE(y >= 0 && y <= H) << y;
        } else {
          const HotAreaRoundWidget &r = hot_area.widgets->rounds[0];
          EXPECT_TRUE(r.x >= 0 && r.x <= W) << r.x;
          EXPECT_TRUE(r.y >= 0 && r.y <= H) << r.y;
          EXPECT_TRUE(r.radius >= 0 && r.radius <= W) << r.radius;
        }
      } else {
        EXPECT_EQ(host_.count("outside 0 to 1"), refusals + 1);
        EXPECT_TRUE(snapshot() == before) << "the areas changed";
        EXPECT_EQ(hot_area.map_rect, mapRect);
        for (const Call &call : takeCalls()) EXPECT_EQ(call.setter, 16);  // no area reached the algorithm
      }
    }
  }
  // The kept mini map still works after the refusals.
  send(COMMON_DATA_MODE_HOT_AREA_INFO, good);
  send(COMMON_DATA_MODE_HOT_AREA_INFO, R"([{"AS":"Rt","AT":"SK","SZ":"1e9,0.2,0.3,0.4"}])");
  EXPECT_EQ(strategy({touch(0, 100, 1000, ALG_TOUCH_ACTION_DOWN)}), 0);
  EXPECT_EQ(hot_area.in_map[0], 1);
}

TEST_F(HotAreaTest, PackageNamesAndAMissingSetterTable) {
  // No setter table yet: every path that would call it goes quietly.
  send(COMMON_DATA_MODE_PACKAGE_NAME, HOT_AREA_GAME_PACKAGE);
  send(COMMON_DATA_MODE_HOT_AREA_INFO, R"([{"AS":"Rt","AT":"MM","SZ":"0.0,0.2,0.0,0.8"}])");
  EXPECT_EQ(strategy({touch(0, 100, 1000, ALG_TOUCH_ACTION_DOWN)}), 0);
  EXPECT_EQ(hot_area.in_map[0], 1);
  EXPECT_EQ(hot_area.subtle, 1);
  EXPECT_TRUE(takeCalls().empty());

  const struct {
    std::string name;
    uint8_t entered;
  } cases[] = {{"no valid app", 0}, {"", 0}, {"com.example.other", 1}, {std::string(200, 'p'), 1}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name.size());
    send(COMMON_DATA_MODE_PACKAGE_NAME, c.name);
    EXPECT_EQ(hot_area.game_entered, c.entered);
    EXPECT_EQ(hot_area.valid, c.entered);
    // The name always ends inside its field.
    EXPECT_EQ(strnlen(hot_area.package, sizeof hot_area.package), std::min<size_t>(c.name.size(), 127));
  }
}

}  // namespace
