#pragma once
// Edges, gestures and coordinates of algorithm A: configuration records (filled from the
// configuration blob) and the stages they put into the app stage lists.
#include "tsa_config.h"

FERRANT_CFG_BYTES(GesTimeCtrlCfg, 32);     // section 40
FERRANT_CFG_BYTES(FingerPrintCfg, 22);     // section 41: the fingerprint area and its judgement (coord_fp.cpp)
FERRANT_CFG_BYTES(EdgeResCfg, 80);         // section 50
FERRANT_CFG_BYTES(GestureCfg, 30);         // section 51
FERRANT_CFG_BYTES(GameModeCfg, 10);        // section 52
FERRANT_CFG_BYTES(NewSpeedStretchCfg, 26); // section 56
FERRANT_CFG_BYTES(CoordOptmCfg, 26);       // section 97
FERRANT_CFG_BYTES(CoordSpecialCfg, 14);    // section 98
FERRANT_CFG_BYTES(CoordPairCfg, 46);       // section 100
FERRANT_CFG_BYTES(R4StretchCfg, 12);       // section 103
FERRANT_CFG_BYTES(FilterAdjustCfg, 8);     // section 104
FERRANT_CFG_BYTES(SpeedStretchCfg, 8);     // section 106
FERRANT_CFG_BYTES(EllipseCfg, 10);         // section 112

extern GesTimeCtrlCfg gstGesTimeCtrlCfg;
extern FingerPrintCfg gstFingerPrintCfg;
extern EdgeResCfg gstEdgeResCfg;
extern GestureCfg gstGestureCfg;
extern GameModeCfg gstGameModeCfg;
extern NewSpeedStretchCfg gstNewSpeedStretchCfg;
extern CoordOptmCfg gstCoordOptmCfg;
extern CoordSpecialCfg gstCoordSpecialCfg;
extern CoordPairCfg gstCoordPairCfg;
extern R4StretchCfg gstR4StretchCfg;
extern FilterAdjustCfg gstFilterAdjustCfg;
extern SpeedStretchCfg gstSpeedStretchCfg;
extern EllipseCfg gstEllipseCfg;

// Stages (no arguments, no result; they work on gstCommon and their own records).
void CoordPairEncapsulation();
void LowTempOptEncapsulation();
void CoordOptimizeEncapsulation();
void EdgeResFun();
void FirstCoordSmoothEncapsulation();
void JudgeFpTouch();
void GesturePreProcess();
void GestureProcAndNotifyHost();
void GestureEndProcess();

// Initialisation: the coordinate records and the pairing state (software initialisation),
// and the pairing scratch's claim on the shared temporary buffer (before it is allocated).
void CoordSoftwareInit();
void CoordPairSetTempSizeInit();
// Gesture records and the gesture mode switch (software initialisation, screen off).
void GestureInit();
// 1 while screen-off frames run the gesture app.
uint8_t GestureModeEnabled();
