// The KeyMint application of the simulated secure processor (see sim_keymint.h).
#include "sim_keymint.h"

#include <cbor.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <openssl/x509.h>

#include <algorithm>
#include <ctime>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace secproc_test {

using platform::secproc::Request;
using platform::secproc::Response;
using platform::secproc::SimSecureProcessor;
using Bytes = std::vector<uint8_t>;

namespace {

constexpr uint64_t kBlobMagic = 0x4B4D4B44;
constexpr int64_t kTagPurpose = 0x20000001, kTagAlgorithm = 0x10000002, kTagKeySize = 0x30000003,
                  kTagDigest = 0x20000005, kTagEcCurve = 0x1000000A, kTagNoAuth = 0x700001F7,
                  kTagOrigin = 0x100002BE;
// The attestation challenge tag (bytes) as the signed label it travels as.
constexpr int64_t kTagChallenge = static_cast<int32_t>(0x900002C4u);
constexpr int64_t kPurposeAttestKey = 7;
constexpr int32_t kErrUnsupportedPurpose = -2, kErrIncompatiblePurpose = -3, kErrUnsupportedAlgorithm = -4,
                  kErrUnsupportedKeySize = -6, kErrUnsupportedDigest = -12, kErrUnsupportedKeyFormat = -17,
                  kErrInvalidOperationHandle = -28, kErrInvalidKeyBlob = -33, kErrInvalidArgument = -38,
                  kErrUnsupportedEcCurve = -61, kErrUnknown = -1000;

struct PkeyFree {
  void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
struct X509Free {
  void operator()(X509* x) const { X509_free(x); }
};
struct MdCtxFree {
  void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};
struct CborFree {
  void operator()(cbor_item_t* i) const { cbor_decref(&i); }
};
using Pkey = std::unique_ptr<EVP_PKEY, PkeyFree>;
using Cert = std::unique_ptr<X509, X509Free>;
using MdCtx = std::unique_ptr<EVP_MD_CTX, MdCtxFree>;
using Item = std::unique_ptr<cbor_item_t, CborFree>;

Item load(const Bytes& b) {
  cbor_load_result r;
  return Item(cbor_load(b.data(), b.size(), &r));
}

Bytes serialize(cbor_item_t* item) {
  unsigned char* buf = nullptr;
  size_t size = 0;
  size_t len = cbor_serialize_alloc(item, &buf, &size);
  Bytes out(buf, buf + len);
  free(buf);
  return out;
}

bool intOf(cbor_item_t* i, int64_t* v) {
  if (cbor_isa_uint(i)) {
    *v = static_cast<int64_t>(cbor_get_int(i));
    return true;
  }
  if (cbor_isa_negint(i)) {
    *v = -1 - static_cast<int64_t>(cbor_get_int(i));
    return true;
  }
  return false;
}

Bytes bytesOf(cbor_item_t* i) {
  if (i == nullptr || !cbor_isa_bytestring(i) || !cbor_bytestring_is_definite(i)) return {};
  return Bytes(cbor_bytestring_handle(i), cbor_bytestring_handle(i) + cbor_bytestring_length(i));
}

cbor_item_t* uintItem(uint64_t v) { return cbor_build_uint64(v); }

// A request map, read entry by entry: labels repeat (parameters), so order matters.
struct Entries {
  std::vector<std::pair<int64_t, cbor_item_t*>> list;
  Item root;
  bool parse(const Bytes& body) {
    root = load(body);
    if (!root || !cbor_isa_map(root.get())) return false;
    cbor_pair* pairs = cbor_map_handle(root.get());
    for (size_t k = 0; k < cbor_map_size(root.get()); k++) {
      int64_t label;
      if (!intOf(pairs[k].key, &label)) return false;
      list.emplace_back(label, pairs[k].value);
    }
    return true;
  }
  cbor_item_t* first(int64_t label) const {
    for (const auto& e : list) {
      if (e.first == label) return e.second;
    }
    return nullptr;
  }
  // The integer values of a parameter tag, in order.
  std::vector<int64_t> params(int64_t tag) const {
    std::vector<int64_t> out;
    for (const auto& e : list) {
      int64_t v;
      if (e.first == tag && intOf(e.second, &v)) out.push_back(v);
    }
    return out;
  }
  bool has(int64_t tag) const { return first(tag) != nullptr; }
};

Response status(int32_t s) { return Response{s, {}, std::nullopt}; }

time_t dateOf(cbor_item_t* a, time_t fallback) {
  if (a == nullptr || !cbor_isa_array(a) || cbor_array_size(a) < 6) return fallback;
  int64_t f[6];
  for (size_t k = 0; k < 6; k++) {
    if (!intOf(cbor_array_handle(a)[k], &f[k])) return fallback;
  }
  if (f[5] == 0) return fallback;
  struct tm tm {};
  tm.tm_sec = static_cast<int>(f[0]);
  tm.tm_min = static_cast<int>(f[1]);
  tm.tm_hour = static_cast<int>(f[2]);
  tm.tm_mday = static_cast<int>(f[3]);
  tm.tm_mon = static_cast<int>(f[4]) - 1;
  tm.tm_year = static_cast<int>(f[5]) - 1900;
  return timegm(&tm);
}

Bytes der(X509* x) {
  unsigned char* out = nullptr;
  int n = i2d_X509(x, &out);
  Bytes b(out, out + (n > 0 ? n : 0));
  OPENSSL_free(out);
  return b;
}

bool isP256(EVP_PKEY* key) {
  char name[64] = {};
  size_t len = 0;
  return EVP_PKEY_get_base_id(key) == EVP_PKEY_EC &&
         EVP_PKEY_get_utf8_string_param(key, "group", name, sizeof name, &len) == 1 &&
         std::string(name) == "prime256v1";
}

Cert makeCert(EVP_PKEY* subjectKey, const char* subjectName, X509_NAME* issuer, EVP_PKEY* signer, time_t notBefore,
              time_t notAfter, long serial) {
  Cert cert(X509_new());
  X509_set_version(cert.get(), 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), serial);
  X509_NAME* name = X509_NAME_new();
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(subjectName), -1, -1,
                             0);
  X509_set_subject_name(cert.get(), name);
  X509_set_issuer_name(cert.get(), issuer != nullptr ? issuer : name);
  X509_NAME_free(name);
  ASN1_TIME_set(X509_getm_notBefore(cert.get()), notBefore);
  ASN1_TIME_set(X509_getm_notAfter(cert.get()), notAfter);
  X509_set_pubkey(cert.get(), subjectKey);
  X509_sign(cert.get(), signer, EVP_sha256());
  return cert;
}

}  // namespace

