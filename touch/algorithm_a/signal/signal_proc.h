#pragma once

#include "vendor_export.h"
// Signal conditioning of algorithm A: its configuration records (filled from the
// configuration blob) and the stages it puts into the app stage lists. (Named apart from
// the system <signal.h>, which the include paths would otherwise shadow.)
#include "tsa_config.h"

FERRANT_CFG_BYTES(FreqHopCfg, 62);          // section 31: byte 1 frequency count
FERRANT_CFG_BYTES(NoiseProcessCfg, 20);     // section 33: byte 13 jitter bound, u16 element 13 threshold
FERRANT_CFG_BYTES(NoiseNfProcCfg, 18);      // section 34
FERRANT_CFG_BYTES(LcdHighNoiseCfg, 32);     // section 35
FERRANT_CFG_BYTES(NoiseDurationCfg, 6);     // section 36
FERRANT_CFG_BYTES(RawDataCorrectCfg, 12);   // section 43
FERRANT_CFG_BYTES(RawNormalizeCfg, 38);     // section 44
FERRANT_CFG_BYTES(ChannelDisCfg, 4);        // section 55: bit 0 line repair
FERRANT_CFG_BYTES(DenoiseCommonCfg, 130);   // section 91
FERRANT_CFG_BYTES(RefUpdateCfg, 10);        // section 92
FERRANT_CFG_BYTES(RefUpdateTRxCfg, 20);     // section 93
FERRANT_CFG_BYTES(SelfOfsCancelCfg, 116);   // section 101: byte 0 bit 0 run, bit 2 self data off
FERRANT_CFG_BYTES(SelfTxOfsCancelCfg, 108); // section 105
FERRANT_CFG_BYTES(RawdataDenoiseCfg, 4);    // section 107
FERRANT_CFG_BYTES(LowTempCfg, 40);          // section 108
FERRANT_CFG_BYTES(MutualHoverCfg, 16);      // section 113

inline constexpr uint8_t kFreqHopCfgFreqNumPos = 1;
inline constexpr uint8_t kSelfOfsCfgSelfOffBit = 0x04;

extern FreqHopCfg gstFreqHopCfg;
extern NoiseProcessCfg gstNoiseProcessCfg;
extern NoiseNfProcCfg gstNoiseNfProcCfg;
extern LcdHighNoiseCfg gstLcdHighNoiseCfg;
extern NoiseDurationCfg gstNoiseDurationCfg;
extern RawDataCorrectCfg gstRawDataCorrectCfg;
extern RawNormalizeCfg gstRawNormalizeCfg;
extern ChannelDisCfg gstChannelDisCfg;
extern DenoiseCommonCfg gstDenoiseCommonCfg;
extern RefUpdateCfg gstRefUpdateCfg;
extern RefUpdateTRxCfg gstRefUpdateTRxCfg;
extern SelfOfsCancelCfg gstSelfOfsCancelCfg;
extern SelfTxOfsCancelCfg gstSelfTxOfsCancelCfg;
extern RawdataDenoiseCfg gstRawdataDenoiseCfg;
extern LowTempCfg gstLowTempCfg;
extern MutualHoverCfg gstMutualHoverCfg;

// Stages (no arguments, no result; they work on gstCommon and their own records).
void ImDataProc();
void GetRxJitter();
void NoiseTypeDetectProc();
void NoiseDurationPostProcess();
void LcdHighNoiseProc();
void LcdHighNoiseHandle();
void FreqHoppingProc();
void FreqScan();
void NormalizeCheck();

// Raw-data preparation steps that the framework's data-ready procedure calls.
void MutualRawDataScale();
void MutualRawDataNormalize(uint8_t ubMode);
void DataDisconnect(uint16_t* puwRaw);
void GetPanelPowerOnRef();
void RefSetUpRawDataProc();
void RawdataDenoise();
void RawDataIirFilter();
void RefUpdateMutual();
void RefUpdateSelf();
void RefQuickUpdate();

// ---- Signal-conditioning state and procedures -------------------------------------------
#include "signal_records.h"
#include "tsa_frame_links.h"

extern NormalizeOutputRec gstNormalizeOutput;
extern NormalizeOutputRec* gstRawdataOutput;
extern ImGlobalRec gstImGlobal;
extern NoiseXdataRec gstNoiseXdata;
extern DurationXdataRec gstDurationXdata;
extern LcdHighNoiseRec gstLcdHighNoise;
extern NoiseRxShakeRec gstNoiseRxShake;
extern LightModeRec gstLightModeNcln;
extern HopResultRec gstHopResultNcln;
extern HopResultBakRec gstHopResultBak;
extern uint16_t gpuwNoiseList[kShakeRxListLen];
extern uint32_t guiNfPowerOnCheckNcln;
extern uint8_t gubHopFlag;
extern uint8_t gubDefaultFreqForMutual;
extern uint8_t gubHopDebug[4];
// Time-control flag of the normalisation check: bit 4 set while the k/b state needs
// watching (a check state other than stable, a B error or no valid B).
extern uint8_t gubNormTimeCtrl;
inline constexpr uint8_t kNormTimeCtrlBit4 = 0x10;
extern uint8_t gubNeedStudyByUidMismatch;
extern uint8_t gubNormReleaseHold;
extern uint8_t gubConsisChangeAfterFreqHop;
extern int16_t gswNormalizeRefDiffMax;
extern uint32_t guiNormLastCalibTime;
extern uint8_t* gppstScanFreqTemp;

