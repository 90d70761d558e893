// Gesture stage of the gesture app (screen off): follows the touches of each frame,
// closes taps and strokes on lift, recognises presses on the fingerprint area and writes
// each gesture as one packet that the host takes with TsaGetGesturePacket.
//
// The tap and stroke rules of this system:
// - A touch is a tap when its first finger's bounding box stays within the tap distance
//   (768, widened by 512 for several close fingers and by 2048 for one large contact) in
//   both axes, it never crossed the side band and it did not outlast configuration byte 5
//   (frames; 0 = no limit). Anything else is a stroke.
// - A first tap waits; a second tap within the tap distance of it, lifted at most
//   configuration byte 28 frames (0 = 30) after the first one lifted, is a double tap. A
//   first tap whose wait runs out, or one followed by a tap too far away, is a single tap.
// - A one-finger stroke of at least configuration byte 6 frames and 3 trace points goes
//   to the character recogniser; a stroke of two fingers to the two-finger judgement.
// - A touch that pressed the fingerprint area sends its "F" / "U" packets and nothing else.
#include "coord_gesture.h"

#include <cstdlib>
#include <cstring>

#include "coord_records.h"
#include "framework.h"
#include "region.h"
#include "region_records.h"
#include "tsa_common.h"
#include "tsa_config.h"
#include "tsa_frame_links.h"
#include "tsa_module.h"
#include "tsa_replay.h"
#include "tsa_report.h"

GestureState gstGestureState;
GestureTrace gstGestureTrace;
GestureRequest gstGestureRequest;
PendingGesture gstPendingGesture;
PendingGesture* gpstGestureTemp;
GestureTurns gstGestureTurns;
GestureSumDebug gstGestureSumDebug;

