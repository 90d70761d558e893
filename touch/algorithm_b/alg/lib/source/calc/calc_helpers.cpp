// Shared helpers: array extremes, orientation queries, node tests, checksums and hashes.
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "luma_calc.h"

extern "C" {

uint8_t GetMin(const uint8_t *array, uint8_t n) {
  uint8_t m = 255;
  for (uint8_t i = 0; i < n; ++i) m = array[i] < m ? array[i] : m;
  return m;
}

uint8_t GetMax(const uint8_t *array, uint8_t n) {
  uint8_t m = 0;
  for (uint8_t i = 0; i < n; ++i) m = array[i] > m ? array[i] : m;
  return m;
}

uint16_t GetLineMax(const int16_t *line, uint8_t n, uint8_t *index) {
  int16_t best = INT16_MIN;
  uint8_t at = 0;
  for (uint8_t i = 0; i < n; ++i) {
    if (line[i] > best) {
      best = line[i];
      at = i;
    }
  }
  if (index != nullptr) *index = at;
  return best < 0 ? 0 : static_cast<uint16_t>(best);
}

uint16_t GetLineAbsMax(const int16_t *line, uint8_t n, uint8_t *index) {
  int32_t best = -1;
  uint8_t at = 0;
  for (uint8_t i = 0; i < n; ++i) {
    const int32_t a = std::abs(static_cast<int32_t>(line[i]));
    if (a > best) {
      best = a;
      at = i;
    }
  }
  if (index != nullptr) *index = at;
  return best < 0 ? 0 : static_cast<uint16_t>(best);
}

void *memcpy_16bit(void *destination, const void *source, uint16_t bytes) {
  if (bytes >= 2) std::memmove(destination, source, static_cast<size_t>(bytes / 2) * 2);
  return destination;
}

bool AppIsInAreaCheck(const uint8_t rect[4], uint8_t x, uint8_t y) {
  return rect[0] <= x && x < rect[2] && rect[1] <= y && y < rect[3];
}

bool AppIsEdgePeak(uint8_t tx, uint8_t rx) {
  return tx < 2 || tx + 2 >= g_stFwConfig.ucTxNum || rx < 2 || rx + 2 >= g_stFwConfig.ucRxNum;
}

bool AppScTxDataIsExist(uint8_t) { return true; }
bool AppScRxDataIsExist(uint8_t) { return true; }

bool IsDispVertical(void) { return g_stSysParam.ucDispDirection == 0; }
bool IsDispHorizontal(void) { return g_stSysParam.ucDispDirection != 0 && g_stSysParam.ucDispDirection < 170; }
bool IsDispHorizontal_UsbLeft(void) { return g_stSysParam.ucDispDirection == 3; }
bool IsDispHorizontal_UsbRight(void) { return g_stSysParam.ucDispDirection == 1; }

uint16_t CRC16Check(const uint8_t *bytes, uint16_t length) {
  uint16_t crc = 0xFFFF;
  for (uint16_t i = 0; i < length; ++i) {
    crc = static_cast<uint16_t>(crc ^ (bytes[i] << 8));
    for (int b = 0; b < 8; ++b) {
      crc = (crc & 0x8000u) != 0 ? static_cast<uint16_t>((crc << 1) ^ 0x1021u) : static_cast<uint16_t>(crc << 1);
    }
  }
  return crc;
}

void MurmurHash3_x86_32(const void *key, int32_t length, uint32_t seed, uint32_t *out) {
  const auto *data = static_cast<const uint8_t *>(key);
  const int32_t blocks = length / 4;
  constexpr uint32_t c1 = 0xcc9e2d51u;
  constexpr uint32_t c2 = 0x1b873593u;
  const auto rotl = [](uint32_t x, int r) { return (x << r) | (x >> (32 - r)); };
  uint32_t h = seed;
  for (int32_t i = 0; i < blocks; ++i) {
    uint32_t k;
    std::memcpy(&k, data + 4 * i, 4);
    k *= c1;
    k = rotl(k, 15);
    k *= c2;
    h ^= k;
    h = rotl(h, 13);
    h = h * 5 + 0xe6546b64u;
  }
  const uint8_t *tail = data + 4 * blocks;
  uint32_t k = 0;
  switch (length & 3) {
    case 3: k ^= static_cast<uint32_t>(tail[2]) << 16; [[fallthrough]];
    case 2: k ^= static_cast<uint32_t>(tail[1]) << 8; [[fallthrough]];
    case 1:
      k ^= tail[0];
      k *= c1;
      k = rotl(k, 15);
      k *= c2;
      h ^= k;
      break;
    default: break;
  }
  h ^= static_cast<uint32_t>(length);
  h ^= h >> 16;
  h *= 0x85ebca6bu;
  h ^= h >> 13;
  h *= 0xc2b2ae35u;
  h ^= h >> 16;
  *out = h;
}

uint32_t WordReverse(uint32_t value, uint8_t n) {
  if (n > 32) n = 32;
  uint32_t reversed = 0;
  for (uint8_t i = 0; i < n; ++i) {
    if ((value >> i) & 1u) reversed |= 1u << (n - 1 - i);
  }
  const uint32_t kept = n < 32 ? value & ~((1u << n) - 1) : 0;
  return kept | reversed;
}

uint32_t ByteReverse(uint32_t value, uint8_t n) {
  if (n > 8) n = 8;
  const uint32_t low = WordReverse(value & 0xFFu, n);
  return n < 8 ? (value & ~((1u << n) - 1)) | (low & ((1u << n) - 1)) : low;
}

uint32_t AppCalcDistance(uint32_t x1, uint32_t y1, uint32_t x2, uint32_t y2) {
  const double dx = static_cast<double>(x1) - static_cast<double>(x2);
  const double dy = static_cast<double>(y1) - static_cast<double>(y2);
  return static_cast<uint32_t>(std::sqrt(dx * dx + dy * dy));
}

void TimerCountDownbyActiveFrame(void) {}

}  // extern "C"
