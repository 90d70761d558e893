#pragma once
// An owning keymaster_blob_t.
#include <hardware/keymaster_defs.h>

#include <cstddef>
#include <cstdint>

namespace keymaster {

struct KeymasterBlob : public keymaster_blob_t {
  KeymasterBlob() : keymaster_blob_t{nullptr, 0} {}
  KeymasterBlob(const uint8_t* bytes, size_t length);
  explicit KeymasterBlob(size_t size);
  explicit KeymasterBlob(const keymaster_blob_t& blob) : KeymasterBlob(blob.data, blob.data_length) {}
  KeymasterBlob(const KeymasterBlob& other) : KeymasterBlob(other.data, other.data_length) {}
  KeymasterBlob(KeymasterBlob&& other) noexcept;
  KeymasterBlob& operator=(const KeymasterBlob& other);
  KeymasterBlob& operator=(KeymasterBlob&& other) noexcept;
  ~KeymasterBlob() { Clear(); }

  // A new buffer of `length` zero bytes (nullptr and length 0 when it cannot be allocated).
  const uint8_t* Reset(size_t length);
  void Clear();
  // Hands the buffer to the caller (allocated with new[]).
  const uint8_t* release();

  size_t size() const { return data_length; }
  const uint8_t* begin() const { return data; }
  const uint8_t* end() const { return data != nullptr ? data + data_length : nullptr; }
  uint8_t* writable_data() { return const_cast<uint8_t*>(data); }
};

}  // namespace keymaster
