#include "KeymasterBuffer.h"

#include <cstring>

#include <hardware/keymaster_defs.h>

namespace keymasterdevice {

static_assert(sizeof(KeymasterBuffer) == 8 + 9 * 8, "vtable pointer and nine 64-bit fields");

KeymasterBuffer::KeymasterBuffer(uint8_t* base, size_t size)
    : base_addr(reinterpret_cast<uint64_t>(base)),
      buf_size(size),
      offset(0),
      buf_size_remaining(size),
      indirect_base(0),
      indirect_size(0),
      indirect_offset(0),
      indirect_size_remaining(0),
      indirect_start(0) {}

KeymasterBuffer::~KeymasterBuffer() = default;

int KeymasterBuffer::append_to_buf(const void* src, size_t len) {
  if (buf_size_remaining < len) return KM_ERROR_INVALID_INPUT_LENGTH;
  if (len != 0) std::memcpy(get_curr_addr(), src, len);
  offset += len;
  buf_size_remaining -= len;
  return KM_ERROR_OK;
}

int KeymasterBuffer::append_to_buf_roundup(const void* src, size_t len) {
  if (len > SIZE_MAX - 3) return KM_ERROR_INVALID_INPUT_LENGTH;
  size_t rounded = (len + 3) & ~size_t{3};
  if (buf_size_remaining < rounded) return KM_ERROR_INVALID_INPUT_LENGTH;
  if (len != 0) std::memcpy(get_curr_addr(), src, len);
  offset += rounded;
  buf_size_remaining -= rounded;
  return KM_ERROR_OK;
}

int KeymasterBuffer::set_indirect_buf(size_t n) {
  if (buf_size_remaining < n) return KM_ERROR_INVALID_INPUT_LENGTH;
  indirect_base = base_addr + offset + n;
  indirect_size = buf_size_remaining - n;
  indirect_size_remaining = indirect_size;
  indirect_offset = 0;
  indirect_start = n;
  return KM_ERROR_OK;
}

int KeymasterBuffer::append_to_indirect_buf(const void* src, size_t len) {
  if (indirect_size_remaining < len) return KM_ERROR_INVALID_INPUT_LENGTH;
  if (len != 0) std::memcpy(reinterpret_cast<uint8_t*>(indirect_base + indirect_offset), src, len);
  indirect_offset += len;
  indirect_size_remaining -= len;
  return KM_ERROR_OK;
}

void KeymasterBuffer::reset_indirect_buf() {
  offset += indirect_offset;
  buf_size_remaining -= indirect_offset;
  indirect_base = indirect_size = indirect_offset = indirect_size_remaining = indirect_start = 0;
}

}  // namespace keymasterdevice