namespace {

// Configuration bytes of gstGestureCfg.
enum GesCfg : uint8_t {
  kCfgTouchFrames = 5,
  kCfgStrokeFrames = 6,
  kCfgMultiFrames = 7,
  kCfgFlags = 3,
  kCfgPace = 26,
  kCfgPaceEvery = 27,
  kCfgDoubleTapWindow = 28,
};
constexpr uint8_t kFlagSecondReport = 0x08;  // byte 3 bit 3
constexpr uint8_t kFlagFpAtOnce = 0x10;      // byte 3 bit 4
constexpr uint8_t kFlagKeepStroke = 0x40;    // byte 3 bit 6
constexpr uint8_t kCfgVerticalBits = 0x60;   // byte 2 bits 5-6

constexpr uint16_t kMaskSingleAtOnce = 1u << 7;
constexpr uint16_t kMaskNoSingle = 1u << 12;

constexpr uint8_t kCoordSwap = 0x01, kCoordMirrorX = 0x02, kCoordMirrorY = 0x04;

constexpr uint16_t kSideBand = 1536;
constexpr uint16_t kTapDistance = 768;
constexpr uint16_t kWidenMulti = 512;
constexpr uint16_t kWidenBig = 2048;
constexpr uint16_t kTraceStep = 500;    // a point within this of the last in both axes is not kept
constexpr uint16_t kTrace2Step = 513;   // the second finger is kept when it moved this far
constexpr uint16_t kMultiFingerGap = 120;  // sixteenths of a node between region centres
constexpr uint16_t kTouchStatLimit = 250;
constexpr uint32_t kBigContactNodes = 21;
constexpr uint16_t kDoubleTapWindowDefault = 30;
constexpr uint8_t kFpHoldFrames = 14;
constexpr uint8_t kModeNormal = 10, kModeGestureByte = 26;
constexpr uint16_t kFpFixed = 768;

// Fingerprint configuration bytes.
constexpr uint32_t kFpXLow = 1, kFpXHigh = 3, kFpYLow = 5, kFpYHigh = 7, kFpShare = 11, kFpTimeLimit = 12,
                   kFpMargin = 19;
constexpr uint8_t kFpCfgJudge = 0x01, kFpCfgWake = 0x02;

// The frame's points in the screen's natural orientation; weight 0 = not in the gesture.
struct GestureFrame {
  uint16_t auwX[kCoordPointMax];
  uint16_t auwY[kCoordPointMax];
  uint16_t auwW[kCoordPointMax];
};
GestureFrame sstFrame;

alignas(4) uint8_t gaubGesturePacket[kGesPacketMax];

const uint8_t* Cfg() { return gstGestureCfg.aubData; }

uint8_t MaxPoints() {
  const uint8_t n = static_cast<uint8_t>(gstTouchPannelCfg.uiValue20 & 0xFFu);
  return n < kCoordPointMax ? n : kCoordPointMax;
}

bool Swapped() { return (gstCoordTranCfg.aubData[0] & kCoordSwap) != 0; }
// Extents of the natural orientation (after the exchange).
uint16_t NaturalExtentX() { return Swapped() ? gstCommon.uwDrvCoordRange : gstCommon.uwSenCoordRange; }
uint16_t NaturalExtentY() { return Swapped() ? gstCommon.uwSenCoordRange : gstCommon.uwDrvCoordRange; }

uint16_t TapDistance() {
  uint32_t d = kTapDistance;
  if ((gstGestureState.ubFlags & kGesFlagMulti) != 0) d += kWidenMulti;
  if ((gstGestureState.ubFlags & kGesFlagBig) != 0) d += kWidenBig;
  return static_cast<uint16_t>(d);
}

uint16_t AbsDiff(uint16_t a, uint16_t b) { return a > b ? static_cast<uint16_t>(a - b) : static_cast<uint16_t>(b - a); }

// Step 1: points into the natural orientation; step 3: the side band and the fingerprint point.
void GestureFramePoints() {
  GestureState& s = gstGestureState;
  const uint8_t ubTran = gstCoordTranCfg.aubData[0];
  const uint16_t EX = gstCommon.uwSenCoordRange, EY = gstCommon.uwDrvCoordRange;
  const uint8_t ubMax = MaxPoints();
  memset(&sstFrame, 0, sizeof(sstFrame));
  s.ubFpSlot = kCoordNoSlot;
  s.uwMovedMask = 0;
  const uint16_t uwXEnd = NaturalExtentX();
  for (uint8_t i = 0; i < kCoordPointMax; ++i) {
    if (i >= ubMax || gpuwNewWeight[i] == 0 || gpuwNewPointX[i] == kCoordNoPosition) {
      s.aubClass[i] = 0;
      continue;
    }
    uint16_t x = gpuwNewPointX[i], y = gpuwNewPointY[i];
    if ((ubTran & kCoordMirrorX) != 0) x = static_cast<uint16_t>(EX > x ? EX - x : 0);
    if ((ubTran & kCoordMirrorY) != 0) y = static_cast<uint16_t>(EY > y ? EY - y : 0);
    if ((ubTran & kCoordSwap) != 0) {
      const uint16_t t = x;
      x = y;
      y = t;
    }
    const uint8_t ubClass = (x < kSideBand || x + kSideBand > uwXEnd) ? 1 : 2;
    if (s.aubClass[i] != 0 && s.aubClass[i] != ubClass) s.ubFlags |= kGesFlagBroken;
    s.aubClass[i] = ubClass;
    sstFrame.auwX[i] = x;
    sstFrame.auwY[i] = y;
    if (ubClass == 1) continue;  // dropped from the gesture
    sstFrame.auwW[i] = gpuwNewWeight[i];
    if (s.ubFpSlot == kCoordNoSlot && IsPointInFpArea(i) != 0) s.ubFpSlot = i;
    if (AbsDiff(x, s.uwFpCentreX) > kFpFixed + s.uwFpHalfW || AbsDiff(y, s.uwFpCentreY) > kFpFixed + s.uwFpHalfH) {
      s.uwMovedMask = static_cast<uint16_t>(s.uwMovedMask | (1u << i));
    }
  }
}

// Step 2: several close fingers, or one large contact.
void RegionChecks(uint8_t ubCount) {
  GestureState& s = gstGestureState;
  const MutualRegionSet& r = gstMutualRegion;
  const uint8_t ubRegions = r.ubRegionNum < kCoordPointMax ? r.ubRegionNum : kCoordPointMax;
  if (ubRegions == 0) {
    s.ubMultiFrames = 0;
    return;
  }
  const bool boStatLow = gstGestureRequest.auwTouchStat[0] < kTouchStatLimit;
  if (ubRegions >= 2 && ubRegions <= 4 && boStatLow) {
    bool boClose = true;
    for (uint8_t a = 0; a < ubRegions && boClose; ++a) {
      for (uint8_t b = static_cast<uint8_t>(a + 1); b < ubRegions && boClose; ++b) {
        const RegionRect& A = r.astRect[a];
        const RegionRect& B = r.astRect[b];
        // Centre distance in sixteenths of a node: 8 x (sum of starts and ends) differences.
        const int32_t dr = std::abs((A.ubRowStart + A.ubRowEnd) - (B.ubRowStart + B.ubRowEnd)) * 8;
        const int32_t dc = std::abs((A.ubColStart + A.ubColEnd) - (B.ubColStart + B.ubColEnd)) * 8;
        if ((dr > dc ? dr : dc) > kMultiFingerGap) boClose = false;
      }
    }
    if (s.ubMultiFrames < 255) ++s.ubMultiFrames;
    if (boClose && s.ubMultiFrames <= Cfg()[kCfgMultiFrames]) s.ubFlags |= kGesFlagMulti;
  }
  if (ubCount == 1 && ubRegions == 1 && (boStatLow || gstCommon.ubChargerFlag != 0)) {
    for (uint8_t i = 0; i < kCoordPointMax; ++i) {
      if (sstFrame.auwW[i] == 0) continue;
      const RegionRect& q = gstCoordPair.astLastRect[i];
      if (q.ubRowStart > q.ubRowEnd || q.ubColStart > q.ubColEnd) continue;
      const uint32_t uiArea = static_cast<uint32_t>(q.ubRowEnd - q.ubRowStart + 1) * (q.ubColEnd - q.ubColStart + 1);
      if (uiArea >= kBigContactNodes) s.ubFlags |= kGesFlagBig;
    }
  }
}

void ClearPending() {
  PendingGesture& p = gstPendingGesture;
  memset(&p, 0, sizeof(p));
  p.ubCode = kGesNone;
}

// A gesture whose key points are one position (taps, presses): n = 1, the trace is that point.
void PendPoint(uint8_t ubCode, uint16_t x, uint16_t y) {
  ClearPending();
  PendingGesture& p = gstPendingGesture;
  p.ubCode = ubCode;
  p.ubPacketCode = ubCode;
  p.ubPacketCount = 1;
  p.auwKey[0] = p.auwKey[2] = x;
  p.auwKey[1] = p.auwKey[3] = y;
  p.auwTrace[0] = x;
  p.auwTrace[1] = y;
}

void PendSingleTap(uint16_t x, uint16_t y) {
  if ((gstGestureState.uwEnableMask & kMaskNoSingle) != 0) return;
  PendPoint(kGesSingleTap, x, y);
}

uint16_t DoubleTapWindow() {
  const uint8_t w = Cfg()[kCfgDoubleTapWindow];
  return w != 0 ? w : kDoubleTapWindowDefault;
}

void TapClosed(uint16_t x, uint16_t y) {
  GestureState& s = gstGestureState;
  if (s.ubTapSeq < 255) ++s.ubTapSeq;
  if ((s.uwEnableMask & kMaskSingleAtOnce) != 0) {
    s.ubTapWaiting = 0;
    PendSingleTap(x, y);
    return;
  }
  const uint16_t d = TapDistance();
  if (s.ubTapWaiting != 0 && AbsDiff(x, s.uwFirstTapX) <= d && AbsDiff(y, s.uwFirstTapY) <= d &&
      s.uwTapWait <= DoubleTapWindow()) {
    s.ubTapWaiting = 0;
    PendPoint(kGesDoubleTap, x, y);
    return;
  }
  // The earlier tap did not become a double tap: it goes out alone, and this one waits.
  if (s.ubTapWaiting != 0) {
    PendSingleTap(s.uwFirstTapX, s.uwFirstTapY);
    s.ubTapSeq = 1;
  }
  s.ubTapWaiting = 1;
  s.uwFirstTapX = x;
  s.uwFirstTapY = y;
  s.uwTapWait = 0;
}

void ResetTouch() {
  GestureState& s = gstGestureState;
  s.ubTouching = 0;
  s.uwTouchFrames = 0;
  s.ubMaxFingers = 0;
  s.ubTraceCount = 0;
  s.ubTrace2Count = 0;
  s.ubSlot = kCoordNoSlot;
  s.ubSlot2 = kCoordNoSlot;
  s.ubFpTouch = 0;
  s.uwMinX = s.uwMinY = kGesNoPos;
  s.uwMaxX = s.uwMaxY = 0;
  s.ubFlags = 0;
}

// Step 5: the touch ended.
void CloseTouch() {
  GestureState& s = gstGestureState;
  const uint8_t* c = Cfg();
  const uint16_t d = TapDistance();
  const bool boTap = (s.ubFlags & (kGesFlagBroken | kGesFlagLong)) == 0 && s.ubTraceCount != 0 &&
                     s.uwMaxX - s.uwMinX <= d && s.uwMaxY - s.uwMinY <= d;
  if (s.ubFpTouch != 0) {
    // The fingerprint packets were this touch's gesture.
  } else if (boTap) {
    TapClosed(gstGestureTrace.auwX[0], gstGestureTrace.auwY[0]);
  } else if (s.ubMaxFingers >= 2) {
    if ((c[2] & kCfgVerticalBits) != 0 && DoubleVerticJudge() == 0) DoubleVerticGetBound();
  } else if (s.ubTraceCount >= 3 && s.uwTouchFrames >= c[kCfgStrokeFrames] && (s.ubFlags & kGesFlagBroken) == 0) {
    CharRecognitionSimple();
  }
  ResetTouch();
}

// Step 6: follow the first finger (and a second one).
void FollowTouch(uint8_t ubCount) {
  GestureState& s = gstGestureState;
  GestureTrace& t = gstGestureTrace;
  if (s.uwTouchFrames < 0xFFFF) ++s.uwTouchFrames;
  if (ubCount > s.ubMaxFingers) s.ubMaxFingers = ubCount;
  if (s.ubSlot == kCoordNoSlot || sstFrame.auwW[s.ubSlot] == 0) {
    s.ubSlot = kCoordNoSlot;
    for (uint8_t i = 0; i < kCoordPointMax && s.ubSlot == kCoordNoSlot; ++i) {
      if (sstFrame.auwW[i] != 0 && i != s.ubSlot2) s.ubSlot = i;
    }
    if (s.ubSlot == kCoordNoSlot) return;
  }
  const uint16_t x = sstFrame.auwX[s.ubSlot], y = sstFrame.auwY[s.ubSlot];
  if (s.ubTraceCount < kGesTraceMax) {
    const uint8_t n = s.ubTraceCount;
    if (n == 0 || AbsDiff(x, t.auwX[n - 1]) >= kTraceStep || AbsDiff(y, t.auwY[n - 1]) >= kTraceStep) {
      t.auwX[n] = x;
      t.auwY[n] = y;
      s.ubTraceCount = static_cast<uint8_t>(n + 1);
    }
  }
  if (x < s.uwMinX) s.uwMinX = x;
  if (x > s.uwMaxX) s.uwMaxX = x;
  if (y < s.uwMinY) s.uwMinY = y;
  if (y > s.uwMaxY) s.uwMaxY = y;
  if (ubCount < 2) return;
  if (s.ubSlot2 == kCoordNoSlot || sstFrame.auwW[s.ubSlot2] == 0) {
    s.ubSlot2 = kCoordNoSlot;
    for (uint8_t i = 0; i < kCoordPointMax && s.ubSlot2 == kCoordNoSlot; ++i) {
      if (sstFrame.auwW[i] != 0 && i != s.ubSlot) s.ubSlot2 = i;
    }
    if (s.ubSlot2 == kCoordNoSlot) return;
  }
  const uint16_t x2 = sstFrame.auwX[s.ubSlot2], y2 = sstFrame.auwY[s.ubSlot2];
  const uint8_t m = s.ubTrace2Count;
  if (m < kGesTrace2Max &&
      (m == 0 || AbsDiff(x2, t.auwX2[m - 1]) >= kTrace2Step || AbsDiff(y2, t.auwY2[m - 1]) >= kTrace2Step)) {
    t.auwX2[m] = x2;
    t.auwY2[m] = y2;
    s.ubTrace2Count = static_cast<uint8_t>(m + 1);
  }
}

// Step 8, pacing: with configuration byte 26 set a packet goes out only on every
// byte-27-th frame (0 counts as 1).
bool PacingAllows() {
  const uint8_t* c = Cfg();
  if (c[kCfgPace] == 0) return true;
  const uint16_t uwEvery = c[kCfgPaceEvery] != 0 ? c[kCfgPaceEvery] : 1;
  GestureState& s = gstGestureState;
  s.uwPaceFrames = static_cast<uint16_t>(s.uwPaceFrames + 1);
  if (s.uwPaceFrames < uwEvery) return false;
  s.uwPaceFrames = 0;
  return true;
}

void SendPending() {
  PendingGesture& p = gstPendingGesture;
  if (p.ubCode == kGesNone || !PacingAllows()) return;
  const uint8_t ubCode = p.ubPacketCode;
  GestureWritePacket(kGesPacketStroke);
  gstGestureRequest.ubReportFlag = 1;
  if ((Cfg()[kCfgFlags] & kFlagSecondReport) != 0 && ubCode != kGesSingleTap) gstGestureRequest.ubSecondReport = 1;
  gstGestureState.ubTapSeq = 0;
  ClearPending();
}

void SumDebug(const uint8_t* pubData, uint32_t uiLength, uint16_t uwSum) {
  GestureSumDebug& d = gstGestureSumDebug;
  d.uwSum = uwSum;
  d.ubMax = 0;
  d.ubMin = 255;
  d.uwMaxAt = d.uwMinAt = 0;
  for (uint32_t i = 0; i < uiLength; ++i) {
    if (pubData[i] > d.ubMax) {
      d.ubMax = pubData[i];
      d.uwMaxAt = static_cast<uint16_t>(i);
    }
    if (pubData[i] < d.ubMin) {
      d.ubMin = pubData[i];
      d.uwMinAt = static_cast<uint16_t>(i);
    }
  }
}

uint16_t SumInto(uint8_t* pubAt, const uint8_t* pubData, uint32_t uiLength) {
  const uint16_t uwSum = GestureByteSum(pubData, uiLength);
  SumDebug(pubData, uiLength, uwSum);
  pubAt[0] = static_cast<uint8_t>(uwSum & 0xFF);
  pubAt[1] = static_cast<uint8_t>(uwSum >> 8);
  return uwSum;
}

void PutU16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v & 0xFF);
  p[1] = static_cast<uint8_t>(v >> 8);
}

