// Two late finger stages that work on reported coordinates: damping of slow or crowded
// points while white noise is present, and recognition of repeated taps at one place (the
// game touch pattern), which asks the noise-duration logic for its special mode.
#include "noise_coord.h"

#include <cstdlib>
#include <cstring>

#include "coord_records.h"
#include "core_stages.h"
#include "customer_hooks.h"
#include "signal_proc.h"
#include "signal_records.h"
#include "tsa_common.h"

uint16_t gpuwFirstCoordX[kCoordPointMax];
uint16_t gpuwFirstCoordY[kCoordPointMax];
uint16_t gpuwLastCoordX[kCoordPointMax];
uint16_t gpuwLastCoordY[kCoordPointMax];
uint16_t gpuwTouchCnt[kCoordPointMax];
int16_t gpswSpeedX[kCoordPointMax];
int16_t gpswSpeedY[kCoordPointMax];
int16_t gpswDistX[kCoordPointMax];
int16_t gpswDistY[kCoordPointMax];
uint8_t gpubFastMoveFlag[kCoordPointMax];
uint8_t gpubSameColumFlag[kCoordPointMax];
uint8_t gpubSmoothFlag[kCoordPointMax];
FingerJitaiRec gstFingerJitai;

namespace {

constexpr uint8_t kSmoothSlots = 5;
constexpr uint16_t kUnset = 0xFFFF;
constexpr int32_t kSameColumn = 1280;
constexpr uint8_t kSmoothFrames = 5;
constexpr uint16_t kSmoothFromFrame = 11;
constexpr uint8_t kModeJitai = 4;
constexpr uint8_t kCodeEnter = 5;
constexpr uint8_t kCodeLeave = 6;

// Tracked touch t's words in gstFingerJitai.auwPos: first x, first y, last x, last y.
uint16_t& FirstX(uint8_t t) { return gstFingerJitai.auwPos[t]; }
uint16_t& FirstY(uint8_t t) { return gstFingerJitai.auwPos[2 + t]; }
uint16_t& LastX(uint8_t t) { return gstFingerJitai.auwPos[4 + t]; }
uint16_t& LastY(uint8_t t) { return gstFingerJitai.auwPos[6 + t]; }
uint8_t& ConsecCnt() { return gstFingerJitai.aubCounter[0]; }
uint8_t& SeriesCnt() { return gstFingerJitai.aubCounter[1]; }
uint8_t& Recognised() { return gstFingerJitai.aubCounter[2]; }

void ResetRecognition() {
  for (uint8_t t = 0; t < 2; ++t) FirstX(t) = FirstY(t) = kUnset;
  ConsecCnt() = SeriesCnt() = Recognised() = 0;
  gstFingerJitai.ubSlot = 0xFF;
}

void LeaveJitaiMode() {
  if (gstDurationXdata.ubKind == kModeJitai) {
    gstDurationXdata.ubKind = 0;
    gstDurationXdata.ubCode = kCodeLeave;
  }
}

bool Within(uint16_t a, uint16_t b, int32_t slTol) {
  return std::abs(static_cast<int32_t>(a) - static_cast<int32_t>(b)) <= slTol;
}

void JitaiTouch(const JitaiInput& in, uint8_t t, uint8_t k) {
  const uint16_t x = in.puwX[k], y = in.puwY[k];
  const bool boBegins = FirstX(t) == kUnset;
  if (boBegins) FirstX(t) = x, FirstY(t) = y;
  if (LastX(t) == kUnset) LastX(t) = x, LastY(t) = y;
  if (boBegins && Recognised() == 0) {
    const uint32_t uiHalf = in.uwExtentX / 2u;
    if (y < 5120 && (x < 1024 || (x > uiHalf && x < uiHalf + 1500))) {
      if (Within(x, LastX(t), 200) && Within(y, LastY(t), 200)) {
        if (gstFingerJitai.ubSlot == 0xFF) gstFingerJitai.ubSlot = k;
        if (k == gstFingerJitai.ubSlot) {
          if (ConsecCnt() < 255) ++ConsecCnt();
          if (ConsecCnt() == 2 && SeriesCnt() < 255) ++SeriesCnt();
        } else if (ConsecCnt() == 2 && SeriesCnt() < 255) {
          ++SeriesCnt();
        }
      } else if (k == gstFingerJitai.ubSlot) {
        ConsecCnt() = 0;
      }
    }
    LastX(t) = x, LastY(t) = y;
  }
  const uint8_t* pubRect = in.pubRegionRects + 4u * k;
  const int32_t dA = pubRect[1] - pubRect[0], dB = pubRect[3] - pubRect[2];
  const int32_t slTol = (dA >= 4 && dA <= 254 && dB >= 4 && dB <= 254) ? 1024 : 500;
  const bool boNear = Within(x, FirstX(t), slTol) && Within(y, FirstY(t), slTol);
  bool boHold = false;
  if (boNear && SeriesCnt() >= 3) {
    SeriesCnt() = 0;
    Recognised() = 1;
    boHold = true;
  } else if (boNear && Recognised() != 0) {
    boHold = true;
  }
  if (boHold) {
    if (gstDurationXdata.ubKind == 0 && NoiseDurationAllowed()) {
      gstDurationXdata.ubKind = kModeJitai;
      gstDurationXdata.ubCode = kCodeEnter;
    }
    return;
  }
  if (!boNear) ResetRecognition();
  LeaveJitaiMode();
}

}  // namespace

