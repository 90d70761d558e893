// Public-key signing through the trusted service, and the Base64 coder.
#define LOG_TAG "roduza-sign"

#include "EccSign.h"

#include <android/binder_manager.h>
#include <log/log.h>
#include <openssl/evp.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/properties.h"

using aidl::vendor::tamrel::hardware::aidl::vaultsvc::IRERoririz;

std::shared_ptr<IRERoririz> gRERoririz;

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr int32_t kKeyType = 0;

std::mutex& serviceLock() {
  static std::mutex m;
  return m;
}

std::string base64(const uint8_t* data, size_t n) {
  std::string out(4 * ((n + 2) / 3), '\0');
  const int len = base64_encode(data, n, out.data());
  out.resize(static_cast<size_t>(len));
  return out;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return 0;  // anything else stands for 0, as the odd text's missing last digit does
}

// Two characters per byte; an odd text's last byte takes 0 as its low digit.
std::vector<uint8_t> fromHex(const std::string& text) {
  std::vector<uint8_t> out((text.size() + 1) / 2);
  for (size_t i = 0; i < out.size(); i++) {
    const int hi = hexValue(text[2 * i]);
    const int lo = 2 * i + 1 < text.size() ? hexValue(text[2 * i + 1]) : 0;
    out[i] = static_cast<uint8_t>(hi << 4 | lo);
  }
  return out;
}

// The raw r||s halves as an ECDSA DER signature: r takes the first floor(k/2) bytes. Each
// integer is written in its shortest form, as DER requires and strict verifiers insist on:
// leading zero bytes go (one stays for a zero value), and a first byte with its top bit set
// gets a 00 in front to stay positive.
std::vector<uint8_t> toDer(const std::vector<uint8_t>& raw) {
  const size_t k = raw.size();
  const std::vector<uint8_t> r(raw.begin(), raw.begin() + static_cast<long>(k / 2));
  const std::vector<uint8_t> s(raw.begin() + static_cast<long>(k / 2), raw.end());
  auto integer = [](const std::vector<uint8_t>& v) {
    auto first = v.begin();
    while (first != v.end() && first + 1 != v.end() && *first == 0) ++first;
    const bool pad = first != v.end() && *first >= 0x80;
    // Sized up front: growing a two-byte vector by insert trips a false bounds warning in
    // optimised builds.
    std::vector<uint8_t> out;
    out.reserve(3 + static_cast<size_t>(v.end() - first));
    out.push_back(0x02);
    out.push_back(0);
    if (pad) out.push_back(0x00);
    for (auto it = first; it != v.end(); ++it) out.push_back(*it);
    out[1] = static_cast<uint8_t>(out.size() - 2);
    return out;
  };
  const std::vector<uint8_t> ri = integer(r), si = integer(s);
  std::vector<uint8_t> der;
  der.reserve(2 + ri.size() + si.size());
  der.push_back(0x30);
  der.push_back(static_cast<uint8_t>(ri.size() + si.size()));
  for (uint8_t b : ri) der.push_back(b);
  for (uint8_t b : si) der.push_back(b);
  return der;
}

std::string property(const char* name, const char* fallback) {
  char value[PROP_VALUE_MAX] = {};
  property_get(name, value, fallback);
  return value;
}

int fail(char* out) {
  out[0] = '\0';
  return -1;
}

}  // namespace

std::shared_ptr<IRERoririz> getRERoririz() {
  std::lock_guard<std::mutex> lock(serviceLock());
  if (gRERoririz == nullptr) {
    const std::string instance = std::string(IRERoririz::descriptor) + "/default";
    gRERoririz = IRERoririz::fromBinder(::ndk::SpAIBinder(AServiceManager_checkService(instance.c_str())));
    if (gRERoririz == nullptr) {
      ALOGE("Unable to initialize the AIDL");
      return nullptr;
    }
    ALOGI("%s: IRERoririz::getService() returned %p (%s)", "getRERoririz", gRERoririz.get(),
          gRERoririz->isRemote() ? "remote" : "local");
  }
  ALOGD(" IRERoririz::getService() success");
  return gRERoririz;
}

