#pragma once
// Stages of the core that stand in the app stage lists: the diff-data stages, the
// customer hook, noise coordinate smoothing and repeated-tap recognition, and the touch
// report. No arguments, no result; they work on gstCommon and their own records.

void GetDiff();
void DenoiseDiff();
void DiffDataStateAcquire();
void NoiseDiffDrvSmooth();
void ComplementDiff();
void LowTempCompensatePro();
void ResetDiffInfo();
void JudgeLowTempByTouchPkg();
void JudgeFpTouchState();
void LargeRegionCustom();
void NoiseCoordAddSmooth();
void JitaiModeRecongnise();
void ThpTouchReport();
