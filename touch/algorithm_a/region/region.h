#pragma once
// Region detection of algorithm A: its configuration records (filled from the
// configuration blob) and the stages it puts into the app stage lists.
#include "tsa_config.h"

FERRANT_CFG_BYTES(TestModeCtrCfg, 6);      // section 42
FERRANT_CFG_BYTES(ResultBeautyCfg, 12);    // section 45
FERRANT_CFG_BYTES(CoordTranCfg, 10);       // section 46: byte 0 bits 0-2 swap and reversals
FERRANT_CFG_BYTES(SelfCapProcCfg, 20);     // section 47
FERRANT_CFG_BYTES(DynamicLevelCfg, 6);     // section 48
FERRANT_CFG_BYTES(CoordNoiseProcCfg, 8);   // section 49
FERRANT_CFG_BYTES(LongThumbCfg, 12);       // section 53
FERRANT_CFG_BYTES(SelfRegionCfg, 6);       // section 94
FERRANT_CFG_BYTES(LargeTouchCfg, 26);      // section 95
FERRANT_CFG_BYTES(ConstWaterCfg, 38);      // section 96: byte 0 bit 0 water detection
FERRANT_CFG_BYTES(FloatSelfCfg, 22);       // section 102
FERRANT_CFG_BYTES(CompleteHoleCfg, 6);     // section 144

extern TestModeCtrCfg gstTestModeCtrCfg;
extern ResultBeautyCfg gstResultBeautyCfg;
extern CoordTranCfg gstCoordTranCfg;
extern SelfCapProcCfg gstSelfCapProcCfg;
extern DynamicLevelCfg gstDynamicLevelCfg;
extern CoordNoiseProcCfg gstCoordNoiseProcCfg;
extern LongThumbCfg gstLongThumbCfg;
extern SelfRegionCfg gstSelfRegionCfg;
extern LargeTouchCfg gstLargeTouchCfg;
extern ConstWaterCfg gstConstWaterCfg;
extern FloatSelfCfg gstFloatSelfCfg;
extern CompleteHoleCfg gstCompleteHoleCfg;

// Stages (no arguments, no result; they work on gstCommon and their own records).
void ResultCommonProc();
void RawDataConsisOptmProc();
void DynamicLevelProc();
void RegionAcquireProcPkg();
void JudgeEsdFastMove();
void CalcSumDiffShadow();
void RegionFloatPreJudgeProc();
void RegionWaterProcPkg();
void IronCoverProc();
void RegFilterBySelfCap();
void LongBigThumbProc();
void RegionStateAcquire();
void RegionLargeAreaProcPkg();
void AppCoordTransformBeforeEdgeRes();
void CoordStateAcquire();
void AppCoordTransform();

// Region part of the software initialisation (first and repeated): the region records,
// the default leave level as the region threshold, the acquisition state, the large-area
// thresholds.
void RegionSoftwareInit();
// Software-initialisation part of the result-side stages (raw-data consistency, iron-cover
// and self-filter states, the result-common record); runs after the coordinate part.
void ResultSoftwareInit();
