#pragma once
// Screen-off gestures of algorithm A: taps, double taps, swipes, drawn characters, the
// two-finger vertical strokes and the fingerprint-area press, each sent to the host as one
// checksummed packet. The gesture stage works on the points that coordinate optimisation
// leaves (module units, 512 per node, X along the sense lines); packets carry them scaled
// to the host resolution.
#include <cstddef>
#include <cstdint>

#include "coord.h"
#include "vendor_export.h"

inline constexpr uint8_t kGesNone = 255;
inline constexpr uint8_t kGesSingleTap = 0x4C;   // "L"
inline constexpr uint8_t kGesDoubleTap = 0xCC;
inline constexpr uint8_t kGesFpDown = 0x46;      // "F"
inline constexpr uint8_t kGesFpUp = 0x55;        // "U"
inline constexpr uint8_t kGesSwipeRight = 0xAA;  // toward larger X
inline constexpr uint8_t kGesSwipeLeft = 0xBB;   // toward smaller X
inline constexpr uint8_t kGesSwipeDown = 0xAB;   // toward larger Y
inline constexpr uint8_t kGesSwipeUp = 0xBA;     // toward smaller Y
inline constexpr uint8_t kGesTwoFingerUp = 0x4E;    // "N": both fingers toward smaller Y
inline constexpr uint8_t kGesTwoFingerDown = 0x48;  // "H": both fingers toward larger Y

inline constexpr uint8_t kGesPacketStroke = 0x20;
inline constexpr uint8_t kGesPacketFp = 0x28;

inline constexpr uint32_t kGesTraceMax = 128;   // first finger's trace
inline constexpr uint32_t kGesTrace2Max = 64;   // second finger's trace
inline constexpr uint32_t kGesResampleMax = 64; // points a stroke keeps for recognition
inline constexpr uint32_t kGesKeyValues = 16;
inline constexpr uint32_t kGesPacketHead = 42;  // bytes before the trace
// Largest packet: the head, a full first-finger trace and its sum.
inline constexpr uint32_t kGesPacketMax = kGesPacketHead + 4 * kGesTraceMax + 2;
inline constexpr uint16_t kGesWorkAreaSize = 1789;
inline constexpr uint16_t kGesNoPos = 0xFFFF;

#pragma pack(push, 1)

// Fixed head of a gesture packet (little-endian), followed by n trace points
// (u16 X, u16 Y) and the u16 sum of the trace bytes.
struct GesturePacketHead {
  uint8_t ubType;            // 0: 0x20 stroke and tap gestures, 0x28 fingerprint area
  uint8_t ubSequence;        // 1: tap-sequence counter / fingerprint packet counter
  uint8_t ubMode;            // 2: 10, or 26 while the common gesture byte is set
  uint8_t ubCount;           // 3: trace point count n
  uint8_t ubCode;            // 4: gesture code
  uint8_t ubReason;          // 5: fingerprint release reason (1..8), else 0
  uint16_t uwHeadSum;        // 6: sum of bytes 0-5
  uint16_t auwKey[kGesKeyValues];  // 8: key points (stroke) or the fingerprint block
  uint16_t uwKeySum;         // 40: sum of bytes 8-39
};
static_assert(offsetof(GesturePacketHead, ubCode) == 4);
static_assert(offsetof(GesturePacketHead, uwHeadSum) == 6);
static_assert(offsetof(GesturePacketHead, auwKey) == 8);
static_assert(offsetof(GesturePacketHead, uwKeySum) == 40);
static_assert(sizeof(GesturePacketHead) == kGesPacketHead);

// Block of a fingerprint packet at bytes 8-39: every byte written once, in this layout.
struct GestureFpBlock {
  uint16_t uwFpX;            // 8: fingerprint point, host resolution (module units with
  uint16_t uwFpY;            // 10:   gesture configuration byte 3 bit 4)
  uint16_t uwSlot0X;         // 12: point slot 0 as the frame left it (module units)
  uint16_t uwSlot0Y;         // 14
  uint16_t uwSlot0Weight;    // 16
  uint16_t auwTouchStat[2];  // 18: the two touch statistics values
  uint8_t ubTouchCount;      // 22: points counted this frame
  uint8_t aubZero[17];       // 23: zero
};
static_assert(offsetof(GestureFpBlock, uwSlot0X) == 4);
static_assert(offsetof(GestureFpBlock, auwTouchStat) == 10);
static_assert(offsetof(GestureFpBlock, ubTouchCount) == 14);
static_assert(sizeof(GestureFpBlock) == 2 * kGesKeyValues);