void ClearPress() {
  GestureState& s = gstGestureState;
  s.ubPressed = 0;
  s.ubDownCount = 0;
  s.ubFrameTime = 0;
  s.ubHold = 0;
  s.ubNoPresentFrames = 0;
  s.ubMovedAway = 0;
}

void PendRelease(uint8_t ubReason) {
  GestureState& s = gstGestureState;
  PendPoint(kGesFpUp, s.uwFpX, s.uwFpY);
  gstPendingGesture.ubReason = ubReason;
  s.ubReleaseReason = ubReason;
  s.ubPressed = 0;
}

}  // namespace

uint16_t GestureByteSum(const uint8_t* pubData, uint32_t uiLength) {
  uint32_t uiSum = 0;
  for (uint32_t i = 0; i < uiLength; ++i) uiSum += pubData[i];
  return static_cast<uint16_t>(uiSum & 0xFFFF);
}

uint16_t GestureScaleToHost(uint16_t uwValue, uint8_t ubAxis) {
  const uint32_t uiScreen = ubAxis == 0 ? NaturalExtentX() : NaturalExtentY();
  const uint32_t uiHost = ubAxis == 0 ? gstCommon.uwPanelWord0 : gstCommon.uwPanelWord1;
  if (uiScreen == 0) return 0;
  return static_cast<uint16_t>(static_cast<uint32_t>(uwValue) * uiHost / uiScreen);
}