struct SimKeyMint::Impl {
  mutable std::mutex lock;
  uint8_t sealKey[32];
  Pkey attestKey;
  Cert root;
  int32_t dateStatus = 0;
  size_t updateLimit = SIZE_MAX;
  std::map<uint32_t, std::deque<Response>> queued;
  std::map<uint64_t, MdCtx> ops;
  std::vector<size_t> updates;
  std::vector<uint64_t> begun, aborted;
  int generated = 0;

  Impl() {
    RAND_bytes(sealKey, sizeof sealKey);
    attestKey.reset(EVP_EC_gen("P-256"));
    const time_t now = time(nullptr);
    root = makeCert(attestKey.get(), "Simulated Attestation Root", nullptr, attestKey.get(), now - 86400,
                    now + 10 * 365 * 86400L, 1);
  }

  std::optional<Response> handle(const Request& r);
  Response createKey(const Entries& e, bool import);
  Response begin(const Entries& e);
  Response update(const Entries& e);
  Response finish(const Entries& e);
  Response abort(const Entries& e);

  Bytes seal(const Bytes& plain, const Bytes& aad);
  // [magic, 1, 2, characteristics, the private key sealed under them].
  Bytes makeBlob(EVP_PKEY* key, const Bytes& charBytes);
  bool unseal(const Bytes& sealed, const Bytes& aad, Bytes* plain);
  // The private key and the characteristics bytes of a blob made here.
  int32_t openBlob(const Bytes& blob, Pkey* key, Bytes* characteristics);
};

