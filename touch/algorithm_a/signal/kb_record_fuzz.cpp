// Fuzz entry point: the flash k/b record check and the array load behind it, on a mirror
// filled from the input. Input: drive count, sense count, frequency count, frequency
// index, u16 record length, area selector, then the mirror bytes from its start.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "signal_proc.h"
#include "tsa_api.h"
#include "tsa_kbflash.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static uint8_t aubArena[2 * 5824 + 64];
  static uint16_t auwOut[kFerrantMaxNodes];
  if (size < 7) return 0;
  memset(&gstCommon, 0, sizeof(gstCommon));
  gstCommon.ubDrvNum = data[0];
  gstCommon.ubSenNum = data[1];
  gstCommon.pubTempArena = aubArena;
  memset(&gstFreqHopCfg, 0, sizeof(gstFreqHopCfg));
  gstFreqHopCfg.aubData[1] = data[2];
  for (uint32_t i = 0; i < 8; ++i) {
    const uint16_t uwFreq = static_cast<uint16_t>(1000 + 100 * i);
    memcpy(&gstFreqHopCfg.aubData[2 + 2 * i], &uwFreq, 2);
    gstFreqHopCfg.aubData[34 + i] = 0x21;
    gstFreqHopCfg.aubData[42 + 2 * i] = static_cast<uint8_t>(100 + i);
  }
  uint16_t uwLen;
  memcpy(&uwLen, data + 4, 2);
  static constexpr uint8_t kModes[4] = {kKbModeArea1, kKbModeArea2, kKbModeKArea, 5};
  const uint8_t ubMode = kModes[data[6] & 3u];
  memset(gpubTamrelFlash, 0, kTamrelFlashBytes);
  const size_t uiMirror = size - 7 < kTamrelFlashBytes ? size - 7 : kTamrelFlashBytes;
  memcpy(gpubTamrelFlash, data + 7, uiMirror);
  const uint32_t uiBase = ubMode == kKbModeKArea ? kFlashKAddr : kTamrelFlashBase;
  JudgeArrayValidOneFreq(data[3], uwLen, uiBase, ubMode);
  gstNormalize.st.uwRecordLen = uwLen;
  GetFreqKb(data[3], auwOut, ubMode);
  return 0;
}