void FastMoveCheck(uint8_t ubSlot) {
  if (ubSlot >= kCoordPointMax) return;
  if (gpswSpeedX[ubSlot] >= 51 || gpswSpeedY[ubSlot] >= 81) {
    gpubFastMoveFlag[ubSlot] = 1;
  } else if (gpswSpeedX[ubSlot] <= 4 && gpswSpeedY[ubSlot] <= 7) {
    gpubFastMoveFlag[ubSlot] = 0;
  }
}

void CheckSameColumSta(uint8_t ubSlot) {
  if (ubSlot >= kSmoothSlots) return;
  uint8_t ubSame = 0;
  for (uint8_t j = 0; j < kSmoothSlots; ++j)
    if (j != ubSlot && std::abs(gpuwNewPointX[ubSlot] - gpuwNewPointX[j]) < kSameColumn) ubSame = 1;
  gpubSameColumFlag[ubSlot] = ubSame;
}

// The fast flag reacts to positive motion only (signed comparisons): a fast movement toward
// smaller coordinates does not set it. It only exempts far-travelled points from smoothing,
// so such a point is damped, never dropped.
void NoiseCoordAddSmooth() {
  for (uint8_t i = 0; i < kSmoothSlots; ++i) {
    if (gpuwNewWeight[i] == 0) {
      gpuwFirstCoordX[i] = kUnset;
      gpuwTouchCnt[i] = 0;
      gpswSpeedX[i] = gpswSpeedY[i] = 0;
      gpswDistX[i] = gpswDistY[i] = 0;
      gpubSmoothFlag[i] = 0;
      gpubSameColumFlag[i] = 0;
      gpubFastMoveFlag[i] = 0;
      continue;
    }
    uint16_t x = gpuwNewPointX[i], y = gpuwNewPointY[i];
    if (gpuwFirstCoordX[i] == kUnset) {
      gpuwFirstCoordX[i] = gpuwLastCoordX[i] = x;
      gpuwFirstCoordY[i] = gpuwLastCoordY[i] = y;
      continue;
    }
    if (gpuwTouchCnt[i] < 0xFFFF) ++gpuwTouchCnt[i];
    const int32_t dx = x - gpuwLastCoordX[i], dy = y - gpuwLastCoordY[i];
    const int16_t nx = static_cast<int16_t>(15 * gpswSpeedX[i] + dx);
    const int16_t ny = static_cast<int16_t>(15 * gpswSpeedY[i] + dy);
    gpswSpeedX[i] = static_cast<int16_t>(nx / 16);
    gpswSpeedY[i] = static_cast<int16_t>(ny / 16);
    gpswDistX[i] = static_cast<int16_t>(x - gpuwFirstCoordX[i]);
    gpswDistY[i] = static_cast<int16_t>(y - gpuwFirstCoordY[i]);
    if (nx > 815 || ny > 1295) {
      gpubFastMoveFlag[i] = 1;
    } else if (nx <= 79 && ny <= 127) {
      gpubFastMoveFlag[i] = 0;
    }
    CheckSameColumSta(i);
    if (gstCommon.ubWhiteNoiseResult != 0 && gpuwTouchCnt[i] >= kSmoothFromFrame) {
      const bool boFree = gpubSameColumFlag[i] == 0 || gpubFastMoveFlag[i] != 0;
      const bool boFar = std::abs(gpswDistX[i]) > 399 || std::abs(gpswDistY[i]) > 1199;
      if (!(boFree && boFar)) {
        gstCommon.aubNoiseFlags[1] = 1;
        gpubSmoothFlag[i] = kSmoothFrames;
      }
    }
    if (gpubSmoothFlag[i] != 0) {
      x = static_cast<uint16_t>((x + gpuwLastCoordX[i]) >> 1);
      y = static_cast<uint16_t>((2u * gpuwLastCoordY[i] + y) / 3u);
      gpuwNewPointX[i] = x;
      gpuwNewPointY[i] = y;
      --gpubSmoothFlag[i];
    }
    gpuwLastCoordX[i] = x;
    gpuwLastCoordY[i] = y;
  }
}

// The last position of a tracked touch is where its previous tap began; it survives the
// lift of the finger (only the first position marks a touch in progress), so that a new
// tap is compared with the one before it.
void JitaiModeRecongniseProc(const JitaiInput& in) {
  if (in.ubPointCount >= 3) {
    if (Recognised() != 0) {
      ResetRecognition();
      LeaveJitaiMode();
    }
    return;
  }
  uint8_t t = 0;
  for (uint8_t k = 0; k < kCoordPointMax && t < 2; ++k) {
    if (in.puwWeight[k] == 0) {
      FirstX(t) = FirstY(t) = kUnset;
      continue;
    }
    JitaiTouch(in, t, k);
    ++t;
  }
}

void JitaiModeRecongnise() {
  JitaiInput in{};
  in.puwX = gpuwNewPointX;
  in.puwY = gpuwNewPointY;
  in.puwWeight = gpuwNewWeight;
  in.pubRegionRects = reinterpret_cast<const uint8_t*>(gstCoordPair.astLastRect);
  in.uwExtentX = gstCommon.uwSenCoordRange;
  in.uwExtentY = gstCommon.uwDrvCoordRange;
  in.ubPointCount = gstCoordComOutput.ubPointNum;
  JitaiModeRecongniseProc(in);
}
