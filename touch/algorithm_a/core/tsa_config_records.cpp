// Configuration records the core owns; zero until a configuration blob fills them.
#include "tsa_config.h"

TouchPannelCfg gstTouchPannelCfg;
ThpAfeMoudleCfg gstThpAfeMoudleCfg;
TimeCtrlCfg gstTimeCtrlCfg;
ScanRateCfg gstScanRateCfg;
EdgeRawAdjustCfg gstEdgeRawAdjustCfg;
DoubleBarrayCfg gstDoubleBarrayCfg;
PannelAlignCfg gstPannelAlignCfg;
CrsbCfg gstCrsbCfg;
