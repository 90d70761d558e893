#pragma once
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