Bytes SimKeyMint::Impl::seal(const Bytes& plain, const Bytes& aad) {
  Bytes out(12 + plain.size() + 16);
  RAND_bytes(out.data(), 12);
  EVP_CIPHER_CTX* c = EVP_CIPHER_CTX_new();
  int n = 0;
  EVP_EncryptInit_ex(c, EVP_aes_256_gcm(), nullptr, sealKey, out.data());
  EVP_EncryptUpdate(c, nullptr, &n, aad.data(), static_cast<int>(aad.size()));
  EVP_EncryptUpdate(c, out.data() + 12, &n, plain.data(), static_cast<int>(plain.size()));
  EVP_EncryptFinal_ex(c, out.data() + 12 + n, &n);
  EVP_CIPHER_CTX_ctrl(c, EVP_CTRL_GCM_GET_TAG, 16, out.data() + 12 + plain.size());
  EVP_CIPHER_CTX_free(c);
  return out;
}

Bytes SimKeyMint::Impl::makeBlob(EVP_PKEY* key, const Bytes& charBytes) {
  unsigned char* pk = nullptr;
  int pkLen = i2d_PrivateKey(key, &pk);
  Bytes plain(pk, pk + (pkLen > 0 ? pkLen : 0));
  OPENSSL_free(pk);
  const Bytes sealed = seal(plain, charBytes);
  Item blob(cbor_new_definite_array(5));
  cbor_array_push(blob.get(), cbor_move(uintItem(kBlobMagic)));
  cbor_array_push(blob.get(), cbor_move(cbor_build_uint8(1)));
  cbor_array_push(blob.get(), cbor_move(cbor_build_uint8(2)));
  cbor_array_push(blob.get(), cbor_move(cbor_build_bytestring(charBytes.data(), charBytes.size())));
  cbor_array_push(blob.get(), cbor_move(cbor_build_bytestring(sealed.data(), sealed.size())));
  return serialize(blob.get());
}

bool SimKeyMint::Impl::unseal(const Bytes& sealed, const Bytes& aad, Bytes* plain) {
  if (sealed.size() < 28) return false;
  const size_t n = sealed.size() - 28;
  plain->assign(n, 0);
  EVP_CIPHER_CTX* c = EVP_CIPHER_CTX_new();
  int len = 0;
  Bytes tag(sealed.end() - 16, sealed.end());
  bool ok = EVP_DecryptInit_ex(c, EVP_aes_256_gcm(), nullptr, sealKey, sealed.data()) == 1 &&
            EVP_DecryptUpdate(c, nullptr, &len, aad.data(), static_cast<int>(aad.size())) == 1 &&
            EVP_DecryptUpdate(c, plain->data(), &len, sealed.data() + 12, static_cast<int>(n)) == 1 &&
            EVP_CIPHER_CTX_ctrl(c, EVP_CTRL_GCM_SET_TAG, 16, tag.data()) == 1 &&
            EVP_DecryptFinal_ex(c, plain->data() + len, &len) == 1;
  EVP_CIPHER_CTX_free(c);
  return ok;
}

int32_t SimKeyMint::Impl::openBlob(const Bytes& blob, Pkey* key, Bytes* characteristics) {
  Item root = load(blob);
  if (!root || !cbor_isa_array(root.get()) || cbor_array_size(root.get()) != 5) return kErrInvalidKeyBlob;
  cbor_item_t** items = cbor_array_handle(root.get());
  int64_t magic;
  if (!intOf(items[0], &magic) || static_cast<uint64_t>(magic) != kBlobMagic) return kErrInvalidKeyBlob;
  *characteristics = bytesOf(items[3]);
  Bytes plain;
  if (!unseal(bytesOf(items[4]), *characteristics, &plain)) return kErrInvalidKeyBlob;
  const unsigned char* p = plain.data();
  key->reset(d2i_AutoPrivateKey(nullptr, &p, static_cast<long>(plain.size())));
  return *key ? 0 : kErrInvalidKeyBlob;
}

