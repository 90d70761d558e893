#pragma once
// The calls the host operations make into the frame pipeline, the module commands and the
// report output, which those modules define under these names and signatures:
//   TsaReceiveModuleCmdData, TsaProcessModuleCmdData, CtrlState   (module commands)
//   TsaUpdateFrameData, GetCurNoiseIndex, SetReceiveRefFlag       (frame entry)
//   TsaUpdateDiffData, SetFpStaBak                                 (report output)
//   TsaInit, GetSuspendSta                                         (module API)
// Those the module API exports are declared exported here too, so that every declaration
// agrees on the symbol's visibility.
#include <cstdint>

#include "alg_module.h"
#include "vendor_export.h"

extern "C" {

// Pushes one 16-byte module command into the command FIFO (caller holds the command mutex).
uint32_t TsaReceiveModuleCmdData(const uint8_t* slot);
// Drains the command FIFO into the control state, oldest first.
uint32_t TsaProcessModuleCmdData(void);
// One module command: the slot's first and second 64-bit words.
uint32_t CtrlState(uint64_t command, uint64_t argument);
// Runs one decoded frame: 0 ran, 1 refused, 2 reference taken, 3 not run.
uint32_t TsaUpdateFrameData(DecodedFrame* frame);
// Fills up to 12 points and the four out-bytes; the point count, 255 for no report.
uint32_t TsaUpdateDiffData(uint64_t ignored0, uint64_t ignored1, AlgTouchPoint* points, uint8_t* fp_state,
                           uint8_t* fp_changed, uint8_t* large_state, uint8_t* large_changed);
// Hands every {type, length, bytes} item to the start-up information reader: 0, or 4 at
// the first item that fails.
VENDOR_EXPORT uint32_t TsaInit(uint8_t* items, uint32_t length);
VENDOR_EXPORT uint8_t GetSuspendSta(void);
VENDOR_EXPORT uint8_t GetCurNoiseIndex(void);
VENDOR_EXPORT void SetReceiveRefFlag(uint8_t value);
VENDOR_EXPORT void SetFpStaBak(uint8_t value);

}  // extern "C"

// Test control: where the host operations send these calls (defaults: the functions above).
struct TsaModuleLinks {
  uint32_t (*pfnReceiveModuleCmdData)(const uint8_t* slot);
  uint32_t (*pfnProcessModuleCmdData)(void);
  uint32_t (*pfnCtrlState)(uint64_t command, uint64_t argument);
  uint32_t (*pfnUpdateFrameData)(DecodedFrame* frame);
  uint32_t (*pfnUpdateDiffData)(uint64_t, uint64_t, AlgTouchPoint*, uint8_t*, uint8_t*, uint8_t*, uint8_t*);
  uint8_t (*pfnGetSuspendSta)(void);
};
extern const TsaModuleLinks kTsaModuleDefaultLinks;
extern TsaModuleLinks gstTsaModuleLinks;
