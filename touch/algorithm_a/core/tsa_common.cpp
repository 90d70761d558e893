// The common frame record and its initialisation.
#include "tsa_common.h"

#include <cstdlib>
#include <cstring>

#include "tsa_os.h"
#include "signal_proc.h"
#include "tsa_config.h"


CommonRecord gstCommon;
int16_t* gpswDiffLastLast;
uint8_t* gpubDlCache;
uint8_t gpubShakeRxList[kShakeRxListLen];

namespace {

// Hands out a work buffer once and re-zeroes it on later initialisations, so a software
// re-initialisation never allocates (or leaks) again.
template <typename T>
T* ZeroedOnce(T*& ptr, uint32_t uiBytes, const char* pcName) {
  if (ptr == nullptr) {
    ptr = static_cast<T*>(calloc(1, uiBytes));
    if (ptr == nullptr) FerxLogPrint("GlobalCommonInit", FERX_LOG_ERR, "cannot allocate %s (%u bytes)", pcName, uiBytes);
  } else {
    memset(ptr, 0, uiBytes);
  }
  return ptr;
}

}  // namespace

uint8_t* GlobalCommonInit() {
  CommonRecord& c = gstCommon;
  memset(&c, 0, offsetof(CommonRecord, ubLastByte));  // bytes 0 to 735

  c.ubNormFlagA = 1;
  c.ubNormFlagB = 1;
  c.ubNormalizeCheckEn = 1;
  c.ubWaterMode = 1;
  c.ubTempFlags = 1;
  c.uwLastFrameIndex = 1;
  c.uwScanPeriod = 8000;
  c.ubMaxRow = 255;

  c.ubSelfEnable = (gstSelfOfsCancelCfg.aubData[0] & kSelfOfsCfgSelfOffBit) == 0 ? 1 : 0;

  const uint8_t ubSen = gstPannelAlignCfg.ubSenNum;
  const uint8_t ubDrv = gstPannelAlignCfg.ubDrvNum;
  c.ubSenNum = ubSen;
  c.ubDrvNum = ubDrv;
  c.ubSenLast = static_cast<uint8_t>(ubSen - 1);
  c.ubDrvLast = static_cast<uint8_t>(ubDrv - 1);
  c.uwNodeNum = static_cast<uint16_t>(ubSen * ubDrv);
  c.ubLineNum = static_cast<uint8_t>(ubSen + ubDrv);
  c.uwSenCoordRange = static_cast<uint16_t>(ubSen * 512 + 2 * gstTouchPannelCfg.scOffsetX);
  c.uwDrvCoordRange = static_cast<uint16_t>(ubDrv * 512 + 2 * gstTouchPannelCfg.scOffsetY);

  const TouchPannelCfg& p = gstTouchPannelCfg;
  memcpy(reinterpret_cast<uint8_t*>(&c) + offsetof(CommonRecord, uwPanelWord0), p.aubHead, sizeof(p.aubHead));
  c.uwPanelValue2 = p.uwValue16;
  c.swPanelValue3 = static_cast<int16_t>(p.uwValue18);
  c.uiPanelValue1 = p.uiValue20;
  c.uiPanelValue4 = p.uiValue24;
  c.ubPanelValue5 = p.ubValue32;
  c.uwMaskThreshold = static_cast<uint16_t>(p.aubHead[4] | (p.aubHead[5] << 8));
  c.uwThreshold2 = static_cast<uint16_t>(p.aubHead[6] | (p.aubHead[7] << 8));

  // Step 6 of the initialisation clears further bytes; they are already zero from the
  // clear above, except the last byte, which the first clear leaves alone.
  c.ubLastByte = 0;
  memset(c.aubEdge, 255, sizeof(c.aubEdge));
  memset(c.aubEdge2, 255, sizeof(c.aubEdge2));

  ZeroedOnce(gpswDiffLastLast, kDiffLastLastBytes, "previous diff buffer");
  ZeroedOnce(gpubDlCache, kDlCacheBytes, "network work buffer");
  memset(gpubShakeRxList, 255, sizeof(gpubShakeRxList));
  return gpubDlCache;
}

void GlobalCommonRelease() {
  free(gpswDiffLastLast);
  gpswDiffLastLast = nullptr;
  free(gpubDlCache);
  gpubDlCache = nullptr;
}

uint32_t GetRectArea() {
  const uint8_t* r = gstCommon.aubWorkRect;
  return (static_cast<uint32_t>(r[1]) - r[0] + 1u) * (static_cast<uint32_t>(r[3]) - r[2] + 1u);
}

const uint16_t gpuwFstFilterTable[5] = {122, 137, 152, 167, 175};
const uint8_t gpubNorFilterTable[5] = {47, 43, 39, 35, 27};

namespace {
uint32_t FilterIndex(uint32_t uiSelector) { return uiSelector > 4 ? 4 : uiSelector; }
}  // namespace

uint16_t GameModeFstFilter(uint16_t uwGameWord) { return gpuwFstFilterTable[FilterIndex((uwGameWord >> 8) & 7u)]; }
uint8_t GameModeNorFilter(uint16_t uwGameWord) { return gpubNorFilterTable[FilterIndex((uwGameWord >> 3) & 7u)]; }