Response SimKeyMint::Impl::createKey(const Entries& e, bool import) {
  std::vector<int64_t> alg = e.params(kTagAlgorithm), curve = e.params(kTagEcCurve), size = e.params(kTagKeySize);
  if (alg.empty() || alg.back() != 3) return status(kErrUnsupportedAlgorithm);
  if (!curve.empty() && curve.back() != 1) return status(kErrUnsupportedEcCurve);
  if (!size.empty() && size.back() != 256) return status(kErrUnsupportedKeySize);
  Pkey key;
  if (import) {
    int64_t format = -1;
    cbor_item_t* f = e.first(24);
    if (f == nullptr || !intOf(f, &format) || format != 1) return status(kErrUnsupportedKeyFormat);
    Bytes material = bytesOf(e.first(25));
    const unsigned char* p = material.data();
    key.reset(d2i_AutoPrivateKey(nullptr, &p, static_cast<long>(material.size())));
    if (!key) return status(kErrInvalidArgument);
    if (!isP256(key.get())) return status(kErrUnsupportedEcCurve);
  } else {
    key.reset(EVP_EC_gen("P-256"));
  }
  // Hardware-enforced characteristics; repeated tags as arrays.
  Item hw(cbor_new_indefinite_map());
  auto addList = [&](int64_t tag, const std::vector<int64_t>& values) {
    if (values.empty()) return;
    cbor_item_t* v;
    if (values.size() == 1) {
      v = uintItem(static_cast<uint64_t>(values[0]));
    } else {
      v = cbor_new_definite_array(values.size());
      for (int64_t x : values) cbor_array_push(v, cbor_move(uintItem(static_cast<uint64_t>(x))));
    }
    cbor_map_add(hw.get(), cbor_pair{cbor_move(uintItem(static_cast<uint64_t>(tag))), cbor_move(v)});
  };
  addList(kTagAlgorithm, {3});
  addList(kTagEcCurve, {1});
  addList(kTagKeySize, {256});
  addList(kTagPurpose, e.params(kTagPurpose));
  addList(kTagDigest, e.params(kTagDigest));
  addList(kTagOrigin, {import ? 2 : 0});
  if (e.has(kTagNoAuth)) {
    cbor_map_add(hw.get(), cbor_pair{cbor_move(uintItem(kTagNoAuth)), cbor_move(cbor_build_bool(true))});
  }
  Item chars(cbor_new_definite_map(2));
  cbor_map_add(chars.get(), cbor_pair{cbor_move(cbor_build_uint8(2)), cbor_move(cbor_incref(hw.get()))});
  cbor_map_add(chars.get(), cbor_pair{cbor_move(cbor_build_uint8(0)), cbor_move(cbor_new_definite_map(0))});
  const Bytes charBytes = serialize(chars.get());

  const Bytes blobBytes = makeBlob(key.get(), charBytes);

  const time_t now = time(nullptr);
  Cert leaf = makeCert(key.get(), "Android Keystore Key", X509_get_subject_name(root.get()), attestKey.get(),
                       dateOf(e.first(52), now), dateOf(e.first(53), now + 365 * 86400L), 1 + generated);
  // An attestation key made without an attestation challenge (as remote provisioning makes
  // its keys) gets one certificate, its own, self-signed, as KeyMint gives it.
  const std::vector<int64_t> purposes = e.params(kTagPurpose);
  const bool ownCertOnly =
      std::find(purposes.begin(), purposes.end(), kPurposeAttestKey) != purposes.end() && !e.has(kTagChallenge);
  if (ownCertOnly) {
    leaf = makeCert(key.get(), "Android Keystore Key", nullptr, key.get(), dateOf(e.first(52), now),
                    dateOf(e.first(53), now + 365 * 86400L), 1 + generated);
  }
  const Bytes leafDer = der(leaf.get()), rootDer = der(root.get());
  Item rsp(cbor_new_definite_map(ownCertOnly ? 3 : 4));
  cbor_map_add(rsp.get(), cbor_pair{cbor_move(cbor_build_uint8(23)),
                                    cbor_move(cbor_build_bytestring(blobBytes.data(), blobBytes.size()))});
  cbor_map_add(rsp.get(), cbor_pair{cbor_move(cbor_build_uint8(32)), cbor_move(cbor_build_uint8(ownCertOnly ? 1 : 2))});
  cbor_map_add(rsp.get(), cbor_pair{cbor_move(cbor_build_uint8(33)),
                                    cbor_move(cbor_build_bytestring(leafDer.data(), leafDer.size()))});
  if (!ownCertOnly) {
    cbor_map_add(rsp.get(), cbor_pair{cbor_move(cbor_build_uint8(33)),
                                      cbor_move(cbor_build_bytestring(rootDer.data(), rootDer.size()))});
  }
  generated++;
  return Response{0, serialize(rsp.get()), std::nullopt};
}

