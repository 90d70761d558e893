// Noise and IM stages of the finger and high-rate lists (bodies come with noise detection).
#include "signal_proc.h"

void ImDataProc() {}                // combine the frame's IM rows into the current and smoothed IM levels
void GetRxJitter() {}               // search the sense lines for Rx jitter into the shaking-Rx list
void NoiseTypeDetectProc() {}       // classify the frame's noise type and rebuild the noise flags
void NoiseDurationPostProcess() {}  // keep the noise-duration states A and B
void LcdHighNoiseProc() {}          // detect LCD high noise and set the LCD noise hold state
void LcdHighNoiseHandle() {}        // handle a frame under LCD high noise and count it