// The core's gesture buffers: the stroke traces and the request record through which the
// gesture stage and the core talk (the core hands a raised report to the host).
struct GestureTrace {
  uint16_t auwX[kGesTraceMax];
  uint16_t auwY[kGesTraceMax];
  uint16_t auwX2[kGesTrace2Max];
  uint16_t auwY2[kGesTrace2Max];
};
static_assert(sizeof(GestureTrace) == 768);

struct GestureRequest {
  uint8_t ubReportFlag;      // 0: a packet waits for the host
  uint8_t ubSecondReport;    // 1: the packet asks for a second report
  uint16_t uwFpRequest;      // 2: 257 / 256 / 0, see FingerPrintInit
  uint8_t ubFpState;         // 4: fingerprint state byte (0: presses are recognised)
  uint8_t ubFingerDown;      // 5
  uint8_t ubFingerPresent;   // 6
  uint8_t ubLiftAllowed;     // 7
  uint16_t auwTouchStat[2];  // 8: two touch statistics values
  uint16_t uwPacketLength;   // 12: bytes of the packet waiting
};
static_assert(offsetof(GestureRequest, uwFpRequest) == 2);
static_assert(offsetof(GestureRequest, auwTouchStat) == 8);
static_assert(sizeof(GestureRequest) == 14);

// The pending gesture (the gesture work area).
struct PendingGesture {
  uint8_t ubCode;            // pending code, 255 none
  uint8_t ubTraceCount;      // points of the trace the recogniser used
  uint8_t ubPacketCount;     // n of the packet
  uint8_t ubPacketCode;      // code of the packet
  uint8_t ubReason;          // fingerprint release reason
  uint8_t ubRes;
  uint16_t auwKey[kGesKeyValues];
  uint16_t auwTrace[2 * kGesTraceMax];  // the packet trace, X and Y interleaved
  uint16_t uwWidth;
  uint16_t uwHeight;
};

// Turn record of one trace (see GestureTurnAnalysis).
struct GestureTurns {
  uint8_t ubXTurns;
  uint8_t aubXTurnAt[5];
  uint8_t ubYTurns;
  uint8_t aubYTurnAt[6];
  uint8_t ubYTurnsAfterRise;
  uint8_t aubYTurnAfterRiseAt[2];
  uint8_t ubYTurnsAfterFall;
  uint8_t aubYTurnAfterFallAt[2];
};

#pragma pack(pop)

