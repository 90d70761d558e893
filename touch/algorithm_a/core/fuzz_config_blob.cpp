// Fuzz entry point over the configuration blob: the check on the raw bytes, then the
// loader's path (stored area -> arena -> check -> bounded section walk).
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "tsa_common.h"
#include "tsa_config.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static uint8_t store[kCfgBlobMax];
  static uint8_t arena[kCfgBlobMax];
  static uint32_t storeLen;
  const uint32_t avail = size > kCfgBlobMax ? kCfgBlobMax : static_cast<uint32_t>(size);
  if (FirmwareConfigCheck(data, avail) == kCfgOk) FirmwareConfigApply(data);
  memset(store, 0, sizeof(store));
  memcpy(store, data, avail);
  storeLen = avail;
  FirmwareConfigBindStore(store, &storeLen);
  gstCommon.pubTempArena = arena;
  FirmwareConfigInit();
  FirmwareConfigBindStore(nullptr, nullptr);
  return 0;
}
