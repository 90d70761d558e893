// Diff-data stages of the app lists (bodies come with the diff-data module).
#include "core_stages.h"

void GetDiff() {}                 // form the mutual and self diff maps
void DenoiseDiff() {}             // LCD denoise and offset cancel of the diff, have-touch rule
void DiffDataStateAcquire() {}    // mirror the diff statistics into gstCommon
void NoiseDiffDrvSmooth() {}      // 1-2-1 smoothing down each column under white noise
void ComplementDiff() {}          // hole complement and corner averaging
void LowTempCompensatePro() {}    // low-temperature rectangle compensation
void ResetDiffInfo() {}           // recompute the diff statistics after later changes
void JudgeLowTempByTouchPkg() {}  // judge low temperature from the touch
void JudgeFpTouchState() {}       // fingerprint-area coverage
