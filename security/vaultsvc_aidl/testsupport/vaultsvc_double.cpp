#include "vaultsvc_double.h"

#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/ecdsa.h>

#include <cstdio>
#include <stdexcept>

namespace vaultsvc_testing {

namespace {

using Status = ::ndk::ScopedAStatus;

std::string hex(const uint8_t* p, size_t n) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (size_t i = 0; i < n; i++) {
    out.push_back(kDigits[p[i] >> 4]);
    out.push_back(kDigits[p[i] & 15]);
  }
  return out;
}

std::vector<uint8_t> unhex(const std::string& text) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i + 1 < text.size(); i += 2) {
    out.push_back(static_cast<uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
  }
  return out;
}

std::string join(std::initializer_list<std::string> parts) {
  std::string out;
  for (const std::string& p : parts) out += "|" + p;
  return out;
}

}  // namespace

std::string vaultServiceInstance() { return std::string(IRERoririz::descriptor) + "/default"; }

VaultServiceDouble::VaultServiceDouble() : key_(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256")) {
  if (!key_) throw std::runtime_error("P-256 key generation failed");
}
VaultServiceDouble::~VaultServiceDouble() = default;

void VaultServiceDouble::setFid(std::string fid) {
  std::lock_guard<std::mutex> g(lock_);
  fid_ = std::move(fid);
}
void VaultServiceDouble::setSignatureText(std::optional<std::string> text) {
  std::lock_guard<std::mutex> g(lock_);
  signatureText_ = std::move(text);
}
void VaultServiceDouble::setFidError(int32_t e) {
  std::lock_guard<std::mutex> g(lock_);
  fidError_ = e;
}
void VaultServiceDouble::setSignError(int32_t e) {
  std::lock_guard<std::mutex> g(lock_);
  signError_ = e;
}
std::vector<std::string> VaultServiceDouble::calls() const {
  std::lock_guard<std::mutex> g(lock_);
  return calls_;
}
int VaultServiceDouble::fidCalls() const {
  std::lock_guard<std::mutex> g(lock_);
  return fidCalls_;
}
int VaultServiceDouble::signCalls() const {
  std::lock_guard<std::mutex> g(lock_);
  return signCalls_;
}

Status VaultServiceDouble::note(const char* name, std::string args, Str* text, int32_t* number) {
  std::lock_guard<std::mutex> g(lock_);
  calls_.push_back(name + args);
  if (text != nullptr) *text = std::string(name) + "(" + args + ")";
  if (number != nullptr) *number = static_cast<int32_t>(calls_.size()) * 1000 + static_cast<int32_t>(args.size());
  return Status::ok();
}

Status VaultServiceDouble::getFid(Str* r) {
  std::lock_guard<std::mutex> g(lock_);
  calls_.push_back("getFid");
  fidCalls_++;
  if (fidError_ != 0) return Status::fromServiceSpecificError(fidError_);
  *r = fid_;
  return Status::ok();
}

Status VaultServiceDouble::eccSign(int32_t keyType, const Str& text, Str* r) {
  std::lock_guard<std::mutex> g(lock_);
  calls_.push_back("eccSign" + join({std::to_string(keyType), text}));
  signCalls_++;
  if (signError_ != 0) return Status::fromServiceSpecificError(signError_);
  if (signatureText_) {
    *r = *signatureText_;
    return Status::ok();
  }
  const std::vector<uint8_t> digest = unhex(text);
  std::unique_ptr<EVP_PKEY_CTX, void (*)(EVP_PKEY_CTX*)> ctx(EVP_PKEY_CTX_new(key_.get(), nullptr), EVP_PKEY_CTX_free);
  size_t derLen = 0;
  if (!ctx || EVP_PKEY_sign_init(ctx.get()) != 1 ||
      EVP_PKEY_sign(ctx.get(), nullptr, &derLen, digest.data(), digest.size()) != 1) {
    return Status::fromServiceSpecificError(-1);
  }
  std::vector<uint8_t> der(derLen);
  if (EVP_PKEY_sign(ctx.get(), der.data(), &derLen, digest.data(), digest.size()) != 1) {
    return Status::fromServiceSpecificError(-1);
  }
  const uint8_t* p = der.data();
  std::unique_ptr<ECDSA_SIG, void (*)(ECDSA_SIG*)> sig(d2i_ECDSA_SIG(nullptr, &p, static_cast<long>(derLen)),
                                                      ECDSA_SIG_free);
  if (!sig) return Status::fromServiceSpecificError(-1);
  uint8_t rs[64];
  BN_bn2binpad(ECDSA_SIG_get0_r(sig.get()), rs, 32);
  BN_bn2binpad(ECDSA_SIG_get0_s(sig.get()), rs + 32, 32);
  *r = hex(rs, sizeof rs);
  return Status::ok();
}

