#pragma once
// The hot-area game strategy: on-screen game controls (rectangles and rounds sent as JSON)
// are kept, handed to the algorithm module through its setter table, and matched per touch
// slot each frame so that a slot's touch parameters follow the control it started on.
#include <stddef.h>
#include <stdint.h>

#include "core/hal_core.h"

#ifdef __cplusplus
extern "C" {
#endif

#define HOT_AREA_MAX_RECT 16
#define HOT_AREA_MAX_ROUND 16
#define HOT_AREA_MAX_CROSS 15
#define HOT_AREA_SLOTS 12
#define HOT_AREA_LEVELS 13
#define HOT_AREA_LEVEL_TABLES 6
#define HOT_AREA_PACKAGE_BYTES 128
#define HOT_AREA_TEXT_MAX 1024
#define HOT_AREA_NO_APP "no valid app"
// The package of the one game whose controls are known.
#define HOT_AREA_GAME_PACKAGE "com.tamrel.arenagame.hot"

enum HotAreaType { HOT_AREA_TYPE_MAP = 1, HOT_AREA_TYPE_SKILL = 2, HOT_AREA_TYPE_JOYSTICK = 3, HOT_AREA_TYPE_TOOL = 4 };
enum HotAreaLevelId {
  HOT_AREA_LEVEL_MAP = 1,
  HOT_AREA_LEVEL_TELESCOPIC = 2,
  HOT_AREA_LEVEL_JOYSTICK = 3,
  HOT_AREA_LEVEL_SKILL = 4,
  HOT_AREA_LEVEL_EDGE = 5,
  HOT_AREA_LEVEL_TOOL = 6
};

typedef struct HotAreaRect {
  int32_t x0, y0, x1, y1;
} HotAreaRect;

#pragma pack(push, 1)
typedef struct HotAreaRectWidget {
  uint8_t valid;          // 0
  uint8_t head[3];        // 1, 2: counts (first widget only)
  int32_t id;             // 4: index in the JSON array
  int32_t x0, y0, x1, y1; // 8
  int32_t width, height;  // 24
  int32_t area_type;      // 32
  int32_t level_id;       // 36
  int32_t cross_count;    // 40
  HotAreaRect cross[HOT_AREA_MAX_CROSS];  // 44
  uint8_t reserved[620 - 44 - 16 * HOT_AREA_MAX_CROSS];
} HotAreaRectWidget;

typedef struct HotAreaRoundWidget {
  uint8_t valid;     // 0
  uint8_t pad[3];
  int32_t id;        // 4
  int32_t x, y, radius;  // 8
  int32_t area_type;     // 20
  int32_t level_id;      // 24
  uint8_t reserved[416 - 28];
} HotAreaRoundWidget;

typedef struct HotAreaWidgets {
  HotAreaRectWidget rects[HOT_AREA_MAX_RECT];     // 0
  uint8_t pad[4];
  HotAreaRoundWidget rounds[HOT_AREA_MAX_ROUND];  // 9924
} HotAreaWidgets;
#pragma pack(pop)

VENDOR_ASSERT_SIZE(HotAreaRectWidget, 620);
VENDOR_ASSERT_OFFSET(HotAreaRectWidget, id, 4);
VENDOR_ASSERT_OFFSET(HotAreaRectWidget, cross_count, 40);
VENDOR_ASSERT_SIZE(HotAreaRoundWidget, 416);
VENDOR_ASSERT_OFFSET(HotAreaRoundWidget, level_id, 24);
VENDOR_ASSERT_SIZE(HotAreaWidgets, 16580);
VENDOR_ASSERT_OFFSET(HotAreaWidgets, rounds, 9924);

// The algorithm's setter table, installed by the host (HalModule slot 16).
typedef void (*hot_area_set_rect_fn)(int32_t index, const HotAreaRectWidget *rect, int32_t level);
typedef void (*hot_area_set_level_fn)(int32_t slot, int32_t value);
typedef void (*hot_area_set_round_fn)(int32_t index, const HotAreaRoundWidget *round, int32_t on);
typedef void (*hot_area_enable_fn)(int32_t on);
typedef struct AlgParamInterfaces {
  hot_area_set_rect_fn set_rect;                      // 0
  hot_area_set_level_fn set_level[HOT_AREA_LEVELS];   // 1..13
  void (*unused14)(void);                             // 14
  hot_area_set_round_fn set_round;                    // 15
  hot_area_enable_fn enable;                          // 16
} AlgParamInterfaces;
VENDOR_ASSERT_SIZE(AlgParamInterfaces, 17 * 8);
VENDOR_ASSERT_OFFSET(AlgParamInterfaces, set_round, 15 * 8);

typedef struct HotArea {
  uint8_t enabled;       // 0
  uint8_t valid;         // 1
  uint8_t water;         // 2
  uint8_t glove;         // 3
  uint8_t no_finger;     // 4
  float parse_value;     // 8
  int32_t orientation;   // 12
  int32_t scale;         // 16
  int32_t width;         // 20
  int32_t height;        // 24
  char package[HOT_AREA_PACKAGE_BYTES];  // 28
  uint8_t game_entered;  // 156
  uint8_t subtle;        // 157
  uint8_t in_map[HOT_AREA_SLOTS];        // 158
  const HotAreaRectWidget *map_rect;     // 176
  const HotAreaRoundWidget *map_round;   // 184
  int8_t matched[HOT_AREA_SLOTS];        // 192
  HotAreaWidgets *widgets;               // 208
  AlgParamInterfaces *setters;           // 216
  uint8_t reserved[24];
} HotArea;
VENDOR_ASSERT_SIZE(HotArea, 248);
VENDOR_ASSERT_OFFSET(HotArea, package, 28);
VENDOR_ASSERT_OFFSET(HotArea, map_rect, 176);
VENDOR_ASSERT_OFFSET(HotArea, matched, 192);
VENDOR_ASSERT_OFFSET(HotArea, setters, 216);

extern HAL_EXPORT_VAR HotArea hot_area;
extern HAL_EXPORT_VAR AlgParamInterfaces *alg_param_interfaces;

VENDOR_EXPORT int32_t hot_area_parse(const char *text, HotArea *out);
VENDOR_EXPORT const int32_t *get_param_lv_by_widget_type(int32_t id);
VENDOR_EXPORT void set_level_by_widget_id(int32_t area, int32_t slot);
VENDOR_EXPORT void reset_level_by_widget_id(int32_t slot);
VENDOR_EXPORT void hot_area_set_area_to_alg(int32_t on);
VENDOR_EXPORT int32_t hot_area_strategy(const AlgTouchPoint *points, int32_t count);

#ifdef __cplusplus
}
#endif
