// The hot-area game strategy.
#include "hotarea/hot_area.h"

#include <cjson/cJSON.h>
#include <stdlib.h>
#include <string.h>

#include <cmath>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "rawdata/raw_data.h"

HotArea hot_area;
AlgParamInterfaces *alg_param_interfaces = nullptr;

namespace {

constexpr const char *kLevelKeys[HOT_AREA_LEVEL_TABLES] = {
    "hot_area.widget_map_level",   "hot_area.widget_telescopic_level", "hot_area.widget_joystick_level",
    "hot_area.widget_skill_level", "hot_area.widget_edge_level",       "hot_area.widget_tool_level"};

std::recursive_mutex g_lock;  // the record is written by the command path and read per frame
int32_t g_levels[HOT_AREA_LEVEL_TABLES][HOT_AREA_LEVELS];
int8_t g_lastMatched[HOT_AREA_SLOTS];
uint8_t g_lastSubtle = 0;
bool g_disabledByState = false;
uint8_t g_origin[3] = {};

AlgParamInterfaces *setters() { return hot_area.setters; }

void enableInAlg(int32_t on) {
  if (setters() != nullptr && setters()->enable != nullptr) setters()->enable(on);
}

struct Code {
  const char *code;
  int32_t type;
  int32_t level;
};
constexpr Code kCodes[] = {{"MM", HOT_AREA_TYPE_MAP, HOT_AREA_LEVEL_MAP},
                           {"SK", HOT_AREA_TYPE_SKILL, HOT_AREA_LEVEL_SKILL},
                           {"JY", HOT_AREA_TYPE_JOYSTICK, HOT_AREA_LEVEL_JOYSTICK},
                           {"TL", HOT_AREA_TYPE_TOOL, HOT_AREA_LEVEL_TOOL}};

// Up to `want` comma-separated fractions; the count read.
int fractions(const char *text, float *out, int want) {
  int n = 0;
  const char *p = text;
  while (p != nullptr && *p != '\0' && n < want) {
    char *end = nullptr;
    const float v = strtof(p, &end);
    if (end == p) break;
    out[n++] = v;
    p = strchr(end, ',');
    if (p != nullptr) ++p;
  }
  return n;
}

int32_t trunc(float v) {
  if (!(v > -2147483648.0f && v < 2147483648.0f)) return 0;
  return static_cast<int32_t>(v);
}

void rectCoords(const float *p, int orientation, float w, float h, HotAreaRectWidget *r) {
  float x0, y0, x1, y1;
  switch (orientation) {
    case 1: x0 = p[2] * w; y0 = p[0] * h; x1 = p[3] * w; y1 = p[1] * h; break;
    case 2: x0 = w - p[1] * w; y0 = p[2] * h; x1 = w - p[0] * w; y1 = p[3] * h; break;
    case 3: x0 = w - p[3] * w; y0 = h - p[1] * h; x1 = w - p[2] * w; y1 = h - p[0] * h; break;
    default: x0 = p[0] * w; y0 = p[2] * h; x1 = p[1] * w; y1 = h - p[3] * h; break;
  }
  r->x0 = trunc(x0);
  r->y0 = trunc(y0);
  r->x1 = trunc(x1);
  r->y1 = trunc(y1);
  r->width = r->x1 - r->x0;
  r->height = r->y1 - r->y0;
}

void roundCoords(const float *p, int orientation, float w, float h, HotAreaRoundWidget *r) {
  float x, y;
  switch (orientation) {
    case 1: x = p[1] * w; y = p[0] * h; break;
    case 2: x = w - p[0] * w; y = p[1] * h; break;
    case 3: x = w - p[1] * w; y = h - p[0] * h; break;
    default: x = p[0] * w; y = h - p[1] * h; break;
  }
  r->x = trunc(x);
  r->y = trunc(y);
  r->radius = trunc(p[2] * w);
}

bool inside(const HotAreaRect &a, int32_t x, int32_t y) { return x >= a.x0 && x <= a.x1 && y >= a.y0 && y <= a.y1; }
HotAreaRect rectOf(const HotAreaRectWidget &w) { return {w.x0, w.y0, w.x1, w.y1}; }
bool contains(const HotAreaRect &outer, const HotAreaRect &inner) {
  return inner.x0 >= outer.x0 && inner.y0 >= outer.y0 && inner.x1 <= outer.x1 && inner.y1 <= outer.y1;
}

void addCross(HotAreaRectWidget &w, const HotAreaRect &c) {
  if (w.cross_count < 0 || w.cross_count >= HOT_AREA_MAX_CROSS) return;
  w.cross[w.cross_count++] = c;
}

void crossCleanUp(HotArea *h) {
  HotAreaWidgets *t = h->widgets;
  const int rects = t->rects[0].head[0];
  const int rounds = t->rects[0].head[1];
  for (int i = 1; i < rects; ++i) {
    for (int j = 0; j < i; ++j) {
      HotAreaRectWidget &a = t->rects[i];
      HotAreaRectWidget &b = t->rects[j];
      if (!a.valid || !b.valid) continue;
      const HotAreaRect ra = rectOf(a), rb = rectOf(b);
      if (ra.x0 == rb.x0 && ra.y0 == rb.y0 && ra.x1 == rb.x1 && ra.y1 == rb.y1 && a.area_type == b.area_type) {
        a.valid = 0;
        HAL_LOG_AS(HAL_LOG_INFO, "hal_hot_area_cross", "[HOT_AREA] warning: rect_widghts area id[%d] is same as id[%d]", i, j);
      } else if (contains(rb, ra)) {
        a.valid = 0;
        HAL_LOG_AS(HAL_LOG_INFO, "hal_hot_area_cross", "[HOT_AREA] warning: rect_widghts area id[%d] is contained by id[%d]", i, j);
      } else if (contains(ra, rb)) {
        b.valid = 0;
        HAL_LOG_AS(HAL_LOG_INFO, "hal_hot_area_cross", "[HOT_AREA] warning: rect_widghts area id[%d] is contained by id[%d]", j, i);
      } else {
        const HotAreaRect c = {std::max(ra.x0, rb.x0), std::max(ra.y0, rb.y0), std::min(ra.x1, rb.x1), std::min(ra.y1, rb.y1)};
        if (c.x0 <= c.x1 && c.y0 <= c.y1) {
          addCross(a, c);
          addCross(b, c);
          HAL_LOG_AS(HAL_LOG_INFO, "hal_hot_area_cross",
                     "[HOT_AREA] warning: rect_widghts area id[%d] and id[%d] are overlapped (%d,%d) to (%d,%d)", i, j, c.x0,
                     c.y0, c.x1, c.y1);
        }
      }
    }
  }
  int valid = 0;
  for (int i = 0; i < rects; ++i) valid += t->rects[i].valid != 0;
  HAL_LOG_AS(HAL_LOG_INFO, "hal_hot_area_cross", "[HOT_AREA] info: valid rect num is %d", valid);
  for (int i = 1; i < rounds; ++i) {
    for (int j = 0; j < i; ++j) {
      HotAreaRoundWidget &a = t->rounds[i];
      const HotAreaRoundWidget &b = t->rounds[j];
      if (a.valid && b.valid && a.area_type == b.area_type && a.x == b.x && a.y == b.y && a.radius == b.radius) a.valid = 0;
    }
  }
  valid = 0;
  for (int i = 0; i < rounds; ++i) valid += t->rounds[i].valid != 0;
  HAL_LOG_AS(HAL_LOG_INFO, "hal_hot_area_cross", "[HOT_AREA] info: valid round num is %d", valid);
}

// ---- interface hooks ------------------------------------------------------------------

int32_t hotInit(TouchPanelInfo *, int32_t, uint8_t, uint8_t) {
  std::lock_guard<std::recursive_mutex> guard(g_lock);
  if (hot_area.widgets == nullptr) hot_area.widgets = static_cast<HotAreaWidgets *>(calloc(1, sizeof(HotAreaWidgets)));
  if (hot_area.widgets == nullptr) {
    hot_area.enabled = 0;
    hot_area.valid = 0;
    HAL_LOG_AS(HAL_LOG_ERROR, "hot_area_init", "[HOT_AREA] init malloc error");
    return HAL_RESULT_FAILED;
  }
  memset(hot_area.widgets, 0, sizeof(HotAreaWidgets));
  // A new session starts without a game; the configuration (read before this hook) stays.
  hot_area.valid = 0;
  hot_area.water = hot_area.glove = hot_area.no_finger = 0;
  hot_area.orientation = 0;
  memset(hot_area.package, 0, sizeof hot_area.package);
  hot_area.game_entered = 0;
  hot_area.subtle = 0;
  memset(hot_area.in_map, 0, sizeof hot_area.in_map);
  hot_area.map_rect = nullptr;
  hot_area.map_round = nullptr;
  g_disabledByState = false;
  memset(g_origin, 0, sizeof g_origin);
  g_lastSubtle = 0;
  memset(hot_area.matched, -1, sizeof hot_area.matched);
  memset(g_lastMatched, -1, sizeof g_lastMatched);
  HAL_LOG_AS(HAL_LOG_INFO, "hot_area_init", "[HOT_AREA] success");
  return 0;
}

int32_t hotExit() {
  std::lock_guard<std::recursive_mutex> guard(g_lock);
  free(hot_area.widgets);
  hot_area.widgets = nullptr;
  hot_area.map_rect = nullptr;
  hot_area.map_round = nullptr;
  return 0;
}

int32_t hotReadConfig(void *, void *tree, void *accessor) {
  const auto *config = static_cast<const HalConfigAccessor *>(accessor);
  // The panel block the driver gave the module: the context is the host's own and opaque.
  const TouchPanelInfo *panel = hal_panel_info();
  std::lock_guard<std::recursive_mutex> guard(g_lock);
  hot_area.scale = panel->scale;
  hot_area.width = panel->scale * panel->extent_x;
  hot_area.height = panel->scale * panel->extent_y;
  if (config == nullptr || config->get_int_config == nullptr) return 0;
  hot_area.enabled = static_cast<uint8_t>(config->get_int_config(tree, "hot_area.hot_area_enable", hot_area.enabled));
  int32_t count = config->get_int_config(tree, "hot_area.param_num", HOT_AREA_LEVELS);
  if (count == 0) {
    HAL_LOG_AS(HAL_LOG_ERROR, "get_param", "get param_num failed, use default!");
    count = HOT_AREA_LEVELS;
  }
  if (count > HOT_AREA_LEVELS || count < 0) count = HOT_AREA_LEVELS;
  for (int i = 0; i < HOT_AREA_LEVEL_TABLES; ++i) {
    int32_t n = count;
    if (config->get_int_array_config != nullptr) config->get_int_array_config(tree, kLevelKeys[i], &n, g_levels[i]);
  }
  HAL_LOG_AS(HAL_LOG_INFO, "get_param", "[HOT_AREA] hot_area_enable %d", hot_area.enabled);
  HAL_LOG_AS(HAL_LOG_INFO, "get_param", "[HOT_AREA] success");
  return 0;
}

int32_t hotCommonData(common_data *data, int32_t *) {
  if (data == nullptr) return 0;
  std::lock_guard<std::recursive_mutex> guard(g_lock);
  switch (data->mode) {
    case COMMON_DATA_MODE_PACKAGE_NAME: {
      // The name always keeps its terminator, whatever the block's count says.
      size_t n = data->count < HOT_AREA_PACKAGE_BYTES - 1 ? data->count : HOT_AREA_PACKAGE_BYTES - 1;
      memset(hot_area.package, 0, sizeof hot_area.package);
      memcpy(hot_area.package, data->values, n);
      HAL_LOG_AS(HAL_LOG_INFO, "hot_area_receive_common_data", "[HOT_AREA] package_name %s", hot_area.package);
      hot_area.game_entered = hot_area.package[0] != '\0' && strcmp(hot_area.package, HOT_AREA_NO_APP) != 0;
      HAL_LOG_AS(HAL_LOG_INFO, "hot_area_receive_common_data", "[HOT_AREA] game %s",
                 hot_area.game_entered ? "enter" : "exit");
      hot_area.valid = hot_area.game_entered;
      break;
    }
    case COMMON_DATA_MODE_GAME_BATTLE:
      hot_area.valid = data->values[0] != 0;
      HAL_LOG_AS(HAL_LOG_INFO, "hot_area_receive_common_data", "[HOT_AREA] game battle start: %d", hot_area.valid);
      break;
    case COMMON_DATA_MODE_HOT_AREA_INFO: {
      HAL_LOG_AS(HAL_LOG_INFO, "hot_area_receive_common_data", "[HOT_AREA] Touch_APP_AREA_INFO ");
      char text[HOT_AREA_TEXT_MAX + 1];
      const size_t n = data->count < HOT_AREA_TEXT_MAX ? data->count : HOT_AREA_TEXT_MAX;
      memcpy(text, data->values, n);
      text[n] = '\0';
      if (hot_area_parse(text, &hot_area) == 0 && hot_area.valid) {
        crossCleanUp(&hot_area);
        hot_area_set_area_to_alg(1);
      }
      break;
    }
    case COMMON_DATA_MODE_DISPLAY_ORIENTATION:
      if (data->cmd == COMMON_DATA_CMD_SET_MODE_VALUE) {
        hot_area.orientation = static_cast<int32_t>(data->values[0] & 3u);
        HAL_LOG_AS(HAL_LOG_INFO, "hot_area_receive_common_data", "panel orientation:%d", hot_area.orientation);
      }
      break;
    default:
      break;
  }
  enableInAlg(hot_area.enabled && hot_area.valid);
  return 0;
}

void installSetters(void *table) {
  std::lock_guard<std::recursive_mutex> guard(g_lock);
  alg_param_interfaces = static_cast<AlgParamInterfaces *>(table);
  hot_area.setters = alg_param_interfaces;
  HAL_LOG_AS(HAL_LOG_INFO, "hot_area_set_alg_param", "[HOT_AREA] set alg param");
}

int32_t hotStrategyCheck() { return 0; }

void hotUpdateAlgInfo(const void *output) {
  if (output == nullptr) return;
  const auto *r = static_cast<const HalAlgOutput *>(output);
  std::lock_guard<std::recursive_mutex> guard(g_lock);
  hot_area.water = r->water;
  hot_area.glove = r->glove;
  hot_area.no_finger = r->no_finger;
}

bool specialStateCheck() {
  const uint8_t now[3] = {hot_area.glove, hot_area.water, hot_area.no_finger};
  const bool any = now[0] || now[1] || now[2];
  if (any && hot_area.valid) {
    hot_area.valid = 0;
    g_disabledByState = true;
    enableInAlg(0);
    HAL_LOG_AS(HAL_LOG_INFO, "hot_area_special_state_check",
               "[HOT_AREA glove/water/nf status changed, caused hot_area_valid disabled, origin(%d,%d,%d):now(%d,%d,%d)",
               g_origin[0], g_origin[1], g_origin[2], now[0], now[1], now[2]);
    memcpy(g_origin, now, sizeof g_origin);
  } else if (!any && g_disabledByState) {
    g_disabledByState = false;
    hot_area.valid = 1;
    enableInAlg(1);
    HAL_LOG_AS(HAL_LOG_INFO, "hot_area_special_state_check",
               "[HOT_AREA glove/water/nf status all changed to false, recover hot_area_valid, origin(%d,%d,%d):now(%d,%d,%d)",
               g_origin[0], g_origin[1], g_origin[2], now[0], now[1], now[2]);
    memcpy(g_origin, now, sizeof g_origin);
  }
  return hot_area.valid != 0;
}

int8_t matchRect(int32_t slot, int32_t x, int32_t y) {
  const HotAreaWidgets *t = hot_area.widgets;
  const int rects = t->rects[0].head[0];
  for (int i = 0; i < rects; ++i) {
    const HotAreaRectWidget &w = t->rects[i];
    if (!w.valid || !inside(rectOf(w), x, y)) continue;
    bool crossed = false;
    for (int c = 0; c < w.cross_count && c < HOT_AREA_MAX_CROSS; ++c) {
      if (inside(w.cross[c], x, y)) {
        HAL_LOG_AS(HAL_LOG_INFO, "hal_hot_area_match",
                   "[HOT_AREA] hal_hot_area_match point[%d] is in rect_widghts[%d], cross_num:%d, cross_cnt:%d", slot, i,
                   w.cross_count, c);
        crossed = true;
        break;
      }
    }
    if (!crossed) return static_cast<int8_t>(i);
  }
  return -1;
}

const HalFunctionInterface kHotAreaInterface = {
    .init = hotInit,
    .exit = hotExit,
    .receive_common_data = hotCommonData,
    .read_config = hotReadConfig,
    .dump_get = nullptr,
    .dump_send = nullptr,
    .suspend = nullptr,
    .rate_change = nullptr,
    .state = nullptr,
    .process1 = reinterpret_cast<hal_generic_fn>(hot_area_parse),
    .process2 = reinterpret_cast<hal_generic_fn>(installSetters),
    .extra = {reinterpret_cast<hal_generic_fn>(hotStrategyCheck), reinterpret_cast<hal_generic_fn>(hot_area_strategy),
              reinterpret_cast<hal_generic_fn>(hotUpdateAlgInfo)},
};

}  // namespace

