// The report packing reads the module's records through these sources; they are
// registered when the module is loaded.
#include <cstring>

#include "framework.h"
#include "module_wrappers.h"
#include "signal_proc.h"
#include "tsa_api.h"
#include "tsa_common.h"
#include "tsa_config.h"
#include "tsa_ctrl.h"
#include "tsa_custdbg.h"
#include "tsa_frame.h"
#include "tsa_frame_links.h"
#include "tsa_fwpkt.h"
#include "tsa_memory.h"
#include "tsa_pack.h"
#include "tsa_report.h"

namespace {

void FrameInputs(ReportFrameInputs* in) {
  const CommonRecord& c = gstCommon;
  in->ubDrvNum = gstPannelAlignCfg.ubDrvNum;
  in->ubSenNum = gstPannelAlignCfg.ubSenNum;
  in->boCharger = c.ubChargerFlag;
  in->boGameMode = c.ubGameModeFlag;
  in->ubCoordOption = c.ubCoordOption;
  in->boWater = c.ubWaterFlag;
  in->ubLowTempState = c.ubLowTempState;
  in->ubSelfOcHold = c.ubSelfOfsHold;
  memcpy(in->aboNoiseFlag, c.aubNoiseFlags, sizeof(in->aboNoiseFlag));
  in->ubDurationStateB = c.ubDurationB;
  in->ubNoiseType = c.ubNoiseType;
  in->uwNoiseTypeMask = c.uwNoiseTypeMask;
  in->uwImSmoothLevel = c.uwImSmoothLevel;
  in->ubTempFlags = c.ubTempFlags;
  in->uwScanPeriod = c.uwScanPeriod;
  in->uwDataReadyCnt = c.uwDataReadyCnt;
  in->ubLcdDenoiseResult = c.ubLcdDenoiseResult;
  in->boTick100ms = c.ubTick100ms;
  in->boPowerOnRefReady = c.ubPowerOnRefReady;
  in->boNormalizeFlag = gstNormalize.aubData[kNormEnabled];
  in->boNfNoiseByte0 = gstNfNoiseProc.aubData[0];
  in->boNfNoiseByte21 = gstNfNoiseProc.aubData[21];
  in->pubFreqHop = gstFreqHop.aubData;
  static_assert(sizeof(gstFreqHop.aubData) >= REPORT_FREQ_HOP_BYTES);
  in->uwMutualCfgBak[0] = gstMutualCfgBak.uwFreq;
  in->uwMutualCfgBak[1] = gstMutualCfgBak.uwFreqWord;
  in->ubFreqNum = gstFreqHopCfg.aubData[kFreqHopCfgFreqNumPos];
  in->pubFreqList = gstFreqHopCfg.aubData + kFreqHopCfgFreqPos;
  if (in->ubFreqNum > kFreqMaxNum) in->ubFreqNum = kFreqMaxNum;
  in->pubCmdTemperatureValue = reinterpret_cast<const uint8_t*>(gpsbCmdTemperatureValueNcln);
  in->ubLowTempPowerOn = gubLowTempPowerOn;
  in->ullProcTimeStampBak = gullProcTimeStampBak;
  in->pubFrameHeadInfoBak = gpubFrameHeadInfoBak;
  in->pubGlobalVarRcrd = gstGlobalVarRcrd;
  in->pubThpCmdBak = gpubThpCmdBak;
  in->uiThpCmdBakBytes = gpubThpCmdBak != nullptr ? kMemThpCmdBakBytes : 0;
  in->pubGridAndLineDataRcrd = gpuwGridAndLineDataRcrd;
  in->pswLastDiffDataRcrd = gpswLastDiffDataRcrd;
  in->puwMutualRefDataBak = gpuwMutualRefDataBak;
  in->uwMutualRefBakValid = gpuwMutualRefDataBak[kFerrantMaxNodes];
  in->puwSelfRefData = c.stData.puwSelfRefData;
  in->pubRefUpdateTypeBak = reinterpret_cast<const uint8_t*>(gpuwRefUpdateTypeBak);
  in->pubSelkoAlgoDebugInfo = reinterpret_cast<const uint8_t*>(&gstSelkoAlgoDebugInfo);
  in->pfnPackReportDebugInfo = [](uint8_t* block) { PackReportDebugInfo(block); };
  in->puwSelfRawData = c.stData.puwSelfRawData;
  in->puwRawData = c.stData.puwRawData;
  in->puwImData = gpuwRealImData;
  in->uiImDataBytes = gpuwRealImData != nullptr
                          ? static_cast<uint32_t>(in->ubFreqNum) * 2u *
                                (in->ubDrvNum > in->ubSenNum ? in->ubDrvNum : in->ubSenNum)
                          : 0;
}

void ReportInputs(ReportInfoInputs* in) {
  in->pubTamrelDebugState = gstTamrelDebugStateInfo;
  in->pubTamrelCoord = reinterpret_cast<const uint8_t*>(&gstTamrelCoord);
  in->ubThpAfeMoudleCfg = static_cast<uint8_t>(gstThpAfeMoudleCfg.uiAfeWord & 0xFFu);
  in->boCoordSameAsLast = gboCoordSameAsLast;
  in->ubCmdIdleEn = gubCmdIdleEn;
}

void WatchPointers(WatchDataPointers* p) {
  const CommonMapData& d = gstCommon.stData;
  p->pvDiffDataBake = gswDiffDataBake;
  p->pvRawData = d.puwRawData;
  p->pvRefData = d.puwRefData;
  p->pvSelfDiffData = d.pswSelfDiffData;
  p->pvSelfRawData = d.puwSelfRawData;
  p->pvSelfRefData = d.puwSelfRefData;
}

const ReportPackSources kSources = {FrameInputs, ReportInputs, PackReportFlashData, WatchPointers};

// Registered once when the module is loaded.
const bool gboSourcesBound = (TsaReportBindPackSources(), true);

}  // namespace

void TsaReportBindPackSources() {
  (void)gboSourcesBound;
  SetReportPackSources(&kSources);
}
