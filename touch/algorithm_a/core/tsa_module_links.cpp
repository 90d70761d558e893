#include "tsa_module_links.h"

#include "tsa_replay.h"

// Defaults until the owning modules are linked in: nothing happens, nothing is reported.
extern "C" {
__attribute__((weak)) uint32_t TsaReceiveModuleCmdData(const uint8_t*) { return 0; }
__attribute__((weak)) uint32_t TsaProcessModuleCmdData(void) { return 0; }
__attribute__((weak)) uint32_t CtrlState(uint64_t, uint64_t) { return 0; }
__attribute__((weak)) uint32_t TsaUpdateFrameData(DecodedFrame*) { return 0; }
__attribute__((weak)) uint32_t TsaUpdateDiffData(uint64_t, uint64_t, AlgTouchPoint*, uint8_t*, uint8_t*, uint8_t*,
                                                 uint8_t*) {
  return 0;
}
// The start-up walk is the module API's; until it is linked the same walk runs here so that
// start-up still applies the configuration.
__attribute__((weak)) uint32_t TsaInit(uint8_t* items, uint32_t length) {
  return ThpReplayUnpack(items, length, ReplayUnpackInitInfo) == REPLAY_UNPACK_OK ? 0 : 4;
}
__attribute__((weak)) uint8_t GetSuspendSta(void) { return 0; }
__attribute__((weak)) uint8_t GetCurNoiseIndex(void) { return 0; }
__attribute__((weak)) void SetReceiveRefFlag(uint8_t) {}
__attribute__((weak)) void SetFpStaBak(uint8_t) {}
}

const TsaModuleLinks kTsaModuleDefaultLinks = {TsaReceiveModuleCmdData, TsaProcessModuleCmdData, CtrlState,
                                               TsaUpdateFrameData,      TsaUpdateDiffData,       GetSuspendSta};
TsaModuleLinks gstTsaModuleLinks = kTsaModuleDefaultLinks;
