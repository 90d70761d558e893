#pragma once
// Noise phase lists (cosine, then sine) of frequencies 0 to 4, one s16 per sense line.
#include <cstdint>

inline constexpr uint32_t kPhaseListLen = 56;
inline constexpr uint32_t kPhaseListCount = 10;

extern int16_t gpswNoiseCOSBListFrq0[kPhaseListLen];
extern int16_t gpswNoiseSINBListFrq0[kPhaseListLen];

// Writes the ten list addresses into ppswOut[0..9]: cosine lists 0-4, then sine lists 0-4.
void TpcGetPhasePara(int16_t** ppswOut);
