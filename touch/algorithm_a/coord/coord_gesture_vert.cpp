// Two-finger vertical strokes: both fingers toward smaller Y ("N") or both toward larger Y
// ("H"), each trace steep, without a Y turn and long enough.
#include <cstring>

#include "coord_gesture.h"

namespace {

constexpr uint8_t kCfgBits = 2, kCfgSteep = 21, kCfgMinY = 23;
constexpr uint8_t kEnableN = 0x20, kEnableH = 0x40;
constexpr uint8_t kKeyCount = 4;

uint32_t Abs(int32_t v) { return static_cast<uint32_t>(v < 0 ? -v : v); }

// 1 when the trace is rejected.
uint8_t TraceRejected(const uint16_t* puwX, const uint16_t* puwY, uint32_t n) {
  const uint8_t* c = gstGestureCfg.aubData;
  GestureTurnAnalysis(puwX, puwY, n, &gstGestureTurns);
  if (gstGestureTurns.ubYTurns != 0) return 1;
  const uint32_t k = c[kCfgSteep];
  for (uint32_t i = 0; i + 1 < n; ++i) {
    const uint32_t dX = Abs(puwX[i + 1] - puwX[i]), dY = Abs(puwY[i + 1] - puwY[i]);
    if ((k + 4) * dX > 4 * dY) return 1;
  }
  const uint32_t uiTravel = Abs(puwY[0] - puwY[n - 1]);
  return ((uiTravel & ~0x1FFu) >> 9) < c[kCfgMinY] ? 1 : 0;
}

}  // namespace

uint8_t DoubleVerticJudge() {
  const GestureState& s = gstGestureState;
  const GestureTrace& t = gstGestureTrace;
  const uint32_t n1 = s.ubTraceCount < kGesTraceMax ? s.ubTraceCount : kGesTraceMax;
  const uint32_t n2 = s.ubTrace2Count < kGesTrace2Max ? s.ubTrace2Count : kGesTrace2Max;
  if (n1 < 2 || n2 < 2) return 1;
  if (TraceRejected(t.auwX, t.auwY, n1) != 0 || TraceRejected(t.auwX2, t.auwY2, n2) != 0) return 1;
  const uint8_t b = gstGestureCfg.aubData[kCfgBits];
  PendingGesture& p = gstPendingGesture;
  const bool boFall1 = t.auwY[n1 - 1] < t.auwY[0], boFall2 = t.auwY2[n2 - 1] < t.auwY2[0];
  const bool boRise1 = t.auwY[0] < t.auwY[n1 - 1], boRise2 = t.auwY2[0] < t.auwY2[n2 - 1];
  if (boFall1 && boFall2 && (b & kEnableN) != 0) {
    p.ubCode = kGesTwoFingerUp;
    return 0;
  }
  if (boRise1 && boRise2 && (b & kEnableH) != 0) {
    p.ubCode = kGesTwoFingerDown;
    return 0;
  }
  return 1;
}

void DoubleVerticGetBound() {
  const GestureState& s = gstGestureState;
  const GestureTrace& t = gstGestureTrace;
  PendingGesture& p = gstPendingGesture;
  const uint8_t ubCode = p.ubCode;
  const uint32_t n1 = s.ubTraceCount, n2 = s.ubTrace2Count;
  const uint16_t x1 = static_cast<uint16_t>((t.auwX[0] + t.auwX[n1 - 1]) / 2u);
  const uint16_t x2 = static_cast<uint16_t>((t.auwX2[0] + t.auwX2[n2 - 1]) / 2u);
  uint16_t uwStart, uwEnd;
  if (ubCode == kGesTwoFingerUp) {
    uwStart = s.uwMaxY > t.auwY2[0] ? s.uwMaxY : t.auwY2[0];
    uwEnd = s.uwMinY < t.auwY2[n2 - 1] ? s.uwMinY : t.auwY2[n2 - 1];
  } else {
    uwStart = s.uwMinY < t.auwY2[0] ? s.uwMinY : t.auwY2[0];
    uwEnd = s.uwMaxY > t.auwY2[n2 - 1] ? s.uwMaxY : t.auwY2[n2 - 1];
  }
  memset(p.auwKey, 0, sizeof(p.auwKey));
  const uint16_t auwKeys[2 * kKeyCount] = {x1, uwStart, x1, uwEnd, x2, uwStart, x2, uwEnd};
  memcpy(p.auwKey, auwKeys, sizeof(auwKeys));
  // The packet carries the four key points as its trace too.
  memcpy(p.auwTrace, auwKeys, sizeof(auwKeys));
  p.ubTraceCount = kKeyCount;
  p.ubPacketCount = kKeyCount;
  p.ubPacketCode = ubCode;
}
