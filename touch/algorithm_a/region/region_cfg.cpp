// Region detection configuration records; zero until a configuration blob fills them.
#include "region.h"

TestModeCtrCfg gstTestModeCtrCfg;
ResultBeautyCfg gstResultBeautyCfg;
CoordTranCfg gstCoordTranCfg;
SelfCapProcCfg gstSelfCapProcCfg;
DynamicLevelCfg gstDynamicLevelCfg;
CoordNoiseProcCfg gstCoordNoiseProcCfg;
LongThumbCfg gstLongThumbCfg;
SelfRegionCfg gstSelfRegionCfg;
LargeTouchCfg gstLargeTouchCfg;
ConstWaterCfg gstConstWaterCfg;
FloatSelfCfg gstFloatSelfCfg;
CompleteHoleCfg gstCompleteHoleCfg;
