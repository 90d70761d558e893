#pragma once
// Test-side encoders for the module interface tests, written from the block layouts:
//  - the controller information block: u16 length (whole block with checksum), fixed
//    fields to byte 31, five counted u16 lists (u8 count first), a 187-byte tail, u16 byte
//    sum of everything before it;
//  - the configuration file: 4609 bytes, the configuration blob from byte 1, the
//    information block from byte 4097.
// Plus a host log capture for the "[ferx]: " path.
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "alg_module.h"
#include "cfg_blob_builder_test.h"

namespace fxtest {

using Bytes = std::vector<uint8_t>;

// A copy of a (possibly packed) field, for the assertion macros that bind references.
template <class T>
T V(T v) {
  return v;
}

inline void Put16(Bytes& b, size_t at, uint16_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
inline void Put32(Bytes& b, size_t at, uint32_t v) {
  Put16(b, at, static_cast<uint16_t>(v));
  Put16(b, at + 2, static_cast<uint16_t>(v >> 16));
}

struct IcInfoDesc {
  uint8_t drv = 16;
  uint8_t sen = 30;
  uint8_t button = 2;
  uint8_t force = 0;
  uint32_t configId = 0x00A1B2C3;
  uint16_t freqhop = 0x0102, calibration = 0x0304, gesture = 0x0506, stylusFeature = 0x0708;
  std::vector<uint16_t> lists[5] = {{60, 120}, {100, 200, 300}, {110}, {120, 130}, {}};
  int countOverride[5] = {-1, -1, -1, -1, -1};  // count byte to write instead of the list size
  uint16_t maxX = 1080, maxY = 2400;
  uint16_t dataType = 64;
  uint32_t cmdAddr = 0x20001000;
};

// Tail offsets (from the tail's first byte).
inline constexpr size_t kTailMaxX = 52;
inline constexpr size_t kTailMaxY = 54;
inline constexpr size_t kTailDataType = 185;
inline constexpr size_t kTailBytes = 187;

inline Bytes BuildIcInfoBlock(const IcInfoDesc& s) {
  Bytes b(32, 0);
  b[2] = 0x11;  // info customer id
  b[3] = 0x22;  // info version id
  b[4] = 0x33;  // die id
  b[5] = 0x44;  // ic version id
  Put32(b, 6, s.configId);
  b[10] = 0x05;  // config version
  Put16(b, 18, s.freqhop);
  Put16(b, 20, s.calibration);
  Put16(b, 22, s.gesture);
  Put16(b, 24, 0x0A0B);
  Put16(b, 26, s.stylusFeature);
  b[28] = s.drv;
  b[29] = s.sen;
  b[30] = s.button;
  b[31] = s.force;
  for (int i = 0; i < 5; ++i) {
    b.push_back(static_cast<uint8_t>(s.countOverride[i] >= 0 ? s.countOverride[i] : static_cast<int>(s.lists[i].size())));
    for (uint16_t v : s.lists[i]) {
      b.push_back(static_cast<uint8_t>(v));
      b.push_back(static_cast<uint8_t>(v >> 8));
    }
  }
  Bytes tail(kTailBytes, 0);
  for (size_t i = 0; i < kTailBytes; ++i) tail[i] = static_cast<uint8_t>(0x40 + i);
  Put32(tail, 0, s.cmdAddr);
  Put16(tail, kTailMaxX, s.maxX);
  Put16(tail, kTailMaxY, s.maxY);
  Put16(tail, kTailDataType, s.dataType);
  b.insert(b.end(), tail.begin(), tail.end());
  Put16(b, 0, static_cast<uint16_t>(b.size() + 2));
  uint16_t sum = 0;
  for (uint8_t v : b) sum = static_cast<uint16_t>(sum + v);
  b.push_back(static_cast<uint8_t>(sum));
  b.push_back(static_cast<uint8_t>(sum >> 8));
  return b;
}

// A configuration blob the framework accepts: the time control section with the idle
// periods the tests look for.
inline Bytes GoodConfigBlob(uint16_t idleDoze = 0, uint16_t idleLimit = 0, uint16_t highSpeedIdle = 0,
                            uint16_t highSpeedDoze = 0) {
  cfgtest::Bytes time(32, 0);
  time[1] = 2;
  cfgtest::PutU16(time, 3, 5000);
  cfgtest::PutU16(time, 5, 3333);
  time[9] = 3;
  cfgtest::PutU16(time, 10, 4444);
  cfgtest::PutU16(time, 14, 1111);
  cfgtest::PutU16(time, 24, idleDoze);
  cfgtest::PutU16(time, 26, idleLimit);
  cfgtest::PutU16(time, 28, highSpeedIdle);
  cfgtest::PutU16(time, 30, highSpeedDoze);
  return cfgtest::BuildBlob({.sections = {cfgtest::Section(32, time), cfgtest::Section(31, {0, 4})}});
}

// A blob for frame runs: the time control (normal active-to-idle time NORMAL_IDLE at byte
// 24), a hopping table of FREQS frequencies and the panel section (screen extents 1080 x
// 2400, at most 10 points).
inline Bytes PanelConfigBlob(uint8_t freqs = 4, uint16_t normalIdle = 0) {
  cfgtest::Bytes time(32, 0);
  cfgtest::PutU16(time, 3, 5000);
  cfgtest::PutU16(time, 24, normalIdle);
  cfgtest::Bytes panel(38, 0);
  cfgtest::PutU16(panel, 0, 1080);
  cfgtest::PutU16(panel, 2, 2400);
  panel[20] = 10;
  return cfgtest::BuildBlob(
      {.sections = {cfgtest::Section(8, panel), cfgtest::Section(32, time), cfgtest::Section(31, {0, freqs})}});
}

inline Bytes BuildConfigFile(const Bytes& blob, const Bytes& icBlock) {
  Bytes file(4609, 0);
  for (size_t i = 0; i < blob.size() && 1 + i < 4097; ++i) file[1 + i] = blob[i];
  for (size_t i = 0; i < icBlock.size() && 4097 + i < file.size(); ++i) file[4097 + i] = icBlock[i];
  return file;
}

// Host log capture: every line the module hands to host slot 6.
struct LogCapture {
  static inline std::mutex mutex;
  static inline std::vector<std::string> lines;
  static void Log(int32_t, const char* format, ...) {
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    std::lock_guard<std::mutex> lock(mutex);
    lines.emplace_back(text);
  }
  static void Clear() {
    std::lock_guard<std::mutex> lock(mutex);
    lines.clear();
  }
  static bool Has(const std::string& needle) {
    std::lock_guard<std::mutex> lock(mutex);
    for (const auto& l : lines)
      if (l.find(needle) != std::string::npos) return true;
    return false;
  }
  static size_t Count(const std::string& needle) {
    std::lock_guard<std::mutex> lock(mutex);
    size_t n = 0;
    for (const auto& l : lines)
      if (l.find(needle) != std::string::npos) ++n;
    return n;
  }
};

}  // namespace fxtest