const int32_t *get_param_lv_by_widget_type(int32_t id) {
  if (id < 1 || id > HOT_AREA_LEVEL_TABLES) return nullptr;
  return g_levels[id - 1];
}

int32_t hot_area_parse(const char *text, HotArea *out) {
  if (text == nullptr || out == nullptr) return -1;
  std::lock_guard<std::recursive_mutex> guard(g_lock);
  if (out->widgets == nullptr) return -1;
  cJSON *root = cJSON_Parse(text);
  if (root == nullptr) {
    const char *where = cJSON_GetErrorPtr();
    HAL_LOG_AS(HAL_LOG_ERROR, "hot_area_parse", "Error before: [%s]\n", where != nullptr ? where : "");
    return -1;
  }
  // The areas are built aside and take the place of the previous ones only when the whole
  // text is sound: a refused text leaves the game with the controls it had.
  auto fresh = std::make_unique<HotAreaWidgets>();
  memset(fresh.get(), 0, sizeof(HotAreaWidgets));
  int mapRect = -1, mapRound = -1;
  int rects = 0, rounds = 0;
  bool refused = false;
  const float w = static_cast<float>(out->width - 1);
  const float h = static_cast<float>(out->height - 1);
  if (!cJSON_IsArray(root)) {
    HAL_LOG_AS(HAL_LOG_ERROR, "app_set_hot_area_parse_hok", "[HOT_AREA] area info refused: not an array");
    refused = true;
  }
  const int count = !refused ? cJSON_GetArraySize(root) : 0;
  for (int i = 0; i < count && !refused; ++i) {
    cJSON *item = cJSON_GetArrayItem(root, i);
    const char *shape = cJSON_HasObjectItem(item, "AS") ? cJSON_GetStringValue(cJSON_GetObjectItem(item, "AS")) : nullptr;
    if (shape == nullptr) {
      HAL_LOG_AS(HAL_LOG_ERROR, "app_set_hot_area_parse_hok", "[HOT_AREA] AS area info error");
      refused = true;
      break;
    }
    const bool isRect = strcmp(shape, "Rt") == 0;
    if (!isRect && strcmp(shape, "Rc") != 0) {
      HAL_LOG_AS(HAL_LOG_ERROR, "app_set_hot_area_parse_hok", "[HOT_AREA] area info refused: unknown shape %s of area %d",
                 shape, i);
      refused = true;
      break;
    }
    const char *at = cJSON_GetStringValue(cJSON_GetObjectItem(item, "AT"));
    const Code *code = nullptr;
    for (const Code &c : kCodes)
      if (at != nullptr && strcmp(at, c.code) == 0) code = &c;
    if (code == nullptr) {
      HAL_LOG_AS(HAL_LOG_ERROR, "app_set_hot_area_parse_hok", "[HOT_AREA] AT area info error");
      refused = true;
      break;
    }
    if ((isRect ? rects >= HOT_AREA_MAX_RECT : rounds >= HOT_AREA_MAX_ROUND)) {
      if (isRect) {
        HAL_LOG_AS(HAL_LOG_ERROR, "app_set_hot_area_parse_hok",
                   "[HOT_AREA] received rect_num exceed MAX_NUM_RECTANGLE:%d", HOT_AREA_MAX_RECT);
      } else {
        HAL_LOG_AS(HAL_LOG_ERROR, "app_set_hot_area_parse_hok", "[HOT_AREA] received rnd_num exceed MAX_NUM_ROUND:%d",
                   HOT_AREA_MAX_ROUND);
      }
      continue;
    }
    const char *size = cJSON_GetStringValue(cJSON_GetObjectItem(item, "SZ"));
    const int want = isRect ? 4 : 3;
    float p[4] = {};
    const int have = size != nullptr ? fractions(size, p, want) : 0;
    bool finite = true;
    for (int k = 0; k < have; ++k) finite = finite && std::isfinite(p[k]);
    if (have < want || !finite) {
      // A missing or non-finite fraction would place a control nowhere near the game's.
      HAL_LOG_AS(HAL_LOG_ERROR, "app_set_hot_area_parse_hok",
                 "[HOT_AREA] area info refused: area %d needs %d finite fractions, SZ is \"%s\"", i, want,
                 size != nullptr ? size : "");
      refused = true;
      break;
    }
    // Each fraction is a share of the screen. One outside 0 to 1 places a control off the
    // screen, and a far one overflows the pixel arithmetic of the rectangle.
    int outside = -1;
    for (int k = 0; k < want && outside < 0; ++k)
      if (!(p[k] >= 0.0f && p[k] <= 1.0f)) outside = k;
    if (outside >= 0) {
      HAL_LOG_AS(HAL_LOG_ERROR, "app_set_hot_area_parse_hok",
                 "[HOT_AREA] area info refused: area %d fraction %d is %g, outside 0 to 1", i, outside,
                 static_cast<double>(p[outside]));
      refused = true;
      break;
    }
    if (isRect) {
      HotAreaRectWidget &r = fresh->rects[rects];
      rectCoords(p, out->orientation, w, h, &r);
      r.valid = 1;
      r.id = i;
      r.area_type = code->type;
      r.level_id = code->level;
      if (code->type == HOT_AREA_TYPE_MAP) mapRect = rects;
      ++rects;
    } else {
      HotAreaRoundWidget &r = fresh->rounds[rounds];
      roundCoords(p, out->orientation, w, h, &r);
      r.valid = 1;
      r.id = i;
      r.area_type = code->type;
      r.level_id = code->level;
      if (code->type == HOT_AREA_TYPE_MAP) mapRound = rounds;
      ++rounds;
    }
  }
  cJSON_Delete(root);
  if (refused) return -1;
  fresh->rects[0].head[0] = static_cast<uint8_t>(rects);
  fresh->rects[0].head[1] = static_cast<uint8_t>(rounds);
  memcpy(out->widgets, fresh.get(), sizeof(HotAreaWidgets));
  out->map_rect = mapRect >= 0 ? &out->widgets->rects[mapRect] : nullptr;
  out->map_round = mapRound >= 0 ? &out->widgets->rounds[mapRound] : nullptr;
  out->parse_value = 0.0f;
  out->valid = 1;
  HAL_LOG_AS(HAL_LOG_INFO, "hot_area_parse", "[HOT_AREA] hot_area_parse success");
  return 0;
}

