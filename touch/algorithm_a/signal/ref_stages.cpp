// Raw-data and reference update stages (bodies come with the reference update), and the
// setters by which other parts schedule a power-on rebuild or delay the next update.
#include "signal_proc.h"

// Power-on counter (counts frames up to 9) and update request code (doubles as the delay
// of the next mutual reference update) of the reference module.
uint8_t gubPowerOnRefCnt;
uint8_t gubRefUpdateReqCode;

void GetPanelPowerOnRef() {}   // build the power-on reference until it is ready
void RefSetUpRawDataProc() {}  // stop the frame until the reference is ready, then repair lines
void RefUpdateMutual() {}      // track the mutual reference against the raw map
void RefUpdateSelf() {}        // track the self (Tx/Rx) reference
void RefQuickUpdate() {}       // rebuild the reference quickly after abnormal frames
void DataDisconnect(uint16_t*) {}  // fill disconnected channels of a map from their neighbours

void SetPowerOnTimes(uint8_t ubTimes) { gubPowerOnRefCnt = ubTimes; }

void RebuildPowerOnRef(uint8_t ubTimes) { gubPowerOnRefCnt = ubTimes > 9 ? 0 : static_cast<uint8_t>(9 - ubTimes); }

uint8_t DelayToUpdateRef(uint8_t ubFrames) {
  gubRefUpdateReqCode = static_cast<uint8_t>(ubFrames + 13u);
  return ubFrames;
}
