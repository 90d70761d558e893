// Corner restraint: a touch resting in a corner while another finger works in the middle of
// the screen is the ball of the thumb or a holding finger, not a touch. Which corners count
// depends on how the phone is held (portrait, or landscape with the connector left or
// right).
#include "edge_internal.h"

using namespace edge;

namespace {

struct Window {
  uint8_t corner = 0;
  int64_t x0 = 0, x1 = -1, y0 = 0, y1 = -1;
};

constexpr int64_t kMargin = 150;

// The corner the record went down in and the window in which another touch makes it a
// resting corner contact; with half_height the window ends at the middle of the panel.
Window CornerWindow(uint8_t id, uint16_t size, bool half_height) {
  const LumaEdgePalmSta &r = Rec(id);
  const int64_t x = r.stDown.x;
  const int64_t y = r.stDown.y;
  const int64_t s = size;
  const int64_t max_x = g_usMaxPosX;
  const int64_t max_y = g_usMaxPosY;
  const int64_t half = PanelH() / 2;
  const bool left = x < s;
  const bool right = x > max_x - s;
  const bool top = y < s;
  const bool bottom = y > max_y - s;
  Window w;
  if (left && top) {
    w = {1, s, max_x - kMargin, s, half_height ? half : max_y - kMargin};
  } else if (left && bottom) {
    w = {2, s, max_x - kMargin, half_height ? half : kMargin, max_y - s};
  } else if (right && top) {
    w = {3, kMargin, max_x - s, s, half_height ? half : max_y - kMargin};
  } else if (right && bottom) {
    w = {4, kMargin, max_x - s, half_height ? half : kMargin, max_y - s};
  }
  return w;
}

uint8_t CheckWindow(uint8_t id, const Window &w, uint8_t new_only, uint8_t flags) {
  if (w.corner == 0 || w.x0 > w.x1 || w.y0 > w.y1) return 0;
  for (uint8_t i = 0; i < PointCount(); ++i) {
    const LumaPoint &p = Entry(i);
    const uint8_t k = IdOf(p);
    if (k >= LUMA_MAX_POINTS || k == id) continue;
    if (new_only != 0 && Event(k).ucEvent != LUMA_EV_DOWN) continue;
    const int64_t x = MapX(p.x);
    const int64_t y = MapY(p.y);
    if (x < w.x0 || x > w.x1 || y < w.y0 || y > w.y1) continue;
    // A finger that has worked in the middle for long is no reason to restrain a corner
    // touch that appears now; it only marks that the middle is in use.
    if ((flags & 16) != 0 && Rec(k).ucFramesSinceDown >= 126) {
      Rec(id).stFinal.ucCenterTouchSeen = 1;
      continue;
    }
    return w.corner;
  }
  return 0;
}

uint16_t LandscapeCornerSize() { return Game() ? AppGameEdgeCornerSize(g_stSysParam.ucGameEdgeLevel) : 2720; }

bool InPair(uint8_t code, uint8_t a, uint8_t b) { return code != 0 && (code == a || code == b); }

// The corner codes on the side of the USB connector in landscape: 3 and 4 with the connector
// on the left, 1 and 2 on the right; no corner counts when the connector side is unknown.
bool OnUsbSideCorner(uint8_t code) {
  if (UsbLeft()) return InPair(code, 3, 4);
  if (UsbRight()) return InPair(code, 1, 2);
  return false;
}

}  // namespace