const uint8_t* GesturePacketBuffer() { return gaubGesturePacket; }

// The packet of the pending gesture. Key points and trace are in module units in the pending
// record and go out scaled (even values X, odd values Y); a fingerprint packet carries its
// block as UFGestureNotifyHost laid it out. The trace sum covers every trace byte written,
// whatever n is; with n = 0 the key-point sum stands in its place.
uint32_t GestureWritePacket(uint8_t ubType) {
  const PendingGesture& p = gstPendingGesture;
  uint8_t* b = gaubGesturePacket;
  const uint32_t n = p.ubPacketCount <= kGesTraceMax ? p.ubPacketCount : kGesTraceMax;
  b[0] = ubType;
  b[1] = ubType == kGesPacketFp ? gstGestureState.ubPacketCounter : gstGestureState.ubTapSeq;
  b[2] = gstCommon.ubGestureByte != 0 ? kModeGestureByte : kModeNormal;
  b[3] = static_cast<uint8_t>(n);
  b[4] = p.ubPacketCode;
  b[5] = ubType == kGesPacketFp ? p.ubReason : 0;
  SumInto(b + 6, b, 6);
  for (uint32_t i = 0; i < kGesKeyValues; ++i) {
    const uint16_t v = ubType == kGesPacketFp ? p.auwKey[i] : GestureScaleToHost(p.auwKey[i], static_cast<uint8_t>(i & 1));
    PutU16(b + 8 + 2 * i, v);
  }
  const uint16_t uwKeySum = SumInto(b + 40, b + 8, 2 * kGesKeyValues);
  for (uint32_t i = 0; i < n; ++i) {
    PutU16(b + kGesPacketHead + 4 * i, GestureScaleToHost(p.auwTrace[2 * i], 0));
    PutU16(b + kGesPacketHead + 4 * i + 2, GestureScaleToHost(p.auwTrace[2 * i + 1], 1));
  }
  uint8_t* pubTail = b + kGesPacketHead + 4 * n;
  if (n == 0) {
    PutU16(pubTail, uwKeySum);
  } else {
    SumInto(pubTail, b + kGesPacketHead, 4 * n);
  }
  const uint32_t uiLength = kGesPacketHead + 4 * n + 2;
  gstGestureRequest.uwPacketLength = static_cast<uint16_t>(uiLength);
  return uiLength;
}

