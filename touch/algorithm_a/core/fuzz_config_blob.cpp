// Fuzz entry point over the configuration blob: the check on the raw bytes, then the
// loader's path (stored area -> arena -> check -> bounded section walk).
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "checksum_mutator.h"
#include "fuzz_fixups.h"
#include "tsa_common.h"
#include "tsa_config.h"

namespace entry {
inline void fix(uint8_t* data, size_t size, unsigned) { ferrant_fuzz::fix_config_blob(data, size); }
}  // namespace entry

VENDOR_FUZZ_CHECKSUM_MUTATOR(entry::fix);

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
