// Configuration blob: check, routing map and application into the module records.
#include "tsa_config.h"

#include <cstring>

#include "coord.h"
#include "tsa_os.h"
#include "region.h"
#include "signal_proc.h"
#include "tsa_common.h"


namespace {

#define CFG_ENTRY(id, rec) {id, sizeof(rec), {0, 0}, &rec}
#define CFG_NONE(id) {id, 0, {0, 0}, nullptr}

}  // namespace

const CfgMapEntry gpstCfg[kCfgMapEntries] = {
    CFG_ENTRY(8, gstTouchPannelCfg),      CFG_ENTRY(10, gstThpAfeMoudleCfg),
    CFG_ENTRY(31, gstFreqHopCfg),         CFG_ENTRY(32, gstTimeCtrlCfg),
    CFG_ENTRY(33, gstNoiseProcessCfg),    CFG_ENTRY(34, gstNoiseNfProcCfg),
    CFG_ENTRY(35, gstLcdHighNoiseCfg),    CFG_ENTRY(36, gstNoiseDurationCfg),
    CFG_NONE(37),                         CFG_ENTRY(38, gstScanRateCfg),
    CFG_NONE(39),                         CFG_ENTRY(40, gstGesTimeCtrlCfg),
    CFG_ENTRY(41, gstFingerPrintCfg),     CFG_ENTRY(42, gstTestModeCtrCfg),
    CFG_ENTRY(43, gstRawDataCorrectCfg),  CFG_ENTRY(44, gstRawNormalizeCfg),
    CFG_ENTRY(45, gstResultBeautyCfg),    CFG_ENTRY(46, gstCoordTranCfg),
    CFG_ENTRY(47, gstSelfCapProcCfg),     CFG_ENTRY(48, gstDynamicLevelCfg),
    CFG_ENTRY(49, gstCoordNoiseProcCfg),  CFG_ENTRY(50, gstEdgeResCfg),
    CFG_ENTRY(51, gstGestureCfg),         CFG_ENTRY(52, gstGameModeCfg),
    CFG_ENTRY(53, gstLongThumbCfg),       CFG_ENTRY(54, gstEdgeRawAdjustCfg),
    CFG_ENTRY(55, gstChannelDisCfg),      CFG_ENTRY(56, gstNewSpeedStretchCfg),
    CFG_ENTRY(57, gstDoubleBarrayCfg),    CFG_ENTRY(91, gstDenoiseCommonCfg),
    CFG_ENTRY(92, gstRefUpdateCfg),       CFG_ENTRY(93, gstRefUpdateTRxCfg),
    CFG_ENTRY(94, gstSelfRegionCfg),      CFG_ENTRY(95, gstLargeTouchCfg),
    CFG_ENTRY(96, gstConstWaterCfg),      CFG_ENTRY(97, gstCoordOptmCfg),
    CFG_ENTRY(98, gstCoordSpecialCfg),    CFG_NONE(99),
    CFG_ENTRY(100, gstCoordPairCfg),      CFG_ENTRY(101, gstSelfOfsCancelCfg),
    CFG_ENTRY(102, gstFloatSelfCfg),      CFG_ENTRY(103, gstR4StretchCfg),
    CFG_ENTRY(104, gstFilterAdjustCfg),   CFG_ENTRY(105, gstSelfTxOfsCancelCfg),
    CFG_ENTRY(106, gstSpeedStretchCfg),   CFG_ENTRY(107, gstRawdataDenoiseCfg),
    CFG_ENTRY(108, gstLowTempCfg),        CFG_NONE(109),
    CFG_NONE(110),                        CFG_NONE(111),
    CFG_ENTRY(112, gstEllipseCfg),        CFG_ENTRY(113, gstMutualHoverCfg),
    CFG_NONE(141),                        CFG_NONE(142),
    CFG_NONE(143),                        CFG_ENTRY(144, gstCompleteHoleCfg),
    CFG_NONE(145),                        CFG_NONE(201),
    CFG_NONE(202),                        CFG_NONE(203),
    CFG_NONE(204),                        CFG_NONE(205),
};

uint8_t gstCfgHeadBakNcln[kCfgHeadLen];
uint32_t guiConfigId;
uint8_t gubDefaultFreqForMutualcap;

namespace {

const uint8_t* spubStore;
const uint32_t* spuiStoreLen;
uint32_t suiArenaBlobLen = kCfgBlobMax;  // bytes of the blob last copied into the arena
bool sboApplied;

uint16_t ReadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t ReadU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

const CfgMapEntry* FindEntry(uint8_t ubId) {
  for (const CfgMapEntry& e : gpstCfg) {
    if (e.ubId == ubId) return &e;
  }
  return nullptr;
}

void ClearRecord(const CfgMapEntry& e) {
  if (e.pvRecord != nullptr && e.ubSize != 0) memset(e.pvRecord, 0, e.ubSize);
}

// Copies the stored blob into the arena with the accessor's own checks.
bool CopyStoreToArena(uint8_t* pubArena) {
  if (pubArena == nullptr) {
    FerxLogPrint("GetConfig", FERX_LOG_ERR, "input NULL");
    return false;
  }
  if (spubStore == nullptr || spuiStoreLen == nullptr) {
    FerxLogPrint("GetConfig", FERX_LOG_ERR, "input NULL");
    return false;
  }
  const uint32_t uiLen = *spuiStoreLen;
  if (uiLen > kCfgBlobMax) {
    FerxLogPrint("FyTpReadConfig", FERX_LOG_ERR, "Config length Error: %u", kCfgBlobMax);
    return false;
  }
  memcpy(pubArena, spubStore, uiLen);
  suiArenaBlobLen = uiLen;
  return true;
}

const char* CheckText(CfgCheckResult r) {
  switch (r) {
    case kCfgShort: return "blob shorter than its header and body";
    case kCfgHeadSum: return "header sum mismatch";
    case kCfgBodyLen: return "body length out of range";
    case kCfgNoSection: return "no sections";
    case kCfgBodySum: return "body sum mismatch";
    case kCfgOk: break;
  }
  return "ok";
}

}  // namespace

