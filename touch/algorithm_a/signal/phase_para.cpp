// Noise phase lists of the first five frequencies: per sense line the cosine and sine
// terms of the noise phase, which the controller tools fill and read through
// TpcGetPhasePara.
#include "phase_para.h"

int16_t gpswNoiseCOSBListFrq0[kPhaseListLen];
int16_t gpswNoiseCOSBListFrq1[kPhaseListLen];
int16_t gpswNoiseCOSBListFrq2[kPhaseListLen];
int16_t gpswNoiseCOSBListFrq3[kPhaseListLen];
int16_t gpswNoiseCOSBListFrq4[kPhaseListLen];
int16_t gpswNoiseSINBListFrq0[kPhaseListLen];
int16_t gpswNoiseSINBListFrq1[kPhaseListLen];
int16_t gpswNoiseSINBListFrq2[kPhaseListLen];
int16_t gpswNoiseSINBListFrq3[kPhaseListLen];
int16_t gpswNoiseSINBListFrq4[kPhaseListLen];

void TpcGetPhasePara(int16_t** ppswOut) {
  if (ppswOut == nullptr) return;
  int16_t* const apswLists[kPhaseListCount] = {
      gpswNoiseCOSBListFrq0, gpswNoiseCOSBListFrq1, gpswNoiseCOSBListFrq2, gpswNoiseCOSBListFrq3,
      gpswNoiseCOSBListFrq4, gpswNoiseSINBListFrq0, gpswNoiseSINBListFrq1, gpswNoiseSINBListFrq2,
      gpswNoiseSINBListFrq3, gpswNoiseSINBListFrq4};
  for (uint32_t i = 0; i < kPhaseListCount; ++i) ppswOut[i] = apswLists[i];
}