int ecc_sign_pubkey_cplc(const orvpay_ecc_pubkey_t* key, char* out) {
  if (key == nullptr || out == nullptr) return -1;
  std::shared_ptr<IRERoririz> service = getRERoririz();
  if (service == nullptr) {
    // Without the service there is neither an id nor a signature to send.
    ALOGE("Unable to initialize the HIDL");
    return fail(out);
  }
  std::string tzId;
  service->getFid(&tzId);  // an error leaves the id empty; the service still signs the text
  ALOGD("%s, fid = %s", "getFid", tzId.c_str());

  const std::string pkX = base64(key->x, sizeof key->x);
  const std::string pkY = base64(key->y, sizeof key->y);
  const std::string cpuModel = property("ro.board.platform", "VX7000");
  const std::string text = "appName=vediraziv&cpuModel=" + cpuModel + "&keyAlg=ec-secp256r1&pkX=" + pkX +
                           "&pkY=" + pkY + "&tzId=" + tzId;
  if (text.size() > kEccSignTextMax) {
    ALOGE("text of %zu characters is longer than %zu", text.size(), kEccSignTextMax);
    return fail(out);
  }
  ALOGD("%s", text.c_str());

  uint8_t md[EVP_MAX_MD_SIZE];
  unsigned int mdLen = 0;
  if (EVP_Digest(text.data(), text.size(), md, &mdLen, EVP_sha256(), nullptr) != 1 || mdLen != 32) {
    ALOGE("SHA-256 failed");
    return fail(out);
  }
  char digest[65];
  for (unsigned int i = 0; i < mdLen; i++) std::snprintf(digest + 2 * i, 3, "%02x", md[i]);
  ALOGD("digest: %s\n", digest);

  service = getRERoririz();
  if (service == nullptr) {
    ALOGE("Unable to initialize the HIDL");
    return fail(out);
  }
  ALOGE("keyType = %d, text = %s", kKeyType, digest);
  std::string signature;
  ::ndk::ScopedAStatus status = service->eccSign(kKeyType, digest, &signature);
  ALOGD(" attk_sign : %s\n", signature.c_str());
  if (!status.isOk() || signature.empty()) {
    ALOGE("eccSign failed: %s", status.getDescription().c_str());
    return fail(out);
  }
  if (signature.size() > kEccSignHexMax) {
    ALOGE("signature of %zu characters is longer than %zu", signature.size(), kEccSignHexMax);
    return fail(out);
  }
  const std::vector<uint8_t> der = toDer(fromHex(signature));
  const std::string sign = base64(der.data(), der.size());
  ALOGD("sign_str_base64: %s\n", sign.c_str());

  std::string deviceModel = property("ro.product.device", "");
  if (deviceModel.empty()) {
    ALOGE("Failure in getting model name. Selecting ORVPAY_DEVICE_MODEL as default");
    deviceModel = "Quon";
  }
  const std::string result = "deviceModel=" + deviceModel + "&" + text + "&sign=" + sign;
  if (result.size() + 1 > kEccSignOutMax) return fail(out);  // cannot happen within the limits above
  std::memcpy(out, result.c_str(), result.size() + 1);
  ALOGD("SIGN APDU : %s\n", out);
  return 0;
}

int base64_encode(const uint8_t* in, size_t length, char* out) {
  size_t o = 0;
  size_t i = 0;
  for (; i + 3 <= length; i += 3) {
    const uint32_t v = uint32_t{in[i]} << 16 | uint32_t{in[i + 1]} << 8 | in[i + 2];
    out[o++] = kAlphabet[v >> 18 & 63];
    out[o++] = kAlphabet[v >> 12 & 63];
    out[o++] = kAlphabet[v >> 6 & 63];
    out[o++] = kAlphabet[v & 63];
  }
  if (const size_t rest = length - i; rest != 0) {
    const uint32_t v = uint32_t{in[i]} << 16 | (rest == 2 ? uint32_t{in[i + 1]} << 8 : 0);
    out[o++] = kAlphabet[v >> 18 & 63];
    out[o++] = kAlphabet[v >> 12 & 63];
    out[o++] = rest == 2 ? kAlphabet[v >> 6 & 63] : '=';
    out[o++] = '=';
  }
  out[o] = '\0';
  return static_cast<int>(o);
}

int base64_decode(const char* in, uint8_t* out) {
  if (in == nullptr || out == nullptr) return -1;
  int written = 0;
  uint32_t group = 0;
  int symbols = 0;
  int pads = 3;  // bytes the current group still carries; every "=" takes one away
  for (const char* p = in; *p != '\0'; p++) {
    const char c = *p;
    if (c == '\r' || c == '\n' || c == ' ') continue;
    uint32_t value = 0;
    if (c == '=') {
      pads--;
    } else if (const char* at = std::strchr(kAlphabet, c); at != nullptr) {
      value = static_cast<uint32_t>(at - kAlphabet);
    } else {
      return -1;
    }
    group = group << 6 | value;
    if (++symbols < 4) continue;
    out[written++] = static_cast<uint8_t>(group >> 16);
    if (pads >= 2) out[written++] = static_cast<uint8_t>(group >> 8);
    if (pads == 3) out[written++] = static_cast<uint8_t>(group);
    // Each group carries its own padding: a padded group must not cut the ones after it.
    group = 0;
    symbols = 0;
    pads = 3;
  }
  return written;
}