CfgCheckResult FirmwareConfigCheck(const uint8_t* pubBlob, uint32_t uiAvail) {
  if (pubBlob == nullptr || uiAvail < kCfgHeadLen) return kCfgShort;
  uint16_t uwSum = 0;
  for (uint32_t i = 0; i < kCfgHeadSumPos; ++i) uwSum = static_cast<uint16_t>(uwSum + pubBlob[i]);
  if (uwSum != ReadU16(pubBlob + kCfgHeadSumPos)) return kCfgHeadSum;
  const uint32_t uiL = ReadU16(pubBlob + kCfgBodyLenPos);
  if (uiL < kCfgBodyLenMin || uiL > kCfgBodyLenMax) return kCfgBodyLen;
  if (pubBlob[kCfgSectionCountPos] == 0) return kCfgNoSection;
  // Body words 64 .. 59+L, then the u32 body sum at 60+L: all of it must be present.
  if (uiAvail < kCfgHeadLen + uiL) return kCfgShort;
  uint32_t uiBodySum = 0;
  const uint32_t uiWords = (uiL - 4) / 2;
  for (uint32_t i = 0; i < uiWords; ++i) uiBodySum += ReadU16(pubBlob + kCfgHeadLen + 2 * i);
  if (uiBodySum != ReadU32(pubBlob + 60 + uiL)) return kCfgBodySum;
  return kCfgOk;
}

void FirmwareConfigApply(const uint8_t* pubBlob) {
  memcpy(gstCfgHeadBakNcln, pubBlob, kCfgHeadLen);
  const bool boPartial = (pubBlob[kCfgFlagsPos] & kCfgFlagPartial) != 0;
  if (!boPartial) {
    for (const CfgMapEntry& e : gpstCfg) ClearRecord(e);
  }
  guiConfigId = ReadU32(pubBlob + kCfgIdPos);

  // Sections lie in bytes 64 .. 59+L; the walk never leaves them. A section whose header
  // or data would run past the body, or whose length cannot even hold its own two bytes,
  // ends the walk: the sections before it stay applied.
  const uint32_t uiEnd = 60u + ReadU16(pubBlob + kCfgBodyLenPos);
  const uint8_t ubCount = pubBlob[kCfgSectionCountPos];
  uint32_t uiPos = kCfgHeadLen;
  for (uint8_t n = 0; n < ubCount; ++n) {
    if (uiPos + 2 > uiEnd || pubBlob[uiPos] < 2 || uiPos + pubBlob[uiPos] > uiEnd) {
      FerxLogPrint("FirmwareConfigUpdate", FERX_LOG_ERR, "section %u of %u at byte %u does not fit the body (end %u), rest skipped",
            static_cast<unsigned>(n), static_cast<unsigned>(ubCount), uiPos, uiEnd);
      break;
    }
    const uint8_t ubLen = pubBlob[uiPos];
    const CfgMapEntry* pe = FindEntry(pubBlob[uiPos + 1]);
    if (pe != nullptr) {
      if (boPartial) ClearRecord(*pe);
      const uint32_t uiN = pe->ubSize < ubLen - 2u ? pe->ubSize : ubLen - 2u;
      if (pe->pvRecord != nullptr && uiN != 0) memcpy(pe->pvRecord, pubBlob + uiPos + 2, uiN);
    }
    uiPos += ubLen;
  }
  sboApplied = true;
}

void FirmwareConfigBindStore(const uint8_t* pubData, const uint32_t* puiLen) {
  spubStore = pubData;
  spuiStoreLen = puiLen;
}

void FirmwareConfigVersion(uint8_t aubVersion[4]) {
  if (spubStore == nullptr) {
    memset(aubVersion, 0, 4);
    return;
  }
  memcpy(aubVersion, spubStore + kCfgVersionPos, 4);
}

uint8_t FirmwareConfigInit() {
  uint8_t* pubArena = gstCommon.pubTempArena;
  CfgCheckResult r = kCfgShort;
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (!CopyStoreToArena(pubArena)) continue;
    if (attempt == 0 && (pubArena[kCfgHeadBytePos] != gstCfgHeadBakNcln[kCfgHeadBytePos] ||
                         ReadU16(pubArena + kCfgHeadSumPos) != ReadU16(gstCfgHeadBakNcln + kCfgHeadSumPos))) {
      gubDefaultFreqForMutualcap = 1;
    }
    r = FirmwareConfigCheck(pubArena, suiArenaBlobLen);
    if (r == kCfgOk) {
      FirmwareConfigApply(pubArena);
      return 0;
    }
  }
  FerxLogPrint("FirmwareConfigInit", FERX_LOG_ERR, "configuration refused (%s), records keep their values", CheckText(r));
  return 1;
}

void FirmwareConfigUpdate() {
  const uint8_t* pubArena = gstCommon.pubTempArena;
  if (pubArena == nullptr || FirmwareConfigCheck(pubArena, suiArenaBlobLen) != kCfgOk) return;
  FirmwareConfigApply(pubArena);
}

uint8_t FirmwareConfigCheckValid() {
  return FirmwareConfigCheck(gstCommon.pubTempArena, suiArenaBlobLen) == kCfgOk ? 1 : 0;
}

uint8_t FirmwareConfigHasApplied() { return sboApplied ? 1 : 0; }