extern "C" {

uint8_t AppCornerPointChkCenterTouch(uint8_t id, uint16_t size, uint8_t new_only) {
  id %= LUMA_MAX_POINTS;
  return CheckWindow(id, CornerWindow(id, size, false), new_only, 0);
}

uint8_t AppCornerPointChkCenterTouchHor(uint8_t id, uint16_t size, uint8_t new_only, uint8_t flags) {
  id %= LUMA_MAX_POINTS;
  return CheckWindow(id, CornerWindow(id, size, true), new_only, flags);
}

uint8_t QuonCornerRestrainDispVerticalCase1(uint8_t, uint8_t id) {
  if (Rec(id).ucFramesSinceDown >= EdgeTime(LUMA_ET_CORNER)) return 0;
  const uint8_t corner = AppCornerPointChkCenterTouch(id, 4800, 1);
  return (corner == 2 || corner == 4) ? 1 : 0;
}

uint8_t QuonCornerRestrainDispHorizontalCase1(uint8_t index, uint8_t id) {
  const LumaEdgePalmSta &r = Rec(id);
  if (r.ucFramesSinceDown >= EdgeTime(LUMA_ET_CORNER)) return 0;
  const uint16_t size = LandscapeCornerSize();
  if (!OnUsbSideCorner(AppCornerPointChkCenterTouchHor(id, size, 1, 0))) return 0;
  const LumaPoint &p = Entry(index);
  const uint16_t d = GetDistanceToEdge(MapX(p.x), MapY(p.y));
  if (d > size) return 0;
  if (d >= 1601) return r.ucFramesSinceDown < EdgeTime(LUMA_ET_CORNER_FAR) ? 1 : 0;
  return 1;
}

uint8_t QuonCornerRestrainDispHorizontalCase2(uint8_t id) {
  if (!Game()) return 0;
  if (!UsbLeft() && !UsbRight()) return 0;
  return OnUsbSideCorner(AppCornerPointChkCenterTouchHor(id, 2400, 0, 16)) ? 1 : 0;
}

uint8_t QuonCornerRestrain(uint8_t index, uint8_t id) {
  bool holds = false;
  if (Portrait()) {
    holds = QuonCornerRestrainDispVerticalCase1(index, id) != 0;
  } else if (Landscape()) {
    holds = QuonCornerRestrainDispHorizontalCase1(index, id) != 0;
  }
  if (!holds) return 0;
  AppGrapStausUpdateStop(id);
  return 1;
}

uint8_t DispHorizontalCornerOnPointDown(uint8_t id) {
  if (!Landscape() || !Game()) return 0;
  if (!UsbLeft() && !UsbRight()) return 0;
  if (!OnUsbSideCorner(AppCornerPointChkCenterTouchHor(id, 2400, 0, 16))) return 0;
  AppGrapStausUpdateStop(id);
  Rec(id).ucRestrainKind = 8;
  return 1;
}

uint8_t AppCheckIfHaveTouchInCenterArea(uint8_t id) {
  if (!UsbRight() && !UsbLeft()) return 0;
  const int64_t max_x = g_usMaxPosX;
  const int64_t max_y = g_usMaxPosY;
  const int64_t half = PanelH() / 2;
  int half_found = 0;  // 1 upper, 2 lower
  for (uint8_t i = 0; i < PointCount() && half_found == 0; ++i) {
    const LumaPoint &p = Entry(i);
    const uint8_t k = IdOf(p);
    if (k >= LUMA_MAX_POINTS || k == id) continue;
    const int64_t x = MapX(p.x);
    const int64_t y = MapY(p.y);
    const bool away = UsbRight() ? x > 4000 : x < max_x - 4000;
    if (y <= half) {
      if (away || y > 4000) half_found = 1;
    } else if (away || y < max_y - 4000) {
      half_found = 2;
    }
  }
  if (half_found == 0) return 0;
  const int64_t x0 = Rec(id).stDown.x;
  const int64_t y0 = Rec(id).stDown.y;
  if (UsbRight()) {
    if (half_found == 1) return (x0 < 4000 && y0 < 4000) ? 1 : 0;
    return (x0 < 4000 && y0 > max_y - 4000) ? 2 : 0;
  }
  if (half_found == 1) return (y0 < 4000 && x0 > max_x - 4000) ? 3 : 0;
  return (x0 > max_x - 4000 && y0 > max_y - 4000) ? 4 : 0;
}

}  // extern "C"
