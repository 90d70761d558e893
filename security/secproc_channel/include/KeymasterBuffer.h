#pragma once
// A write cursor over memory the caller owns, with a second, indirect area for data that
// fixed-size records point to by offset.
#include <cstddef>
#include <cstdint>

#include "secproc_api.h"

namespace keymasterdevice {

class SECPROC_API KeymasterBuffer {
 public:
  KeymasterBuffer(uint8_t* base, size_t size);
  virtual ~KeymasterBuffer();  // frees nothing: the memory is the caller's

  // 0, or -21 when the bytes do not fit.
  int append_to_buf(const void* src, size_t len);
  // Advances by len rounded up to 4; the filler bytes are left as they are.
  int append_to_buf_roundup(const void* src, size_t len);
  uint8_t* get_base_addr() const { return reinterpret_cast<uint8_t*>(base_addr); }
  uint8_t* get_curr_addr() const { return reinterpret_cast<uint8_t*>(base_addr + offset); }
  size_t get_buf_size() const { return buf_size; }
  size_t get_offset() const { return offset; }
  size_t get_buf_size_remaining() const { return buf_size_remaining; }

  // Starts the indirect area n bytes after the write position (the n bytes are reserved
  // for the records that point into it).
  int set_indirect_buf(size_t n);
  int append_to_indirect_buf(const void* src, size_t len);
  // Moves the write position past the indirect data and drops the indirect area.
  void reset_indirect_buf();
  size_t get_indirect_buf_offset() const { return indirect_offset; }
  size_t get_indirect_buf_size_remaining() const { return indirect_size_remaining; }
  // Where the next indirect byte lies, counted from the write position at set_indirect_buf.
  size_t get_indirect_buf_offset_from_main() const { return indirect_start + indirect_offset; }

 private:
  uint64_t base_addr;
  uint64_t buf_size;
  uint64_t offset;
  uint64_t buf_size_remaining;
  uint64_t indirect_base;
  uint64_t indirect_size;
  uint64_t indirect_offset;
  uint64_t indirect_size_remaining;
  uint64_t indirect_start;
};

}  // namespace keymasterdevice