uint32_t TsaGetGesturePacket(uint8_t* pubOut, uint32_t uiCapacity) {
  GestureRequest& r = gstGestureRequest;
  if (r.ubReportFlag == 0 || pubOut == nullptr || uiCapacity < r.uwPacketLength) return 0;
  memcpy(pubOut, gaubGesturePacket, r.uwPacketLength);
  r.ubReportFlag = 0;
  r.ubSecondReport = 0;
  return r.uwPacketLength;
}

void GestureSetTempSizeInit() {
  if (guwTempBufferSizes < kGesWorkAreaSize) guwTempBufferSizes = kGesWorkAreaSize;
}

void FingerPrintInit() {
  GestureState& s = gstGestureState;
  const uint8_t* f = gstFingerPrintCfg.aubData;
  s.uwFpXLow = LinkGetU16(f, kFpXLow);
  s.uwFpXHigh = LinkGetU16(f, kFpXHigh);
  s.uwFpYLow = LinkGetU16(f, kFpYLow);
  s.uwFpYHigh = LinkGetU16(f, kFpYHigh);
  s.uwFpCentreX = static_cast<uint16_t>((s.uwFpXLow + s.uwFpXHigh) / 2u);
  s.uwFpCentreY = static_cast<uint16_t>((s.uwFpYLow + s.uwFpYHigh) / 2u);
  s.uwFpHalfW = static_cast<uint16_t>(AbsDiff(s.uwFpXHigh, s.uwFpXLow) / 2u);
  s.uwFpHalfH = static_cast<uint16_t>(AbsDiff(s.uwFpYHigh, s.uwFpYLow) / 2u);
  s.uwFpFixed768 = kFpFixed;
  // The margin is configured in panel units and scaled to module units by the panel's
  // fingerprint margin scale; without either it is one node (512).
  const uint32_t uiCfg = LinkGetU16(f, kFpMargin);
  const uint32_t uiScale = gstTouchPannelCfg.uiValue24 & 0xFFFFu;
  const uint32_t uiGrid = gstCommon.ubDrvNum;
  uint32_t uiMargin = 512;
  if (uiCfg != 0 && uiScale != 0) uiMargin = uiCfg * 512u * uiGrid / uiScale;
  s.uwFpMargin = static_cast<uint16_t>(uiMargin > 0xFFFF ? 0xFFFF : uiMargin);
  uint16_t uwRequest = 257;
  if (fod_report_en == 0) uwRequest = 256;
  if ((f[0] & kFpCfgJudge) == 0) uwRequest = 0;
  gstGestureRequest.uwFpRequest = uwRequest;
}

