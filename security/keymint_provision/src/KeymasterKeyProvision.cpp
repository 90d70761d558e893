// Keybox installation and device-identifier provisioning requests for the StrongBox
// KeyMint application, framed in the channel's command area and copied out to the caller.
#define LOG_TAG "SecProcKeyMasterKeyProvision"

#include "KeymasterKeyProvision.h"

#include <log/log.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cstring>
#include <limits>
#include <new>
#include <vector>

#include "KeyMintWake.h"
#include "KeymasterBuffer.h"
#include "KeymasterSerialize.h"
#include "KeymasterUtils.h"

namespace keymasterdevice {

namespace {

// OpenSSL takes the length as an int and reads a negative one as "up to the NUL".
constexpr uint64_t kMaxPemLength = std::numeric_limits<int>::max();

struct BioFree {
  void operator()(BIO* b) const { BIO_free(b); }
};
struct PkeyFree {
  void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
struct X509Free {
  void operator()(X509* x) const { X509_free(x); }
};
using Bio = std::unique_ptr<BIO, BioFree>;
using Der = std::unique_ptr<uint8_t[]>;

void logFailure(const char* what, int rc) {
  ALOGE("%s", what);
  ALOGE("ret: %d", rc);
}

void logCryptoErrors() {
  char text[256];
  while (unsigned long e = ERR_get_error()) {
    ERR_error_string_n(e, text, sizeof text);
    ALOGE("%s", text);
  }
}

// A read-only memory BIO over the caller's PEM text.
int pemBio(const char* pem, uint64_t length, Bio* bio) {
  if (length > kMaxPemLength) return KM_ERROR_INVALID_ARGUMENT;
  bio->reset(pem == nullptr ? nullptr : BIO_new_mem_buf(pem, static_cast<int>(length)));
  if (*bio == nullptr) {
    ALOGE("Could not allocate BIO structure");
    return KM_ERROR_UNEXPECTED_NULL_POINTER;
  }
  return 0;
}

// Adds a u32 length and the bytes, each padded with zeros to a multiple of 4 (the command
// area was cleared by init, so the filler is zero).
int appendSized(KeymasterBuffer& buf, const uint8_t* data, uint32_t length) {
  if (buf.append_to_buf_roundup(&length, sizeof length) != 0) return KM_ERROR_INVALID_INPUT_LENGTH;
  if (buf.append_to_buf_roundup(data, length) != 0) return KM_ERROR_INVALID_INPUT_LENGTH;
  return 0;
}

int appendU32(KeymasterBuffer& buf, uint32_t value) {
  return buf.append_to_buf_roundup(&value, sizeof value) == 0 ? 0 : KM_ERROR_INVALID_INPUT_LENGTH;
}

int appendPrivateKey(KeymasterBuffer& buf, const km_key_entry_t& key) {
  Bio bio;
  if (int rc = pemBio(key.key_pem, key.key_pem_length, &bio); rc != 0) return rc;
  std::unique_ptr<EVP_PKEY, PkeyFree> pkey(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr));
  if (pkey == nullptr) {
    logCryptoErrors();
    return KM_ERROR_UNEXPECTED_NULL_POINTER;
  }
  const int length = i2d_PrivateKey(pkey.get(), nullptr);
  if (length <= 0) {
    logCryptoErrors();
    return KM_ERROR_UNKNOWN_ERROR;
  }
  Der der(new (std::nothrow) uint8_t[static_cast<size_t>(length)]);
  if (der == nullptr) return KM_ERROR_MEMORY_ALLOCATION_FAILED;
  uint8_t* p = der.get();
  if (i2d_PrivateKey(pkey.get(), &p) != length) {
    logCryptoErrors();
    return KM_ERROR_UNKNOWN_ERROR;
  }
  return appendSized(buf, der.get(), static_cast<uint32_t>(length));
}

int appendCertificate(KeymasterBuffer& buf, const km_cert_entry_t& cert) {
  if (cert.cert_pem_length > kMaxPemLength) return KM_ERROR_INVALID_ARGUMENT;
  ALOGE("certPem: %zu", static_cast<size_t>(cert.cert_pem_length));
  Bio bio;
  if (int rc = pemBio(cert.cert_pem, cert.cert_pem_length, &bio); rc != 0) return rc;
  std::unique_ptr<X509, X509Free> x509(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
  if (x509 == nullptr) {
    ALOGE("PEM_read_bio_X509 failed");
    return KM_ERROR_UNEXPECTED_NULL_POINTER;
  }
  const int length = i2d_X509(x509.get(), nullptr);
  if (length < 0) {
    ALOGE("i2d_X509 error or rsplen insufficient");
    return kErrorInsufficientBufferSpace;
  }
  Der der(new (std::nothrow) uint8_t[static_cast<size_t>(length)]);
  if (der == nullptr) return KM_ERROR_MEMORY_ALLOCATION_FAILED;
  uint8_t* p = der.get();
  if (i2d_X509(x509.get(), &p) != length) return KM_ERROR_INVALID_ARGUMENT;
  ALOGE("certDer: %zu", static_cast<size_t>(length));
  return appendSized(buf, der.get(), static_cast<uint32_t>(length));
}

int appendKey(KeymasterBuffer& buf, const km_key_entry_t& key) {
  if (key.cert_count != 0 && key.certs == nullptr) return KM_ERROR_UNEXPECTED_NULL_POINTER;
  int rc = appendU32(buf, key.algorithm);
  if (rc == 0) rc = appendPrivateKey(buf, key);
  if (rc == 0) rc = appendU32(buf, static_cast<uint32_t>(key.cert_count));
  for (uint64_t i = 0; rc == 0 && i < key.cert_count; i++) rc = appendCertificate(buf, key.certs[i]);
  return rc;
}

void pushBytes(std::vector<keymaster_key_param_t>& params, keymaster_tag_t tag, const std::string& value) {
  if (value.empty()) return;
  keymaster_key_param_t p{};
  p.tag = tag;
  p.blob.data = reinterpret_cast<const uint8_t*>(value.data());
  p.blob.data_length = value.size();
  params.push_back(p);
}

}  // namespace

KeymasterKeyProvision::KeymasterKeyProvision(keymaster_security_level_t level)
    : utils_(std::make_unique<keymasterutils::KeymasterUtils>(level)), security_level_(level) {}

KeymasterKeyProvision::~KeymasterKeyProvision() = default;

int KeymasterKeyProvision::KeyMasterProvisionInit() {
  if (security_level_ != KM_SECURITY_LEVEL_STRONGBOX) return KM_ERROR_UNIMPLEMENTED;
  return utils_->initialize(40960);
}

int KeymasterKeyProvision::SecProcInit() {
  // The wake is a call to another service and touches nothing of this object; the bring-up
  // works in its command area and shared buffer, one request at a time.
  internal::wakeStrongBoxKeyMint();
  auto lock = utils_->lockRequest();
  return bringUpLocked();
}

int KeymasterKeyProvision::bringUpLocked() {
  const int rc = utils_->secproc_init();
  if (rc != 0) {
    logFailure("SecProcInit", rc);
    ALOGE("resp->status: %d", 0);
  }
  return rc;
}

int KeymasterKeyProvision::KeyMasterInstallKeybox(const km_install_keybox_t* keybox, uint8_t* out, uint32_t out_size,
                                                  uint32_t* out_length) {
  if (keybox == nullptr) return KM_ERROR_UNEXPECTED_NULL_POINTER;
  if (out == nullptr || out_length == nullptr) return KM_ERROR_OUTPUT_PARAMETER_NULL;
  // The bring-up replays on the object's command area and shared buffer: it is part of the
  // request, under the same lock as the framing.
  internal::wakeStrongBoxKeyMint();
  auto lock = utils_->lockRequest();
  if (int rc = bringUpLocked(); rc != 0) {
    logFailure("KeyMasterInstallKeybox", rc);
    return rc;
  }
  keymaster_blob_t area{};
  utils_->init(kCmdInstallKeybox, &area);
  KeymasterBuffer buf(const_cast<uint8_t*>(area.data), area.data_length);
  int rc = appendU32(buf, kKeyboxKeys);
  for (uint32_t k = 0; rc == 0 && k < kKeyboxKeys; k++) rc = appendKey(buf, keybox->keys[k]);
  if (rc != 0) {
    logFailure("KeyMasterInstallKeybox", rc);
    return rc;
  }
  return copyCmdLocked(static_cast<uint32_t>(buf.get_offset()), out, out_size, out_length);
}

int KeymasterKeyProvision::CopyCmd(uint32_t body_length, uint8_t* out, uint32_t out_size, uint32_t* out_length) {
  // The command area belongs to a request from init until it is copied out.
  auto lock = utils_->lockRequest();
  return copyCmdLocked(body_length, out, out_size, out_length);
}

int KeymasterKeyProvision::copyCmdLocked(uint32_t body_length, uint8_t* out, uint32_t out_size,
                                         uint32_t* out_length) {
  if (out == nullptr || out_length == nullptr) return KM_ERROR_OUTPUT_PARAMETER_NULL;
  uint8_t* header = nullptr;
  uint32_t frame = 0;
  if (body_length > keymasterutils::kBodySpace) return KM_ERROR_INVALID_INPUT_LENGTH;
  utils_->get_cmd_header(body_length, &header, &frame);
  // The caller's buffer is checked, not assumed to hold the whole command area.
  if (frame > out_size) {
    ALOGE("output of %u bytes cannot hold the request of %u", out_size, frame);
    return kErrorInsufficientBufferSpace;
  }
  std::memcpy(out, header, frame);
  *out_length = frame;
  return 0;
}

int KeymasterKeyProvision::KeyMasterProvisionDeviceId(const std::string& brand, const std::string& device,
                                                      const std::string& product, const std::string& serial,
                                                      const std::string& manufacturer, const std::string& model,
                                                      const keymaster_device_id_t& imeis,
                                                      const keymaster_device_id_t& meids, uint8_t* out,
                                                      uint32_t out_size, uint32_t* out_length) {
  if (out == nullptr || out_length == nullptr) return KM_ERROR_OUTPUT_PARAMETER_NULL;
  std::vector<keymaster_key_param_t> params;
  pushBytes(params, KM_TAG_ATTESTATION_ID_BRAND, brand);
  pushBytes(params, KM_TAG_ATTESTATION_ID_DEVICE, device);
  pushBytes(params, KM_TAG_ATTESTATION_ID_PRODUCT, product);
  pushBytes(params, KM_TAG_ATTESTATION_ID_SERIAL, serial);
  pushBytes(params, KM_TAG_ATTESTATION_ID_MANUFACTURER, manufacturer);
  pushBytes(params, KM_TAG_ATTESTATION_ID_MODEL, model);
  if (imeis.count >= 1) pushBytes(params, KM_TAG_ATTESTATION_ID_IMEI, imeis.ids[0]);
  if (imeis.count >= 2) pushBytes(params, KM_TAG_ATTESTATION_ID_SECOND_IMEI, imeis.ids[1]);
  // The secure processor takes a second MEID under the same tag as the first.
  if (meids.count >= 1) pushBytes(params, KM_TAG_ATTESTATION_ID_MEID, meids.ids[0]);
  if (meids.count >= 2) pushBytes(params, KM_TAG_ATTESTATION_ID_MEID, meids.ids[1]);

  internal::wakeStrongBoxKeyMint();
  auto lock = utils_->lockRequest();
  if (int rc = bringUpLocked(); rc != 0) {
    logFailure("KeyMasterProvisionDeviceId", rc);
    return rc;
  }
  keymaster_blob_t body{};
  utils_->init(kCmdProvisionDeviceId, &body);
  keymaster_key_param_set_t set{params.data(), params.size()};
  KeymasterSerialize serializer(utils_.get());
  if (int rc = serializer.serializeClientParams(&set, &body); rc != 0) {
    logFailure("KeyMasterProvisionDeviceId", rc);
    return rc;
  }
  return copyCmdLocked(static_cast<uint32_t>(body.data_length), out, out_size, out_length);
}

}  // namespace keymasterdevice
