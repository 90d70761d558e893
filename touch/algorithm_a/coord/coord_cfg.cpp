// Edge, gesture and coordinate configuration records; zero until a blob fills them.
#include "coord.h"

GesTimeCtrlCfg gstGesTimeCtrlCfg;
FingerPrintCfg gstFingerPrintCfg;
EdgeResCfg gstEdgeResCfg;
GestureCfg gstGestureCfg;
GameModeCfg gstGameModeCfg;
NewSpeedStretchCfg gstNewSpeedStretchCfg;
CoordOptmCfg gstCoordOptmCfg;
CoordSpecialCfg gstCoordSpecialCfg;
CoordPairCfg gstCoordPairCfg;
R4StretchCfg gstR4StretchCfg;
FilterAdjustCfg gstFilterAdjustCfg;
SpeedStretchCfg gstSpeedStretchCfg;
EllipseCfg gstEllipseCfg;