void GestureReinit() {
  GestureState& s = gstGestureState;
  ResetTouch();
  s.ubTapWaiting = 0;
  s.uwTapWait = 0;
  s.ubTapSeq = 0;
  s.ubMultiFrames = 0;
  memset(&gstGestureTrace, 0xFF, sizeof(gstGestureTrace));
  const uint16_t uwFpRequest = gstGestureRequest.uwFpRequest;
  memset(&gstGestureRequest, 0, sizeof(gstGestureRequest));
  gstGestureRequest.uwFpRequest = uwFpRequest;
  ClearPending();
  ClearPress();
}

// Gesture mode runs while the screen is off on a panel whose controller scans for gestures
// and whose configuration carries a gesture section.
void GestureInit() {
  memset(&gstGestureState, 0, sizeof(gstGestureState));
  gpstGestureTemp = &gstPendingGesture;
  gstGestureState.ubFpSlot = kCoordNoSlot;
  gstGestureState.ubSlot = kCoordNoSlot;
  gstGestureState.ubSlot2 = kCoordNoSlot;
  bool boCfg = false;
  for (uint8_t v : gstGestureCfg.aubData) boCfg = boCfg || v != 0;
  gstGesture.ubGestureEn = (boCfg && GetAfeGestureFeature() != 0) ? 1 : 0;
  FingerPrintInit();
  GestureReinit();
  gstGestureRequest.ubReportFlag = 0;
}

