#pragma once
// Byte writer shared by the frame encoders.
#include <stdint.h>
#include <string.h>

#include <vector>

namespace tamrel_touch::encode {

class ByteWriter {
 public:
  explicit ByteWriter(bool big_endian = false) : big_endian_(big_endian) {}
  std::vector<uint8_t> &bytes() { return bytes_; }
  size_t size() const { return bytes_.size(); }

  void u8(uint8_t v) { bytes_.push_back(v); }
  void u16(uint16_t v) {
    if (big_endian_) {
      u8(static_cast<uint8_t>(v >> 8));
      u8(static_cast<uint8_t>(v));
    } else {
      u8(static_cast<uint8_t>(v));
      u8(static_cast<uint8_t>(v >> 8));
    }
  }
  void u32(uint32_t v) {
    if (big_endian_) {
      u16(static_cast<uint16_t>(v >> 16));
      u16(static_cast<uint16_t>(v));
    } else {
      u16(static_cast<uint16_t>(v));
      u16(static_cast<uint16_t>(v >> 16));
    }
  }
  void values(const std::vector<int16_t> &v) {
    for (int16_t x : v) u16(static_cast<uint16_t>(x));
  }
  void raw(const void *data, size_t n) {
    const auto *p = static_cast<const uint8_t *>(data);
    bytes_.insert(bytes_.end(), p, p + n);
  }
  void zeros(size_t n) { bytes_.insert(bytes_.end(), n, 0); }
  void pad_to(size_t n) {
    if (bytes_.size() < n) zeros(n - bytes_.size());
  }

  // Overwrite in place (at an offset already written).
  void put_u16(size_t at, uint16_t v) {
    ByteWriter w(big_endian_);
    w.u16(v);
    memcpy(bytes_.data() + at, w.bytes_.data(), 2);
  }
  void put_u32(size_t at, uint32_t v) {
    ByteWriter w(big_endian_);
    w.u32(v);
    memcpy(bytes_.data() + at, w.bytes_.data(), 4);
  }

 private:
  bool big_endian_;
  std::vector<uint8_t> bytes_;
};

}  // namespace tamrel_touch::encode