// Normalisation.
uint32_t GetFlashKAddr();
uint8_t GetFreqKb(uint8_t ubIndex, uint16_t* puwOut, uint8_t ubMode);
void ThpGetCurFreqKArray(uint8_t ubIndex);
void CheckNormalizeKArray();
uint8_t JudgeBarrayValid();
void NormalizeSetTempSizeInit();
void NormalizeInit();
void SelfRawDataScale();
void GetBarrayMaxDiffIndex(uint8_t ubIndex);
void GetDoubleBarrayMaxDiffIndex();
uint8_t IsBarrayNormalizeOk();
void NormalizeStateCheck();
void SavebArrayToFlash(uint8_t (*paubTrailer)[kKbTrailerBytes], uint16_t* const* ppuwData);
void SavekValueToFlash();
void SetFreqScanCntDbgData();
void SetBStateDbgData();
void SaveNormalizeDbgInfoToFlash();
void CheckScanFreqConfig();

// Frequency hopping.
uint8_t GetCurFreqIndex(uint16_t uwFreq);
uint8_t GetCurrentSegmentMul();
void NoiseDetectRestart();
void FreqHoppingSetTempSizeInit();
void FreqHopInit();

// Noise detection.
void ImDataProcInit();
void NoiseProcInit();
uint8_t WhiteNoiseJudge();
uint8_t NFnoiseJudge();
void NoiseDurationProcInit();
// The noise-duration logic may take a special mode: the current frequency is in the
// configured set and the AFE module allows it.
bool NoiseDurationAllowed();
void SetDurationCmd(uint8_t ubRequest, uint8_t ubParam);
void ChangeDurationJudge(uint8_t ubKind);
void ExitDurationProc(uint8_t ubKind);
void ChangeDurationCom(uint8_t ubOn);
void IsHighFreqLast();
uint8_t IsFreqLowNoise();
void RxJitterInfoInit();
void NoiseNfProcInit();
VENDOR_EXPORT void GetTopTwoRx(uint8_t* pubLines, uint16_t* puwLevels, uint8_t ubCount);
void GetRxJitterInfo(uint8_t* pubLines, uint16_t* puwLevels, uint8_t ubBound, uint8_t ubLines);
void JitterTestInit();
void LcdHighNoiseSetTempSizeInit();
void LcdHighNoiseInit();
uint8_t IsRealBigNoise(uint8_t a, uint8_t b, uint8_t c);
uint8_t IsDiffMaxBeforeNeedHandle(int16_t swBound);
uint8_t LcdAddShakeCount();

// Frequency scan.
extern uint16_t* gpuiSreecnFreqAddr[kMaxHopFreq];
void FreqScanInit();
void FreqScanProc();

// Raw-data filters.
struct RawdataIirRec {
  uint8_t ubSelfPrimed;
  uint8_t ubMutualPrimed;
};
extern RawdataIirRec gstRawdataIir;
// What the raw-data filters work on, built by their wrappers from the common frame record.
// Each wrapper sets only what its filter reads; the rest stays 0.
struct RawFilterInput {
  uint16_t* puwRaw;           // mutual raw map, row-major; the Gaussian smooths it in place
  uint16_t* puwRawFiltered;   // mutual IIR output, kept from frame to frame (raw-for-diff map)
  uint16_t* puwSelfRaw;       // self raw: a row segment, then a column segment
  uint16_t* puwSelfFiltered;  // self IIR output, kept from frame to frame
  uint8_t* pubScratch;        // scratch arena, at least a node map of u16
  uint16_t uwNodeNum;         // rows x cols
  uint16_t uwSelfNum;         // rows + cols
  uint8_t ubRows;
  uint8_t ubCols;
  uint8_t ubRefValid;         // the power-on reference exists
  uint8_t ubNfNoise;          // NF noise result of the frame
  uint8_t ubTouchNum;
};
void RawDataIirInit();
void MutualRawDataIirFilter(const RawFilterInput* pstIn);
void SelfRawDataIirFilter(const RawFilterInput* pstIn);
void MutualRawDataGaussianFilter(const RawFilterInput* pstIn);
void SelfRawDataGaussianFilter(const RawFilterInput* pstIn);

// Power-on reference and update delays.
uint8_t DelayToUpdateRef(uint8_t ubFrames);
#include "ref_update.h"

// Diff-data statistics used by normalisation.
void GetMutualDiffMaxMinAfterSito();

// Customer hooks that signal conditioning calls.
void NoiseRawdataProCustom();
void UpdateBArrayStudyTimes();
void LcdHighNoiseJudgeCustom(uint8_t a, uint8_t b, uint8_t c);
void ExitNfModeJudgeCustom();

// Software initialisation steps: the records cleared with the common variables, the
// buffers and normalisation state after the arena layout, and the per-module states.
void SignalSoftwareInitRecords();
void SignalSoftwareInitBuffers();
void SignalSoftwareInitStates();
