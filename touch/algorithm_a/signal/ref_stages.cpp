// Raw-data and reference update stages (bodies come with the reference update).
#include "signal_proc.h"

void GetPanelPowerOnRef() {}   // build the power-on reference until it is ready
void RefSetUpRawDataProc() {}  // stop the frame until the reference is ready, then repair lines
void RawdataDenoise() {}       // run the mutual and self IIR and Gaussian raw filters
void RawDataIirFilter() {}     // run the mutual raw IIR filter only
void RefUpdateMutual() {}      // track the mutual reference against the raw map
void RefUpdateSelf() {}        // track the self (Tx/Rx) reference
void RefQuickUpdate() {}       // rebuild the reference quickly after abnormal frames
void DataDisconnect(uint16_t*) {}  // fill disconnected channels of a map from their neighbours
