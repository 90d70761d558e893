// Signal conditioning configuration records; zero until a configuration blob fills them.
#include "signal_proc.h"

FreqHopCfg gstFreqHopCfg;
NoiseProcessCfg gstNoiseProcessCfg;
NoiseNfProcCfg gstNoiseNfProcCfg;
LcdHighNoiseCfg gstLcdHighNoiseCfg;
NoiseDurationCfg gstNoiseDurationCfg;
RawDataCorrectCfg gstRawDataCorrectCfg;
RawNormalizeCfg gstRawNormalizeCfg;
ChannelDisCfg gstChannelDisCfg;
DenoiseCommonCfg gstDenoiseCommonCfg;
RefUpdateCfg gstRefUpdateCfg;
RefUpdateTRxCfg gstRefUpdateTRxCfg;
SelfOfsCancelCfg gstSelfOfsCancelCfg;
SelfTxOfsCancelCfg gstSelfTxOfsCancelCfg;
RawdataDenoiseCfg gstRawdataDenoiseCfg;
LowTempCfg gstLowTempCfg;
MutualHoverCfg gstMutualHoverCfg;
