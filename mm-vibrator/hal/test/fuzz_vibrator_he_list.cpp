// Fuzz entry point: any bytes, read as little-endian 32-bit words, as an HE list from a
// client of IVibratorExt, through every form the service builds from it.
#include <cstdint>
#include <cstring>
#include <vector>

#include "HeEffect.h"

namespace he = aidl::android::hardware::vibrator::he;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<int32_t> list(size / sizeof(int32_t));
  if (!list.empty()) memcpy(list.data(), data, list.size() * sizeof(int32_t));

  std::vector<std::vector<int32_t>> packets;
  he::repackThrumwave(list, &packets);

  he::GeneratorList parsed;
  if (he::parseGeneratorList(list, &parsed) == he::ParseResult::kOk) {
    std::vector<int32_t> records;
    if (he::buildHedRecords(parsed.events, &records) && records.size() != parsed.events.size() * he::kRecordWords)
      __builtin_trap();
    std::vector<int32_t> types;
    std::vector<int32_t> numbers;
    if (he::buildTwoArray(parsed.events, &types, &numbers) && types.size() != parsed.events.size())
      __builtin_trap();
  }
  return 0;
}