void hot_area_set_area_to_alg(int32_t on) {
  std::lock_guard<std::recursive_mutex> guard(g_lock);
  AlgParamInterfaces *s = setters();
  // The algorithm installs its setters when it loads; until then there is no one to tell.
  if (s == nullptr) return;
  if (!on || hot_area.widgets == nullptr) {
    if (s->set_rect != nullptr) s->set_rect(0, nullptr, 0);
    if (s->set_round != nullptr) s->set_round(0, nullptr, 0);
    return;
  }
  const HotAreaWidgets *t = hot_area.widgets;
  for (int i = 0; i < t->rects[0].head[0]; ++i) {
    const HotAreaRectWidget &r = t->rects[i];
    const int32_t *levels = get_param_lv_by_widget_type(r.level_id);
    if (r.valid && s->set_rect != nullptr) s->set_rect(i, &r, levels != nullptr ? levels[0] : 0);
  }
  for (int i = 0; i < t->rects[0].head[1]; ++i) {
    if (t->rounds[i].valid && s->set_round != nullptr) s->set_round(i, &t->rounds[i], 1);
  }
}

void set_level_by_widget_id(int32_t area, int32_t slot) {
  std::lock_guard<std::recursive_mutex> guard(g_lock);
  AlgParamInterfaces *s = setters();
  if (s == nullptr || hot_area.widgets == nullptr || area < 0 || area >= HOT_AREA_MAX_RECT || slot < 0) return;
  const int32_t *levels = get_param_lv_by_widget_type(hot_area.widgets->rects[area].level_id);
  if (levels == nullptr) return;
  for (int e = 0; e < HOT_AREA_LEVELS; ++e) {
    if (levels[e] <= 0) continue;
    // Entries 4 and 5 go to each other's setter; the rest to their own.
    const int setter = e == 3 ? 5 : e == 4 ? 4 : e + 1;
    if (s->set_level[setter - 1] != nullptr) s->set_level[setter - 1](slot, levels[e]);
  }
}