Response SimKeyMint::Impl::begin(const Entries& e) {
  Pkey key;
  Bytes charBytes;
  int32_t rc = openBlob(bytesOf(e.first(23)), &key, &charBytes);
  if (rc != 0) return status(rc);
  std::vector<int64_t> purposes = e.params(kTagPurpose), digests = e.params(kTagDigest);
  if (purposes.size() != 1 || purposes[0] != 2) return status(kErrUnsupportedPurpose);
  // The key must allow signing.
  Item charRoot = load(charBytes);
  bool allowed = false;
  if (charRoot && cbor_isa_map(charRoot.get())) {
    cbor_pair* top = cbor_map_handle(charRoot.get());
    for (size_t k = 0; k < cbor_map_size(charRoot.get()); k++) {
      int64_t level;
      if (!intOf(top[k].key, &level) || level != 2 || !cbor_isa_map(top[k].value)) continue;
      cbor_pair* hw = cbor_map_handle(top[k].value);
      for (size_t j = 0; j < cbor_map_size(top[k].value); j++) {
        int64_t tag, v;
        if (!intOf(hw[j].key, &tag) || tag != kTagPurpose) continue;
        if (intOf(hw[j].value, &v)) allowed |= v == 2;
        if (cbor_isa_array(hw[j].value)) {
          for (size_t a = 0; a < cbor_array_size(hw[j].value); a++) {
            allowed |= intOf(cbor_array_handle(hw[j].value)[a], &v) && v == 2;
          }
        }
      }
    }
  }
  if (!allowed) return status(kErrIncompatiblePurpose);
  if (digests.size() != 1 || digests[0] != 4) return status(kErrUnsupportedDigest);
  MdCtx ctx(EVP_MD_CTX_new());
  if (EVP_DigestSignInit(ctx.get(), nullptr, EVP_sha256(), nullptr, key.get()) != 1) return status(kErrUnknown);
  uint64_t handle = 0;
  while (handle == 0 || ops.count(handle) != 0) RAND_bytes(reinterpret_cast<uint8_t*>(&handle), sizeof handle);
  ops[handle] = std::move(ctx);
  begun.push_back(handle);
  Item rsp(cbor_new_definite_map(1));
  cbor_map_add(rsp.get(), cbor_pair{cbor_move(cbor_build_uint8(34)), cbor_move(uintItem(handle))});
  return Response{0, serialize(rsp.get()), std::nullopt};
}

namespace {
bool handleOf(const Entries& e, uint64_t* handle) {
  cbor_item_t* item = e.first(34);
  if (item == nullptr || !cbor_isa_uint(item)) return false;
  *handle = cbor_get_int(item);
  return true;
}
}  // namespace

Response SimKeyMint::Impl::update(const Entries& e) {
  uint64_t handle;
  if (!handleOf(e, &handle) || ops.count(handle) == 0) return status(kErrInvalidOperationHandle);
  Bytes input = bytesOf(e.first(35));
  const size_t take = std::min(input.size(), updateLimit);
  updates.push_back(input.size());
  EVP_DigestSignUpdate(ops[handle].get(), input.data(), take);
  Item rsp(cbor_new_definite_map(1));
  cbor_map_add(rsp.get(), cbor_pair{cbor_move(cbor_build_uint8(37)), cbor_move(uintItem(take))});
  return Response{0, serialize(rsp.get()), std::nullopt};
}

