#pragma once
// The platform's message serialisation helpers: bounded appends to and copies from a
// flat byte buffer, and the interface every message implements.
#include <cstddef>
#include <cstdint>

namespace keymaster {

// Copies `len` bytes to `buf` when they fit before `end`; returns the position after them,
// or `buf` unchanged when they do not fit.
uint8_t* append_to_buf(uint8_t* buf, const uint8_t* end, const void* data, size_t len);
// Copies `size` bytes from *buf_ptr to `dest` when that many remain before `end`, and
// advances *buf_ptr; false (nothing copied) otherwise.
bool copy_from_buf(const uint8_t** buf_ptr, const uint8_t* end, void* dest, size_t size);

// A u32 length followed by the bytes.
uint8_t* append_size_and_data_to_buf(uint8_t* buf, const uint8_t* end, const void* data, size_t len);

class Serializable {
 public:
  virtual ~Serializable() = default;
  virtual size_t SerializedSize() const = 0;
  virtual uint8_t* Serialize(uint8_t* buf, const uint8_t* end) const = 0;
  virtual bool Deserialize(const uint8_t** buf_ptr, const uint8_t* end) = 0;
};

}  // namespace keymaster
