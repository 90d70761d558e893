// security-demo: the security services on a simulated phone, each reached through its own
// interface as a device's clients reach it.
//  - KeyMint (StrongBox): a P-256 signing key is generated with an attestation challenge,
//    a message is signed through an operation, and the signature is checked with OpenSSL
//    against the leaf of the attestation chain (and the leaf against the chain's root).
//  - Weaver: a slot is written, then read with its key and with a wrong one.
//  - Secure element: a logical channel is opened on an applet, an APDU exchanged on it and
//    the channel closed.
// Real: the services, the channel library, the CBOR codec, libSeclink, the binder proxies
// and parcels. Simulated: the secure processor (with a KeyMint application doing its
// cryptography with OpenSSL, and its Weaver slots), the TEE with its secure-element
// trusted application and the embedded secure element with one applet.
//
//   security-demo
#include <android/binder_manager.h>
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <platform/properties.h>
#include <platform_binder_test.h>
#include <stdio.h>
#include <teec/sim_secure_element.h>
#include <vaultlink/sim_secproc.h>

#include <aidl/android/hardware/weaver/IWeaver.h>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "AndroidKeyMintDevice.h"
#include "Weaver.h"
#include "seclink.h"
#include "sim_keymint.h"

namespace km = ::aidl::android::hardware::security::keymint;
namespace wv = ::aidl::android::hardware::weaver;
using Bytes = std::vector<uint8_t>;