void reset_level_by_widget_id(int32_t slot) {
  std::lock_guard<std::recursive_mutex> guard(g_lock);
  AlgParamInterfaces *s = setters();
  if (s == nullptr) return;
  for (int i = 0; i < HOT_AREA_LEVELS; ++i)
    if (s->set_level[i] != nullptr) s->set_level[i](slot, 2);
}

int32_t hot_area_strategy(const AlgTouchPoint *points, int32_t count) {
  std::lock_guard<std::recursive_mutex> guard(g_lock);
  if (!hot_area.enabled) return -1;
  if (!specialStateCheck()) return -1;
  if (hot_area.map_rect != nullptr || hot_area.map_round != nullptr) {
    if (points == nullptr || count <= 0) {
      memset(hot_area.in_map, 0, sizeof hot_area.in_map);
      memset(hot_area.matched, -1, sizeof hot_area.matched);
    } else if (strcmp(hot_area.package, HOT_AREA_GAME_PACKAGE) == 0 && hot_area.widgets != nullptr) {
      for (int32_t i = 0; i < count; ++i) {
        const AlgTouchPoint &p = points[i];
        if (p.tool != ALG_TOUCH_TOOL_FINGER || p.id < 0 || p.id >= HOT_AREA_SLOTS) continue;
        if (p.action == ALG_TOUCH_ACTION_UP) {
          hot_area.in_map[p.id] = 0;
          hot_area.matched[p.id] = -1;
        } else if (p.action == ALG_TOUCH_ACTION_DOWN) {
          if (hot_area.map_rect != nullptr && inside(rectOf(*hot_area.map_rect), p.x, p.y)) {
            hot_area.in_map[p.id] = 1;
            HAL_LOG_AS(HAL_LOG_INFO, "hal_hot_area_match", "[HOT_AREA] Min Map matched");
          }
          if (hot_area.matched[p.id] < 0) hot_area.matched[p.id] = matchRect(p.id, p.x, p.y);
        }
      }
    }
  }
  uint8_t subtle = 0;
  for (uint8_t f : hot_area.in_map) subtle |= f;
  hot_area.subtle = subtle;
  if (subtle != g_lastSubtle) {
    HAL_LOG_AS(HAL_LOG_INFO, "hot_area_strategy", "[HOT_AREA] %s", subtle ? "subtle_operation" : "not subtle_operation");
    g_lastSubtle = subtle;
  }
  for (int slot = 0; slot < HOT_AREA_SLOTS; ++slot) {
    const int8_t now = hot_area.matched[slot];
    if (now == g_lastMatched[slot]) continue;
    if (now >= 0) {
      HAL_LOG_AS(HAL_LOG_INFO, "hot_area_strategy", "slot id[%d] matched hot area[%d], need set level by alg", slot, now);
      set_level_by_widget_id(now, slot);
    } else {
      HAL_LOG_AS(HAL_LOG_INFO, "hot_area_strategy", "slot id[%d] release from hot area, reset level by alg", slot);
      reset_level_by_widget_id(slot);
    }
    g_lastMatched[slot] = now;
  }
  return 0;
}

const HalFunctionInterface *hal_hotarea_interface(void) { return &kHotAreaInterface; }