uint8_t IsPointInFpArea(uint8_t ubSlot) {
  if (ubSlot >= kCoordPointMax) return 0;
  const GestureState& s = gstGestureState;
  const int32_t x = sstFrame.auwX[ubSlot], y = sstFrame.auwY[ubSlot], m = s.uwFpMargin;
  return (x >= s.uwFpXLow - m && x <= s.uwFpXHigh + m && y >= s.uwFpYLow - m && y <= s.uwFpYHigh + m) ? 1 : 0;
}

uint8_t LongPressArea(uint16_t x, uint16_t y) {
  const GestureState& s = gstGestureState;
  return (x > s.uwFpXLow && x < s.uwFpXHigh && y > s.uwFpYLow && y < s.uwFpYHigh) ? 1 : 0;
}

// Fills the request record's press bytes from the frame: the finger is down while the
// fingerprint point lies strictly inside the area, present while it lies within the area
// and its margin; a lift is always allowed (nothing in this system holds it back).
void GesturePreProcess() {
  GestureFramePoints();
  GestureRequest& r = gstGestureRequest;
  const GestureState& s = gstGestureState;
  const bool boFp = s.ubFpSlot != kCoordNoSlot;
  r.ubFingerPresent = boFp ? 1 : 0;
  r.ubFingerDown = (boFp && LongPressArea(sstFrame.auwX[s.ubFpSlot], sstFrame.auwY[s.ubFpSlot]) != 0) ? 1 : 0;
  r.ubLiftAllowed = 1;
}

void GestureProcAndNotifyHost() {
  GestureState& s = gstGestureState;
  uint8_t ubCount = 0;
  for (uint8_t i = 0; i < kCoordPointMax; ++i) ubCount = static_cast<uint8_t>(ubCount + (sstFrame.auwW[i] != 0));
  s.ubTouchCount = ubCount;
  // A new touch starts clean; the region checks below then mark it from its first frame.
  if (ubCount != 0 && s.ubTouching == 0) {
    ResetTouch();
    s.ubTouching = 1;
  }
  RegionChecks(ubCount);
  const uint8_t ubLimit = Cfg()[kCfgTouchFrames];
  if (s.ubTouching != 0 && ubLimit != 0 && s.uwTouchFrames > ubLimit) s.ubFlags |= kGesFlagLong;
  if (s.ubTapWaiting != 0 && s.uwTapWait < 0xFFFF) ++s.uwTapWait;
  if (ubCount == 0) {
    if (s.ubTouching != 0 && s.ubHold == 0) CloseTouch();
    if (s.ubTouching == 0 && s.ubTapWaiting != 0 && s.uwTapWait > DoubleTapWindow() &&
        gstPendingGesture.ubCode == kGesNone) {
      s.ubTapWaiting = 0;
      PendSingleTap(s.uwFirstTapX, s.uwFirstTapY);
    }
  } else {
    FollowTouch(ubCount);
  }
  LongPressRecognition();
  if (s.ubFpSlot != kCoordNoSlot) {
    s.uwFpX = sstFrame.auwX[s.ubFpSlot];
    s.uwFpY = sstFrame.auwY[s.ubFpSlot];
  }
  SendPending();
}

// Nothing of the frame's points may reach a later frame whose pre-process did not run.
void GestureEndProcess() { memset(&sstFrame, 0, sizeof(sstFrame)); }

