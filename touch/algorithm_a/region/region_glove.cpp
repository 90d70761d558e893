// Glove touch confirmation and the dynamic touch level of the frame.
#include "diff_stages.h"
#include "region.h"
#include "region_proc.h"
#include "tsa_config.h"

SensitiveCmd gstSensitiveCmd;
uint8_t gstDynamicLevel;

namespace {
constexpr uint32_t kGloveCfgBit = 1u << 28;  // byte 3, bit 4 of the AFE word
}

void GloveTouchDetect() {
  if ((gstThpAfeMoudleCfg.uiAfeWord & kGloveCfgBit) == 0) return;
  MutualRegionSet& m = gstMutualRegion;
  const uint8_t ubCount = m.ubRegionNum > kRegionMax ? kRegionMax : m.ubRegionNum;
  bool boEvidence = false;
  if (ubCount == 0) {
    if ((gubGloveSat & 1u) == 0) gunGloveRect = kRegionRectNone;
  } else if (gubTouchMode == 1) {
    const RegionGrid g{gstCommon.stData.pswDiffData, gstCommon.ubDrvNum, gstCommon.ubSenNum};
    for (uint8_t i = 0; i < ubCount; ++i) {
      const uint16_t k = m.auwPeak[i];
      const RegionRect r = RegionRectClip(m.astRect[i], g.ubRows, g.ubCols);
      const uint32_t h = static_cast<uint32_t>(r.ubRowEnd - r.ubRowStart + 1);
      const uint32_t w = static_cast<uint32_t>(r.ubColEnd - r.ubColStart + 1);
      if (k == 0 || h * w < 4) continue;
      if ((gubGloveSat & 1u) == 0 && (h < 2 || w < 2 || m.auwWaterValue[i] < 4)) continue;
      uint32_t n = 0;
      for (int32_t rr = r.ubRowStart; rr <= r.ubRowEnd; ++rr)
        for (int32_t cc = r.ubColStart; cc <= r.ubColEnd; ++cc) n += g.At(rr, cc) > (k >> 1) ? 1u : 0u;
      if (n < 4) continue;
      boEvidence = true;
      if ((gubGloveSat & 3u) == 3u) m.auwPeak[i] = static_cast<uint16_t>(k + 70 > 0xFFFF ? 0xFFFF : k + 70);
    }
    if (ubCount == 1 && boEvidence) {
      if (gunGloveRect == kRegionRectNone) {
        gunGloveRect = RegionRectWord(m.astRect[0]);
      } else {
        const RegionRect a = RegionRectFromWord(gunGloveRect);
        const RegionRect b = m.astRect[0];
        const int32_t dr = static_cast<int32_t>(((a.ubRowStart + a.ubRowEnd) / 2) & 0x7F) -
                           static_cast<int32_t>(((b.ubRowStart + b.ubRowEnd) / 2) & 0x7F);
        const int32_t dc = static_cast<int32_t>(((a.ubColStart + a.ubColEnd) / 2) & 0x7F) -
                           static_cast<int32_t>(((b.ubColStart + b.ubColEnd) / 2) & 0x7F);
        if (dr >= 6 || dr <= -6 || dc >= 6 || dc <= -6) gubGloveSat |= 1u;
      }
    }
  }
  if (boEvidence) {
    gubGloveSat |= 2u;
    if (gubGloveShakeCnt <= 9) ++gubGloveShakeCnt;
    return;
  }
  if (gubGloveShakeCnt != 0) --gubGloveShakeCnt;
  if (gubGloveShakeCnt == 0) gubGloveSat = static_cast<uint8_t>(gubGloveSat & ~2u);
}

void DynamicLevelInit() {
  gstDynamicLevel = gstDynamicLevelCfg.aubData[0];
  // The commanded levels start as the panel's own: the touch level and second level that
  // the common record holds after its initialisation.
  gstSensitiveCmd.uwCmdTouch = gstCommon.uwMaskThreshold;
  gstSensitiveCmd.uwCmdSecond = gstCommon.uwThreshold2;
}

void DynamicLevelProc() {
  SensitiveCmd& s = gstSensitiveCmd;
  const uint16_t c1 = s.uwCmdTouch;
  const uint16_t c2 = s.uwCmdSecond;
  s.uwCurTouch = c1;
  s.uwCurSecond = c2;
  // The touch level in force is the common record's mask threshold: the level region
  // acquisition searches with, which a weak-touch frame lowers to 45 and this stage
  // restores.
  uint16_t uwTouch = gstCommon.uwMaskThreshold;  // a copy: the common record is packed
  if (c1 != 0) uwTouch = c1;
  if (c2 != 0) gstCommon.uwSecondThreshold = c2;
  if (gstDynamicLevel == 0) {
    gstCommon.uwMaskThreshold = uwTouch;
    return;
  }
  const int32_t M = gstCommon.swDiffMax;
  if (gstRegionRoles.ubLevelBoost != 0 && M > static_cast<int16_t>(c1)) {
    const int32_t d = M - static_cast<int16_t>(c1);
    const int32_t gain = gstCommon.ubChargerFlag != 0 ? gstDynamicLevelCfg.aubData[1] : gstDynamicLevelCfg.aubData[2];
    uwTouch = static_cast<uint16_t>(c1 + ((gain * d) >> 5));
    gstCommon.uwSecondThreshold =
        gstRegionRoles.ubHighSignal != 0 ? c2 : static_cast<uint16_t>(c2 + ((gain * (6 * d / 10)) >> 5));
  }
  if (gstRegionRoles.ubEsdHold != 0 && static_cast<uint16_t>(c1 + 20) != 0) {
    uwTouch = static_cast<uint16_t>(c1 + 20);
  }
  const uint16_t uwCfg = ConfigTouchLevel();
  if (c1 < uwCfg) uwTouch = uwCfg;
  gstCommon.uwMaskThreshold = uwTouch;
}
