#pragma once
// Small helpers shared by the files of the edge restraint.
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "luma_edge.h"

namespace edge {

inline uint8_t Orientation() { return g_stSysParam.ucDispDirection; }
inline bool Portrait() { return Orientation() == LUMA_DISP_PORTRAIT; }
// Every defined orientation other than portrait is a landscape one.
inline bool Landscape() { return Orientation() != LUMA_DISP_PORTRAIT && Orientation() < LUMA_DISP_UNDEFINED; }
inline bool UsbRight() { return Orientation() == LUMA_DISP_USB_RIGHT; }
inline bool UsbLeft() { return Orientation() == LUMA_DISP_USB_LEFT; }
inline bool Game() { return AppIsGameMode() != 0; }

// Configured panel extents (coordinate units).
inline uint32_t PanelW() { return g_stFwConfig.aulNotchX[0]; }
inline uint32_t PanelH() { return g_stFwConfig.aulNotchY[0]; }

inline uint8_t EdgeTime(int k) { return g_stEdgeTime[k]; }

// The touch ID of a list entry, or LUMA_MAX_POINTS when the entry names none.
inline uint8_t IdOf(const LumaPoint &p) {
  const uint8_t id = p.id & 0x0F;
  return (p.id == 0xFF || id >= LUMA_MAX_POINTS) ? LUMA_MAX_POINTS : id;
}
inline LumaEdgePalmSta &Rec(uint8_t id) { return s_stEdgePalmSta[id % LUMA_MAX_POINTS]; }
inline LumaPointEvent &Event(uint8_t id) { return g_stTouchData.astEvent[id % LUMA_MAX_POINTS]; }
inline LumaPoint &Entry(uint8_t index) { return g_stTouchData.astPoint[index % LUMA_MAX_POINTS]; }
inline uint8_t PointCount() { return std::min<uint8_t>(g_stTouchData.ucPointNum, LUMA_MAX_POINTS); }

inline uint16_t Clip16(uint32_t v) { return static_cast<uint16_t>(std::min<uint32_t>(v, 0xFFFF)); }
inline uint16_t MapX(uint32_t x) { return XMappingNotch(Clip16(x)); }
inline uint16_t MapY(uint32_t y) { return YMappingNotch(Clip16(y)); }
inline uint32_t AbsDiff(uint32_t a, uint32_t b) { return a > b ? a - b : b - a; }
inline uint8_t Inc255(uint8_t v) { return v < 255 ? static_cast<uint8_t>(v + 1) : v; }

// Clears the grip block of record id for a fresh recording (the touch ID is kept in it).
void ResetGrip(uint8_t id);

}  // namespace edge
