// KeyMaster message records of remote provisioning and the buffer helpers.
#include <keymaster/android_keymaster_messages.h>

#include <atomic>
#include <cstring>
#include <new>

#include "soft_rkp_state.h"

namespace keymaster {

uint8_t* append_to_buf(uint8_t* buf, const uint8_t* end, const void* data, size_t len) {
  if (buf == nullptr || end < buf || static_cast<size_t>(end - buf) < len) return buf;
  if (len != 0) std::memcpy(buf, data, len);
  return buf + len;
}

bool copy_from_buf(const uint8_t** buf_ptr, const uint8_t* end, void* dest, size_t size) {
  if (buf_ptr == nullptr || *buf_ptr == nullptr || end < *buf_ptr || static_cast<size_t>(end - *buf_ptr) < size) {
    return false;
  }
  if (size != 0) std::memcpy(dest, *buf_ptr, size);
  *buf_ptr += size;
  return true;
}

uint8_t* append_size_and_data_to_buf(uint8_t* buf, const uint8_t* end, const void* data, size_t len) {
  if (buf == nullptr || end < buf || len > UINT32_MAX || static_cast<size_t>(end - buf) < 4 + len) return buf;
  const uint32_t n = static_cast<uint32_t>(len);
  buf = append_to_buf(buf, end, &n, sizeof n);
  return append_to_buf(buf, end, data, len);
}

namespace {

size_t blobSize(const KeymasterBlob& b) { return 4 + b.data_length; }

uint8_t* appendBlob(uint8_t* buf, const uint8_t* end, const KeymasterBlob& b) {
  return append_size_and_data_to_buf(buf, end, b.data, b.data_length);
}

bool readBlob(const uint8_t** p, const uint8_t* end, KeymasterBlob* b) {
  uint32_t n = 0;
  if (!copy_from_buf(p, end, &n, sizeof n)) return false;
  if (n >= kMaxMessageBlobSize || static_cast<size_t>(end - *p) < n) return false;
  if (b->Reset(n) == nullptr && n != 0) return false;
  return copy_from_buf(p, end, b->writable_data(), n);
}

size_t keysSize(const KeysToSign& k) {
  size_t n = 4;
  for (size_t i = 0; i < k.num_keys; i++) n += blobSize(k.keys_to_sign_array[i]);
  return n;
}

uint8_t* appendKeys(uint8_t* buf, const uint8_t* end, const KeysToSign& k) {
  const uint32_t count = static_cast<uint32_t>(k.num_keys);
  buf = append_to_buf(buf, end, &count, sizeof count);
  for (size_t i = 0; i < k.num_keys; i++) buf = appendBlob(buf, end, k.keys_to_sign_array[i]);
  return buf;
}

bool readKeys(const uint8_t** p, const uint8_t* end, KeysToSign* k) {
  uint32_t count = 0;
  if (!copy_from_buf(p, end, &count, sizeof count)) return false;
  // Each key needs at least its length word.
  if (count > static_cast<size_t>(end - *p) / 4) return false;
  if (!k->InitKeysToSign(count)) return false;
  for (uint32_t i = 0; i < count; i++) {
    if (!readBlob(p, end, &k->keys_to_sign_array[i])) return false;
  }
  return true;
}

}  // namespace

// ---------------------------------------------------------------- KeymasterBlob

KeymasterBlob::KeymasterBlob(const uint8_t* bytes, size_t length) : keymaster_blob_t{nullptr, 0} {
  if (bytes == nullptr || length == 0) return;
  if (Reset(length) != nullptr) std::memcpy(writable_data(), bytes, length);
}

KeymasterBlob::KeymasterBlob(size_t size) : keymaster_blob_t{nullptr, 0} { Reset(size); }

KeymasterBlob::KeymasterBlob(KeymasterBlob&& other) noexcept : keymaster_blob_t{other.data, other.data_length} {
  other.data = nullptr;
  other.data_length = 0;
}

KeymasterBlob& KeymasterBlob::operator=(const KeymasterBlob& other) {
  if (this != &other) {
    KeymasterBlob copy(other);
    *this = std::move(copy);
  }
  return *this;
}

KeymasterBlob& KeymasterBlob::operator=(KeymasterBlob&& other) noexcept {
  if (this != &other) {
    Clear();
    data = other.data;
    data_length = other.data_length;
    other.data = nullptr;
    other.data_length = 0;
  }
  return *this;
}

const uint8_t* KeymasterBlob::Reset(size_t length) {
  Clear();
  if (length == 0) return nullptr;
  uint8_t* p = new (std::nothrow) uint8_t[length]();
  if (p == nullptr) return nullptr;
  data = p;
  data_length = length;
  return data;
}

void KeymasterBlob::Clear() {
  delete[] data;
  data = nullptr;
  data_length = 0;
}

const uint8_t* KeymasterBlob::release() {
  const uint8_t* p = data;
  data = nullptr;
  data_length = 0;
  return p;
}

// ---------------------------------------------------------------- messages

size_t KeymasterResponse::SerializedSize() const {
  return sizeof(int32_t) + (error == KM_ERROR_OK ? NonErrorSerializedSize() : 0);
}

uint8_t* KeymasterResponse::Serialize(uint8_t* buf, const uint8_t* end) const {
  const int32_t e = error;
  buf = append_to_buf(buf, end, &e, sizeof e);
  return error == KM_ERROR_OK ? NonErrorSerialize(buf, end) : buf;
}

bool KeymasterResponse::Deserialize(const uint8_t** buf_ptr, const uint8_t* end) {
  int32_t e = 0;
  if (!copy_from_buf(buf_ptr, end, &e, sizeof e)) return false;
  error = static_cast<keymaster_error_t>(e);
  return error != KM_ERROR_OK || NonErrorDeserialize(buf_ptr, end);
}

uint8_t* GenerateRkpKeyRequest::Serialize(uint8_t* buf, const uint8_t* end) const {
  const uint8_t flag = test_mode ? 1 : 0;
  return append_to_buf(buf, end, &flag, sizeof flag);
}

bool GenerateRkpKeyRequest::Deserialize(const uint8_t** buf_ptr, const uint8_t* end) {
  uint8_t flag = 0;
  if (!copy_from_buf(buf_ptr, end, &flag, sizeof flag)) return false;
  test_mode = flag != 0;
  return true;
}

size_t GenerateRkpKeyResponse::NonErrorSerializedSize() const { return blobSize(key_blob) + blobSize(maced_public_key); }
uint8_t* GenerateRkpKeyResponse::NonErrorSerialize(uint8_t* buf, const uint8_t* end) const {
  buf = appendBlob(buf, end, key_blob);
  return appendBlob(buf, end, maced_public_key);
}
bool GenerateRkpKeyResponse::NonErrorDeserialize(const uint8_t** p, const uint8_t* end) {
  return readBlob(p, end, &key_blob) && readBlob(p, end, &maced_public_key);
}

bool KeysToSign::InitKeysToSign(uint32_t count) {
  delete[] keys_to_sign_array;
  keys_to_sign_array = nullptr;
  num_keys = 0;
  if (soft_rkp::takeAllocationFailure()) return false;
  keys_to_sign_array = new (std::nothrow) KeymasterBlob[count];
  if (keys_to_sign_array == nullptr) return false;
  num_keys = count;
  return true;
}

void KeysToSign::SetKeyToSign(uint32_t index, const void* data, size_t length) {
  if (index >= num_keys) return;
  keys_to_sign_array[index] = KeymasterBlob(static_cast<const uint8_t*>(data), length);
}

void GenerateCsrRequest::SetEndpointEncCertChain(const void* data, size_t length) {
  endpoint_enc_cert_chain = KeymasterBlob(static_cast<const uint8_t*>(data), length);
}
void GenerateCsrRequest::SetChallenge(const void* data, size_t length) {
  challenge = KeymasterBlob(static_cast<const uint8_t*>(data), length);
}
size_t GenerateCsrRequest::SerializedSize() const {
  return 1 + keysSize(*this) + blobSize(endpoint_enc_cert_chain) + blobSize(challenge);
}
uint8_t* GenerateCsrRequest::Serialize(uint8_t* buf, const uint8_t* end) const {
  const uint8_t flag = test_mode ? 1 : 0;
  buf = append_to_buf(buf, end, &flag, sizeof flag);
  buf = appendKeys(buf, end, *this);
  buf = appendBlob(buf, end, endpoint_enc_cert_chain);
  return appendBlob(buf, end, challenge);
}
bool GenerateCsrRequest::Deserialize(const uint8_t** p, const uint8_t* end) {
  uint8_t flag = 0;
  if (!copy_from_buf(p, end, &flag, sizeof flag)) return false;
  test_mode = flag != 0;
  return readKeys(p, end, this) && readBlob(p, end, &endpoint_enc_cert_chain) && readBlob(p, end, &challenge);
}

size_t GenerateCsrResponse::NonErrorSerializedSize() const {
  return blobSize(keys_to_sign_mac) + blobSize(device_info_blob) + blobSize(protected_data_blob);
}
uint8_t* GenerateCsrResponse::NonErrorSerialize(uint8_t* buf, const uint8_t* end) const {
  buf = appendBlob(buf, end, keys_to_sign_mac);
  buf = appendBlob(buf, end, device_info_blob);
  return appendBlob(buf, end, protected_data_blob);
}
bool GenerateCsrResponse::NonErrorDeserialize(const uint8_t** p, const uint8_t* end) {
  return readBlob(p, end, &keys_to_sign_mac) && readBlob(p, end, &device_info_blob) &&
         readBlob(p, end, &protected_data_blob);
}

void GenerateCsrV2Request::SetChallenge(const void* data, size_t length) {
  challenge = KeymasterBlob(static_cast<const uint8_t*>(data), length);
}
size_t GenerateCsrV2Request::SerializedSize() const { return keysSize(*this) + blobSize(challenge); }
uint8_t* GenerateCsrV2Request::Serialize(uint8_t* buf, const uint8_t* end) const {
  buf = appendKeys(buf, end, *this);
  return appendBlob(buf, end, challenge);
}
bool GenerateCsrV2Request::Deserialize(const uint8_t** p, const uint8_t* end) {
  return readKeys(p, end, this) && readBlob(p, end, &challenge);
}

size_t GenerateCsrV2Response::NonErrorSerializedSize() const { return blobSize(csr); }
uint8_t* GenerateCsrV2Response::NonErrorSerialize(uint8_t* buf, const uint8_t* end) const {
  return appendBlob(buf, end, csr);
}
bool GenerateCsrV2Response::NonErrorDeserialize(const uint8_t** p, const uint8_t* end) {
  return readBlob(p, end, &csr);
}

}  // namespace keymaster