namespace {

struct X509Free {
  void operator()(X509* x) const { X509_free(x); }
};
struct PkeyFree {
  void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
struct MdCtxFree {
  void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};

std::string hex(const Bytes& b, size_t max = 64) {
  static const char digits[] = "0123456789abcdef";
  std::string s;
  for (size_t k = 0; k < b.size() && k < max; k++) {
    s += digits[b[k] >> 4];
    s += digits[b[k] & 15];
  }
  if (b.size() > max) s += "...";
  return s;
}

bool fail(const char* what, const ::ndk::ScopedAStatus& st) {
  fprintf(stdout, "   FAILED: %s: %s\n", what, st.getDescription().c_str());
  return false;
}

std::unique_ptr<X509, X509Free> parseCert(const Bytes& der) {
  const unsigned char* p = der.data();
  return std::unique_ptr<X509, X509Free>(d2i_X509(nullptr, &p, static_cast<long>(der.size())));
}

std::string subject(X509* cert) {
  char text[256] = {};
  X509_NAME_oneline(X509_get_subject_name(cert), text, sizeof text);
  return text;
}

bool keyMintRoad() {
  using V = km::KeyParameterValue;
  // What the device configures KeyMint from at its first call.
  property_set("ro.build.version.release", "14");
  property_set("ro.build.version.security_patch", "2024-02-05");
  property_set("ro.vendor.build.security_patch", "2024-03-01");
  secproc_test::SimKeyMint application;
  auto device = ::ndk::SharedRefBase::make<km::AndroidKeyMintDevice>(km::SecurityLevel::STRONGBOX);
  const std::string instance = std::string(km::IKeyMintDevice::descriptor) + "/strongbox";
  if (AServiceManager_addService(device->asBinder().get(), instance.c_str()) != EX_NONE) {
    fprintf(stdout, "   FAILED: registering %s\n", instance.c_str());
    return false;
  }
  std::shared_ptr<km::IKeyMintDevice> keymint = km::GetKeyMintDeviceService(km::SecurityLevel::STRONGBOX);
  if (keymint == nullptr) {
    fprintf(stdout, "   FAILED: no KeyMint service\n");
    return false;
  }
  fprintf(stdout, "   client of %s (through a binder proxy: %s)\n", instance.c_str(),
          keymint->isRemote() ? "yes" : "no");

  const Bytes challenge = {'d', 'e', 'm', 'o', '-', 'c', 'h', 'a', 'l', 'l', 'e', 'n', 'g', 'e'};
  std::vector<km::KeyParameter> params = {
      {km::Tag::ALGORITHM, V::make<V::algorithm>(km::Algorithm::EC)},
      {km::Tag::EC_CURVE, V::make<V::ecCurve>(km::EcCurve::P_256)},
      {km::Tag::PURPOSE, V::make<V::keyPurpose>(km::KeyPurpose::SIGN)},
      {km::Tag::DIGEST, V::make<V::digest>(km::Digest::SHA_2_256)},
      {km::Tag::NO_AUTH_REQUIRED, V::make<V::boolValue>(true)},
      {km::Tag::ATTESTATION_CHALLENGE, V::make<V::blob>(challenge)},
  };
  km::KeyCreationResult created;
  if (auto st = keymint->generateKey(params, std::nullopt, &created); !st.isOk()) return fail("generateKey", st);
  fprintf(stdout,
          "   generateKey: key blob of %zu bytes, attestation chain of %zu certificates (the leaf for the\n"
          "   new key, signed by the application's attestation key; the simulated application writes\n"
          "   no attestation record into the leaf)\n",
          created.keyBlob.size(), created.certificateChain.size());
  if (created.certificateChain.size() < 2) {
    fprintf(stdout, "   FAILED: no attestation chain\n");
    return false;
  }
  auto leaf = parseCert(created.certificateChain.front().encodedCertificate);
  auto root = parseCert(created.certificateChain.back().encodedCertificate);
  if (!leaf || !root) {
    fprintf(stdout, "   FAILED: the chain does not parse as X.509\n");
    return false;
  }
  std::unique_ptr<EVP_PKEY, PkeyFree> rootKey(X509_get_pubkey(root.get()));
  const bool chainGood = X509_verify(leaf.get(), rootKey.get()) == 1;
  fprintf(stdout, "   leaf \"%s\" issued by \"%s\": OpenSSL X509_verify with the root's key: %s\n",
          subject(leaf.get()).c_str(), subject(root.get()).c_str(), chainGood ? "verified" : "NOT VERIFIED");

  const std::string text = "Signed inside the StrongBox secure processor.";
  const Bytes message(text.begin(), text.end());
  km::BeginResult begun;
  std::vector<km::KeyParameter> sha256 = {{km::Tag::DIGEST, V::make<V::digest>(km::Digest::SHA_2_256)}};
  if (auto st = keymint->begin(km::KeyPurpose::SIGN, created.keyBlob, sha256, std::nullopt, &begun); !st.isOk()) {
    return fail("begin", st);
  }
  Bytes ignored, signature;
  if (auto st = begun.operation->update(message, std::nullopt, std::nullopt, &ignored); !st.isOk()) {
    return fail("update", st);
  }
  if (auto st = begun.operation->finish(std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                                        &signature);
      !st.isOk()) {
    return fail("finish", st);
  }
  fprintf(stdout, "   signed \"%s\": ECDSA signature (DER, %zu bytes) %s\n", text.c_str(), signature.size(),
          hex(signature, 24).c_str());

  // The verification a relying party makes: the leaf's public key, SHA-256 ECDSA.
  std::unique_ptr<EVP_PKEY, PkeyFree> leafKey(X509_get_pubkey(leaf.get()));
  auto verify = [&](const Bytes& m) {
    std::unique_ptr<EVP_MD_CTX, MdCtxFree> ctx(EVP_MD_CTX_new());
    return leafKey != nullptr && ctx != nullptr &&
           EVP_DigestVerifyInit(ctx.get(), nullptr, EVP_sha256(), nullptr, leafKey.get()) == 1 &&
           EVP_DigestVerify(ctx.get(), signature.data(), signature.size(), m.data(), m.size()) == 1;
  };
  const bool good = verify(message);
  Bytes altered = message;
  altered[0] ^= 1;
  const bool alteredPasses = verify(altered);
  fprintf(stdout, "   OpenSSL EVP_DigestVerify with the attestation leaf's key: %s\n",
          good ? "signature verified" : "VERIFICATION FAILED");
  fprintf(stdout, "   the same check on the message with one bit changed: %s\n",
          alteredPasses ? "VERIFIED (wrong)" : "refused, as it must be");
  keymint.reset();
  return chainGood && good && !alteredPasses;
}

const char* statusName(wv::WeaverReadStatus s) {
  switch (s) {
    case wv::WeaverReadStatus::OK: return "OK";
    case wv::WeaverReadStatus::FAILED: return "FAILED";
    case wv::WeaverReadStatus::INCORRECT_KEY: return "INCORRECT_KEY";
    case wv::WeaverReadStatus::THROTTLE: return "THROTTLE";
  }
  return "?";
}

bool weaverRoad() {
  auto& processor = platform::secproc::SimSecureProcessor::get();
  processor.setWeaverConfig(64, 16, 16);
  // The processor's answer to a wrong key: the time the framework must wait before trying
  // again. The service passes it on and keeps no count of its own.
  processor.setWeaverWrongKeyTimeout(30000);
  int exitStatus = 0;
  std::thread service([&] { exitStatus = wv::runWeaverService(); });
  std::shared_ptr<wv::IWeaver> weaver =
      wv::IWeaver::fromBinder(::ndk::SpAIBinder(AServiceManager_waitForService("android.hardware.weaver.IWeaver/default")));
  bool ok = weaver != nullptr;
  if (ok) {
    fprintf(stdout, "   client of android.hardware.weaver.IWeaver/default (through a binder proxy: %s)\n",
            weaver->isRemote() ? "yes" : "no");
    wv::WeaverConfig config;
    auto st = weaver->getConfig(&config);
    ok = st.isOk() || fail("getConfig", st);
    if (ok) {
      fprintf(stdout, "   getConfig: %d slots, key %d bytes, value %d bytes\n", config.slots, config.keySize,
              config.valueSize);
    }
    const Bytes key(16, 0x4B), wrongKey(16, 0x57);
    const std::string secret = "demo-slot-secret";
    const Bytes value(secret.begin(), secret.end());
    if (ok) {
      st = weaver->write(5, key, value);
      ok = st.isOk() || fail("write", st);
      if (ok) fprintf(stdout, "   write slot 5: key %s, value \"%s\"\n", hex(key).c_str(), secret.c_str());
    }
    wv::WeaverReadResponse r;
    if (ok) {
      st = weaver->read(5, key, &r);
      ok = (st.isOk() || fail("read", st)) && r.status == wv::WeaverReadStatus::OK && r.value == value;
      fprintf(stdout, "   read slot 5 with its key: status %s, value \"%s\", timeout %lld ms\n",
              statusName(r.status), std::string(r.value.begin(), r.value.end()).c_str(),
              static_cast<long long>(r.timeout));
    }
    if (ok) {
      st = weaver->read(5, wrongKey, &r);
      ok = (st.isOk() || fail("read", st)) && r.status == wv::WeaverReadStatus::INCORRECT_KEY && r.value.empty();
      fprintf(stdout, "   read slot 5 with a wrong key: status %s, no value (%zu bytes), timeout %lld ms before the next try\n",
              statusName(r.status), r.value.size(), static_cast<long long>(r.timeout));
    }
  }
  weaver.reset();
  platform_binder_test::stopProcess();
  service.join();
  return ok && exitStatus == -1;
}

bool secureElementRoad() {
  namespace ese = platform::sim::ese;
  const Bytes aid = {0xA0, 0x00, 0x00, 0x01, 0x51, 0x44, 0x45, 0x4D, 0x4F};
  ese::reset();  // the chip as a device starts it: powered off, only the basic channel
  ese::installApplet(aid, {0x6F, 0x03, 0x84, 0x01, 0x44});
  auto response = std::make_unique<uint8_t[]>(kSeclinkRxSize);
  int channel = -1, length = 0;
  int rc = openChannel(aid, 0x00, &channel, response.get(), &length, false);
  fprintf(stdout, "   openChannel (logical) on applet %s: result %d, channel %d, SELECT answer %s\n", hex(aid).c_str(),
          rc, channel, hex(Bytes(response.get(), response.get() + (length > 0 ? length : 0))).c_str());
  if (rc != 0) return false;
  const uint8_t cla = channel < 4 ? static_cast<uint8_t>(channel) : static_cast<uint8_t>(0x40 | (channel - 4));
  const Bytes apdu = {cla, 0x80, 0xCA, 0x00, 0x04, 0xDE, 0xC0, 0xDE, 0x01};
  rc = transmitApdu(apdu, false, 0, response.get(), &length);
  const Bytes answer(response.get(), response.get() + (length > 0 ? length : 0));
  fprintf(stdout, "   transmitApdu %s: result %d, answer %s (the applet echoes the data, then 90 00)\n",
          hex(apdu).c_str(), rc, hex(answer).c_str());
  const bool echoed = rc == 0 && answer == Bytes({0xDE, 0xC0, 0xDE, 0x01, 0x90, 0x00});
  rc = closeGPChannel(static_cast<uint8_t>(channel));
  fprintf(stdout, "   closeGPChannel %d: result %d; channels all closed: %s, TEE session open: %s\n", channel, rc,
          allChannelsClosed() ? "yes" : "no", ese::sessionOpen() ? "yes" : "no");
  return echoed && rc == 0 && allChannelsClosed() && !ese::sessionOpen();
}

void usage(FILE* out) {
  fprintf(out,
          "usage: security-demo\n"
          "Runs the security services on a simulated phone through their interfaces: a StrongBox\n"
          "KeyMint P-256 key generated, attested and used to sign, the signature verified with\n"
          "OpenSSL; a Weaver slot written and read with the right and a wrong key; a secure-element\n"
          "logical channel opened, an APDU exchanged and the channel closed. Exits 0 when all pass.\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) {
    const std::string arg = argv[1];
    if (argc == 2 && (arg == "--help" || arg == "-h")) {
      usage(stdout);
      return 0;
    }
    fprintf(stderr, "security-demo: no such option: %s\n", argv[1]);
    usage(stderr);
    return 2;
  }
  fprintf(stdout,
          "   Real: the KeyMint HAL, the Weaver service, the secure-processor channel library, the\n"
          "   CBOR codec, libSeclink and the binder proxies. Simulated: the secure processor (its\n"
          "   KeyMint application signs with OpenSSL; its Weaver slots), the TEE with the secure-\n"
          "   element trusted application, and the secure element with one applet.\n");
  fprintf(stdout, "-- KeyMint (StrongBox, on the simulated secure processor)\n");
  const bool keymint = keyMintRoad();
  platform_binder_test::resetServiceManager();
  platform_binder_test::resetProcess();
  fprintf(stdout, "-- Weaver (on the simulated secure processor)\n");
  const bool weaver = weaverRoad();
  platform_binder_test::resetServiceManager();
  platform_binder_test::resetProcess();
  fprintf(stdout, "-- secure element (libSeclink on the simulated TEE and secure element)\n");
  const bool element = secureElementRoad();
  fprintf(stdout, "security road: KeyMint %s, Weaver %s, secure element %s\n", keymint ? "ok" : "FAILED",
          weaver ? "ok" : "FAILED", element ? "ok" : "FAILED");
  return keymint && weaver && element ? 0 : 1;
}
