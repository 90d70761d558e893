#pragma once
// The platform's KeyMaster message records used for remote provisioning. Each response
// carries a KeyMaster error, -1000 (unknown) until someone fills it. Byte fields of a
// message hold less than kMaxMessageBlobSize bytes.
#include <hardware/keymaster_defs.h>
#include <keymaster/android_keymaster_utils.h>
#include <keymaster/serializable.h>

#include <cstddef>
#include <cstdint>

namespace keymaster {

inline constexpr size_t kMaxMessageBlobSize = 1024 * 1024;

struct KeymasterMessage : public Serializable {
  explicit KeymasterMessage(int32_t ver) : message_version(ver) {}
  int32_t message_version;
};

struct KeymasterResponse : public KeymasterMessage {
  explicit KeymasterResponse(int32_t ver) : KeymasterMessage(ver) {}
  // The error word, then (only when it is 0) the fields of the response.
  size_t SerializedSize() const override;
  uint8_t* Serialize(uint8_t* buf, const uint8_t* end) const override;
  bool Deserialize(const uint8_t** buf_ptr, const uint8_t* end) override;

  virtual size_t NonErrorSerializedSize() const = 0;
  virtual uint8_t* NonErrorSerialize(uint8_t* buf, const uint8_t* end) const = 0;
  virtual bool NonErrorDeserialize(const uint8_t** buf_ptr, const uint8_t* end) = 0;

  keymaster_error_t error = KM_ERROR_UNKNOWN_ERROR;
};

struct GenerateRkpKeyRequest : public KeymasterMessage {
  explicit GenerateRkpKeyRequest(int32_t ver) : KeymasterMessage(ver) {}
  size_t SerializedSize() const override { return sizeof(uint8_t); }
  uint8_t* Serialize(uint8_t* buf, const uint8_t* end) const override;
  bool Deserialize(const uint8_t** buf_ptr, const uint8_t* end) override;

  bool test_mode = false;
};

struct GenerateRkpKeyResponse : public KeymasterResponse {
  explicit GenerateRkpKeyResponse(int32_t ver) : KeymasterResponse(ver) {}
  size_t NonErrorSerializedSize() const override;
  uint8_t* NonErrorSerialize(uint8_t* buf, const uint8_t* end) const override;
  bool NonErrorDeserialize(const uint8_t** buf_ptr, const uint8_t* end) override;

  KeymasterBlob key_blob;
  KeymasterBlob maced_public_key;
};

// The keys to sign of a CSR request, as an owned array of blobs.
struct KeysToSign {
  KeysToSign() = default;
  KeysToSign(const KeysToSign&) = delete;
  KeysToSign& operator=(const KeysToSign&) = delete;
  KeysToSign(KeysToSign&& other) noexcept : num_keys(other.num_keys), keys_to_sign_array(other.keys_to_sign_array) {
    other.num_keys = 0;
    other.keys_to_sign_array = nullptr;
  }
  ~KeysToSign() { delete[] keys_to_sign_array; }

  // Room for `count` keys; false when it cannot be allocated.
  bool InitKeysToSign(uint32_t count);
  void SetKeyToSign(uint32_t index, const void* data, size_t length);

  size_t num_keys = 0;
  KeymasterBlob* keys_to_sign_array = nullptr;
};

struct GenerateCsrRequest : public KeymasterMessage, public KeysToSign {
  explicit GenerateCsrRequest(int32_t ver) : KeymasterMessage(ver) {}
  size_t SerializedSize() const override;
  uint8_t* Serialize(uint8_t* buf, const uint8_t* end) const override;
  bool Deserialize(const uint8_t** buf_ptr, const uint8_t* end) override;

  void SetEndpointEncCertChain(const void* data, size_t length);
  void SetChallenge(const void* data, size_t length);

  bool test_mode = false;
  KeymasterBlob endpoint_enc_cert_chain;
  KeymasterBlob challenge;
};

struct GenerateCsrResponse : public KeymasterResponse {
  explicit GenerateCsrResponse(int32_t ver) : KeymasterResponse(ver) {}
  size_t NonErrorSerializedSize() const override;
  uint8_t* NonErrorSerialize(uint8_t* buf, const uint8_t* end) const override;
  bool NonErrorDeserialize(const uint8_t** buf_ptr, const uint8_t* end) override;

  KeymasterBlob keys_to_sign_mac;
  KeymasterBlob device_info_blob;
  KeymasterBlob protected_data_blob;
};

struct GenerateCsrV2Request : public KeymasterMessage, public KeysToSign {
  explicit GenerateCsrV2Request(int32_t ver) : KeymasterMessage(ver) {}
  size_t SerializedSize() const override;
  uint8_t* Serialize(uint8_t* buf, const uint8_t* end) const override;
  bool Deserialize(const uint8_t** buf_ptr, const uint8_t* end) override;

  void SetChallenge(const void* data, size_t length);

  KeymasterBlob challenge;
};

struct GenerateCsrV2Response : public KeymasterResponse {
  explicit GenerateCsrV2Response(int32_t ver) : KeymasterResponse(ver) {}
  size_t NonErrorSerializedSize() const override;
  uint8_t* NonErrorSerialize(uint8_t* buf, const uint8_t* end) const override;
  bool NonErrorDeserialize(const uint8_t** buf_ptr, const uint8_t* end) override;

  KeymasterBlob csr;
};

}  // namespace keymaster
