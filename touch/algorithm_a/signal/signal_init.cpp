// The software initialisation steps of signal conditioning and the diff-data stages, in
// the order the framework's start-up runs them.
#include <cstring>

#include "customer_hooks.h"
#include "diff_stages.h"
#include "module_wrappers.h"
#include "signal_proc.h"
#include "tsa_frame.h"

void SignalSoftwareInitRecords() {
  memset(&gstKBBakSta, 0, sizeof(gstKBBakSta));
  memset(&gstNormCheckInfo, 0, sizeof(gstNormCheckInfo));
  memset(gpuiTamrelNewPointX, 0, sizeof(gpuiTamrelNewPointX));
  memset(gpuiTamrelNewPointY, 0, sizeof(gpuiTamrelNewPointY));
  RefDataCommonInit();
}

void SignalSoftwareInitBuffers() {
  RawDataCommonInit();
  FreqScanInit();
  NormalizeInit();
  RawDataIirInit();
  CheckNormalizeKArray();
  GetNewFreqInfo();
  DiffdataInit();
  if (gstNormalize.st.ubDoubleBValid == 1) GetBarrayMaxDiffIndex(0);
  RefUpdateInit(static_cast<uint16_t>(gstCommon.swTouchThreshold));
  RefUpdateTRxInitWrapper();
  QuickRefUpInitWrapper();
}

void SignalSoftwareInitStates() {
  FreqHopInit();
  NoiseProcInit();
  LcdHighNoiseInit();
  ImDataProcInit();
  NoiseDurationProcInit();
  DisConnectInit();
  memset(&gstNfExit, 0, sizeof(gstNfExit));
}
