// Fuzz entry: hot-area JSON from the game side, parsed, cleaned up and matched.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "hotarea/hot_area.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static HotAreaWidgets *widgets = static_cast<HotAreaWidgets *>(calloc(1, sizeof(HotAreaWidgets)));
  HotArea area{};
  area.widgets = widgets;
  area.width = 8640;
  area.height = 19200;
  area.orientation = size > 0 ? data[0] & 3 : 0;
  const std::string text(reinterpret_cast<const char *>(data), size);
  if (hot_area_parse(text.c_str(), &area) == 0) {
    // The same parse through the module's own record, with the per-frame match behind it.
    hot_area.widgets = widgets;
    hot_area.enabled = 1;
    hot_area.width = area.width;
    hot_area.height = area.height;
    hot_area_parse(text.c_str(), &hot_area);
    strcpy(hot_area.package, HOT_AREA_GAME_PACKAGE);
    AlgTouchPoint p{};
    p.id = 1;
    p.x = 4000;
    p.y = 9000;
    hot_area_strategy(&p, 1);
    p.action = ALG_TOUCH_ACTION_UP;
    hot_area_strategy(&p, 1);
  }
  return 0;
}