Status VaultServiceDouble::enroll(const Str& d, int32_t t, Str* r) { return note("enroll", join({d, std::to_string(t)}), r); }
Status VaultServiceDouble::external_id_load(int32_t id, bool* r) {
  *r = id % 2 == 1;
  return note("external_id_load", join({std::to_string(id)}), nullptr);
}
Status VaultServiceDouble::external_key_dump(int32_t id, Str* r) {
  return note("external_key_dump", join({std::to_string(id)}), r);
}
Status VaultServiceDouble::external_key_load(int32_t id, const Str& k, const Str& c, int32_t* r) {
  return note("external_key_load", join({std::to_string(id), k, c}), nullptr, r);
}
Status VaultServiceDouble::external_key_prepare(int32_t id, Str* r) {
  return note("external_key_prepare", join({std::to_string(id)}), r);
}
Status VaultServiceDouble::external_key_version(int32_t id, int32_t* r) {
  return note("external_key_version", join({std::to_string(id)}), nullptr, r);
}
Status VaultServiceDouble::fido_key_get_version(int32_t* r) { return note("fido_key_get_version", "", nullptr, r); }
Status VaultServiceDouble::fido_key_load(const Str& k, const Str& c, int32_t* r) {
  return note("fido_key_load", join({k, c}), nullptr, r);
}
Status VaultServiceDouble::fido_key_prepare(Str* r) { return note("fido_key_prepare", "", r); }
Status VaultServiceDouble::getTAVersion(Str* r) { return note("getTAVersion", "", r); }
Status VaultServiceDouble::get_device_rmpb_counter(int32_t* r) { return note("get_device_rmpb_counter", "", nullptr, r); }
Status VaultServiceDouble::get_device_secure_status(std::vector<int32_t>* r) {
  *r = {7, -1, 0x7fffffff};
  return note("get_device_secure_status", "", nullptr);
}
Status VaultServiceDouble::payauth_key_dump(Str* r) { return note("payauth_key_dump", "", r); }
Status VaultServiceDouble::payauth_key_get_version(int32_t* r) { return note("payauth_key_get_version", "", nullptr, r); }
Status VaultServiceDouble::payauth_key_load(const Str& k, const Str& c, int32_t* r) {
  return note("payauth_key_load", join({k, c}), nullptr, r);
}
Status VaultServiceDouble::payauth_key_prepare(Str* r) { return note("payauth_key_prepare", "", r); }
Status VaultServiceDouble::persist_read(int32_t area, const Str& name, RERoririzResult* r) {
  r->result = area;
  r->data.assign(name.begin(), name.end());
  return note("persist_read", join({std::to_string(area), name}), nullptr);
}
Status VaultServiceDouble::persist_remove(int32_t area, const Str& name, int32_t* r) {
  return note("persist_remove", join({std::to_string(area), name}), nullptr, r);
}
Status VaultServiceDouble::persist_write(int32_t area, const Str& name, const Bytes& data, int32_t flags, int32_t* r) {
  return note("persist_write", join({std::to_string(area), name, hex(data.data(), data.size()), std::to_string(flags)}),
              nullptr, r);
}
Status VaultServiceDouble::refreash_device_rpmb_status(int32_t* r) {
  return note("refreash_device_rpmb_status", "", nullptr, r);
}
Status VaultServiceDouble::reload(const Str& k, const Str& c, int32_t* r) { return note("reload", join({k, c}), nullptr, r); }
Status VaultServiceDouble::bioauth_generate(Str* r) { return note("bioauth_generate", "", r); }
Status VaultServiceDouble::bioauth_get_state(int32_t* r) { return note("bioauth_get_state", "", nullptr, r); }
Status VaultServiceDouble::bioauth_set_state(int32_t s) { return note("bioauth_set_state", join({std::to_string(s)}), nullptr); }
Status VaultServiceDouble::drmkey_dump(Str* r) { return note("drmkey_dump", "", r); }
Status VaultServiceDouble::drmkey_get_version(int32_t* r) { return note("drmkey_get_version", "", nullptr, r); }
Status VaultServiceDouble::drmkey_load(const Str& k, const Str& c, int32_t* r) {
  return note("drmkey_load", join({k, c}), nullptr, r);
}
Status VaultServiceDouble::drmkey_prepare(Str* r) { return note("drmkey_prepare", "", r); }

}  // namespace vaultsvc_testing