void LongPressRecognition() {
  GestureState& s = gstGestureState;
  const GestureRequest& r = gstGestureRequest;
  const uint8_t* f = gstFingerPrintCfg.aubData;
  uint8_t ubState = r.ubFpState;
  if (ubState == 0 && (f[kFpShare] == 0 || f[kFpTimeLimit] == 0)) ubState = 2;
  if (s.ubFpSlot != kCoordNoSlot && (s.uwMovedMask & (1u << s.ubFpSlot)) != 0) s.ubMovedAway = 1;
  const bool boAtOnce = (Cfg()[kCfgFlags] & kFlagFpAtOnce) != 0;
  const bool boFpWeight = s.ubFpSlot != kCoordNoSlot && sstFrame.auwW[s.ubFpSlot] != 0;
  if (s.ubFpSlot != kCoordNoSlot) {
    s.uwFpX = sstFrame.auwX[s.ubFpSlot];
    s.uwFpY = sstFrame.auwY[s.ubFpSlot];
  }
  if (ubState == 0 && ((s.ubFlags & (kGesFlagMulti | kGesFlagBig)) != 0 || gstCommon.ubGestureByte != 0)) {
    if (s.ubPressed != 0) PendRelease((s.ubFlags & (kGesFlagMulti | kGesFlagBig)) != 0 ? 1 : 2);
  } else if (ubState == 0 && (s.ubTouchCount == 0 || s.ubMovedAway != 0 || r.ubLiftAllowed == 0)) {
    if (s.ubPressed != 0) PendRelease(r.ubLiftAllowed == 0 ? 3 : (s.ubMovedAway != 0 ? 4 : 5));
    if (s.ubTouchCount == 0) ClearPress();
  } else if (ubState == 0) {
    if (boFpWeight && LongPressArea(s.uwFpX, s.uwFpY) != 0) {
      s.ubTapSeq = 0;
      s.ubTapWaiting = 0;
      s.ubFpTouch = 1;
    }
    if (r.ubFingerDown != 0) {
      // The press time runs while the finger is down, reported or not, so that a press held
      // past the limit is released (reason 8).
      if (s.ubFrameTime < 255) ++s.ubFrameTime;
      if (s.ubPressed == 0) {
        if (s.ubDownCount < 255) ++s.ubDownCount;
        if (s.ubDownCount == 1 || boAtOnce) {
          PendPoint(kGesFpDown, s.uwFpX, s.uwFpY);
          s.ubPressed = 1;
          s.ubHold = boAtOnce ? 0 : kFpHoldFrames;
        } else if (s.ubHold != 0) {
          --s.ubHold;
        }
      } else if (s.ubHold != 0) {
        --s.ubHold;
      }
    } else {
      if (r.ubFingerPresent == 0) s.ubFrameTime = 0;
      if (s.ubHold != 0) --s.ubHold;
    }
    if (boAtOnce) s.ubHold = 0;
    if (s.ubPressed != 0 && s.ubHold == 0 && gstPendingGesture.ubCode != kGesFpDown) {
      s.ubNoPresentFrames = r.ubFingerPresent != 0 ? 0 : static_cast<uint8_t>(s.ubNoPresentFrames + 1);
      if (s.ubNoPresentFrames >= 2) {
        PendRelease(6);
      } else if (s.ubTouchCount == 0) {
        PendRelease(7);
      } else if (s.ubFrameTime > f[kFpTimeLimit]) {
        PendRelease(8);
      }
    }
  }
  // A reported press whose point left the area is answered, never dropped without an "U".
  if (s.ubPressed != 0 && !boFpWeight && gstPendingGesture.ubCode == kGesNone) PendRelease(4);
  UFGestureNotifyHost();
  if (s.ubHold != 0) s.ubDownCount = 3;
}

void UFGestureNotifyHost() {
  PendingGesture& p = gstPendingGesture;
  if (p.ubCode != kGesFpDown && p.ubCode != kGesFpUp) return;
  GestureState& s = gstGestureState;
  s.ubPacketCounter = static_cast<uint8_t>(s.ubPacketCounter + 1);
  const bool boRaw = (Cfg()[kCfgFlags] & kFlagFpAtOnce) != 0;
  GestureFpBlock stBlock;
  memset(&stBlock, 0, sizeof(stBlock));
  stBlock.uwFpX = boRaw ? s.uwFpX : GestureScaleToHost(s.uwFpX, 0);
  stBlock.uwFpY = boRaw ? s.uwFpY : GestureScaleToHost(s.uwFpY, 1);
  stBlock.uwSlot0X = gpuwNewPointX[0];
  stBlock.uwSlot0Y = gpuwNewPointY[0];
  stBlock.uwSlot0Weight = gpuwNewWeight[0];
  stBlock.auwTouchStat[0] = gstGestureRequest.auwTouchStat[0];
  stBlock.auwTouchStat[1] = gstGestureRequest.auwTouchStat[1];
  stBlock.ubTouchCount = s.ubTouchCount;
  // The block's bytes become the key values as they lie in memory (little-endian).
  uint8_t aubBlock[sizeof(stBlock)];
  memcpy(aubBlock, &stBlock, sizeof(stBlock));
  for (uint32_t i = 0; i < kGesKeyValues; ++i) {
    p.auwKey[i] = static_cast<uint16_t>(aubBlock[2 * i] | (aubBlock[2 * i + 1] << 8));
  }
  if ((gstFingerPrintCfg.aubData[0] & kFpCfgWake) != 0 && s.ubWakeByte == 0) guiIsFWakeCheckNcln = kFpWakeArmed;
  GestureWritePacket(kGesPacketFp);
  gstGestureRequest.ubReportFlag = 1;
  ClearPending();
  if ((Cfg()[kCfgFlags] & kFlagKeepStroke) == 0) {
    s.ubTapWaiting = 0;
    s.ubTapSeq = 0;
  }
}

uint8_t GestureModeEnabled() { return gstGesture.ubGestureEn != 0 ? 1 : 0; }
