// Noise coordinate smoothing and repeated-tap stages (bodies come with that module).
#include "core_stages.h"

void NoiseCoordAddSmooth() {}  // extra coordinate smoothing under noise
void JitaiModeRecongnise() {}  // recognise repeated taps on one spot
