// libSeclink: a signed registration text for an EC public key, signed by the trusted
// service, and the library's Base64 coder.
#pragma once

#include <aidl/vendor/tamrel/hardware/aidl/vaultsvc/IRERoririz.h>

#include <cstddef>
#include <cstdint>
#include <memory>

#include "seclink.h"

// The caller's key: the coordinates of a secp256r1 public key, 32 bytes each.
struct orvpay_ecc_pubkey_t {
  uint8_t reserved[4];  // not read by the signing
  uint8_t x[32];
  uint8_t y[32];
};
static_assert(sizeof(orvpay_ecc_pubkey_t) == 68);

// Capacities: the signed text, the signature's hexadecimal text, its DER form, and the
// caller's output with its terminating zero.
inline constexpr size_t kEccSignTextMax = 1023;
inline constexpr size_t kEccSignHexMax = 158;
inline constexpr size_t kEccSignDerMax = 96;
inline constexpr size_t kEccSignOutMax = 1250;

// The trusted service, cached once found for the life of the process.
extern SECLINK_API std::shared_ptr<aidl::vendor::tamrel::hardware::aidl::vaultsvc::IRERoririz> gRERoririz;

// Writes "deviceModel=...&<text>&sign=<Base64 DER signature>" into out (at most
// kEccSignOutMax bytes with its zero) and returns 0. Without the service, or without a
// signature from it, or when the text or the signature outgrow their capacities, returns -1
// and writes an empty string: the caller never gets a text that only looks signed.
SECLINK_API int ecc_sign_pubkey_cplc(const orvpay_ecc_pubkey_t* key, char* out);

// RFC 4648 Base64 with padding; a zero follows the output. Returns the characters written.
SECLINK_API int base64_encode(const uint8_t* in, size_t length, char* out);
// Decodes a zero-terminated text, skipping CR, LF and spaces; a group cut short at the end
// is dropped. Returns the bytes written, or -1 for a character outside the alphabet.
SECLINK_API int base64_decode(const char* in, uint8_t* out);

// The service, looked up without waiting; empty when it is not registered (asked again at
// the next call then).
std::shared_ptr<aidl::vendor::tamrel::hardware::aidl::vaultsvc::IRERoririz> getRERoririz();