// Gesture state beside gstGesture (whose enable byte the core reads).
struct GestureState {
  uint8_t aubClass[12];      // per point: 0 none, 1 in the side band, 2 inside
  uint8_t ubFlags;           // kGesFlag*
  uint8_t ubSlot;            // tracked (first) slot, 255 none
  uint8_t ubSlot2;           // second finger's slot, 255 none
  uint16_t uwFpX, uwFpY;     // fingerprint point
  uint8_t ubFpSlot;          // slot on the fingerprint area this frame, 255 none
  uint16_t uwFirstTapX, uwFirstTapY;
  uint8_t ubTapWaiting;      // a first tap waits for its second
  uint16_t uwTapWait;        // frames since the first tap lifted
  uint8_t ubTapSeq;          // tap-sequence counter
  uint16_t uwTouchFrames;    // frames of the current touch
  uint8_t ubMultiFrames;     // frames with several close regions
  uint8_t ubMaxFingers;      // most points of the current touch
  uint8_t ubTouchCount;      // points counted this frame
  uint8_t ubTouching;        // a touch is being followed
  uint8_t ubFpTouch;         // the touch pressed the fingerprint area
  uint8_t ubPacketCounter;   // grows by 1 for every fingerprint packet
  uint16_t uwMinX, uwMaxX, uwMinY, uwMaxY;  // bounding box of the first trace
  uint8_t ubTraceCount, ubTrace2Count;
  // Fingerprint area (module units).
  uint16_t uwFpCentreX, uwFpCentreY, uwFpHalfW, uwFpHalfH, uwFpFixed768;
  uint16_t uwFpXLow, uwFpXHigh, uwFpYLow, uwFpYHigh, uwFpMargin;
  uint16_t uwEnableMask;     // host mask: bit 7 single taps at once, 12 no single taps,
                             // 8-11 no swipe up/down/right/left, 0-6 no character group
  // Long press.
  uint8_t ubPressed;         // "F" sent and not yet answered by "U"
  uint8_t ubDownCount;
  uint8_t ubFrameTime;
  uint8_t ubReleaseReason;
  uint8_t ubHold;
  uint8_t ubNoPresentFrames;
  uint8_t ubMovedAway;
  uint16_t uwMovedMask;      // per slot, bit set: farther than 768 + half size from the centre
  uint8_t ubWakeByte;        // set: no fingerprint wake is armed by a packet
  uint16_t uwPaceFrames;     // frames counted for packet pacing
  // Key points of the last recognised character (trace points, module units).
  uint8_t ubCharKeyCount;
  uint16_t auwCharKeyX[6], auwCharKeyY[6];
};

extern GestureState gstGestureState;
extern GestureTrace gstGestureTrace;
extern GestureRequest gstGestureRequest;
extern PendingGesture gstPendingGesture;
extern PendingGesture* gpstGestureTemp;
extern GestureTurns gstGestureTurns;

inline constexpr uint8_t kGesFlagMulti = 0x01;   // several close fingers
inline constexpr uint8_t kGesFlagBig = 0x02;     // one large contact
inline constexpr uint8_t kGesFlagBroken = 0x04;  // a point crossed the side band
inline constexpr uint8_t kGesFlagLong = 0x08;    // the touch lasted too long for a tap

// Initialisation.
void GestureInit();
void GestureReinit();
void FingerPrintInit();
void GestureSetTempSizeInit();

// Per-frame parts of the gesture stage.
void LongPressRecognition();
void UFGestureNotifyHost();
uint8_t IsPointInFpArea(uint8_t ubSlot);
uint8_t LongPressArea(uint16_t x, uint16_t y);

// Packets.
uint16_t GestureByteSum(const uint8_t* pubData, uint32_t uiLength);
// Scales a module coordinate on AXIS (0 X, 1 Y) to the host resolution, the axes exchanged
// as the coordinate transform configuration exchanges them.
uint16_t GestureScaleToHost(uint16_t uwValue, uint8_t ubAxis);
// Writes the pending gesture as a packet of TYPE into the packet buffer; returns its length.
uint32_t GestureWritePacket(uint8_t ubType);
const uint8_t* GesturePacketBuffer();

// Debug record of the last block summed into a packet.
struct GestureSumDebug {
  uint16_t uwSum;
  uint8_t ubMax, ubMin;
  uint16_t uwMaxAt, uwMinAt;
};
extern GestureSumDebug gstGestureSumDebug;

// Recognition.
void GestureTurnAnalysis(const uint16_t* puwX, const uint16_t* puwY, uint32_t uiCount, GestureTurns* pstTurns);
void CharRecognitionSimple();
uint8_t DoubleVerticJudge();
void DoubleVerticGetBound();
uint16_t GestureIsqrt(uint32_t uiValue);

// The host takes the waiting packet: copies it into OUT (CAPACITY bytes) and clears the
// report flag. Returns the packet length, 0 when none waits or it does not fit (the packet
// then keeps waiting). Called on the frame thread between frames, like the per-frame
// operations; a later packet replaces one the host did not take.
VENDOR_EXPORT uint32_t TsaGetGesturePacket(uint8_t* pubOut, uint32_t uiCapacity);

// Best template for a polyline already normalised to 0-255 (cost per step through *COST);
// every template is tried, whatever is enabled. For tests of the template set.
uint8_t GestureCharMatchForTest(const int32_t* piX, const int32_t* piY, uint32_t n, uint32_t* puiCost);