Response SimKeyMint::Impl::finish(const Entries& e) {
  uint64_t handle;
  if (!handleOf(e, &handle) || ops.count(handle) == 0) return status(kErrInvalidOperationHandle);
  MdCtx ctx = std::move(ops[handle]);
  ops.erase(handle);
  Bytes input = bytesOf(e.first(35));
  size_t len = 0;
  if (EVP_DigestSignUpdate(ctx.get(), input.data(), input.size()) != 1 ||
      EVP_DigestSignFinal(ctx.get(), nullptr, &len) != 1) {
    return status(kErrUnknown);
  }
  Bytes sig(len);
  if (EVP_DigestSignFinal(ctx.get(), sig.data(), &len) != 1) return status(kErrUnknown);
  sig.resize(len);
  Item rsp(cbor_new_definite_map(1));
  cbor_map_add(rsp.get(), cbor_pair{cbor_move(cbor_build_uint8(36)),
                                    cbor_move(cbor_build_bytestring(sig.data(), sig.size()))});
  return Response{0, serialize(rsp.get()), std::nullopt};
}

Response SimKeyMint::Impl::abort(const Entries& e) {
  uint64_t handle;
  if (!handleOf(e, &handle) || ops.erase(handle) == 0) return status(kErrInvalidOperationHandle);
  aborted.push_back(handle);
  return status(0);
}

std::optional<Response> SimKeyMint::Impl::handle(const Request& r) {
  std::lock_guard<std::mutex> g(lock);
  static constexpr uint32_t kHandled[] = {0x215, 0x3108, 0x310b, 0x310f, 0x3111, 0x3112, 0x2113, 0x2513};
  if (std::find(std::begin(kHandled), std::end(kHandled), r.cmdId) == std::end(kHandled)) return std::nullopt;
  auto q = queued.find(r.cmdId);
  if (q != queued.end() && !q->second.empty()) {
    Response rsp = std::move(q->second.front());
    q->second.pop_front();
    return rsp;
  }
  if (r.cmdId == 0x215) return status(dateStatus);
  Entries e;
  if (!e.parse(r.body())) return status(kErrInvalidArgument);
  switch (r.cmdId) {
    case 0x3108:
      return createKey(e, false);
    case 0x310b:
      return createKey(e, true);
    case 0x310f:
      return begin(e);
    case 0x3111:
      return update(e);
    case 0x3112:
      return finish(e);
    default:
      return abort(e);
  }
}

SimKeyMint::SimKeyMint() : impl_(std::make_shared<Impl>()) {
  std::shared_ptr<Impl> impl = impl_;
  SimSecureProcessor::get().setCommandHandler([impl](const Request& r) { return impl->handle(r); });
}

SimKeyMint::~SimKeyMint() { SimSecureProcessor::get().setCommandHandler(nullptr); }

void SimKeyMint::queue(uint32_t cmdId, Response response) {
  std::lock_guard<std::mutex> g(impl_->lock);
  impl_->queued[cmdId].push_back(std::move(response));
}
void SimKeyMint::setDateSupportStatus(int32_t status) {
  std::lock_guard<std::mutex> g(impl_->lock);
  impl_->dateStatus = status;
}
void SimKeyMint::setUpdateLimit(size_t limit) {
  std::lock_guard<std::mutex> g(impl_->lock);
  impl_->updateLimit = limit;
}
std::vector<uint8_t> SimKeyMint::keyBlobWith(const std::vector<uint8_t>& characteristics) {
  std::lock_guard<std::mutex> g(impl_->lock);
  Pkey key(EVP_EC_gen("P-256"));
  return impl_->makeBlob(key.get(), characteristics);
}
std::vector<uint64_t> SimKeyMint::begunHandles() const {
  std::lock_guard<std::mutex> g(impl_->lock);
  return impl_->begun;
}
std::vector<uint64_t> SimKeyMint::abortedHandles() const {
  std::lock_guard<std::mutex> g(impl_->lock);
  return impl_->aborted;
}
std::vector<uint8_t> SimKeyMint::rootCertificate() const {
  std::lock_guard<std::mutex> g(impl_->lock);
  return der(impl_->root.get());
}
std::vector<size_t> SimKeyMint::updateSizes() const {
  std::lock_guard<std::mutex> g(impl_->lock);
  return impl_->updates;
}
size_t SimKeyMint::liveOperations() const {
  std::lock_guard<std::mutex> g(impl_->lock);
  return impl_->ops.size();
}
int SimKeyMint::keysGenerated() const {
  std::lock_guard<std::mutex> g(impl_->lock);
  return impl_->generated;
}

}  // namespace secproc_test
